// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scenario engine: plays one programme from its cast table and "[pre]" through the
// item loop to "[ＥＮＤ]".
//
// Waiting model: every wait is a loop of EventPump passes that looks at a shared flag
// between passes. The engine runs on the main stack, never inside a Qt event handler,
// so its run-time errors unwind to main without crossing Qt. A jump to the item menu
// is a flag raised by the stage menu's handler; the wait that sees it throws
// JumpToItemMenu, which unwinds the abandoned section to the item loop, so nothing of it
// can resume and the stack stays flat however many jumps come.
#include <QString>
#include <functional>

#include "platform/runtime_error.h"

#include "engine/cast.h"
#include "engine/ports.h"
#include "engine/reader.h"
#include "engine/shared_state.h"
#include "engine/stage_trace.h"

namespace platform {
class SequentialInput;
}

namespace engine {

inline const QString kEndItem = QStringLiteral("ＥＮＤ");
inline const QString kMenuPrompt = QStringLiteral("項目を選択してください");

// Timing of the speech animation, in milliseconds.
struct Timing {
  static constexpr int kTalk = 80;
  static constexpr int kRest = 120;
  static constexpr int kAutoPause = 500;
  static constexpr int kResting = 80;
};

// The view area inside the view frame, in twips: a picture is centred in it.
inline constexpr int kViewArea = 3840;
// The speaker picture box, in twips (square): a picture is shown from its top left corner.
inline constexpr int kSpeakerBox = 1500;

// Where in a programme a run-time error happened.
enum class Phase { Cast, Pre, Menu, Item, Closing };

class Engine {
 public:
  // What a mode without a viewer adds to a run; play leaves both empty.
  struct Watchers {
    // Unattended modes go on after a run-time error instead of ending the program. When
    // set and it returns true, the programme goes on: after the cast table with "[pre]",
    // after "[pre]" or an item with the item menu (an item's fault ends that item, as a
    // jump to the item menu would); after the menu or the closing section the programme
    // ends as after "[ＥＮＤ]". A policy that raises SharedState::leaveRequested before
    // returning true ends the programme at once instead. When unset or false, the error
    // ends runProgramme.
    std::function<bool(const platform::RuntimeError&, Phase)> onFault;
    // Sees each dialogue line once its speaker has been looked up (the checker counts
    // speakers and finds those missing from the cast).
    std::function<void(const QString& speaker, bool inCast)> onDialogue;
    // Sees each command line the player does not know and so ignores (the text after "@").
    std::function<void(const QString& command)> onIgnoredCommand;
  };

  Engine(SharedState& state, StagePort& stage, SoundPort& sound, EventPump& pump,
         platform::SequentialInput& input, Watchers watchers = {});

  // Start programme: cast table, "[pre]", then the item loop until "ＥＮＤ" has run its
  // section and hidden the stage. Throws platform::RuntimeError on script faults.
  void runProgramme();

  // The pieces, public for tests.
  void loadCast();
  void runSection(const QString& header);
  void runLine(const QString& line);
  void presentDialogue(const QString& line);
  QString presentItemMenu();

 private:
  struct JumpToItemMenu {};
  struct LeaveProgramme {};

  void playProgramme();
  // Runs `step`; a run-time error in it goes to onFault. True when the programme goes on.
  bool survive(Phase phase, const std::function<void()>& step);
  void endProgramme();

  void runCommand(const QString& command);
  void showView(const QString& file);
  void checkInterrupts();
  void waitWhile(const std::function<bool()>& keepWaiting);
  void tickWait();
  void advanceWait();

  SharedState& state_;
  StageTrace stage_;  // every call to the stage goes through its trace
  SoundPort& sound_;
  EventPump& pump_;
  const Watchers watchers_;
  SectionReader reader_;
  CastTable cast_;
};

}  // namespace engine
