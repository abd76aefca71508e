// Frame playback on the test timer service: the playable range, starting, stepping,
// pausing and ending, and the rate readout. The ticks run on this thread.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "framework/frame_player.h"
#include "io/frame_cursor.h"
#include "platform/fake_timer.h"
#include "playback_test_support.h"
#include "test_support.h"

namespace orva::testing {
namespace {

using platform::FakeTimerService;

class PlaybackTest : public ::testing::Test {
protected:
    explicit PlaybackTest(bool uiUp = false) : scope(uiUp) {}
    void TearDown() override {
        PlaybackEnd(&timer, 0);
        timer.Stop(false);
    }
    // Sets the range and position of the player (the count is PlaybackRange's).
    void Place(int32_t first, int32_t last, int32_t current, int32_t step, int32_t flags) {
        FramePlayer& p = rig.Player();
        p.first = first;
        p.last = last;
        p.current = current;
        p.step = step;
        p.flags = flags;
    }
    PlaybackScope scope;
    FakeTimerService service;
    EventTimer timer{&service, &TheEventTimer()};
    PlayRig rig;
};

// The pause and resume go through the control routine, which acts only while the
// user interface is up.
class PlaybackUiTest : public PlaybackTest {
protected:
    PlaybackUiTest() : PlaybackTest(true) {}
};

TEST_F(PlaybackTest, TheRangeIsTheLargestFrameCountOfThePlayableRecords) {
    PlayCell* a = rig.Cell();
    PlayCell* b = rig.Cell();
    PlayDevice* five = rig.Device(a, rig.Stage(5));
    PlayDevice* twelve = rig.Device(b, rig.Stage(12));
    PlayDevice* single = rig.Device(b, rig.Stage(1));
    PlayDevice* none = rig.Device(a, rig.Stage(0));
    PlayDevice* frozen = rig.Device(a, rig.Stage(30));
    frozen->frozen = 1;
    PlayDevice* excluded = rig.Device(b, rig.Stage(40));
    excluded->exclusion = 1;
    EXPECT_TRUE(PlaybackRange(rig.list, nullptr));
    EXPECT_EQ(rig.Chain(), (std::vector<DeviceViewBase*>{five, twelve}));
    EXPECT_EQ(rig.Player().count.load(), 12);
    EXPECT_EQ(rig.Player().last.load(), 11);
    // A port left out gives none of its records.
    EXPECT_TRUE(PlaybackRange(rig.list, b->port));
    EXPECT_EQ(rig.Chain(), (std::vector<DeviceViewBase*>{five}));
    EXPECT_EQ(rig.Player().count.load(), 5);
    // An authoritative chain stands as it is: its largest count, even from a record the
    // rebuild would pass over; a record without description counts 0.
    PortListChainAdd(rig.list, excluded);
    PortListChainAdd(rig.list, none);
    rig.list->playableAuthoritative = 1;
    EXPECT_TRUE(PlaybackRange(rig.list, nullptr));
    EXPECT_EQ(rig.Chain(), (std::vector<DeviceViewBase*>{five, excluded, none}));
    EXPECT_EQ(rig.Player().count.load(), 40);
    // Pruning keeps the one-frame records and rebuilds the rest.
    rig.list->playableAuthoritative = 0;
    rig.list->playablePrune = 1;
    PortListChainAdd(rig.list, single);
    EXPECT_TRUE(PlaybackRange(rig.list, nullptr));
    EXPECT_EQ(rig.Chain(), (std::vector<DeviceViewBase*>{single, five, twelve}));
    // Without pruning the chain is emptied first.
    rig.list->playablePrune = 0;
    EXPECT_TRUE(PlaybackRange(rig.list, nullptr));
    EXPECT_EQ(rig.Chain(), (std::vector<DeviceViewBase*>{five, twelve}));
    EXPECT_EQ(DisplayLockDepth(), 0);
}

TEST_F(PlaybackTest, NothingToPlaySavesThePositionAndItComesBackOnce) {
    PlayCell* cell = rig.Cell();
    FramesStage* stage = rig.Stage(10);
    PlayDevice* d = rig.Device(cell, stage);
    ASSERT_TRUE(PlaybackRange(rig.list, nullptr));
    Place(0, 9, 3, 1, 0);
    // The data shrink to one frame: the position is kept, the player holds one frame.
    stage->info.framesToUse = 1;
    stage->frames = 1;
    EXPECT_FALSE(PlaybackRange(rig.list, nullptr));
    EXPECT_EQ(std::vector<int32_t>(rig.list->saved, rig.list->saved + 4), (std::vector<int32_t>{10, 3, 9, 0}));
    FramePlayer& p = rig.Player();
    EXPECT_EQ(std::tuple(p.count.load(), p.current.load(), p.last.load(), p.first.load()), std::tuple(1, 0, 0, 0));
    EXPECT_TRUE(rig.Chain().empty());
    // A second pass with nothing to play keeps the saved position.
    EXPECT_FALSE(PlaybackRange(rig.list, nullptr));
    EXPECT_EQ(rig.list->saved[1], 3);
    // Twenty frames come: the old range returns and is rescaled (a 10-frame range 0..9
    // at 3 is 0..19 at 7 for 20 frames).
    stage->info.framesToUse = 20;
    stage->frames = 20;
    EXPECT_TRUE(PlaybackRange(rig.list, nullptr));
    EXPECT_EQ(std::tuple(p.count.load(), p.current.load(), p.last.load(), p.first.load()), std::tuple(20, 7, 19, 0));
    EXPECT_EQ(rig.Chain(), (std::vector<DeviceViewBase*>{d}));
    // Once: a later pass leaves a position the user chose since.
    p.current = 12;
    EXPECT_TRUE(PlaybackRange(rig.list, nullptr));
    EXPECT_EQ(p.current.load(), 12);
}

struct StartCase {
    const char* name;
    int32_t first, last, current, step, flags;
    bool started;
    int32_t currentAfter, markAfter;
};

TEST_F(PlaybackTest, StartTable) {
    const StartCase cases[] = {
        {"forward inside", 0, 19, 5, 1, 0, true, 5, 5},
        {"forward from the last frame without loop", 0, 19, 19, 1, 0, false, 19, 0},
        {"forward from the last frame with loop", 0, 19, 19, 1, kFramePlayerLoop, true, 0, 19},
        {"forward from the first frame", 2, 19, 2, 1, 0, true, 2, 2},
        {"backward from the first frame without loop", 2, 19, 2, -1, 0, false, 2, 0},
        {"backward from the first frame with loop", 2, 19, 2, -1, kFramePlayerLoop, true, 19, 2},
        {"backward from the last frame", 0, 19, 19, -2, 0, true, 19, 19},
        {"forward from below the range", 5, 19, 1, 1, 0, true, 5, 1},
        {"a zero step", 0, 19, 5, 0, 0, false, 5, 0},
    };
    PlayDevice* d = rig.Single(20);
    (void)d;
    for (const StartCase& c : cases) {
        Place(c.first, c.last, c.current, c.step, c.flags);
        rig.Player().mark = 0;
        EXPECT_EQ(PlaybackStart(&timer, rig.cells[0], 0), c.started) << c.name;
        EXPECT_EQ(rig.Player().current.load(), c.currentAfter) << c.name;
        EXPECT_EQ(rig.Player().mark.load(), c.markAfter) << c.name;
        EXPECT_EQ(timer.Running(), c.started) << c.name;
        if (c.started) {
            EXPECT_EQ(timer.port.load(), rig.list) << c.name;
            EXPECT_EQ(timer.owner.load(), rig.cells[0]) << c.name;
            EXPECT_EQ(timer.stepHandler.load(), &PlaybackStep) << c.name;
            EXPECT_NE(timer.controlHandler, nullptr) << c.name;
        }
        timer.Stop(false);
    }
}

TEST_F(PlaybackTest, StepsMoveTheFrameAndLoopWrapsAtBothEnds) {
    PlayDevice* d = rig.Single(20);
    Place(0, 19, 17, 1, kFramePlayerLoop);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(service.Tick());
    EXPECT_EQ(d->Frames(), (std::vector<int32_t>{18, 19, 0, 1}));
    EXPECT_EQ(d->hasData, 1);  // marked for the frame routine
    timer.Stop(false);
    // Backwards past the first frame it goes on at the last one.
    Place(0, 19, 1, -1, kFramePlayerLoop);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(service.Tick());
    EXPECT_EQ(d->Frames(), (std::vector<int32_t>{18, 19, 0, 1, 0, 19, 18}));
    EXPECT_EQ(timer.tickCount.load(), 3u);
    // Without loop, the end of the range moves nothing (there is no view to tell).
    timer.Stop(false);
    Place(0, 19, 18, 1, 0);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    ASSERT_TRUE(service.Tick());
    ASSERT_TRUE(service.Tick());
    ASSERT_TRUE(service.Tick());
    EXPECT_EQ(rig.Player().current.load(), 19);
    EXPECT_EQ(d->Frames().back(), 19);
    EXPECT_EQ(DisplayLockDepth(), 0);
}

// A single step re-reads every record; those that took the frame, and only those, are
// followed (their windows' lists and readouts) once the display lock is left.
TEST_F(PlaybackTest, TheRecordsThatTookTheFrameAreFollowedOutsideTheLock) {
    static std::vector<std::pair<DeviceViewBase*, int>> followed;
    followed.clear();
    ThePlaybackHooks().delivered = [](DeviceViewBase* d) { followed.emplace_back(d, DisplayLockDepth()); };
    PlayCell* cell = rig.Cell();
    PlayDevice* took = rig.Device(cell, rig.Stage(6));
    PlayDevice* refused = rig.Device(cell, rig.Stage(6));
    PlayDevice* empty = rig.Device(cell, rig.Stage(6));
    ASSERT_TRUE(PlaybackRange(rig.list, nullptr));
    refused->deliverOk = false;
    empty->code = 0;
    rig.Player().current = 4;
    PlaybackStepRedraw(rig.list);
    EXPECT_EQ(took->Frames(), (std::vector<int32_t>{4}));
    EXPECT_EQ(std::tuple(took->deliveries.load(), refused->deliveries.load(), empty->deliveries.load()),
              std::tuple(1, 1, 0));
    EXPECT_EQ(followed, (std::vector<std::pair<DeviceViewBase*, int>>{{took, 0}}));
}

TEST_F(PlaybackTest, TheTickCounterRestartsAtZeroWithANewStartTime) {
    rig.Single(20);
    Place(0, 19, 1, 1, kFramePlayerLoop);
    service.now = 100;
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    EXPECT_EQ(timer.startTime.load(), 100u);
    service.now = 150;
    ASSERT_TRUE(service.Tick());
    EXPECT_EQ(timer.tickCount.load(), 1u);
    EXPECT_EQ(timer.lastTickTime.load(), 150u);
    timer.tickCount = 0xFFFFFFFFu;
    service.now = 900;
    ASSERT_TRUE(service.Tick());
    EXPECT_EQ(timer.tickCount.load(), 0u);
    EXPECT_EQ(timer.startTime.load(), 900u);
    EXPECT_EQ(timer.lastTickTime.load(), 900u);
}

struct EndCase {
    const char* name;
    int32_t flags;
    int32_t currentAfter;
};

TEST_F(PlaybackTest, EndTable) {
    const EndCase cases[] = {
        {"return to the first frame", kFramePlayerReturnAtEnd | kFramePlayerReturnToFirst, 2},
        {"return to the start mark", kFramePlayerReturnAtEnd, 5},
        {"stay", 0, 8},
        {"first-frame flag alone stays", kFramePlayerReturnToFirst, 8},
    };
    rig.Single(20);
    for (const EndCase& c : cases) {
        Place(2, 15, 5, 1, c.flags);
        ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0)) << c.name;
        for (int i = 0; i < 3; ++i) service.Tick();
        ASSERT_EQ(rig.Player().current.load(), 8) << c.name;
        EXPECT_TRUE(PlaybackEnd(&timer, 0)) << c.name;
        EXPECT_EQ(rig.Player().current.load(), c.currentAfter) << c.name;
        EXPECT_FALSE(timer.Running()) << c.name;
        EXPECT_EQ(timer.port.load(), nullptr) << c.name;
        EXPECT_FALSE(PlaybackEnd(&timer, 0)) << c.name;  // nothing plays any more
    }
}

