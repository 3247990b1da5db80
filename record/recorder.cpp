// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/recorder.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

#include "catalogue/catalogue.h"
#include "engine/stage_events.h"
#include "engine/station.h"
#include "engine/virtual_clock.h"
#include "opening/demoform.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "record/cues.h"
#include "record/encoder.h"
#include "record/hls.h"
#include "record/offline_sound.h"
#include "record/web_files.h"
#include "selection/form2.h"
#include "stage/form1.h"

namespace record {
namespace {

// A signal asked the recording to end: the file is completed up to that moment.
struct Interrupted {
  int signal;
};

void fail(const QString& text) { std::fprintf(stderr, "kivo: %s\n", text.toUtf8().constData()); }

// Notes that the picture may have changed, so frames between changes repeat the last
// drawing; the timer and the automatic mode change nothing on screen.
class MarkingStage : public engine::StageRelay {
 public:
  using StageRelay::StageRelay;
  bool changed = true;
  bool shown = false;  // the stage, as the engine shows and hides it
  std::function<void(const QString&)> captioned;
  std::function<void()> shownChanged;

  void setCaption(const QString& t) override { mark(), StageRelay::setCaption(t), captioned(t); }
  void setSpeakerPicture(const QString& f) override { mark(), StageRelay::setSpeakerPicture(f); }
  void setViewPicture(const QString& f) override { mark(), StageRelay::setViewPicture(f); }
  void setViewLeft(int v) override { mark(), StageRelay::setViewLeft(v); }
  void setViewTop(int v) override { mark(), StageRelay::setViewTop(v); }
  void setViewVisible(bool v) override { mark(), StageRelay::setViewVisible(v); }
  void setButtonCaption(int i, const QString& c) override { mark(), StageRelay::setButtonCaption(i, c); }
  void setButtonVisible(int i, bool v) override { mark(), StageRelay::setButtonVisible(i, v); }
  void showStage() override { mark(), StageRelay::showStage(), shown = true, shownChanged(); }
  void hideStage() override { mark(), StageRelay::hideStage(), shown = false, shownChanged(); }

 private:
  void mark() { changed = true; }
};

// The progress line: programme, time recorded, speed.
class Progress {
 public:
  explicit Progress(bool live) : live_(live), tty_(::isatty(2) == 1) { wall_.start(); }

  void update(const QString& programme, double ms, bool force = false) {
    const qint64 wall = wall_.elapsed();
    // A station on air runs for days: its log gets a line a minute.
    if (!force && wall - shown_ < (tty_ ? 250 : live_ ? 60000 : 10000)) return;
    shown_ = wall;
    const double speed = wall > 0 ? ms / double(wall) : 0;
    const int seconds = int(ms / 1000);
    std::fprintf(stderr, "%skivo: %s %s  %d:%02d.%d %s  %.1fx%s", tty_ ? "\r" : "", live_ ? "streaming" : "recording",
                 programme.toUtf8().constData(), seconds / 60, seconds % 60, int(ms / 100) % 10,
                 live_ ? "on air" : "recorded", speed,
                 tty_ ? "\x1b[K" : "\n");
    pendingNewline_ = tty_;
  }
  void endLine() {
    if (pendingNewline_) std::fputc('\n', stderr);
    pendingNewline_ = false;
  }

 private:
  bool live_;
  bool tty_;
  QElapsedTimer wall_;
  qint64 shown_ = 0;
  bool pendingNewline_ = false;
};

// Everything one recording needs: the real stage window offscreen, the station that plays
// the programmes on the virtual clock, the offline sound and the encoder. Live, each frame
// waits until the wall clock has reached its moment.
class Session : public engine::StationHost {
 public:
  Session(Encoder& encoder, int scale, std::function<int()> stopSignal)
      : encoder_(encoder),
        live_(encoder.live()),
        stopSignal_(std::move(stopSignal)),
        events_(state_, input_),
        form_(events_, {}, {}),
        marking_(form_),
        progress_(live_),
        clock_([this] { events_.timerTick(); }),
        sound_([this] { return clock_.now(); }, [this](const float* s, int n) { encoder_.addAudio(s, n); }),
        station_(state_, marking_, sound_, clock_, input_, *this),
        size_(form_.client()->size()),
        frame_(size_, QImage::Format_RGB32) {
    platform::trace::setClock([this] { return clock_.now(); });
    if (!sound_.musicProblem().isEmpty()) fail(QStringLiteral("no music: ") + sound_.musicProblem());
    encoder_.start(size_, scale);
    marking_.captioned = [this](const QString& text) { addCue(cues_.caption(clock_.now(), text)); };
    marking_.shownChanged = [this] { captionSeen(); };
    clock_.beforeAdvance = [this](double to) {
      if (const int number = stopSignal_()) throw Interrupted{number};
      drawUntil(to);
      sound_.renderTo(to);
      progress_.update(label(), to);
    };
  }
  ~Session() override { platform::trace::resetClock(); }

