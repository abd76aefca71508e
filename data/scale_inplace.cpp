#include "data/kernel_pragmas.h"

// Products and sums are never fused (the AVX-512 region could fuse them): x * scale + zero
// rounds twice on every path, as the results of the element loops define. Set before
// anything is included, so that every function of the file is compiled alike.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#else
#pragma GCC optimize("fp-contract=off")
#endif

#include "data/scale_inplace.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "data/kernel_avx2.h"
#include "data/kernel_util.h"

namespace orva {
namespace {

using namespace kernel;

template <class T, bool Round>
ORVA_INLINE void ScaleIntLoop(unsigned char* __restrict b, int32_t n, double scale, double zero) {
    for (int32_t i = 0; i < n; ++i) {
        unsigned char* p = b + static_cast<size_t>(i) * sizeof(T);
        const double y = static_cast<double>(LoadAt<T, false>(p)) * scale + zero;
        StoreAt<T>(p, Round ? SaturateRound<T>(y) : SaturateTrunc<T>(y));
    }
}

ORVA_INLINE void ScaleF64Loop(unsigned char* __restrict b, int32_t n, double scale, double zero) {
    for (int32_t i = 0; i < n; ++i) {
        unsigned char* p = b + static_cast<size_t>(i) * 8;
        const double x = LoadAt<double, false>(p);
        const double y = ClampToDoubleRange(x * scale + zero);
        StoreAt<double>(p, x == -DBL_MAX ? x : y);
    }
}

ORVA_INLINE void ScaleF32Loop(unsigned char* __restrict b, int32_t n, double scale, double zero) {
    for (int32_t i = 0; i < n; ++i) {
        unsigned char* p = b + static_cast<size_t>(i) * 4;
        const double y = static_cast<double>(LoadAt<float, false>(p)) * scale + zero;
        StoreAt<float>(p, ClampToFloat(y));
    }
}

// Packs a block of reals that was first copied out of the buffer, so the loop
// reads and writes separate memory and vectorises.
template <class T>
ORVA_INLINE void PackLoop(const double* __restrict in, unsigned char* __restrict out, int32_t n) {
    for (int32_t i = 0; i < n; ++i) StoreAt<T>(out + static_cast<size_t>(i) * sizeof(T), SaturateRound<T>(in[i]));
}

// Four 16-bit elements at p replaced by their entries of the table r.
ORVA_INLINE void LookUp4(unsigned char* p, const uint16_t* r) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    v = uint64_t{r[v & 0xFFFF]} | uint64_t{r[(v >> 16) & 0xFFFF]} << 16 | uint64_t{r[(v >> 32) & 0xFFFF]} << 32 |
        uint64_t{r[v >> 48]} << 48;
    std::memcpy(p, &v, 8);
}

// ---- AVX2 loops -----------------------------------------------------------------------
//
// The compiler's own vectorisation of the loops above converts, bounds and packs one
// vector at a time with many shuffles; these do sixteen elements a step for the types
// whose bounded values fit 32-bit lanes, with the same results, and leave the rest of a
// run to the loops above.

ORVA_TARGET_AVX2_BEGIN

// Sixteen elements at p scaled in place, with the results of the loop above when
// x * scale + zero cannot be NaN.
template <class T, bool Round>
ORVA_INLINE void ScaleStep16(unsigned char* p, __m256d s, __m256d z) {
    const auto scaled = [&](int k) {
        return _mm256_add_pd(_mm256_mul_pd(Load4<T, false>(p + 4 * k * sizeof(T)), s), z);
    };
    const __m256d y[4] = {scaled(0), scaled(1), scaled(2), scaled(3)};
    Store16<T>(p, Saturate16<T, Round, false>(y));
}

// In-place scaling; the count done (a multiple of 16). With finite factors x * scale +
// zero is never NaN for these integers (a product that overflows is an infinity, bounded
// like any other value), so the NaN test is left out; other factors take the loop above.
template <class T, bool Round>
int32_t ScaleIntVector(unsigned char* b, int32_t n, double scale, double zero) {
    if (!(std::isfinite(scale) && std::isfinite(zero))) return 0;
    const __m256d s = _mm256_set1_pd(scale), z = _mm256_set1_pd(zero);
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) ScaleStep16<T, Round>(b + static_cast<size_t>(i) * sizeof(T), s, z);
    return i;
}

