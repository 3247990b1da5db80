// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/stage_trace.h"


#include "platform/trace.h"

namespace engine {

using platform::trace::Event;

void StageTrace::setCaption(const QString& text) {
  Event("caption").text(text);
  inner().setCaption(text);
}

void StageTrace::setSpeakerPicture(const QString& file) {
  // Before loading, so a load that fails shows the file.
  Event("speaker").text(file);
  inner().setSpeakerPicture(file);
}

void StageTrace::setViewPicture(const QString& file) {
  inner().setViewPicture(file);
  viewFile_ = file;
}

void StageTrace::setViewLeft(int left) {
  inner().setViewLeft(left);
  viewLeft_ = left;
}

void StageTrace::setViewTop(int top) {
  inner().setViewTop(top);
  viewTop_ = top;
}

void StageTrace::setViewVisible(bool visible) {
  if (visible) {
    const QSize size = inner().viewSize();
    Event("view-show").num(viewLeft_).num(viewTop_).num(size.width()).num(size.height()).text(viewFile_);
  } else if (viewVisible_) {
    Event("view-hide");
  }
  inner().setViewVisible(visible);
  viewVisible_ = visible;
}

void StageTrace::setButtonCaption(int index, const QString& caption) {
  inner().setButtonCaption(index, caption);  // refuses an index out of range
  buttons_.setCaption(index, caption);
}

void StageTrace::setButtonVisible(int index, bool visible) {
  inner().setButtonVisible(index, visible);  // refuses an index out of range
  const bool wasShown = buttons_.visible.at(size_t(index));
  buttons_.setVisible(index, visible);
  if (visible)
    Event("button").num(index).text(buttons_.captions[size_t(index)]);
  else if (wasShown && !buttons_.menuOpen())
    Event("buttons-hide");
}

void StageTrace::setTimerPeriod(int ms) {
  Event("timer").num(ms);
  inner().setTimerPeriod(ms);
}

}  // namespace engine
