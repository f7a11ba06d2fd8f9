// SPDX-License-Identifier: GPL-3.0-or-later
// The onsets file kept beside one's own take: written when a take is kept,
// read back while it belongs to the take and the shipped phrase, and never
// trusted when it is truncated, edited or another file's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/take_onsets.h"
#include "audio/tool/voice_tool.h"
#include "audio/voice_segment.h"
#include "core/sutra_tables.h"

namespace solvari {
namespace {

namespace fs = std::filesystem;

std::string ShippedPath(int nPhrase) {
  char name[32];
  std::snprintf(name, sizeof name, "/data/V%02d.SGM", nPhrase);
  return std::string(SOLVARI_SOURCE_DIR) + name;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

OnsetsRecord SampleRecord() {
  OnsetsRecord r;
  r.nPhrase = 7;
  r.nTakeBytes = 44100;
  r.nTakeCrc = 0x1a2b3c4d;
  r.nShippedBytes = 30000;
  r.nShippedCrc = 0xdeadbeef;
  r.onsets.onsetsMs = {50, 400, 720, 1100};
  r.onsets.dCostRatio = 0.412;
  return r;
}

class TakeOnsetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          (std::string("solvari-take-onsets-") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  // A take of phrase p: the shipped phrase behind some silence.
  std::string MakeTake(int p, const std::string& name, int nSilenceMs = 300) {
    std::vector<std::uint8_t> pcm;
    EXPECT_TRUE(ReadVoiceSegmentFile(ShippedPath(p), &pcm));
    pcm.insert(pcm.begin(), static_cast<std::size_t>(nSilenceMs) * 22050 / 1000 / 2 * 2, 0);
    const std::string path = (dir / name).string();
    EXPECT_TRUE(WriteVoiceSegment(path, pcm.data(), static_cast<std::uint32_t>(pcm.size())));
    return path;
  }
  fs::path dir;
};

TEST(OnsetsFile, RoundTripsEveryField) {
  OnsetsRecord r = SampleRecord();
  OnsetsRecord back;
  ASSERT_TRUE(ParseOnsetsFile(FormatOnsetsFile(r), &back));
  EXPECT_EQ(back.nPhrase, 7);
  EXPECT_EQ(back.nTakeBytes, 44100u);
  EXPECT_EQ(back.nTakeCrc, 0x1a2b3c4du);
  EXPECT_EQ(back.nShippedBytes, 30000u);
  EXPECT_EQ(back.nShippedCrc, 0xdeadbeefu);
  EXPECT_EQ(back.onsets.onsetsMs, r.onsets.onsetsMs);
  EXPECT_FALSE(back.onsets.bFellBack);
  EXPECT_NEAR(back.onsets.dCostRatio, 0.412, 1e-9);

  r.onsets.bFellBack = true;
  r.onsets.failure = AlignFailure::kPoorMatch;
  ASSERT_TRUE(ParseOnsetsFile(FormatOnsetsFile(r), &back));
  EXPECT_TRUE(back.onsets.bFellBack);
  EXPECT_EQ(back.onsets.failure, AlignFailure::kPoorMatch);
}

TEST(OnsetsFile, EveryTruncationAndEveryChangedByteIsNotValid) {
  const std::string text = FormatOnsetsFile(SampleRecord());
  OnsetsRecord r;
  for (std::size_t n = 0; n < text.size(); ++n)
    EXPECT_FALSE(ParseOnsetsFile(text.substr(0, n), &r)) << "cut at " << n;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string changed = text;
    changed[i] = changed[i] == '1' ? '2' : '1';
    EXPECT_FALSE(ParseOnsetsFile(changed, &r)) << "byte " << i;
  }
  EXPECT_FALSE(ParseOnsetsFile(text + "\n", &r));
  EXPECT_FALSE(ParseOnsetsFile(text + text, &r));
}

// Files that carry a right check line over wrong contents: a checksum is no
// licence for onsets that would light a character backwards or outside.
TEST(OnsetsFile, ContentsAreCheckedBesidesTheChecksum) {
  auto parses = [](OnsetsRecord r) {
    OnsetsRecord back;
    return ParseOnsetsFile(FormatOnsetsFile(r), &back);
  };
  OnsetsRecord r = SampleRecord();
  r.onsets.onsetsMs = {50, 400, 400, 1100};
  EXPECT_FALSE(parses(r)) << "not increasing";
  r.onsets.onsetsMs = {50, 400, 300, 1100};
  EXPECT_FALSE(parses(r)) << "going back";
  r.onsets.onsetsMs = {-5, 400, 720, 1100};
  EXPECT_FALSE(parses(r)) << "before the take";
  r.onsets.onsetsMs = {50, 400, 720};
  EXPECT_FALSE(parses(r)) << "one character short";
  r.onsets.onsetsMs = {50, 400, 720, 1100, 1500};
  EXPECT_FALSE(parses(r)) << "one character too many";
  r.onsets.onsetsMs = {50, 400, 720, 900000};
  EXPECT_FALSE(parses(r)) << "past the take";
  r = SampleRecord();
  r.nPhrase = 54;
  EXPECT_FALSE(parses(r)) << "no such phrase";
}

TEST(OnsetsFile, ForeignAndOversizedFilesAreNotValid) {
  OnsetsRecord r;
  EXPECT_FALSE(ParseOnsetsFile("", &r));
  EXPECT_FALSE(ParseOnsetsFile(std::string(5000, 'x'), &r));
  EXPECT_FALSE(ParseOnsetsFile(std::string("\0\1\2\3check 00000000\n", 20), &r));
  std::string other = FormatOnsetsFile(SampleRecord());
  other.replace(0, 16, "solvari-onsets 2");  // another version, checksum redone below
  const std::size_t nCheck = other.rfind("check ");
  const std::uint32_t nCrc = Crc32(reinterpret_cast<const std::uint8_t*>(other.data()), nCheck);
  char line[32];
  std::snprintf(line, sizeof line, "check %08x\n", nCrc);
  other = other.substr(0, nCheck) + line;
  EXPECT_FALSE(ParseOnsetsFile(other, &r));
}

TEST(OnsetsFile, Crc32IsTheUsualOne) {
  const std::string s = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()), 0xCBF43926u);
  EXPECT_EQ(OnsetsPathFor("/a/b/V07.SGM"), "/a/b/V07.onsets");
}

