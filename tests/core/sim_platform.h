// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated platform for the recitation: a clock with a message queue and
// the frame's timers, a voice output device whose buffers end after their
// PCM length, a view that keeps track of the columns on its page, and a
// frame window that can be maximized and restored.
//
// Message order is the platform's: posted events first, then a pending
// paint, then due timers; the clock moves only when nothing is due.
// Everything the fakes are asked to do is written to one log, in order.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/reading_sequencer.h"
#include "core/sequencer_platform.h"

namespace solvari::sim {

using Micros = std::int64_t;
inline constexpr Micros kMicrosPerMs = 1000;

struct LogEntry {
  Micros time;
  std::string text;  // e.g. "Close", "Erase 3", "Highlight 2 0", "SetTimer 20 300"
};

// What one dispatch did.
struct Dispatch {
  enum Kind { None, Posted, Paint, Timer } kind = None;
  unsigned id = 0;  // the timer id for Timer
  Micros time = 0;
};

// The clock, the posted-event queue and the frame's timers (one-shot per id;
// arming a pending id replaces it).
class CSimLoop : public ITimerService {
 public:
  Micros Now() const { return m_now; }
  double NowMs() const { return static_cast<double>(m_now) / kMicrosPerMs; }

  void Log(std::string text);
  const std::vector<LogEntry>& LogEntries() const { return m_log; }
  void ClearLog() { m_log.clear(); }
  // The log texts from index `from` on.
  std::vector<std::string> LogSince(std::size_t from) const;

  // An event posted to the frame's queue.
  void Post(std::function<void()> fn) { m_posted.push_back(std::move(fn)); }
  std::size_t PostedCount() const { return m_posted.size(); }

  // Something outside the UI thread (the audio device) acting at a time;
  // returns an id for CancelAction.
  int ScheduleAction(Micros at, std::function<void()> fn);
  void CancelAction(int id) { m_actions.erase(id); }

  // A source of paints: returns true when it had a paint pending and ran it.
  void AddPainter(std::function<bool()> paint) { m_painters.push_back(std::move(paint)); }
  // Where due timers are delivered.
  void SetTimerSink(std::function<void(unsigned)> sink) { m_timerSink = std::move(sink); }

  // ITimerService
  void SetTimer(unsigned nIDEvent, unsigned nElapse) override;
  void KillTimer(unsigned nIDEvent) override;
  bool IsArmed(unsigned nIDEvent) const { return m_timers.count(nIDEvent) != 0; }
  // Remaining time of a pending timer, -1 when it is not armed.
  Micros DueIn(unsigned nIDEvent) const;
  std::size_t ArmedCount() const { return m_timers.size(); }

  // Timers fire this much later than armed (negative: earlier), as a busy
  // system's timers do.
  void SetTimerLateness(Micros us) { m_timerLateness = us; }
  // Dispatches one message, moving the clock forward as far as needed but
  // never past `limit`. Returns None when nothing happens up to `limit`.
  Dispatch Step(Micros limit = INT64_MAX);
  // Dispatches everything up to now + ms, then sets the clock there.
  void RunFor(double ms);
  // Dispatches until pred() holds after a dispatch, or nothing is left, or
  // the clock would pass now + maxMs. Returns whether pred() held.
  bool RunUntil(const std::function<bool()>& pred, double maxMs = 3.6e6);
  // Runs until no message, timer or device action is left (bounded).
  void RunUntilIdle(double maxMs = 3.6e6);
  // Moves the clock on as if the UI thread were busy: device actions run
  // (and may post), but nothing is dispatched.
  void AdvanceBusy(double ms);

 private:
  struct Armed {
    Micros due;
    std::uint64_t seq;
  };
  bool RunDueActions();
  Micros NextWake() const;

  Micros m_now = 0;
  Micros m_timerLateness = 0;
  std::deque<std::function<void()>> m_posted;
  std::map<int, std::pair<Micros, std::function<void()>>> m_actions;
  int m_nextAction = 1;
  std::map<unsigned, Armed> m_timers;
  std::uint64_t m_seq = 0;
  std::vector<std::function<bool()>> m_painters;
  std::function<void(unsigned)> m_timerSink;
  std::vector<LogEntry> m_log;
};

// Voice files and the wave-output device. Voice files live under paths
// (GetVoiceSegmentPath of a phrase); a buffer of N bytes plays N / 22050 s
// and then posts its buffer-done event, as a reset does at once.
class CSimVoice : public IVoiceOutput {
 public:
  enum class Device { Closed, Open, Playing, Done };
  static constexpr int kOpenError = 4;  // "device already allocated"

