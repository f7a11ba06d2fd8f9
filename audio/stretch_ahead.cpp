// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/stretch_ahead.h"

#include <algorithm>
#include <cstring>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "audio/time_stretch.h"
#include "audio/voice_segment.h"
#include "audio/wave_buffer.h"
#include "audio/wave_device.h"

namespace solvari {

namespace {

// The sound bytes of a voice file, read as the program reads it; false when
// it does not load.
bool ReadVoiceFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  CWaveBuffer wave(nullptr, nullptr, nullptr);
  if (!LoadVoiceSegment(wave, path)) return false;
  const std::uint8_t* p = wave.LockData();
  if (p == nullptr) return false;
  bytes.assign(p, p + wave.m_dwDataSize);
  wave.UnlockData();
  return true;
}

// The worker yields to the sound output and to the user interface.
void LowerThisThreadsPriority() {
#if defined(__linux__)
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
}

bool SameBytes(const std::vector<std::uint8_t>& a, const std::uint8_t* p, std::size_t n) {
  return a.size() == n && (n == 0 || std::memcmp(a.data(), p, n) == 0);
}

}  // namespace

CStretchAhead::CStretchAhead(std::size_t nKeep, IEventPoster* pRunner)
    : m_nKeep(std::max<std::size_t>(nKeep, 1)), m_pRunner(pRunner) {
  if (m_pRunner == nullptr) m_worker = std::thread([this] { Run(); });
}

CStretchAhead::~CStretchAhead() {
  m_pAlive.reset();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStop = true;
    m_bCancel = true;
  }
  m_changed.notify_all();
  if (m_worker.joinable()) m_worker.join();
}

CStretchAhead::Entry* CStretchAhead::Find(const std::string& path, int nTempo) {
  for (Entry& e : m_entries)
    if (e.nTempo == nTempo && e.path == path) return &e;
  return nullptr;
}

const CStretchAhead::Entry* CStretchAhead::Find(const std::string& path, int nTempo) const {
  return const_cast<CStretchAhead*>(this)->Find(path, nTempo);
}

// Drops the least recently used finished entries beyond the number kept.
void CStretchAhead::Trim() {
  for (;;) {
    std::size_t nFinished = 0;
    auto oldest = m_entries.end();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
      if (it->state != State::Ready && it->state != State::Failed) continue;
      ++nFinished;
      if (oldest == m_entries.end() || it->nUse < oldest->nUse) oldest = it;
    }
    if (nFinished <= m_nKeep) return;
    m_entries.erase(oldest);
  }
}

void CStretchAhead::Prepare(const std::string& path, int nTempoPercent) {
  if (nTempoPercent == 100) return;
  bool bPost = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    Entry* e = Find(path, nTempoPercent);
    if (e == nullptr) {
      m_entries.push_back(Entry{path, nTempoPercent, State::Queued, {}, {}, 0});
      e = &m_entries.back();
    } else if (e->state == State::Failed) {
      e->state = State::Queued;  // the file may be there now
    }
    e->nUse = ++m_nUseCounter;
    // One event at a time: it posts the next itself while jobs remain.
    if (m_pRunner != nullptr && e->state == State::Queued && !m_bRunPosted) {
      m_bRunPosted = true;
      bPost = true;
    }
  }
  m_changed.notify_all();
  if (bPost) PostRun();
}

CStretchAhead::Entry* CStretchAhead::NewestQueued() {
  Entry* job = nullptr;
  for (Entry& e : m_entries)
    if (e.state == State::Queued && (job == nullptr || e.nUse > job->nUse)) job = &e;
  return job;
}

void CStretchAhead::Run() {
  LowerThisThreadsPriority();
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    // The most recently asked-for queued job first.
    Entry* job = NewestQueued();
    if (m_bStop) return;
    if (job == nullptr) {
      m_changed.wait(lock);
      continue;
    }
    DoJob(*job, lock);
  }
}

