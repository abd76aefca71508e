#pragma once

namespace orva {

class DisplayComponent;
class ShapeContainer;

// Lets the display ports make, drop and show their views' shape containers.
void InstallShapeServices();

// Has the window of the display cell whose shapes the container holds repainted later:
// on the user-interface thread it is marked for the next repaint of dirty windows, from
// another thread a paint is posted to its queue.
void RedrawShapeViewLater(ShapeContainer* container);

// The display cell whose view holds the container's shapes, or null.
DisplayComponent* CellOfShapeContainer(ShapeContainer* container);

}  // namespace orva
