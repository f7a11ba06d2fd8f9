// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bmp_writer.h"
#include "render/dib.h"
#include "render/picture_holder.h"

namespace solvari {
namespace {

using testing::BmpShape;
using testing::BuildBmp;
using testing::MakeRows;
using testing::Rgb;

constexpr COLORREF kFill = RGB(1, 2, 3);

COLORREF FromRgb(std::uint32_t v) { return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }

// A colour that tells every pixel of a small picture apart.
std::uint32_t Coded(int x, int y) {
  return (static_cast<std::uint32_t>(x * 17 + 5) << 16) |
         (static_cast<std::uint32_t>(y * 13 + 7) << 8) | 0x42;
}

CPackedDib Dib(const std::vector<std::uint8_t>& file) { return ReadBmpBytes(file); }

CSurface Draw(const CPackedDib& dib, Rect dst, Rect src, int w = 24, int h = 20,
              int* pResult = nullptr) {
  CSurface s(w, h, kFill);
  CDC dc(s);
  const int n = DrawPackedDib(&dc, &dst, dib, &src, nullptr);
  if (pResult) *pResult = n;
  return s;
}

// Checks every pixel of s: inside dst it must be expect(dx, dy), elsewhere kFill.
template <class F>
void ExpectSurface(const CSurface& s, Rect dst, F expect) {
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) {
      const COLORREF want = dst.Contains(x, y) ? expect(x - dst.left, y - dst.top) : kFill;
      ASSERT_EQ(s.GetPixel(x, y), want) << "at " << x << "," << y;
    }
  }
}

std::vector<Rgb> Ramp(int n) {
  std::vector<Rgb> p;
  for (int i = 0; i < n; ++i) {
    p.push_back({static_cast<std::uint8_t>(i * 7 + 1), static_cast<std::uint8_t>(255 - i),
                 static_cast<std::uint8_t>(i * 3)});
  }
  return p;
}
COLORREF RampColour(int i) { return RGB(i * 7 + 1, 255 - i, i * 3); }

// ---- header questions ----

struct HeaderCase {
  const char* name;
  BmpShape shape;
  int width, height, colours, tableSize;
  std::uint64_t pixelsOffset;
};

BmpShape Shape(std::uint32_t nHeader, int w, int h, int bpp, std::uint32_t used = 0,
               int nPalette = 0) {
  BmpShape s;
  s.nHeaderSize = nHeader;
  s.nWidth = w;
  s.nHeight = h;
  s.nBitCount = bpp;
  s.nColorsUsed = used;
  s.palette = Ramp(nPalette);
  s.pixels = MakeRows(w, h, bpp, [](int x, int y) { return (x + y) & 1; });
  return s;
}

TEST(DibHeader, FieldsByForm) {
  const HeaderCase cases[] = {
      {"24-bit, colours used 0", Shape(40, 7, 3, 24), 7, 3, 0, 0, 40},
      {"8-bit, colours used 0", Shape(40, 5, 2, 8, 0, 256), 5, 2, 256, 1024, 1064},
      {"8-bit, colours used 16", Shape(40, 5, 2, 8, 16, 16), 5, 2, 16, 64, 104},
      {"4-bit", Shape(40, 5, 2, 4, 0, 16), 5, 2, 16, 64, 104},
      {"1-bit", Shape(40, 9, 2, 1, 0, 2), 9, 2, 2, 8, 48},
      {"core 4-bit", Shape(12, 300, 2, 4, 0, 16), 300, 2, 16, 48, 60},
      {"core 24-bit", Shape(12, 5, 4, 24), 5, 4, 0, 0, 12},
      {"V4 8-bit", Shape(108, 70000, 1, 8, 2, 2), 70000, 1, 2, 8, 116},
      {"V5 24-bit", Shape(124, 5, 3, 24), 5, 3, 0, 0, 124},
      {"V2 56", Shape(56, 5, 3, 24), 5, 3, 0, 0, 56},
      {"V2 52", Shape(52, 5, 3, 24), 5, 3, 0, 0, 52},
      {"colours used above 65535 cut to 16 bits", Shape(40, 5, 3, 24, 0x10003, 3), 5, 3, 3, 12, 52},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CPackedDib dib = Dib(BuildBmp(c.shape));
    ASSERT_FALSE(dib.IsNull());
    EXPECT_EQ(GetDibWidth(dib), c.width);
    EXPECT_EQ(GetDibHeight(dib), c.height);
    EXPECT_EQ(GetDibColorCount(dib), c.colours);
    EXPECT_EQ(GetDibColorTableSize(dib), c.tableSize);
    EXPECT_EQ(GetDibPixelsOffset(dib), c.pixelsOffset);
    EXPECT_EQ(GetDibPixels(dib), dib.Data() + c.pixelsOffset);
    EXPECT_TRUE(IsDibDrawable(dib));
  }
}