TEST_F(TakeOnsetsTest, KeepingATakeStoresItsOnsetsAndTheRecitationReadsThem) {
  const std::string take = MakeTake(12, "V12.SGM");
  TakeOnsets stored;
  ASSERT_TRUE(StoreTakeOnsets(take, 12, ShippedPath(12), &stored));
  ASSERT_FALSE(stored.bFellBack);
  ASSERT_TRUE(fs::exists(dir / "V12.onsets"));
  // The character onsets of the shipped phrase, 300 ms later.
  const int kTable[] = {0, 300, 700, 1100, 1500};
  for (int c = 0; c < 5; ++c) EXPECT_NEAR(stored.onsetsMs[c], kTable[c] + 300, 20) << c;

  // Read back from the file: onsets planted in it (with a right checksum)
  // are what the recitation gets, so nothing was aligned again.
  OnsetsRecord record;
  ASSERT_TRUE(ReadOnsetsFile((dir / "V12.onsets").string(), &record));
  record.onsets.onsetsMs = {11, 22, 33, 44, 55};
  ASSERT_TRUE(WriteOnsetsFile((dir / "V12.onsets").string(), record));
  std::vector<int> onsets;
  bool bFellBack = true;
  ASSERT_TRUE(LoadOrAlignOnsets(take, 12, ShippedPath(12), &onsets, &bFellBack));
  EXPECT_EQ(onsets, (std::vector<int>{11, 22, 33, 44, 55}));
  EXPECT_FALSE(bFellBack);
}

