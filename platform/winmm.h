#pragma once
// A stand-in for the three Windows multimedia calls the program uses, over SDL2_mixer
// (FluidSynth for MIDI). Text is narrow, in the ANSI code page (CP932).
#include <cstdint>

namespace platform::winmm {

using MCIERROR = std::uint32_t;

// MCI command strings for the MIDI sequencer: open, play, close. 0 is success.
MCIERROR mciSendStringA(const char* command, char* returnString, unsigned returnLength, void* callbackWindow);
// Fills `text` with the message for an MCI result code. False for an unknown code.
bool mciGetErrorStringA(MCIERROR code, char* text, unsigned length);

constexpr unsigned SND_ASYNC = 1;
constexpr unsigned SND_NODEFAULT = 2;
constexpr unsigned SND_NOSTOP = 16;
// Plays a WAV clip; true when a sound was started.
bool sndPlaySoundA(const char* soundName, unsigned flags);

}  // namespace platform::winmm
