// SPDX-License-Identifier: GPL-3.0-or-later
// A picture read from a .bmp file together with its palette, as the main
// frame holds its background picture and the title window its title picture.
#pragma once

#include <memory>
#include <string>

#include "render/dib.h"

namespace solvari {

// Turns a picture file of another format (a photo, a drawing) into a packed
// DIB of 24 or 32 bits per pixel, stored bottom row first, so that it is
// cropped, stretched and drawn exactly like a .bmp picture. The program's
// decoder lives with the Qt shell; the drawing never depends on it.
class IPictureDecoder {
 public:
  virtual ~IPictureDecoder() = default;
  // Null when the file is not a picture of a known format, is damaged or
  // truncated, or is too large to be held.
  virtual CPackedDib DecodePicture(const std::string& strPath) = 0;
};

class CPictureHolder {
 public:
  // Opens and reads the file. A path that does not open leaves the held
  // picture and palette as they were and returns false. Otherwise the old
  // picture is dropped, the file read and prepared, and the result says
  // whether a picture is held afterwards. A file that starts with "BM" is
  // read by ReadBmpFile alone; any other file goes to the picture decoder,
  // when there is one (and gives no picture when there is none).
  bool LoadPicture(const std::string& strPath);

  // Checks the picture just read: drops the old palette; discards a picture
  // of negative width or height, or one whose header, colour table or pixel
  // rows do not fit in its block or that cannot be drawn; records the size of
  // a kept picture and builds its palette (none when it has no colour table).
  void PreparePicture();

  // The decoder for files that are not .bmp files; not owned, may be null.
  void SetPictureDecoder(IPictureDecoder* pDecoder) { m_pDecoder = pDecoder; }

  CPackedDib m_hPicture;                 // the picture, or null
  std::unique_ptr<CPalette> m_pPalette;  // its palette, or null
  int m_nPictureWidth = 0;               // size of the last picture kept
  int m_nPictureHeight = 0;

 private:
  IPictureDecoder* m_pDecoder = nullptr;
};

}  // namespace solvari
