// SPDX-License-Identifier: GPL-3.0-or-later
// The run-time error report leaves the music alone: Windows ends the program after a
// run-time error without running any close handler.
#include <QApplication>

#include "app/error_report.h"
#include "sound/sound.h"
#include "sound_fixture.h"

namespace {

using ErrorReport = SoundTest;

[[noreturn]] void playThenFail() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "kivo";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  platform::trace::setSink(nullptr);  // to stderr, where the test reads it
  sound::playMusic("tune.mid");
  app::reportRuntimeError(platform::RuntimeError(13));
}

TEST_F(ErrorReport, LeavesTheMusicPlaying) {
  writeFile("tune.mid", media::midi(60, 400, 500));
  EXPECT_EXIT(playThenFail(), ::testing::ExitedWithCode(1), "mci \"play Midi\" 0\n[0-9.]+ error 13 ");
}

}  // namespace
