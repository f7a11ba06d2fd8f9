// SPDX-License-Identifier: GPL-3.0-or-later
// Pointing at a phrase in the overview: the layout the overview is painted
// with, over the bitmaps compiled into the program.
#include <gtest/gtest.h>

#include "core/reading_state.h"
#include "core/sutra_tables.h"
#include "render/fixed_view_host.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"

namespace solvari {
namespace {

bool Contains(const Rect& rc, int x, int y) {
  return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
}

TEST(OverviewHit, EveryInkPixelBelongsToThePhraseItWasPaintedFor) {
  CFixedViewHost host;
  host.nState = Idle;
  CSutraView view(host, MakeResourceBitmapFinder());
  const int w = 723;
  const int h = 1200;  // tall enough for the longest column
  view.SetClientSize(w, h);
  view.OnPaint();
  std::vector<Rect> rects;
  for (int q = 0; q < kPhraseCount; ++q) rects.push_back(CSutraView::OverviewPhraseRect(w, q));
  std::vector<int> nInk(kPhraseCount, 0);
  int nDisagree = 0;
  int nStrayInk = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int k = view.OverviewPhraseAt(x, y);
      // The point and the rectangles agree everywhere.
      for (int q = 0; q < kPhraseCount; ++q)
        if (Contains(rects[static_cast<std::size_t>(q)], x, y) != (q == k)) ++nDisagree;
      if ((view.Surface().GetPixel(x, y) & 0xFFFFFF) == 0) {
        if (k < 0)
          ++nStrayInk;
        else
          ++nInk[static_cast<std::size_t>(k)];
      }
    }
  }
  EXPECT_EQ(nDisagree, 0);
  EXPECT_EQ(nStrayInk, 0);
  for (int k = 0; k < kPhraseCount; ++k) EXPECT_GT(nInk[static_cast<std::size_t>(k)], 0) << k;
}

TEST(OverviewHit, PhrasesGapsAndEdges) {
  const int w = 723;
  // Column 0 (x 694..720) holds phrase 0 at y 0..134 and phrase 1 at 162..404.
  EXPECT_EQ(CSutraView::OverviewPhraseRect(w, 0), (Rect{694, 0, 721, 135}));
  EXPECT_EQ(CSutraView::OverviewPhraseRect(w, 1), (Rect{694, 162, 721, 405}));
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 694, 0), 0);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 720, 134), 0);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 700, 135), -1);  // the gap between them
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 700, 161), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 700, 162), 1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 700, 404), 1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 700, 405), -1);  // below the column
  // The two white pixels between columns, and the edge strip on the right.
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 721, 10), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 722, 10), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 692, 10), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 693, 10), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 691, 10), 2);  // column 1: phrases 2 and 3
  // Column 24 (phrase 53) starts at x -2 and loses two pixels to the edge.
  EXPECT_EQ(CSutraView::OverviewPhraseRect(w, 53).left, 0);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 0, 5), 53);
  // Outside the client area, and no phrase at all.
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, -1, 5), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 700, -1), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 723, 5), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(0, 0, 0), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(-5, 0, 0), -1);
  EXPECT_EQ(CSutraView::OverviewPhraseAt(w, 700, 0x7FFFFFFF), -1);
  EXPECT_TRUE(CSutraView::OverviewPhraseRect(w, -1).IsEmpty());
  EXPECT_TRUE(CSutraView::OverviewPhraseRect(w, 54).IsEmpty());
  // A wider view (maximized): the columns keep to the right edge, the left
  // ones no longer cut off.
  EXPECT_EQ(CSutraView::OverviewPhraseAt(1018, 1018 - 29, 0), 0);
  EXPECT_EQ(CSutraView::OverviewPhraseRect(1018, 53),
            (Rect{1018 - 29 - 29 * 24, 0, 1018 - 29 - 29 * 24 + 27, 27 * kPhraseCharCount[53]}));
}

}  // namespace
}  // namespace solvari
