// SPDX-License-Identifier: GPL-3.0-or-later
// The program's raster layer: 32-bit RGB surfaces, drawing contexts with the
// classic GDI state (clip, text/background colour, background mode, pen,
// current position), monochrome bitmaps and the few transfers the program
// uses. Colours at every interface are COLORREF values 0x00BBGGRR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace solvari {

using COLORREF = std::uint32_t;  // 0x00BBGGRR

constexpr COLORREF RGB(int r, int g, int b) {
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(COLORREF c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(COLORREF c) { return static_cast<int>((c >> 16) & 0xFF); }

// Surfaces store pixels as 0xFFRRGGBB (the layout of QImage::Format_RGB32).
constexpr std::uint32_t ToPixel(COLORREF c) {
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
constexpr COLORREF ToColorRef(std::uint32_t px) {
  return ((px >> 16) & 0xFFu) | (px & 0xFF00u) | ((px & 0xFFu) << 16);
}

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// (left, top, right, bottom), right and bottom exclusive.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  Rect Intersect(const Rect& o) const;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// A 32-bit RGB image, rows top first.
class CSurface {
 public:
  CSurface() = default;
  CSurface(int nWidth, int nHeight, COLORREF crFill = RGB(0, 0, 0));

  // Negative sizes count as 0.
  void Resize(int nWidth, int nHeight, COLORREF crFill = RGB(0, 0, 0));
  int Width() const { return m_nWidth; }
  int Height() const { return m_nHeight; }
  Rect Bounds() const { return {0, 0, m_nWidth, m_nHeight}; }

  std::uint32_t* Row(int y) { return m_pixels.data() + static_cast<std::size_t>(y) * m_nWidth; }
  const std::uint32_t* Row(int y) const {
    return m_pixels.data() + static_cast<std::size_t>(y) * m_nWidth;
  }
  std::uint32_t* Bits() { return m_pixels.data(); }
  const std::uint32_t* Bits() const { return m_pixels.data(); }
  int BytesPerLine() const { return m_nWidth * 4; }

  // Outside the surface GetPixel gives 0 and SetPixel does nothing.
  COLORREF GetPixel(int x, int y) const;
  void SetPixel(int x, int y, COLORREF cr);
  void Fill(COLORREF cr);

  friend bool operator==(const CSurface&, const CSurface&) = default;

 private:
  int m_nWidth = 0;
  int m_nHeight = 0;
  std::vector<std::uint32_t> m_pixels;
};

// A monochrome bitmap as the transfers see it: 1 bit per pixel, rows top
// first, most significant bit leftmost, nWidthBytes bytes per row. It does not
// own its bits.
struct MonoBitmap {
  int nWidth = 0;
  int nHeight = 0;
  int nWidthBytes = 0;
  const std::uint8_t* pBits = nullptr;

  bool Bit(int x, int y) const {
    return (pBits[y * nWidthBytes + (x >> 3)] & (0x80 >> (x & 7))) != 0;
  }
};

// A transfer of w x h pixels from (sx, sy) of a monochrome bitmap to (x, y).
struct MonoTransfer {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  MonoBitmap src;
  int sx = 0;
  int sy = 0;
};

enum RasterOp : std::uint32_t {
  SRCCOPY = 0x00CC0020,
  SRCAND = 0x008800C6,
  SRCPAINT = 0x00EE0086,
};

enum BkMode : int {
  TRANSPARENT = 1,
  OPAQUE = 2,
};

// A drawing context on a surface. Everything drawn through it is clipped to
// its clip rectangle, which starts as the whole surface.
class CDC {
 public:
  explicit CDC(CSurface& target);

  CSurface& Surface() { return *m_pSurface; }
  const CSurface& Surface() const { return *m_pSurface; }

  Rect GetClipBox() const { return m_rcClip; }
  void IntersectClipRect(const Rect& rc) { m_rcClip = m_rcClip.Intersect(rc); }

  COLORREF SetTextColor(COLORREF cr);
  COLORREF GetTextColor() const { return m_crText; }
  COLORREF SetBkColor(COLORREF cr);
  COLORREF GetBkColor() const { return m_crBk; }
  int SetBkMode(int nMode);
  int GetBkMode() const { return m_nBkMode; }
  // Selects a solid 1-pixel pen of the colour; returns the previous pen colour.
  COLORREF SelectPen(COLORREF cr);
  COLORREF GetPenColor() const { return m_crPen; }

  Point MoveTo(int x, int y);
  Point GetCurrentPosition() const { return m_ptCurrent; }
  // A 1-pixel line in the pen colour from the current position up to, but not
  // including, (x, y); the current position becomes (x, y).
  void LineTo(int x, int y);

  // Fills a rectangle with one colour (ExtTextOut with ETO_OPAQUE and no text).
  void FillSolidRect(const Rect& rc, COLORREF cr);
  void SetPixel(int x, int y, COLORREF cr);

  // Transfers w x h pixels from (sx, sy) of a monochrome source to (x, y):
  // 0 bits take the text colour, 1 bits the background colour, then the
  // raster operation combines them with the target. Source pixels outside the
  // source bitmap are not transferred.
  void BitBlt(int x, int y, int w, int h, const MonoBitmap& src, int sx, int sy, std::uint32_t rop);
  // The same from a colour surface.
  void BitBlt(int x, int y, int w, int h, const CSurface& src, int sx, int sy, std::uint32_t rop);
  // Covers rc with copies of the tile laid on a grid from rc's top-left
  // corner, through the clip rectangle: the same pixels as a SRCCOPY
  // transfer of the whole tile to every grid position.
  void TileBlt(const Rect& rc, const CSurface& tile);
  // Fills rc with the colour, then makes every transfer with SRCAND, row by
  // row, so that each row is written once while it is in the cache: the same
  // pixels as FillSolidRect followed by the BitBlts (which commute).
  void FillThenAndRows(const Rect& rc, COLORREF cr, std::span<const MonoTransfer> transfers);

 private:
  CSurface* m_pSurface;
  Rect m_rcClip;
  COLORREF m_crText = RGB(0, 0, 0);
  COLORREF m_crBk = RGB(255, 255, 255);
  int m_nBkMode = OPAQUE;
  COLORREF m_crPen = RGB(0, 0, 0);
  Point m_ptCurrent;
};

}  // namespace solvari
