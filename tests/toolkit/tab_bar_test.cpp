// The tab bar on the recording backend: groups, adding and re-adding, scrolling,
// presses and removal.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fake_backend.h"
#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "toolkit/layout.h"
#include "toolkit/menu_bar.h"
#include "toolkit/tab_bar.h"

namespace orva {
namespace {

float SixPerChar(gFont*, const char* text) { return 6.0f * static_cast<float>(std::strlen(text)); }
const char* Label(uint32_t id, int32_t) {
    static std::string text;
    text = "Tab" + std::to_string(id);  // "Tab1" .. "Tab9": 24 pixels
    return text.c_str();
}
uint32_t Squared(uint32_t id) { return id * id; }

class TabBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(gInit(), nullptr);
        gWidgetsInstallHooks();
        saved_ = gTextHooks();
        gTextHooks() = gTextOps{};
        gTextHooks().width = SixPerChar;
        window = gWinCreateRec(10, 10, 400, 200, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        gShutdown();
        gTextHooks() = saved_;
    }
    TabDesc Desc(uint32_t id, uint32_t group = 7, uint32_t value = 0) {
        TabDesc d;
        d.value = value;
        d.label = Label;
        d.valueOf = Squared;
        d.tabId = id;
        d.groupId = group;
        return d;
    }
    platform::ScopedFakeBackend fake;
    gWindow* window = nullptr;
    gTextOps saved_;
};

TEST_F(TabBarTest, AddingAnExistingIdOnlyUpdatesIt) {
    gElement* e = TabCtrl::Create(window, nullptr, 300, 0, 0, true, nullptr, nullptr);
    ASSERT_NE(e, nullptr);
    TabCtrl* t = TabCtrl::FromWidget(e);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(e->height, t->pageBand + t->tabHeight);
    EXPECT_EQ(t->pageBand, t->tabHeight + 2);
    TabDesc a = Desc(1), b = Desc(2);
    EXPECT_EQ(TabCtrl::AddTab(e, &a, false), 1);
    EXPECT_EQ(TabCtrl::AddTab(e, &b, false), 1);
    TabGroup* g = t->current;
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->count, 2);
    EXPECT_EQ(g->current, 0);  // the first tab became current, "select" was not set
    EXPECT_EQ(g->tabs[1]->label, "Tab2");
    EXPECT_FLOAT_EQ(g->tabs[1]->width, t->tabHeight - 1 + 24);
    b.value = 99;
    EXPECT_EQ(TabCtrl::AddTab(e, &b, true), 2);
    EXPECT_EQ(g->count, 2);
    EXPECT_EQ(g->tabs[1]->desc.value, 99u);
    EXPECT_EQ(g->current, 1);
    EXPECT_EQ(g->previous, 0);
    // Another group keeps its own tabs; adding to it makes it current.
    TabDesc c = Desc(3, 8);
    EXPECT_EQ(TabCtrl::AddTab(e, &c, false), 1);
    EXPECT_EQ(t->groups.size(), 2u);
    EXPECT_EQ(t->current->count, 1);
    EXPECT_EQ(t->current->groupId, 8u);
    a = Desc(1);
    EXPECT_EQ(TabCtrl::AddTab(e, &a, false), 2);
    EXPECT_EQ(t->current, g);
    EXPECT_EQ(g->current, 1);  // not selected: the current tab stays
    TabCtrl::NotifyCurrent(e);
    EXPECT_EQ(g->tabs[0]->desc.value, 1u);
    EXPECT_EQ(g->tabs[1]->desc.value, 4u);
    EXPECT_TRUE(TabCtrl::RemoveAll(e));
    EXPECT_EQ(t->current, nullptr);
}

