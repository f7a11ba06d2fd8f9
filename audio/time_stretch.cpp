// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/time_stretch.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "audio/time_stretch_engine.h"

namespace solvari {

namespace {

using RubberBand::RubberBandStretcher;

// Blocks handed to the stretcher; the cancel flag is looked at between them.
constexpr std::size_t kBlock = 2048;

// Offline (the whole phrase is known, so the stretcher studies it first and
// gives exactly the stretched length, with no start delay to trim), the
// finer engine (the better one for a voice with its soft onsets and gliding
// pitch), pitch kept and formants kept, one thread.
constexpr RubberBandStretcher::Options kOptions =
    RubberBandStretcher::OptionProcessOffline | RubberBandStretcher::OptionEngineFiner |
    RubberBandStretcher::OptionFormantPreserved | RubberBandStretcher::OptionPitchHighQuality |
    RubberBandStretcher::OptionThreadingNever;

using detail::Cancelled;

std::int16_t ToSample(float f) {
  const float v = std::round(f * 32768.0f);
  return static_cast<std::int16_t>(std::clamp(v, -32768.0f, 32767.0f));
}

bool Stretch(const std::vector<float>& in, int nTempoPercent, std::uint32_t nSampleRate,
             std::vector<std::int16_t>& out, const std::atomic<bool>* pCancel) {
  const double dRatio = 100.0 / nTempoPercent;
  RubberBandStretcher rb(nSampleRate, 1, kOptions, dRatio, 1.0);
  rb.setExpectedInputDuration(in.size());
  rb.setMaxProcessSize(kBlock);
  out.reserve(static_cast<std::size_t>(static_cast<double>(in.size()) * dRatio) + kBlock);

  for (std::size_t i = 0; i < in.size(); i += kBlock) {
    if (Cancelled(pCancel)) return false;
    const std::size_t n = std::min(kBlock, in.size() - i);
    const float* p = in.data() + i;
    rb.study(&p, n, i + n == in.size());
  }

  std::vector<float> buf(kBlock);
  float* pBuf = buf.data();
  auto drain = [&] {
    for (int nAvail = rb.available(); nAvail > 0; nAvail = rb.available()) {
      const std::size_t got =
          rb.retrieve(&pBuf, std::min(static_cast<std::size_t>(nAvail), kBlock));
      for (std::size_t k = 0; k < got; ++k) out.push_back(ToSample(buf[k]));
    }
  };
  for (std::size_t i = 0; i < in.size(); i += kBlock) {
    if (Cancelled(pCancel)) return false;
    const std::size_t n = std::min(kBlock, in.size() - i);
    const float* p = in.data() + i;
    rb.process(&p, n, i + n == in.size());
    drain();
  }
  // Whatever is still inside after the last block.
  while (rb.available() >= 0) {
    if (Cancelled(pCancel)) return false;
    if (rb.available() == 0) break;
    drain();
  }
  return true;
}

}  // namespace

bool detail::StretchEngine(const std::int16_t* pIn, std::size_t nSamples, std::uint32_t nSampleRate,
                           int nTempoPercent, std::vector<std::int16_t>& out,
                           const std::atomic<bool>* pCancel) {
  std::vector<float> in(nSamples);
  for (std::size_t i = 0; i < nSamples; ++i) in[i] = static_cast<float>(pIn[i]) / 32768.0f;
  return Stretch(in, nTempoPercent, nSampleRate, out, pCancel);
}

}  // namespace solvari
