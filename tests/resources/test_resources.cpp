// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/sutra_tables.h"
#include "res/resources.h"

namespace solvari {
namespace {

// A .bmp file checked field by field: 14-byte file header, 40-byte
// information header, uncompressed, bottom-up, full colour table.
struct Bmp {
  bool ok = false;
  std::string error;
  int width = 0, height = 0, bpp = 0;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  const std::uint8_t* pixels = nullptr;
  int stride = 0;

  // Palette index (or 0x00RRGGBB for 24 bits) of pixel (x, y), y from the top.
  std::uint32_t At(int x, int y) const {
    const std::uint8_t* row = pixels + static_cast<size_t>(height - 1 - y) * stride;
    if (bpp == 24) return row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x];
    const int bit = x * bpp;
    return (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
  }
  std::uint32_t Rgb(int x, int y) const { return bpp == 24 ? At(x, y) : palette.at(At(x, y)); }
};

std::uint32_t U32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24; }
std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

Bmp Parse(const std::uint8_t* d, size_t size) {
  Bmp b;
  auto fail = [&](const char* why) {
    b.error = why;
    return b;
  };
  if (d == nullptr || size < 54) return fail("shorter than the headers");
  if (d[0] != 'B' || d[1] != 'M') return fail("no BM signature");
  if (U32(d + 2) != size) return fail("file size field disagrees with the data");
  if (U32(d + 14) != 40) return fail("information header is not 40 bytes");
  b.width = static_cast<std::int32_t>(U32(d + 18));
  b.height = static_cast<std::int32_t>(U32(d + 22));
  b.bpp = U16(d + 28);
  if (U16(d + 26) != 1) return fail("planes is not 1");
  if (U32(d + 30) != 0) return fail("compressed");
  if (b.width <= 0 || b.height <= 0) return fail("not a bottom-up picture");
  if (b.bpp != 1 && b.bpp != 4 && b.bpp != 8 && b.bpp != 24) return fail("unexpected depth");
  const std::uint32_t used = U32(d + 46);
  const size_t colours = b.bpp == 24 ? 0 : used ? used : size_t{1} << b.bpp;
  const size_t offBits = U32(d + 10);
  if (offBits != 54 + 4 * colours) return fail("pixels do not follow the colour table");
  b.stride = ((b.width * b.bpp + 31) / 32) * 4;
  if (offBits + static_cast<size_t>(b.stride) * b.height != size) return fail("wrong pixel size");
  for (size_t i = 0; i < colours; ++i) b.palette.push_back(U32(d + 54 + 4 * i) & 0xFFFFFF);
  b.pixels = d + offBits;
  b.ok = true;
  return b;
}

Bmp ParseResource(int id) {
  const ResourceBlob blob = FindBitmapResource(id);
  return Parse(blob.data, blob.size);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Checks that a square or cell of a monochrome glyph bitmap has ink, and none
// on its outermost rows and columns where it would join its neighbours.
void ExpectCellInk(const Bmp& b, int x0, int y0, int w, int h, const std::string& what) {
  int ink = 0, border = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      if (b.At(x, y) != 0) continue;
      ++ink;
      if (x == x0 || y == y0 || x == x0 + w - 1 || y == y0 + h - 1) ++border;
    }
  EXPECT_GT(ink, 0) << what << " is empty";
  EXPECT_EQ(border, 0) << what << " has ink on its border";
}

TEST(BitmapResources, MissingIdentifiersGiveNothing) {
  for (int id : {-1, 0, 127, 129, 239, 241, 100000}) {
    const ResourceBlob blob = FindBitmapResource(id);
    EXPECT_EQ(blob.data, nullptr) << id;
    EXPECT_EQ(blob.size, 0u) << id;
  }
}

TEST(BitmapResources, GlyphColumnsAndStripsMatchTheTables) {
  for (int p = 0; p < kPhraseCount; ++p) {
    const int n = GetPhraseCharCount(p);
    SCOPED_TRACE("phrase " + std::to_string(p));

    const Bmp col = ParseResource(GetColumnGlyphId(p));
    ASSERT_TRUE(col.ok) << col.error;
    EXPECT_EQ(col.width, kCellWidth);
    EXPECT_EQ(col.height, kCellHeight * n);
    EXPECT_EQ(col.bpp, 1);
    EXPECT_EQ(col.palette, (std::vector<std::uint32_t>{0x000000, 0xFFFFFF}));
    for (int i = 0; i < n; ++i)
      ExpectCellInk(col, 0, kCellHeight * i, kCellWidth, kCellHeight,
                    "column cell " + std::to_string(i));

    const Bmp strip = ParseResource(GetStripGlyphId(p));
    ASSERT_TRUE(strip.ok) << strip.error;
    EXPECT_EQ(strip.width, kStripCell * n);
    EXPECT_EQ(strip.height, kStripCell);
    EXPECT_EQ(strip.bpp, 1);
    EXPECT_EQ(strip.palette, (std::vector<std::uint32_t>{0x000000, 0xFFFFFF}));
    for (int i = 0; i < n; ++i)
      ExpectCellInk(strip, kStripCell * i, 0, kStripCell, kStripCell,
                    "strip square " + std::to_string(i));
  }
}

TEST(BitmapResources, EveryIdentifierFrom130To237IsAGlyph) {
  std::vector<int> seen(238, 0);
  for (int p = 0; p < kPhraseCount; ++p) {
    ++seen.at(GetColumnGlyphId(p));
    ++seen.at(GetStripGlyphId(p));
  }
  for (int id = 130; id <= 237; ++id) EXPECT_EQ(seen[id], 1) << id;
}

TEST(BitmapResources, TileIsGreyWithWhiteAtOddColumnAndRow) {
  const Bmp t = ParseResource(238);
  ASSERT_TRUE(t.ok) << t.error;
  EXPECT_EQ(t.width, 8);
  EXPECT_EQ(t.height, 8);
  EXPECT_EQ(t.bpp, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(t.Rgb(x, y), (x % 2 && y % 2) ? 0xFFFFFFu : 0xC0C0C0u) << x << "," << y;
}

TEST(BitmapResources, ToolBarAndAboutPictureSizes) {
  struct Case {
    int id, width, height, bpp;
  };
  for (const Case& c : {Case{128, 80, 15, 4}, Case{1128, 160, 30, 4}, Case{240, 240, 240, 4}}) {
    const Bmp b = ParseResource(c.id);
    ASSERT_TRUE(b.ok) << c.id << ": " << b.error;
    EXPECT_EQ(b.width, c.width) << c.id;
    EXPECT_EQ(b.height, c.height) << c.id;
    EXPECT_EQ(b.bpp, c.bpp) << c.id;
  }
  // The buttons stand on the button-face grey.
  const Bmp bar = ParseResource(128);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(bar.Rgb(16 * k, 14), 0xC0C0C0u) << "button " << k;
}

TEST(DataPictures, DefaultBackgroundAndTitlePicture) {
  const auto bg = ReadFile(std::string(SOLVARI_SOURCE_DIR) + "/data/default.bmp");
  const Bmp b = Parse(bg.data(), bg.size());
  ASSERT_TRUE(b.ok) << b.error;
  EXPECT_GE(b.width, 800);
  EXPECT_GE(b.height, 600);
  EXPECT_EQ(b.bpp, 24);

  const auto title = ReadFile(std::string(SOLVARI_SOURCE_DIR) + "/data/Copyright.bmp");
  const Bmp t = Parse(title.data(), title.size());
  ASSERT_TRUE(t.ok) << t.error;
  EXPECT_NEAR(t.width, 400, 40);
  EXPECT_NEAR(t.height, 300, 30);
}

TEST(BmpParser, RejectsBrokenFiles) {
  const ResourceBlob tile = FindBitmapResource(238);
  ASSERT_NE(tile.data, nullptr);
  std::vector<std::uint8_t> bytes(tile.data, tile.data + tile.size);
  EXPECT_TRUE(Parse(bytes.data(), bytes.size()).ok);
  EXPECT_FALSE(Parse(bytes.data(), bytes.size() - 1).ok);  // truncated
  bytes[0] = 'X';
  EXPECT_FALSE(Parse(bytes.data(), bytes.size()).ok);
}

}  // namespace
}  // namespace solvari
