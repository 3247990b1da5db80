// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/error_report.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

#include "platform/process.h"
#include "platform/trace.h"
#include "stage/app_icon.h"

namespace app {

// The music is left playing: after a run-time error Windows ends the program without
// running any close handler, so the music sounds on under the box until the process ends.
void reportRuntimeError(const platform::RuntimeError& error) {
  platform::trace::Event("error")
      .num(error.number())
      .text(error.message())
      .text(error.place().file)
      .num(error.place().line);
  const QString text = error.reportText();
  std::fprintf(stderr, "kivo: %s\n", text.toUtf8().constData());
  // Nobody could see or dismiss a box on the offscreen platform.
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
    QMessageBox box(QMessageBox::Critical, stage::windowTitle(), text, QMessageBox::Ok);
    box.exec();
  }
  platform::endProcess(1);
}

}  // namespace app
