// SPDX-License-Identifier: GPL-3.0-or-later
// LoadVoiceSegment on the longest segment; and, with a sound server, one
// phrase change on the real device (close, load, open, play), the silence
// between two segments played back to back and how much of each is lost.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/pulse/pulse_wave_device.h"
#include "audio/voice_segment.h"
#include "audio/voice_take.h"
#include "core/sutra_tables.h"
#include "pulse_support.h"

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

void BM_LoadVoiceSegment(benchmark::State& state) {
  const std::string path = LongestSegment();
  CWaveBuffer wave(nullptr, nullptr, nullptr);
  for (auto _ : state) {
    if (!LoadVoiceSegment(wave, path)) {
      state.SkipWithError("no voice segment");
      break;
    }
    benchmark::DoNotOptimize(wave.GetDataHandle());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * wave.GetDataSize());
  state.SetLabel(fs::path(path).filename().string());
}
BENCHMARK(BM_LoadVoiceSegment);

// What Stop costs on the UI thread for the longest take the recording window
// holds (30 s): finding the voice, trimming and normalising it; and keeping
// it (a temporary file flushed to the disk, then renamed).
std::vector<std::int16_t> LongTake() {
  std::vector<std::int16_t> v(11025 * 30);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / 11025.0;
    const double env = (i / 3307) % 2 ? 0.8 : 0.1;  // syllables and dips of 300 ms
    v[i] = static_cast<std::int16_t>(8000 * env * std::sin(2 * M_PI * 200 * t));
  }
  return v;
}

void BM_PrepareTake30s(benchmark::State& state) {
  const std::vector<std::int16_t> take = LongTake();
  for (auto _ : state) benchmark::DoNotOptimize(PrepareTake(take.data(), take.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 *
                          static_cast<std::int64_t>(take.size()));
}
BENCHMARK(BM_PrepareTake30s)->Unit(benchmark::kMillisecond);

void BM_SaveVoiceTake30s(benchmark::State& state) {
  const std::vector<std::int16_t> take = LongTake();
  const fs::path dir = fs::temp_directory_path() / "solvari-bench-voice";
  for (auto _ : state) {
    if (SaveVoiceTake(dir.string(), 0, take) != SaveTakeResult::kSaved) {
      state.SkipWithError("cannot save");
      break;
    }
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}
BENCHMARK(BM_SaveVoiceTake30s)->Unit(benchmark::kMillisecond);

struct Counter : IWaveNotify {
  int nDone = 0;
  void OnWomDone() override { ++nDone; }
};

// What the recitation does on a buffer-done: close, load the next, open, play.
void BM_PhraseChangeOnDevice(benchmark::State& state) {
  const std::string path = LongestSegment();
  CMemoryProfileStore profile;
  Counter notify;
  CWaveBuffer wave(std::make_unique<CPulseWaveOutDevice>(&test::Poster()), nullptr, &profile);
  for (auto _ : state) {
    wave.CloseOutput();
    LoadVoiceSegment(wave, path);
    if (wave.OpenOutput(&notify, 11025, 16, 1) != 0) {
      state.SkipWithError("no sound server (run through tools/with-pulse.sh)");
      break;
    }
    if (!wave.PlayAll()) {
      state.SkipWithError("play failed");
      break;
    }
    state.PauseTiming();
    wave.ResetOutput();
    test::PumpUntil([&] { return notify.nDone > 0; }, 2000);
    notify.nDone = 0;
    state.ResumeTiming();
  }
  wave.CloseOutput();
}
BENCHMARK(BM_PhraseChangeOnDevice)->Unit(benchmark::kMicrosecond)->Iterations(30);

// Two 1-second tones, the second started from the first one's done handler,
// as captured on the null sink's monitor.
void BM_BackToBackOnNullSink(benchmark::State& state) {
  if (test::CapturePath().empty()) {
    state.SkipWithError("run through tools/with-pulse.sh");
    return;
  }
  const fs::path dir = fs::temp_directory_path() / "solvari-bench-voice";
  fs::create_directories(dir);
  const std::string a = (dir / "a.SGM").string(), b = (dir / "b.SGM").string();
  const auto toneA = test::MakeTone(1000, 440), toneB = test::MakeTone(1000, 660);
  WriteVoiceSegment(a, toneA.data(), static_cast<std::uint32_t>(toneA.size()));
  WriteVoiceSegment(b, toneB.data(), static_cast<std::uint32_t>(toneB.size()));

  struct Sequencer : IWaveNotify {
    CWaveBuffer* pWave = nullptr;
    std::string next;
    int nDone = 0;
    void OnWomDone() override {
      ++nDone;
      pWave->CloseOutput();
      if (next.empty()) return;
      LoadVoiceSegment(*pWave, next);
      next.clear();
      pWave->OpenOutput(this, 11025, 16, 1);
      pWave->PlayAll();
    }
  };
  CMemoryProfileStore profile;
  CWaveBuffer wave(std::make_unique<CPulseWaveOutDevice>(&test::Poster()), nullptr, &profile);
  double dGapSum = 0, dGapMax = 0, dLostSum = 0, dLostMax = 0;
  int nRounds = 0;
  for (auto _ : state) {
    Sequencer seq;
    seq.pWave = &wave;
    seq.next = b;
    const auto nFrom = test::CaptureSize();
    LoadVoiceSegment(wave, a);
    if (wave.OpenOutput(&seq, 11025, 16, 1) != 0 || !wave.PlayAll()) {
      state.SkipWithError("no sound server");
      break;
    }
    test::PumpUntil([&] { return seq.nDone == 2; }, 6000);
    test::PumpFor(300);
    const auto spans = test::SoundSpans(test::ReadCapture(nFrom), 300, 20);
    if (spans.size() != 2) {
      std::string what = "expected two sounds, captured";
      for (const auto& sp : spans) {
        what += " " + std::to_string(sp.first) + ".." + std::to_string(sp.last);
      }
      state.SkipWithError(what.c_str());
      break;
    }
    const double kMsPerSample = 1000.0 / test::kCaptureRate;
    const double dGap = (spans[1].first - spans[0].last - 1) * kMsPerSample;
    for (const auto& s : spans) {
      const double dLost = 1000.0 - (s.last - s.first + 1) * kMsPerSample;
      dLostSum += dLost;
      dLostMax = std::max(dLostMax, dLost);
    }
    if (std::getenv("SOLVARI_BENCH_VERBOSE")) {
      std::fprintf(stderr, "A %.2f ms, gap %.2f ms, B %.2f ms\n",
                   (spans[0].last - spans[0].first + 1) * kMsPerSample, dGap,
                   (spans[1].last - spans[1].first + 1) * kMsPerSample);
    }
    dGapSum += dGap;
    dGapMax = std::max(dGapMax, dGap);
    ++nRounds;
  }
  if (nRounds) {
    state.counters["gap_ms"] = dGapSum / nRounds;
    state.counters["gap_max_ms"] = dGapMax;
    state.counters["lost_end_ms"] = dLostSum / (2 * nRounds);
    state.counters["lost_end_max_ms"] = dLostMax;
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_BackToBackOnNullSink)->Unit(benchmark::kMillisecond)->Iterations(8);

}  // namespace
}  // namespace solvari

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
