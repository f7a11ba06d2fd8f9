// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/wide_outline.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace solvari {
namespace {

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

namespace {

// The first W words of a frame row, held in registers.
template <int W>
struct Bits {
  std::uint64_t w[W];
};

template <int W>
Bits<W> Load(const WideRow& r) {
  Bits<W> b;
  for (int i = 0; i < W; ++i) b.w[i] = r.w[i];
  return b;
}

template <int W>
Bits<W> Or(const Bits<W>& a, const Bits<W>& b) {
  Bits<W> o;
  for (int i = 0; i < W; ++i) o.w[i] = a.w[i] | b.w[i];
  return o;
}

template <int W>
bool Any(const Bits<W>& a) {
  std::uint64_t v = 0;
  for (int i = 0; i < W; ++i) v |= a.w[i];
  return v != 0;
}

// Bits moved n columns towards larger (right) or smaller (left) frame
// columns, 0 < n < 64.
template <int W>
[[gnu::always_inline]] inline Bits<W> Right(const Bits<W>& r, int n) {
  Bits<W> o;
  for (int i = W - 1; i >= 0; --i) o.w[i] = (r.w[i] >> n) | (i > 0 ? r.w[i - 1] << (64 - n) : 0);
  return o;
}

template <int W>
[[gnu::always_inline]] inline Bits<W> Left(const Bits<W>& r, int n) {
  Bits<W> o;
  for (int i = 0; i < W; ++i) o.w[i] = (r.w[i] << n) | (i + 1 < W ? r.w[i + 1] >> (64 - n) : 0);
  return o;
}

// The bits spread nHalo columns each way: by doubling, 0..1, 0..3, 0..6.
template <int W>
[[gnu::always_inline]] inline Bits<W> SpreadBits(const Bits<W>& r, int nHalo) {
  Bits<W> right = r, left = r;
  int nDone = 0;  // right and left cover shifts 0..nDone
  while (nDone < nHalo) {
    const int n = std::min(nDone + 1, nHalo - nDone);
    right = Or(right, Right(right, n));
    left = Or(left, Left(left, n));
    nDone += n;
  }
  return Or(right, left);
}

// The painted bits of one frame row.
template <int W>
struct PaintedRow {
  Bits<W> ink;
  Bits<W> halo;
};

struct PaintTarget {
  std::uint32_t* pFirstRow;  // the target row of the first painted frame row
  std::size_t nStride;       // pixels from one target row to the next
  int x;                     // target x of frame column 0
  int nLeft, nRight;         // the target columns that may change
  std::uint32_t body, black;
};

// n pixels of px from p, n > 0.
[[gnu::always_inline]] inline void FillRun(std::uint32_t* p, int n, std::uint32_t px) {
#if defined(__SSE2__)
  if (n >= 4) {
    // Four at a time; the last four end at the run's end, over some of the
    // pixels just written.
    const __m128i v = _mm_set1_epi32(static_cast<int>(px));
    for (int i = 0; i + 4 < n; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + n - 4), v);
    return;
  }
#endif
  for (int i = 0; i < n; ++i) p[i] = px;
}

// Paints the runs of set bits of one frame row within [nLeft, nRight).
template <int W>
[[gnu::always_inline]] inline void PaintRuns(std::uint32_t* row, int x, int nLeft, int nRight,
                                             const Bits<W>& bits, std::uint32_t px) {
  for (int i = 0; i < W; ++i) {
    std::uint64_t b = bits.w[i];
    const int x0 = x + 64 * i;
    while (b != 0) {
      const int lead = std::countl_zero(b);
      const int run = std::countl_one(b << lead);
      const int from = std::max(x0 + lead, nLeft);
      const int to = std::min(x0 + lead + run, nRight);
      if (from < to) FillRun(row + from, to - from, px);
      b = lead + run >= 64 ? 0 : b & (~std::uint64_t{0} >> (lead + run));
    }
  }
}

// Every painted frame row at once, run by run: the halo and the ink never
// share a pixel, so the order in which they are painted does not matter.
template <int W>
void PaintRowRuns(const PaintTarget& t, const PaintedRow<W>* rows, int nRows) {
  const PaintTarget l = t;
  for (int f = 0; f < nRows; ++f) {
    std::uint32_t* row = l.pFirstRow + l.nStride * static_cast<std::size_t>(f);
    PaintRuns<W>(row, l.x, l.nLeft, l.nRight, rows[f].halo, l.black);
    PaintRuns<W>(row, l.x, l.nLeft, l.nRight, rows[f].ink, l.body);
  }
}

constexpr int kMaxRows = 256;

// The outline with W words a row and a halo of H columns (0 < H < 64), or
// of nHalo columns when H is 0.
template <int W, int H>
void Outline(CDC* pDC, const WideRow* ink, int nFrameWidth, int nFrameHeight, int nHalo, int x,
             int y, bool bHalo, bool bBody, COLORREF crBody) {
  if constexpr (H != 0) nHalo = H;
  const Rect clip = pDC->GetClipBox();
  const Bits<W> frame =
      Load<W>(ColumnMask(std::max(clip.left - x, 0), std::min(clip.right - x, nFrameWidth)));
  const int nLeft = std::max(clip.left, x);
  const int nRight = std::min(clip.right, x + nFrameWidth);
  if (nLeft >= nRight) return;
  const std::uint32_t bodyPx = ToPixel(crBody);
  const std::uint32_t black = ToPixel(RGB(0, 0, 0));
  // The ink spread nHalo columns each way, row by row; then each frame row's
  // halo is the spread of the rows within nHalo of it, less its own ink.
  // down[f] gathers rows f to f + nHalo (by doubling), so rows f - nHalo to
  // f + nHalo are down[f - nHalo] | down[f].
  Bits<W> down[kMaxRows];
  if (bHalo) {
    for (int f = 0; f < nFrameHeight; ++f) {
      const Bits<W> r = Load<W>(ink[f]);
      down[f] = Any(r) ? SpreadBits<W>(r, nHalo) : Bits<W>{};
    }
    int nDone = 0;
    while (nDone < nHalo) {
      const int n = std::min(nDone + 1, nHalo - nDone);
      for (int f = 0; f + n < nFrameHeight; ++f) down[f] = Or(down[f], down[f + n]);
      nDone += n;
    }
  }
  const int f0 = std::max(clip.top - y, 0);
  const int f1 = std::min(clip.bottom - y, nFrameHeight);
  if (f0 >= f1) return;
  PaintedRow<W> rows[kMaxRows];
  for (int f = f0; f < f1; ++f) {
    const Bits<W> own = Load<W>(ink[f]);
    PaintedRow<W>& r = rows[f - f0];
    r = {};
    if (bHalo) {
      r.halo = f >= nHalo ? Or(down[f], down[f - nHalo]) : down[f];
      for (int i = 0; i < W; ++i) r.halo.w[i] &= ~own.w[i] & frame.w[i];
    }
    if (bBody)
      for (int i = 0; i < W; ++i) r.ink.w[i] = own.w[i] & frame.w[i];
  }
  CSurface& surface = pDC->Surface();
  const PaintTarget target{surface.Row(y + f0),
                           static_cast<std::size_t>(surface.Width()),
                           x,
                           nLeft,
                           nRight,
                           bodyPx,
                           black};
  PaintRowRuns<W>(target, rows, f1 - f0);
}

}  // namespace

void DrawWideOutline(CDC* pDC, const WideRow* ink, int nFrameWidth, int nFrameHeight, int nHalo,
                     int x, int y, bool bHalo, bool bBody, COLORREF crBody) {
  if (pDC == nullptr || ink == nullptr || nFrameWidth <= 0 || nFrameHeight <= 0) return;
  nFrameWidth = std::min(nFrameWidth, WideRow::kBits);
  nFrameHeight = std::min(nFrameHeight, kMaxRows);
  nHalo = std::clamp(nHalo, 0, 63);
  // The program's glyph halos get their shifts worked out at compile time;
  // the cells at scale 1 fit in two words.
  if (nHalo == 3 && nFrameWidth <= 128)
    return Outline<2, 3>(pDC, ink, nFrameWidth, nFrameHeight, 3, x, y, bHalo, bBody, crBody);
  if (nHalo == 6)
    return Outline<3, 6>(pDC, ink, nFrameWidth, nFrameHeight, 6, x, y, bHalo, bBody, crBody);
  Outline<3, 0>(pDC, ink, nFrameWidth, nFrameHeight, nHalo, x, y, bHalo && nHalo > 0, bBody,
                crBody);
}

}  // namespace solvari
