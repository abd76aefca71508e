#pragma once
// The mouse handler of a shape's glyph widget: a press makes the shape current, takes the
// snapshot an edit starts from and runs the Edit menu's anchor tools (delete, scissor,
// add) on the anchor or segment under the pointer; a double click steps the edit mode;
// the release records what the press and the drag changed as one undo step.
#include <cstdint>

namespace orva {

struct gElement;

// Status texts of the anchor tools (window group 0, status -3).
inline constexpr char kCantAddAnchorText[] = "Can`t add anchor point...";
inline constexpr char kCantRemoveAnchorText[] = "Can`t remove anchor (minimum acceptable points)...";

// The glyph widget's press and release (the toolkit's button state tells which).
bool ShapeGlyphPress(gElement* glyph, uintptr_t data);

}  // namespace orva
