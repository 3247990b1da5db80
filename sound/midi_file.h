// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MIDI files as the sequencer takes them: a Standard MIDI File, bare or wrapped in a
// RIFF "RMID" file, checked and scanned apart from any device.
#include <QByteArray>
#include <QString>
#include <bitset>
#include <utility>
#include <vector>

namespace sound::winmm {

// An instrument a channel selects, as FluidSynth's default bank rule names it (bank 128:
// a drum kit), and the keys played on it.
struct Voicing {
  int bank = 0;
  int program = 0;
  std::bitset<128> keys;
};

struct MidiParse {
  QByteArray smf;                            // the Standard MIDI File to play
  std::vector<std::pair<int, int>> presets;  // (bank, program) of every instrument the tune may select
  std::vector<Voicing> played;               // by (bank, program), each once
  QString problem;                           // why it cannot be played, in plain words; empty when it can
};

// Walks every chunk and event within the bytes given; never reads past them.
MidiParse parseMidi(const QByteArray& bytes);

}  // namespace sound::winmm
