// The view options of a cell's rulers: shown and hidden scales, the byte options, the
// chart toggles and the wheel.
#include <gtest/gtest.h>

#include "views/rulers.h"
#include "views_test_support.h"

namespace orva {
namespace {

using views_testing::FakeGraphicsWindow;
using views_testing::FakeWindow;
using views_testing::HookScope;
using views_testing::WiredCell;

class Options : public ::testing::Test {
protected:
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired{&fake.window};
    ViewRulers& rulers() { return wired.cell->rulers; }
    size_t Paints() { return HookScope::Counts().paints.size(); }
};

TEST_F(Options, RulersShownShowsBothScalesWhenNoneIsShown) {
    EXPECT_EQ(SetRulersShown(wired.cell, true), 2);
    EXPECT_EQ(rulers().shown, 1);
    EXPECT_EQ(rulers().scaleShown[0], 1);
    EXPECT_EQ(rulers().scaleShown[1], 1);
    EXPECT_EQ(Paints(), 1u);
    EXPECT_EQ(SetRulersShown(wired.cell, true), 0);  // unchanged
    EXPECT_EQ(Paints(), 1u);
    EXPECT_EQ(SetRulersShown(wired.cell, false), 1);
    EXPECT_EQ(rulers().shown, 0);
    EXPECT_EQ(rulers().scaleShown[0], 1);  // the scales keep their bytes
    EXPECT_EQ(ToggleRulersShown(wired.cell), 1);
    EXPECT_EQ(rulers().shown, 1);
    // Without a graphics window there is nothing to set.
    wired.cell->currentWindow = nullptr;
    EXPECT_EQ(SetRulersShown(wired.cell, false), 0);
    EXPECT_EQ(rulers().shown, 1);
    wired.cell->currentWindow = wired.graphics;
}

TEST_F(Options, HidingOneScaleKeepsTheRulersWhileTheOtherIsShown) {
    ASSERT_EQ(SetRulersShown(wired.cell, true), 2);
    EXPECT_EQ(SetHorizontalScaleShown(wired.cell, false), 1);
    EXPECT_EQ(rulers().shown, 1);
    EXPECT_EQ(rulers().scaleShown[0], 0);
    EXPECT_EQ(SetVerticalScaleShown(wired.cell, false), 2);  // the last one: the rulers go
    EXPECT_EQ(rulers().shown, 0);
    EXPECT_EQ(SetVerticalScaleShown(wired.cell, true), 2);   // one shown: the rulers again
    EXPECT_EQ(rulers().shown, 1);
    EXPECT_EQ(ToggleHorizontalScaleShown(wired.cell), 1);
    EXPECT_EQ(rulers().scaleShown[0], 1);
    EXPECT_EQ(ToggleVerticalScaleShown(wired.cell), 1);
    EXPECT_EQ(rulers().scaleShown[1], 0);
    EXPECT_EQ(rulers().shown, 1);
}

TEST_F(Options, ByteOptionsAnswerWhetherTheyChanged) {
    struct Row {
        bool (*set)(DisplayComponent*, bool);
        bool (*toggle)(DisplayComponent*);
        bool repaints;
    };
    const Row rows[] = {{&SetRulerOptionA, &ToggleRulerOptionA, true}, {&SetRulerOptionB, &ToggleRulerOptionB, true},
                        {&SetRulerOptionC, &ToggleRulerOptionC, false}, {&SetRulerOptionD, &ToggleRulerOptionD, true}};
    for (const Row& r : rows) {
        size_t before = Paints();
        bool initial = r.set(wired.cell, true);  // A and B start at 1, C and D at 0
        EXPECT_FALSE(r.set(wired.cell, true));
        EXPECT_TRUE(r.set(wired.cell, false));
        EXPECT_TRUE(r.toggle(wired.cell));
        EXPECT_FALSE(r.set(wired.cell, true));
        EXPECT_EQ(Paints() - before, r.repaints ? (initial ? 3u : 2u) : 0u);
    }
    EXPECT_EQ(rulers().flagA, 1);
    EXPECT_EQ(rulers().optionC, 1);
    // The colour set and variant give both scales the set of (variant, index).
    EXPECT_TRUE(SetRulerColourSet(wired.cell, 1));
    EXPECT_FALSE(SetRulerColourSet(wired.cell, 1));
    ScaleRecord probe;
    SliderCtrl::SetColours(&probe, false, true);
    EXPECT_FLOAT_EQ(rulers().horizontal.colours[0], probe.colours[0]);
    EXPECT_TRUE(ToggleRulerColourVariant(wired.cell));
    SliderCtrl::SetColours(&probe, true, true);
    EXPECT_FLOAT_EQ(rulers().vertical.colours[1], probe.colours[1]);
    EXPECT_TRUE(ToggleRulerColourSet(wired.cell));
    EXPECT_EQ(rulers().tint, 0);
}

struct ToggleLog {
    static ToggleLog& Get() {
        static ToggleLog log;
        return log;
    }
    int first = 0, second = 0;
    bool last = false;
};

TEST_F(Options, ChartTogglesReachTheChartOfTheActiveCellOnly) {
    ChartToggleHooks saved = TheChartToggleHooks();
    ToggleLog::Get() = ToggleLog{};
    TheChartToggleHooks().first = [](OutputWindow*, bool on) {
        ++ToggleLog::Get().first;
        ToggleLog::Get().last = on;
    };
    TheChartToggleHooks().second = [](OutputWindow*, bool on) {
        ++ToggleLog::Get().second;
        ToggleLog::Get().last = on;
    };
    // An image window: only the byte.
    EXPECT_TRUE(SetChartToggle(wired.cell, true, true));
    EXPECT_EQ(rulers().chartToggle[0], 1);
    EXPECT_EQ(ToggleLog::Get().first, 0);
    EXPECT_TRUE(DisplayIsNotChart(wired.cell));
    // A chart of a cell without workspace: the chart's own toggle.
    wired.graphics->id = &kChartWindowId;
    EXPECT_FALSE(DisplayIsNotChart(wired.cell));
    EXPECT_TRUE(SetChartToggle(wired.cell, false, true));
    EXPECT_EQ(rulers().chartToggle[1], 1);
    EXPECT_EQ(ToggleLog::Get().second, 1);
    EXPECT_TRUE(ToggleChartToggle(wired.cell, true));
    EXPECT_EQ(ToggleLog::Get().first, 1);
    EXPECT_FALSE(ToggleLog::Get().last);
    // A chart cell that is not its workspace's active cell: only the byte.
    auto* ws = new WorkspaceComponent;
    auto* other = new DisplayComponent(nullptr, nullptr);
    ASSERT_TRUE(PlaceCellInSlot(ws, other, 1));
    ASSERT_TRUE(PlaceCellInSlot(ws, wired.cell, 2));
    EXPECT_TRUE(DisplayIsNotChart(wired.cell));
    EXPECT_TRUE(SetChartToggle(wired.cell, true, true));
    EXPECT_EQ(ToggleLog::Get().first, 1);
    EXPECT_EQ(rulers().chartToggle[0], 1);
    ws->activeCell = wired.cell;
    EXPECT_TRUE(SetChartToggle(wired.cell, true, false));
    EXPECT_EQ(ToggleLog::Get().first, 2);
    RemoveCell(ws, wired.cell);
    other->Release();
    ws->Release();
    TheChartToggleHooks() = saved;
}

TEST_F(Options, TheWheelScrollsByWholeNotches) {
    rulers().target = wired.graphics;
    struct Row {
        bool vertical;
        int delta, keys;
        size_t callsX, callsY;
    };
    RulersWheel(&rulers(), false, 119, 0xC);
    RulersWheel(&rulers(), true, -119, 0xC);
    EXPECT_TRUE(wired.graphics->wheelX.empty());
    EXPECT_TRUE(wired.graphics->wheelY.empty());
    RulersWheel(&rulers(), false, -240, 0xC);
    ASSERT_EQ(wired.graphics->wheelX.size(), 1u);
    EXPECT_EQ(wired.graphics->wheelX[0].steps, -2);
    EXPECT_TRUE(wired.graphics->wheelX[0].ctrl);
    EXPECT_TRUE(wired.graphics->wheelX[0].shift);
    RulersWheel(&rulers(), false, 250, 0x4);
    EXPECT_EQ(wired.graphics->wheelX[1].steps, 2);
    EXPECT_FALSE(wired.graphics->wheelX[1].ctrl);
    EXPECT_TRUE(wired.graphics->wheelX[1].shift);
    RulersWheel(&rulers(), true, 360, 0x8);
    ASSERT_EQ(wired.graphics->wheelY.size(), 1u);
    EXPECT_EQ(wired.graphics->wheelY[0].steps, 3);
    EXPECT_TRUE(wired.graphics->wheelY[0].ctrl);
    rulers().target = nullptr;  // hidden rulers serve nothing
    RulersWheel(&rulers(), true, 360, 0);
    EXPECT_EQ(wired.graphics->wheelY.size(), 1u);
}

TEST_F(Options, MarkersWithoutWidgetsMeasureFromTheWindowsEdge) {
    // Alt over the horizontal ruler: the marker runs along x, none along y.
    EXPECT_EQ(RulerMarkerFromPoint(&rulers(), false, 30.6f, 5.0f, true), 1);
    EXPECT_EQ(rulers().markerX, 31);
    EXPECT_EQ(rulers().markerY, -1);
    // Without Alt, y; with both axes x as well.
    rulers().bothAxes = 1;
    EXPECT_EQ(RulerMarkerFromPoint(&rulers(), false, 30.4f, 12.5f, false), 3);
    EXPECT_EQ(rulers().markerX, 30);
    EXPECT_EQ(rulers().markerY, 13);
    rulers().bothAxes = 0;
    EXPECT_EQ(RulerMarkerFromPoint(&rulers(), true, 8.0f, 12.0f, false), 1);
    EXPECT_EQ(rulers().markerY, -1);
    EXPECT_EQ(RulerMarkerFromPoint(&rulers(), true, -4.0f, 12.0f, true), 2);
    EXPECT_EQ(rulers().markerX, -1);
    EXPECT_EQ(RulerMarkerFromPoint(&rulers(), true, -4.0f, -2.0f, true), 0);
}

}  // namespace
}  // namespace orva
