// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "record/av_check.h"
#include "record/hls.h"
#include "record/options.h"

namespace record {
namespace {

// QImage::Format_RGB32 holds 0xffRRGGBB words: bytes B, G, R, x in memory on little-endian.
// "m:ss" of a time in frames.
std::string duration(qint64 frames) {
  const qint64 seconds = frames / Encoder::kFrameRate;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  return text;
}

std::string local(const QString& path) { return path.toLocal8Bit().toStdString(); }

// The sample description MP4 wants for mov_text, as FFmpeg's encoder makes it from a
// plain style.
void setMovText(AVCodecParameters* parameters) {
  static const char kAss[] =
      "[Script Info]\r\nScriptType: v4.00+\r\nPlayResX: 384\r\nPlayResY: 288\r\n\r\n[V4+ Styles]\r\n"
      "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
      "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
      "MarginR, MarginV, Encoding\r\nStyle: Default,Sans,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,"
      "10,10,10,0\r\n\r\n[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, "
      "Text\r\n";
  struct Context {
    AVCodecContext* c = avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_MOV_TEXT));
    ~Context() { avcodec_free_context(&c); }
  } context;
  if (context.c == nullptr) throw EncoderError("this FFmpeg has no mov_text encoder");
  context.c->subtitle_header = reinterpret_cast<uint8_t*>(av_strdup(kAss));
  context.c->subtitle_header_size = int(sizeof kAss - 1);
  context.c->time_base = AVRational{1, 1000};
  check(avcodec_open2(context.c, context.c->codec, nullptr), "subtitle encoder");
  check(avcodec_parameters_from_context(parameters, context.c), "subtitle stream");
}

// A mov_text sample of an SRT packet: the text behind its length.
void toMovText(AVPacket* packet) {
  const int size = std::min(packet->size, 0xffff);
  AVPacket* sample = av_packet_alloc();
  if (sample == nullptr || av_new_packet(sample, size + 2) < 0) throw EncoderError("out of memory");
  sample->data[0] = uint8_t(size >> 8);
  sample->data[1] = uint8_t(size);
  std::memcpy(sample->data + 2, packet->data, size_t(size));
  av_packet_copy_props(sample, packet);
  av_packet_unref(packet);
  av_packet_move_ref(packet, sample);
  av_packet_free(&sample);
}

