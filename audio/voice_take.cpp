// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/voice_take.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace solvari {
namespace {

constexpr std::size_t kFrame = 110;   // 10 ms at 11025 Hz
constexpr double kSilenceRms = 100;   // a take never louder than this (-50 dBFS) is silence
constexpr double kMinThreshold = 60;  // the voice threshold is never lower than this
constexpr double kMaxGain = 30;

double Mean(const std::int16_t* p, std::size_t n) {
  if (n == 0) return 0;
  double dSum = 0;
  for (std::size_t i = 0; i < n; ++i) dSum += p[i];
  return dSum / static_cast<double>(n);
}

std::vector<double> FrameLevels(const std::int16_t* p, std::size_t n, double dMean) {
  std::vector<double> levels;
  levels.reserve(n / kFrame + 1);
  for (std::size_t i = 0; i < n; i += kFrame) {
    const std::size_t nEnd = std::min(n, i + kFrame);
    double dSum = 0;
    for (std::size_t k = i; k < nEnd; ++k) {
      const double v = p[k] - dMean;
      dSum += v * v;
    }
    levels.push_back(std::sqrt(dSum / static_cast<double>(nEnd - i)));
  }
  return levels;
}

struct FileCloser {
  void operator()(std::FILE* pFile) const { std::fclose(pFile); }
};

bool IsDiskFull(int nErrno) {
#ifdef EDQUOT
  if (nErrno == EDQUOT) return true;
#endif
  return nErrno == ENOSPC || nErrno == EFBIG;
}

}  // namespace

bool FindVoicedSpan(const std::int16_t* pSamples, std::size_t nSamples, VoicedSpan* pSpan) {
  if (!pSamples || nSamples == 0) return false;
  const std::vector<double> levels = FrameLevels(pSamples, nSamples, Mean(pSamples, nSamples));
  const double dPeak = *std::max_element(levels.begin(), levels.end());
  if (dPeak < kSilenceRms) return false;
  // The noise floor: the level that one frame in twenty stays below (the
  // pauses, and the dips between syllables of a take without pauses). A take
  // whose loudest frame is not clearly above it is steady noise, not voice.
  std::vector<double> sorted = levels;
  const std::size_t nTwentieth = sorted.size() / 20;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(nTwentieth),
                   sorted.end());
  const double dFloor = sorted[nTwentieth];
  if (dPeak < 3 * dFloor) return false;
  const double dThreshold =
      std::min(std::max({kMinThreshold, 3 * dFloor, 0.03 * dPeak}), 0.1 * dPeak);

  std::size_t nFirst = levels.size(), nLast = 0;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    if (levels[i] <= dThreshold) continue;
    nFirst = std::min(nFirst, i);
    nLast = i;
  }
  if (nFirst > nLast) return false;
  VoicedSpan span{nFirst * kFrame, std::min(nSamples, (nLast + 1) * kFrame)};
  if ((span.nEnd - span.nFirst) * 1000 < static_cast<std::size_t>(kTakeMinVoicedMs) * 11025)
    return false;
  if (pSpan) *pSpan = span;
  return true;
}

std::vector<std::int16_t> PrepareTake(const std::int16_t* pSamples, std::size_t nSamples) {
  VoicedSpan span;
  if (!FindVoicedSpan(pSamples, nSamples, &span)) return {};
  const double dMean = Mean(pSamples, nSamples);
  // The stretch kept, in the take's sample numbers; outside the take it is
  // silence.
  const auto nFrom =
      static_cast<std::ptrdiff_t>(span.nFirst) - static_cast<std::ptrdiff_t>(kTakeLeadSamples);
  const std::size_t nCount = span.nEnd - span.nFirst + kTakeLeadSamples + kTakeTailSamples;
  std::vector<double> kept(nCount, 0.0);
  double dPeak = 0;
  for (std::size_t i = 0; i < nCount; ++i) {
    const std::ptrdiff_t k = nFrom + static_cast<std::ptrdiff_t>(i);
    if (k < 0 || static_cast<std::size_t>(k) >= nSamples) continue;
    kept[i] = pSamples[k] - dMean;
    dPeak = std::max(dPeak, std::abs(kept[i]));
  }
  const double dGain = dPeak > 0 ? std::min(kMaxGain, kTakePeak / dPeak) : 1.0;
  // 5 ms fades, so that the cut ends do not click.
  const std::size_t nFade = std::min<std::size_t>(55, nCount / 2);
  std::vector<std::int16_t> out(nCount);
  for (std::size_t i = 0; i < nCount; ++i) {
    double v = kept[i] * dGain;
    if (i < nFade) v *= static_cast<double>(i) / nFade;
    if (nCount - 1 - i < nFade) v *= static_cast<double>(nCount - 1 - i) / nFade;
    out[i] = static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
  }
  return out;
}

