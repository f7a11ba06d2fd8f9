// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <new>

#include "audio/wave_buffer.h"
#include "tests/fakes/fake_wave_device.h"

namespace solvari {
namespace {

using test::CFakeWaveIn;
using test::CFakeWaveOut;
using test::DeliverDone;
using test::DeviceLog;
using test::FinishPlaying;
using test::InputLog;

struct CountingNotify : IWaveNotify {
  int nDone = 0;
  void OnWomDone() override { ++nDone; }
};

struct MessageLog : IWaveMessageSink {
  std::vector<std::string> texts;
  void ShowMessage(const std::string& text) override { texts.push_back(text); }
};

class WaveBufferTest : public ::testing::Test {
 protected:
  WaveBufferTest()
      : wave(std::make_unique<CFakeWaveOut>(&out), std::make_unique<CFakeWaveIn>(&in), &profile,
             &messages) {}
  // A block of n bytes holding 0, 1, 2, ...
  void Fill(std::uint32_t n) {
    ASSERT_NE(wave.AllocData(n), nullptr);
    std::uint8_t* p = wave.LockData();
    for (std::uint32_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(i);
    wave.UnlockData();
    wave.m_dwDataSize = n;
  }
  DeviceLog out;
  InputLog in;
  CMemoryProfileStore profile;
  MessageLog messages;
  CountingNotify notify;
  CWaveBuffer wave;
};

TEST_F(WaveBufferTest, FormatArithmetic) {
  struct Case {
    std::uint32_t rate, bits, channels, avg;
    std::uint16_t align;
  };
  for (const Case& c : {Case{11025, 16, 1, 22050, 2}, Case{44100, 16, 2, 176400, 4},
                        Case{8000, 8, 1, 8000, 1}, Case{48000, 24, 2, 288000, 6},
                        Case{0x20000000, 16, 1, 0, 2}}) {  // the product wraps in 32 bits
    ASSERT_EQ(wave.OpenOutput(&notify, c.rate, c.bits, c.channels), 0);
    EXPECT_EQ(out.format.wFormatTag, 1);
    EXPECT_EQ(out.format.nSamplesPerSec, c.rate);
    EXPECT_EQ(out.format.nAvgBytesPerSec, c.avg) << c.rate;
    EXPECT_EQ(out.format.nBlockAlign, c.align);
    EXPECT_EQ(out.format.wBitsPerSample, c.bits);
    EXPECT_EQ(out.format.nChannels, c.channels);
    EXPECT_EQ(out.format.cbSize, 0);
    EXPECT_EQ(wave.GetBitsPerSample(), static_cast<int>(c.bits));
    EXPECT_EQ(wave.GetChannels(), static_cast<int>(c.channels));
    wave.CloseOutput();
  }
}

TEST_F(WaveBufferTest, SampleCount) {
  Fill(1000);
  wave.OpenOutput(&notify, 11025, 16, 1);
  EXPECT_EQ(wave.GetSampleCount(), 500u);
  wave.OpenOutput(&notify, 44100, 16, 2);
  EXPECT_EQ(wave.GetSampleCount(), 250u);
  wave.OpenOutput(&notify, 8000, 24, 1);
  EXPECT_EQ(wave.GetSampleCount(), 333u);
  wave.OpenOutput(&notify, 8000, 4, 1);  // no whole byte per sample
  EXPECT_EQ(wave.GetSampleCount(), 0u);
  wave.OpenOutput(&notify, 8000, 16, 0);
  EXPECT_EQ(wave.GetSampleCount(), 0u);
}

TEST_F(WaveBufferTest, DeviceNumberFromProfile) {
  wave.OpenOutput(&notify, 11025, 16, 1);
  EXPECT_EQ(out.nDevice, -1);
  wave.CloseOutput();
  profile.WriteProfileInt("WAV Config", "WavOutDevice", 3);
  profile.WriteProfileInt("WAV Config", "WavInDevice", 5);
  wave.OpenOutput(&notify, 11025, 16, 1);
  EXPECT_EQ(out.nDevice, 3);
  EXPECT_EQ(wave.OpenInput(&notify, 11025, 16, 1), 0);
  EXPECT_EQ(in.nDevice, 5);
}

TEST_F(WaveBufferTest, OpenFailureCodeIsPassedThrough) {
  for (int code : {2, 6, 32}) {
    out.nOpenResult = code;
    EXPECT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), code);
    EXPECT_FALSE(wave.IsOutputOpen());
  }
  CWaveBuffer noDevice(nullptr, nullptr, nullptr);
  EXPECT_EQ(noDevice.OpenOutput(&notify, 11025, 16, 1), kWaveNoDriver);
  EXPECT_EQ(noDevice.OpenInput(&notify, 11025, 16, 1), kWaveNoDriver);
}

TEST_F(WaveBufferTest, PlayOperationsAddressAndLength) {
  Fill(1000);
  struct Case {
    const char* name;
    int (*play)(CWaveBuffer&);
    std::uint32_t offset, length;
  };
  const Case cases[] = {
      {"all", [](CWaveBuffer& w) { return w.PlayAll(); }, 0, 1000},
      {"first", [](CWaveBuffer& w) { return w.PlayFirst(300); }, 0, 300},
      {"from", [](CWaveBuffer& w) { return w.PlayFrom(100, 50); }, 100, 50},
      {"range", [](CWaveBuffer& w) { return w.PlayRange(200, 700); }, 200, 500},
      {"to end", [](CWaveBuffer& w) { return w.PlayFrom(600, 400); }, 600, 400},
  };
  const auto* pBlock = static_cast<const std::uint8_t*>(wave.GetDataHandle());
  for (const Case& c : cases) {
    ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
    EXPECT_EQ(c.play(wave), 1) << c.name;
    EXPECT_EQ(out.pData, pBlock + c.offset) << c.name;
    EXPECT_EQ(out.nBytes, c.length) << c.name;
    EXPECT_EQ(wave.GetLockCount(), 1) << c.name;
    FinishPlaying(out);
    EXPECT_EQ(DeliverDone(out), 1);
    wave.CloseOutput();
    EXPECT_EQ(wave.GetLockCount(), 0) << c.name;
  }
}

TEST_F(WaveBufferTest, PlayOutsideTheBlockIsRefused) {
  Fill(100);
  ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  out.calls.clear();
  EXPECT_EQ(wave.PlayFrom(90, 11), 0);
  EXPECT_EQ(wave.PlayFrom(0xFFFFFFF0u, 0x20), 0);  // offset + length wraps
  EXPECT_EQ(wave.PlayFirst(101), 0);
  EXPECT_EQ(wave.PlayRange(50, 40), 0);
  wave.m_dwDataSize = 200;  // a lying size
  EXPECT_EQ(wave.PlayAll(), 0);
  EXPECT_TRUE(out.calls.empty());
  EXPECT_EQ(wave.GetLockCount(), 1);  // the play lock is taken even on failure
  wave.CloseOutput();
  EXPECT_EQ(wave.GetLockCount(), 0);
}

TEST_F(WaveBufferTest, FailedWriteKeepsLockUntilClose) {
  Fill(100);
  ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  out.nWriteResult = kWaveNoMemory;
  EXPECT_EQ(wave.PlayAll(), 0);
  EXPECT_EQ(wave.GetLockCount(), 1);
  wave.CloseOutput();
  EXPECT_EQ(wave.GetLockCount(), 0);
  EXPECT_EQ(DeliverDone(out), 0);  // nothing was queued, nothing comes back
}

TEST_F(WaveBufferTest, PlayWithoutOpenDeviceOrBlock) {
  EXPECT_EQ(wave.PlayAll(), 0);  // no block
  Fill(10);
  EXPECT_EQ(wave.PlayAll(), 0);  // device closed
  EXPECT_EQ(wave.GetLockCount(), 1);
  wave.CloseOutput();
  EXPECT_EQ(wave.GetLockCount(), 0);
}

TEST_F(WaveBufferTest, ResetGivesExactlyOneDone) {
  Fill(100);
  ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  ASSERT_EQ(wave.PlayAll(), 1);
  EXPECT_EQ(wave.ResetOutput(), 0);
  EXPECT_EQ(wave.ResetOutput(), 0);
  FinishPlaying(out);          // too late: the buffer is already back
  EXPECT_EQ(notify.nDone, 0);  // posted, not called
  DeliverDone(out);
  EXPECT_EQ(notify.nDone, 1);
  wave.CloseOutput();
  EXPECT_EQ(notify.nDone, 1);
}

TEST_F(WaveBufferTest, SecondPlayWhileQueuedIsRefused) {
  Fill(100);
  ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  ASSERT_EQ(wave.PlayAll(), 1);
  EXPECT_EQ(wave.PlayAll(), 0);
  EXPECT_EQ(wave.GetLockCount(), 1);
  FinishPlaying(out);
  EXPECT_EQ(DeliverDone(out), 1);
  wave.CloseOutput();
  EXPECT_EQ(wave.GetLockCount(), 0);
}

TEST_F(WaveBufferTest, CloseWhilePlayingStopsFirst) {
  Fill(100);
  ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  ASSERT_EQ(wave.PlayAll(), 1);
  out.calls.clear();
  wave.CloseOutput();
  EXPECT_EQ(out.calls, (std::vector<std::string>{"close", "reset", "close"}));
  EXPECT_FALSE(out.bOpen);
  EXPECT_EQ(DeliverDone(out), 1);
  wave.CloseOutput();  // closing twice does nothing more
  EXPECT_EQ(out.calls.size(), 3u);
}

TEST_F(WaveBufferTest, FailedCloseIsRetriedOnceAfterReset) {
  ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  out.nCloseResult = kWaveError;
  out.calls.clear();
  wave.CloseOutput();
  EXPECT_EQ(out.calls, (std::vector<std::string>{"close", "reset", "close"}));
  EXPECT_FALSE(wave.IsOutputOpen());
}

TEST_F(WaveBufferTest, BlockIsNotReplacedWhileTheDeviceMayReadIt) {
  Fill(100);
  ASSERT_EQ(wave.OpenOutput(&notify, 11025, 16, 1), 0);
  ASSERT_EQ(wave.PlayAll(), 1);
  out.calls.clear();
  ASSERT_NE(wave.AllocData(50), nullptr);
  // The device was stopped and closed before the old block went away.
  EXPECT_EQ(out.calls, (std::vector<std::string>{"close", "reset", "close"}));
  EXPECT_FALSE(out.bQueued);
  EXPECT_FALSE(wave.IsOutputOpen());
  EXPECT_EQ(wave.GetLockCount(), 0);
  EXPECT_EQ(DeliverDone(out), 1);
}

TEST_F(WaveBufferTest, DestructionStopsThePlayingDevice) {
  DeviceLog log;
  {
    CWaveBuffer w(std::make_unique<CFakeWaveOut>(&log), nullptr, nullptr);
    w.AllocData(10);
    w.m_dwDataSize = 10;
    ASSERT_EQ(w.OpenOutput(&notify, 11025, 16, 1), 0);
    ASSERT_EQ(w.PlayAll(), 1);
  }
  EXPECT_EQ(log.calls,
            (std::vector<std::string>{"open", "write", "close", "reset", "close", "destroyed"}));
}

TEST_F(WaveBufferTest, AllocAndFree) {
  EXPECT_EQ(wave.IsReady(), 0);
  EXPECT_EQ(wave.LockData(), nullptr);
  ASSERT_NE(wave.AllocData(0), nullptr);  // an empty block still counts as held
  EXPECT_EQ(wave.IsReady(), 1);
  Fill(64);
  EXPECT_EQ(wave.GetDataSize(), 64u);
  wave.AllocData(32);
  EXPECT_EQ(wave.GetDataSize(), 0u);
  EXPECT_EQ(wave.GetCapacity(), 32u);
  wave.LockData();
  wave.LockData();
  EXPECT_EQ(wave.GetLockCount(), 2);
  wave.UnlockData();
  EXPECT_EQ(wave.GetLockCount(), 1);
  wave.FreeData();
  EXPECT_EQ(wave.GetDataHandle(), nullptr);
  EXPECT_EQ(wave.IsReady(), 0);
  wave.UnlockData();  // nothing held: nothing happens
  EXPECT_EQ(wave.GetLockCount(), 0);
}

TEST_F(WaveBufferTest, AllocationFailure) {
  Fill(16);
  wave.SetAllocator([](std::size_t) -> std::uint8_t* { return nullptr; });
  EXPECT_EQ(wave.AllocData(100), nullptr);
  EXPECT_EQ(wave.GetDataHandle(), nullptr);
  EXPECT_EQ(wave.IsReady(), 0);
  EXPECT_EQ(wave.GetDataSize(), 0u);
  wave.SetAllocator(nullptr);
  EXPECT_NE(wave.AllocData(100), nullptr);
}

TEST_F(WaveBufferTest, ReadAndWriteData) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 10; ++i) std::fputc('a' + i, f);
  std::rewind(f);
  wave.AllocData(8);
  EXPECT_EQ(wave.ReadData(f, 6), 1);
  EXPECT_EQ(wave.GetDataSize(), 6u);
  EXPECT_EQ(wave.HasData(), 1);
  EXPECT_EQ(wave.ReadData(f, 6), 0);  // only 4 left: a short read changes nothing
  EXPECT_EQ(wave.GetDataSize(), 6u);
  EXPECT_EQ(wave.ReadData(f, 9), 0);  // more than the block holds
  EXPECT_EQ(wave.ReadData(f, -1), 0);
  EXPECT_EQ(wave.ReadData(f, 0), 1);
  EXPECT_EQ(wave.GetDataSize(), 0u);
  EXPECT_EQ(wave.GetLockCount(), 0);

  std::rewind(f);
  wave.ReadData(f, 8);
  std::FILE* g = std::tmpfile();
  EXPECT_EQ(wave.WriteData(g), 1);
  std::rewind(g);
  char text[9] = {};
  EXPECT_EQ(std::fread(text, 1, 9, g), 8u);
  EXPECT_STREQ(text, "abcdefgh");
  wave.m_dwDataSize = 9;  // more than the block
  EXPECT_EQ(wave.WriteData(g), 0);
  std::fclose(f);
  std::fclose(g);
}

