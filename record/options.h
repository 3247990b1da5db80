// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What `kivo --record OUT [--programme KIVO.nnn] [--subtitles FILE] [--scale N] [FOLDER]`
// and `kivo --broadcast --stream DEST [--once] [--scale N] [FOLDER]` ask for.
#include <QFileInfo>
#include <QString>
#include <functional>

namespace record {

struct Options {
  QString out;        // the video file; its ending chooses the format
  QString programme;  // empty: every programme of the folder once
  QString folder;     // empty: the current directory
  int scale = 2;      // whole-number, nearest-neighbour enlargement of the picture
  bool overwrite = false;  // an existing OUT may be replaced (never a file the programmes use)
  QString subtitles;  // a .vtt or .srt file of the captions beside OUT; empty: none
  // The live stream instead of OUT: a folder (HLS) or a URL, played in real time by the
  // station, round after round unless `once`.
  QString stream;
  bool once = false;
  QString webDir;  // the watch page's files for an HLS folder; empty: none found
  // The number of a signal that asks the recording to end, 0 while none has come; asked
  // between steps of the virtual clock.
  std::function<int()> stopSignal = [] { return 0; };
};

// The container an output name asks for, by its ending: "mp4", "webm" or "matroska"
// (.mkv); empty for any other ending.
inline QString videoFormat(const QString& file) {
  const QString suffix = QFileInfo(file).suffix().toLower();
  if (suffix == QLatin1String("mp4")) return QStringLiteral("mp4");
  if (suffix == QLatin1String("webm")) return QStringLiteral("webm");
  if (suffix == QLatin1String("mkv")) return QStringLiteral("matroska");
  return {};
}

// A subtitle file beside a recording, by its ending: "vtt", "srt", or empty for others.
inline QString subtitleFormat(const QString& file) {
  const QString suffix = QFileInfo(file).suffix().toLower();
  return suffix == QLatin1String("vtt") || suffix == QLatin1String("srt") ? suffix : QString();
}

// What a stream destination gets: "hls" for a folder, "flv" for rtmp:// and rtmps://,
// "mpegts" for srt://, udp:// and tcp://; empty for a URL of another scheme.
inline QString streamFormat(const QString& destination) {
  const qsizetype colon = destination.indexOf(QLatin1String("://"));
  if (colon < 0) return QStringLiteral("hls");
  const QString scheme = destination.left(colon).toLower();
  if (scheme == QLatin1String("rtmp") || scheme == QLatin1String("rtmps")) return QStringLiteral("flv");
  if (scheme == QLatin1String("srt") || scheme == QLatin1String("udp") || scheme == QLatin1String("tcp"))
    return QStringLiteral("mpegts");
  return {};
}
inline constexpr const char* kStreamSchemes = "rtmp://, rtmps://, srt://, udp:// or tcp://";

// The whole mode after the command line: checks, records. Returns the exit status: 0
// done, 1 a programme ended early with a run-time error or the file could not be
// written to the end, 2 nothing could be recorded (folder, OUT), 128 + N ended by signal N.
int runProcess(const Options& options, char* programName);

}  // namespace record
