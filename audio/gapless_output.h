// SPDX-License-Identifier: GPL-3.0-or-later
// The logic of a wave-output device over a playback stream that plays one
// buffer after another without a seam and knows when each sample is heard.
//
// The stream (a sound server's playback stream, or a fake in the tests)
// asks for data; the device feeds it from its own queue: the buffer being
// played, then the one handed ahead of time (Prefetch). Positions are byte
// offsets in the stream; the server's reports say which position is being
// heard, and a buffer is done when its last byte has been heard. Its done
// notification therefore comes when the next buffer, already in the stream,
// is heard starting.
//
// Nothing here runs a thread: the owner calls every function with its lock
// held, from the sound thread (the On... functions) or the user-interface
// thread (the rest).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "audio/wave_device.h"

namespace solvari {

// What the device asks of the stream.
class IPcmStream {
 public:
  virtual ~IPcmStream() = default;
  // Bytes the stream takes now.
  virtual std::size_t WritableBytes() = 0;
  // Appends bytes at the stream's write position; false on failure.
  virtual bool Write(const std::uint8_t* pData, std::size_t nBytes) = 0;
  // Drops everything the stream holds that has not been played; then a
  // report (OnReport) must follow with the new write position. False when
  // the stream has not started (it holds nothing).
  virtual bool Flush() = 0;
  // Asks for a report; OnReport (or OnNoReport) follows when this returns
  // true. False when the stream cannot be asked now.
  virtual bool RequestReport() = 0;
};

// One report of the stream: at local time nNowUs, stream time nHeardUs was
// being heard (negative while the stream's first sample is still on its way
// through the output), and the stream was advancing (bRunning) or stood still (not
// started, or run dry). nWriteIndex is the server's write position in bytes,
// or -1 when it is not known in this report.
struct StreamReport {
  std::int64_t nNowUs = 0;
  std::int64_t nHeardUs = 0;
  bool bRunning = false;
  std::int64_t nWriteIndex = -1;
  // The server has taken everything written and has nothing more to play:
  // what it took is heard within its latency, whatever it reports.
  bool bDrained = false;
  // How much of the stream (µs) the server had already passed on to the
  // output beyond nHeardUs: all that can still be heard should the server
  // stall after this report. -1 when not known.
  std::int64_t nAheadUs = -1;
};

class CGaplessOutput {
 public:
  // How often the server is asked where it is while there is sound to hear
  // and nothing needs the clock soon: each answer costs the server and this
  // process a wake-up or two.
  static constexpr std::int64_t kIdleReportIntervalUs = 100'000;
  // Steady reports keep the clock running between the moments it is needed
  // at only where one report carries it to the next. On an output too short
  // for that (its reach is its own short latency) they would cost wake-ups
  // for nothing: the server is asked before each moment, and at this pace
  // besides, to know that it still answers.
  static constexpr std::int64_t kShortOutputReportIntervalUs = 500'000;
  // The clock is needed at given moments: the end of the buffer (its done),
  // and each moment WantClockAt names. A report is asked for this long
  // before such a moment unless the last one reaches past it.
  static constexpr std::int64_t kLeadUs = 12'000;
  // How often while a stream is starting (or has run dry): its first sample
  // is heard within the output's latency of its start.
  static constexpr std::int64_t kStartReportIntervalUs = 5'000;
  // With a positive output delay the clock is read from reports that old:
  // the server is asked steadily at this rate then.
  static constexpr std::int64_t kReportIntervalUs = 20'000;
  // Never two requests closer than this.
  static constexpr std::int64_t kMinRequestGapUs = 2'000;
  // Without a fresh report the clock runs on for this long, then stands
  // still: a stalled server never makes the program run ahead of the sound.
  static constexpr std::int64_t kMaxExtrapolationUs = 100'000;
  // Nor further than the sound the server had passed on to the output, and
  // this much more (the output may hold a little the server does not see):
  // a server that stalls lets the output run dry, and the clock stops with it.
  static constexpr std::int64_t kAheadMarginUs = 10'000;
  // A server that has not answered for this long while sound is owed is
  // taken as gone.
  static constexpr std::int64_t kGoneAfterUs = 5'000'000;

  struct Hooks {
    std::function<void()> postDone;  // to the user-interface thread
    // OnCheck at this moment (µs, on the clock of the nNowUs arguments and
    // the reports).
    std::function<void(std::int64_t)> scheduleCheck;
    std::function<void()> gone;  // the stream is to be given up
  };

  // nBytesPerSec and nBlockAlign of the stream's format; nOutputDelayUs is
  // the delay after the server's own latency that the system cannot know
  // (added to it; may be negative).
  CGaplessOutput(IPcmStream* pStream, std::uint32_t nBytesPerSec, std::uint32_t nBlockAlign,
                 std::int64_t nOutputDelayUs, Hooks hooks);

