#include "common/global_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/log.h"

namespace orva {

namespace {

std::atomic<uint64_t> gBlocksTaken{0};
std::atomic<uint32_t> gRefuseBlocks{0};

// Takes one pending refusal; true when this request is to be refused.
bool RefuseBlock() {
    uint32_t pending = gRefuseBlocks.load(std::memory_order_relaxed);
    while (pending != 0) {
        if (gRefuseBlocks.compare_exchange_weak(pending, pending - 1, std::memory_order_relaxed)) return true;
    }
    return false;
}

// Blocks of at least this many bytes (frames, their colour rows) are asked to be backed by
// huge pages where the system gives them on request: a 4096 x 4096 frame of doubles is
// 32768 small pages, each a fault on first touch, which made up a third of the time to a
// large file's first picture on a virtual machine, and 64 huge ones.
constexpr size_t kHugePagesFrom = size_t{4} << 20;

// Asks for huge pages over the whole pages of [block, block + bytes). Touches nothing:
// calloc's fresh blocks stay unwritten until used. A refusal changes nothing.
void AskForHugePages(void* block, size_t bytes) {
#ifdef MADV_HUGEPAGE
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + page - 1) / page * page;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) / page * page;
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

// A block of at least one byte, so that an empty request still gets a block
// of its own. Returns nullptr when memory is short.
void* NewBlock(uint64_t bytes, bool zeroed) {
    if (RefuseBlock()) return nullptr;
    size_t n = bytes == 0 ? 1 : static_cast<size_t>(bytes);
    void* block = zeroed ? std::calloc(1, n) : std::malloc(n);
    if (block != nullptr) gBlocksTaken.fetch_add(1, std::memory_order_relaxed);
    if (block != nullptr && n >= kHugePagesFrom) AskForHugePages(block, n);
    return block;
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

uint32_t ElementSizeOfType(int32_t code) {
    if (code == 0) return 0;
    if (code < 0) return 4;
    auto word = static_cast<uint32_t>(code);
    if (word & 0x01u) return 1;
    if (word & 0x02u) return 2;
    if (word & 0x04u) return 3;
    if (word & 0x18u) return 4;
    if (word & 0x60u) return 8;
    return 4;
}

uint64_t GlobalBufferBlocksTaken() { return gBlocksTaken.load(std::memory_order_relaxed); }

void GlobalBufferRefuseBlocksForTest(uint32_t count) { gRefuseBlocks.store(count, std::memory_order_relaxed); }

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

void TypedBuffer::SetType(int32_t code) { SetTypeAndCount(code, elementsPerItem); }

void TypedBuffer::SetTypeAndCount(int32_t code, uint32_t count) {
    if (data != nullptr && (code != elementType || count != elementsPerItem)) {
        data = nullptr;
        flags = 0;
    }
    elementType = code;
    elementsPerItem = count;
    elementSize = ElementSizeOfType(code);
    uint64_t bytes = static_cast<uint64_t>(elementSize) * count;
    // An item above the block limit can never be held; it is kept saturated so
    // that every later size request is refused instead of wrapping.
    itemBytes = bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
}

bool GlobalBufferFit(TypedBuffer* buffer, uint64_t need) {
    if (buffer == nullptr) return false;
    if (buffer->block != nullptr && buffer->size >= need &&
        buffer->size - need < kGlobalBufferReuseSlack) {
        buffer->data = buffer->block;
        return true;
    }
    if (need > kGlobalBufferMaxBytes) return false;
    void* fresh = NewBlock(need, false);
    if (fresh == nullptr) return false;
    std::free(buffer->block);
    buffer->block = fresh;
    buffer->size = static_cast<uint32_t>(need);
    buffer->data = fresh;
    buffer->area2 = nullptr;
    buffer->area3 = nullptr;
    return true;
}

bool TypedBuffer::Resize(uint32_t items) {
    if (items == 0) return false;
    uint64_t need = 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(itemBytes), items, &need)) return false;
    return GlobalBufferFit(this, need);
}

