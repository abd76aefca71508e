#pragma once
// The periodic event timer of frame playback and the calls that go with it: the
// timer's resolution, the millisecond clock, the window-less user-interface timers of
// the calling thread and the priority raise of the timer thread.
//
// ThreadTimerService is the real one: a single thread, created by the first SetEvent
// and idle between events, sleeps to absolute deadlines on CLOCK_MONOTONIC. KillEvent
// only disarms (a generation counter moves on, which the thread checks after every
// sleep before it runs a routine); it never joins and never waits for a routine in
// progress, since that routine may be blocked in a send to the very thread that kills
// the event. The thread is joined once, by Shutdown.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace orva::platform {

struct TimerCaps {
    uint32_t periodMin = 0;  // ms
    uint32_t periodMax = 0;  // ms
};

// An event routine runs on the timer thread; a user-interface timer routine on the
// thread whose loop fires it.
using TimerEventFn = void (*)(uint32_t eventId, void* user);
using UiTimerFn = void (*)(uintptr_t id, void* user);

class TimerService {
public:
    virtual ~TimerService() = default;
    // The supported periods; false when the clock cannot be queried.
    virtual bool GetDevCaps(TimerCaps* caps) = 0;
    // Set-up of the lock that goes with the timer; false when it cannot be made.
    virtual bool PrepareLock() = 0;
    // Timer resolution requests for the time an event runs.
    virtual bool BeginPeriod(uint32_t period) = 0;
    virtual bool EndPeriod(uint32_t period) = 0;
    // A periodic event: `fn` every `delay` ms from now. The event id (0: refused).
    virtual uint32_t SetEvent(uint32_t delay, uint32_t resolution, TimerEventFn fn, void* user) = 0;
    // Disarms the event; false when it is not the armed one.
    virtual bool KillEvent(uint32_t eventId) = 0;
    // Milliseconds of a monotonic clock, wrapping at 2^32.
    virtual uint32_t GetTime() = 0;
    // Raises the calling (timer) thread's priority a little (once: a thread already
    // raised answers true); false when refused.
    virtual bool RaisePriority() = 0;
    // A repeating window-less timer of the calling thread; its id (from 1), 0 on failure.
    virtual uintptr_t SetUiTimer(uint32_t milliseconds, UiTimerFn fn, void* user) = 0;
    virtual bool KillUiTimer(uintptr_t id) = 0;
    // Ends the timer thread, if one was made, and joins it. Sends other threads have
    // made to the calling thread are failed meanwhile, so a routine blocked in a send
    // to it returns. Events are refused afterwards.
    virtual void Shutdown() = 0;
};

class ThreadTimerService final : public TimerService {
public:
    ThreadTimerService() = default;
    // Shuts down.
    ~ThreadTimerService() override;
    ThreadTimerService(const ThreadTimerService&) = delete;
    ThreadTimerService& operator=(const ThreadTimerService&) = delete;

    bool GetDevCaps(TimerCaps* caps) override;
    bool PrepareLock() override { return true; }
    bool BeginPeriod(uint32_t) override { return true; }
    bool EndPeriod(uint32_t) override { return true; }
    // One event at a time: a second SetEvent while one is armed is refused, as is a
    // delay of 0 and any event after Shutdown.
    uint32_t SetEvent(uint32_t delay, uint32_t resolution, TimerEventFn fn, void* user) override;
    bool KillEvent(uint32_t eventId) override;
    uint32_t GetTime() override;
    bool RaisePriority() override;
    uintptr_t SetUiTimer(uint32_t milliseconds, UiTimerFn fn, void* user) override;
    bool KillUiTimer(uintptr_t id) override;
    void Shutdown() override;
    // After Shutdown: events may be set again, on a new thread. Only for tests that run
    // the program's start and end in their own process before other tests play frames;
    // false while the service has not been shut down.
    bool Reopen();

    // Whether the thread exists (tests).
    bool ThreadStarted() const { return started_.load(); }

private:
    void Run();
    // Runs one armed event until it is disarmed; false once the service quits.
    void RunEvent(uint64_t generation, uint32_t id, uint32_t period, TimerEventFn fn, void* user);
    // Sleeps to the absolute deadline in slices; false when the event was disarmed.
    bool SleepUntil(int64_t deadlineNs, uint64_t generation);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> quit_{false};
    std::atomic<bool> exited_{false};
    std::atomic<bool> raised_{false};
    std::atomic<uint64_t> generation_{0};
    // The armed event (under mutex_).
    bool armed_ = false;
    uint32_t armedId_ = 0;
    uint32_t period_ = 0;
    TimerEventFn fn_ = nullptr;
    void* user_ = nullptr;
    uint32_t nextId_ = 0;
    uint64_t served_ = 0;
};

// The process's timer service. Never destroyed, so that no joinable thread meets the
// exit-time destructors: the program joins it through Shutdown at its end.
ThreadTimerService& TheTimerService();

}  // namespace orva::platform
