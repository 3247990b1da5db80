// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/virtual_clock.h"

#include <algorithm>

namespace engine {

long VirtualClock::schedule(double delayMs, std::function<void()> action) {
  const long id = nextId_++;
  scheduled_.emplace(now_ + std::max(0.0, delayMs), std::make_pair(id, std::move(action)));
  return id;
}

void VirtualClock::cancel(long id) {
  for (auto it = scheduled_.begin(); it != scheduled_.end(); ++it) {
    if (it->second.first == id) {
      scheduled_.erase(it);
      return;
    }
  }
}

void VirtualClock::setTimerPeriod(int ms) {
  period_ = std::max(0, ms);
  restartTimer();
}

void VirtualClock::setTimerEnabled(bool enabled) {
  enabled_ = enabled;
  restartTimer();
}

void VirtualClock::restartTimer() { nextTick_ = (enabled_ && period_ > 0) ? now_ + period_ : -1; }

void VirtualClock::processEvents() {
  double next = nextTick_;
  if (!scheduled_.empty() && (next < 0 || scheduled_.begin()->first <= next)) next = scheduled_.begin()->first;
  if (next < 0) throw Stalled();
  if (next > now_) {
    if (beforeAdvance) beforeAdvance(next);
    now_ = next;
  }
  // Actions may schedule more; those due now still run in this pass.
  while (!scheduled_.empty() && scheduled_.begin()->first <= now_) {
    auto action = std::move(scheduled_.begin()->second.second);
    scheduled_.erase(scheduled_.begin());
    action();
  }
  if (nextTick_ >= 0 && nextTick_ <= now_) {
    nextTick_ = now_ + period_;
    tick_();
  }
}

}  // namespace engine
