// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programme's sound, made offline for a recording: the offline back-end of the sound
// model (sound/model.h), so the calls follow the player's rules and leave its trace. The
// music is rendered from the MIDI files by FluidSynth with the player's SoundFont, the
// clips are mixed in at the moments they start. Time is the virtual clock's: each call
// renders everything up to "now" with the state before it.
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/ports.h"
#include "sound/model.h"

namespace record {

class OfflineSound : public engine::SoundPort {
 public:
  static constexpr int kRate = 48000;

  // `now` gives the virtual time in ms; `sink` receives interleaved stereo samples.
  OfflineSound(std::function<double()> now, std::function<void(const float*, int)> sink);
  ~OfflineSound() override;

  // Renders the sound up to `ms` with what is playing now.
  void renderTo(double ms);

  void playMusic(const QString& file) override;
  void closeMusic() override;
  void playClip(const QString& file) override;
  // The simple sound call with its flags, for the opening. True when a sound was started.
  bool playSound(const QString& name, unsigned flags);

  // Why there is no music (no SoundFont); empty when there is.
  const QString& musicProblem() const { return musicProblem_; }

  // 48 kHz stereo samples of a WAV file, or nothing when it cannot be played.
  static std::optional<std::vector<float>> decodeClip(const QByteArray& wav);

 private:
  class Music;
  class Clips;
  std::function<double()> now_;
  std::function<void(const float*, int)> sink_;
  std::unique_ptr<Music> music_;
  std::unique_ptr<Clips> clips_;
  sound::winmm::Winmm winmm_;
  QString musicProblem_;
  std::int64_t rendered_ = 0;  // samples written so far
  std::vector<float> buffer_;
};

}  // namespace record
