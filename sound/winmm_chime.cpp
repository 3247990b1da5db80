// SPDX-License-Identifier: GPL-3.0-or-later
// The default sound on the device, as a mixer chunk.
#include <SDL_mixer.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sound/winmm_internal.h"

namespace sound::winmm::detail {
namespace {

struct Chime {
  Mix_Chunk* chunk = nullptr;
  std::vector<std::int16_t> samples;
};

Chime& state() {
  static Chime* c = new Chime;
  return *c;
}

}  // namespace

Mix_Chunk* chime() {
  Chime& c = state();
  if (c.chunk != nullptr) return c.chunk;
  const std::vector<float> mono = chimeSamples(kRate);
  c.samples.assign(mono.size() * kChannels, 0);
  for (size_t f = 0; f < mono.size(); ++f)
    std::fill_n(c.samples.begin() + std::ptrdiff_t(f * kChannels), kChannels, static_cast<std::int16_t>(mono[f] * 32767));
  c.chunk = Mix_QuickLoad_RAW(reinterpret_cast<Uint8*>(c.samples.data()), Uint32(c.samples.size() * sizeof(std::int16_t)));
  return c.chunk;
}

void resetChime() {
  Chime& c = state();
  if (c.chunk != nullptr) Mix_FreeChunk(c.chunk);
  c = Chime{};
}

}  // namespace sound::winmm::detail
