// SPDX-License-Identifier: GPL-3.0-or-later
// RIFF/WAVE files, read in one place for the whole program: the title sound
// and solvari-voice. The reader checks the file's structure (its header, its
// chunks, the format and where the sound lies); which formats a caller can
// play or convert is that caller's decision.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace solvari {

inline constexpr std::uint16_t kWavFormatPcm = 1;
inline constexpr std::uint16_t kWavFormatFloat = 3;
inline constexpr std::uint16_t kWavFormatExtensible = 0xFFFE;

struct WavFile {
  std::uint16_t nFormatTag = 0;  // an extensible format's sub-format
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint16_t nBlockAlign = 0;
  std::uint16_t nBitsPerSample = 0;
  std::vector<std::uint8_t> data;   // the "data" chunk's bytes, as far as the file holds them
  std::uint32_t nDataDeclared = 0;  // the bytes the "data" chunk says it has
  // The "data" chunk claims more bytes than the file holds.
  bool IsTruncated() const { return data.size() < nDataDeclared; }
};

// Reads a .wav file's bytes into *pWav. False, with a message for the user in
// *pError, when there is no RIFF/WAVE header, when the "fmt " chunk is missing,
// short or comes after the sound, when a chunk before the sound is longer than
// the file, or when there is no "data" chunk. A "data" chunk that claims more
// than the file holds keeps what the file holds (see IsTruncated).
bool ParseWav(const std::uint8_t* pBytes, std::size_t nBytes, WavFile* pWav, std::string* pError);

// The same from a file; the messages then begin with the path.
bool ReadWavFile(const std::string& path, WavFile* pWav, std::string* pError);

}  // namespace solvari
