#pragma once
// The output writer's conversion of one run of pulled values in a single pass:
// the range of the finite values is folded into a pair, each value is scaled into
// stored units (stored = value * scale + zero; -DBL_MAX, the missing value, is
// kept, overflow becomes +-DBL_MAX) and packed into an integer type with rounding
// (halves away from zero) or truncation, saturated at the type's bounds (NaN
// gives 0), in the machine's byte order or reversed. Element for element the same
// results as the in-place scaling and pack kernels applied one after the other.
#include <cstdint>

#include "data/element_type.h"
#include "data/minmax.h"

namespace orva {

// The range folds only finite values other than -DBL_MAX: a missing value is
// packed as the type's lowest value and says nothing of the data's range.
// `in` and `out` must not overlap; a count of zero or less does nothing.
using OutputPackFn = void (*)(const double* in, unsigned char* out, int32_t count, double scale,
                              double zero, MinMaxPair* pair);

// The kernel for an integer type (0x80 selects reversed byte order) and rounding
// mode (1 truncates, any other rounds); null for real types and unknown words.
OutputPackFn SelectOutputPack(ElementType type, int mode);

// 64-bit reals narrowed to 32-bit reals exactly as the plain conversion of the data
// kernels does (bounded at +-FLT_MAX, NaN kept, rounded to nearest), in the machine's
// byte order or reversed. `in` and `out` must not overlap.
void PackReal32(const double* in, unsigned char* out, int32_t count, bool swap);
// The same in one pass with the range of the values folded into the pair as the
// integer kernels fold it (finite values other than -DBL_MAX).
void PackReal32Scan(const double* in, unsigned char* out, int32_t count, bool swap, MinMaxPair* pair);

// Folds the finite values other than -DBL_MAX into the pair.
void ScanSkippingMissing(const double* in, int32_t count, MinMaxPair* pair);

}  // namespace orva
