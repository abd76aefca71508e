#pragma once
// The chart of a "Chart Tools" or main-window cell as the screen shows it: the plot found
// by the grey of its cursor area, and the colours of its curves; the statistic list beside
// it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "common/number_text.h"
#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"

namespace orva::testing_program {

struct Plot {
    bool found = false;
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

inline bool Grey(const uint8_t* p) {
    return std::abs(p[0] - 230) <= 1 && std::abs(p[1] - 230) <= 1 && std::abs(p[2] - 230) <= 1;
}
inline bool Dark(const uint8_t* p) { return p[0] + p[1] + p[2] < 200; }
inline bool Red(const uint8_t* p) { return p[0] >= 110 && p[1] < 70 && p[2] < 70; }
inline bool Black(const uint8_t* p) { return Dark(p) && !Red(p); }
inline bool Ink(const uint8_t* p) { return Dark(p) || Red(p); }

// The cursor area: the largest block of the chart's grey. The cursor stands at the first
// sample, so the area starts 3 pixels into the plot.
inline Plot FindPlot(const Picture& shot) {
    Plot plot;
    int x0 = shot.width, y0 = shot.height, x1 = -1, y1 = -1;
    for (int y = 0; y < shot.height; ++y) {
        int run = 0;
        for (int x = 0; x < shot.width; ++x) {
            run = Grey(shot.At(x, y)) ? run + 1 : 0;
            if (run < 40) continue;
            x0 = std::min(x0, x - run + 1);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
    }
    if (x1 - x0 < 200 || y1 - y0 < 100) return plot;
    plot.found = true;
    plot.left = x0 - 3;
    plot.right = x1 + 1;
    plot.top = y0;
    plot.bottom = y1 + 1;
    return plot;
}

// A text as the page lists draw it.
inline InkMask ListInk(const std::string& text) { return SystemTextInk(text, "Arial", 600, 10); }

// A number as the statistic list writes it.
inline std::string ListNumber(double v) {
    char text[64] = "";
    const int n = FormatDoubleDigits(14, 2, v, text);
    return std::string(text, static_cast<size_t>(n > 0 ? n : 0));
}

// The "Chart Tools" window grabbed, and where it lies on the screen.
inline bool GrabTools(Screen& screen, Picture* window, Screen::Rect* at) {
    const Window tools = screen.FindWindow("Chart Tools");
    if (tools == 0) return false;
    *at = screen.RectOf(tools);
    return screen.Grab(tools, window);
}

// The value cell of the statistic list's row whose label's ink starts at (x, y) shows
// `text` (an empty text: nothing); the label column is 60 pixels wide, the value's 110.
inline bool ValueCellShows(const Picture& window, int x, int y, const std::string& text, std::string* why) {
    return ShowsInk(window, x + 55, y - 4, 110, 18, ListInk(text), text, why);
}

// The statistic list shows `text` in the value cell of the row labelled `label` (both in
// the lists' face).
inline bool RowShows(const Picture& window, const std::string& label, const std::string& text, std::string* why) {
    int lx = 0, ly = 0;
    if (!FindInk(window, 0, 0, window.width, window.height, ListInk(label), &lx, &ly)) {
        *why = "no " + label;
        return false;
    }
    std::string shown;
    if (ValueCellShows(window, lx, ly, text, &shown)) return true;
    *why = label + " " + shown;
    return false;
}

// Waits up to `ms` for the "Chart Tools" statistic list to show every row's value (the
// label's row found anywhere in the window); the window's picture and place last read in
// `window` and `at`, what was missing in `why`.
inline bool ToolsListShows(Screen& screen, const std::vector<std::pair<std::string, std::string>>& rows,
                           Picture* window, Screen::Rect* at, std::string* why, int ms = 8000) {
    for (int waited = 0; waited <= ms; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (!GrabTools(screen, window, at)) continue;
        bool all = true;
        for (const auto& [label, text] : rows) all = all && RowShows(*window, label, text, why);
        if (all) return true;
    }
    return false;
}

// Turns the mouse wheel `notches` towards the end over the statistic list whose "Count:"
// label the picture of the window (standing at `at` on the screen) shows: the rows a short
// window hides come into it. False when the list is not in the picture.
inline bool WheelListDown(Display* d, const Picture& window, const Screen::Rect& at, int notches) {
    int lx = 0, ly = 0;
    if (!FindInk(window, 0, 0, window.width, window.height, ListInk("Count:"), &lx, &ly)) return false;
    MoveTo(d, DefaultRootWindow(d), at.left + lx + 10, at.top + ly + 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int notch = 0; notch < notches; ++notch) {
        XTestFakeButtonEvent(d, 5, True, CurrentTime);
        XTestFakeButtonEvent(d, 5, False, CurrentTime);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

}  // namespace orva::testing_program
