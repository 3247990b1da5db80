// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/model.h"

#include <QByteArrayView>
#include <fluidsynth.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <variant>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "sound/midi_file.h"
#include "sound/wav_clip.h"

namespace sound::winmm {
namespace {

using namespace mci;
using platform::isOrdinaryFile;
using platform::readFileBytes;
using platform::resolvePath;

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

// Enough of a file to reach the data chunk of any ordinary WAV file.
constexpr qsizetype kHeadBytes = 64 * 1024;

// The file's size and first bytes, or nullopt when it cannot be read.
std::optional<std::pair<QByteArray, std::int64_t>> readHead(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  QByteArray head(kHeadBytes, Qt::Uninitialized);
  const size_t n = std::fread(head.data(), 1, size_t(head.size()), f);
  head.truncate(qsizetype(n));
  std::int64_t size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::int64_t(std::ftell(f));
  std::fclose(f);
  if (size < 0) return std::nullopt;
  return std::pair{head, size};
}

// Why the file behind a clip name cannot even be tried; empty when it should be.
QString headerProblem(const QString& name, std::string& path) {
  const std::optional<std::string> found = resolvePath(name);
  if (!found || !isOrdinaryFile(*found)) return QStringLiteral("file not found");
  path = *found;
  const auto head = readHead(path);
  if (!head) return QStringLiteral("the file cannot be read");
  return wavHeaderProblem(head->first, head->second);
}

std::optional<std::string>& chosenSoundFont() {
  static auto* path = new std::optional<std::string>;
  return *path;
}

}  // namespace

MCIERROR Winmm::mciSendStringA(const char* command, char* returnString, unsigned returnLength) {
  if (returnString != nullptr && returnLength > 0) returnString[0] = '\0';
  const QString text = command != nullptr ? platform::decodeAnsi(command) : QString();
  const auto parsed = parseCommand(text);
  const MCIERROR code = std::holds_alternative<MCIERROR>(parsed) ? std::get<MCIERROR>(parsed) : run(std::get<Command>(parsed));
  platform::trace::Event("mci").text(text).num(code);
  return code;
}

MCIERROR Winmm::run(const Command& command) {
  switch (command.verb) {
    case Verb::Open:
      return open(command);
    case Verb::Play:
      return play(command);
    case Verb::Close:
      return close(command);
  }
  return kUnrecognizedCommand;
}

std::vector<Winmm::Sequence>::iterator Winmm::find(const QString& alias) {
  return std::find_if(sequences_.begin(), sequences_.end(),
                      [&](const Sequence& q) { return q.alias.compare(alias, Qt::CaseInsensitive) == 0; });
}

MCIERROR Winmm::open(const Command& command) {
  if (find(command.alias) != sequences_.end()) return kDuplicateAlias;
  const std::optional<std::string> path = resolvePath(command.device);
  if (!path || !isOrdinaryFile(*path)) return kFileNotFound;
  std::optional<QByteArray> data = readFileBytes(*path);
  if (!data) return kFileNotFound;
  MidiParse midi = parseMidi(*data);
  if (!midi.problem.isEmpty()) return kInvalidFile;
  if (const MCIERROR why = music_->available(); why != kOk) return why;
  auto tune = std::make_shared<Tune>();
  tune->smf = std::move(midi.smf);
  tune->presets = std::move(midi.presets);
  tune->played = std::move(midi.played);
  sequences_.push_back(Sequence{command.alias, std::move(tune)});
  return kOk;
}

MCIERROR Winmm::play(const Command& command) {
  const auto it = find(command.device);
  if (it == sequences_.end()) return kInvalidDeviceName;
  // Playing on, or ended at its last note: a further play changes nothing.
  if (it->tune->phase.load() != Tune::kOpened) return kOk;
  // One synthesiser: the newest play wins.
  for (Sequence& other : sequences_) {
    int playing = Tune::kPlaying;
    other.tune->phase.compare_exchange_strong(playing, Tune::kOpened);
  }
  it->tune->phase = Tune::kPlaying;
  music_->play(it->tune);
  return kOk;
}

void Winmm::close(std::vector<Sequence>::iterator it) {
  if (it->tune->phase.load() == Tune::kPlaying) music_->play(nullptr);
  it->tune->phase = Tune::kEnded;
  sequences_.erase(it);
}

MCIERROR Winmm::close(const Command& command) {
  if (command.closeAll) {
    while (!sequences_.empty()) close(sequences_.begin());
    return kOk;
  }
  const auto it = find(command.device);
  if (it == sequences_.end()) return kInvalidDeviceName;
  close(it);
  return kOk;
}

bool Winmm::sndPlaySoundA(const char* soundName, unsigned flags) {
  const QString name = soundName != nullptr ? platform::decodeAnsi(soundName) : QString();
  const bool started = playSound(soundName, name, flags);
  platform::trace::Event event("snd");
  if (soundName != nullptr) {
    event.text(name);
  } else {
    event.word("null");
  }
  event.num(flags).word(started ? "true" : "false");
  return started;
}

// Every call cuts off the clip before it; only the file's header is looked at here, so a
// long or damaged clip never holds the caller.
bool Winmm::playSound(const char* soundName, const QString& name, unsigned flags) {
  if (!clips_->available()) return false;
  if ((flags & SND_NOSTOP) != 0 && clips_->busy()) return false;
  clips_->stop();
  if (soundName == nullptr) return true;  // a null name only stops the sound
  const bool orDefault = (flags & SND_NODEFAULT) == 0;
  std::string path;
  if (!headerProblem(name, path).isEmpty()) {
    if (!orDefault || !clips_->playDefault()) return false;
  } else {
    clips_->play(path, orDefault);
  }
  if ((flags & SND_ASYNC) == 0) clips_->waitUntilDone();
  return true;
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

void setSoundFont(const QString& path) {
  chosenSoundFont() = path.isEmpty() ? std::nullopt : std::optional(path.toStdString());
}

const std::optional<std::string>& givenSoundFont() { return chosenSoundFont(); }

bool isSoundFont(const QString& path) { return fluid_is_soundfont(path.toLocal8Bit().constData()) != 0; }

std::vector<std::string> soundFontCandidates() {
  std::vector<std::string> out;
  // The system's come after the given one, in case it proves damaged past its header.
  if (const std::optional<std::string>& explicitPath = chosenSoundFont()) out.push_back(*explicitPath);
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

std::vector<float> chimeSamples(int rate) {
  constexpr double kSeconds = 0.5;
  const int frames = int(kSeconds * rate);
  std::vector<float> out(static_cast<size_t>(frames));
  const struct {
    double start, pitch;
  } strokes[] = {{0.0, 987.77}, {0.13, 783.99}};
  for (int f = 0; f < frames; ++f) {
    const double t = double(f) / rate;
    double v = 0;
    for (const auto& stroke : strokes) {
      const double u = t - stroke.start;
      if (u < 0) continue;
      const double attack = std::min(1.0, u / 0.004);
      const double envelope = attack * std::exp(-u / 0.11);
      v += envelope * (std::sin(2 * M_PI * stroke.pitch * u) + 0.3 * std::sin(2 * M_PI * 2 * stroke.pitch * u));
    }
    out[size_t(f)] = float(std::clamp(v * 0.3, -1.0, 1.0));
  }
  return out;
}

namespace {

// Why the file `name` would not play: not found, unreadable, or what `decode` finds.
template <class Decode>
QString fileProblem(const QString& name, Decode decode) {
  const std::optional<std::string> path = resolvePath(name);
  if (!path || !isOrdinaryFile(*path)) return QStringLiteral("file not found");
  const std::optional<QByteArray> data = readFileBytes(*path);
  if (!data) return QStringLiteral("the file cannot be read");
  return decode(*data).problem;
}

}  // namespace

QString musicFileProblem(const QString& name) { return fileProblem(name, [](const QByteArray& b) { return parseMidi(b); }); }

QString clipFileProblem(const QString& name) { return fileProblem(name, [](const QByteArray& b) { return decodeClip(b); }); }

}  // namespace sound::winmm

namespace sound {
namespace {

// Result code and return text are converted back and dropped: sound never stops a programme.
template <unsigned ReturnLength>
void send(winmm::Winmm& winmm, const char* command) {
  char returnText[ReturnLength] = {};
  const winmm::MCIERROR code = winmm.mciSendStringA(command, returnText, ReturnLength);
  (void)platform::decodeAnsi(QByteArrayView(returnText, qsizetype(qstrnlen(returnText, ReturnLength))));
  char errorText[1024] = {};
  winmm::mciGetErrorStringA(code, errorText, 1024);
  (void)platform::decodeAnsi(QByteArrayView(errorText, qsizetype(qstrnlen(errorText, 1024))));
}

}  // namespace

QString musicPath(const QString& file) {
  // The name always follows the current directory, even when it is absolute itself.
  // A folder whose name the code page cannot hold ("café", U+301C, U+2212) would reach
  // the sequencer as another name, so every PLAY there failed; "." names the same folder.
  // Any folder the code page can hold is sent as it is.
  QString folder = platform::currentDirectory();
  if (platform::decodeAnsi(platform::encodeAnsi(folder)) != folder) folder = QStringLiteral(".");
  return folder + u'\\' + file;
}

void closeMusic(winmm::Winmm& winmm) {
  try {
    send<1>(winmm, "close Midi");
  } catch (...) {
  }
}

void playMusic(winmm::Winmm& winmm, const QString& file) {
  try {
    // The quotes keep spaces in either part within one argument.
    const QString path = QChar(34) + musicPath(file) + QChar(34);
    closeMusic(winmm);
    const QByteArray open = platform::encodeAnsi(QStringLiteral("open ") + path + QStringLiteral(" type sequencer alias Midi"));
    send<512>(winmm, open.constData());
    // Sent even when the open failed; it then fails quietly as well.
    send<512>(winmm, "play Midi");
  } catch (...) {
  }
}

void playClip(winmm::Winmm& winmm, const QString& file) {
  try {
    winmm.sndPlaySoundA(platform::encodeAnsi(file).constData(), winmm::SND_ASYNC);
  } catch (...) {
  }
}

}  // namespace sound
