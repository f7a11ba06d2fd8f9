// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace solvari::tools {
namespace {

constexpr float kPi = 3.14159265f;

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
float Smooth(float e0, float e1, float x) {
  const float t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

using Inside = std::function<bool(float, float)>;
using Paint = std::function<Color(float, float)>;

// Fills the pixels of a shape inside the box [x0, x1) x [y0, y1), each with
// the fraction of its ss x ss samples that fall inside, in the colour the
// painter gives for the pixel centre.
void FillShape(Canvas& c, int x0, int y0, int x1, int y1, const Inside& inside, const Paint& paint,
               int ss = 4, float opacity = 1.0f) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, c.Width());
  y1 = std::min(y1, c.Height());
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      int hits = 0;
      for (int j = 0; j < ss; ++j)
        for (int i = 0; i < ss; ++i) hits += inside(x + (i + 0.5f) / ss, y + (j + 0.5f) / ss);
      if (hits) c.Blend(x, y, paint(x + 0.5f, y + 0.5f), opacity * hits / float(ss * ss));
    }
}

void FillShape(Canvas& c, const Inside& inside, const Paint& paint, int ss = 4,
               float opacity = 1.0f) {
  FillShape(c, 0, 0, c.Width(), c.Height(), inside, paint, ss, opacity);
}

void FillShape(Canvas& c, const Inside& inside, Color color, int ss = 4, float opacity = 1.0f) {
  FillShape(
      c, 0, 0, c.Width(), c.Height(), inside, [color](float, float) { return color; }, ss, opacity);
}

Inside Disc(float cx, float cy, float r) {
  return [=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r; };
}

Inside Ring(float cx, float cy, float r0, float r1) {
  return [=](float x, float y) {
    const float d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    return d2 >= r0 * r0 && d2 < r1 * r1;
  };
}

Inside Triangle(float ax, float ay, float bx, float by, float cx, float cy) {
  return [=](float x, float y) {
    const float d1 = (x - bx) * (ay - by) - (ax - bx) * (y - by);
    const float d2 = (x - cx) * (by - cy) - (bx - cx) * (y - cy);
    const float d3 = (x - ax) * (cy - ay) - (cx - ax) * (y - ay);
    const bool neg = d1 < 0 || d2 < 0 || d3<0, pos = d1> 0 || d2 > 0 || d3 > 0;
    return !(neg && pos);
  };
}

Inside Box(float x0, float y0, float x1, float y1) {
  return [=](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}

// ---- Tool bar -------------------------------------------------------------

// Indices of the standard palette.
enum : std::uint8_t {
  kBlack = 0,
  kDarkRed = 1,
  kDarkGreen = 2,
  kOlive = 3,
  kNavy = 4,
  kPurple = 5,
  kTeal = 6,
  kSilver = 7,
  kGrey = 8,
  kRed = 9,
  kGreen = 10,
  kYellow = 11,
  kBlue = 12,
  kFuchsia = 13,
  kAqua = 14,
  kWhite = 15
};

// One 16 x 15 button being drawn, at scale 1 or 2 (32 x 30 pixels), in the
// button's own 16 x 15 units: a shape covers a pixel when at least half of
// its samples are inside; its edge pixels (one unit wide) may take an
// outline colour.
struct Button {
  Indexed& img;
  int ox;  // left edge of the button, in units
  int scale = 1;
  void Fill(const Inside& inside, std::uint8_t fill, int outline = -1) {
    const int w = 16 * scale, h = 15 * scale;
    std::vector<bool> mask(static_cast<size_t>(w) * h);
    auto in = [&](int x, int y) {
      return x >= 0 && y >= 0 && x < w && y < h && mask[static_cast<size_t>(y) * w + x];
    };
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int hits = 0;
        for (int j = 0; j < 4; ++j)
          for (int i = 0; i < 4; ++i)
            hits += inside((x + (i + 0.5f) / 4) / scale, (y + (j + 0.5f) / 4) / scale);
        mask[static_cast<size_t>(y) * w + x] = hits >= 8;
      }
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (!in(x, y)) continue;
        bool edge = false;
        for (int k = 1; k <= scale; ++k)
          edge = edge || !in(x - k, y) || !in(x + k, y) || !in(x, y - k) || !in(x, y + k);
        SetPixel(x, y, edge && outline >= 0 ? static_cast<std::uint8_t>(outline) : fill);
      }
  }
  // One unit: a pixel at scale 1, a 2 x 2 square at scale 2.
  void Set(int x, int y, std::uint8_t v) {
    for (int j = 0; j < scale; ++j)
      for (int i = 0; i < scale; ++i) SetPixel(x * scale + i, y * scale + j, v);
  }
  void SetPixel(int x, int y, std::uint8_t v) {
    img.index[static_cast<size_t>(y) * img.width + ox * scale + x] = v;
  }
};

}  // namespace

