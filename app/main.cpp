// Process entry and the main loop: the opening, then the programme list and the
// programmes chosen from it, until the viewer ends the program from a window.
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <memory>

#include "app/broadcast.h"
#include "app/error_report.h"
#include "app/event_pump.h"
#include "engine/engine.h"
#include "engine/stage_events.h"
#include "opening/demoform.h"
#include "platform/fonts.h"
#include "platform/input.h"
#include "platform/process.h"
#include "platform/trace.h"
#include "platform/winmm.h"
#include "record/options.h"
#include "selection/form2.h"
#include "sound/sound.h"
#include "stage/form1.h"

namespace {

using platform::trace::Event;

// The viewer's own ends: END, closing the list, closing the stage.
[[noreturn]] void endProgram() {
  sound::closeMusic();
  platform::endProcess(0);
}

void playOpening(engine::EventPump& pump) {
  Event("state").word("Opening");
  auto opening = std::make_unique<opening::Demoform>();
  opening->show();
  // The opening hides itself when its time line ends; a close request hides it early.
  while (opening->isVisible()) pump.processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  // Recording is a mode of its own: no windows shown, no sound device.
  if (record::wanted(argc, argv)) return record::main(argc, argv);
  platform::trace::resetClock();
  QApplication application(argc, argv);
  platform::installFontSubstitutions();

  // kivo [--broadcast [--once]] [--fullscreen] [FOLDER]
  bool broadcasting = false;
  app::BroadcastOptions broadcastOptions;
  for (const QString& arg : application.arguments().mid(1)) {
    if (arg == QLatin1String("--broadcast")) broadcasting = true;
    else if (arg == QLatin1String("--once")) broadcastOptions.once = true;
    else if (arg == QLatin1String("--fullscreen")) broadcastOptions.fullScreen = true;
    else if (arg.startsWith(QLatin1Char('-')) || !QDir::setCurrent(arg)) {
      std::fprintf(stderr, "kivo: %s: no such option or folder\n", arg.toLocal8Bit().constData());
      return 2;
    }
  }

  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents stageEvents(state, input);
  sound::SoundService sound;
  app::QtEventPump pump;

  // The SoundFont loads while the opening plays, so a programme's first tune starts on time.
  platform::winmm::prepareSequencer();

  try {
    if (broadcasting) app::broadcast(broadcastOptions, state, input, stageEvents, sound, pump, [] { endProgram(); });
    playOpening(pump);

    selection::Form2* selectionWindow = nullptr;
    stage::Form1 stageWindow(
        stageEvents,
        [&selectionWindow] {
          if (selectionWindow != nullptr && selectionWindow->isLoaded()) selectionWindow->unload();
        },
        [] { endProgram(); });
    if (broadcastOptions.fullScreen) stageWindow.setFullScreenStage(true);
    engine::Engine engine(state, stageWindow, sound, pump, input);

    for (;;) {
      Event("state").word("Selecting");
      {
        selection::Form2 selectionForm(state, [] { endProgram(); });
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
