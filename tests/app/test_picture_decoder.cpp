// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of other formats than .bmp: each format Qt reads turns into a
// 24-bit DIB with the picture's exact pixels (or, for JPEG, close ones), a
// photo's EXIF orientation is applied, and damaged, truncated and enormous
// files give no picture without decoding anything of an enormous one.
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cstring>

#include "app/fuzz/picture_fuzz_body.h"
#include "app/qt_picture_decoder.h"
#include "core/reading_state.h"
#include "render/fixed_view_host.h"
#include "render/picture_holder.h"
#include "render/sutra_view.h"

using namespace solvari;
using namespace solvari::app;
using Status = CQtPictureDecoder::Status;

namespace {

QByteArray Encode(const QImage& image, const char* pszFormat, int nQuality = -1) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, pszFormat);
  if (nQuality >= 0) writer.setQuality(nQuality);
  if (!writer.write(image)) qWarning() << "cannot write" << pszFormat << writer.errorString();
  return bytes;
}

// Seven by five pixels, every one different.
QImage Pattern(int nWidth = 7, int nHeight = 5) {
  QImage image(nWidth, nHeight, QImage::Format_RGB32);
  for (int y = 0; y < nHeight; ++y)
    for (int x = 0; x < nWidth; ++x)
      image.setPixel(x, y, qRgb(30 * x + 10, 40 * y + 5, 200 - 9 * x - 7 * y));
  return image;
}

// A GIF of the image's colours (at most 4 of them), LZW-coded with a clear
// code before every pair of pixels so that every code is 3 bits wide.
QByteArray EncodeGif(int nWidth, int nHeight, const QList<QRgb>& colours,
                     const std::function<int(int, int)>& index) {
  QByteArray b("GIF89a");
  auto u16 = [&](int v) {
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
  };
  u16(nWidth);
  u16(nHeight);
  b.append(char(0x81));  // global table of 4 entries
  b.append('\0');
  b.append('\0');
  for (int i = 0; i < 4; ++i) {
    const QRgb c = i < colours.size() ? colours[i] : 0;
    b.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
  }
  b.append(',');
  u16(0), u16(0), u16(nWidth), u16(nHeight);
  b.append('\0');
  b.append(char(2));  // minimum code size
  QByteArray data;
  quint32 acc = 0;
  int nBits = 0;
  auto put = [&](int code) {
    acc |= quint32(code) << nBits;
    nBits += 3;
    while (nBits >= 8) {
      data.append(char(acc & 0xFF));
      acc >>= 8;
      nBits -= 8;
    }
  };
  int n = 0;
  for (int y = 0; y < nHeight; ++y)
    for (int x = 0; x < nWidth; ++x) {
      if (n++ % 2 == 0) put(4);
      put(index(x, y));
    }
  put(5);
  if (nBits > 0) data.append(char(acc & 0xFF));
  for (qsizetype i = 0; i < data.size(); i += 255) {
    const QByteArray block = data.mid(i, 255);
    b.append(char(block.size())).append(block);
  }
  b.append('\0').append(';');
  return b;
}

// The APP1 segment of a photo whose camera was turned: EXIF orientation n.
QByteArray WithExifOrientation(QByteArray jpeg, int nOrientation) {
  QByteArray tiff("II*\0\x08\0\0\0", 8);
  tiff.append("\x01\0", 2);                    // one entry
  tiff.append("\x12\x01\x03\0\x01\0\0\0", 8);  // orientation, SHORT, count 1
  tiff.append(char(nOrientation)).append(QByteArray(3, '\0'));
  tiff.append(QByteArray(4, '\0'));  // no next IFD
  QByteArray app1("Exif\0\0", 6);
  app1.append(tiff);
  QByteArray seg("\xFF\xE1", 2);
  seg.append(char((app1.size() + 2) >> 8)).append(char((app1.size() + 2) & 0xFF)).append(app1);
  return jpeg.insert(2, seg);
}

