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

int errorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

class ReaderTest : public ::testing::Test {
 protected:
  ScenarioDir dir;
  platform::SequentialInput input;
  SectionReader reader{input};
};

TEST_F(ReaderTest, BodyRunsFromTheHeaderToTheNextBracketLine) {
  dir.write("KIVO.001", {"1,t", "[pre]", "a：x", "@CLS", "[other", "b：y", "[x]"});
  EXPECT_EQ(body(reader, "[pre]"), (QStringList{"a：x", "@CLS"}));
  // A line beginning with "[" that is no known header still ends a body.
  EXPECT_EQ(body(reader, "[other"), (QStringList{"b：y"}));
}

TEST_F(ReaderTest, FirstBodyLineIsTakenEvenWhenItIsAHeader) {
  dir.write("KIVO.001", {"1,t", "[menu]", "[pre]", "a：x", "b：y", "[end]"});
  EXPECT_EQ(body(reader, "[menu]"), (QStringList{"[pre]", "a：x", "b：y"}));
}

TEST_F(ReaderTest, HeadersAreSearchedFromTheTopAndMatchWholeLines) {
  dir.write("KIVO.001", {"1,t", "[pre] ", "wrong：1", "[pre]", "first：2", "[pre]", "second：3", "[x]"});
  EXPECT_EQ(body(reader, "[pre]"), (QStringList{"first：2"}));
  EXPECT_EQ(body(reader, "[pre]"), (QStringList{"first：2"}));  // a fresh open every time
}

TEST_F(ReaderTest, LineEndsAreCrOrCrLfAndALoneLfIsPartOfTheLine) {
  dir.writeBytes("KIVO.001", "1,t\r[pre]\r\na\nb\r\rc\r\n[x]");
  EXPECT_EQ(body(reader, "[pre]"), (QStringList{"a\nb", "", "c"}));
}

TEST_F(ReaderTest, ReadingPastTheEndIsFatal) {
  dir.write("KIVO.001", {"1,t", "[pre]", "a：x", "b：y"});
  reader.openSection("KIVO.001", "[pre]");
  EXPECT_EQ(reader.firstBodyLine(), "a：x");
  // The second line is handed over before the missing end of the body is found.
  EXPECT_EQ(reader.nextBodyLine(), QString("b：y"));
  EXPECT_EQ(errorNumber([&] { reader.nextBodyLine(); }), 62);
  reader.closeAll();

  EXPECT_EQ(errorNumber([&] { reader.openSection("KIVO.001", "[menu]"); }), 62);
  reader.closeAll();
  EXPECT_EQ(errorNumber([&] { reader.openSection("KIVO.009", "[pre]"); }), 53);
}

TEST_F(ReaderTest, MissingHeaderInAnLfOnlyFileSaysWhy) {
  dir.write("KIVO.001", {"1,t", "[pre]", "a：x", "[x]"}, "\n");
  try {
    reader.openSection("KIVO.001", "[pre]");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 62);
    EXPECT_EQ(e.place().file, "KIVO.001");
    EXPECT_TRUE(e.reportText().contains("LF line ends")) << e.reportText().toStdString();
  }
}

TEST_F(ReaderTest, ShiftJisTextIsDecoded) {
  dir.write("KIVO.001", {"1,t", "[ＥＮＤ]", "ミルカ：表示と予定", "[x]"});
  EXPECT_EQ(body(reader, "[ＥＮＤ]"), (QStringList{"ミルカ：表示と予定"}));
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
  load({"A=a1.bmp,a2.bmp", "B = b1.bmp,b2.bmp,b3.bmp", "=e1,e2", "C=,"});
  EXPECT_EQ(cast.count(), 4);
  EXPECT_EQ(cast.lookup("A").rest, "a1.bmp");
  EXPECT_EQ(cast.lookup("A").talk, "a2.bmp");
  EXPECT_EQ(cast.lookup("B ").rest, " b1.bmp");
  EXPECT_EQ(cast.lookup("B ").talk, "b2.bmp,b3.bmp");
  EXPECT_TRUE(cast.lookup("B").rest.isEmpty());  // the trailing space belongs to the name
  EXPECT_EQ(cast.lookup("").rest, "e1");
  EXPECT_TRUE(cast.lookup("C").rest.isEmpty());
  EXPECT_TRUE(cast.lookup("nobody").talk.isEmpty());
}

TEST_F(CastTest, TheLastMatchWins) {
  load({"A=first.bmp,first2.bmp", "A=last.bmp,last2.bmp"});
  EXPECT_EQ(cast.lookup("A").rest, "last.bmp");
}

TEST_F(CastTest, ReloadingForgetsRowsOfTheEarlierProgramme) {
  QStringList ten;
  for (int i = 0; i < 10; ++i) ten << QString("P%1=r,t").arg(i);
  load(ten);
  load({"P0=r0,t0", "P1=r1,t1", "P2=r2,t2"});
  EXPECT_EQ(cast.count(), 3);
  EXPECT_TRUE(cast.lookup("P7").rest.isEmpty());
}

TEST_F(CastTest, FortyOneEntriesLoadAndFortyTwoFail) {
  QStringList entries;
  for (int i = 0; i < 41; ++i) entries << QString("P%1=r,t").arg(i);
  load(entries);
  EXPECT_EQ(cast.count(), 41);
  reader.closeAll();
  entries << "P41=r,t";
  try {
    load(entries);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 9);
    EXPECT_EQ(e.place().line, 44);
    EXPECT_EQ(e.place().lineText, "P41=r,t");
  }
}

TEST_F(CastTest, MalformedEntriesAreFatalWithTheirPlace) {
  for (const QString& bad : {QString("noequals"), QString(""), QString("A=nocomma"), QString("[pre]")}) {
    reader.closeAll();
    QStringList lines{"1,t", "[pictureinit]", "A=a,b", bad, "[pre]", "x：y", "[z]"};
    if (bad == "[pre]") lines = {"1,t", "[pictureinit]", "[pre]", "x：y", "[z]"};
    dir.write("KIVO.001", lines);
    try {
      cast.load(reader, "KIVO.001");
      ADD_FAILURE() << "accepted " << bad.toStdString();
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), 5) << bad.toStdString();
      EXPECT_EQ(e.place().file, "KIVO.001");
      EXPECT_EQ(e.place().lineText, bad);
    }
  }
}

}  // namespace
