// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QtTest>
#include <cstdio>
#include <memory>

#include "app/desktop_session.h"
#include "core/reading_state.h"
#include "private_bus.h"

using namespace solvari;
using namespace solvari::app;

namespace {

constexpr int kWaitMs = 30000;  // a wait for the bus, never a measure of time

// The recitation as the frame shows it; its commands move it as the
// sequencer would (Next and Previous at once, Stop when the voice has ended).
struct FakeRecitation {
  int nState = solvari::Title;
  int nPhrase = 0;
  bool bStopRequested = false;
  int nStarts = 0, nStops = 0, nSteps = 0, nRaises = 0;
  CDesktopSession* pSession = nullptr;

  RecitationLink Link() {
    RecitationLink link;
    link.state = [this] { return nState; };
    link.phrase = [this] { return nPhrase; };
    link.canStart = [this] { return nState == Idle; };
    link.canStop = [this] { return nState == Reading && !bStopRequested; };
    link.canStep = link.canStop;
    link.start = [this] { ++nStarts, Start(); };
    link.stop = [this] { ++nStops, bStopRequested = true, Changed(); };
    link.next = [this] { ++nSteps, Go(std::min(nPhrase + 1, 53)); };
    link.previous = [this] { ++nSteps, Go(std::max(nPhrase - 1, 0)); };
    link.raise = [this] { ++nRaises; };
    return link;
  }
  void Changed() {
    if (pSession) pSession->Update();
  }
  void Set(int nNew) { nState = nNew, Changed(); }
  void Go(int nNew) { nPhrase = nNew, Changed(); }
  void Start() { nState = Starting, nPhrase = 0, bStopRequested = false, Changed(); }
  void End() { bStopRequested = false, Set(Idle); }  // the last voice, or the stopped one, ended
};

}  // namespace

// The screen saver's service, on a connection and a thread of its own, so
// that it answers while the test's thread waits on the bus. Its trail has
// "+cookie" for each Inhibit and "-cookie" for each UnInhibit.
class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  struct Record {
    QStringList trail;
    QStringList arguments;  // of every Inhibit: application and reason
    int nHeld = 0, nMaxHeld = 0, nUnknown = 0, nMarks = 0;
  };
  Record Get() const {
    QMutexLocker lock(&m_mutex);
    return m_record;
  }
  void Clear() {
    QMutexLocker lock(&m_mutex);
    m_record = {};
    m_held.clear();
    m_nLastCookie = 1000;
  }

 public Q_SLOTS:
  uint Inhibit(const QString& strApplication, const QString& strReason) {
    QMutexLocker lock(&m_mutex);
    m_held.insert(++m_nLastCookie);
    m_record.trail << "+" + QString::number(m_nLastCookie);
    m_record.arguments << strApplication << strReason;
    m_record.nHeld = m_held.size();
    m_record.nMaxHeld = std::max(m_record.nMaxHeld, m_record.nHeld);
    return m_nLastCookie;
  }
  void UnInhibit(uint nCookie) {
    QMutexLocker lock(&m_mutex);
    m_record.trail << "-" + QString::number(nCookie);
    if (!m_held.remove(nCookie)) ++m_record.nUnknown;
    m_record.nHeld = m_held.size();
  }
  // Not the screen saver's: the test's mark that what was sent before it
  // from the same connection has arrived.
  void Mark() {
    QMutexLocker lock(&m_mutex);
    ++m_record.nMarks;
  }

 private:
  mutable QMutex m_mutex;
  Record m_record;
  QSet<uint> m_held;
  uint m_nLastCookie = 1000;
};

class TestIdleInhibition : public QObject {
  Q_OBJECT

 private:
  QThread m_thread;
  FakeScreenSaver* m_pSaver = nullptr;
  std::unique_ptr<QDBusConnection> m_pSaverBus;
  FakeRecitation m_rec;
  std::unique_ptr<CDesktopSession> m_pSession;

