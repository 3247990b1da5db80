// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/hls.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <deque>

#include "platform/files.h"
#include "record/av_check.h"
#include "record/encoder.h"

namespace record {
namespace {

struct Entry {
  qint64 number = 0;
  double seconds = 0;
  bool discontinuity = false;  // follows a restart
};

// "avc1.PPCCLL" of the encoder's parameter set (Annex B or avcC), as players want it.
QString avcCodec(const AVCodecContext* video) {
  const uint8_t* data = video->extradata;
  const int size = video->extradata_size;
  for (int i = 0; i + 4 < size; ++i) {
    const bool avcc = i == 0 && data[0] == 1;
    if (avcc || (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && (data[i + 3] & 0x1f) == 7)) {
      const uint8_t* sps = avcc ? data + 1 : data + i + 4;
      return QString::asprintf("avc1.%02x%02x%02x", sps[0], sps[1], sps[2]);
    }
  }
  return QStringLiteral("avc1.64001f");
}

}  // namespace

struct HlsFolder::Impl {
  QDir folder;
  std::deque<Entry> entries;  // listed
  std::deque<qint64> leaving;  // left the window, files kept a little longer
  qint64 mediaSequence = 0;
  qint64 discontinuitySequence = 0;
  qint64 next = 0;
  bool restarted = false;

  const AVCodecContext* videoCodec = nullptr;
  const AVCodecContext* audioCodec = nullptr;
  AVFormatContext* segment = nullptr;
  qint64 segmentNumber = -1;
  double segmentStart = 0;  // seconds, video time
  double lastVideo = 0;
  QList<Cue> cues;

  QString path(const QString& name) const { return folder.filePath(name); }
  static QString videoName(qint64 n) { return QStringLiteral("video%1.ts").arg(n); }
  static QString captionsName(qint64 n) { return QStringLiteral("captions%1.vtt").arg(n); }

  void save(const QString& name, const QByteArray& text) {
    if (const QString why = platform::writeFileAside(path(name), text); !why.isEmpty())
      throw EncoderError("cannot write " + path(name).toStdString() + ": " + why.toStdString());
  }

  // The playlists as they were left, so a restart goes on with them.
  void readEarlier() {
    QFile file(path(QStringLiteral("video.m3u8")));
    if (!file.open(QIODevice::ReadOnly)) return;
    static const QRegularExpression number(QStringLiteral("^video(\\d+)\\.ts$"));
    Entry entry;
    for (const QByteArray& raw : file.readAll().split('\n')) {
      const QString line = QString::fromUtf8(raw).trimmed();
      if (line.startsWith(QLatin1String("#EXT-X-MEDIA-SEQUENCE:")))
        mediaSequence = line.section(u':', 1).toLongLong();
      else if (line.startsWith(QLatin1String("#EXT-X-DISCONTINUITY-SEQUENCE:")))
        discontinuitySequence = line.section(u':', 1).toLongLong();
      else if (line == QLatin1String("#EXT-X-DISCONTINUITY"))
        entry.discontinuity = true;
      else if (line.startsWith(QLatin1String("#EXTINF:")))
        entry.seconds = line.section(u':', 1).section(u',', 0, 0).toDouble();
      else if (const auto match = number.match(line); match.hasMatch()) {
        entry.number = match.captured(1).toLongLong();
        entries.push_back(entry);
        entry = {};
      }
    }
    if (entries.empty()) return;
    restarted = true;
    next = entries.back().number + 1;
    for (qint64 n = entries.front().number - kKeptBeyondWindow; n < entries.front().number; ++n)
      if (n >= 0 && QFile::exists(path(videoName(n)))) leaving.push_back(n);
  }

  QByteArray playlist(bool captions, bool ended) const {
    QByteArray text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n";
    text += "#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(mediaSequence) + '\n';
    if (discontinuitySequence > 0)
      text += "#EXT-X-DISCONTINUITY-SEQUENCE:" + QByteArray::number(discontinuitySequence) + '\n';
    for (const Entry& e : entries) {
      if (e.discontinuity) text += "#EXT-X-DISCONTINUITY\n";
      text += "#EXTINF:" + QByteArray::number(e.seconds, 'f', 3) + ",\n";
      text += (captions ? captionsName(e.number) : videoName(e.number)).toUtf8() + '\n';
    }
    if (ended) text += "#EXT-X-ENDLIST\n";
    return text;
  }

  void openSegment(double start) {
    segmentNumber = next++;
    segmentStart = start;
    const QByteArray file = QFile::encodeName(path(videoName(segmentNumber) + QStringLiteral(".part")));
    check(avformat_alloc_output_context2(&segment, nullptr, "mpegts", file.constData()), "segment format");
    for (const AVCodecContext* codec : {videoCodec, audioCodec}) {
      AVStream* stream = avformat_new_stream(segment, nullptr);
      if (stream == nullptr) throw EncoderError("out of memory");
      check(avcodec_parameters_from_context(stream->codecpar, codec), "stream");
      stream->time_base = codec->time_base;
    }
    const int r = avio_open(&segment->pb, file.constData(), AVIO_FLAG_WRITE);
    if (r < 0) throw EncoderError("cannot write " + file.toStdString() + ": " + averror(r));
    check(avformat_write_header(segment, nullptr), "segment header");
  }

