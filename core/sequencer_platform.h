// SPDX-License-Identifier: GPL-3.0-or-later
// What the recitation sequencer needs from the world around it: the frame's
// timers, the voice output, the sutra view and the frame window. The Qt frame
// implements each by forwarding to its timer service, wave buffer, view and
// window; the tests implement them with a simulated clock and device.
#pragma once

#include <cstdint>
#include <string>

namespace solvari {

// Timer ids of the main frame. Each is used one-shot: its handler kills it
// first and arms the next interval explicitly.
inline constexpr unsigned TIMER_START = 10;
inline constexpr unsigned TIMER_CHAR = 20;
inline constexpr unsigned TIMER_TITLE = 30;
inline constexpr unsigned TIMER_TITLE_END = 31;

// Delay between Start (or a repeat) and the first phrase's voice.
inline constexpr unsigned kStartDelayMs = 300;
// The title: shown this long after the frame is created, for this long.
inline constexpr unsigned kTitleDelayMs = 200;
inline constexpr unsigned kTitleShowMs = 6000;

// Window timers of the frame, keyed by id.
class ITimerService {
 public:
  virtual ~ITimerService() = default;
  // Arms timer nIDEvent to fire once after nElapse ms. Arming an id that is
  // still pending replaces it (the old interval is forgotten).
  virtual void SetTimer(unsigned nIDEvent, unsigned nElapse) = 0;
  // Disarms a pending timer; killing an idle id does nothing.
  virtual void KillTimer(unsigned nIDEvent) = 0;
};

// The voice: the frame's voice loader and its wave buffer. The device is
// opened for 16-bit mono PCM at 11025 Hz with the frame as the target of its
// buffer-done event; that event is always posted to the frame, never
// delivered from inside one of these calls.
class IVoiceOutput {
 public:
  virtual ~IVoiceOutput() = default;
  // Reads the whole voice file into the buffer; false when it cannot be
  // opened or read in full. Called only while the device is closed.
  virtual bool LoadVoiceSegment(const std::string& path) = 0;
  // Opens the output device; 0 when it is open, else the device's error code.
  virtual int OpenOutput() = 0;
  // Queues the whole buffer; 1 on success (exactly one buffer-done event
  // follows), 0 on failure (the caller then closes the device).
  virtual int PlayAll() = 0;
  // Stops playback at once; a queued buffer is returned and its buffer-done
  // event is posted. With nothing queued it does nothing.
  virtual void ResetOutput() = 0;
  // Releases the buffer from the device and closes it.
  virtual void CloseOutput() = 0;
  // How much of the voice queued last has been heard, in ms (negative while
  // the sound before it is still heard, or before the output has begun it);
  // false when the output has no clock of its own.
  virtual bool GetHeardMs(std::int64_t* /*pMs*/) { return false; }
  // As GetHeardMs, but as if the output had played on since its last word
  // even where that word does not vouch for it: when to look again, not
  // what to light.
  virtual bool GetRunningMs(std::int64_t* pMs) { return GetHeardMs(pMs); }
  // GetHeardMs will be asked when nMs of that voice are heard.
  virtual void WantHeardAt(std::int64_t /*nMs*/) {}
};

// The sutra view's operations that draw at once, outside the paint cycle.
// Phrase numbers, never slots, are passed; the view puts phrase p in slot
// p mod ColumnsPerPage(). The column operations need at least one slot.
class IReadingView {
 public:
  virtual ~IReadingView() = default;
  virtual int ColumnsPerPage() = 0;
  virtual void EraseColumn(int nPhrase) = 0;
  virtual void DrawColumn(int nPhrase) = 0;
  virtual void HighlightChar(int nPhrase, int nChar) = 0;
  // Asks for a full repaint of the view (whole client area, background
  // included); it paints the face that the frame's state calls for.
  virtual void InvalidateView() = 0;
};

// The frame's own window operations.
class IFrameWindow {
 public:
  virtual ~IFrameWindow() = default;
  virtual bool IsZoomed() = 0;
  virtual void ShowMaximized() = 0;
  // Shows the frame in its normal size; true when that changed the frame's
  // size (a change of size repaints the view).
  virtual bool ShowNormal() = 0;
};

// Everything the sequencer reaches, handed over at construction. None of the
// pointers may be null; the objects must outlive every handler call.
struct SequencerPlatform {
  ITimerService* pTimers = nullptr;
  IVoiceOutput* pVoice = nullptr;
  IReadingView* pView = nullptr;
  IFrameWindow* pFrame = nullptr;
};

}  // namespace solvari
