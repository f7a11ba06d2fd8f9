// SPDX-License-Identifier: GPL-3.0-or-later
// The program's settings, per user, by section and key. Every key is named
// here once; the recitation loads them into one struct at start and writes
// each back when its command changes it. Missing or unusable values read as
// their defaults, and nothing here ever reports an error.
#pragma once

#include <cstdint>
#include <string>

#include "core/instrument_settings.h"
#include "core/profile_store.h"

namespace solvari {

namespace settings {
inline constexpr char kReading[] = "Reading";
inline constexpr char kWavConfig[] = "WAV Config";

inline constexpr char kPicture[] = "Picture";      // full path of the background picture
inline constexpr char kMaximized[] = "Maximized";  // 1: maximize while reciting
inline constexpr char kRuby[] = "Ruby";            // the reading aid (a ReadingAid)
inline constexpr char kTempo[] = "Tempo";          // percent of the recorded pace
inline constexpr char kOwnVoice[] = "OwnVoice";    // 1: recite with one's own takes
inline constexpr char kLanguage[] = "Language";    // "ja", "en", or "" for the system's
// The temple instruments and the count (InstrumentSettings).
inline constexpr char kMokugyo[] = "Mokugyo";              // a MokugyoMode
inline constexpr char kMokugyoVolume[] = "MokugyoVolume";  // a MokugyoVolume step
inline constexpr char kBell[] = "Bell";                    // a BellPattern
inline constexpr char kCount[] = "Count";                  // recitations with Repeat; 0 endless
inline constexpr char kVoice[] = "Voice";                  // 1 with the voice, 0 without

inline constexpr char kWavOutDevice[] = "WavOutDevice";    // -1 the default output
inline constexpr char kWavInDevice[] = "WavInDevice";      // -1 the default input
inline constexpr char kOutputDelayMs[] = "OutputDelayMs";  // how late the sound is heard
}  // namespace settings

struct ReadingSettings {
  // The settings a command writes back, one key each.
  enum class Key {
    Picture,
    Maximized,
    Ruby,
    Tempo,
    OwnVoice,
    OutputDelay,
    Mokugyo,
    MokugyoVolume,
    Bell,
    Count,
    Voice
  };

  std::string strPicture;       // default: default.bmp beside the executable
  std::int32_t nMaximized = 0;  // as stored: on only when exactly 1
  int nRuby = 0;                // a ReadingAid, RubyNone unless chosen
  int nTempo = 100;             // one of kTempoChoices
  bool bOwnVoice = false;       // default: on once a take of one's own is kept
  int nOutputDelayMs = 0;       // may be negative
  int nWavOutDevice = -1;       // never written by the program
  int nWavInDevice = -1;
  // The wooden fish, the bell, the count and the voice: all off (the voice
  // on) unless chosen. Each value as loaded is within its range.
  InstrumentSettings instruments;

  // bHasOwnTakes: whether one's own voice folder holds a take (the default
  // of "OwnVoice").
  static ReadingSettings Load(IProfileStore& profile, bool bHasOwnTakes);
  static bool LoadOwnVoice(IProfileStore& profile, bool bHasOwnTakes);
  // Writes the value of one setting.
  void Store(IProfileStore& profile, Key key) const;
};

}  // namespace solvari
