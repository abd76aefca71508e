// A 1-D spectrum as a user sees it: the program started on a FITS file that astropy
// wrote, its main window read back through the X server, and the curve looked for where
// the file's values put it: the plot is found by its grey cursor area, the peak's column
// holds the highest dark pixel, and the continuum lies on the rows its values give. The
// "Chart Tools" window shows its Reduction's chart beside it, empty while nothing is
// measured, for a spectrum as for an image. A user who clicks into the spectrum and
// presses keys (through the X server, while the "Chart Tools" window shown last still
// holds the keyboard focus) zooms, scrolls and restyles the curve that is shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "test_support.h"
// After the test headers: Xlib's macros would spoil them.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orva {
namespace {

using testing_program::Black;
using testing_program::Dark;
using testing_program::FindPlot;
using testing_program::Ink;
using testing_program::Picture;
using testing_program::Plot;
using testing_program::Red;
using testing_program::PressKeys;
using testing_program::ProgramRun;
using testing_program::Screen;

constexpr int kChartSamples = 600;
constexpr int kPeak = 400;

// The values the file holds (as float32, what astropy writes from the script below).
double Value(int i) {
    const double d = i - kPeak;
    return static_cast<float>(2.0 + i / 599.0 + 10.0 * std::exp(-d * d / 18.0));
}

// The empty chart of the "Chart Tools" cell: a block of the charts' light grey.
bool ShowsEmptyChart(const Picture& shot) {
    int longest = 0, rows = 0;
    for (int y = 0; y < shot.height; ++y) {
        int run = 0, best = 0;
        for (int x = 0; x < shot.width; ++x) {
            const uint8_t* p = shot.At(x, y);
            const bool chart = std::abs(p[0] - 211) <= 1 && p[0] == p[1] && p[1] == p[2];
            run = chart ? run + 1 : 0;
            best = std::max(best, run);
        }
        if (best >= 150) ++rows;
        longest = std::max(longest, best);
    }
    return longest >= 150 && rows >= 150;
}

// The columns where the curve reaches its highest row (the tops of the peaks), as the
// centres of their runs; `topRow` receives that row.
std::vector<double> PeakColumns(const Picture& shot, const Plot& plot, int* topRow) {
    std::vector<int> top(static_cast<size_t>(plot.right), plot.bottom);
    int highest = plot.bottom;
    for (int x = plot.left + 6; x < plot.right; ++x) {
        for (int y = plot.top; y < plot.bottom; ++y)
            if (Ink(shot.At(x, y))) {
                top[static_cast<size_t>(x)] = y;
                break;
            }
        highest = std::min(highest, top[static_cast<size_t>(x)]);
    }
    *topRow = highest;
    std::vector<double> centres;
    int first = -1, last = -1;
    for (int x = plot.left + 6; x <= plot.right; ++x) {
        const bool peak = x < plot.right && top[static_cast<size_t>(x)] <= highest + 2;
        if (peak && first >= 0 && x - last <= 2) {
            last = x;
        } else if (peak) {
            if (first >= 0) centres.push_back((first + last) / 2.0);
            first = last = x;
        }
    }
    if (first >= 0) centres.push_back((first + last) / 2.0);
    return centres;
}

// Counts the pixels of the plot that pass `test`.
template <typename Test>
int CountPixels(const Picture& shot, const Plot& plot, Test test) {
    int n = 0;
    for (int y = plot.top; y < plot.bottom; ++y)
        for (int x = plot.left + 6; x < plot.right; ++x)
            if (test(shot.At(x, y))) ++n;
    return n;
}

class ChartProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_program::HaveRoadTools()) GTEST_SKIP() << "astropy, Pillow or numpy not installed";
        ASSERT_NE(screen_.display(), nullptr) << "no X display";
    }
    // The "Chart Tools" window shows the empty chart of the item's Reduction.
    void ExpectEmptyToolsChart() {
        const Window tools = screen_.WaitForWindow("Chart Tools", 20000);
        ASSERT_NE(tools, 0u);
        Picture shot;
        bool shown = false;
        for (int waited = 0; waited <= 10000 && !shown; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            screen_.Raise(tools);
            shown = screen_.Grab(tools, &shot) && ShowsEmptyChart(shot);
        }
        if (!shown) testing_program::WritePpm(ORVA_BINARY_DIR "/chart_tools_shown.ppm", shot);
        EXPECT_TRUE(shown) << "(the window's pixels: " ORVA_BINARY_DIR "/chart_tools_shown.ppm)";
    }

    // Writes the test's data file with a numpy/astropy script (the file's path its
    // argument) and makes the folder the program runs in; the path of the file, or an empty
    // text when the script failed.
    std::string MakeData(const std::string& name, const std::string& script) {
        const std::string file = files_.File(name);
        testing_util::WriteText(files_.File("make.py"), "import numpy as np, sys\nfrom astropy.io import fits\n" + script);
        int status = -1;
        testing_program::RunCommand(ORVA_PYTHON " '" + files_.File("make.py") + "' '" + file + "' 2>&1", &status);
        mkdir(files_.File("run").c_str(), 0700);
        return status == 0 ? file : std::string();
    }

    testing_util::TempFolder files_;
    Screen screen_;
};

