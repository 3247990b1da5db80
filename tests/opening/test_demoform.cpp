// SPDX-License-Identifier: GPL-3.0-or-later
// The opening window, offscreen: its time line driven tick by tick on a virtual clock,
// its key handling and its stored pictures. The real binary waits it out end to end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "opening/demoform.h"
#include "tests/support/trace_capture.h"

namespace {

using opening::Demoform;
using Frame = Demoform::Frame;

using SoundCall = std::pair<std::string, unsigned>;  // name, flags

// Trace lines whose event starts with `prefix`, from a sink that collects them all.
std::vector<std::string> named(const std::vector<std::string>& trace, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& line : trace)
    if (line.compare(line.find(' ') + 1, prefix.size(), prefix) == 0) out.push_back(line);
  return out;
}

class OpeningTest : public ::testing::Test, public TraceCapture {
 protected:
  // One tick of Timer1 as the event loop would deliver it, 200 ms after the last.
  void runThroughStep(int step) {
    while (form_->stepCounter() <= step) {
      now += Demoform::kTickMs;
      form_->advance();
    }
  }
  void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(form_.get(), &event);
  }

  std::vector<SoundCall> sounds_;
  std::unique_ptr<Demoform> form_ = std::make_unique<Demoform>([this](const char* name, unsigned flags) {
    sounds_.push_back({name, flags});
    return true;
  });
};

TEST_F(OpeningTest, TimeLineMovesTheSpriteRevealsLettersAndHidesAt4800) {
  EXPECT_EQ(form_->size(), QSize(251, 92));
  EXPECT_EQ(form_->yearFont().pixelSize(), 19);  // 14.25 pt at 96 dpi
  form_->show();

  // Sprite position (twips), frame, its picture's natural size, and Line1(1..lines) shown,
  // from the load handler (step -1) on; a step not listed leaves everything as it was.
  struct State {
    QPoint at;
    Frame frame;
    QSize size;
    int lines;
  };
  const std::vector<std::pair<int, State>> table = {
      {-1, {{120, 800}, Frame::A, {37, 37}, 0}}, {4, {{50, 800}, Frame::B, {43, 37}, 2}},
      {5, {{120, 800}, Frame::A, {37, 37}, 6}},  {6, {{120, 50}, Frame::C, {42, 89}, 9}},
      {7, {{120, 800}, Frame::A, {37, 37}, 13}}, {8, {{120, 50}, Frame::C, {42, 89}, 17}},
      {9, {{140, 50}, Frame::D, {58, 88}, 19}},
  };
  State now{};
  size_t next = 0;
  for (int step = -1; step <= 22; ++step) {
    if (step >= 0) runThroughStep(step);
    if (next < table.size() && table[next].first == step) now = table[next++].second;
    SCOPED_TRACE("after step " + std::to_string(step));
    EXPECT_EQ(form_->spriteTwips(), now.at);
    EXPECT_EQ(form_->spriteFrame(), now.frame);
    EXPECT_EQ(form_->spriteSize(), now.size);
    EXPECT_TRUE(form_->spriteVisible());
    for (int i = 1; i <= 19; ++i) EXPECT_EQ(form_->lineVisible(i), i <= now.lines) << "Line1(" << i << ")";
    EXPECT_EQ(form_->yearVisible(), step >= 13);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->timerTicking());
  }
  EXPECT_EQ(form_->yearText(), QStringLiteral("1999"));
  EXPECT_EQ(sounds_, (std::vector<SoundCall>{{"ZUDEMO.WAV", 1u}}));

  // The final frame as a viewer sees it: strokes drawn over the sprite (frame D, at 9,3),
  // and the year.
  const QImage shot = form_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  auto count = [](const QImage& image, QRect r, QRgb colour) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) n += image.pixel(x, y) == colour ? 1 : 0;
    return n;
  };
  const QImage d = Demoform::framePicture(Frame::D).toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_GT(count(shot, QRect(9, 3, 58, 88), qRgb(0, 255, 255)), count(d, d.rect(), qRgb(0, 255, 255)) + 5);
  EXPECT_GT(count(shot, QRect(200, 64, 51, 20), qRgb(0, 255, 0)), 30);

  runThroughStep(23);
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->timerTicking());

  // Each step that does something is traced, at (n + 1) * 200 ms on the virtual clock.
  const std::vector<std::string> expected = {
      "400.000 opening-step 1 sound\n", "1000.000 opening-step 4\n",  "1200.000 opening-step 5\n",
      "1400.000 opening-step 6\n",      "1600.000 opening-step 7\n",  "1800.000 opening-step 8\n",
      "2000.000 opening-step 9\n",      "2800.000 opening-step 13\n", "4800.000 opening-step 23\n"};
  EXPECT_EQ(named(lines, "opening-step"), expected);
  EXPECT_EQ(named(lines, "opening-hidden"), std::vector<std::string>{"4800.000 opening-hidden end\n"});
}

