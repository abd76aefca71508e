// Display cells without a server: the message state rule, messages passed upstream,
// pipeline events and redraw levels, the plot area, ready groups and the life of a cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "framework/component_message.h"
#include "shapes/shape_test_support.h"
#include "test_support.h"
#include "toolkit/widget.h"
#include "views_test_support.h"

namespace orva {
namespace {

using views_testing::DisplayLockHeldElsewhere;
using views_testing::FakeDevice;
using views_testing::FakeWindow;
using views_testing::HookScope;
using views_testing::WiredCell;

HookScope::Tally& Tally() { return HookScope::Counts(); }

// ---- The message state rule ---------------------------------------------------------------------

class CountingCell : public DisplayComponent {
public:
    CountingCell() : DisplayComponent(nullptr, nullptr) {}
    bool OnMessage(MessageRecord* m, uint32_t) override {
        codes.push_back(m->code);
        tags.push_back(m->Tag());
        return answer;
    }
    std::vector<int32_t> codes;
    std::vector<uint32_t> tags;
    bool answer = false;
};

TEST(ComponentSendCode, StatesSkipARepeatWhileHigherCodesAlwaysArrive) {
    struct Step {
        int32_t code;
        bool result;     // what ComponentSendCode answers
        size_t calls;    // handler calls so far
    };
    const Step steps[] = {
        {5, false, 1},    // a new state reaches the handler (which answers false)
        {5, true, 1},     // the same state again: skipped, true
        {200, false, 2},  // 128 and above: always delivered
        {200, false, 3},
        {127, false, 4},
        {127, true, 4},
        {5, false, 5},    // a state seen before, but not the current one
    };
    auto* cell = new CountingCell;
    for (const Step& s : steps) {
        cell->message.code = 77;  // a pending message word
        EXPECT_EQ(cell->ComponentSendCode(s.code, 0), s.result) << s.code;
        EXPECT_EQ(cell->codes.size(), s.calls) << s.code;
        EXPECT_EQ(cell->message.code, 0) << "the pending word is cleared on every call";
    }
    for (uint32_t tag : cell->tags) EXPECT_EQ(tag, kMessageTagCode);
    cell->Release();
}

// ---- Messages passed upstream ------------------------------------------------------------------------

class RecordingStage : public ComponentBase {
public:
    RecordingStage() : ComponentBase(nullptr) {}
    const ComponentId* GetClassId() const override { return &kTransformationId; }
    bool OnMessage(MessageRecord* m, uint32_t) override {
        Record(m, 11);
        return true;
    }
    void SendPageMessage(MessageRecord* m, uint32_t) override { Record(m, 12); }
    bool QueryPageMessage(MessageRecord* m, uint32_t) override {
        Record(m, 13);
        return false;
    }
    void Record(MessageRecord* m, int slot) {
        MessageFramePair* pair = MessageFramePairOf(m);
        seen.push_back({slot, m->code, m->Tag(), pair != nullptr ? pair->frame : -9, pair != nullptr ? pair->section : -9});
    }
    struct Seen {
        int slot;
        int32_t code;
        uint32_t tag;
        int32_t frame, section;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
};

class ForwardTest : public ::testing::Test {
protected:
    ForwardTest() {
        own = new RecordingStage;
        other = new RecordingStage;
        wired.device->pin.upstream = own;
        wired.device->frameRequest.frame = 4;
        wired.device->frameRequest.section = 2;
        member = wired.AddGroupMember();
        member->pin.upstream = other;
    }
    ~ForwardTest() override {
        wired.device->pin.upstream = nullptr;
        member->pin.upstream = nullptr;
        own->Release();
        other->Release();
    }
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired{&fake.window};
    RecordingStage* own;
    RecordingStage* other;
    FakeDevice* member;
};

TEST_F(ForwardTest, PageCodesGoOnlyToTheOwnDevicesUpstreamAsFrameRecords) {
    MessageRecord ask(257);
    wired.cell->SendPageMessage(&ask, 0);
    const uint32_t ecsf = kMessageTagFrameCode;
    EXPECT_EQ(own->seen, (std::vector<RecordingStage::Seen>{{11, 257, ecsf, 4, 2}, {12, 257, ecsf, 4, 2}}));
    EXPECT_TRUE(other->seen.empty());
    // The answering form calls slot 13 after the handler when the handler declines.
    own->seen.clear();
    MessageRecord ask2(258);
    EXPECT_TRUE(wired.cell->QueryPageMessage(&ask2, 0));  // the handler answered
    EXPECT_EQ(own->seen, (std::vector<RecordingStage::Seen>{{11, 258, ecsf, 4, 2}}));
    // A record that is not a bare code goes on as it is.
    own->seen.clear();
    FrameMessage framed(300, 7, 1);
    wired.cell->SendPageMessage(&framed, 0);
    EXPECT_EQ(own->seen, (std::vector<RecordingStage::Seen>{{11, 300, ecsf, 7, 1}, {12, 300, ecsf, 7, 1}}));
}

TEST_F(ForwardTest, OtherCodesReachEveryDeviceThatIsNotFrozenAndCodeZeroNone) {
    MessageRecord code(10);
    wired.cell->SendPageMessage(&code, 0);
    EXPECT_EQ(own->seen.size(), 2u);
    EXPECT_EQ(other->seen.size(), 2u);
    EXPECT_EQ(other->seen[0].tag, kMessageTagCode);

    own->seen.clear();
    other->seen.clear();
    member->frozen = 1;
    MessageRecord next(20);
    wired.cell->SendPageMessage(&next, 0);
    EXPECT_EQ(own->seen.size(), 2u);
    EXPECT_TRUE(other->seen.empty());

    own->seen.clear();
    MessageRecord none(0);
    wired.cell->SendPageMessage(&none, 0);
    MessageRecord page0(0);
    EXPECT_FALSE(wired.cell->QueryPageMessage(&page0, 0));
    EXPECT_TRUE(own->seen.empty());

    // A frozen own device passes no page code.
    wired.device->frozen = 1;
    MessageRecord ask(257);
    wired.cell->SendPageMessage(&ask, 0);
    EXPECT_TRUE(own->seen.empty());
    // Without a device nothing goes.
    wired.device->frozen = 0;
    wired.cell->currentDevice = nullptr;
    wired.cell->SendPageMessage(&ask, 0);
    EXPECT_TRUE(own->seen.empty());
    wired.cell->currentDevice = wired.device;
}

// ---- Pipeline events ------------------------------------------------------------------------------------

struct EventCase {
    const char* name;
    int32_t event;
    int32_t level;
    uint32_t state = 0;            // the window's state word
    bool context = true;           // the context can be made current
    uint32_t dirty = 0;            // afterwards
    size_t paints = 0;
    int panels = 0;
    int refreshAlls = 0;
};

class EventTable : public ::testing::TestWithParam<EventCase> {};

TEST_P(EventTable, DirtyStatePaintsAndPageRefreshes) {
    const EventCase& c = GetParam();
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired(&fake.window);
    fake.window.state = c.state;
    Tally().contextAvailable = c.context;
    DisplayOnPipelineEvent(wired.cell, c.event, c.level);
    EXPECT_EQ(fake.window.dirty, c.dirty);
    EXPECT_EQ(Tally().paints.size(), c.paints);
    EXPECT_EQ(Tally().panelRefreshes, c.panels);
    EXPECT_EQ(Tally().refreshAlls, c.refreshAlls);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, EventTable,
    ::testing::Values(EventCase{"refresh_level2", 19, 2}, EventCase{"refresh_level3", 19, 3, 0, true, 7, 0, 1, 0},
                      EventCase{"refresh_level5", 19, 5, 0, true, 7, 0, 1, 0},
                      EventCase{"refresh_level6", 19, 6, 0, true, 7, 0, 1, 1},
                      EventCase{"refresh_level7", 19, 7, 0, true, 7, 0, 1, 1},
                      EventCase{"draw_level2", 18, 2}, EventCase{"draw_level4", 18, 4, 0, true, 7},
                      EventCase{"draw_level7", 18, 7, 0, true, 0, 1},
                      EventCase{"draw_level7_hidden", 18, 7, 0x800, true, 7},
                      EventCase{"draw_level7_minimised", 18, 7, 0x100, true, 7},
                      EventCase{"draw_level7_sizing", 18, 7, 0x80, true, 7},
                      EventCase{"draw_level7_no_context", 18, 7, 0, false, 7},
                      EventCase{"event1", 1, 7}, EventCase{"event3", 3, 7}, EventCase{"event17", 17, 7},
                      EventCase{"event20", 20, 7}, EventCase{"event24", 24, 7}, EventCase{"event99", 99, 7},
                      EventCase{"event_negative", -2, 7}),
    [](const ::testing::TestParamInfo<EventCase>& info) { return std::string(info.param.name); });

TEST(DisplayEvents, RefreshNeedsTheUserInterfaceAndAWindow) {
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired(&fake.window);
    Tally().uiUp = false;
    DisplayOnPipelineEvent(wired.cell, 19, 7);
    EXPECT_EQ(fake.window.dirty, 0u);
    EXPECT_EQ(Tally().panelRefreshes, 0);
}

TEST(DisplayEvents, DataChangedPollsUnderTheLockOrActsAsRefresh) {
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired(&fake.window);
    // With a device: the window is polled under the display lock, then marked.
    DisplayOnPipelineEvent(wired.cell, 2, 3);
    EXPECT_EQ(Tally().polls, 1);
    EXPECT_TRUE(Tally().pollLockHeld);
    EXPECT_FALSE(DisplayLockHeldElsewhere());
    EXPECT_EQ(fake.window.dirty, 7u);
    EXPECT_EQ(Tally().panelRefreshes, 1);
    EXPECT_EQ(Tally().refreshAlls, 0);
    DisplayOnPipelineEvent(wired.cell, 2, 7);
    EXPECT_EQ(Tally().refreshAlls, 1);

    // A device bound to nothing (no window, no port): no poll, no redraw.
    HookScope::Reset();
    fake.window.dirty = 0;
    wired.device->window = nullptr;
    wired.device->port = nullptr;
    DisplayOnPipelineEvent(wired.cell, 2, 7);
    EXPECT_EQ(Tally().polls, 0);
    EXPECT_EQ(fake.window.dirty, 0u);
    EXPECT_EQ(Tally().panelRefreshes, 0);
    wired.device->window = wired.graphics;
    wired.device->port = wired.port;

    // Without a device it is a refresh (event 19).
    wired.cell->currentDevice = nullptr;
    DisplayOnPipelineEvent(wired.cell, 2, 6);
    EXPECT_EQ(Tally().polls, 0);
    EXPECT_EQ(fake.window.dirty, 7u);
    EXPECT_EQ(Tally().panelRefreshes, 1);
    EXPECT_EQ(Tally().refreshAlls, 1);
    wired.cell->currentDevice = wired.device;
}

TEST(DisplayEvents, SelectionChangedRefreshesTheSelectTabOfTheActiveCellOnly) {
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired(&fake.window);
    DisplayOnPipelineEvent(wired.cell, 23, 3);
    EXPECT_EQ(Tally().selectTabRefreshes, 0);  // no workspace: not an active cell
    auto* ws = new WorkspaceComponent;
    ASSERT_TRUE(PlaceCellInSlot(ws, wired.cell, 1));
    DisplayOnPipelineEvent(wired.cell, 23, 2);
    EXPECT_EQ(Tally().selectTabRefreshes, 0);
    DisplayOnPipelineEvent(wired.cell, 23, 3);
    EXPECT_EQ(Tally().selectTabRefreshes, 1);
    RemoveCell(ws, wired.cell);
    ws->Release();
}

class ShapeEvents : public shape_testing::ContainerTest {};

TEST_F(ShapeEvents, FourRemovesEveryShapeAndFiveTheCurrentOne) {
    HookScope hooks;
    shape_testing::StatusRecorder status;
    FakeWindow fake;
    WiredCell wired(&fake.window);
    wired.cell->activeShapes = &box;
    Add(kKindRect, {0, 0, 1, 1});
    Shape* b = Add(kKindRect, {0, 0, 2, 2});
    Add(kKindCircle, {0, 0, 3, 3});
    box.SetCurrentShape(b, false, false);
    DisplayOnPipelineEvent(wired.cell, 5, 3);
    const std::vector<Shape*> left = Listed();
    EXPECT_EQ(left.size(), 2u);
    EXPECT_EQ(std::count(left.begin(), left.end(), b), 0);
    DisplayOnPipelineEvent(wired.cell, 4, 3);
    EXPECT_TRUE(Listed().empty());
    wired.cell->activeShapes = nullptr;
}

// ---- Redraw levels of the request ---------------------------------------------------------------------------

TEST(DisplayRedraw, LevelsMarkPaintOrRepaintEverything) {
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired(&fake.window);
    struct Row {
        int32_t level;
        size_t paints;
        int refreshAlls;
    };
    for (Row r : {Row{2, 0, 0}, Row{3, 0, 0}, Row{5, 0, 0}, Row{6, 1, 0}, Row{7, 1, 0}, Row{8, 0, 1}, Row{9, 0, 0}}) {
        HookScope::Reset();
        fake.window.dirty = 0;
        DisplayRequestRedraw(wired.cell, r.level);
        EXPECT_EQ(Tally().panelRefreshes, 1) << r.level;
        EXPECT_EQ(Tally().paints.size(), r.paints) << r.level;
        EXPECT_EQ(Tally().refreshAlls, r.refreshAlls) << r.level;
        EXPECT_EQ(fake.window.dirty, r.paints != 0 ? 0u : 7u) << r.level;
    }
    // A context that cannot be made current leaves the mark.
    HookScope::Reset();
    Tally().contextAvailable = false;
    DisplayRequestRedraw(wired.cell, 7);
    EXPECT_TRUE(Tally().paints.empty());
    EXPECT_EQ(fake.window.dirty, 7u);
}

// ---- Plot area -----------------------------------------------------------------------------------------------

struct AreaCase {
    const char* name;
    float rect[4];
    uint8_t hidden, horizontal, vertical;
    int32_t scrollRows;
    float want[4];
};

class PlotArea : public ::testing::TestWithParam<AreaCase> {};

TEST_P(PlotArea, RulersScrollBarsAndTheMinimum) {
    const AreaCase& c = GetParam();
    auto* cell = new DisplayComponent(nullptr, nullptr);
    DisplaySetCellRect(cell, c.rect);
    cell->rulers.shown = 1;
    cell->rulers.hidden = c.hidden;
    cell->rulers.scaleShown[0] = c.horizontal;
    cell->rulers.scaleShown[1] = c.vertical;
    float area[4];
    DisplayGetPlotArea(cell, area, c.scrollRows);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(area[i], c.want[i]) << i;
    cell->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlotArea,
    ::testing::Values(AreaCase{"both_rulers", {0, 0, 100, 100}, 0, 1, 1, 0, {41, 15, 59, 85}},
                      AreaCase{"hidden_rulers", {0, 0, 100, 100}, 1, 1, 1, 0, {0, 0, 100, 100}},
                      AreaCase{"vertical_only", {0, 0, 100, 100}, 0, 0, 1, 0, {41, 0, 59, 100}},
                      AreaCase{"horizontal_only", {0, 0, 100, 100}, 0, 1, 0, 0, {0, 15, 100, 85}},
                      AreaCase{"one_scroll_row", {0, 0, 100, 100}, 1, 0, 0, 1, {0, 0, 100, 88}},
                      AreaCase{"two_scroll_rows", {0, 0, 100, 100}, 1, 0, 0, 2, {0, 0, 100, 76}},
                      AreaCase{"offset_cell", {10, 20, 100, 100}, 0, 1, 1, 0, {51, 35, 59, 85}},
                      AreaCase{"small_cell", {0, 0, 60, 60}, 0, 1, 1, 0, {41, 15, 52, 52}},
                      AreaCase{"tiny_cell", {0, 0, 10, 10}, 1, 0, 0, 3, {0, 0, 52, 52}}),
    [](const ::testing::TestParamInfo<AreaCase>& info) { return std::string(info.param.name); });

TEST(PlotSize, FloatSizesAreStoredSaturated) {
    EXPECT_EQ(PlotSizeFromFloat(2147483520.0f), 0x7FFFFF80);
    EXPECT_EQ(PlotSizeFromFloat(3.0e9f), 0x7FFFFF80);
    EXPECT_EQ(PlotSizeFromFloat(std::numeric_limits<float>::infinity()), 0x7FFFFF80);
    EXPECT_EQ(PlotSizeFromFloat(2147483392.0f), 2147483392);
    EXPECT_EQ(PlotSizeFromFloat(640.75f), 640);
    EXPECT_EQ(PlotSizeFromFloat(std::nanf("")), 0);
}

TEST(PlotSize, TheWidgetsLayoutStoresItsSize) {
    HookScope hooks;
    auto* cell = new DisplayComponent(nullptr, nullptr);
    gElement widget;
    widget.kind = kDisplayWidgetKind;
    widget.handlerData = reinterpret_cast<uintptr_t>(static_cast<ComponentBase*>(cell));
    widget.width = 3.0e9f;
    widget.height = 123.5f;
    DisplayOnWidgetLayout(&widget);
    EXPECT_EQ(cell->plotWidth, 0x7FFFFF80);
    EXPECT_EQ(cell->plotHeight, 123);
    cell->Release();
    // The widget of a cell that is gone is nobody's.
    DisplayOnWidgetLayout(&widget);
    EXPECT_EQ(DisplayOfWidget(&widget), nullptr);
}

// ---- Ready groups -----------------------------------------------------------------------------------------------

TEST(ReadyGroups, TheFlagIsSetOnlyWhenEveryOtherMemberHasAReadyByte) {
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired(&fake.window);
    FakeDevice* second = wired.AddGroupMember();
    auto* group = wired.graphics;
    group->allFrozen = 0;
    MarkGroupReady(group, wired.device);
    EXPECT_EQ(group->allFrozen, 0);  // the second member has neither byte
    second->stop[1] = 1;
    MarkGroupReady(group, wired.device);
    EXPECT_EQ(group->allFrozen, 1);  // the asking device's own bytes do not count
    group->allFrozen = 0;
    second->stop[1] = 0;
    second->stop[0] = 1;
    MarkGroupReady(group, second);   // the first member has no byte
    EXPECT_EQ(group->allFrozen, 0);
    MarkGroupReady(group, wired.device);
    EXPECT_EQ(group->allFrozen, 1);
}

TEST(ReadyGroups, DataReadyPollsAndKeepsTheGroupUnderTheLock) {
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired(&fake.window);
    FakeDevice* other = wired.AddGroupMember();
    auto* group = wired.graphics;
    struct Row {
        int32_t state;
        bool check;
        uint8_t flagBefore, flagAfter;
        bool result;
    };
    const Row rows[] = {
        {2, true, 1, 0, true},    // unchanged data: the group is not ready
        {3, true, 1, 1, true},    // new data that the device took
        {3, false, 0, 0, false},  // new data the device refused: nothing counts
        {1, true, 0, 1, true},    // pending: the group is ready (the other member has a byte)
        {0, true, 0, 1, false},
    };
    wired.device->stop[0] = 1;
    for (const Row& r : rows) {
        HookScope::Reset();
        fake.window.dirty = 0;
        other->code = r.state;
        other->checkPasses = r.check;
        group->allFrozen = r.flagBefore;
        EXPECT_EQ(DisplayOnDataReady(3, wired.cell, other), r.result) << r.state;
        EXPECT_TRUE(other->lockHeld) << r.state;
        EXPECT_EQ(group->allFrozen, r.flagAfter) << r.state;
        EXPECT_EQ(fake.window.dirty, r.result ? 7u : 0u) << r.state;
        EXPECT_EQ(other->lastPullCode, r.state);
        EXPECT_FALSE(DisplayLockHeldElsewhere());
    }
    // The cell's own device while it is alone: the graphics window is polled.
    HookScope::Reset();
    int pulls = wired.device->pulls;
    EXPECT_TRUE(DisplayOnDataReady(7, wired.cell, wired.device));
    EXPECT_EQ(Tally().polls, 1);
    EXPECT_EQ(wired.device->pulls, pulls);
    EXPECT_EQ(Tally().paints.size(), 1u);  // level 7 paints at once
    Tally().pollDelivers = false;
    EXPECT_FALSE(DisplayOnDataReady(7, wired.cell, wired.device));
    EXPECT_EQ(Tally().paints.size(), 1u);
    // Level 7 on a hidden window only marks it.
    fake.window.state = 0x1000;
    Tally().pollDelivers = true;
    EXPECT_TRUE(DisplayOnDataReady(7, wired.cell, wired.device));
    EXPECT_EQ(Tally().paints.size(), 1u);
    EXPECT_EQ(fake.window.dirty, 7u);
    EXPECT_FALSE(DisplayLockHeldElsewhere());
}

TEST(ReadyGroups, RedeliverPollsEveryDeviceThatIsNotFrozen) {
    HookScope hooks;
    FakeWindow fake;
    WiredCell wired(&fake.window);
    FakeDevice* other = wired.AddGroupMember();
    other->code = 2;
    RedeliverAll(wired.cell);
    EXPECT_EQ(Tally().polls, 1);          // the own device through its window
    EXPECT_EQ(wired.device->pulls, 0);
    EXPECT_EQ(other->pulls, 1);
    EXPECT_EQ(fake.window.dirty, 7u);
    other->frozen = 1;
    RedeliverAll(wired.cell);
    EXPECT_EQ(other->pulls, 1);
    EXPECT_FALSE(DisplayLockHeldElsewhere());
}

// ---- Life of a cell --------------------------------------------------------------------------------------------------

class CountingUi : public ComponentUi {
public:
    bool AddComponent(ComponentBase* c) override {
        ++added;
        if (refuse) return false;
        return ComponentUi::AddComponent(c);
    }
    int added = 0;
    bool refuse = false;
};

TEST(CellLife, CreationNeedsTheUserInterfaceAWindowAndAWidget) {
    HookScope hooks;
    CountingUi ui;
    const size_t before = LiveDisplayCellCount();
    EXPECT_EQ(CreateDisplayCell(&ui, nullptr, nullptr, false), nullptr);
    EXPECT_EQ(LiveDisplayCellCount(), before);  // made and released at once
    EXPECT_EQ(ui.added, 0);

    FakeWindow fake;
    Tally().uiUp = false;
    EXPECT_EQ(CreateDisplayCell(&ui, nullptr, &fake.window, false), nullptr);
    EXPECT_EQ(LiveDisplayCellCount(), before);
    Tally().uiUp = true;

    ui.refuse = true;
    EXPECT_EQ(CreateDisplayCell(&ui, nullptr, &fake.window, false), nullptr);
    EXPECT_EQ(LiveDisplayCellCount(), before);
    ui.refuse = false;

    // A window the toolkit does not know gets no widget.
    testing_util::ProgramLogCapture log;
    EXPECT_EQ(CreateDisplayCell(&ui, nullptr, &fake.window, true), nullptr);
    EXPECT_NE(log.Text().find("Can`t create workspace wgt"), std::string::npos);
    EXPECT_EQ(LiveDisplayCellCount(), before);
}

TEST(CellLife, RulerSizesOfNarrowAndWideCells) {
    auto* plain = new DisplayComponent(nullptr, nullptr);
    EXPECT_FLOAT_EQ(plain->rulers.thickness[0], 41.0f);
    EXPECT_FLOAT_EQ(plain->rulers.thickness[1], 15.0f);
    const float narrow[2] = {35.0f, 15.0f};
    auto* small = new DisplayComponent(nullptr, narrow);
    EXPECT_FLOAT_EQ(small->rulers.thickness[0], 35.0f);
    EXPECT_EQ(small->plotWidth, 100);
    EXPECT_EQ(small->plotHeight, 100);
    EXPECT_FLOAT_EQ(small->cellRect[2], 100.0f);
    EXPECT_EQ(small->name, nullptr);  // without a window only the base parts
    FakeWindow fake;
    auto* windowed = new DisplayComponent(&fake.window, nullptr);
    EXPECT_STREQ(windowed->name, "Display");
    EXPECT_EQ(windowed->kind, 1);
    EXPECT_EQ(windowed->panelBuilder, &DisplayPanelBuilder);
    EXPECT_TRUE(SameComponentId(windowed->GetClassId(), &kDisplayCellId));
    void* answer = nullptr;
    EXPECT_TRUE(windowed->QueryInterface(&kComponentBaseId, &answer));
    EXPECT_EQ(answer, static_cast<void*>(static_cast<ComponentObject*>(windowed)));
    EXPECT_EQ(windowed->refCount.load(), 2);
    windowed->Release();
    EXPECT_FALSE(windowed->QueryInterface(&kWorkspaceId, nullptr));
    for (DisplayComponent* c : {plain, small, windowed}) c->Release();
}

TEST(CellLife, DestroyingACellLeavesItsSlotWhetherOrNotItIsActive) {
    HookScope hooks;
    auto* ws = new WorkspaceComponent;
    auto* first = new DisplayComponent(nullptr, nullptr);
    auto* second = new DisplayComponent(nullptr, nullptr);
    auto* third = new DisplayComponent(nullptr, nullptr);
    ASSERT_TRUE(PlaceCellInSlot(ws, first, 1));
    ASSERT_TRUE(PlaceCellInSlot(ws, second, 2));
    ASSERT_TRUE(PlaceCellInSlot(ws, third, 3));
    EXPECT_EQ(ws->activeCell, first);
    second->Release();
    EXPECT_EQ(ws->cells[1], nullptr);
    EXPECT_EQ(ws->activeCell, first);
    // The active cell goes: the first occupied slot becomes active.
    first->Release();
    EXPECT_EQ(ws->cells[0], nullptr);
    EXPECT_EQ(ws->activeCell, third);
    // The workspace goes first: the cell forgets it.
    ws->Release();
    EXPECT_EQ(third->workspace, nullptr);
    third->Release();
}

}  // namespace
}  // namespace orva
