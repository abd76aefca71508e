// The periodic timer thread and the window-less timers of a thread's queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/fake_backend.h"
#include "platform/msg_queue.h"
#include "platform/timer_service.h"
#include "platform/window_api.h"
#include "watchdog.h"

namespace orva::platform {
namespace {

using namespace std::chrono_literals;
using testing_util::Watchdog;

struct Fired {
    std::vector<std::pair<uintptr_t, void*>> calls;
};

void Record(uintptr_t id, void* user) { static_cast<Fired*>(user)->calls.emplace_back(id, user); }

// Takes and dispatches messages until `until` says so (at most `limit`).
template <class Done> void Pump(Done until, std::chrono::milliseconds limit = 2000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    Msg msg;
    while (!until() && std::chrono::steady_clock::now() < end) {
        while (PeekMessage(&msg, true)) DispatchMessage(&msg);
        std::this_thread::sleep_for(1ms);
    }
}

TEST(WindowlessTimerTest, IdsFromOneRoutineRunsOnDispatchAndKillStopsIt) {
    ResetThreadQueueForTest();
    Fired a, b;
    const uintptr_t first = SetTimer(nullptr, 0, 1, &Record, &a);
    const uintptr_t second = SetTimer(nullptr, 0, 1, &Record, &b);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);
    Pump([&] { return !a.calls.empty() && !b.calls.empty(); });
    ASSERT_FALSE(a.calls.empty());
    EXPECT_EQ(a.calls[0], std::make_pair(first, static_cast<void*>(&a)));
    EXPECT_EQ(b.calls[0].first, second);
    EXPECT_TRUE(KillTimer(nullptr, first));
    EXPECT_FALSE(KillTimer(nullptr, first));
    a.calls.clear();
    b.calls.clear();
    Pump([&] { return b.calls.size() >= 3; });
    EXPECT_TRUE(a.calls.empty());
    // The freed id is handed out again.
    EXPECT_EQ(SetTimer(nullptr, 0, 1000, &Record, &a), first);
    // A timer message of a timer killed before its dispatch runs nothing.
    Msg stale{};
    stale.message = kWmTimer;
    stale.wParam = 77;
    EXPECT_EQ(DispatchMessage(&stale), 0);
    ResetThreadQueueForTest();
}

TEST(TimerServiceTest, CapsClockAndRefusals) {
    ThreadTimerService service;
    TimerCaps caps;
    ASSERT_TRUE(service.GetDevCaps(&caps));
    EXPECT_GE(caps.periodMin, 1u);
    EXPECT_GE(caps.periodMax, caps.periodMin);
    EXPECT_FALSE(service.GetDevCaps(nullptr));
    EXPECT_TRUE(service.BeginPeriod(50));
    EXPECT_TRUE(service.EndPeriod(50));
    // The millisecond clock is CLOCK_MONOTONIC's, cut to 32 bits.
    const uint32_t before = static_cast<uint32_t>(MonotonicNs() / 1000000);
    const uint32_t t = service.GetTime();
    const uint32_t after = static_cast<uint32_t>(MonotonicNs() / 1000000);
    EXPECT_LE(static_cast<uint32_t>(t - before), static_cast<uint32_t>(after - before));
    // Refused without creating the thread: a zero delay, no routine.
    auto noop = [](uint32_t, void*) {};
    EXPECT_EQ(service.SetEvent(0, 0, noop, nullptr), 0u);
    EXPECT_EQ(service.SetEvent(5, 0, nullptr, nullptr), 0u);
    EXPECT_FALSE(service.ThreadStarted());
    EXPECT_FALSE(service.KillEvent(0));
    service.Shutdown();  // nothing to join
    EXPECT_EQ(service.SetEvent(5, 0, noop, nullptr), 0u);
}

struct Ticks {
    std::mutex mutex;
    std::vector<int64_t> at;
    std::atomic<int> count{0};
    int64_t stallOnce = 0;  // ns the third tick takes
};

void Stamp(uint32_t, void* user) {
    auto* t = static_cast<Ticks*>(user);
    {
        std::lock_guard<std::mutex> lock(t->mutex);
        t->at.push_back(MonotonicNs());
    }
    if (t->count.fetch_add(1) + 1 == 3 && t->stallOnce > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(t->stallOnce));
}

// Runs a timer of `periodMs` on a service of its own until `count` ticks are stamped.
void TickUntil(Ticks* ticks, uint32_t periodMs, int count) {
    ThreadTimerService service;
    const uint32_t id = service.SetEvent(periodMs, 0, &Stamp, ticks);
    ASSERT_NE(id, 0u);
    while (ticks->count.load() < count) std::this_thread::sleep_for(1ms);
    service.KillEvent(id);
    service.Shutdown();
}

TEST(TimerServiceTest, TicksOnAnAbsoluteGridAndKillDisarmsWithoutWaiting) {
    Watchdog dog("TicksOnAnAbsoluteGrid");
    ThreadTimerService service;
    Ticks ticks;
    const int64_t start = MonotonicNs();
    const uint32_t id = service.SetEvent(5, 0, &Stamp, &ticks);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(service.ThreadStarted());
    // One event at a time.
    EXPECT_EQ(service.SetEvent(5, 0, &Stamp, &ticks), 0u);
    while (ticks.count.load() < 20) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(service.KillEvent(id + 1));
    EXPECT_TRUE(service.KillEvent(id));
    EXPECT_FALSE(service.KillEvent(id));
    std::this_thread::sleep_for(30ms);
    const int after = ticks.count.load();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.count.load(), after);  // disarmed: no routine runs any more
    std::lock_guard<std::mutex> lock(ticks.mutex);
    ASSERT_GE(ticks.at.size(), 20u);
    // Tick k is due at start + 5 ms x k: never early, and the grid does not drift
    // (a loaded machine may run late, so only the early side is strict).
    for (size_t k = 0; k < 20; ++k) {
        const int64_t due = start + static_cast<int64_t>(k + 1) * 5000000;
        EXPECT_GE(ticks.at[k], due - 1000000) << k;
    }
    const double mean = static_cast<double>(ticks.at[19] - ticks.at[0]) / 19.0 / 1e6;
    EXPECT_GT(mean, 4.5);
}

