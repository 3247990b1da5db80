// SPDX-License-Identifier: GPL-3.0-or-later
// check_folder_ms: checking a folder of 100 programmes of 100 KB each, every one with
// its own cast and view pictures, tunes and clips (median of 3 runs, output discarded).
#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "catalogue/catalogue.h"
#include "check/check.h"
#include "platform/fonts.h"
#include "platform/text.h"

namespace {

void writePicture(const QString& name, int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB888);
  image.fill(colour);
  image.save(name, "BMP");
}

void writeProgramme(int n) {
  const QString p = QStringLiteral("P%1_").arg(n);
  const QStringList speakers{QStringLiteral("ミルコ"), QStringLiteral("ポン太"), QStringLiteral("ピコ"), QStringLiteral("ナレーション")};
  QString text = QStringLiteral("%1,ベンチマーク番組 %1\r\n[pictureinit]\r\n").arg(n);
  for (int s = 0; s < 4; ++s) {
    text += QStringLiteral("%1=%2S%3R.BMP,%2S%3T.BMP\r\n").arg(speakers[s], p).arg(s);
    writePicture(QStringLiteral("%1S%2R.BMP").arg(p).arg(s), 100, 100, QColor(40 * s, 80, 120));
    writePicture(QStringLiteral("%1S%2T.BMP").arg(p).arg(s), 100, 100, QColor(40 * s, 120, 80));
  }
  for (int v = 0; v < 4; ++v) writePicture(QStringLiteral("%1V%2.BMP").arg(p).arg(v), 240, 180, QColor(200, 30 * v, 60));
  const QStringList items{QStringLiteral("お天気"), QStringLiteral("ニュース"), QStringLiteral("料理"), QStringLiteral("クイズ"),
                          QStringLiteral("音楽"), QStringLiteral("中継"), QStringLiteral("おたより")};
  QStringList sections{QStringLiteral("pre")};
  text += QStringLiteral("[menu]\r\n") + items.join(QStringLiteral("\r\n")) + QStringLiteral("\r\nＥＮＤ\r\n");
  sections += items;
  sections << QStringLiteral("ＥＮＤ");
  QByteArray file = platform::encodeAnsi(text);
  const int perSection = (100 * 1024 - int(file.size())) / int(sections.size());
  for (int k = 0; k < sections.size(); ++k) {
    QByteArray body = platform::encodeAnsi(QStringLiteral("[%1]\r\n@PLAY TUNE%2.MID\r\n@VIEW %3V%2.BMP\r\n").arg(sections[k]).arg(k % 4).arg(p));
    for (int line = 0; body.size() < perSection; ++line) {
      const QString said = QStringLiteral("%1：今日は%2番目のお話です。とてもいい天気ですね。").arg(speakers[line % 4]).arg(line);
      body += platform::encodeAnsi(said + QStringLiteral("\r\n"));
      if (line % 20 == 7) body += "@VOICE CLIP.WAV\r\n";
    }
    file += body;
  }
  file += "[EOF]\r\n";
  QFile out(catalogue::fileName(n));
  out.open(QIODevice::WriteOnly);
  out.write(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  platform::installFontSubstitutions();
  QTemporaryDir dir;
  const QString old = QDir::currentPath();
  QDir::setCurrent(dir.path());
  for (int n = 1; n <= catalogue::kLastNumber; ++n) writeProgramme(n);
  QDir::setCurrent(old);

  std::FILE* sink = std::fopen("/dev/null", "w");
  check::Options options;
  options.out = sink;
  std::vector<double> ms;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    check::run({dir.path()}, options);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::fclose(sink);
  std::sort(ms.begin(), ms.end());
  std::printf("check_folder_ms %.0f ms\n", ms[ms.size() / 2]);
  return 0;
}
