// The workspace without a server: its four slots and the active cell, the user-interface
// object's current cell, the snap rule of a segment and the keys of its window.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "app/cui.h"
#include "toolkit/input.h"
#include "views/rulers.h"
#include "views_test_support.h"

namespace orva {
namespace {

using views_testing::FakeWindow;
using views_testing::HookScope;
using views_testing::WiredCell;

HookScope::Tally& Tally() { return HookScope::Counts(); }

class Slots : public ::testing::Test {
protected:
    Slots() {
        ws = new WorkspaceComponent;
        for (auto*& c : cells) c = new DisplayComponent(nullptr, nullptr);
    }
    ~Slots() override {
        for (auto* c : cells) c->Release();
        ws->Release();
    }
    HookScope hooks;
    WorkspaceComponent* ws;
    DisplayComponent* cells[5];
};

TEST_F(Slots, FourCellsFitAndNumbersOutsideOneToFourTakeTheFirstEmptySlot) {
    EXPECT_TRUE(PlaceCellInSlot(ws, cells[0], 3));
    EXPECT_EQ(ws->cells[2], cells[0]);
    EXPECT_TRUE(PlaceCellInSlot(ws, cells[1], 0));
    EXPECT_EQ(ws->cells[0], cells[1]);
    EXPECT_TRUE(PlaceCellInSlot(ws, cells[2], 5));
    EXPECT_EQ(ws->cells[1], cells[2]);
    EXPECT_TRUE(PlaceCellInSlot(ws, cells[3], 1));  // taken: the first empty one
    EXPECT_EQ(ws->cells[3], cells[3]);
    EXPECT_FALSE(PlaceCellInSlot(ws, cells[4], 0));  // a fifth cell has no room
    EXPECT_EQ(cells[4]->workspace, nullptr);
    EXPECT_EQ(ws->activeCell, cells[0]);             // the first placed became active
    for (int i = 0; i < 4; ++i) EXPECT_EQ(cells[i]->workspace, ws);
    // A cell already held stays where it is.
    EXPECT_TRUE(PlaceCellInSlot(ws, cells[1], 4));
    EXPECT_EQ(ws->cells[0], cells[1]);
    EXPECT_TRUE(CellInSlot(ws, cells[1], 1));
    EXPECT_FALSE(CellInSlot(ws, cells[1], 4));
    EXPECT_FALSE(CellInSlot(ws, cells[1], 0));
}

TEST_F(Slots, NothingAndCellsOfOtherWorkspacesAreRefused) {
    EXPECT_FALSE(PlaceCellInSlot(ws, nullptr, 1));
    EXPECT_FALSE(PlaceCellInSlot(nullptr, cells[0], 1));
    auto* other = new WorkspaceComponent;
    ASSERT_TRUE(PlaceCellInSlot(other, cells[0], 1));
    EXPECT_FALSE(PlaceCellInSlot(ws, cells[0], 1));
    EXPECT_EQ(ws->cells[0], nullptr);
    RemoveCell(other, cells[0]);
    other->Release();
    EXPECT_TRUE(PlaceCellInSlot(ws, cells[0], 1));
}

TEST_F(Slots, CellsByNumberWithAndWithoutFallback) {
    uint32_t n = 7;
    EXPECT_EQ(GetCellByNumber(ws, &n, false), nullptr);
    EXPECT_EQ(n, 4u);
    n = 0;
    EXPECT_EQ(GetCellByNumber(ws, &n, true), nullptr);  // an empty workspace
    ASSERT_TRUE(PlaceCellInSlot(ws, cells[0], 2));
    ASSERT_TRUE(PlaceCellInSlot(ws, cells[1], 3));
    struct Row {
        uint32_t number;
        bool fallback;
        DisplayComponent* want;
        uint32_t numberAfter;
    };
    const Row rows[] = {
        {0, false, cells[0], 2},  // the active cell and its slot
        {2, false, cells[0], 2},  {3, false, cells[1], 3}, {1, false, nullptr, 1},
        {1, true, cells[0], 2},   // an empty slot: the first occupied one
        {4, true, cells[0], 2},   {9, false, nullptr, 4},  {9, true, cells[0], 2},
    };
    for (const Row& r : rows) {
        uint32_t number = r.number;
        EXPECT_EQ(GetCellByNumber(ws, &number, r.fallback), r.want) << r.number << " " << r.fallback;
        EXPECT_EQ(number, r.numberAfter) << r.number << " " << r.fallback;
    }
    // The active cell held in no slot: asked with a number there is none.
    ws->activeCell = cells[4];
    uint32_t number = 0;
    EXPECT_EQ(GetActiveCell(ws, &number), nullptr);
    EXPECT_EQ(GetActiveCell(ws, nullptr), cells[4]);
    ws->activeCell = nullptr;
    EXPECT_EQ(GetActiveCell(ws, &number), cells[0]);  // no active cell: the first occupied slot
    EXPECT_EQ(number, 2u);
}

TEST_F(Slots, RemovingTheActiveCellLeavesNoTraceInTheUserInterfaceObject) {
    CUI& cui = TheCUI();
    ws->ui = &cui;
    cui.groups[0].workspace = ws;
    cells[0]->ui = &cui;
    cells[1]->ui = &cui;
    ASSERT_TRUE(PlaceCellInSlot(ws, cells[0], 1));
    EXPECT_EQ(cui.currentCell, cells[0]);  // the main workspace and no current cell before
    ASSERT_TRUE(PlaceCellInSlot(ws, cells[1], 2));
    EXPECT_EQ(cui.currentCell, cells[1]);  // the current cell was this workspace's
    cells[2]->ui = nullptr;
    ASSERT_TRUE(PlaceCellInSlot(ws, cells[2], 3));
    EXPECT_EQ(cui.currentCell, cells[1]);  // a cell of another owner does not become current
    ws->activeCell = cells[1];
    RemoveCell(ws, cells[1]);
    EXPECT_EQ(ws->activeCell, nullptr);
    for (DisplayComponent* c : ws->cells) EXPECT_NE(c, cells[1]);
    EXPECT_EQ(cells[1]->workspace, nullptr);
    EXPECT_EQ(cui.currentCell, nullptr);
    // The workspace that goes is forgotten by its group.
    RemoveCell(ws, cells[0]);
    RemoveCell(ws, cells[2]);
    for (auto* c : cells) c->ui = nullptr;
    ws->Release();
    ws = new WorkspaceComponent;
    EXPECT_EQ(cui.groups[0].workspace, nullptr);
    cui.currentCell = nullptr;
}

TEST(WorkspaceParts, TheLensPreviewAndNamesStartAsTheyShould) {
    auto* ws = new WorkspaceComponent;
    EXPECT_EQ(ws->lens.size, 24u);
    EXPECT_FLOAT_EQ(ws->lens.zoom, 6.0f);
    EXPECT_EQ(ws->lens.capacity, 24u * 24u * 3u);
    EXPECT_NE(ws->lens.buffer, nullptr);
    EXPECT_EQ(ws->lens.centreOffset, 828u);
    EXPECT_EQ(ws->kind, 13);
    EXPECT_STREQ(ws->name, "Workspace");
    EXPECT_TRUE(SameComponentId(ws->GetClassId(), &kWorkspaceId));
    EXPECT_EQ(ws->snapPending, 1);
    EXPECT_TRUE(ws->QueryInterface(&kBaseId, nullptr));
    EXPECT_FALSE(ws->QueryInterface(&kDisplayCellId, nullptr));
    ws->Release();
}

// ---- Snapping -------------------------------------------------------------------------------------

struct SnapCase {
    const char* name;
    float dx, dy;
    double wantX, wantY;  // the end point's offsets from the start after the rule
};

class SnapRule : public ::testing::TestWithParam<SnapCase> {};

TEST_P(SnapRule, HorizontalVerticalOrDiagonal) {
    const SnapCase& c = GetParam();
    const float start[2] = {100.0f, 50.0f};
    float end[2] = {start[0] + c.dx, start[1] + c.dy};
    SnapSegment(start, end);
    EXPECT_NEAR(end[0] - start[0], c.wantX, 1e-5) << c.name;
    EXPECT_NEAR(end[1] - start[1], c.wantY, 1e-5) << c.name;
}

// sqrt(200) x 0.70710677 is 10 within 1e-6.
const double kDiagonal = std::sqrt(200.0) * 0.70710677;
INSTANTIATE_TEST_SUITE_P(
    Cases, SnapRule,
    ::testing::Values(SnapCase{"horizontal", 10, 4, 10, 0}, SnapCase{"horizontal_at_half", 10, 5, 10, 0},
                      SnapCase{"vertical", 10, 25, 0, 25}, SnapCase{"vertical_up", -3, -7, 0, -7},
                      SnapCase{"diagonal", 10, 10, kDiagonal, kDiagonal},
                      SnapCase{"diagonal_at_double", 10, 20, std::sqrt(500.0) * 0.70710677, std::sqrt(500.0) * 0.70710677},
                      SnapCase{"diagonal_left_down", -10, 10, -kDiagonal, kDiagonal},
                      SnapCase{"diagonal_both_negative", -10, -8, -std::sqrt(164.0) * 0.70710677, -std::sqrt(164.0) * 0.70710677},
                      SnapCase{"no_move", 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<SnapCase>& info) { return std::string(info.param.name); });

TEST(SnapRule, TheDiagonalOfTenByTenIsTen) { EXPECT_NEAR(kDiagonal, 10.0, 1e-6); }

// ---- Keys -------------------------------------------------------------------------------------------------

class Keys : public ::testing::Test {
protected:
    Keys() {
        ws = new WorkspaceComponent;
        ws->window = &fake.window;
        EXPECT_TRUE(PlaceCellInSlot(ws, wired.cell, 1));
        wired.graphics->keyDown = [](GraphicsWindow*, uint32_t key) {
            lastDown() = key;
            return 1;
        };
        wired.graphics->keyUp = [](GraphicsWindow*, uint32_t key) {
            lastUp() = key;
            return 1;
        };
        lastDown() = lastUp() = 0;
    }
    ~Keys() override {
        RemoveCell(ws, wired.cell);
        ws->Release();
    }
    static uint32_t& lastDown() {
        static uint32_t key = 0;
        return key;
    }
    static uint32_t& lastUp() {
        static uint32_t key = 0;
        return key;
    }
    // A segment from (100, 100) being drawn, the pointer at (110, 104).
    void Drawing() {
        wired.cell->host.drag.state = 1;
        wired.cell->host.drag.startX = wired.cell->host.drag.startY = 100.0f;
        wired.graphics->pointerX = 110.0f;
        wired.graphics->pointerY = 104.0f;
    }

    HookScope hooks;
    FakeWindow fake;
    WiredCell wired{&fake.window};
    WorkspaceComponent* ws;
};

TEST_F(Keys, ShiftSnapsTheSegmentAndItsReleaseRestoresTheRawEndPoint) {
    Drawing();
    Tally().modifiers = kKeyShift;
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyShiftL));
    EXPECT_EQ(ws->snapPending, 0);
    EXPECT_FLOAT_EQ(wired.cell->host.drag.x, 110.0f);
    EXPECT_FLOAT_EQ(wired.cell->host.drag.y, 100.0f);  // horizontal
    EXPECT_EQ(Tally().paints.size(), 1u);
    // The repeat of the held Shift does nothing more.
    wired.graphics->pointerY = 130.0f;
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyShiftL));
    EXPECT_FLOAT_EQ(wired.cell->host.drag.y, 100.0f);
    // The release: the raw end point and the flag set again.
    Tally().modifiers = 0;
    EXPECT_TRUE(WorkspaceOnKeyRelease(&fake.window, kKeyShiftL));
    EXPECT_EQ(ws->snapPending, 1);
    EXPECT_FLOAT_EQ(wired.cell->host.drag.x, 110.0f);
    EXPECT_FLOAT_EQ(wired.cell->host.drag.y, 130.0f);
    EXPECT_EQ(Tally().paints.size(), 2u);
    EXPECT_EQ(lastUp(), 0u);
}

