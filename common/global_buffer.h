#pragma once
// Buffers that own one large block of global memory (a malloc/calloc block on
// this platform): the plain block, the typed buffer that knows its element
// type and item size, the frame buffer that devices and stages pull frames
// into, the item array with its texts, and the resize operations of the
// growable buffers that the shapes and masks keep their rows in.
//
// Large blocks are reused across frames while the surplus stays under
// kGlobalBufferReuseSlack, so that a stream of equally sized frames allocates
// nothing after the first.
#include <cstdint>

#include "common/clib_string.h"
#include "common/list.h"

namespace orva {

// The largest block a buffer asks for (512 MiB).
constexpr uint32_t kGlobalBufferMaxBytes = 0x20000000u;
// A block is kept for a smaller need while its surplus is below this (2 MiB).
constexpr uint32_t kGlobalBufferReuseSlack = 0x200000u;
// Spare item blocks of at least this many items are given back at once.
constexpr uint32_t kItemSpareTrimCount = 2048;

// Bytes of one element of a type code. The codes are the element type words of
// the device data formats (0x01 8-bit, 0x02 16-bit, 0x04 24-bit, 0x08 32-bit
// integer, 0x10 32-bit real, 0x20 64-bit integer, 0x40 64-bit real; the swap,
// unsigned and layout bits do not change the size): 1, 2, 3, 4, 4, 8, 8 bytes,
// tested in that order. 0 gives 0; a negative code, or one that names no
// element width, gives 4.
uint32_t ElementSizeOfType(int32_t code);

// Blocks taken from the heap by the buffers of this file since the start
// (reused blocks are not counted). Lets tests see that reuse happens.
uint64_t GlobalBufferBlocksTaken();
// Tests: the next `count` blocks the buffers of this file ask for are refused
// as when memory is short (0 ends a refusal still pending).
void GlobalBufferRefuseBlocksForTest(uint32_t count);

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

    // New element type, keeping the elements per item. See SetTypeAndCount.
    virtual void SetType(int32_t code);
    // When the buffer holds data and the code or the count differs from the
    // current ones, the data is dropped (data pointer and flags cleared; the
    // block stays). Then the code and count are stored and the element size
    // and item bytes recomputed.
    virtual void SetTypeAndCount(int32_t code, uint32_t count);

    // Room for `items` items of itemBytes: the block is kept when it is large
    // enough with a surplus below kGlobalBufferReuseSlack, else a new block of
    // exactly the need replaces it (old contents are not copied). False for 0
    // items, for a need above kGlobalBufferMaxBytes and when memory is short;
    // the old block is then untouched. On success `data` is the block.
    bool Resize(uint32_t items);

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

// Frees the block and clears the size (DataBuffer::Free: without the flags).
void DataBufferFree(TypedBuffer* buffer);

// Gives `buffer` a block of at least `need` bytes by the reuse rule of
// TypedBuffer::Resize; false (buffer untouched) when it cannot.
bool GlobalBufferFit(TypedBuffer* buffer, uint64_t need);

// An object attached to a sub-buffer; released when the buffer is reset. Each
// holder keeps one reference.
class AttachedObject {
public:
    virtual void AddRef() = 0;
    virtual void Release() = 0;

protected:
    ~AttachedObject() = default;
};

// A block with an attached object (the frame buffer's sub-buffer).
class BufferHolder : public GlobalBuffer {
public:
    ~BufferHolder() override;
    // Frees the block, then releases the attached object.
    void Free() override;
    // Holds `object` (a reference added; nullptr allowed) in place of the
    // attached one, which is released.
    void Attach(AttachedObject* object);
    // BufferHolderDestroy: releases the attached object, then frees the block.
    void Destroy();
    AttachedObject* attached = nullptr;
};

// One item of an item array: two values, three further words and an owned text.
struct BufferItem {
    int32_t value = 0;
    int32_t size = 0;
    int32_t words[3] = {0, 0, 0};
    ClibString text = nullptr;
};

// Items with texts in a block of their own. The block outlives the items: it
// is kept for the next frame unless it holds kItemSpareTrimCount items or more.
struct ItemArray {
    ItemArray() = default;
    ItemArray(const ItemArray&) = delete;
    ItemArray& operator=(const ItemArray&) = delete;
    // Releases every text and frees the block.
    ~ItemArray();

