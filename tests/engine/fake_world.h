// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stage, an event loop and a viewer on a virtual clock, for running the engine in
// tests without real time or widgets. The engine traces the fake stage as it traces the
// real window.
#include <QMap>
#include <QSize>
#include <QStringList>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/ports.h"
#include "engine/shared_state.h"
#include "engine/stage_events.h"
#include "engine/virtual_clock.h"
#include "platform/input.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "tests/support/raised.h"
#include "tests/support/temp_folder.h"

namespace kivo_test {

class FakeSound : public engine::SoundPort {
 public:
  void playMusic(const QString& file) override { calls.push_back("music " + file); }
  void closeMusic() override { calls.push_back("close"); }
  void playClip(const QString& file) override { calls.push_back("clip " + file); }
  QStringList calls;
};

class FakeWorld : public engine::StagePort, public engine::EventPump {
 public:
  FakeWorld() : events(state, input), engine(state, *this, sound, *this, input) {
    clock.beforeAdvance = [this](double to) {
      if (to > limit) throw std::runtime_error("stuck: virtual time limit reached");
      now = to;
    };
    platform::trace::setEnabled(true);
    platform::trace::setClock([this] { return now; });
    platform::trace::setSink([this](const std::string& line) { trace += QString::fromStdString(line); });
  }
  ~FakeWorld() override {
    platform::trace::setSink(nullptr);
    platform::trace::resetClock();
    platform::trace::setEnabled(false);
  }

  // --- what tests set up ---
  QMap<QString, QSize> pictures;  // picture name -> size in twips; others are missing
  double reactionDelay = 100;     // how long the viewer takes to answer a wait
  double limit = 10 * 60 * 1000;  // virtual time after which a test is stuck

  void at(double ms, std::function<void()> action) { clock.schedule(ms - now, std::move(action)); }
  // Answers to the next waits for the viewer, in order.
  void onHold(std::function<void()> action) { holdAnswers.push_back(std::move(action)); }
  void onMenu(std::function<void()> action) { menuAnswers.push_back(std::move(action)); }
  void pressKeys(int n) {
    for (int i = 0; i < n; ++i) onHold([this] { events.keyDown(32, 0); });
  }
  void choose(const QString& caption) {
    onMenu([this, caption] {
      for (int i = 0; i < engine::kButtonCount; ++i)
        if (buttonVisible[i] && buttonCaption[i] == caption) return events.buttonClicked(i, caption);
      throw std::runtime_error("no visible button " + caption.toStdString());
    });
  }
  QStringList traceLines() const { return trace.split('\n', Qt::SkipEmptyParts); }
  // Trace lines without their time stamps.
  QStringList traceEvents() const {
    QStringList out;
    for (const QString& l : traceLines()) out << l.section(' ', 1);
    return out;
  }

  // --- StagePort (the engine traces these calls itself) ---
  void setCaption(const QString& text) override { caption = text; }
  void setSpeakerPicture(const QString& file) override {
    picture(file);
    speaker = file;
  }
  void setViewPicture(const QString& file) override { viewSizeTwips = picture(file); }
  QSize viewSize() const override { return viewSizeTwips; }
  void setViewLeft(int) override {}
  void setViewTop(int) override {}
  void setViewVisible(bool visible) override { viewVisible = visible; }
  void setButtonCaption(int index, const QString& text) override { buttonCaption.at(index) = text; }
  void setButtonVisible(int index, bool visible) override { buttonVisible.at(index) = visible; }
  void setTimerPeriod(int ms) override {
    timerPeriod = ms;
    clock.setTimerPeriod(ms);
  }
  void setTimerEnabled(bool enabled) override { clock.setTimerEnabled(enabled); }
  bool autoSpeak() const override { return autoMode; }
  void showStage() override { shown = true; }
  void hideStage() override { shown = false; }

  void toggleAuto() {
    autoMode = !autoMode;
    events.autoSpeakToggled(autoMode);
  }

  // --- EventPump: the viewer's answers, then the virtual clock's next moment ---
  void processEvents() override {
    // A hold: the advance flag is up while no timed phase or menu waits. (After a jump
    // the flag may stay up from an abandoned hold; talking and menus rule that out.)
    if (state.advanceFlag && !state.tickFlag && !anyButtonVisible()) answer(holdAnswers, holdPending);
    if (anyButtonVisible() && state.chosenItem.isEmpty()) answer(menuAnswers, menuPending);
    clock.processEvents();
  }

  bool anyButtonVisible() const {
    for (bool v : buttonVisible)
      if (v) return true;
    return false;
  }

  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents events;
  FakeSound sound;
  engine::Engine engine;
  engine::VirtualClock clock{[this] { events.timerTick(); }};

  double now = 0;
  QString trace;
  QString caption, speaker;
  QSize viewSizeTwips;
  bool viewVisible = true;
  std::array<QString, engine::kButtonCount> buttonCaption;
  std::array<bool, engine::kButtonCount> buttonVisible{};
  int timerPeriod = 0;
  bool autoMode = false;
  bool shown = false;

 private:
  // The viewer answers a wait once, after its reaction delay.
  void answer(std::deque<std::function<void()>>& answers, bool& pending) {
    if (pending || answers.empty()) return;
    pending = true;
    at(now + reactionDelay, [&pending, action = std::move(answers.front())] {
      pending = false;
      action();
    });
    answers.pop_front();
  }
  QSize picture(const QString& file) {
    if (file.isEmpty()) return {};
    if (!pictures.contains(file)) throw platform::RuntimeError(platform::err::FileNotFound);
    return pictures.value(file);
  }
  std::deque<std::function<void()>> holdAnswers, menuAnswers;
  bool holdPending = false, menuPending = false;
};

}  // namespace kivo_test
