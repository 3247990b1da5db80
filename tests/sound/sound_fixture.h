#pragma once
// Sound tests run SDL's disk audio driver: whatever the mixer produces lands in a raw
// file (44.1 kHz, 16-bit stereo), read back after the device is closed. Positions are
// counted in mixed frames, so the tests do not depend on the wall clock.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

#include "platform/trace.h"
#include "platform/winmm.h"
#include "tests/support/temp_folder.h"

namespace media {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

inline void put16(std::string& out, unsigned v) {
  out += char(v >> 8 & 0xFF);
  out += char(v & 0xFF);
}
inline void put32(std::string& out, unsigned v) {
  put16(out, v >> 16);
  put16(out, v & 0xFFFF);
}
inline void putVarLen(std::string& out, unsigned v) {
  std::string bytes(1, char(v & 0x7F));
  while ((v >>= 7) != 0) bytes.insert(bytes.begin(), char(0x80 | (v & 0x7F)));
  out += bytes;
}

struct Note {
  int startMs;
  int lengthMs;
  int key;
};

// A format-0 file with one tick per millisecond: the notes on one instrument, then the
// end of the track at endMs.
inline std::string midi(const std::vector<Note>& notes, int endMs, int program = 19) {
  struct Event {
    int at;
    std::string bytes;
  };
  std::vector<Event> events;
  for (const Note& n : notes) {
    events.push_back({n.startMs, {char(0x90), char(n.key), char(110)}});
    events.push_back({n.startMs + n.lengthMs, {char(0x80), char(n.key), char(0)}});
  }
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
  std::string track;
  track += std::string("\x00\xFF\x51\x03\x07\xA1\x20", 7);  // 500,000 us per quarter
  track += std::string("\x00\xC0", 2) + char(program);
  int now = 0;
  for (const Event& e : events) {
    putVarLen(track, unsigned(e.at - now));
    track += e.bytes;
    now = e.at;
  }
  putVarLen(track, unsigned(std::max(0, endMs - now)));
  track += std::string("\xFF\x2F\x00", 3);
  std::string file = "MThd";
  put32(file, 6);
  put16(file, 0);
  put16(file, 1);
  put16(file, 500);  // ticks per quarter: 1 ms per tick at 120 bpm
  file += "MTrk";
  put32(file, unsigned(track.size()));
  return file + track;
}

inline void putLe(std::string& out, unsigned v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += char(v >> (8 * i) & 0xFF);
}

// A sine tone; by default mono 16-bit at 22,050 Hz, the usual format of voice clips.
inline std::string wav(double hz, double seconds, double level = 0.5, int rate = 22050, int bits = 16,
                       int channels = 1) {
  const int frames = int(seconds * rate);
  std::string data;
  for (int i = 0; i < frames; ++i) {
    const double v = level * std::sin(2 * kPi * hz * i / rate);
    for (int c = 0; c < channels; ++c) {
      if (bits == 8) {
        putLe(data, unsigned(128 + std::lround(v * 127)), 1);
      } else {
        putLe(data, std::uint16_t(static_cast<std::int16_t>(v * 32767)), 2);
      }
    }
  }
  const int block = channels * bits / 8;
  std::string file = "RIFF";
  putLe(file, unsigned(36 + data.size()), 4);
  file += "WAVEfmt ";
  putLe(file, 16, 4);
  putLe(file, 1, 2);  // PCM
  putLe(file, unsigned(channels), 2);
  putLe(file, unsigned(rate), 4);
  putLe(file, unsigned(rate * block), 4);
  putLe(file, unsigned(block), 2);
  putLe(file, unsigned(bits), 2);
  file += "data";
  putLe(file, unsigned(data.size()), 4);
  return file + data;
}

inline std::string soundFontForTests() {
  // The small font keeps every test process quick.
  for (const char* path : {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"}) {
    if (::access(path, R_OK) == 0) return path;
  }
  return {};
}

// The left channel of what the disk driver wrote.
class Capture {
 public:
  explicit Capture(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> raw((std::istreambuf_iterator<char>(f)), {});
    left_.resize(raw.size() / 4);
    for (size_t i = 0; i < left_.size(); ++i) {
      std::int16_t v;
      std::memcpy(&v, raw.data() + i * 4, 2);
      left_[i] = v / 32768.0;
    }
  }
  std::int64_t frames() const { return std::int64_t(left_.size()); }

  double rms(std::int64_t from, std::int64_t to) const {
    clamp(from, to);
    double sum = 0;
    for (auto i = from; i < to; ++i) sum += left_[size_t(i)] * left_[size_t(i)];
    return to > from ? std::sqrt(sum / double(to - from)) : 0;
  }
  double peak(std::int64_t from, std::int64_t to) const {
    clamp(from, to);
    double p = 0;
    for (auto i = from; i < to; ++i) p = std::max(p, std::abs(left_[size_t(i)]));
    return p;
  }
  // Amplitude of one frequency in the window (Goertzel).
  double tone(std::int64_t from, std::int64_t to, double hz) const {
    clamp(from, to);
    const double w = 2 * kPi * hz / kRate;
    double s1 = 0, s2 = 0;
    for (auto i = from; i < to; ++i) {
      const double s = left_[size_t(i)] + 2 * std::cos(w) * s1 - s2;
      s2 = s1;
      s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    return to > from ? 2 * std::sqrt(std::max(0.0, power)) / double(to - from) : 0;
  }
  // First frame at or after `from` whose level exceeds `threshold`; -1 when none.
  std::int64_t firstSound(std::int64_t from, double threshold = 0.01) const {
    for (auto i = std::max<std::int64_t>(from, 0); i < frames(); ++i) {
      if (std::abs(left_[size_t(i)]) > threshold) return i;
    }
    return -1;
  }

 private:
  void clamp(std::int64_t& from, std::int64_t& to) const {
    from = std::max<std::int64_t>(0, from);
    to = std::min(to, frames());
  }
  std::vector<double> left_;
};

}  // namespace media

class SoundTest : public TempFolderTest {
 protected:
  static constexpr std::int64_t ms(int n) { return std::int64_t(n) * media::kRate / 1000; }

  void SetUp() override {
    TempFolderTest::SetUp();
    out_ = root() + "/audio.raw";
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", out_.c_str(), 1);
    ::setenv("SDL_DISKAUDIODELAY", "5", 1);  // faster than real time; positions are in frames
    ::setenv("SDL_SOUNDFONTS", media::soundFontForTests().c_str(), 1);
    platform::trace::setEnabled(true);
    platform::trace::setSink([this](const std::string& line) { trace_.push_back(line); });
  }

  void TearDown() override {
    platform::winmm::test_hooks::reset();
    platform::trace::setSink(nullptr);
    platform::trace::setEnabled(false);
    ::unsetenv("SDL_SOUNDFONTS");
    ::unsetenv("SDL_DISKAUDIODELAY");
    TempFolderTest::TearDown();
  }

  static std::int64_t now() { return platform::winmm::test_hooks::mixedFrames(); }

  // The frame count just before and just after a call: what the call changed is heard
  // no later than the buffer that starts after `after`.
  struct Mark {
    std::int64_t before;
    std::int64_t after;
  };
  template <class Call>
  static Mark mark(Call&& call) {
    const std::int64_t before = now();
    call();
    return {before, now()};
  }

  // Sleeps until the mixer has produced `frames` more frames.
  static std::int64_t advance(std::int64_t frames) {
    const std::int64_t target = now() + frames;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (now() < target && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return now();
  }

  // Closes the device and reads back everything it played.
  media::Capture capture() {
    platform::winmm::test_hooks::reset();
    return media::Capture(out_);
  }

  std::vector<std::string> trace_;

 private:
  std::string out_;
};