TEST(DibHeader, OtherHeaderSizesAreReadAsTheCoreForm) {
  // A 64-byte header: the core fields read the low and high halves of the
  // 32-bit width, so the height is 0 and nothing is drawn.
  BmpShape s = Shape(64, 300, 5, 24);
  const CPackedDib dib = Dib(BuildBmp(s));
  EXPECT_FALSE(IsDibInfoHeader(dib));
  EXPECT_EQ(GetDibWidth(dib), 300);
  EXPECT_EQ(GetDibHeight(dib), 0);
  EXPECT_EQ(GetDibBitCount(dib), 0);  // offset 10 holds the high half of the height
}

TEST(DibHeader, FieldsOutsideTheBlockReadAsZero) {
  const CPackedDib dib(std::vector<std::uint8_t>{40, 0, 0, 0, 7, 0});
  EXPECT_EQ(GetDibWidth(dib), 0);
  EXPECT_EQ(GetDibHeight(dib), 0);
  EXPECT_EQ(GetDibColorCount(dib), 0);
  EXPECT_EQ(GetDibPixels(dib), nullptr);
  EXPECT_FALSE(IsDibDrawable(dib));
}

// ---- reading files ----

TEST(ReadBmpFile, BlockIsTheFileWithoutItsFileHeader) {
  const auto file = BuildBmp(Shape(40, 3, 2, 24));
  const CPackedDib dib = Dib(file);
  ASSERT_FALSE(dib.IsNull());
  ASSERT_EQ(dib.Size(), file.size() - 14);
  EXPECT_TRUE(std::equal(file.begin() + 14, file.end(), dib.Data()));
}

// What the view's stretched background goes by to know its picture.
TEST(PackedDib, SerialNamesTheBytesAndGoesWithThem) {
  const auto file = BuildBmp(Shape(40, 3, 2, 24));
  const CPackedDib a = ReadBmpBytes(file);
  const CPackedDib b = ReadBmpBytes(file);  // the same bytes read again: another picture
  EXPECT_NE(a.Serial(), 0u);
  EXPECT_NE(a.Serial(), b.Serial());
  CPackedDib copy = a;
  EXPECT_EQ(copy.Serial(), a.Serial());
  CPackedDib moved = std::move(copy);
  EXPECT_EQ(moved.Serial(), a.Serial());
  EXPECT_TRUE(copy.IsNull());  // NOLINT(bugprone-use-after-move): a moved block is null
  EXPECT_EQ(copy.Serial(), 0u);
  moved = b;
  EXPECT_EQ(moved.Serial(), b.Serial());
  moved.Free();
  EXPECT_EQ(moved.Serial(), 0u);
  EXPECT_EQ(CPackedDib().Serial(), 0u);
}

TEST(ReadBmpFile, ShortOrForeignFilesGiveNull) {
  auto file = BuildBmp(Shape(40, 3, 2, 24));
  EXPECT_TRUE(ReadBmpBytes(DibBytes(file.data(), 13)).IsNull());
  EXPECT_TRUE(ReadBmpBytes(DibBytes()).IsNull());
  auto notBm = file;
  notBm[1] = 'A';
  EXPECT_TRUE(ReadBmpBytes(notBm).IsNull());
  // Exactly the file header: an empty block, which no picture can use.
  const CPackedDib empty = ReadBmpBytes(DibBytes(file.data(), 14));
  EXPECT_FALSE(empty.IsNull());
  EXPECT_FALSE(IsDibDrawable(empty));
}

// A file that claims more than it delivers, or fails while reading.
class LyingFile : public CFile {
 public:
  LyingFile(std::vector<std::uint8_t> bytes, std::int64_t nLength, bool bFail)
      : m_bytes(std::move(bytes)), m_nLength(nLength), m_bFail(bFail) {}
  std::int64_t GetLength() override { return m_nLength; }
  std::int64_t Read(void* p, std::size_t n) override {
    if (m_bFail && m_nPos > 0) return -1;
    const std::size_t k = std::min(n, m_bytes.size() - m_nPos);
    std::copy_n(m_bytes.data() + m_nPos, k, static_cast<std::uint8_t*>(p));
    m_nPos += k;
    return static_cast<std::int64_t>(k);
  }

 private:
  std::vector<std::uint8_t> m_bytes;
  std::int64_t m_nLength;
  bool m_bFail;
  std::size_t m_nPos = 0;
};

