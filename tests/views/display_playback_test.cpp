// What playback asks of the display cells and workspaces, without a server: the
// workspace that plays in its own window, the readouts and redraws that follow a frame,
// the frame sync after the end, the re-read states of the played records, the cell's
// play toggle, the workspace's playback installer, and a cell that goes while the timer
// holds it.
#include <gtest/gtest.h>

#include <tuple>

#include "app/cui.h"
#include "views/display_playback.h"
#include "views/playback.h"
#include "views_test_support.h"

namespace orva {
namespace {

using views_testing::FakeDevice;
using views_testing::FakeGraphicsWindow;
using views_testing::FakeWindow;
using views_testing::HookScope;
using views_testing::WiredCell;

HookScope::Tally& PlaybackTally() { return HookScope::Counts(); }

// A cell on a fake window in a workspace, with a port list of `frames` frames.
class PlayedCell : public ::testing::Test {
protected:
    PlayedCell() {
        ws = new WorkspaceComponent;
        list = new PortList;
        wired.port->list = list;
        wired.cell->portList = list;
        wired.device->portList = list;
        EXPECT_TRUE(PlaceCellInSlot(ws, wired.cell, 1));
    }
    ~PlayedCell() override {
        TheCUI().groups[0].workspace = nullptr;
        ws->ui = nullptr;
        RemoveCell(ws, wired.cell);
        ws->Release();
        wired.port->list = nullptr;
        wired.cell->portList = nullptr;
        wired.device->portList = nullptr;
        list->firstPort = list->lastPort = nullptr;
        delete list;
    }
    void Frames(int32_t count, int32_t current) {
        list->player.count.store(count);
        list->player.last.store(count - 1);
        list->player.current.store(current);
    }
    DisplayComponent* Cell() { return wired.cell; }

