// SPDX-License-Identifier: GPL-3.0-or-later
// A take recorded through the real input device: a private PulseAudio
// server (tools/with-pulse.sh) whose default source hears the null sink's
// monitor, while pacat plays a known voice into the sink. The kept take must
// be that voice, trimmed; the recitation must then play it for its phrase,
// with the highlight at its pace.
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <fstream>
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

std::vector<std::int16_t> ReadSegment(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  unsigned char len[4] = {};
  in.read(reinterpret_cast<char*>(len), 4);
  const std::uint32_t n = len[0] | len[1] << 8 | len[2] << 16 | std::uint32_t{len[3]} << 24;
  std::vector<std::int16_t> v(n / 2);
  in.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(v.size() * 2));
  return v;
}

// The best normalised correlation of b against a over lags of up to
// nMaxLag samples either way, on their common length.
double BestCorrelation(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
                       int nMaxLag, int* pLag) {
  double dBest = -1;
  for (int lag = -nMaxLag; lag <= nMaxLag; ++lag) {
    const std::size_t nA = lag > 0 ? lag : 0, nB = lag < 0 ? -lag : 0;
    if (nA >= a.size() || nB >= b.size()) continue;
    const std::size_t n = std::min(a.size() - nA, b.size() - nB);
    const double d = NormalisedCorrelation(a.data() + nA, b.data() + nB, n);
    if (d > dBest) dBest = d, *pLag = lag;
  }
  return dBest;
}

void Pump(const std::function<bool()>& done, int nTimeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < nTimeoutMs) QTest::qWait(5);
}

}  // namespace

class TestRecordPulse : public QObject {
  Q_OBJECT

