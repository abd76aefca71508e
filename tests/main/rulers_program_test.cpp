// The rulers of the image cell as a user sees them: the program started on a FITS frame
// that astropy wrote (black, with white columns at x = 100, 200, 300 and white rows at
// y = 100, 200), driven only through XTest and judged only by the pixels of its main
// window. The ruler keys ("=", "\", "-") and the Grid menu's ruler entries switch the
// rulers along the cell's top and left edges; at two zooms and after a scroll each ruler's
// labels are read off the screen and the tick under a label must stand in the middle of
// the frame column (or row) that the readouts call by that number (counted from 1, so
// the label 100 stands on the pixel just before the white line at index 100).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"
// After the test headers: Xlib's macros would spoil them.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orva {
namespace {

using testing_program::FindAllInk;
using testing_program::FindInk;

using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

constexpr int kFrameWidth = 400, kFrameHeight = 300;

bool IsWhite(const uint8_t* p) { return p[0] >= 250 && p[1] >= 250 && p[2] >= 250; }
bool IsBlack(const uint8_t* p) { return p[0] <= 5 && p[1] <= 5 && p[2] <= 5; }

// Where the rulers and the picture's white lines are in one grab of the main window.
struct Seen {
    Picture shot;
    // The cell: the workspace's left edge and the first row below the file-tab bar.
    int cellLeft = -1, cellTop = -1;
    // The first row below it: the zoom bar under the workspace.
    int cellBottom = -1;
    // The rulers (-1: not shown): the horizontal one's rows [topRuler, topRuler + 15)
    // and the vertical one's columns [leftRuler, leftRuler + 41).
    int topRuler = -1, leftRuler = -1;
    // The screen columns where the white frame columns start and the rows where the
    // white frame rows start, left to right and top down.
    std::vector<int> columns, rows;
};

// The main window's workspace: its largest child window.
int WorkspaceLeft(Display* d, Window w) {
    const testing_program::ChildWindow c = testing_program::LargestChildWindow(d, w);
    return c.width > 0 ? c.x : -1;
}

// The starts of the runs of indexes whose count passes `least`.
std::vector<int> RunStarts(const std::vector<int>& counts, int from, int least) {
    std::vector<int> starts;
    for (size_t i = static_cast<size_t>(from); i < counts.size(); ++i)
        if (counts[i] >= least && (i == 0 || counts[i - 1] < least)) starts.push_back(static_cast<int>(i));
    return starts;
}

// Finds the cell, its rulers and the picture's white lines: columns and rows of the
// picture (right of and below the rulers) that are white over more than 100 pixels.
Seen RulersSeen(Screen& screen, Window main) {
    Seen s;
    screen.Raise(main);
    if (!screen.Grab(main, &s.shot)) return s;
    const Picture& p = s.shot;
    s.cellLeft = WorkspaceLeft(screen.display(), main);
    if (s.cellLeft < 0 || s.cellLeft + 400 > p.width) return s;
    // Down the workspace: past the file-tab bar's blue and the window's grey under it.
    const auto grey = [](const uint8_t* c) { return std::abs(c[0] - 213) <= 2 && std::abs(c[2] - 207) <= 2; };
    const auto blue = [](const uint8_t* c) { return c[2] > 150 && c[0] < 100; };
    const int probe = s.cellLeft + 300;
    int y = 0;
    while (y < p.height && !blue(p.At(probe, y))) ++y;
    while (y < p.height && (blue(p.At(probe, y)) || grey(p.At(probe, y)))) ++y;
    if (y + 300 > p.height) return s;
    s.cellTop = y;
    // Down the cell's left edge to the zoom bar's grey.
    int bottom = y;
    while (bottom < p.height && !grey(p.At(s.cellLeft + 3, bottom))) ++bottom;
    if (bottom >= p.height) return s;
    s.cellBottom = bottom;
    int white = 0;
    for (int x = s.cellLeft; x < s.cellLeft + 300; ++x) white += IsWhite(p.At(x, s.cellTop + 1));
    if (white > 200) s.topRuler = s.cellTop;
    white = 0;
    for (int row = s.cellTop + 20; row < s.cellTop + 220; ++row) white += IsWhite(p.At(s.cellLeft + 20, row));
    if (white > 150) s.leftRuler = s.cellLeft;
    const int x0 = s.leftRuler >= 0 ? s.leftRuler + 42 : s.cellLeft;
    const int y0 = s.topRuler >= 0 ? s.topRuler + 16 : s.cellTop;
    std::vector<int> perColumn(static_cast<size_t>(p.width), 0), perRow(static_cast<size_t>(p.height), 0);
    for (int row = y0; row < s.cellBottom; ++row)
        for (int x = x0; x < p.width; ++x)
            if (IsWhite(p.At(x, row))) {
                ++perColumn[static_cast<size_t>(x)];
                ++perRow[static_cast<size_t>(row)];
            }
    s.columns = RunStarts(perColumn, x0, 100);
    s.rows = RunStarts(perRow, y0, 100);
    return s;
}

// The mapped windows right below the root (a popup menu is one of them).
std::vector<Window> TopWindows(Display* d, Window root) {
    std::vector<Window> out;
    Window r = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, root, &r, &up, &children, &count)) return out;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable) out.push_back(children[i]);
    }
    if (children != nullptr) XFree(children);
    return out;
}

