// SPDX-License-Identifier: GPL-3.0-or-later
// A fake timer service on a simulated clock, for the tests that need
// nothing more of the platform (the recitation's own tests run on the whole
// simulated platform of tests/core/sim_platform.h).
#pragma once

#include <algorithm>
#include <functional>
#include <map>

#include "core/sequencer_platform.h"

namespace solvari::test {

// Timers on a simulated clock: Advance moves it and fires what falls due, in
// order of due time, calling the handler with the program's ids.
class CFakeTimers : public ITimerService {
 public:
  std::function<void(unsigned)> handler;

  void SetTimer(unsigned nIDEvent, unsigned nElapse) override {
    m_pending[nIDEvent] = {m_nNow + nElapse, nElapse};
  }
  void KillTimer(unsigned nIDEvent) override { m_pending.erase(nIDEvent); }
  bool IsPending(unsigned nIDEvent) const { return m_pending.count(nIDEvent) != 0; }
  long Now() const { return m_nNow; }

  void Advance(long nMs) {
    const long nEnd = m_nNow + nMs;
    for (;;) {
      unsigned nNext = 0;
      long nDue = nEnd + 1;
      for (const auto& [nId, t] : m_pending)
        if (t.nDue < nDue) nDue = t.nDue, nNext = nId;
      if (nDue > nEnd) break;
      m_nNow = nDue;
      // Like a window timer it stays armed until killed.
      m_pending[nNext].nDue = nDue + std::max<long>(1, m_pending[nNext].nInterval);
      if (handler) handler(nNext);
    }
    m_nNow = nEnd;
  }

 private:
  struct Timer {
    long nDue;
    long nInterval;
  };
  std::map<unsigned, Timer> m_pending;
  long m_nNow = 0;
};

}  // namespace solvari::test
