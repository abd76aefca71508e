#include "common/global_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace orva {
namespace {

uint8_t* Bytes(void* p) { return static_cast<uint8_t*>(p); }

// Fills `rows` rows of `rowBytes` with bytes base + row.
void FillRows(void* area, uint32_t rows, uint32_t rowBytes, uint8_t base) {
    for (uint32_t r = 0; r < rows; ++r) std::memset(Bytes(area) + r * rowBytes, base + r, rowBytes);
}

void ExpectRows(const void* area, uint32_t rows, uint32_t rowBytes, uint8_t base) {
    const auto* p = static_cast<const uint8_t*>(area);
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t i = 0; i < rowBytes; ++i)
            ASSERT_EQ(p[r * rowBytes + i], static_cast<uint8_t>(base + r)) << "row " << r;
}

TEST(GlobalBuffer, ReserveFreeAndDestroy) {
    GlobalBuffer buffer;
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_EQ(buffer.block, nullptr);
    ASSERT_TRUE(buffer.Reserve(1000));
    EXPECT_EQ(buffer.size, 1000u);
    std::memset(buffer.block, 1, 1000);
    EXPECT_FALSE(buffer.Reserve(kGlobalBufferMaxBytes + 1));
    EXPECT_EQ(buffer.size, 1000u);  // the old block is kept
    ASSERT_NE(buffer.block, nullptr);
    EXPECT_EQ(Bytes(buffer.block)[999], 1);
    buffer.Free();
    EXPECT_EQ(buffer.size, 0u);
    EXPECT_EQ(buffer.block, nullptr);
    buffer.Free();  // nothing to free
    ASSERT_TRUE(buffer.Reserve(16));  // the destructor frees it (checked by the sanitizer)
}

TEST(GlobalBuffer, TypedBufferFreeThroughTheBase) {
    TypedBuffer typed;
    EXPECT_EQ(typed.data, nullptr);
    EXPECT_EQ(typed.elementsPerItem, 1u);
    ASSERT_TRUE(typed.Reserve(64));
    EXPECT_EQ(typed.data, typed.block);
    typed.flags = 5;
    GlobalBuffer& base = typed;
    base.Free();
    EXPECT_EQ(typed.flags, 0u);
    EXPECT_EQ(typed.data, nullptr);
    EXPECT_EQ(typed.block, nullptr);
    EXPECT_EQ(typed.size, 0u);
}

TEST(GlobalBuffer, ResizeCopiesBothAreas) {
    TypedBuffer b;
    b.itemBytes = 8;
    ASSERT_TRUE(GlobalBufferResize(&b, 4, 3));
    EXPECT_EQ(b.size, 4u * (8 + 3));
    EXPECT_EQ(b.data, b.block);
    EXPECT_EQ(b.area2, Bytes(b.block) + 4 * 8);
    FillRows(b.data, 3, 8, 10);
    FillRows(b.area2, 3, 3, 50);
    b.rowsUsed = 3;

    ASSERT_TRUE(GlobalBufferResize(&b, 10, 3));
    EXPECT_EQ(b.size, 10u * 11);
    EXPECT_EQ(b.area2, Bytes(b.block) + 10 * 8);
    ExpectRows(b.data, 3, 8, 10);
    ExpectRows(b.area2, 3, 3, 50);
    EXPECT_EQ(b.rowsUsed, 3u);

    // Shrinking below the rows in use keeps what fits.
    ASSERT_TRUE(GlobalBufferResize(&b, 2, 3));
    EXPECT_EQ(b.size, 22u);
    ExpectRows(b.data, 2, 8, 10);
    ExpectRows(b.area2, 2, 3, 50);
    EXPECT_EQ(b.rowsUsed, 2u);
}

TEST(GlobalBuffer, ResizePaddedCopiesThreeAreas) {
    TypedBuffer b;
    b.itemBytes = 4;
    ASSERT_TRUE(GlobalBufferResizePadded(&b, 3, 2));
    EXPECT_EQ(b.size, 3u * (2 * 4 + 2));
    EXPECT_EQ(b.area2, Bytes(b.block) + 12);
    EXPECT_EQ(b.area3, Bytes(b.block) + 24);
    FillRows(b.data, 3, 4, 1);
    FillRows(b.area2, 3, 4, 20);
    FillRows(b.area3, 3, 2, 40);
    b.rowsUsed = 3;
    ASSERT_TRUE(GlobalBufferResizePadded(&b, 7, 2));
    EXPECT_EQ(b.size, 70u);
    EXPECT_EQ(b.area2, Bytes(b.block) + 28);
    EXPECT_EQ(b.area3, Bytes(b.block) + 56);
    ExpectRows(b.data, 3, 4, 1);
    ExpectRows(b.area2, 3, 4, 20);
    ExpectRows(b.area3, 3, 2, 40);
}

TEST(GlobalBuffer, ResizeWithoutRowsInUseClearsDataFirst) {
    TypedBuffer b;
    b.itemBytes = 4;
    ASSERT_TRUE(GlobalBufferReplace(&b, 2));
    void* old = b.block;
    EXPECT_EQ(b.data, old);
    // Refused request: the data pointer is cleared, the block kept.
    EXPECT_FALSE(GlobalBufferResize(&b, 0x08000000, 1));
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.block, old);
    EXPECT_EQ(b.size, 8u);

    // With rows in use a refused request changes nothing.
    b.data = b.block;
    b.rowsUsed = 1;
    EXPECT_FALSE(GlobalBufferResizePadded(&b, 0x04000000, 1));
    EXPECT_EQ(b.data, old);
    EXPECT_EQ(b.block, old);
}

TEST(GlobalBuffer, GrowKeepReplaceAndZeroed) {
    TypedBuffer b;
    b.itemBytes = 6;
    // No rows in use: a plain replacement.
    ASSERT_TRUE(GlobalBufferGrowKeep(&b, 2));
    EXPECT_EQ(b.size, 12u);
    FillRows(b.data, 2, 6, 7);
    b.rowsUsed = 2;
    ASSERT_TRUE(GlobalBufferGrowKeep(&b, 5));
    EXPECT_EQ(b.size, 30u);
    EXPECT_EQ(b.data, b.block);
    EXPECT_EQ(b.area2, nullptr);
    ExpectRows(b.data, 2, 6, 7);

    ASSERT_TRUE(GlobalBufferAllocZeroed(&b, 4));
    EXPECT_EQ(b.size, 24u);
    EXPECT_EQ(b.data, b.block);
    std::vector<uint8_t> zeros(24, 0);
    EXPECT_EQ(std::memcmp(b.block, zeros.data(), 24), 0);

    ASSERT_TRUE(GlobalBufferReplace(&b, 1));
    EXPECT_EQ(b.size, 6u);
    EXPECT_EQ(b.rowsUsed, 1u);  // lowered to what the block holds
}

TEST(GlobalBuffer, LimitIsChecked) {
    TypedBuffer b;
    b.itemBytes = 1;
    ASSERT_TRUE(GlobalBufferReplace(&b, 16));
    void* old = b.block;
    // 0x20000001 bytes: refused, the old block kept.
    EXPECT_FALSE(GlobalBufferReplace(&b, 0x20000001));
    EXPECT_FALSE(GlobalBufferAllocZeroed(&b, 0x20000001));
    EXPECT_EQ(b.block, old);
    EXPECT_EQ(b.data, old);
    EXPECT_EQ(b.size, 16u);
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
    EXPECT_EQ(b.data, nullptr);
}

}  // namespace
}  // namespace orva
