// Shapes among the user's files, in the real program on ramps written by astropy, with the
// pointer and keys of XTest only, judged by the screen: a rectangle stays with the file it
// was drawn on (another file's tab, or File > Open of another file, shows none; its own tab
// shows it again); Edit > copy and Edit > Paste put the copy where the rectangle was, on
// any file, and Edit > Cut takes the rectangle away for Paste to bring back; and a
// rectangle drawn with F7 measures the pixels under it: the statistic list shows numpy's
// count, sum, extremes, mean and spread of them and the chart numpy's histogram.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"
#include "shape_program.h"

namespace orva {
namespace {

using testing_program::ColourRun;
using testing_program::FindText;
using testing_program::Picture;
using testing_program::Screen;

using testing_program::kChosenTab;
using testing_program::kOtherTab;

class ShapeFilesProgram : public testing_program::ShapeProgram {
protected:
    // Which ramp shows: ramp.fits darker at the frame's pixel (10, 10) than at (389, 289),
    // ramp2.fits brighter.
    bool ShowsRamp(bool second, int ms = 8000) {
        for (int waited = 0; waited <= ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (!Grab(&shot)) continue;
            const int corner = shot.At(SX(10), SY(10))[0], far = shot.At(SX(389), SY(289))[0];
            if (second ? corner > far + 30 : corner + 30 < far) return true;
        }
        return false;
    }

    // Clicks the tab of the file strip that is not chosen (the strip lies above the
    // picture, right of the page column whose own tabs stand just over the picture's top).
    bool ClickOtherTab() {
        if (!Grab(&shot)) return false;
        for (int y = frame.top - 120; y < frame.top - 40; ++y) {
            std::vector<ColourRun> chosen, other;
            for (const ColourRun& r : testing_program::RunsInRow(shot, kChosenTab, y, 12))
                if (r.to > frame.left - 80) chosen.push_back(r);
            for (const ColourRun& r : testing_program::RunsInRow(shot, kOtherTab, y, 12))
                if (r.to > frame.left - 80) other.push_back(r);
            if (chosen.size() == 1 && other.size() == 1) {
                testing_program::ClickAt(D(), Root(), (other[0].from + other[0].to) / 2, y + 2);
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                testing_program::MoveTo(D(), Root(), SX(300), SY(330));
                return true;
            }
        }
        return false;
    }

    // "Open" on the menu bar, the file's path typed into the dialog's "File name:" field
    // and Return.
    ::testing::AssertionResult OpenFile(const std::string& path) {
        const Screen::Rect m = screen.RectOf(main);
        testing_program::ClickAt(D(), Root(), m.left + 20, m.top + 16);
        Window dialog = 0;
        for (int waited = 0; waited <= 5000 && dialog == 0; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            dialog = screen.FindWindow("Open data file(s)");
        }
        if (dialog == 0) return ::testing::AssertionFailure() << "no Open data file(s) dialog";
        int x = 0, y = 0;
        bool found = false;
        for (int waited = 0; waited <= 5000 && !found; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            Picture p;
            found = screen.Grab(dialog, &p) &&
                    FindText(p, 0, 0, p.width, p.height, "File name:", &x, &y);
        }
        if (!found) return ::testing::AssertionFailure() << "no File name: in the dialog";
        const Screen::Rect r = screen.RectOf(dialog);
        testing_program::ClickAt(D(), Root(), r.left + x + 150, r.top + y + 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        testing_program::TypeText(D(), path);
        Press({XK_Return});
        for (int waited = 0; waited <= 5000; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (screen.FindWindow("Open data file(s)") == 0) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the dialog stayed open";
    }
};

// The rectangle drawn on ramp2.fits: the ramp.fits tab shows none (and the "Edit Shape..."
// panel lets go of it), its own tab shows it again (and the panel its box), and after
// File > Open of ramp.fits (which replaces the open files) none shows.
TEST_F(ShapeFilesProgram, AShapeStaysWithTheFileItWasDrawnOn) {
    StartOn({"ramp.fits", "ramp2.fits"});
    ASSERT_TRUE(ShowsRamp(true)) << "ramp2.fits does not show";
    DragRectangle(250, 43, 350, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));
    std::string why;
    ASSERT_TRUE(WaitForBox(250, 43, 350, 123, 1, &why)) << why;
    ASSERT_TRUE(EditEntry("Edit Shape\x85")) << "no Edit > Edit Shape...";
    CoverPanel();
    const std::vector<std::string> box = {"250.5", "43.5", "100", "80"};
    ASSERT_TRUE(PanelShows(box, &why)) << "the panel lacks " << why;

    ASSERT_TRUE(ClickOtherTab()) << "no tab strip";
    ASSERT_TRUE(ShowsRamp(false)) << "ramp.fits does not show";
    EXPECT_TRUE(WaitForNoOutline(&why)) << "on ramp.fits: " << why;
    EXPECT_TRUE(PanelLacks(box, &why)) << "on ramp.fits the panel shows " << why;

    ASSERT_TRUE(ClickOtherTab()) << "no tab strip";
    ASSERT_TRUE(ShowsRamp(true)) << "ramp2.fits does not show again";
    EXPECT_TRUE(WaitForBox(250, 43, 350, 123, 1, &why)) << "back on ramp2.fits: " << why;
    EXPECT_TRUE(PanelShows(box, &why)) << "back on ramp2.fits the panel lacks " << why;

    ASSERT_TRUE(OpenFile(files.File("ramp.fits")));
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));
    ASSERT_TRUE(ShowsRamp(false)) << "ramp.fits does not show after File > Open";
    EXPECT_TRUE(WaitForNoOutline(&why)) << "after File > Open: " << why;
    EXPECT_EQ(program->End(), 0);
}

// Edit > copy on ramp2.fits and Edit > Paste on ramp.fits: the copy stands where the
// rectangle was. Edit > Cut takes it away and Paste brings it back there. A paste over the
// rectangle itself is a second rectangle: Delete takes one, the other stays.
TEST_F(ShapeFilesProgram, EditMenuCopyAndPastePutTheCopyWhereTheShapeWas) {
    StartOn({"ramp.fits", "ramp2.fits"});
    ASSERT_TRUE(ShowsRamp(true)) << "ramp2.fits does not show";
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));
    std::string why;
    ASSERT_TRUE(WaitForBox(50, 43, 150, 123, 1, &why)) << why;
    ASSERT_TRUE(EditEntry("copy"));

    ASSERT_TRUE(ClickOtherTab()) << "no tab strip";
    ASSERT_TRUE(ShowsRamp(false)) << "ramp.fits does not show";
    ASSERT_TRUE(WaitForNoOutline(&why))
        << "on ramp.fits before the paste: " << why;
    ASSERT_TRUE(EditEntry("Paste"));
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));
    EXPECT_TRUE(WaitForBox(50, 43, 150, 123, 1, &why)) << "pasted on ramp.fits: " << why;

    ASSERT_TRUE(EditEntry("Cut"));
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));
    EXPECT_TRUE(WaitForNoOutline(&why)) << "after Cut: " << why;
    ASSERT_TRUE(EditEntry("Paste"));
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));
    EXPECT_TRUE(WaitForBox(50, 43, 150, 123, 1, &why)) << "pasted after Cut: " << why;

    ASSERT_TRUE(EditEntry("Paste"));
    ASSERT_TRUE(EditEntry("Delete"));
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));
    EXPECT_TRUE(WaitForBox(50, 43, 150, 123, 1, &why))
        << "after a paste and a Delete: " << why;
    ASSERT_TRUE(EditEntry("Delete"));
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));
    EXPECT_TRUE(WaitForNoOutline(&why)) << "after the second Delete: " << why;
    EXPECT_EQ(program->End(), 0);
}

