#pragma once
// The information label next to a shape on its view: a light yellow box with one to three
// lines of black text (the name and the measures; at level 3 the coordinates and the
// direction). The texts are 8-bit (the degree sign is the byte 0xB0) and are drawn
// through the glyph widget's font lists. The texts and the box are made by the pure
// functions below, which the drawing calls with the window's font.
#include <cstddef>
#include <cstdint>

#include "shapes/shape.h"

namespace orva {

struct gElement;

struct gFont;

constexpr size_t kLabelLineBytes = 128;
// The degree sign of the program's code page.
constexpr char kDegreeSign = '\xB0';

// Up to three lines; an empty line is not drawn.
struct ShapeLabelText {
    char lines[3][kLabelLineBytes] = {};
    bool Empty(int i) const { return lines[i][0] == '\0'; }
};

// The container's label level, or 0 when the container shows labels of its current shape
// only and this one is not current.
int32_t EffectiveLabelLevel(const Shape& shape);

// The texts of a shape's label at a level: nothing (false) at level 1 and below or for
// kinds without a drawing; level 3 adds the coordinate lines. A line whose text fails or
// fills its limit exactly stays empty.
bool FormatShapeLabel(const Shape& shape, int32_t level, ShapeLabelText* out);

// Where a label goes, in window pixels: the box (x, y, width, height) and the baseline of
// each line from the box's top.
struct ShapeLabelBox {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    float baseline[3] = {0.0f, 0.0f, 0.0f};
};

// The label's anchor point (window pixels) and its offset from it for a shape shown in
// `view` (the view's translation and zoom as they are now).
void ShapeLabelAnchor(const Shape& shape, const ShapeView* view, float fontHeight, float anchor[2],
                      float offset[2]);

// Lays the box out: false (nothing drawn) unless the label's corner lies right of and
// below the window rectangle's corner and the anchor more than 5 pixels inside its right
// and bottom edges; a box that passes those edges is moved back inside. `widths` are the
// drawn widths of the three lines.
bool LayoutShapeLabel(int32_t kind, const ShapeLabelText& text, const float widths[3], float fontHeight,
                      const float anchor[2], const float offset[2], const float windowRect[4], ShapeLabelBox* box);

// Draws the label of the shape shown by the glyph widget (the model-view at the window's
// corner, the clip planes of the view on).
void DrawShapeLabel(const gElement* glyph, const Shape& shape);

}  // namespace orva
