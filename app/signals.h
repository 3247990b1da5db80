// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the program ends when the viewer or the system asks it to: SIGINT, SIGTERM and
// SIGHUP end every mode with status 128 + the signal.

namespace app {

// The end shared by END, closing the list, closing the stage and the signals below: the
// music is closed first, then the process ends with `status`.
[[noreturn]] void endProgram(int status);

// How the running mode learns of a signal.
enum class SignalNotice {
  // The event loop reads it and calls endProgram(128 + signal), so the end happens in
  // whatever loop is running (an engine wait, a modal dialog, a message box). Needs a
  // QCoreApplication.
  EventLoop,
  // The mode asks caughtSignal() between its own steps and ends itself (a recording
  // completes its file first); used where the event loop does not run.
  Asked,
  // The process ends at once with 128 + signal: nothing is open that needs closing.
  AtOnce,
};

// Installs the handler for SIGINT, SIGTERM and SIGHUP. Call it before sound starts, so
// SDL leaves the signals alone.
void endOnSignals(SignalNotice notice);

// The signal that asked the program to end, 0 while none has come.
int caughtSignal();

}  // namespace app
