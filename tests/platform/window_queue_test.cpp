// The message queue, windows and event translation on the recording backend.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/fake_backend.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/window_events.h"
#include "platform/window_text.h"

namespace orva::platform {
namespace {

struct Seen {
    Hwnd hwnd;
    uint32_t message;
    WParam wParam;
    LParam lParam;
    uint64_t thread;
};
std::vector<Seen> gSeen;
bool gRefuseCreate = false;

LResult RecordingProc(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam) {
    gSeen.push_back(Seen{hwnd, message, wParam, lParam, CurrentThreadId()});
    if (message == kWmCreate && gRefuseCreate) return -1;
    if (message == kWmUser + 7) return static_cast<LResult>(wParam * 2);

    if (message == kWmPaint) {
        PaintStruct paint;
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        return 0;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

std::vector<uint32_t> Messages(Hwnd hwnd) {
    std::vector<uint32_t> out;
    for (const Seen& s : gSeen) {
        if (s.hwnd == hwnd) out.push_back(s.message);
    }
    return out;
}

class WindowQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        gSeen.clear();
        gRefuseCreate = false;
        ResetClickStateForTest();
        RegisterWindowClass("TEST", RecordingProc, kCsDblClks);
    }
    void TearDown() override { UnregisterWindowClass("TEST"); }
    Hwnd Make(uint32_t style = kWsPopup | kWsCaption, Hwnd parent = nullptr) {
        return CreateWindowEx(0, "TEST", "t", style, 10, 20, 300, 200, parent, nullptr);
    }
    // Takes every message that is there, dispatching it.
    std::vector<Msg> Drain() {
        std::vector<Msg> out;
        Msg msg;
        while (PeekMessage(&msg, true)) {
            out.push_back(msg);
            DispatchMessage(&msg);
        }
        return out;
    }
    ScopedFakeBackend fake;
};

TEST_F(WindowQueueTest, CreationSendsCreateSizeMoveAndGeometryFollowsFrames) {
    EXPECT_EQ(RegisterWindowClass("TEST", RecordingProc, 0), 2);
    Hwnd hwnd = Make();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(Messages(hwnd), (std::vector<uint32_t>{kWmCreate, kWmGetMinMaxInfo, kWmSize, kWmMove}));
    // Caption frame {4, 24, 4, 4}: the client is 292 x 172 at (14, 44).
    EXPECT_EQ(gSeen[2].lParam, MakeLParam(292, 172));
    EXPECT_EQ(gSeen[3].lParam, MakeLParam(14, 44));
    Rect rect;
    ASSERT_TRUE(GetWindowRect(hwnd, &rect));
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.bottom, 220);
    ASSERT_TRUE(GetClientRect(hwnd, &rect));
    EXPECT_EQ(rect.right, 292);
    EXPECT_EQ(rect.bottom, 172);
    Hwnd child = Make(kWsChild | kWsVisible, hwnd);
    Point p{0, 0};
    ClientToScreen(child, &p);
    EXPECT_EQ(p.x, 14 + 10);
    EXPECT_EQ(p.y, 44 + 20);
    EXPECT_EQ(GetParent(child), hwnd);

