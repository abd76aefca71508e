#include "common/aligned_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace orva {
namespace {

uintptr_t Address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// The heap pointer kept in the word before an aligned block.
uintptr_t StoredHeapPointer(const void* block) {
    uintptr_t heap = 0;
    std::memcpy(&heap, static_cast<const uint8_t*>(block) - 8, sizeof heap);
    return heap;
}

TEST(AlignedMemory, BlocksAreAlignedAndLieInsideTheirHeapBlock) {
    // Alignments below eight are raised to eight.
    for (size_t alignment : {0u, 1u, 8u, 16u, 32u, 64u, 4096u}) {
        for (size_t size : {0u, 1u, 10u, 100u, 1000u}) {
            void* block = AlignedAlloc(size, alignment);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(Address(block) % std::max<size_t>(alignment, 8), 0u) << alignment;
            uintptr_t heap = StoredHeapPointer(block);
            // At least one word in front, and the whole size behind, inside
            // the heap block of size + alignment + 8 bytes.
            EXPECT_GE(Address(block), heap + 8);
            EXPECT_LE(Address(block) + size, heap + size + std::max<size_t>(alignment, 8) + 8);
            std::memset(block, 0xA5, size);  // the sanitizer checks the bounds
            AlignedFree(block);
        }
    }
}

TEST(AlignedMemory, RefusedRequests) {
    EXPECT_EQ(AlignedAlloc(100, 24), nullptr);  // not a power of two
    EXPECT_EQ(AlignedAlloc(std::numeric_limits<size_t>::max() - 20, 32), nullptr);  // overflow
    AlignedFree(nullptr);  // ignored
}

}  // namespace
}  // namespace orva
