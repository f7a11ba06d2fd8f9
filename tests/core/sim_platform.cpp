// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_platform.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/sutra_tables.h"
#include "core/voice_segment_path.h"

namespace solvari::sim {

// ---------------------------------------------------------------- CSimLoop

void CSimLoop::Log(std::string text) { m_log.push_back({m_now, std::move(text)}); }

std::vector<std::string> CSimLoop::LogSince(std::size_t from) const {
  std::vector<std::string> out;
  for (std::size_t i = from; i < m_log.size(); ++i) out.push_back(m_log[i].text);
  return out;
}

int CSimLoop::ScheduleAction(Micros at, std::function<void()> fn) {
  const int id = m_nextAction++;
  m_actions.emplace(id, std::make_pair(at, std::move(fn)));
  return id;
}

void CSimLoop::SetTimer(unsigned nIDEvent, unsigned nElapse) {
  Log("SetTimer " + std::to_string(nIDEvent) + " " + std::to_string(nElapse));
  m_timers[nIDEvent] = {m_now + static_cast<Micros>(nElapse) * kMicrosPerMs + m_timerLateness,
                        m_seq++};
}

void CSimLoop::KillTimer(unsigned nIDEvent) {
  Log("KillTimer " + std::to_string(nIDEvent));
  m_timers.erase(nIDEvent);
}

Micros CSimLoop::DueIn(unsigned nIDEvent) const {
  auto it = m_timers.find(nIDEvent);
  return it == m_timers.end() ? -1 : it->second.due - m_now;
}

bool CSimLoop::RunDueActions() {
  bool ran = false;
  for (;;) {
    // Earliest due action first; equal times in scheduling order.
    auto best = m_actions.end();
    for (auto it = m_actions.begin(); it != m_actions.end(); ++it) {
      if (it->second.first <= m_now &&
          (best == m_actions.end() || it->second.first < best->second.first))
        best = it;
    }
    if (best == m_actions.end()) return ran;
    auto fn = std::move(best->second.second);
    m_actions.erase(best);
    fn();
    ran = true;
  }
}

Micros CSimLoop::NextWake() const {
  Micros next = INT64_MAX;
  for (const auto& [id, a] : m_actions) next = std::min(next, a.first);
  for (const auto& [id, t] : m_timers) next = std::min(next, t.due);
  return next;
}

Dispatch CSimLoop::Step(Micros limit) {
  for (;;) {
    RunDueActions();
    if (!m_posted.empty()) {
      auto fn = std::move(m_posted.front());
      m_posted.pop_front();
      fn();
      return {Dispatch::Posted, 0, m_now};
    }
    for (auto& paint : m_painters) {
      if (paint()) return {Dispatch::Paint, 0, m_now};
    }
    auto due = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
      if (it->second.due > m_now) continue;
      if (due == m_timers.end() || it->second.due < due->second.due ||
          (it->second.due == due->second.due && it->second.seq < due->second.seq))
        due = it;
    }
    if (due != m_timers.end()) {
      const unsigned id = due->first;
      m_timers.erase(due);  // one-shot
      Log("Fire " + std::to_string(id));
      if (m_timerSink) m_timerSink(id);
      return {Dispatch::Timer, id, m_now};
    }
    const Micros next = NextWake();
    if (next == INT64_MAX || next > limit) return {Dispatch::None, 0, m_now};
    m_now = std::max(m_now, next);
  }
}

void CSimLoop::RunFor(double ms) {
  const Micros end = m_now + static_cast<Micros>(std::llround(ms * kMicrosPerMs));
  while (Step(end).kind != Dispatch::None) {
  }
  m_now = std::max(m_now, end);
}

bool CSimLoop::RunUntil(const std::function<bool()>& pred, double maxMs) {
  const Micros end = m_now + static_cast<Micros>(std::llround(maxMs * kMicrosPerMs));
  for (;;) {
    if (Step(end).kind == Dispatch::None) return pred();
    if (pred()) return true;
  }
}

void CSimLoop::AdvanceBusy(double ms) {
  m_now += static_cast<Micros>(std::llround(ms * kMicrosPerMs));
  RunDueActions();
}

void CSimLoop::RunUntilIdle(double maxMs) {
  RunUntil([] { return false; }, maxMs);
}

// --------------------------------------------------------------- CSimVoice

std::uint32_t CSimVoice::BytesForMs(double ms) {
  // 11025 samples of 2 bytes per second; whole samples only.
  return 2u * static_cast<std::uint32_t>(std::llround(ms * 11.025));
}

void CSimVoice::SetPhraseVoice(int nPhrase, std::uint32_t nBytes) {
  const std::string path = GetVoiceSegmentPath(nPhrase);
  m_files[path] = nBytes;
  m_phraseOfPath[path] = nPhrase;
}

void CSimVoice::RemovePhraseVoice(int nPhrase) { m_files.erase(GetVoiceSegmentPath(nPhrase)); }

void CSimVoice::SetAllPhraseVoices(double extraMs) {
  for (int p = 0; p < kPhraseCount; ++p)
    SetPhraseVoice(p, BytesForMs(GetPhraseDuration(p) + extraMs));
}

