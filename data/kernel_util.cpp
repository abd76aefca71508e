#include "data/kernel_util.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace orva::kernel {

namespace {
// Family and model as the vendors document them: the extended fields add in when the base
// family is 0Fh.
void FamilyAndModel(uint32_t signature, uint32_t& family, uint32_t& model) {
    family = (signature >> 8) & 0xF;
    model = (signature >> 4) & 0xF;
    if (family == 0xF) {
        family += (signature >> 20) & 0xFF;
        model |= ((signature >> 16) & 0xF) << 4;
    }
}
}  // namespace

bool SplitsWideVectors(const char* vendor, uint32_t signature) {
    const bool amd = std::strcmp(vendor, "AuthenticAMD") == 0;
    const bool hygon = std::strcmp(vendor, "HygonGenuine") == 0;
    uint32_t family = 0, model = 0;
    FamilyAndModel(signature, family, model);
    // Family 15h (the last of which have AVX2) splits them too.
    return (amd && (family == 0x15 || (family == 0x17 && model < 0x30))) || (hygon && family == 0x18);
}

bool SplitsVectors512(const char* vendor, uint32_t signature) {
    uint32_t family = 0, model = 0;
    FamilyAndModel(signature, family, model);
    return std::strcmp(vendor, "AuthenticAMD") == 0 && family == 0x19;
}

namespace {
std::atomic<bool> gForceBaseline{false};
std::atomic<size_t> gStreamFrom{kStreamStoreBytes};
std::atomic<bool> gForceSplit{false};
std::atomic<bool> gForceNoAvx512{false};

// The vendor name (CPUID leaf 0) and signature (EAX of leaf 1); false without them.
bool ReadProcessor(char (&vendor)[13], uint32_t& signature) {
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &c, &d) == 0) return false;
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &d, 4);
    std::memcpy(vendor + 8, &c, 4);
    vendor[12] = '\0';
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
    signature = a;
    return true;
#else
    (void)vendor;
    (void)signature;
    return false;
#endif
}

bool ProcessorSplitsWideVectors() {
    char vendor[13] = {};
    uint32_t signature = 0;
    return ReadProcessor(vendor, signature) && SplitsWideVectors(vendor, signature);
}

bool ProcessorRunsAvx512() {
#if defined(__x86_64__) || defined(__i386__)
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("avx512f")) return false;
    char vendor[13] = {};
    uint32_t signature = 0;
    return ReadProcessor(vendor, signature) && !SplitsVectors512(vendor, signature);
#else
    return false;
#endif
}
}  // namespace

bool gAsksAhead = ProcessorSplitsWideVectors();

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has && !gForceBaseline.load(std::memory_order_relaxed);
}

void ForceBaselineForTest(bool on) { gForceBaseline.store(on, std::memory_order_relaxed); }

bool CpuHasAvx512() {
    static const bool has = ProcessorRunsAvx512();
    return has && !gForceBaseline.load(std::memory_order_relaxed) &&
           !gForceNoAvx512.load(std::memory_order_relaxed);
}

void ForceNoAvx512ForTest(bool on) { gForceNoAvx512.store(on, std::memory_order_relaxed); }

bool CpuSplitsWideVectors() {
    static const bool splits = ProcessorSplitsWideVectors();
    return splits || gForceSplit.load(std::memory_order_relaxed);
}

void ForceSplitWideVectorsForTest(bool on) { gForceSplit.store(on, std::memory_order_relaxed); }

bool StreamsStores(size_t bytes) { return bytes >= gStreamFrom.load(std::memory_order_relaxed); }

void StreamStoresFromForTest(size_t bytes) { gStreamFrom.store(bytes, std::memory_order_relaxed); }

}  // namespace orva::kernel
