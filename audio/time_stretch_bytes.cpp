// SPDX-License-Identifier: GPL-3.0-or-later
// The stretch's contract, over whichever engine the build has (Rubber Band's,
// or WSOLA's in the browser): the checks, the copy at 100, what running out
// of memory gives, and the bytes of a voice buffer.
#include <new>

#include "audio/time_stretch.h"
#include "audio/time_stretch_engine.h"

namespace solvari {

bool StretchPcm16(const std::int16_t* pIn, std::size_t nSamples, std::uint32_t nSampleRate,
                  int nTempoPercent, std::vector<std::int16_t>& out,
                  const std::atomic<bool>* pCancel) {
  out.clear();
  if (nTempoPercent < kMinTempo || nTempoPercent > kMaxTempo || nSampleRate == 0) return false;
  if (nSamples > 0 && pIn == nullptr) return false;
  try {
    if (nTempoPercent == 100) {
      out.assign(pIn, pIn + nSamples);
      return true;
    }
    if (nSamples == 0) return !detail::Cancelled(pCancel);
    if (detail::StretchEngine(pIn, nSamples, nSampleRate, nTempoPercent, out, pCancel)) return true;
  } catch (const std::bad_alloc&) {
  }
  out.clear();
  out.shrink_to_fit();
  return false;
}

bool StretchVoiceBytes(const std::uint8_t* pIn, std::size_t nBytes, std::uint32_t nSampleRate,
                       int nTempoPercent, std::vector<std::uint8_t>& out,
                       const std::atomic<bool>* pCancel) {
  out.clear();
  if (nBytes > 0 && pIn == nullptr) return false;
  try {
    if (nTempoPercent == 100 && nSampleRate != 0) {
      out.assign(pIn, pIn + nBytes);
      return true;
    }
    const std::size_t nSamples = nBytes / 2;
    std::vector<std::int16_t> in(nSamples);
    for (std::size_t i = 0; i < nSamples; ++i)
      in[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(pIn[2 * i]) |
                                        static_cast<std::uint16_t>(pIn[2 * i + 1]) << 8);
    std::vector<std::int16_t> stretched;
    if (!StretchPcm16(in.data(), nSamples, nSampleRate, nTempoPercent, stretched, pCancel))
      return false;
    out.resize(stretched.size() * 2);
    for (std::size_t i = 0; i < stretched.size(); ++i) {
      const auto u = static_cast<std::uint16_t>(stretched[i]);
      out[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
      out[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
    return true;
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
}

}  // namespace solvari
