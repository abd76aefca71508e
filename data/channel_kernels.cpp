#include "data/kernel_pragmas.h"
#include "data/channel_kernels.h"

#include <immintrin.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "data/kernel_avx2.h"
#include "data/kernel_util.h"
#include "data/sample_load.h"

namespace orva {

namespace {


using kernel::Load4;
using kernel::Store4d;
using sample_load::Load;
using sample_load::ToDouble;

constexpr double kMissing = -DBL_MAX;

// Results that leave the finite range are stored as the largest finite value of
// their sign (a NaN by its sign bit), never as infinity.
inline double Clamp(double r) { return std::fabs(r) <= DBL_MAX ? r : std::copysign(DBL_MAX, r); }

template <class T>
constexpr bool kIsReal64 = std::is_same_v<T, double>;

// What the channel sum of a fixed small channel count adds in. Every choice is exact
// for the element type: 8- and 16-bit values in 32-bit integers (16 channels of
// 65535 stay far below 2^31), 32-bit values in doubles (16 channels of 2^32 stay
// below 2^53); 64-bit integers and reals add in doubles. The general loop adds the
// narrow integers in 64 bits, which is exact for any channel count a pixel can have.
template <class T, uint32_t C>
using SumAcc = std::conditional_t<
    std::is_integral_v<T> && sizeof(T) <= 2,
    std::conditional_t<(C != 0), int32_t, int64_t>,
    std::conditional_t<std::is_integral_v<T> && sizeof(T) == 4,
                       std::conditional_t<(C != 0), double, int64_t>, double>>;

// ---- Element-wise and first element --------------------------------------------------------

template <class T, bool Swap, bool Scaled>
inline void ConvertStrided(const unsigned char* __restrict p, double* __restrict dst,
                           size_t count, size_t step, double scale, double zero) {
    for (size_t i = 0; i < count; ++i) {
        const double x = ToDouble(Load<T, Swap>(p, i * step));
        if constexpr (!Scaled) {
            dst[i] = x;
        } else if constexpr (kIsReal64<T>) {
            dst[i] = x == kMissing ? x : Clamp(x * scale + zero);
        } else {
            dst[i] = Clamp(x * scale + zero);
        }
    }
}

template <class T, bool Swap, bool Scaled>
void FirstElement(const void* source, double* destination, uint32_t count,
                  const ChannelParams* params) {
    const size_t step = params->channelCount == 0 ? 1 : params->channelCount;
    const double scale = Scaled ? params->scale : 1.0;
    const double zero = Scaled ? params->zero : 0.0;
    ConvertStrided<T, Swap, Scaled>(static_cast<const unsigned char*>(source), destination,
                                    count, step, scale, zero);
}

// ---- Channel sums -----------------------------------------------------------------------

enum class Op { kSum, kWeighted, kDefault };

// One loop per (type, byte order, scaling, operation, channel count); C == 0 is the
// general loop over `channels`.
template <class T, bool Swap, bool Scaled, Op O, uint32_t C>
void Combine(const unsigned char* __restrict p, double* __restrict dst, size_t count,
             size_t channels, const ChannelParams* params) {
    const size_t n = C != 0 ? C : channels;
    const double scale = params->scale;
    const double zeroN = params->zero * static_cast<double>(n);
    if constexpr (O == Op::kSum && !kIsReal64<T>) {
        using Acc = SumAcc<T, C>;
        for (size_t px = 0; px < count; ++px) {
            const size_t base = px * n;
            Acc acc = static_cast<Acc>(Load<T, Swap>(p, base));
            for (size_t c = 1; c < n; ++c) acc += static_cast<Acc>(Load<T, Swap>(p, base + c));
            const double r = static_cast<double>(acc);
            dst[px] = Scaled ? Clamp(r * scale + zeroN) : r;
        }
    } else if constexpr (O == Op::kSum || O == Op::kDefault) {
        // 64-bit reals: a missing channel makes the pixel missing.
        const double f = params->sumFactor;
        const double zeroFN = params->zero * f * static_cast<double>(n);
        const double m = params->sumMultiplier;
        for (size_t px = 0; px < count; ++px) {
            const size_t base = px * n;
            double x = Load<T, Swap>(p, base);
            bool missing = x == kMissing;
            double acc = (Scaled || O == Op::kDefault) ? x * f : x;
            for (size_t c = 1; c < n; ++c) {
                x = Load<T, Swap>(p, base + c);
                missing |= x == kMissing;
                acc += (Scaled || O == Op::kDefault) ? x * f : x;
            }
            double r;
            if constexpr (O == Op::kDefault) {
                r = acc;
            } else if constexpr (Scaled) {
                r = Clamp((acc * scale + zeroFN) * m);
            } else {
                r = Clamp(acc);
            }
            dst[px] = missing ? kMissing : r;
        }
    } else {
        // Weighted sum, in doubles.
        double wfixed[C != 0 ? C : 1];
        const double* w = params->weights;
        if constexpr (C != 0) {
            for (size_t c = 0; c < C; ++c) wfixed[c] = params->weights[c];
            w = wfixed;
        }
        for (size_t px = 0; px < count; ++px) {
            const size_t base = px * n;
            double x = ToDouble(Load<T, Swap>(p, base));
            bool missing = false;
            if constexpr (kIsReal64<T>) missing = x == kMissing;
            double acc = x * w[0];
            for (size_t c = 1; c < n; ++c) {
                x = ToDouble(Load<T, Swap>(p, base + c));
                if constexpr (kIsReal64<T>) missing |= x == kMissing;
                acc += x * w[c];
            }
            const double r = Scaled ? Clamp(acc * scale + zeroN) : acc;
            if constexpr (kIsReal64<T>) {
                dst[px] = missing ? kMissing : r;
            } else {
                dst[px] = r;
            }
        }
    }
}

// ---- AVX2 loops for the common layouts ---------------------------------------------------
//
// The compiler does not vectorise the per-pixel reductions above, so the layouts that
// images mostly have get hand-written loops over whole blocks of four pixels, chosen when
// the processor runs AVX2 (kernel::CpuHasAvx2). Some loops keep to 16-byte registers on
// processors that split 32-byte operations in two (kernel::CpuSplitsWideVectors), where
// the wider ones run no faster, and have a 32-byte twin for the others. They give the same results as the loops
// above, except the weighted sums of 4, 8 and 16 channels of types other than 64-bit
// reals, which add the products of a pixel as a tree (lanes of four channels, then the
// lanes) instead of from the first channel to the last, with fused multiply-adds: the
// result differs from the sequential sum by rounding only.

ORVA_TARGET_AVX2_BEGIN

// Clamp() on four lanes: non-finite lanes become DBL_MAX with their sign.
ORVA_INLINE __m256d Clamp4(__m256d r) {
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d top = _mm256_set1_pd(DBL_MAX);
    const __m256d finite = _mm256_cmp_pd(_mm256_andnot_pd(sign, r), top, _CMP_LE_OQ);
    return _mm256_blendv_pd(_mm256_or_pd(_mm256_and_pd(r, sign), top), r, finite);
}

template <bool Scaled, bool Bounded = true>
ORVA_INLINE __m256d Finish4(__m256d r, __m256d scale, __m256d zeroN) {
    if constexpr (Scaled && !Bounded) return _mm256_add_pd(_mm256_mul_pd(r, scale), zeroN);
    if constexpr (Scaled) return Clamp4(_mm256_add_pd(_mm256_mul_pd(r, scale), zeroN));
    return r;
}

// Clamp() and the scaling of Finish4 on two lanes.
ORVA_INLINE __m128d Finish2Scaled(__m128d r, __m128d scale, __m128d zeroN) {
    r = _mm_add_pd(_mm_mul_pd(r, scale), zeroN);
    const __m128d sign = _mm_set1_pd(-0.0);
    const __m128d top = _mm_set1_pd(DBL_MAX);
    const __m128d finite = _mm_cmple_pd(_mm_andnot_pd(sign, r), top);
    return _mm_blendv_pd(_mm_or_pd(_mm_and_pd(r, sign), top), r, finite);
}

// Sum or weighted sum of three channels of 16-bit integers, two pixels to a pair of
// 16-byte lanes: one 16-byte load holds both pixels, and a byte shuffle (which also
// reverses swapped bytes) puts channel c of each into the low word of its lane. Or'ed
// with the high word of 2^52 that is the double 2^52 + x; subtracting 2^52 (2^52 + 2^15
// for signed values, biased to unsigned first) leaves x. The channels are added, or
// multiplied and added, in the order of the element loop. Runs where 32-byte operations
// are split; the others run Channels3x16Wide.
template <class T, bool Swap, bool Scaled, Op O, bool Stream>
void Channels3x16(const unsigned char* p, double* dst, size_t count, const ChannelParams* params) {
    static_assert(sizeof(T) == 2 && (O == Op::kWeighted || O == Op::kSum));
    constexpr bool kSigned = std::is_signed_v<T>;
    const __m128d w0 = _mm_set1_pd(O == Op::kWeighted ? params->weights[0] : 1.0);
    const __m128d w1 = _mm_set1_pd(O == Op::kWeighted ? params->weights[1] : 1.0);
    const __m128d w2 = _mm_set1_pd(O == Op::kWeighted ? params->weights[2] : 1.0);
    const __m128d scale = _mm_set1_pd(params->scale);
    const __m128d zeroN = _mm_set1_pd(params->zero * 3.0);
    const __m128i high = _mm_set1_epi64x(int64_t{0x4330} << 48);
    const __m128d magic = _mm_set1_pd(kSigned ? 0x1p52 + 0x1p15 : 0x1p52);
    // Channel c of the pixels at bytes `at` and `at` + 6 of a load, to the low words of the lanes.
    const auto mask = [](int c, int at) {
        const char lo = static_cast<char>(at + 2 * c), hi = static_cast<char>(at + 2 * c + 1);
        const char a = Swap ? hi : lo, b = Swap ? lo : hi;
        return _mm_setr_epi8(a, b, -1, -1, -1, -1, -1, -1, static_cast<char>(a + 6), static_cast<char>(b + 6), -1,
                             -1, -1, -1, -1, -1);
    };
    const auto pair = [&](__m128i v, const __m128i* m) {
        // The sign bit, before the shuffle: in the first byte of a swapped element.
        if constexpr (kSigned) v = _mm_xor_si128(v, _mm_set1_epi16(Swap ? 0x0080 : INT16_MIN));
        const auto value = [&](int c) {
            return _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(_mm_shuffle_epi8(v, m[c]), high)), magic);
        };
        __m128d acc;
        if constexpr (O == Op::kSum) {
            acc = _mm_add_pd(_mm_add_pd(value(0), value(1)), value(2));
        } else {
            acc = _mm_add_pd(_mm_mul_pd(value(0), w0), _mm_mul_pd(value(1), w1));
            acc = _mm_add_pd(acc, _mm_mul_pd(value(2), w2));
        }
        return Scaled ? Finish2Scaled(acc, scale, zeroN) : acc;
    };
    const auto store = [&](double* d, __m128d r) {
        if constexpr (Stream) _mm_stream_pd(d, r);
        else _mm_storeu_pd(d, r);
    };
    const __m128i body[3] = {mask(0, 0), mask(1, 0), mask(2, 0)};
    const __m128i last[3] = {mask(0, 4), mask(1, 4), mask(2, 4)};  // a load ending with the pair
    const size_t pairs = count / 2;
    size_t k = 0;
    for (; k + 1 < pairs; ++k) {
        kernel::PrefetchAhead(p + k * 12, 1);
        store(dst + 2 * k, pair(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k * 12)), body));
    }
    // The last pair's 12 bytes may end the input: its load ends there too.
    if (k < pairs) store(dst + 2 * k, pair(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k * 12 - 4)), last));
    if constexpr (Stream) _mm_sfence();
}

