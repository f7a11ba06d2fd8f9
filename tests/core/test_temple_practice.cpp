// SPDX-License-Identifier: GPL-3.0-or-later
// The bowl bell and the count of recitations on the simulated platform: the
// opening strikes before phrase 0 with the highlight waiting for them, the
// closing strikes after phrase 53 of the last recitation only, N recitations
// and then the end, Stop and failures while the bell rings, and the
// defaults, with which nothing of this happens.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/exe_directory.h"
#include "core/instrument_settings.h"
#include "core/reading_sequencer.h"
#include "core/sutra_tables.h"
#include "sim_platform.h"

namespace solvari {
namespace {

using sim::CSimPlatform;
using sim::Micros;
using Strings = std::vector<std::string>;

constexpr int kBellPhrase = -1;  // what the simulated device calls the bell's sound
constexpr double kBellMs = 6000;

// A frame that notes each recitation reaching the end of the text, and the
// bell strikes asked for each time the bell's sound is loaded.
class CTempleFrame : public CReadingSequencer {
 public:
  using CReadingSequencer::CReadingSequencer;
  std::vector<int> m_completed;

 protected:
  void OnRecitationComplete(int nRecitation) override { m_completed.push_back(nRecitation); }
};

struct TempleRig {
  explicit TempleRig(bool bBellFile = true) {
    SetExeDirectory("/sim/");
    frame = std::make_unique<CTempleFrame>(sim.Platform(), 0);
    sim.Attach(frame.get());
    frame->m_nState = Idle;
    sim.voice.SetAllPhraseVoices(250);
    if (bBellFile) sim.voice.SetFile(GetBellSoundPath(), sim::CSimVoice::BytesForMs(kBellMs));
    sim.loop.RunUntilIdle();
    sim.loop.ClearLog();
  }
  // Runs until the reading is over, noting the bell strikes at each ring.
  void RunToEnd() {
    ASSERT_TRUE(sim.loop.RunUntil(
        [&] {
          if (frame->BellStrikes() > 0 &&
              (strikes.empty() || sim.voice.Plays().size() != nPlaysAtLastBell)) {
            strikes.push_back(frame->BellStrikes());
            nPlaysAtLastBell = sim.voice.Plays().size();
          }
          return frame->m_nState == Idle;
        },
        4.0e6));
    sim.loop.RunUntilIdle();
  }
  std::vector<int> PlayedPhrases() const {
    std::vector<int> v;
    for (const auto& play : sim.voice.Plays()) v.push_back(play.phrase);
    return v;
  }
  Micros TimeOf(const std::string& text) const {
    for (const auto& e : sim.loop.LogEntries())
      if (e.text == text) return e.time;
    return -1;
  }
  void ExpectClean() const {
    EXPECT_EQ(sim.voice.Faults(), Strings{});
    EXPECT_EQ(sim.view.Faults(), Strings{});
    EXPECT_EQ(sim.view.HighlightsOnForeignColumn(), 0);
  }

