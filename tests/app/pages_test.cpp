// The records through which components show their settings: zeroed aligned blocks,
// element slots, options-window containers, blocks that are built once and refreshed
// after, component windows that a builder refuses, and the placement and titles of
// component windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/cui.h"
#include "app/property_pages.h"
#include "app/ui_startup.h"
#include "app/ui_elements.h"
#include "common/aligned_memory.h"
#include "framework/component_id.h"
#include "framework/pipeline.h"
#include "platform/window_api.h"
#include "shell_fixture.h"
#include "toolkit/tab_bar.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

// A component whose builder shows two blocks of controls and records what it did.
std::vector<std::string> gLog;
int32_t gAnswer = 1;

void Note(const std::string& s) { gLog.push_back(s); }

class TwoBlocks : public ComponentBase {
public:
    TwoBlocks() : ComponentBase(nullptr) {
        panelBuilder = &Builder;
        name = "Blocks";
    }
    const ComponentId* GetClassId() const override { return &kReductionId; }

    static void Build(UIElement* e, gElement** slots) {
        Note("build " + std::to_string(e->index - 1));
        e->name = e->index == 1 ? "First" : "Second";
        for (uint32_t i = 0; i < e->slotCount; ++i) {
            gWgtTemplate t{.desc = {.kind = 3, .style = e->group->style & kWsSlotBits, .text = "x"}};
            slots[i] = gWgtAdd(e->window, nullptr, &t, 0);
        }
    }
    static void Refresh(UIPage*, UIElement* e, int32_t pageId) {
        Note("refresh " + std::to_string(e->index - 1) + " " + std::to_string(pageId));
    }
    static int32_t Builder(PageWindow* pw, void* window, int32_t pageId) {
        auto* page = static_cast<UIPage*>(pw);
        auto* w = static_cast<gWindow*>(window);
        int32_t shown = 0;
        for (uint32_t block = 0; block < 2; ++block) {
            shown += ShowComponentPage(page, w, 0x24000, &Builder, block + 2, block, 13, pageId, &Build, &Refresh,
                                       nullptr)
                         ? 1
                         : 0;
        }
        return gAnswer == 0 ? 0 : shown;
    }
};

// A component whose builder shows two blocks of one static text each, of the given
// sizes, in the window's default group (as a hosted page is built).
float gBlockHeights[2] = {100.0f, 100.0f};
constexpr float kBlockWidth = 240.0f;

class SizedBlocks : public ComponentBase {
public:
    SizedBlocks() : ComponentBase(nullptr) {
        panelBuilder = &Builder;
        name = "Sized";
    }
    const ComponentId* GetClassId() const override { return &kReductionId; }

    static void Build(UIElement* e, gElement** slots) {
        e->name = e->index == 1 ? "First" : "Second";
        gWgtTemplate t{.desc = {.kind = 4, .style = e->group->style & kWsSlotBits, .width = kBlockWidth,
                                .height = gBlockHeights[e->index - 1], .text = "x"}};
        slots[0] = gWgtAdd(e->window, nullptr, &t, 0);
    }
    static int32_t Builder(PageWindow* pw, void* window, int32_t pageId) {
        auto* page = static_cast<UIPage*>(pw);
        int32_t shown = 0;
        for (uint32_t block = 0; block < 2 && UIPageIsLive(page); ++block)
            shown += ShowComponentPage(page, static_cast<gWindow*>(window), 0, &Builder, 1, block, 2, pageId, &Build,
                                       nullptr, nullptr)
                         ? 1
                         : 0;
        return shown;
    }
};

// A component that names its page, as a stage's builder does, then shows the two blocks;
// and one that shows nothing in a group window (as a display cell's builder).
class NamedBlocks : public SizedBlocks {
public:
    NamedBlocks() { panelBuilder = &Named; }
    static int32_t Named(PageWindow* pw, void* window, int32_t pageId) {
        auto* page = static_cast<UIPage*>(pw);
        if (UIPageIsLive(page) && page->name.empty()) page->name = "Named";
        return SizedBlocks::Builder(pw, window, pageId);
    }
};

