#pragma once
// What ties a shape to the items that measure with it, besides the item list
// itself (shape_items.h) and the shape's own operations (Shape::EnsureInContainer,
// UnlinkItem, LeaveView, DetachGlyph, ReleaseItems, SuspendItems): the
// normalisation of a shape block read from a shape file.
#include <cstdint>

#include "shapes/shape_header.h"

namespace orva {

// The two tags of a block of a shape file: the object tag (COBJ: "REGION",
// "ANCHOR", "REFPOINT") and the data tag (CDATA: "RECT", "POINT",
// "REFPOINT"), up to eight characters each.
struct ShapeFileTags {
    char object[9] = {};
    char data[9] = {};
};

// Normalises a header read from a shape file: false for mask blocks (object
// tag "REGION" or data tag "RECT"). A block without a kind takes one from its
// tags or role ("REFPOINT" data: a Point; roles 6 and 7: a Polygon, or a Rect
// with fewer than 3 points; role 5: a PolyLine; else a Point), an unset role
// one from its kind, role 5 on closed kinds becomes 6 and role 6 on slices 5;
// two components; offset words other than the reader's defaults are
// normalised.
bool ShapeTagFixup(ShapeHeader* header, ShapeFileTags* tags);

}  // namespace orva
