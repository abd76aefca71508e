// View > "Layout" as a user works it: the real program on a file written by astropy, the
// menu opened and its entries chosen with XTest clicks, and what is on the screen read
// back: the entries with their check marks, the pages that go and come, and the same set
// of pages at the next start, which reads it from its settings; pages hidden at exit and
// shown again after the next start stand where they stood, beside an unharmed preview.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

// What each page shows that no other page does.
constexpr const char* kCoordinatesMark = "Data coord";
constexpr const char* kLensMark = "Area of viewing:";
constexpr const char* kValueMark = "C:";
// How long a page, a menu or a mark may take to come or go on a loaded machine.
constexpr int kWait = 10000;

class LayoutMenuProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
            "y, x = np.mgrid[0:120, 0:160]; fits.PrimaryHDU((x * 10 + y).astype(np.int16)).writeto(\"" +
                files.File("ramp.fits") + "\")' 2>&1",
            &status);
        ASSERT_EQ(status, 0) << out;
        folder = files.File("run");
        mkdir(folder.c_str(), 0700);
    }

    // Starts the program on the file (its settings kept in `folder` from run to run); with
    // `toolsAway`, "Chart Tools" is put away where it stands over the main window.
    void Start(bool toolsAway = true) {
        std::string why;
        main = testing_program::StartOnFiles(screen, program, folder, {files.File("ramp.fits")}, &why);
        ASSERT_NE(main, 0u) << why;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        if (toolsAway) {
            ASSERT_TRUE(testing_program::PutToolsAway(screen, main)) << "Chart Tools stays over the main window";
        }
    }

    Window Root() const { return DefaultRootWindow(screen.display()); }

    // Whether the text stands in the area of `window` (the main window's by default),
    // waiting up to `ms` for it to come (or to go, with `present` false). With `listFace`
    // the text is looked for in the face of the statistic list's rows.
    bool Shows(const std::string& text, bool present = true, int ms = kWait, Window window = 0,
               bool listFace = false) {
        for (int waited = 0;; waited += 200) {
            const Screen::Rect m = screen.RectOf(window != 0 ? window : main);
            int x = 0, y = 0;
            const int w = m.right - m.left, h = m.bottom - m.top;
            const bool found =
                screen.Grab(Root(), &shot) &&
                (listFace ? testing_program::FindInk(shot, m.left, m.top, w, h, testing_program::ListInk(text), &x, &y)
                          : FindText(shot, m.left, m.top, w, h, text, &x, &y));
            if (found == present || waited >= ms) return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }

    // Opens View > `submenu` ("Layout" or "Chart Tools"); where the submenu's entry
    // `entry` stands (false when the menu or the entry is not there).
    bool OpenLayout(const std::string& entry, int* x, int* y, const std::string& submenu = "Layout") {
        Display* d = screen.display();
        const Screen::Rect m = screen.RectOf(main);
        // The menu bar stands in a column at the window's left, in a face of its own: "View"
        // is its fifth row. The submenu's "Layout" entry, read below, tells that it opened.
        const int vx = m.left + 12, vy = m.top + 104;
        int lx = 0, ly = 0;
        testing_program::ClickAt(d, Root(), vx + 8, vy + 4);
        for (int waited = 0; waited < kWait; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (screen.Grab(Root(), &shot) && FindText(shot, vx, vy, 400, 200, submenu, &lx, &ly)) break;
        }
        if (lx == 0) {
            testing_program::WritePpm(ORVA_BINARY_DIR "/layout_menu_view.ppm", shot);
            return false;
        }
        testing_program::MoveTo(d, Root(), lx + 10, ly + 4);
        for (int waited = 0; waited < kWait; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (screen.Grab(Root(), &shot) && FindText(shot, lx + 60, ly - 20, 400, 300, entry, x, y)) {
                // Into the submenu along its row, then down to the entry.
                testing_program::MoveTo(d, Root(), *x - 4, ly + 4);
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                return true;
            }
        }
        testing_program::WritePpm(ORVA_BINARY_DIR "/layout_menu_submenu.ppm", shot);
        return false;
    }

    // Esc twice (the submenu, then the menu), and a wait until the menu's "Layout" entry
    // has left the screen: a click on the bar while the menu still stood would close it.
    bool CloseMenus() {
        testing_program::PressKeys(screen.display(), {XK_Escape});
        testing_program::PressKeys(screen.display(), {XK_Escape});
        return MenuGone("Layout");
    }
    // Waits until the View menu's `entry` has left the screen: what stood under the menu
    // is drawn again in its own time, and until then the old menu's picture still shows
    // there, where a session would take it for a menu just opened.
    bool MenuGone(const std::string& entry) {
        const Screen::Rect m = screen.RectOf(main);
        int lx = 0, ly = 0;
        return testing_util::WaitUntil(
            [&] { return screen.Grab(Root(), &shot) && !FindText(shot, m.left + 12, m.top + 104, 400, 200, entry, &lx, &ly); },
            kWait);
    }

    // Whether the submenu's entry at (x, y) carries a check mark on its row.
    bool Checked(int x, int y) {
        int cx = 0, cy = 0;
        return FindText(shot, x + 60, y - 3, 160, 16, std::string(1, '\0'), &cx, &cy);
    }

    // Chooses the entry; whether it was checked before. False when the menu did not open
    // or did not close on the click.
    bool Choose(const std::string& entry, bool* wasChecked, const std::string& submenu = "Layout") {
        int x = 0, y = 0;
        if (!OpenLayout(entry, &x, &y, submenu)) return false;
        *wasChecked = Checked(x, y);
        testing_program::ClickAt(screen.display(), Root(), x + 10, y + 4);
        int ex = 0, ey = 0;
        const bool closed = testing_util::WaitUntil(
            [&] { return screen.Grab(Root(), &shot) && !FindText(shot, x - 4, y - 4, 300, 20, entry, &ex, &ey); },
            kWait);
        if (!closed) testing_program::WritePpm(ORVA_BINARY_DIR "/layout_menu_open.ppm", shot);
        return closed && MenuGone(submenu);
    }

    Screen screen;
    testing_util::TempFolder files;
    std::string folder;
    std::optional<ProgramRun> program;
    Window main = 0;
    Picture shot;
};

