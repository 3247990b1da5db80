// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A timer that behaves like a Windows form timer: a period of 0 never ticks (a Qt
// timer with interval 0 would fire on every pass of the event loop), and setting a
// period or enabling the timer restarts the count from the full period.
//
// One difference keeps a live programme on its nominal times: a restart that closely
// follows a tick counts from when that tick was due, not from now, so the work between
// a tick and the restart it causes (drawing, the next line) does not add up, 16 mouth
// flaps a line.
#include <QObject>
#include <QTimer>
#include <chrono>
#include <optional>

namespace platform {

class Timer : public QObject {
  Q_OBJECT
 public:
  explicit Timer(QObject* parent = nullptr);

  int interval() const { return interval_; }
  bool isEnabled() const { return enabled_; }
  // Periods below 0 count as 0.
  void setInterval(int ms);
  void setEnabled(bool enabled);
  // True while ticks are due: enabled with a period above 0.
  bool isTicking() const { return timer_.isActive(); }
  // Milliseconds until the next tick; -1 while not ticking.
  int remainingTime() const { return timer_.remainingTime(); }

 signals:
  void tick();

 private:
  using Clock = std::chrono::steady_clock;
  void restart();
  void arm();
  void onTimeout();

  QTimer timer_;  // single shot, armed for due_
  int interval_ = 0;
  bool enabled_ = true;
  Clock::time_point due_;
  std::optional<Clock::time_point> lastTickDue_;
};

}  // namespace platform
