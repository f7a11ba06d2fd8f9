// SPDX-License-Identifier: GPL-3.0-or-later
// One run of the photo fuzz target: the bytes through Qt's image readers into
// a DIB, which must then pass the program's own checks and is drawn as the
// view draws its background. Shared by the fuzz target and the test that
// replays its corpus and findings.
#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/qt_picture_decoder.h"
#include "render/fuzz/dib_fuzz_body.h"

namespace solvari::fuzz {

inline void RunOnePhoto(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  app::CQtPictureDecoder::Status status;
  PictureHost host;
  host.holder.m_hPicture = app::CQtPictureDecoder::DecodeBytes(bytes, &status);
  if (host.holder.m_hPicture.IsNull()) return;
  // What the decoder gives is always a picture the program can draw, and
  // never more than the limit.
  const CPackedDib& dib = host.holder.m_hPicture;
  if (!IsDibDrawable(dib) || GetDibBitCount(dib) != 24 || GetDibWidth(dib) <= 0 ||
      GetDibHeight(dib) <= 0 ||
      std::int64_t{GetDibWidth(dib)} * GetDibHeight(dib) > app::CQtPictureDecoder::kMaxPixels)
    std::abort();
  host.holder.PreparePicture();
  if (host.holder.m_hPicture.IsNull()) std::abort();
  CSurface surface(37, 23);
  DrawEveryWay(surface, host.holder.m_hPicture, host.holder.m_pPalette.get());
  CSutraView view(host, BitmapFinder());
  view.SetClientSize(41, 29);
  view.OnPaint();
  view.EraseColumn(0);
}

}  // namespace solvari::fuzz
