// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures named by scenario files, loaded as Windows' picture loader does.
#include <QImage>
#include <QPixmap>
#include <QString>

namespace platform {

// An empty name gives the empty (null) picture. Otherwise the name is found like any
// other file the program opens; a missing file is run-time error 53, a file that
// cannot be read or is not a picture is error 481.
QPixmap loadPicture(const QString& name);
// The same, decoded but not made a pixmap (for the checker, which shows nothing).
QImage loadPictureImage(const QString& name);

// `picture` for a label in windows drawn larger (Qt's scale factor): enlarged here pixel
// by pixel, because a label would smooth it. Unchanged at the normal size.
QPixmap sharpForLabel(const QPixmap& picture);

}  // namespace platform
