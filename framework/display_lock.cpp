#include "framework/display_lock.h"

namespace orva {

bool EventTimer::Stop(bool) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!running_) return false;
    running_ = false;
    return true;
}

EventTimer& TheEventTimer() {
    static EventTimer timer;
    return timer;
}

std::recursive_mutex& DisplayLock() { return TheEventTimer().Lock(); }

}  // namespace orva
