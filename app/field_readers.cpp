#include "app/field_readers.h"

#include <GL/gl.h>


#include "app/status_line.h"
#include "common/calculator.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/number_field.h"
#include "toolkit/widget.h"
#include "toolkit/widget_props.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// Runs a toolkit reader; with `expression`, a complaint of the calculator goes to the
// main window's status line.
template <class Reader>
bool ReadWith(Reader read, bool expression) {
    CalcContext* calc = expression ? gToolkitCalc() : nullptr;
    if (calc != nullptr) calc->message = nullptr;
    bool ok = read();
    if (calc != nullptr && calc->message != nullptr && calc->message[0] != '\0')
        SetGroupStatus(0, -3, kStatusRedrawNow, calc->message);
    return ok;
}

}  // namespace

bool ReadFieldDouble(gElement* field, double* out, bool expression) {
    return ReadWith([&] { return gWgtReadNumber(field, out, expression); }, expression);
}

bool ReadFieldFloat(gElement* field, float* out, bool expression) {
    return ReadWith([&] { return gWgtReadFloat(field, out, expression); }, expression);
}

bool ReadFieldInt(gElement* field, int32_t* out, bool expression) {
    return ReadWith([&] { return gWgtReadInt(field, out, expression); }, expression);
}

bool ReadFieldUInt(gElement* field, uint32_t* out, bool expression) {
    return ReadWith([&] { return gWgtReadUInt(field, out, expression); }, expression);
}

bool ReadFieldInt64(gElement* field, int64_t* out, bool expression) {
    return ReadWith([&] { return gWgtReadInt64(field, out, expression); }, expression);
}

bool SetFieldEnabled(gElement* field, bool flag) {
    return flag ? gWgtChangeColor(field, kFieldMarkColour) : gWgtRestoreColor(field);
}

bool MarkFieldColor(gElement* field, bool flag) {
    bool changed = SetFieldEnabled(field, flag);
    if (changed) gWgtDrawState(field, 5);
    return changed;
}

void SetToggleGlyph(gElement* toggle) {
    if (toggle == nullptr || !gWgtIsLive(toggle)) return;
    // The glyphs are the symbol face's; a toggle that has it keeps its font.
    const bool symbols = toggle->font != nullptr && toggle->font->face == gFaceValue(gSymbolFace());
    if (!symbols) {
        if (gFont* font = gSymbolFont(toggle->window)) gWgtSetFont(toggle, font);
    }
    gWgtSetText(toggle, toggle->value != 0 ? "\x0F" : "\x10");
}

namespace {

void UpdateRadio(gElement** toggles, int count, gElement* pressed, bool now) {
    if (toggles == nullptr || pressed == nullptr) return;
    uint32_t inverse = pressed->value != 0 ? 0 : 1;
    for (int i = 0; i < count; ++i) {
        gElement* t = toggles[i];
        if (t == nullptr || t == pressed || t->value == inverse) continue;
        gWgtExchangeParam(t, inverse);
        if (now) gWgtRedrawState(t, 5);
    }
}

}  // namespace

void UpdateRadioGroup(gElement** toggles, int count, gElement* pressed) { UpdateRadio(toggles, count, pressed, false); }

void UpdateRadioGroupNow(gElement** toggles, int count, gElement* pressed) { UpdateRadio(toggles, count, pressed, true); }

void RepaintWindowNow(gWindow* window, int event) {
    if (event < 3 || window == nullptr || gWinValidate(window) == nullptr) return;
    if (event == 7 && (window->state & kNotDrawnMask) == 0 && gWinMakeCurrent(window)) {
        glViewport(0, 0, window->clientWidth, window->clientHeight);
        gWinPaint(window);
        gWinSwapPainted(window);
        if (window->pendingUpdate != nullptr) *window->pendingUpdate = 0;
        window->dirty = 0;
        return;
    }
    window->dirty = 7;
}

gFont* GetUIFont(gWindow* window) {
    if (window == nullptr || gWinValidate(window) == nullptr) return nullptr;
    // The window's second font: it goes with the window.
    if (window->extraFont != nullptr) return window->extraFont;
    gFont* font = gFontGet(window, kFaceByName, "Arial", -10, 0, kDefaultCharset, 0, 600, nullptr);
    if (font == nullptr || !RefAssign(&window->extraFont, font)) return window->font;
    return window->extraFont;
}

const char* EntryName(const gElement* entry, uint8_t* outFlag) {
    if (outFlag != nullptr) *outFlag = 0;
    if (entry == nullptr || entry->text.empty()) return " ";
    return entry->text.c_str();
}

}  // namespace orva
