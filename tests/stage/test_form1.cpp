// The stage window: layout, colours, handlers, "&" captions, the engine's port, trace.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/shared_state.h"
#include "engine/stage_events.h"
#include "platform/input.h"
#include "platform/runtime_error.h"
#include "platform/timer.h"
#include "platform/trace.h"
#include "stage/app_icon.h"
#include "stage/centre.h"
#include "stage/controls.h"
#include "stage/form1.h"

namespace {

namespace trace = platform::trace;

class StageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    trace::setEnabled(true);
    trace::setClock([] { return 0.0; });
    trace::setSink([this](const std::string& line) {
      // "<ms> <event> <fields>\n" -> "<event> <fields>"
      lines.push_back(line.substr(line.find(' ') + 1, line.size() - line.find(' ') - 2));
    });
  }
  void TearDown() override {
    trace::setSink(nullptr);
    trace::resetClock();
    trace::setEnabled(false);
  }

  void showForm() {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  QImage grabClient() { return form.client()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  // A picture file of the given size in pixels, in a temporary folder.
  QString pictureFile(const QString& name, QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path));
    return path;
  }

  QTemporaryDir dir;
  std::vector<std::string> lines;
  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents events{state, input};
  int loads = 0;
  int unloads = 0;
  stage::Form1 form{events, [this] { ++loads; }, [this] { ++unloads; }};
};

QColor at(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

bool containsColour(const QImage& image, const QRect& box, QColor colour) {
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x)
      if (image.pixel(x, y) == colour.rgb()) return true;
  return false;
}

// Bounding box of the pixels that differ from the reference image.
QRect inkBounds(const QImage& image, const QImage& reference) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != reference.pixel(x, y)) box |= QRect(x, y, 1, 1);
  return box;
}

TEST_F(StageTest, WindowIsFixedWithMenuBarOverTheClientArea) {
  showForm();
  EXPECT_EQ(form.windowTitle(), "ミルカナランド放送局");
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form.minimumSize(), form.maximumSize());

  const int menuHeight = form.menuBar()->height();
  EXPECT_GT(menuHeight, 0);
  EXPECT_EQ(form.client()->geometry(), QRect(0, menuHeight, 387, 380));
  EXPECT_EQ(form.size(), QSize(387, 380 + menuHeight));

  EXPECT_FALSE(form.windowIcon().isNull());
  const QImage icon = stage::appIcon().pixmap(16, 16).toImage();
  ASSERT_EQ(icon.size(), QSize(16, 16));
  EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);  // transparent corner
}

TEST_F(StageTest, ControlsSitWhereTheLayoutPutsThem) {
  EXPECT_EQ(form.shape1()->geometry(), QRect(120, 8, 260, 260));
  EXPECT_EQ(form.image1()->geometry(), QRect(9, 168, 100, 100));  // 130 twips is 8.67 px
  EXPECT_EQ(form.image2()->geometry(), QRect(121, 40, 256, 192));
  EXPECT_EQ(form.label1()->geometry(), QRect(8, 272, 372, 97));
  EXPECT_EQ(form.shape2()->geometry(), QRect(8, 8, 105, 153));
  const QRect letters[] = {{16, 16, 23, 21}, {40, 32, 23, 21}, {72, 16, 23, 21}, {88, 48, 23, 21},
                           {16, 64, 23, 21}, {40, 88, 23, 21}, {72, 80, 23, 21}, {10, 120, 33, 33},
                           {42, 120, 33, 33}, {74, 120, 33, 33}};
  QString title;
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(form.label2(k)->geometry(), letters[k]) << k;
    title += form.label2(k)->text();
  }
  EXPECT_EQ(title, form.windowTitle());
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(form.command1(i)->geometry(), QRect(128, 8 + 32 * i, 241, 33)) << i;
    EXPECT_TRUE(form.command1(i)->text().isEmpty());
    EXPECT_FALSE(form.command1(i)->isVisibleTo(&form));
  }

  // Front to back: buttons, title letters, title frame, caption, view, speaker, view frame.
  const QObjectList z = form.client()->children();
  auto depth = [&](QObject* o) { return z.indexOf(o); };
  for (int i = 0; i < 8; ++i) EXPECT_GT(depth(form.command1(i)), depth(form.label2(9)));
  for (int k = 0; k < 10; ++k) EXPECT_GT(depth(form.label2(k)), depth(form.shape2()));
  EXPECT_GT(depth(form.shape2()), depth(form.label1()));
  EXPECT_GT(depth(form.label1()), depth(form.image2()));
  EXPECT_GT(depth(form.image2()), depth(form.image1()));
  EXPECT_GT(depth(form.image1()), depth(form.shape1()));
  for (int i = 0; i + 1 < 8; ++i) EXPECT_LT(depth(form.command1(i)), depth(form.command1(i + 1)));
}