// Copies the completed Matroska file `from` into an MP4 at `to`, index at the front; its
// SRT captions become MP4's own mov_text.
void remux(const QByteArray& from, const QByteArray& to) {
  struct Files {
    AVFormatContext* in = nullptr;
    AVFormatContext* out = nullptr;
    AVPacket* packet = av_packet_alloc();
    ~Files() {
      av_packet_free(&packet);
      avformat_close_input(&in);
      if (out != nullptr) {
        if (out->pb != nullptr) avio_closep(&out->pb);
        avformat_free_context(out);
      }
    }
  } f;
  if (f.packet == nullptr) throw EncoderError("out of memory");
  check(avformat_open_input(&f.in, from.constData(), nullptr, nullptr), "reading the recording back");
  check(avformat_find_stream_info(f.in, nullptr), "reading the recording back");
  check(avformat_alloc_output_context2(&f.out, nullptr, "mp4", to.constData()), "output format");
  for (unsigned i = 0; i < f.in->nb_streams; ++i) {
    AVStream* stream = avformat_new_stream(f.out, nullptr);
    if (stream == nullptr) throw EncoderError("out of memory");
    const AVCodecParameters* in = f.in->streams[i]->codecpar;
    if (in->codec_id == AV_CODEC_ID_SUBRIP)
      setMovText(stream->codecpar);
    else
      check(avcodec_parameters_copy(stream->codecpar, in), "copying a stream");
    av_dict_copy(&stream->metadata, f.in->streams[i]->metadata, 0);
    stream->codecpar->codec_tag = 0;
    stream->time_base = f.in->streams[i]->time_base;
  }
  check(avio_open(&f.out->pb, to.constData(), AVIO_FLAG_WRITE), "writing");
  AVDictionary* options = nullptr;
  // The index goes to the front, so players and browsers can start before the end arrives.
  av_dict_set(&options, "movflags", "+faststart", 0);
  const int r = avformat_write_header(f.out, &options);
  av_dict_free(&options);
  check(r, "writing");
  // Matroska cannot start before 0, so it moved everything by the sound's priming; the
  // picture starts at 0 again and the priming goes before it, into MP4's edit list.
  const int video = av_find_best_stream(f.in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int64_t shift = video >= 0 && f.in->streams[video]->start_time != AV_NOPTS_VALUE
                            ? av_rescale_q(f.in->streams[video]->start_time, f.in->streams[video]->time_base, AV_TIME_BASE_Q)
                            : 0;
  while (av_read_frame(f.in, f.packet) >= 0) {
    const AVRational from_tb = f.in->streams[f.packet->stream_index]->time_base;
    const int64_t by = av_rescale_q(shift, AV_TIME_BASE_Q, from_tb);
    if (f.packet->pts != AV_NOPTS_VALUE) f.packet->pts -= by;
    if (f.packet->dts != AV_NOPTS_VALUE) f.packet->dts -= by;
    av_packet_rescale_ts(f.packet, from_tb, f.out->streams[f.packet->stream_index]->time_base);
    f.packet->pos = -1;
    if (f.in->streams[f.packet->stream_index]->codecpar->codec_id == AV_CODEC_ID_SUBRIP) toMovText(f.packet);
    check(av_interleaved_write_frame(f.out, f.packet), "writing");
  }
  check(av_write_trailer(f.out), "writing");
  check(avio_closep(&f.out->pb), "writing");
}

// Makes `to` a finished MP4 of the Matroska file `from`, or leaves it as it was: the copy
// is written to a file without a name, which is named only once it is complete.
void remuxInPlace(const QString& from, const QString& to) {
  const QByteArray folder = QFile::encodeName(QFileInfo(to).absolutePath());
  const int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) {
    // A file system without unnamed files: a named one, removed unless complete.
    const QByteArray named = QFile::encodeName(to + QStringLiteral(".partial.mp4"));
    try {
      remux(QFile::encodeName(from), named);
    } catch (...) {
      ::unlink(named.constData());
      throw;
    }
    if (::rename(named.constData(), QFile::encodeName(to).constData()) != 0) {
      const int error = errno;
      ::unlink(named.constData());
      throw EncoderError(std::strerror(error));
    }
    return;
  }
  const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
  try {
    remux(QFile::encodeName(from), self);
  } catch (...) {
    ::close(fd);
    throw;
  }
  // Named first beside OUT, then renamed over it: OUT is never half there.
  const QByteArray target = QFile::encodeName(to);
  const QByteArray named = QFile::encodeName(Encoder::partialName(to) + QStringLiteral(".done"));
  ::unlink(named.constData());
  const bool ok = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, named.constData(), AT_SYMLINK_FOLLOW) == 0 &&
                  ::rename(named.constData(), target.constData()) == 0;
  const int error = errno;
  ::close(fd);
  if (!ok) {
    ::unlink(named.constData());
    throw EncoderError(std::strerror(error));
  }
}

constexpr AVPixelFormat kSourceFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_0RGB;

}  // namespace

// A live URL that may go away: while it is gone, packets are dropped and the connection
// is tried again after 1, 2, 4 ... at most 30 seconds; one line on stderr per outage.
struct UrlOutput {
  using Clock = std::chrono::steady_clock;
  QByteArray url;
  QByteArray format;  // "flv", "mpegts"
  AVFormatContext* context = nullptr;
  Clock::time_point retryAt{};
  int backoff = 1;
  bool lost = false;
  bool reached = false;  // connected at least once
  bool needKey = true;  // after connecting, the picture starts at a key frame

  ~UrlOutput() { close(); }
  void close() {
    if (context == nullptr) return;
    if (context->pb != nullptr) avio_closep(&context->pb);
    avformat_free_context(context);
    context = nullptr;
  }