  explicit CSimVoice(CSimLoop& loop) : m_loop(loop) {}

  // Byte count of a voice lasting `ms` (16-bit mono at 11025 Hz).
  static std::uint32_t BytesForMs(double ms);
  void SetFile(const std::string& path, std::uint32_t nBytes) { m_files[path] = nBytes; }
  void SetPhraseVoice(int nPhrase, std::uint32_t nBytes);
  void RemovePhraseVoice(int nPhrase);
  // Every phrase's voice lasting its summed character durations + extraMs.
  void SetAllPhraseVoices(double extraMs);

  // Failures, keyed by the phrase whose file was loaded last.
  std::set<int> m_failOpen;
  std::set<int> m_failPlay;
  bool m_bFailEveryOpen = false;

  // Where the buffer-done event goes when it is dispatched.
  void SetDoneSink(std::function<void()> sink) { m_doneSink = std::move(sink); }

  // The wave buffer goes away (the frame's destruction): its data block is
  // released. A device that is not closed then is a fault.
  void ReleaseBuffer();

  // IVoiceOutput
  bool LoadVoiceSegment(const std::string& path) override;
  int OpenOutput() override;
  bool GetHeardMs(std::int64_t* pMs) override;
  // Gives the device a clock: a voice is heard latencyMs after it is queued,
  // and is done when its end has been heard.
  void EnableClock(double latencyMs) {
    m_bClock = true;
    m_latency = static_cast<Micros>(latencyMs * kMicrosPerMs);
  }
  // The clock stands between the output's reports, as a device's clock that
  // runs only a little past its output's last word: it reads what was heard
  // at the last report, made every everyMs and answerMs after each
  // WantHeardAt.
  void StandClockBetweenReports(double everyMs, double answerMs) {
    m_reportEvery = static_cast<Micros>(everyMs * kMicrosPerMs);
    m_answerAfter = static_cast<Micros>(answerMs * kMicrosPerMs);
  }
  // Every moment the reading said it would read the clock at, by phrase.
  void WantHeardAt(std::int64_t nMs) override;
  std::set<std::pair<int, std::int64_t>> m_wanted;
  // Adds this much to every clock reading (a device that reports nonsense).
  void SkewClock(std::int64_t nMs) { m_nSkewMs = nMs; }
  int PlayAll() override;
  void ResetOutput() override;
  void CloseOutput() override;

  Device State() const { return m_state; }
  int HeldBlocks() const { return m_data ? 1 : 0; }
  int LoadedPhrase() const { return m_nLoadedPhrase; }
  // Start time and phrase of every voice that began to play.
  struct Play {
    Micros start;
    int phrase;
  };
  const std::vector<Play>& Plays() const { return m_plays; }
  void ClearPlays() { m_plays.clear(); }
  int DonePosted() const { return m_nDonePosted; }
  int SuccessfulPlays() const { return m_nSuccessfulPlays; }
  // Misuse of the device (load while open, close twice, ...).
  const std::vector<std::string>& Faults() const { return m_faults; }

 private:
  std::int64_t m_nSkewMs = 0;
  Micros m_reportEvery = 0;
  Micros m_answerAfter = 0;
  Micros m_lastAnswer = 0;
  std::vector<Micros> m_answers;  // reports asked for, by when they come
  void PostDone();
  void Fault(std::string what);

  CSimLoop& m_loop;
  std::map<std::string, std::uint32_t> m_files;
  std::map<std::string, int> m_phraseOfPath;
  std::unique_ptr<std::vector<std::uint8_t>> m_data;
  std::uint32_t m_dwDataSize = 0;
  int m_nLoadedPhrase = -1;
  Device m_state = Device::Closed;
  int m_endAction = 0;
  std::vector<Play> m_plays;
  int m_nDonePosted = 0;
  bool m_bClock = false;
  Micros m_latency = 0;
  Micros m_heardStart = 0;
  int m_nSuccessfulPlays = 0;
  std::function<void()> m_doneSink;
  std::vector<std::string> m_faults;
};

// The sutra view: records every operation and keeps the columns on its page,
// slot by slot, with their lit characters. A repaint paints the face that
// the frame's state asks for: in Starting and Reading the columns from
// m_nPhrase through the later of the last phrase of its page and
// m_nPhrase + n - 4 (never past 53), in Idle and Title the overview.
class CSimView : public IReadingView {
 public:
  static constexpr int kSlotWidth = 114;
  CSimView(CSimLoop& loop, int width, int height);