  // Every programme of the list once, as the station's single round plays them; a fault
  // is reported and survived as the station does, and the result says it happened.
  bool recordAll(bool once = true) {
    station_.run(once);
    return station_.faults() == 0;
  }

  // One programme; a run-time error ends it at that moment.
  bool recordOne(const QString& file) {
    try {
      station_.playProgramme(file, false);
      return true;
    } catch (const platform::RuntimeError& error) {
      progress_.endLine();
      engine::reportFaultAndGoOn(error);
      return false;
    }
  }

  // Draws and renders up to the present moment and completes the file.
  void finish() {
    drawUntil(clock_.now());
    sound_.renderTo(clock_.now());
    addCue(cues_.end(clock_.now()));
    progress_.update(label(), clock_.now(), true);
    progress_.endLine();
  }
  // The captions' cues so far.
  const QList<Cue>& cues() const { return cueList_; }
  void endLine() { progress_.endLine(); }

  // engine::StationHost
  void autoSpeakOn() override { form_.mnuAutoSpeak()->setChecked(true); }
  void speaking(const QString& speaker) override { cues_.speaker(speaker); }

  void playOpening() override {
    opening::Demoform demo([this](const char* name, unsigned flags) {
      return sound_.playSound(name != nullptr ? QString::fromLocal8Bit(name) : QString(), flags);
    });
    demo.show();
    show(&demo);
    openingShown_ = true;
    // The opening's own timer never runs here: its ticks come from the clock.
    std::function<void()> tick = [&] {
      demo.advance();
      marking_.changed = true;
      if (demo.timerTicking()) clock_.schedule(opening::Demoform::kTickMs, tick);
    };
    clock_.schedule(opening::Demoform::kTickMs, tick);
    while (demo.isVisible()) clock_.processEvents();
    drawUntil(clock_.now());  // its last picture stays until the next window's first
    show(nullptr);
    openingShown_ = false;
  }

  QStringList programmes() override { return catalogue::files(); }

  void showList(const QString& coming) override {
    list_ = std::make_unique<selection::Form2>(state_, [] {});
    list_->load();
    list_->preselect(coming);
    list_->show();
    show(list_.get());
  }

  void hideList() override {
    drawUntil(clock_.now());
    show(nullptr);
    if (list_ && list_->isLoaded()) list_->unload();
    list_.reset();
  }

  void press(int index) override {
    // Through the button itself, as a viewer's click arrives.
    form_.Command1(index)->click();
    marking_.changed = true;
  }

 private:
  // What the frames show: a window of its own (the opening, the list) centred on black,
  // or, with nullptr, the stage's client area.
  QString label() const { return openingShown_ ? QStringLiteral("opening") : state_.scenarioPath; }

  void show(QWidget* window) {
    window_ = window;
    marking_.changed = true;
    captionSeen();
  }

  // The caption is seen while the frames show the stage.
  void captionSeen() { addCue(cues_.visible(clock_.now(), window_ == nullptr && marking_.shown)); }

  void addCue(const std::optional<Cue>& cue) {
    if (!cue) return;
    if (!live_) cueList_.append(*cue);
    encoder_.addCue(*cue);
  }

