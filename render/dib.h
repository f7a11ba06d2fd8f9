// SPDX-License-Identifier: GPL-3.0-or-later
// Packed device-independent bitmaps: a .bmp picture without its 14-byte file
// header (bitmap header, colour table, pixel rows) held in one owned block.
// Reading from a file, questions about the header, palettes made from the
// colour table, and unscaled or nearest-pixel stretched drawing.
//
// Every function here reads only inside the block, whatever its header claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "render/raster.h"

namespace solvari {

using DibBytes = std::span<const std::uint8_t>;

// The block of one packed DIB, or null. Copying copies the bytes.
//
// Every block made from bytes gets a serial number of its own, kept by its
// copies (which hold the same bytes) and by the block it is moved into; a null
// block has serial 0. Whoever keeps something drawn from a picture tells by
// the serial whether the picture is still the one it was drawn from: the
// bytes of a block never change, and two blocks that live at one time never
// share a serial unless one is a copy of the other.
class CPackedDib {
 public:
  CPackedDib() = default;
  explicit CPackedDib(std::vector<std::uint8_t> bytes)
      : m_bytes(std::move(bytes)), m_bNull(false), m_nSerial(NextSerial()) {}
  CPackedDib(const std::uint8_t* pData, std::size_t nSize);
  CPackedDib(const CPackedDib&) = default;
  CPackedDib& operator=(const CPackedDib&) = default;
  // The block moved from is left null.
  CPackedDib(CPackedDib&& other) noexcept
      : m_bytes(std::move(other.m_bytes)), m_bNull(other.m_bNull), m_nSerial(other.m_nSerial) {
    other.Free();
  }
  CPackedDib& operator=(CPackedDib&& other) noexcept {
    if (this != &other) {
      m_bytes = std::move(other.m_bytes);
      m_bNull = other.m_bNull;
      m_nSerial = other.m_nSerial;
      other.Free();
    }
    return *this;
  }

  bool IsNull() const { return m_bNull; }
  explicit operator bool() const { return !m_bNull; }
  void Free() {
    m_bytes = {};
    m_bNull = true;
    m_nSerial = 0;
  }
  std::uint64_t Serial() const { return m_nSerial; }

  const std::uint8_t* Data() const { return m_bytes.data(); }
  std::size_t Size() const { return m_bytes.size(); }
  DibBytes Bytes() const { return {m_bytes.data(), m_bytes.size()}; }
  operator DibBytes() const { return Bytes(); }

 private:
  static std::uint64_t NextSerial();

  std::vector<std::uint8_t> m_bytes;
  bool m_bNull = true;
  std::uint64_t m_nSerial = 0;
};

// Compression values of the information header.
enum DibCompression : std::uint32_t {
  BI_RGB = 0,
  BI_RLE8 = 1,
  BI_RLE4 = 2,
  BI_BITFIELDS = 3,
};

// Header questions. The header size at offset 0 decides the form: 40, 52, 56,
// 108 and 124 are information headers (they share the 40-byte layout), any
// other size is read as the 12-byte core header. A field that does not lie
// inside the block reads as 0.
std::uint32_t GetDibHeaderSize(DibBytes dib);
bool IsDibInfoHeader(DibBytes dib);
int GetDibWidth(DibBytes dib);
int GetDibHeight(DibBytes dib);
int GetDibBitCount(DibBytes dib);
std::uint32_t GetDibCompression(DibBytes dib);  // BI_RGB for the core form
std::uint16_t GetDibColorCount(DibBytes dib);
int GetDibColorTableSize(DibBytes dib);
// Offset of the pixel rows: header size + colour table size modulo 65536.
std::uint64_t GetDibPixelsOffset(DibBytes dib);
// First byte of the pixel rows, or null when that lies past the end of the block.
const std::uint8_t* GetDibPixels(DibBytes dib);

// True when the picture can be drawn: a known header whose fields, colour
// table, colour masks and pixel rows all lie inside the block, a bit depth and
// compression the drawing knows, and width and height not negative. A picture
// of width or height 0 is drawable (it draws nothing).
bool IsDibDrawable(DibBytes dib);

struct PaletteEntry {
  std::uint8_t peRed = 0;
  std::uint8_t peGreen = 0;
  std::uint8_t peBlue = 0;
  std::uint8_t peFlags = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

// A logical palette held as data. Drawing is true colour and never uses it.
class CPalette {
 public:
  // Attaches the entries; fails when the palette already has some or when
  // there are none.
  bool CreatePalette(std::vector<PaletteEntry> entries);
  bool IsCreated() const { return !m_entries.empty(); }
  int GetEntryCount() const { return static_cast<int>(m_entries.size()); }
  const std::vector<PaletteEntry>& Entries() const { return m_entries; }

