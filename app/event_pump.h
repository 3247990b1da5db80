// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QCoreApplication>
#include <QEventLoop>

#include "engine/ports.h"

namespace app {

// One pass of the Qt event loop for the engine's waits: handles what is pending and,
// when nothing is, sleeps until something arrives (a timer tick, input, a repaint).
class QtEventPump : public engine::EventPump {
 public:
  void processEvents() override { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }
};

}  // namespace app
