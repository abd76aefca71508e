#pragma once
// Clocks and the calling thread's identity.
#include <cstdint>

namespace orva::platform {

// A monotonic clock in nanoseconds (CLOCK_MONOTONIC); its origin is arbitrary.
int64_t MonotonicNs();
// The processor time the calling thread has used, in 100-ns units.
uint64_t ThreadCpuTime100ns();
// The kernel's id of the calling thread (distinct among live threads of all processes).
uint64_t CurrentThreadId();

}  // namespace orva::platform
