// SPDX-License-Identifier: GPL-3.0-or-later
// The practice commands on the simulated platform: starting at any phrase,
// next / previous / home at every moment of a phrase, repeating one phrase,
// and the tempo scaling every character with the voice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/exe_directory.h"
#include "core/reading_sequencer.h"
#include "core/sutra_tables.h"
#include "core/tempo.h"
#include "core/voice_segment_path.h"
#include "sim_platform.h"

namespace solvari {
namespace {

using sim::CSimFrame;
using sim::CSimPlatform;
using Strings = std::vector<std::string>;

std::vector<int> Range(int from, int to) {
  std::vector<int> v;
  for (int k = from; k <= to; ++k) v.push_back(k);
  return v;
}

Strings Filter(const Strings& log, const std::string& prefix) {
  Strings out;
  for (const auto& s : log)
    if (s.rfind(prefix, 0) == 0) out.push_back(s);
  return out;
}

// What a repaint from phrase p shows with n slots: p to the end of its page,
// and at least as far as the rolling page reaches.
std::vector<int> PaintedPage(int p, int n) {
  return Range(p, std::min(kLastPhrase, std::max(p + n - p % n - 1, p + n - 4)));
}

// The frame's voice loader: it stretches each phrase to the tempo latched for
// it, which the simulated voice sees as a file of the stretched length.
class CTempoVoice : public IVoiceOutput {
 public:
  CTempoVoice(sim::CSimVoice& voice, const CReadingSequencer*& pFrame)
      : m_voice(voice), m_pFrame(pFrame) {}
  void SetRecorded(int nPhrase, double ms) {
    m_recordedMs[GetVoiceSegmentPath(nPhrase)] = {nPhrase, ms};
    m_voice.SetPhraseVoice(nPhrase, sim::CSimVoice::BytesForMs(ms));
  }
  void Remove(int nPhrase) {
    m_recordedMs.erase(GetVoiceSegmentPath(nPhrase));
    m_voice.RemovePhraseVoice(nPhrase);
  }
  bool LoadVoiceSegment(const std::string& path) override {
    auto it = m_recordedMs.find(path);
    if (it != m_recordedMs.end() && m_pFrame != nullptr) {
      const double ms = it->second.second * 100.0 / m_pFrame->m_nPhraseTempo;
      m_voice.SetPhraseVoice(it->second.first, sim::CSimVoice::BytesForMs(ms));
    }
    return m_voice.LoadVoiceSegment(path);
  }
  int OpenOutput() override { return m_voice.OpenOutput(); }
  int PlayAll() override { return m_voice.PlayAll(); }
  void ResetOutput() override { m_voice.ResetOutput(); }
  void CloseOutput() override { m_voice.CloseOutput(); }

 private:
  sim::CSimVoice& m_voice;
  const CReadingSequencer*& m_pFrame;
  std::map<std::string, std::pair<int, double>> m_recordedMs;
};

// A frame past its title screen, every voice 250 ms longer than its
// characters, the overview shown.
struct Rig {
  explicit Rig(int bMaximized = 0, CSimFrame::Size normal = CSimPlatform::kNormalView)
      : sim(normal), tempoVoice(sim.voice, pConst) {
    SetExeDirectory("/sim/");
    SequencerPlatform platform = sim.Platform();
    platform.pVoice = &tempoVoice;
    frame = std::make_unique<CReadingSequencer>(platform, bMaximized);
    pConst = frame.get();
    sim.Attach(frame.get());
    frame->m_nState = Idle;
    for (int p = 0; p < kPhraseCount; ++p) tempoVoice.SetRecorded(p, GetPhraseDuration(p) + 250);
    sim.loop.RunUntilIdle();
  }
  std::size_t Mark() const { return sim.loop.LogEntries().size(); }
  Strings Since(std::size_t mark) const { return sim.loop.LogSince(mark); }
  bool RunToPhrase(int p) {
    return sim.loop.RunUntil([&] { return frame->m_nState == Reading && frame->m_nPhrase == p; });
  }
  // Phrases whose voices began to play, in order, from play index `from`.
  std::vector<int> Played(std::size_t from = 0) const {
    std::vector<int> v;
    const auto& plays = sim.voice.Plays();
    for (std::size_t i = from; i < plays.size(); ++i) v.push_back(plays[i].phrase);
    return v;
  }
  void ExpectClean() const {
    EXPECT_EQ(sim.voice.Faults(), Strings{});
    EXPECT_EQ(sim.view.Faults(), Strings{});
    EXPECT_EQ(sim.view.HighlightsOnForeignColumn(), 0);
    EXPECT_EQ(sim.view.HighlightsOnBackground(), 0);
  }