  CSimPlatform sim;
  std::unique_ptr<CTempleFrame> frame;
  std::vector<int> strikes;
  std::size_t nPlaysAtLastBell = 0;
};

// The phrases of n whole recitations, with a bell before and after.
std::vector<int> Recited(int nTimes, bool bBells) {
  std::vector<int> v;
  if (bBells) v.push_back(kBellPhrase);
  for (int k = 0; k < nTimes; ++k)
    for (int p = 0; p < kPhraseCount; ++p) v.push_back(p);
  if (bBells) v.push_back(kBellPhrase);
  return v;
}

TEST(TempleBell, DefaultsRingNoBellAndReciteOnce) {
  TempleRig rig;
  rig.frame->m_nCount = 7;  // a count without Repeat: the text once, as ever
  rig.frame->OnReadStart();
  rig.RunToEnd();
  EXPECT_EQ(rig.PlayedPhrases(), Recited(1, false));
  EXPECT_TRUE(rig.strikes.empty());
  EXPECT_EQ(rig.frame->m_completed, std::vector<int>{1});
  EXPECT_EQ(rig.frame->RecitationsPlanned(), 1);
  EXPECT_EQ(rig.TimeOf("Highlight 0 0"), sim::Micros{kStartDelayMs} * 1000);
  rig.ExpectClean();
}

TEST(TempleBell, TwoStrikesBeforeThreeAfterOrOneEach) {
  TempleRig rig;
  rig.frame->m_nBell = BellTwoThree;
  rig.frame->OnReadStart();
  rig.RunToEnd();
  EXPECT_EQ(rig.PlayedPhrases(), Recited(1, true));
  EXPECT_EQ(rig.strikes, (std::vector<int>{2, 3}));
  // Phrase 0 and its first character wait until the bell has been heard out.
  const auto& plays = rig.sim.voice.Plays();
  const Micros bellEnd = plays[0].start + static_cast<Micros>(kBellMs * 1000);
  EXPECT_EQ(plays[0].start, Micros{kStartDelayMs} * 1000);
  EXPECT_EQ(plays[1].start, bellEnd);
  EXPECT_EQ(rig.TimeOf("Highlight 0 0"), bellEnd);
  // The closing bell follows phrase 53 at once, and the overview comes after it.
  EXPECT_EQ(plays.back().start, rig.TimeOf("Erase 53"));
  EXPECT_TRUE(rig.sim.view.ShowsOverview());
  EXPECT_EQ(rig.frame->BellStrikes(), 0);
  rig.ExpectClean();

  TempleRig one;
  one.frame->m_nBell = BellOneEach;
  one.frame->OnReadStart();
  one.RunToEnd();
  EXPECT_EQ(one.PlayedPhrases(), Recited(1, true));
  EXPECT_EQ(one.strikes, (std::vector<int>{1, 1}));
}

TEST(TempleBell, TheHighlightWaitsForTheFirstPhraseAsHeard) {
  TempleRig rig;
  rig.sim.voice.EnableClock(120);
  rig.frame->m_nBell = BellTwoThree;
  rig.frame->OnReadStart();
  ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.sim.voice.Plays().size() == 2; }));
  const Micros phrase0 = rig.sim.voice.Plays()[1].start;
  ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.TimeOf("Highlight 0 0") >= 0; }));
  EXPECT_EQ(rig.TimeOf("Highlight 0 0"), phrase0 + 120 * 1000);
  // Nothing was lit while the bell rang.
  for (const auto& e : rig.sim.loop.LogEntries()) {
    if (e.text.rfind("Highlight", 0) == 0) {
      EXPECT_GE(e.time, phrase0) << e.text;
    }
  }
}

TEST(TempleBell, ABellThatDoesNotLoadIsLeftOut) {
  TempleRig rig(/*bBellFile=*/false);
  rig.frame->m_nBell = BellTwoThree;
  rig.frame->OnReadStart();
  rig.RunToEnd();
  EXPECT_EQ(rig.PlayedPhrases(), Recited(1, false));
  EXPECT_TRUE(rig.strikes.empty());
  EXPECT_EQ(rig.TimeOf("Highlight 0 0"), sim::Micros{kStartDelayMs} * 1000);
  rig.ExpectClean();
}

TEST(TempleBell, StopWhileTheOpeningBellRingsEndsTheReading) {
  TempleRig rig;
  rig.frame->m_nBell = BellTwoThree;
  rig.frame->OnReadStart();
  ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.frame->BellStrikes() == 2; }));
  EXPECT_TRUE(rig.frame->OnUpdateReadStop());
  EXPECT_FALSE(rig.frame->OnUpdateReadStep());  // the steps wait for the text
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), 0);
  rig.sim.loop.RunFor(1000);
  rig.frame->OnReadStop();
  rig.RunToEnd();
  EXPECT_EQ(rig.PlayedPhrases(), std::vector<int>{kBellPhrase});
  EXPECT_EQ(rig.TimeOf("Highlight 0 0"), -1);
  EXPECT_TRUE(rig.frame->m_completed.empty());
  EXPECT_EQ(rig.sim.voice.State(), sim::CSimVoice::Device::Closed);
  rig.ExpectClean();
}

TEST(TempleBell, StopWhileTheClosingBellRingsEndsTheReading) {
  TempleRig rig;
  rig.frame->m_nBell = BellTwoThree;
  rig.frame->OnReadStart();
  ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.frame->BellStrikes() == 3; }, 4.0e6));
  EXPECT_EQ(rig.frame->NextPhraseToPlay(), -1);
  rig.frame->OnReadStop();
  rig.RunToEnd();
  EXPECT_EQ(rig.PlayedPhrases(), Recited(1, true));
  EXPECT_EQ(rig.frame->m_completed, std::vector<int>{1});
  rig.ExpectClean();
}

TEST(TempleBell, ADeviceThatFailsForTheBellEndsTheReading) {
  TempleRig rig;
  rig.frame->m_nBell = BellOneEach;
  rig.sim.voice.m_failOpen.insert(kBellPhrase);
  rig.frame->OnReadStart();
  rig.RunToEnd();
  EXPECT_TRUE(rig.PlayedPhrases().empty());
  rig.sim.voice.m_failOpen.clear();
  rig.sim.voice.m_failPlay.insert(kBellPhrase);
  rig.frame->OnReadStart();
  rig.RunToEnd();
  EXPECT_TRUE(rig.PlayedPhrases().empty());
  EXPECT_EQ(rig.frame->m_nState, Idle);
  EXPECT_EQ(rig.sim.voice.State(), sim::CSimVoice::Device::Closed);
  rig.ExpectClean();
}

