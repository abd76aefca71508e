// Input routing under a real X server: synthetic pointer and key events (XTest) reach the
// widgets through the window procedure; picking, releases, auto-repeat, the close key
// and the key translation end to end. Skipped without $DISPLAY.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/x11_backend.h"
#include "platform/x11_keys.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orva {
namespace {

constexpr uint32_t kClickAtRelease = 0x10000000;

int gClicks = 0;
int gPresses = 0;
void CountClick(gElement*, uintptr_t) { ++gClicks; }
bool CountPress(gElement*, uintptr_t) {
    ++gPresses;
    return true;
}

// A plain rectangle over the widget's box: what the pick pass sees.
void RectPaint(gElement* e) {
    glColor3f(0.5f, 0.5f, 0.5f);
    glRectf(e->x, e->y, e->x + e->width, e->y + e->height);
}

// The press as the press code does it for these tests: value, press handler, repeat.
int TestPress(gWindow*, gElement* e, int) {
    e->value = 1;
    if (e->onPress != nullptr) e->onPress(e, e->handlerData);
    if (e->style & 0x8000000) gSetRepeatWidget(e);
    return 0;
}

struct KeySeen {
    gKeyCode code;
    uint32_t character, repeat;
};
std::vector<KeySeen> gDowns, gUps;
bool RecordDown(gWindow*, gWindow*, void* key) {
    auto* k = static_cast<gKeyEvent*>(key);
    gDowns.push_back({k->code, k->character, k->repeat});
    return true;
}
bool RecordUp(gWindow*, void* key) {
    auto* k = static_cast<gKeyUpRecord*>(key);
    gUps.push_back({k->code, k->character, 0});
    return false;
}
int gWidgetKeys = 0;
int WidgetKey(gElement*, const gKeyEvent*) {
    ++gWidgetKeys;
    return 1;
}
int gCloses = 0;
bool CountClose(gWindow*, void*) {
    ++gCloses;
    return false;  // keep the window for the rest of the test
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
        ASSERT_NE(gInit(), nullptr);
        saved_ = gInput();
        gInput() = gInputHooks{};
        gInput().press = TestPress;
        gClicks = gPresses = gWidgetKeys = gCloses = 0;
        gDowns.clear();
        gUps.clear();
        window = gWinCreateRec(40, 40, 300, 200, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        ASSERT_NE(window, nullptr);
        gWinCurrentSlot(window, 0x24000 | kWsSlotFromWindow);  // top-left, y downwards
        a = Add(10, 10, 60, 30);
        b = Add(40, 20, 60, 30);  // overlaps a in x 40..70, y 20..40
        ASSERT_TRUE(gWinOpen(window, "Input", kStyleShown));
        display = static_cast<Display*>(platform::X11Display());
        ASSERT_NE(display, nullptr);
        Pump([] { return false; }, 300);
        XSetInputFocus(display, platform::X11WindowOf(window->hwnd), RevertToParent, CurrentTime);
        XSync(display, False);
        Pump([] { return false; }, 100);
    }
    void TearDown() override {
        if (display != nullptr) {
            XTestFakeButtonEvent(display, 1, False, CurrentTime);
            XSync(display, False);
        }
        gShutdown();
        gInput() = saved_;
    }
    gElement* Add(float x, float y, float w, float h) {
        gWgtTemplate t;
        t.desc.kind = 37;
        t.desc.style = kWsSlotFromWindow | kWsLeft;
        t.desc.width = w;
        t.desc.height = h;
        gElement* e = gWgtAdd(window, nullptr, &t, 0);
        if (e == nullptr) return nullptr;
        e->paint = RectPaint;
        e->style = (e->style & kWsSlotBits) | kClickAtRelease;
        e->onClick = CountClick;
        e->onPress = nullptr;
        e->dragFlags = 0;
        placed.push_back({e, x, y, w, h});
        return e;
    }
    // The layout runs at the opening; the boxes are put back where the test wants them.
    void Place() {
        for (auto& p : placed) {
            p.e->x = p.e->homeX = p.x;
            p.e->y = p.e->homeY = p.y;
            p.e->width = p.e->cellWidth = p.w;
            p.e->height = p.e->cellHeight = p.h;
        }
    }
    void Pump(const std::function<bool()>& done, int ms = 2000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        platform::Msg msg;
        while (std::chrono::steady_clock::now() < end) {
            while (platform::PeekMessage(&msg, true)) platform::DispatchMessage(&msg);
            if (done()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    void MoveTo(int x, int y) {
        platform::Point p{x, y};
        platform::ClientToScreen(window->hwnd, &p);
        XTestFakeMotionEvent(display, -1, p.x, p.y, CurrentTime);
        XSync(display, False);
        Pump([] { return false; }, 30);
    }
    void Button(bool down) {
        XTestFakeButtonEvent(display, 1, down ? True : False, CurrentTime);
        XSync(display, False);
    }
    void Key(KeySym keysym, bool down) {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), down ? True : False, CurrentTime);
        XSync(display, False);
    }

    struct Placed {
        gElement* e;
        float x, y, w, h;
    };
    std::vector<Placed> placed;
    gWindow* window = nullptr;
    gElement* a = nullptr;
    gElement* b = nullptr;
    Display* display = nullptr;
    gInputHooks saved_;
};

TEST_F(InputTest, PickPrefersTheEarlierWidgetAndSkipsUnpickable) {
    Place();
    ASSERT_TRUE(gWinMakeCurrent(window));
    EXPECT_EQ(gPick(window, 20, 15), a);
    EXPECT_EQ(gPick(window, 90, 45), b);
    EXPECT_EQ(gPick(window, 50, 30), a);  // both: the earlier in the list
    EXPECT_EQ(gPick(window, 200, 150), nullptr);
    a->shown = 0;
    EXPECT_EQ(gPick(window, 50, 30), b);
    a->shown = 1;
    a->enabled = 0;
    b->dead = 1;
    EXPECT_EQ(gPick(window, 50, 30), nullptr);
    a->enabled = 1;
    b->dead = 0;
}

TEST_F(InputTest, ClickRunsOnceAndReleaseOutsideDoesNot) {
    Place();
    MoveTo(20, 15);
    Button(true);
    Pump([] { return gPressedWidget != nullptr; });
    EXPECT_EQ(gPressedWidget, a);
    EXPECT_EQ(a->value, 1u);
    Button(false);
    Pump([] { return gClicks > 0; });
    Pump([] { return false; }, 100);
    EXPECT_EQ(gClicks, 1);
    EXPECT_EQ(a->value, 0u);
    EXPECT_EQ(gPressedWidget, nullptr);
    // Pressed on a, released on a free spot: no click.
    Button(true);
    Pump([] { return gPressedWidget != nullptr; });
    MoveTo(250, 150);
    Button(false);
    Pump([] { return gPressedWidget == nullptr; });
    Pump([] { return false; }, 100);
    EXPECT_EQ(gClicks, 1);
    EXPECT_EQ(a->value, 0u);
    EXPECT_EQ(a->highlight, 0);
}

TEST_F(InputTest, HeldPressRepeatsFromTheSixthTick) {
    Place();
    a->style = (a->style & ~kClickAtRelease) | 0x20000000 | 0x8000000;  // repeats, no click at release
    a->onPress = CountPress;
    // The ticks come from the test alone.
    platform::KillTimer(gTrackTimer(), kTrackTimerId);
    MoveTo(20, 15);
    Button(true);
    Pump([] { return gPresses > 0; });
    ASSERT_EQ(gPresses, 1);
    ASSERT_EQ(gRepeatWidget, a);
    std::vector<int> after;
    for (int tick = 1; tick <= 8; ++tick) {
        gWinOnTimer(window->hwnd, kTrackTimerId);
        after.push_back(gPresses);
    }
    EXPECT_EQ(after, (std::vector<int>{1, 1, 1, 1, 1, 2, 3, 4}));
    EXPECT_EQ(gRepeatStep, 15);
    Button(false);
    Pump([] { return gRepeatWidget == nullptr && gPressedWidget == nullptr; });
    EXPECT_EQ(gRepeatWidget, nullptr);
    gWinOnTimer(window->hwnd, kTrackTimerId);
    EXPECT_EQ(gPresses, 4);
}

TEST_F(InputTest, CloseKeyClosesAndReachesNoWidget) {
    Place();
    window->closeKey = kKeyEscape;
    window->closeHandler = CountClose;
    window->keyDownHandler = RecordDown;
    gWgtSetKeyHandler(a, WidgetKey);
    gPressedWidget = a;
    Key(XK_Escape, true);
    Key(XK_Escape, false);
    Pump([] { return gCloses > 0; });
    EXPECT_EQ(gCloses, 1);
    EXPECT_EQ(gWidgetKeys, 0);
    EXPECT_TRUE(gDowns.empty());
    // Another key goes to the pressed widget's key handler.
    Key(XK_F5, true);
    Key(XK_F5, false);
    Pump([] { return gWidgetKeys > 1; });
    EXPECT_EQ(gWidgetKeys, 2);            // its key-down and, as the key-press widget, its key-up
    EXPECT_EQ(gKeyPressWidget, nullptr);  // forgotten once it took the key-up
    gPressedWidget = nullptr;
}

TEST_F(InputTest, KeysArriveTranslated) {
    window->keyDownHandler = RecordDown;
    window->keyUpHandler = RecordUp;
    auto waitDowns = [](size_t n) { return [n] { return gDowns.size() >= n; }; };
    Key(XK_Right, true);
    Key(XK_Right, false);
    Key(XK_KP_Right, true);  // NumLock off: the keypad arrow, not extended
    Key(XK_KP_Right, false);
    Key(XK_Control_R, true);
    Key(XK_a, true);
    Key(XK_a, false);
    Key(XK_Control_R, false);
    Key(XK_Delete, true);
    Key(XK_Delete, false);
    Pump(waitDowns(5));
    ASSERT_GE(gDowns.size(), 5u);
    EXPECT_EQ(gDowns[0].code, kKeyRight | kKeyExtended);
    EXPECT_EQ(gDowns[0].character, 0u);
    EXPECT_EQ(gDowns[1].code, kKeyRight);
    EXPECT_EQ(gDowns[2].code, kKeyCtrlR | kKeyExtended);  // right Ctrl alone
    EXPECT_EQ(gDowns[3].code, kKeyCtrlR | 'A');
    EXPECT_EQ(gDowns[3].character, 1u);  // Ctrl+A
    EXPECT_EQ(gDowns[4].code, kKeyDelete | kKeyExtended);
    EXPECT_EQ(gDowns[4].character, 127u);
    ASSERT_GE(gUps.size(), 4u);
    EXPECT_EQ(gUps[0].code, kKeyRight | kKeyExtended);
    // A held key repeats (the server's auto-repeat) as presses alone, the later ones
    // with their repeat count, and one release at the end.
    gDowns.clear();
    gUps.clear();
    XAutoRepeatOn(display);
    Key(XK_c, true);
    Pump([] { return false; }, 1200);
    Key(XK_c, false);
    Pump([] { return !gUps.empty(); });
    ASSERT_GE(gDowns.size(), 2u);
    EXPECT_EQ(gDowns[0].repeat, 0u);
    EXPECT_EQ(gDowns[1].repeat, 1u);
    EXPECT_EQ(gDowns[1].code, uint32_t{'C'});
    EXPECT_EQ(gDowns[1].character, uint32_t{'c'});
    EXPECT_EQ(gUps.size(), 1u);
}

}  // namespace
}  // namespace orva