// Channels3x16 with four pixels to the four lanes of 32-byte registers, for processors
// that run 32-byte operations whole: each lane goes through the same operations in the
// same order as a lane of the 16-byte loop, so the results are the same bit for bit. The
// first pixel pair of a block comes from a 16-byte load into the low half, the second
// from one into the high half, and the byte shuffle works within each half. `count` is
// a multiple of four. Where 32-byte operations run whole it takes about three fifths of
// the time of the 16-byte loop with the data in cache, and about three quarters from
// memory: the 16-byte loop is bound by its count of vector operations, not by memory.
//
// Stream: whole 32-byte streaming stores (dst 32-byte aligned).
template <class T, bool Swap, bool Scaled, Op O, bool Stream>
void Channels3x16Wide(const unsigned char* p, double* dst, size_t count, const ChannelParams* params) {
    static_assert(sizeof(T) == 2 && (O == Op::kWeighted || O == Op::kSum));
    constexpr bool kSigned = std::is_signed_v<T>;
    const __m256d w0 = _mm256_set1_pd(O == Op::kWeighted ? params->weights[0] : 1.0);
    const __m256d w1 = _mm256_set1_pd(O == Op::kWeighted ? params->weights[1] : 1.0);
    const __m256d w2 = _mm256_set1_pd(O == Op::kWeighted ? params->weights[2] : 1.0);
    const __m256d scale = _mm256_set1_pd(params->scale);
    const __m256d zeroN = _mm256_set1_pd(params->zero * 3.0);
    const __m256i high = _mm256_set1_epi64x(int64_t{0x4330} << 48);
    const __m256d magic = _mm256_set1_pd(kSigned ? 0x1p52 + 0x1p15 : 0x1p52);
    // Channel c of the pixels at bytes `lo` and `lo` + 6 of the low half's load, and at
    // `hi` and `hi` + 6 of the high half's, to the low words of the lanes.
    const auto mask = [&](int c, int lo, int hi) {
        char m[32];
        for (int h = 0; h < 2; ++h) {
            const int at = (h == 0 ? lo : hi) + 2 * c;
            for (int k = 0; k < 2; ++k) {
                char* q = m + 16 * h + 8 * k;
                for (int b = 2; b < 8; ++b) q[b] = -1;
                q[Swap ? 1 : 0] = static_cast<char>(at + 6 * k);
                q[Swap ? 0 : 1] = static_cast<char>(at + 6 * k + 1);
            }
        }
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m));
    };
    const auto quad = [&](__m256i v, const __m256i* m) {
        if constexpr (kSigned) v = _mm256_xor_si256(v, _mm256_set1_epi16(Swap ? 0x0080 : INT16_MIN));
        const auto value = [&](int c) {
            return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_shuffle_epi8(v, m[c]), high)), magic);
        };
        __m256d acc;
        if constexpr (O == Op::kSum) {
            acc = _mm256_add_pd(_mm256_add_pd(value(0), value(1)), value(2));
        } else {
            acc = _mm256_add_pd(_mm256_mul_pd(value(0), w0), _mm256_mul_pd(value(1), w1));
            acc = _mm256_add_pd(acc, _mm256_mul_pd(value(2), w2));
        }
        return Finish4<Scaled>(acc, scale, zeroN);
    };
    const auto load2 = [&](const unsigned char* q0, const unsigned char* q1) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q0))),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(q1)), 1);
    };
    const __m256i body[3] = {mask(0, 0, 0), mask(1, 0, 0), mask(2, 0, 0)};
    const __m256i last[3] = {mask(0, 0, 4), mask(1, 0, 4), mask(2, 0, 4)};  // the high load ends with the block
    const size_t blocks = count / 4;
    size_t b = 0;
    for (; b + 1 < blocks; ++b) {
        const unsigned char* q = p + b * 24;
        kernel::PrefetchAhead(q, 1);
        Store4d<Stream>(dst + 4 * b, quad(load2(q, q + 12), body));
    }
    // The last block's 24 bytes may end the input: its second load ends there too.
    if (b < blocks) Store4d<Stream>(dst + 4 * b, quad(load2(p + b * 24, p + b * 24 + 8), last));
    if constexpr (Stream) _mm_sfence();
}

