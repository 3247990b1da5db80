// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/runtime_error.h"

namespace app {

// The run-time error report: traces the error (the music plays on), writes the report to
// stderr, shows the critical message box and ends the process with status 1.
[[noreturn]] void reportRuntimeError(const platform::RuntimeError& error);

}  // namespace app
