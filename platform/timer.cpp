// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/timer.h"

#include <algorithm>

namespace platform {
namespace {

// How soon after a tick a restart still counts from it: well above the few
// milliseconds a tick's work takes on a loaded machine, well below a mouth flap, so
// a restart after the viewer's click counts from the click.
constexpr auto kFollowsTick = std::chrono::milliseconds(20);

}  // namespace

Timer::Timer(QObject* parent) : QObject(parent) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &Timer::onTimeout);
}

void Timer::setInterval(int ms) {
  interval_ = std::max(ms, 0);
  restart();
}

void Timer::setEnabled(bool enabled) {
  enabled_ = enabled;
  restart();
}

void Timer::restart() {
  if (!enabled_ || interval_ <= 0) {
    timer_.stop();
    return;
  }
  const Clock::time_point now = Clock::now();
  const bool followsTick = lastTickDue_ && now - *lastTickDue_ <= kFollowsTick;
  due_ = (followsTick ? *lastTickDue_ : now) + std::chrono::milliseconds(interval_);
  arm();
}

void Timer::arm() {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(due_ - Clock::now());
  timer_.start(std::max(left, std::chrono::milliseconds(0)));
}

// Later ticks keep the period from the due times, not from when a tick was handled;
// ticks missed while the thread was busy are dropped, not fired in a burst.
void Timer::onTimeout() {
  lastTickDue_ = due_;
  due_ += std::chrono::milliseconds(interval_);
  const Clock::time_point now = Clock::now();
  if (due_ < now) due_ = now + std::chrono::milliseconds(interval_);
  arm();
  emit tick();
}

}  // namespace platform
