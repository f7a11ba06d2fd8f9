// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "render/raster.h"

namespace solvari {
namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

TEST(Raster, ColourValuesRoundTripThroughPixels) {
  EXPECT_EQ(RGB(0, 255, 0), 0x00FF00u);
  EXPECT_EQ(RGB(0x12, 0x34, 0x56), 0x563412u);
  EXPECT_EQ(ToPixel(RGB(0x12, 0x34, 0x56)), 0xFF123456u);
  EXPECT_EQ(ToColorRef(ToPixel(0x00ABCDEF)), 0x00ABCDEFu);
  CSurface s(2, 2, kRed);
  EXPECT_EQ(s.GetPixel(1, 1), kRed);
  EXPECT_EQ(s.GetPixel(2, 0), 0u);  // outside
}

TEST(Raster, MonochromeTransferMapsBitsToTextAndBackgroundColours) {
  // 16 x 2 bitmap: row 0 = 1010..., row 1 = all zero bits.
  const std::uint8_t bits[] = {0xAA, 0xAA, 0x00, 0x00};
  const MonoBitmap mono{16, 2, 2, bits};
  CSurface s(16, 2, RGB(0x0F, 0xF0, 0x33));
  CDC dc(s);
  dc.SetTextColor(kBlue);
  dc.SetBkColor(kRed);
  dc.BitBlt(0, 0, 16, 2, mono, 0, 0, SRCCOPY);
  EXPECT_EQ(s.GetPixel(0, 0), kRed);   // 1 bit: background colour
  EXPECT_EQ(s.GetPixel(1, 0), kBlue);  // 0 bit: text colour
  EXPECT_EQ(s.GetPixel(5, 1), kBlue);

  // SRCAND with black text / white background: ink becomes black, rest stays.
  CSurface t(16, 2, RGB(0x0F, 0xF0, 0x33));
  CDC dt(t);
  dt.SetTextColor(RGB(0, 0, 0));
  dt.SetBkColor(RGB(255, 255, 255));
  dt.BitBlt(0, 0, 16, 2, mono, 0, 0, SRCAND);
  EXPECT_EQ(t.GetPixel(0, 0), RGB(0x0F, 0xF0, 0x33));
  EXPECT_EQ(t.GetPixel(1, 0), RGB(0, 0, 0));
  // SRCPAINT ORs the mapped colour in.
  dt.SetTextColor(RGB(0, 0, 0));
  dt.SetBkColor(RGB(0x80, 0x00, 0x00));
  dt.BitBlt(0, 0, 16, 2, mono, 0, 0, SRCPAINT);
  EXPECT_EQ(t.GetPixel(0, 0), RGB(0x8F, 0xF0, 0x33));
  EXPECT_EQ(t.GetPixel(1, 0), RGB(0, 0, 0));
}

TEST(Raster, TransfersAreClippedToTargetClipAndSourceBounds) {
  const std::uint8_t bits[] = {0x00, 0x00};  // 8 x 2, all 0 bits
  const MonoBitmap mono{8, 2, 1, bits};
  CSurface s(10, 10, kRed);
  CDC dc(s);
  dc.IntersectClipRect({2, 0, 5, 10});
  dc.SetTextColor(kBlue);
  dc.BitBlt(-3, 1, 20, 20, mono, 0, 0, SRCCOPY);  // larger than the source
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
      EXPECT_EQ(s.GetPixel(x, y), inside ? kBlue : kRed) << x << "," << y;
    }
}

TEST(Raster, LinesLeaveOutTheirEndPointAndFollowTheClip) {
  CSurface s(10, 3, kRed);
  CDC dc(s);
  dc.SelectPen(kBlue);
  dc.MoveTo(2, 1);
  dc.LineTo(6, 1);
  EXPECT_EQ(dc.GetCurrentPosition(), (Point{6, 1}));
  for (int x = 0; x < 10; ++x) EXPECT_EQ(s.GetPixel(x, 1), x >= 2 && x < 6 ? kBlue : kRed) << x;
  dc.IntersectClipRect({0, 0, 4, 3});
  dc.MoveTo(0, 2);
  dc.LineTo(10, 2);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(s.GetPixel(x, 2), x < 4 ? kBlue : kRed) << x;
  dc.MoveTo(0, 0);
  dc.LineTo(2, 2);  // diagonal: (0,0), (1,1)
  EXPECT_EQ(s.GetPixel(0, 0), kBlue);
  EXPECT_EQ(s.GetPixel(1, 1), kBlue);
}

