// SPDX-License-Identifier: GPL-3.0-or-later
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
#include "selection/form2.h"
#include <QListWidget>
#include <QProcess>
#include <algorithm>
#include <map>
#include <string_view>
#include <utility>

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

// What the player says when it plays the programme and the viewer presses `item`, and
// what it did.
struct PlayerRun {
  platform::RuntimeError error{0};
  QString trace;
};
PlayerRun playerRun(const QString& item, const QString& file = "KIVO.001") {
  PlayerWorld world;
  world.state.scenarioPath = file;
  if (!item.isEmpty()) world.choose(item);
  const platform::RuntimeError error = raisedBy([&] { world.engine.runProgramme(); });
  return {error, world.trace};
}

void writePicture(const QString& name, int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  image.fill(Qt::darkCyan);
  ASSERT_TRUE(image.save(name));  // in the format its suffix names
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

struct Output {
  int status = -1;
  QStringList lines;  // standard output, then standard error
};

Output runCheck(const QStringList& paths, bool json = false, bool werror = false) {
  char* buffers[2] = {};
  size_t sizes[2] = {};
  const check::Options options{
      .json = json, .werror = werror, .out = open_memstream(&buffers[0], &sizes[0]), .err = open_memstream(&buffers[1], &sizes[1])};
  Output result{.status = check::run(paths, options), .lines = {}};
  std::fclose(options.out);
  std::fclose(options.err);
  for (int i = 0; i < 2; ++i) {
    result.lines += QString::fromUtf8(buffers[i], qsizetype(sizes[i])).split('\n', Qt::SkipEmptyParts);
    std::free(buffers[i]);
  }
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
    const platform::RuntimeError player = playerRun(QString::fromUtf8(c.item)).error;
    ASSERT_NE(player.number(), 0) << "the player plays it through";
    const check::FileReport report = check::Checker().check("KIVO.001", "KIVO.001");
    ASSERT_EQ(report.count(Severity::Error), 1);
    EXPECT_EQ(report.count(Severity::Warning), 0);
    const auto error = std::ranges::find(report.diagnostics, Severity::Error, &check::Diagnostic::severity);
    EXPECT_EQ(error->number, player.number());
    EXPECT_EQ(error->line, player.place().line > 0 ? player.place().line : c.lineWhenNone);
  }
}

// Findings as "file:line:column code" ("file:" left out for KIVO.001), from the JSON output.
QStringList findings(const Output& out) {
  QStringList found;
  for (const QString& line : out.lines) {
    const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
    EXPECT_EQ(o["schema"].toInt(), check::kJsonSchema) << line.toStdString();
    if (o.contains("summary")) continue;
    const QString file = o["file"].toString() == "KIVO.001" ? QString() : o["file"].toString() + ":";
    found << QString("%1%2:%3 %4").arg(file).arg(o["line"].toInt()).arg(o["column"].toInt()).arg(o["code"].toString());
  }
  return found;
}

TEST(Check, SeveralFaultsAreAllReportedInFileOrder) {
  Folder dir;
  // The menu presses B before A; the report still follows the file.
  dir.write("KIVO.001", programme(kCast, {"ミカ：あ", "@VIEW NONE.BMP"}, {"B", "A", "ＥＮＤ"},
                                  {"[A]", "ミカ　コロンなし", "[B]", "ミカ：い", "", "[ＥＮＤ]", "ミカ：じゃ"}));
  const Output text = runCheck({});
  EXPECT_EQ(text.status, 1);
  EXPECT_TRUE(text.lines[0].startsWith("KIVO.001:6:1: error: Run-time error '53': File not found — ")) << text.lines[0].toStdString();
  const Output json = runCheck({dir.path()}, true);
  EXPECT_EQ(findings(json), (QStringList{dir.path() + "/KIVO.001:6:1 run-time-error", dir.path() + "/KIVO.001:12:1 run-time-error",
                                         dir.path() + "/KIVO.001:15:1 run-time-error"}));
  EXPECT_EQ(QJsonDocument::fromJson(json.lines[0].toUtf8()).object(),
            (QJsonObject{{"schema", 1}, {"file", dir.path() + "/KIVO.001"}, {"line", 6}, {"column", 1}, {"severity", "error"},
                         {"code", "run-time-error"}, {"number", 53}, {"message", "File not found"}, {"hint", "no picture file \"NONE.BMP\""}}));
}

