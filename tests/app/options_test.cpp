// The command line: what each form asks for, and the errors that end with status 2.
#include <gtest/gtest.h>


#include "app/options.h"

namespace {

using Action = app::Options::Action;

app::Options parse(QStringList args) {
  args.prepend(QStringLiteral("kivo"));
  return app::parseOptions(args);
}

TEST(Options, WhatEachFormAsksFor) {
  struct Case {
    QStringList args;
    QString folder;
    bool demo, choose;
    QString soundFont;
    int scale;
  };
  const Case cases[] = {
      {{}, {}, false, false, {}, 1},
      {{"some/folder"}, "some/folder", false, false, {}, 1},
      {{"--demo", "--scale=4"}, {}, true, false, {}, 4},
      {{"--choose-folder", "f"}, "f", false, true, {}, 1},  // the menu entry's %f
      {{"--soundfont", "a.sf2", "--scale", "1"}, {}, false, false, "a.sf2", 1},
      {{"--", "--demo"}, "--demo", false, false, {}, 1},  // a folder with a dash
  };
  for (const Case& c : cases) {
    const app::Options o = parse(c.args);
    SCOPED_TRACE(c.args.join(' ').toStdString());
    EXPECT_EQ(o.action, Action::Play) << o.message.toStdString();
    EXPECT_EQ(o.folder, c.folder);
    EXPECT_EQ(o.demo, c.demo);
    EXPECT_EQ(o.chooseFolder, c.choose);
    EXPECT_EQ(o.soundFont, c.soundFont);
    EXPECT_EQ(o.scale, c.scale);
  }
}

// The texts themselves are checked on the installed binary (installed_tree_test.sh).
TEST(Options, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(parse({"--scale", "2", "-h", "x"}).action, Action::Help);
  EXPECT_EQ(parse({"--demo", "--version"}).action, Action::Version);
}

TEST(Options, BadArgumentsAreOneLineThatPointsToHelp) {
  const QStringList cases[] = {
      {"--bogus"}, {"-x"}, {"--scale"}, {"--scale", "0"}, {"--scale", "5"}, {"--scale", "2.5"},
      {"--scale", "two"}, {"a", "b"}, {"--demo", "a"}, {"--soundfont="}, {""}, {"--version=3"},
  };
  for (const QStringList& args : cases) {
    const app::Options o = parse(args);
    SCOPED_TRACE(args.join(' ').toStdString());
    EXPECT_EQ(o.action, Action::Error);
    EXPECT_FALSE(o.message.contains('\n'));
    EXPECT_TRUE(o.message.endsWith("Try 'kivo --help'.")) << o.message.toStdString();
  }
}

}  // namespace
