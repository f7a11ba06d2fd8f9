// SPDX-License-Identifier: GPL-3.0-or-later
// Chanting slower or faster: the voice stretched in time with its pitch kept.
// Native builds stretch with Rubber Band's offline stretcher (the finer
// engine, tuned for a voice; time_stretch.cpp), the browser build with a
// small WSOLA of its own (time_stretch_wsola.cpp); both keep the promises
// below, and share StretchVoiceBytes (time_stretch_bytes.cpp).
// A tempo is a percentage of the recorded pace: 50 takes twice as long, 150
// two thirds of the time. At 100 the sound is left exactly as it is.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/tempo.h"

namespace solvari {

// Stretches nSamples of 16-bit mono PCM at nSampleRate to the tempo and puts
// the result into out (replacing what it held). The result lasts
// nSamples * 100 / tempo samples, give or take a few. Returns false, with out
// empty, for a tempo outside kMinTempo..kMaxTempo, a sample rate of 0, when
// memory runs out, or when *pCancel turned true on the way (it is looked at
// between blocks). At 100 out is a copy of the input.
bool StretchPcm16(const std::int16_t* pIn, std::size_t nSamples, std::uint32_t nSampleRate,
                  int nTempoPercent, std::vector<std::int16_t>& out,
                  const std::atomic<bool>* pCancel = nullptr);

// The same on the bytes of a voice buffer (little-endian 16-bit samples). At
// 100 the bytes are copied as they are, an odd last byte included; otherwise
// an odd last byte, which is no whole sample, is left out.
bool StretchVoiceBytes(const std::uint8_t* pIn, std::size_t nBytes, std::uint32_t nSampleRate,
                       int nTempoPercent, std::vector<std::uint8_t>& out,
                       const std::atomic<bool>* pCancel = nullptr);

}  // namespace solvari
