// The stacking of the program's windows as a user meets it on a display without a
// window manager: the program started on a FITS cube written by astropy, its main
// window's menu bar clicked with XTest. The first click on "View" after a start opens
// the menu and it stays open; closed again, the menu leaves the workspace's tool pages
// (child windows along the main window's top) shown, where a click on the transport
// page's play button reaches the page and starts playback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "program_window.h"
#include "road_files.h"
#include "test_support.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

constexpr const char* kToolPageTitle = "Workspace Layout";
// The "View" title of the main window's menu bar, in the main window.
constexpr int kViewX = 18, kViewY = 108;
// The play button of the transport page, in the page.
constexpr int kPlayX = 65, kPlayY = 64;

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The top-level windows (children of the root) of the process, bottom first as the
// server stacks them.
struct TopLevel {
    Window id = 0;
    std::string title;
    bool viewable = false;
    bool overrideRedirect = false;
    int x = 0, y = 0, width = 0, height = 0;
};

// The windows of `parent` (bottom first) that `keep` keeps.
template <class Keep>
std::vector<TopLevel> ChildrenOf(Display* d, Window parent, Keep keep) {
    std::vector<TopLevel> out;
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, parent, &root, &up, &children, &count)) return out;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (!keep(children[i]) || !XGetWindowAttributes(d, children[i], &a)) continue;
        TopLevel w;
        w.id = children[i];
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name != nullptr) {
            w.title = name;
            XFree(name);
        }
        w.viewable = a.map_state == IsViewable;
        w.overrideRedirect = a.override_redirect != False;
        w.x = a.x;
        w.y = a.y;
        w.width = a.width;
        w.height = a.height;
        out.push_back(w);
    }
    if (children != nullptr) XFree(children);
    return out;
}

std::vector<TopLevel> Stacking(Display* d, pid_t pid) {
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    return ChildrenOf(d, DefaultRootWindow(d),
                      [&](Window w) { return ProgramRun::WindowProcess(d, pidAtom, w) == pid; });
}

// The shown tool pages along the top of the main window.
std::vector<TopLevel> TopRowPages(Display* d, Window main) {
    std::vector<TopLevel> pages;
    for (const TopLevel& w : ChildrenOf(d, main, [](Window) { return true; }))
        if (w.viewable && w.title == kToolPageTitle && w.y == 0) pages.push_back(w);
    return pages;
}

// The shown menu popup (a window of the program the window manager never sees); null when none.
const TopLevel* ShownMenu(const std::vector<TopLevel>& stack) {
    for (const TopLevel& w : stack)
        if (w.viewable && w.overrideRedirect && w.width > 10 && w.height > 10) return &w;
    return nullptr;
}

int IndexOf(const std::vector<TopLevel>& stack, Window w) {
    for (size_t i = 0; i < stack.size(); ++i)
        if (stack[i].id == w) return static_cast<int>(i);
    return -1;
}

// The page's left edge in its parent.
int PageX(Display* d, Window page) {
    XWindowAttributes a{};
    return XGetWindowAttributes(d, page, &a) ? a.x : -1;
}

// The window of ours at the root point, as the server hands a click there.
Window TopLevelAt(Display* d, int x, int y) {
    int tx = 0, ty = 0;
    Window child = 0;
    XTranslateCoordinates(d, DefaultRootWindow(d), DefaultRootWindow(d), x, y, &tx, &ty, &child);
    return child;
}

Window Root(Display* d, Window w, int x, int y, int* rx, int* ry) {
    Window child = 0;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x, y, rx, ry, &child);
    return child;
}

void Click(Display* d, Window w, int x, int y) {
    int rx = 0, ry = 0;
    Root(d, w, x, y, &rx, &ry);
    XTestFakeMotionEvent(d, -1, rx, ry, CurrentTime);
    XSync(d, False);
    Pause(100);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
}

void Key(Display* d, KeySym key) {
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, key), True, CurrentTime);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, key), False, CurrentTime);
    XSync(d, False);
}

// Pixels of `a` and `b` (same size) whose colours differ.
int Changed(const Picture& a, const Picture& b) {
    int n = 0;
    for (int y = 0; y < a.height && y < b.height; ++y)
        for (int x = 0; x < a.width && x < b.width; ++x)
            if (a.At(x, y)[0] != b.At(x, y)[0] || a.At(x, y)[1] != b.At(x, y)[1] || a.At(x, y)[2] != b.At(x, y)[2])
                ++n;
    return n;
}

class WindowOrderProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
        if (!testing_program::HaveRoadTools()) GTEST_SKIP() << "astropy or numpy not installed";
        ASSERT_NE(screen_.display(), nullptr);
        int a, b, c, e;
        if (!XTestQueryExtension(screen_.display(), &a, &b, &c, &e)) GTEST_SKIP() << "no XTest";
        cube_ = files_.File("cube.fits");
        int status = -1;
        testing_program::RunCommand(ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
                                    "z, y, x = np.mgrid[0:40, 0:64, 0:64]; "
                                    "fits.PrimaryHDU((x + y + 10 * z).astype(np.int16)).writeto(\"" +
                                        cube_ + "\")' 2>&1",
                                    &status);
        ASSERT_EQ(status, 0);
    }

    // One start on the cube, until its main window and the transport page are up and the
    // start has settled; the main window and the page, 0 when they did not come.
    struct Started {
        Window main = 0, transport = 0;
    };
    Started Start(ProgramRun& program) {
        Started s;
        Display* d = screen_.display();
        s.main = screen_.WaitForWindow(testing_program::kMainWindowTitle, 20000);
        if (s.main == 0 || !program.WaitForLog("Source format", 20000)) return s;
        // The four tool pages along the main window's top: the transport page is the widest.
        for (int waited = 0; waited < 10000 && s.transport == 0; waited += 50) {
            int widest = 0, pages = 0;
            Window wider = 0;
            for (const TopLevel& w : TopRowPages(d, s.main)) {
                ++pages;
                if (w.width > widest) {
                    widest = w.width;
                    wider = w.id;
                }
            }
            if (pages == 4) {
                s.transport = wider;
            } else {
                Pause(50);
            }
        }
        // The chart window comes up last; then the pages are raised over the main window.
        screen_.WaitForWindow("Chart Tools", 10000);
        Pause(1000);
        return s;
    }

    Screen screen_;
    testing_util::TempFolder files_;
    std::string cube_;
};