TEST_F(StageTest, ColoursOfBackgroundFramesAndTitleLetters) {
  showForm();
  const QImage img = grabClient();
  const QColor background(64, 64, 64), green(0, 255, 0), blue(0, 0, 255), black(Qt::black);
  EXPECT_EQ(at(img, 2, 2), background);
  EXPECT_EQ(at(img, 383, 300), background);
  EXPECT_EQ(at(img, 60, 200), background);  // between the title frame and the caption

  // 2-pixel borders, black inside.
  EXPECT_EQ(at(img, 8, 8), green);
  EXPECT_EQ(at(img, 9, 9), green);
  EXPECT_EQ(at(img, 112, 160), green);
  EXPECT_EQ(at(img, 111, 159), green);
  EXPECT_EQ(at(img, 10, 10), black);
  EXPECT_EQ(at(img, 110, 158), black);
  EXPECT_EQ(at(img, 120, 8), blue);
  EXPECT_EQ(at(img, 121, 9), blue);
  EXPECT_EQ(at(img, 379, 267), blue);
  EXPECT_EQ(at(img, 122, 10), black);
  EXPECT_EQ(at(img, 250, 250), black);

  const QColor letterColours[] = {{0, 255, 0},     {255, 255, 128}, {192, 64, 0},  {224, 224, 224},
                                  {128, 255, 255}, {192, 0, 0},     {192, 0, 192}, {255, 255, 0},
                                  {0, 0, 255},     {255, 128, 255}};
  for (int k = 0; k < 10; ++k) {
    const QRect box = form.label2(k)->geometry();
    EXPECT_TRUE(containsColour(img, box, letterColours[k])) << k;
    EXPECT_EQ(at(img, box.right(), box.bottom()), black) << k;
  }

  // The caption: a one-pixel border around the button face.
  const QPalette pal = form.label1()->palette();
  EXPECT_EQ(at(img, 8, 272), pal.color(QPalette::WindowText));
  EXPECT_EQ(at(img, 379, 368), pal.color(QPalette::WindowText));
  EXPECT_EQ(at(img, 10, 274), pal.color(QPalette::Button));
}

TEST_F(StageTest, CaptionWrapsAndClips) {
  showForm();
  const QImage blank = grabClient();
  form.setCaption(QStringLiteral("あ").repeated(200));
  const QRect ink = inkBounds(grabClient(), blank);
  const QRect label = form.label1()->geometry();
  // Japanese text without spaces still breaks between characters; it fills the
  // label's width and height and stays inside the border.
  EXPECT_TRUE(label.adjusted(1, 1, -1, -1).contains(ink)) << ink.x() << "," << ink.y() << " " << ink.width();
  EXPECT_GT(ink.width(), label.width() - 30);
  EXPECT_GT(ink.height(), label.height() - 25);
  EXPECT_LT(ink.left(), label.left() + 5);
  EXPECT_LT(ink.top(), label.top() + 6);
}

TEST_F(StageTest, AccessKeysInCaptionAndButtons) {
  showForm();
  const QRect label = form.label1()->geometry();
  auto caption = [&](const QString& text) {
    form.setCaption(text);
    return grabClient().copy(label);
  };
  const QImage blank = caption(QString());
  const QRect plain = inkBounds(caption("AB"), blank);
  const QRect marked = inkBounds(caption("A&B"), blank);
  const QRect doubled = inkBounds(caption("A&&B"), blank);
  EXPECT_EQ(marked.left(), plain.left());
  EXPECT_GT(marked.bottom(), plain.bottom());  // the underline
  EXPECT_LE(std::abs(marked.right() - plain.right()), 2);  // the marker takes no room
  EXPECT_GT(doubled.width(), plain.width() + 5);  // one "&" is shown
  EXPECT_EQ(doubled.bottom(), plain.bottom());    // and nothing is underlined

  // The buttons draw "&" the same way (the underline may wait for Alt).
  QPushButton* b = form.command1(0);
  b->show();
  auto face = [&](const QString& text) {
    b->setText(text);
    return b->grab().toImage().convertToFormat(QImage::Format_RGB32);
  };
  const QImage empty = face(QString());
  const QRect bPlain = inkBounds(face("AB"), empty);
  const QRect bMarked = inkBounds(face("A&B"), empty);
  const QRect bDoubled = inkBounds(face("A&&B"), empty);
  EXPECT_LE(std::abs(bMarked.width() - bPlain.width()), 2);
  EXPECT_GT(bDoubled.width(), bPlain.width() + 5);
}