 private slots:
  void aRecordedVoiceIsKeptAndRecited() {
    if (qEnvironmentVariableIsEmpty("SOLVARI_CAPTURE")) QSKIP("needs tools/with-pulse.sh");
    // A remapped source over the monitor stands for a microphone that hears
    // what the sink plays (a sink's monitor is no input device of its own).
    QVERIFY(std::system("pactl load-module module-remap-source master=nullsink.monitor "
                        "source_name=mic >/dev/null") == 0);
    QVERIFY(std::system("pactl set-default-source mic") == 0);
    QTemporaryDir dir;
    SetExeDirectory(dir.path().toStdString() + "/");
    CQtProfileStore profile(dir.filePath(QStringLiteral("Kelvane.conf")));
    CFakeTimers timers;
    CRecordedMessages messages;
    CRecordedSound sound;
    FrameServices services;
    services.pProfile = &profile;
    services.pTimers = &timers;
    services.pMessageBoxes = &messages;
    services.pTitleSound = &sound;
    services.openUrl = [](const QUrl&) { return true; };
    services.strOwnVoiceDir = dir.filePath(QStringLiteral("voice"));
    CMainFrame frame(std::move(services));
    timers.handler = [&frame](unsigned nId) { frame.OnTimer(nId); };
    timers.Advance(kTitleDelayMs + kTitleShowMs);

    // The known voice: the shipped phrase 1 (3.2 s of voice), recorded as
    // one's own take of phrase 0 (1.5 s in the table).
    const std::vector<std::int16_t> known =
        ReadSegment(std::string(SOLVARI_SOURCE_DIR) + "/data/V01.SGM");
    QVERIFY(known.size() > 11025 * 3);
    const QString strRaw = dir.filePath(QStringLiteral("known.raw"));
    {
      QFile raw(strRaw);
      QVERIFY(raw.open(QIODevice::WriteOnly));
      QByteArray silence(2 * 5512, '\0');  // half a second (whole samples) around the voice
      raw.write(silence);
      raw.write(reinterpret_cast<const char*>(known.data()), static_cast<qint64>(known.size() * 2));
      raw.write(silence);
    }

    frame.Action(ID_FILE_RECORD)->trigger();
    CRecordWnd& wnd = *frame.Recorder();
    QCOMPARE(wnd.Phrase(), 0);
    wnd.OnRecord();
    QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join(QLatin1Char('/'))));
    QCOMPARE(wnd.GetState(), CRecordWnd::kRecording);
    QTest::qWait(300);  // the source stream is running
    // pacat plays it while the event loop takes the recording up. Its
    // buffer holds the whole voice (4.4 s), so that the server has all of it
    // before it plays: a pacat starved of the processor on a loaded machine
    // (which once paused the sink's sound for 0.7 s) cannot open a gap.
    QProcess pacat;
    pacat.start(QStringLiteral("pacat"),
                {QStringLiteral("-d"), QStringLiteral("nullsink"), QStringLiteral("--rate=11025"),
                 QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"),
                 QStringLiteral("--latency-msec=6000"), strRaw});
    QVERIFY(pacat.waitForStarted(5000));
    int nMeterMax = CRecordWnd::kMeterFloorDb;
    Pump(
        [&] {
          nMeterMax = std::max(nMeterMax, wnd.Meter()->value());
          return pacat.state() == QProcess::NotRunning;
        },
        20000);
    QCOMPARE(pacat.exitCode(), 0);
    QTest::qWait(300);
    QVERIFY2(nMeterMax > -20, qPrintable(QString::number(nMeterMax)));
    wnd.OnStop();
    QCOMPARE(wnd.GetState(), CRecordWnd::kTake);
    QVERIFY(messages.texts.isEmpty());

    // The take is the known voice, trimmed the same way.
    const std::vector<std::int16_t> expected = PrepareTake(known.data(), known.size());
    const std::vector<std::int16_t> take = wnd.Take();  // Keep clears it
    int nLag = 0;
    const double dCorr = BestCorrelation(expected, take, 11025 / 20, &nLag);
    qInfo("take %zu samples, expected %zu; correlation %.4f at a lag of %d samples", take.size(),
          expected.size(), dCorr, nLag);
    if (qEnvironmentVariableIsSet("SOLVARI_DUMP")) {
      std::ofstream(qgetenv("SOLVARI_DUMP").toStdString() + ".wave", std::ios::binary)
          .write(reinterpret_cast<const char*>(frame.Wave().LockData()),
                 frame.Wave().GetDataSize());
      frame.Wave().UnlockData();
      std::ofstream(qgetenv("SOLVARI_DUMP").toStdString(), std::ios::binary)
          .write(reinterpret_cast<const char*>(take.data()),
                 static_cast<std::streamsize>(take.size() * 2));
    }
    QVERIFY2(dCorr >= 0.95, qPrintable(QString::number(dCorr)));
    QVERIFY(std::abs(static_cast<long>(take.size()) - static_cast<long>(expected.size())) <
            11025 / 20);

    wnd.OnKeep();
    QVERIFY(messages.texts.isEmpty());
    const std::string strKept = frame.OwnVoiceDir().toStdString() + "/V00.SGM";
    QCOMPARE(ReadSegment(strKept), take);
    wnd.close();
    QTRY_VERIFY(frame.Recorder() == nullptr);
    QVERIFY(frame.IsOwnVoiceOn());

    // The recitation plays the kept take for phrase 0, at its pace.
    frame.OnReadStart();
    timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    QCOMPARE(frame.Wave().GetDataSize(), std::uint32_t(2 * take.size()));
    const double dPace = frame.OwnVoicePace(0);
    qInfo("pace of the take: %.3f", dPace);
    QVERIFY(std::abs(dPace - 3200.0 / 1500.0) < 0.1);
    const long nFirst = std::lround(GetCharDuration(0, 0) * dPace);
    timers.Advance(nFirst - 1);
    QCOMPARE(frame.m_nChar, 0);
    // The output's clock is real, the timers are not: both must have come
    // to the next character's onset, the paced one.
    QElapsedTimer waited;
    waited.start();
    while (frame.m_nChar == 0 && waited.elapsed() < 5000) {
      Pump([] { return false; }, 5);
      timers.Advance(5);
    }
    QCOMPARE(frame.m_nChar, 1);
    frame.OnReadStop();
    Pump([&] { return frame.m_nState == Idle; }, 3000);
    QCOMPARE(frame.m_nState, int(Idle));
  }
};

QTEST_MAIN(TestRecordPulse)
#include "test_record_pulse.moc"
