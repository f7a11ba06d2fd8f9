// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/wav_file.h"
#include "wav_bytes.h"

namespace solvari {
namespace {

using test::Chunk;
using test::FormatBody;
using test::Put16;
using test::Put32;
using test::Riff;

struct Parsed {
  bool ok = false;
  WavFile wav;
  std::string error;
};

// Parses from a buffer of exactly the file's size, so that a read past its
// end shows under the address sanitizer.
Parsed Parse(const std::string& bytes) {
  const std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  Parsed r;
  r.ok = ParseWav(copy.data(), copy.size(), &r.wav, &r.error);
  return r;
}

const std::string kSound = "\x10\x20\x30\x40\x50\x60";

TEST(WavFile, ReadsTheFormatAndTheSoundPastOtherChunks) {
  const std::string file =
      Riff(Chunk("LIST", "odd") + Chunk("fmt ", FormatBody(1, 2, 22050, 8)) +
           Chunk("fact", std::string(4, '\0')) + Chunk("data", kSound) + Chunk("id3 ", "tail"));
  const Parsed r = Parse(file);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.wav.nFormatTag, kWavFormatPcm);
  EXPECT_EQ(r.wav.nChannels, 2);
  EXPECT_EQ(r.wav.nSamplesPerSec, 22050u);
  EXPECT_EQ(r.wav.nBlockAlign, 2);
  EXPECT_EQ(r.wav.nBitsPerSample, 8);
  EXPECT_EQ(std::string(r.wav.data.begin(), r.wav.data.end()), kSound);
  EXPECT_EQ(r.wav.nDataDeclared, kSound.size());
  EXPECT_FALSE(r.wav.IsTruncated());

