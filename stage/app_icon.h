// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QIcon>
#include <QString>

namespace stage {

// The 16 x 16, 16-colour icon of the stage and programme selection windows
// (drawn by tools/draw_stage_icon.py).
QIcon appIcon();

// The title of the stage and programme selection windows and of the error box.
inline QString windowTitle() { return QStringLiteral("ミルカナランド放送局"); }

}  // namespace stage
