// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The developer trace switched on into a list, on a clock the test sets, while it lives.
#include <string>
#include <vector>

#include "platform/trace.h"

struct TraceCapture {
  TraceCapture() {
    platform::trace::setEnabled(true);
    platform::trace::setClock([this] { return now; });
    platform::trace::setSink([this](const std::string& line) { lines.push_back(line); });
  }
  ~TraceCapture() {
    platform::trace::setSink(nullptr);
    platform::trace::resetClock();
    platform::trace::setEnabled(false);
  }
  // The lines without their time stamps and line ends.
  std::vector<std::string> traced() const {
    std::vector<std::string> out;
    for (const std::string& l : lines) out.push_back(l.substr(l.find(' ') + 1, l.size() - l.find(' ') - 2));
    return out;
  }

  double now = 0;
  std::vector<std::string> lines;
};
