// What a user sees of a measured region in the real program, driven by XTest alone and
// judged by the screen: an image written by astropy (a star on a flat ground, inside a
// white border), View > Layout > "Statistic Overlay" opened while nothing is measured
// (its cells empty), a rectangle dragged open with F7 symmetric about the star. The
// overlay then shows numpy's count, mean, median and centroid of the rectangle's pixels;
// the "Chart Tools" list shows the full table (interval, background, centroid and FWHM
// rows, the squared sign in the second-moment labels), scrolled with the wheel where its
// window is short; the chart's image strip stands under the histogram at its height; the
// window's Channels page is listed and shown; Del empties the overlay again. On a screen
// of 1024 x 768 "Chart Tools" stands over the main window from the start and F4 hides it.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "extraction_input.h"
#include "framed_picture.h"
#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"
#include "shape_program.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::InkMask;
using testing_program::ListInk;
using testing_program::ListNumber;
using testing_program::Picture;
using testing_program::ProgramPlace;
using testing_program::ProgramRun;
using testing_program::Screen;

// A 400 x 300 flat ground of 100 with a star of 3000 at pixel (200, 150), a white border
// two pixels wide round it. With "stats" it prints numpy's figures of the rectangle
// [180, 221) x [130, 171) about the star: count, mean, median and the centroid weighted by
// the values above the smallest (the star is symmetric about it, so any threshold gives
// the same centre).
constexpr const char* kStar = R"(
import sys
import numpy as np
from astropy.io import fits
y, x = np.mgrid[0:300, 0:400]
v = (100 + 3000 * np.exp(-((x - 200.0) ** 2 + (y - 150.0) ** 2) / 18.0)).astype(np.float32)
v[:2, :] = v[-2:, :] = 4000
v[:, :2] = v[:, -2:] = 4000
if sys.argv[2] == 'make':
    fits.PrimaryHDU(v).writeto(sys.argv[1] + '/star.fits', overwrite=True)
    sys.exit(0)
r = v[130:171, 180:221].astype(np.float64)
w = r - r.min()
ry, rx = np.mgrid[130:171, 180:221]
print(r.size, repr(r.mean()), repr(np.median(r)), repr((w * rx).sum() / w.sum()), repr((w * ry).sum() / w.sum()))
)";