template <class T, bool Swap, bool Scaled, Op O, bool Stream>
void Channels3x16Avx2(const unsigned char* p, double* dst, size_t count, const ChannelParams* params) {
    kernel::CpuSplitsWideVectors() ? Channels3x16<T, Swap, Scaled, O, Stream>(p, dst, count, params)
                                   : Channels3x16Wide<T, Swap, Scaled, O, Stream>(p, dst, count, params);
}

// Sum or weighted sum of three channels: the pixels' channels are gathered into one
// vector per channel, so the values (or products) are added in the same order as one
// pixel at a time. The sums of integers are exact in doubles, as in the integer
// accumulators of the loop above.
template <class T, bool Swap, bool Scaled, Op O, bool Stream>
void Channels3Avx2(const unsigned char* p, double* dst, size_t count, const ChannelParams* params) {
    static_assert(O == Op::kWeighted || (O == Op::kSum && !kIsReal64<T>));
    const __m256d w0 = _mm256_set1_pd(O == Op::kWeighted ? params->weights[0] : 1.0);
    const __m256d w1 = _mm256_set1_pd(O == Op::kWeighted ? params->weights[1] : 1.0);
    const __m256d w2 = _mm256_set1_pd(O == Op::kWeighted ? params->weights[2] : 1.0);
    const __m256d scale = _mm256_set1_pd(params->scale);
    const __m256d zeroN = _mm256_set1_pd(params->zero * 3.0);
    const size_t blocks = count / 4;
    for (size_t b = 0; b < blocks; ++b) {
        const unsigned char* q = p + b * 12 * sizeof(T);
        // e0 = a0 a1 a2 b0, e1 = b1 b2 c0 c1, e2 = c2 d0 d1 d2 (pixels a-d, channels 0-2)
        const __m256d e0 = Load4<T, Swap>(q);
        const __m256d e1 = Load4<T, Swap>(q + 4 * sizeof(T));
        const __m256d e2 = Load4<T, Swap>(q + 8 * sizeof(T));
        const __m256d t0 = _mm256_blend_pd(_mm256_blend_pd(e0, e1, 0x4), e2, 0x2);  // a0 d0 c0 b0
        const __m256d t1 = _mm256_blend_pd(_mm256_blend_pd(e0, e1, 0x9), e2, 0x4);  // b1 a1 d1 c1
        const __m256d t2 = _mm256_blend_pd(_mm256_blend_pd(e0, e1, 0x2), e2, 0x9);  // c2 b2 a2 d2
        const __m256d x0 = _mm256_permute4x64_pd(t0, _MM_SHUFFLE(1, 2, 3, 0));
        const __m256d x1 = _mm256_permute4x64_pd(t1, _MM_SHUFFLE(2, 3, 0, 1));
        const __m256d x2 = _mm256_permute4x64_pd(t2, _MM_SHUFFLE(3, 0, 1, 2));
        __m256d acc;
        if constexpr (O == Op::kSum) {
            acc = _mm256_add_pd(_mm256_add_pd(x0, x1), x2);
        } else {
            acc = _mm256_add_pd(_mm256_mul_pd(x0, w0), _mm256_mul_pd(x1, w1));
            acc = _mm256_add_pd(acc, _mm256_mul_pd(x2, w2));
        }
        acc = Finish4<Scaled>(acc, scale, zeroN);
        if constexpr (kIsReal64<T>) {
            const __m256d miss = _mm256_set1_pd(kMissing);
            const __m256d m = _mm256_or_pd(
                _mm256_or_pd(_mm256_cmp_pd(x0, miss, _CMP_EQ_OQ), _mm256_cmp_pd(x1, miss, _CMP_EQ_OQ)),
                _mm256_cmp_pd(x2, miss, _CMP_EQ_OQ));
            acc = _mm256_blendv_pd(acc, miss, m);
        }
        Store4d<Stream>(dst + b * 4, acc);
    }
    if constexpr (Stream) _mm_sfence();
}

