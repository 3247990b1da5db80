// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stage window: caption label, speaker and view pictures, eight item buttons,
// the title panel, the pacing timer and the menu bar. Its handlers only pass events
// on to engine::StageEvents; the engine drives the controls through StagePort (and
// traces what it does to them in engine::StageTrace).
#include <QMainWindow>
#include <array>
#include <functional>

#include "engine/ports.h"
#include "engine/stage_trace.h"

class QAction;
class QGraphicsProxyWidget;
class QGraphicsView;
class QLabel;
class QShortcut;
class QMenu;
class QPushButton;

namespace engine {
class StageEvents;
}
namespace platform {
class Timer;
}

namespace stage {

class CaptionLabel;
class PictureBox;
class Shape;

class Form1 : public QMainWindow, public engine::StagePort {
  Q_OBJECT
 public:
  static constexpr int kButtonCount = engine::kButtonCount;
  static constexpr int kTitleLetterCount = 10;

  // onLoad runs when the window is first shown, before it centres itself.
  // onQueryUnload runs whenever the window is asked to close; the window itself stays.
  Form1(engine::StageEvents& events, std::function<void()> onLoad, std::function<void()> onQueryUnload,
        QWidget* parent = nullptr);
  ~Form1() override;

  // engine::StagePort
  void setCaption(const QString& text) override;
  void setSpeakerPicture(const QString& file) override;
  void setViewPicture(const QString& file) override;
  QSize viewSize() const override;
  void setViewLeft(int left) override;
  void setViewTop(int top) override;
  void setViewVisible(bool visible) override;
  void setButtonCaption(int index, const QString& caption) override;
  void setButtonVisible(int index, bool visible) override;
  void setTimerPeriod(int ms) override;
  void setTimerEnabled(bool enabled) override;
  bool autoSpeak() const override;
  void showStage() override;
  void hideStage() override;

  // Full screen: the stage (the client area) fills the screen below the menu bar, scaled
  // by the largest whole factor that fits, centred on black. Esc leaves it. May be set
  // before the first show.
  void setFullScreenStage(bool on);
  bool fullScreenStage() const { return view_ != nullptr; }
  // The largest whole factor by which `stage` fits into `area`; at least 1.
  static int wholeScale(QSize area, QSize stage);
  // The client area's size at scale 1, in pixels.
  static QSize clientSize();

  // The controls, for the application and tests.
  QWidget* client() const { return client_; }
  CaptionLabel* Label1() const { return label1_; }
  QLabel* Label2(int k) const { return label2_.at(k); }
  PictureBox* Image1() const { return image1_; }
  PictureBox* Image2() const { return image2_; }
  QPushButton* Command1(int i) const { return command1_.at(i); }
  Shape* Shape1() const { return shape1_; }
  Shape* Shape2() const { return shape2_; }
  QAction* mnuJmpMenu() const { return mnuJmpMenu_; }
  QAction* mnuAutoSpeak() const { return mnuAutoSpeak_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void buildMenu();
  QPushButton* button(int index) const;  // error 340 outside 0 to 7

  void Form_Load();
  void Form_QueryUnload();
  void Form_KeyDown(int keyCode, int shift);
  void Command1_Click(int index);
  void Label1_Click();
  void Timer1_Timer();
  void mnuAutoSpeak_Click(bool checked);
  void mnuJmpMenu_Click();

  engine::StageEvents& events_;
  std::function<void()> onLoad_;
  std::function<void()> onQueryUnload_;
  bool loaded_ = false;

  QWidget* client_ = nullptr;
  Shape* shape1_ = nullptr;
  PictureBox* image1_ = nullptr;
  PictureBox* image2_ = nullptr;
  CaptionLabel* label1_ = nullptr;
  Shape* shape2_ = nullptr;
  std::array<QLabel*, kTitleLetterCount> label2_{};
  std::array<QPushButton*, kButtonCount> command1_{};
  platform::Timer* timer1_ = nullptr;
  QMenu* mnumenu_ = nullptr;
  QAction* mnuJmpMenu_ = nullptr;
  QAction* mnuAutoSpeak_ = nullptr;

  // Only while the stage is full screen: the view that scales the client area.
  QGraphicsView* view_ = nullptr;
  QGraphicsProxyWidget* proxy_ = nullptr;
  QShortcut* leaveFullScreen_ = nullptr;
  QShortcut* popUpMenu_ = nullptr;  // Alt+M in full screen, where the menu bar is hidden

  // The view picture's place as last set, in twips: pixels would lose precision.
  int viewLeft_ = engine::StageTrace::kViewStartLeft;
  int viewTop_ = engine::StageTrace::kViewStartTop;
};

}  // namespace stage
