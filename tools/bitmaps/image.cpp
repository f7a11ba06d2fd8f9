// SPDX-License-Identifier: GPL-3.0-or-later
#include "image.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace solvari::tools {

Color Mix(Color a, Color b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Canvas::Canvas(int nWidth, int nHeight, Color fill)
    : m_nWidth(nWidth), m_nHeight(nHeight), m_px(static_cast<size_t>(nWidth) * nHeight, fill) {}

void Canvas::EnableAlpha(float a0) { m_alpha.assign(m_px.size(), a0); }

void Canvas::Blend(int x, int y, Color c, float a) {
  if (x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight || a <= 0.0f) return;
  a = std::min(a, 1.0f);
  const size_t i = static_cast<size_t>(y) * m_nWidth + x;
  if (m_alpha.empty()) {
    m_px[i] = Mix(m_px[i], c, a);
    return;
  }
  // Straight colour over straight colour with alpha.
  const float a0 = m_alpha[i];
  const float an = a + a0 * (1.0f - a);
  if (an <= 0.0f) return;
  const Color o = m_px[i];
  const float k0 = a0 * (1.0f - a) / an, k1 = a / an;
  m_px[i] = {o.r * k0 + c.r * k1, o.g * k0 + c.g * k1, o.b * k0 + c.b * k1};
  m_alpha[i] = an;
}

void Canvas::Stamp(const Gray& g, int x, int y, Color c, float opacity) {
  for (int j = 0; j < g.height; ++j)
    for (int i = 0; i < g.width; ++i) {
      const int v = g.px[static_cast<size_t>(j) * g.width + i];
      if (v) Blend(x + i, y + j, c, v / 255.0f * opacity);
    }
}

namespace {

std::uint8_t ToByte(float v) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(v * 255.0f), 0L, 255L));
}

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// File header, 40-byte information header and colour table.
std::vector<std::uint8_t> Headers(int w, int h, int bpp, const std::vector<std::uint32_t>& pal,
                                  std::uint32_t imageSize) {
  const std::uint32_t offBits = 14 + 40 + 4 * static_cast<std::uint32_t>(pal.size());
  std::vector<std::uint8_t> b;
  b.push_back('B');
  b.push_back('M');
  Put32(b, offBits + imageSize);
  Put32(b, 0);
  Put32(b, offBits);
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(w));
  Put32(b, static_cast<std::uint32_t>(h));
  Put16(b, 1);
  Put16(b, static_cast<std::uint32_t>(bpp));
  Put32(b, 0);  // BI_RGB
  Put32(b, imageSize);
  Put32(b, 2835);  // 72 dpi
  Put32(b, 2835);
  Put32(b, 0);  // every colour of the table is used
  Put32(b, 0);
  for (std::uint32_t c : pal) Put32(b, c & 0xFFFFFF);  // blue, green, red, 0
  return b;
}

bool Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int Stride(int w, int bpp) { return ((w * bpp + 31) / 32) * 4; }

}  // namespace

bool WriteIndexedBmp(const std::string& path, const Indexed& img) {
  const int stride = Stride(img.width, img.bitsPerPixel);
  std::vector<std::uint8_t> rows(static_cast<size_t>(stride) * img.height, 0);
  for (int y = 0; y < img.height; ++y) {
    std::uint8_t* row = &rows[static_cast<size_t>(img.height - 1 - y) * stride];  // bottom-up
    for (int x = 0; x < img.width; ++x) {
      const unsigned v = img.index[static_cast<size_t>(y) * img.width + x];
      const int bit = x * img.bitsPerPixel;
      const int shift = 8 - img.bitsPerPixel - bit % 8;
      row[bit / 8] |= static_cast<std::uint8_t>(v << shift);
    }
  }
  auto bytes = Headers(img.width, img.height, img.bitsPerPixel, img.palette,
                       static_cast<std::uint32_t>(rows.size()));
  bytes.insert(bytes.end(), rows.begin(), rows.end());
  return Save(path, bytes);
}

bool WriteRgbBmp(const std::string& path, const Canvas& c) {
  const int stride = Stride(c.Width(), 24);
  std::vector<std::uint8_t> rows(static_cast<size_t>(stride) * c.Height(), 0);
  for (int y = 0; y < c.Height(); ++y) {
    std::uint8_t* row = &rows[static_cast<size_t>(c.Height() - 1 - y) * stride];
    for (int x = 0; x < c.Width(); ++x) {
      const Color p = c.Get(x, y);
      row[3 * x] = ToByte(p.b);
      row[3 * x + 1] = ToByte(p.g);
      row[3 * x + 2] = ToByte(p.r);
    }
  }
  auto bytes = Headers(c.Width(), c.Height(), 24, {}, static_cast<std::uint32_t>(rows.size()));
  bytes.insert(bytes.end(), rows.begin(), rows.end());
  return Save(path, bytes);
}

