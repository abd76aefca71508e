#pragma once
// How shapes show on their view: the paint procedures of the glyph widgets, one per kind
// (Point, the open curves, the b-spline, Rect, circle and Ellipse, Polygon; kinds 8 to 13
// draw nothing), with the anchor markers, the snapshot outline of an edit in progress,
// the box marks, the statistic mark and the information label; and the simple solid form
// each draws in the toolkit's pick pass. Data coordinates are drawn in view units of one
// data pixel times the view's zoom, from the view's image origin; the view's own paint
// has set the clip planes 0 to 3 to its area. UI thread, the view window's GL context
// current.
#include <cstdint>
#include <vector>

#include "shapes/shape.h"

namespace orva {

struct gElement;

class ShapeContainer;

// The paint procedures (the glyph widget, the shape it shows).
void PaintPointGlyph(gElement* glyph, Shape* shape);
void PaintPolylineGlyph(gElement* glyph, Shape* shape);
void PaintBSplineGlyph(gElement* glyph, Shape* shape);
void PaintRectGlyph(gElement* glyph, Shape* shape);
void PaintEllipseGlyph(gElement* glyph, Shape* shape);
void PaintPolygonGlyph(gElement* glyph, Shape* shape);

// Installs the procedures of kinds 0 to 7 in the glyphs (and the shapes' mouse handler).
void InstallShapeDrawing();

// The view's pick pass draws the glyphs of its container first, topmost first, each
// under its widget's name, so that a click on a shape picks the shape and not the
// picture under it (the toolkit takes the first widget that a pick touches).
void PickShapeGlyphs(const ShapeContainer* container);

// A statistic circle of radius r: whole points by the midpoint rule while r is below 20
// and not scaled, else a closed run of 16 segments (32 from radius 40 on) from -90
// degrees. The points or the loop's vertices, relative to the centre.
std::vector<float> StatisticCirclePoints(float r, bool scaled, bool* asPoints);

// The point size and line width ranges cover what the drawing uses (13 and 3).
bool ShapeDrawingLimitsFit();

}  // namespace orva