class ShowsNothing : public ComponentBase {
public:
    ShowsNothing() : ComponentBase(nullptr) { panelBuilder = &Nothing; }
    const ComponentId* GetClassId() const override { return &kReductionId; }
    static int32_t Nothing(PageWindow*, void*, int32_t) { return 0; }
};

// The bottom and right edges of a group with its margins.
float Bottom(const gGroup* g) { return g->y + g->height + g->marginTop + g->marginBottom; }
float Right(const gGroup* g) { return g->x + g->width + g->marginLeft + g->marginRight; }

class PagesTest : public testing_util::ShellTest {
protected:
    void SetUp() override {
        Start();
        gLog.clear();
        gAnswer = 1;
        gBlockHeights[0] = gBlockHeights[1] = 100.0f;
        ResetDefaultCascade();
    }
};

TEST_F(PagesTest, ZeroedBlocksAndSlots) {
    auto* block = static_cast<unsigned char*>(AllocZeroed(37));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 32, 0u);
    EXPECT_EQ(std::count(block, block + 37, 0), 37);
    AlignedFree(block);

    UIPage page;
    UIElement* e = UIElementCreate(&page);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(std::make_tuple(e->tag, e->flags, e->page), std::make_tuple(kElementRecordTag, 1u, &page));
    EXPECT_FALSE(UIElementAllocSlots(e, 0));
    EXPECT_FALSE(UIElementAllocSlots(e, 4097));
    EXPECT_TRUE(UIElementAllocSlots(e, 4096));
    EXPECT_FALSE(UIElementAllocSlots(e, 4096));
    EXPECT_EQ(e->slotCount, 4096u);
    // Empty slots fail the glyph check, which resets the element.
    EXPECT_FALSE(UIElementEnsureGlyphs(e, 4096));
    EXPECT_EQ(std::make_tuple(e->slots, e->flags), std::make_tuple(static_cast<gElement**>(nullptr), 0u));
}

TEST_F(PagesTest, OptionsWindowContainersByKind) {
    struct Case {
        int32_t kind;
        int32_t recordId;  // 0: no window record
        PanelBuilder builder;
    };
    for (Case c : {Case{0, kPageGeneric, &GenericWindowBuilder}, {2, kPageGeneric, &GenericWindowBuilder},
                   {3, kPageOptions, &OptionsPageBuild}, {4, 0, nullptr}, {5, 0, nullptr}}) {
        OptionsWindow* w = CreateOptionsWindow(&cui(), c.kind);
        ASSERT_NE(w, nullptr) << c.kind;
        EXPECT_EQ(w->windows.size(), c.recordId != 0 ? 1u : 0u) << c.kind;
        if (c.recordId != 0) {
            EXPECT_EQ(w->windows[0]->element.pageId, c.recordId);
            EXPECT_EQ(w->windows[0]->kind, c.kind);
        }
        EXPECT_EQ(w->panelBuilder, c.builder) << c.kind;
        EXPECT_TRUE(ListFindItem(cui().containers.head, w) != nullptr) << c.kind;
        EXPECT_TRUE(IdHasStage(w->GetClassId(), FourCC("GCTL"), FourCC("CTNR")));
        ASSERT_NE(w->ownPage, nullptr);
        EXPECT_EQ(w->ownPage->flags & (kPageInUse | kPageNeedsBuild), kPageInUse | kPageNeedsBuild);
    }
}

TEST_F(PagesTest, BlocksAreBuiltOnceThenRefreshed) {
    auto* c = new TwoBlocks;
    UIPage* page = CUICreateWindowRecord(&cui());
    ASSERT_TRUE(UIPageAttachComponent(page, c));
    // A refresh of a page that was never built calls nothing.
    EXPECT_TRUE(ShowComponentPage(page, nullptr, 0, &TwoBlocks::Builder, 2, 0, 13, kPageRefresh, &TwoBlocks::Build,
                                  &TwoBlocks::Refresh, nullptr));
    EXPECT_TRUE(gLog.empty());
    // Without a window nothing is to be done.
    EXPECT_EQ(TwoBlocks::Builder(page, nullptr, 5), 2);
    EXPECT_TRUE(gLog.empty());

    EXPECT_EQ(TwoBlocks::Builder(page, Main(), 5), 2);
    EXPECT_EQ(gLog, (std::vector<std::string>{"build 0", "refresh 0 5", "build 1", "refresh 1 5"}));
    ASSERT_EQ(page->table.size(), 13u);
    EXPECT_EQ(page->table[1]->slotCount, 3u);
    gLog.clear();
    EXPECT_EQ(TwoBlocks::Builder(page, Main(), 7), 2);
    EXPECT_EQ(gLog, (std::vector<std::string>{"refresh 0 7", "refresh 1 7"}));
    // A refresh without a window finds the blocks through their stored window.
    gLog.clear();
    page->table.assign(page->table.size(), nullptr);
    EXPECT_EQ(TwoBlocks::Builder(page, nullptr, kPageRefresh), 2);
    EXPECT_EQ(gLog, (std::vector<std::string>{"refresh 0 -1024", "refresh 1 -1024"}));
    c->Release();
}

