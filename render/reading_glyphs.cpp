// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/reading_glyphs.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "render/view_scale.h"
#include "render/wide_outline.h"

namespace solvari {
namespace {

constexpr int kHalo = kReadingHaloWidth;

// Row r of the band as frame bits: frame column mx (the band's column
// mx - kHalo) is bit 63 - mx.
std::uint64_t InkRow(const MonoBitmap& src, int y) {
  const std::uint8_t* row = src.pBits + static_cast<std::size_t>(y) * src.nWidthBytes;
  const int nBytes = std::min((src.nWidth + 7) / 8, 8);
  std::uint64_t v = 0;
  for (int i = 0; i < nBytes; ++i)
    v |= std::uint64_t{static_cast<std::uint8_t>(~row[i])} << (56 - 8 * i);
  v &= ~std::uint64_t{0} << (64 - src.nWidth);  // the padding is no ink
  return v >> kHalo;
}

void PaintBits(CSurface& s, const Rect& clip, int x, int ty, std::uint64_t bits, std::uint32_t px) {
  if (ty < clip.top || ty >= clip.bottom) return;
  std::uint32_t* row = s.Row(ty);
  while (bits) {
    const int b = std::countr_zero(bits);
    const int tx = x + 63 - b;
    if (tx >= clip.left && tx < clip.right) row[tx] = px;
    bits &= bits - 1;
  }
}

// Scale 2: the same through the wide outline.
Rect DrawReadingBand2(CDC* pDC, const MonoBitmap& src, int nTop, int nRows, int x, int y,
                      COLORREF crInk, bool bOutlined) {
  constexpr int kHalo2 = 2 * kHalo;
  constexpr int kMaxRows2 = 2 * kMaxBandRows;
  if (pDC == nullptr || src.pBits == nullptr || src.nWidth <= 0 ||
      src.nWidth > 2 * kMaxReadingWidth || src.nWidthBytes * 8 < src.nWidth || nTop < 0 ||
      nRows <= 0 || nRows > kMaxRows2 || nRows > src.nHeight - nTop) {
    return {};
  }
  const int nFrame = nRows + 2 * kHalo2;
  std::array<WideRow, kMaxRows2 + 2 * kHalo2> ink{};
  for (int r = 0; r < nRows; ++r) {
    const std::uint8_t* row = src.pBits + static_cast<std::size_t>(nTop + r) * src.nWidthBytes;
    ink[r + kHalo2] = WideRowFromBytes(row, src.nWidth, kHalo2, true);
  }
  const int fx = x - kHalo2;
  const int fy = y - kHalo2;
  const int nFrameWidth = src.nWidth + 2 * kHalo2;
  CDC dc = *pDC;  // the clip within the surface, as at scale 1
  dc.IntersectClipRect(pDC->Surface().Bounds());
  DrawWideOutline(&dc, ink.data(), nFrameWidth, nFrame, kHalo2, fx, fy, bOutlined, true, crInk);
  if (bOutlined) return {fx, fy, fx + nFrameWidth, fy + nFrame};
  return {x, y, x + src.nWidth, y + nRows};
}

}  // namespace

Rect DrawReadingBand(CDC* pDC, const MonoBitmap& src, int nTop, int nRows, int x, int y,
                     COLORREF crInk, bool bOutlined, int nScale) {
  if (NormalizeViewScale(nScale) == 2)
    return DrawReadingBand2(pDC, src, nTop, nRows, x, y, crInk, bOutlined);
  if (pDC == nullptr || src.pBits == nullptr || src.nWidth <= 0 || src.nWidth > kMaxReadingWidth ||
      src.nWidthBytes * 8 < src.nWidth || nTop < 0 || nRows <= 0 || nRows > kMaxBandRows ||
      nRows > src.nHeight - nTop) {
    return {};
  }
  // Frame rows: kHalo of paper, the band, kHalo of paper.
  const int nFrame = nRows + 2 * kHalo;
  std::array<std::uint64_t, kMaxBandRows + 2 * kHalo> ink{};
  std::array<std::uint64_t, kMaxBandRows + 2 * kHalo> wide{};
  for (int r = 0; r < nRows; ++r) {
    const std::uint64_t f = InkRow(src, nTop + r);
    ink[r + kHalo] = f;
    if (bOutlined) wide[r + kHalo] = f | (f << 1) | (f << 2) | (f >> 1) | (f >> 2);
  }
  const Rect clip = pDC->GetClipBox().Intersect(pDC->Surface().Bounds());
  const int fx = x - kHalo;  // target x of frame column 0
  const int fy = y - kHalo;
  const std::uint32_t inkPx = ToPixel(crInk);
  const std::uint32_t black = ToPixel(RGB(0, 0, 0));
  CSurface& surface = pDC->Surface();
  for (int f = 0; f < nFrame; ++f) {
    if (bOutlined) {
      std::uint64_t nearInk = 0;
      for (int k = std::max(f - kHalo, 0); k <= std::min(f + kHalo, nFrame - 1); ++k)
        nearInk |= wide[k];
      PaintBits(surface, clip, fx, fy + f, nearInk & ~ink[f], black);
    }
    PaintBits(surface, clip, fx, fy + f, ink[f], inkPx);
  }
  const int nFrameWidth = src.nWidth + 2 * kHalo;
  if (bOutlined) return {fx, fy, fx + nFrameWidth, fy + nFrame};
  return {x, y, x + src.nWidth, y + nRows};
}

}  // namespace solvari
