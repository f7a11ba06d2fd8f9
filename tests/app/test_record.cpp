// SPDX-License-Identifier: GPL-3.0-or-later
// The recording window on the offscreen platform with a fake input device
// that "records" a known sound: its states, keeping a take, the failure paths
// (no input device, the input half's messages, a silent take, a folder that
// cannot be written, closing while recording), the output delay setting, and
// the recitation playing a kept take at its own pace.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

#include "app/main_frame.h"
#include "app/qt_profile_store.h"
#include "app/record_wnd.h"
#include "audio/voice_segment.h"
#include "audio/voice_take.h"
#include "core/exe_directory.h"
#include "core/sutra_tables.h"
#include "shell_fakes.h"

using namespace solvari;
using namespace solvari::app;
using namespace solvari::app::test;

namespace {

// An input device that records from a sound the test gives it, as far as the
// test feeds it.
struct InputLog {
  std::vector<std::string> calls;
  int nOpenResult = kWaveNoError;
  int nPrepareResult = kWaveNoError;
  bool bOpen = false;
};

class CScriptedWaveIn : public IWaveInDevice {
 public:
  CScriptedWaveIn(InputLog* pLog, std::vector<std::int16_t>* pSource)
      : m_pLog(pLog), m_pSource(pSource) {}
  int Open(const WaveFormat& format, int, IWaveNotify* pNotify) override {
    m_pLog->calls.push_back("open");
    if (m_pLog->nOpenResult != kWaveNoError) return m_pLog->nOpenResult;
    if (format.nSamplesPerSec != 11025 || format.wBitsPerSample != 16 || format.nChannels != 1)
      return kWaveBadFormat;
    m_pNotify = pNotify;
    m_pLog->bOpen = true;
    return kWaveNoError;
  }
  int Prepare(std::uint8_t* pData, std::uint32_t nBytes) override {
    m_pLog->calls.push_back("prepare");
    m_pData = pData;
    m_nCapacity = nBytes / 2;
    return m_pLog->nPrepareResult;
  }
  int AddBuffer() override { return kWaveNoError; }
  int Start() override {
    m_pLog->calls.push_back("start");
    m_nFed = 0;
    m_bRunning = true;
    return kWaveNoError;
  }
  int Unprepare() override { return kWaveNoError; }
  int GetPosition(std::uint32_t* pSamples) override {
    *pSamples = m_nFed;
    return kWaveNoError;
  }
  int Reset() override {
    m_pLog->calls.push_back("reset");
    if (m_bRunning) {
      m_bRunning = false;
      IWaveNotify* pNotify = m_pNotify;
      QMetaObject::invokeMethod(
          &m_context, [pNotify] { pNotify->OnWimData(); }, Qt::QueuedConnection);
    }
    return kWaveNoError;
  }
  int Close() override {
    m_pLog->calls.push_back("close");
    m_pLog->bOpen = false;
    m_bRunning = false;
    return kWaveNoError;
  }
  // The next nSamples of the source arrive.
  void Feed(std::size_t nSamples) {
    for (std::size_t i = 0;
         i < nSamples && m_bRunning && m_nFed < m_nCapacity && m_nFed < m_pSource->size();
         ++i, ++m_nFed) {
      const auto v = static_cast<std::uint16_t>((*m_pSource)[m_nFed]);
      m_pData[2 * m_nFed] = static_cast<std::uint8_t>(v & 0xFF);
      m_pData[2 * m_nFed + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    // A full buffer is returned, as by a reset.
    if (m_bRunning && m_nFed >= m_nCapacity) Reset();
  }

 private:
  InputLog* m_pLog;
  std::vector<std::int16_t>* m_pSource;
  IWaveNotify* m_pNotify = nullptr;
  std::uint8_t* m_pData = nullptr;
  std::uint32_t m_nCapacity = 0;
  std::uint32_t m_nFed = 0;
  bool m_bRunning = false;
  QObject m_context;
};

// A chant: nCount syllables of nMs each between stretches of quiet noise;
// the level dips to dLow of its peak between syllables.
std::vector<std::int16_t> Chant(int nCount, int nMs, int nQuietMs = 400, double dLow = 0.3) {
  std::vector<std::int16_t> v;
  auto quiet = [&v](int nLen) {
    for (int i = 0; i < 11025 * nLen / 1000; ++i)
      v.push_back(static_cast<std::int16_t>((i * 7919) % 41 - 20));
  };
  quiet(nQuietMs);
  const int n = 11025 * nMs / 1000;
  for (int k = 0; k < nCount; ++k)
    for (int i = 0; i < n; ++i) {
      const double env = dLow + (1 - dLow) * std::sin(M_PI * i / n);
      v.push_back(static_cast<std::int16_t>(6000 * env *
                                            std::sin(2 * M_PI * (200 + 40 * k) * i / 11025.0)));
    }
  quiet(nQuietMs);
  return v;
}

struct RecordRig : ShellRig {
  DeviceLog& outLog = log;
  CFakeWaveOut*& pOut = pDevice;
  InputLog inLog;
  std::vector<std::int16_t> source;
  CScriptedWaveIn* pIn = nullptr;

  void Create(IProfileStore* pProfile, const QString& strVoiceDir, bool bInput = true) {
    Options options;
    if (bInput) {
      auto pWaveIn = std::make_unique<CScriptedWaveIn>(&inLog, &source);
      pIn = pWaveIn.get();
      options.pWaveIn = std::move(pWaveIn);
    }
    options.strOwnVoiceDir = strVoiceDir;
    ShellRig::Create(pProfile, std::move(options));
    PastTitle();
  }
  CRecordWnd& Open() {
    pFrame->Action(ID_FILE_RECORD)->trigger();
    return *pFrame->Recorder();
  }
  // Records the whole source as one take.
  void RecordAll(CRecordWnd& wnd) {
    wnd.OnRecord();
    pIn->Feed(source.size());
    wnd.OnStop();
  }
};

QString Buttons(const CRecordWnd& wnd) {
  QString s;
  const char* letters = "RSPKNBT";
  for (int b = 0; b < CRecordWnd::kButtonCount; ++b)
    s += wnd.ButtonOf(static_cast<CRecordWnd::Button>(b))->isEnabled() ? QLatin1Char(letters[b])
                                                                       : QLatin1Char('-');
  return s;
}

}  // namespace

class TestRecord : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_pDir;
  std::unique_ptr<CQtProfileStore> m_pProfile;
  QString VoiceDir() const { return m_pDir->filePath(QStringLiteral("own/voice")); }
  void WriteShipped(int nCount) {
    const std::vector<std::uint8_t> pcm(2205 * 2, 0);
    for (int i = 0; i < nCount; ++i)
      QVERIFY(WriteVoiceSegment(GetVoiceSegmentPath(i), pcm.data(),
                                static_cast<std::uint32_t>(pcm.size())));
  }

