// SPDX-License-Identifier: GPL-3.0-or-later
// The time stretch of the browser build (WSOLA), beyond what both engines
// share: the pitch of a voiced tone kept closely, no clicks where its frames
// meet, no reads outside the input whatever its length and rate, and the
// shipped voice at every tempo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/time_stretch.h"
#include "audio/voice_segment.h"
#include "stretch_signals.h"

namespace solvari {
namespace {

using test::Fundamental;
using test::kPi;
using test::kRate;
using test::Tone;

// The largest step from one sample to the next.
int MaxJump(const std::vector<std::int16_t>& v) {
  int n = 0;
  for (std::size_t i = 1; i < v.size(); ++i) n = std::max(n, std::abs(v[i] - v[i - 1]));
  return n;
}

std::size_t Expected(std::size_t nSamples, int nTempo) {
  return (nSamples * 100 + static_cast<std::size_t>(nTempo) / 2) / static_cast<std::size_t>(nTempo);
}

// A chanted vowel that wavers: 5 Hz vibrato of +-10 Hz around dHz and a
// swelling loudness, the way a held syllable moves.
std::vector<std::int16_t> Chant(double dHz, double dSeconds) {
  const auto n = static_cast<std::size_t>(dSeconds * kRate);
  std::vector<std::int16_t> v(n);
  double phase = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    phase += 2 * kPi * (dHz + 10 * std::sin(2 * kPi * 5 * t)) / kRate;
    const double level = 0.6 + 0.4 * std::sin(2 * kPi * 0.7 * t);
    const double s = 0.5 * std::sin(phase) + 0.25 * std::sin(2 * phase) + 0.1 * std::sin(3 * phase);
    v[i] = static_cast<std::int16_t>(std::lround(s * level * 30000));
  }
  return v;
}

TEST(WsolaStretch, AVoicedToneKeepsItsPitchAndLastsAsTheTempoSays) {
  for (const double dHz : {110.0, 190.0}) {
    const std::vector<std::int16_t> tone = Tone(dHz, 2.0);
    ASSERT_NEAR(Fundamental(tone), dHz, 0.25);
    for (const int tempo : {25, 50, 75, 125, 150, 400}) {
      SCOPED_TRACE(std::to_string(dHz) + " Hz at " + std::to_string(tempo));
      std::vector<std::int16_t> out;
      ASSERT_TRUE(StretchPcm16(tone.data(), tone.size(), kRate, tempo, out));
      EXPECT_EQ(out.size(), Expected(tone.size(), tempo));
      EXPECT_NEAR(Fundamental(out), dHz, dHz * 0.02);
      // Frames overlapping in step: no more than the tone's own steepest step.
      EXPECT_LE(MaxJump(out), MaxJump(tone) * 102 / 100);
    }
  }
}

TEST(WsolaStretch, AWaveringChantIsJoinedWithoutClicks) {
  const std::vector<std::int16_t> chant = Chant(150.0, 2.5);
  for (const int tempo : kTempoChoices) {
    std::vector<std::int16_t> out;
    ASSERT_TRUE(StretchPcm16(chant.data(), chant.size(), kRate, tempo, out)) << tempo;
    EXPECT_EQ(out.size(), Expected(chant.size(), tempo)) << tempo;
    EXPECT_LE(MaxJump(out), MaxJump(chant) * 11 / 10) << tempo;
  }
}

TEST(WsolaStretch, AnyLengthAndRateStaysInsideTheInput) {
  // Around a frame (30 ms: 330 samples at 11025 Hz) and its search (12 ms).
  const std::vector<std::int16_t> tone = Tone(190.0, 0.2);
  for (const std::uint32_t rate : {1u, 100u, 8000u, kRate, 48000u}) {
    for (const std::size_t n :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{50}, std::size_t{329},
          std::size_t{330}, std::size_t{331}, std::size_t{600}, tone.size()}) {
      for (const int tempo : {kMinTempo, 50, 99, 101, 150, kMaxTempo}) {
        // Its own copy, so that a read past the end is one past the block.
        const std::vector<std::int16_t> in(tone.begin(),
                                           tone.begin() + static_cast<std::ptrdiff_t>(n));
        std::vector<std::int16_t> out;
        ASSERT_TRUE(StretchPcm16(in.data(), in.size(), rate, tempo, out));
        EXPECT_EQ(out.size(), Expected(n, tempo)) << rate << " Hz, " << n << " at " << tempo;
        // Nothing louder than the input: the windows add up to one.
        int nPeak = 0;
        for (const std::int16_t s : in) nPeak = std::max(nPeak, std::abs(s));
        for (const std::int16_t s : out) ASSERT_LE(std::abs(s), nPeak);
      }
    }
  }
}

TEST(WsolaStretch, TheShippedVoiceKeepsItsLengthAtEveryTempo) {
  std::vector<std::uint8_t> voice;
  ASSERT_TRUE(ReadVoiceSegmentFile(std::string(SOLVARI_SOURCE_DIR) + "/data/V05.SGM", &voice));
  ASSERT_GT(voice.size(), 2 * kRate / 2);  // a phrase, not a click
  for (const int tempo : kTempoChoices) {
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(StretchVoiceBytes(voice.data(), voice.size(), kRate, tempo, out)) << tempo;
    const double expected = static_cast<double>(voice.size()) * 100.0 / tempo;
    EXPECT_NEAR(static_cast<double>(out.size()), expected, expected * 0.01) << tempo;
    EXPECT_EQ(out.size() % 2, 0u);
  }
}

}  // namespace
}  // namespace solvari
