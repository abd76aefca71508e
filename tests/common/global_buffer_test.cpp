#include "common/global_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace orva {
namespace {

uint8_t* Bytes(void* p) { return static_cast<uint8_t*>(p); }

// An area of rows of `rowBytes` bytes, row r filled with bytes base + r.
struct Area {
    void* start;
    uint32_t rowBytes;
    uint8_t base;
};

void FillRows(uint32_t rows, std::initializer_list<Area> areas) {
    for (const Area& a : areas)
        for (uint32_t r = 0; r < rows; ++r)
            std::memset(Bytes(a.start) + r * a.rowBytes, a.base + r, a.rowBytes);
}

void ExpectRows(uint32_t rows, std::initializer_list<Area> areas) {
    for (const Area& a : areas)
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t i = 0; i < a.rowBytes; ++i)
                ASSERT_EQ(Bytes(a.start)[r * a.rowBytes + i], static_cast<uint8_t>(a.base + r))
                    << "row " << r;
}

// The block, the data pointer and the size of a typed buffer, compared at once.
std::tuple<void*, void*, uint32_t> State(const TypedBuffer& b) { return {b.block, b.data, b.size}; }
using Pointers = std::pair<void*, void*>;
std::tuple<void*, void*, uint32_t> Empty() { return {nullptr, nullptr, 0u}; }

TEST(GlobalBuffer, ReserveFreeAndDestroy) {
    GlobalBuffer buffer;
    ASSERT_TRUE(buffer.Reserve(1000));
    EXPECT_EQ(buffer.size, 1000u);
    std::memset(buffer.block, 1, 1000);
    EXPECT_FALSE(buffer.Reserve(kGlobalBufferMaxBytes + 1));
    EXPECT_EQ(buffer.size, 1000u);  // the old block is kept
    ASSERT_NE(buffer.block, nullptr);
    EXPECT_EQ(Bytes(buffer.block)[999], 1);
    buffer.Free();
    EXPECT_EQ(std::pair(buffer.block, buffer.size), std::pair(static_cast<void*>(nullptr), 0u));
    buffer.Free();  // nothing to free
    ASSERT_TRUE(buffer.Reserve(16));  // the destructor frees it (checked by the sanitizer)

    // A typed buffer freed through its base clears its own fields too.
    TypedBuffer typed;
    ASSERT_TRUE(typed.Reserve(64));
    EXPECT_EQ(typed.data, typed.block);
    typed.flags = 5;
    static_cast<GlobalBuffer&>(typed).Free();
    EXPECT_EQ(typed.flags, 0u);
    EXPECT_EQ(State(typed), Empty());
}

// The flags the kernel keeps for the mapping that holds `at` ("hg": huge pages asked for).
std::vector<std::string> MappingFlags(const void* at) {
    std::FILE* f = std::fopen("/proc/self/smaps", "r");
    if (f == nullptr) return {};
    const auto address = reinterpret_cast<uintptr_t>(at);
    bool inside = false;
    std::vector<std::string> flags;
    char line[512];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        unsigned long begin = 0, end = 0;
        if (std::sscanf(line, "%lx-%lx ", &begin, &end) == 2 && std::strchr(line, '-') < std::strchr(line, ' ')) {
            inside = begin <= address && address < end;
        } else if (inside && std::strncmp(line, "VmFlags:", 8) == 0) {
            for (char* word = std::strtok(line + 8, " \n"); word != nullptr; word = std::strtok(nullptr, " \n"))
                flags.emplace_back(word);
            break;
        }
    }
    std::fclose(f);
    return flags;
}

// A frame-sized block asks the kernel for huge pages (each small page is a fault on first
// touch); the advice is kept whether the system then gives them or not.
TEST(GlobalBuffer, LargeBlocksAskForHugePages) {
    GlobalBuffer frame;
    ASSERT_TRUE(frame.Reserve(64u << 20));
    const std::vector<std::string> flags = MappingFlags(Bytes(frame.block) + (32u << 20));
    ASSERT_FALSE(flags.empty()) << "no mapping found in /proc/self/smaps";
    EXPECT_NE(std::find(flags.begin(), flags.end(), "hg"), flags.end());
    std::memset(frame.block, 7, frame.size);  // usable as before
    EXPECT_EQ(Bytes(frame.block)[frame.size - 1], 7);
}