TEST_F(PagesTest, ComponentWindowsPlacementAndTitles) {
    OptionsWindow* options = CreateOptionsWindow(&cui(), 3);
    ASSERT_NE(options, nullptr);
    auto* hosted = new TwoBlocks;
    ASSERT_TRUE(UIPageAttachComponent(options->ownPage, hosted));
    UIWindowRecord* record = UIWindowRecordFind(options, kPageOptions);
    ASSERT_NE(record, nullptr);

    // A builder that shows nothing for a new window leaves no window behind.
    size_t windows = platform::LiveWindowCount();
    gAnswer = 0;
    EXPECT_EQ(OpenComponentWindow(options, Main(), kWindowToggle, 0, record), nullptr);
    testing_util::ServeQueue();
    EXPECT_EQ(platform::LiveWindowCount(), windows);
    EXPECT_EQ(record->element.window, nullptr);

    // Opened over the tool window: cascaded from its group, titled with the tool suffix.
    gAnswer = 1;
    gWindow* w = OpenComponentWindow(options, Tools(), kWindowToggle, 0, record);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->title, "Blocks Options  Tool");
    // 200 to the left of the tool window would leave the screen: x stops at 0.
    EXPECT_EQ(std::make_pair(w->x, w->y), std::make_pair(0, Tools()->y));
    EXPECT_EQ(cui().groups[1].cascade[0], 20);
    // A refresh never closes a window; a toggle of a shown one hides it.
    EXPECT_EQ(OpenComponentWindow(options, Tools(), kWindowRefresh, 0, record), w);
    EXPECT_TRUE(platform::IsWindowVisible(w->hwnd));
    EXPECT_EQ(OpenComponentWindow(options, Tools(), kWindowToggle, 0, record), w);
    EXPECT_FALSE(platform::IsWindowVisible(w->hwnd));

    // Placement clamps into the screen: a window taller than it gets its height.
    record->width = 300;
    record->height = 2000;
    int32_t x = 0, y = 0, width = 0, height = 0;
    PlaceRecordWindow(record, Main(), kWindowStyleKind3, 1024, 768, &x, &y, &width, &height);
    // (The "Preferences" dialog built at start-up and the refused window above took the
    // first two places over the main window.)
    EXPECT_EQ(std::make_tuple(x, y, width, height), std::make_tuple(62 + 70 + 26 + 20, 0, 300, 768));

    // Titles: the suffix when it fits, else the text cut with the mark 0x85.
    EXPECT_EQ(WindowTitle(record, &TwoBlocks::Builder, kToolTitleSuffix, 260), "Blocks Options  Tool");
    std::string cut = WindowTitle(record, &TwoBlocks::Builder, kToolTitleSuffix, 12);
    EXPECT_EQ(cut, "Blocks O\x85");
    // The mark reaches the window manager as an ellipsis.
    gWinSetTitle(w, cut.c_str());
    std::vector<std::string> calls = Fake().CallsFor(w->hwnd);
    EXPECT_NE(std::find(calls.begin(), calls.end(), "title Blocks O\u2026"), calls.end());
    hosted->Release();
}

