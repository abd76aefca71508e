#include "common/cpu_info.h"

#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/log.h"
#include "platform/cpu.h"

namespace orva {

namespace {

constexpr uint32_t kLeaf1EdxMmx = 1u << 23;
constexpr uint32_t kLeaf1EdxSse = 1u << 25;
constexpr uint32_t kLeaf1EdxSse2 = 1u << 26;
constexpr uint32_t kExtEdxMmxExt = 1u << 22;
constexpr uint32_t kExtEdx3dNowExt = 1u << 30;
constexpr uint32_t kExtEdx3dNow = 1u << 31;

struct FeatureWords {
    uint32_t features = 0;
    uint32_t raw = 0;
};

FeatureWords DetectFeatures() {
    bool has = platform::CpuIdAvailable();
    platform::CpuIdRegs leaf0, leaf1, ext0, ext1;
    if (has) {
        platform::CpuIdQuery(0, &leaf0);
        platform::CpuIdQuery(1, &leaf1);
        platform::CpuIdQuery(0x80000000u, &ext0);
        platform::CpuIdQuery(0x80000001u, &ext1);
    }
    uint32_t bits = CpuProcessorBits(has, leaf0.eax, leaf1.edx, ext0.eax, ext1.edx);
    FeatureWords w;
    w.raw = CpuAddOsBits(bits);
    // Trial execution is not needed: the kernel enables every feature the processor
    // reports, and the processor word is trusted as it stands.
    w.features = w.raw;
    return w;
}

const FeatureWords& Features() {
    static const FeatureWords words = DetectFeatures();
    return words;
}

}  // namespace

uint32_t CpuProcessorBits(bool hasCpuid, uint32_t maxLeaf, uint32_t leaf1Edx, uint32_t maxExtLeaf,
                          uint32_t ext1Edx) {
    if (!hasCpuid) return 0;
    uint32_t bits = kCpuIdPresent | kCpuIdPresentOs;
    if (maxLeaf == 0) return bits;
    if (leaf1Edx & kLeaf1EdxMmx) bits |= kCpuMmx;
    if (leaf1Edx & kLeaf1EdxSse) bits |= kCpuIntegerSse | kCpuSse;
    if (leaf1Edx & kLeaf1EdxSse2) bits |= kCpuSse2;
    if (maxExtLeaf >= 0x80000001u) {
        if (ext1Edx & kExtEdx3dNow) bits |= kCpu3dNow;
        if (ext1Edx & kExtEdx3dNowExt) bits |= kCpu3dNowExt;
        if (ext1Edx & kExtEdxMmxExt) bits |= kCpuIntegerSse;
    }
    return bits;
}

uint32_t CpuAddOsBits(uint32_t bits) {
    uint32_t os = kCpuIdPresentOs;
    if (bits & kCpuMmx) os |= kCpuIdPresentOs | kCpuMmx;
    if (bits & kCpuSse) os |= kCpuIntegerSse | kCpuSse;
    if (bits & kCpuSse2) os |= kCpuSse2;
    if (bits & kCpu3dNow) os |= kCpu3dNow;
    return bits | os;
}

uint32_t CpuFeatures(uint32_t* raw) {
    const FeatureWords& w = Features();
    if (raw) *raw = w.raw;
    return w.features;
}

const char* CpuModelName(const char* vendor, uint32_t family, uint32_t model) {
    if (vendor == nullptr) return "Unknown";
    if (std::strcmp(vendor, "AuthenticAMD") == 0) {
        switch (family) {
            case 4:
                return "AMD Am486";
            case 5:
                if (model <= 3) return "AMD K5";
                if (model <= 5) return "";
                if (model <= 7) return "AMD K6";
                if (model == 8) return "AMD K6-2";
                return "AMD K6-3";  // models 9 to 15
            case 6:
            case 7:
                return "AMD ATHLON or higher";
            default:
                return "Unknown";
        }
    }
    if (std::strcmp(vendor, "GenuineIntel") == 0) {
        switch (family) {
            case 4:
                switch (model) {
                    case 0:
                    case 1:
                        return "INTEL 486DX";
                    case 2:
                        return "INTEL 486SX";
                    case 3:
                        return "INTEL 486DX2";
                    case 4:
                        return "INTEL 486SL";
                    case 5:
                        return "INTEL 486SX2";
                    case 7:
                        return "INTEL 486DX2E";
                    case 8:
                        return "INTEL 486DX4";
                    default:
                        return "Unknown";
                }
            case 5:
                if (model >= 1 && model <= 3) return "INTEL Pentium";
                if (model == 4) return "INTEL Pentium-MMX";
                return "Unknown";
            case 6:
                switch (model) {
                    case 1:
                        return "INTEL Pentium-Pro";
                    case 3:
                    case 5:
                        return "INTEL Pentium-II";
                    case 6:
                        return "INTEL Celeron";
                    case 7:
                        return "INTEL Pentium-III";
                    default:
                        return "Unknown";
                }
            case 15:
                if (model == 1 || model == 2) return "INTEL Pentium-4";
                if (model == 3) return "INTEL Pentium-4-G";
                return "Unknown";
            default:
                return "Unknown";
        }
    }
    return "Unknown";
}

uint32_t CpuIdentify(CpuInfo* info, uint32_t* raw) {
    uint32_t rawWord = 0;
    uint32_t features = CpuFeatures(&rawWord);
    if (raw) *raw = rawWord;
    if (info) *info = CpuInfo{};
    if (!(features & kCpuIdPresent)) return 0;
    if (info == nullptr) return features;
    platform::CpuIdRegs leaf0, leaf1;
    platform::CpuIdQuery(0, &leaf0);
    // The vendor text is EBX, EDX, ECX of leaf 0.
    std::memcpy(info->vendor + 0, &leaf0.ebx, 4);
    std::memcpy(info->vendor + 4, &leaf0.edx, 4);
    std::memcpy(info->vendor + 8, &leaf0.ecx, 4);
    info->vendor[12] = '\0';
    if (leaf0.eax >= 1) platform::CpuIdQuery(1, &leaf1);
    info->family = (leaf1.eax >> 8) & 0xF;
    info->model = (leaf1.eax >> 4) & 0xF;
    info->stepping = leaf1.eax & 0xF;
    const char* name = CpuModelName(info->vendor, info->family, info->model);
    std::strncpy(info->modelName, name, sizeof info->modelName - 1);
    info->rawFeatures = rawWord;
    info->features = features;
    info->last = 255;
    return features;
}

void CpuReportFor(const CpuInfo& info, uint32_t features) {
    auto yn = [features](uint32_t bit) { return (features & bit) ? 'Y' : 'N'; };
    if (info.vendor[0] != '\0') LogPrintf("Vendor Name: %s", info.vendor);
    if (info.modelName[0] != '\0')
        LogPrintf("CPU Model: %s, Model %d, Stepping %d", info.modelName,
                  static_cast<int>(info.model), static_cast<int>(info.stepping));
    LogPrintf("%s", "OS Support for:");
    LogPrintf("MMX: %c", yn(kCpuMmx));
    if (!(features & kCpuSse)) LogPrintf("INT SSE: %c", yn(kCpuIntegerSse));
    LogPrintf("SSE: %c", yn(kCpuSse));
    LogPrintf("SSE2: %c", yn(kCpuSse2));
    if (features & kCpu3dNow) LogPrintf("%s", "3DNow: Y");
    if (features & kCpu3dNowExt) LogPrintf("%s", "3DNow Ext.: Y");
    LogPrintf("%s", "-----------");
}

void CpuReport() {
    CpuInfo info;
    uint32_t features = CpuIdentify(&info, nullptr);
    if (features == 0) features = CpuFeatures(nullptr);
    CpuReportFor(info, features);
}

// ---- Speed class ------------------------------------------------------------------------

int SpeedClassFromCycles(uint64_t cycles) {
    if (cycles >= (uint64_t{1} << 32)) return 0;
    if (cycles < 60000) return 3;
    if (cycles <= 240000) return 2;
    if (cycles <= 960000) return 1;
    return 0;
}

namespace {

std::atomic<int> gForcedSpeedClass{-1};

int EnvironmentSpeedClass() {
    static const int fromEnv = [] {
        const char* value = std::getenv(kCpuSpeedClassVariable);
        if (value == nullptr || value[0] < '0' || value[0] > '3' || value[1] != '\0') return -1;
        return value[0] - '0';
    }();
    return fromEnv;
}

// 256 steps of square root, sine and cosine over a table. False when the floating-point
// status shows that the workload went wrong.
bool SpeedWorkload() {
    static double table[256];
    volatile double seed = 0.5;
    for (int i = 0; i < 256; ++i) table[i] = seed + i * 0.03125;
    std::feclearexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    double sum = 0.0;
    for (int i = 0; i < 256; ++i) {
        double v = table[i];
        table[i] = std::sqrt(v) + std::sin(v) * std::cos(v);
        sum += table[i];
    }
    volatile double sink = sum;
    (void)sink;
    return std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW) == 0 && std::isfinite(sum);
}

}  // namespace

int MeasureCpuSpeedClass() {
    int forced = gForcedSpeedClass.load();
    if (forced >= 0) return forced;
    int fromEnv = EnvironmentSpeedClass();
    if (fromEnv >= 0) return fromEnv;
    uint64_t start = platform::ReadTimeStampCounter();
    __asm__ volatile("" ::: "memory");
    bool ok = SpeedWorkload();
    __asm__ volatile("" ::: "memory");
    uint64_t end = platform::ReadTimeStampCounter();
    if (!ok) return 1;
    return SpeedClassFromCycles(end > start ? end - start : 0);
}

void SetCpuSpeedClass(int speedClass) {
    gForcedSpeedClass.store(speedClass >= 0 && speedClass <= 3 ? speedClass : -1);
}

}  // namespace orva
