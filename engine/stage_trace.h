// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The trace of the stage's controls (`caption`, `speaker`, `view-show`, `view-hide`,
// `button`, `buttons-hide`, `timer`; docs/trace.md). The engine puts it in front of
// whatever stage it is given, so the window, the unattended modes and the tests' fake
// stage all trace through this one piece of code.
#include "engine/ports.h"

namespace engine {

class StageTrace : public StageRelay {
 public:
  // The view picture box's place in the window's layout, in twips, until it is moved.
  static constexpr int kViewStartLeft = 1815;
  static constexpr int kViewStartTop = 600;

  using StageRelay::StageRelay;

  void setCaption(const QString& text) override;
  void setSpeakerPicture(const QString& file) override;
  void setViewPicture(const QString& file) override;
  void setViewLeft(int left) override;
  void setViewTop(int top) override;
  void setViewVisible(bool visible) override;
  void setButtonCaption(int index, const QString& caption) override;
  void setButtonVisible(int index, bool visible) override;
  void setTimerPeriod(int ms) override;

 private:
  int viewLeft_ = kViewStartLeft;
  int viewTop_ = kViewStartTop;
  QString viewFile_;
  bool viewVisible_ = true;  // the view picture box starts visible, empty
  ItemButtons buttons_;
};

}  // namespace engine