TEST_F(TakeOnsetsTest, ATakeChangedAfterwardsIsAlignedAgain) {
  const std::string take = MakeTake(12, "V12.SGM");
  ASSERT_TRUE(StoreTakeOnsets(take, 12, ShippedPath(12)));
  const std::string before = ReadAll((dir / "V12.onsets").string());
  // Recorded again, 500 ms of silence in front instead of 300.
  MakeTake(12, "V12.SGM", 500);
  std::vector<int> onsets;
  bool bFellBack = true;
  ASSERT_TRUE(LoadOrAlignOnsets(take, 12, ShippedPath(12), &onsets, &bFellBack));
  EXPECT_FALSE(bFellBack);
  EXPECT_NEAR(onsets[0], 500, 20);
  EXPECT_NE(ReadAll((dir / "V12.onsets").string()), before) << "stored anew";

  // The same length, one sample changed: the checksum notices.
  std::string bytes = ReadAll(take);
  bytes[bytes.size() / 2] ^= 0x10;
  WriteAll(take, bytes);
  OnsetsRecord record;
  ASSERT_TRUE(ReadOnsetsFile((dir / "V12.onsets").string(), &record));
  record.onsets.onsetsMs = {11, 22, 33, 44, 55};
  const std::uint32_t nOldCrc = record.nTakeCrc;
  ASSERT_TRUE(WriteOnsetsFile((dir / "V12.onsets").string(), record));
  ASSERT_TRUE(LoadOrAlignOnsets(take, 12, ShippedPath(12), &onsets, &bFellBack));
  EXPECT_NE(onsets[0], 11);
  ASSERT_TRUE(ReadOnsetsFile((dir / "V12.onsets").string(), &record));
  EXPECT_NE(record.nTakeCrc, nOldCrc);
}

TEST_F(TakeOnsetsTest, TruncatedLyingAndForeignOnsetsFilesAreNotTrusted) {
  const std::string take7 = MakeTake(7, "V07.SGM");
  const std::string take8 = MakeTake(8, "V08.SGM");
  ASSERT_TRUE(StoreTakeOnsets(take7, 7, ShippedPath(7)));
  ASSERT_TRUE(StoreTakeOnsets(take8, 8, ShippedPath(8)));
  std::vector<int> right;
  bool bFellBack = true;
  ASSERT_TRUE(LoadOrAlignOnsets(take8, 8, ShippedPath(8), &right, &bFellBack));
  const std::string path8 = (dir / "V08.onsets").string();
  const std::string good = ReadAll(path8);

  auto expectRealigned = [&](const std::string& what) {
    std::vector<int> onsets;
    bool bFell = true;
    ASSERT_TRUE(LoadOrAlignOnsets(take8, 8, ShippedPath(8), &onsets, &bFell)) << what;
    EXPECT_EQ(onsets, right) << what;
    EXPECT_FALSE(bFell) << what;
    EXPECT_EQ(ReadAll(path8), good) << what << ": written anew";
  };
  WriteAll(path8, good.substr(0, good.size() / 2));
  expectRealigned("truncated");
  // Lying about the take's length, with a right checksum of its own.
  OnsetsRecord lying;
  ASSERT_TRUE(ParseOnsetsFile(good, &lying));
  lying.nTakeBytes += 2;
  lying.onsets.onsetsMs = {1, 2, 3, 4};
  ASSERT_TRUE(WriteOnsetsFile(path8, lying));
  expectRealigned("lying length");
  // Another take's file (phrase 7) under this take's name.
  fs::copy_file(dir / "V07.onsets", path8, fs::copy_options::overwrite_existing);
  expectRealigned("another take's");
  WriteAll(path8, std::string(100000, '\xff'));
  expectRealigned("garbage");
  fs::remove(path8);
  expectRealigned("missing");
}