  void drawUntil(double to) {
    for (; nextFrame_ * 1000.0 / Encoder::kFrameRate < to; ++nextFrame_) {
      const double at = nextFrame_ * 1000.0 / Encoder::kFrameRate;
      if (live_) {
        if (const int number = stopSignal_()) throw Interrupted{number};
        const auto due = start_ + std::chrono::microseconds(std::llround(at * 1000));
        // Far behind (a suspended machine, a stalled disk), the stream goes on from now
        // rather than racing through what it missed.
        if (const auto late = std::chrono::steady_clock::now() - due; late > std::chrono::seconds(2)) start_ += late;
        std::this_thread::sleep_until(due);
        // A segment's captions go with it.
        if (nextFrame_ % Encoder::kSegmentFrames == 0) addCue(cues_.cut(at));
      }
      // The sound keeps step with the pictures, so a live stream's packets interleave.
      sound_.renderTo(at);
      const bool changed = marking_.changed;
      if (changed) {
        // Layout and polish only: no timer runs here, the clock's ticks stand in for them.
        QCoreApplication::sendPostedEvents();
        if (window_ != nullptr) {
          frame_.fill(Qt::black);
          QPainter painter(&frame_);
          const QSize s = window_->size();
          window_->render(&painter, QPoint((size_.width() - s.width()) / 2, (size_.height() - s.height()) / 2));
        } else {
          form_.client()->render(&frame_);
        }
        marking_.changed = false;
      }
      encoder_.addFrame(frame_, changed);
    }
  }

