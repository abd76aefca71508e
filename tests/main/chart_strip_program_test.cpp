// The chart's image strip as a user sees it: the real program on an image written by
// astropy whose rows rise by one a column with a step of 40 at column 200; a slice made with
// Extraction/Statistic > Create > Slice mask > Line through XTest clicks. The "Chart Tools"
// window shows no value page while its chart is empty; with the slice its value page
// opens and its preview draws the slice's samples as a white curve on black, larger values
// higher up: the curve read off the screen has the shape of the chart's own curve and of
// the image's profile (a straight rise whose step sits where the chart's does, and whose
// slope is what the step leaves of the rise). Up keys scroll the chart's y range, and the
// strip moves with the curve.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "extraction_input.h"
#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::ChildWindow;
using testing_program::FindText;
using testing_program::Picture;
using testing_program::Plot;
using testing_program::ProgramRun;
using testing_program::Screen;

constexpr const char* kStripScript = R"(
import sys
import numpy as np
from astropy.io import fits
y, x = np.mgrid[0:200, 0:300]
fits.PrimaryHDU((x + 40.0 * (x > 200)).astype(np.float32)).writeto(sys.argv[1], overwrite=True)
)";

// A curve read off the screen: the top-most row of its ink in each column from `first` on
// (-1 where a column has none).
struct Curve {
    int first = 0;
    std::vector<int> top;
    // The columns that hold ink, and the curve's height there between its two ends, 0 at the
    // first inked column and 1 at the last.
    int From() const {
        for (size_t i = 0; i < top.size(); ++i)
            if (top[i] >= 0) return static_cast<int>(i);
        return -1;
    }
    int To() const {
        for (size_t i = top.size(); i-- > 0;)
            if (top[i] >= 0) return static_cast<int>(i);
        return -1;
    }
    // The height at the fraction u of the inked width (nearest inked column).
    double At(double u) const {
        const int a = From(), b = To();
        int i = a + static_cast<int>(std::lround(u * (b - a)));
        while (i < b && top[i] < 0) ++i;
        return Height(i);
    }
    double Height(int i) const {
        const int a = From(), b = To();
        return static_cast<double>(top[a] - top[i]) / (top[a] - top[b]);
    }
    // The row of the straight line fitted (least squares) to the inked columns from i0 to
    // i1, at column i; -1 with fewer than ten of them. The strip's picture is shrunk to the
    // preview, so its thin line may miss a column here and there.
    double LineAt(int i0, int i1, int i) const {
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (int c = std::max(i0, 0); c <= i1 && c < static_cast<int>(top.size()); ++c) {
            if (top[c] < 0) continue;
            n += 1, sx += c, sy += top[c], sxx += double(c) * c, sxy += double(c) * top[c];
        }
        if (n < 10) return -1;
        const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
        return (sy - slope * sx) / n + slope * i;
    }
    // The step: the column whose height rises most over its left neighbour; where it sits
    // (fraction of the width) and how much it rises. Its line may cover a few columns, so
    // the rise is taken over three columns each side, less what the straight parts climb
    // there (at the rate 1 - rise a width).
    void Step(double* at, double* rise) const {
        const int a = From(), b = To();
        int best = a + 1;
        double most = -1;
        for (int i = a + 1; i <= b; ++i) {
            if (top[i] < 0 || top[i - 1] < 0) continue;
            const double d = Height(i) - Height(i - 1);
            if (d > most) most = d, best = i;
        }
        *at = static_cast<double>(best - a) / (b - a);
        constexpr int k = 3;
        const double t = 2.0 * k / (b - a);
        const double over = Height(std::min(best + k - 1, b)) - Height(std::max(best - k - 1, a));
        *rise = (over - t) / (1.0 - t);
    }
};

bool White(const uint8_t* p) { return p[0] >= 200 && p[1] >= 200 && p[2] >= 200; }

// A 300 x 200 frame whose rows hold a saw of whole numbers (37 x column modulo 101), rising
// away from the middle row: the slice along the middle row gives a profile without two
// alike stretches, so that a shifted curve is found again.
constexpr const char* kSawScript = R"(
import sys
import numpy as np
from astropy.io import fits
y, x = np.mgrid[0:200, 0:300]
fits.PrimaryHDU(((x * 37) % 101 + 2 * np.abs(y - 100)).astype(np.int16)).writeto(sys.argv[1], overwrite=True)
)";

