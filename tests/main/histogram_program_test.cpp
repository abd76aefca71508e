// What the Extraction/Statistic page measures reaches the chart, as a user makes it: the
// real program on images written by astropy, Extraction/Statistic > Create > Statistic
// mask > Rectangle (or > Slice mask > Line) and the interval rule chosen on the "SLICE /
// STATISTIC" page with XTest clicks, and the curve of the "Chart Tools" chart read from
// the screen. A histogram's bars stand in proportion to numpy's histogram of the
// rectangle's pixels, binned by the interval rule (two rules), and the labels of its x
// axis stand where the bars count: bin i holds the values within half a bin of HistMin +
// i w, so its bar begins at HistMin + (i - 1/2) w; a slice's profile follows numpy's pixels
// under the line, and its x axis is labelled in samples along the line.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "extraction_program.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"
#include "widget_records.h"

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
constexpr const char* kHistogramScript = R"(
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
    # Dark along the middle row (a valley across the rows) and bright far from it: the
    # slice across the middle row lies in the dark.
    fits.PrimaryHDU(((y - 80) ** 2 + x).astype(np.int16)).writeto(folder + '/valley.fits', overwrite=True)
    sys.exit(0)
if rule == 'profile':
    p = fits.getdata(folder + '/parabola.fits')[80, 50:151].astype(np.float64)
    print(1.0, ' '.join(str(int(c)) for c in p))
    sys.exit(0)
# The rectangle moved by (dx, dy) pixels, when they are given.
dx, dy = (int(sys.argv[3]), int(sys.argv[4])) if len(sys.argv) > 4 else (0, 0)
d = np.sort(fits.getdata(folder + '/radial.fits')[40 + dy:120 + dy, 50 + dx:150 + dx].astype(np.float64).ravel())
n = d.size
c = {'lg': 5 * math.log10(n), '4lg': 4 * math.log10(n), 'sqrt': math.sqrt(n)}[rule]
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

// A colour bitmap of 160 x 120 (red x, green 2 y, blue 90) and a spectrum. Printed:
// numpy's histograms of the rectangle Create makes on the bitmap, [40, 120) x [30, 90),
// channel by channel, binned as the chart's statistic bins them (the interval rule over
// the smallest and largest value of all channels and the largest count): the smallest
// value and the bin width, then each channel's counts on a line.
constexpr const char* kColourScript = R"(
import sys, math
import numpy as np
from PIL import Image
from astropy.io import fits
folder = sys.argv[1]
y, x = np.mgrid[0:120, 0:160]
rgb = np.stack([x, 2 * y, np.full_like(x, 90)], axis=-1).astype(np.uint8)
Image.fromarray(rgb, 'RGB').save(folder + '/rgb.bmp')
t = np.arange(500)
fits.PrimaryHDU((100 * np.sin(t / 40.0)).astype(np.float32)).writeto(folder + '/line.fits', overwrite=True)
d = np.asarray(Image.open(folder + '/rgb.bmp')).astype(np.float64)[30:90, 40:120].reshape(-1, 3)
n = d.shape[0]
c = 5 * math.log10(n)
k = int(math.floor(c + 0.5))
if k % 2 == 1 and k > 2:
    k = k - 1 if c >= math.trunc(c) + 0.5 else k + 1
lo, hi = d.min(), d.max()
w = (hi - lo) / k
edges = lo + (np.arange(1, k + 1) - 0.5) * w
print(repr(lo), repr(w))
for ch in range(3):
    s = np.sort(d[:, ch])
    upto = np.searchsorted(s, edges, side='left')
    print(' '.join(str(int(v)) for v in np.diff(np.concatenate(([0], upto, [n])))))
)";

// The colour the chart draws a channel's curve in: red, green, blue.
bool CurveColour(const uint8_t* p, int channel) {
    for (int c = 0; c < 3; ++c)
        if (c == channel ? p[c] < 200 : p[c] > 60) return false;
    return true;
}

