// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/tool/voice_tool.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <sstream>

#include "audio/take_align.h"
#include "audio/take_onsets.h"
#include "audio/voice_segment.h"
#include "audio/wav_file.h"
#include "core/sutra_tables.h"

namespace solvari {
namespace {

namespace fs = std::filesystem;

std::uint32_t Le32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// A voice longer than its highlight by more than this keeps the next phrase
// waiting noticeably.
constexpr int kLongSlackMs = 1000;

std::string OwnVoiceSegmentName(int nPhrase) {
  char name[32];
  std::snprintf(name, sizeof name, "V%2.2d.SGM", nPhrase);
  return name;
}

}  // namespace

bool ReadWav(const std::string& path, WavSound* pSound, std::string* pError) {
  WavFile wav;
  if (!ReadWavFile(path, &wav, pError)) return false;
  auto fail = [&](const std::string& why) {
    *pError = path + ": " + why;
    return false;
  };
  const std::uint16_t nTag = wav.nFormatTag, nChannels = wav.nChannels, nBits = wav.nBitsPerSample;
  const std::uint32_t nRate = wav.nSamplesPerSec;
  if (nTag == kWavFormatFloat)
    return fail("floating-point samples; save the recording as integer PCM");
  if (nTag != kWavFormatPcm)
    return fail("compressed sound (format " + std::to_string(nTag) +
                "); save the recording as PCM");
  if (nBits != 8 && nBits != 16 && nBits != 24 && nBits != 32) {
    return fail(std::to_string(nBits) + "-bit samples; use 8, 16, 24 or 32 bits");
  }
  if (nChannels == 0) return fail("no channels");
  if (nRate < 1000 || nRate > 768000) {
    return fail("sample rate " + std::to_string(nRate) + " Hz is not plausible");
  }
  const std::uint16_t nBlockAlign = wav.nBlockAlign;
  if (nBlockAlign != nChannels * (nBits / 8)) return fail("inconsistent block size");
  if (wav.IsTruncated()) {
    return fail("truncated: the sound should have " + std::to_string(wav.nDataDeclared) +
                " bytes, the file holds " + std::to_string(wav.data.size()));
  }
  const std::size_t nFrames = wav.data.size() / nBlockAlign;
  if (nFrames == 0) return fail("the recording is empty");
  pSound->nSamplesPerSec = nRate;
  pSound->nChannels = nChannels;
  pSound->nBitsPerSample = nBits;
  pSound->samples.assign(nFrames, 0.0f);
  const int nBytes = nBits / 8;
  for (std::size_t i = 0; i < nFrames; ++i) {
    double sum = 0;
    for (int c = 0; c < nChannels; ++c) {
      const unsigned char* p = wav.data.data() + i * nBlockAlign + c * nBytes;
      double v;
      switch (nBits) {
        case 8:
          v = (p[0] - 128) / 128.0;
          break;
        case 16:
          v = static_cast<std::int16_t>(Le16(p)) / 32768.0;
          break;
        case 24: {
          std::int32_t s = p[0] | p[1] << 8 | p[2] << 16;
          if (s & 0x800000) s -= 0x1000000;
          v = s / 8388608.0;
          break;
        }
        default:
          v = static_cast<std::int32_t>(Le32(p)) / 2147483648.0;
          break;
      }
      sum += v;
    }
    pSound->samples[i] = static_cast<float>(sum / nChannels);
  }
  return true;
}

std::vector<float> Resample(const std::vector<float>& in, std::uint32_t nFrom, std::uint32_t nTo) {
  if (in.empty() || nFrom == nTo) return in;
  const double ratio = static_cast<double>(nFrom) / nTo;
  // Box low-pass when going down.
  std::vector<float> src = in;
  const int nWidth = ratio > 1.0 ? static_cast<int>(std::ceil(ratio)) : 1;
  if (nWidth > 1) {
    std::vector<double> prefix(in.size() + 1, 0.0);
    for (std::size_t i = 0; i < in.size(); ++i) prefix[i + 1] = prefix[i] + in[i];
    for (std::size_t i = 0; i < in.size(); ++i) {
      const std::size_t lo = i >= static_cast<std::size_t>(nWidth / 2) ? i - nWidth / 2 : 0;
      const std::size_t hi = std::min(in.size(), lo + nWidth);
      src[i] = static_cast<float>((prefix[hi] - prefix[lo]) / static_cast<double>(hi - lo));
    }
  }
  const auto nOut = static_cast<std::size_t>(std::llround(in.size() / ratio));
  std::vector<float> out(nOut);
  for (std::size_t i = 0; i < nOut; ++i) {
    const double x = i * ratio;
    const auto j = static_cast<std::size_t>(x);
    const double t = x - j;
    const float a = src[std::min(j, src.size() - 1)];
    const float b = src[std::min(j + 1, src.size() - 1)];
    out[i] = static_cast<float>(a + (b - a) * t);
  }
  return out;
}

std::vector<std::uint8_t> ToPcm16(const std::vector<float>& samples) {
  std::vector<std::uint8_t> pcm(samples.size() * 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double v = std::clamp(static_cast<double>(samples[i]) * 32768.0, -32768.0, 32767.0);
    const auto s = static_cast<std::int16_t>(std::lround(v));
    pcm[2 * i] = static_cast<std::uint8_t>(s & 0xFF);
    pcm[2 * i + 1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
  }
  return pcm;
}

bool ConvertRecording(const std::string& wavPath, const std::string& segmentPath, bool bForce,
                      std::ostream& out, const std::string& shippedFolder) {
  std::error_code ec;
  if (fs::exists(segmentPath, ec) && !bForce) {
    out << segmentPath << ": already exists; use --force to replace it\n";
    return false;
  }
  WavSound sound;
  std::string error;
  if (!ReadWav(wavPath, &sound, &error)) {
    out << error << "\n";
    return false;
  }
  const std::vector<std::uint8_t> pcm =
      ToPcm16(Resample(sound.samples, sound.nSamplesPerSec, kVoiceSamplesPerSec));
  if (pcm.size() > 0x7FFFFFFFu) {
    out << wavPath << ": too long for a voice segment\n";
    return false;
  }
  // Write beside the target and rename, so that a failure never leaves half
  // a file under the segment's name.
  const std::string temp = segmentPath + ".part";
  if (!WriteVoiceSegment(temp, pcm.data(), static_cast<std::uint32_t>(pcm.size()))) {
    out << segmentPath << ": cannot be written\n";
    return false;
  }
  fs::rename(temp, segmentPath, ec);
  if (ec) {
    fs::remove(temp, ec);
    out << segmentPath << ": cannot be written\n";
    return false;
  }
  out << wavPath << " (" << sound.nSamplesPerSec << " Hz, " << sound.nBitsPerSample << "-bit, "
      << sound.nChannels << (sound.nChannels == 1 ? " channel" : " channels") << ") -> "
      << segmentPath << ", " << std::fixed << std::setprecision(2)
      << static_cast<double>(pcm.size()) / kVoiceBytesPerSec << " s\n";
  const int nPhrase = PhraseOfSegmentName(segmentPath);
  if (nPhrase >= 0 && !shippedFolder.empty()) {
    TakeOnsets onsets;
    const std::string shipped = (fs::path(shippedFolder) / OwnVoiceSegmentName(nPhrase)).string();
    if (!StoreTakeOnsets(segmentPath, nPhrase, shipped, &onsets)) {
      out << OnsetsPathFor(segmentPath) << ": cannot be written\n";
    } else if (onsets.bFellBack) {
      out << OnsetsPathFor(segmentPath) << ": even scaling (" << AlignFailureText(onsets.failure)
          << ")\n";
    } else {
      out << OnsetsPathFor(segmentPath) << ": aligned to the shipped phrase\n";
    }
  }
  return true;
}

int PhraseOfSegmentName(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  if (name.size() != 7 || (name[0] != 'V' && name[0] != 'v') || name[3] != '.') return -1;
  if (name[1] < '0' || name[1] > '9' || name[2] < '0' || name[2] > '9') return -1;
  std::string ext = name.substr(4);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (ext != "SGM") return -1;
  const int n = (name[1] - '0') * 10 + (name[2] - '0');
  return n <= kLastPhrase ? n : -1;
}

std::string FindShippedFolder(const std::string& exePath) {
  std::error_code ec;
  const fs::path dir = fs::path(exePath).parent_path();
  for (const fs::path& candidate : {dir, dir / ".." / "lib" / "solvari"}) {
    if (fs::is_regular_file(candidate / "V00.SGM", ec))
      return fs::weakly_canonical(candidate, ec).string();
  }
  return {};
}

int PrintOnsets(const std::string& path, int nPhrase, const std::string& shippedFolder,
                std::ostream& out, std::ostream& err) {
  if (nPhrase < 0 || nPhrase > kLastPhrase) {
    err << "no phrase " << nPhrase << " (0 to " << kLastPhrase << ")\n";
    return 1;
  }
  std::vector<std::uint8_t> pcm;
  if (!ReadVoiceSegmentFile(path, &pcm)) {
    err << path << ": not a voice file (missing, or shorter than its length field says)\n";
    return 1;
  }
  std::vector<std::int16_t> take(pcm.size() / 2), shipped;
  for (std::size_t i = 0; i < take.size(); ++i)
    take[i] =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8));
  std::vector<std::uint8_t> shippedPcm;
  if (!shippedFolder.empty() &&
      ReadVoiceSegmentFile((fs::path(shippedFolder) / OwnVoiceSegmentName(nPhrase)).string(),
                           &shippedPcm)) {
    shipped.resize(shippedPcm.size() / 2);
    for (std::size_t i = 0; i < shipped.size(); ++i)
      shipped[i] = static_cast<std::int16_t>(
          static_cast<std::uint16_t>(shippedPcm[2 * i] | shippedPcm[2 * i + 1] << 8));
  }
  const TakeOnsets onsets =
      AlignTake(take.data(), take.size(), shipped.data(), shipped.size(), nPhrase);
  for (int v : onsets.onsetsMs) out << v << "\n";
  if (onsets.bFellBack)
    err << path << ": even scaling, not aligned (" << AlignFailureText(onsets.failure) << ")\n";
  return 0;
}