// A label found on a ruler and the tick it belongs to (screen column or row).
struct Label {
    bool found = false;
    int tick = -1;
};

// Nothing but the ruler's white in the columns [from, to) of the rows [top, top + rows).
bool Clear(const Picture& p, int from, int to, int top, int rows) {
    for (int x = from; x < to; ++x)
        for (int y = top; y < top + rows; ++y)
            if (!IsWhite(p.At(x, y))) return false;
    return true;
}

// The label `text` on the horizontal ruler and its tick: the full-height black column
// a few pixels left of the text with only white between them (so "100" in "-100" is not
// the label 100).
Label HorizontalLabel(const Seen& s, const std::string& text) {
    Label l;
    const int rows = testing_program::TextInk(text).height;
    for (auto [x, y] : FindAllInk(s.shot, s.cellLeft, s.topRuler, s.shot.width - s.cellLeft, 15, text, true))
        for (int t = x - 1; t >= x - 4 && t > s.cellLeft; --t)
            if (IsBlack(s.shot.At(t, s.topRuler + 1)) && IsBlack(s.shot.At(t, s.topRuler + 13))) {
                if (!Clear(s.shot, t + 1, x, y, rows)) break;
                l.found = true;
                l.tick = t;
                return l;
            }
    return l;
}

// The label `text` on the vertical ruler and its tick: the full-width black row just
// below the text, which starts a few pixels from the ruler's left edge.
Label VerticalLabel(const Seen& s, const std::string& text) {
    Label l;
    const int top = s.topRuler >= 0 ? s.topRuler + 15 : s.cellTop;
    const testing_program::InkMask ink = testing_program::TextInk(text);
    for (auto [x, y] : FindAllInk(s.shot, s.leftRuler, top, 41, s.cellBottom - top, text, true)) {
        if (!Clear(s.shot, s.leftRuler + 1, x, y, ink.height)) continue;
        for (int t = y + ink.height; t <= y + ink.height + 4; ++t)
            if (IsBlack(s.shot.At(s.leftRuler + 1, t)) && IsBlack(s.shot.At(s.leftRuler + 39, t))) {
                l.found = true;
                l.tick = t;
                return l;
            }
    }
    return l;
}

class RulersProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        int status = -1;
        testing_program::RunCommand(
            ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
            "a = np.zeros((" + std::to_string(kFrameHeight) + ", " + std::to_string(kFrameWidth) +
                "), dtype=np.int16); a[:, [100, 200, 300]] = 1000; a[[100, 200], :] = 1000; "
                "fits.PrimaryHDU(a).writeto(\"" + files.File("lines.fits") + "\"); "
                "b = np.zeros((1200, 1600), dtype=np.int16); "
                "b[:, 400:404] = b[:, 800:804] = b[:, 1200:1204] = 1000; b[400:404, :] = b[800:804, :] = 1000; "
                "fits.PrimaryHDU(b).writeto(\"" + files.File("large.fits") + "\")' 2>&1",
            &status);
        ASSERT_EQ(status, 0);
    }
    std::string RunFolder(const char* name) {
        const std::string folder = files.File(name);
        mkdir(folder.c_str(), 0700);
        return folder;
    }
    // Grabs until two grabs a moment apart agree and `ready` holds; the last look.
    template <typename Ready>
    Seen WaitFor(Window main, Ready ready, int ms = 15000) {
        Seen last;
        for (int waited = 0; waited < ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            Seen now = RulersSeen(screen, main);
            const bool steady = !now.shot.rgb.empty() && now.shot.rgb == last.shot.rgb;
            last = std::move(now);
            if (steady && ready(last)) return last;
        }
        return last;
    }
    void Save(const Seen& s, const char* name) {
        testing_program::WritePpm(std::string(ORVA_BINARY_DIR) + "/rulers_" + name + ".ppm", s.shot);
    }
    // Every label of the step along both rulers sits on the tick of the screen pixel
    // that shows its frame coordinate: the white lines give the screen position of the
    // frame columns `step` x (1, 2, 3) and rows `step` x (1, 2), and so the zoom. A line
    // of a frame drawn smaller than its size may start a pixel off its exact place
    // (`slack`).
    void ExpectLabelsMatchFrame(const Seen& s, const char* what, int step = 100, int slack = 0) {
        ASSERT_GE(s.topRuler, 0) << what;
        ASSERT_GE(s.leftRuler, 0) << what;
        ASSERT_EQ(s.columns.size(), 3u) << what;
        ASSERT_EQ(s.rows.size(), 2u) << what;
        const double zoomX = (s.columns[2] - s.columns[0]) / (2.0 * step);
        const double zoomY = (s.rows[1] - s.rows[0]) / static_cast<double>(step);
        // The middle of the pixel before a line's first screen pixel; the one-pixel tick
        // line covers the screen pixel that holds it (either one where it falls on an edge).
        const auto middleBefore = [](int lineStart, double zoom) { return lineStart - zoom / 2.0; };
        for (int i = 0; i < 3; ++i) {
            const int value = step * (i + 1);
            const Label l = HorizontalLabel(s, std::to_string(value));
            ASSERT_TRUE(l.found) << what << ": no label " << value << " on the top ruler";
            EXPECT_NEAR(l.tick + 0.5, middleBefore(s.columns[static_cast<size_t>(i)], zoomX), 0.5 + slack)
                << what << ": label " << value << " at column " << l.tick << ", the line at " << s.columns[i];
        }
        for (int i = 0; i < 2; ++i) {
            const int value = step * (i + 1);
            const Label l = VerticalLabel(s, std::to_string(value));
            ASSERT_TRUE(l.found) << what << ": no label " << value << " on the left ruler";
            EXPECT_NEAR(l.tick + 0.5, middleBefore(s.rows[static_cast<size_t>(i)], zoomY), 0.5 + slack)
                << what << ": label " << value << " at row " << l.tick << ", the line at " << s.rows[i];
        }
        // A label between the lines: half a step, where the zoom puts it (when the ruler's
        // step has one).
        const Label before = HorizontalLabel(s, std::to_string(step / 2));
        if (before.found) {
            EXPECT_NEAR(before.tick + 0.5, middleBefore(s.columns[0], zoomX) - step / 2 * zoomX, 1.0 + slack) << what;
        }
        const Label between = VerticalLabel(s, std::to_string(step * 3 / 2));
        if (between.found) {
            EXPECT_NEAR(between.tick + 0.5, middleBefore(s.rows[0], zoomY) + step / 2 * zoomY, 1.0 + slack) << what;
        }
    }

    Screen screen;
    testing_util::TempFolder files;
};

