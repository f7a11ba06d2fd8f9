// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/sutra_view.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/reading_state.h"
#include "core/sutra_readings.h"
#include "core/sutra_tables.h"
#include "render/count_figures.h"
#include "render/glyph_renderer.h"
#include "render/reading_glyphs.h"

namespace solvari {

namespace {

constexpr COLORREF kHighlight = RGB(0, 255, 0);
constexpr COLORREF kBody = RGB(255, 255, 255);
constexpr COLORREF kTileFallback = RGB(192, 192, 192);
constexpr int kPageTop = 10;
constexpr int kFrameWidth = 70;  // the glyph frame: the cell and its 3-pixel halo
constexpr int kFrameHeight = 46;

bool IsPhrase(int nPhrase) { return nPhrase >= 0 && nPhrase <= kLastPhrase; }

// A column bitmap's bits as GetBitmapBits gives them, ready for the glyph
// renderer (which consumes them); empty when the bitmap is not usable.
struct ColumnBits {
  std::vector<std::uint8_t> bits;
  int nWidthBytes = 0;
  int nCells = 0;
};

ColumnBits FetchColumn(const BitmapFinder& finder, int nPhrase, int nScale) {
  ColumnBits col;
  CBitmap bm;
  if (!bm.LoadBitmap(finder, BitmapIdAtScale(kColumnGlyphId[nPhrase], nScale)) ||
      !bm.IsMonochrome())
    return col;
  const BITMAP& info = bm.GetObject();
  // The renderer reads every cell as 40 rows of 8 bytes (80 of 16 at scale 2).
  if (info.bmWidthBytes != kCellBytesPerRow * nScale) return col;
  col.nWidthBytes = info.bmWidthBytes;
  col.nCells = info.bmHeight / (kCellHeight * nScale);
  col.bits.resize(static_cast<std::size_t>(info.bmHeight) * info.bmWidthBytes);
  bm.GetBitmapBits(col.bits.size(), col.bits.data());
  return col;
}

Rect Union(const Rect& a, const Rect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

}  // namespace

CSutraView::CSutraView(const ISutraViewHost& host, BitmapFinder finder)
    : m_host(host), m_finder(std::move(finder)) {}

void CSutraView::SetClientSize(int nWidth, int nHeight, int nScale) {
  m_nScale = NormalizeViewScale(nScale);
  if (nWidth != m_surface.Width() || nHeight != m_surface.Height()) {
    m_surface.Resize(nWidth, nHeight);
    // The stretch of the old size is of no more use: its memory goes now.
    m_background = CSurface();
    m_nBackgroundWidth = m_nBackgroundHeight = -1;
  }
}

int CSutraView::ColumnsPerPage() const { return m_surface.Width() / SlotWidth(); }

int CSutraView::SlotX(int nPhrase) const {
  const int n = ColumnsPerPage();
  return m_surface.Width() - SlotWidth() * (nPhrase % n) - SlotWidth();
}

int CSutraView::BitmapId(int nId) const { return BitmapIdAtScale(nId, m_nScale); }

void CSutraView::Changed(const Rect& rc) {
  const Rect r = rc.Intersect(GetClientRect());
  if (!r.IsEmpty() && m_onChanged) m_onChanged(r);
}

void CSutraView::OnPaint() {
  CDC dc(m_surface);
  const int nState = m_host.GetReadingState();
  if (nState == Starting || nState == Reading) {
    if (!DrawPictureBackground(&dc)) DrawTiledBackground(&dc);
    DrawPage(&dc);
    DrawCount(&dc);
  } else {
    DrawOverview(&dc);  // on white
  }
  Changed(GetClientRect());
}

void CSutraView::DrawOverview(CDC* pDC) {
  // The whole client area turns white (the background colour stays white),
  // and every character square of the strips is transferred onto it with
  // SRCAND. Both are made together, row by row, which gives the same pixels
  // as painting white first and then transferring strip after strip. Every
  // strip is loaded for this drawing and released when it returns.
  std::vector<CBitmap> strips(kLastPhrase + 1);
  std::vector<MonoTransfer> transfers;
  transfers.reserve(static_cast<std::size_t>(kLastPhrase + 1) * 8);
  const int nCell = kStripCell * m_nScale;
  const int nPitch = kOverviewPitch * m_nScale;
  int k = 0;
  int x = m_surface.Width() - nPitch;
  for (int c = 0; c < kOverviewColumnCount; ++c) {
    int y = 0;
    for (int j = 0; j < kOverviewColumnPhrases[c] && k <= kLastPhrase; ++j, ++k) {
      CBitmap& strip = strips[k];
      if (!strip.LoadBitmap(m_finder, BitmapId(kStripGlyphId[k])) || !strip.IsMonochrome())
        continue;
      const MonoBitmap mono = strip.AsMono();
      for (int i = 0; i < mono.nWidth / nCell; ++i) {
        transfers.push_back({x, y + nCell * i, nCell, mono.nHeight, mono, nCell * i, 0});
      }
      y += mono.nWidth + nCell;
    }
    x -= nPitch;
  }
  pDC->SetBkColor(RGB(255, 255, 255));
  pDC->FillThenAndRows(GetClientRect(), pDC->GetBkColor(), transfers);
}

// The same walk as DrawOverview, with each strip as long as its phrase's
// characters (27 pixels each, as the strips are drawn).
Rect CSutraView::OverviewPhraseRect(int nClientWidth, int nPhrase, int nScale) {
  if (!IsPhrase(nPhrase)) return {};
  nScale = NormalizeViewScale(nScale);
  const int nCell = kStripCell * nScale;
  const int nPitch = kOverviewPitch * nScale;
  int k = 0;
  for (int c = 0; c < kOverviewColumnCount; ++c) {
    int y = 0;
    for (int j = 0; j < kOverviewColumnPhrases[c] && k <= kLastPhrase; ++j, ++k) {
      const int nHeight = nCell * kPhraseCharCount[k];
      if (k == nPhrase) {
        const int x = nClientWidth - nPitch - nPitch * c;
        return Rect{x, y, x + nCell, y + nHeight}.Intersect(
            Rect{0, 0, std::max(nClientWidth, 0), 0x7FFFFFFF});
      }
      y += nHeight + nCell;
    }
  }
  return {};
}

int CSutraView::OverviewPhraseAt(int nClientWidth, int x, int y, int nScale) {
  if (x < 0 || y < 0 || x >= nClientWidth) return -1;
  nScale = NormalizeViewScale(nScale);
  const int nCell = kStripCell * nScale;
  const int nPitch = kOverviewPitch * nScale;
  // Column c spans x = w - 29 - 29c to w - 29 - 29c + 26 (all doubled at scale 2).
  const int nFromRight = nClientWidth - 1 - x;  // 0 at the right edge
  const int c = nFromRight / nPitch;
  if (c >= kOverviewColumnCount || nFromRight % nPitch < nPitch - nCell) return -1;
  int k = 0;
  for (int i = 0; i < c; ++i) k += kOverviewColumnPhrases[i];
  int top = 0;
  for (int j = 0; j < kOverviewColumnPhrases[c] && k <= kLastPhrase; ++j, ++k) {
    const int nHeight = nCell * kPhraseCharCount[k];
    if (y < top) return -1;  // in the gap above this phrase
    if (y < top + nHeight) return k;
    top += nHeight + nCell;
  }
  return -1;
}

void CSutraView::DrawTiledBackground(CDC* pDC) {
  const int w = m_surface.Width();
  const int h = m_surface.Height();
  if (w <= 0 || h <= 0) return;
  CBitmap tile;
  if (!tile.LoadBitmap(m_finder, BitmapId(kTileId)) || tile.IsMonochrome()) {
    pDC->FillSolidRect(GetClientRect(), kTileFallback);
    return;
  }
  // The tiles lie on a grid from the client origin, so that partial repaints
  // join seamlessly; the last row and column of tiles are cut at the edge.
  pDC->TileBlt(GetClientRect(), tile.Colour());
}

namespace {

// The part of a W x H picture that covers a w x h client area: the dimension
// in which the picture is relatively too large is cropped on both sides.
Rect PictureCrop(int W, int H, int w, int h) {
  const double g = static_cast<double>(h) / static_cast<double>(w);
  if (static_cast<double>(H) / static_cast<double>(W) < g) {
    const int wp = static_cast<int>(static_cast<double>(H) / g);
    const int left = (W - wp) / 2;
    return {left, 0, left + wp, H};
  }
  const int hp = static_cast<int>(static_cast<double>(W) * g);
  const int top = (H - hp) / 2;
  return {0, top, W, top + hp};
}

// Whether drawing the crop sets every pixel of the client area. A
// run-length picture may skip pixels (and leave what was there before), and
// an unscaled picture taller than 65535 rows is drawn from its first 65536
// rows only; those are drawn at every paint, over what is there then.
bool CoversEveryPixel(const CPackedDib& picture, const Rect& src, int w, int h) {
  const std::uint32_t nCompression = GetDibCompression(picture);
  if (nCompression == BI_RLE8 || nCompression == BI_RLE4) return false;
  const bool bUnscaled = src.Width() == w && src.Height() == h;
  return !bUnscaled || GetDibHeight(picture) <= 0xFFFF;
}

}  // namespace

void CSutraView::PreparePictureBackground() { UpdatePictureBackground(); }

CSutraView::PictureFill CSutraView::UpdatePictureBackground() {
  const CPackedDib& picture = m_host.GetPicture();
  const int w = m_surface.Width();
  const int h = m_surface.Height();
  if (picture.IsNull()) {
    m_background = CSurface();
    m_nBackgroundSerial = 0;
    return m_backgroundFill = PictureFill::None;
  }
  if (picture.Serial() == m_nBackgroundSerial && w == m_nBackgroundWidth &&
      h == m_nBackgroundHeight)
    return m_backgroundFill;

  // A new picture or a new size: the old stretch goes before the new one is
  // made, so that no more than one is ever held.
  m_background = CSurface();
  m_nBackgroundSerial = picture.Serial();
  m_nBackgroundWidth = w;
  m_nBackgroundHeight = h;
  const int W = GetDibWidth(picture);
  const int H = GetDibHeight(picture);
  if (W <= 0 || H <= 0) return m_backgroundFill = PictureFill::None;  // the tile shows
  if (w <= 0 || h <= 0) return m_backgroundFill = PictureFill::Nothing;
  const Rect src = PictureCrop(W, H, w, h);
  if (src.IsEmpty()) return m_backgroundFill = PictureFill::None;  // a sliver crops to nothing
  if (!CoversEveryPixel(picture, src, w, h)) return m_backgroundFill = PictureFill::Direct;

  // Every destination pixel takes its source pixel from its own position
  // alone, so a stretch over the whole area, copied through a clip, gives
  // the pixels that the stretch drawn through that clip gives.
  m_background.Resize(w, h);
  CDC dc(m_background);
  const Rect dest{0, 0, w, h};
  if (DrawPackedDib(&dc, &dest, picture, &src, m_host.GetPalette()) == 0) {
    m_background = CSurface();
    return m_backgroundFill = PictureFill::None;
  }
  return m_backgroundFill = PictureFill::Copied;
}

bool CSutraView::DrawPictureBackground(CDC* pDC) {
  const int w = m_surface.Width();
  const int h = m_surface.Height();
  switch (UpdatePictureBackground()) {
    case PictureFill::None:
      return false;
    case PictureFill::Nothing:
      return true;  // nothing to cover
    case PictureFill::Copied:
      pDC->BitBlt(0, 0, w, h, m_background, 0, 0, SRCCOPY);
      return true;
    case PictureFill::Direct:
      break;
  }
  const CPackedDib& picture = m_host.GetPicture();
  const Rect src = PictureCrop(GetDibWidth(picture), GetDibHeight(picture), w, h);
  const Rect dest{0, 0, w, h};
  return DrawPackedDib(pDC, &dest, picture, &src, m_host.GetPalette()) != 0;
}

Rect CSutraView::DrawPhraseColumn(CDC* pDC, int nPhrase) {
  if (ColumnsPerPage() <= 0 || !IsPhrase(nPhrase)) return {};
  const int s = m_nScale;
  const int x = SlotX(nPhrase);
  ColumnBits col = FetchColumn(m_finder, nPhrase, s);
  if (col.nCells == 0 || x > 0xFFFF) return {};
  const int nCellBytes = kCellHeight * s * col.nWidthBytes;
  for (int i = 0; i < col.nCells; ++i) {
    DrawOutlinedGlyphAtScale(pDC, s, nCellBytes,
                             col.bits.data() + static_cast<std::size_t>(nCellBytes) * i, x,
                             (kPageTop + kCellHeight * i) * s, kHighlight, kBody, 0, 0);
  }
  const Rect rc{x, kPageTop * s, x + kFrameWidth * s,
                (kPageTop + kCellHeight * (col.nCells - 1) + kFrameHeight) * s};
  if (m_host.GetReadingAid() == RubyNone) return rc;
  return Union(rc, DrawPhraseReadings(pDC, nPhrase, -1, false));
}

Rect CSutraView::DrawPhraseReadings(CDC* pDC, int nPhrase, int nChar, bool bHighlight) {
  const int nId = GetReadingGlyphId(m_host.GetReadingAid(), nPhrase);
  if (nId == 0 || ColumnsPerPage() <= 0) return {};
  CBitmap bm;
  if (!bm.LoadBitmap(m_finder, BitmapId(nId)) || !bm.IsMonochrome()) return {};
  const int s = m_nScale;
  const MonoBitmap mono = bm.AsMono();
  const int nBand = kReadingBandHeight * s;
  const int nBands = std::min(mono.nHeight / nBand, kPhraseCharCount[nPhrase]);
  const int x = SlotX(nPhrase) + kReadingOffsetX * s;
  Rect rc;
  for (int i = 0; i < nBands; ++i) {
    if (nChar >= 0 && i != nChar) continue;
    // The band lies level with the character's 64 x 40 cell.
    const int y = (kPageTop + (kFrameHeight - kCellHeight) / 2 + kCellHeight * i) * s;
    rc = Union(rc, DrawReadingBand(pDC, mono, nBand * i, nBand, x, y,
                                   bHighlight ? kHighlight : kBody, !bHighlight, s));
  }
  return rc;
}

void CSutraView::DrawPage(CDC* pDC) {
  const int n = ColumnsPerPage();
  const int p = m_host.GetCurrentPhrase();
  if (n <= 0 || !IsPhrase(p)) return;
  // The page runs to the end of the current phrase's page, and at least as far
  // as the rolling page of a recitation has already drawn, so that a repaint
  // during a reading keeps every column shown.
  const int nPageEnd = p + n - (p % n);
  const int nLast = std::min(std::max(nPageEnd - 1, p + n - 4), kLastPhrase);
  for (int k = p; k <= nLast; ++k) DrawPhraseColumn(pDC, k);
}

void CSutraView::EraseColumn(int nPhrase) {
  if (ColumnsPerPage() <= 0 || !IsPhrase(nPhrase)) return;
  const int x = SlotX(nPhrase);
  const Rect slot{x, 0, x + SlotWidth(), m_surface.Height()};
  CDC dc(m_surface);
  dc.IntersectClipRect(slot);
  if (!DrawPictureBackground(&dc)) DrawTiledBackground(&dc);
  DrawCount(&dc);  // where the count reaches into the slot
  Changed(slot);
}

Rect CSutraView::DrawCount(CDC* pDC) {
  const std::string text = m_host.GetCountText();
  if (text.empty()) return {};
  const int s = m_nScale;
  const FigureBitmap figures = MakeFigureBitmap(text, s);
  if (figures.bits.empty()) return {};
  // Bottom left, below the longest column (10 cells from kPageTop) of a page
  // at least as tall as the window's client area.
  const int x = kCountMargin * s;
  const int y = m_surface.Height() - (kFigureHeight + kCountMargin) * s;
  return DrawReadingBand(pDC, figures.mono, 0, figures.mono.nHeight, x, y, kBody, true, s);
}

void CSutraView::DrawColumn(int nPhrase) {
  CDC dc(m_surface);
  Changed(DrawPhraseColumn(&dc, nPhrase));
}

void CSutraView::HighlightChar(int nPhrase, int nChar) {
  if (ColumnsPerPage() <= 0 || !IsPhrase(nPhrase) || nChar < 0) return;
  const int s = m_nScale;
  const int x = SlotX(nPhrase);
  const int y = (kPageTop + kCellHeight * nChar) * s;
  ColumnBits col = FetchColumn(m_finder, nPhrase, s);
  if (nChar >= col.nCells || x > 0xFFFF) return;
  const int nCellBytes = kCellHeight * s * col.nWidthBytes;
  CDC dc(m_surface);
  DrawOutlinedGlyphAtScale(&dc, s, nCellBytes,
                           col.bits.data() + static_cast<std::size_t>(nCellBytes) * nChar, x, y,
                           kHighlight, kBody, 100, 1);
  Rect rc{x, y, x + kFrameWidth * s, y + kFrameHeight * s};
  if (m_host.GetReadingAid() != RubyNone)
    rc = Union(rc, DrawPhraseReadings(&dc, nPhrase, nChar, true));
  Changed(rc);
}

}  // namespace solvari
