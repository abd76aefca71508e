#pragma once
// Shapes drawn as a user draws them, in the real program on images written by astropy,
// with the pointer and keys of XTest only, judged by the screen: the program started on
// ramps of greys, a rectangle dragged open with F7, the outlines' box found on the
// picture, and entries of the main window's menus clicked.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "extraction_input.h"
#include "extraction_program.h"
#include "framed_picture.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva::testing_program {

// Two 400 x 300 ramps of greys (nothing in them is white or cyan) inside a two-pixel white
// border that shows where the picture stands: ramp.fits dark at the top left, ramp2.fits
// bright there.
constexpr const char* kShapeRamps = R"(
import sys
import numpy as np
from astropy.io import fits
y, x = np.mgrid[0:300, 0:400]
for name, v in (('ramp', 1000 + x + y), ('ramp2', 3000 - x - y)):
    v = v.astype(np.int16)
    v[:2, :] = v[-2:, :] = 4000
    v[:, :2] = v[:, -2:] = 4000
    fits.PrimaryHDU(v).writeto(sys.argv[1] + '/' + name + '.fits', overwrite=True)
)";

// How long a session waits for the screen to show what it judges: far above what a
// quiet machine needs, so that only a program that never shows it fails.
constexpr int kScreenWait = 10000;

class ShapeProgram : public ExtractionProgram {
protected:
    // Writes the ramps and starts the program on the named files of the test's folder (the
    // last one shows), at 100 %.
    void StartOn(const std::vector<std::string>& names) { StartOnMade(kShapeRamps, names, 400); }
    // The same with the files the script writes (given the test's folder), the shown one
    // `width` pixels wide.
    void StartOnMade(const char* script, const std::vector<std::string>& names, int width) {
        if (const std::string why = WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("make.py"), script);
        int status = -1;
        const std::string out = RunCommand(
            ORVA_PYTHON " '" + files.File("make.py") + "' '" + files.Path() + "' 2>&1",
            &status);
        ASSERT_EQ(status, 0) << out;
        std::vector<std::string> paths;
        for (const std::string& n : names) paths.push_back(files.File(n));
        std::string why;
        main = StartOnFiles(screen, program, files.File("run"), paths, &why);
        ASSERT_NE(main, 0u) << why;
        ASSERT_TRUE(WaitForFramedPicture(screen, main, &shot, &frame)) << "no framed picture";
        ASSERT_NEAR(frame.zoom(width), 1.0, 1e-9) << "the test's pixels assume 100 %";
    }

    using ExtractionProgram::Grab;
    Display* D() const { return screen.display(); }
    bool Grab(Picture* p) { return screen.Grab(Root(), p); }

    // The screen point of the frame's pixel (x, y): its top-left corner at 100 %, the
    // top-left screen pixel of its square when zoomed in by `scale`.
    int SX(int x) const { return frame.left + x * scale; }
    int SY(int y) const { return frame.top + y * scale; }

