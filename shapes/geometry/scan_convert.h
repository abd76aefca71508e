#pragma once
// Closed shapes become masks. A data coordinate p lies at (p - float origin) x k
// in the region's own pixel frame (k the shape's sub-pixel factor), and a pixel
// (x, y) of that frame belongs to the mask by the rule of its builder:
// - polygons (and the Rect): after the vertices are floored to integers, the
//   point (x, y) lies inside by the winding rule; left and top boundaries are
//   inside, right and bottom boundaries outside;
// - ellipses: the midpoint ellipse inscribed in the integer box whose corners
//   are the floored smaller and the ceiled larger anchor coordinates.
#include <cstdint>

#include "shapes/anchor_buffer.h"
#include "shapes/geometry/region.h"
#include "shapes/shape_header.h"

namespace orva {

constexpr int32_t kFillAlternate = 1;
constexpr int32_t kFillWinding = 2;

// The rows of an axis-aligned box [left, right) x [top, bottom) with corners
// rounded by an ellipse of w x h (the full box size gives the inscribed
// ellipse). Corners in either order; w and h are lowered to the box size. A
// box narrower or lower than 2 (after lowering) is the plain box, one of zero
// size is empty. False (region empty) when the rectangles cannot be had.
bool EllipseRegion(Region* region, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t w, int32_t h);

// The ellipse inscribed in the box of the first anchor and the second (two
// anchors) or third (more); fewer than two anchors give an empty region.
bool EllipseShapeRegion(ShapeRegion* region, const AnchorBuffer& anchors, const ShapeHeader& header);

// Data rows [from, to): the lines a polygon's mask is built over (a mask is measured
// only where there are data; a shape far larger than its frame costs only the
// frame's lines).
struct RowWindow {
    double from;
    double to;
};

// The mask of one or several polygons: `points` holds the vertices of all of
// them (x, y floats), counts[i] the vertices of polygon i. Two points, and four
// (or five closing ones) that form an axis-parallel rectangle, give their box.
// A factor k below 1 counts as 1. False (region empty) when memory was refused
// or there are no points. With `rows`, only the lines of those data rows are built.
bool PolygonRegion(Region* region, const float* points, const uint32_t* counts, uint32_t polygons, int32_t rule,
                   int32_t k, float originX, float originY, const RowWindow* rows = nullptr);

// The polygon of the anchors by the winding rule; fewer than two anchors give
// an empty region.
bool PolygonShapeRegion(ShapeRegion* region, const AnchorBuffer& anchors, const ShapeHeader& header,
                        const RowWindow* rows = nullptr);

// The closed staircase contour of a region: down its right edges band by band,
// then up its left edges. False (buffer emptied) for an empty region.
bool RegionOutline(const Region& region, AnchorBuffer* buffer);

}  // namespace orva
