// SPDX-License-Identifier: GPL-3.0-or-later
// The count of recitations in the corner of the reading page: its figures at
// scale 1 and 2, each pixel of it with its halo, nothing without a count, and
// the count kept whole when the column slot it reaches into is erased.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "fake_glyphs.h"
#include "render/count_figures.h"
#include "render/fixed_view_host.h"
#include "render/sutra_view.h"

namespace solvari {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

bool Ink(const MonoBitmap& m, int x, int y) {
  return x >= 0 && y >= 0 && x < m.nWidth && y < m.nHeight && !m.Bit(x, y);
}

struct CountPage {
  CountPage(int nScale, const std::string& count) : view(host, res.Finder()) {
    host.nPhrase = 5;  // the leftmost slot holds phrase 5, a long one
    host.strCount = count;
    view.SetClientSize(723 * nScale, 425 * nScale, nScale);
    view.OnPaint();
  }
  CFixedViewHost host;
  testing::FakeResources res;
  CSutraView view;
};

TEST(CountFigures, EachFigureIsItsOwnAndScaleTwoDoublesEveryPixel) {
  std::set<std::vector<std::uint8_t>> shapes;
  for (char c : std::string("0123456789/")) {
    const FigureBitmap f = MakeFigureBitmap(std::string(1, c));
    ASSERT_EQ(f.mono.nWidth, kFigureWidth) << c;
    ASSERT_EQ(f.mono.nHeight, kFigureHeight);
    shapes.insert(f.bits);
  }
  EXPECT_EQ(shapes.size(), 11u);
  const FigureBitmap one = MakeFigureBitmap("21 / 21");
  const FigureBitmap two = MakeFigureBitmap("21 / 21", 2);
  EXPECT_EQ(one.mono.nWidth, 5 * kFigureWidth + 4 * kFigureGap + 2 * kFigureSpace);
  ASSERT_EQ(two.mono.nWidth, 2 * one.mono.nWidth);
  ASSERT_EQ(two.mono.nHeight, 2 * one.mono.nHeight);
  for (int y = 0; y < two.mono.nHeight; ++y)
    for (int x = 0; x < two.mono.nWidth; ++x)
      ASSERT_EQ(Ink(two.mono, x, y), Ink(one.mono, x / 2, y / 2)) << x << "," << y;
  // Nothing to draw: no bitmap.
  EXPECT_TRUE(MakeFigureBitmap("").bits.empty());
  EXPECT_TRUE(MakeFigureBitmap("x").bits.empty());
}

// Every pixel of the page with the count is the page without it, but for
// the figures' ink in white and their halo in black, at the bottom left.
void ExpectCountOnPage(int nScale) {
  SCOPED_TRACE(nScale);
  const std::string text = "2 / 7";
  CountPage with(nScale, text);
  CountPage without(nScale, "");
  const FigureBitmap f = MakeFigureBitmap(text, nScale);
  const int x0 = CSutraView::kCountMargin * nScale;
  const int y0 = 425 * nScale - (kFigureHeight + CSutraView::kCountMargin) * nScale;
  const int h = 2 * nScale;
  int nInk = 0;
  for (int y = 0; y < 425 * nScale; ++y) {
    for (int x = 0; x < 723 * nScale; ++x) {
      bool bNear = false;
      for (int dy = -h; dy <= h && !bNear; ++dy)
        for (int dx = -h; dx <= h && !bNear; ++dx) bNear = Ink(f.mono, x - x0 + dx, y - y0 + dy);
      COLORREF expected = without.view.Surface().GetPixel(x, y);
      if (Ink(f.mono, x - x0, y - y0)) {
        expected = kWhite;
        ++nInk;
      } else if (bNear) {
        expected = kBlack;
      }
      ASSERT_EQ(with.view.Surface().GetPixel(x, y), expected) << x << "," << y;
    }
  }
  EXPECT_GT(nInk, 0);
}

TEST(CountOnPage, ExactAtScaleOneAndTwo) {
  ExpectCountOnPage(1);
  ExpectCountOnPage(2);
}

TEST(CountOnPage, ErasingTheSlotItReachesIntoKeepsItWhole) {
  // Wide enough to reach into the leftmost slot (x from 723 - 6 * 114 = 39).
  CountPage page(1, "21 / 21");
  const CSurface before = page.view.Surface();
  page.view.EraseColumn(5);
  page.view.DrawColumn(5);
  for (int y = 380; y < 425; ++y)
    for (int x = 0; x < 60; ++x)
      ASSERT_EQ(page.view.Surface().GetPixel(x, y), before.GetPixel(x, y)) << x << "," << y;
  // The overview shows no count.
  CountPage overview(1, "21 / 21");
  overview.host.nState = Idle;
  overview.view.OnPaint();
  CountPage plain(1, "");
  plain.host.nState = Idle;
  plain.view.OnPaint();
  for (int y = 0; y < 425; ++y)
    for (int x = 0; x < 723; ++x)
      ASSERT_EQ(overview.view.Surface().GetPixel(x, y), plain.view.Surface().GetPixel(x, y));
}

}  // namespace
}  // namespace solvari
