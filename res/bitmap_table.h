// SPDX-License-Identifier: GPL-3.0-or-later
// The table of embedded bitmaps, generated at build time from res/bitmaps/
// (see embed_bitmaps.cmake), sorted by identifier.
#pragma once

#include <cstddef>
#include <cstdint>

namespace solvari {

struct BitmapEntry {
  int id;
  const std::uint8_t* data;
  std::size_t size;
};

extern const BitmapEntry kBitmapTable[];
extern const std::size_t kBitmapTableSize;

}  // namespace solvari
