// SPDX-License-Identifier: GPL-3.0-or-later
// Process entry: the command line, then the main loop: the opening, then the programme
// list and the programmes chosen from it, until the viewer ends the program from a window.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "app/broadcast.h"
#include "app/error_report.h"
#include "app/event_pump.h"
#include "app/options.h"
#include "app/recorder_exec.h"
#include "app/signals.h"
#include "catalogue/catalogue.h"
#include "check/check.h"
#include "engine/engine.h"
#include "engine/stage_events.h"
#include "opening/demoform.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/input.h"
#include "platform/process.h"
#include "platform/trace.h"
#ifdef KIVO_RECORDER_BINARY
#include "record/options.h"
#endif
#include "selection/form2.h"
#include "sound/model.h"
#include "sound/sound.h"
#include "sound/winmm.h"
#include "stage/form1.h"
#include "stage/window_frame.h"

namespace {

using platform::trace::Event;

constexpr int kUsageStatus = 2;

void say(std::FILE* stream, const QString& text) { std::fputs(text.toLocal8Bit().constData(), stream); }

// --soundfont: the file replaces the system's list; a file that cannot be used leaves
// the system's SoundFont in place.
void useSoundFont(const QString& file) {
  const QFileInfo info(file);
  const QString why = !info.exists() ? QStringLiteral("no such file")
                      : info.isDir() ? QStringLiteral("it is a folder")
                      : !info.isReadable() ? QStringLiteral("permission denied")
                      : !sound::winmm::isSoundFont(info.absoluteFilePath()) ? QStringLiteral("not a SoundFont")
                                                                              : QString();
  if (!why.isEmpty()) {
    say(stderr, QStringLiteral("kivo: cannot use the SoundFont %1: %2; music uses the system's SoundFont\n")
                    .arg(file, why));
    return;
  }
  // Relative names count from where kivo was started, not from FOLDER.
  sound::winmm::setSoundFont(info.absoluteFilePath());
}

// Arguments are file-system bytes, not always UTF-8 (a Windows archive unpacked leaves
// CP932 names): they are read as the platform reads names, and a path goes back to the
// very bytes it came from.
QList<QPair<QString, QByteArray>> rawArguments;

QByteArray nativeArgument(const QString& text) {
  for (const auto& [decoded, bytes] : rawArguments)
    if (decoded == text) return bytes;
  return QFile::encodeName(text);
}

// Why windows cannot be shown (no display); empty when they can.
QString displayProblem() {
  const QByteArray platformName = qgetenv("QT_QPA_PLATFORM");
  if (!platformName.isEmpty() && !platformName.startsWith("xcb") && !platformName.startsWith("wayland")) return {};
  if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !platformName.startsWith("xcb")) return {};
  if (!qEnvironmentVariableIsEmpty("DISPLAY")) return stage::x11DisplayProblem();
  return QStringLiteral("no display to show windows on (DISPLAY is not set); --check and --record need none");
}

// Started from the desktop, stderr reaches nobody: a failure before the windows is also
// shown in a box.
bool hasTerminal() { return ::isatty(0) == 1 && ::isatty(2) == 1; }

void startFailure(const QString& text, char* programName) {
  say(stderr, QStringLiteral("kivo: %1\n").arg(text));
  // Nobody could see or dismiss a box on the offscreen platform.
  if (hasTerminal() || !displayProblem().isEmpty() || qgetenv("QT_QPA_PLATFORM") == "offscreen") return;
  std::unique_ptr<QApplication> made;
  if (QCoreApplication::instance() == nullptr) {
    static int qtArgc = 1;
    static char* qtArgv[] = {programName, nullptr};
    made = std::make_unique<QApplication>(qtArgc, qtArgv);
  }
  QMessageBox(QMessageBox::Critical, QStringLiteral("ミルカナランド放送局"), text, QMessageBox::Ok).exec();
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
// Empty when entered, else why not.
QString enterFolder(const QString& folder) {
  QString why = app::folderProblem(nativeArgument(folder));
  if (why.isEmpty() && ::chdir(nativeArgument(folder).constData()) != 0) why = QString::fromLocal8Bit(std::strerror(errno));
  if (!why.isEmpty()) return QStringLiteral("cannot play from %1: %2").arg(folder, why);
  Event("folder").text(QDir::currentPath());
  return {};
}

// The one question every mode asks of a folder before it starts.
bool hasProgrammes() { return !catalogue::files().isEmpty(); }
QString noProgrammes() {
  return QStringLiteral("no programmes (%1) in %2").arg(catalogue::range(), QDir::currentPath());
}

void playOpening(engine::EventPump& pump) {
  Event("state").word("Opening");
  auto opening = std::make_unique<opening::Demoform>();
  opening->show();
  // The opening hides itself when its time line ends; a close request hides it early.
  while (opening->isVisible()) pump.processEvents();
}

[[noreturn]] void play(const app::Options& options, const QString& preselected) {
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

    QString coming = preselected;
    for (;;) {
      Event("state").word("Selecting");
      {
        selection::Form2 selectionForm(state, [] { app::endProgram(0); });
        selectionWindow = &selectionForm;
        selectionForm.load();
        if (!coming.isEmpty()) selectionForm.preselect(std::exchange(coming, QString()));
        selectionForm.exec();
        selectionWindow = nullptr;
      }
      engine.runProgramme();
    }
  } catch (const platform::RuntimeError& error) {
    app::reportRuntimeError(error);
  }
}