TEST_F(Keys, TheViewsSnapOptionInvertsTheRule) {
    Drawing();
    wired.cell->host.shapeOptions.snapInvert = 1;
    Tally().modifiers = kKeyShift;
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyShiftR));
    EXPECT_FLOAT_EQ(wired.cell->host.drag.y, 104.0f);  // Shift held: raw
    Tally().modifiers = 0;
    EXPECT_TRUE(WorkspaceOnKeyRelease(&fake.window, kKeyShiftR));
    EXPECT_FLOAT_EQ(wired.cell->host.drag.y, 100.0f);  // released: snapped
}

TEST_F(Keys, ShiftWithoutASegmentIsOnlyAModifierOrGoesToTheWindow) {
    Tally().modifiers = kKeyShift;
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyShiftL));
    EXPECT_EQ(ws->snapPending, 1);
    EXPECT_EQ(lastDown(), 0u);
    EXPECT_TRUE(WorkspaceOnKeyRelease(&fake.window, kKeyShiftL));
    EXPECT_EQ(lastUp(), kKeyShiftL);  // not drawing: the window's own handler
    // A key with Shift goes on to the window.
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyShiftL | 'Q'));
    EXPECT_EQ(lastDown(), kKeyShiftL | 'Q');
}

TEST_F(Keys, CtrlWClosesTheItemAndAltWTheData) {
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyCtrlL | 'W'));
    EXPECT_EQ(Tally().itemsClosed, 1);
    EXPECT_EQ(Tally().dataClosed, 0);
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyAltL | 'W'));
    EXPECT_EQ(Tally().dataClosed, 1);
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyAltR | kKeyCtrlR | 'W'));
    EXPECT_EQ(Tally().dataClosed, 2);  // Alt wins
    Tally().projects = false;
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyCtrlL | 'W'));  // handled, nothing done
    EXPECT_EQ(Tally().itemsClosed, 1);
    EXPECT_EQ(lastDown(), 0u);
    // W alone goes to the window.
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, 'W'));
    EXPECT_EQ(lastDown(), static_cast<uint32_t>('W'));
}

