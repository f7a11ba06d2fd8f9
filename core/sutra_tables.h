// SPDX-License-Identifier: GPL-3.0-or-later
// The sutra as the program knows it: 54 phrases, their character counts,
// how long each character stays lit, and which glyph bitmaps draw them.
#pragma once

#include <cstdint>

namespace solvari {

inline constexpr int kPhraseCount = 54;
inline constexpr int kLastPhrase = 53;
inline constexpr int kTotalCharCount = 266;
inline constexpr int kOverviewColumnCount = 25;

// Size of one character of a large glyph column.
inline constexpr int kCellWidth = 64;
inline constexpr int kCellHeight = 40;
inline constexpr int kCellBytesPerRow = kCellWidth / 8;
inline constexpr int kCellBytes = kCellBytesPerRow * kCellHeight;  // 320
// Side of one character square of an overview strip.
inline constexpr int kStripCell = 27;

extern const std::int32_t kPhraseCharCount[kPhraseCount];
extern const std::int32_t* const kPhraseDurations[kPhraseCount];
extern const std::int32_t kColumnGlyphId[kPhraseCount];
extern const std::int32_t kStripGlyphId[kPhraseCount];
extern const std::int32_t kOverviewColumnPhrases[kOverviewColumnCount];

// Read-only accessors. Callers keep 0 <= nPhrase <= 53 and
// 0 <= nChar < GetPhraseCharCount(nPhrase).
int GetPhraseCharCount(int nPhrase);
int GetCharDuration(int nPhrase, int nChar);
int GetColumnGlyphId(int nPhrase);
int GetStripGlyphId(int nPhrase);
int GetOverviewColumnPhrases(int nColumn);

// Sum of the durations of a phrase's characters, in milliseconds.
int GetPhraseDuration(int nPhrase);

}  // namespace solvari
