#include "data/kernel_util.h"

#include <atomic>

namespace orva::kernel {
namespace {
std::atomic<bool> gForceBaseline{false};
std::atomic<size_t> gStreamFrom{kStreamStoreBytes};
}  // namespace

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has && !gForceBaseline.load(std::memory_order_relaxed);
}

void ForceBaselineForTest(bool on) { gForceBaseline.store(on, std::memory_order_relaxed); }

bool StreamsStores(size_t bytes) { return bytes >= gStreamFrom.load(std::memory_order_relaxed); }

void StreamStoresFromForTest(size_t bytes) { gStreamFrom.store(bytes, std::memory_order_relaxed); }

}  // namespace orva::kernel
