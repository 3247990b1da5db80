#pragma once
// The fake stage with the real window behind it for pictures and captions: the player's
// own loader decides what is a picture and what size it is.
#include "stage/form1.h"
#include "tests/engine/fake_world.h"

namespace kivo_test {

class PlayerWorld : public FakeWorld {
 public:
  PlayerWorld() : window(events, [] {}, [] {}) { autoMode = true; }
  void setCaption(const QString& text) override {
    window.setCaption(text);
    FakeWorld::setCaption(text);
  }
  void setSpeakerPicture(const QString& file) override {
    window.setSpeakerPicture(file);
    speaker = file;
  }
  void setViewPicture(const QString& file) override {
    window.setViewPicture(file);
    viewSizeTwips = window.viewSize();
    viewFile = file;
  }
  stage::Form1 window;
};

}  // namespace kivo_test
