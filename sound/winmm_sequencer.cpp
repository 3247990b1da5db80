// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI sequencer behind the MCI alias.
//
// Music does not go through SDL_mixer's own MIDI decoder: that decoder builds a new
// FluidSynth synthesiser and reads the whole SoundFont again on every Mix_LoadMUS
// (about half a second for FluidR3_GM, still 50 ms with the sample data cached), so a
// PLAY would hold the event thread far too long. Instead one synthesiser, loaded once
// per process on a background thread, renders into SDL_mixer's music hook; opening a
// sequence only reads the MIDI file.
//
// Each tune gets the SoundFont cut down to what it plays (soundfont_cut.h): before the
// tune starts, the preloader thread cuts the font, puts it in place of the tune before's
// and loads all its samples at once, so the audio thread never reads a sample and the
// process holds only this tune's instruments (FluidR3 whole: about 12 MB of tables, and
// the piano and drum kit that a reset selects on every channel, 16 MB, on top).
//
// A font that cannot be cut loads whole, its samples per instrument when first needed.
// Loading them when a tune selects an instrument would happen on the audio thread,
// inside the buffer being mixed (tens of milliseconds for a FluidR3 instrument: an
// audible gap). So then the preloader pins every instrument a tune may select before the
// tune starts, and unpins those of the tune before; the tune starts a few tens of
// milliseconds later instead.
#include <SDL.h>
#include <fluidsynth.h>
#include <malloc.h>

#include <QByteArray>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "sound/midi_file.h"
#include "sound/soundfont_cut.h"
#include "sound/synth_settings.h"
#include "sound/winmm_internal.h"

namespace sound::winmm::detail {
namespace {

using namespace mci;
using platform::isOrdinaryFile;

enum MidiState : int { kMidiUnknown, kMidiLoading, kMidiReady, kMidiFailed };

// What the event thread wants the music to be; the audio thread follows it at the start
// of its next buffer, so the event thread never waits for rendering.
using Presets = std::vector<std::pair<int, int>>;  // (bank, program)

struct MusicRequest {
  std::uint64_t generation = 0;
  std::shared_ptr<Tune> tune;  // nullptr: silence
  std::shared_ptr<std::atomic<bool>> ready;  // the tune's instruments are loaded
};

struct PreloadJob {
  std::uint64_t generation = 0;
  std::shared_ptr<Tune> tune;
  std::shared_ptr<std::atomic<bool>> ready;
};

// Shared between the event thread, the audio thread, the SoundFont loader and the preloader.
struct Shared {
  std::mutex mutex;
  // The SoundFont is loaded, a preload job waits, the audio thread has stopped a tune, or
  // a tune's instruments are in.
  std::condition_variable midiChanged;
  MusicRequest request;                 // guarded by mutex
  std::optional<PreloadJob> preload;    // guarded by mutex
  bool quit = false;                    // guarded by mutex: the preloader ends
  fluid_synth_t* synth = nullptr;       // guarded by mutex; set once by the loader
  fluid_settings_t* settings = nullptr;
  std::string fontPath;
  std::optional<SoundFontLayout> layout;  // set by the loader when the font can be cut
  int fontId = -1;  // the whole font, or the cut of the tune last prepared
  std::atomic<int> midi{kMidiUnknown};
  std::atomic<int> fontLoads{0};
  std::atomic<bool> midiMessageShown{false};
  // Held by whoever calls into the synthesiser outside the audio thread's own lock-free
  // path: the audio thread only tries it, and mixes silence for a buffer rather than wait.
  std::mutex synthUse;
  std::atomic<std::uint64_t> stoppedGeneration{0};  // the newest request the audio thread has acted on; set under mutex

  // Measures for the tests and the benchmark.
  std::atomic<std::thread::id> audioThread;
  std::atomic<int> audioThreadFileOpens{0};
  std::atomic<std::int64_t> longestCallbackNs{0};

  // Preloader only.
  Presets pinned;
  std::vector<int> staleFonts;  // cuts whose tune may still sound