  // Empty when connected, else why not.
  std::string connect(const std::vector<const AVCodecContext*>& codecs) {
    int r = avformat_alloc_output_context2(&context, nullptr, format.constData(), url.constData());
    for (const AVCodecContext* codec : codecs) {
      if (r < 0) break;
      AVStream* stream = avformat_new_stream(context, nullptr);
      r = stream == nullptr ? AVERROR(ENOMEM) : avcodec_parameters_from_context(stream->codecpar, codec);
      if (stream != nullptr) stream->time_base = codec->time_base;
    }
    AVDictionary* options = nullptr;
    // A server that stops answering counts as gone after 5 seconds rather than never.
    av_dict_set(&options, "rw_timeout", "5000000", 0);
    // Its own report of a refused connection would repeat the outage's one line.
    const int level = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET);
    if (r >= 0) r = avio_open2(&context->pb, url.constData(), AVIO_FLAG_WRITE, nullptr, &options);
    av_log_set_level(level);
    av_dict_free(&options);
    if (r >= 0) {
      context->flush_packets = 1;
      r = avformat_write_header(context, nullptr);
    }
    if (r >= 0) return {};
    close();
    return averror(r);
  }

  void outage(const std::string& why) {
    close();
    if (!lost)
      std::fprintf(stderr, reached ? "kivo: stream to %s lost: %s; reconnecting\n"
                                   : "kivo: cannot reach %s: %s; trying again\n",
                   url.constData(), why.c_str());
    lost = true;
    retryAt = Clock::now() + std::chrono::seconds(backoff);
    backoff = std::min(backoff * 2, 30);
  }

  void write(AVPacket* packet, const AVCodecContext* codec, int index, const std::vector<const AVCodecContext*>& codecs) {
    if (context == nullptr) {
      if (Clock::now() < retryAt) return;
      if (const std::string why = connect(codecs); !why.empty()) return outage(why);
      if (lost) std::fprintf(stderr, "kivo: stream to %s is back\n", url.constData());
      lost = false;
      reached = true;
      backoff = 1;
      needKey = true;
    }
    if (packet == nullptr) return;
    if (needKey && (index != 0 || (packet->flags & AV_PKT_FLAG_KEY) == 0)) return;
    needKey = false;
    av_packet_rescale_ts(packet, codec->time_base, context->streams[index]->time_base);
    packet->stream_index = index;
    if (const int r = av_interleaved_write_frame(context, packet); r < 0) outage(averror(r));
  }
};

struct Encoder::Impl {
  Output output = Output::File;
  QString out, partial;
  QString container;  // of OUT
  AVFormatContext* format = nullptr;  // the file
  std::unique_ptr<HlsFolder> hls;
  std::unique_ptr<UrlOutput> url;
  int subtitleIndex = -1;  // in the file
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* picture = nullptr;
  AVFrame* sound = nullptr;
  AVPacket* packet = nullptr;
  QSize source;
  qint64 frameCount = 0;
  qint64 sampleCount = 0;
  std::vector<float> pending;  // interleaved stereo not yet a whole codec frame
  bool webm = false;
  bool headerWritten = false;
  bool finished = false;
  std::string writeError;  // the first failure to write; nothing more is written after it

