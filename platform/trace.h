// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The developer trace: with KIVO_TRACE=1 every observable action becomes one line
// "<ms since start, 3 decimals> <event> <fields>" on stderr. Texts are JSON strings.
#include <QString>
#include <functional>
#include <string>
#include <string_view>

namespace platform::trace {

bool enabled();
void setEnabled(bool on);              // tests switch it on without the environment
void setClock(std::function<double()> msSinceStart);  // virtual clocks in tests
void resetClock();                     // back to the real clock, restarted now
void setSink(std::function<void(const std::string&)> sink);  // nullptr: stderr
double nowMs();

std::string jsonString(const QString& text);

// Builds one trace line; it is written when the builder goes out of scope.
//   Event("caption").text(t);
class Event {
 public:
  explicit Event(std::string_view name);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  Event& text(const QString& value);
  Event& num(long long value);
  Event& word(std::string_view value);  // bare token: true/false, on/off, state names

 private:
  bool on_;
  std::string line_;
};

}  // namespace platform::trace
