// The program on the desktop's session bus, against a private bus started by
// the test: a stand-in screen saver records every Inhibit and UnInhibit, and a
// media player client starts and steps a recitation over MPRIS. The
// recitation is a stand-in too, moving between the frame's states as the
// sequencer would and telling the session after each change, as the frame
// does after each command and event.
//
// With SOLVARI_TEST_NO_BUS=1 (no bus named) or =unreachable (a bus named
// that is not there) the same program checks that without a bus nothing
// fails and nothing is printed.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QtTest>
#include <memory>
#include <vector>

#include "app/desktop_session.h"
#include "core/reading_state.h"
#include "private_bus.h"

using namespace solvari;
using namespace solvari::app;

namespace {

constexpr int kWaitMs = 30000;  // a wait for the bus, never a measure of time

// The recitation as the frame shows it: state, phrase, the commands'
// enabled state, and the commands, which move it as the sequencer would.
struct FakeRecitation {
  int nState = Title;
  int nPhrase = 0;
  bool bStopRequested = false;
  int nStarts = 0, nStops = 0, nNexts = 0, nPrevious = 0, nRaises = 0;
  CDesktopSession* pSession = nullptr;

  RecitationLink Link() {
    RecitationLink link;
    link.state = [this] { return nState; };
    link.phrase = [this] { return nPhrase; };
    link.canStart = [this] { return nState == Idle; };
    link.canStop = [this] { return nState == Reading && !bStopRequested; };
    link.canStep = [this] { return nState == Reading && !bStopRequested; };
    link.start = [this] {
      ++nStarts;
      Start();
    };
    link.stop = [this] {
      ++nStops;
      bStopRequested = true;
      Changed();
    };
    link.next = [this] {
      ++nNexts;
      Go(nPhrase < 53 ? nPhrase + 1 : 53);
    };
    link.previous = [this] {
      ++nPrevious;
      Go(nPhrase > 0 ? nPhrase - 1 : 0);
    };
    link.raise = [this] { ++nRaises; };
    return link;
  }
  void Changed() {
    if (pSession) pSession->Update();
  }
  void Set(int nNewState) {
    nState = nNewState;
    Changed();
  }
  void Start() {
    nState = Starting;
    nPhrase = 0;
    bStopRequested = false;
    Changed();
  }
  void Go(int n) {
    nPhrase = n;
    Changed();
  }
  // The voice's end after Stop, or after the last phrase: back to Idle.
  void End() {
    bStopRequested = false;
    Set(Idle);
  }
};

}  // namespace

// The screen saver's service, on a connection and a thread of its own, so
// that it answers while the test's thread waits on the bus.
class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  struct Call {
    bool bInhibit;
    uint nCookie;
    QString strApplication;
    QString strReason;
  };

  std::vector<Call> Calls() const {
    QMutexLocker lock(&m_mutex);
    return m_calls;
  }
  int MaxHeld() const {
    QMutexLocker lock(&m_mutex);
    return m_nMaxHeld;
  }
  int Held() const {
    QMutexLocker lock(&m_mutex);
    return static_cast<int>(m_held.size());
  }
  int UnknownCookies() const {
    QMutexLocker lock(&m_mutex);
    return m_nUnknown;
  }
  int Marks() const {
    QMutexLocker lock(&m_mutex);
    return m_nMarks;
  }
  void Clear() {
    QMutexLocker lock(&m_mutex);
    m_calls.clear();
    m_held.clear();
    m_nMaxHeld = 0;
    m_nUnknown = 0;
    m_nLastCookie = 1000;
  }

 public Q_SLOTS:
  uint Inhibit(const QString& strApplication, const QString& strReason) {
    QMutexLocker lock(&m_mutex);
    const uint nCookie = ++m_nLastCookie;
    m_calls.push_back({true, nCookie, strApplication, strReason});
    m_held.insert(nCookie);
    m_nMaxHeld = std::max(m_nMaxHeld, static_cast<int>(m_held.size()));
    return nCookie;
  }
  void UnInhibit(uint nCookie) {
    QMutexLocker lock(&m_mutex);
    m_calls.push_back({false, nCookie, {}, {}});
    if (!m_held.remove(nCookie)) ++m_nUnknown;
  }
  // Not the screen saver's: the test's mark that what was sent before it
  // from the same connection has arrived.
  void Mark() {
    QMutexLocker lock(&m_mutex);
    ++m_nMarks;
  }

 private:
  mutable QMutex m_mutex;
  std::vector<Call> m_calls;
  QSet<uint> m_held;
  int m_nMaxHeld = 0;
  int m_nUnknown = 0;
  int m_nMarks = 0;
  uint m_nLastCookie = 1000;
};

