#include "common/aligned_memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace orva {

namespace {

constexpr size_t kWord = sizeof(void*);  // the slot that holds the heap pointer
static_assert(kWord == 8, "the aligned-block layout assumes 64-bit pointers");

// Where the heap pointer of an aligned block lives: the word before the
// block's address rounded down to a multiple of the word size.
void* HeapPointerSlot(void* block) {
    uintptr_t address = reinterpret_cast<uintptr_t>(block) & ~static_cast<uintptr_t>(kWord - 1);
    return reinterpret_cast<void*>(address - kWord);
}

}  // namespace

void* AlignedAlloc(size_t size, size_t alignment) {
    if (alignment < kWord) alignment = kWord;
    if ((alignment & (alignment - 1)) != 0) return nullptr;

    // Heap block: size + alignment + one word, so that after rounding down
    // there is at least one word in front of the result and `size` behind it.
    size_t total = 0;
    if (__builtin_add_overflow(size, alignment, &total)) return nullptr;
    if (__builtin_add_overflow(total, kWord, &total)) return nullptr;

    void* heap = std::malloc(total);
    if (heap == nullptr) return nullptr;

    uintptr_t start = reinterpret_cast<uintptr_t>(heap);
    uintptr_t aligned = (start + alignment + kWord) & ~static_cast<uintptr_t>(alignment - 1);
    void* block = reinterpret_cast<void*>(aligned);
    std::memcpy(HeapPointerSlot(block), &heap, sizeof heap);
    return block;
}

void AlignedFree(void* block) {
    if (block == nullptr) return;
    void* heap = nullptr;
    std::memcpy(&heap, HeapPointerSlot(block), sizeof heap);
    std::free(heap);
}

}  // namespace orva
