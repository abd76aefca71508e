#pragma once
// What the toolkit tests on a real X server share: serving the message queue, pixels
// read back from a window's back buffer before the swap, synthetic pointer and key
// events (XTest), and the toolkit's start and end around a test.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/x11_backend.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#define ORVA_SKIP_WITHOUT_DISPLAY() \
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display"

namespace orva::testing_util {

// With ORVA_SCREENSHOTS set, the whole screen as <name>.png in that folder (ImageMagick's
// import), to look at.
inline void Shot(const std::string& name) {
    const char* dir = std::getenv("ORVA_SCREENSHOTS");
    if (dir == nullptr) return;
    std::string command = "import -window root " + std::string(dir) + "/" + name + ".png";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "no screenshot: " << command;
}

// Dispatches what the queue holds now (at most 50 messages).
inline void DispatchQueued() {
    platform::Msg msg;
    for (int i = 0; i < 50 && platform::PeekMessage(&msg, true); ++i) platform::DispatchMessage(&msg);
}

// Dispatches messages until `done` holds or `ms` milliseconds have passed.
inline void PumpUntil(const std::function<bool()>& done, int ms = 2000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    platform::Msg msg;
    while (std::chrono::steady_clock::now() < end) {
        while (platform::PeekMessage(&msg, true)) platform::DispatchMessage(&msg);
        if (done()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
inline bool Near(Rgb a, Rgb b, int tolerance = 2) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}
// The same as a check that names both colours when they differ.
inline ::testing::AssertionResult RgbNear(Rgb got, Rgb want, int tolerance = 2) {
    if (Near(got, want, tolerance)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got << ", want " << want << " within " << tolerance;
}
// A 7-bit colour entry as the 8-bit value GL gives it (c * 255 / 127).
inline Rgb Shade(const uint8_t rgb[3]) {
    auto v = [](int c) { return static_cast<int>(std::lround(c * 255.0 / 127.0)); };
    return {v(rgb[0]), v(rgb[1]), v(rgb[2])};
}

// The window's background colour as 8-bit channels.
inline Rgb Background(const gWindow* window) {
    auto v = [&](int c) { return static_cast<int>(std::lround(window->colours.background[c] * 255.0)); };
    return {v(0), v(1), v(2)};
}

// The back-buffer pixel at (x, y) of the window, y counted from its top.
inline Rgb PixelAt(const gWindow* window, int x, int y) {
    unsigned char p[3] = {};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, window->clientHeight - 1 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}
// The back-buffer pixel at a point of an element's corner frame: x runs from the right
// edge in right-hand slots, y from the bottom edge in bottom slots.
inline Rgb WidgetPixel(const gWindow* window, const gElement* e, float fx, float fy) {
    int x = static_cast<int>(std::floor(fx)), y = static_cast<int>(std::floor(fy));
    int col = (e->style & kWsRight) ? window->clientWidth - 1 - x : x;
    return PixelAt(window, col, (e->style & kWsBottom) ? window->clientHeight - 1 - y : y);
}
// The whole back buffer, rows bottom first, in `format` (GL_RGB or GL_RED).
inline std::vector<uint8_t> ReadBack(const gWindow* window, GLenum format = GL_RGB) {
    size_t channels = format == GL_RGB ? 3 : 1;
    std::vector<uint8_t> out(static_cast<size_t>(window->clientWidth) * window->clientHeight * channels);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, window->clientWidth, window->clientHeight, format, GL_UNSIGNED_BYTE, out.data());
    return out;
}
// What the X server shows: pixels read with XGetImage, rows top first.
struct ScreenImage {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Writes the image as a binary PPM (for a look at it after a failure).
    bool SavePpm(const std::string& path) const {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return false;
        std::fprintf(f, "P6\n%d %d\n255\n", width, height);
        for (const Rgb& p : pixels) {
            unsigned char rgb[3] = {static_cast<unsigned char>(p.r), static_cast<unsigned char>(p.g),
                                    static_cast<unsigned char>(p.b)};
            std::fwrite(rgb, 1, 3, f);
        }
        return std::fclose(f) == 0;
    }
};
// The pixels of an X window (the root window for 0) as they are on the screen; empty when
// the window is not viewable.
inline ScreenImage ReadScreen(Display* display, Window xid) {
    ScreenImage out;
    if (xid == 0) xid = DefaultRootWindow(display);
    XSync(display, False);
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, xid, &a) || a.map_state != IsViewable) return out;
    XImage* image = XGetImage(display, xid, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    if (image == nullptr) return out;
    auto channel = [](unsigned long pixel, unsigned long mask) {
        if (mask == 0) return 0;
        int shift = __builtin_ctzl(mask);
        unsigned long max = mask >> shift;
        return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
    };
    out.width = a.width;
    out.height = a.height;
    out.pixels.reserve(static_cast<size_t>(a.width) * a.height);
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            unsigned long p = XGetPixel(image, x, y);
            out.pixels.push_back({channel(p, image->red_mask), channel(p, image->green_mask),
                                  channel(p, image->blue_mask)});
        }
    }
    XDestroyImage(image);
    return out;
}

