// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's window timers over Qt: ids 10, 20, 30 and 31 (or any other),
// each running until it is killed, like classic window timers. Arming a
// pending id replaces it; killing an idle id does nothing; a firing calls the
// handler with the program's own id on the user-interface thread. Qt's timer
// ids stay inside this class.
#pragma once

#include <QObject>
#include <functional>
#include <map>

#include "core/sequencer_platform.h"

namespace solvari::app {

class CQtTimerService : public QObject, public ITimerService {
 public:
  using Handler = std::function<void(unsigned nIDEvent)>;

  explicit CQtTimerService(Handler handler = {}, QObject* pParent = nullptr);
  ~CQtTimerService() override;

  void SetHandler(Handler handler) { m_handler = std::move(handler); }
  void SetTimer(unsigned nIDEvent, unsigned nElapse) override;
  void KillTimer(unsigned nIDEvent) override;
  // Kills every pending timer.
  void KillAll();
  bool IsPending(unsigned nIDEvent) const { return m_timers.count(nIDEvent) != 0; }

 protected:
  void timerEvent(QTimerEvent* pEvent) override;

 private:
  Handler m_handler;
  std::map<unsigned, int> m_timers;  // program id -> Qt timer id
};

}  // namespace solvari::app
