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

}  // namespace
}  // namespace solvari
