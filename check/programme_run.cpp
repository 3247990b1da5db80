// SPDX-License-Identifier: GPL-3.0-or-later
// One programme through the engine on checking ports: the stage loads pictures and shows
// nothing, the sound probes files and plays nothing, the virtual clock pumps, the
// autopilot presses each item once, and every run-time error goes on with the next
// section instead of ending the run.
#include <QHash>
#include <QImage>
#include <QSet>
#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "catalogue/catalogue.h"
#include "check/check.h"
#include "engine/autopilot.h"
#include "engine/engine.h"
#include "engine/stage_events.h"
#include "engine/virtual_clock.h"
#include "platform/access_key.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/picture.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/twips.h"
#include "sound/winmm.h"
#include "sound/sound.h"
#include "stage/caption_box.h"

namespace check {

using engine::Phase;
using platform::RuntimeError;

int FileReport::count(Severity severity) const {
  return int(std::count_if(diagnostics.begin(), diagnostics.end(),
                           [severity](const Diagnostic& d) { return d.severity == severity; }));
}

// What loading a picture or probing a sound file gave, by folder and name: files do not
// change during a check, and a programme loads its speaker pictures at every phase.
struct Checker::Media {
  struct Picture {
    QSize twips;
    QString file;  // the file found, so that two spellings of one name count once
    std::optional<RuntimeError> error;
  };
  std::unordered_map<QString, Picture> pictures;  // nodes: references to them stay valid
  QHash<QString, QString> tuneProblems, clipProblems;

  static QString inCodePage(const QString& text) { return platform::decodeAnsi(platform::encodeAnsi(text)); }

  QString folder;  // the current directory of the programme being checked
  QString key(const QString& name) const { return folder + QChar(0) + name; }