TEST_F(TabBarTest, TooManyTabsShowScrollArrows) {
    // Fixed 40-pixel tabs on a 150-pixel strip: room 150 - (16 + 6) = 128, so three fit.
    gElement* e = TabCtrl::Create(window, nullptr, 150, 40, 1, false, nullptr, nullptr);
    ASSERT_NE(e, nullptr);
    TabCtrl* t = TabCtrl::FromWidget(e);
    EXPECT_EQ(t->tabHeight, 16.0f);
    for (uint32_t id = 1; id <= 3; ++id) {
        TabDesc d = Desc(id);
        ASSERT_EQ(TabCtrl::AddTab(e, &d, false), 1);
    }
    TabGroup* g = t->current;
    EXPECT_FALSE(t->HasArrows());
    EXPECT_EQ(g->lastFit, 2);
    for (uint32_t id = 4; id <= 7; ++id) {
        TabDesc d = Desc(id);
        ASSERT_EQ(TabCtrl::AddTab(e, &d, false), 1);
    }
    EXPECT_TRUE(t->HasArrows());
    EXPECT_EQ(g->first, 0);
    EXPECT_EQ(g->lastFit, 2);
    // Selecting the last one scrolls it into view.
    EXPECT_TRUE(TabCtrl::SelectTab(e, 6));
    EXPECT_EQ(g->first, 6);
    EXPECT_EQ(g->current, 6);
    // A press in the left 10 units scrolls back a page; one at the right end forward.
    EXPECT_TRUE(TabCtrl::PressAt(e, 5, 5));
    EXPECT_EQ(g->first, 3);
    EXPECT_EQ(g->lastFit, 5);
    EXPECT_TRUE(TabCtrl::PressAt(e, 145, 5));
    EXPECT_EQ(g->first, 6);
    EXPECT_TRUE(TabCtrl::PressAt(e, 5, 5));
    EXPECT_TRUE(TabCtrl::PressAt(e, 5, 5));
    EXPECT_EQ(g->first, 0);
    EXPECT_FALSE(TabCtrl::PressAt(e, 5, 5));  // nothing earlier
    // A press on the second visible tab (arrows take 13 units at the left).
    EXPECT_TRUE(TabCtrl::PressAt(e, 13 + 41 + 5, 2));
    EXPECT_EQ(g->current, 1);
    EXPECT_EQ(g->previous, 6);

    // Removal moves the references to the successor; a wider strip fits everything.
    EXPECT_TRUE(TabCtrl::RemoveTabById(e, 0, 2));
    EXPECT_EQ(g->count, 6);
    EXPECT_EQ(g->current, 1);
    EXPECT_EQ(g->tabs[1]->desc.tabId, 3u);
    TabCtrl::SetWidth(e, 400);
    EXPECT_FALSE(t->HasArrows());
    EXPECT_TRUE(TabCtrl::RemoveTabById(e, 0, 12345));  // unknown: the whole group goes
    EXPECT_EQ(g->count, 0);
    EXPECT_EQ(g->current, -1);
    EXPECT_FALSE(TabCtrl::PressAt(e, 50, 5));
    EXPECT_EQ(TabCtrl::FromWidget(nullptr), nullptr);
}

// A real GL context: the current tab's shade, the arrows and a flat menu bar.
TEST(TabBarGlTest, TabsAndBarsPaint) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    ASSERT_NE(gInit(), nullptr);
    gWindow* window = gWinCreateRec(30, 30, 320, 240, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    ASSERT_NE(window, nullptr);
    gElement* e = TabCtrl::Create(window, nullptr, 150, 40, 1, false, nullptr, nullptr);
    ASSERT_NE(e, nullptr);
    for (uint32_t id = 1; id <= 5; ++id) {
        TabDesc d;
        d.tabId = id;
        ASSERT_EQ(TabCtrl::AddTab(e, &d, false), 1);
    }
    TabCtrl* t = TabCtrl::FromWidget(e);
    ASSERT_TRUE(t->HasArrows());
    gElement* bar = MenuBar::Create(window, nullptr, nullptr, nullptr, nullptr, nullptr, 1);
    ASSERT_NE(bar, nullptr);
    bar->height = bar->cellHeight = 30;
    ASSERT_TRUE(gWinOpen(window, "Tabs", kStyleShown));
    platform::Msg msg;
    for (int i = 0; i < 50 && platform::PeekMessage(&msg, true); ++i) platform::DispatchMessage(&msg);
    ASSERT_TRUE(gWinMakeCurrent(window));
    glViewport(0, 0, window->clientWidth, window->clientHeight);
    gWinPaint(window);
    auto read = [&](const gElement* w, float fx, float fy) {
        int col = static_cast<int>(fx);
        int row = (w->style & 0x80000) ? static_cast<int>(fy) : window->clientHeight - 1 - static_cast<int>(fy);
        unsigned char p[3] = {};
        glReadBuffer(GL_BACK);
        glReadPixels(col, row, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    // The current (first) tab after the 13-unit arrow: its shade, 7-bit channels as GL
    // scales signed bytes (c / 127).
    auto tab = read(e, e->x + 13 + 10, e->y + 5);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(tab[c], std::lround(t->shades[0][c] * 255.0 / 127.0), 1) << c;
    }
    // The flat menu bar: 0.9, 0.92, 0.95.
    auto flat = read(bar, bar->x + 4, bar->y + 10);
    EXPECT_NEAR(flat[0], 230, 1);
    EXPECT_NEAR(flat[1], 235, 1);
    EXPECT_NEAR(flat[2], 242, 1);
    platform::SwapBuffers(window->hdc);
    gUiCloseQuiet(nullptr);
    gMessageLoop(0);
    gShutdown();
}

}  // namespace
}  // namespace orva