quint32 Crc32(const QByteArray& b) {
  quint32 c = 0xFFFFFFFFu;
  for (char ch : b) {
    c ^= quint8(ch);
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

QByteArray BigEndian32(quint32 v) {
  QByteArray b(4, '\0');
  qToBigEndian(v, b.data());
  return b;
}

// A PNG whose header claims the size; its data is a few bytes of nothing.
QByteArray PngClaiming(quint32 nWidth, quint32 nHeight) {
  QByteArray png("\x89PNG\r\n\x1a\n", 8);
  QByteArray ihdr("IHDR");
  ihdr.append(BigEndian32(nWidth)).append(BigEndian32(nHeight)).append("\x08\x02\0\0\0", 5);
  png.append(BigEndian32(13)).append(ihdr).append(BigEndian32(Crc32(ihdr)));
  QByteArray idat("IDAT\x78\x9c\x63\0\0\0\x01\0\x01", 13);
  png.append(BigEndian32(idat.size() - 4)).append(idat).append(BigEndian32(Crc32(idat)));
  png.append(BigEndian32(0)).append("IEND").append(BigEndian32(Crc32("IEND")));
  return png;
}

// A JPEG of the image with its frame header's size replaced.
QByteArray JpegClaiming(quint16 nWidth, quint16 nHeight) {
  QByteArray jpeg = Encode(Pattern(16, 16), "jpeg", 90);
  const qsizetype i = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
  if (i < 0) return {};
  qToBigEndian(nHeight, jpeg.data() + i + 5);
  qToBigEndian(nWidth, jpeg.data() + i + 7);
  return jpeg;
}

QByteArray GifClaiming(quint16 nWidth, quint16 nHeight) {
  QByteArray gif =
      EncodeGif(4, 4, {qRgb(0, 0, 0), qRgb(255, 255, 255)}, [](int x, int) { return x & 1; });
  qToLittleEndian(nWidth, gif.data() + 6);
  qToLittleEndian(nHeight, gif.data() + 8);
  qToLittleEndian(nWidth, gif.data() + 13 + 12 + 5);  // the image descriptor's size
  qToLittleEndian(nHeight, gif.data() + 13 + 12 + 7);
  return gif;
}

// A little-endian TIFF with one strip of 8-bit grey and the size claimed.
QByteArray TiffClaiming(quint32 nWidth, quint32 nHeight) {
  QByteArray t("II*\0", 4);
  auto u16 = [&](quint16 v) { t.append(char(v & 0xFF)).append(char(v >> 8)); };
  auto u32 = [&](quint32 v) { u16(v & 0xFFFF), u16(v >> 16); };
  u32(8);
  const struct {
    quint16 tag, type;
    quint32 value;
  } entries[] = {{256, 4, nWidth},  {257, 4, nHeight}, {258, 3, 8},
                 {259, 3, 1},       {262, 3, 1},       {273, 4, 8 + 2 + 8 * 12 + 4},
                 {278, 4, nHeight}, {279, 4, 16}};
  u16(8);
  for (const auto& e : entries) u16(e.tag), u16(e.type), u32(1), u32(e.value);
  u32(0);
  t.append(QByteArray(16, '\x7f'));
  return t;
}

// A WebP container whose extended header claims the canvas size.
QByteArray WebpClaiming(quint32 nWidth, quint32 nHeight) {
  QByteArray lossless = Encode(Pattern(4, 4), "webp", 100);
  QByteArray vp8x("VP8X\x0a\0\0\0\0\0\0\0", 12);
  auto put24 = [&](quint32 v) {
    vp8x.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)).append(char((v >> 16) & 0xFF));
  };
  put24(nWidth - 1);
  put24(nHeight - 1);
  QByteArray body("WEBP");
  body.append(vp8x).append(lossless.mid(12));
  QByteArray riff("RIFF");
  QByteArray size(4, '\0');
  qToLittleEndian(quint32(body.size()), size.data());
  return riff.append(size).append(body);
}

// The picture drawn pixel for pixel.
CSurface Draw(const CPackedDib& dib) {
  const int w = GetDibWidth(dib), h = GetDibHeight(dib);
  CSurface surface(w, h, RGB(1, 2, 3));
  CDC dc(surface);
  const Rect rc{0, 0, w, h};
  DrawPackedDib(&dc, &rc, dib, &rc, nullptr);
  return surface;
}

QRgb At(const CSurface& surface, int x, int y) { return surface.Row(y)[x] | 0xFF000000u; }