TEST_F(LayoutMenuProgram, EntriesShowAndHidePagesAndTheNextStartKeepsTheSet) {
    ASSERT_NO_FATAL_FAILURE(Start());
    // The first start shows the readouts of the pointer and the lens strip.
    EXPECT_TRUE(Shows(kCoordinatesMark));
    EXPECT_TRUE(Shows(kValueMark));
    EXPECT_TRUE(Shows(kLensMark));

    // Every page of the main workspace is listed; the ones shown are checked.
    int x = 0, y = 0;
    ASSERT_TRUE(OpenLayout("Coordinates", &x, &y)) << "no View > Layout > Coordinates";
    EXPECT_TRUE(Checked(x, y));
    for (const char* entry : {"View Mode", "Value Readout", "Channels", "Grid", "Lens", "Zoom Bar", "Fast Selector",
                              "Transport", "Select Tab", "Statistic Overlay"}) {
        int ex = 0, ey = 0;
        EXPECT_TRUE(FindText(shot, x - 10, y - 10, 300, 300, entry, &ex, &ey)) << entry;
    }
    ASSERT_TRUE(CloseMenus()) << "the menu stays open after Esc";

    // Choosing a checked entry hides its page, choosing it again shows it.
    bool was = false;
    ASSERT_TRUE(Choose("Coordinates", &was));
    EXPECT_TRUE(was);
    EXPECT_FALSE(Shows(kCoordinatesMark, false));
    ASSERT_TRUE(Choose("Lens", &was));
    EXPECT_TRUE(was);
    EXPECT_FALSE(Shows(kLensMark, false));
    ASSERT_TRUE(OpenLayout("Coordinates", &x, &y));
    EXPECT_FALSE(Checked(x, y));
    ASSERT_TRUE(CloseMenus()) << "the menu stays open after Esc";
    EXPECT_TRUE(Shows(kValueMark));
    EXPECT_EQ(program->End(), 0);

    // The next start shows the same set, and the entry brings the page back.
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(Shows(kValueMark));
    EXPECT_FALSE(Shows(kCoordinatesMark, false, 0));
    EXPECT_FALSE(Shows(kLensMark, false, 0));
    ASSERT_TRUE(Choose("Coordinates", &was));
    EXPECT_FALSE(was);
    EXPECT_TRUE(Shows(kCoordinatesMark));
    EXPECT_EQ(program->End(), 0);
}

