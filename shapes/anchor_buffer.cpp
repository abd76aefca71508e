#include "shapes/anchor_buffer.h"

#include <cstring>

namespace orva {

namespace {

constexpr uint32_t kComponents = 2;

// True when the block holds `points` points in front of its selection area and
// their selection bytes behind it.
bool AreasHold(const AnchorBuffer& b, uint32_t points) {
    if (b.block == nullptr || b.area2 == nullptr) return false;
    auto start = reinterpret_cast<uintptr_t>(b.block);
    auto selection = reinterpret_cast<uintptr_t>(b.area2);
    if (selection < start || selection - start > b.size) return false;
    return selection - start >= static_cast<uint64_t>(points) * b.itemBytes &&
           start + b.size - selection >= points;
}

}  // namespace

AnchorBuffer::AnchorBuffer() { ResetType(); }

void AnchorBuffer::ResetType() {
    elementType = kAnchorElementType;
    elementSize = sizeof(float);
    elementsPerItem = kComponents;
    itemBytes = sizeof(float) * kComponents;
}

bool AnchorBuffer::EnsureRoom(uint32_t points) {
    uint64_t need = (static_cast<uint64_t>(itemBytes) + 1) * points;
    if (AreasHold(*this, points) && size - need < kGlobalBufferReuseSlack) {
        data = block;
        return true;
    }
    uint64_t rows = static_cast<uint64_t>(points) + kAnchorSparePoints;
    if (rows > 0xFFFFFFFFu) return false;
    return GlobalBufferResize(this, static_cast<uint32_t>(rows), 1);
}

bool AnchorBuffer::SetPoints(const float* xy, uint32_t count) {
    rowsUsed = 0;
    if (!EnsureRoom(count)) return false;
    if (count != 0) {
        std::memcpy(data, xy, static_cast<size_t>(count) * itemBytes);
        std::memset(area2, 0, count);
    }
    rowsUsed = count;
    lastSelected = -1;
    selectedCount = 0;
    return true;
}

bool AnchorBuffer::CopyFrom(const AnchorBuffer& source) {
    if (&source == this) return true;
    uint32_t count = source.Count();
    if (count == 0 || source.data == nullptr) {
        rowsUsed = 0;
        lastSelected = source.lastSelected;
        selectedCount = source.selectedCount;
        return true;
    }
    // The old points are overwritten: a replaced block need not carry them, and
    // a block laid out for another point size is not reused.
    rowsUsed = 0;
    if (source.itemBytes != itemBytes) DataBufferFree(this);
    elementType = source.elementType;
    elementSize = source.elementSize;
    elementsPerItem = source.elementsPerItem;
    itemBytes = source.itemBytes;
    if (!EnsureRoom(count)) return false;
    std::memcpy(data, source.data, static_cast<size_t>(count) * itemBytes);
    if (source.area2 != nullptr) std::memcpy(area2, source.area2, count);
    else std::memset(area2, 0, count);
    rowsUsed = count;
    lastSelected = source.lastSelected;
    selectedCount = source.selectedCount;
    return true;
}

bool AnchorBuffer::SamePoints(const AnchorBuffer& other) const {
    if (Count() != other.Count() || elementType != other.elementType ||
        elementsPerItem != other.elementsPerItem || itemBytes != other.itemBytes)
        return false;
    if (Count() == 0) return true;
    return std::memcmp(data, other.data, static_cast<size_t>(Count()) * itemBytes) == 0;
}

void AnchorBuffer::SelectAll(bool on) {
    uint32_t n = Count();
    if (n != 0 && area2 != nullptr) std::memset(area2, on ? 1 : 0, n);
    selectedCount = on ? -1 : 0;
    lastSelected = on && n != 0 ? static_cast<int32_t>(n - 1) : -1;
}

void AnchorBuffer::SelectLast() {
    uint32_t n = Count();
    if (n == 0 || area2 == nullptr) {
        selectedCount = 0;
        lastSelected = -1;
        return;
    }
    std::memset(area2, 0, n);
    Selection()[n - 1] = 1;
    selectedCount = 1;
    lastSelected = static_cast<int32_t>(n - 1);
}

}  // namespace orva
