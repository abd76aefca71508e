#pragma once
// Heap blocks aligned to a power of two. The pointer returned by the heap is
// kept in the 8-byte word just before the aligned block, so AlignedFree needs
// nothing but the block itself.
#include <cstddef>

namespace orva {

// Returns a block of `size` bytes aligned to `alignment` (a power of two,
// raised to at least 8), or nullptr when memory is short, the alignment is
// not a power of two or the size cannot be represented.
void* AlignedAlloc(size_t size, size_t alignment);

// Frees a block from AlignedAlloc; nullptr is ignored.
void AlignedFree(void* block);

}  // namespace orva
