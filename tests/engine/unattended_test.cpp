// Unattended play: the virtual clock as the engine's pump and the autopilot's presses.
// The station's tests cover faults survived and a menu without "ＥＮＤ".
#include <gtest/gtest.h>

#include "engine/autopilot.h"
#include "engine/virtual_clock.h"
#include "fake_world.h"

namespace {

// The fake stage behind a tap, driven by a virtual clock and pressed by the autopilot.
struct Unattended {
  Unattended() : tap(world), clock([this] { world.events.timerTick(); }), engine(world.state, tap, world.sound, clock, world.input) {
    world.autoMode = true;
    tap.clock = &clock;
    platform::trace::setClock([this] { return clock.now(); });
    tap.onMenuOpened = [this] {
      clock.schedule(engine::Autopilot::kPressDelayMs, [this] {
        if (auto i = pilot.nextPress(tap.buttonCaptions(), tap.buttonsVisible()))
          world.events.buttonClicked(*i, tap.buttonCaptions()[*i]);
        else
          world.state.leaveRequested = true;
      });
    };
  }
  QStringList chosen() const {
    QStringList out;
    for (const QString& e : world.traceEvents())
      if (e.startsWith("chosen ")) out << e.mid(7);
    return out;
  }
  kivo_test::FakeWorld world;
  engine::StageTap tap;
  engine::VirtualClock clock;
  engine::Engine engine;
  engine::Autopilot pilot;
};

TEST(Unattended, PressesEachItemOnceInButtonOrderEndLastEveryPhaseOnTime) {
  kivo_test::ScenarioDir dir;
  dir.write("KIVO.001", {"1,t", "[pictureinit]", "ミカ=r.bmp,t.bmp", "[pre]", "ミカ：はい", "[menu]", "ＥＮＤ", "B", "",
                         "A", "B", "[A]", "ミカ：あい", "[B]", "ミカ：びい", "ミカ：見えない", "[C]", "ミカ：しい",
                         "[ＥＮＤ]", "ミカ：またね", "[EOF]"});
  Unattended u;
  u.world.pictures = {{"r.bmp", {15, 15}}, {"t.bmp", {15, 15}}};
  u.world.state.scenarioPath = "KIVO.001";
  u.engine.runProgramme();
  EXPECT_EQ(u.chosen(), (QStringList{"\"B\"", "\"A\"", "\"B\"", "\"ＥＮＤ\""}));
  // A line of n characters talks n\3 + 1 cycles of 80 + 120 ms, then pauses 500 ms; each
  // press comes 1.5 s after its menu opened (the station's test times each press).
  const double two = 200 + 500, four = 400 + 500;
  EXPECT_DOUBLE_EQ(u.clock.now(), two + (two + four) + two + (two + four) + four + 4 * 1500);
  EXPECT_FALSE(u.world.shown);
}

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
