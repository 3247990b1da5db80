// SPDX-License-Identifier: GPL-3.0-or-later
// The engine on a virtual clock: dialogue pacing, commands, the item menu, jumps.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>

#include "fake_world.h"

using kivo_test::FakeWorld;
using kivo_test::ScenarioDir;
using platform::RuntimeError;

namespace {

// Time stamps (ms) of the trace lines starting with `event`.
std::vector<double> times(const FakeWorld& w, const QString& event) {
  std::vector<double> out;
  for (const QString& l : w.traceLines())
    if (l.section(' ', 1).startsWith(event)) out.push_back(l.section(' ', 0, 0).toDouble());
  return out;
}

int count(const FakeWorld& w, const QString& event) { return int(times(w, event).size()); }

class EngineTest : public ::testing::Test {
 protected:
  // One programme: a cast, "[pre]" with the given lines, a menu and a few items.
  void programme(const QStringList& pre, const QStringList& menu = {"A", "B", "ＥＮＤ"}) {
    QStringList lines{"1,テスト", "[pictureinit]", "ミカ=rest.bmp,talk.bmp", "[pre]"};
    // An empty "[pre]" body would take the "[menu]" header as its first line.
    lines << (pre.isEmpty() ? QStringList{"; nothing to say"} : pre) << "[menu]" << menu;
    lines << "[A]" << "ミカ：Aです" << "ミカ：Aの二行目" << "[B]" << "ミカ：Bです";
    lines << "[ＥＮＤ]" << "ミカ：さようなら" << "[end of file]";
    dir.write("KIVO.001", lines);
    w.state.scenarioPath = "KIVO.001";
    w.pictures["rest.bmp"] = {1500, 1500};
    w.pictures["talk.bmp"] = {1500, 1500};
  }
  // Loads the cast and runs "[pre]" with the given lines, as a programme starts.
  void runPre(const QStringList& pre) {
    programme(pre);
    w.engine.loadCast();
    w.engine.runSection("[pre]");
  }

