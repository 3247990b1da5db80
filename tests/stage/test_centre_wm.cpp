// SPDX-License-Identifier: GPL-3.0-or-later
// The centring routine under a real window manager: Xvfb with openbox, started for this
// process. Skips when either cannot be started.
#include <QApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/shared_state.h"
#include "engine/stage_events.h"
#include "platform/input.h"
#include "selection/form2.h"
#include "stage/centre.h"
#include "stage/form1.h"
#include "stage/window_frame.h"

namespace {

// One X display with a window manager for the whole run, on the screen size the fault
// was seen on.
class WmDisplay : public ::testing::Environment {
 public:
  static inline std::string skipReason;

  void SetUp() override {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb"), openbox = QStandardPaths::findExecutable("openbox");
    if (xvfb.isEmpty() || openbox.isEmpty()) return skip("Xvfb or openbox is not installed");
    xvfb_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    xvfb_.start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    QByteArray number;
    while (!number.endsWith('\n') && xvfb_.waitForReadyRead(10000)) number += xvfb_.readAll();
    if (number.trimmed().isEmpty()) return skip("Xvfb did not start");
    ::setenv("DISPLAY", (":" + number.trimmed()).constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    wm_.start(openbox, {"--sm-disable"});
    static int argc = 1;
    static char name[] = "stage_wm_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    if (!wm_.waitForStarted() || !QTest::qWaitFor(stage::windowManagerRunning, 10000)) return skip("openbox did not start");
    // The check window comes before the manager handles windows; it does once it
    // answers a frame request (and if it never does, the tests below say so).
    QWidget probe;
    (void)QTest::qWaitFor([&] { return stage::frameExtents(probe).has_value(); }, 10000);
  }

  void TearDown() override {
    app_.reset();
    for (QProcess* p : {&wm_, &xvfb_}) {
      p->terminate();
      p->waitForFinished();
    }
  }

 private:
  void skip(const std::string& why) { skipReason = why; }
  QProcess xvfb_, wm_;
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] auto* const env = ::testing::AddGlobalTestEnvironment(new WmDisplay);

// Every place the client area is seen at, from the moment it is first on screen.
struct Places : QObject {
  explicit Places(QWindow& w) : w(w) { w.installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if ((e->type() == QEvent::Expose || e->type() == QEvent::Move) && w.isExposed())
      seen.push_back(w.geometry().topLeft());
    return false;
  }
  QWindow& w;
  std::vector<QPoint> seen;
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
    // The outer edges as Qt learns them from the window manager, apart from our own
    // reading of the frame: centring goes by that reading, so a wrong one shows below.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.frameGeometry() != w.geometry(); }, 3000)) << "Qt never saw the frame";
    const QRect outer = w.frameGeometry();
    EXPECT_GT(w.geometry().top(), outer.top());  // openbox gives it a title bar
    const QSize screen = w.screen()->size();
    EXPECT_EQ(outer.topLeft(), QPoint(stage::centredEdge(screen.width() * 15.0, outer.width() * 15.0) / 15,
                                      stage::centredEdge(screen.height() * 15.0, outer.height() * 15.0) / 15));
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
