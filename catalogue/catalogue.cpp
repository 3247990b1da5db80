// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"

#include <QRegularExpression>

#include "platform/files.h"
#include "platform/input.h"
#include "platform/runtime_error.h"

namespace catalogue {

QString fileName(int number) { return QStringLiteral("KIVO.%1").arg(number, 3, 10, QLatin1Char('0')); }

QString range() { return fileName(1) + QStringLiteral(" to ") + fileName(kLastNumber); }

bool isProgrammeName(const QString& name) {
  static const QRegularExpression pattern(QStringLiteral("^KIVO\\.\\d{3}$"), QRegularExpression::CaseInsensitiveOption);
  return pattern.match(name).hasMatch();
}

namespace {

bool isListed(const QString& file) {
  const auto path = platform::resolvePath(file);
  return path && platform::isOrdinaryFile(*path);
}

}  // namespace

std::optional<int> numberLike(const QString& name) {
  static const QRegularExpression numbered(QStringLiteral("^\\.?kivo\\.0*(\\d{1,4})"), QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = numbered.match(name);
  return m.hasMatch() ? std::optional<int>(m.captured(1).toInt()) : std::nullopt;
}

QStringList files() {
  QStringList found;
  for (int n = 1; n <= kLastNumber; ++n)
    if (isListed(fileName(n))) found << fileName(n);
  return found;
}

QList<Programme> scan(const std::function<void()>& beforeEachNumber) {
  QList<Programme> programmes;
  platform::SequentialInput input;
  for (int n = 1; n <= kLastNumber; ++n) {
    if (beforeEachNumber) beforeEachNumber();
    const QString file = fileName(n);
    if (isListed(file)) programmes.append({file, readTitle(input, file)});
  }
  return programmes;
}

QString readTitle(platform::SequentialInput& input, const QString& file) {
  QString title;
  try {
    input.open(file);
    // Both fields go to the same place; the second one is the title.
    title = input.fieldInput();
    title = input.fieldInput();
  } catch (const platform::RuntimeError&) {
    // Unreadable, empty or single-field files are still listed, under their own name.
    title = file;
  }
  input.closeAll();
  return title;
}

}  // namespace catalogue
