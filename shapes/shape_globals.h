#pragma once
// The program-wide state of the shapes: the serial and per-kind naming
// counters, the box before the last box edit, the working box and aspect
// ratios of a handle drag, the shape clipboard, the move steps and angle of
// the "Edit Shape..." panel and the display orientation. One object, owned by
// the program for its run (nothing of it is saved); tests put it back to its
// start.
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
    // The "Edit Shape..." panel's move steps and rotation angle (degrees).
    float panelMoveX = 1.0f;
    float panelMoveY = 1.0f;
    float panelAngle = 0.1f;
    int32_t panelScope = 0;  // what they act on: the shape, all shapes, all others
    // The filter indices the shape-file save dialog offers, by file kind (anchor,
    // reference-point and data files), and the one of the mask-saving dialogs.
    int32_t shapeFileFilter[3] = {1, 2, 3};
    int32_t maskFileFilter = 3;
    // How the display shows the data: codes 5 and 6 mirror it, so that the panel's moves
    // and rotations go the other way round; 0 by default.
    int32_t displayOrientation = 0;
};

ShapeGlobals& TheShapeGlobals();

}  // namespace orva
