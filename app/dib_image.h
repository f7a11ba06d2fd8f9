// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the packed-DIB library as Qt images, for the tool bar, the
// About box and the title window.
#pragma once

#include <QImage>

#include "render/dib.h"
#include "render/raster.h"

namespace solvari::app {

// The surface's pixels as an image (a deep copy).
QImage SurfaceToImage(const CSurface& surface);
// The whole picture, pixel for pixel; a null image when it cannot be drawn.
QImage DibToImage(const CPackedDib& dib);
// Bitmap resource nId; a null image when there is none.
QImage LoadBitmapImage(int nId);

}  // namespace solvari::app
