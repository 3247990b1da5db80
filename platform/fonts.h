// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The windows name their fonts as the Windows layout did; where those families are
// missing, Debian's IPA P fonts stand in for them.
#include <QFont>
#include <QString>

namespace platform {

inline const QString kGothicFamily = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kMinchoFamily = QStringLiteral("ＭＳ Ｐ明朝");

// Idempotent; call before building fonts with those families.
void installFontSubstitutions();

// A size in points as pixels at 96 dpi, rounded half away from zero as Windows'
// font mapping does: 14.25 pt is 19 px, 15.75 pt is 21 px.
int pointsToPixels(double points);

// A regular-weight font of the given family and point size, sized in pixels so that
// it keeps its layout size on any screen.
QFont layoutFont(const QString& family, double points);

}  // namespace platform