TEST_F(PlaybackUiTest, PauseAndResumeKeepTheFirstStartMark) {
    rig.Single(20);
    Place(0, 19, 5, 1, kFramePlayerReturnAtEnd);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    service.Tick();
    service.Tick();
    PlaybackControl(kPlaybackPause, timer);
    EXPECT_EQ(timer.paused, 1);
    EXPECT_EQ(timer.savedPort, rig.list);
    EXPECT_EQ(timer.savedOwner, rig.cells[0]);
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(rig.Player().current.load(), 7);  // a pause returns nowhere
    // A second pause while paused does nothing; resuming while paused goes on.
    PlaybackControl(kPlaybackPause, timer);
    EXPECT_EQ(timer.paused, 1);
    PlaybackControl(kPlaybackResume, timer);
    EXPECT_TRUE(timer.Running());
    EXPECT_EQ(timer.paused, 0);
    EXPECT_EQ(timer.owner.load(), rig.cells[0]);
    EXPECT_EQ(rig.Player().mark.load(), 5);
    service.Tick();
    PlaybackControl(kPlaybackResume, timer);  // while playing: nothing
    EXPECT_EQ(rig.Player().current.load(), 8);
    PlaybackControl(kPlaybackEnd, timer);
    EXPECT_EQ(rig.Player().current.load(), 5);
    EXPECT_FALSE(timer.Running());
    // An end while paused ends the pause too.
    Place(0, 19, 5, 1, 0);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    PlaybackControl(kPlaybackPause, timer);
    ASSERT_EQ(timer.paused, 1);
    PlaybackControl(kPlaybackEnd, timer);
    EXPECT_EQ(timer.paused, 0);
    EXPECT_EQ(timer.savedPort, nullptr);
    EXPECT_EQ(timer.controlHandler, nullptr);
}

