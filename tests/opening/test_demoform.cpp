// The opening window, offscreen: its time line driven tick by tick on a virtual clock,
// its key handling, its stored pictures and one run on the real timer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QtEndian>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "opening/demoform.h"
#include "platform/trace.h"

namespace {

using opening::Demoform;
using Frame = Demoform::Frame;

QApplication& app() {
  static int argc = 1;
  static char name[] = "opening_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: at exit Qt's own statics may already be gone.
  static auto* instance = new QApplication(argc, argv);
  return *instance;
}

struct SoundCall {
  std::string name;
  unsigned flags;
  bool operator==(const SoundCall&) const = default;
};

class OpeningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
    platform::trace::setEnabled(true);
    platform::trace::setClock([this] { return clockMs_; });
    platform::trace::setSink([this](const std::string& line) { trace_.push_back(line); });
    form_ = std::make_unique<Demoform>([this](const char* name, unsigned flags) {
      sounds_.push_back({name, flags});
      return true;
    });
  }
  void TearDown() override {
    form_.reset();
    platform::trace::setSink(nullptr);
    platform::trace::resetClock();
    platform::trace::setEnabled(false);
  }

  // One tick of Timer1 as the event loop would deliver it, 200 ms after the last.
  void tick() {
    clockMs_ += Demoform::kTickMs;
    form_->Timer1_Timer();
  }
  void runThroughStep(int step) {
    while (form_->stepCounter() <= step) tick();
  }
  void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(form_.get(), &event);
  }
  int visibleLines() const {
    int n = 0;
    for (int i = 1; i <= 19; ++i) n += form_->lineVisible(i) ? 1 : 0;
    return n;
  }
  std::vector<std::string> traceNamed(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& line : trace_) {
      const auto space = line.find(' ');
      if (line.compare(space + 1, prefix.size(), prefix) == 0) out.push_back(line);
    }
    return out;
  }

  double clockMs_ = 0;
  std::vector<std::string> trace_;
  std::vector<SoundCall> sounds_;
  std::unique_ptr<Demoform> form_;
};

TEST_F(OpeningTest, LoadHandlerLeavesFrameAAtItsPlaceAndTheTimerRunning) {
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Ostrimo"));
  EXPECT_TRUE(form_->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(form_->size(), QSize(251, 92));
  EXPECT_FALSE(form_->windowIcon().isNull());
  EXPECT_FALSE(form_->NoPlayMode);
  EXPECT_EQ(form_->stepCounter(), 0);
  EXPECT_EQ(form_->spriteTwips(), QPoint(120, 800));
  EXPECT_EQ(form_->spriteFrame(), Frame::A);
  EXPECT_EQ(form_->spriteSize(), QSize(37, 37));
  EXPECT_TRUE(form_->spriteVisible());
  EXPECT_EQ(visibleLines(), 0);
  EXPECT_FALSE(form_->yearVisible());
  EXPECT_EQ(form_->yearText(), QStringLiteral("1999"));
  EXPECT_TRUE(form_->yearFont().bold());
  EXPECT_EQ(form_->yearFont().pixelSize(), 19);  // 14.25 pt at 96 dpi
  EXPECT_EQ(form_->timerInterval(), 200);
  EXPECT_TRUE(form_->timerTicking());
  EXPECT_TRUE(sounds_.empty());
}

TEST_F(OpeningTest, TimeLineMovesTheSpriteRevealsLettersAndHidesAt4800) {
  form_->show();
  struct Expect {
    QPoint at;
    Frame frame;
    QSize size;
    int lines;
  };
  const Expect load{{120, 800}, Frame::A, {37, 37}, 0};
  // After each frame step: position in twips, frame, its natural size, segments shown.
  const std::vector<std::pair<int, Expect>> table = {
      {4, {{50, 800}, Frame::B, {43, 37}, 2}},  {5, {{120, 800}, Frame::A, {37, 37}, 6}},
      {6, {{120, 50}, Frame::C, {42, 89}, 9}},  {7, {{120, 800}, Frame::A, {37, 37}, 13}},
      {8, {{120, 50}, Frame::C, {42, 89}, 17}}, {9, {{140, 50}, Frame::D, {58, 88}, 19}},
  };
  Expect current = load;
  size_t next = 0;
  for (int step = 0; step <= 22; ++step) {
    tick();
    if (next < table.size() && table[next].first == step) current = table[next++].second;
    SCOPED_TRACE("after step " + std::to_string(step));
    EXPECT_EQ(form_->spriteTwips(), current.at);
    EXPECT_EQ(form_->spriteFrame(), current.frame);
    EXPECT_EQ(form_->spriteSize(), current.size);
    EXPECT_TRUE(form_->spriteVisible());
    EXPECT_EQ(visibleLines(), current.lines);
    for (int i = 1; i <= current.lines; ++i) EXPECT_TRUE(form_->lineVisible(i)) << i;
    EXPECT_EQ(form_->yearVisible(), step >= 13);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->timerTicking());
  }
  EXPECT_EQ(sounds_, (std::vector<SoundCall>{{"ZUDEMO.WAV", 1}}));

  tick();  // step 23
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->timerTicking());
  EXPECT_EQ(form_->timerInterval(), 0);
  EXPECT_EQ(form_->stepCounter(), 24);

  // The trace tells the same story on the virtual clock: steps at (n + 1) * 200 ms.
  const auto steps = traceNamed("opening-step");
  const std::vector<std::string> expected = {
      "400.000 opening-step 1 sound", "1000.000 opening-step 4",  "1200.000 opening-step 5",
      "1400.000 opening-step 6",      "1600.000 opening-step 7",  "1800.000 opening-step 8",
      "2000.000 opening-step 9",      "2800.000 opening-step 13", "4800.000 opening-step 23",
  };
  ASSERT_EQ(steps.size(), expected.size());
  for (size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(steps[i], expected[i] + "\n");
  EXPECT_EQ(traceNamed("opening-load").size(), 1u);
  EXPECT_EQ(traceNamed("opening-hidden"), std::vector<std::string>{"4800.000 opening-hidden end\n"});
}

