// SPDX-License-Identifier: GPL-3.0-or-later
// A view host whose state, phrase and picture are plain fields: for drawing
// the view outside the program's frame (pictures of a page, benchmarks, tests).
#pragma once

#include <string>

#include "core/reading_state.h"
#include "render/picture_holder.h"
#include "render/sutra_view.h"

namespace solvari {

struct CFixedViewHost : ISutraViewHost {
  int nState = Reading;
  int nPhrase = 0;
  int nReadingAid = 0;   // a ReadingAid
  std::string strCount;  // the count in the page's corner ("2 / 7"), or none
  CPictureHolder picture;

  int GetReadingState() const override { return nState; }
  int GetCurrentPhrase() const override { return nPhrase; }
  const CPackedDib& GetPicture() const override { return picture.m_hPicture; }
  const CPalette* GetPalette() const override { return picture.m_pPalette.get(); }
  int GetReadingAid() const override { return nReadingAid; }
  std::string GetCountText() const override { return strCount; }
};

}  // namespace solvari
