// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A SoundFont 2 file cut down to what one tune plays: its presets, their instruments, the
// zones that cover a key the tune plays, and the samples those zones sound. FluidR3_GM
// parsed whole costs about 12 MB of tables before a single sample; a tune's cut, a few
// MB with its samples.
#include <fluidsynth.h>

#include <QByteArray>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "sound/midi_file.h"

namespace sound::winmm {

// Reads `size` bytes at `offset` of the file into `to`; false when it cannot.
using ReadAt = std::function<bool(std::uint64_t offset, char* to, std::size_t size)>;

// Where a SoundFont's parts lie: its preset, instrument and sample tables, read whole
// (under a megabyte), and its sample data, left in the file.
struct SoundFontLayout {
  // phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr, each checked: every index
  // within its table, every sample within the data.
  std::array<QByteArray, 9> tables;
  std::uint64_t samplesAt = 0;  // the smpl chunk's data: 16-bit sample points
  std::uint32_t samplePoints = 0;
};

// The layout of a file of `fileSize` bytes; nullopt when it cannot be cut: not a RIFF
// SoundFont 2, 24-bit, compressed or ROM samples, or a chunk or table out of order.
std::optional<SoundFontLayout> readSoundFontLayout(const ReadAt& read, std::uint64_t fileSize);

// A SoundFont 2 file with what `played` sounds, selected as FluidSynth selects in the
// whole font (a missing instrument falls back to bank 0, a missing kit to kit 0);
// empty when the sample data cannot be read.
QByteArray cutSoundFont(const SoundFontLayout& font, const std::vector<Voicing>& played, const ReadAt& read);

// Lets `synth` load SoundFonts held in memory, every sample at once whatever the synth's
// settings say (a font in memory is not there to be read again later).
void addMemoryFontLoader(fluid_synth_t* synth);

// Loads `font` into `synth` (which has the memory loader); its id, or FLUID_FAILED. The
// synth keeps its own copy of everything.
int loadMemoryFont(fluid_synth_t* synth, const QByteArray& font);

}  // namespace sound::winmm
