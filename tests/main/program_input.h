#pragma once
// A user's hand on the running program: clicks sent through XTest, the child windows of
// a window, and runs of one colour found in a picture read back from the screen.
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <iterator>
#include <thread>
#include <utility>
#include <vector>

#include "program_window.h"
#include "road_files.h"

namespace orva::testing_program {

inline bool SameColour(const uint8_t* p, const uint8_t* colour) {
    return p[0] == colour[0] && p[1] == colour[1] && p[2] == colour[2];
}

// A run of one colour in a row: [from, to).
struct ColourRun {
    int y = -1, from = 0, to = 0;
};

// The runs of at least `length` pixels of the colour in row y, left to right.
inline std::vector<ColourRun> RunsInRow(const Picture& p, const uint8_t* colour, int y, int length) {
    std::vector<ColourRun> runs;
    if (y < 0 || y >= p.height) return runs;
    for (int x = 0; x < p.width; ++x) {
        if (!SameColour(p.At(x, y), colour)) continue;
        int end = x;
        while (end < p.width && SameColour(p.At(end, y), colour)) ++end;
        if (end - x >= length) runs.push_back(ColourRun{y, x, end});
        x = end;
    }
    return runs;
}

// A mapped child window, in its parent's coordinates.
struct ChildWindow {
    int x = 0, y = 0, width = 0, height = 0;
};

inline std::vector<ChildWindow> ChildWindows(Display* d, Window w) {
    std::vector<ChildWindow> out;
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, w, &root, &up, &children, &count)) return out;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
            out.push_back(ChildWindow{a.x, a.y, a.width, a.height});
    }
    if (children != nullptr) XFree(children);
    return out;
}

// The largest mapped child window (the main window's workspace); width 0 when there is none.
inline ChildWindow LargestChildWindow(Display* d, Window w) {
    ChildWindow best;
    long largest = 0;
    for (const ChildWindow& c : ChildWindows(d, w))
        if (static_cast<long>(c.width) * c.height > largest) {
            largest = static_cast<long>(c.width) * c.height;
            best = c;
        }
    return best;
}