// The row of tool pages along the main window's top: hidden at exit, the pages stay away
// at the next start without taking the preview's room or the file's tab, and shown again
// they stand where they stood at the first start.
TEST_F(LayoutMenuProgram, PagesHiddenAtExitComeBackWhereTheyStood) {
    struct RowPage {
        const char* entry;
        const char* mark;
        int x = 0, y = 0;  // where the mark stood at the first start
    };
    RowPage pages[] = {{"Fast Selector", "PROJECT(S):"}, {"Transport", "00.00"}, {"Coordinates", kCoordinatesMark},
                       {"View Mode", "Work mode"}};
    // The top of the preview's black ground (a black row across its left part), right of
    // the menus in the main window.
    auto previewTop = [&] {
        const Screen::Rect m = screen.RectOf(main);
        if (!screen.Grab(Root(), &shot)) return -1;
        for (int y = m.top; y < m.top + 300 && y < shot.height; ++y) {
            bool black = true;
            for (int x = m.left + 75; x < m.left + 105 && black; ++x) {
                const uint8_t* p = shot.At(x, y);
                black = p[0] < 8 && p[1] < 8 && p[2] < 8;
            }
            if (black) return y;
        }
        return -1;
    };
    // The file's tab: a run of the chosen tab's colour above the cells, right of the preview.
    auto fileTab = [&] {
        return testing_util::WaitUntil(
            [&] {
                const Screen::Rect m = screen.RectOf(main);
                if (!screen.Grab(Root(), &shot)) return false;
                for (int y = m.top; y < m.top + 220 && y < shot.height; ++y) {
                    int run = 0;
                    for (int x = m.left + 300; x < m.right && x < shot.width; ++x) {
                        const uint8_t* p = shot.At(x, y);
                        const uint8_t* c = testing_program::kChosenTab;
                        run = p[0] == c[0] && p[1] == c[1] && p[2] == c[2] ? run + 1 : 0;
                        if (run >= 30) return true;
                    }
                }
                return false;
            },
            kWait);
    };
    auto findMark = [&](const RowPage& p, int* x, int* y) {
        return testing_util::WaitUntil(
            [&] {
                const Screen::Rect m = screen.RectOf(main);
                return screen.Grab(Root(), &shot) && FindText(shot, m.left, m.top, m.right - m.left, 120, p.mark, x, y);
            },
            kWait);
    };
    ASSERT_NO_FATAL_FAILURE(Start());
    for (RowPage& p : pages) ASSERT_TRUE(findMark(p, &p.x, &p.y)) << p.entry << " at the first start";
    ASSERT_TRUE(fileTab());
    const int top = previewTop();
    ASSERT_GT(top, 0);
    for (const RowPage& p : pages) {
        bool was = false;
        ASSERT_TRUE(Choose(p.entry, &was)) << p.entry;
        EXPECT_TRUE(was) << p.entry;
        EXPECT_FALSE(Shows(p.mark, false)) << p.entry << " stays";
    }
    EXPECT_EQ(program->End(), 0);

    // The next start keeps them away; the preview and the file's tab are as before.
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(fileTab()) << "the file's tab is gone";
    for (const RowPage& p : pages) EXPECT_FALSE(Shows(p.mark, false, 0)) << p.entry;
    EXPECT_EQ(previewTop(), top) << "the preview lost its room";
    // Shown one by one, each comes back to its place in the row.
    for (const RowPage& p : pages) {
        bool was = true;
        ASSERT_TRUE(Choose(p.entry, &was)) << p.entry;
        EXPECT_FALSE(was) << p.entry;
    }
    for (const RowPage& p : pages) {
        int x = 0, y = 0;
        if (!findMark(p, &x, &y)) testing_program::WritePpm(ORVA_BINARY_DIR "/layout_row_back.ppm", shot);
        ASSERT_TRUE(findMark(p, &x, &y)) << p.entry << " is not back in the row (" ORVA_BINARY_DIR "/layout_row_back.ppm)";
        EXPECT_EQ(x, p.x) << p.entry;
        EXPECT_EQ(y, p.y) << p.entry;
    }
    EXPECT_EQ(previewTop(), top) << "the pages cover the preview";
    EXPECT_TRUE(fileTab()) << "the file's tab is gone";
    EXPECT_EQ(program->End(), 0);
}

