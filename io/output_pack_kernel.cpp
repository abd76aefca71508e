#include "io/output_pack_kernel.h"

#include <immintrin.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <type_traits>

#include "data/kernel_pragmas.h"
#include "data/kernel_avx2.h"
#include "data/kernel_util.h"
#include "data/scale_inplace.h"

namespace orva {
namespace {

using namespace kernel;

// The range of a run: NaN never passes the comparisons; an infinity or a missing
// value does, and the caller then scans the run again without them.
ORVA_INLINE void ScanLoop(const double* __restrict in, int32_t n, double* lo, double* hi) {
    double a = *lo, b = *hi;
    for (int32_t i = 0; i < n; ++i) {
        const double x = in[i];
        a = x < a ? x : a;
        b = x > b ? x : b;
    }
    *lo = a;
    *hi = b;
}

template <class T, bool Round, bool Swap>
ORVA_INLINE void PackLoop(const double* __restrict in, unsigned char* __restrict out, int32_t n,
                          double s, double z) {
    for (int32_t i = 0; i < n; ++i) {
        const double x = in[i];
        const double y = x == -DBL_MAX ? x : ClampToDoubleRange(x * s + z);
        T v = Round ? SaturateRound<T>(y) : SaturateTrunc<T>(y);
        if constexpr (Swap) v = ByteReverse(v);
        StoreAt<T>(out + static_cast<size_t>(i) * sizeof(T), v);
    }
}

// The vector part of a run for the types whose values fit 32-bit lanes: sixteen values
// a step, scaled, missing values kept (and then bounded like any other), NaN to 0,
// bounded and rounded (or truncated) as the scalar loop does. Returns the count done (a
// multiple of 16); the caller finishes the rest.
template <class T, bool Round, bool Swap, bool Clean>
[[gnu::target("avx2")]] int32_t PackVector(const double* in, unsigned char* out, int32_t n,
                                           double s, double z) {
    if constexpr (!kNarrowsThroughInt32<T>) {
        (void)in, (void)out, (void)n, (void)s, (void)z;
        return 0;
    } else {
        const __m256d vs = _mm256_set1_pd(s), vz = _mm256_set1_pd(z);
        const __m256d missing = _mm256_set1_pd(-DBL_MAX);
        const __m128i swap = sizeof(T) == 2
                                 ? _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14)
                                 : _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
        int32_t i = 0;
        for (; i + 16 <= n; i += 16) {
            // A plain loop, not a lambda: a lambda would not inherit this function's AVX2
            // target under every compiler.
            __m256d y[4];
            for (int k = 0; k < 4; ++k) {
                const __m256d x = _mm256_loadu_pd(in + i + 4 * k);
                const __m256d t = _mm256_add_pd(_mm256_mul_pd(x, vs), vz);
                // A run known to hold no missing value skips this step.
                y[k] = Clean ? t : _mm256_blendv_pd(t, x, _mm256_cmp_pd(x, missing, _CMP_EQ_OQ));
            }
            // A run known to hold no NaN skips the NaN test too (a product that overflows
            // is bounded like any other value).
            Packed16<T> v = Saturate16<T, Round, !Clean>(y);
            if constexpr (Swap && sizeof(T) > 1) {
                for (__m128i& part : v.part) part = _mm_shuffle_epi8(part, swap);
            }
            Store16<T>(out + static_cast<size_t>(i) * sizeof(T), v);
        }
        return i;
    }
}

// The two pairs of minimum and maximum accumulators of the vector scans folded into one
// minimum and one maximum, lane by lane in order (so both scans give the same range).
[[gnu::target("avx2")]] inline void FoldRange(__m256d a0, __m256d a1, __m256d b0, __m256d b1, double* a, double* b) {
    alignas(32) double la[4], lb[4];
    _mm256_store_pd(la, _mm256_min_pd(a0, a1));
    _mm256_store_pd(lb, _mm256_max_pd(b0, b1));
    *a = DBL_MAX;
    *b = -DBL_MAX;
    for (int k = 0; k < 4; ++k) {
        *a = la[k] < *a ? la[k] : *a;
        *b = lb[k] > *b ? lb[k] : *b;
    }
}

// The range of a run folded into *lo and *hi; true when the run holds no NaN and no
// missing value (-DBL_MAX), so that the pack may skip the steps for them.
[[gnu::target("avx2")]] bool ScanAvx2(const double* in, int32_t n, double* lo, double* hi) {
    // min(x, acc) keeps acc when x is NaN, as the scalar comparison does.
    __m256d a0 = _mm256_set1_pd(DBL_MAX), a1 = a0, b0 = _mm256_set1_pd(-DBL_MAX), b1 = b0;
    __m256d nan = _mm256_setzero_pd();
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        PrefetchAhead(in + i, 64);  // read once: as in Real32Avx2 below
        const __m256d x0 = _mm256_loadu_pd(in + i), x1 = _mm256_loadu_pd(in + i + 4);
        a0 = _mm256_min_pd(x0, a0);
        a1 = _mm256_min_pd(x1, a1);
        b0 = _mm256_max_pd(x0, b0);
        b1 = _mm256_max_pd(x1, b1);
        // Unordered when x0 or x1 is NaN: one comparison covers both vectors.
        nan = _mm256_or_pd(nan, _mm256_cmp_pd(x0, x1, _CMP_UNORD_Q));
    }
    double a, b;
    FoldRange(a0, a1, b0, b1, &a, &b);
    bool clean = _mm256_movemask_pd(nan) == 0;
    for (; i < n; ++i) {
        a = in[i] < a ? in[i] : a;
        b = in[i] > b ? in[i] : b;
        clean = clean && in[i] == in[i];
    }
    clean = clean && a > -DBL_MAX;
    *lo = a < *lo ? a : *lo;
    *hi = b > *hi ? b : *hi;
    return clean;
}

