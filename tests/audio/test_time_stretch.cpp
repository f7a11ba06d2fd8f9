// SPDX-License-Identifier: GPL-3.0-or-later
// The tempo choices, and the stretches made ahead: on the worker thread, or
// in the events of a runner where there are no threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "audio/stretch_ahead.h"
#include "audio/time_stretch.h"
#include "audio/voice_segment.h"
#include "audio/wave_device.h"
#include "stretch_signals.h"

namespace solvari {
namespace {

using test::kRate;
using test::Tone;

TEST(TimeStretch, TempoChoicesAndDurations) {
  for (int t : {50, 75, 100, 125, 150}) {
    EXPECT_TRUE(IsTempoChoice(t));
    EXPECT_EQ(ValidTempoChoice(t), t);
  }
  for (int t : {0, 1, 49, 51, 99, 101, 200, -75}) {
    EXPECT_FALSE(IsTempoChoice(t));
    EXPECT_EQ(ValidTempoChoice(t), 100) << t;
  }
  EXPECT_EQ(ScaleDurationMs(300, 100), 300);
  EXPECT_EQ(ScaleDurationMs(300, 50), 600);
  EXPECT_EQ(ScaleDurationMs(300, 75), 400);
  EXPECT_EQ(ScaleDurationMs(300, 150), 200);
  EXPECT_EQ(ScaleDurationMs(500, 125), 400);
  EXPECT_EQ(ScaleDurationMs(400, 150), 267);  // rounded to the nearest ms
  EXPECT_EQ(ScaleDurationMs(300, 0), 300);    // no tempo: as recorded
}

// ------------------------------------------------------------ made ahead

struct VoiceFile {
  explicit VoiceFile(const char* name, const std::vector<std::int16_t>& pcm)
      : path((std::filesystem::temp_directory_path() / name).string()) {
    std::vector<std::uint8_t> bytes(pcm.size() * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
      bytes[2 * i] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(pcm[i]) & 0xFF);
      bytes[2 * i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(pcm[i]) >> 8);
    }
    this->bytes = bytes;
    EXPECT_TRUE(WriteVoiceSegment(path, bytes.data(), static_cast<std::uint32_t>(bytes.size())));
  }
  ~VoiceFile() { std::filesystem::remove(path); }
  std::string path;
  std::vector<std::uint8_t> bytes;
};

TEST(StretchAhead, PreparedStretchIsTakenReadyAndMatchesADirectOne) {
  VoiceFile file("solvari-stretch-a.SGM", Tone(190.0, 0.8));
  CStretchAhead ahead;
  ahead.Prepare(file.path, 75);
  ahead.WaitIdle();
  EXPECT_TRUE(ahead.IsReady(file.path, 75));
  EXPECT_FALSE(ahead.IsReady(file.path, 50));

  std::vector<std::uint8_t> out;
  EXPECT_EQ(ahead.Take(file.path, 75, file.bytes.data(), file.bytes.size(), out),
            CStretchAhead::Source::Ready);
  std::vector<std::uint8_t> direct;
  ASSERT_TRUE(StretchVoiceBytes(file.bytes.data(), file.bytes.size(), kRate, 75, direct));
  EXPECT_EQ(out, direct);
  // Taken again (a repeated phrase): still there.
  EXPECT_EQ(ahead.Take(file.path, 75, file.bytes.data(), file.bytes.size(), out),
            CStretchAhead::Source::Ready);
  EXPECT_EQ(ahead.GetStats().nReady, 2);
  EXPECT_EQ(ahead.GetStats().nSynchronous, 0);
}

TEST(StretchAhead, IdleOnlyOnceTheNewsOfEachJobIsHandedOn) {
  VoiceFile file("solvari-stretch-e.SGM", Tone(190.0, 0.2));
  CStretchAhead ahead;
  std::atomic<int> nTold{0};
  ahead.SetOnFinished([&] {
    // A poster slow to take the news: idle must still mean told.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ++nTold;
  });
  for (int tempo : {50, 150}) {
    ahead.Prepare(file.path, tempo);
    ahead.WaitIdle();
  }
  EXPECT_EQ(nTold.load(), 2);
  ahead.SetOnFinished({});
}

TEST(StretchAhead, UnpreparedOrChangedVoiceIsStretchedOnTheSpot) {
  VoiceFile file("solvari-stretch-b.SGM", Tone(210.0, 0.5));
  CStretchAhead ahead;
  std::vector<std::uint8_t> out;
  EXPECT_EQ(ahead.Take(file.path, 150, file.bytes.data(), file.bytes.size(), out),
            CStretchAhead::Source::Synchronous);
  EXPECT_NEAR(static_cast<double>(out.size()), file.bytes.size() / 1.5, file.bytes.size() * 0.01);

  // Prepared from the file, but the caller loaded other bytes (the file was
  // replaced in between): the stretch is made from what was loaded.
  ahead.Prepare(file.path, 50);
  ahead.WaitIdle();
  std::vector<std::uint8_t> other = file.bytes;
  other.resize(other.size() / 2);
  EXPECT_EQ(ahead.Take(file.path, 50, other.data(), other.size(), out),
            CStretchAhead::Source::Synchronous);
  EXPECT_NEAR(static_cast<double>(out.size()), other.size() * 2.0, other.size() * 0.02);

  // At 100 the bytes come back as they are, nothing is queued.
  ahead.Prepare(file.path, 100);
  EXPECT_FALSE(ahead.IsReady(file.path, 100));
  EXPECT_EQ(ahead.Take(file.path, 100, file.bytes.data(), file.bytes.size(), out),
            CStretchAhead::Source::Unchanged);
  EXPECT_EQ(out, file.bytes);
}

TEST(StretchAhead, MissingFilesKeepOnlyTheLastPhrasesAndStopPromptly) {
  VoiceFile file("solvari-stretch-c.SGM", Tone(170.0, 0.3));
  {
    CStretchAhead ahead(2);
    ahead.Prepare("/nonexistent/solvari/V00.SGM", 50);
    for (int tempo : {50, 75, 125, 150}) ahead.Prepare(file.path, tempo);
    ahead.WaitIdle();
    EXPECT_FALSE(ahead.IsReady("/nonexistent/solvari/V00.SGM", 50));
    int nReady = 0;
    for (int tempo : {50, 75, 125, 150}) nReady += ahead.IsReady(file.path, tempo) ? 1 : 0;
    EXPECT_EQ(nReady, 2);
    // The newest requests are the ones kept.
    EXPECT_TRUE(ahead.IsReady(file.path, 150));
    ahead.Clear();
    EXPECT_FALSE(ahead.IsReady(file.path, 150));
  }
  // Destroyed with work queued and under way: cancelled, no leak, no hang.
  VoiceFile longer("solvari-stretch-d.SGM", Tone(170.0, 4.0));
  CStretchAhead ahead;
  for (int tempo : {50, 75, 125, 150}) ahead.Prepare(longer.path, tempo);
}

// ------------------------------------------------------------ with a runner

// A runner as the browser's main loop is one: events wait in a queue until
// the test runs them, on its own thread.
class CQueuedRunner : public IEventPoster {
 public:
  void Post(std::function<void()> fn) override { events.push_back(std::move(fn)); }
  // Runs the events posted so far (not those they post); how many ran.
  std::size_t RunPosted() {
    std::vector<std::function<void()>> now;
    now.swap(events);
    for (auto& fn : now) fn();
    return now.size();
  }
  std::vector<std::function<void()>> events;
};

TEST(StretchAhead, WithARunnerEachJobIsOnePostedEventTheNewestFirst) {
  VoiceFile file("solvari-stretch-f.SGM", Tone(190.0, 0.3));
  const std::string missing = "/nonexistent/solvari/V00.SGM";
  CQueuedRunner runner;
  CStretchAhead ahead(CStretchAhead::kDefaultKeep, &runner);
  int nTold = 0;
  ahead.SetOnFinished([&] { ++nTold; });
  for (int tempo : {50, 75, 150}) ahead.Prepare(file.path, tempo);
  ahead.Prepare(file.path, 75);  // asked again: the newest now
  // One event however many jobs wait; nothing is done before it runs, and
  // waiting could not change that.
  ASSERT_EQ(runner.events.size(), 1u);
  ahead.WaitIdle();
  for (int tempo : {50, 75, 150}) EXPECT_TRUE(ahead.IsPending(file.path, tempo)) << tempo;

  // Each event does one job, told of at once, and posts the next.
  for (int tempo : {75, 150, 50}) {
    EXPECT_EQ(runner.RunPosted(), 1u);
    EXPECT_TRUE(ahead.IsReady(file.path, tempo)) << tempo;
  }
  EXPECT_TRUE(runner.events.empty());  // nothing left: nothing posted
  EXPECT_EQ(nTold, 3);
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> direct;
  EXPECT_EQ(ahead.Take(file.path, 50, file.bytes.data(), file.bytes.size(), out),
            CStretchAhead::Source::Ready);
  ASSERT_TRUE(StretchVoiceBytes(file.bytes.data(), file.bytes.size(), kRate, 50, direct));
  EXPECT_EQ(out, direct);

  // A ready stretch asked for again posts nothing; a failed one is queued
  // again, with an event of its own.
  ahead.Prepare(file.path, 150);
  EXPECT_TRUE(runner.events.empty());
  ahead.Prepare(missing, 125);
  EXPECT_EQ(runner.RunPosted(), 1u);
  EXPECT_FALSE(ahead.IsPending(missing, 125));
  EXPECT_FALSE(ahead.IsReady(missing, 125));
  ahead.Prepare(missing, 125);
  EXPECT_EQ(runner.events.size(), 1u);
  // Cleared with its event on the way: the event finds nothing to do.
  ahead.Clear();
  EXPECT_EQ(runner.RunPosted(), 1u);
  EXPECT_TRUE(runner.events.empty());
  EXPECT_EQ(nTold, 4);
  ahead.SetOnFinished({});
}

TEST(StretchAhead, WithARunnerNothingIsWaitedForAndAnEventOutlivingItDoesNothing) {
  VoiceFile file("solvari-stretch-g.SGM", Tone(200.0, 0.3));
  CQueuedRunner runner;
  {
    CStretchAhead ahead(2, &runner);
    ahead.Prepare(file.path, 50);
    // Wanted before its event ran: stretched here, the queued job dropped.
    std::vector<std::uint8_t> out;
    EXPECT_EQ(ahead.Take(file.path, 50, file.bytes.data(), file.bytes.size(), out),
              CStretchAhead::Source::Synchronous);
    EXPECT_FALSE(ahead.IsPending(file.path, 50));
    EXPECT_TRUE(ahead.IsReady(file.path, 50));
    EXPECT_EQ(runner.RunPosted(), 1u);
    EXPECT_TRUE(runner.events.empty());
    EXPECT_EQ(ahead.GetStats().nWaited, 0);
    ahead.Prepare(file.path, 150);
  }
  // Its event comes after it is gone (the sanitizers watch this one).
  EXPECT_EQ(runner.RunPosted(), 1u);
  EXPECT_TRUE(runner.events.empty());
}

}  // namespace
}  // namespace solvari
