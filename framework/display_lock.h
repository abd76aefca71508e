#pragma once
// The global display lock: held while a device delivers data and a window
// draws it, while playback moves the frame and while an input's read kernels
// run. It belongs to the event timer of frame playback; until the playback
// subsystem provides the real timer, this small stand-in owns it.
#include <mutex>

namespace orva {

class EventTimer {
public:
    EventTimer() = default;
    EventTimer(const EventTimer&) = delete;
    EventTimer& operator=(const EventTimer&) = delete;

    // The timer's lock: re-entrant, since a delivery may draw and the drawing
    // may pull again on the same thread.
    std::recursive_mutex& Lock() { return lock_; }

    // Stops the timer; answers false when it was never started. The stand-in
    // never starts, so it only takes and leaves the lock.
    bool Stop(bool keep);
    bool Running() const { return running_; }

private:
    std::recursive_mutex lock_;
    bool running_ = false;
};

// The one global timer (built on first use, before any component needs it).
EventTimer& TheEventTimer();
// Its lock.
std::recursive_mutex& DisplayLock();

}  // namespace orva
