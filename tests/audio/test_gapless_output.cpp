// SPDX-License-Identifier: GPL-3.0-or-later
// The gapless output logic against a simulated sound server: a playback
// buffer that the server reads at the real-time rate into an output with a
// latency of its own, answering position requests after a round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "audio/gapless_output.h"

namespace solvari {
namespace {

constexpr std::int64_t kBytesPerSec = 22050;  // 11025 Hz, 16 bits, mono

std::int64_t BytesToUs(std::int64_t n) { return n * 1'000'000 / kBytesPerSec; }

// The server. Time moves in steps of 1 ms; each step the server renders a
// millisecond of the stream (silence where it has nothing), which is heard
// nLatencyUs later; a request asked for earlier is answered.
class CSimServer : public IPcmStream {
 public:
  std::int64_t nNowUs = 0;
  std::int64_t nLatencyUs = 186'000;   // sound read from the buffer is heard this much later
  std::int64_t nBufferBytes = 5512;    // what the server holds ahead (250 ms)
  bool bStalled = false;               // the server does nothing at all
  bool bStarved = false;               // the server takes no data (the device cannot write)
  std::vector<std::uint8_t> received;  // every byte written, in order
  std::int64_t nRead = 0;              // read position in the stream
  std::int64_t nFlushes = 0;
  int nPendingReports = 0;
  bool bIndexReport = false;
  bool bReportsAhead = true;      // reports say how much the output holds
  int nUnusableLeft = 0;          // requests answered without a usable report
  std::int64_t nReportAgeMs = 0;  // a report arrives this long after the server made it
  // Like a sound server: until the stream's first sample comes through the
  // output, its reports say it stands still (heard: less than nothing).
  bool bStandsUntilHeard = false;

  std::size_t WritableBytes() override {
    if (bStalled || bStarved) return 0;
    const std::int64_t nHeld = static_cast<std::int64_t>(received.size()) - nRead;
    return static_cast<std::size_t>(std::max<std::int64_t>(0, nBufferBytes - nHeld));
  }
  bool Write(const std::uint8_t* p, std::size_t n) override {
    received.insert(received.end(), p, p + n);
    // A real stream may ask for more from inside the write.
    if (pOnWrite) pOnWrite();
    return true;
  }
  std::function<void()> pOnWrite;
  bool Flush() override {
    ++nFlushes;
    received.resize(static_cast<std::size_t>(nRead));
    bIndexReport = true;
    ++nPendingReports;
    return true;
  }
  int nRequests = 0;
  bool RequestReport() override {
    ++nRequests;
    ++nPendingReports;
    return true;
  }
  std::vector<std::int64_t> rendered;  // stream position rendered by the end of each ms

  // Renders one millisecond.
  void Render() {
    const std::int64_t k = static_cast<std::int64_t>(rendered.size());
    if (!bStalled) {
      const std::int64_t nWant =
          ((k + 1) * kBytesPerSec / 1000 & ~1) - (k * kBytesPerSec / 1000 & ~1);
      const std::int64_t nAvail = static_cast<std::int64_t>(received.size()) - nRead;
      nRead += std::min(nWant, nAvail);
    }
    rendered.push_back(nRead);
  }
  // Heard stream position (µs) at ms index k: what was rendered nLatencyUs before.
  std::int64_t HeardAt(std::int64_t k) const {
    const std::int64_t i = k - nLatencyUs / 1000;
    // Before the first rendered sound has come through: less than nothing.
    return i < 0 ? k * 1000 - nLatencyUs : BytesToUs(rendered[static_cast<std::size_t>(i)]);
  }
};

class GaplessTest : public ::testing::Test {
 protected:
  GaplessTest() {
    MakeOutput(0);
    server.pOnWrite = [this] { output->OnWritable(server.nNowUs); };
  }

  void MakeOutput(std::int64_t nDelayUs) {
    CGaplessOutput::Hooks hooks;
    hooks.postDone = [this] { dones.push_back(server.nNowUs); };
    hooks.scheduleCheck = [this](std::int64_t at) { nCheckAt = std::max(at, server.nNowUs); };
    hooks.gone = [this] { ++nGone; };
    output = std::make_unique<CGaplessOutput>(&server, kBytesPerSec, 2, nDelayUs, std::move(hooks));
  }

