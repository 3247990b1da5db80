// SPDX-License-Identifier: GPL-3.0-or-later
// The check mode's command line, its walk over files and folders, and its output.
#include "check/check.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "catalogue/catalogue.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/trace.h"

namespace check {
namespace {

const char* severityWord(Severity s) {
  switch (s) {
    case Severity::Error: return "error";
    case Severity::Warning: return "warning";
    case Severity::Note: return "note";
  }
  return "";
}

void print(std::FILE* out, const QString& line) {
  const QByteArray bytes = line.toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
  std::fputc('\n', out);
}

std::string json(const QString& text) { return platform::trace::jsonString(text); }

// User text (titles, names, lines) in the text output may hold what an editor's error
// format takes for a place in a file: "2: ", ":12:", "(3):", "|4| ". Its ASCII colons and
// bars after a digit or a closing parenthesis show in full width there; JSON keeps it exact.
QString forEditors(QString text) {
  for (qsizetype i = 1; i < text.size(); ++i)
    if ((text[i] == u':' || text[i] == u'|') && (text[i - 1].isDigit() || text[i - 1] == u')'))
      text[i] = text[i] == u':' ? QChar(0xFF1A) : QChar(0xFF5C);
  return text;
}

// "file:line:column: severity: message — hint", as compilers write it.
QString editorLine(const QString& file, const Diagnostic& d) {
  QString text = QStringLiteral("%1:%2:%3: %4: ").arg(file).arg(d.line).arg(d.column).arg(QLatin1String(severityWord(d.severity)));
  if (d.severity == Severity::Error) text += QStringLiteral("Run-time error '%1': ").arg(d.number);
  QString said = d.message;
  if (!d.hint.isEmpty()) said += QStringLiteral(" — ") + d.hint;
  return text + forEditors(said);
}

std::string jsonHead(const QString& file) {
  return "{\"schema\":" + std::to_string(kJsonSchema) + ",\"file\":" + json(file);
}

QString jsonLine(const QString& file, const Diagnostic& d) {
  const std::string line = jsonHead(file) + ",\"line\":" + std::to_string(d.line) +
                           ",\"column\":" + std::to_string(d.column) + ",\"severity\":\"" + severityWord(d.severity) +
                           "\",\"code\":\"" + d.code + "\",\"number\":" +
                           (d.number != 0 ? std::to_string(d.number) : std::string("null")) +
                           ",\"message\":" + json(d.message) + ",\"hint\":" + json(d.hint) + "}";
  return QString::fromStdString(line);
}

// Minutes and seconds; an hour or more as "1 h 06:02.2", never two colons in a row of digits.
QString runningTime(double ms) {
  const long long tenths = std::llround(ms / 100);
  const QString seconds = QStringLiteral("%1.%2").arg((tenths / 10) % 60, 2, 10, QLatin1Char('0')).arg(tenths % 10);
  if (tenths < 36000) return QStringLiteral("%1:%2").arg(tenths / 600).arg(seconds);
  return QStringLiteral("%1 h %2:%3").arg(tenths / 36000).arg((tenths / 600) % 60, 2, 10, QLatin1Char('0')).arg(seconds);
}

QString summaryLine(const FileReport& r) {
  const Summary& s = r.summary;
  return QStringLiteral("%1: \"%2\": %3 sections, %4 dialogue lines, %5 speakers, %6 pictures, %7 tunes, %8 clips, "
                        "running time %9 (automatic mode, every item once, menu waits not counted)")
      .arg(r.file, forEditors(s.title))
      .arg(s.sections)
      .arg(s.dialogueLines)
      .arg(s.speakers)
      .arg(s.pictures)
      .arg(s.tunes)
      .arg(s.clips)
      .arg(runningTime(s.runningMs));
}

QString summaryJson(const FileReport& r) {
  const Summary& s = r.summary;
  const std::string line = jsonHead(r.file) + ",\"summary\":{\"title\":" + json(s.title) +
                           ",\"sections\":" + std::to_string(s.sections) +
                           ",\"dialogueLines\":" + std::to_string(s.dialogueLines) +
                           ",\"speakers\":" + std::to_string(s.speakers) +
                           ",\"pictures\":" + std::to_string(s.pictures) + ",\"tunes\":" + std::to_string(s.tunes) +
                           ",\"clips\":" + std::to_string(s.clips) +
                           ",\"runningMs\":" + std::to_string(std::llround(s.runningMs)) + "}}";
  return QString::fromStdString(line);
}

// One programme to check: the folder it plays from, its name there, its name in reports.
struct Target {
  QString folder;
  QString name;
  QString shownAs;
  bool listed = false;  // known to be in the programme list
};

QString baseName(const std::string& nativePath) {
  return platform::decodeFileName(nativePath.substr(nativePath.rfind('/') + 1));
}

// A folder's programmes, found as the programme list finds them, named as on disk.
QList<Target> programmesIn(const QString& folder, const QString& prefix) {
  QList<Target> found;
  const QString old = QDir::currentPath();
  // An empty folder is the current one, entered already (its name may not be UTF-8).
  if (!folder.isEmpty() && !QDir::setCurrent(folder)) return found;
  for (const QString& file : catalogue::files()) {
    const QString name = baseName(*platform::resolvePath(file));
    found.append({folder, name, prefix + name, true});
  }
  QDir::setCurrent(old);
  return found;
}

// Files of a folder named like programmes that the list never shows ("KIVO.002.txt",
// "KIVO.101", ".KIVO.003"): checked as well, with a word on the name.
QList<Target> unlistedIn(const QString& folder, const QString& prefix, const QList<Target>& listed) {
  QList<Target> found;
  const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
  for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
    const QString name = info.fileName();
    if (catalogue::numberLike(name) && std::none_of(listed.begin(), listed.end(), [&](const Target& t) { return t.name == name; }))
      found.append({folder, name, prefix + name});
  }
  return found;
}

// Why the programme list never shows this file of the current folder, or nothing when it does.
std::optional<Diagnostic> unlistedFinding(const QString& name) {
  for (const QString& file : catalogue::files())
    if (baseName(*platform::resolvePath(file)) == name) return std::nullopt;
  const int n = catalogue::numberLike(name).value_or(0);
  QString hint = QStringLiteral("name it %1").arg(catalogue::range());
  if (name.startsWith(u'.'))
    hint = QStringLiteral("the list skips hidden files (names that begin with a dot)");
  else if (n >= 1 && n <= catalogue::kLastNumber && platform::resolvePath(catalogue::fileName(n)))
    hint = QStringLiteral("%1 is another file of this folder").arg(catalogue::fileName(n));
  else if (n >= 1 && n <= catalogue::kLastNumber)
    hint = QStringLiteral("rename it %1").arg(catalogue::fileName(n));
  Diagnostic d{1, Severity::Warning, 0, QStringLiteral("the programme list never shows this file: it lists only %1").arg(catalogue::range()), hint};
  d.code = "not-listed";
  return d;
}

}  // namespace

