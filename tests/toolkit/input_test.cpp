// Input routing under a real X server: synthetic pointer and key events (XTest) reach the
// widgets through the window procedure; picking, releases, auto-repeat, the close key
// and the key translation end to end. Skipped without $DISPLAY.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "gl_test_support.h"
#include "platform/x11_keys.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orva {
namespace {

using namespace testing_util;

constexpr uint32_t kClickAtRelease = 0x10000000;

int gClicks = 0;
int gPresses = 0;
void CountClick(gElement*, uintptr_t) { ++gClicks; }
bool CountPress(gElement*, uintptr_t) {
    ++gPresses;
    return true;
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
        ORVA_SKIP_WITHOUT_DISPLAY();
        ASSERT_NE(gInit(), nullptr);
        saved_ = gInput();
        gInput() = gInputHooks{};
        gInput().press = TestPress;
        gClicks = gPresses = gWidgetKeys = gCloses = 0;
        gDowns.clear();
        gUps.clear();
        window = NewFrame(40, 40, 300, 200);
        ASSERT_NE(window, nullptr);
        gWinCurrentSlot(window, 0x24000 | kWsSlotFromWindow);  // top-left, y downwards
        a = AddBox(window, 60, 30, CountClick);
        b = AddBox(window, 60, 30, CountClick);
        ASSERT_TRUE(gWinOpen(window, "Input", kStyleShown));
        display = XDisplay();
        ASSERT_NE(display, nullptr);
        PumpFor(300);
        FocusWindow(window);
        // The layout ran at the opening; the boxes go back where the tests want them.
        PutBox(a, 10, 10, 60, 30);
        PutBox(b, 40, 20, 60, 30);  // overlaps a in x 40..70, y 20..40
    }
    void TearDown() override {
        if (display != nullptr) FakeButton(false);
        gShutdown();
        gInput() = saved_;
    }
    void MoveTo(int x, int y) { FakeMotionIn(window, x, y, 30); }
    static void Tap(KeySym keysym) {
        FakeKey(keysym, true);
        FakeKey(keysym, false);
    }

    gWindow* window = nullptr;
    gElement* a = nullptr;
    gElement* b = nullptr;
    Display* display = nullptr;
    gInputHooks saved_;
};