TEST(ReadBmpFile, LyingLengthsAndReadErrorsGiveNull) {
  const auto file = BuildBmp(Shape(40, 3, 2, 24));
  const auto n = static_cast<std::int64_t>(file.size());
  {
    LyingFile f(file, n + 1, false);
    EXPECT_TRUE(ReadBmpFile(f).IsNull());
  }
  {
    LyingFile f(file, n, true);
    EXPECT_TRUE(ReadBmpFile(f).IsNull());
  }
  {
    LyingFile f(file, -1, false);
    EXPECT_TRUE(ReadBmpFile(f).IsNull());
  }
  {
    LyingFile f(file, std::int64_t{1} << 40, false);  // refused before allocating
    EXPECT_TRUE(ReadBmpFile(f).IsNull());
  }
  {
    LyingFile f(file, n, false);
    EXPECT_FALSE(ReadBmpFile(f).IsNull());
  }
}

// ---- drawing ----

struct DepthCase {
  int bpp;
  int colours;
};

TEST(DrawPackedDib, UnscaledIndexedAndTrueColourPictures) {
  // 1, 4, 8 bits through their colour tables, 24 bits direct; a picture of
  // 13 x 6 drawn whole and as a sub-rectangle at an offset.
  for (const DepthCase dc :
       {DepthCase{1, 2}, DepthCase{4, 16}, DepthCase{8, 256}, DepthCase{24, 0}}) {
    SCOPED_TRACE(dc.bpp);
    const int W = 13, H = 6;
    auto value = [&](int x, int y) -> std::uint32_t {
      return dc.bpp == 24 ? Coded(x, y) : static_cast<std::uint32_t>(x * 3 + y * 5) % dc.colours;
    };
    auto colour = [&](int x, int y) {
      return dc.bpp == 24 ? FromRgb(Coded(x, y)) : RampColour(value(x, y));
    };
    BmpShape s = Shape(40, W, H, dc.bpp, 0, dc.colours);
    s.pixels = MakeRows(W, H, dc.bpp, value);
    const CPackedDib dib = Dib(BuildBmp(s));
    int n = 0;
    CSurface whole = Draw(dib, {2, 3, 2 + W, 3 + H}, {0, 0, W, H}, 24, 20, &n);
    EXPECT_EQ(n, H);
    ExpectSurface(whole, {2, 3, 2 + W, 3 + H}, colour);
    // Rows 1..4 and columns 3..10, numbered from the top.
    CSurface part = Draw(dib, {0, 0, 8, 4}, {3, 1, 11, 5});
    ExpectSurface(part, {0, 0, 8, 4}, [&](int x, int y) { return colour(3 + x, 1 + y); });
  }
}

TEST(DrawPackedDib, CorePictureUsesThreeByteEntries) {
  BmpShape s = Shape(12, 5, 3, 4, 0, 16);
  s.pixels = MakeRows(5, 3, 4, [](int x, int y) { return static_cast<std::uint32_t>(x + 4 * y); });
  const CPackedDib dib = Dib(BuildBmp(s));
  CSurface out = Draw(dib, {0, 0, 5, 3}, {0, 0, 5, 3});
  ExpectSurface(out, {0, 0, 5, 3}, [](int x, int y) { return RampColour(x + 4 * y); });
}

TEST(DrawPackedDib, ColoursUsedShortensTheTable) {
  // 8 bits with 16 colours: indices 16 and up have no entry and draw black.
  BmpShape s = Shape(40, 20, 1, 8, 16, 16);
  s.pixels = MakeRows(20, 1, 8, [](int x, int) { return static_cast<std::uint32_t>(x); });
  const CPackedDib dib = Dib(BuildBmp(s));
  CSurface out = Draw(dib, {0, 0, 20, 1}, {0, 0, 20, 1});
  ExpectSurface(out, {0, 0, 20, 1},
                [](int x, int) { return x < 16 ? RampColour(x) : RGB(0, 0, 0); });
}

TEST(DrawPackedDib, StretchSamplesNearestPixelWithSourceYFromTheBottom) {
  const int W = 4, H = 5;
  const CPackedDib dib = Dib(testing::Build24(W, H, Coded));
  // Doubling columns, rows as they are: rows come from H - bottom .. H - top - 1.
  CSurface out = Draw(dib, {0, 0, 8, 2}, {0, 0, 4, 2});
  ExpectSurface(out, {0, 0, 8, 2}, [](int x, int y) { return FromRgb(Coded(x / 2, 3 + y)); });
  // Three source rows over seven destination rows: the pixel under each centre.
  out = Draw(dib, {1, 1, 5, 8}, {0, 1, 4, 4});
  const int rows[7] = {0, 0, 1, 1, 1, 2, 2};  // floor((2j + 1) * 3 / 14)
  ExpectSurface(out, {1, 1, 5, 8}, [&](int x, int y) { return FromRgb(Coded(x, 1 + rows[y])); });
  // Shrinking 4 columns to 3: columns 0, 2, 3 (floor((2i + 1) * 4 / 6)).
  out = Draw(dib, {0, 0, 3, 5}, {0, 0, 4, 5});
  const int cols[3] = {0, 2, 3};
  ExpectSurface(out, {0, 0, 3, 5}, [&](int x, int y) { return FromRgb(Coded(cols[x], y)); });
}

