// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/stage_events.h"

#include "platform/input.h"
#include "platform/trace.h"

namespace engine {

using platform::trace::Event;

void StageEvents::keyDown(int keyCode, int modifierMask) {
  Event("key").num(keyCode).num(modifierMask);
  state_.advanceFlag = false;
}

void StageEvents::captionClicked() {
  Event("click-caption");
  state_.advanceFlag = false;
}

void StageEvents::timerTick() { state_.tickFlag = false; }

void StageEvents::buttonClicked(int /*index*/, const QString& caption) {
  Event("chosen").text(caption);
  state_.chosenItem = caption;
}

void StageEvents::autoSpeakToggled(bool nowChecked) { Event("auto").word(nowChecked ? "on" : "off"); }

void StageEvents::jumpToMenu() {
  Event("jump");
  // The section being run had the scenario file open; the item menu opens it afresh.
  input_.closeAll();
  state_.jumpRequested = true;
}

}  // namespace engine
