// SPDX-License-Identifier: GPL-3.0-or-later
// What the reading aid costs: a whole reading page and one character
// highlight at the frame's size, with no reading (the plain page), the kana
// and the romaji, over the tile and over data/default.bmp. The page with a
// reading should stay within 1.5 times the plain page, a highlight within 2.
#include <benchmark/benchmark.h>

#include "core/reading_state.h"
#include "core/sutra_readings.h"
#include "render/fixed_view_host.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"

namespace solvari {
namespace {

const char* AidName(int nAid) {
  return nAid == RubyKana ? "kana" : nAid == RubyRomaji ? "romaji" : "none";
}

// range(0): the ReadingAid; range(1): 1 over data/default.bmp, 0 over the tile.
void BM_PageWithReading(benchmark::State& state) {
  CFixedViewHost host;
  host.nReadingAid = static_cast<int>(state.range(0));
  if (state.range(1) == 1) host.picture.LoadPicture(SOLVARI_SOURCE_DIR "/data/default.bmp");
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  for (auto _ : state) {
    view.OnPaint();
    benchmark::DoNotOptimize(view.Surface().Bits());
  }
  state.SetLabel(std::string(AidName(host.nReadingAid)) + (state.range(1) ? " picture" : " tile"));
}
BENCHMARK(BM_PageWithReading)
    ->ArgsProduct({{RubyNone, RubyKana, RubyRomaji}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// Lights the nine characters of phrase 1 (the page's second column) in turn.
void BM_HighlightWithReading(benchmark::State& state) {
  CFixedViewHost host;
  host.nReadingAid = static_cast<int>(state.range(0));
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  view.OnPaint();
  int c = 0;
  for (auto _ : state) {
    view.HighlightChar(1, c);
    c = (c + 1) % 9;
  }
  state.SetLabel(AidName(host.nReadingAid));
}
BENCHMARK(BM_HighlightWithReading)
    ->Arg(RubyNone)
    ->Arg(RubyKana)
    ->Arg(RubyRomaji)
    ->Unit(benchmark::kMicrosecond);

// A column drawn into its slot, as the recitation brings in the next phrase.
void BM_DrawColumnWithReading(benchmark::State& state) {
  CFixedViewHost host;
  host.nReadingAid = static_cast<int>(state.range(0));
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  view.OnPaint();
  for (auto _ : state) view.DrawColumn(1);
  state.SetLabel(AidName(host.nReadingAid));
}
BENCHMARK(BM_DrawColumnWithReading)
    ->Arg(RubyNone)
    ->Arg(RubyKana)
    ->Arg(RubyRomaji)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace solvari
