// SPDX-License-Identifier: GPL-3.0-or-later
// Builds .bmp files byte by byte for the picture tests, the fuzz seeds and
// the benchmarks.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace solvari::testing {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};

struct BmpShape {
  std::uint32_t nHeaderSize = 40;  // 12 writes the core form
  std::int32_t nWidth = 0;
  std::int32_t nHeight = 0;
  int nBitCount = 24;
  std::uint32_t nCompression = 0;
  std::uint32_t nColorsUsed = 0;
  std::vector<Rgb> palette;              // written as 4- or 3-byte entries
  std::array<std::uint32_t, 4> masks{};  // R, G, B, A: inside headers of 52 bytes and more
  bool bMasksAfterHeader = false;        // a 40-byte header followed by R, G, B masks
  std::vector<std::uint8_t> pixels;      // rows as stored
  bool bFileHeader = true;
};

inline void PutU16(std::vector<std::uint8_t>& v, std::size_t off, std::uint32_t x) {
  v[off] = x & 0xFF;
  v[off + 1] = (x >> 8) & 0xFF;
}
inline void PutU32(std::vector<std::uint8_t>& v, std::size_t off, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[off + i] = (x >> (8 * i)) & 0xFF;
}

inline std::vector<std::uint8_t> BuildBmp(const BmpShape& s) {
  std::vector<std::uint8_t> h(s.nHeaderSize, 0);
  PutU32(h, 0, s.nHeaderSize);
  if (s.nHeaderSize == 12) {
    PutU16(h, 4, static_cast<std::uint32_t>(s.nWidth));
    PutU16(h, 6, static_cast<std::uint32_t>(s.nHeight));
    PutU16(h, 8, 1);
    PutU16(h, 10, s.nBitCount);
  } else {
    PutU32(h, 4, static_cast<std::uint32_t>(s.nWidth));
    PutU32(h, 8, static_cast<std::uint32_t>(s.nHeight));
    PutU16(h, 12, 1);
    PutU16(h, 14, s.nBitCount);
    PutU32(h, 16, s.nCompression);
    PutU32(h, 20, static_cast<std::uint32_t>(s.pixels.size()));
    PutU32(h, 24, 2835);
    PutU32(h, 28, 2835);
    PutU32(h, 32, s.nColorsUsed);
    if (s.nHeaderSize >= 52) {
      for (int i = 0; i < 3; ++i) PutU32(h, 40 + 4 * i, s.masks[i]);
    }
    if (s.nHeaderSize >= 56) PutU32(h, 52, s.masks[3]);
    if (s.nHeaderSize >= 108) PutU32(h, 56, 0x73524742);  // 'sRGB'
    if (s.nHeaderSize >= 124) PutU32(h, 108, 4);          // rendering intent
  }
  std::vector<std::uint8_t> body = h;
  if (s.bMasksAfterHeader) {
    body.resize(body.size() + 12);
    for (int i = 0; i < 3; ++i) PutU32(body, h.size() + 4 * i, s.masks[i]);
  }
  for (const Rgb& c : s.palette) {
    body.push_back(c.b);
    body.push_back(c.g);
    body.push_back(c.r);
    if (s.nHeaderSize != 12) body.push_back(0);
  }
  const std::size_t nOffBits = 14 + body.size();
  body.insert(body.end(), s.pixels.begin(), s.pixels.end());
  if (!s.bFileHeader) return body;
  std::vector<std::uint8_t> file(14, 0);
  file[0] = 'B';
  file[1] = 'M';
  PutU32(file, 2, static_cast<std::uint32_t>(14 + body.size()));
  PutU32(file, 10, static_cast<std::uint32_t>(nOffBits));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

// Pixel rows, bottom row first, each padded to 4 bytes, of a picture whose
// pixel (x, y), y counted from the top, has the value value(x, y): an index for
// 1, 4 and 8 bits, a 16-bit word, or 0x00RRGGBB for 24 and 32 bits.
inline std::vector<std::uint8_t> MakeRows(int nWidth, int nHeight, int nBitCount,
                                          const std::function<std::uint32_t(int, int)>& value) {
  const std::size_t nStride = (static_cast<std::size_t>(nWidth) * nBitCount + 31) / 32 * 4;
  // A negative height stores the rows top first.
  const int nRows = nHeight < 0 ? -nHeight : nHeight;
  std::vector<std::uint8_t> rows(nStride * nRows, 0);
  for (int y = 0; y < nRows; ++y) {
    std::uint8_t* r = rows.data() + nStride * (nHeight < 0 ? y : nRows - 1 - y);
    for (int x = 0; x < nWidth; ++x) {
      const std::uint32_t v = value(x, y);
      switch (nBitCount) {
        case 1:
          if (v & 1) r[x / 8] |= 0x80 >> (x % 8);
          break;
        case 4:
          r[x / 2] |= (x % 2) ? (v & 0xF) : ((v & 0xF) << 4);
          break;
        case 8:
          r[x] = v & 0xFF;
          break;
        case 16:
          r[2 * x] = v & 0xFF;
          r[2 * x + 1] = (v >> 8) & 0xFF;
          break;
        case 24:
          r[3 * x] = v & 0xFF;
          r[3 * x + 1] = (v >> 8) & 0xFF;
          r[3 * x + 2] = (v >> 16) & 0xFF;
          break;
        case 32:
          r[4 * x] = v & 0xFF;
          r[4 * x + 1] = (v >> 8) & 0xFF;
          r[4 * x + 2] = (v >> 16) & 0xFF;
          r[4 * x + 3] = (v >> 24) & 0xFF;
          break;
      }
    }
  }
  return rows;
}

// A whole 24-bit picture file.
inline std::vector<std::uint8_t> Build24(int nWidth, int nHeight,
                                         const std::function<std::uint32_t(int, int)>& rgb) {
  BmpShape s;
  s.nWidth = nWidth;
  s.nHeight = nHeight;
  s.nBitCount = 24;
  s.pixels = MakeRows(nWidth, nHeight, 24, rgb);
  return BuildBmp(s);
}

}  // namespace solvari::testing
