// SPDX-License-Identifier: GPL-3.0-or-later
// reader_section_scan_ms: finding the last of 1,000 sections in a 1 MB scenario file
// from the top (median of 21 runs), and the peak memory of the process doing it.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

#include "engine/reader.h"
#include "platform/input.h"
#include "platform/text.h"

int main() {
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  QByteArray file = platform::encodeAnsi(QStringLiteral("1,ベンチマーク\r\n"));
  const QByteArray line = platform::encodeAnsi(QStringLiteral("ミルコ：今日はとてもいい天気ですね。お出かけ日和です。\r\n"));
  for (int s = 0; s < 1000; ++s) {
    file += platform::encodeAnsi(QStringLiteral("[S%1]\r\n").arg(s));
    while (file.size() < (s + 1) * 1024 * 1024 / 1000) file += line;
  }
  file += "[EOF]\r\n";
  QFile out(QStringLiteral("KIVO.001"));
  out.open(QIODevice::WriteOnly);
  out.write(file);
  out.close();

  platform::SequentialInput input;
  engine::SectionReader reader(input);
  std::vector<double> ms;
  for (int run = 0; run < 21; ++run) {
    const auto start = std::chrono::steady_clock::now();
    reader.openSection(QStringLiteral("KIVO.001"), QStringLiteral("[S999]"));
    reader.firstBodyLine();
    reader.closeAll();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("reader_section_scan_ms %.2f ms\n", ms[ms.size() / 2]);
  std::printf("reader_peak_memory_mb %.1f MB\n", usage.ru_maxrss / 1024.0);
  return 0;
}
