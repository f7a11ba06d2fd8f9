// SPDX-License-Identifier: GPL-3.0-or-later
// What solvari-voice does: turn .wav recordings into voice segment files and
// check a folder of segments.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace solvari {

// A PCM recording, mixed down to one channel of samples in -1..1.
struct WavSound {
  std::uint32_t nSamplesPerSec = 0;
  std::uint16_t nChannels = 0;
  std::uint16_t nBitsPerSample = 0;
  std::vector<float> samples;
};

// Reads a RIFF/WAVE file (with audio/wav_file.h) of integer PCM: 8, 16, 24 or
// 32 bits, any channel count, any plausible rate, the whole of its sound. On
// failure returns false with a message for the user.
bool ReadWav(const std::string& path, WavSound* pSound, std::string* pError);

// Resamples to nRate with linear interpolation after a box filter as wide as
// the rate ratio, so that downsampling does not fold high sounds back.
std::vector<float> Resample(const std::vector<float>& in, std::uint32_t nFrom, std::uint32_t nTo);

// 16-bit little-endian PCM of the samples, clipped.
std::vector<std::uint8_t> ToPcm16(const std::vector<float>& samples);

// Converts one .wav file into a segment file (11025 Hz, 16-bit, mono). An
// existing output is replaced only with bForce. Messages go to out. When the
// segment is named for a phrase (V07.SGM) and shippedFolder is given, the
// take is aligned to that folder's shipped phrase and its onsets are stored
// beside it (V07.onsets).
bool ConvertRecording(const std::string& wavPath, const std::string& segmentPath, bool bForce,
                      std::ostream& out, const std::string& shippedFolder = {});

// The phrase a segment file is named for: 7 for ".../V07.SGM" (any case),
// -1 for any other name.
int PhraseOfSegmentName(const std::string& path);

// The folder of the shipped voice for a program at exePath: beside it, or
// ../lib/solvari from it (as installed); empty when neither holds V00.SGM.
std::string FindShippedFolder(const std::string& exePath);

// Prints the onset of each character of phrase nPhrase in the voice file at
// path, in ms from the start of the file, one per line, aligned to the
// shipped phrase in shippedFolder. A note on stderr says when the onsets
// are the even scaling and why. Returns 0, or 1 with a message on err when
// the file is not a voice file or the phrase does not exist.
int PrintOnsets(const std::string& path, int nPhrase, const std::string& shippedFolder,
                std::ostream& out, std::ostream& err);

// Checks the 54 segments V00.SGM .. V53.SGM in a folder: present, loadable,
// and each one's length against the highlight time of its phrase. Writes one
// line per file and a summary; returns the number of problems (a missing,
// unreadable or too short file); a long one is only a remark.
int CheckSegments(const std::string& dir, std::ostream& out);

}  // namespace solvari
