// The modal loop: a second message loop that gives input to one dialog only.
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "toolkit/window.h"

namespace orva {

void gModalLoop(gWindow* window, volatile uint8_t* done) {
    if (gWinValidate(window) == nullptr || window->hwnd == nullptr) return;
    pf::Hwnd hwnd = window->hwnd;
    pf::SetWindowPos(hwnd, pf::kHwndTop, 0, 0, 0, 0, 0x503);
    pf::SetForegroundWindow(hwnd);
    if (pf::GetCapture() != hwnd) pf::SetCapture(hwnd);
    gKeyTarget() = window;
    bool quit = false;
    int quitCode = 0;
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
        // Its own messages, every paint, and the window-less timers of the thread (the
        // playback readouts and delayed calls go on while the box is open).
        if (msg.hwnd == hwnd || msg.message == pf::kWmPaint || (msg.hwnd == nullptr && msg.message == pf::kWmTimer))
            pf::DispatchMessage(&msg);
    }
    if (gWinValidate(window) != nullptr && gKeyTarget() == window) gKeyTarget() = nullptr;
    // The quit belongs to the main loop: hand it back so the program still ends.
    if (quit) pf::PostQuitMessage(quitCode);
}

}  // namespace orva
