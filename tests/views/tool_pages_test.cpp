// The grid, lens, zoom bar, select tab and statistic pages of the workspace on widgets
// of a window of the recording backend: their handlers over a cell of their own, the
// limits they keep and the menus they prepare.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "app/chart_device.h"
#include "app/cui.h"
#include "app/image_device.h"
#include "app/property_pages.h"
#include "app/ui_elements.h"
#include "platform/fake_backend.h"
#include "toolkit/layout.h"
#include "toolkit/font.h"
#include "toolkit/histogram_chart.h"
#include "toolkit/input.h"
#include "toolkit/list_control.h"
#include "toolkit/shortcuts.h"
#include "toolkit/tab_bar.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/display_grid.h"
#include "views/grid_page.h"
#include "views/select_tab_page.h"
#include "views/tool_menu.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
#include "views/zoom_pages.h"
#include "views_test_support.h"

namespace orva {
namespace {

using views_testing::FakeGraphicsWindow;
using views_testing::FakeWindow;
using views_testing::HookScope;

// A chart device that records the zoom calls it gets.
class ZoomSpyChart : public Chart1DDevice {
public:
    ZoomSpyChart() : Chart1DDevice(nullptr, nullptr) {}
    bool SetZoom(bool axisX, double zoom, bool linked) override {
        calls.emplace_back(axisX, zoom, linked);
        return false;
    }
    std::vector<std::tuple<bool, double, bool>> calls;
};

// A graphics window with a colour list of its own.
class ColouredWindow : public FakeGraphicsWindow {
public:
    explicit ColouredWindow(DisplayCellBase* cell) : FakeGraphicsWindow(cell) {
        list.entries = {{0x04000000, "Black"}, {0x047F7F7F, nullptr}, {0x04114511, "Forest Green"}};
    }
    GraphicsColourList* GetDefaults() override { return &list; }
    GraphicsColourList list;
};

// A graphics window that records what the select tab tells it.
class TabNotedWindow : public FakeGraphicsWindow {
public:
    using FakeGraphicsWindow::FakeGraphicsWindow;
    void SelectTabChanged(int32_t argument) override { notes.push_back(argument); }
    std::vector<int32_t> notes;
};

class ToolPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(gInit(), nullptr);
        gWidgetsInstallHooks();
        window = gWinCreateRec(10, 10, 500, 300, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        ASSERT_NE(window, nullptr);
        savedTabs = TheSelectTabHooks();
        ws = new WorkspaceComponent;
        page = new UIPage;
        page->current = ws;
        page->flags = kWsMainGroupPages;
    }
    void TearDown() override {
        DropCell();
        ZoomBarMenusFree();
        delete page;
        ws->Release();
        TheSelectTabHooks() = savedTabs;
        WorkspacePageFontReset();
        gShutdown();
    }
    // An active cell on a window that is never drawn (repaints are counted).
    DisplayComponent* MakeCell() {
        cell = new DisplayComponent(&cellWindow.window, nullptr);
        cell->workspace = ws;
        ws->activeCell = cell;
        return cell;
    }
    void DropCell() {
        if (cell == nullptr) return;
        cell->currentWindow = nullptr;
        cell->currentDevice = nullptr;
        ws->activeCell = nullptr;
        cell->Release();
        cell = nullptr;
        if (device != nullptr) device->Release();
        device = nullptr;
        if (graphics != nullptr) graphics->Release();
        graphics = nullptr;
    }
    void GiveDevice(OutputDevice* d) {
        device = d;
        cell->currentDevice = d;
    }
    void GiveGraphics(GraphicsWindow* g) {
        graphics = g;
        cell->currentWindow = g;
    }
    UIElement* Open(int32_t id, uint32_t index) {
        EXPECT_GE(WorkspacePanelBuilder(page, window, id), 1) << id;
        return WorkspaceOpenPage(ws, index, false);
    }
    static uintptr_t Data(UIElement* e) { return reinterpret_cast<uintptr_t>(e); }
    static std::string Text(UIElement* e, uint32_t slot) {
        gElement* w = PageSlot(e, slot);
        return w != nullptr ? w->text : "<none>";
    }
    size_t Paints() const { return HookScope::Counts().paints.size(); }