  // Audio thread only.
  std::uint64_t renderedGeneration = 0;
  fluid_player_t* player = nullptr;
  std::shared_ptr<Tune> playerTune;
  Tail tail{kRate};
};

// Event thread only.
struct Control {
  std::uint64_t generation = 0;
  std::thread loader;
  std::thread preloader;
};

// Never destroyed: the audio thread and the loader may outlive static destruction,
// and the program ends with _Exit anyway.
Shared& shared() {
  static Shared* s = new Shared;
  return *s;
}
Control& control() {
  static Control* c = new Control;
  return *c;
}

// ---- audio thread --------------------------------------------------------------

void stopPlayer(Shared& s, fluid_synth_t* synth) {
  if (s.player != nullptr) {
    delete_fluid_player(s.player);
    s.player = nullptr;
  }
  s.playerTune.reset();
  s.tail.stopped();
  // Ends every voice at once, so that nothing holds the tune's font when the next tune's
  // takes its place, and clears reverb and chorus for the next tune.
  fluid_synth_all_sounds_off(synth, -1);
  fluid_synth_system_reset(synth);
}

void startPlayer(Shared& s, fluid_synth_t* synth, const MusicRequest& request) {
  s.player = new_fluid_player(synth);
  const QByteArray& smf = request.tune->smf;
  if (s.player == nullptr || fluid_player_add_mem(s.player, smf.constData(), size_t(smf.size())) != FLUID_OK ||
      fluid_player_play(s.player) != FLUID_OK) {
    if (s.player != nullptr) delete_fluid_player(s.player);
    s.player = nullptr;
    request.tune->phase = Tune::kEnded;
    return;
  }
  s.playerTune = request.tune;
}

}  // namespace

namespace {

void render(Shared& s, Uint8* stream, int len) {
  MusicRequest request;
  fluid_synth_t* synth;
  {
    std::lock_guard lock(s.mutex);
    request = s.request;
    synth = s.synth;
  }
  if (synth == nullptr) return;  // the stream is already silence
  std::unique_lock use(s.synthUse, std::try_to_lock);
  if (!use.owns_lock()) return;  // instruments are loading for a tune not yet started
  if (request.generation != s.renderedGeneration) {
    if (s.stoppedGeneration != request.generation) {
      stopPlayer(s, synth);
      {
        std::lock_guard lock(s.mutex);
        s.stoppedGeneration = request.generation;
      }
      s.midiChanged.notify_all();  // the preloader may unpin the old tune's instruments
    }
    if (request.tune && !request.ready->load()) return;  // silence until its instruments are in
    s.renderedGeneration = request.generation;
    if (request.tune) startPlayer(s, synth, request);
  }
  if (!s.tail.sounds(s.player != nullptr)) return;

  const int frames = len / int(kChannels * sizeof(std::int16_t));
  fluid_synth_write_s16(synth, frames, stream, 0, kChannels, stream, 1, kChannels);
  const bool playing = s.player != nullptr;
  const bool ended = playing && fluid_player_get_status(s.player) == FLUID_PLAYER_DONE;
  if (ended) {
    // Played to its end: the device stays open and silent until closed.
    delete_fluid_player(s.player);
    s.player = nullptr;
    s.playerTune->phase = Tune::kEnded;
    s.playerTune.reset();
  }
  s.tail.rendered(frames, playing, ended);
}

}  // namespace

void SDLCALL renderMusic(void*, Uint8* stream, int len) {
  Shared& s = shared();
  s.audioThread = std::this_thread::get_id();
  const auto start = std::chrono::steady_clock::now();
  render(s, stream, len);
  const std::int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  if (ns > s.longestCallbackNs) s.longestCallbackNs = ns;
}

namespace {

// ---- SoundFont -----------------------------------------------------------------

void noteNoMidi(const std::string& why) {
  if (!shared().midiMessageShown.exchange(true)) std::fprintf(stderr, "kivo: no music: %s\n", why.c_str());
}

// SoundFont files are read through these, so that a read on the audio thread, which
// should never happen, can be counted.
void* openFont(const char* filename) {
  Shared& s = shared();
  if (std::this_thread::get_id() == s.audioThread.load()) ++s.audioThreadFileOpens;
  return std::fopen(filename, "rb");
}
int readFont(void* buf, fluid_long_long_t count, void* handle) {
  if (count <= 0) return FLUID_OK;
  return std::fread(buf, size_t(count), 1, static_cast<std::FILE*>(handle)) == 1 ? FLUID_OK : FLUID_FAILED;
}
int seekFont(void* handle, fluid_long_long_t offset, int origin) {
  return fseeko(static_cast<std::FILE*>(handle), off_t(offset), origin) == 0 ? FLUID_OK : FLUID_FAILED;
}
fluid_long_long_t tellFont(void* handle) { return ftello(static_cast<std::FILE*>(handle)); }
int closeFont(void* handle) { return std::fclose(static_cast<std::FILE*>(handle)) == 0 ? FLUID_OK : FLUID_FAILED; }

// A SoundFont file read at offsets, for cutting.
class FontFile {
 public:
  explicit FontFile(const std::string& path) : file_(static_cast<std::FILE*>(openFont(path.c_str()))) {}
  ~FontFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  FontFile(const FontFile&) = delete;
  FontFile& operator=(const FontFile&) = delete;
  std::optional<SoundFontLayout> layout() {
    if (file_ == nullptr || fseeko(file_, 0, SEEK_END) != 0) return std::nullopt;
    return readSoundFontLayout(reader(), std::uint64_t(ftello(file_)));
  }
  QByteArray cut(const SoundFontLayout& layout, const std::vector<Voicing>& played) {
    return file_ != nullptr ? cutSoundFont(layout, played, reader()) : QByteArray();
  }

