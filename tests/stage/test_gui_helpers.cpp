// The window-system helpers: pictures by name, "&" captions, fonts, keys, the timer.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/access_key.h"
#include "platform/fonts.h"
#include "platform/keys.h"
#include "platform/picture.h"
#include "platform/runtime_error.h"
#include "platform/text.h"
#include "platform/timer.h"

namespace {

int errorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::RuntimeError& e) {
    return e.number();
  }
  return 0;
}

TEST(Picture, LoadsByWindowsNameAtNaturalSize) {
  QTemporaryDir dir;
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(Qt::red);
  ASSERT_TRUE(image.save(dir.filePath("face.bmp")));

  EXPECT_TRUE(platform::loadPicture(QString()).isNull());
  const QPixmap exact = platform::loadPicture(dir.filePath("face.bmp"));
  EXPECT_EQ(exact.size(), QSize(40, 30));
  // Names written on Windows use any letter case and backslashes.
  const QString windowsName = QDir::toNativeSeparators(dir.path()) + QStringLiteral("\\FACE.BMP");
  EXPECT_EQ(platform::loadPicture(windowsName).size(), QSize(40, 30));
}

TEST(Picture, NativeNameInCodePage932) {
  QTemporaryDir dir;
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::blue);
  QByteArray bmp;
  {
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
  }
  const QString name = QStringLiteral("顔.bmp");
  const QByteArray native = QFile::encodeName(dir.path()) + '/' + platform::encodeAnsi(name);
  const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, bmp.constData(), size_t(bmp.size())), bmp.size());
  ::close(fd);
  EXPECT_EQ(platform::loadPicture(dir.path() + '/' + name).size(), QSize(8, 8));
}

TEST(Picture, FailuresAreRuntimeErrors) {
  QTemporaryDir dir;
  QFile text(dir.filePath("notes.bmp"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not a picture\r\n");
  text.close();
  QFile empty(dir.filePath("empty.gif"));
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));

  EXPECT_EQ(errorNumber([&] { platform::loadPicture(dir.filePath("missing.bmp")); }), 53);
  EXPECT_EQ(errorNumber([&] { platform::loadPicture(dir.filePath("nodir/x.bmp")); }), 53);
  EXPECT_EQ(errorNumber([&] { platform::loadPicture(dir.filePath("notes.bmp")); }), 481);
  EXPECT_EQ(errorNumber([&] { platform::loadPicture(dir.filePath("empty.gif")); }), 481);
  EXPECT_EQ(errorNumber([&] { platform::loadPicture(dir.filePath("folder")); }), 481);
}

TEST(AccessKey, MarkersHideAndUnderline) {
  struct Case {
    QString caption, text;
    QList<int> underlined;
  };
  const Case cases[] = {
      {"", "", {}},
      {"plain", "plain", {}},
      {"&File", "File", {0}},
      {"項目メニューへ(&C)", "項目メニューへ(C)", {8}},
      {"A&&B", "A&B", {}},
      {"&&&x", "&x", {1}},
      {"a&b&c", "abc", {1, 2}},
      {"end&", "end", {}},
      {"&&", "&", {}},
      {"&あ い", "あ い", {0}},
  };
  for (const Case& c : cases) {
    const platform::AccessKeyCaption parsed = platform::parseAccessKeys(c.caption);
    EXPECT_EQ(parsed.text, c.text) << c.caption.toStdString();
    EXPECT_EQ(parsed.underlined, c.underlined) << c.caption.toStdString();
  }
  EXPECT_EQ(platform::accessKeyHtml("<&a> && \"b\""), "&lt;<u>a</u>&gt; &amp; &quot;b&quot;");
}

TEST(Fonts, LayoutNamesFindTheIpaFonts) {
  EXPECT_EQ(platform::pointsToPixels(14.25), 19);
  EXPECT_EQ(platform::pointsToPixels(15.75), 21);
  EXPECT_EQ(platform::pointsToPixels(24), 32);
  EXPECT_EQ(platform::pointsToPixels(9), 12);

  const QFont gothic = platform::layoutFont(platform::kGothicFamily, 14.25);
  EXPECT_EQ(QFontInfo(gothic).family(), "IPAPGothic");
  EXPECT_EQ(QFontInfo(gothic).pixelSize(), 19);
  EXPECT_EQ(QFontInfo(platform::layoutFont(platform::kMinchoFamily, 12)).family(), "IPAPMincho");
}

TEST(Keys, CodesAndModifierMask) {
  EXPECT_EQ(platform::virtualKeyCode(Qt::Key_A), 65);
  EXPECT_EQ(platform::virtualKeyCode(Qt::Key_7), 55);
  EXPECT_EQ(platform::virtualKeyCode(Qt::Key_Return), 13);
  EXPECT_EQ(platform::virtualKeyCode(Qt::Key_F1), 112);
  EXPECT_EQ(platform::virtualKeyCode(Qt::Key_Down), 40);

  auto mask = [](int key, Qt::KeyboardModifiers mods) {
    return platform::modifierMask(QKeyEvent(QEvent::KeyPress, key, mods));
  };
  // A modifier pressed alone reports its own bit even where the system does not.
  EXPECT_EQ(mask(Qt::Key_Shift, Qt::NoModifier), 1);
  EXPECT_EQ(mask(Qt::Key_Control, Qt::NoModifier), 2);
  EXPECT_EQ(mask(Qt::Key_Alt, Qt::NoModifier), 4);
  EXPECT_EQ(mask(Qt::Key_Shift, Qt::ShiftModifier), 1);
  EXPECT_EQ(mask(Qt::Key_X, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier), 7);
  EXPECT_EQ(mask(Qt::Key_X, Qt::KeypadModifier), 0);
}

TEST(Timer, SettingThePeriodOrEnablingRestartsTheCount) {
  platform::Timer timer;
  timer.setInterval(1000);
  QTest::qWait(60);
  EXPECT_LE(timer.remainingTime(), 960);
  timer.setInterval(1000);
  EXPECT_GT(timer.remainingTime(), 980);

  QTest::qWait(60);
  timer.setEnabled(false);
  EXPECT_FALSE(timer.isTicking());
  EXPECT_EQ(timer.interval(), 1000);  // disabling keeps the period
  timer.setEnabled(true);
  EXPECT_GT(timer.remainingTime(), 980);
  timer.setInterval(-5);
  EXPECT_FALSE(timer.isTicking());
}

}  // namespace