int CheckSegments(const std::string& dir, std::ostream& out) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    out << dir << ": no such folder\n";
    return kPhraseCount;
  }
  CWaveBuffer wave(nullptr, nullptr, nullptr);
  int nProblems = 0, nRemarks = 0;
  out << std::fixed << std::setprecision(2);
  for (int p = 0; p < kPhraseCount; ++p) {
    char szName[32];
    std::snprintf(szName, sizeof szName, "V%2.2d.SGM", p);
    const std::string path = (fs::path(dir) / szName).string();
    const int nHighlightMs = GetPhraseDuration(p);
    out << szName << "  ";
    if (!fs::exists(path, ec)) {
      out << "missing\n";
      ++nProblems;
      continue;
    }
    if (!LoadVoiceSegment(wave, path)) {
      out << "cannot be loaded (shorter than its length field says, or damaged)\n";
      ++nProblems;
      continue;
    }
    const std::uint32_t n = wave.GetDataSize();
    const double dMs = n * 1000.0 / kVoiceBytesPerSec;
    out << dMs / 1000 << " s for " << nHighlightMs / 1000.0 << " s of highlight";
    if (n % 2) {
      out << ", odd byte count (half a sample)";
      ++nRemarks;
    }
    const std::uintmax_t nFile = fs::file_size(path, ec);
    if (!ec && nFile > 4u + n) {
      out << ", " << (nFile - 4 - n) << " extra bytes ignored";
      ++nRemarks;
    }
    if (dMs < nHighlightMs) {
      out << ": TOO SHORT by " << std::setprecision(0) << nHighlightMs - dMs
          << " ms, the next phrase would start before the last character is lit\n"
          << std::setprecision(2);
      ++nProblems;
    } else if (dMs > nHighlightMs + kLongSlackMs) {
      out << ": long, the next phrase waits " << std::setprecision(0) << dMs - nHighlightMs
          << " ms after the last character\n"
          << std::setprecision(2);
      ++nRemarks;
    } else {
      out << ": ok\n";
    }
  }
  out << (nProblems ? std::to_string(nProblems) + " problem(s)" : std::string("all 54 segments ok"))
      << (nRemarks ? ", " + std::to_string(nRemarks) + " remark(s)" : std::string()) << "\n";
  return nProblems;
}

}  // namespace solvari