TEST(Raster, FillIsClippedAndEmptyRectsDrawNothing) {
  CSurface s(4, 4, kRed);
  CDC dc(s);
  dc.FillSolidRect({-5, -5, 2, 2}, kBlue);
  dc.FillSolidRect({3, 3, 3, 9}, kBlue);
  int blue = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) blue += s.GetPixel(x, y) == kBlue;
  EXPECT_EQ(blue, 4);
}

// The transfers against a pixel-by-pixel statement of their rules, over
// random bitmaps, positions, clips, colours and raster operations.
namespace reference {

std::uint32_t Combine(std::uint32_t d, std::uint32_t s, std::uint32_t rop) {
  return rop == SRCAND ? (d & s) : rop == SRCPAINT ? (d | s) : s;
}

void MonoBlt(CSurface& t, const Rect& clip, int x, int y, int w, int h, const MonoBitmap& src,
             int sx, int sy, std::uint32_t rop, COLORREF crText, COLORREF crBk) {
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const int tx = x + i, ty = y + j, bx = sx + i, by = sy + j;
      if (!clip.Contains(tx, ty) || bx < 0 || by < 0 || bx >= src.nWidth || by >= src.nHeight)
        continue;
      const std::uint32_t s = ToPixel(src.Bit(bx, by) ? crBk : crText);
      t.Row(ty)[tx] = Combine(t.Row(ty)[tx], s, rop);
    }
}

}  // namespace reference

TEST(Raster, TransfersMatchTheirPixelRules) {
  std::uint32_t seed = 12345;
  auto rnd = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(n));
  };
  const COLORREF colours[] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 255, 0), RGB(12, 200, 77)};
  const std::uint32_t rops[] = {SRCCOPY, SRCAND, SRCPAINT};
  for (int round = 0; round < 400; ++round) {
    const int bw = 1 + rnd(70), bh = 1 + rnd(30);
    const int wb = (bw + 15) / 16 * 2;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(wb) * bh);
    const int density = rnd(4);  // from mostly white to mostly ink
    for (auto& b : bits)
      b = static_cast<std::uint8_t>(density == 0 ? 0xFF : density == 1 ? 0 : rnd(256));
    const MonoBitmap mono{bw, bh, wb, bits.data()};

    CSurface expected(53, 41);
    for (int yy = 0; yy < 41; ++yy)
      for (int xx = 0; xx < 53; ++xx)
        expected.Row(yy)[xx] = 0xFF000000u | static_cast<std::uint32_t>(rnd(1 << 24));
    CSurface actual = expected;
    const Rect clip{rnd(20) - 5, rnd(20) - 5, 20 + rnd(40), 15 + rnd(30)};
    const COLORREF crText = colours[rnd(4)], crBk = colours[rnd(4)];
    const std::uint32_t rop = rops[rnd(3)];
    const int x = rnd(70) - 10, y = rnd(50) - 10, w = rnd(80) - 5, h = rnd(40) - 5;
    const int sx = rnd(20) - 5, sy = rnd(10) - 3;
    SCOPED_TRACE(round);

    CDC dc(actual);
    dc.IntersectClipRect(clip);
    dc.SetTextColor(crText);
    dc.SetBkColor(crBk);
    dc.BitBlt(x, y, w, h, mono, sx, sy, rop);
    reference::MonoBlt(expected, clip.Intersect(expected.Bounds()), x, y, w, h, mono, sx, sy, rop,
                       crText, crBk);
    ASSERT_EQ(actual, expected);

    // Several transfers with SRCAND over a white fill, made row by row.
    CSurface fused = actual;
    CSurface stepwise = actual;
    std::vector<MonoTransfer> transfers;
    for (int k = rnd(6); k > 0; --k)
      transfers.push_back(
          {rnd(60) - 8, rnd(45) - 8, rnd(40), rnd(30), mono, rnd(10) - 2, rnd(6) - 2});
    const Rect fill{rnd(30) - 5, rnd(30) - 5, 10 + rnd(50), 10 + rnd(40)};
    CDC df(fused), ds(stepwise);
    for (CDC* p : {&df, &ds}) {
      p->IntersectClipRect(clip);
      p->SetTextColor(crText);
      p->SetBkColor(crBk);
    }
    df.FillThenAndRows(fill, crText, transfers);
    ds.FillSolidRect(fill, crText);
    for (const MonoTransfer& t : transfers)
      ds.BitBlt(t.x, t.y, t.w, t.h, t.src, t.sx, t.sy, SRCAND);
    ASSERT_EQ(fused, stepwise);

    // A tile laid over a rectangle is a SRCCOPY transfer at every grid place.
    CSurface tile(1 + rnd(9), 1 + rnd(9));
    for (int ty = 0; ty < tile.Height(); ++ty)
      for (int tx = 0; tx < tile.Width(); ++tx)
        tile.Row(ty)[tx] = 0xFF000000u | static_cast<std::uint32_t>(rnd(1 << 24));
    CSurface tiled = actual;
    CSurface blitted = actual;
    const Rect area{rnd(20) - 10, rnd(20) - 10, rnd(60), rnd(50)};
    CDC dt(tiled), db(blitted);
    dt.IntersectClipRect(clip);
    db.IntersectClipRect(clip.Intersect(area));
    dt.TileBlt(area, tile);
    for (int gy = area.top; gy < area.bottom; gy += tile.Height())
      for (int gx = area.left; gx < area.right; gx += tile.Width())
        db.BitBlt(gx, gy, tile.Width(), tile.Height(), tile, 0, 0, SRCCOPY);
    ASSERT_EQ(tiled, blitted);
  }
}

