// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace solvari {

// Full path of the voice file of phrase nPhrase: the executable's directory
// followed by "V%2.2d.SGM" (V00.SGM ... V53.SGM). Built anew on every call;
// the path has no length limit.
std::string GetVoiceSegmentPath(int nPhrase);

}  // namespace solvari