Indexed MakeTile(int scale) {
  Indexed t;
  t.width = 8 * scale;
  t.height = 8 * scale;
  t.bitsPerPixel = 8;
  t.palette.assign(256, 0);
  t.palette[0] = 0xC0C0C0;
  t.palette[1] = 0xFFFFFF;
  t.index.assign(static_cast<size_t>(t.width) * t.height, 0);
  for (int y = 0; y < t.height; ++y)
    for (int x = 0; x < t.width; ++x)
      if ((x / scale) % 2 == 1 && (y / scale) % 2 == 1)
        t.index[static_cast<size_t>(y) * t.width + x] = 1;
  return t;
}

Indexed MakeToolBar(int scale) {
  Indexed img;
  img.width = 80 * scale;
  img.height = 15 * scale;
  img.bitsPerPixel = 4;
  img.palette = StandardPalette16();
  img.index.assign(static_cast<size_t>(img.width) * img.height, kSilver);

  // Start: a green play triangle.
  Button start{img, 0, scale};
  start.Fill(Triangle(3.5f, 1.5f, 3.5f, 13.5f, 13.5f, 7.5f), kGreen, kDarkGreen);

  // Stop: a dark red square with a lit upper-left edge.
  Button stop{img, 16, scale};
  stop.Fill(Box(3, 3, 13, 13), kDarkRed, kBlack);
  for (int i = 4; i < 12; ++i) {
    stop.Set(i, 4, kRed);
    stop.Set(4, i, kRed);
  }

  // Maximize: a window with a thick title bar.
  Button max{img, 32, scale};
  max.Fill(Box(1, 1, 15, 14), kWhite, kBlack);
  for (int y = 2; y < 5; ++y)
    for (int x = 2; x < 14; ++x) max.Set(x, y, y == 4 ? kBlack : kNavy);

  // Repeat: two arrows chasing each other round a circle. At scale 1 drawn by
  // hand; at scale 2 the same arcs and heads as shapes, at the finer grid.
  Button rep{img, 48, scale};
  if (scale == 1) {
    static const char* const kRepeat[15] = {
        "................", "................", ".....tttttt.....", "....tttttttt....",
        "...tt......tt...", "...tt....tttttt.", "...tt.....tttt..", "...........tt...",
        "...tt...........", "..tttt.....tt...", ".tttttt....tt...", "...tt......tt...",
        "....tttttttt....", ".....tttttt.....", "................"};
    for (int y = 0; y < 15; ++y)
      for (int x = 0; x < 16; ++x)
        if (kRepeat[y][x] == 't') rep.Set(x, y, kTeal);
  } else {
    const Inside ring = Ring(8.0f, 7.5f, 3.4f, 5.5f);
    // The upper arc runs from the left side over the top into the head on
    // the right; the lower from the right side under the bottom into the
    // head on the left.
    rep.Fill([ring](float x, float y) { return ring(x, y) && (x < 8.0f ? y < 7.0f : y < 5.0f); },
             kTeal);
    rep.Fill([ring](float x, float y) { return ring(x, y) && (x < 8.0f ? y >= 11.0f : y >= 9.0f); },
             kTeal);
    rep.Fill(Triangle(9.0f, 5.0f, 15.0f, 5.0f, 12.0f, 8.0f), kTeal);
    rep.Fill(Triangle(1.0f, 11.0f, 7.0f, 11.0f, 4.0f, 8.0f), kTeal);
  }

  // About: a white "i" on a blue disc.
  Button about{img, 64, scale};
  about.Fill(Disc(7.5f, 7.5f, 6.8f), kBlue, kNavy);
  about.Fill(Box(7, 3, 9, 5), kWhite);
  about.Fill(Box(7, 6, 9, 12), kWhite);
  about.Fill(Box(6, 6, 7, 7), kWhite);
  about.Fill(Box(6, 11, 10, 12), kWhite);
  return img;
}

