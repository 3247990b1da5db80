// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The immediate end of the program: no handlers, no clean-up beyond what the caller did.
namespace platform {
[[noreturn]] void endProcess(int status);
}
