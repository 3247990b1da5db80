// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values through which the windows' event handlers and the engine talk. Handlers
// only write them; the engine raises or clears them and looks at them between passes
// of event processing.
#include <QString>

namespace engine {

struct SharedState {
  QString scenarioPath;      // file name of the programme being played; empty while none
  QString chosenItem;        // caption of the pressed item button
  bool tickFlag = false;     // cleared by each tick of the stage timer
  bool advanceFlag = false;  // cleared by a key press or a click on the caption
  bool jumpRequested = false;  // the stage menu asked to go back to the item menu
  bool leaveRequested = false;  // an unattended mode ends the programme being played
};

}  // namespace engine
