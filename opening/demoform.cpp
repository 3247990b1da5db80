// SPDX-License-Identifier: GPL-3.0-or-later
#include "opening/demoform.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include <cmath>
#include <cstdio>

#include "platform/fonts.h"
#include "platform/keys.h"
#include "platform/picture.h"
#include "platform/timer.h"
#include "platform/trace.h"
#include "platform/twips.h"

// Resources of a static library are only linked in when something names them.
static void initOpeningResources() { Q_INIT_RESOURCE(opening); }

namespace opening {
namespace {

using platform::twipsToPixels;

constexpr QRgb kCyan = qRgb(0, 255, 255);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kMagenta = qRgb(255, 0, 255);
constexpr QRgb kYellow = qRgb(255, 255, 0);

// Six letters, V M F O E V, all slanted alike (a quarter of their height) and standing
// on y = 1200. Neighbours are joined as in a logo: the V and the M meet at the top, and
// the M's right leg is the F's stem. The F's top stroke runs on as a roof over the last
// three letters, and the E's over the last V; nothing reaches into the lower right
// corner, where the year appears later.
const std::array<Segment, 20> kLettering = {{
    {0, 0, 0, 0, 0, 0},
    // V
    {1080, 240, 840, 1200, 1, kCyan},
    {840, 1200, 1320, 240, 1, kCyan},
    // M
    {1080, 1200, 1320, 240, 2, kGreen},
    {1320, 240, 1500, 720, 2, kGreen},
    {1500, 720, 1920, 240, 2, kGreen},
    {1920, 240, 1680, 1200, 2, kGreen},
    // F with the long roof
    {1680, 1200, 1920, 240, 3, kWhite},
    {1920, 240, 3600, 240, 3, kWhite},
    {1800, 720, 1980, 720, 3, kWhite},
    // O
    {1920, 1200, 2130, 360, 4, kRed},
    {2130, 360, 2400, 360, 4, kRed},
    {2400, 360, 2190, 1200, 4, kRed},
    {2190, 1200, 1920, 1200, 4, kRed},
    // E with a long top arm
    {2280, 1200, 2490, 360, 5, kMagenta},
    {2490, 360, 3480, 360, 5, kMagenta},
    {2385, 780, 2640, 780, 5, kMagenta},
    {2280, 1200, 2580, 1200, 5, kMagenta},
    // V
    {2940, 480, 2760, 1200, 6, kYellow},
    {2760, 1200, 3240, 480, 6, kYellow},
}};

const char* frameResource(Demoform::Frame frame) {
  switch (frame) {
    case Demoform::Frame::A: return ":/opening/frame_a.bmp";
    case Demoform::Frame::B: return ":/opening/frame_b.bmp";
    case Demoform::Frame::C: return ":/opening/frame_c.bmp";
    case Demoform::Frame::D: return ":/opening/frame_d.bmp";
    case Demoform::Frame::None: break;
  }
  return nullptr;
}

// Holders sit right of the client area, where they are never seen.
constexpr int kHolderLeftTwips = 4320;
constexpr int kLabelFontSizeCentipoints = 1425;

}  // namespace

const std::array<Segment, 20>& lettering() { return kLettering; }

// The segments are drawn above the sprite and below the year; one layer over the whole
// client area keeps that order without a widget per segment.
class Demoform::LineLayer : public QWidget {
 public:
  LineLayer(const std::array<bool, 20>& visible, QWidget* parent) : QWidget(parent), visible_(visible) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    // Ascending index: Line1(19) ends up on top.
    for (int i = 1; i < 20; ++i) {
      if (!visible_[i]) continue;
      const Segment& s = kLettering[i];
      painter.setPen(QPen(QColor(s.colour), 1));
      painter.drawLine(QPoint(twipsToPixels(s.x1), twipsToPixels(s.y1)),
                       QPoint(twipsToPixels(s.x2), twipsToPixels(s.y2)));
    }
  }

 private:
  const std::array<bool, 20>& visible_;
};