  CSimPlatform sim;
  const CReadingSequencer* pConst = nullptr;
  CTempoVoice tempoVoice;
  std::unique_ptr<CReadingSequencer> frame;
};

// ------------------------------------------------------- start anywhere

TEST(PracticeStartAt, EveryPhraseStartsWithItsPageAndRunsToTheEnd) {
  for (int p : {0, 1, 2, 3, 5, 6, 20, 23, 47, 50, 52, 53}) {
    SCOPED_TRACE("start at " + std::to_string(p));
    Rig rig;
    const std::size_t mark = rig.Mark();
    rig.frame->OnReadStartAt(p);
    EXPECT_EQ(rig.Since(mark), (Strings{"Invalidate", "SetTimer 10 300"}));
    EXPECT_EQ(rig.frame->m_nFirstPhrase, p);
    ASSERT_TRUE(rig.RunToPhrase(p));
    EXPECT_EQ(rig.sim.view.Page(), PaintedPage(p, 6));
    EXPECT_EQ(rig.sim.view.LitChars(p), std::vector<int>{0});
    // Every later phrase is on the page when its voice starts.
    for (int q = p + 1; q <= kLastPhrase; ++q) {
      ASSERT_TRUE(rig.RunToPhrase(q));
      const std::vector<int> page = rig.sim.view.Page();
      EXPECT_EQ(page.front(), q);
      EXPECT_TRUE(std::is_sorted(page.begin(), page.end()));
      EXPECT_EQ(page.back() - page.front() + 1, static_cast<int>(page.size()));
    }
    rig.sim.loop.RunUntilIdle();
    EXPECT_EQ(rig.frame->m_nState, Idle);
    EXPECT_TRUE(rig.sim.view.ShowsOverview());
    EXPECT_EQ(rig.Played(), Range(p, kLastPhrase));
    rig.ExpectClean();
  }
}

TEST(PracticeStartAt, RepeatReturnsToTheStartingPhrase) {
  Rig rig;
  rig.frame->m_bRepeat = 1;
  rig.frame->OnReadStartAt(50);
  ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.sim.voice.Plays().size() == 6; }));
  EXPECT_EQ(rig.Played(), (std::vector<int>{50, 51, 52, 53, 50, 51}));
  // A plain Start afterwards starts from where the last one started.
  rig.frame->m_bRepeat = 0;
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(rig.frame->m_nFirstPhrase, 50);
  rig.ExpectClean();
}

TEST(PracticeStartAt, RefusedOutsideIdleAndForNoPhrase) {
  Rig rig;
  std::size_t mark = rig.Mark();
  rig.frame->OnReadStartAt(-1);
  rig.frame->OnReadStartAt(54);
  rig.frame->OnReadStartAt(1000000);
  EXPECT_EQ(rig.Since(mark), Strings{});
  EXPECT_EQ(rig.frame->m_nState, Idle);
  rig.frame->OnReadStartAt(10);
  ASSERT_TRUE(rig.RunToPhrase(10));
  mark = rig.Mark();
  rig.frame->OnReadStartAt(30);  // while reading: nothing
  EXPECT_EQ(rig.Since(mark), Strings{});
  EXPECT_EQ(rig.frame->m_nFirstPhrase, 10);
  rig.frame->OnReadStop();
  rig.sim.loop.RunUntilIdle();
  rig.ExpectClean();
}