// Sum of 16 channels of 16-bit integers, exact in 32-bit lanes: pairs are added by a
// multiply-add with ones (unsigned values biased into the signed range first), then
// four pixels' lanes are folded together.
template <class T, bool Swap, bool Scaled, bool Stream>
void Sum16x16Avx2(const unsigned char* p, double* dst, size_t count, const ChannelParams* params) {
    constexpr bool kUnsigned = std::is_unsigned_v<T>;
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,
                                          1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    const __m256d scale = _mm256_set1_pd(params->scale);
    const __m256d zeroN = _mm256_set1_pd(params->zero * 16.0);
    const size_t blocks = count / 4;
    for (size_t b = 0; b < blocks; ++b) {
        kernel::PrefetchAhead(p + b * 128, 128);
        __m256i m[4];
        for (int j = 0; j < 4; ++j) {
            __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + (b * 4 + j) * 32));
            if constexpr (Swap) v = _mm256_shuffle_epi8(v, swap);
            if constexpr (kUnsigned) v = _mm256_xor_si256(v, _mm256_set1_epi16(INT16_MIN));
            m[j] = _mm256_madd_epi16(v, ones);
        }
        const __m256i u = _mm256_hadd_epi32(_mm256_hadd_epi32(m[0], m[1]), _mm256_hadd_epi32(m[2], m[3]));
        __m128i s = _mm_add_epi32(_mm256_castsi256_si128(u), _mm256_extracti128_si256(u, 1));
        if constexpr (kUnsigned) s = _mm_add_epi32(s, _mm_set1_epi32(16 * 32768));
        Store4d<Stream>(dst + b * 4, Finish4<Scaled>(_mm256_cvtepi32_pd(s), scale, zeroN));
    }
    if constexpr (Stream) _mm_sfence();
}

// Element by element: the same widening, separate multiply and add, and clamp as
// ConvertStrided, sixteen elements per step.
// Bounded false: the caller knows that no scaled value leaves the finite range.
template <class T, bool Swap, bool Scaled, bool Stream, bool Bounded>
size_t ElementWiseAvx2(const unsigned char* p, double* dst, size_t count, double scale,
                       double zero) {
    const __m256d s = _mm256_set1_pd(scale);
    const __m256d z = _mm256_set1_pd(zero);
    const size_t done = count - count % 16;
    for (size_t i = 0; i < done; i += 16) {
        const unsigned char* q = p + i * sizeof(T);
        const __m256d a = Load4<T, Swap>(q);
        const __m256d b = Load4<T, Swap>(q + 4 * sizeof(T));
        const __m256d c = Load4<T, Swap>(q + 8 * sizeof(T));
        const __m256d d = Load4<T, Swap>(q + 12 * sizeof(T));
        Store4d<Stream>(dst + i, Finish4<Scaled, Bounded>(a, s, z));
        Store4d<Stream>(dst + i + 4, Finish4<Scaled, Bounded>(b, s, z));
        Store4d<Stream>(dst + i + 8, Finish4<Scaled, Bounded>(c, s, z));
        Store4d<Stream>(dst + i + 12, Finish4<Scaled, Bounded>(d, s, z));
    }
    if constexpr (Stream) _mm_sfence();
    return done;
}

ORVA_TARGET_END

// Results go past the caches: a large call, or one of many that the caller marks.
inline bool StreamsOutput(const double* destination, size_t count, const ChannelParams* params) {
    return kernel::StreamsDoubles(destination, params->streamOutput ? SIZE_MAX / 8 : count);
}

template <class T, bool Swap, bool Scaled>
void ElementWise(const void* source, double* destination, uint32_t count,
                 const ChannelParams* params) {
    const unsigned char* p = static_cast<const unsigned char*>(source);
    if constexpr (kIsReal64<T> && !Swap && !Scaled) {
        if (count > 0) std::memcpy(destination, p, size_t{count} * sizeof(double));
    } else {
        const double scale = Scaled ? params->scale : 1.0;
        const double zero = Scaled ? params->zero : 0.0;
        size_t done = 0;
        if constexpr (sizeof(T) <= 4) {
            if (kernel::CpuHasAvx2()) {
                const bool bounded = !std::is_integral_v<T> || !kernel::ScaledIntegersStayFinite(scale, zero);
                const bool stream = StreamsOutput(destination, count, params);
                if (stream) {
                    done = std::min<size_t>(count, kernel::DoublesToAlign32(destination));
                    ConvertStrided<T, Swap, Scaled>(p, destination, done, 1, scale, zero);
                }
                const auto loop = stream ? (bounded ? ElementWiseAvx2<T, Swap, Scaled, true, true>
                                                    : ElementWiseAvx2<T, Swap, Scaled, true, false>)
                                         : (bounded ? ElementWiseAvx2<T, Swap, Scaled, false, true>
                                                    : ElementWiseAvx2<T, Swap, Scaled, false, false>);
                done += loop(p + done * sizeof(T), destination + done, count - done, scale, zero);
            }
        }
        ConvertStrided<T, Swap, Scaled>(p + done * sizeof(T), destination + done, count - done, 1,
                                        scale, zero);
    }
}

// Only the explicit fused operations below fuse: the scaling keeps its separate multiply
// and add, as everywhere else.
ORVA_TARGET_AVX2_FMA_BEGIN
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#else
#pragma GCC optimize("fp-contract=off")
#endif

// Weighted sum of C = 4, 8 or 16 channels: each pixel's products are accumulated, fused
// (one rounding per product and addition), into one vector lane by lane, and four
// pixels' vectors are folded across their lanes together. Needs FMA besides AVX2.
template <class T, bool Swap, bool Scaled, uint32_t C, bool Stream>
void WeightedLanesAvx2(const unsigned char* p, double* dst, size_t count,
                       const ChannelParams* params) {
    constexpr uint32_t K = C / 4;
    __m256d w[K];
    for (uint32_t k = 0; k < K; ++k) w[k] = _mm256_loadu_pd(params->weights + 4 * k);
    const __m256d scale = _mm256_set1_pd(params->scale);
    const __m256d zeroN = _mm256_set1_pd(params->zero * static_cast<double>(C));
    const size_t blocks = count / 4;
    const auto pixel = [&](const unsigned char* q) {
        __m256d acc = _mm256_mul_pd(Load4<T, Swap>(q), w[0]);
        for (uint32_t k = 1; k < K; ++k) {
            acc = _mm256_fmadd_pd(Load4<T, Swap>(q + 4 * k * sizeof(T)), w[k], acc);
        }
        return acc;
    };
    for (size_t b = 0; b < blocks; ++b) {
        const unsigned char* q = p + b * 4 * C * sizeof(T);
        const __m256d h0 = _mm256_hadd_pd(pixel(q), pixel(q + C * sizeof(T)));  // a01 b01 a23 b23
        const __m256d h1 = _mm256_hadd_pd(pixel(q + 2 * C * sizeof(T)), pixel(q + 3 * C * sizeof(T)));  // c01 d01 c23 d23
        const __m256d r = _mm256_add_pd(_mm256_permute2f128_pd(h0, h1, 0x20),
                                        _mm256_permute2f128_pd(h0, h1, 0x31));
        Store4d<Stream>(dst + b * 4, Finish4<Scaled>(r, scale, zeroN));
    }
    if constexpr (Stream) _mm_sfence();
}