    HookScope hooks;
    platform::ScopedFakeBackend fake;
    gWindow* window = nullptr;
    FakeWindow cellWindow;
    SelectTabHooks savedTabs;
    WorkspaceComponent* ws = nullptr;
    UIPage* page = nullptr;
    DisplayComponent* cell = nullptr;
    OutputDevice* device = nullptr;
    GraphicsWindow* graphics = nullptr;
};

// ---- Grid ---------------------------------------------------------------------------------------

TEST(GridSpacing, EntriesAreKeptWithinFortyAndFourHundredAndOddOnesLoseTheirLowestBit) {
    const std::pair<uint32_t, uint32_t> rows[] = {{0, 40},    {39, 40},   {40, 40},   {41, 40},  {42, 42},
                                                  {43, 42},   {44, 44},   {45, 44},   {399, 398}, {400, 400},
                                                  {401, 400}, {4000000000u, 400}};
    for (const auto& [entered, kept] : rows) EXPECT_EQ(GridSpacing(entered), kept) << entered;
}

TEST_F(ToolPagesTest, GridSpacingFieldsStoreTheLimitedValueAndRepaintOnlyOnAChange) {
    UIElement* e = Open(kWsIdGrid, kWsPageGrid);
    ASSERT_NE(e, nullptr);
    gElement* field = PageSlot(e, kGridMajorX);
    // Without a cell the field shows the default.
    PageSetText(field, "250");
    GridSpacingChanged(field, Data(e));
    EXPECT_EQ(field->text, "100");

    MakeCell();
    const struct {
        uint32_t slot;
        const char* entry;
        const char* shown;
    } rows[] = {{kGridMajorX, "39", "40"},   {kGridMajorY, "401", "400"}, {kGridMinimalX, "41", "40"},
                {kGridMinimalY, "43", "42"}, {kGridMajorX, "42", "42"},   {kGridMajorY, "44", "44"},
                {kGridMajorX, "x", "42"}};
    for (const auto& row : rows) {
        gElement* f = PageSlot(e, row.slot);
        PageSetText(f, row.entry);
        GridSpacingChanged(f, Data(e));
        EXPECT_EQ(f->text, row.shown) << row.entry;
    }
    EXPECT_EQ(std::tuple(cell->grid.x.major, cell->grid.y.major, cell->grid.x.minimal, cell->grid.y.minimal),
              std::tuple(42u, 44u, 40u, 42u));
    // The stored value again: the cell is not repainted.
    const size_t before = Paints();
    PageSetText(field, "42");
    GridSpacingChanged(field, Data(e));
    EXPECT_EQ(Paints(), before);
    PageSetText(field, "46");
    GridSpacingChanged(field, Data(e));
    EXPECT_EQ(Paints(), before + 1);
}

TEST_F(ToolPagesTest, GridTogglesSwitchTheLineChoiceWithTheGrid) {
    UIElement* e = Open(kWsIdGrid, kWsPageGrid);
    ASSERT_NE(e, nullptr);
    gElement* grid = PageSlot(e, kGridShown);
    gElement* horizontal = PageSlot(e, kGridHorizontal);
    gElement* vertical = PageSlot(e, kGridVertical);
    // Without a cell a pressed toggle goes back off.
    grid->value = 1;
    GridTogglePress(grid, Data(e));
    EXPECT_EQ(grid->value, 0u);

    MakeCell();
    cell->grid.horizontal = cell->grid.vertical = 0;
    grid->value = 1;
    GridTogglePress(grid, Data(e));  // answered 2: both lines on
    EXPECT_EQ(std::tuple(cell->grid.shown, horizontal->value, vertical->value), std::tuple(1, 1u, 1u));
    horizontal->value = 0;
    GridTogglePress(horizontal, Data(e));
    EXPECT_EQ(grid->value, 1u);  // a line is left: answered 1
    vertical->value = 0;
    GridTogglePress(vertical, Data(e));  // the last line off: the grid goes off
    EXPECT_EQ(std::tuple(cell->grid.shown, grid->value), std::tuple(0, 0u));
    horizontal->value = 1;
    GridTogglePress(horizontal, Data(e));  // a line on turns the grid on
    EXPECT_EQ(std::tuple(cell->grid.shown, grid->value), std::tuple(1, 1u));

    // The other toggles store their byte; the unlock pair shares one handler.
    PageSlot(e, kGridBold)->value = 1;
    GridTogglePress(PageSlot(e, kGridBold), Data(e));
    PageSlot(e, kGridDoubleStep)->value = 1;
    GridTogglePress(PageSlot(e, kGridDoubleStep), Data(e));
    PageSlot(e, kGridUnlockY)->value = 1;
    GridUnlockPress(PageSlot(e, kGridUnlockY), Data(e));
    EXPECT_EQ(std::tuple(cell->grid.bold, cell->grid.doubleStep, cell->grid.unlockX, cell->grid.unlockY),
              std::tuple(1, 1u, 0, 1));
    // The refresh shows the record.
    cell->grid.colour = 1;
    cell->grid.x.major = 200;
    GridPageRefresh(page, e, 0);
    EXPECT_EQ(std::tuple(PageSlot(e, kGridColour)->value, Text(e, kGridMajorX), PageSlot(e, kGridUnlockY)->value),
              std::tuple(1u, "200", 1u));
}

// ---- Lens ---------------------------------------------------------------------------------------

TEST_F(ToolPagesTest, LensArrowsKeepTheLensBetweenSeventyAndOneThousandPixels) {
    UIElement* e = Open(kWsIdLens, kWsPageLens);
    ASSERT_NE(e, nullptr);
    const uintptr_t d = Data(e);
    auto set = [&](uint32_t area, float zoom) {
        LensSetSize(&ws->lens, area);
        ws->lens.zoom = zoom;
    };
    auto state = [&] { return std::tuple(ws->lens.size, ws->lens.zoom); };
    set(50, 6.0f);
    LensPageRefresh(page, e, 0);
    EXPECT_EQ(std::tuple(Text(e, kLensPageArea), Text(e, kLensPageScreen)), std::tuple("50", "300"));

    set(30, 30.0f);
    LensZoomUp(nullptr, d);
    EXPECT_EQ(state(), std::tuple(30u, 30.0f));
    set(400, 0.2f);
    LensZoomDown(nullptr, d);
    EXPECT_EQ(state(), std::tuple(400u, 0.2f));
    set(12, 6.0f);
    LensAreaDown(nullptr, d);  // 10 x 6 < 70
    EXPECT_EQ(state(), std::tuple(12u, 6.0f));
    set(166, 6.0f);
    LensAreaUp(nullptr, d);  // 168 x 6 > 1000
    EXPECT_EQ(state(), std::tuple(166u, 6.0f));
    LensAreaDown(nullptr, d);
    EXPECT_EQ(state(), std::tuple(164u, 6.0f));
    set(166, 6.0f);
    LensZoomUp(nullptr, d);  // 166 x 6.1 > 1000: the area becomes 162
    EXPECT_EQ(state(), std::tuple(162u, 6.1f));
    EXPECT_EQ(std::tuple(Text(e, kLensPageZoom), Text(e, kLensPageArea), Text(e, kLensPageScreen)),
              std::tuple("6.1", "162", "988"));
    // Down from 0.3 with area 240: 240 x 0.2 = 48 < 70, the area grows to 350.
    set(240, 0.3f);
    LensZoomDown(nullptr, d);
    EXPECT_EQ(state(), std::tuple(350u, 0.2f));
    // Resets: the zoom to 6.0 fits the area; the area to 24 where the lens allows it.
    LensZoomReset(nullptr, d);
    EXPECT_EQ(state(), std::tuple(164u, 6.0f));
    LensAreaReset(nullptr, d);
    EXPECT_EQ(state(), std::tuple(24u, 6.0f));
    set(100, 1.0f);
    LensAreaReset(nullptr, d);  // 24 x 1 < 70
    EXPECT_EQ(state(), std::tuple(100u, 1.0f));
}

TEST_F(ToolPagesTest, LensFieldsClampAndNeverShowMoreThanTheLensTakes) {
    UIElement* e = Open(kWsIdLens, kWsPageLens);
    ASSERT_NE(e, nullptr);
    LensSetSize(&ws->lens, 50);
    ws->lens.zoom = 1.0f;
    gElement* area = PageSlot(e, kLensPageArea);
    gElement* zoom = PageSlot(e, kLensPageZoom);
    PageSetText(area, "2001");
    LensAreaChanged(area, Data(e));
    EXPECT_EQ(std::tuple(ws->lens.size, area->text, Text(e, kLensPageScreen)), std::tuple(800u, "800", "800"));
    PageSetText(zoom, "100");  // clamped to 30: the area shrinks to 32
    LensZoomChanged(zoom, Data(e));
    EXPECT_EQ(std::tuple(ws->lens.size, ws->lens.zoom, zoom->text), std::tuple(32u, 30.0f, "30"));
    for (const char* bad : {"0", "-2", "abc"}) {
        PageSetText(zoom, bad);
        LensZoomChanged(zoom, Data(e));
        EXPECT_EQ(std::tuple(ws->lens.zoom, zoom->text), std::tuple(30.0f, "30")) << bad;
    }
    PageSetText(area, "7");  // 10 x 30 fits
    LensAreaChanged(area, Data(e));
    EXPECT_EQ(ws->lens.size, 10u);
}

TEST_F(ToolPagesTest, BelowZoomOneTheAreaKeepsToTheRoomOfTheGroupWindow) {
    UIElement* e = Open(kWsIdLens, kWsPageLens);
    ASSERT_NE(e, nullptr);
    LensSetSize(&ws->lens, 200);
    ws->lens.zoom = 1.0f;
    EXPECT_EQ(LensAreaMaximum(ws), 800u);  // what the lens reads back at most
    // A project window group of 500 x 300 with margins 20 (left) and 10 (top): the room is
    // min(500 - 20 - 1, 300 - 10 + 1) = 291, an even 290.
    WindowGroup& group = TheCUI().groups[2];
    gWindow* const savedWindow = group.windows[0];
    group.windows[0] = window;
    ws->group = &group;
    ws->margins[0] = 20.0f;
    ws->margins[1] = 10.0f;
    EXPECT_EQ(LensAreaMaximum(ws), 800u);  // a zoom of 1.0 is not limited by the room
    ws->lens.zoom = 0.5f;
    EXPECT_EQ(LensAreaMaximum(ws), 290u);
    gElement* area = PageSlot(e, kLensPageArea);
    PageSetText(area, "1000");
    LensAreaChanged(area, Data(e));
    EXPECT_EQ(std::tuple(ws->lens.size, area->text, Text(e, kLensPageScreen)), std::tuple(290u, "290", "145"));
    LensAreaUp(nullptr, Data(e));
    EXPECT_EQ(ws->lens.size, 290u);
    ws->group = nullptr;
    group.windows[0] = savedWindow;
}

TEST_F(ToolPagesTest, TheLensWidgetFollowsItsSizeAtTheRightEdge) {
    UIElement* e = Open(kWsIdLens, kWsPageLens);
    ASSERT_NE(e, nullptr);
    ws->window = window;
    ws->margins[2] = 30.0f;
    ASSERT_TRUE(CreateLensView(ws, window, ws));
    LensSetSize(&ws->lens, 50);
    ws->lens.zoom = 6.0f;
    LensZoomUp(nullptr, Data(e));  // 50 x 6.1 = 305
    gElement* lens = ws->lens.widget;
    EXPECT_EQ(std::tuple(lens->width, lens->height), std::tuple(305.0f, 305.0f));
    EXPECT_EQ(lens->x, 500.0f - 30.0f - 305.0f - 4.0f);
    ws->window = nullptr;
}

TEST_F(ToolPagesTest, LensTogglesSwitchTheLensAndItsValues) {
    UIElement* e = Open(kWsIdLens, kWsPageLens);
    ASSERT_NE(e, nullptr);
    gElement* values = PageSlot(e, kLensPageValues);
    values->value = 1;
    LensValuesPress(values, Data(e));  // the lens comes on with its values
    EXPECT_EQ(std::tuple(ws->lens.on, ws->lens.showValues, PageSlot(e, kLensPageOn)->value), std::tuple(1, 1, 1u));
    gElement* lens = PageSlot(e, kLensPageOn);
    lens->value = 0;
    LensOnPress(lens, Data(e));
    EXPECT_EQ(ws->lens.on, 0);
    // The shortcuts press the two toggles.
    EXPECT_EQ(gWgtShortcutKey(lens), 76u);
    EXPECT_EQ(gWgtShortcutKey(values), gAccelFold(0x30004C));  // Alt+L
}

// ---- Zoom bar -----------------------------------------------------------------------------------

TEST(ZoomPercent, FactorsAsPerCentTextsAndPresets) {
    const std::pair<double, const char*> rows[] = {{1.0, "100%"},     {0.0005, "0.05%"}, {4.0, "400%"},
                                                   {0.333, "33.3%"},  {1.5, "150%"},    {0.000001, "0.0001%"},
                                                   {0.0123, "1.23%"}};
    for (const auto& [factor, text] : rows) {
        char out[32];
        ZoomPercentText(factor, out);
        EXPECT_STREQ(out, text) << factor;
    }
    const double factors[] = {4.0, 3.0, 2.0, 1.0, 0.5, 0.25, 0.1, 0.05};
    for (int32_t i = 0; i < kZoomPresetCount; ++i) {
        EXPECT_EQ(ZoomPresetFactor(i), factors[i]) << i;
        EXPECT_EQ(ZoomPresetIndex(factors[i]), i) << i;
    }
    for (double f : {1.5, 0.2, 5.0, 0.0, -1.0, 1.001}) EXPECT_EQ(ZoomPresetIndex(f), -1) << f;
}

TEST_F(ToolPagesTest, ZoomFieldsPassRoundedFactorsToAnImageDevice) {
    UIElement* e = Open(kWsIdZoomBar, kWsPageZoomBar);
    ASSERT_NE(e, nullptr);
    MakeCell();
    auto* image = new Image2DDevice(nullptr, nullptr);
    image->view.frameWidth = 100;
    image->view.frameHeight = 100;
    GiveDevice(image);
    gElement* first = PageSlot(e, kZoomFirstField);
    gElement* second = PageSlot(e, kZoomSecondField);
    PageSetText(first, "150");
    ZoomFieldChanged(first, Data(e));
    EXPECT_EQ(std::tuple(image->view.zoom.x, image->view.zoom.y, first->text), std::tuple(1.5, 1.0, "150%"));
    PageSetText(second, "33.36");  // one decimal: 33.4 %
    ZoomFieldChanged(second, Data(e));
    EXPECT_DOUBLE_EQ(image->view.zoom.y, 0.334);
    for (const char* bad : {"0", "-20", "big"}) {
        PageSetText(first, bad);
        ZoomFieldChanged(first, Data(e));
        EXPECT_EQ(std::tuple(image->view.zoom.x, first->text), std::tuple(1.5, "150%")) << bad;
    }
    // "L" locks both factors together.
    gElement* lock = PageSlot(e, kZoomLock);
    lock->value = 1;
    ZoomLockPress(lock, Data(e));
    EXPECT_EQ(image->view.zoom.lock, 1);
    PageSetText(first, "300");
    ZoomFieldChanged(first, Data(e));
    EXPECT_EQ(image->view.zoom.x, 3.0);
    EXPECT_DOUBLE_EQ(image->view.zoom.y, 0.668);
    // The 1:1 button brings both back.
    ZoomResetPress(nullptr, Data(e));
    EXPECT_EQ(std::tuple(image->view.zoom.x, image->view.zoom.y, Text(e, kZoomSecondField)),
              std::tuple(1.0, 1.0, "100%"));
    // "+" and "-" leave an image device alone.
    ZoomInPress(nullptr, Data(e));
    EXPECT_EQ(image->view.zoom.x, 1.0);
}

TEST_F(ToolPagesTest, ChartDevicesTakeOnlyTheZoomCodes) {
    UIElement* e = Open(kWsIdZoomBar, kWsPageZoomBar);
    ASSERT_NE(e, nullptr);
    MakeCell();
    auto* chart = new ZoomSpyChart;
    GiveDevice(chart);
    ZoomInPress(nullptr, Data(e));
    ZoomOutPress(nullptr, Data(e));
    gElement* lock = PageSlot(e, kZoomLock);
    lock->value = 1;
    ZoomLockPress(lock, Data(e));
    // The first factor's presets do nothing on a chart.
    ZoomPresetChoose(ws, 1, 2);
    EXPECT_EQ(chart->calls, (std::vector<std::tuple<bool, double, bool>>{{true, -1.0, false}, {true, -2.0, false}}));
}

TEST_F(ToolPagesTest, PresetsSetTheFactorsAndTheFields) {
    UIElement* e = Open(kWsIdZoomBar, kWsPageZoomBar);
    ASSERT_NE(e, nullptr);
    MakeCell();
    auto* image = new Image2DDevice(nullptr, nullptr);
    image->view.frameWidth = image->view.frameHeight = 64;
    GiveDevice(image);
    ZoomPresetChoose(ws, 1, 2);
    ZoomPresetChoose(ws, 0, 7);
    EXPECT_EQ(std::tuple(image->view.zoom.x, image->view.zoom.y, Text(e, kZoomFirstField), Text(e, kZoomSecondField)),
              std::tuple(2.0, 0.05, "200%", "5%"));
}

TEST_F(ToolPagesTest, BackgroundChoicesApplyAColourOrRunTheDialog) {
    UIElement* e = Open(kWsIdZoomBar, kWsPageZoomBar);
    ASSERT_NE(e, nullptr);
    MakeCell();
    auto* view = new ColouredWindow(cell);
    view->colours = 0x047F7F7F;
    GiveGraphics(view);
    static int dialogs = 0;
    dialogs = 0;
    TheBackgroundDialog() = [](WorkspaceComponent*) { ++dialogs; };
    ZoomBackgroundChoose(ws, 2);
    EXPECT_EQ(view->colours, 0x04114511u);
    ZoomBackgroundChoose(ws, -1);
    ZoomBackgroundChoose(ws, 3);  // past the list: nothing
    EXPECT_EQ(std::tuple(dialogs, view->colours), std::tuple(1, 0x04114511u));
    TheBackgroundDialog() = nullptr;
}

TEST_F(ToolPagesTest, TheBarMenusOpenFourPixelsBeforeTheRightEndOfTheirButtons) {
    UIElement* e = Open(kWsIdZoomBar, kWsPageZoomBar);
    ASSERT_NE(e, nullptr);
    float lastX = -1.0f;
    for (uint32_t slot : {kZoomSecondMenu, kZoomFirstMenu, kZoomGrid, kZoomBackground}) {
        const gElement* button = PageSlot(e, slot);
        ASSERT_NE(button, nullptr) << slot;
        // The bar lies in the top-right corner: its x counts leftwards from the right edge
        // of the 500 pixels wide window, and the buttons follow one another away from it.
        ASSERT_EQ(gSlotIndex(button->style), 1) << slot;
        EXPECT_GT(button->x, lastX) << slot;
        lastX = button->x;
        int32_t x = 0, y = 0, anchor = 0;
        ASSERT_TRUE(ToolMenuPopupPoint(button, &x, &y, &anchor)) << slot;
        EXPECT_EQ(std::tuple(x, y, anchor),
                  std::tuple(static_cast<int32_t>(500.0f - button->x) - 4, static_cast<int32_t>(button->y + 7.5f),
                             static_cast<int32_t>(button->width) - 8))
            << slot;
    }
}

TEST(ToolMenuPoint, CornerSlotsCountFromTheirOwnEdges) {
    platform::ScopedFakeBackend fake;
    ASSERT_NE(gInit(), nullptr);
    gWidgetsInstallHooks();
    gWindow* w = gWinCreateRec(0, 0, 400, 200, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    ASSERT_NE(w, nullptr);
    gWgtSelectWindow(w);
    const struct {
        uint32_t slot;
        int32_t x, y;
    } rows[] = {{kWsTop | kWsLeft, 30 + 40 - 4, 10 + 8},
                {kWsTop | kWsRight, 400 - 30 - 4, 10 + 8},
                {kWsBottom | kWsLeft, 30 + 40 - 4, 200 - 10 - 8},
                {kWsBottom | kWsRight, 400 - 30 - 4, 200 - 10 - 8}};
    for (const auto& row : rows) {
        gWgtTemplate t{.desc = {.kind = 38, .style = row.slot, .width = 40.0f, .height = 16.0f, .text = "Grid"}};
        gElement* button = gWgtAdd(w, nullptr, &t, 0);
        ASSERT_NE(button, nullptr);
        button->style = (button->style & ~0xFC000u) | row.slot;
        button->x = 30.0f;
        button->y = 10.0f;
        int32_t x = 0, y = 0, anchor = 0;
        ASSERT_TRUE(ToolMenuPopupPoint(button, &x, &y, &anchor));
        EXPECT_EQ(std::tuple(x, y, anchor), std::tuple(row.x, row.y, 32)) << std::hex << row.slot;
    }
    int32_t x = 0, y = 0, anchor = 0;
    EXPECT_FALSE(ToolMenuPopupPoint(nullptr, &x, &y, &anchor));
    gShutdown();
}

// ---- Select tab and statistic list ----------------------------------------------------------------

Project*& TestProject() {
    static Project* p = nullptr;
    return p;
}
std::vector<ProjectItem*>& Selected() {
    static std::vector<ProjectItem*> s;
    return s;
}

TEST_F(ToolPagesTest, SelectTabShowsOneTabPerItemAndClicksSelectOrDropThem) {
    auto* project = new Project;
    ProjectItem* named = ProjectCreateItem(project, "/data/first.fits");
    ProjectItem* unnamed = ProjectCreateItem(project, "/data/second.fits");
    ASSERT_NE(named, nullptr);
    ASSERT_NE(unnamed, nullptr);
    unnamed->name.clear();
    TestProject() = project;
    Selected().clear();
    SelectTabHooks& h = TheSelectTabHooks();
    h.currentProject = [](WorkspaceComponent*) { return TestProject(); };
    h.selectItem = [](ProjectItem* item) {
        Selected().push_back(item);
        return true;
    };
    h.refreshAll = [] { ++HookScope::Counts().refreshAlls; };

    UIElement* e = Open(kWsIdSelectTab, kWsPageSelectTab);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name, "SelectTab");
    gElement* tabs = PageSlot(e, 0);
    TabCtrl* t = TabCtrl::FromWidget(tabs);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->current, nullptr);
    ASSERT_EQ(t->current->count, 2);
    EXPECT_EQ(std::tuple(t->current->tabs[0]->label, t->current->tabs[1]->label),
              std::tuple("first.fits", "[none]"));
    EXPECT_EQ(t->current->current, 0);  // the current item's tab
    // The strip is as wide as its window leaves, also after the window changed.
    EXPECT_EQ(t->visibleWidth, 500.0f - tabs->x - 2.0f);
    window->clientWidth = 320;
    SelectTabFitWidth(ws);
    EXPECT_EQ(t->visibleWidth, 320.0f - tabs->x - 2.0f);

