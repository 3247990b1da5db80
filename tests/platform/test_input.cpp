// SPDX-License-Identifier: GPL-3.0-or-later
// The sequential input slot on real files: line ends, field rules, end of file.
#include "platform/input.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <tuple>

#include "platform/runtime_error.h"
#include "tests/support/raised.h"
#include "tests/support/temp_folder.h"

namespace {

using platform::RuntimeError;
using platform::SequentialInput;

class Input : public TempFolderTest {
 protected:
  // Opens a file with the given bytes in the slot.
  void load(const std::string& bytes) {
    in.closeAll();
    writeFile("data.txt", bytes);
    in.open("DATA.TXT");
  }
  // Every line up to the end of the file.
  QStringList allLines() {
    QStringList lines;
    while (!in.atEnd()) lines << in.lineInput();
    return lines;
  }
  SequentialInput in;
};

// CR and CR LF end lines, a lone LF is a character; no empty line after a final
// terminator; the text is CP932. A file with LF ends only is one line, and reading past
// its end says why.
TEST_F(Input, LinesEndAtCrOrCrLfUpToTheEndOfTheFile) {
  const std::tuple<std::string, QStringList, bool> cases[] = {
      {"one\r\ntwo\rthree\nstill three\r\n\r\nlast", {"one", "two", "three\nstill three", "", "last"}, false},
      {"a\r\nb\r\n", {"a", "b"}, false},
      {"a\r\nb", {"a", "b"}, false},
      {"a\r\n\r\n", {"a", ""}, false},
      {"a\r", {"a"}, false},
      {"\x82\x64\x82\x6D\x82\x63\r\n\x95\x5C\x8E\xA6\r\n", {"ＥＮＤ", "表示"}, false},
      {"[pre]\nA\x81\x46hello\n[menu]\n", {"[pre]\nA：hello\n[menu]\n"}, true},
      {std::string("a\0b\r\n", 5), {QStringView(u"a\0b", 3).toString()}, false},  // NUL is text
  };
  for (const auto& [bytes, lines, loneLf] : cases) {
    load(bytes);
    EXPECT_EQ(!in.lineEndProblem().isEmpty(), loneLf) << bytes;
    EXPECT_EQ(allLines(), lines) << bytes;
    EXPECT_EQ(in.lineNumber(), lines.size());
    const QString report = raisedBy([&] { in.lineInput(); }).reportText();
    EXPECT_TRUE(report.startsWith("Run-time error '62'")) << report.toStdString();
    EXPECT_EQ(report.contains("the file uses LF line ends; scenario files need CR LF"), loneLf) << report.toStdString();
  }
  load("");
  EXPECT_EQ(raisedBy([&] { in.lineInput(); }).number(), 62);
  EXPECT_EQ(raisedBy([&] { in.fieldInput(); }).number(), 62);
}

TEST_F(Input, A50MbLineIsReadInBoundedMemory) {
  // Written in pieces, so that the test itself never holds the line.
  constexpr qsizetype kPiece = 1 << 20, kPieces = 50;
  {
    std::ofstream file(root() + "/big.txt", std::ios::binary);
    const std::string piece(kPiece - 2, 'x');
    for (int i = 0; i < kPieces; ++i) file << piece << "\x82\xa0";  // ... "あ"
    file << "\r\nnext";
  }
  auto peakKb = [] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
  };
  const long before = peakKb();
  in.closeAll();
  in.open("big.txt");
  const QString line = in.lineInput();
  EXPECT_EQ(line.size(), kPieces * (kPiece - 1));
  EXPECT_EQ(line.back(), u'あ');
  EXPECT_EQ(in.lineInput(), "next");
  // The file's bytes and the line as UTF-16 are three times the line; allow four.
  EXPECT_LT(peakKb() - before, 4 * kPieces * kPiece / 1024);
}

// Fields skip leading blanks and end at a comma or a line end (a lone LF too); empty
// fields before a comma or a line end are data. Quoted fields keep their commas and skip
// to the next comma; an unclosed quote runs to the end of the file.
TEST_F(Input, FieldsSplitAtCommasAndLineEndsAndQuotesKeepCommas) {
  const std::pair<std::string, QStringList> cases[] = {
      {"  1,\t Title one \r\nnext,x\n y\r\n,\r\n", {"1", "Title one ", "next", "x", "y", "", ""}},
      {"\"a, b\" junk,\"c\"\r\n  \"unclosed, to the end", {"a, b", "c", "unclosed, to the end"}},
      {std::string("\0,x\0\r\n", 6), {QString(QChar(0)), QStringView(u"x\0", 2).toString()}},
  };
  for (const auto& [bytes, fields] : cases) {
    load(bytes);
    for (const QString& field : fields) EXPECT_EQ(in.fieldInput(), field) << bytes;
    EXPECT_EQ(raisedBy([&] { in.fieldInput(); }).number(), 62);
  }
}

TEST_F(Input, OpenErrorsAndTheSlot) {
  makeFolder("folder");
  EXPECT_EQ(raisedBy([&] { in.open("absent.001"); }).number(), 53);
  EXPECT_EQ(raisedBy([&] { in.open("FOLDER"); }).number(), 75);
  EXPECT_FALSE(in.isOpen());
  load("x\r\n");
  EXPECT_EQ(raisedBy([&] { in.open("data.txt"); }).number(), 52);  // one slot only
  in.closeAll();
  EXPECT_FALSE(in.isOpen());
  EXPECT_EQ(raisedBy([&] { in.lineInput(); }).number(), 52);  // reading a closed slot
}

}  // namespace
