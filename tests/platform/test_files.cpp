// SPDX-License-Identifier: GPL-3.0-or-later
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

// Both separators, any letter case (full-width letters too), doubled separators, "." and
// "..", absolute names with backslashes, CP932 names (0x5C inside "表" is no separator;
// "ﾃｩ" is C3 A9, also UTF-8 "é"), trailing dots and spaces dropped, relative names from
// the current directory.
TEST_F(Files, WindowsNamesResolve) {
  makeFolder("pics");
  makeFolder("pics/sub");
  makeFolder("\x83\x66\x83\x82");  // "デモ"
  for (const char* f : {"pics/sub/Face.bmp", "\x83\x66\x83\x82/\x95\x5C\x8E\xA6.bmp", "\x95\x5C.txt",
                        "\x82\x60\x82\x61.wav", "\xC3\xA9.wav", "readme.txt", "noext"})
    file(f);
  const std::string abs = root();
  ASSERT_EQ(::chdir("pics"), 0);
  const std::pair<QString, const char*> cases[] = {
      {"sub/Face.bmp", "pics/sub/Face.bmp"},
      {"SUB\\FACE.BMP", "pics/sub/Face.bmp"},
      {"sub\\\\face.bmp", "pics/sub/Face.bmp"},
      {".\\sub\\..\\sub\\face.bmp", "pics/sub/Face.bmp"},
      {QString::fromStdString(abs) + "\\PICS\\SUB\\face.bmp", "pics/sub/Face.bmp"},
      {"..\\デモ\\表示.bmp", "\x83\x66\x83\x82/\x95\x5C\x8E\xA6.bmp"},
      {"../デモ/表示.BMP", "\x83\x66\x83\x82/\x95\x5C\x8E\xA6.bmp"},
      {"..\\" + platform::decodeAnsi("\x95\x5C.TXT"), "\x95\x5C.txt"},
      {"..\\表", "(none)"},
      {"..\\ａｂ.WAV", "\x82\x60\x82\x61.wav"},
      {"..\\ﾃｩ.wav", "\xC3\xA9.wav"},
      {"..\\é.WAV", "\xC3\xA9.wav"},
      {"..\\README.TXT.", "readme.txt"},
      {"..\\readme.txt . ", "readme.txt"},
      {"..\\noext...", "noext"},
      {"..\\readme", "(none)"},  // the extension is not optional
      {"readme.txt", "(none)"},
  };
  for (const auto& [name, content] : cases) EXPECT_EQ(opened(name), content) << name.toStdString();
  EXPECT_EQ(platform::currentDirectory(), QString::fromStdString(abs) + "/pics");
}

TEST_F(Files, ExactMatchWinsOverOtherLetterCases) {
  for (const char* f : {"song.mid", "Song.mid", "SONG.MID"}) file(f);
  for (const char* f : {"song.mid", "Song.mid", "SONG.MID"}) EXPECT_EQ(opened(f), f);
  // No exact match: one of them, the same one every time.
  const std::string any = opened("sOnG.MiD");
  EXPECT_NE(any, "(none)");
  EXPECT_EQ(opened("sOnG.MiD"), any);
}

TEST_F(Files, FoldersAreFoundButAreNotOrdinaryFilesAndMissingNamesGiveNothing) {
  makeFolder("Music");
  file("Music/a.mid");
  file(".hidden");
  for (const char* missing : {"", "absent.bmp", "music\\absent.bmp", "absent\\a.mid", ".hidden\\x.bmp"})
    EXPECT_FALSE(resolvePath(missing).has_value()) << missing;  // a file is not a folder either
  EXPECT_FALSE(platform::readFileBytes(root() + "/absent.bmp").has_value());
  const auto folder = resolvePath("music");
  ASSERT_TRUE(folder.has_value());
  EXPECT_FALSE(platform::isOrdinaryFile(*folder));
  EXPECT_FALSE(platform::readFileBytes(*folder).has_value());
  EXPECT_FALSE(platform::isOrdinaryFile(*resolvePath(".hidden")));
  EXPECT_FALSE(platform::isOrdinaryFile("/dev/null"));
}

}  // namespace
