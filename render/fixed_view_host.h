// SPDX-License-Identifier: GPL-3.0-or-later
// A view host whose state, phrase and picture are plain fields: for drawing
// the view outside the program's frame (pictures of a page, benchmarks, tests).
#pragma once

#include "core/reading_state.h"
#include "render/picture_holder.h"
#include "render/sutra_view.h"

namespace solvari {

struct CFixedViewHost : ISutraViewHost {
  int nState = Reading;
  int nPhrase = 0;
  int nReadingAid = 0;  // a ReadingAid
  CPictureHolder picture;

  int GetReadingState() const override { return nState; }
  int GetCurrentPhrase() const override { return nPhrase; }
  const CPackedDib& GetPicture() const override { return picture.m_hPicture; }
  const CPalette* GetPalette() const override { return picture.m_pPalette.get(); }
  int GetReadingAid() const override { return nReadingAid; }
};

}  // namespace solvari