// Clicked right after a start, "View" opens its menu every time: the notice that the
// click activated the main window, which comes after the menu took the pointer, must
// not close it again.
TEST_F(WindowOrderProgram, TheFirstClickOnViewOpensTheMenuAtEveryStart) {
    Display* d = screen_.display();
    for (int start = 0; start < 4; ++start) {
        SCOPED_TRACE("start " + std::to_string(start + 1));
        const std::string folder = files_.File("run" + std::to_string(start));
        mkdir(folder.c_str(), 0700);
        ProgramRun program(folder, {cube_});
        const Started s = Start(program);
        ASSERT_NE(s.main, 0u) << program.Log();
        ASSERT_NE(s.transport, 0u);
        ASSERT_EQ(ShownMenu(Stacking(d, program.Pid())), nullptr);
        Click(d, s.main, kViewX, kViewY);
        // The menu maps, then goes over every window.
        std::vector<TopLevel> stack;
        testing_util::WaitUntil([&] {
            stack = Stacking(d, program.Pid());
            const TopLevel* menu = ShownMenu(stack);
            if (menu == nullptr) return false;
            for (const TopLevel& w : stack)
                if (w.viewable && !w.overrideRedirect && IndexOf(stack, w.id) > IndexOf(stack, menu->id)) return false;
            return true;
        });
        const TopLevel* menu = ShownMenu(stack);
        ASSERT_NE(menu, nullptr) << "no menu after the first click";
        // Over every other window, right of the title it drops from.
        for (const TopLevel& w : stack) {
            if (w.viewable && !w.overrideRedirect) {
                EXPECT_LT(IndexOf(stack, w.id), IndexOf(stack, menu->id)) << w.title;
            }
        }
        int rx = 0, ry = 0;
        Root(d, s.main, kViewX, kViewY, &rx, &ry);
        EXPECT_GT(menu->x, rx);
        EXPECT_LE(std::abs(menu->y - ry), 30);
        EXPECT_EQ(program.End(), 0);
    }
}

// A menu opened and closed again leaves the tool pages above the main window; the play
// button of the transport page then takes the click.
TEST_F(WindowOrderProgram, AClosedMenuLeavesTheToolPagesAboveTheMainWindow) {
    Display* d = screen_.display();
    const std::string folder = files_.File("run");
    mkdir(folder.c_str(), 0700);
    ProgramRun program(folder, {cube_});
    const Started s = Start(program);
    ASSERT_NE(s.main, 0u) << program.Log();
    ASSERT_NE(s.transport, 0u);

    auto pagesAbove = [&](const char* when) { EXPECT_EQ(TopRowPages(d, s.main).size(), 4u) << when; };
    pagesAbove("after the start");
    for (bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "closed with Escape" : "closed by a click on its title");
        Click(d, s.main, kViewX, kViewY);
        ASSERT_TRUE(testing_util::WaitUntil([&] { return ShownMenu(Stacking(d, program.Pid())) != nullptr; }));
        // A second click within the double-click time would be a double click.
        Pause(500);
        if (byKey) {
            Key(d, XK_Escape);
        } else {
            Click(d, s.main, kViewX, kViewY);
        }
        ASSERT_TRUE(testing_util::WaitUntil([&] { return ShownMenu(Stacking(d, program.Pid())) == nullptr; }));
        pagesAbove("after the menu closed");
    }

    // The play button is the page's own at the screen: a click there starts playback,
    // which presses the button and moves the page's progress bar.
    int rx = 0, ry = 0;
    Root(d, s.transport, kPlayX, kPlayY, &rx, &ry);
    ASSERT_EQ(TopLevelAt(d, rx, ry), s.main);
    // …and in it, the transport page (standing at the window's top).
    int tx = 0, ty = 0;
    Window child = 0;
    XTranslateCoordinates(d, s.main, s.main, kPlayX + PageX(d, s.transport), kPlayY, &tx, &ty, &child);
    ASSERT_EQ(child, s.transport);
    // The button (its glyph turns from play to stop) and the progress bar above the
    // button row, before and after the click.
    Picture button[2], progress[2];
    ASSERT_TRUE(screen_.Grab(s.transport, &button[0], kPlayX - 8, kPlayY - 6, 16, 12));
    ASSERT_TRUE(screen_.Grab(s.transport, &progress[0], 0, kPlayY - 24, 120, 8));
    Click(d, s.transport, kPlayX, kPlayY);
    testing_util::WaitUntil([&] {
        return screen_.Grab(s.transport, &button[1], kPlayX - 8, kPlayY - 6, 16, 12) &&
               screen_.Grab(s.transport, &progress[1], 0, kPlayY - 24, 120, 8) &&
               Changed(button[0], button[1]) > 10 && Changed(progress[0], progress[1]) > 10;
    });
    EXPECT_GT(Changed(button[0], button[1]), 10);
    EXPECT_GT(Changed(progress[0], progress[1]), 10);
    pagesAbove("after the play click");
    EXPECT_EQ(program.End(), 0);
}

}  // namespace
}  // namespace orva
