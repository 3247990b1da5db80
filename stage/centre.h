// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
class QWidget;

namespace stage {

// Offset of one edge: the free space in twips rounded half to even, then halved
// toward zero, so a window 3 twips wider than the screen sits at -1.
int centredEdge(double screenTwips, double outerTwips);

// The window centring routine of the stage and selection windows: left first, then
// the outer height is read and the top set. The outer size includes the window
// manager's frame: asked for before the window is first shown where the window
// manager answers that, else learnt once the window is mapped, and the window is then
// centred again (a visible move, unless the viewer has moved it already).
void centreWindow(QWidget& window);

}  // namespace stage