  const CIdleInhibitor& Inhibitor() const { return m_pSession->Inhibitor(); }
  // Everything the program has sent has reached the screen saver: first the
  // reply it awaits is taken (it may hand its cookie back at once), then a
  // mark sent after that on the program's own connection arrives.
  void Settle() {
    QVERIFY(QTest::qWaitFor([&] { return !m_pSession || !Inhibitor().IsAsking(); }, kWaitMs));
    const int nMarks = m_pSaver->Get().nMarks;
    QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        CIdleInhibitor::kService, CIdleInhibitor::kPath, CIdleInhibitor::kInterface, "Mark"));
    QVERIFY(QTest::qWaitFor([&] { return m_pSaver->Get().nMarks > nMarks; }, kWaitMs));
  }
  QStringList Trail() const { return m_pSaver->Get().trail; }
  void WaitHeld() {
    QVERIFY(QTest::qWaitFor([&] { return Inhibitor().IsHeld(); }, kWaitMs));
  }
  void EndSession() {
    m_rec.pSession = nullptr;
    m_pSession.reset();
  }

 private Q_SLOTS:
  void initTestCase() {
    m_pSaverBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "screensaver"));
    m_pSaver = new FakeScreenSaver;
    m_pSaver->moveToThread(&m_thread);
    m_thread.start();
    QVERIFY(m_pSaverBus->registerObject(CIdleInhibitor::kPath, m_pSaver,
                                        QDBusConnection::ExportAllSlots));
    QVERIFY(m_pSaverBus->registerService(CIdleInhibitor::kService));
  }
  void cleanupTestCase() {
    m_pSaverBus->unregisterObject(CIdleInhibitor::kPath);
    m_thread.quit();
    m_thread.wait();
    delete m_pSaver;
    m_pSaverBus.reset();
    QDBusConnection::disconnectFromBus("screensaver");
  }
  void init() {
    QTest::failOnWarning(QRegularExpression(".*"));
    m_pSaver->Clear();
    m_rec = FakeRecitation();
    m_pSession = std::make_unique<CDesktopSession>(m_rec.Link());
    m_rec.pSession = m_pSession.get();
    m_rec.Set(Idle);  // the title screen has ended
  }
  void cleanup() { EndSession(); }

  // Held from Start, through the reading and a repeat, until the end.
  void heldFromStartToEnd() {
    Settle();
    QVERIFY(Trail().isEmpty());
    m_rec.Start();
    WaitHeld();
    QCOMPARE(m_pSaver->Get().arguments, (QStringList{"Solvari", "Reciting"}));
    m_rec.Set(Reading);
    for (int p = 1; p <= 53; ++p) m_rec.Go(p);
    m_rec.Start();  // Repeat: Starting again from the first phrase
    m_rec.Set(Reading);
    Settle();
    QCOMPARE(Trail(), QStringList{"+1001"});
    m_rec.End();
    Settle();
    QCOMPARE(Trail(), (QStringList{"+1001", "-1001"}));
    QVERIFY(!Inhibitor().IsHeld());
  }

  // Stop: held until the stopped voice's end brings the state back to Idle.
  void releasedAtStop() {
    m_rec.Start();
    m_rec.Set(Reading);
    WaitHeld();
    m_rec.Link().stop();
    Settle();
    QCOMPARE(Trail(), QStringList{"+1001"});
    m_rec.End();
    Settle();
    QCOMPARE(Trail(), (QStringList{"+1001", "-1001"}));
  }

  // A reading that fails at its start (no voice loads, no device) is back
  // in Idle before the service has answered: the cookie that comes is
  // handed back as soon as it comes.
  void releasedOnFailureBeforeTheReply() {
    m_rec.Start();
    QVERIFY(Inhibitor().IsAsking());
    m_rec.Set(Idle);
    Settle();
    QCOMPARE(Trail(), (QStringList{"+1001", "-1001"}));
    QVERIFY(!Inhibitor().IsHeld());
  }

  // Starts and ends in quick succession, answered or not: one inhibition at
  // a time, each handed back.
  void neverTwoAtOnce() {
    for (int i = 0; i < 5; ++i) m_rec.Start(), m_rec.Set(Idle);
    m_rec.Start();  // all before any reply
    Settle();
    QCOMPARE(Trail(), QStringList{"+1001"});
    for (int i = 0; i < 6; ++i) {
      m_rec.Set(Idle), m_rec.Start();
      if (i % 2) Settle();
    }
    m_rec.Set(Reading);
    Settle();
    const auto record = m_pSaver->Get();
    QCOMPARE(record.nMaxHeld, 1);
    QCOMPARE(record.nHeld, 1);
    QCOMPARE(record.nUnknown, 0);
    m_rec.End();
    Settle();
    const QStringList trail = Trail();
    QCOMPARE(trail.size() % 2, 0);
    for (int i = 0; i < trail.size(); i += 2) QCOMPARE(trail[i + 1], "-" + trail[i].mid(1));
  }

  // The program goes while reading, or right after Start before the
  // service has answered: the cookie has reached the service when the
  // session has gone.
  void releasedAtExit_data() {
    QTest::addColumn<bool>("bAnswered");
    QTest::newRow("held") << true;
    QTest::newRow("asking") << false;
  }
  void releasedAtExit() {
    QFETCH(bool, bAnswered);
    m_rec.Start();
    if (bAnswered) WaitHeld();
    QCOMPARE(Inhibitor().IsAsking(), !bAnswered);
    EndSession();
    QCOMPARE(Trail(), (QStringList{"+1001", "-1001"}));
  }

  // Nobody offers the service: a recitation runs, nothing is held, nothing
  // is printed (every warning fails the test).
  void withoutTheService() {
    QVERIFY(m_pSaverBus->unregisterService(CIdleInhibitor::kService));
    m_rec.Start();
    m_rec.Set(Reading);
    QVERIFY(QTest::qWaitFor([&] { return !Inhibitor().IsAsking(); }, kWaitMs));
    QVERIFY(!Inhibitor().IsHeld());
    m_rec.End();
    EndSession();
    QVERIFY(m_pSaverBus->registerService(CIdleInhibitor::kService));
    QVERIFY(Trail().isEmpty());
  }
};

