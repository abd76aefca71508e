#include "framework/display_lock.h"

#include <algorithm>
#include <cassert>

#include "common/log.h"
#include "framework/frame_player.h"
#include "platform/timer_service.h"

namespace orva {

namespace {

thread_local int tLockDepth = 0;

}  // namespace

void EventTimerEmptyTick(EventTimer*) {}

EventTimer::EventTimer(platform::TimerService* service, EventTimer* lockOf)
    : service_(service != nullptr ? service : &platform::TheTimerService()),
      lock_(lockOf != nullptr ? &lockOf->Lock() : &ownLock_) {
    platform::TimerCaps caps;
    if (!service_->GetDevCaps(&caps)) {
        ready = 0;
        LogPrintf("%s", "**can`t get timer caps...");
    }
    // The playback settings that outlive every data set; a new FramePlayer takes them.
    FramePlayerSaved& saved = TheFramePlayerSaved();
    saved.flagWord.store(kFramePlayerReturnAtEnd);
    saved.timeMode.store(0);
    saved.interval.store(static_cast<int32_t>(kDefaultFramePeriod));
    lockValid = 1;
    if (!service_->PrepareLock()) {
        ready = 0;
        lockValid = 0;
        LogPrintf("%s", "**can`t init critical section event timer...");
    }
}

// The shell has stopped the timer before; what is left are the window-less timers of a
// timer that was never stopped, which would otherwise call into a dead object.
EventTimer::~EventTimer() {
    if (uiTimerId != 0) service_->KillUiTimer(uiTimerId);
    if (delayedTimerId != 0) service_->KillUiTimer(delayedTimerId);
}

void EventTimer::Enter() {
    lock_->lock();
    ++tLockDepth;
}

void EventTimer::Leave() {
    assert(tLockDepth > 0 && "the display lock is left more often than it was entered");
    --tLockDepth;
    lock_->unlock();
}

void EventTimer::ClearStartBlock() {
    tickHandler.store(nullptr);
    view.store(nullptr);
    viewHwnd.store(nullptr);
    owner.store(nullptr);
    port.store(nullptr);
    tickCount.store(0);
    startTime.store(0);
    lastTickTime.store(0);
    lastRateValue.store(0);
    stepHandler.store(nullptr);
    ForgetPlayback();
}

void EventTimer::ForgetPlayback() {
    uiTickHandler = nullptr;
    playButton = frameText = progressBar = rateText = nullptr;
    controlHandler = nullptr;
    armedDelayedHandler = nullptr;
    delayedHandler = nullptr;
    paused = 0;
    savedOwner = nullptr;
    savedPort = nullptr;
}

bool EventTimer::Start() {
    if (ready != 1 || eventId.load() != 0) return false;
    // Under the lock, as Stop: the first tick reads the new play's handlers and event as
    // one.
    Enter();
    paused = 0;
    if (!service_->BeginPeriod(period)) {
        ClearStartBlock();
        Leave();
        return false;
    }
    tickHandler.store(&FirstTick);
    tickCount.store(0);
    lastRateValue.store(0);
    lastTickTime.store(0);
    startTime.store(0);
    eventId.store(service_->SetEvent(period, 0, &OnEvent, this));
    const uint32_t now = service_->GetTime();
    startTime.store(now);
    lastTickTime.store(now);
    if (eventId.load() == 0) {
        service_->EndPeriod(period);
        ClearStartBlock();
        Leave();
        return false;
    }
    // The readouts follow on the UI thread, never faster than every 200 ms; a timer
    // that cannot be set leaves them still.
    if (uiTickHandler != nullptr) uiTimerId = service_->SetUiTimer(std::max(period, kUiTimerMinPeriod), &OnUiTimer, this);
    Leave();
    return true;
}

bool EventTimer::Stop(bool keep) {
    if (ready != 1) return false;
    Enter();
    if (eventId.load() == 0 && !keep && paused == 0) {
        Leave();
        return false;
    }
    if (eventId.load() != 0) {
        tickHandler.exchange(&EventTimerEmptyTick);
        if (uiTimerId != 0) {
            service_->KillUiTimer(uiTimerId);
            uiTimerId = 0;
        }
        if (delayedTimerId != 0) {
            armedDelayedHandler = nullptr;
            const uintptr_t id = delayedTimerId;
            delayedTimerId = 0;
            service_->KillUiTimer(id);
        }
        const uint32_t id = eventId.exchange(0);
        service_->KillEvent(id);
        service_->EndPeriod(period);
    }
    if (port.load() != nullptr) DropPort(keep);
    Leave();
    return true;
}

void EventTimer::DropPort(bool keep) {
    stepHandler.exchange(nullptr);
    if (keep) {
        paused = 1;
        savedOwner = owner.load();
        savedPort = port.load();
    } else {
        ForgetPlayback();
    }
    port.exchange(nullptr);
    owner.exchange(nullptr);
    view.exchange(nullptr);
    viewHwnd.exchange(nullptr);
}

bool EventTimer::SetPeriod(uint32_t newPeriod) {
    if (ready != 1 || newPeriod == 0) return false;
    Enter();
    if (eventId.load() == 0 || newPeriod == period) {
        Leave();
        return false;
    }
    // The event starts again at the new pace; the step routine the first tick installed
    // stays. When the new pace cannot be set the old one goes on.
    service_->KillEvent(eventId.exchange(0));
    service_->EndPeriod(period);
    const uint32_t old = period;
    uint32_t id = 0;
    for (const uint32_t p : {newPeriod, old}) {
        if (!service_->BeginPeriod(p)) continue;
        id = service_->SetEvent(p, 0, &OnEvent, this);
        if (id != 0) {
            period = p;
            break;
        }
        service_->EndPeriod(p);
    }
    // The rate readout measures the pace from now on.
    const uint32_t now = service_->GetTime();
    tickCount.store(0);
    lastRateValue.store(0);
    startTime.store(now);
    lastTickTime.store(now);
    eventId.store(id);
    if (uiTimerId != 0) {
        service_->KillUiTimer(uiTimerId);
        uiTimerId = 0;
    }
    if (id == 0) {
        // Neither pace could be set: playback ends here, as a stop would end it.
        tickHandler.exchange(&EventTimerEmptyTick);
        if (port.load() != nullptr) DropPort(false);
    } else if (uiTickHandler != nullptr) {
        uiTimerId = service_->SetUiTimer(std::max(period, kUiTimerMinPeriod), &OnUiTimer, this);
    }
    Leave();
    return id != 0 && period == newPeriod;
}

bool EventTimer::StartDelayedNotify() {
    if (delayedTimerId != 0 || port.load() == nullptr || delayedHandler == nullptr) return false;
    armedDelayedHandler = delayedHandler;
    delayedTimerId = service_->SetUiTimer(kDelayedNotifyMs, &OnDelayed, this);
    return delayedTimerId != 0;
}

void EventTimer::Shutdown() {
    Stop(false);
    service_->Shutdown();
}

void EventTimer::OnEvent(uint32_t eventId, void* user) {
    auto* timer = static_cast<EventTimer*>(user);
    timer->tickingEvent_.store(eventId);
    if (EventTimerHandler handler = timer->tickHandler.load()) handler(timer);
}

void EventTimer::FirstTick(EventTimer* timer) {
    if (!timer->service_->RaisePriority() && !timer->priorityLogged_.exchange(true))
        LogPrintf("%s", "*event timer: the thread's priority was not raised");
    // The step routine goes in only for the event that is armed, read under the lock
    // that Stop and Start hold. A tick of an event stopped meanwhile (a pause and a new
    // play on the UI thread while this thread waited) once read the paused play's empty
    // step and put the empty routine over the new play's first tick: that play never
    // moved a frame. Now such a tick leaves the new play's first tick for its own event.
    timer->Enter();
    const uint32_t armed = timer->eventId.load();
    if (armed == 0 || armed != timer->tickingEvent_.load() || timer->tickHandler.load() != &FirstTick) {
        timer->Leave();
        return;
    }
    EventTimerHandler step = timer->stepHandler.load();
    timer->tickHandler.store(step != nullptr ? step : &EventTimerEmptyTick);
    timer->Leave();
    if (step != nullptr) step(timer);
}

void EventTimer::OnUiTimer(uintptr_t, void* user) {
    auto* timer = static_cast<EventTimer*>(user);
    if (timer->uiTickHandler != nullptr) timer->uiTickHandler(timer);
}

void EventTimer::OnDelayed(uintptr_t, void* user) {
    auto* timer = static_cast<EventTimer*>(user);
    if (timer->armedDelayedHandler != nullptr) timer->armedDelayedHandler(timer);
    if (timer->delayedTimerId != 0) {
        if (timer->service_->KillUiTimer(timer->delayedTimerId)) timer->delayedTimerId = 0;
    }
    timer->armedDelayedHandler = nullptr;
}

EventTimer& TheEventTimer() {
    static EventTimer* timer = new EventTimer;
    return *timer;
}

std::recursive_mutex& DisplayLock() { return TheEventTimer().Lock(); }

void DisplayLockEnter(EventTimer& timer) { timer.Enter(); }
void DisplayLockLeave(EventTimer& timer) { timer.Leave(); }
int DisplayLockDepth() { return tLockDepth; }

}  // namespace orva
