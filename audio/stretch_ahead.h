// SPDX-License-Identifier: GPL-3.0-or-later
// Stretched voices made ahead of time. Stretching a phrase takes far longer
// than reading its file, so the frame asks for the phrases it will need next
// while the current one plays; a worker thread of its own reads and stretches
// them, and the user-interface thread takes the result when the phrase
// starts. The worker touches nothing but the entries below, under their lock.
//
// What is taken always belongs to the bytes the caller has just loaded: an
// entry made from other bytes (the file changed in between) is not used.
//
// Where there are no threads (the browser build) it is given a runner
// instead: an event poster of the thread that uses it. Each job is then one
// posted event that does it there, start to end, and posts the next while
// jobs remain; no thread is started.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace solvari {

class IEventPoster;

class CStretchAhead {
 public:
  // How Take came by its result.
  enum class Source { Unchanged, Ready, Waited, Synchronous, Failed };
  struct Stats {
    int nReady = 0;
    int nWaited = 0;
    int nSynchronous = 0;
  };

  static constexpr std::size_t kDefaultKeep = 6;

  // nKeep stretched phrases are kept (the last ones made or taken), so that
  // going back a phrase or repeating one finds its stretch ready. Without a
  // runner the jobs are done on a worker thread of its own; with one, in
  // the events posted to it (pRunner must outlive this object, and its
  // events must run on the thread that uses this object).
  explicit CStretchAhead(std::size_t nKeep = kDefaultKeep, IEventPoster* pRunner = nullptr);
  // Stops the worker: a stretch under way is cancelled, not waited for. An
  // event still on its way to the runner then does nothing.
  ~CStretchAhead();
  CStretchAhead(const CStretchAhead&) = delete;
  CStretchAhead& operator=(const CStretchAhead&) = delete;

  // Asks for the voice file at path at the tempo, unless it is there or on
  // its way already; nothing happens at 100. Jobs are done in order, the
  // newest request first.
  void Prepare(const std::string& path, int nTempoPercent);

  // The stretch of pLoaded (the nBytes just read from path) at the tempo,
  // into out. A ready entry is copied; one being made on the worker is
  // waited for (with a runner nothing is ever waited for); else it is
  // stretched here, on the caller's thread. At 100 the bytes are copied as
  // they are. Returns Failed (out empty) when stretching fails.
  Source Take(const std::string& path, int nTempoPercent, const std::uint8_t* pLoaded,
              std::size_t nBytes, std::vector<std::uint8_t>& out);

  // Forgets every entry and every queued job (a job under way is cancelled).
  void Clear();

  // fn runs on the worker's thread (or in the runner's event) each time a
  // job has ended (its stretch made, or failed), outside the lock; it should
  // only hand the news on.
  void SetOnFinished(std::function<void()> fn);

  // Whether the stretch of path at the tempo is ready, and whether it is
  // queued or under way.
  bool IsReady(const std::string& path, int nTempoPercent) const;
  bool IsPending(const std::string& path, int nTempoPercent) const;
  // Blocks until no job is queued or under way and the news of the last one
  // has been handed on (for tests and benchmarks). With a runner it returns
  // at once: the jobs are done only as the runner's events run, on the very
  // thread that would wait here.
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
  // The most recently asked-for queued job, if any.
  Entry* NewestQueued();
  // Does job (lock held on entry and on return, let go while it works):
  // reads and stretches it, keeps the result and hands the news on.
  void DoJob(Entry& job, std::unique_lock<std::mutex>& lock);
  // With a runner: posts the event that does the newest job.
  void PostRun();
  void RunPosted();
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
  IEventPoster* const m_pRunner;
  bool m_bRunPosted = false;  // an event of the runner's is on its way
  // Events posted to the runner check it: none reaches an object that has gone.
  std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);
  std::thread m_worker;
};

}  // namespace solvari