  Encoder& encoder_;
  bool live_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::function<int()> stopSignal_;
  CueTrack cues_;
  QList<Cue> cueList_;
  engine::SharedState state_;
  platform::SequentialInput input_;
  engine::StageEvents events_;
  stage::Form1 form_;
  MarkingStage marking_;
  Progress progress_;
  engine::VirtualClock clock_;
  OfflineSound sound_;
  engine::Station station_;
  QSize size_;
  QImage frame_;
  qint64 nextFrame_ = 0;
  QWidget* window_ = nullptr;
  std::unique_ptr<selection::Form2> list_;
  bool openingShown_ = false;
};


// Whether a programme of the current folder names `file` (case ignored, as Windows
// finds it): such a file is never replaced. Reading the text rather than playing it errs
// on the safe side.
bool usedByProgrammes(const QString& file) {
  const QString name = QFileInfo(file).fileName();
  for (const QString& programme : catalogue::files()) {
    const auto path = platform::resolvePath(programme);
    const auto bytes = path ? platform::readFileBytes(*path) : std::nullopt;
    if (bytes && platform::decodeAnsi(*bytes).contains(name, Qt::CaseInsensitive)) return true;
  }
  return false;
}

// Why `files` must not be written (status 2); empty when they may.
QString fileProblem(const QStringList& files, bool overwrite) {
  for (const QString& file : files) {
    // Found as the programmes find their files: a new "film.mkv" beside their "FILM.MKV"
    // would be the one they open.
    if (platform::resolvePath(file) && usedByProgrammes(file))
      return QStringLiteral("%1 is used by the programmes; it is never replaced").arg(file);
    if (QFileInfo::exists(file) && !overwrite)
      return QStringLiteral("%1 already exists; give --overwrite to replace it").arg(file);
  }
  return {};
}

// Why OUT and the subtitle file must not be written (status 2); empty when they may.
QString outProblem(const QString& out, const QString& subtitles, bool overwrite) {
  for (const QString& file : {out, subtitles})
    if (!file.isEmpty() && QFileInfo(file).isDir()) return QStringLiteral("%1 is a folder").arg(file);
  if (videoFormat(out).isEmpty()) return QStringLiteral("%1 is not a .mp4, .webm or .mkv file").arg(out);
  if (!subtitles.isEmpty() && subtitleFormat(subtitles).isEmpty())
    return QStringLiteral("%1 is not a .vtt or .srt file").arg(subtitles);
  QStringList files{out, Encoder::partialName(out)};
  if (!subtitles.isEmpty()) files << subtitles;
  return fileProblem(files, overwrite);
}

// Why the stream cannot go to `destination` (status 2); empty when it can.
QString streamProblem(const QString& destination) {
  if (streamFormat(destination).isEmpty())
    return QStringLiteral("cannot stream to %1: the URL schemes are %2").arg(destination, QLatin1String(kStreamSchemes));
  if (streamFormat(destination) == QLatin1String("hls") && QFileInfo(destination).exists() &&
      !QFileInfo(destination).isDir())
    return QStringLiteral("%1 is not a folder").arg(destination);
  if (const QString file = HlsFolder::foreignPlaylist(destination); !file.isEmpty())
    return QStringLiteral("%1 was not written by kivo; it is never replaced").arg(file);
  return {};
}

// The captions beside the recording, written aside and renamed.
void writeSubtitles(const QString& file, const QList<Cue>& cues) {
  if (const QString why = platform::writeFileAside(file, subtitleFile(subtitleFormat(file), cues)); !why.isEmpty())
    throw EncoderError("cannot write " + file.toStdString() + ": " + why.toStdString());
}

}  // namespace

int run(const Options& options) {
  // OUT is named from where kivo was started, before the folder becomes current.
  const bool streaming = !options.stream.isEmpty();
  const bool toUrl = streaming && streamFormat(options.stream) != QLatin1String("hls");
  const QString out = toUrl ? options.stream : QFileInfo(streaming ? options.stream : options.out).absoluteFilePath();
  const QString subtitles = options.subtitles.isEmpty() ? QString() : QFileInfo(options.subtitles).absoluteFilePath();
  if (!options.folder.isEmpty() && (!QFileInfo(options.folder).isDir() || !QDir::setCurrent(options.folder))) {
    fail(QStringLiteral("%1 is not a folder").arg(options.folder));
    return 2;
  }
  if (!options.programme.isEmpty() && !catalogue::files().contains(options.programme, Qt::CaseInsensitive)) {
    fail(QStringLiteral("no programme %1 in %2").arg(options.programme, QDir::currentPath()));
    return 2;
  }
  if (options.programme.isEmpty() && catalogue::files().isEmpty()) {
    fail(QStringLiteral("no programmes (%1) in %2").arg(catalogue::range(), QDir::currentPath()));
    return 2;
  }
  if (const QString why = streaming ? streamProblem(out) : outProblem(out, subtitles, options.overwrite); !why.isEmpty()) {
    fail(why);
    return 2;
  }
  std::unique_ptr<Encoder> encoder;
  try {
    encoder = std::make_unique<Encoder>(out, !streaming ? Encoder::Output::File
                                             : toUrl   ? Encoder::Output::Url
                                                       : Encoder::Output::Hls);
  } catch (const EncoderError& e) {
    fail(QString::fromStdString(e.what()));
    return 2;
  }
  if (streaming && !toUrl) copyWebFiles(options.webDir, out);

  int status = 0;
  std::unique_ptr<Session> session;
  const auto ended = [&](int code, const QString& why) {
    if (session) session->endLine();
    if (!why.isEmpty()) fail(why);
    status = code;
  };
  try {
    session = std::make_unique<Session>(*encoder, options.scale, options.stopSignal);
    if (streaming) {
      session->recordAll(options.once);
    } else {
      const bool clean = options.programme.isEmpty() ? session->recordAll() : session->recordOne(options.programme);
      if (!clean) status = 1;
    }
    session->finish();
  } catch (const Interrupted& signal) {
    ended(128 + signal.signal, {});
  } catch (const engine::Station::NothingToBroadcast&) {
    ended(1, QStringLiteral("no programme in %1 can be played").arg(QDir::currentPath()));
  } catch (const engine::VirtualClock::Stalled&) {
    ended(1, QStringLiteral("the programme waits for something that never comes; the recording ends here"));
  } catch (const EncoderError& e) {
    ended(1, QString::fromStdString(e.what()));
  } catch (const std::exception& e) {
    ended(1, QString::fromStdString(e.what()));
  }
  // Whatever ended it, what was recorded goes under OUT (or nothing, when nothing was).
  try {
    encoder->finish();
    if (streaming) {
      session.reset();
      return status;
    }
    if (session && !subtitles.isEmpty() && encoder->frames() > 0) writeSubtitles(subtitles, session->cues());
    if (status > 128)
      fail(encoder->frames() > 0 ? QStringLiteral("recording interrupted; %1 is complete up to here").arg(out)
                                 : QStringLiteral("recording interrupted before anything was recorded; no %1 was written").arg(out));
    else if (encoder->frames() == 0)
      fail(QStringLiteral("nothing was recorded; no %1 was written").arg(out));
  } catch (const EncoderError& e) {
    fail(QString::fromStdString(e.what()));
    if (status == 0) status = 1;
  }
  session.reset();
  // A signal that came while the file was being completed still ends with its status.
  if (status == 0 && options.stopSignal() != 0) status = 128 + options.stopSignal();
  return status;
}

}  // namespace record