class TestIdleInhibition : public QObject {
  Q_OBJECT

 private:
  QThread m_thread;
  FakeScreenSaver* m_pSaver = nullptr;
  std::unique_ptr<QDBusConnection> m_pSaverBus;
  FakeRecitation m_recitation;
  std::unique_ptr<CDesktopSession> m_pSession;

  // Everything the program sent before this has reached the screen saver:
  // a mark sent after it on the program's own connection has arrived.
  // First the reply the program awaits is taken (it may hand its cookie
  // back at once).
  void Settle() {
    QVERIFY(QTest::qWaitFor([&] { return !m_pSession || !m_pSession->Inhibitor().IsAsking(); },
                            kWaitMs));
    const int nMarks = m_pSaver->Marks();
    QDBusMessage mark = QDBusMessage::createMethodCall(
        CIdleInhibitor::kService, CIdleInhibitor::kPath, CIdleInhibitor::kInterface, "Mark");
    QDBusConnection::sessionBus().asyncCall(mark);
    QVERIFY(QTest::qWaitFor([&] { return m_pSaver->Marks() > nMarks; }, kWaitMs));
  }
  void MakeSession() {
    m_recitation = FakeRecitation();
    m_pSession = std::make_unique<CDesktopSession>(m_recitation.Link());
    m_recitation.pSession = m_pSession.get();
  }
  void EndSession() {
    m_recitation.pSession = nullptr;
    m_pSession.reset();
  }
  // The calls as "+cookie" for Inhibit and "-cookie" for UnInhibit.
  QStringList Trail() const {
    QStringList trail;
    for (const auto& call : m_pSaver->Calls()) {
      trail << (call.bInhibit ? "+" : "-") + QString::number(call.nCookie);
    }
    return trail;
  }

