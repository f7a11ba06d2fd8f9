// SPDX-License-Identifier: GPL-3.0-or-later
// The view's drawing at the frame's size: a whole reading page over a
// picture, the overview, one character highlight, one column erased, the
// stretch of a new picture or size; at scale 1 and, on a screen of twice the
// density, at scale 2 (1446 x 850). With Qt, the Qt peer of the reading page
// runs in the same binary (bench_render_qt.cpp).
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "core/reading_state.h"
#include "render/fixed_view_host.h"
#include "render/picture_holder.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"
#include "tests/render/bmp_writer.h"

namespace solvari {
namespace {

using Host = CFixedViewHost;

CPackedDib Picture800x600() {
  return ReadBmpBytes(testing::Build24(800, 600, [](int x, int y) {
    return static_cast<std::uint32_t>((x * 255 / 800) << 16 | (y * 255 / 600) << 8 | 0x40);
  }));
}

void BM_ReadingPage(benchmark::State& state) {
  Host host;
  if (state.range(0) == 0) {
    host.picture.m_hPicture = Picture800x600();
    host.picture.PreparePicture();
  } else if (state.range(0) == 1) {
    host.picture.LoadPicture(SOLVARI_SOURCE_DIR "/data/default.bmp");
  }
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  for (auto _ : state) {
    view.OnPaint();
    benchmark::DoNotOptimize(view.Surface().Bits());
  }
}
// 0: an 800 x 600 24-bit picture, 1: data/default.bmp, 2: the tile.
BENCHMARK(BM_ReadingPage)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The resident memory of the process in MiB.
double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long nPages = 0, nResident = 0;
  statm >> nPages >> nResident;
  return static_cast<double>(nResident) * 4096.0 / (1024.0 * 1024.0);
}

// The memory of the stretched picture the view keeps, in MiB.
double BackgroundMiB(const CSutraView& view) {
  const CSurface& bg = view.PictureBackground();
  return static_cast<double>(bg.Width()) * bg.Height() * 4.0 / 1048576.0;
}

// A photo of 6000 x 4000 (24 megapixels) as the decoder of the shell gives
// it: a 24-bit DIB, 72 MB.
CPackedDib Photo24MP() {
  return ReadBmpBytes(testing::Build24(6000, 4000, [](int x, int y) {
    return static_cast<std::uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x + y) & 0xFF));
  }));
}

// The photo drawn over the whole view: cropped to the view's shape and
// stretched down. The counters: the photo's block, the stretched background
// the view keeps, and the process's resident memory with both.
void BM_ReadingPagePhoto24MP(benchmark::State& state) {
  const double fBefore = ResidentMiB();
  Host host;
  host.picture.m_hPicture = Photo24MP();
  host.picture.PreparePicture();
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  for (auto _ : state) {
    view.OnPaint();
    benchmark::DoNotOptimize(view.Surface().Bits());
  }
  state.counters["picture_MiB"] = static_cast<double>(host.picture.m_hPicture.Size()) / 1048576.0;
  state.counters["background_MiB"] = BackgroundMiB(view);
  state.counters["resident_MiB"] = ResidentMiB();
  state.counters["resident_growth_MiB"] = ResidentMiB() - fBefore;
}
BENCHMARK(BM_ReadingPagePhoto24MP)->Unit(benchmark::kMicrosecond);

void BM_Overview(benchmark::State& state) {
  Host host;
  host.nState = Idle;
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  for (auto _ : state) {
    view.OnPaint();
    benchmark::DoNotOptimize(view.Surface().Bits());
  }
}
BENCHMARK(BM_Overview)->Unit(benchmark::kMicrosecond);

// Scale 2: the view of a frame at a device pixel ratio of 2.
constexpr int kWidth2 = 1446;
constexpr int kHeight2 = 850;

