#pragma once
// The program-wide state of the shapes: the serial and per-kind naming
// counters, the box before the last box edit, the working box and aspect
// ratios of a handle drag, and the shape clipboard. One object, owned by the
// program for its run; tests put it back to its start.
#include <cstdint>

#include "shapes/shape_header.h"

namespace orva {

struct ShapeGlobals {
    ShapeGlobals() = default;
    ShapeGlobals(const ShapeGlobals&) = delete;
    ShapeGlobals& operator=(const ShapeGlobals&) = delete;

    // Everything back to the start of the run (the clipboard emptied).
    void Reset();

    uint32_t shapeCounter = 0;  // serial numbers, wrapping to 0
    uint32_t kindCounters[kShapeKindCounterCount] = {};
    ShapeBoxBlock oldBox;       // ShapeOldBox: x, y, w, h of the box before the last box edit
    ShapeBoxBlock workingBox;   // the box a handle drag changes
    float aspectWidthOverHeight = 1.0f;
    float aspectHeightOverWidth = 1.0f;
    ShapeHeader clipboard;      // holds a shape while its kind is not -1
};

ShapeGlobals& TheShapeGlobals();

}  // namespace orva
