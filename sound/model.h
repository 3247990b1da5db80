// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rules of the Windows sound calls the program makes, apart from any device: the MCI
// sequencer's commands and result codes (aliases; one tune sounds, the newest PLAY wins),
// the simple sound call's flags (the newest call wins, the default sound), the tail a tune
// rings on for, the path a programme's music is sent under, and the trace lines of both
// calls. The live output (winmm.h, SDL) and the offline renderer of a recording are two
// back-ends of this one model, so they cannot drift apart.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sound/mci_command.h"
#include "sound/midi_file.h"

namespace sound::winmm {

constexpr unsigned SND_ASYNC = 1;
constexpr unsigned SND_NODEFAULT = 2;
constexpr unsigned SND_NOSTOP = 16;

// A sequence opened with "open", shared between the model and the back-end that plays it.
struct Tune {
  enum Phase : int { kOpened, kPlaying, kEnded };
  QByteArray smf;                            // the Standard MIDI File
  std::vector<std::pair<int, int>> presets;  // (bank, program) of every instrument it may select
  std::vector<Voicing> played;               // the instruments that sound, with their keys
  std::atomic<int> phase{kOpened};           // the back-end sets kEnded once it has played to its end
};

// Where music sounds.
class MusicOutput {
 public:
  virtual ~MusicOutput() = default;
  // mci::kOk, or why nothing can sound: kHardware (no audio device) or kNoMidiDevice (no
  // synthesiser).
  virtual MCIERROR available() = 0;
  // This tune from its start in place of whatever sounds; nullptr: silence.
  virtual void play(std::shared_ptr<Tune> tune) = 0;
};

// Where clips sound.
class ClipOutput {
 public:
  virtual ~ClipOutput() = default;
  virtual bool available() = 0;    // false: no audio device
  virtual bool busy() = 0;         // a clip sounds or is being prepared
  virtual void stop() = 0;         // cuts off the clip, and drops one still being prepared
  virtual bool playDefault() = 0;  // the default sound; false when it cannot start
  // Plays the WAV file at `path`, whose header looked playable; should its data prove
  // unplayable, the default sound plays instead if `orDefault`.
  virtual void play(const std::string& path, bool orDefault) = 0;
  virtual void waitUntilDone() = 0;  // for a synchronous call: until the clip has ended
};

// mciSendStringA and sndPlaySoundA on one pair of outputs. Text is narrow, in the ANSI
// code page (CP932). Each call leaves one trace line ("mci", "snd").
class Winmm {
 public:
  Winmm(MusicOutput& music, ClipOutput& clips) : music_(&music), clips_(&clips) {}
  MCIERROR mciSendStringA(const char* command, char* returnString, unsigned returnLength);
  bool sndPlaySoundA(const char* soundName, unsigned flags);

 private:
  struct Sequence {
    QString alias;
    std::shared_ptr<Tune> tune;
  };
  MCIERROR run(const mci::Command& command);
  MCIERROR open(const mci::Command& command);
  MCIERROR play(const mci::Command& command);
  MCIERROR close(const mci::Command& command);
  void close(std::vector<Sequence>::iterator it);
  std::vector<Sequence>::iterator find(const QString& alias);
  bool playSound(const char* soundName, const QString& name, unsigned flags);

  MusicOutput* music_;
  ClipOutput* clips_;
  std::vector<Sequence> sequences_;
};

// Fills `text` with the message for an MCI result code. False for an unknown code.
bool mciGetErrorStringA(MCIERROR code, char* text, unsigned length);

// After a tune ends the synthesiser still rings (release, reverb) for a moment; a tune
// stopped is silent at once. A renderer asks before each block whether to synthesise.
class Tail {
 public:
  static constexpr double kSeconds = 2.0;
  explicit Tail(int rate) : ring_(std::int64_t(kSeconds * rate)) {}
  void stopped() { left_ = 0; }
  bool sounds(bool playing) const { return playing || left_ > 0; }
  // After a block of `frames`: `ended` when the tune reached its end in it.
  void rendered(int frames, bool playing, bool ended) {
    if (ended) {
      left_ = ring_;
    } else if (!playing) {
      left_ -= frames;
    }
  }

 private:
  std::int64_t ring_;
  std::int64_t left_ = 0;
};

// Makes music use this SoundFont instead of looking for one; call before the first music.
void setSoundFont(const QString& path);
// Whether the file reads as a SoundFont (its header), so a wrong file can be refused
// before music needs it.
bool isSoundFont(const QString& path);
// Where the SoundFont is looked for, in order: the one given to setSoundFont, then
// SDL_SOUNDFONTS (paths separated by ':' or ';'), else the usual system files.
std::vector<std::string> soundFontCandidates();
const std::optional<std::string>& givenSoundFont();  // the one given to setSoundFont, if any
// The default sound for a clip that cannot be played (two soft bell strokes), as mono
// samples in [-1, 1] at `rate` Hz.
std::vector<float> chimeSamples(int rate);

// For checking a programme's files: the same reading and decoding as the calls, without
// any device. Each returns a short reason in plain words, or an empty text when it would play.
QString musicFileProblem(const QString& path);
// Resolved as sndPlaySoundA resolves it.
QString clipFileProblem(const QString& name);

}  // namespace sound::winmm

namespace sound {

// The path the music calls send to the sequencer for `file`, quotes left off.
QString musicPath(const QString& file);

// What a programme does with sound, on either back-end. Nothing here reports a failure:
// every result is fetched and dropped, as the programmes were written to.
void playMusic(winmm::Winmm& winmm, const QString& file);  // close, open the file, play from the start
void closeMusic(winmm::Winmm& winmm);                      // stop and release the music, if any
void playClip(winmm::Winmm& winmm, const QString& file);   // start a WAV clip, cutting off the one playing

}  // namespace sound
