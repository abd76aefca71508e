// Panel windows with pages on the recording backend (a screen of 1024 x 768): the
// cascade over the window groups, the screen, the modes of OpenPanelWindow, pages built
// once and refreshed, tabs, destroy-on-close with the saved size, and the menu entries of
// pages in the menus the menu bar offers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/check_button.h"
#include "app/message_dialog.h"
#include "app/panel_window.h"
#include "platform/window_api.h"
#include "shell_fixture.h"
#include "toolkit/menu.h"
#include "toolkit/menu_bar.h"
#include "toolkit/tab_bar.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

using testing_util::ServeQueue;

struct PageCounts {
    int builds = 0;
    int refreshes = 0;
    bool refuse = false;
};

int CountingBuild(gWindow* window, PanelPage* page) {
    auto* counts = reinterpret_cast<PageCounts*>(page->data);
    if (counts->refuse) return 0;
    ++counts->builds;
    if (!PageAllocSlots(page, 1) || PageOpenGroup(window, page, kWsLeft | kWsTop) == nullptr) return 0;
    gWgtTemplate t{.desc = {.kind = 3, .style = kWsLeft | kWsTop, .width = 150, .height = 17,
                            .text = page->label.c_str()}};
    page->geometry.slots[0] = gWgtAdd(window, nullptr, &t, 0);
    if (!PageEnsureGlyphs(page)) return 0;
    PageUpdateGeometry(page);
    return 1;
}

void CountingRefresh(gWindow*, PanelPage* page, int) { ++reinterpret_cast<PageCounts*>(page->data)->refreshes; }

// A panel of the test with pages of the given kinds.
struct TestPanel {
    explicit TestPanel(std::vector<int32_t> kinds, uint32_t flags = 0, const char* title = "Test panel") {
        DialogPagesInit(&dialog);
        dialog.flags = flags;
        dialog.title = title;
        counts.resize(kinds.size());
        labels.resize(kinds.size());
        std::vector<PageRow> rows;
        for (size_t i = 0; i < kinds.size(); ++i) {
            labels[i] = "Page " + std::to_string(i + 1);
            rows.push_back({labels[i].c_str(), &CountingBuild, &CountingRefresh, kinds[i], 0,
                            reinterpret_cast<uintptr_t>(&counts[i])});
        }
        EXPECT_TRUE(DialogCreatePages(&dialog, rows.data(), static_cast<int>(rows.size())));
    }
    gWindow* window() const { return dialog.window; }
    bool shown() const { return PanelShown(&dialog); }
    bool pageShown(size_t i) const {
        gGroup* g = dialog.pages[i]->geometry.group;
        return g != nullptr && g->shown != 0;
    }
    std::vector<PageCounts> counts;
    std::vector<std::string> labels;
    DialogPages dialog;  // last: it goes first
};

class PanelsTest : public testing_util::ShellTest {
protected:
    void SetUp() override {
        Start();
        ResetPanelCascade();
    }
    void TearDown() override {
        ThePanelMenus() = PanelMenus{};
        Stop();
    }
};

TEST_F(PanelsTest, PanelsCascadeOverTheirWindowGroupAndStayOnTheScreen) {
    // The Preferences dialog, built hidden at the start, took the first place over the main window.
    EXPECT_EQ(cui().groups[0].cascade[0], 26);
    EXPECT_EQ(cui().groups[0].cascade[1], 30);
    TestPanel a({-1}), b({-1}), c({-1});
    for (TestPanel* p : {&a, &b, &c}) EXPECT_EQ(OpenPanelWindow(&p->dialog, kPanelShow, 0, Main()), kPanelShown);
    EXPECT_EQ(std::make_pair(a.window()->x, a.window()->y), std::make_pair(Main()->x + 70 + 26, Main()->y + 260 + 30));
    EXPECT_EQ(std::make_pair(b.window()->x - a.window()->x, b.window()->y - a.window()->y), std::make_pair(26, 30));
    EXPECT_EQ(std::make_pair(c.window()->x - b.window()->x, c.window()->y - b.window()->y), std::make_pair(26, 30));
    EXPECT_TRUE(a.shown() && b.shown() && c.shown());

    // Over "Chart Tools": 200 to the left of it would leave the screen.
    TestPanel tool({-1});
    OpenPanelWindow(&tool.dialog, kPanelShow, 0, Tools());
    EXPECT_EQ(std::make_pair(tool.window()->x, tool.window()->y), std::make_pair(0, Tools()->y + 260));
    EXPECT_EQ(cui().groups[1].cascade[0], 26);
    // Over a window of no group: the shared cascade from (30, 100).
    TestPanel foreign({-1});
    OpenPanelWindow(&foreign.dialog, kPanelShow, 0, a.window());
    EXPECT_EQ(std::make_pair(foreign.window()->x, foreign.window()->y),
              std::make_pair(std::max(0, a.window()->x + 30 - 200), std::min(a.window()->y + 360, 768 - foreign.window()->height)));

    // A panel taller than the screen gets the screen's height at y = 0.
    TestPanel tall({-1});
    tall.dialog.size[0] = 300;
    tall.dialog.size[1] = 2000;
    OpenPanelWindow(&tall.dialog, kPanelShow, 0, Main());
    EXPECT_EQ(tall.window()->y, 0);
    EXPECT_EQ(tall.window()->height, 768);
    EXPECT_EQ(tall.window()->width, 300);

    // A panel that never had a parent and is given none: nothing.
    size_t windows = platform::LiveWindowCount();
    TestPanel orphan({-1});
    EXPECT_EQ(OpenPanelWindow(&orphan.dialog, kPanelShow, 0, nullptr), 0);
    EXPECT_EQ(orphan.window(), nullptr);
    EXPECT_EQ(orphan.counts[0].builds, 0);
    EXPECT_EQ(platform::LiveWindowCount(), windows);
}

