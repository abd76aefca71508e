#pragma once
// The processor's identity and instruction-set features, the report written to the
// log at start-up, and the speed class that tunes the read kernels.
#include <cstdint>

namespace orva {

// Bits of the processor feature word.
constexpr uint32_t kCpuIdPresent = 0x01;
constexpr uint32_t kCpuIdPresentOs = 0x02;  // also always set by the operating-system step
constexpr uint32_t kCpuMmx = 0x04;
constexpr uint32_t kCpuIntegerSse = 0x08;   // the MMX extensions
constexpr uint32_t kCpuSse = 0x10;
constexpr uint32_t kCpuSse2 = 0x20;
constexpr uint32_t kCpu3dNow = 0x40;
constexpr uint32_t kCpu3dNowExt = 0x80;

struct CpuInfo {
    char vendor[13] = {};     // "GenuineIntel", "AuthenticAMD", ...
    char modelName[32] = {};  // from the vendor tables; "Unknown" when not listed
    uint32_t family = 0;      // leaf 1 EAX bits 8-11
    uint32_t model = 0;       // leaf 1 EAX bits 4-7
    uint32_t stepping = 0;    // leaf 1 EAX bits 0-3
    uint32_t rawFeatures = 0;
    uint32_t features = 0;
    uint32_t last = 255;
};

// The processor bits from the identification leaves: `hasCpuid` false gives 0; a
// highest standard leaf of 0 gives 0x03; otherwise leaf 1 EDX (MMX bit 23, SSE bit 25,
// SSE2 bit 26) and, when the highest extended leaf is at least 0x80000001, that leaf's
// EDX (3DNow! bit 31, its extensions bit 30, MMX extensions bit 22) are mapped.
uint32_t CpuProcessorBits(bool hasCpuid, uint32_t maxLeaf, uint32_t leaf1Edx, uint32_t maxExtLeaf,
                          uint32_t ext1Edx);
// The operating system's support added to the processor bits: 0x02 always, and every
// feature the processor reports (the kernel saves the state of all of them).
uint32_t CpuAddOsBits(uint32_t processorBits);

// The feature word, detected on the first call and cached; `raw` (may be null) gets the
// raw word. Features are not verified by trial execution: every x86-64 processor runs
// MMX, SSE and SSE2, and 3DNow! is taken as the processor reports it.
uint32_t CpuFeatures(uint32_t* raw);
// The feature word, or 0 when the identification instruction cannot be used; fills the
// record when one is given.
uint32_t CpuIdentify(CpuInfo* info, uint32_t* raw);
// The model name for a vendor text, family and model ("Unknown" when not listed; an
// empty name for AMD family 5 models 4 and 5).
const char* CpuModelName(const char* vendor, uint32_t family, uint32_t model);

// Writes the processor report of this processor to the log.
void CpuReport();
// Writes the report for the given record and feature word.
void CpuReportFor(const CpuInfo& info, uint32_t features);

// The speed class 0 (slow) to 3 (fast) for the cycles a fixed workload took.
int SpeedClassFromCycles(uint64_t cycles);
// The speed class: a forced class when one is set (SetCpuSpeedClass, else the
// environment variable ORVA_CPU_SPEED_CLASS = 0..3, read once), otherwise measured.
int MeasureCpuSpeedClass();
// Forces the speed class (0..3); any other value returns to the environment or the
// measurement.
void SetCpuSpeedClass(int speedClass);

constexpr const char kCpuSpeedClassVariable[] = "ORVA_CPU_SPEED_CLASS";

}  // namespace orva
