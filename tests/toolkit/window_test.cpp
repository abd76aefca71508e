// Toolkit windows, the window procedure and the loops on the recording backend.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "platform/clock.h"
#include "platform/fake_backend.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/window_events.h"
#include "toolkit/window.h"

namespace orva {
namespace {

class ToolkitWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(gInit(), nullptr); }
    void TearDown() override { gShutdown(); }
    gWindow* Make(uint32_t style, gWindow* parent = nullptr, int32_t x = 10, int32_t y = 10) {
        return gWinCreateRec(x, y, 200, 100, parent, nullptr, style);
    }
    platform::ScopedFakeBackend fake;
};

TEST(ToolkitColourTest, ShadeTablesDeltasAndExtensions) {
    gWindow window;
    gWinApplySkinColours(&window, nullptr);
    gColorShades(&window, 0x04626262);  // grey 98
    const int expected[11] = {49, 66, 72, 78, 98, 108, 113, 127, 0, 10, 127};
    for (int k = 0; k < 11; ++k) EXPECT_EQ(window.colours.widgetShades[k][1], expected[k]) << k;
    gColorShades(&window, 0x04373737);  // 55: black contrast; 54: white
    EXPECT_EQ(window.colours.widgetShades[8][0], 0);
    gColorShades(&window, 0x04363636);
    EXPECT_EQ(window.colours.widgetShades[8][0], 127);
    uint32_t current = 0;
    gWinApplyBackColor(&window, 0x00414141, &current);
    EXPECT_EQ(std::tuple(window.colours.backShades[10][0], window.colours.backShades[0][0]), std::tuple(0, 4 + 32));
    EXPECT_EQ(window.colours.backShades[8][0], 44 + 65);
    EXPECT_FLOAT_EQ(window.colours.background[0], 65 * 0.007874016f);
    gWinApplyBackColor(&window, 0x00404040, &current);
    EXPECT_EQ(window.colours.backShades[10][0], 127);
    // The default colour set the window starts with: 0x48 in every channel.
    gWindow fresh;
    gWinApplySkinColours(&fresh, nullptr);
    EXPECT_FLOAT_EQ(fresh.colours.background[2], 72 * 0.007874016f);

    EXPECT_EQ(gColorDelta(0x34102030, 0x0E000000), 0x34102030u);          // no colour bits
    EXPECT_EQ(gColorDelta(0x34102030, 0x0E7F7F7F), 0x3E000000u);          // darken to 0
    EXPECT_EQ(gColorDelta(0x04102030, 0x0F808005), 0x0F102035u);          // +5 red, -0 others
    EXPECT_EQ(gColorDelta(0x04102030, 0x0F000085), 0x0F10202Bu);          // red sign set: -5
    EXPECT_EQ(gColorResolve(&window, 0x35000000), 0x35000000u | 0u);      // slot 3 black, shade 5
    EXPECT_EQ(gColorResolve(&window, 0xA4000000), 0xA400407Fu);
    EXPECT_EQ(gColorFromSlot(&window, 12), 0xCC007F00u);
    EXPECT_EQ(gColorFromSlot(&window, 99), 0x776D7070u);

    EXPECT_FALSE(gHasExtension("GL_EXT_compiled_vertex_arrayX GL_A", "GL_EXT_compiled_vertex_array"));
    EXPECT_TRUE(gHasExtension("GL_EXT_compiled_vertex_arrayX GL_EXT_compiled_vertex_array",
                              "GL_EXT_compiled_vertex_array"));
    EXPECT_TRUE(gHasExtension("GL_A GL_B", "GL_A"));
}

