// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/reading_settings.h"

#include "core/exe_directory.h"
#include "core/sutra_readings.h"
#include "core/tempo.h"

namespace solvari {

using namespace settings;

ReadingSettings ReadingSettings::Load(IProfileStore& profile, bool bHasOwnTakes) {
  ReadingSettings s;
  s.strPicture = profile.GetProfileString(kReading, kPicture, GetExeDirectory() + "default.bmp");
  s.nMaximized = profile.GetProfileInt(kReading, kMaximized, 0);
  s.nRuby = ToReadingAid(profile.GetProfileInt(kReading, kRuby, RubyNone));
  s.nTempo = ValidTempoChoice(profile.GetProfileInt(kReading, kTempo, kDefaultTempo));
  s.bOwnVoice = LoadOwnVoice(profile, bHasOwnTakes);
  s.nOutputDelayMs = profile.GetProfileInt(kWavConfig, kOutputDelayMs, 0);
  s.nWavOutDevice = profile.GetProfileInt(kWavConfig, kWavOutDevice, -1);
  s.nWavInDevice = profile.GetProfileInt(kWavConfig, kWavInDevice, -1);
  const InstrumentSettings def;
  InstrumentSettings& in = s.instruments;
  in.nMokugyo = profile.GetProfileInt(kReading, kMokugyo, def.nMokugyo);
  in.nMokugyoVolume = profile.GetProfileInt(kReading, kMokugyoVolume, def.nMokugyoVolume);
  in.nBell = profile.GetProfileInt(kReading, kBell, def.nBell);
  in.nCount = profile.GetProfileInt(kReading, kCount, def.nCount);
  in.bVoice = profile.GetProfileInt(kReading, kVoice, def.bVoice);
  in = in.Valid();
  return s;
}

bool ReadingSettings::LoadOwnVoice(IProfileStore& profile, bool bHasOwnTakes) {
  return profile.GetProfileInt(kReading, kOwnVoice, bHasOwnTakes ? 1 : 0) == 1;
}

void ReadingSettings::Store(IProfileStore& profile, Key key) const {
  switch (key) {
    case Key::Picture:
      profile.WriteProfileString(kReading, kPicture, strPicture);
      break;
    case Key::Maximized:
      profile.WriteProfileInt(kReading, kMaximized, nMaximized);
      break;
    case Key::Ruby:
      profile.WriteProfileInt(kReading, kRuby, nRuby);
      break;
    case Key::Tempo:
      profile.WriteProfileInt(kReading, kTempo, nTempo);
      break;
    case Key::OwnVoice:
      profile.WriteProfileInt(kReading, kOwnVoice, bOwnVoice ? 1 : 0);
      break;
    case Key::OutputDelay:
      profile.WriteProfileInt(kWavConfig, kOutputDelayMs, nOutputDelayMs);
      break;
    case Key::Mokugyo:
      profile.WriteProfileInt(kReading, kMokugyo, instruments.nMokugyo);
      break;
    case Key::MokugyoVolume:
      profile.WriteProfileInt(kReading, kMokugyoVolume, instruments.nMokugyoVolume);
      break;
    case Key::Bell:
      profile.WriteProfileInt(kReading, kBell, instruments.nBell);
      break;
    case Key::Count:
      profile.WriteProfileInt(kReading, kCount, instruments.nCount);
      break;
    case Key::Voice:
      profile.WriteProfileInt(kReading, kVoice, instruments.bVoice);
      break;
  }
}

}  // namespace solvari