TEST_F(ChartProgramTest, ASpectrumWrittenByAstropyIsDrawnAsItsCurve) {
    const std::string file = MakeData("spectrum1d.fits", "i = np.arange(600)\n"
                                      "v = 2.0 + i / 599.0 + 10.0 * np.exp(-(i - 400.0) ** 2 / 18.0)\n"
                                      "fits.PrimaryHDU(v.astype(np.float32)).writeto(sys.argv[1], overwrite=True)\n");
    ASSERT_FALSE(file.empty());
    const std::string runFolder = files_.File("run");
    // The pointer out of the way: resting over the plot as the window comes, it would place
    // the chart's cursor, which shades the plot left of it.
    XTestFakeMotionEvent(screen_.display(), -1, 2, DisplayHeight(screen_.display(), DefaultScreen(screen_.display())) - 2, 0);
    XSync(screen_.display(), False);
    ProgramRun program(runFolder, {file});
    const Window main = screen_.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Input file: '" + file + "'", 20000)) << program.Log();

    double vmin = Value(0), vmax = Value(0);
    for (int i = 0; i < kChartSamples; ++i) {
        vmin = std::min(vmin, Value(i));
        vmax = std::max(vmax, Value(i));
    }
    Picture shot;
    Plot plot;
    bool seen = false;
    std::string why;
    for (int waited = 0; waited <= 20000 && !seen; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        screen_.Raise(main);
        if (!screen_.Grab(main, &shot)) continue;
        plot = FindPlot(shot);
        if (!plot.found) {
            why = "no plot";
            continue;
        }
        const double h = plot.bottom - plot.top;
        const double pps = static_cast<double>(plot.right - plot.left) / kChartSamples;
        auto columnOf = [&](double sample) { return static_cast<int>(plot.left + 1.5 + (0.5 + sample) * pps); };
        auto rowOf = [&](double v) { return plot.top + h + 1.5 - (v - vmin) / (vmax - vmin) * h; };
        // The highest dark pixel of the plot lies in the peak's column, at the plot's top.
        int bestX = -1, bestY = plot.bottom;
        for (int x = plot.left + 3; x < plot.right; ++x)
            for (int y = plot.top; y < std::min(bestY, plot.bottom); ++y)
                if (Dark(shot.At(x, y))) {
                    bestX = x;
                    bestY = y;
                    break;
                }
        if (bestX < 0 || std::abs(bestX - columnOf(kPeak)) > 3 || std::abs(bestY - rowOf(vmax)) > 3) {
            why = "peak at " + std::to_string(bestX) + "," + std::to_string(bestY) + " wanted " +
                  std::to_string(columnOf(kPeak)) + "," + std::to_string(static_cast<int>(rowOf(vmax)));
            continue;
        }
        // The continuum: a dark pixel near the row of its value, and none far above it.
        bool continuum = true;
        for (int sample : {60, 150, 250, 500, 560}) {
            const int x = columnOf(sample);
            const int row = static_cast<int>(rowOf(Value(sample)));
            bool near = false;
            for (int y = row - 3; y <= row + 3; ++y)
                if (y >= plot.top && y < plot.bottom && Dark(shot.At(x, y))) near = true;
            for (int y = plot.top; y < row - 6; ++y)
                if (Dark(shot.At(x, y))) near = false;
            if (!near) {
                continuum = false;
                why = "continuum at sample " + std::to_string(sample);
            }
        }
        seen = continuum;
    }
    if (!seen) testing_program::WritePpm(ORVA_BINARY_DIR "/chart_program_shown.ppm", shot);
    EXPECT_TRUE(seen) << why << " (the window's pixels: " ORVA_BINARY_DIR "/chart_program_shown.ppm)\n" << program.Log();
    ExpectEmptyToolsChart();
}

