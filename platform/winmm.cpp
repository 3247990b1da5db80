#include "platform/winmm.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <fluidsynth.h>

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/trace.h"

// Music does not go through SDL_mixer's own MIDI decoder: that decoder builds a new
// FluidSynth synthesiser and reads the whole SoundFont again on every Mix_LoadMUS
// (about half a second for FluidR3_GM, still 50 ms with the sample data cached), so a
// PLAY would hold the event thread far too long. Instead one synthesiser, loaded once
// per process on a background thread, renders into SDL_mixer's music hook; opening a
// sequence only reads the MIDI file. Clips play on mixer channel 0 beside it.

namespace platform::winmm {
namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
// 46 ms: room for the synthesiser to load an instrument's samples when a tune selects it.
constexpr int kBufferFrames = 2048;
constexpr int kClipChannel = 0;
// After a sequence ends the synthesiser still rings (release, reverb) for a moment.
constexpr int kTailFrames = 2 * kRate;

// MCI result codes.
constexpr MCIERROR kOk = 0;
constexpr MCIERROR kUnrecognizedKeyword = 259;
constexpr MCIERROR kUnrecognizedCommand = 261;
constexpr MCIERROR kHardware = 262;
constexpr MCIERROR kInvalidDeviceName = 263;
constexpr MCIERROR kMissingCommandString = 267;
constexpr MCIERROR kMissingStringArgument = 269;
constexpr MCIERROR kFileNotFound = 275;
constexpr MCIERROR kDuplicateAlias = 289;
constexpr MCIERROR kMissingDeviceName = 292;
constexpr MCIERROR kNoClosingQuote = 294;
constexpr MCIERROR kDuplicateFlags = 295;
constexpr MCIERROR kInvalidFile = 296;
constexpr MCIERROR kExtraCharacters = 305;
constexpr MCIERROR kNoMidiDevice = 343;

struct ErrorText {
  MCIERROR code;
  const char* text;
};

// 263, 275 and 289 are the codes the program meets; their texts are Windows' own
// wording, word for word. The texts of the other codes are ours.
constexpr ErrorText kErrorTexts[] = {
    {kOk, "The command was carried out."},
    {kUnrecognizedKeyword, "The command holds a word the device does not know."},
    {kUnrecognizedCommand, "The device does not know this command."},
    {kHardware, "There is a problem with your media device. Make sure it is working correctly or contact the device manufacturer."},
    {kInvalidDeviceName, "The " "specified device is not open or is not recognized by MCI."},
    {kMissingCommandString, "No command was given."},
    {kMissingStringArgument, "The command needs a text after its last keyword."},
    {kFileNotFound, "Cannot find the " "specified file. Make sure the path and filename are correct."},
    {kDuplicateAlias, "The " "specified alias is already being used in this application. Use a unique alias."},
    {kMissingDeviceName, "The command needs an alias, a file or a device name."},
    {kNoClosingQuote, "A closing double-quotation mark is missing."},
    {kDuplicateFlags, "A keyword was given twice. Give it once."},
    {kInvalidFile, "The file cannot be played on the sequencer. It may be damaged or not a MIDI file."},
    {kExtraCharacters, "Nothing may follow a quoted name but a space."},
    {kNoMidiDevice, "There are no MIDI devices installed on the system."},
};

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
  MusicRequest request;        // guarded by mutex
  fluid_synth_t* synth = nullptr;  // guarded by mutex; set once by the loader
  fluid_settings_t* settings = nullptr;
  std::atomic<int> midi{kMidiUnknown};
  std::atomic<std::int64_t> frames{0};
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
  bool audioTried = false;
  bool audioOk = false;
  std::vector<Sequence> sequences;
  std::uint64_t generation = 0;
  std::thread loader;
  Mix_Chunk* clip = nullptr;
  Mix_Chunk* chime = nullptr;
  std::vector<std::int16_t> chimeSamples;
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

void SDLCALL countFrames(void*, Uint8*, int len) {
  shared().frames += len / int(kChannels * sizeof(std::int16_t));
}

// ---- devices -------------------------------------------------------------------

bool ensureAudio() {
  Control& c = control();
  if (c.audioTried) return c.audioOk;
  c.audioTried = true;
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "kivo");
  // Hooked before the device starts, so that the frame count covers every buffer.
  shared().frames = 0;
  Mix_HookMusic(renderMusic, nullptr);
  Mix_SetPostMix(countFrames, nullptr);
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    std::fprintf(stderr, "kivo: no sound: %s\n", SDL_GetError());
    return false;
  }
  // A fixed format lets the synthesiser and the chime write the device format directly.
  if (Mix_OpenAudioDevice(kRate, AUDIO_S16SYS, kChannels, kBufferFrames, nullptr, 0) != 0) {
    std::fprintf(stderr, "kivo: no sound: %s\n", Mix_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  Mix_AllocateChannels(1);
  c.audioOk = true;
  return true;
}

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

// ---- MCI command strings -------------------------------------------------------

struct Token {
  QString text;
  bool quoted = false;
};

bool isBlank(QChar ch) { return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n'; }

// Only the device name (the second word) may be quoted, and a quote can appear nowhere
// else: a file name holding a quote can then never add words of its own to a command.
MCIERROR tokenize(const QString& command, std::vector<Token>& tokens) {
  const qsizetype n = command.size();
  qsizetype i = 0;
  while (true) {
    while (i < n && isBlank(command[i])) ++i;
    if (i >= n) return kOk;
    if (command[i] == u'"') {
      const qsizetype close = command.indexOf(u'"', i + 1);
      if (close < 0) return kNoClosingQuote;
      if (close + 1 < n && !isBlank(command[close + 1])) return kExtraCharacters;
      if (tokens.size() != 1) return kExtraCharacters;
      tokens.push_back({command.mid(i + 1, close - i - 1), true});
      i = close + 1;
    } else {
      qsizetype end = i;
      while (end < n && !isBlank(command[end])) {
        if (command[end] == u'"') return kExtraCharacters;
        ++end;
      }
      tokens.push_back({command.mid(i, end - i), false});
      i = end;
    }
  }
}

bool sameWord(const QString& a, const char* b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

std::vector<Sequence>::iterator findSequence(const QString& alias) {
  auto& list = control().sequences;
  return std::find_if(list.begin(), list.end(),
                      [&](const Sequence& q) { return q.alias.compare(alias, Qt::CaseInsensitive) == 0; });
}

bool looksLikeMidi(const QByteArray& data) {
  if (data.size() < 14 || !data.startsWith("MThd")) return false;
  const auto byte = [&](int i) { return static_cast<unsigned char>(data[i]); };
  const unsigned length = unsigned(byte(4)) << 24 | unsigned(byte(5)) << 16 | unsigned(byte(6)) << 8 | byte(7);
  const unsigned format = unsigned(byte(8)) << 8 | byte(9);
  const unsigned tracks = unsigned(byte(10)) << 8 | byte(11);
  const unsigned division = unsigned(byte(12)) << 8 | byte(13);
  return length >= 6 && format <= 2 && tracks >= 1 && division != 0 && data.indexOf("MTrk", 8 + qsizetype(length)) >= 0;
}

MCIERROR openCommand(const std::vector<Token>& tokens) {
  const QString& element = tokens[1].text;
  QString alias;
  bool haveType = false;
  bool haveAlias = false;
  for (size_t i = 2; i < tokens.size(); i += 2) {
    const QString& key = tokens[i].text;
    const bool isType = sameWord(key, "type");
    if (!isType && !sameWord(key, "alias")) return kUnrecognizedKeyword;
    if (i + 1 >= tokens.size()) return kMissingStringArgument;
    bool& seen = isType ? haveType : haveAlias;
    if (seen) return kDuplicateFlags;
    seen = true;
    // The sequencer is the only device here; without a type it is assumed.
    if (isType && !sameWord(tokens[i + 1].text, "sequencer")) return kInvalidDeviceName;
    if (!isType) alias = tokens[i + 1].text;
  }
  if (!haveAlias) alias = element;
  if (findSequence(alias) != control().sequences.end()) return kDuplicateAlias;

  const std::optional<std::string> path = resolvePath(element);
  if (!path || !isOrdinaryFile(*path)) return kFileNotFound;
  std::optional<QByteArray> data = readFileBytes(*path);
  if (!data) return kFileNotFound;
  if (!looksLikeMidi(*data)) return kInvalidFile;
  if (!ensureAudio()) return kHardware;
  if (midiState() == kMidiFailed) return kNoMidiDevice;

  control().sequences.push_back(Sequence{alias, std::make_shared<const QByteArray>(std::move(*data)),
                                         std::make_shared<std::atomic<int>>(kOpened)});
  return kOk;
}

MCIERROR playCommand(const std::vector<Token>& tokens) {
  if (tokens.size() > 2) return kUnrecognizedKeyword;
  const auto it = findSequence(tokens[1].text);
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

MCIERROR closeCommand(const std::vector<Token>& tokens) {
  if (tokens.size() > 2) return kUnrecognizedKeyword;
  auto& list = control().sequences;
  if (!tokens[1].quoted && sameWord(tokens[1].text, "all")) {
    while (!list.empty()) closeSequence(list.begin());
    return kOk;
  }
  const auto it = findSequence(tokens[1].text);
  if (it == list.end()) return kInvalidDeviceName;
  closeSequence(it);
  return kOk;
}

MCIERROR runCommand(const QString& command) {
  std::vector<Token> tokens;
  if (const MCIERROR bad = tokenize(command, tokens); bad != kOk) return bad;
  if (tokens.empty()) return kMissingCommandString;
  const QString& verb = tokens[0].text;
  const bool known = sameWord(verb, "open") || sameWord(verb, "play") || sameWord(verb, "close");
  if (!known) return kUnrecognizedCommand;
  if (tokens.size() < 2 || tokens[1].text.isEmpty()) return kMissingDeviceName;
  if (sameWord(verb, "open")) return openCommand(tokens);
  if (sameWord(verb, "play")) return playCommand(tokens);
  return closeCommand(tokens);
}

// ---- clips ---------------------------------------------------------------------

// The default sound: two soft bell strokes, made here so that no file is needed.
Mix_Chunk* chime() {
  Control& c = control();
  if (c.chime != nullptr) return c.chime;
  constexpr double kSeconds = 0.5;
  const int frames = int(kSeconds * kRate);
  c.chimeSamples.assign(size_t(frames) * kChannels, 0);
  const struct {
    double start, pitch;
  } strokes[] = {{0.0, 987.77}, {0.13, 783.99}};
  for (int f = 0; f < frames; ++f) {
    const double t = double(f) / kRate;
    double v = 0;
    for (const auto& stroke : strokes) {
      const double u = t - stroke.start;
      if (u < 0) continue;
      const double attack = std::min(1.0, u / 0.004);
      const double envelope = attack * std::exp(-u / 0.11);
      v += envelope * (std::sin(2 * M_PI * stroke.pitch * u) + 0.3 * std::sin(2 * M_PI * 2 * stroke.pitch * u));
    }
    const auto sample = static_cast<std::int16_t>(std::clamp(v * 0.3, -1.0, 1.0) * 32767);
    c.chimeSamples[size_t(f) * 2] = sample;
    c.chimeSamples[size_t(f) * 2 + 1] = sample;
  }
  c.chime = Mix_QuickLoad_RAW(reinterpret_cast<Uint8*>(c.chimeSamples.data()),
                              Uint32(c.chimeSamples.size() * sizeof(std::int16_t)));
  return c.chime;
}

// SDL's own resampler takes tens of milliseconds for a few seconds of 22 kHz speech,
// far too long to hold the event thread. A cubic interpolation written straight into
// the chunk's buffer does it in about a millisecond. `in` is 16-bit, mono or stereo.
void toDeviceFormat(const std::int16_t* in, std::int64_t frames, int channels, int rate, std::int16_t* out,
                    std::int64_t outFrames) {
  const auto sample = [&](std::int64_t f, int ch) {
    return float(in[std::clamp<std::int64_t>(f, 0, frames - 1) * channels + std::min(ch, channels - 1)]);
  };
  const double step = double(rate) / kRate;
  for (std::int64_t o = 0; o < outFrames; ++o) {
    const double pos = double(o) * step;
    const auto i = std::int64_t(pos);
    const auto t = float(pos - double(i));
    // Catmull-Rom weights for the four neighbours.
    const float t2 = t * t, t3 = t2 * t;
    const float w0 = -0.5f * t3 + t2 - 0.5f * t;
    const float w1 = 1.5f * t3 - 2.5f * t2 + 1;
    const float w2 = -1.5f * t3 + 2 * t2 + 0.5f * t;
    const float w3 = 0.5f * t3 - 0.5f * t2;
    for (int ch = 0; ch < kChannels; ++ch) {
      float v;
      if (i >= 1 && i + 2 < frames) {
        const std::int16_t* p = in + (i - 1) * channels + std::min(ch, channels - 1);
        v = w0 * p[0] + w1 * p[channels] + w2 * p[2 * channels] + w3 * p[3 * channels];
      } else {
        v = w0 * sample(i - 1, ch) + w1 * sample(i, ch) + w2 * sample(i + 1, ch) + w3 * sample(i + 2, ch);
      }
      out[o * kChannels + ch] = static_cast<std::int16_t>(std::clamp(v, -32768.0f, 32767.0f));
    }
  }
}

// A clip file decoded to 16-bit samples at its own rate, or why it cannot be.
struct DecodedClip {
  std::unique_ptr<Uint8, void (*)(Uint8*)> wav{nullptr, SDL_FreeWAV};
  std::vector<Uint8> converted;
  const std::int16_t* samples = nullptr;
  int channels = 0;
  int rate = 0;
  std::int64_t frames = 0;
  QString problem;  // empty when the clip can be played
};

DecodedClip decodeClip(const QString& name) {
  DecodedClip clip;
  const std::optional<std::string> path = resolvePath(name);
  if (!path || !isOrdinaryFile(*path)) {
    clip.problem = QStringLiteral("no such file");
    return clip;
  }
  const std::optional<QByteArray> data = readFileBytes(*path);
  if (!data) {
    clip.problem = QStringLiteral("the file cannot be read");
    return clip;
  }
  // Only WAV files, although SDL would take other formats too.
  if (data->size() < 12 || !data->startsWith("RIFF") || data->mid(8, 4) != "WAVE") {
    clip.problem = QStringLiteral("not a WAV file");
    return clip;
  }
  const auto undecodable = [&clip] { clip.problem = QStringLiteral("the WAV data cannot be decoded"); };

  SDL_AudioSpec spec{};
  Uint8* decoded = nullptr;
  Uint32 length = 0;
  if (SDL_LoadWAV_RW(SDL_RWFromConstMem(data->constData(), int(data->size())), 1, &spec, &decoded, &length) == nullptr) {
    undecodable();
    return clip;
  }
  clip.wav.reset(decoded);
  // 16-bit mono and stereo, the usual clip formats, go straight to the resampler;
  // anything else is first turned into 16-bit stereo by SDL, at the file's own rate.
  clip.samples = reinterpret_cast<const std::int16_t*>(decoded);
  clip.channels = spec.channels;
  if (spec.format != AUDIO_S16SYS || clip.channels < 1 || clip.channels > 2) {
    SDL_AudioCVT cvt;
    if (spec.freq <= 0 || SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_S16SYS, kChannels, spec.freq) < 0) {
      undecodable();
      return clip;
    }
    clip.converted.resize(size_t(length) * size_t(std::max(cvt.len_mult, 1)));
    std::memcpy(clip.converted.data(), decoded, length);
    cvt.buf = clip.converted.data();
    cvt.len = int(length);
    if (SDL_ConvertAudio(&cvt) != 0) {
      undecodable();
      return clip;
    }
    length = Uint32(cvt.len_cvt);
    clip.samples = reinterpret_cast<const std::int16_t*>(clip.converted.data());
    clip.channels = kChannels;
  }
  clip.frames = std::int64_t(length) / (clip.channels * std::int64_t(sizeof(std::int16_t)));
  clip.rate = spec.freq;
  if (clip.frames <= 0 || clip.rate <= 0) clip.problem = QStringLiteral("the WAV file holds no sound");
  return clip;
}

Mix_Chunk* loadClip(const QString& name) {
  const DecodedClip clip = decodeClip(name);
  if (!clip.problem.isEmpty()) return nullptr;

  const std::int64_t outFrames = clip.frames * kRate / clip.rate;
  const auto size = Uint32(outFrames * kChannels * std::int64_t(sizeof(std::int16_t)));
  auto* buffer = static_cast<std::int16_t*>(SDL_malloc(size));
  if (buffer == nullptr) return nullptr;
  toDeviceFormat(clip.samples, clip.frames, clip.channels, clip.rate, buffer, outFrames);
  Mix_Chunk* chunk = Mix_QuickLoad_RAW(reinterpret_cast<Uint8*>(buffer), size);
  if (chunk == nullptr) {
    SDL_free(buffer);
    return nullptr;
  }
  chunk->allocated = 1;  // Mix_FreeChunk releases the samples too
  return chunk;
}

void stopClip() {
  Control& c = control();
  Mix_HaltChannel(kClipChannel);
  if (c.clip != nullptr) {
    Mix_FreeChunk(c.clip);
    c.clip = nullptr;
  }
}

bool playSound(const char* soundName, const QString& name, unsigned flags) {
  Control& c = control();
  if (!ensureAudio()) return false;
  if ((flags & SND_NOSTOP) != 0 && Mix_Playing(kClipChannel) != 0) return false;
  stopClip();
  if (soundName == nullptr) return true;  // a null name only stops the sound
  Mix_Chunk* chunk = loadClip(name);
  if (chunk != nullptr) {
    c.clip = chunk;
  } else {
    if ((flags & SND_NODEFAULT) != 0) return false;
    chunk = chime();
    if (chunk == nullptr) return false;
  }
  if (Mix_PlayChannel(kClipChannel, chunk, 0) < 0) return false;
  if ((flags & SND_ASYNC) == 0) {
    while (Mix_Playing(kClipChannel) != 0) SDL_Delay(5);
  }
  return true;
}

}  // namespace

MCIERROR mciSendStringA(const char* command, char* returnString, unsigned returnLength, void* /*callbackWindow*/) {
  if (returnString != nullptr && returnLength > 0) returnString[0] = '\0';
  const QString text = command != nullptr ? decodeAnsi(command) : QString();
  const MCIERROR code = runCommand(text);
  trace::Event("mci").text(text).num(code);
  return code;
}

bool mciGetErrorStringA(MCIERROR code, char* text, unsigned length) {
  const auto found = std::find_if(std::begin(kErrorTexts), std::end(kErrorTexts),
                                  [code](const ErrorText& e) { return e.code == code; });
  const bool known = found != std::end(kErrorTexts);
  if (text != nullptr && length > 0) {
    const char* message = known ? found->text : "";
    const size_t n = std::min<size_t>(std::strlen(message), length - 1);
    std::memcpy(text, message, n);
    text[n] = '\0';
  }
  return known;
}

void prepareSequencer() { midiState(); }

QString musicFileProblem(const QString& path) {
  // The same tests the open command makes on the file, without opening the device.
  if (path.contains(u'"')) return QStringLiteral("a name holding a double quote cannot be sent to the sequencer");
  const std::optional<std::string> found = resolvePath(path);
  if (!found || !isOrdinaryFile(*found)) return QStringLiteral("no such file");
  const std::optional<QByteArray> data = readFileBytes(*found);
  if (!data) return QStringLiteral("the file cannot be read");
  if (!looksLikeMidi(*data)) return QStringLiteral("not a Standard MIDI File");
  return {};
}

QString clipFileProblem(const QString& name) { return decodeClip(name).problem; }

bool sndPlaySoundA(const char* soundName, unsigned flags) {
  const QString name = soundName != nullptr ? decodeAnsi(soundName) : QString();
  const bool started = playSound(soundName, name, flags);
  trace::Event event("snd");
  if (soundName != nullptr) {
    event.text(name);
  } else {
    event.word("null");
  }
  event.num(flags).word(started ? "true" : "false");
  return started;
}

namespace test_hooks {

std::int64_t mixedFrames() { return shared().frames; }

bool waitForMidi(int timeoutMs) {
  if (!ensureAudio()) return false;
  midiState();
  Shared& s = shared();
  std::unique_lock lock(s.mutex);
  s.midiChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return s.midi != kMidiLoading; });
  return s.midi == kMidiReady;
}

int soundFontLoads() { return shared().fontLoads; }

void reset() {
  Control& c = control();
  Shared& s = shared();
  if (c.audioOk) {
    Mix_HaltChannel(-1);
    if (c.clip != nullptr) Mix_FreeChunk(c.clip);
    if (c.chime != nullptr) Mix_FreeChunk(c.chime);
    Mix_HookMusic(nullptr, nullptr);
    Mix_SetPostMix(nullptr, nullptr);
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
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
  s.frames = 0;
  s.midiMessageShown = false;
  s.fontLoads = 0;
  c = Control{};
}

}  // namespace test_hooks

}  // namespace platform::winmm
