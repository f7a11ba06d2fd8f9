// SPDX-License-Identifier: GPL-3.0-or-later
// Plays through the PulseAudio device into the null sink of a private PulseAudio
// server; run through tools/with-pulse.sh.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "audio/pulse/pulse_wave_device.h"
#include "audio/voice_segment.h"
#include "pulse_support.h"

namespace solvari {
namespace {

namespace fs = std::filesystem;
using test::PumpFor;
using test::PumpUntil;

struct DoneCounter : IWaveNotify {
  int nDone = 0;
  test::CStopwatch clock;
  double dAtMs = -1;
  void OnWomDone() override {
    ++nDone;
    dAtMs = clock.Ms();
  }
};

class PulsePlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::CapturePath().empty()) GTEST_SKIP() << "run through tools/with-pulse.sh";
    // The longest phrase, as shipped; the generated voice starts and ends
    // with sound.
    segment = fs::path(SOLVARI_SOURCE_DIR) / "data" / "V38.SGM";
    ASSERT_TRUE(fs::exists(segment)) << segment;
  }
  CWaveBuffer MakeBuffer() {
    return CWaveBuffer(std::make_unique<CPulseWaveOutDevice>(&test::Poster()), nullptr, &profile);
  }
  fs::path segment;
  CMemoryProfileStore profile;
  DoneCounter notify;
};

// The sounding part of the segment, in milliseconds.
double SoundMs(const std::vector<std::int16_t>& s, int nRate) {
  const auto spans = test::SoundSpans(s, 300, static_cast<std::size_t>(nRate));
  if (spans.empty()) return 0;
  return 1000.0 * static_cast<double>(spans.back().last - spans.front().first + 1) / nRate;
}

TEST_F(PulsePlaybackTest, NaturalEndGivesOneDoneAfterTheSound) {
  CWaveBuffer wave = MakeBuffer();
  ASSERT_EQ(LoadVoiceSegment(wave, segment.string()), 1);
  const double dLengthMs = wave.GetDataSize() / 22.05;
  const auto* p = static_cast<const std::int16_t*>(wave.GetDataHandle());
  const std::vector<std::int16_t> source(p, p + wave.GetDataSize() / 2);

  const auto nFrom = test::CaptureSize();
  ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  notify.clock.Start();
  ASSERT_EQ(wave.PlayAll(), 1);
  EXPECT_EQ(notify.nDone, 0);  // posted, never called from inside the play
  PumpUntil([&] { return notify.nDone > 0; }, static_cast<int>(dLengthMs) + 5000);
  ASSERT_EQ(notify.nDone, 1);
  // Not before the sound has played (pulled playback reported ~80 ms early).
  EXPECT_GT(notify.dAtMs, dLengthMs - 40) << "length " << dLengthMs;
  EXPECT_LT(notify.dAtMs, dLengthMs + 1500) << "length " << dLengthMs;
  wave.CloseOutput();
  PumpFor(400);
  EXPECT_EQ(notify.nDone, 1);

  const auto captured = test::ReadCapture(nFrom);
  EXPECT_GT(test::Peak(captured), 2000);
  const double dSourceMs = SoundMs(source, 11025);
  const double dCapturedMs = SoundMs(captured, test::kCaptureRate);
  EXPECT_NEAR(dCapturedMs, dSourceMs, 30.0);
  std::printf("segment %.1f ms, sound in it %.1f ms, captured %.1f ms, done after %.1f ms\n",
              dLengthMs, dSourceMs, dCapturedMs, notify.dAtMs);
}

TEST_F(PulsePlaybackTest, ResetGivesOneDoneSoon) {
  CWaveBuffer wave = MakeBuffer();
  ASSERT_EQ(LoadVoiceSegment(wave, segment.string()), 1);
  ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  ASSERT_EQ(wave.PlayAll(), 1);
  const auto nFrom = test::CaptureSize();
  PumpFor(500);
  ASSERT_EQ(notify.nDone, 0);
  notify.clock.Start();
  EXPECT_EQ(wave.ResetOutput(), 0);
  const double dResetMs = notify.clock.Ms();
  EXPECT_EQ(notify.nDone, 0);  // posted, not called from inside stop()
  PumpUntil([&] { return notify.nDone > 0; }, 2000);
  EXPECT_EQ(notify.nDone, 1);
  EXPECT_LT(notify.dAtMs, 200);
  PumpFor(static_cast<int>(wave.GetDataSize() / 22));  // past where the natural end would be
  EXPECT_EQ(notify.nDone, 1);
  wave.CloseOutput();
  // The sound stopped at the reset: about half a second was heard, not more.
  const auto spans = test::SoundSpans(test::ReadCapture(nFrom), 300, test::kCaptureRate);
  ASSERT_FALSE(spans.empty());
  const double dHeardMs = 1000.0 * (spans.back().last - spans.front().first) / test::kCaptureRate;
  EXPECT_LT(dHeardMs, 800);
  std::printf("reset took %.2f ms, %.0f ms heard\n", dResetMs, dHeardMs);
}

TEST_F(PulsePlaybackTest, PhraseAfterPhraseFromTheDoneHandler) {
  // What the recitation does: on each done, close, load the next, open, play.
  struct Sequencer : IWaveNotify {
    CWaveBuffer* pWave = nullptr;
    std::string path;
    int nDone = 0, nPlayed = 0;
    void Next() {
      pWave->CloseOutput();
      if (nPlayed == 3) return;
      ASSERT_EQ(LoadVoiceSegment(*pWave, path), 1);
      ASSERT_EQ(pWave->OpenOutput(this, 11025, 16, 1), 0);
      ASSERT_EQ(pWave->PlayAll(), 1);
      ++nPlayed;
    }
    void OnWomDone() override {
      ++nDone;
      Next();
    }
  } seq;
  CWaveBuffer wave = MakeBuffer();
  seq.pWave = &wave;
  seq.path = (fs::path(SOLVARI_SOURCE_DIR) / "data" / "V48.SGM").string();
  seq.Next();
  PumpUntil([&] { return seq.nDone == 3; }, 10000);
  PumpFor(300);
  EXPECT_EQ(seq.nDone, 3);
  EXPECT_EQ(seq.nPlayed, 3);
}

TEST_F(PulsePlaybackTest, DestroyingWhilePlayingStopsAndDropsTheDone) {
  {
    CWaveBuffer wave = MakeBuffer();
    ASSERT_EQ(LoadVoiceSegment(wave, segment.string()), 1);
    ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
    ASSERT_EQ(wave.PlayAll(), 1);
    PumpFor(200);
  }
  PumpFor(300);
  EXPECT_EQ(notify.nDone, 0);
}

TEST_F(PulsePlaybackTest, DeviceNumbers) {
  CWaveBuffer wave = MakeBuffer();
  wave.AllocData(0);
  profile.WriteProfileInt("WAV Config", "WavOutDevice", 0);
  EXPECT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  // An empty buffer is accepted and done at once.
  EXPECT_EQ(wave.PlayAll(), 1);
  PumpUntil([&] { return notify.nDone > 0; }, 1000);
  EXPECT_EQ(notify.nDone, 1);
  wave.CloseOutput();
  for (int n : {99, -2}) {
    profile.WriteProfileInt("WAV Config", "WavOutDevice", n);
    EXPECT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), kWaveBadDeviceId) << n;
  }
  profile.WriteProfileInt("WAV Config", "WavOutDevice", -1);
  EXPECT_EQ(wave.OpenOutput(&notify, 11025, 12, 1), kWaveBadFormat);
}

}  // namespace
}  // namespace solvari
