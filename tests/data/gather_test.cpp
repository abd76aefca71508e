// Pixel gather kernels and the strided copy-convert.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "data/dconv.h"
#include "data/gather.h"

namespace orva {
namespace {

// Source pixels whose bytes carry their own index, so the picks can be read back.
std::vector<unsigned char> Pixels(int count, int pixelBytes) {
    std::vector<unsigned char> v(static_cast<size_t>(count) * pixelBytes);
    for (int p = 0; p < count; ++p)
        for (int b = 0; b < pixelBytes; ++b) v[static_cast<size_t>(p) * pixelBytes + b] = static_cast<unsigned char>(p * 7 + b);
    return v;
}

std::vector<int> Gather(uint32_t components, uint32_t size, uint32_t step, uint64_t end, int sourcePixels) {
    const int pixelBytes = static_cast<int>(components * size);
    const auto src = Pixels(sourcePixels, pixelBytes);
    std::vector<unsigned char> dst(static_cast<size_t>(sourcePixels + 2) * pixelBytes + 1, 0xEE);
    GatherKernel k = PixelCopyKernels(components, size);
    EXPECT_NE(k, nullptr);
    if (!k) return {};
    k(src.data(), dst.data() + 1, GatherStep{step, components, end});
    // Read back which source pixel each output pixel is, stopping at the filler.
    std::vector<int> picks;
    for (int o = 0; o < sourcePixels + 2; ++o) {
        const unsigned char* px = dst.data() + 1 + static_cast<size_t>(o) * pixelBytes;
        if (px[0] == 0xEE && (pixelBytes < 2 || px[1] == 0xEE)) break;
        const int p = px[0] / 7;
        EXPECT_EQ(std::memcmp(px, src.data() + static_cast<size_t>(p) * pixelBytes, pixelBytes), 0);
        picks.push_back(p);
    }
    return picks;
}

TEST(Gather, PicksPixelsByFixedPointStep) {
    EXPECT_EQ(Gather(1, 2, 0x10000, 4 * 0x10000, 8), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Gather(1, 4, 0x28000, 10 * 0x10000, 12), (std::vector<int>{0, 2, 5, 7}));
    EXPECT_EQ(Gather(1, 1, 0x20000, 0x20000, 8), (std::vector<int>{0}));
    EXPECT_EQ(Gather(1, 1, 0x20000, 0x10000, 8), (std::vector<int>{0}));
    EXPECT_EQ(Gather(3, 2, 0x30000, 9 * 0x10000, 10), (std::vector<int>{0, 3, 6}));
    EXPECT_EQ(Gather(5, 4, 0x20000, 6 * 0x10000, 8), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(Gather(4, 8, 0x18000, 6 * 0x10000, 8), (std::vector<int>{0, 1, 3, 4}));
    // A zero step copies the first pixel only instead of looping forever.
    EXPECT_EQ(Gather(2, 2, 0, 8 * 0x10000, 8), (std::vector<int>{0}));
}

TEST(Gather, KernelChoice) {
    EXPECT_NE(PixelCopyKernels(3, 2), PixelCopyKernels(1, 4));  // 6-byte pixels
    EXPECT_EQ(PixelCopyKernels(2, 2), PixelCopyKernels(1, 4));  // 4-byte pixels
    EXPECT_EQ(PixelCopyKernels(4, 1), PixelCopyKernels(1, 4));
    EXPECT_EQ(PixelCopyKernels(2, 4), PixelCopyKernels(1, 8));
    EXPECT_EQ(PixelCopyKernels(4, 2), PixelCopyKernels(1, 8));
    EXPECT_EQ(PixelCopyKernels(4, 4), PixelCopyKernels(2, 8));
    EXPECT_EQ(PixelCopyKernels(5, 4), PixelCopyKernels(0, 4));  // the general 4-byte kernel
    EXPECT_NE(PixelCopyKernels(5, 4), PixelCopyKernels(5, 2));
    EXPECT_EQ(PixelCopyKernels(1, 3), nullptr);
    EXPECT_EQ(PixelCopyKernels(5, 3), nullptr);
    EXPECT_EQ(PixelCopyKernels(1, 16), nullptr);
}

TEST(Gather, StridedCopyConvertPullsOneChannel) {
    // Three interleaved 16-bit channels, two rows of four pixels with a padded stride.
    const uint32_t pixels = 4, rows = 2, channels = 3, srcStride = 4 * 3 * 2 + 6, dstStride = 4 * 8 + 8;
    std::vector<unsigned char> src(srcStride * rows, 0);
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t p = 0; p < pixels; ++p)
            for (uint32_t c = 0; c < channels; ++c) {
                const int16_t v = static_cast<int16_t>(1000 * r + 10 * p + c - 20);
                std::memcpy(&src[r * srcStride + (p * channels + c) * 2], &v, 2);
            }
    DConv d;
    ScaleZero sz{.scale = 0.5};
    DConvSelectIn(d, sz, kTypeI16, kTypeF64);
    std::vector<unsigned char> dst(dstStride * rows, 0xEE), scratch(pixels * 2);
    StridedCopyConvert(dst.data(), src.data(), scratch.data(), pixels, rows, srcStride, dstStride, sz, d.kernel,
                       channels, kTypeI16, 2, 2);
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint32_t p = 0; p < pixels; ++p) {
            double got;
            std::memcpy(&got, &dst[r * dstStride + p * 8], 8);
            EXPECT_EQ(got, 0.5 * (1000.0 * r + 10.0 * p + 2 - 20));
        }
        EXPECT_EQ(dst[r * dstStride + pixels * 8], 0xEE);  // the row padding is not written
    }
    // A single channel converts straight from the source rows; 8-byte elements.
    const double reals[2][2] = {{1.5, -2.5}, {4.0, 8.0}};
    float out[2][2];
    sz = ScaleZero{};
    DConvSelectIn(d, sz, kTypeF64, kTypeF32);
    StridedCopyConvert(out, reals, nullptr, 2, 2, 16, 8, sz, d.kernel, 1, kTypeF64, 0, 8);
    EXPECT_EQ(out[0][1], -2.5f);
    EXPECT_EQ(out[1][0], 4.0f);
    // Nothing happens for empty blocks or a channel outside the pixel.
    out[0][0] = 9;
    StridedCopyConvert(out, reals, nullptr, 0, 2, 16, 8, sz, d.kernel, 1, kTypeF64, 0, 8);
    StridedCopyConvert(out, reals, nullptr, 2, 0, 16, 8, sz, d.kernel, 1, kTypeF64, 0, 8);
    StridedCopyConvert(out, reals, nullptr, 2, 2, 16, 8, sz, d.kernel, 2, kTypeF64, 2, 8);
    EXPECT_EQ(out[0][0], 9.0f);
    // Other element sizes and channel counts pick the right element.
    for (uint32_t size : {1u, 4u, 8u}) {
        for (uint32_t ch : {2u, 4u, 5u}) {
            const uint32_t n = 7;
            std::vector<unsigned char> s(n * ch * size);
            for (size_t k = 0; k < s.size(); ++k) s[k] = static_cast<unsigned char>(k);
            std::vector<unsigned char> t(n * size), o(n * size);
            const ElementType ty = size == 1 ? kTypeU8 : size == 4 ? kTypeU32 : kTypeU64;
            ScaleZero id;
            DConvSelectIn(d, id, ty, ty);
            StridedCopyConvert(o.data(), s.data(), t.data(), n, 1, n * ch * size, n * size, id, d.kernel, ch, ty,
                               ch - 1, size);
            for (uint32_t p = 0; p < n; ++p)
                EXPECT_EQ(std::memcmp(&o[p * size], &s[(p * ch + ch - 1) * size], size), 0) << size << " " << ch;
        }
    }
}

}  // namespace
}  // namespace orva
