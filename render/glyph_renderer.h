// SPDX-License-Identifier: GPL-3.0-or-later
// Draws one character cell of a large glyph column.
#pragma once

#include <cstdint>

#include "render/raster.h"

namespace solvari {

// Draws the 64 x 40 cell pBits (nBytes bytes, 8 per row, rows top first, most
// significant bit leftmost, 0 bits ink) with the top-left corner of its
// 70 x 46 frame at (x, y).
//  - nMode 1, progress rows: the ink of the top nPercent * 40 / 100 rows
//    takes crHighlight; nothing else changes.
//  - any other nMode, outlined: a black halo 3 pixels wide around the ink
//    and, when nPercent is 0 or 100, the ink in crBody or crHighlight.
// nPercent is clamped to 0..100. The caller's buffer is left complemented.
// The target's clip rectangle applies to everything drawn.
void DrawOutlinedGlyph(CDC* pDC, int nBytes, std::uint8_t* pBits, std::uint16_t x, std::uint16_t y,
                       COLORREF crHighlight, COLORREF crBody, int nPercent, int nMode);

// The same at the view's scale (render/view_scale.h). At scale 2 every size
// doubles: the cell is 128 x 80 pixels (16 bytes per row, 1280 bytes), the
// halo 6 pixels wide, the frame 140 x 92, and the progress rows are
// nPercent * 80 / 100. Scale 1 (or any other) is DrawOutlinedGlyph itself,
// with x and y cut to 16 bits as there.
void DrawOutlinedGlyphAtScale(CDC* pDC, int nScale, int nBytes, std::uint8_t* pBits, int x, int y,
                              COLORREF crHighlight, COLORREF crBody, int nPercent, int nMode);

}  // namespace solvari
