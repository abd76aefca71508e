// The lens of the main window as a user meets it: a FITS image written by astropy is
// opened, the lens is switched on with the "Lens" button of the lens strip and with the
// key L, the pointer is moved over the picture with XTest, and the lens, read back from
// the screen, shows the picture's screen pixels around the pointer enlarged by the lens
// zoom; the zoom is changed with the strip's arrow and the lens follows; Alt+L shows the
// values box under the lens and hides it again.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "test_support.h"

#include <X11/keysym.h>
#include <X11/extensions/XTest.h>

namespace orva {
namespace {

using testing_program::ChildWindow;
using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

// The lens's sampled square after start-up and its zoom; the values box's colour
// (0.049, 0.2, 0.3 on an 8-bit screen).
constexpr int kArea = 24;
constexpr uint8_t kValuesBox[3] = {12, 51, 76};

bool Dark(const uint8_t* p) { return p[0] < 60 && p[1] < 60 && p[2] < 60; }

// Runs of columns [from, to) holding a dark pixel in rows [top, bottom) of the picture.
std::vector<std::pair<int, int>> DarkColumns(const Picture& p, int top, int bottom) {
    std::vector<std::pair<int, int>> runs;
    int start = -1;
    for (int x = 0; x <= p.width; ++x) {
        bool dark = false;
        for (int y = top; x < p.width && y < bottom && !dark; ++y) dark = Dark(p.At(x, y));
        if (dark && start < 0) start = x;
        if (!dark && start >= 0) {
            runs.emplace_back(start, x);
            start = -1;
        }
    }
    return runs;
}

class LensProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_program::HaveRoadTools()) GTEST_SKIP() << "astropy, PIL or numpy is missing";
        if (screen.display() == nullptr) GTEST_SKIP() << "no X display";
        int status = -1;
        // Blocks of 3 x 3 pixels with random levels in a bright frame: every shift of a
        // pixel changes what a square of 24 pixels holds.
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
            "r = np.random.default_rng(7).integers(0, 256, (70, 100)).astype(np.float32); "
            "a = np.kron(r, np.ones((3, 3), np.float32))[:200, :300].copy(); "
            "a[:2, :] = 255; a[-2:, :] = 255; a[:, :2] = 255; a[:, -2:] = 255; "
            "fits.PrimaryHDU(a).writeto(\"" + files.File("blocks.fits") + "\")' 2>&1",
            &status);
        ASSERT_EQ(status, 0) << out;
    }

    // The main window's workspace and lens strip: the child above the 21-pixel zoom bar
    // and the 45-pixel strip under that bar.
    bool FindStrips(Window main) {
        const std::vector<ChildWindow> children = testing_program::ChildWindows(screen.display(), main);
        for (const ChildWindow& bar : children) {
            if (bar.height != 21) continue;
            for (const ChildWindow& c : children) {
                if (c.x == bar.x && c.width == bar.width && c.y + c.height == bar.y) workspace = c;
                if (c.x == bar.x && c.width == bar.width && c.y == bar.y + bar.height && c.height == 45) strip = c;
            }
        }
        return workspace.width > 0 && strip.width > 0;
    }

    bool GrabWorkspace(Window main, Picture* p) {
        return screen.Grab(main, p, workspace.x, workspace.y, workspace.width, workspace.height);
    }

    // The bounding box of the picture's bright frame in the workspace: the view shows the
    // image on black.
    bool ImageBox(const Picture& p, int* left, int* top, int* right, int* bottom) {
        *left = p.width, *top = p.height, *right = -1, *bottom = -1;
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                const uint8_t* c = p.At(x, y);
                if (c[0] < 250 || c[1] < 250 || c[2] < 250) continue;
                *left = std::min(*left, x), *right = std::max(*right, x);
                *top = std::min(*top, y), *bottom = std::max(*bottom, y);
            }
        }
        return *right - *left > 250 && *bottom - *top > 150;
    }

    // The pointer onto (x, y) of the workspace, coming from a pixel aside so that the
    // program sees a move.
    void PointAt(Window main, int x, int y) {
        Display* d = screen.display();
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(d, main, DefaultRootWindow(d), workspace.x + x, workspace.y + y, &rx, &ry, &child);
        XTestFakeMotionEvent(d, -1, rx - 3, ry - 2, CurrentTime);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        XTestFakeMotionEvent(d, -1, rx, ry, CurrentTime);
        XSync(d, False);
    }

    void Key(KeySym modifier, KeySym key) {
        Display* d = screen.display();
        if (modifier != NoSymbol) XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), True, CurrentTime);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, key), True, CurrentTime);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, key), False, CurrentTime);
        if (modifier != NoSymbol) XTestFakeKeyEvent(d, XKeysymToKeycode(d, modifier), False, CurrentTime);
        XSync(d, False);
    }

    // Whether the workspace shows the lens for the pointer at (x, y) with the zoom: the
    // sampled square starts half the area up and left of the pointer's pixel (which is
    // then the block under the cross-hair), and each of its pixels is a zoom x zoom block
    // of the lens, which sits in the top right corner. Every block is judged at its centre, within one level, except the
    // blocks that the cross-hair crosses.
    static bool ShowsLens(const Picture& p, int x, int y, int zoom, int* worst) {
        const int n = kArea, extent = n * zoom;
        const int sx = x - n / 2, sy = y - n / 2;
        *worst = 1000;
        for (int oy = 0; oy <= 8; ++oy) {
            for (int ox = p.width - extent - 12; ox <= p.width - extent; ++ox) {
                int bad = 0;
                for (int j = 0; j < n && bad <= 1; ++j) {
                    for (int i = 0; i < n && bad <= 1; ++i) {
                        if (std::abs(i - n / 2) <= 2 || std::abs(j - n / 2) <= 2) continue;
                        const uint8_t* lens = p.At(ox + i * zoom + zoom / 2, oy + j * zoom + zoom / 2);
                        const uint8_t* screenPixel = p.At(sx + i, sy + j);
                        for (int c = 0; c < 3; ++c) bad = std::max(bad, std::abs(lens[c] - screenPixel[c]));
                    }
                }
                *worst = std::min(*worst, bad);
                if (bad <= 1) return true;
            }
        }
        return false;
    }

    // Polls the workspace for up to `ms` until `done` holds for its pixels; the last
    // pixels are written next to the test binary when it never does.
    bool WaitFor(Window main, int ms, const std::function<bool(const Picture&)>& done, const char* name) {
        Picture p;
        for (int waited = 0;; waited += 100) {
            if (GrabWorkspace(main, &p) && done(p)) return true;
            if (waited >= ms) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        testing_program::WritePpm(std::string(ORVA_BINARY_DIR "/lens_") + name + ".ppm", p);
        return false;
    }

    // Without the lens the view's black background fills the top right corner.
    static bool LensCornerBlack(const Picture& p) {
        for (int y = 4; y < 100; ++y)
            for (int x = p.width - 140; x < p.width - 6; ++x)
                if (p.At(x, y)[0] != 0 || p.At(x, y)[1] != 0 || p.At(x, y)[2] != 0) return false;
        return true;
    }

    static bool ValuesBoxShown(const Picture& p) {
        int count = 0;
        for (int y = 0; y < std::min(p.height, 300); ++y)
            for (int x = p.width / 2; x < p.width; ++x) count += testing_program::SameColour(p.At(x, y), kValuesBox);
        return count > 200;
    }

    Screen screen;
    testing_util::TempFolder files;
    ChildWindow workspace, strip;
};

