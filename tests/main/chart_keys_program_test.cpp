// The chart's zoom and scroll keys, pressed through the X server with the pointer held
// still off the "Chart Tools" window, show their new view at once in the window's zoom bar
// (the zoom as a ratio of pixels to samples and in per cent) and in its tool panel (the
// shown samples under "RANGE X:", the y range under "MAX/MIN:"), read off the screen: the
// real program on a parabola written by astropy, sliced along its middle row with
// Extraction/Statistic > Create > Slice mask > Line (101 samples).
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "chart_screen.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "extraction_input.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

constexpr int kSamples = 101;

constexpr const char* kScript = R"(
import sys
import numpy as np
from astropy.io import fits
y, x = np.mgrid[0:160, 0:200]
fits.PrimaryHDU(((x - 97) ** 2 // 8).astype(np.int16)).writeto(sys.argv[1] + '/parabola.fits', overwrite=True)
)";

// The zoom as the bar writes it: "%u:1" for whole pixels a sample, else "%.2f:1".
std::string RatioText(double pixelsPerSample) {
    char text[32];
    if (pixelsPerSample == std::floor(pixelsPerSample))
        std::snprintf(text, sizeof text, "%u:1", static_cast<unsigned>(pixelsPerSample));
    else
        std::snprintf(text, sizeof text, "%.2f:1", pixelsPerSample);
    return text;
}

class ChartKeysProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty())
            GTEST_SKIP() << why;
        testing_util::WriteText(files.File("make.py"), kScript);
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " '" + files.File("make.py") + "' '" + files.Path() + "' 2>&1",
            &status);
        ASSERT_EQ(status, 0) << out;
    }

    Display* D() { return screen.display(); }
    Window Root() { return DefaultRootWindow(D()); }
    void PointerAway() {
        testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
    }

    // The "Chart Tools" window's picture, in screen coordinates.
    bool GrabTools(Picture* shot, Screen::Rect* at) {
        const Window tools = screen.FindWindow("Chart Tools");
        if (tools == 0) return false;
        *at = screen.RectOf(tools);
        return screen.Grab(Root(), shot);
    }

    // Waits until the window shows every text (nothing: no wait); what it lacked.
    ::testing::AssertionResult Shows(const std::vector<std::string>& texts, int ms = 4000) {
        std::string missing;
        for (int waited = 0; waited <= ms; waited += 200) {
            Picture shot;
            Screen::Rect t;
            missing.clear();
            if (GrabTools(&shot, &t)) {
                int x = 0, y = 0;
                for (const std::string& text : texts)
                    if (!FindText(shot, t.left, t.top, t.right - t.left, t.bottom - t.top, text, &x,
                                  &y))
                        missing += " \"" + text + "\"";
                if (missing.empty()) return ::testing::AssertionSuccess();
            } else {
                missing = " the window";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return ::testing::AssertionFailure() << "no" << missing;
    }

    // The panel's rows, when they are on the screen: the place of "RANGE X:".
    bool PanelRow(const std::string& label, int* x, int* y) {
        Picture shot;
        Screen::Rect t;
        return GrabTools(&shot, &t) &&
               FindText(shot, t.left, t.top, 320, t.bottom - t.top, label, x, y);
    }

    // The two fields right of a panel label show `first` and `second` (waits for them).
    ::testing::AssertionResult FieldsRead(const std::string& label, const std::string& first,
                                          const std::string& second, int ms = 4000) {
        int lx = 0, ly = 0;
        if (!PanelRow(label, &lx, &ly)) return ::testing::AssertionFailure() << "no " << label;
        for (int waited = 0; waited <= ms; waited += 200) {
            Picture shot;
            Screen::Rect t;
            int x = 0, y = 0;
            if (GrabTools(&shot, &t) && FindText(shot, lx + 40, ly - 4, 110, 20, first, &x, &y) &&
                FindText(shot, lx + 145, ly - 4, 110, 20, second, &x, &y))
                return ::testing::AssertionSuccess();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return ::testing::AssertionFailure()
               << label << " does not read " << first << " and " << second;
    }

    // Waits until the first field right of a panel label no longer shows `text`.
    ::testing::AssertionResult FieldLeaves(const std::string& label, const std::string& text, int ms = 4000) {
        int lx = 0, ly = 0;
        if (!PanelRow(label, &lx, &ly)) return ::testing::AssertionFailure() << "no " << label;
        for (int waited = 0; waited <= ms; waited += 200) {
            Picture shot;
            Screen::Rect t;
            int x = 0, y = 0;
            if (GrabTools(&shot, &t) && !FindText(shot, lx + 40, ly - 4, 110, 20, text, &x, &y))
                return ::testing::AssertionSuccess();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return ::testing::AssertionFailure() << label << " still reads " << text;
    }

    Screen screen;
    testing_util::TempFolder files;
    std::optional<ProgramRun> program;
};

// The y zoom keys and F10 repaint the panel with the chart: after "Gray+" (and Ctrl with
// it) "MAX/MIN:" already reads the zoomed range under "User range", not the one before
// the key; F10 brings back the chart's range (0 to 351) under "Chart range" at once.
TEST_F(ChartKeysProgram, YZoomKeysAndF10ShowTheirRangeInThePanelAtOnce) {
    PointerAway();
    std::string why;
    const Window main = testing_program::StartOnFiles(screen, program, files.File("run"), {files.File("parabola.fits")}, &why);
    ASSERT_NE(main, 0u) << why;
    ASSERT_NE(screen.WaitForWindow("Chart Tools", 20000), 0u);
    ASSERT_TRUE(testing_program::CreateFromExtractionPage(screen, main, "Slice mask", "Line"));
    int x = 0, y = 0;
    for (int waited = 0; waited <= 8000 && !PanelRow("MAX/MIN:", &x, &y); waited += 250)
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    if (!PanelRow("MAX/MIN:", &x, &y)) GTEST_SKIP() << "the chart panel's rows lie off the screen";
    ASSERT_TRUE(FieldsRead("MAX/MIN:", "351.0", "0.0")) << "the chart range";
    ASSERT_TRUE(Shows({"Chart range"}));

    // The keys go to the chart after a click on its plot.
    Picture window;
    ASSERT_TRUE(screen.Grab(screen.FindWindow("Chart Tools"), &window));
    const testing_program::Plot plot = testing_program::FindPlot(window);
    ASSERT_TRUE(plot.found);
    Screen::Rect t;
    Picture shot;
    ASSERT_TRUE(GrabTools(&shot, &t));
    testing_program::ClickAt(D(), Root(), t.left + plot.left + 2, t.top + (plot.top + plot.bottom) / 2);
    PointerAway();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    testing_program::PressKeys(D(), {XK_KP_Add});
    EXPECT_TRUE(FieldLeaves("MAX/MIN:", "351.0")) << "Gray+";
    EXPECT_TRUE(Shows({"User range"})) << "Gray+";
    testing_program::PressKeys(D(), {XK_F10});
    EXPECT_TRUE(FieldsRead("MAX/MIN:", "351.0", "0.0")) << "F10";
    EXPECT_TRUE(Shows({"Chart range"})) << "F10";
    testing_program::PressKeys(D(), {XK_Control_L, XK_KP_Add});
    EXPECT_TRUE(FieldLeaves("MAX/MIN:", "351.0")) << "Ctrl+Gray+";
    EXPECT_TRUE(Shows({"User range"})) << "Ctrl+Gray+";
    EXPECT_EQ(program->End(), 0);
}

TEST_F(ChartKeysProgram, ZoomAndScrollKeysShowTheNewViewInTheZoomBarAndThePanelAtOnce) {
    PointerAway();
    std::string why;
    const Window main = testing_program::StartOnFiles(screen, program, files.File("run"), {files.File("parabola.fits")}, &why);
    ASSERT_NE(main, 0u) << why;
    ASSERT_NE(screen.WaitForWindow("Chart Tools", 20000), 0u);
    ASSERT_TRUE(testing_program::CreateFromExtractionPage(screen, main, "Slice mask", "Line"));

    // The plot's width from its cursor area; the fit puts the 101 samples into it, and the
    // bar tells that zoom with two decimals (a pixel more or less changes it).
    testing_program::Plot plot;
    Screen::Rect t;
    int width = 0;
    for (int waited = 0; waited <= 8000 && width == 0; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        Picture shot;
        if (!GrabTools(&shot, &t)) continue;
        Picture window;
        if (!screen.Grab(screen.FindWindow("Chart Tools"), &window)) continue;
        plot = testing_program::FindPlot(window);
        if (!plot.found) continue;
        for (int w = plot.right - plot.left - 2; w <= plot.right - plot.left + 2 && width == 0;
             ++w) {
            int x = 0, y = 0;
            if (FindText(shot, t.left, t.top, t.right - t.left, t.bottom - t.top,
                         RatioText(1.0 * w / kSamples), &x, &y))
                width = w;
        }
    }
    ASSERT_TRUE(plot.found) << "no chart";
    EXPECT_GT(width, 0) << "the bar shows no fit zoom near " << plot.right - plot.left
                        << " pixels / 101";
    if (width == 0) width = plot.right - plot.left;
    ASSERT_GT(width, kSamples);
    const bool panel = [&] {
        int x = 0, y = 0;
        return PanelRow("RANGE X:", &x, &y);
    }();
    if (panel) {
        EXPECT_TRUE(FieldsRead("RANGE X:", "101", "0")) << "the fit";
        EXPECT_TRUE(Shows({"reset X", "Chart Y"})) << "the panel's last buttons";
    } else {
        std::printf("The chart panel's rows lie off the screen: only the zoom bar is read.\n");
    }

    // A click at the plot's left edge gives the chart the keys and puts its cursor on the
    // first sample, so that a zoom keeps the view at sample 0.
    testing_program::ClickAt(D(), Root(), t.left + plot.left + 2,
                             t.top + (plot.top + plot.bottom) / 2);
    PointerAway();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // Shift+"Gray+" twice: from the fit (pixels a sample rounded up) the whole ratio n
    // grows to n rounded down to even, plus 2; the view shows width / n samples rounded up.
    int ratio = static_cast<int>(std::ceil(1.0 * width / kSamples));
    int shown = kSamples;
    for (int step = 1; step <= 2; ++step) {
        ratio = ratio < 2 ? ratio + 1 : (ratio & ~1) + 2;
        shown = std::min(kSamples, (width + ratio - 1) / ratio);
        testing_program::PressKeys(D(), {XK_Shift_L, XK_KP_Add});
        EXPECT_TRUE(Shows({RatioText(ratio), std::to_string(ratio * 100) + "%"}))
            << "zoom step " << step;
        if (panel) {
            EXPECT_TRUE(FieldsRead("RANGE X:", std::to_string(shown), "0")) << "zoom step " << step;
        }
    }

    // Shift+Right scrolls by a third of the shown samples.
    testing_program::PressKeys(D(), {XK_Shift_L, XK_Right});
    const int first = std::min(shown / 3, kSamples - shown);
    if (panel) {
        EXPECT_TRUE(FieldsRead("RANGE X:", std::to_string(shown), std::to_string(first)))
            << "Shift+Right";
    }

    // PageDown moves the y range (the chart's range of the profile, 0 to 351) up by half
    // its span.
    if (panel) {
        EXPECT_TRUE(FieldsRead("MAX/MIN:", "351.0", "0.0")) << "the chart range";
    }
    testing_program::PressKeys(D(), {XK_Next});
    if (panel) {
        EXPECT_TRUE(FieldsRead("MAX/MIN:", "526.5", "175.5")) << "PageDown";
    }
    // The zoom bar still tells the zoom.
    EXPECT_TRUE(Shows({RatioText(ratio)}));
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