  const Picture& picture(const QString& name) {
    const QString k = key(name);
    auto it = pictures.find(k);
    if (it != pictures.end()) return it->second;
    Picture p;
    try {
      // The window shows the picture at its own size in device-independent pixels.
      const QImage image = platform::loadPictureImage(name);
      p.twips = platform::pixelsToTwips(image.deviceIndependentSize().toSize());
      const auto found = platform::resolvePath(name);
      p.file = found ? platform::decodeFileName(*found) : name;
    } catch (const RuntimeError& e) {
      p.error = e;
      p.file = name;
    }
    return pictures.emplace(k, std::move(p)).first->second;
  }
  const QString& tuneProblem(const QString& file) {
    const QString k = key(file);
    auto it = tuneProblems.constFind(k);
    // Both go to the platform in the code page, as the player sends them.
    if (it == tuneProblems.constEnd())
      it = tuneProblems.insert(k, sound::winmm::musicFileProblem(inCodePage(sound::musicPath(file))));
    return *it;
  }
  const QString& clipProblem(const QString& file) {
    const QString k = key(file);
    auto it = clipProblems.constFind(k);
    if (it == clipProblems.constEnd()) it = clipProblems.insert(k, sound::winmm::clipFileProblem(inCodePage(file)));
    return *it;
  }
};

Checker::Checker() : media_(new Media) {}
Checker::~Checker() { delete media_; }

namespace {

// Far beyond any programme a person would write, and still a bound for a hostile file.
constexpr double kMaxProgrammeMs = 7.0 * 24 * 3600 * 1000;
struct TooLong {};

QString quoted(const QString& text) { return u'"' + text + u'"'; }

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == QChar(0x3000); }

// Where the blanks at the end of `text` begin (its size when there are none).
qsizetype trailingBlanks(const QString& text) {
  qsizetype end = text.size();
  while (end > 0 && isBlank(text[end - 1])) --end;
  return end;
}

// Letters as an author may mistype them: case, full-width forms and blanks at the ends ignored.
QString loosely(const QString& text) { return text.normalized(QString::NormalizationForm_KC).trimmed().toCaseFolded(); }

// Edits (insert, delete, change, swap of two neighbours) between two short words.
int editDistance(const QString& a, const QString& b) {
  std::vector<std::vector<int>> d(size_t(a.size()) + 1, std::vector<int>(size_t(b.size()) + 1));
  for (size_t i = 0; i <= size_t(a.size()); ++i) d[i][0] = int(i);
  for (size_t j = 0; j <= size_t(b.size()); ++j) d[0][j] = int(j);
  for (size_t i = 1; i <= size_t(a.size()); ++i)
    for (size_t j = 1; j <= size_t(b.size()); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d.back().back();
}

// What an ignored command line was probably meant to be, and the column of the mistake.
std::pair<QString, int> ignoredCommandHint(const QString& command) {
  static const QStringList kCommands{"CLS", "VIEW", "PLAY", "VOICE"};
  const QString text = command.normalized(QString::NormalizationForm_KC);
  qsizetype start = 0;
  while (start < text.size() && isBlank(text[start])) ++start;
  qsizetype end = start;
  while (end < text.size() && text[end].isLetter()) ++end;
  const QString word = text.mid(start, end - start);
  QString best;
  for (const QString& c : kCommands)
    if (word.compare(c, Qt::CaseInsensitive) == 0 || (best.isEmpty() && word.size() < 8 && editDistance(word.toUpper(), c) <= 2))
      best = c;
  if (best.isEmpty()) return {QStringLiteral("the player knows only @CLS, @VIEW, @PLAY and @VOICE"), 2};
  const QString meant = QStringLiteral("did you mean \"@%1\"?").arg(best);
  if (start > 0) return {QStringLiteral("nothing may come between \"@\" and the command word; ") + meant, 2};
  if (word == u"CLS") return {QStringLiteral("\"@CLS\" takes nothing after it, not even a space"), int(end) + 2};
  if (word.toUpper() == best) return {QStringLiteral("command words are upper case; ") + meant, 2};
  return {meant, 2};
}

// Where in its line an error is, when the line shows it: an ASCII colon where the
// full-width one is missing, blanks at the end of a file name.
int errorColumn(int number, const QString& hint, const QString& line) {
  if (number == platform::err::InvalidArgument && !line.contains(u'：') && line.contains(u':'))
    return int(line.indexOf(u':')) + 1;
  const qsizetype open = hint.indexOf(u'"');
  const qsizetype close = open >= 0 ? hint.indexOf(u'"', open + 1) : -1;
  if (close < 0) return 1;
  const QString name = hint.mid(open + 1, close - open - 1);
  const qsizetype at = line.lastIndexOf(name);
  return at >= 0 && trailingBlanks(name) < name.size() ? int(at + trailingBlanks(name)) + 1 : 1;
}

// Whether bytes are UTF-8 with at least one character beyond ASCII.
bool isUtf8Text(QByteArrayView bytes) {
  bool wide = false;
  for (qsizetype i = 0; i < bytes.size();) {
    const auto c = uchar(bytes[i]);
    const int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0 || (more == 1 && c < 0xC2) || i + more >= bytes.size()) return false;
    for (int k = 1; k <= more; ++k)
      if ((uchar(bytes[i + k]) & 0xC0) != 0x80) return false;
    wide = wide || more > 0;
    i += more + 1;
  }
  return wide;
}

// The checking stage shows nothing: what it does not watch goes nowhere.
engine::NoStage nowhere;

class ProgrammeRun : public engine::StageRelay, public engine::SoundPort {
 public:
  ProgrammeRun(Checker::Media& media, const QString& name)
      : StageRelay(nowhere),
        media_(media),
        events_(state_, input_),
        tap_(*this, &clock_),
        clock_([this] { events_.timerTick(); }),
        engine_(state_, tap_, *this, clock_, input_,
                {.onFault =
                     [this](const RuntimeError& e, Phase phase) {
                       fault(e, phase);
                       return true;
                     },
                 .onDialogue = [this](const QString& speaker, bool inCast) { dialogue(speaker, inCast); },
                 .onIgnoredCommand = [this](const QString& command) { ignoredCommand(command); }}) {
    state_.scenarioPath = name;
    media_.folder = platform::currentDirectory();
    tap_.onMenuOpened = [this] { clock_.schedule(0, [this] { press(); }); };
    tap_.onMenuClosed = [this] { sectionEntered_ = false; };
    clock_.beforeAdvance = [](double to) {
      if (to > kMaxProgrammeMs) throw TooLong{};
    };
  }

