// Built with -fno-math-errno (nothing reads errno after a math call, so sqrt and
// lrint compile to single instructions) and never with -ffast-math: NaN,
// infinities and the no-data value −DBL_MAX are part of what the kernels answer.
#include "data/kernel_pragmas.h"

#include "transform/scale_kernels.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "data/kernel_util.h"

namespace orva {

namespace {

using namespace kernel;

constexpr double kNoData = -DBL_MAX;

// "exp": above this exponent the result is Value1 × 2^1023 without computing it.
constexpr double kExpLimit = 709.0895657;
constexpr double kTwoTo1023 = 8.988465674311579e307;
// "bytewap": the factor that brings the 32-bit word back to about ±1.
constexpr double kWordScale = 4.656612875245797e-10;

// Outputs at or above this many bytes go past the caches (non-temporal stores):
// the stores then need no read of the target lines. Smaller runs (the worker's
// strips) stay cached for the colour stage that reads them next.
constexpr size_t kStreamBytes = size_t{16} << 20;

ORVA_INLINE double RangeOf(double x, double s, double o) {
    const double r = x * s - o;
    return (x == kNoData || x != x) ? 0.0 : r;
}

ORVA_INLINE void RangeLoop(double* __restrict out, const double* __restrict in, size_t n, double s,
                           double o) {
    for (size_t i = 0; i < n; ++i) out[i] = RangeOf(in[i], s, o);
}

void RangeBase(double* out, const double* in, size_t n, double s, double o) { RangeLoop(out, in, n, s, o); }

[[gnu::target("avx2")]] void RangeAvx2(double* out, const double* in, size_t n, double s, double o) {
    RangeLoop(out, in, n, s, o);
}

// The same values written with non-temporal stores, then a fence so that the
// stores are visible before the caller reads the output. The first values are
// written one by one until the output is aligned for the vector stores.
void RangeStreamBase(double* out, const double* in, size_t n, double s, double o) {
    size_t i = 0;
    for (; i < n && (reinterpret_cast<uintptr_t>(out + i) & 15) != 0; ++i) out[i] = RangeOf(in[i], s, o);
    const __m128d vs = _mm_set1_pd(s);
    const __m128d vo = _mm_set1_pd(o);
    const __m128d none = _mm_set1_pd(kNoData);
    for (; i + 2 <= n; i += 2) {
        const __m128d x = _mm_loadu_pd(in + i);
        const __m128d r = _mm_sub_pd(_mm_mul_pd(x, vs), vo);
        const __m128d bad = _mm_or_pd(_mm_cmpeq_pd(x, none), _mm_cmpunord_pd(x, x));
        _mm_stream_pd(out + i, _mm_andnot_pd(bad, r));
    }
    for (; i < n; ++i) out[i] = RangeOf(in[i], s, o);
    _mm_sfence();
}

[[gnu::target("avx2")]] void RangeStreamAvx2(double* out, const double* in, size_t n, double s, double o) {
    size_t i = 0;
    for (; i < n && (reinterpret_cast<uintptr_t>(out + i) & 31) != 0; ++i) out[i] = RangeOf(in[i], s, o);
    const __m256d vs = _mm256_set1_pd(s);
    const __m256d vo = _mm256_set1_pd(o);
    const __m256d none = _mm256_set1_pd(kNoData);
    for (; i + 8 <= n; i += 8) {
        // 2 KiB ahead of the loads (an address past the input is only a hint, formed
        // as a number so that no pointer leaves the array).
        _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(in + i) + 2048), _MM_HINT_T0);
        for (size_t k = 0; k < 8; k += 4) {
            const __m256d x = _mm256_loadu_pd(in + i + k);
            const __m256d r = _mm256_sub_pd(_mm256_mul_pd(x, vs), vo);
            const __m256d bad = _mm256_or_pd(_mm256_cmp_pd(x, none, _CMP_EQ_OQ), _mm256_cmp_pd(x, x, _CMP_UNORD_Q));
            _mm256_stream_pd(out + i + k, _mm256_andnot_pd(bad, r));
        }
    }
    for (; i < n; ++i) out[i] = RangeOf(in[i], s, o);
    _mm_sfence();
}

// ---- "pow" -------------------------------------------------------------------------------

enum class PowForm { kGeneral, kRoot, kIdentity, kSquare };

template <PowForm Form>
ORVA_INLINE double PowOf(double x, double s, double o, double power) {
    const double r = x * s - o;
    double y;
    if constexpr (Form == PowForm::kRoot) {
        y = std::sqrt(r);
    } else if constexpr (Form == PowForm::kIdentity) {
        y = r;
    } else if constexpr (Form == PowForm::kSquare) {
        y = r * r;
    } else {
        if (x == kNoData || r <= 0.0) return 0.0;
        y = std::pow(r, power);
    }
    // |y| <= DBL_MAX is the finite test that vectorises (false for NaN).
    const bool finite = std::fabs(y) <= DBL_MAX;
    return (x == kNoData || r <= 0.0 || !finite) ? 0.0 : y;
}