TEST_F(PanelsTest, ModesPagesAndTabs) {
    TestPanel p({-1, -1, -1}, kPanelTabBar);
    p.counts[1].refuse = true;  // a page whose builder refuses is left out
    // Mode 2 on a panel without a window builds it hidden, with its pages.
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelRefresh, 3, Main()), 0);
    ASSERT_NE(p.window(), nullptr);
    EXPECT_FALSE(p.shown());
    EXPECT_EQ(p.counts[0].builds, 1);
    EXPECT_EQ(p.counts[2].builds, 1);
    EXPECT_EQ(p.dialog.currentPage, p.dialog.pages[2]);
    EXPECT_EQ(p.dialog.mode, 0);  // mode 2 is stored as 0
    // Mode 2 on the hidden panel neither shows nor rebuilds it.
    int refreshes = p.counts[0].refreshes;
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelRefresh, 1, nullptr), 0);
    EXPECT_FALSE(p.shown());
    EXPECT_EQ(p.counts[0].refreshes, refreshes);
    // A toggle shows it at the asked page; its tabs name the pages that exist.
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelToggle, 1, nullptr), kPanelShown);
    EXPECT_TRUE(p.shown());
    EXPECT_EQ(p.counts[0].refreshes, refreshes + 1);
    EXPECT_EQ(p.dialog.currentPage, p.dialog.pages[0]);
    EXPECT_TRUE(p.pageShown(0));
    EXPECT_FALSE(p.pageShown(2));
    TabCtrl* tabs = TabCtrl::FromWidget(p.dialog.tabBar);
    ASSERT_NE(tabs, nullptr);
    ASSERT_NE(tabs->current, nullptr);
    EXPECT_EQ(tabs->current->count, 2);
    EXPECT_EQ(tabs->current->tabs[1]->label, "Page 3");
    // A tab switch shows the chosen page.
    ASSERT_TRUE(TabCtrl::SelectTab(p.dialog.tabBar, 1));
    p.dialog.tabBar->onClick(p.dialog.tabBar, p.dialog.tabBar->handlerData);
    EXPECT_EQ(p.dialog.currentPage, p.dialog.pages[2]);
    EXPECT_TRUE(p.pageShown(2));
    EXPECT_FALSE(p.pageShown(0));
    // Modes 1 and 2 on a shown panel refresh it and never close it; pages are built once.
    refreshes = p.counts[0].refreshes;
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelShow, 0, nullptr), kPanelAlreadyShown);
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelRefresh, 0, nullptr), kPanelAlreadyShown);
    EXPECT_TRUE(p.shown());
    EXPECT_EQ(p.dialog.currentPage, p.dialog.pages[2]);  // page 0: the current one
    EXPECT_EQ(p.counts[0].builds, 1);
    EXPECT_EQ(p.counts[0].refreshes, refreshes + 2);
    // A toggle of a shown panel puts it away (hidden and disabled, not destroyed).
    gWindow* w = p.window();
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelToggle, 0, nullptr), 1);
    EXPECT_FALSE(p.shown());
    EXPECT_FALSE(platform::IsWindowEnabled(w->hwnd));
    EXPECT_EQ(gWinValidate(w), w);
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelClose, 0, nullptr), 0);
    // The close box does the same.
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelShow, 0, nullptr), kPanelShown);
    EXPECT_TRUE(platform::IsWindowEnabled(w->hwnd));
    platform::SendMessage(w->hwnd, platform::kWmClose, 0, 0);
    EXPECT_FALSE(p.shown());
    EXPECT_EQ(gWinValidate(w), w);
    EXPECT_EQ(p.counts[0].builds, 1);
}

