// SPDX-License-Identifier: GPL-3.0-or-later
// Plays the opening once on the real timer, silently, the way the start-up sequence
// waits for it, and reads its time line back from the developer trace.
#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "opening/demoform.h"
#include "platform/trace.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  std::vector<std::string> lines;
  platform::trace::setEnabled(true);
  platform::trace::setSink([&](const std::string& line) { lines.push_back(line); });
  {
    opening::Demoform form([](const char*, unsigned) { return true; });
    form.show();
    while (form.isVisible()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  platform::trace::setSink(nullptr);

  double load = -1, hidden = -1, late = 0;
  for (const std::string& line : lines) {
    const double at = std::stod(line);
    int step = 0;
    if (line.find(" opening-load ") != std::string::npos) load = at;
    if (line.find(" opening-hidden ") != std::string::npos) hidden = at;
    if (std::sscanf(line.c_str(), "%*f opening-step %d", &step) == 1 && load >= 0)
      late = std::max(late, at - load - (step + 1) * 200.0);
  }
  if (load < 0 || hidden < 0) return 1;
  std::printf("opening_hide_after_load_ms %.1f ms\n", hidden - load);
  std::printf("opening_step_max_late_ms %.1f ms\n", late);
  return 0;
}
