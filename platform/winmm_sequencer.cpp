// The MIDI sequencer behind the MCI alias.
//
// Music does not go through SDL_mixer's own MIDI decoder: that decoder builds a new
// FluidSynth synthesiser and reads the whole SoundFont again on every Mix_LoadMUS
// (about half a second for FluidR3_GM, still 50 ms with the sample data cached), so a
// PLAY would hold the event thread far too long. Instead one synthesiser, loaded once
// per process on a background thread, renders into SDL_mixer's music hook; opening a
// sequence only reads the MIDI file.
#include <SDL.h>
#include <fluidsynth.h>

#include <QByteArray>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/midi_file.h"
#include "platform/winmm_internal.h"

namespace platform::winmm::detail {
namespace {

using namespace mci;

// After a sequence ends the synthesiser still rings (release, reverb) for a moment.
constexpr int kTailFrames = 2 * kRate;

enum Phase : int { kOpened, kPlaying, kEnded };
enum MidiState : int { kMidiUnknown, kMidiLoading, kMidiReady, kMidiFailed };

// What the event thread wants the music to be; the audio thread follows it at the start
// of its next buffer, so the event thread never waits for rendering.
struct MusicRequest {
  std::uint64_t generation = 0;
  std::shared_ptr<const QByteArray> midi;  // nullptr: silence
  std::shared_ptr<std::atomic<int>> phase;
};

// Shared between the event thread, the audio thread and the SoundFont loader.
struct Shared {
  std::mutex mutex;
  std::condition_variable midiChanged;
  MusicRequest request;            // guarded by mutex
  fluid_synth_t* synth = nullptr;  // guarded by mutex; set once by the loader
  fluid_settings_t* settings = nullptr;
  std::atomic<int> midi{kMidiUnknown};
  std::atomic<int> fontLoads{0};
  std::atomic<bool> midiMessageShown{false};

