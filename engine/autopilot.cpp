// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/autopilot.h"

#include "engine/engine.h"
#include "engine/virtual_clock.h"

namespace engine {

void StageTap::setButtonCaption(int index, const QString& caption) {
  inner().setButtonCaption(index, caption);
  buttons_.setCaption(index, caption);
}

void StageTap::setButtonVisible(int index, bool visible) {
  const bool wasOpen = menuOpen();
  inner().setButtonVisible(index, visible);
  buttons_.setVisible(index, visible);
  if (!wasOpen && visible && onMenuOpened) onMenuOpened();
  if (wasOpen && !menuOpen() && onMenuClosed) onMenuClosed();
}

void StageTap::setTimerPeriod(int ms) {
  inner().setTimerPeriod(ms);
  if (clock_) clock_->setTimerPeriod(ms);
}

void StageTap::setTimerEnabled(bool enabled) {
  inner().setTimerEnabled(enabled);
  if (clock_) clock_->setTimerEnabled(enabled);
}

std::optional<int> Autopilot::nextPress(const StageTap::Buttons& captions, const StageTap::Shown& visible) {
  std::optional<int> end;
  for (int i = 0; i < kButtonCount; ++i) {
    if (!visible[i] || captions[i].isEmpty()) continue;
    if (captions[i] == kEndItem) {
      if (!end) end = i;
    } else if (!played_[i]) {
      played_[i] = true;
      return i;
    }
  }
  return end;
}

void Autopilot::markChosen(const StageTap::Buttons& captions, const QString& caption) {
  for (int i = 0; i < kButtonCount; ++i) {
    if (!played_[i] && captions[i] == caption) {
      played_[i] = true;
      return;
    }
  }
}

}  // namespace engine
