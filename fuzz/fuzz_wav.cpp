// SPDX-License-Identifier: GPL-3.0-or-later
// WAV file bytes into the clip loader: the header check and the whole decode, with
// SDL's dummy audio driver.
#include "fuzz/fuzz_support.h"
#include "sound/wav_clip.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qputenv("SDL_AUDIODRIVER", "dummy");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sound::winmm;
  const QByteArray bytes = kivo_fuzz::bytes(data, size);
  const QString headProblem = wavHeaderProblem(bytes, qint64(size));
  const ClipDecode clip = decodeClip(bytes);
  // A clip the header check refuses is not played; a clip played is whole stereo
  // frames within the length limit.
  if (!headProblem.isEmpty() && clip.problem.isEmpty()) std::abort();
  if (clip.problem.isEmpty() &&
      (clip.samples.empty() || clip.samples.size() % 2 != 0 || clip.samples.size() > 2u * 44100 * kMaxClipSeconds))
    std::abort();
  return 0;
}
