// Stepping through a cube as a user does: the real program started on a FITS cube written
// by astropy whose three 20 x 20 frames hold 0 … 399, 1000 … 1399 and 2000 … 2399, each
// ramp running another way (down, right, up). The fast selector's "FRAME(S):" arrow is
// clicked through XTest, and the screen is read back: the workspace's picture, the value
// page's preview, the Source's Info page and the "View" page.
//
// The first frame is shown over its extremes. A frame stepped to takes the same kind of
// range from itself, so each frame shows its own ramp in the same grey levels: frame 2's
// picture is frame 1's turned about the diagonal, not white. A range the user set stays
// for every frame, and the "View" page shows it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "frame_selector.h"
#include "framed_picture.h"
#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;
using testing_program::UiTextInk;

constexpr int kSide = 20;
// The Options page's menu buttons, from the left of their rows' labels.
constexpr int kScaleButton = 204, kZeroButton = 229;

// Frame 1 is y * 20 + x (row y from the top: brighter downwards), frame 2 1000 + x * 20 + y
// (brighter rightwards), frame 3 2000 + 399 - (y * 20 + x) (brighter upwards).
bool WriteCube(const std::string& path) {
    const std::string script = "import numpy as np\n"
                               "from astropy.io import fits\n"
                               "y, x = np.mgrid[0:20, 0:20]\n"
                               "c = np.stack([y * 20 + x, 1000 + x * 20 + y, 2000 + 399 - (y * 20 + x)])\n"
                               "fits.PrimaryHDU(c.astype(np.int16)).writeto('" + path + "', overwrite=True)\n";
    testing_util::WriteText(path + ".py", script);
    return std::system((ORVA_PYTHON " '" + path + ".py' >/dev/null 2>&1").c_str()) == 0;
}

// A box on the screen, right and bottom exclusive.
struct PictureBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

bool Grey(const uint8_t* p) { return p[0] == p[1] && p[1] == p[2]; }

// The box round the grey pixels that are not black in the rectangle.
bool GreyBox(const Picture& p, int x0, int y0, int x1, int y1, PictureBox* out) {
    PictureBox b{x1, y1, x0 - 1, y0 - 1};
    for (int y = std::max(0, y0); y < std::min(y1, p.height); ++y)
        for (int x = std::max(0, x0); x < std::min(x1, p.width); ++x)
            if (Grey(p.At(x, y)) && p.At(x, y)[0] > 0) {
                b.left = std::min(b.left, x);
                b.top = std::min(b.top, y);
                b.right = std::max(b.right, x + 1);
                b.bottom = std::max(b.bottom, y + 1);
            }
    if (b.right <= b.left || b.bottom <= b.top) return false;
    *out = b;
    return true;
}

// The grey of frame pixel (x, y) in the picture shown in the box (nearest pixel).
int GreyAt(const Picture& p, const PictureBox& b, int x, int y) {
    const int sx = b.left + (2 * x + 1) * b.Width() / (2 * kSide), sy = b.top + (2 * y + 1) * b.Height() / (2 * kSide);
    return p.At(sx, sy)[0];
}

// Mean grey of a quarter of the box: 0 left, 1 right, 2 top, 3 bottom.
// The largest difference between the picture and frame 1's greys laid about the diagonal
// (frame 2's ramp) or turned round (frame 3's).
int WorstDifference(const Picture& p, const PictureBox& b, const int first[kSide][kSide], bool turnedRound) {
    int worst = 0;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const int want = turnedRound ? first[kSide - 1 - y][kSide - 1 - x] : first[x][y];
            worst = std::max(worst, std::abs(GreyAt(p, b, x, y) - want));
        }
    return worst;
}

double QuarterMean(const Picture& p, const PictureBox& b, int quarter) {
    const int w = b.Width() / 4, h = b.Height() / 4;
    int x0 = b.left, x1 = b.right, y0 = b.top, y1 = b.bottom;
    if (quarter == 0) x1 = b.left + w;
    if (quarter == 1) x0 = b.right - w;
    if (quarter == 2) y1 = b.top + h;
    if (quarter == 3) y0 = b.bottom - h;
    double sum = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++n) sum += p.At(x, y)[0];
    return n == 0 ? 0.0 : sum / n;
}

class StepCubeProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        file = files.File("cube.fits");
        if (!WriteCube(file)) GTEST_SKIP() << "astropy or numpy not installed";
        std::string why;
        main = testing_program::StartOnFiles(screen, program, files.File("run"), {file}, &why);
        ASSERT_NE(main, 0u) << why;
        root = DefaultRootWindow(screen.display());
    }
    void TearDown() override {
        if (program) {
            EXPECT_TRUE(program->Running());
            EXPECT_EQ(program->End(), 0);
        }
    }

    bool Grab() {
        testing_program::MoveTo(screen.display(), root, 5, 1000);
        return screen.Grab(root, &shot);
    }
    // Grabs the screen until `seen` holds for it (at most `ms` milliseconds).
    bool WaitFor(const std::function<bool()>& seen, int ms = 15000) {
        for (int waited = 0; waited <= ms; waited += 250) {
            if (Grab() && seen()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return false;
    }
    void Save(const char* name) { testing_program::WritePpm(std::string(ORVA_BINARY_DIR) + "/" + name + ".ppm", shot); }

    // The picture in the workspace, 20 x 20 frame pixels at some zoom.
    bool FindPicture(PictureBox* b) {
        const Screen::Rect ws = testing_program::WorkspaceOf(screen, main);
        return GreyBox(shot, ws.left, ws.top, ws.right, ws.bottom, b) && b->Width() >= kSide - 1 &&
               b->Height() >= kSide - 1 && std::abs(b->Width() - b->Height()) <= 1;
    }
    // The preview of the value page: its picture's box on the screen.
    bool FindPreview(PictureBox* b) {
        for (Window page : testing_program::ValuePageWindows(screen.display(), main)) {
            const Screen::Rect r = screen.RectOf(page);
            if (GreyBox(shot, r.left + 2, r.top + 18, r.right - 21, r.bottom - 42, b) && b->Width() >= 16 &&
                b->Height() >= 16)
                return true;
        }
        return false;
    }
    // The fast selector's right arrow of "FRAME(S):".
    bool StepForward() {
        testing_program::FrameSelector frames;
        if (!WaitFor([&] { return frames.Find(shot); }, 5000)) return false;
        frames.Next(screen.display());
        return true;
    }
    // The Info page's statistic rows "MinMax" and "Mean" show the texts.
    bool InfoShows(const std::string& minMax, const std::string& mean, std::string* why) {
        int mx = 0, my = 0, rx = 0, ry = 0;
        if (!testing_program::FindInk(shot, 0, 0, shot.width / 2, shot.height, UiTextInk("Mean"), &mx, &my) ||
            !testing_program::FindInk(shot, 0, my, shot.width / 2, shot.height - my, UiTextInk("RMS"), &rx, &ry)) {
            *why = "no Info page";
            return false;
        }
        const int step = ry - my;
        return step > 0 && testing_program::ListCellShows(shot, mx, my, mean, why) &&
               testing_program::ListCellShows(shot, mx, my - 2 * step, minMax, why);
    }
    // A page tab of the main window: 0 "Source" … 3 "View". The tab bar can be mid-repaint
    // just after a typed value was taken (a loaded machine shows it a moment later).
    bool ClickPageTab(int n) {
        const Screen::Rect m = screen.RectOf(main);
        int x = 0, y = 0;
        if (!WaitFor([&] { return testing_program::PageTab(shot, m.left, m.top, n, &x, &y); }, 5000)) return false;
        testing_program::ClickAt(screen.display(), root, x, y);
        return true;
    }
    // The "View" page's "High:" and "Low :" fields show the texts.
    bool RangeShows(const std::string& high, const std::string& low, std::string* why) {
        for (const auto& [label, text] : {std::pair<std::string, std::string>{"High:", high}, {"Low :", low}}) {
            int x = 0, y = 0;
            if (!testing_program::FindText(shot, 0, 0, shot.width / 2, shot.height, label, &x, &y)) {
                *why = "no \"" + label + "\"";
                return false;
            }
            if (!testing_program::ShowsText(shot, x + 30, y - 3, 80, 15, text, why)) return false;
        }
        return true;
    }

    Screen screen;
    testing_util::TempFolder files;
    std::string file;
    std::optional<ProgramRun> program;
    Window main = 0, root = 0;
    Picture shot;
};

TEST_F(StepCubeProgram, EachFrameShowsItsOwnRampAndStatistics) {
    // Frame 1: its ramp, dark at the top and light at the foot, and its statistics.
    PictureBox view, preview;
    std::string why;
    ASSERT_TRUE(WaitFor([&] { return FindPicture(&view) && FindPreview(&preview) && InfoShows("0 / 399", "199.5", &why); }))
        << why << "\n" << program->Log();
    Save("step_cube_frame1");
    std::printf("picture %dx%d at (%d, %d), preview %dx%d\n", view.Width(), view.Height(), view.left, view.top,
                preview.Width(), preview.Height());
    int first[kSide][kSide];
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) first[y][x] = GreyAt(shot, view, x, y);
    EXPECT_LT(first[0][kSide - 1], 40);
    EXPECT_GT(first[kSide - 1][0], 200);
    EXPECT_GT(QuarterMean(shot, preview, 3) - QuarterMean(shot, preview, 2), 100.0);

    // Frame 2 holds 1000 … 1399: the same grey levels, laid along the other diagonal
    // half; its statistics on the Info page; the preview turned with it.
    ASSERT_TRUE(StepForward());
    int worst = 0;
    auto transposed = [&] { return FindPicture(&view) && (worst = WorstDifference(shot, view, first, false)) <= 2; };
    EXPECT_TRUE(WaitFor(transposed)) << "frame 2 differs from frame 1 turned by up to " << worst << " levels";
    Save("step_cube_frame2");
    int white = 0;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) white += GreyAt(shot, view, x, y) >= 250;
    EXPECT_LT(white, kSide * kSide / 10);
    EXPECT_TRUE(WaitFor([&] { return InfoShows("1000 / 1399", "1199.5", &why); }, 5000)) << why;
    EXPECT_TRUE(WaitFor([&] {
        return FindPreview(&preview) && QuarterMean(shot, preview, 1) - QuarterMean(shot, preview, 0) > 100.0 &&
               std::abs(QuarterMean(shot, preview, 3) - QuarterMean(shot, preview, 2)) < 40.0;
    }, 5000)) << "the preview does not show frame 2's ramp";

    // The "View" page shows the range in use: frame 2's extremes.
    ASSERT_TRUE(ClickPageTab(3));
    EXPECT_TRUE(WaitFor([&] { return RangeShows("1399", "1000", &why); }, 5000)) << why;
    Save("step_cube_view2");

    // Frame 3 runs upwards from 2000 to 2399: frame 1 upside down, over 2000 … 2399.
    ASSERT_TRUE(StepForward());
    auto flipped = [&] { return FindPicture(&view) && (worst = WorstDifference(shot, view, first, true)) <= 2; };
    EXPECT_TRUE(WaitFor(flipped)) << "frame 3 differs from frame 1 turned round by up to " << worst << " levels";
    EXPECT_TRUE(WaitFor([&] { return RangeShows("2399", "2000", &why); }, 5000)) << why;
    Save("step_cube_frame3");
}