TEST_F(ToolkitWindowTest, StyleRulesCloseKeyAndMainFlag) {
    EXPECT_EQ(gInit(), gInit());
    gWindow* main = Make(kStyleMain | kStyleSysMenu | kStyleMinimiseBox);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(std::tuple(main->style & kStyleSizable, main->closeKey), std::tuple(kStyleSizable, 0u));
    EXPECT_EQ(main->state & (kStateHidden | kStateSizable), kStateHidden | kStateSizable);
    uint32_t ex = 0;
    uint32_t ws = gWinFrameStyle(main, false, &ex);
    EXPECT_EQ(ws, platform::kWsPopup | platform::kWsSysMenu | platform::kWsMinimizeBox | platform::kWsClipChildren);
    EXPECT_EQ(ex, 0x4u);

    gWindow* dialog = Make(kStyleMain | kStyleDialogFrame | kStyleNoMinMax | kStyleMaximiseBox);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->style & kStyleMain, 0u);       // only one main window
    EXPECT_EQ(dialog->style & kStyleSizable, 0u);    // a dialog frame is not sizable by default
    EXPECT_EQ(dialog->closeKey, 0u);                  // a box was asked for
    EXPECT_EQ(Make(kStyleDialogFrame)->closeKey, kCloseKeyDefault);  // no menu, no boxes
    ws = gWinFrameStyle(dialog, false, &ex);
    EXPECT_EQ(std::tuple(ws, ex), std::tuple(platform::kWsDlgFrame | platform::kWsClipChildren, 0x84u));
    gWinAddStyle(dialog, kStyleMain);
    EXPECT_EQ(main->style & kStyleMain, 0u);
    EXPECT_NE(dialog->style & kStyleMain, 0u);

    gWindow* child = Make(kStyleEmbedded | kStyleStartMinimised, main);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(std::tuple(child->parent, main->firstChild), std::tuple(main, child));
    ws = gWinFrameStyle(child, true, &ex);
    EXPECT_EQ(ws, platform::kWsChild | platform::kWsClipSiblings);
    gWindow* owned = Make(kStyleSysMenu, dialog);
    EXPECT_EQ(owned->owner, dialog);
    ws = gWinFrameStyle(owned, true, nullptr);
    EXPECT_EQ(ws & (platform::kWsClipChildren | platform::kWsClipSiblings),
              platform::kWsClipChildren | platform::kWsClipSiblings);

    gWindow* deferred = Make(kStyleDeferred | kStyleSysMenu);
    EXPECT_EQ(deferred->hwnd, nullptr);
    EXPECT_TRUE(gWinOpen(deferred, "Deferred", kStyleDeferred | kStyleSysMenu | kStyleShown));
    ASSERT_NE(deferred->hwnd, nullptr);
    EXPECT_NE(deferred->hglrc, nullptr);
    EXPECT_EQ(deferred->title, "Deferred");
    EXPECT_TRUE(platform::IsWindowVisible(deferred->hwnd));

    EXPECT_EQ(gCursorGet(5), nullptr);
    EXPECT_EQ(gCursorGet(20), nullptr);
    EXPECT_NE(gCursorGet(8), nullptr);
    int junk = 0;
    EXPECT_EQ(gWinValidate(&junk), nullptr);
    EXPECT_EQ(gWinFromHwnd(main->hwnd), main);
}

TEST_F(ToolkitWindowTest, ShowCountingAndHidingTheMainWindow) {
    gWindow* main = Make(kStyleSysMenu);
    gWindow* tool = Make(kStyleSysMenu, main);
    fake->ClearCalls();
    gWinShow(tool, true);
    gWinShow(tool, true);
    EXPECT_EQ(fake->Count("show 1"), 1u);
    EXPECT_EQ(tool->state & kStateHidden, 0u);
    gWinShow(main, true);
    fake->ClearCalls();
    gWinShow(tool, false);
    EXPECT_EQ(fake->Count("activate"), 1u);  // the owner is activated
    EXPECT_NE(tool->state & kStateHidden, 0u);
    gWinShow(main, false);
    EXPECT_EQ(fake->Count("show 0"), 2u);
    EXPECT_EQ(fake->Count("lower"), 1u);
}

