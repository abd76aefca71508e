#include "toolkit/text_layout.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"

namespace orva {

namespace {

// What a layout writes besides the sizes.
struct LayoutOut {
    float offsetX = 0, offsetY = 0;
    int32_t shown = 0;
    int32_t cut = -1;   // -1: left as it was
};

int32_t Length(const char* text) {
    return text != nullptr ? static_cast<int32_t>(std::min<size_t>(std::strlen(text), 0x7FFFFFFF)) : 0;
}
int32_t Length(const std::string& text) { return static_cast<int32_t>(std::min<size_t>(text.size(), 0x7FFFFFFF)); }

// The characters from `first` on, `count` of them (negative: all), bounded by the text.
gTextRun RunOf(const std::string& text, int32_t first, int32_t count, bool cut) {
    const int32_t len = Length(text);
    first = std::clamp(first, 0, len);
    return {text.c_str() + first, count < 0 ? len - first : std::min(count, len - first), cut};
}

// The layout of `text` (from its first visible character) in an extent and an optional
// element box, both read and enlarged in place.
float Layout(const gFont* font, const char* text, uint32_t f, float marginX, float marginY, float* extent,
             float* box, int32_t adjust, LayoutOut* out) {
    if (text == nullptr) text = "";
    const int32_t n = Length(text);
    const bool trim = (f & (kTextInkAscent | kTextInkHeight)) != 0;
    const bool beside = (f & kTextBoxBeside) != 0, above = (f & kTextBoxAbove) != 0;
    float& we = extent[0];
    float& he = extent[1];
    const float mx = (f & kTextNoMargins) ? 0.0f : marginX;
    const float my = (f & kTextNoMargins) ? 0.0f : marginY;
    float dx = 0, dy = 0;
    if (box != nullptr) {
        dx = beside ? box[0] + 2.0f : we - box[0];
        dy = above ? box[1] + 2.0f : he - box[1];
    }
    // Line height and descent.
    const float scale = gFontScale(font);
    float lineHeight = 0, descent = 0;
    if (f & kTextCapHeight) {
        lineHeight = font->glyphs['D'].height * scale;
        descent = font->descent * scale;
    } else if (f & kTextInkAscent) {
        lineHeight = gFontTextAscent(font, text, &descent);
    } else if (f & kTextInkHeight) {
        lineHeight = gFontTextHeight(font, text, &descent);
    } else {
        lineHeight = font->lineHeight * scale;
        descent = font->descent * scale;
    }
    if (font->listType == kListTypeOutline && std::isfinite(lineHeight)) lineHeight = std::nearbyint(lineHeight);
    if (!std::isfinite(lineHeight) || (font->listType == kListTypeOutline && lineHeight == 0.0f)) lineHeight = 1.0f;
    // Heights.
    if (box != nullptr && above) {
        he = std::max(he, lineHeight + box[1]);
    } else if (box != nullptr) {
        if (lineHeight > box[1]) {
            box[1] = lineHeight;
            he = dy + lineHeight;
        }
    } else {
        he = std::max(he, lineHeight);
    }
    // Available width.
    float available = box == nullptr ? we - mx : beside ? we - mx - box[0] - 2.0f : box[0] - mx;
    if (adjust == kKindTwoState) {
        available -= gFontCharWidth(font, 2, false);
    } else if (adjust < 0) {
        available += static_cast<float>(adjust);
    }
    // Width rule.
    float width = 0;
    auto widen = [&](float w) {
        we = dx + w + mx;
        if (box != nullptr && !beside) box[0] = w + mx;
    };
    if (f & kTextGrow) {
        out->shown = n;
        width = gFontTextWidthTrim(font, text, trim);
        widen(width);
    } else if (f & kTextGrowIfNeeded) {
        out->shown = n;
        width = gFontTextWidthTrim(font, text, trim);
        if (available < width) widen(width);
    } else if ((f & kTextFit) && (f & kTextEllipsis)) {
        available = std::max(available, gFontEllipsisWidth(font));
        width = gFontFitTail(font, text, n, available, &out->shown, trim);
        out->cut = out->shown == n ? 0 : 1;
        // Not even one character fits beside the mark: room for the mark at least (an
        // empty text needs none).
        if (width == 0.0f && n > 0) widen(available);
    } else if (f & kTextFit) {
        out->shown = 0;
        if (available > 0) width = gFontFit(font, text, available, &out->shown, trim);
    } else {
        out->shown = n;
    }
    // Horizontal offset.
    float x = 0;
    if (beside) {
        if (f & (kTextCentre | kTextRight)) {
            x = dx + mx - (box != nullptr ? 1.0f : 0.0f);
        } else {
            x = box != nullptr ? mx + 1.0f : mx;
        }
    } else {
        float h = box != nullptr ? std::floor(dx * 0.5f) : 0.0f;
        if (f & kTextCentre) {
            x = h + ((box != nullptr ? box[0] : we) - width - mx) * 0.5f + mx;
        } else if (f & kTextRight) {
            x = we - h - width - mx;
        } else {
            x = h + mx;
        }
    }
    if (trim && n > 0) x -= gFontGlyphAt(font, text, n, 0, nullptr).leftBearing;
    if (!(x >= 0.0f)) x = box != nullptr ? 1.0f : 0.0f;
    out->offsetX = std::floor(x);
    // Vertical offset (from the bottom edge up to the baseline).
    float y = 0;
    if (!above && (f & kTextMiddle)) {
        float v = ((box != nullptr ? box[1] : he) - lineHeight - my + dy) * 0.5f;
        y = v >= 1.0f ? std::floor(v) + my : my;
        if (f & kTextInkAscent) {
            float d = gFontTextDescent(font, text);
            if (d > 0) y -= d;
        }
    } else if (!above && (f & kTextTop)) {
        y = std::floor(he - dy * 0.5f - lineHeight - my);
    } else if (!above) {
        y = std::floor(dy * 0.5f + descent + my);
    } else if (f & kTextTop) {
        y = my + (box != nullptr ? descent : 0.0f);
    } else {
        y = dy + my - (box != nullptr ? descent : 0.0f);
    }
    float least = box != nullptr ? descent : 0.0f;
    if (!(y >= least)) y = least;
    out->offsetY = std::floor(y);
    return width;
}

// Where the screen-bottom-left corner of a widget's cell lies in its slot frame:
// right slots run x leftwards, top slots (and widgets without a corner) y downwards.
void CellCorner(const gElement* e, float* x, float* y, bool* mirrorX, bool* down) {
    int slot = gSlotIndex(e->style);
    *mirrorX = slot == 1 || slot == 3;
    *down = slot < 2;
    *x = *mirrorX ? e->x + e->cellWidth : e->x;
    *y = *down ? e->y + e->cellHeight : e->y;
}

void DrawWidgetRun(gElement* e, bool engraveWhenDisabled) {
    if (e == nullptr || !gFontHasLists(e->font)) return;
    gTextRun run = gWgtVisibleText(e);
    if (run.count == 0 && !run.cut) return;
    float x, y;
    bool mirrorX, down;
    CellCorner(e, &x, &y, &mirrorX, &down);
    if (engraveWhenDisabled && !e->enabled) {
        // A light shadow, then the dark shade of the window's background.
        gTextDrawEngravedMoved(e->window, e->font, 0xF8000000u, 0xF2000000u, x, y, e->textOffsetX, e->textOffsetY,
                               run.text, run.count, run.cut);
    } else {
        gTextDrawMoved(e->font, x, y, e->textOffsetX, e->textOffsetY, run.text, run.count, run.cut);
    }
}

gTextRun BlockRun(const gTextBlock* block) {
    if (block == nullptr) return {};
    return RunOf(block->text, block->firstVisible, std::max(block->shown, 0), block->cut != 0);
}

}  // namespace

// ---- Layout ----------------------------------------------------------------------------------

float gWgtLayoutText(const gFont* font, gTextBlock* block, float extent[2], float box[2], int32_t adjust) {
    if (font == nullptr || block == nullptr || extent == nullptr) return 0.0f;
    block->firstVisible = std::clamp(block->firstVisible, 0, Length(block->text));
    LayoutOut out;
    float width = Layout(font, block->text.c_str() + block->firstVisible, block->flags, block->marginX,
                         block->marginY, extent, box, adjust, &out);
    block->offsetX = out.offsetX;
    block->offsetY = out.offsetY;
    block->shown = out.shown;
    if (out.cut >= 0) block->cut = static_cast<uint8_t>(out.cut);
    return width;
}

void gWgtLayoutElementText(gElement* e) {
    if (e == nullptr) return;
    const bool laidOut = e->textShown >= 0;
    const int32_t len = Length(e->text);
    e->textFirst = 0;
    if (e->font == nullptr) {
        e->textOffsetX = e->textMarginX;
        e->textOffsetY = e->textMarginY;
        e->textShown = len;
        return;
    }
    if (laidOut && (e->textAlign & kTextGrowIfNeeded) && (e->textAlign & (kTextCentre | kTextRight)) == 0) {
        e->textShown = len;
        return;
    }
    float extent[2] = {e->cellWidth, e->cellHeight};
    float box[2] = {e->width, e->height};
    LayoutOut out;
    Layout(e->font, e->text.c_str(), e->textAlign, e->textMarginX, e->textMarginY, extent, box, e->kind, &out);
    e->cellWidth = extent[0];
    e->cellHeight = extent[1];
    e->width = box[0];
    e->height = box[1];
    e->textOffsetX = out.offsetX;
    e->textOffsetY = out.offsetY;
    e->textShown = out.shown;
    if (out.cut >= 0) e->textCut = static_cast<uint8_t>(out.cut);
}

gTextRun gWgtVisibleText(const gElement* e) {
    if (e == nullptr) return {};
    // Only edit fields carry a glyph list: the lookup is skipped for the others.
    if (const gEditState* s = e->glyphList != nullptr ? gWgtEdit(e) : nullptr) {
        return RunOf(e->text, s->firstVisible, std::max(s->visibleCount, 0), false);
    }
    return RunOf(e->text, e->textFirst, e->textShown, e->textCut != 0);
}

// ---- Glyph lists --------------------------------------------------------------------------------

void gWgtPlaceEditGlyphs(gElement* e) {
    if (e == nullptr) return;
    if (e->glyphList == nullptr) e->glyphList = new (std::nothrow) gGlyphList;
    gGlyphList* list = e->glyphList;
    if (list == nullptr) return;
    const gFont* font = e->font;
    if (!gFontHasLists(font)) {
        list->draw = nullptr;
        list->count = 0;
        return;
    }
    const float scale = gFontScale(font);
    const float leading = font->externalLeading * scale;
    const float descent = font->descent * scale;
    list->height = font->lineHeight * scale + (leading > 0 ? leading : 4.0f);
    if (list->height > e->height || list->height < 2.0f) list->height = e->height;
    float x, y;
    bool mirrorX, down;
    CellCorner(e, &x, &y, &mirrorX, &down);
    list->x = mirrorX ? x - e->textOffsetX : x + e->textOffsetX;
    // The baseline, its descent kept one pixel inside the cell and the baseline one pixel
    // below its top.
    float up = std::max(std::min(e->textOffsetY, e->cellHeight - 1.0f), descent + 1.0f);
    list->y = down ? y - up : y + up;
    list->width = e->width - e->textOffsetX;
    const gEditState* s = gWgtEdit(e);
    const int32_t len = Length(e->text);
    list->first = std::clamp(s != nullptr ? s->firstVisible : e->textFirst, 0, len);
    list->firstX = gFontTextWidthN(font, e->text.c_str(), list->first);
    list->count = list->width > 0 ? gFontFitCount(font, e->text.c_str() + list->first, list->width) : 0;
    list->cut = 0;
    list->selectionStart = list->selectionLength = 0;
    if (s != nullptr && s->selection != 0) {
        int32_t a = std::clamp(s->caret, 0, len), b = std::clamp(s->caret + s->selection, 0, len);
        list->selectionStart = static_cast<uint32_t>(std::min(a, b));
        list->selectionLength = static_cast<uint32_t>(std::abs(b - a));
    }
    list->draw = gGlyphListDraw;
}

void gGlyphListDraw(gGlyphList* list, gElement* owner) {
    if (list == nullptr || owner == nullptr) return;
    gTextRun run = RunOf(owner->text, list->first, std::max(list->count, 0), list->cut != 0);
    gTextDrawMoved(owner->font, 0.0f, 0.0f, 0.0f, 0.0f, run.text, run.count, run.cut);
}

void gWgtPaintGlyphs(gElement* e) {
    if (e == nullptr || e->glyphList == nullptr || e->glyphList->draw == nullptr) return;
    gWgtProject(e->window, e);
    gElement* container = e->container;
    if (e->prevChild != nullptr && container != nullptr && container != e && container->paint != nullptr) {
        container->paint(container);
        glLoadIdentity();
    }
    gGlyphList* list = e->glyphList;
    glTranslatef(list->x + list->offsetX, list->y + list->offsetY, 0.0f);
    list->draw(list, e);
    glLoadIdentity();
}

// ---- Drawers ------------------------------------------------------------------------------------

void gTextDraw(gElement* e) { DrawWidgetRun(e, true); }
void gTextDrawPlain(gElement* e) { DrawWidgetRun(e, false); }
void gTextDrawEngraved(gElement* e) { DrawWidgetRun(e, true); }

void gTextDrawChar(gElement* e, int character, float x, float y) {
    if (e == nullptr || !gFontHasLists(e->font)) return;
    float cx, cy;
    bool mirrorX, down;
    CellCorner(e, &cx, &cy, &mirrorX, &down);
    // From the screen-bottom-left corner to the top-left one, then down to the baseline.
    float top = e->cellHeight - y - e->font->ascent * gFontScale(e->font);
    char one = static_cast<char>(character);
    gTextDrawMoved(e->font, cx, cy, x, top, &one, 1, false);
}

void gTextDrawRaster(gElement* e) {
    if (e == nullptr || !gFontHasLists(e->font)) return;
    gTextRun run = gWgtVisibleText(e);
    if (run.count == 0) return;
    float x, y;
    bool mirrorX, down;
    CellCorner(e, &x, &y, &mirrorX, &down);
    x = std::floor(mirrorX ? x - e->textOffsetX : x + e->textOffsetX);
    y = down ? y - e->textOffsetY : y + e->textOffsetY;
    if (!e->enabled) gColorSet(e->window, 0xF2000000u);
    gTextDrawMoved(e->font, x, y, 0.0f, 0.0f, run.text, run.count, false);
}

void gTextDrawGlyphs(const gFont* font, const gTextBlock* block, float x, float y) {
    gTextRun run = BlockRun(block);
    if (run.count == 0 && !run.cut) return;
    gTextDrawMoved(font, x, y, block->offsetX, block->offsetY, run.text, run.count, run.cut);
}

void gTextDrawGlyphs(gElement* e, gGlyphList* list) {
    if (e == nullptr || list == nullptr || list->draw == nullptr) return;
    gTextRun run = RunOf(e->text, list->first, std::max(list->count, 0), list->cut != 0);
    gTextDrawMoved(e->font, list->x + list->offsetX, list->y + list->offsetY, 0.0f, 0.0f, run.text, run.count, run.cut);
}

void gTextDrawGlyphsEngraved(gWindow* window, uint32_t shadow, uint32_t colour, const gFont* font,
                             const gTextBlock* block, float x, float y) {
    gTextRun run = BlockRun(block);
    if (run.count == 0 && !run.cut) return;
    gTextDrawEngravedMoved(window, font, shadow, colour, x, y, block->offsetX, block->offsetY, run.text, run.count,
                           run.cut);
}

}  // namespace orva
