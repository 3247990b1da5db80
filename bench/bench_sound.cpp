// SPDX-License-Identifier: GPL-3.0-or-later
// How long one PLAY (close, open, play) and one clip hold the calling thread: the
// median over 50 calls after the first, which also opens the audio device; the longest
// clip call over the demo's clips, a 5-minute clip and damaged ones; and the longest
// music callback of a tune that changes instruments all the time, with the default
// SoundFont. Without SDL_AUDIODRIVER set, SDL's disk driver stands in for a sound card
// (at the pace of a real one).
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <sys/resource.h>
#include <unistd.h>

#include "sound/winmm.h"
#include "sound/sound.h"

namespace {

void put(std::string& out, unsigned v, int bytes, bool bigEndian) {
  for (int i = 0; i < bytes; ++i) out += char(v >> (8 * (bigEndian ? bytes - 1 - i : i)) & 0xFF);
}

void putVarLen(std::string& out, unsigned v) {
  std::string bytes(1, char(v & 0x7F));
  while ((v >>= 7) != 0) bytes.insert(bytes.begin(), char(0x80 | (v & 0x7F)));
  out += bytes;
}

// A two-minute arrangement in eight tracks (drums included), about the size and
// density of a programme's background music.
std::string arrangement() {
  std::string file = "MThd";
  put(file, 6, 4, true);
  put(file, 1, 2, true);
  put(file, 8, 2, true);
  put(file, 480, 2, true);
  const int programs[] = {0, 33, 48, 73, 25, 61, 89, 0};
  for (int t = 0; t < 8; ++t) {
    const int channel = t == 7 ? 9 : t;
    std::string track;
    if (t == 0) track += std::string("\x00\xFF\x51\x03\x07\xA1\x20", 7);
    track += char(0x00);
    track += char(0xC0 | channel);
    track += char(programs[t]);
    const int step = t == 7 ? 120 : 240 * (1 + t % 3);
    unsigned seed = 17u * unsigned(t + 1);
    for (int at = 0; at < 480 * 240; at += step) {
      seed = seed * 1103515245u + 12345u;
      const int key = t == 7 ? 35 + int(seed >> 16) % 12 : 36 + 12 * (t % 4) + int(seed >> 16) % 24;
      putVarLen(track, 0);
      track += char(0x90 | channel);
      track += char(key);
      track += char(70 + int(seed >> 8) % 40);
      putVarLen(track, unsigned(step));
      track += char(0x80 | channel);
      track += char(key);
      track += char(0);
    }
    track += std::string("\x00\xFF\x2F\x00", 4);
    file += "MTrk";
    put(file, unsigned(track.size()), 4, true);
    file += track;
  }
  return file;
}

// Three seconds of a voice-like tone, mono 16-bit at 22,050 Hz.
// A mono 16-bit WAV file around `data`; `rate` is what the header claims.
std::string monoWav(const std::string& data, unsigned rate) {
  std::string file = "RIFF";
  put(file, unsigned(36 + data.size()), 4, false);
  file += "WAVEfmt ";
  put(file, 16, 4, false);
  put(file, 1, 2, false);
  put(file, 1, 2, false);
  put(file, rate, 4, false);
  put(file, rate * 2, 4, false);
  put(file, 2, 2, false);
  put(file, 16, 2, false);
  file += "data";
  put(file, unsigned(data.size()), 4, false);
  return file + data;
}

std::string voiceClip() {
  constexpr int rate = 22050;
  std::string data;
  for (int i = 0; i < 3 * rate; ++i) {
    const double t = double(i) / rate;
    const double v = 0.4 * std::sin(2 * M_PI * 180 * t) * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t));
    put(data, unsigned(std::uint16_t(std::int16_t(v * 32767))), 2, false);
  }
  return monoWav(data, rate);
}

// A wave of `seconds` at `rate`, mono 16-bit; `headerRate` is what the header claims.
std::string toneClip(double seconds, int rate, unsigned headerRate) {
  std::string data;
  for (int i = 0; i < int(seconds * rate); ++i)
    put(data, unsigned(std::uint16_t(std::int16_t(8000 * std::sin(2 * M_PI * 220 * i / rate)))), 2, false);
  return monoWav(data, headerRate);
}

// Sixteen channels, each taking a new instrument every 200 ms for ten seconds: every
// General MIDI instrument and several drum kits.
std::string instrumentParade() {
  std::string track("\x00\xFF\x51\x03\x07\xA1\x20", 7);  // 500 ticks per second at 500 ticks per quarter
  for (int step = 0; step < 50; ++step) {
    for (int channel = 0; channel < 16; ++channel) {
      const int program = channel == 9 ? (step % 5) * 8 : (step * 15 + channel) % 128;
      putVarLen(track, 0);
      track += char(0xC0 | channel);
      track += char(program);
      putVarLen(track, 0);
      track += char(0x90 | channel);
      track += char(channel == 9 ? 36 + step % 12 : 48 + (step + channel) % 24);
      track += char(90);
    }
    putVarLen(track, 100);
    for (int channel = 0; channel < 16; ++channel) {
      putVarLen(track, 0);
      track += char(0xB0 | channel);
      track += char(123);  // all notes off
      track += char(0);
    }
  }
  track += std::string("\x00\xFF\x2F\x00", 4);
  std::string file = "MThd";
  put(file, 6, 4, true);
  put(file, 0, 2, true);
  put(file, 1, 2, true);
  put(file, 500, 2, true);
  file += "MTrk";
  put(file, unsigned(track.size()), 4, true);
  return file + track;
}

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

