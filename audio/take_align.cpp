// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/take_align.h"

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <optional>

#include "audio/voice_take.h"
#include "core/sutra_tables.h"

namespace solvari {
namespace {

constexpr int kRate = 11025;
constexpr std::size_t kHop = 110;  // 10 ms
constexpr std::size_t kWindow = 256;
constexpr std::size_t kBins = kWindow / 2 + 1;
constexpr int kBands = 20;
constexpr double kLowHz = 100;
constexpr double kHighHz = 3800;  // the shipped voice holds nothing above
constexpr int kCeps = 12;         // c1 .. c12; the level is kept apart
constexpr double kLevelWeight = 1.0;
constexpr double kRiseWeight = 2.0;
// What leaving a take frame unmatched costs, at the take's full level and
// fully tonal (silence and hiss cost nothing), in units of the mean distance.
constexpr double kSkipCost = 2.0;
// A spectrum this flat (geometric over arithmetic mean) or flatter is hiss.
constexpr double kHissFlatness = 0.4;
// Noise subtraction: how much of each bin's floor is taken away, and the
// share of a bin that is always left.
constexpr double kNoiseOver = 2.0;
constexpr double kNoiseKeep = 0.05;
// The take's spectrum is read through filters moved by these factors, one
// alignment each, and the cheapest one is kept: a higher or lower voice
// (another speaker, a child) has its formants higher or lower.
constexpr std::array<double, 7> kVoiceWarps = {0.76, 0.84, 0.92, 1.0, 1.09, 1.19, 1.31};
constexpr std::size_t kNoWarp = 3;

// The real-input transform of one window. Plans are made once (the planner
// is not safe to call from two threads) and executed on each caller's own
// arrays, which FFTW allows from any thread.
class Transform {
 public:
  Transform() {
    float* pIn = fftwf_alloc_real(kWindow);
    fftwf_complex* pOut = fftwf_alloc_complex(kBins);
    m_plan = fftwf_plan_dft_r2c_1d(static_cast<int>(kWindow), pIn, pOut, FFTW_ESTIMATE);
    fftwf_free(pIn);
    fftwf_free(pOut);
  }
  Transform(const Transform&) = delete;
  Transform& operator=(const Transform&) = delete;
  ~Transform() { fftwf_destroy_plan(m_plan); }

  static const Transform& Get() {
    static const Transform transform;
    return transform;
  }
  void Run(float* pIn, fftwf_complex* pOut) const { fftwf_execute_dft_r2c(m_plan, pIn, pOut); }

 private:
  fftwf_plan m_plan = nullptr;
};

struct FftwDeleter {
  void operator()(void* p) const { fftwf_free(p); }
};

// The fixed tables of the features: the mel filters over the bins (moved by
// a voice warp factor) and the cosine transform of the band levels.
struct FeatureTables {
  std::array<std::array<float, kBins>, kBands> filters{};
  std::array<std::size_t, kBands> first{}, end{};  // the bins each filter covers
  std::array<std::array<float, kBands>, kCeps> dct{};