TEST_F(StepCubeProgram, ARangeTheUserSetStaysForTheNextFrame) {
    PictureBox view;
    ASSERT_TRUE(WaitFor([&] { return FindPicture(&view); })) << program->Log();
    // "1000" beside "High:" raises the upper bound by 1000: 0 … 1399.
    ASSERT_TRUE(ClickPageTab(3));
    std::string why;
    ASSERT_TRUE(WaitFor([&] { return RangeShows("399", "0", &why); }, 5000)) << why;
    int hx = 0, hy = 0;
    ASSERT_TRUE(testing_program::FindText(shot, 0, 0, shot.width / 2, shot.height, "High:", &hx, &hy));
    // The row: the field (88), its arrows and the statistics button, "10", "100", "1000".
    testing_program::ClickAt(screen.display(), root, hx + 232, hy + 5);
    ASSERT_TRUE(WaitFor([&] { return RangeShows("1399", "0", &why); }, 5000)) << why;

    // Frame 2 (1000 … 1399) keeps it: the upper part of the grey scale, the range shown.
    ASSERT_TRUE(StepForward());
    int darkest = 0;
    EXPECT_TRUE(WaitFor([&] {
        if (!FindPicture(&view)) return false;
        darkest = 255;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) darkest = std::min(darkest, GreyAt(shot, view, x, y));
        // 1000 of 0 … 1399 is grey 182; frame 1's darkest pixels are black.
        return darkest >= 175 && GreyAt(shot, view, kSide - 1, kSide - 1) >= 250;
    })) << "darkest grey " << darkest;
    EXPECT_TRUE(RangeShows("1399", "0", &why)) << why;
    Save("step_cube_kept");
}

