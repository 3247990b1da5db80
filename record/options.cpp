#include "record/options.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "platform/fonts.h"
#include "record/recorder.h"

namespace record {

bool wanted(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--record") == 0 || std::strncmp(argv[i], "--record=", 9) == 0) return true;
  }
  return false;
}

std::optional<Options> parse(const QStringList& args, QString& error) {
  Options o;
  bool haveOut = false;
  for (int i = 0; i < args.size(); ++i) {
    QString arg = args[i];
    QString value;
    const bool takesValue = arg.startsWith(QLatin1String("--record")) || arg.startsWith(QLatin1String("--programme")) ||
                            arg.startsWith(QLatin1String("--scale"));
    if (takesValue) {
      const qsizetype eq = arg.indexOf(u'=');
      if (eq >= 0) {
        value = arg.mid(eq + 1);
        arg = arg.left(eq);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = arg + QStringLiteral(" needs a value");
        return std::nullopt;
      }
    }
    if (arg == QLatin1String("--record")) {
      o.out = value;
      haveOut = true;
    } else if (arg == QLatin1String("--programme")) {
      o.programme = value;
    } else if (arg == QLatin1String("--scale")) {
      bool ok = false;
      o.scale = value.toInt(&ok);
      if (!ok || o.scale < 1 || o.scale > 8) {
        error = QStringLiteral("--scale takes a whole number from 1 to 8, not \"%1\"").arg(value);
        return std::nullopt;
      }
    } else if (arg.startsWith(QLatin1String("--"))) {
      error = QStringLiteral("unknown option %1 for --record").arg(arg);
      return std::nullopt;
    } else if (o.folder.isEmpty()) {
      o.folder = arg;
    } else {
      error = QStringLiteral("one folder only, not also \"%1\"").arg(arg);
      return std::nullopt;
    }
  }
  if (!haveOut || o.out.isEmpty()) {
    error = QStringLiteral("--record needs an output file");
    return std::nullopt;
  }
  return o;
}

int main(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  QString error;
  const std::optional<Options> options = parse(args, error);
  if (!options) {
    std::fprintf(stderr, "kivo: %s\n", error.toUtf8().constData());
    return 2;
  }
  // Nothing is shown: the stage is drawn into pictures, whatever display there is.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Warnings that only say there is no desktop: nobody is there to see the window.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg && (text.contains(QLatin1String("does not support raise()")) ||
                                 text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))))
      return;
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
  });
  QApplication application(argc, argv);
  platform::installFontSubstitutions();
  return run(*options);
}

}  // namespace record