TEST_F(PlaybackTest, WithTheUserInterfaceDownTheControlOnlyStops) {
    rig.Single(20);
    Place(0, 19, 5, 1, 0);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    PlaybackControl(kPlaybackPause, timer);
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(timer.paused, 0);
    EXPECT_EQ(timer.port.load(), nullptr);
    PlaybackControl(kPlaybackResume, TheEventTimer());  // no routine installed: nothing
}

TEST_F(PlaybackTest, TheSamePortAgainChangesNothingAndAToggleStops) {
    PlayDevice* d = rig.Single(20);
    (void)d;
    Place(0, 19, 5, 1, 0);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    service.Tick();
    const auto calls = service.calls.size();
    const uint32_t id = timer.eventId.load();
    EXPECT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    EXPECT_EQ(service.calls.size(), calls);
    EXPECT_EQ(timer.eventId.load(), id);
    EXPECT_EQ(rig.Player().current.load(), 6);
    EXPECT_TRUE(PlaybackStart(&timer, rig.cells[0], 1));
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(timer.port.load(), nullptr);
}

TEST_F(PlaybackTest, AnotherDisplayEndsThePlayFirst) {
    PlayRig other;
    other.Single(30);
    rig.Single(20);
    Place(0, 19, 5, 1, 0);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    ASSERT_TRUE(PlaybackStart(&timer, other.cells[0], 0));
    EXPECT_EQ(timer.port.load(), other.list);
    EXPECT_TRUE(timer.Running());
    timer.Stop(false);
}