void DataBufferFree(TypedBuffer* buffer) {
    if (buffer == nullptr || buffer->block == nullptr) return;
    buffer->data = nullptr;
    buffer->area2 = nullptr;
    buffer->area3 = nullptr;
    buffer->GlobalBuffer::Free();
}

// ---- Sub-buffer ---------------------------------------------------------------

BufferHolder::~BufferHolder() { Destroy(); }

void BufferHolder::Free() {
    GlobalBuffer::Free();
    if (attached != nullptr) {
        AttachedObject* object = attached;
        attached = nullptr;
        object->Release();
    }
}

void BufferHolder::Attach(AttachedObject* object) {
    if (object != nullptr) object->AddRef();
    AttachedObject* old = attached;
    attached = object;
    if (old != nullptr) old->Release();
}

void BufferHolder::Destroy() {
    if (attached != nullptr) {
        AttachedObject* object = attached;
        attached = nullptr;
        object->Release();
    }
    GlobalBuffer::Free();
}

// ---- Item array ---------------------------------------------------------------

void ItemFreeString(BufferItem* item) {
    if (item == nullptr) return;
    StrReleaseClear(&item->text);
    item->text = nullptr;
    item->value = 0;
    item->size = 0;
}

void ItemArrayFreeStrings(ItemArray* array) {
    if (array == nullptr) return;
    for (uint32_t i = 0; i < array->count && array->items != nullptr; ++i) ItemFreeString(&array->items[i]);
    array->count = 0;
    array->items = nullptr;
}

void ItemArrayFreeSpare(ItemArray* array) {
    if (array == nullptr || array->items != nullptr) return;
    std::free(array->block);
    array->block = nullptr;
    array->capacity = 0;
}

void ItemArrayTrimSpare(ItemArray* array) {
    if (array != nullptr && array->block != nullptr && array->capacity >= kItemSpareTrimCount)
        ItemArrayFreeSpare(array);
}

BufferItem* ItemArrayAppend(ItemArray* array, const char* text, int32_t value, int32_t size) {
    if (array == nullptr) return nullptr;
    if (array->count == array->capacity || array->block == nullptr) {
        uint64_t grown = array->capacity < 16 ? 16 : static_cast<uint64_t>(array->capacity) * 2;
        uint64_t bytes = grown * sizeof(BufferItem);
        if (bytes > kGlobalBufferMaxBytes) return nullptr;
        auto* block = static_cast<BufferItem*>(NewBlock(bytes, true));
        if (block == nullptr) return nullptr;
        if (array->block != nullptr && array->count != 0)
            std::memcpy(static_cast<void*>(block), array->block, array->count * sizeof(BufferItem));
        std::free(array->block);
        array->block = block;
        array->capacity = static_cast<uint32_t>(grown);
    }
    ClibString copy = nullptr;
    if (text != nullptr && (copy = StrDup(text, -1)) == nullptr) return nullptr;
    BufferItem* item = &array->block[array->count];
    *item = BufferItem{};
    item->value = value;
    item->size = size;
    item->text = copy;
    array->items = array->block;
    ++array->count;
    return item;
}

void BlockListBufferDestroy(ItemArray* array) {
    if (array == nullptr) return;
    ItemArrayFreeStrings(array);
    std::free(array->block);
    array->block = nullptr;
    array->capacity = 0;
}

ItemArray::~ItemArray() { BlockListBufferDestroy(this); }

// ---- Frame buffer -------------------------------------------------------------

TypedFrameBuffer::~TypedFrameBuffer() { Reset(); }

