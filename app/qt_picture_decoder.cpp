// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_picture_decoder.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <new>
#include <vector>

namespace solvari::app {

namespace {

constexpr std::array<const char*, 5> kFormats = {"jpeg", "png", "webp", "gif", "tiff"};

bool IsTakenFormat(const QByteArray& format) {
  const QByteArray f = format.toLower();
  return std::any_of(kFormats.begin(), kFormats.end(), [&](const char* p) { return f == p; });
}

// A JPEG stream is whole only if its entropy-coded data ends in an EOI
// marker. libjpeg pads a stream that stops early with a fake one and Qt then
// hands over a picture grey at the bottom; this walk tells the two apart.
// Segments are skipped by their lengths, so that the EOI of a thumbnail inside
// an EXIF segment is not taken for the picture's.
bool IsWholeJpeg(const QByteArray& bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  const qsizetype n = bytes.size();
  if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
  qsizetype i = 2;
  bool bInScan = false;
  while (i < n) {
    if (bInScan) {
      // Entropy-coded data: 0xFF is followed by 0x00 (stuffing) or a restart
      // marker; anything else is the next marker.
      if (p[i] != 0xFF) {
        ++i;
        continue;
      }
      if (i + 1 >= n) return false;
      const std::uint8_t m = p[i + 1];
      if (m == 0x00 || (m >= 0xD0 && m <= 0xD7) || m == 0xFF) {
        i += m == 0xFF ? 1 : 2;
        continue;
      }
      bInScan = false;
      continue;
    }
    if (p[i] != 0xFF) return false;
    while (i < n && p[i] == 0xFF) ++i;  // fill bytes
    if (i >= n) return false;
    const std::uint8_t m = p[i++];
    if (m == 0xD9) return true;  // EOI
    if ((m >= 0xD0 && m <= 0xD7) || m == 0x01) continue;
    if (i + 2 > n) return false;
    const int nLength = (p[i] << 8) | p[i + 1];
    if (nLength < 2 || i + nLength > n) return false;
    i += nLength;
    if (m == 0xDA) bInScan = true;  // start of scan: entropy-coded data follows
  }
  return false;
}

// A GIF is whole when its blocks, walked by their lengths from the header,
// reach the trailer. Qt shows what it has of a frame cut short.
bool IsWholeGif(const QByteArray& bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  const qsizetype n = bytes.size();
  if (n < 13) return false;
  qsizetype i = 13;
  if (p[10] & 0x80) i += qsizetype{3} << ((p[10] & 7) + 1);  // global colour table
  const auto skipSubBlocks = [&]() {
    while (i < n) {
      const int nLength = p[i++];
      if (nLength == 0) return true;
      i += nLength;
    }
    return false;
  };
  while (i < n) {
    const std::uint8_t b = p[i++];
    if (b == 0x3B) return true;  // trailer
    if (b == 0x21) {             // extension: label, then sub-blocks
      if (i >= n) return false;
      ++i;
      if (!skipSubBlocks()) return false;
    } else if (b == 0x2C) {  // image: descriptor, local table, code size, data
      if (i + 9 > n) return false;
      const std::uint8_t flags = p[i + 8];
      i += 9;
      if (flags & 0x80) i += qsizetype{3} << ((flags & 7) + 1);
      if (i >= n) return false;
      ++i;
      if (!skipSubBlocks()) return false;
    } else {
      return false;
    }
  }
  return false;
}

enum class Whole { Yes, No, TooLong };

// Whether the file holds all of the picture, for the formats whose readers
// give a picture cut short without failing (JPEG pads a truncated stream,
// GIF shows a partial frame, PNG does not need its end chunk).
Whole IsWhole(const QByteArray& format, QIODevice* pDevice) {
  // The files of a picture within the pixel limit are smaller than this.
  constexpr qint64 kMaxWalkedBytes = qint64{512} << 20;
  if (format != "jpeg" && format != "gif" && format != "png") return Whole::Yes;
  const qint64 nPos = pDevice->pos();
  const qint64 nSize = pDevice->size();
  if (pDevice->isSequential()) return Whole::No;
  Whole result = Whole::No;
  if (format == "png") {
    // The end chunk, with its fixed CRC, within the last 64 KiB.
    static const QByteArray kEnd("\0\0\0\0IEND\xAE\x42\x60\x82", 12);
    const qint64 nFrom = std::max<qint64>(0, nSize - 65536);
    if (pDevice->seek(nFrom) && pDevice->read(nSize - nFrom).contains(kEnd)) result = Whole::Yes;
  } else if (nSize > kMaxWalkedBytes) {
    result = Whole::TooLong;
  } else if (pDevice->seek(0)) {
    const QByteArray bytes = pDevice->read(nSize);
    const bool bWhole = format == "jpeg" ? IsWholeJpeg(bytes) : IsWholeGif(bytes);
    result = bWhole ? Whole::Yes : Whole::No;
  }
  if (!pDevice->seek(nPos)) return Whole::No;
  return result;
}

}  // namespace

CPackedDib CQtPictureDecoder::DecodePicture(const std::string& strPath) {
  return DecodeFile(QString::fromStdString(strPath), &m_lastStatus);
}

CPackedDib CQtPictureDecoder::DecodeFile(const QString& strPath, Status* pStatus) {
  QFile file(strPath);
  if (!file.open(QIODevice::ReadOnly)) {
    if (pStatus) *pStatus = Status::NotOpened;
    return {};
  }
  return Decode(&file, pStatus);
}

CPackedDib CQtPictureDecoder::DecodeBytes(const QByteArray& bytes, Status* pStatus) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return Decode(&buffer, pStatus);
}

