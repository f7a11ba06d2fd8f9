// SPDX-License-Identifier: GPL-3.0-or-later
// The practice commands in the shell, on the offscreen platform: their menu,
// keys and states, the tempo setting, clicking a phrase of the overview, and
// the voice stretched to the tempo (or left exactly as recorded at 100 %);
// the temple's commands (the count, the wooden fish, the bell, the voice
// off) and the practice record window.
#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

#include "app/main_frame.h"
#include "app/practice_record_wnd.h"
#include "app/qt_profile_store.h"
#include "audio/voice_segment.h"
#include "core/exe_directory.h"
#include "core/sutra_tables.h"
#include "render/sutra_view.h"
#include "shell_fakes.h"

using namespace solvari;
using namespace solvari::app;
using namespace solvari::app::test;

namespace {

using Rig = ShellRig;

// Enabled states of Next, Previous, Home, Space, Repeat-phrase and 100 %.
QString PracticeStates(const CMainFrame& f) {
  return QStringLiteral("%1%2%3%4%5%6")
      .arg(f.Action(ID_READ_NEXT)->isEnabled() ? 'N' : '-')
      .arg(f.Action(ID_READ_PREVIOUS)->isEnabled() ? 'P' : '-')
      .arg(f.Action(ID_READ_HOME)->isEnabled() ? 'H' : '-')
      .arg(f.Action(ID_READ_START_STOP)->isEnabled() ? 'S' : '-')
      .arg(f.Action(ID_READ_REPEAT_PHRASE)->isEnabled() ? 'R' : '-')
      .arg(f.Action(ID_READ_TEMPO_50 + 2)->isEnabled() ? 'T' : '-');
}

QStringList MenuTexts(QMenu* pMenu) {
  QStringList texts;
  for (QAction* pAction : pMenu->actions())
    texts << (pAction->isSeparator() ? QStringLiteral("(sep)") : pAction->text());
  return texts;
}

QMenu* ReadMenu(CMainFrame& frame) {
  for (QAction* pAction : frame.menuBar()->actions())
    if (pAction->text() == QStringLiteral("読経")) return pAction->menu();
  return nullptr;
}

// The middle of a phrase's characters in the overview, in view coordinates.
QPoint PhrasePoint(int nPhrase) {
  const Rect rc = solvari::CSutraView::OverviewPhraseRect(723, nPhrase);
  return {app::CSutraView::kEdge + (rc.left + rc.right) / 2,
          app::CSutraView::kEdge + std::min(rc.top + 13, (rc.top + rc.bottom) / 2)};
}

// A steady tone of ms milliseconds as voice bytes.
std::vector<std::uint8_t> ToneBytes(int ms) {
  const int n = ms * 11025 / 1000;
  std::vector<std::uint8_t> b(static_cast<std::size_t>(n) * 2);
  for (int i = 0; i < n; ++i) {
    const auto s =
        static_cast<std::int16_t>(std::lround(8000 * std::sin(i * 2 * 3.14159265 * 200 / 11025)));
    b[2 * static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) & 0xFF);
    b[2 * static_cast<std::size_t>(i) + 1] =
        static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8);
  }
  return b;
}

std::vector<std::uint8_t> WaveBytes(CWaveBuffer& wave) {
  const std::uint8_t* p = wave.LockData();
  std::vector<std::uint8_t> v(p, p + wave.m_dwDataSize);
  wave.UnlockData();
  return v;
}

}  // namespace