Indexed MakeAboutPicture() {
  constexpr int kSize = 240, kSs = 3;  // drawn at three times the size, then reduced
  const float S = kSize * kSs;
  Canvas big(kSize * kSs, kSize * kSs, Rgb8(247, 241, 227));
  // Sky: cream above, pale teal towards the water.
  for (int y = 0; y < big.Height(); ++y) {
    const float t = y / S;
    const Color c = Mix(Rgb8(250, 244, 228), Rgb8(214, 231, 230), Smooth(0.0f, 0.72f, t));
    for (int x = 0; x < big.Width(); ++x) big.Set(x, y, c);
  }
  // A pale golden halo behind the flower.
  const float hx = 0.5f * S, hy = 0.45f * S;
  for (int y = 0; y < big.Height(); ++y)
    for (int x = 0; x < big.Width(); ++x) {
      const float d = std::hypot(x - hx, y - hy) / S;
      big.Blend(x, y, Rgb8(243, 221, 160), 0.85f * (1 - Smooth(0.20f, 0.36f, d)));
    }
  // Still water with a few ripples.
  const float water = 0.72f * S;
  FillShape(
      big, 0, static_cast<int>(water), big.Width(), big.Height(),
      [&](float, float y) { return y >= water; },
      [&](float, float y) {
        return Mix(Rgb8(156, 195, 196), Rgb8(79, 143, 145), Smooth(water, S, y));
      },
      1);
  for (int k = 0; k < 4; ++k) {
    const float ry = water + (0.05f + 0.055f * k) * S, rw = (0.30f - 0.05f * k) * S;
    const float rx = (k % 2 ? 0.36f : 0.62f) * S;
    FillShape(
        big,
        [=](float x, float y) {
          const float u = (x - rx) / rw, v = (y - ry) / (0.006f * S);
          return u * u + v * v < 1;
        },
        Rgb8(220, 233, 236), 2, 0.8f);
  }
  // Lily pads on the water.
  auto pad = [&](float px, float py, float rx, float ry, float notch) {
    FillShape(
        big,
        [=](float x, float y) {
          const float u = (x - px) / rx, v = (y - py) / ry;
          const float a = std::atan2(v, u) * 180 / kPi;
          return u * u + v * v < 1 && std::fabs(a - notch) > 12;
        },
        [&](float x, float y) {
          return Mix(Rgb8(141, 187, 110), Rgb8(44, 90, 47),
                     Smooth(py - ry, py + ry, y) * 0.8f + 0.1f * std::sin(x * 0.02f));
        },
        2);
  };
  pad(0.24f * S, 0.82f * S, 0.15f * S, 0.045f * S, -60);
  pad(0.78f * S, 0.88f * S, 0.13f * S, 0.04f * S, -120);
  // Stem.
  FillShape(big, Box(0.492f * S, 0.6f * S, 0.508f * S, water + 0.02f * S), Rgb8(78, 138, 69));

  // Petals: pointed, widest a little below the middle, pink at the base and
  // pale at the tip. Back petals first, darker.
  const float bx = 0.5f * S, by = 0.64f * S;
  auto petal = [&](float angleDeg, float length, float width, Color base, Color tip) {
    const float t = angleDeg * kPi / 180;
    const float ax = std::sin(t), ay = -std::cos(t);  // along the petal
    const float nx = -ay, ny = ax;
    FillShape(
        big,
        [=](float x, float y) {
          const float u = ((x - bx) * ax + (y - by) * ay) / length;
          const float v = ((x - bx) * nx + (y - by) * ny) / (width * length);
          if (u <= 0 || u >= 1) return false;
          const float profile =
              std::pow(std::sin(kPi * std::pow(u, 0.8f)), 0.75f) * (1 - 0.25f * u);
          return std::fabs(v) < 0.5f * profile;
        },
        [=](float x, float y) {
          const float u = ((x - bx) * ax + (y - by) * ay) / length;
          const float v = ((x - bx) * nx + (y - by) * ny) / (width * length);
          const float vein = 1 - Smooth(0.0f, 0.12f, std::fabs(v));
          return Mix(Mix(base, tip, Smooth(0.15f, 0.95f, u)), Rgb8(255, 255, 255), 0.25f * vein);
        },
        2);
  };
  const Color deep = Rgb8(142, 53, 87), rose = Rgb8(196, 92, 126), pink = Rgb8(227, 139, 166);
  const Color light = Rgb8(243, 191, 207), pale = Rgb8(251, 230, 236);
  petal(-72, 0.27f * S, 0.42f, deep, rose);
  petal(72, 0.27f * S, 0.42f, deep, rose);
  petal(-40, 0.33f * S, 0.44f, rose, light);
  petal(40, 0.33f * S, 0.44f, rose, light);
  petal(-18, 0.36f * S, 0.45f, pink, pale);
  petal(18, 0.36f * S, 0.45f, pink, pale);
  petal(0, 0.38f * S, 0.46f, pink, pale);
  // The cup of the flower: a shallow bowl of two low petals in front.
  petal(-55, 0.22f * S, 0.55f, rose, light);
  petal(55, 0.22f * S, 0.55f, rose, light);

  // Reduce to 240 x 240 and map onto the picture's own 16 colours.
  Canvas small(kSize, kSize, {});
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      Color sum{};
      for (int j = 0; j < kSs; ++j)
        for (int i = 0; i < kSs; ++i) {
          const Color p = big.Get(x * kSs + i, y * kSs + j);
          sum = {sum.r + p.r, sum.g + p.g, sum.b + p.b};
        }
      const float k = 1.0f / (kSs * kSs);
      small.Set(x, y, {sum.r * k, sum.g * k, sum.b * k});
    }
  const std::vector<std::uint32_t> palette = {
      0xFAF4E4, 0xF3DDA0, 0xD9B45A, 0xD6E7E6, 0x9CC3C4, 0x4F8F91, 0x23545A, 0xFBE6EC,
      0xF3BFCF, 0xE38BA6, 0xC45C7E, 0x8E3557, 0x8DBB6E, 0x4E8A45, 0x2C5A2F, 0xFFFFFF};
  return Quantize(small, palette, 4, 0.75f);
}

