// SPDX-License-Identifier: GPL-3.0-or-later
// The recitation run on the simulated platform: the rolling page, the two
// clocks, every transition and failure path, the settings, narrow views,
// destruction during a reading, and a long soak.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "core/exe_directory.h"
#include "core/reading_sequencer.h"
#include "core/sutra_tables.h"
#include "sim_platform.h"

namespace solvari {
namespace {

using sim::CSimFrame;
using sim::CSimPlatform;
using sim::Dispatch;
using Strings = std::vector<std::string>;

class CTestFrame : public CReadingSequencer {
 public:
  using CReadingSequencer::CReadingSequencer;
  std::vector<unsigned> m_titleTimers;
  std::vector<unsigned> m_otherTimers;

 protected:
  void OnTitleTimer(unsigned id) override { m_titleTimers.push_back(id); }
  void OnDefaultTimer(unsigned id) override { m_otherTimers.push_back(id); }
};

std::vector<int> Range(int from, int to) {
  std::vector<int> v;
  for (int k = from; k <= to; ++k) v.push_back(k);
  return v;
}

// A frame on the simulated platform, past its title screen, overview shown.
struct Rig {
  explicit Rig(int bMaximized = 0, CSimFrame::Size normal = CSimPlatform::kNormalView)
      : sim(normal) {
    SetExeDirectory("/sim/");
    frame = std::make_unique<CTestFrame>(sim.Platform(), bMaximized);
    sim.Attach(frame.get());
    frame->m_nState = Idle;
    sim.voice.SetAllPhraseVoices(250);
    sim.loop.RunUntilIdle();
  }
  std::size_t Mark() const { return sim.loop.LogEntries().size(); }
  Strings Since(std::size_t mark) const { return sim.loop.LogSince(mark); }
  // Starts and runs until phrase p's voice plays (p's buffer-done not yet handled).
  void StartAndRunTo(int p) {
    frame->OnReadStart();
    ASSERT_TRUE(
        sim.loop.RunUntil([&] { return frame->m_nState == Reading && frame->m_nPhrase == p; }));
  }
  // Runs until the next buffer-done event has been handled; returns its log.
  Strings RunThroughNextDone() {
    const std::size_t mark = Mark();
    sim.loop.RunUntil([&] {
      const Strings s = Since(mark);
      return std::find(s.begin(), s.end(), "Done") != s.end();
    });
    Strings s = Since(mark);
    s.erase(s.begin(), std::find(s.begin(), s.end(), "Done"));
    return s;
  }
  void ExpectClean(int foreignHighlights = 0) const {
    EXPECT_EQ(sim.voice.Faults(), Strings{});
    EXPECT_EQ(sim.view.Faults(), Strings{});
    EXPECT_EQ(sim.view.HighlightsOnForeignColumn(), foreignHighlights);
  }

