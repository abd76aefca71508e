// The Source's Info page as a user sees it for an integer FITS file with blank samples:
// the real program started on a file written by astropy (BITPIX 16, BSCALE 0.25, BZERO
// 500, BLANK -32768) shows the frame's MinMax and Mean of the samples that are not blank,
// read from the screen and compared with numpy's on the values astropy reads (the blanks
// as NaN). Counted as data, the blanks would make the minimum -7692.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "common/number_text.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

// Six significant digits, as the Info page gives its figures.
std::string Six(double v) {
    char text[32] = "";
    FormatDoubleFit(6, text, v, nullptr);
    return text;
}

TEST(BlankInfoProgram, TheSourceInfoPageShowsTheFiguresOfTheSamplesThatAreNotBlank) {
    Screen screen;
    if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
    testing_util::TempFolder files;
    const std::string file = files.File("blank.fits");
    int status = -1;
    std::string out =
        testing_program::RunCommand(testing_program::RoadReferenceScript() + " blank '" + file + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    out = testing_program::RunCommand(
        ORVA_PYTHON " -c \"import sys, numpy as np; from astropy.io import fits; "
        "v = np.asarray(fits.getdata(sys.argv[1]), np.float64); v = v[~np.isnan(v)]; "
        "print(repr(v.min()), repr(v.max()), repr(v.mean()))\" '" + file + "' 2>&1",
        &status);
    ASSERT_EQ(status, 0) << out;
    double minimum = 0, maximum = 0, mean = 0;
    std::istringstream(out) >> minimum >> maximum >> mean;
    ASSERT_GT(minimum, 0.0) << out;  // the blanks would give -7692
    const std::string minMax = Six(minimum) + " / " + Six(maximum), meanText = Six(mean);

    const std::string folder = files.File("run");
    mkdir(folder.c_str(), 0700);
    ProgramRun program(folder, {file});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Source format", 20000)) << program.Log();

    // The page beside the workspace shows "Info" with the statistic table; "MinMax" is two
    // rows above "Mean" (one row a step of "Mean" to "RMS").
    Picture shown;
    std::string why = "no Info page";
    bool seen = false;
    for (int waited = 0; waited < 20000 && !seen; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        screen.Raise(main);
        if (!screen.Grab(main, &shown)) continue;
        int mx = 0, my = 0, rx = 0, ry = 0;
        if (!testing_program::FindInk(shown, 0, 0, shown.width / 2, shown.height, testing_program::UiTextInk("Mean"), &mx, &my) ||
            !testing_program::FindInk(shown, 0, my, shown.width / 2, shown.height - my, testing_program::UiTextInk("RMS"), &rx, &ry))
            continue;
        const int step = ry - my;
        seen = step > 0 && testing_program::ListCellShows(shown, mx, my, meanText, &why) &&
               testing_program::ListCellShows(shown, mx, my - 2 * step, minMax, &why);
    }
    testing_program::WritePpm(ORVA_BINARY_DIR "/blank_info.ppm", shown);
    EXPECT_TRUE(seen) << why << "\n" << program.Log();
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

}  // namespace
}  // namespace orva
