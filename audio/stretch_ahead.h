// SPDX-License-Identifier: GPL-3.0-or-later
// Stretched voices made ahead of time. Stretching a phrase takes far longer
// than reading its file, so the frame asks for the phrases it will need next
// while the current one plays; a worker thread of its own reads and stretches
// them, and the user-interface thread takes the result when the phrase
// starts. The worker touches nothing but the entries below, under their lock.
//
// What is taken always belongs to the bytes the caller has just loaded: an
// entry made from other bytes (the file changed in between) is not used.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace solvari {

class CStretchAhead {
 public:
  // How Take came by its result.
  enum class Source { Unchanged, Ready, Waited, Synchronous, Failed };
  struct Stats {
    int nReady = 0;
    int nWaited = 0;
    int nSynchronous = 0;
  };

  // nKeep stretched phrases are kept (the last ones made or taken), so that
  // going back a phrase or repeating one finds its stretch ready.
  explicit CStretchAhead(std::size_t nKeep = 6);
  // Stops the worker: a stretch under way is cancelled, not waited for.
  ~CStretchAhead();
  CStretchAhead(const CStretchAhead&) = delete;
  CStretchAhead& operator=(const CStretchAhead&) = delete;

  // Asks for the voice file at path at the tempo, unless it is there or on
  // its way already; nothing happens at 100. Jobs are done in order, the
  // newest request first.
  void Prepare(const std::string& path, int nTempoPercent);

  // The stretch of pLoaded (the nBytes just read from path) at the tempo,
  // into out. A ready entry is copied; one being made is waited for; else it
  // is stretched here, on the caller's thread. At 100 the bytes are copied
  // as they are. Returns Failed (out empty) when stretching fails.
  Source Take(const std::string& path, int nTempoPercent, const std::uint8_t* pLoaded,
              std::size_t nBytes, std::vector<std::uint8_t>& out);

  // Forgets every entry and every queued job (a job under way is cancelled).
  void Clear();

  // fn runs on the worker's thread each time a job has ended (its stretch
  // made, or failed), outside the lock; it should only hand the news on.
  void SetOnFinished(std::function<void()> fn);

  // Whether the stretch of path at the tempo is ready, and whether it is
  // queued or under way.
  bool IsReady(const std::string& path, int nTempoPercent) const;
  bool IsPending(const std::string& path, int nTempoPercent) const;
  // Blocks until no job is queued or under way and the news of the last one
  // has been handed on (for tests and benchmarks).
  void WaitIdle() const;
  Stats GetStats() const;

 private:
  enum class State { Queued, Working, Ready, Failed };
  struct Entry {
    std::string path;
    int nTempo = 100;
    State state = State::Queued;
    std::vector<std::uint8_t> input;   // the file's sound bytes
    std::vector<std::uint8_t> output;  // their stretch
    std::uint64_t nUse = 0;
  };

  void Run();
  Entry* Find(const std::string& path, int nTempo);
  const Entry* Find(const std::string& path, int nTempo) const;
  void Trim();

  const std::size_t m_nKeep;
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::deque<Entry> m_entries;
  std::uint64_t m_nUseCounter = 0;
  std::atomic<bool> m_bCancel{false};
  bool m_bStop = false;
  bool m_bTelling = false;  // the worker is running m_onFinished
  Stats m_stats;
  std::function<void()> m_onFinished;
  std::thread m_worker;
};

}  // namespace solvari
