// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sound tests run SDL's disk audio driver: whatever the mixer produces lands in a raw
// file (44.1 kHz, 16-bit stereo), read back after the device is closed. Positions are
// counted in mixed frames, so the tests do not depend on the wall clock. The driver runs
// faster than real time, so a busy machine stretches what a test's pauses span; cases
// leave room for that or place their windows by what they find in the sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include <unistd.h>

#include "sound/winmm.h"
#include "tests/support/temp_folder.h"
#include "tests/support/trace_capture.h"

namespace media {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

inline std::string littleEndian(unsigned v, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += char(v >> (8 * i) & 0xFF);
  return out;
}
inline std::string varLen(unsigned v) {
  std::string out(1, char(v & 0x7F));
  while ((v >>= 7) != 0) out.insert(out.begin(), char(0x80 | (v & 0x7F)));
  return out;
}

// A Standard MIDI File at one tick per millisecond (500 per quarter, the
// default tempo), each track given without its end.
inline std::string smf(int format, const std::vector<std::string>& tracks) {
  std::string file("MThd\0\0\0\x06\0", 9);
  file += char(format) + std::string(1, '\0') + char(tracks.size()) + std::string("\x01\xF4", 2);
  for (const std::string& t : tracks) {
    const std::string track = t + std::string("\x00\xFF\x2F\x00", 4);
    file += "MTrk";
    for (int shift : {24, 16, 8, 0}) file += char(track.size() >> shift & 0xFF);
    file += track;
  }
  return file;
}

// A format-0 file: one organ note from the start, then silence until the track ends at endMs.
inline std::string midi(int key, int noteMs, int endMs) {
  std::string track("\x00\xFF\x51\x03\x07\xA1\x20", 7);  // 500,000 us per quarter
  track += std::string("\x00\xC0\x13\x00\x90", 5) + char(key) + char(110);
  track += varLen(unsigned(noteMs)) + char(0x80) + char(key) + char(0);
  return smf(0, {track + varLen(unsigned(endMs - noteMs)) + std::string("\xFF\x01\x00", 3)});  // an empty text at the end
}

// A sine tone; by default mono 16-bit at 22,050 Hz, the usual format of voice clips.
inline std::string wav(double hz, double seconds, int rate = 22050, int bits = 16, int channels = 1) {
  std::string data;
  for (int i = 0; i < int(seconds * rate); ++i) {
    const double v = 0.5 * std::sin(2 * kPi * hz * i / rate);
    for (int c = 0; c < channels; ++c)
      data += bits == 8 ? littleEndian(unsigned(128 + std::lround(v * 127)), 1)
                        : littleEndian(std::uint16_t(std::int16_t(v * 32767)), 2);
  }
  const int block = channels * bits / 8;
  return "RIFF" + littleEndian(unsigned(36 + data.size()), 4) + "WAVEfmt " + littleEndian(16, 4) +
         littleEndian(1, 2) + littleEndian(unsigned(channels), 2) + littleEndian(unsigned(rate), 4) +
         littleEndian(unsigned(rate * block), 4) + littleEndian(unsigned(block), 2) + littleEndian(unsigned(bits), 2) +
         "data" + littleEndian(unsigned(data.size()), 4) + data;
}

// `bytes` little-endian bytes of `value` written over `file` at `offset`: a damaged header.
inline std::string patched(std::string file, size_t offset, unsigned value, int bytes) {
  return file.replace(offset, size_t(bytes), littleEndian(value, bytes));
}

// A Standard MIDI File in a RIFF "RMID" wrapper, as .RMI files hold it.
inline std::string rmid(const std::string& smf) {
  return "RIFF" + littleEndian(unsigned(12 + smf.size()), 4) + "RMIDdata" + littleEndian(unsigned(smf.size()), 4) + smf;
}

constexpr double kChimeHz = 987.77;  // the default sound's first stroke

// The left channel of what the disk driver wrote, `mixed` frames from the mixer. Windows
// are [from, to) in frames.
class Capture {
 public:
  Capture(const std::string& path, std::int64_t mixed) {
    std::ifstream f(path, std::ios::binary);
    std::int16_t frame[2];
    while (f.read(reinterpret_cast<char*>(frame), sizeof frame)) left_.push_back(frame[0] / 32768.0);
    // SDL writes silence while the device is still paused during its opening, before the
    // mixer runs; the more so the busier the machine. Frame 0 is the mixer's first.
    const auto lead = std::int64_t(left_.size()) - mixed;
    if (lead > 0) left_.erase(left_.begin(), left_.begin() + lead);
  }

