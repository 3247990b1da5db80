// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What `kivo --record OUT [--programme KIVO.nnn] [--scale N] [FOLDER]` asks for.
#include <QFileInfo>
#include <QString>
#include <functional>

namespace record {

struct Options {
  QString out;        // the video file; its ending chooses the format
  QString programme;  // empty: every programme of the folder once
  QString folder;     // empty: the current directory
  int scale = 2;      // whole-number, nearest-neighbour enlargement of the picture
  bool overwrite = false;  // an existing OUT may be replaced (never a file the programmes use)
  // The number of a signal that asks the recording to end, 0 while none has come; asked
  // between steps of the virtual clock.
  std::function<int()> stopSignal = [] { return 0; };
};

// The container an output name asks for, by its ending: "mp4", "webm" or "matroska"
// (.mkv); empty for any other ending.
inline QString videoFormat(const QString& file) {
  const QString suffix = QFileInfo(file).suffix().toLower();
  if (suffix == QLatin1String("mp4")) return QStringLiteral("mp4");
  if (suffix == QLatin1String("webm")) return QStringLiteral("webm");
  if (suffix == QLatin1String("mkv")) return QStringLiteral("matroska");
  return {};
}

// The whole mode after the command line: checks, records. Returns the exit status: 0
// done, 1 a programme ended early with a run-time error or the file could not be
// written to the end, 2 nothing could be recorded (folder, OUT), 128 + N ended by signal N.
int runProcess(const Options& options, char* programName);

}  // namespace record
