// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mpris_service.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "core/reading_state.h"
#include "core/sutra_readings.h"
#include "core/sutra_tables.h"

namespace solvari::app {

namespace {

bool Call(const std::function<bool()>& f) { return f && f(); }
void Run(const std::function<void()>& f) {
  if (f) f();
}

bool IsReciting(int nState) { return nState == Starting || nState == Reading; }

}  // namespace

namespace detail {

CMprisRootAdaptor::CMprisRootAdaptor(QObject* pObject, CMprisService* pService)
    : QDBusAbstractAdaptor(pObject), m_pService(pService) {}

void CMprisRootAdaptor::Raise() { Run(m_pService->Link().raise); }

CMprisPlayerAdaptor::CMprisPlayerAdaptor(QObject* pObject, CMprisService* pService)
    : QDBusAbstractAdaptor(pObject), m_pService(pService) {}

QString CMprisPlayerAdaptor::PlaybackStatus() const { return m_pService->PlaybackStatus(); }
QVariantMap CMprisPlayerAdaptor::Metadata() const { return m_pService->Metadata(); }
bool CMprisPlayerAdaptor::CanGoNext() const { return m_pService->CanStep(); }
bool CMprisPlayerAdaptor::CanPlay() const { return m_pService->CanStart(); }
bool CMprisPlayerAdaptor::CanPause() const { return m_pService->CanStop(); }

void CMprisPlayerAdaptor::Next() {
  if (m_pService->CanStep()) Run(m_pService->Link().next);
}

void CMprisPlayerAdaptor::Previous() {
  if (m_pService->CanStep()) Run(m_pService->Link().previous);
}

void CMprisPlayerAdaptor::Play() {
  if (m_pService->CanStart()) Run(m_pService->Link().start);
}

// A recitation cannot wait half-way: pausing it stops it.
void CMprisPlayerAdaptor::Pause() { Stop(); }

void CMprisPlayerAdaptor::PlayPause() {
  if (m_pService->CanStart()) {
    Run(m_pService->Link().start);
  } else {
    Stop();
  }
}

void CMprisPlayerAdaptor::Stop() {
  if (m_pService->CanStop()) Run(m_pService->Link().stop);
}

}  // namespace detail

CMprisService::CMprisService(const RecitationLink* pLink, const QDBusConnection& bus)
    : m_pLink(pLink), m_bus(bus) {
  if (!m_bus.isConnected()) return;
  new detail::CMprisRootAdaptor(&m_object, this);
  new detail::CMprisPlayerAdaptor(&m_object, this);
  m_bObjectRegistered = m_bus.registerObject(kPath, &m_object, QDBusConnection::ExportAdaptors);
  if (m_bObjectRegistered) AskForName(QString::fromLatin1(kServiceName), true);
}

CMprisService::~CMprisService() {
  if (m_pAsking) {
    // A name on its way would stay with the program's connection.
    QObject::disconnect(m_pAsking.get(), nullptr, nullptr, nullptr);
    m_pAsking->waitForFinished();
    if (NameGranted(m_pAsking.get())) ReleaseName(m_pAsking->property("name").toString());
  }
  if (IsRegistered()) ReleaseName(m_strName);
  if (m_bObjectRegistered) m_bus.unregisterObject(kPath);
}

void CMprisService::AskForName(const QString& strName, bool bOwnName) {
  m_pAnswered.reset();
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), "RequestName");
  constexpr uint kDoNotQueue = 4;  // DBUS_NAME_FLAG_DO_NOT_QUEUE
  call << strName << kDoNotQueue;
  m_pAsking = std::make_unique<QDBusPendingCallWatcher>(m_bus.asyncCall(call, kAskTimeoutMs));
  m_pAsking->setProperty("name", strName);
  QObject::connect(m_pAsking.get(), &QDBusPendingCallWatcher::finished, m_pAsking.get(),
                   [this, strName, bOwnName](QDBusPendingCallWatcher* pWatcher) {
                     OnNameReply(pWatcher, strName, bOwnName);
                   });
}

void CMprisService::OnNameReply(QDBusPendingCallWatcher* pWatcher, const QString& strName,
                                bool bOwnName) {
  if (pWatcher != m_pAsking.get()) return;
  m_pAnswered = std::move(m_pAsking);
  if (NameGranted(pWatcher)) {
    m_strName = strName;
    m_announced = WatchedProperties();
  } else if (bOwnName) {
    AskForName(strName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid()),
               false);
  }
}

bool CMprisService::NameGranted(QDBusPendingCallWatcher* pWatcher) {
  constexpr uint kPrimaryOwner = 1, kAlreadyOwner = 4;
  QDBusPendingReply<uint> reply = *pWatcher;
  return reply.isFinished() && !reply.isError() &&
         (reply.value() == kPrimaryOwner || reply.value() == kAlreadyOwner);
}

void CMprisService::ReleaseName(const QString& strName) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), "ReleaseName");
  call << strName;
  m_bus.call(call, QDBus::Block, kReleaseWaitMs);
}

QString CMprisService::PlaybackStatus() const {
  const int nState = m_pLink->state ? m_pLink->state() : Idle;
  return IsReciting(nState) ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QVariantMap CMprisService::Metadata() const {
  const int nState = m_pLink->state ? m_pLink->state() : Idle;
  const int nPhrase = m_pLink->phrase ? m_pLink->phrase() : -1;
  QVariantMap metadata;
  if (!IsReciting(nState) || nPhrase < 0 || nPhrase > kLastPhrase) {
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kNoTrack))));
    return metadata;
  }
  metadata.insert(QStringLiteral("mpris:trackid"),
                  QVariant::fromValue(QDBusObjectPath(TrackId(nPhrase))));
  metadata.insert(QStringLiteral("xesam:title"), PhraseTitle(nPhrase));
  metadata.insert(QStringLiteral("xesam:trackNumber"), nPhrase + 1);
  return metadata;
}

bool CMprisService::CanStep() const { return Call(m_pLink->canStep); }
bool CMprisService::CanStart() const { return Call(m_pLink->canStart); }
bool CMprisService::CanStop() const { return Call(m_pLink->canStop); }

QString CMprisService::PhraseTitle(int nPhrase) {
  if (nPhrase < 0 || nPhrase > kLastPhrase) return {};
  QString strTitle = QStringLiteral("%1 / %2").arg(nPhrase + 1).arg(kPhraseCount);
  for (int c = 0; c < kPhraseCharCount[nPhrase]; ++c) {
    strTitle += QLatin1Char(' ') + QString::fromUtf8(GetCharReading(nPhrase, c));
  }
  return strTitle;
}

QString CMprisService::TrackId(int nPhrase) {
  return QStringLiteral("/org/solvari/Solvari/Phrase/%1").arg(nPhrase + 1);
}

QVariantMap CMprisService::WatchedProperties() const {
  return {
      {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
      {QStringLiteral("Metadata"), Metadata()},
      {QStringLiteral("CanGoNext"), CanStep()},
      {QStringLiteral("CanGoPrevious"), CanStep()},
      {QStringLiteral("CanPlay"), CanStart()},
      {QStringLiteral("CanPause"), CanStop()},
  };
}

void CMprisService::Update() {
  if (!IsRegistered()) return;
  const QVariantMap now = WatchedProperties();
  QVariantMap changed;
  for (auto it = now.cbegin(); it != now.cend(); ++it) {
    if (m_announced.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
  }
  if (changed.isEmpty()) return;
  m_announced = now;
  QDBusMessage signal =
      QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                 QStringLiteral("PropertiesChanged"));
  signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
  m_bus.send(signal);
}

}  // namespace solvari::app
