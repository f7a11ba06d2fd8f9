// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "core/sutra_tables.h"
#include "render/glyph_renderer.h"

namespace solvari {
namespace {

constexpr COLORREF kGreen = 0x00FF00;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0x000000;

using Cell = std::array<std::uint8_t, kCellBytes>;

// A cell as the caller passes it: 1 bits everywhere (background).
Cell EmptyCell() {
  Cell c;
  c.fill(0xFF);
  return c;
}
void SetInk(Cell& cell, int c, int r) { cell[r * 8 + c / 8] &= ~(0x80 >> (c % 8)); }
bool InkAt(const Cell& cell, int c, int r) {
  if (c < 0 || r < 0 || c >= 64 || r >= 40) return false;
  return (cell[r * 8 + c / 8] & (0x80 >> (c % 8))) == 0;
}

// The outlined form and the progress rows straight from their definitions,
// one target pixel at a time.
void ReferenceDraw(CSurface& s, const Rect& clip, const Cell& cell, int x, int y,
                   COLORREF crHighlight, COLORREF crBody, int nPercent, int nMode) {
  if (nPercent < 0) nPercent = 0;
  if (nPercent > 100) nPercent = 100;
  auto put = [&](int px, int py, COLORREF cr) {
    if (clip.Contains(px, py)) s.SetPixel(px, py, cr);
  };
  if (nMode == 1) {
    for (int r = 0; r < nPercent * 40 / 100; ++r)
      for (int c = 0; c < 64; ++c)
        if (InkAt(cell, c, r)) put(x + 3 + c, y + 3 + r, crHighlight);
    return;
  }
  for (int my = 0; my < 46; ++my)
    for (int mx = 0; mx < 70; ++mx) {
      const int c = mx - 3, r = my - 3;
      if (InkAt(cell, c, r)) {
        if (nPercent == 0) put(x + mx, y + my, crBody);
        if (nPercent == 100) put(x + mx, y + my, crHighlight);
        continue;
      }
      bool nearInk = false;
      for (int dr = -3; dr <= 3 && !nearInk; ++dr)
        for (int dc = -3; dc <= 3 && !nearInk; ++dc) nearInk = InkAt(cell, c + dc, r + dr);
      if (nearInk) put(x + mx, y + my, kBlack);
    }
}

// A target with a different colour in every pixel, so that any stray write shows.
CSurface NoisySurface(int w, int h, std::uint32_t seed) {
  CSurface s(w, h);
  std::mt19937 rng(seed);
  for (int yy = 0; yy < h; ++yy)
    for (int xx = 0; xx < w; ++xx) s.SetPixel(xx, yy, rng() & 0xFFFFFF);
  return s;
}

struct DrawResult {
  CSurface surface;
  Cell buffer;
};

DrawResult Draw(const Cell& cell, int nPercent, int nMode, int x = 5, int y = 7,
                CSurface start = NoisySurface(90, 70, 1)) {
  DrawResult out{std::move(start), cell};
  CDC dc(out.surface);
  DrawOutlinedGlyph(&dc, kCellBytes, out.buffer.data(), static_cast<std::uint16_t>(x),
                    static_cast<std::uint16_t>(y), kGreen, kWhite, nPercent, nMode);
  return out;
}

CSurface Expected(const Cell& cell, int nPercent, int nMode, int x = 5, int y = 7,
                  CSurface start = NoisySurface(90, 70, 1)) {
  ReferenceDraw(start, start.Bounds(), cell, x, y, kGreen, kWhite, nPercent, nMode);
  return start;
}

TEST(OutlinedGlyph, SingleInkPixelGivesA7x7SquareWithColouredCentre) {
  for (auto [c, r] : {std::pair{10, 12}, std::pair{0, 0}, std::pair{63, 39}}) {
    Cell cell = EmptyCell();
    SetInk(cell, c, r);
    for (int pct : {0, 100}) {
      const CSurface before = NoisySurface(90, 70, 1);
      const DrawResult got = Draw(cell, pct, 0, 5, 7);
      const COLORREF k = pct == 0 ? kWhite : kGreen;
      for (int yy = 0; yy < 70; ++yy)
        for (int xx = 0; xx < 90; ++xx) {
          const bool inSquare = xx >= 5 + c && xx <= 5 + c + 6 && yy >= 7 + r && yy <= 7 + r + 6;
          const bool centre = xx == 5 + c + 3 && yy == 7 + r + 3;
          const COLORREF want = centre ? k : inSquare ? kBlack : before.GetPixel(xx, yy);
          ASSERT_EQ(got.surface.GetPixel(xx, yy), want)
              << "ink " << c << "," << r << " pct " << pct << " at " << xx << "," << yy;
        }
    }
  }
}

TEST(OutlinedGlyph, DiagonalPairHaloIsTheUnionOfTwoSquares) {
  Cell cell = EmptyCell();
  SetInk(cell, 20, 20);
  SetInk(cell, 21, 21);
  const DrawResult got = Draw(cell, 0, 0);
  EXPECT_EQ(got.surface, Expected(cell, 0, 0));
  // Both ink pixels white, the corner pixels between them black.
  EXPECT_EQ(got.surface.GetPixel(5 + 23, 7 + 23), kWhite);
  EXPECT_EQ(got.surface.GetPixel(5 + 24, 7 + 24), kWhite);
  EXPECT_EQ(got.surface.GetPixel(5 + 24, 7 + 23), kBlack);
  EXPECT_EQ(got.surface.GetPixel(5 + 20, 7 + 26), kBlack);  // corner of the first square
  EXPECT_EQ(got.surface.GetPixel(5 + 20, 7 + 27), NoisySurface(90, 70, 1).GetPixel(25, 34));
}

TEST(OutlinedGlyph, InkAlongEveryEdgeReachesTheFrameBorderAndNoFurther) {
  Cell cell = EmptyCell();
  for (int c = 0; c < 64; ++c) SetInk(cell, c, 0), SetInk(cell, c, 39);
  for (int r = 0; r < 40; ++r) SetInk(cell, 0, r), SetInk(cell, 63, r);
  const CSurface before = NoisySurface(90, 70, 1);
  const DrawResult got = Draw(cell, 0, 0);
  EXPECT_EQ(got.surface, Expected(cell, 0, 0));
  // Frame rows 0-2 / 43-45 and columns 0-2 / 67-69 are halo; nothing outside the frame.
  EXPECT_EQ(got.surface.GetPixel(5, 7), kBlack);
  EXPECT_EQ(got.surface.GetPixel(5 + 69, 7 + 45), kBlack);
  for (int xx = 0; xx < 90; ++xx) {
    EXPECT_EQ(got.surface.GetPixel(xx, 6), before.GetPixel(xx, 6));
    EXPECT_EQ(got.surface.GetPixel(xx, 7 + 46), before.GetPixel(xx, 7 + 46));
  }
  for (int yy = 0; yy < 70; ++yy) {
    EXPECT_EQ(got.surface.GetPixel(4, yy), before.GetPixel(4, yy));
    EXPECT_EQ(got.surface.GetPixel(5 + 70, yy), before.GetPixel(5 + 70, yy));
  }
}

TEST(OutlinedGlyph, PercentagesInBothForms) {
  std::mt19937 rng(7);
  Cell cell = EmptyCell();
  for (int i = 0; i < 300; ++i) SetInk(cell, rng() % 64, rng() % 40);
  for (int mode : {0, 1})
    for (int pct : {-20, 0, 1, 2, 3, 50, 99, 100, 250}) {
      const DrawResult got = Draw(cell, pct, mode);
      EXPECT_EQ(got.surface, Expected(cell, pct, mode)) << "mode " << mode << " pct " << pct;
    }
  // Clamping: -20 draws as 0 and 250 as 100.
  EXPECT_EQ(Draw(cell, -20, 0).surface, Draw(cell, 0, 0).surface);
  EXPECT_EQ(Draw(cell, 250, 1).surface, Draw(cell, 100, 1).surface);
  // Progress rows: 2 % draws nothing, 3 % only row 0, 99 % rows 0 to 38.
  const CSurface before = NoisySurface(90, 70, 1);
  EXPECT_EQ(Draw(cell, 2, 1).surface, before);
  Cell lastRow = EmptyCell();
  SetInk(lastRow, 30, 39);
  SetInk(lastRow, 30, 0);
  EXPECT_EQ(Draw(lastRow, 99, 1).surface.GetPixel(5 + 33, 7 + 42), before.GetPixel(38, 49));
  EXPECT_EQ(Draw(lastRow, 3, 1).surface.GetPixel(5 + 33, 7 + 3), kGreen);
  // 50 % outlined: halo only, ink keeps the target's colour.
  const DrawResult half = Draw(lastRow, 50, 0);
  EXPECT_EQ(half.surface.GetPixel(5 + 33, 7 + 3), before.GetPixel(5 + 33, 7 + 3));
  EXPECT_EQ(half.surface.GetPixel(5 + 33, 7 + 4), kBlack);
}

TEST(OutlinedGlyph, HighlightOverOutlinedFormChangesExactlyTheInk) {
  std::mt19937 rng(11);
  Cell cell = EmptyCell();
  for (int i = 0; i < 400; ++i) SetInk(cell, rng() % 64, rng() % 40);
  const DrawResult outlined = Draw(cell, 0, 0);
  const DrawResult lit = Draw(cell, 100, 1, 5, 7, outlined.surface);
  for (int yy = 0; yy < 70; ++yy)
    for (int xx = 0; xx < 90; ++xx) {
      const bool ink = InkAt(cell, xx - 8, yy - 10);
      const COLORREF before = outlined.surface.GetPixel(xx, yy);
      ASSERT_EQ(lit.surface.GetPixel(xx, yy), ink ? kGreen : before) << xx << "," << yy;
      if (ink) {
        ASSERT_EQ(before, kWhite);
      }
    }
  // Lighting the same character twice gives the same pixels.
  EXPECT_EQ(Draw(cell, 100, 1, 5, 7, lit.surface).surface, lit.surface);
}

TEST(OutlinedGlyph, EmptyCellChangesNothingAndBufferIsLeftComplemented) {
  const Cell cell = EmptyCell();
  const CSurface before = NoisySurface(90, 70, 1);
  for (int mode : {0, 1}) {
    const DrawResult got = Draw(cell, 100, mode);
    EXPECT_EQ(got.surface, before);
    for (std::uint8_t b : got.buffer) ASSERT_EQ(b, 0x00);
  }
  Cell some = EmptyCell();
  SetInk(some, 1, 1);
  const DrawResult got = Draw(some, 0, 0);
  for (int i = 0; i < kCellBytes; ++i)
    ASSERT_EQ(got.buffer[i], static_cast<std::uint8_t>(~some[i]));
}

TEST(OutlinedGlyph, LeavesTheTargetStateAsDocumented) {
  Cell cell = EmptyCell();
  SetInk(cell, 4, 2);
  SetInk(cell, 9, 2);
  SetInk(cell, 10, 2);
  CSurface s(90, 70);
  CDC dc(s);
  dc.SetBkMode(OPAQUE);
  dc.SetBkColor(RGB(1, 2, 3));
  dc.SetTextColor(RGB(4, 5, 6));
  dc.SelectPen(RGB(7, 8, 9));
  Cell a = cell;
  DrawOutlinedGlyph(&dc, kCellBytes, a.data(), 0, 0, kGreen, kWhite, 0, 0);
  EXPECT_EQ(dc.GetBkMode(), TRANSPARENT);
  EXPECT_EQ(dc.GetBkColor(), kWhite);
  EXPECT_EQ(dc.GetTextColor(), kBlack);
  EXPECT_EQ(dc.GetPenColor(), RGB(7, 8, 9));
  // Progress rows leave the pen as it was and the position after the last run.
  dc.MoveTo(-1, -1);
  Cell b = cell;
  DrawOutlinedGlyph(&dc, kCellBytes, b.data(), 20, 30, kGreen, kWhite, 2, 1);
  EXPECT_EQ(dc.GetCurrentPosition(), (Point{-1, -1}));  // no row drawn
  Cell c = cell;
  DrawOutlinedGlyph(&dc, kCellBytes, c.data(), 20, 30, kGreen, kWhite, 100, 1);
  EXPECT_EQ(dc.GetCurrentPosition(), (Point{20 + 3 + 10 + 1, 30 + 3 + 2}));
  EXPECT_EQ(dc.GetPenColor(), RGB(7, 8, 9));
}

TEST(OutlinedGlyph, MatchesTheDefinitionOnRandomCellsPositionsAndClips) {
  std::mt19937 rng(2024);
  for (int iter = 0; iter < 400; ++iter) {
    Cell cell = EmptyCell();
    const int density = static_cast<int>(rng() % 60);
    for (int i = 0; i < 320 * 8; ++i)
      if (static_cast<int>(rng() % 100) < density) SetInk(cell, i % 64, i / 64);
    const int x = static_cast<int>(rng() % 40), y = static_cast<int>(rng() % 30);
    const int pct = std::array{0, 100, 50, -5, 120}[rng() % 5];
    const int mode = static_cast<int>(rng() % 3);  // 2 is outlined too
    const Rect clip{static_cast<int>(rng() % 50), static_cast<int>(rng() % 40),
                    40 + static_cast<int>(rng() % 80), 30 + static_cast<int>(rng() % 60)};
    CSurface want = NoisySurface(110, 80, iter);
    CSurface got = want;
    ReferenceDraw(want, clip.Intersect(want.Bounds()), cell, x, y, kGreen, kWhite, pct, mode);
    CDC dc(got);
    dc.IntersectClipRect(clip);
    Cell buf = cell;
    DrawOutlinedGlyph(&dc, kCellBytes, buf.data(), static_cast<std::uint16_t>(x),
                      static_cast<std::uint16_t>(y), kGreen, kWhite, pct, mode);
    ASSERT_EQ(got, want) << "iteration " << iter;
  }
}

TEST(OutlinedGlyph, NearTheSurfaceEdgeAndWithShortBuffers) {
  Cell cell = EmptyCell();
  SetInk(cell, 63, 39);
  // A frame reaching past the right and bottom edge is cut off.
  const DrawResult edge = Draw(cell, 0, 0, 60, 50);
  EXPECT_EQ(edge.surface, Expected(cell, 0, 0, 60, 50));
  // A frame far outside the surface changes nothing.
  EXPECT_EQ(Draw(cell, 0, 0, 65000, 65000).surface, NoisySurface(90, 70, 1));
  // A buffer shorter than a cell reads its missing rows as background.
  std::vector<std::uint8_t> shortCell(16, 0x00);  // rows 0 and 1 all ink
  CSurface s = NoisySurface(90, 70, 1);
  CDC dc(s);
  DrawOutlinedGlyph(&dc, 16, shortCell.data(), 0, 0, kGreen, kWhite, 0, 0);
  EXPECT_EQ(s.GetPixel(3, 3), kWhite);
  EXPECT_EQ(s.GetPixel(3, 7), kBlack);  // halo of row 1
  EXPECT_NE(s.GetPixel(3, 8), kBlack);
  DrawOutlinedGlyph(&dc, 0, nullptr, 0, 0, kGreen, kWhite, 0, 0);  // nothing to draw
}

}  // namespace
}  // namespace solvari
