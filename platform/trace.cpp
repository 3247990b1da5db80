// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/trace.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace platform::trace {
namespace {

using Clock = std::chrono::steady_clock;

struct State {
  bool enabled = [] {
    const char* v = std::getenv("KIVO_TRACE");
    return v != nullptr && *v != '\0' && std::string_view(v) != "0";
  }();
  Clock::time_point start = Clock::now();
  std::function<double()> clock;
  std::function<void(const std::string&)> sink;
};

State& state() {
  static State s;
  return s;
}

}  // namespace

bool enabled() { return state().enabled; }
void setEnabled(bool on) { state().enabled = on; }
void setClock(std::function<double()> msSinceStart) { state().clock = std::move(msSinceStart); }
void resetClock() {
  state().clock = nullptr;
  state().start = Clock::now();
}
void setSink(std::function<void(const std::string&)> sink) { state().sink = std::move(sink); }

double nowMs() {
  State& s = state();
  if (s.clock) return s.clock();
  return std::chrono::duration<double, std::milli>(Clock::now() - s.start).count();
}

std::string jsonString(const QString& text) {
  std::string out = "\"";
  const QByteArray utf8 = text.toUtf8();
  for (char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", u);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

Event::Event(std::string_view name) : on_(enabled()) {
  if (!on_) return;
  // to_chars, not printf: Qt applications adopt the user's locale, whose decimal
  // separator may be a comma.
  char stamp[64];
  const auto res = std::to_chars(stamp, stamp + sizeof stamp, nowMs(), std::chars_format::fixed, 3);
  line_.assign(stamp, res.ec == std::errc() ? res.ptr : stamp);
  line_ += ' ';
  line_ += name;
}

Event::~Event() {
  if (!on_) return;
  line_ += '\n';
  State& s = state();
  if (s.sink) {
    s.sink(line_);
  } else {
    std::fwrite(line_.data(), 1, line_.size(), stderr);
    std::fflush(stderr);
  }
}

Event& Event::text(const QString& value) {
  if (on_) line_ += ' ' + jsonString(value);
  return *this;
}

Event& Event::num(long long value) {
  if (on_) line_ += ' ' + std::to_string(value);
  return *this;
}

Event& Event::word(std::string_view value) {
  if (on_) {
    line_ += ' ';
    line_ += value;
  }
  return *this;
}

}  // namespace platform::trace
