#pragma once
// Shapes asked for by a pipeline stage (a Reduction or a Transformation node)
// on its display: a point-sized description is widened into a default box on
// the visible part of the frame, given to the shape being edited as a change
// of kind, or made into a new shape that the node takes.
#include <cstdint>

#include "shapes/editing/shape_requests.h"

namespace orva {

// What NodeShapeAction needs of the node and its display.
class ShapeNode {
public:
    virtual ~ShapeNode() = default;
    // The width and height of the frames of the node's data (its data
    // description); false when it has none.
    virtual bool FrameSize(int64_t* width, int64_t* height) = 0;
    // The data coordinates at the top left of the display's visible part:
    // the negative scroll offset of its device, times the zoom when zooming.
    virtual void VisibleOrigin(double* x, double* y) = 0;
    // The shape container of the node's display, or nullptr.
    virtual ShapeContainer* Display() = 0;
    // The node takes the new shape (links it to its items and shows it),
    // adding a reference of its own; false when it does not.
    virtual bool TakeShape(Shape* shape) = 0;
};

// The default box size: from the frame width (50 without one), a width above
// 100 becomes 50, one of 2 or more its half; the height is the frame height
// (50 without one) but at most that width.
void DefaultNodeBox(bool haveFrame, int64_t frameWidth, int64_t frameHeight, int64_t* width, int64_t* height);

// False for a missing description, a negative kind or a size below 5. A
// description without a point list (or with one point) whose corners
// coincide is widened into the default box at the visible origin, moved back
// to stay in the frame. An offset is kept only when it is a unit flip. With a
// current shape being edited on the display the description changes its kind
// (ChangeShapeKind); else a new shape is made, updated and handed to the node.
bool NodeShapeAction(ShapeNode* node, const ShapeRequest* description, const EditTransformState* offset);

}  // namespace orva
