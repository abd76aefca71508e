// The text services of widgets on top of the font layer: measuring for automatic
// sizes, a simple one-line placement, and drawing a widget's text in its frame.
#include <algorithm>
#include <cmath>

#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"

namespace orva {

namespace {

// Vertical distance from the cell's near edge (its top in top slots) to the baseline.
float Baseline(const gElement* e) {
    const gFont* font = e->font;
    float scale = gFontScale(font);
    float ascent = font->ascent * scale, descent = font->descent * scale;
    float centred = std::floor((e->cellHeight - (ascent + descent)) * 0.5f) + ascent;
    return e->textMarginY > 0 ? std::max(e->textMarginY, centred) : centred;
}

void Place(const gElement* e, float* x, float* y) {
    *x = e->x + e->textOffsetX;
    bool bottom = (e->style & kWsBottom) != 0;
    // In a bottom slot the frame's y grows upwards: the baseline lies below the top.
    *y = bottom ? e->y + e->cellHeight - e->textOffsetY : e->y + e->textOffsetY;
}

void Layout(gElement* e) {
    e->textOffsetX = e->textMarginX;
    if (e->font == nullptr || e->text.empty()) {
        e->textOffsetY = e->textMarginY;
        return;
    }
    float width = gFontTextWidth(e->font, e->text.c_str());
    if ((e->textAlign & 0x4) != 0 || (e->textAlign & 0x2) != 0) {
        e->textOffsetX = std::floor((e->cellWidth - width) * 0.5f);  // centred
    } else if ((e->textAlign & 0x8) != 0) {
        e->textOffsetX = std::floor(e->cellWidth - width - e->textMarginX);  // far side
    }
    if (e->textOffsetX < 0) e->textOffsetX = 0;
    e->textOffsetY = Baseline(e);
}

void DrawPlain(gElement* e) {
    float x, y;
    Place(e, &x, &y);
    gTextDrawAt(e->font, x, y, e->text.c_str());
}

void DrawEngraved(gElement* e) {
    if (e->enabled) {
        DrawPlain(e);
        return;
    }
    float x, y;
    Place(e, &x, &y);
    // Disabled: a light shadow, then the dark shade of the window's background.
    gTextDrawEngravedAt(e->window, e->font, 0xF8000000u, 0xF2000000u, x, y, e->text.c_str());
}

void DrawChar(gElement* e, int character, float x, float y) {
    gTextDrawCharAt(e->font, static_cast<uint8_t>(character), e->x + x, e->y + y + e->font->ascent);
}

float Width(gFont* font, const char* text) { return font != nullptr ? gFontTextWidth(font, text) : 0.0f; }
float LineHeight(gFont* font) { return font != nullptr ? gFontLineHeight(font) : 0.0f; }
bool HasLists(gFont* font) { return gFontHasLists(font); }
float Advance(gFont* font, int character) {
    return font != nullptr ? gFontCharWidth(font, static_cast<uint8_t>(character), false) : 0.0f;
}
float Height(gFont* font, int character) {
    return font != nullptr ? font->glyphs[character & 0xFF].height * gFontScale(font) : 0.0f;
}
void AddRef(gFont* font) { ++font->refCount; }
void Release(gFont* font) { gFontRelease(font); }

gFontResetFn gChainedReset = nullptr;

// A font being reset leaves the widgets' uncounted pointers: the current font and the
// font for new widgets of its window's slot table.
void ForgetFont(const gFont* font) {
    if (gFontCurrent() == font) gFontCurrent() = nullptr;
    gWindow* window = font != nullptr ? font->window : nullptr;
    if (window != nullptr && window->layout != nullptr && window->layout->table.newFont == font) {
        window->layout->table.newFont = nullptr;
    }
    if (gChainedReset != nullptr) gChainedReset(font);
}

}  // namespace

void gWidgetTextInstall() {
    gTextOps& ops = gTextHooks();
    if (ops.width != nullptr) return;
    gFontResetFn previous = gFontSetResetHook(ForgetFont);
    if (previous != ForgetFont) gChainedReset = previous;
    {
        ops.width = Width;
        ops.lineHeight = LineHeight;
        ops.hasLists = HasLists;
        ops.charAdvance = Advance;
        ops.charHeight = Height;
        ops.draw = DrawEngraved;
        ops.drawPlain = DrawPlain;
        ops.drawEngraved = DrawEngraved;
        ops.drawChar = DrawChar;
        ops.layout = Layout;
        ops.addRef = AddRef;
        ops.release = Release;
    }
}

}  // namespace orva
