// The input format cache: the type word it keeps, its row size and when a
// repeated format counts as the same.
#include "framework/input_format_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

namespace orva {
namespace {

TEST(InputFormatCache, KeepsTheNormalisedWordAndItsRowSize) {
    struct Row {
        uint32_t channels, flags, count;
        bool ok;
        uint32_t format, size, keptChannels;
        uint64_t rowBytes;
    };
    const Row rows[] = {
        {3, 0x40, 2, true, 0x40, 8, 3, 3 * 8 * 3},
        {3, 0x10040, 2, true, 0x10040, 8, 3, 3 * 8},            // one row per channel
        {0, 0x08, 9, true, 0x08, 4, 1, 10 * 4},                  // no channels count as one
        {1, 0x09200010, 0, true, 0x10, 4, 1, 4},                 // real-only bits leave a 32-bit real
        {1, 0x09200040, 0, true, 0x09200040, 8, 1, 8},
        {2, 0x140, 0, true, 0x40, 8, 2, 16},                     // a real is never unsigned
        {2, 0x81, 0, true, 0x01, 1, 2, 2},                       // a byte has no order
        {2, 0x04, 1, true, 0x04, 3, 2, 12},
        {0xFFFFFFFF, 0x40, 0xFFFFFFFF, true, 0x40, 8, 0xFFFFFFFF, UINT64_MAX},  // saturates
        {2, 0x80, 1, false, 0x80, 0, 0, 0},
    };
    for (const Row& r : rows) {
        InputFormatCache cache;
        EXPECT_EQ(cache.Update(r.channels, r.flags, r.count), r.ok) << std::hex << r.flags;
        EXPECT_EQ(std::tuple(cache.format, cache.sizeCode, cache.rowBytes, cache.valid),
                  std::tuple(r.format, r.size, r.rowBytes, uint8_t{0}))
            << std::hex << r.flags;
        if (r.ok) {
            EXPECT_EQ(cache.channels, r.keptChannels);
        }
    }
}

TEST(InputFormatCache, MatchesValidDataOfTheSameFormatOnly) {
    InputFormatCache cache;
    ASSERT_TRUE(cache.Update(3, 0x140, 1));
    EXPECT_FALSE(cache.Matches(3, 0x40));  // nothing held yet
    cache.valid = 1;
    EXPECT_TRUE(cache.Matches(3, 0x40));
    EXPECT_TRUE(cache.Matches(3, 0x140));  // the same word once normalised
    EXPECT_FALSE(cache.Matches(2, 0x40));
    EXPECT_FALSE(cache.Matches(3, 0x10040));
    ASSERT_TRUE(cache.Update(3, 0x40, 1));
    EXPECT_FALSE(cache.Matches(3, 0x40));  // a new format: the data held no longer fits

    cache.buffer.scale = 4.0;
    cache.buffer.SetTypeAndCount(0x40, 1);
    ASSERT_TRUE(cache.buffer.AllocImageBuffer(4, 4));
    cache.Reset();
    EXPECT_EQ(std::tuple(cache.format, cache.channels, cache.rowBytes, cache.buffer.block, cache.buffer.scale),
              std::tuple(0u, 0u, uint64_t{0}, static_cast<void*>(nullptr), 1.0));
}

}  // namespace
}  // namespace orva
