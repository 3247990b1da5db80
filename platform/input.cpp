// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/input.h"

#include "platform/files.h"
#include "platform/runtime_error.h"
#include "platform/text.h"

namespace platform {

void SequentialInput::open(const QString& name) {
  if (open_) throw RuntimeError(err::BadFileName).at({name, 0, {}, QStringLiteral("the input slot is already in use")});
  const auto path = resolvePath(name);
  if (!path) throw RuntimeError(err::FileNotFound).at({name, 0, {}, QStringLiteral("no such file in the current directory")});
  auto bytes = readFileBytes(*path);
  if (!bytes) throw RuntimeError(err::PathFileAccess).at({name, 0, {}, QStringLiteral("the file cannot be read")});
  data_ = std::move(*bytes);
  pos_ = 0;
  lineNo_ = 0;
  name_ = name;
  open_ = true;
}

void SequentialInput::closeAll() {
  open_ = false;
  data_.clear();
  pos_ = 0;
}

QString SequentialInput::lineEndProblem() const {
  if (data_.contains('\n') && !data_.contains('\r'))
    return QStringLiteral("the file uses LF line ends; scenario files need CR LF");
  return {};
}

void SequentialInput::pastEnd() const {
  ErrorPlace place{name_, 0, {}, {}};
  place.hint = lineEndProblem();
  if (place.hint.isEmpty()) place.hint = QStringLiteral("reached the end of the file after line %1").arg(lineNo_);
  throw RuntimeError(err::InputPastEnd).at(place);
}

QString SequentialInput::lineInput() {
  if (!open_) throw RuntimeError(err::BadFileName);
  if (atEnd()) pastEnd();
  const qsizetype start = pos_;
  qsizetype end = data_.indexOf('\r', start);
  if (end < 0) {
    end = data_.size();
    pos_ = end;
  } else {
    pos_ = end + 1;
    if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
  }
  ++lineNo_;
  return decodeAnsi(QByteArrayView(data_).sliced(start, end - start));
}

QString SequentialInput::fieldInput() {
  if (!open_) throw RuntimeError(err::BadFileName);
  if (atEnd()) pastEnd();
  const qsizetype n = data_.size();
  while (pos_ < n && (data_[pos_] == ' ' || data_[pos_] == '\t')) ++pos_;

  // Consumes what ends a field: a comma, or a line end (CR LF counts once).
  auto consumeTerminator = [&] {
    if (pos_ >= n) return;
    const char c = data_[pos_++];
    if (c == '\r') {
      ++lineNo_;
      if (pos_ < n && data_[pos_] == '\n') ++pos_;
    } else if (c == '\n') {
      ++lineNo_;
    }
  };

  QString field;
  if (pos_ < n && data_[pos_] == '"') {
    const qsizetype start = ++pos_;
    qsizetype close = data_.indexOf('"', start);
    if (close < 0) close = n;
    field = decodeAnsi(QByteArrayView(data_).sliced(start, close - start));
    pos_ = close < n ? close + 1 : n;
    // Whatever follows the closing quote up to the next comma or line end is skipped.
    while (pos_ < n && data_[pos_] != ',' && data_[pos_] != '\r' && data_[pos_] != '\n') ++pos_;
    consumeTerminator();
    return field;
  }
  const qsizetype start = pos_;
  while (pos_ < n && data_[pos_] != ',' && data_[pos_] != '\r' && data_[pos_] != '\n') ++pos_;
  field = decodeAnsi(QByteArrayView(data_).sliced(start, pos_ - start));
  consumeTerminator();
  return field;
}

}  // namespace platform
