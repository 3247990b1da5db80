// Unattended play: the virtual clock as the engine's pump, the autopilot's presses, the
// engine going on after faults and leaving a programme that has nothing left to show.
#include <gtest/gtest.h>

#include "engine/autopilot.h"
#include "engine/virtual_clock.h"
#include "fake_world.h"

namespace {

using engine::Phase;

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

void write(kivo_test::ScenarioDir& dir, const QStringList& menu, const QString& itemB) {
  dir.write("KIVO.001", QStringList{"1,t", "[pictureinit]", "ミカ=r.bmp,t.bmp", "[pre]", "ミカ：はい", "[menu]"} + menu +
                            QStringList{"[A]", "ミカ：あい", "[B]", itemB, "ミカ：見えない", "[C]", "ミカ：しい",
                                        "[ＥＮＤ]", "ミカ：またね", "[EOF]"});
}

TEST(Unattended, PressesEachItemOnceInButtonOrderEndLastEveryPhaseOnTime) {
  kivo_test::ScenarioDir dir;
  write(dir, {"ＥＮＤ", "B", "", "A", "B"}, "ミカ：びい");
  Unattended u;
  u.world.pictures = {{"r.bmp", {15, 15}}, {"t.bmp", {15, 15}}};
  u.world.state.scenarioPath = "KIVO.001";
  u.engine.runProgramme();
  EXPECT_EQ(u.chosen(), (QStringList{"\"B\"", "\"A\"", "\"B\"", "\"ＥＮＤ\""}));
  // A line of n characters talks n\3 + 1 cycles of 80 + 120 ms, then pauses 500 ms; each
  // press comes 1.5 s after its menu opened.
  const QStringList lines = u.world.traceLines();
  double menuAt = -1;
  int presses = 0;
  for (const QString& l : lines) {
    const double t = l.section(' ', 0, 0).toDouble();
    if (l.section(' ', 1).startsWith("button ") && menuAt < 0) menuAt = t;
    if (l.section(' ', 1).startsWith("chosen ")) {
      EXPECT_DOUBLE_EQ(t - menuAt, 1500) << l.toStdString();
      menuAt = -1;
      ++presses;
    }
  }
  EXPECT_EQ(presses, 4);
  const double two = 200 + 500, four = 400 + 500;
  EXPECT_DOUBLE_EQ(u.clock.now(), two + (two + four) + two + (two + four) + four + 4 * 1500);
  EXPECT_FALSE(u.world.shown);
}

TEST(Unattended, AnItemFaultEndsThatItemAndAMenuWithoutEndIsLeftWhenAllArePlayed) {
  kivo_test::ScenarioDir dir;
  write(dir, {"A", "B", "C"}, "ミカ　コロンなし");
  Unattended u;
  u.world.pictures = {{"r.bmp", {15, 15}}, {"t.bmp", {15, 15}}};
  u.world.state.scenarioPath = "KIVO.001";
  std::vector<std::pair<int, Phase>> faults;
  u.engine.onFault = [&](const platform::RuntimeError& e, Phase p) {
    faults.emplace_back(e.place().line, p);
    return p == Phase::Item;
  };
  u.engine.runProgramme();
  EXPECT_EQ(u.chosen(), (QStringList{"\"A\"", "\"B\"", "\"C\""}));
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0], std::make_pair(13, Phase::Item));
  EXPECT_FALSE(u.world.traceEvents().contains("caption \"見えない\""));
  EXPECT_TRUE(u.world.traceEvents().contains("caption \"しい\""));
  EXPECT_FALSE(u.world.shown);
  EXPECT_FALSE(u.world.anyButtonVisible());

  // Without a policy the same fault ends the programme as it always did.
  Unattended strict;
  strict.world.pictures = u.world.pictures;
  strict.world.state.scenarioPath = "KIVO.001";
  EXPECT_THROW(strict.engine.runProgramme(), platform::RuntimeError);
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
