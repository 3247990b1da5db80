// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/engine.h"

#include <cstdlib>

#include "platform/basic.h"

namespace engine {
namespace {

// The view area's top left corner, in twips.
constexpr int kViewAreaLeft = 1820;
constexpr int kViewAreaTop = 130;

}  // namespace

void Engine::runLine(const QString& line) {
  if (line.startsWith(u';')) return;
  if (line.startsWith(u'@')) {
    runCommand(line.mid(1));
    return;
  }
  presentDialogue(line);
}

void Engine::runCommand(const QString& command) {
  // The character after the command word is skipped unseen; a missing argument is empty.
  if (command == u"CLS") {
    stage_.setViewVisible(false);
  } else if (command.left(4) == u"VIEW") {
    showView(command.mid(5));
  } else if (command.left(4) == u"PLAY") {
    sound_.playMusic(command.mid(5));
  } else if (command.left(5) == u"VOICE") {
    sound_.playClip(command.mid(6));
  } else if (watchers_.onIgnoredCommand) {
    // Anything else is not a command this player knows: nothing happens.
    watchers_.onIgnoredCommand(command);
  }
}

void Engine::showView(const QString& file) {
  stage_.setViewVisible(false);
  stage_.setViewPicture(file);
  // Centred in the view area; a picture larger than it moves right/down by half the excess.
  const int w = stage_.viewSize().width();
  stage_.setViewLeft(int(platform::intDiv(std::abs(kViewArea - w), 2)) + kViewAreaLeft);
  const int h = stage_.viewSize().height();
  stage_.setViewTop(int(platform::intDiv(std::abs(kViewArea - h), 2)) + kViewAreaTop);
  stage_.setViewVisible(true);
}

}  // namespace engine
