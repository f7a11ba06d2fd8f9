// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/gapless_output.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace solvari {

CGaplessOutput::CGaplessOutput(IPcmStream* pStream, std::uint32_t nBytesPerSec,
                               std::uint32_t nBlockAlign, std::int64_t nOutputDelayUs, Hooks hooks)
    : m_pStream(pStream),
      m_nBytesPerSec(std::max<std::uint32_t>(1, nBytesPerSec)),
      m_nBlockAlign(std::max<std::uint32_t>(1, nBlockAlign)),
      m_nDelayUs(nOutputDelayUs),
      m_hooks(std::move(hooks)) {}

std::int64_t CGaplessOutput::ToUs(std::int64_t nBytes) const {
  return nBytes * 1'000'000 / static_cast<std::int64_t>(m_nBytesPerSec);
}

// ---- user-interface side ----------------------------------------------------

int CGaplessOutput::Write(const std::uint8_t* pData, std::uint32_t nBytes, std::int64_t nNowUs) {
  if (m_bGone) return kWaveNoDriver;
  if (m_bOwed) return kWaveStillPlaying;
  nBytes -= nBytes % m_nBlockAlign;
  if (m_bHasPrefetch) {
    if (nBytes == m_prefetched.size() && nBytes != 0 &&
        std::memcmp(pData, m_prefetched.data(), nBytes) == 0) {
      m_bHasPrefetch = false;
      // The buffer is already on its way: it becomes the current one where
      // it stands, right after the sound before it.
      m_current = m_prefetch;
      m_prefetch = Span{};
      for (Piece& piece : m_queue) piece.bPrefetched = false;
      m_claimed = std::move(m_prefetched);  // the queued piece still points into it
      m_prefetched.clear();
      m_bOwed = true;
      m_wantUs.clear();
      Schedule(nNowUs);
      return kWaveNoError;
    }
    DropPrefetch();
  }
  if (nBytes == 0) {
    m_hooks.postDone();  // nothing to hear: done at once
    return kWaveNoError;
  }
  m_current = Span{};
  // A buffer that does not follow one still playing (the stream stood
  // still, ran dry, or has not been asked about since it last played)
  // comes after what the output plays now, which only a new report tells.
  if (m_nRestartFrom < 0 && m_bWriteKnown && !m_reports.empty()) {
    const StreamReport& last = m_reports.back();
    if (!last.bRunning || m_bDrained || nNowUs - last.nNowUs > ReachUs(last)) MarkRestart();
  }
  Enqueue(pData, nBytes, false);
  m_bOwed = true;
  m_wantUs.clear();
  Feed();
  OnCheck(nNowUs);
  return kWaveNoError;
}

bool CGaplessOutput::Prefetch(const std::uint8_t* pData, std::uint32_t nBytes) {
  if (m_bGone) return false;
  nBytes -= nBytes % m_nBlockAlign;
  if (nBytes == 0) return false;
  if (m_bHasPrefetch) {
    // An earlier one is replaced only while none of it is in the stream: the
    // buffer playing before it must not be cut.
    auto it = std::find_if(m_queue.begin(), m_queue.end(),
                           [](const Piece& piece) { return piece.bPrefetched; });
    if (it == m_queue.end() || it->nSent != 0) return false;
    m_queue.erase(it);
    m_bHasPrefetch = false;
  }
  m_prefetched.assign(pData, pData + nBytes);
  m_prefetch = Span{};
  Enqueue(m_prefetched.data(), nBytes, true);
  m_bHasPrefetch = true;
  Feed();
  return true;
}

void CGaplessOutput::DropPrefetch() {
  if (!m_bHasPrefetch) return;
  auto it = std::find_if(m_queue.begin(), m_queue.end(),
                         [](const Piece& piece) { return piece.bPrefetched; });
  const bool bUntouched = it != m_queue.end() && it->nSent == 0;
  if (bUntouched || (it == m_queue.end() && m_prefetch.nStart < 0)) {
    if (it != m_queue.end()) m_queue.erase(it);
  } else {
    // Part of it is with the server already, and nothing else is owed
    // (a prefetched buffer is dropped only between buffers): cut it off.
    m_queue.clear();
    if (m_pStream->Flush()) m_bWriteKnown = false;
  }
  m_bHasPrefetch = false;
  m_prefetched.clear();
  m_prefetch = Span{};
}