    HookScope hooks;
    FakeWindow window;
    WiredCell wired{&window.window};
    WorkspaceComponent* ws;
    PortList* list;
};

TEST_F(PlayedCell, TheWorkspacePlaysWhenTheUiHoldsItAndTheCellIsActive) {
    EXPECT_EQ(PlaybackCurrentWorkspaceOf(nullptr), nullptr);
    EXPECT_EQ(ws->activeCell, Cell());
    // A workspace that fills no window group of the user interface.
    EXPECT_EQ(PlaybackCurrentWorkspaceOf(Cell()), nullptr);
    ws->ui = &TheCUI();
    EXPECT_EQ(PlaybackCurrentWorkspaceOf(Cell()), nullptr);
    TheCUI().groups[0].workspace = ws;
    EXPECT_EQ(PlaybackCurrentWorkspaceOf(Cell()), ws);
    // Not the active cell: the cell plays in its own window.
    ws->activeCell = nullptr;
    EXPECT_EQ(PlaybackCurrentWorkspaceOf(Cell()), nullptr);
    ws->activeCell = Cell();
    // Windows that no server knows are not handed out.
    EXPECT_EQ(PlaybackWindowOf(Cell()), nullptr);
    EXPECT_EQ(PlaybackWindowOf(ws), nullptr);
    EXPECT_EQ(PlaybackWindowOf(nullptr), nullptr);
}

TEST_F(PlayedCell, TheFrameSyncSelectsTheCurrentFrameAndRefreshesThePages) {
    int transportPages = 0;
    static int* pages = nullptr;
    pages = &transportPages;
    TheGraphicsHostServices().refreshTransportPage = [](DisplayCellBase*) { ++*pages; };
    Frames(1, 0);
    PlaybackFrameSync(Cell());
    EXPECT_TRUE(wired.device->selectedIndexes.empty());  // one frame: nothing to sync
    Frames(20, 7);
    window.window.dirty = 0;
    const int panels = PlaybackTally().panelRefreshes;
    PlaybackFrameSync(Cell());
    EXPECT_EQ(wired.device->selectedIndexes, (std::vector<int32_t>{8}));
    EXPECT_EQ(transportPages, 1);
    EXPECT_EQ(PlaybackTally().panelRefreshes, panels + 1);
    EXPECT_EQ(window.window.dirty, 7u);
    // Through the workspace: its active cell; a cell that is not active skips the pages.
    list->player.current.store(3);
    PlaybackFrameSync(ws);
    EXPECT_EQ(wired.device->selectedIndexes.back(), 4);
    EXPECT_EQ(transportPages, 2);
    ws->activeCell = nullptr;
    PlaybackFrameSync(Cell());
    EXPECT_EQ(transportPages, 2);
    EXPECT_EQ(wired.device->selectedIndexes.size(), 3u);
    ws->activeCell = Cell();
    pages = nullptr;
}

TEST_F(PlayedCell, ReadoutsFollowTheFrameOfTheActiveCellOnly) {
    static int immediate = 0, marked = 0;
    immediate = marked = 0;
    TheDisplayHooks().updateCoordText = [](WorkspaceComponent*) { return ++marked > 0; };
    PlaybackRedrawReadouts(Cell());
    EXPECT_EQ(marked, 1);  // no immediate readouts: the pages are marked
    TheGraphicsHostServices().updateReadouts = [](DisplayCellBase*) { ++immediate; };
    PlaybackRedrawReadouts(Cell());
    EXPECT_EQ(immediate, 1);
    EXPECT_EQ(marked, 1);
    ws->activeCell = nullptr;
    PlaybackRedrawReadouts(Cell());
    PlaybackRedrawReadouts(nullptr);
    EXPECT_EQ(immediate + marked, 2);
    ws->activeCell = Cell();
}

TEST_F(PlayedCell, PendingRecordsReloadTheirDisplayAndOthersRelinkTheirWindow) {
    const int polls = PlaybackTally().polls;
    PlaybackReloadRecord(wired.device);
    EXPECT_EQ(PlaybackTally().polls, polls + 1);  // the cell's delivery polled its window,
    EXPECT_TRUE(PlaybackTally().pollLockHeld);     // under the display lock
    PlaybackReloadRecord(nullptr);
    // A window without a current device beside another one becomes its port's primary.
    auto* other = new FakeGraphicsWindow(Cell());
    FakeGraphicsWindow* own = wired.graphics;
    own->next = other;
    other->previous = own;
    wired.port->primaryWindow = other;
    own->current = nullptr;
    PlaybackRelinkRecord(wired.device);
    EXPECT_EQ(wired.port->primaryWindow, own);
    own->current = wired.device;
    own->next = nullptr;
    other->previous = nullptr;
    other->Release();
    wired.port->primaryWindow = own;
    FakeDevice unbound;
    PlaybackRelinkRecord(&unbound);  // no window: nothing
    PlaybackRelinkRecord(nullptr);
}

// A played frame delivered to its window: the statistic list and the value under the
// pointer follow it; a changed readout of the active cell is marked for the frame's own
// paint, never painted on its own. Only the window's current device speaks for it.
TEST_F(PlayedCell, ADeliveredFrameBringsItsListAndReadoutMarked) {
    static int lists = 0, readouts = 0, marked = 0, immediate = 0;
    static bool readoutChanged = false;
    lists = readouts = marked = immediate = 0;
    FakeGraphicsWindow* gw = wired.graphics;
    gw->refreshStatistics = [](GraphicsWindow*) { ++lists; };
    gw->updateReadout = [](GraphicsWindow*) {
        ++readouts;
        return readoutChanged;
    };
    TheDisplayHooks().updateCoordText = [](WorkspaceComponent*) { return ++marked > 0; };
    TheGraphicsHostServices().updateReadouts = [](DisplayCellBase*) { ++immediate; };
    struct Case {
        bool changed, active;
        int marks;
    };
    for (const Case& c : {Case{false, true, 0}, Case{true, true, 1}, Case{true, false, 0}}) {
        lists = readouts = marked = 0;
        readoutChanged = c.changed;
        ws->activeCell = c.active ? Cell() : nullptr;
        PlaybackRecordDelivered(wired.device);
        EXPECT_EQ(std::tuple(lists, readouts, marked), std::tuple(1, 1, c.marks)) << c.changed << c.active;
    }
    ws->activeCell = Cell();
    EXPECT_EQ(immediate, 0);
    // A device that is not its window's current one, or none at all: nothing.
    lists = readouts = 0;
    FakeDevice* older = wired.AddGroupMember();
    PlaybackRecordDelivered(older);
    PlaybackRecordDelivered(nullptr);
    EXPECT_EQ(lists + readouts, 0);
}

TEST_F(PlayedCell, ADisplayThatIsNoDrawingCellRunsItsRedraw) {
    struct Chart : DisplayCellBase {
        Chart() : DisplayCellBase(nullptr) {}
        const ComponentId* GetClassId() const override { return &kWorkspaceId; }
        void Layout() override { ++redraws; }
        int redraws = 0;
    };
    auto* chart = new Chart;
    PlaybackRedraw(chart);
    PlaybackRedraw(ws);  // not a display: nothing
    PlaybackRedraw(nullptr);
    EXPECT_EQ(chart->redraws, 1);
    chart->Release();
}

TEST_F(PlayedCell, ThePlayToggleNeedsAPortListOfFrames) {
    EventTimer& timer = TheEventTimer();
    EXPECT_FALSE(DisplayTogglePlayback(nullptr));
    Frames(1, 0);
    EXPECT_FALSE(DisplayTogglePlayback(Cell()));
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(timer.port.load(), nullptr);
    wired.cell->portList = nullptr;
    EXPECT_FALSE(DisplayTogglePlayback(Cell()));
    wired.cell->portList = list;
}

TEST_F(PlayedCell, TheWorkspaceInstallsTheFrameRoutineThroughPlayback) {
    WorkspaceShellHooksDefaults(&TheWorkspaceShellHooks());
    EventTimer& timer = TheEventTimer();
    ws->window = &window.window;
    window.window.dirty = 0;
    EXPECT_FALSE(WorkspaceInstallPlayback(ws, 0, 0));  // a timer that is not ready
    EXPECT_EQ(timer.stepHandler.load(), nullptr);
    EXPECT_EQ(window.window.dirty, 0u);
    EXPECT_TRUE(WorkspaceInstallPlayback(ws, 1, kFramePlayerDrawV));
    EXPECT_EQ(timer.stepHandler.load(), &PlaybackStep);
    EXPECT_NE(gSetFrameHook(nullptr), nullptr);
    EXPECT_EQ(window.window.dirty, 7u);
    timer.stepHandler.store(nullptr);
    ws->window = nullptr;
}

TEST_F(PlayedCell, ACellThatGoesWhileTheTimerHoldsItLeavesNoPointerBehind) {
    EventTimer& timer = TheEventTimer();
    auto* going = new DisplayComponent(nullptr, nullptr);
    // Paused on the cell: the pause and its saved pointers go with it.
    timer.paused = 1;
    timer.savedOwner = going;
    timer.savedPort = list;
    going->Release();
    EXPECT_EQ(timer.paused, 0);
    EXPECT_EQ(timer.savedOwner, nullptr);
    EXPECT_EQ(timer.savedPort, nullptr);
    // Paused on another cell: nothing changes.
    going = new DisplayComponent(nullptr, nullptr);
    timer.paused = 1;
    timer.savedOwner = Cell();
    timer.savedPort = list;
    going->Release();
    EXPECT_EQ(timer.paused, 1);
    EXPECT_EQ(timer.savedOwner, Cell());
    timer.ForgetPlayback();
    EXPECT_EQ(DisplayLockDepth(), 0);
}

}  // namespace
}  // namespace orva
