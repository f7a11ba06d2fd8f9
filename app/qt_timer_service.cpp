// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_timer_service.h"

#include <QTimerEvent>

namespace solvari::app {

CQtTimerService::CQtTimerService(Handler handler, QObject* pParent)
    : QObject(pParent), m_handler(std::move(handler)) {}

CQtTimerService::~CQtTimerService() { KillAll(); }

void CQtTimerService::SetTimer(unsigned nIDEvent, unsigned nElapse) {
  KillTimer(nIDEvent);
  // Precise timers: the character steps follow the durations as given.
  const int nQtId = startTimer(static_cast<int>(nElapse), Qt::PreciseTimer);
  if (nQtId != 0) m_timers[nIDEvent] = nQtId;
}

void CQtTimerService::KillTimer(unsigned nIDEvent) {
  auto it = m_timers.find(nIDEvent);
  if (it == m_timers.end()) return;
  QObject::killTimer(it->second);
  m_timers.erase(it);
}

void CQtTimerService::KillAll() {
  for (const auto& [nId, nQtId] : m_timers) QObject::killTimer(nQtId);
  m_timers.clear();
}

void CQtTimerService::timerEvent(QTimerEvent* pEvent) {
  for (const auto& [nId, nQtId] : m_timers) {
    if (nQtId == pEvent->timerId()) {
      const unsigned nIDEvent = nId;  // the handler may change the map
      if (m_handler) m_handler(nIDEvent);
      return;
    }
  }
  QObject::timerEvent(pEvent);
}

}  // namespace solvari::app
