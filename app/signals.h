#pragma once
// How the program ends when the viewer or the system asks it to.

namespace app {

// The end shared by END, closing the list, closing the stage and the signals below: the
// music is closed first, then the process ends with `status`.
[[noreturn]] void endProgram(int status);

// SIGINT, SIGTERM and SIGHUP end the program with endProgram(128 + signal). The handler
// only writes the number to a pipe; the event loop reads it, so the end happens in
// whatever loop is running (an engine wait, a modal dialog, a message box). Needs a
// QCoreApplication; call it before sound starts, so SDL leaves the signals alone.
void endOnSignals();

}  // namespace app
