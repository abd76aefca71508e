// Frame playback with the real timer thread and the real message loop (on the
// recording window backend): frames drawn on the UI thread while the timer thread
// waits, the end of the range, a stop from a modal loop and the shut-down with a frame
// still waiting. Each test runs under a watchdog, so that a deadlock fails.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "framework/frame_player.h"
#include "platform/clock.h"
#include "platform/fake_backend.h"
#include "platform/msg_queue.h"
#include "platform/timer_service.h"
#include "playback_test_support.h"
#include "watchdog.h"

namespace orva::testing {
namespace {

using namespace std::chrono_literals;
using testing_util::Watchdog;

// What the UI thread saw (the hooks are plain functions).
struct Seen {
    std::atomic<int> frames{0};        // redraws while playing: the 0x501 frame routine
    std::atomic<int> endRedraws{0};    // redraws after the timer stopped: the end routine
    std::atomic<int> framesInModal{0};
    std::atomic<int> syncs{0};
    std::atomic<int> offThread{0};
    std::atomic<bool> modalOpen{false};
    uint64_t uiThread = 0;
    gWindow* view = nullptr;
    EventTimer* timer = nullptr;
};
Seen* gSeen = nullptr;

void Redraw(ComponentBase*) {
    if (platform::CurrentThreadId() != gSeen->uiThread) gSeen->offThread.fetch_add(1);
    if (gSeen->timer->port.load() != nullptr) {
        gSeen->frames.fetch_add(1);
        if (gSeen->modalOpen.load()) gSeen->framesInModal.fetch_add(1);
    } else {
        gSeen->endRedraws.fetch_add(1);
    }
}

// True when a thread other than this one holds the display lock.
bool LockHeldElsewhere() {
    return std::async(std::launch::async, [] {
               std::unique_lock<std::recursive_mutex> lock(DisplayLock(), std::try_to_lock);
               return !lock.owns_lock();
           }).get();
}

// Serves this thread's messages until `done` says so.
template <class Done> void Pump(Done done) {
    platform::Msg msg;
    while (!done()) {
        if (platform::PeekMessage(&msg, true)) platform::DispatchMessage(&msg);
        else std::this_thread::sleep_for(1ms);
    }
}

// Serves what is in this thread's queue now: sent messages, then the posted ones.
void ServeQueue() {
    platform::Msg msg;
    while (platform::PeekMessage(&msg, true)) platform::DispatchMessage(&msg);
}

class PlaybackThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(gInit(), nullptr);
        seen.uiThread = platform::CurrentThreadId();
        seen.timer = &timer;
        gSeen = &seen;
        view = gWinCreateRec(10, 10, 320, 200, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu | kStyleShown);
        ASSERT_NE(view, nullptr);
        gWinShow(view, true);
        ASSERT_EQ(view->state.load() & kNotDrawnMask, 0u);
        seen.view = view;
        PlaybackHooks& h = ThePlaybackHooks();
        h.windowOf = [](ComponentBase*) { return gSeen->view; };
        h.redraw = &Redraw;
        h.frameSync = [](ComponentBase*) { gSeen->syncs.fetch_add(1); };
        device = rig.Single(20);
        FramePlayer& p = rig.Player();
        p.interval = 5;
        p.step = 1;
        p.current = 0;
    }
    void TearDown() override {
        timer.Shutdown();
        EXPECT_FALSE(LockHeldElsewhere());
        EXPECT_EQ(seen.offThread.load(), 0);
        gSeen = nullptr;
        gShutdown();
    }
    platform::ScopedFakeBackend fake;
    PlaybackScope scope{true};
    platform::ThreadTimerService service;
    EventTimer timer{&service, &TheEventTimer()};
    PlayRig rig;
    Seen seen;
    gWindow* view = nullptr;
    PlayDevice* device = nullptr;
};

