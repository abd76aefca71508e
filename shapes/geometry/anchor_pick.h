#pragma once
// Picking anchors with the mouse and turning the edited shapes with the
// rotation handle of the edit frame.
#include <cstdint>

#include "shapes/shape.h"

namespace orva {

// Finds the first anchor within ±4 screen pixels of the mouse (window pixels)
// and updates the selection by the modifier word (toolkit key bits): plain
// click selects it alone, Alt adds it, Shift toggles it, Shift+Ctrl selects
// all or none (and with some selected steps the selection: the trailing run of
// selected anchors goes, the one before it is selected, those before flip).
// No anchor there
// clears the selection (result 0); 1 when the click was handled.
int32_t PickAnchor(Shape* shape, double mouseX, double mouseY, uint32_t modifiers);

class RotateDragFeedback;

// One step of a rotation drag. The edited shapes are `shape` and those linked
// after it by chainNext; each turns its anchors from the snapshot taken when
// the drag began.
struct RotateDrag {
    Shape* shape = nullptr;
    bool commonPivot = false;  // turn several shapes about pivotX, pivotY
    double pivotX = 0.0;
    double pivotY = 0.0;
    double viewOffsetX = 0.0;  // the display's offset, added to the pivot
    double viewOffsetY = 0.0;
    float startX = 0.0f;  // where the drag began, data coordinates
    float startY = 0.0f;
    float mouseX = 0.0f;  // where the pointer is now
    float mouseY = 0.0f;
    uint32_t modifiers = 0;   // Shift snaps to multiples of 45 degrees
    bool invertSnap = false;  // the tool snaps unless Shift is held
    RotateDragFeedback* feedback = nullptr;
};

// What the view does after each step: the cursor of the drag direction, an
// immediate repaint, the panel of the shape refreshed.
class RotateDragFeedback {
public:
    virtual ~RotateDragFeedback() = default;
    // (dirX, dirY): the pointer relative to the pivot.
    virtual void Rotated(const RotateDrag& drag, double dirX, double dirY) = 0;
};

// Turns the selected anchors (all of them when none is selected) of every
// edited shape about the pivot by the angle from the drag start to the
// pointer, so that the anchor under the pointer follows it; with snapping by
// that angle rounded to a multiple of 45 degrees. Each turned shape is
// updated (pivot kept) and its linked items restarted.
void RotateDragHandler(RotateDrag* drag);

}  // namespace orva
