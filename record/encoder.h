#pragma once
// Writes a video file with FFmpeg's libraries: 30 pictures a second, enlarged by a whole
// factor (nearest neighbour), and 48 kHz stereo sound. The file name's ending chooses the
// format: ".mp4" H.264 and AAC, ".webm" VP9 and Opus, anything else Matroska with H.264
// and AAC.
#include <QImage>
#include <QString>
#include <memory>
#include <stdexcept>

namespace record {

struct EncoderError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Encoder {
 public:
  static constexpr int kFrameRate = 30;
  static constexpr int kSampleRate = 48000;

  // Creates the file at once, so that a file that cannot be written is known before any
  // work. Throws EncoderError with a one-line reason.
  explicit Encoder(const QString& path);
  ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // Sets up the streams for pictures of `source` size enlarged `scale` times; before the
  // first frame.
  void start(QSize source, int scale);
  // The next frame. `changed` false repeats the previous picture without converting it.
  void addFrame(const QImage& picture, bool changed);
  // Interleaved stereo samples in -1..1.
  void addAudio(const float* samples, int frames);
  // Flushes the encoders and completes the file; it is playable from then on.
  void finish();

  qint64 frames() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace record
