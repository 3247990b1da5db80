// SPDX-License-Identifier: GPL-3.0-or-later
// The developer trace: line format, JSON texts, switching.
#include "platform/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/trace_capture.h"

namespace trace = platform::trace;

namespace {

struct Trace : ::testing::Test, TraceCapture {};

TEST_F(Trace, LineIsTimeEventAndJsonFieldsAndNothingWhenOff) {
  now = 1234.5678;
  trace::Event("caption").text("hi");
  now = 2;
  trace::Event("timer").word("on").num(-15);
  trace::Event("t").text("say \"hi\" C:\\p\\x.mid").text("a\nb\r\tc\x01\x1F").text("");
  // Non-ASCII stays readable as UTF-8, characters outside the BMP included.
  trace::Event("t").text("ミルカナランド放送局").text(QString::fromUtf8("\xF0\x9F\x8E\xB5"));
  trace::setEnabled(false);
  trace::Event("caption").text("hidden");
  EXPECT_EQ(lines, (std::vector<std::string>{"1234.568 caption \"hi\"\n", "2.000 timer on -15\n",
                                             "2.000 t \"say \\\"hi\\\" C:\\\\p\\\\x.mid\" \"a\\nb\\r\\tc\\u0001\\u001f\" \"\"\n",
                                             "2.000 t \"ミルカナランド放送局\" \"\xF0\x9F\x8E\xB5\"\n"}));
}

}  // namespace