TEST(PracticeStartAt, MissingFileSkipsAheadAsAtStart) {
  Rig rig;
  rig.tempoVoice.Remove(20);
  rig.frame->OnReadStartAt(20);
  ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.frame->m_nState == Reading; }));
  EXPECT_EQ(rig.frame->m_nPhrase, 21);
  // Phrase 20 was never heard, so its column stays where the Start paint put it.
  EXPECT_EQ(rig.sim.view.SlotPhrase(20 % 6), 20);
  rig.ExpectClean();
}

// ---------------------------------------------------- next and previous

// The moments of a phrase at which a step can come.
enum class Moment { AtVoiceStart, MidPhrase, AfterLastChar, VoiceEndedDoneQueued };

struct StepCase {
  const char* name;
  int from;
  void (CReadingSequencer::*command)();
  int to;
};

void ReachMoment(Rig& rig, int p, Moment m) {
  ASSERT_TRUE(rig.RunToPhrase(p));
  const double voiceMs = GetPhraseDuration(p) + 250;
  switch (m) {
    case Moment::AtVoiceStart:
      break;
    case Moment::MidPhrase:
      rig.sim.loop.RunFor(kPhraseDurations[p][0] + 1.0);
      break;
    case Moment::AfterLastChar:
      rig.sim.loop.RunFor(GetPhraseDuration(p) + 100.0);
      break;
    case Moment::VoiceEndedDoneQueued:
      // The UI thread is busy as the voice ends: its event waits in the queue.
      rig.sim.loop.RunFor(voiceMs - 10);
      rig.sim.loop.AdvanceBusy(20);
      ASSERT_EQ(rig.sim.loop.PostedCount(), 1u);
      break;
  }
}

TEST(PracticeStep, NextPreviousHomeAtEveryMomentOfAPhrase) {
  const std::vector<StepCase> cases = {
      {"next from 3", 3, &CReadingSequencer::OnReadNext, 4},
      {"next from 0", 0, &CReadingSequencer::OnReadNext, 1},
      {"next from 5", 5, &CReadingSequencer::OnReadNext, 6},
      {"next from 51", 51, &CReadingSequencer::OnReadNext, 52},
      {"previous from 3", 3, &CReadingSequencer::OnReadPrevious, 2},
      {"previous from 7", 7, &CReadingSequencer::OnReadPrevious, 6},
      {"previous from 53", 53, &CReadingSequencer::OnReadPrevious, 52},
      {"previous on 0 plays it again", 0, &CReadingSequencer::OnReadPrevious, 0},
      {"home from 30", 30, &CReadingSequencer::OnReadHome, 0},
  };
  for (const StepCase& c : cases) {
    for (Moment m : {Moment::AtVoiceStart, Moment::MidPhrase, Moment::AfterLastChar,
                     Moment::VoiceEndedDoneQueued}) {
      SCOPED_TRACE(std::string(c.name) + ", moment " + std::to_string(static_cast<int>(m)));
      Rig rig;
      rig.frame->OnReadStart();
      ReachMoment(rig, c.from, m);
      EXPECT_TRUE(rig.frame->OnUpdateReadStep());
      const std::size_t nPlays = rig.sim.voice.Plays().size();
      const sim::Micros pressed = rig.sim.loop.Now();
      (rig.frame.get()->*c.command)();
      // The voice stops at once (unless it had already ended).
      EXPECT_EQ(rig.sim.voice.State(), sim::CSimVoice::Device::Done);
      // The next dispatch is the buffer-done event, which starts the new phrase.
      const std::size_t mark = rig.Mark();
      rig.sim.loop.Step();
      const Strings log = rig.Since(mark);
      ASSERT_EQ(rig.sim.voice.Plays().size(), nPlays + 1) << ::testing::PrintToString(log);
      EXPECT_EQ(rig.sim.voice.Plays().back().phrase, c.to);
      EXPECT_EQ(rig.sim.voice.Plays().back().start, pressed);
      EXPECT_EQ(rig.frame->m_nPhrase, c.to);
      EXPECT_EQ(rig.frame->m_nState, Reading);
      EXPECT_EQ(rig.frame->m_nChar, 0);
      EXPECT_EQ(Filter(log, "Invalidate"), Strings{});
      // The page is the one a repaint from the new phrase shows, fresh.
      EXPECT_EQ(rig.sim.view.Page(), PaintedPage(c.to, 6));
      for (int k : rig.sim.view.Page())
        EXPECT_EQ(rig.sim.view.LitChars(k), k == c.to ? std::vector<int>{0} : std::vector<int>{});
      EXPECT_EQ(rig.sim.loop.DueIn(TIMER_CHAR), kPhraseDurations[c.to][0] * 1000);
      // And the recitation goes on from there to the end.
      rig.sim.loop.RunUntilIdle();
      const std::vector<int> after(rig.Played(nPlays));
      EXPECT_EQ(after, Range(c.to, kLastPhrase));
      if (c.command == &CReadingSequencer::OnReadHome) {
        EXPECT_EQ(rig.frame->m_nFirstPhrase, 0);
      }
      EXPECT_EQ(rig.frame->m_nState, Idle);
      rig.ExpectClean();
    }
  }
}