Canvas MakeIcon(const Font& mincho, int size) {
  Canvas c(size, size, Rgb8(0, 0, 0));
  c.EnableAlpha(0);
  const float s = static_cast<float>(size), m = s / 2;
  const int ss = size >= 64 ? 4 : 8;
  FillShape(
      c, 0, 0, size, size, Disc(m, m, 0.48f * s),
      [&](float x, float y) {
        const float d = std::hypot(x - 0.38f * s, y - 0.32f * s) / s;
        return Mix(Rgb8(46, 112, 74), Rgb8(18, 58, 38), Smooth(0.0f, 0.75f, d));
      },
      ss);
  FillShape(c, Ring(m, m, 0.425f * s, 0.425f * s + std::max(1.0f, 0.012f * s)), Rgb8(214, 190, 120),
            ss, 0.9f);
  // The character, emboldened a little and centred by its ink.
  const float px = 0.62f * s;
  const GlyphImage g = mincho.Render(U'心', px, 0.035f * px, 0.05f * px);
  int x0 = g.coverage.width, y0 = g.coverage.height, x1 = -1, y1 = -1;
  for (int y = 0; y < g.coverage.height; ++y)
    for (int x = 0; x < g.coverage.width; ++x)
      if (g.coverage.At(x, y) > 0) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
      }
  const int ox = static_cast<int>(std::lround(m - (x0 + x1 + 1) / 2.0f));
  const int oy = static_cast<int>(std::lround(m - (y0 + y1 + 1) / 2.0f + 0.01f * s));
  c.Stamp(g.coverage, ox, oy, Rgb8(255, 255, 255));
  return c;
}

