#pragma once
// The programme selection window: lists the titles of the scenario files KIVO.001 to
// KIVO.100 found in the current directory and hands the chosen file name to the main
// loop through the shared scenario path.
//
// Life cycle, as the main loop uses it: construct, load() (centre and scan), exec().
// exec() returns Accepted once START or a double click has set the scenario path;
// destroy the window afterwards and build a new one (with a new scan) next time.
// END and every close not made by our own code call onEnd, which is expected to close
// the music and end the process without returning.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

#include "engine/shared_state.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace platform {
class SequentialInput;
}

namespace selection {

// Layout is stored in twips: 15 twips to the pixel (96 dots per inch).
constexpr int kTwipsPerPixel = 15;

// Number of spaces between the title and the file name in a list entry: enough to push
// the file name out of sight at the right.
constexpr int kEntryPadding = 200;

// "KIVO.001" ... "KIVO.100".
QString scenarioFileName(int number);

// The programme files of the current directory, in list order: those of KIVO.001 to
// KIVO.100 that are ordinary files. No window and no event loop is needed.
QStringList programmeFiles();

// The list entry for a programme: title, the padding spaces, file name.
QString listEntry(const QString& title, const QString& file);

// The scenario path an entry stands for: its last 8 characters (all of a shorter text).
QString scenarioPathOf(const QString& entryText);

// The title of a scenario file: the second comma-delimited field from the top (so the
// first field of line 2 when line 1 holds one field only). A file that cannot be opened
// or yields no title gets its file name as title, so one broken file cannot keep the
// others from being listed. The slot is always left closed.
QString readTitle(platform::SequentialInput& input, const QString& file);

class Form2 : public QDialog {
  Q_OBJECT

 public:
  Form2(engine::SharedState& state, std::function<void()> onEnd, QWidget* parent = nullptr);

  // Form_Load: centres the window and scans the catalogue. Call before exec(); if the
  // window is shown without it, the first show does it.
  void load();
  bool isLoaded() const { return loaded_; }

  // Closes the window as the program's own code does (no end of the process), e.g.
  // when the stage window is loaded while this one still is. exec() returns Rejected.
  void unload();

  // Selects the entry of this scenario file, if listed (the station shows what comes next).
  void preselect(const QString& file);

  QLabel* label1() const { return Label1; }
  QListWidget* list1() const { return List1; }
  QPushButton* command1() const { return Command1; }
  QPushButton* command2() const { return Command2; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Why the window is closing, as the close handler is told.
  enum UnloadMode { FormControlMenu = 0, FormCode = 1 };

  void Form_Load();
  void catalogueScan();
  void Command1_Click();
  void Command2_Click();
  void List1_DblClick();
  void Form_QueryUnload(int unloadMode);
  void startSelected();
  void closeByOwnCode(int result);

  engine::SharedState& state_;
  std::function<void()> onEnd_;
  bool loaded_ = false;
  bool closingByOwnCode_ = false;

  QLabel* Label1;
  QListWidget* List1;
  QPushButton* Command1;
  QPushButton* Command2;
};

}  // namespace selection
