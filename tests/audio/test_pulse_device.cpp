// SPDX-License-Identifier: GPL-3.0-or-later
// The PulseAudio device against a private server with a null sink; run
// through tools/with-pulse.sh.
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

struct DoneLog : IWaveNotify {
  test::CStopwatch clock;
  std::vector<double> at;
  void OnWomDone() override { at.push_back(clock.Ms()); }
};

class PulseDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::CapturePath().empty()) GTEST_SKIP() << "run through tools/with-pulse.sh";
    for (int p : {1, 2}) {
      CWaveBuffer wave(nullptr, nullptr, nullptr);
      ASSERT_EQ(
          LoadVoiceSegment(
              wave,
              (fs::path(SOLVARI_SOURCE_DIR) / "data" / (p == 1 ? "V01.SGM" : "V02.SGM")).string()),
          1);
      const auto* b = static_cast<const std::uint8_t*>(wave.GetDataHandle());
      voices.emplace_back(b, b + wave.GetDataSize());
    }
    format = {kWaveFormatPcm, 1, 11025, 22050, 2, 16, 0};
    notify.clock.Start();
  }
  std::vector<std::vector<std::uint8_t>> voices;
  WaveFormat format{};
  test::CPostQueue& poster = test::Poster();
  DoneLog notify;
};

// Two phrases: the second handed ahead follows the first without a seam,
// each done when its end has been heard, the clock telling where.
TEST_F(PulseDeviceTest, PrefetchedPhraseFollowsWithoutASeamAndDoneFollowsTheHeardEnd) {
  CPulseWaveOutDevice device(&poster);
  ASSERT_EQ(device.Open(format, -1, &notify), 0);
  ASSERT_EQ(device.Write(voices[0].data(), static_cast<std::uint32_t>(voices[0].size())), 0);
  ASSERT_TRUE(device.Prefetch(voices[1].data(), static_cast<std::uint32_t>(voices[1].size())));
  ASSERT_TRUE(PumpUntil([&] { return !notify.at.empty(); }, 8000));
  WaveClock c{};
  ASSERT_TRUE(device.GetClock(&c));
  EXPECT_GE(c.nHeardUs, c.nEndUs);           // never before the last sample is heard
  EXPECT_LT(c.nHeardUs - c.nEndUs, 30'000);  // and soon after
  // The sequencer's steps: close, open again, play the same bytes.
  EXPECT_EQ(device.Close(), 0);
  ASSERT_EQ(device.Open(format, -1, &notify), 0);
  ASSERT_EQ(device.Write(voices[1].data(), static_cast<std::uint32_t>(voices[1].size())), 0);
  ASSERT_TRUE(device.GetClock(&c));
  EXPECT_EQ(c.nBufferStartUs, 3'400'000);  // right after V01's 3.4 s
  EXPECT_EQ(c.nEndUs, 5'800'000);
  ASSERT_TRUE(PumpUntil([&] { return notify.at.size() == 2; }, 6000));
  EXPECT_NEAR(notify.at[1] - notify.at[0], 2400, 60);
  EXPECT_EQ(device.Close(), 0);
}

// Reset drops the queued sound: done comes at once on an output without
// a buffer of its own, exactly once.
TEST_F(PulseDeviceTest, ResetIsDoneSoonAndOnce) {
  CPulseWaveOutDevice device(&poster);
  ASSERT_EQ(device.Open(format, -1, &notify), 0);
  ASSERT_EQ(device.Write(voices[0].data(), static_cast<std::uint32_t>(voices[0].size())), 0);
  ASSERT_TRUE(device.Prefetch(voices[1].data(), static_cast<std::uint32_t>(voices[1].size())));
  PumpFor(500);
  EXPECT_EQ(device.Close(), kWaveStillPlaying);
  const double dReset = notify.clock.Ms();
  EXPECT_EQ(device.Reset(), 0);
  ASSERT_TRUE(PumpUntil([&] { return notify.at.size() == 1; }, 2000));
  EXPECT_LT(notify.at[0] - dReset, 100);
  PumpFor(300);
  EXPECT_EQ(notify.at.size(), 1u);  // exactly one done
  EXPECT_EQ(device.Close(), 0);
}

// Stop, or a jump to another phrase, at any moment of a phrase and then the
// next buffer at once: every buffer gets exactly one done, and soon.
TEST_F(PulseDeviceTest, ResetAtAnyMomentThenWriteAgain) {
  CPulseWaveOutDevice device(&poster);
  std::size_t nDones = 0;
  for (int nDelayMs : {0, 1, 3, 10, 25, 60, 150, 400, 0, 2, 7, 0}) {
    ASSERT_EQ(device.Open(format, -1, &notify), 0);
    ASSERT_EQ(device.Write(voices[0].data(), static_cast<std::uint32_t>(voices[0].size())), 0);
    device.Prefetch(voices[1].data(), static_cast<std::uint32_t>(voices[1].size()));
    if (nDelayMs) PumpFor(nDelayMs);
    EXPECT_EQ(device.Reset(), 0);
    ASSERT_TRUE(PumpUntil([&] { return notify.at.size() == nDones + 1; }, 1500))
        << "no done after a reset " << nDelayMs << " ms into the buffer";
    ++nDones;
    EXPECT_EQ(device.Close(), 0);
    // The handler of that done plays the next phrase right away.
    ASSERT_EQ(device.Open(format, -1, &notify), 0);
    ASSERT_EQ(device.Write(voices[1].data(), static_cast<std::uint32_t>(voices[1].size())), 0);
    PumpFor(nDelayMs % 50);
    EXPECT_EQ(device.Reset(), 0);
    ASSERT_TRUE(PumpUntil([&] { return notify.at.size() == nDones + 1; }, 1500))
        << "no done for the buffer written after a reset, reset again " << nDelayMs % 50
        << " ms in";
    ++nDones;
    EXPECT_EQ(device.Close(), 0);
  }
  PumpFor(300);
  EXPECT_EQ(notify.at.size(), nDones);  // never a second done
}

// A device destroyed while it plays posts nothing afterwards.
TEST_F(PulseDeviceTest, DestroyedWhilePlaying) {
  {
    CPulseWaveOutDevice device(&poster);
    ASSERT_EQ(device.Open(format, -1, &notify), 0);
    ASSERT_EQ(device.Write(voices[1].data(), static_cast<std::uint32_t>(voices[1].size())), 0);
    PumpFor(200);
  }
  PumpFor(3000);
  EXPECT_TRUE(notify.at.empty());
}

}  // namespace
}  // namespace solvari
