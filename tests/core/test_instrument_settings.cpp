// The instrument settings in the profile: defaults, a round trip, and stored
// values out of range, each falling back to its own default alone.
#include <gtest/gtest.h>

#include "core/instrument_settings.h"
#include "core/profile_store.h"

namespace solvari {
namespace {

TEST(InstrumentSettings, DefaultsChangeNothing) {
  CMemoryProfileStore store;
  const InstrumentSettings s = InstrumentSettings::Read(store);
  EXPECT_EQ(s, InstrumentSettings{});
  EXPECT_EQ(s.nMokugyo, MokugyoOff);
  EXPECT_EQ(s.nBell, BellNone);
  EXPECT_EQ(s.nCount, kCountEndless);
  EXPECT_EQ(s.bVoice, 1);
  for (int p : {0, 1, 53}) EXPECT_FALSE(s.StrikesPhrase(p));
  EXPECT_EQ(s.OpeningBellStrikes(), 0);
  EXPECT_EQ(s.ClosingBellStrikes(), 0);
}

TEST(InstrumentSettings, RoundTripUnderTheirKeys) {
  CMemoryProfileStore store;
  InstrumentSettings s;
  s.nMokugyo = MokugyoAfterOpening;
  s.nMokugyoVolume = MokugyoLoud;
  s.nBell = BellTwoThree;
  s.nCount = 21;
  s.bVoice = 0;
  ASSERT_TRUE(s.Write(store));
  EXPECT_EQ(InstrumentSettings::Read(store), s);
  EXPECT_EQ(store.GetProfileInt("Reading", "Mokugyo", -1), 2);
  EXPECT_EQ(store.GetProfileInt("Reading", "MokugyoVolume", -1), 2);
  EXPECT_EQ(store.GetProfileInt("Reading", "Bell", -1), 1);
  EXPECT_EQ(store.GetProfileInt("Reading", "Count", -1), 21);
  EXPECT_EQ(store.GetProfileInt("Reading", "Voice", -1), 0);
}

TEST(InstrumentSettings, ValuesOutOfRangeFallBackOneByOne) {
  CMemoryProfileStore store;
  store.WriteProfileInt("Reading", "Mokugyo", 3);
  store.WriteProfileInt("Reading", "MokugyoVolume", -1);
  store.WriteProfileString("Reading", "Bell", "two");
  store.WriteProfileInt("Reading", "Count", kMaxRecitationCount + 1);
  store.WriteProfileInt("Reading", "Voice", 2);
  EXPECT_EQ(InstrumentSettings::Read(store), InstrumentSettings{});
  // A good value next to bad ones is kept.
  store.WriteProfileInt("Reading", "Count", 7);
  store.WriteProfileInt("Reading", "Bell", 2);
  const InstrumentSettings s = InstrumentSettings::Read(store);
  EXPECT_EQ(s.nCount, 7);
  EXPECT_EQ(s.nBell, BellOneEach);
  EXPECT_EQ(s.nMokugyo, MokugyoOff);
}

TEST(InstrumentSettings, CountsAreBounded) {
  EXPECT_EQ(ValidRecitationCount(0), 0);
  EXPECT_EQ(ValidRecitationCount(1), 1);
  for (int n : kCountChoices) EXPECT_EQ(ValidRecitationCount(n), n);
  EXPECT_EQ(ValidRecitationCount(kMaxRecitationCount), kMaxRecitationCount);
  EXPECT_EQ(ValidRecitationCount(kMaxRecitationCount + 1), kCountEndless);
  EXPECT_EQ(ValidRecitationCount(-3), kCountEndless);
}

TEST(InstrumentSettings, WhatEachChoiceStrikes) {
  InstrumentSettings s;
  s.nMokugyo = MokugyoEveryChar;
  EXPECT_TRUE(s.StrikesPhrase(0));
  EXPECT_TRUE(s.StrikesPhrase(53));
  s.nMokugyo = MokugyoAfterOpening;
  EXPECT_FALSE(s.StrikesPhrase(0));
  EXPECT_TRUE(s.StrikesPhrase(1));
  s.nBell = BellTwoThree;
  EXPECT_EQ(s.OpeningBellStrikes(), 2);
  EXPECT_EQ(s.ClosingBellStrikes(), 3);
  s.nBell = BellOneEach;
  EXPECT_EQ(s.OpeningBellStrikes(), 1);
  EXPECT_EQ(s.ClosingBellStrikes(), 1);
  s.nBell = 9;  // as stored by something else: no bell
  EXPECT_EQ(s.OpeningBellStrikes(), 0);
}

}  // namespace
}  // namespace solvari