TEST(TimerServiceTest, ALateTickStartsANewGridInsteadOfABurst) {
    Watchdog dog("ALateTick");
    Ticks ticks;
    ticks.stallOnce = 35000000;  // the third tick takes 35 ms: seven periods
    ASSERT_NO_FATAL_FAILURE(TickUntil(&ticks, 5, 8));
    std::lock_guard<std::mutex> lock(ticks.mutex);
    // After the stall the next tick comes one period after the stall ended, and the one
    // after it a period later still, not at once six times over. Ticks are never early
    // but may run late on a loaded machine (a late tick 3 brings tick 4 closer to it), so
    // both are measured from the stall's start: 35 ms + 5 ms, and 5 ms more.
    ASSERT_GE(ticks.at.size(), 5u);
    EXPECT_GE(ticks.at[3] - ticks.at[2], 35000000 + 4000000);
    EXPECT_GE(ticks.at[4] - ticks.at[2], 35000000 + 9000000);
}

TEST(TimerServiceTest, ATickLateByLessThanAPeriodRunsAtOnceAndTheGridStays) {
    Watchdog dog("ATickLateByLess");
    Ticks ticks;
    ticks.stallOnce = 300000000;  // the third tick takes 300 ms: a period and a half
    const int64_t start = MonotonicNs();
    ASSERT_NO_FATAL_FAILURE(TickUntil(&ticks, 200, 5));
    std::lock_guard<std::mutex> lock(ticks.mutex);
    ASSERT_GE(ticks.at.size(), 5u);
    // The fourth tick, due while the third still ran, follows the stall at once (it once
    // waited a whole period more, at 500 ms after the third); the fifth keeps the grid:
    // never before start + 5 x 200 ms, and not a period behind it (700 ms after the third).
    // The bounds leave a loaded machine 180 ms and 100 ms of lateness.
    EXPECT_LT(ticks.at[3] - ticks.at[2], 480000000);
    EXPECT_GE(ticks.at[4], start + 5 * 200000000LL - 1000000);
    EXPECT_LT(ticks.at[4] - ticks.at[2], 600000000);
}

TEST(TimerServiceTest, AStartAfterAKillRunsAgainAndShutdownJoins) {
    Watchdog dog("AStartAfterAKill");
    ThreadTimerService service;
    Ticks first, second;
    const uint32_t a = service.SetEvent(2, 0, &Stamp, &first);
    while (first.count.load() < 3) std::this_thread::sleep_for(1ms);
    service.KillEvent(a);
    const uint32_t b = service.SetEvent(2, 0, &Stamp, &second);
    EXPECT_NE(b, a);
    while (second.count.load() < 3) std::this_thread::sleep_for(1ms);
    const int firstCount = first.count.load();
    service.Shutdown();
    EXPECT_EQ(first.count.load(), firstCount);
    EXPECT_EQ(service.SetEvent(2, 0, &Stamp, &second), 0u);  // refused after the end
    // Reopened (tests that end the program in their process): a new thread ticks.
    Ticks third;
    EXPECT_TRUE(service.Reopen());
    EXPECT_FALSE(service.Reopen());  // open already
    EXPECT_FALSE(service.ThreadStarted());
    const uint32_t c = service.SetEvent(2, 0, &Stamp, &third);
    ASSERT_NE(c, 0u);
    while (third.count.load() < 3) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(service.ThreadStarted());
    service.KillEvent(c);
    service.Shutdown();
}

// The routine blocks in a send to this thread's window while this thread does not
// serve its queue: the shut-down fails the send and joins at once.
TEST(TimerServiceTest, ShutdownWithASendPendingJoinsWithin100Ms) {
    Watchdog dog("ShutdownWithASendPending");
    ScopedFakeBackend fake;
    static std::atomic<int> sends{0};
    sends = 0;
    RegisterWindowClass(
        "TimerSendTarget", [](Hwnd h, uint32_t m, WParam w, LParam l) -> LResult { return DefWindowProc(h, m, w, l); },
        0);
    Hwnd hwnd = CreateWindowEx(0, "TimerSendTarget", "", 0, 0, 0, 10, 10, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    struct Target {
        Hwnd hwnd;
        std::atomic<bool> returned{false};
        std::atomic<bool> ok{true};
    } target{hwnd};
    ThreadTimerService service;
    const uint32_t id = service.SetEvent(
        5, 0,
        [](uint32_t, void* user) {
            auto* t = static_cast<Target*>(user);
            if (sends.fetch_add(1) > 0) return;
            LResult r = 0;
            t->ok = SendMessageChecked(t->hwnd, kWmUser + 1, 0, 0, &r);
            t->returned = true;
        },
        &target);
    ASSERT_NE(id, 0u);
    while (sends.load() == 0) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(target.returned.load());
    const int64_t t0 = MonotonicNs();
    service.Shutdown();
    const int64_t took = MonotonicNs() - t0;
    EXPECT_LT(took, 100000000) << took / 1000000 << " ms";
    EXPECT_TRUE(target.returned.load());
    EXPECT_FALSE(target.ok.load());  // the send reports that it did not run
    DestroyWindow(hwnd);
    UnregisterWindowClass("TimerSendTarget");
}

}  // namespace
}  // namespace orva::platform