struct FindingCase {
  const char* name;
  std::map<QString, QByteArray> files;  // KIVO.001 unless said
  QStringList expected;                 // every finding, in order
  const char* item = "ＥＮＤ";           // the player's run to compare with; nullptr: none
  const char* never = nullptr;          // what that run never shows, though the file seems to ask for it
  const char* said = "";                // words some finding must hold
  QStringList paths = {};
};

QByteArray cp932(const QStringList& lines) { return platform::encodeAnsi(lines.join("\r\n") + "\r\n"); }

// Each finding the player shows no sign of, and each hint that names the real cause: as
// the player does it where it can show it.
TEST(Check, SilentFaultsAndRealCausesAreReportedWhereAnEditorShowsThem) {
  const QStringList endOnly{"[ＥＮＤ]", "@CLS"};
  // KIVO.001 with these lines in [pre] and a menu of ＥＮＤ alone.
  const auto withPre = [&](const QStringList& pre) { return std::map<QString, QByteArray>{{"KIVO.001", cp932(programme(kCast, pre, {"ＥＮＤ"}, endOnly))}}; };
  const QByteArray plain = withPre({"ミカ：あ"}).begin()->second;
  const FindingCase cases[] = {
      {"files the list never shows", {{"KIVO.001", plain}, {"KIVO.002.txt", plain}, {"KIVO.101", plain}},
       {"KIVO.002.txt:1:1 not-listed", "KIVO.101:1:1 not-listed"}, "ＥＮＤ", nullptr, "rename it KIVO.002"},
      {"a line beginning with [ ends its section",
       {{"KIVO.001", cp932(programme(kCast, {"ミカ：あ", "[効果音]ピンポン", "ミカ：い"}, {"ＥＮＤ"},
                                     {"[ＥＮＤ]", "ミカ：う", "[笑]", "ミカ：え"}))}},
       {"6:1 line-ends-section", "12:1 section-unreached"}, "ＥＮＤ", "caption い", "it and the 1 line after it never run"},
      {"commands the player ignores", withPre({"@VEIW R.BMP", "@play TUNE.MID", "@Voice CLIP.WAV", "@ VIEW R.BMP", "@CLS "}),
       {"5:2 command-ignored", "6:2 command-ignored", "7:2 command-ignored", "8:2 command-ignored", "9:5 command-ignored"},
       "ＥＮＤ", "view-show", "did you mean \"@VIEW\"?"},
      {"an ideographic comma in the title line", {{"KIVO.001", platform::encodeAnsi("001、テスト番組") + plain.mid(plain.indexOf('\r'))}},
       {"1:4 title-missing"}, "ＥＮＤ", nullptr, "\"[pictureinit]\" as the title"},
      {"a title cut at its second comma", {{"KIVO.001", platform::encodeAnsi("3,クイズ, 音楽") + plain.mid(plain.indexOf('\r'))}},
       {"1:6 title-cut"}, "ＥＮＤ", nullptr, "\"クイズ\""},
      {"a byte-order mark", {{"KIVO.001", "\xEF\xBB\xBF" + plain}}, {"1:1 byte-order-mark"}},
      {"a speaker picture larger than its box", {{"KIVO.001", cp932(programme({"ミカ=BIG.BMP,T.BMP"}, {"ミカ：あ"}, {"ＥＮＤ"}, endOnly))}},
       {"5:1 speaker-picture-too-large"}, "ＥＮＤ", nullptr, "256 x 192"},
      {"& in a dialogue line", withPre({"ミカ：Q&A と &&"}),
       {"5:5 ampersand"}, "ＥＮＤ", nullptr, "\"QA と &\""},
      {"no way out of the menu", {{"KIVO.001", cp932(programme(kCast, {"ミカ：あ"}, {"A", "END"}, {"[A]", "ミカ：い", "[END]", "@CLS"}))}},
       {"6:1 menu-no-end"}, nullptr, nullptr, "\"END\" is an ordinary item"},
      {"a UTF-8 file", {{"KIVO.001", programme(kCast, {"ミカ：あ"}, {"ＥＮＤ"}, endOnly).join("\r\n").toUtf8() + "\r\n"}},
       {"1:1 encoding-utf8", "5:1 run-time-error", "6:1 menu-no-end"}, "", nullptr, "not Shift-JIS"},
      {"a header in other letter case",
       {{"KIVO.001", cp932(QStringList{"1,題", "[Pictureinit]"} + programme(kCast, {"ミカ：あ"}, {"ＥＮＤ"}, endOnly).mid(2))}},
       {"1:1 run-time-error", "2:2 header-misspelt"}, "", nullptr, "no line [pictureinit]"},
      {"a blank after a speaker's name in the cast", {{"KIVO.001", cp932(programme({"ミカ =R.BMP,T.BMP"}, {"ミカ：あ"}, {"ＥＮＤ"}, endOnly))}},
       {"5:1 speaker-not-in-cast"}, "ＥＮＤ", nullptr, "the cast has \"ミカ \""},
      {"a blank after [ＥＮＤ]", {{"KIVO.001", cp932(programme(kCast, {"ミカ：あ"}, {"ＥＮＤ"}, {"[ＥＮＤ] ", "@CLS"}))}},
       {"7:1 run-time-error", "8:6 header-misspelt"}, "ＥＮＤ", nullptr, "no line [ＥＮＤ]"},
      {"a picture beyond the decoding limit", withPre({"@VIEW HUGE.PNG"}),
       {"5:1 run-time-error"}, "", nullptr, "5000 x 4000 pixels"},
      {"an empty menu", {{"KIVO.001", cp932(programme(kCast, {"ミカ：あ"}, {}, {"[ＥＮＤ]", "@CLS"}))}},
       {"6:1 menu-empty"}, "[ＥＮＤ]", nullptr, "section [menu] is empty"},
      {"an ASCII colon, in a file named in lower case", {{"kivo.001", cp932(programme(kCast, {"ミカ:あ"}, {"ＥＮＤ"}, endOnly))}},
       {"kivo.001:5:3 run-time-error"}, "", nullptr, "full-width colon"},
      {"a blank after a file name", withPre({"@VIEW R.BMP　"}),
       {"5:12 run-time-error"}, "", nullptr, "\"R.BMP　\""},
      {"a lone LF before the fault", withPre({"ミカ：あ\nミカ：い", "ミカ　はい"}),
       {"7:1 run-time-error"}, ""},
      {"one path missing among several", withPre({"ミカ:あ"}),
       {"NONE.001:0:0 no-such-path", "5:3 run-time-error"}, "", nullptr, "", {"NONE.001", "KIVO.001"}},
  };
  for (const FindingCase& c : cases) {
    SCOPED_TRACE(c.name);
    Folder dir;
    writePicture("BIG.BMP", 256, 192);
    if (std::string_view(c.name) == "a picture beyond the decoding limit") writePicture("HUGE.PNG", 5000, 4000);
    for (const auto& [name, bytes] : c.files) dir.writeBytes(name, bytes);
    const Output out = runCheck(c.paths, true);
    EXPECT_EQ(findings(out), c.expected);
    const bool fails = std::any_of(c.expected.begin(), c.expected.end(),
                                   [](const QString& f) { return f.endsWith(" run-time-error") || f.endsWith(" menu-empty"); });
    EXPECT_EQ(out.status, c.paths.isEmpty() ? int(fails) : 2);
    QString said;
    QStringList titles, listed;  // the titles of the files the check does not call unlisted, the list's
    int number = 0;
    bool unlisted = false;
    for (const QString& line : out.lines) {
      const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
      said += o["message"].toString() + " — " + o["hint"].toString() + "\n";
      if (number == 0) number = o["number"].toInt();
      unlisted = unlisted || o["code"] == "not-listed";
      if (o.contains("summary") && !std::exchange(unlisted, false)) titles << o["summary"].toObject()["title"].toString();
    }
    EXPECT_TRUE(said.contains(QString::fromUtf8(c.said))) << said.toStdString();
    engine::SharedState state;
    selection::Form2 list(state, [] {});
    list.load();
    for (int i = 0; i < list.List1()->count(); ++i) listed << list.List1()->item(i)->text().chopped(208);
    EXPECT_EQ(listed, titles);
    if (c.item == nullptr) continue;
    // The player: the same run-time error, or none, and not what the file seems to ask for.
    const QString file = c.files.begin()->first;
    const PlayerRun player = playerRun(QString::fromUtf8(c.item), file.size() == 8 ? file : "KIVO.001");
    EXPECT_EQ(player.error.number(), number);
    if (c.never != nullptr) {
      EXPECT_FALSE(player.trace.contains(QString::fromUtf8(c.never))) << player.trace.toStdString();
    }
  }
}