 private slots:
  void init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    SetExeDirectory(m_pDir->path().toStdString() + "/");
    m_pProfile =
        std::make_unique<CQtProfileStore>(m_pDir->filePath(QStringLiteral("Kelvane.conf")));
  }
  void cleanup() {
    m_pProfile.reset();
    m_pDir.reset();
  }

  void theMenuOffersRecordingOnlyInIdle() {
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    CMainFrame& frame = *rig.pFrame;
    QCOMPARE(frame.menuBar()->actions()[0]->menu()->actions().at(3), frame.Action(ID_FILE_RECORD));
    QCOMPARE(frame.Action(ID_FILE_RECORD)->text(), QStringLiteral("音声の録音..."));
    QVERIFY(frame.Action(ID_FILE_RECORD)->isEnabled());
    QVERIFY(!frame.IsOwnVoiceOn());  // nothing kept yet
    QVERIFY(!frame.Action(ID_FILE_OWN_VOICE)->isChecked());
    WriteShipped(1);
    frame.OnReadStart();
    QVERIFY(!frame.Action(ID_FILE_RECORD)->isEnabled());
    frame.OnRecordVoice();  // not in a recitation
    QVERIFY(frame.Recorder() == nullptr);
    rig.timers.Advance(300);
    rig.pOut->Finish();
    QTRY_COMPARE(frame.m_nState, int(Idle));
    QVERIFY(frame.Action(ID_FILE_RECORD)->isEnabled());
    // While the window is open, neither a recitation nor a second window.
    rig.Open();
    QVERIFY(!frame.Action(ID_READ_START)->isEnabled());
    QVERIFY(!frame.Action(ID_FILE_RECORD)->isEnabled());
    frame.OnReadStart();
    QCOMPARE(frame.m_nState, int(Idle));
    frame.Recorder()->close();
    QTRY_VERIFY(frame.Recorder() == nullptr);
    QVERIFY(frame.Action(ID_READ_START)->isEnabled());
  }