// The median of the differences b[i] - a[i] where both curves hold ink and `a` lies between
// rows `low` and `high`; INT_MIN without ten such columns.
int MedianShift(const std::vector<int>& a, const std::vector<int>& b, int low, int high) {
    std::vector<int> d;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] >= low && a[i] <= high && b[i] >= 0) d.push_back(b[i] - a[i]);
    if (d.size() < 10) return INT_MIN;
    std::nth_element(d.begin(), d.begin() + d.size() / 2, d.end());
    return d[d.size() / 2];
}

// The columns by which `after` stands left of `before`: the shift (0 to most) under which
// the most columns hold ink at the same row.
int LeftShift(const std::vector<int>& before, const std::vector<int>& after, int most) {
    int best = -1, bestHits = -1;
    for (int s = 0; s <= most; ++s) {
        int hits = 0;
        for (size_t i = 0; i + s < before.size() && i < after.size(); ++i)
            hits += after[i] >= 0 && after[i] == before[i + s] ? 1 : 0;
        if (hits > bestHits) best = s, bestHits = hits;
    }
    return best;
}

class ChartStripProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("ramp.py"), kStripScript);
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " '" + files.File("ramp.py") + "' '" + files.File("ramp.fits") + "' 2>&1", &status);
        ASSERT_EQ(status, 0) << out;
    }

    Window Root() const { return DefaultRootWindow(screen.display()); }
    bool Grab() { return screen.Grab(Root(), &shot); }
    bool WaitForText(const std::string& text, int x, int y, int w, int h, int* at, int* aty, int ms = 5000) {
        for (int waited = 0; waited <= ms; waited += 200) {
            if (Grab() && FindText(shot, x, y, w, h, text, at, aty)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

    // The value page of the "Chart Tools" window: its child window left of the plot, as
    // high as a page (the chart's scales and panel are lower or wider).
    // The leftmost tall page at the window's top, left of the plot: above the panel's tabs in
    // a tall window, beside the panel in a short one.
    bool ValuePage(Window tools, const Plot& plot, ChildWindow* page) {
        bool found = false;
        for (const ChildWindow& c : testing_program::ChildWindows(screen.display(), tools))
            if (c.x + c.width <= plot.left && c.y < 10 && c.height >= 100 && c.width <= 400 &&
                (!found || c.x < page->x)) {
                *page = c;
                found = true;
            }
        return found;
    }

    // The chart's curve in its plot and the strip in the value page's preview (x 2 to 21
    // short of the right edge, y 18 to 42 short of the foot), once both are drawn. A curve
    // that fills its plot leaves too little of the plot's grey to find it by: the plot found
    // before may be given.
    bool ReadCurves(Curve* chart, Curve* strip, std::string* why, const Plot* known = nullptr) {
        const Window tools = screen.FindWindow("Chart Tools");
        Picture window;
        if (tools == 0 || !screen.Grab(tools, &window)) return *why = "no Chart Tools window", false;
        const Plot plot = known != nullptr ? *known : testing_program::FindPlot(window);
        if (!plot.found) return *why = "no plot", false;
        ChildWindow page;
        if (!ValuePage(tools, plot, &page)) return *why = "no value page in the Chart Tools window", false;
        chart->first = plot.left + 4;
        chart->top.assign(static_cast<size_t>(plot.right - chart->first), -1);
        for (int x = chart->first; x < plot.right; ++x)
            for (int y = plot.top; y < plot.bottom && chart->top[x - chart->first] < 0; ++y)
                if (testing_program::Ink(window.At(x, y))) chart->top[x - chart->first] = y;
        const int left = page.x + 2, right = page.x + page.width - 21;
        strip->first = left;
        strip->top.assign(static_cast<size_t>(right - left), -1);
        for (int x = left; x < right; ++x)
            for (int y = page.y + 18; y < page.y + page.height - 42 && strip->top[x - left] < 0; ++y)
                if (White(window.At(x, y))) strip->top[x - left] = y;
        if (chart->To() - chart->From() < 100) return *why = "no curve in the plot", false;
        if (strip->To() - strip->From() < 100) return *why = "no curve in the preview", false;
        return true;
    }

    // The strip has the chart's shape: equal heights along the width (away from the step),
    // the step at the same place and of the same size, and larger values higher up.
    ::testing::AssertionResult StripMatchesChart(int ms = 10000) {
        std::string why;
        for (int waited = 0; waited <= ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            Curve chart, strip;
            if (!ReadCurves(&chart, &strip, &why)) continue;
            if (strip.top[strip.To()] >= strip.top[strip.From()]) {
                why = "the strip's curve falls: larger values drawn lower";
                continue;
            }
            double chartAt = 0, chartRise = 0, stripAt = 0, stripRise = 0;
            chart.Step(&chartAt, &chartRise);
            strip.Step(&stripAt, &stripRise);
            std::ostringstream out;
            out << "step at " << stripAt << " rising " << stripRise << " (chart " << chartAt << ", " << chartRise
                << ")";
            bool ok = std::abs(stripAt - chartAt) <= 0.03 && std::abs(stripRise - chartRise) <= 0.05;
            // The image's profile: a rise of one a column, so both straight parts climb at
            // the rate the step leaves, 1 - rise over the whole width.
            const double before = strip.At(stripAt - 0.03), want = (1.0 - stripRise) * (stripAt - 0.03);
            out << "; before the step " << before << " (profile " << want << ")";
            ok = ok && std::abs(before - want) <= 0.05;
            for (double u = 0.05; u <= 0.951; u += 0.05) {
                if (std::abs(u - chartAt) < 0.04) continue;
                const double s = strip.At(u), c = chart.At(u);
                if (std::abs(s - c) > 0.05) {
                    ok = false;
                    out << "; at " << u << " strip " << s << " chart " << c;
                }
            }
            if (ok) return ::testing::AssertionSuccess();
            why = out.str();
        }
        return ::testing::AssertionFailure() << why;
    }

    // The strip follows the chart's view: after a scroll of the y range the curve stands
    // higher or lower in the preview by the share of its height that it moved in the plot.
    ::testing::AssertionResult StripFollowsScroll(const Curve& chart0, const Curve& strip0, int ms = 8000) {
        // The rise before the step (a tenth to seven tenths of the width), in both, and the
        // curves' full heights.
        auto span = [](const Curve& c, int* i0, int* i1) {
            const int a = c.From(), b = c.To();
            *i0 = a + (b - a) / 10;
            *i1 = a + (b - a) * 7 / 10;
        };
        int c0 = 0, c1 = 0, s0 = 0, s1 = 0;
        span(chart0, &c0, &c1);
        span(strip0, &s0, &s1);
        const int cm = (c0 + c1) / 2, sm = (s0 + s1) / 2;
        const double chartBefore = chart0.LineAt(c0, c1, cm), stripBefore = strip0.LineAt(s0, s1, sm);
        const double chartHeight = chart0.top[chart0.From()] - chart0.top[chart0.To()];
        const double stripHeight = strip0.top[strip0.From()] - strip0.top[strip0.To()];
        std::string why;
        for (int waited = 0; waited <= ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            Curve chart, strip;
            if (!ReadCurves(&chart, &strip, &why)) continue;
            // The same columns of the screen (the plot's edge found may move with the cursor).
            const int shift = chart0.first - chart.first;
            const double chartAfter = chart.LineAt(c0 + shift, c1 + shift, cm + shift);
            const double stripAfter = strip.first == strip0.first ? strip.LineAt(s0, s1, sm) : -1;
            if (chartAfter < 0 || stripAfter < 0) {
                why = "a curve lost its rise";
                continue;
            }
            const double chartShift = (chartAfter - chartBefore) / chartHeight;
            const double stripShift = (stripAfter - stripBefore) / stripHeight;
            std::ostringstream out;
            out << "the chart's curve moved down by " << chartShift << " of its height, the strip's by " << stripShift
                << " (up: negative)";
            why = out.str();
            if (std::abs(chartShift) > 0.03 && std::abs(stripShift - chartShift) <= 0.02) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << why;
    }

    Screen screen;
    testing_util::TempFolder files;
    std::optional<ProgramRun> program;
    Picture shot;
};

TEST_F(ChartStripProgram, ASliceShowsItsSamplesInTheChartToolsPreview) {
    Display* d = screen.display();
    XTestFakeMotionEvent(d, -1, 2, DisplayHeight(d, DefaultScreen(d)) - 2, 0);
    XSync(d, False);
    std::string started;
    const Window main = testing_program::StartOnFiles(screen, program, files.File("run"), {files.File("ramp.fits")}, &started);
    ASSERT_NE(main, 0u) << started;
    const Window tools = screen.WaitForWindow("Chart Tools", 20000);
    ASSERT_NE(tools, 0u);
    const Screen::Rect m = screen.RectOf(main);

    // Nothing measured: the chart is empty and its preview holds no strip.
    int x = 0, y = 0;
    bool tab = false;
    for (int waited = 0; waited < 10000 && !tab; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        tab = Grab() && testing_program::PageTab(shot, m.left, m.top, 2, &x, &y);
    }
    ASSERT_TRUE(tab) << "no page tabs";
    {
        Picture window;
        ASSERT_TRUE(screen.Grab(tools, &window));
        Plot plot = testing_program::FindPlot(window);
        if (!plot.found) plot.left = window.width;
        ChildWindow page;
        ASSERT_TRUE(ValuePage(tools, plot, &page)) << "no value page in the Chart Tools window";
        int white = 0;
        // The preview, above the value page's readout lines.
        for (int y = page.y; y < page.y + page.height - 42 && y < window.height; ++y)
            for (int x = page.x + 2; x < page.x + page.width - 21 && x < window.width; ++x)
                white += White(window.At(x, y)) ? 1 : 0;
        EXPECT_EQ(white, 0) << "a strip in the preview before anything was measured";
    }

    // Extraction/Statistic > Create > Slice mask > Line.
    testing_program::ClickAt(d, Root(), x, y);
    ASSERT_TRUE(WaitForText("Create", m.left, m.top, 330, 500, &x, &y)) << "no Create on the Extraction/Statistic page";
    testing_program::ClickAt(d, Root(), x + 10, y + 4);
    ASSERT_TRUE(WaitForText("Slice mask", x, y, 300, 100, &x, &y));
    testing_program::MoveTo(d, Root(), x + 10, y + 4);
    ASSERT_TRUE(WaitForText("Line", x + 60, y - 10, 250, 60, &x, &y));
    testing_program::MoveTo(d, Root(), x - 10, y + 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    testing_program::ClickAt(d, Root(), x + 10, y + 4);
    testing_program::MoveTo(d, Root(), 2, DisplayHeight(d, DefaultScreen(d)) - 2);
    ASSERT_TRUE(StripMatchesChart());

    // Up scrolls the chart's y range: the curve moves in the plot, and the strip with it.
    Curve chart, strip;
    std::string why;
    ASSERT_TRUE(ReadCurves(&chart, &strip, &why)) << why;
    const Screen::Rect t = screen.RectOf(tools);
    testing_program::ClickAt(d, Root(), t.left + chart.first + 2, t.top + chart.top[chart.From()] - 20);
    testing_program::MoveTo(d, Root(), 2, DisplayHeight(d, DefaultScreen(d)) - 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(ReadCurves(&chart, &strip, &why)) << why;
    for (int i = 0; i < 12; ++i) testing_program::PressKeys(d, {XK_Up});
    EXPECT_TRUE(StripFollowsScroll(chart, strip));
    EXPECT_EQ(program->End(), 0);
}

// Dragging on the strip pans the chart by the pointer's travel: down by 24 pixels, the
// curve stands 24 plot pixels lower and the strip moves with it; after two Shift+"Gray+"
// zoom steps (n pixels a sample, read off the zoom bar), right by 5 pixels, the view
// starts 5 samples later: the curve stands 5 n pixels further left.
TEST_F(ChartStripProgram, DraggingTheStripPansTheChartByThePointersTravel) {
    testing_util::WriteText(files.File("saw.py"), kSawScript);
    int status = -1;
    const std::string out = testing_program::RunCommand(
        ORVA_PYTHON " '" + files.File("saw.py") + "' '" + files.File("saw.fits") + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    Display* d = screen.display();
    const Window main = testing_program::StartForChart(screen, program, files.File("run"), files.File("saw.fits"));
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(testing_program::CreateFromExtractionPage(screen, main, "Slice mask", "Line"));
    const Window tools = screen.FindWindow("Chart Tools");
    ASSERT_NE(tools, 0u);
    Curve chart0, strip0;
    std::string why;
    Plot plot;
    bool read = false;
    for (int waited = 0; waited <= 10000 && !read; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        Picture window;
        if (!screen.Grab(tools, &window)) continue;
        plot = testing_program::FindPlot(window);
        read = plot.found && ReadCurves(&chart0, &strip0, &why, &plot);
    }
    ASSERT_TRUE(read) << why;
    ChildWindow page;
    ASSERT_TRUE(ValuePage(tools, plot, &page));
    const Screen::Rect t = screen.RectOf(tools);
    const int previewX = t.left + page.x + page.width / 2 - 10, previewY = t.top + page.y + (page.height - 42) / 2;
    auto away = [&] { testing_program::MoveTo(d, Root(), 2, DisplayHeight(d, DefaultScreen(d)) - 2); };

    // Down by 24: the columns whose top stays inside the plot move down by 24.
    constexpr int kDown = 24;
    testing_program::Drag(d, Root(), previewX, previewY, 0, kDown);
    away();
    int shift = INT_MIN, stripShift = INT_MIN;
    Curve chart1, strip1;
    for (int waited = 0; waited <= 8000; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (!ReadCurves(&chart1, &strip1, &why, &plot)) continue;
        shift = MedianShift(chart0.top, chart1.top, plot.top + 2, plot.bottom - kDown - 4);
        stripShift = strip1.first == strip0.first ? MedianShift(strip0.top, strip1.top, 0, INT_MAX) : INT_MIN;
        if (shift == kDown && stripShift > 0) break;
    }
    EXPECT_EQ(shift, kDown) << "the chart's curve moved by this many pixels (down: positive); " << why;
    // The strip shows the curve at the preview's scale: it moves by the same share of the
    // plot's height.
    const double previewScale = static_cast<double>(page.height - 60) / (plot.bottom - plot.top);
    EXPECT_NEAR(stripShift, kDown * previewScale, 2.0) << "the strip moved by this many preview pixels";

    // Zoom in with the chart holding the keys and its cursor on the first sample.
    testing_program::ClickAt(d, Root(), t.left + plot.left + 2, t.top + (plot.top + plot.bottom) / 2);
    away();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The ratio n:1 the zoom bar shows (0: none). The tail of a longer number reads as a
    // smaller ratio ("12:1" holds "2:1"): the largest one found is the one shown.
    auto shownRatio = [&] {
        int shown = 0;
        if (!Grab()) return -1;
        for (int n = 2; n <= 20; ++n) {
            int x = 0, y = 0;
            if (FindText(shot, t.left, t.top, t.right - t.left, t.bottom - t.top, std::to_string(n) + ":1", &x, &y))
                shown = n;
        }
        return shown;
    };
    // Each step once the zoom bar shows the step before: a busy machine takes the keys
    // late, and the ratio after the first step is not the one the drag pans at.
    int ratio = shownRatio();
    for (int step = 0; step < 2; ++step) {
        const int before = ratio;
        testing_program::PressKeys(d, {XK_Shift_L, XK_KP_Add});
        for (int waited = 0; waited <= 5000 && (ratio == before || ratio <= 0); waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            ratio = shownRatio();
        }
        ASSERT_NE(ratio, before) << "zoom step " << step + 1 << " left the zoom bar at " << ratio << ":1";
    }
    ASSERT_GT(ratio, 0) << "no zoom ratio n:1 on the zoom bar";
    Curve zoomed, unused;
    ASSERT_TRUE(ReadCurves(&zoomed, &unused, &why, &plot)) << why;

    constexpr int kRight = 5;
    testing_program::Drag(d, Root(), previewX, previewY, kRight, 0, 5);
    away();
    int moved = -1;
    for (int waited = 0; waited <= 8000 && moved != kRight * ratio; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        Curve panned;
        if (!ReadCurves(&panned, &unused, &why, &plot)) continue;
        moved = LeftShift(zoomed.top, panned.top, (plot.right - plot.left) / 2);
    }
    EXPECT_EQ(moved, kRight * ratio) << "the curve moved left by this many pixels at " << ratio << ":1";
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
