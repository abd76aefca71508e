// Byte reversal routines and their selection.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "data/byte_swap.h"
#include "data/kernel_test_support.h"

namespace orva {
namespace {

std::vector<unsigned char> Iota(size_t n) {
    std::vector<unsigned char> v(n);
    std::iota(v.begin(), v.end(), static_cast<unsigned char>(1));
    return v;
}

TEST(ByteSwap, Selection) {
    EXPECT_EQ(ByteSwapSelect(0x88), &ByteSwap4);
    EXPECT_EQ(ByteSwapSelect(0x90), &ByteSwap4);
    EXPECT_EQ(ByteSwapSelect(0xA0), &ByteSwap8);
    EXPECT_EQ(ByteSwapSelect(0x1A0), &ByteSwap8);
    EXPECT_EQ(ByteSwapSelect(0xC0), &ByteSwap8);
    EXPECT_EQ(ByteSwapSelect(0x82), &ByteSwap2);
    for (ElementType t : {0x81u, 0x181u, 0x08u, 0x40u, 0x80u, 0x84u}) EXPECT_EQ(ByteSwapSelect(t), nullptr) << t;

    EXPECT_EQ(CopySelect(0, 1, 1), nullptr);
    EXPECT_EQ(CopySelect(8, 4, 2), nullptr);
    EXPECT_NE(CopySelect(4, 3, 1), nullptr);
    EXPECT_NE(CopySelect(2, 3, 0), nullptr);
    // The contiguous forms ignore the stride; the strided ones honour it.
    auto a = Iota(12), b = Iota(12);
    CopySelect(2, 3, 3)(a.data(), 6, 3);
    ByteSwap2(b.data(), 6);
    EXPECT_EQ(a, b);
    a = Iota(12);
    CopySelect(2, 1, 1)(a.data(), 6, 5);
    EXPECT_EQ(a, b);
}

TEST(ByteSwap, Reversals) {
    unsigned char e8[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    ByteSwap8(e8, 1);
    const unsigned char want8[8] = {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(std::memcmp(e8, want8, 8), 0);
    std::vector<unsigned char> w = Iota(6);
    ByteSwap2(w.data(), 3);
    EXPECT_EQ(w, (std::vector<unsigned char>{2, 1, 4, 3, 6, 5}));

    // Short and long runs, aligned and at an odd address, every width, both loops.
    testing_data::OnBothKernelPaths([] {
        for (int size : {2, 4, 8}) {
            for (size_t offset : {0, 1}) {
                for (int n : {77, 1037}) {
                    std::vector<unsigned char> buf = Iota(static_cast<size_t>(n) * size + 2);
                    const std::vector<unsigned char> want = testing_data::ReversedEach(buf, offset, n, size);
                    SwapRoutine r = size == 2 ? &ByteSwap2 : size == 4 ? &ByteSwap4 : &ByteSwap8;
                    r(buf.data() + offset, n);
                    EXPECT_EQ(buf, want) << size << " " << offset << " " << n;
                    r(buf.data() + offset, 0);
                    r(buf.data() + offset, -3);
                    EXPECT_EQ(buf, want) << size;
                }
            }
        }
    });
}

TEST(ByteSwap, StridedTouchesOneChannel) {
    // Six 4-byte elements, stride 3, count 2: elements 0 and 3 only.
    auto buf = Iota(24);
    CopySelect(4, 3, 1)(buf.data(), 2, 3);
    const std::vector<unsigned char> want = {4,  3,  2,  1,  5,  6,  7,  8,  9,  10, 11, 12,
                                             16, 15, 14, 13, 17, 18, 19, 20, 21, 22, 23, 24};
    EXPECT_EQ(buf, want);
    for (int size : {2, 4, 8}) {
        for (int stride : {2, 3, 4, 7}) {
            std::vector<unsigned char> b = Iota(size_t{101} * stride * size);
            const std::vector<unsigned char> expect = testing_data::ReversedEach(b, 0, 101, size, stride);
            CopySelect(size, stride, 1)(b.data(), 101, stride);
            EXPECT_EQ(b, expect) << size << " " << stride;
        }
    }
}

// One channel of three: every count up to several vector steps, at odd addresses, on
// every loop, in buffers that end with the last element swapped (not with its pixel).
TEST(ByteSwap, StrideThreeRunsOfEveryLength) {
    testing_data::OnBothKernelPaths([] {
        for (int size : {2, 4, 8}) {
            for (size_t offset : {0, 1, 3}) {
                for (int n = 0; n <= 40; ++n) {
                    const size_t bytes = n == 0 ? 0 : static_cast<size_t>(n - 1) * 3 * size + size;
                    std::vector<unsigned char> buf = Iota(offset + bytes);
                    const std::vector<unsigned char> want = testing_data::ReversedEach(buf, offset, n, size, 3);
                    CopySelect(size, 3, 1)(buf.data() + offset, n, 3);
                    ASSERT_EQ(buf, want) << size << " " << offset << " " << n;
                }
            }
        }
    });
}

}  // namespace
}  // namespace orva
