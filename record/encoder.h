// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes a video file with FFmpeg's libraries: 30 pictures a second, enlarged by a whole
// factor (nearest neighbour), and 48 kHz stereo sound. The file name's ending chooses the
// format: ".mp4" H.264 and AAC, ".webm" VP9 and Opus, ".mkv" Matroska with H.264 and AAC.
//
// Whatever ends the recording, nothing unplayable is left under the final name: the
// pictures and sound go first to "OUT.partial.mkv" (".partial.webm" for WebM) beside OUT,
// Matroska with a cluster written and flushed about once a second, so that after a kill
// or a power cut it plays up to its last second. finish() completes it and puts it under
// OUT in one rename; an MP4 is copied into its own container first, index at the front.
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

  // The file written while recording.
  static QString partialName(const QString& out);

  // Creates the partial file at once, so that a place that cannot be written is known
  // before any work. Throws EncoderError with a one-line reason.
  explicit Encoder(const QString& out);
  // Without finish() the partial file stays as it is.
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
  // Flushes the encoders and puts the completed file under OUT; with no frame recorded,
  // removes the partial file and leaves no OUT. Also after an error of addFrame or
  // addAudio. Throws EncoderError when OUT could not be completed; its text names OUT
  // and what was kept.
  void finish();

  qint64 frames() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace record
