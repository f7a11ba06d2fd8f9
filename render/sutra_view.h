// SPDX-License-Identifier: GPL-3.0-or-later
// The sutra view: the whole text on white (overview), or a page of large
// outlined glyph columns over the background picture or the tile (reading
// page). It owns the pixels of its window and keeps no state of its own: each
// paint reads the frame's state, phrase, picture and palette.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "render/bitmap.h"
#include "render/dib.h"
#include "render/raster.h"
#include "render/view_scale.h"

namespace solvari {

// What the view reads from the main frame whenever it paints.
class ISutraViewHost {
 public:
  virtual ~ISutraViewHost() = default;
  virtual int GetReadingState() const = 0;           // m_nState
  virtual int GetCurrentPhrase() const = 0;          // m_nPhrase
  virtual const CPackedDib& GetPicture() const = 0;  // m_hPicture (may be null)
  virtual const CPalette* GetPalette() const = 0;    // m_pPalette (may be null)
  // The reading beside each character of the page: a ReadingAid
  // (core/sutra_readings.h); none unless the host says otherwise.
  virtual int GetReadingAid() const { return 0; }
  // The count of recitations shown in a corner of the page ("2 / 7"), or
  // "" for none (the default).
  virtual std::string GetCountText() const { return {}; }
};

class CSutraView {
 public:
  static constexpr int kSlotWidth = 114;
  static constexpr int kOverviewPitch = 29;
  static constexpr int kTileId = 238;
  // The reading of a character stands in the free strip of its slot, right
  // of the character's 70-pixel frame, level with the character's cell.
  static constexpr int kReadingOffsetX = 70;
  // The count of recitations ("2 / 7", ISutraViewHost::GetCountText) stands
  // in the page's bottom left corner, this far from both edges, below the
  // columns.
  static constexpr int kCountMargin = 4;

  // finder gives the bytes of the glyph bitmaps and the tile.
  CSutraView(const ISutraViewHost& host, BitmapFinder finder);

  // The window's client size changed, in pixels of the surface, and the scale
  // it paints at (render/view_scale.h): at scale 2 every size and position of
  // the geometry below is doubled and the bitmaps of scale 2 are drawn. The
  // pixels are undefined (black) until the next OnPaint.
  void SetClientSize(int nWidth, int nHeight, int nScale = 1);
  int Scale() const { return m_nScale; }
  Rect GetClientRect() const { return m_surface.Bounds(); }
  // The window's pixels (0xFFRRGGBB, rows top first).
  const CSurface& Surface() const { return m_surface; }

  // Crops and stretches the picture over the whole client area, unless that
  // is already done for this picture and this size. The reading page's
  // background and EraseColumn copy from the result, so a change of picture
  // or of size costs one stretch and every paint after it one copy. The
  // paints do this themselves when it is due; calling it ahead (after a
  // resize, a new picture) takes the stretch out of the next paint.
  void PreparePictureBackground();
  // The stretched picture as the paints copy it: empty while there is none
  // (no picture, one that draws nothing, or one drawn at every paint).
  const CSurface& PictureBackground() const { return m_background; }

  // Called with every rectangle that a drawing operation changed, so that the
  // window can show it.
  void SetChangedCallback(std::function<void(const Rect&)> fn) { m_onChanged = std::move(fn); }

  // The full paint: in Starting and Reading the background and the page from
  // the current phrase; otherwise the overview on white.
  void OnPaint();
  // Client width / 114 (/ 228 at scale 2).
  int ColumnsPerPage() const;
  // Repaints the background over the slot of the phrase's column.
  void EraseColumn(int nPhrase);
  // Draws the phrase's column into its slot over whatever is there.
  void DrawColumn(int nPhrase);
  // Turns the ink of one character green; its black halo stays.
  void HighlightChar(int nPhrase, int nChar);

  // The overview's layout, for pointing at a phrase: the rectangle that the
  // characters of nPhrase cover in a client area nClientWidth wide (empty for
  // no phrase), and the phrase whose characters cover client point (x, y), or
  // -1 (the gaps between phrases and columns, and everything outside); all
  // in pixels of the given scale.
  static Rect OverviewPhraseRect(int nClientWidth, int nPhrase, int nScale = 1);
  static int OverviewPhraseAt(int nClientWidth, int x, int y, int nScale = 1);
  int OverviewPhraseAt(int x, int y) const {
    return OverviewPhraseAt(m_surface.Width(), x, y, m_nScale);
  }

 private:
  // The white client area with the whole text on it.
  void DrawOverview(CDC* pDC);
  void DrawTiledBackground(CDC* pDC);
  bool DrawPictureBackground(CDC* pDC);
  void DrawPage(CDC* pDC);
  // Draws the whole column of one phrase at slot x; returns the rectangle
  // its frames cover (empty when nothing was drawn).
  Rect DrawPhraseColumn(CDC* pDC, int nPhrase);
  // Draws the readings of a phrase's characters beside its column (all of
  // them outlined, or only nChar's ink lit); returns the rectangle covered.
  Rect DrawPhraseReadings(CDC* pDC, int nPhrase, int nChar, bool bHighlight);
  // The count in its corner over whatever is there; the rectangle covered.
  Rect DrawCount(CDC* pDC);
  int SlotX(int nPhrase) const;
  int SlotWidth() const { return kSlotWidth * m_nScale; }
  int BitmapId(int nId) const;
  void Changed(const Rect& rc);

  // What the picture background is for the picture and size of the moment.
  enum class PictureFill {
    None,     // no picture to draw: the tile shows
    Copied,   // m_background holds it
    Direct,   // drawn at every paint: its drawing may leave pixels unset
    Nothing,  // the client area is empty
  };
  PictureFill UpdatePictureBackground();

  const ISutraViewHost& m_host;
  BitmapFinder m_finder;
  CSurface m_surface;
  int m_nScale = 1;
  // The picture stretched over a client area of the surface's size, and the
  // picture (its serial) and size it was made for; one surface at most.
  CSurface m_background;
  PictureFill m_backgroundFill = PictureFill::None;
  std::uint64_t m_nBackgroundSerial = 0;
  int m_nBackgroundWidth = -1;
  int m_nBackgroundHeight = -1;
  std::function<void(const Rect&)> m_onChanged;
};

}  // namespace solvari
