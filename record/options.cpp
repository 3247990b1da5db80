// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/options.h"

#include <QApplication>
#include <cstdio>

#include "platform/fonts.h"
#include "record/recorder.h"

namespace record {

int runProcess(const Options& options, char* programName) {
  // Nothing is shown: the stage is drawn into pictures, whatever display there is.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Warnings that only say there is no desktop: nobody is there to see the window.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg && (text.contains(QLatin1String("does not support raise()")) ||
                                 text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))))
      return;
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
  });
  int qtArgc = 1;
  char* qtArgv[] = {programName, nullptr};
  QApplication application(qtArgc, qtArgv);
  platform::installFontSubstitutions();
  return run(options);
}

}  // namespace record
