// The viewer that shows the log, found by its title among the windows of other programs on
// the test's X display: raised when LOG is pressed again, asked to close at the end.
#include "platform/viewer_windows.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace orva::platform {
namespace {

TEST(ViewerWindows, TitlesThatNameTheFile) {
    const std::string log = "/home/u/.config/ZEL Lab/orva.log";
    for (const char* title : {"orva.log - Text Editor", "orva.log (~/.config/ZEL Lab) - VIM", "*orva.log",
                              "/home/u/.config/ZEL Lab/orva.log", "vi \"orva.log\"", "orva.log.", "[orva.log]"})
        EXPECT_TRUE(TitleNamesFile(title, log)) << title;
    // Another instance's log, a longer name, another extension, nothing.
    for (const char* title : {"orva2.log - Text Editor", "myorva.log", "orva.log2", "orva.log.bak", "orva", ""})
        EXPECT_FALSE(TitleNamesFile(title, log)) << title;
}

// A window of "another program" (a connection of the test's own) titled `title`, taking
// WM_DELETE_WINDOW as editors do.
struct OtherWindow {
    Display* d = XOpenDisplay(nullptr);
    Window w = 0;
    Atom deleteWindow = 0;
    explicit OtherWindow(const char* title) {
        if (d == nullptr) return;
        w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 200, 100, 0, 0, 0);
        XStoreName(d, w, title);
        deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(d, w, &deleteWindow, 1);
        XMapWindow(d, w);
        XSync(d, False);
    }
    ~OtherWindow() {
        if (d != nullptr) XCloseDisplay(d);
    }
    // Whether the window was asked to close, waiting for the request to come.
    bool AskedToClose() {
        for (int waited = 0; waited < 10000; waited += 20) {
            while (XPending(d) > 0) {
                XEvent e;
                XNextEvent(d, &e);
                if (e.type == ClientMessage && e.xclient.window == w &&
                    static_cast<Atom>(e.xclient.data.l[0]) == deleteWindow)
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

TEST(ViewerWindows, TheViewerOfTheLogIsFoundRaisedAndAskedToClose) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') GTEST_SKIP() << "no X display";
    const std::string log = "/tmp/x/orva.log";
    EXPECT_FALSE(RaiseWindowShowing(log));
    EXPECT_FALSE(CloseWindowShowing(log));
    OtherWindow other("orva2.log - viewer");
    OtherWindow viewer("orva.log (/tmp/x) - viewer");
    ASSERT_NE(viewer.w, 0u);
    EXPECT_TRUE(RaiseWindowShowing(log));
    EXPECT_TRUE(CloseWindowShowing(log));
    EXPECT_TRUE(viewer.AskedToClose());
    EXPECT_FALSE(CloseWindowShowing("/tmp/x/orva3.log"));
}

}  // namespace
}  // namespace orva::platform
