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
#include "platform/midi_file.h"
#include "platform/synth_settings.h"
#include "platform/trace.h"
#include "platform/wav_clip.h"
#include "platform/winmm.h"

namespace record {
namespace {

using platform::trace::Event;

// After a tune's end the synthesiser still rings for a moment, as in the player.
constexpr std::int64_t kTailFrames = std::int64_t(platform::winmm::kSynthTailSeconds * OfflineSound::kRate);

// The default sound for a clip that cannot be played: the player's chime, in stereo.
std::vector<float> chime() {
  const std::vector<float> mono = platform::winmm::chimeSamples(OfflineSound::kRate);
  std::vector<float> out(mono.size() * 2);
  for (size_t f = 0; f < mono.size(); ++f) out[2 * f] = out[2 * f + 1] = mono[f];
  return out;
}

}  // namespace

struct OfflineSound::Synth {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_player_t* player = nullptr;
  ~Synth() {
    if (player != nullptr) delete_fluid_player(player);
    if (synth != nullptr) delete_fluid_synth(synth);
    if (settings != nullptr) delete_fluid_settings(settings);
  }
};

OfflineSound::OfflineSound(std::function<double()> now, std::function<void(const float*, int)> sink)
    : now_(std::move(now)), sink_(std::move(sink)), synth_(std::make_unique<Synth>()) {
  for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);
  Synth& s = *synth_;
  s.settings = new_fluid_settings();
  platform::winmm::applySynthSettings(s.settings, kRate);
  // The tune advances with the samples rendered, not with the wall clock.
  fluid_settings_setstr(s.settings, "player.timing-source", "sample");
  s.synth = new_fluid_synth(s.settings);
  // The same choice the player makes: the first candidate that loads.
  for (const std::string& path : platform::winmm::soundFontCandidates()) {
    if (s.synth != nullptr && platform::isOrdinaryFile(path) && fluid_synth_sfload(s.synth, path.c_str(), 1) != FLUID_FAILED)
      return;
  }
  musicProblem_ = QStringLiteral("no General MIDI SoundFont could be loaded (install fluid-soundfont-gm or set SDL_SOUNDFONTS)");
  if (s.synth != nullptr) delete_fluid_synth(s.synth);
  s.synth = nullptr;
}

OfflineSound::~OfflineSound() = default;

void OfflineSound::renderTo(double ms) {
  const auto target = std::int64_t(std::llround(ms * kRate / 1000.0));
  constexpr int kBlock = 1024;
  buffer_.resize(2 * kBlock);
  while (rendered_ < target) {
    const int n = int(std::min<std::int64_t>(kBlock, target - rendered_));
    float* out = buffer_.data();
    Synth& s = *synth_;
    // As in the player, the synthesiser sounds while a tune plays and rings on for a
    // moment after its end; a stopped tune is silent at once.
    if (s.synth != nullptr && (s.player != nullptr || tailFrames_ > 0)) {
      fluid_synth_write_float(s.synth, n, out, 0, 2, out, 1, 2);
      if (s.player != nullptr && fluid_player_get_status(s.player) == FLUID_PLAYER_DONE) {
        delete_fluid_player(s.player);
        s.player = nullptr;
        tailFrames_ = kTailFrames;
      } else if (s.player == nullptr) {
        tailFrames_ -= n;
      }
    } else {
      std::fill_n(out, 2 * n, 0.0f);
    }
    // Clips and music sound together; the mixer adds them and clips at full scale.
    const size_t take = std::min(size_t(2 * n), clip_.size() - clipPos_);
    for (size_t i = 0; i < take; ++i) out[i] = std::clamp(out[i] + clip_[clipPos_ + i], -1.0f, 1.0f);
    clipPos_ += take;
    sink_(out, n);
    rendered_ += n;
  }
}

void OfflineSound::stopMusic() {
  Synth& s = *synth_;
  if (s.player != nullptr) {
    delete_fluid_player(s.player);
    s.player = nullptr;
  }
  if (s.synth != nullptr) fluid_synth_system_reset(s.synth);
  tailFrames_ = 0;
  musicOpen_ = false;
}

void OfflineSound::closeMusic() {
  renderTo(now_());
  Event("mci").text(QStringLiteral("close Midi")).num(musicOpen_ ? 0 : 263);
  stopMusic();
}

void OfflineSound::playMusic(const QString& file) {
  closeMusic();
  // The name always follows the current directory, as the player's open command has it.
  const QString element = platform::currentDirectory() + u'\\' + file;
  int code = 275;
  platform::winmm::MidiParse midi;
  if (const std::optional<std::string> path = platform::resolvePath(element); path && platform::isOrdinaryFile(*path)) {
    if (const std::optional<QByteArray> data = platform::readFileBytes(*path)) {
      midi = platform::winmm::parseMidi(*data);
      code = !midi.problem.isEmpty() ? 296 : synth_->synth == nullptr ? 343 : 0;
    }
  }
  Event("mci").text(QStringLiteral("open \"%1\" type sequencer alias Midi").arg(element)).num(code);
  if (code == 0) {
    Synth& s = *synth_;
    s.player = new_fluid_player(s.synth);
    if (s.player != nullptr && fluid_player_add_mem(s.player, midi.smf.constData(), size_t(midi.smf.size())) == FLUID_OK &&
        fluid_player_play(s.player) == FLUID_OK) {
      musicOpen_ = true;
    } else if (s.player != nullptr) {
      delete_fluid_player(s.player);
      s.player = nullptr;
    }
  }
  Event("mci").text(QStringLiteral("play Midi")).num(musicOpen_ ? 0 : 263);
}

void OfflineSound::playClip(const QString& file) { playSound(file, 1); }

bool OfflineSound::playSound(const QString& name, unsigned flags) {
  renderTo(now_());
  std::optional<std::vector<float>> samples;
  if (const std::optional<std::string> path = platform::resolvePath(name); path && platform::isOrdinaryFile(*path)) {
    if (const std::optional<QByteArray> data = platform::readFileBytes(*path)) samples = decodeClip(*data);
  }
  // Every call cuts off the sound still playing; one that cannot be played gives the
  // default sound unless the flags forbid it.
  const bool started = samples || (flags & 2) == 0;
  clip_ = samples ? std::move(*samples) : started ? chime() : std::vector<float>();
  clipPos_ = 0;
  Event("snd").text(name).num(flags).word(started ? "true" : "false");
  return started;
}

std::optional<std::vector<float>> OfflineSound::decodeClip(const QByteArray& wav) {
  // The player's own decoder, so the same clips play and the same are refused; it gives
  // the device's 44.1 kHz, which is taken on to 48 kHz here.
  const platform::winmm::ClipDecode clip = platform::winmm::decodeClip(wav);
  if (!clip.problem.isEmpty() || clip.samples.size() < 2) return std::nullopt;
  constexpr int kClipRate = 44100;
  const auto inFrames = std::int64_t(clip.samples.size() / 2);
  const std::int64_t outFrames = av_rescale_rnd(inFrames, kRate, kClipRate, AV_ROUND_UP) + 64;
  AVChannelLayout stereo{};
  av_channel_layout_default(&stereo, 2);
  SwrContext* swr = nullptr;
  if (swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, kRate, &stereo, AV_SAMPLE_FMT_S16, kClipRate, 0, nullptr) < 0 ||
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