TEST_F(InputTest, PickPrefersTheEarlierWidgetAndSkipsUnpickable) {
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

// The heap the process holds, small blocks and mapped ones together.
size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// Picks between paints that use up the renderer's immediate-mode vertex buffer (half a
// megabyte, renewed when full): a pick drawn from that buffer would keep each renewed
// one alive, 20 MB over these 40 rounds.
TEST_F(InputTest, RepeatedPicksBetweenLargePaintsKeepTheHeapFlat) {
    ASSERT_TRUE(gWinMakeCurrent(window));
    a->paint = b->paint = gPaintRaisedPlain;
    auto round = [this] {
        EXPECT_EQ(gPick(window, 20, 15), a);
        glBegin(GL_QUADS);
        for (int i = 0; i < 6000; ++i) {
            const float x = static_cast<float>(i % 300);
            glColor3f(0.2f, 0.4f, static_cast<float>(i % 7) / 7.0f);
            glVertex3f(x, 0.0f, 0.0f);
            glVertex3f(x + 1.0f, 0.0f, 0.0f);
            glVertex3f(x + 1.0f, 1.0f, 0.0f);
            glVertex3f(x, 1.0f, 0.0f);
        }
        glEnd();
        glFinish();
    };
    for (int i = 0; i < 4; ++i) round();
    const size_t before = HeapInUse();
    for (int i = 0; i < 40; ++i) round();
    const size_t after = HeapInUse();
    EXPECT_LT(after, before + (4u << 20)) << "before " << before << ", after " << after;
}

TEST_F(InputTest, ClickRunsOnceAndReleaseOutsideDoesNot) {
    MoveTo(20, 15);
    FakeButton(true);
    PumpUntil([] { return gPressedWidget != nullptr; });
    EXPECT_EQ(std::tuple(gPressedWidget, a->value), std::tuple(a, 1u));
    FakeButton(false);
    PumpUntil([] { return gClicks > 0; });
    PumpFor(100);
    EXPECT_EQ(std::tuple(gClicks, a->value, gPressedWidget), std::tuple(1, 0u, nullptr));
    // Pressed on a, released on a free spot: no click.
    FakeButton(true);
    PumpUntil([] { return gPressedWidget != nullptr; });
    MoveTo(250, 150);
    FakeButton(false);
    PumpUntil([] { return gPressedWidget == nullptr; });
    PumpFor(100);
    EXPECT_EQ(std::tuple(gClicks, a->value, a->highlight), std::tuple(1, 0u, 0));
}

// The wheel reaches the widget under the pointer that takes it, also when no widget
// was pressed or hovered before; over a free spot nothing takes it.
int gWheelDelta = 0;
gElement* gWheeled = nullptr;
TEST_F(InputTest, TheWheelReachesTheWidgetUnderThePointer) {
    gWheelDelta = 0;
    gWheeled = nullptr;
    b->onWheel = [](gElement* e, int delta, int) {
        gWheeled = e;
        gWheelDelta += delta;
    };
    MoveTo(90, 45);  // b alone
    PumpFor(100);
    gWgtEndHover(window);  // no widget holds the pointer
    ASSERT_EQ(gHotWidget, nullptr);
    auto turn = [this](unsigned button) {
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
        XSync(display, False);
    };
    turn(5);
    PumpUntil([] { return gWheelDelta != 0; });
    EXPECT_EQ(gWheeled, b);
    EXPECT_EQ(gWheelDelta, -120);
    turn(4);
    turn(4);
    PumpUntil([] { return gWheelDelta == 120; });
    EXPECT_EQ(gWheelDelta, 120);
    // Over a free spot, and over a that takes no wheel: nothing.
    MoveTo(250, 150);
    PumpFor(100);
    turn(5);
    PumpFor(300);
    MoveTo(20, 15);
    PumpFor(100);
    turn(5);
    PumpFor(300);
    EXPECT_EQ(gWheelDelta, 120);
    b->onWheel = nullptr;
}

TEST_F(InputTest, HeldPressRepeatsFromTheSixthTick) {
    a->style = (a->style & ~kClickAtRelease) | 0x20000000 | 0x8000000;  // repeats, no click at release
    a->onPress = CountPress;
    // The ticks come from the test alone.
    platform::KillTimer(gTrackTimer(), kTrackTimerId);
    MoveTo(20, 15);
    FakeButton(true);
    PumpUntil([] { return gPresses > 0; });
    ASSERT_EQ(gPresses, 1);
    ASSERT_EQ(gRepeatWidget, a);
    std::vector<int> after;
    for (int tick = 1; tick <= 8; ++tick) {
        gWinOnTimer(window->hwnd, kTrackTimerId);
        after.push_back(gPresses);
    }
    EXPECT_EQ(after, (std::vector<int>{1, 1, 1, 1, 1, 2, 3, 4}));
    EXPECT_EQ(gRepeatStep, 15);
    FakeButton(false);
    PumpUntil([] { return gRepeatWidget == nullptr && gPressedWidget == nullptr; });
    EXPECT_EQ(gRepeatWidget, nullptr);
    gWinOnTimer(window->hwnd, kTrackTimerId);
    EXPECT_EQ(gPresses, 4);
}

TEST_F(InputTest, CloseKeyClosesAndReachesNoWidget) {
    window->closeKey = kKeyEscape;
    window->closeHandler = CountClose;
    window->keyDownHandler = RecordDown;
    gWgtSetKeyHandler(a, WidgetKey);
    gPressedWidget = a;
    Tap(XK_Escape);
    PumpUntil([] { return gCloses > 0; });
    EXPECT_EQ(std::tuple(gCloses, gWidgetKeys), std::tuple(1, 0));
    EXPECT_TRUE(gDowns.empty());
    // Another key goes to the pressed widget's key handler.
    Tap(XK_F5);
    PumpUntil([] { return gWidgetKeys > 1; });
    EXPECT_EQ(gWidgetKeys, 2);            // its key-down and, as the key-press widget, its key-up
    EXPECT_EQ(gKeyPressWidget, nullptr);  // forgotten once it took the key-up
    gPressedWidget = nullptr;
}

TEST_F(InputTest, KeysArriveTranslated) {
    window->keyDownHandler = RecordDown;
    window->keyUpHandler = RecordUp;
    Tap(XK_Right);
    Tap(XK_KP_Right);  // NumLock off: the keypad arrow, not extended
    FakeKey(XK_Control_R, true);
    Tap(XK_a);
    FakeKey(XK_Control_R, false);
    Tap(XK_Delete);
    PumpUntil([] { return gDowns.size() >= 5; });
    ASSERT_GE(gDowns.size(), 5u);
    EXPECT_EQ(std::tuple(gDowns[0].code, gDowns[0].character), std::tuple(kKeyRight | kKeyExtended, 0u));
    EXPECT_EQ(gDowns[1].code, kKeyRight);
    EXPECT_EQ(gDowns[2].code, kKeyCtrlR | kKeyExtended);  // right Ctrl alone
    EXPECT_EQ(std::tuple(gDowns[3].code, gDowns[3].character), std::tuple(kKeyCtrlR | 'A', 1u));  // Ctrl+A
    EXPECT_EQ(std::tuple(gDowns[4].code, gDowns[4].character), std::tuple(kKeyDelete | kKeyExtended, 127u));
    ASSERT_GE(gUps.size(), 4u);
    EXPECT_EQ(gUps[0].code, kKeyRight | kKeyExtended);
    // A held key repeats (the server's auto-repeat) as presses alone, the later ones
    // with their repeat count, and one release at the end.
    gDowns.clear();
    gUps.clear();
    XAutoRepeatOn(display);
    FakeKey(XK_c, true);
    PumpFor(1200);
    FakeKey(XK_c, false);
    PumpUntil([] { return !gUps.empty(); });
    ASSERT_GE(gDowns.size(), 2u);
    EXPECT_EQ(std::tuple(gDowns[0].repeat, gDowns[1].repeat), std::tuple(0u, 1u));
    EXPECT_EQ(gDowns[1].code, uint32_t{'C'});
    EXPECT_EQ(gDowns[1].character, uint32_t{'c'});
    EXPECT_EQ(gUps.size(), 1u);
}

// A modal loop's presses over another window: offered with their widget, taken or dropped.
gWindow* gModalDialog = nullptr;
gElement* gTaken = nullptr;
std::vector<gElement*> gOffered;
bool OfferedPress(gWindow*, gElement* widget) {
    gOffered.push_back(widget);
    if (widget != gTaken) return false;
    gUiCloseQuiet(gModalDialog);
    return true;
}

TEST_F(InputTest, AModalLoopOffersPressesOnOtherWindowsAndDropsWhatIsNotTaken) {
    gWindow* dialog = gWinCreateRec(420, 320, 150, 100, window, nullptr, kStyleFrameClass | kStyleSysMenu);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(OpenShown(dialog, "Modal"));
    PumpFor(200);
    gModalDialog = dialog;
    gTaken = a;
    gOffered.clear();
    a->onClick = b->onClick = CountClick;
    // Screen points over a alone and over b alone.
    platform::Point onA{20, 15}, onB{90, 45};
    platform::ClientToScreen(window->hwnd, &onA);
    platform::ClientToScreen(window->hwnd, &onB);
    // The user's clicks come from a thread of their own while the loop runs; if the loop
    // keeps running after them, the dialog is closed from there.
    std::atomic<bool> ended{false}, forced{false};
    const platform::Hwnd dialogHwnd = dialog->hwnd;
    std::thread user([&] {
        Display* d = XOpenDisplay(nullptr);
        if (d == nullptr) return;
        auto click = [d](platform::Point p) {
            XTestFakeMotionEvent(d, -1, p.x, p.y, CurrentTime);
            XSync(d, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            XTestFakeButtonEvent(d, 1, True, CurrentTime);
            XTestFakeButtonEvent(d, 1, False, CurrentTime);
            XSync(d, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        };
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        click(onB);
        click(onA);
        for (int i = 0; i < 300 && !ended.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!ended.load()) {
            forced = true;
            platform::PostMessage(dialogHwnd, platform::kWmClose, 0, 0);
        }
        XCloseDisplay(d);
    });
    gModalLoop(dialog, nullptr, &OfferedPress);
    ended = true;
    user.join();
    EXPECT_FALSE(forced.load());
    EXPECT_EQ(gWinValidate(dialog), nullptr);
    // b was offered and refused, a was offered and taken; neither was pressed or clicked
    // through its own window.
    EXPECT_EQ(gOffered, (std::vector<gElement*>{b, a}));
    EXPECT_EQ(std::tuple(a->value, b->value, gClicks), std::tuple(0u, 0u, 0));
    gModalDialog = nullptr;
    gTaken = nullptr;
}

}  // namespace
}  // namespace orva
