#pragma once
// The recording mode's command line: `kivo --record OUT [--programme KIVO.nnn]
// [--scale N] [FOLDER]`.
#include <QString>
#include <QStringList>
#include <optional>

namespace record {

struct Options {
  QString out;        // the video file; its ending chooses the format
  QString programme;  // empty: every programme of the folder once
  QString folder;     // empty: the current directory
  int scale = 2;      // whole-number, nearest-neighbour enlargement of the picture
};

// True when the arguments ask for a recording.
bool wanted(int argc, char** argv);

// Parses the arguments after the program name. On a mistake, `error` says what is wrong
// in one line and nothing is returned.
std::optional<Options> parse(const QStringList& args, QString& error);

// The whole mode: parses, checks, records. Returns the exit status: 0 done, 1 a programme
// ended early with a run-time error, 2 nothing could be recorded (arguments, folder, OUT).
int main(int argc, char** argv);

}  // namespace record