bool Near(QRgb a, QRgb b, int nTolerance) {
  return std::abs(qRed(a) - qRed(b)) <= nTolerance &&
         std::abs(qGreen(a) - qGreen(b)) <= nTolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= nTolerance;
}

}  // namespace

class TestPictureDecoder : public QObject {
  Q_OBJECT

 private slots:
  void losslessFormatsGiveTheirExactPixels_data() {
    QTest::addColumn<QByteArray>("bytes");
    const QImage image = Pattern();
    QTest::newRow("png") << Encode(image, "png");
    QTest::newRow("webp lossless") << Encode(image, "webp", 100);
    QTest::newRow("tiff") << Encode(image, "tiff");
    QTest::newRow("png with 16 bits per channel")
        << Encode(image.convertToFormat(QImage::Format_RGBA64), "png");
  }
  void losslessFormatsGiveTheirExactPixels() {
    QFETCH(QByteArray, bytes);
    const QImage image = Pattern();
    Status status;
    const CPackedDib dib = CQtPictureDecoder::DecodeBytes(bytes, &status);
    QCOMPARE(status, Status::Ok);
    QVERIFY(IsDibDrawable(dib));
    QCOMPARE(GetDibBitCount(dib), 24);
    QCOMPARE(GetDibWidth(dib), 7);
    QCOMPARE(GetDibHeight(dib), 5);  // positive: stored bottom row first
    QCOMPARE(GetDibColorCount(dib), 0);
    const CSurface drawn = Draw(dib);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) QCOMPARE(At(drawn, x, y), image.pixel(x, y));
  }

  void gifGivesItsColours() {
    const QList<QRgb> colours = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                 qRgb(250, 250, 10)};
    const auto index = [](int x, int y) { return (x + 2 * y) % 4; };
    Status status;
    const CPackedDib dib = CQtPictureDecoder::DecodeBytes(EncodeGif(5, 3, colours, index), &status);
    QCOMPARE(status, Status::Ok);
    const CSurface drawn = Draw(dib);
    QCOMPARE(drawn.Width(), 5);
    QCOMPARE(drawn.Height(), 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) QCOMPARE(At(drawn, x, y), colours[index(x, y)]);
  }

  void jpegIsClose() {
    QImage image(32, 16, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 40));
    Status status;
    const CPackedDib dib = CQtPictureDecoder::DecodeBytes(Encode(image, "jpeg", 95), &status);
    QCOMPARE(status, Status::Ok);
    const CSurface drawn = Draw(dib);
    QCOMPARE(drawn.Width(), 32);
    QVERIFY(Near(At(drawn, 10, 8), qRgb(200, 40, 40), 6));
  }

  void transparencyLiesOverWhite() {
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0, 0, 0, 0));
    image.setPixel(1, 0, qRgba(255, 0, 0, 128));
    const CSurface drawn = Draw(CQtPictureDecoder::DecodeBytes(Encode(image, "png")));
    QCOMPARE(At(drawn, 0, 0), qRgb(255, 255, 255));
    QCOMPARE(At(drawn, 1, 0), qRgb(255, 127, 127));
  }

  // A camera held upright writes a landscape picture and orientation 6
  // ("turn 90 degrees clockwise to show"): red left, blue right becomes red
  // on top, blue below.
  void exifOrientationIsApplied() {
    QImage image(32, 16, QImage::Format_RGB32);
    for (int x = 0; x < 32; ++x)
      for (int y = 0; y < 16; ++y) image.setPixel(x, y, x < 16 ? qRgb(220, 0, 0) : qRgb(0, 0, 220));
    const QByteArray plain = Encode(image, "jpeg", 95);
    const CSurface upright = Draw(CQtPictureDecoder::DecodeBytes(plain));
    QCOMPARE(upright.Width(), 32);
    const CSurface turned = Draw(CQtPictureDecoder::DecodeBytes(WithExifOrientation(plain, 6)));
    QCOMPARE(turned.Width(), 16);
    QCOMPARE(turned.Height(), 32);
    QVERIFY(Near(At(turned, 8, 4), qRgb(220, 0, 0), 12));
    QVERIFY(Near(At(turned, 8, 28), qRgb(0, 0, 220), 12));
    // Orientation 3: upside down, blue comes left.
    const CSurface flipped = Draw(CQtPictureDecoder::DecodeBytes(WithExifOrientation(plain, 3)));
    QCOMPARE(flipped.Width(), 32);
    QVERIFY(Near(At(flipped, 4, 8), qRgb(0, 0, 220), 12));
  }

  void truncatedFilesGiveNoPicture_data() {
    QTest::addColumn<QByteArray>("whole");
    const QImage image = Pattern(64, 48);
    QTest::newRow("png") << Encode(image, "png");
    QTest::newRow("jpeg") << Encode(image, "jpeg", 90);
    QTest::newRow("progressive-free jpeg with exif")
        << WithExifOrientation(Encode(image, "jpeg", 90), 6);
    QTest::newRow("webp") << Encode(image, "webp", 80);
    QTest::newRow("webp lossless") << Encode(image, "webp", 100);
    QTest::newRow("tiff") << Encode(image, "tiff");
    QTest::newRow("gif") << EncodeGif(64, 48, {qRgb(0, 0, 0), qRgb(255, 255, 255)},
                                      [](int x, int y) { return (x ^ y) & 1; });
  }
  void truncatedFilesGiveNoPicture() {
    QFETCH(QByteArray, whole);
    QVERIFY(!CQtPictureDecoder::DecodeBytes(whole).IsNull());
    for (const qsizetype n : {qsizetype(0), qsizetype(1), qsizetype(8), whole.size() / 3,
                              whole.size() / 2, whole.size() - 16, whole.size() - 3}) {
      Status status;
      const CPackedDib dib = CQtPictureDecoder::DecodeBytes(whole.left(n), &status);
      QVERIFY2(dib.IsNull(),
               qPrintable(QStringLiteral("cut at %1 of %2").arg(n).arg(whole.size())));
      QVERIFY(status != Status::Ok);
    }
  }

  // Headers that claim far more pixels than the limit are refused from the
  // header: nothing of the size is decoded or allocated.
  void decompressionBombsAreRefusedFromTheHeader_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected");
    QTest::newRow("png 50000 x 50000") << PngClaiming(50000, 50000) << int(Status::TooLarge);
    QTest::newRow("png 10001 x 10000") << PngClaiming(10001, 10000) << int(Status::TooLarge);
    QTest::newRow("png 2^31 wide") << PngClaiming(0x7FFFFFFF, 1) << int(Status::TooLarge);
    QTest::newRow("jpeg 60000 x 60000") << JpegClaiming(60000, 60000) << int(Status::TooLarge);
    QTest::newRow("gif 65535 x 65535") << GifClaiming(65535, 65535) << int(Status::TooLarge);
    QTest::newRow("tiff 200000 x 1000") << TiffClaiming(200000, 1000) << int(Status::TooLarge);
    QTest::newRow("webp 16384 x 16384") << WebpClaiming(16384, 16384) << int(Status::TooLarge);
  }
  void decompressionBombsAreRefusedFromTheHeader() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);
    QVERIFY(!bytes.isEmpty());
    Status status;
    QVERIFY(CQtPictureDecoder::DecodeBytes(bytes, &status).IsNull());
    QCOMPARE(int(status), expected);
  }

  // Just inside the limit the header check passes; the claimed data is not
  // there, so the reader fails without a picture.
  void aLyingHeaderWithinTheLimitGivesNoPicture() {
    Status status;
    QVERIFY(CQtPictureDecoder::DecodeBytes(PngClaiming(10000, 10000), &status).IsNull());
    QCOMPARE(status, Status::Damaged);
    QVERIFY(CQtPictureDecoder::DecodeBytes(TiffClaiming(9000, 9000), &status).IsNull());
    QCOMPARE(status, Status::Damaged);
  }

  void notPicturesGiveNoPicture_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("This is not a picture at all.\n");
    QTest::newRow("noise") << QByteArray(4096, '\xA5');
    QTest::newRow("a bmp") << Encode(Pattern(), "bmp");
    QTest::newRow("an icon") << Encode(Pattern(), "ico");
    QTest::newRow("a portable pixmap") << Encode(Pattern(), "ppm");
    QTest::newRow("png signature only") << QByteArray("\x89PNG\r\n\x1a\n", 8);
    QTest::newRow("jpeg markers only") << QByteArray("\xFF\xD8\xFF\xD9", 4);
    QTest::newRow("gif header only") << QByteArray("GIF89a\x04\0\x04\0\0\0\0", 13);
  }
  void notPicturesGiveNoPicture() {
    QFETCH(QByteArray, bytes);
    Status status;
    QVERIFY(CQtPictureDecoder::DecodeBytes(bytes, &status).IsNull());
    QVERIFY(status != Status::Ok);
  }

  // Through the holder as the frame loads its picture: the format is told by
  // the bytes, not the name, and a .bmp never reaches Qt.
  void theHolderTakesEveryFormat() {
    QTemporaryDir dir;
    const auto write = [&](const char* pszName, const QByteArray& bytes) {
      QFile file(dir.filePath(QString::fromLatin1(pszName)));
      file.open(QIODevice::WriteOnly);
      file.write(bytes);
      return file.fileName().toStdString();
    };
    CQtPictureDecoder decoder;
    CPictureHolder holder;
    holder.SetPictureDecoder(&decoder);
    QVERIFY(holder.LoadPicture(write("photo.png", Encode(Pattern(), "png"))));
    QCOMPARE(holder.m_nPictureWidth, 7);
    QVERIFY(holder.m_pPalette == nullptr);  // true colour: no palette
    QVERIFY(holder.LoadPicture(write("named-wrongly.bmp", Encode(Pattern(9, 4), "png"))));
    QCOMPARE(holder.m_nPictureWidth, 9);
    // A damaged .bmp stays with the program's reader: no picture.
    QByteArray bmp = Encode(Pattern(), "bmp");
    bmp.truncate(40);
    QVERIFY(!holder.LoadPicture(write("short.bmp", bmp)));
    QVERIFY(holder.m_hPicture.IsNull());
    QVERIFY(holder.LoadPicture(write("again.gif", GifClaiming(4, 4))));
    QVERIFY(!holder.LoadPicture(write("bomb.png", PngClaiming(50000, 50000))));
    QVERIFY(holder.m_hPicture.IsNull());
    QCOMPARE(decoder.LastStatus(), Status::TooLarge);
  }

  // The view crops and stretches a decoded photo by the same rules as a
  // .bmp: a 4 x 2 picture is wider than a 723 x 425 view, which shows its
  // columns 0 to 2 stretched, the first of them red.
  void theViewDrawsADecodedPicture() {
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(0, 1, qRgb(255, 0, 0));
    CFixedViewHost host;
    host.nState = Reading;
    host.picture.m_hPicture = CQtPictureDecoder::DecodeBytes(Encode(image, "png"));
    host.picture.PreparePicture();
    QVERIFY(!host.picture.m_hPicture.IsNull());
    solvari::CSutraView view(host, BitmapFinder());
    view.SetClientSize(723, 425);
    view.OnPaint();
    const CSurface& s = view.Surface();
    QCOMPARE(At(s, 0, 424), qRgb(255, 0, 0));
    QCOMPARE(At(s, 240, 0), qRgb(255, 0, 0));
    QCOMPARE(At(s, 241, 0), qRgb(0, 0, 255));
    QCOMPARE(At(s, 722, 424), qRgb(0, 0, 255));
  }

  // The fuzz target's seeds, one of each format, run clean.
  void fuzzCorpusRunsClean() {
    const QDir corpus(QStringLiteral(SOLVARI_SOURCE_DIR "/app/fuzz/corpus"));
    int n = 0;
    for (const QFileInfo& info : corpus.entryInfoList(QDir::Files)) {
      QFile file(info.filePath());
      QVERIFY(file.open(QIODevice::ReadOnly));
      const QByteArray bytes = file.readAll();
      QVERIFY2(!CQtPictureDecoder::DecodeBytes(bytes).IsNull(), qPrintable(info.fileName()));
      fuzz::RunOnePhoto(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                        static_cast<std::size_t>(bytes.size()));
      ++n;
    }
    QVERIFY(n >= 5);
  }
};

QTEST_GUILESS_MAIN(TestPictureDecoder)
#include "test_picture_decoder.moc"
