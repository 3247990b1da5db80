// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's narrow view of the world. app/ wires in the stage window, the sound
// layer and the Qt event loop; tests wire fakes on a virtual clock.
#include <QSize>
#include <QString>
#include <algorithm>
#include <array>
#include <functional>

namespace engine {

// The item buttons Command1(0) to Command1(7).
inline constexpr int kButtonCount = 8;

// The item buttons as the stage was last told to show them. The menu is open while any
// is visible.
struct ItemButtons {
  std::array<QString, kButtonCount> captions;
  std::array<bool, kButtonCount> visible{};

  // Both refuse an index out of range.
  void setCaption(int index, const QString& caption) { captions.at(size_t(index)) = caption; }
  void setVisible(int index, bool shown) { visible.at(size_t(index)) = shown; }
  bool menuOpen() const { return std::ranges::any_of(visible, [](bool v) { return v; }); }
};

// The stage window's controls, as the engine uses them. Sizes and positions are twips.
class StagePort {
 public:
  virtual ~StagePort() = default;

  virtual void setCaption(const QString& text) = 0;                // Label1
  // Image1. Loads the file now, every call. Throws RuntimeError 53 / 481.
  virtual void setSpeakerPicture(const QString& file) = 0;
  // Image2: takes the picture's natural size. Throws RuntimeError 53 / 481.
  virtual void setViewPicture(const QString& file) = 0;
  virtual QSize viewSize() const = 0;
  virtual void setViewLeft(int left) = 0;
  virtual void setViewTop(int top) = 0;
  virtual void setViewVisible(bool visible) = 0;
  // Command1(index), index 0 to kButtonCount - 1.
  virtual void setButtonCaption(int index, const QString& caption) = 0;
  virtual void setButtonVisible(int index, bool visible) = 0;
  // Timer1: period 0 means no ticks; setting a period or enabling restarts the count.
  virtual void setTimerPeriod(int ms) = 0;
  virtual void setTimerEnabled(bool enabled) = 0;
  virtual bool autoSpeak() const = 0;                              // mnuAutoSpeak checked
  virtual void showStage() = 0;  // modeless; the first show loads the window
  virtual void hideStage() = 0;
};

// Passes every call on to another stage. A decorator derives from it and overrides only
// the calls it adds something to.
class StageRelay : public StagePort {
 public:
  explicit StageRelay(StagePort& inner) : inner_(inner) {}

  void setCaption(const QString& text) override { inner_.setCaption(text); }
  void setSpeakerPicture(const QString& file) override { inner_.setSpeakerPicture(file); }
  void setViewPicture(const QString& file) override { inner_.setViewPicture(file); }
  QSize viewSize() const override { return inner_.viewSize(); }
  void setViewLeft(int left) override { inner_.setViewLeft(left); }
  void setViewTop(int top) override { inner_.setViewTop(top); }
  void setViewVisible(bool visible) override { inner_.setViewVisible(visible); }
  void setButtonCaption(int index, const QString& caption) override { inner_.setButtonCaption(index, caption); }
  void setButtonVisible(int index, bool visible) override { inner_.setButtonVisible(index, visible); }
  void setTimerPeriod(int ms) override { inner_.setTimerPeriod(ms); }
  void setTimerEnabled(bool enabled) override { inner_.setTimerEnabled(enabled); }
  bool autoSpeak() const override { return inner_.autoSpeak(); }
  void showStage() override { inner_.showStage(); }
  void hideStage() override { inner_.hideStage(); }

 protected:
  StagePort& inner() const { return inner_; }

 private:
  StagePort& inner_;
};

// A stage without controls: every call does nothing, no picture has a size and the
// automatic mode is off. What a port that only watches some calls relays the rest to.
class NoStage : public StagePort {
 public:
  void setCaption(const QString&) override {}
  void setSpeakerPicture(const QString&) override {}
  void setViewPicture(const QString&) override {}
  QSize viewSize() const override { return {}; }
  void setViewLeft(int) override {}
  void setViewTop(int) override {}
  void setViewVisible(bool) override {}
  void setButtonCaption(int, const QString&) override {}
  void setButtonVisible(int, bool) override {}
  void setTimerPeriod(int) override {}
  void setTimerEnabled(bool) override {}
  bool autoSpeak() const override { return false; }
  void showStage() override {}
  void hideStage() override {}
};

class SoundPort {
 public:
  virtual ~SoundPort() = default;
  virtual void playMusic(const QString& file) = 0;
  virtual void closeMusic() = 0;
  virtual void playClip(const QString& file) = 0;
};

// One pass of event processing: handles what is pending, sleeping until at least one
// event has been handled. Every engine wait is a loop of these passes.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void processEvents() = 0;
};

// Runs actions later, on the thread that waits: real timers on the screen, a virtual
// clock where nothing may really wait. Actions run inside a pass of the EventPump.
class Scheduler {
 public:
  virtual ~Scheduler() = default;
  // Runs `action` `delayMs` from now; the id is for cancel().
  virtual long schedule(double delayMs, std::function<void()> action) = 0;
  // Cancelling an action that ran or was cancelled already does nothing.
  virtual void cancel(long id) = 0;
};

}  // namespace engine
