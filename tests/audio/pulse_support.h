// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for playing through the real devices into the test server's null
// sink and looking at what its monitor captured (see tools/with-pulse.sh).
#pragma once

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "audio/wave_device.h"

namespace solvari::test {

// The user-interface thread of a test: what the devices post waits here
// until the test's thread pumps it.
class CPostQueue : public IEventPoster {
 public:
  void Post(std::function<void()> fn) override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_queue.push_back(std::move(fn));
    }
    m_wake.notify_one();
  }
  // Runs what has been posted; waits up to nWaitMs for something first.
  void RunPosted(int nWaitMs) {
    std::deque<std::function<void()>> ready;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait_for(lock, std::chrono::milliseconds(nWaitMs),
                      [this] { return !m_queue.empty(); });
      ready.swap(m_queue);
    }
    for (auto& fn : ready) fn();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_queue;
};

// The one queue of a test program.
inline CPostQueue& Poster() {
  static CPostQueue queue;
  return queue;
}

inline constexpr int kCaptureRate = 44100;

inline std::string CapturePath() {
  const char* p = std::getenv("SOLVARI_CAPTURE");
  return p ? p : "";
}

inline std::uintmax_t CaptureSize() {
  std::error_code ec;
  const auto n = std::filesystem::file_size(CapturePath(), ec);
  return ec ? 0 : n & ~std::uintmax_t{1};
}

// The captured samples from byte offset nFrom to the end.
inline std::vector<std::int16_t> ReadCapture(std::uintmax_t nFrom) {
  std::vector<std::int16_t> samples;
  std::FILE* f = std::fopen(CapturePath().c_str(), "rb");
  if (!f) return samples;
  std::fseek(f, static_cast<long>(nFrom), SEEK_SET);
  std::int16_t buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 2, 4096, f)) > 0) samples.insert(samples.end(), buf, buf + n);
  std::fclose(f);
  return samples;
}

// Milliseconds since construction or the last Start.
class CStopwatch {
 public:
  CStopwatch() { Start(); }
  void Start() { m_t0 = std::chrono::steady_clock::now(); }
  double Ms() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_t0)
        .count();
  }

 private:
  std::chrono::steady_clock::time_point m_t0;
};

// Runs what the devices post until done() or nTimeoutMs; returns done().
inline bool PumpUntil(const std::function<bool()>& done, int nTimeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
  while (!done() && std::chrono::steady_clock::now() < deadline) Poster().RunPosted(1);
  return done();
}

inline void PumpFor(int nMs) {
  PumpUntil([] { return false; }, nMs);
}

// Stretches of sound: [first, last] sample indices (inclusive) where the
// level goes above nThreshold, split wherever it stays below it for longer
// than nGapSamples.
struct Span {
  std::size_t first, last;
};
inline std::vector<Span> SoundSpans(const std::vector<std::int16_t>& s, int nThreshold,
                                    std::size_t nGapSamples) {
  std::vector<Span> spans;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (std::abs(static_cast<int>(s[i])) <= nThreshold) continue;
    if (!spans.empty() && i - spans.back().last <= nGapSamples) {
      spans.back().last = i;
    } else {
      spans.push_back({i, i});
    }
  }
  return spans;
}

inline int Peak(const std::vector<std::int16_t>& s) {
  int peak = 0;
  for (std::int16_t v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak;
}

// A tone of nMs milliseconds at 11025 Hz, 16-bit mono, loud from the first
// to the last sample.
inline std::vector<std::uint8_t> MakeTone(int nMs, double dHz = 440.0) {
  const int n = 11025 * nMs / 1000;
  std::vector<std::uint8_t> pcm(static_cast<std::size_t>(n) * 2);
  for (int i = 0; i < n; ++i) {
    const auto v = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * dHz * i / 11025.0));
    pcm[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
    pcm[2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  }
  return pcm;
}

}  // namespace solvari::test
