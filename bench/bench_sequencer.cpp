// SPDX-License-Identifier: GPL-3.0-or-later
// One phrase change as the program makes it: the buffer-done handler closes
// the device, erases the heard column, draws the next one into the view's
// surface, reads the next voice file into the wave buffer, opens the device,
// plays and lights the first character. Only the sound device is a stand-in
// that costs nothing (its open is measured by the audio benchmarks).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "audio/voice_segment.h"
#include "audio/wave_buffer.h"
#include "core/exe_directory.h"
#include "core/profile_store.h"
#include "core/reading_sequencer.h"
#include "core/sutra_tables.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"

namespace {

using namespace solvari;

class CNullTimers : public ITimerService {
 public:
  void SetTimer(unsigned, unsigned) override {}
  void KillTimer(unsigned) override {}
};

class CNullDevice : public IWaveOutDevice {
 public:
  int Open(const WaveFormat&, int, IWaveNotify*) override { return 0; }
  int Write(const std::uint8_t*, std::uint32_t) override { return 0; }
  int Reset() override { return 0; }
  int Close() override { return 0; }
};

class CBenchNotify : public IWaveNotify {
 public:
  void OnWomDone() override {}
};

class CWaveVoice : public IVoiceOutput {
 public:
  CWaveVoice() : m_wave(std::make_unique<CNullDevice>(), nullptr, &m_profile) {}
  bool LoadVoiceSegment(const std::string& path) override {
    return solvari::LoadVoiceSegment(m_wave, path) != 0;
  }
  int OpenOutput() override { return m_wave.OpenOutput(&m_notify, 11025, 16, 1); }
  int PlayAll() override { return m_wave.PlayAll(); }
  void ResetOutput() override { m_wave.ResetOutput(); }
  void CloseOutput() override { m_wave.CloseOutput(); }

 private:
  CMemoryProfileStore m_profile;
  CBenchNotify m_notify;
  CWaveBuffer m_wave;
};

class CBenchHost : public ISutraViewHost {
 public:
  int GetReadingState() const override { return m_pSeq->m_nState; }
  int GetCurrentPhrase() const override { return m_pSeq->m_nPhrase; }
  const CPackedDib& GetPicture() const override { return m_picture; }
  const CPalette* GetPalette() const override { return nullptr; }
  const CReadingSequencer* m_pSeq = nullptr;
  CPackedDib m_picture;
};

class CViewAdapter : public IReadingView {
 public:
  explicit CViewAdapter(CSutraView& view) : m_view(view) {}
  int ColumnsPerPage() override { return m_view.ColumnsPerPage(); }
  void EraseColumn(int nPhrase) override { m_view.EraseColumn(nPhrase); }
  void DrawColumn(int nPhrase) override { m_view.DrawColumn(nPhrase); }
  void HighlightChar(int nPhrase, int nChar) override { m_view.HighlightChar(nPhrase, nChar); }
  void InvalidateView() override { m_view.OnPaint(); }

 private:
  CSutraView& m_view;
};

class CPlainFrame : public IFrameWindow {
 public:
  bool IsZoomed() override { return false; }
  void ShowMaximized() override {}
  bool ShowNormal() override { return false; }
};

void BM_PhraseChange(benchmark::State& state) {
  SetExeDirectory(std::string(SOLVARI_SOURCE_DIR) + "/data");
  CBenchHost host;
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  CNullTimers timers;
  CWaveVoice voice;
  CViewAdapter viewOps(view);
  CPlainFrame frame;
  CReadingSequencer seq({&timers, &voice, &viewOps, &frame}, 0);
  host.m_pSeq = &seq;
  seq.m_nState = Reading;
  view.OnPaint();
  int phrase = 0;
  for (auto _ : state) {
    // The voice of `phrase` has ended; phrase + 1 begins.
    seq.m_nState = Reading;
    seq.m_nPhrase = phrase;
    seq.OnWomDone();
    phrase = phrase == kLastPhrase - 1 ? 0 : phrase + 1;
  }
  if (seq.m_nState != Reading) state.SkipWithError("the reading ended");
}
BENCHMARK(BM_PhraseChange)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// A step to the next phrase while one plays (→): the voice is reset, and its
// buffer-done handler draws the whole page afresh from the new phrase before
// reading and playing its voice.
void BM_PhraseStep(benchmark::State& state) {
  SetExeDirectory(std::string(SOLVARI_SOURCE_DIR) + "/data/");
  CBenchHost host;
  CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(723, 425);
  CNullTimers timers;
  CWaveVoice voice;
  CViewAdapter viewOps(view);
  CPlainFrame frame;
  CReadingSequencer seq({&timers, &voice, &viewOps, &frame}, 0);
  host.m_pSeq = &seq;
  seq.m_nState = Reading;
  view.OnPaint();
  int phrase = 0;
  for (auto _ : state) {
    seq.m_nState = Reading;
    seq.m_nPhrase = phrase;
    seq.OnReadNext();
    seq.OnWomDone();
    phrase = phrase == kLastPhrase - 1 ? 0 : phrase + 1;
  }
  if (seq.m_nState != Reading) state.SkipWithError("the reading ended");
}
BENCHMARK(BM_PhraseStep)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
