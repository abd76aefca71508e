// The text services of widgets on top of the font layer: measuring for automatic
// sizes, the text layout and the drawers of a widget's text.
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"

namespace orva {

namespace {

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
    // A font kept by a widget that outlived its window (a removed shape's glyph held for
    // undo) names a window that is gone.
    gWindow* window = font != nullptr ? font->window : nullptr;
    if (gWinRecordLive(window) && window->layout != nullptr && window->layout->table.newFont == font) {
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
        ops.draw = gTextDraw;
        ops.drawPlain = gTextDrawPlain;
        ops.drawEngraved = gTextDrawEngraved;
        ops.drawChar = gTextDrawChar;
        ops.layout = gWgtLayoutElementText;
        ops.addRef = AddRef;
        ops.release = Release;
    }
}

}  // namespace orva
