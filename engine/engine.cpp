#include "engine/engine.h"

#include "platform/input.h"
#include "platform/trace.h"

namespace engine {

using platform::RuntimeError;
using platform::trace::Event;

Engine::Engine(SharedState& state, StagePort& stage, SoundPort& sound, EventPump& pump,
               platform::SequentialInput& input)
    : state_(state), stage_(stage), sound_(sound), pump_(pump), reader_(input) {}

void Engine::runProgramme() {
  Event("state").word("Starting");
  state_.jumpRequested = false;
  loadCast();
  try {
    runSection(QStringLiteral("[pre]"));
  } catch (const JumpToItemMenu&) {
    state_.jumpRequested = false;
  }
  for (;;) {
    try {
      Event("state").word("Menu");
      const QString item = presentItemMenu();
      if (item == kEndItem) {
        Event("state").word("Closing");
        runSection(QStringLiteral("[") + kEndItem + QStringLiteral("]"));
        stage_.hideStage();
        return;
      }
      Event("state").word("Item");
      runSection(QStringLiteral("[") + item + QStringLiteral("]"));
    } catch (const JumpToItemMenu&) {
      // The abandoned section is gone for good; the loop rebuilds the menu.
      state_.jumpRequested = false;
    }
  }
}

void Engine::loadCast() { cast_.load(reader_, state_.scenarioPath); }

void Engine::runSection(const QString& header) {
  Event("section").text(header);
  reader_.openSection(state_.scenarioPath, header);
  stage_.showStage();
  std::optional<QString> line = reader_.firstBodyLine();
  while (line) {
    Event("line").text(*line);
    try {
      runLine(*line);
    } catch (RuntimeError& e) {
      e.at(reader_.place());
      throw;
    }
    line = reader_.nextBodyLine();
  }
  reader_.closeAll();
}

void Engine::waitWhile(const std::function<bool()>& keepWaiting) {
  while (keepWaiting()) {
    pump_.processEvents();
    if (state_.jumpRequested) throw JumpToItemMenu{};
  }
}

void Engine::tickWait() {
  waitWhile([this] { return state_.tickFlag; });
}

void Engine::advanceWait() {
  state_.advanceFlag = true;
  // At least one pass even if the flag were already clear: the hold always looks at
  // pending input once before it tests the flag.
  pump_.processEvents();
  if (state_.jumpRequested) throw JumpToItemMenu{};
  waitWhile([this] { return state_.advanceFlag; });
}

}  // namespace engine
