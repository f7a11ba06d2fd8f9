// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/idle_inhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>

namespace solvari::app {

CIdleInhibitor::CIdleInhibitor(const QDBusConnection& bus) : m_bus(bus) {}

CIdleInhibitor::~CIdleInhibitor() {
  m_bWanted = false;
  if (m_pAsking) {
    // The cookie on its way is taken here, to be handed back before the
    // program goes; the service would otherwise hold it until the program's
    // connection closes.
    QObject::disconnect(m_pAsking.get(), nullptr, nullptr, nullptr);
    m_pAsking->waitForFinished();
    uint nCookie = 0;
    if (TakeCookie(m_pAsking.get(), &nCookie)) HandBack(nCookie, true);
    m_pAsking.reset();
  } else if (m_bHeld) {
    m_bHeld = false;
    HandBack(m_nCookie, true);
  }
}

void CIdleInhibitor::SetWanted(bool bWanted) {
  if (bWanted == m_bWanted) return;
  m_bWanted = bWanted;
  if (!m_bus.isConnected()) return;
  if (bWanted) {
    // While an Inhibit awaits its reply, its cookie will do.
    if (!m_bHeld && !m_pAsking) Ask();
  } else if (m_bHeld) {
    m_bHeld = false;
    HandBack(m_nCookie, false);
  }
  // Not wanted while asking: the reply hands its cookie back (OnReply).
}

void CIdleInhibitor::Ask() {
  m_pAnswered.reset();
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Inhibit");
  call << QString::fromLatin1(kApplication) << QString::fromLatin1(kReason);
  m_pAsking = std::make_unique<QDBusPendingCallWatcher>(m_bus.asyncCall(call, kCallTimeoutMs));
  QObject::connect(m_pAsking.get(), &QDBusPendingCallWatcher::finished, m_pAsking.get(),
                   [this](QDBusPendingCallWatcher* pWatcher) { OnReply(pWatcher); });
}

void CIdleInhibitor::OnReply(QDBusPendingCallWatcher* pWatcher) {
  if (pWatcher != m_pAsking.get()) return;
  m_pAnswered = std::move(m_pAsking);
  uint nCookie = 0;
  // No service, or it refused: the screen behaves as it always does.
  if (!TakeCookie(pWatcher, &nCookie)) return;
  if (m_bWanted) {
    m_bHeld = true;
    m_nCookie = nCookie;
  } else {
    HandBack(nCookie, false);  // the recitation ended while we asked
  }
}

bool CIdleInhibitor::TakeCookie(QDBusPendingCallWatcher* pWatcher, uint* pCookie) {
  QDBusPendingReply<uint> reply = *pWatcher;
  if (!reply.isFinished() || reply.isError()) return false;
  *pCookie = reply.value();
  return true;
}

void CIdleInhibitor::HandBack(uint nCookie, bool bWait) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "UnInhibit");
  call << nCookie;
  if (bWait) {
    // The program is going: the call must have left before it does.
    m_bus.call(call, QDBus::Block, kReleaseWaitMs);
  } else {
    m_bus.asyncCall(call, kCallTimeoutMs);
  }
}

}  // namespace solvari::app
