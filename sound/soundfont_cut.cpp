// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/soundfont_cut.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstring>

namespace sound::winmm {
namespace {

using Keys = std::bitset<128>;

enum Table { kPhdr, kPbag, kPmod, kPgen, kInst, kIbag, kImod, kIgen, kShdr };
constexpr std::array<const char*, 9> kNames = {"phdr", "pbag", "pmod", "pgen", "inst", "ibag", "imod", "igen", "shdr"};
constexpr std::array<int, 9> kSizes = {38, 4, 10, 4, 22, 4, 10, 4, 46};
constexpr int kKeyRange = 43, kInstrument = 41, kSampleId = 53;
constexpr std::uint32_t kPad = 46;  // zero points the format wants after each sample
constexpr int kDrumBank = 128;
// No real font has tables this large; a damaged size must not make us allocate gigabytes.
constexpr std::uint32_t kLargestTable = 64u << 20;

std::uint32_t le(const char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | std::uint8_t(p[i]);
  return v;
}
void put(QByteArray& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += char(v >> (8 * i) & 0xFF);
}
void set16(QByteArray& out, qsizetype at, std::uint32_t v) {
  out[at] = char(v & 0xFF);
  out[at + 1] = char(v >> 8 & 0xFF);
}
void put(QByteArray& out, const char* at, std::uint32_t v, int bytes) {
  out += QByteArray(at, 4);
  put(out, v, bytes);
}

struct Tables {
  const std::array<QByteArray, 9>& t;
  int count(Table k) const { return int(t[k].size() / kSizes[k]); }
  const char* at(Table k, int i) const { return t[k].constData() + qsizetype(i) * kSizes[k]; }
  std::uint32_t u(Table k, int i, int offset, int bytes = 2) const { return le(at(k, i) + offset, bytes); }
};

// The bag, generator and modulator indices of the level whose headers are `head` (bag
// index at `bagAt`): each rises and stays within its table.
bool indicesRise(const Tables& t, Table head, int bagAt, Table bag, Table gen, Table mod) {
  for (int i = 0; i + 1 < t.count(head); ++i)
    if (t.u(head, i, bagAt) > t.u(head, i + 1, bagAt)) return false;
  if (t.u(head, t.count(head) - 1, bagAt) >= std::uint32_t(t.count(bag))) return false;
  for (int i = 0; i + 1 < t.count(bag); ++i)
    if (t.u(bag, i, 0) > t.u(bag, i + 1, 0) || t.u(bag, i, 2) > t.u(bag, i + 1, 2)) return false;
  return t.u(bag, t.count(bag) - 1, 0) < std::uint32_t(t.count(gen)) &&
         t.u(bag, t.count(bag) - 1, 2) < std::uint32_t(t.count(mod));
}

bool tablesHold(const SoundFontLayout& font) {
  const Tables t{font.tables};
  for (int k = 0; k < 9; ++k)
    if (t.count(Table(k)) < 1) return false;
  if (!indicesRise(t, kPhdr, 24, kPbag, kPgen, kPmod) || !indicesRise(t, kInst, 20, kIbag, kIgen, kImod)) return false;
  for (int g = 0; g < t.count(kPgen); ++g)
    if (t.u(kPgen, g, 0) == kInstrument && t.u(kPgen, g, 2) + 1 >= std::uint32_t(t.count(kInst))) return false;
  for (int g = 0; g < t.count(kIgen); ++g)
    if (t.u(kIgen, g, 0) == kSampleId && t.u(kIgen, g, 2) + 1 >= std::uint32_t(t.count(kShdr))) return false;
  for (int s = 0; s + 1 < t.count(kShdr); ++s) {
    // ROM samples are not in the file; compressed ones cannot be cut by points.
    if ((t.u(kShdr, s, 44) & 0x8010) != 0) return false;
    if (t.u(kShdr, s, 20, 4) > t.u(kShdr, s, 24, 4) || t.u(kShdr, s, 24, 4) > font.samplePoints) return false;
  }
  return true;
}

// One level of the hierarchy (presets or instruments) cut down: the zones kept, each
// zone's generators and modulators copied, the link to the level below renumbered.
struct Level {
  Table head, bag, gen, mod;
  int bagAt;      // where the header keeps its first bag
  int linkOp;     // the generator naming the zone's instrument or sample
  QByteArray heads, bags, gens, mods;
};

// The keys a zone covers: its key range, honoured (as FluidSynth honours it) only first.
Keys zoneKeys(const Tables& t, Table gen, std::uint32_t g0, std::uint32_t g1) {
  Keys keys;
  if (g1 > g0 && t.u(gen, int(g0), 0) == kKeyRange) {
    for (std::uint32_t k = t.u(gen, int(g0), 2) & 0xFF; k <= (t.u(gen, int(g0), 2) >> 8) && k < 128; ++k) keys.set(k);
  } else {
    keys.set();
  }
  return keys;
}

// Walks the zones of header `i` that sound one of `keys`: the global zone (first, without
// a link), always, and each linked zone covering a key. As FluidSynth reads a zone, its
// first link ends it. `visit(zone, link, keys, end of its generators)`.
template <class Visit>
void keptZones(const Tables& t, const Level& l, int i, const Keys& keys, Visit visit) {
  const std::uint32_t first = t.u(l.head, i, l.bagAt), last = t.u(l.head, i + 1, l.bagAt);
  for (std::uint32_t z = first; z < last; ++z) {
    const std::uint32_t g0 = t.u(l.bag, int(z), 0), g1 = t.u(l.bag, int(z) + 1, 0);
    std::uint32_t link = g0;
    while (link < g1 && t.u(l.gen, int(link), 0) != std::uint32_t(l.linkOp)) ++link;
    if (link == g1) {
      if (z == first) visit(z, -1, keys, g1);
      continue;
    }
    const Keys covered = keys & zoneKeys(t, l.gen, g0, g1);
    if (covered.any()) visit(z, int(t.u(l.gen, int(link), 2)), covered, link + 1);
  }
}

// Copies header `i` with its zones that sound `keys`, links renumbered by `renumber`.
void copyHeader(const Tables& t, Level& l, int i, const Keys& keys, const std::vector<int>& renumber) {
  const qsizetype headAt = l.heads.size();
  l.heads += QByteArray(t.at(l.head, i), kSizes[l.head]);
  set16(l.heads, headAt + l.bagAt, std::uint32_t(l.bags.size() / 4));
  keptZones(t, l, i, keys, [&](std::uint32_t z, int link, const Keys&, std::uint32_t end) {
    put(l.bags, std::uint32_t(l.gens.size() / 4), 2);
    put(l.bags, std::uint32_t(l.mods.size() / 10), 2);
    const std::uint32_t m0 = t.u(l.bag, int(z), 2), m1 = t.u(l.bag, int(z) + 1, 2);
    l.mods += QByteArray(t.at(l.mod, int(m0)), qsizetype(m1 - m0) * 10);
    const std::uint32_t g0 = t.u(l.bag, int(z), 0);
    l.gens += QByteArray(t.at(l.gen, int(g0)), qsizetype(end - g0) * 4);
    if (link >= 0) set16(l.gens, l.gens.size() - 2, std::uint32_t(renumber[size_t(link)]));
  });
}

// Closes a level with its terminal records: the last header names the bag count, the
// last bag the generator and modulator counts.
void closeLevel(Level& l, const char* terminalName) {
  QByteArray terminal(kSizes[l.head], '\0');
  std::memcpy(terminal.data(), terminalName, std::strlen(terminalName));
  l.heads += terminal;
  set16(l.heads, l.heads.size() - kSizes[l.head] + l.bagAt, std::uint32_t(l.bags.size() / 4));
  put(l.bags, std::uint32_t(l.gens.size() / 4), 2);
  put(l.bags, std::uint32_t(l.mods.size() / 10), 2);
  l.gens += QByteArray(4, '\0');
  l.mods += QByteArray(10, '\0');
}

QByteArray chunk(const char* id, const QByteArray& data) {
  QByteArray out;
  put(out, id, std::uint32_t(data.size()), 4);
  return out + data + (data.size() % 2 != 0 ? QByteArray(1, '\0') : QByteArray());
}
QByteArray list(const char* type, const QByteArray& chunks) { return chunk("LIST", QByteArray(type, 4) + chunks); }

// A font in memory goes through FluidSynth's loader under this name, which FluidSynth
// opens on the loading thread, during the load.
constexpr char kMemoryName[] = "kivo-memory:";
thread_local const QByteArray* loading = nullptr;

struct MemoryFile {
  const QByteArray* bytes;
  std::int64_t at = 0;
};

void* openMemory(const char* name) {
  if (loading == nullptr || std::strcmp(name, kMemoryName) != 0) return nullptr;
  return new MemoryFile{loading};
}
int readMemory(void* buf, fluid_long_long_t count, void* handle) {
  auto* f = static_cast<MemoryFile*>(handle);
  if (count < 0 || count > f->bytes->size() - f->at) return FLUID_FAILED;
  std::memcpy(buf, f->bytes->constData() + f->at, size_t(count));
  f->at += count;
  return FLUID_OK;
}
int seekMemory(void* handle, fluid_long_long_t offset, int origin) {
  auto* f = static_cast<MemoryFile*>(handle);
  const std::int64_t to = offset + (origin == SEEK_CUR ? f->at : origin == SEEK_END ? f->bytes->size() : 0);
  if (to < 0 || to > f->bytes->size()) return FLUID_FAILED;
  f->at = to;
  return FLUID_OK;
}
fluid_long_long_t tellMemory(void* handle) { return static_cast<MemoryFile*>(handle)->at; }
int closeMemory(void* handle) {
  delete static_cast<MemoryFile*>(handle);
  return FLUID_OK;
}

}  // namespace

void addMemoryFontLoader(fluid_synth_t* synth) {
  // The loader reads its sample-loading rule from these settings; never freed, as the
  // loader may live as long as the process.
  static fluid_settings_t* const settings = [] {
    fluid_settings_t* s = new_fluid_settings();
    fluid_settings_setint(s, "synth.dynamic-sample-loading", 0);
    return s;
  }();
  fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
  if (loader == nullptr) return;
  fluid_sfloader_set_callbacks(loader, openMemory, readMemory, seekMemory, tellMemory, closeMemory);
  fluid_synth_add_sfloader(synth, loader);
}

int loadMemoryFont(fluid_synth_t* synth, const QByteArray& font) {
  loading = &font;
  const int id = fluid_synth_sfload(synth, kMemoryName, 1);
  loading = nullptr;
  return id;
}

std::optional<SoundFontLayout> readSoundFontLayout(const ReadAt& read, std::uint64_t fileSize) {
  char head[12];
  if (fileSize < 12 || !read(0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "sfbk", 4) != 0)
    return std::nullopt;
  const std::uint64_t end = std::min<std::uint64_t>(fileSize, 8 + std::uint64_t(le(head + 4, 4)));
  SoundFontLayout font;
  bool version = false, samples = false;
  for (std::uint64_t at = 12; at + 12 <= end;) {
    char listHead[12];
    if (!read(at, listHead, 12)) return std::nullopt;
    const std::uint32_t size = le(listHead + 4, 4);
    const std::uint64_t listEnd = at + 8 + size;
    if (listEnd > end) return std::nullopt;
    const bool isList = std::memcmp(listHead, "LIST", 4) == 0;
    for (std::uint64_t c = at + 12; isList && c + 8 <= listEnd;) {
      char chunkHead[8];
      if (!read(c, chunkHead, 8)) return std::nullopt;
      const std::uint32_t n = le(chunkHead + 4, 4);
      if (c + 8 + n > listEnd) return std::nullopt;
      const QByteArray type(listHead + 8, 4), id(chunkHead, 4);
      if (type == "INFO" && id == "ifil") {
        char v[2];
        if (n < 4 || !read(c + 8, v, 2) || le(v, 2) != 2) return std::nullopt;  // 3: compressed samples
        version = true;
      } else if (type == "sdta" && id == "smpl") {
        font.samplesAt = c + 8;
        font.samplePoints = n / 2;
        samples = true;
      } else if (type == "sdta" && id == "sm24") {
        return std::nullopt;
      } else if (type == "pdta") {
        const auto k = std::find(kNames.begin(), kNames.end(), id) - kNames.begin();
        if (k < 9) {
          if (n % std::uint32_t(kSizes[size_t(k)]) != 0 || n > kLargestTable) return std::nullopt;
          font.tables[size_t(k)].resize(qsizetype(n));
          if (!read(c + 8, font.tables[size_t(k)].data(), n)) return std::nullopt;
        }
      }
      c += 8 + n + (n & 1);
    }
    at = listEnd + (size & 1);
  }
  if (!version || !samples || !tablesHold(font)) return std::nullopt;
  return font;
}

QByteArray cutSoundFont(const SoundFontLayout& font, const std::vector<Voicing>& played, const ReadAt& read) {
  const Tables t{font.tables};
  const int presets = t.count(kPhdr) - 1, instruments = t.count(kInst) - 1, sampleCount = t.count(kShdr) - 1;

  // The keys each preset sounds, found as FluidSynth finds a preset for a program change.
  std::vector<Keys> presetKeys(static_cast<size_t>(presets));
  std::vector<bool> keptPreset(static_cast<size_t>(presets));
  const auto find = [&](int bank, int program) {
    std::vector<int> found;
    for (int p = 0; p < presets; ++p)
      if (int(t.u(kPhdr, p, 22)) == bank && int(t.u(kPhdr, p, 20)) == program) found.push_back(p);
    return found;
  };
  for (const Voicing& v : played) {
    std::vector<int> found = find(v.bank, v.program);
    if (found.empty() && v.bank == kDrumBank) found = find(kDrumBank, 0);
    if (found.empty() && v.bank != kDrumBank) found = find(0, v.program);
    if (found.empty() && v.bank != kDrumBank && v.program != 0) found = find(0, 0);
    for (int p : found) {
      keptPreset[size_t(p)] = true;
      presetKeys[size_t(p)] |= v.keys;
    }
  }

  Level presetLevel{kPhdr, kPbag, kPgen, kPmod, 24, kInstrument, {}, {}, {}, {}};
  Level instrumentLevel{kInst, kIbag, kIgen, kImod, 20, kSampleId, {}, {}, {}, {}};
  std::vector<Keys> instrumentKeys(static_cast<size_t>(instruments));
  std::vector<bool> keptInstrument(static_cast<size_t>(instruments)), keptSample(static_cast<size_t>(sampleCount));
  for (int p = 0; p < presets; ++p)
    if (keptPreset[size_t(p)])
      keptZones(t, presetLevel, p, presetKeys[size_t(p)], [&](std::uint32_t, int i, const Keys& keys, std::uint32_t) {
        if (i < 0) return;
        keptInstrument[size_t(i)] = true;
        instrumentKeys[size_t(i)] |= keys;
      });
  for (int i = 0; i < instruments; ++i)
    if (keptInstrument[size_t(i)])
      keptZones(t, instrumentLevel, i, instrumentKeys[size_t(i)], [&](std::uint32_t, int s, const Keys&, std::uint32_t) {
        if (s >= 0) keptSample[size_t(s)] = true;
      });

  // The samples, each with the points after its end that a loop may reach and the zero
  // points the format wants; positions moved with it. A loop point outside the sample
  // stays outside, so that FluidSynth mends it as it would in the whole font.
  std::vector<int> sampleNumber(static_cast<size_t>(sampleCount), -1);
  QByteArray headers;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> copies;  // (first point, points) of the file
  std::uint64_t points = kPad;
  for (int s = 0; s < sampleCount; ++s) {
    if (!keptSample[size_t(s)]) continue;
    sampleNumber[size_t(s)] = int(headers.size() / kSizes[kShdr]);
    const std::uint32_t start = t.u(kShdr, s, 20, 4), end = t.u(kShdr, s, 24, 4);
    std::uint32_t last = end;
    for (int at : {28, 32})
      if (const std::uint32_t p = t.u(kShdr, s, at, 4); p >= start && p <= font.samplePoints) last = std::max(last, p);
    last = std::min(last + kPad, font.samplePoints);
    const auto from = std::uint32_t(points);
    copies.emplace_back(start, last - start);
    points += last - start + kPad;
    QByteArray header(t.at(kShdr, s), kSizes[kShdr]);
    header.truncate(20);
    put(header, from, 4);
    put(header, from + end - start, 4);
    for (int at : {28, 32}) {
      const std::uint32_t p = t.u(kShdr, s, at, 4);
      put(header, p < start ? 0 : p > font.samplePoints ? 0xFFFFFFFF : from + p - start, 4);
    }
    header += QByteArray(t.at(kShdr, s) + 36, 10);
    headers += header;
  }
  // Stereo partners: renumbered when both are kept; FluidSynth plays each zone's own sample.
  for (int s = 0, n = 0; s < sampleCount; ++s) {
    if (sampleNumber[size_t(s)] < 0) continue;
    const std::uint32_t link = t.u(kShdr, s, 42);
    const int partner = link < std::uint32_t(sampleCount) ? sampleNumber[link] : -1;
    set16(headers, qsizetype(n++) * kSizes[kShdr] + 42, std::uint32_t(std::max(partner, 0)));
  }
  headers += QByteArray("EOS").leftJustified(kSizes[kShdr], '\0');

  std::vector<int> instrumentNumber(static_cast<size_t>(instruments), -1);
  for (int i = 0, n = 0; i < instruments; ++i)
    if (keptInstrument[size_t(i)]) {
      instrumentNumber[size_t(i)] = n++;
      copyHeader(t, instrumentLevel, i, instrumentKeys[size_t(i)], sampleNumber);
    }
  closeLevel(instrumentLevel, "EOI");
  for (int p = 0; p < presets; ++p)
    if (keptPreset[size_t(p)]) copyHeader(t, presetLevel, p, presetKeys[size_t(p)], instrumentNumber);
  closeLevel(presetLevel, "EOP");

  QByteArray version;
  put(version, 2, 2);
  put(version, 1, 2);
  const QByteArray info = chunk("ifil", version) + chunk("isng", QByteArray("EMU8000", 8)) + chunk("INAM", QByteArray("cut", 4));
  const QByteArray head = QByteArray("sfbk") + list("INFO", info);
  const QByteArray tables =
      list("pdta", chunk("phdr", presetLevel.heads) + chunk("pbag", presetLevel.bags) + chunk("pmod", presetLevel.mods) +
                       chunk("pgen", presetLevel.gens) + chunk("inst", instrumentLevel.heads) +
                       chunk("ibag", instrumentLevel.bags) + chunk("imod", instrumentLevel.mods) +
                       chunk("igen", instrumentLevel.gens) + chunk("shdr", headers));
  // The sample data is by far the largest part: read into place, never copied. Samples
  // sharing their points could make it larger than the whole font's: that one loads whole.
  if (points > font.samplePoints + kPad * (copies.size() + 1)) return {};
  const std::uint64_t dataBytes = 2 * points;
  QByteArray out;
  out.reserve(qsizetype(8 + head.size() + 20 + dataBytes + tables.size()));
  put(out, "RIFF", std::uint32_t(head.size() + 20 + dataBytes + tables.size()), 4);
  out += head;
  put(out, "LIST", std::uint32_t(12 + dataBytes), 4);
  out += "sdta";
  put(out, "smpl", std::uint32_t(dataBytes), 4);
  out += QByteArray(2 * kPad, '\0');
  for (const auto& [first, count] : copies) {
    const qsizetype at = out.size();
    out.resize(at + qsizetype(count) * 2);
    if (!read(font.samplesAt + 2 * std::uint64_t(first), out.data() + at, size_t(count) * 2)) return {};
    out += QByteArray(2 * kPad, '\0');
  }
  out += tables;
  return out;
}

}  // namespace sound::winmm
