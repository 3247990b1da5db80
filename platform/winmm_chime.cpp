// The default sound: two soft bell strokes, made here so that no file is needed.
#include <SDL_mixer.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/winmm.h"
#include "platform/winmm_internal.h"

namespace platform::winmm {

std::vector<float> chimeSamples(int rate) {
  constexpr double kSeconds = 0.5;
  const int frames = int(kSeconds * rate);
  std::vector<float> out(static_cast<size_t>(frames));
  const struct {
    double start, pitch;
  } strokes[] = {{0.0, 987.77}, {0.13, 783.99}};
  for (int f = 0; f < frames; ++f) {
    const double t = double(f) / rate;
    double v = 0;
    for (const auto& stroke : strokes) {
      const double u = t - stroke.start;
      if (u < 0) continue;
      const double attack = std::min(1.0, u / 0.004);
      const double envelope = attack * std::exp(-u / 0.11);
      v += envelope * (std::sin(2 * M_PI * stroke.pitch * u) + 0.3 * std::sin(2 * M_PI * 2 * stroke.pitch * u));
    }
    out[size_t(f)] = float(std::clamp(v * 0.3, -1.0, 1.0));
  }
  return out;
}

}  // namespace platform::winmm

namespace platform::winmm::detail {
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

}  // namespace platform::winmm::detail
