// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/engine.h"

#include "platform/input.h"
#include "platform/trace.h"

namespace engine {

using platform::RuntimeError;
using platform::trace::Event;

Engine::Engine(SharedState& state, StagePort& stage, SoundPort& sound, EventPump& pump,
               platform::SequentialInput& input, Watchers watchers)
    : state_(state), stage_(stage), sound_(sound), pump_(pump), watchers_(std::move(watchers)), reader_(input) {}

void Engine::runProgramme() {
  Event("state").word("Starting");
  state_.jumpRequested = false;
  state_.leaveRequested = false;
  try {
    playProgramme();
  } catch (const LeaveProgramme&) {
    state_.leaveRequested = false;
    endProgramme();
  }
}

void Engine::playProgramme() {
  survive(Phase::Cast, [this] { loadCast(); });
  try {
    survive(Phase::Pre, [this] { runSection(QStringLiteral("[pre]")); });
  } catch (const JumpToItemMenu&) {
    state_.jumpRequested = false;
  }
  for (;;) {
    try {
      Event("state").word("Menu");
      QString item;
      if (!survive(Phase::Menu, [&] { item = presentItemMenu(); })) {
        endProgramme();
        return;
      }
      if (item == kEndItem) {
        Event("state").word("Closing");
        survive(Phase::Closing, [this] { runSection(QStringLiteral("[") + kEndItem + QStringLiteral("]")); });
        stage_.hideStage();
        return;
      }
      Event("state").word("Item");
      survive(Phase::Item, [&] { runSection(QStringLiteral("[") + item + QStringLiteral("]")); });
    } catch (const JumpToItemMenu&) {
      // The abandoned section is gone for good; the loop rebuilds the menu.
      state_.jumpRequested = false;
    }
  }
}

bool Engine::survive(Phase phase, const std::function<void()>& step) {
  try {
    step();
    return true;
  } catch (const RuntimeError& e) {
    if (!watchers_.onFault || !watchers_.onFault(e, phase)) throw;
    // The faulty section is abandoned like one left by a jump to the item menu.
    reader_.closeAll();
    // The policy may rather end the whole programme.
    if (state_.leaveRequested) throw LeaveProgramme{};
    return false;
  }
}

void Engine::endProgramme() {
  reader_.closeAll();
  for (int i = 0; i < kButtonCount; ++i) stage_.setButtonVisible(i, false);
  stage_.hideStage();
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
    checkInterrupts();
  }
}

void Engine::checkInterrupts() {
  if (state_.leaveRequested) throw LeaveProgramme{};
  if (state_.jumpRequested) throw JumpToItemMenu{};
}

void Engine::tickWait() {
  waitWhile([this] { return state_.tickFlag; });
}

void Engine::advanceWait() {
  state_.advanceFlag = true;
  // At least one pass even if the flag were already clear: the hold always looks at
  // pending input once before it tests the flag.
  pump_.processEvents();
  checkInterrupts();
  waitWhile([this] { return state_.advanceFlag; });
}

}  // namespace engine
