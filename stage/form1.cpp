// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <algorithm>

#include "engine/engine.h"
#include "engine/stage_events.h"
#include "platform/fonts.h"
#include "platform/keys.h"
#include "platform/picture.h"
#include "platform/runtime_error.h"
#include "platform/timer.h"
#include "platform/trace.h"
#include "platform/twips.h"
#include "stage/app_icon.h"
#include "stage/caption_box.h"
#include "stage/centre.h"
#include "stage/controls.h"
#include "stage/window_frame.h"

namespace stage {
namespace {

using platform::trace::Event;
using platform::twipsRect;

constexpr int kClientWidth = 5805;  // twips
constexpr int kClientHeight = 5700;
const QColor kBackground(64, 64, 64);

struct TitleLetter {
  char16_t character;
  int left, top, width, height;
  QColor colour;
  double points;
};

// Together they spell the window caption inside the title frame.
const TitleLetter kTitleLetters[Form1::kTitleLetterCount] = {
    {u'ミ', 240, 240, 345, 315, QColor(0, 255, 0), 15.75},
    {u'ル', 600, 480, 345, 315, QColor(255, 255, 128), 15.75},
    {u'カ', 1080, 240, 345, 315, QColor(192, 64, 0), 15.75},
    {u'ナ', 1320, 720, 345, 315, QColor(224, 224, 224), 15.75},
    {u'ラ', 240, 960, 345, 315, QColor(128, 255, 255), 15.75},
    {u'ン', 600, 1320, 345, 315, QColor(192, 0, 0), 15.75},
    {u'ド', 1080, 1200, 345, 315, QColor(192, 0, 192), 15.75},
    {u'放', 150, 1800, 495, 495, QColor(255, 255, 0), 24},
    {u'送', 630, 1800, 495, 495, QColor(0, 0, 255), 24},
    {u'局', 1110, 1800, 495, 495, QColor(255, 128, 255), 24},
};

// Shows the client area scaled by a whole factor, so every pixel stays a sharp square.
class StageView : public QGraphicsView {
 public:
  explicit StageView(QWidget* parent) : QGraphicsView(parent) {
    setObjectName(QStringLiteral("stageView"));
    setScene(new QGraphicsScene(this));
    setBackgroundBrush(Qt::black);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAlignment(Qt::AlignCenter);
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QGraphicsView::resizeEvent(event);
    const int k = Form1::wholeScale(viewport()->size(), sceneRect().size().toSize());
    if (k == scale_) return;
    scale_ = k;
    setTransform(QTransform::fromScale(k, k));
    Event("fullscreen").num(k);
  }

 private:
  int scale_ = 0;
};

}  // namespace

Form1::Form1(engine::StageEvents& events, std::function<void()> onLoad, std::function<void()> onQueryUnload,
             QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      events_(events),
      onLoad_(std::move(onLoad)),
      onQueryUnload_(std::move(onQueryUnload)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(stage::windowTitle());
  setWindowIcon(appIcon());
  platform::installFontSubstitutions();
  buildMenu();
  buildControls();
  // Fixed single border: the window is exactly the menu bar over the client area.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  requestFrameExtents(*this);  // for the centring when the window is first shown

  leaveFullScreen_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  leaveFullScreen_->setEnabled(false);  // Esc is an ordinary key in a window
  connect(leaveFullScreen_, &QShortcut::activated, this, [this] { setFullScreenStage(false); });
  // In full screen the menu bar is hidden, so no strip sits above the centred stage; Alt+M
  // and a right click on the stage open the same menu there.
  popUpMenu_ = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_M), this);
  popUpMenu_->setEnabled(false);
  connect(popUpMenu_, &QShortcut::activated, this,
          [this] { mnumenu_->popup(view_->mapToGlobal(view_->mapFromScene(QPointF(0, 0)))); });
  connect(client_, &QWidget::customContextMenuRequested, this, [this] { mnumenu_->popup(QCursor::pos()); });
}

Form1::~Form1() = default;

int Form1::wholeScale(QSize area, QSize stage) {
  if (stage.isEmpty()) return 1;
  return std::max(1, std::min(area.width() / stage.width(), area.height() / stage.height()));
}

QSize Form1::clientSize() {
  return {platform::twipsToPixels(kClientWidth), platform::twipsToPixels(kClientHeight)};
}