  void aTakeIsRecordedPlayedAndKept() {
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    rig.source = Chant(5, 600);  // twice the table's pace of phrase 0
    CRecordWnd& wnd = rig.Open();
    QCOMPARE(wnd.Phrase(), 0);
    QCOMPARE(Buttons(wnd), QStringLiteral("R---N-T"));  // nothing to play yet
    QVERIFY(!wnd.PhraseImage().isNull());

    wnd.OnRecord();
    QCOMPARE(wnd.GetState(), CRecordWnd::kRecording);
    QCOMPARE(Buttons(wnd), QStringLiteral("-S-----"));
    rig.pIn->Feed(11025 * 700 / 1000);        // into the first syllable
    QTRY_VERIFY(wnd.Meter()->value() > -20);  // the meter shows the voice
    rig.pIn->Feed(rig.source.size());
    wnd.OnStop();
    QCOMPARE(wnd.GetState(), CRecordWnd::kTake);
    QVERIFY(!rig.inLog.bOpen);  // the input is closed after each take
    QCOMPARE(Buttons(wnd), QStringLiteral("R-PKN-T"));
    QCOMPARE(wnd.Meter()->value(), CRecordWnd::kMeterFloorDb);

    // The take: 3000 ms of voice with 50 ms before and 200 ms after.
    const double dMs = wnd.Take().size() * 1000.0 / 11025;
    QVERIFY2(std::abs(dMs - 3250) <= 30, qPrintable(QString::number(dMs)));

    wnd.OnPlay();
    QCOMPARE(wnd.GetState(), CRecordWnd::kPlaying);
    QCOMPARE(Buttons(wnd), QStringLiteral("-S-----"));
    rig.pOut->Finish();
    QTRY_COMPARE(wnd.GetState(), CRecordWnd::kTake);

    const auto nTake = static_cast<qint64>(wnd.Take().size());
    wnd.OnKeep();
    QCOMPARE(wnd.GetState(), CRecordWnd::kIdle);
    const QString strFile = VoiceDir() + QStringLiteral("/V00.SGM");
    QVERIFY(QFile::exists(strFile));
    QCOMPARE(QFileInfo(strFile).size(), 4 + 2 * nTake);
    QVERIFY(wnd.IsRecorded(0));
    QVERIFY(wnd.PhraseList()->item(0)->text().contains(QStringLiteral("録音済み")));
    QVERIFY(!wnd.PhraseList()->item(1)->text().contains(QStringLiteral("録音済み")));
    QCOMPARE(Buttons(wnd), QStringLiteral("R-P-N-T"));  // the kept take plays
    // The take and its onsets beside it, no temporary left.
    QCOMPARE(QDir(VoiceDir()).entryList(QDir::Files),
             QStringList({QStringLiteral("V00.onsets"), QStringLiteral("V00.SGM")}));
    QVERIFY(!QFile::exists(
        QString::fromStdString(GetVoiceSegmentPath(0))));  // shipped folder untouched

    wnd.OnNext();
    QCOMPARE(wnd.Phrase(), 1);
    QCOMPARE(Buttons(wnd), QStringLiteral("R---NBT"));
    wnd.OnPrevious();
    QCOMPARE(Buttons(wnd), QStringLiteral("R-P-N-T"));
    wnd.close();
    QTRY_VERIFY(rig.pFrame->Recorder() == nullptr);
    // Once a take is kept the recitation uses it.
    QVERIFY(rig.pFrame->IsOwnVoiceOn());
    QVERIFY(rig.pFrame->Action(ID_FILE_OWN_VOICE)->isChecked());
  }

