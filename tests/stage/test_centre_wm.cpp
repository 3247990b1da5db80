// The centring routine under a real window manager: Xvfb with openbox, started for this
// process. Skips when either cannot be started.
#include <QApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/shared_state.h"
#include "engine/stage_events.h"
#include "platform/input.h"
#include "selection/form2.h"
#include "stage/centre.h"
#include "stage/form1.h"
#include "stage/window_frame.h"

extern char** environ;

namespace {

pid_t spawn(const std::vector<std::string>& argv, posix_spawn_file_actions_t* actions = nullptr) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  return posix_spawn(&pid, args[0], actions, nullptr, args.data(), environ) == 0 ? pid : 0;
}

// One X display with a window manager for the whole run, on the screen size the fault
// was seen on.
class WmDisplay : public ::testing::Environment {
 public:
  static inline std::string skipReason;

  void SetUp() override {
    const std::string xvfb = QStandardPaths::findExecutable("Xvfb").toStdString();
    const std::string openbox = QStandardPaths::findExecutable("openbox").toStdString();
    if (xvfb.empty() || openbox.empty()) return skip("Xvfb or openbox is not installed");
    int fds[2];
    if (::pipe(fds) != 0) return skip("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    xvfb_ = spawn({xvfb, "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                  &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, 10000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (!xvfb_ || number.empty()) return skip("Xvfb did not start");
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    wm_ = spawn({openbox, "--sm-disable"});
    static int argc = 1;
    static char name[] = "stage_wm_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    if (!wm_ || !QTest::qWaitFor(stage::windowManagerRunning, 10000)) return skip("openbox did not start");
    // The check window comes before the manager handles windows; it does once it
    // answers a frame request (and if it never does, the tests below say so).
    (void)QTest::qWaitFor(
        [] {
          QWidget probe;
          return stage::frameExtents(probe).has_value();
        },
        10000);
  }

  void TearDown() override {
    app_.reset();
    for (pid_t pid : {wm_, xvfb_}) {
      if (pid == 0) continue;
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }

 private:
  void skip(const std::string& why) { skipReason = why; }
  pid_t xvfb_ = 0, wm_ = 0;
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] auto* const env = ::testing::AddGlobalTestEnvironment(new WmDisplay);

// Every place the client area is seen at, from the moment it is first on screen.
class Places : public QObject {
 public:
  explicit Places(QWindow& w) : w_(w) { w.installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if ((e->type() == QEvent::Expose || e->type() == QEvent::Move) && w_.isExposed())
      seen.push_back(w_.geometry().topLeft());
    return false;
  }
  std::vector<QPoint> seen;

 private:
  QWindow& w_;
};

class CentreWm : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!WmDisplay::skipReason.empty()) GTEST_SKIP() << WmDisplay::skipReason;
  }

  // Shows the window as the program does and checks that its client area sits where
  // centring by the real outer size puts it, and never anywhere else once seen.
  void expectCentredWithoutJump(QWidget& w, const std::function<void()>& show) {
    show();  // the window exists now, and is mapped only when events are processed
    Places places(*w.windowHandle());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(300);  // room for a late move
    const std::optional<QMargins> frame = stage::frameExtents(w);
    ASSERT_TRUE(frame.has_value());
    const QMargins f = *frame;
    const QSize screen = w.screen()->size();
    const QPoint outer(
        stage::centredEdge(screen.width() * 15.0, (w.width() + f.left() + f.right()) * 15.0) / 15,
        stage::centredEdge(screen.height() * 15.0, (w.height() + f.top() + f.bottom()) * 15.0) / 15);
    EXPECT_GT(f.top(), 0);  // openbox gives it a title bar
    EXPECT_EQ(w.geometry().topLeft(), outer + QPoint(f.left(), f.top()));
    ASSERT_FALSE(places.seen.empty());
    for (QPoint p : places.seen) EXPECT_EQ(p, w.geometry().topLeft()) << "a visible jump";
  }
};

TEST_F(CentreWm, StageWindowCentredOnceByItsFrame) {
  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents events{state, input};
  stage::Form1 form{events, {}, {}};
  expectCentredWithoutJump(form, [&] { form.showStage(); });

  // Centred once: where the viewer puts it, it stays across a hide and a show.
  const QRect put(QPoint(60, 60), form.size());
  form.setGeometry(put);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.geometry() == put; }, 3000));
  form.hideStage();
  form.showStage();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTest::qWait(300);
  EXPECT_EQ(form.geometry(), put);
}

TEST_F(CentreWm, SelectionWindowCentredByItsFrame) {
  engine::SharedState state;
  selection::Form2 form{state, {}};
  expectCentredWithoutJump(form, [&] {
    form.load();  // centres before the window exists, as the main loop does
    form.show();
  });
}

}  // namespace
