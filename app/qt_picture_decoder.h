// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the formats Qt's image readers give (JPEG, PNG, WebP, GIF and
// TIFF) turned into 24-bit packed DIBs for the background picture. The EXIF
// orientation of a photo is applied; transparent pixels are laid over white.
// .bmp files never come here: the program reads them itself.
//
// Limits: a picture of more than kMaxPixels (100 megapixels) is refused from
// its header, before any pixel is decoded, and so is one whose size the
// header does not give; Qt's own allocation limit (kAllocationLimitMiB) stops
// a decoder that would need more memory than such a picture at 8 bytes per
// pixel. The DIB itself is at most 300 MB. A JPEG or GIF file above 512 MiB
// is refused too: it is read whole to check that it is not cut short.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "render/picture_holder.h"

class QIODevice;

namespace solvari::app {

class CQtPictureDecoder : public IPictureDecoder {
 public:
  static constexpr qint64 kMaxPixels = 100'000'000;
  static constexpr int kAllocationLimitMiB = 800;

  enum class Status {
    Ok,
    NotOpened,    // the file does not open
    NotAPicture,  // no reader knows the bytes, or a .bmp or another format not taken
    TooLarge,     // more than kMaxPixels, or a size the header does not give
    Damaged,      // the reader failed: damaged or truncated data
    NoMemory,     // the DIB could not be allocated
  };

  CPackedDib DecodePicture(const std::string& strPath) override;

  // The same from an open device or from bytes; pStatus tells why a null
  // block came back.
  static CPackedDib Decode(QIODevice* pDevice, Status* pStatus = nullptr);
  static CPackedDib DecodeBytes(const QByteArray& bytes, Status* pStatus = nullptr);
  static CPackedDib DecodeFile(const QString& strPath, Status* pStatus = nullptr);

  // An image as a 24-bit packed DIB (information header, no colour table,
  // rows bottom first, each padded to 4 bytes); alpha is laid over white.
  // Null for a null image or when memory runs out.
  static CPackedDib ImageToDib(QImage image);

  // Whether a file can be taken on the interface thread without a wait: a
  // .bmp (the program's own reader, which unpacks nothing), a file no reader
  // here takes, or one whose header claims at most kQuickPixels. A GIF never
  // is: its frames may make a larger canvas than its header gives. Only the
  // header is read. A small compressed file may unpack to a hundred
  // megapixels, seconds of decoding.
  static constexpr qint64 kQuickPixels = 256 * 256;
  static bool DecodesQuickly(const QString& strPath);

  // The file name patterns of the formats taken, for the picture dialog.
  static QString FilePatterns();

  Status LastStatus() const { return m_lastStatus; }

 private:
  Status m_lastStatus = Status::Ok;
};

}  // namespace solvari::app
