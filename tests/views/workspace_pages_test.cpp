// The workspace's tool pages without a server: the page table behind the panel builder,
// the readouts that follow the pointer, the readout pages and the fast selector, on
// widgets of a window record of the recording backend.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/cui.h"
#include "views/workspace.h"
#include "app/ui_elements.h"
#include "common/number_text.h"
#include "framework/display_lock.h"
#include "framework/frame_player.h"
#include "framework/port.h"
#include "platform/fake_backend.h"
#include "toolkit/font.h"
#include "toolkit/number_field.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/fast_selector.h"
#include "io/frame_cursor.h"
#include "views/playback.h"
#include "views/readout_pages.h"
#include "views/transport_page.h"
#include "views/workspace_pages.h"
#include "views/workspace_readouts.h"
#include "source_test_support.h"
#include "views_test_support.h"

namespace orva {
namespace {

using views_testing::HookScope;
using views_testing::WiredCell;

std::string Digits(int digits, int decimals, double v) {
    char text[64];
    const int n = FormatDoubleDigits(digits, decimals, v, text);
    return std::string(text, static_cast<size_t>(n));
}

// One call of the page machinery as the builder made it.
struct ShowCall {
    uint32_t style, slots, index, kind;
    int32_t pageId;
    bool operator==(const ShowCall&) const = default;
};
std::ostream& operator<<(std::ostream& out, const ShowCall& c) {
    return out << "{" << std::hex << c.style << std::dec << ", " << c.slots << ", " << c.index << ", " << c.kind
               << ", " << c.pageId << "}";
}

struct Spy {
    std::vector<ShowCall> shows;
    std::vector<std::pair<gElement*, std::string>> texts;
    int builds = 0, refreshes = 0;
    PageBuildFn build = nullptr;
    PageRefreshFn refresh = nullptr;
};
Spy& TheSpy() {
    static Spy spy;
    return spy;
}

bool RecordShow(UIPage*, gWindow*, uint32_t style, PanelBuilder, uint32_t slots, uint32_t index, uint32_t kind,
                int32_t pageId, PageBuildFn, PageRefreshFn, UIElement**) {
    TheSpy().shows.push_back({style, slots, index, kind, pageId});
    return true;
}

// The real machinery with the entry's build and refresh counted.
void CountingBuild(UIElement* e, gElement** slots) {
    ++TheSpy().builds;
    if (TheSpy().build != nullptr) TheSpy().build(e, slots);
}
void CountingRefresh(UIPage* page, UIElement* e, int32_t id) {
    ++TheSpy().refreshes;
    if (TheSpy().refresh != nullptr) TheSpy().refresh(page, e, id);
}
bool CountingShow(UIPage* page, gWindow* window, uint32_t style, PanelBuilder key, uint32_t slots, uint32_t index,
                  uint32_t kind, int32_t pageId, PageBuildFn build, PageRefreshFn refresh, UIElement** out) {
    TheSpy().build = build;
    TheSpy().refresh = refresh;
    return ShowComponentPage(page, window, style, key, slots, index, kind, pageId, &CountingBuild,
                             refresh != nullptr ? &CountingRefresh : nullptr, out);
}

void SpyText(gElement* widget, const char* text, int32_t length) {
    TheSpy().texts.emplace_back(widget, std::string(text, static_cast<size_t>(length)));
    gWgtSetTextN(widget, text, length);
}

// A workspace whose page table is a page of its own, with a window of the recording
// backend for the pages' widgets.
class PagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(gInit(), nullptr);
        gWidgetsInstallHooks();
        window = gWinCreateRec(10, 10, 400, 300, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        ASSERT_NE(window, nullptr);
        savedHooks = TheWorkspacePageHooks();
        savedSelector = TheFastSelectorHooks();
        TheSpy() = Spy{};
        ws = new WorkspaceComponent;
        page = new UIPage;
        page->current = ws;
        page->flags = kWsMainGroupPages;
    }
    void TearDown() override {
        delete page;
        ws->Release();
        TheWorkspacePageHooks() = savedHooks;
        TheFastSelectorHooks() = savedSelector;
        TheSpy() = Spy{};
        WorkspacePageFontReset();
        gShutdown();
    }
    int32_t Build(int32_t id, gWindow* w) { return WorkspacePanelBuilder(page, w, id); }
    // Every page of the readouts built for real.
    void BuildReadoutPages() {
        for (int32_t id : {kWsIdCoordinates, kWsIdViewMode, 11, 12, 5}) ASSERT_GE(Build(id, window), 1) << id;
    }
    UIElement* Element(uint32_t index) { return WorkspaceOpenPage(ws, index, false); }
    gElement* Slot(uint32_t index, uint32_t slot) { return PageSlot(Element(index), slot); }
    std::string Text(uint32_t index, uint32_t slot) {
        gElement* e = Slot(index, slot);
        return e != nullptr ? e->text : std::string("<none>");
    }

