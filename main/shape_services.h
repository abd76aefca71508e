#pragma once

namespace orva {

class ShapeContainer;

// Lets the display ports make, drop and show their views' shape containers.
void InstallShapeServices();

// Marks the window of the display cell whose shapes the container holds for the next
// repaint of dirty windows. On the user-interface thread only; elsewhere nothing (a
// playback step redraws its view anyway).
void RedrawShapeViewLater(ShapeContainer* container);

}  // namespace orva
