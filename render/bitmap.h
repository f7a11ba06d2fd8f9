// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmaps from the program's resources in the layout the display gives them:
// rows top first; a monochrome bitmap has 1 bit per pixel, most significant
// bit leftmost, 1 for white, rows padded to an even number of bytes; a colour
// bitmap has 32 bits per pixel (0xFFRRGGBB).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "render/dib.h"
#include "render/raster.h"

namespace solvari {

// Finds the bytes of bitmap resource nId (a .bmp file, or a packed DIB
// without the file header); empty when there is none.
using BitmapFinder = std::function<DibBytes(int nId)>;

struct BITMAP {
  int bmType = 0;
  int bmWidth = 0;
  int bmHeight = 0;
  int bmWidthBytes = 0;
  int bmPlanes = 1;
  int bmBitsPixel = 0;
};

class CBitmap {
 public:
  // Loads the picture: monochrome when it has 1 bit per pixel, colour
  // otherwise. False (and nothing held) for a missing resource, a picture
  // that cannot be drawn, a negative or zero size, one above 8192 pixels
  // in either direction or above 4M pixels in all.
  bool LoadBitmap(const BitmapFinder& finder, int nId);
  bool LoadBitmap(DibBytes bytes);
  void DeleteObject();

  bool IsLoaded() const { return m_bm.bmWidth > 0; }
  bool IsMonochrome() const { return m_bm.bmBitsPixel == 1; }
  const BITMAP& GetObject() const { return m_bm; }
  int GetWidth() const { return m_bm.bmWidth; }
  int GetHeight() const { return m_bm.bmHeight; }

  // Copies up to nCount bytes of the bits; returns the number copied.
  long GetBitmapBits(std::size_t nCount, void* pBits) const;
  const std::vector<std::uint8_t>& Bits() const { return m_bits; }

  // The monochrome bits as a transfer source; it refers to this bitmap.
  MonoBitmap AsMono() const;
  // The colour pixels (an empty surface for a monochrome bitmap).
  const CSurface& Colour() const { return m_colour; }

 private:
  BITMAP m_bm;
  std::vector<std::uint8_t> m_bits;
  CSurface m_colour;
};

}  // namespace solvari