TEST_F(RulersProgram, KeysAndTheGridMenuShowRulersLabelledInFrameCoordinates) {
    ProgramRun program(RunFolder("run"), {files.File("lines.fits")});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Source format", 20000)) << program.Log();
    Display* d = screen.display();

    // At first: no rulers, the picture's lines in the cell.
    Seen first = WaitFor(main, [](const Seen& s) { return s.columns.size() == 3u && s.rows.size() == 2u; });
    Save(first, "start");
    ASSERT_EQ(first.columns.size(), 3u) << "the picture's lines are not in sight";
    ASSERT_EQ(first.rows.size(), 2u);
    EXPECT_LT(first.topRuler, 0);
    EXPECT_LT(first.leftRuler, 0);
    EXPECT_EQ(first.columns[1] - first.columns[0], 100);  // unzoomed
    // A point of the picture away from its lines, to click into.
    auto inside = [](const Seen& s, int* x, int* y) {
        *x = (s.columns[0] + s.columns[1]) / 2;
        *y = (s.rows[0] + s.rows[1]) / 2;
    };
    int clickX = 0, clickY = 0;
    inside(first, &clickX, &clickY);

    // The keyboard's "=" key over the cell: both rulers, along the cell's top and left edges.
    testing_program::ClickAt(d, main, clickX, clickY);
    testing_program::PressKeys(d, {XK_equal});
    auto bothShown = [](const Seen& s) {
        return s.topRuler >= 0 && s.leftRuler >= 0 && s.columns.size() == 3u && s.rows.size() == 2u;
    };
    Seen both = WaitFor(main, bothShown);
    Save(both, "keys");
    ASSERT_TRUE(bothShown(both)) << "no rulers after \"=\"";
    EXPECT_EQ(both.topRuler, first.cellTop);
    EXPECT_EQ(both.leftRuler, first.cellLeft);
    ExpectLabelsMatchFrame(both, "zoom 1");

    // "\\" takes the top ruler away, "-" the left one.
    testing_program::PressKeys(d, {XK_backslash});
    Seen noTop = WaitFor(main, [](const Seen& s) { return s.topRuler < 0 && s.leftRuler >= 0; });
    EXPECT_LT(noTop.topRuler, 0);
    EXPECT_GE(noTop.leftRuler, 0);
    testing_program::PressKeys(d, {XK_minus});
    Seen none = WaitFor(main, [](const Seen& s) { return s.topRuler < 0 && s.leftRuler < 0; });
    Save(none, "none");
    EXPECT_LT(none.topRuler, 0);
    EXPECT_LT(none.leftRuler, 0);

    // The Grid menu of the zoom bar under the workspace: its "Rulers" entry shows them.
    int gridX = 0, gridY = 0;
    ASSERT_GE(none.cellBottom, 0);
    ASSERT_TRUE(FindInk(none.shot, none.cellLeft, none.cellBottom, none.shot.width - none.cellLeft, 24, "Grid", false,
                        &gridX, &gridY))
        << "no Grid button";
    const testing_program::InkMask gridInk = testing_program::TextInk("Grid");
    // A click on the drop-down arrow right of the caption opens the menu in a window of
    // its own, looked for among the program's other windows. A busy machine (a sanitizer
    // build) can take the click on the entry before the menu follows the pointer: the
    // menu is opened and the entry chosen again then.
    const Window root = DefaultRootWindow(d);
    Picture popup;
    Seen menu;
    bool found = false;
    for (int attempt = 0; attempt < 3 && !bothShown(menu); ++attempt) {
        testing_program::ClickAt(d, main, gridX + gridInk.width + 3, gridY + gridInk.height / 2);
        Window menuWindow = 0;
        int rulersX = 0, rulersY = 0;
        found = false;
        for (int tries = 0; tries < 20 && !found; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            for (Window w : TopWindows(d, root)) {
                if (w == main || !screen.Grab(w, &popup)) continue;
                found = FindInk(popup, 0, 0, popup.width, popup.height, "Rulers", true, &rulersX, &rulersY);
                if (found) {
                    menuWindow = w;
                    break;
                }
            }
        }
        testing_program::WritePpm(std::string(ORVA_BINARY_DIR) + "/rulers_grid_menu.ppm", popup);
        ASSERT_TRUE(found) << "no Rulers entry in the Grid menu";
        testing_program::MoveTo(d, menuWindow, rulersX + 5, rulersY + 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        testing_program::ClickAt(d, menuWindow, rulersX + 5, rulersY + 4);
        menu = WaitFor(main, bothShown, 8000);
    }
    Save(menu, "menu");
    ASSERT_TRUE(bothShown(menu)) << "no rulers from the menu";
    ExpectLabelsMatchFrame(menu, "from the menu");

    // Keypad + over the picture zooms by a hundredth a press: 50 presses give 1.5.
    inside(menu, &clickX, &clickY);
    testing_program::ClickAt(d, main, clickX, clickY);
    for (int i = 0; i < 50; ++i) testing_program::PressKeys(d, {XK_KP_Add});
    Seen zoomed = WaitFor(main, [&](const Seen& s) { return bothShown(s) && s.columns[1] - s.columns[0] == 150; });
    Save(zoomed, "zoomed");
    ASSERT_TRUE(bothShown(zoomed));
    EXPECT_EQ(zoomed.columns[1] - zoomed.columns[0], 150);
    EXPECT_EQ(zoomed.rows[1] - zoomed.rows[0], 150);
    ExpectLabelsMatchFrame(zoomed, "zoom 1.5");

    // Ctrl+Shift+arrows scroll by ten pixels: the picture and the labels move together.
    for (int i = 0; i < 3; ++i) testing_program::PressKeys(d, {XK_Control_L, XK_Shift_L, XK_Right});
    for (int i = 0; i < 2; ++i) testing_program::PressKeys(d, {XK_Control_L, XK_Shift_L, XK_Down});
    Seen scrolled = WaitFor(main, [&](const Seen& s) {
        return bothShown(s) && s.columns[0] != zoomed.columns[0] && s.rows[0] != zoomed.rows[0];
    });
    Save(scrolled, "scrolled");
    ASSERT_TRUE(bothShown(scrolled));
    EXPECT_NE(scrolled.columns[0], zoomed.columns[0]);
    EXPECT_NE(scrolled.rows[0], zoomed.rows[0]);
    ExpectLabelsMatchFrame(scrolled, "scrolled");

    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

TEST_F(RulersProgram, TheRulersStayForTheNextFileAndCountItsPixelsAtItsFit) {
    // A frame larger than the cell opens fitted: shown smaller than its size.
    ProgramRun program(RunFolder("run"), {files.File("large.fits")});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Source format", 20000)) << program.Log();
    Display* d = screen.display();
    auto lines = [](const Seen& s) { return s.columns.size() == 3u && s.rows.size() == 2u; };
    Seen first = WaitFor(main, lines);
    Save(first, "large");
    ASSERT_TRUE(lines(first)) << "the picture's lines are not in sight";
    ASSERT_LT(first.columns[1] - first.columns[0], 400);  // fitted: zoomed out

    testing_program::ClickAt(d, main, (first.columns[0] + first.columns[1]) / 2, (first.rows[0] + first.rows[1]) / 2);
    testing_program::PressKeys(d, {XK_equal});
    auto bothShown = [&](const Seen& s) { return s.topRuler >= 0 && s.leftRuler >= 0 && lines(s); };
    Seen fitted = WaitFor(main, bothShown);
    Save(fitted, "fitted");
    ASSERT_TRUE(bothShown(fitted)) << "no rulers after \"=\"";
    ExpectLabelsMatchFrame(fitted, "fitted", 400, 1);

    // The next file in the cell, handed to the running program as a user's second start
    // does: the rulers stay, and count the new frame's pixels at its own zoom.
    int status = -1;
    const std::string folder = RunFolder("run");
    testing_program::RunCommand("cd " + folder + " && XDG_CONFIG_HOME=" + folder + "/config XDG_RUNTIME_DIR=" + folder +
                                    "/run HOME=" + folder + "/home " ORVA_BINARY_DIR "/orva " + files.File("lines.fits") +
                                    " 2>&1",
                                &status);
    EXPECT_EQ(status, 0);
    Seen next = WaitFor(main, [&](const Seen& s) { return bothShown(s) && s.columns[1] - s.columns[0] == 100; });
    Save(next, "next");
    ASSERT_TRUE(bothShown(next)) << "no rulers for the next file";
    EXPECT_EQ(next.columns[1] - next.columns[0], 100);
    ExpectLabelsMatchFrame(next, "next file");

    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

}  // namespace
}  // namespace orva
