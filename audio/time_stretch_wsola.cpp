// SPDX-License-Identifier: GPL-3.0-or-later
// The time stretch without Rubber Band, for the browser build: WSOLA
// (waveform-similarity overlap-add). The stretched voice is laid down in
// Hann-windowed frames a fixed half frame apart; each frame is read from the
// input near where the tempo puts it, at the offset whose waveform best
// continues the frame laid down before it (by normalized cross-correlation),
// so that the periods of the voice overlap in step and its pitch is kept.
// Tuned for the 11025 Hz mono chanting voice: 30 ms frames, a search of
// 12 ms either way (a full period of a voice down to about 80 Hz).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>

#include "audio/time_stretch_engine.h"

namespace solvari {

namespace {

constexpr std::uint32_t kFrameMs = 30;
constexpr std::uint32_t kSearchMs = 12;
// Frames laid down between two looks at the cancel flag.
constexpr std::size_t kFramesPerBlock = 32;
constexpr double kPi = 3.14159265358979323846;

using detail::Cancelled;

// The start in x (nSearch candidates from nFrom on) whose nLen samples best
// match those at pTarget: the largest correlation over the candidate's
// energy. Sums of int16 products in 64 bits cannot overflow for any frame.
std::size_t BestMatch(const std::int16_t* x, std::size_t nFrom, std::size_t nSearch,
                      const std::int16_t* pTarget, std::size_t nLen) {
  std::int64_t energy = 0;
  for (std::size_t i = 0; i < nLen; ++i) energy += std::int64_t{x[nFrom + i]} * x[nFrom + i];
  std::size_t best = nFrom;
  double bestScore = std::numeric_limits<double>::lowest();
  for (std::size_t s = nFrom; s < nFrom + nSearch; ++s) {
    if (s > nFrom) {
      const std::int64_t out = x[s - 1];
      const std::int64_t in = x[s + nLen - 1];
      energy += in * in - out * out;
    }
    std::int64_t corr = 0;
    for (std::size_t i = 0; i < nLen; ++i) corr += std::int64_t{x[s + i]} * pTarget[i];
    // Silence matches nothing; a louder candidate is not preferred for it.
    const double score =
        energy > 0 ? static_cast<double>(corr) / std::sqrt(static_cast<double>(energy)) : 0.0;
    if (score > bestScore) {
      bestScore = score;
      best = s;
    }
  }
  return best;
}

bool Stretch(const std::int16_t* pIn, std::size_t nSamples, std::uint32_t nSampleRate,
             int nTempoPercent, std::vector<std::int16_t>& out, const std::atomic<bool>* pCancel) {
  const auto tempo = static_cast<std::uint64_t>(nTempoPercent);
  const std::size_t nOut =
      static_cast<std::size_t>((static_cast<std::uint64_t>(nSamples) * 100 + tempo / 2) / tempo);
  // A frame of two hops; the Hann windows of frames a hop apart add up to 1.
  const std::size_t nHop = std::max<std::size_t>(1, std::uint64_t{nSampleRate} * kFrameMs / 2000);
  const std::size_t nFrame = 2 * nHop;
  const std::size_t nDelta = std::uint64_t{nSampleRate} * kSearchMs / 1000;

  std::vector<float> window(nFrame);
  for (std::size_t i = 0; i < nFrame; ++i)
    window[i] = static_cast<float>(
        0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / static_cast<double>(nFrame)));
  // The input with silence after it, so that a frame or a match read near
  // its end stays inside; frames start no later than nLastStart.
  std::vector<std::int16_t> x(pIn, pIn + nSamples);
  x.resize(nSamples + 2 * nFrame, 0);
  const std::size_t nLastStart = nSamples > nFrame ? nSamples - nFrame : 0;

  const std::size_t nFrames = (nOut + nHop - 1) / nHop;
  std::vector<float> acc(nFrames * nHop + nFrame, 0.0f);
  std::size_t prevStart = 0;
  for (std::size_t k = 0; k < nFrames; ++k) {
    if (k % kFramesPerBlock == 0 && Cancelled(pCancel)) return false;
    // Where the tempo puts this frame's input, in whole samples without drift.
    const auto nominal =
        static_cast<std::size_t>((static_cast<std::uint64_t>(k) * nHop * tempo + 50) / 100);
    std::size_t start = 0;
    if (k > 0) {
      const std::size_t from = std::min(nominal > nDelta ? nominal - nDelta : 0, nLastStart);
      const std::size_t to = std::min(nominal + nDelta, nLastStart);
      // What would follow the previous frame had the input not been cut.
      const std::size_t natural = std::min(prevStart + nHop, nLastStart + nHop);
      start = BestMatch(x.data(), from, to - from + 1, x.data() + natural, nFrame);
    }
    // The first frame opens at full weight: the voice starts as recorded.
    float* pAcc = acc.data() + k * nHop;
    for (std::size_t i = 0; i < nFrame; ++i) {
      const float w = k == 0 && i < nHop ? 1.0f : window[i];
      pAcc[i] += w * static_cast<float>(x[start + i]);
    }
    prevStart = start;
  }
  out.resize(nOut);
  for (std::size_t i = 0; i < nOut; ++i)
    out[i] = static_cast<std::int16_t>(std::clamp(std::lround(acc[i]), -32768L, 32767L));
  return true;
}

}  // namespace

bool detail::StretchEngine(const std::int16_t* pIn, std::size_t nSamples, std::uint32_t nSampleRate,
                           int nTempoPercent, std::vector<std::int16_t>& out,
                           const std::atomic<bool>* pCancel) {
  return Stretch(pIn, nSamples, nSampleRate, nTempoPercent, out, pCancel);
}

}  // namespace solvari
