#include "platform/fake_timer.h"

#include <algorithm>

namespace orva::platform {

size_t FakeTimerService::Count(const std::string& call) const {
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

const FakeTimerService::UiTimer* FakeTimerService::FindUiTimer(uintptr_t id) const {
    for (const UiTimer& t : uiTimers)
        if (t.alive && t.id == id) return &t;
    return nullptr;
}

bool FakeTimerService::Tick() {
    if (eventId == 0 || fn_ == nullptr) return false;
    fn_(eventId, user_);
    return true;
}

bool FakeTimerService::FireUiTimer(uintptr_t id) {
    const UiTimer* t = FindUiTimer(id);
    if (t == nullptr || t->fn == nullptr) return false;
    UiTimerFn fn = t->fn;
    void* user = t->user;
    fn(id, user);
    return true;
}

bool FakeTimerService::GetDevCaps(TimerCaps* caps) {
    calls.push_back("caps");
    if (failCaps || caps == nullptr) return false;
    caps->periodMin = 1;
    caps->periodMax = 1000000;
    return true;
}

bool FakeTimerService::PrepareLock() {
    calls.push_back("lock");
    return !failLock;
}

bool FakeTimerService::BeginPeriod(uint32_t period) {
    calls.push_back("begin " + std::to_string(period));
    return !failBegin;
}

bool FakeTimerService::EndPeriod(uint32_t period) {
    calls.push_back("end " + std::to_string(period));
    return true;
}

uint32_t FakeTimerService::SetEvent(uint32_t delay, uint32_t, TimerEventFn fn, void* user) {
    calls.push_back("set " + std::to_string(delay));
    if (failSetEvent || delay == 0 || fn == nullptr || eventId != 0) return 0;
    eventId = ++nextEvent_;
    eventDelay = delay;
    fn_ = fn;
    user_ = user;
    return eventId;
}

bool FakeTimerService::KillEvent(uint32_t id) {
    calls.push_back("kill " + std::to_string(id));
    if (id == 0 || id != eventId) return false;
    eventId = 0;
    fn_ = nullptr;
    user_ = nullptr;
    return true;
}

uint32_t FakeTimerService::GetTime() {
    ++timeReads;
    return now;
}

bool FakeTimerService::RaisePriority() {
    calls.push_back("priority");
    return !failPriority;
}

uintptr_t FakeTimerService::SetUiTimer(uint32_t milliseconds, UiTimerFn fn, void* user) {
    calls.push_back("ui-set " + std::to_string(milliseconds));
    if (failUiTimer) return 0;
    uintptr_t id = 1;
    while (FindUiTimer(id) != nullptr) ++id;
    uiTimers.push_back(UiTimer{id, milliseconds, fn, user, true});
    return id;
}

bool FakeTimerService::KillUiTimer(uintptr_t id) {
    calls.push_back("ui-kill " + std::to_string(id));
    for (UiTimer& t : uiTimers) {
        if (t.alive && t.id == id) {
            t.alive = false;
            return true;
        }
    }
    return false;
}

void FakeTimerService::Shutdown() {
    calls.push_back("shutdown");
    eventId = 0;
    fn_ = nullptr;
    user_ = nullptr;
}

}  // namespace orva::platform
