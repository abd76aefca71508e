// The tab bar on the recording backend: groups, adding and re-adding, scrolling,
// presses and removal.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "fake_window_fixture.h"
#include "gl_test_support.h"
#include "toolkit/menu_bar.h"
#include "toolkit/tab_bar.h"

namespace orva {
namespace {

using namespace testing_util;

const char* Label(uint32_t id, int32_t) {
    static std::string text;
    text = "Tab" + std::to_string(id);  // "Tab1" .. "Tab9": 24 pixels
    return text.c_str();
}
uint32_t Squared(uint32_t id) { return id * id; }

class TabBarTest : public FakeWindowTest {
protected:
    TabDesc Desc(uint32_t id, uint32_t group = 7, uint32_t value = 0) {
        return TabDesc{.value = value, .label = Label, .valueOf = Squared, .tabId = id, .groupId = group};
    }
};

TEST_F(TabBarTest, AddingAnExistingIdOnlyUpdatesIt) {
    gElement* e = TabCtrl::Create(window, nullptr, 300, 0, 0, true, nullptr, nullptr);
    ASSERT_NE(e, nullptr);
    TabCtrl* t = TabCtrl::FromWidget(e);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::tuple(e->height, t->pageBand), std::tuple(t->pageBand + t->tabHeight, t->tabHeight + 2));
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
    EXPECT_EQ(std::tuple(g->count, g->tabs[1]->desc.value, g->current, g->previous), std::tuple(2, 99u, 1, 0));
    // Another group keeps its own tabs; adding to it makes it current.
    TabDesc c = Desc(3, 8);
    EXPECT_EQ(TabCtrl::AddTab(e, &c, false), 1);
    EXPECT_EQ(t->groups.size(), 2u);
    EXPECT_EQ(std::tuple(t->current->count, t->current->groupId), std::tuple(1, 8u));
    a = Desc(1);
    EXPECT_EQ(TabCtrl::AddTab(e, &a, false), 2);
    EXPECT_EQ(t->current, g);
    EXPECT_EQ(g->current, 1);  // not selected: the current tab stays
    TabCtrl::NotifyCurrent(e);
    EXPECT_EQ(std::tuple(g->tabs[0]->desc.value, g->tabs[1]->desc.value), std::tuple(1u, 4u));
    EXPECT_TRUE(TabCtrl::RemoveAll(e));
    EXPECT_EQ(t->current, nullptr);
}

TEST_F(TabBarTest, ALabelWiderThanItsFixedTabIsCut) {
    // Fixed 40-pixel tabs: the label has 40 - (16 - 1) = 25 pixels, four characters of 6.
    gElement* e = TabCtrl::Create(window, nullptr, 300, 40, 1, false, nullptr, nullptr);
    ASSERT_NE(e, nullptr);
    TabDesc longer{.label = [](uint32_t, int32_t) { return "Extraction"; }, .tabId = 1, .groupId = 1};
    TabDesc shorter{.label = [](uint32_t, int32_t) { return "Src"; }, .tabId = 2, .groupId = 1};
    ASSERT_EQ(TabCtrl::AddTab(e, &longer, false), 1);
    ASSERT_EQ(TabCtrl::AddTab(e, &shorter, false), 1);
    const TabGroup* g = TabCtrl::FromWidget(e)->current;
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->tabs[0]->label, "Ex..");
    EXPECT_FLOAT_EQ(g->tabs[0]->labelWidth, 24.0f);
    EXPECT_EQ(g->tabs[1]->label, "Src");
    EXPECT_FLOAT_EQ(g->tabs[1]->width, 40.0f);
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
    EXPECT_EQ(std::tuple(g->first, g->lastFit), std::tuple(0, 2));
    // Selecting the last one scrolls it into view.
    EXPECT_TRUE(TabCtrl::SelectTab(e, 6));
    EXPECT_EQ(std::tuple(g->first, g->current), std::tuple(6, 6));
    // A press in the left 10 units scrolls back a page; one at the right end forward.
    EXPECT_TRUE(TabCtrl::PressAt(e, 5, 5));
    EXPECT_EQ(std::tuple(g->first, g->lastFit), std::tuple(3, 5));
    EXPECT_TRUE(TabCtrl::PressAt(e, 145, 5));
    EXPECT_EQ(g->first, 6);
    EXPECT_TRUE(TabCtrl::PressAt(e, 5, 5));
    EXPECT_TRUE(TabCtrl::PressAt(e, 5, 5));
    EXPECT_EQ(g->first, 0);
    EXPECT_FALSE(TabCtrl::PressAt(e, 5, 5));  // nothing earlier
    // A press on the second visible tab (arrows take 13 units at the left).
    EXPECT_TRUE(TabCtrl::PressAt(e, 13 + 41 + 5, 2));
    EXPECT_EQ(std::tuple(g->current, g->previous), std::tuple(1, 6));

    // Removal moves the references to the successor; a wider strip fits everything.
    EXPECT_TRUE(TabCtrl::RemoveTabById(e, 0, 2));
    EXPECT_EQ(std::tuple(g->count, g->current, g->tabs[1]->desc.tabId), std::tuple(6, 1, 3u));
    TabCtrl::SetWidth(e, 400);
    EXPECT_FALSE(t->HasArrows());
    EXPECT_TRUE(TabCtrl::RemoveTabById(e, 0, 12345));  // unknown: the whole group goes
    EXPECT_EQ(std::tuple(g->count, g->current), std::tuple(0, -1));
    EXPECT_FALSE(TabCtrl::PressAt(e, 50, 5));
    EXPECT_EQ(TabCtrl::FromWidget(nullptr), nullptr);
}

// A real GL context: the current tab's shade, the arrows and a flat menu bar.
TEST(TabBarGlTest, TabsAndBarsPaint) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow* window = InitWithFrame(30, 30, 320, 240);
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
    ASSERT_TRUE(OpenShown(window, "Tabs"));
    PaintWindow(window);
    // The current (first) tab after the 13-unit arrow: its shade, 7-bit channels as GL
    // scales signed bytes (c / 127).
    EXPECT_TRUE(RgbNear(WidgetPixel(window, e, e->x + 13 + 10, e->y + 5), Shade(t->shades[0]), 1));
    // The flat menu bar: 0.9, 0.92, 0.95.
    EXPECT_TRUE(RgbNear(WidgetPixel(window, bar, bar->x + 4, bar->y + 10), {230, 235, 242}, 1));
    platform::SwapBuffers(window->hdc);
    CloseToolkit();
}

}  // namespace
}  // namespace orva
