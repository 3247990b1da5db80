// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: what each form asks for, and the errors that end with status 2.
#include <gtest/gtest.h>


#include "app/options.h"

namespace {

using Action = app::Options::Action;

app::Options parse(QStringList args) {
  args.prepend(QStringLiteral("kivo"));
  return app::parseOptions(args);
}

// The defaults, a FOLDER and --soundfont are taken in e2e_road, e2e_desktop and e2e_modes.
TEST(Options, WhatEachFormAsksFor) {
  struct Case {
    QStringList args;
    QString folder;
    bool demo, choose;
    int scale;
  };
  const Case cases[] = {
      {{"--demo", "--scale=4"}, {}, true, false, 4},
      {{"--choose-folder", "f"}, "f", false, true, 1},  // the menu entry's %f
      {{"--", "--demo"}, "--demo", false, false, 1},    // a folder with a dash
  };
  for (const Case& c : cases) {
    const app::Options o = parse(c.args);
    SCOPED_TRACE(c.args.join(' ').toStdString());
    EXPECT_EQ(o.action, Action::Play) << o.message.toStdString();
    EXPECT_EQ(o.folder, c.folder);
    EXPECT_EQ(o.demo, c.demo);
    EXPECT_EQ(o.chooseFolder, c.choose);
    EXPECT_EQ(o.scale, c.scale);
  }
}

// Help and version win over everything else. Errors take GNU's form: what is wrong (the
// option as given, dashes and all), then where help is. Output errors are checked on the
// installed binary (installed_tree_test.sh).
TEST(Options, HelpVersionAndBadArgumentsSayWhatTheyShould) {
  const Action e = Action::Error;
  const struct {
    QStringList args;
    Action action;
    QString says;  // an error's first line; part of the help or version text
  } cases[] = {
      {{"--scale", "2", "-h", "x"}, Action::Help, "\n  or:  kivo --check [--format=FORMAT] [--werror] [PATH]...\n"},
      {{"--help"}, Action::Help, "\nReport bugs to "},
      {{"--demo", "--version"}, Action::Version,
       "\nLicense GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"},
      {{"--bogus=1"}, e, "unrecognized option '--bogus=1'"},
      {{"-demo"}, e, "invalid option -- 'd'"},
      {{"-hx"}, e, "invalid option -- 'x'"},
      {{"--scale"}, e, "option '--scale' requires an argument"},
      {{"--version=3"}, e, "option '--version' doesn't allow an argument"},
      {{"--scale", " 2"}, e, "invalid argument ' 2' for '--scale' (1, 2, 3 or 4)"},
      {{"--scale=+2"}, e, "invalid argument '+2' for '--scale' (1, 2, 3 or 4)"},
      {{"--scale", "0"}, e, {}}, {{"--scale", "5"}, e, {}}, {{"--scale", "2.5"}, e, {}},
      {{"a", "b"}, e, {}}, {{"--demo", "a"}, e, {}}, {{"--soundfont="}, e, {}}, {{""}, e, {}},
      {{"--record", "x.avi"}, e, {}}, {{"--record", "x"}, e, {}}, {{"--record", "x.mp4", "--demo", "f"}, e, {}},
      {{"--check", "--record", "x.mp4"}, e, {}},
  };
  for (const auto& c : cases) {
    const app::Options o = parse(c.args);
    SCOPED_TRACE(c.args.join(' ').toStdString());
    EXPECT_EQ(o.action, c.action);
    if (c.action != e) {
      EXPECT_TRUE(o.message.contains(c.says)) << o.message.toStdString();
      continue;
    }
    const QStringList lines = o.message.split('\n');
    ASSERT_EQ(lines.size(), 2) << o.message.toStdString();
    if (!c.says.isEmpty()) {
      EXPECT_EQ(lines[0], c.says);
    }
    EXPECT_EQ(lines[1], "Try 'kivo --help' for more information.");
  }
}

// Every option in every mode: taken, or refused with a message that names both.
TEST(Options, EachModeTakesItsOptionsAndRefusesTheRest) {
  const QStringList modes[] = {{}, {"--broadcast"}, {"--check"}, {"--record", "o.MKV"}};
  const struct {
    QStringList option;
    const char* takenBy;  // play, broadcast, check, record
  } options[] = {
      {{"--demo"}, "PBCR"},         {{"--choose-folder"}, "PB.."}, {{"--soundfont", "f.sf2"}, "PB.R"},
      {{"--scale", "3"}, "PB.R"},   {{"--fullscreen"}, "PB.."},    {{"--once"}, ".B.."},
      {{"--format", "json"}, "..C."}, {{"--werror"}, "..C."},     {{"--programme", "KIVO.001"}, "...R"},
      {{"--overwrite"}, "...R"},    {{"--broadcast"}, "PB.."},
  };
  const Action actions[] = {Action::Play, Action::Play, Action::Check, Action::Record};
  for (int m = 0; m < 4; ++m)
    for (const auto& [option, takenBy] : options) {
      const app::Options o = parse(modes[m] + option);
      SCOPED_TRACE((modes[m] + option).join(' ').toStdString());
      if (takenBy[m] != '.') {
        EXPECT_EQ(o.action, actions[m]) << o.message.toStdString();
        continue;
      }
      EXPECT_EQ(o.action, Action::Error);
      EXPECT_TRUE(o.message.contains(option.front())) << o.message.toStdString();
      if (m > 0) {
        EXPECT_TRUE(o.message.contains(modes[m].front())) << o.message.toStdString();
      }
    }
}

}  // namespace