void CGaplessOutput::Reset(std::int64_t nNowUs) {
  if (m_bGone) return;
  m_queue.clear();
  m_bHasPrefetch = false;
  m_prefetched.clear();
  m_prefetch = Span{};
  const bool bFlushed = m_pStream->Flush();
  if (bFlushed) m_bWriteKnown = false;
  m_nRestartFrom = -1;  // what it marked is dropped
  if (m_bOwed) {
    // The sound already with the output still plays; the done comes when
    // the cut is heard (at once when the stream had not started).
    m_bCut = true;
    m_nCutEnd = bFlushed ? -1 : m_nWritten;
  }
  OnCheck(nNowUs);
}

void CGaplessOutput::MarkRestart() {
  m_nRestartFrom = m_nWritten;
  m_bAskedSinceRestart = false;
  m_bReportSinceRestart = false;
}

std::int64_t CGaplessOutput::HeardUs(std::int64_t nNowUs, bool bRunOn) const {
  if (m_reports.empty()) return INT64_MIN / 4;
  // The output delay shifts in time what the server reports: what is heard
  // now is what the server reported as heard nDelay ago.
  const std::int64_t nAt = nNowUs - m_nDelayUs;
  auto it = std::find_if(m_reports.rbegin(), m_reports.rend(),
                         [nAt](const StreamReport& r) { return r.nNowUs <= nAt; });
  const StreamReport& r = it != m_reports.rend() ? *it : m_reports.front();
  std::int64_t nHeard = r.nHeardUs;
  if (it == m_reports.rend()) {
    // Before the first report: back at the real-time rate, not below 0.
    nHeard -= std::clamp<std::int64_t>(r.nNowUs - nAt, 0, std::max<std::int64_t>(0, r.nHeardUs));
  } else if (r.bRunning) {
    const std::int64_t nReach =
        bRunOn ? kMaxExtrapolationUs + std::max<std::int64_t>(0, -m_nDelayUs) : ReachUs(r);
    nHeard += std::clamp<std::int64_t>(nAt - r.nNowUs, 0, nReach);
  } else if (r.nHeardUs < 0) {
    // The first sample is on its way through the output, behind what the
    // output still plays at the real-time rate: it is heard when that is
    // through (a server that lets it wait longer only says so later).
    nHeard += std::clamp<std::int64_t>(nAt - r.nNowUs, 0, -r.nHeardUs);
  }
  // A drained stream plays out what it took at the real-time rate, even
  // where its reports stand still.
  if (m_bDrained && nAt > m_drainedAt.nNowUs)
    nHeard = std::max(nHeard, m_drainedAt.nHeardUs + (nAt - m_drainedAt.nNowUs));
  // Sound written while the stream stood still comes after what the output
  // still plays: none of it is heard before a report asked for since says
  // how much that is, and then not before it has played out.
  if (m_nRestartFrom >= 0) {
    const std::int64_t nRestartUs = ToUs(m_nRestartFrom);
    const StreamReport& last = m_reports.back();
    if (m_bReportSinceRestart && last.nHeardUs < nRestartUs)
      nHeard = std::min(nRestartUs,
                        last.nHeardUs + std::clamp<std::int64_t>(nAt - last.nNowUs, 0,
                                                                 nRestartUs - last.nHeardUs));
    else
      nHeard = std::min(nHeard, nRestartUs - 1000);
  }
  // Nothing is heard that was never written.
  if (m_bWriteKnown) nHeard = std::min(nHeard, ToUs(m_nWritten));
  return nHeard;
}