    gRefuseCreate = true;
    EXPECT_EQ(Make(), nullptr);
    EXPECT_EQ(CreateWindowEx(0, "NOCLASS", "", 0, 0, 0, 1, 1, nullptr, nullptr), nullptr);
}

TEST_F(WindowQueueTest, PostedThenQuitThenPaintThenTimer) {
    Hwnd hwnd = Make();
    ShowWindow(hwnd, kSwShow);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    Drain();
    gSeen.clear();
    InvalidateRect(hwnd);
    InvalidateRect(hwnd);  // one paint however often
    SetTimer(hwnd, 5, 1);
    PostMessage(hwnd, kWmUser, 1, 0);
    PostQuitMessage(3);
    PostMessage(hwnd, kWmUser, 2, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Msg msg;
    auto next = [&msg](bool more) {  // the timer keeps GetMessage from waiting forever
        EXPECT_EQ(GetMessage(&msg), more);
        return std::pair<uint32_t, WParam>(msg.message, msg.wParam);
    };
    using Got = std::pair<uint32_t, WParam>;
    EXPECT_EQ(next(true), Got(kWmUser, 1));
    EXPECT_EQ(next(true), Got(kWmUser, 2));
    EXPECT_EQ(next(false), Got(kWmQuit, 3));
    EXPECT_EQ(next(true).first, kWmPaint);
    DispatchMessage(&msg);
    EXPECT_EQ(next(true), Got(kWmTimer, 5));
    EXPECT_TRUE(KillTimer(hwnd, 5));
    EXPECT_FALSE(PeekMessage(&msg, true));
    // A timer on a window that dies dies with it.
    SetTimer(hwnd, 6, 1);
    PostMessage(hwnd, kWmUser, 9, 0);
    DestroyWindow(hwnd);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    EXPECT_FALSE(PeekMessage(&msg, true));
}

TEST_F(WindowQueueTest, CrossThreadSendRunsOnOwnerThreadAndFailsWhenWindowDies) {
    Hwnd hwnd = Make();
    uint64_t ui = CurrentThreadId();
    std::atomic<int> phase{0};
    std::atomic<bool> sendAgain{false};
    LResult result = 0;
    bool ok = false;
    std::thread sender([&] {
        ok = SendMessageChecked(hwnd, kWmUser + 7, 21, 0, &result);
        phase = 1;
        // Not before this thread has stopped serving its queue: a loop still running
        // would serve the second send too.
        while (!sendAgain.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // This one waits while the window is destroyed: it fails instead of hanging.
        LResult ignored = 0;
        bool second = SendMessageChecked(hwnd, kWmUser + 8, 0, 0, &ignored);
        phase = second ? 3 : 2;
    });
    Msg msg;
    // The sender is served inside PeekMessage, as in any loop.
    int64_t deadline = MonotonicNs() + 5'000'000'000;
    while (phase.load() == 0 && MonotonicNs() < deadline) {
        PeekMessage(&msg, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(phase.load(), 1);
    EXPECT_TRUE(ok);
    EXPECT_EQ(result, 42);
    ASSERT_FALSE(gSeen.empty());
    EXPECT_EQ(gSeen.back().message, kWmUser + 7);
    EXPECT_EQ(gSeen.back().thread, ui);
    sendAgain = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    DestroyWindow(hwnd);
    sender.join();
    EXPECT_EQ(phase.load(), 2);
    EXPECT_FALSE(SendMessageChecked(hwnd, kWmUser, 0, 0, nullptr));
    EXPECT_FALSE(PostMessage(hwnd, kWmUser, 0, 0));
}

TEST_F(WindowQueueTest, ButtonsWheelMotionAndDoubleClicks) {
    Hwnd hwnd = Make(kWsPopup);
    Drain();
    struct Case {
        int button;
        bool press;
        int x;
        uint32_t time;
        uint32_t expected;
    } cases[] = {
        {1, true, 5, 1000, kWmLButtonDown}, {1, false, 5, 1010, kWmLButtonUp},
        {1, true, 6, 1200, kWmLButtonDblClk},  // within 500 ms and 2 pixels
        {1, false, 6, 1210, kWmLButtonUp},    {1, true, 6, 1300, kWmLButtonDown},  // third click starts anew
        {1, true, 6, 1900, kWmLButtonDown},   // too late
        {1, true, 9, 2000, kWmLButtonDown},   // too far
        {3, true, 9, 2050, kWmRButtonDown},   {3, true, 9, 2100, kWmRButtonDblClk},
        {2, true, 9, 2150, kWmMButtonDown},
    };
    for (const Case& c : cases) {
        OnNativeButton(hwnd, c.button, c.press, c.x, 7, 0, c.time);
        std::vector<Msg> got = Drain();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].message, c.expected) << c.time;
        EXPECT_EQ(GetXLParam(got[0].lParam), c.x);
        EXPECT_EQ(GetYLParam(got[0].lParam), 7);
    }
    OnNativeButton(hwnd, 4, true, 1, 1, kMkShift, 3000);
    OnNativeButton(hwnd, 5, true, 1, 1, 0, 3001);
    std::vector<Msg> wheel = Drain();
    ASSERT_EQ(wheel.size(), 2u);
    EXPECT_EQ(wheel[0].message, kWmMouseWheel);
    EXPECT_EQ(static_cast<int16_t>(HiWord(wheel[0].wParam)), 120);
    EXPECT_EQ(LoWord(wheel[0].wParam), kMkShift);
    EXPECT_EQ(static_cast<int16_t>(HiWord(wheel[1].wParam)), -120);
    // The horizontal wheel (6 left, 7 right) comes as the wheel with Ctrl held; its
    // releases, like those of 4 and 5, post nothing.
    OnNativeButton(hwnd, 6, true, 1, 1, kMkShift, 3002);
    OnNativeButton(hwnd, 6, false, 1, 1, kMkShift, 3003);
    OnNativeButton(hwnd, 7, true, 1, 1, 0, 3004);
    OnNativeButton(hwnd, 8, true, 1, 1, 0, 3005);  // no such button: nothing
    wheel = Drain();
    ASSERT_EQ(wheel.size(), 2u);
    EXPECT_EQ(wheel[0].message, kWmMouseWheel);
    EXPECT_EQ(static_cast<int16_t>(HiWord(wheel[0].wParam)), 120);
    EXPECT_EQ(LoWord(wheel[0].wParam), kMkShift | kMkControl);
    EXPECT_EQ(wheel[1].message, kWmMouseWheel);
    EXPECT_EQ(static_cast<int16_t>(HiWord(wheel[1].wParam)), -120);
    EXPECT_EQ(LoWord(wheel[1].wParam), kMkControl);
    // Moves: set-cursor then a move.
    OnNativeMotion(hwnd, 3, 4, 0);
    OnNativeMotion(hwnd, 8, 9, 0);
    std::vector<Msg> moves = Drain();
    ASSERT_EQ(moves.size(), 4u);
    EXPECT_EQ(moves[0].message, kWmSetCursor);
    EXPECT_EQ(LoWord(static_cast<uintptr_t>(moves[0].lParam)), kHtClient);
    EXPECT_EQ(moves[3].message, kWmMouseMove);
    EXPECT_EQ(GetXLParam(moves[3].lParam), 8);
    // Without a set-cursor between them, waiting moves collapse into the last.
    SetCapture(hwnd);
    OnNativeMotion(hwnd, 3, 4, 0);
    OnNativeMotion(hwnd, 5, 6, 0);
    moves = Drain();
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(GetXLParam(moves[0].lParam), 5);
    ReleaseCapture();
    // A class without double-clicks never gets them.
    RegisterWindowClass("PLAIN", RecordingProc, 0);
    Hwnd plain = CreateWindowEx(0, "PLAIN", "", kWsPopup, 0, 0, 50, 50, nullptr, nullptr);
    OnNativeButton(plain, 1, true, 1, 1, 0, 5000);
    OnNativeButton(plain, 1, true, 1, 1, 0, 5001);
    std::vector<Msg> plainClicks = Drain();
    ASSERT_EQ(plainClicks.size(), 2u);
    EXPECT_EQ(plainClicks[1].message, kWmLButtonDown);
    DestroyWindow(plain);
    UnregisterWindowClass("PLAIN");
}

// Input read in one batch and routed by the grab of its moment follows a capture taken
// while the first of it was handled: a move and a click meant for a menu that opened and
// took the pointer reach the menu, in its own coordinates. Without a capture, each message
// keeps its window.
TEST_F(WindowQueueTest, PointerInputTakenAfterACaptureGoesToTheCapture) {
    Hwnd owner = Make(kWsPopup | kWsVisible);                                    // at (10, 20)
    Hwnd menu = CreateWindowEx(0, "TEST", "m", kWsPopup | kWsVisible, 110, 70, 80, 60, nullptr, nullptr);
    Drain();
    OnNativeMotion(owner, 120, 60, 0);
    OnNativeButton(owner, 1, true, 121, 61, 0, 1000);
    OnNativeButton(owner, 1, false, 121, 61, 0, 1010);
    OnNativeButton(owner, 4, true, 121, 61, 0, 1020);  // the wheel keeps its window
    SetCapture(menu);
    std::vector<Msg> got;
    for (const Msg& m : Drain())
        if (m.message != kWmSetCursor) got.push_back(m);
    ASSERT_EQ(got.size(), 4u);
    const uint32_t want[] = {kWmMouseMove, kWmLButtonDown, kWmLButtonUp};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].message, want[i]);
        EXPECT_EQ(got[i].hwnd, menu);
    }
    // (120, 60) of the owner stands at (130, 80) on the screen: (20, 10) of the menu.
    EXPECT_EQ(GetXLParam(got[0].lParam), 20);
    EXPECT_EQ(GetYLParam(got[0].lParam), 10);
    EXPECT_EQ(GetXLParam(got[1].lParam), 21);
    EXPECT_EQ(got[3].message, kWmMouseWheel);
    EXPECT_EQ(got[3].hwnd, owner);
    ReleaseCapture();
    OnNativeMotion(owner, 5, 6, 0);
    got = Drain();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().hwnd, owner);
    EXPECT_EQ(GetXLParam(got.back().lParam), 5);
    DestroyWindow(menu);
    DestroyWindow(owner);
}

