// SPDX-License-Identifier: GPL-3.0-or-later
// The sounds the time stretch's tests feed it, and what they measure of the
// result.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace solvari::test {

inline constexpr std::uint32_t kRate = 11025;
inline constexpr double kPi = 3.14159265358979323846;

// A steady vowel-like tone: a fundamental with two weaker harmonics.
inline std::vector<std::int16_t> Tone(double dHz, double dSeconds) {
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
inline double Fundamental(const std::vector<std::int16_t>& v) {
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

inline double Rms(const std::vector<std::int16_t>& v) {
  if (v.empty()) return 0;
  double sum = 0;
  for (std::int16_t s : v) sum += static_cast<double>(s) * s;
  return std::sqrt(sum / static_cast<double>(v.size()));
}

}  // namespace solvari::test