void CStretchAhead::DoJob(Entry& job, std::unique_lock<std::mutex>& lock) {
  job.state = State::Working;
  const std::string path = job.path;
  const int nTempo = job.nTempo;
  m_bCancel = false;
  lock.unlock();

  std::vector<std::uint8_t> input;
  std::vector<std::uint8_t> output;
  const bool bOk = ReadVoiceFile(path, input) &&
                   StretchVoiceBytes(input.data(), input.size(), kVoiceSamplesPerSec, nTempo,
                                     output, &m_bCancel);

  lock.lock();
  // The entry may have been dropped (Clear) while the lock was free; then
  // the work is thrown away.
  if (Entry* e = Find(path, nTempo); e != nullptr && e->state == State::Working) {
    if (bOk) {
      e->state = State::Ready;
      e->input = std::move(input);
      e->output = std::move(output);
    } else {
      e->state = State::Failed;
    }
    Trim();
  }
  m_changed.notify_all();  // a Take waiting for this stretch goes on at once
  if (m_onFinished) {
    const std::function<void()> onFinished = m_onFinished;
    m_bTelling = true;
    lock.unlock();
    onFinished();
    lock.lock();
    m_bTelling = false;
    m_changed.notify_all();
  }
}

void CStretchAhead::PostRun() {
  std::weak_ptr<int> alive = m_pAlive;
  m_pRunner->Post([this, alive] {
    if (!alive.expired()) RunPosted();
  });
}

void CStretchAhead::RunPosted() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_bRunPosted = false;
  if (Entry* job = NewestQueued()) DoJob(*job, lock);
  // A Prepare while the news was handed on may have posted the next already.
  const bool bPost = !m_bRunPosted && NewestQueued() != nullptr;
  m_bRunPosted = m_bRunPosted || bPost;
  lock.unlock();
  if (bPost) PostRun();
}

void CStretchAhead::SetOnFinished(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_onFinished = std::move(fn);
}

CStretchAhead::Source CStretchAhead::Take(const std::string& path, int nTempoPercent,
                                          const std::uint8_t* pLoaded, std::size_t nBytes,
                                          std::vector<std::uint8_t>& out) {
  out.clear();
  if (nTempoPercent == 100) {
    if (nBytes > 0 && pLoaded == nullptr) return Source::Failed;
    out.assign(pLoaded, pLoaded + nBytes);
    return Source::Unchanged;
  }
  bool bWaited = false;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    Entry* e = Find(path, nTempoPercent);
    // With a runner no job is under way elsewhere: nothing to wait for.
    if (e != nullptr && e->state == State::Working && m_pRunner == nullptr) {
      bWaited = true;
      m_changed.wait(lock, [&] {
        e = Find(path, nTempoPercent);
        return e == nullptr || e->state != State::Working;
      });
    }
    if (e != nullptr && e->state == State::Ready && SameBytes(e->input, pLoaded, nBytes)) {
      e->nUse = ++m_nUseCounter;
      out = e->output;
      ++(bWaited ? m_stats.nWaited : m_stats.nReady);
      return bWaited ? Source::Waited : Source::Ready;
    }
    ++m_stats.nSynchronous;
    // Not ready: stretched here, so the queued job is no longer needed.
    if (e != nullptr && e->state == State::Queued) {
      m_entries.erase(std::find_if(m_entries.begin(), m_entries.end(),
                                   [e](const Entry& x) { return &x == e; }));
    }
  }
  if (!StretchVoiceBytes(pLoaded, nBytes, kVoiceSamplesPerSec, nTempoPercent, out))
    return Source::Failed;
  std::lock_guard<std::mutex> lock(m_mutex);
  Entry* e = Find(path, nTempoPercent);
  if (e == nullptr) {
    m_entries.push_back(Entry{path, nTempoPercent, State::Ready, {}, {}, 0});
    e = &m_entries.back();
  }
  if (e->state != State::Working) {
    e->state = State::Ready;
    e->input.assign(pLoaded, pLoaded + nBytes);
    e->output = out;
    e->nUse = ++m_nUseCounter;
    Trim();
  }
  return Source::Synchronous;
}

void CStretchAhead::Clear() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bCancel = true;
    m_entries.clear();
  }
  m_changed.notify_all();
}

bool CStretchAhead::IsReady(const std::string& path, int nTempoPercent) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const Entry* e = Find(path, nTempoPercent);
  return e != nullptr && e->state == State::Ready;
}

bool CStretchAhead::IsPending(const std::string& path, int nTempoPercent) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const Entry* e = Find(path, nTempoPercent);
  return e != nullptr && (e->state == State::Queued || e->state == State::Working);
}

void CStretchAhead::WaitIdle() const {
  if (m_pRunner != nullptr) return;
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [&] {
    return !m_bTelling && std::none_of(m_entries.begin(), m_entries.end(), [](const Entry& e) {
      return e.state == State::Queued || e.state == State::Working;
    });
  });
}

CStretchAhead::Stats CStretchAhead::GetStats() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_stats;
}

}  // namespace solvari
