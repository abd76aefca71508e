#include "platform/cpu.h"

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

}  // namespace orva::platform