TEST(DrawPackedDib, OddExcessCropCutsBottomUnscaledAndTopStretched) {
  const int W = 3, H = 5;
  const CPackedDib dib = Dib(testing::Build24(W, H, Coded));
  // Source (0, 0, 3, 4) of a 5-row picture: unscaled shows rows 0..3 ...
  CSurface out = Draw(dib, {0, 0, 3, 4}, {0, 0, 3, 4});
  ExpectSurface(out, {0, 0, 3, 4}, [](int x, int y) { return FromRgb(Coded(x, y)); });
  // ... stretched (wider) shows rows 1..4.
  out = Draw(dib, {0, 0, 6, 4}, {0, 0, 3, 4});
  ExpectSurface(out, {0, 0, 6, 4}, [](int x, int y) { return FromRgb(Coded(x / 2, 1 + y)); });
}

TEST(DrawPackedDib, SameSizeIsUnscaledOtherwiseStretched) {
  const CPackedDib dib = Dib(testing::Build24(100, 80, Coded));
  CSurface a(101, 80, kFill), b(101, 80, kFill);
  CDC da(a), db(b);
  const Rect src{0, 0, 100, 80}, d1{0, 0, 100, 80}, d2{0, 0, 101, 80};
  EXPECT_EQ(DrawPackedDib(&da, &d1, dib, &src, nullptr), 80);
  EXPECT_EQ(DrawPackedDib(&db, &d2, dib, &src, nullptr), 80);
  for (int x = 0; x < 101; ++x) {
    const int sx = static_cast<int>((2 * x + 1) * 100 / 202);
    EXPECT_EQ(b.GetPixel(x, 7), FromRgb(Coded(sx, 7)));
    EXPECT_EQ(a.GetPixel(x, 7), x < 100 ? FromRgb(Coded(x, 7)) : kFill);
  }
}

TEST(DrawPackedDib, ClipRectangleAndSurfaceEdgesBound) {
  const CPackedDib dib = Dib(testing::Build24(10, 10, Coded));
  CSurface s(12, 12, kFill);
  CDC dc(s);
  dc.IntersectClipRect({3, 2, 6, 5});
  const Rect dst{-4, -4, 16, 16}, src{0, 0, 10, 10};
  EXPECT_NE(DrawPackedDib(&dc, &dst, dib, &src, nullptr), 0);
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      const bool in = x >= 3 && x < 6 && y >= 2 && y < 5;
      if (!in)
        EXPECT_EQ(s.GetPixel(x, y), kFill);
      else
        EXPECT_EQ(s.GetPixel(x, y),
                  FromRgb(Coded((2 * (x + 4) + 1) * 10 / 40, (2 * (y + 4) + 1) * 10 / 40)));
    }
  }
}

TEST(DrawPackedDib, SourceOutsideThePictureLeavesTargetAsItWas) {
  const CPackedDib dib = Dib(testing::Build24(4, 4, Coded));
  CSurface out = Draw(dib, {0, 0, 6, 6}, {-1, -1, 5, 5});
  ExpectSurface(out, {0, 0, 6, 6}, [](int x, int y) {
    const int sx = x - 1, sy = y - 1;
    return (sx < 0 || sy < 0 || sx >= 4 || sy >= 4) ? kFill : FromRgb(Coded(sx, sy));
  });
}

TEST(DrawPackedDib, NullBlockAndEmptyRectanglesDrawNothing) {
  const CPackedDib dib = Dib(testing::Build24(4, 4, Coded));
  int n = -1;
  Draw(CPackedDib(), {0, 0, 4, 4}, {0, 0, 4, 4}, 8, 8, &n);
  EXPECT_EQ(n, 0);
  ExpectSurface(Draw(dib, {0, 0, 0, 4}, {0, 0, 4, 4}, 8, 8, &n), {}, [](int, int) { return 0; });
  EXPECT_EQ(n, 0);
  ExpectSurface(Draw(dib, {0, 0, 4, 4}, {0, 0, 4, 0}, 8, 8, &n), {}, [](int, int) { return 0; });
  EXPECT_EQ(n, 0);
}

// ---- bit-field masks and the longer headers ----

