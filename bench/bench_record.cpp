// SPDX-License-Identifier: GPL-3.0-or-later
// Records the demo's first programme as `kivo --record` would and reads the programme's
// length back from the developer trace (its clock is the recording's virtual clock).
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

#include "platform/fonts.h"
#include "platform/trace.h"
#include "record/recorder.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  platform::installFontSubstitutions();
  QTemporaryDir dir;
  double programmeMs = 0;
  platform::trace::setEnabled(true);
  platform::trace::setSink([&](const std::string& line) { programmeMs = std::stod(line); });
  record::Options options;
  options.out = dir.filePath("demo.mp4");
  options.programme = "KIVO.001";
  options.folder = KIVO_SOURCE_DIR "/demo";
  QElapsedTimer wall;
  wall.start();
  const int status = record::run(options);
  const double wallMs = double(wall.nsecsElapsed()) / 1e6;
  platform::trace::setSink(nullptr);
  if (status != 0 || wallMs <= 0) return 1;
  std::printf("record_speed_x %.1f x\n", programmeMs / wallMs);
  return 0;
}
