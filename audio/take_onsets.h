// SPDX-License-Identifier: GPL-3.0-or-later
// The character onsets of one's own take, kept beside it: V07.SGM has its
// onsets in V07.onsets. The file names the take's sound length and checksum
// and the shipped phrase's, so that a take re-recorded or edited afterwards,
// or a new shipped voice, is noticed and the take aligned again. It is a few
// lines of text:
//
//   solvari-onsets 1
//   phrase 7
//   take 45678 1a2b3c4d        sound bytes, CRC-32 of them
//   shipped 32000 5e6f7a8b     the same of the shipped phrase (0 0 when missing)
//   result aligned 0.412       or: result scaled poor-match 0.801
//   onsets 0 310 655 990
//   check 89abcdef             CRC-32 of every byte before this line
//
// A file that is truncated, edited, too long, of another version, of another
// phrase or of another take is not valid: the take is then aligned again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/take_align.h"

namespace solvari {

inline constexpr int kOnsetsFileVersion = 1;
// No valid onsets file is longer than this.
inline constexpr std::size_t kMaxOnsetsFileBytes = 1024;

// CRC-32 (the one of zip and PNG).
std::uint32_t Crc32(const std::uint8_t* pData, std::size_t n, std::uint32_t nCrc = 0);

// The onsets file of a take: its name with the extension replaced by
// ".onsets" (V07.SGM -> V07.onsets).
std::string OnsetsPathFor(const std::string& takePath);

struct OnsetsRecord {
  int nPhrase = -1;
  std::uint32_t nTakeBytes = 0;
  std::uint32_t nTakeCrc = 0;
  std::uint32_t nShippedBytes = 0;
  std::uint32_t nShippedCrc = 0;
  TakeOnsets onsets;
};

std::string FormatOnsetsFile(const OnsetsRecord& record);
// False when the text is not a valid onsets file of this version: then
// *pRecord is left as it was.
bool ParseOnsetsFile(const std::string& text, OnsetsRecord* pRecord);

// Reads and parses an onsets file; false when it is missing or not valid.
bool ReadOnsetsFile(const std::string& path, OnsetsRecord* pRecord);
// Writes through a temporary file renamed into place; false on failure.
bool WriteOnsetsFile(const std::string& path, const OnsetsRecord& record);

// Aligns the take at takePath (a voice file) to the shipped phrase at
// shippedPath and stores the onsets beside the take. What keeping a take
// calls, after the take is saved. False when the take cannot be read (no
// onsets then) or the onsets file cannot be written (*pResult still holds
// them).
bool StoreTakeOnsets(const std::string& takePath, int nPhrase, const std::string& shippedPath,
                     TakeOnsets* pResult = nullptr);

// What a recitation of one's own take calls: the onsets stored beside the
// take when they belong to this take and this shipped phrase, else the take
// aligned again (and the onsets stored anew). *pFellBack is true when the
// onsets are the even scaling (the alignment failed). False, with no onsets,
// only when the take itself cannot be read.
bool LoadOrAlignOnsets(const std::string& takePath, int nPhrase, const std::string& shippedPath,
                       std::vector<int>* pOnsetsMs, bool* pFellBack);
// A take in memory (not kept yet) aligned to the shipped phrase at
// shippedPath: what playing a take back shows.
TakeOnsets AlignTakeToShipped(const std::vector<std::int16_t>& take, int nPhrase,
                              const std::string& shippedPath);
// The same from the stored file alone, never aligning: false when the take
// cannot be read or has no valid onsets file. What a recitation calls, so
// that no alignment runs in the middle of one.
bool LoadStoredOnsets(const std::string& takePath, int nPhrase, const std::string& shippedPath,
                      std::vector<int>* pOnsetsMs, bool* pFellBack);

}  // namespace solvari
