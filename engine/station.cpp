// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/station.h"

#include <cstdio>

#include "platform/trace.h"

namespace engine {

using platform::trace::Event;

void reportFaultAndGoOn(const platform::RuntimeError& error) {
  Event("error").num(error.number()).text(error.message()).text(error.place().file).num(error.place().line);
  std::fprintf(stderr, "kivo: %s\n", error.reportText().toUtf8().constData());
  std::fflush(stderr);
}

Station::Station(SharedState& state, StagePort& stage, SoundPort& sound, EventPump& pump,
                 platform::SequentialInput& input, Scheduler& scheduler, StationHost& host)
    : Station(state, stage, sound, pump, input, scheduler, host, nullptr) {}

Station::Station(SharedState& state, StagePort& stage, SoundPort& sound, VirtualClock& clock,
                 platform::SequentialInput& input, StationHost& host)
    : Station(state, stage, sound, clock, input, clock, host, &clock) {}

Station::Station(SharedState& state, StagePort& stage, SoundPort& sound, EventPump& pump,
                 platform::SequentialInput& input, Scheduler& scheduler, StationHost& host, VirtualClock* clock)
    : state_(state),
      pump_(pump),
      scheduler_(scheduler),
      host_(host),
      tap_(stage, clock),
      engine_(state, tap_, sound, pump, input,
              {.onFault = [this](const platform::RuntimeError& e, Phase p) { return survive(e, p); },
               .onDialogue = [this](const QString& speaker, bool) { host_.speaking(speaker); },
               .onIgnoredCommand = {}}) {
  tap_.onMenuOpened = [this] {
    pressedByStation_ = false;
    pendingPress_ = scheduler_.schedule(Autopilot::kPressDelayMs, [this] {
      pendingPress_ = 0;
      pressNext();
    });
  };
  tap_.onMenuClosed = [this] {
    cancelPress();
    // A viewer's own press counts as that item played.
    if (!pressedByStation_ && !state_.chosenItem.isEmpty()) pilot_.markChosen(tap_.buttonCaptions(), state_.chosenItem);
  };
}

bool Station::survive(const platform::RuntimeError& error, Phase phase) {
  if (!surviveFaults_) return false;
  reportFaultAndGoOn(error);
  faulted_ = true;
  // An item's fault ends that item only; anywhere else the programme is over.
  if (phase != Phase::Item) state_.leaveRequested = true;
  return true;
}

void Station::run(bool once) {
  for (;;) {
    // Decided before the opening: a station with nothing left to play ends without one.
    QStringList list = host_.programmes();
    list.removeIf([this](const QString& file) { return leftOut_.contains(file); });
    if (list.isEmpty()) throw NothingToBroadcast();
    ++round_;
    Event("state").word("Opening");
    host_.playOpening();
    for (const QString& file : list) {
      Event("state").word("Selecting");
      host_.showList(file);
      pause(kListMs);
      host_.hideList();
      countFaults(file, playProgramme(file));
    }
    if (once) return;
  }
}

bool Station::playProgramme(const QString& file, bool surviveFaults) {
  Event("broadcast").text(file).num(round_);
  surviveFaults_ = surviveFaults;
  state_.scenarioPath = file;
  // A viewer may have switched it off; each programme starts with it on again, so the
  // station never waits for a viewer who has gone.
  host_.autoSpeakOn();
  pilot_.newProgramme();
  faulted_ = false;
  engine_.runProgramme();
  cancelPress();
  faults_ += faulted_ ? 1 : 0;
  return faulted_;
}

void Station::pressNext() {
  if (auto index = pilot_.nextPress(tap_.buttonCaptions(), tap_.buttonsVisible())) {
    pressedByStation_ = true;
    host_.press(*index);
  } else {
    state_.leaveRequested = true;  // every item played and no "ＥＮＤ"
  }
}

void Station::cancelPress() {
  if (pendingPress_ != 0) scheduler_.cancel(pendingPress_);
  pendingPress_ = 0;
}

void Station::pause(int ms) {
  bool due = false;
  const long id = scheduler_.schedule(ms, [&due] { due = true; });
  try {
    while (!due) pump_.processEvents();
  } catch (...) {
    scheduler_.cancel(id);
    throw;
  }
}

void Station::countFaults(const QString& file, bool faulted) {
  int& rounds = faultyRounds_[file];
  rounds = faulted ? rounds + 1 : 0;
  if (rounds < kFaultyRoundsToLeaveOut) return;
  leftOut_.insert(file);
  Event("skip").text(file);
  std::fprintf(stderr, "kivo: %s is left out of later rounds: it faulted in %d rounds in a row\n",
               file.toUtf8().constData(), kFaultyRoundsToLeaveOut);
  std::fflush(stderr);
}

}  // namespace engine