// 16-bit scaling that splits each 48 elements between the vector units (the first two
// blocks of sixteen) and the table r of every value's result (the third, looked up by the
// integer units and load ports): the two run side by side, and the run takes less time
// than either alone would. Two blocks to one: the lookups wait on the second-level cache,
// so an even split leaves the vector units idle (Zen 3, a 4096 x 4096 frame: 4.2-4.4 ms
// against 5.2 for the even split and about 5 for the vector units alone). The loop is then
// bound by memory as much as by work: the lines 2 KB ahead are prefetched (non-temporal:
// they are read and written once). The count done (a multiple of 48); finite factors
// only, as above.
template <class T, bool Round>
int32_t ScaleVectorAndTable(unsigned char* b, int32_t n, double scale, double zero, const uint16_t* r) {
    static_assert(sizeof(T) == 2);
    if (!(std::isfinite(scale) && std::isfinite(zero))) return 0;
    const __m256d s = _mm256_set1_pd(scale), z = _mm256_set1_pd(zero);
    int32_t i = 0;
    for (; i + 48 <= n; i += 48) {
        unsigned char* p = b + static_cast<size_t>(i) * 2;
        _mm_prefetch(reinterpret_cast<const char*>(p) + 2048, _MM_HINT_NTA);
        _mm_prefetch(reinterpret_cast<const char*>(p) + 2048 + 64, _MM_HINT_NTA);
        ScaleStep16<T, Round>(p, s, z);
        ScaleStep16<T, Round>(p + 32, s, z);
        for (int k = 0; k < 4; ++k) LookUp4(p + 64 + 8 * k, r);
    }
    return i;
}

// Packing in place; the count done (a multiple of 16, from `from` on). Each step reads
// its sixteen reals before it writes their integers, at or before the first of them.
// The reads run ahead of the hardware prefetcher by a prefetch of the lines 4 KB on:
// the loop is bound by memory, and without it one core keeps too few lines in flight.
// The reals are read once, so the prefetch asks not to keep them in the outer caches.
// With Stream the integers go past the caches (b + from * sizeof(T) 16-byte aligned;
// the caller fences): each line they land on was read long before, and would be read
// from memory again only to be overwritten.
template <class T, bool Stream>
int32_t PackVector(unsigned char* b, int32_t from, int32_t n) {
    constexpr size_t kAhead = 4096;
    int32_t i = from;
    for (; i + 16 <= n; i += 16) {
        const double* in = reinterpret_cast<const double*>(b + static_cast<size_t>(i) * 8);
        _mm_prefetch(reinterpret_cast<const char*>(in) + kAhead, _MM_HINT_NTA);
        _mm_prefetch(reinterpret_cast<const char*>(in) + kAhead + 64, _MM_HINT_NTA);
        const __m256d y[4] = {_mm256_loadu_pd(in), _mm256_loadu_pd(in + 4), _mm256_loadu_pd(in + 8),
                              _mm256_loadu_pd(in + 12)};
        const Packed16<T> r = Saturate16<T, true, true>(y);
        unsigned char* out = b + static_cast<size_t>(i) * sizeof(T);
        if constexpr (Stream) {
            for (size_t k = 0; k < sizeof(T); ++k) _mm_stream_si128(reinterpret_cast<__m128i*>(out) + k, r.part[k]);
        } else {
            Store16<T>(out, r);
        }
    }
    return i;
}

ORVA_TARGET_END

// ---- AVX-512 loop ---------------------------------------------------------------------
//
// The same steps as the AVX2 loop on eight doubles a vector. Where a core runs 64-byte
// operations whole this alone scales 16-bit samples faster than the AVX2 loop and the table
// together (Zen 5, on a busy machine: a 4096 x 4096 frame in 2.3-2.5 ms against 3.6-4.3,
// while a copy of as many bytes took 1.5-1.7), so it takes every run of the narrow types;
// the table, whose lookups wait on the second-level cache, would only slow it down.

ORVA_TARGET_AVX512_BEGIN
// This compiler's intrinsic headers hand the unmasked 512-bit conversions and minimum an
// undefined source operand for the lanes a mask would keep, and then warn about it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// Eight consecutive elements of T at p (any alignment) widened to doubles exactly.
template <class T>
ORVA_INLINE __m512d Load8(const unsigned char* p) {
    if constexpr (sizeof(T) == 1) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return _mm512_cvtepi32_pd(std::is_signed_v<T> ? _mm256_cvtepi8_epi32(v)
                                                      : _mm256_cvtepu8_epi32(v));
    } else if constexpr (sizeof(T) == 2) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return _mm512_cvtepi32_pd(std::is_signed_v<T> ? _mm256_cvtepi16_epi32(v)
                                                      : _mm256_cvtepu16_epi32(v));
    } else {
        static_assert(std::is_same_v<T, int32_t>);
        return _mm512_cvtepi32_pd(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
    }
}

