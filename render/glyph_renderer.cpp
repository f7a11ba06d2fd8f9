// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/glyph_renderer.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/sutra_tables.h"
#include "render/view_scale.h"
#include "render/wide_outline.h"

namespace solvari {
namespace {

// One row of the 70-pixel frame as a bit set: frame column mx is bit 69 - mx,
// so the leftmost pixel is the most significant bit, as in the cell's bytes.
// Bits 0-63 are in lo, bits 64-69 in hi. Only the shifts the renderer needs
// (by 1 to 63 bits) exist, so no shift ever reaches a word's width. The
// progress rows paint through it; the outline goes through the wide rows.
struct FrameRow {
  std::uint64_t hi = 0;
  std::uint64_t lo = 0;

  constexpr FrameRow() = default;
  constexpr explicit FrameRow(std::uint64_t v) : lo(v) {}
  constexpr FrameRow(std::uint64_t h, std::uint64_t l) : hi(h), lo(l) {}

  friend constexpr FrameRow operator&(FrameRow a, FrameRow b) { return {a.hi & b.hi, a.lo & b.lo}; }
};

template <int N>
constexpr FrameRow ShiftLeft(FrameRow a) {
  static_assert(N > 0 && N < 64);
  return {(a.hi << N) | (a.lo >> (64 - N)), a.lo << N};
}

constexpr int kFrameWidth = kCellWidth + 6;    // 70
constexpr int kFrameHeight = kCellHeight + 6;  // 46
constexpr int kHaloWidth = 3;

// Eight bytes as one word, the first byte most significant.
std::uint64_t BigEndian64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

// The caller's buffer is handed back complemented: 0 bits become ink bits.
void Complement(std::uint8_t* pBits, int nBytes) {
  int i = 0;
  for (; i + 8 <= nBytes; i += 8) {
    std::uint64_t v;
    std::memcpy(&v, pBits + i, sizeof v);
    v = ~v;
    std::memcpy(pBits + i, &v, sizeof v);
  }
  for (; i < nBytes; ++i) pBits[i] = static_cast<std::uint8_t>(~pBits[i]);
}

// Cell row r of the (already complemented) cell as 64 bits, column c at bit
// 63 - c; bytes past nBytes count as background.
std::uint64_t InkRow(const std::uint8_t* pBits, int nBytes, int r) {
  if ((r + 1) * kCellBytesPerRow <= nBytes) return BigEndian64(pBits + r * kCellBytesPerRow);
  std::uint64_t v = 0;
  for (int i = 0; i < kCellBytesPerRow; ++i) {
    const int idx = r * kCellBytesPerRow + i;
    v = (v << 8) | (idx < nBytes ? pBits[idx] : 0u);
  }
  return v;
}

// The frame columns whose target x lies inside the clip, as a frame row mask.
FrameRow ClipMask(const Rect& clip, int x) {
  const int from = std::max(clip.left - x, 0);
  const int to = std::min(clip.right - x, kFrameWidth);  // exclusive
  FrameRow mask;
  for (int mx = from; mx < to; ++mx) {
    const int b = kFrameWidth - 1 - mx;
    if (b < 64)
      mask.lo |= std::uint64_t{1} << b;
    else
      mask.hi |= std::uint64_t{1} << (b - 64);
  }
  return mask;
}

// Paints every pixel of row ty whose frame bit is set in bits.
void PaintBits(std::uint32_t* row, int x, FrameRow bits, std::uint32_t px) {
  std::uint64_t lo = bits.lo;
  std::uint64_t hi = bits.hi;
  while (lo) {
    const int b = std::countr_zero(lo);
    row[x + kFrameWidth - 1 - b] = px;
    lo &= lo - 1;
  }
  while (hi) {
    const int b = 64 + std::countr_zero(hi);
    row[x + kFrameWidth - 1 - b] = px;
    hi &= hi - 1;
  }
}

void DrawProgressRows(CDC* pDC, const std::uint8_t* pBits, int nBytes, int x, int y,
                      COLORREF crHighlight, int nPercent) {
  const int nRows = nPercent * kCellHeight / 100;
  const Rect clip = pDC->GetClipBox();
  const std::uint32_t px = ToPixel(crHighlight);
  const FrameRow clipMask = ClipMask(clip, x);
  CSurface& surface = pDC->Surface();
  for (int r = 0; r < nRows; ++r) {
    const std::uint64_t ink = InkRow(pBits, nBytes, r);
    if (ink == 0) continue;
    // The pen leaves the current position after the last run it drew.
    const int lastCol = 63 - std::countr_zero(ink);
    pDC->MoveTo(x + 3 + lastCol + 1, y + 3 + r);
    const int ty = y + 3 + r;
    if (ty < clip.top || ty >= clip.bottom) continue;
    PaintBits(surface.Row(ty), x, ShiftLeft<kHaloWidth>(FrameRow{ink}) & clipMask, px);
  }
}

void DrawOutlined(CDC* pDC, const std::uint8_t* pBits, int nBytes, int x, int y, COLORREF crBody,
                  COLORREF crHighlight, int nPercent) {
  // The cell's ink in frame coordinates (3 columns and rows of halo room on
  // each side); the halo is every pixel within 3 of ink both ways.
  WideRow ink[kFrameHeight];
  for (int r = 0; r < kCellHeight; ++r) {
    const std::uint64_t v = InkRow(pBits, nBytes, r);
    ink[r + kHaloWidth].w[0] = v >> kHaloWidth;
    ink[r + kHaloWidth].w[1] = v << (64 - kHaloWidth);
  }
  pDC->SetBkMode(TRANSPARENT);
  pDC->SetTextColor(RGB(0, 0, 0));
  pDC->SetBkColor(RGB(255, 255, 255));
  const bool bBody = nPercent == 0 || nPercent == 100;
  DrawWideOutline(pDC, ink, kFrameWidth, kFrameHeight, kHaloWidth, x, y, true, bBody,
                  nPercent == 100 ? crHighlight : crBody);
}

// Scale 2: the cell's rows as frame rows, 6 columns of halo room on the left.
constexpr int kScale = 2;
constexpr int kCell2Width = kCellWidth * kScale;    // 128
constexpr int kCell2Height = kCellHeight * kScale;  // 80
constexpr int kCell2RowBytes = kCell2Width / 8;     // 16
constexpr int kHalo2 = kHaloWidth * kScale;         // 6
constexpr int kFrame2Width = kCell2Width + 2 * kHalo2;
constexpr int kFrame2Height = kCell2Height + 2 * kHalo2;

WideRow InkRow2(const std::uint8_t* pBits, int nBytes, int r) {
  // The row's two 64-bit halves, bytes past nBytes as background.
  std::uint64_t half[2] = {};
  for (int h = 0; h < 2; ++h) {
    const int idx = r * kCell2RowBytes + 8 * h;
    if (idx + 8 <= nBytes) {
      half[h] = BigEndian64(pBits + idx);
    } else {
      for (int i = 0; i < 8; ++i)
        half[h] = (half[h] << 8) | (idx + i < nBytes ? pBits[idx + i] : 0u);
    }
  }
  WideRow row;
  row.w[0] = half[0] >> kHalo2;
  row.w[1] = (half[0] << (64 - kHalo2)) | (half[1] >> kHalo2);
  row.w[2] = half[1] << (64 - kHalo2);
  return row;
}

void DrawScale2(CDC* pDC, const std::uint8_t* pBits, int nBytes, int x, int y, COLORREF crHighlight,
                COLORREF crBody, int nPercent, int nMode) {
  if (nMode == 1) {
    const int nRows = nPercent * kCell2Height / 100;
    const std::uint32_t px = ToPixel(crHighlight);
    for (int r = 0; r < nRows; ++r) {
      const WideRow ink = InkRow2(pBits, nBytes, r);
      if (!ink.Any()) continue;
      // The pen leaves the current position after the last run it drew.
      int last = WideRow::kBits - 1;
      for (int i = WideRow::kWords - 1; i >= 0; --i)
        if (ink.w[i] != 0) {
          last = 64 * i + 63 - std::countr_zero(ink.w[i]);
          break;
        }
      pDC->MoveTo(x + last + 1, y + kHalo2 + r);
      PaintWideRow(pDC, x, y + kHalo2 + r, ink, px);
    }
    return;
  }
  WideRow ink[kFrame2Height];
  for (int r = 0; r < kCell2Height; ++r) ink[r + kHalo2] = InkRow2(pBits, nBytes, r);
  pDC->SetBkMode(TRANSPARENT);
  pDC->SetTextColor(RGB(0, 0, 0));
  pDC->SetBkColor(RGB(255, 255, 255));
  const bool bBody = nPercent == 0 || nPercent == 100;
  DrawWideOutline(pDC, ink, kFrame2Width, kFrame2Height, kHalo2, x, y, true, bBody,
                  nPercent == 100 ? crHighlight : crBody);
}

}  // namespace

void DrawOutlinedGlyphAtScale(CDC* pDC, int nScale, int nBytes, std::uint8_t* pBits, int x, int y,
                              COLORREF crHighlight, COLORREF crBody, int nPercent, int nMode) {
  if (NormalizeViewScale(nScale) != 2) {
    DrawOutlinedGlyph(pDC, nBytes, pBits, static_cast<std::uint16_t>(x),
                      static_cast<std::uint16_t>(y), crHighlight, crBody, nPercent, nMode);
    return;
  }
  if (pBits == nullptr || nBytes < 0) nBytes = 0;
  Complement(pBits, nBytes);
  nPercent = std::clamp(nPercent, 0, 100);
  if (pDC == nullptr) return;
  DrawScale2(pDC, pBits, nBytes, x, y, crHighlight, crBody, nPercent, nMode);
}

void DrawOutlinedGlyph(CDC* pDC, int nBytes, std::uint8_t* pBits, std::uint16_t x, std::uint16_t y,
                       COLORREF crHighlight, COLORREF crBody, int nPercent, int nMode) {
  if (pBits == nullptr || nBytes < 0) nBytes = 0;
  Complement(pBits, nBytes);
  nPercent = std::clamp(nPercent, 0, 100);
  if (pDC == nullptr) return;
  if (nMode == 1) {
    DrawProgressRows(pDC, pBits, nBytes, x, y, crHighlight, nPercent);
  } else {
    DrawOutlined(pDC, pBits, nBytes, x, y, crBody, crHighlight, nPercent);
  }
}

}  // namespace solvari
