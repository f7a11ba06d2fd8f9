// SPDX-License-Identifier: GPL-3.0-or-later
#include "font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>
#include <cstdio>

namespace solvari::tools {

struct Font::Impl {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
};

Font::Font() : m_impl(std::make_unique<Impl>()) { FT_Init_FreeType(&m_impl->lib); }

Font::~Font() {
  if (m_impl->face) FT_Done_Face(m_impl->face);
  if (m_impl->lib) FT_Done_FreeType(m_impl->lib);
}

bool Font::Open(const std::string& path) {
  if (!m_impl->lib || FT_New_Face(m_impl->lib, path.c_str(), 0, &m_impl->face) != 0) {
    std::fprintf(stderr, "cannot open font %s\n", path.c_str());
    m_impl->face = nullptr;
    return false;
  }
  return true;
}

bool Font::HasGlyph(char32_t cp) const { return FT_Get_Char_Index(m_impl->face, cp) != 0; }

GlyphImage Font::Render(char32_t cp, float pixelSize, float emboldenX, float emboldenY) const {
  GlyphImage out;
  FT_Face face = m_impl->face;
  FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(pixelSize * 64)), 72, 72);
  if (FT_Load_Char(face, cp, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return out;
  FT_GlyphSlot slot = face->glyph;
  out.advance = static_cast<float>(slot->advance.x) / 64.0f;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return out;
  if (emboldenX > 0 || emboldenY > 0) {
    FT_Outline_EmboldenXY(&slot->outline, std::lround(emboldenX * 64), std::lround(emboldenY * 64));
    // Keep the widened outline centred on the original one.
    FT_Outline_Translate(&slot->outline, -std::lround(emboldenX * 32),
                         -std::lround(emboldenY * 32));
  }
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return out;
  const FT_Bitmap& bm = slot->bitmap;
  out.coverage.width = static_cast<int>(bm.width);
  out.coverage.height = static_cast<int>(bm.rows);
  out.coverage.px.resize(static_cast<size_t>(bm.width) * bm.rows);
  for (unsigned y = 0; y < bm.rows; ++y)
    for (unsigned x = 0; x < bm.width; ++x)
      out.coverage.px[y * bm.width + x] = bm.buffer[static_cast<int>(y) * bm.pitch + x];
  out.left = slot->bitmap_left;
  out.top = -slot->bitmap_top;
  return out;
}

float Font::MeasureText(const std::u32string& text, float pixelSize, float tracking) const {
  float w = 0;
  for (char32_t cp : text) w += Render(cp, pixelSize).advance + tracking;
  return text.empty() ? 0 : w - tracking;
}

void Font::DrawText(Canvas& c, const std::u32string& text, float pixelSize, float x, float baseline,
                    Color color, float tracking, float embolden) const {
  for (char32_t cp : text) {
    const GlyphImage g = Render(cp, pixelSize, embolden, embolden);
    c.Stamp(g.coverage, static_cast<int>(std::lround(x)) + g.left,
            static_cast<int>(std::lround(baseline)) + g.top, color);
    x += g.advance + tracking;
  }
}

std::u32string FromUtf8(const std::string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (int k = 1; k < n && i + k < s.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(cp);
    i += n;
  }
  return out;
}

}  // namespace solvari::tools