bool WriteRgbaBmp(const std::string& path, const Canvas& c) {
  std::vector<std::uint8_t> rows;
  rows.reserve(static_cast<size_t>(c.Width()) * c.Height() * 4);
  for (int y = c.Height() - 1; y >= 0; --y)
    for (int x = 0; x < c.Width(); ++x) {
      const Color p = c.Get(x, y);
      const float a = c.Alpha().empty() ? 1.0f : c.Alpha()[static_cast<size_t>(y) * c.Width() + x];
      rows.push_back(ToByte(p.b));
      rows.push_back(ToByte(p.g));
      rows.push_back(ToByte(p.r));
      rows.push_back(ToByte(a));
    }
  auto bytes = Headers(c.Width(), c.Height(), 32, {}, static_cast<std::uint32_t>(rows.size()));
  bytes.insert(bytes.end(), rows.begin(), rows.end());
  return Save(path, bytes);
}

Indexed Quantize(const Canvas& c, const std::vector<std::uint32_t>& palette, int bitsPerPixel,
                 float diffusion) {
  Indexed out;
  out.width = c.Width();
  out.height = c.Height();
  out.bitsPerPixel = bitsPerPixel;
  out.palette = palette;
  out.palette.resize(size_t{1} << bitsPerPixel, 0);
  out.index.assign(static_cast<size_t>(out.width) * out.height, 0);
  std::vector<Color> pal;
  for (std::uint32_t p : palette) pal.push_back(Rgb8((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
  std::vector<Color> err(static_cast<size_t>(out.width + 2) * 2);
  for (int y = 0; y < out.height; ++y) {
    Color* cur = &err[static_cast<size_t>(y % 2) * (out.width + 2) + 1];
    Color* next = &err[static_cast<size_t>((y + 1) % 2) * (out.width + 2) + 1];
    for (int x = -1; x <= out.width; ++x) next[x] = {};
    for (int x = 0; x < out.width; ++x) {
      Color want = c.Get(x, y);
      want = {want.r + cur[x].r, want.g + cur[x].g, want.b + cur[x].b};
      size_t best = 0;
      float bestD = 1e9f;
      for (size_t k = 0; k < pal.size(); ++k) {
        const float dr = want.r - pal[k].r, dg = want.g - pal[k].g, db = want.b - pal[k].b;
        const float d = 0.30f * dr * dr + 0.59f * dg * dg + 0.11f * db * db;
        if (d < bestD) bestD = d, best = k;
      }
      out.index[static_cast<size_t>(y) * out.width + x] = static_cast<std::uint8_t>(best);
      const Color e{(want.r - pal[best].r) * diffusion, (want.g - pal[best].g) * diffusion,
                    (want.b - pal[best].b) * diffusion};
      auto add = [](Color& d, Color e, float k) {
        d.r += e.r * k;
        d.g += e.g * k;
        d.b += e.b * k;
      };
      add(cur[x + 1], e, 7 / 16.0f);
      add(next[x - 1], e, 3 / 16.0f);
      add(next[x], e, 5 / 16.0f);
      add(next[x + 1], e, 1 / 16.0f);
    }
  }
  return out;
}

std::vector<std::uint32_t> StandardPalette16() {
  return {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
          0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
}

float Hash01(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
  std::uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return static_cast<float>(h & 0xFFFFFF) / static_cast<float>(0x1000000);
}

float ValueNoise(float x, float y, std::uint32_t seed) {
  const float fx = std::floor(x), fy = std::floor(y);
  const auto ix = static_cast<std::uint32_t>(static_cast<std::int32_t>(fx));
  const auto iy = static_cast<std::uint32_t>(static_cast<std::int32_t>(fy));
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const float a = Hash01(ix, iy, seed), b = Hash01(ix + 1, iy, seed);
  const float c = Hash01(ix, iy + 1, seed), d = Hash01(ix + 1, iy + 1, seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float Fbm(float x, float y, int octaves, std::uint32_t seed) {
  float sum = 0, amp = 0.5f, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * ValueNoise(x, y, seed + o * 101u);
    norm += amp;
    x *= 2.03f;
    y *= 2.03f;
    amp *= 0.5f;
  }
  return sum / norm;
}

}  // namespace solvari::tools