  ~Impl() {
    sws_freeContext(scaler);
    av_frame_free(&picture);
    av_frame_free(&sound);
    av_packet_free(&packet);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (format != nullptr) {
      if (format->pb != nullptr) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }

  AVCodecContext* openVideo(const AVCodec* codec, QSize size);
  AVCodecContext* openAudio(const AVCodec* codec);
  AVStream* addStream(const AVCodecContext* codec);
  void writeHeader();
  void allocateFrames(QSize size);

  bool live() const { return output != Output::File; }

  // A packet of stream `index` (0 the picture, 1 the sound, 2 the captions) in `tb`.
  void deliver(AVPacket* p, AVRational tb, int index, const AVCodecContext* codec) {
    switch (output) {
      case Output::Hls:
        try {
          hls->write(p, codec, index == 0);
          av_packet_unref(p);
        } catch (const EncoderError& e) {
          if (writeError.empty()) writeError = e.what();
          throw;
        }
        return;
      case Output::Url:
        url->write(p, codec, index, {video, audio});
        av_packet_unref(p);
        return;
      case Output::File:
        break;
    }
    AVStream* stream = format->streams[index];
    av_packet_rescale_ts(p, tb, stream->time_base);
    p->stream_index = index;
    const int w = av_interleaved_write_frame(format, p);
    if (w < 0 && writeError.empty()) writeError = averror(w);
    check(w, "writing");
  }

  void drain(AVCodecContext* codec, AVStream*) {
    for (;;) {
      const int r = avcodec_receive_packet(codec, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      check(r, "encoding");
      deliver(packet, codec->time_base, codec == video ? 0 : 1, codec);
    }
  }

  void send(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    if (!writeError.empty()) throw EncoderError("writing: " + writeError);
    check(avcodec_send_frame(codec, frame), "encoding");
    drain(codec, stream);
  }

  void encodeSound(int frames) {
    check(av_frame_make_writable(sound), "sound frame");
    sound->nb_samples = frames;
    const float* in = pending.data();
    switch (audio->sample_fmt) {
      case AV_SAMPLE_FMT_FLTP:
        for (int c = 0; c < 2; ++c) {
          auto* out = reinterpret_cast<float*>(sound->data[c]);
          for (int i = 0; i < frames; ++i) out[i] = in[2 * i + c];
        }
        break;
      case AV_SAMPLE_FMT_FLT:
        std::copy(in, in + 2 * frames, reinterpret_cast<float*>(sound->data[0]));
        break;
      default: {  // S16
        auto* out = reinterpret_cast<int16_t*>(sound->data[0]);
        for (int i = 0; i < 2 * frames; ++i) out[i] = int16_t(std::clamp(in[i], -1.0f, 1.0f) * 32767);
      }
    }
    sound->pts = sampleCount;
    sampleCount += frames;
    pending.erase(pending.begin(), pending.begin() + 2 * frames);
    send(audio, audioStream, sound);
  }

  // Flushes the encoders and writes the partial file's end; false when writing failed.
  bool complete() {
    try {
      if (!pending.empty()) encodeSound(int(pending.size() / 2));
      send(video, videoStream, nullptr);
      send(audio, audioStream, nullptr);
      if (hls) hls->finish();
      if (url && url->context != nullptr) av_write_trailer(url->context);
      if (format == nullptr) return writeError.empty();
      const int r = av_write_trailer(format);
      if (r < 0 && writeError.empty()) writeError = averror(r);
    } catch (const EncoderError& e) {
      if (writeError.empty()) writeError = e.what();
    }
    if (format == nullptr) return writeError.empty();
    const int r = avio_closep(&format->pb);
    if (r < 0 && writeError.empty()) writeError = averror(r);
    return writeError.empty();
  }
};

QString Encoder::partialName(const QString& out) {
  return out + (videoFormat(out) == QLatin1String("webm") ? QStringLiteral(".partial.webm") : QStringLiteral(".partial.mkv"));
}

Encoder::Encoder(const QString& out, Output output) : d_(std::make_unique<Impl>()) {
  // The encoders' statistics would bury the progress line.
  av_log_set_level(AV_LOG_ERROR);
  Impl& d = *d_;
  d.out = out;
  d.output = output;
  if (output == Output::Hls) {
    d.hls = std::make_unique<HlsFolder>(out);
    return;
  }
  if (output == Output::Url) {
    // A server that goes away is noticed as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
    d.url = std::make_unique<UrlOutput>();
    d.url->url = out.toUtf8();
    d.url->format = streamFormat(out).toUtf8();
    return;
  }
  d.partial = partialName(out);
  d.container = videoFormat(out);
  d.webm = d.container == QLatin1String("webm");
  const QByteArray file = QFile::encodeName(d.partial);
  check(avformat_alloc_output_context2(&d.format, nullptr, d.webm ? "webm" : "matroska", file.constData()), "output format");
  const int r = avio_open(&d.format->pb, file.constData(), AVIO_FLAG_WRITE);
  if (r < 0) throw EncoderError("cannot write " + local(d.partial) + ": " + averror(r));
}

Encoder::~Encoder() = default;

qint64 Encoder::frames() const { return d_->frameCount; }

bool Encoder::live() const { return d_->live(); }

AVCodecContext* Encoder::Impl::openVideo(const AVCodec* codec, QSize size) {
  AVCodecContext* c = avcodec_alloc_context3(codec);
  if (c == nullptr) throw EncoderError("out of memory");
  video = c;
  // yuv420p wants even sizes; an odd side gets one more line of black.
  c->width = (size.width() + 1) & ~1;
  c->height = (size.height() + 1) & ~1;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->time_base = AVRational{1, kFrameRate};
  c->framerate = AVRational{kFrameRate, 1};
  c->gop_size = live() ? kSegmentFrames : 10 * kFrameRate;
  c->color_range = AVCOL_RANGE_MPEG;
  c->colorspace = AVCOL_SPC_BT709;
  c->color_primaries = AVCOL_PRI_BT709;
  c->color_trc = AVCOL_TRC_BT709;
  c->thread_count = 0;
  if (webm) {
    av_opt_set(c->priv_data, "deadline", "realtime", 0);
    av_opt_set_int(c->priv_data, "cpu-used", 8, 0);
    av_opt_set_int(c->priv_data, "row-mt", 1, 0);
    av_opt_set_int(c->priv_data, "crf", 24, 0);
    c->bit_rate = 0;
  } else if (live()) {
    // Real time on a shared machine: no frame waits for later ones, and key frames come
    // exactly every segment, never where the picture happens to change.
    av_opt_set(c->priv_data, "preset", "veryfast", 0);
    av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    av_opt_set(c->priv_data, "crf", "23", 0);
    av_opt_set(c->priv_data, "x264-params", "scenecut=0:keyint=60:min-keyint=60", 0);
  } else {
    // The stage is flat colours and text that stays for many frames: the fastest
    // settings lose nothing visible at this quality and make the file about 3 times
    // as large as slow ones would.
    av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    av_opt_set(c->priv_data, "crf", "18", 0);
  }
  // Every container written here (Matroska, and MP4 copied from it) wants global headers.
  c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  check(avcodec_open2(c, codec, nullptr), "video encoder");
  return c;
}

AVCodecContext* Encoder::Impl::openAudio(const AVCodec* codec) {
  AVCodecContext* c = avcodec_alloc_context3(codec);
  if (c == nullptr) throw EncoderError("out of memory");
  audio = c;
  c->sample_rate = kSampleRate;
  av_channel_layout_default(&c->ch_layout, 2);
  c->sample_fmt = AV_SAMPLE_FMT_S16;
  for (const AVSampleFormat* f = codec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT) {
      c->sample_fmt = *f;
      break;
    }
  }
  c->bit_rate = webm || live() ? 128000 : 192000;
  // FFmpeg's default AAC search costs more time than the video at this quality.
  if (!webm) av_opt_set(c->priv_data, "aac_coder", "fast", 0);
  c->time_base = AVRational{1, kSampleRate};
  c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  check(avcodec_open2(c, codec, nullptr), "audio encoder");
  return c;
}

AVStream* Encoder::Impl::addStream(const AVCodecContext* codec) {
  AVStream* stream = avformat_new_stream(format, nullptr);
  if (stream == nullptr) throw EncoderError("out of memory");
  check(avcodec_parameters_from_context(stream->codecpar, codec), "stream");
  stream->time_base = codec->time_base;
  stream->avg_frame_rate = codec->framerate;
  return stream;
}

void Encoder::Impl::writeHeader() {
  AVDictionary* options = nullptr;
  // A cluster about every second, each flushed to the file as it closes: a cut file
  // plays up to its last second.
  av_dict_set(&options, "cluster_time_limit", "1000", 0);
  format->flush_packets = 1;
  // A cue arrives when it ends: the picture and sound do not wait for it longer than
  // that second (the muxer's default would hold them up to 10 seconds).
  format->max_interleave_delta = 1000000;
  const int r = avformat_write_header(format, &options);
  av_dict_free(&options);
  check(r, "file header");
  headerWritten = true;
}

void Encoder::Impl::allocateFrames(QSize size) {
  picture = av_frame_alloc();
  sound = av_frame_alloc();
  packet = av_packet_alloc();
  if (picture == nullptr || sound == nullptr || packet == nullptr) throw EncoderError("out of memory");
  picture->format = video->pix_fmt;
  picture->width = video->width;
  picture->height = video->height;
  check(av_frame_get_buffer(picture, 0), "picture frame");
  // Black, also in the padding line an odd size leaves.
  for (int y = 0; y < picture->height; ++y) std::fill_n(picture->data[0] + y * picture->linesize[0], picture->width, 16);
  for (int p = 1; p < 3; ++p)
    for (int y = 0; y < picture->height / 2; ++y)
      std::fill_n(picture->data[p] + y * picture->linesize[p], picture->width / 2, 128);
  scaler = sws_getContext(source.width(), source.height(), kSourceFormat, size.width(), size.height(), AV_PIX_FMT_YUV420P,
                          SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
  if (scaler == nullptr) throw EncoderError("picture scaler");
  // Limited range with the BT.709 matrix, as the stream says.
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(scaler, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);

  sound->format = audio->sample_fmt;
  sound->sample_rate = kSampleRate;
  av_channel_layout_default(&sound->ch_layout, 2);
  sound->nb_samples = audio->frame_size > 0 ? audio->frame_size : 1024;
  check(av_frame_get_buffer(sound, 0), "sound frame");
}

void Encoder::start(QSize source, int scale) {
  Impl& d = *d_;
  d.source = source;
  const AVCodec* videoCodec = avcodec_find_encoder_by_name(d.webm ? "libvpx-vp9" : "libx264");
  const AVCodec* audioCodec = d.webm ? avcodec_find_encoder_by_name("libopus") : avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (videoCodec == nullptr || audioCodec == nullptr) throw EncoderError("this FFmpeg has no encoder for the format");
  if (d.format == nullptr) {
    d.openVideo(videoCodec, source * scale);
    d.openAudio(audioCodec);
    d.allocateFrames(source * scale);
    if (d.hls) d.hls->start(d.video, d.audio);
    if (d.url) d.url->write(nullptr, d.video, 0, {d.video, d.audio});  // connects, or says why not
    return;
  }
  d.videoStream = d.addStream(d.openVideo(videoCodec, source * scale));
  d.audioStream = d.addStream(d.openAudio(audioCodec));
  // The captions: SRT in Matroska (becoming mov_text in an MP4), WebVTT in WebM.
  AVStream* captions = avformat_new_stream(d.format, nullptr);
  if (captions == nullptr) throw EncoderError("out of memory");
  captions->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
  captions->codecpar->codec_id = d.webm ? AV_CODEC_ID_WEBVTT : AV_CODEC_ID_SUBRIP;
  captions->time_base = AVRational{1, 1000};
  av_dict_set(&captions->metadata, "language", "jpn", 0);
  d.subtitleIndex = captions->index;
  d.writeHeader();
  d.allocateFrames(source * scale);
}

void Encoder::addCue(const Cue& cue) {
  Impl& d = *d_;
  if (d.hls) return d.hls->addCue(cue);
  if (d.subtitleIndex < 0) return;  // a URL's containers carry no captions
  if (!d.writeError.empty()) throw EncoderError("writing: " + d.writeError);
  QString text = cue.text;
  if (d.webm) text.replace(u'&', QLatin1String("&amp;")).replace(u'<', QLatin1String("&lt;")).replace(u'>', QLatin1String("&gt;"));
  const QByteArray bytes = text.toUtf8();
  check(av_new_packet(d.packet, int(bytes.size())), "caption");
  std::memcpy(d.packet->data, bytes.constData(), size_t(bytes.size()));
  d.packet->pts = d.packet->dts = std::llround(cue.startMs);
  d.packet->duration = std::llround(cue.endMs) - d.packet->pts;
  d.deliver(d.packet, AVRational{1, 1000}, d.subtitleIndex, nullptr);
}

void Encoder::addFrame(const QImage& picture, bool changed) {
  Impl& d = *d_;
  if (changed || d.frameCount == 0) {
    const QImage image = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    check(av_frame_make_writable(d.picture), "picture frame");
    const uint8_t* src[] = {image.constBits()};
    const int stride[] = {int(image.bytesPerLine())};
    sws_scale(d.scaler, src, stride, 0, image.height(), d.picture->data, d.picture->linesize);
  }
  d.picture->pts = d.frameCount++;
  d.send(d.video, d.videoStream, d.picture);
}

void Encoder::addAudio(const float* samples, int frames) {
  Impl& d = *d_;
  d.pending.insert(d.pending.end(), samples, samples + 2 * qsizetype(frames));
  const int size = d.sound->nb_samples;
  while (qsizetype(d.pending.size()) >= 2 * qsizetype(size)) d.encodeSound(size);
}

void Encoder::finish() {
  Impl& d = *d_;
  if (d.finished) return;
  d.finished = true;
  if (d.live()) {
    if (d.frameCount > 0 && !d.complete()) throw EncoderError("cannot end the stream to " + local(d.out) + ": " + d.writeError);
    return;
  }
  const bool complete = d.headerWritten ? d.complete() : (avio_closep(&d.format->pb), true);
  const std::string out = local(d.out), partial = local(d.partial);
  if (d.frameCount == 0) {
    QFile::remove(d.partial);
    if (!complete) throw EncoderError("cannot write " + out + ": " + d.writeError + "; nothing was recorded");
    return;
  }
  const std::string upTo = duration(d.frameCount);
  if (!complete && d.container == QLatin1String("mp4")) {
    // Copying would need as much room again; the partial file plays as it is.
    throw EncoderError("cannot write " + out + ": " + d.writeError + "; the recording up to " + upTo +
                       " is kept in " + partial);
  }
  try {
    if (d.container == QLatin1String("mp4")) {
      remuxInPlace(d.partial, d.out);
      QFile::remove(d.partial);
    } else if (::rename(QFile::encodeName(d.partial).constData(), QFile::encodeName(d.out).constData()) != 0) {
      throw EncoderError(std::strerror(errno));
    }
  } catch (const EncoderError& e) {
    throw EncoderError("cannot write " + out + ": " + e.what() + "; the recording up to " + upTo + " is kept in " +
                       partial);
  }
  if (!complete)
    throw EncoderError("cannot write " + out + " to the end: " + d.writeError + "; it holds the recording up to about " +
                       upTo);
}

}  // namespace record
