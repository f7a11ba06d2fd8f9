// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/instrument_mix.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "audio/voice_segment.h"
#include "core/sutra_tables.h"
#include "core/tempo.h"

namespace solvari {

namespace {

// The sound after a phrase's last character, as the shipped voice has it.
constexpr int kPhraseTailMs = 200;

std::int16_t ReadSample(const std::uint8_t* p) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

void WriteSample(std::uint8_t* p, std::int32_t v) {
  const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
  p[0] = static_cast<std::uint8_t>(u & 0xFF);
  p[1] = static_cast<std::uint8_t>(u >> 8);
}

// The strike scaled once, in fixed point with 15 fraction bits.
std::vector<std::int32_t> Scaled(const StrikeSamples& strike, double dGain) {
  const auto nGain = static_cast<std::int64_t>(std::lround(std::clamp(dGain, 0.0, 4.0) * 32768));
  std::vector<std::int32_t> out(strike.size());
  for (std::size_t i = 0; i < strike.size(); ++i)
    out[i] = static_cast<std::int32_t>((strike[i] * nGain) / 32768);
  return out;
}

}  // namespace

double MokugyoGain(int nVolumeStep) {
  switch (nVolumeStep) {
    case MokugyoSoft:
      return 0.30;
    case MokugyoLoud:
      return 0.80;
    default:
      return 0.50;
  }
}

std::int64_t MsToSample(std::int64_t nMs) {
  const std::int64_t nNum = nMs * kVoiceSamplesPerSec;
  std::int64_t q = nNum / 1000;
  std::int64_t r = nNum % 1000;
  if (r < 0) {  // floor division for negative times
    r += 1000;
    --q;
  }
  if (r > 500 || (r == 500 && (q & 1) != 0)) ++q;
  return q;
}

std::vector<std::int64_t> TableOnsetSamples(int nPhrase, int nTempo) {
  std::vector<std::int64_t> onsets;
  if (nPhrase < 0 || nPhrase > kLastPhrase) return onsets;
  std::int64_t nMs = 0;
  for (int c = 0; c < kPhraseCharCount[nPhrase]; ++c) {
    onsets.push_back(MsToSample(nMs));
    nMs += ScaleDurationMs(kPhraseDurations[nPhrase][c], nTempo);
  }
  return onsets;
}

bool LoadStrikeFile(const std::string& path, StrikeSamples* pStrike) {
  pStrike->clear();
  std::vector<std::uint8_t> bytes;
  if (!ReadVoiceSegmentFile(path, &bytes)) return false;
  // A strike is mixed in on every character: one that would ring for
  // longer than this is no strike (a damaged or foreign file).
  if (bytes.size() / 2 > kMaxStrikeSamples) return false;
  pStrike->resize(bytes.size() / 2);
  for (std::size_t i = 0; i < pStrike->size(); ++i) (*pStrike)[i] = ReadSample(&bytes[2 * i]);
  return !pStrike->empty();
}

void MixStrikes(std::uint8_t* pPcm, std::size_t nBytes, const StrikeSamples& strike,
                const std::vector<std::int64_t>& onsets, double dGain) {
  if (pPcm == nullptr || strike.empty()) return;
  const auto nSamples = static_cast<std::int64_t>(nBytes / 2);
  const std::vector<std::int32_t> scaled = Scaled(strike, dGain);
  for (const std::int64_t nOnset : onsets) {
    if (nOnset < 0 || nOnset >= nSamples) continue;
    const std::int64_t nEnd =
        std::min<std::int64_t>(nSamples, nOnset + static_cast<std::int64_t>(scaled.size()));
    for (std::int64_t i = nOnset; i < nEnd; ++i) {
      std::uint8_t* p = pPcm + 2 * i;
      const std::int32_t v = ReadSample(p) + scaled[static_cast<std::size_t>(i - nOnset)];
      WriteSample(p, std::clamp<std::int32_t>(v, std::numeric_limits<std::int16_t>::min(),
                                              std::numeric_limits<std::int16_t>::max()));
    }
  }
}

std::vector<std::uint8_t> MakeVoicelessPhrase(int nPhrase, int nTempo,
                                              const std::vector<std::int64_t>& onsets,
                                              const StrikeSamples& strike, double dGain) {
  if (nPhrase < 0 || nPhrase > kLastPhrase) return {};
  std::int64_t nMs = ScaleDurationMs(kPhraseTailMs, nTempo);
  for (int c = 0; c < kPhraseCharCount[nPhrase]; ++c)
    nMs += ScaleDurationMs(kPhraseDurations[nPhrase][c], nTempo);
  std::int64_t nSamples = MsToSample(nMs);
  // The last strike rings out before the next phrase begins. Onsets beyond
  // an hour are not believed.
  constexpr std::int64_t kLatestOnset = std::int64_t{3600} * kVoiceSamplesPerSec;
  if (!strike.empty()) {
    for (const std::int64_t nOnset : onsets)
      if (nOnset >= 0 && nOnset <= kLatestOnset)
        nSamples =
            std::max<std::int64_t>(nSamples, nOnset + static_cast<std::int64_t>(strike.size()));
  }
  std::vector<std::uint8_t> pcm(static_cast<std::size_t>(nSamples) * 2, 0);
  MixStrikes(pcm.data(), pcm.size(), strike, onsets, dGain);
  return pcm;
}

std::vector<std::uint8_t> MakeBellStrikes(const StrikeSamples& strike, int nStrikes) {
  if (strike.empty() || nStrikes <= 0) return {};
  nStrikes = std::min(nStrikes, 9);
  const std::int64_t nSpacing = MsToSample(kBellSpacingMs);
  std::vector<std::int64_t> onsets;
  for (int k = 0; k < nStrikes; ++k) onsets.push_back(k * nSpacing);
  const std::int64_t nSamples = onsets.back() + static_cast<std::int64_t>(strike.size());
  std::vector<std::uint8_t> pcm(static_cast<std::size_t>(nSamples) * 2, 0);
  MixStrikes(pcm.data(), pcm.size(), strike, onsets, 1.0);
  return pcm;
}

void CTempleInstruments::Load(const std::string& dir) {
  m_bMokugyoTried = m_bBellTried = false;
  LoadWanted(dir, true, true);
}

void CTempleInstruments::LoadWanted(const std::string& dir, bool bMokugyo, bool bBell) {
  if (bMokugyo && !m_bMokugyoTried && m_mokugyo.empty()) {
    m_bMokugyoTried = true;
    if (!LoadStrikeFile(dir + kMokugyoFileName, &m_mokugyo)) m_mokugyo.clear();
  }
  if (bBell && !m_bBellTried && m_bell.empty()) {
    m_bBellTried = true;
    if (!LoadStrikeFile(dir + kBellFileName, &m_bell)) m_bell.clear();
  }
}

void CTempleInstruments::PreparePhrase(std::vector<std::uint8_t>* pPcm, int nPhrase, int nTempo,
                                       const std::vector<std::int64_t>& onsets,
                                       const InstrumentSettings& settings) const {
  const bool bStrike = settings.StrikesPhrase(nPhrase);
  const double dGain = MokugyoGain(settings.nMokugyoVolume);
  if (settings.bVoice == 0) {
    *pPcm = MakeVoicelessPhrase(nPhrase, nTempo, TableOnsetSamples(nPhrase, nTempo),
                                bStrike ? m_mokugyo : StrikeSamples{}, dGain);
    return;
  }
  if (bStrike) MixStrikes(pPcm->data(), pPcm->size(), m_mokugyo, onsets, dGain);
}

bool CTempleInstruments::MixIntoPhrase(std::uint8_t* pPcm, std::size_t nBytes, int nPhrase,
                                       const std::vector<std::int64_t>& onsets,
                                       const InstrumentSettings& settings) const {
  if (settings.bVoice == 0) return false;
  if (settings.StrikesPhrase(nPhrase))
    MixStrikes(pPcm, nBytes, m_mokugyo, onsets, MokugyoGain(settings.nMokugyoVolume));
  return true;
}

}  // namespace solvari
