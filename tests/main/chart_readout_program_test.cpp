// The chart's readouts as a user sees them: the real program on an image written by astropy,
// a slice line made with Extraction/Statistic > Create > Slice mask > Line, and the pointer
// moved over the "Chart Tools" chart with XTest. The coordinates page of that window shows
// the sample under the chart's cursor (X:, counted from 1 as the image readouts count
// pixels) and its value (Y:), its value page the same value
// (V:), and the statistic list the count, sum, extremes, mean, median and spread of the
// profile, each read from the screen and compared with numpy's on the pixels under the
// line.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "extraction_input.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::Picture;
using testing_program::Plot;
using testing_program::ProgramRun;
using testing_program::Screen;
using testing_program::ListNumber;
using testing_program::RowShows;
using testing_program::ShowsText;

// A 200 x 160 frame whose middle row holds pseudo-random whole numbers 0..100 (the line
// from Create runs along row 80 from x 50 to x 150, one sample a pixel); the other rows
// differ from it. The script prints the 101 samples under the line, then numpy's count,
// sum, minimum, maximum, mean, standard deviation (n - 1) and median of them.
constexpr const char* kReadoutScript = R"(
import sys
import numpy as np
from astropy.io import fits
folder = sys.argv[1]
y, x = np.mgrid[0:160, 0:200]
v = ((x * 37) % 101 + 2 * np.abs(y - 80)).astype(np.int16)
fits.PrimaryHDU(v).writeto(folder + '/row.fits', overwrite=True)
p = fits.getdata(folder + '/row.fits')[80, 50:151].astype(np.float64)
print(' '.join(str(int(c)) for c in p))
print(p.size, repr(p.sum()), repr(p.min()), repr(p.max()), repr(p.mean()), repr(p.std(ddof=1)), repr(np.median(p)))
)";

class ChartReadoutProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("row.py"), kReadoutScript);
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " '" + files.File("row.py") + "' '" + files.Path() + "' 2>&1", &status);
        ASSERT_EQ(status, 0) << out;
        std::istringstream in(out);
        std::string line;
        std::getline(in, line);
        std::istringstream samples(line);
        for (int v; samples >> v;) profile.push_back(v);
        in >> count >> sum >> minimum >> maximum >> mean >> sigma >> median;
        ASSERT_EQ(profile.size(), 101u) << out;
    }

    bool GrabTools(Picture* window, Screen::Rect* at) { return testing_program::GrabTools(screen, window, at); }

    // The X: or Y: field of the coordinates page shows `text`.
    static bool FieldShows(const Picture& window, const std::string& caption, const std::string& text,
                           std::string* why) {
        int cx = 0, cy = 0;
        if (!FindText(window, 0, 0, window.width / 2, window.height, caption, &cx, &cy)) {
            *why = "no " + caption;
            return false;
        }
        std::string shown;
        if (ShowsText(window, cx + 16, cy - 3, 88, 17, text, &shown)) return true;
        *why = caption + " " + shown;
        return false;
    }

    // With the pointer over the plot at the middle of sample `near` (from 0): the sample
    // that X: shows as its number from 1 (one of the samples beside it; the cursor snaps
    // to whole samples), whose value Y: must show. -1 when the readout does not come.
    int ReadoutNear(int near, std::string* why) {
        Picture window;
        Screen::Rect at;
        for (int waited = 0; waited <= 8000; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (!GrabTools(&window, &at)) continue;
            // The plot is found by the grey right of the cursor: while the cursor stands
            // at the first sample.
            if (!plot.found) plot = testing_program::FindPlot(window);
            if (!plot.found) {
                *why = "no plot";
                continue;
            }
            const double perSample = (plot.right - plot.left) / static_cast<double>(profile.size());
            Display* d = screen.display();
            testing_program::MoveTo(d, DefaultRootWindow(d), at.left + plot.left + static_cast<int>((near + 0.5) * perSample),
                                    at.top + (plot.top + plot.bottom) / 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (!GrabTools(&window, &at)) continue;
            for (int k = std::max(0, near - 2); k <= std::min<int>(profile.size() - 1, near + 2); ++k) {
                std::string unused;
                if (!FieldShows(window, "X:", std::to_string(k + 1), &unused)) continue;
                // The coordinates page's Y: and the value page's V: both show the sample's value.
                const std::string value = std::to_string(profile[static_cast<size_t>(k)]);
                if (FieldShows(window, "Y:", value, why) && FieldShows(window, "V:", value, why)) return k;
                *why = "X: " + std::to_string(k + 1) + ", " + *why;
                break;
            }
            if (why->empty()) FieldShows(window, "X:", std::to_string(near + 1), why);
        }
        return -1;
    }

    Screen screen;
    testing_util::TempFolder files;
    std::optional<ProgramRun> program;
    std::vector<int> profile;
    Plot plot;
    size_t count = 0;
    double sum = 0, minimum = 0, maximum = 0, mean = 0, sigma = 0, median = 0;
};

TEST_F(ChartReadoutProgram, ThePointerOverTheChartShowsItsSampleValueAndTheRowStatistics) {
    const Window main = testing_program::StartForChart(screen, program, files.File("run"), files.File("row.fits"));
    ASSERT_NE(main, 0u);
    int editY = 0;
    ASSERT_TRUE(testing_program::CreateFromExtractionPage(screen, main, "Slice mask", "Line", &editY));

    // The statistic list: numpy's numbers on the pixels under the line, the spread in the
    // rows the wheel over the list brings into its short window.
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Count:", std::to_string(count)}, {"Flux:", ListNumber(sum)}, {"Max:", ListNumber(maximum)},
        {"Min:", ListNumber(minimum)},     {"Mean:", ListNumber(mean)}, {"Median:", ListNumber(median)}};
    const std::vector<std::pair<std::string, std::string>> lower = {{"RMS", ListNumber(sigma)}};
    std::string why;
    Picture window;
    Screen::Rect at;
    EXPECT_TRUE(testing_program::ToolsListShows(screen, rows, &window, &at, &why)) << why;
    EXPECT_TRUE(testing_program::WheelListDown(screen.display(), window, at, 3));
    EXPECT_TRUE(testing_program::ToolsListShows(screen, lower, &window, &at, &why)) << why;

    // The readout follows the pointer: two places, two samples and their values.
    why.clear();
    const int first = ReadoutNear(28, &why);
    EXPECT_GE(first, 0) << why;
    why.clear();
    const int second = ReadoutNear(71, &why);
    EXPECT_GE(second, 0) << why;
    EXPECT_NE(first, second);
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