TEST_F(OpeningTest, ModifierBeforeStepOneKeepsTheOpeningSilent) {
  tick();  // step 0
  press(Qt::Key_Shift);  // Shift alone, as the window system reports it
  EXPECT_TRUE(form_->NoPlayMode);
  runThroughStep(23);
  EXPECT_EQ(sounds_, (std::vector<SoundCall>{{"Dummy.wav", 3}}));
  EXPECT_EQ(traceNamed("opening-step").front(), "400.000 opening-step 1 silent\n");
  // The animation is not shortened or changed by it.
  EXPECT_EQ(form_->spriteFrame(), Frame::D);
  EXPECT_EQ(form_->stepCounter(), 24);
}

TEST_F(OpeningTest, ModifierAfterStepOneCutsTheSoundAndOnlyModifiersCount) {
  runThroughStep(1);
  ASSERT_EQ(sounds_, (std::vector<SoundCall>{{"ZUDEMO.WAV", 1}}));
  sounds_.clear();

  for (int key : {int(Qt::Key_A), int(Qt::Key_Return), int(Qt::Key_Escape), int(Qt::Key_Space)}) press(key);
  EXPECT_TRUE(sounds_.empty());
  EXPECT_FALSE(form_->NoPlayMode);

  press(Qt::Key_Control);
  press(Qt::Key_Alt);
  press(Qt::Key_A, Qt::ShiftModifier);
  press(Qt::Key_Escape, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(sounds_, std::vector<SoundCall>(4, {"Dummy.wav", 3}));
  EXPECT_TRUE(form_->NoPlayMode);

  press(Qt::Key_B);  // nothing sets it back
  runThroughStep(22);
  EXPECT_TRUE(form_->NoPlayMode);
  EXPECT_EQ(sounds_.size(), 4u);
  EXPECT_TRUE(form_->timerTicking());  // keys do not shorten the opening
}

TEST_F(OpeningTest, AltF4ClosesAtOnceAndNoTickFollows) {
  form_->show();
  runThroughStep(5);
  press(Qt::Key_Alt);
  press(Qt::Key_F4, Qt::AltModifier);
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->timerTicking());
  EXPECT_EQ(sounds_.back(), (SoundCall{"Dummy.wav", 3}));
  EXPECT_EQ(traceNamed("opening-hidden"), std::vector<std::string>{"1200.000 opening-hidden close\n"});
}

TEST_F(OpeningTest, CentresWithUnroundedHalves) {
  EXPECT_EQ(Demoform::centredTwips(15360, 11520), QPointF(5797.5, 5070));
  EXPECT_EQ(Demoform::centredTwips(12000, 9000), QPointF(4117.5, 3810));
  EXPECT_EQ(Demoform::centredTwips(3000, 1000), QPointF(-382.5, -190));  // not clamped
  const QPointF at = form_->positionTwips();
  const QSize screen = form_->screen()->size();
  EXPECT_EQ(at, Demoform::centredTwips(screen.width() * 15.0, screen.height() * 15.0));
  EXPECT_LE(std::abs(form_->x() * 15 - at.x()), 7.5);
  EXPECT_LE(std::abs(form_->y() * 15 - at.y()), 7.5);
}