 private Q_SLOTS:
  void initTestCase() {
    m_pSaverBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "screensaver"));
    QVERIFY(m_pSaverBus->isConnected());
    m_pSaver = new FakeScreenSaver;
    m_pSaver->moveToThread(&m_thread);
    m_thread.start();
    QVERIFY(m_pSaverBus->registerObject(CIdleInhibitor::kPath, m_pSaver,
                                        QDBusConnection::ExportAllSlots));
    QVERIFY(m_pSaverBus->registerService(CIdleInhibitor::kService));
  }
  void cleanupTestCase() {
    m_pSaverBus->unregisterService(CIdleInhibitor::kService);
    m_pSaverBus->unregisterObject(CIdleInhibitor::kPath);
    m_thread.quit();
    m_thread.wait();
    delete m_pSaver;
    QDBusConnection::disconnectFromBus("screensaver");
  }
  void init() {
    QTest::failOnWarning(QRegularExpression(".*"));
    m_pSaver->Clear();
    MakeSession();
  }
  void cleanup() { EndSession(); }

  // Held from Start, through the reading and a repeat, until the end.
  void heldFromStartToEnd() {
    m_recitation.Set(Idle);  // the title screen has ended
    Settle();
    QVERIFY(m_pSaver->Calls().empty());
    m_recitation.Start();
    QVERIFY(QTest::qWaitFor([&] { return m_pSession->Inhibitor().IsHeld(); }, kWaitMs));
    const auto calls = m_pSaver->Calls();
    QCOMPARE(calls.size(), size_t{1});
    QVERIFY(calls[0].bInhibit);
    QCOMPARE(calls[0].strApplication, QString("Solvari"));
    QCOMPARE(calls[0].strReason, QString("Reciting"));

    m_recitation.Set(Reading);
    for (int p = 1; p <= 53; ++p) m_recitation.Go(p);
    m_recitation.Set(Starting);  // Repeat: from the first phrase again
    m_recitation.Go(0);
    m_recitation.Set(Reading);
    Settle();
    QCOMPARE(Trail(), QStringList{"+1001"});

    m_recitation.End();
    Settle();
    QCOMPARE(Trail(), (QStringList{"+1001", "-1001"}));
    QCOMPARE(m_pSaver->Held(), 0);
    QCOMPARE(m_pSaver->MaxHeld(), 1);
    QVERIFY(!m_pSession->Inhibitor().IsHeld());
  }

  // Stop: held until the stopped voice's end brings the state back to Idle.
  void releasedAtStop() {
    m_recitation.Set(Idle);
    m_recitation.Start();
    m_recitation.Set(Reading);
    QVERIFY(QTest::qWaitFor([&] { return m_pSession->Inhibitor().IsHeld(); }, kWaitMs));
    m_recitation.Link().stop();
    Settle();
    QCOMPARE(m_pSaver->Held(), 1);
    m_recitation.End();
    Settle();
    QCOMPARE(m_pSaver->Held(), 0);
    QCOMPARE(Trail().size(), 2);
    QCOMPARE(m_pSaver->UnknownCookies(), 0);
  }

  // A reading that fails at its start (no voice loads, no device): back to
  // Idle before the service has even answered. The cookie that comes is
  // handed back as soon as it comes.
  void releasedOnFailureBeforeTheReply() {
    m_recitation.Set(Idle);
    m_recitation.Start();
    QVERIFY(m_pSession->Inhibitor().IsAsking());
    m_recitation.Set(Idle);
    Settle();
    QCOMPARE(Trail(), (QStringList{"+1001", "-1001"}));
    QCOMPARE(m_pSaver->Held(), 0);
    QVERIFY(!m_pSession->Inhibitor().IsHeld());
  }

  // Starts and ends in quick succession, answered or not: one inhibition at
  // a time, each handed back, and one held at the end while reading.
  void neverTwoAtOnce() {
    m_recitation.Set(Idle);
    for (int i = 0; i < 5; ++i) {
      m_recitation.Start();
      m_recitation.Set(Idle);
    }
    m_recitation.Start();  // all before any reply
    Settle();
    QCOMPARE(Trail(), QStringList{"+1001"});
    QVERIFY(m_pSession->Inhibitor().IsHeld());
    for (int i = 0; i < 5; ++i) {
      m_recitation.Set(Idle);
      m_recitation.Start();
      if (i % 2) Settle();
    }
    m_recitation.Set(Reading);
    Settle();
    QCOMPARE(m_pSaver->MaxHeld(), 1);
    QCOMPARE(m_pSaver->Held(), 1);
    QCOMPARE(m_pSaver->UnknownCookies(), 0);
    m_recitation.End();
    Settle();
    QCOMPARE(m_pSaver->Held(), 0);
    const QStringList trail = Trail();
    QCOMPARE(trail.size() % 2, 0);
    for (int i = 0; i < trail.size(); i += 2) {
      QVERIFY(trail[i].startsWith('+'));
      QCOMPARE(trail[i + 1], "-" + trail[i].mid(1));
    }
  }

  // The program goes while reading: the cookie is handed back before the
  // session has gone (the call has reached the service when it returns).
  void releasedAtExit() {
    m_recitation.Set(Idle);
    m_recitation.Start();
    m_recitation.Set(Reading);
    QVERIFY(QTest::qWaitFor([&] { return m_pSession->Inhibitor().IsHeld(); }, kWaitMs));
    EndSession();
    QCOMPARE(Trail(), (QStringList{"+1001", "-1001"}));
    QCOMPARE(m_pSaver->Held(), 0);
  }

  // The program goes right after Start, before the service has answered.
  void releasedAtExitBeforeTheReply() {
    m_recitation.Set(Idle);
    m_recitation.Start();
    QVERIFY(m_pSession->Inhibitor().IsAsking());
    EndSession();
    QCOMPARE(Trail(), (QStringList{"+1001", "-1001"}));
    QCOMPARE(m_pSaver->Held(), 0);
  }

  // Nobody offers the service: a recitation runs, nothing is held, nothing
  // is printed (every warning fails the test).
  void withoutTheService() {
    QVERIFY(m_pSaverBus->unregisterService(CIdleInhibitor::kService));
    m_recitation.Set(Idle);
    m_recitation.Start();
    m_recitation.Set(Reading);
    QVERIFY(QTest::qWaitFor([&] { return !m_pSession->Inhibitor().IsAsking(); }, kWaitMs));
    QVERIFY(!m_pSession->Inhibitor().IsHeld());
    m_recitation.End();
    EndSession();
    QVERIFY(m_pSaverBus->registerService(CIdleInhibitor::kService));
    QVERIFY(m_pSaver->Calls().empty());
  }
};

