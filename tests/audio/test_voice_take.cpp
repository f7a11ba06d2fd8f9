// SPDX-License-Identifier: GPL-3.0-or-later
// One's own takes: finding the voice, trimming and normalising it, the pace
// of the highlight, and saving through a temporary file with its failures.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "audio/voice_segment.h"
#include "audio/voice_take.h"
#include "core/sutra_tables.h"
#include "tests/fakes/temp_dir.h"

namespace fs = std::filesystem;
using namespace solvari;

namespace {

constexpr double kRate = 11025.0;

std::size_t Ms(double dMs) { return static_cast<std::size_t>(dMs * kRate / 1000.0); }

// Low noise of the given level (standard deviation).
std::vector<std::int16_t> Noise(std::size_t n, double dLevel, unsigned nSeed = 1) {
  std::mt19937 rng(nSeed);
  std::normal_distribution<double> dist(0.0, dLevel);
  std::vector<std::int16_t> v(n);
  for (auto& s : v) s = static_cast<std::int16_t>(std::lround(dist(rng)));
  return v;
}

// Syllables: nCount bursts of a vowel-like tone, each nMs long with a short
// dip between them, at amplitude dAmp.
std::vector<std::int16_t> Syllables(int nCount, double dMs, double dAmp) {
  std::vector<std::int16_t> v;
  for (int k = 0; k < nCount; ++k) {
    const std::size_t n = Ms(dMs);
    for (std::size_t i = 0; i < n; ++i) {
      const double env = std::sin(M_PI * static_cast<double>(i) / static_cast<double>(n));
      const double t = static_cast<double>(i) / kRate;
      const double s = std::sin(2 * M_PI * 180 * t) + 0.5 * std::sin(2 * M_PI * 720 * t + k);
      v.push_back(static_cast<std::int16_t>(std::lround(dAmp * (0.2 + 0.8 * env) * s / 1.5)));
    }
  }
  return v;
}

std::vector<std::int16_t> Concat(std::initializer_list<std::vector<std::int16_t>> parts) {
  std::vector<std::int16_t> v;
  for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

std::vector<std::int16_t> Add(std::vector<std::int16_t> a, const std::vector<std::int16_t>& b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    a[i] = static_cast<std::int16_t>(std::clamp(a[i] + b[i], -32768, 32767));
  return a;
}

int Peak(const std::vector<std::int16_t>& v) {
  int n = 0;
  for (auto s : v) n = std::max(n, std::abs(static_cast<int>(s)));
  return n;
}

std::vector<std::int16_t> ReadShipped(int nPhrase) {
  std::ifstream in(std::string(SOLVARI_SOURCE_DIR) + "/data/" + OwnVoiceFileName(nPhrase),
                   std::ios::binary);
  unsigned char len[4];
  in.read(reinterpret_cast<char*>(len), 4);
  const std::uint32_t n = len[0] | len[1] << 8 | len[2] << 16 | std::uint32_t{len[3]} << 24;
  std::vector<std::int16_t> v(n / 2);
  in.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(n & ~1u));
  return v;
}

using test::TempDir;

std::size_t FileCount(const fs::path& dir) {
  std::size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

}  // namespace

TEST(VoiceTake, TrimsToFiftyMsBeforeAndTwoHundredAfterTheVoice) {
  const auto voice = Syllables(5, 300, 8000);
  const auto take =
      Concat({Noise(Ms(700), 20), Add(voice, Noise(voice.size(), 20, 2)), Noise(Ms(900), 20, 3)});
  VoicedSpan span;
  ASSERT_TRUE(FindVoicedSpan(take.data(), take.size(), &span));
  // The voice starts at 700 ms and lasts 1500 ms; frames are 10 ms.
  EXPECT_NEAR(static_cast<double>(span.nFirst), Ms(700), Ms(20));
  EXPECT_NEAR(static_cast<double>(span.nEnd), Ms(2200), Ms(20));

  const auto kept = PrepareTake(take.data(), take.size());
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.size(), span.nEnd - span.nFirst + kTakeLeadSamples + kTakeTailSamples);
  EXPECT_EQ(Peak(kept), kTakePeak);
  // The kept voice is the recorded one, louder.
  const std::size_t nFrom = span.nFirst - kTakeLeadSamples;
  const std::size_t nLen = kept.size() - 200;  // without the fades' ends
  EXPECT_GT(NormalisedCorrelation(kept.data() + 100, take.data() + nFrom + 100, nLen - 100), 0.99);
  // The lead is quiet: only the noise before the voice.
  EXPECT_LT(Peak(std::vector<std::int16_t>(kept.begin(), kept.begin() + 400)), 20 * 30 * 5);
}

