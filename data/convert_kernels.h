#pragma once
// The conversion kernels: one per (input type, output type, byte order of the
// input, scaled or plain), for the ten plain element types.
//
// What every kernel computes, element by element:
//  - the input is read as its type (swapped input has its bytes reversed first);
//  - plain kernels use y = x, scaled kernels y = x * scale + zero in double
//    precision, except that a 64-bit real input equal to -DBL_MAX (the "no value"
//    mark) is not scaled;
//  - with the special-values flag set, the kernels that honour it turn a denormal
//    real input into 0 and an infinite or NaN input into the highest (sign clear)
//    or lowest (sign set) value of the output type. Kernels from 32-bit reals
//    honour it for every output; from 64-bit reals for f64, i64, u64, u32, u16, u8;
//  - y is written as the output type: integers are truncated toward zero and
//    saturated at the type's bounds (NaN gives 0); 32-bit reals are clamped to
//    +-FLT_MAX; a scaled 64-bit real that overflows is stored as +-DBL_MAX;
//  - plain integer-to-integer kernels copy a value that fits and otherwise give the
//    nearest bound; plain integer-to-real kernels give the nearest real; same-type
//    plain kernels copy (reversing the bytes of swapped input).
#include <cstdint>

#include "data/element_type.h"

namespace orva {

// Converts count elements from source into destination (any alignment; the
// buffers must not overlap). A count of zero or less does nothing.
using DConvKernel = void (*)(const void* source, void* destination, int32_t count,
                             const ScaleZero& params);

// A row of a conversion table: {input type, scaled kernel, plain kernel}.
struct DConvRow {
    ElementType input;
    DConvKernel scaled;
    DConvKernel plain;
};

constexpr int kConvertOutputs = 10;  // the outputs, in the order of kPlainTypes
constexpr int kConvertRows = 12;     // default row, ten input rows, end row

// kConvertTables[output index][0 native, 1 swapped][row]. Row 0 is the default row
// {0, default kernel, default kernel}; rows 1..10 are the inputs 0x01, 0x101, 0x02,
// 0x102, 0x08, 0x108, 0x20, 0x120, 0x10, 0x40 (with 0x80 added in the swapped
// table, whose 8-bit rows hold the native kernels); row 11 is the end row {0}.
extern const DConvRow kConvertTables[kConvertOutputs][2][kConvertRows];

// Index of a plain output type in kPlainTypes, or -1.
int ConvertOutputIndex(ElementType output);

// Fills destination with count values 1 of the output width (1.0 for reals).
DConvKernel ConvertDefaultKernel(ElementType output);

// The kernel that does nothing.
void ConvertNothing(const void* source, void* destination, int32_t count, const ScaleZero& params);

}  // namespace orva
