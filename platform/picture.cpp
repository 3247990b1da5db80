// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picture.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include "platform/files.h"
#include "platform/runtime_error.h"

namespace platform {
namespace {

// The most a decoded picture may take. A file claiming huge dimensions is refused
// before its pixels are allocated, so a few bytes cannot cost gigabytes; 4096 x 4096
// at 32 bits still fits.
constexpr int kPictureLimitMb = 64;

}  // namespace

QPixmap loadPicture(const QString& name) {
  if (name.isEmpty()) return {};
  return QPixmap::fromImage(loadPictureImage(name));
}

QImage loadPictureImage(const QString& name) {
  if (name.isEmpty()) return {};
  const std::optional<std::string> path = resolvePath(name);
  // The hint names the picture: the line that failed may be a dialogue line, whose
  // pictures come from the cast table.
  if (!path) throw RuntimeError(err::FileNotFound).at({{}, 0, {}, QStringLiteral("no picture file \"%1\"").arg(name)});
  // Read the bytes ourselves: native names need not be UTF-8, so QImage cannot be
  // handed the path. Hidden (dot-named) pictures load like any other.
  const std::optional<QByteArray> bytes = isRegularFile(*path) ? readFileBytes(*path) : std::nullopt;
  QImageReader::setAllocationLimit(kPictureLimitMb);
  QImage image;
  if (!bytes || !image.loadFromData(*bytes)) {
    QString why = QStringLiteral("\"%1\" is not a picture this player can read").arg(name);
    // A picture refused for its size alone says so: its header still gives the size.
    QBuffer buffer;
    if (bytes) buffer.setData(*bytes);
    const QSize size = bytes ? QImageReader(&buffer).size() : QSize();
    if (size.isValid() && qint64(size.width()) * size.height() * 4 > qint64(kPictureLimitMb) << 20)
      why = QStringLiteral("\"%1\" is %2 x %3 pixels: this player decodes pictures of at most %4 MB (4096 x 4096)")
                .arg(name)
                .arg(size.width())
                .arg(size.height())
                .arg(kPictureLimitMb);
    throw RuntimeError(err::InvalidPicture).at({{}, 0, {}, why});
  }
  return image;
}

QPixmap sharpForLabel(const QPixmap& picture) {
  const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
  if (picture.isNull() || ratio == picture.devicePixelRatio()) return picture;
  QPixmap sharp = picture.scaled(picture.deviceIndependentSize().toSize() * ratio, Qt::IgnoreAspectRatio,
                                 Qt::FastTransformation);
  sharp.setDevicePixelRatio(ratio);
  return sharp;
}

}  // namespace platform