// Sixteen elements at p scaled in place, with the results of the element loop when x *
// scale + zero cannot be NaN; as Saturate16 (kernel_avx2.h) does it: the upper bound applied
// to the doubles, the lower one by the 32-bit truncation (its out-of-range value is the
// lowest) and the saturating packs. InRange: no value can reach 2^31 (StaysInInt32), so the
// upper bound is left to the packs too.
template <class T, bool Round, bool InRange>
ORVA_INLINE void ScaleStep16Avx512(unsigned char* p, __m512d s, __m512d z) {
    const __m512d hi = _mm512_set1_pd(static_cast<double>(std::numeric_limits<T>::max()));
    const __m512d half = _mm512_set1_pd(0.49999999999999994);
    const __m512i sign = _mm512_set1_epi64(INT64_MIN);
    __m256i c[2];
    for (int k = 0; k < 2; ++k) {
        __m512d v = _mm512_add_pd(_mm512_mul_pd(Load8<T>(p + 8 * k * sizeof(T)), s), z);
        if constexpr (!InRange) v = _mm512_min_pd(hi, v);
        if constexpr (Round && std::is_unsigned_v<T>) {
            v = _mm512_add_pd(v, half);
        } else if constexpr (Round) {
            // The step with the sign of v: (v & sign) | half.
            const __m512i step = _mm512_ternarylogic_epi64(sign, _mm512_castpd_si512(v),
                                                           _mm512_castpd_si512(half), 0xEA);
            v = _mm512_add_pd(v, _mm512_castsi512_pd(step));
        }
        c[k] = _mm512_cvttpd_epi32(v);
    }
    if constexpr (sizeof(T) == 4) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), c[0]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p) + 1, c[1]);
        return;
    }
    // The packs work within 16-byte lanes: the 64-bit quarters come back in order 0, 2, 1, 3.
    constexpr bool toUnsigned16 = sizeof(T) == 2 && std::is_unsigned_v<T>;
    const __m256i packed =
        toUnsigned16 ? _mm256_packus_epi32(c[0], c[1]) : _mm256_packs_epi32(c[0], c[1]);
    const __m256i w = _mm256_permute4x64_epi64(packed, 0xD8);
    if constexpr (sizeof(T) == 2) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), w);
    } else {
        // Through 16 bits: saturating twice saturates once.
        const __m128i lo = _mm256_castsi256_si128(w), up = _mm256_extracti128_si256(w, 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                         std::is_signed_v<T> ? _mm_packs_epi16(lo, up) : _mm_packus_epi16(lo, up));
    }
}

template <class T, bool Round, bool InRange>
int32_t ScaleIntVectorAvx512(unsigned char* b, int32_t n, double scale, double zero) {
    const __m512d s = _mm512_set1_pd(scale), z = _mm512_set1_pd(zero);
    int32_t i = 0;
    for (; i + 16 <= n; i += 16)
        ScaleStep16Avx512<T, Round, InRange>(b + static_cast<size_t>(i) * sizeof(T), s, z);
    return i;
}

#pragma GCC diagnostic pop
ORVA_TARGET_END

// True when |x * scale + zero| stays below 2^30 for every x of T (finite factors): the
// 32-bit truncation then never leaves its range.
template <class T>
bool StaysInInt32(double scale, double zero) {
    const double most = std::max(static_cast<double>(std::numeric_limits<T>::max()),
                                 -static_cast<double>(std::numeric_limits<T>::min()));
    return most * std::fabs(scale) + std::fabs(zero) < 0x1p30;
}

// Finite factors only (see ScaleIntVector).
template <class T, bool Round>
[[gnu::target("avx2,avx512f")]] void ScaleIntAvx512(unsigned char* b, int32_t n, double s,
                                                    double z) {
    const int32_t done = StaysInInt32<T>(s, z) ? ScaleIntVectorAvx512<T, Round, true>(b, n, s, z)
                                               : ScaleIntVectorAvx512<T, Round, false>(b, n, s, z);
    ScaleIntLoop<T, Round>(b + static_cast<size_t>(done) * sizeof(T), n - done, s, z);
}

