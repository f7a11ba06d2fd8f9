// SPDX-License-Identifier: GPL-3.0-or-later
// The time stretch: lengths at every tempo, the pitch kept, 100 % untouched,
// awkward input; and the stretches made ahead on the worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numeric>
#include <thread>
#include <vector>

#include "audio/stretch_ahead.h"
#include "audio/time_stretch.h"
#include "audio/voice_segment.h"

namespace solvari {
namespace {

constexpr std::uint32_t kRate = 11025;
constexpr double kPi = 3.14159265358979323846;

// A steady vowel-like tone: a fundamental with two weaker harmonics.
std::vector<std::int16_t> Tone(double dHz, double dSeconds) {
  const auto n = static_cast<std::size_t>(dSeconds * kRate);
  std::vector<std::int16_t> v(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double s = 0.5 * std::sin(2 * kPi * dHz * t) + 0.2 * std::sin(2 * kPi * 2 * dHz * t) +
                     0.1 * std::sin(2 * kPi * 3 * dHz * t);
    v[i] = static_cast<std::int16_t>(std::lround(s * 20000));
  }
  return v;
}

// The fundamental of the middle half of a sound: the strongest component
// between 60 and 400 Hz of its Hann-windowed spectrum, in 0.25 Hz steps (the
// tones here have their fundamental as their strongest component).
double Fundamental(const std::vector<std::int16_t>& v) {
  const std::size_t from = v.size() / 4;
  const std::size_t len = v.size() / 2;
  std::vector<double> x(len);
  for (std::size_t i = 0; i < len; ++i)
    x[i] = v[from + i] * (0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / (len - 1)));
  double best = 0;
  double bestPower = -1;
  for (double f = 60; f <= 400; f += 0.25) {
    // Goertzel's recurrence for one frequency.
    const double w = 2 * kPi * f / kRate;
    const double c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (double xi : x) {
      const double s0 = xi + c * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    if (power > bestPower) {
      bestPower = power;
      best = f;
    }
  }
  return best;
}

double Rms(const std::vector<std::int16_t>& v) {
  if (v.empty()) return 0;
  double sum = 0;
  for (std::int16_t s : v) sum += static_cast<double>(s) * s;
  return std::sqrt(sum / static_cast<double>(v.size()));
}

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

TEST(TimeStretch, TempoChoicesAndDurations) {
  for (int t : {50, 75, 100, 125, 150}) {
    EXPECT_TRUE(IsTempoChoice(t));
    EXPECT_EQ(ValidTempoChoice(t), t);
  }
  for (int t : {0, 1, 49, 51, 99, 101, 200, -75}) {
    EXPECT_FALSE(IsTempoChoice(t));
    EXPECT_EQ(ValidTempoChoice(t), 100) << t;
  }
  EXPECT_EQ(ScaleDurationMs(300, 100), 300);
  EXPECT_EQ(ScaleDurationMs(300, 50), 600);
  EXPECT_EQ(ScaleDurationMs(300, 75), 400);
  EXPECT_EQ(ScaleDurationMs(300, 150), 200);
  EXPECT_EQ(ScaleDurationMs(500, 125), 400);
  EXPECT_EQ(ScaleDurationMs(400, 150), 267);  // rounded to the nearest ms
  EXPECT_EQ(ScaleDurationMs(300, 0), 300);    // no tempo: as recorded
}

// ------------------------------------------------------------ made ahead

struct VoiceFile {
  explicit VoiceFile(const char* name, const std::vector<std::int16_t>& pcm)
      : path((std::filesystem::temp_directory_path() / name).string()) {
    std::vector<std::uint8_t> bytes(pcm.size() * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
      bytes[2 * i] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(pcm[i]) & 0xFF);
      bytes[2 * i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(pcm[i]) >> 8);
    }
    this->bytes = bytes;
    EXPECT_TRUE(WriteVoiceSegment(path, bytes.data(), static_cast<std::uint32_t>(bytes.size())));
  }
  ~VoiceFile() { std::filesystem::remove(path); }
  std::string path;
  std::vector<std::uint8_t> bytes;
};

TEST(StretchAhead, PreparedStretchIsTakenReadyAndMatchesADirectOne) {
  VoiceFile file("solvari-stretch-a.SGM", Tone(190.0, 0.8));
  CStretchAhead ahead;
  ahead.Prepare(file.path, 75);
  ahead.WaitIdle();
  EXPECT_TRUE(ahead.IsReady(file.path, 75));
  EXPECT_FALSE(ahead.IsReady(file.path, 50));

  std::vector<std::uint8_t> out;
  EXPECT_EQ(ahead.Take(file.path, 75, file.bytes.data(), file.bytes.size(), out),
            CStretchAhead::Source::Ready);
  std::vector<std::uint8_t> direct;
  ASSERT_TRUE(StretchVoiceBytes(file.bytes.data(), file.bytes.size(), kRate, 75, direct));
  EXPECT_EQ(out, direct);
  // Taken again (a repeated phrase): still there.
  EXPECT_EQ(ahead.Take(file.path, 75, file.bytes.data(), file.bytes.size(), out),
            CStretchAhead::Source::Ready);
  EXPECT_EQ(ahead.GetStats().nReady, 2);
  EXPECT_EQ(ahead.GetStats().nSynchronous, 0);
}

TEST(StretchAhead, IdleOnlyOnceTheNewsOfEachJobIsHandedOn) {
  VoiceFile file("solvari-stretch-e.SGM", Tone(190.0, 0.2));
  CStretchAhead ahead;
  std::atomic<int> nTold{0};
  ahead.SetOnFinished([&] {
    // A poster slow to take the news: idle must still mean told.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ++nTold;
  });
  for (int tempo : {50, 150}) {
    ahead.Prepare(file.path, tempo);
    ahead.WaitIdle();
  }
  EXPECT_EQ(nTold.load(), 2);
  ahead.SetOnFinished({});
}

TEST(StretchAhead, UnpreparedOrChangedVoiceIsStretchedOnTheSpot) {
  VoiceFile file("solvari-stretch-b.SGM", Tone(210.0, 0.5));
  CStretchAhead ahead;
  std::vector<std::uint8_t> out;
  EXPECT_EQ(ahead.Take(file.path, 150, file.bytes.data(), file.bytes.size(), out),
            CStretchAhead::Source::Synchronous);
  EXPECT_NEAR(static_cast<double>(out.size()), file.bytes.size() / 1.5, file.bytes.size() * 0.01);

  // Prepared from the file, but the caller loaded other bytes (the file was
  // replaced in between): the stretch is made from what was loaded.
  ahead.Prepare(file.path, 50);
  ahead.WaitIdle();
  std::vector<std::uint8_t> other = file.bytes;
  other.resize(other.size() / 2);
  EXPECT_EQ(ahead.Take(file.path, 50, other.data(), other.size(), out),
            CStretchAhead::Source::Synchronous);
  EXPECT_NEAR(static_cast<double>(out.size()), other.size() * 2.0, other.size() * 0.02);

  // At 100 the bytes come back as they are, nothing is queued.
  ahead.Prepare(file.path, 100);
  EXPECT_FALSE(ahead.IsReady(file.path, 100));
  EXPECT_EQ(ahead.Take(file.path, 100, file.bytes.data(), file.bytes.size(), out),
            CStretchAhead::Source::Unchanged);
  EXPECT_EQ(out, file.bytes);
}

TEST(StretchAhead, MissingFilesKeepOnlyTheLastPhrasesAndStopPromptly) {
  VoiceFile file("solvari-stretch-c.SGM", Tone(170.0, 0.3));
  {
    CStretchAhead ahead(2);
    ahead.Prepare("/nonexistent/solvari/V00.SGM", 50);
    for (int tempo : {50, 75, 125, 150}) ahead.Prepare(file.path, tempo);
    ahead.WaitIdle();
    EXPECT_FALSE(ahead.IsReady("/nonexistent/solvari/V00.SGM", 50));
    int nReady = 0;
    for (int tempo : {50, 75, 125, 150}) nReady += ahead.IsReady(file.path, tempo) ? 1 : 0;
    EXPECT_EQ(nReady, 2);
    // The newest requests are the ones kept.
    EXPECT_TRUE(ahead.IsReady(file.path, 150));
    ahead.Clear();
    EXPECT_FALSE(ahead.IsReady(file.path, 150));
  }
  // Destroyed with work queued and under way: cancelled, no leak, no hang.
  VoiceFile longer("solvari-stretch-d.SGM", Tone(170.0, 4.0));
  CStretchAhead ahead;
  for (int tempo : {50, 75, 125, 150}) ahead.Prepare(longer.path, tempo);
}

}  // namespace
}  // namespace solvari
