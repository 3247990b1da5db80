// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the stage window's event handlers do, shared by the real window and the test
// fakes so both behave and trace alike. Each handler writes one shared value; none
// throws.
#include <QString>

#include "engine/shared_state.h"

namespace platform {
class SequentialInput;
}

namespace engine {

class StageEvents {
 public:
  StageEvents(SharedState& state, platform::SequentialInput& input) : state_(state), input_(input) {}

  void keyDown(int keyCode, int modifierMask);      // Form_KeyDown
  void captionClicked();                            // Label1_Click
  void timerTick();                                 // Timer1_Timer
  void buttonClicked(int index, const QString& caption);  // Command1_Click
  void autoSpeakToggled(bool nowChecked);           // mnuAutoSpeak_Click (after the toggle)
  void jumpToMenu();                                // mnuJmpMenu_Click

 private:
  SharedState& state_;
  platform::SequentialInput& input_;
};

}  // namespace engine
