// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// WAV clips decoded into the device format (44.1 kHz, 16-bit stereo), checked apart
// from any device. SDL decodes the encodings (PCM, float, A-law, mu-law, ADPCM); SDL's
// audio subsystem need not be open.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace sound::winmm {

// The device format clips are decoded into.
constexpr int kClipRate = 44100;
constexpr int kClipChannels = 2;

// The longest clip played, after conversion; a longer one is refused as unplayable.
constexpr int kMaxClipSeconds = 10 * 60;

// Why the start of a WAV file already shows it cannot be played; empty when nothing
// does. `fileSize` is the whole file's size, `head` its first bytes (all, or enough to
// reach the data chunk). Cheap: the clip player runs it on the calling thread.
QString wavHeaderProblem(const QByteArray& head, std::int64_t fileSize);

struct ClipDecode {
  std::vector<std::int16_t> samples;  // interleaved stereo at the device rate
  QString problem;                    // why it cannot be played, in plain words; empty when it can
};

// The whole file. The work is bounded by the clip-length limit; `stale`, when given, is
// asked now and then whether the result is still wanted.
ClipDecode decodeClip(const QByteArray& bytes, const std::function<bool()>& stale = {});

}  // namespace sound::winmm
