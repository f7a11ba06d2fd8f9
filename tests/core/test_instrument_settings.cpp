// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument settings in the profile, as part of the program's settings:
// defaults, a round trip under their keys, and stored values out of range,
// each falling back to its own default.
#include <gtest/gtest.h>

#include "core/instrument_settings.h"
#include "core/profile_store.h"
#include "core/reading_settings.h"

namespace solvari {
namespace {

InstrumentSettings Read(IProfileStore& store) {
  return ReadingSettings::Load(store, false).instruments;
}

void Write(const InstrumentSettings& s, IProfileStore& store) {
  ReadingSettings settings;
  settings.instruments = s;
  using Key = ReadingSettings::Key;
  for (Key key : {Key::Mokugyo, Key::MokugyoVolume, Key::Bell, Key::Count, Key::Voice})
    settings.Store(store, key);
}

TEST(InstrumentSettings, DefaultsChangeNothing) {
  CMemoryProfileStore store;
  const InstrumentSettings s = Read(store);
  EXPECT_EQ(s, InstrumentSettings{});
  EXPECT_EQ(s.nMokugyo, MokugyoOff);
  EXPECT_EQ(s.nBell, BellNone);
  EXPECT_EQ(s.nCount, kCountEndless);
  EXPECT_EQ(s.bVoice, 1);
}

TEST(InstrumentSettings, RoundTripUnderTheirKeys) {
  CMemoryProfileStore store;
  InstrumentSettings s;
  s.nMokugyo = MokugyoAfterOpening;
  s.nMokugyoVolume = MokugyoLoud;
  s.nBell = BellTwoThree;
  s.nCount = 21;
  s.bVoice = 0;
  Write(s, store);
  EXPECT_EQ(Read(store), s);
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
  EXPECT_EQ(Read(store), InstrumentSettings{});
  // A good value next to bad ones is kept.
  store.WriteProfileInt("Reading", "Count", 7);
  store.WriteProfileInt("Reading", "Bell", 2);
  const InstrumentSettings s = Read(store);
  EXPECT_EQ(s.nCount, 7);
  EXPECT_EQ(s.nBell, BellOneEach);
  EXPECT_EQ(s.nMokugyo, MokugyoOff);
  // A typed count is kept within its bounds.
  EXPECT_EQ(ValidRecitationCount(kMaxRecitationCount), kMaxRecitationCount);
  EXPECT_EQ(ValidRecitationCount(-3), kCountEndless);
}

}  // namespace
}  // namespace solvari