TEST_F(ToolkitWindowTest, KeepOnScreenAndSetSize) {
    // A popup without frame: outer and client sizes agree.
    gWindow* inside = Make(kStyleSysMenu, nullptr, 1200, 950);
    platform::Rect rect;
    platform::GetWindowRect(inside->hwnd, &rect);
    EXPECT_EQ(rect.left, 1080);  // kept inside the screen when created
    platform::SetWindowPos(inside->hwnd, nullptr, 1200, 950, 200, 100, platform::kSwpNoZOrder);
    gWinUpdateRects(inside, inside->hwnd);
    EXPECT_FALSE(gWinKeepOnScreen(inside, 0));  // edges within screen - 20, part beyond: untouched
    gWindow* far = Make(kStyleSysMenu, nullptr, 0, 0);
    platform::SetWindowPos(far->hwnd, nullptr, 1270, 1010, 200, 100, platform::kSwpNoZOrder);
    gWinUpdateRects(far, far->hwnd);
    EXPECT_TRUE(gWinKeepOnScreen(far, 0));
    platform::GetWindowRect(far->hwnd, &rect);
    EXPECT_EQ(rect.left, 1080);  // moved to 1260 first, then wholly onto the screen
    EXPECT_EQ(std::tuple(rect.top, rect.right - rect.left), std::tuple(924, 200));
    EXPECT_TRUE(gWinKeepOnScreen(inside, 1));
    platform::GetWindowRect(inside->hwnd, &rect);
    EXPECT_EQ(rect.left, 1080);

    // A framed window keeps its frame around the new client size.
    gWindow* framed = Make(kStyleDialogFrame | kStyleSysMenu, nullptr, 100, 100);
    fake->captionFrame = platform::FrameExtents{4, 24, 4, 4};
    EXPECT_FALSE(gWinSetSize(framed, -1, 10, nullptr));
    EXPECT_TRUE(gWinSetSize(framed, 0, 0, nullptr));
    EXPECT_TRUE(gWinSetSize(framed, 300, 150, nullptr));
    EXPECT_EQ(framed->clientWidth, 300);
    platform::GetWindowRect(framed->hwnd, &rect);
    EXPECT_EQ(rect.right - rect.left, 300 + (framed->width - framed->clientWidth));
}

// A child window grown past the screen's foot keeps its place in its parent: its
// rectangle on the screen is no place in the parent's client area. A window of its own is
// moved up onto the screen.
TEST_F(ToolkitWindowTest, AChildWindowGrownPastTheScreensFootStaysInPlace) {
    gWindow* parent = Make(kStyleSysMenu, nullptr, 0, 0);
    platform::SetWindowPos(parent->hwnd, nullptr, 0, 700, 900, 300, platform::kSwpNoZOrder);
    gWinUpdateRects(parent, parent->hwnd);
    gWindow* child = Make(kStyleEmbedded, parent, 20, 30);
    ASSERT_EQ(child->parent, parent);
    platform::Rect before, after;
    platform::GetWindowRect(child->hwnd, &before);
    EXPECT_TRUE(gWinSetSize(child, 180, 500, nullptr));
    platform::GetWindowRect(child->hwnd, &after);
    EXPECT_EQ(std::tuple(after.left, after.top), std::tuple(before.left, before.top));
    EXPECT_EQ(std::tuple(child->clientWidth, child->clientHeight), std::tuple(180, 500));

    gWindow* own = Make(kStyleSysMenu, nullptr, 20, 700);
    EXPECT_TRUE(gWinSetSize(own, 180, 500, nullptr));
    platform::GetWindowRect(own->hwnd, &after);
    EXPECT_EQ(after.bottom, 1024);
}

bool gAnswer = false;
int gCloseAsked = 0;
bool AskClose(gWindow*, void*) {
    ++gCloseAsked;
    return gAnswer;
}

