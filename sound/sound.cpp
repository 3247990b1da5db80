// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/sound.h"

#include "sound/winmm.h"

namespace sound {

void playMusic(const QString& file) { playMusic(winmm::live(), file); }

void closeMusic() { closeMusic(winmm::live()); }

void playClip(const QString& file) { playClip(winmm::live(), file); }

}  // namespace sound
