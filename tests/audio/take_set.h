// SPDX-License-Identifier: GPL-3.0-or-later
// The generated takes of known onsets (tools/make_align_takes.py), read and
// scored: how far the alignment's onsets, and the even scaling's, lie from
// the known ones. Shared by the alignment test and its benchmark.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/take_align.h"
#include "audio/voice_segment.h"

namespace solvari::testing {

inline const char* const kTakeSets[] = {"warp",    "pitch",  "voice", "noise20",
                                        "noise10", "reverb", "late",  "breath"};

struct KnownTake {
  int nPhrase = 0;
  std::vector<double> knownMs;
  std::vector<std::int16_t> samples;
};

inline std::vector<std::int16_t> ReadVoiceSamples(const std::string& path) {
  std::vector<std::uint8_t> pcm;
  if (!ReadVoiceSegmentFile(path, &pcm)) return {};
  std::vector<std::int16_t> s(pcm.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8));
  return s;
}

// The takes of one set; empty when the set was not made.
inline std::vector<KnownTake> ReadTakeSet(const std::string& dir) {
  std::vector<KnownTake> takes;
  std::ifstream in(dir + "/onsets.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    KnownTake take;
    if (!(words >> take.nPhrase)) continue;
    for (double v; words >> v;) take.knownMs.push_back(v);
    char name[32];
    std::snprintf(name, sizeof name, "/V%02d.SGM", take.nPhrase);
    take.samples = ReadVoiceSamples(dir + name);
    takes.push_back(std::move(take));
  }
  return takes;
}

// The error figures of a set of onsets.
struct ErrorFigures {
  std::vector<double> errors;  // |found - known| in ms, every onset
  int nTakes = 0;
  int nFellBack = 0;
  double dWorstKept = 0;   // the worst error of the takes that were aligned
  int nBeyond150Kept = 0;  // errors over 150 ms in takes that were aligned

  double Median() const {
    if (errors.empty()) return 0;
    std::vector<double> e = errors;
    std::nth_element(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(e.size() / 2), e.end());
    return e[e.size() / 2];
  }
  double ShareWithin(double dMs) const {
    if (errors.empty()) return 0;
    return static_cast<double>(
               std::count_if(errors.begin(), errors.end(), [&](double e) { return e <= dMs; })) /
           static_cast<double>(errors.size());
  }
  double Worst() const {
    return errors.empty() ? 0 : *std::max_element(errors.begin(), errors.end());
  }
  void Add(const KnownTake& take, const std::vector<int>& found, bool bFellBack) {
    ++nTakes;
    if (bFellBack) ++nFellBack;
    for (std::size_t c = 0; c < take.knownMs.size() && c < found.size(); ++c) {
      const double e = std::abs(found[c] - take.knownMs[c]);
      errors.push_back(e);
      if (!bFellBack) dWorstKept = std::max(dWorstKept, e);
      if (!bFellBack && e > 150) ++nBeyond150Kept;
    }
  }
};

}  // namespace solvari::testing
