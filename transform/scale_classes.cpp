#include "transform/scale_classes.h"

#include <cstring>

#include "data/element_type.h"

namespace orva {

namespace {

// Every class reads and writes 64-bit reals.
constexpr ScaleKernelPair kRange[] = {{ScaleKernelRange, kTypeF64, kTypeF64}, {nullptr, 0, 0}};
constexpr ScaleKernelPair kPow[] = {{ScaleKernelPow, kTypeF64, kTypeF64}, {nullptr, 0, 0}};
constexpr ScaleKernelPair kLog[] = {{ScaleKernelLog, kTypeF64, kTypeF64}, {nullptr, 0, 0}};
constexpr ScaleKernelPair kExp[] = {{ScaleKernelExp, kTypeF64, kTypeF64}, {nullptr, 0, 0}};
constexpr ScaleKernelPair kBitsShift[] = {{ScaleKernelBitsShift, kTypeF64, kTypeF64}, {nullptr, 0, 0}};
constexpr ScaleKernelPair kByteSwap[] = {{ScaleKernelByteSwap, kTypeF64, kTypeF64}, {nullptr, 0, 0}};
constexpr ScaleKernelPair kPalette[] = {{ScaleKernelPalette, kTypeF64, kTypeF64}, {nullptr, 0, 0}};
constexpr ScaleKernelPair kGammaPalette[] = {{ScaleKernelGammaPalette, kTypeF64, kTypeF64}, {nullptr, 0, 0}};
constexpr ScaleKernelPair kBox[] = {{ScaleKernelBox, kTypeF64, kTypeF64}, {nullptr, 0, 0}};

// Value3 is 2 and Value4 0xFF in every row.
constexpr ScaleClassDesc kScaleClasses[] = {
    {kRange, "range", "Range", "(DATA - Min) / (Max - Min)", 0x0, {1.0, 1.0, 2, 0xFF}},
    {kPow, "pow", "Power function", "Pow( Range, V2 )", 0x2, {1.0, 0.5, 2, 0xFF}},
    {kLog, "log", "Logarithmic function", "V1 * Log( V2 * Range )", 0x3, {0.7, 24.0, 2, 0xFF}},
    {kExp, "exp", "Exponent function", "V1 * ( Exp( V2 * Range ) - 1 )", 0x3, {0.01, 9.14, 2, 0xFF}},
    {kBitsShift, "bitsshift", "BitsShift", "V1 * BitsShift( V2 * Range )", 0xF, {1.0, 1.0, 2, 0xFF}},
    {kByteSwap, "bytewap", "ByteSwap", "Converts data to UINT and byteswap", 0x3, {1.0, 0.1, 2, 0xFF}},
    {kPalette, "palette", "Palette", "V1 * Palette - V2", 0x3, {1.0, 0.0, 2, 0xFF}},
    {kGammaPalette, "gammapal", "Gamma Palette", "V1 * Palette( gamma = V2)", 0x3, {1.0, 1.0, 2, 0xFF}},
    {kBox, "box", "Box", "Box: data = V1", 0x1, {1.0, 1.0, 2, 0xFF}},
};

constexpr int kScaleClassCount = static_cast<int>(sizeof kScaleClasses / sizeof kScaleClasses[0]);
static_assert(kScaleClassCount <= kMaxScaleClasses);

}  // namespace

int ScaleClassCount() { return kScaleClassCount; }

const ScaleClassDesc* ScaleClassAt(int index) {
    return index >= 0 && index < kScaleClassCount ? &kScaleClasses[index] : nullptr;
}

int FindScaleClass(const char* text, size_t length) {
    if (text == nullptr || length == 0) return -1;
    for (int i = 0; i < kScaleClassCount; ++i) {
        const char* key = kScaleClasses[i].key;
        if (std::strlen(key) >= length && std::strncmp(key, text, length) == 0) return i;
    }
    return -1;
}

ScaleKernel ScaleClassKernel(const ScaleClassDesc* row, uint32_t input, uint32_t output) {
    if (row == nullptr) return nullptr;
    for (const ScaleKernelPair* p = row->kernels; p->kernel != nullptr; ++p) {
        if (p->input == input && p->output == output) return p->kernel;
    }
    return nullptr;
}

}  // namespace orva