template <PowForm Form>
ORVA_INLINE void PowLoop(double* __restrict out, const double* __restrict in, size_t n, double s, double o,
                         double power) {
    for (size_t i = 0; i < n; ++i) out[i] = PowOf<Form>(in[i], s, o, power);
}

template <PowForm Form>
void PowBase(double* out, const double* in, size_t n, double s, double o, double power) {
    PowLoop<Form>(out, in, n, s, o, power);
}

template <PowForm Form>
[[gnu::target("avx2")]] void PowAvx2(double* out, const double* in, size_t n, double s, double o,
                                     double power) {
    PowLoop<Form>(out, in, n, s, o, power);
}

template <PowForm Form>
void PowRun(double* out, const double* in, size_t n, double s, double o, double power) {
    if (CpuHasAvx2()) {
        PowAvx2<Form>(out, in, n, s, o, power);
    } else {
        PowBase<Form>(out, in, n, s, o, power);
    }
}

// ---- "exp" -------------------------------------------------------------------------------

// Wide: |Value1| >= 1, where the limit is applied to exp(t) − 1 before the product.
template <bool Wide>
void ExpLoop(double* out, const double* in, size_t n, const ScaleParameters* p, double above, double limit) {
    const double s = p->scale, o = p->offset, v1 = p->value1, v2 = p->value2;
    for (size_t i = 0; i < n; ++i) {
        const double x = in[i];
        const double t = v2 * (x * s - o);
        double y;
        if (x == kNoData || !(t > 0.0)) {
            y = 0.0;
        } else if (t > kExpLimit) {
            y = above;
        } else {
            const double e = std::exp(t) - 1.0;
            if constexpr (Wide) {
                y = e >= limit ? DBL_MAX : (e <= -limit ? -DBL_MAX : v1 * e);
            } else {
                y = v1 * e;
                y = y >= DBL_MAX ? DBL_MAX : (y <= -DBL_MAX ? -DBL_MAX : y);
            }
        }
        out[i] = y;
    }
}

// ---- "bytewap" ---------------------------------------------------------------------------

ORVA_INLINE double ByteSwapOf(double x, double s, double o, double v2, double factor) {
    double t = v2 * (x * s - o);
    t = t > 1.0 ? 1.0 : t;
    const int32_t k = SaturateTrunc<int32_t>(t * 2147483647.0);
    const auto swapped = static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(k)));
    return x == kNoData ? 0.0 : static_cast<double>(swapped) * factor;
}

// Four values at a time; answers how many were done. The truncating conversion
// gives 0x80000000 for every value below the word's range, which is the
// saturated result; NaN is turned into 0 before it.
[[gnu::target("avx2")]] size_t ByteSwapAvx2(double* out, size_t n, const double* in, double s, double o,
                                            double v2, double factor) {
    const __m256d vs = _mm256_set1_pd(s);
    const __m256d vo = _mm256_set1_pd(o);
    const __m256d vv2 = _mm256_set1_pd(v2);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d wordMax = _mm256_set1_pd(2147483647.0);
    const __m256d none = _mm256_set1_pd(kNoData);
    const __m256d vf = _mm256_set1_pd(factor);
    const __m128i reverse = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d x = _mm256_loadu_pd(in + i);
        __m256d t = _mm256_mul_pd(vv2, _mm256_sub_pd(_mm256_mul_pd(x, vs), vo));
        t = _mm256_min_pd(one, t);  // (1 < t) ? 1 : t; NaN stays
        __m256d w = _mm256_mul_pd(t, wordMax);
        w = _mm256_andnot_pd(_mm256_cmp_pd(w, w, _CMP_UNORD_Q), w);
        const __m128i k = _mm_shuffle_epi8(_mm256_cvttpd_epi32(w), reverse);
        const __m256d y = _mm256_mul_pd(_mm256_cvtepi32_pd(k), vf);
        _mm256_storeu_pd(out + i, _mm256_andnot_pd(_mm256_cmp_pd(x, none, _CMP_EQ_OQ), y));
    }
    return i;
}

}  // namespace

void ScaleKernelRange(double* out, size_t n, const double* in, const ScaleParameters* p) {
    const bool stream = n >= kStreamBytes / sizeof(double);
    if (CpuHasAvx2()) {
        (stream ? RangeStreamAvx2 : RangeAvx2)(out, in, n, p->scale, p->offset);
    } else {
        (stream ? RangeStreamBase : RangeBase)(out, in, n, p->scale, p->offset);
    }
}

