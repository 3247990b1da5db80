#include "record/encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <QFileInfo>
#include <algorithm>
#include <string>
#include <vector>

namespace record {
namespace {

std::string averror(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

void check(int code, const char* what) {
  if (code < 0) throw EncoderError(std::string(what) + ": " + averror(code));
}

// QImage::Format_RGB32 holds 0xffRRGGBB words: bytes B, G, R, x in memory on little-endian.
constexpr AVPixelFormat kSourceFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_0RGB;

}  // namespace

struct Encoder::Impl {
  AVFormatContext* format = nullptr;
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

  void drain(AVCodecContext* codec, AVStream* stream) {
    for (;;) {
      const int r = avcodec_receive_packet(codec, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      check(r, "encoding");
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      check(av_interleaved_write_frame(format, packet), "writing");
    }
  }

  void send(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
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
};

Encoder::Encoder(const QString& path) : d_(std::make_unique<Impl>()) {
  // The encoders' statistics would bury the progress line.
  av_log_set_level(AV_LOG_ERROR);
  const QString suffix = QFileInfo(path).suffix().toLower();
  const char* formatName = suffix == QLatin1String("mp4") ? "mp4" : suffix == QLatin1String("webm") ? "webm" : "matroska";
  d_->webm = suffix == QLatin1String("webm");
  const QByteArray file = path.toLocal8Bit();
  check(avformat_alloc_output_context2(&d_->format, nullptr, formatName, file.constData()), "output format");
  const int r = avio_open(&d_->format->pb, file.constData(), AVIO_FLAG_WRITE);
  if (r < 0) throw EncoderError("cannot write " + path.toStdString() + ": " + averror(r));
}

Encoder::~Encoder() = default;

qint64 Encoder::frames() const { return d_->frameCount; }

void Encoder::start(QSize source, int scale) {
  Impl& d = *d_;
  d.source = source;
  const int width = source.width() * scale, height = source.height() * scale;

  const AVCodec* videoCodec = avcodec_find_encoder_by_name(d.webm ? "libvpx-vp9" : "libx264");
  const AVCodec* audioCodec = d.webm ? avcodec_find_encoder_by_name("libopus") : avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (videoCodec == nullptr || audioCodec == nullptr) throw EncoderError("this FFmpeg has no encoder for the format");

  // Pictures: yuv420p wants even sizes; an odd side gets one more line of black.
  d.video = avcodec_alloc_context3(videoCodec);
  d.video->width = (width + 1) & ~1;
  d.video->height = (height + 1) & ~1;
  d.video->pix_fmt = AV_PIX_FMT_YUV420P;
  d.video->time_base = AVRational{1, kFrameRate};
  d.video->framerate = AVRational{kFrameRate, 1};
  d.video->gop_size = 10 * kFrameRate;
  d.video->color_range = AVCOL_RANGE_MPEG;
  d.video->colorspace = AVCOL_SPC_BT709;
  d.video->color_primaries = AVCOL_PRI_BT709;
  d.video->color_trc = AVCOL_TRC_BT709;
  d.video->thread_count = 0;
  if (d.webm) {
    av_opt_set(d.video->priv_data, "deadline", "realtime", 0);
    av_opt_set_int(d.video->priv_data, "cpu-used", 8, 0);
    av_opt_set_int(d.video->priv_data, "row-mt", 1, 0);
    av_opt_set_int(d.video->priv_data, "crf", 24, 0);
    d.video->bit_rate = 0;
  } else {
    // The stage is flat colours and text that stays for many frames: the fastest
    // settings lose nothing visible at this quality and make the file about 3 times
    // as large as slow ones would.
    av_opt_set(d.video->priv_data, "preset", "ultrafast", 0);
    av_opt_set(d.video->priv_data, "crf", "18", 0);
  }
  if (d.format->oformat->flags & AVFMT_GLOBALHEADER) d.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  check(avcodec_open2(d.video, videoCodec, nullptr), "video encoder");
  d.videoStream = avformat_new_stream(d.format, nullptr);
  check(avcodec_parameters_from_context(d.videoStream->codecpar, d.video), "video stream");
  d.videoStream->time_base = d.video->time_base;
  d.videoStream->avg_frame_rate = d.video->framerate;

  d.audio = avcodec_alloc_context3(audioCodec);
  d.audio->sample_rate = kSampleRate;
  av_channel_layout_default(&d.audio->ch_layout, 2);
  d.audio->sample_fmt = AV_SAMPLE_FMT_S16;
  for (const AVSampleFormat* f = audioCodec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT) {
      d.audio->sample_fmt = *f;
      break;
    }
  }
  d.audio->bit_rate = d.webm ? 128000 : 192000;
  // FFmpeg's default AAC search costs more time than the video at this quality.
  if (!d.webm) av_opt_set(d.audio->priv_data, "aac_coder", "fast", 0);
  d.audio->time_base = AVRational{1, kSampleRate};
  if (d.format->oformat->flags & AVFMT_GLOBALHEADER) d.audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  check(avcodec_open2(d.audio, audioCodec, nullptr), "audio encoder");
  d.audioStream = avformat_new_stream(d.format, nullptr);
  check(avcodec_parameters_from_context(d.audioStream->codecpar, d.audio), "audio stream");
  d.audioStream->time_base = d.audio->time_base;

  AVDictionary* muxOptions = nullptr;
  // The index goes to the front, so players and browsers can start before the end arrives.
  if (std::string(d.format->oformat->name).find("mp4") != std::string::npos)
    av_dict_set(&muxOptions, "movflags", "+faststart", 0);
  const int r = avformat_write_header(d.format, &muxOptions);
  av_dict_free(&muxOptions);
  check(r, "file header");
  d.headerWritten = true;

  d.picture = av_frame_alloc();
  d.picture->format = d.video->pix_fmt;
  d.picture->width = d.video->width;
  d.picture->height = d.video->height;
  check(av_frame_get_buffer(d.picture, 0), "picture frame");
  // Black, also in the padding line an odd size leaves.
  for (int y = 0; y < d.picture->height; ++y) std::fill_n(d.picture->data[0] + y * d.picture->linesize[0], d.picture->width, 16);
  for (int p = 1; p < 3; ++p)
    for (int y = 0; y < d.picture->height / 2; ++y)
      std::fill_n(d.picture->data[p] + y * d.picture->linesize[p], d.picture->width / 2, 128);
  d.scaler = sws_getContext(source.width(), source.height(), kSourceFormat, width, height, AV_PIX_FMT_YUV420P,
                            SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
  if (d.scaler == nullptr) throw EncoderError("picture scaler");
  // Limited range with the BT.709 matrix, as the stream says.
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(d.scaler, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);

  d.sound = av_frame_alloc();
  d.sound->format = d.audio->sample_fmt;
  d.sound->sample_rate = kSampleRate;
  av_channel_layout_default(&d.sound->ch_layout, 2);
  d.sound->nb_samples = d.audio->frame_size > 0 ? d.audio->frame_size : 1024;
  check(av_frame_get_buffer(d.sound, 0), "sound frame");
  d.packet = av_packet_alloc();
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
  if (d.finished || !d.headerWritten) return;
  d.finished = true;
  if (!d.pending.empty()) d.encodeSound(int(d.pending.size() / 2));
  d.send(d.video, d.videoStream, nullptr);
  d.send(d.audio, d.audioStream, nullptr);
  check(av_write_trailer(d.format), "completing the file");
  avio_closep(&d.format->pb);
}

}  // namespace record
