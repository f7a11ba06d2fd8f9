// The PulseAudio device without any sound server: every open fails at once,
// nothing is ever posted, and the device goes away cleanly.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "audio/pulse/pulse_wave_device.h"

namespace solvari {
namespace {

struct CountingPoster : IEventPoster {
  int nPosted = 0;
  void Post(std::function<void()>) override { ++nPosted; }
};

TEST(NoSoundServer, PulseDeviceRefusesQuickly) {
  CountingPoster poster;
  QElapsedTimer clock;
  clock.start();
  {
    CPulseWaveOutDevice device(&poster);
    const WaveFormat format{kWaveFormatPcm, 1, 11025, 22050, 2, 16, 0};
    for (int nDevice : {-1, 0, 3}) EXPECT_EQ(device.Open(format, nDevice, nullptr), kWaveNoDriver);
    const std::uint8_t pcm[4] = {};
    EXPECT_EQ(device.Write(pcm, 4), kWaveInvalidHandle);
    WaveClock c;
    EXPECT_FALSE(device.GetClock(&c));
  }
  EXPECT_LT(clock.elapsed(), 1500);
  EXPECT_EQ(poster.nPosted, 0);
}

}  // namespace
}  // namespace solvari
