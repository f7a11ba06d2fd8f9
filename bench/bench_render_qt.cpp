// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt peer of the reading page: what a Qt program painting the same page
// would do. The picture, turned into an RGB32 image once, is drawn with
// QPainter scaled to cover the view with nearest pixel (the same crop), and
// every outlined character of the page is a cached image (drawn once by our
// renderer, transparent around its halo) laid over it. Runs in bench_render,
// beside the program's own page, so that the two are timed in one run.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <vector>

#include "core/sutra_tables.h"
#include "render/bitmap.h"
#include "render/glyph_renderer.h"
#include "render/resource_bitmaps.h"
#include "render/view_scale.h"
#include "tests/render/bmp_writer.h"

namespace solvari {
namespace {

constexpr int kSlot = 114;
constexpr int kPageTop = 10;
constexpr int kFrameWidth = 70;
constexpr int kFrameHeight = 46;

struct PlacedGlyph {
  QImage image;
  QPoint at;
};

// The outlined character i of phrase k as an ARGB image of its 70 x 46 frame:
// drawn over black and over white, a pixel that differs is background.
QImage OutlinedGlyphImage(const std::vector<std::uint8_t>& column, int nWidthBytes, int i,
                          int nScale) {
  const int w = kFrameWidth * nScale, h = kFrameHeight * nScale;
  const int nCellBytes = kCellHeight * nScale * nWidthBytes;
  CSurface over[2] = {CSurface(w, h, RGB(0, 0, 0)), CSurface(w, h, RGB(255, 255, 255))};
  for (CSurface& s : over) {
    std::vector<std::uint8_t> cell(column.begin() + nCellBytes * i,
                                   column.begin() + nCellBytes * (i + 1));
    CDC dc(s);
    DrawOutlinedGlyphAtScale(&dc, nScale, nCellBytes, cell.data(), 0, 0, RGB(0, 255, 0),
                             RGB(255, 255, 255), 0, 0);
  }
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < h; ++y) {
    auto* out = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const std::uint32_t a = over[0].Row(y)[x];
      out[x] = a == over[1].Row(y)[x] ? a : 0u;
    }
  }
  return image;
}

// The glyph images of the page from phrase 0 in a view w pixels wide.
std::vector<PlacedGlyph> PageGlyphs(int w, int nScale) {
  std::vector<PlacedGlyph> glyphs;
  const BitmapFinder finder = MakeResourceBitmapFinder();
  const int n = w / (kSlot * nScale);
  for (int k = 0; k < n && k <= kLastPhrase; ++k) {
    CBitmap bm;
    if (!bm.LoadBitmap(finder, BitmapIdAtScale(kColumnGlyphId[k], nScale))) continue;
    const BITMAP& info = bm.GetObject();
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(info.bmHeight) * info.bmWidthBytes);
    bm.GetBitmapBits(bits.size(), bits.data());
    const int x = w - kSlot * nScale * k - kSlot * nScale;
    for (int i = 0; i < info.bmHeight / (kCellHeight * nScale); ++i) {
      glyphs.push_back({OutlinedGlyphImage(bits, info.bmWidthBytes, i, nScale),
                        QPoint(x, (kPageTop + kCellHeight * i) * nScale)});
    }
  }
  return glyphs;
}

// Arg: the scale. The 800 x 600 picture of BM_ReadingPage, in a 723 x 425
// view (1446 x 850 at scale 2): the crop (0, 65, 800, 535).
void BM_QtPeerReadingPage(benchmark::State& state) {
  const int nScale = static_cast<int>(state.range(0));
  const int w = 723 * nScale, h = 425 * nScale;
  const std::vector<std::uint8_t> bmp = testing::Build24(800, 600, [](int x, int y) {
    return static_cast<std::uint32_t>((x * 255 / 800) << 16 | (y * 255 / 600) << 8 | 0x40);
  });
  const QImage picture = QImage::fromData(bmp.data(), static_cast<int>(bmp.size()), "BMP")
                             .convertToFormat(QImage::Format_RGB32);
  if (picture.isNull()) {
    state.SkipWithError("the picture does not decode");
    return;
  }
  const std::vector<PlacedGlyph> glyphs = PageGlyphs(w, nScale);
  QImage view(w, h, QImage::Format_RGB32);
  const QRect crop(0, 65, 800, 470);
  for (auto _ : state) {
    QPainter painter(&view);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, w, h), picture, crop);
    for (const PlacedGlyph& g : glyphs) painter.drawImage(g.at, g.image);
    painter.end();
    benchmark::DoNotOptimize(view.constBits());
  }
  state.counters["glyphs"] = static_cast<double>(glyphs.size());
}
BENCHMARK(BM_QtPeerReadingPage)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace solvari