TEST(DrawPackedDib, LongerHeadersAsEditorsWriteThem) {
  const int W = 5, H = 3;
  // V5 (124 bytes), 32 bits with BI_BITFIELDS and an alpha mask, the usual
  // export of image editors.
  BmpShape v5;
  v5.nHeaderSize = 124;
  v5.nWidth = W;
  v5.nHeight = H;
  v5.nBitCount = 32;
  v5.nCompression = BI_BITFIELDS;
  v5.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  v5.pixels = MakeRows(W, H, 32, [](int x, int y) { return 0x80000000u | Coded(x, y); });
  // V4 (108 bytes), 24 bits uncompressed.
  BmpShape v4 = v5;
  v4.nHeaderSize = 108;
  v4.nBitCount = 24;
  v4.nCompression = BI_RGB;
  v4.pixels = MakeRows(W, H, 24, Coded);
  // 56 and 52 bytes, 16 bits 5-6-5.
  BmpShape v3 = v5;
  v3.nHeaderSize = 56;
  v3.nBitCount = 16;
  v3.masks = {0xF800, 0x07E0, 0x001F, 0};
  v3.pixels = MakeRows(W, H, 16, [](int x, int y) {
    return static_cast<std::uint32_t>((x * 6) << 11 | (y * 20) << 5 | 31);
  });
  BmpShape v2 = v3;
  v2.nHeaderSize = 52;
  auto rgb565 = [](int x, int y) {
    auto e5 = [](int v) { return (v << 3) | (v >> 2); };
    auto e6 = [](int v) { return (v << 2) | (v >> 4); };
    return RGB(e5(x * 6), e6(y * 20), 255);
  };
  struct {
    const char* name;
    BmpShape shape;
    std::function<COLORREF(int, int)> colour;
  } cases[] = {
      {"V5 32-bit bit fields", v5, [](int x, int y) { return FromRgb(Coded(x, y)); }},
      {"V4 24-bit", v4, [](int x, int y) { return FromRgb(Coded(x, y)); }},
      {"56-byte 5-6-5", v3, rgb565},
      {"52-byte 5-6-5", v2, rgb565},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CPackedDib dib = Dib(BuildBmp(c.shape));
    EXPECT_EQ(GetDibWidth(dib), W);
    EXPECT_EQ(GetDibHeight(dib), H);
    CPictureHolder holder;
    holder.m_hPicture = dib;
    holder.PreparePicture();
    ASSERT_FALSE(holder.m_hPicture.IsNull());
    EXPECT_EQ(holder.m_nPictureWidth, W);
    EXPECT_EQ(holder.m_pPalette, nullptr);
    ExpectSurface(Draw(dib, {1, 1, 1 + W, 1 + H}, {0, 0, W, H}), {1, 1, 1 + W, 1 + H}, c.colour);
  }
}

TEST(DrawPackedDib, SixteenBitsWithoutMasksAreFiveFiveFive) {
  BmpShape s = Shape(40, 2, 1, 16);
  s.pixels = MakeRows(2, 1, 16, [](int x, int) { return x ? 0x7FFFu : (16u << 10 | 1u << 5); });
  CSurface out = Draw(Dib(BuildBmp(s)), {0, 0, 2, 1}, {0, 0, 2, 1});
  EXPECT_EQ(out.GetPixel(0, 0), RGB(132, 8, 0));
  EXPECT_EQ(out.GetPixel(1, 0), RGB(255, 255, 255));
}

