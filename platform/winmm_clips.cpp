// WAV clips on mixer channel 0, beside the music.
#include <SDL.h>
#include <SDL_mixer.h>

#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/winmm.h"
#include "platform/winmm_internal.h"

namespace platform::winmm::detail {
namespace {

Mix_Chunk*& currentClip() {
  static Mix_Chunk* clip = nullptr;
  return clip;
}

// SDL's own resampler takes tens of milliseconds for a few seconds of 22 kHz speech,
// far too long to hold the event thread. A cubic interpolation written straight into
// the chunk's buffer does it in about a millisecond. `in` is 16-bit, mono or stereo.
void toDeviceFormat(const std::int16_t* in, std::int64_t frames, int channels, int rate, std::int16_t* out,
                    std::int64_t outFrames) {
  const auto sample = [&](std::int64_t f, int ch) {
    return float(in[std::clamp<std::int64_t>(f, 0, frames - 1) * channels + std::min(ch, channels - 1)]);
  };
  const double step = double(rate) / kRate;
  for (std::int64_t o = 0; o < outFrames; ++o) {
    const double pos = double(o) * step;
    const auto i = std::int64_t(pos);
    const auto t = float(pos - double(i));
    // Catmull-Rom weights for the four neighbours.
    const float t2 = t * t, t3 = t2 * t;
    const float w0 = -0.5f * t3 + t2 - 0.5f * t;
    const float w1 = 1.5f * t3 - 2.5f * t2 + 1;
    const float w2 = -1.5f * t3 + 2 * t2 + 0.5f * t;
    const float w3 = 0.5f * t3 - 0.5f * t2;
    for (int ch = 0; ch < kChannels; ++ch) {
      float v;
      if (i >= 1 && i + 2 < frames) {
        const std::int16_t* p = in + (i - 1) * channels + std::min(ch, channels - 1);
        v = w0 * p[0] + w1 * p[channels] + w2 * p[2 * channels] + w3 * p[3 * channels];
      } else {
        v = w0 * sample(i - 1, ch) + w1 * sample(i, ch) + w2 * sample(i + 1, ch) + w3 * sample(i + 2, ch);
      }
      out[o * kChannels + ch] = static_cast<std::int16_t>(std::clamp(v, -32768.0f, 32767.0f));
    }
  }
}

Mix_Chunk* loadClip(const QString& name) {
  const std::optional<std::string> path = resolvePath(name);
  if (!path || !isOrdinaryFile(*path)) return nullptr;
  const std::optional<QByteArray> data = readFileBytes(*path);
  // Only WAV files, although SDL would take other formats too.
  if (!data || data->size() < 12 || !data->startsWith("RIFF") || data->mid(8, 4) != "WAVE") return nullptr;

  SDL_AudioSpec spec{};
  Uint8* decoded = nullptr;
  Uint32 length = 0;
  if (SDL_LoadWAV_RW(SDL_RWFromConstMem(data->constData(), int(data->size())), 1, &spec, &decoded, &length) == nullptr)
    return nullptr;
  std::unique_ptr<Uint8, void (*)(Uint8*)> wav(decoded, SDL_FreeWAV);
  // 16-bit mono and stereo, the usual clip formats, go straight to the resampler;
  // anything else is first turned into 16-bit stereo by SDL, at the file's own rate.
  std::vector<Uint8> converted;
  const std::int16_t* samples = reinterpret_cast<const std::int16_t*>(decoded);
  int channels = spec.channels;
  if (spec.format != AUDIO_S16SYS || channels < 1 || channels > 2) {
    SDL_AudioCVT cvt;
    if (spec.freq <= 0 || SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_S16SYS, kChannels, spec.freq) < 0)
      return nullptr;
    converted.resize(size_t(length) * size_t(std::max(cvt.len_mult, 1)));
    std::memcpy(converted.data(), decoded, length);
    cvt.buf = converted.data();
    cvt.len = int(length);
    if (SDL_ConvertAudio(&cvt) != 0) return nullptr;
    length = Uint32(cvt.len_cvt);
    samples = reinterpret_cast<const std::int16_t*>(converted.data());
    channels = kChannels;
  }
  const std::int64_t frames = std::int64_t(length) / (channels * std::int64_t(sizeof(std::int16_t)));
  if (frames <= 0 || spec.freq <= 0) return nullptr;

  const std::int64_t outFrames = frames * kRate / spec.freq;
  const auto size = Uint32(outFrames * kChannels * std::int64_t(sizeof(std::int16_t)));
  auto* buffer = static_cast<std::int16_t*>(SDL_malloc(size));
  if (buffer == nullptr) return nullptr;
  toDeviceFormat(samples, frames, channels, spec.freq, buffer, outFrames);
  Mix_Chunk* chunk = Mix_QuickLoad_RAW(reinterpret_cast<Uint8*>(buffer), size);
  if (chunk == nullptr) {
    SDL_free(buffer);
    return nullptr;
  }
  chunk->allocated = 1;  // Mix_FreeChunk releases the samples too
  return chunk;
}

void stopClip() {
  Mix_HaltChannel(kClipChannel);
  if (currentClip() != nullptr) {
    Mix_FreeChunk(currentClip());
    currentClip() = nullptr;
  }
}

}  // namespace

bool playSound(const char* soundName, const QString& name, unsigned flags) {
  if (!ensureAudio()) return false;
  if ((flags & SND_NOSTOP) != 0 && Mix_Playing(kClipChannel) != 0) return false;
  stopClip();
  if (soundName == nullptr) return true;  // a null name only stops the sound
  Mix_Chunk* chunk = loadClip(name);
  if (chunk != nullptr) {
    currentClip() = chunk;
  } else {
    if ((flags & SND_NODEFAULT) != 0) return false;
    chunk = chime();
    if (chunk == nullptr) return false;
  }
  if (Mix_PlayChannel(kClipChannel, chunk, 0) < 0) return false;
  if ((flags & SND_ASYNC) == 0) {
    while (Mix_Playing(kClipChannel) != 0) SDL_Delay(5);
  }
  return true;
}

void resetClips() {
  if (audioIsOpen()) {
    Mix_HaltChannel(-1);
    if (currentClip() != nullptr) Mix_FreeChunk(currentClip());
  }
  currentClip() = nullptr;
}

}  // namespace platform::winmm::detail