double TakePaceFactor(std::size_t nSamples, int nTableMs) {
  if (nTableMs <= 0) return 1.0;
  const std::size_t nPad = kTakeLeadSamples + kTakeTailSamples;
  const double dVoicedMs =
      nSamples > nPad ? static_cast<double>(nSamples - nPad) * 1000.0 / 11025.0 : 0.0;
  return std::clamp(dVoicedMs / nTableMs, 0.25, 4.0);
}

std::string OwnVoiceFileName(int nPhrase) {
  char name[32];
  std::snprintf(name, sizeof name, "V%2.2d.SGM", nPhrase);
  return name;
}

SaveTakeResult SaveVoiceTake(const std::string& strFolder, int nPhrase,
                             const std::vector<std::int16_t>& samples,
                             const std::string& strProgramFolder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path folder(strFolder);
  if (strFolder.empty()) return SaveTakeResult::kNoFolder;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return SaveTakeResult::kNoFolder;
  if (!strProgramFolder.empty() && fs::equivalent(folder, fs::path(strProgramFolder), ec))
    return SaveTakeResult::kRefused;

  const fs::path target = folder / OwnVoiceFileName(nPhrase);
  const fs::path temp = folder / (OwnVoiceFileName(nPhrase) + ".part");
  const auto nBytes = static_cast<std::uint32_t>(samples.size() * 2);

  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(temp.string().c_str(), "wb"));
  if (!file) return IsDiskFull(errno) ? SaveTakeResult::kDiskFull : SaveTakeResult::kNotWritable;
  std::vector<unsigned char> bytes(4 + static_cast<std::size_t>(nBytes));
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(nBytes >> (8 * i));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto v = static_cast<std::uint16_t>(samples[i]);
    bytes[4 + 2 * i] = static_cast<unsigned char>(v & 0xFF);
    bytes[5 + 2 * i] = static_cast<unsigned char>(v >> 8);
  }
  errno = 0;
  bool bOk = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  bOk = bOk && std::fflush(file.get()) == 0;
#if defined(__unix__) || defined(__APPLE__)
  bOk = bOk && ::fsync(fileno(file.get())) == 0;
#endif
  int nErrno = errno;
  if (std::fclose(file.release()) != 0 && bOk) {
    bOk = false;
    nErrno = errno;
  }
  if (!bOk) {
    fs::remove(temp, ec);
    return IsDiskFull(nErrno) ? SaveTakeResult::kDiskFull : SaveTakeResult::kNotWritable;
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    return SaveTakeResult::kNotWritable;
  }
  return SaveTakeResult::kSaved;
}

double NormalisedCorrelation(const std::int16_t* pA, const std::int16_t* pB, std::size_t n) {
  double dAB = 0, dAA = 0, dBB = 0;
  for (std::size_t i = 0; i < n; ++i) {
    dAB += static_cast<double>(pA[i]) * pB[i];
    dAA += static_cast<double>(pA[i]) * pA[i];
    dBB += static_cast<double>(pB[i]) * pB[i];
  }
  if (dAA <= 0 || dBB <= 0) return 0;
  return dAB / std::sqrt(dAA * dBB);
}

}  // namespace solvari
