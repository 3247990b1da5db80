// The recorder's executable, which `kivo --record` replaces itself with (same arguments,
// already checked): the only one that links FFmpeg.
#include <QString>
#include <QStringList>
#include <cstdio>

#include "app/options.h"
#include "record/options.h"

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const app::Options options = app::parseOptions(arguments);
  if (options.action != app::Options::Action::Record) {
    std::fputs("kivo-record: run it as kivo --record OUT [--programme KIVO.nnn] [--scale N] [FOLDER]\n", stderr);
    return 2;
  }
  return record::runProcess({options.recordOut, options.programme, options.folder, options.scale}, argv[0]);
}
