// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace solvari {

// The running executable's directory with a trailing separator; every data
// file is looked up there. The program sets it once at start-up; until then it
// is empty (the current directory).
const std::string& GetExeDirectory();
void SetExeDirectory(std::string dir);

}  // namespace solvari
