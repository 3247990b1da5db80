// SPDX-License-Identifier: GPL-3.0-or-later
#include "selection/form2.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

#include "catalogue/catalogue.h"
#include "platform/trace.h"
#include "platform/twips.h"
#include "stage/app_icon.h"
#include "stage/centre.h"
#include "stage/window_frame.h"

namespace selection {
namespace {

// A single-selection list box as Windows has it: once an entry is selected one stays
// selected (clicks outside the entries and Ctrl+click leave it), and a double click
// anywhere in the list is the list's double click, on an entry or not.
class ProgrammeList : public QListWidget {
 public:
  ProgrammeList(std::function<void()> onDoubleClick, QWidget* parent)
      : QListWidget(parent), onDoubleClick_(std::move(onDoubleClick)) {}

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override {
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    const bool unselects = command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle);
    if (unselects && selectionModel()->isSelected(index)) return QItemSelectionModel::NoUpdate;
    return command;
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && onDoubleClick_) onDoubleClick_();
  }

 private:
  std::function<void()> onDoubleClick_;
};

}  // namespace

QString listEntry(const QString& title, const QString& file) {
  return title + QString(kEntryPadding, u' ') + file;
}

QString scenarioPathOf(const QString& entryText) {
  return entryText.right(8);
}

Form2::Form2(engine::SharedState& state, std::function<void()> onEnd, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowCloseButtonHint),
      state_(state),
      onEnd_(std::move(onEnd)) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(stage::windowTitle());
  setWindowIcon(stage::appIcon());
  setFixedSize(platform::twipsRect(0, 0, 4815, 3450).size());
  setSizeGripEnabled(false);

  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  label1_ = new QLabel(QStringLiteral("番組選択メニュー"), this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setGeometry(platform::twipsRect(840, 120, 3015, 375));
  label1_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label1_->setWordWrap(true);
  label1_->setTextFormat(Qt::PlainText);
  QFont labelFont(QStringLiteral("ＭＳ Ｐゴシック"));
  labelFont.setPixelSize(19);  // 14.25 pt at 96 dots per inch
  labelFont.setWeight(QFont::Normal);
  label1_->setFont(labelFont);

  list1_ = new ProgrammeList([this] { List1_DblClick(); }, this);
  list1_->setObjectName(QStringLiteral("List1"));
  list1_->setGeometry(platform::twipsRect(120, 720, 4575, 2220));
  list1_->setSortingEnabled(false);
  list1_->setSelectionMode(QAbstractItemView::SingleSelection);
  list1_->setTextElideMode(Qt::ElideNone);
  list1_->setWordWrap(false);
  // The file name sits far right of the title; with the horizontal scroll bar off the
  // list keeps its scroll range at zero, so no wheel or key can bring the name into view.
  list1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // What screen readers say for the controls; the labels alone say too little.
  list1_->setAccessibleName(QStringLiteral("番組の一覧"));

  command1_ = new QPushButton(QStringLiteral("START"), this);
  command1_->setObjectName(QStringLiteral("Command1"));
  command1_->setGeometry(platform::twipsRect(3480, 3000, 1215, 375));

  command2_ = new QPushButton(QStringLiteral("END"), this);
  command2_->setObjectName(QStringLiteral("Command2"));
  command2_->setGeometry(platform::twipsRect(120, 3000, 1095, 375));
  command1_->setAccessibleName(QStringLiteral("START"));
  command1_->setAccessibleDescription(QStringLiteral("選んだ番組を始めます"));
  command2_->setAccessibleName(QStringLiteral("END"));
  command2_->setAccessibleDescription(QStringLiteral("kivo を終わります"));

  // Enter must press nothing, also on a focused button.
  for (QPushButton* b : {command1_, command2_}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }

  setTabOrder(list1_, command1_);
  setTabOrder(command1_, command2_);
  list1_->setFocus();

  connect(command1_, &QPushButton::clicked, this, &Form2::Command1_Click);
  connect(command2_, &QPushButton::clicked, this, &Form2::Command2_Click);
  stage::requestFrameExtents(*this);  // for the centring when the window is loaded
}

void Form2::load() {
  if (!loaded_) Form_Load();
}

void Form2::unload() {
  closeByOwnCode(QDialog::Rejected);
}

void Form2::preselect(const QString& file) {
  for (int i = 0; i < list1_->count(); ++i) {
    if (scenarioPathOf(list1_->item(i)->text()) == file) {
      list1_->setCurrentRow(i);
      list1_->scrollToItem(list1_->item(i));
      return;
    }
  }
}

void Form2::Form_Load() {
  loaded_ = true;
  stage::centreWindow(*this);
  catalogueScan();
}

void Form2::catalogueScan() {
  list1_->clear();
  for (const catalogue::Programme& p : catalogue::scan([] { QCoreApplication::processEvents(); })) {
    list1_->addItem(listEntry(p.title, p.file));
    platform::trace::Event("list").text(p.title).text(p.file);
  }
  list1_->clearSelection();
}

void Form2::Command1_Click() {
  startSelected();
}

void Form2::List1_DblClick() {
  startSelected();
}

void Form2::startSelected() {
  const QList<QListWidgetItem*> selected = list1_->selectedItems();
  const QString text = selected.isEmpty() ? QString() : selected.front()->text();
  state_.scenarioPath = scenarioPathOf(text);
  if (state_.scenarioPath.isEmpty()) return;
  platform::trace::Event("start").text(state_.scenarioPath);
  closeByOwnCode(QDialog::Accepted);
}

void Form2::Command2_Click() {
  if (onEnd_) onEnd_();
}

void Form2::closeByOwnCode(int result) {
  closingByOwnCode_ = true;
  done(result);
  closingByOwnCode_ = false;
}

void Form2::Form_QueryUnload(int unloadMode) {
  if (unloadMode == FormCode) return;
  if (onEnd_) onEnd_();
}

void Form2::closeEvent(QCloseEvent* event) {
  Form_QueryUnload(closingByOwnCode_ ? FormCode : FormControlMenu);
  // The close is never cancelled; QDialog turns it into a rejection.
  QDialog::closeEvent(event);
}

void Form2::keyPressEvent(QKeyEvent* event) {
  // QDialog would press the default button on Enter and reject on Esc; here neither
  // key does anything.
  QWidget::keyPressEvent(event);
}

void Form2::showEvent(QShowEvent* event) {
  load();
  QDialog::showEvent(event);
}

}  // namespace selection
