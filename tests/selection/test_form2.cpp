// The programme selection window, offscreen, in a temporary current directory.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <memory>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "selection/form2.h"
#include "stage/centre.h"

namespace {

// One application for the whole run, torn down before the process exits (a static
// QApplication would outlive Qt's own statics and crash at exit).
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "selection_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class Form2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    oldDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    platform::trace::setEnabled(true);
    platform::trace::setSink([this](const std::string& line) { trace_.push_back(line.substr(line.find(' ') + 1)); });
  }
  void TearDown() override {
    platform::trace::setSink(nullptr);
    platform::trace::setEnabled(false);
    QDir::setCurrent(oldDir_);
  }

  void write(const QString& name, const QString& text) {
    QFile f(dir_.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(platform::encodeAnsi(text));
  }

  // A loaded window whose END and foreign closes are counted instead of ending the test.
  std::unique_ptr<selection::Form2> makeForm() {
    auto form = std::make_unique<selection::Form2>(state_, [this] { ++ends_; });
    form->load();
    return form;
  }

  QStringList entries(const selection::Form2& form) const {
    QStringList out;
    for (int i = 0; i < form.list1()->count(); ++i) out << form.list1()->item(i)->text();
    return out;
  }

  QTemporaryDir dir_;
  QString oldDir_;
  engine::SharedState state_;
  int ends_ = 0;
  std::vector<std::string> trace_;
};

// The entry format: title, 200 spaces, file name.
QString entry(const QString& title, const QString& file) {
  return title + QString(200, u' ') + file;
}

TEST_F(Form2Test, ScanListsTitlesByFieldRulesInNumberOrder) {
  write("KIVO.000", "0,never\r\n");
  write("kivo.001", "1,ニュース番組\r\n[pre]\r\n");            // lower-case name is found
  QDir(dir_.path()).mkdir("KIVO.002");                           // folders are skipped
  write("KIVO.004", "4,\"Hello, world\"\r\n");                   // quoted comma kept
  write("KIVO.005", "5,Hello, world\r\n");                       // unquoted: cut at the comma
  write("KIVO.006", "only one field\r\n  Second line, x\r\n");   // title from line 2
  write("KIVO.1", "1,other digits\r\n");
  write("KIVO.100", "100,last\r\n");
  write("KIVO.101", "101,never\r\n");

  auto form = makeForm();
  EXPECT_EQ(entries(*form), (QStringList{entry("ニュース番組", "KIVO.001"), entry("Hello, world", "KIVO.004"),
                                          entry("Hello", "KIVO.005"), entry("Second line", "KIVO.006"),
                                          entry("last", "KIVO.100")}));
  EXPECT_TRUE(form->list1()->selectedItems().isEmpty());
  ASSERT_EQ(trace_.size(), 5u);
  EXPECT_EQ(trace_[0], "list \"ニュース番組\" \"KIVO.001\"\n");
  EXPECT_EQ(trace_[4], "list \"last\" \"KIVO.100\"\n");
}

// A broken file must not end the program; it is listed under its own name.
TEST_F(Form2Test, FilesWithoutTitleAreListedByFileName) {
  write("KIVO.001", "");
  write("KIVO.002", "single field\r\n");
  write("KIVO.003", "3,fine\r\n");
  auto form = makeForm();
  EXPECT_EQ(entries(*form), (QStringList{entry("KIVO.001", "KIVO.001"), entry("KIVO.002", "KIVO.002"),
                                          entry("fine", "KIVO.003")}));

  platform::SequentialInput input;
  EXPECT_EQ(selection::readTitle(input, QStringLiteral("KIVO.099")), QStringLiteral("KIVO.099"));
  EXPECT_FALSE(input.isOpen());
  EXPECT_EQ(selection::readTitle(input, QStringLiteral("KIVO.003")), QStringLiteral("fine"));
  EXPECT_FALSE(input.isOpen());
}

TEST_F(Form2Test, StartWithoutSelectionDoesNothingEndCallsOnEnd) {
  write("KIVO.001", "1,one\r\n");
  auto form = makeForm();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  state_.scenarioPath = QStringLiteral("stale");
  form->list1()->setCurrentRow(0, QItemSelectionModel::NoUpdate);  // focus mark, no selection
  form->command1()->click();
  EXPECT_TRUE(state_.scenarioPath.isEmpty());
  QTest::mouseDClick(form->list1()->viewport(), Qt::LeftButton, {}, QPoint(20, 120));  // below the entries
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(trace_.size(), 1u);  // the list entry only, no start
  EXPECT_EQ(ends_, 0);
  form->command2()->click();
  EXPECT_EQ(ends_, 1);
}