TEST(PracticeStep, NextOnTheLastPhraseEndsTheTextOrRepeats) {
  {
    Rig rig;
    rig.frame->OnReadStartAt(52);
    ASSERT_TRUE(rig.RunToPhrase(53));
    rig.sim.loop.RunFor(500);
    rig.frame->OnReadNext();
    rig.sim.loop.Step();
    EXPECT_EQ(rig.frame->m_nState, Idle);
    rig.sim.loop.RunUntilIdle();
    EXPECT_TRUE(rig.sim.view.ShowsOverview());
    EXPECT_EQ(rig.Played(), (std::vector<int>{52, 53}));
    rig.ExpectClean();
  }
  {
    Rig rig;
    rig.frame->m_bRepeat = 1;
    rig.frame->OnReadStartAt(40);
    ASSERT_TRUE(rig.RunToPhrase(53));
    rig.frame->OnReadNext();
    rig.sim.loop.Step();
    EXPECT_EQ(rig.frame->m_nState, Starting);
    EXPECT_EQ(rig.frame->m_nPhrase, 40);
    ASSERT_TRUE(rig.RunToPhrase(40));
    EXPECT_EQ(rig.sim.view.Page(), PaintedPage(40, 6));
    rig.frame->m_bRepeat = 0;
    rig.frame->OnReadStop();
    rig.sim.loop.RunUntilIdle();
    rig.ExpectClean();
  }
}