// Weighted sum of 16 channels of 16-bit integers. Each pixel's products are added in four
// fused chains, channels 0 2 4 6, 1 3 5 7, 8 10 12 14 and 9 11 13 15, and the chains as
// (first + second) + (third + fourth). Two pixels go through in the two lanes of 16-byte
// registers (on processors that split 32-byte operations this costs nothing, and
// the lanes need no folding across them at the end); the others run Weighted16x16Wide,
// the same with four pixels to 32-byte registers, in about two thirds of the time.
//
// A channel's values come out of a pixel pair's 8-byte words without widening shuffles:
// word j (0-2) of a 64-bit lane is blended into a double whose high word is that of
// 2^(52 - 16j), so the double is 2^(52 - 16j) + x exactly, and subtracting that power
// (plus 2^15 for signed values, biased to unsigned first) leaves x. Word 3 is shifted
// into word 2 first.
//
// FusedFirst (unsigned values only): the first products x * w come from one fused
// multiply-add, (2^k + x) * w - 2^k * w, rounded once from the exact x * w as the
// product itself is. It needs 2^k * w exact and the zero products positive: every
// weight of channels 0, 1, 8 and 9 positive, finite and below 2^960 (FirstProductsFuse).
//
// The results are stored through the caches even for large runs: there is one 16-byte
// result per 64 bytes read, and 16-byte streaming stores cost this loop about a tenth of
// its time on a processor that splits 32-byte operations, more than the cache traffic
// they save.
template <class T, bool Swap, bool Scaled, bool FusedFirst>
void Weighted16x16Loop(const unsigned char* p, double* dst, size_t count, const ChannelParams* params) {
    constexpr bool kSigned = std::is_signed_v<T>;
    static_assert(!(FusedFirst && kSigned));
    const double* wt = params->weights;
    __m128d w[16];
    for (int c = 0; c < 16; ++c) w[c] = _mm_set1_pd(wt[c]);
    const double bias = kSigned ? 0x1p15 : 0.0;
    const __m128d magic[3] = {_mm_set1_pd(0x1p52 + bias), _mm_set1_pd(0x1p36 + bias), _mm_set1_pd(0x1p20 + bias)};
    const __m128i high[3] = {_mm_set1_epi64x(int64_t{0x4330} << 48), _mm_set1_epi64x(int64_t{0x4230} << 48),
                             _mm_set1_epi64x(int64_t{0x4130} << 48)};
    // -2^k * w of the chains' first channels, exact under FusedFirst.
    const __m128d shifted[4] = {_mm_mul_pd(w[0], _mm_set1_pd(-0x1p52)), _mm_mul_pd(w[1], _mm_set1_pd(-0x1p36)),
                                _mm_mul_pd(w[8], _mm_set1_pd(-0x1p52)), _mm_mul_pd(w[9], _mm_set1_pd(-0x1p36))};
    const __m128i swap = _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    const __m128d scale = _mm_set1_pd(params->scale);
    const __m128d zeroN = _mm_set1_pd(params->zero * 16.0);
    const auto load = [&](const unsigned char* q) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        if constexpr (Swap) v = _mm_shuffle_epi8(v, swap);
        if constexpr (kSigned) v = _mm_xor_si128(v, _mm_set1_epi16(INT16_MIN));
        return v;
    };
    // Word j of both lanes of g as the bits of 2^(52 - 16j) + x (j 0-2).
    const auto bits = [&](__m128i g, auto j) {
        constexpr int kJ = decltype(j)::value;
        return _mm_castsi128_pd(_mm_blend_epi16(high[kJ], g, (1 << kJ) | (0x10 << kJ)));
    };
    const auto value = [&](__m128i g, auto j) {
        return _mm_sub_pd(bits(g, j), magic[decltype(j)::value]);
    };
    using J0 = std::integral_constant<int, 0>;
    using J1 = std::integral_constant<int, 1>;
    using J2 = std::integral_constant<int, 2>;
    const auto pair = [&](const unsigned char* q) {
        // Channels 4g to 4g + 3 of the two pixels, one pixel to a lane.
        const __m128i a0 = load(q), a1 = load(q + 16), b0 = load(q + 32), b1 = load(q + 48);
        const __m128i g[4] = {_mm_unpacklo_epi64(a0, b0), _mm_unpackhi_epi64(a0, b0), _mm_unpacklo_epi64(a1, b1),
                              _mm_unpackhi_epi64(a1, b1)};
        __m128d chain[4];  // channels 0 2 4 6, 1 3 5 7, 8 10 12 14, 9 11 13 15
        for (int h = 0; h < 2; ++h) {
            const __m128i lo = g[2 * h], hi = g[2 * h + 1];
            const __m128i lo3 = _mm_srli_epi64(lo, 16), hi3 = _mm_srli_epi64(hi, 16);
            const int c = 8 * h;
            __m128d even, odd;
            if constexpr (FusedFirst) {
                even = _mm_fmadd_pd(bits(lo, J0{}), w[c], shifted[2 * h]);
                odd = _mm_fmadd_pd(bits(lo, J1{}), w[c + 1], shifted[2 * h + 1]);
            } else {
                even = _mm_mul_pd(value(lo, J0{}), w[c]);
                odd = _mm_mul_pd(value(lo, J1{}), w[c + 1]);
            }
            even = _mm_fmadd_pd(value(lo, J2{}), w[c + 2], even);
            odd = _mm_fmadd_pd(value(lo3, J2{}), w[c + 3], odd);
            even = _mm_fmadd_pd(value(hi, J0{}), w[c + 4], even);
            odd = _mm_fmadd_pd(value(hi, J1{}), w[c + 5], odd);
            even = _mm_fmadd_pd(value(hi, J2{}), w[c + 6], even);
            odd = _mm_fmadd_pd(value(hi3, J2{}), w[c + 7], odd);
            chain[2 * h] = even;
            chain[2 * h + 1] = odd;
        }
        const __m128d r = _mm_add_pd(_mm_add_pd(chain[0], chain[1]), _mm_add_pd(chain[2], chain[3]));
        return Scaled ? Finish2Scaled(r, scale, zeroN) : r;
    };
    for (size_t i = 0; i + 2 <= count; i += 2) {
        kernel::PrefetchAhead(p + i * 32, 1);
        _mm_storeu_pd(dst + i, pair(p + i * 32));
    }
}