// One pair of loop functions per kind (baseline and AVX2), chosen once per call.
template <class T, bool Round>
[[gnu::target("avx2")]] void ScaleIntAvx2(unsigned char* b, int32_t n, double s, double z) {
    int32_t done = 0;
    if constexpr (kNarrowsThroughInt32<T>) done = ScaleIntVector<T, Round>(b, n, s, z);
    ScaleIntLoop<T, Round>(b + static_cast<size_t>(done) * sizeof(T), n - done, s, z);
}
template <class T, bool Round>
void ScaleIntBase(unsigned char* b, int32_t n, double s, double z) {
    ScaleIntLoop<T, Round>(b, n, s, z);
}
[[gnu::target("avx2")]] void ScaleF64Avx2(unsigned char* b, int32_t n, double s, double z) {
    ScaleF64Loop(b, n, s, z);
}
void ScaleF64Base(unsigned char* b, int32_t n, double s, double z) { ScaleF64Loop(b, n, s, z); }
[[gnu::target("avx2")]] void ScaleF32Avx2(unsigned char* b, int32_t n, double s, double z) {
    ScaleF32Loop(b, n, s, z);
}
void ScaleF32Base(unsigned char* b, int32_t n, double s, double z) { ScaleF32Loop(b, n, s, z); }
template <class T>
[[gnu::target("avx2")]] void PackAvx2(const double* in, unsigned char* out, int32_t n) {
    PackLoop<T>(in, out, n);
}
template <class T>
void PackBase(const double* in, unsigned char* out, int32_t n) {
    PackLoop<T>(in, out, n);
}

// Runs of 16-bit samples at least this long look every sample up in a table of the
// results of all 65536 values, computed by the loops above: four lookups cost less
// than converting, scaling, rounding and bounding four samples, and the table (128 KB)
// stays in the second-level cache. With AVX2 the vector units scale two of every three
// blocks of sixteen meanwhile (ScaleVectorAndTable). The AVX-512 loop, where it is taken,
// needs no table.
constexpr int32_t kTableRun = 1 << 20;

template <class T, bool Round>
void ScaleByTable(unsigned char* b, int32_t n, double s, double z, bool avx2) {
    static_assert(sizeof(T) == 2);
    std::vector<uint16_t> table(65536);
    for (uint32_t v = 0; v < 65536; ++v) table[v] = static_cast<uint16_t>(v);
    auto* t = reinterpret_cast<unsigned char*>(table.data());
    if (avx2) ScaleIntAvx2<T, Round>(t, 65536, s, z);
    else ScaleIntBase<T, Round>(t, 65536, s, z);
    const uint16_t* r = table.data();
    int32_t i = avx2 ? ScaleVectorAndTable<T, Round>(b, n, s, z, r) : 0;
    for (; i + 4 <= n; i += 4) LookUp4(b + static_cast<size_t>(i) * 2, r);
    for (; i < n; ++i) {
        uint16_t v;
        std::memcpy(&v, b + static_cast<size_t>(i) * 2, 2);
        std::memcpy(b + static_cast<size_t>(i) * 2, &r[v], 2);
    }
}

template <class T, bool Round>
void ScaleIntKernel(void* buffer, int32_t count, const ScaleZero& p) {
    if (count <= 0) return;
    auto* b = static_cast<unsigned char*>(buffer);
    if constexpr (kNarrowsThroughInt32<T>) {
        if (std::isfinite(p.scale) && std::isfinite(p.zero) && CpuHasAvx512())
            return ScaleIntAvx512<T, Round>(b, count, p.scale, p.zero);
    }
    if constexpr (sizeof(T) == 2) {
        if (count >= kTableRun) return ScaleByTable<T, Round>(b, count, p.scale, p.zero, CpuHasAvx2());
    }
    if (CpuHasAvx2()) ScaleIntAvx2<T, Round>(b, count, p.scale, p.zero);
    else ScaleIntBase<T, Round>(b, count, p.scale, p.zero);
}

void ScaleF64Kernel(void* buffer, int32_t count, const ScaleZero& p) {
    if (count <= 0) return;
    auto* b = static_cast<unsigned char*>(buffer);
    if (CpuHasAvx2()) ScaleF64Avx2(b, count, p.scale, p.zero);
    else ScaleF64Base(b, count, p.scale, p.zero);
}

void ScaleF32Kernel(void* buffer, int32_t count, const ScaleZero& p) {
    if (count <= 0) return;
    auto* b = static_cast<unsigned char*>(buffer);
    if (CpuHasAvx2()) ScaleF32Avx2(b, count, p.scale, p.zero);
    else ScaleF32Base(b, count, p.scale, p.zero);
}