class StatisticOverlayProgram : public testing_program::ShapeProgram {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("star.py"), kStar);
        ASSERT_EQ(Python("make"), "");
        ASSERT_NO_FATAL_FAILURE(StartOn({"star.fits"}));
        ASSERT_NE(screen.WaitForWindow("Chart Tools", 20000), 0u);
    }

    std::string Python(const std::string& what) {
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " '" + files.File("star.py") + "' '" + files.Path() + "' " + what + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        return out;
    }

    // The rows of a list in the box of the screen: each label found in the lists' face
    // must show its value (an empty text: an empty cell), within `ms`. The screen read
    // last stays in `last`.
    ::testing::AssertionResult RowsShow(const std::vector<std::pair<std::string, std::string>>& rows,
                                        const Screen::Rect& box, int ms = 10000) {
        std::string why;
        // A screen that could not be read waits its quarter second like any other round.
        const bool shown = testing_util::WaitUntil(
            [&] {
                Picture& p = last;
                if (!Grab(&p)) return false;
                why.clear();
                for (const auto& [label, value] : rows) {
                    int x = 0, y = 0;
                    std::string cell;
                    if (!testing_program::FindInk(p, box.left, box.top, box.right - box.left, box.bottom - box.top,
                                                  ListInk(label), &x, &y))
                        why += "no row " + label + "; ";
                    else if (!testing_program::ValueCellShows(p, x, y, value, &cell))
                        why += label + " " + cell + "; ";
                }
                return why.empty();
            },
            ms, 250);
        if (shown) return ::testing::AssertionSuccess();
        testing_program::WritePpm(ORVA_BINARY_DIR "/statistic_overlay.ppm", last);
        return ::testing::AssertionFailure() << why << "(the screen: " ORVA_BINARY_DIR "/statistic_overlay.ppm)";
    }

    // View > `submenu` > `entry`: opened, the entry found right of the submenu's own entry;
    // it is clicked unless only asked whether it carries a check mark (`checked`).
    bool ViewSubmenu(const std::string& submenu, const std::string& entry, bool* checked = nullptr) {
        const Screen::Rect m = screen.RectOf(main);
        const int vx = m.left + 12, vy = m.top + 104;
        testing_program::ClickAt(D(), Root(), vx + 8, vy + 4);
        int sx = 0, sy = 0, ex = 0, ey = 0;
        if (!WaitForText(submenu, vx, vy, 400, 200, &sx, &sy)) return false;
        testing_program::MoveTo(D(), Root(), sx + 10, sy + 4);
        if (!WaitForText(entry, sx + 60, sy - 20, 400, 300, &ex, &ey)) return false;
        // Into the submenu along its row, then down to the entry.
        testing_program::MoveTo(D(), Root(), ex - 4, sy + 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        testing_program::MoveTo(D(), Root(), ex + 5, ey + 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (checked != nullptr) {
            int cx = 0, cy = 0;
            *checked = Grab(&shot) && testing_program::FindText(shot, ex + 60, ey - 3, 160, 16, std::string(1, '\0'), &cx, &cy);
            testing_program::PressKeys(D(), {XK_Escape});
            testing_program::PressKeys(D(), {XK_Escape});
            return true;
        }
        testing_program::ClickAt(D(), Root(), ex + 10, ey + 4);
        return true;
    }

    Picture last;
};

TEST_F(StatisticOverlayProgram, TheOverlayAndTheChartToolsListShowTheMeasuredRegion) {
    std::istringstream figures(Python("stats"));
    double count = 0, mean = 0, median = 0, xc = 0, yc = 0;
    figures >> count >> mean >> median >> xc >> yc;
    ASSERT_EQ(count, 1681.0);
    const Screen::Rect tools = screen.RectOf(screen.FindWindow("Chart Tools"));
    ASSERT_GT(tools.top, 0);
    // The overlay stands above the "Chart Tools" window on this screen.
    const int band = tools.top;
    const Screen::Rect above{0, 0, DisplayWidth(D(), DefaultScreen(D())), band};

    // Nothing is measured yet: the overlay's rows stand with empty values.
    ASSERT_TRUE(ViewSubmenu("Layout", "Statistic Overlay")) << "no View > Layout > Statistic Overlay";
    EXPECT_TRUE(RowsShow({{"Count:", ""}, {"Median:", ""}, {"Xcen:", ""}}, above)) << "before a region";

    DragRectangle(180, 130, 221, 171);
    testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
    EXPECT_TRUE(RowsShow({{"Count:", "1681"},
                          {"Mean:", ListNumber(mean)},
                          {"Median:", ListNumber(median)},
                          {"Xcen:", ListNumber(xc)},
                          {"Ycen:", ListNumber(yc)}},
                         above))
        << "the overlay after the rectangle";
    // The full table's rows, the squared sign in the second moments' labels.
    for (const char* label : {"Interval:", "Bkgr Thrsh:", "X \u00b2 :", "XY \u00b2 :", "FWHM:", "GausPrb:"}) {
        int x = 0, y = 0;
        EXPECT_TRUE(testing_program::FindInk(last, 0, 0, last.width, band, ListInk(label), &x, &y)) << label;
    }

    // The "Chart Tools" list: the full table's first rows, Count and Median among them.
    // A busy program can paint the list's labels before its values: the list is judged
    // once the Count row shows its value.
    Picture window;
    int lx = 0, ly = 0, cx = 0, cy = 0;
    std::string why;
    ASSERT_TRUE(testing_util::WaitUntil(
        [&] {
            return screen.Grab(Root(), &window) &&
                   testing_program::FindInk(window, tools.left, tools.top, tools.right - tools.left,
                                            tools.bottom - tools.top, ListInk("Interval:"), &lx, &ly) &&
                   testing_program::FindInk(window, lx - 2, tools.top, 70, tools.bottom - tools.top,
                                            ListInk("Count:"), &cx, &cy) &&
                   testing_program::ValueCellShows(window, cx, cy, "1681", &why);
        },
        10000))
        << "no Count row showing 1681 in the Chart Tools list: " << why;
    for (const char* label : {"Count:", "Bkgr:", "Flux:", "Max:", "Min:", "Mean:", "Median:"}) {
        int x = 0, y = 0;
        EXPECT_TRUE(testing_program::FindInk(window, lx - 2, tools.top, 70, tools.bottom - tools.top, ListInk(label), &x, &y))
            << label;
    }
    // Its window is short here: the rest of the rows come with the wheel over the list.
    Picture toolsWindow;
    ASSERT_TRUE(screen.Grab(screen.FindWindow("Chart Tools"), &toolsWindow));
    EXPECT_TRUE(testing_program::WheelListDown(D(), toolsWindow, tools, 10));
    // The notches reach the list one by one: the centroid's rows come into view some notches
    // before the list's last rows, so the list is judged once its last row shows.
    const std::vector<const char*> lastRows = {"X \u00b2 :", "Y \u00b2 :", "FWHM:", "GausPrb:"};
    auto shows = [&](const char* label) {
        int x = 0, y = 0;
        return testing_program::FindInk(last, tools.left, tools.top, tools.right - tools.left,
                                        tools.bottom - tools.top, ListInk(label), &x, &y);
    };
    testing_util::WaitUntil([&] { return Grab(&last) && shows("GausPrb:"); }, 10000, 250);
    EXPECT_TRUE(RowsShow({{"Xcen:", ListNumber(xc)}, {"Ycen:", ListNumber(yc)}}, tools))
        << "the Chart Tools list scrolled";
    for (const char* label : lastRows) EXPECT_TRUE(shows(label)) << label;

    // The image strip under the histogram: its light samples in the plot, along the curve
    // (the bins' tops joined), never above it and over at least half its height.
    Picture chart;
    ASSERT_TRUE(screen.Grab(screen.FindWindow("Chart Tools"), &chart));
    const testing_program::Plot plot = testing_program::FindPlot(chart);
    ASSERT_TRUE(plot.found);
    int strip = 0, stripTop = plot.bottom, stripBottom = -1, inkTop = plot.bottom, inkBottom = -1;
    for (int y = plot.top; y < plot.bottom; ++y)
        for (int x = plot.left + 3; x < plot.right; ++x) {
            const uint8_t* p = chart.At(x, y);
            if (testing_program::White(p)) {
                ++strip;
                stripTop = std::min(stripTop, y);
                stripBottom = std::max(stripBottom, y);
            } else if (testing_program::Ink(p)) {
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y);
            }
        }
    EXPECT_GE(strip, 20) << "no strip under the plot";
    EXPECT_GE(stripTop, inkTop - 1) << "the strip stands above the curve";
    EXPECT_GE(stripBottom - stripTop, (inkBottom - inkTop) / 2)
        << "the strip from " << stripTop << " to " << stripBottom << ", the curve from " << inkTop << " to " << inkBottom;

    // The Channels page of "Chart Tools" is listed and shown (one channel: no buttons).
    bool checked = false;
    ASSERT_TRUE(ViewSubmenu("Chart Tools", "Channels", &checked)) << "no View > Chart Tools > Channels";
    EXPECT_TRUE(checked);

    // Del over the picture takes the region away: the overlay's values go with it.
    testing_program::MoveTo(D(), Root(), SX(200) + 1, SY(150));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    testing_program::MoveTo(D(), Root(), SX(200), SY(150));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    testing_program::PressKeys(D(), {XK_Delete});
    testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
    EXPECT_TRUE(RowsShow({{"Count:", ""}, {"Mean:", ""}, {"Xcen:", ""}}, above)) << "after Del";
    EXPECT_EQ(program->End(), 0);

    // On a screen of 1024 x 768 "Chart Tools" stands over the main window's lower part from
    // the start; F4 hides it.
    testing_program::SecondDisplay small("1024x768x24");
    ASSERT_FALSE(small.Name().empty());
    Screen other(small.Name().c_str());
    ProgramPlace place;
    place.display = small.Name();
    mkdir(files.File("small").c_str(), 0700);
    ProgramRun run(files.File("small"), {files.File("star.fits")}, place);
    const Window smallMain = other.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    const Window smallTools = other.WaitForWindow("Chart Tools", 20000);
    ASSERT_NE(smallMain, 0u) << run.Log();
    ASSERT_NE(smallTools, 0u) << "Chart Tools hidden at start\n" << run.Log();
    const Screen::Rect m = other.RectOf(smallMain), t = other.RectOf(smallTools);
    EXPECT_TRUE(m.Overlaps(t));
    EXPECT_EQ(std::vector<int>({t.left, t.top, t.bottom}), std::vector<int>({0, 249, 743}));
    testing_program::MoveTo(other.display(), DefaultRootWindow(other.display()), m.left + 500, m.top + 120);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    testing_program::PressKeys(other.display(), {XK_F4});
    EXPECT_TRUE(testing_util::WaitUntil([&] { return other.FindWindow("Chart Tools") == 0; }, 10000))
        << "F4 leaves Chart Tools";
    EXPECT_EQ(run.End(), 0);
}

}  // namespace
}  // namespace orva