void Form1::setFullScreenStage(bool on) {
  if (on == fullScreenStage()) return;
  if (on) {
    layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    takeCentralWidget();
    client_->setParent(nullptr);  // only a window can be embedded in a scene
    client_->move(0, 0);
    view_ = new StageView(this);
    proxy_ = view_->scene()->addWidget(client_);
    client_->show();
    view_->scene()->setSceneRect(QRectF(QPointF(0, 0), QSizeF(client_->size())));
    setCentralWidget(view_);
    menuBar()->hide();
    popUpMenu_->setEnabled(true);
    client_->setContextMenuPolicy(Qt::CustomContextMenu);
    leaveFullScreen_->setEnabled(true);
    setWindowState(windowState() | Qt::WindowFullScreen);
    if (isVisible()) setGeometry(screen()->geometry());
  } else {
    proxy_->setWidget(nullptr);
    proxy_ = nullptr;
    setCentralWidget(client_);  // the view goes, with its scene
    client_->show();
    view_ = nullptr;
    menuBar()->show();
    popUpMenu_->setEnabled(false);
    client_->setContextMenuPolicy(Qt::DefaultContextMenu);
    leaveFullScreen_->setEnabled(false);
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    centreWindow(*this);
    Event("fullscreen").num(0);
  }
}

void Form1::buildMenu() {
  // Inside the window, as on Windows, so the client area sits below it.
  menuBar()->setNativeMenuBar(false);
  mnumenu_ = menuBar()->addMenu(QStringLiteral("&Menu"));
  mnumenu_->setObjectName(QStringLiteral("mnumenu"));
  mnuJmpMenu_ = mnumenu_->addAction(QStringLiteral("項目メニューへ(&C)"));
  mnuJmpMenu_->setObjectName(QStringLiteral("mnuJmpMenu"));
  mnuAutoSpeak_ = mnumenu_->addAction(QStringLiteral("自動会話モード(&A)"));
  mnuAutoSpeak_->setObjectName(QStringLiteral("mnuAutoSpeak"));
  mnuAutoSpeak_->setCheckable(true);
  mnuAutoSpeak_->setChecked(false);
  connect(mnuJmpMenu_, &QAction::triggered, this, &Form1::mnuJmpMenu_Click);
  connect(mnuAutoSpeak_, &QAction::triggered, this, &Form1::mnuAutoSpeak_Click);
}

void Form1::buildControls() {
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("client"));
  client_->setFixedSize(clientSize());
  QPalette pal = client_->palette();
  pal.setColor(QPalette::Window, kBackground);
  client_->setPalette(pal);
  client_->setAutoFillBackground(true);
  setCentralWidget(client_);

  // Created back to front, so each control is drawn over the ones before it and the
  // item buttons are in front of everything.
  shape1_ = new Shape(QColor(0, 0, 255), 2, Qt::black, client_);
  shape1_->setObjectName(QStringLiteral("Shape1"));
  shape1_->setGeometry(twipsRect(1800, 120, 3900, 3900));

  image1_ = new PictureBox(client_);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setGeometry(twipsRect(130, 2520, engine::kSpeakerBox, engine::kSpeakerBox));

  image2_ = new PictureBox(client_);
  image2_->setObjectName(QStringLiteral("Image2"));
  image2_->setGeometry(twipsRect(viewLeft_, viewTop_, 3840, 2880));

  label1_ = new CaptionLabel(client_);
  label1_->setObjectName(QStringLiteral("Label1"));
  const QRect box = captionBoxTwips();
  label1_->setGeometry(twipsRect(box.left(), box.top(), box.width(), box.height()));
  label1_->setFont(captionFont());
  connect(label1_, &CaptionLabel::clicked, this, &Form1::Label1_Click);
  label1_->setAccessibleDescription(QStringLiteral("字幕"));

  shape2_ = new Shape(QColor(0, 255, 0), 2, Qt::black, client_);
  shape2_->setObjectName(QStringLiteral("Shape2"));
  shape2_->setGeometry(twipsRect(120, 120, 1575, 2295));

  for (int k = 0; k < kTitleLetterCount; ++k) {
    const TitleLetter& t = kTitleLetters[k];
    auto* label = new QLabel(QString(QChar(t.character)), client_);
    label->setObjectName(QStringLiteral("Label2_%1").arg(k));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setMargin(0);
    label->setIndent(0);
    label->setFont(platform::layoutFont(platform::kGothicFamily, t.points));
    QPalette lp = label->palette();
    lp.setColor(QPalette::Window, Qt::black);
    lp.setColor(QPalette::WindowText, t.colour);
    label->setPalette(lp);
    label->setAutoFillBackground(true);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setGeometry(twipsRect(t.left, t.top, t.width, t.height));
    label2_[k] = label;
  }

  // Focus order follows the index because the buttons are created in index order.
  for (int i = 0; i < kButtonCount; ++i) {
    auto* b = new QPushButton(client_);
    b->setObjectName(QStringLiteral("Command1_%1").arg(i));
    b->setGeometry(twipsRect(1920, 120 + 480 * i, 3615, 495));
    b->setAutoDefault(true);  // Enter presses the focused button, as Space does
    b->setAccessibleDescription(QStringLiteral("項目"));
    b->hide();
    connect(b, &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    command1_[i] = b;
  }

  timer1_ = new platform::Timer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  connect(timer1_, &platform::Timer::tick, this, &Form1::Timer1_Timer);
}

