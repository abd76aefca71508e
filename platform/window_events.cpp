// Native events turned into window messages.
#include "platform/window_events.h"

#include <cstdlib>

#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/window_backend.h"
#include "platform/window_registry.h"

namespace orva::platform {

namespace {

struct LastClick {
    Hwnd hwnd = nullptr;
    int button = 0;
    uint32_t time = 0;
    Point at;
    bool valid = false;
};

LastClick gLastClick;
bool gAppActive = false;           // one of our windows holds the focus
Hwnd gLastDeactivated = nullptr;   // the window that lost it last, for the next WM_ACTIVATE
// The top-level window a press activated and the one active before, until the server's
// next notice of a focus change. The server moves the focus only when the press is taken,
// and a program busy then takes it late: the keys typed after the click have already come
// to the window that held the focus, and belong to the one clicked into.
Hwnd gPressActivated = nullptr, gActiveBeforePress = nullptr;

// Posts to every top-level window of the calling thread.
void PostToTopLevels(uint32_t message, WParam wParam, LParam lParam) {
    for (uintptr_t id : WindowsOfQueue(CurrentThreadQueue().get())) {
        WindowObject* window = FindWindowObject(HwndFromId(id));
        if (window != nullptr && window->parent == nullptr) PostMessage(HwndFromId(id), message, wParam, lParam);
    }
}

Hwnd TopLevel(Hwnd hwnd) {
    WindowObject* window = FindWindowObject(hwnd);
    while (window != nullptr && window->parent != nullptr) {
        hwnd = window->parent;
        window = FindWindowObject(hwnd);
    }
    return window == nullptr ? nullptr : hwnd;
}

bool IsDescendant(Hwnd hwnd, Hwnd ancestor) {
    for (WindowObject* window = FindWindowObject(hwnd); window != nullptr;
         window = FindWindowObject(window->parent)) {
        if (hwnd == ancestor) return true;
        if (window->parent == nullptr) break;
        hwnd = window->parent;
    }
    return false;
}

// A press in one of our windows activates its top-level window when that is not the
// active one, as a click does on the usual desktops: where no window
// manager moves the keyboard focus on a click, the keys would otherwise go on to the
// window shown last rather than the one the user clicked into. Windows that are never
// activated (the no-activate ones, the menus: the backend leaves those) stay as they are.
void ActivateOnPress(Hwnd hwnd) {
    Hwnd top = TopLevel(hwnd);
    WindowObject* window = FindWindowObject(top);
    // A press before the server told of the last one's activation: the window that one
    // activated counts as the active one.
    const Hwnd active = gPressActivated != nullptr ? gPressActivated : GetActiveWindow();
    if (window == nullptr || !window->visible || top == active) return;
    if ((window->exStyle & kWsExNoActivate) != 0) return;
    if (gPressActivated == nullptr) gActiveBeforePress = GetActiveWindow();
    SetActiveWindow(top);
    gPressActivated = top;
}

}  // namespace

void OnNativeExpose(Hwnd hwnd) { InvalidateRect(hwnd); }

void OnNativeConfigure(Hwnd hwnd, int32_t clientX, int32_t clientY, int32_t width, int32_t height) {
    WindowObject* window = FindWindowObject(hwnd);
    if (window == nullptr || window->showState == kSwShowMinimized) return;
    int32_t x = clientX - window->frame.left;
    int32_t y = clientY - window->frame.top;
    int32_t outerWidth = width + window->frame.left + window->frame.right;
    int32_t outerHeight = height + window->frame.top + window->frame.bottom;
    bool sized = outerWidth != window->width || outerHeight != window->height;
    bool moved = x != window->x || y != window->y;
    window->x = x;
    window->y = y;
    window->width = outerWidth;
    window->height = outerHeight;
    if (window->showState == kSwShowNormal) {
        window->normalRect = Rect{x, y, x + outerWidth, y + outerHeight};
    }
    if (sized) {
        window->needsPaint = true;
        WParam kind = window->showState == kSwMaximize ? kSizeMaximized : kSizeRestored;
        PostMessage(hwnd, kWmSize, kind, MakeLParam(width, height));
    }
    if (moved) PostMessage(hwnd, kWmMove, 0, MakeLParam(clientX, clientY));
}

void OnNativeFrame(Hwnd hwnd, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    WindowObject* window = FindWindowObject(hwnd);
    if (window == nullptr) return;
    // The client area stays where it is; the outer rectangle grows around it.
    int32_t clientX = window->x + window->frame.left;
    int32_t clientY = window->y + window->frame.top;
    int32_t clientWidth = window->ClientWidth();
    int32_t clientHeight = window->ClientHeight();
    window->frame = FrameExtents{left, top, right, bottom};
    window->x = clientX - left;
    window->y = clientY - top;
    window->width = clientWidth + left + right;
    window->height = clientHeight + top + bottom;
}

namespace {

// The focus came to the top-level window: WM_ACTIVATEAPP when it came from elsewhere, the
// window that had it deactivated, WM_ACTIVATE and WM_SETFOCUS.
void FocusCameTo(Hwnd top) {
    Hwnd active = GetActiveWindow();
    Hwnd focus = GetFocus();
    if (active == top) return;
    Hwnd previous = gLastDeactivated;
    if (active != nullptr && IsWindow(active)) {
        if (focus != nullptr && IsWindow(focus)) PostMessage(focus, kWmKillFocus, 0, 0);
        PostMessage(active, kWmActivate, kWaInactive, reinterpret_cast<LParam>(top));
        previous = active;
    }
    gLastDeactivated = nullptr;
    if (!gAppActive) {
        gAppActive = true;
        PostToTopLevels(kWmActivateApp, 1, 0);
    }
    NoteNativeActivation(top, top);
    PostMessage(top, kWmActivate, kWaActive, reinterpret_cast<LParam>(IsWindow(previous) ? previous : nullptr));
    PostMessage(top, kWmSetFocus, reinterpret_cast<WParam>(focus), 0);
}

}  // namespace

Hwnd KeyWindowAfterPress(Hwnd hwnd) {
    Hwnd clicked = gPressActivated;
    // Only keys that still came where the focus was: a window that grabbed the keyboard
    // since (a menu) keeps its own.
    if (clicked == nullptr || gActiveBeforePress == nullptr || TopLevel(hwnd) != gActiveBeforePress) return hwnd;
    WindowObject* window = FindWindowObject(clicked);
    if (window == nullptr || !window->visible) return hwnd;
    // The window takes the key as the active one, which it is about to become: its
    // activation goes ahead of the key, and the server's notice of it changes nothing more.
    FocusCameTo(clicked);
    return clicked;
}

void OnNativeFocus(Hwnd hwnd, bool in, Hwnd next) {
    // The server's word on the focus: the keys go where it sends them again.
    gPressActivated = gActiveBeforePress = nullptr;
    Hwnd top = TopLevel(hwnd);
    if (top == nullptr) return;
    Hwnd active = GetActiveWindow();
    Hwnd focus = GetFocus();
    if (in) {
        FocusCameTo(top);
        return;
    }
    Hwnd nextTop = TopLevel(next);
    if (nextTop == top) return;
    if (active == top) {
        if (focus != nullptr && IsWindow(focus) && IsDescendant(focus, top)) {
            PostMessage(focus, kWmKillFocus, reinterpret_cast<WParam>(nextTop), 0);
        }
        NoteNativeActivation(nullptr, nullptr);
        PostMessage(top, kWmActivate, kWaInactive, reinterpret_cast<LParam>(nextTop));
        gLastDeactivated = top;
    } else if (active != nullptr) {
        return;  // a window that was no longer active
    }
    // The focus leaves all our windows: the application is no longer active.
    if (nextTop == nullptr && gAppActive) {
        gAppActive = false;
        PostToTopLevels(kWmActivateApp, 0, 0);
    }
}

void OnNativeActiveGone(Hwnd next) {
    gLastDeactivated = nullptr;
    if (TopLevel(next) == nullptr && gAppActive) {
        gAppActive = false;
        PostToTopLevels(kWmActivateApp, 0, 0);
    }
}

void ResetNativeActivation() {
    gAppActive = false;
    gLastDeactivated = nullptr;
    gPressActivated = gActiveBeforePress = nullptr;
}

void OnNativeCloseRequest(Hwnd hwnd) {
    if (IsWindow(hwnd)) PostMessage(hwnd, kWmClose, 0, 0);
}

void OnNativeMapped(Hwnd hwnd, bool mapped) {
    WindowObject* window = FindWindowObject(hwnd);
    if (window == nullptr || !window->visible) return;
    bool minimised = window->showState == kSwShowMinimized;
    if (!mapped && !minimised) {
        // Iconified by the window manager.
        window->normalRect = Rect{window->x, window->y, window->x + window->width, window->y + window->height};
        window->showState = kSwShowMinimized;
        PostMessage(hwnd, kWmShowWindow, 0, 0);
        PostMessage(hwnd, kWmSize, kSizeMinimized, 0);
    } else if (mapped && minimised) {
        window->showState = kSwShowNormal;
        window->needsPaint = true;
        PostMessage(hwnd, kWmShowWindow, 1, 0);
        PostMessage(hwnd, kWmSize, kSizeRestored, MakeLParam(window->ClientWidth(), window->ClientHeight()));
    }
}

void OnNativeButton(Hwnd hwnd, int button, bool press, int32_t x, int32_t y, uint32_t mk,
                    uint32_t time) {
    WindowObject* window = FindWindowObject(hwnd);
    if (window == nullptr) return;
    Point screen{x, y};
    ClientToScreen(hwnd, &screen);
    SetLastPointerPosition(screen);
    // A disabled window takes no pointer input.
    if (!AcceptsInput(hwnd)) return;
    if (button >= 4 && button <= 7) {
        if (!press) return;
        // 4 and 5 turn the wheel up and down; 6 and 7, the horizontal wheel (left and
        // right), come as the wheel with Ctrl held, which scrolls sideways.
        int delta = button == 4 || button == 6 ? kWheelDelta : -kWheelDelta;
        if (button >= 6) mk |= kMkControl;
        WParam wParam = static_cast<WParam>(static_cast<uint16_t>(mk)) |
                        (static_cast<WParam>(static_cast<uint16_t>(static_cast<int16_t>(delta))) << 16);
        PostMessage(hwnd, kWmMouseWheel, wParam, MakeLParam(screen.x, screen.y));
        return;
    }
    uint32_t down = 0, up = 0, dbl = 0, flag = 0;
    switch (button) {
        case 1: down = kWmLButtonDown; up = kWmLButtonUp; dbl = kWmLButtonDblClk; flag = kMkLButton; break;
        case 2: down = kWmMButtonDown; up = kWmMButtonUp; dbl = kWmMButtonDblClk; flag = kMkMButton; break;
        case 3: down = kWmRButtonDown; up = kWmRButtonUp; dbl = kWmRButtonDblClk; flag = kMkRButton; break;
        default: return;
    }
    LParam at = MakeLParam(x, y);
    if (!press) {
        PostMessage(hwnd, up, mk & ~flag, at);
        return;
    }
    ActivateOnPress(hwnd);
    uint32_t message = down;
    bool doubleClick = (window->classStyle & kCsDblClks) != 0 && gLastClick.valid &&
                       gLastClick.hwnd == hwnd && gLastClick.button == button &&
                       time - gLastClick.time <= kDoubleClickMs &&
                       std::abs(screen.x - gLastClick.at.x) <= kDoubleClickDistance &&
                       std::abs(screen.y - gLastClick.at.y) <= kDoubleClickDistance;
    if (doubleClick) {
        message = dbl;
        gLastClick.valid = false;  // a third click starts a new pair
    } else {
        gLastClick = LastClick{hwnd, button, time, screen, true};
    }
    PostMessage(hwnd, message, mk | flag, at);
}

void OnNativeMotion(Hwnd hwnd, int32_t x, int32_t y, uint32_t mk) {
    if (!IsWindow(hwnd)) return;
    Point screen{x, y};
    ClientToScreen(hwnd, &screen);
    SetLastPointerPosition(screen);
    if (!AcceptsInput(hwnd)) return;
    if (GetCapture() == nullptr) {
        PostMessage(hwnd, kWmSetCursor, reinterpret_cast<WParam>(hwnd),
                    MakeLParam(static_cast<int32_t>(kHtClient), static_cast<int32_t>(kWmMouseMove)));
    }
    PostMessage(hwnd, kWmMouseMove, mk, MakeLParam(x, y));
}

void OnNativeGrabLost() {
    Hwnd capture = GetCapture();
    if (capture == nullptr) return;
    ForgetCapture();
    PostMessage(capture, kWmCancelMode, 0, 0);
}

void OnNativeDisplayChange(int32_t width, int32_t height) {
    PostToTopLevels(kWmDisplayChange, 24, MakeLParam(width, height));
}

void ResetClickStateForTest() { gLastClick = LastClick{}; }

}  // namespace orva::platform
