#pragma once
// The aperture and offset of a slice: the width across the path, split into a
// positive and a negative side, and the direction across it, either one offset
// vector for the whole path or one normal per anchor. Also the geometry the
// drawing and the area masks are built from: the aperture band along the path,
// the ribs at the anchors, and the box around a line widened by a margin.
// Every point is relative to the first anchor P0. The offset length L is the
// header's scale.
#include <cstdint>

#include "shapes/anchor_buffer.h"
#include "shapes/shape_header.h"

namespace orva {

class Shape;

// Vectors whose components are both below this are no direction at all.
constexpr float kTinyOffsetComponent = 4.7019774e-38f;

// Resets the record and empties the second region: "NRML" for a B-Sline,
// else "CNRM".
void ResetSliceOffset(Shape* shape);

// Recomputes the offset by the offset direction (see offset_geometry.cpp);
// false, with the second region emptied, when none can be derived (fewer than
// two anchors, all anchors equal, a zero vector).
bool UpdateSliceOffset(Shape* shape);

// One normal per anchor: segment i gives (y[i+1] - y[i], x[i] - x[i+1]) scaled
// to L; a zero-length segment takes the next normal; the last anchor repeats
// the last one. Fewer than two anchors (or all equal) empty the buffer: false.
bool AnchorNormals(AnchorBuffer* normals, const ShapeHeader& header);

// Four corners per segment, P[i] - b n, P[i] + a n, P[i+1] + a n, P[i+1] - b n
// with a = positive - 0.5, b = negative + 0.5 and n the segment's normal (from
// `normals` when given, else the record's vector). No direction set or fewer
// than two anchors: the buffer is emptied, false.
bool ApertureBandQuads(AnchorBuffer* out, const EditTransformState& record, const AnchorBuffer& anchors,
                       const AnchorBuffer* normals);

// Two points per anchor, P[i] - b n[i] and P[i] + a n[i].
bool ApertureRibs(AnchorBuffer* out, const EditTransformState& record, const AnchorBuffer& anchors,
                  const AnchorBuffer* normals);

// The box around the line P0-P1 widened by the margin m on every side, four
// corners relative to P0; margin 0 (or fewer than two anchors) empties the
// buffer: false.
bool LineMarginBox(AnchorBuffer* out, int32_t margin, const AnchorBuffer& anchors);

}  // namespace orva