TEST_F(PagesTest, AWindowWithATabBarShowsOneBlockAtATime) {
    OptionsWindow* options = CreateOptionsWindow(&cui(), 3);
    ASSERT_NE(options, nullptr);
    auto* hosted = new TwoBlocks;
    ASSERT_TRUE(UIPageAttachComponent(options->ownPage, hosted));
    UIWindowRecord* record = CreateUIWindowWithFlags(options, kPageOptions, kRecordTabBar, 3);
    ASSERT_NE(record, nullptr);
    gWindow* w = OpenComponentWindow(options, Main(), kWindowToggle, 0, record);
    ASSERT_NE(w, nullptr);
    ASSERT_NE(record->element.slots, nullptr);
    TabCtrl* tabs = TabCtrl::FromWidget(record->element.slots[0]);
    ASSERT_NE(tabs, nullptr);
    ASSERT_NE(tabs->current, nullptr);
    ASSERT_EQ(tabs->current->count, 2);
    EXPECT_EQ(tabs->current->tabs[0]->label, "First");
    EXPECT_EQ(tabs->current->tabs[1]->label, "Second");
    std::vector<UIElement*> blocks = options->ownPage->table;
    ASSERT_TRUE(blocks[0] != nullptr && blocks[1] != nullptr);
    // Both blocks stand below the tab bar; the chosen one is shown.
    for (UIElement* e : {blocks[0], blocks[1]}) EXPECT_GE(e->group->y, record->element.slots[0]->y + 16.0f);
    EXPECT_TRUE(WindowTabSelect(record, 1));
    EXPECT_EQ(std::make_pair(blocks[0]->group->shown, blocks[1]->group->shown), std::make_pair(uint8_t{0}, uint8_t{1}));
    hosted->Release();
}

