// The check mode against the player: each fault the engine raises is reported with the
// player's own number at the player's own line; several faults all, in file order; the
// likely mistakes once each; a clean programme only its summary.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "../engine/fake_world.h"
#include "check/check.h"
#include "platform/access_key.h"
#include "platform/twips.h"
#include "stage/caption_box.h"
#include "stage/controls.h"
#include "stage/form1.h"

namespace {

using check::Severity;

// The fake stage with the real window behind it for pictures: the player's own loader.
class PlayerWorld : public kivo_test::FakeWorld {
 public:
  PlayerWorld() : window(events, [] {}, [] {}) { autoMode = true; }
  void setSpeakerPicture(const QString& file) override { window.setSpeakerPicture(file); }
  void setViewPicture(const QString& file) override {
    window.setViewPicture(file);
    viewSizeTwips = window.viewSize();
  }
  stage::Form1 window;
};

// What the player says when it plays the programme and the viewer presses `item`.
platform::RuntimeError playerStop(const QString& item) {
  PlayerWorld world;
  world.state.scenarioPath = "KIVO.001";
  if (!item.isEmpty()) world.choose(item);
  return kivo_test::raised([&] { world.engine.runProgramme(); });
}

void writePicture(const QString& name, int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  image.fill(Qt::darkCyan);
  ASSERT_TRUE(image.save(name, "BMP"));
}

// A folder with the cast's pictures, a tune and a clip that play.
struct Folder : kivo_test::ScenarioDir {
  Folder() {
    writePicture("R.BMP", 100, 100);
    writePicture("T.BMP", 100, 100);
    QFile::copy(KIVO_SOURCE_DIR "/demo/HOSHI.MID", "TUNE.MID");
    QFile::copy(KIVO_SOURCE_DIR "/demo/PINPON.WAV", "CLIP.WAV");
  }
};

QStringList programme(const QStringList& cast, const QStringList& pre, const QStringList& menu, const QStringList& rest) {
  return QStringList{"1,題", "[pictureinit]"} + cast + QStringList{"[pre]"} + pre + QStringList{"[menu]"} + menu + rest +
         QStringList{"[EOF]"};
}

const QStringList kCast{"ミカ=R.BMP,T.BMP"};

std::vector<check::Diagnostic> of(const check::FileReport& r, Severity s) {
  std::vector<check::Diagnostic> out;
  for (const auto& d : r.diagnostics)
    if (d.severity == s) out.push_back(d);
  return out;
}

struct Output {
  int status = -1;
  QStringList lines;
};

Output runCheck(const QStringList& paths, bool json = false, bool werror = false) {
  char* buffer = nullptr;
  size_t size = 0;
  const check::Options options{.json = json, .werror = werror, .out = open_memstream(&buffer, &size)};
  Output result{.status = check::run(paths, options), .lines = {}};
  std::fclose(options.out);
  result.lines = QString::fromUtf8(buffer, qsizetype(size)).split('\n', Qt::SkipEmptyParts);
  std::free(buffer);
  return result;
}

struct FaultCase {
  const char* name;
  QStringList lines;
  const char* item;    // what the viewer presses to reach the fault
  int lineWhenNone;    // where the check points when the player names no line
  const char* eol = "\r\n";
};

TEST(Check, EachFaultIsThePlayersNumberAtThePlayersLine) {
  QStringList tooManyCast;
  for (int i = 0; i < 42; ++i) tooManyCast << QString("役%1=R.BMP,T.BMP").arg(i);
  const QStringList endOnly{"[ＥＮＤ]", "@CLS"};
  const FaultCase cases[] = {
      {"dialogue without colon", programme(kCast, {"ミカ　はい"}, {"ＥＮＤ"}, endOnly), "", 0},
      {"cast entry without =", programme({"ミカ"}, {"ミカ：あ"}, {"ＥＮＤ"}, endOnly), "", 0},
      {"cast entry without ,", programme({"ミカ=R.BMP"}, {"ミカ：あ"}, {"ＥＮＤ"}, endOnly), "", 0},
      {"42 cast entries", programme(tooManyCast, {"ミカ：あ"}, {"ＥＮＤ"}, endOnly), "", 0},
      {"missing speaker picture", programme({"ミカ=R.BMP,NONE.BMP"}, {"ミカ：あ"}, {"ＥＮＤ"}, endOnly), "", 0},
      {"view not a picture", programme(kCast, {"@VIEW BAD.BMP"}, {"ＥＮＤ"}, endOnly), "", 0},
      {"missing view in an item", programme(kCast, {"ミカ：あ"}, {"A", "ＥＮＤ"}, QStringList{"[A]", "@VIEW NONE.GIF"} + endOnly), "A", 0},
      {"nine menu lines", programme(kCast, {"ミカ：あ"}, {"1", "2", "3", "4", "5", "6", "7", "8", "ＥＮＤ"}, endOnly), "", 0},
      // The player names no line for a missing section: the check points at the menu line.
      {"item without its section", programme(kCast, {"ミカ：あ"}, {"A", "ＥＮＤ"}, endOnly), "A", 7},
      {"no closing section", programme(kCast, {"ミカ：あ"}, {"ＥＮＤ"}, {}), "ＥＮＤ", 7},
      {"no menu", QStringList{"1,題", "[pictureinit]", "ミカ=R.BMP,T.BMP", "[pre]", "ミカ：あ", "[EOF]"}, "", 1},
      {"no cast section", QStringList{"1,題", "[pre]", "ミカ：あ", "[menu]", "ＥＮＤ", "[ＥＮＤ]", "@CLS", "[EOF]"}, "", 1},
      // ... and at the header of a section that runs to the end of the file.
      {"section to the end of the file",
       QStringList{"1,題", "[pictureinit]", "ミカ=R.BMP,T.BMP", "[menu]", "ＥＮＤ", "[ＥＮＤ]", "@CLS", "[pre]", "ミカ：あ"}, "", 8},
      // A file saved with LF line ends reads as one line: one error, not one per section.
      {"LF line ends", programme(kCast, {"ミカ：あ"}, {"ＥＮＤ"}, endOnly), "", 1, "\n"},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    Folder dir;
    dir.write("KIVO.001", c.lines, c.eol);
    dir.writeBytes("BAD.BMP", "not a picture");
    const platform::RuntimeError player = playerStop(QString::fromUtf8(c.item));
    ASSERT_NE(player.number(), 0) << "the player plays it through";
    const check::FileReport report = check::Checker().check("KIVO.001", "KIVO.001");
    const auto errors = of(report, Severity::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, player.number());
    EXPECT_EQ(errors[0].line, player.place().line > 0 ? player.place().line : c.lineWhenNone);
    EXPECT_TRUE(of(report, Severity::Warning).empty()) << of(report, Severity::Warning)[0].message.toStdString();
  }
}

TEST(Check, SeveralFaultsAreAllReportedInFileOrder) {
  Folder dir;
  // The menu presses B before A; the report still follows the file.
  dir.write("KIVO.001", programme(kCast, {"ミカ：あ", "@VIEW NONE.BMP"}, {"B", "A", "ＥＮＤ"},
                                  {"[A]", "ミカ　コロンなし", "[B]", "ミカ：い", "", "[ＥＮＤ]", "ミカ：じゃ"}));
  const Output text = runCheck({});
  EXPECT_EQ(text.status, 1);
  ASSERT_EQ(text.lines.size(), 4);
  EXPECT_TRUE(text.lines[0].startsWith("KIVO.001:6:1: error: Run-time error '53': File not found — ")) << text.lines[0].toStdString();
  EXPECT_TRUE(text.lines[1].startsWith("KIVO.001:12:1: error: Run-time error '5': Invalid procedure call or argument — "));
  EXPECT_TRUE(text.lines[2].startsWith("KIVO.001:15:1: error: Run-time error '5': "));
  EXPECT_TRUE(text.lines[3].startsWith("KIVO.001: \"題\": 4 sections, 3 dialogue lines, 1 speakers, "));

  const Output json = runCheck({dir.path()}, true);
  EXPECT_EQ(json.status, 1);
  ASSERT_EQ(json.lines.size(), 4);
  EXPECT_EQ(QJsonDocument::fromJson(json.lines[0].toUtf8()).object(),
            (QJsonObject{{"file", dir.path() + "/KIVO.001"}, {"line", 6}, {"column", 1}, {"severity", "error"},
                         {"number", 53}, {"message", "File not found"}, {"hint", "no picture file \"NONE.BMP\""}}));
  EXPECT_EQ(QJsonDocument::fromJson(json.lines[3].toUtf8()).object()["summary"].toObject()["dialogueLines"].toInt(), 3);
}

TEST(Check, EachLikelyMistakeIsWarnedOnceAndACleanProgrammeGivesOnlyItsSummary) {
  Folder dir;
  writePicture("BIG.BMP", 300, 200);
  dir.writeBytes("BAD.WAV", QByteArray("RIFF\x10\0\0\0WAVEjunkjunk", 20));
  const QString longText(120, QChar(u'あ'));
  dir.write("KIVO.001", {"[pictureinit]", "ミカ=R.BMP,T.BMP", "[pre]", "@PLAY NONE.MID", "@VOICE BAD.WAV",
                         "ダレ：だれ", "ダレ：だれだ", "@VIEW BIG.BMP", "@VIEW BIG.BMP", "ミカ：" + longText,
                         "[menu]", "A", "ＥＮＤ", "[A]", "ミカ：あ", "[A]", "ミカ：い", "[Z]", "ミカ：う", "[ＥＮＤ]",
                         "ミカ：じゃ", "[EOF]"});
  const check::FileReport report = check::Checker().check("KIVO.001", "KIVO.001");
  EXPECT_TRUE(of(report, Severity::Error).empty());
  QStringList warned;
  for (const auto& d : of(report, Severity::Warning)) warned << QString("%1 %2").arg(d.line).arg(d.message.section(' ', 0, 1));
  EXPECT_EQ(warned, (QStringList{"1 no title", "4 tune \"NONE.MID\"", "5 clip \"BAD.WAV\"", "6 speaker \"ダレ\"",
                                 "8 view picture", "10 the caption", "16 section header", "18 no menu"}));
  EXPECT_EQ(runCheck({}).status, 0);
  EXPECT_EQ(runCheck({}, false, true).status, 1);

  // The running time is the automatic phases of each line: (4 \ 3 + 1) * 200 + 500, then 700 twice.
  Folder clean;
  clean.write("KIVO.001", programme(kCast, {"@PLAY TUNE.MID", "@VOICE CLIP.WAV", "ミカ：あいうえ"}, {"A", "ＥＮＤ"},
                                    {"[A]", "ミカ：い", "@CLS", "[ＥＮＤ]", "ミカ："}));
  const Output out = runCheck({});
  EXPECT_EQ(out.status, 0);
  EXPECT_EQ(out.lines, QStringList{"KIVO.001: \"題\": 3 sections, 3 dialogue lines, 1 speakers, 2 pictures, 1 tunes, 1 clips, "
                                   "running time 0:02.3 (automatic mode, every item once)"});
}

// The quick bound the check uses for most captions agrees with laying them out.
TEST(Check, CaptionFitAgreesWithTheLayoutOfTheCaptionBox) {
  const QRect box = stage::captionBoxTwips();
  const QRect area = stage::CaptionLabel::textArea(platform::twipsRect(0, 0, box.width(), box.height()));
  const QFont font = stage::captionFont();
  const int lineHeight = platform::accessKeyTextHeight(font, area.width(), "あ");
  const QString pieces[] = {"今日はいい天気ですね。", "Hello, world! ", "ラジオ体操第一、", "&&", "supercalifragilistic", "1234567"};
  for (const QString& piece : pieces) {
    QString text;
    while (text.size() < 160) {
      text += piece;
      const bool fits = platform::accessKeyTextHeight(font, area.width(), text) <= area.height() / lineHeight * lineHeight;
      EXPECT_EQ(stage::fitCaption(text).fits, fits) << text.toStdString();
    }
  }
}

}  // namespace
