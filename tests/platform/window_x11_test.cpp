// Windows, GL and the event loop on a real X server (skipped without $DISPLAY).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/fd_watch.h"
#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/x11_backend.h"

namespace orva::platform {
namespace {

GlContext gContext = nullptr;
int gPaints = 0;
uint64_t gSentThread = 0;

LResult GlProc(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam) {
    switch (message) {
        case kWmCreate: {
            Hdc hdc = GetDC(hwnd);
            int format = ChoosePixelFormat(hdc, PixelFormatRequest{0, 24, 16, 0, true});
            if (format == 0 || !SetPixelFormat(hdc, format)) return -1;
            gContext = CreateGlContext(hdc);
            return gContext != nullptr && MakeGlCurrent(hdc, gContext) ? 0 : -1;
        }
        case kWmPaint: {
            PaintStruct paint;
            BeginPaint(hwnd, &paint);
            ++gPaints;
            EndPaint(hwnd, &paint);
            return 0;
        }
        case kWmUser + 1:
            gSentThread = CurrentThreadId();
            return 77;
        case kWmUser + 2:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

TEST(WindowX11Test, GlWindowClearsSwapsPaintsAndServesSendsAndWatchedFds) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    ASSERT_NE(RegisterWindowClass("XTEST", GlProc, kCsOwnDc), 0);
    const char title[] = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Privet" in Cyrillic
    Hwnd hwnd = CreateWindowEx(0, "XTEST", title, kWsPopup | kWsCaption | kWsSysMenu, 40, 40, 160, 120,
                               nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    Hdc hdc = GetDC(hwnd);
    PixelFormatInfo info;
    ASSERT_TRUE(DescribePixelFormat(hdc, GetPixelFormat(hdc), &info));
    EXPECT_TRUE(info.doubleBuffer);
    EXPECT_GE(info.colorBits, 24);
    EXPECT_TRUE(DisplayIsTrueColor());
    ShowWindow(hwnd, kSwShow);

    ASSERT_TRUE(MakeGlCurrent(hdc, gContext));
    EXPECT_EQ(CurrentGlContext(), gContext);
    glViewport(0, 0, 160, 120);
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char pixel[4] = {0, 0, 0, 0};
    glReadBuffer(GL_BACK);
    glReadPixels(80, 60, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_NEAR(pixel[0], 64, 1);
    EXPECT_NEAR(pixel[1], 128, 1);
    EXPECT_NEAR(pixel[2], 191, 1);
    EXPECT_TRUE(SwapBuffers(hdc));
    EXPECT_NE(GlGetProcAddress("glGenLists"), nullptr);

    // The title reaches the server as UTF-8.
    auto* display = static_cast<Display*>(X11Display());
    ASSERT_NE(display, nullptr);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, X11WindowOf(hwnd), XInternAtom(display, "_NET_WM_NAME", False), 0, 64, False,
                       AnyPropertyType, &type, &format, &count, &after, &data);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), count),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    XFree(data);

    // A message sent from another thread and a watched descriptor are served by the
    // blocked loop; the sender then ends it.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    std::atomic<int> handled{0};
    uint64_t handlerThread = 0;
    FdWatchAdd(pipeFds[0], [&](int fd) {
        char byte = 0;
        if (read(fd, &byte, 1) == 1) ++handled;
        handlerThread = CurrentThreadId();
    });
    LResult sent = 0;
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sent = SendMessage(hwnd, kWmUser + 1, 0, 0);
        char byte = 1;
        ssize_t written = write(pipeFds[1], &byte, 1);
        (void)written;
        while (handled.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        SendMessage(hwnd, kWmUser + 2, 0, 0);
    });
    SetTimer(hwnd, 1, 10000);  // a guard against hanging
    Msg msg;
    bool timedOut = false;
    while (GetMessage(&msg)) {
        if (msg.message == kWmTimer) {
            timedOut = true;
            break;
        }
        DispatchMessage(&msg);
    }
    other.join();
    FdWatchRemove(pipeFds[0]);
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(sent, 77);
    EXPECT_EQ(gSentThread, CurrentThreadId());
    EXPECT_EQ(handled.load(), 1);
    EXPECT_EQ(handlerThread, CurrentThreadId());
    EXPECT_GE(gPaints, 1);  // the window was exposed and painted