// A media player client on a connection of its own.
class TestMpris : public QObject {
  Q_OBJECT

 private:
  FakeRecitation m_rec;
  std::unique_ptr<CDesktopSession> m_pSession;
  std::unique_ptr<QDBusConnection> m_pClient;
  QList<QVariantMap> m_changes;  // the Player's PropertiesChanged, in order
  qsizetype m_nSeen = 0;

  // A call to the player, its reply awaited while this thread goes on
  // serving the bus.
  QDBusMessage Ask(const QString& strInterface, const QString& strMethod,
                   const QVariantList& args = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        CMprisService::kServiceName, CMprisService::kPath, strInterface, strMethod);
    call.setArguments(args);
    QDBusPendingCall pending = m_pClient->asyncCall(call);
    return QTest::qWaitFor([&] { return pending.isFinished(); }, kWaitMs) ? pending.reply()
                                                                          : QDBusMessage();
  }
  void Command(const QString& strMethod,
               const QString& strInterface = CMprisService::kPlayerInterface) {
    QCOMPARE(Ask(strInterface, strMethod).type(), QDBusMessage::ReplyMessage);
  }
  QVariant Property(const QString& strName) {
    const QDBusMessage reply =
        Ask("org.freedesktop.DBus.Properties", "Get", {CMprisService::kPlayerInterface, strName});
    return Plain(reply.arguments().value(0).value<QDBusVariant>().variant());
  }
  QString Title() { return Property("Metadata").toMap().value("xesam:title").toString(); }
  QString TrackId() {
    return Property("Metadata").toMap().value("mpris:trackid").value<QDBusObjectPath>().path();
  }
  // A map off the bus arrives in its marshalled form.
  static QVariant Plain(const QVariant& value) {
    QVariantMap map;
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
      map = value.toMap();
    } else if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
      map = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    } else {
      return value;
    }
    for (auto& v : map) v = Plain(v);
    return map;
  }
  // The value of the next announcement of strName.
  QVariant Announced(const QString& strName) {
    QVariant value;
    (void)QTest::qWaitFor(
        [&] {
          while (m_nSeen < m_changes.size()) {
            value = m_changes[m_nSeen++].value(strName);
            if (value.isValid()) return true;
          }
          return false;
        },
        kWaitMs);
    return value;
  }

 private Q_SLOTS:
  void OnPropertiesChanged(const QString& strInterface, const QVariantMap& changed,
                           const QStringList&) {
    if (strInterface == CMprisService::kPlayerInterface) m_changes << Plain(changed).toMap();
  }

  void initTestCase() {
    m_pClient = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "mpris-client"));
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
    m_rec = FakeRecitation();
    m_pSession = std::make_unique<CDesktopSession>(m_rec.Link());
    m_rec.pSession = m_pSession.get();
    QVERIFY(QTest::qWaitFor([&] { return !m_pSession->Mpris().IsAsking(); }, kWaitMs));
    m_nSeen = m_changes.size();
  }
  void cleanup() {
    m_rec.pSession = nullptr;
    m_pSession.reset();
  }

  // The name, and both interfaces with every method a client may call.
  void registered() {
    QVERIFY(m_pClient->interface()->isServiceRegistered(CMprisService::kServiceName));
    const QString xml =
        Ask("org.freedesktop.DBus.Introspectable", "Introspect").arguments().value(0).toString();
    QVERIFY(xml.contains(R"(<interface name="org.mpris.MediaPlayer2">)"));
    QVERIFY(xml.contains(R"(<interface name="org.mpris.MediaPlayer2.Player">)"));
    for (const char* method : {"Next", "Previous", "Pause", "PlayPause", "Stop", "Play", "Seek",
                               "SetPosition", "OpenUri", "Raise", "Quit"}) {
      QVERIFY2(xml.contains(QString(R"(<method name="%1")").arg(method)), method);
    }
  }

  // A client starts a recitation, steps through it, reads the phrase, and
  // stops it; every change is announced.
  void startStepAndRead() {
    m_rec.Set(Idle);
    QCOMPARE(Property("PlaybackStatus").toString(), QString("Stopped"));
    QCOMPARE(TrackId(), QString(CMprisService::kNoTrack));
    QCOMPARE(Property("CanPlay").toBool(), true);
    QCOMPARE(Property("CanGoNext").toBool(), false);

    Command("Play");
    QCOMPARE(m_rec.nState, int(Starting));
    QCOMPARE(Announced("PlaybackStatus").toString(), QString("Playing"));
    QCOMPARE(Property("CanPlay").toBool(), false);
    m_rec.Set(Reading);  // the first voice plays
    QCOMPARE(Announced("CanGoNext").toBool(), true);
    QCOMPARE(Property("CanGoPrevious").toBool(), true);
    QCOMPARE(Property("CanPause").toBool(), true);
    QCOMPARE(Title(), QString("1 / 54 かん じー ざい ぼー さー"));

    Command("Next");
    Command("Next");
    QCOMPARE(Title(), QString("3 / 54 しょう けん ごー おん かい くう"));
    QCOMPARE(TrackId(), QString("/org/solvari/Solvari/Phrase/3"));
    QVariant metadata;
    while ((metadata = Announced("Metadata")).isValid() &&
           metadata.toMap().value("xesam:title") != Title()) {
    }
    QVERIFY(metadata.isValid());
    Command("Previous");
    QVERIFY(Title().startsWith("2 / 54 "));

    Command("PlayPause");  // Stop: the voice ends, then the reading
    QCOMPARE(m_rec.nStops, 1);
    QCOMPARE(Announced("CanGoNext").toBool(), false);
    QCOMPARE(Property("PlaybackStatus").toString(), QString("Playing"));
    m_rec.End();
    QCOMPARE(Announced("PlaybackStatus").toString(), QString("Stopped"));
    Command("PlayPause");
    QCOMPARE(m_rec.nStarts, 2);
  }

  // A command whose menu item is disabled does nothing; Raise always works.
  void onlyEnabledCommands() {
    const QStringList all{"Play", "PlayPause", "Pause", "Stop", "Next", "Previous"};
    for (const QString& method : all) Command(method);  // the title screen
    QCOMPARE(m_rec.nStarts + m_rec.nStops + m_rec.nSteps, 0);
    m_rec.Set(Idle);
    Command("Play");
    for (const QString& method : all) Command(method);  // Starting: no voice yet
    QCOMPARE(m_rec.nStarts, 1);
    QCOMPARE(m_rec.nStops + m_rec.nSteps, 0);
    m_rec.Set(Reading);
    Command("Pause");
    for (const QString& method : all) Command(method);  // the stopped voice still ending
    QCOMPARE(m_rec.nStarts + m_rec.nStops + m_rec.nSteps, 2);
    Command("Raise", "org.mpris.MediaPlayer2");
    QCOMPARE(m_rec.nRaises, 1);
  }

  // A second copy of the program asks for its name without waiting, takes
  // one of its own, and each name goes with its copy.
  void secondCopy() {
    FakeRecitation other;
    const RecitationLink link = other.Link();
    {
      CMprisService second(&link, QDBusConnection::connectToBus(
                                      qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "second"));
      QVERIFY(second.IsAsking());
      QVERIFY(QTest::qWaitFor([&] { return !second.IsAsking(); }, kWaitMs));
      QVERIFY(second.ServiceName().startsWith("org.mpris.MediaPlayer2.solvari.instance"));
      QVERIFY(m_pClient->interface()->isServiceRegistered(second.ServiceName()));
    }
    QDBusConnection::disconnectFromBus("second");
    QCOMPARE(m_pSession->Mpris().ServiceName(), QString(CMprisService::kServiceName));
    cleanup();
    QVERIFY(!m_pClient->interface()->isServiceRegistered(CMprisService::kServiceName));
  }
};

