// SPDX-License-Identifier: GPL-3.0-or-later
// The temple instruments mixed into the recitation's sound: every strike on
// its character's onset to the sample, at every tempo and with a take's own
// onsets; saturation; the voice off; the bell patterns; the shipped strikes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/instrument_mix.h"
#include "audio/voice_segment.h"
#include "core/instrument_settings.h"
#include "core/sutra_tables.h"

namespace solvari {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Onsets = std::vector<std::int64_t>;

// A strike whose every sample is non-zero, so its first sample marks where it
// was placed.
StrikeSamples TestStrike(std::size_t n = 200) {
  StrikeSamples s(n);
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<std::int16_t>(8000 - 30 * (i % 100));
  return s;
}

std::int16_t SampleAt(const Bytes& pcm, std::size_t i) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8)));
}

Bytes Constant(std::size_t nSamples, std::int16_t v) {
  Bytes pcm(nSamples * 2);
  for (std::size_t i = 0; i < nSamples; ++i) {
    const auto u = static_cast<std::uint16_t>(v);
    pcm[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
    pcm[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
  }
  return pcm;
}

// Samples where the mixed sound departs from the sound it was mixed into
// after having matched it: the starts of the strikes.
Onsets StrikeStarts(const Bytes& before, const Bytes& after) {
  Onsets starts;
  bool bInStrike = false;
  for (std::size_t i = 0; i < before.size() / 2; ++i) {
    const bool bDiffers = SampleAt(before, i) != SampleAt(after, i);
    if (bDiffers && !bInStrike) starts.push_back(static_cast<std::int64_t>(i));
    bInStrike = bDiffers;
  }
  return starts;
}

InstrumentSettings WithMokugyo(int nMode, int bVoice = 1) {
  InstrumentSettings s;
  s.nMokugyo = nMode;
  s.bVoice = bVoice;
  return s;
}

TEST(MokugyoOnsets, TableOnsetsFollowTheHighlightAtEachTempo) {
  // Phrase 2 lasts 300, 300, 500, 400, 400, 300 ms at the recorded pace;
  // each duration is scaled to whole ms as the highlight scales it, and a
  // sample falls on the half is rounded to even, as the voice's ticks were.
  EXPECT_EQ(TableOnsetSamples(2, 100), (Onsets{0, 3308, 6615, 12128, 16538, 20948}));
  EXPECT_EQ(TableOnsetSamples(2, 50), (Onsets{0, 6615, 13230, 24255, 33075, 41895}));
  // 200, 200, 333, 267, 267 ms: 0, 200, 400, 733, 1000, 1267 ms.
  EXPECT_EQ(TableOnsetSamples(2, 150), (Onsets{0, 2205, 4410, 8081, 11025, 13969}));
  EXPECT_EQ(MsToSample(100), 1102);  // 1102.5, to even
  EXPECT_EQ(MsToSample(300), 3308);  // 3307.5, to even
  EXPECT_TRUE(TableOnsetSamples(-1, 100).empty());
  EXPECT_TRUE(TableOnsetSamples(kPhraseCount, 100).empty());
  for (int p = 0; p < kPhraseCount; ++p)
    EXPECT_EQ(TableOnsetSamples(p, 75).size(), static_cast<std::size_t>(kPhraseCharCount[p]));
}

TEST(MokugyoOnsets, EveryStrikeStartsOnItsOnsetSample) {
  CTempleInstruments instruments;
  instruments.SetMokugyo(TestStrike());
  for (int nTempo : {50, 100, 150}) {
    for (int p : {0, 1, 2, 30, kLastPhrase}) {
      const Onsets onsets = TableOnsetSamples(p, nTempo);
      const Bytes voice = Constant(static_cast<std::size_t>(onsets.back() + 4000), -1200);
      Bytes mixed = voice;
      instruments.PreparePhrase(&mixed, p, nTempo, onsets, WithMokugyo(MokugyoEveryChar));
      EXPECT_EQ(mixed.size(), voice.size());
      EXPECT_EQ(StrikeStarts(voice, mixed), onsets) << "phrase " << p << " at " << nTempo;
    }
  }
}

TEST(MokugyoOnsets, ATakeIsStruckAtItsOwnOnsets) {
  CTempleInstruments instruments;
  instruments.SetMokugyo(TestStrike());
  const Onsets own{17, 2999, 6001, 9876, 14003};  // one's own pace, not the table's
  const Bytes voice = Constant(20000, 500);
  Bytes mixed = voice;
  instruments.PreparePhrase(&mixed, 5, 100, own, WithMokugyo(MokugyoEveryChar));
  EXPECT_EQ(StrikeStarts(voice, mixed), own);
  // In place, on a loaded buffer.
  Bytes inPlace = voice;
  EXPECT_TRUE(instruments.MixIntoPhrase(inPlace.data(), inPlace.size(), 5, own,
                                        WithMokugyo(MokugyoEveryChar)));
  EXPECT_EQ(inPlace, mixed);
}

TEST(MokugyoOnsets, FromTheSecondPhraseTheOpeningIsSolo) {
  CTempleInstruments instruments;
  instruments.SetMokugyo(TestStrike());
  for (int p : {0, 1, 53}) {
    const Onsets onsets = TableOnsetSamples(p, 100);
    const Bytes voice = Constant(static_cast<std::size_t>(onsets.back() + 4000), 0);
    Bytes mixed = voice;
    instruments.PreparePhrase(&mixed, p, 100, onsets, WithMokugyo(MokugyoAfterOpening));
    EXPECT_EQ(StrikeStarts(voice, mixed), p == 0 ? Onsets{} : onsets) << p;
  }
}

TEST(MokugyoOnsets, DefaultsLeaveTheVoiceAsItIs) {
  CTempleInstruments instruments;
  instruments.SetMokugyo(TestStrike());
  const Bytes voice = Constant(30000, 1234);
  Bytes mixed = voice;
  instruments.PreparePhrase(&mixed, 3, 100, TableOnsetSamples(3, 100), InstrumentSettings{});
  EXPECT_EQ(mixed, voice);
}

TEST(MokugyoMix, SaturatesInsteadOfWrapping) {
  const StrikeSamples strike{30000, -30000, 20000};
  Bytes pcm = Constant(6, 20000);
  MixStrikes(pcm.data(), pcm.size(), strike, {0}, 1.0);
  EXPECT_EQ(SampleAt(pcm, 0), 32767);
  EXPECT_EQ(SampleAt(pcm, 1), -10000);
  EXPECT_EQ(SampleAt(pcm, 2), 32767);
  EXPECT_EQ(SampleAt(pcm, 3), 20000);
  Bytes low = Constant(2, -20000);
  MixStrikes(low.data(), low.size(), StrikeSamples{-30000}, {1}, 1.0);
  EXPECT_EQ(SampleAt(low, 0), -20000);
  EXPECT_EQ(SampleAt(low, 1), -32768);
}

TEST(MokugyoMix, VolumeStepsAreOrderedAndScaleTheStrike) {
  EXPECT_LT(MokugyoGain(MokugyoSoft), MokugyoGain(MokugyoMedium));
  EXPECT_LT(MokugyoGain(MokugyoMedium), MokugyoGain(MokugyoLoud));
  EXPECT_EQ(MokugyoGain(7), MokugyoGain(MokugyoMedium));
  Bytes pcm = Constant(1, 0);
  MixStrikes(pcm.data(), pcm.size(), StrikeSamples{10000}, {0}, 0.5);
  EXPECT_EQ(SampleAt(pcm, 0), 5000);
}

TEST(MokugyoMix, OnsetsOutsideTheSoundAndOddBuffersAreSafe) {
  const StrikeSamples strike = TestStrike(50);
  Bytes pcm = Constant(100, 0);
  pcm.push_back(0x7F);  // a stray odd byte is left alone
  MixStrikes(pcm.data(), pcm.size(), strike, {-5, 80, 100, 1'000'000, INT64_MAX}, 1.0);
  EXPECT_EQ(pcm.back(), 0x7F);
  EXPECT_EQ(SampleAt(pcm, 79), 0);
  EXPECT_EQ(SampleAt(pcm, 80), strike[0]);
  EXPECT_EQ(SampleAt(pcm, 99), strike[19]);  // cut at the end of the sound
  MixStrikes(nullptr, 10, strike, {0}, 1.0);
  Bytes empty;
  MixStrikes(empty.data(), 0, strike, {0}, 1.0);
}

TEST(Voiceless, SilenceAsLongAsThePhraseWithStrikesAtTheOnsets) {
  const StrikeSamples strike = TestStrike();
  for (int nTempo : {50, 100, 150}) {
    const Onsets onsets = TableOnsetSamples(2, nTempo);
    const Bytes pcm = MakeVoicelessPhrase(2, nTempo, onsets, strike, 1.0);
    // 2200 ms of characters and 200 ms after them, at the tempo.
    const std::int64_t nExpected = MsToSample(nTempo == 50 ? 4800 : nTempo == 150 ? 1600 : 2400);
    EXPECT_EQ(static_cast<std::int64_t>(pcm.size() / 2), nExpected) << nTempo;
    EXPECT_EQ(StrikeStarts(Bytes(pcm.size(), 0), pcm), onsets) << nTempo;
  }
  const Bytes silent = MakeVoicelessPhrase(2, 100, TableOnsetSamples(2, 100), {}, 1.0);
  EXPECT_EQ(silent, Bytes(MsToSample(2400) * 2, 0));
  EXPECT_TRUE(MakeVoicelessPhrase(54, 100, {}, strike, 1.0).empty());
}

TEST(Voiceless, TheLastStrikeRingsOut) {
  const StrikeSamples longStrike = TestStrike(8000);
  const Onsets onsets = TableOnsetSamples(4, 150);
  const Bytes pcm = MakeVoicelessPhrase(4, 150, onsets, longStrike, 1.0);
  EXPECT_EQ(static_cast<std::int64_t>(pcm.size() / 2), onsets.back() + 8000);
}

TEST(Voiceless, TheSettingsReplaceTheVoice) {
  CTempleInstruments instruments;
  instruments.SetMokugyo(TestStrike());
  Bytes pcm = Constant(50, 999);  // whatever was loaded
  instruments.PreparePhrase(&pcm, 2, 150, {}, WithMokugyo(MokugyoOff, 0));
  EXPECT_EQ(pcm, Bytes(MsToSample(1600) * 2, 0));
  instruments.PreparePhrase(&pcm, 2, 150, {}, WithMokugyo(MokugyoEveryChar, 0));
  EXPECT_EQ(StrikeStarts(Bytes(pcm.size(), 0), pcm), TableOnsetSamples(2, 150));
  Bytes loaded = Constant(50, 1);
  EXPECT_FALSE(instruments.MixIntoPhrase(loaded.data(), loaded.size(), 2, {0},
                                         WithMokugyo(MokugyoEveryChar, 0)));
}

TEST(Bell, StrikesAreSpacedAndTheLastRingsOut) {
  // Shorter than the spacing, so that each strike's start shows.
  const StrikeSamples strike = TestStrike(20000);
  const std::int64_t nSpacing = MsToSample(kBellSpacingMs);
  for (int n : {1, 2, 3}) {
    const Bytes pcm = MakeBellStrikes(strike, n);
    ASSERT_EQ(static_cast<std::int64_t>(pcm.size() / 2), (n - 1) * nSpacing + 20000) << n;
    Onsets expected;
    for (int k = 0; k < n; ++k) expected.push_back(k * nSpacing);
    EXPECT_EQ(StrikeStarts(Bytes(pcm.size(), 0), pcm), expected) << n;
  }
  EXPECT_TRUE(MakeBellStrikes(strike, 0).empty());
  EXPECT_TRUE(MakeBellStrikes({}, 2).empty());
}

TEST(ShippedInstruments, LoadAndBeginWithTheirAttack) {
  CTempleInstruments instruments;
  instruments.Load(std::string(SOLVARI_SOURCE_DIR) + "/data/");
  ASSERT_TRUE(instruments.HasMokugyo());
  ASSERT_TRUE(instruments.HasBell());
  StrikeSamples mokugyo;
  ASSERT_TRUE(LoadStrikeFile(std::string(SOLVARI_SOURCE_DIR) + "/data/Mokugyo.SGM", &mokugyo));
  // A knock: loud within its first 5 ms, over within half a second.
  std::size_t nPeakAt = 0;
  for (std::size_t i = 0; i < mokugyo.size(); ++i)
    if (std::abs(mokugyo[i]) > std::abs(mokugyo[nPeakAt])) nPeakAt = i;
  EXPECT_LT(nPeakAt, MsToSample(5) + 0u);
  EXPECT_LT(mokugyo.size(), MsToSample(500) + 0u);
  // Mixed in at full scale at the loudest step it stays below clipping on silence.
  EXPECT_LT(std::abs(mokugyo[nPeakAt]) * MokugyoGain(MokugyoLoud), 32767.0);
  const Bytes twoThree = instruments.Bell(3);
  EXPECT_GT(twoThree.size(), instruments.Bell(1).size());
}

TEST(ShippedInstruments, DamagedStrikeFilesAreRefused) {
  const std::string dir = ::testing::TempDir() + "solvari-strikes/";
  std::filesystem::create_directories(dir);
  // A length that the file cannot hold, and a "strike" of a minute.
  const Bytes cut{0x10, 0x00, 0x00, 0x00, 0x01, 0x02};
  std::ofstream(dir + "Mokugyo.SGM", std::ios::binary)
      .write(reinterpret_cast<const char*>(cut.data()), static_cast<std::streamsize>(cut.size()));
  const Bytes minute(60 * 22050, 0x11);
  ASSERT_TRUE(WriteVoiceSegment(dir + "Bell.SGM", minute.data(),
                                static_cast<std::uint32_t>(minute.size())));
  CTempleInstruments instruments;
  instruments.Load(dir);
  EXPECT_FALSE(instruments.HasMokugyo());
  EXPECT_FALSE(instruments.HasBell());
  std::filesystem::remove_all(dir);
}

TEST(ShippedInstruments, MissingFilesLeaveTheInstrumentsSilent) {
  CTempleInstruments instruments;
  instruments.Load("/nonexistent/solvari/");
  EXPECT_FALSE(instruments.HasMokugyo());
  EXPECT_FALSE(instruments.HasBell());
  EXPECT_TRUE(instruments.Bell(2).empty());
  const Bytes voice = Constant(20000, 7);
  Bytes mixed = voice;
  instruments.PreparePhrase(&mixed, 1, 100, TableOnsetSamples(1, 100),
                            WithMokugyo(MokugyoEveryChar));
  EXPECT_EQ(mixed, voice);
}

TEST(ShippedInstruments, OnlyWhatIsChosenIsReadAndAStrikeGivenIsKept) {
  const std::string dir = std::string(SOLVARI_SOURCE_DIR) + "/data/";
  CTempleInstruments instruments;
  instruments.LoadWanted(dir, false, false);
  EXPECT_FALSE(instruments.HasMokugyo());
  EXPECT_FALSE(instruments.HasBell());
  instruments.LoadWanted(dir, true, false);
  EXPECT_TRUE(instruments.HasMokugyo());
  EXPECT_FALSE(instruments.HasBell());
  // A bell given (as a test gives one) is not replaced by the file.
  instruments.SetBell(StrikeSamples(10, 1000));
  instruments.LoadWanted(dir, true, true);
  EXPECT_EQ(instruments.Bell(1).size(), 20u);
}

}  // namespace
}  // namespace solvari
