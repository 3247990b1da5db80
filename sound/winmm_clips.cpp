// SPDX-License-Identifier: GPL-3.0-or-later
// WAV clips on mixer channel 0, beside the music: the model's clip output on the device.
//
// Reading, decoding and resampling run on a worker thread, so a long or damaged clip
// never holds the event thread. A clip still being prepared when the next call comes is
// dropped. The worker starts the clip itself, under the same mutex the calls take.
#include <SDL.h>
#include <SDL_mixer.h>

#include <QByteArray>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "sound/wav_clip.h"
#include "sound/winmm_internal.h"

namespace sound::winmm::detail {
namespace {

struct Job {
  std::uint64_t generation = 0;
  std::string path;
  bool orDefault = true;
};

struct Clips {
  std::mutex mutex;
  std::condition_variable wake;      // a job for the worker, or quit
  std::condition_variable prepared;  // the newest call's clip has started or failed
  std::uint64_t generation = 0;      // of the newest call
  std::atomic<std::uint64_t> latest{0};  // the same, read by the worker without the mutex
  std::optional<Job> job;
  bool preparing = false;  // the newest call's clip is not ready yet
  bool quit = false;
  Mix_Chunk* current = nullptr;
  std::vector<std::int16_t> samples;  // the current chunk's sound
  // Sound of clips cut off, freed by the worker: giving back 50 MB of a long clip takes
  // the system milliseconds.
  std::vector<std::vector<std::int16_t>> spent;
  std::thread worker;
};

// Counts clips that ended on the mixer, so that a synchronous call sleeps until one does.
// Bumped from inside the mixer's lock (also by a halt on the calling thread), so it takes
// no mutex: waiting with one would invert the order of the two locks.
std::atomic<std::uint64_t> clipEnds{0};

void clipEnded(int channel) {
  if (channel != kClipChannel) return;
  clipEnds.fetch_add(1);
  clipEnds.notify_all();
}

// Never destroyed: the worker may outlive static destruction.
Clips& clips() {
  static Clips* c = new Clips;
  return *c;
}

// Mutex held.
void stopClip(Clips& c) {
  Mix_HaltChannel(kClipChannel);
  if (c.current != nullptr) Mix_FreeChunk(c.current);
  c.current = nullptr;
  if (!c.samples.empty()) {
    c.spent.push_back(std::move(c.samples));
    c.samples = {};
    c.wake.notify_one();
  }
}

// Mutex held. The default sound in place of a clip that cannot be played.
bool playDefault() {
  Mix_Chunk* chunk = chime();
  return chunk != nullptr && Mix_PlayChannel(kClipChannel, chunk, 0) >= 0;
}

ClipDecode readAndDecode(const std::string& path, const std::function<bool()>& stale) {
  const std::optional<QByteArray> data = platform::readFileBytes(path);
  if (!data) return {{}, QStringLiteral("the file cannot be read")};
  return decodeClip(*data, stale);
}

void work() {
  Clips& c = clips();
  std::unique_lock lock(c.mutex);
  while (true) {
    c.wake.wait(lock, [&] { return c.quit || c.job.has_value() || !c.spent.empty(); });
    if (c.quit) return;
    if (!c.spent.empty()) {
      auto spent = std::move(c.spent);
      c.spent.clear();
      lock.unlock();
      spent.clear();
      lock.lock();
      continue;
    }
    const Job job = *c.job;
    c.job.reset();
    lock.unlock();
    // A newer call makes this clip stale: resampling stops early, so the newer one waits less.
    ClipDecode clip = readAndDecode(job.path, [&] { return c.latest.load() != job.generation; });
    lock.lock();
    if (job.generation != c.generation) continue;  // a newer call came meanwhile
    if (clip.problem.isEmpty()) {
      c.samples = std::move(clip.samples);
      c.current = Mix_QuickLoad_RAW(reinterpret_cast<Uint8*>(c.samples.data()),
                                    Uint32(c.samples.size() * sizeof(std::int16_t)));
      if (c.current == nullptr || Mix_PlayChannel(kClipChannel, c.current, 0) < 0) stopClip(c);
    } else if (job.orDefault) {
      playDefault();
    }
    c.preparing = false;
    c.prepared.notify_all();
  }
}

// The device's mixer channel as the model's clip output.
class LiveClips : public ClipOutput {
 public:
  bool available() override {
    if (!ensureAudio()) return false;
    Clips& c = clips();
    std::lock_guard lock(c.mutex);
    if (!c.worker.joinable()) {
      Mix_ChannelFinished(clipEnded);
      c.worker = std::thread(work);
    }
    return true;
  }
  bool busy() override {
    Clips& c = clips();
    std::lock_guard lock(c.mutex);
    return c.preparing || Mix_Playing(kClipChannel) != 0;
  }
  void stop() override {
    Clips& c = clips();
    std::lock_guard lock(c.mutex);
    c.latest = ++c.generation;
    c.job.reset();
    c.preparing = false;
    stopClip(c);
  }
  bool playDefault() override {
    std::lock_guard lock(clips().mutex);
    return detail::playDefault();
  }
  void play(const std::string& path, bool orDefault) override {
    Clips& c = clips();
    std::lock_guard lock(c.mutex);
    c.job = Job{c.generation, path, orDefault};
    c.preparing = true;
    c.wake.notify_one();
  }
  void waitUntilDone() override {
    Clips& c = clips();
    std::unique_lock lock(c.mutex);
    const std::uint64_t generation = c.generation;
    c.prepared.wait(lock, [&] { return !c.preparing || c.generation != generation; });
    lock.unlock();
    while (true) {
      const std::uint64_t seen = clipEnds.load();
      if (Mix_Playing(kClipChannel) == 0) return;
      clipEnds.wait(seen);
    }
  }
};

}  // namespace

ClipOutput& liveClips() {
  static auto* output = new LiveClips;
  return *output;
}

void waitForClips() {
  Clips& c = clips();
  std::unique_lock lock(c.mutex);
  c.prepared.wait(lock, [&] { return !c.preparing; });
}

void resetClips() {
  Clips& c = clips();
  {
    std::lock_guard lock(c.mutex);
    c.quit = true;
  }
  c.wake.notify_all();
  if (c.worker.joinable()) c.worker.join();
  if (audioIsOpen()) {
    Mix_HaltChannel(-1);
    if (c.current != nullptr) Mix_FreeChunk(c.current);
  }
  c.current = nullptr;
  c.samples = {};
  c.spent.clear();
  c.job.reset();
  c.preparing = false;
  c.quit = false;
  c.generation = 0;
  c.latest = 0;
}

}  // namespace sound::winmm::detail
