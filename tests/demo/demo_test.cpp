// Plays every item of every bundled programme in automatic mode, headless: the engine on
// a virtual clock, pictures loaded for real by the stage window, every music and clip
// file looked up. Any run-time error fails the test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSet>

#include "../engine/fake_world.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "stage/form1.h"

namespace {

// The fake stage with the real window behind it for everything that loads pictures.
class DemoWorld : public kivo_test::FakeWorld {
 public:
  DemoWorld() : window(events, [] {}, [] {}) { autoMode = true; }

  void setCaption(const QString& text) override {
    window.setCaption(text);
    FakeWorld::setCaption(text);
  }
  void setSpeakerPicture(const QString& file) override {
    window.setSpeakerPicture(file);
    speaker = file;
  }
  void setViewPicture(const QString& file) override {
    window.setViewPicture(file);
    viewSizeTwips = window.viewSize();
    viewFile = file;
  }

  stage::Form1 window;
};

// Media that the player would silently skip are still faults in our own demo.
class CheckingSound : public engine::SoundPort {
 public:
  void playMusic(const QString& file) override { check(file); }
  void closeMusic() override {}
  void playClip(const QString& file) override { check(file); }
  void check(const QString& file) {
    if (!platform::resolvePath(file)) missing << file;
  }
  QStringList missing;
};

class DemoProgrammes : public ::testing::TestWithParam<const char*> {};

TEST_P(DemoProgrammes, EveryItemPlaysToTheEnd) {
  const QString old = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QStringLiteral(KIVO_SOURCE_DIR "/demo")));
  DemoWorld world;
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
  EXPECT_TRUE(sound.missing.isEmpty()) << sound.missing.join(", ").toStdString();
  EXPECT_TRUE(world.traceEvents().contains("state Closing"));
}

INSTANTIATE_TEST_SUITE_P(Demo, DemoProgrammes, ::testing::Values("KIVO.001", "KIVO.002", "KIVO.003"));

}  // namespace

int main(int argc, char** argv) {
  // Headless always, also when CTest lists the tests at build time.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  platform::installFontSubstitutions();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