// The overview's case: many strips ANDed onto a white fill wider than the
// 64-pixel words the row is gathered in, strips side by side, overlapping,
// crossing word edges and sticking out of the fill or the clip.
TEST(Raster, FillThenAndRowsOverWideRowsIsTheFillFollowedByTheTransfers) {
  std::uint32_t seed = 777;
  auto rnd = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(n));
  };
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    const int bw = 20 + rnd(120), bh = 5 + rnd(30);
    const int wb = (bw + 15) / 16 * 2;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(wb) * bh);
    for (auto& b : bits) b = static_cast<std::uint8_t>(rnd(3) == 0 ? 0xFF : rnd(256));
    const MonoBitmap mono{bw, bh, wb, bits.data()};
    CSurface before(301, 60);
    for (int yy = 0; yy < before.Height(); ++yy)
      for (int xx = 0; xx < before.Width(); ++xx)
        before.Row(yy)[xx] = 0xFF000000u | static_cast<std::uint32_t>(rnd(1 << 24));
    std::vector<MonoTransfer> transfers;
    int x = rnd(8);
    for (int k = 3 + rnd(12); k > 0; --k) {
      const int w = 1 + rnd(bw);
      transfers.push_back({x, rnd(50) - 5, w, 1 + rnd(bh), mono, rnd(bw), rnd(bh)});
      x += rnd(4) == 0 ? -rnd(w + 1) : w + rnd(6);  // now and then overlapping
    }
    const bool bInside = round % 3 != 0;
    const Rect fill = bInside ? Rect{0, rnd(10), 301, 50 + rnd(10)}
                              : Rect{rnd(40), rnd(10), 200 + rnd(101), 40 + rnd(20)};
    const Rect clip = round % 4 == 0 ? Rect{rnd(30), 0, 250 + rnd(51), 60} : before.Bounds();
    CSurface fused = before, stepwise = before;
    CDC df(fused), ds(stepwise);
    for (CDC* p : {&df, &ds}) {
      p->IntersectClipRect(clip);
      p->SetTextColor(round % 5 == 0 ? RGB(12, 200, 77) : RGB(0, 0, 0));
      p->SetBkColor(RGB(255, 255, 255));
    }
    df.FillThenAndRows(fill, RGB(255, 255, 255), transfers);
    ds.FillSolidRect(fill, RGB(255, 255, 255));
    for (const MonoTransfer& t : transfers)
      ds.BitBlt(t.x, t.y, t.w, t.h, t.src, t.sx, t.sy, SRCAND);
    ASSERT_EQ(fused, stepwise);
  }
}

}  // namespace
}  // namespace solvari
