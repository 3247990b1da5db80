#include "record/recorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QAction>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "engine/autopilot.h"
#include "engine/engine.h"
#include "engine/stage_events.h"
#include "engine/virtual_clock.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/runtime_error.h"
#include "platform/trace.h"
#include "record/encoder.h"
#include "record/offline_sound.h"
#include "opening/demoform.h"
#include "stage/form1.h"

namespace record {
namespace {

using platform::trace::Event;

volatile std::sig_atomic_t interrupted = 0;
void onSignal(int) { interrupted = 1; }

// Ctrl+C or a termination request: the file is completed up to that moment.
struct Interrupted {};

void fail(const QString& text) { std::fprintf(stderr, "kivo: %s\n", text.toUtf8().constData()); }

// Passes every call on to the stage window and notes that the picture may have changed,
// so frames between changes repeat the last drawing.
class MarkingStage : public engine::StagePort {
 public:
  explicit MarkingStage(stage::Form1& form) : form_(form) {}
  bool changed = true;

  void setCaption(const QString& t) override { mark(), form_.setCaption(t); }
  void setSpeakerPicture(const QString& f) override { mark(), form_.setSpeakerPicture(f); }
  void setViewPicture(const QString& f) override { mark(), form_.setViewPicture(f); }
  QSize viewSize() const override { return form_.viewSize(); }
  void setViewLeft(int v) override { mark(), form_.setViewLeft(v); }
  void setViewTop(int v) override { mark(), form_.setViewTop(v); }
  void setViewVisible(bool v) override { mark(), form_.setViewVisible(v); }
  void setButtonCaption(int i, const QString& c) override { mark(), form_.setButtonCaption(i, c); }
  void setButtonVisible(int i, bool v) override { mark(), form_.setButtonVisible(i, v); }
  void setTimerPeriod(int ms) override { form_.setTimerPeriod(ms); }
  void setTimerEnabled(bool e) override { form_.setTimerEnabled(e); }
  bool autoSpeak() const override { return form_.autoSpeak(); }
  void showStage() override { mark(), form_.showStage(); }
  void hideStage() override { mark(), form_.hideStage(); }

 private:
  void mark() { changed = true; }
  stage::Form1& form_;
};

// The progress line: programme, time recorded, speed.
class Progress {
 public:
  Progress() : tty_(::isatty(2) == 1) { wall_.start(); }
  QString programme;

  void update(double ms, bool force = false) {
    const qint64 wall = wall_.elapsed();
    if (!force && wall - shown_ < (tty_ ? 250 : 10000)) return;
    shown_ = wall;
    const double speed = wall > 0 ? ms / double(wall) : 0;
    const int seconds = int(ms / 1000);
    std::fprintf(stderr, "%skivo: recording %s  %d:%02d.%d recorded  %.1fx%s", tty_ ? "\r" : "",
                 programme.toUtf8().constData(), seconds / 60, seconds % 60, int(ms / 100) % 10, speed,
                 tty_ ? "\x1b[K" : "\n");
    pendingNewline_ = tty_;
  }
  void endLine() {
    if (pendingNewline_) std::fputc('\n', stderr);
    pendingNewline_ = false;
  }

