// SPDX-License-Identifier: GPL-3.0-or-later
// SoundFont bytes into the cutter: a layout or a refusal, and a cut that is itself a font
// that can be cut.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "sound/soundfont_cut.h"

namespace {
sound::winmm::ReadAt over(const char* data, std::size_t size) {
  return [=](std::uint64_t at, char* to, std::size_t n) {
    if (at > size || n > size - at) return false;
    std::memcpy(to, data + at, n);
    return true;
  };
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto* bytes = reinterpret_cast<const char*>(data);
  const std::optional<sound::winmm::SoundFontLayout> layout = sound::winmm::readSoundFontLayout(over(bytes, size), size);
  if (!layout) return 0;
  std::vector<sound::winmm::Voicing> played = {{0, 0, {}}, {128, 0, {}}, {5, int(size % 128), {}}};
  played[0].keys.set();
  played[1].keys.set(size % 128);
  played[2].keys.set(60);
  const QByteArray cut = sound::winmm::cutSoundFont(*layout, played, over(bytes, size));
  if (!cut.isEmpty() && !sound::winmm::readSoundFontLayout(over(cut.constData(), size_t(cut.size())), size_t(cut.size()))) std::abort();
  return 0;
}
