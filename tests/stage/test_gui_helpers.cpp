// The window-system helpers: pictures by name, "&" captions, fonts, keys, the timer.
#include <QBuffer>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QImage>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>
#include <sys/stat.h>
#include <sys/resource.h>
#include <tuple>
#include <gtest/gtest.h>

#include "platform/access_key.h"
#include "platform/fonts.h"
#include "platform/keys.h"
#include "platform/picture.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "tests/support/temp_folder.h"

namespace {

using Picture = TempFolderTest;

// The run-time error loading the picture raises; 0 when it loads.
int loadError(const QString& path) {
  try {
    platform::loadPicture(path);
  } catch (const platform::RuntimeError& e) {
    return e.number();
  }
  return 0;
}

// Integers as little- or big-endian bytes.
template <typename T>
QByteArray raw(T v) { return QByteArray(reinterpret_cast<const char*>(&v), sizeof v); }
QByteArray le32(quint32 v) { return raw(qToLittleEndian(v)); }
QByteArray le16(quint16 v) { return raw(qToLittleEndian(v)); }
QByteArray be32(quint32 v) { return raw(qToBigEndian(v)); }
QByteArray be16(quint16 v) { return raw(qToBigEndian(v)); }
quint32 crc32(const QByteArray& bytes) {
  quint32 c = ~0u;
  for (char b : bytes) {
    c ^= quint8(b);
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}
QByteArray saved(const char* format) {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::blue);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}
long peakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// Small files whose headers claim w x h pixels, in every format the stage reads. With
// the library's own limit BMP, JPEG and XBM at 5000 x 5000 load as garbage and GIF
// fills 95 MB before failing.
std::vector<std::pair<const char*, QByteArray>> hugeClaims(int w, int h) {
  QByteArray bmp = saved("BMP");
  bmp.replace(18, 8, le32(w) + le32(h));
  QByteArray png = saved("PNG");
  const QByteArray ihdr = "IHDR" + be32(w) + be32(h) + png.mid(24, 5);
  png.replace(12, 21, ihdr + be32(crc32(ihdr)));
  QByteArray jpeg = saved("JPG");
  jpeg.replace(jpeg.indexOf("\xff\xc0") + 5, 4, be16(h) + be16(w));
  const QByteArray dims = QByteArray::number(w) + ' ' + QByteArray::number(h);
  return {{"bmp", bmp},
          {"png", png},
          {"jpg", jpeg.left(jpeg.size() - 2)},
          {"gif", "GIF89a" + le16(w) + le16(h) + QByteArray(3, 0) + ',' + QByteArray(4, 0) + le16(w) + le16(h) +
                      QByteArray(1, 0) + "\x08\x02\x00\x01"},
          {"ico", le16(0) + le16(1) + le16(1) + QByteArray(4, 0) + le16(1) + le16(32) + le32(png.size()) + le32(22) + png},
          {"ppm", "P6\n" + dims + "\n255\nxyz"},
          {"pgm", "P5\n" + dims + "\n255\nxyz"},
          {"pbm", "P4\n" + dims + "\nxyz"},
          {"xbm", "#define t_width " + QByteArray::number(w) + "\n#define t_height " + QByteArray::number(h) +
                      "\nstatic char t_bits[] = {\n0x00,\n"},
          {"xpm", "/* XPM */\nstatic char *t[] = {\n\"" + dims + " 1 1\",\n\"a c #ff0000\",\n\"a\"\n};\n"}};
}

TEST_F(Picture, LoadsByWindowsNameAtNaturalSizeOrRaisesRuntimeErrors) {
  // A code page 932 native name: the path cannot be handed to QImage, which assumes UTF-8.
  writeFile(platform::encodeAnsi(QStringLiteral("顔.bmp")).toStdString(), saved("BMP").toStdString());
  writeFile(".logo.bmp", saved("BMP").toStdString());  // hidden names load too
  writeFile("notes.bmp", "not a picture\r\n");
  writeFile("empty.gif", "");
  makeFolder("folder");
  ASSERT_EQ(::mkfifo("pipe.bmp", 0600), 0);  // opening it would block

  const QString dir = QString::fromStdString(root());
  EXPECT_TRUE(platform::loadPicture(QString()).isNull());
  EXPECT_EQ(platform::loadPicture(dir + QStringLiteral("\\顔.BMP")).size(), QSize(8, 8));
  EXPECT_EQ(platform::loadPicture(dir + QStringLiteral("\\.LOGO.bmp")).size(), QSize(8, 8));
  const std::pair<const char*, int> cases[] = {{"missing.bmp", 53}, {"nodir/x.bmp", 53}, {"notes.bmp", 481},
                                               {"empty.gif", 481},  {"folder", 481},     {"pipe.bmp", 481}};
  for (const auto& [name, number] : cases) EXPECT_EQ(loadError(name), number) << name;
}

TEST_F(Picture, HugeClaimedDimensionsAre481BeforeAnyPixelIsAllocated) {
  for (const int side : {5000, 60000}) {
    for (const auto& [format, bytes] : hugeClaims(side, side)) {
      const std::string name = "huge" + std::to_string(side) + "." + format;
      writeFile(name, bytes.toStdString());
      const long before = peakMb();
      EXPECT_EQ(loadError(QString::fromStdString(name)), 481) << name << " " << side;
      EXPECT_LT(peakMb() - before, 16) << name << " " << side;
    }
  }
}

TEST(AccessKey, MarkersHideAndUnderline) {
  const std::tuple<QString, QString, QList<int>> cases[] = {
      {"plain", "plain", {}}, {"&File", "File", {0}}, {"項目メニューへ(&C)", "項目メニューへ(C)", {8}},
      {"A&&B", "A&B", {}},    {"&&&x", "&x", {1}},    {"a&b&c", "abc", {1, 2}},
      {"end&", "end", {}},    {"&あ い", "あ い", {0}},
  };
  for (const auto& [caption, text, underlined] : cases) {
    const platform::AccessKeyCaption parsed = platform::parseAccessKeys(caption);
    EXPECT_EQ(parsed.text, text) << caption.toStdString();
    EXPECT_EQ(parsed.underlined, underlined) << caption.toStdString();
  }
}

TEST(Fonts, LayoutNamesFindTheIpaFonts) {
  const QFontInfo gothic(platform::layoutFont(platform::kGothicFamily, 14.25));
  EXPECT_EQ(gothic.family(), "IPAPGothic");
  EXPECT_EQ(gothic.pixelSize(), 19);
  EXPECT_EQ(QFontInfo(platform::layoutFont(platform::kMinchoFamily, 12)).family(), "IPAPMincho");
}

TEST(Keys, CodesAndModifierMask) {
  const std::pair<Qt::Key, int> codes[] = {
      {Qt::Key_A, 65}, {Qt::Key_7, 55}, {Qt::Key_Return, 13}, {Qt::Key_F1, 112}, {Qt::Key_Down, 40}};
  for (const auto& [key, code] : codes) EXPECT_EQ(platform::virtualKeyCode(key), code) << key;

  // A modifier pressed alone reports its own bit even where the system does not.
  const std::tuple<int, Qt::KeyboardModifiers, int> masks[] = {
      {Qt::Key_Shift, Qt::NoModifier, 1}, {Qt::Key_Control, Qt::NoModifier, 2}, {Qt::Key_Alt, Qt::NoModifier, 4},
      {Qt::Key_Shift, Qt::ShiftModifier, 1}, {Qt::Key_X, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier, 7},
      {Qt::Key_X, Qt::KeypadModifier, 0}};
  for (const auto& [key, mods, bits] : masks)
    EXPECT_EQ(platform::modifierMask(QKeyEvent(QEvent::KeyPress, key, mods)), bits) << key;
}

TEST(Timer, SettingThePeriodRestartsTheCount) {
  platform::Timer timer;
  timer.setInterval(1000);
  QTest::qWait(60);
  timer.setInterval(1000);  // the same period again: still a restart
  EXPECT_GT(timer.remainingTime(), 980);
  timer.setInterval(-5);  // counts as 0: stopped
  EXPECT_FALSE(timer.isTicking());

  // A restart soon after a tick counts from when the tick was due: the tick's work
  // does not lengthen the period.
  QElapsedTimer clock;
  clock.start();
  timer.setInterval(40);
  QSignalSpy ticks(&timer, &platform::Timer::tick);
  ASSERT_TRUE(ticks.wait(1000));
  QTest::qSleep(5);
  const qint64 late = clock.elapsed() - 40;  // since the tick was due
  timer.setInterval(40);
  if (late < 19) {  // a loaded machine may say nothing
    EXPECT_LE(timer.remainingTime(), 41 - late);
  }
}

}  // namespace