  // User-interface side. Write queues the buffer that is played next (the
  // caller keeps it unchanged until its done notification); an identical
  // prefetched buffer is taken up instead. kWaveStillPlaying while a done is
  // owed, kWaveNoDriver once the stream is gone.
  int Write(const std::uint8_t* pData, std::uint32_t nBytes, std::int64_t nNowUs);
  bool Prefetch(const std::uint8_t* pData, std::uint32_t nBytes);
  // Drops all queued sound; the done of the buffer comes when the cut is heard.
  void Reset(std::int64_t nNowUs);
  // Drops a prefetched buffer (the device was closed without taking it up).
  void DropPrefetch();
  bool IsOwed() const { return m_bOwed; }
  bool IsGone() const { return m_bGone; }
  bool GetClock(std::int64_t nNowUs, WaveClock* pClock) const;
  // The clock will be read when nBufferUs of the current buffer are heard
  // (as well as at every moment named before for this buffer).
  void WantClockAt(std::int64_t nBufferUs, std::int64_t nNowUs);
  // Heard stream time now, in µs.
  // With bRunOn, as if the output had played on since the last report, past
  // the reach of that report (for as long as the clock runs on at all).
  std::int64_t HeardUs(std::int64_t nNowUs, bool bRunOn = false) const;

  // Sound-thread side.
  void OnWritable(std::int64_t nNowUs);
  void OnReport(const StreamReport& report);
  // The server answered a request without a usable report: asked again as
  // the clock needs it.
  void OnNoReport(std::int64_t nNowUs);
  void OnCheck(std::int64_t nNowUs);
  // The server or the stream went away: an owed done is posted at once.
  void OnGone();

 private:
  struct Piece {
    const std::uint8_t* pData;  // the caller's buffer, or prefetched bytes
    std::size_t nBytes;
    std::size_t nSent = 0;
    bool bPrefetched;
  };
  struct Span {
    std::int64_t nStart = -1;  // byte positions in the stream; -1 not yet known
    std::int64_t nEnd = -1;
  };

  std::int64_t ToUs(std::int64_t nBytes) const;
  void Feed();
  void FeedQueue();
  void Evaluate(std::int64_t nNowUs);
  void Schedule(std::int64_t nNowUs);
  // The stream time at which the done is owed (-1: none).
  std::int64_t DoneTargetUs() const;
  // The stream times at which the clock must be right (empty: none).
  std::vector<std::int64_t> WantedUs() const;
  // Forgets the moments the clock has told are past.
  void ForgetToldMoments(std::int64_t nNowUs);
  // Whether the latest report lets the clock run on past stream time nUs.
  bool Reaches(std::int64_t nUs) const;
  std::int64_t ReachUs(const StreamReport& r) const;
  // Time (µs from now) until a report must be asked for; 0: now.
  std::int64_t UntilRequest(std::int64_t nNowUs) const;
  bool Active() const;
  void Enqueue(const std::uint8_t* pData, std::uint32_t nBytes, bool bPrefetched);
  // What is written from here on follows a stream that stood still.
  void MarkRestart();

  IPcmStream* m_pStream;
  std::uint32_t m_nBytesPerSec;
  std::uint32_t m_nBlockAlign;
  std::int64_t m_nDelayUs;
  Hooks m_hooks;

  std::deque<Piece> m_queue;
  std::vector<std::uint8_t> m_prefetched;  // the copy of the prefetched buffer
  std::vector<std::uint8_t> m_claimed;     // that copy once it is the current buffer
  bool m_bHasPrefetch = false;
  Span m_current;   // the buffer whose done is owed (or was last)
  Span m_prefetch;  // where the prefetched buffer lies once it is sent
  bool m_bOwed = false;
  bool m_bCut = false;  // a reset waits for the report of the cut
  std::int64_t m_nCutEnd = -1;
  bool m_bGone = false;
  bool m_bFeeding = false;

  std::int64_t m_nWritten = 0;  // the stream's write position, when known
  bool m_bWriteKnown = true;

  std::deque<StreamReport> m_reports;  // the latest last
  StreamReport m_drainedAt;            // the first report of a drained stream
  bool m_bDrained = false;
  std::int64_t m_nLastRequestUs = INT64_MIN / 2;
  std::int64_t m_nWaitingSinceUs = -1;  // a request not answered since
  // WantClockAt's moments in the current buffer, in order; no more than
  // kMaxWanted (a phrase names one per character).
  static constexpr std::size_t kMaxWanted = 64;
  std::vector<std::int64_t> m_wantUs;
  // Where the sound written to a stream that stood still begins, until a
  // report says the stream runs again (-1: none such); whether a report has
  // been asked for, and one has come, since.
  std::int64_t m_nRestartFrom = -1;
  bool m_bAskedSinceRestart = false;
  bool m_bReportSinceRestart = false;
};

}  // namespace solvari
