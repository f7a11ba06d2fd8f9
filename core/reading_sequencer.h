// The recitation: from Start, phrase by phrase through phrases 0 to 53, to the
// end of the text, a repeat or Stop. It has no thread and no loop: each
// handler runs to completion and arms the event that continues the reading.
//
// Phrase boundaries follow the audio (the buffer-done event of the phrase's
// voice); character steps follow TIMER_CHAR and the duration table. The main
// frame derives from this class, so the fields below are the frame's fields,
// which the view reads when it paints.
#pragma once

#include <cstdint>

#include "core/reading_state.h"
#include "core/sequencer_platform.h"

namespace solvari {

class CReadingSequencer {
 public:
  // bMaximizeOnReading is the profile value "Reading" / "Maximized" as read
  // by the caller; only the value 1 counts as on.
  CReadingSequencer(const SequencerPlatform& platform, std::int32_t bMaximizeOnReading);
  virtual ~CReadingSequencer() = default;
  CReadingSequencer(const CReadingSequencer&) = delete;
  CReadingSequencer& operator=(const CReadingSequencer&) = delete;

  // Command Start; enabled only in Idle.
  void OnReadStart();
  // Command Stop; enabled only in Reading. The reading ends when the
  // buffer-done event of the stopped voice arrives.
  void OnReadStop();
  // Whether Stop is enabled: exactly in Reading.
  bool OnUpdateReadStop() const;
  // A frame timer fired. TIMER_START and TIMER_CHAR are handled here,
  // TIMER_TITLE and TIMER_TITLE_END go to OnTitleTimer, any other id to
  // OnDefaultTimer.
  void OnTimer(unsigned nIDEvent);
  // The voice of m_nPhrase has ended, or was returned early by Stop.
  void OnWomDone();

  // To be called by the frame before it releases the wave buffer and the
  // view (its destructor or close): during a reading the device is reset and
  // closed, TIMER_START and TIMER_CHAR are killed, and from then on every
  // handler does nothing, so a buffer-done event or timer still in flight
  // cannot reach the frame's released parts. Calling it again does nothing.
  void Shutdown();
  bool IsShutDown() const { return m_bShutDown; }

  // The frame's recitation fields, in their order of declaration.
  std::int32_t m_nState = Title;      // ReadingState
  std::int32_t m_bStopRequested = 0;  // set by Stop, tested for 1
  std::int32_t m_nFirstPhrase = 0;    // where a reading and each repeat start
  std::int32_t m_nPhrase = 0;         // current phrase; the view's first column
  std::int32_t m_bMaximizeOnReading;  // the Maximized setting; on only when 1
  std::int32_t m_nChar = 0;           // current character; set to 0 before every use
  std::int32_t m_bRepeat = 0;         // Repeat setting, tested for non-zero

 protected:
  // Ends a recitation: back to Idle, and the view back to the overview.
  void EndReading();
  // Title screen timers (30, 31); the frame overrides this.
  virtual void OnTitleTimer(unsigned nIDEvent);
  // Timers that are none of the frame's; the frame passes them on.
  virtual void OnDefaultTimer(unsigned nIDEvent);
  // The phrase whose voice will most likely be played after the current one
  // (-1 when none follows at once): the frame reads it ahead.
  virtual int NextPhraseToPlay() const;
  // How long character nChar of nPhrase stays lit, in ms: the duration
  // table, unless the frame knows better (a tempo, a recording's own pace).
  virtual int CharDurationMs(int nPhrase, int nChar) const;

 private:
  void OnStartTimer();
  void OnCharTimer();
  // Starts the voice of m_nPhrase after its file has loaded; false (with
  // the reading ended) when the device does not open or play.
  bool PlayCurrentPhrase();
  // Lights character 0 of m_nPhrase (when its voice is heard) and arms the
  // character timer.
  void BeginHighlight();
  // Arms TIMER_CHAR for the step after m_nChar: when the voice reaches the
  // next character's onset by the output's clock, if it has one, else after
  // m_nChar's duration.
  void ArmCharTimer();
  // Onset of character nChar of m_nPhrase: the sum of the durations before it.
  std::int64_t CharOnsetMs(int nChar) const;
  // Heard ms of the current voice, when the reading follows the output's clock.
  bool HeardMs(std::int64_t* pMs) const;
  bool ViewHasSlots() const;

  SequencerPlatform m_platform;
  bool m_bShutDown = false;
  bool m_bAwaitVoice = false;  // character 0 waits until its voice is heard
};

}  // namespace solvari
