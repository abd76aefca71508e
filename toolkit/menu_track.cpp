// The menu host and the tracking of an open popup menu: the two popup windows
// (override-redirect X windows holding the pointer grab while tracking), placement on the
// screen's work area, pointer and key tracking, the 200 ms submenu timer, choosing and
// ending, and the default painters. The tracking runs inside whatever loop the UI thread
// is in (main loop or modal loop), so cross-thread sends keep being served meanwhile.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/x11_backend.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/menu.h"
#include "toolkit/widget.h"

namespace orva {

namespace {

constexpr uint32_t kPopupStyle = 0x3E200030u;
constexpr uintptr_t kSubmenuTimerId = 2;
constexpr uint32_t kSubmenuDelayMs = 200;
constexpr char kPopupClass[] = "TK_GW";  // the toolkit's frame class (style bit 0x8000000)

gMenuHost* gHost = nullptr;

// Hooks the menus chain in front of.
void (*gPrevKeyDown)(pf::Hwnd, pf::WParam, pf::LParam) = nullptr;
void (*gPrevTimer)(pf::Hwnd, uintptr_t) = nullptr;

bool IsPopupHwnd(pf::Hwnd hwnd) {
    if (gHost == nullptr || hwnd == nullptr) return false;
    return (gHost->mainWindow != nullptr && gHost->mainWindow->hwnd == hwnd) ||
           (gHost->subWindow != nullptr && gHost->subWindow->hwnd == hwnd);
}

bool Visible(const gWindow* w) { return w != nullptr && w->hwnd != nullptr && pf::IsWindowVisible(w->hwnd); }

void Hide(gWindow* w) {
    if (w != nullptr && w->hwnd != nullptr && gWinValidate(w) != nullptr) gWinShow(w, false);
}

// The window of ours that holds the keyboard grab (null: none).
pf::Hwnd gKeyboardGrab = nullptr;

// While a menu tracks, the window with the capture also holds the keyboard, so that the
// keys reach the menu whichever window had the focus.
void GrabKeyboard(gWindow* w) {
    if (w == nullptr || w->hwnd == nullptr) return;
    gKeyboardGrab = pf::X11GrabKeyboard(w->hwnd) ? w->hwnd : nullptr;
}

void UngrabKeyboard() {
    if (gKeyboardGrab == nullptr) return;
    gKeyboardGrab = nullptr;
    pf::X11UngrabKeyboard();
}

void Capture(gWindow* w) {
    if (w == nullptr || w->hwnd == nullptr) return;
    pf::SetCapture(w->hwnd);
    GrabKeyboard(w);
}

void StopTimer() {
    if (gHost == nullptr) return;
    if (gHost->timerRunning && gHost->mainWindow != nullptr && gHost->mainWindow->hwnd != nullptr) {
        pf::KillTimer(gHost->mainWindow->hwnd, kSubmenuTimerId);
    }
    gHost->timerRunning = false;
}

void RepaintNow(gWindow* w) {
    if (!Visible(w) || !gWinMakeCurrent(w)) return;
    glViewport(0, 0, w->clientWidth, w->clientHeight);
    gWinPaint(w);
    gWinSwapPainted(w);
}

// Shows a popup with its rows: painted at once, and painted again once the server has
// mapped and exposed it (a swap before the map reaches no pixels of the screen).
void ShowPainted(gWindow* w) {
    // The popups are made once: a window raised since (the one a menu command brought
    // forward) would otherwise cover them at their next opening.
    if (w->hwnd != nullptr) pf::BringWindowToTop(w->hwnd);
    gWinShow(w, true);
    RepaintNow(w);
    if (w->hwnd != nullptr) pf::InvalidateRect(w->hwnd);
}

gMenu* Current() {
    if (gHost == nullptr || !gMenuIsMenu(gHost->current)) return nullptr;
    return gHost->current;
}

// The live items of a list (first .. cursor).
template <typename Fn>
void ForLive(gMenuItem* first, gMenuItem* cursor, Fn fn) {
    if (cursor == nullptr) return;
    for (gMenuItem* i = first; i != nullptr; i = i->next) {
        if (!fn(i)) return;
        if (i == cursor) return;
    }
}

int32_t NumberOf(gMenuItem* first, gMenuItem* cursor, const gMenuItem* item) {
    int32_t number = 0, found = 0;
    ForLive(first, cursor, [&](gMenuItem* i) {
        if (i->state != 2) ++number;
        if (i == item) {
            found = i->state != 2 ? number : 0;
            return false;
        }
        return true;
    });
    return found;
}

// The row under a pointer offset within the rows (y from the first row's top).
gMenuItem* RowAt(gMenuItem* first, gMenuItem* cursor, int32_t y) {
    if (y < 0) return nullptr;
    gMenuItem* hit = nullptr;
    ForLive(first, cursor, [&](gMenuItem* i) {
        if (y < i->rowBottom) {
            hit = i;
            return false;
        }
        return true;
    });
    return hit;
}

bool HasChildren(const gMenuItem* item) {
    return item != nullptr && item->check == 2 && item->firstChild != nullptr;
}

// Creates one popup window: a toolkit record whose native window is made here so that
// it is a top-most tool window (override-redirect on X: no frame, never activated).
gWindow* MakePopup(gWindow* owner) {
    gWindow* w = gWinCreateRec(10, 10, 10, 10, owner, nullptr, kPopupStyle);
    if (w == nullptr) return nullptr;
    uint32_t exStyle = 0;
    uint32_t ws = gWinFrameStyle(w, false, &exStyle);
    exStyle |= pf::kWsExToolWindow | pf::kWsExTopmost;
    pf::Hwnd hwnd = pf::CreateWindowEx(exStyle, kPopupClass, nullptr, ws, 10, 10, 10, 10,
                                       owner != nullptr ? owner->hwnd : nullptr, w);
    if (hwnd == nullptr || w->hdc == nullptr) {
        if (hwnd != nullptr) pf::DestroyWindow(hwnd);
        w->hwnd = nullptr;
        gWinRelease(w);
        return nullptr;
    }
    w->hwnd = hwnd;
    gWinRealizeFont(w, nullptr, 1);
    return w;
}

bool PopupClose(gWindow* w, void*) {
    gMenuWinOnClose(w);
    return false;  // the popup windows live as long as the host
}

// ---- Hooks -----------------------------------------------------------------------------------

// State 0: the popups are closed and the owner widget (a pressed menu bar) has the
// keyboard. It lasts while the owner stays pressed; an owner let go of by other means
// (a press elsewhere) ends it here.
bool OwnerHasKeyboard() {
    if (gHost == nullptr || gHost->state != 0) return false;
    gMenu* menu = Current();
    gElement* owner = menu != nullptr ? menu->ownerWidget : nullptr;
    if (owner != nullptr && gWgtIsLive(owner) && owner->value != 0 && gWgtKeyHandler(owner) != nullptr) return true;
    gMenuEnd(nullptr, false, false);
    return false;
}

bool HookMenuOpen() { return gHost != nullptr && (gHost->open != 0 || OwnerHasKeyboard()); }
bool HookOwnsWindow(pf::Hwnd hwnd) { return IsPopupHwnd(hwnd); }
bool HookIsHostWindow(gWindow* w) {
    return gHost != nullptr && w != nullptr && (w == gHost->mainWindow || w == gHost->subWindow);
}

void MenuKeyDown(pf::Hwnd hwnd, pf::WParam wParam, pf::LParam lParam) {
    if (HookMenuOpen()) {
        gKeyEvent event;
        uint32_t vk = static_cast<uint32_t>(wParam & 0xFF);
        if ((gKeyToChar(&event, vk, lParam) & 0xFF) != 0) {
            // The popups never hold the keyboard focus, so their close key (ESC) is
            // handled here, whichever of our windows the key reached. In state 0 it
            // goes to the owner like every other key.
            if ((event.code & ~kKeyExtended) == kKeyEscape && gHost->state != 0) {
                if (gHost->state == 2 && gHost->subWindow != nullptr) {
                    gMenuWinOnClose(gHost->subWindow);
                } else if (gHost->mainWindow != nullptr) {
                    gMenuWinOnClose(gHost->mainWindow);
                }
                return;
            }
            if (gMenuOnKey(event.code) == 1) return;
        }
    }
    if (gPrevKeyDown != nullptr) gPrevKeyDown(hwnd, wParam, lParam);
}

void MenuTimer(pf::Hwnd hwnd, uintptr_t id) {
    if (id == kSubmenuTimerId && gHost != nullptr && gHost->mainWindow != nullptr && hwnd == gHost->mainWindow->hwnd) {
        StopTimer();
        gMenu* menu = Current();
        if (gHost->open && menu != nullptr && HasChildren(menu->hovered)) gMenuOpenSub();
        return;
    }
    if (gPrevTimer != nullptr) gPrevTimer(hwnd, id);
}

void MenuEndHook(pf::Hwnd hwnd, bool choose, bool fromPopup) { gMenuEnd(hwnd, choose, fromPopup); }

// ---- Painting ----------------------------------------------------------------------------------

void Shade(const gWindow* w, int k) {
    const uint8_t* c = w->colours.backShades[k];
    glColor3b(static_cast<GLbyte>(c[0] & 0x7F), static_cast<GLbyte>(c[1] & 0x7F), static_cast<GLbyte>(c[2] & 0x7F));
}

uint32_t ShadeWord(const gWindow* w, int k) {
    const uint8_t* c = w->colours.backShades[k];
    return (c[0] & 0x7Fu) | (c[1] & 0x7Fu) << 8 | (c[2] & 0x7Fu) << 16;
}

void PaintList(gWindow* w, gMenu* menu, gMenuItem* first, gMenuItem* cursor, const gMenuItem* hovered,
               const gFont* font, int32_t listWidth, int32_t listHeight) {
    if (menu->painter != nullptr) {
        menu->painter(w);
        return;
    }
    if (menu->paintHook != nullptr) {
        menu->paintHook(w);
    } else {
        glClearColor(w->colours.background[0], w->colours.background[1], w->colours.background[2], 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (cursor == nullptr || font == nullptr) return;
    const float wp = static_cast<float>(listWidth) + 42.0f;
    const float hp = static_cast<float>(listHeight) + 14.0f;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, w->clientWidth, w->clientHeight, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Shade(w, 0);
    glBegin(GL_LINE_STRIP);
    glVertex2f(wp - 1, 1);
    glVertex2f(0, 1);
    glVertex2f(0, hp);
    glVertex2f(wp - 1, hp);
    glEnd();
    glShadeModel(GL_SMOOTH);
    glBegin(GL_QUADS);
    Shade(w, 5);
    glVertex2f(1, 1);
    Shade(w, 4);
    glVertex2f(1, 7);
    glVertex2f(wp, 7);
    Shade(w, 5);
    glVertex2f(wp, 1);
    Shade(w, 4);
    glVertex2f(1, hp - 7);
    Shade(w, 2);
    glVertex2f(1, hp - 1);
    glVertex2f(wp, hp - 1);
    Shade(w, 4);
    glVertex2f(wp, hp - 7);
    glEnd();
    glBegin(GL_LINES);
    Shade(w, 5);
    glVertex2f(wp - 1, 2);
    Shade(w, 3);
    glVertex2f(wp - 1, hp - 7);
    glEnd();
    glShadeModel(GL_FLAT);
    Shade(w, 10);
    const gFont* own = w->font != nullptr ? w->font : font;
    float y = 5.0f;
    ForLive(first, cursor, [&](gMenuItem* i) {
        if (i->state == 2) {
            glBegin(GL_LINES);
            Shade(w, 1);
            glVertex2f(0, y + 4.0f);
            glVertex2f(wp, y + 4.0f);
            Shade(w, 6);
            glVertex2f(0, y + 5.0f);
            glVertex2f(wp, y + 5.0f);
            glEnd();
            Shade(w, 10);
            y += 5.0f;
            return true;
        }
        if (i == hovered) {
            Shade(w, 1);
            glRectf(6.0f, y + 2.0f, wp - 4.0f, y + menu->rowHeight + 1.0f);
            Shade(w, 10);
        }
        float base = y + menu->textOffset;
        // The shortcut ends 27 pixels before the right edge: 8 pixels after the widest label,
        // 12 before the check mark. A greyed row greys its shortcut with its label.
        const float keyX = wp - 27.0f - i->shortcutWidth;
        if (i->state == 1) {
            gTextDrawEngravedAt(w, font, ShadeWord(w, 5), ShadeWord(w, 2), 19.0f, base, i->label.c_str());
            if (!i->shortcut.empty())
                gTextDrawEngravedAt(w, font, ShadeWord(w, 5), ShadeWord(w, 2), keyX, base, i->shortcut.c_str());
            Shade(w, 10);
        } else {
            gTextDrawAt(font, 19.0f, base, i->label.c_str());
            if (!i->shortcut.empty()) gTextDrawAt(font, keyX, base, i->shortcut.c_str());
        }
        if (i->check == 1 || i->check == 2) {
            uint8_t mark = i->check == 1 ? 0 : 4;
            if (i->state == 1) {
                Shade(w, 2);
                gTextDrawCharAt(own, mark, wp - 15.0f, y + menu->textOffset - 4.0f);
                Shade(w, 5);
                gTextDrawCharAt(own, mark, wp - 14.0f, y + menu->textOffset - 2.0f);
                Shade(w, 10);
            } else {
                gTextDrawCharAt(own, mark, wp - 14.0f, y + menu->textOffset - 2.0f);
            }
        }
        y += menu->rowHeight;
        return true;
    });
}

}  // namespace

// ---- Host ----------------------------------------------------------------------------------------

gMenuHost* gMenuHostPeek() { return gHost; }

void gMenuInstall() {
    gToolkitHooks& hooks = gHooks();
    if (hooks.keyDown != MenuKeyDown) {
        gPrevKeyDown = hooks.keyDown;
        hooks.keyDown = MenuKeyDown;
    }
    if (hooks.timer != MenuTimer) {
        gPrevTimer = hooks.timer;
        hooks.timer = MenuTimer;
    }
    hooks.menuHostFree = gMenuHostFree;
    hooks.isMenuHostWindow = HookIsHostWindow;
    hooks.menuOpen = HookMenuOpen;
    hooks.menuOwnsWindow = HookOwnsWindow;
    hooks.menuEnd = MenuEndHook;
}

gMenuHost* gMenuHostGet() {
    if (gHost != nullptr) return gHost;
    gMenuInstall();
    auto* host = new (std::nothrow) gMenuHost;
    if (host == nullptr) return nullptr;
    host->mainWindow = MakePopup(nullptr);
    host->subWindow = host->mainWindow != nullptr ? MakePopup(host->mainWindow) : nullptr;
    if (host->mainWindow == nullptr || host->subWindow == nullptr) {
        if (host->mainWindow != nullptr) gWinRelease(host->mainWindow);
        delete host;
        return nullptr;
    }
    for (gWindow* w : {host->mainWindow, host->subWindow}) {
        w->closeHandler = PopupClose;
        w->closeKey = 0;  // ESC is handled by the tracking
        gWinSetColors(w, kMenuDefaultColour);
    }
    host->mainWindow->backgroundPainter = gMenuPaintMain;
    host->subWindow->backgroundPainter = gMenuPaintSub;
    host->mainFont = host->mainWindow->font;
    host->subFont = host->subWindow->font;
    gHost = host;
    return gHost;
}

void gMenuHostFree() {
    gMenuHost* host = gHost;
    if (host == nullptr) return;
    gHost = nullptr;
    UngrabKeyboard();
    if (gMenuIsMenu(host->current)) host->current->opener = nullptr;
    // The popup windows are toolkit windows: they go with the toolkit's windows (this runs
    // from the release of one of them, or at shut-down). Here they only stop being popups.
    for (gWindow* w : {host->subWindow, host->mainWindow}) {
        if (w != nullptr && gWinValidate(w) != nullptr) {
            w->closeHandler = nullptr;
            w->backgroundPainter = nullptr;
            if (w->hwnd != nullptr && pf::GetCapture() == w->hwnd) pf::ReleaseCapture();
            if (w->hwnd != nullptr) pf::ShowWindow(w->hwnd, pf::kSwHide);
        }
    }
    delete host;
}

void gMenuSetPainter(gMenu* menu, gMenuPainterFn painter, uint32_t colour) {
    if (!gMenuIsMenu(menu)) return;
    menu->painter = painter;
    if (colour == 0 && menu->colour != 0) return;
    if (colour == 0) colour = kMenuDefaultColour;
    menu->colour = colour;
    if (gHost == nullptr) return;
    for (gWindow* w : {gHost->mainWindow, gHost->subWindow}) {
        if (w != nullptr) gWinSetColors(w, colour);
    }
}

// ---- Opening -----------------------------------------------------------------------------------

bool gMenuPopupAt(gMenu* menu, gElement* widget, uint32_t colour) {
    if (!gMenuIsMenu(menu) || widget == nullptr || !gWgtIsLive(widget)) return false;
    if (colour != 0) gMenuSetPainter(menu, nullptr, colour);
    int32_t x = static_cast<int32_t>(widget->x + widget->width - 2.0f);
    int32_t y = static_cast<int32_t>(widget->y + widget->height * 0.5f);
    return gMenuPopupScreen(menu, widget->window, x, y, static_cast<int32_t>(widget->width - 4.0f), false);
}

bool gMenuPopupAtPoint(gMenu* menu, gWindow* window, int32_t x, int32_t y, int32_t anchorWidth, bool openSub,
                       bool reattach, uint32_t userData, gMenuReleaseFn release) {
    if (!gMenuIsMenu(menu)) return false;
    // The menu owns the data from here; data it held before is dropped once, unless it is
    // the very same data and callback handed in again.
    if (menu->release != nullptr && (menu->userData != userData || menu->release != release)) {
        gMenuReleaseFn old = menu->release;
        uint32_t data = menu->userData;
        menu->release = nullptr;
        menu->userData = 0;
        old(data);
    }
    menu->userData = userData;
    menu->release = release;
    if (reattach) {
        auto attach = [&](gMenuItem* i) {
            gMenuReleaseFn old = i->release;
            uint32_t data = i->userData;
            i->release = nullptr;
            i->userData = 0;
            if (old != nullptr) old(data);
            // The items share the menu's data without a callback of their own, so the
            // data is released once, by the menu.
            if (i->state == 0 && i->handler != nullptr) i->userData = userData;
            return true;
        };
        ForLive(menu->first, menu->cursor, [&](gMenuItem* i) {
            attach(i);
            if (i->check == 2) ForLive(i->firstChild, i->childCursor, attach);
            return true;
        });
    }
    return gMenuPopupScreen(menu, window, x, y, anchorWidth, openSub);
}

bool gMenuPopupScreen(gMenu* menu, gWindow* window, int32_t x, int32_t y, int32_t anchorWidth, bool openSub) {
    gMenuHost* host = gMenuHostGet();
    if (host == nullptr || !gMenuIsMenu(menu)) return false;
    if (menu->eventCallback != nullptr) {
        menu->eventCallback(menu, nullptr, menu->userData);
        if (!gMenuIsMenu(menu)) return false;
    }
    if (menu->first == nullptr || menu->cursor == nullptr) return false;
    ForLive(menu->first, menu->cursor, [](gMenuItem* i) {
        if (i->check == 2 && i->handler != nullptr) i->handler(i, i->userData);
        return true;
    });
    if (!gMenuIsMenu(menu)) return false;
    if (window != nullptr && gWinValidate(window) == nullptr) window = nullptr;
    // Opening another menu ends the one open, unless both belong to the same owner: a
    // menu bar moving from title to title stays pressed, and the main popup stays mapped
    // (it is only moved and resized), so that it keeps the pointer grab throughout.
    if (host->current != menu && (host->open || host->state == 0)) {
        gMenu* open = Current();
        if (open == nullptr || open->ownerWidget == nullptr || open->ownerWidget != menu->ownerWidget) {
            gMenuEnd(nullptr, false, false);
        }
    }
    if (host->open) {
        // Reopening: the main popup stays mapped, only moved and resized (unmapping and
        // mapping it again would make its grab lost for a moment).
        host->open = 0;
        StopTimer();
        if (gMenuIsMenu(host->current)) gMenuClearHover(host->current);
        Hide(host->subWindow);
    }
    host->current = menu;
    menu->host = host;
    menu->opener = window;
    host->flipLeft = host->flipUp = 0;
    x = std::max(x, 0);
    y = std::max(y, 0);
    if (window != nullptr && window->hwnd != nullptr) {
        pf::Point p{x, y};
        pf::ClientToScreen(window->hwnd, &p);
        x = p.x;
        y = p.y;
    }
    pf::Rect area;
    gWorkArea(&area, window);
    const int32_t popupW = menu->width + host->extraWidth;
    const int32_t popupH = menu->height + host->extraHeight;
    if (x > area.right - menu->submenuWidth - popupW) {
        x = std::min(x - ((anchorWidth > 0 ? anchorWidth - 3 : 0) + popupW), area.right - 1);
        host->flipLeft = 1;
    }
    if (y > area.bottom - menu->submenuHeight - popupH) {
        y = std::min(y - popupH, area.bottom - 1);
        host->flipUp = 1;
    }
    // A menu larger than the space before its anchor stays on the screen.
    x = std::max(x, area.left);
    y = std::max(y, area.top);
    gWindow* main = host->mainWindow;
    // The popup windows are shared by all menus: each opening shows its own colour.
    if (menu->colour != 0) {
        for (gWindow* w : {host->mainWindow, host->subWindow}) gWinSetColors(w, menu->colour);
    }
    if (!pf::IsWindowEnabled(main->hwnd)) pf::EnableWindow(main->hwnd, true);
    pf::Point position{x, y};
    if (!gWinSetSize(main, popupW, popupH, &position)) {
        Hide(main);
        if (IsPopupHwnd(pf::GetCapture())) pf::ReleaseCapture();
        if (IsPopupHwnd(gKeyboardGrab)) UngrabKeyboard();
        return false;
    }
    host->open = 1;
    host->state = 1;
    host->lastOffset = -1;
    ShowPainted(main);
    if (openSub && HasChildren(menu->hovered)) {
        gMenuOpenSub();
    } else {
        pf::SetForegroundWindow(main->hwnd);
        Capture(main);
    }
    return true;
}

bool gMenuOpenSub() {
    gMenu* menu = Current();
    if (gHost == nullptr || !gHost->open || menu == nullptr) return false;
    gWindow* main = gHost->mainWindow;
    gWindow* sub = gHost->subWindow;
    if (main == nullptr || sub == nullptr) return false;
    gMenuItem* item = menu->hovered;
    if (!HasChildren(item)) return false;
    if (item->submenuWidth < 1 || item->submenuHeight < 1 || item->childCursor == nullptr) {
        item->state = 1;
        return false;
    }
    const int32_t popupW = item->submenuWidth + gHost->extraWidth;
    const int32_t popupH = item->submenuHeight + gHost->extraHeight;
    pf::Rect mainRect;
    pf::GetWindowRect(main->hwnd, &mainRect);
    const int32_t rowHeight = static_cast<int32_t>(std::lround(menu->rowHeight));
    int32_t rowTop = item->rowBottom - rowHeight;
    int32_t x = gHost->flipLeft ? mainRect.left + gHost->subLeft - popupW
                                : mainRect.left + menu->width + gHost->extraWidth - gHost->subRight / 4;
    int32_t y = gHost->flipUp ? mainRect.top + item->rowBottom + gHost->subUp - popupH
                              : mainRect.top + rowTop + gHost->extraHeight - gHost->subDown;
    x = std::max(x, 0);
    y = std::max(y, 0);
    if (!pf::IsWindowEnabled(sub->hwnd)) pf::EnableWindow(sub->hwnd, true);
    pf::Rect subRect;
    pf::GetWindowRect(sub->hwnd, &subRect);
    if (subRect.left != x || subRect.top != y || sub->clientWidth != popupW || sub->clientHeight != popupH) {
        pf::Point position{x, y};
        if (!gWinSetSize(sub, popupW, popupH, &position)) return false;
    }
    ShowPainted(sub);
    gHost->state = 2;
    Capture(sub);
    return true;
}

bool gMenuIsOpen(gMenu* menu) {
    if (gHost == nullptr || !gMenuIsMenu(menu) || gHost->current != menu || menu->cursor == nullptr) return false;
    if (!Visible(gHost->mainWindow) && !Visible(gHost->subWindow)) return false;
    gMenuCloseAll();
    return true;
}

bool gMenuCloseAll() {
    if (gHost == nullptr || !gHost->open) return false;
    gHost->open = 0;
    StopTimer();
    if (gMenu* menu = Current()) gMenuClearHover(menu);
    if (IsPopupHwnd(pf::GetCapture())) pf::ReleaseCapture();
    // An owner holding the keyboard (state 0) keeps it.
    if (IsPopupHwnd(gKeyboardGrab)) UngrabKeyboard();
    Hide(gHost->subWindow);
    Hide(gHost->mainWindow);
    return true;
}

bool gMenuEndFromWindow(gWindow* window, bool choose) {
    if (gHost == nullptr || !gHost->open) return false;
    gMenuEnd(window != nullptr && gWinValidate(window) != nullptr ? window->hwnd : nullptr, choose, false);
    return true;
}

void gMenuEnd(pf::Hwnd hwnd, bool choose, bool fromPopup) {
    gMenu* menu = Current();
    // Ending also covers state 0, where the popups are closed and the owner has the keys.
    if (gHost == nullptr || menu == nullptr || (!gHost->open && (gHost->state != 0 || choose))) return;
    bool popup = IsPopupHwnd(hwnd);
    if (!fromPopup && popup) return;
    if (fromPopup && hwnd != nullptr && !popup) return;
    gMenuItem* item = menu->hovered;
    gMenuItem* chosen = nullptr;
    if (choose) {
        if (item == nullptr || item->state != 0 || menu->hoveredRow <= 0) return;
        chosen = item;
        if (item->check == 2) {
            chosen = item->hoveredChild;
            if (chosen == nullptr || chosen->state != 0) return;
        }
    }
    gHost->open = 0;
    gHost->state = -1;
    gHost->lastOffset = -1;
    StopTimer();
    gElement* owner = menu->ownerWidget != nullptr && gWgtIsLive(menu->ownerWidget) ? menu->ownerWidget : nullptr;
    pf::Hwnd capture = pf::GetCapture();
    if (capture != nullptr &&
        (IsPopupHwnd(capture) || (owner != nullptr && owner->window != nullptr && owner->window->hwnd == capture))) {
        pf::ReleaseCapture();
    }
    UngrabKeyboard();
    if (owner != nullptr) {
        owner->value = 0;
        // The owner's kept drag (a menu bar following the pointer) ends with it, so that
        // the next press on the owner presses it again instead of only ending the drag.
        if (gDragWidget == owner) gDragWidget = nullptr;
        gWindow* w = owner->window;
        if (w != nullptr && gWinValidate(w) != nullptr && (w->state & (kStateHidden | kStateMinimised)) == 0 &&
            gWinMakeCurrent(w)) {
            gWgtRedrawAlone(w, owner, false);
        }
    }
    Hide(gHost->subWindow);
    Hide(gHost->mainWindow);
    if (menu->opener != nullptr && gWinValidate(menu->opener) != nullptr) {
        gWindow* top = menu->opener;
        while (top->parent != nullptr) top = top->parent;
        if (top->hwnd != nullptr) pf::SetForegroundWindow(top->hwnd);
    }
    if (!choose) {
        if (item != nullptr && gMenuIsItem(item)) {
            item->hoveredChild = nullptr;
            if (item->check == 2) item->rowNumber = 0;
        }
        menu->hovered = nullptr;
        menu->hoveredRow = menu->hoveredChildRow = 0;
        return;
    }
    int32_t rows[2] = {menu->hoveredRow, menu->hoveredChildRow};
    if (menu->eventCallback != nullptr) {
        menu->eventCallback(menu, rows, menu->userData);
        if (gHost == nullptr || !gMenuIsMenu(menu) || gHost->current != menu || !gMenuIsItem(chosen)) return;
    }
    if (chosen->handler != nullptr) {
        chosen->handler(chosen, chosen->userData);
        if (gHost == nullptr || !gMenuIsMenu(menu) || gHost->current != menu) return;
    }
    gMenuClearHover(menu);
}

// ---- Tracking ------------------------------------------------------------------------------------

bool gMenuOnMouseMove(gWindow* popup, int32_t x, int32_t y) {
    gMenu* menu = Current();
    if (gHost == nullptr || menu == nullptr || !gHost->open || popup == nullptr) return false;
    const int32_t inset = gHost->edgeInset;
    const int32_t width = popup->clientWidth;
    const int32_t yy = y - inset;
    const bool inX = x >= inset && x < width - inset;
    if (popup == gHost->subWindow) {
        gMenuItem* parent = menu->hovered;
        if (!HasChildren(parent)) return false;
        gMenuItem* child = inX ? RowAt(parent->firstChild, parent->childCursor, yy) : nullptr;
        if (child != nullptr) {
            gHost->state = 2;
            if (child == parent->hoveredChild) return false;
            parent->hoveredChild = child;
            int32_t number = NumberOf(parent->firstChild, parent->childCursor, child);
            parent->rowNumber = number;
            menu->hoveredChildRow = number;
            return true;
        }
        bool towardsMain = gHost->flipLeft ? x >= width : x < 0;
        if (towardsMain) {
            gHost->state = HasChildren(menu->hovered) ? 2 : 1;
            Capture(gHost->mainWindow);
        }
        if (parent->hoveredChild != nullptr) {
            parent->hoveredChild = nullptr;
            parent->rowNumber = 0;
            menu->hoveredChildRow = 0;
            return true;
        }
        return false;
    }
    if (popup != gHost->mainWindow) return false;
    gMenuItem* row = inX ? RowAt(menu->first, menu->cursor, yy) : nullptr;
    if (row != nullptr) {
        gHost->state = 1;
        if (row == menu->hovered) return false;
        menu->hovered = row;
        menu->hoveredRow = NumberOf(menu->first, menu->cursor, row);
        menu->hoveredChildRow = row->check == 2 ? row->rowNumber : 0;
        gHost->lastOffset = yy;
        Hide(gHost->subWindow);
        if (row->check == 2 && row->state == 0 && (row->firstChild != nullptr || row->handler != nullptr)) {
            if (!gHost->timerRunning) {
                if (pf::SetTimer(popup->hwnd, kSubmenuTimerId, kSubmenuDelayMs) != 0) {
                    gHost->timerRunning = true;
                } else {
                    gMenuOpenSub();
                }
            }
        } else {
            StopTimer();
        }
        return true;
    }
    // Outside the rows.
    bool towardsSub = gHost->flipLeft ? x < 0 : x >= width;
    bool towardsAnchor = gHost->flipLeft ? x >= width : x < 0;
    if (towardsSub && Visible(gHost->subWindow)) {
        gHost->state = 2;
        Capture(gHost->subWindow);
        return false;
    }
    if (towardsAnchor) {
        gElement* owner = menu->ownerWidget;
        if (owner != nullptr && gWgtIsLive(owner) && gWgtKeyHandler(owner) != nullptr && owner->window != nullptr) {
            Capture(owner->window);
        }
    }
    gMenuItem* hovered = menu->hovered;
    int32_t rowsHeight = menu->cursor != nullptr ? menu->cursor->rowBottom : 0;
    bool leftVertically = yy < 0 || yy >= rowsHeight;
    bool awayEdge = gHost->flipLeft ? x >= width - inset : x < inset;
    if (hovered != nullptr && (!HasChildren(hovered) || leftVertically || awayEdge)) {
        menu->hovered = nullptr;
        menu->hoveredRow = menu->hoveredChildRow = 0;
        hovered->hoveredChild = nullptr;
        StopTimer();
        Hide(gHost->subWindow);
        return true;
    }
    return false;
}

int gMenuOnKey(uint32_t key) {
    gMenu* menu = Current();
    if (gHost == nullptr || menu == nullptr || menu->cursor == nullptr || gHost->state < 0) return 0;
    if (!gHost->open && !OwnerHasKeyboard()) return 0;
    if ((key & kKeyAlt) != 0) {
        gMenuEnd(nullptr, false, false);
        return 0;
    }
    if (gHost->state == 0) {
        // The owner has the keyboard: every key goes to its key handler (a menu bar
        // moves between titles, opens one, or lets go).
        gElement* owner = menu->ownerWidget;
        gWidgetKeyFn handler = owner != nullptr && gWgtIsLive(owner) ? gWgtKeyHandler(owner) : nullptr;
        if (handler == nullptr) return 0;
        gKeyDownEvent = gKeyEvent{key, 0, 0};
        gWindow* w = owner->window;
        if (w == nullptr || gWinValidate(w) == nullptr || !gWinMakeCurrent(w)) {
            return handler(owner, &gKeyDownEvent) > 0 ? 1 : 0;
        }
        return gWidgetKeyCall(w, owner, handler) == 1 ? 1 : 0;
    }
    const uint32_t bare = key & (kKeySpecialMask | kKeyPrintableMask);
    gMenuItem* hovered = menu->hovered;
    switch (bare) {
        case kKeyEnter:
            if (gHost->state == 1 && hovered != nullptr && hovered->state == 0 && menu->hoveredRow > 0) {
                if (hovered->check == 2) {
                    gMenuOnKey(kKeyRight);
                } else {
                    gMenuEnd(nullptr, true, true);
                }
            } else if (gHost->state == 2 && HasChildren(hovered) && hovered->hoveredChild != nullptr &&
                       hovered->hoveredChild->state == 0) {
                gMenuEnd(nullptr, true, true);
            }
            return 1;
        case kKeyRight:
            if (gHost->state > 0 && hovered != nullptr && hovered->check == 2) {
                gHost->state = 2;
                menu->hoveredChildRow = hovered->rowNumber;
                if (hovered->firstChild != nullptr || hovered->handler != nullptr) {
                    StopTimer();
                    if (!gMenuOpenSub()) gHost->state = 1;
                }
            } else {
                gHost->state = 1;
            }
            return 1;
        case kKeyLeft:
            if (gHost->state == 2) {
                gHost->state = 1;
                Capture(gHost->mainWindow);
                Hide(gHost->subWindow);
                return 1;
            }
            if (gHost->state == 1) {
                gElement* owner = menu->ownerWidget;
                if (owner == nullptr || !gWgtIsLive(owner) || gWgtKeyHandler(owner) == nullptr ||
                    owner->window == nullptr || owner->value == 0) {
                    // Nobody to hand the keyboard to: the menu ends.
                    gMenuEnd(nullptr, false, false);
                    return 1;
                }
                gHost->state = 0;
                StopTimer();
                if (IsPopupHwnd(pf::GetCapture())) pf::ReleaseCapture();
                Hide(gHost->subWindow);
                Hide(gHost->mainWindow);
                Capture(owner->window);
                return 1;
            }
            return 0;
        case kKeyDown:
        case kKeyUp: {
            const bool down = bare == kKeyDown;
            const bool sub = gHost->state == 2 && HasChildren(hovered);
            gMenuItem* first = sub ? hovered->firstChild : menu->first;
            gMenuItem* cursor = sub ? hovered->childCursor : menu->cursor;
            gMenuItem* current = sub ? hovered->hoveredChild : hovered;
            std::vector<gMenuItem*> rows;
            ForLive(first, cursor, [&](gMenuItem* i) {
                if (i->state != 2) rows.push_back(i);
                return true;
            });
            if (rows.empty()) return 1;
            auto at = std::find(rows.begin(), rows.end(), current);
            size_t index = 0;
            if (at == rows.end()) {
                index = down ? 0 : rows.size() - 1;
            } else {
                size_t n = static_cast<size_t>(at - rows.begin());
                index = down ? (n + 1) % rows.size() : (n + rows.size() - 1) % rows.size();
            }
            gMenuItem* next = rows[index];
            const int32_t number = static_cast<int32_t>(index) + 1;
            if (sub) {
                hovered->hoveredChild = next;
                hovered->rowNumber = number;
                menu->hoveredChildRow = number;
                RepaintNow(gHost->subWindow);
            } else {
                if (hovered != nullptr && hovered != next) hovered->hoveredChild = nullptr;
                menu->hovered = next;
                menu->hoveredRow = number;
                menu->hoveredChildRow = next->check == 2 ? next->rowNumber : 0;
                StopTimer();
                Hide(gHost->subWindow);
                RepaintNow(gHost->mainWindow);
            }
            return 1;
        }
        default:
            return 0;
    }
}

void gMenuWinOnClose(gWindow* popup) {
    if (gHost == nullptr || popup == nullptr) return;
    if (popup == gHost->mainWindow) {
        if (gHost->open) {
            gMenuEnd(nullptr, false, false);
        } else {
            Hide(popup);
        }
        return;
    }
    if (popup == gHost->subWindow) {
        gMenu* menu = Current();
        if (menu != nullptr && menu->hovered != nullptr) {
            menu->hovered->hoveredChild = nullptr;
            menu->hoveredChildRow = 0;
        }
        if (gHost->state == 2) {
            gHost->state = 1;
            Capture(gHost->mainWindow);
        }
        Hide(popup);
    }
}

void gMenuTakeCapture(bool flip) {
    if (gHost == nullptr || !gHost->open || (gHost->flipLeft != 0) != flip) return;
    gWindow* active = gHost->state == 2 && Visible(gHost->subWindow) ? gHost->subWindow : gHost->mainWindow;
    if (Visible(active)) Capture(active);
}

void gMenuPaintMain(gWindow* popup) {
    gMenu* menu = Current();
    if (gHost == nullptr || menu == nullptr || gHost->mainFont == nullptr) {
        if (popup != nullptr) {
            glClearColor(popup->colours.background[0], popup->colours.background[1], popup->colours.background[2],
                         1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        return;
    }
    PaintList(popup, menu, menu->first, menu->cursor, menu->hovered, gHost->mainFont, menu->width, menu->height);
}

void gMenuPaintSub(gWindow* popup) {
    gMenu* menu = Current();
    gMenuItem* parent = menu != nullptr ? menu->hovered : nullptr;
    if (gHost == nullptr || gHost->subFont == nullptr || !HasChildren(parent)) {
        if (popup != nullptr) {
            glClearColor(popup->colours.background[0], popup->colours.background[1], popup->colours.background[2],
                         1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        return;
    }
    PaintList(popup, menu, parent->firstChild, parent->childCursor, parent->hoveredChild, gHost->subFont,
              parent->submenuWidth, parent->submenuHeight);
}

}  // namespace orva
