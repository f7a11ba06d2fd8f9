// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/voice_segment_path.h"

#include <cstdio>

#include "core/exe_directory.h"

namespace solvari {

std::string GetVoiceSegmentPath(int nPhrase) {
  char name[32];
  std::snprintf(name, sizeof name, "V%2.2d.SGM", nPhrase);
  return GetExeDirectory() + name;
}

}  // namespace solvari
