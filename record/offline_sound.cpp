// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/offline_sound.h"

#include <fluidsynth.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "platform/text.h"
#include "sound/synth_settings.h"
#include "sound/wav_clip.h"

namespace record {

using sound::winmm::Tune;

// The music: one synthesiser without an audio driver, its MIDI player timed by the
// samples rendered.
class OfflineSound::Music : public sound::winmm::MusicOutput {
 public:
  Music() {
    for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);
    settings_ = new_fluid_settings();
    sound::winmm::applySynthSettings(settings_, kRate);
    fluid_settings_setstr(settings_, "player.timing-source", "sample");
    synth_ = new_fluid_synth(settings_);
    // The same choice the player makes: the first candidate that loads.
    for (const std::string& path : sound::winmm::soundFontCandidates()) {
      if (synth_ != nullptr && platform::isOrdinaryFile(path) && fluid_synth_sfload(synth_, path.c_str(), 1) != FLUID_FAILED)
        return;
    }
    problem = QStringLiteral("no General MIDI SoundFont could be loaded (install fluid-soundfont-gm or set SDL_SOUNDFONTS)");
    if (synth_ != nullptr) delete_fluid_synth(synth_);
    synth_ = nullptr;
  }
  ~Music() override {
    stop();
    if (synth_ != nullptr) delete_fluid_synth(synth_);
    if (settings_ != nullptr) delete_fluid_settings(settings_);
  }

  sound::winmm::MCIERROR available() override {
    return synth_ != nullptr ? sound::winmm::mci::kOk : sound::winmm::mci::kNoMidiDevice;
  }

  void play(std::shared_ptr<Tune> tune) override {
    stop();
    if (tune == nullptr) return;
    player_ = new_fluid_player(synth_);
    if (player_ == nullptr || fluid_player_add_mem(player_, tune->smf.constData(), size_t(tune->smf.size())) != FLUID_OK ||
        fluid_player_play(player_) != FLUID_OK) {
      stop();
      tune->phase = Tune::kEnded;
      return;
    }
    tune_ = std::move(tune);
  }

  // Adds `n` frames of music into `out` (interleaved stereo).
  void render(float* out, int n) {
    if (synth_ == nullptr || !tail_.sounds(player_ != nullptr)) return;
    fluid_synth_write_float(synth_, n, out, 0, 2, out, 1, 2);
    const bool playing = player_ != nullptr;
    const bool ended = playing && fluid_player_get_status(player_) == FLUID_PLAYER_DONE;
    if (ended) {
      tune_->phase = Tune::kEnded;
      delete_fluid_player(player_);
      player_ = nullptr;
      tune_.reset();
    }
    tail_.rendered(n, playing, ended);
  }

  QString problem;

 private:
  void stop() {
    if (player_ != nullptr) delete_fluid_player(player_);
    player_ = nullptr;
    tune_.reset();
    if (synth_ != nullptr) fluid_synth_system_reset(synth_);
    tail_.stopped();
  }

  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  fluid_player_t* player_ = nullptr;
  std::shared_ptr<Tune> tune_;
  sound::winmm::Tail tail_{kRate};
};

// The clips, decoded at once (time stands still while the call runs).
class OfflineSound::Clips : public sound::winmm::ClipOutput {
 public:
  bool available() override { return true; }
  bool busy() override { return pos_ < samples_.size(); }
  void stop() override {
    samples_.clear();
    pos_ = 0;
  }
  bool playDefault() override {
    // The player's chime, in stereo.
    const std::vector<float> mono = sound::winmm::chimeSamples(kRate);
    samples_.assign(mono.size() * 2, 0.0f);
    for (size_t f = 0; f < mono.size(); ++f) samples_[2 * f] = samples_[2 * f + 1] = mono[f];
    pos_ = 0;
    return true;
  }
  void play(const std::string& path, bool orDefault) override {
    std::optional<std::vector<float>> samples;
    if (const std::optional<QByteArray> data = platform::readFileBytes(path)) samples = decodeClip(*data);
    if (samples) {
      samples_ = std::move(*samples);
      pos_ = 0;
    } else if (orDefault) {
      playDefault();
    }
  }
  // Virtual time does not pass within a call: a synchronous clip sounds from here on.
  void waitUntilDone() override {}