TEST_F(TakeOnsetsTest, ANewShippedVoiceIsNoticed) {
  const std::string take = MakeTake(12, "V12.SGM");
  ASSERT_TRUE(StoreTakeOnsets(take, 12, ShippedPath(12)));
  OnsetsRecord before;
  ASSERT_TRUE(ReadOnsetsFile((dir / "V12.onsets").string(), &before));
  // The shipped phrase missing: the take is followed by the scaling, said so.
  std::vector<int> onsets;
  bool bFellBack = false;
  ASSERT_TRUE(LoadOrAlignOnsets(take, 12, (dir / "none.SGM").string(), &onsets, &bFellBack));
  EXPECT_TRUE(bFellBack);
  OnsetsRecord after;
  ASSERT_TRUE(ReadOnsetsFile((dir / "V12.onsets").string(), &after));
  EXPECT_EQ(after.nShippedBytes, 0u);
  EXPECT_EQ(after.onsets.failure, AlignFailure::kNoReference);
  // The shipped phrase back, and then made anew: aligned again each time.
  ASSERT_TRUE(LoadOrAlignOnsets(take, 12, ShippedPath(12), &onsets, &bFellBack));
  EXPECT_FALSE(bFellBack);
  ASSERT_TRUE(ReadOnsetsFile((dir / "V12.onsets").string(), &after));
  EXPECT_EQ(after.nShippedCrc, before.nShippedCrc);
  std::string shipped = ReadAll(ShippedPath(12));
  shipped[shipped.size() - 3] ^= 0x01;
  WriteAll((dir / "new.SGM").string(), shipped);
  ASSERT_TRUE(LoadOrAlignOnsets(take, 12, (dir / "new.SGM").string(), &onsets, &bFellBack));
  ASSERT_TRUE(ReadOnsetsFile((dir / "V12.onsets").string(), &after));
  EXPECT_NE(after.nShippedCrc, before.nShippedCrc);
}

TEST_F(TakeOnsetsTest, AMissingOrDamagedTakeGivesNoOnsets) {
  std::vector<int> onsets = {1};
  bool bFellBack = false;
  EXPECT_FALSE(
      LoadOrAlignOnsets((dir / "V03.SGM").string(), 3, ShippedPath(3), &onsets, &bFellBack));
  // A length field that promises more than the file holds.
  WriteAll((dir / "V03.SGM").string(), std::string{'\xff', '\xff', 0, 0, 'a', 'b', 'c', 'd'});
  EXPECT_FALSE(
      LoadOrAlignOnsets((dir / "V03.SGM").string(), 3, ShippedPath(3), &onsets, &bFellBack));
  EXPECT_FALSE(StoreTakeOnsets((dir / "V03.SGM").string(), 3, ShippedPath(3)));
  EXPECT_FALSE(fs::exists(dir / "V03.onsets"));
  const std::string take = MakeTake(3, "V03.SGM");
  EXPECT_FALSE(LoadOrAlignOnsets(take, 54, ShippedPath(3), &onsets, &bFellBack));
}

TEST_F(TakeOnsetsTest, ATwentyMinuteFileIsKeptAsTheScaling) {
  std::vector<std::uint8_t> pcm(static_cast<std::size_t>(22050) * 60 * 20);
  for (std::size_t i = 0; i + 1 < pcm.size(); i += 2)
    pcm[i + 1] = static_cast<std::uint8_t>(i / 64);
  const std::string take = (dir / "V38.SGM").string();
  ASSERT_TRUE(WriteVoiceSegment(take, pcm.data(), static_cast<std::uint32_t>(pcm.size())));
  std::vector<int> onsets;
  bool bFellBack = false;
  ASSERT_TRUE(LoadOrAlignOnsets(take, 38, ShippedPath(38), &onsets, &bFellBack));
  EXPECT_TRUE(bFellBack);
  ASSERT_EQ(onsets.size(), 10u);
  for (std::size_t c = 1; c < onsets.size(); ++c) EXPECT_GT(onsets[c], onsets[c - 1]);
  OnsetsRecord record;
  ASSERT_TRUE(ReadOnsetsFile((dir / "V38.onsets").string(), &record));
  EXPECT_EQ(record.onsets.failure, AlignFailure::kTooLong);
}

TEST_F(TakeOnsetsTest, SilenceWithAClickIsKeptAsTheScaling) {
  std::vector<std::uint8_t> pcm(22050, 0);
  pcm[11025] = 0x30;
  pcm[11026] = 0x75;
  const std::string take = (dir / "V05.SGM").string();
  ASSERT_TRUE(WriteVoiceSegment(take, pcm.data(), static_cast<std::uint32_t>(pcm.size())));
  std::vector<int> onsets;
  bool bFellBack = false;
  ASSERT_TRUE(LoadOrAlignOnsets(take, 5, ShippedPath(5), &onsets, &bFellBack));
  EXPECT_TRUE(bFellBack);
  ASSERT_EQ(onsets.size(), 4u);
  for (std::size_t c = 1; c < onsets.size(); ++c) EXPECT_GT(onsets[c], onsets[c - 1]);
  OnsetsRecord record;
  ASSERT_TRUE(ReadOnsetsFile((dir / "V05.onsets").string(), &record));
  EXPECT_EQ(record.onsets.failure, AlignFailure::kNoVoice);
}

