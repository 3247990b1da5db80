// The check mode's command line, its walk over files and folders, and its output.
#include "check/check.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <cmath>
#include <cstring>

#include "catalogue/catalogue.h"
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

// "file:line:column: severity: message — hint", as compilers write it.
QString editorLine(const QString& file, const Diagnostic& d) {
  QString text = QStringLiteral("%1:%2:1: %3: ").arg(file).arg(d.line).arg(QLatin1String(severityWord(d.severity)));
  if (d.severity == Severity::Error) text += QStringLiteral("Run-time error '%1': ").arg(d.number);
  text += d.message;
  if (!d.hint.isEmpty()) text += QStringLiteral(" — ") + d.hint;
  return text;
}

QString jsonLine(const QString& file, const Diagnostic& d) {
  const std::string line = "{\"file\":" + json(file) + ",\"line\":" + std::to_string(d.line) +
                           ",\"column\":1,\"severity\":\"" + severityWord(d.severity) + "\",\"number\":" +
                           (d.number != 0 ? std::to_string(d.number) : std::string("null")) +
                           ",\"message\":" + json(d.message) + ",\"hint\":" + json(d.hint) + "}";
  return QString::fromStdString(line);
}

QString runningTime(double ms) {
  const long long tenths = std::llround(ms / 100);
  const QString seconds = QStringLiteral("%1.%2").arg((tenths / 10) % 60, 2, 10, QLatin1Char('0')).arg(tenths % 10);
  if (tenths < 36000) return QStringLiteral("%1:%2").arg(tenths / 600).arg(seconds);
  return QStringLiteral("%1:%2:%3").arg(tenths / 36000).arg((tenths / 600) % 60, 2, 10, QLatin1Char('0')).arg(seconds);
}

QString summaryLine(const FileReport& r) {
  const Summary& s = r.summary;
  return QStringLiteral("%1: \"%2\": %3 sections, %4 dialogue lines, %5 speakers, %6 pictures, %7 tunes, %8 clips, "
                        "running time %9 (automatic mode, every item once)")
      .arg(r.file, s.title)
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
  const std::string line = "{\"file\":" + json(r.file) + ",\"summary\":{\"title\":" + json(s.title) +
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
};

// A folder's programmes, found as the programme list finds them.
QList<Target> programmesIn(const QString& folder, const QString& prefix) {
  QList<Target> found;
  const QString old = QDir::currentPath();
  // An empty folder is the current one, entered already (its name may not be UTF-8).
  if (!folder.isEmpty() && !QDir::setCurrent(folder)) return found;
  for (const QString& name : catalogue::files()) found.append({folder, name, prefix + name});
  QDir::setCurrent(old);
  return found;
}

}  // namespace

int run(const QStringList& paths, const Options& options) {
  QList<Target> targets;
  const QStringList given = paths.isEmpty() ? QStringList{QString()} : paths;
  for (const QString& path : given) {
    const QFileInfo info(path.isEmpty() ? QStringLiteral(".") : path);
    if (info.isDir()) {
      const QString prefix = path.isEmpty() || path == u"." ? QString() : (path.endsWith(u'/') ? path : path + u'/');
      const QList<Target> found = programmesIn(prefix.isEmpty() ? QString() : info.absoluteFilePath(), prefix);
      if (found.isEmpty()) {
        print(options.err, QStringLiteral("kivo: %1: no programme %2 in this folder")
                               .arg(path.isEmpty() ? QStringLiteral(".") : path, catalogue::range()));
        return 2;
      }
      targets += found;
    } else if (info.isFile()) {
      targets.append({info.absolutePath(), info.fileName(), path});
    } else {
      print(options.err, QStringLiteral("kivo: %1: no such file or folder").arg(path));
      return 2;
    }
  }

  Checker checker;
  bool failed = false;
  const QString old = QDir::currentPath();
  for (const Target& t : targets) {
    if (!t.folder.isEmpty()) QDir::setCurrent(t.folder);
    const FileReport report = checker.check(t.name, t.shownAs);
    for (const Diagnostic& d : report.diagnostics)
      print(options.out, options.json ? jsonLine(report.file, d) : editorLine(report.file, d));
    print(options.out, options.json ? summaryJson(report) : summaryLine(report));
    failed = failed || report.count(Severity::Error) > 0 || (options.werror && report.count(Severity::Warning) > 0);
  }
  QDir::setCurrent(old);
  std::fflush(options.out);
  return failed ? 1 : 0;
}

int runProcess(const QStringList& paths, const Options& options, char* programName) {
  // Nothing is shown: no display is needed, only fonts and picture decoders.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {programName, nullptr};
  QGuiApplication application(qtArgc, qtArgv);
  platform::installFontSubstitutions();
  return run(paths, options);
}

}  // namespace check
