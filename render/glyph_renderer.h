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

}  // namespace solvari
