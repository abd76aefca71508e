#pragma once
// Text layout: where a text goes in its box, how much of it shows and whether "..."
// follows it; the text block record that widgets, menu items, tabs and list cells
// carry; glyph lists (a text placed as one drawable run); the edit line's glyph
// placement; and the drawers that take a widget, a text block or a glyph list. All
// measuring goes through the font records (no GL); drawing stays on the font layer's
// batched glyph-texture path. UI thread only.
#include <cstdint>
#include <string>

namespace orva {

struct gElement;
struct gFont;
struct gGlyphList;
struct gWindow;

// ---- Layout flags (the text block's flags word, a widget's textAlign) ---------------------
constexpr uint32_t kTextFit = 0x1;             // show what fits the available width
constexpr uint32_t kTextEllipsis = 0x2;        // with kTextFit: cut with "..."
constexpr uint32_t kTextGrowIfNeeded = 0x4;    // widen the extent when the text is wider
constexpr uint32_t kTextGrow = 0x8;            // the extent takes the text's width
constexpr uint32_t kTextBoxAbove = 0x10;       // the element box stands above or below the text
constexpr uint32_t kTextBoxBeside = 0x20;      // the element box stands beside the text
constexpr uint32_t kTextNoMargins = 0x40;
constexpr uint32_t kTextInkAscent = 0x100;     // heights from the text's ink, widths trimmed
constexpr uint32_t kTextInkHeight = 0x200;
constexpr uint32_t kTextCentre = 0x8000;
constexpr uint32_t kTextRight = 0x10000;
constexpr uint32_t kTextTop = 0x20000;
constexpr uint32_t kTextMiddle = 0x40000;
constexpr uint32_t kTextCapHeight = 0x1C000000;  // line height from the glyph "D"

// The kind whose text makes room for the two-state mark (character 2).
constexpr int32_t kKindTwoState = 38;

// A text with its layout. Offsets are measured in the box's frame from its left edge
// to the text's start and from its bottom edge up to the baseline.
struct gTextBlock {
    float offsetX = 0, offsetY = 0;
    uint32_t color1 = 0, color2 = 0;
    std::string text;
    int32_t firstVisible = 0;
    int32_t shown = 0;        // characters drawn from the first visible one
    uint8_t cut = 0;          // 1: "..." follows them
    int32_t margin = 0, caret = 0, selection = 0;   // edit lines only
    int32_t limit = 256;
    uint32_t flags = 0;
    float marginX = 0, marginY = 0;
};

// Lays the block's text out in an extent {width, height} and, optionally, beside or
// around an element box {width, height}; both may be enlarged. The width adjustment
// is the widget kind (38 takes the mark's advance off the available width; negative
// values are added to it); other callers pass 0. Returns the text width used.
float gWgtLayoutText(const gFont* font, gTextBlock* block, float extent[2], float box[2], int32_t adjust);

// The same for a widget's own text fields: extent = cell size, box = drawn size,
// adjustment = kind. The first visible character is reset. A widget laid out before
// whose flags hold 0x4 without 0x18000 just shows its whole text (setting a text).
void gWgtLayoutElementText(gElement* e);

// The characters a widget draws: the first visible one and their count (edit fields:
// their scroll position and visible part), and whether "..." follows.
struct gTextRun {
    const char* text = nullptr;
    int32_t count = 0;
    bool cut = false;
};
gTextRun gWgtVisibleText(const gElement* e);

// ---- Glyph lists -------------------------------------------------------------------------------
// Makes (or updates) the edit line's glyph list of a field: its line box, the baseline
// start of the first visible character, the visible width and the selection words. A
// widget without a font with lists keeps its list switched off (no draw function).
void gWgtPlaceEditGlyphs(gElement* e);
// The default draw function of a glyph list: the owner's visible characters at the
// current origin (the baseline start), in the current colour.
void gGlyphListDraw(gGlyphList* list, gElement* owner);
// Paints one element with its glyph list: its corner projection, its container first
// when it is a child, then the glyph list at its place.
void gWgtPaintGlyphs(gElement* e);

// ---- Drawers (the window's context current) -------------------------------------------------
// The widget's visible characters and "..." when cut, engraved when not enabled.
void gTextDraw(gElement* e);
void gTextDrawPlain(gElement* e);      // in the current colour
void gTextDrawEngraved(gElement* e);   // as gTextDraw
// One character of the widget's font, its cell's top-left corner (as seen on screen)
// moved by (x, y) to the character's top-left.
void gTextDrawChar(gElement* e, int character, float x, float y);
// The widget's visible characters from a plain raster position; the disabled-text
// colour when not enabled.
void gTextDrawRaster(gElement* e);
// A block's visible characters with the box's bottom-left corner (as seen on screen) at
// frame point (x, y), in the current colour.
void gTextDrawGlyphs(const gFont* font, const gTextBlock* block, float x, float y);
// The glyph list of a widget at its place, in the current colour.
void gTextDrawGlyphs(gElement* e, gGlyphList* list);
// Engraved: the shadow colour one pixel right and down, then the colour.
void gTextDrawGlyphsEngraved(gWindow* window, uint32_t shadow, uint32_t colour, const gFont* font,
                             const gTextBlock* block, float x, float y);

}  // namespace orva
