// SPDX-License-Identifier: GPL-3.0-or-later
// One run of the picture fuzz target: the bytes as a .bmp file read, checked
// and drawn as the frame and the view do, and as a packed DIB and a resource
// bitmap drawn without the checks. Shared by the fuzz target and the
// regression test that replays its findings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/reading_state.h"
#include "render/bitmap.h"
#include "render/dib.h"
#include "render/picture_holder.h"
#include "render/sutra_view.h"

namespace solvari::fuzz {

struct PictureHost : ISutraViewHost {
  CPictureHolder holder;
  int GetReadingState() const override { return Reading; }
  int GetCurrentPhrase() const override { return 0; }
  const CPackedDib& GetPicture() const override { return holder.m_hPicture; }
  const CPalette* GetPalette() const override { return holder.m_pPalette.get(); }
};

inline void DrawEveryWay(CSurface& surface, const CPackedDib& dib, const CPalette* pPalette) {
  CDC dc(surface);
  // Rectangles from whatever the header claims, kept clear of overflow.
  auto clamp = [](int v) { return v < -100000 ? -100000 : (v > 100000 ? 100000 : v); };
  const int W = clamp(GetDibWidth(dib));
  const int H = clamp(GetDibHeight(dib));
  const Rect whole{0, 0, W, H};
  const Rect rects[][2] = {
      {{-3, -2, -3 + W, -2 + H}, whole},                     // unscaled, off the corner
      {{0, 0, surface.Width(), surface.Height()}, whole},    // stretched over all
      {{2, 1, 9, 8}, {W / 3, H / 3, W / 3 + 7, H / 3 + 7}},  // unscaled crop
      {{0, 0, 5, 31}, {0, 1, W, H}},                         // odd crop, stretched
      {{1, 1, 20, 20}, {-5, -5, W + 5, H + 5}},              // source beyond the picture
  };
  for (const auto& r : rects) DrawPackedDib(&dc, &r[0], dib, &r[1], pPalette);
}

inline void RunOne(const std::uint8_t* data, std::size_t size) {
  CSurface surface(37, 23);
  // As the frame loads its picture and the view paints it.
  PictureHost host;
  CMemFile file(DibBytes(data, size));
  host.holder.m_hPicture = ReadBmpFile(file);
  host.holder.PreparePicture();
  if (!host.holder.m_hPicture.IsNull()) {
    DrawEveryWay(surface, host.holder.m_hPicture, host.holder.m_pPalette.get());
    CSutraView view(host, BitmapFinder());
    view.SetClientSize(41, 29);
    view.OnPaint();
    view.EraseColumn(0);
  }
  // The same bytes taken as a packed DIB nobody checked.
  const CPackedDib raw(data, size);
  DrawEveryWay(surface, raw, nullptr);
  CPalette palette;
  MakeDibPalette(raw, &palette);
  // And as a resource bitmap.
  CBitmap bitmap;
  bitmap.LoadBitmap(DibBytes(data, size));
}

}  // namespace solvari::fuzz