QPushButton* Form1::button(int index) const {
  if (index < 0 || index >= kButtonCount) throw platform::missingControlElement(index);
  return command1_[index];
}

// ---- engine::StagePort ----

void Form1::setCaption(const QString& text) {
  label1_->setCaption(text);
}

void Form1::setSpeakerPicture(const QString& file) {
  image1_->setPicture(platform::loadPicture(file));
}

void Form1::setViewPicture(const QString& file) {
  image2_->setPicture(platform::loadPicture(file));
}

QSize Form1::viewSize() const { return platform::pixelsToTwips(image2_->size()); }

void Form1::setViewLeft(int left) {
  viewLeft_ = left;
  image2_->move(platform::twipsToPixels(left), image2_->y());
}

void Form1::setViewTop(int top) {
  viewTop_ = top;
  image2_->move(image2_->x(), platform::twipsToPixels(top));
}

void Form1::setViewVisible(bool visible) { image2_->setVisible(visible); }

void Form1::setButtonCaption(int index, const QString& caption) { button(index)->setText(caption); }

void Form1::setButtonVisible(int index, bool visible) {
  QPushButton* b = button(index);
  // A hidden button gives up the focus, so that keys reach the window again; Qt would
  // leave it with the hidden button when no other button can take it.
  if (!visible && (focusWidget() == b || (view_ && client_->focusWidget() == b))) b->clearFocus();
  b->setVisible(visible);
}

void Form1::setTimerPeriod(int ms) {
  timer1_->setInterval(ms);
}

void Form1::setTimerEnabled(bool enabled) { timer1_->setEnabled(enabled); }

bool Form1::autoSpeak() const { return mnuAutoSpeak_->isChecked(); }

void Form1::showStage() {
  // Every section run shows the window; only a hidden one is brought forward, so a
  // viewer who switched to another program is not pulled back at each section.
  if (isVisible()) return;
  // Without a window manager the full-screen state alone changes nothing.
  if (fullScreenStage()) setGeometry(screen()->geometry());
  show();
  raise();
  activateWindow();
}

void Form1::hideStage() { hide(); }

// ---- events ----

void Form1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!loaded_) {
    loaded_ = true;
    Form_Load();
  }
}

void Form1::closeEvent(QCloseEvent* event) {
  // The window lives as long as the process: closing it ends the process instead.
  event->ignore();
  Form_QueryUnload();
}

void Form1::keyPressEvent(QKeyEvent* event) {
  // Keys a focused item button does not use reach us too; the window's own key
  // handler only runs while none of its buttons holds the focus.
  QWidget* focus = QApplication::focusWidget();
  if (view_ && focus == view_) focus = client_->focusWidget();  // the focus inside the scaled stage
  if (focus && std::find(command1_.begin(), command1_.end(), focus) != command1_.end()) {
    event->ignore();
    return;
  }
  Form_KeyDown(platform::virtualKeyCode(event->key()), platform::modifierMask(*event));
  event->accept();
}

// ---- handlers: each passes its event on and returns ----

void Form1::Form_Load() {
  if (onLoad_) onLoad_();
  centreWindow(*this);
}

void Form1::Form_QueryUnload() {
  if (onQueryUnload_) onQueryUnload_();
}

void Form1::Form_KeyDown(int keyCode, int shift) { events_.keyDown(keyCode, shift); }

void Form1::Command1_Click(int index) { events_.buttonClicked(index, command1_[index]->text()); }

void Form1::Label1_Click() { events_.captionClicked(); }

void Form1::Timer1_Timer() { events_.timerTick(); }

void Form1::mnuAutoSpeak_Click(bool checked) { events_.autoSpeakToggled(checked); }

void Form1::mnuJmpMenu_Click() { events_.jumpToMenu(); }

}  // namespace stage