    // A live tab makes its item current.
    ASSERT_TRUE(TabCtrl::SelectTab(tabs, 1));
    SelectTabPress(tabs, Data(e));
    EXPECT_EQ(Selected(), (std::vector<ProjectItem*>{unnamed}));

    // By item: event 7 repaints every window and answers false, below 3 false too.
    const int refreshes = HookScope::Counts().refreshAlls;
    EXPECT_FALSE(SelectTabByIndex(ws, named, 7));
    EXPECT_EQ(HookScope::Counts().refreshAlls, refreshes + 1);
    EXPECT_EQ(t->current->current, 0);
    EXPECT_FALSE(SelectTabByIndex(ws, unnamed, 2));
    EXPECT_TRUE(SelectTabByIndex(ws, unnamed, 5));

    // A tab whose item left the current project is removed when clicked.
    auto* other = new Project;
    TestProject() = other;
    SelectTabPress(tabs, Data(e));
    EXPECT_EQ(t->current->count, 1);
    EXPECT_EQ(Selected().size(), 1u);
    TestProject() = project;
    EXPECT_TRUE(SelectTabCurrent(ws, 3));
    EXPECT_EQ(t->current->count, 2);
    // A third file made current: the strip alone refilled shows its tab chosen, and no
    // window is repainted for it.
    ProjectItem* third = ProjectCreateItem(project, "/data/third.fits");
    ASSERT_NE(third, nullptr);
    project->currentItem.store(third);
    const int before = HookScope::Counts().refreshAlls;
    EXPECT_TRUE(SelectTabRefill(ws));
    ASSERT_EQ(t->current->count, 3);
    EXPECT_EQ(t->current->tabs[2]->label, "third.fits");
    EXPECT_EQ(t->current->current, 2);
    EXPECT_EQ(HookScope::Counts().refreshAlls, before);
    EXPECT_FALSE(SelectTabRefill(nullptr));
    TestProject() = nullptr;
    delete other;
    delete project;
}