Demoform::Demoform(SoundCall sound, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), sound_(std::move(sound)) {
  initOpeningResources();
  setWindowTitle(QStringLiteral("Ostrimo"));
  setWindowIcon(QIcon(QStringLiteral(":/opening/opening.ico")));
  setFixedSize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::black);
  setPalette(pal);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);

  timer1_ = new platform::Timer(this);
  connect(timer1_, &platform::Timer::tick, this, &Demoform::Timer1_Timer);

  // Created bottom first: sprite, holders, segments, year.
  image1_ = new QLabel(this);
  image1_->move(twipsToPixels(spriteLeft_), twipsToPixels(spriteTop_));
  image1_->resize(0, 0);

  const Frame frames[] = {Frame::A, Frame::B, Frame::C, Frame::D};
  int holderLeft = kHolderLeftTwips;
  for (int i = 0; i < 4; ++i) {
    QLabel* holder = new QLabel(this);
    holder->setObjectName(QStringLiteral("Image%1").arg(i + 2));
    const QPixmap picture = framePicture(frames[i]);
    holder->setPixmap(platform::sharpForLabel(picture));
    holder->setGeometry(twipsToPixels(holderLeft), 0, picture.width(), picture.height());
    holderLeft += platform::pixelsToTwips(picture.width()) + 120;
    holders_[i] = holder;
  }

  lines_ = new LineLayer(lineVisible_, this);
  lines_->setGeometry(rect());
  lineVisible_.fill(true);  // visible as laid out, until the load handler

  label1_ = new QLabel(QStringLiteral("1999"), this);
  label1_->setGeometry(platform::twipsRect(3000, 960, 855, 300));
  label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label1_->setMargin(0);
  label1_->setIndent(0);
  QPalette labelPal = label1_->palette();
  labelPal.setColor(QPalette::Window, Qt::black);
  labelPal.setColor(QPalette::WindowText, QColor(0, 255, 0));
  label1_->setPalette(labelPal);
  label1_->setAutoFillBackground(true);
  platform::installFontSubstitutions();
  QFont font = platform::layoutFont(platform::kMinchoFamily, kLabelFontSizeCentipoints / 100.0);
  font.setBold(true);
  label1_->setFont(font);

  Form_Load();
}

Demoform::~Demoform() = default;

QPointF Demoform::centredTwips(double screenWidthTwips, double screenHeightTwips) {
  // Floating halves, no rounding, then kept as single precision.
  const float left = float(screenWidthTwips / 2 - kClientWidthTwips / 2.0);
  const float top = float(screenHeightTwips / 2 - kClientHeightTwips / 2.0);
  return {left, top};
}

void Demoform::Form_Load() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const QSize screenPx = screen ? screen->size() : QSize(1024, 768);
  position_ = centredTwips(double(platform::pixelsToTwips(screenPx.width())),
                           double(platform::pixelsToTwips(screenPx.height())));
  move(int(std::lround(position_.x() / platform::kTwipsPerPixel)),
       int(std::lround(position_.y() / platform::kTwipsPerPixel)));

  label1_->setVisible(false);
  for (int i = 1; i < 20; ++i) lineVisible_[i] = false;
  lines_->update();

  image1_->setPixmap(holders_[0]->pixmap());
  frame_ = Frame::A;
  spriteTop_ = 800;
  placeSprite();

  timer1_->setInterval(kTickMs);

  char where[64];
  std::snprintf(where, sizeof where, "%g %g", position_.x(), position_.y());
  platform::trace::Event("opening-load").word(where);
}

void Demoform::placeSprite() {
  image1_->move(twipsToPixels(spriteLeft_), twipsToPixels(spriteTop_));
  image1_->resize(image1_->pixmap().deviceIndependentSize().toSize());
}

