#pragma once
#include <QIcon>

namespace stage {

// The 16 x 16, 16-colour icon of the stage and programme selection windows
// (drawn by tools/draw_stage_icon.py).
QIcon appIcon();

}  // namespace stage