  void theRecitationPlaysTheKeptTakeAtItsPace() {
    WriteShipped(2);
    // A kept take of phrase 0 with 3000 ms of voice, twice the table's 1500.
    const std::vector<std::int16_t> take(kTakeLeadSamples + 11025 * 3 + kTakeTailSamples, 100);
    QCOMPARE(SaveVoiceTake(VoiceDir().toStdString(), 0, take), SaveTakeResult::kSaved);
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    CMainFrame& frame = *rig.pFrame;
    QVERIFY(frame.IsOwnVoiceOn());
    frame.OnReadStart();
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    QCOMPARE(frame.Wave().GetDataSize(), std::uint32_t(2 * take.size()));  // the own take
    QVERIFY(std::abs(frame.OwnVoicePace(0) - 2.0) < 0.01);
    // Character 0 lasts 300 ms in the table, 600 ms at the take's pace.
    rig.timers.Advance(599);
    QCOMPARE(frame.m_nChar, 0);
    rig.timers.Advance(1);
    QCOMPARE(frame.m_nChar, 1);
    rig.pOut->Finish();
    QTRY_COMPARE(frame.m_nPhrase, 1);
    // Phrase 1 has no take: the shipped file at the table's pace.
    QCOMPARE(frame.Wave().GetDataSize(), std::uint32_t(2205 * 2));
    QCOMPARE(frame.OwnVoicePace(1), 1.0);
    rig.timers.Advance(299);
    QCOMPARE(frame.m_nChar, 0);
    rig.timers.Advance(1);
    QCOMPARE(frame.m_nChar, 1);
    frame.OnReadStop();
    QTRY_COMPARE(frame.m_nState, int(Idle));

    // Turned off, the shipped voice plays again, at the table's pace; the
    // choice is kept.
    frame.Action(ID_FILE_OWN_VOICE)->trigger();
    QVERIFY(!frame.IsOwnVoiceOn());
    QCOMPARE(m_pProfile->GetProfileInt("Reading", "OwnVoice", -1), 0);
    frame.OnReadStart();
    rig.timers.Advance(300);
    QCOMPARE(frame.Wave().GetDataSize(), std::uint32_t(2205 * 2));
    QCOMPARE(frame.OwnVoicePace(0), 1.0);
    frame.OnReadStop();
    QTRY_COMPARE(frame.m_nState, int(Idle));
  }

  // At another tempo one's own take is stretched ahead as the shipped voice
  // is: its phrase starts with the stretch ready, and nothing is stretched
  // or waited for on this thread.
  void anOwnTakeIsStretchedAheadAtATempo() {
    WriteShipped(3);
    const std::vector<std::int16_t> take(kTakeLeadSamples + 11025 * 2 + kTakeTailSamples, 100);
    QCOMPARE(SaveVoiceTake(VoiceDir().toStdString(), 1, take), SaveTakeResult::kSaved);
    m_pProfile->WriteProfileInt("Reading", "Tempo", 75);
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    CMainFrame& frame = *rig.pFrame;
    QVERIFY(frame.IsOwnVoiceOn());
    frame.OnReadStart();
    frame.StretchAhead().WaitIdle();
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    frame.StretchAhead().WaitIdle();
    const std::string own = VoiceDir().toStdString() + "/" + OwnVoiceFileName(1);
    QVERIFY(frame.StretchAhead().IsReady(own, 75));
    rig.pOut->Finish();
    QTRY_COMPARE(frame.m_nPhrase, 1);
    QCOMPARE(frame.StretchAhead().GetStats().nSynchronous, 0);
    QCOMPARE(frame.StretchAhead().GetStats().nWaited, 0);
    // What plays is the take, 4/3 as long.
    const double expected = 2.0 * static_cast<double>(take.size()) * 100 / 75;
    QVERIFY2(std::abs(frame.Wave().GetDataSize() - expected) < expected * 0.02,
             qPrintable(QString::number(frame.Wave().GetDataSize())));
    frame.OnReadStop();
    QTRY_COMPARE(frame.m_nState, int(Idle));
  }

  void aBrokenTakeFallsBackToTheShippedVoice() {
    WriteShipped(1);
    QDir().mkpath(VoiceDir());
    WriteBytes(VoiceDir() + QStringLiteral("/V00.SGM"), QByteArray("\x10\x00", 2));  // too short
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    rig.pFrame->OnReadStart();
    rig.timers.Advance(300);
    QCOMPARE(rig.pFrame->m_nState, int(Reading));
    QCOMPARE(rig.pFrame->Wave().GetDataSize(), std::uint32_t(2205 * 2));
    QCOMPARE(rig.pFrame->OwnVoicePace(0), 1.0);
    rig.pFrame->OnReadStop();
    QTRY_COMPARE(rig.pFrame->m_nState, int(Idle));
  }

