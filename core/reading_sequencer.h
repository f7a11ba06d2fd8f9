// SPDX-License-Identifier: GPL-3.0-or-later
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
  // A step that finds the output's clock short of its onset looks again
  // after this long at the latest (the clock may be stale, not the sound late).
  static constexpr std::int64_t kClockRecheckMs = 5;
  // A character is lit this long before its syllable is heard by the
  // output's clock. The clock is read to the whole ms below, a timer fires
  // on the ms after its time, and the page shows the character a moment
  // after it is painted: lit this early, it is seen as the syllable is heard
  // rather than a couple of ms after.
  static constexpr std::int64_t kLightLeadMs = 2;

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

  // Practice commands. None of them is needed for a plain recitation; with
  // none used, a reading runs exactly as above.
  //
  // Start at phrase nPhrase (0..53; in Idle only): it becomes the phrase the
  // reading and each repeat start from, and the reading page starts with it.
  void OnReadStartAt(int nPhrase);
  // In Reading only, and not after Stop: the current voice stops at once and,
  // when its buffer-done event arrives, the reading goes on at the next
  // phrase, the previous one, or phrase 0 (which also becomes the phrase a
  // repeat starts from). The page is then drawn afresh from that phrase, as
  // a repaint would draw it, and its voice plays from its start. Next on the
  // last phrase ends the text as its voice's end would (or repeats, with
  // Repeat on); Previous on phrase 0 plays phrase 0 again. Presses before
  // the buffer-done event add up.
  void OnReadNext();
  void OnReadPrevious();
  void OnReadHome();
  // Whether Next, Previous and Home are enabled: in Reading, Stop not pressed.
  bool OnUpdateReadStep() const;
  // The phrase whose voice will be loaded next if no command comes in between
  // (the current one with Repeat-phrase on), or -1 when the reading ends
  // after the current phrase or none runs. The frame prepares it ahead.
  int NextPhraseToPlay() const;

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
  // Practice settings. Repeat-phrase plays the phrase being read again and
  // again (tested for non-zero; it may change at any time). The tempo, in
  // percent of the recorded pace, may change at any time too; each phrase is
  // read at the tempo set when its voice was loaded (m_nPhraseTempo), which
  // the frame's voice loader stretches to and the character durations follow.
  std::int32_t m_bRepeatPhrase = 0;
  std::int32_t m_nTempo = 100;
  std::int32_t m_nPhraseTempo = 100;
  // Temple practice, both off by default. m_nBell (BellPattern) strikes the
  // bowl bell before the first phrase of the first recitation and after the
  // last phrase of the last one; the highlight and the first phrase wait for
  // the opening strikes. m_nCount: with Repeat on, the text is recited this
  // many times and then ends as it does without Repeat; 0 (or a value out of
  // range) is endless. Both stay fixed for a recitation, as Repeat does.
  std::int32_t m_nBell = 0;
  std::int32_t m_nCount = 0;
  // The recitation under way, from 1 at Start up to the count; 0 before the
  // first Start. Left as it was when a reading ends.
  std::int32_t m_nRecitation = 0;

  // How many times this reading recites the text: 1 without Repeat, the
  // count with it (0 for endless). With RecitationNumber(), "2 / 7".
  int RecitationsPlanned() const;
  int RecitationNumber() const { return m_nRecitation; }
  // Strikes of the bell now heard instead of a voice, 0 when none rings.
  // The voice loader reads it when it is asked for GetBellSoundPath().
  int BellStrikes() const { return m_nBellStrikes; }

 protected:
  // Ends a recitation: back to Idle, and the view back to the overview.
  void EndReading();
  // Title screen timers (30, 31); the frame overrides this.
  virtual void OnTitleTimer(unsigned nIDEvent);
  // Timers that are none of the frame's; the frame passes them on.
  virtual void OnDefaultTimer(unsigned nIDEvent);
  // The phrase whose voice follows the current one's without a pause, as
  // things stand (-1 when none does): the frame hands it to the output ahead.
  int PhraseFollowingAtOnce() const;
  // How long character nChar of nPhrase stays lit, in ms: the duration
  // table at the phrase's tempo, unless the frame knows better (a
  // recording's own pace).
  virtual int CharDurationMs(int nPhrase, int nChar) const;
  // Where character 0 of nPhrase begins in its voice, in ms: 0, unless the
  // frame knows better (a recording whose onsets are known).
  virtual int FirstCharOnsetMs(int nPhrase) const;
  // A recitation has reached the end of the text (its last phrase heard,
  // not stopped), before a repeat or the closing bell; nRecitation counts
  // from 1. The frame keeps its practice record here.
  virtual void OnRecitationComplete(int /*nRecitation*/) {}

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
  // A step found early by the output's clock: asks the clock for nOnsetMs
  // and looks again when it is kLightLeadMs short of it, at the latest after
  // kClockRecheckMs.
  void WaitForHeard(std::int64_t nOnsetMs, std::int64_t nHeardMs);
  // When a character whose syllable begins nOnsetMs into the voice is lit.
  static std::int64_t LightAtMs(std::int64_t nOnsetMs);
  // Onset of character nChar of m_nPhrase: the sum of the durations before it.
  std::int64_t CharOnsetMs(int nChar) const;
  // Heard ms of the current voice, when the reading follows the output's clock.
  bool HeardMs(std::int64_t* pMs) const;
  // The heard ms nHeardMs read just now, as if the output had played on
  // since its last word: when the next step is due, not whether it is.
  std::int64_t RunningMs(std::int64_t nHeardMs) const;
  bool ViewHasSlots() const;
  // Loads the voice of nPhrase at the tempo set now.
  bool LoadPhraseVoice(int nPhrase);
  // After the buffer-done event, before the end of the text is looked at: a
  // pending jump or Repeat-phrase. True when it has taken over the event.
  bool OnPracticeDone();
  void RequestJump(int nPhrase);
  // Goes on at nPhrase: the page drawn afresh, its voice, its highlight.
  void JumpTo(int nPhrase);
  // The current phrase once more: its column drawn unlit, its voice again.
  void ReplayPhrase();
  // The page from m_nPhrase as a repaint draws it, drawn at once through the
  // column operations (a repaint would come after character 0 is lit, and
  // wipe it out).
  void RedrawPage();
  // The first phrase of a reading: the first one from m_nPhrase whose voice
  // loads, its voice started and character 0 lit.
  void StartFirstPhrase();
  // Rings nStrikes of the bell in place of a voice. False, with nothing done,
  // when the bell's sound does not load (the reading goes on without it);
  // true when it rings, or when the device failed and the reading has ended.
  bool PlayBell(int nStrikes, bool bClosing);
  void OnBellDone();
  // Whether the recitation under way is the last one.
  bool IsLastRecitation() const;

  SequencerPlatform m_platform;
  bool m_bShutDown = false;
  bool m_bAwaitVoice = false;  // character 0 waits until its voice is heard
  // Where the reading goes when the stopped voice's buffer-done event comes:
  // a phrase, kPhraseCount for past the last one, -1 for nowhere.
  int m_nJumpTo = -1;
  int m_nBellStrikes = 0;       // the bell rings instead of a voice
  bool m_bClosingBell = false;  // ... after the text, not before it
};

}  // namespace solvari
