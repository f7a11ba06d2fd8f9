// SPDX-License-Identifier: GPL-3.0-or-later
#include "res/resources.h"

#include <algorithm>
#include <iterator>

#include "res/bitmap_table.h"

namespace solvari {

ResourceBlob FindBitmapResource(int nId) {
  const BitmapEntry* first = kBitmapTable;
  const BitmapEntry* last = kBitmapTable + kBitmapTableSize;
  const BitmapEntry* it =
      std::lower_bound(first, last, nId, [](const BitmapEntry& e, int id) { return e.id < id; });
  if (it == last || it->id != nId) return {nullptr, 0};
  return {it->data, it->size};
}

}  // namespace solvari
