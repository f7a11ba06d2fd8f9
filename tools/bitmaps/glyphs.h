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

// The styles used for the two kinds of bitmap.
GlyphStyle ColumnStyle();
GlyphStyle StripStyle();

// Reads the sutra text (phrase number TAB text per line, '#' comments) and
// writes NNN.bmp for every column and strip into outDir. False on error.
bool MakeGlyphBitmaps(const Font& font, const std::string& textPath, const std::string& outDir);

}  // namespace solvari::tools
