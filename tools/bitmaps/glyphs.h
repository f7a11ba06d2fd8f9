// SPDX-License-Identifier: GPL-3.0-or-later
// The sutra's glyph bitmaps: for each phrase a large column (64 x 40 per
// character) and a small overview strip (27 x 27 per character, left to right).
#pragma once

#include <string>

#include "font.h"

namespace solvari::tools {

struct GlyphStyle {
  int cellWidth;
  int cellHeight;
  int maxInkHeight;  // the tallest character is fitted to this
  float emboldenX;   // total widening of the outline in pixels
  float emboldenY;
  int threshold;  // coverage (0..255) from which a pixel is ink
};

// The styles used for the two kinds of bitmap, at scale 1 or 2 (every size
// and the emboldening doubled: the font drawn at twice the size, not the
// small bitmap enlarged).
GlyphStyle ColumnStyle(int scale = 1);
GlyphStyle StripStyle(int scale = 1);

// Reads the sutra text (phrase number TAB text per line, '#' comments) and
// writes NNN.bmp for every column and strip into outDir; at scale 2 the
// identifiers are those of scale 1 plus 1000. False on error.
bool MakeGlyphBitmaps(const Font& font, const std::string& textPath, const std::string& outDir,
                      int scale = 1);

}  // namespace solvari::tools
