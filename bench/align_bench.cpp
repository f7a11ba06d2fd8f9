// SPDX-License-Identifier: GPL-3.0-or-later
// Aligning one's own take of the longest phrase (38, ten characters, 3.2 s)
// to the shipped phrase: the whole of AlignTake for takes as slow as a
// beginner's, and half a second of silence before them, and the measurement
// over the generated takes of known onsets (when the build made them), whose
// error figures are counters of the run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/take_align.h"
#include "take_set.h"

namespace solvari {
namespace {

using testing::ErrorFigures;
using testing::ReadVoiceSamples;

std::vector<std::int16_t> Shipped(int nPhrase) {
  char name[32];
  std::snprintf(name, sizeof name, "/data/V%02d.SGM", nPhrase);
  return ReadVoiceSamples(std::string(SOLVARI_SOURCE_DIR) + name);
}

// The shipped phrase drawn out by a factor (linear interpolation, so the
// pitch drops too) after nLeadMs of silence: a slow take of another voice.
std::vector<std::int16_t> SlowTake(const std::vector<std::int16_t>& shipped, double dFactor,
                                   int nLeadMs) {
  std::vector<std::int16_t> take(static_cast<std::size_t>(11025 * nLeadMs / 1000), 0);
  const auto n = static_cast<std::size_t>(static_cast<double>(shipped.size()) * dFactor);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double x = static_cast<double>(i) / dFactor;
    const auto k = static_cast<std::size_t>(x);
    if (k + 1 >= shipped.size()) break;
    take.push_back(static_cast<std::int16_t>(shipped[k] + (x - k) * (shipped[k + 1] - shipped[k])));
  }
  return take;
}

void BM_AlignLongestPhrase(benchmark::State& state) {
  const std::vector<std::int16_t> shipped = Shipped(38);
  const std::vector<std::int16_t> take =
      SlowTake(shipped, static_cast<double>(state.range(0)) / 100, 500);
  bool bAligned = true;
  for (auto _ : state) {
    const TakeOnsets r = AlignTake(take.data(), take.size(), shipped.data(), shipped.size(), 38);
    bAligned = bAligned && !r.bFellBack;
    benchmark::DoNotOptimize(r.onsetsMs.data());
  }
  state.counters["take_s"] = static_cast<double>(take.size()) / 11025;
  state.counters["aligned"] = bAligned ? 1 : 0;
}
BENCHMARK(BM_AlignLongestPhrase)->Arg(100)->Arg(130)->Unit(benchmark::kMillisecond);

// The generated take of phrase 38 drawn out unevenly, with pauses: 5.6 s.
void BM_AlignLongestPhraseWarped(benchmark::State& state) {
  const std::vector<std::int16_t> shipped = Shipped(38);
  const std::vector<std::int16_t> take =
      ReadVoiceSamples(std::string(SOLVARI_ALIGN_TAKES_DIR) + "/warp/V38.SGM");
  if (take.empty()) {
    state.SkipWithError("no generated takes (tools/make_align_takes.py)");
    return;
  }
  for (auto _ : state) {
    const TakeOnsets r = AlignTake(take.data(), take.size(), shipped.data(), shipped.size(), 38);
    benchmark::DoNotOptimize(r.onsetsMs.data());
  }
  state.counters["take_s"] = static_cast<double>(take.size()) / 11025;
}
BENCHMARK(BM_AlignLongestPhraseWarped)->Unit(benchmark::kMillisecond);

// A take of another phrase: aligned in full, then refused by its cost.
void BM_AlignAnotherPhrase(benchmark::State& state) {
  const std::vector<std::int16_t> shipped = Shipped(38);
  const std::vector<std::int16_t> take = SlowTake(Shipped(2), 1.3, 300);
  for (auto _ : state) {
    const TakeOnsets r = AlignTake(take.data(), take.size(), shipped.data(), shipped.size(), 38);
    benchmark::DoNotOptimize(r.onsetsMs.data());
  }
}
BENCHMARK(BM_AlignAnotherPhrase)->Unit(benchmark::kMillisecond);

// The generated sets: every take aligned once per iteration; the counters are
// the error figures over all of them (median and worst in ms, shares in %).
void BM_AlignGeneratedTakes(benchmark::State& state) {
  std::vector<testing::KnownTake> takes;
  for (const char* set : testing::kTakeSets) {
    for (auto& t : testing::ReadTakeSet(std::string(SOLVARI_ALIGN_TAKES_DIR) + "/" + set))
      takes.push_back(std::move(t));
  }
  if (takes.empty()) {
    state.SkipWithError("no generated takes (tools/make_align_takes.py)");
    return;
  }
  std::vector<std::vector<std::int16_t>> shipped(54);
  for (int p = 0; p < 54; ++p) shipped[p] = Shipped(p);
  ErrorFigures figures, scaled;
  for (auto _ : state) {
    figures = ErrorFigures();
    scaled = ErrorFigures();
    for (const auto& t : takes) {
      const auto& s = shipped[t.nPhrase];
      const TakeOnsets r =
          AlignTake(t.samples.data(), t.samples.size(), s.data(), s.size(), t.nPhrase);
      figures.Add(t, r.onsetsMs, r.bFellBack);
      scaled.Add(t, ScaledOnsets(t.samples.size(), t.nPhrase), false);
    }
  }
  state.counters["takes"] = static_cast<double>(takes.size());
  state.counters["median_ms"] = figures.Median();
  state.counters["within30_pct"] = 100 * figures.ShareWithin(30);
  state.counters["within50_pct"] = 100 * figures.ShareWithin(50);
  state.counters["worst_ms"] = figures.Worst();
  state.counters["fell_back"] = figures.nFellBack;
  state.counters["scaled_median_ms"] = scaled.Median();
  state.counters["scaled_within50_pct"] = 100 * scaled.ShareWithin(50);
}
BENCHMARK(BM_AlignGeneratedTakes)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace solvari
