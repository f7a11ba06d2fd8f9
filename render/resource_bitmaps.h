// SPDX-License-Identifier: GPL-3.0-or-later
// The BitmapFinder over the bitmaps compiled into the program.
#pragma once

#include "render/bitmap.h"

namespace solvari {

BitmapFinder MakeResourceBitmapFinder();

}  // namespace solvari
