// SPDX-License-Identifier: GPL-3.0-or-later
#include "readings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/sutra_readings.h"
#include "render/view_scale.h"

namespace solvari::tools {
namespace {

constexpr int kKanaPitch = 12;  // a stack of three kana fills the band less its margins
constexpr float kKanaEmbolden = 0.5f;
constexpr float kLatinEmbolden = 0.45f;
constexpr int kThreshold = 105;

struct Ink {
  Gray bits;                             // 0 or 255
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1;  // ink box, inclusive, in bits
  int left = 0, top = 0;                 // bits' offset from the pen on the baseline
  float advance = 0;
  int Width() const { return x1 - x0 + 1; }
  int Height() const { return y1 - y0 + 1; }
};

Gray Transposed(const Gray& g) {
  Gray t;
  t.width = g.height;
  t.height = g.width;
  t.px.resize(g.px.size());
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x) t.px[static_cast<size_t>(x) * t.width + y] = g.At(x, y);
  return t;
}

// The lengthening mark stands upright in vertical writing.
bool IsUprightInColumn(char32_t cp) { return cp == U'ー'; }

bool IsSmallKana(char32_t cp) {
  return std::u32string_view(U"ぁぃぅぇぉっゃゅょゎ").find(cp) != std::u32string_view::npos;
}

Ink Render(const Font& font, char32_t cp, float size, float embolden, bool bVertical) {
  const GlyphImage g = font.Render(cp, size, embolden, embolden);
  Ink ink;
  ink.bits = bVertical && IsUprightInColumn(cp) ? Transposed(g.coverage) : g.coverage;
  ink.left = g.left;
  ink.top = g.top;
  ink.advance = g.advance;
  ink.x0 = ink.bits.width;
  ink.y0 = ink.bits.height;
  for (int y = 0; y < ink.bits.height; ++y)
    for (int x = 0; x < ink.bits.width; ++x) {
      auto& v = ink.bits.px[static_cast<size_t>(y) * ink.bits.width + x];
      v = v >= kThreshold ? 255 : 0;
      if (v) {
        ink.x0 = std::min(ink.x0, x);
        ink.y0 = std::min(ink.y0, y);
        ink.x1 = std::max(ink.x1, x);
        ink.y1 = std::max(ink.y1, y);
      }
    }
  return ink;
}

struct Mono {
  int width = 0, height = 0;
  std::vector<std::uint8_t> index;  // 1 paper, 0 ink
  void Ink(int x, int y) {
    if (x >= 0 && y >= 0 && x < width && y < height) index[static_cast<size_t>(y) * width + x] = 0;
  }
};

// Copies the ink of a glyph so that its bits' pixel (0, 0) lands on (dx, dy).
void Put(Mono& m, const Ink& ink, int dx, int dy) {
  for (int y = ink.y0; y <= ink.y1; ++y)
    for (int x = ink.x0; x <= ink.x1; ++x)
      if (ink.bits.At(x, y)) m.Ink(dx + x, dy + y);
}

bool Write(const std::string& path, const Mono& m) {
  Indexed img;
  img.width = m.width;
  img.height = m.height;
  img.bitsPerPixel = 1;
  img.palette = {0x000000, 0xFFFFFF};
  img.index = m.index;
  return WriteIndexedBmp(path, img);
}

// The largest size (in quarter pixels) at which every character fits.
template <typename Fits>
float FitSize(float from, Fits fits) {
  for (float size = from; size > 4; size -= 0.25f)
    if (fits(size)) return size;
  return 4;
}

}  // namespace

