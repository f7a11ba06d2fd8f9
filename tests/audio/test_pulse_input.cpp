// SPDX-License-Identifier: GPL-3.0-or-later
// The PulseAudio input device against a private server (tools/with-pulse.sh):
// it records what the null sink plays, through the sink's monitor, into the
// one buffer it was handed, and returns that buffer exactly once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "audio/pulse/pulse_wave_device.h"
#include "audio/pulse/pulse_wave_in_device.h"
#include "pulse_support.h"

namespace solvari {
namespace {

using test::PumpFor;
using test::PumpUntil;

struct Returns : IWaveNotify {
  int nDone = 0, nData = 0;
  void OnWomDone() override { ++nDone; }
  void OnWimData() override { ++nData; }
};

class PulseInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::CapturePath().empty()) GTEST_SKIP() << "run through tools/with-pulse.sh";
  }
  // Plays a tone into the null sink, which the default source hears.
  void PlayTone(int nMs) {
    tone = test::MakeTone(nMs);
    ASSERT_EQ(out.Open(format, -1, &notify), 0);
    ASSERT_EQ(out.Write(tone.data(), static_cast<std::uint32_t>(tone.size())), 0);
  }
  std::vector<std::int16_t> Samples(std::uint32_t nSamples) const {
    std::vector<std::int16_t> v(nSamples);
    for (std::uint32_t i = 0; i < nSamples; ++i)
      v[i] = static_cast<std::int16_t>(buffer[2 * i] | buffer[2 * i + 1] << 8);
    return v;
  }
  const WaveFormat format{kWaveFormatPcm, 1, 11025, 22050, 2, 16, 0};
  Returns notify;
  CPulseWaveOutDevice out{&test::Poster()};
  CPulseWaveInDevice in{&test::Poster()};
  std::vector<std::uint8_t> tone;
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(22050 * 2, 0x55);
};

// A full buffer is returned once, holding what the sink played.
TEST_F(PulseInputTest, FullBufferHoldsWhatWasHeardAndIsReturnedOnce) {
  ASSERT_EQ(in.Open(format, -1, &notify), 0);
  EXPECT_EQ(in.Open(format, -1, &notify), kWaveAllocated);
  ASSERT_EQ(in.Prepare(buffer.data(), 11025 * 2 * 3 / 2), 0);  // 1.5 s
  ASSERT_EQ(in.AddBuffer(), 0);
  ASSERT_EQ(in.Start(), 0);
  EXPECT_EQ(in.Close(), kWaveStillPlaying);
  PumpFor(200);
  PlayTone(800);
  ASSERT_TRUE(PumpUntil([&] { return notify.nData > 0; }, 5000));
  std::uint32_t nSamples = 0;
  ASSERT_EQ(in.GetPosition(&nSamples), 0);
  EXPECT_EQ(nSamples, 11025u * 3 / 2);
  EXPECT_EQ(buffer[11025 * 3], 0x55) << "written past the buffer handed over";
  const auto spans = test::SoundSpans(Samples(nSamples), 2000, 200);
  ASSERT_EQ(spans.size(), 1u);
  // The tone as the sink played it: 800 ms, give or take the resampling.
  EXPECT_NEAR((spans[0].last - spans[0].first) * 1000.0 / 11025, 800, 40);
  PumpFor(300);
  EXPECT_EQ(notify.nData, 1);
  EXPECT_EQ(in.Unprepare(), 0);
  EXPECT_EQ(in.Close(), 0);
}

// A reset ends the take where it is: the position grew while it ran and
// stays put afterwards; the buffer comes back once, and the device records
// again after a close and an open.
TEST_F(PulseInputTest, ResetReturnsOnceAndRecordingGoesOnAfterwards) {
  for (int nTake = 0; nTake < 3; ++nTake) {
    const int nBefore = notify.nData;
    ASSERT_EQ(in.Open(format, -1, &notify), 0);
    ASSERT_EQ(in.Prepare(buffer.data(), static_cast<std::uint32_t>(buffer.size())), 0);
    ASSERT_EQ(in.AddBuffer(), 0);
    ASSERT_EQ(in.Start(), 0);
    std::uint32_t nEarly = 0, nLater = 0, nAfter = 0;
    PumpFor(300);
    ASSERT_EQ(in.GetPosition(&nEarly), 0);
    PumpFor(300);
    ASSERT_EQ(in.GetPosition(&nLater), 0);
    EXPECT_GT(nLater, nEarly);
    EXPECT_EQ(in.Reset(), 0);
    EXPECT_EQ(notify.nData, nBefore);  // posted, never called from inside the reset
    ASSERT_EQ(in.GetPosition(&nAfter), 0);
    ASSERT_TRUE(PumpUntil([&] { return notify.nData == nBefore + 1; }, 1000));
    PumpFor(200);
    EXPECT_EQ(notify.nData, nBefore + 1);
    std::uint32_t nStill = 0;
    ASSERT_EQ(in.GetPosition(&nStill), 0);
    EXPECT_EQ(nStill, nAfter);
    // About the 600 ms that ran, on a loaded machine too.
    EXPECT_GT(nAfter, 11025u / 4);
    EXPECT_LT(nAfter, 11025u * 2);
    EXPECT_EQ(in.Unprepare(), 0);
    EXPECT_EQ(in.Close(), 0);
  }
}

TEST_F(PulseInputTest, DeviceNumbersAndFormats) {
  // A source of its own beside the sink's monitor (which is not an input).
  ASSERT_EQ(std::system("pactl load-module module-remap-source master=nullsink.monitor "
                        "source_name=testmic >/dev/null"),
            0);
  ASSERT_EQ(in.Open(format, 0, &notify), 0);
  EXPECT_EQ(in.Close(), 0);
  EXPECT_EQ(in.Open(format, 99, &notify), kWaveBadDeviceId);
  EXPECT_EQ(in.Open(format, -2, &notify), kWaveBadDeviceId);
  WaveFormat odd = format;
  odd.wBitsPerSample = 12;
  EXPECT_EQ(in.Open(odd, -1, &notify), kWaveBadFormat);
  std::system("pactl unload-module module-remap-source >/dev/null 2>&1");
}

// Gone in the middle of a take: nothing more is posted, nothing written.
TEST_F(PulseInputTest, DestroyedWhileRecording) {
  {
    CPulseWaveInDevice device(&test::Poster());
    ASSERT_EQ(device.Open(format, -1, &notify), 0);
    ASSERT_EQ(device.Prepare(buffer.data(), static_cast<std::uint32_t>(buffer.size())), 0);
    ASSERT_EQ(device.AddBuffer(), 0);
    ASSERT_EQ(device.Start(), 0);
    PumpFor(200);
  }
  const std::vector<std::uint8_t> after = buffer;
  PumpFor(300);
  EXPECT_EQ(notify.nData, 0);
  EXPECT_EQ(buffer, after);
}

}  // namespace
}  // namespace solvari
