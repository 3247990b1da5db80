#pragma once
// MIDI files as the sequencer takes them, checked apart from any device.
#include <QByteArray>
#include <QString>

namespace platform::winmm {

struct MidiParse {
  QByteArray smf;   // the Standard MIDI File to play
  QString problem;  // why it cannot be played, in plain words; empty when it can
};

MidiParse parseMidi(const QByteArray& bytes);

}  // namespace platform::winmm
