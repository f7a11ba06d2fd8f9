// SPDX-License-Identifier: GPL-3.0-or-later
// The view at scale 2, for screens of twice the density: every size and
// position of the scale-1 rules doubled. With bitmaps that are their scale-1
// twins doubled, a 6-pixel halo around doubled ink is exactly the doubled
// 3-pixel halo, so every drawing at scale 2 must be the scale-1 drawing with
// each pixel made a 2 x 2 square. The renderer itself is checked against the
// rules pixel by pixel with ink that is not doubled.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/reading_state.h"
#include "core/sutra_readings.h"
#include "fake_glyphs.h"
#include "render/dib.h"
#include "render/fixed_view_host.h"
#include "render/glyph_renderer.h"
#include "render/reading_glyphs.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"
#include "render/view_scale.h"

namespace solvari {
namespace {

using testing::FakeResources;
using testing::MonoBmp;

constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

TEST(ViewScale, RatiosRoundToTheNearerOfOneAndTwo) {
  for (double r : {0.5, 1.0, 1.25, 1.49}) EXPECT_EQ(ViewScaleForRatio(r), 1) << r;
  for (double r : {1.5, 1.75, 2.0, 3.0, 4.0}) EXPECT_EQ(ViewScaleForRatio(r), 2) << r;
  EXPECT_EQ(ViewScaleForRatio(std::nan("")), 1);
  EXPECT_EQ(BitmapIdAtScale(130, 1), 130);
  EXPECT_EQ(BitmapIdAtScale(130, 2), 1130);
  EXPECT_EQ(BitmapIdAtScale(238, 3), 238);  // no third scale: scale 1
}

// ---- The renderer at scale 2, against its rules -------------------------

constexpr int kW2 = 128, kH2 = 80, kBytes2 = kW2 / 8 * kH2;
using Cell2 = std::vector<std::uint8_t>;

Cell2 EmptyCell2() { return Cell2(kBytes2, 0xFF); }
void SetInk2(Cell2& c, int x, int y) { c[y * 16 + x / 8] &= ~(0x80 >> (x % 8)); }
bool Ink2(const Cell2& c, int x, int y) {
  return x >= 0 && y >= 0 && x < kW2 && y < kH2 && (c[y * 16 + x / 8] & (0x80 >> (x % 8))) == 0;
}

// The outlined form and the progress rows at scale 2 straight from the rules.
void Reference2(CSurface& s, const Rect& clip, const Cell2& cell, int x, int y, int nPercent,
                int nMode) {
  nPercent = std::clamp(nPercent, 0, 100);
  auto put = [&](int px, int py, COLORREF cr) {
    if (clip.Contains(px, py)) s.SetPixel(px, py, cr);
  };
  if (nMode == 1) {
    for (int r = 0; r < nPercent * 80 / 100; ++r)
      for (int c = 0; c < kW2; ++c)
        if (Ink2(cell, c, r)) put(x + 6 + c, y + 6 + r, kGreen);
    return;
  }
  for (int my = 0; my < 92; ++my)
    for (int mx = 0; mx < 140; ++mx) {
      const int c = mx - 6, r = my - 6;
      if (Ink2(cell, c, r)) {
        if (nPercent == 0) put(x + mx, y + my, kWhite);
        if (nPercent == 100) put(x + mx, y + my, kGreen);
        continue;
      }
      bool nearInk = false;
      for (int dr = -6; dr <= 6 && !nearInk; ++dr)
        for (int dc = -6; dc <= 6 && !nearInk; ++dc) nearInk = Ink2(cell, c + dc, r + dr);
      if (nearInk) put(x + mx, y + my, kBlack);
    }
}

CSurface Noisy(int w, int h, std::uint32_t seed) {
  CSurface s(w, h);
  std::mt19937 rng(seed);
  for (int yy = 0; yy < h; ++yy)
    for (int xx = 0; xx < w; ++xx) s.SetPixel(xx, yy, rng() & 0xFFFFFF);
  return s;
}

TEST(GlyphRendererScale2, MatchesTheRulesForEveryFormAndClip) {
  std::mt19937 rng(7);
  std::vector<Cell2> cells;
  // Ink in the corners and along every edge of the cell (the halo reaches
  // 6 pixels past it), a single pixel, two pixels touching at a corner,
  // sparse and dense noise.
  Cell2 edges = EmptyCell2();
  for (int i = 0; i < kW2; i += 9) SetInk2(edges, i, 0), SetInk2(edges, i, kH2 - 1);
  for (int i = 0; i < kH2; i += 7) SetInk2(edges, 0, i), SetInk2(edges, kW2 - 1, i);
  cells.push_back(edges);
  Cell2 one = EmptyCell2();
  SetInk2(one, 63, 40);
  cells.push_back(one);
  Cell2 corner = EmptyCell2();
  SetInk2(corner, 20, 20), SetInk2(corner, 21, 21);
  cells.push_back(corner);
  for (int density : {3, 40}) {
    Cell2 c = EmptyCell2();
    for (int yy = 0; yy < kH2; ++yy)
      for (int xx = 0; xx < kW2; ++xx)
        if (static_cast<int>(rng() % 100) < density) SetInk2(c, xx, yy);
    cells.push_back(c);
  }
  const Rect clips[] = {{0, 0, 200, 140}, {30, 25, 90, 60}, {0, 0, 12, 140}, {150, 0, 200, 140}};
  for (std::size_t n = 0; n < cells.size(); ++n)
    for (auto [nPercent, nMode] : {std::pair{0, 0},
                                   {100, 0},
                                   {50, 0},
                                   {-20, 0},
                                   {250, 1},
                                   {100, 1},
                                   {3, 1},
                                   {1, 1},
                                   {99, 1}})
      for (const Rect& clip : clips) {
        SCOPED_TRACE(::testing::Message() << "cell " << n << " percent " << nPercent << " mode "
                                          << nMode << " clip " << clip.left << "," << clip.top);
        CSurface got = Noisy(200, 140, 3);
        CSurface want = got;
        Cell2 buf = cells[n];
        CDC dc(got);
        dc.IntersectClipRect(clip);
        DrawOutlinedGlyphAtScale(&dc, 2, kBytes2, buf.data(), 11, 9, kGreen, kWhite, nPercent,
                                 nMode);
        Reference2(want, clip, cells[n], 11, 9, nPercent, nMode);
        ASSERT_TRUE(got == want);
        for (int i = 0; i < kBytes2; ++i)
          ASSERT_EQ(buf[i], static_cast<std::uint8_t>(~cells[n][i]));  // left complemented
        if (nMode != 1) {
          EXPECT_EQ(dc.GetBkColor(), kWhite);
          EXPECT_EQ(dc.GetTextColor(), kBlack);
        }
      }
}

TEST(GlyphRendererScale2, ShortBufferCountsAsPaperAndScaleOneIsTheClassicCell) {
  // Only the first 16 rows are given: the rest of the cell is paper.
  Cell2 full = EmptyCell2();
  for (int xx = 0; xx < kW2; ++xx) SetInk2(full, xx, 15), SetInk2(full, xx, 16);
  Cell2 part(full.begin(), full.begin() + 16 * 16);
  Cell2 expectCell = full;
  for (int xx = 0; xx < kW2; ++xx) expectCell[16 * 16 + xx / 8] = 0xFF;
  CSurface got = Noisy(160, 110, 5), want = got;
  CDC dc(got);
  DrawOutlinedGlyphAtScale(&dc, 2, static_cast<int>(part.size()), part.data(), 0, 0, kGreen, kWhite,
                           0, 0);
  Reference2(want, want.Bounds(), expectCell, 0, 0, 0, 0);
  EXPECT_TRUE(got == want);

  // Scale 1 through the same entry is DrawOutlinedGlyph.
  std::vector<std::uint8_t> a(320, 0xFF), b;
  a[100] = 0x0F;
  b = a;
  CSurface s1 = Noisy(90, 70, 9), s2 = s1;
  CDC d1(s1), d2(s2);
  DrawOutlinedGlyph(&d1, 320, a.data(), 5, 7, kGreen, kWhite, 0, 0);
  DrawOutlinedGlyphAtScale(&d2, 1, 320, b.data(), 5, 7, kGreen, kWhite, 0, 0);
  EXPECT_TRUE(s1 == s2);
}

// ---- The view at scale 2 is the view at scale 1 doubled ------------------

bool KanaInk(int k, int i, int x, int y) {
  return x >= 1 && x < 4 && y >= 3 && y < 12 + (k + i) % 25;
}
bool RomajiInk(int k, int i, int x, int y) {
  return y >= 18 && y < 22 && x >= 35 - (3 * k + i) % 30 && x < 40;
}

// The scale-1 fakes with readings, and beside each monochrome bitmap its
// twin at scale 2 with every pixel doubled; the tile doubled too.
FakeResources DoubledResources() {
  FakeResources res;
  for (int k = 0; k < kPhraseCount; ++k) {
    const int n = kPhraseCharCount[k];
    res.files[GetReadingGlyphId(RubyKana, k)] =
        MonoBmp(16, 40 * n, [k](int x, int y) { return KanaInk(k, y / 40, x, y % 40); });
    res.files[GetReadingGlyphId(RubyRomaji, k)] =
        MonoBmp(40, 40 * n, [k](int x, int y) { return RomajiInk(k, y / 40, x, y % 40); });
  }
  std::vector<std::pair<int, std::vector<std::uint8_t>>> twins;
  for (const auto& [id, bytes] : res.files) {
    CBitmap bm;
    if (!bm.LoadBitmap(DibBytes(bytes.data(), bytes.size())) || !bm.IsMonochrome()) continue;
    const MonoBitmap m = bm.AsMono();
    twins.push_back(
        {id + kScale2BitmapOffset,
         MonoBmp(2 * m.nWidth, 2 * m.nHeight, [m](int x, int y) { return !m.Bit(x / 2, y / 2); })});
  }
  for (auto& [id, bytes] : twins) res.files[id] = std::move(bytes);
  testing::BmpShape tile;
  tile.nWidth = tile.nHeight = 16;
  tile.nBitCount = 8;
  tile.nColorsUsed = 2;
  tile.palette = {{192, 192, 192}, {255, 255, 255}};
  tile.pixels = testing::MakeRows(
      16, 16, 8, [](int x, int y) { return (x / 2 & 1) && (y / 2 & 1) ? 1u : 0u; });
  res.files[238 + kScale2BitmapOffset] = testing::BuildBmp(tile);
  return res;
}

// Whether d is s with every pixel made a 2 x 2 square.
bool IsDoubled(const CSurface& d, const CSurface& s) {
  if (d.Width() != 2 * s.Width() || d.Height() != 2 * s.Height()) return false;
  for (int y = 0; y < d.Height(); ++y) {
    const std::uint32_t* a = d.Row(y);
    const std::uint32_t* b = s.Row(y / 2);
    for (int x = 0; x < s.Width(); ++x)
      if (a[2 * x] != b[x] || a[2 * x + 1] != b[x]) return false;
  }
  return true;
}

Rect Doubled(const Rect& r) { return {2 * r.left, 2 * r.top, 2 * r.right, 2 * r.bottom}; }

// One view at each scale over the same host and the same (doubled) bitmaps.
struct TwinViews {
  TwinViews() : res(DoubledResources()), one(host, res.Finder()), two(host, res.Finder()) {
    one.SetClientSize(723, 425);
    two.SetClientSize(1446, 850, 2);
    one.SetChangedCallback([this](const Rect& rc) { changed1.push_back(rc); });
    two.SetChangedCallback([this](const Rect& rc) { changed2.push_back(rc); });
  }
  // Both surfaces agree, and so do the rectangles reported since the last check.
  ::testing::AssertionResult Agree() {
    if (!IsDoubled(two.Surface(), one.Surface()))
      return ::testing::AssertionFailure() << "the scale-2 pixels are not the doubled scale-1 ones";
    if (changed1.size() != changed2.size())
      return ::testing::AssertionFailure()
             << changed1.size() << " vs " << changed2.size() << " changed rectangles";
    for (std::size_t i = 0; i < changed1.size(); ++i)
      if (!(changed2[i] == Doubled(changed1[i])))
        return ::testing::AssertionFailure() << "changed rectangle " << i << " not doubled";
    changed1.clear();
    changed2.clear();
    return ::testing::AssertionSuccess();
  }
  CFixedViewHost host;
  FakeResources res;
  CSutraView one;
  CSutraView two;
  std::vector<Rect> changed1, changed2;
};

TEST(SutraViewScale2, GeometryDoubles) {
  TwinViews v;
  EXPECT_EQ(v.two.Scale(), 2);
  EXPECT_EQ(v.two.ColumnsPerPage(), 6);
  CSutraView narrow(v.host, v.res.Finder());
  narrow.SetClientSize(455, 300, 2);  // 455 / 228
  EXPECT_EQ(narrow.ColumnsPerPage(), 1);
  narrow.SetClientSize(227, 300, 2);
  EXPECT_EQ(narrow.ColumnsPerPage(), 0);
  narrow.OnPaint();  // no slot: the background only, and no division by zero
  narrow.HighlightChar(0, 0);
  narrow.EraseColumn(0);
  // The overview's layout for pointing, in pixels of scale 2.
  for (int k : {0, 1, 17, 53})
    EXPECT_EQ(CSutraView::OverviewPhraseRect(1446, k, 2),
              Doubled(CSutraView::OverviewPhraseRect(723, k)));
  for (auto [x, y] : {std::pair{694, 0}, {720, 134}, {694, 148}, {24, 26}, {665, 200}, {1, 1}})
    for (int dx : {0, 1})
      for (int dy : {0, 1})
        EXPECT_EQ(CSutraView::OverviewPhraseAt(1446, 2 * x + dx, 2 * y + dy, 2),
                  CSutraView::OverviewPhraseAt(723, x, y))
            << x << "," << y;
}

TEST(SutraViewScale2, PagesAndOverviewAreTheScaleOneOnesDoubled) {
  TwinViews v;
  for (int nState : {Idle, Title}) {
    v.host.nState = nState;
    v.one.OnPaint();
    v.two.OnPaint();
    EXPECT_TRUE(v.Agree()) << "overview in state " << nState;
  }
  v.host.nState = Reading;
  for (int nAid : {RubyNone, RubyKana, RubyRomaji})
    for (int p : {0, 8, 10, 50, 53}) {
      SCOPED_TRACE(::testing::Message() << "phrase " << p << " aid " << nAid);
      v.host.nReadingAid = nAid;
      v.host.nPhrase = p;
      v.one.OnPaint();
      v.two.OnPaint();
      ASSERT_TRUE(v.Agree());
    }
}

TEST(SutraViewScale2, HighlightRollAndEraseAreTheScaleOneOnesDoubled) {
  TwinViews v;
  for (int nAid : {RubyNone, RubyKana}) {
    SCOPED_TRACE(nAid);
    v.host.nReadingAid = nAid;
    v.host.nPhrase = 0;
    v.one.OnPaint();
    v.two.OnPaint();
    ASSERT_TRUE(v.Agree());
    // A recitation's steps: each character lit, the column erased, a later
    // column rolled into the freed slot.
    for (int p = 0; p < 3; ++p) {
      for (int c = 0; c < kPhraseCharCount[p]; ++c) {
        v.one.HighlightChar(p, c);
        v.two.HighlightChar(p, c);
        ASSERT_TRUE(v.Agree()) << p << "/" << c;
      }
      v.one.EraseColumn(p);
      v.two.EraseColumn(p);
      ASSERT_TRUE(v.Agree()) << "erase " << p;
      v.one.DrawColumn(p + 6);
      v.two.DrawColumn(p + 6);
      ASSERT_TRUE(v.Agree()) << "draw " << p + 6;
    }
  }
}

TEST(SutraViewScale2, PictureIsCroppedAndStretchedToTheWholeView) {
  // 800 x 600 in a 1446 x 850 view: h' = 800 x 850 / 1446 = 470, source
  // rectangle (0, 65, 800, 535) stretched over the view.
  CFixedViewHost host;
  FakeResources res = DoubledResources();
  host.picture.m_hPicture = ReadBmpBytes(testing::Build24(800, 600, [](int x, int y) {
    return static_cast<std::uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | (x >> 8) << 4 |
                                      (y >> 8));
  }));
  host.picture.PreparePicture();
  CSutraView view(host, res.Finder());
  view.SetClientSize(1446, 850, 2);
  host.nPhrase = 53;  // one column, slot 5
  view.OnPaint();
  CSurface expect(1446, 850);
  CDC dc(expect);
  const Rect dest{0, 0, 1446, 850}, src{0, 65, 800, 535};
  DrawPackedDib(&dc, &dest, host.picture.m_hPicture, &src, nullptr);
  const int x5 = 1446 - 228 * 6;  // slot 5
  for (int y = 0; y < 850; y += 7)
    for (int x = 0; x < 1446; x += 5)
      if (x < x5 || x >= x5 + 228) {
        ASSERT_EQ(view.Surface().GetPixel(x, y), expect.GetPixel(x, y)) << x << "," << y;
      }
  // Erasing the column gives back the picture there.
  view.EraseColumn(53);
  EXPECT_TRUE(view.Surface() == expect);
}

// ---- The bitmaps compiled into the program for scale 2 ----------------------

TEST(ResourceBitmapsScale2, GlyphsReadingsAndTileAtTwiceTheSizeDrawnAfresh) {
  const BitmapFinder finder = MakeResourceBitmapFinder();
  int nDiffering = 0;
  for (int k = 0; k < kPhraseCount; ++k) {
    SCOPED_TRACE(k);
    const int n = kPhraseCharCount[k];
    CBitmap column, strip, column1;
    ASSERT_TRUE(column.LoadBitmap(finder, BitmapIdAtScale(kColumnGlyphId[k], 2)));
    ASSERT_TRUE(column.IsMonochrome());
    EXPECT_EQ(column.GetObject().bmWidth, 128);
    EXPECT_EQ(column.GetObject().bmWidthBytes, 16);
    EXPECT_EQ(column.GetObject().bmHeight, 80 * n);
    ASSERT_TRUE(strip.LoadBitmap(finder, BitmapIdAtScale(kStripGlyphId[k], 2)));
    EXPECT_TRUE(strip.IsMonochrome());
    EXPECT_EQ(strip.GetWidth(), 54 * n);
    EXPECT_EQ(strip.GetHeight(), 54);
    for (int nAid : {RubyKana, RubyRomaji}) {
      CBitmap reading;
      ASSERT_TRUE(reading.LoadBitmap(finder, BitmapIdAtScale(GetReadingGlyphId(nAid, k), 2)));
      EXPECT_EQ(reading.GetWidth(),
                2 * (nAid == RubyKana ? kKanaReadingWidth : kRomajiReadingWidth));
      EXPECT_EQ(reading.GetHeight(), 80 * n);
    }
    // Drawn from the font at the larger size, not the small bitmap enlarged.
    ASSERT_TRUE(column1.LoadBitmap(finder, kColumnGlyphId[k]));
    const MonoBitmap a = column1.AsMono(), b = column.AsMono();
    bool bSame = true;
    for (int y = 0; y < b.nHeight && bSame; ++y)
      for (int x = 0; x < b.nWidth && bSame; ++x) bSame = b.Bit(x, y) == a.Bit(x / 2, y / 2);
    nDiffering += !bSame;
  }
  EXPECT_EQ(nDiffering, kPhraseCount);
  CBitmap tile;
  ASSERT_TRUE(tile.LoadBitmap(finder, BitmapIdAtScale(238, 2)));
  ASSERT_FALSE(tile.IsMonochrome());
  ASSERT_EQ(tile.GetWidth(), 16);
  ASSERT_EQ(tile.GetHeight(), 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      EXPECT_EQ(tile.Colour().GetPixel(x, y),
                (x / 2 & 1) && (y / 2 & 1) ? RGB(255, 255, 255) : RGB(192, 192, 192));

  // A page and the overview at scale 2 over the real bitmaps: the tile's white
  // squares are 2 x 2, and the overview is ink on white.
  CFixedViewHost host;
  CSutraView view(host, finder);
  view.SetClientSize(1446, 850, 2);
  view.OnPaint();
  EXPECT_EQ(view.Surface().GetPixel(2, 2), RGB(255, 255, 255));
  EXPECT_EQ(view.Surface().GetPixel(3, 3), RGB(255, 255, 255));
  EXPECT_EQ(view.Surface().GetPixel(1, 1), RGB(192, 192, 192));
  host.nState = Idle;
  view.OnPaint();
  int nInk = 0;
  for (int y = 0; y < 850; ++y)
    for (int x = 0; x < 1446; ++x) {
      const COLORREF c = view.Surface().GetPixel(x, y);
      ASSERT_TRUE(c == kBlack || c == kWhite);
      nInk += c == kBlack;
    }
  EXPECT_GT(nInk, 4000);
}

}  // namespace
}  // namespace solvari