TEST_F(ToolPagesTest, SelectTabByIndexTellsTheActiveViewOnlyWhenItGoesOn) {
    auto* project = new Project;
    ProjectItem* first = ProjectCreateItem(project, "/data/first.fits");
    ProjectItem* second = ProjectCreateItem(project, "/data/second.fits");
    ASSERT_NE(second, nullptr);
    TestProject() = project;
    SelectTabHooks& h = TheSelectTabHooks();
    h.currentProject = [](WorkspaceComponent*) { return TestProject(); };
    h.refreshAll = [] { ++HookScope::Counts().refreshAlls; };
    MakeCell();
    auto* view = new TabNotedWindow(cell);
    GiveGraphics(view);
    // The page is not open yet: nothing to select, nobody told.
    EXPECT_FALSE(SelectTabByIndex(ws, first, 5));
    UIElement* e = Open(kWsIdSelectTab, kWsPageSelectTab);
    ASSERT_NE(e, nullptr);
    gElement* tabs = PageSlot(e, 0);
    EXPECT_FALSE(SelectTabByIndex(ws, second, 2));   // an event below 3
    EXPECT_FALSE(SelectTabByIndex(ws, nullptr, 5));  // no item
    tabs->shown = 0;
    EXPECT_FALSE(SelectTabByIndex(ws, first, 5));  // the strip is not shown
    tabs->shown = 1;
    EXPECT_TRUE(view->notes.empty());
    EXPECT_TRUE(SelectTabByIndex(ws, second, 5));
    const int refreshes = HookScope::Counts().refreshAlls;
    EXPECT_FALSE(SelectTabByIndex(ws, first, 7));
    EXPECT_EQ(HookScope::Counts().refreshAlls, refreshes + 1);
    EXPECT_EQ(view->notes, (std::vector<int32_t>{0, 0}));
    // Without an active view the selection still goes on.
    ws->activeCell = nullptr;
    EXPECT_TRUE(SelectTabByIndex(ws, second, 4));
    ws->activeCell = cell;
    EXPECT_EQ(view->notes.size(), 2u);

    // What a window does with it: its host's window is marked for the next repaint.
    static GraphicsHost host;
    host = GraphicsHost{};
    host.window = window;
    TheGraphicsHostServices().host = [](DisplayCellBase*) { return &host; };
    FakeGraphicsWindow plain(cell);
    window->dirty = 0;
    plain.SelectTabChanged(0);
    EXPECT_EQ(window->dirty, 7);
    TheGraphicsHostServices().host = nullptr;
    TestProject() = nullptr;
    delete project;
}

