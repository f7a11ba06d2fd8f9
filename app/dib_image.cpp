// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dib_image.h"

#include "res/resources.h"

namespace solvari::app {

QImage SurfaceToImage(const CSurface& surface) {
  if (surface.Width() <= 0 || surface.Height() <= 0) return {};
  const QImage view(reinterpret_cast<const uchar*>(surface.Bits()), surface.Width(),
                    surface.Height(), surface.BytesPerLine(), QImage::Format_RGB32);
  return view.copy();
}

QImage DibToImage(const CPackedDib& dib) {
  if (dib.IsNull() || !IsDibDrawable(dib)) return {};
  const int nWidth = GetDibWidth(dib);
  const int nHeight = GetDibHeight(dib);
  if (nWidth <= 0 || nHeight <= 0) return {};
  CSurface surface(nWidth, nHeight, RGB(255, 255, 255));
  CDC dc(surface);
  const Rect rc{0, 0, nWidth, nHeight};
  if (DrawPackedDib(&dc, &rc, dib, &rc, nullptr) == 0) return {};
  return SurfaceToImage(surface);
}

QImage LoadBitmapImage(int nId) {
  const ResourceBlob blob = FindBitmapResource(nId);
  if (blob.data == nullptr || blob.size == 0) return {};
  return DibToImage(ReadBmpBytes(DibBytes(blob.data, blob.size)));
}

}  // namespace solvari::app
