// SPDX-License-Identifier: GPL-3.0-or-later
// Following one's own take character by character. Every shipped phrase
// (V00.SGM .. V53.SGM) starts each character exactly where the duration table
// says, so it is a recording whose character onsets are known. A take of the
// same words is aligned to it: both are cut into 10 ms frames of mel-cepstral
// features (the spectra by FFTW), dynamic time warping within a band pairs
// the frames, and each character's onset in the shipped phrase is carried
// over to the take, then moved to the nearest clear rise of the take's level.
// A voice higher or lower than the shipped one is met by reading the take's
// spectrum through moved filters; a steady noise is subtracted first. When
// the pairing is poor (a take of another phrase, mostly noise, no voice at
// all) the onsets are those of the even scaling that was used before: each
// character's duration times the take's voiced length over the table's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace solvari {

// Every character is lit for at least this long.
inline constexpr int kMinCharMs = 60;
// A take longer than this (or longer than kMaxTakeOverTable times its phrase)
// is not aligned: it is not a take of one phrase.
inline constexpr int kMaxAlignTakeMs = 30000;
inline constexpr int kMaxTakeOverTable = 6;

// Why the onsets are the scaled ones.
enum class AlignFailure {
  kNone,         // aligned
  kBadPhrase,    // the phrase number is out of range
  kNoReference,  // the shipped phrase is missing or holds no voice
  kNoVoice,      // the take holds no voice (silence, a click)
  kTooLong,      // the take is far too long for the phrase
  kTooShort,     // too short to give every character kMinCharMs
  kPoorMatch,    // the alignment's own cost says the take is not this phrase
  kUnavailable,  // this build has no alignment (the Windows one)
};

// A short English phrase for messages ("poor match", ...).
const char* AlignFailureText(AlignFailure failure);

struct TakeOnsets {
  // One per character of the phrase, in ms from the start of the take; never
  // decreasing, each at least kMinCharMs after the one before.
  std::vector<int> onsetsMs;
  // The onsets are the even scaling, not the alignment's.
  bool bFellBack = false;
  AlignFailure failure = AlignFailure::kNone;
  // The alignment's cost: the mean frame distance along the path over the
  // mean distance of all frame pairs searched (0 = identical, 1 = no better
  // than chance). 0 when no alignment was made.
  double dCostRatio = 0;
};

// The cost ratio above which the alignment is taken to have failed.
inline constexpr double kMaxAlignCostRatio = 0.60;

// The onsets of the scaling used before alignment: each duration of the table
// times TakePaceFactor of a take of nTakeSamples samples, lit from the start.
std::vector<int> ScaledOnsets(std::size_t nTakeSamples, int nPhrase);

// Aligns a take of phrase nPhrase (16-bit mono at 11025 Hz) to the shipped
// recording of that phrase. Always gives kPhraseCharCount onsets for a valid
// phrase, the scaled ones (bFellBack) when the alignment fails; an empty
// result only for a phrase out of range.
TakeOnsets AlignTake(const std::int16_t* pTake, std::size_t nTake, const std::int16_t* pShipped,
                     std::size_t nShipped, int nPhrase);

}  // namespace solvari
