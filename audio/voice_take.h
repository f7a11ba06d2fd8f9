// SPDX-License-Identifier: GPL-3.0-or-later
// One's own recording of a phrase: from the raw take to the voice file. A
// take is trimmed of its leading and trailing silence (50 ms kept before the
// voice, 200 ms after it, padded with silence where the take has less), its
// level is normalised, and it is saved as V%2.2d.SGM in the user's own voice
// folder through a temporary file, so that a failed save leaves the old file
// (or none) and nothing half-written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace solvari {

inline constexpr int kTakeLeadMs = 50;
inline constexpr int kTakeTailMs = 200;
inline constexpr std::uint32_t kTakeLeadSamples = 11025 * kTakeLeadMs / 1000;  // 551
inline constexpr std::uint32_t kTakeTailSamples = 11025 * kTakeTailMs / 1000;  // 2205
// The level a take is brought to: its loudest sample, as in the shipped voice.
inline constexpr int kTakePeak = 15500;
// A take needs at least this much voice, in ms, to be kept.
inline constexpr int kTakeMinVoicedMs = 100;

// Where the voice lies in a take, in samples: [nFirst, nEnd).
struct VoicedSpan {
  std::size_t nFirst = 0;
  std::size_t nEnd = 0;
};

// Finds the voice in 16-bit mono samples at 11025 Hz by the level of 10 ms
// frames; false when there is none (silence, or less than kTakeMinVoicedMs).
bool FindVoicedSpan(const std::int16_t* pSamples, std::size_t nSamples, VoicedSpan* pSpan);

// The take ready to be kept: kTakeLeadSamples before the voice, the voice,
// kTakeTailSamples after it, the mean removed and the level normalised (the
// gain is at most 30). Empty when the take holds no voice.
std::vector<std::int16_t> PrepareTake(const std::int16_t* pSamples, std::size_t nSamples);

// The factor by which a phrase's character durations (nTableMs in all) are
// stretched to follow a prepared take of nSamples samples: its voiced length
// over the table's, within 0.25 .. 4.
double TakePaceFactor(std::size_t nSamples, int nTableMs);

// The file name of phrase nPhrase in the user's voice folder.
std::string OwnVoiceFileName(int nPhrase);

enum class SaveTakeResult {
  kSaved,
  kNoFolder,     // the folder cannot be created, or is not a folder
  kNotWritable,  // the file cannot be created or renamed into place
  kDiskFull,     // no space left (or the file size limit reached)
  kRefused,      // the folder is the program's own (the shipped voice)
};

// Saves samples as the segment file of nPhrase in strFolder (created when
// missing): written to a temporary file in that folder, flushed to the disk,
// then renamed over the old file. On any failure the temporary file is
// removed and an old file is left as it was. strProgramFolder, when given, is
// the folder of the shipped voice, which is never written.
SaveTakeResult SaveVoiceTake(const std::string& strFolder, int nPhrase,
                             const std::vector<std::int16_t>& samples,
                             const std::string& strProgramFolder = {});

// Normalised correlation of two equally long stretches (0 when either is
// silent): 1 for the same sound at any level.
double NormalisedCorrelation(const std::int16_t* pA, const std::int16_t* pB, std::size_t n);

}  // namespace solvari
