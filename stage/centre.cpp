// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/centre.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "platform/basic.h"
#include "platform/trace.h"
#include "platform/twips.h"
#include "stage/window_frame.h"

namespace stage {
namespace {
using platform::kTwipsPerPixel;

// How long after the load a window whose frame was unknown may still be put right:
// window managers report the frame within moments of mapping the window.
constexpr int kLateFrameMs = 3000;
constexpr int kLatePollMs = 25;

// Centres the window by its outer size, frame included. The client area is placed
// rather than the frame: Qt may not know yet the frame the window manager told us.
// Returns the client area's place.
QPoint place(QWidget& window, const QMargins& frame, const char* how) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  const QSize screenPx = screen ? screen->size() : QSize(1024, 768);
  const int outerW = window.width() + frame.left() + frame.right();
  const int left = centredEdge(double(screenPx.width()) * kTwipsPerPixel, double(outerW) * kTwipsPerPixel);
  const int outerH = window.height() + frame.top() + frame.bottom();
  const int top = centredEdge(double(screenPx.height()) * kTwipsPerPixel, double(outerH) * kTwipsPerPixel);
  const QPoint at(left / kTwipsPerPixel + frame.left(), top / kTwipsPerPixel + frame.top());
  window.setGeometry(QRect(at, window.size()));
  platform::trace::Event("centre")
      .text(window.objectName())
      .num(left)
      .num(top)
      .num(frame.left())
      .num(frame.top())
      .num(frame.right())
      .num(frame.bottom())
      .word(how);
  return at;
}

// Where the frame could not be learnt before mapping: once the window system reports
// it, centre again by the real outer size, unless the viewer has moved the window.
// Qt sends no event when it learns the frame, so look now and then for a while.
class LateFrame : public QObject {
 public:
  LateFrame(QWidget& window, QPoint placed) : QObject(&window), window_(window), placed_(placed) {
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &LateFrame::look);
    poll->start(kLatePollMs);
    QTimer::singleShot(kLateFrameMs, this, [this] { deleteLater(); });
  }

 private:
  void look() {
    QWindow* handle = window_.windowHandle();
    if (!handle || !handle->isExposed()) return;
    const std::optional<QMargins> frame = frameExtents(window_);
    if (!frame) return;
    if (window_.geometry().topLeft() == placed_) place(window_, *frame, "late");
    deleteLater();
  }

  QWidget& window_;
  QPoint placed_;
};

}  // namespace

int centredEdge(double screenTwips, double outerTwips) {
  return static_cast<int>(platform::bankersRound(screenTwips - outerTwips) / 2);
}

void centreWindow(QWidget& window) {
  const std::optional<QMargins> frame = frameExtents(window);
  const QPoint placed = place(window, frame.value_or(QMargins()), frame ? "known" : "unknown");
  if (!frame) new LateFrame(window, placed);
}

}  // namespace stage