template <class T, bool Round, bool Swap>
[[gnu::target("avx2")]] void PackAvx2(const double* in, unsigned char* out, int32_t n, double s,
                                      double z, double* lo, double* hi) {
    const int32_t done = ScanAvx2(in, n, lo, hi)
                             ? PackVector<T, Round, Swap, true>(in, out, n, s, z)
                             : PackVector<T, Round, Swap, false>(in, out, n, s, z);
    PackLoop<T, Round, Swap>(in + done, out + static_cast<size_t>(done) * sizeof(T), n - done, s,
                             z);
}
template <class T, bool Round, bool Swap>
void PackBase(const double* in, unsigned char* out, int32_t n, double s, double z, double* lo,
              double* hi) {
    ScanLoop(in, n, lo, hi);
    PackLoop<T, Round, Swap>(in, out, n, s, z);
}

// 64-bit reals to 32-bit reals: bounded at +-FLT_MAX (NaN passes), rounded to nearest.
template <bool Swap>
ORVA_INLINE void Real32Loop(const double* __restrict in, unsigned char* __restrict out, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        float v = ClampToFloat(in[i]);
        if constexpr (Swap) v = ByteReverse(v);
        StoreAt<float>(out + static_cast<size_t>(i) * 4, v);
    }
}

// 64-bit reals narrowed to 32-bit reals eight at a time; with `Scan` the range of the
// values is taken from the same loads as ScanAvx2 takes it (its accumulators and their
// reduction, so the same range bit for bit), so that the values cross the memory bus once.
// Where asking ahead pays (kernel::gAsksAhead) the input is asked for ahead, non-temporally:
// it is read once.
template <bool Swap, bool Scan>
[[gnu::target("avx2")]] void Real32Avx2(const double* in, unsigned char* out, int32_t n,
                                        double* lo = nullptr, double* hi = nullptr) {
    // max(lo, y) and min(hi, y) give back y when it is NaN, as the scalar bounds do.
    const __m256d flo = _mm256_set1_pd(-static_cast<double>(FLT_MAX));
    const __m256d fhi = _mm256_set1_pd(static_cast<double>(FLT_MAX));
    const __m256i swap32 = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3,
                                            2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    __m256d a0 = _mm256_set1_pd(DBL_MAX), a1 = a0, b0 = _mm256_set1_pd(-DBL_MAX), b1 = b0;
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        PrefetchAhead(in + i, 64);
        const __m256d x0 = _mm256_loadu_pd(in + i), x1 = _mm256_loadu_pd(in + i + 4);
        if constexpr (Scan) {
            a0 = _mm256_min_pd(x0, a0);
            a1 = _mm256_min_pd(x1, a1);
            b0 = _mm256_max_pd(x0, b0);
            b1 = _mm256_max_pd(x1, b1);
        }
        const __m256d c0 = _mm256_min_pd(fhi, _mm256_max_pd(flo, x0));
        const __m256d c1 = _mm256_min_pd(fhi, _mm256_max_pd(flo, x1));
        __m256i v = _mm256_castps_si256(_mm256_set_m128(_mm256_cvtpd_ps(c1), _mm256_cvtpd_ps(c0)));
        if constexpr (Swap) v = _mm256_shuffle_epi8(v, swap32);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<size_t>(i) * 4), v);
    }
    if constexpr (Scan) {
        double a, b;
        FoldRange(a0, a1, b0, b1, &a, &b);
        ScanLoop(in + i, n - i, &a, &b);
        *lo = a < *lo ? a : *lo;
        *hi = b > *hi ? b : *hi;
    }
    Real32Loop<Swap>(in + i, out + static_cast<size_t>(i) * 4, n - i);
}

}  // namespace