TEST_F(WindowQueueTest, APressActivatesTheTopLevelWindowClickedInto) {
    // Two shown windows, the second active (shown last, holding the focus); a press in a
    // child of the first activates the first, so that the keys follow the click.
    Hwnd first = Make(kWsPopup | kWsCaption | kWsVisible);
    Hwnd child = Make(kWsChild | kWsVisible, first);
    Hwnd second = Make(kWsPopup | kWsCaption | kWsVisible);
    Hwnd quiet = CreateWindowEx(kWsExNoActivate, "TEST", "q", kWsPopup | kWsCaption | kWsVisible, 0, 0, 50, 50,
                                nullptr, nullptr);
    Hwnd hidden = Make(kWsPopup | kWsCaption);
    OnNativeFocus(second, true);
    Drain();
    fake->ClearCalls();
    auto activations = [&](Hwnd h) {
        const std::vector<std::string> calls = fake->CallsFor(h);
        return std::count(calls.begin(), calls.end(), "activate");
    };
    const auto firstBefore = activations(first), secondBefore = activations(second);
    OnNativeButton(child, 1, true, 3, 3, 0, 7000);
    OnNativeButton(child, 1, false, 3, 3, 0, 7010);
    EXPECT_EQ(fake->Count("activate"), 1u);
    EXPECT_EQ(activations(first) - firstBefore, 1);
    // The focus came: further presses in it, the wheel elsewhere, a no-activate window
    // and a hidden one activate nothing.
    OnNativeFocus(second, false, first);
    OnNativeFocus(first, true);
    fake->ClearCalls();
    OnNativeButton(first, 3, true, 3, 3, 0, 8000);
    OnNativeButton(second, 4, true, 3, 3, 0, 8100);
    OnNativeButton(quiet, 1, true, 3, 3, 0, 8200);
    OnNativeButton(hidden, 1, true, 3, 3, 0, 8300);
    EXPECT_EQ(fake->Count("activate"), 0u);
    // The right and middle buttons activate as the left does.
    OnNativeButton(second, 2, true, 3, 3, 0, 8400);
    EXPECT_EQ(fake->Count("activate"), 1u);
    EXPECT_EQ(activations(second) - secondBefore, 1);
    Drain();
    for (Hwnd h : {hidden, quiet, second, first}) DestroyWindow(h);
}

