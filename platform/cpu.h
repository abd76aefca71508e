#pragma once
// The processor's identification instruction and time-stamp counter, and how busy the
// processors are.
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

// How many processors this process may run on (its affinity); 0 when that cannot be read.
int UsableProcessors();

// How many of the processors this process may run on are free at this moment: their
// count less the system's runnable threads (the caller among them); 0 when either cannot
// be read. A snapshot, for choosing whether work is worth a thread of its own.
int IdleProcessors();

}  // namespace orva::platform
