// SPDX-License-Identifier: GPL-3.0-or-later
// The programme selection window, offscreen, in a temporary current directory.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

#include "platform/text.h"
#include "selection/form2.h"
#include "tests/support/temp_folder.h"
#include "tests/support/trace_capture.h"

namespace {

class Form2Test : public TempFolderTest, public TraceCapture {
 protected:
  void write(const std::string& name, const QString& text) { writeFile(name, platform::encodeAnsi(text).toStdString()); }

  // A loaded, shown window whose END and foreign closes are counted instead of ending the test.
  std::unique_ptr<selection::Form2> showForm() {
    auto form = std::make_unique<selection::Form2>(state_, [this] { ++ends_; });
    form->load();
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->List1()->doItemsLayout();
    return form;
  }

  engine::SharedState state_;
  int ends_ = 0;
};

// The entry format: title, 200 spaces, file name.
QString entry(const QString& title, const QString& file) { return title + QString(200, u' ') + file; }

TEST_F(Form2Test, ScanListsTitlesInNumberOrderBrokenFilesByNameAndSurvivesHostileEntries) {
  write("KIVO.000", "0,never\r\n");
  write("kivo.001", "1,ニュース番組\r\n[pre]\r\n");  // lower-case name is found
  makeFolder("KIVO.002");                             // folders are skipped
  write("KIVO.004", "4,\"Hello, world\"\r\n");         // quoted comma kept
  write("KIVO.005", "5,Hello, world\r\n");             // unquoted: cut at the comma
  write("KIVO.006", "only one field\r\n  Second line, x\r\n");  // title from line 2
  write("KIVO.007", "");                               // no title: must not end the program
  write("KIVO.008", "single field\r\n");
  write("KIVO.1", "1,other digits\r\n");
  write("KIVO.100", "100,last\r\n");
  write("KIVO.101", "101,never\r\n");
  // Hostile entries neither hang nor crash the scan. A regular file whose reading fails
  // even for root is listed under its own name, and leaves the input free for KIVO.004.
  ASSERT_EQ(::symlink("/proc/self/mem", "KIVO.003"), 0);
  ASSERT_EQ(::mkfifo("KIVO.009", 0644), 0);        // opening it would wait for a writer
  ASSERT_EQ(::symlink("KIVO.010", "KIVO.010"), 0);  // a link loop
  ASSERT_EQ(::symlink("absent", "KIVO.011"), 0);    // dangling
  writeFile("KIVO.\x81\x7f", "7,never\r\n");       // valid neither as UTF-8 nor as CP932
  writeFile("\xef\xbf\x81\x20", "x");

  auto form = showForm();
  QStringList entries;
  for (int i = 0; i < form->List1()->count(); ++i) entries << form->List1()->item(i)->text();
  EXPECT_EQ(entries, (QStringList{entry("ニュース番組", "KIVO.001"), entry("KIVO.003", "KIVO.003"),
                                  entry("Hello, world", "KIVO.004"), entry("Hello", "KIVO.005"),
                                  entry("Second line", "KIVO.006"), entry("KIVO.007", "KIVO.007"),
                                  entry("KIVO.008", "KIVO.008"), entry("last", "KIVO.100")}));
  ASSERT_EQ(traced().size(), 9u);  // centred, then scanned
  EXPECT_EQ(traced()[0].rfind("centre \"Form2\" ", 0), 0u);
}

// A single-selection list keeps its entry, and a double click anywhere in it starts that.
TEST_F(Form2Test, SelectionStaysOnceMadeAndADoubleClickAnywhereOrStartStartsIt) {
  write("kivo.001", "1,one\r\n");
  write("KIVO.003", "3,three\r\n");
  auto form = showForm();
  QListWidget* list = form->List1();
  // Through the window, so the window system's own double-click detection applies.
  auto click = [&](QPoint at, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, mods, list->viewport()->mapTo(form.get(), at));
  };
  const QPoint second(20, list->visualItemRect(list->item(1)).center().y()), blank(20, 120);
  click(second);
  click(blank);
  click(second, Qt::ControlModifier);
  QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
  EXPECT_EQ(list->selectedItems(), QList<QListWidgetItem*>{list->item(1)});
  EXPECT_TRUE(state_.scenarioPath.isEmpty());

  QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, list->viewport()->mapTo(form.get(), blank));
  EXPECT_EQ(state_.scenarioPath, QStringLiteral("KIVO.003"));
  EXPECT_FALSE(form->isVisible());  // so exec() returns
  EXPECT_EQ(traced().back(), "start \"KIVO.003\"");

  auto again = showForm();  // rescanned; the lower-case file is chosen by its canonical name
  again->List1()->setCurrentRow(0);
  again->Command1()->click();
  EXPECT_EQ(state_.scenarioPath, QStringLiteral("KIVO.001"));
  EXPECT_FALSE(again->isVisible());
  EXPECT_EQ(ends_, 0);  // our own closes do not end the program
}

TEST_F(Form2Test, NothingSelectedEnterOrEscStartsNothingEndAndCloseBoxCallOnEnd) {
  write("KIVO.001", "1,one\r\n");
  auto form = showForm();
  state_.scenarioPath = QStringLiteral("stale");
  form->List1()->setCurrentRow(0, QItemSelectionModel::NoUpdate);  // focus mark, no selection
  form->Command1()->click();  // a double click runs the same start
  EXPECT_TRUE(state_.scenarioPath.isEmpty());
  // Enter and Esc press no button, even with an entry selected.
  form->List1()->setCurrentRow(0);
  for (QWidget* target : std::initializer_list<QWidget*>{form.get(), form->List1(), form->Command1(), form->Command2()})
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(target, key);
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(state_.scenarioPath.isEmpty());
  EXPECT_EQ(ends_, 0);

  form->Command2()->click();
  EXPECT_EQ(ends_, 1);
  form->close();  // the close box, Alt+F4, the session ending
  EXPECT_EQ(ends_, 2);
  auto second = showForm();
  second->unload();  // our own code closing it
  EXPECT_FALSE(second->isVisible());
  EXPECT_EQ(ends_, 2);
}

TEST_F(Form2Test, LayoutFocusAndNoSidewaysScroll) {
  write("KIVO.001", "1,a title\r\n");
  auto form = showForm();
  EXPECT_EQ(form->size(), QSize(321, 230));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  // Where it is centred is checked under a window manager (test_centre_wm.cpp).

  EXPECT_EQ(form->focusWidget(), form->List1());
  QList<QWidget*> order;  // the form's own controls, in Tab order
  for (QWidget* w = form->List1(); order.size() < 3; w = w->nextInFocusChain())
    if (w->parentWidget() == form.get() && (w->focusPolicy() & Qt::TabFocus)) order << w;
  EXPECT_EQ(order, (QList<QWidget*>{form->List1(), form->Command1(), form->Command2()}));

  // The file name is out there at the right, and neither elided into view nor reachable.
  QListWidget* list = form->List1();
  ASSERT_GT(list->visualItemRect(list->item(0)).width(), list->viewport()->width());
  EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
  list->setCurrentRow(0);
  QTest::keyClick(list, Qt::Key_Right);
  EXPECT_EQ(list->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
}

}  // namespace