TEST_F(Form2Test, DoubleClickAndStartChooseTheSelectedProgramme) {
  write("kivo.001", "1,one\r\n");
  write("KIVO.003", "3,three\r\n");
  auto form = makeForm();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QListWidget* list = form->list1();
  list->doItemsLayout();
  const QPoint at = list->visualItemRect(list->item(1)).center();
  // A real double click: press and release, then the double-click event.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(state_.scenarioPath, QStringLiteral("KIVO.003"));
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(trace_.back(), "start \"KIVO.003\"\n");

  auto again = makeForm();  // rescanned; the lower-case file is chosen by its canonical name
  again->show();
  again->list1()->setCurrentRow(0);
  again->command1()->click();
  EXPECT_EQ(state_.scenarioPath, QStringLiteral("KIVO.001"));
  EXPECT_FALSE(again->isVisible());
  EXPECT_EQ(again->result(), QDialog::Accepted);
  EXPECT_EQ(ends_, 0);  // our own closes do not end the program
}

TEST_F(Form2Test, ForeignCloseEndsOwnUnloadDoesNot) {
  auto form = makeForm();
  EXPECT_EQ(form->list1()->count(), 0);  // no scenario file at all
  form->show();
  form->close();  // the close box, Alt+F4, the session ending
  EXPECT_EQ(ends_, 1);

  auto second = makeForm();
  second->show();
  second->unload();
  EXPECT_FALSE(second->isVisible());
  EXPECT_EQ(ends_, 1);
}

TEST_F(Form2Test, EnterAndEscPressNothing) {
  write("KIVO.001", "1,one\r\n");
  auto form = makeForm();
  form->show();
  QSignalSpy startClicks(form->command1(), &QPushButton::clicked);
  QSignalSpy endClicks(form->command2(), &QPushButton::clicked);
  form->list1()->setCurrentRow(0);

  for (QWidget* target : {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(form->list1()),
                          static_cast<QWidget*>(form->command1()), static_cast<QWidget*>(form->command2())}) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(target, key);
  }
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(startClicks.count(), 0);
  EXPECT_EQ(endClicks.count(), 0);
  EXPECT_EQ(ends_, 0);
  EXPECT_TRUE(state_.scenarioPath.isEmpty());
  EXPECT_FALSE(form->command1()->isDefault() || form->command1()->autoDefault());
  EXPECT_FALSE(form->command2()->isDefault() || form->command2()->autoDefault());
}

TEST_F(Form2Test, WindowLayoutFocusAndPlacement) {
  auto form = makeForm();
  EXPECT_EQ(form->size(), QSize(321, 230));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_EQ(form->windowTitle(), QStringLiteral("ミルカナランド放送局"));
  const Qt::WindowFlags flags = form->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(form->windowIcon().pixmap(16, 16).toImage().size(), QSize(16, 16));

  EXPECT_EQ(form->label1()->geometry(), QRect(56, 8, 201, 25));
  EXPECT_EQ(form->list1()->geometry(), QRect(8, 48, 305, 148));
  EXPECT_EQ(form->command1()->geometry(), QRect(232, 200, 81, 25));
  EXPECT_EQ(form->command2()->geometry(), QRect(8, 200, 73, 25));
  EXPECT_EQ(form->label1()->text(), QStringLiteral("番組選択メニュー"));
  EXPECT_EQ(form->label1()->font().pixelSize(), 19);
  EXPECT_EQ(form->command1()->text(), QStringLiteral("START"));
  EXPECT_EQ(form->command2()->text(), QStringLiteral("END"));

  const QSize screen = QGuiApplication::primaryScreen()->size();
  EXPECT_EQ(form->pos(), QPoint(stage::centredEdge(screen.width() * 15.0, 321 * 15.0) / 15,
                                stage::centredEdge(screen.height() * 15.0, 230 * 15.0) / 15));

  form->show();
  EXPECT_EQ(form->focusWidget(), form->list1());
  QList<QWidget*> order;  // the form's own controls, in Tab order
  for (QWidget* w = form->list1(); order.size() < 3; w = w->nextInFocusChain()) {
    if (w->parentWidget() == form.get() && (w->focusPolicy() & Qt::TabFocus)) order << w;
  }
  EXPECT_EQ(order, (QList<QWidget*>{form->list1(), form->command1(), form->command2()}));
}

TEST_F(Form2Test, ListNeverShowsTheFileName) {
  write("KIVO.001", "1,a title\r\n");
  auto form = makeForm();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QListWidget* list = form->list1();
  list->doItemsLayout();
  EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
  ASSERT_GT(list->visualItemRect(list->item(0)).width(), list->viewport()->width());  // the name is out there

  list->setCurrentRow(0);
  list->scrollToItem(list->item(0));
  QTest::keyClick(list, Qt::Key_Right);
  QWheelEvent wheel(QPointF(20, 10), list->viewport()->mapToGlobal(QPointF(20, 10)), QPoint(), QPoint(-120, 0),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(list->viewport(), &wheel);
  EXPECT_EQ(list->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
}

}  // namespace
