// The main window's page column as a user sees it: the program started on a FITS file
// written by astropy shows the Source's pages under its "Source" tab, beside the
// workspace and not under it; the page's own tabs switch between Info and Options, and
// the window lengthens to hold the taller Options page as far as the "Chart Tools" window
// below it lets it. Read back with XGetImage and clicked with XTest.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "test_support.h"

#include <X11/extensions/XTest.h>

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

using testing_program::kChosenTab;
using testing_program::kOtherTab;

bool Is(const uint8_t* p, const uint8_t* colour) {
    return p[0] == colour[0] && p[1] == colour[1] && p[2] == colour[2];
}

// A run of one colour in a row: [from, to).
struct ColourRun {
    int y = -1, from = 0, to = 0;
};

// The first run of at least `length` pixels of the colour at or below row `fromRow`,
// starting left of column `beforeX`.
ColourRun FindRun(const Picture& p, const uint8_t* colour, int fromRow, int length, int beforeX = 1 << 30) {
    for (int y = fromRow; y < p.height; ++y) {
        for (int x = 0; x < p.width && x < beforeX; ++x) {
            if (!Is(p.At(x, y), colour)) continue;
            int end = x;
            while (end < p.width && Is(p.At(end, y), colour)) ++end;
            if (end - x >= length) return ColourRun{y, x, end};
            x = end;
        }
    }
    return ColourRun{};
}

// The first row below `y` without the colour at column x (the band's end).
int BandEnd(const Picture& p, const uint8_t* colour, int x, int y) {
    while (y < p.height && Is(p.At(x, y), colour)) ++y;
    return y;
}

using testing_program::ChildWindow;
using testing_program::ChildWindows;

int WindowHeight(Display* d, Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) ? a.height : 0;
}