// An editor reading the text output with its default error format finds the findings
// and nothing else: not the summaries (a title like `特集 "A" 2: B`, an hour of running
// time), not a missing path's message.
TEST(Check, AnEditorsDefaultErrorFormatFindsExactlyTheFindings) {
  Folder dir;
  QStringList hour;
  for (int i = 0; i < 800; ++i) hour << "ミカ：" + QString(60, QChar(u'あ'));
  dir.write("KIVO.001", QStringList{"1,特集 \"A\" 2: B (3): |4| x:5:6"} + programme(kCast, hour, {"ＥＮＤ"}, {"[ＥＮＤ]", "@CLS"}).mid(1));
  dir.write("kivo.002", programme(kCast, {"@VEIW R.BMP", "ミカ：Q&A", "ミカ:あ"}, {"A"}, {"[A]", "[笑]", "ミカ：い", "[ＥＮＤ] ", "@CLS"}));
  const Output text = runCheck({"KIVO.001", "kivo.002", "NONE.003"});
  EXPECT_EQ(text.status, 2);
  EXPECT_TRUE(text.lines[0].contains("running time 1 h ")) << text.lines[0].toStdString();
  dir.writeBytes("out.txt", text.lines.join('\n').toUtf8() + '\n');
  QProcess vim;
  vim.setStandardInputFile(QProcess::nullDevice());
  vim.start("vim", {"-es", "-N", "-u", "NONE", "-i", "NONE", "-c", "cgetfile out.txt", "-c",
                    "call writefile(map(filter(getqflist(), 'v:val.valid'), "
                    "'bufname(v:val.bufnr) . \":\" . v:val.lnum . \":\" . v:val.col'), 'qf.txt')",
                    "-c", "qa!"});
  ASSERT_TRUE(vim.waitForFinished(30000)) << "vim (Debian's vim package) is needed";
  QFile qf("qf.txt");
  ASSERT_TRUE(qf.open(QIODevice::ReadOnly));
  QStringList expected;
  for (const QString& line : runCheck({"KIVO.001", "kivo.002", "NONE.003"}, true).lines) {
    const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
    if (o.contains("line") && !o["line"].isNull())
      expected << QString("%1:%2:%3").arg(o["file"].toString()).arg(o["line"].toInt()).arg(o["column"].toInt());
  }
  EXPECT_EQ(expected.size(), 7);
  EXPECT_EQ(QString::fromUtf8(qf.readAll()).split('\n', Qt::SkipEmptyParts), expected);
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
