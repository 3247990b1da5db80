// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Unattended play (broadcasting, checking, recording): a tap on the stage port that sees
// the item menu open and close, and the rule for which button an unattended viewer
// presses next. The mode itself decides how and when a press happens (a timer on the
// real event loop, or the virtual clock), so presses go through the same handler and
// trace as a viewer's.
#include <QString>
#include <functional>
#include <optional>

#include "engine/ports.h"

namespace engine {

class VirtualClock;

// Passes every call on to the real stage, remembering the item buttons, and says when
// the item menu opens (the first button shown) and closes (the last one hidden). With a
// clock, the stage timer's settings are mirrored to it, whose ticks then stand in for
// the real timer's.
class StageTap : public StageRelay {
 public:
  using Buttons = decltype(ItemButtons::captions);
  using Shown = decltype(ItemButtons::visible);

  explicit StageTap(StagePort& inner, VirtualClock* clock = nullptr) : StageRelay(inner), clock_(clock) {}

  std::function<void()> onMenuOpened;
  std::function<void()> onMenuClosed;

  bool menuOpen() const { return buttons_.menuOpen(); }
  const Buttons& buttonCaptions() const { return buttons_.captions; }
  const Shown& buttonsVisible() const { return buttons_.visible; }

  void setButtonCaption(int index, const QString& caption) override;
  void setButtonVisible(int index, bool visible) override;
  void setTimerPeriod(int ms) override;
  void setTimerEnabled(bool enabled) override;

 private:
  VirtualClock* clock_;
  ItemButtons buttons_;
};

// Which button an unattended viewer presses: every visible button with a caption once,
// in button order, then "ＥＮＤ". Nothing when all have been played and there is no
// "ＥＮＤ": the programme then has nothing left to show.
class Autopilot {
 public:
  // How long the menu stays on screen before a press.
  static constexpr int kPressDelayMs = 1500;

  void newProgramme() { played_.fill(false); }
  std::optional<int> nextPress(const StageTap::Buttons& captions, const StageTap::Shown& visible);
  // A viewer pressed a button with this caption: the first unplayed one counts as played.
  void markChosen(const StageTap::Buttons& captions, const QString& caption);

 private:
  StageTap::Shown played_{};
};

}  // namespace engine