template <class Call>
double medianLatency(Call call) {
  std::vector<double> times;
  for (int i = 0; i < 50; ++i) {
    // Leave the mixer a few buffers between calls, as a script would.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto start = std::chrono::steady_clock::now();
    call();
    times.push_back(msSince(start));
  }
  std::nth_element(times.begin(), times.begin() + 25, times.end());
  return times[25];
}

}  // namespace

int main() {
  QTemporaryDir dir;
  if (!dir.isValid() || ::chdir(dir.path().toLocal8Bit().constData()) != 0) return 1;
  if (std::getenv("SDL_AUDIODRIVER") == nullptr) {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", (dir.path() + "/bench.raw").toLocal8Bit().constData(), 1);
  }
  std::ofstream("MUSIC.MID", std::ios::binary) << arrangement();
  std::ofstream("VOICE.WAV", std::ios::binary) << voiceClip();

  const auto first = std::chrono::steady_clock::now();
  sound::playMusic("MUSIC.MID");
  const double firstPlay = msSince(first);
  sound::winmm::test_hooks::waitForMidi(60000);
  const double ready = msSince(first);

  // What music costs in memory: the process after a tune has played for a second.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);

  const double play = medianLatency([] { sound::playMusic("MUSIC.MID"); });
  sound::playClip("VOICE.WAV");
  const double clip = medianLatency([] { sound::playClip("VOICE.WAV"); });
  sound::closeMusic();

  // The longest clip call: the demo's clips, five minutes of speech and damaged files.
  std::vector<std::string> clips;
  for (const QString& name : QDir(QStringLiteral(KIVO_SOURCE_DIR "/demo")).entryList({QStringLiteral("*.WAV")}))
    clips.push_back((QStringLiteral(KIVO_SOURCE_DIR "/demo/") + name).toStdString());
  std::ofstream("FIVEMIN.WAV", std::ios::binary) << toneClip(300, 22050, 22050);
  std::ofstream("RATE1.WAV", std::ios::binary) << toneClip(1.1, 22050, 1);          // 48 KB claiming 1 Hz
  std::ofstream("SMALL1.WAV", std::ios::binary) << toneClip(0.045, 22050, 1);       // 2 KB claiming 1 Hz
  std::ofstream("RATEMAX.WAV", std::ios::binary) << toneClip(1.1, 22050, 0x7FFFFFFF);
  for (const char* name : {"FIVEMIN.WAV", "RATE1.WAV", "SMALL1.WAV", "RATEMAX.WAV"}) clips.push_back(name);
  double clipMax = 0;
  for (int round = 0; round < 5; ++round) {
    for (const std::string& clip : clips) {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      const auto start = std::chrono::steady_clock::now();
      sound::winmm::sndPlaySoundA(clip.c_str(), sound::winmm::SND_ASYNC);
      clipMax = std::max(clipMax, msSince(start));
    }
  }
  sound::winmm::sndPlaySoundA(nullptr, 0);

  // The longest music callback, from a fresh device and the default SoundFont.
  sound::winmm::test_hooks::reset();
  ::unsetenv("SDL_SOUNDFONTS");
  std::ofstream("PARADE.MID", std::ios::binary) << instrumentParade();
  sound::winmm::test_hooks::waitForMidi(60000);
  sound::playMusic("PARADE.MID");
  sound::winmm::test_hooks::waitUntilPrepared();
  std::this_thread::sleep_for(std::chrono::seconds(6));
  const double callbackMax = sound::winmm::test_hooks::longestMusicCallbackMs();
  sound::closeMusic();

  std::printf("play_latency_ms %.3f ms\n", play);
  std::printf("clip_latency_ms %.3f ms\n", clip);
  std::printf("first_play_ms %.3f ms\n", firstPlay);
  std::printf("soundfont_ready_ms %.1f ms\n", ready);
  std::printf("music_peak_memory_mb %.1f MB\n", usage.ru_maxrss / 1024.0);
  std::printf("clip_call_max_ms %.3f ms\n", clipMax);
  std::printf("audio_callback_max_ms %.3f ms\n", callbackMax);
  std::printf("audio_buffer_period_ms %.3f ms\n", 1000.0 * sound::winmm::test_hooks::kBufferFrames / 44100);
  sound::winmm::test_hooks::reset();
  return 0;
}
