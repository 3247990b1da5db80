// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/engine.h"

#include "platform/runtime_error.h"

namespace engine {

QString Engine::presentItemMenu() {
  stage_.setCaption(kMenuPrompt);
  stage_.setViewVisible(false);
  state_.chosenItem.clear();

  reader_.openSection(state_.scenarioPath, QStringLiteral("[menu]"));
  std::optional<QString> line = reader_.firstBodyLine();
  for (int i = 0; line; ++i) {
    if (i >= kButtonCount) {
      platform::ErrorPlace place = reader_.place();
      place.hint = QStringLiteral("a menu has at most %1 lines").arg(kButtonCount);
      throw platform::missingControlElement(i).at(place);
    }
    stage_.setButtonCaption(i, *line);
    stage_.setButtonVisible(i, true);
    line = reader_.nextBodyLine();
  }
  reader_.closeAll();

  // A button with an empty caption sets an empty item, so the wait goes on.
  waitWhile([this] { return state_.chosenItem.isEmpty(); });
  for (int i = 0; i < kButtonCount; ++i) stage_.setButtonVisible(i, false);
  return state_.chosenItem;
}

}  // namespace engine
