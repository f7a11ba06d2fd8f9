// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/bitmap.h"

#include <algorithm>
#include <cstring>

namespace solvari {

namespace {
// The program's own bitmaps are a few hundred pixels at most; the limits keep
// a bad resource from asking for much memory.
constexpr int kMaxBitmapSide = 8192;
constexpr std::int64_t kMaxBitmapPixels = std::int64_t{1} << 22;
}  // namespace

bool CBitmap::LoadBitmap(const BitmapFinder& finder, int nId) {
  DeleteObject();
  if (!finder) return false;
  return LoadBitmap(finder(nId));
}

bool CBitmap::LoadBitmap(DibBytes bytes) {
  DeleteObject();
  if (bytes.data() == nullptr || bytes.empty()) return false;
  const DibBytes dib =
      (bytes.size() >= 14 && bytes[0] == 'B' && bytes[1] == 'M') ? bytes.subspan(14) : bytes;
  if (!IsDibDrawable(dib)) return false;
  const int nWidth = GetDibWidth(dib);
  const int nHeight = GetDibHeight(dib);
  if (nWidth <= 0 || nHeight <= 0 || nWidth > kMaxBitmapSide || nHeight > kMaxBitmapSide ||
      std::int64_t{nWidth} * nHeight > kMaxBitmapPixels) {
    return false;
  }

  if (GetDibBitCount(dib) == 1) {
    // Each index becomes 1 where its colour is nearer white than black.
    const std::uint32_t nTable = GetDibHeaderSize(dib);
    const int nEntry = IsDibInfoHeader(dib) ? 4 : 3;
    const int nColors = GetDibColorCount(dib);
    auto light = [&](int i) {
      if (i >= nColors) return false;
      const std::uint8_t* e = dib.data() + nTable + static_cast<std::size_t>(i) * nEntry;
      return e[0] + e[1] + e[2] >= 384;
    };
    const bool b0 = light(0), b1 = light(1);
    const std::uint8_t* pPixels = GetDibPixels(dib);
    const std::size_t nStride = (static_cast<std::size_t>(nWidth) + 31) / 32 * 4;
    const int nWidthBytes = (nWidth + 15) / 16 * 2;
    const int nUsedBytes = (nWidth + 7) / 8;
    const std::uint8_t lastMask = static_cast<std::uint8_t>(0xFF00 >> (((nWidth - 1) & 7) + 1));
    m_bits.assign(static_cast<std::size_t>(nWidthBytes) * nHeight, 0);
    for (int y = 0; y < nHeight; ++y) {
      const std::uint8_t* in = pPixels + static_cast<std::size_t>(nHeight - 1 - y) * nStride;
      std::uint8_t* out = m_bits.data() + static_cast<std::size_t>(y) * nWidthBytes;
      if (b0 == b1) {
        std::memset(out, b1 ? 0xFF : 0, static_cast<std::size_t>(nUsedBytes));
      } else {
        const std::uint8_t flip = b0 ? 0xFF : 0;  // index 0 light: the bits turn over
        for (int i = 0; i < nUsedBytes; ++i) out[i] = static_cast<std::uint8_t>(in[i] ^ flip);
      }
      out[nUsedBytes - 1] &= lastMask;
    }
    m_bm = {0, nWidth, nHeight, nWidthBytes, 1, 1};
    return true;
  }

  CSurface picture(nWidth, nHeight, RGB(0, 0, 0));
  CDC dc(picture);
  const Rect rc{0, 0, nWidth, nHeight};
  if (DrawPackedDib(&dc, &rc, CPackedDib(dib.data(), dib.size()), &rc, nullptr) == 0) return false;
  m_colour = std::move(picture);
  m_bits.resize(static_cast<std::size_t>(nWidth) * nHeight * 4);
  std::memcpy(m_bits.data(), m_colour.Bits(), m_bits.size());
  m_bm = {0, nWidth, nHeight, nWidth * 4, 1, 32};
  return true;
}

void CBitmap::DeleteObject() {
  m_bm = {};
  m_bits.clear();
  m_colour = CSurface();
}

long CBitmap::GetBitmapBits(std::size_t nCount, void* pBits) const {
  const std::size_t n = std::min(nCount, m_bits.size());
  if (n != 0) std::memcpy(pBits, m_bits.data(), n);
  return static_cast<long>(n);
}

MonoBitmap CBitmap::AsMono() const {
  if (!IsMonochrome()) return {};
  return {m_bm.bmWidth, m_bm.bmHeight, m_bm.bmWidthBytes, m_bits.data()};
}

}  // namespace solvari
