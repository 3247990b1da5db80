// Plays every item of every bundled programme in automatic mode, headless: the engine on
// a virtual clock, pictures loaded for real by the stage window, every music and clip
// file looked up. Any run-time error fails the test.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QSet>
#include <QTimer>

#include "app/event_pump.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/winmm.h"
#include "stage/controls.h"
#include "stage/form1.h"
#include "tests/support/player_world.h"

namespace {

// Media that the player would silently skip are still faults in our own demo: every
// tune must open on the sequencer and every clip must start, through the real sound layer.
class CheckingSound : public engine::SoundPort {
 public:
  void playMusic(const QString& file) override {
    using namespace platform::winmm;
    const QByteArray open = "open \"" + platform::encodeAnsi(platform::currentDirectory() + u'\\' + file) +
                            "\" type sequencer alias DemoCheck";
    char ret[512];
    if (mciSendStringA(open.constData(), ret, sizeof ret, nullptr) != 0) missing << file;
    mciSendStringA("close DemoCheck", ret, sizeof ret, nullptr);
  }
  void closeMusic() override {}
  void playClip(const QString& file) override {
    using namespace platform::winmm;
    if (!sndPlaySoundA(platform::encodeAnsi(file).constData(), SND_ASYNC | SND_NODEFAULT)) missing << file;
  }
  QStringList missing;
};

class DemoProgrammes : public ::testing::TestWithParam<const char*> {};

TEST_P(DemoProgrammes, EveryItemPlaysToTheEnd) {
  const QString old = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QStringLiteral(KIVO_SOURCE_DIR "/demo")));
  kivo_test::PlayerWorld world;
  CheckingSound sound;
  engine::Engine engine(world.state, world, sound, world, world.input);
  world.state.scenarioPath = QString::fromLatin1(GetParam());

  // Each item once, in menu order, then the closing item.
  QSet<QString> played;
  std::function<void()> chooseNext = [&] {
    for (int i = 0; i < 8; ++i) {
      const QString caption = world.buttonCaption[i];
      if (world.buttonVisible[i] && caption != engine::kEndItem && !played.contains(caption)) {
        played.insert(caption);
        world.onMenu(chooseNext);
        return world.events.buttonClicked(i, caption);
      }
    }
    world.events.buttonClicked(0, engine::kEndItem);
  };
  world.onMenu(chooseNext);

  try {
    engine.runProgramme();
  } catch (const platform::RuntimeError& e) {
    ADD_FAILURE() << e.reportText().toStdString();
  }
  QDir::setCurrent(old);
  EXPECT_GE(played.size(), 3) << "items played";
  EXPECT_FALSE(world.shown) << "the closing section hides the stage";
  EXPECT_TRUE(sound.missing.isEmpty()) << "not playable: " << sound.missing.join(", ").toStdString();
  EXPECT_TRUE(world.traceEvents().contains("state Closing"));
}

INSTANTIATE_TEST_SUITE_P(Demo, DemoProgrammes, ::testing::Values("KIVO.001", "KIVO.002", "KIVO.003"));

// A whole programme on the real window and the real event loop, in automatic mode:
// "[pre]", three items chosen by pressing their buttons, then "ＥＮＤ".
TEST(RealStage, ProgrammeRunsFromPreThroughThreeItemsToTheClosingSection) {
  kivo_test::ScenarioDir dir;
  dir.write("KIVO.001", {"1,t", "[pictureinit]", "ミカ=,", "[pre]", "ミカ：あ", "[menu]", "一", "二", "三", "ＥＮＤ",
                         "[一]", "ミカ：い", "[二]", "ミカ：う", "[三]", "ミカ：え", "[ＥＮＤ]", "ミカ：お", "[eof]"});
  engine::SharedState state;
  state.scenarioPath = "KIVO.001";
  platform::SequentialInput input;
  engine::StageEvents events(state, input);
  kivo_test::FakeSound sound;
  app::QtEventPump pump;
  stage::Form1 window(events, [] {}, [] {});
  window.mnuAutoSpeak()->setChecked(true);
  engine::Engine engine(state, window, sound, pump, input);

  QStringList sections;
  platform::trace::setEnabled(true);
  platform::trace::setSink([&](const std::string& line) {
    const QString text = QString::fromStdString(line);
    if (text.section(' ', 1, 1) == "section") sections << text.section(' ', 2).trimmed();
  });
  // The viewer presses the buttons one after another, "ＥＮＤ" last.
  int next = 0;
  QTimer viewer;
  QObject::connect(&viewer, &QTimer::timeout, [&] {
    QPushButton* button = window.command1(next);
    if (button->isVisible()) {
      button->click();
      next = std::min(next + 1, 3);
    }
  });
  viewer.start(50);
  engine.runProgramme();
  platform::trace::setSink(nullptr);
  platform::trace::setEnabled(false);

  EXPECT_EQ(sections, (QStringList{"\"[pre]\"", "\"[一]\"", "\"[二]\"", "\"[三]\"", "\"[ＥＮＤ]\""}));
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.label1()->caption(), "お");
}

}  // namespace

int main(int argc, char** argv) {
  // Headless always, also when CTest lists the tests at build time.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Sound goes nowhere: the disk driver would write its file into demo/.
  qputenv("SDL_AUDIODRIVER", "dummy");
  QApplication application(argc, argv);
  platform::installFontSubstitutions();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
