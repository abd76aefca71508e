// The first screen of the program as a user sees it on a 1280 x 1024 screen, read back
// with XGetImage and driven with XTest: the "Chart Tools" window does not cover the main
// window (its zoom bar and lens strip under the workspace stay in sight); with two files
// in one project the Source page column shows the current file's Info page exactly as a
// run on that file alone shows it (no field of another page drawn over it, no second
// tab of a kind); and the
// mouse wheel over a page taller than the column scrolls it.
#include <gtest/gtest.h>

#include <algorithm>
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

// The chosen tab and the other tabs of a tab bar.
constexpr uint8_t kChosen[3] = {153, 255, 153};
constexpr uint8_t kOther[3] = {41, 145, 41};

bool Is(const uint8_t* p, const uint8_t* c) { return p[0] == c[0] && p[1] == c[1] && p[2] == c[2]; }

// The top row, at or below `from`, holding at least 40 pixels of the colour in a run left
// of `right` (the page column: the file tabs over the workspace have the same colours); and
// where that run starts and ends. -1 when there is none.
int RowWithRun(const Picture& p, const uint8_t* colour, int from, int right, int* runEnd = nullptr,
               int* runStart = nullptr) {
    const int width = std::min(p.width, right);
    for (int y = std::max(0, from); y < p.height; ++y) {
        int run = 0;
        for (int x = 0; x < width; ++x) {
            run = Is(p.At(x, y), colour) ? run + 1 : 0;
            if (run >= 40) {
                if (runStart != nullptr) *runStart = x + 1 - run;
                while (x + 1 < width && Is(p.At(x + 1, y), colour)) ++x;
                if (runEnd != nullptr) *runEnd = x + 1;
                return y;
            }
        }
    }
    return -1;
}

// The main window's workspace: its largest child window. Its left edge ends the page column.
int WorkspaceLeft(Display* d, Window w) { return testing_program::LargestChildWindow(d, w).x; }

// The page column of the main window as shown: the row of the group's tab bar, the row
// of the page's own tab bar below it and the workspace's left edge.
struct Column {
    Picture picture;
    int groupTabs = -1, pageTabs = -1, pageTabsEnd = 0, right = 0;
};

// Waits until the column shows a page with its own tab bar (when `pageTabs`: a scrolled
// column may have moved it out of sight) beside the workspace and two grabs a moment apart
// agree (the page's values have arrived).
bool WaitForColumn(Screen& screen, Window main, Column* out, bool pageTabs = true, int ms = 20000) {
    Picture last;
    for (int waited = 0; waited < ms; waited += 300) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        screen.Raise(main);
        Column c;
        if (!screen.Grab(main, &c.picture)) continue;
        int start = 0;
        c.right = WorkspaceLeft(screen.display(), main);
        if (c.right <= 0) continue;
        c.groupTabs = RowWithRun(c.picture, kChosen, 0, c.right, nullptr, &start);
        if (c.groupTabs < 0) continue;
        // The chosen tab's left edge runs down to the bar's foot.
        int band = c.groupTabs;
        while (band < c.picture.height && Is(c.picture.At(start, band), kChosen)) ++band;
        c.pageTabs = RowWithRun(c.picture, kChosen, band + 2, c.right, &c.pageTabsEnd);
        if (pageTabs && (c.pageTabs < 0 || c.right <= c.pageTabsEnd)) continue;
        const bool steady = last.rgb == c.picture.rgb;
        last = c.picture;
        if (steady) {
            *out = std::move(c);
            return true;
        }
    }
    return false;
}

// Pixels of the rows [top, top + rows) of two column pictures, from x 4 to `right`, the
// second taken `shift` rows lower; the share that agree.
double Agreement(const Picture& a, int topA, const Picture& b, int topB, int rows, int right) {
    long same = 0, all = 0;
    for (int y = 0; y < rows; ++y) {
        if (topA + y >= a.height || topB + y >= b.height) break;
        for (int x = 4; x < right; ++x) {
            ++all;
            if (Is(a.At(x, topA + y), b.At(x, topB + y))) ++same;
        }
    }
    return all > 0 ? static_cast<double>(same) / static_cast<double>(all) : 0.0;
}