TEST_F(PlaybackTest, RefusalsStopTheTimer) {
    // No display.
    EXPECT_FALSE(PlaybackStart(&timer, nullptr, 0));
    // A single frame.
    rig.Single(1);
    EXPECT_FALSE(PlaybackStart(&timer, rig.cells[0], 0));
    // A last frame below 1 (the range holds one frame) is refused without stopping.
    PlayRig two;
    two.Single(2);
    two.Player().last = 0;
    two.Player().first = 0;
    EXPECT_FALSE(PlaybackStart(&timer, two.cells[0], 0));
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(service.Count("set 50"), 0u);
}

TEST_F(PlaybackTest, AFailingTimerStartRestoresTheCurrentFrame) {
    rig.Single(20);
    Place(0, 19, 19, 1, kFramePlayerLoop);
    service.failSetEvent = true;
    EXPECT_FALSE(PlaybackStart(&timer, rig.cells[0], 0));
    EXPECT_EQ(rig.Player().current.load(), 19);
    EXPECT_EQ(timer.port.load(), nullptr);
    EXPECT_EQ(timer.stepHandler.load(), nullptr);
    // Unusable timer: refused before the event, nothing stays installed.
    testing_util::ProgramLogCapture log;
    FakeTimerService broken;
    broken.failCaps = true;
    EventTimer unusable(&broken, &TheEventTimer());
    EXPECT_FALSE(PlaybackStart(&unusable, rig.cells[0], 0));
    EXPECT_EQ(rig.Player().current.load(), 19);
    EXPECT_EQ(unusable.port.load(), nullptr);
}

