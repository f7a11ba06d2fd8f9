// SPDX-License-Identifier: GPL-3.0-or-later
// The reading bitmaps of the reading aid: for each phrase one bitmap of kana
// (stacked vertically) and one of romaji (one line), a 40-row band per
// character, monochrome like the glyph columns.
#pragma once

#include <string>

#include "font.h"

namespace solvari::tools {

// Reads the readings of the sutra text (third field, one group of kana per
// character) and writes 400+p.bmp and 500+p.bmp into outDir. kana draws the
// kana, latin the romaji. At scale 2 every size is doubled and the
// identifiers are 1400+p and 1500+p. False on error.
bool MakeReadingBitmaps(const Font& kana, const Font& latin, const std::string& textPath,
                        const std::string& outDir, int scale = 1);

}  // namespace solvari::tools