class FirstScreen : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        // A 2-D ramp and a 1-D line with a peak, written by astropy.
        int status = -1;
        testing_program::RunCommand(
            ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
            "y, x = np.mgrid[0:200, 0:300]; fits.PrimaryHDU((x + y).astype(np.int16)).writeto(\"" +
                files.File("ramp.fits") +
                "\"); "
                "s = np.linspace(1.0, 2.0, 1500).astype(np.float32); s[700] = 9.0; "
                "fits.PrimaryHDU(s).writeto(\"" +
                files.File("line.fits") + "\")' 2>&1",
            &status);
        ASSERT_EQ(status, 0);
    }
    // A folder of its own for each start.
    std::string RunFolder(const char* name) {
        const std::string folder = files.File(name);
        mkdir(folder.c_str(), 0700);
        return folder;
    }
    void Press(Window w, int x, int y, unsigned button) {
        Display* d = screen.display();
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(d, w, DefaultRootWindow(d), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent(d, -1, rx, ry, CurrentTime);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        XTestFakeButtonEvent(d, button, True, CurrentTime);
        XTestFakeButtonEvent(d, button, False, CurrentTime);
        XSync(d, False);
    }

    Screen screen;
    testing_util::TempFolder files;
};

TEST_F(FirstScreen, TheChartToolsWindowLeavesTheMainWindowInSight) {
    ProgramRun program(RunFolder("run"), {files.File("ramp.fits")});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    const Window tools = screen.WaitForWindow("Chart Tools", 20000);
    ASSERT_NE(tools, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Source format", 20000)) << program.Log();
    Column column;
    ASSERT_TRUE(WaitForColumn(screen, main, &column)) << program.Log();
    // Placed by their frames where a window manager frames them.
    const Screen::Rect m = screen.FramedRectOf(main), t = screen.FramedRectOf(tools);
    const int width = DisplayWidth(screen.display(), DefaultScreen(screen.display()));
    const int height = DisplayHeight(screen.display(), DefaultScreen(screen.display()));
    ASSERT_EQ(width, 1280) << "the test wants a screen of 1280 x 1024";
    ASSERT_EQ(height, 1024);
    // The main window as the start makes it; the tool window below it, whole on the screen.
    EXPECT_EQ(std::vector<int>({m.left, m.top, m.right, m.bottom}), std::vector<int>({190, 0, 1090, 706}));
    EXPECT_FALSE(m.Overlaps(t)) << "Chart Tools at (" << t.left << ", " << t.top << ") - (" << t.right << ", "
                                << t.bottom << ")";
    EXPECT_GE(t.left, 0);
    EXPECT_LE(t.right, width);
    EXPECT_LE(t.bottom, height);
    EXPECT_GE(t.bottom - t.top, 200);
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

TEST_F(FirstScreen, TwoFilesShowTheCurrentFilesInfoPageAsOneFileDoes) {
    // The line alone: its Info page.
    Column alone;
    {
        ProgramRun program(RunFolder("alone"), {files.File("line.fits")});
        const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
        ASSERT_NE(main, 0u) << program.Log();
        ASSERT_TRUE(program.WaitForLog("Source format", 20000)) << program.Log();
        ASSERT_TRUE(WaitForColumn(screen, main, &alone)) << program.Log();
        EXPECT_EQ(program.End(), 0);
    }
    // The ramp and then the line, into one project: the line is the current file.
    Column both;
    ProgramRun program(RunFolder("both"), {files.File("ramp.fits"), files.File("line.fits")});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("line.fits", 20000)) << program.Log();
    // The group's tab bar and the page below it, pixel for pixel: the tabs, the title, the
    // page's tabs and the Info page with its statistics table. The first file's Info page
    // stands until the line's is made, a while on a busy machine: the column is read again
    // until it shows the line's page or the time is up.
    int rows = 0;
    double agreement = 0;
    for (int tries = 0; tries < 20 && agreement != 1.0; ++tries) {
        ASSERT_TRUE(WaitForColumn(screen, main, &both)) << program.Log();
        rows = std::min(alone.picture.height - alone.groupTabs, both.picture.height - both.groupTabs) - 40;
        agreement = Agreement(alone.picture, alone.groupTabs, both.picture, both.groupTabs, rows, both.right - 4);
    }
    testing_program::WritePpm(ORVA_BINARY_DIR "/first_screen_alone.ppm", alone.picture);
    testing_program::WritePpm(ORVA_BINARY_DIR "/first_screen_both.ppm", both.picture);
    ASSERT_EQ(alone.right, both.right);
    ASSERT_GT(rows, 300);
    EXPECT_EQ(both.pageTabs - both.groupTabs, alone.pageTabs - alone.groupTabs);
    EXPECT_EQ(agreement, 1.0);
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

TEST_F(FirstScreen, TheWheelScrollsAPageTallerThanTheColumn) {
    ProgramRun program(RunFolder("run"), {files.File("ramp.fits")});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Source format", 20000)) << program.Log();
    Column info;
    ASSERT_TRUE(WaitForColumn(screen, main, &info)) << program.Log();
    // The Options page: taller than the column beside the workspace.
    int optionsX = info.pageTabsEnd;
    while (optionsX < info.right && !Is(info.picture.At(optionsX, info.pageTabs + 3), kOther)) ++optionsX;
    ASSERT_LT(optionsX + 20, info.right);
    Press(main, optionsX + 20, info.pageTabs + 3, 1);
    Column options;
    for (int tries = 0; tries < 20; ++tries) {
        ASSERT_TRUE(WaitForColumn(screen, main, &options)) << program.Log();
        int end = 0;
        if (RowWithRun(options.picture, kChosen, info.pageTabs, options.right, &end) == info.pageTabs && end > info.pageTabsEnd) break;
    }
    // A notch down (button 5) over the page: the column moves up by a step of 40 pixels.
    const int middle = (options.groupTabs + options.picture.height) / 2;
    Press(main, 60, middle, 5);
    Column scrolled;
    for (int tries = 0; tries < 20; ++tries) {
        ASSERT_TRUE(WaitForColumn(screen, main, &scrolled, false)) << program.Log();
        if (scrolled.picture.rgb != options.picture.rgb) break;
    }
    testing_program::WritePpm(ORVA_BINARY_DIR "/first_screen_options.ppm", options.picture);
    testing_program::WritePpm(ORVA_BINARY_DIR "/first_screen_scrolled.ppm", scrolled.picture);
    // The middle of the column (away from its edges, where whole rows come and go) shows
    // what was 40 rows lower; the group's tab bar stays.
    const int from = options.groupTabs + 100, rows = options.picture.height - 120 - from;
    ASSERT_GT(rows, 150);
    EXPECT_GT(Agreement(scrolled.picture, from, options.picture, from + 40, rows, options.right - 4), 0.97);
    EXPECT_LT(Agreement(scrolled.picture, from, options.picture, from, rows, options.right - 4), 0.9);
    EXPECT_EQ(Agreement(scrolled.picture, options.groupTabs, options.picture, options.groupTabs, 18,
                        options.right - 4),
              1.0);
    // And a notch up (button 4): as it was.
    Press(main, 60, middle, 4);
    Column back;
    for (int tries = 0; tries < 20; ++tries) {
        ASSERT_TRUE(WaitForColumn(screen, main, &back, false)) << program.Log();
        if (back.picture.rgb != scrolled.picture.rgb) break;
    }
    // (the widget under the pointer may be lit)
    const int column = options.picture.height - 25 - options.groupTabs;
    EXPECT_GT(Agreement(back.picture, options.groupTabs, options.picture, options.groupTabs, column,
                        options.right - 4),
              0.99);
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

}  // namespace
}  // namespace orva