TEST_F(OpeningTest, ModifierBeforeStepOneKeepsTheOpeningSilent) {
  runThroughStep(0);
  press(Qt::Key_Shift);  // Shift alone, as the window system reports it
  runThroughStep(23);
  EXPECT_EQ(sounds_, (std::vector<SoundCall>{{"Dummy.wav", 3u}}));
  EXPECT_EQ(named(lines, "opening-step").front(), "400.000 opening-step 1 silent\n");
  EXPECT_EQ(form_->spriteFrame(), Frame::D);  // the animation itself is unchanged
}

TEST_F(OpeningTest, AfterStepOneOnlyKeysWithAModifierSendTheStopSound) {
  form_->show();
  runThroughStep(1);
  sounds_.clear();
  for (int key : {Qt::Key_A, Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space}) press(key);
  press(Qt::Key_5, Qt::KeypadModifier);  // the keypad is no modifier
  EXPECT_TRUE(sounds_.empty());
  EXPECT_FALSE(form_->noPlayMode());

  press(Qt::Key_Control);  // a modifier alone counts, as the window system reports it
  press(Qt::Key_Alt);
  press(Qt::Key_A, Qt::ShiftModifier);
  press(Qt::Key_Escape, Qt::ControlModifier | Qt::AltModifier);
  press(Qt::Key_B);
  EXPECT_EQ(sounds_, std::vector<SoundCall>(4, {"Dummy.wav", 3u}));
  runThroughStep(22);
  EXPECT_TRUE(form_->noPlayMode());      // nothing sets it back
  EXPECT_TRUE(form_->timerTicking());  // nor do keys shorten the opening

  press(Qt::Key_F4, Qt::AltModifier);  // a close request ends it at once
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->timerTicking());
  EXPECT_EQ(named(lines, "opening-hidden"), std::vector<std::string>{"4600.000 opening-hidden close\n"});
}

TEST_F(OpeningTest, CentresWithUnroundedHalves) {
  EXPECT_EQ(Demoform::centredTwips(15360, 11520), QPointF(5797.5, 5070));
  EXPECT_EQ(Demoform::centredTwips(3000, 1000), QPointF(-382.5, -190));  // not clamped
  const QSize screen = form_->screen()->size();
  EXPECT_EQ(form_->positionTwips(), Demoform::centredTwips(screen.width() * 15.0, screen.height() * 15.0));
}

// Run also with QT_SCALE_FACTOR=2 (kivo --scale 2): the sprite is enlarged pixel by
// pixel, so the screen shows only the picture's own colours, none smoothed in between.
TEST_F(OpeningTest, SpriteKeepsSharpEdgesAtAnyScale) {
  form_->show();
  const QImage picture = Demoform::framePicture(Frame::A).toImage();
  ASSERT_EQ(form_->spriteSize(), picture.size());
  const QRect sprite(form_->spriteTwips() / 15, picture.size());
  const QImage seen = form_->grab(sprite).toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(seen.size(), picture.size() * qApp->devicePixelRatio());
  for (int y = 0; y < seen.height(); ++y)
    for (int x = 0; x < seen.width(); ++x) {
      const QPoint source(int(x / qApp->devicePixelRatio()), int(y / qApp->devicePixelRatio()));
      ASSERT_EQ(seen.pixel(x, y), picture.pixel(source)) << x << "," << y;
    }
}

// The default sound call is Windows' own, in platform/ (on a device that plays nothing).
TEST(OpeningSound, DefaultIsTheWindowsCall) {
  qputenv("SDL_AUDIODRIVER", "dummy");
  TraceCapture trace;
  Demoform form;
  for (int tick = 0; tick < 2; ++tick) form.advance();
  EXPECT_EQ(named(trace.lines, "snd \"ZUDEMO.WAV\" 1").size(), 1u);
}

}  // namespace
