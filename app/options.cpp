// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "catalogue/catalogue.h"
#include "record/options.h"

namespace app {

namespace {

Options failed(const QString& why) {
  Options out;
  out.action = Options::Action::Error;
  out.message = why + QStringLiteral("\nTry 'kivo --help' for more information.");
  return out;
}

// What is wrong with the options' names and values, in GNU's words: the parser's own
// messages drop the dashes and read "-demo" as the four options d, e, m and o.
QString gnuProblem(const QStringList& arguments, const QList<QCommandLineOption>& options) {
  const auto find = [&](const QString& name) {
    return std::find_if(options.begin(), options.end(),
                        [&](const QCommandLineOption& o) { return o.names().contains(name); });
  };
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    if (arg == QLatin1String("--")) break;
    if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) continue;
    if (!arg.startsWith(QLatin1String("--"))) {
      for (const QChar c : arg.mid(1))
        if (const auto o = find(c); o == options.end() || !o->valueName().isEmpty())
          return QStringLiteral("invalid option -- '%1'").arg(c);
      continue;
    }
    const QString name = arg.mid(2).section(QLatin1Char('='), 0, 0);
    const auto o = find(name);
    if (o == options.end()) return QStringLiteral("unrecognized option '%1'").arg(arg);
    const bool takesValue = !o->valueName().isEmpty();
    if (!takesValue && arg.contains(QLatin1Char('=')))
      return QStringLiteral("option '--%1' doesn't allow an argument").arg(name);
    if (takesValue && !arg.contains(QLatin1Char('=')) && ++i == arguments.size())
      return QStringLiteral("option '--%1' requires an argument").arg(name);
  }
  return {};
}

constexpr const char* kUsage =
    "Usage: kivo [OPTION]... [FOLDER]\n"
    "  or:  kivo --broadcast [--once] [OPTION]... [FOLDER]\n"
    "  or:  kivo --broadcast --stream DEST [--once] [OPTION]... [FOLDER]\n"
    "  or:  kivo --check [--format=FORMAT] [--werror] [PATH]...\n"
    "  or:  kivo --record OUT [--programme KIVO.nnn] [--subtitles FILE] [--overwrite] [OPTION]... [FOLDER]\n";

}  // namespace

