// SPDX-License-Identifier: GPL-3.0-or-later
// The reading aid on the reading page: each character's reading in the free
// strip of its slot, outlined like the characters, lit with its character and
// gone with its column; and the reading bitmaps compiled into the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/reading_state.h"
#include "core/sutra_readings.h"
#include "fake_glyphs.h"
#include "render/fixed_view_host.h"
#include "render/glyph_renderer.h"
#include "render/reading_glyphs.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"

namespace solvari {
namespace {

using testing::ColumnInk;
using testing::FakeResources;
using testing::MonoBmp;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrey = RGB(192, 192, 192);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr int kSlotX[6] = {609, 495, 381, 267, 153, 39};

// Made-up readings: in band i of phrase k a bar whose length tells the
// phrase and character apart; kana upright, romaji across. The kana bar
// reaches the band's first column and the romaji bar its last.
bool KanaInk(int k, int i, int x, int y) {
  return x >= 0 && x < 3 && y >= 2 && y < 2 + 8 + (k + i) % 27;
}
bool RomajiInk(int k, int i, int x, int y) {
  return y >= 18 && y < 22 && x >= 39 - (5 + (3 * k + i) % 30) && x < 40;
}
bool ReadingInk(int nAid, int k, int i, int x, int y) {
  return nAid == RubyKana ? KanaInk(k, i, x, y) : RomajiInk(k, i, x, y);
}
int ReadingWidth(int nAid) { return nAid == RubyKana ? kKanaReadingWidth : kRomajiReadingWidth; }

void AddReadings(FakeResources& res) {
  for (int k = 0; k < kPhraseCount; ++k) {
    const int n = kPhraseCharCount[k];
    res.files[GetReadingGlyphId(RubyKana, k)] =
        MonoBmp(16, 40 * n, [k](int x, int y) { return KanaInk(k, y / 40, x, y % 40); });
    res.files[GetReadingGlyphId(RubyRomaji, k)] =
        MonoBmp(40, 40 * n, [k](int x, int y) { return RomajiInk(k, y / 40, x, y % 40); });
  }
}

struct AidFixture {
  explicit AidFixture(int nAid) : view(host, res.Finder()) {
    AddReadings(res);
    host.nReadingAid = nAid;
    view.SetClientSize(723, 425);
    view.SetChangedCallback([this](const Rect& rc) { changed.push_back(rc); });
  }
  CFixedViewHost host;
  FakeResources res;
  CSutraView view;
  std::vector<Rect> changed;
};

COLORREF TileAt(int x, int y) { return (x & 1) && (y & 1) ? kWhite : kGrey; }

// The reading of character i of phrase k as it must look, worked out pixel by
// pixel: ink in colour, and black wherever a pixel that is not ink lies
// within 2 pixels of the band's ink in both directions.
void PaintReading(CSurface& s, int nAid, int k, int i, int x0, int y0, COLORREF crInk, bool bHalo) {
  const int w = ReadingWidth(nAid);
  for (int y = -2; y < 42; ++y)
    for (int x = -2; x < w + 2; ++x) {
      const bool ink = y >= 0 && y < 40 && x >= 0 && x < w && ReadingInk(nAid, k, i, x, y);
      bool near = false;
      for (int dy = -2; dy <= 2 && !near; ++dy)
        for (int dx = -2; dx <= 2 && !near; ++dx) {
          const int nx = x + dx, ny = y + dy;
          near = ny >= 0 && ny < 40 && nx >= 0 && nx < w && ReadingInk(nAid, k, i, nx, ny);
        }
      if (ink)
        s.SetPixel(x0 + x, y0 + y, crInk);
      else if (near && bHalo)
        s.SetPixel(x0 + x, y0 + y, kBlack);
    }
}

// The tile, then each phrase's column and its readings at their slot x.
CSurface ExpectedPage(int nAid, const std::vector<std::pair<int, int>>& phraseAtX) {
  CSurface s(723, 425);
  for (int y = 0; y < 425; ++y)
    for (int x = 0; x < 723; ++x) s.SetPixel(x, y, TileAt(x, y));
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
    if (nAid != RubyNone)
      for (int i = 0; i < kPhraseCharCount[k]; ++i)
        PaintReading(s, nAid, k, i, x + 70, 13 + 40 * i, kWhite, true);
  }
  return s;
}

class ReadingAidPage : public ::testing::TestWithParam<int> {};

TEST_P(ReadingAidPage, EveryReadingBesideItsCharacter) {
  const int nAid = GetParam();
  for (int nPhrase : {0, 8, 50}) {
    SCOPED_TRACE(nPhrase);
    AidFixture f(nAid);
    f.host.nPhrase = nPhrase;
    f.view.OnPaint();
    std::vector<std::pair<int, int>> expect;
    const int nLast = nPhrase == 0 ? 5 : nPhrase == 8 ? 11 : 53;
    for (int k = nPhrase; k <= nLast; ++k) expect.push_back({k, kSlotX[k % 6]});
    const CSurface want = ExpectedPage(nAid, expect);
    for (int y = 0; y < 425; ++y)
      for (int x = 0; x < 723; ++x)
        ASSERT_EQ(f.view.Surface().GetPixel(x, y), want.GetPixel(x, y)) << x << "," << y;
  }
  // Spot checks of the geometry: phrase 0's first reading at x 679, y 13.
  AidFixture f(nAid);
  f.view.OnPaint();
  const CSurface& s = f.view.Surface();
  if (nAid == RubyKana) {
    EXPECT_EQ(s.GetPixel(679, 15), kWhite);  // ink, the band's column 0, row 2
    EXPECT_EQ(s.GetPixel(677, 15), kBlack);  // its halo, 2 pixels left
    EXPECT_EQ(s.GetPixel(676, 15), TileAt(676, 15));
    EXPECT_EQ(s.GetPixel(679, 13), kBlack);  // halo above, the band's row 0
    EXPECT_EQ(s.GetPixel(679, 12), TileAt(679, 12));
  } else {
    EXPECT_EQ(s.GetPixel(679 + 39, 13 + 18), kWhite);  // the band's last column
    EXPECT_EQ(s.GetPixel(679 + 41, 13 + 18), kBlack);  // halo 2 pixels right, in the slot
    EXPECT_EQ(s.GetPixel(679 + 42, 13 + 18), TileAt(721, 31));
  }
}

TEST_P(ReadingAidPage, HighlightLightsTheCharacterAndItsReading) {
  const int nAid = GetParam();
  AidFixture f(nAid);
  f.view.OnPaint();
  const CSurface before = f.view.Surface();
  f.changed.clear();
  f.view.HighlightChar(1, 2);  // slot 1 at x 495, cell 2 at y 90, reading at (565, 93)
  CSurface want = before;
  for (int cy = 0; cy < 40; ++cy)
    for (int cx = 0; cx < 64; ++cx)
      if (ColumnInk(1, 2, cx, cy)) want.SetPixel(495 + 3 + cx, 93 + cy, kGreen);
  PaintReading(want, nAid, 1, 2, 565, 93, kGreen, false);  // the ink only; the halo stays
  EXPECT_TRUE(f.view.Surface() == want);
  ASSERT_EQ(f.changed.size(), 1u);
  EXPECT_EQ(f.changed[0], (Rect{495, 90, 565 + ReadingWidth(nAid), 136}));
  // Lighting it again changes nothing.
  f.view.HighlightChar(1, 2);
  EXPECT_TRUE(f.view.Surface() == want);
}

TEST_P(ReadingAidPage, EraseLeavesTheSlotsBackgroundAndDrawBringsItBack) {
  const int nAid = GetParam();
  AidFixture f(nAid);
  f.view.OnPaint();
  f.view.HighlightChar(2, 0);
  const CSurface before = f.view.Surface();
  f.view.EraseColumn(2);  // slot 2: x 381 to 494
  for (int y = 0; y < 425; ++y)
    for (int x = 0; x < 723; ++x) {
      const bool inSlot = x >= 381 && x < 495;
      ASSERT_EQ(f.view.Surface().GetPixel(x, y), inSlot ? TileAt(x, y) : before.GetPixel(x, y))
          << x << "," << y;
    }
  f.changed.clear();
  f.view.DrawColumn(8);  // phrase 8 takes slot 2
  std::vector<std::pair<int, int>> expect;
  for (int k : {0, 1, 3, 4, 5, 8}) expect.push_back({k, kSlotX[k % 6]});
  // Nothing of phrase 2, its lit reading included, is left under phrase 8.
  const CSurface want = ExpectedPage(nAid, expect);
  for (int y = 0; y < 425; ++y)
    for (int x = 381; x < 495; ++x)
      ASSERT_EQ(f.view.Surface().GetPixel(x, y), want.GetPixel(x, y)) << x << "," << y;
  ASSERT_EQ(f.changed.size(), 1u);
  // Column frames from y 10; the reading band with its halo from y 11.
  EXPECT_EQ(f.changed[0], (Rect{381, 10, 381 + 70 + ReadingWidth(nAid) + 2, 10 + 40 * 3 + 46}));
}

INSTANTIATE_TEST_SUITE_P(KanaAndRomaji, ReadingAidPage, ::testing::Values(RubyKana, RubyRomaji),
                         [](const auto& info) {
                           return std::string(info.param == RubyKana ? "Kana" : "Romaji");
                         });

TEST(ReadingAid, NoneDrawsNothingBesideTheCharacters) {
  AidFixture f(RubyNone);
  f.view.OnPaint();
  EXPECT_TRUE(f.view.Surface() ==
              ExpectedPage(RubyNone, {{0, 609}, {1, 495}, {2, 381}, {3, 267}, {4, 153}, {5, 39}}));
  f.changed.clear();
  f.view.HighlightChar(0, 0);
  ASSERT_EQ(f.changed.size(), 1u);
  EXPECT_EQ(f.changed[0], (Rect{609, 10, 679, 56}));
}

TEST(ReadingAid, MissingOrUnusableReadingBitmapsLeaveThePlainPage) {
  AidFixture f(RubyKana);
  f.res.files[GetReadingGlyphId(RubyKana, 0)] = MonoBmp(61, 200, [](int, int) { return true; });
  f.res.files.erase(GetReadingGlyphId(RubyKana, 1));
  f.res.files[GetReadingGlyphId(RubyKana, 2)] = testing::TileBmp();  // not monochrome
  f.res.files[GetReadingGlyphId(RubyKana, 3)] = MonoBmp(16, 30, [](int, int) { return true; });
  f.view.OnPaint();
  const CSurface want = ExpectedPage(RubyKana, {{4, 153}, {5, 39}});
  const CSurface plain = ExpectedPage(RubyNone, {{0, 609}, {1, 495}, {2, 381}, {3, 267}});
  for (int y = 0; y < 425; ++y)
    for (int x = 0; x < 723; ++x)
      ASSERT_EQ(f.view.Surface().GetPixel(x, y),
                x >= 267 ? plain.GetPixel(x, y) : want.GetPixel(x, y))
          << x << "," << y;
  f.view.HighlightChar(0, 4);
  f.view.HighlightChar(3, 0);  // a band the bitmap does not have
}

TEST(ReadingBand, HaloClipAndBounds) {
  // Ink in the band's corners and one lone pixel: the halo reaches 2 pixels
  // around each, also past the band's edges.
  const auto ink = [](int x, int y) {
    return (x == 0 && y == 0) || (x == 9 && y == 39) || (x == 5 && y == 20) ||
           (y == 45 && x == 3);  // the next band: never read
  };
  const std::vector<std::uint8_t> bmp = MonoBmp(10, 80, ink);
  CBitmap bm;
  ASSERT_TRUE(bm.LoadBitmap(DibBytes(bmp.data(), bmp.size())));
  const MonoBitmap mono = bm.AsMono();
  CSurface s(30, 60, RGB(1, 2, 3));
  CDC dc(s);
  const Rect rc = DrawReadingBand(&dc, mono, 0, 40, 5, 5, kWhite, true);
  EXPECT_EQ(rc, (Rect{3, 3, 17, 47}));
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 30; ++x) {
      const int bx = x - 5, by = y - 5;
      const bool isInk = by >= 0 && by < 40 && bx >= 0 && bx < 10 && ink(bx, by);
      bool near = false;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
          const int nx = bx + dx, ny = by + dy;
          near |= ny >= 0 && ny < 40 && nx >= 0 && nx < 10 && ink(nx, ny);
        }
      ASSERT_EQ(s.GetPixel(x, y), isInk ? kWhite : near ? kBlack : RGB(1, 2, 3)) << x << "," << y;
    }

  // The ink alone, clipped; and at the surface's edge nothing goes astray.
  CSurface t(30, 60, RGB(1, 2, 3));
  CDC clipped(t);
  clipped.IntersectClipRect({0, 0, 30, 24});
  EXPECT_EQ(DrawReadingBand(&clipped, mono, 0, 40, 5, 5, kGreen, false), (Rect{5, 5, 15, 45}));
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 30; ++x) {
      const bool lit = x == 5 && y == 5;  // the other ink lies below the clip
      ASSERT_EQ(t.GetPixel(x, y), lit ? kGreen : RGB(1, 2, 3)) << x << "," << y;
    }
  CSurface edge(8, 8, RGB(1, 2, 3));
  CDC edgeDc(edge);
  DrawReadingBand(&edgeDc, mono, 0, 40, -1, -1, kWhite, true);
  DrawReadingBand(&edgeDc, mono, 0, 40, 5, -38, kWhite, true);
  EXPECT_EQ(edge.GetPixel(0, 0), kBlack);  // the halo right of the corner pixel at (-1, -1)

  // Bands outside the bitmap and bitmaps too wide draw nothing.
  EXPECT_TRUE(DrawReadingBand(&dc, mono, 41, 40, 0, 0, kWhite, true).IsEmpty());
  EXPECT_TRUE(DrawReadingBand(&dc, mono, -1, 40, 0, 0, kWhite, true).IsEmpty());
  EXPECT_TRUE(DrawReadingBand(nullptr, mono, 0, 40, 0, 0, kWhite, true).IsEmpty());
  EXPECT_TRUE(DrawReadingBand(&dc, mono, 0, 0, 0, 0, kWhite, true).IsEmpty());
  EXPECT_TRUE(DrawReadingBand(&dc, mono, 0, 65, 0, 0, kWhite, true).IsEmpty());
  EXPECT_TRUE(DrawReadingBand(&dc, mono, 0x7FFFFFF0, 40, 0, 0, kWhite, true).IsEmpty());
  const std::vector<std::uint8_t> wide = MonoBmp(61, 40, [](int, int) { return true; });
  CBitmap wbm;
  ASSERT_TRUE(wbm.LoadBitmap(DibBytes(wide.data(), wide.size())));
  EXPECT_TRUE(DrawReadingBand(&dc, wbm.AsMono(), 0, 40, 0, 0, kWhite, true).IsEmpty());
}