TEST_F(WindowQueueTest, KeysTypedAfterAClickGoToTheWindowClickedInto) {
    // The second window holds the focus; a click into the first, taken late, asks for the
    // focus only then: the keys typed after the click came to the second meanwhile. They
    // belong to the first, which is activated ahead of them.
    Hwnd first = Make(kWsPopup | kWsCaption | kWsVisible);
    Hwnd child = Make(kWsChild | kWsVisible, first);
    Hwnd second = Make(kWsPopup | kWsCaption | kWsVisible);
    Hwnd menu = CreateWindowEx(kWsExNoActivate, "TEST", "m", kWsPopup | kWsVisible, 0, 0, 50, 50, nullptr, nullptr);
    OnNativeFocus(second, true);
    Drain();
    EXPECT_EQ(KeyWindowAfterPress(second), second);  // no press: the key stays
    OnNativeButton(child, 1, true, 3, 3, 0, 7000);
    OnNativeButton(child, 1, false, 3, 3, 0, 7010);
    EXPECT_EQ(GetActiveWindow(), second);  // the server has not moved the focus yet
    EXPECT_EQ(KeyWindowAfterPress(menu), menu);  // a window that grabbed the keys keeps them
    EXPECT_EQ(KeyWindowAfterPress(first), first);
    EXPECT_EQ(KeyWindowAfterPress(second), first);
    EXPECT_EQ(GetActiveWindow(), first);
    std::vector<Msg> got = Drain();
    auto at = [&](Hwnd h, uint32_t message, WParam wParam) {
        for (size_t i = 0; i < got.size(); ++i)
            if (got[i].hwnd == h && got[i].message == message && got[i].wParam == wParam) return static_cast<int>(i);
        return -1;
    };
    EXPECT_GE(at(second, kWmActivate, kWaInactive), 0);
    EXPECT_GE(at(first, kWmActivate, kWaActive), 0);
    EXPECT_EQ(KeyWindowAfterPress(second), first);  // the keys after it too, with no second activation
    EXPECT_TRUE(Drain().empty());
    // The server's notice of the focus change: nothing more, and the keys go where it sends them.
    OnNativeFocus(second, false, first);
    OnNativeFocus(first, true);
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(KeyWindowAfterPress(second), second);
    // A click back into the second before the server told of the first's focus: the keys
    // go to the second, the one clicked last.
    OnNativeButton(second, 1, true, 3, 3, 0, 9000);
    OnNativeButton(child, 1, true, 3, 3, 0, 9100);
    OnNativeButton(second, 1, true, 3, 3, 0, 9200);
    EXPECT_EQ(KeyWindowAfterPress(first), second);
    EXPECT_EQ(GetActiveWindow(), second);
    Drain();
    for (Hwnd h : {menu, second, first}) DestroyWindow(h);
}

