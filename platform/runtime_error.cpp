// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/runtime_error.h"

namespace platform {

QString RuntimeError::standardMessage(int number) {
  switch (number) {
    case err::InvalidArgument: return QStringLiteral("Invalid procedure call or argument");
    case err::Overflow: return QStringLiteral("Overflow");
    case err::SubscriptOutOfRange: return QStringLiteral("Subscript out of range");
    case err::DivisionByZero: return QStringLiteral("Division by zero");
    case err::BadFileName: return QStringLiteral("Bad file name or number");
    case err::FileNotFound: return QStringLiteral("File not found");
    case err::InputPastEnd: return QStringLiteral("Input past end of file");
    case err::PathFileAccess: return QStringLiteral("Path/File access error");
    case err::PathNotFound: return QStringLiteral("Path not found");
    case err::InvalidPicture: return QStringLiteral("Invalid picture");
    default: return QStringLiteral("Application-defined or object-defined error");
  }
}

RuntimeError::RuntimeError(int number, QString message)
    : number_(number), message_(message.isEmpty() ? standardMessage(number) : std::move(message)) {
  what_ = reportText().toStdString();
}

RuntimeError& RuntimeError::at(const ErrorPlace& place) {
  if (!hasPlace()) {
    // A hint given where the error arose survives being placed further out.
    const QString hint = place_.hint;
    place_ = place;
    if (place_.hint.isEmpty()) place_.hint = hint;
    what_ = reportText().toStdString();
  }
  return *this;
}

QString RuntimeError::reportText() const {
  QString text = QStringLiteral("Run-time error '%1':\n\n%2").arg(number_).arg(message_);
  if (hasPlace()) {
    text += QStringLiteral("\n\nFile: %1").arg(place_.file);
    if (place_.line > 0) text += QStringLiteral("\nLine %1: %2").arg(place_.line).arg(place_.lineText);
    if (!place_.hint.isEmpty()) text += QStringLiteral("\n%1").arg(place_.hint);
  }
  return text;
}

RuntimeError missingControlElement(int index) {
  return RuntimeError(err::NoControlArrayElement,
                      QStringLiteral("Control array element '%1' doesn't exist").arg(index));
}

}  // namespace platform
