#pragma once
// The running program on a FITS ramp, driven through the pages of its main window as a
// user does: the tabs of the page column and of a page, the mouse wheel over the column,
// and texts looked for on the screen (read with the built-in face of screen_text.h).
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framed_picture.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva::testing_program {

class PageProgram {
public:
    // Writes a 300 x 200 16-bit ramp x + y with astropy and starts the program on it; an
    // empty text when its page column stands beside the workspace, else why not (in
    // *skip when this machine cannot run the program).
    std::string Start(bool* skip) {
        *skip = true;
        if (std::string why = WhyNoProgramTest(screen); !why.empty()) return why;
        const std::string file = files.File("ramp.fits");
        int status = -1;
        RunCommand(ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
                   "y, x = np.mgrid[0:200, 0:300]; fits.PrimaryHDU((x + y).astype(np.int16)).writeto(\"" +
                       file + "\")' 2>&1",
                   &status);
        if (status != 0) return "astropy could not write the ramp";
        *skip = false;
        std::string why;
        main = StartOnFiles(screen, program, files.File("run"), {file}, &why);
        if (main == 0) return why;
        int x = 0, y = 0;
        for (int waited = 0; waited < 15000; waited += 200) {
            const Screen::Rect c = Column();
            if (c.right > c.left + 100 && Grab() && PageTab(shot, c.left, c.top, 3, &x, &y)) return "";
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return "no page column beside the workspace";
    }

    Display* X() const { return screen.display(); }
    Window Root() const { return DefaultRootWindow(screen.display()); }
    Screen::Rect MainRect() { return screen.RectOf(main); }
    // The page column of a group window (the main window when none is given): from the
    // window's left edge to its workspace, the largest window inside it.
    Screen::Rect Column(Window w = 0) {
        if (w == 0) w = main;
        const Screen::Rect r = screen.RectOf(w);
        const ChildWindow ws = LargestChildWindow(screen.display(), w);
        return Screen::Rect{r.left, r.top, ws.width > 0 && ws.x > 0 ? r.left + ws.x : r.right, r.bottom};
    }

    // The column's scroll bar stands in the last pixels left of the workspace; whether the
    // row y of the last screen shows it (anything but the page's ground, taken at the
    // column's left edge in the same row).
    static int BarX(const Screen::Rect& column) { return column.right - 8; }
    bool BarRow(const Screen::Rect& column, int y) const {
        const uint8_t* ground = shot.At(column.left + 3, y);
        for (int x = column.right - 13; x < column.right - 3; ++x) {
            const uint8_t* q = shot.At(x, y);
            if (std::abs(q[0] - ground[0]) > 6 || std::abs(q[1] - ground[1]) > 6 || std::abs(q[2] - ground[2]) > 6)
                return true;
        }
        return false;
    }
    // The bar's rows around row y of the last screen: false when row y shows none.
    bool BarAround(const Screen::Rect& column, int y, int* top, int* bottom) const {
        if (!BarRow(column, y)) return false;
        *top = *bottom = y;
        while (*top > column.top && BarRow(column, *top - 1)) --*top;
        while (*bottom < column.bottom - 1 && BarRow(column, *bottom + 1)) ++*bottom;
        return true;
    }
    bool Grab() { return screen.Grab(Root(), &shot); }

    // Waits up to `ms` for the text to stand (or, with `present` false, to be gone) in the
    // box of the screen; where it stands.
    bool WaitForText(const std::string& text, const Screen::Rect& box, int* x, int* y, int ms = 4000,
                     bool present = true) {
        int fx = 0, fy = 0;
        for (int waited = 0;; waited += 150) {
            const bool found =
                Grab() && FindText(shot, box.left, box.top, box.right - box.left, box.bottom - box.top, text, &fx, &fy);
            if (found == present || waited >= ms) {
                if (found && x != nullptr) *x = fx;
                if (found && y != nullptr) *y = fy;
                return found;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    }

    // The part of a file dialog above its "File name:" field (its folder and list), row
    // `fieldY` of the screen, as the screen shows it now.
    std::vector<uint8_t> DialogAbove(Window dialog, int fieldY) {
        const Screen::Rect r = screen.RectOf(dialog);
        std::vector<uint8_t> part;
        if (!Grab()) return part;
        for (int y = std::max(r.top, 0); y < std::min(fieldY - 4, shot.height); ++y)
            for (int x = std::max(r.left, 0); x < std::min(r.right, shot.width); ++x) {
                const uint8_t* q = shot.At(x, y);
                part.insert(part.end(), q, q + 3);
            }
        return part;
    }

    // Types `text` into the "File name:" field of the dialog of that title and presses
    // Return; true once the dialog is gone (or, with `closes` false, once its folder and
    // list changed: a folder typed). A loaded machine can give the field its keys late, so
    // it is typed again while the dialog stays; a dialog slow to close is waited for, never
    // typed at again: its keys would reach the main window's shortcuts.
    ::testing::AssertionResult EnterFileName(const char* title, const std::string& text, bool closes = true) {
        const Window dialog = screen.WaitForWindow(title, 10000);
        int x = 0, y = 0;
        if (dialog == 0 || !FieldLabel(dialog, &x, &y))
            return ::testing::AssertionFailure() << "no dialog " << title << ": " << Keep("file_name_dialog");
        const std::vector<uint8_t> before = closes ? std::vector<uint8_t>() : DialogAbove(dialog, y);
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (screen.FindWindow(title) == 0 || (attempt > 0 && !FieldLabel(dialog, &x, &y))) break;
            ClickAt(X(), Root(), x + 150, y + 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            PressKeys(X(), {XK_Control_L, XK_a});
            TypeText(X(), text);
            PressKeys(X(), {XK_Return});
            const bool done =
                closes ? testing_util::WaitUntil([&] { return screen.FindWindow(title) == 0; }, 15000)
                       : testing_util::WaitUntil([&] { return DialogAbove(dialog, y) != before; }, 8000, 150);
            if (done) return ::testing::AssertionSuccess();
        }
        Grab();
        return ::testing::AssertionFailure() << "the dialog " << title << " did not take " << text << ": "
                                             << Keep("file_name_dialog");
    }

    // Where the dialog's "File name:" label stands, once it stood at one place in two looks
    // 300 ms apart: a dialog's first picture can be drawn before its last size reached the
    // screen, its rows off from where the pointer finds them.
    bool FieldLabel(Window dialog, int* x, int* y) {
        int lastX = -1, lastY = -1;
        for (int waited = 0; waited <= 8000; waited += 300) {
            if (WaitForText("File name:", screen.RectOf(dialog), x, y, 3000) && *x == lastX && *y == lastY) return true;
            lastX = *x;
            lastY = *y;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return false;
    }

    // Waits for the file's tab above the workspace to show (or, with `shown` false, to be
    // gone); whether it shows at the end, and where (x and y may be null).
    bool FileTab(const std::string& name, int* x, int* y, bool shown = true, int ms = 15000) {
        const Screen::Rect ws = WorkspaceOf(screen, main);
        bool found = false;
        int fx = 0, fy = 0;
        testing_util::WaitUntil([&] {
            found = Grab() && FindInk(shot, ws.left, ws.top - 30, ws.right - ws.left, 30, UiTextInk(name), &fx, &fy);
            return found == shown;
        }, ms, 150);
        if (found && x != nullptr) *x = fx;
        if (found && y != nullptr) *y = fy;
        return found;
    }

    // Clicks tab n of the column's tab bar ("Source", "Plug-ins", …). The tabs are looked for
    // a few seconds: a loaded machine can grab the window while it is being drawn again.
    bool ClickGroupTab(int n) {
        const Screen::Rect m = MainRect();
        int x = 0, y = 0;
        if (!testing_util::WaitUntil([&] { return Grab() && PageTab(shot, m.left, m.top, n, &x, &y); }, 5000, 150))
            return false;
        ClickAt(X(), Root(), x, y);
        return true;
    }

    // Clicks tab n of the shown page's own tab bar (the Source's "Info", "Options"): the
    // first row below the column's tabs with a run of the chosen tab's colour.
    bool ClickPageTab(int n) {
        const Screen::Rect c = Column();
        int x = 0, y = 0;
        if (!testing_util::WaitUntil([&] { return Grab() && OwnPageTab(shot, c.left, c.right, c.top, n, &x, &y); },
                                     5000, 150))
            return false;
        ClickAt(X(), Root(), x, y);
        return true;
    }

    // Turns the wheel over the screen point: `notches` away from the user (negative) or
    // towards (positive, the pages move up).
    void Wheel(int x, int y, int notches) {
        MoveTo(X(), Root(), x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const unsigned button = notches > 0 ? 5 : 4;
        for (int i = 0; i < (notches > 0 ? notches : -notches); ++i) {
            XTestFakeButtonEvent(X(), button, True, CurrentTime);
            XTestFakeButtonEvent(X(), button, False, CurrentTime);
            XSync(X(), False);
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    }

    // Scrolls the column under (x, y) with the wheel, a notch at a time, until the text
    // stands in the box.
    bool WheelUntil(const std::string& text, int x, int y, const Screen::Rect& box, int* tx, int* ty) {
        for (int notch = 0; notch < 20; ++notch) {
            if (WaitForText(text, box, tx, ty, notch == 0 ? 1000 : 300)) return true;
            Wheel(x, y, 1);
        }
        return false;
    }

    // Clicks the track of the column's bar under its thumb, a page at a time, until the text
    // stands in the column; `nearY` is a row of the bar.
    bool PageDownUntil(const std::string& text, Window w, int nearY) {
        const Screen::Rect c = Column(w);
        for (int page = 0; page < 8; ++page) {
            if (WaitForText(text, c, nullptr, nullptr, page == 0 ? 800 : 500)) return true;
            int top = 0, bottom = 0;
            if (!BarAround(c, nearY, &top, &bottom)) return false;
            ClickAt(X(), Root(), BarX(c), bottom - 4);
        }
        return WaitForText(text, c, nullptr, nullptr, 500);
    }

    // Writes the last screen beside the build for a failure's message.
    std::string Keep(const std::string& name) {
        const std::string path = std::string(ORVA_BINARY_DIR) + "/" + name + ".ppm";
        WritePpm(path, shot);
        return path;
    }

    testing_util::TempFolder files;
    Screen screen;
    std::optional<ProgramRun> program;
    Window main = 0;
    Picture shot;
};

}  // namespace orva::testing_program
