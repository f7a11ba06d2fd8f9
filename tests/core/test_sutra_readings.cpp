// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "core/sutra_readings.h"
#include "sutra_text_file.h"

namespace solvari {
namespace {

std::string PhraseRomaji(int p) {
  std::string s;
  for (int c = 0; c < GetPhraseCharCount(p); ++c) s += (c ? " " : "") + GetCharRomaji(p, c);
  return s;
}

TEST(SutraReadings, EveryCharacterHasTheReadingOfTheSutraText) {
  const auto rows = test::ReadSutraTextFile();
  ASSERT_EQ(rows.size(), static_cast<size_t>(kPhraseCount))
      << test::kSutraTextPath << " missing or incomplete";
  int nReadings = 0;
  for (int p = 0; p < kPhraseCount; ++p) {
    ASSERT_EQ(rows[p].phrase, p);
    ASSERT_EQ(static_cast<int>(rows[p].readings.size()), GetPhraseCharCount(p)) << "phrase " << p;
    for (int c = 0; c < GetPhraseCharCount(p); ++c, ++nReadings)
      EXPECT_EQ(GetCharReading(p, c), rows[p].readings[c]) << "phrase " << p << " char " << c;
  }
  EXPECT_EQ(nReadings, 266);
  EXPECT_EQ(nReadings, kTotalCharCount);
  EXPECT_STREQ(GetCharReading(0, 5), "");
  EXPECT_STREQ(GetCharReading(54, 0), "");
  EXPECT_STREQ(GetCharReading(-1, 0), "");
  EXPECT_STREQ(GetCharReading(3, -1), "");
  EXPECT_EQ(GetCharRomaji(53, 4), "");
}

TEST(SutraReadings, RomajiAsChanted) {
  EXPECT_EQ(PhraseRomaji(0), "kan ji zai bo sa");
  EXPECT_EQ(PhraseRomaji(1), "gyo jin han nya ha ra mit ta ji");
  EXPECT_EQ(PhraseRomaji(2), "sho ken go on kai ku");
  EXPECT_EQ(PhraseRomaji(3), "do is sai ku yaku");
  EXPECT_EQ(PhraseRomaji(18), "mu gen ni bi zes shin i");
  EXPECT_EQ(PhraseRomaji(21), "nai shi mu i shiki kai");
  EXPECT_EQ(PhraseRomaji(28), "i mu sho tok ko");
  EXPECT_EQ(PhraseRomaji(31), "shin mu kei ge");
  EXPECT_EQ(PhraseRomaji(38), "toku a noku ta ra san myaku san bo dai");
  EXPECT_EQ(PhraseRomaji(47), "soku setsu shu wat");  // nothing follows in the phrase
  EXPECT_EQ(PhraseRomaji(48), "gya tei");
  EXPECT_EQ(PhraseRomaji(53), "han nya shin gyo");
  // Every romaji is lower-case ASCII letters, one to five of them, so that
  // it fits beside its character.
  for (int p = 0; p < kPhraseCount; ++p)
    for (int c = 0; c < GetPhraseCharCount(p); ++c) {
      const std::string r = GetCharRomaji(p, c);
      EXPECT_GE(r.size(), 1u);
      EXPECT_LE(r.size(), 5u) << r;
      for (char ch : r) EXPECT_TRUE(ch >= 'a' && ch <= 'z') << p << "/" << c << " " << r;
    }
}

TEST(SutraReadings, HepburnRules) {
  EXPECT_EQ(RomanizeKana("しゃ"), "sha");
  EXPECT_EQ(RomanizeKana("ちゅう"), "chu");
  EXPECT_EQ(RomanizeKana("じょう"), "jo");
  EXPECT_EQ(RomanizeKana("りょ"), "ryo");
  EXPECT_EQ(RomanizeKana("つ"), "tsu");
  EXPECT_EQ(RomanizeKana("ふ"), "fu");
  EXPECT_EQ(RomanizeKana("ぢ"), "ji");
  EXPECT_EQ(RomanizeKana("おう"), "o");   // a long o
  EXPECT_EQ(RomanizeKana("くう"), "ku");  // a long u
  EXPECT_EQ(RomanizeKana("けい"), "kei");
  EXPECT_EQ(RomanizeKana("うん"), "un");  // u that lengthens nothing
  EXPECT_EQ(RomanizeKana("いう"), "iu");
  EXPECT_EQ(RomanizeKana("ぼー"), "bo");
  EXPECT_EQ(RomanizeKana("カン"), "kan");  // katakana
  EXPECT_EQ(RomanizeKana("ゃ"), "ya");
  // A small tsu takes the consonant after it, within the group or from the next.
  EXPECT_EQ(RomanizeKana("いっさい"), "issai");
  EXPECT_EQ(RomanizeKana("まっちゃ"), "matcha");
  EXPECT_EQ(RomanizeKana("いっ", "しょ"), "is");
  EXPECT_EQ(RomanizeKana("みっ", "たー"), "mit");
  EXPECT_EQ(RomanizeKana("はっ", "ちゃ"), "hat");
  EXPECT_EQ(RomanizeKana("わっ"), "wat");
  EXPECT_EQ(RomanizeKana("あっ", "い"), "at");
  EXPECT_EQ(RomanizeKana("っー"), "t");
}

TEST(SutraReadings, OddInputIsKeptNotTrusted) {
  EXPECT_EQ(RomanizeKana(""), "");
  EXPECT_EQ(RomanizeKana("a観"), "a観");
  EXPECT_EQ(RomanizeKana("\xE3\x81"), "\xC3\xA3\xC2\x81");  // a cut-off sequence, byte by byte
  EXPECT_EQ(RomanizeKana("\xFF\x80"), "\xC3\xBF\xC2\x80");
  EXPECT_EQ(RomanizeKana("ー"), "");
}

TEST(SutraReadings, AidSettingAndGlyphIdentifiers) {
  EXPECT_EQ(ToReadingAid(0), RubyNone);
  EXPECT_EQ(ToReadingAid(1), RubyKana);
  EXPECT_EQ(ToReadingAid(2), RubyRomaji);
  EXPECT_EQ(ToReadingAid(3), RubyNone);
  EXPECT_EQ(ToReadingAid(-1), RubyNone);
  EXPECT_EQ(GetReadingGlyphId(RubyNone, 0), 0);
  EXPECT_EQ(GetReadingGlyphId(RubyKana, 0), 400);
  EXPECT_EQ(GetReadingGlyphId(RubyKana, 53), 453);
  EXPECT_EQ(GetReadingGlyphId(RubyRomaji, 38), 538);
  EXPECT_EQ(GetReadingGlyphId(RubyRomaji, 54), 0);
  EXPECT_EQ(GetReadingGlyphId(7, 3), 0);
}

}  // namespace
}  // namespace solvari