TEST_F(PlaybackTest, ThePeriodIsThePlayersElseTheSavedOne) {
    rig.Single(20);
    struct Case {
        int32_t playerInterval, savedInterval;
        const char* set;
    };
    for (const Case c : {Case{40, 50, "set 40"}, Case{0, 80, "set 80"}, Case{0, 0, "set 50"}}) {
        FakeTimerService fresh;
        EventTimer t(&fresh, &TheEventTimer());
        TheFramePlayerSaved().interval = c.savedInterval;
        rig.Player().interval = c.playerInterval;
        Place(0, 19, 3, 1, 0);
        ASSERT_TRUE(PlaybackStart(&t, rig.cells[0], 0));
        EXPECT_EQ(fresh.Count(c.set), 1u) << c.set;
        t.Stop(false);
    }
    TheFramePlayerSaved().interval = 50;
    rig.Player().interval = 0;
}

TEST_F(PlaybackTest, TheLinkedSourcesHearOfTheStartAndTheStopOnceEach) {
    PlayCell* a = rig.Cell();
    PlayCell* b = rig.Cell();
    FramesStage* shared = rig.Stage(20);
    FramesStage* own = rig.Stage(10);
    rig.Device(a, shared);
    rig.Device(b, shared);
    rig.Device(b, own);
    ASSERT_TRUE(PlaybackRange(rig.list, nullptr));
    Place(0, 19, 3, 1, 0);
    ASSERT_TRUE(PlaybackStart(&timer, a, 0));
    EXPECT_EQ(shared->Refreshes(), (std::vector<uint8_t>{1}));
    EXPECT_EQ(own->Refreshes(), (std::vector<uint8_t>{1}));
    ASSERT_TRUE(PlaybackEnd(&timer, 1));  // a pause tells them too
    EXPECT_EQ(shared->Refreshes(), (std::vector<uint8_t>{1, 0}));
    ASSERT_TRUE(PlaybackEnd(&timer, 0));
    EXPECT_EQ(own->Refreshes(), (std::vector<uint8_t>{1, 0, 0}));
}

