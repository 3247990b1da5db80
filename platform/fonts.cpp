// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fonts.h"

#include <cmath>

namespace platform {

void installFontSubstitutions() {
  QFont::insertSubstitution(kGothicFamily, QStringLiteral("IPAPGothic"));
  QFont::insertSubstitution(kMinchoFamily, QStringLiteral("IPAPMincho"));
}

int pointsToPixels(double points) { return static_cast<int>(std::lround(points * 96.0 / 72.0)); }

QFont layoutFont(const QString& family, double points) {
  installFontSubstitutions();
  QFont font(family);
  font.setPixelSize(pointsToPixels(points));
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}

}  // namespace platform
