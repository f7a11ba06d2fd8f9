// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "core/sutra_tables.h"
#include "sutra_text_file.h"

namespace solvari {
namespace {

// Number of code points in a UTF-8 string.
int CountCodePoints(const std::string& s) {
  int n = 0;
  for (unsigned char ch : s) n += (ch & 0xC0) != 0x80;
  return n;
}

TEST(SutraTables, CountsAgreeWithTheSutraText) {
  const auto rows = test::ReadSutraTextFile();
  ASSERT_EQ(rows.size(), static_cast<size_t>(kPhraseCount))
      << test::kSutraTextPath << " missing or incomplete";
  int total = 0;
  for (int p = 0; p < kPhraseCount; ++p) {
    EXPECT_EQ(rows[p].phrase, p);
    EXPECT_EQ(CountCodePoints(rows[p].text), GetPhraseCharCount(p)) << "phrase " << p;
    // One group of kana per character.
    EXPECT_EQ(static_cast<int>(rows[p].readings.size()), GetPhraseCharCount(p)) << "phrase " << p;
    total += GetPhraseCharCount(p);
  }
  EXPECT_EQ(total, kTotalCharCount);
}

TEST(SutraTables, GlyphIdentifiers) {
  EXPECT_EQ(GetColumnGlyphId(0), 184);
  EXPECT_EQ(GetColumnGlyphId(1), 186);
  EXPECT_EQ(GetColumnGlyphId(37), 222);
  EXPECT_EQ(GetColumnGlyphId(38), 185);
  EXPECT_EQ(GetColumnGlyphId(39), 223);
  EXPECT_EQ(GetColumnGlyphId(53), 237);
  // Every column bitmap 184..237 is used exactly once; strips are 130 + phrase.
  std::vector<int> used(238, 0);
  for (int p = 0; p < kPhraseCount; ++p) {
    ++used[GetColumnGlyphId(p)];
    EXPECT_EQ(GetStripGlyphId(p), 130 + p);
  }
  for (int id = 184; id <= 237; ++id) EXPECT_EQ(used[id], 1) << id;
}

TEST(SutraTables, DurationsAndExtremes) {
  EXPECT_EQ(GetPhraseCharCount(48), 2);
  EXPECT_EQ(GetPhraseCharCount(49), 2);
  EXPECT_EQ(GetPhraseCharCount(38), 10);
  for (int p = 0; p < kPhraseCount; ++p) {
    EXPECT_GE(GetPhraseCharCount(p), 2);
    EXPECT_LE(GetPhraseCharCount(p), 10);
    for (int c = 0; c < GetPhraseCharCount(p); ++c) {
      EXPECT_GE(GetCharDuration(p, c), 200);
      EXPECT_LE(GetCharDuration(p, c), 600);
    }
  }
  const int phrase2[] = {300, 300, 500, 400, 400, 300};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(GetCharDuration(2, c), phrase2[c]);
  EXPECT_EQ(GetPhraseDuration(2), 2200);
  EXPECT_EQ(GetCharDuration(33, 0), 250);
  EXPECT_EQ(GetCharDuration(53, 1), 600);
}

TEST(SutraTables, OverviewConsumesEveryPhraseOnce) {
  int sum = 0;
  for (int c = 0; c < kOverviewColumnCount; ++c) sum += GetOverviewColumnPhrases(c);
  EXPECT_EQ(sum, kPhraseCount);
  EXPECT_EQ(GetOverviewColumnPhrases(0), 2);
  EXPECT_EQ(GetOverviewColumnPhrases(2), 3);
  EXPECT_EQ(GetOverviewColumnPhrases(24), 1);  // phrase 53 alone
}

}  // namespace
}  // namespace solvari