// The vector loop over as much of a run as it can take; the count done. Results of a
// large run stream past the caches once their address is 16-byte aligned: the
// elements before that are packed one by one (each write lands within the real just
// read).
template <class T>
[[gnu::target("avx2")]] int32_t PackVectorRun(unsigned char* b, int32_t count) {
    const auto address = reinterpret_cast<uintptr_t>(b);
    if (!StreamsStores(static_cast<size_t>(count) * sizeof(T)) || address % sizeof(T) != 0)
        return PackVector<T, false>(b, 0, count);
    int32_t head = static_cast<int32_t>((16 - address % 16) % 16 / sizeof(T));
    if (head > count) head = count;
    for (int32_t i = 0; i < head; ++i)
        StoreAt<T>(b + static_cast<size_t>(i) * sizeof(T), SaturateRound<T>(LoadAt<double, false>(b + static_cast<size_t>(i) * 8)));
    const int32_t done = PackVector<T, true>(b, head, count);
    _mm_sfence();
    return done;
}

template <class T>
void PackKernelOf(void* buffer, int32_t count, const void*) {
    if (count <= 0) return;
    auto* b = static_cast<unsigned char*>(buffer);
    const bool avx2 = CpuHasAvx2();
    int32_t start = 0;
    if constexpr (kNarrowsThroughInt32<T>) {
        if (avx2) start = PackVectorRun<T>(b, count);
    }
    // Block k is written at k * kBlock * sizeof(T), at or before where it was read
    // (k * kBlock * 8), and only after it has been copied out.
    constexpr int32_t kBlock = 512;
    double tmp[kBlock];
    for (int32_t done = start; done < count; done += kBlock) {
        const int32_t n = count - done < kBlock ? count - done : kBlock;
        std::memcpy(tmp, b + static_cast<size_t>(done) * 8, static_cast<size_t>(n) * 8);
        unsigned char* out = b + static_cast<size_t>(done) * sizeof(T);
        if (avx2) PackAvx2<T>(tmp, out, n);
        else PackBase<T>(tmp, out, n);
    }
}

struct TruncRow {
    ElementType type;
    ScaleInPlaceKernel scale;
};
struct RoundRow {
    ElementType type;
    ScaleInPlaceKernel scale;
    PackKernel pack;
};

constexpr TruncRow kTruncTable[] = {
    {kTypeI8, &ScaleIntKernel<int8_t, false>},   {kTypeU8, &ScaleIntKernel<uint8_t, false>},
    {kTypeI16, &ScaleIntKernel<int16_t, false>}, {kTypeU16, &ScaleIntKernel<uint16_t, false>},
    {kTypeI32, &ScaleIntKernel<int32_t, false>}, {kTypeU32, &ScaleIntKernel<uint32_t, false>},
    {kTypeI64, &ScaleIntKernel<int64_t, false>}, {kTypeU64, &ScaleIntKernel<uint64_t, false>},
    {0, nullptr},
};

constexpr RoundRow kRoundTable[] = {
    {kTypeI8, &ScaleIntKernel<int8_t, true>, &PackKernelOf<int8_t>},
    {kTypeU8, &ScaleIntKernel<uint8_t, true>, &PackKernelOf<uint8_t>},
    {kTypeI16, &ScaleIntKernel<int16_t, true>, &PackKernelOf<int16_t>},
    {kTypeU16, &ScaleIntKernel<uint16_t, true>, &PackKernelOf<uint16_t>},
    {kTypeI32, &ScaleIntKernel<int32_t, true>, &PackKernelOf<int32_t>},
    {kTypeU32, &ScaleIntKernel<uint32_t, true>, &PackKernelOf<uint32_t>},
    {kTypeI64, &ScaleIntKernel<int64_t, true>, &PackKernelOf<int64_t>},
    {kTypeU64, &ScaleIntKernel<uint64_t, true>, &PackKernelOf<uint64_t>},
    {0, nullptr, nullptr},
};

const RoundRow* FindRoundRow(ElementType key) {
    for (const RoundRow* r = kRoundTable; r->type != 0; ++r)
        if (r->type == key) return r;
    return nullptr;
}

}  // namespace

ScaleInPlaceKernel ScaleInPlaceSelect(const ScaleZero& params, ElementType type, int mode) {
    if (IsIdentity(params)) return nullptr;
    if (type & kElemReal32) return &ScaleF32Kernel;
    if (type & kElemReal64) return &ScaleF64Kernel;
    const ElementType key = type & 0x17B;
    if (mode == kRoundTruncate) {
        for (const TruncRow* r = kTruncTable; r->type != 0; ++r)
            if (r->type == key) return r->scale;
        return nullptr;
    }
    const RoundRow* r = FindRoundRow(key);
    return r ? r->scale : nullptr;
}

PackKernel ScaleInPlaceSelectAlt(ElementType type, int mode) {
    if (mode == kRoundTruncate || (type & kElemRealMask)) return nullptr;
    const RoundRow* r = FindRoundRow(type & 0x17B);
    return r ? r->pack : nullptr;
}

}  // namespace orva
