// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/web_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <cstdio>
#include <optional>

#include "platform/files.h"

namespace record {
namespace {

void say(const QString& text) { std::fprintf(stderr, "kivo: %s\n", text.toUtf8().constData()); }

// Regular files only: a FIFO named like the page would hold the stream up for ever.
std::optional<QByteArray> read(const QString& path) { return platform::readFileBytes(QFile::encodeName(path).toStdString()); }

bool save(const QString& path, const QByteArray& data) { return platform::writeFileAside(path, data).isEmpty(); }

QByteArray hash(const QByteArray& data) { return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex(); }

}  // namespace

void copyWebFiles(const QString& webDir, const QString& folder) {
  const QDir from(webDir), to(folder);
  if (webDir.isEmpty() || !from.exists(QStringLiteral("index.html"))) {
    say(QStringLiteral("no watch page to copy (set KIVO_WEB_DIR to kivo's web folder); the stream runs without "
                       "index.html"));
    return;
  }
  // "name hash" lines: what kivo wrote, so a later kivo may replace its own files.
  const QString listPath = to.filePath(QStringLiteral(".kivo-web"));
  QMap<QString, QByteArray> written;
  for (const QByteArray& line : read(listPath).value_or(QByteArray()).split('\n'))
    if (const qsizetype space = line.indexOf(' '); space > 0)
      written.insert(QString::fromUtf8(line.left(space)), line.mid(space + 1));
  for (const QString& name : {QStringLiteral("index.html"), QStringLiteral("hls.min.js")}) {
    const std::optional<QByteArray> source = read(from.filePath(name));
    if (!source) {
      say(QStringLiteral("cannot read %1; the stream runs without it").arg(from.filePath(name)));
      continue;
    }
    const std::optional<QByteArray> there = read(to.filePath(name));
    // Something there that is not a file we can read is the user's too.
    const bool foreign = there ? *there != *source && written.value(name) != hash(*there)
                               : QFileInfo(to.filePath(name)).exists() || QFileInfo(to.filePath(name)).isSymLink();
    if (foreign) {
      say(QStringLiteral("%1 was not written by kivo; it is left as it is").arg(to.filePath(name)));
      continue;
    }
    if (!there || *there != *source) {
      if (!save(to.filePath(name), *source)) {
        say(QStringLiteral("cannot write %1").arg(to.filePath(name)));
        continue;
      }
    }
    written.insert(name, hash(*source));
  }
  QByteArray list;
  for (auto it = written.cbegin(); it != written.cend(); ++it) list += it.key().toUtf8() + ' ' + it.value() + '\n';
  save(listPath, list);
}

}  // namespace record