    MakeGlCurrent(nullptr, nullptr);
    DeleteGlContext(gContext);
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(IsWindow(hwnd));
    UnregisterWindowClass("XTEST");
}

std::vector<Msg> gAppEvents;  // WM_ACTIVATEAPP and WM_DISPLAYCHANGE as they came

LResult LimitsProc(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam) {
    if (message == kWmGetMinMaxInfo) {
        auto* info = reinterpret_cast<MinMaxInfo*>(lParam);
        info->minTrackSize = Point{150, 100};
        info->maxTrackSize = Point{500, 400};
        return 0;
    }
    if (message == kWmActivateApp || message == kWmDisplayChange) {
        gAppEvents.push_back(Msg{hwnd, message, wParam, lParam, 0, {}});
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

// Serves messages for `rounds` rounds of 5 ms, or until `count` application events came.
bool PumpUntil(size_t count, int rounds = 400) {
    for (int i = 0; i < rounds && gAppEvents.size() < count; ++i) {
        Msg msg;
        while (PeekMessage(&msg, true)) DispatchMessage(&msg);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return gAppEvents.size() >= count;
}

TEST(WindowX11Test, SizeHintsApplicationActivationAndScreenSize) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    ASSERT_NE(RegisterWindowClass("XLIMITS", LimitsProc, 0), 0);
    Hwnd hwnd = CreateWindowEx(0, "XLIMITS", "limits", kWsPopup | kWsCaption | kWsThickFrame, 30, 30, 300, 200,
                               nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    auto* display = static_cast<Display*>(X11Display());
    ASSERT_NE(display, nullptr);
    XSizeHints hints{};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(display, X11WindowOf(hwnd), &hints, &supplied));
    ASSERT_EQ(hints.flags & (PMinSize | PMaxSize), PMinSize | PMaxSize);
    EXPECT_EQ(hints.min_width, 150);  // no window manager: no frame between the two
    EXPECT_EQ(hints.min_height, 100);
    EXPECT_EQ(hints.max_width, 500);
    EXPECT_EQ(hints.max_height, 400);

    // Showing gives the window the focus: the application becomes active; the focus
    // given to no window ends that.
    gAppEvents.clear();
    ShowWindow(hwnd, kSwShow);
    ASSERT_TRUE(PumpUntil(1));
    EXPECT_EQ(gAppEvents[0].message, kWmActivateApp);
    EXPECT_EQ(gAppEvents[0].wParam, 1u);
    XSetInputFocus(display, None, RevertToNone, CurrentTime);
    XFlush(display);
    ASSERT_TRUE(PumpUntil(2));
    EXPECT_EQ(gAppEvents[1].message, kWmActivateApp);
    EXPECT_EQ(gAppEvents[1].wParam, 0u);

    // The root window's new size (as RandR reports it) reaches the windows and the metrics.
    int32_t width = GetSystemMetrics(kSmCxScreen), height = GetSystemMetrics(kSmCyScreen);
    auto resizeRoot = [&](int w, int h) {
        XEvent event{};
        event.xconfigure.type = ConfigureNotify;
        event.xconfigure.event = event.xconfigure.window = DefaultRootWindow(display);
        event.xconfigure.width = w;
        event.xconfigure.height = h;
        XSendEvent(display, DefaultRootWindow(display), False, StructureNotifyMask, &event);
        XFlush(display);
    };
    resizeRoot(1000, 700);
    ASSERT_TRUE(PumpUntil(3));
    EXPECT_EQ(gAppEvents[2].message, kWmDisplayChange);
    EXPECT_EQ(gAppEvents[2].lParam, MakeLParam(1000, 700));
    EXPECT_EQ(GetSystemMetrics(kSmCxScreen), 1000);
    EXPECT_EQ(GetSystemMetrics(kSmCyScreen), 700);
    resizeRoot(width, height);
    EXPECT_TRUE(PumpUntil(4));
    EXPECT_EQ(GetSystemMetrics(kSmCxScreen), width);
    DestroyWindow(hwnd);
    UnregisterWindowClass("XLIMITS");
}

// A window hidden and shown again at once (a menu moving to another owner; a top-level
// window shown again with activation) keeps the capture it takes again: the late notices
// of its own hide (UnmapNotify, and FocusOut when it held the focus) must not cancel it.
TEST(WindowX11Test, QuickHideAndShowKeepsTheNewCapture) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    static int cancels = 0;
    ASSERT_NE(RegisterWindowClass("XPOPUP",
                                  [](Hwnd h, uint32_t m, WParam w, LParam l) -> LResult {
                                      if (m == kWmCancelMode) ++cancels;
                                      return DefWindowProc(h, m, w, l);
                                  },
                                  0),
              0);
    auto pump = [] { PumpUntil(SIZE_MAX, 40); };  // 200 ms of messages
    for (bool activated : {false, true}) {
        SCOPED_TRACE(activated ? "top-level, activated" : "popup");
        const int show = activated ? kSwShow : kSwShowNoActivate;
        Hwnd hwnd = CreateWindowEx(0, "XPOPUP", "", activated ? kWsOverlapped : kWsPopup, 50, 50, 120, 80,
                                   nullptr, nullptr);
        ASSERT_NE(hwnd, nullptr);
        ShowWindow(hwnd, show);
        if (activated) {
            pump();
            ASSERT_EQ(GetActiveWindow(), hwnd);
        }
        cancels = 0;
        SetCapture(hwnd);
        ShowWindow(hwnd, kSwHide);
        ShowWindow(hwnd, show);
        SetCapture(hwnd);
        pump();
        EXPECT_EQ(cancels, 0);
        EXPECT_EQ(GetCapture(), hwnd);
        ReleaseCapture();
        DestroyWindow(hwnd);
    }
    UnregisterWindowClass("XPOPUP");
}

// The focus moving to the window that holds the capture (a press activated it and began
// a drag there) keeps the capture; the focus moving elsewhere ends it.
TEST(WindowX11Test, ActivatingTheCapturingWindowKeepsItsCapture) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    static int cancels = 0;
    ASSERT_NE(RegisterWindowClass("XDRAG",
                                  [](Hwnd h, uint32_t m, WParam w, LParam l) -> LResult {
                                      if (m == kWmCancelMode) ++cancels;
                                      return DefWindowProc(h, m, w, l);
                                  },
                                  0),
              0);
    auto pump = [] { PumpUntil(SIZE_MAX, 40); };
    Hwnd first = CreateWindowEx(0, "XDRAG", "", kWsOverlapped, 40, 40, 120, 80, nullptr, nullptr);
    Hwnd second = CreateWindowEx(0, "XDRAG", "", kWsOverlapped, 200, 40, 120, 80, nullptr, nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ShowWindow(first, kSwShow);
    ShowWindow(second, kSwShow);
    pump();
    ASSERT_EQ(GetActiveWindow(), second);
    cancels = 0;
    SetCapture(first);
    SetActiveWindow(first);
    pump();
    EXPECT_EQ(GetActiveWindow(), first);
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(GetCapture(), first);
    SetActiveWindow(second);
    pump();
    EXPECT_EQ(GetActiveWindow(), second);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(GetCapture(), nullptr);
    DestroyWindow(second);
    DestroyWindow(first);
    UnregisterWindowClass("XDRAG");
}

// A press activates its window and opens a menu there, whose popup (a window of its
// own, never activated) takes the capture: the notice of that activation, which comes
// after the grab, does not end it. A focus change asked for after the grab does.
TEST(WindowX11Test, AnActivationAskedBeforeTheGrabKeepsThePopupsCapture) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    static int cancels = 0;
    ASSERT_NE(RegisterWindowClass("XMENU",
                                  [](Hwnd h, uint32_t m, WParam w, LParam l) -> LResult {
                                      if (m == kWmCancelMode) ++cancels;
                                      return DefWindowProc(h, m, w, l);
                                  },
                                  0),
              0);
    auto pump = [] { PumpUntil(SIZE_MAX, 40); };
    Hwnd first = CreateWindowEx(0, "XMENU", "", kWsOverlapped, 40, 40, 120, 80, nullptr, nullptr);
    Hwnd second = CreateWindowEx(0, "XMENU", "", kWsOverlapped, 200, 40, 120, 80, nullptr, nullptr);
    Hwnd popup = CreateWindowEx(kWsExToolWindow | kWsExTopmost, "XMENU", "", kWsPopup, 60, 60, 80, 60, nullptr,
                                nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(popup, nullptr);
    ShowWindow(first, kSwShow);
    ShowWindow(second, kSwShow);
    pump();
    ASSERT_EQ(GetActiveWindow(), second);
    cancels = 0;
    SetActiveWindow(first);
    ShowWindow(popup, kSwShowNa);
    SetCapture(popup);
    pump();
    EXPECT_EQ(GetActiveWindow(), first);
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(GetCapture(), popup);
    SetActiveWindow(second);
    pump();
    EXPECT_EQ(GetActiveWindow(), second);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(GetCapture(), nullptr);
    DestroyWindow(popup);
    DestroyWindow(second);
    DestroyWindow(first);
    UnregisterWindowClass("XMENU");
}

// On the server too a raised window goes below the windows it owns, above the others.
TEST(WindowX11Test, ARaisedOwnerStaysBelowItsOwnedWindowsOnTheServer) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    ASSERT_NE(RegisterWindowClass("XOWNER", [](Hwnd h, uint32_t m, WParam w, LParam l) -> LResult {
                  return DefWindowProc(h, m, w, l);
              }, 0), 0);
    Hwnd owner = CreateWindowEx(0, "XOWNER", "", kWsOverlapped, 40, 40, 200, 150, nullptr, nullptr);
    Hwnd owned = CreateWindowEx(0, "XOWNER", "", kWsPopup, 60, 60, 80, 60, owner, nullptr);
    Hwnd other = CreateWindowEx(0, "XOWNER", "", kWsOverlapped, 50, 50, 200, 150, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    for (Hwnd h : {owner, owned, other}) ShowWindow(h, kSwShowNa);
    auto* d = static_cast<Display*>(X11Display());
    ASSERT_NE(d, nullptr);
    // Our windows, bottom first, as the server stacks them.
    auto stacking = [&] {
        XSync(d, False);
        std::vector<Hwnd> out;
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        if (XQueryTree(d, DefaultRootWindow(d), &root, &up, &children, &count)) {
            for (unsigned i = 0; i < count; ++i)
                if (Hwnd h = X11FindWindow(children[i]); h == owner || h == owned || h == other) out.push_back(h);
            XFree(children);
        }
        return out;
    };
    EXPECT_EQ(stacking(), (std::vector<Hwnd>{owner, owned, other}));
    ASSERT_TRUE(BringWindowToTop(owner));
    EXPECT_EQ(stacking(), (std::vector<Hwnd>{other, owner, owned}));
    DestroyWindow(other);
    DestroyWindow(owner);
    UnregisterWindowClass("XOWNER");
}

// The pointer warp moves the X pointer only while it lies over the window itself.
TEST(WindowX11Test, PointerWarpOnlyOverTheWindow) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    ASSERT_NE(RegisterWindowClass("XWARP", [](Hwnd h, uint32_t m, WParam w, LParam l) -> LResult {
                  return DefWindowProc(h, m, w, l);
              }, 0), 0);
    Hwnd hwnd = CreateWindowEx(0, "XWARP", "", kWsPopup | kWsVisible, 60, 70, 200, 150, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    auto* display = static_cast<Display*>(X11Display());
    const ::Window root = DefaultRootWindow(display);
    auto pointerAt = [&] {
        ::Window r = 0, c = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(display, root, &r, &c, &rx, &ry, &wx, &wy, &mask);
        return Point{rx, ry};
    };
    auto moveTo = [&](int x, int y) {
        XWarpPointer(display, None, root, 0, 0, 0, 0, x, y);
        XSync(display, False);
        PumpUntil(SIZE_MAX, 10);
    };
    PumpUntil(SIZE_MAX, 20);
    Point origin{0, 0};
    ASSERT_TRUE(ClientToScreen(hwnd, &origin));
    moveTo(origin.x + 100, origin.y + 100);
    EXPECT_TRUE(pointerWarp(hwnd, Point{7, 9}));
    Point now = pointerAt();
    EXPECT_EQ(now.x, origin.x + 7);
    EXPECT_EQ(now.y, origin.y + 9);
    Point cursor;
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x, origin.x + 7);
    // Outside the window the pointer stays where the user has it.
    moveTo(origin.x + 400, origin.y + 10);
    EXPECT_FALSE(pointerWarp(hwnd, Point{7, 9}));
    now = pointerAt();
    EXPECT_EQ(now.x, origin.x + 400);
    EXPECT_EQ(now.y, origin.y + 10);
    DestroyWindow(hwnd);
    UnregisterWindowClass("XWARP");
}

}  // namespace
}  // namespace orva::platform