TEST_F(ChartProgramTest, AnImageLeavesTheToolsChartEmpty) {
    const std::string file = MakeData("image2d.fits", "y, x = np.mgrid[0:120, 0:160]\n"
                                      "fits.PrimaryHDU((x + y).astype(np.int16)).writeto(sys.argv[1], overwrite=True)\n");
    ASSERT_FALSE(file.empty());
    const std::string runFolder = files_.File("run");
    ProgramRun program(runFolder, {file});
    ASSERT_NE(screen_.WaitForWindow(testing_program::kMainWindowTitle, 20000), 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Input file: '" + file + "'", 20000)) << program.Log();
    ExpectEmptyToolsChart();
}

TEST_F(ChartProgramTest, KeysAfterAClickActOnTheChartTheUserSees) {
    // Two narrow peaks of equal height at samples 250 and 350 over a flat continuum.
    const std::string file = MakeData("peaks1d.fits", "i = np.arange(600)\n"
                                      "v = 2.0 + 10.0 * np.exp(-(i - 250.0) ** 2 / 8.0) + 10.0 * np.exp(-(i - 350.0) ** 2 / 8.0)\n"
                                      "fits.PrimaryHDU(v.astype(np.float32)).writeto(sys.argv[1], overwrite=True)\n");
    ASSERT_FALSE(file.empty());
    const std::string runFolder = files_.File("run");
    // The pointer out of the way (the screen's lower left corner), so that the chart's cursor
    // stands at the first sample until the pointer comes over the plot.
    XTestFakeMotionEvent(screen_.display(), -1, 2, DisplayHeight(screen_.display(), DefaultScreen(screen_.display())) - 2, 0);
    XSync(screen_.display(), False);
    ProgramRun program(runFolder, {file});
    const Window main = screen_.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    // The "Chart Tools" window comes last and takes the keyboard focus.
    ASSERT_NE(screen_.WaitForWindow("Chart Tools", 20000), 0u) << program.Log();
    Display* d = screen_.display();

    Picture shot;
    Plot plot;
    std::vector<double> peaks;
    int topRow = 0;
    // Waits up to `ms` for the main window to show what `done` looks for.
    // While `settling`, the plot is looked for in every picture (the window is still
    // being laid out); after that it stays where it was found.
    bool settling = true;
    auto waitFor = [&](int ms, auto done) {
        for (int waited = 0; waited <= ms; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            screen_.Raise(main);
            if (!screen_.Grab(main, &shot)) continue;
            if (settling) plot = FindPlot(shot);
            if (!plot.found) continue;
            peaks = PeakColumns(shot, plot, &topRow);
            if (done()) return true;
        }
        testing_program::WritePpm(ORVA_BINARY_DIR "/chart_keys_shown.ppm", shot);
        return false;
    };
    const std::string where = " (the window's pixels: " ORVA_BINARY_DIR "/chart_keys_shown.ppm)";
    // Fitted: the peaks 100 samples apart at the plot's pixels a sample, once the plot
    // stays where it is for a second (a slow start can show the plot for a while before
    // the window takes its final size).
    Plot last;
    int stable = 0;
    ASSERT_TRUE(waitFor(20000, [&] {
        const bool same = last.found && last.left == plot.left && last.right == plot.right && last.top == plot.top &&
                          last.bottom == plot.bottom;
        stable = same ? stable + 1 : 0;
        last = plot;
        return stable >= 5 && peaks.size() == 2;
    })) << where << "\n" << program.Log();
    settling = false;
    const double width = plot.right - plot.left, height = plot.bottom - plot.top;
    EXPECT_NEAR(peaks[1] - peaks[0], 100.0 * width / kChartSamples, 3.0);
    const int fittedTop = topRow;

    // The pointer over the plot at sample 300 puts the cursor there; a click makes the
    // main window the one the keys go to.
    int rootX = 0, rootY = 0;
    Window child = 0;
    const int clickX = static_cast<int>(plot.left + 1.5 + 300.5 * width / kChartSamples);
    XTranslateCoordinates(d, main, DefaultRootWindow(d), clickX, plot.top + 40, &rootX, &rootY, &child);
    XTestFakeMotionEvent(d, -1, rootX - 5, rootY, 0);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    XTestFakeMotionEvent(d, -1, rootX, rootY, 0);
    XTestFakeButtonEvent(d, 1, True, 0);
    XTestFakeButtonEvent(d, 1, False, 0);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // Shift+Gray+ from the fit steps the integral ratio in from the one the fit is near:
    // pixels a sample rounded up (then the next even number above it, or one more when
    // below 2), or samples a pixel rounded up (1:2 and 1:1 step to 1:1, 1:n to 1:n/2,
    // n rounded up to a power of two). The peaks are that many pixels a sample times 100
    // apart, with the cursor between them in the middle of the view.
    double pixelsPerSample = 1.0;
    if (width >= kChartSamples) {
        const int fitted = static_cast<int>(std::ceil(width / kChartSamples));
        pixelsPerSample = fitted < 2 ? fitted + 1 : (fitted & ~1) + 2;
    } else {
        int reduce = static_cast<int>(std::ceil(kChartSamples / width)), power = 1;
        while (power < reduce) power *= 2;
        pixelsPerSample = reduce <= 2 ? 1.0 : 2.0 / power;
    }
    PressKeys(d, {XK_Shift_L, XK_KP_Add});
    EXPECT_TRUE(waitFor(5000, [&] {
        return peaks.size() == 2 && std::abs(peaks[1] - peaks[0] - 100.0 * pixelsPerSample) <= 3.0;
    })) << (peaks.size() == 2 ? peaks[1] - peaks[0] : -1.0) << " for " << 100 * pixelsPerSample << where;
    if (peaks.size() == 2) {
        EXPECT_NEAR((peaks[0] + peaks[1]) / 2.0, plot.left + width / 2.0, 2.0 * std::max(pixelsPerSample, 1.0));
    }

    // "E" turns the dark line into points in the contrast colour.
    const int darkBefore = CountPixels(shot, plot, Black);
    ASSERT_GT(darkBefore, 200);
    PressKeys(d, {XK_e});
    EXPECT_TRUE(waitFor(5000, [&] {
        return CountPixels(shot, plot, Red) > 50 && CountPixels(shot, plot, Black) < darkBefore / 4;
    })) << CountPixels(shot, plot, Red) << " red, " << CountPixels(shot, plot, Black) << " black" << where;

    // PageDown scrolls y half a span towards larger values: the peaks' tops go down half
    // the plot's height.
    PressKeys(d, {XK_Next});
    EXPECT_TRUE(waitFor(5000, [&] { return std::abs(topRow - fittedTop - height / 2.0) <= 3.0; }))
        << topRow - fittedTop << " for " << height / 2.0 << where;
}

}  // namespace
}  // namespace orva
