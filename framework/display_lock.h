#pragma once
// The event timer of frame playback and the display lock it owns.
//
// The display lock is held while a device delivers data and a window draws it, while
// playback moves the frame, while a port rebuilds its consumers and while an input's
// read kernels run. It is re-entrant: the thread that holds it may enter again and
// leaves as often as it entered.
//
// The timer ticks on the timer thread of platform/timer_service.h. Playback runs its
// frame step there; the step never draws: it sends the view window a message and
// waits while the UI thread draws. Every field the timer thread reads or writes is a
// std::atomic, changed by exchange. The playback routines (views/) are handed in as
// function pointers, and the view window and the transport widgets are held as opaque
// pointers, since this layer sees neither the toolkit nor the views.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/msg_types.h"

namespace orva {

namespace platform {
class TimerService;
}

class ComponentBase;
class PortList;
class EventTimer;

using EventTimerHandler = void (*)(EventTimer* timer);
using EventTimerControl = void (*)(EventTimer* timer, int32_t code);

// The frame period a new timer starts with and the shortest period of the readout
// timer on the UI thread (ms); the delay of the one-shot call.
constexpr uint32_t kDefaultFramePeriod = 50;
constexpr uint32_t kUiTimerMinPeriod = 200;
constexpr uint32_t kDelayedNotifyMs = 5000;

class EventTimerBase {
public:
    virtual ~EventTimerBase() = default;
    virtual bool Start() = 0;
    virtual bool Stop(bool keep) = 0;
};

class EventTimer final : public EventTimerBase {
public:
    // Works through the timer service (null: the process's thread timer). Sets the
    // saved playback settings (frame period 50, flags 0x20, frames per second); a
    // failed capability query or lock set-up is logged and leaves the timer unusable.
    // A timer given `lockOf` uses that timer's lock instead of one of its own (tests
    // run a timer of their own on the display lock).
    explicit EventTimer(platform::TimerService* service = nullptr, EventTimer* lockOf = nullptr);
    ~EventTimer() override;
    EventTimer(const EventTimer&) = delete;
    EventTimer& operator=(const EventTimer&) = delete;

    // Starts the periodic event with `period` (UI thread; nothing else runs the
    // timer meanwhile). False when unusable, already running, or when the service
    // refuses: the handler block is then cleared.
    bool Start() override;
    // keep: pause (owner and port are remembered); else end playback. Takes the
    // display lock; only disarms, never waits for a tick in progress. False when
    // unusable, or when nothing runs and nothing is paused (without keep).
    bool Stop(bool keep) override;
    // A new tick period while the event runs (the played data's frame rate changed): the
    // event goes on at that pace and the rate measurement starts again. False when
    // nothing runs, the period is 0 or unchanged, or the new pace cannot be set (the old
    // one then goes on; when neither can, playback ends as with Stop(false)).
    bool SetPeriod(uint32_t newPeriod);
    // Arms the one-shot call of delayedHandler 5000 ms from now; false when one is
    // pending, nothing plays, no handler is set or the timer cannot be set.
    bool StartDelayedNotify();
    // The end of the program: Stop(false), then the timer thread is joined.
    void Shutdown();
    // Clears what a full stop clears (handlers, widgets, the pause and its saved
    // pointers): the end of a paused playback, which Stop(false) leaves as it is.
    void ForgetPlayback();

    // The display lock. Enter and Leave keep the calling thread's depth count
    // (DisplayLockDepth) in step.
    std::recursive_mutex& Lock() { return *lock_; }
    void Enter();
    void Leave();

    bool Running() const { return eventId.load() != 0; }
    platform::TimerService& Service() { return *service_; }

    // Fields in the order of the record. The block tickHandler .. savedPort is what a
    // failed Start clears, uiTickHandler .. savedPort what a full Stop clears.
    uint8_t lockValid = 0;
    std::atomic<EventTimerHandler> tickHandler{nullptr};
    std::atomic<void*> view{nullptr};                 // the toolkit window of the frames
    std::atomic<platform::Hwnd> viewHwnd{nullptr};    // receives 0x501 and 0x502
    std::atomic<ComponentBase*> owner{nullptr};       // the display (or workspace) played
    std::atomic<PortList*> port{nullptr};             // whose FramePlayer is stepped
    std::atomic<uint32_t> tickCount{0};
    std::atomic<uint32_t> startTime{0};               // ms of GetTime
    std::atomic<uint32_t> lastTickTime{0};
    std::atomic<int32_t> lastRateValue{0};            // -1: the next readout redraws
    std::atomic<EventTimerHandler> stepHandler{nullptr};
    EventTimerHandler uiTickHandler = nullptr;        // UI thread, at most every 200 ms
    void* playButton = nullptr;                       // the transport widgets
    void* frameText = nullptr;
    void* progressBar = nullptr;
    void* rateText = nullptr;
    EventTimerControl controlHandler = nullptr;
    EventTimerHandler armedDelayedHandler = nullptr;
    EventTimerHandler delayedHandler = nullptr;
    uint8_t paused = 0;
    ComponentBase* savedOwner = nullptr;
    PortList* savedPort = nullptr;
    int32_t ready = 1;
    std::atomic<uint32_t> eventId{0};
    uint32_t period = kDefaultFramePeriod;
    uintptr_t uiTimerId = 0;
    uintptr_t delayedTimerId = 0;

private:
    static void OnEvent(uint32_t eventId, void* user);
    static void OnUiTimer(uintptr_t id, void* user);
    static void OnDelayed(uintptr_t id, void* user);
    static void FirstTick(EventTimer* timer);
    void ClearStartBlock();
    // The port part of Stop: paused with the port remembered (keep), or forgotten.
    void DropPort(bool keep);

    platform::TimerService* service_;
    // The event whose tick runs now (timer thread): a first tick installs the step
    // routine only for the event that is armed.
    std::atomic<uint32_t> tickingEvent_{0};
    std::recursive_mutex ownLock_;
    std::recursive_mutex* lock_;
    std::atomic<bool> priorityLogged_{false};
};

// The routine Stop installs: a tick that does nothing.
void EventTimerEmptyTick(EventTimer* timer);

// The one global timer, made on first use (the start-up makes it early) and never
// destroyed, so that devices may take its lock at any time; the program ends it with
// Shutdown.
EventTimer& TheEventTimer();
// Its lock.
std::recursive_mutex& DisplayLock();

// The display lock taken in matched pairs across functions (the global timer's unless
// one is given), with the calling thread's depth count; tests check that it is 0 when
// they end.
void DisplayLockEnter(EventTimer& timer = TheEventTimer());
void DisplayLockLeave(EventTimer& timer = TheEventTimer());
int DisplayLockDepth();

class DisplayLockGuard {
public:
    explicit DisplayLockGuard(EventTimer& timer = TheEventTimer()) : timer_(timer) { timer_.Enter(); }
    ~DisplayLockGuard() { timer_.Leave(); }
    DisplayLockGuard(const DisplayLockGuard&) = delete;
    DisplayLockGuard& operator=(const DisplayLockGuard&) = delete;

private:
    EventTimer& timer_;
};

}  // namespace orva
