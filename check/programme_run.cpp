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

#include "check/check.h"
#include "engine/autopilot.h"
#include "engine/engine.h"
#include "engine/stage_events.h"
#include "engine/virtual_clock.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/picture.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/twips.h"
#include "sound/winmm.h"
#include "selection/form2.h"
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

class ProgrammeRun : public engine::StagePort, public engine::SoundPort {
 public:
  ProgrammeRun(Checker::Media& media, const QString& name)
      : media_(media),
        events_(state_, input_),
        tap_(*this),
        clock_([this] { events_.timerTick(); }),
        engine_(state_, tap_, *this, clock_, input_) {
    state_.scenarioPath = name;
    media_.folder = platform::currentDirectory();
    tap_.clock = &clock_;
    tap_.onMenuOpened = [this] { clock_.schedule(0, [this] { press(); }); };
    tap_.onMenuClosed = [this] { sectionEntered_ = false; };
    clock_.beforeAdvance = [](double to) {
      if (to > kMaxProgrammeMs) throw TooLong{};
    };
    engine_.onFault = [this](const RuntimeError& e, Phase phase) {
      fault(e, phase);
      return true;
    };
    engine_.onDialogue = [this](const QString& speaker, bool inCast) { dialogue(speaker, inCast); };
  }

  FileReport run(const QString& shownAs) {
    FileReport report;
    report.file = shownAs;
    platform::trace::Event("check").text(shownAs);
    if (platform::trace::enabled()) platform::trace::setClock([this] { return clock_.now(); });
    try {
      engine_.runProgramme();
      completed_ = true;
    } catch (const engine::VirtualClock::Stalled&) {
      note(input_.lineNumber(), QStringLiteral("the programme waits for something that never comes; the check stops here"));
    } catch (const TooLong&) {
      note(input_.lineNumber(), QStringLiteral("the programme plays for more than a week; the check stops here"));
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

    // File order; at one line, in the order the run met them.
    std::stable_sort(found_.begin(), found_.end(), [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    report.diagnostics = std::move(found_);
    return report;
  }

  // --- StagePort ---
  void setCaption(const QString& text) override {
    const stage::CaptionFit fit = stage::fitCaption(text);
    if (!fit.fits)
      warn(line(),
           QStringLiteral("the caption is cut off: it takes %1 lines, the caption box shows %2")
               .arg(fit.linesNeeded < stage::CaptionFit::kMostLines ? QString::number(fit.linesNeeded)
                                                                    : QStringLiteral("%1 or more").arg(fit.linesNeeded))
               .arg(fit.linesShown),
           QStringLiteral("shorten the text or split it into two dialogue lines"));
  }
  void setSpeakerPicture(const QString& file) override { picture(file); }
  void setViewPicture(const QString& file) override {
    const QSize size = picture(file);
    if (file.isEmpty()) return;  // the empty picture leaves the size as it is
    viewSize_ = size;
    if ((size.width() > engine::kViewArea || size.height() > engine::kViewArea) && oversized_.insert(file).second)
      warn(line(),
           QStringLiteral("view picture %1 is %2 x %3 pixels, larger than the view frame's %4 x %4")
               .arg(quoted(file))
               .arg(platform::twipsToPixels(size.width()))
               .arg(platform::twipsToPixels(size.height()))
               .arg(platform::twipsToPixels(engine::kViewArea)),
           QStringLiteral("the player moves it right and down by half the excess, over the frame"));
  }
  QSize viewSize() const override { return viewSize_; }
  void setViewLeft(int) override {}
  void setViewTop(int) override {}
  void setViewVisible(bool) override {}
  void setButtonCaption(int index, const QString&) override { buttonLines_.at(index) = line(); }
  void setButtonVisible(int, bool) override {}
  void setTimerPeriod(int) override {}
  void setTimerEnabled(bool) override {}
  bool autoSpeak() const override { return true; }
  void showStage() override {
    // Each section run shows the stage once its header has been found.
    sectionEntered_ = true;
    headerLine_ = line();
    sections_.insert(headerLine_);
  }
  void hideStage() override {}

  // --- SoundPort ---
  void playMusic(const QString& file) override {
    if (file.isEmpty()) return;  // "@PLAY " without a name stops the music, as meant
    tunes_.insert(file);
    const QString& problem = media_.tuneProblem(file);
    if (!problem.isEmpty() && warnedTunes_.insert(file).second)
      warn(line(), QStringLiteral("tune %1 cannot be played: %2").arg(quoted(file), problem),
           QStringLiteral("the player stays silent"));
  }
  void closeMusic() override {}
  void playClip(const QString& file) override {
    if (!file.isEmpty()) clips_.insert(file);
    const QString& problem = media_.clipProblem(file);
    if (!problem.isEmpty() && warnedClips_.insert(file).second)
      warn(line(), QStringLiteral("clip %1 cannot be played: %2").arg(quoted(file), problem),
           QStringLiteral("the player plays the chime instead"));
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
    if (auto i = pilot_.nextPress(tap_.buttonCaptions(), tap_.buttonsVisible())) {
      chosenLine_ = buttonLines_[*i];
      events_.buttonClicked(*i, tap_.buttonCaptions()[*i]);
    } else {
      // Every item played and no "ＥＮＤ": the viewer could only close the window.
      state_.leaveRequested = true;
    }
  }

  void dialogue(const QString& speaker, bool inCast) {
    const int at = line();
    if (size_t(at) >= dialogueLines_.size()) dialogueLines_.resize(size_t(at) + 1);
    dialogueCount_ += dialogueLines_[size_t(at)] ? 0 : 1;
    dialogueLines_[size_t(at)] = true;
    speakers_.insert(speaker);
    // After a broken cast table every later name would be reported again.
    if (!inCast && !castFailed_ && unknownSpeakers_.insert(speaker).second)
      warn(at, QStringLiteral("speaker %1 is not in the cast").arg(quoted(speaker)),
           QStringLiteral("the speaker box stays empty while this speaker talks"));
  }

  void fault(const RuntimeError& e, Phase phase) {
    // The player names no line when a whole section is missing or runs to the end of
    // the file: point at what led there instead.
    int at = e.place().line;
    const bool runsSection = phase == Phase::Pre || phase == Phase::Item || phase == Phase::Closing;
    if (at <= 0 && runsSection && sectionEntered_) at = headerLine_;
    if (at <= 0 && (phase == Phase::Item || phase == Phase::Closing)) at = chosenLine_;
    add({std::max(1, at), Severity::Error, e.number(), e.message(), e.place().hint});
    if (phase == Phase::Cast) castFailed_ = true;
    if (phase == Phase::Menu) {
      menuFailed_ = true;
      note(std::max(1, at), QStringLiteral("the item sections were not checked: the player cannot show the item menu"));
    }
  }

  // Title, repeated headers and sections no menu line reaches: facts about the file
  // rather than about the run.
  void fileChecks(Summary& summary) {
    const QString name = state_.scenarioPath;
    std::vector<std::pair<QString, int>> headers;
    QString firstLine;
    bool lastIsHeader = false;
    try {
      input_.open(name);
      while (!input_.atEnd()) {
        const QString text = input_.lineInput();
        if (input_.lineNumber() == 1) firstLine = text;
        lastIsHeader = text.size() >= 2 && text.startsWith(u'[') && text.endsWith(u']');
        if (lastIsHeader) headers.emplace_back(text, input_.lineNumber());
      }
    } catch (const RuntimeError&) {
      // Already reported by the run.
    }
    input_.closeAll();
    if (lastIsHeader) headers.pop_back();  // the line that ends the last body

    summary.title = selection::readTitle(input_, name);
    const QString titleForm = QStringLiteral("begin the file with a line of a number, a comma and the title");
    if (summary.title == name)
      warn(1, QStringLiteral("no title"), QStringLiteral("the programme list shows the file name instead; ") + titleForm);
    else if (firstLine.startsWith(u'['))
      warn(1, QStringLiteral("no title line"),
           QStringLiteral("the programme list shows %1 as the title; ").arg(quoted(summary.title)) + titleForm);
    else if (summary.title.trimmed().isEmpty())
      warn(1, QStringLiteral("the title is empty"), QStringLiteral("the programme list shows an empty line"));

    QSet<QString> reached{QStringLiteral("[pictureinit]"), QStringLiteral("[pre]"), QStringLiteral("[menu]")};
    for (int i = 0; i < 8; ++i)
      if (!tap_.buttonCaptions()[i].isEmpty()) reached.insert(u'[' + tap_.buttonCaptions()[i] + u']');
    std::map<QString, int> first;
    for (const auto& [header, at] : headers) {
      const auto [it, isFirst] = first.emplace(header, at);
      if (!isFirst)
        warn(at, QStringLiteral("section header %1 is used again").arg(header),
             QStringLiteral("the first one, line %1, wins; this section is never played").arg(it->second));
      else if (completed_ && !menuFailed_ && !reached.contains(header))
        warn(at, QStringLiteral("no menu line reaches section %1").arg(header),
             QStringLiteral("it is never played; add a line \"%1\" to [menu]").arg(header.mid(1, header.size() - 2)));
    }
  }

  void warn(int at, const QString& message, const QString& hint) { add({at, Severity::Warning, 0, message, hint}); }
  void note(int at, const QString& message) { add({std::max(1, at), Severity::Note, 0, message, {}}); }
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
  std::array<int, 8> buttonLines_{};
  int chosenLine_ = 0;
  int headerLine_ = 0;
  bool sectionEntered_ = false;
  bool castFailed_ = false;
  bool menuFailed_ = false;
  bool completed_ = false;  // the run got to its end: the menu's captions are all known

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
