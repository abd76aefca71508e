#pragma once
// In-place byte reversal of 2-, 4- and 8-byte elements.
#include <cstdint>

#include "data/element_type.h"

namespace orva {

// Reverses the bytes of count contiguous elements (any alignment).
using SwapRoutine = void (*)(void* buffer, int64_t count);
// Reverses the bytes of count elements that lie stride elements apart; the
// elements in between are not touched. The contiguous forms ignore the stride.
using StridedSwapRoutine = void (*)(void* buffer, int64_t count, int64_t stride);

// The routine for a swapped type (0x80 set, wider than 8 bits); null otherwise.
SwapRoutine ByteSwapSelect(ElementType type);

// The routine for reading channelsRead of channels interleaved channels of
// elementSize bytes: contiguous when the whole pixel (or the only channel) is read,
// strided when one channel (or 0) out of several is read, null otherwise or for
// element size 0. Sizes other than 8 and 4 use the 2-byte swap.
StridedSwapRoutine CopySelect(uint32_t elementSize, uint32_t channels, uint32_t channelsRead);

// The routines themselves. A count of zero or less swaps nothing; a stride below 1
// is taken as 1.
void ByteSwap2(void* buffer, int64_t count);
void ByteSwap4(void* buffer, int64_t count);
void ByteSwap8(void* buffer, int64_t count);
void ByteSwap2Strided(void* buffer, int64_t count, int64_t stride);
void ByteSwap4Strided(void* buffer, int64_t count, int64_t stride);
void ByteSwap8Strided(void* buffer, int64_t count, int64_t stride);

}  // namespace orva