TEST_F(StageTest, KeysClearTheAdvanceFlag) {
  showForm();
  state.advanceFlag = true;
  QTest::keyClick(&form, Qt::Key_A);
  EXPECT_FALSE(state.advanceFlag);

  state.advanceFlag = true;
  QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
  QApplication::sendEvent(&form, &shift);
  EXPECT_FALSE(state.advanceFlag);

  // A held key presses again with each repeat.
  state.advanceFlag = true;
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
  QApplication::sendEvent(&form, &repeat);
  EXPECT_FALSE(state.advanceFlag);

  const std::vector<std::string> expected = {"key 65 0", "key 16 1", "key 32 0"};
  EXPECT_EQ(lines, expected);
}

TEST_F(StageTest, KeysGoToAFocusedButtonNotTheWindow) {
  showForm();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  form.setButtonCaption(0, "x");
  form.setButtonVisible(0, true);
  form.command1(0)->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), form.command1(0));

  state.advanceFlag = true;
  QTest::keyClick(form.command1(0), Qt::Key_B);  // ignored by the button, passed up
  QTest::keyClick(form.command1(0), Qt::Key_Shift);
  EXPECT_TRUE(state.advanceFlag);
  QTest::keyClick(form.command1(0), Qt::Key_Return);
  EXPECT_EQ(state.chosenItem, "x");

  // Once the buttons are hidden nothing holds the focus and the window gets keys.
  form.setButtonVisible(0, false);
  EXPECT_NE(QApplication::focusWidget(), form.command1(0));
  QTest::keyClick(&form, Qt::Key_B);
  EXPECT_FALSE(state.advanceFlag);
}

TEST_F(StageTest, ClicksOnCaptionAndButtons) {
  showForm();
  state.advanceFlag = true;
  QTest::mouseClick(form.label1(), Qt::RightButton);
  EXPECT_TRUE(state.advanceFlag);
  QTest::mouseClick(form.label1(), Qt::LeftButton);
  EXPECT_FALSE(state.advanceFlag);

  const QString caption = QStringLiteral(" 天気 予報  ");
  form.setButtonCaption(3, caption);
  form.setButtonVisible(3, true);
  QTest::mouseClick(form.command1(3), Qt::LeftButton);
  EXPECT_EQ(state.chosenItem, caption);  // character for character
  EXPECT_TRUE(form.command1(3)->isVisible());

  // "&" stays part of the chosen item; only its display changes.
  form.setButtonCaption(4, "Q&&A");
  form.setButtonVisible(4, true);
  QTest::mouseClick(form.command1(4), Qt::LeftButton);
  EXPECT_EQ(state.chosenItem, "Q&&A");

  // Clicks elsewhere do nothing.
  state.advanceFlag = true;
  QTest::mouseClick(form.client(), Qt::LeftButton, {}, QPoint(60, 60));
  QTest::mouseClick(form.client(), Qt::LeftButton, {}, QPoint(200, 100));
  EXPECT_TRUE(state.advanceFlag);
  EXPECT_EQ(state.chosenItem, "Q&&A");
}

TEST_F(StageTest, MenuEntries) {
  EXPECT_EQ(form.mnumenu()->title(), "&Menu");
  EXPECT_EQ(form.mnuJmpMenu()->text(), "項目メニューへ(&C)");
  EXPECT_EQ(form.mnuAutoSpeak()->text(), "自動会話モード(&A)");
  EXPECT_TRUE(form.mnuAutoSpeak()->isCheckable());
  EXPECT_FALSE(form.autoSpeak());
  EXPECT_EQ(form.mnumenu()->actions().size(), 2);

  form.mnuAutoSpeak()->trigger();
  EXPECT_TRUE(form.autoSpeak());
  form.mnuAutoSpeak()->trigger();
  EXPECT_FALSE(form.autoSpeak());

  const QString scenario = dir.filePath("KIVO.001");
  {
    QFile f(scenario);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[pre]\r\n");
  }
  input.open(scenario);
  form.mnuJmpMenu()->trigger();
  EXPECT_TRUE(state.jumpRequested);
  EXPECT_FALSE(input.isOpen());

  const std::vector<std::string> expected = {"auto on", "auto off", "jump"};
  EXPECT_EQ(lines, expected);
}

