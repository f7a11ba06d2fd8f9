// SPDX-License-Identifier: GPL-3.0-or-later
// Without any sound server: every open fails at once with a non-zero code,
// nothing is ever posted, and the devices go away cleanly.
#include <gtest/gtest.h>

#include <memory>

#include "audio/pulse/pulse_wave_device.h"
#include "audio/pulse/pulse_wave_in_device.h"
#include "audio/wave_buffer.h"
#include "pulse_support.h"

namespace solvari {
namespace {

struct CountingPoster : IEventPoster {
  int nPosted = 0;
  void Post(std::function<void()>) override { ++nPosted; }
};

struct Notify : IWaveNotify {
  int nDone = 0;
  void OnWomDone() override { ++nDone; }
};

TEST(NoSoundServer, OpeningFailsCleanly) {
  CMemoryProfileStore profile;
  CountingPoster poster;
  Notify notify;
  {
    CWaveBuffer wave(std::make_unique<CPulseWaveOutDevice>(&poster),
                     std::make_unique<CPulseWaveInDevice>(&poster), &profile);
    wave.AllocData(2205);
    wave.m_dwDataSize = 2205;
    for (int nDevice : {-1, 0, 3}) {
      profile.WriteProfileInt("WAV Config", "WavOutDevice", nDevice);
      EXPECT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), kWaveNoDriver) << nDevice;
      EXPECT_EQ(wave.PlayAll(), 0);
      wave.CloseOutput();
      EXPECT_EQ(wave.GetLockCount(), 0);
    }
    // No input device either: the code that the recording window turns into
    // "No device driver is present.".
    for (int nDevice : {-1, 0}) {
      profile.WriteProfileInt("WAV Config", "WavInDevice", nDevice);
      EXPECT_EQ(wave.OpenInput(&notify, 11025, 16, 1), kWaveNoDriver) << nDevice;
    }
    EXPECT_STREQ(CWaveBuffer::ResultText(kWaveNoDriver), "No device driver is present.");
    EXPECT_EQ(wave.StartRecording(1.0, 11025, 16, 1), 1);
    EXPECT_EQ(wave.GetInputPosition(), 0u);
    EXPECT_EQ(wave.GetLockCount(), 0);
  }
  EXPECT_EQ(poster.nPosted, 0);
  EXPECT_EQ(notify.nDone, 0);
}

TEST(NoSoundServer, DevicesAloneRefuseQuicklyAndPostNothing) {
  CountingPoster poster;
  test::CStopwatch clock;
  {
    CPulseWaveOutDevice out(&poster);
    CPulseWaveInDevice in(&poster);
    const WaveFormat format{kWaveFormatPcm, 1, 11025, 22050, 2, 16, 0};
    for (int nDevice : {-1, 0, 3}) {
      EXPECT_EQ(out.Open(format, nDevice, nullptr), kWaveNoDriver);
      EXPECT_EQ(in.Open(format, nDevice, nullptr), kWaveNoDriver);
    }
    // Even when asked to work without a successful open.
    std::uint8_t pcm[4] = {};
    EXPECT_EQ(out.Write(pcm, 4), kWaveInvalidHandle);
    EXPECT_NE(out.Reset(), 0);
    EXPECT_NE(out.Close(), 0);
    WaveClock c;
    EXPECT_FALSE(out.GetClock(&c));
    EXPECT_EQ(in.Prepare(pcm, 4), kWaveInvalidHandle);
    EXPECT_EQ(in.AddBuffer(), kWaveInvalidHandle);
    EXPECT_EQ(in.Start(), kWaveInvalidHandle);
    std::uint32_t n = 0;
    EXPECT_EQ(in.GetPosition(&n), kWaveInvalidHandle);
    EXPECT_NE(in.Reset(), 0);
    EXPECT_NE(in.Close(), 0);
  }
  // A refused server is told at once, not after a wait per open.
  EXPECT_LT(clock.Ms(), 1500);
  EXPECT_EQ(poster.nPosted, 0);
}

}  // namespace
}  // namespace solvari