void PackReal32(const double* in, unsigned char* out, int32_t count, bool swap) {
    if (count <= 0) return;
    if (CpuHasAvx2()) {
        swap ? Real32Avx2<true, false>(in, out, count) : Real32Avx2<false, false>(in, out, count);
    } else {
        swap ? Real32Loop<true>(in, out, count) : Real32Loop<false>(in, out, count);
    }
}

void ScanSkippingMissing(const double* in, int32_t count, MinMaxPair* pair) {
    double a = pair->minimum, b = pair->maximum;
    for (int32_t i = 0; i < count; ++i) {
        const double x = in[i];
        if (!std::isfinite(x) || x == -DBL_MAX) continue;
        a = x < a ? x : a;
        b = x > b ? x : b;
    }
    pair->minimum = a;
    pair->maximum = b;
}

namespace {

// Runs that fit the first-level cache: `run` (first value, count, range) scans and
// packs each, so that the pack pass reads what the scan just read; the range of a run
// with an infinity or a missing value is taken again without them.
template <class RunFn>
ORVA_INLINE void PackRuns(const double* in, int32_t count, MinMaxPair* pair, RunFn run) {
    constexpr int32_t kRun = 2048;
    for (int32_t done = 0; done < count; done += kRun) {
        const int32_t n = count - done < kRun ? count - done : kRun;
        double lo = pair->minimum, hi = pair->maximum;
        run(done, n, &lo, &hi);
        if (std::isinf(lo) || std::isinf(hi) || lo == -DBL_MAX) {
            // An infinity or a missing value: the run is scanned again without them.
            ScanSkippingMissing(in + done, n, pair);
        } else {
            pair->minimum = lo;
            pair->maximum = hi;
        }
    }
}

template <class T, bool Round, bool Swap>
void PackKernel(const double* in, unsigned char* out, int32_t count, double scale, double zero,
                MinMaxPair* pair) {
    if (count <= 0) return;
    const bool avx2 = CpuHasAvx2();
    PackRuns(in, count, pair, [&](int32_t done, int32_t n, double* lo, double* hi) {
        unsigned char* o = out + static_cast<size_t>(done) * sizeof(T);
        if (avx2)
            PackAvx2<T, Round, Swap>(in + done, o, n, scale, zero, lo, hi);
        else
            PackBase<T, Round, Swap>(in + done, o, n, scale, zero, lo, hi);
    });
}

template <bool Swap>
void Real32Kernel(const double* in, unsigned char* out, int32_t count, MinMaxPair* pair) {
    if (count <= 0) return;
    const bool avx2 = CpuHasAvx2();
    PackRuns(in, count, pair, [&](int32_t done, int32_t n, double* lo, double* hi) {
        unsigned char* o = out + static_cast<size_t>(done) * 4;
        if (avx2) {
            Real32Avx2<Swap, true>(in + done, o, n, lo, hi);
        } else {
            ScanLoop(in + done, n, lo, hi);
            Real32Loop<Swap>(in + done, o, n);
        }
    });
}

}  // namespace

void PackReal32Scan(const double* in, unsigned char* out, int32_t count, bool swap, MinMaxPair* pair) {
    swap ? Real32Kernel<true>(in, out, count, pair) : Real32Kernel<false>(in, out, count, pair);
}

namespace {

template <class T>
OutputPackFn Choose(bool round, bool swap) {
    if (round) return swap ? &PackKernel<T, true, true> : &PackKernel<T, true, false>;
    return swap ? &PackKernel<T, false, true> : &PackKernel<T, false, false>;
}

}  // namespace

OutputPackFn SelectOutputPack(ElementType type, int mode) {
    const bool round = mode != kRoundTruncate;
    const bool swap = ElementIsSwapped(type);
    switch (ElementNormalize(type) & ~kElemSwapped) {
        case kTypeI8:
            return Choose<int8_t>(round, false);
        case kTypeU8:
            return Choose<uint8_t>(round, false);
        case kTypeI16:
            return Choose<int16_t>(round, swap);
        case kTypeU16:
            return Choose<uint16_t>(round, swap);
        case kTypeI32:
            return Choose<int32_t>(round, swap);
        case kTypeU32:
            return Choose<uint32_t>(round, swap);
        case kTypeI64:
            return Choose<int64_t>(round, swap);
        case kTypeU64:
            return Choose<uint64_t>(round, swap);
        default:
            return nullptr;
    }
}

}  // namespace orva