TEST(PracticeStep, PressesBeforeTheDoneEventAddUp) {
  struct Case {
    int from;
    std::vector<int> presses;  // +1 next, -1 previous
    int to;                    // -1: the text ends
  };
  const std::vector<Case> cases = {
      {3, {+1, +1}, 5},       {3, {+1, -1}, 3},   {3, {-1, -1, -1, -1, -1}, 0},
      {52, {+1, +1}, -1},     {53, {+1, -1}, 53}, {53, {+1, +1, +1, -1}, 53},
      {10, {-1, +1, +1}, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("from " + std::to_string(c.from) + ", " + std::to_string(c.presses.size()) +
                 " presses");
    Rig rig;
    rig.frame->OnReadStartAt(c.from);
    ASSERT_TRUE(rig.RunToPhrase(c.from));
    const std::size_t mark = rig.Mark();
    for (int d : c.presses) d > 0 ? rig.frame->OnReadNext() : rig.frame->OnReadPrevious();
    EXPECT_EQ(Filter(rig.Since(mark), "Reset").size(), 1u);  // the voice is stopped once
    rig.sim.loop.Step();
    if (c.to < 0) {
      EXPECT_EQ(rig.frame->m_nState, Idle);
    } else {
      EXPECT_EQ(rig.frame->m_nPhrase, c.to);
      EXPECT_EQ(rig.sim.voice.Plays().back().phrase, c.to);
      rig.frame->OnReadStop();
    }
    rig.sim.loop.RunUntilIdle();
    rig.ExpectClean();
  }
}

TEST(PracticeStep, StopWinsAndStepsAreRefusedOutsideReading) {
  Rig rig;
  std::size_t mark = rig.Mark();
  // Idle, Title, Starting: nothing at all.
  for (int s : {Idle, Title}) {
    rig.frame->m_nState = s;
    EXPECT_FALSE(rig.frame->OnUpdateReadStep());
    rig.frame->OnReadNext();
    rig.frame->OnReadPrevious();
    rig.frame->OnReadHome();
  }
  rig.frame->m_nState = Idle;
  EXPECT_EQ(rig.Since(mark), Strings{});
  rig.frame->OnReadStartAt(5);
  EXPECT_FALSE(rig.frame->OnUpdateReadStep());
  mark = rig.Mark();
  rig.frame->OnReadNext();
  EXPECT_EQ(rig.Since(mark), Strings{});
  ASSERT_TRUE(rig.RunToPhrase(5));
  // Next, then Stop before the buffer-done event: the reading ends.
  rig.frame->OnReadNext();
  rig.frame->OnReadStop();
  EXPECT_FALSE(rig.frame->OnUpdateReadStep());
  mark = rig.Mark();
  rig.frame->OnReadPrevious();  // after Stop: refused
  EXPECT_EQ(rig.Since(mark), Strings{});
  rig.sim.loop.Step();
  EXPECT_EQ(rig.frame->m_nState, Idle);
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(rig.Played(), std::vector<int>{5});
  // A new reading forgets the step that Stop overtook.
  rig.frame->OnReadStart();
  ASSERT_TRUE(rig.RunToPhrase(6));
  EXPECT_EQ(rig.Played(), (std::vector<int>{5, 5, 6}));
  rig.frame->OnReadStop();
  rig.sim.loop.RunUntilIdle();
  rig.ExpectClean();
}

TEST(PracticeStep, MissingTargetFileOrFailingDeviceEndsTheReading) {
  {
    Rig rig;
    rig.tempoVoice.Remove(8);
    rig.frame->OnReadStartAt(7);
    ASSERT_TRUE(rig.RunToPhrase(7));
    rig.frame->OnReadNext();
    rig.sim.loop.RunUntilIdle();
    EXPECT_EQ(rig.frame->m_nState, Idle);
    EXPECT_TRUE(rig.sim.view.ShowsOverview());
    EXPECT_EQ(rig.Played(), std::vector<int>{7});
    rig.ExpectClean();
  }
  {
    Rig rig;
    rig.sim.voice.m_failPlay.insert(2);
    rig.frame->OnReadStartAt(3);
    ASSERT_TRUE(rig.RunToPhrase(3));
    rig.frame->OnReadPrevious();
    rig.sim.loop.RunUntilIdle();
    EXPECT_EQ(rig.frame->m_nState, Idle);
    EXPECT_EQ(rig.sim.voice.State(), sim::CSimVoice::Device::Closed);
    rig.ExpectClean();
  }
}

TEST(PracticeStep, NarrowAndMaximizedViews) {
  for (int n : {0, 1, 2, 3, 4, 8}) {
    SCOPED_TRACE(std::to_string(n) + " slots");
    Rig rig(0, {n * 114 + 60, 425});
    rig.frame->OnReadStartAt(9);
    ASSERT_TRUE(rig.RunToPhrase(10));
    rig.frame->OnReadNext();
    rig.sim.loop.Step();
    EXPECT_EQ(rig.frame->m_nPhrase, 11);
    if (n > 0) {
      EXPECT_EQ(rig.sim.view.Page(), PaintedPage(11, n));
    }
    rig.frame->OnReadPrevious();
    rig.frame->OnReadPrevious();
    rig.sim.loop.Step();
    EXPECT_EQ(rig.frame->m_nPhrase, 9);
    rig.sim.loop.RunUntilIdle();
    EXPECT_EQ(rig.sim.view.Faults(), Strings{});
    EXPECT_EQ(rig.sim.voice.Faults(), Strings{});
  }
  Rig rig(1);
  rig.frame->OnReadStartAt(30);
  ASSERT_TRUE(rig.RunToPhrase(30));
  EXPECT_EQ(rig.sim.view.ColumnsPerPage(), 8);
  EXPECT_EQ(rig.sim.view.Page(), PaintedPage(30, 8));
  rig.frame->OnReadPrevious();
  rig.sim.loop.Step();
  EXPECT_EQ(rig.sim.view.Page(), PaintedPage(29, 8));
  rig.sim.loop.RunUntilIdle();
  EXPECT_FALSE(rig.sim.frame.IsZoomed());  // restored at the end as usual
  rig.ExpectClean();
}

TEST(PracticeStep, ShutdownWithAStepPending) {
  Rig rig;
  rig.frame->OnReadStartAt(12);
  ASSERT_TRUE(rig.RunToPhrase(12));
  rig.frame->OnReadNext();
  rig.frame->Shutdown();
  rig.sim.voice.ReleaseBuffer();
  rig.sim.loop.RunUntilIdle();
  rig.frame->OnReadNext();
  rig.frame->OnReadStartAt(3);
  EXPECT_EQ(rig.Played(), std::vector<int>{12});
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), -1);
  rig.ExpectClean();
}

