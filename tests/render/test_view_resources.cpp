// SPDX-License-Identifier: GPL-3.0-or-later
// The view and the bitmap loader over the bitmaps compiled into the program.
#include <gtest/gtest.h>

#include "core/reading_state.h"
#include "core/sutra_tables.h"
#include "render/fixed_view_host.h"
#include "render/picture_holder.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"

namespace solvari {
namespace {

TEST(ResourceBitmaps, GlyphsAndTileHaveTheirSizesAndLayout) {
  const BitmapFinder finder = MakeResourceBitmapFinder();
  for (int k = 0; k < kPhraseCount; ++k) {
    SCOPED_TRACE(k);
    CBitmap column, strip;
    ASSERT_TRUE(column.LoadBitmap(finder, kColumnGlyphId[k]));
    EXPECT_TRUE(column.IsMonochrome());
    EXPECT_EQ(column.GetObject().bmWidth, 64);
    EXPECT_EQ(column.GetObject().bmWidthBytes, 8);
    EXPECT_EQ(column.GetObject().bmHeight, 40 * kPhraseCharCount[k]);
    ASSERT_TRUE(strip.LoadBitmap(finder, kStripGlyphId[k]));
    EXPECT_TRUE(strip.IsMonochrome());
    EXPECT_EQ(strip.GetObject().bmWidth, 27 * kPhraseCharCount[k]);
    EXPECT_EQ(strip.GetObject().bmHeight, 27);
  }
  CBitmap tile;
  ASSERT_TRUE(tile.LoadBitmap(finder, 238));
  ASSERT_FALSE(tile.IsMonochrome());
  ASSERT_EQ(tile.GetWidth(), 8);
  ASSERT_EQ(tile.GetHeight(), 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(tile.Colour().GetPixel(x, y),
                (x & 1) && (y & 1) ? RGB(255, 255, 255) : RGB(192, 192, 192));
}

using Host = CFixedViewHost;

TEST(ResourceBitmaps, OverviewAndPageOverTheDefaultPicture) {
  Host host;
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  host.nState = Idle;
  view.OnPaint();
  // The overview is black ink on white and nothing else, and there is ink.
  int nInk = 0;
  for (int y = 0; y < 425; ++y)
    for (int x = 0; x < 723; ++x) {
      const COLORREF c = view.Surface().GetPixel(x, y);
      ASSERT_TRUE(c == RGB(0, 0, 0) || c == RGB(255, 255, 255));
      nInk += c == 0;
    }
  EXPECT_GT(nInk, 1000);

  ASSERT_TRUE(host.picture.LoadPicture(SOLVARI_SOURCE_DIR "/data/default.bmp"));
  EXPECT_GE(host.picture.m_nPictureWidth, 800);
  EXPECT_GE(host.picture.m_nPictureHeight, 600);
  host.nState = Reading;
  view.OnPaint();
  // Every column of the page has white body pixels inside its slot.
  for (int s = 0; s < 6; ++s) {
    const int x0 = 723 - 114 * s - 114;
    int nWhite = 0;
    for (int y = 0; y < 425; ++y)
      for (int x = x0; x < x0 + 70; ++x) nWhite += view.Surface().GetPixel(x, y) == 0xFFFFFF;
    EXPECT_GT(nWhite, 100) << s;
  }
}

}  // namespace
}  // namespace solvari