TEST(GlobalBuffer, ResizeCopiesEveryArea) {
    TypedBuffer b;
    b.itemBytes = 8;
    ASSERT_TRUE(GlobalBufferResize(&b, 4, 3));
    EXPECT_EQ(State(b), std::tuple(b.block, b.block, 4u * (8 + 3)));
    EXPECT_EQ(b.area2, Bytes(b.block) + 4 * 8);
    FillRows(3, {{b.data, 8, 10}, {b.area2, 3, 50}});
    b.rowsUsed = 3;
    ASSERT_TRUE(GlobalBufferResize(&b, 10, 3));
    EXPECT_EQ(std::tuple(b.size, b.area2, b.rowsUsed),
              std::tuple(10u * 11, static_cast<void*>(Bytes(b.block) + 10 * 8), 3u));
    ExpectRows(3, {{b.data, 8, 10}, {b.area2, 3, 50}});
    // Shrinking below the rows in use keeps what fits.
    ASSERT_TRUE(GlobalBufferResize(&b, 2, 3));
    EXPECT_EQ(std::pair(b.size, b.rowsUsed), std::pair(22u, 2u));
    ExpectRows(2, {{b.data, 8, 10}, {b.area2, 3, 50}});

    // The padded form has three areas: two of itemBytes and one of the extra bytes.
    TypedBuffer p;
    p.itemBytes = 4;
    ASSERT_TRUE(GlobalBufferResizePadded(&p, 3, 2));
    EXPECT_EQ(std::tuple(p.size, p.area2, p.area3),
              std::tuple(3u * (2 * 4 + 2), Bytes(p.block) + 12, Bytes(p.block) + 24));
    FillRows(3, {{p.data, 4, 1}, {p.area2, 4, 20}, {p.area3, 2, 40}});
    p.rowsUsed = 3;
    ASSERT_TRUE(GlobalBufferResizePadded(&p, 7, 2));
    EXPECT_EQ(std::tuple(p.size, p.area2, p.area3),
              std::tuple(70u, Bytes(p.block) + 28, Bytes(p.block) + 56));
    ExpectRows(3, {{p.data, 4, 1}, {p.area2, 4, 20}, {p.area3, 2, 40}});
}

TEST(GlobalBuffer, ResizeWithoutRowsInUseClearsDataFirst) {
    TypedBuffer b;
    b.itemBytes = 4;
    ASSERT_TRUE(GlobalBufferReplace(&b, 2));
    void* old = b.block;
    EXPECT_EQ(b.data, old);
    // Refused request: the data pointer is cleared, the block kept.
    EXPECT_FALSE(GlobalBufferResize(&b, 0x08000000, 1));
    EXPECT_EQ(State(b), std::tuple(old, nullptr, 8u));
    // With rows in use a refused request changes nothing.
    b.data = b.block;
    b.rowsUsed = 1;
    EXPECT_FALSE(GlobalBufferResizePadded(&b, 0x04000000, 1));
    EXPECT_EQ(State(b), std::tuple(old, old, 8u));
}

TEST(GlobalBuffer, GrowKeepReplaceAndZeroed) {
    TypedBuffer b;
    b.itemBytes = 6;
    // No rows in use: a plain replacement.
    ASSERT_TRUE(GlobalBufferGrowKeep(&b, 2));
    EXPECT_EQ(b.size, 12u);
    FillRows(2, {{b.data, 6, 7}});
    b.rowsUsed = 2;
    ASSERT_TRUE(GlobalBufferGrowKeep(&b, 5));
    EXPECT_EQ(State(b), std::tuple(b.block, b.block, 30u));
    EXPECT_EQ(b.area2, nullptr);
    ExpectRows(2, {{b.data, 6, 7}});

    ASSERT_TRUE(GlobalBufferAllocZeroed(&b, 4));
    EXPECT_EQ(State(b), std::tuple(b.block, b.block, 24u));
    std::vector<uint8_t> zeros(24, 0);
    EXPECT_EQ(std::memcmp(b.block, zeros.data(), 24), 0);

    ASSERT_TRUE(GlobalBufferReplace(&b, 1));
    // The rows in use are lowered to what the block holds.
    EXPECT_EQ(std::pair(b.size, b.rowsUsed), std::pair(6u, 1u));
}

