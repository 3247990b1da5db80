// SPDX-License-Identifier: GPL-3.0-or-later
// The station's sequence on a virtual clock: programmes in list order, items pressed
// by the autopilot, faults survived, jumps followed, programmes that keep faulting left out.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "engine/station.h"
#include "engine/virtual_clock.h"
#include "fake_world.h"

namespace {

using kivo_test::FakeWorld;

struct StopStation {};

// The fake stage and a host that records what the windows would show.
struct OnAir : engine::StationHost {
  OnAir() : clock([this] { world.events.timerTick(); }), station(world.state, world, world.sound, clock, world.input, *this) {
    world.pictures = {{"r.bmp", {15, 15}}, {"t.bmp", {15, 15}}};
    platform::trace::setClock([this] { return clock.now(); });
  }
  void autoSpeakOn() override { world.autoMode = true; }
  void playOpening() override {
    if (onOpening) onOpening();
  }
  QStringList programmes() override { return list; }
  void showList(const QString& coming) override { listed << coming; }
  void hideList() override {}
  void press(int index) override {
    world.events.buttonClicked(index, world.buttonCaption[index]);
    if (afterPress) afterPress(world.buttonCaption[index]);
  }
  // The trace events that start with `prefix`.
  QStringList events(const QString& prefix) const {
    return world.traceEvents().filter(QRegularExpression("^" + QRegularExpression::escape(prefix)));
  }

