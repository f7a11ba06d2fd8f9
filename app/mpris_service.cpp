#include "app/mpris_service.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

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
  if (!m_bus.registerObject(kPath, &m_object, QDBusConnection::ExportAdaptors)) return;
  QString strName = QString::fromLatin1(kServiceName);
  if (!m_bus.registerService(strName)) {
    strName += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
    if (!m_bus.registerService(strName)) {
      m_bus.unregisterObject(kPath);
      return;
    }
  }
  m_strName = strName;
  m_announced = WatchedProperties();
}

CMprisService::~CMprisService() {
  if (!IsRegistered()) return;
  m_bus.unregisterService(m_strName);
  m_bus.unregisterObject(kPath);
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
