#pragma once
// The uniform cubic b-spline of the B-Sline kind. Over anchors P0 ... P(n-1)
// it is the spline of the control points P0, P0, P0, P1, ..., P(n-2), P(n-1),
// P(n-1), P(n-1): it starts at P0 with a straight piece to (5 P0 + P1) / 6,
// runs through the segments (P0, P0, P1, P2), (Pi, Pi+1, Pi+2, Pi+3) and
// (P(n-3), P(n-2), P(n-1), P(n-1)), and ends with a straight piece from
// (P(n-2) + 5 P(n-1)) / 6 to P(n-1). Segments are evaluated in 32-bit floats
// and sampled by their curvature: 7 x (deviation)^(1/4) steps, at most 32.
#include <cstdint>

#include "shapes/anchor_buffer.h"

namespace orva {

struct PointF {
    float x;
    float y;
};

// Sampling steps of a segment from its start, a probe point on it and its end:
// 7 times the fourth root (from the float's bits) of the probe's distance from
// the chord, rounded up, 1 to 32.
int32_t BSplineSegmentSteps(PointF start, PointF probe, PointF end);

// A point of the sampled curve with its place on it: control-point segment j
// (counting the first straight piece as 0) at t in [0, 1], that is curve
// parameter j + t of the spline over the tripled-end control points.
struct BSplineSample {
    PointF point;
    int32_t segment;
    float t;
};
using BSplineVisit = void (*)(void* user, const BSplineSample& sample);

// The points of BSplineToPolygon, relative to P0, in order, with their places.
// Nothing for fewer than two anchors.
void BSplinePolygonSamples(const AnchorBuffer& anchors, BSplineVisit visit, void* user);

// The b-spline sampled into a polyline relative to P0: two anchors give the
// chord (none when they coincide), more give the sampled curve; segments whose
// control points all coincide with P0 add nothing. A single point is no
// polyline (count 0). False (buffer empty) when the buffer cannot grow.
bool BSplineToPolygon(AnchorBuffer* buffer, const AnchorBuffer& anchors);

// GL drawing in the current colour and transformation: the b-spline of the
// anchors (a line for two), and the one of the anchors followed by `end` (the
// point under the mouse while the curve is being drawn).
void BSplineDrawAnchors(const AnchorBuffer& anchors);
void BSplineDraw(const AnchorBuffer& anchors, float endX, float endY);

}  // namespace orva
