// A picture read from a .bmp file together with its palette, as the main
// frame holds its background picture and the title window its title picture.
#pragma once

#include <memory>
#include <string>

#include "render/dib.h"

namespace solvari {

class CPictureHolder {
 public:
  // Opens and reads the file. A path that does not open leaves the held
  // picture and palette as they were and returns false. Otherwise the old
  // picture is dropped, the file read and prepared, and the result says
  // whether a picture is held afterwards.
  bool LoadPicture(const std::string& strPath);

  // Checks the picture just read: drops the old palette; discards a picture
  // of negative width or height, or one whose header, colour table or pixel
  // rows do not fit in its block or that cannot be drawn; records the size of
  // a kept picture and builds its palette (none when it has no colour table).
  void PreparePicture();

  CPackedDib m_hPicture;                 // the picture, or null
  std::unique_ptr<CPalette> m_pPalette;  // its palette, or null
  int m_nPictureWidth = 0;               // size of the last picture kept
  int m_nPictureHeight = 0;
};

}  // namespace solvari
