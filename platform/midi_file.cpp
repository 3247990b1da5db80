#include "platform/midi_file.h"

namespace platform::winmm {

MidiParse parseMidi(const QByteArray& data) {
  const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(data[i]); };
  if (data.size() < 14 || !data.startsWith("MThd")) return {{}, QStringLiteral("not a Standard MIDI File")};
  const unsigned length = unsigned(byte(4)) << 24 | unsigned(byte(5)) << 16 | unsigned(byte(6)) << 8 | byte(7);
  const unsigned format = unsigned(byte(8)) << 8 | byte(9);
  const unsigned tracks = unsigned(byte(10)) << 8 | byte(11);
  const unsigned division = unsigned(byte(12)) << 8 | byte(13);
  if (length < 6 || format > 2 || tracks < 1 || division == 0 || data.indexOf("MTrk", 8 + qsizetype(length)) < 0)
    return {{}, QStringLiteral("not a Standard MIDI File")};
  return {data, {}};
}

}  // namespace platform::winmm
