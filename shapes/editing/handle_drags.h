#pragma once
// What the handles of the edit frame do to the container's current shape, apart from
// the widgets: the press that takes the snapshot and the boxes a drag starts from, the
// four edge drags and the four corner drags that resize the box from one side (Shift
// keeps the aspect ratio, Ctrl resizes about the centre), the rotation drag in edit mode
// 7, the release that records one "ANCR" step, the drag of the offset handle that
// widens or narrows the aperture, the sector of a direction that picks a rotation
// cursor, and the immediate repaint of a shape's window. UI thread.
#include <cstdint>

#include "shapes/geometry/anchor_pick.h"
#include "shapes/shape.h"

namespace orva {

class ShapeContainer;
struct gWindow;

// Widget ids of the edit frame.
constexpr int32_t kFrameSelectRect = 528;
constexpr int32_t kHandleTop = 529;
constexpr int32_t kHandleBottom = 530;
constexpr int32_t kHandleLeft = 531;
constexpr int32_t kHandleRight = 532;
constexpr int32_t kHandleTopLeft = 533;
constexpr int32_t kHandleTopRight = 534;
constexpr int32_t kHandleBottomLeft = 535;
constexpr int32_t kHandleBottomRight = 536;
constexpr int32_t kHandleOffset = 537;
constexpr int32_t kFramePivot = 538;
constexpr int32_t kFrameOverlay = 539;  // draws the frame over the view

// The sector of the direction (dx, dy) (y downwards) turned clockwise from up: 0 to 6
// for the sectors between the odd multiples of pi/8 from pi/8 to 15pi/8 (centred on 45,
// 90, ..., 315 degrees), 8 for the upward one (below pi/8 or from 15pi/8 on). A null
// vector (both components below 1e-12) points up.
constexpr int32_t kSectorUp = 8;
int32_t DirectionSector(double dx, double dy);
// The platform cursor number of a sector.
int RotationCursor(int32_t sector);

// The press of a resize or rotation handle: the container's handle flag, the box the
// drag starts from (the selection box when shapes are chained) as ShapeOldBox and as
// the working box, the snapshot of the current shape and of its chain, the aspect
// ratios. False without a current shape.
bool BeginHandleDrag(ShapeContainer* container);
// One drag step of an edge handle (529 to 532) or a corner handle (533 to 536) by (dx,
// dy) window pixels with the toolkit's key bits: the working box changes and the shape
// is mapped onto it, its linked items restarted, its view repainted. Nothing without an
// edit frame or a current shape.
void EdgeDragStep(ShapeContainer* container, int32_t handle, int32_t dx, int32_t dy, uint32_t keys);
void CornerDragStep(ShapeContainer* container, int32_t handle, int32_t dx, int32_t dy, uint32_t keys);
// One step of a rotation drag from the press point to the pointer (data coordinates).
void RotateDragStep(ShapeContainer* container, double startX, double startY, double mouseX, double mouseY,
                    uint32_t keys, RotateDragFeedback* feedback);
// The release: the flags cleared and one "ANCR" step recorded unless the box is the one
// the drag started from (always asked for in edit mode 7). True when a step was recorded.
bool EndHandleDrag(ShapeContainer* container);

// One drag step of the offset handle by (dx, dy) window pixels: the aperture by the
// pointer's vertical move (the horizontal one for a taller than wide open curve), or the
// offset vector of the "ANGL" and "FREE" directions. True when the shape changed.
bool OffsetDragStep(Shape* shape, int32_t dx, int32_t dy, uint32_t keys);

// Repaints a window at once, whole, with its own context, and makes the context and
// drawable that were current before current again; a window that cannot be painted now
// is marked for a repaint (paint state 7). False when it was not painted.
bool RepaintWindowAtOnce(gWindow* window);
// Shows a changed shape: its view repainted at once (through the view when the shape has
// no window of its own); with linked items restarted, every window waiting for a repaint
// follows.
void RedrawChangedShape(Shape* shape, bool itemsRestarted);
// Restarts the linked items (nothing for a quiet shape); whether there were any.
bool RestartLinkedItems(Shape* shape);

}  // namespace orva