int run(const QStringList& paths, const Options& options) {
  QList<Target> targets;
  bool pathMissing = false;
  const auto missing = [&](const QString& path, const QString& what) {
    pathMissing = true;
    if (options.json)
      print(options.out, QString::fromStdString(jsonHead(path) + ",\"line\":null,\"column\":null,\"severity\":\"error\","
                                                                 "\"code\":\"no-such-path\",\"number\":null,\"message\":" +
                                                json(what) + ",\"hint\":\"\"}"));
    else
      print(options.err, QStringLiteral("kivo: %1: %2").arg(path, what));
  };
  const QStringList given = paths.isEmpty() ? QStringList{QString()} : paths;
  for (const QString& path : given) {
    const QFileInfo info(path.isEmpty() ? QStringLiteral(".") : path);
    if (info.isDir()) {
      const QString prefix = path.isEmpty() || path == u"." ? QString() : (path.endsWith(u'/') ? path : path + u'/');
      const QString where = prefix.isEmpty() ? QString() : info.absoluteFilePath();
      const QList<Target> found = programmesIn(where, prefix);
      const QList<Target> unlisted = unlistedIn(where, prefix, found);
      if (found.isEmpty() && unlisted.isEmpty())
        missing(path.isEmpty() ? QStringLiteral(".") : path, QStringLiteral("no programme %1 in this folder").arg(catalogue::range()));
      targets += found;
      targets += unlisted;
    } else if (info.isFile()) {
      targets.append({info.absolutePath(), info.fileName(), path});
    } else {
      missing(path, QStringLiteral("no such file or folder"));
    }
  }

  Checker checker;
  bool failed = false;
  const QString old = QDir::currentPath();
  for (const Target& t : targets) {
    if (!t.folder.isEmpty()) QDir::setCurrent(t.folder);
    FileReport report = checker.check(t.name, t.shownAs);
    if (auto finding = t.listed ? std::nullopt : unlistedFinding(t.name)) report.diagnostics.insert(report.diagnostics.begin(), *finding);
    for (const Diagnostic& d : report.diagnostics)
      print(options.out, options.json ? jsonLine(report.file, d) : editorLine(report.file, d));
    print(options.out, options.json ? summaryJson(report) : summaryLine(report));
    failed = failed || report.count(Severity::Error) > 0 || (options.werror && report.count(Severity::Warning) > 0);
  }
  QDir::setCurrent(old);
  std::fflush(options.out);
  return pathMissing ? 2 : failed ? 1 : 0;
}

int runProcess(const QStringList& paths, const Options& options, char* programName) {
  // Nothing is shown: no display is needed, only fonts and picture decoders.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // What Qt and its plugins say about the machine ("XDG_RUNTIME_DIR not set") is no
  // finding; our own output does not go through Qt's messages.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) print(stderr, message);
  });
  int qtArgc = 1;
  char* qtArgv[] = {programName, nullptr};
  QGuiApplication application(qtArgc, qtArgv);
  platform::installFontSubstitutions();
  return run(paths, options);
}

}  // namespace check
