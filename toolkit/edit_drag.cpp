// Dragging over an edit field: the far end of the selection follows the pointer, and the
// text scrolls when the pointer goes past the visible part.
#include <cmath>

#include "platform/gl_context.h"
#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"

namespace orva {


namespace {

int32_t TextLength(const gElement* e) { return static_cast<int32_t>(e->text.size()); }

// The advance of the character that starts at byte `index` (a UTF-8 name's character
// spans several bytes: every index here is the start of one).
float Advance(const gElement* e, int32_t index) {
    if (index < 0 || index >= TextLength(e)) return 0.0f;
    return gFontCharWidthAt(e->font, e->text.c_str(), TextLength(e), index);
}
int32_t Bytes(const gElement* e, int32_t index) { return std::max(1, gTextCharBytes(e->text.c_str(), TextLength(e), index)); }
int32_t Before(const gElement* e, int32_t index) { return gTextCharBefore(e->text.c_str(), index); }

bool FromRight(const gElement* e) { return (e->style & kEditFromRight) != 0; }

// Characters from `from` onwards whose advances add up to at most `limit` (the one that
// would pass it is not counted); their width in *width.
int32_t CountUpTo(const gElement* e, int32_t from, float limit, float* width) {
    int32_t k = 0;
    float sum = 0.0f;
    for (int32_t i = from; i < TextLength(e); i += Bytes(e, i)) {
        float a = Advance(e, i);
        if (sum + a > limit) break;
        sum += a;
        k += Bytes(e, i);
    }
    *width = sum;
    return k;
}

// Characters before `before`, nearest first, until their advances reach `limit` or the
// text starts; their width in *width.
int32_t CountBack(const gElement* e, int32_t before, float limit, float* width) {
    int32_t k = 0;
    float sum = 0.0f;
    for (int32_t i = Before(e, before); before > 0 && sum < limit; i = Before(e, i)) {
        sum += Advance(e, i);
        k = before - i;
        if (i == 0) break;
    }
    *width = sum;
    return k;
}

void Remeasure(gElement* e, gEditState* s) {
    s->visibleWidth = gFontTextWidthN(e->font, e->text.c_str() + s->firstVisible, s->visibleCount);
}

}  // namespace

bool gEditCaretFromX(gElement* field, float x, float step) {
    gEditState* s = gWgtEdit(field);
    if (s == nullptr) return false;
    float r = FromRight(field) ? s->boxX + s->boxWidth - x : x - s->boxX;
    float delta = r - s->caretX;
    if (std::fabs(delta) < static_cast<float>(s->margin) || (step > 0 && delta < 0) || (step <= 0 && delta > 0) ||
        r <= 0) {
        return false;
    }
    float e = 0.0f, a = 0.0f;
    int32_t i = -1;
    int32_t bytes = 1;
    for (int32_t n = 0; n < s->visibleCount && s->firstVisible + n < TextLength(field); n += bytes) {
        bytes = Bytes(field, s->firstVisible + n);
        a = Advance(field, s->firstVisible + n);
        e += a;
        if (e >= r) {
            i = s->firstVisible + n;
            break;
        }
    }
    if (i < 0) return false;
    float newX;
    int32_t newSelection;
    if (step > 0) {
        if (!(delta > a / 2)) return false;
        newX = e;
        newSelection = i + bytes - s->caret;
    } else {
        if (!(-delta > a / 2)) return false;
        newX = e - a;
        newSelection = i - s->caret;
    }
    if (newX == s->caretX) return false;
    s->caretX = newX;
    s->selection = newSelection;
    return true;
}

void gEditScrollText(gElement* field, float amount) {
    gEditState* s = gWgtEdit(field);
    if (s == nullptr) return;
    if (amount > 0) {
        float w = 0.0f;
        int32_t k = CountBack(field, s->firstVisible, amount, &w);
        s->firstVisible -= k;
        s->anchorX += w;
        s->caretX += w;
    } else {
        float w = 0.0f, sw = 0.0f;
        CountUpTo(field, s->firstVisible + s->visibleCount, -amount, &w);
        int32_t m = CountUpTo(field, s->firstVisible, w, &sw);
        s->firstVisible += m;
        s->caretX -= sw;
        s->anchorX -= sw;
    }
    s->visibleCount = gFontFitCount(field->font, field->text.c_str() + s->firstVisible, s->boxWidth);
    Remeasure(field, s);
}

bool gEditScrollBy(gElement* field, float d) {
    gEditState* s = gWgtEdit(field);
    if (s == nullptr) return false;
    int32_t length = TextLength(field);
    if (d < 0 && s->caretX > 0) {
        const int32_t end = s->caret + s->selection, start = Before(field, end);
        s->selection -= end - start;
        s->caretX -= Advance(field, start);
        if (s->caretX < 0) {
            s->caretX = 0;
            s->selection += end - start;
        }
    } else if (d < 0) {
        if (s->firstVisible == 0) return false;
        if (s->caret < s->firstVisible) {
            gEditScrollText(field, s->boxWidth / 3);
            return true;
        }
        float w = 0.0f;
        int32_t k = CountBack(field, s->firstVisible, -d, &w);
        s->anchorX += w;
        s->firstVisible -= k;
        s->selection -= k;
        s->visibleCount = gFontFitCount(field->font, field->text.c_str() + s->firstVisible, s->boxWidth);
    } else {
        int32_t end = s->caret + s->selection;
        int32_t visibleEnd = s->firstVisible + s->visibleCount;
        if (end < visibleEnd) {
            float a = Advance(field, end);
            const int32_t bytes = Bytes(field, end);
            s->caretX += a;
            s->selection += bytes;
            if (s->caretX > s->visibleWidth) {
                s->caretX -= a;
                s->selection -= bytes;
            }
        } else {
            if (s->caret >= visibleEnd) {
                gEditScrollText(field, -s->boxWidth / 3);
                return true;
            }
            if (visibleEnd >= length) return false;
            float w = 0.0f, sw = 0.0f;
            int32_t k = CountUpTo(field, visibleEnd, d, &w);
            if (k == 0) return false;
            int32_t m = CountUpTo(field, s->firstVisible, w, &sw);
            int32_t count = 0;
            s->caretX = gFontFit(field->font, field->text.c_str() + s->firstVisible + m, s->boxWidth, &count, false);
            s->visibleCount = count;
            s->firstVisible += m;
            s->selection += k;
            if (s->caret + s->selection > length) s->selection = length - s->caret;
            s->anchorX -= sw;
        }
    }
    Remeasure(field, s);
    return true;
}

bool gWinOnEditDrag(gWindow* window, gElement* field) {
    gEditState* s = gWgtEdit(field);
    if (window == nullptr || s == nullptr || !s->editing || field->text.empty() || field->font == nullptr) {
        return false;
    }
    gWgtEditPlaceBox(field);
    bool right = FromRight(field);
    float px = static_cast<float>(gCursorPos.x);
    if (right) px = static_cast<float>(window->clientWidth) - px;
    float left = right ? s->boxX + s->boxWidth - s->visibleWidth : s->boxX;
    float spanEnd = right ? s->boxX + s->boxWidth : s->boxX + s->visibleWidth;
    bool changed = false;
    if (px >= left && px <= spanEnd) {
        changed = gEditCaretFromX(field, px, static_cast<float>(gDragStep.x));
    } else {
        float d = right ? s->boxX + s->boxWidth - px - s->caretX : px - s->boxX - s->caretX;
        if (std::fabs(d) >= static_cast<float>(s->margin)) changed = gEditScrollBy(field, d);
    }
    if (!changed) return false;
    gWgtScrollCaretIn(field);
    if (!gWinMakeCurrent(window)) return true;
    gWgtRedrawAlone(window, field, false);
    return true;
}

}  // namespace orva