TEST_F(StageTest, TimerClearsTheTickFlagOnlyWithAPeriod) {
  EXPECT_TRUE(form.timer1()->isEnabled());
  EXPECT_EQ(form.timer1()->interval(), 0);
  state.tickFlag = true;
  QTest::qWait(40);
  EXPECT_TRUE(state.tickFlag);

  form.setTimerPeriod(5);
  QTRY_VERIFY_WITH_TIMEOUT(!state.tickFlag, 1000);
  state.tickFlag = true;
  QTRY_VERIFY_WITH_TIMEOUT(!state.tickFlag, 1000);  // it keeps ticking

  form.setTimerEnabled(false);
  state.tickFlag = true;
  QTest::qWait(30);
  EXPECT_TRUE(state.tickFlag);
  form.setTimerPeriod(0);
  form.setTimerEnabled(true);
  QTest::qWait(30);
  EXPECT_TRUE(state.tickFlag);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), "timer 5");
  EXPECT_EQ(lines.back(), "timer 0");
}

TEST_F(StageTest, LoadsOnceCentredAndCloseAsksToEnd) {
  showForm();
  EXPECT_EQ(loads, 1);
  const QSize screen = form.screen()->size();
  const QRect frame = form.frameGeometry();
  EXPECT_EQ(form.x(), stage::centredEdge(screen.width() * 15.0, frame.width() * 15.0) / 15);
  EXPECT_EQ(form.y(), stage::centredEdge(screen.height() * 15.0, frame.height() * 15.0) / 15);

  // Shown again after a hide it is not loaded again and stays where it was put.
  form.move(5, 7);
  form.hideStage();
  form.showStage();
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(form.pos(), QPoint(5, 7));

  EXPECT_EQ(unloads, 0);
  form.close();
  EXPECT_EQ(unloads, 1);
}

TEST(Centre, RoundsHalvesToEvenThenHalvesTowardZero) {
  EXPECT_EQ(stage::centredEdge(1000, 1003), -1);  // 3 twips too wide
  EXPECT_EQ(stage::centredEdge(1000, 997.5), 1);  // 2.5 -> 2
  EXPECT_EQ(stage::centredEdge(1000, 996.5), 2);  // 3.5 -> 4
  EXPECT_EQ(stage::centredEdge(1000, 1002.5), -1);  // -2.5 -> -2
  EXPECT_EQ(stage::centredEdge(1000, 995), 2);   // 5 \ 2
  EXPECT_EQ(stage::centredEdge(1000, 1005), -2);
  EXPECT_EQ(stage::centredEdge(15360, 5925), 4717);
}

TEST_F(StageTest, PortDrivesControlsTracesAndReportsErrors) {
  form.setCaption("こんにちは");
  EXPECT_EQ(form.label1()->caption(), "こんにちは");

  const QString face = pictureFile("face.bmp", {80, 90}, Qt::yellow);
  form.setSpeakerPicture(face);
  EXPECT_EQ(form.image1()->geometry(), QRect(9, 168, 80, 90));  // natural size, same place
  form.setSpeakerPicture(QString());
  EXPECT_TRUE(form.image1()->picture().isNull());

  form.setViewVisible(false);
  form.setViewVisible(false);  // already hidden: nothing to report
  const QString view = pictureFile("view.bmp", {200, 160}, Qt::cyan);
  form.setViewPicture(view);
  EXPECT_EQ(form.viewSize(), QSize(3000, 2400));
  form.setViewLeft(2240);
  form.setViewTop(850);
  form.setViewVisible(true);
  EXPECT_EQ(form.image2()->geometry(), QRect(149, 57, 200, 160));
  form.setViewPicture(QString());  // the empty picture keeps the size
  EXPECT_EQ(form.viewSize(), QSize(3000, 2400));

  for (int i = 0; i < 3; ++i) {
    form.setButtonCaption(i, QString(QChar(u'あ' + i)));
    form.setButtonVisible(i, true);
  }
  for (int i = 0; i < 8; ++i) form.setButtonVisible(i, false);

  const std::vector<std::string> expected = {
      "caption \"こんにちは\"",
      "speaker \"" + face.toStdString() + "\"",
      "speaker \"\"",
      "view-hide",
      "view-show 2240 850 3000 2400 \"" + view.toStdString() + "\"",
      "button 0 \"あ\"",
      "button 1 \"ぃ\"",
      "button 2 \"い\"",
      "buttons-hide",
  };
  EXPECT_EQ(lines, expected);

  auto error = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const platform::RuntimeError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(error([&] { form.setSpeakerPicture(dir.filePath("none.bmp")); }), 53);
  EXPECT_EQ(error([&] { form.setViewPicture(view + ".txt"); }), 53);
  EXPECT_EQ(error([&] { form.setButtonCaption(8, "ninth"); }), 340);
  EXPECT_EQ(error([&] { form.setButtonVisible(-1, false); }), 340);
}

}  // namespace
