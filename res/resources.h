// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmaps compiled into the program (glyph columns and strips, the background
// tile, the tool bar image, the About picture), each the bytes of a complete
// .bmp file, found by its numeric identifier.
#pragma once

#include <cstddef>
#include <cstdint>

namespace solvari {

struct ResourceBlob {
  const std::uint8_t* data;
  std::size_t size;
};

// The .bmp file with identifier nId, or {nullptr, 0} when there is none.
ResourceBlob FindBitmapResource(int nId);

}  // namespace solvari
