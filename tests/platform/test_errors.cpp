// SPDX-License-Identifier: GPL-3.0-or-later
// Run-time errors: the report with its place, and Basic arithmetic that raises them.
#include "platform/runtime_error.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "platform/basic.h"
#include "tests/support/raised.h"

namespace {

using platform::ErrorPlace;
using platform::RuntimeError;

// The report: without a place, with file, line and text, with a hint instead of a line;
// what() carries the same text as UTF-8, for logs and test failures. The reader locates
// an error first, so the innermost place is kept: a caller further out does not replace it.
TEST(RuntimeErrors, ReportNamesFileLineAndTextOrTheHint) {
  const std::pair<std::optional<ErrorPlace>, QString> cases[] = {
      {std::nullopt, "Run-time error '5':\n\nInvalid procedure call or argument"},
      {ErrorPlace{"KIVO.001", 12, "ミク＝a.bmp", {}},
       "Run-time error '5':\n\nInvalid procedure call or argument\n\nFile: KIVO.001\nLine 12: ミク＝a.bmp"},
      {ErrorPlace{"KIVO.002", 0, {}, "the file uses LF line ends; scenario files need CR LF"},
       "Run-time error '5':\n\nInvalid procedure call or argument\n\nFile: KIVO.002\n"
       "the file uses LF line ends; scenario files need CR LF"}};
  for (const auto& [place, text] : cases) {
    RuntimeError e(5);
    if (place) e.at(*place).at(ErrorPlace{"KIVO.003", 4, "@VIEW a.bmp", {}});
    EXPECT_EQ(e.hasPlace(), place.has_value());
    EXPECT_EQ(e.reportText(), text);
    EXPECT_EQ(QString::fromUtf8(e.what()), text);
  }
}

TEST(BasicArithmetic, BankersRoundingAndIntegerDivisionOfRoundedOperands) {
  const std::pair<double, int> rounded[] = {{0.5, 0},   {1.5, 2},     {2.5, 2},     {3.5, 4}, {-2.5, -2},
                                            {-3.5, -4}, {2.4999, 2}, {2.5001, 3}, {-0.4, 0}};
  for (const auto& [x, r] : rounded) EXPECT_EQ(platform::bankersRound(x), r) << x;
  // 7.5 \ 2 is 8 \ 2; 6.5 \ 2.5 is 6 \ 2; 9 \ 1.5 is 9 \ 2; the quotient is truncated.
  const std::tuple<double, double, int> divided[] = {{7, -2, -3}, {-7, 2, -3}, {7, 2, 3}, {7.5, 2, 4}, {6.5, 2.5, 3}, {9, 1.5, 4}};
  for (const auto& [a, b, q] : divided) EXPECT_EQ(platform::intDiv(a, b), q) << a << " \\ " << b;
}

TEST(BasicArithmetic, ImpossibleResultsAreRunTimeErrors) {
  // Undefined behaviour in C++; Windows reports them as errors.
  EXPECT_EQ(raisedBy([] { platform::intDiv(5, 0); }).number(), 11);
  EXPECT_EQ(raisedBy([] { platform::intDiv(5, 0.4); }).number(), 11);
  EXPECT_EQ(raisedBy([] { platform::bankersRound(1e300); }).number(), 6);
  EXPECT_EQ(raisedBy([] { platform::bankersRound(std::nan("")); }).number(), 6);
}

}  // namespace