// Weighted16x16Loop with four pixels to the four lanes of 32-byte registers, for
// processors that run 32-byte operations whole: every lane goes through the same
// operations in the same order as a lane of the 16-byte loop, so the results are the
// same bit for bit. The four pixels' 8-byte words are transposed (channels 4g to 4g + 3
// of pixel k to lane k of register g) by 64-bit unpacks within the 16-byte halves and
// 16-byte permutes across them. `count` is a multiple of four.
//
// Stream: the results go past the caches (dst 32-byte aligned). With whole 32-byte
// stores that saves the read of each result line before it is written, a sixth of
// this loop's traffic over memory.
template <class T, bool Swap, bool Scaled, bool FusedFirst, bool Stream>
void Weighted16x16Wide(const unsigned char* p, double* dst, size_t count, const ChannelParams* params) {
    constexpr bool kSigned = std::is_signed_v<T>;
    static_assert(!(FusedFirst && kSigned));
    const double* wt = params->weights;
    __m256d w[16];
    for (int c = 0; c < 16; ++c) w[c] = _mm256_set1_pd(wt[c]);
    const double bias = kSigned ? 0x1p15 : 0.0;
    const __m256d magic[3] = {_mm256_set1_pd(0x1p52 + bias), _mm256_set1_pd(0x1p36 + bias),
                              _mm256_set1_pd(0x1p20 + bias)};
    const __m256i high[3] = {_mm256_set1_epi64x(int64_t{0x4330} << 48), _mm256_set1_epi64x(int64_t{0x4230} << 48),
                             _mm256_set1_epi64x(int64_t{0x4130} << 48)};
    const __m256d shifted[4] = {
        _mm256_mul_pd(w[0], _mm256_set1_pd(-0x1p52)), _mm256_mul_pd(w[1], _mm256_set1_pd(-0x1p36)),
        _mm256_mul_pd(w[8], _mm256_set1_pd(-0x1p52)), _mm256_mul_pd(w[9], _mm256_set1_pd(-0x1p36))};
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,
                                          1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    const __m256d scale = _mm256_set1_pd(params->scale);
    const __m256d zeroN = _mm256_set1_pd(params->zero * 16.0);
    const auto load2 = [&](const unsigned char* q0, const unsigned char* q1) {
        __m256i v = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q0))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(q1)), 1);
        if constexpr (Swap) v = _mm256_shuffle_epi8(v, swap);
        if constexpr (kSigned) v = _mm256_xor_si256(v, _mm256_set1_epi16(INT16_MIN));
        return v;
    };
    // The immediate of the word blend applies to each 16-byte half.
    const auto bits = [&](__m256i g, auto j) {
        constexpr int kJ = decltype(j)::value;
        return _mm256_castsi256_pd(_mm256_blend_epi16(high[kJ], g, (1 << kJ) | (0x10 << kJ)));
    };
    const auto value = [&](__m256i g, auto j) {
        return _mm256_sub_pd(bits(g, j), magic[decltype(j)::value]);
    };
    using J0 = std::integral_constant<int, 0>;
    using J1 = std::integral_constant<int, 1>;
    using J2 = std::integral_constant<int, 2>;
    const auto quad = [&](const unsigned char* q) {
        const __m256i ac0 = load2(q, q + 64), bd0 = load2(q + 32, q + 96);  // a0 a1 c0 c1, b0 b1 d0 d1
        const __m256i ac1 = load2(q + 16, q + 80), bd1 = load2(q + 48, q + 112);
        const __m256i g[4] = {_mm256_unpacklo_epi64(ac0, bd0), _mm256_unpackhi_epi64(ac0, bd0),
                              _mm256_unpacklo_epi64(ac1, bd1), _mm256_unpackhi_epi64(ac1, bd1)};
        __m256d chain[4];  // channels 0 2 4 6, 1 3 5 7, 8 10 12 14, 9 11 13 15
        for (int h = 0; h < 2; ++h) {
            const __m256i lo = g[2 * h], hi = g[2 * h + 1];
            const __m256i lo3 = _mm256_srli_epi64(lo, 16), hi3 = _mm256_srli_epi64(hi, 16);
            const int c = 8 * h;
            __m256d even, odd;
            if constexpr (FusedFirst) {
                even = _mm256_fmadd_pd(bits(lo, J0{}), w[c], shifted[2 * h]);
                odd = _mm256_fmadd_pd(bits(lo, J1{}), w[c + 1], shifted[2 * h + 1]);
            } else {
                even = _mm256_mul_pd(value(lo, J0{}), w[c]);
                odd = _mm256_mul_pd(value(lo, J1{}), w[c + 1]);
            }
            even = _mm256_fmadd_pd(value(lo, J2{}), w[c + 2], even);
            odd = _mm256_fmadd_pd(value(lo3, J2{}), w[c + 3], odd);
            even = _mm256_fmadd_pd(value(hi, J0{}), w[c + 4], even);
            odd = _mm256_fmadd_pd(value(hi, J1{}), w[c + 5], odd);
            even = _mm256_fmadd_pd(value(hi, J2{}), w[c + 6], even);
            odd = _mm256_fmadd_pd(value(hi3, J2{}), w[c + 7], odd);
            chain[2 * h] = even;
            chain[2 * h + 1] = odd;
        }
        const __m256d r = _mm256_add_pd(_mm256_add_pd(chain[0], chain[1]), _mm256_add_pd(chain[2], chain[3]));
        return Finish4<Scaled>(r, scale, zeroN);
    };
    for (size_t i = 0; i + 4 <= count; i += 4) {
        kernel::PrefetchAhead(p + i * 32, 128);
        Store4d<Stream>(dst + i, quad(p + i * 32));
    }
    if constexpr (Stream) _mm_sfence();
}

// Whether the first products of Weighted16x16Loop may be fused (see there): a zero x
// then gives +0 as x * w does only for a positive w.
inline bool FirstProductsFuse(const double* w) {
    for (int c : {0, 1, 8, 9}) {
        if (!(w[c] > 0.0 && w[c] < 0x1p960)) return false;  // also NaN
    }
    return true;
}

// The 16-byte loop stores through the caches even when the caller streams (see there).
// Measured where 64-byte operations are double-pumped, eight pixels to 64-byte registers
// ran slower than the 32-byte loop, and selecting the words by three-input logic instead
// of word blends gained nothing: the loop is bound by the count of vector operations,
// not by any one kind of them, so there is no AVX-512 loop.
template <class T, bool Swap, bool Scaled, bool Stream>
void Weighted16x16Avx2(const unsigned char* p, double* dst, size_t count, const ChannelParams* params) {
    const bool narrow = kernel::CpuSplitsWideVectors();
    if constexpr (std::is_unsigned_v<T>) {
        if (FirstProductsFuse(params->weights)) {
            return narrow ? Weighted16x16Loop<T, Swap, Scaled, true>(p, dst, count, params)
                          : Weighted16x16Wide<T, Swap, Scaled, true, Stream>(p, dst, count, params);
        }
    }
    narrow ? Weighted16x16Loop<T, Swap, Scaled, false>(p, dst, count, params)
           : Weighted16x16Wide<T, Swap, Scaled, false, Stream>(p, dst, count, params);
}

ORVA_TARGET_END

bool CpuHasFma() {
    static const bool has = __builtin_cpu_supports("fma") != 0;
    return has;
}

