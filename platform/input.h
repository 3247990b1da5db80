// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one sequential input slot (file number 1) through which every scenario file is
// read: open, line input, comma-field input, close-all.
#include <QByteArray>
#include <QString>

namespace platform {

class SequentialInput {
 public:
  // Opens a file for reading by its Windows-style name; the slot must be free.
  // Errors: 53 no such file, 75 a folder or unreadable, 52 when the slot is in use.
  void open(const QString& name);
  bool isOpen() const { return open_; }

  // One line: ends at CR, or at CR LF; a lone LF belongs to the line. Error 62 at the end.
  QString lineInput();
  // One comma-delimited field (quoted fields keep their commas). Error 62 when no data is left.
  QString fieldInput();
  bool atEnd() const { return pos_ >= data_.size(); }

  // Closes the slot; harmless when nothing is open.
  void closeAll();

  const QString& fileName() const { return name_; }
  // Number of the line the last line input returned (1-based), for error places.
  int lineNumber() const { return lineNo_; }
  // What is wrong with the file's line ends, empty when nothing: LF line ends with no
  // CR at all make the whole file read as one line.
  QString lineEndProblem() const;

 private:
  [[noreturn]] void pastEnd() const;

  QByteArray data_;
  qsizetype pos_ = 0;
  int lineNo_ = 0;
  bool open_ = false;
  QString name_;
};

}  // namespace platform
