// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `kivo --broadcast`: the station on the screen. The sequence itself is engine::Station;
// this file gives it the real windows, real timers and the Qt event loop.
#include <functional>

#include "engine/ports.h"
#include "engine/shared_state.h"

namespace platform {
class SequentialInput;
}
namespace engine {
class StageEvents;
}

namespace app {

struct BroadcastOptions {
  bool once = false;        // end with status 0 after the last programme
  bool fullScreen = false;  // the stage fills the screen
};

// Plays the station until the viewer ends it (END, closing a window: `endProgram`, which
// does not return) or, with `once`, until the last programme has played, then calls
// `endProgram` too. Nothing to broadcast is reported on stderr and ends with status 1.
[[noreturn]] void broadcast(const BroadcastOptions& options, engine::SharedState& state, platform::SequentialInput& input,
                            engine::StageEvents& events, engine::SoundPort& sound, engine::EventPump& pump,
                            const std::function<void()>& endProgram);

}  // namespace app