  // Audio thread only.
  std::uint64_t renderedGeneration = 0;
  fluid_player_t* player = nullptr;
  std::shared_ptr<std::atomic<int>> playerPhase;
  int tailFrames = 0;
};

// One device opened with "open"; the alias is its name for later commands.
struct Sequence {
  QString alias;
  std::shared_ptr<const QByteArray> midi;
  std::shared_ptr<std::atomic<int>> phase;
};

// Event thread only.
struct Control {
  std::vector<Sequence> sequences;
  std::uint64_t generation = 0;
  std::thread loader;
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
  s.playerPhase.reset();
  s.tailFrames = 0;
  // Kills every voice and clears reverb and chorus, so silence is immediate.
  fluid_synth_system_reset(synth);
}

void startPlayer(Shared& s, fluid_synth_t* synth, const MusicRequest& request) {
  s.player = new_fluid_player(synth);
  if (s.player == nullptr || fluid_player_add_mem(s.player, request.midi->constData(), size_t(request.midi->size())) != FLUID_OK ||
      fluid_player_play(s.player) != FLUID_OK) {
    if (s.player != nullptr) delete_fluid_player(s.player);
    s.player = nullptr;
    request.phase->store(kEnded);
    return;
  }
  s.playerPhase = request.phase;
}

}  // namespace

void SDLCALL renderMusic(void*, Uint8* stream, int len) {
  Shared& s = shared();
  MusicRequest request;
  fluid_synth_t* synth;
  {
    std::lock_guard lock(s.mutex);
    request = s.request;
    synth = s.synth;
  }
  if (synth == nullptr) return;  // the stream is already silence
  if (request.generation != s.renderedGeneration) {
    s.renderedGeneration = request.generation;
    stopPlayer(s, synth);
    if (request.midi) startPlayer(s, synth, request);
  }
  if (s.player == nullptr && s.tailFrames <= 0) return;

  const int frames = len / int(kChannels * sizeof(std::int16_t));
  fluid_synth_write_s16(synth, frames, stream, 0, kChannels, stream, 1, kChannels);
  if (s.player != nullptr && fluid_player_get_status(s.player) == FLUID_PLAYER_DONE) {
    // Played to its end: the device stays open and silent until closed.
    delete_fluid_player(s.player);
    s.player = nullptr;
    s.playerPhase->store(kEnded);
    s.playerPhase.reset();
    s.tailFrames = kTailFrames;
  } else if (s.player == nullptr) {
    s.tailFrames -= frames;
  }
}

namespace {

// ---- SoundFont -----------------------------------------------------------------

void noteNoMidi(const std::string& why) {
  if (!shared().midiMessageShown.exchange(true)) std::fprintf(stderr, "kivo: no music: %s\n", why.c_str());
}

std::vector<std::string> soundFontCandidates() {
  std::vector<std::string> out;
  const char* env = std::getenv("SDL_SOUNDFONTS");
  if (env != nullptr && *env != '\0') {
    // The same list SDL_mixer reads: paths separated by ':' or ';'.
    std::string list = env;
    size_t start = 0;
    while (start <= list.size()) {
      const size_t end = list.find_first_of(":;", start);
      const std::string part = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!part.empty()) out.push_back(part);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return out;
  }
  return {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
          "/usr/share/sounds/sf2/default-GM.sf2"};
}

// Runs on its own thread: FluidR3_GM takes about half a second to load.
void loadSynth(std::vector<std::string> paths) {
  Shared& s = shared();
  fluid_settings_t* settings = new_fluid_settings();
  fluid_synth_t* synth = nullptr;
  if (settings != nullptr) {
    fluid_settings_setnum(settings, "synth.sample-rate", kRate);
    fluid_settings_setnum(settings, "synth.gain", 0.6);
    fluid_settings_setint(settings, "synth.lock-memory", 0);
    // Only the instruments a tune uses are held in memory: about 120 MB less with FluidR3.
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    synth = new_fluid_synth(settings);
  }
  bool ok = false;
  for (const std::string& path : paths) {
    ok = synth != nullptr && fluid_synth_sfload(synth, path.c_str(), 1) != FLUID_FAILED;
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
    noteNoMidi(std::getenv("SDL_SOUNDFONTS") != nullptr && *std::getenv("SDL_SOUNDFONTS") != '\0'
                   ? "no SoundFont found at SDL_SOUNDFONTS"
                   : "no General MIDI SoundFont found (install fluid-soundfont-gm or set SDL_SOUNDFONTS)");
    return s.midi;
  }
  // FluidSynth's own messages would repeat ours, or matter only to its developers.
  for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);
  s.midi = kMidiLoading;
  c.loader = std::thread(loadSynth, std::move(found));
  return s.midi;
}

void request(std::shared_ptr<const QByteArray> midi, std::shared_ptr<std::atomic<int>> phase) {
  Shared& s = shared();
  Control& c = control();
  std::lock_guard lock(s.mutex);
  s.request = MusicRequest{++c.generation, std::move(midi), std::move(phase)};
}

// ---- commands ------------------------------------------------------------------

std::vector<Sequence>::iterator findSequence(const QString& alias) {
  auto& list = control().sequences;
  return std::find_if(list.begin(), list.end(),
                      [&](const Sequence& q) { return q.alias.compare(alias, Qt::CaseInsensitive) == 0; });
}

MCIERROR openCommand(const Command& command) {
  if (findSequence(command.alias) != control().sequences.end()) return kDuplicateAlias;
  const std::optional<std::string> path = resolvePath(command.device);
  if (!path || !isOrdinaryFile(*path)) return kFileNotFound;
  std::optional<QByteArray> data = readFileBytes(*path);
  if (!data) return kFileNotFound;
  MidiParse midi = parseMidi(*data);
  if (!midi.problem.isEmpty()) return kInvalidFile;
  if (!ensureAudio()) return kHardware;
  if (midiState() == kMidiFailed) return kNoMidiDevice;

  control().sequences.push_back(Sequence{command.alias, std::make_shared<const QByteArray>(std::move(midi.smf)),
                                         std::make_shared<std::atomic<int>>(kOpened)});
  return kOk;
}

MCIERROR playCommand(const Command& command) {
  const auto it = findSequence(command.device);
  if (it == control().sequences.end()) return kInvalidDeviceName;
  // Playing on, or ended at its last note: a further play changes nothing.
  if (it->phase->load() != kOpened) return kOk;
  for (Sequence& other : control().sequences) {
    if (other.phase->load() == kPlaying) other.phase->store(kOpened);  // one synthesiser: the newest wins
  }
  it->phase->store(kPlaying);
  request(it->midi, it->phase);
  return kOk;
}

void closeSequence(std::vector<Sequence>::iterator it) {
  if (it->phase->load() == kPlaying) request(nullptr, nullptr);
  it->phase->store(kEnded);
  control().sequences.erase(it);
}

MCIERROR closeCommand(const Command& command) {
  auto& list = control().sequences;
  if (command.closeAll) {
    while (!list.empty()) closeSequence(list.begin());
    return kOk;
  }
  const auto it = findSequence(command.device);
  if (it == list.end()) return kInvalidDeviceName;
  closeSequence(it);
  return kOk;
}

}  // namespace

MCIERROR runCommand(const Command& command) {
  switch (command.verb) {
    case Verb::Open:
      return openCommand(command);
    case Verb::Play:
      return playCommand(command);
    case Verb::Close:
      return closeCommand(command);
  }
  return kUnrecognizedCommand;
}

QString musicProblem(const QString& name) {
  const std::optional<std::string> path = resolvePath(name);
  if (!path || !isOrdinaryFile(*path)) return QStringLiteral("file not found");
  const std::optional<QByteArray> data = readFileBytes(*path);
  if (!data) return QStringLiteral("the file cannot be read");
  return parseMidi(*data).problem;
}

void prepareSequencer() { midiState(); }

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
  if (s.player != nullptr) delete_fluid_player(s.player);
  if (s.synth != nullptr) delete_fluid_synth(s.synth);
  if (s.settings != nullptr) delete_fluid_settings(s.settings);
  s.player = nullptr;
  s.synth = nullptr;
  s.settings = nullptr;
  s.playerPhase.reset();
  s.request = MusicRequest{};
  s.renderedGeneration = 0;
  s.tailFrames = 0;
  s.midi = kMidiUnknown;
  s.midiMessageShown = false;
  s.fontLoads = 0;
  c = Control{};
}

}  // namespace platform::winmm::detail