// ---------------------------------------------------------- one phrase

TEST(PracticeRepeatPhrase, PlaysAgainWithTheHighlightRunningAgain) {
  Rig rig;
  rig.frame->OnReadStart();
  ASSERT_TRUE(rig.RunToPhrase(5));
  rig.frame->m_bRepeatPhrase = 1;
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::size_t nPlays = rig.sim.voice.Plays().size();
    const std::size_t mark = rig.Mark();
    ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.sim.voice.Plays().size() > nPlays; }));
    const Strings log = rig.Since(mark);
    EXPECT_EQ(rig.sim.voice.Plays().back().phrase, 5);
    EXPECT_EQ(Filter(log, "Erase"), Strings{"Erase 5"});
    EXPECT_EQ(Filter(log, "Draw"), Strings{"Draw 5"});
    EXPECT_EQ(rig.sim.view.LitChars(5), std::vector<int>{0});
    EXPECT_EQ(rig.sim.view.Page(), (std::vector<int>{5, 6, 7}));
  }
  // The highlight of a repeat runs as on the first hearing.
  const sim::Micros start = rig.sim.voice.Plays().back().start;
  std::vector<double> lit;
  rig.sim.loop.RunFor(GetPhraseDuration(5) + 10);
  for (const auto& e : rig.sim.loop.LogEntries()) {
    int p, c;
    if (e.time >= start && std::sscanf(e.text.c_str(), "Highlight %d %d", &p, &c) == 2)
      lit.push_back(static_cast<double>(e.time - start) / 1000);
  }
  std::vector<double> expect;
  double t = 0;
  for (int c = 0; c < kPhraseCharCount[5]; ++c) {
    expect.push_back(t);
    t += kPhraseDurations[5][c];
  }
  EXPECT_EQ(lit, expect);
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), 5);
  // Unchecked: on to the next phrase when this hearing ends.
  rig.frame->m_bRepeatPhrase = 0;
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), 6);
  ASSERT_TRUE(rig.RunToPhrase(6));
  EXPECT_EQ(rig.Played(), (std::vector<int>{0, 1, 2, 3, 4, 5, 5, 5, 5, 6}));
  rig.frame->OnReadStop();
  rig.sim.loop.RunUntilIdle();
  rig.ExpectClean();
}

TEST(PracticeRepeatPhrase, StopNextAndTheLastPhrase) {
  Rig rig;
  rig.frame->m_bRepeatPhrase = 1;
  rig.frame->OnReadStartAt(53);
  ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.sim.voice.Plays().size() == 3; }));
  EXPECT_EQ(rig.Played(), (std::vector<int>{53, 53, 53}));
  EXPECT_EQ(rig.sim.view.Page(), std::vector<int>{53});
  // Previous goes back, and that phrase is repeated in turn.
  rig.frame->OnReadPrevious();
  ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.sim.voice.Plays().size() == 5; }));
  EXPECT_EQ(rig.Played(), (std::vector<int>{53, 53, 53, 52, 52}));
  // Stop ends it.
  rig.frame->OnReadStop();
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(rig.frame->m_nState, Idle);
  EXPECT_EQ(rig.sim.voice.Plays().size(), 5u);
  rig.ExpectClean();
}

