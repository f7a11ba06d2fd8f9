// SPDX-License-Identifier: GPL-3.0-or-later
// The reading of every character of the sutra, as chanted: a group of kana
// per character (from the sutra text table), and its Hepburn romanisation.
// The reading aid shows them beside the large characters of the reading page.
#pragma once

#include <string>
#include <string_view>

#include "core/sutra_tables.h"

namespace solvari {

// What the reading page shows beside each character ("Reading" / "Ruby").
enum ReadingAid : int {
  RubyNone = 0,
  RubyKana = 1,
  RubyRomaji = 2,
};

// A stored setting as a ReadingAid; anything unknown is RubyNone.
int ToReadingAid(int nValue);

// The reading bitmaps of a phrase: one 40-row band per character, like the
// glyph column; kana stacked vertically, romaji on one line.
inline constexpr int kKanaGlyphBase = 400;    // 400 + phrase
inline constexpr int kRomajiGlyphBase = 500;  // 500 + phrase
// A reading bitmap is kKanaReadingWidth or kRomajiReadingWidth pixels wide
// and 40 rows per character; its ink keeps kReadingInkMargin rows from the
// edges of each band, so that the outlines of neighbouring readings never
// cover each other's ink.
inline constexpr int kReadingBandHeight = kCellHeight;
inline constexpr int kReadingInkMargin = 2;
inline constexpr int kKanaReadingWidth = 16;
inline constexpr int kRomajiReadingWidth = 40;
// Identifier of the reading bitmap of a phrase, 0 for RubyNone.
int GetReadingGlyphId(int nAid, int nPhrase);

// kPhraseReadings[p][c]: the kana of character c of phrase p, UTF-8.
extern const char* const* const kPhraseReadings[kPhraseCount];

// The kana of one character; "" outside the tables.
const char* GetCharReading(int nPhrase, int nChar);
// Its romanisation, syllables of the phrase as chanted; "" outside the tables.
std::string GetCharRomaji(int nPhrase, int nChar);

// Modified Hepburn, long vowels as they are chanted and unmarked: the
// lengthening mark is dropped, and so is an u that lengthens an o or u
// (しょう "sho", くう "ku"); えい stays "ei". A small tsu doubles the
// consonant that follows it (ch as tch), taken from pNext, the next
// character's kana, when it ends the group; with no consonant after it, it is
// "t". Katakana read as hiragana; anything else is kept as it is.
std::string RomanizeKana(std::string_view kana, std::string_view next = {});

}  // namespace solvari
