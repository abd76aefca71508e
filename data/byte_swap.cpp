#include "data/kernel_pragmas.h"

#include "data/byte_swap.h"

#include "data/kernel_util.h"

namespace orva {
namespace {

using namespace kernel;

template <class U>
ORVA_INLINE void SwapLoop(unsigned char* __restrict b, int64_t n) {
    for (int64_t i = 0; i < n; ++i) {
        unsigned char* p = b + i * static_cast<int64_t>(sizeof(U));
        StoreAt<U>(p, ByteReverseBits(LoadAt<U, false>(p)));
    }
}

template <class U>
ORVA_INLINE void SwapStridedLoop(unsigned char* __restrict b, int64_t n, int64_t stride) {
    const int64_t step = stride * static_cast<int64_t>(sizeof(U));
    for (int64_t i = 0; i < n; ++i) {
        unsigned char* p = b + i * step;
        StoreAt<U>(p, ByteReverseBits(LoadAt<U, false>(p)));
    }
}

template <class U>
[[gnu::target("avx2")]] void SwapAvx2(unsigned char* b, int64_t n) { SwapLoop<U>(b, n); }
template <class U>
void SwapBase(unsigned char* b, int64_t n) { SwapLoop<U>(b, n); }

template <class U>
void Swap(void* buffer, int64_t count) {
    if (count <= 0 || buffer == nullptr) return;
    auto* b = static_cast<unsigned char*>(buffer);
    if (CpuHasAvx2()) SwapAvx2<U>(b, count);
    else SwapBase<U>(b, count);
}

template <class U>
void SwapStrided(void* buffer, int64_t count, int64_t stride) {
    if (count <= 0 || buffer == nullptr) return;
    if (stride <= 1) return Swap<U>(buffer, count);
    auto* b = static_cast<unsigned char*>(buffer);
    // Unrolled by hand for the common interleaved layouts.
    if (stride == 3) SwapStridedLoop<U>(b, count, 3);
    else if (stride == 2) SwapStridedLoop<U>(b, count, 2);
    else if (stride == 4) SwapStridedLoop<U>(b, count, 4);
    else SwapStridedLoop<U>(b, count, stride);
}

void Swap2Any(void* b, int64_t n, int64_t) { Swap<uint16_t>(b, n); }
void Swap4Any(void* b, int64_t n, int64_t) { Swap<uint32_t>(b, n); }
void Swap8Any(void* b, int64_t n, int64_t) { Swap<uint64_t>(b, n); }

}  // namespace

void ByteSwap2(void* buffer, int64_t count) { Swap<uint16_t>(buffer, count); }
void ByteSwap4(void* buffer, int64_t count) { Swap<uint32_t>(buffer, count); }
void ByteSwap8(void* buffer, int64_t count) { Swap<uint64_t>(buffer, count); }
void ByteSwap2Strided(void* buffer, int64_t count, int64_t stride) { SwapStrided<uint16_t>(buffer, count, stride); }
void ByteSwap4Strided(void* buffer, int64_t count, int64_t stride) { SwapStrided<uint32_t>(buffer, count, stride); }
void ByteSwap8Strided(void* buffer, int64_t count, int64_t stride) { SwapStrided<uint64_t>(buffer, count, stride); }

SwapRoutine ByteSwapSelect(ElementType type) {
    if (!(type & kElemSwapped) || (type & kElemInt8)) return nullptr;
    if (type & (kElemReal64 | kElemInt64)) return &ByteSwap8;
    if (type & (kElemReal32 | kElemInt32)) return &ByteSwap4;
    if (type & kElemInt16) return &ByteSwap2;
    return nullptr;
}

StridedSwapRoutine CopySelect(uint32_t elementSize, uint32_t channels, uint32_t channelsRead) {
    if (elementSize == 0) return nullptr;
    if (channels == 1 || channelsRead == channels) {
        if (elementSize == 8) return &Swap8Any;
        if (elementSize == 4) return &Swap4Any;
        return &Swap2Any;
    }
    if (channelsRead > 1) return nullptr;
    if (elementSize == 8) return &ByteSwap8Strided;
    if (elementSize == 4) return &ByteSwap4Strided;
    return &ByteSwap2Strided;
}

}  // namespace orva
