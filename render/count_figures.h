// SPDX-License-Identifier: GPL-3.0-or-later
// The count of recitations on the reading page ("2 / 7"): small figures
// drawn from a pixel font of their own, 5 x 7 pixels a figure, so that they
// are exact at every scale (at scale 2 each pixel is a 2 x 2 block).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/raster.h"

namespace solvari {

inline constexpr int kFigureWidth = 5;
inline constexpr int kFigureHeight = 7;
inline constexpr int kFigureGap = 1;    // between two figures
inline constexpr int kFigureSpace = 3;  // a space

// A monochrome bitmap of text (0 bits ink, as the glyph bitmaps), its own
// bytes kept with it. Only '0' - '9', '/' and ' ' are drawn; any other
// character is left out.
struct FigureBitmap {
  std::vector<std::uint8_t> bits;
  MonoBitmap mono;
};
FigureBitmap MakeFigureBitmap(const std::string& text, int nScale = 1);

}  // namespace solvari
