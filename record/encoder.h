// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Encodes the stage with FFmpeg's libraries: 30 pictures a second, enlarged by a whole
// factor (nearest neighbour), 48 kHz stereo sound and the captions as subtitles. One set
// of encoders feeds one of three outputs:
//
// A file: the name's ending chooses the format: ".mp4" H.264, AAC and mov_text, ".webm"
// VP9, Opus and WebVTT, ".mkv" Matroska with H.264, AAC and SRT.
//
// Whatever ends the recording, nothing unplayable is left under the final name: the
// pictures and sound go first to "OUT.partial.mkv" (".partial.webm" for WebM) beside OUT,
// Matroska with a cluster written and flushed about once a second, so that after a kill
// or a power cut it plays up to its last second. finish() completes it and puts it under
// OUT in one rename; an MP4 is copied into its own container first, index at the front.
//
// A live HLS folder (hls.h): H.264 and AAC in 2-second MPEG-TS segments, the captions in
// WebVTT segments beside them.
//
// A live URL: FLV for rtmp://, MPEG-TS for srt://, udp:// and tcp:// (neither carries the
// captions). When the other end goes away the encoding goes on and the connection is
// made again, after 1, 2, 4 ... at most 30 seconds; packets meanwhile are dropped.
//
// Live outputs use x264's fastest settings without delay and a key frame every 2 seconds.
#include <QImage>
#include <QString>
#include <memory>
#include <stdexcept>

#include "record/cues.h"

namespace record {

struct EncoderError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Encoder {
 public:
  static constexpr int kFrameRate = 30;
  static constexpr int kSampleRate = 48000;
  static constexpr int kSegmentFrames = 2 * kFrameRate;  // live: a key frame, and an HLS segment

  enum class Output { File, Hls, Url };

  // The file written while recording.
  static QString partialName(const QString& out);

  // Creates the partial file (the HLS folder's files) at once, so that a place that cannot
  // be written is known before any work; a URL is first connected in start(). Throws
  // EncoderError with a one-line reason.
  explicit Encoder(const QString& out, Output output = Output::File);
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
  // A caption cue; cues come in order, each once it has ended. A live HLS stream wants
  // them cut at each segment's end (CueTrack::cut) before the segment's next frame.
  void addCue(const Cue& cue);
  bool live() const;
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
