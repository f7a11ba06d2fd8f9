// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/reading_sequencer.h"

#include <algorithm>

#include "core/instrument_settings.h"
#include "core/sutra_tables.h"
#include "core/tempo.h"
#include "core/voice_segment_path.h"

namespace solvari {

// Narrow views. The rolling page draws phrase p + n - 4 when phrase p begins,
// which needs n >= 4 slots: with fewer it would land at or behind the current
// column. With 1 to 3 slots no column is drawn at a phrase change (the page
// shows what the last full repaint drew; erasing and highlighting go on as
// usual). With no slot at all (a view narrower than one column) no column
// operation is called, so nothing divides by zero; the voice still plays.
namespace {
constexpr int kMinRollingSlots = 4;
}

CReadingSequencer::CReadingSequencer(const SequencerPlatform& platform,
                                     std::int32_t bMaximizeOnReading)
    : m_bMaximizeOnReading(bMaximizeOnReading), m_platform(platform) {}

void CReadingSequencer::OnReadStart() {
  if (m_bShutDown) return;
  m_bAwaitVoice = false;
  m_nState = Starting;
  m_nPhrase = m_nFirstPhrase;
  m_bStopRequested = 0;
  m_nJumpTo = -1;
  m_nRecitation = 1;
  m_nBellStrikes = 0;
  m_bClosingBell = false;
  // A change of size repaints the view as the reading page by itself.
  if (m_bMaximizeOnReading == 1 && !m_platform.pFrame->IsZoomed()) {
    m_platform.pFrame->ShowMaximized();
  } else {
    m_platform.pView->InvalidateView();
  }
  m_platform.pTimers->SetTimer(TIMER_START, kStartDelayMs);
}

void CReadingSequencer::OnReadStop() {
  if (m_bShutDown) return;
  // The device posts the buffer-done event of the returned buffer; its
  // handler sees the flag and ends the reading.
  m_platform.pVoice->ResetOutput();
  m_bStopRequested = 1;
}

bool CReadingSequencer::OnUpdateReadStop() const { return m_nState == Reading; }

void CReadingSequencer::OnTimer(unsigned nIDEvent) {
  if (m_bShutDown) return;
  switch (nIDEvent) {
    case TIMER_START:
      OnStartTimer();
      break;
    case TIMER_CHAR:
      OnCharTimer();
      break;
    case TIMER_TITLE:
    case TIMER_TITLE_END:
      OnTitleTimer(nIDEvent);
      break;
    default:
      OnDefaultTimer(nIDEvent);
      break;
  }
}

void CReadingSequencer::OnStartTimer() {
  m_platform.pTimers->KillTimer(TIMER_START);
  // The opening bell, before the first recitation only; its end starts the
  // first phrase.
  if (m_nRecitation <= 1) {
    InstrumentSettings bell;
    bell.nBell = m_nBell;
    if (bell.OpeningBellStrikes() > 0 && PlayBell(bell.OpeningBellStrikes(), false)) return;
  }
  StartFirstPhrase();
}

void CReadingSequencer::StartFirstPhrase() {
  // The reading begins with the first phrase whose voice file loads.
  for (;;) {
    if (m_nPhrase > kLastPhrase) {
      EndReading();
      return;
    }
    if (LoadPhraseVoice(m_nPhrase)) break;
    ++m_nPhrase;
  }
  if (!PlayCurrentPhrase()) return;
  m_nState = Reading;
  // The page was painted after Start: no column is erased or drawn here.
  BeginHighlight();
}

void CReadingSequencer::OnCharTimer() {
  m_platform.pTimers->KillTimer(TIMER_CHAR);
  // A character timer left pending when a reading ended dies here. One that
  // fires in Starting goes on, on the first phrase, until the voice starts.
  if (m_nState == Idle) return;
  // While the bell rings no character is lit.
  if (m_nBellStrikes > 0) return;
  if (m_nPhrase < 0 || m_nPhrase > kLastPhrase) {  // never while reading
    ++m_nChar;
    return;
  }
  std::int64_t nHeard = 0;
  const bool bClock = HeardMs(&nHeard);
  if (m_bAwaitVoice) {
    // The voice has not been heard yet: its first character waits for it.
    const std::int64_t nLead = FirstCharOnsetMs(m_nPhrase);
    if (bClock && nHeard < LightAtMs(nLead)) {
      WaitForHeard(nLead, nHeard);
      return;
    }
    m_bAwaitVoice = false;
    if (ViewHasSlots()) m_platform.pView->HighlightChar(m_nPhrase, 0);
    ArmCharTimer();
    return;
  }
  // By the output's clock a timer that fires before the next onset (timers
  // may come early) waits for the rest.
  if (bClock && m_nChar < kPhraseCharCount[m_nPhrase] &&
      nHeard < LightAtMs(CharOnsetMs(m_nChar + 1))) {
    WaitForHeard(CharOnsetMs(m_nChar + 1), nHeard);
    return;
  }
  ++m_nChar;
  // After the last character no timer is armed; it stays lit until the
  // voice of the phrase ends.
  if (m_nChar >= kPhraseCharCount[m_nPhrase]) return;
  if (ViewHasSlots()) m_platform.pView->HighlightChar(m_nPhrase, m_nChar);
  ArmCharTimer();
}

void CReadingSequencer::OnWomDone() {
  if (m_bShutDown) return;
  if (m_nBellStrikes > 0) {
    OnBellDone();
    return;
  }
  m_platform.pVoice->CloseOutput();
  const int n = m_platform.pView->ColumnsPerPage();
  // The phrase just heard leaves the page.
  if (n >= 1) m_platform.pView->EraseColumn(m_nPhrase);
  // Stop is tested before the end of the text, so Stop in the last phrase
  // ends the reading even with Repeat on.
  if (m_bStopRequested == 1) {
    EndReading();
    return;
  }
  if (OnPracticeDone()) return;
  if (m_nPhrase >= kLastPhrase) {
    OnRecitationComplete(m_nRecitation);
    if (m_bShutDown) return;
    if (IsLastRecitation()) {
      InstrumentSettings bell;
      bell.nBell = m_nBell;
      if (bell.ClosingBellStrikes() > 0 && PlayBell(bell.ClosingBellStrikes(), true)) return;
      EndReading();
      return;
    }
    // Again from the first phrase; the frame keeps its size.
    ++m_nRecitation;
    m_nPhrase = m_nFirstPhrase;
    m_nState = Starting;
    m_platform.pTimers->SetTimer(TIMER_START, kStartDelayMs);
    m_platform.pView->InvalidateView();
    return;
  }
  ++m_nPhrase;
  // Bring the column n - 4 phrases ahead into the slot that phrase p - 3 left
  // empty (at p == 3 this redraws phrase n - 1, already on the page).
  if (n >= kMinRollingSlots && m_nPhrase >= 3 && m_nPhrase + n - 4 <= kLastPhrase) {
    m_platform.pView->DrawColumn(m_nPhrase + n - 4);
  }
  // A missing file in the middle of the text ends the reading: no skipping.
  if (!LoadPhraseVoice(m_nPhrase)) {
    EndReading();
    return;
  }
  if (!PlayCurrentPhrase()) return;
  // Arming TIMER_CHAR replaces the previous phrase's timer if it is still
  // pending: the characters it had not reached are never lit.
  BeginHighlight();
}

bool CReadingSequencer::PlayCurrentPhrase() {
  if (m_platform.pVoice->OpenOutput() != 0) {
    EndReading();  // the device is not open: nothing to close
    return false;
  }
  if (m_platform.pVoice->PlayAll() == 0) {
    m_platform.pVoice->CloseOutput();
    EndReading();
    return false;
  }
  return true;
}

void CReadingSequencer::BeginHighlight() {
  m_nChar = 0;
  m_bAwaitVoice = false;
  // The output learns now every moment the clock will be read at (each
  // onset, and the end of the last character), so that it can ask where it
  // is before each without being told again.
  std::int64_t nOnset = FirstCharOnsetMs(m_nPhrase);
  for (int c = 0;; ++c) {
    m_platform.pVoice->WantHeardAt(nOnset);
    if (c >= kPhraseCharCount[m_nPhrase]) break;
    nOnset += CharDurationMs(m_nPhrase, c);
  }
  // Character 0 begins nLead ms into the voice (0 but for a take whose
  // onsets are known).
  const std::int64_t nLead = FirstCharOnsetMs(m_nPhrase);
  std::int64_t nHeard = 0;
  const bool bClock = HeardMs(&nHeard);
  if ((bClock && nHeard < LightAtMs(nLead)) || (!bClock && nLead > 0)) {
    // The output has not reached character 0 yet (its latency, or the sound
    // before it): it is lit when it is heard.
    m_bAwaitVoice = true;
    if (bClock)
      WaitForHeard(nLead, nHeard);
    else
      m_platform.pTimers->SetTimer(TIMER_CHAR, static_cast<unsigned>(nLead));
    return;
  }
  if (ViewHasSlots()) m_platform.pView->HighlightChar(m_nPhrase, 0);
  ArmCharTimer();
}

void CReadingSequencer::ArmCharTimer() {
  std::int64_t nDelay = CharDurationMs(m_nPhrase, m_nChar);
  std::int64_t nHeard = 0;
  // By the output's clock the next step is due at the next onset of the
  // voice as heard, so no delay adds up within a phrase.
  if (HeardMs(&nHeard)) {
    const std::int64_t nOnset = CharOnsetMs(m_nChar + 1);
    // The clock may stand short of the sound (the output's last word
    // vouches for no further): the timer is set by where the sound runs on
    // to, or it would fire as late as the clock stands short.
    nDelay = std::max<std::int64_t>(0, LightAtMs(nOnset) - RunningMs(nHeard));
    m_platform.pVoice->WantHeardAt(nOnset);
  }
  m_platform.pTimers->SetTimer(TIMER_CHAR, static_cast<unsigned>(nDelay));
}

void CReadingSequencer::WaitForHeard(std::int64_t nOnsetMs, std::int64_t nHeardMs) {
  // The clock read may stand short of the sound: it runs only as far as the
  // output's last word reaches, and the word asked for here may be on its
  // way. So the rest of the way is not waited for in one: the clock is read
  // again within kClockRecheckMs, and a stale reading costs no more than
  // that. At least a millisecond, so that an early timer cannot spin.
  m_platform.pVoice->WantHeardAt(nOnsetMs);
  m_platform.pTimers->SetTimer(
      TIMER_CHAR, static_cast<unsigned>(std::clamp<std::int64_t>(LightAtMs(nOnsetMs) - nHeardMs, 1,
                                                                 kClockRecheckMs)));
}

std::int64_t CReadingSequencer::LightAtMs(std::int64_t nOnsetMs) {
  // Never before the voice's first sample: a clock short of it says the
  // output has not begun to play it, however little it stands short.
  return std::max<std::int64_t>(0, nOnsetMs - kLightLeadMs);
}

std::int64_t CReadingSequencer::CharOnsetMs(int nChar) const {
  std::int64_t nOnset = FirstCharOnsetMs(m_nPhrase);
  for (int c = 0; c < nChar && c < kPhraseCharCount[m_nPhrase]; ++c)
    nOnset += CharDurationMs(m_nPhrase, c);
  return nOnset;
}

std::int64_t CReadingSequencer::RunningMs(std::int64_t nHeardMs) const {
  // Never short of the clock, nor further than any output's clock runs on.
  constexpr std::int64_t kMaxRunOnMs = 1000;
  std::int64_t nMs = 0;
  if (!m_platform.pVoice->GetRunningMs(&nMs) || nMs < nHeardMs || nMs > nHeardMs + kMaxRunOnMs)
    return nHeardMs;
  return nMs;
}

bool CReadingSequencer::HeardMs(std::int64_t* pMs) const {
  // Only the voice of the phrase being read is measured: a character timer
  // that fires in Starting (after a repeat) goes by the durations.
  // A clock far outside the phrase is not believed (the timers go by the
  // durations then): a wrong report must not hold the highlight for hours.
  constexpr std::int64_t kEarliestMs = -10'000;
  constexpr std::int64_t kLatestMs = 3'600'000;
  return m_nState == Reading && m_platform.pVoice->GetHeardMs(pMs) && *pMs >= kEarliestMs &&
         *pMs <= kLatestMs;
}

void CReadingSequencer::EndReading() {
  m_nState = Idle;
  // Restoring the frame repaints the view as the overview. When the user has
  // already restored it, showing it normal changes nothing, so the view is
  // invalidated instead; otherwise it would keep showing the reading page.
  if (m_bMaximizeOnReading == 1) {
    if (!m_platform.pFrame->ShowNormal()) m_platform.pView->InvalidateView();
  } else {
    m_platform.pView->InvalidateView();
  }
}

void CReadingSequencer::Shutdown() {
  if (m_bShutDown) return;
  m_bShutDown = true;
  // In Reading the device is open (playing, or its buffer-done event is on
  // its way); in every other state it is closed.
  if (m_nState == Reading) {
    m_platform.pVoice->ResetOutput();
    m_platform.pVoice->CloseOutput();
  }
  m_platform.pTimers->KillTimer(TIMER_START);
  m_platform.pTimers->KillTimer(TIMER_CHAR);
  m_nState = Idle;
}

void CReadingSequencer::OnTitleTimer(unsigned) {}

void CReadingSequencer::OnDefaultTimer(unsigned) {}

int CReadingSequencer::CharDurationMs(int nPhrase, int nChar) const {
  return ScaleDurationMs(kPhraseDurations[nPhrase][nChar], m_nPhraseTempo);
}

int CReadingSequencer::FirstCharOnsetMs(int) const { return 0; }

bool CReadingSequencer::ViewHasSlots() const { return m_platform.pView->ColumnsPerPage() >= 1; }

bool CReadingSequencer::LoadPhraseVoice(int nPhrase) {
  m_nPhraseTempo = IsTempoChoice(m_nTempo) ? m_nTempo : kDefaultTempo;
  return m_platform.pVoice->LoadVoiceSegment(GetVoiceSegmentPath(nPhrase));
}

// --- practice ---------------------------------------------------------------

void CReadingSequencer::OnReadStartAt(int nPhrase) {
  if (m_bShutDown || m_nState != Idle || nPhrase < 0 || nPhrase > kLastPhrase) return;
  m_nFirstPhrase = nPhrase;
  OnReadStart();
}

bool CReadingSequencer::OnUpdateReadStep() const {
  return !m_bShutDown && m_nState == Reading && m_bStopRequested != 1 && m_nBellStrikes == 0;
}

void CReadingSequencer::OnReadNext() {
  if (!OnUpdateReadStep()) return;
  const int nFrom = m_nJumpTo >= 0 ? m_nJumpTo : m_nPhrase;
  RequestJump(std::min(nFrom + 1, kPhraseCount));
}

void CReadingSequencer::OnReadPrevious() {
  if (!OnUpdateReadStep()) return;
  const int nFrom = m_nJumpTo >= 0 ? m_nJumpTo : m_nPhrase;
  RequestJump(std::max(nFrom - 1, 0));
}

void CReadingSequencer::OnReadHome() {
  if (!OnUpdateReadStep()) return;
  m_nFirstPhrase = 0;
  RequestJump(0);
}

void CReadingSequencer::RequestJump(int nPhrase) {
  const bool bFirst = m_nJumpTo < 0;
  m_nJumpTo = nPhrase;
  // The device posts the buffer-done event of the returned buffer (or has
  // posted it already, when the voice had just ended); its handler jumps.
  if (bFirst) m_platform.pVoice->ResetOutput();
}

int CReadingSequencer::PhraseFollowingAtOnce() const {
  // Called as the voice of m_nPhrase starts (still in Starting for the first).
  if (m_bShutDown || m_bStopRequested == 1 || m_nJumpTo >= 0) return -1;
  // The first phrase follows the opening bell; nothing follows the closing one.
  if (m_nBellStrikes > 0) return m_bClosingBell ? -1 : std::clamp(m_nPhrase, 0, kLastPhrase);
  if (m_bRepeatPhrase != 0) return m_nPhrase;
  // After the last phrase a repeat waits for TIMER_START: nothing follows at once.
  if (m_nPhrase < 0 || m_nPhrase >= kLastPhrase) return -1;
  return m_nPhrase + 1;
}

int CReadingSequencer::NextPhraseToPlay() const {
  if (m_bShutDown) return -1;
  if (m_nState == Starting) return std::clamp(m_nPhrase, 0, kLastPhrase);
  if (m_nState != Reading || m_bStopRequested == 1) return -1;
  if (m_nBellStrikes > 0) return m_bClosingBell ? -1 : std::clamp(m_nPhrase, 0, kLastPhrase);
  if (m_nJumpTo >= 0 && m_nJumpTo <= kLastPhrase) return m_nJumpTo;
  if (m_nJumpTo < 0 && m_bRepeatPhrase != 0) return m_nPhrase;
  if (m_nJumpTo < 0 && m_nPhrase < kLastPhrase) return m_nPhrase + 1;
  // The text ends after this phrase (or Next went past its end).
  return IsLastRecitation() ? -1 : m_nFirstPhrase;
}

bool CReadingSequencer::OnPracticeDone() {
  if (m_nJumpTo >= 0) {
    const int nTo = m_nJumpTo;
    m_nJumpTo = -1;
    if (nTo <= kLastPhrase) {
      JumpTo(nTo);
      return true;
    }
    // Past the last phrase: the text has been heard, as at its voice's end.
    m_nPhrase = kLastPhrase;
    return false;
  }
  if (m_bRepeatPhrase != 0) {
    ReplayPhrase();
    return true;
  }
  return false;
}

void CReadingSequencer::JumpTo(int nPhrase) {
  m_nPhrase = nPhrase;
  RedrawPage();
  // As between two phrases: a missing file ends the reading.
  if (!LoadPhraseVoice(m_nPhrase)) {
    EndReading();
    return;
  }
  if (!PlayCurrentPhrase()) return;
  BeginHighlight();
}

void CReadingSequencer::ReplayPhrase() {
  if (ViewHasSlots()) m_platform.pView->DrawColumn(m_nPhrase);
  if (!LoadPhraseVoice(m_nPhrase)) {
    EndReading();
    return;
  }
  if (!PlayCurrentPhrase()) return;
  BeginHighlight();
}

void CReadingSequencer::RedrawPage() {
  const int n = m_platform.pView->ColumnsPerPage();
  if (n < 1) return;
  // Every slot once: n consecutive phrases cover all of them.
  const int nFirstErased = std::max(0, std::min(m_nPhrase, kPhraseCount - n));
  const int nLastErased = std::min(kLastPhrase, nFirstErased + n - 1);
  for (int k = nFirstErased; k <= nLastErased; ++k) m_platform.pView->EraseColumn(k);
  // The page runs to the end of the current phrase's page, and at least as
  // far as the rolling page would reach.
  const int nPageEnd = m_nPhrase + n - m_nPhrase % n - 1;
  const int nLast = std::min(kLastPhrase, std::max(nPageEnd, m_nPhrase + n - 4));
  for (int k = m_nPhrase; k <= nLast; ++k) m_platform.pView->DrawColumn(k);
}

// --- temple practice: the bell and the count --------------------------------

int CReadingSequencer::RecitationsPlanned() const {
  return m_bRepeat == 0 ? 1 : ValidRecitationCount(m_nCount);
}

bool CReadingSequencer::IsLastRecitation() const {
  const int nPlanned = RecitationsPlanned();
  // A reading begun without Start (m_nRecitation still 0) is its first.
  return nPlanned != kCountEndless && std::max(1, m_nRecitation) >= nPlanned;
}

bool CReadingSequencer::PlayBell(int nStrikes, bool bClosing) {
  m_nBellStrikes = nStrikes;
  m_bClosingBell = bClosing;
  // The bell is heard as struck, at no tempo.
  m_nPhraseTempo = kDefaultTempo;
  if (!m_platform.pVoice->LoadVoiceSegment(GetBellSoundPath())) {
    m_nBellStrikes = 0;
    m_bClosingBell = false;
    return false;
  }
  if (m_platform.pVoice->OpenOutput() != 0) {
    m_nBellStrikes = 0;
    EndReading();
    return true;
  }
  if (m_platform.pVoice->PlayAll() == 0) {
    m_nBellStrikes = 0;
    m_platform.pVoice->CloseOutput();
    EndReading();
    return true;
  }
  // Stop works while the bell rings; the steps wait for the text.
  m_nState = Reading;
  return true;
}

void CReadingSequencer::OnBellDone() {
  m_platform.pVoice->CloseOutput();
  const bool bClosing = m_bClosingBell;
  m_nBellStrikes = 0;
  m_bClosingBell = false;
  if (bClosing || m_bStopRequested == 1) {
    EndReading();
    return;
  }
  // The opening strikes have been heard out: the text begins.
  StartFirstPhrase();
}

}  // namespace solvari
