// The entry points of the sound layer; the work is done by the device, sequencer, clip
// and chime pieces (winmm_internal.h).
#include "platform/winmm.h"

#include <QString>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <variant>

#include "platform/mci_command.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "platform/winmm_internal.h"

namespace platform::winmm {
namespace {

using namespace mci;

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

MCIERROR runCommand(const QString& text) {
  const auto parsed = parseCommand(text);
  if (const auto* code = std::get_if<MCIERROR>(&parsed)) return *code;
  return detail::runCommand(std::get<Command>(parsed));
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

void prepareSequencer() { detail::prepareSequencer(); }

void setSoundFont(const QString& path) { detail::setSoundFont(path.toStdString()); }

bool sndPlaySoundA(const char* soundName, unsigned flags) {
  const QString name = soundName != nullptr ? decodeAnsi(soundName) : QString();
  const bool started = detail::playSound(soundName, name, flags);
  trace::Event event("snd");
  if (soundName != nullptr) {
    event.text(name);
  } else {
    event.word("null");
  }
  event.num(flags).word(started ? "true" : "false");
  return started;
}

QString musicFileProblem(const QString& path) { return detail::musicProblem(path); }

QString clipFileProblem(const QString& name) { return detail::clipProblem(name); }

namespace test_hooks {

std::int64_t mixedFrames() { return detail::mixedFrames(); }

bool waitForMidi(int timeoutMs) { return detail::waitForMidi(timeoutMs); }

int soundFontLoads() { return detail::soundFontLoads(); }

void passTime(int ms) { detail::passTime(ms); }

void waitUntilPrepared() {
  detail::waitForClips();
  detail::waitForInstruments();
}

int soundFontReadsOnAudioThread() { return detail::audioThreadFileOpens(); }

double longestMusicCallbackMs() { return detail::longestMusicCallbackMs(); }

std::int64_t reset() {
  detail::resetClips();
  if (detail::audioIsOpen()) detail::resetChime();
  const std::int64_t mixed = detail::closeAudio();
  detail::resetSequencer();
  return mixed;
}

}  // namespace test_hooks

}  // namespace platform::winmm