TEST(TempleBell, ShutdownWhileTheBellRings) {
  TempleRig rig;
  rig.frame->m_nBell = BellTwoThree;
  rig.frame->OnReadStart();
  ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.frame->BellStrikes() == 2; }));
  rig.frame->Shutdown();
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(rig.sim.voice.State(), sim::CSimVoice::Device::Closed);
  EXPECT_EQ(rig.PlayedPhrases(), std::vector<int>{kBellPhrase});
  rig.ExpectClean();
}

TEST(RecitationCount, ThreeTimesAndThenTheEnd) {
  TempleRig rig;
  rig.frame->m_bRepeat = 1;
  rig.frame->m_nCount = 3;
  rig.frame->OnReadStart();
  EXPECT_EQ(rig.frame->RecitationNumber(), 1);
  EXPECT_EQ(rig.frame->RecitationsPlanned(), 3);
  // The number shown while each recitation runs.
  std::vector<int> seen;
  ASSERT_TRUE(rig.sim.loop.RunUntil(
      [&] {
        if (rig.frame->m_nState == Reading &&
            (seen.empty() || seen.back() != rig.frame->RecitationNumber()))
          seen.push_back(rig.frame->RecitationNumber());
        if (rig.frame->m_nState == Reading && rig.frame->m_nPhrase == kLastPhrase) {
          EXPECT_EQ(rig.frame->NextPhraseToPlay(), rig.frame->RecitationNumber() < 3 ? 0 : -1);
        }
        return rig.frame->m_nState == Idle;
      },
      4.0e6));
  rig.sim.loop.RunUntilIdle();
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(rig.PlayedPhrases(), Recited(3, false));
  EXPECT_EQ(rig.frame->m_completed, (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(rig.sim.view.ShowsOverview());
  rig.ExpectClean();
  // Start again: counted from 1.
  rig.frame->OnReadStart();
  EXPECT_EQ(rig.frame->RecitationNumber(), 1);
}

TEST(RecitationCount, BellsOnlyBeforeTheFirstAndAfterTheLast) {
  TempleRig rig;
  rig.frame->m_bRepeat = 1;
  rig.frame->m_nCount = 2;
  rig.frame->m_nBell = BellTwoThree;
  rig.frame->OnReadStart();
  rig.RunToEnd();
  EXPECT_EQ(rig.PlayedPhrases(), Recited(2, true));
  EXPECT_EQ(rig.strikes, (std::vector<int>{2, 3}));
  rig.ExpectClean();
}

TEST(RecitationCount, EndlessAndOutOfRangeCountsRepeatOnAndOn) {
  for (int nCount : {kCountEndless, -4, kMaxRecitationCount + 1}) {
    TempleRig rig;
    rig.frame->m_bRepeat = 1;
    rig.frame->m_nCount = nCount;
    rig.frame->m_nBell = BellOneEach;
    rig.frame->OnReadStart();
    ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.frame->RecitationNumber() == 5; }, 4.0e6));
    EXPECT_EQ(rig.frame->RecitationsPlanned(), kCountEndless);
    EXPECT_EQ(rig.frame->m_completed, (std::vector<int>{1, 2, 3, 4})) << nCount;
    // Only the opening bell so far: an endless reading ends by Stop, without one.
    int nBells = 0;
    for (const auto& play : rig.sim.voice.Plays()) nBells += play.phrase == kBellPhrase;
    EXPECT_EQ(nBells, 1) << nCount;
    ASSERT_TRUE(rig.sim.loop.RunUntil([&] { return rig.frame->m_nState == Reading; }));
    rig.frame->OnReadStop();
    rig.RunToEnd();
    EXPECT_EQ(rig.sim.voice.Plays().back().phrase, 0);
    rig.ExpectClean();
  }
}

TEST(RecitationCount, StopInTheSecondOfThreeEndsWithoutTheClosingBell) {
  TempleRig rig;
  rig.frame->m_bRepeat = 1;
  rig.frame->m_nCount = 3;
  rig.frame->m_nBell = BellTwoThree;
  rig.frame->OnReadStart();
  ASSERT_TRUE(rig.sim.loop.RunUntil(
      [&] { return rig.frame->RecitationNumber() == 2 && rig.frame->m_nPhrase == 10; }, 4.0e6));
  rig.frame->OnReadStop();
  rig.RunToEnd();
  EXPECT_EQ(rig.frame->m_completed, std::vector<int>{1});
  EXPECT_NE(rig.sim.voice.Plays().back().phrase, kBellPhrase);
  rig.ExpectClean();
}

}  // namespace
}  // namespace solvari
