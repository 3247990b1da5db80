#pragma once
class QWidget;

namespace stage {

// Offset of one edge: the free space in twips rounded half to even, then halved
// toward zero, so a window 3 twips wider than the screen sits at -1.
int centredEdge(double screenTwips, double outerTwips);

// The window centring routine of the stage and selection windows: left first, then
// the outer height is read and the top set.
void centreWindow(QWidget& window);

}  // namespace stage
