// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/raster.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace solvari {

Rect Rect::Intersect(const Rect& o) const {
  Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
         std::min(bottom, o.bottom)};
  if (r.IsEmpty()) return {};
  return r;
}

CSurface::CSurface(int nWidth, int nHeight, COLORREF crFill) { Resize(nWidth, nHeight, crFill); }

void CSurface::Resize(int nWidth, int nHeight, COLORREF crFill) {
  m_nWidth = std::max(nWidth, 0);
  m_nHeight = std::max(nHeight, 0);
  m_pixels.assign(static_cast<std::size_t>(m_nWidth) * m_nHeight, ToPixel(crFill));
}

COLORREF CSurface::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight) return 0;
  return ToColorRef(Row(y)[x]);
}

void CSurface::SetPixel(int x, int y, COLORREF cr) {
  if (x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight) return;
  Row(y)[x] = ToPixel(cr);
}

void CSurface::Fill(COLORREF cr) { std::fill(m_pixels.begin(), m_pixels.end(), ToPixel(cr)); }

CDC::CDC(CSurface& target) : m_pSurface(&target), m_rcClip(target.Bounds()) {}

COLORREF CDC::SetTextColor(COLORREF cr) { return std::exchange(m_crText, cr); }
COLORREF CDC::SetBkColor(COLORREF cr) { return std::exchange(m_crBk, cr); }
int CDC::SetBkMode(int nMode) { return std::exchange(m_nBkMode, nMode); }
COLORREF CDC::SelectPen(COLORREF cr) { return std::exchange(m_crPen, cr); }

Point CDC::MoveTo(int x, int y) { return std::exchange(m_ptCurrent, Point{x, y}); }

void CDC::SetPixel(int x, int y, COLORREF cr) {
  if (m_rcClip.Contains(x, y)) m_pSurface->Row(y)[x] = ToPixel(cr);
}

