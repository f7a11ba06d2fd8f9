// SPDX-License-Identifier: GPL-3.0-or-later
// Glyph, strip and tile bitmaps made up for the view tests, with ink that
// tells the phrases apart, served by a BitmapFinder.
#pragma once

#include <map>
#include <vector>

#include "bmp_writer.h"
#include "core/sutra_tables.h"
#include "render/bitmap.h"

namespace solvari::testing {

// The ink of character cell (cx, cy) of phrase k: a 6-pixel bar whose column
// depends on the phrase.
inline bool ColumnInk(int k, int /*i*/, int cx, int cy) {
  const int x0 = 4 + k % 50;
  return cx >= x0 && cx < x0 + 6 && cy >= 5 && cy < 35;
}
// The ink of a 27 x 27 overview square: its top-left and bottom-right pixels
// and its centre.
inline bool StripInk(int sx, int sy) {
  return (sx == 0 && sy == 0) || (sx == 26 && sy == 26) || (sx == 13 && sy == 13);
}

inline std::vector<std::uint8_t> MonoBmp(int w, int h, const std::function<bool(int, int)>& ink) {
  BmpShape s;
  s.nWidth = w;
  s.nHeight = h;
  s.nBitCount = 1;
  s.palette = {{0, 0, 0}, {255, 255, 255}};
  s.pixels = MakeRows(w, h, 1, [&](int x, int y) { return ink(x, y) ? 0u : 1u; });
  return BuildBmp(s);
}

inline std::vector<std::uint8_t> TileBmp() {
  BmpShape s;
  s.nWidth = 8;
  s.nHeight = 8;
  s.nBitCount = 8;
  s.nColorsUsed = 2;
  s.palette = {{192, 192, 192}, {255, 255, 255}};
  s.pixels = MakeRows(8, 8, 8, [](int x, int y) { return (x & 1) && (y & 1) ? 1u : 0u; });
  return BuildBmp(s);
}

struct FakeResources {
  std::map<int, std::vector<std::uint8_t>> files;

  explicit FakeResources(bool bColumns = true, bool bStrips = true) {
    for (int k = 0; k < kPhraseCount; ++k) {
      const int n = kPhraseCharCount[k];
      if (bColumns) {
        files[kColumnGlyphId[k]] =
            MonoBmp(64, 40 * n, [k](int x, int y) { return ColumnInk(k, y / 40, x, y % 40); });
      }
      if (bStrips) {
        files[kStripGlyphId[k]] =
            MonoBmp(27 * n, 27, [](int x, int y) { return StripInk(x % 27, y); });
      }
    }
    files[238] = TileBmp();
  }
  BitmapFinder Finder() const {
    return [this](int id) -> DibBytes {
      const auto it = files.find(id);
      if (it == files.end()) return {};
      return {it->second.data(), it->second.size()};
    };
  }
};

}  // namespace solvari::testing
