// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/instrument_settings.h"

#include "core/exe_directory.h"

namespace solvari {

namespace {

int InRange(int nValue, int nLow, int nHigh, int nDefault) {
  return nValue >= nLow && nValue <= nHigh ? nValue : nDefault;
}

}  // namespace

std::string GetBellSoundPath() { return GetExeDirectory() + kBellFileName; }

int ValidRecitationCount(int nValue) {
  return InRange(nValue, kCountEndless, kMaxRecitationCount, kCountEndless);
}

InstrumentSettings InstrumentSettings::Valid() const {
  const InstrumentSettings def;
  InstrumentSettings s;
  s.nMokugyo = InRange(nMokugyo, MokugyoOff, MokugyoAfterOpening, def.nMokugyo);
  s.nMokugyoVolume = InRange(nMokugyoVolume, MokugyoSoft, MokugyoLoud, def.nMokugyoVolume);
  s.nBell = InRange(nBell, BellNone, BellOneEach, def.nBell);
  s.nCount = ValidRecitationCount(nCount);
  s.bVoice = InRange(bVoice, 0, 1, def.bVoice);
  return s;
}

bool InstrumentSettings::StrikesPhrase(int nPhrase) const {
  switch (nMokugyo) {
    case MokugyoEveryChar:
      return nPhrase >= 0;
    case MokugyoAfterOpening:
      return nPhrase >= 1;  // the opening phrase is chanted alone
    default:
      return false;
  }
}

int InstrumentSettings::OpeningBellStrikes() const {
  return nBell == BellTwoThree ? 2 : nBell == BellOneEach ? 1 : 0;
}

int InstrumentSettings::ClosingBellStrikes() const {
  return nBell == BellTwoThree ? 3 : nBell == BellOneEach ? 1 : 0;
}

}  // namespace solvari