// The Source's Options page "Step:" 2 visits frames 1 and 3 of the file: the counters count
// two frames, the second shows the file's third, a step past it stays there. A range the
// user set stays through the change; back at step 1 the counters and the picture agree.
TEST_F(StepCubeProgram, TheFrameStepIsCountedAndShownAtOnce) {
    PictureBox view;
    ASSERT_TRUE(WaitFor([&] { return FindPicture(&view); })) << program->Log();
    int first[kSide][kSide];
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) first[y][x] = GreyAt(shot, view, x, y);
    int worst = 0;
    auto showsFrame3 = [&] { return FindPicture(&view) && (worst = WorstDifference(shot, view, first, true)) <= 2; };
    testing_program::FrameSelector frames;
    std::string why;
    auto setStep = [&](const char* step) {
        int x = 0, y = 0;
        const Screen::Rect m = screen.RectOf(main);
        if (!ClickPageTab(0) ||
            !WaitFor([&] { return testing_program::OwnPageTab(shot, m.left, m.left + 330, m.top, 1, &x, &y); }, 5000))
            return false;
        testing_program::ClickAt(screen.display(), root, x, y);
        if (!WaitFor([&] { return testing_program::FindText(shot, 0, 0, shot.width / 2, shot.height, "Step:", &x, &y); },
                     5000))
            return false;
        testing_program::ClickAt(screen.display(), root, x + 60, y + 5);
        testing_program::PressKeys(screen.display(), {XK_End});
        testing_program::PressKeys(screen.display(), {XK_BackSpace});
        testing_program::TypeText(screen.display(), step);
        testing_program::PressKeys(screen.display(), {XK_Return});
        return true;
    };
    ASSERT_TRUE(setStep("2"));
    const bool stepped = WaitFor([&] { return frames.Find(shot) && frames.TotalShows(shot, 2, &why); }, 10000);
    if (!stepped) Save("step_cube_no_total");
    ASSERT_TRUE(stepped) << "frame total: " << why << " (" ORVA_BINARY_DIR "/step_cube_no_total.ppm)";
    Save("step_cube_step2");
    for (int click = 0; click < 2; ++click) {
        ASSERT_TRUE(StepForward());
        EXPECT_TRUE(WaitFor([&] { return frames.Shows(shot, 2, &why) && showsFrame3(); }))
            << "click " << click << ": frame field " << why << ", the picture differs from frame 3 by " << worst;
    }
    // A range typed by the user: "High:" 3399 (2000 … 3399).
    ASSERT_TRUE(ClickPageTab(3));
    ASSERT_TRUE(WaitFor([&] { return RangeShows("2399", "2000", &why); }, 5000)) << why;
    int hx = 0, hy = 0;
    ASSERT_TRUE(testing_program::FindText(shot, 0, 0, shot.width / 2, shot.height, "High:", &hx, &hy));
    testing_program::ClickAt(screen.display(), root, hx + 60, hy + 5);
    testing_program::PressKeys(screen.display(), {XK_End});
    for (int i = 0; i < 6; ++i) testing_program::PressKeys(screen.display(), {XK_BackSpace});
    testing_program::TypeText(screen.display(), "3399");
    testing_program::PressKeys(screen.display(), {XK_Return});
    ASSERT_TRUE(WaitFor([&] { return RangeShows("3399", "2000", &why); }, 5000)) << why;

    // Step 1 again: three frames, the one shown is the one counted, the range stays.
    ASSERT_TRUE(setStep("1"));
    // The position keeps its place in the range: the last of two is the last of three. A
    // busy program can show the new total a paint before the position.
    int shown = 0;
    EXPECT_TRUE(WaitFor([&] {
        shown = frames.Find(shot) ? frames.Shown(shot, 3) : 0;
        return frames.TotalShows(shot, 3, &why) && shown == 3;
    }, 10000)) << "frame total: " << why << ", position shown: " << shown;
    Save("step_cube_step1");
    // Frame 3 (2000 … 2399) under 2000 … 3399: its top-left pixel, 2399, is grey 72.
    int corner = 0;
    EXPECT_TRUE(WaitFor([&] {
        corner = FindPicture(&view) ? GreyAt(shot, view, 0, 0) : -1;
        return corner >= 68 && corner <= 76;
    })) << "top-left grey " << corner;
    ASSERT_TRUE(ClickPageTab(3));
    EXPECT_TRUE(WaitFor([&] { return RangeShows("3399", "2000", &why); }, 5000)) << why;
}

