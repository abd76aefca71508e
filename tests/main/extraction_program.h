#pragma once
// The program with the Extraction/Statistic page in reach: started on a file of the
// test's folder, a shape made with Extraction/Statistic > Create, the "SLICE / STATISTIC"
// page opened from the title label over the page, and the bars (or the profile) of the
// "Chart Tools" chart read from the screen.
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
#include "extraction_input.h"
#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva::testing_program {

class ExtractionProgram : public ::testing::Test {
protected:
    Window Root() const { return DefaultRootWindow(screen.display()); }
    bool Grab() { return screen.Grab(Root(), &shot); }

    // Waits up to `ms` for the text in the box; where it stands.
    bool WaitForText(const std::string& text, int x, int y, int w, int h, int* at, int* aty, int ms = 5000) {
        return WaitForScreenText(screen, &shot, text, x, y, w, h, at, aty, ms);
    }

    bool PageTab(int n, int* x, int* y) { return PageColumnTab(screen, main, n, x, y); }

    // The chart of the "Chart Tools" window once it shows bars; the plot and the row of
    // the curve's top at the centre of each of `bins` bins.
    bool ChartTops(size_t bins, Plot* plot, std::vector<int>* tops) {
        const Window tools = screen.FindWindow("Chart Tools");
        if (tools == 0) return false;
        const Screen::Rect t = screen.RectOf(tools);
        Picture window;
        if (!screen.Grab(tools, &window)) return false;
        *plot = FindPlot(window);
        if (!plot->found) return false;
        tops->clear();
        const double width = plot->right - plot->left;
        for (size_t i = 0; i < bins; ++i) {
            // The curves are drawn 1.5 pixels into the plot: bin i spans [1.5 + i s, 1.5 + (i + 1) s)
            // for s pixels a bin, and its middle is read (a narrow plot puts the edge of a
            // step, and the riser to its neighbour, close to i s + s / 2).
            const int x =
                plot->left + static_cast<int>(std::lround(1.5 + (static_cast<double>(i) + 0.5) * width / bins));
            // A bar of a few values lies on the plot's bottom edge, below the grey.
            int top = -1;
            for (int y = plot->top; y < std::min(plot->bottom + 3, window.height) && top < 0; ++y)
                if (Ink(window.At(x, y))) top = y;
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

    // Starts the program on a file of the test's folder, once the "Chart Tools" window shows.
    bool Start(const std::string& file) {
        main = StartForChart(screen, program, files.File("run"), files.File(file));
        return main != 0;
    }

    // Extraction/Statistic > Create > `menu` > `entry`; the row of "Create" in `editY`.
    ::testing::AssertionResult CreateFromPage(const std::string& menu, const std::string& entry, int* editY) {
        return CreateFromExtractionPage(screen, main, menu, entry, editY);
    }

    // The "SLICE / STATISTIC" page, from the title label over the page ("Reduction",
    // above "Edit Mask" which stands left of "Create" on row `editY`); where its
    // "Interval grouping:" caption stands.
    ::testing::AssertionResult OpenSlicePage(int editY, int* x, int* y) {
        const Screen::Rect m = screen.RectOf(main);
        int ex = 0, ey = 0;
        if (!WaitForText("Edit Mask", m.left, editY - 30, 200, 40, &ex, &ey))
            return ::testing::AssertionFailure() << "no Edit Mask";
        ClickAt(screen.display(), Root(), ex + 16, ey - 29);
        if (!WaitForText("Interval grouping:", m.left, m.top, 800, 700, x, y))
            return ::testing::AssertionFailure() << "the SLICE / STATISTIC page did not open";
        return ::testing::AssertionSuccess();
    }

    // A click on the "Chart Tools" chart near the plot's left edge, where the cursor stays
    // at the first sample: the keys go to the chart.
    ::testing::AssertionResult FocusChart() {
        for (int waited = 0; waited <= 5000; waited += 250) {
            const Window tools = screen.FindWindow("Chart Tools");
            Picture window;
            if (tools != 0 && screen.Grab(tools, &window)) {
                const Plot plot = FindPlot(window);
                if (plot.found) {
                    const Screen::Rect t = screen.RectOf(tools);
                    ClickAt(screen.display(), Root(), t.left + plot.left + 1, t.top + (plot.top + plot.bottom) / 2);
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    return ::testing::AssertionSuccess();
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return ::testing::AssertionFailure() << "no chart";
    }

    Screen screen;
    testing_util::TempFolder files;
    std::optional<ProgramRun> program;
    Window main = 0;
    Picture shot;
};

}  // namespace orva::testing_program