// The small page windows of the main window (children of it whose title starts with its
// workspace's, smaller than the workspace itself): the value page with the preview.
inline std::vector<Window> ValuePageWindows(Display* d, Window main) {
    std::vector<Window> found;
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, main, &root, &up, &children, &count)) return found;
    for (unsigned i = 0; i < count; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(d, children[i], &name) && name != nullptr) {
            if (std::string(name).rfind("Workspace Layout", 0) == 0 && XGetWindowAttributes(d, children[i], &a) &&
                a.map_state == IsViewable && a.width <= 400 && a.height <= 300 && a.height >= 100)
                found.push_back(children[i]);
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

// Moves the pointer to (x, y) of the window.
inline void MoveTo(Display* d, Window w, int x, int y) {
    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(d, -1, rx, ry, CurrentTime);
    XSync(d, False);
}

// When the last click was made. A window manager holds each click on a window a moment
// (it focuses and raises the window first) while the keyboard goes on: keys sent at once
// would reach the program before the click they follow.
inline std::chrono::steady_clock::time_point& LastClick() {
    static std::chrono::steady_clock::time_point at;
    return at;
}

// Keys wait until a click just made has arrived, as a user's typing does, where a window
// manager runs.
inline void KeysAfterClick() {
    static const bool managed = std::getenv("ORVA_TEST_WM") != nullptr && *std::getenv("ORVA_TEST_WM") != '\0';
    if (!managed) return;
    const auto ready = LastClick() + std::chrono::milliseconds(250);
    if (std::chrono::steady_clock::now() < ready) std::this_thread::sleep_until(ready);
}

// A left click at (x, y) of the window, the pointer moved there first.
inline void ClickAt(Display* d, Window w, int x, int y) {
    MoveTo(d, w, x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
    LastClick() = std::chrono::steady_clock::now();
}

// A left-button drag from (x, y) of the window by (dx, dy) pixels, in `steps` equal moves
// with a pause after each, so that every move reaches the program as its own step.
inline void Drag(Display* d, Window w, int x, int y, int dx, int dy, int steps = 4) {
    MoveTo(d, w, x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    for (int i = 1; i <= steps; ++i) {
        MoveTo(d, w, x + dx * i / steps, y + dy * i / steps);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
}

// The runs of the tabs' colours (the chosen tab's and the others') at least 20 pixels long in
// a row of the picture from left to right, as (first, end) pairs.
inline std::vector<std::pair<int, int>> TabRuns(const Picture& shot, int left, int right, int row) {
    static constexpr uint8_t kChosen[3] = {153, 255, 153}, kOther[3] = {41, 145, 41};
    auto tab = [&](int px) { return SameColour(shot.At(px, row), kChosen) || SameColour(shot.At(px, row), kOther); };
    std::vector<std::pair<int, int>> runs;
    right = std::min(right, shot.width);
    for (int px = std::max(left, 0); px < right; ++px) {
        if (!tab(px)) continue;
        int end = px;
        while (end < right && tab(end)) ++end;
        if (end - px >= 20) runs.push_back({px, end});
        px = end;
    }
    return runs;
}

// The tabs of the main window's page column on a picture of the screen: the runs of the
// tab colours in the first row that holds four of them left of the workspace (the main
// window's rectangle on the picture); the centre of tab n.
inline bool PageTab(const Picture& shot, int left, int top, int n, int* x, int* y) {
    for (int row = std::max(top, 0); row < std::min(top + 400, shot.height); ++row) {
        const std::vector<std::pair<int, int>> runs = TabRuns(shot, left, left + 330, row);
        if (runs.size() >= 4 && n < static_cast<int>(runs.size())) {
            *x = (runs[n].first + runs[n].second) / 2;
            *y = row + 4;
            return true;
        }
    }
    return false;
}

// Tab n of a page's own tab bar (the Source's "Info", "Options") in the column from left to
// right: the first row below the column's tab bar with two runs of the tabs' colours.
inline bool OwnPageTab(const Picture& shot, int left, int right, int top, int n, int* x, int* y) {
    int gx = 0, gy = 0;
    if (!PageTab(shot, left, top, 0, &gx, &gy)) return false;
    for (int row = gy + 12; row < gy + 150 && row < shot.height; ++row) {
        const std::vector<std::pair<int, int>> tabs = TabRuns(shot, left, right, row);
        if (tabs.size() >= 2 && n < static_cast<int>(tabs.size())) {
            *x = (tabs[n].first + tabs[n].second) / 2;
            *y = row + 3;
            return true;
        }
    }
    return false;
}

// Why the program cannot be driven here (no reference tools, no display, no XTest); empty
// when it can.
inline std::string WhyNoProgramTest(Screen& screen) {
    if (!HaveRoadTools()) return "astropy or numpy not installed";
    if (screen.display() == nullptr) return "no X display";
    int a, b, c, e;
    if (!XTestQueryExtension(screen.display(), &a, &b, &c, &e)) return "no XTest";
    return "";
}

// Presses the keys in order and lets them go in reverse, through the X server (they go
// to the window holding the keyboard focus).
inline void PressKeys(Display* d, std::initializer_list<KeySym> keys) {
    KeysAfterClick();
    for (KeySym k : keys) XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), True, 0);
    for (auto k = std::rbegin(keys); k != std::rend(keys); ++k) XTestFakeKeyEvent(d, XKeysymToKeycode(d, *k), False, 0);
    XSync(d, False);
}

// Types the text key by key into the window holding the focus, with Shift where a
// character lies on a shifted key; false when a character has no key on this keyboard.
inline bool TypeText(Display* d, const std::string& text) {
    KeysAfterClick();
    const KeyCode shift = XKeysymToKeycode(d, XK_Shift_L);
    for (const char c : text) {
        char name[2] = {c, '\0'};
        KeySym sym = XStringToKeysym(name);
        if (sym == NoSymbol) {
            static const std::pair<char, const char*> kNames[] = {
                {'/', "slash"}, {'.', "period"}, {'_', "underscore"}, {'-', "minus"}, {' ', "space"},
                {'\'', "apostrophe"}, {'=', "equal"}, {':', "colon"}, {',', "comma"}, {'"', "quotedbl"}};
            for (const auto& [ch, n] : kNames)
                if (ch == c) sym = XStringToKeysym(n);
        }
        const KeyCode code = sym != NoSymbol ? XKeysymToKeycode(d, sym) : 0;
        if (code == 0) return false;
        const bool shifted = XkbKeycodeToKeysym(d, code, 0, 0) != sym;
        if (shifted) XTestFakeKeyEvent(d, shift, True, 0);
        XTestFakeKeyEvent(d, code, True, 0);
        XTestFakeKeyEvent(d, code, False, 0);
        if (shifted) XTestFakeKeyEvent(d, shift, False, 0);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    return true;
}

// Where "Chart Tools" stands over the main window (a small screen), F4 puts it away, as a
// user does to reach what it covers; false when it stays.
inline bool PutToolsAway(Screen& screen, Window main) {
    const Window tools = screen.FindWindow("Chart Tools");
    if (tools == 0) return true;
    const Screen::Rect m = screen.RectOf(main);
    if (!m.Overlaps(screen.RectOf(tools))) return true;
    Display* d = screen.display();
    MoveTo(d, DefaultRootWindow(d), (m.left + m.right) / 2, m.top + 120);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    PressKeys(d, {XK_F4});
    for (int waited = 0; waited <= 5000; waited += 100) {
        if (screen.FindWindow("Chart Tools") == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

}  // namespace orva::testing_program