bool TypedFrameBuffer::AllocImageBuffer(uint32_t w, uint32_t h) {
    uint64_t row = static_cast<uint64_t>(itemBytes) * w;
    uint64_t need = 0;
    bool fits = !__builtin_mul_overflow(row, static_cast<uint64_t>(h), &need);
    width = w;
    height = h;
    rowBytes = row;
    pixelCount = static_cast<uint64_t>(w) * h;
    if (fits && GlobalBufferFit(this, need)) {
        state = 0;
        frameWords[0] = 0;
        return true;
    }
    LogPrintf("%s", "Can't alloc memory...");
    height = 0;
    rowBytes = 0;
    pixelCount = 0;
    frameWords[0] = frameWords[1] = 0;
    windowX = windowY = 0;
    layout = 0;
    data = nullptr;
    scale = 1.0;
    zero = 0.0;
    GlobalBuffer::Free();
    width = 0;
    return false;
}

void TypedFrameBuffer::DropFrame() {
    width = 0;
    height = 0;
    pixelCount = 0;
    rowBytes = 0;
    frameWords[0] = frameWords[1] = 0;
    windowX = windowY = 0;
    layout = 0;
    state = 0;
    scale = 1.0;
    zero = 0.0;
    ItemArrayFreeStrings(&items);
    ItemArrayTrimSpare(&items);
}

void TypedFrameBuffer::Reset() {
    DropFrame();
    flags = 0;
    data = nullptr;
    area2 = nullptr;
    area3 = nullptr;
    GlobalBuffer::Free();
    sub.Free();
    BlockListBufferDestroy(&items);
}

void FrameRecordReset(FrameRecord* record) {
    if (record == nullptr) return;
    std::memset(record->words, 0, sizeof record->words);
    record->words[7] = 1;
    record->words[10] = 1;
}

void GlobalBlockFree(GlobalBlock* pair) {
    if (pair == nullptr) return;
    std::free(pair->block);
    pair->block = nullptr;
    pair->size = 0;
}

ResultBuffer::~ResultBuffer() {
    scale = 1.0;
    counters[0] = counters[1] = 0;
    state = 0;
    sub.GlobalBuffer::Free();
}

void ResultBufferReset(ResultBuffer* buffer) {
    if (buffer == nullptr) return;
    buffer->counters[0] = buffer->counters[1] = 0;
    buffer->state = 0;
    buffer->scale = 1.0;
    buffer->zero = 0.0;
    buffer->words[0] = buffer->words[1] = buffer->words[2] = 0;
    buffer->data = nullptr;
    buffer->area2 = nullptr;
    buffer->area3 = nullptr;
    buffer->GlobalBuffer::Free();
    buffer->flags = 0;
}

// ---- String list --------------------------------------------------------------

StringItem* ListDataStringAdd(ListHeadTail* list, const char* text, int32_t value1, int32_t value2) {
    auto* item = static_cast<StringItem*>(std::calloc(1, sizeof(StringItem)));
    char* copy = nullptr;
    if (item != nullptr) copy = strdup(text != nullptr ? text : "");
    if (item == nullptr || copy == nullptr || list == nullptr) {
        LogPrintf("%s", "__ListDataStringAdd(): Can't alloc memory");
        std::free(copy);
        std::free(item);
        return nullptr;
    }
    item->text = copy;
    item->value1 = value1;
    item->value2 = value2;
    if (ListPushBack(list, item) == nullptr) {
        LogPrintf("%s", "__ListDataStringAdd(): Can't alloc memory");
        StringItemFree(item);
        return nullptr;
    }
    return item;
}

void StringItemFree(StringItem* item) {
    if (item == nullptr) return;
    std::free(item->text);
    std::free(item);
}

// ---- Residue snapping ---------------------------------------------------------

void SnapDoubleTo1e4(double* x) {
    if (x == nullptr) return;
    double r = *x - std::trunc(*x * 10000.0) * 0.0001;
    if (r != 0.0 && std::fabs(r) <= 4.440892098500626e-16) *x -= r;
}

void SnapFloatTo001(float* x) {
    if (x == nullptr) return;
    float r = *x - std::trunc(*x * 100.0f) * 0.01f;
    if (r != 0.0f && std::fabs(r) <= 2.384185791015625e-07f) *x -= r;
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
