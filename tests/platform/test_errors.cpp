// Run-time errors: numbers, standard messages, and the report with its place.
#include "platform/runtime_error.h"

#include <gtest/gtest.h>

#include "platform/basic.h"

namespace {

using platform::ErrorPlace;
using platform::RuntimeError;

TEST(RuntimeErrors, StandardMessages) {
  const std::pair<int, const char*> table[] = {
      {5, "Invalid procedure call or argument"},
      {6, "Overflow"},
      {9, "Subscript out of range"},
      {11, "Division by zero"},
      {52, "Bad file name or number"},
      {53, "File not found"},
      {62, "Input past end of file"},
      {75, "Path/File access error"},
      {76, "Path not found"},
      {481, "Invalid picture"},
  };
  for (const auto& [number, message] : table) {
    const RuntimeError e(number);
    EXPECT_EQ(e.number(), number);
    EXPECT_EQ(e.message(), QString::fromUtf8(message)) << number;
  }
  EXPECT_EQ(platform::missingControlElement(7).number(), 340);
  EXPECT_EQ(platform::missingControlElement(7).message(), "Control array element '7' doesn't exist");
  EXPECT_EQ(RuntimeError(5, "Own text").message(), "Own text");
}

TEST(RuntimeErrors, ReportWithoutAPlace) {
  const RuntimeError e(62);
  EXPECT_FALSE(e.hasPlace());
  EXPECT_EQ(e.reportText(), "Run-time error '62':\n\nInput past end of file");
  EXPECT_STREQ(e.what(), "Run-time error '62':\n\nInput past end of file");
}

TEST(RuntimeErrors, ReportNamesFileLineAndText) {
  RuntimeError e(5);
  e.at(ErrorPlace{"KIVO.001", 12, "ミク＝a.bmp", {}});
  EXPECT_EQ(e.reportText(),
            "Run-time error '5':\n\nInvalid procedure call or argument\n\nFile: KIVO.001\nLine 12: ミク＝a.bmp");
  // what() carries the same text as UTF-8, for logs and test failures.
  EXPECT_EQ(QString::fromUtf8(e.what()), e.reportText());
}

TEST(RuntimeErrors, ReportWithAHintInsteadOfALine) {
  RuntimeError e(62);
  e.at(ErrorPlace{"KIVO.002", 0, {}, "the file uses LF line ends; scenario files need CR LF"});
  EXPECT_EQ(e.reportText(),
            "Run-time error '62':\n\nInput past end of file\n\nFile: KIVO.002\n"
            "the file uses LF line ends; scenario files need CR LF");
}

TEST(RuntimeErrors, InnermostPlaceIsKept) {
  // The reader locates an error first; a caller further out must not overwrite it.
  try {
    try {
      throw RuntimeError(53).at(ErrorPlace{"a.bmp", 0, {}, {}});
    } catch (RuntimeError& e) {
      e.at(ErrorPlace{"KIVO.003", 4, "@VIEW a.bmp", {}});
      throw;
    }
  } catch (const std::exception& e) {
    const QString text = QString::fromUtf8(e.what());
    EXPECT_TRUE(text.contains("File: a.bmp")) << e.what();
    EXPECT_FALSE(text.contains("KIVO.003")) << e.what();
  }
}

TEST(BasicArithmetic, BankersRounding) {
  using platform::bankersRound;
  EXPECT_EQ(bankersRound(0.5), 0);
  EXPECT_EQ(bankersRound(1.5), 2);
  EXPECT_EQ(bankersRound(2.5), 2);
  EXPECT_EQ(bankersRound(3.5), 4);
  EXPECT_EQ(bankersRound(-2.5), -2);
  EXPECT_EQ(bankersRound(-3.5), -4);
  EXPECT_EQ(bankersRound(2.4999), 2);
  EXPECT_EQ(bankersRound(2.5001), 3);
  EXPECT_EQ(bankersRound(-0.4), 0);
}

TEST(BasicArithmetic, IntegerDivisionRoundsOperandsThenTruncates) {
  using platform::intDiv;
  EXPECT_EQ(intDiv(7, -2), -3);
  EXPECT_EQ(intDiv(-7, 2), -3);
  EXPECT_EQ(intDiv(7, 2), 3);
  EXPECT_EQ(intDiv(7.5, 2), 4);    // 8 \ 2
  EXPECT_EQ(intDiv(6.5, 2.5), 3);  // 6 \ 2
  EXPECT_EQ(intDiv(9, 1.5), 4);    // 9 \ 2
}

TEST(BasicArithmetic, ImpossibleResultsAreRunTimeErrors) {
  // Undefined behaviour in C++; Windows reports them as errors.
  auto errorOf = [](auto f) {
    try {
      f();
    } catch (const RuntimeError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(errorOf([] { platform::intDiv(5, 0); }), 11);
  EXPECT_EQ(errorOf([] { platform::intDiv(5, 0.4); }), 11);
  EXPECT_EQ(errorOf([] { platform::bankersRound(1e300); }), 6);
  EXPECT_EQ(errorOf([] { platform::bankersRound(std::nan("")); }), 6);
}

}  // namespace
