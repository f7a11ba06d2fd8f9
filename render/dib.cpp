// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/dib.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>

namespace solvari {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::size_t kInfoHeaderSize = 40;
// Files above this size are not read: no picture this program shows needs it,
// and the block is allocated before anything else is known about the file.
constexpr std::int64_t kMaxBmpFileSize = std::int64_t{1} << 30;
// Rectangles beyond this range are refused by the drawing, which keeps its
// 64-bit sampling arithmetic far from overflow.
constexpr std::int64_t kMaxCoordinate = std::int64_t{1} << 30;

void PutU16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t ReadU32(DibBytes b, std::size_t off) {
  if (b.size() < 4 || off > b.size() - 4) return 0;
  return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
         (static_cast<std::uint32_t>(b[off + 2]) << 16) |
         (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

std::uint16_t ReadU16(DibBytes b, std::size_t off) {
  if (b.size() < 2 || off > b.size() - 2) return 0;
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

bool IsInfoHeaderSize(std::uint32_t nSize) {
  return nSize == 40 || nSize == 52 || nSize == 56 || nSize == 108 || nSize == 124;
}

std::uint32_t MakePixel(int r, int g, int b) {
  return 0xFF000000u | (static_cast<std::uint32_t>(r) << 16) |
         (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

// Everything the drawing needs to know about a picture, found by ParseDib.
struct DibLayout {
  int nWidth = 0;
  int nHeight = 0;
  int nBitCount = 0;
  std::uint32_t nCompression = BI_RGB;
  bool bInfo = false;
  std::uint64_t nTableOffset = 0;
  int nEntrySize = 0;
  int nTableEntries = 0;  // entries the colour table holds (colour count)
  std::uint64_t nPixelsOffset = 0;
  std::uint64_t nStride = 0;  // bytes per row of an uncompressed picture
  std::uint32_t masks[3] = {0, 0, 0};
};

// Walks a run-length stream of nBitCount 4 or 8 and calls
// sink(row, x, count, pixelAt) for every run of pixels, rows counted from the
// bottom, x and count not clipped to the width. Returns false when the stream
// runs past the end of its bytes before its end mark or its last row.
template <class Sink>
bool WalkRle(const std::uint8_t* p, std::size_t n, int nBitCount, int nHeight, Sink&& sink) {
  std::size_t i = 0;
  std::int64_t x = 0;
  std::int64_t row = 0;
  for (;;) {
    if (row >= nHeight) return true;
    if (n - i < 2) return false;
    const std::uint8_t a = p[i];
    const std::uint8_t b = p[i + 1];
    i += 2;
    if (a != 0) {  // encoded run: a pixels of the index (or two alternating indices) in b
      if (nBitCount == 8) {
        sink(row, x, a, [b](int) { return b; });
      } else {
        const int hi = b >> 4, lo = b & 0x0F;
        sink(row, x, a, [hi, lo](int k) { return (k & 1) ? lo : hi; });
      }
      x += a;
    } else if (b == 0) {  // end of line
      x = 0;
      ++row;
    } else if (b == 1) {  // end of bitmap
      return true;
    } else if (b == 2) {  // delta
      if (n - i < 2) return false;
      x += p[i];
      row += p[i + 1];
      i += 2;
    } else {  // absolute run of b pixels, padded to a 16-bit boundary
      const std::size_t nBytes = nBitCount == 8 ? b : (static_cast<std::size_t>(b) + 1) / 2;
      if (n - i < nBytes) return false;
      const std::uint8_t* q = p + i;
      if (nBitCount == 8) {
        sink(row, x, b, [q](int k) { return q[k]; });
      } else {
        sink(row, x, b, [q](int k) { return (k & 1) ? (q[k >> 1] & 0x0F) : (q[k >> 1] >> 4); });
      }
      x += b;
      i += std::min(n - i, (nBytes + 1) & ~std::size_t{1});
    }
  }
}

bool ParseDib(DibBytes dib, DibLayout* pLayout) {
  DibLayout& l = *pLayout;
  const std::uint32_t nHeaderSize = GetDibHeaderSize(dib);
  l.bInfo = IsInfoHeaderSize(nHeaderSize);
  if (nHeaderSize < kCoreHeaderSize || nHeaderSize > dib.size()) return false;
  l.nWidth = GetDibWidth(dib);
  l.nHeight = GetDibHeight(dib);
  l.nBitCount = GetDibBitCount(dib);
  l.nCompression = GetDibCompression(dib);
  if (l.nWidth < 0 || l.nHeight < 0) return false;

  const int bpp = l.nBitCount;
  bool bKnown = false;
  if (!l.bInfo) {
    bKnown = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24;
  } else {
    switch (l.nCompression) {
      case BI_RGB:
        bKnown = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
        break;
      case BI_RLE8:
        bKnown = bpp == 8;
        break;
      case BI_RLE4:
        bKnown = bpp == 4;
        break;
      case BI_BITFIELDS:
        bKnown = bpp == 16 || bpp == 32;
        break;
      default:
        break;
    }
  }
  if (!bKnown) return false;

  // Colour table, then the masks, which sit at offset 40 both inside the
  // longer headers and just after the 40-byte one.
  l.nTableOffset = nHeaderSize;
  l.nEntrySize = l.bInfo ? 4 : 3;
  l.nTableEntries = GetDibColorCount(dib);
  if (l.nTableOffset + static_cast<std::uint64_t>(GetDibColorTableSize(dib)) > dib.size()) {
    return false;
  }
  if (l.nCompression == BI_BITFIELDS) {
    if (kInfoHeaderSize + 12 > dib.size()) return false;
    for (int c = 0; c < 3; ++c) l.masks[c] = ReadU32(dib, kInfoHeaderSize + 4 * c);
  } else if (bpp == 16) {
    l.masks[0] = 0x7C00;
    l.masks[1] = 0x03E0;
    l.masks[2] = 0x001F;
  } else if (bpp == 32) {
    l.masks[0] = 0x00FF0000;
    l.masks[1] = 0x0000FF00;
    l.masks[2] = 0x000000FF;
  }

  l.nPixelsOffset = GetDibPixelsOffset(dib);
  if (l.nPixelsOffset > dib.size()) return false;
  const std::uint64_t nAvail = dib.size() - l.nPixelsOffset;
  if (l.nCompression == BI_RLE8 || l.nCompression == BI_RLE4) {
    return WalkRle(dib.data() + l.nPixelsOffset, nAvail, bpp, l.nHeight,
                   [](std::int64_t, std::int64_t, int, auto) {});
  }
  l.nStride = (static_cast<std::uint64_t>(l.nWidth) * bpp + 31) / 32 * 4;
  if (l.nHeight > 0 && l.nStride > nAvail / static_cast<std::uint64_t>(l.nHeight)) return false;
  return true;
}

// The 0xFFRRGGBB value of every index of a picture of up to 8 bits per pixel;
// indices beyond the colour table are black.
std::vector<std::uint32_t> MakeColorLut(DibBytes dib, const DibLayout& l) {
  std::vector<std::uint32_t> lut(std::size_t{1} << l.nBitCount, MakePixel(0, 0, 0));
  const int n = std::min<int>(l.nTableEntries, static_cast<int>(lut.size()));
  for (int i = 0; i < n; ++i) {
    const std::uint8_t* e =
        dib.data() + l.nTableOffset + static_cast<std::size_t>(i) * l.nEntrySize;
    lut[i] = MakePixel(e[2], e[1], e[0]);
  }
  return lut;
}

// Turns one colour mask into a shift and an expansion of its bits to 8 bits.
struct MaskChannel {
  int nShift = 0;
  std::uint32_t nMax = 0;  // the field's largest value
  int nBits = 0;
  std::uint8_t expand[256] = {};

  explicit MaskChannel(std::uint32_t mask) {
    if (mask == 0) return;
    while (((mask >> nShift) & 1u) == 0) ++nShift;
    const std::uint32_t m = mask >> nShift;
    while (nBits < 32 && (m >> nBits) != 0) ++nBits;
    if (nBits > 8) {
      nShift += nBits - 8;
      nBits = 8;
    }
    nMax = (nBits == 32) ? 0xFFFFFFFFu : ((1u << nBits) - 1);
    // Bit replication, as 5-bit 31 becomes 255 and 16 becomes 132.
    for (std::uint32_t v = 0; v <= nMax; ++v) {
      std::uint32_t out = 0;
      int have = 0;
      while (have < 8) {
        out = (out << nBits) | v;
        have += nBits;
      }
      expand[v] = static_cast<std::uint8_t>(out >> (have - 8));
    }
  }
  std::uint32_t Get(std::uint32_t v) const { return nMax == 0 ? 0 : expand[(v >> nShift) & nMax]; }
};

// Where each destination column and row of the visible part takes its pixel.
struct SampleMap {
  Rect rcVisible;                // destination pixels that can change
  std::vector<std::int64_t> xs;  // source column of each visible column
  std::vector<std::int64_t> ys;  // source row, from the top, of each visible row
};

}  // namespace

CPackedDib::CPackedDib(const std::uint8_t* pData, std::size_t nSize)
    : m_bytes(pData, pData + nSize), m_bNull(false), m_nSerial(NextSerial()) {}

std::uint64_t CPackedDib::NextSerial() {
  // Pictures are read on a loading thread too.
  static std::atomic<std::uint64_t> s_nLast{0};
  return s_nLast.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::uint32_t GetDibHeaderSize(DibBytes dib) { return ReadU32(dib, 0); }

bool IsDibInfoHeader(DibBytes dib) { return IsInfoHeaderSize(GetDibHeaderSize(dib)); }

int GetDibWidth(DibBytes dib) {
  return IsDibInfoHeader(dib) ? static_cast<std::int32_t>(ReadU32(dib, 4)) : ReadU16(dib, 4);
}

int GetDibHeight(DibBytes dib) {
  return IsDibInfoHeader(dib) ? static_cast<std::int32_t>(ReadU32(dib, 8)) : ReadU16(dib, 6);
}

int GetDibBitCount(DibBytes dib) { return ReadU16(dib, IsDibInfoHeader(dib) ? 14 : 10); }

std::uint32_t GetDibCompression(DibBytes dib) {
  return IsDibInfoHeader(dib) ? ReadU32(dib, 16) : BI_RGB;
}

std::uint16_t GetDibColorCount(DibBytes dib) {
  if (IsDibInfoHeader(dib)) {
    const std::uint32_t nUsed = ReadU32(dib, 32);
    if (nUsed != 0) return static_cast<std::uint16_t>(nUsed);
  }
  switch (GetDibBitCount(dib)) {
    case 1:
      return 2;
    case 4:
      return 16;
    case 8:
      return 256;
    default:
      return 0;
  }
}

int GetDibColorTableSize(DibBytes dib) {
  return GetDibColorCount(dib) * (IsDibInfoHeader(dib) ? 4 : 3);
}

std::uint64_t GetDibPixelsOffset(DibBytes dib) {
  // A 40-byte header with bit-field compression is followed by its three
  // masks; the pixel rows come after them (longer headers hold the masks).
  const std::uint32_t nHeaderSize = GetDibHeaderSize(dib);
  const std::uint64_t nMasks =
      nHeaderSize == kInfoHeaderSize && GetDibCompression(dib) == BI_BITFIELDS ? 12 : 0;
  return std::uint64_t{nHeaderSize} + nMasks +
         static_cast<std::uint16_t>(GetDibColorTableSize(dib));
}

const std::uint8_t* GetDibPixels(DibBytes dib) {
  const std::uint64_t off = GetDibPixelsOffset(dib);
  if (dib.data() == nullptr || off > dib.size()) return nullptr;
  return dib.data() + off;
}

bool IsDibDrawable(DibBytes dib) {
  DibLayout l;
  return dib.data() != nullptr && ParseDib(dib, &l);
}

bool CPalette::CreatePalette(std::vector<PaletteEntry> entries) {
  if (IsCreated() || entries.empty()) return false;
  m_entries = std::move(entries);
  return true;
}

bool MakeDibPalette(const CPackedDib& dib, CPalette* pPalette) {
  if (dib.IsNull() || pPalette == nullptr) return false;
  const int n = GetDibColorCount(dib);
  if (n == 0) return false;
  const std::uint64_t nOffset = GetDibHeaderSize(dib);
  const int nEntrySize = IsDibInfoHeader(dib) ? 4 : 3;
  if (nOffset + static_cast<std::uint64_t>(n) * nEntrySize > dib.Size()) return false;
  std::vector<PaletteEntry> entries;
  try {
    entries.resize(n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int i = 0; i < n; ++i) {
    const std::uint8_t* e = dib.Data() + nOffset + static_cast<std::size_t>(i) * nEntrySize;
    entries[i] = {e[2], e[1], e[0], 0};
  }
  return pPalette->CreatePalette(std::move(entries));
}

namespace {

bool InRange(const Rect& rc) {
  auto ok = [](int v) { return v >= -kMaxCoordinate && v <= kMaxCoordinate; };
  return ok(rc.left) && ok(rc.top) && ok(rc.right) && ok(rc.bottom);
}

// Nearest pixel: destination offset j of nDst takes source offset
// floor((2j + 1) * nSrc / (2 * nDst)), the source pixel under its centre.
std::int64_t Nearest(std::int64_t j, std::int64_t nSrc, std::int64_t nDst) {
  return (2 * j + 1) * nSrc / (2 * nDst);
}

// Draws the rows of an uncompressed picture: draw(out, sourceRow, nextRow,
// x0, x1) fills the columns x0 to x1 - 1 of one row, those whose source
// columns lie inside the picture. nextRow is the source row of the next
// destination row (sourceRow itself for the last), for drawers that fetch it
// ahead: the rows of a photo stretched down lie far apart in memory, and
// each one would otherwise start from a cold cache.
template <class DrawRow>
void DrawRows(CSurface& surface, const SampleMap& map, const DibLayout& l,
              const std::uint8_t* pPixels, std::int64_t nRowsAvail, DrawRow draw) {
  const Rect& rc = map.rcVisible;
  // The columns are monotonic, so those inside the picture form one run.
  int x0 = rc.left, x1 = rc.right;
  while (x0 < x1 && map.xs[x0 - rc.left] < 0) ++x0;
  while (x1 > x0 && map.xs[x1 - 1 - rc.left] >= l.nWidth) --x1;
  // The stored row under destination row dy, or null when there is none.
  auto rowOf = [&](int dy) -> const std::uint8_t* {
    const std::int64_t t = map.ys[dy - rc.top];
    if (t < 0 || t >= l.nHeight) return nullptr;
    const std::int64_t stored = l.nHeight - 1 - t;  // rows are stored bottom row first
    if (stored >= nRowsAvail) return nullptr;
    return pPixels + static_cast<std::uint64_t>(stored) * l.nStride;
  };
  const std::uint32_t* pPrev = nullptr;  // the last row drawn, and its source row
  std::int64_t tPrev = -1;
  for (int dy = rc.top; dy < rc.bottom; ++dy) {
    const std::uint8_t* pRow = rowOf(dy);
    if (pRow == nullptr) continue;
    const std::int64_t t = map.ys[dy - rc.top];
    std::uint32_t* out = surface.Row(dy);
    if (t == tPrev && x1 > x0) {  // a row stretched over several: copied
      std::memcpy(out + x0, pPrev + x0, static_cast<std::size_t>(x1 - x0) * sizeof(std::uint32_t));
      continue;
    }
    const std::uint8_t* pNext = dy + 1 < rc.bottom ? rowOf(dy + 1) : nullptr;
    draw(out, pRow, pNext != nullptr ? pNext : pRow, x0, x1);
    pPrev = out;
    tPrev = t;
  }
}

// Draws an uncompressed picture: pixelAt(rowPointer, sx) gives the pixel.
template <class PixelAt>
void DrawDirect(CSurface& surface, const SampleMap& map, const DibLayout& l,
                const std::uint8_t* pPixels, std::int64_t nRowsAvail, PixelAt pixelAt) {
  const int nLeft = map.rcVisible.left;
  DrawRows(surface, map, l, pPixels, nRowsAvail,
           [&](std::uint32_t* out, const std::uint8_t* pRow, const std::uint8_t*, int x0, int x1) {
             for (int dx = x0; dx < x1; ++dx) out[dx] = pixelAt(pRow, map.xs[dx - nLeft]);
           });
}

// 24 bits per pixel, the form of every photo: byte offsets of the sampled
// columns worked out once.
void Draw24(CSurface& surface, const SampleMap& map, const DibLayout& l,
            const std::uint8_t* pPixels, std::int64_t nRowsAvail) {
  const int nLeft = map.rcVisible.left;
  std::vector<std::uint32_t> offsets(map.xs.size(), 0);
  for (std::size_t i = 0; i < map.xs.size(); ++i) {
    const std::int64_t x = map.xs[i];
    if (x >= 0 && x < l.nWidth) offsets[i] = static_cast<std::uint32_t>(3 * x);
  }
  // A pixel's blue, green and red bytes, read as one word with the byte
  // after them, are the surface's pixel but for its top byte; the word is
  // read so only where that byte lies inside the row.
  int nWordEnd = 0;  // the sampled columns inside the picture rise from left to right
  while (static_cast<std::size_t>(nWordEnd) < map.xs.size() &&
         (map.xs[static_cast<std::size_t>(nWordEnd)] >= l.nWidth ||
          offsets[static_cast<std::size_t>(nWordEnd)] + 4 <= l.nStride))
    ++nWordEnd;
  nWordEnd += nLeft;
  DrawRows(
      surface, map, l, pPixels, nRowsAvail,
      [&](std::uint32_t* out, const std::uint8_t* pRow, const std::uint8_t* pNext, int x0, int x1) {
        const std::uint32_t* off = offsets.data() - nLeft;
        const int xw = std::clamp(nWordEnd, x0, x1);
        int dx = x0;
        for (; dx + 4 <= xw; dx += 4) {
          // One fetch per four columns: about 50 bytes of a photo's row at
          // scale 2, so every cache line of the next row is asked for.
          __builtin_prefetch(pNext + off[dx]);
          std::uint32_t v[4];
          for (int k = 0; k < 4; ++k) std::memcpy(&v[k], pRow + off[dx + k], 4);
          for (int k = 0; k < 4; ++k) out[dx + k] = 0xFF000000u | v[k];
        }
        for (; dx < xw; ++dx) {
          std::uint32_t v;
          std::memcpy(&v, pRow + off[dx], 4);
          out[dx] = 0xFF000000u | v;
        }
        for (int dx = xw; dx < x1; ++dx) {
          const std::uint8_t* q = pRow + off[dx];
          out[dx] = 0xFF000000u | (static_cast<std::uint32_t>(q[2]) << 16) |
                    (static_cast<std::uint32_t>(q[1]) << 8) | q[0];
        }
      });
}

void DrawRle(CSurface& surface, const SampleMap& map, const DibLayout& l,
             const std::uint8_t* pPixels, std::size_t nBytes, std::int64_t nRowsAvail,
             const std::vector<std::uint32_t>& lut) {
  const Rect& rc = map.rcVisible;
  const std::int64_t nWidth = l.nWidth;
  WalkRle(pPixels, nBytes, l.nBitCount, l.nHeight,
          [&](std::int64_t row, std::int64_t x, int count, auto pixelAt) {
            if (row >= nRowsAvail || x >= nWidth) return;
            const std::int64_t t = l.nHeight - 1 - row;
            const auto ry = std::equal_range(map.ys.begin(), map.ys.end(), t);
            if (ry.first == ry.second) return;
            const std::int64_t xEnd = std::min(x + count, nWidth);
            const auto cx0 = std::lower_bound(map.xs.begin(), map.xs.end(), x);
            const auto cx1 = std::lower_bound(cx0, map.xs.end(), xEnd);
            if (cx0 == cx1) return;
            const int dx0 = rc.left + static_cast<int>(cx0 - map.xs.begin());
            const int dx1 = rc.left + static_cast<int>(cx1 - map.xs.begin());
            for (auto it = ry.first; it != ry.second; ++it) {
              std::uint32_t* out = surface.Row(rc.top + static_cast<int>(it - map.ys.begin()));
              for (int dx = dx0; dx < dx1; ++dx) {
                out[dx] = lut[pixelAt(static_cast<int>(map.xs[dx - rc.left] - x))];
              }
            }
          });
}

}  // namespace

int DrawPackedDib(CDC* pDC, const Rect* pDest, const CPackedDib& dib, const Rect* pSrc,
                  const CPalette* /*pPalette*/) {
  if (pDC == nullptr || pDest == nullptr || pSrc == nullptr || dib.IsNull()) return 0;
  DibLayout l;
  if (!ParseDib(dib, &l)) return 0;
  if (!InRange(*pDest) || !InRange(*pSrc)) return 0;
  const Rect& dst = *pDest;
  const Rect& src = *pSrc;
  const std::int64_t nDstW = std::int64_t{dst.right} - dst.left;
  const std::int64_t nDstH = std::int64_t{dst.bottom} - dst.top;
  const std::int64_t nSrcW = std::int64_t{src.right} - src.left;
  const std::int64_t nSrcH = std::int64_t{src.bottom} - src.top;
  if (nDstW <= 0 || nDstH <= 0 || nSrcW <= 0 || nSrcH <= 0) return 0;
  if (l.nWidth == 0 || l.nHeight == 0) return 0;
  const bool bUnscaled = nDstW == nSrcW && nDstH == nSrcH;
  // The unscaled path hands over the picture's height cut to 16 bits as its
  // number of scan lines; the rows above that are not drawn.
  const std::int64_t nRowsAvail = bUnscaled ? (l.nHeight & 0xFFFF) : l.nHeight;
  const int nResult = static_cast<int>(bUnscaled ? nRowsAvail : nSrcH);
  if (nResult == 0) return 0;

  CSurface& surface = pDC->Surface();
  SampleMap map;
  map.rcVisible = pDC->GetClipBox().Intersect(surface.Bounds()).Intersect(dst);
  const Rect& rc = map.rcVisible;
  if (rc.IsEmpty()) return nResult;
  map.xs.resize(rc.Width());
  map.ys.resize(rc.Height());
  for (int dx = rc.left; dx < rc.right; ++dx) {
    const std::int64_t i = std::int64_t{dx} - dst.left;
    map.xs[dx - rc.left] = src.left + (bUnscaled ? i : Nearest(i, nSrcW, nDstW));
  }
  for (int dy = rc.top; dy < rc.bottom; ++dy) {
    const std::int64_t j = std::int64_t{dy} - dst.top;
    map.ys[dy - rc.top] =
        bUnscaled ? src.top + j : std::int64_t{l.nHeight} - src.bottom + Nearest(j, nSrcH, nDstH);
  }

  const std::uint8_t* pPixels = dib.Data() + l.nPixelsOffset;
  const std::size_t nPixelBytes = dib.Size() - l.nPixelsOffset;
  if (l.nCompression == BI_RLE8 || l.nCompression == BI_RLE4) {
    DrawRle(surface, map, l, pPixels, nPixelBytes, nRowsAvail, MakeColorLut(dib, l));
    return nResult;
  }
  switch (l.nBitCount) {
    case 1: {
      const auto lut = MakeColorLut(dib, l);
      DrawDirect(surface, map, l, pPixels, nRowsAvail,
                 [&lut](const std::uint8_t* p, std::int64_t x) {
                   return lut[(p[x >> 3] >> (7 - (x & 7))) & 1];
                 });
      break;
    }
    case 4: {
      const auto lut = MakeColorLut(dib, l);
      DrawDirect(surface, map, l, pPixels, nRowsAvail,
                 [&lut](const std::uint8_t* p, std::int64_t x) {
                   return lut[(x & 1) ? (p[x >> 1] & 0x0F) : (p[x >> 1] >> 4)];
                 });
      break;
    }
    case 8: {
      const auto lut = MakeColorLut(dib, l);
      DrawDirect(surface, map, l, pPixels, nRowsAvail,
                 [&lut](const std::uint8_t* p, std::int64_t x) { return lut[p[x]]; });
      break;
    }
    case 24:
      Draw24(surface, map, l, pPixels, nRowsAvail);
      break;
    case 16:
    case 32: {
      const MaskChannel r(l.masks[0]), g(l.masks[1]), b(l.masks[2]);
      if (l.nBitCount == 16) {
        DrawDirect(surface, map, l, pPixels, nRowsAvail,
                   [&](const std::uint8_t* p, std::int64_t x) {
                     const std::uint32_t v = p[2 * x] | (p[2 * x + 1] << 8);
                     return MakePixel(r.Get(v), g.Get(v), b.Get(v));
                   });
      } else {
        DrawDirect(
            surface, map, l, pPixels, nRowsAvail, [&](const std::uint8_t* p, std::int64_t x) {
              const std::uint8_t* q = p + 4 * x;
              const std::uint32_t v =
                  q[0] | (q[1] << 8) | (q[2] << 16) | (static_cast<std::uint32_t>(q[3]) << 24);
              return MakePixel(r.Get(v), g.Get(v), b.Get(v));
            });
      }
      break;
    }
    default:
      return 0;
  }
  return nResult;
}

// ---- files ----

struct CDiskFile::Impl {
  std::ifstream stream;
};

CDiskFile::CDiskFile() : m_pImpl(std::make_unique<Impl>()) {}
CDiskFile::~CDiskFile() = default;

bool CDiskFile::Open(const std::string& strPath) {
  Close();
  std::error_code ec;
  const std::filesystem::path path(std::u8string(strPath.begin(), strPath.end()));
  if (!std::filesystem::is_regular_file(path, ec) || ec) return false;
  m_pImpl->stream.open(path, std::ios::in | std::ios::binary);
  return m_pImpl->stream.is_open();
}

void CDiskFile::Close() {
  if (m_pImpl->stream.is_open()) m_pImpl->stream.close();
  m_pImpl->stream.clear();
}

bool CDiskFile::IsOpen() const { return m_pImpl->stream.is_open(); }

std::int64_t CDiskFile::GetLength() {
  std::ifstream& s = m_pImpl->stream;
  if (!s.is_open()) return -1;
  const std::streampos here = s.tellg();
  s.seekg(0, std::ios::end);
  const std::streampos end = s.tellg();
  s.seekg(here);
  if (here < 0 || end < 0 || !s) {
    s.clear();
    return -1;
  }
  return static_cast<std::int64_t>(end);
}

std::int64_t CDiskFile::Read(void* pBuffer, std::size_t nCount) {
  std::ifstream& s = m_pImpl->stream;
  if (!s.is_open() || s.bad()) return -1;
  s.read(static_cast<char*>(pBuffer), static_cast<std::streamsize>(nCount));
  if (s.bad()) return -1;
  const std::int64_t n = s.gcount();
  if (s.eof()) s.clear();  // a short read is not an error; the caller sees the count
  return n;
}

std::int64_t CMemFile::Read(void* pBuffer, std::size_t nCount) {
  const std::size_t n = std::min(nCount, m_bytes.size() - m_nPos);
  if (n != 0) std::copy_n(m_bytes.data() + m_nPos, n, static_cast<std::uint8_t*>(pBuffer));
  m_nPos += n;
  return static_cast<std::int64_t>(n);
}

CPackedDib ReadBmpFile(CFile& file) {
  const std::int64_t nLength = file.GetLength();
  if (nLength < 0) return {};
  std::uint8_t header[kFileHeaderSize];
  if (file.Read(header, kFileHeaderSize) != static_cast<std::int64_t>(kFileHeaderSize)) return {};
  if (header[0] != 'B' || header[1] != 'M') return {};
  if (nLength < static_cast<std::int64_t>(kFileHeaderSize) || nLength > kMaxBmpFileSize) return {};
  const std::size_t nRest = static_cast<std::size_t>(nLength) - kFileHeaderSize;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(nRest);
  } catch (const std::bad_alloc&) {
    return {};
  } catch (const std::length_error&) {
    return {};
  }
  if (file.Read(bytes.data(), nRest) != static_cast<std::int64_t>(nRest)) return {};
  return CPackedDib(std::move(bytes));
}

CPackedDib ReadBmpBytes(DibBytes bytes) {
  CMemFile file(bytes);
  return ReadBmpFile(file);
}

CPackedDib DibFromArgb(const std::uint32_t* pPixels, int nWidth, int nHeight, std::size_t nStride,
                       bool bAlpha) {
  if (pPixels == nullptr || nWidth <= 0 || nHeight <= 0 ||
      nStride < static_cast<std::size_t>(nWidth))
    return {};
  const std::size_t nRowBytes = (static_cast<std::size_t>(nWidth) * 3 + 3) & ~std::size_t{3};
  constexpr std::size_t kHeader = 40;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(kHeader + nRowBytes * static_cast<std::size_t>(nHeight));
  } catch (const std::bad_alloc&) {
    return {};
  } catch (const std::length_error&) {
    return {};
  }
  std::uint8_t* h = bytes.data();
  PutU32(h + 0, kHeader);
  PutU32(h + 4, static_cast<std::uint32_t>(nWidth));
  PutU32(h + 8, static_cast<std::uint32_t>(nHeight));  // positive: bottom row first
  PutU16(h + 12, 1);
  PutU16(h + 14, 24);
  PutU32(h + 20, static_cast<std::uint32_t>(nRowBytes * static_cast<std::size_t>(nHeight)));
  PutU32(h + 24, 3780);  // 96 dpi
  PutU32(h + 28, 3780);
  for (int y = 0; y < nHeight; ++y) {
    const std::uint32_t* in = pPixels + static_cast<std::size_t>(y) * nStride;
    std::uint8_t* out = h + kHeader + static_cast<std::size_t>(nHeight - 1 - y) * nRowBytes;
    for (int x = 0; x < nWidth; ++x) {
      const std::uint32_t c = in[x];
      int r = static_cast<int>((c >> 16) & 0xFF);
      int g = static_cast<int>((c >> 8) & 0xFF);
      int b = static_cast<int>(c & 0xFF);
      if (bAlpha) {
        const int a = static_cast<int>(c >> 24);
        r = (r * a + 255 * (255 - a) + 127) / 255;
        g = (g * a + 255 * (255 - a) + 127) / 255;
        b = (b * a + 255 * (255 - a) + 127) / 255;
      }
      out[3 * x] = static_cast<std::uint8_t>(b);
      out[3 * x + 1] = static_cast<std::uint8_t>(g);
      out[3 * x + 2] = static_cast<std::uint8_t>(r);
    }
  }
  return CPackedDib(std::move(bytes));
}

}  // namespace solvari
