#pragma once
// The procedures that recompute a shape's derived geometry after its points
// changed, chosen by kind, role and offset direction: the box and pixel box,
// the measure (area) or path length, the mask of a closed figure with its
// background ring, the outline, per-pixel path and samples of an open curve
// with the aperture band of a slice, and the placement of the masks that the
// measuring stages read (ShapePlacement). Update events are those of shape.h.
//
// Closed figures (Rect, circle, Ellipse, Polygon): the mask follows the
// builders of scan_convert.h in the frame of the pixel anchor. With a first
// aperture value a (the extent) the ring is either the box around the first
// two anchors grown by a less the mask, or, for "AXIS" Rects and Ellipses, the
// mask's box grown by a with elliptic corners 2a wide less the mask, so that
// its outer edge keeps the distance a from the box.
//
// Open curves (PolyLine, Line, B-Sline): the outline and per-pixel path of
// path_sampler.h (the sampled b-spline for B-Slines), samples every `scale`
// along it, the length over the per-pixel path, and for a slice with an
// aperture the band (quads per segment, ribs per anchor for B-Slines) and the
// area mask under it.
#include <cstdint>

#include "shapes/geometry/scan_convert.h"
#include "shapes/shape.h"

namespace orva {

// Margins beyond this build no background ring (a ring of a million rows would
// take the builders minutes); the region is left empty and a line is logged.
constexpr int64_t kMaxRingMargin = 0x10000;

// The procedures of a kind, role and offset direction; `axisGate` below 3 lets
// Rect and Ellipse take their "AXIS" variants.
ShapeKindProcs KindProcsFor(int32_t kind, int32_t role, uint32_t direction, uint32_t axisGate);

// Closed figures.
void BoxFigureUpdate(Shape* shape, int32_t event);
void AxisBoxFigureUpdate(Shape* shape, int32_t event);
void EllipseFigureUpdate(Shape* shape, int32_t event);
void AxisEllipseFigureUpdate(Shape* shape, int32_t event);
void ClosedAreaProcedure(Shape* shape, int32_t event);

// Points and open curves.
void PointUpdate(Shape* shape, int32_t event);
void PolylineUpdate(Shape* shape, int32_t event);
void BSplineUpdate(Shape* shape, int32_t event);
void PolylineAreaUpdate(Shape* shape, int32_t event);
void BSplineAreaUpdate(Shape* shape, int32_t event);

// Sum of the segment lengths of a path: |dy| or |dx| when axis-parallel,
// |dx| x sqrt(2) on a diagonal, else the larger times sqrt(1 + (smaller/larger)^2).
double PathLength(const AnchorBuffer& path);

// The data rows a shape's polygon masks are built over: its view's frame with a
// frame's height above and below (room for what is drawn off the frame), or,
// without a frame, kRowsWithoutFrame rows either side of row 0.
constexpr double kRowsWithoutFrame = 131072.0;
RowWindow ShapeRows(const Shape* shape);

// The pixel anchor of the first anchor (x SUBPIX, nearest integer, 0 when not
// finite) into the placement, and both regions' origins set to it.
void PlaceRegionOrigins(Shape* shape);

}  // namespace orva