  // Moves time on by ms, 1 ms at a time (checks fire at their exact time).
  void Run(int ms) {
    for (int i = 0; i < ms; ++i) {
      const std::int64_t nNext = server.nNowUs + 1000;
      while (nCheckAt >= 0 && nCheckAt < nNext) {
        server.nNowUs = std::max(server.nNowUs, nCheckAt);
        nCheckAt = -1;
        output->OnCheck(server.nNowUs);
      }
      server.nNowUs = nNext;
      server.Render();
      if (server.bStalled) continue;
      if (server.nPendingReports > 0 && server.nUnusableLeft > 0) {
        server.nPendingReports = 0;
        --server.nUnusableLeft;
        output->OnNoReport(server.nNowUs);
      } else if (server.nPendingReports > 0) {
        server.nPendingReports = 0;
        const std::int64_t k = std::max<std::int64_t>(
            0, static_cast<std::int64_t>(server.rendered.size()) - 1 - server.nReportAgeMs);
        StreamReport report;
        report.nNowUs = server.nNowUs - server.nReportAgeMs * 1000;
        report.nHeardUs = server.HeardAt(k);
        report.bRunning = k > 0 && server.HeardAt(k) > server.HeardAt(k - 1) &&
                          !(server.bStandsUntilHeard && report.nHeardUs < 0);
        if (server.bReportsAhead)
          report.nAheadUs =
              BytesToUs(server.rendered[static_cast<std::size_t>(k)]) - report.nHeardUs;
        report.bDrained =
            !report.bRunning && server.nRead >= static_cast<std::int64_t>(server.received.size());
        if (server.bIndexReport)
          report.nWriteIndex = static_cast<std::int64_t>(server.received.size());
        server.bIndexReport = false;
        output->OnReport(report);
      }
      output->OnWritable(server.nNowUs);
    }
  }

