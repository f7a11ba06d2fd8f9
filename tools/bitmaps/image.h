// SPDX-License-Identifier: GPL-3.0-or-later
// Small image types for the bitmap generator: an RGB canvas with float
// channels that shapes are blended into, indexed images, and .bmp writing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace solvari::tools {

struct Color {
  float r = 0, g = 0, b = 0;
};

constexpr Color Rgb8(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }
Color Mix(Color a, Color b, float t);

// Coverage map, 0 (none) to 255 (full), rows top first.
struct Gray {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> px;
  std::uint8_t At(int x, int y) const {
    return (x < 0 || y < 0 || x >= width || y >= height) ? 0 : px[y * width + x];
  }
};

class Canvas {
 public:
  Canvas(int nWidth, int nHeight, Color fill);
  int Width() const { return m_nWidth; }
  int Height() const { return m_nHeight; }
  Color Get(int x, int y) const { return m_px[y * m_nWidth + x]; }
  void Set(int x, int y, Color c) { m_px[y * m_nWidth + x] = c; }
  // Blends colour c over pixel (x, y) with coverage a (0..1); outside is ignored.
  void Blend(int x, int y, Color c, float a);
  // Blends a coverage map with its top-left corner at (x, y).
  void Stamp(const Gray& g, int x, int y, Color c, float opacity = 1.0f);
  // Premultiplied alpha channel, kept only for images saved with alpha.
  std::vector<float>& Alpha() { return m_alpha; }
  const std::vector<float>& Alpha() const { return m_alpha; }
  void EnableAlpha(float a0);

 private:
  int m_nWidth;
  int m_nHeight;
  std::vector<Color> m_px;
  std::vector<float> m_alpha;
};

// Palette-indexed image, rows top first, one index per byte.
struct Indexed {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 1;                // 1, 4 or 8
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB, 1 << bitsPerPixel entries
  std::vector<std::uint8_t> index;
};

// Maps a canvas onto a fixed palette with Floyd-Steinberg error diffusion.
Indexed Quantize(const Canvas& c, const std::vector<std::uint32_t>& palette, int bitsPerPixel,
                 float diffusion);

// Writers of uncompressed bottom-up BMP files with a 40-byte information
// header. Each returns false when the file cannot be written.
bool WriteIndexedBmp(const std::string& path, const Indexed& img);
bool WriteRgbBmp(const std::string& path, const Canvas& c);
// 32 bits per pixel with straight alpha in the fourth byte (input of the PNG step).
bool WriteRgbaBmp(const std::string& path, const Canvas& c);

// The classic 16-colour palette (black, dark red, ... white).
std::vector<std::uint32_t> StandardPalette16();

// Deterministic value noise and a small hash, for textures that must come
// out the same on every machine.
float Hash01(std::uint32_t x, std::uint32_t y, std::uint32_t seed);
float ValueNoise(float x, float y, std::uint32_t seed);
float Fbm(float x, float y, int octaves, std::uint32_t seed);

}  // namespace solvari::tools
