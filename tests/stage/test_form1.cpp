// SPDX-License-Identifier: GPL-3.0-or-later
// The stage window: layout, colours, handlers, "&" captions, the engine's port, trace.
#include <QApplication>
#include <QGraphicsView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "engine/shared_state.h"
#include "engine/stage_events.h"
#include "platform/input.h"
#include "platform/runtime_error.h"
#include "stage/centre.h"
#include "stage/controls.h"
#include "stage/form1.h"
#include "tests/support/trace_capture.h"

namespace {

using Lines = std::vector<std::string>;

class StageTest : public ::testing::Test, public TraceCapture {
 protected:
  void showForm() {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }

  QTemporaryDir dir;
  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents events{state, input};
  int loads = 0, unloads = 0;
  stage::Form1 form{events, [this] { ++loads; }, [this] { ++unloads; }};
};

QImage grab(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Bounding box of the pixels that differ from the reference image.
QRect inkBounds(const QImage& image, const QImage& reference) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != reference.pixel(x, y)) box |= QRect(x, y, 1, 1);
  return box;
}

// Where it is centred is checked under a window manager (test_centre_wm.cpp).
TEST_F(StageTest, LoadsOnceCentredBackToFrontInItsColoursAndCloseAsksToEnd) {
  showForm();
  form.hideStage();
  form.showStage();
  EXPECT_EQ(loads, 1);  // shown again after a hide, it is not loaded again
  ASSERT_EQ(traced().size(), 1u);
  EXPECT_EQ(traced()[0].rfind("centre \"Form1\" ", 0), 0u);
  form.close();
  EXPECT_EQ(unloads, 1);

  EXPECT_EQ(form.minimumSize(), form.maximumSize());  // not resizable
  EXPECT_FALSE(form.windowIcon().isNull());
  const int menuHeight = form.menuBar()->height();
  EXPECT_GT(menuHeight, 0);
  EXPECT_EQ(form.client()->geometry(), QRect(0, menuHeight, 387, 380));
  EXPECT_EQ(form.size(), QSize(387, 380 + menuHeight));

  // Back to front: view frame, speaker, view, caption, title frame, title letters, buttons.
  QWidgetList order = {form.Shape1(), form.Image1(), form.Image2(), form.Label1(), form.Shape2()};
  for (int k = 0; k < 10; ++k) order << form.Label2(k);
  for (int i = 0; i < stage::Form1::kButtonCount; ++i) order << form.Command1(i);
  const QObjectList z = form.client()->children();
  for (int n = 1; n < order.size(); ++n) EXPECT_GT(z.indexOf(order[n]), z.indexOf(order[n - 1])) << n;

  const QImage img = grab(form.client());
  const QColor background(64, 64, 64), green(0, 255, 0), blue(0, 0, 255), black(Qt::black);
  const QColor border = form.Label1()->palette().color(QPalette::WindowText);
  const std::pair<QPoint, QColor> samples[] = {  // background, 2-pixel borders with black inside, caption
      {{2, 2}, background}, {{9, 9}, green}, {{10, 10}, black}, {{121, 9}, blue}, {{122, 10}, black},
      {{8, 272}, border}, {{10, 274}, form.Label1()->palette().color(QPalette::Button)}};
  for (const auto& [p, colour] : samples) EXPECT_EQ(QColor(img.pixel(p)), colour) << p.x() << "," << p.y();

  // Each title letter is drawn in its own colour on black.
  for (int k = 0; k < 10; ++k) {
    const QImage box = img.copy(form.Label2(k)->geometry());
    const std::span<const QRgb> pixels(reinterpret_cast<const QRgb*>(box.constBits()), box.sizeInBytes() / 4);
    const QRgb colour = form.Label2(k)->palette().color(QPalette::WindowText).rgb();
    EXPECT_TRUE(std::ranges::find(pixels, colour) != pixels.end()) << k;
    EXPECT_EQ(pixels.back(), qRgb(0, 0, 0)) << k;
  }
}