void BM_ReadingPageScale2(benchmark::State& state) {
  Host host;
  if (state.range(0) == 0) {
    host.picture.m_hPicture = Picture800x600();
    host.picture.PreparePicture();
  } else if (state.range(0) == 1) {
    host.picture.LoadPicture(SOLVARI_SOURCE_DIR "/data/default.bmp");
  }
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(kWidth2, kHeight2, 2);
  for (auto _ : state) {
    view.OnPaint();
    benchmark::DoNotOptimize(view.Surface().Bits());
  }
}
// 0: an 800 x 600 24-bit picture, 1: data/default.bmp, 2: the tile.
BENCHMARK(BM_ReadingPageScale2)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Arg 1: every paint starts with none of the photo in the caches, as when
// the page turns after the voice and the rest of the desktop have run: a
// block larger than the last-level cache is written over between paints.
void BM_ReadingPagePhoto24MPScale2(benchmark::State& state) {
  const double fBefore = ResidentMiB();
  Host host;
  host.picture.m_hPicture = Photo24MP();
  host.picture.PreparePicture();
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(kWidth2, kHeight2, 2);
  view.OnPaint();
  const double fResident = ResidentMiB();  // before the block that empties the caches
  std::vector<std::uint8_t> flush(state.range(0) != 0 ? 64u << 20 : 0);
  std::uint8_t nFill = 0;
  for (auto _ : state) {
    if (!flush.empty()) {
      state.PauseTiming();
      std::memset(flush.data(), ++nFill, flush.size());
      benchmark::ClobberMemory();
      state.ResumeTiming();
    }
    view.OnPaint();
    benchmark::DoNotOptimize(view.Surface().Bits());
  }
  state.counters["picture_MiB"] = static_cast<double>(host.picture.m_hPicture.Size()) / 1048576.0;
  state.counters["background_MiB"] = BackgroundMiB(view);
  state.counters["resident_MiB"] = fResident;
  state.counters["resident_growth_MiB"] = fResident - fBefore;
}
BENCHMARK(BM_ReadingPagePhoto24MPScale2)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// What a change of picture or of window size costs: the crop and stretch of
// the picture over the whole view, made once and copied by the paints after
// it. Each iteration gives the view another picture (arg 1 = 0: the 800 x 600
// picture, 1: the 24-megapixel photo; two blocks of the same bytes, taken in
// turn) or another size (arg 1 = 2: the 24-megapixel photo with the view one
// pixel narrower and wider in turn, as while a window is dragged larger). Arg
// 0 is the scale. This runs on the interface thread, before the first paint
// after the change.
void BM_PictureBackgroundStretch(benchmark::State& state) {
  const int nScale = static_cast<int>(state.range(0));
  const int nKind = static_cast<int>(state.range(1));
  const int w = nScale == 2 ? kWidth2 : 723;
  const int h = nScale == 2 ? kHeight2 : 425;
  CPackedDib pictures[2];
  for (CPackedDib& p : pictures) {
    p = nKind == 0 ? Picture800x600() : Photo24MP();
    if (nKind == 2) break;  // one photo, two sizes
  }
  Host host;
  host.picture.m_hPicture = pictures[0];
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(w, h, nScale);
  int i = 0;
  for (auto _ : state) {
    ++i;
    if (nKind == 2) {
      view.SetClientSize(w - (i & 1), h, nScale);
    } else {
      state.PauseTiming();  // the block is copied in: not part of the change
      host.picture.m_hPicture = pictures[i & 1];
      state.ResumeTiming();
    }
    view.PreparePictureBackground();
    benchmark::DoNotOptimize(view.PictureBackground().Bits());
  }
  state.counters["background_MiB"] = BackgroundMiB(view);
}
BENCHMARK(BM_PictureBackgroundStretch)
    ->ArgsProduct({{1, 2}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);

void BM_OverviewScale2(benchmark::State& state) {
  Host host;
  host.nState = Idle;
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(kWidth2, kHeight2, 2);
  for (auto _ : state) {
    view.OnPaint();
    benchmark::DoNotOptimize(view.Surface().Bits());
  }
}
BENCHMARK(BM_OverviewScale2)->Unit(benchmark::kMicrosecond);

void BM_HighlightCharScale2(benchmark::State& state) {
  Host host;
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(kWidth2, kHeight2, 2);
  view.OnPaint();
  int c = 0;
  for (auto _ : state) {
    view.HighlightChar(1, c);
    c = (c + 1) % 9;
  }
}
BENCHMARK(BM_HighlightCharScale2)->Unit(benchmark::kMicrosecond);

void BM_HighlightChar(benchmark::State& state) {
  Host host;
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  view.OnPaint();
  int c = 0;
  for (auto _ : state) {
    view.HighlightChar(1, c);
    c = (c + 1) % 9;
  }
}
BENCHMARK(BM_HighlightChar)->Unit(benchmark::kMicrosecond);

// Arg: the scale.
void BM_EraseColumn(benchmark::State& state) {
  const int nScale = static_cast<int>(state.range(0));
  Host host;
  host.picture.m_hPicture = Picture800x600();
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(nScale == 2 ? kWidth2 : 723, nScale == 2 ? kHeight2 : 425, nScale);
  view.OnPaint();
  for (auto _ : state) view.EraseColumn(2);
}
BENCHMARK(BM_EraseColumn)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The floor every full paint stands on: one copy of the whole view's pixels.
// Under a loaded machine the paints are best read as multiples of it.
void BM_SurfaceCopy(benchmark::State& state) {
  CSurface a(723, 425, RGB(1, 2, 3));
  CSurface b(723, 425, RGB(4, 5, 6));
  CDC dc(b);
  for (auto _ : state) {
    dc.BitBlt(0, 0, 723, 425, a, 0, 0, SRCCOPY);
    benchmark::DoNotOptimize(b.Bits());
  }
}
BENCHMARK(BM_SurfaceCopy)->Unit(benchmark::kMicrosecond);

void BM_SurfaceCopyScale2(benchmark::State& state) {
  CSurface a(kWidth2, kHeight2, RGB(1, 2, 3));
  CSurface b(kWidth2, kHeight2, RGB(4, 5, 6));
  CDC dc(b);
  for (auto _ : state) {
    dc.BitBlt(0, 0, kWidth2, kHeight2, a, 0, 0, SRCCOPY);
    benchmark::DoNotOptimize(b.Bits());
  }
}
BENCHMARK(BM_SurfaceCopyScale2)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace solvari
