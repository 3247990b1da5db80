// SPDX-License-Identifier: GPL-3.0-or-later
// The entry points of the live back-end; the work is done by the device, sequencer, clip
// and chime pieces (winmm_internal.h), the rules by the model.
#include "sound/winmm.h"

#include "sound/winmm_internal.h"

namespace sound::winmm {

Winmm& live() {
  // Never destroyed: the audio thread may outlive static destruction.
  static Winmm* model = new Winmm(detail::liveMusic(), detail::liveClips());
  return *model;
}

MCIERROR mciSendStringA(const char* command, char* returnString, unsigned returnLength, void* /*callbackWindow*/) {
  return live().mciSendStringA(command, returnString, returnLength);
}

bool sndPlaySoundA(const char* soundName, unsigned flags) { return live().sndPlaySoundA(soundName, flags); }

namespace test_hooks {

std::int64_t mixedFrames() { return detail::mixedFrames(); }

bool waitForMidi(int timeoutMs) { return detail::waitForMidi(timeoutMs); }

int soundFontLoads() { return detail::soundFontLoads(); }

void passTime(int ms) { detail::passTime(ms); }

void waitUntilPrepared() {
  detail::waitForClips();
  detail::waitForInstruments();
}

int soundFontReadsOnAudioThread() { return detail::audioThreadFileOpens(); }

double longestMusicCallbackMs() { return detail::longestMusicCallbackMs(); }

std::int64_t reset() {
  detail::resetClips();
  if (detail::audioIsOpen()) detail::resetChime();
  const std::int64_t mixed = detail::closeAudio();
  detail::resetSequencer();
  live() = Winmm(detail::liveMusic(), detail::liveClips());
  setSoundFont({});
  return mixed;
}

}  // namespace test_hooks

}  // namespace sound::winmm
