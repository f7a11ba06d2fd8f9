// SPDX-License-Identifier: GPL-3.0-or-later
// Outlines of monochrome pictures up to 192 pixels wide, as the large glyphs
// are drawn at both scales and the readings at scale 2: a black halo of a
// given width around the ink, and the ink in one colour. (At scale 1 the
// reading band keeps its own narrower bit rows.)
#pragma once

#include <cstdint>

#include "render/raster.h"

namespace solvari {

// One row of a frame: frame column mx is bit 63 - mx % 64 of word mx / 64,
// so that the leftmost pixel is the most significant bit, as in the bitmaps.
struct WideRow {
  static constexpr int kWords = 3;
  static constexpr int kBits = 64 * kWords;
  std::uint64_t w[kWords] = {};

  bool Any() const { return (w[0] | w[1] | w[2]) != 0; }
  WideRow& operator|=(const WideRow& o) {
    for (int i = 0; i < kWords; ++i) w[i] |= o.w[i];
    return *this;
  }
};

// The row of nBits bits (most significant bit of the first byte leftmost)
// with its first bit at frame column nAt; set bits are ink. nAt + nBits must
// not pass kBits.
WideRow WideRowFromBytes(const std::uint8_t* pBytes, int nBits, int nAt, bool bInvert);

// Paints every pixel of target row ty whose frame bit is set, frame column 0
// at target x, within the clip box.
void PaintWideRow(CDC* pDC, int x, int ty, const WideRow& bits, std::uint32_t px);

// ink holds nFrameHeight frame rows nFrameWidth columns wide (ink bits set,
// none within nHalo of the frame's edges). Draws, with the frame's top-left
// corner at (x, y) and through the clip box: when bHalo, every frame pixel
// that is not ink and lies within nHalo pixels of ink in both directions in
// black; when bBody, every ink pixel in crBody.
void DrawWideOutline(CDC* pDC, const WideRow* ink, int nFrameWidth, int nFrameHeight, int nHalo,
                     int x, int y, bool bHalo, bool bBody, COLORREF crBody);

}  // namespace solvari