 private:
  ReadAt reader() {
    return [this](std::uint64_t at, char* to, std::size_t size) {
      return fseeko(file_, off_t(at), SEEK_SET) == 0 && std::fread(to, 1, size, file_) == size;
    };
  }
  std::FILE* file_;
};

// Hands the memory freed by a font back to the system: the loader's allocations sit in
// the preloader thread's own malloc arena, which glibc trims only when asked.
void trimMemory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

// Runs on its own thread: reading FluidR3_GM's tables takes tens of milliseconds, loading
// it whole about half a second.
void loadSynth(std::vector<std::string> paths) {
  Shared& s = shared();
  fluid_settings_t* settings = new_fluid_settings();
  fluid_synth_t* synth = nullptr;
  if (settings != nullptr) {
    applySynthSettings(settings, kRate);
    synth = new_fluid_synth(settings);
  }
  if (synth != nullptr) {
    fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
    if (loader != nullptr) {
      fluid_sfloader_set_callbacks(loader, openFont, readFont, seekFont, tellFont, closeFont);
      fluid_synth_add_sfloader(synth, loader);  // tried before the built-in one
    }
  }
  if (synth != nullptr) addMemoryFontLoader(synth);
  bool ok = false;
  int fontId = -1;
  std::optional<SoundFontLayout> layout;
  std::string fontPath;
  for (const std::string& path : paths) {
    if (synth == nullptr) break;
    // A font that can be cut is cut for each tune; one that cannot loads whole.
    layout = FontFile(path).layout();
    if (!layout) fontId = fluid_synth_sfload(synth, path.c_str(), 1);
    ok = layout || fontId != FLUID_FAILED;
    fontPath = path;
    if (ok) break;
  }
  if (ok) {
    ++s.fontLoads;
  } else {
    if (synth != nullptr) delete_fluid_synth(synth);
    if (settings != nullptr) delete_fluid_settings(settings);
    noteNoMidi("the SoundFont " + paths.front() + " cannot be loaded");
  }
  {
    std::lock_guard lock(s.mutex);
    if (ok) {
      s.synth = synth;
      s.settings = settings;
      s.fontId = fontId;
      s.fontPath = fontPath;
      s.layout = std::move(layout);
    }
    s.midi = ok ? kMidiReady : kMidiFailed;
  }
  s.midiChanged.notify_all();
}

// Starts loading the SoundFont the first time MIDI is wanted; the state says how far it got.
int midiState() {
  Shared& s = shared();
  Control& c = control();
  if (s.midi != kMidiUnknown) return s.midi;
  std::vector<std::string> found = soundFontCandidates();
  std::erase_if(found, [](const std::string& path) { return !isOrdinaryFile(path); });
  if (found.empty()) {
    s.midi = kMidiFailed;
    if (const std::optional<std::string>& given = givenSoundFont()) {
      noteNoMidi("no SoundFont at " + *given);
    } else {
      noteNoMidi(std::getenv("SDL_SOUNDFONTS") != nullptr && *std::getenv("SDL_SOUNDFONTS") != '\0'
                     ? "no SoundFont found at SDL_SOUNDFONTS"
                     : "no General MIDI SoundFont found (install fluid-soundfont-gm or set SDL_SOUNDFONTS)");
    }
    return s.midi;
  }
  // FluidSynth's own messages would repeat ours, or matter only to its developers.
  for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);
  s.midi = kMidiLoading;
  c.loader = std::thread(loadSynth, std::move(found));
  return s.midi;
}

bool contains(const Presets& set, const std::pair<int, int>& preset) {
  return std::binary_search(set.begin(), set.end(), preset);
}

// Waits (briefly) for the audio thread to stop the tune before the job's; true when it has.
bool waitForStop(Shared& s, const PreloadJob& job) {
  std::unique_lock lock(s.mutex);
  return s.midiChanged.wait_for(lock, std::chrono::milliseconds(500), [&] { return s.stoppedGeneration >= job.generation; });
}

// Cuts the font down to the job's tune and, once the audio thread has let go of the tune
// before, puts the cut in place of that tune's. False when the cut does not load: the
// font is then loaded whole, for good.
bool prepareCut(Shared& s, fluid_synth_t* synth, const PreloadJob& job) {
  QByteArray cut = FontFile(s.fontPath).cut(*s.layout, job.tune->played);
  const bool stopped = waitForStop(s, job);
  std::lock_guard use(s.synthUse);
  // The old cut goes first, so that the new one selects its presets on every channel
  // alone, as the whole font would.
  if (s.fontId != -1) s.staleFonts.push_back(s.fontId);
  if (stopped) {
    for (int id : s.staleFonts) fluid_synth_sfunload(synth, id, 0);
    s.staleFonts.clear();
  }
  s.fontId = cut.isEmpty() ? FLUID_FAILED : loadMemoryFont(synth, cut);
  cut = QByteArray();
  const bool ok = s.fontId != FLUID_FAILED;
  if (!ok) {
    s.layout.reset();
    s.fontId = fluid_synth_sfload(synth, s.fontPath.c_str(), 1);
  }
  trimMemory();
  return ok;
}

// Pins what the job's tune needs, then, once the audio thread has let go of the tune
// before, unpins what only that one needed; then the tune may start. Holds synthUse
// while it calls the synthesiser.
void runPreload(Shared& s, fluid_synth_t* synth, const PreloadJob& job) {
  if (s.layout && prepareCut(s, synth, job)) return;
  if (s.fontId == FLUID_FAILED) return;
  const Presets& wanted = job.tune->presets;
  {
    std::lock_guard use(s.synthUse);
    for (const auto& [bank, program] : wanted)
      if (!contains(s.pinned, {bank, program})) fluid_synth_pin_preset(synth, s.fontId, bank, program);
  }
  // Unpinning an instrument the old tune still has selected would leave its unloading to
  // the audio thread; wait (briefly) for that thread to stop the old tune first. All of
  // this happens before the new tune starts, so the audio thread never finds synthUse
  // taken while a tune sounds.
  waitForStop(s, job);
  Presets kept;
  {
    std::lock_guard use(s.synthUse);
    for (const auto& preset : s.pinned) {
      if (contains(wanted, preset)) continue;
      if (s.stoppedGeneration >= job.generation) {
        fluid_synth_unpin_preset(synth, s.fontId, preset.first, preset.second);
      } else {
        kept.push_back(preset);
      }
    }
  }
  kept.insert(kept.end(), wanted.begin(), wanted.end());
  std::sort(kept.begin(), kept.end());
  kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
  s.pinned = std::move(kept);
}

void preloader() {
  Shared& s = shared();
  std::unique_lock lock(s.mutex);
  while (true) {
    s.midiChanged.wait(lock, [&] { return s.quit || (s.preload && s.midi != kMidiLoading); });
    if (s.quit) return;
    const PreloadJob job = std::move(*s.preload);
    s.preload.reset();
    fluid_synth_t* synth = s.synth;
    lock.unlock();
    if (synth != nullptr) runPreload(s, synth, job);
    lock.lock();
    job.ready->store(true);
    s.midiChanged.notify_all();
  }
}

void request(std::shared_ptr<Tune> tune) {
  Shared& s = shared();
  Control& c = control();
  if (tune != nullptr && !c.preloader.joinable()) c.preloader = std::thread(preloader);
  const bool wake = tune != nullptr;
  {
    std::lock_guard lock(s.mutex);
    MusicRequest next{++c.generation, std::move(tune), nullptr};
    if (next.tune != nullptr) {
      next.ready = std::make_shared<std::atomic<bool>>(false);
      s.preload = PreloadJob{next.generation, next.tune, next.ready};
    }
    s.request = std::move(next);
  }
  if (wake) s.midiChanged.notify_all();
}

// The device's synthesiser as the model's music output.
class LiveMusic : public MusicOutput {
 public:
  MCIERROR available() override {
    if (!ensureAudio()) return kHardware;
    if (midiState() == kMidiFailed) return kNoMidiDevice;
    return kOk;
  }
  void play(std::shared_ptr<Tune> tune) override { request(std::move(tune)); }
};

}  // namespace

