// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI file bytes into the sequencer's loader: a tune to play or a problem in words.
#include "fuzz/fuzz_support.h"
#include "sound/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const sound::winmm::MidiParse parse = sound::winmm::parseMidi(kivo_fuzz::bytes(data, size));
  // What is played is a part of the file, never more.
  if (parse.problem.isEmpty() && (parse.smf.isEmpty() || parse.smf.size() > qsizetype(size))) std::abort();
  return 0;
}
