// What the Extraction/Statistic page measures reaches the chart, as a user makes it: the
// real program on images written by astropy, Extraction/Statistic > Create > Statistic
// mask > Rectangle (or > Slice mask > Line) and the interval rule chosen on the "SLICE /
// STATISTIC" page with XTest clicks, and the curve of the "Chart Tools" chart read from
// the screen. A histogram's bars stand in proportion to numpy's histogram of the
// rectangle's pixels, binned by the interval rule (two rules), and the labels of its x
// axis stand at the values the bins begin with; a slice's profile follows numpy's pixels
// under the line, and its x axis is labelled in samples along the line.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "slice_chart.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::Picture;
using testing_program::Plot;
using testing_program::ProgramRun;
using testing_program::Screen;

// A 200 x 160 frame of distances from its centre (times 3, whole numbers); the rectangle
// that Create makes covers its central half, [50, 150) x [40, 120). For a rule the script
// prints the histogram the interval rules give: k from the rule (5 lg N, or sqrt N),
// rounded half up and made even towards c; K = k + 1 bins of width Range / k, bin i
// holding the values in [min + (i - 1/2) w, min + (i + 1/2) w), the rest in the last.
constexpr const char* kScript = R"(
import sys, math
import numpy as np
from astropy.io import fits
folder, rule = sys.argv[1], sys.argv[2]
y, x = np.mgrid[0:160, 0:200]
v = np.floor(np.sqrt((x - 100.0) ** 2 + (y - 80.0) ** 2) * 3).astype(np.int16)
if rule == 'make':
    fits.PrimaryHDU(v).writeto(folder + '/radial.fits', overwrite=True)
    # A parabola along x, the same on every row: the slice across the middle row
    # (x 50 to 150, one point a pixel) samples its pixels 50..150.
    fits.PrimaryHDU(((x - 97) ** 2 // 8).astype(np.int16)).writeto(folder + '/parabola.fits', overwrite=True)
    sys.exit(0)
if rule == 'profile':
    p = fits.getdata(folder + '/parabola.fits')[80, 50:151].astype(np.float64)
    print(1.0, ' '.join(str(int(c)) for c in p))
    sys.exit(0)
d = np.sort(fits.getdata(folder + '/radial.fits')[40:120, 50:150].astype(np.float64).ravel())
n = d.size
c = 5 * math.log10(n) if rule == 'lg' else math.sqrt(n)
k = int(math.floor(c + 0.5))
if k % 2 == 1 and k > 2:
    k = k - 1 if c >= math.trunc(c) + 0.5 else k + 1
lo, hi = d[0], d[-1]
w = (hi - lo) / k
edges = lo + (np.arange(1, k + 1) - 0.5) * w
upto = np.searchsorted(d, edges, side='left')
counts = np.diff(np.concatenate(([0], upto, [n])))
print(repr(w), ' '.join(str(int(c)) for c in counts))
)";

class HistogramProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("histogram.py"), kScript);
        ASSERT_EQ(Python("make").size(), 0u);
    }

    std::string Python(const std::string& rule) {
        int status = -1;
        const std::string out = testing_program::RunCommand(
            "/usr/bin/python3 '" + files.File("histogram.py") + "' '" + files.Path() + "' " + rule + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        return out;
    }
    // The bin width, and the counts of the bins.
    std::vector<double> Expected(const std::string& rule, double* width) {
        std::istringstream in(Python(rule));
        in >> *width;
        std::vector<double> counts;
        for (double c; in >> c;) counts.push_back(c);
        return counts;
    }

    // The x axis stands in the units of the chart's frame list: the labels `first` and
    // `second` of the ruler over the plot stand right of their ticks, where sample i of
    // `samples` (step `step`, from `start`) begins at start + i step.
    ::testing::AssertionResult LabelsMatch(size_t samples, double step, double start, int first, int second) {
        std::string why = "no chart";
        const std::string a = std::to_string(first), b = std::to_string(second);
        for (int waited = 0; waited <= 5000; waited += 250) {
            const Window tools = screen.FindWindow("Chart Tools");
            Picture window;
            if (tools == 0 || !screen.Grab(tools, &window)) continue;
            const Plot plot = testing_program::FindPlot(window);
            if (!plot.found) continue;
            const double perValue = (plot.right - plot.left) / static_cast<double>(samples) / step;
            int xa = 0, ya = 0, xb = 0, yb = 0;
            const int band = std::max(0, plot.top - 20);
            if (!testing_program::FindInk(window, plot.left - 30, band, plot.right - plot.left + 60, 20, a, true, &xa,
                                          &ya) ||
                !testing_program::FindInk(window, plot.left - 30, band, plot.right - plot.left + 60, 20, b, true, &xb,
                                          &yb)) {
                why = "no labels " + a + " and " + b + " over the plot";
            } else {
                const double spacing = xb - xa, wantSpacing = (second - first) * perValue;
                const double at = xa - 2 - plot.left, wantAt = 1.5 + (first - start) * perValue;
                if (std::abs(spacing - wantSpacing) <= 2.0 && std::abs(at - wantAt) <= 4.0)
                    return ::testing::AssertionSuccess();
                why = "labels " + a + " and " + b + " apart by " + std::to_string(spacing) + " pixels (want " +
                      std::to_string(wantSpacing) + "), " + a + " at " + std::to_string(at) + " (want " +
                      std::to_string(wantAt) + ")";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return ::testing::AssertionFailure() << why;
    }

    Window Root() const { return DefaultRootWindow(screen.display()); }
    bool Grab() { return screen.Grab(Root(), &shot); }

    // Waits up to `ms` for the text in the box; where it stands.
    bool WaitForText(const std::string& text, int x, int y, int w, int h, int* at, int* aty, int ms = 5000) {
        for (int waited = 0; waited <= ms; waited += 200) {
            if (Grab() && FindText(shot, x, y, w, h, text, at, aty)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

    // The chart of the "Chart Tools" window once it shows bars; the plot and the row of
    // the curve's top at the centre of each of `bins` bins.
    bool ChartTops(size_t bins, Plot* plot, std::vector<int>* tops) {
        const Window tools = screen.FindWindow("Chart Tools");
        if (tools == 0) return false;
        const Screen::Rect t = screen.RectOf(tools);
        Picture window;
        if (!screen.Grab(tools, &window)) return false;
        *plot = testing_program::FindPlot(window);
        if (!plot->found) return false;
        tops->clear();
        const double width = plot->right - plot->left;
        for (size_t i = 0; i < bins; ++i) {
            const int x = plot->left + static_cast<int>(std::lround((static_cast<double>(i) + 0.5) * width / bins));
            // A bar of a few values lies on the plot's bottom edge, below the grey.
            int top = -1;
            for (int y = plot->top; y < std::min(plot->bottom + 3, window.height) && top < 0; ++y)
                if (testing_program::Ink(window.At(x, y))) top = y;
            tops->push_back(top);
        }
        plot->left += t.left;
        plot->right += t.left;
        return true;
    }

    // The bars stand in proportion to the counts: row = bottom - s count for one scale s,
    // each within 1.5 pixels. With the drawing gone, or another histogram, no line fits.
    ::testing::AssertionResult BarsMatch(const std::vector<double>& counts, double tolerance, int ms = 8000) {
        std::string why;
        for (int waited = 0; waited <= ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            Plot plot;
            std::vector<int> tops;
            if (!ChartTops(counts.size(), &plot, &tops)) {
                why = "no chart";
                continue;
            }
            // Least squares of row on count, over the bins whose top was found.
            double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
            bool all = true;
            for (size_t i = 0; i < counts.size(); ++i) {
                if (tops[i] < 0) {
                    all = false;
                    continue;
                }
                n += 1;
                sx += counts[i];
                sy += tops[i];
                sxx += counts[i] * counts[i];
                sxy += counts[i] * tops[i];
            }
            if (!all || n < 3) {
                std::ostringstream rows;
                for (size_t i = 0; i < tops.size(); ++i) rows << tops[i] << " ";
                why = "a bar without a curve in the plot (" + std::to_string(plot.left) + ", " + std::to_string(plot.top) +
                      ") - (" + std::to_string(plot.right) + ", " + std::to_string(plot.bottom) + "), tops " + rows.str();
                continue;
            }
            const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx), origin = (sy - slope * sx) / n;
            double worst = 0;
            std::ostringstream rows;
            for (size_t i = 0; i < counts.size(); ++i) {
                const double d = tops[i] - (origin + slope * counts[i]);
                worst = std::max(worst, std::abs(d));
                rows << counts[i] << ":" << tops[i] << " ";
            }
            if (slope < 0 && worst <= tolerance) return ::testing::AssertionSuccess();
            why = "worst " + std::to_string(worst) + " pixels, count:row " + rows.str();
        }
        return ::testing::AssertionFailure() << why;
    }

    // Starts the program on a file of the test's folder, with the pointer out of the way
    // (the chart's cursor stays at its first sample), once the "Chart Tools" window shows.
    bool Start(const std::string& file) {
        Display* d = screen.display();
        XTestFakeMotionEvent(d, -1, 2, DisplayHeight(d, DefaultScreen(d)) - 2, 0);
        XSync(d, False);
        const std::string folder = files.File("run");
        mkdir(folder.c_str(), 0700);
        program.emplace(folder, std::vector<std::string>{files.File(file)});
        main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
        EXPECT_NE(main, 0u) << program->Log();
        if (main == 0) return false;
        EXPECT_TRUE(program->WaitForLog("Source format", 20000)) << program->Log();
        return screen.WaitForWindow("Chart Tools", 20000) != 0;
    }

    // Extraction/Statistic > Create > `menu` > `entry`; the row of "Create" in `editY`.
    ::testing::AssertionResult CreateFromPage(const std::string& menu, const std::string& entry, int* editY) {
        return testing_program::CreateFromExtractionPage(screen, main, menu, entry, editY);
    }

    Screen screen;
    testing_util::TempFolder files;
    std::optional<ProgramRun> program;
    Window main = 0;
    Picture shot;
};

TEST_F(HistogramProgram, AStatisticRectangleDrawsItsHistogramUnderTwoIntervalRules) {
    double widthLg = 0, widthSqrt = 0;
    const std::vector<double> byLg = Expected("lg", &widthLg), bySqrt = Expected("sqrt", &widthSqrt);
    ASSERT_EQ(byLg.size(), 21u);
    ASSERT_EQ(bySqrt.size(), 91u);
    ASSERT_TRUE(Start("radial.fits"));
    const Screen::Rect m = screen.RectOf(main);
    Display* d = screen.display();

    int editY = 0;
    ASSERT_TRUE(CreateFromPage("Statistic mask", "Rectangle", &editY));
    EXPECT_TRUE(BarsMatch(byLg, 1.0)) << "5 lg N";
    EXPECT_TRUE(LabelsMatch(byLg.size(), widthLg, 0.0, 40, 120)) << "5 lg N";

    // The "SLICE / STATISTIC" page, from the title label over the page ("Reduction",
    // above "Edit Mask" which stands left of "Create"): Interval grouping > Sqrt(N).
    int x = 0, y = 0, ex = 0, ey = 0;
    ASSERT_TRUE(WaitForText("Edit Mask", m.left, editY - 30, 200, 40, &ex, &ey));
    testing_program::ClickAt(d, Root(), ex + 16, ey - 29);
    ASSERT_TRUE(WaitForText("Interval grouping:", m.left, m.top, 800, 700, &x, &y))
        << "the SLICE / STATISTIC page did not open";
    int rx = 0, ry = 0;
    EXPECT_TRUE(FindText(shot, x, y - 4, 300, 20, "5 * lg(N)", &rx, &ry)) << "the default rule";
    testing_program::ClickAt(d, Root(), x + 277, y + 4);
    ASSERT_TRUE(WaitForText("Sqrt(N)", x, y, 500, 300, &x, &y));
    testing_program::ClickAt(d, Root(), x + 10, y + 4);
    testing_program::MoveTo(d, Root(), 2, DisplayHeight(d, DefaultScreen(d)) - 2);
    EXPECT_TRUE(BarsMatch(bySqrt, 1.0)) << "Sqrt(N)";
    EXPECT_TRUE(LabelsMatch(bySqrt.size(), widthSqrt, 0.0, 40, 120)) << "Sqrt(N)";
    EXPECT_EQ(program->End(), 0);
}

// A slice line across the middle row draws the pixels under it, one sample a pixel from
// x 50 to 150, and its x axis is labelled in samples from the first drawing.
TEST_F(HistogramProgram, ASliceLineDrawsItsProfileWithTheAxisInSamples) {
    double step = 0;
    const std::vector<double> profile = Expected("profile", &step);
    ASSERT_EQ(profile.size(), 101u);
    ASSERT_TRUE(Start("parabola.fits"));
    int editY = 0;
    ASSERT_TRUE(CreateFromPage("Slice mask", "Line", &editY));
    EXPECT_TRUE(BarsMatch(profile, 1.0)) << "the profile";
    EXPECT_TRUE(LabelsMatch(profile.size(), step, 0.0, 20, 80)) << "the sample axis";
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
