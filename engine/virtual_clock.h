// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An event pump on virtual time, for the modes that play a programme without a viewer
// and without real waits (checking, recording). Each pass jumps to the next due moment
// (a tick of the stage timer or a scheduled action) and delivers what is due then, so a
// programme runs as fast as the machine allows while every phase keeps its length.
#include <functional>
#include <map>
#include <stdexcept>

#include "engine/ports.h"

namespace engine {

class VirtualClock : public EventPump, public Scheduler {
 public:
  // The engine waits for something that can never come (nothing scheduled, the timer
  // stopped): on a real screen it would wait for the viewer for ever.
  struct Stalled : std::runtime_error {
    Stalled() : std::runtime_error("nothing left to wait for") {}
  };

  // `tick` is the stage timer's handler (StageEvents::timerTick for the real rules).
  explicit VirtualClock(std::function<void()> tick) : tick_(std::move(tick)) {}

  double now() const { return now_; }
  // Runs `action` `delayMs` after now, before a timer tick due at the same moment.
  // Returns an id for cancel().
  long schedule(double delayMs, std::function<void()> action) override;
  void cancel(long id) override;

  // The stage timer as the stage port sets it: a period of 0 or a disabled timer never
  // ticks; setting a period or enabling restarts the count from the full period.
  void setTimerPeriod(int ms);
  void setTimerEnabled(bool enabled);

  // Called with the new time just before the clock moves forward, while the world still
  // shows what it showed since the previous move (a recorder draws frames here).
  std::function<void(double to)> beforeAdvance;

  void processEvents() override;

 private:
  void restartTimer();

  std::function<void()> tick_;
  std::multimap<double, std::pair<long, std::function<void()>>> scheduled_;
  long nextId_ = 1;
  double now_ = 0;
  double nextTick_ = -1;
  int period_ = 0;
  bool enabled_ = true;
};

}  // namespace engine
