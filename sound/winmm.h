// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The live back-end of the sound model: the three Windows multimedia calls the program
// uses, sounding through SDL2_mixer (FluidSynth for MIDI), one audio device per process.
#include <QString>
#include <cstdint>

#include "sound/model.h"

namespace sound::winmm {

// MCI command strings for the MIDI sequencer: open, play, close. 0 is success.
MCIERROR mciSendStringA(const char* command, char* returnString, unsigned returnLength, void* callbackWindow);
// Plays a WAV clip; returns at once, true when a sound was started or the clip handed to
// the clip worker (which plays the default sound should its data prove unplayable).
bool sndPlaySoundA(const char* soundName, unsigned flags);
// The model both calls go through.
Winmm& live();

// Hooks for the sound tests and the benchmark; the program itself never calls them.
namespace test_hooks {
std::int64_t mixedFrames();      // frames mixed since the audio device was opened
bool waitForMidi(int timeoutMs);  // opens audio, loads the SoundFont; true when MIDI is ready
int soundFontLoads();             // SoundFont loads so far in this process
std::int64_t reset();             // closes audio and forgets everything (the next call starts afresh); frames it mixed
void passTime(int ms);            // moves the clock of the device retry on
void waitUntilPrepared();         // until the newest clip has started or failed, and the tune has its instruments
int soundFontReadsOnAudioThread();  // SoundFont files opened on the audio thread; should stay 0
double longestMusicCallbackMs();    // the longest music callback since the device opened
constexpr int kBufferFrames = 2048; // frames per device buffer, at 44,100 Hz
}  // namespace test_hooks

}  // namespace sound::winmm