// A media player client on a connection of its own.
class TestMpris : public QObject {
  Q_OBJECT

 private:
  FakeRecitation m_recitation;
  std::unique_ptr<CDesktopSession> m_pSession;
  std::unique_ptr<QDBusConnection> m_pClient;
  std::vector<QVariantMap> m_changes;  // PropertiesChanged of the Player, in order

  // A call to the player, its reply awaited while the program's thread
  // goes on serving the bus.
  QDBusMessage Ask(const QString& strInterface, const QString& strMethod,
                   const QVariantList& args = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        CMprisService::kServiceName, CMprisService::kPath, strInterface, strMethod);
    call.setArguments(args);
    QDBusPendingCall pending = m_pClient->asyncCall(call);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, kWaitMs)) return {};
    return pending.reply();
  }
  void Command(const QString& strMethod,
               const QString& strInterface = CMprisService::kPlayerInterface) {
    QCOMPARE(Ask(strInterface, strMethod).type(), QDBusMessage::ReplyMessage);
  }
  QVariant Property(const QString& strName,
                    const QString& strInterface = CMprisService::kPlayerInterface) {
    QDBusMessage reply = Ask("org.freedesktop.DBus.Properties", "Get", {strInterface, strName});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return Plain(reply.arguments().at(0).value<QDBusVariant>().variant());
  }
  QVariantMap Metadata() { return Property("Metadata").toMap(); }
  static QString Title(const QVariantMap& metadata) {
    return metadata.value("xesam:title").toString();
  }
  static QString TrackId(const QVariantMap& metadata) {
    return metadata.value("mpris:trackid").value<QDBusObjectPath>().path();
  }
  // A map off the bus arrives as its marshalled form.
  static QVariant Plain(const QVariant& value) {
    if (value.canConvert<QDBusArgument>() &&
        value.value<QDBusArgument>().currentType() == QDBusArgument::MapType) {
      QVariantMap map = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
      for (auto it = map.begin(); it != map.end(); ++it) it.value() = Plain(it.value());
      return map;
    }
    return value;
  }
  // Waits for a PropertiesChanged that holds strName, and gives its value.
  QVariant Announced(const QString& strName, size_t* pSeen) {
    QVariant value;
    (void)QTest::qWaitFor(
        [&] {
          for (; *pSeen < m_changes.size(); ++*pSeen) {
            if (m_changes[*pSeen].contains(strName)) {
              value = m_changes[(*pSeen)++].value(strName);
              return true;
            }
          }
          return false;
        },
        kWaitMs);
    return value;
  }

 private Q_SLOTS:
  void OnPropertiesChanged(const QString& strInterface, const QVariantMap& changed,
                           const QStringList&) {
    if (strInterface != CMprisService::kPlayerInterface) return;
    QVariantMap plain;
    for (auto it = changed.cbegin(); it != changed.cend(); ++it)
      plain[it.key()] = Plain(it.value());
    m_changes.push_back(plain);
  }

  void initTestCase() {
    m_pClient = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "mpris-client"));
    QVERIFY(m_pClient->isConnected());
    QVERIFY(m_pClient->connect(QString(), CMprisService::kPath, "org.freedesktop.DBus.Properties",
                               "PropertiesChanged", this,
                               SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList))));
  }
  void cleanupTestCase() {
    m_pClient.reset();
    QDBusConnection::disconnectFromBus("mpris-client");
  }
  void init() {
    QTest::failOnWarning(QRegularExpression(".*"));
    m_changes.clear();
    m_recitation = FakeRecitation();
    m_pSession = std::make_unique<CDesktopSession>(m_recitation.Link());
    m_recitation.pSession = m_pSession.get();
    QVERIFY(QTest::qWaitFor([&] { return !m_pSession->Mpris().IsAsking(); }, kWaitMs));
  }
  void cleanup() {
    m_recitation.pSession = nullptr;
    m_pSession.reset();
  }

  // The name and both interfaces are there, with the fixed properties.
  void registered() {
    QVERIFY(m_pSession->Mpris().IsRegistered());
    QCOMPARE(m_pSession->Mpris().ServiceName(), QString("org.mpris.MediaPlayer2.solvari"));
    QVERIFY(m_pClient->interface()->isServiceRegistered("org.mpris.MediaPlayer2.solvari"));
    const QString xml =
        Ask("org.freedesktop.DBus.Introspectable", "Introspect").arguments().value(0).toString();
    QVERIFY(xml.contains(R"(<interface name="org.mpris.MediaPlayer2">)"));
    QVERIFY(xml.contains(R"(<interface name="org.mpris.MediaPlayer2.Player">)"));
    for (const char* method : {"Next", "Previous", "Pause", "PlayPause", "Stop", "Play", "Seek",
                               "SetPosition", "OpenUri", "Raise", "Quit"}) {
      QVERIFY2(xml.contains(QString(R"(<method name="%1")").arg(method)), method);
    }
    QVERIFY(xml.contains(R"(<signal name="Seeked")"));
    const QString root = "org.mpris.MediaPlayer2";
    QCOMPARE(Property("Identity", root).toString(), QString("Solvari"));
    QCOMPARE(Property("DesktopEntry", root).toString(), QString("solvari"));
    QCOMPARE(Property("CanRaise", root).toBool(), true);
    QCOMPARE(Property("CanQuit", root).toBool(), false);
    QCOMPARE(Property("HasTrackList", root).toBool(), false);
    QCOMPARE(Property("CanControl").toBool(), true);
    QCOMPARE(Property("CanSeek").toBool(), false);
    QCOMPARE(Property("Rate").toDouble(), 1.0);
    QCOMPARE(Property("Position").userType(), QMetaType::LongLong);
  }

  // A client starts a recitation, steps through it, reads the phrase, and
  // stops it; every change is announced.
  void startStepAndRead() {
    m_recitation.Set(Idle);
    QCOMPARE(Property("PlaybackStatus").toString(), QString("Stopped"));
    QCOMPARE(TrackId(Metadata()), QString(CMprisService::kNoTrack));
    QCOMPARE(Property("CanPlay").toBool(), true);
    QCOMPARE(Property("CanPause").toBool(), false);
    QCOMPARE(Property("CanGoNext").toBool(), false);
    size_t nSeen = m_changes.size();

    Command("Play");
    QCOMPARE(m_recitation.nStarts, 1);
    QCOMPARE(m_recitation.nState, int(Starting));
    QCOMPARE(Announced("PlaybackStatus", &nSeen).toString(), QString("Playing"));
    QCOMPARE(Property("PlaybackStatus").toString(), QString("Playing"));
    QCOMPARE(Property("CanPlay").toBool(), false);

    m_recitation.Set(Reading);  // the first voice plays
    QCOMPARE(Announced("CanGoNext", &nSeen).toBool(), true);
    QCOMPARE(Property("CanGoPrevious").toBool(), true);
    QCOMPARE(Property("CanPause").toBool(), true);
    QCOMPARE(Title(Metadata()), QString("1 / 54 かん じー ざい ぼー さー"));

    Command("Next");
    Command("Next");
    QCOMPARE(m_recitation.nNexts, 2);
    const QVariantMap metadata = Metadata();
    QCOMPARE(Title(metadata), QString("3 / 54 しょう けん ごー おん かい くう"));
    QCOMPARE(TrackId(metadata), QString("/org/solvari/Solvari/Phrase/3"));
    QCOMPARE(metadata.value("xesam:trackNumber").toInt(), 3);
    QVariant announced;
    while ((announced = Announced("Metadata", &nSeen)).isValid() &&
           Title(announced.toMap()) != Title(metadata)) {
    }
    QCOMPARE(Title(announced.toMap()), Title(metadata));

    Command("Previous");
    QCOMPARE(m_recitation.nPrevious, 1);
    QVERIFY(Title(Metadata()).startsWith("2 / 54 "));

    Command("PlayPause");  // Stop: the voice ends, then the reading
    QCOMPARE(m_recitation.nStops, 1);
    QCOMPARE(m_recitation.nStarts, 1);
    QCOMPARE(Announced("CanGoNext", &nSeen).toBool(), false);
    QCOMPARE(Property("CanPause").toBool(), false);
    QCOMPARE(Property("PlaybackStatus").toString(), QString("Playing"));
    m_recitation.End();
    QCOMPARE(Announced("PlaybackStatus", &nSeen).toString(), QString("Stopped"));
    QCOMPARE(TrackId(Metadata()), QString(CMprisService::kNoTrack));

    Command("PlayPause");  // Start again
    QCOMPARE(m_recitation.nStarts, 2);
    m_recitation.Set(Reading);
    Command("Pause");
    QCOMPARE(m_recitation.nStops, 2);
    m_recitation.End();
    Command("Play");
    m_recitation.Set(Reading);
    Command("Stop");
    QCOMPARE(m_recitation.nStops, 3);
  }

  // A command whose menu item is disabled does nothing; Raise always works.
  void onlyEnabledCommands() {
    // The title screen: nothing is enabled.
    for (const char* method : {"Play", "PlayPause", "Pause", "Stop", "Next", "Previous"}) {
      Command(method);
    }
    QCOMPARE(
        m_recitation.nStarts + m_recitation.nStops + m_recitation.nNexts + m_recitation.nPrevious,
        0);
    QCOMPARE(m_recitation.nState, int(solvari::Title));
    // Starting: no voice yet, so neither Stop nor a step.
    m_recitation.Set(Idle);
    Command("Play");
    Command("Play");
    QCOMPARE(m_recitation.nStarts, 1);
    for (const char* method : {"PlayPause", "Pause", "Stop", "Next", "Previous"}) Command(method);
    QCOMPARE(m_recitation.nStops + m_recitation.nNexts + m_recitation.nPrevious, 0);
    // Reading after Stop: the stopped voice is still ending.
    m_recitation.Set(Reading);
    Command("Stop");
    for (const char* method : {"Stop", "Pause", "Next", "Previous", "Play"}) Command(method);
    QCOMPARE(m_recitation.nStops, 1);
    QCOMPARE(m_recitation.nNexts + m_recitation.nPrevious, 0);
    QCOMPARE(m_recitation.nStarts, 1);

    Command("Raise", "org.mpris.MediaPlayer2");
    QCOMPARE(m_recitation.nRaises, 1);
    Command("Quit", "org.mpris.MediaPlayer2");  // CanQuit is false
    // Setting what cannot change changes nothing.
    QDBusMessage set =
        Ask("org.freedesktop.DBus.Properties", "Set",
            {CMprisService::kPlayerInterface, "Rate", QVariant::fromValue(QDBusVariant(2.0))});
    QCOMPARE(set.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(Property("Rate").toDouble(), 1.0);
  }

  // A second copy of the program takes a name of its own, and each name
  // goes with its copy.
  void secondCopy() {
    FakeRecitation other;
    const RecitationLink link = other.Link();
    QDBusConnection bus = QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "second-copy");
    {
      CMprisService second(&link, bus);
      // The name is asked for, not waited for.
      QVERIFY(second.IsAsking());
      QVERIFY(!second.IsRegistered());
      QVERIFY(QTest::qWaitFor([&] { return !second.IsAsking(); }, kWaitMs));
      QVERIFY(second.IsRegistered());
      QVERIFY(second.ServiceName().startsWith("org.mpris.MediaPlayer2.solvari.instance"));
      QVERIFY(m_pClient->interface()->isServiceRegistered(second.ServiceName()));
      QCOMPARE(m_pSession->Mpris().ServiceName(), QString("org.mpris.MediaPlayer2.solvari"));
    }
    QDBusConnection::disconnectFromBus("second-copy");
    m_recitation.pSession = nullptr;
    m_pSession.reset();
    QVERIFY(!m_pClient->interface()->isServiceRegistered("org.mpris.MediaPlayer2.solvari"));
  }
};

