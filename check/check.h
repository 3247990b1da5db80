// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kivo --check: plays each programme through the player's own engine, unattended and on
// virtual time, with ports that load every picture, probe every tune and clip and show
// and sound nothing; reports every fault the player would stop on and what would play
// but is probably not meant, in the form editors and CI read.
//
// Needs a QGuiApplication (pictures and the caption font); no display, no sound device.
#include <QString>
#include <QStringList>
#include <cstdio>
#include <vector>

namespace check {

enum class Severity { Error, Warning, Note };

// Version of the JSON output; raised when a field changes meaning or goes away.
inline constexpr int kJsonSchema = 1;

struct Diagnostic {
  int line = 1;     // as an editor counts lines (a lone LF ends one there)
  Severity severity = Severity::Error;
  int number = 0;   // run-time error number; 0 for warnings and notes
  QString message;  // the player's message for errors
  QString hint;     // what is wrong or what the player does, in words
  const char* code = "run-time-error";  // the kind of finding, stable for tools
  int column = 1;   // in characters, where known
};

struct Summary {
  QString title;  // as the programme list shows it
  int sections = 0;       // sections played: "[pre]", items, "[ＥＮＤ]"
  int dialogueLines = 0;
  int speakers = 0;
  int pictures = 0;
  int tunes = 0;
  int clips = 0;
  double runningMs = 0;   // automatic mode, every item once, menus not waited on
};

struct FileReport {
  QString file;  // as named in the diagnostics
  std::vector<Diagnostic> diagnostics;  // in file order
  Summary summary;
  int count(Severity severity) const;
};

// Checks the programme `name` of the current directory, as the player would play it
// from there. Pictures, tunes and clips found once are remembered for the next call.
class Checker {
 public:
  Checker();
  ~Checker();
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;
  FileReport check(const QString& name, const QString& shownAs);

  struct Media;

 private:
  Media* media_;
};

struct Options {
  bool json = false;    // one JSON object per line instead of the editor format
  bool werror = false;  // warnings count as errors for the exit status
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// Checks files and folders (a folder: its programmes KIVO.001 to KIVO.100, found as the
// programme list finds them, and the files named like programmes that the list never
// shows; no path: the current folder). Prints the diagnostics and a summary per file.
// Returns 0 when no file has an error, 1 when one has, 2 when a path is not there or a
// folder holds no programme (the other paths are checked all the same).
int run(const QStringList& paths, const Options& options);

// The check mode's process after the command line: a GUI application without a display
// (pictures and the caption font need one), then run().
int runProcess(const QStringList& paths, const Options& options, char* programName);

}  // namespace check
