#include "data/kernel_util.h"

#include <atomic>

namespace orva::kernel {
namespace {
std::atomic<bool> gForceBaseline{false};
}  // namespace

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has && !gForceBaseline.load(std::memory_order_relaxed);
}

void ForceBaselineForTest(bool on) { gForceBaseline.store(on, std::memory_order_relaxed); }

}  // namespace orva::kernel
