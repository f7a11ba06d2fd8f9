// SPDX-License-Identifier: GPL-3.0-or-later
// The pace of a recitation as a percentage of the recorded one: 50 takes
// twice as long, 150 two thirds of the time, 100 is the voice as recorded.
#pragma once

#include <algorithm>
#include <cmath>
#include <iterator>

namespace solvari {

// The tempos the program offers, and the one it uses by default.
inline constexpr int kTempoChoices[] = {50, 75, 100, 125, 150};
inline constexpr int kDefaultTempo = 100;
// The range the time stretch accepts (four times slower or faster).
inline constexpr int kMinTempo = 25;
inline constexpr int kMaxTempo = 400;

inline bool IsTempoChoice(int nTempoPercent) {
  return std::find(std::begin(kTempoChoices), std::end(kTempoChoices), nTempoPercent) !=
         std::end(kTempoChoices);
}

// A stored tempo as the program uses it: one of the choices, else the default.
inline int ValidTempoChoice(int nStoredValue) {
  return IsTempoChoice(nStoredValue) ? nStoredValue : kDefaultTempo;
}

// How long something lasting nMs at the recorded pace lasts at the tempo,
// rounded to the nearest ms; exactly nMs at 100 (and for a tempo out of range).
inline int ScaleDurationMs(int nMs, int nTempoPercent) {
  if (nTempoPercent == 100 || nTempoPercent < kMinTempo || nTempoPercent > kMaxTempo) return nMs;
  return static_cast<int>(std::lround(static_cast<double>(nMs) * 100.0 / nTempoPercent));
}

}  // namespace solvari