CPackedDib CQtPictureDecoder::Decode(QIODevice* pDevice, Status* pStatus) {
  Status dummy;
  Status& status = pStatus ? *pStatus : dummy;
  QImageReader::setAllocationLimit(kAllocationLimitMiB);
  QImageReader reader(pDevice);
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);  // EXIF orientation
  const QByteArray format = reader.format();
  if (format.isEmpty() || !IsTakenFormat(format)) {
    status = Status::NotAPicture;
    return {};
  }
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty() ||
      qint64{size.width()} * qint64{size.height()} > kMaxPixels) {
    status = Status::TooLarge;
    return {};
  }
  switch (IsWhole(format, pDevice)) {
    case Whole::Yes:
      break;
    case Whole::TooLong:
      status = Status::TooLarge;
      return {};
    case Whole::No:
      status = Status::Damaged;
      return {};
  }
  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    status = Status::Damaged;
    return {};
  }
  // A GIF's header may give less than the canvas its frames make; Qt's
  // allocation limit has bounded that canvas, this keeps the limit exact.
  if (qint64{image.width()} * qint64{image.height()} > kMaxPixels) {
    status = Status::TooLarge;
    return {};
  }
  CPackedDib dib = ImageToDib(std::move(image));
  status = dib.IsNull() ? Status::NoMemory : Status::Ok;
  return dib;
}

CPackedDib CQtPictureDecoder::ImageToDib(QImage image) {
  if (image.isNull()) return {};
  const bool bAlpha = image.hasAlphaChannel();
  image.convertTo(bAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (image.isNull()) return {};
  static_assert(sizeof(QRgb) == sizeof(std::uint32_t));
  return DibFromArgb(reinterpret_cast<const std::uint32_t*>(image.constBits()), image.width(),
                     image.height(), static_cast<std::size_t>(image.bytesPerLine()) / 4, bAlpha);
}

bool CQtPictureDecoder::DecodesQuickly(const QString& strPath) {
  QFile file(strPath);
  if (!file.open(QIODevice::ReadOnly)) return true;  // fails at once
  if (file.peek(2) == "BM") return true;
  QImageReader reader(&file);
  reader.setDecideFormatFromContent(true);
  const QByteArray format = reader.format();
  if (format.isEmpty() || !IsTakenFormat(format)) return true;  // refused at once
  if (format.toLower() == "gif") return false;
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty()) return true;  // refused from its header
  return qint64{size.width()} * qint64{size.height()} <= kQuickPixels;
}

QString CQtPictureDecoder::FilePatterns() {
  return QStringLiteral("*.jpg *.jpeg *.jpe *.png *.webp *.gif *.tif *.tiff");
}

}  // namespace solvari::app