  // Completes the segment being written and lists it.
  void closeSegment(double end, bool ended) {
    if (segment == nullptr) return;
    const int r = av_write_trailer(segment);
    avio_closep(&segment->pb);
    avformat_free_context(segment);
    segment = nullptr;
    check(r, "segment");
    const QString name = videoName(segmentNumber);
    if (!QFile::rename(path(name + QStringLiteral(".part")), path(name)))
      throw EncoderError("cannot write " + path(name).toStdString());
    QByteArray vtt = subtitleFile(QStringLiteral("vtt"), cues);
    // Cue times are the stream's own, which MPEG-TS carries unchanged from 0.
    vtt.insert(7, "X-TIMESTAMP-MAP=MPEGTS:0,LOCAL:00:00:00.000\n");
    cues.clear();
    save(captionsName(segmentNumber), vtt);
    entries.push_back({segmentNumber, end - segmentStart, std::exchange(restarted, false)});
    while (entries.size() > size_t(kWindow)) {
      if (entries.front().discontinuity) ++discontinuitySequence;
      leaving.push_back(entries.front().number);
      entries.pop_front();
      ++mediaSequence;
    }
    // Captions first: a player that reads the video playlist finds them there.
    save(QStringLiteral("captions.m3u8"), playlist(true, ended));
    save(QStringLiteral("video.m3u8"), playlist(false, ended));
    while (leaving.size() > size_t(kKeptBeyondWindow)) {
      QFile::remove(path(videoName(leaving.front())));
      QFile::remove(path(captionsName(leaving.front())));
      leaving.pop_front();
    }
  }
};

QString HlsFolder::foreignPlaylist(const QString& folder) {
  static const QRegularExpression ours[] = {
      QRegularExpression(QStringLiteral("^(video\\.m3u8|)$")),
      QRegularExpression(QStringLiteral("^(video\\d+\\.ts|)$")),
      QRegularExpression(QStringLiteral("^(captions\\d+\\.vtt|)$")),
  };
  const QString names[] = {QStringLiteral("stream.m3u8"), QStringLiteral("video.m3u8"), QStringLiteral("captions.m3u8")};
  for (int i = 0; i < 3; ++i) {
    QFile file(QDir(folder).filePath(names[i]));
    if (!file.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray& line : file.readAll().split('\n'))
      if (!line.startsWith('#') && !ours[i].match(QString::fromUtf8(line.trimmed())).hasMatch()) return file.fileName();
  }
  return {};
}

HlsFolder::HlsFolder(const QString& folder) : d_(std::make_unique<Impl>()) {
  if (!QDir().mkpath(folder)) throw EncoderError("cannot make the folder " + folder.toStdString());
  d_->folder = QDir(folder);
  d_->readEarlier();
}

HlsFolder::~HlsFolder() {
  if (d_->segment != nullptr) {
    avio_closep(&d_->segment->pb);
    avformat_free_context(d_->segment);
    QFile::remove(d_->path(Impl::videoName(d_->segmentNumber) + QStringLiteral(".part")));
  }
}

void HlsFolder::start(const AVCodecContext* video, const AVCodecContext* audio) {
  d_->videoCodec = video;
  d_->audioCodec = audio;
  const QByteArray master =
      "#EXTM3U\n#EXT-X-VERSION:3\n"
      "#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"subs\",NAME=\"Captions\",LANGUAGE=\"ja\",DEFAULT=NO,AUTOSELECT=NO,"
      "URI=\"captions.m3u8\"\n"
      "#EXT-X-STREAM-INF:BANDWIDTH=" + QByteArray::number(qint64(2000000)) + ",CODECS=\"" + avcCodec(video).toUtf8() +
      ",mp4a.40.2\",RESOLUTION=" + QByteArray::number(video->width) + 'x' + QByteArray::number(video->height) +
      ",SUBTITLES=\"subs\"\nvideo.m3u8\n";
  d_->save(QStringLiteral("stream.m3u8"), master);
}

void HlsFolder::write(AVPacket* packet, const AVCodecContext* codec, bool video) {
  Impl& d = *d_;
  if (video) {
    const double at = double(packet->pts) * av_q2d(codec->time_base);
    if ((packet->flags & AV_PKT_FLAG_KEY) != 0 && (d.segment == nullptr || at - d.segmentStart > 1.999)) {
      d.closeSegment(at, false);
      d.openSegment(at);
    }
    d.lastVideo = at + av_q2d(codec->time_base);
  }
  // Sound before the first picture, and the encoder's priming before 0, which MPEG-TS
  // would wrap round to the far end of its clock.
  if (d.segment == nullptr || packet->pts < 0) return;
  const int index = video ? 0 : 1;
  av_packet_rescale_ts(packet, codec->time_base, d.segment->streams[index]->time_base);
  packet->stream_index = index;
  check(av_interleaved_write_frame(d.segment, packet), "writing a segment");
}

void HlsFolder::addCue(const Cue& cue) { d_->cues.append(cue); }

void HlsFolder::finish() { d_->closeSegment(d_->lastVideo, true); }

}  // namespace record
