// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line. Parsing looks at nothing but the arguments, so it runs before any
// window exists and can be tested alone; main acts on the result.
#include <QString>
#include <QStringList>

namespace app {

struct Options {
  // What the process does. A new mode is one more value here and one more case in main.
  enum class Action { Play, Check, Record, Stream, Help, Version, Error };
  Action action = Action::Play;
  QString message;    // Help: the help text; Version: the version line; Error: the one-line error
  QString folder;     // FOLDER; empty: the current directory
  bool demo = false;  // play the demo that comes with the program
  bool chooseFolder = false;
  QString soundFont;  // empty: the system's SoundFont
  int scale = 1;       // windows drawn N times larger; a recording's picture (default 2)
  bool broadcast = false;  // the station plays every programme by itself
  bool once = false;       // with broadcast: end after the last programme
  bool fullScreen = false;
  // --check: the files and folders to check, and how to report.
  QStringList checkPaths;
  bool json = false;
  bool werror = false;
  // --record: the video file and the one programme to record (empty: all of them).
  QString recordOut;
  QString programme;
  bool overwrite = false;  // an existing OUT may be replaced
  QString subtitles;       // --subtitles: the captions' file beside OUT
  // --broadcast --stream: the folder or URL the station goes on air to.
  QString stream;
};

// `arguments` as the process got them, the program's name first.
Options parseOptions(const QStringList& arguments);

// Why the folder at `nativePath` (file-system bytes) cannot be played from ("no such
// folder", ...); empty when it can.
QString folderProblem(const QByteArray& nativePath);

// Where the demo is, given the folder of the running executable: the build tree and an
// installed tree put it at the same place relative to the executable.
QString demoFolder(const QString& executableFolder);

}  // namespace app