bool CGaplessOutput::GetClock(std::int64_t nNowUs, WaveClock* pClock) const {
  // Before the server's first word on a buffer owed, nothing of it is heard
  // yet; with nothing owed there is nothing to tell.
  if (m_reports.empty() && !m_bOwed) return false;
  std::int64_t nStart = m_current.nStart;
  std::int64_t nEnd = m_current.nEnd;
  if (nStart < 0) {
    // Not sent yet: it begins where the stream's written sound ends.
    if (!m_bWriteKnown || m_bCut) return false;
    nStart = m_nWritten;
    nEnd = m_nWritten;
    for (const Piece& piece : m_queue)
      if (!piece.bPrefetched) nEnd += static_cast<std::int64_t>(piece.nBytes);
  }
  if (m_bCut && m_nCutEnd >= 0) nEnd = std::min(nEnd, m_nCutEnd);
  pClock->nHeardUs = m_reports.empty() ? ToUs(nStart) - 1000 : HeardUs(nNowUs);
  pClock->nRunningUs = m_reports.empty() ? pClock->nHeardUs : HeardUs(nNowUs, true);
  pClock->nBufferStartUs = ToUs(nStart);
  pClock->nEndUs = ToUs(nEnd);
  return true;
}

void CGaplessOutput::WantClockAt(std::int64_t nBufferUs, std::int64_t nNowUs) {
  if (m_bGone || !m_bOwed) return;
  const std::int64_t nWant = std::max<std::int64_t>(0, nBufferUs);
  ForgetToldMoments(nNowUs);
  // When full, the latest moment gives way to an earlier one.
  if (m_wantUs.size() >= kMaxWanted && nWant < m_wantUs.back()) m_wantUs.pop_back();
  const auto it = std::lower_bound(m_wantUs.begin(), m_wantUs.end(), nWant);
  if (m_wantUs.size() < kMaxWanted && (it == m_wantUs.end() || *it != nWant))
    m_wantUs.insert(it, nWant);
  OnCheck(nNowUs);
}

std::int64_t CGaplessOutput::ReachUs(const StreamReport& r) const {
  std::int64_t nReach = kMaxExtrapolationUs;
  if (r.nAheadUs >= 0) nReach = std::min(nReach, r.nAheadUs + kAheadMarginUs);
  return nReach + std::max<std::int64_t>(0, -m_nDelayUs);
}

// ---- sound-thread side ------------------------------------------------------

void CGaplessOutput::OnWritable(std::int64_t nNowUs) {
  Feed();
  // A stream that has just started taking sound is asked where it is at
  // once: its first sample is on its way.
  if (m_reports.empty() && m_nWritten > 0 && Active()) OnCheck(nNowUs);
}

void CGaplessOutput::OnReport(const StreamReport& report) {
  m_reports.push_back(report);
  // Only an answer to a request made since the restart knows of it.
  if (m_nRestartFrom >= 0 && m_bAskedSinceRestart) {
    if (report.bRunning)
      m_nRestartFrom = -1;
    else
      m_bReportSinceRestart = true;
  }
  if (!report.bDrained) {
    m_bDrained = false;
  } else if (!m_bDrained) {
    m_bDrained = true;
    m_drainedAt = report;
  }
  // Kept for as long as the output delay looks back.
  const std::int64_t nKeep = std::max<std::int64_t>(0, m_nDelayUs) + 2 * kIdleReportIntervalUs;
  while (m_reports.size() > 2 && report.nNowUs - m_reports[1].nNowUs > nKeep) m_reports.pop_front();
  m_nWaitingSinceUs = -1;
  if (!m_bWriteKnown && report.nWriteIndex >= 0) {
    m_nWritten = report.nWriteIndex;
    m_bWriteKnown = true;
    if (m_bCut) m_nCutEnd = m_nWritten;
    Feed();
  }
  Evaluate(report.nNowUs);
  Schedule(report.nNowUs);
}

void CGaplessOutput::OnNoReport(std::int64_t nNowUs) {
  m_nWaitingSinceUs = -1;
  Schedule(nNowUs);
}

void CGaplessOutput::OnCheck(std::int64_t nNowUs) {
  Evaluate(nNowUs);
  if (m_bGone) return;
  ForgetToldMoments(nNowUs);
  if (Active() && m_nWaitingSinceUs < 0 && UntilRequest(nNowUs) == 0) {
    // A stream that cannot be asked yet is asked again a little later.
    m_nLastRequestUs = nNowUs;
    if (m_pStream->RequestReport()) {
      m_nWaitingSinceUs = nNowUs;
      if (m_nRestartFrom >= 0) m_bAskedSinceRestart = true;
    }
  }
  Schedule(nNowUs);
}

