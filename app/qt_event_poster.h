// SPDX-License-Identifier: GPL-3.0-or-later
// Hands work from the sound threads to the user-interface thread as queued
// events. Events still queued when the poster goes are dropped.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>

#include "audio/wave_device.h"

namespace solvari::app {

class CQtEventPoster : public IEventPoster {
 public:
  void Post(std::function<void()> fn) override {
    QMetaObject::invokeMethod(&m_context, std::move(fn), Qt::QueuedConnection);
  }

 private:
  QObject m_context;  // lives on the user-interface thread
};

}  // namespace solvari::app
