#pragma once
// Drawing requests: what a view, a measuring stage's page, a processing node,
// the scissor tool or a paste hands to a container to draw or continue a
// shape; the rules that tie roles to kinds; and the drag steps of a shape's
// glyph, which move the whole shape or its selected anchors.
#include <cstdint>

#include "shapes/shape.h"

namespace orva {

class ShapeContainer;

// A list of float points: `count` points whose x and y start every `stride`
// floats (stride 2 or more).
struct ShapePointList {
    uint32_t count = 0;
    uint32_t stride = 2;
    const float* data = nullptr;
};

// Words of a full request; a description of fewer than 5 is refused by
// NodeShapeAction.
constexpr int32_t kShapeRequestWords = 16;
// The most points a Polygon takes.
constexpr uint32_t kMaxPolygonVertices = 262144;

struct ShapeRequest {
    uint8_t newShape = 0;  // set: never continue the shape being drawn
    uint8_t append = 0;    // set: the point list goes after the shape's points
    uint8_t flag = 0;      // copied into a new shape's flag byte
    int32_t kind = kKindNone;
    float start[2] = {0.0f, 0.0f};  // view data coordinates
    float end[2] = {0.0f, 0.0f};
    int32_t role = kRoleUnset;
    const ShapePointList* points = nullptr;  // optional
    int32_t components = 2;
    int32_t initialState = kShapeNormal;  // kShapeHidden: nothing is recorded for undo
    int32_t vertexCount = 0;              // Polygons
    int32_t mode = 0;                     // 1 with a step: stepped samples from start to end
    int32_t step = 0;
    int32_t size = kShapeRequestWords;    // words filled in by the caller
};

// Messages (status line of window group 0, status -3; log).
inline constexpr char kCantChangeShapeText[] = "Can`t change shape";

// "Unknow", "Gauge", "", "RefPoint", "Distance", "", "Angle", "Slice",
// "Statistic", "Area of Search" for -512, -1, 0 ... 7; "" for any other role.
const char* ShapeRoleName(int32_t role);

// The points a kind needs: 1 for Point, 2 for kinds 1 to 6, 3 for 7 and 8, 4
// for 9 to 11, 5 for 12 to 14.
uint32_t KindNeedsPoints(int32_t kind);
// The exact count of kinds 3 to 6 (2), 9 to 11 (4) and 12 to 14 (5); 0 for
// kinds that keep any count at or above their need.
uint32_t KindFixedPoints(int32_t kind);
// Lines, Rects, circles and Ellipses are never continued.
bool KindIsTwoPointFigure(int32_t kind);

// The kind the shape's role lets it switch to, -1 when none: for slices Line
// -> PolyLine -> B-Sline -> Line (PolyLine with 3 points or more), Arc ->
// PolyLine; for roles 3, 6 and 7 Rect -> Ellipse and any other kind -> Rect.
int32_t NextKindForRole(const Shape* shape);

// The view's zoom record while it is active, else nullptr.
const ViewZoom* ZoomRecordOf(const ShapeView* view);

// One drag step of a shape's glyph by (dx, dy) window pixels with the toolkit
// key bits: Shift (0x30000) keeps only the vertical move, Shift+Ctrl
// (0xC0000) only the horizontal one, and a move of less than 9 pixels against
// the data frame's edge is dropped; selected anchors move alone when there are
// any, else the whole shape moves and its masks are re-placed, not rebuilt.
// The curve member closes the view's overlay only when an end point moves.
void ShapeGlyphDrag(Shape* shape, int32_t dx, int32_t dy, uint32_t keys);
void ShapeGlyphDragCurve(Shape* shape, int32_t dx, int32_t dy, uint32_t keys);
void ShapeGlyphDragRound(Shape* shape, int32_t dx, int32_t dy, uint32_t keys);

using ShapeGlyphDragProc = void (*)(Shape* shape, int32_t dx, int32_t dy, uint32_t keys);
// The drag procedure of a kind.
ShapeGlyphDragProc GlyphDragFor(int32_t kind);

// Changes the kind (and role) of the container's current shape from a
// description, taking the offset words of a unit flip: non-zero on success.
int32_t ChangeShapeKind(ShapeContainer* editor, const ShapeRequest& description, const EditTransformState* offset);

}  // namespace orva