TEST_F(ToolkitWindowTest, RefusedCloseKeepsWindowAndLastDestroyQuitsOnce) {
    gWindow* main = Make(kStyleSysMenu | kStyleMain);
    gWinShow(main, true);
    platform::PostMessage(main->hwnd, platform::kWmActivate, platform::kWaActive, 0);
    platform::Msg msg;
    while (platform::PeekMessage(&msg, true)) platform::DispatchMessage(&msg);
    EXPECT_EQ(gTrackTimer(), main->hwnd);
    main->closeHandler = AskClose;
    gAnswer = false;
    gCloseAsked = 0;
    EXPECT_TRUE(gUiClose(main));
    EXPECT_EQ(gCloseAsked, 1);
    ASSERT_EQ(gWinValidate(main), main);
    EXPECT_EQ(main->state & kStateClosed, 0u);
    EXPECT_TRUE(platform::IsWindowVisible(main->hwnd));
    EXPECT_EQ(gTrackTimer(), main->hwnd);  // timers kept
    EXPECT_EQ(gToolkitFlags() & kFlagQuitPosted, 0u);

    gAnswer = true;
    platform::PostMessage(main->hwnd, platform::kWmClose, 0, 0);
    gMessageLoop(0);  // returns once the main window is gone
    EXPECT_EQ(gWinList(), nullptr);
    EXPECT_EQ(platform::LiveWindowCount(), 0u);
    EXPECT_NE(gToolkitFlags() & kFlagQuitPosted, 0u);
    EXPECT_FALSE(platform::PeekMessage(&msg, true));  // no second quit
    gMessageLoop(0);  // nothing left: returns at once
}

TEST_F(ToolkitWindowTest, EmbeddedChildMaximiseAppActivationLimitsAndScreen) {
    namespace pf = platform;
    auto drain = [] {
        pf::Msg msg;
        while (pf::PeekMessage(&msg, true)) pf::DispatchMessage(&msg);
    };
    auto mainText = [](gWindow* main) {
        char text[128];
        pf::GetWindowText(main->hwnd, text, sizeof text);
        return std::string(text);
    };
    gWindow* main = Make(kStyleSysMenu | kStyleThickFrame);
    ASSERT_TRUE(gWinOpen(main, "Main", kStyleShown));
    gWindow* first = Make(kStyleEmbedded | kStyleThickFrame | kStyleSysMenu, main);
    gWindow* second = Make(kStyleEmbedded, main);
    ASSERT_TRUE(gWinOpen(first, "A child window with a rather long title", kStyleShown));
    ASSERT_TRUE(gWinOpen(second, nullptr, kStyleShown));

    // Maximised: frameless, filling the parent, named in its title; it follows the
    // parent's size while maximised and no longer once restored.
    pf::ShowWindow(first->hwnd, pf::kSwMaximize);
    EXPECT_EQ(mainText(main), "Main - [A child window with a rather l...]");
    EXPECT_EQ(first->state & (kStateMaximised | kStateChildMaximised | kStateSizable),
              kStateMaximised | kStateChildMaximised);
    EXPECT_EQ(first->savedFrameStyle, pf::kWsThickFrame | pf::kWsSysMenu);
    EXPECT_EQ(pf::GetWindowLongPtr(first->hwnd, pf::kGwlStyle) & (pf::kWsThickFrame | pf::kWsSysMenu), 0);
    EXPECT_EQ(first->width, main->clientWidth);
    pf::SetWindowPos(main->hwnd, nullptr, 0, 0, 400, 300, pf::kSwpNoMove | pf::kSwpNoZOrder);
    EXPECT_EQ(std::tuple(first->clientWidth, first->clientHeight), std::tuple(main->clientWidth, main->clientHeight));
    pf::ShowWindow(first->hwnd, pf::kSwRestore);
    EXPECT_EQ(mainText(main), "Main");
    EXPECT_EQ(first->state & (kStateMaximised | kStateChildMaximised), 0u);
    EXPECT_EQ(first->savedFrameStyle, 0u);
    EXPECT_NE(pf::GetWindowLongPtr(first->hwnd, pf::kGwlStyle) & pf::kWsThickFrame, 0);
    int32_t restoredWidth = first->width;
    pf::SetWindowPos(main->hwnd, nullptr, 0, 0, 500, 400, pf::kSwpNoMove | pf::kSwpNoZOrder);
    EXPECT_EQ(first->width, restoredWidth);
    pf::ShowWindow(second->hwnd, pf::kSwMaximize);  // untitled: its place among the children
    EXPECT_EQ(mainText(main), "Main - [2]");

    // The application losing the focus minimises an activateRestores window and lets go
    // of its context; regaining it restores the window at (0, 0), sized savedX x savedY.
    gWindow* full = Make(kStyleSysMenu, nullptr, 50, 60);
    full->activateRestores = 1;
    gWinShow(full, true);
    pf::OnNativeFocus(full->hwnd, true);
    drain();
    pf::OnNativeFocus(full->hwnd, false);
    drain();
    EXPECT_TRUE(pf::IsIconic(full->hwnd));
    EXPECT_EQ(fake->CallsFor(full->hwnd).back(), "iconify");
    EXPECT_EQ(fake->currentContext, nullptr);
    EXPECT_FALSE(pf::IsIconic(main->hwnd));  // the others stay as they are
    pf::OnNativeFocus(main->hwnd, true);
    drain();
    pf::Rect rect;
    pf::GetWindowRect(full->hwnd, &rect);
    EXPECT_FALSE(pf::IsIconic(full->hwnd));
    EXPECT_EQ(std::tuple(rect.left, rect.right, rect.bottom), std::tuple(0, 50, 60));

    // The minimum tracking size reaches the native side; a new screen size is read.
    gWinSetMinSize(main, 150, 70);
    EXPECT_EQ(fake->CallsFor(main->hwnd).back(), "limits 150x70 0x0");
    fake->screenWidth = 1024;
    fake->screenHeight = 768;
    pf::OnNativeDisplayChange(1024, 768);
    drain();
    EXPECT_EQ(gScreenWidth(), 1024);
    EXPECT_EQ(gScreenHeight(), 768);
}