TEST(GlobalBuffer, LimitIsChecked) {
    TypedBuffer b;
    b.itemBytes = 1;
    ASSERT_TRUE(GlobalBufferReplace(&b, 16));
    void* old = b.block;
    // 0x20000001 bytes: refused, the old block kept.
    EXPECT_FALSE(GlobalBufferReplace(&b, 0x20000001));
    EXPECT_FALSE(GlobalBufferAllocZeroed(&b, 0x20000001));
    EXPECT_EQ(State(b), std::tuple(old, old, 16u));
    // Products beyond 32 bits are refused, never wrapped.
    b.itemBytes = 0x10000;
    EXPECT_FALSE(GlobalBufferReplace(&b, 0x10001));
    b.itemBytes = 0xFFFFFFFFu;
    EXPECT_FALSE(GlobalBufferResizePadded(&b, 2, 0xFFFFFFFFu));
    EXPECT_EQ(b.block, old);
    EXPECT_FALSE(GlobalBufferReplace(nullptr, 1));
    // Exactly the limit is attempted.
    b.itemBytes = 0x1000;
    ASSERT_TRUE(GlobalBufferReplace(&b, 0x20000));
    EXPECT_EQ(b.size, kGlobalBufferMaxBytes);
    b.Free();
    EXPECT_EQ(State(b), Empty());
}

TEST(GlobalBuffer, ElementSizesAndTypeChanges) {
    struct {
        int32_t code;
        uint32_t size;
    } table[] = {{0, 0},      {0x01, 1},  {0x101, 1},   {0x02, 2},  {0x182, 2},    {0x04, 3},
                 {0x08, 4},   {0x108, 4}, {16, 4},      {0x20, 8},  {0x120, 8},    {0x40, 8},
                 {0x10040, 8}, {-1, 4},   {0x10000, 4}, {0x400101, 1}};
    for (const auto& row : table)
        EXPECT_EQ(ElementSizeOfType(row.code), row.size) << std::hex << row.code;

    TypedBuffer b;
    b.SetTypeAndCount(0x40, 3);
    EXPECT_EQ(std::pair(b.elementSize, b.itemBytes), std::pair(8u, 24u));
    ASSERT_TRUE(b.Resize(10));
    void* block = b.block;
    EXPECT_EQ(b.data, block);
    b.flags = 3;
    b.SetTypeAndCount(0x40, 3);  // unchanged: the data stays
    EXPECT_EQ(b.data, block);
    b.SetType(0x10);             // another type: data dropped, block kept
    EXPECT_EQ(std::tuple(b.data, b.flags, b.block), std::tuple(nullptr, 0u, block));
    EXPECT_EQ(std::pair(b.itemBytes, b.elementsPerItem), std::pair(12u, 3u));
    EXPECT_FALSE(b.Resize(0));
    DataBufferFree(&b);
    EXPECT_EQ(b.block, nullptr);
}

TEST(GlobalBuffer, ReuseRule) {
    constexpr uint32_t MiB = 1u << 20;
    TypedBuffer b;
    b.SetTypeAndCount(0x01, 1);
    ASSERT_TRUE(b.Resize(10 * MiB));
    void* block = b.block;
    uint64_t taken = GlobalBufferBlocksTaken();
    ASSERT_TRUE(b.Resize(9 * MiB));  // surplus 1 MiB: kept
    EXPECT_EQ(State(b), std::tuple(block, block, 10 * MiB));
    EXPECT_EQ(GlobalBufferBlocksTaken(), taken);
    ASSERT_TRUE(b.Resize(8 * MiB + 1));  // surplus just under 2 MiB: kept
    EXPECT_EQ(b.size, 10 * MiB);
    ASSERT_TRUE(b.Resize(7 * MiB));  // surplus 3 MiB: a new block of the need
    EXPECT_EQ(b.size, 7 * MiB);
    EXPECT_EQ(GlobalBufferBlocksTaken(), taken + 1);
    std::memset(b.data, 0x5A, 16);
    block = b.block;
    EXPECT_FALSE(b.Resize(kGlobalBufferMaxBytes + 1));  // refused, the old block untouched
    EXPECT_EQ(State(b), std::tuple(block, block, 7 * MiB));
    EXPECT_EQ(Bytes(b.block)[15], 0x5A);
    ASSERT_TRUE(b.Resize(kGlobalBufferMaxBytes));  // exactly the limit is attempted
    EXPECT_EQ(b.size, kGlobalBufferMaxBytes);
    b.SetTypeAndCount(0x40, 0x40000000u);  // items too large for any block
    EXPECT_FALSE(b.Resize(0xFFFFFFFFu));
}

