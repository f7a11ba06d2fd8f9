// Without any sound server, opening fails at once with a non-zero code.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>

#include "audio/qt/qt_wave_device.h"
#include "audio/wave_buffer.h"

namespace solvari {
namespace {

struct Notify : IWaveNotify {
  int nDone = 0;
  void OnWomDone() override { ++nDone; }
};

TEST(NoSoundServer, OpeningFailsCleanly) {
  CMemoryProfileStore profile;
  Notify notify;
  CWaveBuffer wave(std::make_unique<CQtWaveOutDevice>(), std::make_unique<CQtWaveInDevice>(),
                   &profile);
  wave.AllocData(2205);
  wave.m_dwDataSize = 2205;
  for (int nDevice : {-1, 0, 3}) {
    profile.WriteProfileInt("WAV Config", "WavOutDevice", nDevice);
    EXPECT_NE(wave.OpenOutput(&notify, 11025, 16, 1), 0) << nDevice;
    EXPECT_EQ(wave.PlayAll(), 0);
    wave.CloseOutput();
    EXPECT_EQ(wave.GetLockCount(), 0);
  }
  // No input device either: the code that the recording window turns into
  // "No device driver is present.".
  profile.WriteProfileInt("WAV Config", "WavInDevice", -1);
  EXPECT_EQ(wave.OpenInput(&notify, 11025, 16, 1), kWaveNoDriver);
  EXPECT_STREQ(CWaveBuffer::ResultText(kWaveNoDriver), "No device driver is present.");
  EXPECT_EQ(wave.GetInputPosition(), 0u);
  QCoreApplication::processEvents();
  EXPECT_EQ(notify.nDone, 0);
}

TEST(NoSoundServer, DeviceAloneFailsAtWriteToo) {
  // Even when asked to play without a successful open.
  CQtWaveOutDevice dev;
  const std::uint8_t pcm[4] = {};
  EXPECT_NE(dev.Write(pcm, 4), 0);
  EXPECT_NE(dev.Reset(), 0);
  EXPECT_NE(dev.Close(), 0);
}

}  // namespace
}  // namespace solvari
