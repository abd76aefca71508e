#pragma once
// Building blocks shared by the numeric kernels: unaligned element access with
// optional byte reversal, and the saturating real-to-integer conversions.
// Everything here is written so that a simple loop over it vectorises.
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#define ORVA_INLINE [[gnu::always_inline]] inline

namespace orva::kernel {

template <size_t N> struct UIntOfSizeT;
template <> struct UIntOfSizeT<1> { using type = uint8_t; };
template <> struct UIntOfSizeT<2> { using type = uint16_t; };
template <> struct UIntOfSizeT<4> { using type = uint32_t; };
template <> struct UIntOfSizeT<8> { using type = uint64_t; };
template <size_t N> using UIntOfSize = typename UIntOfSizeT<N>::type;

template <class U> ORVA_INLINE U ByteReverseBits(U u) {
    if constexpr (sizeof(U) == 1) return u;
    else if constexpr (sizeof(U) == 2) return static_cast<U>(__builtin_bswap16(u));
    else if constexpr (sizeof(U) == 4) return static_cast<U>(__builtin_bswap32(u));
    else return static_cast<U>(__builtin_bswap64(u));
}

template <class T> ORVA_INLINE T ByteReverse(T v) {
    using U = UIntOfSize<sizeof(T)>;
    return std::bit_cast<T>(ByteReverseBits(std::bit_cast<U>(v)));
}

// Reads the element at p (any alignment), reversing its bytes when Swap is set.
template <class T, bool Swap> ORVA_INLINE T LoadAt(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    if constexpr (Swap && sizeof(T) > 1) v = ByteReverse(v);
    return v;
}

template <class T> ORVA_INLINE void StoreAt(unsigned char* p, T v) { std::memcpy(p, &v, sizeof(T)); }

template <class T> constexpr T HighestOf() {
    if constexpr (std::is_same_v<T, double>) return DBL_MAX;
    else if constexpr (std::is_same_v<T, float>) return FLT_MAX;
    else return std::numeric_limits<T>::max();
}
template <class T> constexpr T LowestOf() {
    if constexpr (std::is_same_v<T, double>) return -DBL_MAX;
    else if constexpr (std::is_same_v<T, float>) return -FLT_MAX;
    else return std::numeric_limits<T>::min();
}

// A result that overflowed the double range is stored as +-DBL_MAX; NaN passes.
ORVA_INLINE double ClampToDoubleRange(double y) {
    y = y < -DBL_MAX ? -DBL_MAX : y;
    return y > DBL_MAX ? DBL_MAX : y;
}

// Double to float with the bounds +-FLT_MAX; NaN passes; rounded to nearest.
ORVA_INLINE float ClampToFloat(double y) {
    y = y < -static_cast<double>(FLT_MAX) ? -static_cast<double>(FLT_MAX) : y;
    y = y > static_cast<double>(FLT_MAX) ? static_cast<double>(FLT_MAX) : y;
    return static_cast<float>(y);
}

// Double to integer, truncated toward zero, saturated at the bounds of Out;
// NaN gives 0. No undefined behaviour for any input.
template <class Out> ORVA_INLINE Out SaturateTrunc(double y) {
    static_assert(std::is_integral_v<Out>);
    if constexpr (sizeof(Out) < 4 || std::is_same_v<Out, int32_t>) {
        constexpr double lo = static_cast<double>(std::numeric_limits<Out>::min());
        constexpr double hi = static_cast<double>(std::numeric_limits<Out>::max());
        y = (y == y) ? y : 0.0;
        y = y < lo ? lo : y;
        y = y > hi ? hi : y;
        return static_cast<Out>(static_cast<int32_t>(y));
    } else if constexpr (std::is_same_v<Out, uint32_t>) {
        y = (y == y) ? y : 0.0;
        y = y < 0.0 ? 0.0 : y;
        y = y > 4294967295.0 ? 4294967295.0 : y;
        // Split at 2^31 so that each half converts through a signed 32-bit truncation.
        const bool high = y >= 2147483648.0;
        const double rest = y - (high ? 2147483648.0 : 0.0);
        return static_cast<uint32_t>(static_cast<int32_t>(rest)) + (high ? 0x80000000u : 0u);
    } else if constexpr (std::is_same_v<Out, int64_t>) {
        if (!(y == y)) return 0;
        if (y >= 0x1p63) return std::numeric_limits<int64_t>::max();
        if (y < -0x1p63) return std::numeric_limits<int64_t>::min();
        return static_cast<int64_t>(y);
    } else {
        static_assert(std::is_same_v<Out, uint64_t>);
        if (!(y >= 1.0)) return 0;  // also NaN
        if (y >= 0x1p64) return std::numeric_limits<uint64_t>::max();
        return static_cast<uint64_t>(y);
    }
}

// Double to integer, rounded to nearest with halves away from zero, saturated at
// the bounds of Out; NaN gives 0. Adding the largest double below one half (not
// 0.5 itself) before truncating is exact: 0.49999999999999994 + 0.5 would round up
// to 1, while every true half still reaches the next integer.
template <class Out> ORVA_INLINE Out SaturateRound(double y) {
    static_assert(std::is_integral_v<Out>);
    constexpr double kHalfBelow = 0.49999999999999994;  // 0.5 - 2^-54
    if constexpr (sizeof(Out) <= 4) {
        constexpr double lo = static_cast<double>(std::numeric_limits<Out>::min());
        constexpr double hi = static_cast<double>(std::numeric_limits<Out>::max());
        y = (y == y) ? y : 0.0;
        y = y < lo ? lo : y;
        y = y > hi ? hi : y;
        // The bounds are integers, so clamping before rounding gives the same result,
        // and y + kHalfBelow stays below the next integer past the bound.
        if constexpr (std::is_same_v<Out, uint32_t>) {
            const bool high = y >= 2147483648.0;
            const double rest = y - (high ? 2147483648.0 : 0.0);  // exact
            return static_cast<uint32_t>(static_cast<int32_t>(rest + kHalfBelow)) + (high ? 0x80000000u : 0u);
        } else {
            return static_cast<Out>(static_cast<int32_t>(y + std::copysign(kHalfBelow, y)));
        }
    } else {
        if (!(y == y)) return 0;
        return SaturateTrunc<Out>(std::round(y));
    }
}

// Integer to integer: the value when it fits, else the nearest bound.
template <class Out, class In> ORVA_INLINE Out SaturateInt(In x) {
    if constexpr (std::in_range<Out>(std::numeric_limits<In>::min()) &&
                  std::in_range<Out>(std::numeric_limits<In>::max())) {
        return static_cast<Out>(x);
    } else {
        Out r = static_cast<Out>(x);
        r = std::cmp_less(x, std::numeric_limits<Out>::min()) ? std::numeric_limits<Out>::min() : r;
        r = std::cmp_greater(x, std::numeric_limits<Out>::max()) ? std::numeric_limits<Out>::max() : r;
        return r;
    }
}

// True when the processor and the system support AVX2 (checked once) and the
// baseline loops are not forced.
bool CpuHasAvx2();
// Test support: makes every kernel run its baseline (SSE2) loop, or not.
void ForceBaselineForTest(bool on);
// True on processors that run each 32-byte vector operation as two 16-byte halves (AMD
// family 15h, family 17h models below 30h, and Hygon family 18h; checked once), where loops gain
// nothing from 32-byte registers, or when the test override below is set.
bool CpuSplitsWideVectors();
// Test support: makes the kernels that have both take their 16-byte loops, or not.
void ForceSplitWideVectorsForTest(bool on);
// The rule behind CpuSplitsWideVectors: `vendor` is the 12-character name of CPUID leaf 0,
// `signature` EAX of leaf 1.
bool SplitsWideVectors(const char* vendor, uint32_t signature);
// True when the processor and the system support AVX-512 (its foundation, AVX-512F) and the
// processor runs each 64-byte operation whole (see SplitsVectors512; checked once), unless
// the baseline loops or the AVX2 ones are forced. Kernels with an AVX-512 loop take it then
// and their AVX2 loop otherwise.
bool CpuHasAvx512();
// Test support: makes the kernels that have AVX-512 loops take their AVX2 ones, or not.
void ForceNoAvx512ForTest(bool on);
// True on processors that run each 64-byte operation as two 32-byte halves (AMD family
// 19h), where a 64-byte loop does the work of the 32-byte one in as many cycles and the
// AVX2 loops, measured there, are kept. Arguments as for SplitsWideVectors.
bool SplitsVectors512(const char* vendor, uint32_t signature);

// Results of one call that fill at least this many bytes cannot stay in the caches: the
// vector loops then store them past the caches (streaming stores), which saves the
// read of every line a plain store fills first and halves the traffic of a result
// wider than its input. Smaller results stay in cache for whoever reads them next.
constexpr size_t kStreamStoreBytes = size_t{4} << 20;
// True when a result of `bytes` bytes is stored past the caches.
bool StreamsStores(size_t bytes);
// Test support: results of at least `bytes` bytes stream (0: every result);
// kStreamStoreBytes restores the rule.
void StreamStoresFromForTest(size_t bytes);
// True when x * scale + zero is finite for every integer x of up to 32 bits (NaN scale or
// zero: false), so that bounding the result to the finite range changes nothing.
inline bool ScaledIntegersStayFinite(double scale, double zero) {
    return std::fabs(scale) < 0x1p990 && std::fabs(zero) < 0x1p1000;
}

// Loops over runs far larger than the caches may ask for their input this many bytes ahead.
constexpr size_t kPrefetchAhead = 4096;
// Whether they do (set once, from the processor): only on processors that split 32-byte
// operations, where one core's loop kept too few lines in flight without it. Elsewhere the
// processor's own stream prefetchers keep such a loop at the memory's speed, and the
// non-temporal prefetch below can starve it: where the outer caches do not take such lines
// (non-inclusive server caches), a line comes into the first-level cache only, the
// second-level stream prefetcher never sees the stream, and a core keeps no more lines in
// flight than its first-level miss buffers hold: on one such processor (a Xeon of the
// Sapphire Rapids generation) the 16-channel sum, which asks ahead, ran at a quarter of the
// memory's speed while the plain element-wise loop, which does not, kept up with it. On a
// Zen 4 core, asking ahead or not made no difference to any of these loops.
extern bool gAsksAhead;
// Asks for the `bytes` bytes (at least one cache line) kPrefetchAhead past p, without
// keeping them in the outer caches (such loops read each line once, and a prefetch that
// also filled the outer caches left a 16-bit to 64-bit real conversion a third slower
// where asking ahead pays), when gAsksAhead holds.
ORVA_INLINE void PrefetchAhead(const void* p, size_t bytes) {
    if (!gAsksAhead) return;
    for (size_t k = 0; k < bytes || k == 0; k += 64) __builtin_prefetch(static_cast<const char*>(p) + kPrefetchAhead + k, 0, 0);
}

// True when `count` doubles written at dst stream: dst must hold whole doubles, so that
// a 32-byte boundary lies a whole number of them ahead.
inline bool StreamsDoubles(const double* dst, size_t count) {
    return reinterpret_cast<uintptr_t>(dst) % sizeof(double) == 0 && StreamsStores(count * sizeof(double));
}
// Doubles before dst reaches a 32-byte boundary, where streaming stores can start.
inline size_t DoublesToAlign32(const double* dst) {
    return ((32 - reinterpret_cast<uintptr_t>(dst) % 32) % 32) / sizeof(double);
}

}  // namespace orva::kernel
