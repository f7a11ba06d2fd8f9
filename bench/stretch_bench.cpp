// SPDX-License-Identifier: GPL-3.0-or-later
// The time stretch of the longest voice file at the slowest and the fastest
// tempo, and taking a stretch made ahead, next to reading the file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/stretch_ahead.h"
#include "audio/time_stretch.h"
#include "audio/voice_segment.h"
#include "core/sutra_tables.h"

namespace solvari {
namespace {

namespace fs = std::filesystem;

std::string LongestSegment() {
  std::string best;
  std::uintmax_t nBest = 0;
  for (int p = 0; p < kPhraseCount; ++p) {
    char name[16];
    std::snprintf(name, sizeof name, "V%02d.SGM", p);
    const fs::path path = fs::path(SOLVARI_SOURCE_DIR) / "data" / name;
    std::error_code ec;
    const auto n = fs::file_size(path, ec);
    if (!ec && n > nBest) {
      nBest = n;
      best = path.string();
    }
  }
  return best;
}

bool LoadBytes(const std::string& path, CWaveBuffer& wave, std::vector<std::uint8_t>& bytes) {
  if (!LoadVoiceSegment(wave, path)) return false;
  const std::uint8_t* p = wave.LockData();
  bytes.assign(p, p + wave.m_dwDataSize);
  wave.UnlockData();
  return true;
}

void BM_ReadVoiceFile(benchmark::State& state) {
  const std::string path = LongestSegment();
  CWaveBuffer wave(nullptr, nullptr, nullptr);
  for (auto _ : state) {
    if (!LoadVoiceSegment(wave, path)) {
      state.SkipWithError("no voice segment");
      break;
    }
    benchmark::DoNotOptimize(wave.GetDataHandle());
  }
  state.SetLabel(fs::path(path).filename().string());
}
BENCHMARK(BM_ReadVoiceFile)->Unit(benchmark::kMillisecond);

// The stretch itself, as the worker (or a synchronous fall-back) does it.
void BM_StretchLongestVoice(benchmark::State& state) {
  const int nTempo = static_cast<int>(state.range(0));
  const std::string path = LongestSegment();
  CWaveBuffer wave(nullptr, nullptr, nullptr);
  std::vector<std::uint8_t> in;
  if (!LoadBytes(path, wave, in)) {
    state.SkipWithError("no voice segment");
    return;
  }
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    StretchVoiceBytes(in.data(), in.size(), kVoiceSamplesPerSec, nTempo, out);
    benchmark::DoNotOptimize(out.data());
  }
  const double dSeconds = static_cast<double>(in.size()) / kVoiceBytesPerSec;
  state.counters["voice_s"] = dSeconds;
  state.counters["out_s"] = static_cast<double>(out.size()) / kVoiceBytesPerSec;
  state.SetLabel(fs::path(path).filename().string());
}
BENCHMARK(BM_StretchLongestVoice)->Arg(50)->Arg(150)->Unit(benchmark::kMillisecond);

// What the user-interface thread does when the phrase starts and its
// stretch was made ahead: read the file, take the ready stretch.
void BM_ReadAndTakePrepared(benchmark::State& state) {
  const int nTempo = static_cast<int>(state.range(0));
  const std::string path = LongestSegment();
  CStretchAhead ahead;
  ahead.Prepare(path, nTempo);
  ahead.WaitIdle();
  CWaveBuffer wave(nullptr, nullptr, nullptr);
  std::vector<std::uint8_t> in;
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    if (!LoadBytes(path, wave, in)) {
      state.SkipWithError("no voice segment");
      break;
    }
    if (ahead.Take(path, nTempo, in.data(), in.size(), out) != CStretchAhead::Source::Ready) {
      state.SkipWithError("stretch not ready");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_ReadAndTakePrepared)->Arg(50)->Arg(150)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace solvari
