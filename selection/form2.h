// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programme selection window: lists the titles of the catalogue's programmes
// (catalogue/) and hands the chosen file name to the main loop through the shared
// scenario path.
//
// Life cycle, as the main loop uses it: construct, load() (centre and scan), exec().
// exec() returns Accepted once START or a double click has set the scenario path;
// destroy the window afterwards and build a new one (with a new scan) next time.
// END and every close not made by our own code call onEnd, which is expected to close
// the music and end the process without returning.
#include <QDialog>
#include <QString>
#include <functional>

#include "engine/shared_state.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace selection {

// Number of spaces between the title and the file name in a list entry: enough to push
// the file name out of sight at the right.
constexpr int kEntryPadding = 200;

// The list entry for a programme: title, the padding spaces, file name.
QString listEntry(const QString& title, const QString& file);

// The scenario path an entry stands for: its last 8 characters (all of a shorter text).
QString scenarioPathOf(const QString& entryText);

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

  QLabel* Label1() const { return label1_; }
  QListWidget* List1() const { return list1_; }
  QPushButton* Command1() const { return command1_; }
  QPushButton* Command2() const { return command2_; }

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

  QLabel* label1_;
  QListWidget* list1_;
  QPushButton* command1_;
  QPushButton* command2_;
};

}  // namespace selection