void CGaplessOutput::OnGone() {
  if (m_bGone) return;
  m_bGone = true;
  m_queue.clear();
  m_bHasPrefetch = false;
  if (m_bOwed) {
    m_bOwed = false;
    m_bCut = false;
    m_hooks.postDone();
  }
}

// ---- internals --------------------------------------------------------------

void CGaplessOutput::Enqueue(const std::uint8_t* pData, std::uint32_t nBytes, bool bPrefetched) {
  Piece piece{pData, nBytes, 0, bPrefetched};
  if (bPrefetched) {
    m_queue.push_back(piece);
  } else {
    // The current buffer goes before a prefetched one still waiting.
    auto it = std::find_if(m_queue.begin(), m_queue.end(),
                           [](const Piece& p) { return p.bPrefetched && p.nSent == 0; });
    m_queue.insert(it, piece);
  }
}

void CGaplessOutput::Feed() {
  // A stream may ask for more from inside its own write: that is this loop.
  if (m_bGone || !m_bWriteKnown || m_bFeeding) return;
  m_bFeeding = true;
  FeedQueue();
  m_bFeeding = false;
}

void CGaplessOutput::FeedQueue() {
  std::size_t nRoom = m_pStream->WritableBytes();
  while (nRoom > 0 && !m_queue.empty()) {
    Piece& piece = m_queue.front();
    if (piece.nSent == 0) {
      Span& span = piece.bPrefetched ? m_prefetch : m_current;
      span.nStart = m_nWritten;
      span.nEnd = m_nWritten + static_cast<std::int64_t>(piece.nBytes);
    }
    std::size_t n = std::min(nRoom, piece.nBytes - piece.nSent);
    if (n < piece.nBytes - piece.nSent) n -= n % m_nBlockAlign;
    if (n == 0) break;
    if (m_nRestartFrom < 0 && !m_reports.empty() && !m_reports.back().bRunning) MarkRestart();
    if (!m_pStream->Write(piece.pData + piece.nSent, n)) {
      m_hooks.gone();
      OnGone();
      return;
    }
    m_nWritten += static_cast<std::int64_t>(n);
    m_bDrained = false;  // there is sound again
    piece.nSent += n;
    nRoom -= n;
    if (piece.nSent == piece.nBytes) {
      const bool bClaimed = !m_claimed.empty() && piece.pData == m_claimed.data();
      m_queue.pop_front();
      if (bClaimed) m_claimed.clear();
    }
  }
}

void CGaplessOutput::Evaluate(std::int64_t nNowUs) {
  if (!m_bOwed || m_bGone) return;
  // A server that does not answer at all is given up after a while.
  if (m_nWaitingSinceUs >= 0 && nNowUs - m_nWaitingSinceUs > kGoneAfterUs) {
    m_hooks.gone();
    OnGone();
    return;
  }
  const std::int64_t nTarget = m_bCut ? m_nCutEnd : m_current.nEnd;
  if (nTarget < 0) return;
  // A stream that never started and was cut before it played anything.
  const bool bNothingPlayed = m_bCut && m_reports.empty() && nTarget == 0;
  if (!bNothingPlayed && (m_reports.empty() || HeardUs(nNowUs) < ToUs(nTarget))) return;
  m_bOwed = false;
  m_bCut = false;
  m_nCutEnd = -1;
  m_hooks.postDone();
}

bool CGaplessOutput::Active() const { return !m_bGone && (m_bOwed || !m_queue.empty()); }

std::int64_t CGaplessOutput::DoneTargetUs() const {
  if (!m_bOwed) return -1;
  const std::int64_t nTarget = m_bCut ? m_nCutEnd : m_current.nEnd;
  return nTarget < 0 ? -1 : ToUs(nTarget);
}

std::vector<std::int64_t> CGaplessOutput::WantedUs() const {
  std::vector<std::int64_t> moments;
  if (!m_bOwed || m_bCut || m_current.nStart < 0) return moments;
  moments.reserve(m_wantUs.size());
  for (const std::int64_t nWant : m_wantUs) moments.push_back(ToUs(m_current.nStart) + nWant);
  return moments;
}

