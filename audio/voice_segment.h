// SPDX-License-Identifier: GPL-3.0-or-later
// The voice files beside the executable: one per phrase, V00.SGM to V53.SGM,
// each a 4-byte little-endian byte count N followed by N bytes of 16-bit mono
// PCM at 11025 samples per second. Bytes after the sound are never read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/wave_buffer.h"
#include "core/voice_segment_path.h"

namespace solvari {

inline constexpr std::uint32_t kVoiceSamplesPerSec = 11025;
inline constexpr std::uint32_t kVoiceBitsPerSample = 16;
inline constexpr std::uint32_t kVoiceChannels = 1;
inline constexpr std::uint32_t kVoiceBytesPerSec = 22050;

// Loads the file at path into wave with the voice format; 1 when the sound is
// ready to be played, 0 otherwise (missing file, fewer than 4 bytes, a length
// whose block cannot be allocated or that the file cannot hold, fewer sound
// bytes than the length says). Shows nothing; the file is closed on every
// path. Call it only while the output device is closed.
int LoadVoiceSegment(CWaveBuffer& wave, const std::string& path);

// Reads a voice file's sound bytes into pPcm, with the checks of
// LoadVoiceSegment; false (pPcm emptied) where that would fail.
bool ReadVoiceSegmentFile(const std::string& path, std::vector<std::uint8_t>* pPcm);

// Puts sound bytes read with ReadVoiceSegmentFile into wave with the voice
// format, as LoadVoiceSegment does from the file; 1 when ready to be played.
int LoadVoiceSegmentBytes(CWaveBuffer& wave, const std::uint8_t* pData, std::uint32_t nBytes);

// Writes a segment file: the length and the PCM bytes. Returns false on any
// failure (the partly written file is then removed).
bool WriteVoiceSegment(const std::string& path, const std::uint8_t* pData, std::uint32_t nBytes);

}  // namespace solvari
