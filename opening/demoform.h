// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The opening window: a small black borderless window that plays a fixed 4.8-second
// animation once at start-up (a sprite changing frames beside a lettering drawn one
// letter per tick, then the year) and hides itself at the end.
//
// Use: create, show, process events while it is visible, then delete it.
#include <QPixmap>
#include <QPointF>
#include <QWidget>

#include <array>
#include <functional>

#include "sound/winmm.h"

class QLabel;

namespace platform {
class Timer;
}

namespace opening {

// One segment of the lettering, end points in twips from the client area's top-left.
struct Segment {
  int x1, y1, x2, y2;
  int group;      // 1..6, the letter it belongs to
  QRgb colour;
};

// Line1(1) .. Line1(19); element 0 is unused so indices read as in the layout.
const std::array<Segment, 20>& lettering();

class Demoform : public QWidget {
  Q_OBJECT
 public:
  // Windows' simple sound call: (name, flags) -> started. Injected so tests can
  // listen; its result is never looked at.
  using SoundCall = std::function<bool(const char* name, unsigned flags)>;

  static constexpr int kClientWidthTwips = 3765;
  static constexpr int kClientHeightTwips = 1380;
  static constexpr int kTickMs = 200;
  static constexpr int kLastStep = 23;

  // Runs the load handler: the window is centred, the sprite stands in frame A and the
  // timer runs, so the time line counts from construction.
  explicit Demoform(SoundCall sound = &sound::winmm::sndPlaySoundA, QWidget* parent = nullptr);
  ~Demoform() override;

  // Where the load handler puts the window's top-left corner, in twips: unrounded
  // halves, kept at single precision, not clamped to the screen.
  static QPointF centredTwips(double screenWidthTwips, double screenHeightTwips);
  QPointF positionTwips() const { return position_; }

  // One tick of Timer1 now, for a driver that keeps time itself (the recorder's
  // virtual clock, tests); the window's own timer then is not to run.
  void advance() { Timer1_Timer(); }

  // What a viewer would see, for tests and the trace.
  enum class Frame { None, A, B, C, D };
  qint16 stepCounter() const { return step_; }
  QPoint spriteTwips() const { return {spriteLeft_, spriteTop_}; }
  Frame spriteFrame() const { return frame_; }
  QSize spriteSize() const;          // pixels, the natural size of its picture
  bool spriteVisible() const;
  bool lineVisible(int index) const;  // 1..19
  bool yearVisible() const;          // Label1
  QString yearText() const;
  QFont yearFont() const;
  int timerInterval() const;
  bool timerTicking() const;
  bool noPlayMode() const { return noPlayMode_; }  // step 1 will stay silent

  // The frame pictures as stored in the layout.
  static QPixmap framePicture(Frame frame);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class LineLayer;

  void Form_Load();
  void Timer1_Timer();
  void Form_KeyDown(int keyCode, int shift);
  void frameChange(int dLeft, int dTop, Frame picture);
  void showLines(int first, int last);
  void placeSprite();
  void playSound(const char* name, unsigned flags);
  void traceHidden(const char* why);

  SoundCall sound_;
  qint16 step_ = 0;
  QPointF position_;
  // Set by any key pressed with Shift, Ctrl or Alt; keeps step 1 silent. Never cleared.
  bool noPlayMode_ = false;
  platform::Timer* timer1_ = nullptr;
  QLabel* label1_ = nullptr;
  QLabel* image1_ = nullptr;
  std::array<QLabel*, 4> holders_{};  // Image2 .. Image5
  LineLayer* lines_ = nullptr;
  std::array<bool, 20> lineVisible_{};
  int spriteLeft_ = 120;
  int spriteTop_ = 240;
  Frame frame_ = Frame::None;
  bool hiddenTraced_ = false;
};

}  // namespace opening
