// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Background music through the MCI sequencer under the alias "Midi", and sound clips,
// on the live output. Nothing here reports a failure: every result is fetched and ignored.
#include <QString>

#include "engine/ports.h"
#include "sound/model.h"

namespace sound {

void playMusic(const QString& file);  // close, open the file, play from the start
void closeMusic();                    // stop and release the music, if any
void playClip(const QString& file);   // start a WAV clip, cutting off the one playing

// The engine's view of the above.
class SoundService : public engine::SoundPort {
 public:
  void playMusic(const QString& file) override { sound::playMusic(file); }
  void closeMusic() override { sound::closeMusic(); }
  void playClip(const QString& file) override { sound::playClip(file); }
};

}  // namespace sound
