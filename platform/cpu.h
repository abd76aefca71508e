#pragma once
// The processor's identification instruction and time-stamp counter.
#include <cstdint>

namespace orva::platform {

struct CpuIdRegs {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// True when the processor has an identification instruction (always on x86-64).
bool CpuIdAvailable();
// Runs the identification instruction for a leaf (sub-leaf 0). False, with zeroed
// registers, when the leaf lies beyond the highest leaf of its range or there is no
// such instruction.
bool CpuIdQuery(uint32_t leaf, CpuIdRegs* regs);
// The time-stamp counter; 0 on processors without one.
uint64_t ReadTimeStampCounter();

}  // namespace orva::platform