class TestPracticeShell : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_pDir;
  std::unique_ptr<CQtProfileStore> m_pProfile;
  std::vector<std::uint8_t> m_tone;
  QString Path(const char* pszName) const { return m_pDir->filePath(QString::fromLatin1(pszName)); }
  void WriteVoices(int nFrom, int nTo) {
    for (int i = nFrom; i <= nTo; ++i)
      QVERIFY(WriteVoiceSegment(GetVoiceSegmentPath(i), m_tone.data(),
                                static_cast<std::uint32_t>(m_tone.size())));
  }

 private slots:
  void initTestCase() { m_tone = ToneBytes(700); }
  void init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    SetExeDirectory(m_pDir->path().toStdString() + "/");
    m_pProfile = std::make_unique<CQtProfileStore>(Path("Kelvane.conf"));
  }
  void cleanup() {
    m_pProfile.reset();
    m_pDir.reset();
  }

  void menuAndKeys() {
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = rig.Frame();
    QMenu* pRead = ReadMenu(frame);
    QVERIFY(pRead);
    const QStringList texts = MenuTexts(pRead);
    // The practice block closes the menu.
    QCOMPARE(texts.mid(texts.size() - 5),
             QStringList({"(sep)", "次の句へ", "前の句へ", "この句を繰り返す", "速さ"}));
    QMenu* pTempo = pRead->actions().back()->menu();
    QVERIFY(pTempo);
    QCOMPARE(MenuTexts(pTempo), QStringList({"50 %", "75 %", "100 %", "125 %", "150 %"}));
    for (QAction* pAction : pTempo->actions()) {
      QVERIFY(pAction->isCheckable());
      QVERIFY(pAction->actionGroup() && pAction->actionGroup()->isExclusive());
    }
    QVERIFY(frame.Action(ID_READ_REPEAT_PHRASE)->isCheckable());
    QCOMPARE(frame.Action(ID_READ_NEXT)->shortcuts(),
             QList<QKeySequence>({QKeySequence(Qt::Key_Right), QKeySequence(Qt::Key_PageDown)}));
    QCOMPARE(frame.Action(ID_READ_PREVIOUS)->shortcuts(),
             QList<QKeySequence>({QKeySequence(Qt::Key_Left), QKeySequence(Qt::Key_PageUp)}));
    QCOMPARE(frame.Action(ID_READ_HOME)->shortcut(), QKeySequence(Qt::Key_Home));
    QCOMPARE(frame.Action(ID_READ_START_STOP)->shortcut(), QKeySequence(Qt::Key_Space));
    // The tool bar is left as it was.
    QCOMPARE(frame.ToolBar().actions().size(), 7);
  }

  void templeCommandsAreSettingsOfTheIdleFrame() {
    WriteVoices(0, 53);
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = rig.Frame();
    rig.PastTitle();
    QMenu* pRead = ReadMenu(frame);
    QVERIFY(pRead);
    QMenu* pCount = nullptr;
    QStringList titles;
    for (QAction* pAction : pRead->actions()) {
      if (!pAction->menu()) continue;
      titles << pAction->text();
      if (pAction->text() == QStringLiteral("回数")) pCount = pAction->menu();
    }
    QCOMPARE(titles, QStringList({"回数", "木魚", "鏧子", "速さ"}));
    QVERIFY(pCount);
    QCOMPARE(MenuTexts(pCount),
             QStringList({"限りなく", "3 回", "7 回", "21 回", "(sep)", "回数を指定..."}));
    // The defaults, as checked.
    QVERIFY(frame.Action(ID_READ_COUNT_ENDLESS)->isChecked());
    QVERIFY(frame.Action(ID_READ_MOKUGYO_OFF)->isChecked());
    QVERIFY(frame.Action(ID_READ_MOKUGYO_MEDIUM)->isChecked());
    QVERIFY(frame.Action(ID_READ_BELL_NONE)->isChecked());
    QVERIFY(!frame.Action(ID_READ_VOICE_OFF)->isChecked());

    frame.Action(ID_READ_COUNT_ENDLESS + 2)->trigger();  // 7 回
    QCOMPARE(m_pProfile->GetProfileInt("Reading", "Count", -1), 7);
    QVERIFY(frame.Action(ID_READ_REPEAT)->isChecked());  // a count repeats
    // A count typed; cancelling keeps the one there was.
    rig.nCountToType = 0;
    frame.Action(ID_READ_COUNT_TYPED)->trigger();
    QCOMPARE(rig.nCountAsked, 1);
    QVERIFY(frame.Action(ID_READ_COUNT_ENDLESS + 2)->isChecked());
    rig.nCountToType = 2;
    frame.Action(ID_READ_COUNT_TYPED)->trigger();
    QCOMPARE(m_pProfile->GetProfileInt("Reading", "Count", -1), 2);
    QVERIFY(frame.Action(ID_READ_COUNT_TYPED)->isChecked());
    QCOMPARE(frame.Action(ID_READ_COUNT_TYPED)->text(), QStringLiteral("2 回..."));
    frame.Action(ID_READ_MOKUGYO_AFTER_OPENING)->trigger();
    frame.Action(ID_READ_MOKUGYO_LOUD)->trigger();
    frame.Action(ID_READ_BELL_TWO_THREE)->trigger();
    frame.Action(ID_READ_VOICE_OFF)->trigger();
    frame.Action(ID_READ_VOICE_OFF)->trigger();  // and on again
    QCOMPARE(m_pProfile->GetProfileInt("Reading", "Mokugyo", -1), 2);
    QCOMPARE(m_pProfile->GetProfileInt("Reading", "MokugyoVolume", -1), 2);
    QCOMPARE(m_pProfile->GetProfileInt("Reading", "Bell", -1), 1);
    QCOMPARE(m_pProfile->GetProfileInt("Reading", "Voice", -1), 1);
    QVERIFY(frame.Action(ID_READ_BELL_TWO_THREE)->isChecked());
    frame.Action(ID_READ_BELL_NONE)->trigger();  // the test's exe folder has no bell

    // While reciting: the count in the title, and no setting changes.
    QCOMPARE(frame.windowTitle(), QStringLiteral("Kelvane"));
    frame.Action(ID_READ_START)->trigger();
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    QCOMPARE(frame.windowTitle(), QStringLiteral("Kelvane - 1 / 2"));
    for (int nID : {ID_READ_COUNT_ENDLESS, ID_READ_COUNT_TYPED, ID_READ_MOKUGYO_OFF,
                    ID_READ_MOKUGYO_SOFT, ID_READ_BELL_NONE, ID_READ_VOICE_OFF})
      QVERIFY2(!frame.Action(nID)->isEnabled(), qPrintable(QString::number(nID)));
    frame.Action(ID_READ_VOICE_OFF)->trigger();
    QVERIFY(frame.IsVoiceOn());
    frame.Action(ID_READ_STOP)->trigger();
    QTRY_COMPARE(frame.m_nState, int(Idle));
    QCOMPARE(frame.windowTitle(), QStringLiteral("Kelvane"));
    QVERIFY(frame.Action(ID_READ_VOICE_OFF)->isEnabled());
  }

  void practiceRecordWindowShowsTheRecordAndADamagedOneIsSetAside() {
    Rig rig;
    const QString strRecord = Path("practice.txt");
    WriteBytes(strRecord, "not a practice record\n");
    Rig::Options options;
    options.strPracticeRecord = strRecord;
    rig.Create(m_pProfile.get(), std::move(options));
    CMainFrame& frame = rig.Frame();
    rig.PastTitle();
    frame.Action(ID_FILE_PRACTICE_RECORD)->trigger();
    CPracticeRecordWnd* pWnd = frame.PracticeRecordWnd();
    QVERIFY(pWnd);
    QVERIFY(pWnd->isVisible());
    QCOMPARE(pWnd->Recitations(), 0);
    // Told where the damaged file went, and it is there.
    const QString strAside = QString::fromStdString(frame.PracticeRecord()->SetAsidePath());
    QVERIFY(!strAside.isEmpty());
    QVERIFY(pWnd->Notice()->text().contains(strAside));
    QVERIFY(QFile::exists(strAside));
    pWnd->close();
    QTRY_VERIFY(frame.PracticeRecordWnd() == nullptr);
    // A second opening reads the record again: no notice now.
    frame.Action(ID_FILE_PRACTICE_RECORD)->trigger();
    QVERIFY(frame.PracticeRecordWnd());
    QVERIFY(frame.PracticeRecordWnd()->Notice()->text().isEmpty());
  }

  void statesThroughAReading() {
    WriteVoices(0, 53);
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = rig.Frame();
    QCOMPARE(PracticeStates(frame), QStringLiteral("------"));  // title screen
    rig.PastTitle();
    QCOMPARE(PracticeStates(frame), QStringLiteral("---SRT"));
    QVERIFY(frame.Action(ID_READ_TEMPO_50 + 2)->isChecked());  // 100 % by default
    frame.Action(ID_READ_START)->trigger();
    QCOMPARE(PracticeStates(frame), QStringLiteral("----RT"));  // starting
    rig.timers.Advance(300);
    QCOMPARE(PracticeStates(frame), QStringLiteral("NPHSRT"));
    frame.Action(ID_READ_NEXT)->trigger();
    QCOMPARE(frame.m_nPhrase, 0);  // until the stopped voice's event
    QTRY_COMPARE(frame.m_nPhrase, 1);
    QCOMPARE(frame.m_nState, int(Reading));
    QCOMPARE(PracticeStates(frame), QStringLiteral("NPHSRT"));
    frame.Action(ID_READ_PREVIOUS)->trigger();
    QTRY_COMPARE(frame.Wave().IsOutputOpen() && frame.m_nPhrase == 0, true);
    // Repeat-phrase is a check mark that is not stored.
    frame.Action(ID_READ_REPEAT_PHRASE)->trigger();
    QCOMPARE(frame.m_bRepeatPhrase, 1);
    QVERIFY(frame.Action(ID_READ_REPEAT_PHRASE)->isChecked());
    rig.pDevice->Finish();
    QTRY_COMPARE(rig.log.nDonesDelivered, 3);
    QCOMPARE(frame.m_nPhrase, 0);
    QVERIFY(!m_pProfile->Settings().contains("Reading/RepeatPhrase"));
    frame.Action(ID_READ_STOP)->trigger();
    QCOMPARE(PracticeStates(frame), QStringLiteral("---SRT"));  // Stop pressed
    QTRY_COMPARE(frame.m_nState, int(Idle));
    QCOMPARE(PracticeStates(frame), QStringLiteral("---SRT"));
    QVERIFY(frame.Action(ID_READ_REPEAT_PHRASE)->isChecked());  // stays until unchecked
  }

  void tempoIsStoredAndReadBack() {
    {
      Rig rig;
      rig.Create(m_pProfile.get());
      rig.PastTitle();
      QCOMPARE(rig.Frame().m_nTempo, 100);
      rig.Frame().Action(ID_READ_TEMPO_50 + 1)->trigger();  // 75 %
      QCOMPARE(rig.Frame().m_nTempo, 75);
      QCOMPARE(m_pProfile->GetProfileInt("Reading", "Tempo", -1), 75);
      QVERIFY(rig.Frame().Action(ID_READ_TEMPO_50 + 1)->isChecked());
      QVERIFY(!rig.Frame().Action(ID_READ_TEMPO_50 + 2)->isChecked());
    }
    m_pProfile = std::make_unique<CQtProfileStore>(Path("Kelvane.conf"));
    {
      Rig rig;
      rig.Create(m_pProfile.get());
      QCOMPARE(rig.Frame().m_nTempo, 75);
      QVERIFY(rig.Frame().Action(ID_READ_TEMPO_50 + 1)->isChecked());
    }
    // A stored value that is none of the choices reads as 100 %.
    for (int nStored : {0, 80, -50, 1000}) {
      m_pProfile->WriteProfileInt("Reading", "Tempo", nStored);
      Rig rig;
      rig.Create(m_pProfile.get());
      QCOMPARE(rig.Frame().m_nTempo, 100);
      QVERIFY(rig.Frame().Action(ID_READ_TEMPO_50 + 2)->isChecked());
    }
  }

  void voiceAtEveryTempo_data() {
    QTest::addColumn<int>("tempo");
    for (int t : {50, 75, 100, 125, 150}) QTest::newRow(qPrintable(QString::number(t))) << t;
  }
  void voiceAtEveryTempo() {
    QFETCH(int, tempo);
    WriteVoices(0, 2);
    m_pProfile->WriteProfileInt("Reading", "Tempo", tempo);
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = rig.Frame();
    rig.PastTitle();
    frame.OnReadStart();
    frame.StretchAhead().WaitIdle();  // made during the 300 ms before the voice
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    QCOMPARE(frame.m_nPhraseTempo, tempo);
    if (tempo != 100) QCOMPARE(frame.StretchAhead().GetStats().nReady, 1);
    const std::vector<std::uint8_t> played = WaveBytes(frame.Wave());
    if (tempo == 100) {
      QVERIFY(played == m_tone);  // sample for sample as recorded
    } else {
      const double expected = static_cast<double>(m_tone.size()) * 100 / tempo;
      QVERIFY2(std::abs(static_cast<double>(played.size()) - expected) < expected * 0.01,
               qPrintable(QString::number(played.size())));
    }
    // The next phrase was asked for while this one plays.
    if (tempo != 100) {
      frame.StretchAhead().WaitIdle();
      QVERIFY(frame.StretchAhead().IsReady(GetVoiceSegmentPath(1), tempo));
    }
    // Changed while reading: from the next phrase on.
    const int other = tempo == 150 ? 50 : 150;
    frame.OnSetTempo(other);
    QCOMPARE(frame.m_nPhraseTempo, tempo);
    rig.pDevice->Finish();
    QTRY_COMPARE(frame.m_nPhrase, 1);
    QCOMPARE(frame.m_nPhraseTempo, other);
    frame.OnReadStop();
    QTRY_COMPARE(frame.m_nState, int(Idle));
  }

  // At another tempo the next phrase's stretch is handed to the device ahead
  // once the worker has made it, and is what the next phrase then plays: it
  // follows without a seam, as at 100 %.
  void stretchedVoiceIsHandedAhead() {
    WriteVoices(0, 3);
    m_pProfile->WriteProfileInt("Reading", "Tempo", 75);
    Rig rig;
    rig.Create(m_pProfile.get());
    rig.pDevice->bTakesPrefetch = true;
    CMainFrame& frame = rig.Frame();
    rig.PastTitle();
    frame.OnReadStart();
    frame.StretchAhead().WaitIdle();
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    frame.StretchAhead().WaitIdle();
    QTRY_VERIFY(!rig.pDevice->prefetched.empty());  // polled on the user-interface thread
    const std::vector<std::uint8_t> ahead = rig.pDevice->prefetched;
    QVERIFY(ahead.size() > m_tone.size() * 13 / 10);  // 4/3 as long
    rig.pDevice->Finish();
    QTRY_COMPARE(frame.m_nPhrase, 1);
    QVERIFY(rig.pDevice->written == ahead);
    QCOMPARE(frame.StretchAhead().GetStats().nSynchronous, 0);
    // The tempo changed while phrase 1 plays: phrase 2 is handed ahead
    // again, at the new tempo, and that is what it plays.
    rig.pDevice->prefetched.clear();
    frame.OnSetTempo(150);
    frame.StretchAhead().WaitIdle();
    QTRY_VERIFY(!rig.pDevice->prefetched.empty());
    const std::vector<std::uint8_t> faster = rig.pDevice->prefetched;
    QVERIFY(faster.size() < m_tone.size() * 7 / 10);  // 2/3 as long
    rig.pDevice->Finish();
    QTRY_COMPARE(frame.m_nPhrase, 2);
    QVERIFY(rig.pDevice->written == faster);
    frame.OnReadStop();
    QTRY_COMPARE(frame.m_nState, int(Idle));
  }

  void firstPhraseWaitsForItsStretchWithoutBlocking() {
    // A long first phrase: its stretch takes far longer than this test's
    // steps, so it is still being made when TIMER_START first fires.
    const std::vector<std::uint8_t> longTone = ToneBytes(6000);
    QVERIFY(WriteVoiceSegment(GetVoiceSegmentPath(0), longTone.data(),
                              static_cast<std::uint32_t>(longTone.size())));
    WriteVoices(1, 8);
    m_pProfile->WriteProfileInt("Reading", "Tempo", 50);
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = rig.Frame();
    rig.PastTitle();
    frame.OnReadStart();
    rig.timers.Advance(300 + 50);
    QCOMPARE(frame.m_nState, int(Starting));  // polled, not waited for
    QVERIFY(rig.timers.IsPending(TIMER_START));
    QVERIFY(!frame.Wave().IsOutputOpen());
    frame.StretchAhead().WaitIdle();
    rig.timers.Advance(10);
    QCOMPARE(frame.m_nState, int(Reading));
    QCOMPARE(frame.StretchAhead().GetStats().nSynchronous, 0);
    QCOMPARE(frame.StretchAhead().GetStats().nWaited, 0);
    // A phrase whose stretch cannot be made (no file) is not waited for.
    frame.OnReadStop();
    QTRY_COMPARE(frame.m_nState, int(Idle));
    QFile::remove(QString::fromStdString(GetVoiceSegmentPath(5)));
    frame.OnReadStartAt(5);
    frame.StretchAhead().WaitIdle();
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    QCOMPARE(frame.m_nPhrase, 6);
    frame.OnReadStop();
    QTRY_COMPARE(frame.m_nState, int(Idle));
  }

  void clickingAPhraseStartsThere() {
    WriteVoices(0, 53);
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = rig.Frame();
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    app::CSutraView& view = frame.View();
    // During the title screen a click does nothing.
    QTest::mouseClick(&view, Qt::LeftButton, {}, PhrasePoint(20));
    QCOMPARE(frame.m_nState, int(Title));
    rig.PastTitle();
    // The pointing hand over a phrase, the arrow between phrases.
    QTest::mouseMove(&view, PhrasePoint(20));
    QTRY_COMPARE(view.cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(view.PhraseAt(PhrasePoint(20)), 20);
    const Rect rc0 = solvari::CSutraView::OverviewPhraseRect(723, 0);
    const QPoint gap(app::CSutraView::kEdge + rc0.left + 5,
                     app::CSutraView::kEdge + rc0.bottom + 5);
    QTest::mouseMove(&view, gap);
    QTRY_COMPARE(view.cursor().shape(), Qt::ArrowCursor);
    QTest::mouseClick(&view, Qt::LeftButton, {}, gap);
    QCOMPARE(frame.m_nState, int(Idle));
    QTest::mouseClick(&view, Qt::RightButton, {}, PhrasePoint(20));
    QCOMPARE(frame.m_nState, int(Idle));
    // A click on phrase 20 starts there.
    QTest::mouseClick(&view, Qt::LeftButton, {}, PhrasePoint(20));
    QCOMPARE(frame.m_nState, int(Starting));
    QCOMPARE(frame.m_nFirstPhrase, 20);
    QCOMPARE(frame.m_nPhrase, 20);
    QCOMPARE(view.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(view.PhraseAt(PhrasePoint(21)), -1);  // nothing to point at while reading
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    QCOMPARE(frame.m_nPhrase, 20);
    QTest::mouseClick(&view, Qt::LeftButton, {}, PhrasePoint(5));
    QCOMPARE(frame.m_nFirstPhrase, 20);
    frame.OnReadStop();
    QTRY_COMPARE(frame.m_nState, int(Idle));
    // Start reads the whole text again.
    frame.Action(ID_READ_START)->trigger();
    QCOMPARE(frame.m_nPhrase, 0);
    QCOMPARE(frame.m_nFirstPhrase, 0);
  }

  void keysDriveTheReading() {
    WriteVoices(0, 53);
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = rig.Frame();
    frame.show();
    frame.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    rig.PastTitle();
    QTest::keyClick(&frame.View(), Qt::Key_Space);
    QCOMPARE(frame.m_nState, int(Starting));
    QTest::keyClick(&frame.View(), Qt::Key_Space);  // starting: nothing
    QCOMPARE(frame.m_nState, int(Starting));
    rig.timers.Advance(300);
    QTest::keyClick(&frame.View(), Qt::Key_Right);
    QTRY_COMPARE(frame.m_nPhrase, 1);
    QTest::keyClick(&frame.View(), Qt::Key_PageDown);
    QTRY_COMPARE(frame.m_nPhrase, 2);
    QTest::keyClick(&frame.View(), Qt::Key_PageDown);
    QTRY_COMPARE(frame.m_nPhrase, 3);
    QTest::keyClick(&frame.View(), Qt::Key_Left);
    QTRY_COMPARE(frame.m_nPhrase, 2);
    QTest::keyClick(&frame.View(), Qt::Key_PageUp);
    QTRY_COMPARE(frame.m_nPhrase, 1);
    QTest::keyClick(&frame.View(), Qt::Key_Right);
    QTRY_COMPARE(frame.m_nPhrase, 2);
    QTest::keyClick(&frame.View(), Qt::Key_Home);
    QTRY_COMPARE(frame.m_nPhrase, 0);
    QTRY_VERIFY(frame.Wave().IsOutputOpen());
    QTest::keyClick(&frame.View(), Qt::Key_Space);
    QTRY_COMPARE(frame.m_nState, int(Idle));
    QTest::keyClick(&frame.View(), Qt::Key_Right);  // idle: nothing
    QCOMPARE(frame.m_nState, int(Idle));
  }

  void closingWithAStretchUnderWay() {
    WriteVoices(0, 53);
    m_pProfile->WriteProfileInt("Reading", "Tempo", 50);
    Rig rig;
    rig.Create(m_pProfile.get());
    rig.Frame().show();
    rig.PastTitle();
    rig.Frame().OnReadStartAt(30);
    rig.Frame().StretchAhead().WaitIdle();
    rig.timers.Advance(300);
    QCOMPARE(rig.Frame().m_nState, int(Reading));
    rig.Frame().OnReadNext();
    rig.Frame().close();
    rig.pFrame.reset();  // the worker is stopped, nothing reaches the frame
    QTest::qWait(20);
    QCOMPARE(rig.log.calls.back(), std::string("destroyed"));
  }
};

QTEST_MAIN(TestPracticeShell)
#include "test_practice_shell.moc"