// The main window's "Source" tab carries a tab bar: the hosted page's blocks take turns
// under it, below the title label, in the page column at the left, which widens to the
// blocks and lengthens the window for the taller one; the group's own tabs hide and show
// the whole page.
TEST_F(PagesTest, TheMainWindowShowsATabbedPageInItsColumn) {
    WindowGroup& g = cui().groups[0];
    ASSERT_EQ(g.tabPages.size(), 2u);
    UIPage* record = g.tabPages[0];
    OptionsWindow* c = AsOptionsWindow(record->current);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(g.sideWidth, 0);
    gBlockHeights[0] = 150.0f;
    gBlockHeights[1] = 380.0f;
    auto* hosted = new SizedBlocks;
    ASSERT_TRUE(UIPageAttachComponent(c->ownPage, hosted));
    const int32_t heightBefore = Main()->clientHeight;
    EXPECT_EQ(OptionsPageBuild(record, Main(), 0), 2);

    ASSERT_TRUE(record->element.slots != nullptr && record->element.slotCount >= 2);
    gElement* tabs = record->element.slots[0];
    TabCtrl* t = TabCtrl::FromWidget(tabs);
    ASSERT_TRUE(t != nullptr && t->current != nullptr);
    ASSERT_EQ(t->current->count, 2);
    EXPECT_EQ(t->current->tabs[0]->label, "First");
    EXPECT_EQ(t->current->tabs[1]->label, "Second");
    UIElement* first = c->ownPage->table[0];
    UIElement* second = c->ownPage->table[1];
    ASSERT_TRUE(first != nullptr && second != nullptr && first->group != nullptr && second->group != nullptr);
    ASSERT_NE(first->group, second->group);
    // Title label, then the tab bar, then the blocks at one place; the first is shown.
    UIWindowRecord* options = UIWindowRecordFind(c, kPageOptions);
    ASSERT_TRUE(options != nullptr && options->titleLabel != nullptr);
    gElement* label = options->titleLabel;
    EXPECT_LE(label->y + label->height, tabs->y);
    EXPECT_GE(tabs->y, g.tabBar->y + g.tabBar->height);
    for (UIElement* e : {first, second}) EXPECT_GE(e->group->y, tabs->y + tabs->height) << e->name;
    EXPECT_EQ(std::make_pair(first->group->x, first->group->y), std::make_pair(second->group->x, second->group->y));
    EXPECT_EQ(std::make_pair(first->group->shown, second->group->shown), std::make_pair(uint8_t{1}, uint8_t{0}));
    // The column holds the blocks beside the workspace.
    ASSERT_NE(DockedTabGroup(record), nullptr);
    const float widest = std::max(Right(first->group), Right(DockedTabGroup(record)));
    EXPECT_GE(static_cast<float>(g.sideWidth), widest);
    EXPECT_LT(static_cast<float>(g.sideWidth), widest + 4.0f);
    EXPECT_EQ(Main()->clientHeight, heightBefore);

    // The second block: the window grows to hold it (it fits the 768-pixel screen).
    ASSERT_TRUE(TabCtrl::SelectTab(tabs, 1));
    ASSERT_NE(tabs->onClick, nullptr);
    tabs->onClick(tabs, tabs->handlerData);
    EXPECT_EQ(std::make_pair(first->group->shown, second->group->shown), std::make_pair(uint8_t{0}, uint8_t{1}));
    const float needed = Bottom(second->group) + static_cast<float>(g.bottomMargin);
    ASSERT_GT(needed, static_cast<float>(heightBefore));
    ASSERT_LT(needed, 740.0f);
    EXPECT_GE(static_cast<float>(Main()->clientHeight), needed);
    EXPECT_LT(static_cast<float>(Main()->clientHeight), needed + 4.0f);

    // The group's second tab hides the page with its label and tab bar; the first brings
    // back the chosen block only.
    ASSERT_TRUE(TabCtrl::SelectTab(g.tabBar, 1));
    g.tabBar->onClick(g.tabBar, g.tabBar->handlerData);
    EXPECT_EQ(std::make_tuple(first->group->shown, second->group->shown, tabs->shown, label->shown),
              std::make_tuple(uint8_t{0}, uint8_t{0}, uint8_t{0}, uint8_t{0}));
    ASSERT_TRUE(TabCtrl::SelectTab(g.tabBar, 0));
    g.tabBar->onClick(g.tabBar, g.tabBar->handlerData);
    EXPECT_EQ(std::make_tuple(first->group->shown, second->group->shown, tabs->shown, label->shown),
              std::make_tuple(uint8_t{0}, uint8_t{1}, uint8_t{1}, uint8_t{1}));

    // Blocks dropped from the window and made again: their tabs replace the old ones.
    UIPageDropWindow(c->ownPage, Main());
    EXPECT_EQ(OptionsPageBuild(record, Main(), 0), 2);
    EXPECT_EQ(t->current->count, 2);
    // Another component in the page's place shows its blocks under the same tabs.
    hosted->Release();
    auto* next = new SizedBlocks;
    ASSERT_TRUE(UIPageAttachComponent(c->ownPage, next));
    EXPECT_EQ(OptionsPageBuild(record, Main(), 0), 2);
    EXPECT_EQ(t->current->count, 2);
    ASSERT_TRUE(c->ownPage->table[0] != nullptr && c->ownPage->table[0]->group != nullptr);
    EXPECT_GE(c->ownPage->table[0]->group->y, tabs->y + tabs->height);
    next->Release();
}

