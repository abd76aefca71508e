// Windows, GL and the event loop on a real X server (skipped without $DISPLAY).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

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

}  // namespace
}  // namespace orva::platform
