// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/midi_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>

namespace sound::winmm {
namespace {

constexpr int kDrumBank = 128;
constexpr int kDrumChannel = 9;

std::uint32_t be32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return std::uint32_t(u[0]) << 24 | std::uint32_t(u[1]) << 16 | std::uint32_t(u[2]) << 8 | u[3];
}
std::uint32_t le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return std::uint32_t(u[3]) << 24 | std::uint32_t(u[2]) << 16 | std::uint32_t(u[1]) << 8 | u[0];
}

// The Standard MIDI File inside a RIFF "RMID" wrapper: the contents of its "data" chunk.
QString unwrapRmid(const QByteArray& riff, QByteArray& smf) {
  qsizetype at = 12;
  while (at + 8 <= riff.size()) {
    const std::uint32_t size = le32(riff.constData() + at + 4);
    if (riff.mid(at, 4) == "data") {
      if (size > std::uint64_t(riff.size() - at - 8)) return QStringLiteral("the RIFF MIDI data runs past the end of the file");
      smf = riff.mid(at + 8, qsizetype(size));
      return {};
    }
    at += 8 + qsizetype(size) + (size & 1);
    if (size > std::uint64_t(riff.size())) break;
  }
  return QStringLiteral("a RIFF MIDI file without MIDI data");
}

struct Track {
  const unsigned char* p;
  const unsigned char* end;
  bool varLen(std::uint32_t& v) {
    v = 0;
    for (int i = 0; i < 4; ++i) {
      if (p >= end) return false;
      const unsigned char b = *p++;
      v = v << 7 | (b & 0x7F);
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
};

// A bank select (MSB), program change or sounding note, at its tick.
struct Selection {
  enum Kind { kBank, kProgram, kNote };
  std::uint64_t tick;
  int channel;
  Kind kind;
  int value;
};

// Collects a track's bank selects, program changes and notes; false when the track is damaged.
bool scanTrack(Track t, std::vector<Selection>& selections) {
  unsigned char running = 0;
  std::uint64_t tick = 0;
  while (t.p < t.end) {
    std::uint32_t delta;
    if (!t.varLen(delta) || t.p >= t.end) return false;
    tick += delta;
    unsigned char status = *t.p;
    if (status >= 0x80) {
      ++t.p;
    } else if (running != 0) {
      status = running;
    } else {
      return false;  // a data byte with no status to run on
    }
    if (status == 0xFF) {
      if (t.p >= t.end) return false;
      const unsigned char type = *t.p++;
      std::uint32_t length;
      if (!t.varLen(length) || length > std::uint64_t(t.end - t.p)) return false;
      t.p += length;
      if (type == 0x2F) return true;  // end of track: anything after it is ignored
      continue;
    }
    if (status == 0xF0 || status == 0xF7) {
      std::uint32_t length;
      if (!t.varLen(length) || length > std::uint64_t(t.end - t.p)) return false;
      t.p += length;
      continue;
    }
    if (status > 0xF0) return false;  // system messages have no place in a file
    running = status;
    const int kind = status & 0xF0, channel = status & 0x0F;
    const int size = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
    if (t.end - t.p < size) return false;
    const int d1 = t.p[0] & 0x7F, d2 = size == 2 ? t.p[1] & 0x7F : 0;
    t.p += size;
    if (kind == 0xB0 && d1 == 0) selections.push_back({tick, channel, Selection::kBank, d2});
    if (kind == 0xC0) selections.push_back({tick, channel, Selection::kProgram, d1});
    if (kind == 0x90 && d2 != 0) selections.push_back({tick, channel, Selection::kNote, d1});
  }
  return true;
}

// The instruments the selections choose, and the keys played on each, the tracks played
// together as the sequencer plays them (a bank select in one track applies to a later
// program change in another). FluidSynth's default bank rule: bank select MSB on melodic
// channels, bank 128 on the drum channel; an instrument missing from its bank falls back
// to bank 0, a drum kit to kit 0.
void choosePresets(std::vector<Selection>& selections, MidiParse& out) {
  // Stable: at one tick, tracks in file order, as the sequencer takes them.
  std::stable_sort(selections.begin(), selections.end(), [](const Selection& a, const Selection& b) { return a.tick < b.tick; });
  std::array<int, 16> bank{}, program{};  // every channel starts at the first instrument of bank 0
  std::map<std::pair<int, int>, std::bitset<128>> keys;
  for (const Selection& s : selections) {
    const auto channel = size_t(s.channel);
    const int selected = s.channel == kDrumChannel ? kDrumBank : bank[channel];
    if (s.kind == Selection::kBank) {
      bank[channel] = s.value;
    } else if (s.kind == Selection::kNote) {
      keys[{selected, program[channel]}].set(size_t(s.value));
    } else {
      program[channel] = s.value;
      out.presets.emplace_back(selected, s.value);
      if (selected != kDrumBank) out.presets.emplace_back(0, s.value);
    }
  }
  for (const auto& [preset, played] : keys) out.played.push_back({preset.first, preset.second, played});
}

}  // namespace

MidiParse parseMidi(const QByteArray& bytes) {
  MidiParse out;
  const auto fail = [&](const QString& why) {
    MidiParse failed;
    failed.problem = why;
    return failed;
  };
  if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "RMID") {
    if (const QString why = unwrapRmid(bytes, out.smf); !why.isEmpty()) return fail(why);
  } else {
    out.smf = bytes;
  }
  const QByteArray& smf = out.smf;
  if (smf.size() < 14 || !smf.startsWith("MThd")) return fail(QStringLiteral("not a Standard MIDI File"));
  const char* d = smf.constData();
  const std::uint32_t headerLength = be32(d + 4);
  const unsigned format = unsigned(std::uint8_t(d[8])) << 8 | std::uint8_t(d[9]);
  const unsigned tracks = unsigned(std::uint8_t(d[10])) << 8 | std::uint8_t(d[11]);
  const unsigned division = unsigned(std::uint8_t(d[12])) << 8 | std::uint8_t(d[13]);
  if (headerLength < 6 || headerLength > std::uint64_t(smf.size() - 8) || format > 2 || tracks < 1)
    return fail(QStringLiteral("not a Standard MIDI File"));
  if (division == 0) return fail(QStringLiteral("a MIDI file with no time division"));
  if ((division & 0x8000) != 0) return fail(QStringLiteral("a MIDI file timed in SMPTE frames, which the sequencer does not play"));

