// SPDX-License-Identifier: GPL-3.0-or-later
// The engine behind StretchPcm16, one per build: Rubber Band's
// (time_stretch.cpp) or WSOLA (time_stretch_wsola.cpp, the browser's). The
// checks of the contract are made once, in time_stretch_bytes.cpp, before the
// engine is called.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace solvari::detail {

// Called with at least one sample, a rate above 0 and a tempo within
// kMinTempo..kMaxTempo other than 100; out is empty. False when *pCancel
// turned true on the way. May throw std::bad_alloc.
bool StretchEngine(const std::int16_t* pIn, std::size_t nSamples, std::uint32_t nSampleRate,
                   int nTempoPercent, std::vector<std::int16_t>& out,
                   const std::atomic<bool>* pCancel);

inline bool Cancelled(const std::atomic<bool>* pCancel) {
  return pCancel != nullptr && pCancel->load(std::memory_order_relaxed);
}

}  // namespace solvari::detail
