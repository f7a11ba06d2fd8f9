// SPDX-License-Identifier: GPL-3.0-or-later
#include "glyphs.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/sutra_tables.h"
#include "render/view_scale.h"

namespace solvari::tools {

GlyphStyle ColumnStyle(int scale) {
  const auto f = static_cast<float>(scale);
  return {kCellWidth * scale, kCellHeight * scale, 37 * scale, 1.3f * f, 1.7f * f, 100};
}
GlyphStyle StripStyle(int scale) {
  const auto f = static_cast<float>(scale);
  return {kStripCell * scale, kStripCell * scale, 24 * scale, 0.5f * f, 0.8f * f, 110};
}

namespace {

struct Ink {
  Gray bits;                             // 0 or 255
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1;  // ink bounding box, inclusive
  int Width() const { return x1 - x0 + 1; }
  int Height() const { return y1 - y0 + 1; }
};

Ink Threshold(const Font& font, char32_t cp, float size, const GlyphStyle& st) {
  const GlyphImage g = font.Render(cp, size, st.emboldenX, st.emboldenY);
  Ink ink;
  ink.bits = g.coverage;
  ink.x0 = ink.bits.width;
  ink.y0 = ink.bits.height;
  for (int y = 0; y < ink.bits.height; ++y)
    for (int x = 0; x < ink.bits.width; ++x) {
      auto& v = ink.bits.px[static_cast<size_t>(y) * ink.bits.width + x];
      v = v >= st.threshold ? 255 : 0;
      if (v) {
        ink.x0 = std::min(ink.x0, x);
        ink.y0 = std::min(ink.y0, y);
        ink.x1 = std::max(ink.x1, x);
        ink.y1 = std::max(ink.y1, y);
      }
    }
  return ink;
}

// The largest size (in quarter pixels) at which no character's ink is taller
// than the style allows or wider than the cell less its border.
float FitSize(const Font& font, const std::u32string& chars, const GlyphStyle& st) {
  for (float size = st.maxInkHeight * 1.4f; size > 4; size -= 0.25f) {
    bool fits = true;
    for (char32_t cp : chars) {
      const Ink ink = Threshold(font, cp, size, st);
      if (ink.Height() > st.maxInkHeight || ink.Width() > st.cellWidth - 2) {
        fits = false;
        break;
      }
    }
    if (fits) return size;
  }
  return 4;
}

// Draws one character into an indexed image (1 = paper, 0 = ink), its ink
// box centred in the cell whose top-left corner is (cx, cy).
void PlaceCharacter(Indexed& img, int cx, int cy, const Ink& ink, const GlyphStyle& st) {
  const int dx = cx + (st.cellWidth - ink.Width()) / 2 - ink.x0;
  const int dy = cy + (st.cellHeight - ink.Height()) / 2 - ink.y0;
  for (int y = ink.y0; y <= ink.y1; ++y)
    for (int x = ink.x0; x <= ink.x1; ++x)
      if (ink.bits.At(x, y)) img.index[static_cast<size_t>(dy + y) * img.width + dx + x] = 0;
}

Indexed BlankMono(int w, int h) {
  Indexed img;
  img.width = w;
  img.height = h;
  img.bitsPerPixel = 1;
  img.palette = {0x000000, 0xFFFFFF};
  img.index.assign(static_cast<size_t>(w) * h, 1);
  return img;
}

}  // namespace

bool MakeGlyphBitmaps(const Font& font, const std::string& textPath, const std::string& outDir,
                      int scale) {
  std::ifstream in(textPath);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", textPath.c_str());
    return false;
  }
  std::vector<std::u32string> phrases(kPhraseCount);
  std::string line;
  int rows = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string number, text;
    std::getline(fields, number, '\t');
    std::getline(fields, text, '\t');
    const int p = std::stoi(number);
    if (p < 0 || p >= kPhraseCount) {
      std::fprintf(stderr, "phrase number %d out of range\n", p);
      return false;
    }
    phrases[p] = FromUtf8(text);
    ++rows;
  }
  std::u32string all;
  for (int p = 0; p < kPhraseCount; ++p) {
    if (static_cast<int>(phrases[p].size()) != GetPhraseCharCount(p)) {
      std::fprintf(stderr, "phrase %d has %zu characters, the tables say %d\n", p,
                   phrases[p].size(), GetPhraseCharCount(p));
      return false;
    }
    for (char32_t cp : phrases[p]) {
      if (!font.HasGlyph(cp)) {
        std::fprintf(stderr, "the font has no glyph for U+%04X\n", static_cast<unsigned>(cp));
        return false;
      }
    }
    all += phrases[p];
  }
  if (rows != kPhraseCount) {
    std::fprintf(stderr, "%s has %d phrases, expected %d\n", textPath.c_str(), rows, kPhraseCount);
    return false;
  }

  const GlyphStyle col = ColumnStyle(scale), strip = StripStyle(scale);
  const float colSize = FitSize(font, all, col), stripSize = FitSize(font, all, strip);
  std::printf("scale %d: column characters at %.2f px, strip characters at %.2f px\n", scale,
              colSize, stripSize);

  for (int p = 0; p < kPhraseCount; ++p) {
    const int n = GetPhraseCharCount(p);
    Indexed column = BlankMono(col.cellWidth, col.cellHeight * n);
    Indexed overview = BlankMono(strip.cellWidth * n, strip.cellHeight);
    for (int i = 0; i < n; ++i) {
      PlaceCharacter(column, 0, col.cellHeight * i, Threshold(font, phrases[p][i], colSize, col),
                     col);
      PlaceCharacter(overview, strip.cellWidth * i, 0,
                     Threshold(font, phrases[p][i], stripSize, strip), strip);
    }
    const std::string colPath =
        outDir + "/" + std::to_string(BitmapIdAtScale(GetColumnGlyphId(p), scale)) + ".bmp";
    const std::string stripPath =
        outDir + "/" + std::to_string(BitmapIdAtScale(GetStripGlyphId(p), scale)) + ".bmp";
    if (!WriteIndexedBmp(colPath, column) || !WriteIndexedBmp(stripPath, overview)) {
      std::fprintf(stderr, "cannot write the bitmaps of phrase %d into %s\n", p, outDir.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace solvari::tools
