#include "engine/autopilot.h"

#include "engine/engine.h"
#include "engine/virtual_clock.h"

namespace engine {

bool StageTap::menuOpen() const {
  for (bool v : visible_)
    if (v) return true;
  return false;
}

void StageTap::setButtonCaption(int index, const QString& caption) {
  inner_.setButtonCaption(index, caption);
  captions_.at(index) = caption;
}

void StageTap::setButtonVisible(int index, bool visible) {
  const bool wasOpen = menuOpen();
  inner_.setButtonVisible(index, visible);
  visible_.at(index) = visible;
  if (!wasOpen && visible && onMenuOpened) onMenuOpened();
  if (wasOpen && !menuOpen() && onMenuClosed) onMenuClosed();
}

void StageTap::setTimerPeriod(int ms) {
  inner_.setTimerPeriod(ms);
  if (clock) clock->setTimerPeriod(ms);
}

void StageTap::setTimerEnabled(bool enabled) {
  inner_.setTimerEnabled(enabled);
  if (clock) clock->setTimerEnabled(enabled);
}

std::optional<int> Autopilot::nextPress(const std::array<QString, 8>& captions, const std::array<bool, 8>& visible) {
  std::optional<int> end;
  for (int i = 0; i < 8; ++i) {
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

void Autopilot::markChosen(const std::array<QString, 8>& captions, const QString& caption) {
  for (int i = 0; i < 8; ++i) {
    if (!played_[i] && captions[i] == caption) {
      played_[i] = true;
      return;
    }
  }
}

}  // namespace engine
