// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/app_icon.h"

// Resources in a static library are only linked in when something refers to them.
static void initStageResources() { Q_INIT_RESOURCE(stage); }

namespace stage {

QIcon appIcon() {
  initStageResources();
  return QIcon(QStringLiteral(":/stage/art/kivo16.ico"));
}

}  // namespace stage