TEST_F(StageTest, CaptionWrapsClipsAndDrawsAccessKeys) {
  showForm();
  const QImage blank = grab(form.Label1());
  auto ink = [&](const QString& text) {
    form.setCaption(text);
    return inkBounds(grab(form.Label1()), blank);
  };
  // Japanese text without spaces breaks between characters; it fills the label and
  // stays inside the border.
  const QRect all = ink(QStringLiteral("あ").repeated(200));
  const QRect label = form.Label1()->rect();
  EXPECT_TRUE(label.adjusted(1, 1, -1, -1).contains(all)) << all.x() << "," << all.y() << " " << all.width();
  EXPECT_GT(all.width(), label.width() - 30);
  EXPECT_GT(all.height(), label.height() - 25);
  EXPECT_LT(all.left(), 5);
  EXPECT_LT(all.top(), 6);

  const QRect plain = ink("AB"), marked = ink("A&B"), doubled = ink("A&&B");
  EXPECT_EQ(marked.left(), plain.left());
  EXPECT_GT(marked.bottom(), plain.bottom());              // the underline
  EXPECT_LE(std::abs(marked.right() - plain.right()), 2);  // the marker takes no room
  EXPECT_GT(doubled.width(), plain.width() + 5);           // one "&" is shown
  EXPECT_EQ(doubled.bottom(), plain.bottom());             // and nothing is underlined
}

TEST_F(StageTest, KeysClearTheAdvanceFlagUnlessAButtonHasTheFocus) {
  showForm();
  lines.clear();
  auto pressClears = [&](QWidget* target, int key, const QString& text = {}, bool autoRepeat = false) {
    state.advanceFlag = true;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text, autoRepeat);
    QApplication::sendEvent(target, &press);
    return !state.advanceFlag;
  };
  EXPECT_TRUE(pressClears(&form, Qt::Key_A, "a"));
  EXPECT_TRUE(pressClears(&form, Qt::Key_Shift));               // a modifier alone
  EXPECT_TRUE(pressClears(&form, Qt::Key_Space, " ", true));  // each auto-repeat
  EXPECT_EQ(traced(), (Lines{"key 65 0", "key 16 1", "key 32 0"}));

  form.setButtonCaption(0, "x");
  form.setButtonVisible(0, true);
  form.Command1(0)->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), form.Command1(0));
  EXPECT_FALSE(pressClears(form.Command1(0), Qt::Key_B, "b"));  // the button passes it up, unused
  // A hidden button lets go of the focus, so the window gets keys again.
  form.setButtonVisible(0, false);
  EXPECT_TRUE(pressClears(&form, Qt::Key_B, "b"));
}

TEST_F(StageTest, ClicksAndMenuEntriesReachTheEngine) {
  showForm();
  lines.clear();
  state.advanceFlag = true;
  QTest::mouseClick(form.Label1(), Qt::RightButton);
  QTest::mouseClick(form.client(), Qt::LeftButton, {}, QPoint(60, 60));  // the title letters
  EXPECT_TRUE(state.advanceFlag);
  // A double click, as the window system delivers it, is one click on the caption.
  QTest::mouseDClick(form.windowHandle(), Qt::LeftButton, {}, form.Label1()->mapTo(&form, QPoint(20, 20)));
  EXPECT_FALSE(state.advanceFlag);
  EXPECT_EQ(traced(), Lines{"click-caption"});

  // The chosen item is the caption character for character; "&" changes only its display.
  for (const QString& caption : {QStringLiteral(" 天気 予報  "), QStringLiteral("Q&&A")}) {
    form.setButtonCaption(3, caption);
    form.setButtonVisible(3, true);
    QTest::mouseClick(form.Command1(3), Qt::LeftButton);
    EXPECT_EQ(state.chosenItem, caption);
  }

  lines.clear();
  EXPECT_FALSE(form.autoSpeak());
  form.mnuAutoSpeak()->trigger();
  EXPECT_TRUE(form.autoSpeak());
  form.mnuAutoSpeak()->trigger();
  form.mnuJmpMenu()->trigger();
  EXPECT_TRUE(state.jumpRequested);
  // That the timer ticks again and again is seen in e2e_road, whose lines are paced by it.
  EXPECT_EQ(traced(), (Lines{"auto on", "auto off", "jump"}));
}

// Full screen's whole scale is the largest factor that fits; centring rounds halves to
// even, then halves toward zero.
TEST(StageArithmetic, WholeScaleFitsAndCentringRoundsHalvesToEven) {
  const QSize stage(387, 380);
  const std::vector<std::pair<QSize, int>> scales = {
      {{1920, 1056}, 2}, {{1161, 1140}, 3}, {{1160, 1140}, 2}, {{800, 600}, 1}, {{300, 200}, 1}};
  for (const auto& [area, k] : scales) EXPECT_EQ(stage::Form1::wholeScale(area, stage), k) << area.width();
  // 3 twips too wide; 2.5 -> 2; 3.5 -> 4; -2.5 -> -2; 5 \ 2.
  const std::pair<double, int> edges[] = {{1003, -1}, {997.5, 1}, {996.5, 2}, {1002.5, -1}, {995, 2}};
  for (const auto& [width, edge] : edges) EXPECT_EQ(stage::centredEdge(1000, width), edge) << width;
}

