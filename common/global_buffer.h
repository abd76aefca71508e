#pragma once
// Buffers that own one large block of global memory (a malloc/calloc block on
// this platform) and the resize operations of the growable buffers that the
// shapes and masks keep their rows in.
#include <cstdint>

namespace orva {

// The largest block a buffer asks for (512 MiB).
constexpr uint32_t kGlobalBufferMaxBytes = 0x20000000u;

class GlobalBuffer {
public:
    GlobalBuffer() = default;
    GlobalBuffer(const GlobalBuffer&) = delete;
    GlobalBuffer& operator=(const GlobalBuffer&) = delete;
    // Frees the block and clears the size.
    virtual ~GlobalBuffer();

    // Frees the block; size and block become 0.
    virtual void Free();

    // Takes a new block of `bytes` (never reusing the old one) and frees the
    // old block. Refuses more than kGlobalBufferMaxBytes; on any failure the
    // old block is kept and false is returned.
    bool Reserve(uint32_t bytes);

    uint32_t size = 0;       // bytes of the block as requested
    void* block = nullptr;   // owned
};

class TypedBuffer : public GlobalBuffer {
public:
    TypedBuffer() = default;

    // Clears the flag word, and when there is a block frees it and clears the
    // data pointer and the size.
    void Free() override;

    // GlobalBuffer::Reserve that also makes the new block the data.
    bool Reserve(uint32_t bytes);

    int32_t elementType = 0;       // element type code
    uint32_t elementSize = 0;      // bytes of one element
    uint32_t itemBytes = 0;        // elementSize * elementsPerItem: one row
    void* data = nullptr;          // start of valid data (the block), or nullptr
    uint32_t elementsPerItem = 1;
    uint32_t flags = 0;

    // Buffers split into areas (rows of the first area at `data`, followed by
    // a second and a third area with rows of their own sizes).
    uint32_t rowsUsed = 0;         // rows in use, kept by the buffer's user
    void* area2 = nullptr;         // start of the second area inside the block
    void* area3 = nullptr;         // start of the third area inside the block
};

// All resize operations measure rows in the buffer's item bytes, refuse blocks
// above kGlobalBufferMaxBytes with false, and on an allocation failure answer
// false and leave the buffer as it was (except for the data pointer cleared by
// the first two when no rows are in use). On success the old block is freed,
// the size field holds the new block's size and `data` points at the new block.
// Copies of rows in use are limited to what the old areas hold and what the
// new areas take; `rowsUsed` is lowered to `rows` when the buffer shrinks below it.

// Block of rows * (itemBytes + extra): the first area of rows * itemBytes,
// then a second area of rows * extra. The used parts of both areas are copied.
bool GlobalBufferResize(TypedBuffer* buffer, uint32_t rows, uint32_t extra);
// Block of rows * (2 * itemBytes + extra): the first area, a second area of
// the same row size, and a third of `extra` bytes per row.
bool GlobalBufferResizePadded(TypedBuffer* buffer, uint32_t rows, uint32_t extra);
// Block of rows * itemBytes keeping the used rows (GlobalBufferReplace when none).
bool GlobalBufferGrowKeep(TypedBuffer* buffer, uint32_t rows);
// New block of rows * itemBytes; nothing is copied.
bool GlobalBufferReplace(TypedBuffer* buffer, uint32_t rows);
// As GlobalBufferReplace with a zero-filled block.
bool GlobalBufferAllocZeroed(TypedBuffer* buffer, uint32_t rows);

}  // namespace orva