  // Adds `n` frames of the clip into `out`; the mixer clips at full scale.
  void mix(float* out, int n) {
    const size_t take = std::min(size_t(2 * n), samples_.size() - pos_);
    for (size_t i = 0; i < take; ++i) out[i] = std::clamp(out[i] + samples_[pos_ + i], -1.0f, 1.0f);
    pos_ += take;
  }

 private:
  std::vector<float> samples_;  // interleaved stereo
  size_t pos_ = 0;
};

OfflineSound::OfflineSound(std::function<double()> now, std::function<void(const float*, int)> sink)
    : now_(std::move(now)),
      sink_(std::move(sink)),
      music_(std::make_unique<Music>()),
      clips_(std::make_unique<Clips>()),
      winmm_(*music_, *clips_),
      musicProblem_(music_->problem) {}

OfflineSound::~OfflineSound() = default;

void OfflineSound::renderTo(double ms) {
  const auto target = std::int64_t(std::llround(ms * kRate / 1000.0));
  constexpr int kBlock = 1024;
  buffer_.resize(2 * kBlock);
  while (rendered_ < target) {
    const int n = int(std::min<std::int64_t>(kBlock, target - rendered_));
    float* out = buffer_.data();
    std::fill_n(out, 2 * n, 0.0f);
    music_->render(out, n);
    clips_->mix(out, n);
    sink_(out, n);
    rendered_ += n;
  }
}

void OfflineSound::closeMusic() {
  renderTo(now_());
  sound::closeMusic(winmm_);
}

void OfflineSound::playMusic(const QString& file) {
  renderTo(now_());
  sound::playMusic(winmm_, file);
}

void OfflineSound::playClip(const QString& file) {
  renderTo(now_());
  sound::playClip(winmm_, file);
}

bool OfflineSound::playSound(const QString& name, unsigned flags) {
  renderTo(now_());
  return winmm_.sndPlaySoundA(name.isNull() ? nullptr : platform::encodeAnsi(name).constData(), flags);
}

std::optional<std::vector<float>> OfflineSound::decodeClip(const QByteArray& wav) {
  // The player's own decoder, so the same clips play and the same are refused; it gives
  // the device's 44.1 kHz, which is taken on to 48 kHz here.
  const sound::winmm::ClipDecode clip = sound::winmm::decodeClip(wav);
  if (!clip.problem.isEmpty() || clip.samples.size() < 2) return std::nullopt;
    const auto inFrames = std::int64_t(clip.samples.size() / 2);
  const std::int64_t outFrames = av_rescale_rnd(inFrames, kRate, sound::winmm::kClipRate, AV_ROUND_UP) + 64;
  AVChannelLayout stereo{};
  av_channel_layout_default(&stereo, 2);
  SwrContext* swr = nullptr;
  if (swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, kRate, &stereo, AV_SAMPLE_FMT_S16, sound::winmm::kClipRate, 0, nullptr) < 0 ||
      swr_init(swr) < 0) {
    swr_free(&swr);
    return std::nullopt;
  }
  std::vector<float> samples(size_t(outFrames) * 2);
  uint8_t* dst[] = {reinterpret_cast<uint8_t*>(samples.data())};
  const uint8_t* src[] = {reinterpret_cast<const uint8_t*>(clip.samples.data())};
  int got = swr_convert(swr, dst, int(outFrames), src, int(inFrames));
  if (got >= 0) {
    uint8_t* rest[] = {reinterpret_cast<uint8_t*>(samples.data() + 2 * size_t(got))};
    const int tail = swr_convert(swr, rest, int(outFrames - got), nullptr, 0);
    if (tail > 0) got += tail;
  }
  swr_free(&swr);
  if (got <= 0) return std::nullopt;
  samples.resize(size_t(got) * 2);
  return samples;
}

}  // namespace record
