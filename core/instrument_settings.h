// SPDX-License-Identifier: GPL-3.0-or-later
// The temple instruments and the count of recitations, as the user sets them.
// They are part of the program's settings (ReadingSettings, which names
// their keys and reads and writes them). With the defaults a recitation
// sounds and runs exactly as it does without them.
#pragma once

#include <string>

namespace solvari {

// "Reading" / "Mokugyo": when the wooden fish is struck.
enum MokugyoMode : int {
  MokugyoOff = 0,          // not at all (the default)
  MokugyoEveryChar = 1,    // on every character of the text
  MokugyoAfterOpening = 2  // on every character from the second phrase on
};

// "Reading" / "MokugyoVolume": how loud the wooden fish is, in three steps.
enum MokugyoVolume : int { MokugyoSoft = 0, MokugyoMedium = 1, MokugyoLoud = 2 };

// "Reading" / "Bell": the bowl bell before the first phrase and after the last.
enum BellPattern : int {
  BellNone = 0,      // no bell (the default)
  BellTwoThree = 1,  // two strikes before, three after
  BellOneEach = 2    // one strike before, one after
};

// "Reading" / "Count": 0 recites endlessly (with Repeat on), else this many
// times. Typed counts are kept within 1 .. kMaxRecitationCount.
inline constexpr int kCountEndless = 0;
inline constexpr int kMaxRecitationCount = 999;
inline constexpr int kCountChoices[] = {3, 7, 21};

// The instruments' strikes beside the executable, in the voice file format.
inline constexpr const char* kMokugyoFileName = "Mokugyo.SGM";
inline constexpr const char* kBellFileName = "Bell.SGM";

// Full path of the bell's strike (the executable's directory and
// kBellFileName): what the recitation loads as its voice while the bell
// rings. The loader makes of it as many strikes as the recitation asks for
// (CReadingSequencer::BellStrikes()); loaded as it is, it is one strike.
std::string GetBellSoundPath();

struct InstrumentSettings {
  int nMokugyo = MokugyoOff;
  int nMokugyoVolume = MokugyoMedium;
  int nBell = BellNone;
  int nCount = kCountEndless;
  int bVoice = 1;  // "Reading" / "Voice": 1 with the voice, 0 without (声なし)

  // The same settings with every value out of range replaced by its default.
  InstrumentSettings Valid() const;

  // Whether the wooden fish is struck on the characters of nPhrase.
  bool StrikesPhrase(int nPhrase) const;
  // Strikes for the opening and the closing bell (0 for none).
  int OpeningBellStrikes() const;
  int ClosingBellStrikes() const;

  bool operator==(const InstrumentSettings&) const = default;
};

// A stored or typed count as the program uses it: 0 (endless) or
// 1 .. kMaxRecitationCount; anything else is endless.
int ValidRecitationCount(int nValue);

}  // namespace solvari
