// SPDX-License-Identifier: GPL-3.0-or-later
// FreeType access for the bitmap generator: one face, glyphs rendered as
// coverage maps (optionally emboldened) and lines of text laid out by advance.
#pragma once

#include <memory>
#include <string>

#include "image.h"

namespace solvari::tools {

// A rendered glyph: coverage plus the position of its top-left pixel
// relative to the pen position on the baseline (y grows downwards).
struct GlyphImage {
  Gray coverage;
  int left = 0;
  int top = 0;  // offset from the baseline to the first row, negative above it
  float advance = 0;
};

class Font {
 public:
  Font();
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Opens a font file; false (with a message on stderr) when it cannot.
  bool Open(const std::string& path);
  bool HasGlyph(char32_t cp) const;
  // Renders one character at the given pixel size. embolden* widen the
  // outline by that many pixels in total along each axis.
  GlyphImage Render(char32_t cp, float pixelSize, float emboldenX = 0, float emboldenY = 0) const;

  float MeasureText(const std::u32string& text, float pixelSize, float tracking = 0) const;
  // Draws a line of text with its pen starting at (x, baseline).
  void DrawText(Canvas& c, const std::u32string& text, float pixelSize, float x, float baseline,
                Color color, float tracking = 0, float embolden = 0) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

std::u32string FromUtf8(const std::string& s);

}  // namespace solvari::tools