// ---------------------------------------------------------------- tempo

TEST(PracticeTempo, EveryDurationAndVoiceScaleByTheSameFactor) {
  for (int tempo : kTempoChoices) {
    SCOPED_TRACE("tempo " + std::to_string(tempo));
    Rig rig;
    rig.frame->m_nTempo = tempo;
    rig.frame->OnReadStart();
    rig.sim.loop.RunUntilIdle();
    const auto& plays = rig.sim.voice.Plays();
    ASSERT_EQ(plays.size(), 54u);
    std::vector<std::vector<double>> lit(54);
    for (const auto& e : rig.sim.loop.LogEntries()) {
      int p, c;
      if (std::sscanf(e.text.c_str(), "Highlight %d %d", &p, &c) == 2)
        lit[static_cast<std::size_t>(p)].push_back(
            static_cast<double>(e.time - plays[static_cast<std::size_t>(p)].start) / 1000);
    }
    for (int p = 0; p < kPhraseCount; ++p) {
      std::vector<double> expect;
      double t = 0;
      for (int c = 0; c < kPhraseCharCount[p]; ++c) {
        expect.push_back(t);
        t += ScaleDurationMs(kPhraseDurations[p][c], tempo);
      }
      EXPECT_EQ(lit[static_cast<std::size_t>(p)], expect) << "phrase " << p;
      // The voice lasts its recorded length at the tempo: the next phrase
      // starts that long after.
      if (p < kLastPhrase) {
        const double heardMs = static_cast<double>(plays[static_cast<std::size_t>(p) + 1].start -
                                                   plays[static_cast<std::size_t>(p)].start) /
                               1000;
        EXPECT_NEAR(heardMs, (GetPhraseDuration(p) + 250) * 100.0 / tempo, 0.2);
      }
    }
    rig.ExpectClean();
  }
}

TEST(PracticeTempo, ChangedWhileReadingAppliesFromTheNextPhrase) {
  Rig rig;
  rig.frame->OnReadStart();
  ASSERT_TRUE(rig.RunToPhrase(2));  // durations 300, 300, 500, 400, 400, 300
  rig.sim.loop.RunFor(301);
  rig.frame->m_nTempo = 50;
  std::size_t mark = rig.Mark();
  rig.sim.loop.RunFor(300);
  EXPECT_EQ(Filter(rig.Since(mark), "SetTimer"), Strings{"SetTimer 20 500"});  // as recorded
  EXPECT_EQ(rig.frame->m_nPhraseTempo, 100);
  ASSERT_TRUE(rig.RunToPhrase(3));
  EXPECT_EQ(rig.frame->m_nPhraseTempo, 50);
  EXPECT_EQ(rig.sim.loop.DueIn(TIMER_CHAR), 2 * kPhraseDurations[3][0] * 1000);
  // A value that is no choice reads as recorded.
  rig.frame->m_nTempo = 7;
  ASSERT_TRUE(rig.RunToPhrase(4));
  EXPECT_EQ(rig.frame->m_nPhraseTempo, 100);
  EXPECT_EQ(rig.sim.loop.DueIn(TIMER_CHAR), kPhraseDurations[4][0] * 1000);
  rig.frame->OnReadStop();
  rig.sim.loop.RunUntilIdle();
  rig.ExpectClean();
}

// ------------------------------------------------------ what comes next

TEST(PracticeNext, PhraseToPrepare) {
  Rig rig;
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), -1);  // idle
  rig.frame->OnReadStartAt(51);
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), 51);  // starting
  ASSERT_TRUE(rig.RunToPhrase(51));
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), 52);
  rig.frame->m_bRepeatPhrase = 1;
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), 51);
  rig.frame->m_bRepeatPhrase = 0;
  ASSERT_TRUE(rig.RunToPhrase(53));
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), -1);
  rig.frame->m_bRepeat = 1;
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), 51);
  rig.frame->OnReadPrevious();
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), 52);
  rig.frame->OnReadStop();
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), -1);
  rig.sim.loop.RunUntilIdle();
  rig.ExpectClean();
}

}  // namespace
}  // namespace solvari