void CSimVoice::Fault(std::string what) {
  m_faults.push_back(std::move(what));
  m_loop.Log("FAULT " + m_faults.back());
}

bool CSimVoice::LoadVoiceSegment(const std::string& path) {
  auto pit = m_phraseOfPath.find(path);
  const int phrase = pit == m_phraseOfPath.end() ? -1 : pit->second;
  m_loop.Log("Load " + std::to_string(phrase));
  if (m_state != Device::Closed) Fault("load while the device is open");
  auto it = m_files.find(path);
  if (it == m_files.end()) return false;  // the buffer is not touched
  // A new block replaces the old one: one block is held at a time.
  m_data = std::make_unique<std::vector<std::uint8_t>>(it->second);
  m_dwDataSize = it->second;
  m_nLoadedPhrase = phrase;
  return true;
}

int CSimVoice::OpenOutput() {
  m_loop.Log("Open");
  if (m_state != Device::Closed) Fault("open while open");
  if (m_bFailEveryOpen || m_failOpen.count(m_nLoadedPhrase)) return kOpenError;
  m_state = Device::Open;
  return 0;
}

int CSimVoice::PlayAll() {
  m_loop.Log("Play");
  if (m_state != Device::Open) {
    Fault("play while not open");
    return 0;
  }
  if (!m_data || m_failPlay.count(m_nLoadedPhrase)) return 0;
  m_state = Device::Playing;
  ++m_nSuccessfulPlays;
  m_plays.push_back({m_loop.Now(), m_nLoadedPhrase});
  const Micros length = (static_cast<Micros>(m_dwDataSize) * 1000000 + 22049) / 22050;
  // With a clock the voice is heard after the output's latency, and done
  // when its end has been heard.
  m_heardStart = m_loop.Now() + m_latency;
  m_endAction = m_loop.ScheduleAction(m_heardStart + length, [this] {
    m_endAction = 0;
    m_state = Device::Done;
    PostDone();
  });
  return 1;
}

void CSimVoice::WantHeardAt(std::int64_t nMs) {
  m_wanted.emplace(m_nLoadedPhrase, nMs);
  if (m_reportEvery > 0) m_answers.push_back(m_loop.Now() + m_answerAfter);
}

bool CSimVoice::GetHeardMs(std::int64_t* pMs) {
  if (!m_bClock) return false;
  Micros now = m_loop.Now();
  if (m_reportEvery > 0) {
    // The last report that has come: the periodic one or an answer.
    for (const Micros at : m_answers)
      if (at <= now) m_lastAnswer = std::max(m_lastAnswer, at);
    std::erase_if(m_answers, [now](Micros at) { return at <= now; });
    now = std::max(now / m_reportEvery * m_reportEvery, m_lastAnswer);
  }
  const Micros d = now - m_heardStart;
  *pMs = d >= 0 ? d / kMicrosPerMs : -((-d + kMicrosPerMs - 1) / kMicrosPerMs);
  *pMs += m_nSkewMs;
  return true;
}

void CSimVoice::ResetOutput() {
  m_loop.Log("Reset");
  if (m_state == Device::Closed) {
    Fault("reset while closed");
    return;
  }
  if (m_state == Device::Playing) {
    m_loop.CancelAction(m_endAction);
    m_endAction = 0;
    m_state = Device::Done;
    PostDone();
  }
}

void CSimVoice::CloseOutput() {
  m_loop.Log("Close");
  switch (m_state) {
    case Device::Closed:
      Fault("close while closed");
      return;
    case Device::Playing:
      // The device refuses to close while playing; the buffer layer resets
      // it and closes again, so the buffer still comes back.
      Fault("close while playing");
      m_loop.CancelAction(m_endAction);
      m_endAction = 0;
      PostDone();
      break;
    case Device::Open:
    case Device::Done:
      break;
  }
  m_state = Device::Closed;
}

void CSimVoice::PostDone() {
  ++m_nDonePosted;
  m_loop.Post([this] {
    m_loop.Log("Done");
    if (m_doneSink) m_doneSink();
  });
}

void CSimVoice::ReleaseBuffer() {
  m_loop.Log("Release");
  if (m_state != Device::Closed) Fault("buffer released while the device is open");
  m_data.reset();
  m_dwDataSize = 0;
}

// ---------------------------------------------------------------- CSimView

CSimView::CSimView(CSimLoop& loop, int width, int height)
    : m_loop(loop), m_width(width), m_height(height) {
  m_loop.AddPainter([this] { return Paint(); });
}

bool CSimView::Resize(int width, int height) {
  if (width == m_width && height == m_height) return false;
  m_width = width;
  m_height = height;
  m_loop.Log("Resize " + std::to_string(width) + "x" + std::to_string(height));
  m_bPaintPending = true;
  return true;
}