class HistogramProgram : public testing_program::ExtractionProgram {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("histogram.py"), kHistogramScript);
        ASSERT_EQ(Python("make").size(), 0u);
    }

    // Where the grey right of the chart's cursor begins (on the plot's third row), once
    // it has come within `near` pixels of x: the cursor stands where the chart has taken
    // the pointer's last move.
    bool CursorNear(Window tools, const testing_program::Plot& plot, int x, double near, int* greyFrom) {
        Picture window;
        const int row = plot.top + 3;
        for (int waited = 0; waited <= 5000; waited += 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!screen.Grab(tools, &window)) continue;
            for (int gx = plot.left + 5; gx + 8 < plot.right; ++gx) {
                bool run = true;
                for (int k = 0; k < 8 && run; ++k) run = testing_program::Grey(window.At(gx + k, row));
                if (run) {
                    *greyFrom = gx;
                    if (std::abs(gx - x) <= near) return true;
                    break;
                }
            }
        }
        return false;
    }

    std::string Python(const std::string& rule) {
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " '" + files.File("histogram.py") + "' '" + files.Path() + "' " + rule + " 2>&1", &status);
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
        return LabelsMatch(samples, step, start, std::vector<int>{first}, second);
    }
    // The same for the first of `firsts` that the ruler shows (its tick step follows the
    // width of its labels).
    ::testing::AssertionResult LabelsMatch(size_t samples, double step, double start, const std::vector<int>& firsts,
                                           int second) {
        std::string why = "no chart";
        const std::string b = std::to_string(second);
        // Each round reads the ruler for the next of `firsts`; one without the window or its
        // plot waits its quarter second like the others.
        int round = 0;
        const bool matched = testing_util::WaitUntil(
            [&] {
                const int first = firsts[static_cast<size_t>(round++) % firsts.size()];
                const std::string a = std::to_string(first);
                const Window tools = screen.FindWindow("Chart Tools");
                Picture window;
                if (tools == 0 || !screen.Grab(tools, &window)) return false;
                const Plot plot = testing_program::FindPlot(window);
                if (!plot.found) return false;
                const double perValue = (plot.right - plot.left) / static_cast<double>(samples) / step;
                int xa = 0, ya = 0, xb = 0, yb = 0;
                const int band = std::max(0, plot.top - 20);
                const int bandWidth = plot.right - plot.left + 60;
                if (!testing_program::FindInk(window, plot.left - 30, band, bandWidth, 20, a, true, &xa, &ya) ||
                    !testing_program::FindInk(window, plot.left - 30, band, bandWidth, 20, b, true, &xb, &yb)) {
                    why = "no labels " + a + " and " + b + " over the plot";
                } else {
                    const double spacing = xb - xa, wantSpacing = (second - first) * perValue;
                    const double at = xa - 2 - plot.left, wantAt = 1.5 + (first - start) * perValue;
                    if (std::abs(spacing - wantSpacing) <= 2.0 && std::abs(at - wantAt) <= 4.0)
                        return true;
                    why = "labels " + a + " and " + b + " apart by " + std::to_string(spacing) + " pixels (want " +
                          std::to_string(wantSpacing) + "), " + a + " at " + std::to_string(at) + " (want " +
                          std::to_string(wantAt) + ")";
                }
                last = window;
                return false;
            },
            5000 * static_cast<int>(firsts.size()), 250);
        if (matched) return ::testing::AssertionSuccess();
        testing_program::WritePpm(ORVA_BINARY_DIR "/histogram_labels.ppm", last);
        return ::testing::AssertionFailure() << why << " (the window: " ORVA_BINARY_DIR "/histogram_labels.ppm)";
    }
    Picture last;

};

TEST_F(HistogramProgram, AStatisticRectangleDrawsItsHistogramUnderTwoIntervalRules) {
    double widthLg = 0, widthSqrt = 0;
    const std::vector<double> byLg = Expected("lg", &widthLg), bySqrt = Expected("sqrt", &widthSqrt);
    ASSERT_EQ(byLg.size(), 21u);
    ASSERT_EQ(bySqrt.size(), 91u);
    ASSERT_TRUE(Start("radial.fits"));
    Display* d = screen.display();

    int editY = 0;
    ASSERT_TRUE(CreateFromPage("Statistic mask", "Rectangle", &editY));
    EXPECT_TRUE(BarsMatch(byLg, 1.0)) << "5 lg N";
    // The rectangle's smallest value is 0 (the centre): bar 0 begins half a bin below it.
    EXPECT_TRUE(LabelsMatch(byLg.size(), widthLg, -widthLg / 2, {40, 60, 80, 90}, 120)) << "5 lg N";

    // The "SLICE / STATISTIC" page, from the title label over the page ("Reduction",
    // above "Edit Mask" which stands left of "Create"): Interval grouping > Sqrt(N).
    int x = 0, y = 0;
    ASSERT_TRUE(OpenSlicePage(editY, &x, &y));
    int rx = 0, ry = 0;
    EXPECT_TRUE(FindText(shot, x, y - 4, 300, 20, "5 * lg(N)", &rx, &ry)) << "the default rule";
    testing_program::ClickAt(d, Root(), x + 277, y + 4);
    ASSERT_TRUE(WaitForText("Sqrt(N)", x, y, 500, 300, &x, &y));
    testing_program::ClickAt(d, Root(), x + 10, y + 4);
    testing_program::MoveTo(d, Root(), 2, DisplayHeight(d, DefaultScreen(d)) - 2);
    EXPECT_TRUE(BarsMatch(bySqrt, 1.0)) << "Sqrt(N)";
    EXPECT_TRUE(LabelsMatch(bySqrt.size(), widthSqrt, -widthSqrt / 2, {40, 60, 80, 90}, 120)) << "Sqrt(N)";
    EXPECT_EQ(program->End(), 0);
}

