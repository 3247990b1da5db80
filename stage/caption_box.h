// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stage window's caption box (Label1): its place, its font, and whether a caption
// fits it. The window builds the box from these, and the checker measures with them.
#include <QFont>
#include <QRect>
#include <QString>

namespace stage {

// Left, top, width and height in twips.
QRect captionBoxTwips();
QFont captionFont();

struct CaptionFit {
  static constexpr int kMostLines = 40;
  bool fits = true;
  // Lines the wrapped caption takes, up to kMostLines; counted only when it does not fit.
  int linesNeeded = 0;
  int linesShown = 0;   // lines the box shows in full
};

// Measures the caption as the box draws it: wrapped at the box's width, "&" markers
// hidden; what does not fit the box's height is cut off.
CaptionFit fitCaption(const QString& caption);

}  // namespace stage