  ScenarioDir dir;
  FakeWorld w;
};

TEST_F(EngineTest, DialogueLineFollowsTheGoldenTrace) {
  w.pressKeys(1);
  runPre({"ミカ：こんにちは"});
  QFile golden(KIVO_GOLDEN_DIR "/dialogue.trace");
  ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
  EXPECT_EQ(w.trace.toStdString(), QString::fromUtf8(golden.readAll()).toStdString());
}

TEST_F(EngineTest, CycleCountsFollowTheTextLength) {
  struct Case {
    QString text;
    bool autoMode;
    int cycles;
  } cases[] = {{"", false, 1}, {"あいう", false, 1}, {"あいうえ", false, 2}, {"あいう", true, 2},
               {"あいうえおかきくけ", false, 3}, {"あいうえおか", true, 3}};
  for (const Case& c : cases) {
    w.trace.clear();
    w.autoMode = c.autoMode;
    if (!c.autoMode) w.pressKeys(1);
    runPre({"ミカ：" + c.text});
    EXPECT_EQ(count(w, "speaker \"talk.bmp\""), c.cycles) << c.text.toStdString() << " auto " << c.autoMode;
    EXPECT_EQ(count(w, "speaker \"rest.bmp\""), c.cycles);
    EXPECT_EQ(w.speaker, "rest.bmp");  // always ends on the rest picture
    EXPECT_EQ(w.caption, c.text);
  }
}

TEST_F(EngineTest, OnlyAKeyDuringTheHoldReleasesIt) {
  // 2 cycles = 400 ms of talking; a key and a click in the middle are not remembered.
  w.at(100, [&] { w.events.keyDown(65, 0); });
  w.at(250, [&] { w.events.captionClicked(); });
  w.at(1000, [&] { w.events.keyDown(16, 1); });  // Shift alone counts
  w.at(2000, [&] { w.events.captionClicked(); });
  runPre({"ミカ：あいうえ", "ミカ：次"});
  const auto captions = times(w, "caption");
  ASSERT_EQ(captions.size(), 2u);
  EXPECT_DOUBLE_EQ(captions[1], 1000);
  EXPECT_DOUBLE_EQ(w.now, 2000);
}

TEST_F(EngineTest, AutomaticModeSwitchedOnMidLineChangesOnlyTheHold) {
  w.at(100, [&] { w.toggleAuto(); });
  runPre({"ミカ：あいう"});
  EXPECT_EQ(count(w, "speaker \"talk.bmp\""), 1);  // counted as manual: 3 \ 4 + 1
  EXPECT_EQ(count(w, "timer 500"), 1);
  EXPECT_DOUBLE_EQ(w.now, 200 + 500);
  EXPECT_EQ(w.timerPeriod, 80);  // the resting period after the pause
  EXPECT_TRUE(w.traceEvents().contains("auto on"));
}

TEST_F(EngineTest, CommandsAndTheirArguments) {
  w.pictures = {{"wide.bmp", {3000, 2000}}, {"huge.bmp", {4000, 5000}}, {"ide.bmp", {3841, 3839}}};
  w.pressKeys(1);
  runPre({"@VIEW wide.bmp", "@VIEW\thuge.bmp", "@VIEWwide.bmp", "@CLS", "@CLS ", "@PLAY song.mid", "@PLAY ", "@PLAY",
          "@VOICE hello.wav", "@VOICEXhello.wav", "@view wide.bmp", "; @VIEW none.bmp", "@BEEP", "ミカ：終わり"});
  // A tab separates as well; with no separator the first letter is lost.
  EXPECT_EQ(w.traceEvents().filter("view-show"),
            (QStringList{"view-show 2240 1050 3000 2000 \"wide.bmp\"", "view-show 1900 710 4000 5000 \"huge.bmp\"",
                         "view-show 1820 130 3841 3839 \"ide.bmp\""}));
  EXPECT_EQ(w.traceEvents().filter("view-hide").size(), 4);  // three VIEWs and the one exact CLS
  EXPECT_EQ(w.sound.calls, (QStringList{"music song.mid", "music ", "music ", "clip hello.wav", "clip hello.wav"}));
}

// The numbers and lines of these faults are pinned against the check's report.
TEST_F(EngineTest, FatalLinesHideTheViewAndUnknownSpeakersTalkWithoutPictures) {
  w.pictures["wide.bmp"] = {3000, 2000};
  w.pressKeys(1);
  const RuntimeError e = raisedBy([&] { runPre({"誰か：知らない人", "@VIEW wide.bmp", "", "never"}); });
  EXPECT_EQ(e.number(), 5);
  EXPECT_TRUE(e.reportText().contains("full-width colon")) << e.reportText().toStdString();
  EXPECT_EQ(count(w, "speaker \"\""), 4);  // 4 characters, two cycles
  EXPECT_FALSE(w.traceEvents().contains("line \"never\""));
  EXPECT_EQ(raisedBy([&] { runPre({"@VIEW wide.bmp", "@VIEW nothere.bmp"}); }).number(), 53);
  EXPECT_FALSE(w.viewVisible);
}

TEST_F(EngineTest, ItemMenuShowsUpToEightMenuLinesAndReturnsThePressedCaption) {
  programme({}, {"A", " 空白 ", "", "ＥＮＤ"});
  w.onMenu([&] { w.events.buttonClicked(2, ""); });  // the empty button changes nothing
  w.choose(" 空白 ");
  w.buttonCaption[6] = "old";
  const QString item = w.engine.presentItemMenu();
  EXPECT_EQ(item, " 空白 ");
  EXPECT_EQ(w.caption, "項目を選択してください");
  EXPECT_FALSE(w.anyButtonVisible());
  EXPECT_EQ(w.buttonCaption[6], "old");  // buttons beyond the menu keep their caption, hidden
  const QStringList buttons = w.traceEvents().filter(QRegularExpression("^button "));
  EXPECT_EQ(buttons, (QStringList{"button 0 \"A\"", "button 1 \" 空白 \"", "button 2 \"\"", "button 3 \"ＥＮＤ\""}));

  // Eight menu lines work and a ninth is fatal.
  programme({}, {"1", "2", "3", "4", "5", "6", "7", "8"});
  w.choose("8");
  EXPECT_EQ(w.engine.presentItemMenu(), "8");
  programme({}, {"1", "2", "3", "4", "5", "6", "7", "8", "9"});
  const RuntimeError e = raisedBy([&] { w.engine.presentItemMenu(); });
  EXPECT_EQ(e.number(), 340);
  EXPECT_EQ(e.message(), "Control array element '8' doesn't exist");
  EXPECT_EQ(e.place().lineText, "9");
}

// A jump during a hold drops the rest of the section; music is left alone at the end.
TEST_F(EngineTest, AWholeProgrammeRunsFromPreThroughItemsToTheClosingSection) {
  programme({"@PLAY op.mid", "ミカ：ようこそ", "ミカ：飛ばされる"});
  w.onHold([&] { w.events.jumpToMenu(); });  // pre
  w.choose("A");
  w.pressKeys(2);   // A has two lines
  w.choose("B");
  w.pressKeys(1);
  w.choose("ＥＮＤ");
  w.pressKeys(1);
  w.engine.runProgramme();
  EXPECT_FALSE(w.shown);
  EXPECT_FALSE(w.input.isOpen());
  const QStringList states = w.traceEvents().filter(QRegularExpression("^(state|section) "));
  EXPECT_EQ(states, (QStringList{"state Starting", "section \"[pre]\"", "state Menu", "state Item", "section \"[A]\"",
                                 "state Menu", "state Item", "section \"[B]\"", "state Menu", "state Closing",
                                 "section \"[ＥＮＤ]\""}));
  EXPECT_FALSE(w.traceEvents().contains("line \"ミカ：飛ばされる\""));
  EXPECT_EQ(w.caption, "さようなら");
  EXPECT_EQ(w.sound.calls, QStringList{"music op.mid"});
}

TEST_F(EngineTest, AJumpDuringTalkingWhileTheMenuWaitsOrInTheClosingSectionLeadsToTheMenu) {
  programme({"ミカ：とても長い台詞をしゃべっています"});
  w.at(150, [&] { w.events.jumpToMenu(); });
  w.onMenu([&] { w.events.jumpToMenu(); });  // the waiting menu is built again
  w.choose("ＥＮＤ");
  w.onHold([&] { w.events.jumpToMenu(); });  // in "[ＥＮＤ]"
  w.choose("ＥＮＤ");
  w.pressKeys(1);
  w.engine.runProgramme();
  EXPECT_EQ(count(w, "state Closing"), 2);
  EXPECT_EQ(count(w, "state Menu"), 3);
  EXPECT_EQ(count(w, "button 2 \"ＥＮＤ\""), 3);
}

TEST_F(EngineTest, ScenarioRemovedOrReplacedBetweenSectionsFailsTheNextOpen) {
  const QByteArray file = QFile::encodeName(dir.path() + "/KIVO.001");
  const std::pair<std::function<void()>, int> changes[] = {
      {[&] { ::unlink(file); }, 53},
      {[&] { ::unlink(file), ::mkfifo(file, 0644); }, 75},  // must not wait for a writer
      {[&] { ::unlink(file); EXPECT_EQ(::symlink("/dev/zero", file), 0); }, 75},  // must not read for ever
      {[&] { dir.write("KIVO.001", {"1,other", "[menu]", "A"}); }, 62},
  };
  for (const auto& [change, number] : changes) {
    ::unlink(file);
    FakeWorld world;
    world.pictures = w.pictures;
    programme({});
    world.state.scenarioPath = "KIVO.001";
    world.onMenu([&] {
      change();
      world.events.buttonClicked(0, "A");
    });
    const RuntimeError e = raisedBy([&] { world.engine.runProgramme(); });
    EXPECT_EQ(e.number(), number);
    EXPECT_TRUE(e.reportText().contains("KIVO.001")) << e.reportText().toStdString();
  }
}

TEST_F(EngineTest, TenThousandJumpsLeaveStackAndMemoryFlat) {
  programme({"ミカ：一"});
  w.limit = 1e12;
  w.reactionDelay = 1;
  platform::trace::setEnabled(false);
  const int jumps = 10000;
  size_t heapAtStart = 0;
  uintptr_t lowestStack = UINTPTR_MAX, highestStack = 0;
  int done = 0;
  std::function<void()> jumpAgain = [&] {
    int probe = 0;
    lowestStack = std::min(lowestStack, reinterpret_cast<uintptr_t>(&probe));
    highestStack = std::max(highestStack, reinterpret_cast<uintptr_t>(&probe));
    if (done == 100) heapAtStart = mallinfo2().uordblks;
    ++done;
    w.events.jumpToMenu();
    // Alternate between jumps from the menu and from a hold inside an item.
    if (done < jumps) {
      if (done % 2) w.onMenu(jumpAgain);
      else {
        w.choose("A");
        w.onHold(jumpAgain);
      }
    } else {
      w.choose("ＥＮＤ");
      w.pressKeys(1);
    }
  };
  w.onHold(jumpAgain);
  w.engine.runProgramme();
  EXPECT_EQ(done, jumps);
  EXPECT_LT(highestStack - lowestStack, 4096u);
  EXPECT_LT(mallinfo2().uordblks - std::min(heapAtStart, size_t(mallinfo2().uordblks)), 64u * 1024);
}

}  // namespace