    void Press(const std::vector<KeySym>& keys) {
        for (KeySym k : keys) XTestFakeKeyEvent(D(), XKeysymToKeycode(D(), k), True, 0);
        for (auto k = keys.rbegin(); k != keys.rend(); ++k)
            XTestFakeKeyEvent(D(), XKeysymToKeycode(D(), *k), False, 0);
        XSync(D(), False);
    }
    void Button(bool down) {
        XTestFakeButtonEvent(D(), 1, down ? True : False, CurrentTime);
        XSync(D(), False);
    }
    // Walks the pointer to (x, y) in a few steps, as a hand does.
    void Walk(int fromX, int fromY, int x, int y) {
        for (int i = 1; i <= 6; ++i) {
            MoveTo(D(), Root(), fromX + (x - fromX) * i / 6, fromY + (y - fromY) * i / 6);
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    }

    // Pixels of the picture's box that differ between two screens (a window over the
    // picture, `covered`, left out).
    bool Covered(int x, int y) const {
        return x >= covered.left && x < covered.right && y >= covered.top && y < covered.bottom;
    }
    int Differing(const Picture& a, const Picture& b) const {
        int n = 0;
        for (int y = frame.top; y < frame.bottom; ++y)
            for (int x = frame.left; x < frame.right; ++x)
                if (!Covered(x, y) && std::memcmp(a.At(x, y), b.At(x, y), 3) != 0) ++n;
        return n;
    }
    // Waits until the picture's box equals `want` again.
    bool WaitForSame(const Picture& want, int* left, int ms = kScreenWait) {
        Picture now;
        for (int waited = 0; waited <= ms; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (Grab(&now) && (*left = Differing(want, now)) == 0) return true;
        }
        return false;
    }

    // A picture of the screen once the picture's box has stopped changing (two grabs
    // 250 ms apart agree): the baseline a later screen is compared with, taken only after
    // the last repaint of what came before has landed.
    bool GrabSettled(Picture* p, int ms = 4000) {
        if (!Grab(p)) return false;
        Picture next;
        for (int waited = 0; waited <= ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (!Grab(&next)) return false;
            const bool same = Differing(*p, next) == 0;
            *p = std::move(next);
            if (same) return true;
        }
        return false;
    }

    // The box of the shape outlines on the picture: the middles of the first and last
    // runs of rows and columns that hold at least `least` coloured (not grey) pixels (an
    // outline is a few pixels thick).
    bool OutlineBox(const Picture& p, int least, int* left, int* top, int* right,
                    int* bottom) const {
        auto coloured = [&](int x, int y) {
            const uint8_t* c = p.At(x, y);
            return !Covered(x, y) && (c[0] != c[1] || c[1] != c[2]);
        };
        std::vector<bool> rows, columns;
        for (int y = frame.top; y < frame.bottom; ++y) {
            int n = 0;
            for (int x = frame.left; x < frame.right; ++x) n += coloured(x, y) ? 1 : 0;
            rows.push_back(n >= least);
        }
        for (int x = frame.left; x < frame.right; ++x) {
            int n = 0;
            for (int y = frame.top; y < frame.bottom; ++y) n += coloured(x, y) ? 1 : 0;
            columns.push_back(n >= least);
        }
        auto ends = [](const std::vector<bool>& lines, int origin, int* first, int* last) {
            int a = 0, z = static_cast<int>(lines.size()) - 1;
            while (a <= z && !lines[a]) ++a;
            while (z >= a && !lines[z]) --z;
            if (a > z) return false;
            int b = a, y = z;
            while (b + 1 <= z && lines[b + 1]) ++b;
            while (y - 1 >= a && lines[y - 1]) --y;
            *first = origin + (a + b) / 2;
            *last = origin + (y + z) / 2;
            return true;
        };
        return ends(columns, frame.left, left, right) && ends(rows, frame.top, top, bottom);
    }

    // Waits until the outlines' box stands on the picture's pixels (left, top) - (right,
    // bottom), each within `tolerance`, the picture found where it stands on the same
    // screen (a scroll carries both); `why` tells the box last seen.
    bool WaitForBox(int left, int top, int right, int bottom, int tolerance, std::string* why) {
        for (int waited = 0; waited <= kScreenWait; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const Screen::Rect ws = WorkspaceOf(screen, main);
            int l = 0, t = 0, r = 0, b = 0;
            // With the panel over the picture its border cannot be found: the picture is
            // taken to stand where it stood.
            if (covered.right != 0) seen = frame;
            if (!Grab(&shot) || (covered.right == 0 && !FindFrame(shot, ws.left, ws.top, ws.right, ws.bottom, &seen)) ||
                !OutlineBox(shot, 60, &l, &t, &r, &b))
                continue;
            l -= seen.left, r -= seen.left, t -= seen.top, b -= seen.top;
            *why = "box " + std::to_string(l) + ", " + std::to_string(t) + " - " + std::to_string(r) + ", " +
                   std::to_string(b);
            if (std::abs(l - left) <= tolerance && std::abs(t - top) <= tolerance && std::abs(r - right) <= tolerance &&
                std::abs(b - bottom) <= tolerance)
                return true;
        }
        return false;
    }
    // Waits until the picture shows no outline; `why` tells the box last seen.
    bool WaitForNoOutline(std::string* why, int ms = kScreenWait) {
        for (int waited = 0; waited <= ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            int l = 0, t = 0, r = 0, b = 0;
            if (!Grab(&shot)) continue;
            if (!OutlineBox(shot, 60, &l, &t, &r, &b)) return true;
            *why = "box " + std::to_string(l - frame.left) + ", " + std::to_string(t - frame.top) + " - " +
                   std::to_string(r - frame.left) + ", " + std::to_string(b - frame.top);
        }
        return false;
    }

    // Drags a shape open with the tool's key (or keys, Shift+F7 for a circle) from the
    // frame's pixel (x0, y0) to (x1, y1).
    void DragShape(KeySym tool, int x0, int y0, int x1, int y1) { DragShape(std::vector<KeySym>{tool}, x0, y0, x1, y1); }
    void DragShape(const std::vector<KeySym>& tool, int x0, int y0, int x1, int y1) {
        MoveTo(D(), Root(), SX(x0), SY(y0));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Press(tool);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Button(true);
        Walk(SX(x0), SY(y0), SX(x1), SY(y1));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Button(false);
    }
    // A rectangle (F7), a line (F5).
    void DragRectangle(int x0, int y0, int x1, int y1) { DragShape(XK_F7, x0, y0, x1, y1); }
    void DragLine(int x0, int y0, int x1, int y1) { DragShape(XK_F5, x0, y0, x1, y1); }

    // Clicks (x, y) once, then twice quickly twice over: the shape under it becomes current
    // and its edit frame goes on to the resize frame.
    void ToResizeFrame(int fromX, int fromY, int x, int y) {
        Walk(fromX, fromY, x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        Click();
        for (int pair = 0; pair < 2; ++pair) {
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            Click();
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            Click();
        }
    }
    void Click() {
        Button(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Button(false);
    }

    // Waits for every text in the "Edit Shape" window.
    bool PanelShows(const std::vector<std::string>& texts, std::string* missing, int ms = 10000) {
        for (int waited = 0; waited <= ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const Window panel = screen.FindWindow("Edit Shape");
            Picture p;
            if (panel == 0 || !screen.Grab(panel, &p)) {
                *missing = "no Edit Shape window";
                continue;
            }
            missing->clear();
            int x = 0, y = 0;
            for (const std::string& t : texts)
                if (!FindText(p, 0, 0, p.width, p.height, t, &x, &y)) missing->append(t + " ");
            if (missing->empty()) return true;
        }
        return false;
    }

    // Waits for the "Edit Shape" window to show none of the texts.
    bool PanelLacks(const std::vector<std::string>& texts, std::string* shown, int ms = 5000) {
        for (int waited = 0; waited <= ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const Window panel = screen.FindWindow("Edit Shape");
            Picture p;
            if (panel == 0 || !screen.Grab(panel, &p)) continue;
            shown->clear();
            int x = 0, y = 0;
            for (const std::string& t : texts)
                if (FindText(p, 0, 0, p.width, p.height, t, &x, &y)) shown->append(t + " ");
            if (shown->empty()) return true;
        }
        return false;
    }

    // Opens a menu of the menu bar (its row's y below the window's top) and clicks the
    // popup's entry.
    // Leaves the "Edit Shape..." panel out of what is read of the picture, once it shows
    // (it stands right of the page column, over the cells).
    void CoverPanel() {
        for (int waited = 0; waited <= kScreenWait && covered.right == 0; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (const Window panel = screen.FindWindow("Edit Shape")) covered = screen.RectOf(panel);
        }
    }

    bool MenuEntry(int rowY, const std::string& entry) { return ChooseMainMenuEntry(screen, main, rowY, entry); }
    // The rows of the menu bar's "Draw" and "Edit" menus.
    bool DrawEntry(const std::string& entry) { return MenuEntry(62, entry); }
    bool EditEntry(const std::string& entry) { return MenuEntry(84, entry); }

    Shown frame;
    Shown seen;  // where WaitForBox last found the picture
    int scale = 1;             // screen pixels a frame pixel, zoomed in
    Screen::Rect covered{};    // a window over the picture, left out of comparisons
};

}  // namespace orva::testing_program
