// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run-time errors of the Windows language run time: a number, its standard message, and
// (our addition) the place in the scenario where it happened.
#include <QString>
#include <exception>
#include <string>

namespace platform {

struct ErrorPlace {
  QString file;      // scenario file (or the file being opened)
  int line = 0;      // 1-based line number; 0 when not known
  QString lineText;  // the line's text
  QString hint;      // what is wrong, in words, where the number alone is unclear
};

class RuntimeError : public std::exception {
 public:
  explicit RuntimeError(int number, QString message = {});

  int number() const { return number_; }
  const QString& message() const { return message_; }
  const ErrorPlace& place() const { return place_; }
  bool hasPlace() const { return !place_.file.isEmpty(); }

  // Keeps the innermost place: an error already located is not re-located.
  RuntimeError& at(const ErrorPlace& place);

  // "Run-time error 'N':\n\nmessage" plus the place lines, as the report shows it.
  QString reportText() const;
  const char* what() const noexcept override { return what_.c_str(); }

  static QString standardMessage(int number);

 private:
  int number_;
  QString message_;
  ErrorPlace place_;
  std::string what_;
};

// Error numbers used across the program.
namespace err {
constexpr int InvalidArgument = 5;
constexpr int Overflow = 6;
constexpr int SubscriptOutOfRange = 9;
constexpr int DivisionByZero = 11;
constexpr int BadFileName = 52;
constexpr int FileNotFound = 53;
constexpr int InputPastEnd = 62;
constexpr int PathFileAccess = 75;
constexpr int PathNotFound = 76;
constexpr int NoControlArrayElement = 340;
constexpr int InvalidPicture = 481;
}  // namespace err

// Error 340 names the missing index in its message.
RuntimeError missingControlElement(int index);

}  // namespace platform
