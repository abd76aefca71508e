#pragma once
// Where a frame's picture stands in the main window, found by a white border that the
// test's own file draws round it: the workspace is the main window's largest child
// window, and the picture the largest box of white pixels in it.
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <X11/keysym.h>

#include <string>

#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"

namespace orva::testing_program {

struct Shown {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    double zoom(int frameWidth) const { return static_cast<double>(right - left) / frameWidth; }
    bool operator==(const Shown&) const = default;
};

inline bool White(const uint8_t* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }

// The box round the white pixels inside [x0, x1) x [y0, y1) of the picture.
inline bool FindFrame(const Picture& p, int x0, int y0, int x1, int y1, Shown* out) {
    int left = x1, right = -1, top = y1, bottom = -1;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (White(p.At(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right - left < 20 || bottom - top < 20) return false;
    *out = Shown{left, top, right + 1, bottom + 1};
    return true;
}

// The main window's workspace on the screen.
inline Screen::Rect WorkspaceOf(Screen& screen, Window main) {
    const Screen::Rect m = screen.RectOf(main);
    const ChildWindow c = LargestChildWindow(screen.display(), main);
    if (c.width == 0) return Screen::Rect{};
    return Screen::Rect{m.left + c.x, m.top + c.y, m.left + c.x + c.width, m.top + c.y + c.height};
}

// Waits until the framed picture stands at one place for 600 ms; the last screen in
// `shot`.
inline bool WaitForFramedPicture(Screen& screen, Window main, Picture* shot, Shown* frame, int ms = 15000) {
    Shown last{};
    int steady = 0;
    for (int waited = 0; waited < ms; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        // No raise: the tool pages the main window owns stand above it.
        const Screen::Rect ws = WorkspaceOf(screen, main);
        Shown now;
        if (!screen.Grab(DefaultRootWindow(screen.display()), shot) ||
            !FindFrame(*shot, ws.left, ws.top, ws.right, ws.bottom, &now)) {
            steady = 0;
            continue;
        }
        steady = now == last ? steady + 200 : 0;
        last = now;
        if (steady >= 600) {
            *frame = now;
            return true;
        }
    }
    return false;
}

// Picks a zoom in both of the zoom bar's preset menus (the first sets x, the second y).
// Their buttons stand in the bar under the workspace, after its "1:1" field; `shot` holds
// the last screen.
inline bool ChooseZoom(Screen& screen, Window main, const std::string& preset, Picture* shot) {
    Display* d = screen.display();
    const Window root = DefaultRootWindow(d);
    const Screen::Rect ws = WorkspaceOf(screen, main);
    int ox = 0, oy = 0;
    if (!screen.Grab(root, shot) || !FindText(*shot, ws.left, ws.bottom, ws.right - ws.left, 30, "1:1", &ox, &oy))
        return false;
    for (int offset : {184, 264}) {
        ClickAt(d, root, ox + offset, oy + 4);
        // The menu opens in its own time on a busy machine.
        int mx = 0, my = 0;
        bool open = false;
        for (int waited = 0; waited < 5000 && !open; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            open = screen.Grab(root, shot) && FindText(*shot, ox, oy + 8, 400, 300, preset, &mx, &my);
        }
        if (!open) return false;
        ClickAt(d, root, mx + 4, my + 4);
        // The menu gone before the next one's button is clicked: a click while it still
        // stood would only close it.
        bool closed = false;
        for (int waited = 0; waited < 10000 && !closed; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            closed = screen.Grab(root, shot) && !FindText(*shot, ox, oy + 8, 400, 300, preset, &mx, &my);
        }
        if (!closed) return false;
    }
    return true;
}

// Ctrl+1 over the picture: the frame's top-left corner goes to the view's top-left
// corner; `frame` then starts where the white border begins and ends with the workspace.
inline bool CornerToCorner(Screen& screen, Window main, Picture* shot, Shown* frame) {
    Display* d = screen.display();
    const Window root = DefaultRootWindow(d);
    const Screen::Rect ws = WorkspaceOf(screen, main);
    MoveTo(d, root, (ws.left + ws.right) / 2, (ws.top + ws.bottom) / 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    PressKeys(d, {XK_Control_L, XK_1});
    // Until the key has been taken: the frame's first white pixel in the view's corner.
    for (int waited = 0; waited < 10000; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (!screen.Grab(root, shot)) continue;
        bool found = false;
        for (int y = ws.top; y < ws.bottom && !found; ++y)
            for (int x = ws.left; x < ws.right && !found; ++x)
                if (White(shot->At(x, y))) {
                    *frame = Shown{x, y, ws.right, ws.bottom};
                    found = true;
                }
        if (found && frame->left <= ws.left + 2 && frame->top <= ws.top + 2) return true;
    }
    return false;
}

}  // namespace orva::testing_program
