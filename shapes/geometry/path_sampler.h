#pragma once
// Open shapes (polylines, lines, b-splines) become an outline polyline, a path
// of unit pixel steps and sample positions at equal spacing along the path,
// which the slice extraction reads. Every point is relative to the first
// anchor P0. The sampling step s is the header's scale (1.0 by default).
#include <cstdint>

#include "shapes/anchor_buffer.h"
#include "shapes/shape_header.h"

namespace orva {

// What an open shape's outline builder fills.
struct OpenOutline {
    AnchorBuffer points;     // the outline: Pi - P0
    AnchorBuffer pixelPath;  // unit steps along the dominant axis of each segment
};

// Length of a segment: |dx| or |dy| when it is axis-parallel, else Euclidean.
double SegmentLength(double dx, double dy);

// The outline and per-pixel path of a polyline or line; fewer than two anchors
// leave both empty. False (both empty) when a buffer cannot grow.
bool PolylineOutline(OpenOutline* outline, const AnchorBuffer& anchors);

// The unit steps of the segment (x0, y0)-(x1, y1), relative to its start:
// (0, 0), then one point per whole-pixel step of the dominant axis (the one
// whose floors differ more). False when the buffer cannot grow.
bool SegmentPixelSteps(AnchorBuffer* buffer, double x0, double y0, double x1, double y1);

// Sample positions at spacing s along the outline: the carry from one
// segment's last sample goes on into the next, and no sample lies beyond the
// end of its segment. Two points are sampled by SampleSegment. False (path
// empty) when the buffer cannot grow.
bool PathSampler(AnchorBuffer* path, const AnchorBuffer& outline, const ShapeHeader& header);

// Samples at 0, s, 2s, ... along (dx, dy) up to its end: trunc(L / s) + 1 of
// them, only the start when L <= s.
bool SampleSegment(AnchorBuffer* buffer, double dx, double dy, const ShapeHeader& header);

// Appends unit-step samples of a segment from `start` every `step` pixels (0
// counts as 1) along the dominant axis, each a record of 1 + `extra` points of
// which only the first is written. False when the buffer cannot grow.
bool SampleSegmentStepped(AnchorBuffer* buffer, float startX, float startY, double dx, double dy, int32_t step,
                          uint32_t extra);

// GL points at the unit steps strictly between the ends of (0, 0)-(dx, dy),
// and the origin; nothing for a zero segment.
void DrawScaledPoints(float dx, float dy);

}  // namespace orva
