// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/resource_bitmaps.h"

#include "res/resources.h"

namespace solvari {

BitmapFinder MakeResourceBitmapFinder() {
  return [](int nId) -> DibBytes {
    const ResourceBlob blob = FindBitmapResource(nId);
    if (blob.data == nullptr) return {};
    return {blob.data, blob.size};
  };
}

}  // namespace solvari