std::atomic<int> gTrims{0};

TEST_F(WindowQueueTest, FreeHeapPagesGoBackOnceAfterInputStops) {
    Hwnd hwnd = Make();
    Drain();
    gTrims = 0;
    SetIdleTrimForTest(20, [] { ++gTrims; });
    Msg msg;
    auto postWhen = [&](auto ready, uint32_t message) {
        return std::thread([=] {
            const int64_t deadline = MonotonicNs() + 5'000'000'000;
            while (!ready() && MonotonicNs() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            PostMessage(hwnd, message, 0, 0);
        });
    };
    // Timers alone are no input: nothing is trimmed.
    SetTimer(hwnd, 1, 30);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(GetMessage(&msg));
        EXPECT_EQ(msg.message, kWmTimer);
    }
    KillTimer(hwnd, 1);
    EXPECT_EQ(gTrims.load(), 0);
    // A message taken (here from another thread) is work: the trim follows once the
    // quiet lasts.
    std::thread first = postWhen([] { return true; }, kWmUser);
    ASSERT_TRUE(GetMessage(&msg));
    EXPECT_EQ(msg.message, kWmUser);
    first.join();
    std::thread second = postWhen([] { return gTrims.load() > 0; }, kWmUser + 1);
    ASSERT_TRUE(GetMessage(&msg));
    EXPECT_EQ(msg.message, kWmUser + 1);
    second.join();
    EXPECT_EQ(gTrims.load(), 1);
    // That message was input too: one more trim, and no more while only timers run.
    SetTimer(hwnd, 1, 30);
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(GetMessage(&msg));
    KillTimer(hwnd, 1);
    EXPECT_EQ(gTrims.load(), 2);
    SetIdleTrimForTest(500, nullptr);
    DestroyWindow(hwnd);
}

TEST_F(WindowQueueTest, PointerWarpOnlyOverTheWindowItself) {
    Hwnd hwnd = Make(kWsPopup | kWsCaption | kWsVisible);
    Hwnd other = CreateWindowEx(0, "TEST", "o", kWsPopup | kWsVisible, 600, 500, 100, 100, nullptr, nullptr);
    Drain();
    // The client area lies at (14, 44) on the screen (caption frame {4, 24, 4, 4}).
    struct Case {
        Point pointer;   // where the pointer is before the warp
        bool over;       // the backend finds it over the window
        Hwnd window;
        bool moved;
        Point at;        // where it is afterwards
    } cases[] = {
        {{50, 60}, true, hwnd, true, {14 + 7, 44 + 9}},
        {{650, 550}, true, hwnd, false, {650, 550}},   // over the other window of ours
        {{50, 60}, false, hwnd, false, {50, 60}},      // over someone else's window
        {{650, 550}, true, other, true, {600 + 7, 500 + 9}},
        {{5, 5}, true, nullptr, false, {5, 5}},
    };
    for (const Case& c : cases) {
        fake->pointer = c.pointer;
        fake->pointerOverWindow = c.over;
        fake->ClearCalls();
        EXPECT_EQ(pointerWarp(c.window, Point{7, 9}), c.moved) << c.pointer.x;
        Point now;
        ASSERT_TRUE(GetCursorPos(&now));
        EXPECT_EQ(now.x, c.at.x) << c.pointer.x;
        EXPECT_EQ(now.y, c.at.y) << c.pointer.x;
        EXPECT_EQ(fake->Count("warp 7,9"), c.moved ? 1u : 0u);
    }
    // A hidden window is never warped into.
    ShowWindow(hwnd, kSwHide);
    fake->pointer = Point{50, 60};
    EXPECT_FALSE(pointerWarp(hwnd, Point{1, 1}));
    DestroyWindow(other);
    DestroyWindow(hwnd);
}

