// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Broadcasting: the station plays every programme of the list in list order with nobody
// at the controls, round after round, and goes on after faults. The sequence lives here,
// apart from the windows and the clock, so the screen (real timers, real windows) and
// the modes on a virtual clock (tests, recording) play exactly the same one.
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <stdexcept>

#include "engine/autopilot.h"
#include "engine/engine.h"
#include "engine/virtual_clock.h"

namespace engine {

// What the station needs from its surroundings. Every call happens on the station's
// thread outside any event handler, except press(), which a scheduled action makes.
class StationHost {
 public:
  virtual ~StationHost() = default;
  // Automatic conversation mode on, visibly, so a viewer can see and change it; called
  // as each programme starts.
  virtual void autoSpeakOn() = 0;
  // Plays the opening; returns when it is over.
  virtual void playOpening() = 0;
  // The programmes of the list, as scenario file names in list order (a fresh scan).
  virtual QStringList programmes() = 0;
  // The list window with `coming` selected, until hideList().
  virtual void showList(const QString& coming) = 0;
  virtual void hideList() = 0;
  // A press of Command1(index), through the same handler as a viewer's click.
  virtual void press(int index) = 0;
  // A dialogue line's speaker, just before its text becomes the caption (a recording
  // names the speaker in its subtitles).
  virtual void speaking(const QString& speaker) { (void)speaker; }
};

class Station {
 public:
  static constexpr int kListMs = 2000;        // the list stays up between programmes
  static constexpr int kFaultyRoundsToLeaveOut = 3;

  // A round found nothing to play: no scenario files, or every one left out.
  struct NothingToBroadcast : std::runtime_error {
    NothingToBroadcast() : std::runtime_error("no programme to broadcast") {}
  };

  // The engine plays on `stage` through the station's tap; presses and pauses are
  // scheduled on `scheduler` and waited for with `pump` (real time: the stage's own
  // timer ticks).
  Station(SharedState& state, StagePort& stage, SoundPort& sound, EventPump& pump, platform::SequentialInput& input,
          Scheduler& scheduler, StationHost& host);
  // On virtual time: `clock` is the pump and the scheduler, and the stage timer's
  // settings are mirrored onto it, so its ticks stand in for the timer's.
  Station(SharedState& state, StagePort& stage, SoundPort& sound, VirtualClock& clock,
          platform::SequentialInput& input, StationHost& host);

  // Round after round: the opening, then each programme not left out, each after the
  // list window has been up for kListMs. With `once` it returns after the first round;
  // otherwise it returns only by an exception (NothingToBroadcast, or the pump's).
  void run(bool once);

  // One programme as the station plays it: traced `broadcast`, items pressed by the
  // autopilot, faults reported and survived. Returns whether it faulted. With
  // `surviveFaults` false a run-time error ends the programme and is thrown instead.
  bool playProgramme(const QString& file, bool surviveFaults = true);

  int round() const { return round_; }
  // Programmes that faulted since the station was built.
  int faults() const { return faults_; }

 private:
  Station(SharedState& state, StagePort& stage, SoundPort& sound, EventPump& pump, platform::SequentialInput& input,
          Scheduler& scheduler, StationHost& host, VirtualClock* clock);

  bool survive(const platform::RuntimeError& error, Phase phase);
  void pressNext();
  void cancelPress();
  void pause(int ms);
  void countFaults(const QString& file, bool faulted);

  SharedState& state_;
  EventPump& pump_;
  Scheduler& scheduler_;
  StationHost& host_;
  StageTap tap_;
  Engine engine_;
  Autopilot pilot_;

  int round_ = 0;
  long pendingPress_ = 0;
  bool pressedByStation_ = false;
  bool faulted_ = false;
  bool surviveFaults_ = true;
  int faults_ = 0;
  QHash<QString, int> faultyRounds_;  // consecutive rounds with a fault, per file
  QSet<QString> leftOut_;
};

// The run-time error report for modes that go on: the trace `error` line and the report
// on stderr, as when the error ends the program, but no box and no end.
void reportFaultAndGoOn(const platform::RuntimeError& error);

}  // namespace engine