bool CSimView::CheckSlot(const char* op, int nPhrase, int& s) {
  const int n = ColumnsPerPage();
  if (n < 1) {
    m_faults.push_back(std::string(op) + " with no slot");
    return false;
  }
  if (nPhrase < 0 || nPhrase > kLastPhrase) {
    m_faults.push_back(std::string(op) + " of phrase " + std::to_string(nPhrase));
    return false;
  }
  if (static_cast<int>(m_slots.size()) != n) m_slots.resize(static_cast<std::size_t>(n));
  s = nPhrase % n;
  return true;
}

void CSimView::EraseColumn(int nPhrase) {
  m_loop.Log("Erase " + std::to_string(nPhrase));
  int s;
  if (CheckSlot("erase", nPhrase, s)) m_slots[static_cast<std::size_t>(s)] = Slot{};
}

void CSimView::DrawColumn(int nPhrase) {
  m_loop.Log("Draw " + std::to_string(nPhrase));
  int s;
  if (CheckSlot("draw", nPhrase, s)) m_slots[static_cast<std::size_t>(s)] = Slot{nPhrase, 0};
}

void CSimView::HighlightChar(int nPhrase, int nChar) {
  m_loop.Log("Highlight " + std::to_string(nPhrase) + " " + std::to_string(nChar));
  int s;
  if (!CheckSlot("highlight", nPhrase, s)) return;
  if (nChar < 0 || nChar >= kPhraseCharCount[nPhrase]) {
    m_faults.push_back("highlight of character " + std::to_string(nChar));
    return;
  }
  Slot& slot = m_slots[static_cast<std::size_t>(s)];
  if (slot.phrase == nPhrase)
    slot.lit |= 1u << nChar;
  else if (slot.phrase >= 0)
    ++m_nOnForeign;
  else
    ++m_nOnBackground;
}

void CSimView::InvalidateView() {
  m_loop.Log("Invalidate");
  m_bPaintPending = true;
}

bool CSimView::Paint() {
  if (!m_bPaintPending) return false;
  m_bPaintPending = false;
  ++m_nPaints;
  m_slots.clear();
  const int state = m_pFrame ? m_pFrame->m_nState : Title;
  m_bOverview = !(state == Starting || state == Reading);
  const int n = ColumnsPerPage();
  if (!m_bOverview && n >= 1) {
    m_slots.resize(static_cast<std::size_t>(n));
    const int p = m_pFrame->m_nPhrase;
    const int endOfPage = p + n - p % n - 1;
    const int last = std::min(kLastPhrase, std::max(endOfPage, p + n - 4));
    for (int k = p; k <= last; ++k) m_slots[static_cast<std::size_t>(k % n)] = Slot{k, 0};
  }
  m_loop.Log(m_bOverview ? "Paint overview" : "Paint page");
  return true;
}

std::vector<int> CSimView::Page() const {
  std::vector<int> page;
  for (const Slot& s : m_slots)
    if (s.phrase >= 0) page.push_back(s.phrase);
  std::sort(page.begin(), page.end());
  return page;
}

int CSimView::SlotPhrase(int s) const {
  return s >= 0 && s < static_cast<int>(m_slots.size())
             ? m_slots[static_cast<std::size_t>(s)].phrase
             : -1;
}

std::vector<int> CSimView::LitChars(int nPhrase) const {
  std::vector<int> lit;
  for (const Slot& s : m_slots) {
    if (s.phrase != nPhrase) continue;
    for (int c = 0; c < 32; ++c)
      if (s.lit & (1u << c)) lit.push_back(c);
  }
  return lit;
}

// --------------------------------------------------------------- CSimFrame

void CSimFrame::ShowMaximized() {
  m_loop.Log("ShowMaximized");
  if (m_bZoomed) return;
  m_bZoomed = true;
  m_view.Resize(m_maximized.width, m_maximized.height);
}

bool CSimFrame::ShowNormal() {
  m_loop.Log("ShowNormal");
  if (!m_bZoomed) return false;
  m_bZoomed = false;
  return m_view.Resize(m_normal.width, m_normal.height);
}

void CSimFrame::UserMaximize() {
  m_loop.Log("UserMaximize");
  m_bZoomed = true;
  m_view.Resize(m_maximized.width, m_maximized.height);
}

void CSimFrame::UserRestore() {
  m_loop.Log("UserRestore");
  m_bZoomed = false;
  m_view.Resize(m_normal.width, m_normal.height);
}

// ------------------------------------------------------------ CSimPlatform

CSimPlatform::CSimPlatform(CSimFrame::Size normal, CSimFrame::Size maximized)
    : voice(loop), view(loop, normal.width, normal.height), frame(loop, view, normal, maximized) {
  loop.SetTimerSink([this](unsigned id) {
    if (m_pTarget)
      m_pTarget->OnTimer(id);
    else
      ++m_nDropped;
  });
  voice.SetDoneSink([this] {
    if (m_pTarget)
      m_pTarget->OnWomDone();
    else
      ++m_nDropped;
  });
}

void CSimPlatform::Attach(CReadingSequencer* pFrame) {
  m_pTarget = pFrame;
  view.SetFrame(pFrame);
}

void CSimPlatform::Detach() {
  m_pTarget = nullptr;
  view.SetFrame(nullptr);
}

}  // namespace solvari::sim
