// SPDX-License-Identifier: GPL-3.0-or-later
// Times the catalogue scan of the programme selection window over 100 scenario files
// of 100 KB each, in a temporary folder. Prints the median of several loads.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "catalogue/catalogue.h"
#include "selection/form2.h"

namespace {

constexpr int kFiles = catalogue::kLastNumber;
constexpr qsizetype kFileBytes = 100 * 1024;
constexpr int kRuns = 7;

bool writeScenario(const QString& path, int number) {
  QByteArray body = QByteArray::number(number) + ",番組タイトル " + QByteArray::number(number) + "\r\n";
  const QByteArray line = "話し手：これはベンチマーク用の台詞の一行です。\r\n";
  body.reserve(kFileBytes);
  while (body.size() + line.size() <= kFileBytes) body += line;
  body += QByteArray(kFileBytes - body.size(), ';');
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(body) == body.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  QTemporaryDir dir;
  if (!dir.isValid()) return 1;
  for (int n = 1; n <= kFiles; ++n) {
    if (!writeScenario(dir.filePath(catalogue::fileName(n)), n)) return 1;
  }
  const QString oldDir = QDir::currentPath();
  QDir::setCurrent(dir.path());

  engine::SharedState state;
  std::vector<double> ms;
  for (int run = 0; run < kRuns; ++run) {
    selection::Form2 form(state, [] {});
    QElapsedTimer timer;
    timer.start();
    form.load();
    ms.push_back(timer.nsecsElapsed() / 1e6);
    if (form.List1()->count() != kFiles) return 1;  // every file must have been read
  }
  QDir::setCurrent(oldDir);

  std::sort(ms.begin(), ms.end());
  std::printf("catalogue_scan_ms %.3f ms\n", ms[ms.size() / 2]);
  return 0;
}