void CGaplessOutput::ForgetToldMoments(std::int64_t nNowUs) {
  if (m_wantUs.empty() || m_reports.empty() || m_current.nStart < 0) return;
  const std::int64_t nTold = HeardUs(nNowUs) - ToUs(m_current.nStart);
  m_wantUs.erase(m_wantUs.begin(), std::upper_bound(m_wantUs.begin(), m_wantUs.end(), nTold));
}

bool CGaplessOutput::Reaches(std::int64_t nUs) const {
  if (m_reports.empty()) return false;
  // Sound written after the stream stood still is held until a report
  // asked for since tells where the output is.
  if (m_nRestartFrom >= 0 && !m_bReportSinceRestart) return false;
  if (m_bDrained) return true;  // plays out at the real-time rate
  const StreamReport& r = m_reports.back();
  return r.bRunning && nUs + kMinRequestGapUs <= r.nHeardUs + ReachUs(r);
}

std::int64_t CGaplessOutput::UntilRequest(std::int64_t nNowUs) const {
  const std::int64_t nSince = nNowUs - m_nLastRequestUs;
  const auto after = [nSince](std::int64_t nInterval) {
    return std::max<std::int64_t>(0, nInterval - nSince);
  };
  std::int64_t nSteady = m_nDelayUs > 0 ? kReportIntervalUs : kIdleReportIntervalUs;
  if (m_nDelayUs <= 0 && !m_reports.empty() && ReachUs(m_reports.back()) < nSteady)
    nSteady = kShortOutputReportIntervalUs;
  std::int64_t nUntil = after(nSteady);
  const bool bStarting = m_reports.empty() || (!m_reports.back().bRunning && !m_bDrained);
  if (bStarting) nUntil = std::min(nUntil, after(kStartReportIntervalUs));
  // Each moment the clock must be right for, unless the last report already
  // carries the clock past it: asked for a little before, as the sound goes
  // on at the real-time rate (the clock itself may stand still meanwhile).
  // A moment the clock as told has passed needs nothing more; one that the
  // sound has passed by the real-time rate while the clock told stands
  // short of it (the last report reaches no further) is asked for at once.
  std::int64_t nHeard = 0;
  std::int64_t nTold = 0;
  if (!m_reports.empty()) {
    const StreamReport& r = m_reports.back();
    nHeard = r.nHeardUs + (r.bRunning ? nNowUs - m_nDelayUs - r.nNowUs : 0);
    nTold = HeardUs(nNowUs);
  }
  std::vector<std::int64_t> moments = WantedUs();
  moments.push_back(DoneTargetUs());
  for (const std::int64_t nMoment : moments) {
    if (nMoment < 0 || m_reports.empty() || nMoment <= nTold || Reaches(nMoment)) continue;
    const std::int64_t nUntilLead = std::max<std::int64_t>(0, nMoment - kLeadUs - nHeard);
    nUntil = std::min(nUntil, std::max(nUntilLead, after(kMinRequestGapUs)));
  }
  return nUntil;
}

void CGaplessOutput::Schedule(std::int64_t nNowUs) {
  if (!Active()) return;
  // While a request is out, its answer schedules what follows; a server
  // that never answers is looked at now and then until it is given up.
  std::int64_t nNext = m_nWaitingSinceUs >= 0 ? kIdleReportIntervalUs : UntilRequest(nNowUs);
  // The done is posted when the end of the buffer is heard: looked at then,
  // as far as the clock runs.
  const std::int64_t nTarget = DoneTargetUs();
  if (nTarget >= 0 && !m_reports.empty()) {
    const std::int64_t nLeft = nTarget - HeardUs(nNowUs);
    if (nLeft > 0 && Reaches(nTarget)) nNext = std::min(nNext, nLeft);
    if (nLeft <= 0) nNext = std::min<std::int64_t>(nNext, 1000);
  }
  // From the moment looked at, which for a report is when the server made
  // it: it may have taken a few ms to arrive.
  m_hooks.scheduleCheck(nNowUs + std::max<std::int64_t>(nNext, 1000));
}

}  // namespace solvari
