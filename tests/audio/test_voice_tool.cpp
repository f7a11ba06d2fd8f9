// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "audio/tool/voice_tool.h"
#include "audio/voice_segment.h"
#include "core/sutra_tables.h"
#include "wav_bytes.h"

namespace solvari {
namespace {

namespace fs = std::filesystem;
using test::Chunk;
using test::FormatBody;
using test::Put16;
using test::Put32;
using test::Riff;

// A .wav file of a sine (or of given raw data) in the given format.
std::string MakeWav(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits,
                    double seconds, double hz = 440.0, const std::string* pRaw = nullptr,
                    std::int64_t dataSizeOverride = -1) {
  std::string data;
  if (pRaw) {
    data = *pRaw;
  } else {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    for (std::size_t i = 0; i < frames; ++i) {
      const double v = 0.5 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
      for (unsigned c = 0; c < channels; ++c) {
        switch (bits) {
          case 8:
            data += char(static_cast<int>(std::lround(v * 127)) + 128);
            break;
          case 16:
            Put16(data, static_cast<std::uint16_t>(std::lround(v * 32767)));
            break;
          case 24: {
            const auto s = static_cast<std::uint32_t>(std::lround(v * 8388607));
            data += char(s & 0xFF);
            data += char((s >> 8) & 0xFF);
            data += char((s >> 16) & 0xFF);
            break;
          }
          default:
            Put32(data, static_cast<std::uint32_t>(std::llround(v * 2147483647.0)));
        }
      }
    }
  }
  // A chunk of odd length to skip before the format.
  return Riff(Chunk("LIST", "abc") + Chunk("fmt ", FormatBody(tag, channels, rate, bits)) +
              Chunk("data", data, dataSizeOverride));
}

class VoiceToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          (std::string("solvari-voice-tool-") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Save(const std::string& name, const std::string& bytes) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::vector<std::int16_t> LoadSamples(const std::string& path) {
    CWaveBuffer wave(nullptr, nullptr, nullptr);
    if (!LoadVoiceSegment(wave, path)) return {};
    const auto* p = static_cast<const std::int16_t*>(wave.GetDataHandle());
    return std::vector<std::int16_t>(p, p + wave.GetDataSize() / 2);
  }
  fs::path dir;
};

int ZeroCrossings(const std::vector<std::int16_t>& s) {
  int n = 0;
  for (std::size_t i = 1; i < s.size(); ++i) n += (s[i - 1] < 0) != (s[i] < 0);
  return n;
}

TEST_F(VoiceToolTest, ConvertsEveryPcmKind) {
  struct Case {
    unsigned channels;
    std::uint32_t rate;
    unsigned bits;
  };
  for (const Case& c : {Case{1, 11025, 16}, Case{2, 44100, 16}, Case{1, 48000, 24},
                        Case{2, 8000, 8}, Case{1, 22050, 32}, Case{2, 96000, 24}}) {
    const std::string name =
        std::to_string(c.channels) + "-" + std::to_string(c.rate) + "-" + std::to_string(c.bits);
    const std::string wav = Save(name + ".wav", MakeWav(1, c.channels, c.rate, c.bits, 1.0));
    const std::string sgm = (dir / (name + ".SGM")).string();
    std::ostringstream out;
    ASSERT_TRUE(ConvertRecording(wav, sgm, false, out)) << out.str();
    const auto s = LoadSamples(sgm);
    EXPECT_NEAR(static_cast<double>(s.size()), 11025, 2) << name;  // one second
    EXPECT_NEAR(ZeroCrossings(s), 880, 6) << name;                 // still 440 Hz
    int peak = 0;
    for (auto v : s) peak = std::max(peak, std::abs(int{v}));
    EXPECT_NEAR(peak, 16384, 800) << name;  // same level
  }
}

TEST_F(VoiceToolTest, SameFormatIsCopiedExactly) {
  std::string raw;
  for (int i = 0; i < 100; ++i) Put16(raw, static_cast<std::uint16_t>(i * 300 - 15000));
  const std::string wav = Save("x.wav", MakeWav(1, 1, 11025, 16, 0, 0, &raw));
  std::ostringstream out;
  ASSERT_TRUE(ConvertRecording(wav, (dir / "x.SGM").string(), false, out));
  std::ifstream f(dir / "x.SGM", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(f)), {});
  ASSERT_EQ(bytes.size(), 204u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xC8\0\0\0", 4));
  EXPECT_EQ(bytes.substr(4), raw);
}

TEST_F(VoiceToolTest, BadRecordingsAreExplained) {
  const std::string one = std::string("\x01\x02", 2);
  struct Case {
    const char* name;
    std::string bytes;
    const char* expect;
  };
  const Case cases[] = {
      {"empty", "", "too short"},
      {"text", "hello, this is not a sound file", "not a .wav"},
      {"float", MakeWav(3, 1, 11025, 32, 0.1), "floating-point"},
      {"compressed", MakeWav(2, 1, 11025, 16, 0.1), "compressed"},
      {"12bit", MakeWav(1, 1, 11025, 12, 0, 0, &one), "12-bit"},
      {"truncated", MakeWav(1, 1, 11025, 16, 0.1, 440, nullptr, 100000), "truncated"},
      {"no sound", MakeWav(1, 1, 11025, 16, 0), "empty"},
      {"rate", MakeWav(1, 1, 5, 16, 0, 0, &one), "not plausible"},
      {"no data", MakeWav(1, 1, 11025, 16, 0.1).substr(0, 48), "no \"data\""},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    EXPECT_FALSE(ConvertRecording(Save("bad.wav", c.bytes), (dir / "bad.SGM").string(), false, out))
        << c.name;
    EXPECT_NE(out.str().find(c.expect), std::string::npos) << c.name << ": " << out.str();
    EXPECT_FALSE(fs::exists(dir / "bad.SGM")) << c.name;
  }
  std::ostringstream out;
  EXPECT_FALSE(ConvertRecording((dir / "none.wav").string(), (dir / "n.SGM").string(), false, out));
  EXPECT_NE(out.str().find("no such file"), std::string::npos);
}

TEST_F(VoiceToolTest, NeverOverwritesWithoutForce) {
  const std::string wav = Save("a.wav", MakeWav(1, 1, 11025, 16, 0.2));
  const std::string sgm = Save("a.SGM", "precious");
  std::ostringstream out;
  EXPECT_FALSE(ConvertRecording(wav, sgm, false, out));
  EXPECT_NE(out.str().find("--force"), std::string::npos);
  EXPECT_EQ(fs::file_size(sgm), 8u);
  EXPECT_TRUE(ConvertRecording(wav, sgm, true, out));
  EXPECT_EQ(fs::file_size(sgm), 4u + 2 * 2205);
}

TEST_F(VoiceToolTest, CheckFindsMissingDamagedAndShortSegments) {
  for (int p = 0; p < kPhraseCount; ++p) {
    const std::uint32_t n = static_cast<std::uint32_t>(GetPhraseDuration(p) + 200) * 22050 / 1000;
    char name[16];
    std::snprintf(name, sizeof name, "V%02d.SGM", p);
    std::vector<std::uint8_t> pcm(n, 0);
    ASSERT_TRUE(WriteVoiceSegment((dir / name).string(), pcm.data(), n));
  }
  std::ostringstream ok;
  EXPECT_EQ(CheckSegments(dir.string(), ok), 0) << ok.str();
  EXPECT_NE(ok.str().find("all 54 segments ok"), std::string::npos);

  fs::remove(dir / "V07.SGM");
  fs::resize_file(dir / "V08.SGM", 100);  // shorter than its length says
  std::vector<std::uint8_t> shortPcm(1000, 0);
  WriteVoiceSegment((dir / "V09.SGM").string(), shortPcm.data(), 1000);
  std::vector<std::uint8_t> longPcm(22050 * 4, 0);
  WriteVoiceSegment((dir / "V10.SGM").string(), longPcm.data(), 22050 * 4);
  std::ostringstream out;
  EXPECT_EQ(CheckSegments(dir.string(), out), 3) << out.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("V07.SGM  missing"), std::string::npos) << text;
  EXPECT_NE(text.find("V08.SGM  cannot be loaded"), std::string::npos) << text;
  EXPECT_NE(text.find("V09.SGM  0.05 s for 1.20 s of highlight: TOO SHORT"), std::string::npos)
      << text;
  EXPECT_NE(text.find("V10.SGM  4.00 s for 1.20 s of highlight: long"), std::string::npos) << text;
  std::ostringstream none;
  EXPECT_GT(CheckSegments((dir / "nowhere").string(), none), 0);
}

TEST_F(VoiceToolTest, ShippedVoiceIsComplete) {
  std::ostringstream out;
  EXPECT_EQ(CheckSegments((fs::path(SOLVARI_SOURCE_DIR) / "data").string(), out), 0) << out.str();
}

}  // namespace
}  // namespace solvari
