// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/reader.h"

#include "platform/input.h"

namespace engine {

using platform::RuntimeError;

void SectionReader::openSection(const QString& path, const QString& header) {
  header_ = header;
  lastLine_.clear();
  input_.closeAll();
  input_.open(path);
  for (;;) {
    const QString line = readLine(Looking::ForHeader);
    if (line == header) return;
  }
}

QString SectionReader::firstBodyLine() {
  lastLine_ = readLine(Looking::InBody);
  return lastLine_;
}

std::optional<QString> SectionReader::nextBodyLine() {
  const QString line = readLine(Looking::InBody);
  if (line.startsWith(u'[')) return std::nullopt;
  lastLine_ = line;
  return line;
}

void SectionReader::closeAll() { input_.closeAll(); }

platform::ErrorPlace SectionReader::place() const {
  return {input_.fileName(), input_.lineNumber(), lastLine_, {}};
}

QString SectionReader::readLine(Looking looking) {
  if (input_.isOpen() && input_.atEnd()) {
    // Reading past the end is fatal; say which section ran into it and why.
    QString why = input_.lineEndProblem();
    if (why.isEmpty() && looking == Looking::ForHeader)
      why = QStringLiteral("no line %1 before the end of the file").arg(header_);
    else if (why.isEmpty())
      why = QStringLiteral("section %1 runs to the end of the file: a line beginning with \"[\" must follow it")
                .arg(header_);
    throw RuntimeError(platform::err::InputPastEnd).at({input_.fileName(), 0, {}, why});
  }
  return input_.lineInput();
}

}  // namespace engine