  explicit FeatureTables(double dWarp) {
    auto mel = [](double hz) { return 2595.0 * std::log10(1.0 + hz / 700.0); };
    auto hz = [](double m) { return 700.0 * (std::pow(10.0, m / 2595.0) - 1.0); };
    std::array<double, kBands + 2> edges{};
    for (int b = 0; b < kBands + 2; ++b)
      edges[b] = std::min(
          kRate / 2.0, dWarp * hz(mel(kLowHz) + (mel(kHighHz) - mel(kLowHz)) * b / (kBands + 1)));
    for (int b = 0; b < kBands; ++b) {
      for (std::size_t k = 0; k < kBins; ++k) {
        const double f = static_cast<double>(k) * kRate / kWindow;
        double w = 0;
        if (f > edges[b] && f <= edges[b + 1]) {
          w = (f - edges[b]) / (edges[b + 1] - edges[b]);
        } else if (f > edges[b + 1] && f < edges[b + 2]) {
          w = (edges[b + 2] - f) / (edges[b + 2] - edges[b + 1]);
        }
        filters[b][k] = static_cast<float>(w);
      }
      first[b] = kBins;
      for (std::size_t k = 0; k < kBins; ++k) {
        if (filters[b][k] == 0) continue;
        first[b] = std::min(first[b], k);
        end[b] = k + 1;
      }
      if (first[b] == kBins) first[b] = end[b] = 0;
    }
    for (int c = 0; c < kCeps; ++c)
      for (int b = 0; b < kBands; ++b)
        dct[c][b] = static_cast<float>(std::cos(std::numbers::pi * (c + 1) * (b + 0.5) / kBands) *
                                       std::sqrt(2.0 / kBands));
  }
  static const FeatureTables& Get(std::size_t nWarp) {
    static const auto tables = [] {
      std::vector<std::unique_ptr<FeatureTables>> v;
      for (double d : kVoiceWarps) v.push_back(std::make_unique<FeatureTables>(d));
      return v;
    }();
    return *tables[nWarp];
  }
};

// The features of a recording, one row per 10 ms frame: the level between
// the recording's floor and its loudest frame, its slope, how tonal the frame
// is, and the cepstrum with its mean over the louder frames taken away (so
// that a voice of another colour or another microphone lands near the
// shipped one).
struct Features {
  std::size_t nFrames = 0;
  std::vector<float> level;
  std::vector<float> ceps;    // nFrames * kCeps
  std::vector<float> rise;    // the level's slope over +-2 frames
  std::vector<float> voiced;  // 1 for a tone (voice), 0 for a hiss (a breath, noise)
  const float* Ceps(std::size_t i) const { return ceps.data() + i * kCeps; }
};

const std::array<float, kWindow>& Window() {
  static const auto window = [] {
    std::array<float, kWindow> w{};
    for (std::size_t i = 0; i < kWindow; ++i)
      w[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / kWindow));
    return w;
  }();
  return window;
}

// The power spectra of frames every nHop samples, kBins per frame.
std::vector<float> Spectra(const std::int16_t* p, std::size_t n, std::size_t nHop = kHop) {
  const Transform& transform = Transform::Get();
  const std::array<float, kWindow>& window = Window();
  const std::size_t nFrames = (n + nHop - 1) / nHop;
  std::vector<float> power(nFrames * kBins);
  std::unique_ptr<float, FftwDeleter> in(fftwf_alloc_real(kWindow));
  std::unique_ptr<fftwf_complex, FftwDeleter> out(fftwf_alloc_complex(kBins));
  for (std::size_t j = 0; j < nFrames; ++j) {
    const std::size_t nFrom = j * nHop;
    for (std::size_t i = 0; i < kWindow; ++i)
      in.get()[i] = nFrom + i < n ? p[nFrom + i] * window[i] : 0.0f;
    transform.Run(in.get(), out.get());
    float* pPower = power.data() + j * kBins;
    for (std::size_t k = 0; k < kBins; ++k)
      pPower[k] = out.get()[k][0] * out.get()[k][0] + out.get()[k][1] * out.get()[k][1];
  }
  return power;
}

// Takes a steady noise out of the spectra: each bin's level in the quieter
// frames (its 10th percentile over time) is subtracted, leaving at least a
// small share of what was there.
void SubtractNoise(std::vector<float>* pPower) {
  std::vector<float>& power = *pPower;
  const std::size_t nFrames = power.size() / kBins;
  if (nFrames < 10) return;
  std::vector<float> column(nFrames);
  for (std::size_t k = 0; k < kBins; ++k) {
    for (std::size_t j = 0; j < nFrames; ++j) column[j] = power[j * kBins + k];
    std::nth_element(column.begin(), column.begin() + static_cast<std::ptrdiff_t>(nFrames / 10),
                     column.end());
    const float fNoise = static_cast<float>(kNoiseOver) * column[nFrames / 10];
    for (std::size_t j = 0; j < nFrames; ++j) {
      float& v = power[j * kBins + k];
      v = std::max(v - fNoise, static_cast<float>(kNoiseKeep) * v);
    }
  }
}

Features ComputeFeatures(const std::vector<float>& power, const FeatureTables& t) {
  Features f;
  f.nFrames = power.size() / kBins;
  if (f.nFrames == 0) return f;
  std::vector<float> bands(f.nFrames * kBands);
  for (std::size_t j = 0; j < f.nFrames; ++j) {
    const float* pPower = power.data() + j * kBins;
    for (int b = 0; b < kBands; ++b) {
      float e = 0;
      for (std::size_t k = t.first[b]; k < t.end[b]; ++k) e += t.filters[b][k] * pPower[k];
      bands[j * kBands + b] = e;
    }
  }
  // How tonal each frame is: one minus the flatness of its spectrum over the
  // voice's range (the geometric over the arithmetic mean of the power).
  f.voiced.resize(f.nFrames);
  {
    const auto kFrom = static_cast<std::size_t>(kLowHz * kWindow / kRate);
    const auto kTo = static_cast<std::size_t>(kHighHz * kWindow / kRate);
    for (std::size_t j = 0; j < f.nFrames; ++j) {
      const float* pPower = power.data() + j * kBins;
      double dLog = 0, dSum = 0;
      for (std::size_t k = kFrom; k < kTo; ++k) {
        dLog += std::log(pPower[k] + 1e-3);
        dSum += pPower[k] + 1e-3;
      }
      const double n = static_cast<double>(kTo - kFrom);
      const double dFlat = std::exp(dLog / n) / (dSum / n);
      f.voiced[j] = static_cast<float>(std::clamp(1.0 - dFlat / kHissFlatness, 0.0, 1.0));
    }
  }
  // Band energies in log10, floored 60 dB under the loudest band anywhere.
  float fMax = 0;
  for (float e : bands) fMax = std::max(fMax, e);
  const float fFloor = std::max(fMax * 1e-6f, 1e-3f);
  for (float& e : bands) e = std::log10(std::max(e, fFloor));

  // The level from 0 (the recording's own floor: silence, or the noise
  // under the voice) to 1 (its loudest frame).
  f.level.resize(f.nFrames);
  for (std::size_t j = 0; j < f.nFrames; ++j) {
    float s = 0;
    for (int b = 0; b < kBands; ++b) s += bands[j * kBands + b];
    f.level[j] = s / kBands;
  }
  std::vector<float> sorted = f.level;
  std::sort(sorted.begin(), sorted.end());
  const float fLow = sorted[sorted.size() / 10];
  const float fTop = sorted.back();
  const float fSpan = std::max(fTop - fLow, 0.5f);
  for (float& v : f.level) v = std::clamp((v - fLow) / fSpan, 0.0f, 1.0f);

  f.rise.assign(f.nFrames, 0.0f);
  for (std::size_t j = 0; j < f.nFrames; ++j) {
    const std::size_t a = j < 2 ? 0 : j - 2, b = std::min(f.nFrames - 1, j + 2);
    f.rise[j] = f.level[b] - f.level[a];
  }
  f.ceps.assign(f.nFrames * kCeps, 0.0f);
  std::array<double, kCeps> mean{};
  std::size_t nVoiced = 0;
  for (std::size_t j = 0; j < f.nFrames; ++j) {
    float* c = f.ceps.data() + j * kCeps;
    for (int k = 0; k < kCeps; ++k) {
      float s = 0;
      for (int b = 0; b < kBands; ++b) s += t.dct[k][b] * bands[j * kBands + b];
      c[k] = s;
    }
    if (f.level[j] > 0.5f) {
      ++nVoiced;
      for (int k = 0; k < kCeps; ++k) mean[k] += c[k];
    }
  }
  if (nVoiced) {
    for (std::size_t j = 0; j < f.nFrames; ++j)
      for (int k = 0; k < kCeps; ++k)
        f.ceps[j * kCeps + k] -= static_cast<float>(mean[k] / nVoiced);
  }
  return f;
}

float Distance(const Features& a, std::size_t i, const Features& b, std::size_t j) {
  const float* x = a.Ceps(i);
  const float* y = b.Ceps(j);
  float s = 0;
  for (int k = 0; k < kCeps; ++k) s += (x[k] - y[k]) * (x[k] - y[k]);
  return std::sqrt(s) + static_cast<float>(kLevelWeight) * std::abs(a.level[i] - b.level[j]) +
         static_cast<float>(kRiseWeight) * std::abs(a.rise[i] - b.rise[j]);
}

struct Path {
  // Per shipped frame: the take frame paired with it that is most alike (a
  // run of take frames on one shipped frame is a pause or a slower stretch;
  // the shipped onset is the one of them where the take's syllable starts).
  std::vector<std::size_t> takeFrame;
  double dCostRatio = 1;
};

// The steps of the warping's path that pass a shipped frame with the take
// standing: for the onsets at most kMaxShippedOnRun in a row, so that one
// take frame stands for at most three shipped ones (the take three times as
// fast there); for judging the pairing, any number (kAnyRun).
constexpr std::uint8_t kShippedOn = 3;
constexpr std::uint8_t kMaxShippedOnRun = 2;
constexpr std::uint8_t kAnyRun = 250;

// Dynamic time warping of the take's frames (rows) against the shipped
// phrase's (columns) with the symmetric steps: both one frame on (counted
// twice), the take one frame on (the take is slower there), the shipped one
// on (the take is faster; at most nMaxRun in a row). A take frame may also
// be passed over at what leaving it out costs, so that a pause (silence,
// hiss) goes in anywhere almost free. The take may start and end anywhere,
// paying for the take frames left before and after (a breath, a late start,
// noise cost little); every shipped frame is passed. The cells lie within a
// band around the line from the take's voice start to its end.
bool Warp(const Features& ref, const Features& take, std::size_t nTakeFirst, std::size_t nTakeEnd,
          std::size_t nRefEnd, std::uint8_t nMaxRun, Path* pPath) {
  const std::size_t n = ref.nFrames, m = take.nFrames;
  if (n < 2 || m < 2 || nTakeEnd <= nTakeFirst) return false;
  const double dSlope = static_cast<double>(std::max<std::size_t>(1, nRefEnd)) /
                        static_cast<double>(nTakeEnd - nTakeFirst);
  const double dHalf = std::max(40.0, 0.6 * static_cast<double>(nRefEnd));
  std::vector<std::size_t> lo(m), hi(m);
  for (std::size_t j = 0; j < m; ++j) {
    const double c = dSlope * (static_cast<double>(j) - static_cast<double>(nTakeFirst));
    lo[j] = static_cast<std::size_t>(std::clamp(c - dHalf, 0.0, static_cast<double>(n - 1)));
    hi[j] = static_cast<std::size_t>(std::clamp(c + dHalf, 0.0, static_cast<double>(n - 1)));
  }
  std::vector<std::size_t> offset(m + 1, 0);
  for (std::size_t j = 0; j < m; ++j) offset[j + 1] = offset[j] + (hi[j] - lo[j] + 1);
  constexpr float kInf = std::numeric_limits<float>::infinity();
  std::vector<float> cost(offset[m], kInf);
  std::vector<float> dist(offset[m]);
  // 0 start, 1 both on, 2 take on, kShippedOn + n: the n+1-th shipped frame
  // in a row on one take frame.
  std::vector<std::uint8_t> from(offset[m], 0);
  auto at = [&](std::size_t j, std::size_t i) {
    return i >= lo[j] && i <= hi[j] ? cost[offset[j] + (i - lo[j])] : kInf;
  };
  double dAll = 0;
  for (std::size_t j = 0; j < m; ++j) {
    for (std::size_t i = lo[j]; i <= hi[j]; ++i) {
      const float d = Distance(ref, i, take, j);
      dist[offset[j] + (i - lo[j])] = d;
      dAll += d;
    }
  }
  const double dMeanAll = dAll / static_cast<double>(offset[m]);
  // Take frames left before the start or after the end cost their level.
  std::vector<double> skipped(m + 1, 0.0);
  for (std::size_t j = 0; j < m; ++j)
    skipped[j + 1] = skipped[j] + kSkipCost * dMeanAll * take.level[j] * take.voiced[j];
  for (std::size_t j = 0; j < m; ++j) {
    for (std::size_t i = lo[j]; i <= hi[j]; ++i) {
      const std::size_t k = offset[j] + (i - lo[j]);
      const float d = dist[k];
      // A start costs the take frames left before it; a diagonal step counts
      // its distance twice, as one step along each recording.
      float best = i == 0 ? static_cast<float>(skipped[j]) + d : kInf;
      std::uint8_t how = 0;
      if (j > 0 && i > 0 && at(j - 1, i - 1) + 2 * d < best) {
        best = at(j - 1, i - 1) + 2 * d;
        how = 1;
      }
      // A take frame may also be passed over at what leaving it out costs:
      // a pause (silence, the noise floor) goes in anywhere almost free.
      const float fStayCost = std::min(d, static_cast<float>(skipped[j + 1] - skipped[j]));
      if (j > 0 && at(j - 1, i) + fStayCost < best) {
        best = at(j - 1, i) + fStayCost;
        how = 2;
      }
      // The shipped voice may pass on while the take stays on one frame, but
      // only for a few frames: a syllable of the shipped phrase is not passed
      // over in the blink of one take frame (in a noisy take the path would
      // otherwise jump a whole character where the noise looks alike).
      const int nRun = i > lo[j] && from[k - 1] >= kShippedOn ? from[k - 1] - kShippedOn + 1 : 0;
      if (i > lo[j] && nRun < nMaxRun && cost[k - 1] + d < best) {
        best = cost[k - 1] + d;
        how = static_cast<std::uint8_t>(kShippedOn + nRun);
      }
      cost[k] = best;
      from[k] = how;
    }
  }
  // The end: the last shipped frame, with what the take has after it.
  std::size_t j = m;
  double dBest = std::numeric_limits<double>::infinity();
  for (std::size_t c = 0; c < m; ++c) {
    const double dEnd = at(c, n - 1) + (skipped[m] - skipped[c + 1]);
    if (dEnd < dBest) {
      dBest = dEnd;
      j = c;
    }
  }
  if (j == m || !std::isfinite(dBest)) return false;

  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  pPath->takeFrame.assign(n, kNone);
  std::vector<float> bestDist(n, kInf);
  double dPath = 0;
  std::size_t nSteps = 0;
  std::size_t i = n - 1;
  for (;;) {
    const std::size_t k = offset[j] + (i - lo[j]);
    dPath += dist[k];
    ++nSteps;
    if (dist[k] <= bestDist[i]) {
      bestDist[i] = dist[k];
      pPath->takeFrame[i] = j;
    }
    const std::uint8_t how = from[k];
    if (how == 0) break;
    if (how < kShippedOn) --j;
    if (how != 2) --i;
  }
  if (i != 0) return false;
  // A shipped frame passed over takes the take frame of the next one.
  for (std::size_t r = n - 1; r-- > 0;)
    if (pPath->takeFrame[r] == kNone) pPath->takeFrame[r] = pPath->takeFrame[r + 1];
  pPath->dCostRatio = dMeanAll > 0 ? (dPath / static_cast<double>(nSteps)) / dMeanAll : 1.0;
  return true;
}

// The take's level in dB every kEnvHop samples, over kEnvWindow samples.
constexpr std::size_t kEnvHop = 28;  // 2.5 ms
constexpr std::size_t kEnvWindow = 110;
std::vector<float> FineLevel(const std::int16_t* p, std::size_t n) {
  std::vector<float> env;
  env.reserve(n / kEnvHop + 1);
  for (std::size_t t = 0; t < n; t += kEnvHop) {
    double s = 0;
    const std::size_t nEnd = std::min(n, t + kEnvWindow);
    for (std::size_t i = t; i < nEnd; ++i) s += static_cast<double>(p[i]) * p[i];
    env.push_back(static_cast<float>(10 * std::log10(1.0 + s / kEnvWindow)));
  }
  return env;
}

// The take's loudest level over its floor, in dB.
float LevelSpanDb(const std::vector<float>& env) {
  if (env.empty()) return 0;
  std::vector<float> sorted = env;
  std::sort(sorted.begin(), sorted.end());
  return sorted[sorted.size() * 99 / 100] - sorted[sorted.size() / 10];
}

// A take this far over its floor is clean enough to tell its voice from dead
// air by level and tone; in a noisy one the voice's frames look no better.
constexpr float kCleanSpanDb = 30.0f;
constexpr float kVoiceLike = 0.25f;  // level times tone of a voiced frame
constexpr long kDeadAirFrames = 20;  // 200 ms: longer than a voiceless consonant

// An onset that the warping put on dead air (silence, a breath, hiss) well
// before its character's voice moves to where that voice begins: the first
// of three voiced frames before the next onset.
void SkipDeadAir(const Features& take, std::vector<int>* pOnsets) {
  std::vector<int>& v = *pOnsets;
  const auto nFrames = static_cast<long>(take.nFrames);
  const auto frameOf = [](int ms) {
    return static_cast<long>(ms) * kRate / 1000 / static_cast<long>(kHop);
  };
  const auto voiced = [&](long j) {
    return j >= 0 && j < nFrames &&
           take.level[static_cast<std::size_t>(j)] * take.voiced[static_cast<std::size_t>(j)] >=
               kVoiceLike;
  };
  for (std::size_t c = 0; c < v.size(); ++c) {
    const long jFrom = frameOf(v[c]);
    const long jTo = c + 1 < v.size() ? frameOf(v[c + 1]) : nFrames;
    long j = jFrom;
    while (j < jTo && !(voiced(j) && voiced(j + 1) && voiced(j + 2))) ++j;
    if (j < jTo && j - jFrom >= kDeadAirFrames)
      v[c] = static_cast<int>(j * static_cast<long>(kHop) * 1000 / kRate);
  }
}

// Moves an onset found by the warping to the nearest clear rise of the
// take's level, within kRefineMs and never past the middle towards the
// onsets on either side. The rise at t: the mean level over the 20 ms after
// t against the 20 ms before; a rise 10 dB stronger may lie 100 ms further;
// beyond kNearMs only a rise out of silence. A rise counts for no more than
// kRiseCap times the least clear one: out of true silence every rise is
// huge (a stop's burst after its closure as much as a syllable's start), and
// among rises that clear the nearer is the onset. Where the take has no
// clear rise there (a chant without breaks, a noisy take) the warping's
// onset stays.
constexpr int kRefineMs = 250;
constexpr int kNearMs = 60;
constexpr float kQuietDb = 10.0f;          // silence: this close to the floor
constexpr float kQuietBelowTopDb = 30.0f;  // and this far under the voice
constexpr float kMinRiseDb = 6.0f;
constexpr float kMaxRiseDb = 15.0f;
constexpr float kRiseShare = 0.5f;
constexpr float kRiseDbPerMs = 0.1f;
constexpr float kRiseCap = 2.0f;
void Refine(const std::vector<float>& env, std::vector<int>* pOnsets) {
  std::vector<int>& v = *pOnsets;
  if (env.empty()) return;
  const std::vector<int> found = v;
  auto index = [](int ms) {
    return static_cast<long>(std::lround(ms * (kRate / 1000.0) / kEnvHop));
  };
  const long nSide = index(20);
  const long nEnv = static_cast<long>(env.size());
  std::vector<float> prefix(env.size() + 1, 0.0f);
  for (std::size_t t = 0; t < env.size(); ++t) prefix[t + 1] = prefix[t] + env[t];
  // A rise counts when it is a good part of the way from the take's floor
  // (silence, or the noise under the voice) to its voice.
  std::vector<float> sorted = env;
  std::sort(sorted.begin(), sorted.end());
  const float fFloor = sorted[sorted.size() / 10];
  const float fTop = sorted[sorted.size() * 99 / 100];
  const float fSpan = fTop - fFloor;
  const float fQuiet = std::min(fFloor + kQuietDb, fTop - kQuietBelowTopDb);
  const float fMinRise = std::clamp(kRiseShare * fSpan, kMinRiseDb, kMaxRiseDb);
  auto mean = [&](long a, long b) { return (prefix[b] - prefix[a]) / static_cast<float>(b - a); };
  for (std::size_t c = 0; c < v.size(); ++c) {
    int nLo = found[c] - kRefineMs, nHi = found[c] + kRefineMs;
    if (c > 0) nLo = std::max(nLo, (found[c - 1] + found[c]) / 2);
    if (c + 1 < v.size()) nHi = std::min(nHi, (found[c] + found[c + 1]) / 2);
    float fBest = -std::numeric_limits<float>::infinity();
    long nBest = -1;
    for (long t = std::max(index(nLo), nSide); t <= std::min(index(nHi), nEnv - nSide); ++t) {
      const float fRise = mean(t, t + nSide) - mean(t - nSide, t);
      if (fRise < fMinRise) continue;
      const double dMs = static_cast<double>(t) * kEnvHop * 1000.0 / kRate;
      // Far from the warping's onset only a rise out of silence (or out of
      // the noise floor) counts: within a syllable a vowel after a soft
      // consonant rises too.
      if (std::abs(dMs - found[c]) > kNearMs && mean(t - nSide, t) > fQuiet) continue;
      const float fScore = std::min(fRise, kRiseCap * fMinRise) -
                           kRiseDbPerMs * static_cast<float>(std::abs(dMs - found[c]));
      if (fScore > fBest) {
        fBest = fScore;
        nBest = t;
      }
    }
    if (nBest >= 0) v[c] = static_cast<int>(std::lround(nBest * kEnvHop * 1000.0 / kRate));
  }
}

// Makes the onsets strictly increasing with at least kMinCharMs between
// them and the last one kMinCharMs before the end; false when the take is
// too short for that.
bool Space(std::vector<int>* pOnsets, int nTakeMs) {
  std::vector<int>& v = *pOnsets;
  if (v.empty()) return true;
  if (static_cast<long long>(v.size()) * kMinCharMs > nTakeMs) return false;
  v[0] = std::max(v[0], 0);
  for (std::size_t c = 1; c < v.size(); ++c) v[c] = std::max(v[c], v[c - 1] + kMinCharMs);
  v.back() = std::min(v.back(), nTakeMs - kMinCharMs);
  for (std::size_t c = v.size() - 1; c-- > 0;) v[c] = std::min(v[c], v[c + 1] - kMinCharMs);
  return v[0] >= 0;
}

TakeOnsets Scaled(std::size_t nTake, int nPhrase, AlignFailure failure) {
  TakeOnsets result;
  result.onsetsMs = ScaledOnsets(nTake, nPhrase);
  result.bFellBack = true;
  result.failure = failure;
  return result;
}

}  // namespace

