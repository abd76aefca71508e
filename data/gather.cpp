#include "data/kernel_pragmas.h"

#include "data/gather.h"

#include <cstring>

#include "data/kernel_util.h"

namespace orva {
namespace {

// Pixels of N bytes: the compiler turns the fixed-size copy into word moves.
template <size_t N>
void GatherFixed(const void* source, void* destination, const GatherStep& g) {
    const auto* s = static_cast<const unsigned char*>(source);
    auto* d = static_cast<unsigned char*>(destination);
    std::memcpy(d, s, N);
    if (g.step == 0) return;
    d += N;
    // The next position is formed only while it stays below the end, so it never wraps.
    for (uint64_t pos = g.step; pos < g.end; pos += g.step, d += N) {
        std::memcpy(d, s + (pos >> 16) * N, N);
        if (g.end - pos <= g.step) break;
    }
}

// Pixels of components x Size bytes.
template <size_t Size>
void GatherGeneral(const void* source, void* destination, const GatherStep& g) {
    const auto* s = static_cast<const unsigned char*>(source);
    auto* d = static_cast<unsigned char*>(destination);
    const size_t pixel = static_cast<size_t>(g.components) * Size;
    if (pixel == 0) return;
    std::memcpy(d, s, pixel);
    if (g.step == 0) return;
    d += pixel;
    for (uint64_t pos = g.step; pos < g.end; pos += g.step, d += pixel) {
        std::memcpy(d, s + (pos >> 16) * pixel, pixel);
        if (g.end - pos <= g.step) break;
    }
}

template <size_t Size>
void PackChannel(unsigned char* __restrict out, const unsigned char* __restrict in, uint32_t pixels,
                 size_t pixelBytes) {
    for (uint32_t p = 0; p < pixels; ++p) std::memcpy(out + p * Size, in + p * pixelBytes, Size);
}

// Loops with the channel count known at compile time for the usual layouts.
template <size_t Size, uint32_t Channels>
void PackChannelFixed(unsigned char* __restrict out, const unsigned char* __restrict in, uint32_t pixels) {
    for (uint32_t p = 0; p < pixels; ++p) std::memcpy(out + p * Size, in + p * (Size * Channels), Size);
}

template <size_t Size>
void PackChannelAny(unsigned char* out, const unsigned char* in, uint32_t pixels, uint32_t channels) {
    switch (channels) {
        case 2: return PackChannelFixed<Size, 2>(out, in, pixels);
        case 3: return PackChannelFixed<Size, 3>(out, in, pixels);
        case 4: return PackChannelFixed<Size, 4>(out, in, pixels);
        default: return PackChannel<Size>(out, in, pixels, static_cast<size_t>(channels) * Size);
    }
}

}  // namespace

GatherKernel PixelCopyKernels(uint32_t components, uint32_t componentSize) {
    if (componentSize != 1 && componentSize != 2 && componentSize != 4 && componentSize != 8) return nullptr;
    if (components >= 1 && components <= 4) {
        switch (components * componentSize) {
            case 1: return &GatherFixed<1>;
            case 2: return &GatherFixed<2>;
            case 3: return &GatherFixed<3>;
            case 4: return &GatherFixed<4>;
            case 6: return &GatherFixed<6>;
            case 8: return &GatherFixed<8>;
            case 12: return &GatherFixed<12>;
            case 16: return &GatherFixed<16>;
            case 24: return &GatherFixed<24>;
            default: return &GatherFixed<32>;
        }
    }
    switch (componentSize) {
        case 1: return &GatherGeneral<1>;
        case 2: return &GatherGeneral<2>;
        case 4: return &GatherGeneral<4>;
        default: return &GatherGeneral<8>;
    }
}

void StridedCopyConvert(void* destination, const void* source, void* scratch, uint32_t pixelsPerRow,
                        uint32_t rows, uint32_t sourceStride, uint32_t destinationStride,
                        const ScaleZero& params, DConvKernel kernel, uint32_t channels,
                        ElementType sourceType, uint32_t channelIndex, uint32_t elementSize) {
    (void)sourceType;  // the element size decides the byte moves
    if (pixelsPerRow == 0 || rows == 0 || kernel == nullptr || elementSize == 0 || channels == 0 ||
        channelIndex >= channels || pixelsPerRow > static_cast<uint32_t>(INT32_MAX))
        return;
    const auto* s = static_cast<const unsigned char*>(source);
    auto* d = static_cast<unsigned char*>(destination);
    auto* t = static_cast<unsigned char*>(scratch);
    const int32_t count = static_cast<int32_t>(pixelsPerRow);
    const size_t offset = static_cast<size_t>(channelIndex) * elementSize;
    for (uint32_t r = 0; r < rows; ++r, s += sourceStride, d += destinationStride) {
        if (channels == 1) {
            kernel(s, d, count, params);
            continue;
        }
        switch (elementSize) {
            case 1: PackChannelAny<1>(t, s + offset, pixelsPerRow, channels); break;
            case 2: PackChannelAny<2>(t, s + offset, pixelsPerRow, channels); break;
            case 4: PackChannelAny<4>(t, s + offset, pixelsPerRow, channels); break;
            case 8: PackChannelAny<8>(t, s + offset, pixelsPerRow, channels); break;
            default:
                for (uint32_t p = 0; p < pixelsPerRow; ++p)
                    std::memcpy(t + static_cast<size_t>(p) * elementSize,
                                s + (static_cast<size_t>(p) * channels) * elementSize + offset, elementSize);
        }
        kernel(t, d, count, params);
    }
}

}  // namespace orva