TEST_F(WindowQueueTest, ConfigureFocusCloseMapAndGrabLoss) {
    Hwnd hwnd = Make();
    ShowWindow(hwnd, kSwShow);
    Drain();
    OnNativeConfigure(hwnd, 14, 44, 292, 172);  // unchanged
    EXPECT_TRUE(Drain().empty());
    OnNativeConfigure(hwnd, 100, 50, 400, 300);
    std::vector<Msg> got = Drain();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[0].message, kWmSize);
    EXPECT_EQ(got[0].lParam, MakeLParam(400, 300));
    EXPECT_EQ(got[1].message, kWmMove);
    Rect rect;
    GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.left, 96);
    EXPECT_EQ(rect.right - rect.left, 408);

    // Focus moving between our windows activates and deactivates them; entering and
    // leaving all of them tells every top-level window, shown or not.
    Hwnd other = Make();
    Hwnd child = Make(kWsChild | kWsVisible, hwnd);
    Drain();
    auto trace = [&] {
        std::vector<std::tuple<Hwnd, uint32_t, WParam, LParam>> out;
        for (const Msg& m : Drain()) out.emplace_back(m.hwnd, m.message, m.wParam, m.lParam);
        return out;
    };
    using T = std::vector<std::tuple<Hwnd, uint32_t, WParam, LParam>>;
    auto lp = [](Hwnd h) { return reinterpret_cast<LParam>(h); };
    OnNativeFocus(hwnd, true);
    EXPECT_EQ(trace(), (T{{hwnd, kWmActivateApp, 1, 0}, {other, kWmActivateApp, 1, 0}, {hwnd, kWmActivate, kWaActive, 0},
                         {hwnd, kWmSetFocus, 0, 0}}));
    EXPECT_EQ(GetActiveWindow(), hwnd);
    OnNativeFocus(hwnd, true);
    OnNativeFocus(hwnd, false, child);  // within the same window: nothing
    EXPECT_TRUE(Drain().empty());
    OnNativeFocus(hwnd, false, other);
    OnNativeFocus(other, true);
    EXPECT_EQ(trace(), (T{{hwnd, kWmKillFocus, reinterpret_cast<WParam>(other), 0},
                         {hwnd, kWmActivate, kWaInactive, lp(other)}, {other, kWmActivate, kWaActive, lp(hwnd)},
                         {other, kWmSetFocus, 0, 0}}));
    OnNativeFocus(other, false);
    EXPECT_EQ(trace(), (T{{other, kWmKillFocus, 0, 0}, {other, kWmActivate, kWaInactive, 0},
                         {hwnd, kWmActivateApp, 0, 0}, {other, kWmActivateApp, 0, 0}}));
    // The active window hidden: the focus leaving it still ends the activation.
    ShowWindow(other, kSwShow);
    OnNativeFocus(other, true);
    ShowWindow(other, kSwHide);
    Drain();
    OnNativeFocus(other, false);
    EXPECT_EQ(trace(), (T{{hwnd, kWmActivateApp, 0, 0}, {other, kWmActivateApp, 0, 0}}));
    DestroyWindow(other);

    SetCapture(hwnd);
    EXPECT_EQ(GetCapture(), hwnd);
    OnNativeGrabLost();
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(trace(), (T{{hwnd, kWmCancelMode, 0, 0}}));

    OnNativeMapped(hwnd, false);  // iconified by the window manager
    EXPECT_TRUE(IsIconic(hwnd));
    got = Drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, kWmShowWindow);
    EXPECT_EQ(got[1].wParam, kSizeMinimized);
    OnNativeMapped(hwnd, true);
    EXPECT_FALSE(IsIconic(hwnd));

    OnNativeCloseRequest(hwnd);
    Drain();  // the default close destroys
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(WindowQueueTest, ChildActivation) {
    // A child hears WM_CHILDACTIVATE when shown, maximised or placed with activation.
    Hwnd main = Make();
    ShowWindow(main, kSwShow);
    Hwnd child = Make(kWsChild, main);
    auto activations = [&] {
        return std::count_if(gSeen.begin(), gSeen.end(), [](const Seen& s) { return s.message == kWmChildActivate; });
    };
    gSeen.clear();
    ShowWindow(child, kSwShow);
    ShowWindow(child, kSwMaximize);
    WindowPlacement placement;
    ASSERT_TRUE(GetWindowPlacement(child, &placement));
    EXPECT_EQ(placement.showCommand, kSwMaximize);
    MoveWindow(child, 5, 5, 50, 50, true);
    SetWindowPos(child, nullptr, 0, 0, 60, 60, kSwpNoMove | kSwpNoActivate);
    EXPECT_EQ(activations(), 2);
    SetWindowPos(child, nullptr, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize);
    EXPECT_EQ(activations(), 3);
}