// View > "Chart Tools" lists the "Chart Tools" window's own pages, checked while shown;
// each entry hides its page in that window and shows it again.
TEST_F(LayoutMenuProgram, ChartToolsEntriesShowAndHideThatWindowsPages) {
    ASSERT_NO_FATAL_FAILURE(Start(false));
    const Window tools = screen.WaitForWindow("Chart Tools", 10000);
    ASSERT_NE(tools, 0u);
    struct Page {
        const char* entry;
        const char* mark;  // what the page shows in the "Chart Tools" window
        bool shown;        // at start
        bool listFace;     // the mark is written in the statistic list's face
    };
    // Every page is listed.
    int x = 0, y = 0;
    ASSERT_TRUE(OpenLayout("Coordinates", &x, &y, "Chart Tools")) << "no View > Chart Tools > Coordinates";
    for (const char* entry : {"Value Readout", "Channels", "Grid", "Lens", "Zoom Bar", "Statistic List"}) {
        int ex = 0, ey = 0;
        EXPECT_TRUE(FindText(shot, x - 10, y - 10, 300, 300, entry, &ex, &ey)) << entry;
    }
    ASSERT_TRUE(CloseMenus()) << "the menu stays open after Esc";
    const Page pages[] = {
        {"Coordinates", kCoordinatesMark, true, false},
        {"Zoom Bar", "BG", true, false},
        {"Value Readout", kValueMark, true, false},
        {"Grid", "Cursor options", false, false},
        {"Lens", kLensMark, false, false},
        {"Statistic List", "Count:", true, true},
    };
    for (const Page& p : pages) {
        SCOPED_TRACE(p.entry);
        // The grid page stands where it finds room off the chart: anywhere on the screen.
        const Window where = std::string(p.entry) == "Grid" ? Root() : tools;
        EXPECT_EQ(Shows(p.mark, p.shown, kWait, where, p.listFace), p.shown) << "at start";
        bool was = !p.shown;
        ASSERT_TRUE(Choose(p.entry, &was, "Chart Tools")) << "no View > Chart Tools > " << p.entry;
        EXPECT_EQ(was, p.shown) << "the check mark";
        EXPECT_EQ(Shows(p.mark, !p.shown, kWait, where, p.listFace), !p.shown) << "after the first choice";
        ASSERT_TRUE(Choose(p.entry, &was, "Chart Tools"));
        EXPECT_EQ(was, !p.shown) << "the check mark after the first choice";
        EXPECT_EQ(Shows(p.mark, p.shown, kWait, where, p.listFace), p.shown) << "after the second choice";
    }
    // The main window's pages are not touched.
    EXPECT_TRUE(Shows(kCoordinatesMark));
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
