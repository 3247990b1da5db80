#pragma once
// Pictures named by scenario files, loaded as Windows' picture loader does.
#include <QPixmap>
#include <QString>

namespace platform {

// An empty name gives the empty (null) picture. Otherwise the name is found like any
// other file the program opens; a missing file is run-time error 53, a file that
// cannot be read or is not a picture is error 481.
QPixmap loadPicture(const QString& name);

}  // namespace platform
