#include "common/global_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace orva {

namespace {

// A block of at least one byte, so that an empty request still gets a block
// of its own. Returns nullptr when memory is short.
void* NewBlock(uint64_t bytes, bool zeroed) {
    size_t n = bytes == 0 ? 1 : static_cast<size_t>(bytes);
    return zeroed ? std::calloc(1, n) : std::malloc(n);
}

// rows * rowBytes when it fits the limit.
bool BlockBytes(uint32_t rows, uint64_t rowBytes, uint64_t* bytes) {
    uint64_t product = 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(rows), rowBytes, &product)) return false;
    if (product > kGlobalBufferMaxBytes) return false;
    *bytes = product;
    return true;
}

// Bytes from `start` to the next area start (or the block's end) when `start`
// lies inside the buffer's block; 0 for areas that are not there.
uint64_t AreaExtent(const TypedBuffer& buffer, const void* start, const void* next) {
    if (buffer.block == nullptr || start == nullptr) return 0;
    auto begin = reinterpret_cast<uintptr_t>(buffer.block);
    uintptr_t end = begin + buffer.size;
    auto at = reinterpret_cast<uintptr_t>(start);
    if (at < begin || at > end) return 0;
    auto limit = reinterpret_cast<uintptr_t>(next);
    if (next != nullptr && limit >= at && limit <= end) end = limit;
    return end - at;
}

// Copies the used part of one area, bounded by both the old and the new area.
void CopyArea(void* target, uint64_t targetBytes, const void* source, uint64_t sourceBytes,
              uint64_t usedBytes) {
    uint64_t n = std::min({targetBytes, sourceBytes, usedBytes});
    if (n != 0 && target != nullptr && source != nullptr) std::memcpy(target, source, n);
}

void TakeBlock(TypedBuffer* buffer, void* block, uint64_t bytes, void* area2, void* area3,
               uint32_t rows) {
    std::free(buffer->block);
    buffer->block = block;
    buffer->size = static_cast<uint32_t>(bytes);
    buffer->data = block;
    buffer->area2 = area2;
    buffer->area3 = area3;
    buffer->rowsUsed = std::min(buffer->rowsUsed, rows);
}

// The resizes that split the block into `areaCount` areas; area i has
// `rowSizes[i]` bytes per row and starts after the rows of the areas before it.
bool ResizeAreas(TypedBuffer* buffer, uint32_t rows, const uint64_t (&rowSizes)[3], int areaCount) {
    uint64_t rowBytes = 0;
    for (int i = 0; i < areaCount; ++i) rowBytes += rowSizes[i];
    uint64_t bytes = 0;
    if (!BlockBytes(rows, rowBytes, &bytes)) return false;
    auto* block = static_cast<uint8_t*>(NewBlock(bytes, false));
    if (block == nullptr) return false;

    uint8_t* newAreas[3] = {nullptr, nullptr, nullptr};
    uint64_t offset = 0;
    for (int i = 0; i < areaCount; ++i) {
        newAreas[i] = block + offset;
        offset += rows * rowSizes[i];
    }

    uint64_t keptRows = std::min(buffer->rowsUsed, rows);
    if (keptRows != 0) {
        const void* oldAreas[3] = {buffer->data, buffer->area2, buffer->area3};
        for (int i = 0; i < areaCount; ++i) {
            const void* next = i < 2 ? oldAreas[i + 1] : nullptr;
            CopyArea(newAreas[i], rows * rowSizes[i], oldAreas[i],
                     AreaExtent(*buffer, oldAreas[i], next), keptRows * rowSizes[i]);
        }
    }
    TakeBlock(buffer, block, bytes, newAreas[1], newAreas[2], rows);
    return true;
}

bool ReplaceBlock(TypedBuffer* buffer, uint32_t rows, bool zeroed) {
    if (buffer == nullptr) return false;
    uint64_t bytes = 0;
    if (!BlockBytes(rows, buffer->itemBytes, &bytes)) return false;
    void* block = NewBlock(bytes, zeroed);
    if (block == nullptr) return false;
    TakeBlock(buffer, block, bytes, nullptr, nullptr, rows);
    return true;
}

}  // namespace

GlobalBuffer::~GlobalBuffer() {
    std::free(block);
    block = nullptr;
    size = 0;
}

void GlobalBuffer::Free() {
    std::free(block);
    block = nullptr;
    size = 0;
}

bool GlobalBuffer::Reserve(uint32_t bytes) {
    if (bytes > kGlobalBufferMaxBytes) return false;
    void* fresh = NewBlock(bytes, false);
    if (fresh == nullptr) return false;
    std::free(block);
    block = fresh;
    size = bytes;
    return true;
}

void TypedBuffer::Free() {
    flags = 0;
    if (block != nullptr) {
        data = nullptr;
        area2 = nullptr;
        area3 = nullptr;
        GlobalBuffer::Free();
    }
}

bool TypedBuffer::Reserve(uint32_t bytes) {
    if (!GlobalBuffer::Reserve(bytes)) return false;
    data = block;
    area2 = nullptr;
    area3 = nullptr;
    return true;
}

bool GlobalBufferResize(TypedBuffer* buffer, uint32_t rows, uint32_t extra) {
    if (buffer == nullptr) return false;
    if (buffer->rowsUsed == 0) buffer->data = nullptr;
    return ResizeAreas(buffer, rows, {buffer->itemBytes, extra, 0}, 2);
}

bool GlobalBufferResizePadded(TypedBuffer* buffer, uint32_t rows, uint32_t extra) {
    if (buffer == nullptr) return false;
    if (buffer->rowsUsed == 0) buffer->data = nullptr;
    return ResizeAreas(buffer, rows, {buffer->itemBytes, buffer->itemBytes, extra}, 3);
}

bool GlobalBufferGrowKeep(TypedBuffer* buffer, uint32_t rows) {
    if (buffer == nullptr) return false;
    if (buffer->rowsUsed == 0 || buffer->data == nullptr) return GlobalBufferReplace(buffer, rows);
    return ResizeAreas(buffer, rows, {buffer->itemBytes, 0, 0}, 1);
}

bool GlobalBufferReplace(TypedBuffer* buffer, uint32_t rows) {
    return ReplaceBlock(buffer, rows, false);
}

bool GlobalBufferAllocZeroed(TypedBuffer* buffer, uint32_t rows) {
    return ReplaceBlock(buffer, rows, true);
}

}  // namespace orva