TEST(OpeningLettering, SixColouredLettersStandInTheirBoxesOnTheBaseline) {
  struct Group {
    int first, last;
    QRgb colour;
    QRect box;  // x range, y range in twips
  };
  const Group groups[] = {
      {1, 2, qRgb(0, 255, 255), QRect(QPoint(840, 240), QPoint(1320, 1200))},
      {3, 6, qRgb(0, 255, 0), QRect(QPoint(1080, 240), QPoint(1920, 1200))},
      {7, 9, qRgb(255, 255, 255), QRect(QPoint(1680, 240), QPoint(3600, 1200))},
      {10, 13, qRgb(255, 0, 0), QRect(QPoint(1920, 360), QPoint(2400, 1200))},
      {14, 17, qRgb(255, 0, 255), QRect(QPoint(2280, 360), QPoint(3480, 1200))},
      {18, 19, qRgb(255, 255, 0), QRect(QPoint(2760, 480), QPoint(3240, 1200))},
  };
  const auto& segs = opening::lettering();
  const QRect year(QPoint(3000, 960), QPoint(3855, 1260));
  for (int g = 0; g < 6; ++g) {
    SCOPED_TRACE("group " + std::to_string(g + 1));
    int maxY = 0;
    for (int i = groups[g].first; i <= groups[g].last; ++i) {
      const auto& s = segs[i];
      EXPECT_EQ(s.group, g + 1);
      EXPECT_EQ(s.colour, groups[g].colour);
      for (QPoint p : {QPoint(s.x1, s.y1), QPoint(s.x2, s.y2)}) {
        EXPECT_TRUE(groups[g].box.contains(p)) << i << ": " << p.x() << "," << p.y();
        EXPECT_FALSE(year.contains(p)) << i;  // the year must not hide a stroke
        maxY = std::max(maxY, p.y());
      }
    }
    EXPECT_EQ(maxY, 1200);
  }
}

