#include "selection/form2.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

#include "platform/files.h"
#include "platform/input.h"
#include "platform/runtime_error.h"
#include "platform/trace.h"
#include "stage/app_icon.h"
#include "stage/centre.h"
#include "stage/window_frame.h"

namespace selection {
namespace {

constexpr int kFirstNumber = 1;
constexpr int kLastNumber = 100;

// Layout in twips, converted once to pixels.
QRect twips(int left, int top, int width, int height) {
  return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel);
}

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

QString scenarioFileName(int number) {
  return QStringLiteral("KIVO.%1").arg(number, 3, 10, QLatin1Char('0'));
}

QString listEntry(const QString& title, const QString& file) {
  return title + QString(kEntryPadding, u' ') + file;
}

QString scenarioPathOf(const QString& entryText) {
  return entryText.right(8);
}

QString readTitle(platform::SequentialInput& input, const QString& file) {
  QString title;
  try {
    input.open(file);
    // Both fields go to the same place; the second one is the title.
    title = input.fieldInput();
    title = input.fieldInput();
  } catch (const platform::RuntimeError&) {
    // Unreadable, empty or single-field files are still listed, under their own name.
    title = file;
  }
  input.closeAll();
  return title;
}

Form2::Form2(engine::SharedState& state, std::function<void()> onEnd, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowCloseButtonHint),
      state_(state),
      onEnd_(std::move(onEnd)) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("ミルカナランド放送局"));
  setWindowIcon(stage::appIcon());
  setFixedSize(twips(0, 0, 4815, 3450).size());
  setSizeGripEnabled(false);

  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  Label1 = new QLabel(QStringLiteral("番組選択メニュー"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(twips(840, 120, 3015, 375));
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label1->setWordWrap(true);
  Label1->setTextFormat(Qt::PlainText);
  QFont labelFont(QStringLiteral("ＭＳ Ｐゴシック"));
  labelFont.setPixelSize(19);  // 14.25 pt at 96 dots per inch
  labelFont.setWeight(QFont::Normal);
  Label1->setFont(labelFont);

  List1 = new ProgrammeList([this] { List1_DblClick(); }, this);
  List1->setObjectName(QStringLiteral("List1"));
  List1->setGeometry(twips(120, 720, 4575, 2220));
  List1->setSortingEnabled(false);
  List1->setSelectionMode(QAbstractItemView::SingleSelection);
  List1->setTextElideMode(Qt::ElideNone);
  List1->setWordWrap(false);
  // The file name sits far right of the title; with the horizontal scroll bar off the
  // list keeps its scroll range at zero, so no wheel or key can bring the name into view.
  List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // What screen readers say for the controls; the labels alone say too little.
  List1->setAccessibleName(QStringLiteral("番組の一覧"));

  Command1 = new QPushButton(QStringLiteral("START"), this);
  Command1->setObjectName(QStringLiteral("Command1"));
  Command1->setGeometry(twips(3480, 3000, 1215, 375));

  Command2 = new QPushButton(QStringLiteral("END"), this);
  Command2->setObjectName(QStringLiteral("Command2"));
  Command2->setGeometry(twips(120, 3000, 1095, 375));
  Command1->setAccessibleName(QStringLiteral("START"));
  Command1->setAccessibleDescription(QStringLiteral("選んだ番組を始めます"));
  Command2->setAccessibleName(QStringLiteral("END"));
  Command2->setAccessibleDescription(QStringLiteral("kivo を終わります"));

  // Enter must press nothing, also on a focused button.
  for (QPushButton* b : {Command1, Command2}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }

  setTabOrder(List1, Command1);
  setTabOrder(Command1, Command2);
  List1->setFocus();

  connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
  stage::requestFrameExtents(*this);  // for the centring when the window is loaded
}

void Form2::load() {
  if (!loaded_) Form_Load();
}

void Form2::unload() {
  closeByOwnCode(QDialog::Rejected);
}

void Form2::preselect(const QString& file) {
  for (int i = 0; i < List1->count(); ++i) {
    if (scenarioPathOf(List1->item(i)->text()) == file) {
      List1->setCurrentRow(i);
      List1->scrollToItem(List1->item(i));
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
  List1->clear();
  platform::SequentialInput input;
  for (int n = kFirstNumber; n <= kLastNumber; ++n) {
    // Keeps the desktop responsive while a slow folder is scanned.
    QCoreApplication::processEvents();
    const QString file = scenarioFileName(n);
    const auto path = platform::resolvePath(file);
    if (!path || !platform::isOrdinaryFile(*path)) continue;
    const QString title = readTitle(input, file);
    List1->addItem(listEntry(title, file));
    platform::trace::Event("list").text(title).text(file);
  }
  List1->clearSelection();
}

void Form2::Command1_Click() {
  startSelected();
}

void Form2::List1_DblClick() {
  startSelected();
}

void Form2::startSelected() {
  const QList<QListWidgetItem*> selected = List1->selectedItems();
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