class TestNoBus : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // A whole recitation with every command: nothing registered, nothing
  // asked, nothing printed.
  void recitesAsBefore() {
    QTest::failOnWarning(QRegularExpression(".*"));
    FakeRecitation rec;
    auto pSession = std::make_unique<CDesktopSession>(rec.Link());
    rec.pSession = pSession.get();
    QVERIFY(!pSession->Mpris().IsRegistered() && !pSession->Mpris().IsAsking());
    rec.Set(Idle);
    rec.Start();
    QVERIFY(!pSession->Inhibitor().IsAsking());
    rec.Set(Reading);
    for (int p = 1; p <= 53; ++p) rec.Go(p);
    rec.Link().stop();
    rec.End();
    rec.Start();
    rec.pSession = nullptr;
    pSession.reset();  // while reciting
  }
};

int main(int argc, char** argv) {
  const QString strNoBus = qEnvironmentVariable("SOLVARI_TEST_NO_BUS");
  std::unique_ptr<solvari::app::test::CPrivateBus> pBus;
  if (!strNoBus.isEmpty()) {
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
  TestNoBus noBus;
  TestIdleInhibition inhibition;
  TestMpris mpris;
  if (!strNoBus.isEmpty()) return QTest::qExec(&noBus, argc, argv);
  return QTest::qExec(&inhibition, argc, argv) + QTest::qExec(&mpris, argc, argv);
}

#include "test_desktop_session.moc"
