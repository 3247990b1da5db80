// Process entry and the main loop: the opening, then the programme list and the
// programmes chosen from it, until the viewer ends the program from a window.
#include <QApplication>
#include <memory>

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

  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents stageEvents(state, input);
  sound::SoundService sound;
  app::QtEventPump pump;

  // The SoundFont loads while the opening plays, so a programme's first tune starts on time.
  platform::winmm::prepareSequencer();

  try {
    playOpening(pump);

    selection::Form2* selectionWindow = nullptr;
    stage::Form1 stageWindow(
        stageEvents,
        [&selectionWindow] {
          if (selectionWindow != nullptr && selectionWindow->isLoaded()) selectionWindow->unload();
        },
        [] { endProgram(); });
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