TEST(VoiceTake, PadsWithSilenceWhereTheTakeHasNoLeadOrTail) {
  // The shipped voice begins at its first sample and keeps only its tail.
  const auto shipped = ReadShipped(0);
  ASSERT_GT(shipped.size(), Ms(1000));
  VoicedSpan span;
  ASSERT_TRUE(FindVoicedSpan(shipped.data(), shipped.size(), &span));
  EXPECT_EQ(span.nFirst, 0u);
  const auto kept = PrepareTake(shipped.data(), shipped.size());
  ASSERT_EQ(kept.size(), span.nEnd + kTakeLeadSamples + kTakeTailSamples);
  for (std::size_t i = 0; i < kTakeLeadSamples; ++i) ASSERT_EQ(kept[i], 0) << i;
  const std::size_t n = span.nEnd - 60;
  EXPECT_GT(NormalisedCorrelation(kept.data() + kTakeLeadSamples + 60, shipped.data() + 60, n - 60),
            0.999);

  // A take stopped in the middle of the voice gets its tail as silence.
  const auto cut = Concat({Noise(Ms(300), 10), Syllables(3, 300, 9000)});
  const auto keptCut = PrepareTake(cut.data(), cut.size());
  ASSERT_FALSE(keptCut.empty());
  for (std::size_t i = keptCut.size() - kTakeTailSamples; i < keptCut.size(); ++i)
    ASSERT_EQ(keptCut[i], 0) << i;
}

TEST(VoiceTake, NormalisesQuietAndLoudTakesAndRemovesAnOffset) {
  auto quiet = Concat({Noise(Ms(300), 5), Syllables(3, 300, 1500), Noise(Ms(300), 5)});
  for (auto& s : quiet) s = static_cast<std::int16_t>(s + 400);  // a microphone's offset
  const auto keptQuiet = PrepareTake(quiet.data(), quiet.size());
  ASSERT_FALSE(keptQuiet.empty());
  EXPECT_NEAR(Peak(keptQuiet), kTakePeak, 2);
  EXPECT_EQ(keptQuiet.front(), 0);  // the offset is gone, the fade starts at 0

  const auto loud = Concat({Noise(Ms(300), 5), Syllables(3, 300, 32000), Noise(Ms(300), 5)});
  EXPECT_NEAR(Peak(PrepareTake(loud.data(), loud.size())), kTakePeak, 2);

  // A faint but real voice is raised at most 30 times.
  const auto faint = Concat({Noise(Ms(300), 2), Syllables(3, 300, 200), Noise(Ms(300), 2)});
  const auto keptFaint = PrepareTake(faint.data(), faint.size());
  ASSERT_FALSE(keptFaint.empty());
  EXPECT_LE(Peak(keptFaint), 200 * 30 + 30);
}

TEST(VoiceTake, RefusesSilenceNoiseAndClicks) {
  const std::vector<std::int16_t> zeros(Ms(2000), 0);
  EXPECT_TRUE(PrepareTake(zeros.data(), zeros.size()).empty());
  const auto hiss = Noise(Ms(2000), 60);  // an open microphone in a quiet room
  EXPECT_TRUE(PrepareTake(hiss.data(), hiss.size()).empty());
  const auto loudHiss = Noise(Ms(2000), 3000);  // steady noise, however loud, is no voice
  EXPECT_TRUE(PrepareTake(loudHiss.data(), loudHiss.size()).empty());
  auto click = zeros;
  for (std::size_t i = 1000; i < 1000 + Ms(30); ++i) click[i] = 20000;
  EXPECT_TRUE(PrepareTake(click.data(), click.size()).empty());
  EXPECT_TRUE(PrepareTake(nullptr, 0).empty());
  const std::int16_t one = 30000;
  EXPECT_TRUE(PrepareTake(&one, 1).empty());
}

TEST(VoiceTake, PaceFactorIsTheVoicedLengthOverTheTable) {
  const std::size_t nPad = kTakeLeadSamples + kTakeTailSamples;
  // Phrase 0 lasts 1500 ms in the table.
  ASSERT_EQ(GetPhraseDuration(0), 1500);
  EXPECT_NEAR(TakePaceFactor(nPad + Ms(3000), 1500), 2.0, 0.001);
  EXPECT_NEAR(TakePaceFactor(nPad + Ms(1500), 1500), 1.0, 0.001);
  EXPECT_NEAR(TakePaceFactor(nPad + Ms(750), 1500), 0.5, 0.001);
  EXPECT_DOUBLE_EQ(TakePaceFactor(nPad + Ms(60000), 1500), 4.0);
  EXPECT_DOUBLE_EQ(TakePaceFactor(10, 1500), 0.25);
  EXPECT_DOUBLE_EQ(TakePaceFactor(nPad + Ms(3000), 0), 1.0);
  // The shipped voice, prepared as a take, keeps the table's pace.
  for (int p : {0, 1, 30, 53}) {
    const auto shipped = ReadShipped(p);
    const auto kept = PrepareTake(shipped.data(), shipped.size());
    EXPECT_NEAR(TakePaceFactor(kept.size(), GetPhraseDuration(p)), 1.0, 0.12) << p;
  }
}

