// SPDX-License-Identifier: GPL-3.0-or-later
// The recording mode end to end: a small programme with a view picture of a known
// colour, a speaker whose two pictures differ, a tune and a clip is recorded once; the
// file is decoded again and held against the run's own trace.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <cmath>
#include <cstring>
#include <functional>

#include "platform/trace.h"
#include "record/recorder.h"
#include "stage/controls.h"
#include "stage/form1.h"
#include "engine/stage_events.h"
#include "platform/input.h"
#include "tests/engine/fake_world.h"

namespace {

const QColor kView(200, 30, 40), kTalk(20, 180, 60), kRest(40, 60, 200);

// Every decoded picture (RGB, in order) and all the sound (48 kHz stereo), decoded by
// FFmpeg's own tools rather than by code that shares the recorder's assumptions.
struct Decoded {
  int frames = 0;
  std::vector<float> sound;
  bool opened = false;
};

Decoded decode(const QString& path, const std::function<void(int, const QImage&)>& onFrame) {
  Decoded out;
  QProcess probe;
  probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height", "-of",
                          "csv=p=0", path});
  probe.waitForFinished();
  const QList<QByteArray> size = probe.readAllStandardOutput().trimmed().split(',');
  if (size.size() != 2) return out;
  const int width = size[0].toInt(), height = size[1].toInt();
  const qint64 frameBytes = qint64(width) * height * 3;
  // Frames are taken as they come: the whole film at once would not fit in memory.
  QProcess video;
  video.start("ffmpeg", {"-v", "error", "-i", path, "-vf", "scale=in_color_matrix=bt709:flags=neighbor", "-fps_mode",
                         "passthrough", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
  while (video.waitForReadyRead(60000) || video.bytesAvailable() >= frameBytes)
    while (video.bytesAvailable() >= frameBytes) {
      const QByteArray bytes = video.read(frameBytes);
      onFrame(out.frames++, QImage(reinterpret_cast<const uchar*>(bytes.constData()), width, height, width * 3,
                                   QImage::Format_RGB888).copy());
    }
  video.waitForFinished();
  QProcess sound;
  sound.start("ffmpeg", {"-v", "error", "-i", path, "-vn", "-f", "f32le", "-ac", "2", "-ar", "48000", "-"});
  sound.waitForFinished(60000);
  const QByteArray pcm = sound.readAllStandardOutput();
  out.sound.resize(size_t(pcm.size()) / sizeof(float));
  std::memcpy(out.sound.data(), pcm.constData(), out.sound.size() * sizeof(float));
  out.opened = video.exitCode() == 0 && sound.exitCode() == 0 && out.frames > 0 && !out.sound.empty();
  return out;
}

bool near(QRgb a, const QColor& b, int tolerance = 12) {
  return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
         std::abs(qBlue(a) - b.blue()) <= tolerance;
}

double psnr(const QImage& a, const QImage& b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) sum += double(d) * d;
    }
  const double mse = sum / (3.0 * a.width() * a.height());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// A picture of one colour in the current directory, which is the programme's folder.
void writePicture(const QString& name, const QColor& colour, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  ASSERT_TRUE(image.save(name, "BMP"));
}

struct TraceLine {
  double ms;
  QString event;
};

class Recording : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::trace::setEnabled(true);
    platform::trace::setSink([this](const std::string& line) {
      const QString l = QString::fromStdString(line).trimmed();
      trace.push_back({l.section(u' ', 0, 0).toDouble(), l.section(u' ', 1)});
    });
    writePicture("view.bmp", kView, {120, 90});
    writePicture("talk.bmp", kTalk, {60, 60});
    writePicture("rest.bmp", kRest, {60, 60});
    // A tune that sounds from its start and a clip loud from its first milliseconds.
    QFile::copy(KIVO_SOURCE_DIR "/demo/HOSHI.MID", "tune.mid");
    QFile::copy(KIVO_SOURCE_DIR "/demo/PINPON.WAV", "clip.wav");
  }
  void TearDown() override {
    platform::trace::setSink(nullptr);
    platform::trace::setEnabled(false);
  }
  int record(const QString& programme, const QString& out) {
    record::Options o;
    o.out = dir.path() + u'/' + out;
    o.programme = programme;
    o.folder = dir.path();
    return record::run(o);
  }
  // The nth trace line whose event starts with `prefix`.
  TraceLine at(const QString& prefix, int nth = 0) const {
    for (const TraceLine& t : trace)
      if (t.event.startsWith(prefix) && nth-- == 0) return t;
    ADD_FAILURE() << "no trace event " << prefix.toStdString();
    return {-1, {}};
  }

  kivo_test::ScenarioDir dir;
  std::vector<TraceLine> trace;
};

