// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/wav_clip.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace sound::winmm {
namespace {

constexpr int kChannels = kClipChannels;
constexpr int kRate = kClipRate;

// Rates outside this range are damage, not recordings: 1 Hz made a 48 KB file six
// hours long, 2^31-1 Hz left no frame at all.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 384000;
constexpr int kMaxChannels = 8;  // the most SDL converts

std::uint32_t le(const char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | std::uint8_t(p[i]);
  return v;
}

QString rateProblem(std::int64_t rate) {
  if (rate >= kMinRate && rate <= kMaxRate) return {};
  return QStringLiteral("sample rate %1 Hz is not playable").arg(rate);
}

QString channelProblem(std::int64_t channels) {
  if (channels == 0) return QStringLiteral("no audio channels");
  if (channels > kMaxChannels) return QStringLiteral("%1 audio channels are more than %2").arg(channels).arg(kMaxChannels);
  return {};
}

QString lengthProblem(std::int64_t frames, std::int64_t rate) {
  if (frames <= 0) return QStringLiteral("no sound data");
  if (frames / rate >= kMaxClipSeconds) return QStringLiteral("longer than %1 minutes").arg(kMaxClipSeconds / 60);
  return {};
}

// SDL's own resampler takes tens of milliseconds for a few seconds of 22 kHz speech.
// A cubic interpolation written straight into the output does it in about a
// millisecond. `in` is 16-bit, mono or stereo.
bool toDeviceFormat(const std::int16_t* in, std::int64_t frames, int channels, int rate, std::int16_t* out,
                    std::int64_t outFrames, const std::function<bool()>& stale) {
  const auto sample = [&](std::int64_t f, int ch) {
    return float(in[std::clamp<std::int64_t>(f, 0, frames - 1) * channels + std::min(ch, channels - 1)]);
  };
  const double step = double(rate) / kRate;
  for (std::int64_t o = 0; o < outFrames; ++o) {
    if ((o & 0xFFFF) == 0 && stale && stale()) return false;
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
  return true;
}

// Where the data chunk's header starts; -1 when the walk meets none.
qsizetype dataChunkAt(const QByteArray& bytes) {
  std::int64_t at = 12;
  while (at + 8 <= bytes.size()) {
    if (bytes.mid(at, 4) == "data") return qsizetype(at);
    const std::int64_t size = le(bytes.constData() + at + 4, 4);
    at += 8 + size + (size & 1);
  }
  return -1;
}

}  // namespace

QString wavHeaderProblem(const QByteArray& head, std::int64_t fileSize) {
  // Only WAV files, although SDL would take other formats too.
  if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") return QStringLiteral("not a WAV file");
  const char* d = head.constData();
  std::int64_t at = 12;
  std::int64_t channels = -1, rate = 0, blockAlign = 0, format = 0;
  while (at + 8 <= head.size()) {
    const std::int64_t size = le(d + at + 4, 4);
    const QByteArray id = head.mid(at, 4);
    if (id == "fmt ") {
      if (size < 16 || at + 8 + 16 > head.size()) return QStringLiteral("a damaged format chunk");
      format = le(d + at + 8, 2);
      channels = le(d + at + 10, 2);
      rate = le(d + at + 12, 4);
      blockAlign = le(d + at + 20, 2);
      if (QString why = channelProblem(channels); !why.isEmpty()) return why;
      if (QString why = rateProblem(rate); !why.isEmpty()) return why;
    } else if (id == "data") {
      if (channels < 0) return QStringLiteral("sound data before its format");
      // A data chunk longer than the file is cut short where the file ends, as SDL does.
      const std::int64_t bytes = std::min(size, std::max<std::int64_t>(0, fileSize - at - 8));
      // Encoded formats grow when decoded; PCM, float and the 8-bit laws are one block per frame.
      const bool plain = format == 1 || format == 3 || format == 6 || format == 7 || format == 0xFFFE;
      if (plain && blockAlign > 0) return lengthProblem(bytes / blockAlign, rate);
      return {};
    }
    if (at + 8 + size > fileSize) return QStringLiteral("a chunk runs past the end of the file");
    at += 8 + size + (size & 1);
  }
  // Without the whole file in view, the rest is for the decoder to judge.
  return head.size() >= fileSize ? QStringLiteral("no sound data") : QString();
}

ClipDecode decodeClip(const QByteArray& bytes, const std::function<bool()>& stale) {
  ClipDecode out;
  if (QString why = wavHeaderProblem(bytes, bytes.size()); !why.isEmpty()) {
    out.problem = why;
    return out;
  }
  // SDL allocates what the data chunk claims before it reads what is there: a damaged
  // size would cost up to 4 GB. The chunk is cut to the file first, as SDL would cut it.
  QByteArray wavBytes = bytes;
  if (const qsizetype at = dataChunkAt(bytes); at >= 0) {
    const std::int64_t present = bytes.size() - at - 8;
    if (le(bytes.constData() + at + 4, 4) > present) {
      for (int i = 0; i < 4; ++i) wavBytes[at + 4 + i] = char(std::uint64_t(present) >> (8 * i) & 0xFF);
    }
  }
  SDL_AudioSpec spec{};
  Uint8* decoded = nullptr;
  Uint32 length = 0;
  if (SDL_LoadWAV_RW(SDL_RWFromConstMem(wavBytes.constData(), int(std::min<qsizetype>(wavBytes.size(), INT32_MAX))), 1,
                     &spec, &decoded, &length) == nullptr) {
    out.problem = QStringLiteral("damaged or unsupported WAV data (%1)").arg(QString::fromUtf8(SDL_GetError()));
    return out;
  }
  std::unique_ptr<Uint8, void (*)(Uint8*)> wav(decoded, SDL_FreeWAV);
  if (QString why = channelProblem(spec.channels); !why.isEmpty()) out.problem = why;
  else if (QString why = rateProblem(spec.freq); !why.isEmpty()) out.problem = why;
  if (!out.problem.isEmpty()) return out;

  // 16-bit mono and stereo, the usual clip formats, go straight to the resampler;
  // anything else is first turned into 16-bit stereo by SDL, at the file's own rate.
  std::vector<Uint8> converted;
  const std::int16_t* samples = reinterpret_cast<const std::int16_t*>(decoded);
  int channels = spec.channels;
  if (spec.format != AUDIO_S16SYS || channels > 2) {
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_S16SYS, kChannels, spec.freq) < 0) {
      out.problem = QStringLiteral("an unsupported sample format");
      return out;
    }
    const std::int64_t frames = std::int64_t(length) / std::max(1, int(SDL_AUDIO_BITSIZE(spec.format) / 8) * spec.channels);
    if (QString why = lengthProblem(frames, spec.freq); !why.isEmpty()) {
      out.problem = why;
      return out;
    }
    converted.resize(size_t(length) * size_t(std::max(cvt.len_mult, 1)));
    std::memcpy(converted.data(), decoded, length);
    cvt.buf = converted.data();
    cvt.len = int(length);
    if (SDL_ConvertAudio(&cvt) != 0) {
      out.problem = QStringLiteral("an unsupported sample format");
      return out;
    }
    length = Uint32(cvt.len_cvt);
    samples = reinterpret_cast<const std::int16_t*>(converted.data());
    channels = kChannels;
  }
  const std::int64_t frames = std::int64_t(length) / (channels * std::int64_t(sizeof(std::int16_t)));
  if (QString why = lengthProblem(frames, spec.freq); !why.isEmpty()) {
    out.problem = why;
    return out;
  }
  // 64-bit all the way: the frame count times the rate overflows 32 bits for a long clip.
  const std::int64_t outFrames = frames * kRate / spec.freq;
  if (outFrames <= 0) {
    out.problem = QStringLiteral("no sound data");
    return out;
  }
  out.samples.resize(size_t(outFrames) * kChannels);
  if (!toDeviceFormat(samples, frames, channels, spec.freq, out.samples.data(), outFrames, stale))
    return {{}, QStringLiteral("no longer wanted")};
  return out;
}

}  // namespace sound::winmm