  void noInputDeviceShowsTheMessage() {
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir(), /*bInput=*/false);
    CRecordWnd& wnd = rig.Open();
    wnd.OnRecord();
    QCOMPARE(wnd.GetState(), CRecordWnd::kIdle);
    QCOMPARE(rig.messages.texts, QStringList{QStringLiteral("No device driver is present.")});
    QCOMPARE(Buttons(wnd), QStringLiteral("R---N-T"));
  }

  void theInputHalfsMessagesAppear() {
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    CRecordWnd& wnd = rig.Open();
    rig.inLog.nPrepareResult = kWaveNoMemory;
    wnd.OnRecord();
    QCOMPARE(wnd.GetState(), CRecordWnd::kIdle);
    QCOMPARE(rig.messages.texts, QStringList{QStringLiteral("Unable to allocate or lock memory.")});
    QVERIFY(!rig.inLog.bOpen);
    rig.inLog.nPrepareResult = kWaveNoError;
    rig.inLog.nOpenResult = kWaveBadDeviceId;  // "WavInDevice" names no device
    wnd.OnRecord();
    QCOMPARE(rig.messages.texts.size(), 2);
    QVERIFY(rig.messages.texts[1].contains(QStringLiteral("エラー 2")));
  }

  void aSilentTakeIsRefused() {
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    rig.source.assign(11025 * 2, 0);
    CRecordWnd& wnd = rig.Open();
    rig.RecordAll(wnd);
    QCOMPARE(wnd.GetState(), CRecordWnd::kIdle);
    QVERIFY(wnd.Take().empty());
    QCOMPARE(rig.messages.texts.size(), 1);
    QVERIFY(rig.messages.texts[0].contains(QStringLiteral("無音")));
    QVERIFY(!wnd.ButtonOf(CRecordWnd::kKeep)->isEnabled());
    QVERIFY(!QDir(VoiceDir()).exists());
  }

  void aFullBufferEndsTheTake() {
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    rig.source = Chant(110, 300, 400, 0.05);  // 33 s without a pause, more than a take holds
    CRecordWnd& wnd = rig.Open();
    wnd.OnRecord();
    rig.pIn->Feed(rig.source.size());
    QTRY_COMPARE(wnd.GetState(), CRecordWnd::kTake);
    QVERIFY(!rig.inLog.bOpen);
    // 30 s recorded, the quiet lead trimmed to 50 ms; the voice runs to the end.
    const double dMs = wnd.Take().size() * 1000.0 / 11025;
    QVERIFY2(std::abs(dMs - (30000 - 400 + 50 + 200)) < 30, qPrintable(QString::number(dMs)));
  }

  void closingWhileRecordingThrowsTheTakeAway() {
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    rig.source = Chant(5, 300);
    CRecordWnd& wnd = rig.Open();
    wnd.OnRecord();
    rig.pIn->Feed(rig.source.size() / 2);
    wnd.close();
    QTRY_VERIFY(rig.pFrame->Recorder() == nullptr);
    QVERIFY(!rig.inLog.bOpen);
    QVERIFY(!QDir(VoiceDir()).exists());
    QVERIFY(rig.messages.texts.isEmpty());
    QVERIFY(!rig.pFrame->IsOwnVoiceOn());
    // The input's late notification reaches nobody; the frame goes on.
    QTest::qWait(20);
    QVERIFY(rig.pFrame->Action(ID_READ_START)->isEnabled());
    // Closing while a take plays stops it.
    CRecordWnd& again = rig.Open();
    rig.RecordAll(again);
    again.OnPlay();
    again.close();
    QTRY_VERIFY(rig.pFrame->Recorder() == nullptr);
    QVERIFY(!rig.pFrame->Wave().IsOutputOpen());
    QTest::qWait(20);
    QCOMPARE(rig.pFrame->m_nState, int(Idle));
  }

  void aFolderThatCannotBeWrittenKeepsTheTake() {
    // The voice folder's place is taken by a file.
    WriteBytes(m_pDir->filePath(QStringLiteral("own")), QByteArray("x"));
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    rig.source = Chant(5, 300);
    CRecordWnd& wnd = rig.Open();
    rig.RecordAll(wnd);
    wnd.OnKeep();
    QCOMPARE(rig.messages.texts.size(), 1);
    QVERIFY(rig.messages.texts[0].contains(QStringLiteral("保存されていません")));
    QVERIFY(rig.messages.texts[0].contains(VoiceDir()));
    // The take stays, to be kept once the folder is put right.
    QCOMPARE(wnd.GetState(), CRecordWnd::kTake);
    QVERIFY(wnd.ButtonOf(CRecordWnd::kKeep)->isEnabled());
    QFile::remove(m_pDir->filePath(QStringLiteral("own")));
    wnd.OnKeep();
    QVERIFY(QFile::exists(VoiceDir() + QStringLiteral("/V00.SGM")));
  }

  void theOutputDelayIsSetWithATestToneAndAFlash() {
    RecordRig rig;
    m_pProfile->WriteProfileInt("WAV Config", "OutputDelayMs", -40);
    rig.Create(m_pProfile.get(), VoiceDir());
    CRecordWnd& wnd = rig.Open();
    QCOMPARE(wnd.DelayBox()->value(), -40);
    wnd.DelayBox()->setValue(120);
    QCOMPARE(m_pProfile->GetProfileInt("WAV Config", "OutputDelayMs", 0), 120);
    wnd.OnTestDelay();
    QCOMPARE(wnd.GetState(), CRecordWnd::kTesting);
    QCOMPARE(Buttons(wnd), QStringLiteral("-S-----"));
    QVERIFY(!wnd.IsFlashOn());
    // The first beep starts 500 ms into the tone: heard 120 ms later.
    QTRY_VERIFY_WITH_TIMEOUT(wnd.IsFlashOn(), 2000);
    QTRY_VERIFY(!wnd.IsFlashOn());
    wnd.OnStop();
    QTRY_COMPARE(wnd.GetState(), CRecordWnd::kIdle);
    QVERIFY(!wnd.IsFlashOn());
  }

  // With SOLVARI_SCREENSHOT=FILE.png: the window in the middle of a take,
  // with two phrases kept (for the README), in the system's language.
  void screenshot() {
    const QByteArray path = qgetenv("SOLVARI_SCREENSHOT");
    if (path.isEmpty()) QSKIP("SOLVARI_SCREENSHOT not set");
    CLanguage language;
    QVERIFY(language.Apply(SystemLanguage()));
    RecordRig rig;
    rig.Create(m_pProfile.get(), VoiceDir());
    rig.source = Chant(6, 300);
    CRecordWnd& wnd = rig.Open();
    for (int p = 0; p < 2; ++p) {
      rig.RecordAll(wnd);
      wnd.OnKeep();
      wnd.OnNext();
    }
    wnd.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wnd));
    wnd.OnRecord();
    rig.pIn->Feed(11025 * 700 / 1000);
    QTRY_VERIFY(wnd.Meter()->value() > -20);
    QVERIFY(wnd.grab().save(QString::fromLocal8Bit(path)));
    wnd.OnStop();
  }

  void theReadingIsShownWhenGiven() {
    CWaveBuffer wave(nullptr, nullptr, nullptr);
    CWaveNotifyRelay relay;
    RecorderServices services;
    services.pWave = &wave;
    services.pRelay = &relay;
    services.strVoiceDir = VoiceDir();
    services.reading = [](int p) { return p == 2 ? QStringLiteral("しょう けん") : QString(); };
    {
      CRecordWnd wnd(std::move(services), 2, nullptr);
      QVERIFY(relay.pTarget != nullptr);
      QCOMPARE(wnd.ReadingLabel()->text(), QStringLiteral("しょう けん"));
      wnd.OnNext();
      QVERIFY(wnd.ReadingLabel()->text().isEmpty());
    }
    QVERIFY(relay.pTarget == nullptr);  // nothing reaches a window that has gone
  }
};

QTEST_MAIN(TestRecord)
#include "test_record.moc"