Canvas MakeDefaultBackground(int width, int height) {
  const float W = static_cast<float>(width), H = static_cast<float>(height);
  Canvas c(width, height, {});
  // Dusk sky: deep blue above, a muted violet and a low warm band at the horizon.
  for (int y = 0; y < height; ++y) {
    const float t = y / H;
    Color sky = Mix(Rgb8(10, 16, 38), Rgb8(36, 36, 74), Smooth(0.0f, 0.45f, t));
    sky = Mix(sky, Rgb8(92, 66, 92), Smooth(0.35f, 0.62f, t));
    sky = Mix(sky, Rgb8(132, 90, 86), Smooth(0.52f, 0.70f, t) * 0.7f);
    for (int x = 0; x < width; ++x) c.Set(x, y, sky);
  }
  // A faint moon with a soft glow.
  const float mx = 0.74f * W, my = 0.2f * H, mr = 0.028f * W;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const float d = std::hypot(x + 0.5f - mx, y + 0.5f - my);
      c.Blend(x, y, Rgb8(200, 196, 210), 0.22f * std::exp(-std::pow(d / (5 * mr), 2)));
    }
  FillShape(
      c, static_cast<int>(mx - mr - 2), static_cast<int>(my - mr - 2),
      static_cast<int>(mx + mr + 3), static_cast<int>(my + mr + 3), Disc(mx, my, mr),
      [&](float x, float y) {
        const float n = Fbm(x * 0.08f, y * 0.08f, 3, 7);
        return Mix(Rgb8(214, 210, 196), Rgb8(178, 174, 170), n * 0.6f);
      },
      4, 0.75f);
  // A few faint stars in the upper sky.
  for (int k = 0; k < 70; ++k) {
    const float sx = Hash01(k, 1, 11) * W, sy = Hash01(k, 2, 11) * H * 0.45f;
    const float b = 0.15f + 0.35f * Hash01(k, 3, 11) * (1 - sy / (0.45f * H));
    FillShape(c, Disc(sx, sy, 0.7f + 0.5f * Hash01(k, 4, 11)), Rgb8(230, 230, 245), 4, b);
  }
  // Mountain ridges from far to near: each lower, darker and less hazy.
  struct Layer {
    float base, amp, freq;
    Color color;
    std::uint32_t seed;
  };
  const Layer layers[] = {
      {0.56f, 0.16f, 2.2f, Rgb8(62, 52, 84), 21},
      {0.64f, 0.15f, 3.0f, Rgb8(42, 36, 62), 22},
      {0.74f, 0.13f, 3.6f, Rgb8(26, 24, 42), 23},
      {0.86f, 0.10f, 4.4f, Rgb8(13, 13, 24), 24},
  };
  for (const Layer& L : layers) {
    std::vector<float> ridge(width);
    for (int x = 0; x < width; ++x) {
      const float u = x / W;
      // Ridged noise gives peaks rather than rolling hills.
      float n = 0, amp = 0.6f, f = L.freq;
      for (int o = 0; o < 5; ++o, amp *= 0.45f, f *= 2.1f) {
        const float v = 1 - std::fabs(2 * ValueNoise(u * f, 0.5f + o, L.seed) - 1);
        n += amp * v * v;
      }
      ridge[x] = (L.base - L.amp * (n - 0.3f) * 1.5f) * H;
    }
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const float r = ridge[x];
        const float cover = Clamp01(y + 1 - r);  // soft one-pixel edge
        if (cover <= 0) continue;
        // Mist gathers a little below each ridge line.
        const float mist = 0.18f * std::exp(-(y - r) / (0.05f * H));
        c.Blend(x, y, Mix(L.color, Rgb8(120, 100, 130), mist), cover);
      }
  }
  // Gentle grain so that the gradients do not band.
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const float n = (Hash01(x, y, 99) - 0.5f) * (2.5f / 255);
      const Color p = c.Get(x, y);
      c.Set(x, y, {p.r + n, p.g + n, p.b + n});
    }
  return c;
}