TEST_F(ToolPagesTest, TheStripStartsRightOfTheGroupsPageColumnUnderItsTopMargin) {
    WindowGroup& group = TheCUI().groups[2];
    const WindowGroup saved = group;
    group.sideWidth = 263;
    group.topMargin = 20;
    group.windows[0] = window;
    void* const savedData = window->userData;
    window->userData = &group;
    UIElement* e = Open(kWsIdSelectTab, kWsPageSelectTab);
    ASSERT_NE(e, nullptr);
    ASSERT_NE(e->group, nullptr);
    EXPECT_EQ(std::tuple(e->group->x, e->group->y), std::tuple(263.0f, 21.0f));
    const gElement* tabs = PageSlot(e, 0);
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(std::tuple(tabs->x, tabs->y), std::tuple(263.0f + e->group->marginLeft, 21.0f + e->group->marginTop));
    EXPECT_EQ(TabCtrl::FromWidget(tabs)->visibleWidth, 500.0f - tabs->x - 2.0f);
    // It keeps its place through the window's page switches, and takes a band above the
    // workspace as high as its group with the group's margins.
    EXPECT_NE(e->flags & kElementKeepsPlace, 0u);
    const float band = std::ceil(e->group->height + e->group->marginTop + e->group->marginBottom);
    EXPECT_GE(band, 16.0f);
    EXPECT_EQ(SelectTabBandHeight(ws, window), band);
    UIPage* pages = WorkspacePageTable(ws);
    ASSERT_NE(pages, nullptr);
    SetDockedPageShown(pages, window, false);
    EXPECT_EQ(e->group->shown, 1);
    EXPECT_EQ(SelectTabBandHeight(ws, window), band);
    // A wider page column moves it right and down with its tab bar, which then ends 2
    // pixels short of the window's right edge.
    SelectTabMoveTo(ws, window, 300.0f, 40.0f);
    EXPECT_EQ(std::tuple(e->group->x, e->group->y), std::tuple(300.0f, 40.0f));
    EXPECT_EQ(std::tuple(tabs->x, tabs->y), std::tuple(300.0f + e->group->marginLeft, 40.0f + e->group->marginTop));
    EXPECT_EQ(TabCtrl::FromWidget(tabs)->visibleWidth, 500.0f - tabs->x - 2.0f);
    // Not in another window, nor while hidden.
    FakeWindow elsewhere;
    EXPECT_EQ(SelectTabBandHeight(ws, &elsewhere.window), 0.0f);
    SetGroupShown(e->group, false);
    EXPECT_EQ(SelectTabBandHeight(ws, window), 0.0f);
    SetGroupShown(e->group, true);
    // Any other window, a child of the group's window among them: (120, 1).
    float place[2] = {};
    FakeWindow other;
    for (gWindow* w : {&other.window, static_cast<gWindow*>(nullptr)}) {
        if (w != nullptr) w->userData = &group;
        SelectTabPlace(w, place);
        EXPECT_EQ(std::tuple(place[0], place[1]), std::tuple(120.0f, 1.0f));
    }
    window->userData = savedData;
    group = saved;
}