TEST_F(LensProgram, TheLensShowsThePixelsAroundThePointerEnlarged) {
    const std::string folder = files.File("run");
    mkdir(folder.c_str(), 0700);
    ProgramRun program(folder, {files.File("blocks.fits")});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    Display* d = screen.display();

    // The picture in the workspace, standing still.
    int left = 0, top = 0, right = 0, bottom = 0;
    Picture shot;
    bool shown = false;
    for (int waited = 0, steady = 0; waited < 20000 && !shown; waited += 200) {
        screen.Raise(main);
        int l = 0, t = 0, r = 0, b = 0;
        const bool now = FindStrips(main) && GrabWorkspace(main, &shot) && ImageBox(shot, &l, &t, &r, &b);
        steady = now && l == left && t == top && r == right ? steady + 200 : 0;
        left = l, top = t, right = r, bottom = b;
        shown = steady >= 600;
        if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(shown) << program.Log();
    // Two points inside the picture, clear of the lens in the top right corner.
    const int ax = left + 60, ay = top + 50, bx = left + 137, by = bottom - 40;

    // "Lens": the rightmost dark run of the strip's top row (its text, or the pressed
    // button); then the lens follows the pointer.
    Picture row;
    ASSERT_TRUE(screen.Grab(main, &row, strip.x, strip.y, strip.width, strip.height));
    const auto top_runs = DarkColumns(row, 0, 21);
    ASSERT_GE(top_runs.size(), 4u);
    testing_program::ClickAt(d, main, strip.x + (top_runs.back().first + top_runs.back().second) / 2, strip.y + 11);
    // Pressed, the button is dark all over.
    bool pressed = false;
    for (int waited = 0; waited < 5000 && !pressed; waited += 100) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto runs = screen.Grab(main, &row, strip.x, strip.y, strip.width, strip.height) ? DarkColumns(row, 0, 21)
                                                                                             : decltype(top_runs){};
        pressed = !runs.empty() && runs.back().second - runs.back().first >= 25;
    }
    if (!pressed) testing_program::WritePpm(ORVA_BINARY_DIR "/lens_strip.ppm", row);
    ASSERT_TRUE(pressed) << program.Log();
    int worst = 0;
    PointAt(main, ax, ay);
    EXPECT_TRUE(WaitFor(main, 5000, [&](const Picture& p) { return ShowsLens(p, ax, ay, 6, &worst); }, "button_a"))
        << "closest block differs by " << worst;
    PointAt(main, bx, by);
    EXPECT_TRUE(WaitFor(main, 5000, [&](const Picture& p) { return ShowsLens(p, bx, by, 6, &worst); }, "button_b"))
        << "closest block differs by " << worst;

    // L switches it off and on again, with the pointer over the picture.
    Key(NoSymbol, XK_l);
    EXPECT_TRUE(WaitFor(main, 5000, LensCornerBlack, "key_off"));
    PointAt(main, ax, ay);
    Key(NoSymbol, XK_l);
    EXPECT_TRUE(WaitFor(main, 5000, [&](const Picture& p) { return ShowsLens(p, ax, ay, 6, &worst); }, "key_on"))
        << "closest block differs by " << worst;

    // Alt+L shows the values box under the lens and hides it again.
    Key(XK_Alt_L, XK_l);
    EXPECT_TRUE(WaitFor(main, 5000, ValuesBoxShown, "values_on"));
    Key(XK_Alt_L, XK_l);
    EXPECT_TRUE(WaitFor(main, 5000, [](const Picture& p) { return !ValuesBoxShown(p); }, "values_off"));

    // The zoom's left arrow (the second dark run from the left: the right arrow comes
    // first) ten times: 6.0 becomes 5.0 and the lens 120 pixels.
    const int arrowX = strip.x + (top_runs[1].first + top_runs[1].second) / 2;
    // The clicks are further apart than a double click.
    for (int k = 0; k < 10; ++k) {
        testing_program::ClickAt(d, main, arrowX, strip.y + 11);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    PointAt(main, bx, by);
    EXPECT_TRUE(WaitFor(main, 5000, [&](const Picture& p) { return ShowsLens(p, bx, by, 5, &worst); }, "zoom5_b"))
        << "closest block differs by " << worst;
    PointAt(main, ax, ay);
    EXPECT_TRUE(WaitFor(main, 5000, [&](const Picture& p) { return ShowsLens(p, ax, ay, 5, &worst); }, "zoom5_a"))
        << "closest block differs by " << worst;
}

}  // namespace
}  // namespace orva
