#include "render/wide_outline.h"

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

#if !defined(__SSE2__)
// Each byte value as eight pixel masks, most significant bit first.
struct ExpandTable {
  std::uint32_t m[256][8];
  constexpr ExpandTable() : m{} {
    for (int v = 0; v < 256; ++v)
      for (int k = 0; k < 8; ++k) m[v][k] = (v & (0x80 >> k)) != 0 ? 0xFFFFFFFFu : 0u;
  }
};
constexpr ExpandTable kExpand;
#endif

std::uint8_t ByteAt(const WideRow& r, int j) {
  return static_cast<std::uint8_t>(r.w[j / 8] >> (56 - 8 * (j % 8)));
}

// The bits spread over nHalo columns each way: by doubling, 0..1, 0..3, 0..6.
WideRow Spread(const WideRow& r, int nHalo) {
  WideRow right = r, left = r;
  int nDone = 0;  // right and left cover shifts 0..nDone
  while (nDone < nHalo) {
    const int n = std::min(nDone + 1, nHalo - nDone);
    right |= ShiftRight(right, n);
    left |= ShiftLeft(left, n);
    nDone += n;
  }
  right |= left;
  return right;
}

// One frame row at once: ink pixels take body, halo pixels black, the rest
// stay. Groups of 8 frame columns wholly inside [nLeft, nRight) are written
// whole through masks; the others pixel by pixel.
void PaintRow(std::uint32_t* row, int x, int nLeft, int nRight, const WideRow& ink,
              const WideRow& halo, std::uint32_t body, std::uint32_t black, int nGroups) {
  for (int j = 0; j < nGroups; ++j) {
    const std::uint8_t bi = ByteAt(ink, j);
    const std::uint8_t bh = ByteAt(halo, j);
    if ((bi | bh) == 0) continue;
    const int tx = x + 8 * j;
    std::uint32_t* o = row + tx;
    if (tx >= nLeft && tx + 8 <= nRight) {
#if defined(__SSE2__)
      // Four pixels at a time: each lane tests its own bit of the byte.
      const __m128i vBody = _mm_set1_epi32(static_cast<int>(body));
      const __m128i vBlack = _mm_set1_epi32(static_cast<int>(black));
      const __m128i vi = _mm_set1_epi32(bi);
      const __m128i vh = _mm_set1_epi32(bh);
      for (int q = 0; q < 2; ++q) {
        const __m128i bits =
            q == 0 ? _mm_set_epi32(0x10, 0x20, 0x40, 0x80) : _mm_set_epi32(0x01, 0x02, 0x04, 0x08);
        const __m128i mi = _mm_cmpeq_epi32(_mm_and_si128(vi, bits), bits);
        const __m128i mh = _mm_cmpeq_epi32(_mm_and_si128(vh, bits), bits);
        auto* p = reinterpret_cast<__m128i*>(o + 4 * q);
        const __m128i old = _mm_loadu_si128(p);
        const __m128i keep = _mm_andnot_si128(_mm_or_si128(mi, mh), old);
        _mm_storeu_si128(p, _mm_or_si128(keep, _mm_or_si128(_mm_and_si128(vBody, mi),
                                                            _mm_and_si128(vBlack, mh))));
      }
#else
      const std::uint32_t* mi = kExpand.m[bi];
      const std::uint32_t* mh = kExpand.m[bh];
      for (int k = 0; k < 8; ++k)
        o[k] = (o[k] & ~(mi[k] | mh[k])) | (body & mi[k]) | (black & mh[k]);
#endif
      continue;
    }
    for (int k = 0; k < 8; ++k) {
      if (tx + k < nLeft || tx + k >= nRight) continue;
      if (bi & (0x80 >> k))
        o[k] = body;
      else if (bh & (0x80 >> k))
        o[k] = black;
    }
  }
}

}  // namespace

void DrawWideOutline(CDC* pDC, const WideRow* ink, int nFrameWidth, int nFrameHeight, int nHalo,
                     int x, int y, bool bHalo, bool bBody, COLORREF crBody) {
  if (pDC == nullptr || ink == nullptr || nFrameWidth <= 0 || nFrameHeight <= 0) return;
  nFrameWidth = std::min(nFrameWidth, WideRow::kBits);
  nHalo = std::clamp(nHalo, 0, 63);
  const Rect clip = pDC->GetClipBox();
  const WideRow frame =
      ColumnMask(std::max(clip.left - x, 0), std::min(clip.right - x, nFrameWidth));
  const std::uint32_t bodyPx = ToPixel(crBody);
  const std::uint32_t black = ToPixel(RGB(0, 0, 0));
  // The ink spread nHalo columns each way, row by row; then each frame row's
  // halo is the spread of the rows within nHalo of it, less its own ink.
  // down[f] gathers rows f to f + nHalo (by doubling), so rows f - nHalo to
  // f + nHalo are down[f - nHalo] | down[f].
  constexpr int kMaxRows = 256;
  nFrameHeight = std::min(nFrameHeight, kMaxRows);
  WideRow down[kMaxRows];
  if (bHalo) {
    for (int f = 0; f < nFrameHeight; ++f)
      down[f] = ink[f].Any() ? Spread(ink[f], nHalo) : WideRow{};
    int nDone = 0;
    while (nDone < nHalo) {
      const int n = std::min(nDone + 1, nHalo - nDone);
      for (int f = 0; f + n < nFrameHeight; ++f) down[f] |= down[f + n];
      nDone += n;
    }
  }
  const int nGroups = (nFrameWidth + 7) / 8;
  const int nLeft = std::max(clip.left, x);
  const int nRight = std::min(clip.right, x + nFrameWidth);
  if (nLeft >= nRight) return;
  const WideRow none;
  for (int f = 0; f < nFrameHeight; ++f) {
    const int ty = y + f;
    if (ty < clip.top || ty >= clip.bottom) continue;
    WideRow body = bBody ? ink[f] : none;
    WideRow halo;
    if (bHalo) {
      halo = down[f];
      if (f >= nHalo) halo |= down[f - nHalo];
      for (int i = 0; i < WideRow::kWords; ++i) halo.w[i] &= ~ink[f].w[i] & frame.w[i];
    }
    for (int i = 0; i < WideRow::kWords; ++i) body.w[i] &= frame.w[i];
    if (!body.Any() && !halo.Any()) continue;
    PaintRow(pDC->Surface().Row(ty), x, nLeft, nRight, body, halo, bodyPx, black, nGroups);
  }
}

}  // namespace solvari