  double rms(std::int64_t from, std::int64_t to) const {
    double sum = 0;
    const auto [a, b] = clamp(from, to);
    for (auto i = a; i < b; ++i) sum += left_[size_t(i)] * left_[size_t(i)];
    return b > a ? std::sqrt(sum / double(b - a)) : 0;
  }
  // Amplitude of one frequency in the window (Goertzel).
  double tone(std::int64_t from, std::int64_t to, double hz) const {
    const double c = 2 * std::cos(2 * kPi * hz / kRate);
    double s1 = 0, s2 = 0;
    const auto [a, b] = clamp(from, to);
    for (auto i = a; i < b; ++i) {
      const double s = left_[size_t(i)] + c * s1 - s2;
      s2 = s1;
      s1 = s;
    }
    return b > a ? 2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / double(b - a) : 0;
  }
  // A frame at or after `from` from which a tone of `hz` is surely on at `level` or more,
  // over other sound: the end of the first 10 ms window that holds it; -1 when none.
  std::int64_t toneFrom(std::int64_t from, double hz, double level = 0.2) const {
    constexpr std::int64_t kWindow = 441;
    for (auto i = std::max<std::int64_t>(0, from); i + kWindow <= std::int64_t(left_.size()); i += 32)
      if (tone(i, i + kWindow, hz) > level) return i + kWindow;
    return -1;
  }
  // First frame at or after `from` whose level exceeds `threshold`; -1 when none.
  std::int64_t firstSound(std::int64_t from, double threshold = 0.01) const {
    for (auto i = clamp(from, from).first; i < std::int64_t(left_.size()); ++i)
      if (std::abs(left_[size_t(i)]) > threshold) return i;
    return -1;
  }

 private:
  std::pair<std::int64_t, std::int64_t> clamp(std::int64_t from, std::int64_t to) const {
    return {std::max<std::int64_t>(0, from), std::min(to, std::int64_t(left_.size()))};
  }
  std::vector<double> left_;
};

}  // namespace media

class SoundTest : public TempFolderTest, public TraceCapture {
 protected:
  static constexpr std::int64_t ms(int n) { return std::int64_t(n) * media::kRate / 1000; }
  // A command reaches the mixer at the latest with the buffer after the one being mixed
  // (2048 frames); a sound then needs a few frames to rise from zero.
  static constexpr std::int64_t kSettle = 2048 + 32;

  void SetUp() override {
    TempFolderTest::SetUp();
    out_ = root() + "/audio.raw";
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", out_.c_str(), 1);
    ::setenv("SDL_DISKAUDIODELAY", "5", 1);  // faster than real time; positions are in frames
    const char* small = "/usr/share/sounds/sf2/TimGM6mb.sf2";  // keeps every test process quick
    ::setenv("SDL_SOUNDFONTS", ::access(small, R_OK) == 0 ? small : "/usr/share/sounds/sf2/FluidR3_GM.sf2", 1);
  }
  void TearDown() override {
    sound::winmm::test_hooks::reset();
    TempFolderTest::TearDown();
  }

  static std::int64_t now() { return sound::winmm::test_hooks::mixedFrames(); }
  static sound::winmm::MCIERROR send(const std::string& command) {
    char ret[512];
    return sound::winmm::mciSendStringA(command.c_str(), ret, sizeof ret, nullptr);
  }

  // The frame count just before a call and just after it, once the clip or tune it
  // started has been prepared (off the calling thread): what the call changed is heard
  // no later than the buffer that starts after `after`. The mixer may run on for a few
  // buffers before `after` is read, so windows over what a call started begin where the
  // sound is found, and `after` only bounds how late that may be.
  struct Mark {
    std::int64_t before, after;
  };
  template <class Call>
  static Mark mark(Call&& call) {
    const std::int64_t before = now();
    call();
    sound::winmm::test_hooks::waitUntilPrepared();
    return {before, now()};
  }
  // Sleeps until the mixer has produced `frames` more frames (10 s at most).
  static void advance(std::int64_t frames) {
    const std::int64_t target = now() + frames;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (now() < target && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // Closes the device and reads back everything it played.
  media::Capture capture() { return media::Capture(out_, sound::winmm::test_hooks::reset()); }
  // Trace lines of one kind ("mci ", "snd "), without their time stamps and line ends.
  std::vector<std::string> traced(const std::string& kind) const {
    std::vector<std::string> out = TraceCapture::traced();
    std::erase_if(out, [&](const std::string& line) { return line.rfind(kind, 0) != 0; });
    return out;
  }

 private:
  std::string out_;
};
