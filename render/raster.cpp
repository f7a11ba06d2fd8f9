#include "render/raster.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

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

void CDC::FillSolidRect(const Rect& rc, COLORREF cr) {
  const Rect r = rc.Intersect(m_rcClip);
  const std::uint32_t px = ToPixel(cr);
  for (int yy = r.top; yy < r.bottom; ++yy) {
    std::uint32_t* row = m_pSurface->Row(yy);
    std::fill(row + r.left, row + r.right, px);
  }
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

void CDC::BitBlt(int x, int y, int w, int h, const MonoBitmap& src, int sx, int sy,
                 std::uint32_t rop) {
  if (src.pBits == nullptr) return;
  const BlitSpan b = ClipBlit(x, y, w, h, sx, sy, src.nWidth, src.nHeight, m_rcClip);
  const std::uint32_t on = ToPixel(m_crBk);     // 1 bits
  const std::uint32_t off = ToPixel(m_crText);  // 0 bits
  for (int yy = b.dst.top; yy < b.dst.bottom; ++yy) {
    std::uint32_t* row = m_pSurface->Row(yy);
    const int srow = yy + b.dy;
    for (int xx = b.dst.left; xx < b.dst.right; ++xx) {
      const std::uint32_t s = src.Bit(xx + b.dx, srow) ? on : off;
      row[xx] = Combine(row[xx], s, rop);
    }
  }
}

void CDC::BitBlt(int x, int y, int w, int h, const CSurface& src, int sx, int sy,
                 std::uint32_t rop) {
  const BlitSpan b = ClipBlit(x, y, w, h, sx, sy, src.Width(), src.Height(), m_rcClip);
  for (int yy = b.dst.top; yy < b.dst.bottom; ++yy) {
    std::uint32_t* row = m_pSurface->Row(yy);
    const std::uint32_t* srow = src.Row(yy + b.dy) + b.dx;
    for (int xx = b.dst.left; xx < b.dst.right; ++xx) row[xx] = Combine(row[xx], srow[xx], rop);
  }
}

}  // namespace solvari
