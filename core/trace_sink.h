// SPDX-License-Identifier: GPL-3.0-or-later
// Where the recitation reports what it does, for measurements and the
// end-to-end tests (the program writes a timestamped line per event when
// asked to; tests may record them). Nothing depends on it being there.
#pragma once

#include <initializer_list>

namespace solvari {

class ITraceSink {
 public:
  virtual ~ITraceSink() = default;
  virtual void Event(const char* pszName, std::initializer_list<long> numbers = {}) = 0;
  // The process's resident memory in KiB, 0 when unknown.
  virtual long ResidentKiB() { return 0; }
};

}  // namespace solvari
