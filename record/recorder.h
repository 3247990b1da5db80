// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recording mode: plays programmes unattended on a virtual clock and writes what the
// stage window's client area shows and what would be heard to a video file.
#include "record/options.h"

namespace record {

// Needs a QApplication (the offscreen platform will do). Returns the exit status: 0 done,
// 1 a programme ended early with an error (the file is complete up to there), 2 nothing
// was recorded (folder, programme or OUT unusable). Changes the current directory to the
// folder.
int run(const Options& options);

}  // namespace record
