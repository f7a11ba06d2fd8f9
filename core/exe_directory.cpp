// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exe_directory.h"

#include <utility>

namespace solvari {
namespace {
std::string& ExeDirectory() {
  static std::string dir;
  return dir;
}
}  // namespace

const std::string& GetExeDirectory() { return ExeDirectory(); }

void SetExeDirectory(std::string dir) {
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
  ExeDirectory() = std::move(dir);
}

}  // namespace solvari
