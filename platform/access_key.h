// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Captions in which "&" marks an access key: the marker is hidden and the character
// after it underlined; "&&" stands for one visible "&".
#include <QList>
#include <QString>

class QFont;
class QPainter;
class QRect;
class QTextLayout;

namespace platform {

struct AccessKeyCaption {
  QString text;            // what is shown
  QList<int> underlined;   // positions in text of the characters to underline
};

AccessKeyCaption parseAccessKeys(const QString& caption);

// Draws the caption into rect from its top-left corner with the painter's font and
// pen, wrapping at the rect's width (at word boundaries where there are any, else
// between any two characters) and clipping what does not fit.
void drawAccessKeyText(QPainter& painter, const QRect& rect, const QString& caption);

// The height in pixels the caption takes when wrapped at `width` as drawAccessKeyText
// wraps it; lines are laid out until `maxHeight` is reached.
int accessKeyTextHeight(const QFont& font, int width, const QString& caption, int maxHeight = 1 << 30);

}  // namespace platform
