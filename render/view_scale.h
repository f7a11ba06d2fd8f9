// SPDX-License-Identifier: GPL-3.0-or-later
// The view's scale: how many screen pixels one pixel of its geometry takes.
// On a screen of twice the usual density the view paints at scale 2: every
// size and position of its geometry doubled, from glyph bitmaps made at that
// size. Other scales are not drawn; a fractional device pixel ratio paints at
// the nearer of 1 and 2 and leaves the rest to the window system.
#pragma once

namespace solvari {

inline constexpr int kMaxViewScale = 2;
// The bitmaps for scale 2 (glyph columns and strips, readings, the tile) have
// the identifiers of their scale-1 twins plus this.
inline constexpr int kScale2BitmapOffset = 1000;

// 1 below a ratio of 1.5 (and for anything that is not a number), 2 from it.
constexpr int ViewScaleForRatio(double fRatio) { return fRatio >= 1.5 ? 2 : 1; }
// 1 or 2; anything else is taken as 1.
constexpr int NormalizeViewScale(int nScale) { return nScale == 2 ? 2 : 1; }
// The identifier of bitmap nId as drawn at nScale.
constexpr int BitmapIdAtScale(int nId, int nScale) {
  return NormalizeViewScale(nScale) == 2 ? nId + kScale2BitmapOffset : nId;
}

}  // namespace solvari