  void SetFrame(const CReadingSequencer* pFrame) { m_pFrame = pFrame; }
  // A change of size repaints the whole view; returns whether it changed.
  bool Resize(int width, int height);
  int Width() const { return m_width; }

  // IReadingView
  int ColumnsPerPage() override { return m_width / kSlotWidth; }
  void EraseColumn(int nPhrase) override;
  void DrawColumn(int nPhrase) override;
  void HighlightChar(int nPhrase, int nChar) override;
  void InvalidateView() override;

  bool ShowsOverview() const { return m_bOverview; }
  // Phrases whose columns stand on the page, ascending.
  std::vector<int> Page() const;
  // Phrase in slot s, -1 when the slot shows the background only.
  int SlotPhrase(int s) const;
  // Lit characters of phrase p's column, ascending (empty when not shown).
  std::vector<int> LitChars(int nPhrase) const;
  bool PaintPending() const { return m_bPaintPending; }
  int Paints() const { return m_nPaints; }
  // Highlights that landed on another phrase's column, or on a slot that
  // shows the background only.
  int HighlightsOnForeignColumn() const { return m_nOnForeign; }
  int HighlightsOnBackground() const { return m_nOnBackground; }
  // Calls that break the view's preconditions.
  const std::vector<std::string>& Faults() const { return m_faults; }

 private:
  struct Slot {
    int phrase = -1;
    std::uint32_t lit = 0;
  };
  bool Paint();
  bool CheckSlot(const char* op, int nPhrase, int& s);

  CSimLoop& m_loop;
  const CReadingSequencer* m_pFrame = nullptr;
  int m_width;
  int m_height;
  bool m_bOverview = true;
  bool m_bPaintPending = true;
  std::vector<Slot> m_slots;
  int m_nPaints = 0;
  int m_nOnForeign = 0;
  int m_nOnBackground = 0;
  std::vector<std::string> m_faults;
};

// The frame window: normal or maximized; each size sets the view's size.
class CSimFrame : public IFrameWindow {
 public:
  struct Size {
    int width, height;
  };
  CSimFrame(CSimLoop& loop, CSimView& view, Size normal, Size maximized)
      : m_loop(loop), m_view(view), m_normal(normal), m_maximized(maximized) {}

  bool IsZoomed() override { return m_bZoomed; }
  void ShowMaximized() override;
  bool ShowNormal() override;
  // The user maximizes or restores the frame with its caption buttons.
  void UserMaximize();
  void UserRestore();

 private:
  CSimLoop& m_loop;
  CSimView& m_view;
  Size m_normal;
  Size m_maximized;
  bool m_bZoomed = false;
};

// All of the above wired together, delivering timers and buffer-done events
// to an attached frame. Detach() stands for the frame's destruction: what is
// still in flight is then dropped and counted.
class CSimPlatform {
 public:
  // The view of the fixed-size frame is 723 x 425 (6 slots); maximized on a
  // 1024 x 768 screen it is 1018 x 626 (8 slots).
  static constexpr CSimFrame::Size kNormalView{723, 425};
  static constexpr CSimFrame::Size kMaximizedView{1018, 626};

  explicit CSimPlatform(CSimFrame::Size normal = kNormalView,
                        CSimFrame::Size maximized = kMaximizedView);
  CSimPlatform(const CSimPlatform&) = delete;
  CSimPlatform& operator=(const CSimPlatform&) = delete;

  SequencerPlatform Platform() { return {&loop, &voice, &view, &frame}; }
  void Attach(CReadingSequencer* pFrame);
  void Detach();
  int Dropped() const { return m_nDropped; }

  CSimLoop loop;
  CSimVoice voice;
  CSimView view;
  CSimFrame frame;

 private:
  CReadingSequencer* m_pTarget = nullptr;
  int m_nDropped = 0;
};

}  // namespace solvari::sim