TEST_F(PanelsTest, APanelDestroyedOnCloseReopensWithItsSize) {
    TestPanel p({-1}, kPanelDestroyOnClose | kPanelTabBar);
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelShow, 0, Main()), kPanelShown);
    gWindow* w = p.window();
    platform::Point at{w->x, w->y};
    ASSERT_TRUE(gWinSetSize(w, 333, 222, &at));
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelClose, 0, nullptr), 0);
    ServeQueue();
    EXPECT_EQ(gWinValidate(w), nullptr);
    EXPECT_EQ(p.window(), nullptr);
    EXPECT_EQ(p.dialog.tabBar, nullptr);
    EXPECT_EQ(OpenPanelWindow(&p.dialog, kPanelShow, 0, Main()), kPanelShown);
    EXPECT_EQ(p.counts[0].builds, 2);  // built again in the new window
    EXPECT_EQ(std::make_pair(p.window()->clientWidth, p.window()->clientHeight), std::make_pair(333, 222));
    EXPECT_EQ(p.window()->x, Main()->x + 70 + 26 + 26);  // placed by the cascade
    // The close box destroys it too.
    w = p.window();
    platform::SendMessage(w->hwnd, platform::kWmClose, 0, 0);
    ServeQueue();
    EXPECT_EQ(gWinValidate(w), nullptr);
    EXPECT_EQ(p.window(), nullptr);
}

// The menus as the menu bar will offer them: titles 0..4 (Edit and View at 3 and 4) and
// the three submenus of the panels.
struct TestMenus {
    explicit TestMenus(MenuBar* bar) {
        for (const char* title : {"File", "Project", "Options", "Edit", "View"}) MenuBar::BuildItems(bar, title);
        for (size_t i = 0; i < 3; ++i) {
            submenus[i][0] = {names[i], 0, nullptr, 0, nullptr};
            submenus[i][1] = {"-", 0, nullptr, 0, nullptr};
            EXPECT_TRUE(MenuBar::AddItems(bar, 2, submenus[i], 2, true, false, nullptr, 0));
        }
        ThePanelMenus() = PanelMenus{submenus[0][0].item, submenus[1][0].item, submenus[2][0].item};
    }
    static std::vector<std::string> Children(gMenuItem* sub) {
        std::vector<std::string> labels;
        for (gMenuItem* c = sub != nullptr ? sub->firstChild : nullptr; c != nullptr; c = c->next)
            if (c->label != "-") labels.push_back(c->label);
        return labels;
    }
    const char* names[3] = {"Preferences", "Layout", "Chart Tools"};
    gMenuRow submenus[3][2];
};

// The menus need the menu host's fonts: on the test's X display.
class PanelsOnDisplayTest : public PanelsTest {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
        Start(false);
        ResetPanelCascade();
    }
};

