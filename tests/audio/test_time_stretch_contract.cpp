// SPDX-License-Identifier: GPL-3.0-or-later
// What every time stretch of the program promises, built once against each
// engine (Rubber Band natively, WSOLA for the browser): lengths at every
// tempo, the pitch kept, 100 % untouched, awkward input, cancelling.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <numeric>
#include <vector>

#include "audio/time_stretch.h"
#include "stretch_signals.h"

namespace solvari {
namespace {

using test::Fundamental;
using test::kRate;
using test::Rms;
using test::Tone;

TEST(TimeStretch, LengthScalesAndPitchStaysAtEveryTempo) {
  const std::vector<std::int16_t> tone = Tone(180.0, 2.0);
  const double f0 = Fundamental(tone);
  ASSERT_NEAR(f0, 180.0, 1.0);
  for (int tempo : kTempoChoices) {
    std::vector<std::int16_t> out;
    ASSERT_TRUE(StretchPcm16(tone.data(), tone.size(), kRate, tempo, out)) << tempo;
    const double expected = static_cast<double>(tone.size()) * 100.0 / tempo;
    EXPECT_NEAR(static_cast<double>(out.size()), expected, expected * 0.01) << tempo;
    EXPECT_NEAR(Fundamental(out), f0, f0 * 0.03) << tempo;
    // Not silence, nor a sound much louder than the input.
    EXPECT_GT(Rms(out), Rms(tone) * 0.5) << tempo;
    EXPECT_LT(Rms(out), Rms(tone) * 1.5) << tempo;
  }
}

TEST(TimeStretch, HundredPercentIsTheInputSampleForSample) {
  const std::vector<std::int16_t> tone = Tone(233.0, 0.7);
  std::vector<std::int16_t> out{1, 2, 3};
  ASSERT_TRUE(StretchPcm16(tone.data(), tone.size(), kRate, 100, out));
  EXPECT_EQ(out, tone);

  // The bytes of a voice, an odd last byte included.
  std::vector<std::uint8_t> bytes(1001);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{7});
  std::vector<std::uint8_t> outBytes;
  ASSERT_TRUE(StretchVoiceBytes(bytes.data(), bytes.size(), kRate, 100, outBytes));
  EXPECT_EQ(outBytes, bytes);
}

TEST(TimeStretch, AwkwardInput) {
  std::vector<std::int16_t> out{9};
  // Nothing at all.
  EXPECT_TRUE(StretchPcm16(nullptr, 0, kRate, 50, out));
  EXPECT_TRUE(out.empty());
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(StretchVoiceBytes(nullptr, 0, kRate, 150, bytes));
  EXPECT_TRUE(bytes.empty());
  // A single byte is no sample: nothing comes out, nothing is read past it.
  const std::uint8_t one = 0x55;
  EXPECT_TRUE(StretchVoiceBytes(&one, 1, kRate, 75, bytes));
  EXPECT_TRUE(bytes.empty());
  // A handful of samples, and an odd byte count: whole samples only.
  std::vector<std::uint8_t> few(21, 0x10);
  ASSERT_TRUE(StretchVoiceBytes(few.data(), few.size(), kRate, 50, bytes));
  EXPECT_EQ(bytes.size() % 2, 0u);
  EXPECT_LE(bytes.size(), 2 * 2 * 10u + 64);
  // Full-scale square wave: clipped, not wrapped around.
  std::vector<std::int16_t> square(4000);
  for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 30) % 2 ? 32767 : -32768;
  ASSERT_TRUE(StretchPcm16(square.data(), square.size(), kRate, 125, out));
  EXPECT_FALSE(out.empty());
  // Tempos outside the range and a rate of 0 are refused.
  for (int tempo : {0, -100, 24, 401}) {
    EXPECT_FALSE(StretchPcm16(square.data(), square.size(), kRate, tempo, out)) << tempo;
    EXPECT_TRUE(out.empty());
  }
  EXPECT_FALSE(StretchPcm16(square.data(), square.size(), 0, 50, out));
  EXPECT_FALSE(StretchPcm16(nullptr, 10, kRate, 50, out));
}

TEST(TimeStretch, CancelStopsBetweenBlocks) {
  const std::vector<std::int16_t> tone = Tone(200.0, 1.0);
  std::atomic<bool> cancel{true};
  std::vector<std::int16_t> out;
  EXPECT_FALSE(StretchPcm16(tone.data(), tone.size(), kRate, 50, out, &cancel));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace solvari
