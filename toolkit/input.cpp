// The input globals, the shared helpers of the input routing (redrawing a widget alone,
// revalidating a window after a handler, focus and hover ends) and the hook wiring.
#include "toolkit/input.h"

#include <GL/gl.h>

#include <unordered_map>

#include "platform/gl_context.h"
#include "platform/window_api.h"
#include "platform/x11_keys.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"

namespace orva {

gKeyEvent gKeyDownEvent;
gKeyUpRecord gKeyUpEvent;
uint32_t gLastKey = 0;
gElement* gHotWidget = nullptr;
gElement* gPressedWidget = nullptr;
gElement* gFocusWidget = nullptr;
gElement* gDragWidget = nullptr;
gElement* gKeyPressWidget = nullptr;
gElement* gRepeatWidget = nullptr;
pf::Point gCursorPos;
pf::Point gCursorScreenPos;
pf::Point gLastMoveScreenPos;
pf::Point gDragStep;
float gDragGrab[2] = {0, 0};
float gDragPos[2] = {0, 0};
int gRepeatCount = 0;
int gRepeatStep = 0;
bool gDoubleClickStored = false;
uint64_t gDoubleClickMs = 0;


namespace {

std::unordered_map<const gElement*, gWidgetKeyFn>& KeyHandlers() {
    static std::unordered_map<const gElement*, gWidgetKeyFn> handlers;
    return handlers;
}

gWindow* FocusWindow() { return gFocusWidget != nullptr ? gFocusWidget->window : nullptr; }
bool HasHot() { return gHotWidget != nullptr; }
void RepeatKillFocus() {
    if (gRepeatWidget != nullptr) {
        gRepeatWidget->value = 0;
        gRepeatWidget = nullptr;
    }
}
void CancelPressActive() { gWinCancelPress(pf::GetActiveWindow()); }
bool WheelToPressed(gWindow* window, int delta, int keys) {
    gElement* target = gPressedWidget != nullptr ? gPressedWidget : gHotWidget;
    if (target == nullptr || target->window != window || target->onWheel == nullptr) {
        // No widget of this window holds the pointer: the one under it, when it takes
        // the wheel.
        pf::Point at{};
        if (window == nullptr || window->hwnd == nullptr || !pf::GetCursorPos(&at) || !pf::ScreenToClient(window->hwnd, &at))
            return false;
        target = gPick(window, at.x, at.y);
        if (target == nullptr || target->onWheel == nullptr) return false;
    }
    target->onWheel(target, delta, keys);
    return true;
}

}  // namespace

gInputHooks& gInput() {
    static gInputHooks hooks;
    return hooks;
}

void gSetRepeatWidget(gElement* widget) {
    gRepeatWidget = widget;
    gRepeatCount = 0;
    gRepeatStep = 0;
}

void gWgtSetKeyHandler(gElement* widget, gWidgetKeyFn handler) {
    if (widget == nullptr) return;
    if (handler == nullptr) {
        KeyHandlers().erase(widget);
    } else {
        KeyHandlers()[widget] = handler;
    }
}

gWidgetKeyFn gWgtKeyHandler(const gElement* widget) {
    auto it = KeyHandlers().find(widget);
    return it == KeyHandlers().end() ? nullptr : it->second;
}

void gWidgetGone(gElement* widget) {
    if (widget == nullptr) return;
    gWindow* window = widget->window;
    if (window != nullptr && gWinValidate(window) != nullptr) {
        if (window->statusWidget == widget && (gToolkitFlags() & kFlagClosing) == 0) window->statusWidget = nullptr;
        if (window->defaultButton == widget) window->defaultButton = nullptr;
    }
    for (gElement** global : {&gPressedWidget, &gDragWidget, &gKeyPressWidget, &gHotWidget, &gFocusWidget,
                              &gRepeatWidget}) {
        if (*global == widget) *global = nullptr;
    }
    if (gInput().editGone != nullptr) gInput().editGone(widget);
    KeyHandlers().erase(widget);
}

void gInputClear() {
    gHotWidget = gPressedWidget = gFocusWidget = gDragWidget = gKeyPressWidget = gRepeatWidget = nullptr;
    gKeyDownEvent = gKeyEvent{};
    gKeyUpEvent = gKeyUpRecord{};
    gLastKey = 0;
    gCursorPos = gCursorScreenPos = gLastMoveScreenPos = gDragStep = pf::Point{};
    gRepeatCount = gRepeatStep = 0;
    gDoubleClickStored = false;
    gDoubleClickMs = 0;
    KeyHandlers().clear();
}

void gInputInstall() {
    static bool once = false;
    if (!once) {
        once = true;
        gWgtAddDestroyObserver(gWidgetGone);
    }
    pf::InstallX11KeyHandler();
    gToolkitHooks& hooks = gHooks();
    hooks.keyDown = gWinOnKeyDown;
    hooks.keyUp = gWinOnKeyUp;
    hooks.mouseMove = gWinOnMouseMove;
    hooks.buttonDown = gWinOnButtonDown;
    hooks.buttonUp = gWinOnMouse;
    hooks.doubleClick = gWinOnDoubleClickMsg;
    hooks.timer = gWinOnTimer;
    hooks.focusWidgetWindow = FocusWindow;
    hooks.leaveFocus = gWgtLeaveFocus;
    hooks.hasHotWidget = HasHot;
    hooks.endHover = gWgtEndHover;
    hooks.repeatKillFocus = RepeatKillFocus;
    hooks.cancelPress = CancelPressActive;
    if (hooks.wheel == nullptr) hooks.wheel = WheelToPressed;
    hooks.clearInputGlobals = gInputClear;
    if (gInput().editDrag == nullptr) gInput().editDrag = gWinOnEditDrag;
}

// ---- Drawing helpers -----------------------------------------------------------------------

void gWgtApplyProjection(const gWindow* window, const gElement* widget) {
    if (widget == nullptr) return;
    if ((widget->style & kWsSlotBits) != 0) {
        gWinSetProjection(const_cast<gWindow*>(window != nullptr ? window : widget->window), widget->style);
    } else {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
}

void gWgtRedrawAlone(gWindow* window, gElement* widget, bool consultDirty) {
    if (window == nullptr || widget == nullptr) return;
    // The back buffer is undefined after a swap unless the swap copies: then the whole
    // window is painted.
    bool whole = (consultDirty && window->dirty == 7) || widget->partial != 1 || !gWinSwapCopies(window);
    if (whole) {
        gWinPaint(window);
        if (window->pendingUpdate != nullptr) *window->pendingUpdate = 0;
        gWinSwapPainted(window);
        return;
    }
    if (widget->shown && !widget->dead) {
        gElement* target = widget->prevChild != nullptr && widget->container != nullptr ? widget->container : widget;
        gWgtPaintOne(target);
    }
    pf::SwapBuffers(window->hdc);
}

// ---- After a handler ------------------------------------------------------------------------

bool gWinAfterHandlerNoWin(gWindow* window, gElement* widget) {
    (void)widget;
    if (window != nullptr && gWinValidate(window) != nullptr && window->hwnd == nullptr) {
        window->hdc = nullptr;
        window->hglrc = nullptr;
    }
    return false;
}

bool gWinAfterHandler(gWindow* window, gElement* widget) {
    if (window != nullptr && gWinValidate(window) != nullptr && window->hwnd != nullptr &&
        (window->state & kStateClosed) == 0 && gWinMakeCurrent(window)) {
        window->state &= ~kStateInHandler;
        return true;
    }
    gMouseButtonState() = 0;
    if (!gWinAfterHandler(window)) return false;
    if (window->hwnd == nullptr) return gWinAfterHandlerNoWin(window, widget);
    // The context failed: the press is undone without drawing.
    window->state &= ~kStateInHandler;
    if (widget != nullptr && gWgtIsLive(widget)) {
        bool inactive = pf::GetActiveWindow() != window->hwnd;
        if ((widget->style & 0x1000000) != 0 ||
            (inactive && (widget->style & (0x8000000 | 0x20000000)) != 0)) {
            widget->value = 0;
            if (inactive) gWinSetCursor(window, window->defaultCursor);
        }
        widget->x = widget->homeX;
        widget->y = widget->homeY;
    }
    gWinReapClosed(window);
    return false;
}

// ---- Focus and hover -------------------------------------------------------------------------

void gWgtLeaveFocus(gElement* widget, gWindow* window) {
    gElement* previous = gFocusWidget;
    gFocusWidget = widget;
    if (previous == nullptr || previous == widget || !gWgtIsLive(previous)) return;
    bool redraw = gInput().editEnd != nullptr && gInput().editEnd(previous);
    gWindow* owner = previous->window;
    if (!redraw || owner == nullptr || !gWinCanDraw(owner) || !gWinMakeCurrent(owner)) return;
    gWgtRedrawAlone(owner, previous, false);
    if (window != nullptr && window != owner && gWinCanDraw(window)) gWinMakeCurrent(window);
}

void gWgtEndHover(gWindow* window) {
    if (window != nullptr && gWinValidate(window) != nullptr) gWinSetCursor(window, window->defaultCursor);
    gElement* hot = gHotWidget;
    gHotWidget = nullptr;
    if (hot == nullptr || !gWgtIsLive(hot)) return;
    gWindow* owner = hot->window;
    if (owner != nullptr && owner != window) gWinSetCursor(owner, owner->defaultCursor);
    hot->highlight = 0;
    if (owner != nullptr && gWinCanDraw(owner) && gWinMakeCurrent(owner)) {
        gWgtRedrawAlone(owner, hot, true);
        if (window != nullptr && window != owner && gWinCanDraw(window)) gWinMakeCurrent(window);
    }
}

// ---- Broadcast -----------------------------------------------------------------------------

namespace {
bool Broadcast(gWindow* window, void* message, uint32_t skipMask) {
    if (window == nullptr || window->parent == nullptr || (window->state & kNoWheelMask) != 0) return false;
    // Children of a window are chained through firstChild (the parent's first child,
    // then each child's next sibling).
    for (gWindow* sibling = window->parent->firstChild; sibling != nullptr; sibling = sibling->firstChild) {
        if (sibling == window || sibling->keyDownHandler == nullptr || (sibling->state & skipMask) != 0) continue;
        sibling->state |= kStateInHandler;
        bool taken = sibling->keyDownHandler(sibling, window, message);
        if (gWinValidate(sibling) == nullptr || gWinValidate(window) == nullptr) return taken;
        sibling->state &= ~kStateInHandler;
        if (taken) return true;
    }
    return false;
}
}  // namespace

bool gWinBroadcast(gWindow* window, void* message) { return Broadcast(window, message, kStateInHandler); }
bool gWinBroadcastActive(gWindow* window, void* message) { return Broadcast(window, message, kNoKeysMask); }

}  // namespace orva