TEST(DrawPackedDib, FortyByteHeaderWithMasksAfterIt) {
  // The masks follow the 40-byte header and the pixel rows follow the masks,
  // as 16- and 32-bit exports with bit fields write them.
  BmpShape s = Shape(40, 3, 1, 32);
  s.nCompression = BI_BITFIELDS;
  s.bMasksAfterHeader = true;
  s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0};  // red in the low byte
  s.pixels = MakeRows(3, 1, 32, [](int x, int) { return 0xFFu << (8 * x); });
  const CPackedDib dib = Dib(BuildBmp(s));
  EXPECT_EQ(GetDibPixelsOffset(dib), 52u);
  CSurface out = Draw(dib, {0, 0, 3, 1}, {0, 0, 3, 1});
  EXPECT_EQ(out.GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(out.GetPixel(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(out.GetPixel(2, 0), RGB(0, 0, 255));
  // Without room for its pixel rows after the masks it is no picture.
  std::vector<std::uint8_t> cut = BuildBmp(s);
  cut.resize(cut.size() - 4);
  EXPECT_FALSE(IsDibDrawable(Dib(cut)));
}

// ---- run-length compression ----

TEST(DrawPackedDib, Rle8RunsAbsoluteDeltaAndEndMarks) {
  // 6 x 4, rows bottom first. Row 0: run of 3 x index 1, absolute 2,3,4;
  // row 1: delta (2, 1) lands on row 2 x 2: run 2 x index 5; end of line;
  // row 3: run 6 x index 6; end of bitmap.
  const std::vector<std::uint8_t> rle = {3, 1, 0, 3, 2, 3, 4, 0,  // absolute run padded
                                         0, 0,                    // end of line -> row 1
                                         0, 2, 2, 1,              // delta -> row 2, x 2
                                         2, 5, 0, 0,              // run, end of line -> row 3
                                         6, 6, 0, 1};
  BmpShape s = Shape(40, 6, 4, 8, 0, 256);
  s.nCompression = BI_RLE8;
  s.pixels = rle;
  const CPackedDib dib = Dib(BuildBmp(s));
  ASSERT_TRUE(IsDibDrawable(dib));
  const int expect[4][6] = {
      {6, 6, 6, 6, 6, 6},        // top row: stored row 3
      {-1, -1, 5, 5, -1, -1},    // row 2
      {-1, -1, -1, -1, -1, -1},  // row 1: skipped
      {1, 1, 1, 2, 3, 4},        // bottom row
  };
  auto colour = [&](int x, int y) { return expect[y][x] < 0 ? kFill : RampColour(expect[y][x]); };
  ExpectSurface(Draw(dib, {0, 0, 6, 4}, {0, 0, 6, 4}), {0, 0, 6, 4}, colour);
  // Stretched twice as wide.
  ExpectSurface(Draw(dib, {0, 0, 12, 4}, {0, 0, 6, 4}), {0, 0, 12, 4},
                [&](int x, int y) { return colour(x / 2, y); });
}

TEST(DrawPackedDib, Rle4AlternatesNibbles) {
  // 5 x 1: run of 5 alternating 1, 2; then absolute? no: end of bitmap.
  BmpShape s = Shape(40, 7, 1, 4, 0, 16);
  s.nCompression = BI_RLE4;
  s.pixels = {5, 0x12, 0, 3, 0xAB, 0xC0, 0, 1};  // 1 2 1 2 1, then absolute A B C (cut at 7)
  const CPackedDib dib = Dib(BuildBmp(s));
  ASSERT_TRUE(IsDibDrawable(dib));
  const int want[7] = {1, 2, 1, 2, 1, 10, 11};
  ExpectSurface(Draw(dib, {0, 0, 7, 1}, {0, 0, 7, 1}), {0, 0, 7, 1},
                [&](int x, int) { return RampColour(want[x]); });
}

// ---- rejected pictures ----

std::vector<std::uint8_t> Body(const BmpShape& s) {
  BmpShape b = s;
  b.bFileHeader = false;
  return BuildBmp(b);
}

TEST(DibSafety, TruncatedAndLyingPicturesAreRejected) {
  const BmpShape good8 = Shape(40, 6, 4, 8, 0, 256);
  const BmpShape good24 = Shape(40, 6, 4, 24);
  std::vector<std::pair<const char*, std::vector<std::uint8_t>>> bad;
  auto cut = [](std::vector<std::uint8_t> v, std::size_t n) {
    v.resize(v.size() - n);
    return v;
  };
  bad.push_back({"pixel rows one byte short", cut(Body(good24), 1)});
  bad.push_back({"colour table cut", cut(Body(good8), 24 + 500)});
  bad.push_back({"info header cut", cut(Body(good24), Body(good24).size() - 30)});
  bad.push_back({"core header cut", std::vector<std::uint8_t>{12, 0, 0, 0, 5, 0, 5}});
  bad.push_back({"header size beyond the block", [&] {
                   auto v = Body(good24);
                   testing::PutU32(v, 0, 0xFFFFFFF0u);
                   return v;
                 }()});
  bad.push_back({"header size below the core form", [&] {
                   auto v = Body(good24);
                   testing::PutU32(v, 0, 4);
                   return v;
                 }()});
  auto with = [&](BmpShape s, auto change) {
    change(s);
    auto v = Body(s);
    return v;
  };
  bad.push_back({"huge width", with(good24, [](BmpShape& s) { s.nWidth = 0x7FFFFFFF; })});
  bad.push_back({"huge height", with(good24, [](BmpShape& s) { s.nHeight = 0x7FFFFFFF; })});
  bad.push_back({"huge both, 1 bit", with(Shape(40, 8, 1, 1, 0, 2), [](BmpShape& s) {
                   s.nWidth = 0x7FFFFFFF;
                   s.nHeight = 0x7FFFFFFF;
                 })});
  bad.push_back({"colours used 65535", with(good24, [](BmpShape& s) { s.nColorsUsed = 65535; })});
  bad.push_back({"unknown compression", with(good24, [](BmpShape& s) { s.nCompression = 4; })});
  bad.push_back({"2 bits per pixel", with(good24, [](BmpShape& s) { s.nBitCount = 2; })});
  bad.push_back({"0 bits per pixel", with(good24, [](BmpShape& s) { s.nBitCount = 0; })});
  bad.push_back({"core form, 32 bits", with(Shape(12, 2, 2, 32), [](BmpShape&) {})});
  bad.push_back({"RLE8 with 4 bits", with(good8, [](BmpShape& s) {
                   s.nCompression = BI_RLE8;
                   s.nBitCount = 4;
                   s.palette = Ramp(16);
                   s.pixels = {0, 1};
                 })});
  bad.push_back({"bit fields with 24 bits", with(good24, [](BmpShape& s) { s.nCompression = 3; })});
  bad.push_back({"bit fields without room for masks", [] {
                   std::vector<std::uint8_t> v(44, 0);
                   testing::PutU32(v, 0, 40);
                   testing::PutU32(v, 4, 0);
                   testing::PutU16(v, 14, 32);
                   testing::PutU32(v, 16, 3);
                   return v;
                 }()});
  bad.push_back({"RLE8 stream without an end", with(good8, [](BmpShape& s) {
                   s.nCompression = BI_RLE8;
                   s.pixels = {3, 1, 0, 0, 3, 1};
                 })});
  bad.push_back({"RLE8 absolute run past the end", with(good8, [](BmpShape& s) {
                   s.nCompression = BI_RLE8;
                   s.pixels = {0, 200, 1, 2, 3};
                 })});
  bad.push_back({"RLE4 delta cut", with(Shape(40, 6, 4, 4, 0, 16), [](BmpShape& s) {
                   s.nCompression = BI_RLE4;
                   s.pixels = {0, 2, 1};
                 })});
  bad.push_back({"negative height", with(good24, [](BmpShape& s) { s.nHeight = -4; })});
  bad.push_back({"negative width", with(good24, [](BmpShape& s) { s.nWidth = -6; })});

  for (const auto& [name, bytes] : bad) {
    SCOPED_TRACE(name);
    const CPackedDib dib(bytes);
    EXPECT_FALSE(IsDibDrawable(dib));
    CSurface s(8, 8, kFill);
    CDC dc(s);
    const Rect r{0, 0, 8, 8}, src{0, 0, 6, 4};
    EXPECT_EQ(DrawPackedDib(&dc, &r, dib, &src, nullptr), 0);
    EXPECT_EQ(s, CSurface(8, 8, kFill));
    CPalette pal;
    MakeDibPalette(dib, &pal);  // must stay inside the block
    CPictureHolder holder;
    holder.m_hPicture = dib;
    holder.PreparePicture();
    EXPECT_TRUE(holder.m_hPicture.IsNull());
    EXPECT_EQ(holder.m_pPalette, nullptr);
    EXPECT_EQ(holder.m_nPictureWidth, 0);
  }
}

TEST(DibSafety, EmptyPicturesAreKeptAndDrawNothing) {
  for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}}) {
    CPictureHolder holder;
    holder.m_hPicture = Dib(BuildBmp(Shape(40, w, h, 24)));
    holder.PreparePicture();
    EXPECT_FALSE(holder.m_hPicture.IsNull());
    int n = -1;
    Draw(holder.m_hPicture, {0, 0, 4, 4}, {0, 0, 4, 4}, 8, 8, &n);
    EXPECT_EQ(n, 0);
  }
}