TEST_F(PlaybackTest, TheRateReadout) {
    struct Case {
        int32_t unit;
        uint32_t start, last, ticks;
        int32_t lastRate;
        const char* text;  // nullptr: not rewritten
        int32_t rateAfter;
    };
    const Case cases[] = {
        {0, 1000, 2000, 50, 0, "50.00", 20},
        {0, 1000, 1000, 50, 0, "0.00", 0},
        {0, 1000, 1000, 0, 5, "0.00", 0},
        {0, 0, 3000, 7, 0, "2.33", 429},
        {1, 1000, 2000, 50, -1, "020", 20},
        {1, 1000, 2000, 50, 20, nullptr, 20},
        {1, 1000, 2100, 50, 20, "022", 22},
        {1, 0, 30000, 20, 0, "1500", 1500},
        {1, 0, 0, 0, -1, "000", 0},
        {1, 0xFFFFFF00u, 0x00000100u, 2, 0, "256", 256},  // across the clock's wrap
        {2, 0, 1000, 10, 0, "0", 100},
    };
    for (const Case& c : cases) {
        TheFramePlayerSaved().timeMode = c.unit;
        timer.startTime = c.start;
        timer.lastTickTime = c.last;
        timer.tickCount = c.ticks;
        timer.lastRateValue = c.lastRate;
        const char* text = PlaybackFpsText(&timer);
        if (c.text == nullptr) {
            EXPECT_EQ(text, nullptr);
        } else {
            ASSERT_NE(text, nullptr) << c.text;
            EXPECT_STREQ(text, c.text);
        }
        EXPECT_EQ(timer.lastRateValue.load(), c.rateAfter) << (c.text ? c.text : "-");
    }
    TheFramePlayerSaved().timeMode = 0;
}

TEST_F(PlaybackTest, TheDelayedNotifyRepeatsTheStartNotification) {
    FramesStage* stage = rig.Stage(20);
    rig.Device(rig.Cell(), stage);
    ASSERT_TRUE(PlaybackRange(rig.list, nullptr));
    Place(0, 19, 3, 1, 0);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    // Without a transport page no delayed handler is installed.
    EXPECT_EQ(timer.delayedHandler, nullptr);
    EXPECT_FALSE(timer.StartDelayedNotify());
    timer.Stop(false);
}

TEST_F(PlaybackTest, InstallChoosesTheFrameRoutineOnlyWhenReady) {
    EXPECT_FALSE(PlaybackInstall(&timer, 1, 0, 0));
    EXPECT_EQ(timer.stepHandler.load(), nullptr);
    EXPECT_TRUE(PlaybackInstall(&timer, 0, 1, 3));
    EXPECT_EQ(timer.stepHandler.load(), &PlaybackStep);
}

}  // namespace
}  // namespace orva::testing

namespace orva::testing {
namespace {

TEST_F(PlaybackUiTest, AResumeIsForTheSavedPortOnly) {
    PlayRig other;
    other.Single(30);
    rig.Single(20);
    Place(0, 19, 5, 1, 0);
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    PlaybackControl(kPlaybackPause, timer);
    ASSERT_EQ(timer.paused, 1);
    // Another display is refused while the pause stands; the pause stays.
    EXPECT_FALSE(PlaybackStart(&timer, other.cells[0], 0));
    EXPECT_EQ(timer.paused, 1);
    EXPECT_EQ(timer.savedPort, rig.list);
    // The paused display itself resumes.
    EXPECT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    EXPECT_EQ(timer.paused, 0);
    EXPECT_EQ(timer.port.load(), rig.list);
}

TEST_F(PlaybackUiTest, AnEndAfterThePausedDataLostTheirFramesEndsThePause) {
    PlayCell* cell = rig.Cell();
    FramesStage* stage = rig.Stage(20);
    rig.Device(cell, stage);
    ASSERT_TRUE(PlaybackRange(rig.list, nullptr));
    Place(0, 19, 5, 1, 0);
    ASSERT_TRUE(PlaybackStart(&timer, cell, 0));
    PlaybackControl(kPlaybackPause, timer);
    ASSERT_EQ(timer.paused, 1);
    stage->frames = 1;
    stage->info.framesToUse = 1;
    EXPECT_FALSE(PlaybackRange(rig.list, nullptr));
    PlaybackControl(kPlaybackEnd, timer);
    EXPECT_EQ(timer.paused, 0);
    EXPECT_EQ(timer.savedPort, nullptr);
    // Other displays may play again.
    PlayRig other;
    other.Single(30);
    EXPECT_TRUE(PlaybackStart(&timer, other.cells[0], 0));
    timer.Stop(false);
}

}  // namespace
}  // namespace orva::testing