TakeOnsets AlignTake(const std::int16_t* pTake, std::size_t nTake, const std::int16_t* pShipped,
                     std::size_t nShipped, int nPhrase) {
  if (nPhrase < 0 || nPhrase > kLastPhrase) {
    TakeOnsets none;
    none.bFellBack = true;
    none.failure = AlignFailure::kBadPhrase;
    return none;
  }
  if (!pTake) nTake = 0;
  if (!pShipped) nShipped = 0;
  const long long nTakeMs = static_cast<long long>(nTake) * 1000 / kRate;
  if (nTakeMs > kMaxAlignTakeMs ||
      nTakeMs > static_cast<long long>(kMaxTakeOverTable) * GetPhraseDuration(nPhrase))
    return Scaled(nTake, nPhrase, AlignFailure::kTooLong);
  VoicedSpan takeSpan, refSpan;
  if (!FindVoicedSpan(pTake, nTake, &takeSpan))
    return Scaled(nTake, nPhrase, AlignFailure::kNoVoice);
  if (nShipped > static_cast<std::size_t>(kMaxAlignTakeMs) * kRate / 1000 ||
      !FindVoicedSpan(pShipped, nShipped, &refSpan))
    return Scaled(nTake, nPhrase, AlignFailure::kNoReference);

  const Features ref = ComputeFeatures(Spectra(pShipped, nShipped), FeatureTables::Get(kNoWarp));
  std::vector<float> takeSpectra = Spectra(pTake, nTake);
  SubtractNoise(&takeSpectra);
  // The voice warp: from none, towards the cheaper neighbour while the cost
  // falls (the cost over the warps has one valley for a voice).
  std::array<std::optional<Path>, kVoiceWarps.size()> tried;
  auto tryWarp = [&](std::size_t w) -> double {
    if (!tried[w]) {
      Path p;
      if (Warp(ref, ComputeFeatures(takeSpectra, FeatureTables::Get(w)), takeSpan.nFirst / kHop,
               takeSpan.nEnd / kHop, refSpan.nEnd / kHop, kAnyRun, &p))
        tried[w] = std::move(p);
      else
        tried[w] = Path{{}, std::numeric_limits<double>::infinity()};
    }
    return tried[w]->dCostRatio;
  };
  std::size_t w = kNoWarp;
  double dBest = tryWarp(w);
  for (;;) {
    const double dLower = w > 0 ? tryWarp(w - 1) : std::numeric_limits<double>::infinity();
    const double dHigher =
        w + 1 < kVoiceWarps.size() ? tryWarp(w + 1) : std::numeric_limits<double>::infinity();
    if (dLower < dBest && dLower <= dHigher) {
      --w;
      dBest = dLower;
    } else if (dHigher < dBest) {
      ++w;
      dBest = dHigher;
    } else {
      break;
    }
  }
  const bool bFound = std::isfinite(dBest);
  Path path = bFound ? std::move(*tried[w]) : Path{};
  if (!bFound) return Scaled(nTake, nPhrase, AlignFailure::kPoorMatch);
  if (path.dCostRatio > kMaxAlignCostRatio) {
    TakeOnsets result = Scaled(nTake, nPhrase, AlignFailure::kPoorMatch);
    result.dCostRatio = path.dCostRatio;
    return result;
  }

  TakeOnsets result;
  result.dCostRatio = path.dCostRatio;
  // The onsets come from the warping that may not pass over a syllable in
  // one take frame. Its cost is not the one judged above: held to that pace,
  // a noisy take of the phrase pairs its frames no better than a take of
  // other words does, while the free warping still tells them apart.
  Path limited;
  if (Warp(ref, ComputeFeatures(takeSpectra, FeatureTables::Get(w)), takeSpan.nFirst / kHop,
           takeSpan.nEnd / kHop, refSpan.nEnd / kHop, kMaxShippedOnRun, &limited))
    path = std::move(limited);
  int nAt = 0;
  for (int c = 0; c < GetPhraseCharCount(nPhrase); ++c) {
    const std::size_t nRow = std::min<std::size_t>(
        ref.nFrames - 1, static_cast<std::size_t>(std::lround(nAt * (kRate / 1000.0) / kHop)));
    const std::size_t j = path.takeFrame[nRow];
    result.onsetsMs.push_back(static_cast<int>(j * kHop * 1000 / kRate));
    nAt += GetCharDuration(nPhrase, c);
  }
  const std::vector<float> env = FineLevel(pTake, nTake);
  if (LevelSpanDb(env) >= kCleanSpanDb)
    SkipDeadAir(ComputeFeatures(takeSpectra, FeatureTables::Get(w)), &result.onsetsMs);
  Refine(env, &result.onsetsMs);
  if (!Space(&result.onsetsMs, static_cast<int>(nTakeMs))) {
    TakeOnsets scaled = Scaled(nTake, nPhrase, AlignFailure::kTooShort);
    scaled.dCostRatio = path.dCostRatio;
    return scaled;
  }
  return result;
}

}  // namespace solvari
