// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Layouts are given in twips; Qt works in device-independent pixels (96 per inch),
// so one pixel is 15 twips and Qt scales further for high-density screens.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <cmath>

namespace platform {

inline constexpr int kTwipsPerPixel = 15;

// Nearest pixel; an integer twip count never falls exactly halfway.
inline int twipsToPixels(int twips) { return static_cast<int>(std::lround(twips / double(kTwipsPerPixel))); }
inline constexpr int pixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

inline QRect twipsRect(int left, int top, int width, int height) {
  return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}
inline QSize pixelsToTwips(QSize pixels) {
  return {pixelsToTwips(pixels.width()), pixelsToTwips(pixels.height())};
}

}  // namespace platform
