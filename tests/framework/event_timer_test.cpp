// The event timer on the test timer service: starting, pausing, stopping, the
// readout and delayed timers, the first tick and the failures of construction.
#include <gtest/gtest.h>

#include <string>

#include "framework/component.h"
#include "framework/display_lock.h"
#include "framework/frame_player.h"
#include "framework/port.h"
#include "platform/fake_timer.h"
#include "test_support.h"

namespace orva {
namespace {

using platform::FakeTimerService;

int gSteps = 0, gUiTicks = 0, gDelayed = 0;
void Step(EventTimer*) { ++gSteps; }
void UiTick(EventTimer*) { ++gUiTicks; }
void Delayed(EventTimer*) { ++gDelayed; }
void Control(EventTimer*, int32_t) {}

// Stand-ins for the played objects: only their addresses are used.
alignas(16) char gOwnerBytes[16];
alignas(16) char gPortBytes[16];
alignas(16) char gViewBytes[16];
ComponentBase* const kOwner = reinterpret_cast<ComponentBase*>(gOwnerBytes);
PortList* const kPort = reinterpret_cast<PortList*>(gPortBytes);
platform::Hwnd const kHwnd = reinterpret_cast<platform::Hwnd>(0x1234);

class EventTimerTest : public ::testing::Test {
protected:
    void SetUp() override { gSteps = gUiTicks = gDelayed = 0; }
    void TearDown() override { EXPECT_EQ(DisplayLockDepth(), 0); }

