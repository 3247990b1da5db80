// SPDX-License-Identifier: GPL-3.0-or-later
// The engine on the real stage window (offscreen) with the real event loop:
//   hold_cpu_percent: CPU time over wall time while a line holds for the viewer for 5 s;
//   phase_error_ms_p50 / _p99: how far talk, rest and automatic-pause phases, measured
//   between trace time stamps, are from 80, 120 and 500 ms.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/event_pump.h"
#include "engine/engine.h"
#include "engine/stage_events.h"
#include "platform/fonts.h"
#include "platform/input.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "sound/sound.h"
#include "stage/form1.h"

namespace {

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}
double wallSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void writeScenario(const QStringList& lines) {
  QByteArray bytes;
  for (const QString& l : lines) bytes += platform::encodeAnsi(l) + "\r\n";
  QFile f(QStringLiteral("KIVO.001"));
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
}

struct Line {
  double ms;
  std::string event;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("SDL_AUDIODRIVER", "dummy");
  QApplication application(argc, argv);
  platform::installFontSubstitutions();
  QTemporaryDir dir;
  QDir::setCurrent(dir.path());
  for (const char* name : {"rest.bmp", "talk.bmp"}) {
    QImage image(96, 96, QImage::Format_RGB32);
    image.fill(name[0] == 'r' ? Qt::darkGreen : Qt::green);
    image.save(QString::fromLatin1(name), "BMP");
  }
  QStringList lines{QStringLiteral("1,bench"), QStringLiteral("[pictureinit]"), QStringLiteral("ミルコ=rest.bmp,talk.bmp"),
                    QStringLiteral("[hold]"), QStringLiteral("ミルコ：あ"), QStringLiteral("[auto]")};
  for (int i = 0; i < 30; ++i) lines << QStringLiteral("ミルコ：今日は%1回目の練習です").arg(i);
  lines << QStringLiteral("[EOF]");
  writeScenario(lines);

  engine::SharedState state;
  state.scenarioPath = QStringLiteral("KIVO.001");
  platform::SequentialInput input;
  engine::StageEvents events(state, input);
  sound::SoundService sound;
  app::QtEventPump pump;
  stage::Form1 stage(events, [] {}, [] {});
  engine::Engine engine(state, stage, sound, pump, input);
  engine.loadCast();

  // The hold: the line talks for 200 ms, then waits; measure 5 s of that wait.
  double cpu0 = 0, wall0 = 0, cpu1 = 0, wall1 = 0;
  QTimer::singleShot(500, [&] {
    cpu0 = cpuSeconds();
    wall0 = wallSeconds();
  });
  QTimer::singleShot(5500, [&] {
    cpu1 = cpuSeconds();
    wall1 = wallSeconds();
    events.keyDown(32, 0);
  });
  engine.runSection(QStringLiteral("[hold]"));
  std::printf("hold_cpu_percent %.2f %%\n", 100.0 * (cpu1 - cpu0) / (wall1 - wall0));

  // Automatic mode: every phase is timed by Timer1 alone.
  std::vector<Line> trace;
  platform::trace::setEnabled(true);
  platform::trace::setSink([&](const std::string& l) {
    const auto space = l.find(' ');
    trace.push_back({std::stod(l.substr(0, space)), l.substr(space + 1)});
  });
  stage.mnuAutoSpeak()->setChecked(true);
  engine.runSection(QStringLiteral("[auto]"));
  platform::trace::setSink(nullptr);

  std::vector<double> errors;
  for (size_t i = 0; i < trace.size(); ++i) {
    const std::string& e = trace[i].event;
    double nominal = 0;
    if (e.rfind("timer 80", 0) == 0 && i + 1 < trace.size() && trace[i + 1].event.rfind("speaker", 0) == 0) nominal = 80;
    else if (e.rfind("timer 120", 0) == 0) nominal = 120;
    else if (e.rfind("timer 500", 0) == 0) nominal = 500;
    if (nominal == 0) continue;
    for (size_t j = i + 1; j < trace.size(); ++j) {
      if (trace[j].event.rfind("timer ", 0) == 0) {
        errors.push_back(std::abs(trace[j].ms - trace[i].ms - nominal));
        break;
      }
    }
  }
  std::sort(errors.begin(), errors.end());
  auto pct = [&](double p) { return errors[std::min(errors.size() - 1, size_t(p * double(errors.size())))]; };
  std::printf("phase_error_ms_p50 %.3f ms\n", pct(0.50));
  std::printf("phase_error_ms_p99 %.3f ms\n", pct(0.99));
  std::printf("phase_count %zu phases\n", errors.size());
  return 0;
}