 private:
  bool tty_;
  QElapsedTimer wall_;
  qint64 shown_ = 0;
  bool pendingNewline_ = false;
};

// KIVO.001 to KIVO.100 in list order, as the programme list finds them.
QStringList catalogue() {
  QStringList out;
  for (int n = 1; n <= 100; ++n) {
    const QString name = QStringLiteral("KIVO.%1").arg(n, 3, 10, QLatin1Char('0'));
    const std::optional<std::string> path = platform::resolvePath(name);
    if (path && platform::isOrdinaryFile(*path)) out << name;
  }
  return out;
}

void reportError(const platform::RuntimeError& error) {
  Event("error").num(error.number()).text(error.message()).text(error.place().file).num(error.place().line);
  fail(error.reportText());
}

}  // namespace

int run(const Options& options) {
  // OUT is named from where kivo was started, before the folder becomes current.
  const QString out = QFileInfo(options.out).absoluteFilePath();
  if (!options.folder.isEmpty() && (!QFileInfo(options.folder).isDir() || !QDir::setCurrent(options.folder))) {
    fail(QStringLiteral("%1 is not a folder").arg(options.folder));
    return 2;
  }
  QStringList programmes;
  if (!options.programme.isEmpty()) {
    const std::optional<std::string> path = platform::resolvePath(options.programme);
    if (!path || !platform::isOrdinaryFile(*path)) {
      fail(QStringLiteral("no programme %1 in %2").arg(options.programme, QDir::currentPath()));
      return 2;
    }
    programmes << options.programme;
  } else {
    programmes = catalogue();
    if (programmes.isEmpty()) {
      fail(QStringLiteral("no programmes (KIVO.001 to KIVO.100) in %1").arg(QDir::currentPath()));
      return 2;
    }
  }
  // Without a video ending the name gets Matroska; a programme's own name would lose it.
  if (QFileInfo(out).fileName().contains(QRegularExpression(QStringLiteral("^KIVO\\.\\d{3}$"),
                                                              QRegularExpression::CaseInsensitiveOption))) {
    fail(QStringLiteral("%1 is a programme's name; give the video another (demo.mp4, demo.webm, demo.mkv)").arg(options.out));
    return 2;
  }
  std::unique_ptr<Encoder> encoder;
  try {
    encoder = std::make_unique<Encoder>(out);
  } catch (const EncoderError& e) {
    fail(QString::fromStdString(e.what()));
    return 2;
  }

  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents events(state, input);
  stage::Form1 form(events, {}, {});
  MarkingStage marking(form);
  engine::StageTap tap(marking);
  engine::VirtualClock clock([&events] { events.timerTick(); });
  tap.clock = &clock;
  platform::trace::setClock([&clock] { return clock.now(); });

  Progress progress;
  int status = 0;
  const QSize size = form.client()->size();
  QImage frame(size, QImage::Format_RGB32);
  qint64 nextFrame = 0;
  // What the frames show: the opening's window centred on black, or the stage's client area.
  QWidget* opening = nullptr;
  const auto drawUntil = [&](double to) {
    for (; nextFrame * 1000.0 / Encoder::kFrameRate < to; ++nextFrame) {
      const bool changed = marking.changed;
      if (changed) {
        // Layout and polish only: no timer runs here, the clock's ticks stand in for them.
        QCoreApplication::sendPostedEvents();
        if (opening != nullptr) {
          frame.fill(Qt::black);
          QPainter painter(&frame);
          opening->render(&painter, QPoint((size.width() - opening->width()) / 2, (size.height() - opening->height()) / 2));
        } else {
          form.client()->render(&frame);
        }
        marking.changed = false;
      }
      encoder->addFrame(frame, changed);
    }
  };

  auto previousInt = std::signal(SIGINT, onSignal);
  auto previousTerm = std::signal(SIGTERM, onSignal);
  interrupted = 0;
  try {
    encoder->start(size, options.scale);
    OfflineSound sound([&clock] { return clock.now(); }, [&](const float* s, int n) { encoder->addAudio(s, n); });
    if (!sound.musicProblem().isEmpty()) fail(QStringLiteral("no music: ") + sound.musicProblem());
    engine::Engine engine(state, tap, sound, clock, input);
    engine::Autopilot pilot;
    tap.onMenuOpened = [&] {
      clock.schedule(engine::Autopilot::kPressDelayMs, [&] {
        if (auto i = pilot.nextPress(tap.buttonCaptions(), tap.buttonsVisible())) {
          // Through the button itself, as a viewer's click arrives.
          form.command1(*i)->click();
          marking.changed = true;
        } else {
          state.leaveRequested = true;
        }
      });
    };
    clock.beforeAdvance = [&](double to) {
      if (interrupted) throw Interrupted{};
      sound.renderTo(to);
      drawUntil(to);
      progress.update(to);
    };
    // Unattended: lines hold for the automatic pause, as the menu entry would have them.
    if (!form.autoSpeak()) form.mnuAutoSpeak()->trigger();

    // All programmes are recorded as the station shows them, the opening first.
    if (options.programme.isEmpty()) {
      progress.programme = QStringLiteral("opening");
      opening::Demoform demo([&sound](const char* name, unsigned flags) {
        return sound.playSound(name != nullptr ? QString::fromLocal8Bit(name) : QString(), flags);
      });
      demo.show();
      opening = &demo;
      marking.changed = true;
      std::function<void()> tick = [&] {
        demo.Timer1_Timer();
        marking.changed = true;
        if (demo.timerTicking()) clock.schedule(opening::Demoform::kTickMs, tick);
      };
      clock.schedule(opening::Demoform::kTickMs, tick);
      try {
        while (demo.isVisible()) clock.processEvents();
      } catch (const engine::VirtualClock::Stalled&) {
      }
      // Its last picture stays until the stage's first one.
      drawUntil(clock.now());
      opening = nullptr;
      marking.changed = true;
    }

    for (const QString& name : programmes) {
      progress.programme = name;
      pilot.newProgramme();
      state.leaveRequested = false;
      state.scenarioPath = name;
      Event("record").text(name);
      try {
        engine.runProgramme();
      } catch (const platform::RuntimeError& error) {
        progress.endLine();
        reportError(error);
        input.closeAll();
        status = 1;
      } catch (const engine::VirtualClock::Stalled&) {
        progress.endLine();
        fail(QStringLiteral("%1 waits for something that never comes; its recording ends here").arg(name));
        status = 1;
      }
      progress.update(clock.now(), true);
    }
    sound.renderTo(clock.now());
    drawUntil(clock.now());
    encoder->finish();
  } catch (const Interrupted&) {
    progress.endLine();
    fail(QStringLiteral("recording interrupted; %1 is complete up to here").arg(out));
    try {
      encoder->finish();
    } catch (const EncoderError&) {
    }
    status = 130;
  } catch (const EncoderError& e) {
    progress.endLine();
    fail(QString::fromStdString(e.what()));
    try {
      encoder->finish();
    } catch (const EncoderError&) {
    }
    status = 1;
  }
  progress.endLine();
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  platform::trace::resetClock();
  return status;
}

}  // namespace record