// Every line has 3 characters: two talk cycles and the automatic pause, 900 ms.
TEST_F(Recording, PictureAndSoundFollowTheProgrammeFrameByFrame) {
  dir.write("KIVO.001", {"1,t", "[pictureinit]", "ミカ=rest.bmp,talk.bmp", "[pre]", "ミカ：あいう", "@VIEW view.bmp",
                         "@PLAY tune.mid", "ミカ：かきく", "@PLAY none.mid", "ミカ：さしす", "@VOICE clip.wav", "ミカ：たちつ",
                         "[menu]", "A", "ＥＮＤ", "[A]", "ミカ：なにぬ", "[ＥＮＤ]", "ミカ：まみむ", "[EOF]"});
  ASSERT_EQ(record("KIVO.001", "out.mp4"), 0);

  // Where the stage's controls are, from a stage window of our own.
  engine::SharedState state;
  platform::SequentialInput input;
  engine::StageEvents events(state, input);
  stage::Form1 form(events, {}, {});
  constexpr int kScale = 2;
  const QRect speaker = form.Image1()->geometry();
  const QPoint speakerSpot = (speaker.topLeft() + QPoint(30, 30)) * kScale;

  const TraceLine viewShow = at("view-show");
  const double viewAt = viewShow.ms;
  const QStringList f = viewShow.event.split(u' ');
  const int viewFrame = int(std::ceil(viewAt * 30 / 1000));

  // Which speaker picture each moment should show.
  std::vector<std::pair<double, QColor>> speakerAt;
  for (const TraceLine& t : trace) {
    if (t.event == "speaker \"talk.bmp\"") speakerAt.emplace_back(t.ms, kTalk);
    if (t.event == "speaker \"rest.bmp\"") speakerAt.emplace_back(t.ms, kRest);
  }
  QImage viewImage;
  int speakerChecked = 0, speakerWrong = 0;
  const Decoded d = decode(dir.path() + "/out.mp4", [&](int i, const QImage& image) {
    if (i == viewFrame) viewImage = image;
    const double t = i * 1000.0 / 30;
    const auto it = std::upper_bound(speakerAt.begin(), speakerAt.end(), t,
                                     [](double v, const auto& e) { return v < e.first; });
    if (it == speakerAt.begin()) return;
    ++speakerChecked;
    if (!near(image.pixel(speakerSpot), std::prev(it)->second)) ++speakerWrong;
  });
  ASSERT_TRUE(d.opened);

  // 4 lines of [pre], 2 menus 1.5 s each, the item's line and the closing line.
  const double expected = 4 * 900 + 1500 + 900 + 1500 + 900;
  EXPECT_NEAR(d.frames * 1000.0 / 30, expected, 1000.0 / 30);
  EXPECT_NEAR(double(d.sound.size() / 2) / 48, expected, 1000.0 / 30);

  ASSERT_FALSE(viewImage.isNull());
  EXPECT_GT(speakerChecked, 200);
  EXPECT_EQ(speakerWrong, 0);

  // The same state on a stage window of our own, grabbed and enlarged: the view is in
  // its place, in its colour, from its first frame.
  form.setCaption("かきく");
  form.setSpeakerPicture("talk.bmp");
  form.setViewPicture("view.bmp");
  form.setViewLeft(f[1].toInt());
  form.setViewTop(f[2].toInt());
  form.setViewVisible(true);
  form.show();
  QApplication::processEvents();
  const QImage grab = form.client()->grab().toImage().convertToFormat(QImage::Format_RGB888);
  const QImage enlarged = grab.scaled(grab.size() * kScale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  EXPECT_GE(psnr(enlarged, viewImage.copy(0, 0, enlarged.width(), enlarged.height())), 35.0);

  // Sound: nothing before the first PLAY, the tune while it plays, silence after the
  // next PLAY stops it, then the clip from its own moment.
  const auto peak = [&](double from, double to) {
    float m = 0;
    for (auto i = size_t(from * 48) * 2; i < size_t(to * 48) * 2 && i < d.sound.size(); ++i) m = std::max(m, std::abs(d.sound[i]));
    return m;
  };
  const double playAt = at("mci \"open").ms, stopAt = at("mci \"open", 1).ms, clipAt = at("snd \"clip.wav\"").ms;
  EXPECT_EQ(playAt, viewAt);
  EXPECT_LT(peak(0, playAt - 30), 1e-3);
  EXPECT_GT(peak(playAt + 100, stopAt), 0.02);
  EXPECT_LT(peak(stopAt + 50, clipAt - 30), 1e-3);
  size_t onset = size_t(stopAt * 48) * 2;
  while (onset < d.sound.size() && std::abs(d.sound[onset]) < 0.2f) ++onset;
  // Within a few ms: one AAC frame (21 ms) off must show.
  EXPECT_NEAR(double(onset / 2) / 48, clipAt, 5);
}

TEST_F(Recording, AFaultEndsTheProgrammeWithAPlayableFile) {
  dir.write("KIVO.002", {"2,t", "[pictureinit]", "ミカ=rest.bmp,talk.bmp", "[pre]", "ミカ：あいう", "@VIEW missing.bmp",
                         "ミカ：かきく", "[menu]", "ＥＮＤ", "[ＥＮＤ]", "[EOF]"});
  EXPECT_EQ(record("KIVO.002", "fault.mkv"), 1);
  EXPECT_EQ(at("error 53").ms, 900);
  const Decoded d = decode(dir.path() + "/fault.mkv", [](int, const QImage&) {});
  ASSERT_TRUE(d.opened);
  EXPECT_NEAR(d.frames * 1000.0 / 30, 900, 1000.0 / 30);

  // All programmes, as the station plays them: the opening, the list for 2 s, then the
  // programme, whose fault in "[pre]" is survived; the status still tells of it.
  trace.clear();
  EXPECT_EQ(record("", "all.mkv"), 1);
  EXPECT_EQ(at("error 53").ms, 4800 + 2000 + 900);
  const Decoded all = decode(dir.path() + "/all.mkv", [](int, const QImage&) {});
  EXPECT_NEAR(all.frames * 1000.0 / 30, 4800 + 2000 + 900, 1000.0 / 30);
}

}  // namespace