// The ramp's pixels under the rectangle from (50, 43) to (150, 123), [43, 123) x [50, 150):
// numpy's count, sum, extremes, mean and spread (n - 1), then the histogram of the interval
// rule 5 lg N as the histogram program test computes it.
constexpr const char* kMeasure = R"(
import sys, math
import numpy as np
from astropy.io import fits
d = np.sort(fits.getdata(sys.argv[1] + '/ramp.fits')[43:123, 50:150].astype(np.float64).ravel())
n = d.size
print(n, repr(d.sum()), repr(d.min()), repr(d.max()), repr(d.mean()), repr(d.std(ddof=1)))
c = 5 * math.log10(n)
k = int(math.floor(c + 0.5))
if k % 2 == 1 and k > 2:
    k = k - 1 if c >= math.trunc(c) + 0.5 else k + 1
w = (d[-1] - d[0]) / k
upto = np.searchsorted(d, d[0] + (np.arange(1, k + 1) - 0.5) * w, side='left')
print(' '.join(str(int(v)) for v in np.diff(np.concatenate(([0], upto, [n])))))
)";

TEST_F(ShapeFilesProgram, AStatisticRectangleDrawnWithF7MeasuresItsPixels) {
    StartOn({"ramp.fits"});
    testing_util::WriteText(files.File("measure.py"), kMeasure);
    int status = -1;
    const std::string out = testing_program::RunCommand(
        ORVA_PYTHON " '" + files.File("measure.py") + "' '" + files.Path() + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream in(out);
    size_t count = 0;
    double sum = 0, minimum = 0, maximum = 0, mean = 0, sigma = 0;
    in >> count >> sum >> minimum >> maximum >> mean >> sigma;
    std::vector<double> bins;
    for (double v; in >> v;) bins.push_back(v);
    ASSERT_EQ(count, 8000u) << out;

    ASSERT_NE(screen.WaitForWindow("Chart Tools", 20000), 0u);
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));

    // The statistic list: its first rows, then the spread the wheel brings into its short
    // window.
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Count:", std::to_string(count)},
        {"Flux:", testing_program::ListNumber(sum)},
        {"Max:", testing_program::ListNumber(maximum)},
        {"Min:", testing_program::ListNumber(minimum)},
        {"Mean:", testing_program::ListNumber(mean)},
    };
    std::string why;
    Picture window;
    Screen::Rect at;
    EXPECT_TRUE(testing_program::ToolsListShows(screen, rows, &window, &at, &why)) << "the statistic list: " << why;
    EXPECT_TRUE(testing_program::WheelListDown(D(), window, at, 3));
    EXPECT_TRUE(testing_program::ToolsListShows(screen, {{"RMS", testing_program::ListNumber(sigma)}}, &window, &at, &why))
        << "the statistic list: " << why;
    testing_program::MoveTo(D(), Root(), SX(300), SY(330));
    EXPECT_TRUE(BarsMatch(bins, 1.5)) << "the chart's histogram";
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
