#pragma once
// The glyphs of a container as toolkit widgets: each shape shows through one
// widget of kind 541 (20 x 20, style 0x30024000, the move cursor) whose
// handler data is the shape, painted by the shape's glyph painter and dragged
// by its kind's drag procedure. The container's list is the run of these
// widgets in the view window's widget chain, in drawing order; the list keeps
// the order itself too, so that a run taken out for an undo step keeps it.
#include <cstdint>

#include "shapes/shape_view.h"
#include "toolkit/widget.h"

namespace orva {

constexpr int32_t kShapeGlyphKind = 541;
constexpr uint32_t kShapeGlyphStyle = 0x30024000u;
constexpr float kShapeGlyphSide = 20.0f;

// What the drawing and editing code lends the glyphs: a painter per kind
// (none: the glyph draws nothing) and the mouse-button handler of shapes.
class ShapeContainer;

struct ShapeGlyphHooks {
    void (*paint[14])(gElement* glyph, Shape* shape) = {};
    bool (*press)(gElement* glyph, uintptr_t data) = nullptr;
    // The pointer moved with no button down over a shape's glyph or its edit frame's
    // handles (window client coordinates): what lies under them is still the picture.
    void (*pointerOver)(ShapeContainer* container, int32_t x, int32_t y) = nullptr;
};
ShapeGlyphHooks& TheShapeGlyphHooks();

// The shape a glyph widget shows; nullptr for any other widget.
Shape* ShapeOfGlyphWidget(const gElement* widget);

class ToolkitShapeList final : public ShapeList {
public:
    // The first glyph goes after `anchor` (the edit frame's select rectangle,
    // the plot widget or the view's widget; nullptr: the chain's end).
    ToolkitShapeList(gWindow* window, gElement* anchor);
    ~ToolkitShapeList() override = default;

    ShapeGlyph* First() const override;
    ShapeGlyph* Last() const override;
    ShapeGlyph* Next(const ShapeGlyph* glyph) const override;
    ShapeGlyph* Previous(const ShapeGlyph* glyph) const override;
    ShapeGlyph* MakeGlyph(Shape* shape) override;
    void Link(ShapeGlyph* first, ShapeGlyph* last) override;
    void Unlink(ShapeGlyph* first, ShapeGlyph* last) override;
    void Exchange(ShapeGlyph* a, ShapeGlyph* b) override;

    // The widget of a glyph this list made (nullptr once the window destroyed it).
    static gElement* WidgetOf(const ShapeGlyph* glyph);

    gWindow* window;
    gElement* anchor;

private:
    struct Glyph;
    static Glyph* AsGlyph(const ShapeGlyph* glyph);
    static void WidgetDestroyed(gElement* widget);
    Glyph* first_ = nullptr;
    Glyph* last_ = nullptr;
};

}  // namespace orva