  FileReport run(const QString& shownAs) {
    FileReport report;
    report.file = shownAs;
    platform::trace::Event("check").text(shownAs);
    readFile(state_.scenarioPath);
    if (platform::trace::enabled()) platform::trace::setClock([this] { return clock_.now(); });
    try {
      engine_.runProgramme();
      completed_ = true;
    } catch (const engine::VirtualClock::Stalled&) {
      note(input_.lineNumber(), QStringLiteral("the programme waits for something that never comes; the check stops here"),
           "check-stopped");
    } catch (const TooLong&) {
      note(input_.lineNumber(), QStringLiteral("the programme plays for more than a week; the check stops here"), "check-stopped");
    } catch (const RuntimeError& e) {
      fault(e, Phase::Closing);
    }
    if (platform::trace::enabled()) platform::trace::resetClock();
    input_.closeAll();
    fileChecks(report.summary);

    report.summary.sections = int(sections_.size());
    report.summary.dialogueLines = dialogueCount_;
    report.summary.speakers = int(speakers_.size());
    report.summary.pictures = int(pictures_.size());
    report.summary.tunes = int(tunes_.size());
    report.summary.clips = int(clips_.size());
    report.summary.runningMs = clock_.now();

    mapPositions();
    // File order; at one line, in the order the run met them.
    std::stable_sort(found_.begin(), found_.end(), [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    report.diagnostics = std::move(found_);
    return report;
  }

  // --- StagePort ---
  void setCaption(const QString& text) override {
    ampersands(text);
    const stage::CaptionFit fit = stage::fitCaption(text);
    if (!fit.fits)
      warn(line(),
           QStringLiteral("the caption is cut off: it takes %1 lines, the caption box shows %2")
               .arg(fit.linesNeeded < stage::CaptionFit::kMostLines ? QString::number(fit.linesNeeded)
                                                                    : QStringLiteral("%1 or more").arg(fit.linesNeeded))
               .arg(fit.linesShown),
           QStringLiteral("shorten the text or split it into two dialogue lines"), "caption-cut-off");
  }
  void setSpeakerPicture(const QString& file) override {
    oversized(file, picture(file), engine::kSpeakerBox, QStringLiteral("speaker picture"), QStringLiteral("the speaker box"),
              QStringLiteral("the player shows it at its own size from the box's top left corner, over what lies beside and below it"),
              "speaker-picture-too-large");
  }
  void setViewPicture(const QString& file) override {
    const QSize size = picture(file);
    if (file.isEmpty()) return;  // the empty picture leaves the size as it is
    viewSize_ = size;
    oversized(file, size, engine::kViewArea, QStringLiteral("view picture"), QStringLiteral("the view frame"),
              QStringLiteral("the player moves it right and down by half the excess, over the frame"), "view-picture-too-large");
  }
  // A picture larger than its square box, said once per file.
  void oversized(const QString& file, QSize size, int box, const QString& what, const QString& boxName, const QString& hint,
                 const char* code) {
    if ((size.width() <= box && size.height() <= box) || !oversized_.insert(file).second) return;
    warn(line(),
         QStringLiteral("%1 %2 is %3 x %4 pixels, larger than %5's %6 x %6")
             .arg(what, quoted(file))
             .arg(platform::twipsToPixels(size.width()))
             .arg(platform::twipsToPixels(size.height()))
             .arg(boxName)
             .arg(platform::twipsToPixels(box)),
         hint, code);
  }
  QSize viewSize() const override { return viewSize_; }
  void setButtonCaption(int index, const QString&) override { buttonLines_.at(index) = line(); }
  bool autoSpeak() const override { return true; }
  void showStage() override {
    // Each section run shows the stage once its header has been found.
    sectionEntered_ = true;
    headerLine_ = line();
    sections_.insert(headerLine_);
  }

  // --- SoundPort ---
  void playMusic(const QString& file) override {
    if (file.isEmpty()) return;  // "@PLAY " without a name stops the music, as meant
    tunes_.insert(file);
    const QString& problem = media_.tuneProblem(file);
    if (!problem.isEmpty() && warnedTunes_.insert(file).second)
      warn(line(), QStringLiteral("tune %1 cannot be played: %2").arg(quoted(file), problem),
           QStringLiteral("the player stays silent"), "tune-unplayable");
  }
  void closeMusic() override {}
  void playClip(const QString& file) override {
    if (!file.isEmpty()) clips_.insert(file);
    const QString& problem = media_.clipProblem(file);
    if (!problem.isEmpty() && warnedClips_.insert(file).second)
      warn(line(), QStringLiteral("clip %1 cannot be played: %2").arg(quoted(file), problem),
           QStringLiteral("the player plays the chime instead"), "clip-unplayable");
  }

 private:
  int line() const { return std::max(1, input_.lineNumber()); }

  QSize picture(const QString& file) {
    if (file.isEmpty()) return {};
    // Speaker pictures come at every phase of every line, the talk and rest pictures
    // of one speaker in turn: the last two looked up are compared first.
    const Checker::Media::Picture* found = nullptr;
    for (const auto& [name, picture] : recentPictures_)
      if (picture != nullptr && name == file) found = picture;
    if (found == nullptr) {
      auto it = seenPictures_.find(file);
      if (it == seenPictures_.end()) {
        it = seenPictures_.emplace(file, &media_.picture(file)).first;
        pictures_.insert(it->second->file);
      }
      found = it->second;
      recentPictures_[1] = std::move(recentPictures_[0]);
      recentPictures_[0] = {file, found};
    }
    const Checker::Media::Picture& p = *found;
    if (p.error) throw RuntimeError(*p.error);
    return p.twips;
  }

  void press() {
    // An empty menu's buttons are the next section's lines: one press shows what follows.
    auto i = menuEmpty_ && chosenLine_ > 0 ? std::nullopt : pilot_.nextPress(tap_.buttonCaptions(), tap_.buttonsVisible());
    if (i) {
      chosenLine_ = buttonLines_[*i];
      events_.buttonClicked(*i, tap_.buttonCaptions()[*i]);
      return;
    }
    state_.leaveRequested = true;
    if (menuEmpty_) return;
    // Every item played and no "ＥＮＤ": the viewer can only close the window.
    QString why = QStringLiteral("add a line \"ＥＮＤ\" to [menu]");
    const auto& captions = tap_.buttonCaptions();
    const auto& visible = tap_.buttonsVisible();
    bool allBlank = true;
    for (int b = 0; b < 8; ++b) {
      if (!visible[b]) continue;
      allBlank = allBlank && captions[b].trimmed().isEmpty();
      if (loosely(captions[b]) == u"end")
        why = QStringLiteral("line %1 is an ordinary item: ＥＮＤ is written with full-width letters, alone on its line")
                  .arg(quoted(captions[b]));
    }
    if (allBlank) why = QStringLiteral("its lines are blank, and blank buttons do nothing; ") + why;
    warn(menuLine_, QStringLiteral("the viewer cannot leave the item menu: it has no ＥＮＤ item"),
         QStringLiteral("once the items have played, only closing the window ends the programme, and the player with it; ") + why,
         "menu-no-end");
  }

  void ignoredCommand(const QString& command) {
    const auto [hint, column] = ignoredCommandHint(command);
    warn(line(), QStringLiteral("unknown command %1: the player ignores this line").arg(quoted(u'@' + command)), hint,
         "command-ignored", column);
  }

  // "&" marks an access key in the caption label: hidden, the next character underlined.
  void ampersands(const QString& caption) {
    if (!caption.contains(u'&')) return;
    const QString shown = platform::parseAccessKeys(caption).text;
    if (shown == QString(caption).replace(QStringLiteral("&&"), QStringLiteral("&"))) return;
    const QString t = text(line());
    qsizetype at = std::max<qsizetype>(0, t.indexOf(u'：'));
    while ((at = t.indexOf(u'&', at)) >= 0 && at + 1 < t.size() && t[at + 1] == u'&') at += 2;
    warn(line(), QStringLiteral("the caption shows %1 as %2: \"&\" hides itself and underlines the next character").arg(quoted(caption), quoted(shown)),
         QStringLiteral("write \"&&\" for a visible \"&\""), "ampersand", at >= 0 ? int(at) + 1 : 1);
  }

  void dialogue(const QString& speaker, bool inCast) {
    const int at = line();
    if (size_t(at) >= dialogueLines_.size()) dialogueLines_.resize(size_t(at) + 1);
    dialogueCount_ += dialogueLines_[size_t(at)] ? 0 : 1;
    dialogueLines_[size_t(at)] = true;
    speakers_.insert(speaker);
    // After a broken cast table every later name would be reported again.
    if (inCast || castFailed_ || !unknownSpeakers_.insert(speaker).second) return;
    QString message = QStringLiteral("speaker %1 is not in the cast").arg(quoted(speaker));
    int column = 1;
    for (const QString& name : castNames_)
      if (name.trimmed() == speaker.trimmed()) {
        message += QStringLiteral(": the cast has %1, with other blanks at its ends").arg(quoted(name));
        if (trailingBlanks(speaker) < speaker.size()) column = int(trailingBlanks(speaker)) + 1;
      }
    warn(at, message, QStringLiteral("names match only exactly; the speaker box stays empty while this speaker talks"),
         "speaker-not-in-cast", column);
  }

  void fault(const RuntimeError& e, Phase phase) {
    // The player names no line when a whole section is missing or runs to the end of
    // the file: point at what led there instead.
    int at = e.place().line;
    const bool runsSection = phase == Phase::Pre || phase == Phase::Item || phase == Phase::Closing;
    if (at <= 0 && runsSection && sectionEntered_) at = headerLine_;
    if (at <= 0 && (phase == Phase::Item || phase == Phase::Closing)) at = chosenLine_;
    Diagnostic d{std::max(1, at), Severity::Error, e.number(), e.message(), e.place().hint};
    d.column = errorColumn(e.number(), d.hint, text(d.line));
    if (menuEmpty_ && phase == Phase::Item) {
      d.line = menuLine_;
      d.column = 1;
      d.code = "menu-empty";
      d.hint = QStringLiteral("section [menu] is empty, so the player makes the lines from %1 on into item buttons; "
                              "write the items under [menu], ＥＮＤ last")
                   .arg(quoted(text(menuLine_ + 1)));
    }
    add(std::move(d));
    if (phase == Phase::Cast) castFailed_ = true;
    if (phase == Phase::Menu) {
      menuFailed_ = true;
      note(std::max(1, at), QStringLiteral("the item sections were not checked: the player cannot show the item menu"),
           "items-not-checked");
    }
  }

  // The file as the player's reader reads it, read before the run: the line rules are
  // its own, and the checks below look at lines the run never reaches.
  void readFile(const QString& name) {
    platform::SequentialInput input;
    try {
      input.open(name);
      while (!input.atEnd()) lines_.push_back(input.lineInput());
    } catch (const RuntimeError&) {
      // The run reports it.
    }
    input.closeAll();
    if (const auto path = platform::resolvePath(name)) bytes_ = platform::readFileBytes(*path).value_or(QByteArray());
    int castHeader = 0;
    for (int at = 1; at <= int(lines_.size()); ++at) {
      if (menuLine_ == 0 && text(at) == u"[menu]") menuLine_ = at;
      if (castHeader == 0 && text(at) == u"[pictureinit]") castHeader = at;
    }
    menuEmpty_ = menuLine_ > 0 && text(menuLine_ + 1).startsWith(u'[');
    // The first body line is taken whatever it holds; the body ends at a "[" line.
    for (int at = castHeader + 1; castHeader > 0 && at <= int(lines_.size()); ++at) {
      if (at > castHeader + 1 && text(at).startsWith(u'[')) break;
      if (text(at).contains(u'=')) castNames_ << text(at).left(text(at).indexOf(u'='));
    }
  }
  QString text(int line) const { return line >= 1 && line <= int(lines_.size()) ? lines_[size_t(line - 1)] : QString(); }

  // Facts about the file rather than about the run.
  void fileChecks(Summary& summary) {
    encodingChecks();
    titleChecks(summary);
    sectionChecks();
  }

  void encodingChecks() {
    const bool bom = bytes_.startsWith("\xEF\xBB\xBF");
    if (isUtf8Text(QByteArrayView(bytes_).sliced(bom ? 3 : 0)))
      warn(1, QStringLiteral("the file is UTF-8%1, not Shift-JIS (CP932)").arg(bom ? QStringLiteral(" with a byte-order mark") : QString()),
           QStringLiteral("the player reads every character beyond ASCII as something else, the full-width colon \"：\" "
                          "and full-width ＥＮＤ too; save the file as Shift-JIS"),
           "encoding-utf8");
    else if (bom)
      warn(1, QStringLiteral("the file begins with a UTF-8 byte-order mark"),
           QStringLiteral("the player reads it as two characters at the start of line 1, so that line is not what it "
                          "looks like; save the file without it"),
           "byte-order-mark");
  }

  // The title the list shows, read by the list's own rule, against what line 1 says.
  void titleChecks(Summary& summary) {
    const QString name = state_.scenarioPath;
    summary.title = catalogue::readTitle(input_, name);
    const QString first = text(1).section(u'\n', 0, 0);  // a field ends at LF too
    const QString shows = QStringLiteral("the programme list shows %1 as the title").arg(quoted(summary.title));
    const QString form = QStringLiteral("begin the file with a line of a number, a comma and the title");
    const qsizetype comma = first.indexOf(u',');
    if (comma < 0) {
      qsizetype wide = first.indexOf(u'、');
      if (wide < 0) wide = first.indexOf(u'，');
      if (summary.title == name)
        warn(1, QStringLiteral("no title: the programme list shows the file name instead"), form, "title-missing");
      else if (wide >= 0)
        warn(1, QStringLiteral("no title: ") + shows,
             QStringLiteral("line 1 has %1 where an ASCII comma \",\" must follow the number").arg(quoted(first[wide])),
             "title-missing", int(wide) + 1);
      else
        warn(1, QStringLiteral("no title line: ") + shows,
             QStringLiteral("line 1 has no comma, so the list takes line 2; ") + form, "title-missing");
      return;
    }
    if (summary.title.trimmed().isEmpty()) {
      warn(1, QStringLiteral("the title is empty"), QStringLiteral("the programme list shows an empty line"), "title-empty");
      return;
    }
    // What follows the first comma, less the quotes that keep commas in a title.
    qsizetype from = comma + 1;
    while (from < first.size() && (first[from] == u' ' || first[from] == u'\t')) ++from;
    QString written = first.mid(from);
    if (written.startsWith(u'"')) written = written.mid(1).section(u'"', 0, 0);
    if (summary.title != written) {
      const qsizetype cut = first.indexOf(u',', comma + 1);
      warn(1, shows,
           cut >= 0 ? QStringLiteral("the title ends at the second comma; put a title with commas in double quotes")
                    : QStringLiteral("the list takes the text after the first comma of line 1"),
           "title-cut", cut >= 0 ? int(cut) + 1 : 1);
    }
  }

  // Headers used twice, sections no menu line reaches, headers that are almost right and
  // lines that end a section because they begin with "[".
  void sectionChecks() {
    std::vector<int> brackets;  // every line that begins with "["
    QSet<QString> present;
    for (int at = 1; at <= int(lines_.size()); ++at)
      if (text(at).startsWith(u'[')) {
        brackets.push_back(at);
        present.insert(text(at));
      }
    QStringList wanted{QStringLiteral("[pictureinit]"), QStringLiteral("[pre]"), QStringLiteral("[menu]"), QStringLiteral("[ＥＮＤ]")};
    QSet<QString> reached{wanted[0], wanted[1], wanted[2]};
    for (const QString& caption : tap_.buttonCaptions())
      if (!caption.isEmpty()) {
        reached.insert(u'[' + caption + u']');
        wanted << u'[' + caption + u']';
      }
    std::map<QString, int> first;
    for (size_t k = 0; k < brackets.size(); ++k) {
      const int at = brackets[k];
      const QString& header = text(at);
      const int prev = k > 0 ? brackets[k - 1] : 0;
      const int after = (k + 1 < brackets.size() ? brackets[k + 1] : int(lines_.size()) + 1) - at - 1;
      const bool whole = header.size() >= 2 && header.endsWith(u']');
      if (whole) {
        const auto [it, isFirst] = first.emplace(header, at);
        if (!isFirst) {
          warn(at, QStringLiteral("section header %1 is used again").arg(header),
               QStringLiteral("the first one, line %1, wins; this section is never played").arg(it->second), "header-repeated");
          continue;
        }
        if (reached.contains(header)) continue;
      }
      if (nearHeader(at, wanted, present)) continue;
      if (k + 1 == brackets.size()) continue;  // the line that ends the last body
      const QString never = QStringLiteral("%1 line%2 after it never run").arg(after).arg(after == 1 ? "" : "s");
      if (!whole) {
        // Right after a header the line is taken as a body line, whatever it holds.
        if (prev > 0 && at > prev + 1)
          warn(at, QStringLiteral("this line begins with \"[\", so it ends section %1").arg(text(prev)),
               (after > 0 ? QStringLiteral("it and the ") + never : QStringLiteral("it never runs")) +
                   QStringLiteral("; no line of a section may begin with \"[\""),
               "line-ends-section");
      } else if (completed_ && !menuFailed_ && !menuEmpty_) {
        QString hint = QStringLiteral("add a line \"%1\" to [menu]").arg(header.mid(1, header.size() - 2));
        if (prev > 0 && at > prev + 1 && (sections_.count(prev) > 0 || reached.contains(text(prev))))
          hint += QStringLiteral(", or, if it belongs to section %1 above, do not begin the line with \"[\"").arg(text(prev));
        warn(at, QStringLiteral("no menu line reaches section %1: it and the ").arg(header) + never, hint, "section-unreached");
      }
    }
  }

  // A "[" line that is one of the headers the player looks for but for blanks, letter
  // case or full-width letters.
  bool nearHeader(int at, const QStringList& wanted, const QSet<QString>& present) {
    const QString& line = text(at);
    for (const QString& header : wanted) {
      if (line == header || loosely(line) != loosely(header)) continue;
      const qsizetype end = trailingBlanks(line);
      int column = 2;
      QString why = QStringLiteral("full-width and ASCII letters differ");
      if (end < line.size()) {
        why = QStringLiteral("it has a blank at its end");
        column = int(end) + 1;
      } else if (line.compare(header, Qt::CaseInsensitive) == 0) {
        why = QStringLiteral("letter case differs");
        while (column <= std::min(line.size(), header.size()) && line[column - 1] == header[column - 1]) ++column;
      }
      const auto real = std::find(lines_.begin(), lines_.end(), header);
      warn(at, QStringLiteral("this line is not the header %1: %2").arg(header, why),
           present.contains(header)
               ? QStringLiteral("the player reads %1 of line %2; this section is never read").arg(header).arg(real - lines_.begin() + 1)
               : QStringLiteral("the player looks for %1 exactly, character by character, and does not find it").arg(header),
           "header-misspelt", column);
      return true;
    }
    return false;
  }

  // Lines and columns as an editor shows them: it ends a line at every LF, the player's
  // reader only at CR (a lone LF is a character of the line to it). A file without LF
  // is shown by its CRs, as the player reads it.
  void mapPositions() {
    if (!bytes_.contains('\n')) return;
    std::vector<int> lfBefore{0};  // by the player's line: LFs before its first byte
    int lfs = 0;
    for (qsizetype i = 0; i < bytes_.size(); ++i) {
      if (bytes_[i] == '\n') ++lfs;
      if (bytes_[i] != '\r') continue;
      if (i + 1 < bytes_.size() && bytes_[i + 1] == '\n') ++lfs, ++i;
      lfBefore.push_back(lfs);
    }
    for (Diagnostic& d : found_) {
      if (d.line > int(lfBefore.size())) continue;
      const QString t = text(d.line);
      const qsizetype column = std::clamp<qsizetype>(d.column - 1, 0, t.size());
      const qsizetype lastLf = column > 0 ? t.lastIndexOf(u'\n', column - 1) : -1;
      d.line += lfBefore[size_t(d.line - 1)] - (d.line - 1) + int(t.left(column).count(u'\n'));
      if (lastLf >= 0) d.column = int(column - lastLf);
    }
  }

  void warn(int at, const QString& message, const QString& hint, const char* code, int column = 1) {
    add({std::max(1, at), Severity::Warning, 0, message, hint, code, column});
  }
  void note(int at, const QString& message, const char* code) { add({std::max(1, at), Severity::Note, 0, message, {}, code}); }
  void add(Diagnostic d) {
    // A section played twice (two menu lines name it) must not report twice.
    for (const Diagnostic& e : found_)
      if (e.line == d.line && e.severity == d.severity && e.number == d.number && e.message == d.message && e.hint == d.hint) return;
    found_.push_back(std::move(d));
  }

  Checker::Media& media_;
  engine::SharedState state_;
  platform::SequentialInput input_;
  engine::StageEvents events_;
  engine::StageTap tap_;
  engine::VirtualClock clock_;
  engine::Engine engine_;
  engine::Autopilot pilot_;

  // The view picture box starts at the size the window gives it.
  QSize viewSize_{engine::kViewArea, 2880};
  std::array<int, engine::kButtonCount> buttonLines_{};
  int chosenLine_ = 0;
  int headerLine_ = 0;
  bool sectionEntered_ = false;
  bool castFailed_ = false;
  bool menuFailed_ = false;
  bool completed_ = false;  // the run got to its end: the menu's captions are all known

  // The file as the player reads it: its lines (a lone LF inside one), its bytes.
  std::vector<QString> lines_;
  QByteArray bytes_;
  QStringList castNames_;
  int menuLine_ = 0;        // the "[menu]" header the player finds
  bool menuEmpty_ = false;  // a "[" line right after it: the next section's lines become buttons

  std::unordered_map<QString, const Checker::Media::Picture*> seenPictures_;
  std::array<std::pair<QString, const Checker::Media::Picture*>, 2> recentPictures_{};
  std::vector<Diagnostic> found_;
  std::set<int> sections_;
  std::vector<bool> dialogueLines_;  // by line number: a section played twice counts once
  int dialogueCount_ = 0;
  std::set<QString> speakers_, pictures_, tunes_, clips_;
  std::set<QString> oversized_, warnedTunes_, warnedClips_, unknownSpeakers_;
};

}  // namespace

FileReport Checker::check(const QString& name, const QString& shownAs) {
  ProgrammeRun run(*media_, name);
  return run.run(shownAs);
}

}  // namespace check
