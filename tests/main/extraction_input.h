#pragma once
// What a user does to measure something and see it on the "Chart Tools" chart: start the
// program on a file until both windows stand, and choose Extraction/Statistic > Create >
// a mask kind > a shape on the main window's page column, with XTest moves and clicks,
// each step waiting for the screen to show what comes next.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <sys/stat.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"

namespace orva::testing_program {

// Waits up to `ms` for the text in a box of the root window (grabbed into `shot`); where
// it stands.
inline bool WaitForScreenText(Screen& screen, Picture* shot, const std::string& text, int x, int y, int w, int h,
                              int* at, int* aty, int ms = 5000) {
    const Window root = DefaultRootWindow(screen.display());
    for (int waited = 0; waited <= ms; waited += 200) {
        if (screen.Grab(root, shot) && FindText(*shot, x, y, w, h, text, at, aty)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// Opens a menu of the main window's menu bar (its row's y below the window's top; the
// bar stands in a column at the window's left) and clicks the popup's entry; with `inner`
// the entry opens a submenu beside it, whose entry `inner` is clicked.
inline bool ChooseMainMenuEntry(Screen& screen, Window main, int rowY, const std::string& entry,
                                const std::string& inner = "") {
    Display* d = screen.display();
    const Window root = DefaultRootWindow(d);
    const Screen::Rect m = screen.RectOf(main);
    for (int attempt = 0; attempt < 3; ++attempt) {
        ClickAt(d, root, m.left + 20, m.top + rowY);
        Picture p;
        int x = 0, y = 0;
        // A second click on the bar would close a menu that is only slow to come (a busy
        // machine): the click goes again only after a long wait.
        if (WaitForScreenText(screen, &p, entry, m.left + 40, m.top + 40, 400, 600, &x, &y, 8000)) {
            // The entry is hovered before the click, as a hand does.
            MoveTo(d, root, x + 5, y + 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            if (!inner.empty()) {
                int ix = 0, iy = 0;
                if (!WaitForScreenText(screen, &p, inner, x + 40, y - 30, 320, 280, &ix, &iy, 8000)) continue;
                // Along the entry's row into the submenu, then onto its entry.
                MoveTo(d, root, ix - 2, y + 4);
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                x = ix;
                y = iy;
                MoveTo(d, root, x + 5, y + 4);
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
            }
            ClickAt(d, root, x + 10, y + 4);
            return true;
        }
    }
    return false;
}

// The centre of tab n of the main window's page column.
inline bool PageColumnTab(Screen& screen, Window main, int n, int* x, int* y) {
    const Screen::Rect m = screen.RectOf(main);
    Picture shot;
    return screen.Grab(DefaultRootWindow(screen.display()), &shot) && PageTab(shot, m.left, m.top, n, x, y);
}

// Starts the program on `file` in its own folder under `folder`, with the pointer out of
// the way, once the main window shows, the file is read and the "Chart Tools" window
// stands; the main window, or 0.
inline Window StartForChart(Screen& screen, std::optional<ProgramRun>& program, const std::string& folder,
                            const std::string& file) {
    Display* d = screen.display();
    MoveTo(d, DefaultRootWindow(d), 2, DisplayHeight(d, DefaultScreen(d)) - 2);
    std::string why;
    const Window main = StartOnFiles(screen, program, folder, {file}, &why);
    EXPECT_NE(main, 0u) << why;
    return main != 0 && screen.WaitForWindow("Chart Tools", 20000) != 0 ? main : 0;
}

// Extraction/Statistic > Create > `menu` > `entry`; the row of "Create" in `editY`. The
// pointer ends in the screen's bottom-left corner.
inline ::testing::AssertionResult CreateFromExtractionPage(Screen& screen, Window main, const std::string& menu,
                                                           const std::string& entry, int* editY = nullptr) {
    Display* d = screen.display();
    const Window root = DefaultRootWindow(d);
    const Screen::Rect m = screen.RectOf(main);
    Picture shot;
    int x = 0, y = 0;
    bool tab = false;
    for (int waited = 0; waited < 10000 && !tab; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        tab = PageColumnTab(screen, main, 2, &x, &y);
    }
    if (!tab) return ::testing::AssertionFailure() << "no page tabs";
    ClickAt(d, root, x, y);
    if (!WaitForScreenText(screen, &shot, "Create", m.left, m.top, 330, 500, &x, &y))
        return ::testing::AssertionFailure() << "no Create on the Extraction/Statistic page";
    if (editY != nullptr) *editY = y;
    ClickAt(d, root, x + 10, y + 4);
    if (!WaitForScreenText(screen, &shot, menu, x, y, 300, 100, &x, &y))
        return ::testing::AssertionFailure() << "no " << menu;
    MoveTo(d, root, x + 10, y + 4);
    if (!WaitForScreenText(screen, &shot, entry, x + 60, y - 10, 250, 60, &x, &y))
        return ::testing::AssertionFailure() << "no " << entry;
    MoveTo(d, root, x - 10, y + 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ClickAt(d, root, x + 10, y + 4);
    MoveTo(d, root, 2, DisplayHeight(d, DefaultScreen(d)) - 2);
    return ::testing::AssertionSuccess();
}

}  // namespace orva::testing_program
