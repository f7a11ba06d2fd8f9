#include "render/wide_outline.h"

#include <algorithm>
#include <bit>

namespace solvari {
namespace {

// Bits moved n columns to the right (towards larger frame columns), 0 < n < 64.
WideRow ShiftRight(const WideRow& r, int n) {
  WideRow o;
  for (int i = WideRow::kWords - 1; i >= 0; --i)
    o.w[i] = (r.w[i] >> n) | (i > 0 ? r.w[i - 1] << (64 - n) : 0);
  return o;
}

WideRow ShiftLeft(const WideRow& r, int n) {
  WideRow o;
  for (int i = 0; i < WideRow::kWords; ++i)
    o.w[i] = (r.w[i] << n) | (i + 1 < WideRow::kWords ? r.w[i + 1] >> (64 - n) : 0);
  return o;
}

// The frame columns from nFrom to nTo - 1.
WideRow ColumnMask(int nFrom, int nTo) {
  WideRow m;
  nFrom = std::max(nFrom, 0);
  nTo = std::min(nTo, WideRow::kBits);
  for (int i = 0; i < WideRow::kWords; ++i) {
    const int lo = std::max(nFrom - 64 * i, 0);
    const int hi = std::min(nTo - 64 * i, 64);
    if (lo >= hi) continue;
    const std::uint64_t fromLo = ~std::uint64_t{0} >> lo;
    const std::uint64_t fromHi = hi == 64 ? 0 : ~std::uint64_t{0} >> hi;
    m.w[i] = fromLo & ~fromHi;
  }
  return m;
}

}  // namespace

WideRow WideRowFromBytes(const std::uint8_t* pBytes, int nBits, int nAt, bool bInvert) {
  WideRow r;
  const int nBytes = (nBits + 7) / 8;
  for (int i = 0; i < nBytes; ++i) {
    std::uint8_t v = bInvert ? static_cast<std::uint8_t>(~pBytes[i]) : pBytes[i];
    if (8 * i + 8 > nBits) v &= static_cast<std::uint8_t>(0xFF00 >> (nBits - 8 * i));
    const int mx = nAt + 8 * i;  // frame column of the byte's first bit
    const int word = mx / 64;
    const int bit = mx % 64;
    r.w[word] |= std::uint64_t{v} << 56 >> bit;
    if (bit > 56 && word + 1 < WideRow::kWords) r.w[word + 1] |= std::uint64_t{v} << (120 - bit);
  }
  return r;
}

void PaintWideRow(CDC* pDC, int x, int ty, const WideRow& bits, std::uint32_t px) {
  const Rect clip = pDC->GetClipBox();
  if (ty < clip.top || ty >= clip.bottom) return;
  std::uint32_t* row = pDC->Surface().Row(ty);
  for (int i = 0; i < WideRow::kWords; ++i) {
    std::uint64_t b = bits.w[i];
    while (b != 0) {
      const int lead = std::countl_zero(b);
      const int run = std::countl_one(b << lead);
      const int from = std::max(x + 64 * i + lead, clip.left);
      const int to = std::min(x + 64 * i + lead + run, clip.right);
      if (from < to) std::fill(row + from, row + to, px);
      b = lead + run >= 64 ? 0 : b & (~std::uint64_t{0} >> (lead + run));
    }
  }
}

void DrawWideOutline(CDC* pDC, const WideRow* ink, int nFrameWidth, int nFrameHeight, int nHalo,
                     int x, int y, bool bHalo, bool bBody, COLORREF crBody) {
  if (pDC == nullptr || ink == nullptr || nFrameWidth <= 0 || nFrameHeight <= 0) return;
  nFrameWidth = std::min(nFrameWidth, WideRow::kBits);
  nHalo = std::clamp(nHalo, 0, 63);
  const Rect clip = pDC->GetClipBox();
  const WideRow frame =
      ColumnMask(std::max(clip.left - x, 0), std::min(clip.right - x, nFrameWidth));
  const std::uint32_t body = ToPixel(crBody);
  const std::uint32_t black = ToPixel(RGB(0, 0, 0));
  // The ink spread nHalo columns each way, row by row; then each frame row's
  // halo is the spread of the rows within nHalo of it, less its own ink.
  constexpr int kMaxRows = 256;
  nFrameHeight = std::min(nFrameHeight, kMaxRows);
  WideRow wide[kMaxRows];
  if (bHalo) {
    for (int f = 0; f < nFrameHeight; ++f) {
      WideRow s = ink[f];
      if (s.Any()) {
        for (int k = 1; k <= nHalo; ++k) {
          s |= ShiftRight(ink[f], k);
          s |= ShiftLeft(ink[f], k);
        }
      }
      wide[f] = s;
    }
  }
  for (int f = 0; f < nFrameHeight; ++f) {
    const int ty = y + f;
    if (ty < clip.top || ty >= clip.bottom) continue;
    if (bBody) {
      WideRow b = ink[f];
      for (int i = 0; i < WideRow::kWords; ++i) b.w[i] &= frame.w[i];
      PaintWideRow(pDC, x, ty, b, body);
    }
    if (bHalo) {
      WideRow nearInk;
      for (int k = std::max(f - nHalo, 0); k <= std::min(f + nHalo, nFrameHeight - 1); ++k)
        nearInk |= wide[k];
      for (int i = 0; i < WideRow::kWords; ++i) nearInk.w[i] &= ~ink[f].w[i] & frame.w[i];
      PaintWideRow(pDC, x, ty, nearInk, black);
    }
  }
}

}  // namespace solvari
