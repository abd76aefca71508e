#pragma once
// Turning shapes by an angle, as the "Edit Shape..." panel's Rotate button does: one
// shape about its pivot, or every shape of the view (but one) each about its own pivot,
// as one undo step. The arithmetic is in double, the points are stored as floats.
#include <cstdint>

#include "shapes/shape.h"

namespace orva {

class ShapeContainer;

// Degrees to radians.
constexpr double kRadiansPerDegree = 0.017453292519943295;
// Angles of a smaller size (radians) turn nothing.
constexpr double kSmallestTurn = 1e-12;

// Turns the anchors about (cx, cy) by the angle of the sine and cosine: the selected ones
// when the shape has a selection and `allPoints` is clear, else all. The statistic mark
// goes, the geometry is updated with the pivot kept, the edit frame follows and the panel
// shows the shape again. A sine of 0 with a cosine of exactly 1 moves nothing.
void RotateShapePoints(Shape* shape, double sine, double cosine, double cx, double cy, bool allPoints);

// Turns the shape about its pivot by `degrees` with one "ANCR" step; its selection chain
// is cut first. False when the angle is too small to turn.
bool RotateShape(Shape* shape, bool allPoints, double degrees);

// Turns every shape of the container but `skip` about its own pivot, all points; only the
// shapes of the current shape's data source when it has one. The turned shapes are one
// "ANCR" step. False when no shape turned.
bool RotateAllShapes(ShapeContainer* container, Shape* skip, double degrees);

}  // namespace orva
