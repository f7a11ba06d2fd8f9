// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop_session.h"

#include <QFileInfo>
#include <QString>
#include <QtGlobal>

#include "core/reading_state.h"

namespace solvari::app {

CDesktopSession::CDesktopSession(RecitationLink link)
    : CDesktopSession(std::move(link), SessionBus()) {}

CDesktopSession::CDesktopSession(RecitationLink link, const QDBusConnection& bus)
    : m_link(std::move(link)),
      m_inhibitor(bus),
      m_pMpris(std::make_unique<CMprisService>(&m_link, bus)) {
  Update();
}

CDesktopSession::~CDesktopSession() = default;

void CDesktopSession::Update() {
  const int nState = m_link.state ? m_link.state() : Idle;
  m_inhibitor.SetWanted(nState == Starting || nState == Reading);
  m_pMpris->Update();
}

QDBusConnection CDesktopSession::SessionBus() {
  const QString strRuntime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
      (strRuntime.isEmpty() || !QFileInfo(strRuntime + QStringLiteral("/bus")).exists())) {
    return QDBusConnection(QStringLiteral("solvari-no-session-bus"));
  }
  return QDBusConnection::sessionBus();
}

}  // namespace solvari::app