TEST_F(ToolPagesTest, TheSelectTabAndTheStatisticListStartAtTheirPlaces) {
    UIElement* tabs = Open(kWsIdSelectTab, kWsPageSelectTab);
    ASSERT_TRUE(tabs != nullptr && tabs->group != nullptr);
    EXPECT_EQ(std::tuple(tabs->group->x, tabs->group->y), std::tuple(120.0f, 1.0f));
    EXPECT_EQ(PageSlot(tabs, 0)->x, 120.0f + tabs->group->marginLeft);
    gWindow* second = gWinCreateRec(10, 320, 300, 200, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    ASSERT_NE(second, nullptr);
    EXPECT_GE(WorkspacePanelBuilder(page, second, kWsIdStatistic), 1);
    UIElement* list = WorkspaceOpenPage(ws, kWsPageStatistic, false);
    ASSERT_TRUE(list != nullptr && list->group != nullptr);
    EXPECT_EQ(std::tuple(list->group->x, list->group->y), std::tuple(2.0f, 0.0f));
    // The list itself stands 2 across and 1 down inside the group's margins.
    EXPECT_EQ(std::tuple(PageSlot(list, 0)->x, PageSlot(list, 0)->y),
              std::tuple(2.0f + list->group->marginLeft + 2.0f, list->group->marginTop + 1.0f));
}

TEST_F(ToolPagesTest, TheChartZoomButtonsAndTheOneToOneTextFollowTheLockInTheBarsRow) {
    UIElement* e = Open(kWsIdZoomBar, kWsPageZoomBar);
    ASSERT_NE(e, nullptr);
    // Each after the one before, the gap of the group apart, none over another: "L", "+",
    // "-", "1:1", then the reset button.
    const float gap = e->group->gapX;
    const uint32_t order[] = {kZoomLock, kZoomIn, kZoomOut, kZoomOneToOne, kZoomReset};
    for (size_t i = 1; i < std::size(order); ++i) {
        const gElement* before = PageSlot(e, order[i - 1]);
        const gElement* next = PageSlot(e, order[i]);
        ASSERT_TRUE(before != nullptr && next != nullptr) << i;
        EXPECT_EQ(next->x, before->x + before->cellWidth + gap) << i;
        EXPECT_EQ(next->y, before->y) << i;
    }
    EXPECT_EQ(std::tuple(PageSlot(e, kZoomIn)->width, PageSlot(e, kZoomOut)->width, PageSlot(e, kZoomOneToOne)->width),
              std::tuple(13.0f, 13.0f, 69.0f));
}

TEST_F(ToolPagesTest, StatisticListHasTwoColumnsAndPassesCtrlCToTheActiveCell) {
    UIElement* e = Open(kWsIdStatistic, kWsPageStatistic);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name, "Statistic");
    ListCtrl* list = ListCtrl::FromWidget(PageSlot(e, 0));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ws->statisticsList, list);
    EXPECT_EQ(list->columnWidths, (std::vector<float>{60.0f, 110.0f}));
    const StatListDescriptor* desc = StatListDesc();
    EXPECT_EQ(list->rowCount, desc->rows);
    EXPECT_EQ(list->rows[0].cells[0].text, desc->labels[0]);

    MakeCell();
    auto* view = new FakeGraphicsWindow(cell);
    GiveGraphics(view);
    static std::vector<uint32_t> keys;
    keys.clear();
    view->keyDown = [](GraphicsWindow*, uint32_t key) -> int32_t {
        keys.push_back(key);
        return 1;
    };
    gKeyEvent ctrlC{kKeyCtrlL | 'C', 'C', 0};
    gKeyEvent ctrlInsert{kKeyCtrlL | kKeyInsert, 0, 0};
    gKeyEvent plainC{'C', 'C', 0};
    EXPECT_TRUE(StatisticListKey(window, nullptr, &ctrlC));
    EXPECT_TRUE(StatisticListKey(window, nullptr, &ctrlInsert));
    EXPECT_FALSE(StatisticListKey(window, nullptr, &plainC));
    EXPECT_EQ(keys, (std::vector<uint32_t>{kKeyCtrlL | 'C', kKeyCtrlL | kKeyInsert}));
    // A cell window that takes no keys now: the siblings are asked instead (none here).
    cellWindow.window.state = 0x1000;
    EXPECT_FALSE(StatisticListKey(window, nullptr, &ctrlC));
    EXPECT_EQ(keys.size(), 2u);
    cellWindow.window.state = 0;
}

