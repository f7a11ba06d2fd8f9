// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the small reading of one character (one 40-row band of a reading
// bitmap) in the style of the large characters: a black halo around the ink
// and the ink in one colour, or the ink alone for a highlight.
#pragma once

#include "render/raster.h"

namespace solvari {

// The reading's halo is narrower than the large characters' 3 pixels, in
// keeping with its size.
inline constexpr int kReadingHaloWidth = 2;
// Widest band the drawing takes: with its halo on both sides, one 64-bit row.
inline constexpr int kMaxReadingWidth = 64 - 2 * kReadingHaloWidth;
// Longest band the drawing takes (a reading's band is 40 rows).
inline constexpr int kMaxBandRows = 64;

// Draws rows nTop to nTop + nRows - 1 of src (0 bits ink, as the glyph
// bitmaps) with the band's top-left pixel at (x, y). Outlined: every pixel
// within 2 pixels of ink in both directions, and not ink, turns black, and the
// ink takes crInk; otherwise only the ink takes crInk. Rows outside the band
// count as paper, so the halo reaches 2 pixels beyond it on every side. The
// target's clip rectangle applies. Returns the rectangle that may have
// changed (empty when nothing was drawn: a band outside src or longer than
// kMaxBandRows, or a bitmap wider than kMaxReadingWidth).
//
// At nScale 2 (render/view_scale.h) the halo is twice as wide and the band
// may be twice as wide and long; any other scale is 1.
Rect DrawReadingBand(CDC* pDC, const MonoBitmap& src, int nTop, int nRows, int x, int y,
                     COLORREF crInk, bool bOutlined, int nScale = 1);

}  // namespace solvari
