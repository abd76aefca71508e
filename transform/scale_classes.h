#pragma once
// The catalogue of value scaling classes: for each, the kernel per data format,
// its key in settings sections, its title and formula text, which of Value1 …
// Value4 it uses and their defaults.
#include <cstdint>

#include "transform/scale_kernels.h"

namespace orva {

// The four class values, as kept per class.
struct ScaleClassValues {
    double value1 = 0.0;
    double value2 = 0.0;
    uint32_t value3 = 0;
    uint32_t value4 = 0;
};

// Which values a class uses (a row's flags word).
constexpr uint32_t kScaleUsesValue1 = 1;
constexpr uint32_t kScaleUsesValue2 = 2;
constexpr uint32_t kScaleUsesValue3 = 4;
constexpr uint32_t kScaleUsesValue4 = 8;

// A kernel and the element types (AND 0x50) it reads and writes.
struct ScaleKernelPair {
    ScaleKernel kernel;
    uint32_t input;
    uint32_t output;
};

struct ScaleClassDesc {
    const ScaleKernelPair* kernels;  // ended by {nullptr, 0, 0}
    const char* key;                 // "SCClass" value
    const char* title;
    const char* formula;
    uint32_t flags;
    ScaleClassValues defaults;
};

// Catalogues hold at most this many classes.
constexpr int kMaxScaleClasses = 256;

// The number of classes, and the row at a list index (nullptr outside the list).
int ScaleClassCount();
const ScaleClassDesc* ScaleClassAt(int index);
// The list index of the first class whose key begins with `text` (`length`
// characters, compared case-sensitively), or −1. An empty text matches nothing.
int FindScaleClass(const char* text, size_t length);
// The kernel of a row for the given element types (each AND 0x50), or nullptr.
ScaleKernel ScaleClassKernel(const ScaleClassDesc* row, uint32_t input, uint32_t output);

}  // namespace orva
