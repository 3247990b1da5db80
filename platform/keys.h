// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Key-down events as Windows reports them: a virtual-key
// code and a modifier mask (Shift 1, Ctrl 2, Alt 4).
class QKeyEvent;

namespace platform {

inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

// The virtual-key code for a Qt key; 0 for keys that have none.
int virtualKeyCode(int qtKey);

// Pressing Shift, Ctrl or Alt alone already reports its own bit.
int modifierMask(const QKeyEvent& event);

}  // namespace platform
