// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "fake_glyphs.h"
#include "render/bitmap.h"

namespace solvari {
namespace {

using testing::BmpShape;
using testing::BuildBmp;
using testing::MakeRows;
using testing::MonoBmp;

BitmapFinder One(const std::vector<std::uint8_t>& bytes, int nId) {
  return [&bytes, nId](int id) -> DibBytes {
    if (id != nId) return {};
    return {bytes.data(), bytes.size()};
  };
}

TEST(ResourceBitmap, MonochromeRowsTopFirstPaddedToEvenBytes) {
  for (int w : {64, 27, 135, 17}) {
    SCOPED_TRACE(w);
    auto ink = [](int x, int y) { return (x * 7 + y * 3) % 5 == 0; };
    const auto file = MonoBmp(w, 9, ink);
    CBitmap bm;
    ASSERT_TRUE(bm.LoadBitmap(One(file, 186), 186));
    const BITMAP& info = bm.GetObject();
    EXPECT_EQ(info.bmWidth, w);
    EXPECT_EQ(info.bmHeight, 9);
    EXPECT_EQ(info.bmBitsPixel, 1);
    EXPECT_EQ(info.bmWidthBytes, (w + 15) / 16 * 2);
    std::vector<std::uint8_t> bits(info.bmWidthBytes * 9);
    EXPECT_EQ(bm.GetBitmapBits(bits.size(), bits.data()), static_cast<long>(bits.size()));
    for (int y = 0; y < 9; ++y) {
      for (int x = 0; x < info.bmWidthBytes * 8; ++x) {
        const bool one = (bits[y * info.bmWidthBytes + x / 8] >> (7 - x % 8)) & 1;
        EXPECT_EQ(one, x < w && !ink(x, y)) << x << "," << y;  // ink is 0, padding 0
      }
    }
    EXPECT_TRUE(bm.AsMono().pBits != nullptr);
  }
}

TEST(ResourceBitmap, InvertedPaletteAndPackedDibWithoutFileHeader) {
  BmpShape s;
  s.nWidth = 8;
  s.nHeight = 1;
  s.nBitCount = 1;
  s.palette = {{255, 255, 255}, {0, 0, 0}};  // index 0 white
  s.pixels = MakeRows(8, 1, 1, [](int x, int) { return x < 3 ? 1u : 0u; });
  s.bFileHeader = false;
  const auto dib = BuildBmp(s);
  CBitmap bm;
  ASSERT_TRUE(bm.LoadBitmap(DibBytes(dib.data(), dib.size())));
  EXPECT_EQ(bm.Bits()[0], 0x1F);
}

TEST(ResourceBitmap, ColourBitmapsBecomeThirtyTwoBits) {
  const auto tile = testing::TileBmp();
  CBitmap bm;
  ASSERT_TRUE(bm.LoadBitmap(One(tile, 238), 238));
  EXPECT_FALSE(bm.IsMonochrome());
  EXPECT_EQ(bm.GetObject().bmBitsPixel, 32);
  EXPECT_EQ(bm.GetObject().bmWidthBytes, 32);
  EXPECT_EQ(bm.Colour().GetPixel(1, 1), RGB(255, 255, 255));
  EXPECT_EQ(bm.Colour().GetPixel(1, 2), RGB(192, 192, 192));
}

TEST(ResourceBitmap, MissingOrBadResourcesLoadNothing) {
  CBitmap bm;
  const std::vector<std::uint8_t> junk = {'B', 'M', 1, 2, 3};
  EXPECT_FALSE(bm.LoadBitmap(One(junk, 1), 1));
  EXPECT_FALSE(bm.LoadBitmap(One(junk, 1), 2));
  EXPECT_FALSE(bm.LoadBitmap(BitmapFinder(), 1));
  const auto huge = MonoBmp(9000, 1, [](int, int) { return false; });
  EXPECT_FALSE(bm.LoadBitmap(One(huge, 1), 1));
  EXPECT_FALSE(bm.IsLoaded());
}

}  // namespace
}  // namespace solvari