TEST_F(Keys, RulerKeysToggleStyleFlagTwo) {
    ScaleRecord& h = wired.cell->rulers.horizontal;
    ScaleRecord& v = wired.cell->rulers.vertical;
    struct Row {
        uint32_t key;
        bool horizontal, vertical;
    };
    const Row rows[] = {
        {0xBB, true, true},    // "+": both when not both have it
        {0xBB, false, false},  // both had it: both lose it
        {0xBD, false, true},   // "-": the vertical scale
        {0xBB, true, true},
        {0xDC, false, true},   // "\": the horizontal scale
        {0xBD, false, false},
    };
    size_t paints = 0;
    for (const Row& r : rows) {
        EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, r.key));
        EXPECT_EQ((h.flags & 2) != 0, r.horizontal) << std::hex << r.key;
        EXPECT_EQ((v.flags & 2) != 0, r.vertical) << std::hex << r.key;
        EXPECT_EQ(Tally().paints.size(), ++paints);
    }
    // With a modifier the keys are the window's.
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyCtrlL | 0xBB));
    EXPECT_EQ(lastDown(), kKeyCtrlL | 0xBB);
    EXPECT_EQ(h.flags & 2, 0u);
}

TEST_F(Keys, RulerKeysShowTheScalesTheirFlagStandsFor) {
    const ViewRulers& r = wired.cell->rulers;
    struct Row {
        uint32_t key;
        uint8_t shown, horizontal, vertical;
    };
    const Row rows[] = {
        {0xBB, 1, 1, 1},  // "+": both rulers
        {0xDC, 1, 0, 1},  // "\": the top one goes, the left one stays
        {0xBD, 0, 0, 0},  // "-": the left one goes too: no rulers
        {0xBD, 1, 0, 1},  // "-" again: the left one alone
        {0xBB, 1, 1, 1},  // "+" while not both: both
        {0xBB, 0, 0, 0},  // "+" while both: none
    };
    for (const Row& row : rows) {
        EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, row.key));
        EXPECT_EQ(std::tuple(r.shown, r.scaleShown[0], r.scaleShown[1]),
                  std::tuple(row.shown, row.horizontal, row.vertical))
            << std::hex << row.key;
    }
    // The view options keep the flag in step: after the rulers were switched on there,
    // "+" finds both shown and hides them.
    EXPECT_EQ(SetRulersShown(wired.cell, true), 2);  // both scales were hidden
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, 0xBB));
    EXPECT_EQ(std::tuple(r.shown, r.scaleShown[0], r.scaleShown[1]), std::tuple(0, 0, 0));
}