  static std::vector<std::uint8_t> Tone(std::size_t nBytes, std::uint8_t seed) {
    std::vector<std::uint8_t> v(nBytes);
    for (std::size_t i = 0; i < nBytes; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
  }

  // Two seconds of tone on an output that holds 5 ms: the clock runs on at
  // most 15 ms past a report.
  void PlayOnAShortOutput(std::uint8_t seed) {
    server.nLatencyUs = 5'000;
    playing = Tone(44100, seed);
    output->Write(playing.data(), 44100, server.nNowUs);
  }

  // Follows the clock of the buffer just written for nMs, a millisecond at a
  // time: it is never ahead of what the server has made heard. Returns the
  // ms at which the buffer's first sample was heard, and at which the clock
  // said so (-1: not within nMs). With bNameAgain, the start is named again
  // every 10 ms until the clock says so, as a reading that waits for it does.
  std::pair<std::int64_t, std::int64_t> FollowFirstSample(int nMs, bool bNameAgain) {
    WaveClock clock;
    std::int64_t nHeard = -1, nSeen = -1;
    for (int ms = 0; ms < nMs; ++ms) {
      const std::int64_t k = static_cast<std::int64_t>(server.rendered.size()) - 1;
      EXPECT_TRUE(output->GetClock(server.nNowUs, &clock));
      const std::int64_t nTruth = server.HeardAt(k) - clock.nBufferStartUs;
      EXPECT_LE(clock.nHeardUs - clock.nBufferStartUs, std::max<std::int64_t>(0, nTruth) + 1000)
          << "at " << ms << " ms";
      if (nHeard < 0 && nTruth > 0) nHeard = ms;
      if (nSeen < 0 && clock.nHeardUs >= clock.nBufferStartUs) nSeen = ms;
      if (bNameAgain && nSeen < 0 && ms % 10 == 9) output->WantClockAt(0, server.nNowUs);
      Run(1);
    }
    return {nHeard, nSeen};
  }

  CSimServer server;
  std::vector<std::uint8_t> playing;  // what PlayOnAShortOutput queued
  std::unique_ptr<CGaplessOutput> output;
  std::vector<std::int64_t> dones;
  std::int64_t nCheckAt = -1;
  int nGone = 0;
};

TEST_F(GaplessTest, DoneComesWhenTheLastSampleIsHeardAndTheNextFollowsWithoutASeam) {
  const auto a = Tone(22050, 1);  // 1 s
  const auto b = Tone(11027, 2);  // 0.5 s, an odd byte too many
  ASSERT_EQ(output->Write(a.data(), static_cast<std::uint32_t>(a.size()), server.nNowUs), 0);
  EXPECT_TRUE(output->Prefetch(b.data(), static_cast<std::uint32_t>(b.size())));
  Run(1300);
  ASSERT_EQ(dones.size(), 1u);
  // A's last sample is heard at 1 s + the output's latency.
  EXPECT_NEAR(dones[0], 1'000'000 + server.nLatencyUs, 2000);
  // The same bytes are taken up where they already stand: nothing is written twice.
  const std::size_t nBefore = server.received.size();
  WaveClock clock;
  ASSERT_EQ(output->Write(b.data(), static_cast<std::uint32_t>(b.size()), server.nNowUs), 0);
  EXPECT_EQ(server.received.size(), nBefore);
  ASSERT_TRUE(output->GetClock(server.nNowUs, &clock));
  EXPECT_EQ(clock.nBufferStartUs, BytesToUs(22050));
  EXPECT_NEAR(clock.nHeardUs - clock.nBufferStartUs, server.nNowUs - dones[0], 2000);
  Run(800);
  ASSERT_EQ(dones.size(), 2u);
  EXPECT_NEAR(dones[1], 1'500'000 + server.nLatencyUs, 2000);
  // Every byte reached the server once, in order, the half sample left out.
  std::vector<std::uint8_t> expected(a);
  expected.insert(expected.end(), b.begin(), b.end() - 1);
  EXPECT_EQ(server.received, expected);
}

TEST_F(GaplessTest, LatencyChangesOutputDelayAndUnderrunsMoveTheDone) {
  MakeOutput(40'000);  // a television 40 ms later than the system knows
  const auto a = Tone(22050, 3);
  output->Write(a.data(), 22050, server.nNowUs);
  Run(300);
  server.nLatencyUs = 90'000;  // the output's latency drops (another route)
  Run(200);
  server.bStarved = true;  // the server takes nothing for 400 ms: the sound stops
  Run(400);
  server.bStarved = false;
  Run(1000);
  ASSERT_EQ(dones.size(), 1u);
  // Heard end: 1 s of sound, the part not yet in the server (about 400 ms
  // less the 250 ms it held) delayed by the starvation, at the new latency,
  // plus the delay the system does not know.
  const std::int64_t nStall = 400'000 - 250'000;
  EXPECT_NEAR(dones[0], 1'000'000 + nStall + 90'000 + 40'000, 25'000);
  EXPECT_EQ(server.received, a);
}

TEST_F(GaplessTest, AStalledServerHoldsTheClockAndIsGivenUpAfterFiveSeconds) {
  const auto a = Tone(22050, 4);
  output->Write(a.data(), 22050, server.nNowUs);
  Run(400);
  const std::int64_t nHeard = output->HeardUs(server.nNowUs);
  server.bStalled = true;
  Run(1000);
  // The clock runs on for at most 100 ms without a report, then stands still.
  EXPECT_LE(output->HeardUs(server.nNowUs), nHeard + CGaplessOutput::kMaxExtrapolationUs + 1000);
  EXPECT_TRUE(dones.empty());
  Run(4200);
  EXPECT_EQ(nGone, 1);
  ASSERT_EQ(dones.size(), 1u);
  EXPECT_TRUE(output->IsGone());
  EXPECT_EQ(output->Write(a.data(), 22050, server.nNowUs), kWaveNoDriver);
}

// A short output runs dry soon after its server stalls: the clock must stop
// with it, not run on, or the done (and the highlight) comes before the sound.
TEST_F(GaplessTest, TheFirstSampleOfAFreshStreamIsHeardOnlyAfterTheLatency) {
  const auto a = Tone(22050, 3);
  output->Write(a.data(), 22050, server.nNowUs);
  WaveClock clock;
  // Not a report yet: a clock all the same, which says "not heard yet".
  ASSERT_TRUE(output->GetClock(server.nNowUs, &clock));
  EXPECT_LT(clock.nHeardUs, clock.nBufferStartUs);
  for (int ms = 1; ms <= 300; ++ms) {
    Run(1);
    if (!output->GetClock(server.nNowUs, &clock)) continue;
    // Heard means it came through the output: not before 186 ms.
    if (ms < 180) {
      EXPECT_LT(clock.nHeardUs, clock.nBufferStartUs) << ms;
    } else if (ms > 200) {
      EXPECT_GT(clock.nHeardUs, clock.nBufferStartUs) << ms;
    }
  }
}

TEST_F(GaplessTest, TheClockStopsWithAShortOutputWhoseServerStalls) {
  server.nLatencyUs = 46'000;
  const auto a = Tone(22050, 4);  // 1 s
  output->Write(a.data(), 22050, server.nNowUs);
  Run(960);
  server.bStalled = true;
  std::int64_t nWorst = INT64_MIN, nRunOn = 0;
  WaveClock clock;
  for (int i = 0; i < 400; ++i) {
    Run(1);
    const auto k = static_cast<std::int64_t>(server.rendered.size()) - 1;
    nWorst = std::max(nWorst, output->HeardUs(server.nNowUs) - server.HeardAt(k));
    ASSERT_TRUE(output->GetClock(server.nNowUs, &clock));
    nRunOn = std::max(nRunOn, clock.nRunningUs - clock.nHeardUs);
  }
  EXPECT_LE(nWorst, CGaplessOutput::kAheadMarginUs + 1000);
  // Where the sound would be had the server played on: past the stalled
  // clock, as far as the clock ever runs on without a word.
  EXPECT_GE(nRunOn, 40'000);
  EXPECT_LE(nRunOn, CGaplessOutput::kMaxExtrapolationUs);
  EXPECT_TRUE(dones.empty()) << "done while 40 ms of the buffer were never heard";
  server.bStalled = false;
  Run(200);
  ASSERT_EQ(dones.size(), 1u);

  // Without that knowledge the clock keeps its old reach.
  server.bReportsAhead = false;
  const auto b = Tone(22050, 5);
  output->Write(b.data(), 22050, server.nNowUs);
  Run(1100);
  EXPECT_EQ(dones.size(), 2u);
}

// Each report costs the server and the program a wake-up: they are asked for
// seldom, except a little before the moments the clock is read at, where the
// clock must be right even on an output too short to carry it on its own.
TEST_F(GaplessTest, ReportsAreAskedForSeldomYetTheClockIsRightWhenItIsWanted) {
  PlayOnAShortOutput(13);
  Run(100);
  const int nBefore = server.nRequests;
  Run(1000);
  // The output's latency carries the clock 15 ms past a report: steady
  // reports would keep nothing running, and only tell that the server lives.
  EXPECT_LE(server.nRequests - nBefore, 3) << "nothing wanted the clock";
  // The moments a reading looks at, 137 ms apart, as its characters' onsets.
  std::int64_t nWorst = 0;
  for (std::int64_t nAt = 1'300'000; nAt <= 1'850'000; nAt += 137'000) {
    output->WantClockAt(nAt, server.nNowUs);
    while (server.HeardAt(static_cast<std::int64_t>(server.rendered.size()) - 1) < nAt) Run(1);
    nWorst = std::max(nWorst, std::abs(output->HeardUs(server.nNowUs) - nAt));
  }
  EXPECT_LE(nWorst, 1500);
  // An answer without a usable report (the server had not caught up with a
  // write) is followed by another request at once, not by the idle pace.
  nWorst = 0;
  for (std::int64_t nAt = 1'870'000; nAt <= 1'940'000; nAt += 35'000) {
    output->WantClockAt(nAt, server.nNowUs);
    server.nUnusableLeft = 1;
    while (server.HeardAt(static_cast<std::int64_t>(server.rendered.size()) - 1) < nAt) Run(1);
    nWorst = std::max(nWorst, std::abs(output->HeardUs(server.nNowUs) - nAt));
  }
  EXPECT_LE(nWorst, 1500);
  // And the end is heard on time.
  Run(200);
  ASSERT_EQ(dones.size(), 1u);
  EXPECT_NEAR(dones[0], 2'000'000 + server.nLatencyUs, 2000);
  EXPECT_LE(server.nRequests - nBefore, 3 + 7 * 2 + 4);
}

// A report may reach the sound thread some ms after the server made it: what
// it tells is dated by the server, and so is the check it sets. The end of
// a buffer and a wanted moment are told on time, not as late as the report.
TEST_F(GaplessTest, AReportThatArrivesLateStillTellsTheEndOnTime) {
  // An output of 40 ms: a report asked for a little before a moment carries
  // the clock past it, and the check then set is all that tells it.
  server.nReportAgeMs = 4;
  server.nLatencyUs = 40'000;
  playing = Tone(44100, 19);
  output->Write(playing.data(), 44100, server.nNowUs);
  Run(100);
  // The buffer is the stream's first: its times are the stream's.
  for (const std::int64_t nAt : {800'000, 1'300'000}) {
    output->WantClockAt(nAt, server.nNowUs);
    while (server.HeardAt(static_cast<std::int64_t>(server.rendered.size()) - 1) < nAt) Run(1);
    EXPECT_LE(std::abs(output->HeardUs(server.nNowUs) - nAt), 1500);
  }
  Run(2000);
  ASSERT_EQ(dones.size(), 1u);
  EXPECT_NEAR(dones[0], 2'000'000 + server.nLatencyUs, 1500);
}

// A reading names every onset of its phrase when the phrase begins: each is
// asked for a little before it comes, without being named again, and a
// moment the clock has told is past is not asked for again.
TEST_F(GaplessTest, MomentsNamedTogetherAreEachAskedForInTime) {
  PlayOnAShortOutput(17);
  Run(100);
  const std::int64_t nStart = output->HeardUs(server.nNowUs);
  std::vector<std::int64_t> moments;
  for (std::int64_t nAt = nStart + 300'000; nAt <= nStart + 1'500'000; nAt += 211'000)
    moments.push_back(nAt);
  for (auto it = moments.rbegin(); it != moments.rend(); ++it)
    output->WantClockAt(*it, server.nNowUs);
  output->WantClockAt(moments[0], server.nNowUs);  // named twice: one moment
  const int nBefore = server.nRequests;
  std::int64_t nWorst = 0;
  for (const std::int64_t nAt : moments) {
    while (server.HeardAt(static_cast<std::int64_t>(server.rendered.size()) - 1) < nAt) Run(1);
    nWorst = std::max(nWorst, std::abs(output->HeardUs(server.nNowUs) - nAt));
  }
  EXPECT_LE(nWorst, 1500);
  EXPECT_LE(server.nRequests - nBefore, static_cast<int>(moments.size()) + 4);
}

// The check that would have asked a little before a wanted moment never ran
// (the sound thread was kept waiting): the sound passes the moment while the
// clock told stands at the end of its last report's short reach. When the
// clock is wanted again, the output is asked at once, not at the idle pace.
TEST_F(GaplessTest, AMomentMissedWhileTheClockStandsIsAskedForAtOnce) {
  PlayOnAShortOutput(16);
  Run(300);
  // Just after an answer.
  const int nAsked = server.nRequests;
  while (server.nRequests == nAsked) Run(1);
  Run(1);
  const std::int64_t nAt = output->HeardUs(server.nNowUs) + 40'000;
  output->WantClockAt(nAt, server.nNowUs);
  const auto heardNow = [this] {
    return server.HeardAt(static_cast<std::int64_t>(server.rendered.size()) - 1);
  };
  while (heardNow() < nAt + 5'000) {
    nCheckAt = -1;  // lost
    Run(1);
  }
  ASSERT_LT(output->HeardUs(server.nNowUs), nAt) << "the clock ran on without a report";
  output->WantClockAt(nAt, server.nNowUs);
  Run(2);
  EXPECT_GE(output->HeardUs(server.nNowUs), nAt);
}

// A stream just started is asked at once and then often, so that its first
// sample's moment is known within a few ms (the title bell and its picture).
TEST_F(GaplessTest, AStartingStreamIsAskedAtOnce) {
  server.nLatencyUs = 46'000;
  const auto a = Tone(22050, 14);
  output->Write(a.data(), 22050, server.nNowUs);
  WaveClock clock;
  std::int64_t nSeen = -1;
  for (int ms = 1; ms <= 100 && nSeen < 0; ++ms) {
    Run(1);
    if (output->GetClock(server.nNowUs, &clock) && clock.nHeardUs >= clock.nBufferStartUs)
      nSeen = server.nNowUs;
  }
  EXPECT_NEAR(nSeen, 46'000, 3000);
}

TEST_F(GaplessTest, TheFirstSampleIsHeardOnTimeThoughTheStreamStandsUntilThen) {
  // A sound server says a starting stream stands still until its first
  // sample comes through the output; the clock still counts down to it at
  // the real-time rate, and is never ahead of what is heard.
  server.bStandsUntilHeard = true;
  const auto a = Tone(22050, 15);
  output->Write(a.data(), 22050, server.nNowUs);
  WaveClock clock;
  std::int64_t nSeen = -1;
  for (int ms = 1; ms <= 300; ++ms) {
    Run(1);
    if (!output->GetClock(server.nNowUs, &clock)) continue;
    const std::int64_t k = static_cast<std::int64_t>(server.rendered.size()) - 1;
    EXPECT_LE(clock.nHeardUs - clock.nBufferStartUs,
              std::max<std::int64_t>(0, server.HeardAt(k)) + 1000)
        << "at " << ms << " ms";
    if (nSeen < 0 && clock.nHeardUs >= clock.nBufferStartUs) nSeen = server.nNowUs;
  }
  EXPECT_NEAR(nSeen, server.nLatencyUs, 1500);
}

TEST_F(GaplessTest, ABufferAfterAStopIsHeardOnlyAfterWhatTheOutputStillPlays) {
  // Stop, then Start again a second later on the same stream: the last word
  // of the server is old, and the new voice comes after the latency. The
  // clock never says it is heard before it is, and follows within a report.
  server.bStandsUntilHeard = true;
  const auto a = Tone(44100, 6);
  const auto b = Tone(22050, 7);
  output->Write(a.data(), 44100, server.nNowUs);
  Run(500);
  output->Reset(server.nNowUs);
  Run(1000);
  ASSERT_EQ(dones.size(), 1u);
  output->Write(b.data(), 22050, server.nNowUs);
  const auto [nHeard, nSeen] = FollowFirstSample(400, false);
  EXPECT_NEAR(nHeard, server.nLatencyUs / 1000, 2);
  EXPECT_GE(nSeen, nHeard - 1);
  EXPECT_LE(nSeen, nHeard + 6);
}

// A recitation begins again after a pause on a short output: the stream ran
// dry meanwhile and its last report is old. The next buffer's first sample
// is lit as it is heard, though nothing asks the server steadily there.
TEST_F(GaplessTest, ABufferAfterAPauseOnAShortOutputIsHeardOnTime) {
  server.nLatencyUs = 46'000;
  const auto a = Tone(22050, 8);
  const auto b = Tone(22050, 9);
  output->Write(a.data(), 22050, server.nNowUs);
  while (dones.empty()) Run(1);
  Run(290);
  output->Write(b.data(), 22050, server.nNowUs);
  output->WantClockAt(0, server.nNowUs);  // the first character waits for it
  const auto [nHeard, nSeen] = FollowFirstSample(300, true);
  ASSERT_GE(nHeard, 0);
  EXPECT_LE(nSeen, nHeard + 6) << "heard at " << nHeard << " ms";
}

TEST_F(GaplessTest, AServerThatGoesAwayEndsTheBufferOnce) {
  const auto a = Tone(22050, 5);
  output->Write(a.data(), 22050, server.nNowUs);
  output->Prefetch(a.data(), 22050);
  Run(300);
  output->OnGone();
  output->OnGone();
  Run(2000);
  EXPECT_EQ(dones.size(), 1u);
  EXPECT_FALSE(output->Prefetch(a.data(), 22050));
}

TEST_F(GaplessTest, ResetDropsTheQueuedSoundAndIsDoneWhenTheCutIsHeard) {
  const auto a = Tone(44100, 6);  // 2 s
  const auto b = Tone(22050, 7);
  output->Write(a.data(), 44100, server.nNowUs);
  output->Prefetch(b.data(), 22050);
  Run(500);
  const std::int64_t nCutAt = server.nNowUs;
  output->Reset(server.nNowUs);
  EXPECT_EQ(server.nFlushes, 1);
  Run(600);
  ASSERT_EQ(dones.size(), 1u);
  // What the output already had is still heard: the latency, no more.
  EXPECT_NEAR(dones[0] - nCutAt, server.nLatencyUs, 3000);
  EXPECT_LT(server.received.size(), a.size());
  // The next buffer starts where the cut was; nothing of b was kept.
  const std::int64_t nRead = server.nRead;
  output->Write(b.data(), 22050, server.nNowUs);
  Run(5);
  WaveClock clock;
  ASSERT_TRUE(output->GetClock(server.nNowUs, &clock));
  EXPECT_EQ(clock.nBufferStartUs, BytesToUs(nRead));
}

TEST_F(GaplessTest, ADifferentBufferReplacesThePrefetchedOne) {
  const auto a = Tone(2200, 8);  // 100 ms: the prefetched buffer reaches the server
  const auto b = Tone(22050, 9);
  const auto c = Tone(22050, 10);
  output->Write(a.data(), 2200, server.nNowUs);
  output->Prefetch(b.data(), 22050);
  Run(400);
  ASSERT_EQ(dones.size(), 1u);
  ASSERT_EQ(output->Write(c.data(), 22050, server.nNowUs), 0);
  Run(1500);
  ASSERT_EQ(dones.size(), 2u);
  EXPECT_EQ(server.nFlushes, 1);  // b was cut off the stream
  // The server's stream ends with c, whole.
  ASSERT_GE(server.received.size(), c.size());
  EXPECT_TRUE(std::equal(c.begin(), c.end(), server.received.end() - 22050));
}

TEST_F(GaplessTest, BufferStatesThatAreRefused) {
  const auto a = Tone(22050, 11);
  EXPECT_FALSE(output->Prefetch(a.data(), 1));  // less than a sample
  EXPECT_EQ(output->Write(a.data(), 0, server.nNowUs), 0);
  EXPECT_EQ(dones.size(), 1u);  // an empty buffer is done at once
  output->Write(a.data(), 22050, server.nNowUs);
  EXPECT_EQ(output->Write(a.data(), 22050, server.nNowUs), kWaveStillPlaying);
  WaveClock clock;
  Run(1);
  EXPECT_TRUE(output->GetClock(server.nNowUs, &clock));
}

}  // namespace
}  // namespace solvari

namespace solvari {
namespace {

// A server that stops reporting progress once it has run dry (its reports
// stand at what it had heard then): the end is still heard within the
// output's latency, and the done comes.
TEST_F(GaplessTest, ADrainedStreamIsDoneWhenItsLastSampleHasPlayedOut) {
  const auto a = Tone(22050, 12);
  output->Write(a.data(), 22050, server.nNowUs);
  Run(1000);  // all read by the server; the last 186 ms still in the output
  StreamReport stuck;
  stuck.nNowUs = server.nNowUs;
  stuck.nHeardUs = server.HeardAt(static_cast<std::int64_t>(server.rendered.size()) - 1);
  stuck.bRunning = false;
  stuck.bDrained = true;
  output->OnReport(stuck);
  for (int i = 0; i < 30 && dones.empty(); ++i) {
    server.nNowUs += 10'000;
    stuck.nNowUs = server.nNowUs;
    output->OnReport(stuck);  // the same position, again and again
  }
  ASSERT_EQ(dones.size(), 1u);
  EXPECT_NEAR(dones[0], 1'000'000 + server.nLatencyUs, 15'000);
}

}  // namespace
}  // namespace solvari
