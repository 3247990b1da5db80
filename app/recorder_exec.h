// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `kivo --record` runs in its own executable, so that only recording maps FFmpeg and
// its codec libraries, and the player's package does not depend on them.
#include <QString>

namespace app {

// Where the recorder is, given the folder of the running kivo: the build tree and an
// installed tree put it at the same place relative to kivo.
QString recorderPath(const QString& executableFolder);

// Replaces this process with the recorder, given the same arguments. Returns only when
// it cannot: the exit status (2) after saying what to install.
int execRecorder(char** argv);

}  // namespace app