// With Edit > "Move Shape with Keys [Shift+Arrows, Wheel]" chosen, Shift with the arrows
// over the image moves the statistic rectangle, and the chart draws the histogram of the
// pixels under it where it now stands.
TEST_F(HistogramProgram, AStatisticRectangleMovedWithTheKeysRedrawsItsHistogram) {
    double width = 0;
    const std::vector<double> before = Expected("lg", &width), after = Expected("lg 11 -9", &width);
    ASSERT_EQ(after.size(), before.size());
    ASSERT_NE(after, before);
    ASSERT_TRUE(Start("radial.fits"));
    Display* d = screen.display();
    int editY = 0;
    ASSERT_TRUE(CreateFromPage("Statistic mask", "Rectangle", &editY));
    ASSERT_TRUE(BarsMatch(before, 1.0)) << "where Create put it";
    ASSERT_TRUE(testing_program::ChooseMainMenuEntry(screen, main, 84, "Move Shape with Keys [Shift+Arrows, Wheel]"));

    // The keys go to the image once the pointer has been over it (its bottom-right part,
    // away from the rectangle).
    const testing_program::ChildWindow view = testing_program::LargestChildWindow(d, main);
    ASSERT_GT(view.width, 0);
    for (int step = 0; step <= 4; ++step) {
        testing_program::MoveTo(d, main, view.x + view.width - 40 + 5 * step, view.y + view.height - 40);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    testing_program::PressKeys(d, {XK_Shift_L, XK_Control_L, XK_Right});
    testing_program::PressKeys(d, {XK_Shift_L, XK_Right});
    testing_program::PressKeys(d, {XK_Shift_L, XK_Control_L, XK_Up});
    testing_program::PressKeys(d, {XK_Shift_L, XK_Down});
    testing_program::MoveTo(d, Root(), 2, DisplayHeight(d, DefaultScreen(d)) - 2);
    EXPECT_TRUE(BarsMatch(after, 1.0)) << "moved by (11, -9)";
    EXPECT_EQ(program->End(), 0);
}

// Keys "2" and "1" over the chart step the interval rule of the Reduction whose histogram
// the chart draws, forward and back through the rules: the bars follow numpy's histogram
// under the new rule, and the "SLICE / STATISTIC" page names it.
TEST_F(HistogramProgram, KeysOneAndTwoOverTheChartStepTheIntervalRule) {
    double width = 0;
    const std::vector<double> byLg = Expected("lg", &width), by4Lg = Expected("4lg", &width),
                              bySqrt = Expected("sqrt", &width);
    ASSERT_EQ(by4Lg.size(), 17u);
    ASSERT_TRUE(Start("radial.fits"));
    Display* d = screen.display();
    int editY = 0, x = 0, y = 0, rx = 0, ry = 0;
    ASSERT_TRUE(CreateFromPage("Statistic mask", "Rectangle", &editY));
    EXPECT_TRUE(BarsMatch(byLg, 1.0)) << "5 lg N";
    ASSERT_TRUE(OpenSlicePage(editY, &x, &y));
    EXPECT_TRUE(FindText(shot, x, y - 4, 300, 20, "5 * lg(N)", &rx, &ry)) << "the default rule";

    ASSERT_TRUE(FocusChart());
    testing_program::PressKeys(d, {XK_2});
    EXPECT_TRUE(BarsMatch(by4Lg, 1.0)) << "4 lg N after 2";
    EXPECT_TRUE(WaitForText("4 * lg(N)", x, y - 4, 300, 20, &rx, &ry)) << "the page after 2";
    testing_program::PressKeys(d, {XK_1});
    testing_program::PressKeys(d, {XK_1});
    EXPECT_TRUE(BarsMatch(bySqrt, 1.0)) << "Sqrt(N) after 1, 1";
    EXPECT_TRUE(WaitForText("Sqrt(N)", x, y - 4, 300, 20, &rx, &ry)) << "the page after 1, 1";
    EXPECT_EQ(program->End(), 0);
}


// "Chart: Unlock X" of the Chart Tools' Grid menu, chosen with clicks, frees the chart's
// cursor from the samples: before, the pointer anywhere over a bar puts the cursor on the
// bar's middle; after, the cursor stands under the pointer. Key "F" over the chart frees
// its y readout, and the menu shows that option checked.
TEST_F(HistogramProgram, TheGridMenusUnlockXFreesTheChartsCursor) {
    double width = 0;
    const std::vector<double> byLg = Expected("lg", &width);
    ASSERT_TRUE(Start("radial.fits"));
    Display* d = screen.display();
    int editY = 0;
    ASSERT_TRUE(CreateFromPage("Statistic mask", "Rectangle", &editY));
    ASSERT_TRUE(BarsMatch(byLg, 1.0)) << "5 lg N";
    const Window tools = screen.FindWindow("Chart Tools");
    const Screen::Rect t = screen.RectOf(tools);
    Picture window;
    ASSERT_TRUE(screen.Grab(tools, &window));
    const Plot plot = testing_program::FindPlot(window);
    ASSERT_TRUE(plot.found);
    const double bar = (plot.right - plot.left) / static_cast<double>(byLg.size());
    const int pointerY = (plot.top + plot.bottom) / 2;
    // Snapped to a bar's middle or standing under the pointer, the cursor is within 0.7 of
    // a bar of the pointer, and where the pointer stood one and a half bars before it is not.
    auto cursorNear = [&](int x, int* greyFrom) { return CursorNear(tools, plot, x, 0.7 * bar, greyFrom); };
    // The pointer over bar 10 at a fraction of its width, coming from one and a half bars
    // left of it; where the grey right of the cursor begins.
    auto cursorAt = [&](double fraction, int* pointerX, int* greyFrom) {
        *pointerX = plot.left + static_cast<int>(std::lround((10.0 + fraction) * bar));
        const int before = *pointerX - static_cast<int>(std::lround(1.5 * bar));
        testing_program::MoveTo(d, tools, before, pointerY);
        if (!cursorNear(before, greyFrom)) return false;
        testing_program::MoveTo(d, tools, *pointerX, pointerY);
        return cursorNear(*pointerX, greyFrom);
    };
    int p1 = 0, p2 = 0, g1 = 0, g2 = 0;
    ASSERT_TRUE(cursorAt(0.2, &p1, &g1) && cursorAt(0.8, &p2, &g2))
        << "no cursor near the pointer: pointer at " << p1 << " and " << p2 << ", cursor at " << g1 << " and " << g2;
    EXPECT_LE(std::abs(g2 - g1), 1) << "snapped: pointer at " << p1 << " and " << p2 << ", cursor at " << g1 << " and " << g2;

    // Key "F" over the chart frees the y readout: the menu shows "Chart: Unlock Y" checked.
    testing_program::ClickAt(d, tools, plot.left + 1, pointerY);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    testing_program::PressKeys(d, {XK_f});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // A menu row is checked when the check glyph stands at its right end, 190 to 224
    // pixels right of the entry's text.
    auto checkInk = [&](int textX, int textY) {
        int ink = 0;
        for (int yy = textY - 1; yy < textY + 12; ++yy)
            for (int xx = textX + 190; xx <= textX + 224; ++xx) ink += testing_program::Dark(shot.At(xx, yy)) ? 1 : 0;
        return ink;
    };

    int gridX = 0, gridY = 0, x = 0, y = 0, ux = 0, uy = 0;
    // The drop-down arrow stands close right of the button's caption.
    ASSERT_TRUE(Grab() && testing_program::FindInk(shot, (t.left + t.right) / 2, t.bottom - 60, (t.right - t.left) / 2,
                                                   60, "Grid", false, &gridX, &gridY))
        << "no Grid button in the Chart Tools";
    const testing_program::InkMask gridInk = testing_program::TextInk("Grid");
    bool chosen = false;
    for (int attempt = 0; attempt < 3 && !chosen; ++attempt) {
        testing_program::ClickAt(d, Root(), gridX + gridInk.width + 3, gridY + gridInk.height / 2);
        if (!WaitForText("Chart: Unlock X", t.left, t.top - 400, t.right - t.left, t.bottom - t.top + 400, &x, &y, 3000)) continue;
        if (attempt == 0) {
            EXPECT_TRUE(FindText(shot, x - 2, y + 10, 150, 30, "Chart: Unlock Y", &ux, &uy));
            EXPECT_EQ(checkInk(x, y), 0) << "Unlock X is not checked";
            EXPECT_GT(checkInk(ux, uy), 10) << "Unlock Y is checked";
        }
        testing_program::MoveTo(d, Root(), x + 5, y + 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        testing_program::ClickAt(d, Root(), x + 5, y + 4);
        chosen = true;
    }
    ASSERT_TRUE(chosen) << "no Chart: Unlock X in the Grid menu";
    ASSERT_TRUE(cursorAt(0.2, &p1, &g1) && cursorAt(0.8, &p2, &g2))
        << "no cursor near the pointer: pointer at " << p1 << " and " << p2 << ", cursor at " << g1 << " and " << g2;
    EXPECT_GE(p2 - p1, 8);
    EXPECT_LE(std::abs((g2 - g1) - (p2 - p1)), 2) << "free: pointer at " << p1 << " and " << p2 << ", cursor at " << g1
                                                  << " and " << g2;
    EXPECT_EQ(program->End(), 0);
}

// Key "B" links the chart with the view of its slice: the chart's cursor over the
// profile puts the cursor mark on the slice's point in the image, and the mark moves along
// the slice by as many pixels (the picture at 1:1) as the cursor moves samples.
TEST_F(HistogramProgram, KeyBLinksTheChartsCursorToTheSlicesPointInTheImage) {
    ASSERT_TRUE(Start("valley.fits"));
    Display* d = screen.display();
    int editY = 0;
    ASSERT_TRUE(CreateFromPage("Slice mask", "Line", &editY));
    ASSERT_TRUE(FocusChart());
    const Window tools = screen.FindWindow("Chart Tools");
    Picture window;
    ASSERT_TRUE(screen.Grab(tools, &window));
    const Plot plot = testing_program::FindPlot(window);
    ASSERT_TRUE(plot.found);
    const testing_program::ChildWindow view = testing_program::LargestChildWindow(d, main);
    ASSERT_GT(view.width, 0);
    constexpr double kSamples = 101;  // the line from x 50 to 150, one point a pixel
    const int pointerY = (plot.top + plot.bottom) / 2;
    // The pointer to a fraction of the plot's width, coming from six samples left of it,
    // once the chart's cursor has come to each point (within a sample and a half: it
    // stands on a sample): a busy machine takes the moves late, and the mark shows every
    // point the cursor passes.
    const double sample = (plot.right - plot.left) / kSamples;
    int greyFrom = 0;
    auto pointAt = [&](double fraction, int* x) {
        *x = plot.left + static_cast<int>(std::lround(fraction * (plot.right - plot.left)));
        const int before = *x - static_cast<int>(std::lround(6 * sample));
        testing_program::MoveTo(d, tools, before, pointerY);
        if (!CursorNear(tools, plot, before, 1.5 * sample, &greyFrom)) return false;
        testing_program::MoveTo(d, tools, *x, pointerY);
        return CursorNear(tools, plot, *x, 1.5 * sample, &greyFrom);
    };
    auto grabView = [&](Picture* p) {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        return screen.Grab(main, p, view.x, view.y, view.width, view.height);
    };
    // The box of the pixels that differ from the picture without the mark: its centre.
    struct Mark {
        bool found = false;
        int left = 0, top = 0, right = -1, bottom = -1;
        double x() const { return (left + right) / 2.0; }
        double y() const { return (top + bottom) / 2.0; }
    };
    auto markIn = [&](const Picture& without, const Picture& with) {
        Mark m;
        m.left = with.width;
        m.top = with.height;
        for (int y = 0; y < std::min(with.height, without.height); ++y)
            for (int x = 0; x < std::min(with.width, without.width); ++x) {
                const uint8_t *a = with.At(x, y), *b = without.At(x, y);
                if (std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) < 90) continue;
                m.found = true;
                m.left = std::min(m.left, x);
                m.right = std::max(m.right, x);
                m.top = std::min(m.top, y);
                m.bottom = std::max(m.bottom, y);
            }
        return m;
    };

    Picture unlinked, first, second;
    int p1 = 0, p2 = 0;
    ASSERT_TRUE(pointAt(0.3, &p1)) << "the chart's cursor is not at the pointer: " << greyFrom << " for " << p1;
    ASSERT_TRUE(grabView(&unlinked));
    testing_program::PressKeys(d, {XK_b});
    ASSERT_TRUE(pointAt(0.3, &p1)) << "the chart's cursor is not at the pointer: " << greyFrom << " for " << p1;
    // Once the mark stands still (two grabs agree).
    Mark m1, last;
    for (int tries = 0; tries < 40; ++tries) {
        last = m1;
        m1 = grabView(&first) ? markIn(unlinked, first) : Mark{};
        if (m1.found && last.found && m1.x() == last.x() && m1.y() == last.y()) break;
    }
    ASSERT_TRUE(m1.found) << "no mark in the image";
    // The mark is a cross about 20 pixels wide and high, centred on the slice's line.
    EXPECT_NEAR(m1.right - m1.left, 19, 3);
    EXPECT_NEAR(m1.bottom - m1.top, 19, 3);
    const int cx = static_cast<int>(m1.x()), cy = static_cast<int>(m1.y());
    const uint8_t* onLine = unlinked.At(cx - 14, cy);
    const uint8_t* offLine = unlinked.At(cx - 14, cy - 5);
    EXPECT_GT(std::abs(onLine[0] - offLine[0]) + std::abs(onLine[1] - offLine[1]) + std::abs(onLine[2] - offLine[2]), 90)
        << "the mark's centre row holds no slice line";

    ASSERT_TRUE(pointAt(0.6, &p2)) << "the chart's cursor is not at the pointer: " << greyFrom << " for " << p2;
    // Once the mark has moved and stands still (two grabs agree).
    Mark m2, before;
    for (int tries = 0; tries < 40; ++tries) {
        before = m2;
        m2 = grabView(&second) ? markIn(unlinked, second) : Mark{};
        if (m2.found && before.found && std::abs(m2.x() - m1.x()) > 3 && m2.x() == before.x() && m2.y() == before.y())
            break;
    }
    ASSERT_TRUE(m2.found) << "no mark in the image";
    const double samples = (p2 - p1) * kSamples / (plot.right - plot.left);
    EXPECT_NEAR(m2.x() - m1.x(), samples, 2.0);
    EXPECT_NEAR(m2.y(), m1.y(), 0.5);
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

// A colour bitmap and a spectrum in one run. The view mode page has one value row per
// channel of the file shown: one for the spectrum, three as soon as the bitmap's tab is
// chosen. The rectangle Create makes on the bitmap draws each channel's histogram in its
// own colour from its own bins: each curve's highest point stands at numpy's largest count
// of that channel (blue, all its values in one bin, gives the scale) over a bin that holds
// it. With the pointer over a bin, V: gives each channel's count there and C: the bin's
// value and the first channel's count. On a screen of 1024 x 768, where "Chart Tools"
// stands over the main window's lower part, the grid page and the statistic overlay
// opened from View > Layout leave every control of "Chart Tools" within the pointer's
// reach.
TEST_F(HistogramProgram, EachChannelsCurveReadoutsAndPagesOfAColourBitmap) {
    testing_util::WriteText(files.File("colour.py"), kColourScript);
    int status = -1;
    std::istringstream numpy(testing_program::RunCommand(
        ORVA_PYTHON " '" + files.File("colour.py") + "' '" + files.Path() + "' 2>&1", &status));
    ASSERT_EQ(status, 0) << numpy.str();
    double lo = 0, w = 0;
    numpy >> lo >> w >> std::ws;
    std::array<std::vector<double>, 3> bins;
    for (auto& channel : bins) {
        std::string line;
        std::getline(numpy, line);
        std::istringstream counts(line);
        for (double v; counts >> v;) channel.push_back(v);
    }
    const size_t K = bins[0].size();
    ASSERT_TRUE(K > 10 && bins[1].size() == K && bins[2].size() == K) << numpy.str();
    Display* d = screen.display();
    std::string why;
    main = testing_program::StartOnFiles(screen, program, files.File("run"),
                                         {files.File("rgb.bmp"), files.File("line.fits")}, &why);
    ASSERT_NE(main, 0u) << why;
    ASSERT_TRUE(screen.WaitForWindow("Chart Tools", 20000) != 0 && program->WaitForLog("line.fits", 20000));

    // The view mode page's captions "1:" to "3:" stand over its toggle, in the top row.
    const Screen::Rect m = screen.RectOf(main);
    auto rowsShown = [&](const std::string& want) {
        std::string seen;
        // Another file's pages are made anew: a busy machine (the sanitizers' build among
        // many tests) takes seconds for them. The wait is counted in time slept, not in
        // screens read (a read that finds the page at once takes far less than a step).
        testing_util::WaitUntil(
            [&] {
                int tx = 0, ty = 0, cx = 0, cy = 0;
                if (!WaitForText("Work mode", m.left, m.top, m.right - m.left, 100, &tx, &ty, 250)) return false;
                seen.clear();
                for (const char* caption : {"1:", "2:", "3:"})
                    seen += FindText(shot, tx - 40, ty - 62, 40, 60, caption, &cx, &cy) ? "1" : "0";
                return seen == want;
            },
            20000, 250);
        return seen;
    };
    EXPECT_EQ(rowsShown("100"), "100") << "the spectrum";
    int tx = 0, ty = 0;
    ASSERT_TRUE(testing_util::WaitUntil([&] {
        return Grab() && testing_program::FindInk(shot, m.left + 250, m.top + 100, m.right - m.left - 250, 200,
                                                  testing_program::ListInk("rgb.bmp"), &tx, &ty);
    })) << "no tab of rgb.bmp";
    testing_program::ClickAt(d, Root(), tx + 10, ty + 4);
    testing_program::MoveTo(d, Root(), 2, DisplayHeight(d, DefaultScreen(d)) - 2);
    EXPECT_EQ(rowsShown("111"), "111") << "the colour bitmap, the pointer away from it";

    int editY = 0;
    ASSERT_TRUE(CreateFromPage("Statistic mask", "Rectangle", &editY));
    Picture chart;
    Screen::Rect at;
    Plot plot;
    std::string curves = "no chart";
    double perBin = 1;
    for (int waited = 0; waited <= 10000 && !curves.empty(); waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (!testing_program::GrabTools(screen, &chart, &at) || !(plot = testing_program::FindPlot(chart)).found) continue;
        perBin = (plot.right - plot.left) / static_cast<double>(K);
        // Each colour's highest and lowest row, and the bin of the highest.
        int top[3] = {-1, -1, -1}, topX[3] = {}, bottom[3] = {};
        for (int y = plot.top; y < std::min(plot.bottom + 3, chart.height); ++y)
            for (int x = plot.left; x < plot.right; ++x)
                for (int c = 0; c < 3; ++c)
                    if (CurveColour(chart.At(x, y), c)) {
                        if (top[c] < 0) top[c] = y, topX[c] = x;
                        bottom[c] = y;
                    }
        std::ostringstream faults;
        const double blue = *std::max_element(bins[2].begin(), bins[2].end());
        for (int c = 0; c < 3 && top[0] >= 0 && top[1] >= 0 && top[2] >= 0; ++c) {
            // Blue is 0 but in one bin: its lowest row is the baseline.
            const double height = (bottom[2] - top[c]) * blue / (bottom[2] - top[2]);
            const double largest = *std::max_element(bins[c].begin(), bins[c].end());
            const int bin = static_cast<int>(std::floor((topX[c] - plot.left - 1.5) / perBin));
            double near = 0;
            for (int b = std::max(bin - 1, 0); b <= std::min<int>(bin + 1, static_cast<int>(K) - 1); ++b)
                near = std::max(near, bins[c][static_cast<size_t>(b)]);
            if (std::abs(height - largest) > 2.0 * blue / (bottom[2] - top[2]) || near != largest)
                faults << "channel " << c + 1 << ": highest " << height << " over bin " << bin << " (numpy " << largest
                       << "); ";
        }
        curves = top[0] < 0 || top[1] < 0 || top[2] < 0 ? "not every curve drawn" : faults.str();
    }
    if (!curves.empty()) testing_program::WritePpm(ORVA_BINARY_DIR "/colour_histogram.ppm", chart);
    EXPECT_EQ(curves, "") << "(the window: " ORVA_BINARY_DIR "/colour_histogram.ppm)";

    // The readouts over three bins: blue's, one of red and green, one of green alone.
    ASSERT_TRUE(plot.found);
    const size_t blueBin = static_cast<size_t>(std::max_element(bins[2].begin(), bins[2].end()) - bins[2].begin());
    for (size_t bin : {blueBin, size_t{4}, K - 2}) {
        std::string v = std::to_string(static_cast<int>(bins[0][bin])), shown;
        for (int c = 1; c < 3; ++c) v += "  " + std::to_string(static_cast<int>(bins[c][bin]));
        // The bin's value as the chart counts it: its first edge, a step a bin, half a bin on.
        const double x = static_cast<double>(bin) * w + (lo - w / 2) + (lo - (lo - w / 2));
        const std::string c = testing_program::ListNumber(x) + "  " + testing_program::ListNumber(bins[0][bin]);
        const int px = at.left + plot.left + static_cast<int>(1.5 + (static_cast<double>(bin) + 0.5) * perBin);
        bool read = false;
        for (int waited = 0; waited <= 8000 && !read; waited += 250) {
            testing_program::MoveTo(d, Root(), px + (waited / 250) % 2, at.top + (plot.top + plot.bottom) / 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            int vx = 0, vy = 0, cx = 0, cy = 0;
            std::string cShown;
            read = testing_program::GrabTools(screen, &chart, &at) &&
                   FindText(chart, 0, 0, chart.width / 2, chart.height, "V:", &vx, &vy) &&
                   FindText(chart, 0, 0, chart.width / 2, chart.height, "C:", &cx, &cy) &&
                   testing_program::ShowsText(chart, vx + 12, vy - 2, 150, 15, v, &shown) &&
                   testing_program::ShowsText(chart, cx + 12, cy - 2, 75, 15, c, &cShown);
            shown += " / " + cShown;
        }
        EXPECT_TRUE(read) << "bin " << bin << ": V: " << v << ", C: " << c << " wanted, shown " << shown;
    }
    EXPECT_EQ(program->End(), 0);

    // 1024 x 768: the grid page, then the statistic overlay, from View > Layout.
    testing_program::SecondDisplay small("1024x768x24");
    ASSERT_FALSE(small.Name().empty());
    Screen other(small.Name().c_str());
    testing_program::ProgramPlace place;
    place.display = small.Name();
    mkdir(files.File("small").c_str(), 0700);
    const std::string dump = files.File("widgets.txt");
    testing_util::ScopedEnv dumpEnv{"ORVA_WIDGET_DUMP", dump};
    ProgramRun run(files.File("small"), {files.File("rgb.bmp")}, place);
    const Window smallMain = other.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    const Window tools = other.WaitForWindow("Chart Tools", 20000);
    ASSERT_TRUE(smallMain != 0 && tools != 0 && run.WaitForLog("Source format", 20000)) << run.Log();
    testing_program::Records now;
    auto pages = [&] {
        return testing_program::ReadRecords(run.Pid(), dump, &now)
                   ? std::count_if(now.windows.begin(), now.windows.end(),
                                   [](const auto& r) { return r.visible && r.parent == "(nil)" && r.title == "Workspace Layout"; })
                   : -1;
    };
    const auto before = pages();
    ASSERT_GE(before, 0) << "no widget records";
    ASSERT_TRUE(testing_program::ChooseMainMenuEntry(other, smallMain, 107, "Layout", "Grid"));
    ASSERT_TRUE(testing_util::WaitUntil([&] { return pages() == before + 1; }, 10000)) << "no grid page";
    ASSERT_TRUE(testing_program::ChooseMainMenuEntry(other, smallMain, 107, "Layout", "Statistic Overlay"));
    ASSERT_TRUE(testing_util::WaitUntil([&] { return pages() == before + 2; }, 10000)) << "no statistic overlay";
    // Every shown control of "Chart Tools", and its chart: the window the pointer finds at
    // its corners and its centre is "Chart Tools".
    Display* o = other.display();
    std::string covered;
    auto reach = [&](const std::string& what, const testing_program::Rectangle& r) {
        for (const auto& [x, y] : {std::pair{r.left + 1, r.top + 1}, std::pair{r.right - 2, r.top + 1},
                                   std::pair{r.left + 1, r.bottom - 2}, std::pair{r.right - 2, r.bottom - 2},
                                   std::pair{(r.left + r.right) / 2, (r.top + r.bottom) / 2}}) {
            Window under = 0;
            int ux = 0, uy = 0;
            if (XTranslateCoordinates(o, DefaultRootWindow(o), DefaultRootWindow(o), x, y, &ux, &uy, &under) &&
                under != tools)
                return covered += what + " at " + r.Text() + "; ", void();
        }
    };
    const testing_program::RecordWindow* t = now.Titled("Chart Tools");
    ASSERT_NE(t, nullptr);
    for (const auto& e : now.widgets) {
        const testing_program::RecordWindow* w = now.Window(e.window);
        if (w == nullptr || (w != t && w->parent != t->id) || e.shown == 0 || e.width < 3 || e.height < 3) continue;
        const testing_program::Rectangle r = testing_program::Rectangle{
            w->x + static_cast<int>(e.x + 0.5f), w->y + static_cast<int>(e.y + 0.5f),
            w->x + static_cast<int>(e.x + e.width - 0.5f), w->y + static_cast<int>(e.y + e.height - 0.5f)}
                                                 .Meet(now.VisibleArea(*w));
        if (!r.Empty()) reach("\"" + e.text + "\" (kind " + std::to_string(e.kind) + ")", r);
    }
    for (const auto& c : now.windows)
        if (c.visible && c.parent == t->id && c.width > 300 && c.height > 300)
            reach("the chart", testing_program::Rectangle{c.x, c.y, c.x + c.width, c.y + c.height});
    EXPECT_EQ(covered, "") << "out of the pointer's reach";
    EXPECT_EQ(run.End(), 0);
}

// Extraction/Statistic > Statistic > "Save As Text..." proposes the report's name, made
// from the data file's: the save dialog's name field shows it.
TEST_F(HistogramProgram, TheTextReportIsOfferedUnderItsName) {
    ASSERT_TRUE(Start("radial.fits"));
    Display* d = screen.display();
    int editY = 0;
    ASSERT_TRUE(CreateFromPage("Statistic mask", "Rectangle", &editY));
    const Screen::Rect m = screen.RectOf(main);
    int x = 0, y = 0;
    ASSERT_TRUE(WaitForText("Statistic", m.left, editY - 30, 400, 60, &x, &y));
    testing_program::ClickAt(d, Root(), x + 10, y + 4);
    // "Save As" begins only "Save As Text..." in this menu.
    const bool menu = WaitForText("Save As", x - 20, y, 300, 300, &x, &y);
    if (!menu) testing_program::WritePpm(ORVA_BINARY_DIR "/text_report_menu.ppm", shot);

    ASSERT_TRUE(menu) << "the Statistic menu (the screen: " ORVA_BINARY_DIR "/text_report_menu.ppm)";
    testing_program::MoveTo(d, Root(), x + 10, y + 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    testing_program::ClickAt(d, Root(), x + 10, y + 4);
    const Window dialog = screen.WaitForWindow("Save Statistic", 10000);
    ASSERT_NE(dialog, 0u) << program->Log();
    const Screen::Rect r = screen.RectOf(dialog);
    // The name stands selected, to be typed over; End leaves it plain, the caret after its
    // last letter (pressed again while the dialog may not have the keys yet).
    ASSERT_TRUE(WaitForText("File name:", r.left, r.top, r.right - r.left, r.bottom - r.top, &x, &y));
    bool named = false;
    for (int attempt = 0; attempt < 3 && !named; ++attempt) {
        testing_program::PressKeys(d, {XK_End});
        named = WaitForText("radial_stat_t.tx", r.left, r.top, r.right - r.left, r.bottom - r.top, &x, &y);
    }
    EXPECT_TRUE(named) << "the proposed name in the dialog";
    testing_program::PressKeys(d, {XK_Escape});
}

}  // namespace
}  // namespace orva
