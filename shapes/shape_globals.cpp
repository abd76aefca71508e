#include "shapes/shape_globals.h"

namespace orva {

namespace {
ShapeGlobals gShapeGlobals;
}

void ShapeGlobals::Reset() {
    shapeCounter = 0;
    for (uint32_t& c : kindCounters) c = 0;
    oldBox = ShapeBoxBlock{};
    workingBox = ShapeBoxBlock{};
    aspectWidthOverHeight = 1.0f;
    aspectHeightOverWidth = 1.0f;
    panelMoveX = 1.0f;
    panelMoveY = 1.0f;
    panelAngle = 0.1f;
    panelScope = 0;
    displayOrientation = 0;
    shapeFileFilter[0] = 1;
    shapeFileFilter[1] = 2;
    shapeFileFilter[2] = 3;
    maskFileFilter = 3;
    clipboard.Reset();
    clipboard.anchors.Free();
}

ShapeGlobals& TheShapeGlobals() { return gShapeGlobals; }

}  // namespace orva
