#pragma once
// A timer service without a thread, for tests: the clock is a number the test sets,
// every call can be made to fail, every call is counted, and the test fires the event
// and the user-interface timers itself, on its own thread.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/timer_service.h"

namespace orva::platform {

class FakeTimerService final : public TimerService {
public:
    struct UiTimer {
        uintptr_t id = 0;
        uint32_t milliseconds = 0;
        UiTimerFn fn = nullptr;
        void* user = nullptr;
        bool alive = false;
    };

    // Test settings: the failures and the clock.
    bool failCaps = false;
    bool failLock = false;
    bool failBegin = false;
    bool failSetEvent = false;
    bool failUiTimer = false;
    bool failPriority = false;
    uint32_t now = 0;

    // What was asked, one short line per call ("caps", "lock", "begin 50", "end 50",
    // "set 50", "kill 1", "priority", "ui-set 200", "ui-kill 1", "shutdown"); the clock
    // reads are counted apart.
    std::vector<std::string> calls;
    int timeReads = 0;
    size_t Count(const std::string& call) const;

    // The armed event (id 0: none) and the user-interface timers ever set.
    uint32_t eventId = 0;
    uint32_t eventDelay = 0;
    std::vector<UiTimer> uiTimers;
    // The live user-interface timer with this id, or nullptr.
    const UiTimer* FindUiTimer(uintptr_t id) const;

    // Runs the armed event's routine once (false when none is armed).
    bool Tick();
    // Runs a live user-interface timer's routine once (false when it is not live).
    bool FireUiTimer(uintptr_t id);

    bool GetDevCaps(TimerCaps* caps) override;
    bool PrepareLock() override;
    bool BeginPeriod(uint32_t period) override;
    bool EndPeriod(uint32_t period) override;
    uint32_t SetEvent(uint32_t delay, uint32_t resolution, TimerEventFn fn, void* user) override;
    bool KillEvent(uint32_t eventId) override;
    uint32_t GetTime() override;
    bool RaisePriority() override;
    uintptr_t SetUiTimer(uint32_t milliseconds, UiTimerFn fn, void* user) override;
    bool KillUiTimer(uintptr_t id) override;
    void Shutdown() override;

private:
    TimerEventFn fn_ = nullptr;
    void* user_ = nullptr;
    uint32_t nextEvent_ = 0;
};

}  // namespace orva::platform
