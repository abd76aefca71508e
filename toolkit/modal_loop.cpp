// The modal loop: a second message loop that gives input to one dialog only.
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "toolkit/input.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

bool IsPress(uint32_t message) {
    switch (message) {
        case pf::kWmLButtonDown: case pf::kWmLButtonDblClk:
        case pf::kWmRButtonDown: case pf::kWmRButtonDblClk:
        case pf::kWmMButtonDown: case pf::kWmMButtonDblClk:
            return true;
        default:
            return false;
    }
}

// The modal window itself, its children and the windows it owns (its menus and lists).
bool OwnWindow(pf::Hwnd hwnd, pf::Hwnd modal) {
    for (int depth = 0; hwnd != nullptr && depth < 64; ++depth) {
        if (hwnd == modal) return true;
        hwnd = pf::GetParent(hwnd);
    }
    return false;
}

pf::Point ScreenPoint(const pf::Msg& msg) {
    pf::Point p{pf::GetXLParam(msg.lParam), pf::GetYLParam(msg.lParam)};
    pf::ClientToScreen(msg.hwnd, &p);
    return p;
}

// Offers a left press at that screen point to `outsidePress` with the widget under it;
// true when it was taken.
bool OfferPress(gWindow* modal, pf::Hwnd under, pf::Point screen, gModalPressFn outsidePress) {
    gWindow* other = gWinFromHwndAny(under);
    if (other == nullptr || (other->state & kNotDrawnMask) != 0 || !gWinMakeCurrent(other)) return false;
    pf::ScreenToClient(under, &screen);
    gElement* picked = gPick(other, screen.x, screen.y);
    bool taken = picked != nullptr && picked->enabled && outsidePress(other, picked);
    if (gWinValidate(modal) != nullptr) gWinMakeCurrent(modal);
    return taken;
}

}  // namespace

void gModalLoop(gWindow* window, volatile uint8_t* done, gModalPressFn outsidePress) {
    if (gWinValidate(window) == nullptr || window->hwnd == nullptr) return;
    pf::Hwnd hwnd = window->hwnd;
    pf::SetWindowPos(hwnd, pf::kHwndTop, 0, 0, 0, 0, 0x503);
    pf::SetForegroundWindow(hwnd);
    pf::EnterModalWindow(hwnd);
    if (pf::GetCapture() != hwnd) pf::SetCapture(hwnd);
    gKeyTarget() = window;
    bool quit = false;
    int quitCode = 0;
    bool swallowRelease = false;  // the release of a press taken outside
    auto running = [&]() {
        if (gWinValidate(window) == nullptr) return false;
        if ((window->state & (kStateClosed | kStateHidden)) != 0) return false;
        return done == nullptr || *done == 0;
    };
    pf::Msg msg;
    while (running()) {
        if (!pf::IsWindow(hwnd)) break;
        if (!pf::GetMessage(&msg)) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (msg.message == pf::kWmPaint) {
            pf::DispatchMessage(&msg);
            continue;
        }
        if (msg.message == pf::kWmLButtonUp && swallowRelease) {
            swallowRelease = false;
            continue;
        }
        if (IsPress(msg.message) && pf::IsWindow(msg.hwnd)) {
            swallowRelease = false;
            // While the window holds the pointer its presses arrive here wherever they were
            // made. One over another window of the program is not the window's: handed to
            // the dialog it would press that window's widget.
            const pf::Point screen = ScreenPoint(msg);
            pf::Hwnd under = pf::WindowFromPoint(screen);
            if (under != nullptr && !OwnWindow(under, hwnd)) {
                const bool left = msg.message == pf::kWmLButtonDown || msg.message == pf::kWmLButtonDblClk;
                if (left && outsidePress != nullptr) swallowRelease = OfferPress(window, under, screen, outsidePress);
                continue;
            }
        }
        // Its own messages and the window-less timers of the thread (the playback readouts
        // and delayed calls go on while the box is open).
        if (msg.hwnd == hwnd || (msg.hwnd == nullptr && msg.message == pf::kWmTimer)) pf::DispatchMessage(&msg);
    }
    pf::LeaveModalWindow(hwnd);
    if (gWinValidate(window) != nullptr && gKeyTarget() == window) gKeyTarget() = nullptr;
    // The quit belongs to the main loop: hand it back so the program still ends.
    if (quit) pf::PostQuitMessage(quitCode);
}

}  // namespace orva
