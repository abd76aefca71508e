// Keys: the translation of key messages into key codes and characters, and the chain of
// consumers a key-down and a key-up are offered to.
#include <GL/gl.h>

#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/x11_keys.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"
#include "toolkit/element_bits.h"

namespace orva {

namespace {

constexpr uint32_t kStylePressedByKey = 0x10000000;

void ClearKeyRouting() {
    gKeyTarget() = nullptr;
    gKeyPressWidget = nullptr;
    gKeyDownEvent = gKeyEvent{};
    gKeyUpEvent = gKeyUpRecord{};
}

void ClearPendingStatus(gWindow* window) {
    if (window != nullptr && window->statusPending != 0) {
        window->statusPending = 0;
        if (window->statusClear != nullptr) window->statusClear();
    }
}

// A window's key-down handler, with the window marked busy while it runs. True when it
// took the key.
bool CallWindowKeyHandler(gWindow* handlerWindow, gWindow* gate, gWindow* arrived) {
    if (handlerWindow == nullptr || handlerWindow->keyDownHandler == nullptr) return false;
    if ((gate->state & kNoKeysMask) != 0) return false;
    handlerWindow->state |= kStateInHandler;
    bool taken = handlerWindow->keyDownHandler(handlerWindow, arrived, &gKeyDownEvent);
    bool alive = gWinAfterHandler(handlerWindow);
    if (taken && alive) {
        gWinMakeCurrent(handlerWindow);
        gKeyTarget() = handlerWindow;
    }
    return taken;
}

bool InWindowOrChild(const gElement* widget, const gWindow* window) {
    return widget != nullptr && widget->window != nullptr &&
           (widget->window == window || widget->window->parent == window);
}

bool Usable(const gElement* widget) { return widget->enabled && widget->shown && !widget->dead; }

gWindow* ToolkitWindowUnderPointer() {
    pf::Point p;
    if (!pf::GetCursorPos(&p)) return nullptr;
    pf::Hwnd under = pf::WindowFromPoint(p);
    return under == nullptr ? nullptr : gWinFromHwndAny(under);
}

}  // namespace

gKeyCode gKeySpecialCode(uint32_t vk) {
    if (vk >= pf::kVkF1 && vk < pf::kVkF1 + 12) return (vk - pf::kVkF1 + 1) * 0x100u;
    if (vk >= pf::kVkNumpad0 && vk <= pf::kVkNumpad0 + 9) return kKeyPad0 + (vk - pf::kVkNumpad0) * 0x100u;
    switch (vk) {
        case pf::kVkBack: return kKeyBackspace;
        case pf::kVkTab: return kKeyTab;
        case pf::kVkPrior: return kKeyPageUp;
        case pf::kVkNext: return kKeyPageDown;
        case pf::kVkHome: return kKeyHome;
        case pf::kVkEnd: return kKeyEnd;
        case pf::kVkLeft: return kKeyLeft;
        case pf::kVkUp: return kKeyUp;
        case pf::kVkRight: return kKeyRight;
        case pf::kVkDown: return kKeyDown;
        case pf::kVkInsert: return kKeyInsert;
        case pf::kVkDelete: return kKeyDelete;
        case pf::kVkEscape: return kKeyEscape;
        case pf::kVkPause: return kKeyPause;
        case pf::kVkReturn: return kKeyEnter;
        case pf::kVkMultiply: return kKeyPadMultiply;
        case pf::kVkAdd: return kKeyPadAdd;
        case pf::kVkSeparator: return kKeyPadSeparator;
        case pf::kVkSubtract: return kKeyPadSubtract;
        case pf::kVkDivide: return kKeyPadDivide;
        default: return 0;
    }
}

bool gKeyIsPrintable(uint32_t vk) {
    return vk == pf::kVkSpace || (vk >= 48 && vk <= 90) || (vk >= 186 && vk <= 192) || (vk >= 219 && vk <= 222);
}

uint32_t gKeyModifiersLR(pf::LParam keyData) { return pf::KeyDataModifiers(keyData) << 16; }

uint32_t gKeyModifiersNow() { return pf::KeyModifierState() << 16; }

namespace {
// The character of a key message: the layer's character, else 127 for Delete.
uint32_t CharacterOf(uint32_t vk, pf::LParam keyData, bool* produced) {
    int character = pf::KeyDataChar(keyData);
    *produced = character > 0;
    if (character > 0) return static_cast<uint32_t>(character);
    return vk == pf::kVkDelete ? 127u : 0u;
}
}  // namespace

int gKeyToChar(gKeyEvent* event, uint32_t vk, pf::LParam keyData) {
    gKeyCode code = gKeySpecialCode(vk) | gKeyModifiersLR(keyData);
    if (gKeyIsPrintable(vk)) code |= vk;
    if (code == 0) {
        event->code = 0;
        event->character = 0;
        return 0;
    }
    if ((keyData & pf::kKeyDataExtended) != 0) code |= kKeyExtended;
    event->code = code;
    event->repeat = (keyData & pf::kKeyDataWasDown) != 0 ? static_cast<uint32_t>(keyData & 0xFFFF) : 0;
    bool produced = false;
    event->character = CharacterOf(vk, keyData, &produced);
    return 1;
}

int gKeyUpToChar(gKeyUpRecord* event, uint32_t vk, pf::LParam keyData) {
    gKeyCode code = gKeySpecialCode(vk);
    if (gKeyIsPrintable(vk)) code |= vk;
    uint32_t held = gKeyModifiersLR(keyData);
    if (vk == pf::kVkShift) code |= kKeyShift & ~held;
    if (vk == pf::kVkControl) code |= kKeyCtrl & ~held;
    if (vk == pf::kVkMenu) code |= kKeyAlt & ~held;
    if ((keyData & pf::kKeyDataExtended) != 0) code |= kKeyExtended;
    event->code = code;
    bool produced = false;
    event->character = CharacterOf(vk, keyData, &produced);
    return code != 0 ? 1 : 0;
}

int gWidgetKeyCall(gWindow* window, gElement* widget, gWidgetKeyFn handler) {
    if (window == nullptr || widget == nullptr || handler == nullptr) return 0;
    window->state |= kStateInHandler;
    ClearPendingStatus(window);
    int result = handler(widget, &gKeyDownEvent);
    if (!gWinAfterHandler(window, widget)) return -1;
    if (result <= 0) return 0;
    if (result == 2 && gWgtIsLive(widget)) gWgtRedrawAlone(window, widget, true);
    return 1;
}

void gWinOnKeyDown(pf::Hwnd hwnd, pf::WParam wParam, pf::LParam lParam) {
    uint32_t vk = static_cast<uint32_t>(wParam & 0xFF);
    bool newKey = vk != gLastKey;
    gLastKey = vk;
    if ((gKeyToChar(&gKeyDownEvent, vk, lParam) & 0xFF) == 0) return;
    gKeyPressWidget = nullptr;
    gWindow* window = gWinFromHwnd(hwnd);
    if (window == nullptr) return;
    // The close key closes the window and goes nowhere else.
    if (window->closeKey != 0 && window->closeKey == gKeyDownEvent.code) {
        pf::SendMessage(hwnd, pf::kWmClose, 0, 0);
        ClearKeyRouting();
        return;
    }
    // The focused edit field.
    gElement* focus = gFocusWidget;
    if (focus != nullptr && focus->window != nullptr && gWinValidate(focus->window) != nullptr && Usable(focus)) {
        bool taken = false;
        if (gKeyDownEvent.character != 0) {
            taken = gInput().onChar != nullptr && gInput().onChar(focus, &gKeyDownEvent);
            if (taken && gKeyDownEvent.character != 27 && gWgtIsLive(focus)) gKeyPressWidget = focus;
        } else {
            taken = gInput().onKey != nullptr && gInput().onKey(focus, &gKeyDownEvent);
            if (taken && gWgtIsLive(focus)) gKeyPressWidget = focus;
        }
        if (taken) return;
    }
    // The pressed widget's key handler.
    gElement* pressed = gPressedWidget;
    if (pressed != nullptr) {
        if (!InWindowOrChild(pressed, window) || !Usable(pressed)) {
            gPressedWidget = nullptr;
        } else if (gWidgetKeyFn handler = gWgtKeyHandler(pressed)) {
            gWindow* owner = pressed->window;
            if ((owner->state & kBusyMask) == 0) {
                if (!gWinMakeCurrent(owner)) return;
                int result = gWidgetKeyCall(owner, pressed, handler);
                if (result == 1 && gWgtIsLive(pressed)) gKeyPressWidget = pressed;
                if (result != 0) return;
            }
        }
    }
    if (gWinValidate(window) == nullptr) return;
    // The window's own handler.
    if (window->keyDownHandler != nullptr) {
        if (newKey) ClearPendingStatus(window);
        if (CallWindowKeyHandler(window, window, window)) return;
        if (gWinValidate(window) == nullptr) return;
    }
    // Shortcut keys: the window's, then the global ones.
    if (gInput().accelDispatch != nullptr && gInput().accelDispatch(window, &gKeyDownEvent)) return;
    if (gWinValidate(window) == nullptr) return;
    // The toolkit window under the pointer, then the parent (or owner).
    gWindow* under = ToolkitWindowUnderPointer();
    if (under != nullptr && under != window && under->keyDownHandler != nullptr) {
        if (CallWindowKeyHandler(under, window, window)) return;
        if (gWinValidate(window) == nullptr) return;
    }
    gWindow* up = window->parent != nullptr ? window->parent : window->owner;
    if (up != nullptr && gWinValidate(up) != nullptr && up->keyDownHandler != nullptr) {
        CallWindowKeyHandler(up, window, window);
    }
}

void gWinOnKeyUp(pf::Hwnd hwnd, pf::WParam wParam, pf::LParam lParam) {
    uint32_t vk = static_cast<uint32_t>(wParam & 0xFF);
    gWindow* self = gWinFromHwnd(hwnd);
    gWindow* target = gWinValidate(gKeyTarget());
    if (target == nullptr || target->keyUpHandler == nullptr) {
        target = ToolkitWindowUnderPointer();
        if (target == nullptr) target = self;
    }
    if (target == nullptr) return;
    gKeyUpToChar(&gKeyUpEvent, vk, lParam);
    gKeyEvent& down = gKeyDownEvent;
    down.code = (down.code & 0xFFFF) | gKeyModifiersLR(lParam);
    if ((lParam & pf::kKeyDataExtended) != 0) down.code |= kKeyExtended;
    if (down.character == gKeyUpEvent.character) {
        down.character = 0;
        down.code &= ~kKeyPrintableMask;
    }
    if ((down.code & kKeySpecialMask) == (gKeyUpEvent.code & kKeySpecialMask)) down.code &= ~kKeySpecialMask;
    gKeyTarget() = down.code != 0 ? target : nullptr;
    if (gKeyUpEvent.code == 0) return;
    // The widget the key pressed.
    gElement* widget = gKeyPressWidget;
    if (widget != nullptr && gWgtIsLive(widget)) {
        gWidgetKeyFn handler = gWgtKeyHandler(widget);
        gWindow* owner = widget->window;
        if (handler != nullptr && owner != nullptr && (owner == target || owner == target->parent)) {
            if ((owner->state & kBusyMask) != 0 || !gWinMakeCurrent(owner)) {
                gKeyPressWidget = nullptr;
                return;
            }
            if (gWidgetKeyCall(owner, widget, handler) != 0) {
                gKeyPressWidget = nullptr;
                return;
            }
            if (gWinValidate(target) == nullptr) return;
        }
    }
    // The target's key-up handler.
    if (target->keyUpHandler != nullptr && (target->state & kNoKeysMask) == 0) {
        target->state |= kStateInHandler;
        bool taken = target->keyUpHandler(target, &gKeyUpEvent);
        if (!gWinAfterHandler(target) || taken) return;
    }
    widget = gKeyPressWidget;
    gKeyPressWidget = nullptr;
    if (widget == nullptr || !gWgtIsLive(widget) || gMouseButtonState() != 0 || gFocusWidget != nullptr) return;
    if (self != nullptr && target->hwnd != hwnd) target = self;
    // A widget pressed by a key is released by its key-up.
    if (widget->value == 0 || !widget->enabled || (widget->style & kStylePressedByKey) == 0) return;
    gWindow* owner = widget->window;
    if (owner == nullptr || gWinValidate(owner) == nullptr) return;
    widget->value = 0;
    bool pressRan = false;
    if ((widget->style & kStyleInert) == 0) {
        bool agree = true;
        if (widget->onPress != nullptr) {
            pressRan = true;
            owner->state |= kStateInHandler;
            agree = widget->onPress(widget, widget->handlerData);
            if (!gWinAfterHandler(owner, widget)) return;
        }
        if (agree && widget->onClick != nullptr && gWgtIsLive(widget)) {
            owner->state |= kStateInHandler;
            widget->onClick(widget, widget->handlerData);
            if (!gWinAfterHandler(owner, widget)) return;
        }
        if (!gWgtIsLive(widget)) return;
    }
    gWinSetCursor(owner, owner->cursor != nullptr ? owner->cursor : owner->defaultCursor);
    if (!pressRan && (!gWinCanDraw(owner) || !gWinMakeCurrent(owner))) return;
    if (!gWinCanDraw(owner) || !gWinMakeCurrent(owner)) return;
    gWgtRedrawAlone(owner, widget, true);
    if (pressRan && gInput().flushDirty != nullptr) gInput().flushDirty(owner);
    if (target != owner && gWinCanDraw(target)) gWinMakeCurrent(target);
}

}  // namespace orva