    // What the playback start installs before it starts the timer.
    static void Install(EventTimer& t, bool ui) {
        t.stepHandler = &Step;
        t.port = kPort;
        t.owner = kOwner;
        t.view = gViewBytes;
        t.viewHwnd = kHwnd;
        t.controlHandler = &Control;
        if (ui) {
            t.uiTickHandler = &UiTick;
            t.delayedHandler = &Delayed;
            t.playButton = t.frameText = t.progressBar = t.rateText = gViewBytes;
        }
    }
    // Every field of the block a failed start clears is empty.
    static void ExpectStartBlockClear(EventTimer& t, EventTimerHandler tick = nullptr) {
        EXPECT_EQ(t.tickHandler.load(), tick);
        EXPECT_EQ(t.view.load(), nullptr);
        EXPECT_EQ(t.viewHwnd.load(), nullptr);
        EXPECT_EQ(t.owner.load(), nullptr);
        EXPECT_EQ(t.port.load(), nullptr);
        EXPECT_EQ(t.tickCount.load(), 0u);
        EXPECT_EQ(t.startTime.load(), 0u);
        EXPECT_EQ(t.lastTickTime.load(), 0u);
        EXPECT_EQ(t.stepHandler.load(), nullptr);
        EXPECT_EQ(t.uiTickHandler, nullptr);
        EXPECT_EQ(t.playButton, nullptr);
        EXPECT_EQ(t.frameText, nullptr);
        EXPECT_EQ(t.progressBar, nullptr);
        EXPECT_EQ(t.rateText, nullptr);
        EXPECT_EQ(t.controlHandler, nullptr);
        EXPECT_EQ(t.armedDelayedHandler, nullptr);
        EXPECT_EQ(t.delayedHandler, nullptr);
        EXPECT_EQ(t.paused, 0);
        EXPECT_EQ(t.savedOwner, nullptr);
        EXPECT_EQ(t.savedPort, nullptr);
    }
    FakeTimerService service;
};

TEST_F(EventTimerTest, ConstructionSetsTheSavedPlaybackSettings) {
    TheFramePlayerSaved().flagWord = 0x7F;
    TheFramePlayerSaved().interval = 7;
    TheFramePlayerSaved().timeMode = 1;
    EventTimer t(&service);
    EXPECT_EQ(t.ready, 1);
    EXPECT_EQ(t.lockValid, 1);
    EXPECT_EQ(t.period, 50u);
    EXPECT_EQ(t.eventId.load(), 0u);
    EXPECT_EQ(TheFramePlayerSaved().flagWord.load(), 0x20);
    EXPECT_EQ(TheFramePlayerSaved().interval.load(), 50);
    EXPECT_EQ(TheFramePlayerSaved().timeMode.load(), 0);
    // A new cursor takes the return flag of them.
    FramePlayer player;
    EXPECT_EQ(player.flags.load(), 0x20);
    EXPECT_EQ(service.Count("caps"), 1u);
    EXPECT_EQ(service.Count("lock"), 1u);
}

TEST_F(EventTimerTest, StartArmsThePeriodicEventAndRefusesASecondStart) {
    EventTimer t(&service);
    Install(t, false);
    service.now = 1000;
    ASSERT_TRUE(t.Start());
    EXPECT_EQ(service.calls, (std::vector<std::string>{"caps", "lock", "begin 50", "set 50"}));
    EXPECT_NE(t.eventId.load(), 0u);
    EXPECT_TRUE(t.Running());
    EXPECT_EQ(t.startTime.load(), 1000u);
    EXPECT_EQ(t.lastTickTime.load(), 1000u);
    EXPECT_EQ(t.uiTimerId, 0u);  // no readout handler, no readout timer
    const uint32_t id = t.eventId.load();
    const auto before = service.calls.size();
    EXPECT_FALSE(t.Start());
    EXPECT_EQ(service.calls.size(), before);
    EXPECT_EQ(t.eventId.load(), id);
    EXPECT_EQ(t.port.load(), kPort);
    EXPECT_TRUE(t.Stop(false));
}

TEST_F(EventTimerTest, TheReadoutTimerRunsNoFasterThanEvery200Ms) {
    struct Case {
        uint32_t period;
        uint32_t expected;
    };
    for (const Case c : {Case{50, 200}, Case{200, 200}, Case{250, 250}, Case{1, 200}}) {
        FakeTimerService fresh;
        EventTimer t(&fresh);
        Install(t, true);
        t.period = c.period;
        ASSERT_TRUE(t.Start()) << c.period;
        ASSERT_NE(t.uiTimerId, 0u);
        const auto* ui = fresh.FindUiTimer(t.uiTimerId);
        ASSERT_NE(ui, nullptr);
        EXPECT_EQ(ui->milliseconds, c.expected) << c.period;
        EXPECT_EQ(fresh.eventDelay, c.period);
        // The readout timer runs the readout handler on the UI thread.
        gUiTicks = 0;
        EXPECT_TRUE(fresh.FireUiTimer(t.uiTimerId));
        EXPECT_EQ(gUiTicks, 1);
        const uintptr_t uiId = t.uiTimerId;
        EXPECT_TRUE(t.Stop(false));
        EXPECT_EQ(t.uiTimerId, 0u);
        EXPECT_EQ(fresh.FindUiTimer(uiId), nullptr);
    }
    // A readout timer that cannot be set leaves the play running without readouts.
    FakeTimerService refusing;
    refusing.failUiTimer = true;
    EventTimer t(&refusing);
    Install(t, true);
    EXPECT_TRUE(t.Start());
    EXPECT_EQ(t.uiTimerId, 0u);
    EXPECT_TRUE(t.Stop(false));
}

TEST_F(EventTimerTest, AFailedBeginOrSetEventClearsTheHandlerBlock) {
    for (int which = 0; which < 2; ++which) {
        FakeTimerService failing;
        (which == 0 ? failing.failBegin : failing.failSetEvent) = true;
        EventTimer t(&failing);
        Install(t, true);
        t.paused = 1;
        t.savedOwner = kOwner;
        t.savedPort = kPort;
        t.armedDelayedHandler = &Delayed;
        t.tickCount = 9;
        EXPECT_FALSE(t.Start()) << which;
        ExpectStartBlockClear(t);
        EXPECT_EQ(t.eventId.load(), 0u);
        // A refused event gives the resolution back; a refused resolution asked for no event.
        EXPECT_EQ(failing.Count("end 50"), which == 0 ? 0u : 1u);
        EXPECT_EQ(failing.Count("set 50"), which == 0 ? 0u : 1u);
        EXPECT_TRUE(t.ready == 1);
    }
}

TEST_F(EventTimerTest, StopWhenIdleTouchesNothing) {
    EventTimer t(&service);
    t.uiTickHandler = &UiTick;
    t.delayedHandler = &Delayed;
    t.savedOwner = kOwner;  // without the paused byte nothing is paused
    const auto before = service.calls.size();
    EXPECT_FALSE(t.Stop(false));
    EXPECT_EQ(t.uiTickHandler, &UiTick);
    EXPECT_EQ(t.delayedHandler, &Delayed);
    EXPECT_EQ(t.savedOwner, kOwner);
    EXPECT_EQ(service.calls.size(), before);
}

TEST_F(EventTimerTest, PauseKeepsOwnerAndPortAndAStartClearsPaused) {
    EventTimer t(&service);
    Install(t, true);
    ASSERT_TRUE(t.Start());
    const uint32_t id = t.eventId.load();
    ASSERT_TRUE(t.StartDelayedNotify());
    const uintptr_t delayedId = t.delayedTimerId;
    ASSERT_TRUE(t.Stop(true));
    EXPECT_EQ(t.paused, 1);
    EXPECT_EQ(t.savedOwner, kOwner);
    EXPECT_EQ(t.savedPort, kPort);
    EXPECT_EQ(t.port.load(), nullptr);
    EXPECT_EQ(t.owner.load(), nullptr);
    EXPECT_EQ(t.view.load(), nullptr);
    EXPECT_EQ(t.viewHwnd.load(), nullptr);
    EXPECT_EQ(t.stepHandler.load(), nullptr);
    EXPECT_EQ(t.tickHandler.load(), &EventTimerEmptyTick);
    EXPECT_EQ(t.eventId.load(), 0u);
    EXPECT_EQ(service.Count("kill " + std::to_string(id)), 1u);
    EXPECT_EQ(service.Count("end 50"), 1u);
    // The pause keeps the handlers and widgets; the pending delayed call is dropped.
    EXPECT_EQ(t.uiTickHandler, &UiTick);
    EXPECT_EQ(t.playButton, gViewBytes);
    EXPECT_EQ(t.delayedTimerId, 0u);
    EXPECT_EQ(t.armedDelayedHandler, nullptr);
    EXPECT_EQ(service.FindUiTimer(delayedId), nullptr);

    // Stop(false) while paused: true, and the pause stays for the playback's end routine.
    const auto before = service.calls.size();
    EXPECT_TRUE(t.Stop(false));
    EXPECT_EQ(t.paused, 1);
    EXPECT_EQ(t.savedOwner, kOwner);
    EXPECT_EQ(t.savedPort, kPort);
    EXPECT_EQ(service.calls.size(), before);

    // The resume installs the port again; Start clears the pause.
    t.port = kPort;
    t.stepHandler = &Step;
    ASSERT_TRUE(t.Start());
    EXPECT_EQ(t.paused, 0);
    // The full stop clears the handlers, widgets and saved pointers; the tick is the empty one.
    ASSERT_TRUE(t.Stop(false));
    ExpectStartBlockClear(t, &EventTimerEmptyTick);
}

TEST_F(EventTimerTest, TheFirstTickRaisesThePriorityOnceAndSwitchesToTheStep) {
    EventTimer t(&service);
    Install(t, false);
    ASSERT_TRUE(t.Start());
    EXPECT_EQ(service.Count("priority"), 0u);
    ASSERT_TRUE(service.Tick());
    EXPECT_EQ(service.Count("priority"), 1u);
    EXPECT_EQ(gSteps, 1);
    EXPECT_EQ(t.tickHandler.load(), &Step);
    ASSERT_TRUE(service.Tick());
    ASSERT_TRUE(service.Tick());
    EXPECT_EQ(service.Count("priority"), 1u);
    EXPECT_EQ(gSteps, 3);
    ASSERT_TRUE(t.Stop(false));
    // Every play's first tick asks again (the service keeps it at one raise per thread).
    Install(t, false);
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(service.Tick());
    EXPECT_EQ(service.Count("priority"), 2u);
    EXPECT_EQ(gSteps, 4);
    ASSERT_TRUE(t.Stop(false));
}

TEST_F(EventTimerTest, ARefusedPriorityIsLoggedOnceAndTheStepRuns) {
    testing_util::ProgramLogCapture log;
    service.failPriority = true;
    EventTimer t(&service);
    for (int play = 0; play < 2; ++play) {
        Install(t, false);
        ASSERT_TRUE(t.Start());
        ASSERT_TRUE(service.Tick());
        ASSERT_TRUE(t.Stop(false));
    }
    EXPECT_EQ(gSteps, 2);
    EXPECT_EQ(log.Text(), "*event timer: the thread's priority was not raised\n");
}

TEST_F(EventTimerTest, ATickAfterStopRunsNothing) {
    EventTimer t(&service);
    Install(t, false);
    ASSERT_TRUE(t.Start());
    // The routine the thread read before the stop is the first tick; the stop has put
    // the empty routine in place, which the first tick must not replace.
    EventTimerHandler first = t.tickHandler.load();
    ASSERT_TRUE(t.Stop(false));
    first(&t);
    EXPECT_EQ(gSteps, 0);
    EXPECT_EQ(t.tickHandler.load(), &EventTimerEmptyTick);
}

TEST_F(EventTimerTest, ATickOfAPausedPlayLeavesTheNextPlaysFirstTickToItsOwnEvent) {
    EventTimer t(&service);
    Install(t, false);
    ASSERT_TRUE(t.Start());
    EventTimerHandler first = t.tickHandler.load();
    // Pause and play again while the timer thread still runs the first play's first tick
    // (it read that routine before the pause).
    ASSERT_TRUE(t.Stop(true));
    Install(t, false);
    ASSERT_TRUE(t.Start());
    first(&t);
    EXPECT_EQ(gSteps, 0);
    EXPECT_EQ(t.tickHandler.load(), first);
    // The new play's own event installs its step and moves on every tick.
    ASSERT_TRUE(service.Tick());
    ASSERT_TRUE(service.Tick());
    EXPECT_EQ(gSteps, 2);
    EXPECT_EQ(t.tickHandler.load(), &Step);
    ASSERT_TRUE(t.Stop(false));
}

TEST_F(EventTimerTest, TheDelayedCallRunsOnce5000MsAfterItWasArmed) {
    EventTimer t(&service);
    EXPECT_FALSE(t.StartDelayedNotify());  // nothing plays
    Install(t, true);
    ASSERT_TRUE(t.Start());
    t.delayedHandler = nullptr;
    EXPECT_FALSE(t.StartDelayedNotify());  // no handler
    t.delayedHandler = &Delayed;
    ASSERT_TRUE(t.StartDelayedNotify());
    const uintptr_t id = t.delayedTimerId;
    const auto* timer = service.FindUiTimer(id);
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->milliseconds, 5000u);
    EXPECT_EQ(t.armedDelayedHandler, &Delayed);
    // While one is pending a second is refused and no new timer is set.
    const size_t sets = service.uiTimers.size();
    EXPECT_FALSE(t.StartDelayedNotify());
    EXPECT_EQ(service.uiTimers.size(), sets);
    ASSERT_TRUE(service.FireUiTimer(id));
    EXPECT_EQ(gDelayed, 1);
    EXPECT_EQ(t.delayedTimerId, 0u);
    EXPECT_EQ(t.armedDelayedHandler, nullptr);
    EXPECT_FALSE(service.FireUiTimer(id));  // killed: it happened once
    EXPECT_EQ(gDelayed, 1);
    // Now another may be armed.
    EXPECT_TRUE(t.StartDelayedNotify());
    ASSERT_TRUE(t.Stop(false));
    // A refused timer answers false, and the caller acts at once itself.
    FakeTimerService refusing;
    EventTimer r(&refusing);
    Install(r, true);
    refusing.failUiTimer = true;
    ASSERT_TRUE(r.Start());
    EXPECT_FALSE(r.StartDelayedNotify());
    ASSERT_TRUE(r.Stop(false));
}

TEST_F(EventTimerTest, AFailedCapabilityQueryOrLockLeavesItUnusable) {
    struct Case {
        bool caps;
        bool lock;
        const char* log;
        uint8_t lockValid;
    };
    const Case cases[] = {
        {true, false, "**can`t get timer caps...\n", 1},
        {false, true, "**can`t init critical section event timer...\n", 0},
        {true, true, "**can`t get timer caps...\n**can`t init critical section event timer...\n", 0},
    };
    for (const Case& c : cases) {
        testing_util::ProgramLogCapture log;
        FakeTimerService failing;
        failing.failCaps = c.caps;
        failing.failLock = c.lock;
        EventTimer t(&failing);
        EXPECT_EQ(log.Text(), c.log);
        EXPECT_EQ(t.ready, 0);
        EXPECT_EQ(t.lockValid, c.lockValid);
        Install(t, true);
        const auto before = failing.calls.size();
        EXPECT_FALSE(t.Start());
        EXPECT_FALSE(t.Stop(false));
        EXPECT_FALSE(t.Stop(true));
        t.paused = 1;
        EXPECT_FALSE(t.Stop(false));
        EXPECT_EQ(failing.calls.size(), before);
        EXPECT_EQ(t.port.load(), kPort);  // untouched
    }
}

TEST_F(EventTimerTest, TheLockIsReentrantAndCountsItsDepth) {
    EventTimer t(&service);
    EXPECT_EQ(DisplayLockDepth(), 0);
    t.Enter();
    t.Enter();
    EXPECT_EQ(DisplayLockDepth(), 2);
    {
        DisplayLockGuard guard(t);
        EXPECT_EQ(DisplayLockDepth(), 3);
        // Stop takes the same lock on this thread without blocking.
        EXPECT_FALSE(t.Stop(false));
        EXPECT_EQ(DisplayLockDepth(), 3);
    }
    t.Leave();
    t.Leave();
    EXPECT_EQ(DisplayLockDepth(), 0);
    // The global timer's lock is the display lock.
    EXPECT_EQ(&DisplayLock(), &TheEventTimer().Lock());
    DisplayLockEnter();
    EXPECT_EQ(DisplayLockDepth(), 1);
    EXPECT_TRUE(TheEventTimer().Lock().try_lock());  // re-entrant
    TheEventTimer().Lock().unlock();
    DisplayLockLeave();
}

// A new period while playing: the event goes on at it, with the step routine it had, the
// readout timer at its own pace and the rate measured afresh; idle, unchanged or 0 it is
// refused. A pace that cannot be set keeps the old one; when neither can, playback ends.
TEST_F(EventTimerTest, ANewPeriodWhilePlayingRearmsTheEvent) {
    EventTimer t(&service);
    EXPECT_FALSE(t.SetPeriod(250));  // nothing runs
    Install(t, true);
    service.now = 1000;
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(service.Tick());  // the first tick installs the step
    ASSERT_TRUE(service.Tick());
    EXPECT_EQ(gSteps, 2);
    t.tickCount = 2;
    EXPECT_FALSE(t.SetPeriod(50));
    EXPECT_FALSE(t.SetPeriod(0));
    const uint32_t first = t.eventId.load();
    service.now = 1100;
    ASSERT_TRUE(t.SetPeriod(250));
    EXPECT_EQ(service.Count("kill " + std::to_string(first)), 1u);
    EXPECT_EQ(service.Count("end 50"), 1u);
    EXPECT_EQ(service.Count("begin 250"), 1u);
    EXPECT_EQ(service.eventDelay, 250u);
    EXPECT_NE(t.eventId.load(), 0u);
    EXPECT_EQ(t.eventId.load(), service.eventId);
    EXPECT_EQ(t.period, 250u);
    EXPECT_EQ(t.tickCount.load(), 0u);
    EXPECT_EQ(t.startTime.load(), 1100u);
    EXPECT_EQ(t.lastTickTime.load(), 1100u);
    ASSERT_NE(t.uiTimerId, 0u);
    EXPECT_EQ(service.FindUiTimer(t.uiTimerId)->milliseconds, 250u);
    EXPECT_EQ(t.port.load(), kPort);
    ASSERT_TRUE(service.Tick());
    EXPECT_EQ(gSteps, 3);

    // The new pace refused: the old one goes on.
    service.failSetEvent = true;
    EXPECT_FALSE(t.SetPeriod(100));
    EXPECT_EQ(t.period, 250u);
    EXPECT_EQ(t.eventId.load(), 0u);  // the fake refuses the old pace too
    // Neither pace: playback ends as a full stop ends it.
    EXPECT_EQ(t.tickHandler.load(), &EventTimerEmptyTick);
    EXPECT_EQ(t.port.load(), nullptr);
    EXPECT_EQ(t.owner.load(), nullptr);
    EXPECT_EQ(t.stepHandler.load(), nullptr);
    EXPECT_EQ(t.uiTickHandler, nullptr);
    EXPECT_EQ(t.paused, 0);
    EXPECT_EQ(t.uiTimerId, 0u);
    EXPECT_FALSE(t.Running());
}

}  // namespace
}  // namespace orva
