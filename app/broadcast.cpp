// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/broadcast.h"

#include <QAction>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <map>
#include <memory>

#include "catalogue/catalogue.h"
#include "engine/station.h"
#include "opening/demoform.h"
#include "platform/process.h"
#include "selection/form2.h"
#include "sound/sound.h"
#include "stage/form1.h"

namespace app {
namespace {

// Single-shot precise timers on the event loop; their actions run inside a pump pass.
class QtScheduler : public engine::Scheduler {
 public:
  long schedule(double delayMs, std::function<void()> action) override {
    const long id = nextId_++;
    auto* timer = new QTimer(&owner_);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, &owner_, [this, id, action = std::move(action)] {
      forget(id);
      action();
    });
    timers_[id] = timer;
    timer->start(static_cast<int>(delayMs));
    return id;
  }
  void cancel(long id) override { forget(id); }

 private:
  void forget(long id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
  }

  QObject owner_;
  std::map<long, QTimer*> timers_;
  long nextId_ = 1;
};

class ScreenHost : public engine::StationHost {
 public:
  ScreenHost(engine::SharedState& state, engine::EventPump& pump, stage::Form1& stage, std::function<void()> endProgram)
      : state_(state), pump_(pump), stage_(stage), endProgram_(std::move(endProgram)) {}

  void autoSpeakOn() override { stage_.mnuAutoSpeak()->setChecked(true); }

  void playOpening() override {
    auto opening = std::make_unique<opening::Demoform>();
    opening->show();
    while (opening->isVisible()) pump_.processEvents();
  }

  QStringList programmes() override { return catalogue::files(); }

  void showList(const QString& coming) override {
    list_ = std::make_unique<selection::Form2>(state_, endProgram_);
    list_->load();
    list_->preselect(coming);
    list_->setWindowModality(Qt::ApplicationModal);
    list_->show();
  }

  void hideList() override {
    if (list_ && list_->isLoaded()) list_->unload();
    list_.reset();
  }

  void press(int index) override { stage_.Command1(index)->click(); }

 private:
  engine::SharedState& state_;
  engine::EventPump& pump_;
  stage::Form1& stage_;
  std::function<void()> endProgram_;
  std::unique_ptr<selection::Form2> list_;
};

}  // namespace

void broadcast(const BroadcastOptions& options, engine::SharedState& state, platform::SequentialInput& input,
               engine::StageEvents& events, engine::SoundPort& sound, engine::EventPump& pump,
               const std::function<void()>& endProgram) {
  stage::Form1 stageWindow(events, nullptr, [&endProgram] { endProgram(); });
  if (options.fullScreen) stageWindow.setFullScreenStage(true);
  QtScheduler scheduler;
  ScreenHost host(state, pump, stageWindow, endProgram);
  engine::Station station(state, stageWindow, sound, pump, input, scheduler, host);
  try {
    station.run(options.once);
  } catch (const engine::Station::NothingToBroadcast&) {
    std::fprintf(stderr, "kivo: nothing to broadcast: no scenario file %s here can be played\n",
                 catalogue::range().toUtf8().constData());
    sound::closeMusic();
    platform::endProcess(1);
  }
  endProgram();
  platform::endProcess(0);  // endProgram does not return; this keeps the promise if it did
}

}  // namespace app