TEST_F(Keys, ToolsKeyModifiersAndTheWindowsOwnHandlers) {
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, kKeyCtrlL));  // no key bits: handled
    // F4 (and Alt+F4) go on to the shortcuts and the group window, which toggle "Chart
    // Tools" and check its menu item.
    EXPECT_FALSE(WorkspaceOnKeyPress(&fake.window, 0x400));
    ComponentUi ui;
    ws->ui = &ui;
    EXPECT_FALSE(WorkspaceOnKeyPress(&fake.window, 0x400));
    EXPECT_EQ(Tally().toolSyncs, 0);
    EXPECT_FALSE(WorkspaceOnKeyPress(&fake.window, kKeyAltL | 0x400));
    ws->ui = nullptr;
    EXPECT_TRUE(WorkspaceOnKeyPress(&fake.window, 'P'));
    EXPECT_EQ(lastDown(), static_cast<uint32_t>('P'));
    fake.window.state = 0x1000;  // a hidden window passes no key
    EXPECT_FALSE(WorkspaceOnKeyPress(&fake.window, 'R'));
    fake.window.state = 0;
    EXPECT_FALSE(WorkspaceOnKeyRelease(&fake.window, kKeyCtrlL));  // no key bits on release
    EXPECT_TRUE(WorkspaceOnKeyRelease(&fake.window, 'P'));
    EXPECT_EQ(lastUp(), static_cast<uint32_t>('P'));
    // Without an active cell, or for another window, nothing is handled.
    FakeWindow other;
    EXPECT_FALSE(WorkspaceOnKeyPress(&other.window, 'P'));
    ws->activeCell = nullptr;
    EXPECT_FALSE(WorkspaceOnKeyPress(&fake.window, 'P'));
    EXPECT_FALSE(WorkspaceOnKeyRelease(&fake.window, 'P'));
    ws->activeCell = wired.cell;
}

}  // namespace
}  // namespace orva