TEST(ReadingAid, CompiledReadingBitmaps) {
  const BitmapFinder finder = MakeResourceBitmapFinder();
  for (int nAid : {RubyKana, RubyRomaji}) {
    for (int k = 0; k < kPhraseCount; ++k) {
      SCOPED_TRACE(k);
      CBitmap bm;
      ASSERT_TRUE(bm.LoadBitmap(finder, GetReadingGlyphId(nAid, k)));
      ASSERT_TRUE(bm.IsMonochrome());
      ASSERT_EQ(bm.GetWidth(), ReadingWidth(nAid));
      ASSERT_EQ(bm.GetHeight(), 40 * kPhraseCharCount[k]);
      const MonoBitmap m = bm.AsMono();
      for (int i = 0; i < kPhraseCharCount[k]; ++i) {
        // Every character has a reading, and its ink keeps 2 rows from the
        // band's edges so that neighbouring halos never cover it.
        int nInk = 0, top = 40, bottom = -1;
        for (int y = 0; y < 40; ++y)
          for (int x = 0; x < m.nWidth; ++x)
            if (!m.Bit(x, 40 * i + y)) {
              ++nInk;
              top = std::min(top, y);
              bottom = std::max(bottom, y);
            }
        EXPECT_GT(nInk, 10) << i;
        EXPECT_GE(top, 2) << i;
        EXPECT_LE(bottom, 37) << i;
      }
    }
  }
  // A reading page over the default picture with the real readings: the
  // readings' white ink lies in the free strips, right of x + 70.
  CFixedViewHost host;
  host.nReadingAid = RubyKana;
  CSutraView view(host, finder);
  view.SetClientSize(723, 425);
  view.OnPaint();
  for (int s = 0; s < 6; ++s) {
    int nWhite = 0;
    for (int y = 0; y < 425; ++y)
      for (int x = kSlotX[s] + 70; x < kSlotX[s] + 114; ++x)
        nWhite += view.Surface().GetPixel(x, y) == kWhite && !((x & 1) && (y & 1));
    EXPECT_GT(nWhite, 50) << s;
  }
}

}  // namespace
}  // namespace solvari
