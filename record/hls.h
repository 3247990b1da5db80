// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A live HLS folder: "stream.m3u8" names the picture and sound ("video.m3u8", MPEG-TS
// segments) and the captions ("captions.m3u8", WebVTT segments, language "ja", not shown
// unless chosen). Segments are 2 seconds, cut at the encoder's key frames; the playlists
// list the last kWindow of them and older segment files are deleted, so the folder stays
// small however long the station runs. Every file is written aside and renamed, so a
// reader never sees half of one.
//
// A station started again into the same folder goes on with the playlists it finds:
// the media sequence continues and the first new segment follows a discontinuity. The
// end (finish) marks the playlists as ended.
#include <QList>
#include <QString>
#include <memory>

#include "record/cues.h"

struct AVCodecContext;
struct AVPacket;

namespace record {

class HlsFolder {
 public:
  static constexpr int kWindow = 6;
  static constexpr int kKeptBeyondWindow = 2;  // players may still fetch what just left

  // A playlist in `folder` that kivo did not write, which a stream there would replace;
  // empty when there is none.
  static QString foreignPlaylist(const QString& folder);

  // Creates the folder if needed and reads the playlists of an earlier stream in it.
  // Throws EncoderError.
  explicit HlsFolder(const QString& folder);
  ~HlsFolder();

  // After the codecs are open, before the first packet.
  void start(const AVCodecContext* video, const AVCodecContext* audio);
  // A packet in `codec`'s time base; a video key frame 2 s after the segment's start
  // begins the next segment.
  void write(AVPacket* packet, const AVCodecContext* codec, bool video);
  void addCue(const Cue& cue);
  // Completes the segment being written and ends the playlists.
  void finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace record
