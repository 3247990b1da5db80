#pragma once
// Unattended play (broadcasting, checking, recording): a tap on the stage port that sees
// the item menu open and close, and the rule for which button an unattended viewer
// presses next. The mode itself decides how and when a press happens (a timer on the
// real event loop, or the virtual clock), so presses go through the same handler and
// trace as a viewer's.
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "engine/ports.h"

namespace engine {

class VirtualClock;

// Passes every call on to the real stage, remembering the item buttons, and says when
// the item menu opens (the first button shown) and closes (the last one hidden).
class StageTap : public StagePort {
 public:
  explicit StageTap(StagePort& inner) : inner_(inner) {}

  std::function<void()> onMenuOpened;
  std::function<void()> onMenuClosed;
  // When set, the stage timer's settings are mirrored to this clock, whose ticks then
  // stand in for the real timer's.
  VirtualClock* clock = nullptr;

  bool menuOpen() const;
  const std::array<QString, 8>& buttonCaptions() const { return captions_; }
  const std::array<bool, 8>& buttonsVisible() const { return visible_; }

  void setCaption(const QString& text) override { inner_.setCaption(text); }
  void setSpeakerPicture(const QString& file) override { inner_.setSpeakerPicture(file); }
  void setViewPicture(const QString& file) override { inner_.setViewPicture(file); }
  QSize viewSize() const override { return inner_.viewSize(); }
  void setViewLeft(int left) override { inner_.setViewLeft(left); }
  void setViewTop(int top) override { inner_.setViewTop(top); }
  void setViewVisible(bool visible) override { inner_.setViewVisible(visible); }
  void setButtonCaption(int index, const QString& caption) override;
  void setButtonVisible(int index, bool visible) override;
  void setTimerPeriod(int ms) override;
  void setTimerEnabled(bool enabled) override;
  bool autoSpeak() const override { return inner_.autoSpeak(); }
  void showStage() override { inner_.showStage(); }
  void hideStage() override { inner_.hideStage(); }

 private:
  StagePort& inner_;
  std::array<QString, 8> captions_;
  std::array<bool, 8> visible_{};
};

// Which button an unattended viewer presses: every visible button with a caption once,
// in button order, then "ＥＮＤ". Nothing when all have been played and there is no
// "ＥＮＤ": the programme then has nothing left to show.
class Autopilot {
 public:
  // How long the menu stays on screen before a press.
  static constexpr int kPressDelayMs = 1500;

  void newProgramme() { played_.fill(false); }
  std::optional<int> nextPress(const std::array<QString, 8>& captions, const std::array<bool, 8>& visible);
  // A viewer pressed a button with this caption: the first unplayed one counts as played.
  void markChosen(const std::array<QString, 8>& captions, const QString& caption);

 private:
  std::array<bool, 8> played_{};
};

}  // namespace engine
