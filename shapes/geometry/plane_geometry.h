#pragma once
// Boxes of anchors and the box edits, clipping and inscribing that the Edit
// menu, the "Edit Shape..." panel and the edit frame share. Boxes are the
// top-left corner and the size in data coordinates.
#include <cstdint>

#include "shapes/anchor_buffer.h"

namespace orva {

struct PlaneBox {
    double x = 0.0;
    double y = 0.0;
    double w = 0.0;
    double h = 0.0;
};

// The box of `n` points (x, y pairs); one point, or a count below 1 (which
// reads the first point), gives (x, y, 0, 0).
void BoundingBoxOfPoints(const float* points, int32_t n, PlaneBox* box);

// The box of the selected anchors (all of them when all are selected, the
// current one alone when one is); nothing selected leaves the box unchanged.
void SelectedAnchorsBox(const AnchorBuffer& anchors, PlaneBox* box);

// Maps the `source` points (laid out as the anchors, count of the anchors)
// from the old box onto the new one into the anchors: scaled about the old
// corner and moved with it; a box of zero width or height scales or shears its
// free axis. With `selectedOnly` and a selection, only selected anchors move.
void RemapAnchorsToBox(AnchorBuffer* anchors, const float* source, const PlaneBox& newBox, const PlaneBox& oldBox,
                       bool selectedOnly);

// Moves anchors outside [x, x + w) x [y, y + h) onto its edges; when anything
// moved every anchor is selected and the result is 1, else 0.
int32_t ClampAnchorsToBox(AnchorBuffer* anchors, const PlaneBox& box);

// Keeps the anchors inside [x, x + w) x [y, y + h), in order, all selected:
// 0 all kept, 1 some dropped, -1 none kept (the shape is to be removed).
int32_t KeepAnchorsInBox(AnchorBuffer* anchors, const PlaneBox& box);

// Clips an open polyline to the box from both ends (nothing when `enable` is
// clear or there are fewer than two anchors): segments that miss it are
// dropped, the first and last ones that meet it get their outer ends moved in.
// -1 fewer than two anchors would be left (the shape is to be removed); 0
// nothing changed; 1 an end moved or anchors were dropped (all then selected).
int32_t ClipPolylineToBox(AnchorBuffer* anchors, const PlaneBox& box, bool enable);

// Clips the segment p-q (relative to the box corner) to [0, w) x [0, h): an end
// outside is moved along the segment by whole steps of the dominant axis to the
// first position inside. -1 when the segment misses the box; otherwise bit 1
// set when p moved, bit 2 when q moved. When the moved ends cross, q takes p's
// position.
int32_t ClipSegmentToBox(double p[2], double q[2], double w, double h);

// A becomes the overlap of A and B; false (A of size 0 for a zero-size box)
// when they do not meet or either box has zero width and height.
bool IntersectBoxes(PlaneBox* a, const PlaneBox& b);

// True when A is not inside B; false when either has zero width and height.
bool BoxOutsideBox(const PlaneBox& a, const PlaneBox& b);

}  // namespace orva