// A list given less room than its rows shows as many as fit, with its bar beside them
// (its window the bar's width wider); the bar and the wheel scroll the rest, a table of
// other rows keeps the room, and a room of all the rows takes the bar away again.
TEST_F(ToolPagesTest, AStatisticListTallerThanItsRoomScrolls) {
    UIElement* e = Open(kWsIdStatistic, kWsPageStatistic);
    ASSERT_NE(e, nullptr);
    ListCtrl* list = ListCtrl::FromWidget(PageSlot(e, 0));
    ASSERT_NE(list, nullptr);
    gWindow* w = list->widget->window;
    EXPECT_EQ(list->visibleRows, 28);
    ASSERT_NE(list->verticalBar, nullptr);
    EXPECT_EQ(list->verticalBar->shown, 0);
    const int32_t wide = w->clientWidth;

    StatisticListSetRoom(list, list->headerHeight + 10.0f * list->rowHeight + 2.0f);
    EXPECT_EQ(list->visibleRows, 10);
    EXPECT_EQ(list->verticalBar->shown, 1);
    EXPECT_EQ(w->clientWidth, wide + 16);
    EXPECT_EQ(w->clientHeight, static_cast<int32_t>(std::ceil(list->widget->y + list->widget->height)) + 3);
    // The wheel: three rows a notch, never past the last full page.
    ASSERT_NE(list->widget->onWheel, nullptr);
    list->widget->onWheel(list->widget, -120, 0);
    EXPECT_EQ(list->firstVisible, 3);
    list->verticalBar->onWheel(list->verticalBar, -240, 0);
    EXPECT_EQ(list->firstVisible, 9);
    list->widget->onWheel(list->widget, -1200, 0);
    EXPECT_EQ(list->firstVisible, 18);
    list->widget->onWheel(list->widget, 120, 0);
    EXPECT_EQ(list->firstVisible, 15);

    // The region table: its own rows from the first, in the same room.
    ASSERT_TRUE(StatisticListUseTable(list, StatRegionTable()));
    EXPECT_EQ(list->rowCount, 27);
    EXPECT_EQ(list->firstVisible, 0);
    EXPECT_EQ(list->visibleRows, 10);
    EXPECT_EQ(list->rows[1].cells[0].text, "Bkgr:");

    StatisticListSetRoom(list, 0.0f);
    EXPECT_EQ(list->visibleRows, 27);
    EXPECT_EQ(list->verticalBar->shown, 0);
    EXPECT_EQ(w->clientWidth, wide);
}

}  // namespace
}  // namespace orva