TEST_F(PanelsOnDisplayTest, PageEntriesGoWhereTheirKindAsks) {
    MenuBar* bar = cui().groups[0].menuBar;
    ASSERT_NE(bar, nullptr);
    TestMenus menus(bar);
    ASSERT_NE(ThePanelMenus().preferences, nullptr);

    // Over the main window: kind 1 into "Preferences", 5 into "Layout", 0 into Edit, 2 into
    // View; a kind outside -1..5 has no entry; the panel's own entry follows its kind (4).
    TestPanel main({1, 5, 0, 2, 9}, 0, "Main panel");
    main.dialog.ownMenuKind = 4;
    // Built by a toggle, which its entries then do.
    EXPECT_EQ(OpenPanelWindow(&main.dialog, kPanelToggle, 0, Main()), kPanelShown);
    EXPECT_EQ(TestMenus::Children(ThePanelMenus().preferences), std::vector<std::string>{"Page 1"});
    EXPECT_EQ(TestMenus::Children(ThePanelMenus().layout), std::vector<std::string>{"Page 2"});
    EXPECT_TRUE(MenuBar::ItemAt(bar, 3, main.dialog.pages[2]->itemData.id));
    EXPECT_TRUE(MenuBar::ItemAt(bar, 4, main.dialog.pages[3]->itemData.id));
    EXPECT_TRUE(MenuBar::ItemAt(bar, 4, main.dialog.ownItemData.id));
    EXPECT_EQ(main.dialog.pages[4]->kind, kPageNoMenu);
    EXPECT_EQ(main.dialog.pages[4]->menuItem, nullptr);
    // An entry is made once.
    EXPECT_EQ(AddPageMenuItem(&main.dialog, 1, "Page 1", &main.dialog.pages[0]->itemData), nullptr);
    EXPECT_EQ(AddPageMenuItem(&main.dialog, 0, "Page 3", &main.dialog.pages[2]->itemData), nullptr);
    // The shown page's entry and the panel's own are checked.
    ASSERT_NE(main.dialog.pages[4]->geometry.group, nullptr);
    EXPECT_EQ(main.dialog.currentPage, main.dialog.pages[4]);  // the last page when none is asked for
    EXPECT_EQ(main.dialog.ownItem->check, 1);

    // Over "Chart Tools": kind 5 into its own submenu, kind 1 into "Preferences" too.
    TestPanel tools({5, 1});
    OpenPanelWindow(&tools.dialog, kPanelShow, 0, Tools());
    EXPECT_EQ(TestMenus::Children(ThePanelMenus().chartTools), std::vector<std::string>{"Page 1"});
    EXPECT_EQ(TestMenus::Children(ThePanelMenus().preferences), (std::vector<std::string>{"Page 1", "Page 2"}));
    // Over a window of no group, kind 1 goes into Edit and kind 5 into View.
    TestPanel foreign({1, 5});
    OpenPanelWindow(&foreign.dialog, kPanelShow, 0, main.window());
    EXPECT_TRUE(MenuBar::ItemAt(bar, 3, foreign.dialog.pages[0]->itemData.id));
    EXPECT_TRUE(MenuBar::ItemAt(bar, 4, foreign.dialog.pages[1]->itemData.id));

    // An entry opens its panel at its page and checks it; closing clears the marks.
    OpenPanelWindow(&main.dialog, kPanelClose, 0, nullptr);
    EXPECT_EQ(main.dialog.ownItem->check, 0);
    gMenuItem* second = main.dialog.pages[1]->menuItem;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->handler(second, second->userData), 1);
    EXPECT_TRUE(main.shown());
    EXPECT_EQ(main.dialog.currentPage, main.dialog.pages[1]);
    EXPECT_EQ(second->check, 1);
    EXPECT_EQ(main.dialog.pages[0]->menuItem->check, 0);
    // The entry of another page shows that page; the shown page's entry puts the panel away.
    gMenuItem* first = main.dialog.pages[0]->menuItem;
    first->handler(first, first->userData);
    EXPECT_TRUE(main.shown());
    EXPECT_EQ(main.dialog.currentPage, main.dialog.pages[0]);
    first->handler(first, first->userData);
    EXPECT_FALSE(main.shown());
    EXPECT_EQ(first->check, 0);
    EXPECT_EQ(second->check, 0);
}

TEST_F(PanelsTest, PageRoutines) {
    TestPanel p({-1});
    PanelPage* page = p.dialog.pages[0];
    EXPECT_FALSE(PageAllocSlots(page, 0));
    EXPECT_FALSE(PageAllocSlots(page, 4097));
    EXPECT_TRUE(PageAllocSlots(page, 3));
    EXPECT_TRUE(PageAllocSlots(page, 3));   // the same count again
    EXPECT_FALSE(PageAllocSlots(page, 4));  // another count
    // Slots left empty fail the glyph check, which closes the page.
    EXPECT_FALSE(PageEnsureGlyphs(page));
    EXPECT_EQ(page->geometry.slots, nullptr);
    // The group: made once in the window, refused for an incompatible slot.
    OpenPanelWindow(&p.dialog, kPanelShow, 0, Main());
    gGroup* group = page->geometry.group;
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(PageOpenGroup(p.window(), page, kWsLeft | kWsTop), group);
    EXPECT_EQ(PageOpenGroup(p.window(), page, kWsRight | kWsBottom), nullptr);
    PageUpdateGeometry(page);
    EXPECT_EQ(page->geometry.width, group->width + group->marginLeft + group->marginRight);
    EXPECT_GT(page->geometry.height, 0.0f);
}

}  // namespace
}  // namespace orva
