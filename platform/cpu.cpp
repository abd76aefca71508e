#include "platform/cpu.h"

#include <sched.h>

#include <cstdio>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define ORVA_X86 1
#else
#define ORVA_X86 0
#endif

namespace orva::platform {

bool CpuIdAvailable() {
#if ORVA_X86
    return __get_cpuid_max(0, nullptr) != 0;
#else
    return false;
#endif
}

bool CpuIdQuery(uint32_t leaf, CpuIdRegs* regs) {
    if (regs == nullptr) return false;
    *regs = CpuIdRegs{};
#if ORVA_X86
    unsigned a = 0, b = 0, c = 0, d = 0;
    // __get_cpuid checks the leaf against the highest leaf of its range first.
    if (__get_cpuid(leaf, &a, &b, &c, &d) == 0) return false;
    regs->eax = a;
    regs->ebx = b;
    regs->ecx = c;
    regs->edx = d;
    return true;
#else
    (void)leaf;
    return false;
#endif
}

uint64_t ReadTimeStampCounter() {
#if ORVA_X86
    return __rdtsc();
#else
    return 0;
#endif
}

int UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
}

int IdleProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 0;
    const int processors = CPU_COUNT(&set);
    // The fourth field of the load line: runnable threads / all threads.
    std::FILE* f = std::fopen("/proc/loadavg", "r");
    if (f == nullptr) return 0;
    double averages[3];
    int running = 0, total = 0;
    const int fields = std::fscanf(f, "%lf %lf %lf %d/%d", &averages[0], &averages[1], &averages[2], &running, &total);
    std::fclose(f);
    if (fields != 5 || running < 1) return 0;
    return processors > running ? processors - running : 0;
}

}  // namespace orva::platform