TEST(VoiceTakeSave, WritesASegmentThatLoadsAndReplacesTheOldOne) {
  TempDir dir;
  const fs::path folder = dir.Path() / "share" / "voice";  // created on the way
  const auto first = Syllables(2, 300, 9000);
  ASSERT_EQ(SaveVoiceTake(folder.string(), 7, first), SaveTakeResult::kSaved);
  ASSERT_TRUE(fs::exists(folder / "V07.SGM"));
  EXPECT_EQ(fs::file_size(folder / "V07.SGM"), 4 + 2 * first.size());
  const auto second = Syllables(3, 300, 5000);
  ASSERT_EQ(SaveVoiceTake(folder.string(), 7, second), SaveTakeResult::kSaved);
  EXPECT_EQ(FileCount(folder), 1u);  // no temporary file left

  CWaveBuffer wave(nullptr, nullptr, nullptr);
  ASSERT_EQ(LoadVoiceSegment(wave, (folder / "V07.SGM").string()), 1);
  ASSERT_EQ(wave.GetDataSize(), 2 * second.size());
  const std::uint8_t* p = wave.LockData();
  EXPECT_EQ(std::memcmp(p, second.data(), wave.GetDataSize()), 0);
  wave.UnlockData();
}

TEST(VoiceTakeSave, NeverWritesIntoTheProgramsFolder) {
  TempDir dir;
  const auto take = Syllables(2, 300, 9000);
  EXPECT_EQ(SaveVoiceTake(dir.Path().string(), 3, take, dir.Path().string() + "/."),
            SaveTakeResult::kRefused);
  EXPECT_EQ(FileCount(dir.Path()), 0u);
}

TEST(VoiceTakeSave, AFolderThatCannotBeMadeLeavesNothing) {
  TempDir dir;
  // "voice" is a file, so the folder can be neither made nor used (this
  // holds for root too, unlike permissions).
  const fs::path blocker = dir.Path() / "voice";
  std::ofstream(blocker) << "x";
  const auto take = Syllables(2, 300, 9000);
  EXPECT_EQ(SaveVoiceTake(blocker.string(), 3, take), SaveTakeResult::kNoFolder);
  EXPECT_EQ(SaveVoiceTake((blocker / "deeper").string(), 3, take), SaveTakeResult::kNoFolder);
  EXPECT_EQ(SaveVoiceTake("", 3, take), SaveTakeResult::kNoFolder);
  EXPECT_EQ(FileCount(dir.Path()), 1u);
}

TEST(VoiceTakeSave, AFullDiskKeepsTheOldFileAndLeavesNoTemporary) {
  TempDir dir;
  const auto old = Syllables(1, 200, 9000);
  ASSERT_EQ(SaveVoiceTake(dir.Path().string(), 5, old), SaveTakeResult::kSaved);
  const auto oldSize = fs::file_size(dir.Path() / "V05.SGM");

  // The file size limit stands for a full disk: writes beyond it fail with
  // EFBIG, as they would with ENOSPC.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* pOldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = saved;
  limit.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const auto big = Syllables(10, 300, 9000);  // about 66 KB
  const SaveTakeResult result = SaveVoiceTake(dir.Path().string(), 5, big);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, pOldHandler);

  EXPECT_EQ(result, SaveTakeResult::kDiskFull);
  EXPECT_EQ(fs::file_size(dir.Path() / "V05.SGM"), oldSize);
  EXPECT_EQ(FileCount(dir.Path()), 1u);
}

TEST(VoiceTake, AcceptsALongTakeWithoutPauses) {
  // Thirty seconds of syllables, no silence at all: the dips between the
  // syllables are the only quiet frames.
  const auto chant = Syllables(100, 300, 9000);
  VoicedSpan span;
  ASSERT_TRUE(FindVoicedSpan(chant.data(), chant.size(), &span));
  EXPECT_LE(span.nFirst, Ms(20));
  EXPECT_GE(span.nEnd, chant.size() - Ms(20));
}