Options parseOptions(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Plays the programmes %1 found in FOLDER (by default the current directory).").arg(catalogue::range()));
  parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The folder of programmes to play."),
                               QStringLiteral("[FOLDER]"));
  const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("Play the demo programmes that come with kivo."));
  const QCommandLineOption chooseFolder(
      QStringLiteral("choose-folder"),
      QStringLiteral("Without FOLDER, ask for the folder in a dialog that starts at the last one chosen."));
  const QCommandLineOption soundFont(
      QStringLiteral("soundfont"), QStringLiteral("Play music with this General MIDI SoundFont instead of the system's."),
      QStringLiteral("FILE"));
  const QCommandLineOption scale(QStringLiteral("scale"),
                                 QStringLiteral("Draw every window N times larger (1 to 4)."), QStringLiteral("N"));
  const QCommandLineOption broadcast(
      QStringLiteral("broadcast"),
      QStringLiteral("Broadcast unattended: every programme in list order, each item once, in rounds."));
  const QCommandLineOption once(QStringLiteral("once"), QStringLiteral("With --broadcast, end after the last programme."));
  const QCommandLineOption fullScreen(QStringLiteral("fullscreen"),
                                      QStringLiteral("The stage fills the screen (Esc leaves full screen)."));
  const QCommandLineOption check(
      QStringLiteral("check"),
      QStringLiteral("Check programmes without playing them: PATH... are files or folders (default: the current "
                     "folder). Exit status 1 when one has an error."));
  const QCommandLineOption format(QStringLiteral("format"),
                                  QStringLiteral("With --check, report as text (the default) or json."),
                                  QStringLiteral("FORMAT"));
  const QCommandLineOption werror(QStringLiteral("werror"), QStringLiteral("With --check, warnings count as errors."));
  const QCommandLineOption record(
      QStringLiteral("record"),
      QStringLiteral("Record the programmes of FOLDER to the video file OUT (.mp4, .webm or .mkv) without "
                     "showing them; --scale sets the picture's size (1 to 4, default 2)."),
      QStringLiteral("OUT"));
  const QCommandLineOption programme(QStringLiteral("programme"),
                                     QStringLiteral("With --record, record only this programme (KIVO.nnn)."),
                                     QStringLiteral("KIVO.nnn"));
  const QCommandLineOption overwrite(QStringLiteral("overwrite"),
                                     QStringLiteral("With --record, replace an existing OUT (never a programme's file)."));
  const QCommandLineOption subtitles(
      QStringLiteral("subtitles"),
      QStringLiteral("With --record, also write the captions to FILE (.vtt or .srt), each line led by its speaker."),
      QStringLiteral("FILE"));
  const QCommandLineOption stream(
      QStringLiteral("stream"),
      QStringLiteral("With --broadcast, stream the station in real time without a screen or sound device: DEST "
                     "is a folder (HLS with a watch page, created if missing) or a URL (rtmp://, rtmps://, srt://, "
                     "udp://, tcp://)."),
      QStringLiteral("DEST"));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit."));
  const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
  const QList<QCommandLineOption> all{demo,   chooseFolder, soundFont, scale,     broadcast, stream, once, fullScreen, check,
                                     format, werror,       record,    programme, subtitles, overwrite, help, version};
  parser.addOptions(all);

  if (const QString why = gnuProblem(arguments, all); !why.isEmpty())
    return failed(why);
  if (!parser.parse(arguments)) return failed(parser.errorText());
  Options out;
  if (parser.isSet(help)) {
    out.action = Options::Action::Help;
    // Parsing needs no application object, so the parser does not know the program's name;
    // its one usage line gives way to every form.
    const QString text = parser.helpText();
    out.message = QString::fromLatin1(kUsage) + text.mid(text.indexOf(QLatin1Char('\n')) + 1) +
                  QStringLiteral("\nReport bugs to the issue tracker of the kivo developers,\n"
                                 "or of the distribution that made your package.\n");
    return out;
  }
  if (parser.isSet(version)) {
    out.action = Options::Action::Version;
    out.message = QStringLiteral(
        "kivo " KIVO_VERSION "\n"
        "Copyright (C) 2026 The kivo developers.\n"
        "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
        "This is free software: you are free to change and redistribute it.\n"
        "There is NO WARRANTY, to the extent permitted by law.\n");
    return out;
  }

  // Which option each mode takes: one table, so no mode quietly ignores what it was given.
  enum Mode { kPlay = 1, kBroadcast = 2, kCheck = 4, kRecord = 8, kStream = 16 };
  const Mode mode = parser.isSet(check)       ? kCheck
                    : parser.isSet(record)    ? kRecord
                    : parser.isSet(broadcast) ? (parser.isSet(stream) ? kStream : kBroadcast)
                                              : kPlay;
  const struct {
    const QCommandLineOption& option;
    int modes;
  } takenBy[] = {
      {demo, kPlay | kBroadcast | kCheck | kRecord | kStream},
      {chooseFolder, kPlay | kBroadcast},
      {soundFont, kPlay | kBroadcast | kRecord | kStream},
      {scale, kPlay | kBroadcast | kRecord | kStream},
      {fullScreen, kPlay | kBroadcast},
      {broadcast, kBroadcast | kStream},
      {stream, kStream},
      {once, kBroadcast | kStream},
      {check, kCheck},
      {format, kCheck},
      {werror, kCheck},
      {record, kRecord},
      {programme, kRecord},
      {overwrite, kRecord},
      {subtitles, kRecord},
  };
  const auto dashed = [](const QCommandLineOption& o) { return QStringLiteral("--") + o.names().constLast(); };
  for (const auto& [option, modes] : takenBy) {
    if (!parser.isSet(option) || (modes & mode) != 0) continue;
    if (mode != kPlay) {
      const QCommandLineOption& modeOption = mode == kCheck ? check : mode == kRecord ? record : mode == kStream ? stream : broadcast;
      return failed(QStringLiteral("%1 does not take %2.").arg(dashed(modeOption), dashed(option)));
    }
    QStringList with;
    // A stream is broadcast too: "--stream goes with --broadcast".
    for (const auto& [bit, name] : {std::pair{kBroadcast | kStream, &broadcast}, {kCheck, &check}, {kRecord, &record}})
      if ((modes & bit) != 0) with << dashed(*name);
    return failed(QStringLiteral("%1 goes with %2.").arg(dashed(option), with.join(QStringLiteral(" or "))));
  }

  const QStringList positional = parser.positionalArguments();
  out.demo = parser.isSet(demo);
  if (out.demo && !positional.isEmpty())
    return failed(QStringLiteral("Give either %1 or --demo, not both.").arg(mode == kCheck ? QStringLiteral("PATH") : QStringLiteral("FOLDER")));
  if (mode == kCheck) {
    out.action = Options::Action::Check;
    out.checkPaths = positional;
    out.werror = parser.isSet(werror);
    const QString how = parser.isSet(format) ? parser.value(format) : QStringLiteral("text");
    if (how != QLatin1String("text") && how != QLatin1String("json"))
      return failed(QStringLiteral("--format takes text or json, not '%1'.").arg(how));
    out.json = how == QLatin1String("json");
    return out;
  }
  if (mode == kRecord) {
    out.action = Options::Action::Record;
    out.recordOut = parser.value(record);
    if (out.recordOut.isEmpty()) return failed(QStringLiteral("--record needs an output file."));
    if (record::videoFormat(out.recordOut).isEmpty())
      return failed(QStringLiteral("--record writes .mp4, .webm or .mkv files, not '%1'.").arg(out.recordOut));
    out.programme = parser.value(programme);
    out.overwrite = parser.isSet(overwrite);
    out.subtitles = parser.value(subtitles);
    if (parser.isSet(subtitles) && record::subtitleFormat(out.subtitles).isEmpty())
      return failed(QStringLiteral("--subtitles writes .vtt or .srt files, not '%1'.").arg(out.subtitles));
    out.scale = 2;
  }
  if (mode == kStream) {
    out.action = Options::Action::Stream;
    out.stream = parser.value(stream);
    if (out.stream.isEmpty()) return failed(QStringLiteral("--stream needs a folder or a URL."));
    if (record::streamFormat(out.stream).isEmpty())
      return failed(QStringLiteral("--stream cannot go to '%1': the URL schemes are %2.")
                        .arg(out.stream, QLatin1String(record::kStreamSchemes)));
    out.scale = 2;
  }
  if (positional.size() > 1) return failed(QStringLiteral("Only one FOLDER may be given."));
  if (!positional.isEmpty()) {
    out.folder = positional.front();
    if (out.folder.isEmpty()) return failed(QStringLiteral("FOLDER is empty."));
  }
  out.chooseFolder = parser.isSet(chooseFolder);
  out.broadcast = mode == kBroadcast;
  out.once = parser.isSet(once);
  out.fullScreen = parser.isSet(fullScreen);
  if (parser.isSet(soundFont)) {
    out.soundFont = parser.value(soundFont);
    if (out.soundFont.isEmpty()) return failed(QStringLiteral("--soundfont needs a file name."));
  }
  if (parser.isSet(scale)) {
    // One digit, nothing around it: " 2" or "+2" is a typing slip, not a factor.
    const QString n = parser.value(scale);
    if (n.size() != 1 || n[0] < QLatin1Char('1') || n[0] > QLatin1Char('4'))
      return failed(QStringLiteral("invalid argument '%1' for '--scale' (1, 2, 3 or 4)").arg(n));
    out.scale = n.toInt();
  }
  return out;
}

QString folderProblem(const QByteArray& nativePath) {
  struct stat info {};
  if (::stat(nativePath.constData(), &info) != 0) return QStringLiteral("no such folder");
  if (!S_ISDIR(info.st_mode)) return QStringLiteral("not a folder");
  // Listing needs read, entering needs search permission.
  if (::access(nativePath.constData(), R_OK | X_OK) != 0) return QStringLiteral("permission denied");
  return {};
}

QString demoFolder(const QString& executableFolder) {
  return QDir::cleanPath(executableFolder + QStringLiteral("/" KIVO_DEMO_FROM_BINARY));
}

}  // namespace app
