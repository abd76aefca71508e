#include "platform/clock.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

namespace orva::platform {

int64_t MonotonicNs() {
    struct timespec ts;
    if (::clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

uint64_t ThreadCpuTime100ns() {
    struct timespec ts;
    if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return 0;
    return static_cast<uint64_t>(ts.tv_sec) * 10000000u + static_cast<uint64_t>(ts.tv_nsec) / 100u;
}

uint64_t CurrentThreadId() { return static_cast<uint64_t>(::syscall(SYS_gettid)); }

}  // namespace orva::platform