 private:
  std::vector<PaletteEntry> m_entries;
};

// Creates a palette from the colour table (4-byte entries after an
// information header, 3-byte entries after a core header) and attaches it to
// pPalette. FALSE for a null block, a picture without a colour table, a table
// that does not fit in the block, or when the palette takes no entries.
bool MakeDibPalette(const CPackedDib& dib, CPalette* pPalette);

// Draws the source rectangle of the picture (in picture pixels, rows counted
// from the top) into the destination rectangle of pDC, through its clip
// rectangle. Same size: unscaled, showing rows src.top to src.bottom - 1.
// Otherwise stretched nearest-pixel; the source y counts from the picture's
// bottom row, so rows H - src.bottom to H - src.top - 1 are used, upright.
// Returns the number of scan lines drawn (non-zero) or 0 when nothing could
// be drawn: null block, a picture that is not drawable, empty rectangles.
// The palette is accepted and not used.
int DrawPackedDib(CDC* pDC, const Rect* pDest, const CPackedDib& dib, const Rect* pSrc,
                  const CPalette* pPalette);

// A file open for reading. Read errors never throw: Read reports them.
class CFile {
 public:
  virtual ~CFile() = default;
  // Length in bytes, or -1 when it cannot be found.
  virtual std::int64_t GetLength() = 0;
  // Reads up to nCount bytes; returns how many arrived, or -1 on a read error.
  virtual std::int64_t Read(void* pBuffer, std::size_t nCount) = 0;
};

// A file on disk (buffered standard streams). Closed by Close or the destructor.
class CDiskFile : public CFile {
 public:
  CDiskFile();
  ~CDiskFile() override;
  CDiskFile(const CDiskFile&) = delete;
  CDiskFile& operator=(const CDiskFile&) = delete;

  // Opens an existing regular file for reading; false when it does not open.
  bool Open(const std::string& strPath);
  void Close();
  bool IsOpen() const;
  std::int64_t GetLength() override;
  std::int64_t Read(void* pBuffer, std::size_t nCount) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

// A file made of bytes in memory (tests, resources).
class CMemFile : public CFile {
 public:
  explicit CMemFile(DibBytes bytes) : m_bytes(bytes) {}
  std::int64_t GetLength() override { return static_cast<std::int64_t>(m_bytes.size()); }
  std::int64_t Read(void* pBuffer, std::size_t nCount) override;

 private:
  DibBytes m_bytes;
  std::size_t m_nPos = 0;
};

// Reads an open .bmp file into a new block holding everything after the
// 14-byte file header. Null when the file header does not arrive whole, does
// not start with "BM", the rest of the file does not arrive, a read fails or
// memory runs out.
CPackedDib ReadBmpFile(CFile& file);
// The same from bytes in memory.
CPackedDib ReadBmpBytes(DibBytes bytes);

// A decoded picture (rows top first, nStride pixels apart, each 0xAARRGGBB)
// as a 24-bit packed DIB, bottom row first. With bAlpha each pixel is laid
// over white by its alpha; without it the alpha byte is ignored. Null when
// the size is not positive or memory runs out.
CPackedDib DibFromArgb(const std::uint32_t* pPixels, int nWidth, int nHeight, std::size_t nStride,
                       bool bAlpha);

}  // namespace solvari
