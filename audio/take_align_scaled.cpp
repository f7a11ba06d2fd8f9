// SPDX-License-Identifier: GPL-3.0-or-later
// AlignTake for the builds without FFTW (the Windows cross build, which has
// no FFTW of its own): every take is followed by the even scaling.
#include "audio/take_align.h"
#include "core/sutra_tables.h"

namespace solvari {

TakeOnsets AlignTake(const std::int16_t* /*pTake*/, std::size_t nTake,
                     const std::int16_t* /*pShipped*/, std::size_t /*nShipped*/, int nPhrase) {
  TakeOnsets result;
  result.bFellBack = true;
  result.failure =
      nPhrase < 0 || nPhrase > kLastPhrase ? AlignFailure::kBadPhrase : AlignFailure::kUnavailable;
  result.onsetsMs = ScaledOnsets(nTake, nPhrase);
  return result;
}

}  // namespace solvari
