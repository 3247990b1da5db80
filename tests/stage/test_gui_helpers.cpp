// SPDX-License-Identifier: GPL-3.0-or-later
// The window-system helpers: pictures by name, "&" captions, fonts, the timer. Keys are
// tested where the windows take them.
#include <QDir>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>
#include <sys/resource.h>
#include <tuple>
#include <gtest/gtest.h>

#include "platform/access_key.h"
#include "platform/fonts.h"
#include "platform/picture.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "tests/support/raised.h"
#include "tests/support/temp_folder.h"

namespace {

using Picture = TempFolderTest;

// The run-time error loading the picture raises; 0 when it loads.
int loadError(const QString& path) { return raisedBy([&] { platform::loadPicture(path); }).number(); }

long peakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// The fuzz seeds: a small picture and one claiming 5000 x 5000 pixels in every format the
// stage reads. With the library's own limit BMP, JPEG and XBM load as garbage and GIF
// fills 95 MB before failing.
const QString kSeeds = QStringLiteral(KIVO_SOURCE_DIR "/fuzz/corpus/picture/");

TEST_F(Picture, LoadsByWindowsNameAtNaturalSizeOrRaisesRuntimeErrors) {
  // A code page 932 native name: the path cannot be handed to QImage, which assumes UTF-8.
  writeFile(platform::encodeAnsi(QStringLiteral("顔.bmp")).toStdString(), contentOf((kSeeds + "small.bmp").toStdString()));
  writeFile(".logo.bmp", contentOf((kSeeds + "small.bmp").toStdString()));  // hidden names load too
  writeFile("notes.bmp", "not a picture\r\n");
  writeFile("empty.gif", "");
  makeFolder("folder");
  ASSERT_EQ(::mkfifo("pipe.bmp", 0600), 0);  // opening it would block

  const QString dir = QString::fromStdString(root());
  EXPECT_TRUE(platform::loadPicture(QString()).isNull());
  EXPECT_EQ(platform::loadPicture(dir + QStringLiteral("\\顔.BMP")).size(), QSize(6, 4));
  EXPECT_EQ(platform::loadPicture(dir + QStringLiteral("\\.LOGO.bmp")).size(), QSize(6, 4));
  const std::pair<const char*, int> cases[] = {{"missing.bmp", 53}, {"nodir/x.bmp", 53}, {"notes.bmp", 481},
                                               {"empty.gif", 481},  {"folder", 481},     {"pipe.bmp", 481}};
  for (const auto& [name, number] : cases) EXPECT_EQ(loadError(name), number) << name;
}

TEST_F(Picture, HugeClaimedDimensionsAre481BeforeAnyPixelIsAllocated) {
  const QStringList huge = QDir(kSeeds).entryList({"huge.*"});
  ASSERT_EQ(huge.size(), 10);
  for (const QString& name : huge) {
    const long before = peakMb();
    EXPECT_EQ(loadError(kSeeds + name), 481) << name.toStdString();
    EXPECT_LT(peakMb() - before, 16) << name.toStdString();
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