void Demoform::Timer1_Timer() {
  const int step = step_;
  switch (step) {
    case 1:
      platform::trace::Event("opening-step").num(step).word(noPlayMode_ ? "silent" : "sound");
      if (!noPlayMode_) playSound("ZUDEMO.WAV", sound::winmm::SND_ASYNC);
      break;
    case 4:
      platform::trace::Event("opening-step").num(step);
      showLines(1, 2);
      frameChange(-70, 0, Frame::B);
      break;
    case 5:
      platform::trace::Event("opening-step").num(step);
      showLines(3, 6);
      frameChange(70, 0, Frame::A);
      break;
    case 6:
      platform::trace::Event("opening-step").num(step);
      showLines(7, 9);
      frameChange(0, -750, Frame::C);
      break;
    case 7:
      platform::trace::Event("opening-step").num(step);
      showLines(10, 13);
      frameChange(0, 750, Frame::A);
      break;
    case 8:
      platform::trace::Event("opening-step").num(step);
      showLines(14, 17);
      frameChange(0, -750, Frame::C);
      break;
    case 9:
      platform::trace::Event("opening-step").num(step);
      showLines(18, 19);
      frameChange(20, 0, Frame::D);
      break;
    case 13:
      platform::trace::Event("opening-step").num(step);
      label1_->setVisible(true);
      break;
    case kLastStep:
      platform::trace::Event("opening-step").num(step);
      timer1_->setInterval(0);
      hide();
      traceHidden("end");
      break;
    default:
      break;
  }
  step_ = qint16(step_ + 1);
}

void Demoform::showLines(int first, int last) {
  for (int i = first; i <= last; ++i) lineVisible_[i] = true;
  lines_->update();
}

void Demoform::frameChange(int dLeft, int dTop, Frame picture) {
  image1_->setVisible(false);
  spriteLeft_ += dLeft;
  spriteTop_ += dTop;
  image1_->setPixmap(holders_[int(picture) - int(Frame::A)]->pixmap());
  frame_ = picture;
  placeSprite();
  image1_->setVisible(true);
}

void Demoform::Form_KeyDown(int /*keyCode*/, int shift) {
  if (shift == 0) return;
  platform::trace::Event("opening-key").num(shift);
  playSound("Dummy.wav", sound::winmm::SND_ASYNC | sound::winmm::SND_NODEFAULT);
  noPlayMode_ = true;
}

void Demoform::keyPressEvent(QKeyEvent* event) {
  Form_KeyDown(platform::virtualKeyCode(event->key()), platform::modifierMask(*event));
  // Alt+F4 is Windows' close request; where no window manager turns it into
  // one (a bare X server, the offscreen platform) the window does it itself.
  if (event->key() == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier) &&
      !(event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier))) {
    close();
  }
}

void Demoform::closeEvent(QCloseEvent* event) {
  // A close request ends the opening at once; no tick may follow it.
  timer1_->setInterval(0);
  event->accept();
  traceHidden("close");
}

void Demoform::traceHidden(const char* why) {
  if (hiddenTraced_) return;
  hiddenTraced_ = true;
  platform::trace::Event("opening-hidden").word(why);
}

void Demoform::playSound(const char* name, unsigned flags) {
  if (!sound_) return;
  // The result is ignored, and a sound layer that fails must not end the opening.
  try {
    (void)sound_(name, flags);
  } catch (...) {
  }
}

QSize Demoform::spriteSize() const { return image1_->pixmap().deviceIndependentSize().toSize(); }
bool Demoform::spriteVisible() const { return image1_->isVisibleTo(this); }
bool Demoform::lineVisible(int index) const { return index >= 1 && index <= 19 && lineVisible_[index]; }
bool Demoform::yearVisible() const { return label1_->isVisibleTo(this); }
QString Demoform::yearText() const { return label1_->text(); }
QFont Demoform::yearFont() const { return label1_->font(); }
int Demoform::timerInterval() const { return timer1_->interval(); }
bool Demoform::timerTicking() const { return timer1_->isTicking(); }

QPixmap Demoform::framePicture(Frame frame) {
  initOpeningResources();
  const char* path = frameResource(frame);
  return path ? QPixmap(QString::fromLatin1(path), "BMP") : QPixmap();
}

}  // namespace opening