TEST_F(PlaybackThreadTest, TwentyFramesPlayToTheEndOnTheUiThread) {
    Watchdog dog("TwentyFramesPlayToTheEnd");
    rig.Player().flags = kFramePlayerReturnAtEnd;
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    EXPECT_EQ(timer.viewHwnd.load(), view->hwnd);
    Pump([this] { return seen.syncs.load() > 0; });
    // 0 -> 1 .. 18 -> 19: nineteen frames, each drawn by the frame routine; then the
    // end, whose routine ended playback and redrew the returned frame once.
    EXPECT_EQ(seen.frames.load(), 19);
    EXPECT_EQ(seen.syncs.load(), 1);
    EXPECT_EQ(seen.endRedraws.load(), 1);
    std::vector<int32_t> expected;
    for (int32_t f = 1; f <= 19; ++f) expected.push_back(f);
    expected.push_back(0);  // the end's re-read of the start mark
    EXPECT_EQ(device->Frames(), expected);
    EXPECT_EQ(device->deliveries.load(), 20);
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(timer.port.load(), nullptr);
    EXPECT_EQ(rig.Player().current.load(), 0);
    EXPECT_EQ(timer.tickCount.load(), 19u);
    EXPECT_EQ(DisplayLockDepth(), 0);
    // Nothing comes after the end.
    std::this_thread::sleep_for(30ms);
    ServeQueue();
    EXPECT_EQ(seen.frames.load(), 19);
}

TEST_F(PlaybackThreadTest, AStopFromAModalLoopReturnsAndFramesWereDrawnMeanwhile) {
    Watchdog dog("AStopFromAModalLoop");
    rig.Player().flags = kFramePlayerLoop;
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    Pump([this] { return seen.frames.load() >= 3; });
    gWindow* box = gWinCreateRec(40, 40, 200, 100, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu | kStyleShown);
    ASSERT_NE(box, nullptr);
    gWinShow(box, true);
    struct Modal {
        volatile uint8_t done = 0;
        bool stopped = false;
        EventTimer* timer = nullptr;
    } modal;
    modal.timer = &timer;
    // A window-less timer of the UI thread, fired by the modal loop, stops playback as
    // the shell's close does once a few frames were drawn with the box open.
    const uintptr_t id = platform::SetTimer(nullptr, 0, 10, [](uintptr_t timerId, void* user) {
        auto* m = static_cast<Modal*>(user);
        if (gSeen->framesInModal.load() < 5 || m->done != 0) return;
        m->stopped = m->timer->Stop(false);
        platform::KillTimer(nullptr, timerId);
        m->done = 1;
    }, &modal);
    ASSERT_NE(id, 0u);
    seen.modalOpen = true;
    gModalLoop(box, &modal.done);
    seen.modalOpen = false;
    EXPECT_TRUE(modal.stopped);
    EXPECT_GE(seen.framesInModal.load(), 5);
    EXPECT_FALSE(timer.Running());
    // A frame already on its way finds nothing to play; no more come.
    std::this_thread::sleep_for(30ms);
    ServeQueue();
    const int frames = seen.frames.load();
    std::this_thread::sleep_for(30ms);
    ServeQueue();
    EXPECT_EQ(seen.frames.load(), frames);
    EXPECT_EQ(DisplayLockDepth(), 0);
}

TEST_F(PlaybackThreadTest, TheShutDownWithAFrameWaitingJoinsWithin100Ms) {
    Watchdog dog("TheShutDownWithAFrameWaiting");
    rig.Player().flags = kFramePlayerLoop;
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    Pump([this] { return seen.frames.load() >= 2; });
    // This thread stops serving its queue: the next step's 0x501 waits in it. The step
    // may have sent it before the pump ended, so what is waited for is the message in
    // the queue, not a re-read that comes after this point.
    while (platform::PendingSentMessages() == 0) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(device->rereads.load(), device->deliveries.load() + 1);
    const int frames = seen.frames.load();
    const int64_t t0 = platform::MonotonicNs();
    timer.Shutdown();
    const int64_t took = platform::MonotonicNs() - t0;
    EXPECT_LT(took, 100000000) << took / 1000000 << " ms";
    EXPECT_FALSE(timer.Running());
    // The waiting frame was failed, not drawn.
    EXPECT_EQ(platform::PendingSentMessages(), 0u);
    ServeQueue();
    EXPECT_EQ(seen.frames.load(), frames);
}

}  // namespace
}  // namespace orva::testing
