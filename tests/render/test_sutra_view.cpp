// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/reading_state.h"
#include "fake_glyphs.h"
#include "render/fixed_view_host.h"
#include "render/glyph_renderer.h"
#include "render/picture_holder.h"
#include "render/sutra_view.h"

namespace solvari {
namespace {

using testing::ColumnInk;
using testing::FakeResources;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrey = RGB(192, 192, 192);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

using FakeHost = CFixedViewHost;

struct ViewFixture {
  explicit ViewFixture(int w = 723, int h = 425, bool bColumns = true)
      : res(bColumns), view(host, res.Finder()) {
    view.SetClientSize(w, h);
    view.SetChangedCallback([this](const Rect& rc) { changed.push_back(rc); });
  }
  FakeHost host;
  FakeResources res;
  CSutraView view;
  std::vector<Rect> changed;
};

COLORREF TileAt(int x, int y) { return (x & 1) && (y & 1) ? kWhite : kGrey; }

CSurface TiledSurface(int w, int h) {
  CSurface s(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.SetPixel(x, y, TileAt(x, y));
  return s;
}

// What a reading page must look like: the tile, then the columns of the
// given phrases at the given frame x, in that order, drawn by the renderer.
CSurface ExpectedPage(int w, int h, const std::vector<std::pair<int, int>>& phraseAtX) {
  CSurface s = TiledSurface(w, h);
  CDC dc(s);
  for (auto [k, x] : phraseAtX) {
    for (int i = 0; i < kPhraseCharCount[k]; ++i) {
      std::vector<std::uint8_t> cell(320, 0xFF);
      for (int cy = 0; cy < 40; ++cy)
        for (int cx = 0; cx < 64; ++cx)
          if (ColumnInk(k, i, cx, cy)) cell[cy * 8 + cx / 8] &= ~(0x80 >> (cx % 8));
      DrawOutlinedGlyph(&dc, 320, cell.data(), static_cast<std::uint16_t>(x),
                        static_cast<std::uint16_t>(10 + 40 * i), kGreen, kWhite, 0, 0);
    }
  }
  return s;
}

constexpr int kSlotX[6] = {609, 495, 381, 267, 153, 39};

TEST(SutraView, ColumnsPerPageIsWidthOver114) {
  for (auto [w, n] : {std::pair{723, 6}, std::pair{684, 6}, std::pair{683, 5}, std::pair{114, 1},
                      std::pair{113, 0}, std::pair{0, 0}}) {
    ViewFixture f(w, 100);
    EXPECT_EQ(f.view.ColumnsPerPage(), n) << w;
  }
}

TEST(SutraView, ReadingPageFromPhrase) {
  // The page from the current phrase to the end of its page, and at least to
  // phrase + n - 4 (the columns a recitation has already rolled in).
  struct Case {
    int nPhrase;
    std::vector<int> shown;
  } cases[] = {
      {0, {0, 1, 2, 3, 4, 5}}, {8, {8, 9, 10, 11}}, {10, {10, 11, 12}},
      {50, {50, 51, 52, 53}},  {53, {53}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nPhrase);
    ViewFixture f;
    f.host.nPhrase = c.nPhrase;
    f.view.OnPaint();
    std::vector<std::pair<int, int>> expect;
    for (int k : c.shown) expect.push_back({k, kSlotX[k % 6]});
    EXPECT_TRUE(f.view.Surface() == ExpectedPage(723, 425, expect));
    ASSERT_EQ(f.changed.size(), 1u);
    EXPECT_EQ(f.changed[0], (Rect{0, 0, 723, 425}));
  }
}

TEST(SutraView, StartingShowsTheReadingPageOtherStatesTheOverview) {
  ViewFixture f;
  f.host.nState = Starting;
  f.view.OnPaint();
  EXPECT_EQ(f.view.Surface().GetPixel(1, 1), kWhite);
  EXPECT_EQ(f.view.Surface().GetPixel(0, 1), kGrey);
  for (int state : {Idle, Title}) {
    f.host.nState = state;
    f.view.OnPaint();
    EXPECT_EQ(f.view.Surface().GetPixel(0, 1), kWhite);
    EXPECT_EQ(f.view.Surface().GetPixel(694, 0), kBlack);  // first overview square
  }
}

TEST(SutraView, OverviewColumnsAndPhrasePositions) {
  ViewFixture f;
  f.host.nState = Idle;
  f.view.OnPaint();
  const CSurface& s = f.view.Surface();
  // Expected ink: each square's corners and centre, columns 29 pixels apart
  // from x = 694, phrases 27 pixels apart.
  CSurface expect(723, 425, kWhite);
  int k = 0;
  for (int c = 0; c < 25; ++c) {
    const int x = 694 - 29 * c;
    int y = 0;
    for (int j = 0; j < kOverviewColumnPhrases[c]; ++j, ++k) {
      for (int i = 0; i < kPhraseCharCount[k]; ++i) {
        const int top = y + 27 * i;
        expect.SetPixel(x, top, kBlack);
        expect.SetPixel(x + 13, top + 13, kBlack);
        expect.SetPixel(x + 26, top + 26, kBlack);
      }
      y += 27 * kPhraseCharCount[k] + 27;
    }
  }
  EXPECT_TRUE(s == expect);
  // Spot checks of the layout itself.
  EXPECT_EQ(s.GetPixel(694 + 26, 134), kBlack);  // phrase 0 ends at y 134
  EXPECT_EQ(s.GetPixel(694, 162), kBlack);       // phrase 1 starts at y 162
  EXPECT_EQ(s.GetPixel(694 + 13, 148), kWhite);  // the gap between them
  EXPECT_EQ(s.GetPixel(665, 0), kBlack);         // column 1
  EXPECT_EQ(s.GetPixel(27, 0), kBlack);          // column 23
  EXPECT_EQ(s.GetPixel(24, 26), kBlack);         // column 24 at x = -2
  EXPECT_EQ(s.GetPixel(11, 13), kBlack);
}

// A picture whose every pixel encodes its position.
std::vector<std::uint8_t> CodedPicture(int W, int H) {
  return testing::Build24(W, H, [](int x, int y) {
    return static_cast<std::uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | (x >> 8) << 4 |
                                      (y >> 8));
  });
}
COLORREF CodedAt(int x, int y) { return RGB(x & 0xFF, y & 0xFF, (x >> 8) << 4 | (y >> 8)); }

int Nearest(int j, int nSrc, int nDst) {
  return static_cast<int>((2LL * j + 1) * nSrc / (2LL * nDst));
}

TEST(SutraView, PictureCroppedToCoverTheView) {
  struct Case {
    const char* name;
    int W, H, w, h;
    Rect src;  // the crop
    bool bUnscaled;
  } cases[] = {
      {"800 x 600 in 723 x 425", 800, 600, 723, 425, {0, 65, 800, 535}, false},
      {"1000 x 300 in 723 x 425", 1000, 300, 723, 425, {245, 0, 755, 300}, false},
      {"601 x 408 in its own size", 601, 408, 601, 408, {0, 0, 601, 407}, false},
      {"640 x 480 in its own size", 640, 480, 640, 480, {0, 0, 640, 480}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ViewFixture f(c.w, c.h, /*bColumns=*/false);
    f.host.picture.m_hPicture = ReadBmpBytes(CodedPicture(c.W, c.H));
    f.host.picture.PreparePicture();
    f.view.OnPaint();
    const CSurface& s = f.view.Surface();
    for (int y = 0; y < c.h; ++y) {
      for (int x = 0; x < c.w; ++x) {
        int sx, sy;
        if (c.bUnscaled) {
          sx = c.src.left + x;
          sy = c.src.top + y;
        } else {
          sx = c.src.left + Nearest(x, c.src.Width(), c.w);
          sy = c.H - c.src.bottom + Nearest(y, c.src.Height(), c.h);
        }
        ASSERT_EQ(s.GetPixel(x, y), CodedAt(sx, sy)) << x << "," << y;
      }
    }
  }
}

TEST(SutraView, WithoutAUsablePictureTheTileShows) {
  for (auto [W, H] : {std::pair{0, 0}, std::pair{0, 40}, std::pair{40, 0}, std::pair{1, 2000},
                      std::pair{-1, -1}}) {
    SCOPED_TRACE(W * 10000 + H);
    ViewFixture f(723, 425, false);
    if (W >= 0) f.host.picture.m_hPicture = ReadBmpBytes(CodedPicture(W, H));
    f.host.picture.PreparePicture();
    f.view.OnPaint();
    EXPECT_TRUE(f.view.Surface() == TiledSurface(723, 425));
  }
}

TEST(SutraView, EraseColumnChangesOnlyItsSlot) {
  for (bool bPicture : {false, true}) {
    SCOPED_TRACE(bPicture);
    ViewFixture f;
    ViewFixture bare(723, 425, false);  // the same background without columns
    if (bPicture) {
      f.host.picture.m_hPicture = ReadBmpBytes(CodedPicture(800, 600));
      bare.host.picture.m_hPicture = f.host.picture.m_hPicture;
    }
    f.view.OnPaint();
    bare.view.OnPaint();
    f.view.HighlightChar(2, 1);
    const CSurface before = f.view.Surface();
    f.changed.clear();
    f.view.EraseColumn(2);  // slot 2: x 381 to 494
    const CSurface& after = f.view.Surface();
    int nChanged = 0;
    for (int y = 0; y < 425; ++y) {
      for (int x = 0; x < 723; ++x) {
        const bool inSlot = x >= 381 && x < 495;
        if (inSlot) {
          ASSERT_EQ(after.GetPixel(x, y), bare.view.Surface().GetPixel(x, y)) << x << "," << y;
          nChanged += after.GetPixel(x, y) != before.GetPixel(x, y);
        } else {
          ASSERT_EQ(after.GetPixel(x, y), before.GetPixel(x, y)) << x << "," << y;
        }
      }
    }
    EXPECT_GT(nChanged, 0);
    ASSERT_EQ(f.changed.size(), 1u);
    EXPECT_EQ(f.changed[0], (Rect{381, 0, 495, 425}));
  }
}

// The stretched picture is made once for a picture and a client size and
// copied by every paint after it. A view that has lived through changes of
// picture, size (maximize and restore) and scale shows what a view made
// afresh for the same picture and size shows, on the full paint and in the
// slots that EraseColumn repaints, and holds one stretch of its own size.
TEST(SutraView, StretchedPictureFollowsEveryChangeWithoutStalePixels) {
  FakeHost host;
  FakeResources res;
  CSutraView view(host, res.Finder());
  struct Size {
    int w, h, nScale;
  };
  auto expectFresh = [&](const Size& sz, int nPhrase) {
    FakeHost freshHost;
    freshHost.nPhrase = nPhrase;
    freshHost.picture.m_hPicture = host.picture.m_hPicture;
    CSutraView fresh(freshHost, res.Finder());
    fresh.SetClientSize(sz.w, sz.h, sz.nScale);
    fresh.OnPaint();
    return fresh.Surface();
  };
  auto check = [&](const char* what, const Size& sz) {
    SCOPED_TRACE(::testing::Message()
                 << what << " at " << sz.w << " x " << sz.h << " scale " << sz.nScale);
    view.SetClientSize(sz.w, sz.h, sz.nScale);
    host.nPhrase = 0;
    view.OnPaint();
    EXPECT_TRUE(view.Surface() == expectFresh(sz, 0));
    // One stretch of the view's size while a picture shows, none otherwise.
    const CPackedDib& picture = host.picture.m_hPicture;
    const bool bShown = GetDibWidth(picture) > 0 && GetDibHeight(picture) > 0;
    EXPECT_EQ(view.PictureBackground().Bounds(), bShown ? view.GetClientRect() : Rect{});
  };
  auto checkErase = [&](const char* what, const Size& sz) {
    // EraseColumn alone, with no full paint since the change: every slot
    // shows the background as a fresh view paints it, with no page on it.
    SCOPED_TRACE(::testing::Message() << what << " erased at " << sz.w << " x " << sz.h);
    const int n = view.ColumnsPerPage();
    ASSERT_GT(n, 0);
    for (int k = 0; k < n; ++k) view.EraseColumn(k);
    const CSurface bare = expectFresh(sz, kLastPhrase + 1);  // no column drawn
    const int x0 = sz.w - n * CSutraView::kSlotWidth * sz.nScale;
    for (int y = 0; y < sz.h; ++y)
      ASSERT_TRUE(std::equal(bare.Row(y) + x0, bare.Row(y) + sz.w, view.Surface().Row(y) + x0))
          << "row " << y;
  };

  const Size normal{723, 425, 1}, maximized{1016, 639, 1};
  const Size normal2{1446, 850, 2}, maximized2{2032, 1278, 2};
  const CPackedDib wide = ReadBmpBytes(CodedPicture(1000, 300));
  const CPackedDib ownSize = ReadBmpBytes(CodedPicture(723, 425));  // drawn unscaled

  host.picture.m_hPicture = ReadBmpBytes(CodedPicture(800, 600));
  check("first picture", normal);
  host.picture.m_hPicture = wide;
  check("another picture", normal);
  host.picture.m_hPicture = ownSize;
  checkErase("a picture of the view's size", normal);
  check("a picture of the view's size", normal);
  check("maximized", maximized);
  host.picture.m_hPicture = ReadBmpBytes(CodedPicture(800, 600));
  checkErase("the first picture read again", maximized);
  check("restored", normal);
  check("scale 2", normal2);
  check("scale 2 maximized", maximized2);
  host.picture.m_hPicture = wide;
  checkErase("another picture at scale 2", maximized2);
  check("scale 2 restored", normal2);
  check("back at scale 1", normal);
  // The same number of surface pixels at another scale: the stretch is the
  // same, the page on it is drawn at the scale.
  check("scale 1 at the size of scale 2", {1446, 850, 1});
  check("scale 2 at the same size", normal2);
  host.picture.m_hPicture.Free();
  check("no picture", normal2);
  host.picture.m_hPicture = ReadBmpBytes(CodedPicture(0, 40));
  check("a picture of no width", normal);
  host.picture.m_hPicture = ReadBmpBytes(CodedPicture(800, 600));
  check("a picture again", normal);
}

// A run-length picture may leave pixels alone; they show what the surface
// held before, on every paint, as when the picture is drawn anew each time.
TEST(SutraView, RunLengthPictureLeavesSkippedPixelsAsTheyWere) {
  testing::BmpShape shape;
  shape.nWidth = 800;
  shape.nHeight = 600;
  shape.nBitCount = 8;
  shape.nCompression = BI_RLE8;
  shape.nColorsUsed = 2;
  shape.palette = {{10, 20, 30}, {200, 100, 50}};
  // Stored row 65, the lowest that the crop (0, 65, 800, 535) shows, half
  // in colour 1, then the end of the bitmap: every other row is skipped.
  shape.pixels = {0, 2, 0, 65, 255, 1, 145, 1, 0, 1};
  ViewFixture f(723, 425, /*bColumns=*/false);
  f.host.nPhrase = kLastPhrase + 1;  // the background alone
  f.view.OnPaint();                  // the tile
  f.host.picture.m_hPicture = ReadBmpBytes(testing::BuildBmp(shape));
  f.host.picture.PreparePicture();
  ASSERT_FALSE(f.host.picture.m_hPicture.IsNull());
  for (int nPaint = 0; nPaint < 2; ++nPaint) {
    f.view.OnPaint();
    const CSurface& s = f.view.Surface();
    EXPECT_EQ(s.GetPixel(0, 424), RGB(200, 100, 50));  // the view's bottom row
    EXPECT_EQ(s.GetPixel(400, 424), kGrey);
    EXPECT_EQ(s.GetPixel(1, 1), kWhite);  // the tile, untouched
    EXPECT_EQ(s.GetPixel(0, 1), kGrey);
  }
}

TEST(SutraView, DrawColumnAddsAColumnOverTheSlot) {
  ViewFixture f;
  f.host.nPhrase = 10;
  f.view.OnPaint();
  f.view.EraseColumn(12);
  f.changed.clear();
  f.view.DrawColumn(12);
  EXPECT_TRUE(f.view.Surface() == ExpectedPage(723, 425, {{10, 153}, {11, 39}, {12, 609}}));
  ASSERT_EQ(f.changed.size(), 1u);
  EXPECT_EQ(f.changed[0], (Rect{609, 10, 679, 10 + 40 * 4 + 46}));
}

TEST(SutraView, HighlightCharTurnsOnlyTheInkOfItsCellGreen) {
  ViewFixture f;
  f.view.OnPaint();
  const CSurface before = f.view.Surface();
  f.changed.clear();
  f.view.HighlightChar(1, 2);  // slot 1 at x 495, cell 2 at y 90
  const int x0 = 495 + 3, y0 = 90 + 3;
  for (int y = 0; y < 425; ++y) {
    for (int x = 0; x < 723; ++x) {
      const int cx = x - x0, cy = y - y0;
      const bool ink = cx >= 0 && cx < 64 && cy >= 0 && cy < 40 && ColumnInk(1, 2, cx, cy);
      ASSERT_EQ(f.view.Surface().GetPixel(x, y), ink ? kGreen : before.GetPixel(x, y))
          << x << "," << y;
    }
  }
  ASSERT_EQ(f.changed.size(), 1u);
  EXPECT_EQ(f.changed[0], (Rect{495, 90, 565, 136}));
  const CSurface once = f.view.Surface();
  f.view.HighlightChar(1, 2);
  EXPECT_TRUE(f.view.Surface() == once);
}

TEST(SutraView, NarrowViewsDrawTheBackgroundOnly) {
  for (int w : {113, 1, 0}) {
    SCOPED_TRACE(w);
    ViewFixture f(w, 50);
    f.view.OnPaint();
    EXPECT_TRUE(f.view.Surface() == TiledSurface(w, 50));
    const CSurface before = f.view.Surface();
    f.changed.clear();
    f.view.EraseColumn(3);
    f.view.DrawColumn(3);
    f.view.HighlightChar(3, 0);
    EXPECT_TRUE(f.view.Surface() == before);
    EXPECT_TRUE(f.changed.empty());
    f.host.nState = Idle;
    f.view.OnPaint();  // the overview runs off the left edge harmlessly
  }
}

TEST(SutraView, OutOfRangeCallsDoNothing) {
  ViewFixture f;
  f.view.OnPaint();
  const CSurface before = f.view.Surface();
  f.view.EraseColumn(54);
  f.view.DrawColumn(-1);
  f.view.HighlightChar(0, 5);  // phrase 0 has 5 characters
  f.view.HighlightChar(0, -1);
  EXPECT_TRUE(f.view.Surface() == before);
  f.host.nPhrase = 54;
  f.view.OnPaint();
  EXPECT_TRUE(f.view.Surface() == TiledSurface(723, 425));
}

}  // namespace
}  // namespace solvari