MusicOutput& liveMusic() {
  static auto* music = new LiveMusic;
  return *music;
}

}  // namespace sound::winmm::detail

namespace sound::winmm::detail {

void waitForInstruments() {
  Shared& s = shared();
  std::shared_ptr<std::atomic<bool>> ready;
  {
    std::lock_guard lock(s.mutex);
    ready = s.request.ready;
  }
  if (!ready) return;
  std::unique_lock lock(s.mutex);
  s.midiChanged.wait_for(lock, std::chrono::seconds(10), [&] { return ready->load(); });
}

int audioThreadFileOpens() { return shared().audioThreadFileOpens; }

double longestMusicCallbackMs() { return double(shared().longestCallbackNs) / 1e6; }

bool waitForMidi(int timeoutMs) {
  if (!ensureAudio()) return false;
  midiState();
  Shared& s = shared();
  std::unique_lock lock(s.mutex);
  s.midiChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return s.midi != kMidiLoading; });
  return s.midi == kMidiReady;
}

int soundFontLoads() { return shared().fontLoads; }

void resetSequencer() {
  Control& c = control();
  Shared& s = shared();
  if (c.loader.joinable()) c.loader.join();
  {
    std::lock_guard lock(s.mutex);
    s.quit = true;
  }
  s.midiChanged.notify_all();
  if (c.preloader.joinable()) c.preloader.join();
  s.quit = false;
  s.preload.reset();
  s.pinned.clear();
  s.staleFonts.clear();
  s.layout.reset();
  s.fontPath.clear();
  s.fontId = -1;
  s.stoppedGeneration = 0;
  s.audioThreadFileOpens = 0;
  s.longestCallbackNs = 0;
  if (s.player != nullptr) delete_fluid_player(s.player);
  if (s.synth != nullptr) delete_fluid_synth(s.synth);
  if (s.settings != nullptr) delete_fluid_settings(s.settings);
  s.player = nullptr;
  s.synth = nullptr;
  s.settings = nullptr;
  s.playerTune.reset();
  s.request = MusicRequest{};
  s.renderedGeneration = 0;
  s.tail.stopped();
  s.midi = kMidiUnknown;
  s.midiMessageShown = false;
  s.fontLoads = 0;
  c = Control{};
}

}  // namespace sound::winmm::detail
