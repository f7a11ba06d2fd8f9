// SPDX-License-Identifier: GPL-3.0-or-later
// Timestamped events for measurements and the end-to-end tests. When the
// environment variable SOLVARI_TRACE names a file, every event is appended to
// it as one line: milliseconds since the process started, the event name and
// its numbers, e.g. "1234.5 highlight 3 2". Without it nothing is written.
#pragma once

#include <initializer_list>

#include "core/trace_sink.h"

namespace solvari::app {

class CTrace {
 public:
  // Opens the file named by SOLVARI_TRACE (once); call early in main.
  static void Init();
  static bool Enabled();
  static void Event(const char* pszName, std::initializer_list<long> numbers = {});
  // The same with a text after the numbers, to the end of the line (UTF-8; a
  // line break in it is written as a space).
  static void EventText(const char* pszName, std::initializer_list<long> numbers,
                        const char* pszText);
  // Resident set size of the process in KiB (0 when unknown).
  static long ResidentKiB();
  // Processor time the process has used so far, in ms (0 when unknown).
  static long CpuMs();
};

// The trace as the recitation reports to it.
class CTraceSink : public ITraceSink {
 public:
  void Event(const char* pszName, std::initializer_list<long> numbers = {}) override {
    CTrace::Event(pszName, numbers);
  }
  long ResidentKiB() override { return CTrace::ResidentKiB(); }
};

}  // namespace solvari::app