bool MakeReadingBitmaps(const Font& kana, const Font& latin, const std::string& textPath,
                        const std::string& outDir, int scale) {
  const auto fScale = static_cast<float>(scale);
  const int kanaPitch = kKanaPitch * scale;
  const float kanaEmbolden = kKanaEmbolden * fScale;
  const float latinEmbolden = kLatinEmbolden * fScale;
  const int bandHeight = kReadingBandHeight * scale;
  const int inkMargin = kReadingInkMargin * scale;
  const int kanaWidth = kKanaReadingWidth * scale;
  const int romajiWidth = kRomajiReadingWidth * scale;
  std::ifstream in(textPath);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", textPath.c_str());
    return false;
  }
  std::vector<std::vector<std::string>> groups(kPhraseCount);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string number, text, reading;
    std::getline(fields, number, '\t');
    std::getline(fields, text, '\t');
    std::getline(fields, reading, '\t');
    const int p = std::stoi(number);
    if (p < 0 || p >= kPhraseCount) return false;
    std::istringstream words(reading);
    for (std::string g; words >> g;) groups[p].push_back(g);
  }
  std::u32string allKana;
  std::vector<std::vector<std::string>> romaji(kPhraseCount);
  std::string allLatin;
  int nLongest = 0;
  for (int p = 0; p < kPhraseCount; ++p) {
    const int n = GetPhraseCharCount(p);
    if (static_cast<int>(groups[p].size()) != n) {
      std::fprintf(stderr, "phrase %d has %zu readings, the tables say %d\n", p, groups[p].size(),
                   n);
      return false;
    }
    for (int c = 0; c < n; ++c) {
      const std::u32string k = FromUtf8(groups[p][c]);
      nLongest = std::max(nLongest, static_cast<int>(k.size()));
      allKana += k;
      romaji[p].push_back(RomanizeKana(groups[p][c], c + 1 < n ? groups[p][c + 1] : ""));
      allLatin += romaji[p].back();
    }
  }
  const int nInkRows = bandHeight - 2 * inkMargin;
  if (nLongest * kanaPitch > nInkRows) {
    std::fprintf(stderr, "a reading of %d kana does not fit into a band\n", nLongest);
    return false;
  }
  for (char32_t cp : allKana + FromUtf8(allLatin))
    if (!(cp < 0x80 ? latin : kana).HasGlyph(cp)) {
      std::fprintf(stderr, "no glyph for U+%04X\n", static_cast<unsigned>(cp));
      return false;
    }

  // Kana: every one inside a square of the pitch, less a pixel between them.
  const float kanaSize = FitSize(static_cast<float>(kanaPitch) * 1.4f, [&](float size) {
    for (char32_t cp : allKana) {
      const Ink ink = Render(kana, cp, size, kanaEmbolden, true);
      if (ink.Width() > kanaPitch - scale || ink.Height() > kanaPitch - scale) return false;
    }
    return true;
  });
  // Romaji: the widest word within the bitmap less a pixel each side, and the
  // line from the tallest ascender to the deepest descender within the band.
  const auto measure = [&](const std::string& word, float size) {
    float w = 0;
    for (char ch : word)
      w += Render(latin, static_cast<char32_t>(ch), size, latinEmbolden, false).advance;
    return w;
  };
  const auto lineBox = [&](float size, int& ascent, int& descent) {
    ascent = descent = 0;
    for (char ch = 'a'; ch <= 'z'; ++ch) {
      const Ink ink = Render(latin, static_cast<char32_t>(ch), size, latinEmbolden, false);
      if (ink.Height() <= 0) continue;
      ascent = std::max(ascent, -(ink.top + ink.y0));
      descent = std::max(descent, ink.top + ink.y1 + 1);
    }
  };
  const float latinSize = FitSize(30 * fScale, [&](float size) {
    for (int p = 0; p < kPhraseCount; ++p)
      for (const std::string& w : romaji[p])
        if (measure(w, size) > static_cast<float>(romajiWidth - 2 * scale)) return false;
    int a = 0, d = 0;
    lineBox(size, a, d);
    return a + d <= nInkRows;
  });
  int ascent = 0, descent = 0;
  lineBox(latinSize, ascent, descent);
  // The x-height stroke of the line sits on the band's middle, as far as the
  // margins allow.
  int baseline = bandHeight / 2 + ascent / 2;
  baseline = std::min(baseline, bandHeight - inkMargin - descent);
  baseline = std::max(baseline, inkMargin + ascent);
  std::printf("scale %d: reading kana at %.2f px, romaji at %.2f px\n", scale, kanaSize, latinSize);

  for (int p = 0; p < kPhraseCount; ++p) {
    const int n = GetPhraseCharCount(p);
    Mono k{kanaWidth, bandHeight * n, {}};
    Mono r{romajiWidth, bandHeight * n, {}};
    k.index.assign(static_cast<size_t>(k.width) * k.height, 1);
    r.index.assign(static_cast<size_t>(r.width) * r.height, 1);
    for (int c = 0; c < n; ++c) {
      const int band = bandHeight * c;
      const std::u32string group = FromUtf8(groups[p][c]);
      const int nStack = static_cast<int>(group.size()) * kanaPitch;
      const int boxX = (kanaWidth - kanaPitch) / 2;
      int boxY = band + (bandHeight - nStack) / 2;
      for (char32_t cp : group) {
        const Ink ink = Render(kana, cp, kanaSize, kanaEmbolden, true);
        // Centred in its square; small kana towards the upper right, as in
        // vertical writing.
        int dx = boxX + (kanaPitch - ink.Width()) / 2 - ink.x0;
        int dy = boxY + (kanaPitch - ink.Height()) / 2 - ink.y0;
        if (IsSmallKana(cp)) {
          dx = boxX + kanaPitch - scale - ink.Width() - ink.x0;
          dy = boxY - ink.y0 + scale;
        }
        Put(k, ink, dx, dy);
        boxY += kanaPitch;
      }
      float pen = fScale;
      for (char ch : romaji[p][c]) {
        const Ink ink = Render(latin, static_cast<char32_t>(ch), latinSize, latinEmbolden, false);
        Put(r, ink, static_cast<int>(std::lround(pen)) + ink.left, band + baseline + ink.top);
        pen += ink.advance;
      }
    }
    const std::string kPath =
        outDir + "/" + std::to_string(BitmapIdAtScale(GetReadingGlyphId(RubyKana, p), scale)) +
        ".bmp";
    const std::string rPath =
        outDir + "/" + std::to_string(BitmapIdAtScale(GetReadingGlyphId(RubyRomaji, p), scale)) +
        ".bmp";
    if (!Write(kPath, k) || !Write(rPath, r)) {
      std::fprintf(stderr, "cannot write the reading bitmaps of phrase %d\n", p);
      return false;
    }
  }
  return true;
}

}  // namespace solvari::tools
