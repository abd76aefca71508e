#pragma once
// AVX2 building blocks shared by the numeric kernels: stored elements widened to
// doubles exactly, and doubles brought back into integer types with the bounds, NaN
// rule and rounding of SaturateTrunc and SaturateRound (kernel_util.h), lane for lane
// the same results. Only for loops chosen at run time on processors with AVX2: the
// including file includes kernel_pragmas.h first and calls these from its own AVX2
// regions.
#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "data/kernel_util.h"

#ifndef ORVA_TARGET_AVX2_BEGIN
#error "include data/kernel_pragmas.h first"
#endif

namespace orva::kernel {

ORVA_TARGET_AVX2_BEGIN

// Four consecutive elements of T at p (any alignment) widened to doubles exactly, as
// static_cast<double> does; Swap reverses the bytes of each element first. T: 8-, 16-
// and 32-bit integers, float and double.
template <class T, bool Swap>
ORVA_INLINE __m256d Load4(const unsigned char* p) {
    if constexpr (sizeof(T) == 1) {
        int32_t w;
        std::memcpy(&w, p, 4);
        const __m128i v = _mm_cvtsi32_si128(w);
        return _mm256_cvtepi32_pd(std::is_signed_v<T> ? _mm_cvtepi8_epi32(v) : _mm_cvtepu8_epi32(v));
    } else if constexpr (sizeof(T) == 2) {
        __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        if constexpr (Swap) v = _mm_shuffle_epi8(v, _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
        return _mm256_cvtepi32_pd(std::is_signed_v<T> ? _mm_cvtepi16_epi32(v) : _mm_cvtepu16_epi32(v));
    } else if constexpr (sizeof(T) == 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if constexpr (Swap) v = _mm_shuffle_epi8(v, _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12));
        if constexpr (std::is_same_v<T, float>) {
            return _mm256_cvtps_pd(_mm_castsi128_ps(v));
        } else if constexpr (std::is_signed_v<T>) {
            return _mm256_cvtepi32_pd(v);
        } else {
            // x - 2^31 as a signed value converts exactly; adding 2^31 back is exact too.
            const __m256d d = _mm256_cvtepi32_pd(_mm_xor_si128(v, _mm_set1_epi32(INT32_MIN)));
            return _mm256_add_pd(d, _mm256_set1_pd(2147483648.0));
        }
    } else {
        static_assert(std::is_same_v<T, double>);
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        if constexpr (Swap) {
            v = _mm256_shuffle_epi8(v, _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,
                                                         7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8));
        }
        return _mm256_castsi256_pd(v);
    }
}

// Four doubles stored at dst: past the caches when Stream (dst then 32-byte aligned; the
// loop ends with _mm_sfence), else a plain store at any alignment.
template <bool Stream>
ORVA_INLINE void Store4d(double* dst, __m256d v) {
    if constexpr (Stream) _mm256_stream_pd(dst, v);
    else _mm256_storeu_pd(dst, v);
}

// The integer types whose values a 32-bit truncation holds.
template <class T>
constexpr bool kNarrowsThroughInt32 =
    std::is_integral_v<T> && (sizeof(T) < 4 || std::is_same_v<T, int32_t>);

// Sixteen integers of T packed in order into 16-byte registers: four of 32-bit values,
// two of 16-bit values, one of 8-bit values.
template <class T>
struct Packed16 {
    __m128i part[sizeof(T)];
};

// Sixteen doubles (y[0] holds the first four) as T with the results of SaturateRound<T>
// (Round) or SaturateTrunc<T>: bounded, NaN giving 0, halves rounded away from zero. A
// caller whose values cannot be NaN passes MayBeNaN false and saves the test.
//
// Only the upper bound is applied to the doubles: a truncation below -2^31 (or of NaN)
// gives the 32-bit integer indefinite value, -2^31, and the saturating packs to 16 and
// 8 bits bound the rest, so every value below the range lands on T's lowest value (0
// for unsigned types, which also makes NaN 0 there). The bounds are integers, so
// bounding before rounding or after it gives the same; the rounding step is the largest
// double below one half, as in SaturateRound.
template <class T, bool Round, bool MayBeNaN>
ORVA_INLINE Packed16<T> Saturate16(const __m256d y[4]) {
    static_assert(kNarrowsThroughInt32<T>);
    const __m256d hi = _mm256_set1_pd(static_cast<double>(std::numeric_limits<T>::max()));
    const __m256d half = _mm256_set1_pd(0.49999999999999994);
    const auto truncated = [&](__m256d v) {
        if constexpr (std::is_signed_v<T> && MayBeNaN) v = _mm256_and_pd(v, _mm256_cmp_pd(v, v, _CMP_ORD_Q));
        // min returns its second operand when the first is NaN: v, so that NaN stays NaN.
        v = _mm256_min_pd(hi, v);
        if constexpr (Round && std::is_unsigned_v<T>) {
            v = _mm256_add_pd(v, half);  // a value below zero lands on 0 whatever its step
        } else if constexpr (Round) {
            // The step takes the sign of v (its sign bit chooses the blend).
            v = _mm256_add_pd(v, _mm256_blendv_pd(half, _mm256_set1_pd(-0.49999999999999994), v));
        }
        return _mm256_cvttpd_epi32(v);
    };
    const __m128i c0 = truncated(y[0]), c1 = truncated(y[1]), c2 = truncated(y[2]), c3 = truncated(y[3]);
    if constexpr (sizeof(T) == 4) {
        return {{c0, c1, c2, c3}};
    } else if constexpr (sizeof(T) == 2) {
        if constexpr (std::is_signed_v<T>) return {{_mm_packs_epi32(c0, c1), _mm_packs_epi32(c2, c3)}};
        else return {{_mm_packus_epi32(c0, c1), _mm_packus_epi32(c2, c3)}};
    } else {
        // Through 16 bits: saturating twice saturates once.
        const __m128i a = _mm_packs_epi32(c0, c1), b = _mm_packs_epi32(c2, c3);
        return {{std::is_signed_v<T> ? _mm_packs_epi16(a, b) : _mm_packus_epi16(a, b)}};
    }
}

// The sixteen values stored at p (any alignment).
template <class T>
ORVA_INLINE void Store16(unsigned char* p, const Packed16<T>& v) {
    for (size_t k = 0; k < sizeof(T); ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(p) + k, v.part[k]);
}

ORVA_TARGET_END

}  // namespace orva::kernel
