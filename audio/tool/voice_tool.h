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
// existing output is replaced only with bForce. Messages go to out.
bool ConvertRecording(const std::string& wavPath, const std::string& segmentPath, bool bForce,
                      std::ostream& out);

// Checks the 54 segments V00.SGM .. V53.SGM in a folder: present, loadable,
// and each one's length against the highlight time of its phrase. Writes one
// line per file and a summary; returns the number of problems (a missing,
// unreadable or too short file); a long one is only a remark.
int CheckSegments(const std::string& dir, std::ostream& out);

}  // namespace solvari