TEST_F(TakeOnsetsTest, TheToolPrintsOnsetsAndConvertStoresThem) {
  EXPECT_EQ(PhraseOfSegmentName("/x/V07.SGM"), 7);
  EXPECT_EQ(PhraseOfSegmentName("v53.sgm"), 53);
  EXPECT_EQ(PhraseOfSegmentName("V54.SGM"), -1);
  EXPECT_EQ(PhraseOfSegmentName("x.SGM"), -1);
  EXPECT_EQ(PhraseOfSegmentName("V7.SGM"), -1);

  const std::string shippedFolder = std::string(SOLVARI_SOURCE_DIR) + "/data";
  const std::string take = MakeTake(38, "V38.SGM", 200);
  std::ostringstream out, err;
  ASSERT_EQ(PrintOnsets(take, 38, shippedFolder, out, err), 0) << err.str();
  std::istringstream lines(out.str());
  std::vector<int> printed;
  for (int v; lines >> v;) printed.push_back(v);
  ASSERT_EQ(printed.size(), 10u);
  for (int c = 0; c < 10; ++c) EXPECT_NEAR(printed[c], 200 + 300 * c, 20) << c;
  EXPECT_TRUE(err.str().empty()) << err.str();

  std::ostringstream out2, err2;
  EXPECT_EQ(PrintOnsets((dir / "none.SGM").string(), 38, shippedFolder, out2, err2), 1);
  EXPECT_NE(err2.str().find("not a voice file"), std::string::npos);
  EXPECT_EQ(PrintOnsets(take, 54, shippedFolder, out2, err2), 1);
  std::ostringstream out3, err3;
  ASSERT_EQ(PrintOnsets(take, 2, shippedFolder, out3, err3), 0);
  EXPECT_NE(err3.str().find("even scaling"), std::string::npos) << err3.str();

  // convert: a segment named for its phrase gets its onsets beside it.
  std::vector<std::uint8_t> pcm;
  ASSERT_TRUE(ReadVoiceSegmentFile(take, &pcm));
  std::string wav = "RIFF....WAVEfmt ";
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) wav += static_cast<char>(v >> (8 * i));
  };
  put32(16);
  wav += std::string{1, 0, 1, 0};  // PCM, one channel
  put32(11025);
  put32(22050);
  wav += std::string{2, 0, 16, 0};  // two bytes a frame, 16 bits
  wav += "data";
  put32(static_cast<std::uint32_t>(pcm.size()));
  wav.append(pcm.begin(), pcm.end());
  const std::uint32_t nRiff = static_cast<std::uint32_t>(wav.size() - 8);
  for (int i = 0; i < 4; ++i) wav[4 + i] = static_cast<char>(nRiff >> (8 * i));
  WriteAll((dir / "take.wav").string(), wav);
  std::ostringstream log;
  fs::create_directories(dir / "out");
  ASSERT_TRUE(ConvertRecording((dir / "take.wav").string(), (dir / "out" / "V38.SGM").string(),
                               false, log, shippedFolder))
      << log.str();
  EXPECT_NE(log.str().find("aligned"), std::string::npos) << log.str();
  OnsetsRecord record;
  ASSERT_TRUE(ReadOnsetsFile((dir / "out" / "V38.onsets").string(), &record));
  EXPECT_EQ(record.nPhrase, 38);
  EXPECT_NEAR(record.onsets.onsetsMs[3], 200 + 900, 20);
  ASSERT_TRUE(ConvertRecording((dir / "take.wav").string(), (dir / "out" / "mine.SGM").string(),
                               false, log, shippedFolder));
  EXPECT_FALSE(fs::exists(dir / "out" / "mine.onsets"));
}

}  // namespace
}  // namespace solvari
