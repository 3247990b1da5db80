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

#include "platform/mci_command.h"

namespace platform::winmm::detail {

// The device format: the synthesiser and the clips are written in it directly.
constexpr int kRate = 44100;
constexpr int kChannels = 2;
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
MCIERROR runCommand(const mci::Command& command);
QString musicProblem(const QString& path);
void prepareSequencer();
void setSoundFont(const std::string& path);
void waitForInstruments();  // until the tune last played has its instruments
int audioThreadFileOpens();
double longestMusicCallbackMs();
bool waitForMidi(int timeoutMs);
int soundFontLoads();
void resetSequencer();  // after the device is closed

// Clips.
bool playSound(const char* soundName, const QString& name, unsigned flags);
QString clipProblem(const QString& name);
void waitForClips();
void resetClips();  // before the device is closed

// The default sound.
Mix_Chunk* chime();
void resetChime();  // before the device is closed

}  // namespace platform::winmm::detail