void Click(Display* d, Window w, int x, int y) {
    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(d, -1, rx, ry, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
}

// Light page pixels and dark text pixels of a rectangle.
struct Ink {
    int light = 0, dark = 0, all = 0;
};

Ink Count(const Picture& p, int x0, int y0, int x1, int y1) {
    Ink ink;
    for (int y = y0; y < y1 && y < p.height; ++y) {
        for (int x = x0; x < x1 && x < p.width; ++x) {
            const uint8_t* c = p.At(x, y);
            ++ink.all;
            if (c[0] > 190 && c[1] > 190 && c[2] > 190) ++ink.light;
            if (c[0] < 90 && c[1] < 90 && c[2] < 90) ++ink.dark;
        }
    }
    return ink;
}

TEST(PageColumnProgram, TheSourcePagesShowBesideTheWorkspace) {
    if (!testing_program::HaveRoadTools()) GTEST_SKIP() << "astropy or numpy not installed";
    Screen screen;
    ASSERT_NE(screen.display(), nullptr) << "no X display";
    Display* d = screen.display();
    int a, b, c, e;
    if (!XTestQueryExtension(d, &a, &b, &c, &e)) GTEST_SKIP() << "no XTest";
    testing_util::TempFolder files;
    const std::string file = files.File("ramp.fits");
    int status = -1;
    testing_program::RunCommand(ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
                                "y, x = np.mgrid[0:200, 0:300]; "
                                "fits.PrimaryHDU((x + y).astype(np.int16)).writeto(\"" +
                                    file + "\")' 2>&1",
                                &status);
    ASSERT_EQ(status, 0);
    const std::string folder = files.File("run");
    mkdir(folder.c_str(), 0700);
    ProgramRun program(folder, {file});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Source format", 20000)) << program.Log();

    // The Source tab is chosen; under it the page's title label and its own tab bar,
    // "Info" chosen. Wait until the column is laid out (the workspace beside it).
    Picture shown;
    ColourRun groupTabs, pageTabs;
    ChildWindow host;
    bool ready = false;
    for (int waited = 0; waited < 20000 && !ready; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        screen.Raise(main);
        if (!screen.Grab(main, &shown)) continue;
        // The column's tabs lie left of the workspace; the file's tab in the strip above the
        // workspace has the same colours.
        ChildWindow widest{0, 0, 0, 0};
        for (const ChildWindow& ch : ChildWindows(d, main))
            if (ch.width * ch.height > widest.width * widest.height) widest = ch;
        const int column = widest.width > 0 ? widest.x : shown.width;
        groupTabs = FindRun(shown, kChosenTab, 0, 40, column);
        if (groupTabs.y < 0) continue;
        pageTabs = FindRun(shown, kChosenTab, BandEnd(shown, kChosenTab, groupTabs.from, groupTabs.y) + 2, 40, column);
        if (pageTabs.y < 0) continue;
        // The workspace: the widest child window reaching below the tab bars.
        host = ChildWindow{};
        for (const ChildWindow& ch : ChildWindows(d, main))
            if (ch.y + ch.height > pageTabs.y && ch.width * ch.height > host.width * host.height) host = ch;
        ready = host.width > 0 && host.x > pageTabs.to;
    }
    ASSERT_TRUE(ready) << "no page tab bar beside the workspace\n" << program.Log();
    testing_program::WritePpm(ORVA_BINARY_DIR "/page_column_info.ppm", shown);

    // No child window covers the column below the page's tab bar.
    const int top = BandEnd(shown, kChosenTab, pageTabs.from, pageTabs.y) + 2;
    const int bottom = top + 300;
    ASSERT_LT(bottom, shown.height);
    for (const ChildWindow& ch : ChildWindows(d, main)) {
        const bool covers = ch.x < host.x && ch.x + ch.width > 0 && ch.y < bottom && ch.y + ch.height > top;
        EXPECT_FALSE(covers) << "a child window at (" << ch.x << ", " << ch.y << ") " << ch.width << " x "
                             << ch.height;
    }
    // The Info page is drawn there: a light page with text, where the workspace is black.
    const Ink info = Count(shown, 4, top, host.x - 4, bottom);
    EXPECT_GT(info.light, info.all / 2);
    EXPECT_GT(info.dark, 300);

    // "Options", the next tab of the page's tab bar: the window lengthens to hold it as far
    // as the screen and the "Chart Tools" window below it let it (the column scrolls the
    // rest).
    const int height = WindowHeight(d, main);
    const Window tools = screen.WaitForWindow("Chart Tools", 5000);
    ASSERT_NE(tools, 0u);
    const Screen::Rect toolsAt = screen.RectOf(tools);
    const int middle = pageTabs.y + 3;
    int optionsX = pageTabs.to;
    while (optionsX < shown.width && !Is(shown.At(optionsX, middle), kOtherTab)) ++optionsX;
    ASSERT_LT(optionsX + 20, host.x);
    Click(d, main, optionsX + 20, middle);
    // The pixels of the page's place that differ from the Info page's.
    auto differing = [&](const Picture& options) {
        int differ = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 4; x < host.x - 4; ++x)
                if (!Is(shown.At(x, y), options.At(x, y))) ++differ;
        return differ;
    };
    // The tab bar shows the tab chosen first; the page follows.
    Picture options;
    bool switched = false;
    testing_util::WaitUntil([&] {
        screen.Raise(main);
        if (!screen.Grab(main, &options)) return false;
        const ColourRun chosen = FindRun(options, kChosenTab, pageTabs.y, 40);
        switched = chosen.y == pageTabs.y && chosen.from > pageTabs.to;
        return switched && differing(options) > 2000;
    });
    testing_program::WritePpm(ORVA_BINARY_DIR "/page_column_options.ppm", options);
    ASSERT_TRUE(switched) << "the Options tab is not chosen";
    EXPECT_GE(WindowHeight(d, main), height);
    EXPECT_FALSE(screen.RectOf(main).Overlaps(toolsAt)) << program.Log();
    // Another page in the same place: light with text, and not the Info page's pixels.
    const Ink optionsInk = Count(options, 4, top, host.x - 4, bottom);
    EXPECT_GT(optionsInk.light, optionsInk.all / 2);
    EXPECT_GT(optionsInk.dark, 300);
    EXPECT_GT(differing(options), 2000);
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

}  // namespace
}  // namespace orva
