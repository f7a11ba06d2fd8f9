// SPDX-License-Identifier: GPL-3.0-or-later
// The wooden fish mixed into the longest phrase (its nine or ten strikes),
// and the voiceless phrase made from silence: the work done once per phrase
// while reciting, to be set against the phrase's own length.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audio/instrument_mix.h"
#include "audio/voice_segment.h"
#include "core/instrument_settings.h"
#include "core/sutra_tables.h"

namespace solvari {
namespace {

int LongestPhrase() {
  int nBest = 0;
  for (int p = 0; p < kPhraseCount; ++p)
    if (GetPhraseDuration(p) > GetPhraseDuration(nBest)) nBest = p;
  return nBest;
}

CTempleInstruments Instruments() {
  CTempleInstruments instruments;
  instruments.Load(std::string(SOLVARI_SOURCE_DIR) + "/data/");
  return instruments;
}

void BM_MokugyoIntoVoice(benchmark::State& state) {
  const CTempleInstruments instruments = Instruments();
  const int p = LongestPhrase();
  std::vector<std::uint8_t> voice;
  char name[16];
  std::snprintf(name, sizeof name, "V%02d.SGM", p);
  if (!ReadVoiceSegmentFile(std::string(SOLVARI_SOURCE_DIR) + "/data/" + name, &voice)) {
    state.SkipWithError("no voice file");
    return;
  }
  InstrumentSettings settings;
  settings.nMokugyo = MokugyoEveryChar;
  const auto onsets = TableOnsetSamples(p, 100);
  for (auto _ : state) {
    std::vector<std::uint8_t> pcm = voice;
    instruments.PreparePhrase(&pcm, p, 100, onsets, settings);
    benchmark::DoNotOptimize(pcm.data());
  }
}
BENCHMARK(BM_MokugyoIntoVoice)->Unit(benchmark::kMicrosecond);

void BM_VoicelessPhrase(benchmark::State& state) {
  const CTempleInstruments instruments = Instruments();
  const int p = LongestPhrase();
  InstrumentSettings settings;
  settings.nMokugyo = MokugyoEveryChar;
  settings.bVoice = 0;
  const int nTempo = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::vector<std::uint8_t> pcm;
    instruments.PreparePhrase(&pcm, p, nTempo, {}, settings);
    benchmark::DoNotOptimize(pcm.data());
  }
}
BENCHMARK(BM_VoicelessPhrase)->Arg(50)->Arg(150)->Unit(benchmark::kMicrosecond);

void BM_BellTwoThree(benchmark::State& state) {
  const CTempleInstruments instruments = Instruments();
  for (auto _ : state) benchmark::DoNotOptimize(instruments.Bell(3).data());
}
BENCHMARK(BM_BellTwoThree)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace solvari
