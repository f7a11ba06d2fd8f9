// One phrase change: the buffer-done handler closes the device, erases the
// heard column, draws the next one, reads the next voice, opens the device,
// plays and lights the first character. The device and timers are stand-ins
// that cost nothing; the view here only counts (replace it with the real view
// drawing into a surface to measure the drawing too).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/exe_directory.h"
#include "core/reading_sequencer.h"
#include "core/sutra_tables.h"
#include "core/voice_segment_path.h"

namespace {

using namespace solvari;

class CNullTimers : public ITimerService {
 public:
  void SetTimer(unsigned nIDEvent, unsigned nElapse) override { m_armed[nIDEvent % 32] = nElapse; }
  void KillTimer(unsigned nIDEvent) override { m_armed[nIDEvent % 32] = 0; }
  unsigned m_armed[32] = {};
};

// Reads the voice file into one held buffer, as the loader does: a 4-byte
// length, then that many bytes.
class CFileVoice : public IVoiceOutput {
 public:
  bool LoadVoiceSegment(const std::string& path) override {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char len[4];
    bool ok = std::fread(len, 1, 4, f) == 4;
    if (ok) {
      const std::uint32_t n = len[0] | len[1] << 8 | len[2] << 16 | std::uint32_t{len[3]} << 24;
      m_data.resize(n);
      ok = std::fread(m_data.data(), 1, n, f) == n;
    }
    std::fclose(f);
    return ok;
  }
  int OpenOutput() override { return 0; }
  int PlayAll() override { return 1; }
  void ResetOutput() override {}
  void CloseOutput() override {}
  std::vector<std::uint8_t> m_data;
};

class CCountingView : public IReadingView {
 public:
  int ColumnsPerPage() override { return 6; }
  void EraseColumn(int nPhrase) override { m_nCalls += nPhrase; }
  void DrawColumn(int nPhrase) override { m_nCalls += nPhrase; }
  void HighlightChar(int nPhrase, int nChar) override { m_nCalls += nPhrase + nChar; }
  void InvalidateView() override { ++m_nCalls; }
  long m_nCalls = 0;
};

class CPlainFrame : public IFrameWindow {
 public:
  bool IsZoomed() override { return false; }
  void ShowMaximized() override {}
  bool ShowNormal() override { return false; }
};

// Voice files as long as their phrases plus a quarter second, in a
// temporary directory.
void WriteVoiceFiles(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  SetExeDirectory(dir.string());
  for (int p = 0; p < kPhraseCount; ++p) {
    const std::uint32_t n = 2u * static_cast<std::uint32_t>((GetPhraseDuration(p) + 250) * 11.025);
    std::vector<std::uint8_t> bytes(4 + n, 0);
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = (n >> (8 * i)) & 0xFF;
    std::FILE* f = std::fopen(GetVoiceSegmentPath(p).c_str(), "wb");
    if (!f) continue;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

void BM_PhraseChange(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / "solvari-bench-voice";
  WriteVoiceFiles(dir);
  CNullTimers timers;
  CFileVoice voice;
  CCountingView view;
  CPlainFrame frame;
  CReadingSequencer seq({&timers, &voice, &view, &frame}, 0);
  int phrase = 0;
  for (auto _ : state) {
    // The voice of `phrase` has ended; phrase + 1 begins.
    seq.m_nState = Reading;
    seq.m_nPhrase = phrase;
    seq.OnWomDone();
    phrase = phrase == kLastPhrase - 1 ? 0 : phrase + 1;
  }
  if (seq.m_nState != Reading) state.SkipWithError("the reading ended");
  benchmark::DoNotOptimize(view.m_nCalls);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_PhraseChange)->Unit(benchmark::kMicrosecond);

}  // namespace

