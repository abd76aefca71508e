// The press of a widget, by the mouse or by a shortcut key: sets or toggles its value,
// asks the press handler, leaves the click to the release or runs it at once, grabs the
// widget for dragging and, for an edit field, places the caret and gives it the focus.
#include <algorithm>

#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "toolkit/element_bits.h"

namespace orva {

namespace {

constexpr uint32_t kStyleMomentary = 0x1000000;
constexpr uint32_t kStyleNoRedraw = 0x200000;
constexpr uint32_t kStyleRepeat = 0x8000000;
constexpr uint32_t kStyleRedrawValue = 0x10000000;
constexpr uint32_t kDragNoOffset = 0x8;
constexpr uint32_t kDragCall = 0x200;

bool Drawable(gWindow* w) { return w != nullptr && w->hwnd != nullptr && (w->state & kBusyMask) == 0; }

void RedrawNow(gWindow* w, gElement* e) {
    if (Drawable(w) && gWinMakeCurrent(w)) gWgtRedrawAlone(w, e, true);
}

void Grab(gElement* e) {
    if ((e->dragFlags & kDragNoOffset) == 0) {
        gWgtGrab(e);
    } else {
        e->placedX = e->homeX;
        e->placedY = e->homeY;
    }
}

void GrabAndDrag(gElement* e, bool byMouse) {
    if (!byMouse) return;
    Grab(e);
    if ((e->dragFlags & kDragCall) && e->onDrag != nullptr) e->onDrag(e, &gCursorPos);
}

int PressEdit(gWindow* window, gElement* e, gEditState* s, bool byMouse) {
    if (e->dragFlags != 0) GrabAndDrag(e, byMouse);
    bool caretLogic = (e->dragFlags & ~kDragCall) == 0 && ((e->dragFlags & kDragCall) == 0 || e->onDrag != nullptr);
    if (caretLogic && e->font != nullptr) {
        const uint32_t mods = gKeyModifiersNow();
        const bool shift = (mods & kKeyShift) != 0, ctrl = (mods & kKeyCtrl) != 0;
        if (shift && ctrl) {
            gWgtCaretToEnd(e, false);
        } else if (!byMouse) {
            s->anchorX = s->caretX;
            s->caret += s->selection;
            s->selection = 0;
            if (ctrl) gWgtSelectWord(e);
        } else {
            // The distance into the text box, in the field's slot frame.
            gWgtEditPlaceBox(e);
            float px = static_cast<float>(gCursorPos.x);
            float local = px - s->boxX;
            if (e->style & kEditFromRight) local = s->boxX + s->boxWidth - (static_cast<float>(window->clientWidth) - px);
            float x = std::clamp(local, 0.0f, s->visibleWidth);
            int32_t fit = 0;
            const char* from = e->text.c_str() + std::min<size_t>(static_cast<size_t>(std::max(s->firstVisible, 0)),
                                                                   e->text.size());
            gFontFit(e->font, from, x, &fit, false);
            if (gFontTextWidthN(e->font, from, fit) > x && fit > 0) --fit;   // whole characters only
            if (fit > s->visibleCount) s->visibleCount = fit;
            int32_t index = fit + s->firstVisible;
            if (!shift) {
                s->caret = index;
                s->selection = 0;
                if (ctrl) gWgtSelectWord(e);
            } else {
                s->selection = index - s->caret;
            }
            gWgtScrollCaretIn(e);
        }
    }
    if (gFocusWidget != e) {
        gElement* previous = gWgtEditBegin(e);
        if (previous != nullptr && previous != e && gWgtIsLive(previous)) {
            gWgtEditEnd(previous);
            RedrawNow(previous->window, previous);
        }
        RedrawNow(window, e);
        return 1;
    }
    RedrawNow(window, e);
    return 1;
}

}  // namespace

int gWgtPress(gWindow* window, gElement* e, bool byMouse) {
    if (window == nullptr || e == nullptr) return 0;
    if (window->state & kStateInHandler) return 0;
    gPressedWidget = nullptr;
    if (e->style & kStyleInert) {
        if (e->dragFlags != 0 && byMouse) Grab(e);
        return 0;
    }
    if (gEditState* s = gWgtEdit(e)) return PressEdit(window, e, s, byMouse);

    const uint32_t old = e->value;
    e->value = (e->style & kStyleToggle) ? (old == 0 ? 1u : 0u) : 1u;
    const bool changed = e->value != old;
    if (e->onPress != nullptr) {
        const bool agreed = e->onPress(e, e->handlerData);
        // A press may run a command that waits on a dialog, and the program may be told
        // to end meanwhile: the widget and its window are gone by the time it returns.
        if (!gWgtIsLive(e)) return -1;
        if (!agreed) {
            GrabAndDrag(e, byMouse);
            return 0;
        }
    }
    if (byMouse && (e->style & kStyleClickAtPress) == 0) {
        if (e->onPress != nullptr && Drawable(window)) gWgtRepick(window, e);
        GrabAndDrag(e, byMouse);
        return 1;
    }
    if (e->onClick == nullptr) {
        if (e->style & kStyleMomentary) e->value = 0;
        if ((e->style & kStyleNoRedraw) == 0 && e->value != old) RedrawNow(window, e);
        if (byMouse) {
            Grab(e);
            if ((e->dragFlags & kDragCall) && e->onDrag != nullptr && gDragStep.x != 0 && gDragStep.y != 0) {
                e->onDrag(e, &gCursorPos);
            }
        }
        return 1;
    }
    gPressedWidget = e;
    if (changed && (e->style & kStyleNoRedraw) == 0) RedrawNow(window, e);
    window->state |= kStateInHandler;
    e->onClick(e, e->handlerData);
    if (!gWinAfterHandler(window)) return -1;
    if (!gWgtIsLive(e)) return 1;
    if ((e->style & kStyleRepeat) && (e->style & kStyleClickAtPress) && byMouse && e->value != 0) {
        gSetRepeatWidget(e);
    }
    if (Drawable(window) && gWinMakeCurrent(window)) {
        if ((e->style & 0x21000000u) == 0 || (e->style & kStyleRedrawValue) != 0) {
            if (e->value != old) gWgtRedrawAlone(window, e, true);
        } else {
            if (e->value != 0 && (e->style & kStyleMomentary)) e->value = 0;
            gWgtRedrawAlone(window, e, true);
        }
    }
    const bool switchedOff = (e->style & kStyleToggle) && e->value == 0;
    if (byMouse && !switchedOff) GrabAndDrag(e, byMouse);
    return 1;
}

}  // namespace orva