void CDC::LineTo(int x, int y) {
  const std::uint32_t px = ToPixel(m_crPen);
  int x0 = m_ptCurrent.x, y0 = m_ptCurrent.y;
  m_ptCurrent = {x, y};
  if (y0 == y) {  // the common case: a horizontal run
    int from = x0 < x ? x0 : x + 1;
    int to = x0 < x ? x - 1 : x0;
    if (y < m_rcClip.top || y >= m_rcClip.bottom) return;
    from = std::max(from, m_rcClip.left);
    to = std::min(to, m_rcClip.right - 1);
    std::uint32_t* row = m_pSurface->Row(y);
    for (int i = from; i <= to; ++i) row[i] = px;
    return;
  }
  // Bresenham, end point left out.
  const int dx = std::abs(x - x0), sx = x0 < x ? 1 : -1;
  const int dy = -std::abs(y - y0), sy = y0 < y ? 1 : -1;
  int err = dx + dy;
  while (x0 != x || y0 != y) {
    if (m_rcClip.Contains(x0, y0)) m_pSurface->Row(y0)[x0] = px;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

namespace {

// Repeats the first nDone pixels of p until n pixels are written.
void RepeatPixels(std::uint32_t* p, std::size_t nDone, std::size_t n) {
  while (nDone < n) {
    const std::size_t k = std::min(nDone, n - nDone);
    std::memcpy(p + nDone, p, k * sizeof(std::uint32_t));
    nDone += k;
  }
}

// Four pixels at a time, as 16-byte stores that later reads of the row can
// take straight from the store queue.
void FillPixels(std::uint32_t* p, std::size_t n, std::uint32_t px) {
  const std::uint32_t quad[4] = {px, px, px, px};
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) std::memcpy(p + i, quad, sizeof quad);
  for (; i < n; ++i) p[i] = px;
}

}  // namespace

void CDC::FillSolidRect(const Rect& rc, COLORREF cr) {
  const Rect r = rc.Intersect(m_rcClip);
  if (r.IsEmpty()) return;
  const std::size_t n = static_cast<std::size_t>(r.Width());
  std::uint32_t* first = m_pSurface->Row(r.top) + r.left;
  FillPixels(first, n, ToPixel(cr));
  for (int yy = r.top + 1; yy < r.bottom; ++yy)
    std::memcpy(m_pSurface->Row(yy) + r.left, first, n * sizeof(std::uint32_t));
}

namespace {

inline std::uint32_t Combine(std::uint32_t dst, std::uint32_t src, std::uint32_t rop) {
  switch (rop) {
    case SRCAND:
      return dst & src;
    case SRCPAINT:
      return dst | src;
    default:
      return src;
  }
}

// The part of a w x h transfer from (sx, sy) to (x, y) that lies inside both
// the destination clip and the source bounds.
struct BlitSpan {
  Rect dst;
  int dx;  // source x = destination x + dx
  int dy;
};

BlitSpan ClipBlit(int x, int y, int w, int h, int sx, int sy, int srcW, int srcH,
                  const Rect& clip) {
  Rect d{x, y, x + std::max(w, 0), y + std::max(h, 0)};
  d = d.Intersect(clip);
  // Source bounds expressed in destination coordinates.
  Rect s{x - sx, y - sy, x - sx + srcW, y - sy + srcH};
  d = d.Intersect(s);
  return {d, sx - x, sy - y};
}

}  // namespace

namespace {

// 32 bits of a row from bit column sx on, the first in bit 31, where the
// row holds at least 8 bytes from byte sx / 8 on: one load.
inline std::uint32_t BitsAt8(const std::uint8_t* bits, int sx) {
  std::uint64_t v;
  std::memcpy(&v, bits + (sx >> 3), sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return static_cast<std::uint32_t>((v << (sx & 7)) >> 32);
}

// Up to 32 bits of a row from bit column sx on, the first in bit 31.
inline std::uint32_t BitsAt(const std::uint8_t* bits, int sx, int n) {
  const std::uint8_t* p = bits + (sx >> 3);
  const int nBytes = ((sx & 7) + n + 7) >> 3;  // 1 to 5
  std::uint64_t v = 0;
  for (int i = 0; i < nBytes; ++i) v = (v << 8) | p[i];
  v <<= 8 * (5 - nBytes);
  return static_cast<std::uint32_t>(v >> (8 - (sx & 7)));
}

// The c (1 to 32) bits of a row of nRowBytes bytes from bit column sx on,
// the first in bit 31, the bits after them 0.
inline std::uint32_t RowBits(const std::uint8_t* bits, int nRowBytes, int sx, int c) {
  const std::uint32_t v = (sx >> 3) + 8 <= nRowBytes ? BitsAt8(bits, sx) : BitsAt(bits, sx, c);
  return c == 32 ? v : v & ~(0xFFFFFFFFu >> c);
}

// One row of a monochrome transfer: n pixels from source bit column sx of
// the row bits. The raster operation is a template argument, so that the
// inner loop is a plain select and combine; an AND with white changes
// nothing, so those pixels are passed over.
template <std::uint32_t Rop>
void MonoRow(std::uint32_t* out, int n, const std::uint8_t* bits, int sx, std::uint32_t on,
             std::uint32_t off) {
  const std::uint32_t diff = on ^ off;
  const bool bSkipOnes = Rop == SRCAND && on == 0xFFFFFFFFu;
  for (int i = 0; i < n; i += 32) {
    const int c = std::min(32, n - i);
    const std::uint32_t v = BitsAt(bits, sx + i, c);
    std::uint32_t* o = out + i;
    if (bSkipOnes) {
      // Only the 0 bits change the target.
      std::uint32_t zeros = ~v & (c == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> c));
      while (zeros != 0) {
        o[31 - std::countr_zero(zeros)] &= off;
        zeros &= zeros - 1;
      }
      continue;
    }
    for (int k = 0; k < c; ++k) {
      const std::uint32_t b = (v >> (31 - k)) & 1u;
      o[k] = Combine(o[k], off ^ (diff & (0u - b)), Rop);
    }
  }
}

template <std::uint32_t Rop>
void MonoBlt(CSurface& surface, const BlitSpan& b, const MonoBitmap& src, std::uint32_t on,
             std::uint32_t off) {
  const int n = b.dst.Width();
  for (int yy = b.dst.top; yy < b.dst.bottom; ++yy) {
    const std::uint8_t* bits = src.pBits + static_cast<std::ptrdiff_t>(yy + b.dy) * src.nWidthBytes;
    MonoRow<Rop>(surface.Row(yy) + b.dst.left, n, bits, b.dst.left + b.dx, on, off);
  }
}

}  // namespace

void CDC::BitBlt(int x, int y, int w, int h, const MonoBitmap& src, int sx, int sy,
                 std::uint32_t rop) {
  if (src.pBits == nullptr) return;
  const BlitSpan b = ClipBlit(x, y, w, h, sx, sy, src.nWidth, src.nHeight, m_rcClip);
  if (b.dst.IsEmpty()) return;
  const std::uint32_t on = ToPixel(m_crBk);     // 1 bits
  const std::uint32_t off = ToPixel(m_crText);  // 0 bits
  switch (rop) {
    case SRCAND:
      MonoBlt<SRCAND>(*m_pSurface, b, src, on, off);
      break;
    case SRCPAINT:
      MonoBlt<SRCPAINT>(*m_pSurface, b, src, on, off);
      break;
    default:
      MonoBlt<SRCCOPY>(*m_pSurface, b, src, on, off);
      break;
  }
}

void CDC::BitBlt(int x, int y, int w, int h, const CSurface& src, int sx, int sy,
                 std::uint32_t rop) {
  const BlitSpan b = ClipBlit(x, y, w, h, sx, sy, src.Width(), src.Height(), m_rcClip);
  if (b.dst.IsEmpty()) return;
  const std::size_t n = static_cast<std::size_t>(b.dst.Width());
  for (int yy = b.dst.top; yy < b.dst.bottom; ++yy) {
    std::uint32_t* row = m_pSurface->Row(yy) + b.dst.left;
    const std::uint32_t* srow = src.Row(yy + b.dy) + b.dst.left + b.dx;
    if (rop != SRCAND && rop != SRCPAINT) {
      std::memcpy(row, srow, n * sizeof(std::uint32_t));
    } else {
      for (std::size_t i = 0; i < n; ++i) row[i] = Combine(row[i], srow[i], rop);
    }
  }
}

void CDC::TileBlt(const Rect& rc, const CSurface& tile) {
  const int bw = tile.Width();
  const int bh = tile.Height();
  const Rect r = rc.Intersect(m_rcClip).Intersect(m_pSurface->Bounds());
  if (bw <= 0 || bh <= 0 || r.IsEmpty()) return;
  const std::size_t n = static_cast<std::size_t>(r.Width());
  for (int yy = r.top; yy < r.bottom; ++yy) {
    std::uint32_t* row = m_pSurface->Row(yy) + r.left;
    // A row already drawn with the same tile row is copied whole.
    if (yy - bh >= r.top) {
      std::memcpy(row, m_pSurface->Row(yy - bh) + r.left, n * sizeof(std::uint32_t));
      continue;
    }
    // One period of the tile row from the first pixel's place in it, then
    // copies of it.
    const std::uint32_t* trow = tile.Row(((yy - rc.top) % bh + bh) % bh);
    int tx = ((r.left - rc.left) % bw + bw) % bw;
    const std::size_t nPeriod = std::min(n, static_cast<std::size_t>(bw));
    for (std::size_t i = 0; i < nPeriod; ++i) {
      row[i] = trow[tx];
      if (++tx == bw) tx = 0;
    }
    RepeatPixels(row, nPeriod, n);
  }
}

void CDC::FillThenAndRows(const Rect& rc, COLORREF cr, std::span<const MonoTransfer> transfers) {
  const Rect fill = rc.Intersect(m_rcClip);
  const std::uint32_t px = ToPixel(cr);
  const std::uint32_t on = ToPixel(m_crBk);
  const std::uint32_t off = ToPixel(m_crText);
  struct Span {
    BlitSpan b;
    const MonoBitmap* src;
  };
  std::vector<Span> spans;
  spans.reserve(transfers.size());
  int top = fill.IsEmpty() ? 0 : fill.top;
  int bottom = fill.IsEmpty() ? 0 : fill.bottom;
  for (const MonoTransfer& t : transfers) {
    if (t.src.pBits == nullptr) continue;
    const BlitSpan b =
        ClipBlit(t.x, t.y, t.w, t.h, t.sx, t.sy, t.src.nWidth, t.src.nHeight, m_rcClip);
    if (b.dst.IsEmpty()) continue;
    if (spans.empty() && fill.IsEmpty()) top = b.dst.top, bottom = b.dst.bottom;
    top = std::min(top, b.dst.top);
    bottom = std::max(bottom, b.dst.bottom);
    spans.push_back({b, &t.src});
  }
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.b.dst.top < b.b.dst.top; });
  // Where a filled row's transfers lie side by side inside the fill, each of
  // their pixels is the fill colour ANDed with the 1-bit or the 0-bit colour:
  // written once, four at a time from a table, and only the gaps filled.
  const std::uint32_t c1 = px & on;
  const std::uint32_t c0 = px & off;
  // The eight pixels of every byte of bits, made once for this drawing.
  std::vector<std::array<std::uint32_t, 8>> octets(spans.empty() ? 0 : 256);
  for (std::size_t v = 0; v < octets.size(); ++v)
    for (std::size_t k = 0; k < 8; ++k) octets[v][k] = (v & (0x80u >> k)) != 0 ? c1 : c0;
  // When the 1 bits leave the fill as it is (a white background), a filled
  // row is the fill with the 0 bits of every transfer in it, wherever they
  // overlap: those bits are gathered into one row of bits, set where the
  // pixel is fill & 0-bit colour, and the row is written from it eight
  // pixels at a time (the table above, with the bits turned over).
  const bool bOnesKeepFill = c1 == px && !fill.IsEmpty();
  const std::size_t nFillWidth = fill.IsEmpty() ? 0 : static_cast<std::size_t>(fill.Width());
  std::vector<std::uint64_t> zeros(bOnesKeepFill && !spans.empty() ? nFillWidth / 64 + 2 : 0);
  bool bInsideFill = false;
  std::vector<const Span*> active;
  bool bActiveChanged = false;
  bool bSideBySide = false;
  std::size_t next = 0;
  for (int yy = top; yy < bottom; ++yy) {
    std::uint32_t* row = m_pSurface->Row(yy);
    // The active transfers are kept in order of their left edges.
    if (std::erase_if(active, [yy](const Span* s) { return s->b.dst.bottom <= yy; }) != 0)
      bActiveChanged = true;
    while (next < spans.size() && spans[next].b.dst.top <= yy) {
      const Span* pNew = &spans[next++];
      active.insert(std::upper_bound(
                        active.begin(), active.end(), pNew,
                        [](const Span* a, const Span* b) { return a->b.dst.left < b->b.dst.left; }),
                    pNew);
      bActiveChanged = true;
    }
    if (bActiveChanged) {
      bActiveChanged = false;
      bSideBySide = true;
      bInsideFill = true;
      int nRight = fill.left;
      for (const Span* s : active) {
        if (s->b.dst.left < nRight || s->b.dst.right > fill.right) bSideBySide = false;
        if (s->b.dst.left < fill.left || s->b.dst.right > fill.right) bInsideFill = false;
        nRight = s->b.dst.right;
      }
    }
    const bool bFilled = yy >= fill.top && yy < fill.bottom;
    if (bFilled && bInsideFill && !zeros.empty() && !active.empty()) {
      std::fill(zeros.begin(), zeros.end(), 0);
      for (const Span* s : active) {
        const BlitSpan& b = s->b;
        const std::uint8_t* bits =
            s->src->pBits + static_cast<std::ptrdiff_t>(yy + b.dy) * s->src->nWidthBytes;
        const int n = b.dst.Width();
        const int nRowBytes = s->src->nWidthBytes;
        for (int i = 0; i < n; i += 32) {
          const int c = std::min(32, n - i);
          const int sx = b.dst.left + b.dx + i;
          const std::uint32_t z =
              ~RowBits(bits, nRowBytes, sx, c) & (c == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> c));
          if (z == 0) continue;
          // Fill column p is bit 63 - p % 64 of word p / 64.
          const std::size_t p = static_cast<std::size_t>(b.dst.left - fill.left + i);
          const std::uint64_t z64 = std::uint64_t{z} << 32;
          const unsigned sh = static_cast<unsigned>(p % 64);
          zeros[p / 64] |= z64 >> sh;
          if (sh != 0) zeros[p / 64 + 1] |= z64 << (64 - sh);
        }
      }
      std::uint32_t* out = row + fill.left;
      std::size_t i = 0;
      for (; i + 64 <= nFillWidth; i += 64) {
        std::uint64_t m = zeros[i / 64];
        for (std::size_t j = 0; j < 64; j += 8, m <<= 8)
          std::memcpy(out + i + j, octets[~m >> 56].data(), 32);
      }
      for (; i + 8 <= nFillWidth; i += 8)
        std::memcpy(out + i, octets[(~zeros[i / 64] >> (56 - i % 64)) & 0xFFu].data(), 32);
      for (; i < nFillWidth; ++i) out[i] = (zeros[i / 64] >> (63 - i % 64)) & 1u ? c0 : px;
      continue;
    }
    if (bFilled && bSideBySide) {
      int x = fill.left;
      for (const Span* s : active) {
        const BlitSpan& b = s->b;
        if (b.dst.left > x) FillPixels(row + x, static_cast<std::size_t>(b.dst.left - x), px);
        const std::uint8_t* bits =
            s->src->pBits + static_cast<std::ptrdiff_t>(yy + b.dy) * s->src->nWidthBytes;
        const int n = b.dst.Width();
        std::uint32_t* out = row + b.dst.left;
        const int nRowBytes = s->src->nWidthBytes;
        for (int i = 0; i < n; i += 32) {
          const int c = std::min(32, n - i);
          const int sx = b.dst.left + b.dx + i;
          const std::uint32_t v = RowBits(bits, nRowBytes, sx, c);
          int k = 0;
          for (; k + 8 <= c; k += 8)
            std::memcpy(out + i + k, octets[(v >> (24 - k)) & 0xFFu].data(), 32);
          for (; k < c; ++k) out[i + k] = (v >> (31 - k)) & 1u ? c1 : c0;
        }
        x = b.dst.right;
      }
      if (fill.right > x) FillPixels(row + x, static_cast<std::size_t>(fill.right - x), px);
      continue;
    }
    if (bFilled) FillPixels(row + fill.left, static_cast<std::size_t>(fill.Width()), px);
    for (const Span* s : active) {
      const BlitSpan& b = s->b;
      const std::uint8_t* bits =
          s->src->pBits + static_cast<std::ptrdiff_t>(yy + b.dy) * s->src->nWidthBytes;
      MonoRow<SRCAND>(row + b.dst.left, b.dst.Width(), bits, b.dst.left + b.dx, on, off);
    }
  }
}

}  // namespace solvari
