// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual clock on its own. The engine on it, pressed by the autopilot, is in the
// station's, the check's and the recorder's tests (every button once, each phase and
// press on time).
#include <gtest/gtest.h>

#include "engine/virtual_clock.h"

namespace {

TEST(Unattended, ClockStallsWhenNothingCanComeAndRestartsTheTimerOnEachSetting) {
  int ticks = 0;
  engine::VirtualClock clock([&] { ++ticks; });
  EXPECT_THROW(clock.processEvents(), engine::VirtualClock::Stalled);
  clock.setTimerPeriod(100);
  clock.schedule(50, [&] { clock.setTimerPeriod(100); });  // restarts the count at 50
  clock.processEvents();
  clock.processEvents();
  EXPECT_EQ(clock.now(), 150);
  EXPECT_EQ(ticks, 1);
  clock.setTimerEnabled(false);
  EXPECT_THROW(clock.processEvents(), engine::VirtualClock::Stalled);
}

}  // namespace