TEST_F(StageTest, FullScreenScalesTheStageOnBlackKeepsItWorkingAndEscLeaves) {
  form.setFullScreenStage(true);
  showForm();
  auto* view = form.findChild<QGraphicsView*>("stageView");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(form.geometry().size(), form.screen()->size());
  // No menu bar strip above the stage; Alt+M opens the menu instead.
  EXPECT_EQ(view->geometry(), form.rect());
  QTest::keyClick(&form, Qt::Key_M, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activePopupWidget() != nullptr; }));
  QApplication::activePopupWidget()->close();
  const int k = stage::Form1::wholeScale(view->viewport()->size(), form.client()->size());
  EXPECT_EQ(view->transform().m11(), k);
  const QImage shot = grab(view->viewport());
  EXPECT_EQ(shot.pixel(0, shot.height() - 1), qRgb(0, 0, 0));
  const QPoint centre = view->mapFromScene(QPointF(form.client()->width() / 2.0, form.client()->height() / 2.0));
  EXPECT_LE(std::abs(centre.x() - view->viewport()->width() / 2), k);

  // Buttons still reach the handlers through the scaled view.
  form.setButtonCaption(2, "x");
  form.setButtonVisible(2, true);
  const QPoint at = view->mapFromScene(QPointF(form.Command1(2)->geometry().center()));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(state.chosenItem, "x");
  form.setButtonVisible(2, false);

  // Esc only leaves full screen; in a window it is an ordinary key again.
  state.advanceFlag = true;
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_TRUE(state.advanceFlag);
  EXPECT_FALSE(form.fullScreenStage());
  EXPECT_EQ(form.centralWidget(), form.client());
  EXPECT_TRUE(form.menuBar()->isVisibleTo(&form));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isFullScreen(); }));
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_FALSE(state.advanceFlag);
  const auto seen = traced();
  EXPECT_NE(std::find(seen.begin(), seen.end(), "fullscreen " + std::to_string(k)), seen.end());
}

TEST_F(StageTest, PortDrivesControlsTracesAndReportsErrors) {
  QImage image(80, 90, QImage::Format_RGB32);
  image.fill(Qt::cyan);
  const QString face = dir.filePath("face.bmp");
  ASSERT_TRUE(image.save(face));
  engine::StageTrace port(form);  // as the engine drives the window
  port.setCaption("こんにちは");
  port.setSpeakerPicture(face);
  EXPECT_EQ(form.Image1()->geometry(), QRect(9, 168, 80, 90));  // natural size; 130 twips is 8.67 px
  port.setSpeakerPicture(QString());
  EXPECT_THROW(port.setSpeakerPicture("none.bmp"), platform::RuntimeError);  // traced all the same

  port.setViewVisible(false);
  port.setViewVisible(false);  // already hidden: nothing to report
  port.setViewPicture(face);
  port.setViewLeft(2240);
  port.setViewTop(850);
  port.setViewVisible(true);
  EXPECT_EQ(form.Image2()->geometry(), QRect(149, 57, 80, 90));
  port.setViewPicture(QString());  // the empty picture keeps the size
  EXPECT_EQ(port.viewSize(), QSize(1200, 1350));

  port.setButtonCaption(0, "はい");
  port.setButtonVisible(0, true);
  port.setButtonCaption(1, "いいえ");
  port.setButtonVisible(1, true);
  for (int i = 0; i < stage::Form1::kButtonCount; ++i) port.setButtonVisible(i, false);  // reported once, as the last goes
  EXPECT_EQ(traced(), (Lines{"caption \"こんにちは\"", "speaker \"" + face.toStdString() + "\"", "speaker \"\"", "speaker \"none.bmp\"",
                          "view-hide", "view-show 2240 850 1200 1350 \"" + face.toStdString() + "\"",
                          "button 0 \"はい\"", "button 1 \"いいえ\"", "buttons-hide"}));

  // No such button: error 340.
  for (int index : {-1, stage::Form1::kButtonCount}) EXPECT_THROW(port.setButtonVisible(index, true), platform::RuntimeError) << index;
}

}  // namespace
