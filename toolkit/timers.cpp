// The toolkit timers: timer 1 repeats a held press and tracks the hover, timer 3 blinks
// the caret of the focused edit field.
#include <GL/gl.h>

#include "platform/gl_context.h"
#include "platform/window_api.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"
#include "toolkit/element_bits.h"

namespace orva {

namespace {

constexpr uint32_t kDragTrack = 0x20000, kDragFollows = 0x10000;
pf::Point gLastTrackPos{-100000, -100000};

void TrackCall(gElement* widget, gWindow* window, bool redraw) {
    if (widget->onTrack == nullptr || widget->value != 0 || (widget->dragFlags & kDragTrack) == 0 ||
        (widget->dragFlags & kDragAtPress) == 0) {
        return;
    }
    if (widget->onTrack(widget, &gCursorPos) && redraw && gWgtIsLive(widget)) gWgtRedrawAlone(window, widget, true);
}

void HoverCursor(gWindow* window, gElement* widget) {
    if (widget->onHover != nullptr) widget->onHover(widget, &gCursorPos);
    if (!gWgtIsLive(widget)) return;
    pf::Cursor cursor = widget->cursor != nullptr ? widget->cursor : window->defaultCursor;
    if (cursor == nullptr) cursor = pf::LoadCursor(pf::kIdcArrow);
    if (cursor != window->cursor) {
        window->cursor = cursor;
        if (cursor != nullptr && pf::GetCursor() != cursor) pf::SetCursor(cursor);
    }
}

void RepeatTick() {
    if (gRepeatCount < 5) {
        ++gRepeatCount;
        return;
    }
    gElement* widget = gRepeatWidget;
    gWindow* window = widget->window;
    if (window == nullptr) return;
    gRepeatStep += 5;
    if (widget->onPress != nullptr) {
        window->state |= kStateInHandler;
        widget->onPress(widget, widget->handlerData);
        if (!gWinAfterHandler(window, widget)) return;
    }
    if (!gWgtIsLive(widget)) return;
    if (widget->value == 0) gRepeatWidget = nullptr;
    if (gInput().flushDirty != nullptr) {
        gInput().flushDirty(window);
    } else if (window->dirty != 0 && gWinCanDraw(window) && gWinMakeCurrent(window)) {
        gWinRedraw(window);
    }
}

void HoverTick(pf::Hwnd hwnd) {
    pf::Point screen;
    if (!pf::GetCursorPos(&screen)) return;
    if (screen.x == gLastTrackPos.x && screen.y == gLastTrackPos.y) return;
    gLastTrackPos = screen;
    pf::Hwnd under = pf::WindowFromPoint(screen);
    gWindow* window = under != nullptr ? gWinFromHwndAny(under) : nullptr;
    if (window == nullptr) {
        if (gHotWidget != nullptr) gWgtEndHover(gHotWidget->window);
        if (gMouseButtonState() == 0) return;
        window = gWinFromHwnd(hwnd);
        if (window == nullptr) return;
    }
    if ((window->style & kStyleNoHover) != 0) {
        if (gHotWidget != nullptr) gWgtEndHover(window);
        return;
    }
    if (gMouseButtonState() != 0 && gPressedWidget != nullptr) return;
    gCursorScreenPos = screen;
    pf::Point client = screen;
    pf::ScreenToClient(window->hwnd, &client);
    gCursorPos = client;
    gElement* before = gHotWidget;
    gWinHover(window);
    // A widget that follows the pointer (an image view) and has just become hot gets the
    // position now: this tick took the step, so the move messages still queued find none
    // and would pass it by, and the view would show where the pointer was before.
    gElement* hot = gHotWidget;
    if (hot != nullptr && hot != before && gWgtIsLive(hot) && hot->window == window && hot->onDrag != nullptr &&
        (hot->dragFlags & kDragFollows) != 0 && (hot->dragFlags & kDragAtPress) != 0 && gWinMakeCurrent(window))
        hot->onDrag(hot, &gCursorPos);
}

}  // namespace

void gWinHover(gWindow* window) {
    if (window == nullptr || (window->state & kStateHiddenByShow) != 0 || !gWinMakeCurrent(window)) return;
    gElement* picked = gPick(window, gCursorPos.x, gCursorPos.y);
    if (picked == nullptr || !picked->enabled || picked->state0 == 0) {
        if (gHotWidget != nullptr) gWgtEndHover(window);
        return;
    }
    if (picked == gHotWidget && picked != gFocusWidget && picked->highlight) {
        HoverCursor(window, picked);
        if (gWgtIsLive(picked)) TrackCall(picked, window, true);
        return;
    }
    TrackCall(picked, window, false);
    if (!gWgtIsLive(picked)) return;
    picked->highlight = 1;
    gElement* previous = gHotWidget;
    gWindow* previousWindow = nullptr;
    if (previous != nullptr && previous != picked && gWgtIsLive(previous)) {
        previous->highlight = 0;
        previousWindow = previous->window;
    }
    HoverCursor(window, picked);
    if (!gWgtIsLive(picked)) return;
    if (picked != gFocusWidget || previousWindow == window) gWgtRedrawAlone(window, picked, true);
    if (previousWindow != nullptr && previousWindow != window && gWinCanDraw(previousWindow) &&
        gWinMakeCurrent(previousWindow)) {
        gWgtRedrawAlone(previousWindow, previous, true);
        gWinMakeCurrent(window);
    }
    gHotWidget = picked;
}

void gWinOnTimer(pf::Hwnd hwnd, uintptr_t id) {
    if (id == kTrackTimerId) {
        if (gMouseButtonState() != 0 && gRepeatWidget != nullptr && gWgtIsLive(gRepeatWidget)) {
            RepeatTick();
        } else {
            HoverTick(hwnd);
        }
        return;
    }
    if (id == kCaretTimerId) {
        gElement* field = gFocusWidget;
        if (field == nullptr || !field->shown || field->dead || !field->enabled) return;
        if (gInput().isEditing == nullptr || !gInput().isEditing(field)) return;
        gWindow* window = field->window;
        if (window == nullptr || !gWinCanDraw(window) || !gWinMakeCurrent(window)) return;
        if (gInput().toggleCaret != nullptr) gInput().toggleCaret(field);
        gWgtRedrawAlone(window, field, true);
    }
}

}  // namespace orva
