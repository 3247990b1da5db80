#pragma once
// What `kivo --record OUT [--programme KIVO.nnn] [--scale N] [FOLDER]` asks for.
#include <QString>

namespace record {

struct Options {
  QString out;        // the video file; its ending chooses the format
  QString programme;  // empty: every programme of the folder once
  QString folder;     // empty: the current directory
  int scale = 2;      // whole-number, nearest-neighbour enlargement of the picture
};

// The whole mode after the command line: checks, records. Returns the exit status: 0
// done, 1 a programme ended early with a run-time error, 2 nothing could be recorded
// (folder, OUT).
int runProcess(const Options& options, char* programName);

}  // namespace record