// Without a tab bar (the "Plug-ins" tab) the blocks of a page stack below its title label
// instead of covering each other; blocks placed to the right stand side by side.
TEST_F(PagesTest, BlocksOfAPageStackWithoutATabBar) {
    WindowGroup& g = cui().groups[0];
    ASSERT_EQ(g.tabPages.size(), 2u);
    UIPage* record = g.tabPages[1];
    OptionsWindow* c = AsOptionsWindow(record->current);
    ASSERT_NE(c, nullptr);
    auto* hosted = new SizedBlocks;
    ASSERT_TRUE(UIPageAttachComponent(c->ownPage, hosted));
    EXPECT_EQ(OptionsPageBuild(record, Main(), 0), 2);
    EXPECT_TRUE(record->element.slots == nullptr);  // no tab bar
    UIElement* first = c->ownPage->table[0];
    UIElement* second = c->ownPage->table[1];
    ASSERT_TRUE(first != nullptr && second != nullptr && first->group != nullptr && second->group != nullptr);
    ASSERT_NE(record->element.group, nullptr);
    EXPECT_FLOAT_EQ(first->group->y, Bottom(record->element.group) + 2.0f);
    EXPECT_FLOAT_EQ(second->group->y, Bottom(first->group) + 2.0f);
    EXPECT_FLOAT_EQ(second->group->x, first->group->x);
    // Both are shown on the chosen tab and both fit in the column.
    ASSERT_TRUE(TabCtrl::SelectTab(g.tabBar, 1));
    g.tabBar->onClick(g.tabBar, g.tabBar->handlerData);
    EXPECT_EQ(std::make_pair(first->group->shown, second->group->shown), std::make_pair(uint8_t{1}, uint8_t{1}));
    EXPECT_GE(static_cast<float>(g.sideWidth), Right(second->group));
    hosted->Release();

    // To the right: each block beside the one it would cover.
    UIPage* page = CUICreateWindowRecord(&cui());
    ASSERT_NE(page, nullptr);
    page->element.window = Main();
    page->element.page = page;
    gGroup* pageGroup = UIElementGetGroup(&page->element, 0x24000, 0);
    ASSERT_NE(pageGroup, nullptr);
    std::vector<gGroup*> placed;
    for (int i = 0; i < 2; ++i) {
        UIElement* e = UIElementCreate(page);
        ASSERT_NE(e, nullptr);
        e->window = Main();
        gGroup* group = UIElementGetGroup(e, 0x24000, 0x10000);
        ASSERT_NE(group, nullptr);
        placed.push_back(group);
    }
    EXPECT_FLOAT_EQ(placed[0]->x, Right(pageGroup) + 2.0f);
    EXPECT_FLOAT_EQ(placed[1]->x, Right(placed[0]) + 2.0f);
    EXPECT_FLOAT_EQ(placed[1]->y, pageGroup->y);
}

}  // namespace
}  // namespace orva

namespace orva {
namespace {

// The pages registered for an opened file's components in a group window become tabs of
// that window, named by their builders, as long as they show something there; the
// Reduction's style (0x10000 more) joins the same tab bar. A page whose component goes
// loses its tab.
TEST_F(PagesTest, RegisteredPagesAreTabsOfTheirWindow) {
    SourceOpenState request;
    request.ui = &cui();
    const uint32_t style = kGroupStyleMain | kGroupPagesBit;
    auto* named = new NamedBlocks;
    auto* nothing = new ShowsNothing;
    auto* wide = new NamedBlocks;
    RegisterComponentPages(&request, named, Main(), style, true);
    RegisterComponentPages(&request, nothing, Main(), style, true);
    RegisterComponentPages(&request, wide, Main(), style | 0x10000, true);
    WindowGroup& g = cui().groups[0];
    EXPECT_EQ(g.tabLabels, (std::vector<std::string>{"Source", "Plug-ins", "Named", "Named"}));
    EXPECT_TRUE(cui().groups[1].tabLabels.empty());
    // The pages host their components; the hosted pages keep the style without the group's
    // page bit, the wider one with 0x10000.
    for (auto [c, bits] : {std::pair<ComponentBase*, uint32_t>{named, kGroupStyleMain},
                           std::pair<ComponentBase*, uint32_t>{wide, kGroupStyleMain | 0x10000}}) {
        auto* page = static_cast<UIPage*>(c->pageWindow);
        ASSERT_TRUE(UIPageIsLive(page));
        EXPECT_EQ(page->current, c);
        EXPECT_EQ(page->flags & kPageStyleMask, bits);
    }
    // Choosing the third tab shows the first component's blocks only.
    auto* page = static_cast<UIPage*>(named->pageWindow);
    auto* widePage = static_cast<UIPage*>(wide->pageWindow);
    ASSERT_TRUE(!page->table.empty() && page->table[0] != nullptr && !widePage->table.empty() &&
                widePage->table[0] != nullptr);
    ASSERT_TRUE(TabCtrl::SelectTab(g.tabBar, 2));
    g.tabBar->onClick(g.tabBar, g.tabBar->handlerData);
    EXPECT_EQ(std::make_pair(page->table[0]->group->shown, widePage->table[0]->group->shown),
              std::make_pair(uint8_t{1}, uint8_t{0}));

    // The first component goes: its tab with it.
    named->Release();
    GroupPagesChanged(Main());
    EXPECT_EQ(g.tabLabels, (std::vector<std::string>{"Source", "Plug-ins", "Named"}));
    EXPECT_EQ(g.tabPages.size(), 3u);
    nothing->Release();
    wide->Release();
}

}  // namespace
}  // namespace orva
