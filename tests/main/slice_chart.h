#pragma once
// Making a chart as a user does: the main window's "Extraction/S.." page tab, "Create" and
// a submenu entry (such as "Slice mask" > "Line"), clicked through the X server and found
// by their texts on the screen.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"

namespace orva::testing_program {

// Waits up to `ms` for the text in the box of the root window; where it stands, with the
// last picture in `shot`.
inline bool WaitForRootText(Screen& screen, Picture* shot, const std::string& text, int x, int y,
                            int w, int h, int* at, int* aty, int ms = 5000) {
    const Window root = DefaultRootWindow(screen.display());
    for (int waited = 0; waited <= ms; waited += 200) {
        if (screen.Grab(root, shot) && FindText(*shot, x, y, w, h, text, at, aty)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// The tabs of the main window's page column: the runs of the tab colours in the first row
// that holds the chosen tab's colour left of the workspace; the centre of tab n.
inline bool MainPageTab(Screen& screen, Window main, int n, int* x, int* y) {
    static constexpr uint8_t kChosen[3] = {153, 255, 153}, kOther[3] = {41, 145, 41};
    const Screen::Rect m = screen.RectOf(main);
    Picture shot;
    if (!screen.Grab(DefaultRootWindow(screen.display()), &shot)) return false;
    auto tab = [&](int px, int row) {
        return SameColour(shot.At(px, row), kChosen) || SameColour(shot.At(px, row), kOther);
    };
    for (int row = m.top; row < m.top + 400; ++row) {
        std::vector<std::pair<int, int>> runs;
        for (int px = m.left; px < m.left + 330; ++px) {
            if (!tab(px, row)) continue;
            int end = px;
            while (end < m.left + 330 && tab(end, row)) ++end;
            if (end - px >= 20) runs.push_back({px, end});
            px = end;
        }
        if (static_cast<int>(runs.size()) > n && runs.size() >= 4) {
            *x = (runs[n].first + runs[n].second) / 2;
            *y = row + 4;
            return true;
        }
    }
    return false;
}

// Extraction/Statistic > Create > `menu` > `entry`, then the pointer to the screen's
// lower left corner; the row of "Create" in `createY`.
inline ::testing::AssertionResult CreateFromExtractionPage(Screen& screen, Window main,
                                                           const std::string& menu,
                                                           const std::string& entry,
                                                           int* createY = nullptr) {
    Display* d = screen.display();
    const Window root = DefaultRootWindow(d);
    const Screen::Rect m = screen.RectOf(main);
    Picture shot;
    int x = 0, y = 0;
    bool found = false;
    for (int waited = 0; waited < 10000 && !found; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        found = MainPageTab(screen, main, 2, &x, &y);
    }
    if (!found) return ::testing::AssertionFailure() << "no page tabs";
    ClickAt(d, root, x, y);
    if (!WaitForRootText(screen, &shot, "Create", m.left, m.top, 330, 500, &x, &y))
        return ::testing::AssertionFailure() << "no Create on the Extraction/Statistic page";
    if (createY != nullptr) *createY = y;
    ClickAt(d, root, x + 10, y + 4);
    if (!WaitForRootText(screen, &shot, menu, x, y, 300, 100, &x, &y))
        return ::testing::AssertionFailure() << "no " << menu;
    MoveTo(d, root, x + 10, y + 4);
    if (!WaitForRootText(screen, &shot, entry, x + 60, y - 10, 250, 60, &x, &y))
        return ::testing::AssertionFailure() << "no " << entry;
    MoveTo(d, root, x - 10, y + 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ClickAt(d, root, x + 10, y + 4);
    MoveTo(d, root, 2, DisplayHeight(d, DefaultScreen(d)) - 2);
    return ::testing::AssertionSuccess();
}

}  // namespace orva::testing_program
