#include "stage/centre.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "platform/basic.h"

namespace stage {
namespace {
constexpr int kTwipsPerPixel = 15;
}

int centredEdge(double screenTwips, double outerTwips) {
  return static_cast<int>(platform::bankersRound(screenTwips - outerTwips) / 2);
}

void centreWindow(QWidget& window) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  const QSize screenPx = screen ? screen->size() : QSize(1024, 768);
  // Outer size: the frame the window system adds, where it is known already.
  const QRect frame = window.frameGeometry();
  const QRect inner = window.geometry();
  const int extraW = frame.width() - inner.width();
  const int extraH = frame.height() - inner.height();
  const int outerW = window.width() + std::max(0, extraW);
  const int left = centredEdge(double(screenPx.width()) * kTwipsPerPixel, double(outerW) * kTwipsPerPixel);
  window.move(left / kTwipsPerPixel, window.y());
  const int outerH = window.height() + std::max(0, extraH);
  const int top = centredEdge(double(screenPx.height()) * kTwipsPerPixel, double(outerH) * kTwipsPerPixel);
  window.move(left / kTwipsPerPixel, top / kTwipsPerPixel);
}

}  // namespace stage