    uint32_t count = 0;
    BufferItem* items = nullptr;   // the items in use (the block), or nullptr
    BufferItem* block = nullptr;   // the item block, kept between frames
    uint32_t capacity = 0;         // items the block holds
};

// Releases the item's text and clears its value and size.
void ItemFreeString(BufferItem* item);
// Releases each item's text, clears its first two words, then count and items
// become 0 (the block stays).
void ItemArrayFreeStrings(ItemArray* array);
// Frees the block when it holds kItemSpareTrimCount items or more (and no item
// is in use); smaller blocks are kept for reuse.
void ItemArrayTrimSpare(ItemArray* array);
// Frees the spare block whatever its size (when no item is in use): block and
// capacity become 0.
void ItemArrayFreeSpare(ItemArray* array);
// Releases every item's text and frees the item block (count, items, block and
// capacity 0): the array is left empty and valid. The destructor does the same.
void BlockListBufferDestroy(ItemArray* array);
// Appends an item with a copy of the text (nullptr allowed); grows the block
// when it is full. Returns the item, or nullptr when memory is short.
BufferItem* ItemArrayAppend(ItemArray* array, const char* text, int32_t value, int32_t size);

// A typed buffer that holds one frame (or one image): the image buffer of a
// pull result, the frame buffers of devices and stages.
class TypedFrameBuffer : public TypedBuffer {
public:
    TypedFrameBuffer() = default;
    // Frees everything (the reset below).
    ~TypedFrameBuffer() override;

    // Sizes the buffer for width x height items of itemBytes and records the
    // geometry; the block is reused by the rule of Resize. Success clears the
    // state byte and the first frame word. Failure logs "Can't alloc memory...",
    // empties the buffer (geometry, frame words, data and block cleared, scale
    // 1.0 and zero 0.0) and answers false.
    bool AllocImageBuffer(uint32_t width, uint32_t height);

    // Frees everything and clears the frame fields: the frame words, state byte
    // and flags; the block and the sub-buffer's block; the sub-buffer's
    // attached object; the items' texts and their block.
    void Reset();
    // Drops the frame but keeps the blocks for reuse: geometry and frame words
    // cleared, scale 1.0 and zero 0.0, item texts released (the item block
    // freed when it holds kItemSpareTrimCount items or more).
    void DropFrame();
    // True while the buffer holds a frame (its width is not 0).
    bool HoldsFrame() const { return width != 0; }

    uint32_t width = 0;         // pixels per row
    uint64_t pixelCount = 0;    // width x height
    uint8_t state = 0;          // state byte (the invalid-values flag of a read)
    double scale = 1.0;
    double zero = 0.0;
    uint32_t frameWords[2] = {0, 0};
    int64_t windowX = 0;        // origin of the delivered window
    int64_t windowY = 0;
    uint32_t layout = 0;        // layout word (2: rows of the full crop width)
    BufferHolder sub;           // owned sub-buffer with its attached object
    ItemArray items;
    uint32_t height = 0;        // rows
    uint64_t rowBytes = 0;      // itemBytes x width
};

// The thirteen-word frame record kept in front of a frame buffer.
struct FrameRecord {
    uint32_t words[13];
};
// All words 0 except the eighth and the eleventh, which are 1.
void FrameRecordReset(FrameRecord* record);

// A {block, size} pair owned by a record.
struct GlobalBlock {
    void* block = nullptr;
    uint32_t size = 0;
};
// Frees the block and clears both fields.
void GlobalBlockFree(GlobalBlock* pair);

// A 1-D result record (statistics and slices).
class ResultBuffer : public TypedBuffer {
public:
    ~ResultBuffer() override;
    uint32_t counters[2] = {0, 0};
    uint8_t state = 0;
    double scale = 1.0;
    double zero = 0.0;
    uint32_t words[3] = {0, 0, 0};
    BufferHolder sub;
};
// Clears the counters and state, scale 1.0 and zero 0.0, clears the further
// words and the data pointer, frees the block and clears the flags.
void ResultBufferReset(ResultBuffer* buffer);

// An item of a string list: an owned copy of a text and two values.
struct StringItem {
    char* text;
    int32_t value1;
    int32_t value2;
};
// Appends a new item to the list. On any failure logs
// "__ListDataStringAdd(): Can't alloc memory", frees what was made and
// returns nullptr. A missing text is stored as an empty one.
StringItem* ListDataStringAdd(ListHeadTail* list, const char* text, int32_t value1, int32_t value2);
// Frees one item (text and record).
void StringItemFree(StringItem* item);

// Remove the floating-point residue left after scaling: x loses its remainder
// modulo 1e-4 (1e-2 for the float) when that remainder is not 0 and at most
// 2^-51 (2^-22) in magnitude.
void SnapDoubleTo1e4(double* x);
void SnapFloatTo001(float* x);

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