  FakeWorld world;
  engine::VirtualClock clock;
  engine::Station station;
  QStringList list, listed;
  std::function<void()> onOpening;
  std::function<void(const QString&)> afterPress;
};

QStringList scenario(const QString& title, const QStringList& pre, const QStringList& menu, const QStringList& items) {
  return QStringList{"1," + title, "[pictureinit]", "ミカ=r.bmp,t.bmp", "[pre]"} + pre + QStringList{"[menu]"} + menu + items +
         QStringList{"[ＥＮＤ]", "ミカ：またね", "[EOF]"};
}

const QStringList kItems{"[A]", "ミカ：あい", "[B]", "ミカ：びい", "ミカ　コロンなし", "ミカ：見えない", "[C]", "ミカ：しい"};

TEST(Station, PlaysEveryProgrammeInOrderThroughFaultsInItemsAndPre) {
  kivo_test::ScenarioDir dir;
  // Line 17 is the faulty one in [B].
  dir.write("KIVO.001", scenario("一", {"ミカ：はい"}, {"ＥＮＤ", "A", "", "B", "C", "A"}, kItems));
  dir.write("KIVO.002", scenario("二", {"ミカ：にい", "@VIEW nothing.bmp", "ミカ：見えない"}, {"A", "ＥＮＤ"}, kItems));
  dir.write("KIVO.003", scenario("三", {"ミカ：さん"}, {"C", "A"}, kItems));
  OnAir on;
  on.list = {"KIVO.001", "KIVO.002", "KIVO.003"};
  testing::internal::CaptureStderr();
  on.station.run(true);
  const std::string err = testing::internal::GetCapturedStderr();

  EXPECT_EQ(on.listed, on.list);
  EXPECT_EQ(on.events("broadcast "), (QStringList{"broadcast \"KIVO.001\" 1", "broadcast \"KIVO.002\" 1", "broadcast \"KIVO.003\" 1"}));
  // Empties skipped, each button once in button order, "ＥＮＤ" last; 002's items never
  // come after its "[pre]" faulted; 003 has no "ＥＮＤ" and is left when all are played.
  EXPECT_EQ(on.events("chosen "), (QStringList{"chosen \"A\"", "chosen \"B\"", "chosen \"C\"", "chosen \"A\"",
                                               "chosen \"ＥＮＤ\"", "chosen \"C\"", "chosen \"A\""}));
  EXPECT_EQ(on.events("caption \"またね\"").size(), 1);
  EXPECT_TRUE(on.events("caption \"見えない\"").isEmpty());
  EXPECT_EQ(on.events("caption \"しい\"").size(), 2);
  EXPECT_EQ(on.events("error ").size(), 2);
  EXPECT_NE(err.find("File: KIVO.001\nLine 17: ミカ　コロンなし"), std::string::npos) << err;
  EXPECT_NE(err.find("File: KIVO.002"), std::string::npos) << err;
  EXPECT_FALSE(on.world.shown);
  EXPECT_FALSE(on.world.anyButtonVisible());
}

TEST(Station, AfterAJumpOrAViewersPressThePressesGoOnAndEachProgrammeStartsInAutomaticMode) {
  kivo_test::ScenarioDir dir;
  dir.write("KIVO.001", scenario("一", {"ミカ：はい"}, {"A", "B", "C", "ＥＮＤ"},
                                 {"[A]", "ミカ：あい", "ミカ：飛ばされる", "[B]", "ミカ：びい", "[C]", "ミカ：しい"}));
  OnAir on;
  on.list = {"KIVO.001", "KIVO.001"};
  // A jump while "[A]" talks; then the viewer presses C on the next menu before the station
  // does. At "ＥＮＤ" the viewer switches automatic mode off and releases the closing line
  // by a key; the next programme switches it on again.
  bool first = true;
  on.afterPress = [&](const QString& caption) {
    if (!first) return;
    if (caption == "A") {
      on.clock.schedule(300, [&on] { on.world.events.jumpToMenu(); });
      on.clock.schedule(800, [&on] { on.world.events.buttonClicked(2, "C"); });
    } else if (caption == "ＥＮＤ") {
      first = false;
      on.world.autoMode = false;
      on.clock.schedule(5000, [&on] { on.world.events.keyDown(32, 0); });
    }
  };
  on.station.run(true);
  EXPECT_EQ(on.events("chosen "), (QStringList{"chosen \"A\"", "chosen \"C\"", "chosen \"B\"", "chosen \"ＥＮＤ\"",
                                               "chosen \"A\"", "chosen \"B\"", "chosen \"C\"", "chosen \"ＥＮＤ\""}));
  EXPECT_TRUE(on.world.autoMode);
  EXPECT_EQ(on.events("caption \"飛ばされる\"").size(), 1);  // only where no jump cut it
  EXPECT_EQ(on.events("caption \"またね\"").size(), 2);
}

TEST(Station, AProgrammeThatFaultsInThreeRoundsInARowIsLeftOut) {
  kivo_test::ScenarioDir dir;
  dir.write("KIVO.001", scenario("一", {"ミカ：はい"}, {"A"}, kItems));
  dir.write("KIVO.002", scenario("二", {"ミカ　はい"}, {"A"}, kItems));
  OnAir on;
  on.list = {"KIVO.001", "KIVO.002"};
  on.onOpening = [&on] {
    if (on.station.round() == 5) throw StopStation{};
  };
  testing::internal::CaptureStderr();
  EXPECT_THROW(on.station.run(false), StopStation);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(on.events("broadcast \"KIVO.002\"").size(), 3);
  EXPECT_EQ(on.events("broadcast \"KIVO.001\"").size(), 4);
  EXPECT_EQ(on.events("skip "), QStringList{"skip \"KIVO.002\""});
  EXPECT_EQ(on.events("state Opening").size(), 5);
  EXPECT_NE(err.find("kivo: KIVO.002 is left out"), std::string::npos) << err;
  EXPECT_EQ(err.find("KIVO.002 is left out"), err.rfind("KIVO.002 is left out"));

  // With nothing left to play the station stops before another opening; an empty list
  // stopping before the first is in e2e_modes.
  OnAir faulty;
  faulty.list = {"KIVO.002"};
  testing::internal::CaptureStderr();
  EXPECT_THROW(faulty.station.run(false), engine::Station::NothingToBroadcast);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(faulty.events("state Opening").size(), 3);
}

}  // namespace
