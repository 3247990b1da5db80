// WAV clips on mixer channel 0, beside the music.
//
// The call itself only looks at the file's header: reading, decoding and resampling run
// on a worker thread, so a long or damaged clip never holds the event thread. The
// newest call wins: a clip still being prepared when the next call comes is dropped.
// The worker starts the clip itself, under the same mutex the calls take.
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
#include "platform/wav_clip.h"
#include "platform/winmm.h"
#include "platform/winmm_internal.h"

namespace platform::winmm::detail {
namespace {

// Enough of a file to reach the data chunk of any ordinary WAV file.
constexpr qsizetype kHeadBytes = 64 * 1024;

struct Job {
  std::uint64_t generation = 0;
  std::string path;
  unsigned flags = 0;
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
bool playDefault(unsigned flags) {
  if ((flags & SND_NODEFAULT) != 0) return false;
  Mix_Chunk* chunk = chime();
  return chunk != nullptr && Mix_PlayChannel(kClipChannel, chunk, 0) >= 0;
}

ClipDecode readAndDecode(const std::string& path, const std::function<bool()>& stale = {}) {
  const std::optional<QByteArray> data = readFileBytes(path);
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
    } else {
      playDefault(job.flags);
    }
    c.preparing = false;
    c.prepared.notify_all();
  }
}

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

// Why the file behind a clip name cannot even be tried; empty when the worker should try it.
QString quickProblem(const QString& name, std::string& path) {
  const std::optional<std::string> found = resolvePath(name);
  if (!found || !isOrdinaryFile(*found)) return QStringLiteral("file not found");
  path = *found;
  const auto head = readHead(path);
  if (!head) return QStringLiteral("the file cannot be read");
  return wavHeaderProblem(head->first, head->second);
}

}  // namespace

bool playSound(const char* soundName, const QString& name, unsigned flags) {
  if (!ensureAudio()) return false;
  Clips& c = clips();
  std::unique_lock lock(c.mutex);
  if (!c.worker.joinable()) c.worker = std::thread(work);
  if ((flags & SND_NOSTOP) != 0 && (c.preparing || Mix_Playing(kClipChannel) != 0)) return false;
  const std::uint64_t generation = ++c.generation;
  c.latest = generation;
  c.job.reset();
  c.preparing = false;
  stopClip(c);
  if (soundName == nullptr) return true;  // a null name only stops the sound

  std::string path;
  if (!quickProblem(name, path).isEmpty()) {
    if (!playDefault(flags)) return false;
  } else {
    c.job = Job{generation, std::move(path), flags};
    c.preparing = true;
    c.wake.notify_one();
  }
  if ((flags & SND_ASYNC) == 0) {
    c.prepared.wait(lock, [&] { return !c.preparing || c.generation != generation; });
    lock.unlock();
    while (Mix_Playing(kClipChannel) != 0) SDL_Delay(5);
  }
  return true;
}

void waitForClips() {
  Clips& c = clips();
  std::unique_lock lock(c.mutex);
  c.prepared.wait(lock, [&] { return !c.preparing; });
}

QString clipProblem(const QString& name) {
  const std::optional<std::string> path = resolvePath(name);
  if (!path || !isOrdinaryFile(*path)) return QStringLiteral("file not found");
  return readAndDecode(*path).problem;
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

}  // namespace platform::winmm::detail
