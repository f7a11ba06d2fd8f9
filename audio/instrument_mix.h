// SPDX-License-Identifier: GPL-3.0-or-later
// The temple instruments mixed into the recitation's sound: the wooden fish
// (木魚) struck on each character and the bowl bell before and after the
// text. Everything is 16-bit mono PCM at 11025 Hz, as the voice is, and the
// mixing is sample-exact: a strike begins on the very sample where its
// character begins, so it cannot drift from the highlight, and it falls on
// the soft tick the shipped voice carries there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/instrument_settings.h"

namespace solvari {

// One instrument's strike, as samples.
using StrikeSamples = std::vector<std::int16_t>;

// From one bell strike to the next, as a temple spaces them: each rings a
// while before the next.
inline constexpr int kBellSpacingMs = 2500;

// The gain of the wooden fish's volume steps (MokugyoSoft .. MokugyoLoud);
// a step out of range counts as the middle one.
double MokugyoGain(int nVolumeStep);

// The sample where a sound nMs into a phrase begins, halves rounded to even
// (as the shipped voice's ticks were placed).
std::int64_t MsToSample(std::int64_t nMs);

// Where the characters of nPhrase begin in its sound at nTempo (percent), by
// the duration table scaled as the highlight scales it; one entry per
// character, the first 0. Empty for a phrase out of range.
std::vector<std::int64_t> TableOnsetSamples(int nPhrase, int nTempo);

// The longest strike taken from a file: ten seconds.
inline constexpr std::size_t kMaxStrikeSamples = 10 * 11025;

// Reads a strike file; false (pStrike emptied) when it does not load or is
// longer than kMaxStrikeSamples.
bool LoadStrikeFile(const std::string& path, StrikeSamples* pStrike);

// Mixes strike, times dGain, into the little-endian 16-bit PCM at pPcm
// (nBytes; an odd last byte is left alone), beginning at each onset,
// saturating at full scale. Onsets outside the sound are skipped; a strike
// that runs past its end is cut there.
void MixStrikes(std::uint8_t* pPcm, std::size_t nBytes, const StrikeSamples& strike,
                const std::vector<std::int64_t>& onsets, double dGain);

// The sound of a phrase with the voice off (声なし): silence as long as the
// phrase lasts at nTempo, or until the last strike has rung out, with strike
// (when not empty) mixed in at the onsets; as PCM bytes.
std::vector<std::uint8_t> MakeVoicelessPhrase(int nPhrase, int nTempo,
                                              const std::vector<std::int64_t>& onsets,
                                              const StrikeSamples& strike, double dGain);

// nStrikes of the bell, kBellSpacingMs apart, the last one ringing out; as
// PCM bytes. Empty for no strike or no bell.
std::vector<std::uint8_t> MakeBellStrikes(const StrikeSamples& strike, int nStrikes);

// The instruments of one recitation, loaded once from the executable's
// directory. A file that does not load leaves that instrument silent.
class CTempleInstruments {
 public:
  // dir ends with the path separator, as GetExeDirectory() does.
  void Load(const std::string& dir);
  // Loads from dir what is wanted and was not tried yet: no file is read
  // for an instrument that is off.
  void LoadWanted(const std::string& dir, bool bMokugyo, bool bBell);
  bool HasMokugyo() const { return !m_mokugyo.empty(); }
  bool HasBell() const { return !m_bell.empty(); }
  void SetMokugyo(StrikeSamples strike) { m_mokugyo = std::move(strike); }
  void SetBell(StrikeSamples strike) { m_bell = std::move(strike); }

  // The sound of nPhrase as the settings want it, made from *pPcm, the
  // phrase's loaded voice (at nTempo). onsets are where its characters begin
  // in that sound: TableOnsetSamples(nPhrase, nTempo) for the shipped voice,
  // a take's own onsets for a take. With the voice, the wooden fish is mixed
  // in where the settings strike it; without it, *pPcm becomes the voiceless
  // phrase (its onsets are always the table's). With the defaults nothing
  // changes.
  void PreparePhrase(std::vector<std::uint8_t>* pPcm, int nPhrase, int nTempo,
                     const std::vector<std::int64_t>& onsets,
                     const InstrumentSettings& settings) const;
  // The same, in place on a loaded buffer, for the voice on (a buffer cannot
  // change its length here). False, with nothing done, when the voice is off.
  bool MixIntoPhrase(std::uint8_t* pPcm, std::size_t nBytes, int nPhrase,
                     const std::vector<std::int64_t>& onsets,
                     const InstrumentSettings& settings) const;
  // nStrikes of the bell (see MakeBellStrikes).
  std::vector<std::uint8_t> Bell(int nStrikes) const { return MakeBellStrikes(m_bell, nStrikes); }

 private:
  StrikeSamples m_mokugyo;
  bool m_bMokugyoTried = false;
  bool m_bBellTried = false;
  StrikeSamples m_bell;
};

}  // namespace solvari