// ---- palettes ----

TEST(MakeDibPalette, FromInfoAndCoreTables) {
  CPalette info, core, none, nullBlock;
  EXPECT_TRUE(MakeDibPalette(Dib(BuildBmp(Shape(40, 4, 1, 8, 16, 16))), &info));
  ASSERT_EQ(info.GetEntryCount(), 16);
  EXPECT_TRUE(MakeDibPalette(Dib(BuildBmp(Shape(12, 4, 1, 4, 0, 16))), &core));
  ASSERT_EQ(core.GetEntryCount(), 16);
  for (int i = 0; i < 16; ++i) {
    const PaletteEntry e{static_cast<std::uint8_t>(i * 7 + 1), static_cast<std::uint8_t>(255 - i),
                         static_cast<std::uint8_t>(i * 3), 0};
    EXPECT_EQ(info.Entries()[i], e);
    EXPECT_EQ(core.Entries()[i], e);
  }
  EXPECT_FALSE(MakeDibPalette(Dib(BuildBmp(Shape(40, 4, 1, 24))), &none));
  EXPECT_FALSE(MakeDibPalette(CPackedDib(), &nullBlock));
  EXPECT_FALSE(info.CreatePalette({PaletteEntry{}}));  // already holds one
}

// ---- the holder ----

class PictureFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("solvari-dib-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  std::string Write(const char* name, const std::vector<std::uint8_t>& bytes) {
    const auto p = m_dir / name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }
  std::filesystem::path m_dir;
};

TEST_F(PictureFiles, LoadKeepsReplacesAndRejects) {
  CPictureHolder h;
  const std::string a = Write("a.bmp", BuildBmp(Shape(40, 4, 3, 8, 16, 16)));
  const std::string b = Write("b.bmp", testing::Build24(7, 5, Coded));
  const std::string bad = Write("bad.bmp", BuildBmp(Shape(40, 4, -3, 24)));
  const std::string text = Write(
      "text.bmp", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!'});

  EXPECT_TRUE(h.LoadPicture(a));
  EXPECT_EQ(GetDibWidth(h.m_hPicture), 4);
  ASSERT_NE(h.m_pPalette, nullptr);
  EXPECT_EQ(h.m_pPalette->GetEntryCount(), 16);

  EXPECT_TRUE(h.LoadPicture(b));  // replaces, and a true-colour picture has no palette
  EXPECT_EQ(GetDibWidth(h.m_hPicture), 7);
  EXPECT_EQ(h.m_pPalette, nullptr);
  EXPECT_EQ(h.m_nPictureWidth, 7);
  EXPECT_EQ(h.m_nPictureHeight, 5);

  // Paths that do not open keep the picture: missing, a folder, very long.
  EXPECT_FALSE(h.LoadPicture((m_dir / "missing.bmp").string()));
  EXPECT_FALSE(h.LoadPicture(m_dir.string()));
  EXPECT_FALSE(h.LoadPicture(m_dir.string() + "/" + std::string(300, 'x') + ".bmp"));
  EXPECT_FALSE(h.LoadPicture(""));
  EXPECT_EQ(GetDibWidth(h.m_hPicture), 7);

  EXPECT_TRUE(h.LoadPicture(a));
  EXPECT_FALSE(h.LoadPicture(bad));  // negative height: no picture at all
  EXPECT_TRUE(h.m_hPicture.IsNull());
  EXPECT_EQ(h.m_pPalette, nullptr);

  EXPECT_TRUE(h.LoadPicture(b));
  EXPECT_FALSE(h.LoadPicture(text));
  EXPECT_TRUE(h.m_hPicture.IsNull());
}

// Files that are not .bmp files go to the picture decoder; "BM" files never
// do, and what the decoder gives is checked like a .bmp picture.
class RecordingDecoder : public IPictureDecoder {
 public:
  CPackedDib next;
  std::vector<std::string> paths;
  CPackedDib DecodePicture(const std::string& strPath) override {
    paths.push_back(strPath);
    return next;
  }
};

TEST_F(PictureFiles, OtherFormatsGoToTheDecoder) {
  RecordingDecoder decoder;
  CPictureHolder h;
  const std::string photo = Write("photo.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3});
  const std::string b = Write("b.bmp", testing::Build24(7, 5, Coded));
  std::vector<std::uint8_t> shortBmp = testing::Build24(7, 5, Coded);
  shortBmp.resize(20);
  const std::string broken = Write("broken.bmp", shortBmp);

  EXPECT_FALSE(h.LoadPicture(photo));  // no decoder: no picture, as before
  h.SetPictureDecoder(&decoder);
  decoder.next = ReadBmpBytes(testing::Build24(3, 2, Coded));
  EXPECT_TRUE(h.LoadPicture(photo));
  EXPECT_EQ(decoder.paths, std::vector<std::string>{photo});
  EXPECT_EQ(h.m_nPictureWidth, 3);

  EXPECT_TRUE(h.LoadPicture(b));
  EXPECT_FALSE(h.LoadPicture(broken));  // a damaged .bmp is not handed on
  EXPECT_EQ(decoder.paths.size(), 1u);
  EXPECT_TRUE(h.m_hPicture.IsNull());

  decoder.next = ReadBmpBytes(BuildBmp(Shape(40, 4, -3, 24)));  // checked like any picture
  EXPECT_FALSE(h.LoadPicture(photo));
  EXPECT_TRUE(h.m_hPicture.IsNull());
  decoder.next = {};
  EXPECT_TRUE(h.LoadPicture(b));
  EXPECT_FALSE(h.LoadPicture(photo));
  EXPECT_TRUE(h.m_hPicture.IsNull());
}

}  // namespace
}  // namespace solvari
