// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/count_figures.h"

#include <algorithm>

namespace solvari {

namespace {

// Rows top first, the leftmost pixel in bit 4.
constexpr std::uint8_t kDigits[10][kFigureHeight] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
};
constexpr std::uint8_t kSlash[kFigureHeight] = {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10};

const std::uint8_t* Rows(char c) {
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  if (c == '/') return kSlash;
  return nullptr;
}

}  // namespace

FigureBitmap MakeFigureBitmap(const std::string& text, int nScale) {
  const int s = nScale == 2 ? 2 : 1;
  // Where each drawn character begins, in pixels of scale 1.
  std::vector<std::pair<int, const std::uint8_t*>> placed;
  int x = 0;
  for (const char c : text) {
    if (c == ' ') {
      x += kFigureSpace;
      continue;
    }
    const std::uint8_t* pRows = Rows(c);
    if (pRows == nullptr) continue;
    if (!placed.empty()) x += kFigureGap;
    placed.emplace_back(x, pRows);
    x += kFigureWidth;
  }
  FigureBitmap out;
  if (placed.empty()) return out;
  out.mono.nWidth = x * s;
  out.mono.nHeight = kFigureHeight * s;
  out.mono.nWidthBytes = (out.mono.nWidth + 15) / 16 * 2;
  out.bits.assign(static_cast<std::size_t>(out.mono.nWidthBytes * out.mono.nHeight), 0xFF);
  for (const auto& [x0, pRows] : placed) {
    for (int r = 0; r < kFigureHeight; ++r) {
      for (int c = 0; c < kFigureWidth; ++c) {
        if ((pRows[r] & (0x10 >> c)) == 0) continue;
        for (int dy = 0; dy < s; ++dy) {
          for (int dx = 0; dx < s; ++dx) {
            const int px = (x0 + c) * s + dx;
            const int py = r * s + dy;
            out.bits[static_cast<std::size_t>(py * out.mono.nWidthBytes + (px >> 3))] &=
                static_cast<std::uint8_t>(~(0x80 >> (px & 7)));
          }
        }
      }
    }
  }
  out.mono.pBits = out.bits.data();
  return out;
}

}  // namespace solvari
