// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads scenario files the one way every part of the program does: open afresh, find a
// header from the top, hand over body lines one at a time, close.
#include <QString>
#include <optional>

#include "platform/runtime_error.h"

namespace platform {
class SequentialInput;
}

namespace engine {

class SectionReader {
 public:
  explicit SectionReader(platform::SequentialInput& input) : input_(input) {}

  // Opens `path` and consumes lines up to and including the line equal to `header`.
  void openSection(const QString& path, const QString& header);
  // The line after the header, taken whatever it holds.
  QString firstBodyLine();
  // The next body line; nothing once a line beginning with "[" ends the body.
  std::optional<QString> nextBodyLine();
  void closeAll();

  // Where the line last handed over stands, for error reports.
  platform::ErrorPlace place() const;

 private:
  enum class Looking { ForHeader, InBody };
  QString readLine(Looking looking);

  platform::SequentialInput& input_;
  QString header_;
  QString lastLine_;
};

}  // namespace engine