// The Source's Options page menus beside "Scaling:" and "Zero offset:": "-1.0 [Raw Inv]"
// makes frame 1 (0 … 399, mean 199.5) -399 … 0; "Remove mean" then sets the zero offset
// from the mean of those values, 199.5, so the frame runs -199.5 … 199.5 about 0; "Zero
// offset" then moves its minimum to 0 (zero offset 399). Each item takes the statistics
// of the values as they stand, not those of the scaling before.
TEST_F(StepCubeProgram, TheZeroOffsetItemsTakeTheStatisticsOfANewScaling) {
    PictureBox view;
    std::string why;
    ASSERT_TRUE(WaitFor([&] { return FindPicture(&view) && InfoShows("0 / 399", "199.5", &why); })) << why;
    const Screen::Rect m = screen.RectOf(main);
    // Finds a text on the screen right of `left` (waiting for it), into (x, y).
    int x = 0, y = 0;
    auto find = [&](const char* text, int left) {
        const int w = shot.width - left;
        return WaitFor([&] { return testing_program::FindText(shot, left, 0, w, shot.height, text, &x, &y); }, 5000);
    };
    // The Source's own tabs: 0 "Info", 1 "Options".
    auto tab = [&](int n) {
        if (!WaitFor([&] { return testing_program::OwnPageTab(shot, m.left, m.left + 330, m.top, n, &x, &y); }, 5000))
            return false;
        testing_program::ClickAt(screen.display(), root, x, y);
        return true;
    };
    // A row's menu button stands right of its field; its menu opens from there, above or
    // below as the screen has room, and the item is clicked where it is drawn.
    auto choose = [&](const char* row, int buttonOffset, const char* item) {
        if (!find(row, 0)) return "no \"" + std::string(row) + "\"";
        const int button = x + buttonOffset;
        testing_program::ClickAt(screen.display(), root, button, y + 5);
        if (!find(item, button - 8)) return "no menu item \"" + std::string(item) + "\"";
        testing_program::ClickAt(screen.display(), root, x + 10, y + 5);
        return std::string();
    };
    auto zeroShows = [&](const std::string& text) {
        return find("Zero offset:", 0) && testing_program::ShowsText(shot, x + 66, y - 3, 80, 15, text, &why);
    };
    ASSERT_TRUE(tab(1));
    ASSERT_EQ(choose("Scaling:", kScaleButton, "-1.0 [Raw Inv]"), "");
    ASSERT_EQ(choose("Zero offset:", kZeroButton, "Remove mean"), "");
    EXPECT_TRUE(WaitFor([&] { return zeroShows("199.5"); }, 5000)) << why;
    ASSERT_TRUE(tab(0));
    EXPECT_TRUE(WaitFor([&] { return InfoShows("-199.5 / 199.5", "0", &why); }, 5000)) << why;
    Save("step_cube_mean_removed");
    ASSERT_TRUE(tab(1));
    ASSERT_EQ(choose("Zero offset:", kZeroButton, "Zero offset"), "");
    EXPECT_TRUE(WaitFor([&] { return zeroShows("399"); }, 5000)) << why;
    ASSERT_TRUE(tab(0));
    EXPECT_TRUE(WaitFor([&] { return InfoShows("0 / 399", "199.5", &why); }, 5000)) << why;
    Save("step_cube_zero_offset");
}

}  // namespace
}  // namespace orva
