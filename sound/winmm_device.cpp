// SPDX-License-Identifier: GPL-3.0-or-later
// The audio device: opened on the first sound call, one format for everything.
#include <SDL.h>
#include <SDL_mixer.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "sound/winmm_internal.h"

namespace sound::winmm::detail {
namespace {

// A device that could not be opened is tried again on a later call, at most once a
// second: a sound server that starts late, or a headset plugged in, then still gets sound.
constexpr std::chrono::milliseconds kRetryInterval{1000};

struct Device {
  bool ok = false;
  bool tried = false;
  std::chrono::steady_clock::time_point lastTry;
  bool outageReported = false;  // one message per outage, not per call
  std::chrono::milliseconds clockOffset{0};
};

Device& device() {
  static Device* d = new Device;
  return *d;
}

std::atomic<std::int64_t>& frames() {
  static auto* f = new std::atomic<std::int64_t>(0);
  return *f;
}

void SDLCALL countFrames(void*, Uint8*, int len) { frames() += len / int(kChannels * sizeof(std::int16_t)); }

// Desktop mixers (PulseAudio, PipeWire) show the stream as kivo's, with kivo's icon; the
// sound server reads the icon from the environment when the device connects.
void nameTheStream() {
  SDL_SetHint(SDL_HINT_APP_NAME, "kivo");
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "kivo");
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "kivo");
  ::setenv("PULSE_PROP_application.icon_name", "kivo", 0);
}

}  // namespace

bool ensureAudio() {
  Device& d = device();
  if (d.ok) return true;
  const auto now = std::chrono::steady_clock::now() + d.clockOffset;
  if (d.tried && now - d.lastTry < kRetryInterval) return false;
  d.tried = true;
  d.lastTry = now;
  const auto fail = [&](const char* why) {
    if (!d.outageReported) std::fprintf(stderr, "kivo: no sound: %s\n", why);
    d.outageReported = true;
    return false;
  };
  nameTheStream();
  // Hooked before the device starts, so that the frame count covers every buffer.
  frames() = 0;
  Mix_HookMusic(renderMusic, nullptr);
  Mix_SetPostMix(countFrames, nullptr);
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail(SDL_GetError());
  // A fixed format lets the synthesiser and the chime write the device format directly.
  if (Mix_OpenAudioDevice(kRate, AUDIO_S16SYS, kChannels, kBufferFrames, nullptr, 0) != 0) {
    fail(Mix_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  Mix_AllocateChannels(1);
  d.ok = true;
  d.outageReported = false;
  return true;
}

void passTime(int ms) { device().clockOffset += std::chrono::milliseconds(ms); }

bool audioIsOpen() { return device().ok; }

std::int64_t mixedFrames() { return frames(); }

std::int64_t closeAudio() {
  if (device().ok) {
    Mix_HaltChannel(-1);
    Mix_HookMusic(nullptr, nullptr);
    // The count stays hooked until the device thread has ended, so that it covers every
    // buffer the device played.
    Mix_CloseAudio();
    Mix_SetPostMix(nullptr, nullptr);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  device() = Device{};
  return frames().exchange(0);
}

}  // namespace sound::winmm::detail