// The AVX2 loop of a kernel for this channel count, or null when there is none. The loops
// do whole blocks of four pixels; the caller finishes the rest.
using FastLoop = void (*)(const unsigned char*, double*, size_t, const ChannelParams*);

// Stream: the loop's stores go past the caches (dst then 32-byte aligned).
template <class T, bool Swap, bool Scaled, Op O, bool Stream>
FastLoop FindFastLoop(size_t channels) {
    constexpr bool kConvertible = sizeof(T) <= 4 || kIsReal64<T>;
    if constexpr (O == Op::kWeighted && kConvertible) {
        if constexpr (std::is_integral_v<T> && sizeof(T) == 2) {
            if (channels == 3) return Channels3x16Avx2<T, Swap, Scaled, O, Stream>;
        }
        if (channels == 3) return Channels3Avx2<T, Swap, Scaled, O, Stream>;
        // The lanes change the order of the additions, which for 64-bit reals can turn an
        // overflow into a finite sum (or back): those keep the sequential loop.
        if constexpr (!kIsReal64<T>) {
            if (!CpuHasFma()) return nullptr;
            if (channels == 4) return WeightedLanesAvx2<T, Swap, Scaled, 4, Stream>;
            if (channels == 8) return WeightedLanesAvx2<T, Swap, Scaled, 8, Stream>;
            if (channels == 16) {
                if constexpr (std::is_integral_v<T> && sizeof(T) == 2)
                    return Weighted16x16Avx2<T, Swap, Scaled, Stream>;
                return WeightedLanesAvx2<T, Swap, Scaled, 16, Stream>;
            }
        }
    } else if constexpr (O == Op::kSum && sizeof(T) <= 4) {
        if constexpr (std::is_integral_v<T> && sizeof(T) == 2) {
            if (channels == 3) return Channels3x16Avx2<T, Swap, Scaled, O, Stream>;
        }
        if (channels == 3) return Channels3Avx2<T, Swap, Scaled, O, Stream>;
        if constexpr (std::is_integral_v<T> && sizeof(T) == 2) {
            if (channels == 16) return Sum16x16Avx2<T, Swap, Scaled, Stream>;
        }
    }
    (void)channels;
    return nullptr;
}

// Runs a vector loop over `count` pixels (a multiple of four) whose results stream: the
// streaming loop from the first 32-byte boundary of dst, and the plain loop on whole
// blocks of four, through a scratch block, for the pixels before that boundary and after
// the last streamed block. Each pixel's result does not depend on its place in a
// block, so every pixel reads as it would through the plain loop alone.
inline void RunStreamed(FastLoop plain, FastLoop streamed, const unsigned char* p, double* dst, size_t count,
                        size_t pixelBytes, const ChannelParams* params) {
    const size_t head = std::min(count, kernel::DoublesToAlign32(dst));
    const size_t body = (count - head) - (count - head) % 4;
    alignas(32) double block[4];
    if (head > 0) {
        plain(p, block, 4, params);
        std::memcpy(dst, block, head * sizeof(double));
    }
    streamed(p + head * pixelBytes, dst + head, body, params);
    const size_t end = head + body;
    if (end < count) {
        plain(p + (count - 4) * pixelBytes, block, 4, params);
        std::memcpy(dst + end, block + 4 - (count - end), (count - end) * sizeof(double));
    }
}

template <class T, bool Swap, bool Scaled, Op O>
void CombineKernel(const void* source, double* destination, uint32_t count,
                   const ChannelParams* params) {
    const size_t channels = params->channelCount == 0 ? 1 : params->channelCount;
    if (O == Op::kWeighted && (params->weights == nullptr || params->weightCount < channels)) {
        // Without a weight for every channel there is no weighted value: the pixels
        // read as missing rather than from memory that is not there.
        for (uint32_t i = 0; i < count; ++i) destination[i] = kMissing;
        return;
    }
    const unsigned char* p = static_cast<const unsigned char*>(source);
    if (kernel::CpuHasAvx2()) {
        if (const auto fast = FindFastLoop<T, Swap, Scaled, O, false>(channels)) {
            const size_t done = count - count % 4;
            if (StreamsOutput(destination, done, params)) {
                RunStreamed(fast, FindFastLoop<T, Swap, Scaled, O, true>(channels), p, destination, done,
                            channels * sizeof(T), params);
            } else {
                fast(p, destination, done, params);
            }
            if (done == count) return;
            p += done * channels * sizeof(T);
            destination += done;
            count -= static_cast<uint32_t>(done);
        }
    }
    switch (channels) {
        case 2: return Combine<T, Swap, Scaled, O, 2>(p, destination, count, 2, params);
        case 3: return Combine<T, Swap, Scaled, O, 3>(p, destination, count, 3, params);
        case 4: return Combine<T, Swap, Scaled, O, 4>(p, destination, count, 4, params);
        case 5: return Combine<T, Swap, Scaled, O, 5>(p, destination, count, 5, params);
        case 6: return Combine<T, Swap, Scaled, O, 6>(p, destination, count, 6, params);
        case 7: return Combine<T, Swap, Scaled, O, 7>(p, destination, count, 7, params);
        case 8: return Combine<T, Swap, Scaled, O, 8>(p, destination, count, 8, params);
        case 16: return Combine<T, Swap, Scaled, O, 16>(p, destination, count, 16, params);
        default: return Combine<T, Swap, Scaled, O, 0>(p, destination, count, channels, params);
    }
}

// ---- Tables -------------------------------------------------------------------------------

template <class T, bool Swap>
constexpr ChannelKernelSet kMultiSet = {{
    ElementWise<T, Swap, false>,
    FirstElement<T, Swap, false>,
    CombineKernel<T, Swap, false, Op::kSum>,
    CombineKernel<T, Swap, false, Op::kWeighted>,
    ElementWise<T, Swap, true>,
    FirstElement<T, Swap, true>,
    CombineKernel<T, Swap, true, Op::kSum>,
    CombineKernel<T, Swap, true, Op::kWeighted>,
}};

template <class T, bool Swap>
constexpr ChannelKernelSet kSingleSet = {{
    ElementWise<T, Swap, false>,
    ElementWise<T, Swap, false>,
    ElementWise<T, Swap, false>,
    ElementWise<T, Swap, false>,
    ElementWise<T, Swap, true>,
    ElementWise<T, Swap, true>,
    ElementWise<T, Swap, true>,
    ElementWise<T, Swap, true>,
}};

