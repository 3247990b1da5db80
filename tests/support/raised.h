// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/runtime_error.h"

// The run-time error `f` raises; error 0 when it raises none.
template <typename F>
platform::RuntimeError raisedBy(F&& f) {
  try {
    f();
  } catch (const platform::RuntimeError& e) {
    return e;
  }
  return platform::RuntimeError(0);
}
