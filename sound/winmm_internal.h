// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the pieces of the sound layer share: the audio device (winmm_device.cpp), the
// sequencer (winmm_sequencer.cpp), the clip player (winmm_clips.cpp) and the chime
// (winmm_chime.cpp). The entry points themselves are in winmm.cpp.
#include <SDL_mixer.h>

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sound/model.h"
#include "sound/wav_clip.h"

namespace sound::winmm::detail {

// The device format: the synthesiser and the clips are written in it directly.
constexpr int kRate = kClipRate;
constexpr int kChannels = kClipChannels;
// 46 ms: room for the synthesiser to load an instrument's samples when a tune selects it.
constexpr int kBufferFrames = 2048;
constexpr int kClipChannel = 0;

// Audio device. Event thread only.
bool ensureAudio();  // opens the device on first use; false when there is none
bool audioIsOpen();
void passTime(int ms);  // moves the retry clock on, for tests
std::int64_t mixedFrames();
std::int64_t closeAudio();  // the frames mixed since the device opened

// Sequencer.
void SDLCALL renderMusic(void* unused, Uint8* stream, int len);  // the device's music hook
MusicOutput& liveMusic();
void waitForInstruments();  // until the tune last played has its instruments
int audioThreadFileOpens();
double longestMusicCallbackMs();
bool waitForMidi(int timeoutMs);
int soundFontLoads();
void resetSequencer();  // after the device is closed

// Clips.
ClipOutput& liveClips();
void waitForClips();
void resetClips();  // before the device is closed

// The default sound.
Mix_Chunk* chime();
void resetChime();  // before the device is closed

}  // namespace sound::winmm::detail