TEST_F(WindowQueueTest, ShowStatesZOrderOwnedWindowsAndTitles) {
    Hwnd main = Make();
    Hwnd owned = Make(kWsPopup, main);
    Hwnd child = Make(kWsChild, main);
    EXPECT_EQ(GetOwner(owned), main);
    EXPECT_FALSE(ShowWindow(main, kSwShow));
    EXPECT_TRUE(ShowWindow(main, kSwShow));
    EXPECT_FALSE(IsWindowVisible(child));
    ShowWindow(child, kSwShow);
    EXPECT_TRUE(IsWindowVisible(child));
    ShowWindow(main, kSwMaximize);
    EXPECT_TRUE(IsZoomed(main));
    Rect rect;
    GetWindowRect(main, &rect);
    EXPECT_EQ(rect.right, 1280);
    EXPECT_EQ(rect.bottom, 1000);
    ShowWindow(main, kSwRestore);
    GetWindowRect(main, &rect);
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.right, 310);
    fake->ClearCalls();
    SetWindowPos(main, kHwndBottom, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize);
    EXPECT_EQ(fake->Count("lower"), 1u);
    // WindowFromPoint finds the child over its parent.
    EXPECT_EQ(WindowFromPoint(Point{30, 70}), child);

    const char title[] = "\xC7\xE0\xE3 \x80 \xB9 A";  // Cyrillic, euro-like Dje, numero sign
    SetWindowText(main, title);
    EXPECT_EQ(fake->calls.back(), "title \xD0\x97\xD0\xB0\xD0\xB3 \xD0\x82 \xE2\x84\x96 A");
    char buffer[8];
    EXPECT_EQ(GetWindowText(main, buffer, sizeof buffer), 7);
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(title)), title);
    EXPECT_EQ(Utf8ToCp1251("\xE4\xB8\xAD\xC0"), "??");

    gSeen.clear();
    DestroyWindow(main);
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(Messages(owned), std::vector<uint32_t>{kWmDestroy});
    EXPECT_EQ(LiveWindowCount(), 0u);
}

// The code page table against the C library's own converter, both ways, for every byte.
TEST(WindowText, Cp1251AgreesWithIconv) {
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 1; b < 256; ++b) {
        char in = static_cast<char>(b), out[8] = {};
        char* pin = &in;
        char* pout = out;
        size_t inLeft = 1, outLeft = sizeof out;
        const bool known = iconv(cd, &pin, &inLeft, &pout, &outLeft) != static_cast<size_t>(-1);
        const std::string expected = known ? std::string(out, pout) : "\xEF\xBF\xBD";  // U+FFFD
        EXPECT_EQ(Cp1251ToUtf8(std::string(1, in)), expected) << b;
        EXPECT_EQ(Utf8ToCp1251(expected), known ? std::string(1, in) : "?") << b;
        EXPECT_EQ(Cp1251ToUnicode(static_cast<uint8_t>(b)) == 0, !known) << b;
    }
    iconv_close(cd);
}

}  // namespace
}  // namespace orva::platform
