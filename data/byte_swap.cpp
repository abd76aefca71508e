#include "data/kernel_pragmas.h"

#include "data/byte_swap.h"

#include <immintrin.h>

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

// ---- AVX2 loops -----------------------------------------------------------------------
//
// The swaps are bound by memory: the compiler's loops above keep too few lines in flight
// on one core, so these fetch the lines kAhead bytes on themselves, as non-temporal
// prefetches: a line is used once, and fetching it into the outer caches too costs
// about a tenth of the run on the machines measured. Both rewrite whole 16-byte blocks
// with one byte shuffle each.

ORVA_TARGET_AVX2_BEGIN

constexpr size_t kAhead = 2048;

// The shuffle of one 16-byte block of a run: byte j takes byte mask[j]. Whole elements
// of U lie in a block.
template <class U>
ORVA_INLINE __m128i ReverseMask() {
    alignas(16) unsigned char m[16];
    for (int j = 0; j < 16; ++j) m[j] = static_cast<unsigned char>(j / sizeof(U) * sizeof(U) + sizeof(U) - 1 - j % sizeof(U));
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
}

// Contiguous elements: the count done (whole 64-byte steps).
template <class U>
int64_t SwapVector(unsigned char* b, int64_t n) {
    const __m128i m = ReverseMask<U>();
    const int64_t steps = n * static_cast<int64_t>(sizeof(U)) / 64;
    for (int64_t k = 0; k < steps; ++k) {
        __m128i* p = reinterpret_cast<__m128i*>(b + k * 64);
        _mm_prefetch(reinterpret_cast<const char*>(p) + kAhead, _MM_HINT_NTA);
        const __m128i v0 = _mm_loadu_si128(p), v1 = _mm_loadu_si128(p + 1), v2 = _mm_loadu_si128(p + 2),
                      v3 = _mm_loadu_si128(p + 3);
        _mm_storeu_si128(p, _mm_shuffle_epi8(v0, m));
        _mm_storeu_si128(p + 1, _mm_shuffle_epi8(v1, m));
        _mm_storeu_si128(p + 2, _mm_shuffle_epi8(v2, m));
        _mm_storeu_si128(p + 3, _mm_shuffle_epi8(v3, m));
    }
    return steps * 64 / static_cast<int64_t>(sizeof(U));
}

// Every third element (one channel of three-channel pixels): 48 bytes hold 16 / size
// pixels whole, and an element never crosses a 16-byte block, so each block has a
// shuffle that reverses the channel's elements and keeps every other byte where it is.
// The count done: whole 48-byte steps that end before the last element, so that no
// byte past it is rewritten.
template <class U>
int64_t SwapStride3Vector(unsigned char* b, int64_t n) {
    constexpr int64_t kPixels = 16 / sizeof(U);
    alignas(16) unsigned char m[48];
    for (int j = 0; j < 48; ++j) {
        const int e = j / static_cast<int>(sizeof(U)), q = j % static_cast<int>(sizeof(U));
        const int from = e % 3 == 0 ? e * static_cast<int>(sizeof(U)) + static_cast<int>(sizeof(U)) - 1 - q : j;
        m[j] = static_cast<unsigned char>(from % 16);
    }
    const __m128i m0 = _mm_load_si128(reinterpret_cast<const __m128i*>(m)),
                  m1 = _mm_load_si128(reinterpret_cast<const __m128i*>(m + 16)),
                  m2 = _mm_load_si128(reinterpret_cast<const __m128i*>(m + 32));
    int64_t i = 0;
    for (; i + kPixels < n; i += kPixels) {
        __m128i* p = reinterpret_cast<__m128i*>(b + i * 3 * static_cast<int64_t>(sizeof(U)));
        _mm_prefetch(reinterpret_cast<const char*>(p) + kAhead, _MM_HINT_NTA);
        const __m128i v0 = _mm_loadu_si128(p), v1 = _mm_loadu_si128(p + 1), v2 = _mm_loadu_si128(p + 2);
        _mm_storeu_si128(p, _mm_shuffle_epi8(v0, m0));
        _mm_storeu_si128(p + 1, _mm_shuffle_epi8(v1, m1));
        _mm_storeu_si128(p + 2, _mm_shuffle_epi8(v2, m2));
    }
    return i;
}

ORVA_TARGET_END

template <class U>
[[gnu::target("avx2")]] void SwapAvx2(unsigned char* b, int64_t n) {
    const int64_t done = SwapVector<U>(b, n);
    SwapLoop<U>(b + done * static_cast<int64_t>(sizeof(U)), n - done);
}
template <class U>
[[gnu::target("avx2")]] void SwapStride3Avx2(unsigned char* b, int64_t n) {
    const int64_t done = SwapStride3Vector<U>(b, n);
    SwapStridedLoop<U>(b + done * 3 * static_cast<int64_t>(sizeof(U)), n - done, 3);
}
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
    if (stride == 3 && CpuHasAvx2()) SwapStride3Avx2<U>(b, count);
    else if (stride == 3) SwapStridedLoop<U>(b, count, 3);
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
