// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recorder_exec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace app {

QString recorderPath(const QString& executableFolder) {
  return QDir::cleanPath(executableFolder + QStringLiteral("/" KIVO_RECORDER_FROM_BINARY));
}

int execRecorder(char** argv) {
  const QString path = recorderPath(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
  const QByteArray file = QFile::encodeName(path);
  ::execv(file.constData(), argv);
  if (errno == ENOENT)
    std::fprintf(stderr, "kivo: recording needs the kivo-recorder package; install it (%s is missing)\n",
                 file.constData());
  else
    std::fprintf(stderr, "kivo: cannot start the recorder %s: %s\n", file.constData(), std::strerror(errno));
  return 2;
}

}  // namespace app
