// SPDX-License-Identifier: GPL-3.0-or-later
// Following one's own take: the onsets found by aligning takes whose onsets
// are known (made at build time by tools/make_align_takes.py), against the
// even scaling, and what bad takes give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "audio/take_align.h"
#include "audio/voice_take.h"
#include "core/sutra_tables.h"
#include "take_set.h"

namespace solvari {
namespace {

using testing::ErrorFigures;
using testing::KnownTake;
using testing::kTakeSets;
using testing::ReadTakeSet;
using testing::ReadVoiceSamples;

std::vector<std::int16_t> Shipped(int nPhrase) {
  char name[32];
  std::snprintf(name, sizeof name, "/data/V%02d.SGM", nPhrase);
  return ReadVoiceSamples(std::string(SOLVARI_SOURCE_DIR) + name);
}

std::vector<int> TableOnsets(int nPhrase) {
  std::vector<int> v;
  int nAt = 0;
  for (int c = 0; c < GetPhraseCharCount(nPhrase); ++c) {
    v.push_back(nAt);
    nAt += GetCharDuration(nPhrase, c);
  }
  return v;
}

TakeOnsets Align(const std::vector<std::int16_t>& take, int nPhrase) {
  const std::vector<std::int16_t> shipped = Shipped(nPhrase);
  return AlignTake(take.data(), take.size(), shipped.data(), shipped.size(), nPhrase);
}

// What every result must be, aligned or not: one onset per character, never
// going back, each character lit for a while.
void ExpectPlayable(const TakeOnsets& r, int nPhrase, const std::string& what) {
  ASSERT_EQ(r.onsetsMs.size(), static_cast<std::size_t>(GetPhraseCharCount(nPhrase))) << what;
  EXPECT_GE(r.onsetsMs.front(), 0) << what;
  for (std::size_t c = 1; c < r.onsetsMs.size(); ++c) {
    const int nGap = r.onsetsMs[c] - r.onsetsMs[c - 1];
    if (r.bFellBack) {
      EXPECT_GT(nGap, 0) << what << " character " << c;
    } else {
      EXPECT_GE(nGap, kMinCharMs) << what << " character " << c;
    }
  }
}

// The measurement over the generated sets, printed as a table, with bounds
// that the alignment keeps by a clear margin and the scaling does not reach.
TEST(TakeAlignment, GeneratedTakesAreFollowedFarCloserThanByScaling) {
  ErrorFigures allAligned, allScaled;
  std::printf("%-8s %5s | %-52s | %-28s\n", "set", "takes",
              "aligned: median  <=30  <=50  worst  >150 kept (fell back)",
              "scaled: median  <=30  <=50");
  for (const char* set : kTakeSets) {
    const std::vector<KnownTake> takes =
        ReadTakeSet(std::string(SOLVARI_ALIGN_TAKES_DIR) + "/" + set);
    ASSERT_GE(takes.size(), 15u) << set << ": the generated takes are missing (espeak-ng and sox "
                                 << "make them at build time: tools/make_align_takes.py)";
    ErrorFigures aligned, scaled;
    for (const KnownTake& take : takes) {
      ASSERT_EQ(take.knownMs.size(), static_cast<std::size_t>(GetPhraseCharCount(take.nPhrase)));
      const TakeOnsets r = Align(take.samples, take.nPhrase);
      ExpectPlayable(r, take.nPhrase, std::string(set) + " " + std::to_string(take.nPhrase));
      aligned.Add(take, r.onsetsMs, r.bFellBack);
      allAligned.Add(take, r.onsetsMs, r.bFellBack);
      const std::vector<int> even = ScaledOnsets(take.samples.size(), take.nPhrase);
      scaled.Add(take, even, false);
      allScaled.Add(take, even, false);
    }
    std::printf(
        "%-8s %5d | %6.1f ms %4.0f%% %4.0f%% %5.0f ms %4d (%d fell back) | %6.1f ms %4.0f%% "
        "%4.0f%%\n",
        set, aligned.nTakes, aligned.Median(), 100 * aligned.ShareWithin(30),
        100 * aligned.ShareWithin(50), aligned.Worst(), aligned.nBeyond150Kept, aligned.nFellBack,
        scaled.Median(), 100 * scaled.ShareWithin(30), 100 * scaled.ShareWithin(50));
    // Every set: the alignment at least as close as the scaling.
    EXPECT_LE(aligned.Median(), scaled.Median()) << set;
    EXPECT_GE(aligned.ShareWithin(50), scaled.ShareWithin(50)) << set;
  }
  std::printf(
      "%-8s %5d | %6.1f ms %4.0f%% %4.0f%% %5.0f ms %4d (%d fell back) | %6.1f ms %4.0f%% "
      "%4.0f%%\n",
      "all", allAligned.nTakes, allAligned.Median(), 100 * allAligned.ShareWithin(30),
      100 * allAligned.ShareWithin(50), allAligned.Worst(), allAligned.nBeyond150Kept,
      allAligned.nFellBack, allScaled.Median(), 100 * allScaled.ShareWithin(30),
      100 * allScaled.ShareWithin(50));
  EXPECT_LE(allAligned.Median(), 15.0);
  EXPECT_GE(allAligned.ShareWithin(50), 0.88);
  EXPECT_GE(allAligned.ShareWithin(30), 0.78);
  // Today's scaling, for comparison, is nowhere near.
  EXPECT_GT(allScaled.Median(), 80.0);
  EXPECT_LT(allScaled.ShareWithin(50), 0.40);
  // Gross errors in takes that were not given up on stay few: the path may
  // not jump a syllable where noise makes the frames look alike.
  EXPECT_LE(allAligned.nBeyond150Kept, 5);
}

// The clean sets, whose takes differ from the shipped voice only in pace,
// pauses, pitch, start or a breath, are followed within 50 ms nearly always.
TEST(TakeAlignment, CleanTakesAreFollowedWithinFiftyMs) {
  for (const char* set : {"warp", "pitch", "late", "breath", "reverb"}) {
    ErrorFigures aligned;
    for (const KnownTake& take : ReadTakeSet(std::string(SOLVARI_ALIGN_TAKES_DIR) + "/" + set)) {
      const TakeOnsets r = Align(take.samples, take.nPhrase);
      aligned.Add(take, r.onsetsMs, r.bFellBack);
      EXPECT_FALSE(r.bFellBack) << set << " " << take.nPhrase;
    }
    ASSERT_GT(aligned.nTakes, 0) << set;
    EXPECT_GE(aligned.ShareWithin(50), 0.82) << set;
    EXPECT_LE(aligned.Median(), 12.0) << set;
  }
}

// A breath (hiss) or silence before the voice is no character: the first
// one is lit where the voice begins, not on the breath.
TEST(TakeAlignment, ABreathBeforeTheVoiceIsNotTakenForTheFirstCharacter) {
  for (const KnownTake& take : ReadTakeSet(std::string(SOLVARI_ALIGN_TAKES_DIR) + "/breath")) {
    const TakeOnsets r = Align(take.samples, take.nPhrase);
    ASSERT_FALSE(r.onsetsMs.empty());
    EXPECT_LE(std::abs(r.onsetsMs[0] - take.knownMs[0]), 200) << "phrase " << take.nPhrase;
  }
}

TEST(TakeAlignment, TheShippedPhraseAlignedToItselfGivesTheTable) {
  for (int p : {0, 2, 38, 48, 51, 53}) {
    const TakeOnsets r = Align(Shipped(p), p);
    ASSERT_FALSE(r.bFellBack) << p;
    EXPECT_LT(r.dCostRatio, 0.2) << p;
    const std::vector<int> table = TableOnsets(p);
    for (std::size_t c = 0; c < table.size(); ++c)
      EXPECT_NEAR(r.onsetsMs[c], table[c], 15) << "phrase " << p << " character " << c;
  }
}

// A take of the phrase that starts later in its file is followed there.
TEST(TakeAlignment, OnsetsMoveWithTheStartOfTheVoice) {
  const int p = 12;
  std::vector<std::int16_t> take(11025 * 7 / 10, 0);  // 700 ms of silence
  const std::vector<std::int16_t> shipped = Shipped(p);
  take.insert(take.end(), shipped.begin(), shipped.end());
  const TakeOnsets r = Align(take, p);
  ASSERT_FALSE(r.bFellBack);
  const std::vector<int> table = TableOnsets(p);
  for (std::size_t c = 0; c < table.size(); ++c)
    EXPECT_NEAR(r.onsetsMs[c], table[c] + 700, 20) << c;
}

TEST(TakeAlignment, ATakeOfAnotherPhraseFallsBackToTheScaling) {
  // The shipped 照見五蘊皆空 and a generated take of phrase 38, each given as
  // a take of a phrase of other words.
  const std::vector<std::int16_t> other = Shipped(2);
  for (int p : {38, 53}) {
    const TakeOnsets r = Align(other, p);
    EXPECT_TRUE(r.bFellBack) << p;
    EXPECT_EQ(r.failure, AlignFailure::kPoorMatch) << p;
    EXPECT_EQ(r.onsetsMs, ScaledOnsets(other.size(), p)) << p;
    ExpectPlayable(r, p, "another phrase");
  }
  const std::vector<std::int16_t> take38 =
      ReadVoiceSamples(std::string(SOLVARI_ALIGN_TAKES_DIR) + "/warp/V38.SGM");
  ASSERT_FALSE(take38.empty());
  for (int p : {2, 53}) {
    const TakeOnsets r = Align(take38, p);
    EXPECT_TRUE(r.bFellBack) << p;
    EXPECT_EQ(r.failure, AlignFailure::kPoorMatch) << p;
  }
}

TEST(TakeAlignment, SilenceNoiseAndAClickFallBack) {
  const int p = 7;
  std::vector<std::int16_t> silence(11025 * 2, 0);
  std::vector<std::int16_t> click = silence;
  for (int i = 0; i < 40; ++i) click[11025 + i] = static_cast<std::int16_t>(i % 2 ? 30000 : -30000);
  std::mt19937 rng(7);
  std::normal_distribution<double> gauss(0, 3000);
  std::vector<std::int16_t> hiss(11025 * 2);
  for (auto& v : hiss) v = static_cast<std::int16_t>(std::clamp(gauss(rng), -32000.0, 32000.0));
  for (const auto& [name, take] :
       {std::pair{"silence", silence}, std::pair{"click", click}, std::pair{"hiss", hiss}}) {
    const TakeOnsets r = Align(take, p);
    EXPECT_TRUE(r.bFellBack) << name;
    EXPECT_EQ(r.onsetsMs, ScaledOnsets(take.size(), p)) << name;
    ExpectPlayable(r, p, name);
  }
  EXPECT_EQ(Align(click, p).failure, AlignFailure::kNoVoice);
}

TEST(TakeAlignment, ATwentyMinuteTakeIsRefusedByItsLength) {
  // Twenty minutes: refused by its length alone, at once.
  std::vector<std::int16_t> take(static_cast<std::size_t>(11025) * 60 * 20);
  for (std::size_t i = 0; i < take.size(); ++i)
    take[i] = static_cast<std::int16_t>(8000 * std::sin(static_cast<double>(i) * 0.2));
  const TakeOnsets r = Align(take, 38);
  EXPECT_TRUE(r.bFellBack);
  EXPECT_EQ(r.failure, AlignFailure::kTooLong);
  ExpectPlayable(r, 38, "20 minutes");
  // Even past kMaxTakeOverTable times its phrase.
  // Phrase 48 lasts 600 ms: four seconds is past kMaxTakeOverTable times it.
  const std::vector<std::int16_t> longer(11025 * 4);
  EXPECT_EQ(Align(longer, 48).failure, AlignFailure::kTooLong);
}

TEST(TakeAlignment, MissingInputsAndBadPhrasesNeverCrash) {
  const std::vector<std::int16_t> shipped = Shipped(7);
  TakeOnsets r = AlignTake(nullptr, 1000, shipped.data(), shipped.size(), 7);
  EXPECT_TRUE(r.bFellBack);
  EXPECT_EQ(r.failure, AlignFailure::kNoVoice);
  r = AlignTake(shipped.data(), shipped.size(), nullptr, 500, 7);
  EXPECT_TRUE(r.bFellBack);
  EXPECT_EQ(r.failure, AlignFailure::kNoReference);
  ExpectPlayable(r, 7, "no shipped voice");
  for (int p : {-1, 54, 1000}) {
    r = AlignTake(shipped.data(), shipped.size(), shipped.data(), shipped.size(), p);
    EXPECT_TRUE(r.onsetsMs.empty());
    EXPECT_EQ(r.failure, AlignFailure::kBadPhrase);
  }
  EXPECT_TRUE(ScaledOnsets(1000, 54).empty());
}

TEST(TakeAlignment, ATakeTooShortForItsCharactersFallsBack) {
  // 150 ms of voice cannot give ten characters 60 ms each.
  std::vector<std::int16_t> take(11025 / 4, 0);
  for (std::size_t i = 551; i < 551 + 1654; ++i)
    take[i] = static_cast<std::int16_t>(9000 * std::sin(static_cast<double>(i) * 0.15));
  const TakeOnsets r = Align(take, 38);
  EXPECT_TRUE(r.bFellBack);
  ExpectPlayable(r, 38, "short take");
}

TEST(TakeAlignment, ScaledOnsetsAreTodaysScaling) {
  // The table's durations times the pace factor, lit from the start.
  const int p = 2;  // 300, 300, 500, 400, 400, 300: 2200 ms
  const std::size_t nTake = kTakeLeadSamples + kTakeTailSamples + 11025 * 4400 / 1000;
  EXPECT_EQ(ScaledOnsets(nTake, p), (std::vector<int>{0, 600, 1200, 2200, 3000, 3800}));
  const std::size_t nSame = kTakeLeadSamples + kTakeTailSamples + 11025 * 2200 / 1000;
  EXPECT_EQ(ScaledOnsets(nSame, p), TableOnsets(p));
}

}  // namespace
}  // namespace solvari