int gMainKeys = 0;
uint64_t gOnceThread = 0;
void OnKey(platform::Hwnd, platform::WParam, platform::LParam) { ++gMainKeys; }
void OnceHook(platform::WParam) { gOnceThread = platform::CurrentThreadId(); }

TEST_F(ToolkitWindowTest, ModalLoopDropsOtherInputServesPaintsSendsAndQuit) {
    gWindow* main = Make(kStyleSysMenu);
    gWindow* dialog = Make(kStyleSysMenu, main);
    gWinShow(main, true);
    gWinShow(dialog, true);
    platform::Msg msg;
    while (platform::PeekMessage(&msg, true)) platform::DispatchMessage(&msg);
    gHooks().keyDown = OnKey;
    gMainKeys = 0;
    fake->ClearCalls();
    platform::PostMessage(main->hwnd, platform::kWmKeyDown, 'A', 0);   // dropped
    platform::PostMessage(dialog->hwnd, platform::kWmKeyDown, 'B', 0);  // taken
    platform::InvalidateRect(main->hwnd);                              // painted
    gSetOnceHook(OnceHook);
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        platform::SendMessage(main->hwnd, kMsgOnce, 0, 0);  // runs while the modal loop waits
        platform::PostMessage(dialog->hwnd, platform::kWmClose, 0, 0);
    });
    gModalLoop(dialog, nullptr);
    other.join();
    EXPECT_EQ(gMainKeys, 1);
    EXPECT_EQ(gOnceThread, platform::CurrentThreadId());
    EXPECT_NE(fake->Count("swap"), 0u);
    bool mainSwapped = false;
    for (const std::string& call : fake->CallsFor(main->hwnd)) mainSwapped |= call == "swap";
    EXPECT_TRUE(mainSwapped);
    EXPECT_EQ(gWinValidate(dialog), nullptr);  // closed and released
    EXPECT_EQ(gModalWindow(), nullptr);

    // A quit taken by the modal loop is handed back to the main loop.
    gWindow* second = Make(kStyleSysMenu, main);
    gWinShow(second, true);
    platform::PostQuitMessage(0);
    gModalLoop(second, nullptr);
    EXPECT_FALSE(platform::GetMessage(&msg));
    EXPECT_EQ(msg.message, platform::kWmQuit);
    volatile uint8_t done = 1;
    gModalLoop(second, &done);  // already done: returns without taking a message
    gHooks().keyDown = nullptr;
}

}  // namespace
}  // namespace orva