  CSimPlatform sim;
  std::unique_ptr<CTestFrame> frame;
};

Strings Filter(const Strings& log, const std::string& prefix) {
  Strings out;
  for (const auto& s : log)
    if (s.rfind(prefix, 0) == 0) out.push_back(s);
  return out;
}

Strings WithoutResizes(Strings log) {
  log.erase(std::remove_if(log.begin(), log.end(),
                           [](const std::string& s) { return s.rfind("Resize", 0) == 0; }),
            log.end());
  return log;
}

// ------------------------------------------------------------------ basics

TEST(Sequencer, FieldsAfterConstruction) {
  CSimPlatform sim;
  CTestFrame frame(sim.Platform(), 2);
  EXPECT_EQ(frame.m_nState, Title);
  EXPECT_EQ(frame.m_bStopRequested, 0);
  EXPECT_EQ(frame.m_nFirstPhrase, 0);
  EXPECT_EQ(frame.m_nPhrase, 0);
  EXPECT_EQ(frame.m_bMaximizeOnReading, 2);
  EXPECT_EQ(frame.m_bRepeat, 0);
  EXPECT_FALSE(frame.OnUpdateReadStop());
  EXPECT_TRUE(sim.loop.LogEntries().empty());  // construction touches nothing
}

TEST(Sequencer, StopIsEnabledOnlyWhileReading) {
  CSimPlatform sim;
  CTestFrame frame(sim.Platform(), 0);
  for (int s : {Idle, Starting, Reading, Title}) {
    frame.m_nState = s;
    EXPECT_EQ(frame.OnUpdateReadStop(), s == Reading) << s;
  }
}

TEST(Sequencer, ForeignTimersArePassedOn) {
  Rig rig;
  const std::size_t mark = rig.Mark();
  for (unsigned id : {30u, 31u, 0u, 11u, 21u, 99u}) rig.frame->OnTimer(id);
  EXPECT_EQ(rig.frame->m_titleTimers, (std::vector<unsigned>{30, 31}));
  EXPECT_EQ(rig.frame->m_otherTimers, (std::vector<unsigned>{0, 11, 21, 99}));
  EXPECT_EQ(rig.Since(mark), Strings{});
  EXPECT_EQ(rig.frame->m_nState, Idle);
}

// ------------------------------------------------------------ worked trace

// n = 6, Repeat off, every voice 250 ms longer than its characters.
TEST(SequencerTrace, RollingPageAndHighlightTimes) {
  Rig rig;
  const std::size_t start = rig.Mark();
  rig.frame->OnReadStart();
  EXPECT_EQ(rig.Since(start), (Strings{"Invalidate", "SetTimer 10 300"}));
  EXPECT_EQ(rig.frame->m_nState, Starting);
  // The page is painted before TIMER_START fires.
  EXPECT_EQ(rig.sim.loop.Step().kind, Dispatch::Paint);
  EXPECT_EQ(rig.sim.view.Page(), Range(0, 5));

  struct Row {
    int heard, phraseAfter, drawn;  // drawn -1: none
    std::vector<int> page;
  };
  const std::vector<Row> literal = {
      {0, 1, -1, {1, 2, 3, 4, 5}}, {1, 2, -1, {2, 3, 4, 5}},   {2, 3, 5, {3, 4, 5}},
      {3, 4, 6, {4, 5, 6}},        {4, 5, 7, {5, 6, 7}},       {5, 6, 8, {6, 7, 8}},
      {6, 7, 9, {7, 8, 9}},        {49, 50, 52, {50, 51, 52}}, {50, 51, 53, {51, 52, 53}},
      {51, 52, -1, {52, 53}},      {52, 53, -1, {53}},
  };
  for (int heard = 0; heard <= kLastPhrase; ++heard) {
    SCOPED_TRACE("end of V" + std::to_string(heard));
    const Strings log = rig.RunThroughNextDone();
    EXPECT_EQ(Filter(log, "Erase"), Strings{"Erase " + std::to_string(heard)});
    if (heard == kLastPhrase) {
      EXPECT_EQ(Filter(log, "Draw"), Strings{});
      EXPECT_EQ(rig.frame->m_nState, Idle);
      EXPECT_EQ(rig.frame->m_nPhrase, 53);
      break;
    }
    const int p = heard + 1;
    const int drawn = (p >= 3 && p + 2 <= 53) ? p + 2 : -1;
    EXPECT_EQ(Filter(log, "Draw"),
              drawn < 0 ? Strings{} : Strings{"Draw " + std::to_string(drawn)});
    EXPECT_EQ(rig.frame->m_nPhrase, p);
    EXPECT_EQ(rig.sim.view.Page(), Range(p, std::min(53, std::max(5, p + 2))));
    for (const Row& r : literal) {
      if (r.heard != heard) continue;
      EXPECT_EQ(r.phraseAfter, rig.frame->m_nPhrase);
      EXPECT_EQ(r.drawn, drawn);
      EXPECT_EQ(r.page, rig.sim.view.Page());
    }
  }
  rig.sim.loop.RunUntilIdle();
  EXPECT_TRUE(rig.sim.view.ShowsOverview());
  EXPECT_EQ(rig.sim.loop.ArmedCount(), 0u);
  EXPECT_EQ(rig.sim.voice.State(), sim::CSimVoice::Device::Closed);
  rig.ExpectClean();
  EXPECT_EQ(rig.sim.view.HighlightsOnBackground(), 0);

  // Every character of every phrase lit at its cumulated duration after its
  // voice started; phrase 2 at 0, 300, 600, 1100, 1500 and 1900 ms.
  const auto& plays = rig.sim.voice.Plays();
  ASSERT_EQ(plays.size(), 54u);
  std::vector<std::vector<double>> lit(54);
  for (const auto& e : rig.sim.loop.LogEntries()) {
    int p, c;
    if (std::sscanf(e.text.c_str(), "Highlight %d %d", &p, &c) == 2)
      lit[static_cast<std::size_t>(p)].push_back(static_cast<double>(e.time - plays[p].start) /
                                                 1000);
  }
  EXPECT_EQ(lit[2], (std::vector<double>{0, 300, 600, 1100, 1500, 1900}));
  for (int p = 0; p < kPhraseCount; ++p) {
    std::vector<double> expect;
    double t = 0;
    for (int c = 0; c < kPhraseCharCount[p]; ++c) {
      expect.push_back(t);
      t += kPhraseDurations[p][c];
    }
    EXPECT_EQ(lit[static_cast<std::size_t>(p)], expect) << "phrase " << p;
    EXPECT_EQ(plays[static_cast<std::size_t>(p)].phrase, p);
  }
}

// ------------------------------------------------------- TIMER_START paths

struct StartCase {
  const char* name;
  std::vector<int> missing;
  bool failOpen, failPlay;
  int bMaximized;
  Strings expected;  // from the firing of TIMER_START
  int state, phrase;
  int foreign = 0;  // highlights landing on another phrase's column
};

Strings LoadsFrom(int from, int to) {
  Strings s;
  for (int p = from; p <= to; ++p) s.push_back("Load " + std::to_string(p));
  return s;
}

Strings Cat(std::initializer_list<Strings> parts) {
  Strings out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(SequencerStart, EveryOutcomeOfTimerStart) {
  const Strings fire = {"Fire 10", "KillTimer 10"};
  const std::vector<int> all = Range(0, 53);
  const std::vector<int> allButLast = Range(0, 52);
  const std::vector<StartCase> cases = {
      {"all files present",
       {},
       false,
       false,
       0,
       Cat({fire, {"Load 0", "Open", "Play", "Highlight 0 0", "SetTimer 20 300"}}),
       Reading,
       0},
      {"V00 missing",
       {0},
       false,
       false,
       0,
       Cat({fire, {"Load 0", "Load 1", "Open", "Play", "Highlight 1 0", "SetTimer 20 300"}}),
       Reading,
       1},
      {"only V53 present", allButLast, false, false, 0,
       Cat({fire, LoadsFrom(0, 53), {"Open", "Play", "Highlight 53 0", "SetTimer 20 300"}}),
       Reading, 53,
       // Nothing is drawn at the first phrase: the Start paint stands, and
       // phrase 53 lights its characters over phrase 5's column in slot 5.
       4},
      {"all files missing", all, false, false, 0, Cat({fire, LoadsFrom(0, 53), {"Invalidate"}}),
       Idle, 54},
      {"all files missing, maximized", all, false, false, 1,
       Cat({fire, LoadsFrom(0, 53), {"ShowNormal"}}), Idle, 54},
      {"open fails", {}, true, false, 0, Cat({fire, {"Load 0", "Open", "Invalidate"}}), Idle, 0},
      {"play fails",
       {},
       false,
       true,
       0,
       Cat({fire, {"Load 0", "Open", "Play", "Close", "Invalidate"}}),
       Idle,
       0},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.bMaximized);
    for (int p : c.missing) rig.sim.voice.RemovePhraseVoice(p);
    rig.sim.voice.m_bFailEveryOpen = c.failOpen;
    if (c.failPlay) rig.sim.voice.m_failPlay = {0};
    rig.frame->OnReadStart();
    ASSERT_EQ(rig.sim.loop.Step().kind, Dispatch::Paint);
    const std::size_t mark = rig.Mark();
    ASSERT_EQ(rig.sim.loop.Step().kind, Dispatch::Timer);
    EXPECT_EQ(WithoutResizes(rig.Since(mark)), c.expected);
    EXPECT_EQ(rig.frame->m_nState, c.state);
    EXPECT_EQ(rig.frame->m_nPhrase, c.phrase);
    rig.sim.loop.RunUntilIdle();
    EXPECT_EQ(rig.sim.voice.DonePosted(), rig.sim.voice.SuccessfulPlays());
    EXPECT_TRUE(rig.sim.view.ShowsOverview());
    EXPECT_FALSE(rig.sim.frame.IsZoomed());
    rig.ExpectClean(c.foreign);
  }
}

// A reading that starts at phrase 1 keeps phrase 0's column on the page.
TEST(SequencerStart, SkippedFirstPhraseStaysOnThePage) {
  Rig rig;
  rig.sim.voice.RemovePhraseVoice(0);
  rig.StartAndRunTo(1);
  rig.RunThroughNextDone();
  EXPECT_EQ(rig.sim.view.Page(), (std::vector<int>{0, 2, 3, 4, 5}));
}

// ------------------------------------------------------ MM_WOM_DONE paths

struct DoneCase {
  const char* name;
  int phrase;                       // whose voice ends
  int missing, failOpen, failPlay;  // phrase, -1 for none
  bool stop, repeat;
  Strings expected;  // from the buffer-done event
  int state, phraseAfter;
};

TEST(SequencerDone, EveryOutcomeOfBufferDone) {
  const Strings next5 = {"Load 5", "Open", "Play", "Highlight 5 0", "SetTimer 20 300"};
  const std::vector<DoneCase> cases = {
      {"next phrase", 4, -1, -1, -1, false, false,
       Cat({{"Done", "Close", "Erase 4", "Draw 7"}, next5}), Reading, 5},
      {"first phrase, no draw",
       0,
       -1,
       -1,
       -1,
       false,
       false,
       {"Done", "Close", "Erase 0", "Load 1", "Open", "Play", "Highlight 1 0", "SetTimer 20 300"},
       Reading,
       1},
      {"near the end, no draw",
       51,
       -1,
       -1,
       -1,
       false,
       false,
       {"Done", "Close", "Erase 51", "Load 52", "Open", "Play", "Highlight 52 0",
        "SetTimer 20 300"},
       Reading,
       52},
      {"next file missing",
       4,
       5,
       -1,
       -1,
       false,
       false,
       {"Done", "Close", "Erase 4", "Draw 7", "Load 5", "Invalidate"},
       Idle,
       5},
      {"open fails",
       4,
       -1,
       5,
       -1,
       false,
       false,
       {"Done", "Close", "Erase 4", "Draw 7", "Load 5", "Open", "Invalidate"},
       Idle,
       5},
      {"play fails",
       4,
       -1,
       -1,
       5,
       false,
       false,
       {"Done", "Close", "Erase 4", "Draw 7", "Load 5", "Open", "Play", "Close", "Invalidate"},
       Idle,
       5},
      {"stop", 10, -1, -1, -1, true, false, {"Done", "Close", "Erase 10", "Invalidate"}, Idle, 10},
      {"last phrase",
       53,
       -1,
       -1,
       -1,
       false,
       false,
       {"Done", "Close", "Erase 53", "Invalidate"},
       Idle,
       53},
      {"last phrase, repeat",
       53,
       -1,
       -1,
       -1,
       false,
       true,
       {"Done", "Close", "Erase 53", "SetTimer 10 300", "Invalidate"},
       Starting,
       0},
      {"stop in the last phrase, repeat",
       53,
       -1,
       -1,
       -1,
       true,
       true,
       {"Done", "Close", "Erase 53", "Invalidate"},
       Idle,
       53},
  };
  for (const DoneCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.frame->m_bRepeat = c.repeat ? 1 : 0;
    if (c.missing >= 0) rig.sim.voice.RemovePhraseVoice(c.missing);
    if (c.failOpen >= 0) rig.sim.voice.m_failOpen = {c.failOpen};
    if (c.failPlay >= 0) rig.sim.voice.m_failPlay = {c.failPlay};
    rig.StartAndRunTo(c.phrase);
    rig.sim.loop.RunFor(200);
    if (c.stop) {
      const std::size_t mark = rig.Mark();
      rig.frame->OnReadStop();
      EXPECT_EQ(rig.Since(mark), Strings{"Reset"});
      EXPECT_EQ(rig.frame->m_nState, Reading);
      EXPECT_EQ(rig.frame->m_bStopRequested, 1);
    }
    EXPECT_EQ(rig.RunThroughNextDone(), c.expected);
    EXPECT_EQ(rig.frame->m_nState, c.state);
    EXPECT_EQ(rig.frame->m_nPhrase, c.phraseAfter);
    EXPECT_EQ(rig.frame->m_bStopRequested, c.stop ? 1 : 0);
    if (c.state == Idle) {
      rig.sim.loop.RunUntilIdle();
      EXPECT_TRUE(rig.sim.view.ShowsOverview());
      EXPECT_EQ(rig.sim.loop.ArmedCount(), 0u);  // the character timer died in Idle
      EXPECT_EQ(rig.sim.voice.DonePosted(), rig.sim.voice.SuccessfulPlays());
    }
    rig.ExpectClean();
  }
}

// Stop after the voice has ended but before its buffer-done is handled:
// the reset has nothing to return and the queued event ends the reading.
TEST(SequencerDone, StopBetweenVoiceEndAndItsDoneEvent) {
  Rig rig;
  rig.StartAndRunTo(7);
  const double left =
      static_cast<double>(rig.sim.voice.Plays().back().start - rig.sim.loop.Now()) / 1000 +
      GetPhraseDuration(7) + 250;
  rig.sim.loop.AdvanceBusy(left);
  ASSERT_EQ(rig.sim.voice.State(), sim::CSimVoice::Device::Done);
  ASSERT_EQ(rig.sim.loop.PostedCount(), 1u);
  rig.frame->OnReadStop();
  EXPECT_EQ(rig.sim.loop.PostedCount(), 1u);  // no second done event
  EXPECT_EQ(rig.RunThroughNextDone(), (Strings{"Done", "Close", "Erase 7", "Invalidate"}));
  EXPECT_EQ(rig.frame->m_nState, Idle);
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(rig.sim.voice.DonePosted(), rig.sim.voice.SuccessfulPlays());
  rig.ExpectClean();
}

// --------------------------------------------------------- the two clocks

TEST(SequencerChars, CharacterTimerRows) {
  Rig rig;
  rig.StartAndRunTo(2);
  // Reading, not the last character: next one lit, timer re-armed.
  rig.sim.loop.RunFor(1);
  std::size_t mark = rig.Mark();
  rig.sim.loop.RunFor(300);
  EXPECT_EQ(rig.Since(mark),
            (Strings{"Fire 20", "KillTimer 20", "Highlight 2 1", "SetTimer 20 300"}));
  // Reading, last character passed: counted, nothing drawn, nothing armed.
  rig.sim.loop.RunFor(1900);  // up to 2201 ms into phrase 2
  EXPECT_EQ(rig.frame->m_nChar, 6);
  EXPECT_FALSE(rig.sim.loop.IsArmed(TIMER_CHAR));
  EXPECT_EQ(rig.sim.view.LitChars(2), Range(0, 5));
  EXPECT_EQ(Filter(rig.Since(mark), "Fire 20").size(), 6u);
  // Idle: the timer is killed and nothing else happens.
  rig.sim.loop.RunUntil([&] { return rig.frame->m_nPhrase == 3; });
  rig.sim.loop.RunFor(100);
  rig.frame->OnReadStop();
  rig.RunThroughNextDone();
  ASSERT_TRUE(rig.sim.loop.IsArmed(TIMER_CHAR));
  const int charBefore = rig.frame->m_nChar;
  mark = rig.Mark();
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(rig.Since(mark), (Strings{"Paint overview", "Fire 20", "KillTimer 20"}));
  EXPECT_EQ(rig.frame->m_nChar, charBefore);
}

struct VoiceLengthCase {
  const char* name;
  int phrase;
  double voiceMs;
  std::vector<int> lit;  // characters of `phrase` lit when its voice ends
  bool timerPendingAtEnd;
};

// The phrase boundary follows the audio, whatever the characters' timer does.
TEST(SequencerChars, VoiceShorterOrLongerThanItsCharacters) {
  const std::vector<VoiceLengthCase> cases = {
      {"shorter", 2, 1000, {0, 1, 2}, true},
      {"longer", 2, 4000, {0, 1, 2, 3, 4, 5}, false},
      // 3200 ms exactly: the last step and the voice's end meet; the done
      // event is handled first and replaces the timer.
      {"exact, meeting the last step", 1, 3200, {0, 1, 2, 3, 4, 5, 6, 7, 8}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.sim.voice.SetPhraseVoice(c.phrase, sim::CSimVoice::BytesForMs(c.voiceMs));
    rig.StartAndRunTo(c.phrase);
    const sim::Micros voiceStart = rig.sim.voice.Plays().back().start;
    const sim::Micros voiceEnd = voiceStart + static_cast<sim::Micros>(c.voiceMs * 1000);
    // Up to just before the voice ends.
    rig.sim.loop.RunFor(static_cast<double>(voiceEnd - 1 - rig.sim.loop.Now()) / 1000);
    EXPECT_EQ(rig.sim.loop.IsArmed(TIMER_CHAR), c.timerPendingAtEnd);
    EXPECT_EQ(rig.sim.view.LitChars(c.phrase), c.lit);
    const Strings log = rig.RunThroughNextDone();
    EXPECT_EQ(rig.sim.loop.LogEntries().back().time, voiceEnd);
    EXPECT_EQ(rig.frame->m_nPhrase, c.phrase + 1);
    EXPECT_EQ(Filter(log, "KillTimer"), Strings{});  // replaced, not killed
    EXPECT_EQ(rig.sim.loop.DueIn(TIMER_CHAR),
              kPhraseDurations[c.phrase + 1][0] * sim::kMicrosPerMs);
    // The rest of the old phrase is never lit (its column is gone anyway).
    rig.sim.loop.RunFor(5000);
    for (const auto& e : rig.sim.loop.LogEntries()) {
      if (e.time > voiceEnd) {
        EXPECT_NE(e.text.rfind("Highlight " + std::to_string(c.phrase) + " ", 0), 0u) << e.text;
      }
    }
    rig.ExpectClean();
  }
}

// With Repeat on and a short last voice, the old character timer fires in
// Starting and steps through the first phrase until TIMER_START replaces it.
TEST(SequencerChars, RepeatRestartWithPendingCharacterTimer) {
  Rig rig;
  rig.frame->m_bRepeat = 1;
  rig.sim.voice.SetPhraseVoice(53, sim::CSimVoice::BytesForMs(800));  // chars 0, 1 lit
  rig.StartAndRunTo(53);
  const Strings atEnd = rig.RunThroughNextDone();
  EXPECT_EQ(atEnd, (Strings{"Done", "Close", "Erase 53", "SetTimer 10 300", "Invalidate"}));
  EXPECT_EQ(rig.frame->m_nState, Starting);
  EXPECT_FALSE(rig.frame->OnUpdateReadStop());
  EXPECT_EQ(rig.sim.loop.DueIn(TIMER_CHAR), 100 * sim::kMicrosPerMs);
  const std::size_t mark = rig.Mark();
  rig.sim.loop.RunUntil([&] { return rig.frame->m_nState == Reading; });
  EXPECT_EQ(rig.Since(mark), (Strings{"Paint page", "Fire 20", "KillTimer 20", "Highlight 0 2",
                                      "SetTimer 20 300", "Fire 10", "KillTimer 10", "Load 0",
                                      "Open", "Play", "Highlight 0 0", "SetTimer 20 300"}));
  EXPECT_EQ(rig.sim.loop.DueIn(TIMER_CHAR), 300 * sim::kMicrosPerMs);
  EXPECT_EQ(rig.frame->m_nChar, 0);
  EXPECT_EQ(rig.frame->m_bStopRequested, 0);
  EXPECT_EQ(Filter(rig.Since(0), "Show"), Strings{});  // neither maximized nor restored
  rig.ExpectClean();
}

// Start right after a Stop, with the stopped phrase's timer still pending.
TEST(SequencerChars, StartWithPendingCharacterTimer) {
  Rig rig;
  rig.StartAndRunTo(1);      // 9 characters
  rig.sim.loop.RunFor(650);  // characters 0..2 lit, m_nChar 2
  rig.frame->OnReadStop();
  rig.RunThroughNextDone();
  rig.frame->OnReadStart();
  EXPECT_EQ(rig.frame->m_bStopRequested, 0);
  EXPECT_EQ(rig.frame->m_nChar, 2);  // Start leaves it alone
  const std::size_t mark = rig.Mark();
  rig.sim.loop.RunUntil([&] { return rig.frame->m_nState == Reading; });
  EXPECT_EQ(Filter(rig.Since(mark), "Highlight"), (Strings{"Highlight 0 3", "Highlight 0 0"}));
  rig.ExpectClean();
}

// ------------------------------------------------------- frame and settings

struct MaximizeCase {
  int bMaximized;
  bool zoomedAtStart;
  bool userRestores;  // during the reading
  Strings atStart, atEnd;
  bool zoomedAfter;
};

TEST(SequencerWindow, MaximizedSetting) {
  const Strings inv = {"Invalidate"};
  const std::vector<MaximizeCase> cases = {
      {0, false, false, inv, inv, false},
      {0, true, false, inv, inv, true},
      {2, false, false, inv, inv, false},
      {-1, true, false, inv, inv, true},
      {1, false, false, {"ShowMaximized"}, {"ShowNormal"}, false},
      {1, true, false, inv, {"ShowNormal"}, false},
      // Restored by the user: showing normal changes nothing, so the view is
      // invalidated to bring the overview back.
      {1, false, true, {"ShowMaximized"}, {"ShowNormal", "Invalidate"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bMaximized << (c.zoomedAtStart ? " zoomed" : "")
                                    << (c.userRestores ? " restored" : ""));
    Rig rig(c.bMaximized);
    rig.sim.voice.RemovePhraseVoice(3);  // the reading ends after phrase 2
    if (c.zoomedAtStart) rig.sim.frame.UserMaximize();
    rig.sim.loop.RunUntilIdle();
    std::size_t mark = rig.Mark();
    rig.frame->OnReadStart();
    Strings start = WithoutResizes(rig.Since(mark));
    start.pop_back();  // SetTimer 10 300
    EXPECT_EQ(start, c.atStart);
    rig.sim.loop.RunUntil([&] { return rig.frame->m_nState == Reading; });
    EXPECT_FALSE(rig.sim.view.ShowsOverview());
    if (c.userRestores) {
      rig.sim.frame.UserRestore();
      rig.sim.loop.RunFor(1);
    }
    rig.sim.loop.RunUntil([&] { return rig.frame->m_nPhrase == 2; });
    const Strings end = WithoutResizes(rig.RunThroughNextDone());
    EXPECT_EQ(Strings(end.end() - static_cast<long>(c.atEnd.size()), end.end()), c.atEnd);
    EXPECT_EQ(rig.frame->m_nState, Idle);
    rig.sim.loop.RunUntilIdle();
    EXPECT_TRUE(rig.sim.view.ShowsOverview());
    EXPECT_EQ(rig.sim.frame.IsZoomed(), c.zoomedAfter);
    rig.ExpectClean();
  }
}

// The user maximizes and restores the frame during a reading: the view
// repaints from the current phrase and the next phrase change uses the new
// number of slots.
TEST(SequencerWindow, ResizedDuringReading) {
  Rig rig;
  rig.StartAndRunTo(4);
  rig.sim.frame.UserMaximize();  // 8 slots
  rig.sim.loop.RunFor(1);
  EXPECT_EQ(rig.sim.view.Page(), Range(4, 8));
  EXPECT_EQ(Filter(rig.RunThroughNextDone(), "Draw"), Strings{"Draw 9"});
  EXPECT_EQ(rig.sim.view.Page(), Range(5, 9));
  EXPECT_EQ(rig.sim.view.LitChars(5), (std::vector<int>{0}));
  rig.sim.loop.RunUntil([&] { return rig.frame->m_nPhrase == 7; });
  rig.sim.frame.UserRestore();  // 6 slots
  rig.sim.loop.RunFor(1);
  EXPECT_EQ(rig.sim.view.Page(), Range(7, 11));
  EXPECT_EQ(Filter(rig.RunThroughNextDone(), "Draw"), Strings{"Draw 10"});
  EXPECT_EQ(rig.sim.view.Page(), Range(8, 11));
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(rig.frame->m_nState, Idle);
  rig.ExpectClean();
}

// Views narrower than four slots: nothing is drawn at a phrase change; with
// no slot at all no column operation is called. The reading itself runs.
TEST(SequencerWindow, NarrowViews) {
  for (int n = 0; n <= 4; ++n) {
    SCOPED_TRACE("slots " + std::to_string(n));
    Rig rig(0, {n * 114 + 60, 425});
    rig.frame->OnReadStart();
    rig.sim.loop.RunUntilIdle();
    const Strings log = rig.Since(0);
    EXPECT_EQ(rig.sim.voice.Plays().size(), 54u);
    EXPECT_EQ(rig.frame->m_nState, Idle);
    EXPECT_EQ(Filter(log, "Draw").size(), n < 4 ? 0u : 51u);  // phrases 3 to 53 begin
    EXPECT_EQ(Filter(log, "Erase").size(), n == 0 ? 0u : 54u);
    EXPECT_EQ(Filter(log, "Highlight").size(), n == 0 ? 0u : size_t{kTotalCharCount});
    rig.ExpectClean();
  }
}

// ------------------------------------------------- destruction and soak

struct ShutdownCase {
  const char* name;
  std::function<void(Rig&)> reach;
  bool deviceWasOpen;
};

TEST(SequencerShutdown, DestroyedAtAnyMoment) {
  const std::vector<ShutdownCase> cases = {
      {"title screen", [](Rig& r) { r.frame->m_nState = Title; }, false},
      {"starting", [](Rig& r) { r.frame->OnReadStart(); }, false},
      {"mid-phrase",
       [](Rig& r) {
         r.StartAndRunTo(3);
         r.sim.loop.RunFor(400);
       },
       true},
      {"after stop",
       [](Rig& r) {
         r.StartAndRunTo(3);
         r.frame->OnReadStop();
       },
       true},
      {"voice ended, done queued",
       [](Rig& r) {
         r.StartAndRunTo(3);
         r.sim.loop.AdvanceBusy(GetPhraseDuration(3) + 300);
       },
       true},
      {"idle, character timer pending",
       [](Rig& r) {
         r.StartAndRunTo(3);
         r.frame->OnReadStop();
         r.RunThroughNextDone();
       },
       false},
  };
  for (const auto& c : cases) {
    for (bool destroy : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (destroy ? ", destroyed" : ", shut down"));
      Rig rig;
      c.reach(rig);
      const std::size_t mark = rig.Mark();
      rig.frame->Shutdown();
      rig.frame->Shutdown();  // again: nothing more
      const Strings device = Filter(rig.Since(mark), "Reset");
      EXPECT_EQ(device.size(), c.deviceWasOpen ? 1u : 0u);
      rig.sim.voice.ReleaseBuffer();
      EXPECT_EQ(rig.sim.voice.State(), sim::CSimVoice::Device::Closed);
      EXPECT_FALSE(rig.sim.loop.IsArmed(TIMER_START));
      EXPECT_FALSE(rig.sim.loop.IsArmed(TIMER_CHAR));
      EXPECT_FALSE(rig.frame->OnUpdateReadStop());
      if (destroy) {
        rig.sim.Detach();
        rig.frame.reset();
      }
      const std::size_t after = rig.Mark();
      rig.sim.loop.RunFor(10000);
      if (!destroy) {
        // Whatever still arrives finds a frame that does nothing.
        rig.frame->OnTimer(TIMER_CHAR);
        rig.frame->OnTimer(TIMER_START);
        rig.frame->OnWomDone();
        rig.frame->OnReadStart();
        for (const auto& s : rig.Since(after))
          EXPECT_TRUE(s == "Done" || s.rfind("Paint", 0) == 0 || s.rfind("Fire", 0) == 0) << s;
      }
      EXPECT_EQ(rig.sim.voice.Faults(), Strings{});
      EXPECT_EQ(rig.sim.voice.DonePosted(), rig.sim.voice.SuccessfulPlays());
    }
  }
}

// A thousand recitations with Repeat on, then Stop.
TEST(SequencerSoak, ThousandRepeatedRecitations) {
  Rig rig;
  rig.sim.voice.SetAllPhraseVoices(30);
  rig.frame->m_bRepeat = 1;
  rig.frame->OnReadStart();
  int restarts = 0;
  int lastState = rig.frame->m_nState;
  std::size_t maxPosted = 0;
  while (restarts < 1000) {
    ASSERT_NE(rig.sim.loop.Step().kind, Dispatch::None);
    if (rig.frame->m_nState == Starting && lastState == Reading) {
      ++restarts;
      ASSERT_EQ(rig.sim.voice.Plays().size(), 54u) << "recitation " << restarts;
      rig.sim.voice.ClearPlays();
      rig.sim.loop.ClearLog();
      ASSERT_EQ(rig.sim.voice.HeldBlocks(), 1);
      ASSERT_LE(rig.sim.loop.ArmedCount(), 2u);
    }
    lastState = rig.frame->m_nState;
    maxPosted = std::max(maxPosted, rig.sim.loop.PostedCount());
  }
  rig.sim.loop.RunUntil([&] { return rig.frame->m_nState == Reading; });
  rig.sim.loop.RunFor(500);
  rig.frame->OnReadStop();
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(rig.frame->m_nState, Idle);
  EXPECT_TRUE(rig.sim.view.ShowsOverview());
  EXPECT_EQ(rig.sim.voice.HeldBlocks(), 1);
  EXPECT_EQ(rig.sim.voice.State(), sim::CSimVoice::Device::Closed);
  EXPECT_EQ(rig.sim.loop.ArmedCount(), 0u);
  EXPECT_LE(maxPosted, 1u);
  EXPECT_EQ(rig.sim.voice.DonePosted(), rig.sim.voice.SuccessfulPlays());
  EXPECT_EQ(rig.sim.voice.SuccessfulPlays(), 1000 * 54 + 1);
  rig.ExpectClean();
}

}  // namespace
}  // namespace solvari

// ------------------------------------------------------ the output's clock

namespace solvari {
namespace {

// Times (ms after the voice was queued) at which each character of each
// phrase was lit, from the log.
std::vector<std::vector<double>> LitTimes(const Rig& rig) {
  const auto& plays = rig.sim.voice.Plays();
  std::vector<std::vector<double>> lit(kPhraseCount);
  std::vector<int> play(kPhraseCount, -1);
  for (std::size_t i = 0; i < plays.size(); ++i)
    play[static_cast<std::size_t>(plays[i].phrase)] = static_cast<int>(i);
  for (const auto& e : rig.sim.loop.LogEntries()) {
    int p, c;
    if (std::sscanf(e.text.c_str(), "Highlight %d %d", &p, &c) != 2 ||
        play[static_cast<std::size_t>(p)] < 0)
      continue;
    lit[static_cast<std::size_t>(p)].push_back(
        static_cast<double>(
            e.time - plays[static_cast<std::size_t>(play[static_cast<std::size_t>(p)])].start) /
        1000);
  }
  return lit;
}

TEST(SequencerClock, EveryCharacterLitWhenItsSyllableIsHeardWithoutDrift) {
  // A Bluetooth-like output (186 ms), timers that fire 4 ms late or almost
  // a millisecond early: the highlight follows the heard voice, nothing adds up.
  for (const sim::Micros lateness : {sim::Micros{4000}, sim::Micros{-900}}) {
    SCOPED_TRACE("timer lateness " + std::to_string(lateness));
    Rig rig;
    rig.sim.voice.EnableClock(186);
    rig.sim.loop.SetTimerLateness(lateness);
    rig.frame->OnReadStart();
    rig.sim.loop.RunUntil([&] { return rig.frame->m_nState == Idle; });
    ASSERT_EQ(rig.sim.voice.Plays().size(), 54u);
    const auto lit = LitTimes(rig);
    const double slack = lateness > 0 ? 4.0 : 1.0;
    for (int p = 0; p < kPhraseCount; ++p) {
      ASSERT_EQ(lit[static_cast<std::size_t>(p)].size(),
                static_cast<std::size_t>(kPhraseCharCount[p]))
          << "phrase " << p;
      double onset = 186;
      std::int64_t nOnsetMs = 0;
      for (int c = 0; c < kPhraseCharCount[p]; ++c) {
        const double t = lit[static_cast<std::size_t>(p)][static_cast<std::size_t>(c)];
        EXPECT_GE(t, onset - CReadingSequencer::kLightLeadMs)
            << "phrase " << p << " char " << c << " lit before it is heard";
        EXPECT_LE(t, onset + slack) << "phrase " << p << " char " << c;
        // The device was told it would be asked then (it asks its output in time).
        EXPECT_TRUE(rig.sim.voice.m_wanted.count({p, nOnsetMs})) << "phrase " << p << " char " << c;
        onset += kPhraseDurations[p][c];
        nOnsetMs += kPhraseDurations[p][c];
      }
    }
    rig.ExpectClean();
  }
}

TEST(SequencerClock, AClockStandingBetweenReportsCostsAStepNoMoreThanALookAgain) {
  // The clock reads the output's last report, made every 100 ms and 2 ms
  // after the clock is wanted. A step that finds it short of the onset does
  // not wait for the whole difference the stale reading shows (up to 100 ms
  // late), but looks again once the answer has come.
  Rig rig;
  rig.sim.voice.EnableClock(46);
  rig.sim.voice.StandClockBetweenReports(100, 2);
  rig.frame->OnReadStart();
  rig.sim.loop.RunUntil([&] { return rig.frame->m_nState == Idle; });
  ASSERT_EQ(rig.sim.voice.Plays().size(), 54u);
  const auto lit = LitTimes(rig);
  const double slack = static_cast<double>(CReadingSequencer::kClockRecheckMs) + 2 + 1;
  double worst = 0;
  for (int p = 0; p < kPhraseCount; ++p) {
    ASSERT_EQ(lit[static_cast<std::size_t>(p)].size(),
              static_cast<std::size_t>(kPhraseCharCount[p]))
        << "phrase " << p;
    double onset = 46;
    for (int c = 0; c < kPhraseCharCount[p]; ++c) {
      const double t = lit[static_cast<std::size_t>(p)][static_cast<std::size_t>(c)];
      EXPECT_GE(t, onset - CReadingSequencer::kLightLeadMs)
          << "phrase " << p << " char " << c << " lit before it is heard";
      worst = std::max(worst, t - onset);
      onset += kPhraseDurations[p][c];
    }
  }
  EXPECT_LE(worst, slack);
  rig.ExpectClean();
}

TEST(SequencerClock, AClockFarOutsideThePhraseIsNotBelieved) {
  // A device that says its voice is heard in a hundred thousand years, or
  // was a hundred thousand years ago: the characters go by their durations.
  for (const std::int64_t skew : {-(std::int64_t{1} << 50), std::int64_t{1} << 50}) {
    Rig rig;
    rig.sim.voice.EnableClock(46);
    rig.sim.voice.SkewClock(skew);
    rig.frame->OnReadStart();
    rig.sim.loop.RunUntil([&] { return rig.frame->m_nState == Idle; });
    ASSERT_EQ(rig.sim.voice.Plays().size(), 54u);
    const auto lit = LitTimes(rig);
    for (int p = 0; p < kPhraseCount; ++p)
      EXPECT_EQ(lit[static_cast<std::size_t>(p)].size(),
                static_cast<std::size_t>(kPhraseCharCount[p]))
          << "phrase " << p;
    rig.ExpectClean();
  }
}

TEST(SequencerClock, StopBeforeTheVoiceIsHeardLightsNothing) {
  Rig rig;
  rig.sim.voice.EnableClock(186);
  rig.StartAndRunTo(0);
  const std::size_t mark = rig.Mark();
  rig.frame->OnReadStop();
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(Filter(rig.Since(mark), "Highlight"), Strings{});
  EXPECT_EQ(rig.frame->m_nState, Idle);
  EXPECT_EQ(rig.sim.loop.ArmedCount(), 0u);
  // The next reading starts afresh: its first character waits for its voice.
  rig.frame->OnReadStart();
  rig.sim.loop.RunUntil([&] { return !rig.sim.view.LitChars(0).empty(); });
  ASSERT_EQ(rig.sim.voice.Plays().size(), 2u);
  EXPECT_EQ(rig.sim.loop.Now() - rig.sim.voice.Plays()[1].start, 186 * sim::kMicrosPerMs);
  rig.ExpectClean();
}

}  // namespace
}  // namespace solvari