// A programme file given as FOLDER ("Open with" on KIVO.001): its folder, with that
// programme chosen in the list. Empty when `path` is not one.
QString programmeFileOf(const QString& path) {
  const QString name = QFileInfo(path).fileName().toUpper();
  const QByteArray native = nativeArgument(path);
  struct stat info {};
  if (!catalogue::isProgrammeName(name) || ::stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode))
    return {};
  const qsizetype slash = native.lastIndexOf('/');
  rawArguments.append({QFileInfo(path).path(), slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : native.left(slash)});
  return name;
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
  if (const QString why = displayProblem(); !why.isEmpty()) {
    say(stderr, QStringLiteral("kivo: %1\n").arg(why));
    return 1;
  }
  if (!options.soundFont.isEmpty()) useSoundFont(options.soundFont);  // before leaving the start folder
  QString folder = options.folder;
  QString preselected;
  if (!folder.isEmpty()) {
    preselected = programmeFileOf(folder);
    if (!preselected.isEmpty()) folder = QFileInfo(folder).path();
  }
  if (options.demo) folder = app::demoFolder(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
  if (folder.isEmpty() && !options.chooseFolder) folder = QStringLiteral(".");
  if (!folder.isEmpty()) {
    if (const QString why = enterFolder(folder); !why.isEmpty()) {
      startFailure(why, programName);
      return kUsageStatus;
    }
  }

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
  app::endOnSignals(app::SignalNotice::EventLoop);
  // From the dialog, a folder without programmes is said in a box and asked for again.
  while (folder.isEmpty()) {
    folder = chooseFolder();
    if (folder.isEmpty()) return 0;  // cancelled
    QString why = enterFolder(folder);
    if (why.isEmpty() && !hasProgrammes()) why = noProgrammes();
    if (!why.isEmpty()) {
      say(stderr, QStringLiteral("kivo: %1\n").arg(why));
      QMessageBox(QMessageBox::Warning, QStringLiteral("ミルカナランド放送局"), why, QMessageBox::Ok).exec();
      folder.clear();
    }
  }
  if (!hasProgrammes()) {
    // An empty station is said before its opening, not after; an empty list is shown.
    if (options.broadcast) {
      startFailure(QStringLiteral("nothing to broadcast: %1").arg(noProgrammes()), programName);
      return 1;
    }
    startFailure(noProgrammes(), programName);
  }
  platform::installFontSubstitutions();
  play(options, preselected);
}

int checkProgrammes(const app::Options& options, char* programName) {
  // Nothing is shown: no display is needed, whatever platform the environment names.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  app::endOnSignals(app::SignalNotice::AtOnce);
  QStringList paths = options.checkPaths;
  if (options.demo) paths = {app::demoFolder(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath())};
  // A folder whose name is not UTF-8 is checked from inside.
  if (paths.size() == 1 && QFile::encodeName(paths.front()) != nativeArgument(paths.front()) &&
      ::chdir(nativeArgument(paths.front()).constData()) == 0)
    paths = {QStringLiteral(".")};
  check::Options how;
  how.json = options.json;
  how.werror = options.werror;
  return check::runProcess(paths, how, programName);
}

#ifdef KIVO_RECORDER_BINARY
// The recorder's executable, which `kivo --record` replaces itself with: the only one
// that links FFmpeg.
int recordProgrammes(const app::Options& options, char* programName) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!options.soundFont.isEmpty()) useSoundFont(options.soundFont);
  app::endOnSignals(app::SignalNotice::Asked);
  record::Options how;
  how.out = options.recordOut;
  how.programme = options.programme;
  how.folder = options.folder;
  how.scale = options.scale;
  how.overwrite = options.overwrite;
  how.subtitles = options.subtitles;
  how.stream = options.stream;
  how.once = options.once;
  how.stopSignal = [] { return app::caughtSignal(); };
  // OUT is named from where kivo was started.
  if (!how.out.isEmpty()) how.out = QFileInfo(how.out).absoluteFilePath();
  const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
  if (options.demo) how.folder = QDir::cleanPath(self + QStringLiteral("/" KIVO_DEMO_FROM_RECORDER));
  // The watch page: the one asked for, else the installed one (the build tree has it at
  // the same place relative to the recorder).
  how.webDir = qEnvironmentVariableIsEmpty("KIVO_WEB_DIR") ? QDir::cleanPath(self + QStringLiteral("/" KIVO_WEB_FROM_RECORDER))
                                                           : qEnvironmentVariable("KIVO_WEB_DIR");
  if (!how.folder.isEmpty() && QFile::encodeName(how.folder) != nativeArgument(how.folder)) {
    if (const QString why = enterFolder(how.folder); !why.isEmpty()) {
      say(stderr, QStringLiteral("kivo: %1\n").arg(why));
      return kUsageStatus;
    }
    how.folder.clear();
  }
  return record::runProcess(how, programName);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  platform::trace::resetClock();
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    arguments << platform::decodeFileName(argv[i]);
    rawArguments.append({arguments.back(), QByteArray(argv[i])});
  }
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
    case app::Options::Action::Check:
      return checkProgrammes(options, argv[0]);
    case app::Options::Action::Record:
    case app::Options::Action::Stream:
      // A name written under other bytes than the ones given would be another file.
      for (const QString& name : {options.recordOut, options.subtitles, options.stream}) {
        if (name.isEmpty() || QFile::encodeName(name) == nativeArgument(name)) continue;
        say(stderr, QStringLiteral("kivo: cannot write to '%1': the name is not UTF-8; give it in UTF-8\n").arg(name));
        return kUsageStatus;
      }
#ifdef KIVO_RECORDER_BINARY
      return recordProgrammes(options, argv[0]);
#else
      return app::execRecorder(argv);
#endif
    case app::Options::Action::Play:
      return playProgrammes(options, argv[0]);
  }
  return 0;
}