// The stored pictures: 4-bit, uncompressed, standard palette, bottom-up, no resolution.
TEST(OpeningPictures, FramesAreFourBitBottomUpBitmapsOfTheirSizes) {
  app();
  const QRgb standard[16] = {
      qRgb(0, 0, 0),     qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),
      qRgb(0, 0, 128),   qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192),
      qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),     qRgb(255, 255, 0),
      qRgb(0, 0, 255),   qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255),
  };
  const struct {
    const char* path;
    Frame frame;
    int w, h;
  } frames[] = {{":/opening/frame_a.bmp", Frame::A, 37, 37},
                {":/opening/frame_b.bmp", Frame::B, 43, 37},
                {":/opening/frame_c.bmp", Frame::C, 42, 89},
                {":/opening/frame_d.bmp", Frame::D, 58, 88}};
  (void)Demoform::framePicture(Frame::A);  // makes sure the resources are registered
  for (const auto& f : frames) {
    SCOPED_TRACE(f.path);
    QFile file(QString::fromLatin1(f.path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray b = file.readAll();
    ASSERT_GE(b.size(), 118);
    const auto* d = reinterpret_cast<const uchar*>(b.constData());
    auto u16 = [&](int at) { return qFromLittleEndian<quint16>(d + at); };
    auto u32 = [&](int at) { return qFromLittleEndian<quint32>(d + at); };
    auto i32 = [&](int at) { return qFromLittleEndian<qint32>(d + at); };
    EXPECT_EQ(b.left(2), QByteArray("BM"));
    EXPECT_EQ(u32(2), quint32(b.size()));
    EXPECT_EQ(u32(10), 118u);  // headers and 16 palette entries, then the pixels
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(i32(18), f.w);
    EXPECT_EQ(i32(22), f.h);  // positive: bottom-up
    EXPECT_EQ(u16(26), 1);
    EXPECT_EQ(u16(28), 4);
    EXPECT_EQ(u32(30), 0u);  // no compression
    EXPECT_EQ(i32(38), 0);
    EXPECT_EQ(i32(42), 0);
    const int rowBytes = ((f.w * 4 + 31) / 32) * 4;
    EXPECT_EQ(b.size(), 118 + rowBytes * f.h);
    for (int i = 0; i < 16; ++i) {
      const uchar* q = d + 54 + 4 * i;
      EXPECT_EQ(qRgb(q[2], q[1], q[0]), standard[i]) << "palette " << i;
    }
    const QImage image = QImage::fromData(b, "BMP");
    EXPECT_EQ(image.size(), QSize(f.w, f.h));
    EXPECT_EQ(Demoform::framePicture(f.frame).size(), QSize(f.w, f.h));
    // Bottom-up: the first stored row is the picture's last, where the feet are.
    const QImage top = image.copy(0, 0, f.w, 1);
    EXPECT_EQ(top.convertToFormat(QImage::Format_RGB32).pixel(0, 0), standard[0]);
  }

  QFile ico(QStringLiteral(":/opening/opening.ico"));
  ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
  const QByteArray i = ico.readAll();
  ASSERT_GE(i.size(), 22 + 40);
  EXPECT_EQ(uchar(i[6]), 32);   // width
  EXPECT_EQ(uchar(i[7]), 32);   // height
  EXPECT_EQ(uchar(i[8]), 16);   // colours
  EXPECT_EQ(uchar(i[12]), 4);   // bits per pixel
  EXPECT_EQ(QImage::fromData(i, "ICO").size(), QSize(32, 32));
}

// The final frame as a viewer sees it: segments over the sprite, the year on top.
TEST_F(OpeningTest, FinalFrameDrawsSegmentsOverTheSpriteAndShowsTheYear) {
  form_->show();
  runThroughStep(13);
  const QImage shot = form_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  if (const char* out = std::getenv("KIVO_OPENING_GRAB")) shot.save(QString::fromLocal8Bit(out));
  ASSERT_EQ(shot.size(), QSize(251, 92));
  // The first stroke of the first letter, where frame D (x 9..66) lies under it.
  const auto& s = opening::lettering()[1];
  const int y = 70;
  const double t = (y * 15.0 - s.y1) / (s.y2 - s.y1);
  const int x = int(std::lround((s.x1 + t * (s.x2 - s.x1)) / 15.0));
  ASSERT_LT(x, 9 + 58);
  bool cyan = false;
  for (int dx = -1; dx <= 1; ++dx) cyan = cyan || shot.pixel(x + dx, y) == qRgb(0, 255, 255);
  EXPECT_TRUE(cyan) << "at " << x << "," << y;
  int green = 0;
  for (int yy = 64; yy < 84; ++yy)
    for (int xx = 200; xx < 251; ++xx) green += shot.pixel(xx, yy) == qRgb(0, 255, 0) ? 1 : 0;
  EXPECT_GT(green, 30);  // "1999" is drawn
  // The holders are never seen: nothing right of the year's digits but black.
  EXPECT_EQ(shot.pixel(250, 5), qRgb(0, 0, 0));
}

// The production path, as the start-up sequence runs it: real 200 ms ticks, events
// processed until the window has hidden itself.
TEST(OpeningRealTimer, HidesItselfAfterTheLastStep) {
  app();
  platform::trace::setEnabled(true);
  platform::trace::resetClock();
  std::vector<std::string> trace;
  platform::trace::setSink([&](const std::string& line) { trace.push_back(line); });
  int calls = 0;
  QElapsedTimer elapsed;
  elapsed.start();
  auto form = std::make_unique<Demoform>([&](const char*, unsigned) { return ++calls, true; });
  form->show();
  QTimer guard;
  guard.setSingleShot(true);
  guard.start(15000);
  while (form->isVisible() && guard.isActive()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->stepCounter(), 24);
  EXPECT_EQ(calls, 1);
  EXPECT_GE(elapsed.elapsed(), 4790);
  form.reset();
  platform::trace::setSink(nullptr);
  platform::trace::setEnabled(false);
  ASSERT_FALSE(trace.empty());
  double load = -1, hidden = -1;
  for (const auto& line : trace) {
    if (line.find(" opening-load ") != std::string::npos) load = std::stod(line);
    if (line.find(" opening-hidden ") != std::string::npos) hidden = std::stod(line);
  }
  ASSERT_GE(load, 0);
  ASSERT_GE(hidden, 0);
  std::printf("opening hid %.1f ms after the load\n", hidden - load);
  EXPECT_GE(hidden - load, 4795.0);
}

}  // namespace

namespace {

// The window as the program builds it, with the platform's own sound call behind it.
TEST(OpeningPlatformSound, DefaultSoundCallIsUsable) {
  qputenv("SDL_AUDIODRIVER", "dummy");  // no sound device, no file written
  app();
  Demoform form;
  for (int i = 0; i < 3; ++i) form.Timer1_Timer();  // step 1 plays the opening sound
  form.Form_KeyDown(0, 2);
  EXPECT_TRUE(form.NoPlayMode);
  EXPECT_EQ(form.stepCounter(), 3);
}

}  // namespace
