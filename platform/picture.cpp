#include "platform/picture.h"

#include <QImage>

#include "platform/files.h"
#include "platform/runtime_error.h"

namespace platform {

QPixmap loadPicture(const QString& name) {
  if (name.isEmpty()) return {};
  const std::optional<std::string> path = resolvePath(name);
  if (!path) throw RuntimeError(err::FileNotFound);
  // Read the bytes ourselves: native names need not be UTF-8, so QImage cannot be
  // handed the path.
  const std::optional<QByteArray> bytes = isOrdinaryFile(*path) ? readFileBytes(*path) : std::nullopt;
  QImage image;
  if (!bytes || !image.loadFromData(*bytes)) throw RuntimeError(err::InvalidPicture);
  return QPixmap::fromImage(std::move(image));
}

}  // namespace platform