// Template variables cannot be template template arguments, so the two indexes are
// spelled out through one macro.
#define ORVA_CHANNEL_INDEX(SET)                                                             \
    {                                                                                       \
        {kTypeI8, &SET<int8_t, false>}, {kTypeU8, &SET<uint8_t, false>},                    \
            {kTypeI16, &SET<int16_t, false>}, {kTypeU16, &SET<uint16_t, false>},            \
            {kTypeI32, &SET<int32_t, false>}, {kTypeU32, &SET<uint32_t, false>},            \
            {kTypeI64, &SET<int64_t, false>}, {kTypeU64, &SET<uint64_t, false>},            \
            {kTypeF32, &SET<float, false>}, {kTypeF64, &SET<double, false>},                \
            {kTypeI16 | kElemSwapped, &SET<int16_t, true>},                                 \
            {kTypeU16 | kElemSwapped, &SET<uint16_t, true>},                                \
            {kTypeI32 | kElemSwapped, &SET<int32_t, true>},                                 \
            {kTypeU32 | kElemSwapped, &SET<uint32_t, true>},                                \
            {kTypeI64 | kElemSwapped, &SET<int64_t, true>},                                 \
            {kTypeU64 | kElemSwapped, &SET<uint64_t, true>},                                \
            {kTypeF32 | kElemSwapped, &SET<float, true>},                                   \
            {kTypeF64 | kElemSwapped, &SET<double, true>},                                  \
    }

constexpr ChannelKernelIndexEntry kSingleIndex[18] = ORVA_CHANNEL_INDEX(kSingleSet);
constexpr ChannelKernelIndexEntry kMultiIndex[18] = ORVA_CHANNEL_INDEX(kMultiSet);

#undef ORVA_CHANNEL_INDEX

// ---- Blank samples ----------------------------------------------------------------------

// Runs the wrapped kernel, then puts NaN where the stored bits equal the blank. The
// bits are compared, not the values, so signed and unsigned readings of the same
// file agree.
template <class U, bool Swap, int Which>
void MarkBlanks(const void* source, double* destination, uint32_t count,
                const ChannelParams* params) {
    params->blankInner[Which](source, destination, count, params);
    const U blank = static_cast<U>(params->blankBits);
    const size_t n = params->channelCount > 1 ? params->channelCount : 1;
    const int slot = ChannelModeSlot(params->mode);
    const size_t group = n > 1 && slot >= 2 ? n : 1;  // sums: every channel of a pixel
    const size_t step = n > 1 && slot != 0 ? n : 1;   // element-wise runs are dense
    const auto* p = static_cast<const unsigned char*>(source);
    for (uint32_t i = 0; i < count; ++i) {
        for (size_t c = 0; c < group; ++c) {
            if (Load<U, Swap>(p, i * step + c) == blank) {
                destination[i] = std::numeric_limits<double>::quiet_NaN();
                break;
            }
        }
    }
}

template <class U, bool Swap>
constexpr ChannelKernel kMarkBlanks[2] = {MarkBlanks<U, Swap, 0>, MarkBlanks<U, Swap, 1>};

const ChannelKernel* MarkBlankPair(uint32_t bytes, bool swap) {
    switch (bytes) {
        case 1: return kMarkBlanks<uint8_t, false>;
        case 2: return swap ? kMarkBlanks<uint16_t, true> : kMarkBlanks<uint16_t, false>;
        case 4: return swap ? kMarkBlanks<uint32_t, true> : kMarkBlanks<uint32_t, false>;
        case 8: return swap ? kMarkBlanks<uint64_t, true> : kMarkBlanks<uint64_t, false>;
        default: return nullptr;
    }
}

}  // namespace

void ChannelSetSumFactors(ChannelParams* params) {
    params->sumFactor = 1.0;
    params->sumMultiplier = 1.0;
    if ((params->elementType & kElemReal64) == 0 || params->channelCount < 2 ||
        params->mode != kChannelSum) {
        return;
    }
    uint64_t p = 1;
    while (p < params->channelCount) p <<= 1;
    params->sumMultiplier = static_cast<double>(p);
    params->sumFactor = 1.0 / static_cast<double>(p);
}

const ChannelKernelIndexEntry* ChannelKernelFind(const ChannelParams* params, ElementType type) {
    ElementType key = type & kElemFlagMask;
    if (key & kElemInt8) key &= ~kElemSwapped;  // single bytes have no order
    const bool multi = params != nullptr && params->channelCount > 1;
    const ChannelKernelIndexEntry* index = multi ? kMultiIndex : kSingleIndex;
    for (size_t i = 0; i < 18; ++i) {
        if (index[i].type == key) return &index[i];
    }
    return nullptr;
}

const ChannelKernel* ChannelKernelScaled(const ChannelKernelIndexEntry* entry, bool scaled) {
    if (entry == nullptr) return nullptr;
    return entry->set->slots + (scaled ? 4 : 0);
}

ChannelKernel ChannelKernelDefault(bool swapped) {
    return swapped ? CombineKernel<double, true, false, Op::kDefault>
                   : CombineKernel<double, false, false, Op::kDefault>;
}

int ChannelModeSlot(int32_t mode) {
    switch (mode) {
        case kChannelWeighted: return 3;
        case kChannelSum: return 2;
        case kChannelSelected: return 1;
        default: return 0;
    }
}

bool ChannelKernelChoose(const ChannelParams* params, ChannelKernelChoice* choice) {
    *choice = ChannelKernelChoice{};
    if (params == nullptr) return false;
    const ChannelKernelIndexEntry* entry = ChannelKernelFind(params, params->elementType);
    if (entry == nullptr) return false;
    const int slot = ChannelModeSlot(params->mode);
    const bool multi = params->channelCount > 1;
    if (multi && slot == 3 &&
        (params->weights == nullptr || params->weightCount < params->channelCount)) {
        return false;
    }
    const double one = 1.0;
    const bool identity =
        std::memcmp(&params->scale, &one, sizeof one) == 0 && params->zero == 0.0;
    choice->read = ChannelKernelScaled(entry, !identity)[slot];
    choice->stats = ChannelKernelScaled(entry, false)[slot];
    if (multi && slot == 2 && (entry->type & 0x7F) == kElemReal64) {
        choice->stats = ChannelKernelDefault((entry->type & kElemSwapped) != 0);
    }
    return true;
}

bool ChannelKernelMarkBlanks(ChannelParams* params, int64_t blank, ChannelKernelChoice* choice) {
    if (params == nullptr || choice == nullptr || choice->read == nullptr || choice->stats == nullptr)
        return false;
    const ElementType type = params->elementType;
    if (ElementIsReal(type)) return false;
    const uint32_t bytes = ElementSize(type);
    const ChannelKernel* pair = MarkBlankPair(bytes, ElementIsSwapped(type));
    if (pair == nullptr) return false;
    if (bytes < 8) {
        const int64_t half = int64_t{1} << (bytes * 8 - 1);
        if (blank < -half || blank >= 2 * half) return false;
    }
    params->hasBlank = true;
    params->blankBits = static_cast<uint64_t>(blank);
    params->blankInner[0] = choice->read;
    params->blankInner[1] = choice->stats;
    choice->read = pair[0];
    choice->stats = pair[1];
    return true;
}

}  // namespace orva