Canvas MakeTitlePicture(const Font& mincho, const Font& latin, int width, int height) {
  const float W = static_cast<float>(width), H = static_cast<float>(height);
  Canvas c(width, height, {});
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Color p = Mix(Rgb8(30, 34, 62), Rgb8(12, 14, 32), Smooth(0.0f, 1.0f, y / H));
      const float d = std::hypot((x - 0.5f * W) / W, (y - 0.4f * H) / H);
      p = Mix(p, Rgb8(74, 62, 70), 0.55f * (1 - Smooth(0.0f, 0.55f, d)));
      const float n = (Hash01(x, y, 5) - 0.5f) * (2.0f / 255);
      c.Set(x, y, {p.r + n, p.g + n, p.b + n});
    }
  const Color gold = Rgb8(222, 196, 128);
  // A faint brush circle behind the title.
  FillShape(
      c,
      [&](float x, float y) {
        const float a = std::atan2(y - 0.4f * H, x - 0.5f * W);
        const float r = 0.36f * H, t = (0.010f + 0.012f * (1 + std::sin(a + 1.2f))) * H;
        const float d = std::hypot(x - 0.5f * W, y - 0.4f * H);
        return std::fabs(d - r) < t && a > -2.7f;
      },
      gold, 3, 0.16f);
  // Double frame.
  auto frame = [&](float inset, float t, float op) {
    FillShape(
        c,
        [=](float x, float y) {
          const bool outer = x >= inset && y >= inset && x < W - inset && y < H - inset;
          const bool inner =
              x >= inset + t && y >= inset + t && x < W - inset - t && y < H - inset - t;
          return outer && !inner;
        },
        gold, 2, op);
  };
  frame(9, 1.5f, 0.85f);
  frame(14, 1, 0.5f);

  // The title in two centred lines, the second slightly wider.
  const std::u32string line1 = U"摩訶般若", line2 = U"波羅蜜多心経";
  const float size = 0.155f * H, track = 0.02f * H;
  const Color ivory = Rgb8(245, 234, 206);
  auto centred = [&](const Font& f, const std::u32string& s, float px, float baseline, Color col,
                     float tr, float bold) {
    const float w = f.MeasureText(s, px, tr);
    f.DrawText(c, s, px, (W - w) / 2, baseline, col, tr, bold);
  };
  centred(mincho, line1, size, 0.33f * H, ivory, 0.5f * size, 0.02f * size);
  centred(mincho, line2, size, 0.56f * H, ivory, track, 0.02f * size);
  // A short rule, then the program and its maker.
  FillShape(c, Box(0.38f * W, 0.655f * H, 0.62f * W, 0.655f * H + 1), gold, 2, 0.7f);
  centred(latin, U"Kelvane Version 2", 0.08f * H, 0.765f * H, gold, 0.6f, 0.0f);
  centred(latin, latin.HasGlyph(U'©') ? U"© 2026 Orvell Craft" : U"(C) 2026 Orvell Craft",
          0.055f * H, 0.86f * H, Rgb8(170, 166, 180), 0.5f, 0.0f);
  return c;
}

}  // namespace solvari::tools