// An orthographic frame of the given edges over the viewport, no model transform.
inline void OrthoProjection(double left, double right, double bottom, double top) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
// Paints the whole window into its back buffer as a redraw does (no swap).
inline void PaintWindow(gWindow* window) {
    EXPECT_TRUE(gWinMakeCurrent(window));
    glViewport(0, 0, window->clientWidth, window->clientHeight);
    gWinPaint(window);
}

// A plain rectangle over the widget's box: what the pick pass sees.
inline void PaintBox(gElement* e) {
    glColor3f(0.5f, 0.5f, 0.5f);
    glRectf(e->x, e->y, e->x + e->width, e->y + e->height);
}
// A button in the window's slot drawn as a plain box, clicked at the release, not
// dragged.
inline gElement* AddBox(gWindow* window, float w, float h, decltype(gElement::onClick) onClick) {
    gWgtTemplate t{.desc = {.kind = 37, .style = kWsSlotFromWindow | kWsLeft, .width = w, .height = h}};
    gElement* e = gWgtAdd(window, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->paint = PaintBox;
    e->style = (e->style & kWsSlotBits) | 0x10000000;  // click at release
    e->onClick = onClick;
    e->onPress = nullptr;
    e->dragFlags = 0;
    return e;
}
// Puts a box where the test wants it (the layout at the opening moves it).
inline void PutBox(gElement* e, float x, float y, float w, float h) {
    e->x = e->homeX = x;
    e->y = e->homeY = y;
    e->width = e->cellWidth = w;
    e->height = e->cellHeight = h;
}

// A framed window with a system menu, the kind most tests draw into.
inline gWindow* NewFrame(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t extraStyle = 0) {
    return gWinCreateRec(x, y, w, h, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu | extraStyle);
}
// Starts the toolkit and makes such a window; nullptr when either fails.
inline gWindow* InitWithFrame(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t extraStyle = 0) {
    return gInit() != nullptr ? NewFrame(x, y, w, h, extraStyle) : nullptr;
}
// Opens the window shown and serves what the opening queued.
inline bool OpenShown(gWindow* window, const char* title) {
    if (!gWinOpen(window, title, kStyleShown)) return false;
    DispatchQueued();
    return true;
}
// Ends the toolkit as the program does: windows closed, the loop run out, shut down.
inline void CloseToolkit() {
    gUiCloseQuiet(nullptr);
    gMessageLoop(0);
    gShutdown();
}

// Synthetic input through the X server, as a user's would arrive.
inline Display* XDisplay() { return static_cast<Display*>(platform::X11Display()); }
inline void FakeButton(bool down) {
    XTestFakeButtonEvent(XDisplay(), 1, down ? True : False, CurrentTime);
    XSync(XDisplay(), False);
}
inline void FakeKey(KeySym keysym, bool down) {
    XTestFakeKeyEvent(XDisplay(), XKeysymToKeycode(XDisplay(), keysym), down ? True : False, CurrentTime);
    XSync(XDisplay(), False);
}
// Moves the pointer to a screen point and serves the queue for `settleMs`.
inline void FakeMotion(int x, int y, int settleMs = 40) {
    // The server reports no motion to where the pointer already is (an earlier test may
    // have left it there): it steps aside first.
    Window root = 0, child = 0;
    int rootX = -1, rootY = -1, winX = 0, winY = 0;
    unsigned int mask = 0;
    if (XQueryPointer(XDisplay(), DefaultRootWindow(XDisplay()), &root, &child, &rootX, &rootY, &winX, &winY, &mask) &&
        rootX == x && rootY == y) {
        XTestFakeMotionEvent(XDisplay(), -1, x > 0 ? x - 1 : x + 1, y, CurrentTime);
        XSync(XDisplay(), False);
        PumpFor(10);
    }
    XTestFakeMotionEvent(XDisplay(), -1, x, y, CurrentTime);
    XSync(XDisplay(), False);
    PumpFor(settleMs);
}
// The same for a point of the window's client area.
inline void FakeMotionIn(const gWindow* window, int x, int y, int settleMs = 40) {
    platform::Point p{x, y};
    platform::ClientToScreen(window->hwnd, &p);
    FakeMotion(p.x, p.y, settleMs);
}
// Gives the window the keyboard focus and lets it settle.
inline void FocusWindow(const gWindow* window) {
    XSetInputFocus(XDisplay(), platform::X11WindowOf(window->hwnd), RevertToParent, CurrentTime);
    XSync(XDisplay(), False);
    PumpFor(100);
}

}  // namespace orva::testing_util
