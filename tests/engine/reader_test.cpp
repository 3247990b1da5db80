// SPDX-License-Identifier: GPL-3.0-or-later
// The section reader and the cast table against real files in a temporary folder.
#include <gtest/gtest.h>

#include "engine/cast.h"
#include "engine/reader.h"
#include "fake_world.h"
#include "platform/input.h"

using engine::CastTable;
using engine::SectionReader;
using kivo_test::ScenarioDir;
using platform::RuntimeError;

namespace {

QStringList body(SectionReader& r, const QString& header, const QString& file = "KIVO.001") {
  r.openSection(file, header);
  QStringList lines{r.firstBodyLine()};
  while (auto l = r.nextBodyLine()) lines << *l;
  r.closeAll();
  return lines;
}

class ReaderTest : public ::testing::Test {
 protected:
  ScenarioDir dir;
  platform::SequentialInput input;
  SectionReader reader{input};
};

// Headers match whole lines from the top, every open afresh; the first body line is taken
// even when it is a header; any later line that begins with "[" ends the body. Line ends
// and CP932 are the input slot's, tested there.
TEST_F(ReaderTest, BodyRunsFromTheHeaderToTheNextBracketLine) {
  const struct {
    QByteArray file;
    const char* header;
    QStringList body;
  } cases[] = {
      {"1,t\r\n[pre]\r\na\x81\x46x\r\n@CLS\r\n[other\r\nb\x81\x46y\r\n[x]\r\n", "[pre]", {"a：x", "@CLS"}},
      {"1,t\r\n[pre]\r\na\r\n[other\r\nb\x81\x46y\r\n[x]\r\n", "[other", {"b：y"}},
      {"1,t\r\n[menu]\r\n[pre]\r\na\r\n[end]\r\n", "[menu]", {"[pre]", "a"}},
      {"1,t\r\n[pre] \r\nwrong\r\n[pre]\r\nfirst\r\n[pre]\r\nsecond\r\n[x]\r\n", "[pre]", {"first"}},
  };
  for (const auto& c : cases) {
    dir.writeBytes("KIVO.001", c.file);
    EXPECT_EQ(body(reader, c.header), c.body) << c.file.toStdString();
    EXPECT_EQ(body(reader, c.header), c.body) << "opened again";
  }
}

TEST_F(ReaderTest, ReadingPastTheEndIsFatal) {
  dir.write("KIVO.001", {"1,t", "[pre]", "a：x", "b：y"});
  reader.openSection("KIVO.001", "[pre]");
  EXPECT_EQ(reader.firstBodyLine(), "a：x");
  // The second line is handed over before the missing end of the body is found.
  EXPECT_EQ(reader.nextBodyLine(), QString("b：y"));
  EXPECT_EQ(raisedBy([&] { reader.nextBodyLine(); }).number(), 62);
  reader.closeAll();

  const RuntimeError missing = raisedBy([&] { reader.openSection("KIVO.001", "[menu]"); });
  EXPECT_EQ(missing.number(), 62);
  EXPECT_TRUE(missing.reportText().contains("no line [menu]")) << missing.reportText().toStdString();
  reader.closeAll();
  // A header missing from a file with LF line ends says why.
  dir.write("KIVO.001", {"1,t", "[pre]", "a：x", "[x]"}, "\n");
  const RuntimeError e = raisedBy([&] { reader.openSection("KIVO.001", "[pre]"); });
  EXPECT_EQ(e.number(), 62);
  EXPECT_EQ(e.place().file, "KIVO.001");
  EXPECT_TRUE(e.reportText().contains("LF line ends")) << e.reportText().toStdString();
}

class CastTest : public ReaderTest {
 protected:
  void load(const QStringList& entries) {
    QStringList lines{"1,t", "[pictureinit]"};
    lines << entries << "[pre]";
    dir.write("KIVO.001", lines);
    cast.load(reader, "KIVO.001");
  }
  CastTable cast;
};

TEST_F(CastTest, EntriesSplitAtTheFirstEqualsAndCommaWithoutTrimming) {
  load({"A=first.bmp,first2.bmp", "A=a1.bmp,a2.bmp", "B = b1.bmp,b2.bmp,b3.bmp", "=e1,e2", "C=,"});
  EXPECT_EQ(cast.count(), 5);
  EXPECT_EQ(cast.lookup("A").rest, "a1.bmp");  // the last match wins
  EXPECT_EQ(cast.lookup("A").talk, "a2.bmp");
  EXPECT_EQ(cast.lookup("B ").rest, " b1.bmp");
  EXPECT_EQ(cast.lookup("B ").talk, "b2.bmp,b3.bmp");
  EXPECT_TRUE(cast.lookup("B").rest.isEmpty());  // the trailing space belongs to the name
  EXPECT_EQ(cast.lookup("").rest, "e1");
  EXPECT_TRUE(cast.lookup("C").rest.isEmpty());
  EXPECT_TRUE(cast.lookup("nobody").talk.isEmpty());
  reader.closeAll();
  load({"P0=r0,t0"});  // reloading forgets the earlier programme's rows
  EXPECT_EQ(cast.count(), 1);
  EXPECT_TRUE(cast.lookup("B ").rest.isEmpty());
}

// The first body line is an entry even when it is a header; 41 entries fit.
TEST_F(CastTest, MalformedEntriesAndTheFortySecondAreFatalWithTheirPlace) {
  QStringList many;
  for (int i = 0; i < 42; ++i) many << QString("P%1=r,t").arg(i);
  const std::pair<QStringList, int> cases[] = {
      {{"A=a,b", "noequals"}, 5}, {{"A=a,b", ""}, 5}, {{"A=a,b", "A=nocomma"}, 5}, {{"[pre]"}, 5}, {many, 9}};
  for (const auto& [entries, number] : cases) {
    reader.closeAll();
    const RuntimeError e = raisedBy([&] { load(entries); });
    EXPECT_EQ(e.number(), number) << entries.back().toStdString();
    EXPECT_EQ(e.place().file, "KIVO.001");
    EXPECT_EQ(e.place().line, entries.size() + 2);
    EXPECT_EQ(e.place().lineText, entries.back());
  }
  reader.closeAll();
  load(many.mid(0, 41));
  EXPECT_EQ(cast.count(), 41);
}

}  // namespace
