// The stacking order of top-level windows on the recording backend: a raised window
// keeps the windows it owns above it and the windows kept on top above everything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake_backend.h"
#include "platform/window_api.h"

namespace orva::platform {
namespace {

class WindowOrderTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterWindowClass("ORDER", [](Hwnd h, uint32_t m, WParam w, LParam l) { return DefWindowProc(h, m, w, l); },
                            0);
    }
    void TearDown() override {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) DestroyWindow(*it);
        UnregisterWindowClass("ORDER");
    }
    // A shown top-level window over the same square as every other one.
    Hwnd Make(const std::string& name, Hwnd owner = nullptr, uint32_t exStyle = 0) {
        Hwnd hwnd = CreateWindowEx(exStyle, "ORDER", name.c_str(), kWsPopup, 100, 100, 50, 50, owner, nullptr);
        if (hwnd != nullptr) {
            ShowWindow(hwnd, kSwShowNa);
            made_.push_back(hwnd);
        }
        return hwnd;
    }
    // The shown windows over the square's middle, topmost first: each found is hidden
    // so that the next one below it shows, and all are shown again afterwards (showing
    // does not restack).
    std::string Stack() {
        std::vector<Hwnd> found;
        while (Hwnd top = WindowFromPoint(Point{120, 120})) {
            found.push_back(top);
            ShowWindow(top, kSwHide);
        }
        std::string names;
        for (Hwnd h : found) {
            char text[16];
            GetWindowText(h, text, sizeof text);
            names += names.empty() ? "" : " ";
            names += text;
            ShowWindow(h, kSwShowNa);
        }
        return names;
    }

    ScopedFakeBackend fake;
    std::vector<Hwnd> made_;
};

TEST_F(WindowOrderTest, OwnedWindowsStayAboveTheirOwnerAndKeptOnTopWindowsAboveAll) {
    Hwnd main = Make("main");
    Hwnd a = Make("a", main);
    Hwnd b = Make("b", main);
    Hwnd aa = Make("aa", a);  // owned by an owned window
    Hwnd other = Make("other");
    Hwnd menu = Make("menu", nullptr, kWsExToolWindow | kWsExTopmost);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetOwner(aa), a);
    EXPECT_EQ(Stack(), "menu other aa b a main");

    // The owner raised: its owned windows come up with it in their own order, the menu
    // stays over all, and nothing is activated. The native side is told each window's
    // place below its neighbour, from the top down.
    fake->ClearCalls();
    ASSERT_TRUE(BringWindowToTop(main));
    EXPECT_EQ(fake->calls, (std::vector<std::string>{"raise", "below menu", "below aa", "below b", "below a"}));
    EXPECT_EQ(fake->CallsFor(menu).back(), "raise");
    EXPECT_EQ(Stack(), "menu aa b a main other");

    // An owned window raised: it and what it owns go over its sibling; the owner stays.
    ASSERT_TRUE(BringWindowToTop(a));
    EXPECT_EQ(Stack(), "menu aa a b main other");
    // A window without owner goes over all but the kept-on-top one.
    ASSERT_TRUE(BringWindowToTop(other));
    EXPECT_EQ(Stack(), "menu other aa a b main");
    // The kept-on-top window raised moves nothing else.
    fake->ClearCalls();
    ASSERT_TRUE(BringWindowToTop(menu));
    EXPECT_EQ(fake->calls, std::vector<std::string>{"raise"});
    EXPECT_EQ(Stack(), "menu other aa a b main");
    // Lowered to the bottom, a window leaves the others where they are.
    ASSERT_TRUE(SetWindowPos(other, kHwndBottom, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize | kSwpNoActivate));
    EXPECT_EQ(Stack(), "menu aa a b main other");
    // A hidden owned window is raised with its owner too: shown later, it comes up above it.
    ShowWindow(b, kSwHide);
    ASSERT_TRUE(BringWindowToTop(other));
    ASSERT_TRUE(SetWindowPos(main, kHwndTop, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize | kSwpNoActivate));
    ShowWindow(b, kSwShowNa);
    EXPECT_EQ(Stack(), "menu aa a b main other");
    // The order stays put when the raise asks for no z-order change.
    ASSERT_TRUE(SetWindowPos(other, kHwndTop, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize | kSwpNoZOrder));
    EXPECT_EQ(Stack(), "menu aa a b main other");
}

}  // namespace
}  // namespace orva::platform