  // Every channel starts at the first instrument of its bank.
  out.presets = {{0, 0}, {kDrumBank, 0}};
  std::vector<Selection> selections;
  unsigned found = 0;
  qsizetype at = 8 + qsizetype(headerLength);
  while (found < tracks && at + 8 <= smf.size()) {
    const std::uint32_t length = be32(d + at + 4);
    if (length > std::uint64_t(smf.size() - at - 8))
      return fail(QStringLiteral("a track of the MIDI file runs past its end (the file is damaged or cut short)"));
    if (smf.mid(at, 4) == "MTrk") {
      const auto* p = reinterpret_cast<const unsigned char*>(d + at + 8);
      if (!scanTrack(Track{p, p + length}, selections))
        return fail(QStringLiteral("track %1 of the MIDI file is damaged").arg(found + 1));
      ++found;
    }
    at += 8 + qsizetype(length);
  }
  if (found < tracks)
    return fail(found == 0 ? QStringLiteral("a MIDI file without tracks")
                           : QStringLiteral("the MIDI file holds %1 of its %2 tracks").arg(found).arg(tracks));
  choosePresets(selections, out);
  std::sort(out.presets.begin(), out.presets.end());
  out.presets.erase(std::unique(out.presets.begin(), out.presets.end()), out.presets.end());
  return out;
}

}  // namespace sound::winmm
