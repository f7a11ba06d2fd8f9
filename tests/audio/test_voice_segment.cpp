// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/voice_segment.h"
#include "core/exe_directory.h"
#include "tests/fakes/fake_wave_device.h"

namespace solvari {
namespace {

namespace fs = std::filesystem;

class VoiceSegmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("solvari-voice-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // A file holding the 4-byte length n and then the given bytes.
  std::string Write(const char* name, std::uint32_t n, const std::vector<std::uint8_t>& bytes) {
    const std::string path = (dir / name).string();
    std::ofstream f(path, std::ios::binary);
    const char len[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    f.write(len, 4);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }
  std::string WriteRaw(const char* name, const std::string& raw) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << raw;
    return path;
  }
  std::vector<std::uint8_t> Contents() {
    const auto* p = static_cast<const std::uint8_t*>(wave.GetDataHandle());
    return p ? std::vector<std::uint8_t>(p, p + wave.GetDataSize()) : std::vector<std::uint8_t>{};
  }

  fs::path dir;
  test::DeviceLog log;
  CMemoryProfileStore profile;
  CWaveBuffer wave{std::make_unique<test::CFakeWaveOut>(&log), nullptr, &profile};
};

TEST_F(VoiceSegmentTest, PathIsBesideTheExecutable) {
  const std::string old = GetExeDirectory();
  SetExeDirectory("/opt/solvari/bin");
  EXPECT_EQ(GetVoiceSegmentPath(7), "/opt/solvari/bin/V07.SGM");
  EXPECT_EQ(GetVoiceSegmentPath(0), "/opt/solvari/bin/V00.SGM");
  EXPECT_EQ(GetVoiceSegmentPath(53), "/opt/solvari/bin/V53.SGM");
  EXPECT_EQ(GetVoiceSegmentPath(123), "/opt/solvari/bin/V123.SGM");
  SetExeDirectory(old);
}

TEST_F(VoiceSegmentTest, LoadsExactlyTheSoundBytes) {
  const std::vector<std::uint8_t> pcm = {1, 2, 3, 4, 5, 6};
  std::vector<std::uint8_t> longer = pcm;
  longer.insert(longer.end(), {9, 9, 9});
  for (const std::string& path : {Write("exact.sgm", 6, pcm), Write("extra.sgm", 6, longer)}) {
    ASSERT_EQ(LoadVoiceSegment(wave, path), 1) << path;
    EXPECT_EQ(wave.GetDataSize(), 6u);
    EXPECT_EQ(Contents(), pcm);
    EXPECT_EQ(wave.GetCapacity(), 6u);
    const WaveFormat& f = *wave.m_pFormat;
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.nSamplesPerSec, 11025u);
    EXPECT_EQ(f.nAvgBytesPerSec, 22050u);
    EXPECT_EQ(f.nBlockAlign, 2);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(wave.GetLockCount(), 0);
  }
}

TEST_F(VoiceSegmentTest, EmptySoundLoads) {
  ASSERT_EQ(LoadVoiceSegment(wave, Write("empty.sgm", 0, {})), 1);
  EXPECT_EQ(wave.GetDataSize(), 0u);
  EXPECT_EQ(wave.IsReady(), 1);
}

TEST_F(VoiceSegmentTest, ShortFilesFailWithoutTouchingTheBuffer) {
  ASSERT_EQ(LoadVoiceSegment(wave, Write("good.sgm", 4, {7, 7, 7, 7})), 1);
  const void* pBlock = wave.GetDataHandle();
  for (const std::string& raw :
       {std::string(), std::string("\x01"), std::string("\x01\x00\x00", 3)}) {
    EXPECT_EQ(LoadVoiceSegment(wave, WriteRaw("short.sgm", raw)), 0) << raw.size();
    EXPECT_EQ(wave.GetDataHandle(), pBlock);
    EXPECT_EQ(wave.GetDataSize(), 4u);
  }
  EXPECT_EQ(LoadVoiceSegment(wave, (dir / "missing.sgm").string()), 0);
  EXPECT_EQ(LoadVoiceSegment(wave, dir.string()), 0);  // a folder
  EXPECT_EQ(wave.GetDataSize(), 4u);
}

TEST_F(VoiceSegmentTest, LyingLengthsFail) {
  struct Case {
    const char* name;
    std::uint32_t n;
    std::size_t have;
  };
  for (const Case& c :
       {Case{"one short", 10, 9}, Case{"half", 1000, 500}, Case{"2^31-1", 0x7FFFFFFF, 16},
        Case{"2^31", 0x80000000u, 16}, Case{"4G", 0xFFFFFFFFu, 16}}) {
    ASSERT_EQ(LoadVoiceSegment(wave, Write("good.sgm", 2, {1, 2})), 1);
    EXPECT_EQ(LoadVoiceSegment(wave, Write("lie.sgm", c.n, std::vector<std::uint8_t>(c.have, 5))),
              0)
        << c.name;
    EXPECT_EQ(wave.GetDataSize(), 0u) << c.name;
    EXPECT_EQ(wave.IsReady() && wave.GetCapacity() >= c.n, false) << c.name;
    EXPECT_EQ(wave.m_pFormat->nSamplesPerSec, 11025u);
    EXPECT_EQ(wave.GetLockCount(), 0);
  }
}

TEST_F(VoiceSegmentTest, AllocationFailureFails) {
  wave.SetAllocator([](std::size_t) -> std::uint8_t* { return nullptr; });
  EXPECT_EQ(LoadVoiceSegment(wave, Write("a.sgm", 2, {1, 2})), 0);
  EXPECT_EQ(wave.IsReady(), 0);
}

TEST_F(VoiceSegmentTest, LoadingTwiceReplacesTheBlock) {
  const std::string path = Write("twice.sgm", 4, {1, 2, 3, 4});
  ASSERT_EQ(LoadVoiceSegment(wave, path), 1);
  const auto first = Contents();
  ASSERT_EQ(LoadVoiceSegment(wave, path), 1);
  EXPECT_EQ(Contents(), first);
  EXPECT_EQ(wave.GetCapacity(), 4u);
}

TEST_F(VoiceSegmentTest, FileIsClosedOnEveryPath) {
  // Many loads of every kind must not run out of file handles.
  const std::string good = Write("g.sgm", 2, {1, 2});
  const std::string bad = Write("b.sgm", 9, {1, 2});
  const std::string tiny = WriteRaw("t.sgm", "ab");
  for (int i = 0; i < 3000; ++i) {
    LoadVoiceSegment(wave, good);
    LoadVoiceSegment(wave, bad);
    LoadVoiceSegment(wave, tiny);
  }
  EXPECT_EQ(LoadVoiceSegment(wave, good), 1);
}

TEST_F(VoiceSegmentTest, WriteVoiceSegmentRoundTrip) {
  const std::vector<std::uint8_t> pcm = {10, 20, 30, 40};
  const std::string path = (dir / "w.sgm").string();
  ASSERT_TRUE(WriteVoiceSegment(path, pcm.data(), 4));
  EXPECT_EQ(fs::file_size(path), 8u);
  ASSERT_EQ(LoadVoiceSegment(wave, path), 1);
  EXPECT_EQ(Contents(), pcm);
  EXPECT_FALSE(WriteVoiceSegment((dir / "no" / "such.sgm").string(), pcm.data(), 4));
}

}  // namespace
}  // namespace solvari