TEST_F(WaveBufferTest, RecordingResults) {
  wave.AllocData(22050);
  ASSERT_EQ(wave.OpenInput(&notify, 11025, 16, 1), 0);
  EXPECT_EQ(wave.StartRecording(1.0, 11025, 16, 1), 0);
  EXPECT_EQ(in.nBytes, 22050u);
  EXPECT_EQ(in.pData, wave.GetDataHandle());
  EXPECT_EQ(wave.HasData(), 1);
  EXPECT_EQ(wave.GetLockCount(), 1);
  in.nPosition = 777;
  EXPECT_EQ(wave.StopRecording(), 0);
  EXPECT_EQ(wave.m_dwRecorded, 777u);
  wave.CloseInput();
  EXPECT_EQ(wave.GetLockCount(), 0);

  struct Case {
    int prepare, add, start, result;
    const char* message;
  };
  for (const Case& c :
       {Case{5, 0, 0, 1, "pecified device handle is invalid."},
        Case{6, 0, 0, 1, "No device driver is present."},
        Case{7, 0, 0, 1, "Unable to allocate or lock memory."}, Case{11, 0, 0, 1, nullptr},
        Case{0, 1, 0, 2, nullptr}, Case{0, 0, 1, 3, nullptr}}) {
    in = InputLog{};
    in.nPrepareResult = c.prepare;
    in.nAddResult = c.add;
    in.nStartResult = c.start;
    messages.texts.clear();
    ASSERT_EQ(wave.OpenInput(&notify, 11025, 16, 1), 0);
    EXPECT_EQ(wave.StartRecording(0.5, 11025, 16, 1), c.result);
    EXPECT_EQ(in.nBytes, 11025u);
    EXPECT_EQ(wave.GetLockCount(), 0);
    EXPECT_EQ(messages.texts.size(), c.message ? 1u : 0u);
    if (c.message && !messages.texts.empty()) {
      EXPECT_EQ(messages.texts[0], c.message);
    }
    wave.CloseInput();
  }
  // Longer than the block: refused before the device sees it.
  ASSERT_EQ(wave.OpenInput(&notify, 11025, 16, 1), 0);
  in.calls.clear();
  EXPECT_EQ(wave.StartRecording(2.0, 11025, 16, 1), 1);
  EXPECT_TRUE(in.calls.empty());
  in.nPositionResult = 1;
  wave.StopRecording();
  EXPECT_EQ(wave.m_dwRecorded, 0u);
}

}  // namespace
}  // namespace solvari

namespace solvari {
namespace {

TEST_F(WaveBufferTest, TheRecordedSamplesBecomePlayableData) {
  wave.AllocData(22050);
  EXPECT_EQ(wave.GetInputPosition(), 0u);  // no input open
  ASSERT_EQ(wave.OpenInput(&notify, 11025, 16, 1), 0);
  ASSERT_EQ(wave.StartRecording(1.0, 11025, 16, 1), 0);
  in.nPosition = 300;
  EXPECT_EQ(wave.GetInputPosition(), 300u);
  in.nPosition = 4000;
  wave.StopRecording();
  wave.CloseInput();
  EXPECT_EQ(wave.GetDataSize(), 0u);  // a recording alone leaves the size as it was
  wave.UseRecordedData();
  EXPECT_EQ(wave.GetDataSize(), 8000u);
  EXPECT_EQ(wave.GetSampleCount(), 4000u);
  // A position beyond the block (a device that miscounts) stays within it.
  wave.m_dwRecorded = 0xFFFFFFFFu;
  wave.UseRecordedData();
  EXPECT_EQ(wave.GetDataSize(), 22050u);
  EXPECT_EQ(wave.GetLockCount(), 0);
}

}  // namespace
}  // namespace solvari
