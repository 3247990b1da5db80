// Windows-style names resolved against a real folder tree. Every file holds its own
// name as content, so a test sees which file a name was resolved to.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/text.h"
#include "tests/support/temp_folder.h"

namespace {

using platform::resolvePath;

class Files : public TempFolderTest {
 protected:
  void file(const std::string& rel) { writeFile(rel, rel); }

  // Content of the file the name resolves to, or "(none)".
  std::string opened(const QString& name) {
    const std::optional<std::string> path = resolvePath(name);
    return path ? contentOf(*path) : std::string("(none)");
  }
};

TEST_F(Files, BothSeparatorsAndAnyLetterCase) {
  makeFolder("pics");
  makeFolder("pics/sub");
  file("pics/sub/Face.bmp");
  EXPECT_EQ(opened("pics/sub/Face.bmp"), "pics/sub/Face.bmp");
  EXPECT_EQ(opened("pics\\sub\\Face.bmp"), "pics/sub/Face.bmp");
  EXPECT_EQ(opened("PICS\\Sub/FACE.BMP"), "pics/sub/Face.bmp");
  EXPECT_EQ(opened("pics\\\\sub\\face.bmp"), "pics/sub/Face.bmp");  // doubled separator
  EXPECT_EQ(opened(".\\pics\\sub\\..\\sub\\face.bmp"), "pics/sub/Face.bmp");
  // An absolute name written with backslashes.
  EXPECT_EQ(opened(QString::fromStdString(root()) + "\\PICS\\SUB\\face.bmp"), "pics/sub/Face.bmp");
}

TEST_F(Files, ExactMatchWinsOverOtherLetterCases) {
  file("song.mid");
  file("Song.mid");
  file("SONG.MID");
  EXPECT_EQ(opened("Song.mid"), "Song.mid");
  EXPECT_EQ(opened("SONG.MID"), "SONG.MID");
  EXPECT_EQ(opened("song.mid"), "song.mid");
  // No exact match: one of them, the same one every time.
  const std::string any = opened("sOnG.MiD");
  EXPECT_NE(any, "(none)");
  EXPECT_EQ(opened("sOnG.MiD"), any);
}

TEST_F(Files, RelativeNamesStartAtTheCurrentDirectory) {
  makeFolder("a");
  file("a/inner.txt");
  file("top.txt");
  ASSERT_EQ(::chdir("a"), 0);
  EXPECT_EQ(opened("INNER.TXT"), "a/inner.txt");
  EXPECT_EQ(opened("..\\TOP.txt"), "top.txt");
  EXPECT_EQ(opened("top.txt"), "(none)");
  EXPECT_EQ(platform::currentDirectory(), QString::fromStdString(root()) + "/a");
}

TEST_F(Files, ShiftJisEntriesMatchAsCp932) {
  // "デモ" (83 66 83 82) holding "表示.bmp" (95 5C 8E A6): the 0x5C of "表" is not a separator.
  makeFolder("\x83\x66\x83\x82");
  file("\x83\x66\x83\x82/\x95\x5C\x8E\xA6.bmp");
  file("\x95\x5C.txt");
  EXPECT_EQ(opened("デモ\\表示.bmp"), "\x83\x66\x83\x82/\x95\x5C\x8E\xA6.bmp");
  EXPECT_EQ(opened("デモ/表示.BMP"), "\x83\x66\x83\x82/\x95\x5C\x8E\xA6.bmp");
  // The name as a scenario line carries it: CP932 bytes decoded first, then resolved.
  EXPECT_EQ(opened(platform::decodeAnsi("\x95\x5C.TXT")), "\x95\x5C.txt");
  EXPECT_EQ(opened("表"), "(none)");
  // Full-width letters differ in case too.
  file("\x82\x60\x82\x61.wav");  // "ＡＢ.wav"
  EXPECT_EQ(opened("ａｂ.WAV"), "\x82\x60\x82\x61.wav");
}

TEST_F(Files, ShiftJisNameThatIsAlsoValidUtf8) {
  // Half-width "ﾃｩ" is C3 A9 in CP932, which UTF-8 reads as "é".
  file("\xC3\xA9.wav");
  EXPECT_EQ(opened("ﾃｩ.wav"), "\xC3\xA9.wav");
  EXPECT_EQ(opened("é.WAV"), "\xC3\xA9.wav");
}

TEST_F(Files, FileNamesAsText) {
  EXPECT_EQ(platform::decodeFileName("\xE8\xA1\xA8.bmp"), QStringLiteral("表.bmp"));  // UTF-8
  EXPECT_EQ(platform::decodeFileName("\x95\x5C.bmp"), QStringLiteral("表.bmp"));      // CP932
}

TEST_F(Files, TrailingDotsAndSpacesAreDropped) {
  file("readme.txt");
  file("noext");
  EXPECT_EQ(opened("README.TXT."), "readme.txt");
  EXPECT_EQ(opened("readme.txt . "), "readme.txt");
  EXPECT_EQ(opened("noext..."), "noext");
  EXPECT_EQ(opened("readme"), "(none)");  // the extension is not optional
}

TEST_F(Files, FoldersAreFoundButAreNotOrdinaryFiles) {
  makeFolder("Music");
  file("Music/a.mid");
  file(".hidden");
  const auto folder = resolvePath("music");
  ASSERT_TRUE(folder.has_value());
  EXPECT_FALSE(platform::isOrdinaryFile(*folder));
  EXPECT_FALSE(platform::readFileBytes(*folder).has_value());
  const auto plain = resolvePath("MUSIC\\A.MID");
  ASSERT_TRUE(plain.has_value());
  EXPECT_TRUE(platform::isOrdinaryFile(*plain));
  EXPECT_EQ(platform::readFileBytes(*plain), QByteArray("Music/a.mid"));
  EXPECT_FALSE(platform::isOrdinaryFile(*resolvePath(".hidden")));
  EXPECT_FALSE(platform::isOrdinaryFile("/dev/null"));
}

TEST_F(Files, MissingNamesGiveNothing) {
  makeFolder("sub");
  file("sub/x.bmp");
  file("plain.txt");
  EXPECT_FALSE(resolvePath("").has_value());
  EXPECT_FALSE(resolvePath("absent.bmp").has_value());
  EXPECT_FALSE(resolvePath("sub\\absent.bmp").has_value());
  EXPECT_FALSE(resolvePath("absent\\x.bmp").has_value());
  EXPECT_FALSE(resolvePath("plain.txt\\x.bmp").has_value());  // a file is not a folder
  EXPECT_FALSE(platform::readFileBytes(root() + "/absent.bmp").has_value());
}

}  // namespace
