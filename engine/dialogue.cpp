// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/engine.h"

#include "platform/basic.h"
#include "platform/runtime_error.h"

namespace engine {

void Engine::presentDialogue(const QString& line) {
  const qsizetype colon = line.indexOf(u'：');
  if (colon < 0) {
    throw platform::RuntimeError(platform::err::InvalidArgument)
        .at({{}, 0, {}, QStringLiteral("a dialogue line needs a full-width colon \"：\" after the speaker's name")});
  }
  const QString text = line.mid(colon + 1);
  const QString speaker = line.left(colon);
  const CastTable::Pictures pictures = cast_.lookup(speaker);
  if (watchers_.onDialogue) watchers_.onDialogue(speaker, cast_.contains(speaker));
  stage_.setCaption(text);

  // The automatic mode is read here for the cycle count and again for the hold.
  const long long cycles = platform::intDiv(double(text.size()), stage_.autoSpeak() ? 3 : 4);
  for (long long k = 0; k <= cycles; ++k) {
    state_.tickFlag = true;
    stage_.setTimerPeriod(Timing::kTalk);
    stage_.setSpeakerPicture(pictures.talk);
    tickWait();
    state_.tickFlag = true;
    stage_.setTimerPeriod(Timing::kRest);
    stage_.setSpeakerPicture(pictures.rest);
    tickWait();
  }

  if (stage_.autoSpeak()) {
    state_.tickFlag = true;
    stage_.setTimerEnabled(false);
    stage_.setTimerPeriod(Timing::kAutoPause);
    stage_.setTimerEnabled(true);
    tickWait();
  } else {
    advanceWait();
  }
  stage_.setTimerEnabled(false);
  stage_.setTimerPeriod(Timing::kResting);
  stage_.setTimerEnabled(true);
}

}  // namespace engine