void ScaleKernelPow(double* out, size_t n, const double* in, const ScaleParameters* p) {
    const double s = p->scale, o = p->offset, power = p->value2;
    if (power == 0.5) {
        PowRun<PowForm::kRoot>(out, in, n, s, o, power);
    } else if (power == 1.0) {
        PowRun<PowForm::kIdentity>(out, in, n, s, o, power);
    } else if (power == 2.0) {
        PowRun<PowForm::kSquare>(out, in, n, s, o, power);
    } else {
        PowLoop<PowForm::kGeneral>(out, in, n, s, o, power);
    }
}

void ScaleKernelLog(double* out, size_t n, const double* in, const ScaleParameters* p) {
    const double s = p->scale, o = p->offset, v1 = p->value1, v2 = p->value2;
    for (size_t i = 0; i < n; ++i) {
        const double x = in[i];
        const double t = v2 * (x * s - o);
        out[i] = (x == kNoData || !(t > 0.0)) ? 0.0 : v1 * std::log10(t);
    }
}

void ScaleKernelExp(double* out, size_t n, const double* in, const ScaleParameters* p) {
    const double v1 = p->value1;
    const double above = v1 * kTwoTo1023;
    if (std::fabs(v1) >= 1.0) {
        ExpLoop<true>(out, in, n, p, above, v1 > 0.0 ? DBL_MAX / v1 : DBL_MAX);
    } else {
        ExpLoop<false>(out, in, n, p, above, DBL_MAX);
    }
}

void ScaleKernelBitsShift(double* out, size_t n, const double* in, const ScaleParameters* p) {
    const double sv = p->scale * p->value2;
    const double ov = p->offset * p->value2;
    const uint32_t shift = p->value3 & 31u;
    const uint32_t mask = p->value4;
    // 2^(shift + 1) × Value1 / 255, formed in double: a 32-bit integer power would
    // turn negative at shift 30 and wrap to 1 at shift 31.
    const double factor = std::ldexp(p->value1, static_cast<int>(shift) + 1) / 255.0;
    for (size_t i = 0; i < n; ++i) {
        const double x = in[i];
        const double t = (x * sv - ov) * 255.0;
        uint32_t k;
        if (t >= 4294967295.0) {
            k = 0xFFFFFFFFu;
        } else if (!(t >= 0.5)) {
            // Below one half, not a number or minus infinity.
            k = 0;
        } else {
            // 0.5 <= t < 2^32 - 1: the nearest integer (ties to even) fits the word.
            k = static_cast<uint32_t>(std::lrint(t));
        }
        const uint32_t bits = (k >> shift) & mask;
        out[i] = x == kNoData ? 0.0 : static_cast<double>(bits) * factor;
    }
}

void ScaleKernelByteSwap(double* out, size_t n, const double* in, const ScaleParameters* p) {
    const double factor = p->value1 * kWordScale;
    size_t done = 0;
    if (CpuHasAvx2()) done = ByteSwapAvx2(out, n, in, p->scale, p->offset, p->value2, factor);
    for (size_t i = done; i < n; ++i) out[i] = ByteSwapOf(in[i], p->scale, p->offset, p->value2, factor);
}

void ScaleKernelPalette(double* out, size_t n, const double* /*in*/, const ScaleParameters* p) {
    const double step = n > 1 ? p->value1 / static_cast<double>(n - 1) : 0.0;
    const double v2 = p->value2;
    if (n == 1) {
        out[0] = -v2;
        return;
    }
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<double>(i) * step - v2;
}

void ScaleKernelGammaPalette(double* out, size_t n, const double* /*in*/, const ScaleParameters* p) {
    if (n == 0) return;
    const double v1 = p->value1, v2 = p->value2;
    double c = 0.0;
    if (v1 > 0.0) {
        c = std::pow(v1, -v2);
        if (!std::isfinite(c)) c = 1.0;
    }
    if (n != 1) c /= static_cast<double>(n - 1);
    for (size_t i = 0; i < n; ++i) {
        const double y = std::pow(static_cast<double>(i) * c, v2);
        out[i] = std::isfinite(y) ? y : 0.0;
    }
}

void ScaleKernelBox(double* out, size_t n, const double* /*in*/, const ScaleParameters* p) {
    const double v1 = p->value1;
    for (size_t i = 0; i < n; ++i) out[i] = v1;
}

void ScaleKernelCopy(double* out, size_t n, const double* in, const ScaleParameters* /*params*/) {
    if (n > 0) std::memcpy(out, in, n * sizeof(double));
}

}  // namespace orva