// No bus at all.
class TestNoBus : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init() { QTest::failOnWarning(QRegularExpression(".*")); }

  // A whole recitation with every command: nothing registered, nothing
  // asked, nothing printed.
  void recitesAsBefore() {
    FakeRecitation recitation;
    auto pSession = std::make_unique<CDesktopSession>(recitation.Link());
    recitation.pSession = pSession.get();
    QVERIFY(!pSession->Mpris().IsRegistered());
    QVERIFY(!pSession->Mpris().IsAsking());
    recitation.Set(Idle);
    recitation.Start();
    QVERIFY(!pSession->Inhibitor().IsAsking());
    recitation.Set(Reading);
    for (int p = 1; p <= 53; ++p) recitation.Go(p);
    recitation.Link().stop();
    recitation.End();
    QVERIFY(!pSession->Inhibitor().IsHeld());
    recitation.Start();
    recitation.pSession = nullptr;
    pSession.reset();  // while reciting
  }
};

int main(int argc, char** argv) {
  // SOLVARI_TEST_NO_BUS: "1" for no bus named at all, "unreachable" for a
  // bus named that is not there.
  const QString strNoBus = qEnvironmentVariable("SOLVARI_TEST_NO_BUS");
  const bool bNoBus = strNoBus == "1" || strNoBus == "unreachable";
  std::unique_ptr<solvari::app::test::CPrivateBus> pBus;
  if (bNoBus) {
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", "/nonexistent");
    if (strNoBus == "unreachable") {
      qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/solvari-test-bus");
    }
  } else {
    pBus = std::make_unique<solvari::app::test::CPrivateBus>();
    if (pBus->Address().empty()) {
      std::fprintf(stderr, "dbus-daemon did not start (Debian package dbus)\n");
      return 1;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(pBus->Address()));
  }
  QCoreApplication app(argc, argv);
  int nFailed = 0;
  if (bNoBus) {
    TestNoBus noBus;
    nFailed += QTest::qExec(&noBus, argc, argv);
  } else {
    TestIdleInhibition inhibition;
    nFailed += QTest::qExec(&inhibition, argc, argv);
    TestMpris mpris;
    nFailed += QTest::qExec(&mpris, argc, argv);
  }
  return nFailed;
}

#include "test_desktop_session.moc"