  // A "fmt " chunk longer than 16 bytes (with its extra size field) is read
  // the same way.
  const Parsed longer = Parse(Riff(
      Chunk("fmt ", FormatBody(1, 1, 8000, 16) + std::string(2, '\0')) + Chunk("data", kSound)));
  ASSERT_TRUE(longer.ok) << longer.error;
  EXPECT_EQ(longer.wav.nSamplesPerSec, 8000u);
  EXPECT_EQ(longer.wav.data.size(), kSound.size());
}

TEST(WavFile, EveryCutThroughTheHeaderIsRefused) {
  const std::string file = Riff(Chunk("LIST", "odd") + Chunk("fmt ", FormatBody(1, 1, 11025, 16)) +
                                Chunk("data", kSound));
  const std::size_t nSoundAt = file.size() - kSound.size();
  for (std::size_t n = 0; n < nSoundAt; ++n) {
    const Parsed r = Parse(file.substr(0, n));
    EXPECT_FALSE(r.ok) << "cut at " << n;
    EXPECT_FALSE(r.error.empty()) << "cut at " << n;
  }
  EXPECT_NE(Parse("").error.find("too short"), std::string::npos);
  EXPECT_NE(Parse(file.substr(0, 11)).error.find("too short"), std::string::npos);
  // In the body of "LIST", in the header of "fmt " and in its body.
  EXPECT_NE(Parse(file.substr(0, 22)).error.find("damaged chunk \"LIST\""), std::string::npos);
  EXPECT_NE(Parse(file.substr(0, 26)).error.find("no \"data\""), std::string::npos);
  EXPECT_NE(Parse(file.substr(0, 40)).error.find("\"fmt \""), std::string::npos);
  // Cut inside the sound: what there is, and the file says it is cut.
  const Parsed cut = Parse(file.substr(0, nSoundAt + 3));
  ASSERT_TRUE(cut.ok) << cut.error;
  EXPECT_EQ(cut.wav.data.size(), 3u);
  EXPECT_TRUE(cut.wav.IsTruncated());
}

TEST(WavFile, LyingLengthsAreNeverFollowedOutOfTheFile) {
  const std::string fmt = Chunk("fmt ", FormatBody(1, 1, 11025, 16));
  // The sound claims more than the file holds, up to the largest length.
  for (const std::int64_t claimed :
       {std::int64_t{7}, std::int64_t{100000}, std::int64_t{0xFFFFFFFF}}) {
    const Parsed r = Parse(Riff(fmt + Chunk("data", kSound, claimed)));
    ASSERT_TRUE(r.ok) << claimed << ": " << r.error;
    EXPECT_EQ(r.wav.data.size(), kSound.size());
    EXPECT_EQ(r.wav.nDataDeclared, claimed);
    EXPECT_TRUE(r.wav.IsTruncated());
  }
  // The sound claims less: only that much is the sound.
  const Parsed shorter = Parse(Riff(fmt + Chunk("data", kSound, 4)));
  ASSERT_TRUE(shorter.ok);
  EXPECT_EQ(shorter.wav.data.size(), 4u);
  EXPECT_FALSE(shorter.wav.IsTruncated());
  // A chunk before the sound that claims more than the file holds.
  for (const std::int64_t claimed : {std::int64_t{100}, std::int64_t{0xFFFFFFFF}}) {
    const Parsed r = Parse(Riff(fmt + Chunk("LIST", "abcd", claimed) + Chunk("data", kSound)));
    EXPECT_FALSE(r.ok) << claimed;
    EXPECT_NE(r.error.find("damaged chunk \"LIST\""), std::string::npos) << r.error;
  }
  // A "fmt " chunk that claims more than the file holds, or too little.
  EXPECT_NE(
      Parse(Riff(Chunk("fmt ", FormatBody(1, 1, 11025, 16), 0xFFFFFFFF))).error.find("\"fmt \""),
      std::string::npos);
  EXPECT_NE(Parse(Riff(Chunk("fmt ", "short") + Chunk("data", kSound))).error.find("\"fmt \""),
            std::string::npos);
}

TEST(WavFile, OddFormatsAreReportedForTheCallerToJudge) {
  // Floating point, compressed and 24-bit: read as they are.
  const Parsed flt =
      Parse(Riff(Chunk("fmt ", FormatBody(3, 1, 48000, 32)) + Chunk("data", kSound)));
  ASSERT_TRUE(flt.ok);
  EXPECT_EQ(flt.wav.nFormatTag, kWavFormatFloat);
  const Parsed adpcm =
      Parse(Riff(Chunk("fmt ", FormatBody(2, 1, 11025, 4)) + Chunk("data", kSound)));
  ASSERT_TRUE(adpcm.ok);
  EXPECT_EQ(adpcm.wav.nFormatTag, 2);
  const Parsed deep =
      Parse(Riff(Chunk("fmt ", FormatBody(1, 2, 96000, 24)) + Chunk("data", kSound)));
  ASSERT_TRUE(deep.ok);
  EXPECT_EQ(deep.wav.nBitsPerSample, 24);
  EXPECT_EQ(deep.wav.nBlockAlign, 6);

  // The extensible format stands for its sub-format.
  auto extensible = [](unsigned sub, std::size_t nExtra) {
    std::string body = FormatBody(0xFFFE, 2, 44100, 16);
    std::string ext;
    Put16(ext, 22);   // size of what follows
    Put16(ext, 16);   // valid bits
    Put32(ext, 3);    // channel mask
    Put16(ext, sub);  // the sub-format's GUID begins with the format tag
    ext += std::string(14, '\x01');
    return Riff(Chunk("fmt ", body + ext.substr(0, nExtra)) + Chunk("data", kSound));
  };
  const Parsed pcm = Parse(extensible(1, 24));
  ASSERT_TRUE(pcm.ok) << pcm.error;
  EXPECT_EQ(pcm.wav.nFormatTag, kWavFormatPcm);
  EXPECT_EQ(Parse(extensible(3, 24)).wav.nFormatTag, kWavFormatFloat);
  const Parsed shortExt = Parse(extensible(1, 2));  // says extensible, has no sub-format
  EXPECT_FALSE(shortExt.ok);
  EXPECT_NE(shortExt.error.find("\"fmt \""), std::string::npos);
}

TEST(WavFile, StructureFaults) {
  const std::string fmt = Chunk("fmt ", FormatBody(1, 1, 11025, 16));
  EXPECT_NE(Parse("hello, this is not a sound file").error.find("not a .wav"), std::string::npos);
  EXPECT_NE(Parse(std::string("RIFF\4\0\0\0AVI LIST", 16)).error.find("not a .wav"),
            std::string::npos);
  EXPECT_NE(Parse(Riff(Chunk("data", kSound) + fmt)).error.find("before its format"),
            std::string::npos);
  EXPECT_NE(Parse(Riff(fmt)).error.find("no \"data\""), std::string::npos);
  // An empty sound is a sound of no bytes; the caller refuses it.
  const Parsed empty = Parse(Riff(fmt + Chunk("data", "")));
  ASSERT_TRUE(empty.ok);
  EXPECT_TRUE(empty.wav.data.empty());
}

TEST(WavFile, FromAFile) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "solvari-wav-file-test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "a.wav").string();
  std::ofstream(path, std::ios::binary)
      << Riff(Chunk("fmt ", FormatBody(1, 1, 11025, 16)) + Chunk("data", kSound));
  WavFile wav;
  std::string error;
  ASSERT_TRUE(ReadWavFile(path, &wav, &error)) << error;
  EXPECT_EQ(wav.data.size(), kSound.size());

  EXPECT_FALSE(ReadWavFile((dir / "none.wav").string(), &wav, &error));
  EXPECT_EQ(error, (dir / "none.wav").string() + ": no such file");
  EXPECT_FALSE(ReadWavFile(dir.string(), &wav, &error));
  EXPECT_NE(error.find("is a folder"), std::string::npos);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "RIFF";
  EXPECT_FALSE(ReadWavFile(path, &wav, &error));
  EXPECT_EQ(error, path + ": too short to be a .wav file");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace solvari
