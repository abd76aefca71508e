// The image preview as a user sees it: the program itself started on a FITS file with a
// bright block in one quadrant, and the small picture of the whole frame beside the
// main window's workspace read back with XGetImage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

// A pixel box, inclusive; empty while x0 > x1.
struct PreviewBox {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    void Add(int x, int y) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
    }
    bool Empty() const { return x0 > x1; }
    int Width() const { return x1 - x0 + 1; }
    int Height() const { return y1 - y0 + 1; }
};

bool White(const uint8_t* p) { return p[0] >= 230 && p[1] >= 230 && p[2] >= 230; }
// The frame's background: 10000 of 0 … 30000, a third of full scale, grey.
bool Background(const uint8_t* p) {
    const int lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
    return lo >= 60 && hi <= 110 && hi - lo <= 6;
}

using testing_program::kChosenTab;
using testing_program::kOtherTab;

// How many runs of at least 20 pixels of the colour the row holds left of `right`.
int RunsOf(const Picture& p, int y, const uint8_t* colour, int right) {
    int runs = 0, run = 0;
    for (int x = 0; x < std::min(p.width, right); ++x) {
        const uint8_t* q = p.At(x, y);
        run = q[0] == colour[0] && q[1] == colour[1] && q[2] == colour[2] ? run + 1 : 0;
        if (run == 20) ++runs;
    }
    return runs;
}

// The picture inside the page's preview area (18 pixels below the top, 42 above the
// foot, from x 2 to 21 short of the right edge): the box of the frame's pixels and the
// box of its bright ones.
bool FindPreview(const Picture& page, PreviewBox* frame, PreviewBox* bright) {
    *frame = PreviewBox{};
    *bright = PreviewBox{};
    for (int y = 18; y < page.height - 42; ++y)
        for (int x = 2; x < page.width - 21; ++x) {
            const uint8_t* p = page.At(x, y);
            if (White(p)) {
                bright->Add(x, y);
                frame->Add(x, y);
            } else if (Background(p)) {
                frame->Add(x, y);
            }
        }
    return !frame->Empty() && !bright->Empty() && frame->Width() >= 16 && frame->Height() >= 16;
}

TEST(PreviewProgramTest, TheValuePageShowsTheWholeFrameWithItsBrightQuadrant) {
    testing_util::TempFolder folder;
    const std::string file = folder.File("block.fits");
    // 256 x 256: 10000 everywhere, 30000 in the quadrant of the first 128 rows and
    // columns; the stated range 0 … 30000 makes the block white and the rest grey.
    const std::string script = "import numpy as np\n"
                               "from astropy.io import fits\n"
                               "a = np.full((256, 256), 10000, dtype=np.int16)\n"
                               "a[0:128, 0:128] = 30000\n"
                               "h = fits.PrimaryHDU(a)\n"
                               "h.header['DATAMIN'] = 0\n"
                               "h.header['DATAMAX'] = 30000\n"
                               "h.writeto('" + file + "', overwrite=True)\n";
    testing_util::WriteText(file + ".py", script);
    if (std::system((ORVA_PYTHON " '" + file + ".py' >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "astropy or numpy not installed";
    Screen screen;
    ASSERT_NE(screen.display(), nullptr) << "no X display";
    const std::string run = folder.File("run");
    mkdir(run.c_str(), 0700);
    ProgramRun program(run, {file});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Source format: \"FITS\"", 20000)) << program.Log();

    // The page opens with the file's cell and its preview fills in: wait for both.
    PreviewBox frame, bright;
    Picture shown;
    bool found = false;
    Window pageWindow = 0;
    for (int waited = 0; waited <= 20000 && !found; waited += 200) {
        screen.Raise(main);
        for (Window page : testing_program::ValuePageWindows(screen.display(), main))
            if (screen.Grab(page, &shown) && FindPreview(shown, &frame, &bright)) {
                found = true;
                pageWindow = page;
            }
        if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(found) << "no preview with the frame's picture beside the workspace\n" << program.Log();
    std::printf("preview picture %dx%d at (%d, %d), bright %dx%d at (%d, %d)\n", frame.Width(), frame.Height(),
                frame.x0, frame.y0, bright.Width(), bright.Height(), bright.x0, bright.y0);
    // The whole square frame, a few pixels each way at least...
    EXPECT_NEAR(frame.Width(), frame.Height(), 2);
    EXPECT_GE(frame.Width(), 30);
    // ...with the block as its top left quarter, as the main view shows the first rows
    // at the top: half as wide and half as high, at its left edge and at its top.
    EXPECT_NEAR(bright.Width() * 2, frame.Width(), 3);
    EXPECT_NEAR(bright.Height() * 2, frame.Height(), 3);
    EXPECT_NEAR(bright.x0, frame.x0, 1);
    EXPECT_NEAR(bright.y0, frame.y0, 1) << bright.y0 << ".." << bright.y1 << " in " << frame.y0 << ".." << frame.y1;
    // Every pixel of the block's box is bright, and the other three quadrants hold none.
    int dark = 0, stray = 0;
    for (int y = frame.y0; y <= frame.y1; ++y)
        for (int x = frame.x0; x <= frame.x1; ++x) {
            const bool inBlock = x >= bright.x0 && x <= bright.x1 && y >= bright.y0 && y <= bright.y1;
            const bool white = White(shown.At(x, y));
            if (inBlock && !white) ++dark;
            if (!inBlock && white) ++stray;
        }
    EXPECT_EQ(dark, 0);
    EXPECT_EQ(stray, 0);
    // The page stands above the main window's page tabs and leaves every tab in sight:
    // the chosen one ("Source") and the three others beside it.
    Picture whole;
    ASSERT_TRUE(screen.Grab(main, &whole));
    XWindowAttributes placed;
    ASSERT_TRUE(XGetWindowAttributes(screen.display(), pageWindow, &placed));
    // Only the column left of the page's right edge: the file tabs over the workspace have
    // the same colours.
    const int right = placed.x + placed.width;
    int tabs = -1;
    for (int y = 0; y < whole.height && tabs < 0; ++y)
        if (RunsOf(whole, y, kChosenTab, right) > 0) tabs = y;
    ASSERT_GE(tabs, 0) << "no chosen page tab in the main window";
    EXPECT_LT(placed.y + placed.height, tabs) << "the value page reaches over the page tabs";
    EXPECT_EQ(RunsOf(whole, tabs + 3, kChosenTab, right), 1);
    EXPECT_EQ(RunsOf(whole, tabs + 3, kOtherTab, right), 3);
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

}  // namespace
}  // namespace orva
