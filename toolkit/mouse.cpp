// The pointer: picking in selection mode, presses, releases, moves, drags, double-clicks
// and the cancellation of a press.
#include <GL/gl.h>

#include <cmath>

#include "platform/clock.h"
#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/menu.h"
#include "toolkit/painters.h"
#include "toolkit/widget.h"
#include "toolkit/element_bits.h"

namespace orva {

namespace {

constexpr uint32_t kDragX = 0x1, kDragY = 0x2, kDragAtCursor = 0x8, kDragCentreX = 0x10, kDragCentreY = 0x20;
constexpr uint32_t kDragInside = 0x40, kDragKept = 0x20000, kDragTracks = 0x10000;
constexpr uint32_t kDragCaptureMask = 0x23F;
constexpr uint32_t kStyleClickAtRelease = 0x10000000;
constexpr uint32_t kStyleNoRepress = 0x800000;
constexpr uint32_t kStyleMirrorX = 0x10000;  // right corners: x runs leftwards
constexpr uint32_t kStyleMirrorY = 0x80000;  // bottom corners: y runs upwards
constexpr uint32_t kStyleTitleToggles = 0x10000;  // a double-click on the top strip maximises

GLuint gPickBuffer[200];

bool Pickable(const gElement* e) { return !e->dead && e->shown && e->enabled; }

// The corner projection multiplied onto the current matrix.
void MultiplyCorner(const gWindow* window, uint32_t style) {
    if ((style & kWsSlotBits) == 0) return;
    double w = window->clientWidth, h = window->clientHeight;
    bool right = (style & 0x4000) == 0, bottom = (style & 0x80000) != 0;
    glOrtho(right ? w : 0, right ? 0 : w, bottom ? 0 : h, bottom ? h : 0, -1, 1);
}

void ReadCursor(pf::Hwnd hwnd) {
    pf::Point p;
    pf::GetCursorPos(&p);
    gCursorScreenPos = p;
    pf::ScreenToClient(hwnd, &p);
    gCursorPos = p;
}

// The pointer where a mouse message put it. The pointer's position now may lie further
// on: a move or release handled late would otherwise act at a later point (a shape
// placed by a quick drag would grow or shrink by the difference).
void ReadCursorAt(pf::Hwnd hwnd, pf::LParam lParam) {
    pf::Point screen{pf::GetXLParam(lParam), pf::GetYLParam(lParam)};
    if (!pf::ClientToScreen(hwnd, &screen)) {
        ReadCursor(hwnd);
        return;
    }
    gCursorScreenPos = screen;
    pf::ScreenToClient(hwnd, &screen);
    gCursorPos = screen;
}

// Reads the pointer for a move message: gDragStep takes the movement since the last
// position; false for a move that repeats the last one. Otherwise the screen and client
// positions are stored.
bool ReadMove(pf::Hwnd hwnd, pf::LParam lParam) {
    pf::Point screen{pf::GetXLParam(lParam), pf::GetYLParam(lParam)};
    if (!pf::ClientToScreen(hwnd, &screen) && !pf::GetCursorPos(&screen)) return false;
    gDragStep = pf::Point{screen.x - gCursorScreenPos.x, screen.y - gCursorScreenPos.y};
    // A move to where the last one was is a repeat and is dropped. The pointer's place
    // alone does not tell: the hover poll may have read it there before this message,
    // and a menu row the pointer came to rest on would then never be entered.
    const bool repeat = screen.x == gLastMoveScreenPos.x && screen.y == gLastMoveScreenPos.y;
    gLastMoveScreenPos = screen;
    if (gDragStep.x == 0 && gDragStep.y == 0 && repeat) return false;
    gCursorScreenPos = screen;
    pf::Point client = screen;
    pf::ScreenToClient(hwnd, &client);
    gCursorPos = client;
    return true;
}

void ApplyCursor(gWindow* window, pf::Cursor cursor) {
    if (window == nullptr) return;
    if (cursor == nullptr) cursor = window->defaultCursor;
    if (cursor != window->cursor) {
        window->cursor = cursor;
        if (cursor != nullptr) pf::SetCursor(cursor);
    }
}

bool MenuOpen() { return gHooks().menuOpen != nullptr && gHooks().menuOpen(); }
void MenuEnd(bool choose) {
    if (MenuOpen() && gHooks().menuEnd != nullptr) gHooks().menuEnd(nullptr, choose, false);
}

// Redraws a widget in its own window (alone, or the window painted) and swaps; the
// current window's context comes back afterwards.
void RedrawIn(gElement* widget, gWindow* current) {
    gWindow* owner = widget->window;
    if (owner == nullptr || !gWinCanDraw(owner) || !gWinMakeCurrent(owner)) return;
    gWgtRedrawAlone(owner, widget, true);
    if (current != nullptr && current != owner && gWinCanDraw(current)) gWinMakeCurrent(current);
}

// The press without the edit fields' and repeat logic: latch the value and grab.
int DefaultPress(gWindow* window, gElement* widget, int clicks) {
    (void)clicks;
    if ((widget->style & kStyleInert) == 0) {
        if ((widget->style & kStyleToggle) != 0) {
            widget->value = widget->value != 0 ? 0 : 1;
        } else {
            widget->value = 1;
        }
        if ((widget->style & kStyleClickAtPress) != 0 && (widget->style & kStyleClickAtRelease) == 0 &&
            widget->onClick != nullptr) {
            window->state |= kStateInHandler;
            widget->onClick(widget, widget->handlerData);
            if (!gWinAfterHandler(window, widget)) return -1;
        }
    }
    if (widget->dragFlags != 0) gWgtGrab(widget);
    if (gWgtIsLive(widget)) RedrawIn(widget, window);
    return 0;
}

}  // namespace

// ---- Picking ----------------------------------------------------------------------------------

gElement* gPick(gWindow* window, int32_t x, int32_t y) {
    if (window == nullptr || window->widgets.head == nullptr) return nullptr;
    GLint viewport[4] = {0, 0, window->clientWidth, window->clientHeight};
    float w = static_cast<float>(viewport[2]), h = static_cast<float>(viewport[3]);
    glSelectBuffer(200, gPickBuffer);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glRenderMode(GL_SELECT);
    glLoadIdentity();
    // A 4 x 4 pixel region around the point (y measured from the top).
    glTranslatef((w - 2.0f * static_cast<float>(x)) / 4.0f, (2.0f * static_cast<float>(y) - h) / 4.0f, 0.0f);
    glScalef(w / 4.0f, h / 4.0f, 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glInitNames();
    glPushName(0);
    gSetPicking(true);
    for (gElement* e = window->widgets.head; e != nullptr; e = e->next) {
        if (!Pickable(e)) continue;
        if (!e->active && e->nextChild == nullptr) continue;
        if (e->state6 != 0) continue;  // the pick-skip byte
        if (e->active) glLoadName(e->serial);
        glLoadIdentity();
        MultiplyCorner(window, e->style);
        if (e->paint != nullptr) e->paint(e);
        for (gElement* c = e->nextChild; c != nullptr; c = c->nextChild) {
            if (!Pickable(c) || !c->active || c->state6 != 0) continue;
            glLoadName(c->serial);
            if (c->paint != nullptr) c->paint(c);
        }
        glLoadIdentity();
    }
    gSetPicking(false);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    GLint hits = glRenderMode(GL_RENDER);
    if (hits < 1 || gPickBuffer[0] < 1) return nullptr;
    GLuint name = gPickBuffer[3];
    for (gElement* e = window->widgets.head; e != nullptr; e = e->next) {
        if (e->serial == name && Pickable(e) && e->active) return e;
        for (gElement* c = e->nextChild; c != nullptr; c = c->nextChild) {
            if (c->serial == name && Pickable(c) && c->active) return c;
        }
    }
    return nullptr;
}

// ---- Drags -------------------------------------------------------------------------------------

void gWgtGrab(gElement* widget) {
    if (widget == nullptr) return;
    if ((widget->dragFlags & kDragAtCursor) == 0) {
        gDragGrab[0] = static_cast<float>(gCursorPos.x) - widget->homeX;
        gDragGrab[1] = static_cast<float>(gCursorPos.y) - widget->homeY;
    }
    widget->x = widget->homeX;
    widget->y = widget->homeY;
}

void gWgtDragPos(gElement* widget, float out[2]) {
    if (widget == nullptr) return;
    const gWindow* window = widget->window;
    float size[2] = {widget->width, widget->height};
    float client[2] = {window != nullptr ? static_cast<float>(window->clientWidth) : 0.0f,
                       window != nullptr ? static_cast<float>(window->clientHeight) : 0.0f};
    float cursor[2] = {static_cast<float>(gCursorPos.x), static_cast<float>(gCursorPos.y)};
    float drawn[2] = {widget->x, widget->y};
    const uint32_t axisFlag[2] = {kDragX, kDragY}, centre[2] = {kDragCentreX, kDragCentreY};
    const uint32_t mirror[2] = {kStyleMirrorX, kStyleMirrorY};
    float result[2] = {out != nullptr ? out[0] : gDragPos[0], out != nullptr ? out[1] : gDragPos[1]};
    for (int i = 0; i < 2; ++i) {
        if ((widget->dragFlags & axisFlag[i]) == 0) continue;
        bool mirrored = (widget->style & mirror[i]) != 0;
        float v;
        if ((widget->dragFlags & kDragAtCursor) == 0) {
            v = cursor[i] - gDragGrab[i];
            if (mirrored) v = 2.0f * drawn[i] - v;
        } else {
            v = mirrored ? client[i] - cursor[i] : cursor[i];
            if ((widget->dragFlags & centre[i]) != 0) v -= size[i] / 2.0f;
        }
        if ((widget->dragFlags & kDragInside) != 0) {
            if (v < 0) v = 0;
            if (v > client[i] - size[i]) v = client[i] - size[i];
        }
        result[i] = v;
    }
    gDragPos[0] = result[0];
    gDragPos[1] = result[1];
    if (out != nullptr) {
        out[0] = result[0];
        out[1] = result[1];
    }
}

bool gWinOnDrag(gWindow* window, gElement* widget) {
    if (window == nullptr || widget == nullptr) return false;
    float pos[2] = {widget->x, widget->y};
    gWgtDragPos(widget, pos);
    bool moved = false;
    if ((widget->dragFlags & kDragX) != 0 && (widget->dragFlags & 0x1000) == 0) {
        widget->x = pos[0];
        moved = true;
    }
    if ((widget->dragFlags & kDragY) != 0 && (widget->dragFlags & 0x2000) == 0) {
        widget->y = pos[1];
        moved = true;
    }
    if (!moved || !gWinMakeCurrent(window)) return moved;
    if (widget->onMoved != nullptr) {
        widget->onMoved(widget);
    } else {
        gWinPaint(window);
        gWinSwapPainted(window);
    }
    return true;
}

void gWgtRepick(gWindow* window, gElement* pressed) {
    if (window == nullptr || window->hwnd == nullptr) return;
    gDragStep = pf::Point{};
    ReadCursor(window->hwnd);
    gElement* found = gPick(window, gCursorPos.x, gCursorPos.y);
    if (found == nullptr || found == pressed) return;
    if (pressed != nullptr) pressed->highlight = 0;
    found->highlight = 1;
    gHotWidget = found;
    if (found->onHover != nullptr) found->onHover(found, &gCursorPos);
    if (found->cursor != nullptr) ApplyCursor(window, found->cursor);
    if (found->dragFlags != 0) gWgtGrab(found);
}

// ---- Release and cancel ----------------------------------------------------------------------

int gWinOnMouse(pf::Hwnd hwnd, pf::LParam lParam) {
    if (pf::GetCapture() == hwnd) pf::ReleaseCapture();
    gRepeatWidget = nullptr;
    gWindow* window = gWinFromHwnd(hwnd);
    auto dropDrag = [] {
        if (gDragWidget != nullptr && (gDragWidget->dragFlags & kDragKept) == 0) gDragWidget = nullptr;
    };
    if (window == nullptr) {
        dropDrag();
        return 1;
    }
    gElement* released = gPressedWidget;
    if (released == nullptr || !gWgtIsLive(released)) return 0;
    dropDrag();
    gWindow* owner = released->window;
    if (owner != nullptr && owner != window) ApplyCursor(owner, owner->defaultCursor);
    if (!gWinMakeCurrent(window)) {
        ApplyCursor(window, window->defaultCursor);
        if ((released->style & kStyleToggle) == 0) released->value = 0;
        released->x = released->homeX;
        released->y = released->homeY;
        return 1;
    }
    gElement* picked = gPick(window, pf::GetXLParam(lParam), pf::GetYLParam(lParam));
    gHotWidget = picked;
    bool wholeReleased = false, wholePicked = false;
    if ((released->style & kStyleToggle) == 0 && released->value != 0) released->value = 0;
    bool clicked = false, cursorRead = false;
    if ((picked == released || released->dragFlags != 0) && (released->style & kStyleClickAtRelease) != 0 &&
        (released->style & kStyleInert) == 0 && (released->onPress != nullptr || released->onClick != nullptr)) {
        ReadCursorAt(hwnd, lParam);
        cursorRead = true;
        bool agree = released->onPress == nullptr || released->onPress(released, released->handlerData);
        if (!gWgtIsLive(released)) return 0;
        if (agree && released->onClick != nullptr && owner != nullptr) {
            owner->state |= kStateInHandler;
            released->onClick(released, released->handlerData);
            clicked = true;
            if (!gWinAfterHandler(owner, released)) return 0;
            if (!gWgtIsLive(released)) return 0;
            if (picked != nullptr && !gWgtIsLive(picked)) picked = nullptr;
        }
    }
    if (gPressedWidget == released) gPressedWidget = nullptr;
    pf::Cursor show = window->defaultCursor;
    if (picked != nullptr && picked->state0 != 0) {
        show = picked->cursor;
        if (picked->onHover != nullptr) {
            if (!cursorRead) ReadCursorAt(hwnd, lParam);
            picked->onHover(picked, &gCursorPos);
        }
    }
    ApplyCursor(window, show);
    released->x = released->homeX;
    released->y = released->homeY;
    if (picked == nullptr) {
        released->highlight = 0;
    } else if (picked == released) {
        released->highlight = 1;
    } else {
        released->highlight = 0;
        if ((released->style & kStyleClickAtPress) == 0 && released->value != 0) released->value = 0;
        wholeReleased = released->partial == 0;
        if (!picked->highlight) {
            picked->highlight = 1;
            wholePicked = picked->partial == 0;
        }
    }
    gWindow* touched[2] = {picked != nullptr ? picked->window : nullptr, released->window};
    if (touched[1] == touched[0]) touched[1] = nullptr;
    for (int i = 0; i < 2; ++i) {
        gWindow* w = touched[i];
        if (w == nullptr || (w->state & kNotDrawnMask) != 0 || !gWinMakeCurrent(w)) continue;
        bool whole = w->dirty == 7 || (clicked && w->dirty != 0) || !gWinSwapCopies(w) ||
                     (w == released->window && wholeReleased) || (picked && w == picked->window && wholePicked);
        if (whole) {
            gWinPaint(w);
            if (w->pendingUpdate != nullptr) *w->pendingUpdate = 0;
            gWinSwapPainted(w);
        } else {
            if (picked != nullptr && picked->window == w) gWgtPaintOne(picked);
            if (released->window == w && released != picked) gWgtPaintOne(released);
            pf::SwapBuffers(w->hdc);
        }
    }
    if (window != gWinCurrent()) gWinMakeCurrent(window);
    return 0;
}

void gWinCancelPress(pf::Hwnd hwnd) {
    if (hwnd != nullptr && pf::GetCapture() == hwnd) pf::ReleaseCapture();
    gKeyTarget() = nullptr;
    gKeyPressWidget = nullptr;
    gKeyDownEvent = gKeyEvent{};
    gKeyUpEvent = gKeyUpRecord{};
    gElement* candidate = gPressedWidget;
    uint32_t remembered = 0;
    for (gElement** global : {&gRepeatWidget, &gDragWidget}) {
        gElement* e = *global;
        if (e != nullptr && (e->style & kStyleToggle) == 0) {
            if (e == candidate) remembered = e->value;
            e->value = 0;
        }
        *global = nullptr;
    }
    MenuEnd(false);
    gWindow* window = hwnd != nullptr ? gWinFromHwnd(hwnd) : nullptr;
    if (window == nullptr) return;
    if (gFocusWidget != nullptr && gFocusWidget->window != window &&
        (gFocusWidget->window == nullptr || gFocusWidget->window->parent != window)) {
        gElement* field = gFocusWidget;
        gWgtLeaveFocus(nullptr, window);
        if (candidate == field) return;
    }
    if (candidate == nullptr || !gWgtIsLive(candidate)) return;
    gPressedWidget = nullptr;
    if (candidate->value == 0 && remembered == 0) return;
    if ((candidate->style & kStyleToggle) == 0) candidate->value = 0;
    if ((candidate->style & kStyleClickAtRelease) == 0 || (candidate->style & kStyleInert) != 0) return;
    bool agree = candidate->onPress == nullptr || candidate->onPress(candidate, candidate->handlerData);
    if (!agree || candidate->onClick == nullptr || !gWgtIsLive(candidate)) return;
    gWindow* owner = candidate->window;
    if (owner == nullptr) return;
    owner->state |= kStateInHandler;
    candidate->onClick(candidate, candidate->handlerData);
    if (!gWinAfterHandler(owner, candidate) || !gWgtIsLive(candidate)) return;
    if (gWinCanDraw(owner)) gWgtRedrawAlone(owner, candidate, true);
}

// ---- Press ---------------------------------------------------------------------------------------

int gWinOnButtonDown(pf::Hwnd hwnd, pf::LParam lParam) {
    // The press acts where the button went down: the pointer may have moved on by the
    // time the message is handled (a quick drag), and a shape placed or a handle grabbed
    // at the later point would land off by that travel.
    pf::Point screen{pf::GetXLParam(lParam), pf::GetYLParam(lParam)};
    if (!pf::ClientToScreen(hwnd, &screen)) pf::GetCursorPos(&screen);
    pf::Hwnd under = pf::WindowFromPoint(screen);
    if (under != hwnd && pf::GetCapture() == hwnd) pf::ReleaseCapture();
    gCursorScreenPos = screen;
    pf::Point client = screen;
    pf::ScreenToClient(under != nullptr ? under : hwnd, &client);
    gCursorPos = client;
    // A press is no movement. The message may come to another window than the one under
    // the pointer (one that still holds the capture after a menu): the difference of the two
    // windows' origins is no step, and a widget dragged from its press (a shape) would jump
    // by it.
    gDragStep = pf::Point{};
    // Without a window under the pointer (a grab, a test) the message's own point counts.
    gWindow* target = under == hwnd || under == nullptr ? gWinFromHwnd(hwnd) : gWinFromHwndAny(under);
    if (under == nullptr) {
        gCursorPos = pf::Point{pf::GetXLParam(lParam), pf::GetYLParam(lParam)};
    }
    if (target == nullptr || (target->state & kNotDrawnMask) != 0 || !gWinMakeCurrent(target)) {
        MenuEnd(false);
        return 1;
    }
    gClickHookFn clickHook = gMainHook();
    if (MenuOpen() && gHooks().menuOwnsWindow != nullptr && gHooks().menuOwnsWindow(target->hwnd)) {
        if (clickHook != nullptr) clickHook(target, nullptr);
        return 1;
    }
    gElement* picked = gPick(target, gCursorPos.x, gCursorPos.y);
    if (clickHook != nullptr) {
        clickHook(target, picked);
        if (gWinValidate(target) == nullptr) return 0;
        if (picked != nullptr && !gWgtIsLive(picked)) picked = nullptr;
    }
    // A kept drag ends with the next press.
    if (gDragWidget != nullptr && (gDragWidget->dragFlags & kDragKept) != 0) {
        gElement* old = gDragWidget;
        if (pf::GetCapture() != hwnd) pf::ReleaseCapture();
        if (old != picked) {
            old->highlight = 0;
            gPressedWidget = nullptr;
        }
        gDragWidget = nullptr;
        gHotWidget = picked;
        // A kept drag of a widget that is no longer pressed (a menu bar whose direct
        // command ran at the press) only ends here: the new press goes on as any press.
        const bool wasPressed = old->value != 0;
        if (old->value != 0) {
            old->value = 0;
            gWindow* owner = old->window;
            if (old == picked && old->onClick != nullptr && owner != nullptr) {
                owner->state |= kStateInHandler;
                old->onClick(old, old->handlerData);
                if (!gWinAfterHandler(owner, old)) return 1;
            } else if (owner == nullptr || (owner->state & kBusyMask) != 0 || !gWinMakeCurrent(owner)) {
                return 1;
            } else {
                gWgtRedrawAlone(owner, old, false);
                if (owner != target) gWinMakeCurrent(target);
            }
        }
        MenuEnd(false);
        if (picked == nullptr || (picked == old && wasPressed) || (picked->style & kStyleNoRepress) != 0) return 0;
    } else if (picked == nullptr) {
        // A free spot.
        MenuEnd(false);
        if (gFocusWidget != nullptr) {
            gElement* field = gFocusWidget;
            gFocusWidget = nullptr;
            bool redraw = gInput().editEnd != nullptr && gInput().editEnd(field);
            gWindow* fieldWindow = gWgtIsLive(field) ? field->window : nullptr;
            if (redraw && fieldWindow != nullptr && (fieldWindow->state & kNotDrawnMask) == 0 &&
                gWinMakeCurrent(fieldWindow)) {
                gWgtRedrawAlone(fieldWindow, field, false);
                if (fieldWindow != target) gWinMakeCurrent(target);
            } else if (!redraw && fieldWindow == target) {
                return 0;
            }
        }
        if (gPressedWidget != nullptr) {
            gElement* pressed = gPressedWidget;
            if (pressed->onHover != nullptr) pressed->onHover(pressed, &gCursorPos);
            ApplyCursor(target, target->defaultCursor);
            gPressedWidget = nullptr;
        }
        if ((target->state & kStateSizable) != 0) {
            if (under != nullptr && pf::GetCapture() == under) pf::ReleaseCapture();
            gMouseButtonState() = 0;
            pf::SendMessage(under != nullptr ? under : hwnd, 0x00A1 /* WM_NCLBUTTONDOWN */, 2, 0);
            return 0;
        }
        return 1;
    }
    // A press on a widget.
    if (!picked->enabled) return 0;
    gPressedWidget = picked;
    if (picked->dragFlags != 0) gDragWidget = picked;
    gHotWidget = picked;
    if (picked->kind != 90) MenuEnd(false);
    if (picked->onHover != nullptr) picked->onHover(picked, &gCursorPos);
    ApplyCursor(target, picked->cursor);
    if (gDoubleClickStored) {
        if (gWinOnTripleClick(target, picked)) return 0;
    }
    int pressed = gInput().press != nullptr ? gInput().press(target, picked, 1) : DefaultPress(target, picked, 1);
    if (pressed == -1 || !gWgtIsLive(picked)) return 0;
    if (picked->dragFlags != 0) {
        gDragWidget = picked;
        if (picked->onHover != nullptr) picked->onHover(picked, &gCursorPos);
        ApplyCursor(target, picked->cursor);
        if ((picked->dragFlags & kDragKept) == 0 && (picked->dragFlags & kDragCaptureMask) != 0) {
            pf::Hwnd grab = under != nullptr ? under : hwnd;
            if (pf::GetCapture() != grab) pf::SetCapture(grab);
        }
    }
    return 0;
}

bool gIsTripleClickTime(uint64_t doubleClickMs, uint64_t nowMs) {
    return nowMs >= doubleClickMs && nowMs - doubleClickMs < 900;
}

bool gWinOnTripleClick(gWindow* window, gElement* widget) {
    bool editing = gInput().isEditing != nullptr && gInput().isEditing(widget);
    uint64_t now = static_cast<uint64_t>(pf::MessageTime());
    bool triple = editing && gIsTripleClickTime(gDoubleClickMs, now);
    gDoubleClickStored = false;
    if (!triple) return false;
    if (gInput().selectAll != nullptr) gInput().selectAll(widget);
    if (gWgtIsLive(widget) && gWinCanDraw(window)) gWgtRedrawAlone(window, widget, true);
    if (widget->dragFlags != 0) {
        gDragWidget = widget;
        if (widget->onHover != nullptr) widget->onHover(widget, &gCursorPos);
        ApplyCursor(window, widget->cursor);
        if ((widget->dragFlags & kDragKept) == 0 && pf::GetCapture() != window->hwnd) pf::SetCapture(window->hwnd);
    }
    return true;
}

// ---- Move ------------------------------------------------------------------------------------------

pf::LResult gWinOnMouseMove(pf::Hwnd hwnd, pf::WParam wParam, pf::LParam lParam, bool* passOn) {
    (void)wParam;
    if (passOn != nullptr) *passOn = true;
    gWindow* window = gWinFromHwnd(hwnd);
    if (window == nullptr) return 0;
    gElement* target = gDragWidget;
    if (target == nullptr && gHotWidget != nullptr && (gHotWidget->dragFlags & kDragTracks) != 0 &&
        (gHotWidget->dragFlags & kDragAtPress) != 0 && gHotWidget->onDrag != nullptr) {
        target = gHotWidget;
    }
    if (target == nullptr && gMouseButtonState() != 0) target = gFocusWidget;
    if (target != nullptr && target->window == window) {
        if (!ReadMove(hwnd, lParam)) return 0;
        if (passOn != nullptr) *passOn = false;
        if (target->dragFlags != 0) {
            if ((target->dragFlags & kDragAtPress) != 0 && target->onDrag != nullptr) {
                if (!gWinMakeCurrent(window)) return 0;
                target->onDrag(target, &gCursorPos);
            } else {
                gWinOnDrag(window, target);
            }
        } else if (MenuOpen()) {
            if (pf::GetCapture() != nullptr) pf::ReleaseCapture();
            gMouseButtonState() = 0;
        } else if (gInput().editDrag != nullptr) {
            gInput().editDrag(window, target);
        }
        return 0;
    }
    // The pointer over an open popup menu (the popup holding the grab gets every move,
    // in its own client coordinates, also beyond its edges) is tracked by the menu.
    if (MenuOpen() && gHooks().menuOwnsWindow != nullptr && gHooks().menuOwnsWindow(hwnd)) {
        if (!ReadMove(hwnd, lParam)) return 0;
        if (gMenuOnMouseMove(window, gCursorPos.x, gCursorPos.y) && gWinValidate(window) != nullptr &&
            (window->state & kBusyMask) == 0 && gWinMakeCurrent(window)) {
            glViewport(0, 0, window->clientWidth, window->clientHeight);
            gWinPaint(window);
            gWinSwapPainted(window);
        }
    }
    return 0;
}

// ---- Double-click -----------------------------------------------------------------------------------

void gWinOnDoubleClickMsg(pf::Hwnd hwnd, uint32_t message, pf::WParam wParam, pf::LParam lParam) {
    (void)wParam;
    gDoubleClickStored = true;
    gDoubleClickMs = pf::MessageTime();
    if (MenuOpen() && gHooks().menuEnd != nullptr) gHooks().menuEnd(nullptr, true, false);
    gWindow* window = gWinFromHwnd(hwnd);
    if (window == nullptr) return;
    if (gPressedWidget == nullptr && gHotWidget == nullptr && gRepeatWidget == nullptr && gFocusWidget == nullptr) {
        if (window->doubleClickHandler != nullptr) {
            window->doubleClickHandler(window);
            return;
        }
        bool embeddedMax = (window->style & kStyleEmbedded) != 0 && (window->state & kStateChildMaximised) != 0;
        if ((window->style & kStyleTitleToggles) != 0 || embeddedMax) {
            gCursorPos = pf::Point{pf::GetXLParam(lParam), pf::GetYLParam(lParam)};
            gDragStep = pf::Point{};
            if (gCursorPos.y < 18) gWinRestorePlacement(window, nullptr, false);
        }
        return;
    }
    if (MenuOpen() && gHooks().menuOwnsWindow != nullptr && gHooks().menuOwnsWindow(hwnd)) return;
    gElement* pressed = gPressedWidget;
    // The first click's release let its widget go; the second click of the pair lands on
    // the widget under it, which is the one the first went down on (a double-click stays
    // within a few pixels), so that widget gets the double press.
    if (pressed == nullptr && gWinMakeCurrent(window)) {
        gElement* picked = gPick(window, pf::GetXLParam(lParam), pf::GetYLParam(lParam));
        if (picked != nullptr && gWgtIsLive(picked) && picked->enabled && (picked->style & kStyleInert) == 0) {
            pressed = gPressedWidget = picked;
            gHotWidget = picked;
        }
    }
    if (pressed == nullptr || pressed->window != window) return;
    gMouseButtonState() = message == pf::kWmLButtonDblClk ? 2 : 6;
    if (gInput().isEditing != nullptr && gInput().isEditing(pressed)) {
        if (gInput().selectWord != nullptr) gInput().selectWord(pressed);
        if (gWgtIsLive(pressed) && gWinCanDraw(window) && gWinMakeCurrent(window)) {
            gWgtRedrawAlone(window, pressed, true);
        }
        return;
    }
    gCursorPos = pf::Point{pf::GetXLParam(lParam), pf::GetYLParam(lParam)};
    gDragStep = pf::Point{};
    if (gInput().press != nullptr) gInput().press(window, pressed, 2);
}

}  // namespace orva
