// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frame (title bar and borders) the window manager puts round a top-level window.
// Under X11 it is known only once the window manager says so (_NET_FRAME_EXTENTS);
// a window manager that offers _NET_REQUEST_FRAME_EXTENTS says it before the window
// is mapped, so a window can be placed by its outer size without moving once seen.
#include <QMargins>
#include <optional>

class QWidget;

class QString;

namespace stage {

// Why Qt's xcb platform could not reach the X display DISPLAY names, asked before Qt is
// started: Qt aborts when it cannot connect. Empty when it can, or without libxcb.
QString x11DisplayProblem();

// True when an EWMH window manager runs on the X display (its check window is alive).
// False on other platforms and on a bare X server.
bool windowManagerRunning();

// Asks the window manager for the frame of a window not yet shown, without waiting:
// windows call it when they are built, so the answer is there when they are shown.
void requestFrameExtents(QWidget& window);

// The frame of a top-level window in pixels, as the window manager reports it; before
// the window is mapped, its answer to a request for it (waited for at most a quarter
// of a second). nullopt while it is not known: the window manager reports it only
// after mapping the window, or not yet.
std::optional<QMargins> frameExtents(QWidget& window);

}  // namespace stage