    HookScope hooks;
    platform::ScopedFakeBackend fake;
    gWindow* window = nullptr;
    WorkspacePageHooks savedHooks;
    FastSelectorHooks savedSelector;
    WorkspaceComponent* ws = nullptr;
    UIPage* page = nullptr;
};

// ---- The page table ---------------------------------------------------------------------------

TEST_F(PagesTest, EveryIdReachesItsTableEntryWithItsSlotsAndGroupFlags) {
    TheWorkspacePageHooks().showPage = &RecordShow;
    const struct Row {
        int32_t id;
        std::vector<ShowCall> calls;
        int32_t result;
    } rows[] = {
        {-514, {{0x84000, 16, 4, 13, -514}}, 1},
        {5, {{0, 16, 4, 13, 5}}, 1},
        {-515, {{0x24000, 1, 5, 13, -515}}, 1},
        {6, {{0x24000, 1, 5, 13, 6}}, 1},
        {-513, {{0x24000, 15, 3, 13, -513}}, 1},
        {4, {{0, 15, 3, 13, 4}}, 1},
        {-512, {{0x84000, 23, 12, 13, -512}}, 1},
        {13, {{0, 23, 12, 13, 13}}, 1},
        {0, {{0x24000, 1, 7, 13, 0}}, 1},
        {8, {{0, 1, 7, 13, 8}}, 1},
        {9, {{0, 14, 8, 13, 9}}, 1},
        {10, {{0, 7, 9, 13, 10}}, 1},
        {11, {{0, 4, 10, 13, 11}}, 1},
        {12, {{0, 4, 11, 13, 12}}, 1},
        {-2, {{0x84000, 4, 10, 13, -2}, {0x30000, 4, 11, 13, -2}}, 3},
        {-4, {{0x30000, 11, 1, 13, -4}}, 1},
        {-5, {{0x30000, 5, 0, 13, -5}}, 1},
        {-516, {{0x24000, 5, 0, 13, -516}}, 1},
        {7, {}, 0},
        {1234, {}, 0},
    };
    for (const Row& row : rows) {
        TheSpy().shows.clear();
        EXPECT_EQ(Build(row.id, window), row.result) << row.id;
        EXPECT_EQ(TheSpy().shows, row.calls) << row.id;
    }
    // Without a window the composite ids answer 1 (-2 after asking for its two pages).
    for (int32_t id : {-3, -4, -5, -516}) EXPECT_EQ(Build(id, nullptr), 1) << id;
    TheSpy().shows.clear();
    EXPECT_EQ(Build(-2, nullptr), 1);
    EXPECT_EQ(TheSpy().shows.size(), 2u);
}

TEST_F(PagesTest, MainGroupPagesNeedTheStyleBitAndAPageNeedsItsComponent) {
    TheWorkspacePageHooks().showPage = &RecordShow;
    page->flags = 0;
    for (int32_t id : {-514, 5, -512, 13, 0, 8}) EXPECT_EQ(Build(id, window), 0) << id;
    EXPECT_TRUE(TheSpy().shows.empty());
    EXPECT_EQ(Build(9, window), 1);  // the others stay offered
    page->current = nullptr;
    EXPECT_EQ(Build(9, window), 0);
    EXPECT_EQ(Build(-2, window), 0);
}

TEST_F(PagesTest, AnOpenPageIsRefreshedNotBuiltAgainAndThePreviewIsMadeOnce) {
    TheWorkspacePageHooks().showPage = &CountingShow;
    EXPECT_EQ(Build(kWsIdCoordinates, window), 1);
    EXPECT_EQ(std::tuple(TheSpy().builds, TheSpy().refreshes), std::tuple(1, 1));
    const size_t elements = page->elements.size();
    EXPECT_EQ(Build(kWsIdCoordinates, window), 1);
    EXPECT_EQ(std::tuple(TheSpy().builds, TheSpy().refreshes), std::tuple(1, 2));
    EXPECT_EQ(page->elements.size(), elements);
    ASSERT_NE(Element(kWsPageCoordinates), nullptr);
    EXPECT_EQ(Text(kWsPageCoordinates, kCoordRound), "R/I");

    // -2: both pages, then the preview once at (2, 18) of (w - 23) x (h - 60).
    TheSpy() = Spy{};
    EXPECT_EQ(Build(kWsIdValue, window), 3);
    EXPECT_EQ(TheSpy().builds, 2);
    ASSERT_NE(ws->preview.widget, nullptr);
    gElement* preview = ws->preview.widget;
    EXPECT_FLOAT_EQ(preview->width, 400.0f - 23.0f);
    EXPECT_FLOAT_EQ(preview->height, 300.0f - 60.0f);
    EXPECT_FLOAT_EQ(preview->x, 2.0f);
    EXPECT_EQ(Build(kWsIdValue, window), 3);
    EXPECT_EQ(TheSpy().builds, 2);
    EXPECT_EQ(ws->preview.widget, preview);
    EXPECT_EQ(Text(kWsPageValue, kValueCCaption), "C:");
    EXPECT_EQ(Text(kWsPageValue, kValueVCaption), "V:");
    EXPECT_EQ(std::tuple(Text(kWsPageChannels, 0), Text(kWsPageChannels, 1), Text(kWsPageChannels, 2)),
              std::tuple("1", "2", "3"));
}

TEST_F(PagesTest, ThePageFontHasTwoPlaces) {
    gWindow* second = gWinCreateRec(20, 20, 100, 100, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    gWindow* third = gWinCreateRec(30, 30, 100, 100, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    gFont* a = nullptr;
    gFont* b = nullptr;
    gFont* again = nullptr;
    gFont* c = reinterpret_cast<gFont*>(1);
    ASSERT_TRUE(WorkspacePageFont(window, &a));
    ASSERT_TRUE(WorkspacePageFont(second, &b));
    EXPECT_NE(a, b);
    EXPECT_EQ(a->window, window);
    EXPECT_EQ(b->window, second);
    EXPECT_FALSE(WorkspacePageFont(third, &c));
    EXPECT_EQ(c, nullptr);
    // The owner gets its own font again, one reference more.
    const int32_t refs = a->refCount;
    ASSERT_TRUE(WorkspacePageFont(window, &again));
    EXPECT_EQ(again, a);
    EXPECT_EQ(a->refCount, refs + 1);
    gFontRelease(again);
    gFontRelease(a);
    gFontRelease(b);
    EXPECT_FALSE(WorkspacePageFont(nullptr, &c));
}

TEST_F(PagesTest, TheResizeLayoutKeepsItsSizesPositiveAndNeedsTheLens) {
    ws->window = window;
    ws->margins[0] = 30.0f;
    ws->margins[1] = 20.0f;
    EXPECT_FALSE(WorkspaceResizeLayout(ws));
    EXPECT_EQ(std::tuple(ws->layoutWidth, ws->layoutHeight), std::tuple(0.0f, 0.0f));
    gWgtTemplate t{.desc = {.kind = 37, .width = 50.0f, .height = 50.0f}};
    ws->lens.widget = gWgtAdd(window, nullptr, &t, 0);
    ASSERT_NE(ws->lens.widget, nullptr);
    const struct Row {
        int32_t width, height;
        float layoutWidth, layoutHeight;
    } rows[] = {{400, 300, 370.0f, 280.0f}, {20, 10, 1.0f, 6.0f}, {31, 26, 1.0f, 6.0f}, {32, 27, 2.0f, 7.0f}};
    for (const Row& row : rows) {
        window->clientWidth = row.width;
        window->clientHeight = row.height;
        EXPECT_TRUE(WorkspaceResizeLayout(ws));
        EXPECT_EQ(std::tuple(ws->layoutWidth, ws->layoutHeight), std::tuple(row.layoutWidth, row.layoutHeight))
            << row.width;
    }
    ws->lens.widget = nullptr;
    ws->window = nullptr;
}

// The value page lies in the first panel area of its group: from the first tab-area
// point down to the second, as wide as the left inset leaves, never below 100 x 100.
TEST(ValuePagePlacement, FirstPanelAreaOfTheGroup) {
    struct Case {
        const char* what;
        float points[3][2];
        int32_t left;
        int32_t want[4];
    };
    const Case cases[] = {
        {"tool window", {{0, 0}, {0, 190}, {0, 400}}, 263, {0, 1, 263, 189}},
        {"main window", {{70.5f, 152}, {0, 185}, {70.5f, 238}}, 320, {70, 153, 249, 100}},
        {"narrow inset", {{70, 152}, {0, 185}, {70, 238}}, 120, {70, 153, 100, 100}},
        {"no inset", {{0, 0}, {0, 190}, {0, 400}}, 0, {0, 1, 100, 189}},
    };
    for (const Case& c : cases) {
        WindowGroup group;
        for (int i = 0; i < 3; ++i) {
            group.tabArea[i][0] = c.points[i][0];
            group.tabArea[i][1] = c.points[i][1];
        }
        int32_t out[4] = {-1, -1, -1, -1};
        ValuePagePlacement(&group, c.left, out);
        EXPECT_EQ(std::make_tuple(out[0], out[1], out[2], out[3]),
                  std::make_tuple(c.want[0], c.want[1], c.want[2], c.want[3]))
            << c.what;
    }
    int32_t none[4] = {-1, -1, -1, -1};
    ValuePagePlacement(nullptr, 300, none);
    EXPECT_EQ(std::make_tuple(none[0], none[1], none[2], none[3]), std::make_tuple(0, 0, 100, 100));
    // Nothing opens without a workspace that has a group window.
    EXPECT_FALSE(WorkspaceOpenValuePage(nullptr));
}

TEST_F(PagesTest, ToolBarsArePassedOverOnceTheirWindowsClosed) {
    WindowGroup group;
    gWindow* bar = gWinCreateRec(0, 0, 100, 21, window, nullptr, 0);
    ASSERT_NE(bar, nullptr);
    group.windows[0] = window;
    group.windows[2] = bar;
    gWinClose(bar);
    // The closed bar is not read (ASan sees a read of its record).
    WorkspaceLayout(window, &group, 400, 300, false);
    // A page that built nothing does not join the group.
    TheWorkspacePageHooks().showPage = [](UIPage*, gWindow*, uint32_t, PanelBuilder, uint32_t, uint32_t, uint32_t,
                                          int32_t, PageBuildFn, PageRefreshFn, UIElement**) { return false; };
    gWindow* child = gWinCreateRec(0, 0, 100, 21, window, nullptr, 0);
    ws->group = &group;
    group.windows[2] = nullptr;
    EXPECT_EQ(Build(kWsIdZoomBar, child), 0);
    EXPECT_EQ(group.windows[2], nullptr);
    ws->group = nullptr;
}

// ---- Readouts ---------------------------------------------------------------------------------

class ReadoutsTest : public PagesTest {
protected:
    void SetUp() override {
        PagesTest::SetUp();
        BuildReadoutPages();
        wired = std::make_unique<WiredCell>(window);
        // The cell shows data: its device has a producer.
        producer = new testing_views::Consumer;
        wired->device->pin.upstream = producer;
        ws->activeCell = wired->cell;
        wired->cell->workspace = ws;
        record().dataX = 10.4;
        record().dataY = -3.6;
        record().values[0] = 1.5;
        record().values[1] = 2.25;
        record().values[2] = -7.0;
        record().channelTotal = 3;
        ASSERT_TRUE(WorkspaceUpdateCoordText(ws));  // fills the cache
        TheWorkspacePageHooks().setTextN = &SpyText;
        TheSpy().texts.clear();
    }
    void TearDown() override {
        ws->activeCell = nullptr;
        wired->cell->workspace = nullptr;
        wired->device->pin.upstream = nullptr;
        wired.reset();
        producer->Release();
        PagesTest::TearDown();
    }
    GraphicsReadout& record() { return wired->graphics->readout; }
    testing_views::Consumer* producer = nullptr;
    std::vector<gElement*> Written() const {
        std::vector<gElement*> out;
        for (const auto& t : TheSpy().texts) out.push_back(t.first);
        return out;
    }
    std::unique_ptr<WiredCell> wired;
};

// Data closed: the window's record still holds what the pointer read from it, but the
// pointer moving over the empty cell brings none of it back.
TEST_F(ReadoutsTest, ACellWithoutDataWritesNoReadout) {
    wired->device->pin.upstream = nullptr;
    WorkspaceClearReadouts(ws);
    TheSpy().texts.clear();
    record().dataX = 12.0;
    record().values[0] = 99.0;
    EXPECT_FALSE(WorkspaceUpdateCoordText(ws));
    WorkspaceUpdateReadouts(ws);
    EXPECT_TRUE(TheSpy().texts.empty());
    // Data again: the readouts follow the pointer.
    wired->device->pin.upstream = producer;
    EXPECT_TRUE(WorkspaceUpdateCoordText(ws));
    EXPECT_FALSE(TheSpy().texts.empty());
}

TEST_F(ReadoutsTest, TheSamePointRewritesNothingAndACoordinateChangeOnlyTheCoordinates) {
    record().valuesUnchanged = record().channelsUnchanged = 1;
    EXPECT_FALSE(WorkspaceUpdateCoordText(ws));
    EXPECT_TRUE(TheSpy().texts.empty());

    record().dataX = 11.0;
    window->dirty = 0;
    EXPECT_TRUE(WorkspaceUpdateCoordText(ws));
    EXPECT_EQ(Written(), (std::vector<gElement*>{Slot(kWsPageCoordinates, kCoordX), Slot(kWsPageCoordinates, kCoordY),
                                                 Slot(kWsPageValue, kValuePosition)}));
    // Rounding mode 0 (up) on both axes by default.
    EXPECT_EQ(Text(kWsPageCoordinates, kCoordX), Digits(6, 2, 11.0));
    EXPECT_EQ(Text(kWsPageCoordinates, kCoordY), Digits(6, 2, -3.0));
    EXPECT_EQ(Text(kWsPageValue, kValuePosition), Digits(14, 2, 11.0) + "  " + Digits(14, 2, -3.0));
    // The touched window is only marked.
    EXPECT_EQ(window->dirty, 7);
}

TEST_F(ReadoutsTest, TheValuesFieldJoinsUpToThreeValues) {
    const double unset = -DBL_MAX;
    const std::string v1 = Digits(10, 3, 1.5), v3 = Digits(10, 3, -7.0), v2 = Digits(10, 3, 2.25);
    const struct Row {
        uint32_t total, first;
        double second;
        uint8_t missing;
        std::string want;
    } rows[] = {
        {1, 0, 2.25, 0, v1},
        {2, 0, 2.25, 0, v1 + "  " + v2},
        {3, 0, 2.25, 0, v1 + "  " + v2 + "  " + v3},
        {2, 0, unset, 0, v1 + "  "},
        {3, 0, unset, 0, v1 + "  *  " + v3},
        {3, 0, 2.25, 1, ""},
        {4, 2, 2.25, 0, v1 + "  " + v2},                   // two shown after the first
        {2, 5, 2.25, 0, v1 + "  " + v2},                   // a first above the total skips none
    };
    for (const Row& row : rows) {
        record().channelTotal = row.total;
        record().firstChannel = row.first;
        record().values[1] = row.second;
        record().outside = row.missing;
        record().valuesUnchanged = record().channelsUnchanged = 0;
        ASSERT_TRUE(WorkspaceUpdateCoordText(ws));
        EXPECT_EQ(Text(kWsPageValue, kValueValues), row.want) << row.total << " " << row.first;
        // The view mode page shows each value alone, empty when unset.
        EXPECT_EQ(Text(kWsPageViewMode, kViewModeValue2), row.second == unset ? "" : v2);
    }
}

TEST_F(ReadoutsTest, NothingIsDrawnWhileTheWindowMayNotBePainted) {
    window->state |= 0x0004;  // one of the bits that forbid drawing
    window->dirty = 3;
    record().dataX = 12.0;
    WorkspaceUpdateReadouts(ws);
    EXPECT_EQ(Text(kWsPageCoordinates, kCoordX), Digits(6, 2, 12.0));  // the text follows
    EXPECT_EQ(window->dirty, 3);                                        // the window is not touched
    EXPECT_TRUE(HookScope::Counts().paints.empty());
    window->state &= ~0x0004u;
}

TEST_F(ReadoutsTest, ChannelButtonsFollowTheShownChannels) {
    const struct Row {
        uint32_t total;
        bool one, three, marker;
    } rows[] = {{1, false, false, false}, {2, true, false, false}, {3, true, true, false}, {5, true, true, true}};
    for (const Row& row : rows) {
        record().channelTotal = row.total;
        record().channelsUnchanged = 0;
        WorkspaceUpdateReadouts(ws);
        EXPECT_EQ(Slot(kWsPageChannels, 0)->shown != 0, row.one) << row.total;
        EXPECT_EQ(Slot(kWsPageChannels, 1)->shown != 0, row.one) << row.total;
        EXPECT_EQ(Slot(kWsPageChannels, 2)->shown != 0, row.three) << row.total;
        EXPECT_EQ(Slot(kWsPageChannels, kChannelMarker)->shown != 0, row.marker) << row.total;
    }
    // The current channel's button is pressed, the others released.
    record().currentChannel = 1;
    record().channelsUnchanged = 0;
    WorkspaceUpdateReadouts(ws);
    EXPECT_EQ(std::tuple(Slot(kWsPageChannels, 0)->value, Slot(kWsPageChannels, 1)->value,
                         Slot(kWsPageChannels, 2)->value),
              std::tuple(0u, 1u, 0u));
    // Pressing "3" selects channel first + 3 in the view; the group stays exclusive.
    record().firstChannel = 0;
    gElement* three = Slot(kWsPageChannels, 2);
    three->value = 1;
    ChannelButtonPress(three, reinterpret_cast<uintptr_t>(Element(kWsPageChannels)));
    EXPECT_EQ(wired->graphics->selected, 3);
    EXPECT_EQ(ws->readouts.selectedChannel, 2);
    EXPECT_EQ(std::tuple(Slot(kWsPageChannels, 0)->value, Slot(kWsPageChannels, 1)->value, three->value),
              std::tuple(0u, 0u, 1u));
}

// ---- Readout pages ----------------------------------------------------------------------------

TEST(ReadoutRounding, ModesOfAnAxis) {
    const struct Row {
        int32_t mode;
        double in, want;
    } rows[] = {{1, -2.5, -2.0}, {1, 2.5, 2.0}, {1, 0.0, 0.0}, {0, -2.5, -2.0}, {0, 2.5, 3.0},
                {0, 3.0, 3.0},   {2, -2.5, -2.5}, {2, 2.5, 2.5}, {7, 2.5, 2.5}};
    for (const Row& r : rows) EXPECT_EQ(RoundCoordinate(r.mode, r.in), r.want) << r.mode << " " << r.in;
    EXPECT_EQ(ShownChannelCount(3, 1), 2u);
    EXPECT_EQ(ShownChannelCount(3, 3), 3u);
    EXPECT_EQ(ShownChannelCount(3, 9), 3u);
}

TEST(ReadoutValuesText, ThePageRefreshPrintsAStarForAMissingSecondValue) {
    const double values[3] = {1.5, -DBL_MAX, 4.0};
    const std::string v1 = Digits(10, 3, 1.5);
    EXPECT_EQ(ChannelValuesText(values, 2, false), v1 + "  *");
    EXPECT_EQ(ChannelValuesText(values, 2, true), v1 + "  ");
    EXPECT_EQ(ChannelValuesText(values, 3, true), v1 + "  *  " + Digits(10, 3, 4.0));
    const double none[3] = {-DBL_MAX, 0, 0};
    EXPECT_EQ(ChannelValuesText(none, 1, true), "*");
    EXPECT_EQ(ChannelValueText(-DBL_MAX), "");
}

TEST_F(ReadoutsTest, RoundOrRealFollowsTheToggleAndNoAxisRecordCountsAsReal) {
    record().dataX = -2.5;
    record().dataY = 2.5;
    WorkspaceUpdateReadouts(ws);
    gElement* toggle = Slot(kWsPageCoordinates, kCoordRound);
    toggle->value = 0;  // released: unrounded
    CoordinatesRoundPress(toggle, reinterpret_cast<uintptr_t>(Element(kWsPageCoordinates)));
    EXPECT_EQ(std::tuple(wired->cell->axisRounding[0], wired->cell->axisRounding[1]), std::tuple(2, 2));
    EXPECT_EQ(Text(kWsPageCoordinates, kCoordX), Digits(6, 2, -2.5));
    EXPECT_EQ(Text(kWsPageValue, kValuePosition), Digits(14, 2, -2.5) + "  " + Digits(14, 2, 2.5));
    toggle->value = 1;  // pressed: rounded up
    CoordinatesRoundPress(toggle, reinterpret_cast<uintptr_t>(Element(kWsPageCoordinates)));
    EXPECT_EQ(std::tuple(wired->cell->axisRounding[0], wired->cell->axisRounding[1]), std::tuple(0, 0));
    EXPECT_EQ(Text(kWsPageCoordinates, kCoordY), Digits(6, 2, 3.0));
    // The refresh presses "R/I" unless both axes are real.
    wired->cell->axisRounding[0] = 1;
    wired->cell->axisRounding[1] = 2;
    CoordinatesPageRefresh(page, Element(kWsPageCoordinates), 9);
    EXPECT_EQ(toggle->value, 0u);
    wired->cell->axisRounding[0] = 0;
    CoordinatesPageRefresh(page, Element(kWsPageCoordinates), 9);
    EXPECT_EQ(toggle->value, 1u);
    // Without a graphics window both count as real.
    ws->activeCell = nullptr;
    FormatCursorPosition(ws, Slot(kWsPageValue, kValuePosition));
    EXPECT_EQ(Text(kWsPageValue, kValuePosition), Digits(14, 2, -2.5) + "  " + Digits(14, 2, 2.5));
    ValuePageRefresh(page, Element(kWsPageValue), -2);
    EXPECT_EQ(Text(kWsPageValue, kValueValues), "");
    ws->activeCell = wired->cell;
}

TEST_F(ReadoutsTest, ViewModeShowsTheFlagThePipelineKept) {
    gElement* toggle = Slot(kWsPageViewMode, kViewModeToggle);
    ASSERT_NE(toggle, nullptr);
    auto press = [&](uint32_t value) {
        toggle->value = value;
        ViewModePress(toggle, reinterpret_cast<uintptr_t>(Element(kWsPageViewMode)));
    };
    press(1);
    EXPECT_EQ(std::tuple(toggle->text, toggle->value), std::tuple("Fast mode", 1u));
    EXPECT_EQ(wired->device->request.workMode, 1);
    press(0);
    EXPECT_EQ(std::tuple(toggle->text, toggle->value), std::tuple("Work mode", 0u));
    // A pipeline whose devices do not take the change: the button shows the real flag.
    DeviceViewBase* last = wired->port->lastDevice;
    wired->port->lastDevice = nullptr;
    press(1);
    EXPECT_EQ(std::tuple(toggle->text, toggle->value), std::tuple("Work mode", 0u));
    wired->port->lastDevice = last;
    // The refresh from outside reads the pipeline again.
    RefreshViewModePage(ws);
    EXPECT_EQ(std::tuple(toggle->text, toggle->value), std::tuple("Work mode", 0u));
}

// ---- The fast selector ------------------------------------------------------------------------

struct Selections {
    std::vector<std::pair<char, int32_t>> calls;
    int repaints = 0;
};
Selections& TheSelections() {
    static Selections s;
    return s;
}

class SelectorTest : public ReadoutsTest {
protected:
    void SetUp() override {
        ReadoutsTest::SetUp();
        TheSelections() = Selections{};
        FastSelectorHooks& h = TheFastSelectorHooks();
        h.selectProject = [](CUI*, int32_t step) {
            TheSelections().calls.emplace_back('P', step);
            return true;
        };
        h.selectItem = [](Project*, int32_t step) {
            TheSelections().calls.emplace_back('F', step);
            return true;
        };
        h.selectStream = [](ProjectItem*, int32_t step) {
            TheSelections().calls.emplace_back('S', step);
            return true;
        };
        h.repaintView = [](WorkspaceComponent*) { ++TheSelections().repaints; };
        wired->cell->portList = &ports;
        CUI& cui = TheCUI();
        saved = {cui.currentProject, cui.currentProjectPosition, cui.projectCount};
        window->state &= ~(kStateHidden | kStateHiddenByShow | kStateMinimised);  // shown
        item.currentSource = ws;     // any component stands for the stream
        item.sourceCount = 2;
        item.currentSourcePosition = 1;
        project.currentItem = &item;
        project.count = 3;
        project.currentPosition = 3;
        cui.currentProject = &project;
        cui.projectCount = 2;
        cui.currentProjectPosition = 2;
    }
    void TearDown() override {
        project.currentItem = nullptr;
        item.currentSource = nullptr;
        CUI& cui = TheCUI();
        std::tie(cui.currentProject, cui.currentProjectPosition, cui.projectCount) = saved;
        wired->cell->portList = nullptr;
        TheSelections() = Selections{};
        ReadoutsTest::TearDown();
    }
    void Press(uint32_t slot) {
        FastSelectorArrow(Slot(kWsPageFastSelector, slot), reinterpret_cast<uintptr_t>(Element(kWsPageFastSelector)));
    }
    PortList ports;
    Project project;
    ProjectItem item;
    std::tuple<Project*, int32_t, int32_t> saved;
};

TEST_F(SelectorTest, ArrowsMoveWithinTheirCountsAndTheRefreshWritesEveryRow) {
    ports.player.count = 10;
    ports.player.last = 9;
    ports.player.current = 4;
    RefreshFastSelectorIfOpen(ws);
    EXPECT_EQ(std::tuple(Text(kWsPageFastSelector, kSelProjectTotal), Text(kWsPageFastSelector, kSelProjectCurrent),
                         Text(kWsPageFastSelector, kSelFileTotal), Text(kWsPageFastSelector, kSelFileCurrent)),
              std::tuple("2", "2", "3", "3"));
    EXPECT_EQ(std::tuple(Text(kWsPageFastSelector, kSelStreamTotal), Text(kWsPageFastSelector, kSelStreamCurrent),
                         Text(kWsPageFastSelector, kSelFrameTotal), Text(kWsPageFastSelector, kSelFrameCurrent)),
              std::tuple("2", "1", "10", "5"));
    // The last project has no right arrow to go, the first stream no left one.
    Press(kSelProjectNext);
    Press(kSelFileNext);
    Press(kSelStreamBack);
    EXPECT_TRUE(TheSelections().calls.empty());
    Press(kSelProjectBack);
    Press(kSelFileBack);
    Press(kSelStreamNext);
    EXPECT_EQ(TheSelections().calls, (std::vector<std::pair<char, int32_t>>{{'P', -1}, {'F', -1}, {'S', 1}}));
    TheSelections().calls.clear();
    TheCUI().currentProjectPosition = 1;
    Press(kSelProjectBack);
    EXPECT_TRUE(TheSelections().calls.empty());

    // Without a current item every field shows "0".
    project.currentItem = nullptr;
    RefreshFastSelectorIfOpen(ws);
    for (uint32_t s : {kSelProjectTotal, kSelFileCurrent, kSelStreamTotal, kSelFrameTotal, kSelFrameCurrent})
        EXPECT_EQ(Text(kWsPageFastSelector, s), "0") << s;
}

TEST_F(SelectorTest, TwoFramesStepAndOneDoesNot) {
    ports.player.count = 2;
    ports.player.first = 0;
    ports.player.last = 1;
    ports.player.current = 0;
    gElement* next = Slot(kWsPageFastSelector, kSelFrameNext);
    next->value = 1;
    Press(kSelFrameNext);
    EXPECT_EQ(ports.player.current.load(), 1);
    EXPECT_EQ(Text(kWsPageFastSelector, kSelFrameCurrent), "2");
    EXPECT_EQ(TheSelections().repaints, 1);
    Press(kSelFrameBack);
    EXPECT_EQ(ports.player.current.load(), 0);
    // One frame: the arrow releases itself and nothing moves.
    ports.player.count = 1;
    ports.player.last = 0;
    next->value = 1;
    Press(kSelFrameNext);
    EXPECT_EQ(ports.player.current.load(), 0);
    EXPECT_EQ(next->value, 0u);
}

TEST_F(SelectorTest, AMinimisedPageIsNotDrawnAndFastPlaybackRepaintsTheViewItself) {
    ports.player.count = 10;
    ports.player.last = 9;
    ports.player.current = 6;
    window->state |= kStateMinimised;
    RedrawFastSelectorFrame(ws);
    EXPECT_EQ(Text(kWsPageFastSelector, kSelFrameCurrent), "0");
    window->state &= ~kStateMinimised;
    RefreshFastSelectorIfOpen(ws);
    EXPECT_EQ(Text(kWsPageFastSelector, kSelFrameCurrent), "7");

    EventTimer& timer = TheEventTimer();
    timer.port = &ports;
    timer.lastRateValue = 40;
    ShowSteppedFrame(ws, nullptr, 0);
    EXPECT_EQ(TheSelections().repaints, 0);
    timer.lastRateValue = 501;
    ShowSteppedFrame(ws, nullptr, 0);
    EXPECT_EQ(TheSelections().repaints, 1);
    timer.port = nullptr;
    timer.lastRateValue = 0;
}

TEST_F(SelectorTest, TransportTextsFollowTheRateUnit) {
    gElement* field = Slot(kWsPageFastSelector, kSelFrameTotal);
    const struct Row {
        int32_t unit;
        const char* letter;
        const char* zero;
    } rows[] = {{0, "F", "0"}, {1, "T", "00:00:00:000"}, {2, "S", "0"}, {7, "F", "0"}};
    const int32_t saved = TheFramePlayerSaved().timeMode;
    for (const Row& row : rows) {
        ShowRateUnitLetter(field, row.unit);
        EXPECT_EQ(field->text, row.letter) << row.unit;
        TheFramePlayerSaved().timeMode = row.unit;
        ShowTimeOrZero(field);
        EXPECT_EQ(field->text, row.zero) << row.unit;
    }
    TheFramePlayerSaved().timeMode = saved;
    ClearWidgetText(field);
    EXPECT_EQ(field->text, "");
}

// ---- The transport page ------------------------------------------------------------------------

class TransportTest : public SelectorTest {
protected:
    void SetUp() override {
        SelectorTest::SetUp();
        FramePlayerSaved& s = TheFramePlayerSaved();
        savedFlags = s.flagWord;
        savedUnit = s.timeMode;
        savedPeriod = s.interval;
        savedText = TheFrameTextHooks();
        TheFrameTextHooks().setText = [](void* w, const char* text) { gWgtSetText(static_cast<gElement*>(w), text); };
        ASSERT_EQ(Build(kWsIdTransport, window), 1);
        page_ = Element(kWsPageTransport);
        ASSERT_NE(page_, nullptr);
        ports.player.count = 10;
        ports.player.first = 0;
        ports.player.last = 9;
        ports.player.current = 0;
    }
    void TearDown() override {
        FramePlayerSaved& s = TheFramePlayerSaved();
        s.flagWord = savedFlags;
        s.timeMode = savedUnit;
        s.interval = savedPeriod;
        TheFrameTextHooks() = savedText;
        EventTimer& timer = TheEventTimer();
        timer.lastRateValue = 0;
        timer.playButton = timer.frameText = timer.rateText = timer.progressBar = nullptr;
        SelectorTest::TearDown();
    }
    gElement* W(uint32_t slot) { return Slot(kWsPageTransport, slot); }
    uintptr_t Data() { return reinterpret_cast<uintptr_t>(page_); }
    void Enter(uint32_t slot, const char* text, void (*handler)(gElement*, uintptr_t)) {
        gWgtSetText(W(slot), text);
        handler(W(slot), Data());
    }
    void Toggle(uint32_t slot, uint32_t value, void (*handler)(gElement*, uintptr_t)) {
        W(slot)->value = value;
        handler(W(slot), Data());
    }
    // No active cell: the page edits the saved settings.
    void WithoutPlayer() { wired->cell->portList = nullptr; }
    UIElement* page_ = nullptr;
    int32_t savedFlags = 0, savedUnit = 0, savedPeriod = 0;
    FrameTextHooks savedText;
};

TEST_F(TransportTest, StepSizeAndStepMode) {
    FramePlayer& p = ports.player;
    Toggle(kTransportStepMode, 1, &TransportStepModePress);  // a new player's step size is 4
    EXPECT_EQ(p.step.load(), 4);
    EXPECT_NE(p.flags.load() & kFramePlayerStepMode, 0);
    EXPECT_NE(W(kTransportStepMark)->enabled, 0) << "marked above 1";
    EXPECT_EQ(W(kTransportStepSize)->text, "4");
    const struct Row {
        const char* entry;
        bool reverseBefore;
        int32_t step;
        bool reverse;
    } rows[] = {{"0", false, 1, false}, {"0", true, -1, true}, {"-3", false, -3, true}, {"5", true, 5, false}};
    for (const Row& row : rows) {
        if (row.reverseBefore) {
            p.flags.fetch_or(kFramePlayerReverse);
        } else {
            p.flags.fetch_and(~kFramePlayerReverse);
        }
        Enter(kTransportStepSize, row.entry, &TransportStepSizeChanged);
        EXPECT_EQ(p.step.load(), row.step) << row.entry;
        EXPECT_EQ((p.flags.load() & kFramePlayerReverse) != 0, row.reverse) << row.entry;
        EXPECT_EQ(W(kTransportStepSize)->text, std::to_string(row.step)) << row.entry;
    }
    EXPECT_EQ(W(kTransportReverse)->value, 0u);
    // Step mode off: a step of one in the direction of the reverse flag.
    p.flags.fetch_or(kFramePlayerReverse);
    Toggle(kTransportStepMode, 0, &TransportStepModePress);
    EXPECT_EQ(p.step.load(), -1);
    EXPECT_EQ(W(kTransportStepMark)->enabled, 0);
    // On again with a step size of 0: magnitude 1, the indicator stays unmarked.
    p.stepSize = 0;
    Toggle(kTransportStepMode, 1, &TransportStepModePress);
    EXPECT_EQ(p.step.load(), -1);
    EXPECT_EQ(W(kTransportStepMark)->enabled, 0);
    WithoutPlayer();
    Enter(kTransportStepSize, "7", &TransportStepSizeChanged);
    EXPECT_EQ(W(kTransportStepSize)->text, "1");
}

TEST_F(TransportTest, SeekingRoundsHalvesAwayFromZero) {
    FramePlayer& p = ports.player;
    const struct Row {
        float fraction;
        int32_t frame;
        float shown;
    } rows[] = {{0.5f, 5, 5.0f / 9.0f}, {0.0f, 0, 0.0f}, {1.0f, 9, 1.0f}, {-0.5f, 0, 0.0f},
                {std::nanf(""), 0, 0.0f}, {2.0f, 9, 1.0f}};
    for (const Row& row : rows) {
        float f = row.fraction;
        EXPECT_EQ(TransportSeek(Data(), &f), 1);
        EXPECT_EQ(p.current.load(), row.frame) << row.fraction;
        EXPECT_FLOAT_EQ(f, row.shown) << row.fraction;
    }
    EXPECT_EQ(W(kTransportFrameText)->text, "10");
    float at = -1.0f;
    p.current = 3;
    TransportSeekPosition(Data(), &at);
    EXPECT_FLOAT_EQ(at, 3.0f / 9.0f);
    EXPECT_EQ(TransportSeekMode(Data()), 0);
    p.first = 9;
    EXPECT_EQ(TransportSeekMode(Data()), 2);
    // Two frames can be seeked; one frame, or no player, cannot.
    p.first = 0;
    p.last = 1;
    EXPECT_EQ(TransportSeekMode(Data()), 0);
    p.last = 0;
    EXPECT_EQ(TransportSeekMode(Data()), 1);
    WithoutPlayer();
    EXPECT_EQ(TransportSeekMode(Data()), 1);
}

TEST_F(TransportTest, PlayIsRefusedAtTheEndAndTwoFramesStep) {
    FramePlayer& p = ports.player;
    p.current = 9;
    Toggle(kTransportPlay, 1, &TransportPlayPress);
    EXPECT_EQ(W(kTransportPlay)->value, 0u);
    EXPECT_EQ(TheEventTimer().port.load(), nullptr);
    // Two frames: the arrows act.
    p.count = 2;
    p.last = 1;
    p.current = 0;
    W(kTransportStepForward)->value = 1;
    TransportStepForwardPress(W(kTransportStepForward), Data());
    EXPECT_EQ(p.current.load(), 1);
    EXPECT_EQ(W(kTransportFrameText)->text, "2");
    TransportToFirstPress(W(kTransportToFirst), Data());
    EXPECT_EQ(p.current.load(), 0);
    TransportToLastPress(W(kTransportToLast), Data());
    EXPECT_EQ(p.current.load(), 1);
    // Without a player Play stays off.
    WithoutPlayer();
    Toggle(kTransportPlay, 1, &TransportPlayPress);
    EXPECT_EQ(W(kTransportPlay)->value, 0u);
}

TEST_F(TransportTest, WithoutAPlayerTheSavedSettingsChange) {
    WithoutPlayer();
    FramePlayerSaved& s = TheFramePlayerSaved();
    s.flagWord = 0;
    s.timeMode = 0;
    Toggle(kTransportLoop, 1, &TransportLoopPress);
    EXPECT_EQ(s.flagWord.load(), kFramePlayerLoop);
    Toggle(kTransportReturn, 1, &TransportReturnPress);
    EXPECT_EQ(s.flagWord.load(), kFramePlayerLoop | kFramePlayerReturnAtEnd);
    Toggle(kTransportLoop, 0, &TransportLoopPress);
    EXPECT_EQ(s.flagWord.load(), kFramePlayerReturnAtEnd);
    Enter(kTransportRate, "25", &TransportRateChanged);
    EXPECT_EQ(s.interval.load(), 40);
    EXPECT_EQ(W(kTransportRate)->text, "25.00");
    TransportRateUnitPress(W(kTransportRateUnit), Data());
    EXPECT_EQ(s.timeMode.load(), 1);
    EXPECT_EQ(W(kTransportRateUnit)->text, "T");
    // The next player starts with the saved flags and rate unit.
    FramePlayer next;
    EXPECT_EQ(next.timeMode.load(), 1);
    EXPECT_EQ(next.flags.load() & kFramePlayerSavedFlags, kFramePlayerReturnAtEnd);
    TransportPageUpdate(ws, page_);
    EXPECT_EQ(std::tuple(W(kTransportLoop)->value, W(kTransportReturn)->value), std::tuple(0u, 1u));
    EXPECT_EQ(W(kTransportStepSize)->text, "1");
}

TEST_F(TransportTest, RateFieldAndUnitButton) {
    FramePlayer& p = ports.player;
    p.timeMode = 0;
    Enter(kTransportRate, "25", &TransportRateChanged);
    EXPECT_EQ(p.interval.load(), 40);
    EXPECT_EQ(W(kTransportRate)->text, "25.00");
    TransportRateUnitPress(W(kTransportRateUnit), Data());
    EXPECT_EQ(p.timeMode.load(), 1);
    EXPECT_EQ(W(kTransportRateUnit)->text, "T");
    // The achieved rate is shown again in the new unit (nothing played: 0 ms a frame).
    EXPECT_EQ(W(kTransportRateText)->text, "000");
    Enter(kTransportRate, "40", &TransportRateChanged);
    EXPECT_EQ(W(kTransportRate)->text, "040");
    TransportRateUnitPress(W(kTransportRateUnit), Data());
    EXPECT_EQ(W(kTransportRateUnit)->text, "F");
    char text[32];
    TransportRateText(5, 40, text);
    EXPECT_STREQ(text, "0");
    TransportRateText(0, 0, text);
    EXPECT_STREQ(text, "0.00");
}

TEST_F(TransportTest, APageThatGoesLeavesNoWidgetInTheTimer) {
    PlaybackWidgets widgets;
    const PlaybackHooks saved = ThePlaybackHooks();
    TransportFillPlaybackHooks(&ThePlaybackHooks());
    ASSERT_TRUE(ThePlaybackHooks().transportWidgets(ws, &widgets));
    EXPECT_EQ(widgets.playButton, W(kTransportPlay));
    EXPECT_EQ(ThePlaybackHooks().pauseToggle(ws), W(kTransportPause));
    EventTimer& timer = TheEventTimer();
    timer.playButton = widgets.playButton;
    timer.frameText = widgets.frameText;
    timer.rateText = widgets.rateText;
    timer.progressBar = widgets.progressBar;
    gWgtDestroy(widgets.frameText);
    EXPECT_EQ(std::tuple(timer.playButton, timer.frameText, timer.rateText, timer.progressBar),
              std::tuple(nullptr, nullptr, nullptr, nullptr));
    ThePlaybackHooks() = saved;
}

TEST(SelectorNumbers, PercentDInTwelveBytes) {
    char text[12];
    SelectorNumberText(0, text);
    EXPECT_STREQ(text, "0");
    SelectorNumberText(-2147483647 - 1, text);
    EXPECT_STREQ(text, "-2147483648");
    SelectorNumberText(2147483647, text);
    EXPECT_STREQ(text, "2147483647");
}

}  // namespace
}  // namespace orva
