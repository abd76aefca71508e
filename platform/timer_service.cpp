#include "platform/timer_service.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <system_error>

#include "platform/clock.h"
#include "platform/msg_queue.h"

namespace orva::platform {

namespace {

constexpr int64_t kNsPerMs = 1000000;
// The longest single sleep: a disarmed or ending timer notices within it.
constexpr int64_t kSliceNs = 20 * kNsPerMs;

void SleepToAbsolute(int64_t ns) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

}  // namespace

ThreadTimerService::~ThreadTimerService() { Shutdown(); }

bool ThreadTimerService::GetDevCaps(TimerCaps* caps) {
    struct timespec res;
    if (caps == nullptr || ::clock_getres(CLOCK_MONOTONIC, &res) != 0) return false;
    const int64_t ns = static_cast<int64_t>(res.tv_sec) * 1000000000 + res.tv_nsec;
    caps->periodMin = static_cast<uint32_t>(std::max<int64_t>(1, (ns + kNsPerMs - 1) / kNsPerMs));
    caps->periodMax = 1000000;
    return true;
}

uint32_t ThreadTimerService::SetEvent(uint32_t delay, uint32_t, TimerEventFn fn, void* user) {
    if (delay == 0 || fn == nullptr) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    if (quit_.load() || armed_) return 0;
    if (!started_.load()) {
        try {
            thread_ = std::thread(&ThreadTimerService::Run, this);
        } catch (const std::system_error&) {
            return 0;
        }
        started_.store(true);
    }
    if (++nextId_ == 0) nextId_ = 1;
    armed_ = true;
    armedId_ = nextId_;
    period_ = delay;
    fn_ = fn;
    user_ = user;
    generation_.fetch_add(1);
    wake_.notify_all();
    return armedId_;
}

bool ThreadTimerService::KillEvent(uint32_t eventId) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!armed_ || eventId == 0 || eventId != armedId_) return false;
    armed_ = false;
    armedId_ = 0;
    fn_ = nullptr;
    user_ = nullptr;
    generation_.fetch_add(1);
    return true;
}

uint32_t ThreadTimerService::GetTime() { return static_cast<uint32_t>(MonotonicNs() / kNsPerMs); }

bool ThreadTimerService::RaisePriority() {
    // Once per thread: every play's first tick asks again.
    if (raised_.load()) return true;
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, tid);
    if (nice == -1 && errno != 0) return false;
    if (::setpriority(PRIO_PROCESS, tid, nice - 1) != 0) return false;
    raised_.store(true);
    return true;
}

uintptr_t ThreadTimerService::SetUiTimer(uint32_t milliseconds, UiTimerFn fn, void* user) {
    return SetTimer(nullptr, 0, milliseconds, fn, user);
}

bool ThreadTimerService::KillUiTimer(uintptr_t id) { return id != 0 && KillTimer(nullptr, id); }

void ThreadTimerService::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_.store(true);
        armed_ = false;
        generation_.fetch_add(1);
        wake_.notify_all();
    }
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    // The thread may be blocked in a send to this thread: fail such sends until it ends.
    while (!exited_.load()) {
        FailPendingSentMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    thread_.join();
}

bool ThreadTimerService::Reopen() {
    std::lock_guard<std::mutex> lock(mutex_);
    // Only after an end that joined its thread (or had none to join).
    if (!quit_.load() || thread_.joinable()) return false;
    quit_.store(false);
    exited_.store(false);
    started_.store(false);
    raised_.store(false);
    armed_ = false;
    return true;
}

void ThreadTimerService::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_.load() || (armed_ && generation_.load() != served_); });
        if (quit_.load()) break;
        const uint64_t generation = generation_.load();
        served_ = generation;
        const uint32_t id = armedId_, period = period_;
        TimerEventFn fn = fn_;
        void* user = user_;
        lock.unlock();
        RunEvent(generation, id, period, fn, user);
        lock.lock();
    }
    exited_.store(true);
}

bool ThreadTimerService::SleepUntil(int64_t deadline, uint64_t generation) {
    for (;;) {
        if (generation_.load() != generation) return false;
        const int64_t now = MonotonicNs();
        if (now >= deadline) return true;
        SleepToAbsolute(std::min(deadline, now + kSliceNs));
    }
}

void ThreadTimerService::RunEvent(uint64_t generation, uint32_t id, uint32_t period, TimerEventFn fn, void* user) {
    const int64_t periodNs = static_cast<int64_t>(period) * kNsPerMs;
    int64_t next = MonotonicNs() + periodNs;
    for (;;) {
        if (!SleepUntil(next, generation)) return;
        // Checked after the sleep, right before the routine: a disarmed event runs no more.
        if (generation_.load() != generation) return;
        fn(id, user);
        next += periodNs;
        // A tick late by more than one period starts a new grid from now instead of
        // running the missed ticks in a burst: those frames are dropped. A tick late by
        // less runs at once and the grid stays: a routine that now and then takes a little
        // longer than a period (a frame drawn on a busy machine) once lost a whole period
        // each time, and the pace fell well below the one asked although the machine
        // kept up with it on the whole.
        const int64_t now = MonotonicNs();
        if (now > next + periodNs) next = now + periodNs;
    }
}

ThreadTimerService& TheTimerService() {
    static ThreadTimerService* service = new ThreadTimerService;
    return *service;
}

}  // namespace orva::platform
