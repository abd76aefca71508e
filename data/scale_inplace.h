#pragma once
// In-place scaling with saturation, and packing of 64-bit reals into integers in
// the same buffer.
#include <cstdint>

#include "data/element_type.h"

namespace orva {

// Rewrites each element x of the buffer (machine byte order, any alignment) as
// x * scale + zero in its own type. A count of zero or less does nothing.
//  - integers: truncated toward zero (mode 1) or rounded to nearest with halves
//    away from zero (any other mode), saturated at the type's bounds; NaN gives 0;
//  - 64-bit reals: -DBL_MAX (no value) is left alone; a result that overflows is
//    stored as +-DBL_MAX; NaN stays NaN;
//  - 32-bit reals: computed in double, clamped to +-FLT_MAX; NaN stays NaN.
using ScaleInPlaceKernel = void (*)(void* buffer, int32_t count, const ScaleZero& params);

// Turns count 64-bit reals at the start of buffer into count packed integers
// written from the start of the same buffer (rounded, halves away from zero,
// saturated, NaN gives 0). The bytes beyond the packed integers keep what they held.
using PackKernel = void (*)(void* buffer, int32_t count, const void* unused);

constexpr int kRoundTruncate = 1;  // any other rounding mode rounds to nearest

// The scaling kernel for a type and rounding mode; null when params is the
// identity (nothing to scale) or the type has no kernel (24-bit, unknown words).
ScaleInPlaceKernel ScaleInPlaceSelect(const ScaleZero& params, ElementType type, int mode);

// The pack kernel for an integer type (rounding modes only); null for mode 1,
// for real types and for types without a kernel. The scale is not looked at.
PackKernel ScaleInPlaceSelectAlt(ElementType type, int mode);

}  // namespace orva
