// Process entry: the command line, then the main loop: the opening, then the programme
// list and the programmes chosen from it, until the viewer ends the program from a window.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "app/broadcast.h"
#include "app/error_report.h"
#include "app/event_pump.h"
#include "app/options.h"
#include "app/recorder_exec.h"
#include "app/signals.h"
#include "check/check.h"
#include "engine/engine.h"
#include "engine/stage_events.h"
#include "opening/demoform.h"
#include "platform/fonts.h"
#include "platform/input.h"
#include "platform/process.h"
#include "platform/trace.h"
#include "sound/winmm.h"
#include "selection/form2.h"
#include "sound/sound.h"
#include "stage/form1.h"

namespace {

using platform::trace::Event;

constexpr int kUsageStatus = 2;

void say(std::FILE* stream, const QString& text) { std::fputs(text.toLocal8Bit().constData(), stream); }

// --soundfont: the file replaces the system's list; a file that cannot be read leaves
// the system's SoundFont in place.
void useSoundFont(const QString& file) {
  const QFileInfo info(file);
  const QString why = !info.exists() ? QStringLiteral("no such file")
                      : info.isDir() ? QStringLiteral("it is a folder")
                      : !info.isReadable() ? QStringLiteral("permission denied")
                                           : QString();
  if (!why.isEmpty()) {
    say(stderr, QStringLiteral("kivo: cannot use the SoundFont %1: %2; music uses the system's SoundFont\n")
                    .arg(file, why));
    return;
  }
  // Relative names count from where kivo was started, not from FOLDER.
  sound::winmm::setSoundFont(info.absoluteFilePath());
}

// --choose-folder: the desktop's folder dialog, starting where it was left last time.
// Empty when the viewer cancelled it.
QString chooseFolder() {
  QSettings settings(QStringLiteral("kivo"), QStringLiteral("kivo"));
  const QString last = settings.value(QStringLiteral("lastFolder"), QDir::homePath()).toString();
  const QString chosen =
      QFileDialog::getExistingDirectory(nullptr, QStringLiteral("番組のフォルダを選んでください"), last);
  if (!chosen.isEmpty()) settings.setValue(QStringLiteral("lastFolder"), chosen);
  return chosen;
}

// Everything after start-up stays relative to the current directory, as on Windows.
bool enterFolder(const QString& folder) {
  QString why = app::folderProblem(folder);
  if (why.isEmpty() && !QDir::setCurrent(folder)) why = QString::fromLocal8Bit(std::strerror(errno));
  if (!why.isEmpty()) {
    say(stderr, QStringLiteral("kivo: cannot play from %1: %2\n").arg(folder, why));
    return false;
  }
  Event("folder").text(QDir::currentPath());
  return true;
}

void playOpening(engine::EventPump& pump) {
  Event("state").word("Opening");
  auto opening = std::make_unique<opening::Demoform>();
  opening->show();
  // The SoundFont loads while the opening plays, so a programme's first tune starts on
  // time; only after a first pass has mapped the window, which does not need it.
  pump.processEvents();
  sound::winmm::prepareSequencer();
  // The opening hides itself when its time line ends; a close request hides it early.
  while (opening->isVisible()) pump.processEvents();
}

[[noreturn]] void play(const app::Options& options) {
  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents stageEvents(state, input);
  sound::SoundService sound;
  app::QtEventPump pump;

  try {
    if (options.broadcast)
      app::broadcast({options.once, options.fullScreen}, state, input, stageEvents, sound, pump,
                     [] { app::endProgram(0); });
    playOpening(pump);

    selection::Form2* selectionWindow = nullptr;
    stage::Form1 stageWindow(
        stageEvents,
        [&selectionWindow] {
          if (selectionWindow != nullptr && selectionWindow->isLoaded()) selectionWindow->unload();
        },
        [] { app::endProgram(0); });
    if (options.fullScreen) stageWindow.setFullScreenStage(true);
    engine::Engine engine(state, stageWindow, sound, pump, input);

    for (;;) {
      Event("state").word("Selecting");
      {
        selection::Form2 selectionForm(state, [] { app::endProgram(0); });
        selectionWindow = &selectionForm;
        selectionForm.load();
        selectionForm.exec();
        selectionWindow = nullptr;
      }
      engine.runProgramme();
    }
  } catch (const platform::RuntimeError& error) {
    app::reportRuntimeError(error);
  }
}

// --scale N: the largest factor up to N at which the stage window fits the screen. The
// factor must be known before the application object is made, so a short-lived one asks
// the screen first.
int fittingScale(int wanted, char* programName) {
  if (wanted == 1) return 1;
  QSize room;
  {
    int argc = 1;
    char* argv[] = {programName, nullptr};
    QGuiApplication probe(argc, argv);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      room = screen->availableGeometry().size() * screen->devicePixelRatio();
  }
  if (room.isEmpty()) return wanted;
  // The client area with room for the menu bar, the title bar and the frame.
  const QSize window = stage::Form1::clientSize() + QSize(8, 60);
  const int k = std::min(wanted, stage::Form1::wholeScale(room, window));
  if (k != wanted)
    say(stderr, QStringLiteral("kivo: the stage does not fit the screen at --scale %1; using %2\n").arg(wanted).arg(k));
  return k;
}

// kivo [FOLDER]: enters the folder before any window, so a bad one ends the program
// without one; then the windows, the signals and, for --choose-folder, the dialog.
int playProgrammes(const app::Options& options, char* programName) {
  if (!options.soundFont.isEmpty()) useSoundFont(options.soundFont);  // before leaving the start folder
  QString folder = options.folder;
  if (options.demo) folder = app::demoFolder(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
  if (folder.isEmpty() && !options.chooseFolder) folder = QStringLiteral(".");
  if (!folder.isEmpty() && !enterFolder(folder)) return kUsageStatus;

  // Qt reads the scale factor when the application object is made. Whole factors keep
  // pictures sharp: painted ones are enlarged pixel by pixel, labels get them enlarged
  // beforehand (platform::sharpForLabel).
  const int scale = fittingScale(options.scale, programName);
  if (scale != 1) ::setenv("QT_SCALE_FACTOR", QByteArray::number(scale).constData(), 1);
  // The command line is ours alone: Qt sees only the program's name.
  int qtArgc = 1;
  char* qtArgv[] = {programName, nullptr};
  QApplication application(qtArgc, qtArgv);
  // Docks and the folder dialog match the windows to the menu entry by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.kivo.kivo"));
  app::endOnSignals();
  if (folder.isEmpty()) {
    folder = chooseFolder();
    if (folder.isEmpty()) return 0;  // cancelled
    if (!enterFolder(folder)) return kUsageStatus;
  }
  platform::installFontSubstitutions();
  play(options);
}

}  // namespace

int main(int argc, char** argv) {
  platform::trace::resetClock();
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const app::Options options = app::parseOptions(arguments);
  switch (options.action) {
    case app::Options::Action::Help:
    case app::Options::Action::Version:
      say(stdout, options.message);
      // Output that could not be written is a failure, as in GNU tools (>/dev/full).
      if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        say(stderr, QStringLiteral("kivo: write error: %1\n").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return 1;
      }
      return 0;
    case app::Options::Action::Error:
      say(stderr, QStringLiteral("kivo: %1\n").arg(options.message));
      return kUsageStatus;
    case app::Options::Action::Check: {
      check::Options how;
      how.json = options.json;
      how.werror = options.werror;
      return check::runProcess(options.checkPaths, how, argv[0]);
    }
    case app::Options::Action::Record:
      return app::execRecorder(argv);
    case app::Options::Action::Play:
      return playProgrammes(options, argv[0]);
  }
  return 0;
}
