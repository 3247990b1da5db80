#pragma once
// A stand-in for the three Windows multimedia calls the program uses, over SDL2_mixer
// (FluidSynth for MIDI). Text is narrow, in the ANSI code page (CP932).
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::winmm {

using MCIERROR = std::uint32_t;

// MCI command strings for the MIDI sequencer: open, play, close. 0 is success.
MCIERROR mciSendStringA(const char* command, char* returnString, unsigned returnLength, void* callbackWindow);
// Fills `text` with the message for an MCI result code. False for an unknown code.
bool mciGetErrorStringA(MCIERROR code, char* text, unsigned length);

constexpr unsigned SND_ASYNC = 1;
constexpr unsigned SND_NODEFAULT = 2;
constexpr unsigned SND_NOSTOP = 16;
// Plays a WAV clip; returns at once, true when a sound was started or the clip handed to
// the clip worker (which plays the default sound should its data prove unplayable).
bool sndPlaySoundA(const char* soundName, unsigned flags);

// Starts loading the MIDI synthesiser's SoundFont in the background, so that the first
// "play" sounds at once. Optional: the first "open" starts it as well.
void prepareSequencer();
// Makes music use this SoundFont instead of looking for one (SDL_SOUNDFONTS, then the
// usual system files); call before the first music.
void setSoundFont(const QString& path);
// Whether the file reads as a SoundFont (its header), so a wrong file can be refused
// before music needs it.
bool isSoundFont(const QString& path);
// Where the SoundFont is looked for, in order: the one given to setSoundFont, then
// SDL_SOUNDFONTS (paths separated by ':' or ';'), else the usual system files.
std::vector<std::string> soundFontCandidates();
// The default sound for a clip that cannot be played (two soft bell strokes), as mono
// samples in [-1, 1] at `rate` Hz.
std::vector<float> chimeSamples(int rate);

// For checking a programme's files: the same reading and decoding as the real calls,
// without opening the audio device or playing anything. Each returns a short reason in
// plain words, or an empty text when the file would play.
// Why the sequencer would not play this file; empty when it would.
QString musicFileProblem(const QString& path);
// Why sndPlaySoundA would not play this clip name (resolved as sndPlaySoundA resolves it); empty when it would.
QString clipFileProblem(const QString& name);

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

}  // namespace platform::winmm