TEST(GlobalBuffer, SteadyFramesAllocateOnce) {
    TypedFrameBuffer frame;
    frame.SetTypeAndCount(0x40, 1);
    ASSERT_TRUE(frame.AllocImageBuffer(640, 480));
    EXPECT_EQ(std::pair(frame.rowBytes, frame.pixelCount),
              std::pair(uint64_t{640 * 8}, uint64_t{640 * 480}));
    ASSERT_NE(ItemArrayAppend(&frame.items, "first", 0, 1), nullptr);
    frame.DropFrame();
    uint64_t taken = GlobalBufferBlocksTaken();  // the frame block and the item block exist now
    for (int i = 0; i < 200; ++i) {
        frame.state = 1;
        ASSERT_TRUE(frame.AllocImageBuffer(640, 480));
        EXPECT_EQ(frame.state, 0);
        ASSERT_NE(ItemArrayAppend(&frame.items, "interval", i, 1), nullptr);
        frame.DropFrame();  // the device drops its frame between pulls
    }
    // A small item block is kept.
    EXPECT_TRUE(GlobalBufferBlocksTaken() == taken && frame.items.count == 0u &&
                frame.items.block != nullptr)
        << GlobalBufferBlocksTaken() - taken << " blocks more";

    // A failed size request logs, empties the frame and frees the block.
    frame.SetTypeAndCount(0x40, 0x10000);
    EXPECT_FALSE(frame.AllocImageBuffer(0x10000, 0x10000));
    EXPECT_EQ(std::tuple(frame.width, frame.height, frame.scale), std::tuple(0u, 0u, 1.0));
    EXPECT_EQ(std::pair(frame.block, frame.data), Pointers(nullptr, nullptr));
}

TEST(GlobalBuffer, ItemsRecordsAndStringList) {
    ItemArray items;
    for (int i = 0; i < 2048; ++i)
        ASSERT_NE(ItemArrayAppend(&items, i % 2 ? "odd" : nullptr, i, 2), nullptr);
    EXPECT_EQ(std::tuple(items.count, std::string(items.items[1].text), items.items[2047].value),
              std::tuple(2048u, std::string("odd"), 2047));
    ItemArrayFreeStrings(&items);
    EXPECT_TRUE(items.items == nullptr && items.block[1].text == nullptr);
    ItemArrayTrimSpare(&items);  // 2048 items and more: given back
    EXPECT_EQ(items.block, nullptr);
    // A small block survives the trim but not the block list's destruction, which
    // releases the texts too and leaves the array usable (the sanitizer build
    // reports the texts or the block if they leaked).
    for (int i = 0; i < 3; ++i) ASSERT_NE(ItemArrayAppend(&items, "kept", i, 1), nullptr);
    ItemArrayTrimSpare(&items);
    EXPECT_NE(items.block, nullptr);
    // Freeing the spare block takes it whatever its size, but never while items are in use.
    ItemArrayFreeSpare(&items);
    EXPECT_NE(items.block, nullptr);
    ItemArrayFreeStrings(&items);
    ItemArrayFreeSpare(&items);
    EXPECT_EQ(std::tuple(items.block, items.capacity), std::tuple(static_cast<BufferItem*>(nullptr), 0u));
    for (int i = 0; i < 3; ++i) ASSERT_NE(ItemArrayAppend(&items, "kept", i, 1), nullptr);
    BlockListBufferDestroy(&items);
    EXPECT_EQ(std::tuple(items.count, items.items, items.block, items.capacity),
              std::tuple(0u, static_cast<BufferItem*>(nullptr), static_cast<BufferItem*>(nullptr), 0u));
    ASSERT_NE(ItemArrayAppend(&items, "again", 0, 1), nullptr);

    FrameRecord record;
    std::memset(&record, 0xFF, sizeof record);
    FrameRecordReset(&record);
    for (int i = 0; i < 13; ++i) EXPECT_EQ(record.words[i], (i == 7 || i == 10) ? 1u : 0u) << i;

    ListHeadTail list{nullptr, nullptr};
    StringItem* a = ListDataStringAdd(&list, "alpha", 1, 2);
    StringItem* b = ListDataStringAdd(&list, nullptr, 3, 4);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(std::string(a->text) + "|" + b->text, "alpha|");
    EXPECT_EQ(list.tail->item, b);
    for (ListNode* n = list.head; n != nullptr;) {
        ListNode* next = n->next;
        StringItemFree(static_cast<StringItem*>(n->item));
        std::free(n);
        n = next;
    }
}

TEST(GlobalBuffer, SnapResidues) {
    for (auto [in, out] : {std::pair{0.00015, 0.00015}, {1.0000000000000002, 1.0}, {-2.5000000000000004, -2.5}}) {
        double x = in;
        SnapDoubleTo1e4(&x);
        EXPECT_EQ(x, out) << in;
    }
    for (auto [in, out] : {std::pair{1.0000001f, 1.0f}, {0.015f, 0.015f}}) {
        float f = in;
        SnapFloatTo001(&f);
        EXPECT_EQ(f, out) << in;
    }
}

}  // namespace
}  // namespace orva
