#include "data/kernel_pragmas.h"

#include "data/minmax.h"

#include <cfloat>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "common/log.h"
#include "data/kernel_util.h"
#include "data/sample_load.h"

namespace orva {

namespace {

using sample_load::Load;

constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- Scans ------------------------------------------------------------------------------

// Integers: the extremes are kept in the element type (the conversion to double is
// monotonic) and converted once. Integer extremes are exact and do not depend on the
// order in which values meet, so any lanes give the same result.
//
// The contiguous run in machine order: four packed vectors of Bytes bytes a step, held
// in registers. (The lane arrays of the portable loop below stayed in memory, and every
// step went through a store and a reload.) Folds values [0, i) into lo and hi and
// returns i, 0 for a run shorter than one step.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
// The vector of values from value `at` on. Always inlined, also in unoptimised builds,
// where a lambda is a call of its own, built without the caller's AVX2: a 32-byte vector
// returned across that call does not come back where the caller looks for it.
template <class V, class T>
ORVA_INLINE V LoadLanes(const unsigned char* p, size_t at) {
    V v;
    std::memcpy(&v, p + at * sizeof(T), sizeof v);
    return v;
}

template <class T, size_t Bytes>
ORVA_INLINE size_t IntScanLanes(const unsigned char* p, size_t n, T& lo, T& hi) {
    typedef T V __attribute__((vector_size(Bytes)));
    constexpr size_t kStep = 4 * Bytes / sizeof(T);
    if (n < kStep) return 0;
    constexpr size_t kV = Bytes / sizeof(T);  // values per vector
    V lo0 = LoadLanes<V, T>(p, 0), lo1 = LoadLanes<V, T>(p, kV), lo2 = LoadLanes<V, T>(p, 2 * kV),
      lo3 = LoadLanes<V, T>(p, 3 * kV);
    V hi0 = lo0, hi1 = lo1, hi2 = lo2, hi3 = lo3;
    size_t i = kStep;
    for (; i + kStep <= n; i += kStep) {
        const V x0 = LoadLanes<V, T>(p, i), x1 = LoadLanes<V, T>(p, i + kV),
                x2 = LoadLanes<V, T>(p, i + 2 * kV), x3 = LoadLanes<V, T>(p, i + 3 * kV);
        lo0 = x0 < lo0 ? x0 : lo0;
        lo1 = x1 < lo1 ? x1 : lo1;
        lo2 = x2 < lo2 ? x2 : lo2;
        lo3 = x3 < lo3 ? x3 : lo3;
        hi0 = x0 > hi0 ? x0 : hi0;
        hi1 = x1 > hi1 ? x1 : hi1;
        hi2 = x2 > hi2 ? x2 : hi2;
        hi3 = x3 > hi3 ? x3 : hi3;
    }
    lo0 = lo1 < lo0 ? lo1 : lo0;
    lo2 = lo3 < lo2 ? lo3 : lo2;
    hi0 = hi1 > hi0 ? hi1 : hi0;
    hi2 = hi3 > hi2 ? hi3 : hi2;
    const V l = lo2 < lo0 ? lo2 : lo0;
    const V h = hi2 > hi0 ? hi2 : hi0;
    for (size_t j = 0; j < Bytes / sizeof(T); ++j) {
        lo = l[j] < lo ? l[j] : lo;
        hi = h[j] > hi ? h[j] : hi;
    }
    return i;
}
#pragma GCC diagnostic pop

// Built for AVX2 in 32-byte registers, for AVX2 in 16-byte ones (for processors that
// split 32-byte operations) and for the baseline.
template <class T>
[[gnu::target("avx2")]] size_t IntScanAvx2(const unsigned char* p, size_t n, T& lo, T& hi) {
    return IntScanLanes<T, 32>(p, n, lo, hi);
}
template <class T>
[[gnu::target("avx2")]] size_t IntScanAvx2Narrow(const unsigned char* p, size_t n, T& lo, T& hi) {
    return IntScanLanes<T, 16>(p, n, lo, hi);
}
template <class T>
size_t IntScanBase(const unsigned char* p, size_t n, T& lo, T& hi) {
    return IntScanLanes<T, 16>(p, n, lo, hi);
}

template <class T, bool Swap>
void ScanInteger(const void* data, uint32_t count, uint32_t first, uint32_t stride,
                 MinMaxPair* pair) {
    if (count == 0) return;
    const unsigned char* p = static_cast<const unsigned char*>(data) + size_t{first} * sizeof(T);
    T lo = Load<T, Swap>(p, 0);
    T hi = lo;
    size_t n = count;
    // The baseline has no packed 64-bit compare: such runs keep the portable loop there.
    if (stride == 1 && !Swap && (kernel::CpuHasAvx2() || sizeof(T) <= 4)) {
        size_t i = kernel::CpuHasAvx2() ? (kernel::CpuSplitsWideVectors() ? IntScanAvx2Narrow(p, n, lo, hi)
                                                                         : IntScanAvx2(p, n, lo, hi))
                                        : IntScanBase(p, n, lo, hi);
        for (i = std::max<size_t>(i, 1); i < n; ++i) {
            const T x = Load<T, Swap>(p, i);
            lo = x < lo ? x : lo;
            hi = x > hi ? x : hi;
        }
    } else if (stride == 1) {
        constexpr size_t kLanes = 64 / sizeof(T);
        size_t i = 1;
        if (n >= 2 * kLanes) {
            T vlo[kLanes], vhi[kLanes];
            for (size_t j = 0; j < kLanes; ++j) vlo[j] = vhi[j] = Load<T, Swap>(p, j);
            for (i = kLanes; i + kLanes <= n; i += kLanes) {
                for (size_t j = 0; j < kLanes; ++j) {
                    const T x = Load<T, Swap>(p, i + j);
                    vlo[j] = x < vlo[j] ? x : vlo[j];
                    vhi[j] = x > vhi[j] ? x : vhi[j];
                }
            }
            for (size_t j = 0; j < kLanes; ++j) {
                lo = vlo[j] < lo ? vlo[j] : lo;
                hi = vhi[j] > hi ? vhi[j] : hi;
            }
        }
        for (; i < n; ++i) {
            const T x = Load<T, Swap>(p, i);
            lo = x < lo ? x : lo;
            hi = x > hi ? x : hi;
        }
    } else {
        const size_t step = stride;
        for (size_t i = 1; i < n; ++i) {
            const T x = Load<T, Swap>(p, i * step);
            lo = x < lo ? x : lo;
            hi = x > hi ? x : hi;
        }
    }
    const double dlo = sample_load::ToDouble(lo);
    const double dhi = sample_load::ToDouble(hi);
    if (dlo < pair->minimum) pair->minimum = dlo;
    if (dhi > pair->maximum) pair->maximum = dhi;
}

// Reals: NaN samples fall out of the comparisons by themselves (x < lo is false).
// Infinities are rare, so the fast pass lets them in and a run whose extremes came
// out infinite is folded again with the per-sample test that skips them.
inline void FoldOrdered(double x, double& lo, double& hi) {
    lo = x < lo ? x : lo;
    hi = x > hi ? x : hi;
}

inline void FoldFinite(double x, double& lo, double& hi) {
    if (std::fabs(x) <= DBL_MAX) FoldOrdered(x, lo, hi);
}

// The eight lanes of the contiguous 64-bit real scan in two packed vectors: lane j
// takes the values i with i % 8 == j, exactly as the scalar lanes do, so the result
// is the same to the bit (also which zero wins). Built for AVX2 and for the baseline.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double ScanVec __attribute__((vector_size(32)));

ORVA_INLINE size_t ScanLanes(const unsigned char* p, size_t n, double* vlo, double* vhi) {
    ScanVec lo0 = {kInf, kInf, kInf, kInf}, lo1 = lo0;
    ScanVec hi0 = -lo0, hi1 = hi0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        ScanVec x0, x1;
        std::memcpy(&x0, p + i * 8, sizeof x0);
        std::memcpy(&x1, p + i * 8 + 32, sizeof x1);
        lo0 = x0 < lo0 ? x0 : lo0;
        lo1 = x1 < lo1 ? x1 : lo1;
        hi0 = x0 > hi0 ? x0 : hi0;
        hi1 = x1 > hi1 ? x1 : hi1;
    }
    for (int j = 0; j < 4; ++j) {
        vlo[j] = lo0[j], vlo[j + 4] = lo1[j];
        vhi[j] = hi0[j], vhi[j + 4] = hi1[j];
    }
    return i;
}
#pragma GCC diagnostic pop

[[gnu::target("avx2")]] size_t ScanLanesAvx2(const unsigned char* p, size_t n, double* vlo,
                                             double* vhi) {
    return ScanLanes(p, n, vlo, vhi);
}
size_t ScanLanesBase(const unsigned char* p, size_t n, double* vlo, double* vhi) {
    return ScanLanes(p, n, vlo, vhi);
}

template <class T, bool Swap>
void ScanReal(const void* data, uint32_t count, uint32_t first, uint32_t stride,
              MinMaxPair* pair) {
    if (count == 0) return;
    const unsigned char* p = static_cast<const unsigned char*>(data) + size_t{first} * sizeof(T);
    double lo = kInf, hi = -kInf;
    const size_t n = count;
    if (stride == 1) {
        constexpr size_t kLanes = 8;
        size_t i = 0;
        if (n >= kLanes) {
            double vlo[kLanes], vhi[kLanes];
            if constexpr (std::is_same_v<T, double> && !Swap) {
                i = kernel::CpuHasAvx2() ? ScanLanesAvx2(p, n, vlo, vhi)
                                         : ScanLanesBase(p, n, vlo, vhi);
            } else {
                for (size_t j = 0; j < kLanes; ++j) vlo[j] = kInf, vhi[j] = -kInf;
                for (; i + kLanes <= n; i += kLanes) {
                    for (size_t j = 0; j < kLanes; ++j) {
                        FoldOrdered(static_cast<double>(Load<T, Swap>(p, i + j)), vlo[j], vhi[j]);
                    }
                }
            }
            for (size_t j = 0; j < kLanes; ++j) {
                lo = vlo[j] < lo ? vlo[j] : lo;
                hi = vhi[j] > hi ? vhi[j] : hi;
            }
        }
        for (; i < n; ++i) FoldOrdered(static_cast<double>(Load<T, Swap>(p, i)), lo, hi);
        if (lo == -kInf || hi == kInf) {
            lo = kInf, hi = -kInf;
            for (i = 0; i < n; ++i) FoldFinite(static_cast<double>(Load<T, Swap>(p, i)), lo, hi);
        }
    } else {
        const size_t step = stride;
        for (size_t i = 0; i < n; ++i) {
            FoldFinite(static_cast<double>(Load<T, Swap>(p, i * step)), lo, hi);
        }
    }
    // A run without a finite sample leaves the locals infinite and the pair unchanged.
    if (lo < pair->minimum && lo != kInf) pair->minimum = lo;
    if (hi > pair->maximum && hi != -kInf) pair->maximum = hi;
}

template <bool Swap>
MinMaxKernel SelectScan(ElementType type) {
    const bool u = (type & kElemUnsigned) != 0;
    if (type & kElemReal64) return ScanReal<double, Swap>;
    if (type & kElemReal32) return ScanReal<float, Swap>;
    if (type & kElemInt64) return u ? ScanInteger<uint64_t, Swap> : ScanInteger<int64_t, Swap>;
    if (type & kElemInt32) return u ? ScanInteger<uint32_t, Swap> : ScanInteger<int32_t, Swap>;
    if (type & kElemInt16) return u ? ScanInteger<uint16_t, Swap> : ScanInteger<int16_t, Swap>;
    if (type & kElemInt8) return u ? ScanInteger<uint8_t, false> : ScanInteger<int8_t, false>;
    return nullptr;
}

// ---- Dual accumulators ------------------------------------------------------------------

template <class S, bool Swap>
void DualFold(const unsigned char* p, int32_t count, DualDataInfo* info) {
    using U = std::make_unsigned_t<S>;
    double slo = info->signedMinimum, shi = info->signedMaximum;
    double ulo = info->unsignedMinimum, uhi = info->unsignedMaximum;
    double ssum = 0.0, ssq = 0.0, usum = 0.0, usq = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        const U raw = Load<U, Swap>(p, static_cast<size_t>(i));
        const double s = static_cast<double>(static_cast<S>(raw));
        const double u = static_cast<double>(raw);
        if (s < slo) slo = s;
        if (s > shi) shi = s;
        if (u < ulo) ulo = u;
        if (u > uhi) uhi = u;
        ssum += s;
        ssq += s * s;
        usum += u;
        usq += u * u;
    }
    info->signedMinimum = slo;
    info->signedMaximum = shi;
    info->unsignedMinimum = ulo;
    info->unsignedMaximum = uhi;
    info->signedSum += ssum;
    info->signedSumSquares += ssq;
    info->unsignedSum += usum;
    info->unsignedSumSquares += usq;
}

template <class S>
void DualKernel(const void* data, int32_t count, DualDataInfo* info) {
    if (count <= 0) return;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (info->swap != 0 && sizeof(S) > 1) {
        DualFold<S, true>(p, count, info);
    } else {
        DualFold<S, false>(p, count, info);
    }
    info->count += static_cast<uint32_t>(count);
}

}  // namespace

MinMaxKernel SelectMinMaxKernel(ElementType type, bool swapped) {
    return swapped ? SelectScan<true>(type) : SelectScan<false>(type);
}

// ---- 64-bit real accumulator ----------------------------------------------------------------

void DataInfoStart(DataInfo* info, uint64_t n) {
    *info = DataInfo{};
    info->minimum = DBL_MAX;
    info->maximum = -DBL_MAX;
    DataInfoFactor(*info) = n == 0 ? 1.0 : 1.0 / static_cast<double>(n);
    info->n = static_cast<int64_t>(n);
}

namespace {

constexpr double kSqrtDblMin = 1.4916681462400413e-154;
constexpr double kSqrtDblMax = 1.3407807929942597e154;
constexpr double kTwo52 = 4503599627370496.0;

// The narrowest real type that holds a fractional value exactly: 0x10 when a 32-bit
// real keeps every bit of it, else 0x40. Whole values (and values within DBL_MIN of
// a whole one) need no real type: 0.
inline uint32_t FractionType(double x) {
    const double a = std::fabs(x);
    if (!(a > DBL_MIN) || a >= kTwo52) return 0;  // also NaN and infinities
    if (static_cast<double>(static_cast<int64_t>(a)) == a) return 0;
    return static_cast<double>(static_cast<float>(x)) == x ? kElemReal32 : kElemReal64;
}

}  // namespace

namespace {

// The running state of one call.
struct InfoRun {
    double lo;
    double hi;
    double shift = 0.0;    // taken from every value before it is summed
    double sum = 0.0;      // of (value - shift) × factor
    double squares = 0.0;  // of ((value - shift) × factor)²
    int64_t small = 0;     // values too small to multiply: +1 per positive, -1 per negative
    int64_t valid = 0;
    bool saturated = false;  // the sum of squares reached DBL_MAX
    uint32_t type;
};

// Missing values (-DBL_MAX) and values without a magnitude (NaN, infinities) take no part.
inline bool ValidValue(double x) { return x != -DBL_MAX && std::fabs(x) <= DBL_MAX; }

// Every rule, value by value.
void InfoScalar(const double* values, size_t n, double factor, double tiny, InfoRun& r) {
    for (size_t i = 0; i < n; ++i) {
        const double x = values[i];
        if (!ValidValue(x)) continue;
        ++r.valid;
        if (x < r.lo) r.lo = x;
        if (x > r.hi) r.hi = x;
        const double y = x - r.shift;
        double v = 0.0;
        if (std::fabs(y) <= tiny) {
            r.small += (y > 0.0) - (y < 0.0);
        } else {
            v = y * factor;
            r.sum += v;
        }
        if (!r.saturated) {
            const double av = std::fabs(v);
            if (av >= kSqrtDblMax) {
                r.saturated = true;
            } else if (av >= kSqrtDblMin) {
                const double s = v * v;
                if (r.squares + s >= DBL_MAX) {
                    r.saturated = true;
                } else {
                    r.squares += s;
                }
            }
        }
        if (r.type != kElemReal64) {
            const uint32_t f = FractionType(x);
            if (f > r.type) r.type = f;
        }
    }
}

constexpr size_t kInfoLanes = 4;

// Packed doubles (one SSE2 register) and their lane masks.
typedef double VecD __attribute__((vector_size(16)));
typedef int64_t VecM __attribute__((vector_size(16)));
typedef float VecF __attribute__((vector_size(8)));

inline VecD LoadVec(const double* p) {
    VecD v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline VecD AbsVec(VecD x) { return (VecD)((VecM)x & INT64_MAX); }

inline bool AnyLane(VecM m) { return (m[0] | m[1]) != 0; }

// Lanes of the two halves of a block that hold a value the lanes cannot take: a
// nonzero value too small to be multiplied by the factor, or one whose square alone
// would reach the saturation.
inline VecM NeedsCare(VecD x, double shift, double factor, double tiny) {
    const VecD a = AbsVec(x);
    const VecM valid = (x != -DBL_MAX) & (a <= DBL_MAX);
    const VecD y = x - shift;
    const VecD b = AbsVec(y);
    return valid & (((b <= tiny) & (y != 0.0)) | (AbsVec(y * factor) >= kSqrtDblMax));
}

struct InfoLanes {
    VecD lo, hi, sum, sq;
    VecM cnt, fraction, wide;
};

template <bool TypeTest>
__attribute__((always_inline)) inline void FoldLanes(VecD x, double shift, double factor, InfoLanes& l) {
    const VecD zero = {0.0, 0.0};
    const VecD a = AbsVec(x);
    const VecM valid = (x != -DBL_MAX) & (a <= DBL_MAX);
    const VecD xl = valid ? x : zero + kInf;
    const VecD xh = valid ? x : zero - kInf;
    l.lo = xl < l.lo ? xl : l.lo;
    l.hi = xh > l.hi ? xh : l.hi;
    const VecD v = valid ? (x - shift) * factor : zero;
    l.sum += v;
    l.sq += AbsVec(v) >= kSqrtDblMin ? v * v : zero;
    l.cnt -= valid;  // a true lane is -1
    if constexpr (TypeTest) {
        // |x| < 2^52 is whole when adding and taking away 2^52 gives it back.
        const VecM whole = (a >= kTwo52) | (((a + kTwo52) - kTwo52) == a);
        const VecM fraction = valid & ~whole & (a > DBL_MIN);
        const VecD xs = fraction ? x : zero;
        const VecD back = __builtin_convertvector(__builtin_convertvector(xs, VecF), VecD);
        l.fraction |= fraction;
        l.wide |= back != xs;
    }
}

// The bulk of a run in independent packed lanes; blocks with rare values go through
// InfoScalar. The lanes change the order of the additions, nothing else.
template <bool TypeTest>
__attribute__((always_inline)) inline void InfoBlocks(const double* values, size_t blocks, double factor, double tiny, InfoRun& r) {
    const VecD zero = {0.0, 0.0};
    const VecM none = {0, 0};
    InfoLanes l0{zero + kInf, zero - kInf, zero, zero, none, none, none};
    InfoLanes l1 = l0;
    for (size_t b = 0; b < blocks; ++b) {
        const double* q = values + b * kInfoLanes;
        const VecD x0 = LoadVec(q);
        const VecD x1 = LoadVec(q + 2);
        if (AnyLane(NeedsCare(x0, r.shift, factor, tiny) | NeedsCare(x1, r.shift, factor, tiny))) {
            InfoScalar(q, kInfoLanes, factor, tiny, r);
            continue;
        }
        FoldLanes<TypeTest>(x0, r.shift, factor, l0);
        FoldLanes<TypeTest>(x1, r.shift, factor, l1);
    }
    for (int j = 0; j < 2; ++j) {
        for (const InfoLanes* l : {&l0, &l1}) {
            if (l->lo[j] < r.lo) r.lo = l->lo[j];
            if (l->hi[j] > r.hi) r.hi = l->hi[j];
            r.sum += l->sum[j];
            r.squares += l->sq[j];
            r.valid += l->cnt[j];
        }
    }
    if (r.squares >= DBL_MAX) r.saturated = true;
    if (AnyLane(l0.wide | l1.wide)) {
        r.type = kElemReal64;
    } else if (AnyLane(l0.fraction | l1.fraction) && r.type < kElemReal32) {
        r.type = kElemReal32;
    }
}

// ---- The fast pass -------------------------------------------------------------------------
//
// Most runs hold only ordinary values: finite, not missing, neither so small that the
// factor would underflow them nor so large that their squares saturate. For those every
// rule above reduces to: extremes, sum of x × factor, sum of its squares, count, and the
// type test. The fast pass folds a chunk of values that way, in packed lanes with no test
// per value, and checks afterwards, from the lanes themselves, that the chunk was
// ordinary; a chunk that was not (or whose values need the type test's finer rules) is
// folded again by the careful path above. Only the order of the additions differs from
// folding value by value.

// The helpers below take and return 32-byte vectors, which the baseline ABI passes
// differently; they are always inlined, so no such call is ever made. (The compiler
// reports template instances at the end of the file, so the warning stays off to there.)
#pragma GCC diagnostic ignored "-Wpsabi"

typedef double Vec4 __attribute__((vector_size(32)));
typedef int64_t Mask4 __attribute__((vector_size(32)));
typedef float Vec4F __attribute__((vector_size(16)));

constexpr size_t kFastStep = 8;      // values per iteration (two vectors)
constexpr size_t kChunk = 1024;      // values per checked chunk (8 KiB, stays in L1)
constexpr double kSquaresLimit = 0x1p1000;  // far below DBL_MAX: anything near it goes careful

// What the fast pass must flag, besides what the lanes show by themselves.
enum class FastTest {
    kWhole,  // type 0 so far: any value that is not a whole number (tiny values are not)
    kFloat,  // type 0x10: any value a 32-bit real does not hold, and tiny values
    kTiny,   // type 0x40: tiny values only
};

ORVA_INLINE Vec4 LoadDoubles4(const double* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

ORVA_INLINE Vec4 Splat(double x) { return Vec4{x, x, x, x}; }

ORVA_INLINE Vec4 Abs4(Vec4 x) { return (Vec4)((Mask4)x & INT64_MAX); }

struct FastLanes {
    Vec4 lo0, lo1, hi0, hi1, sum0, sum1, sq0, sq1;
    Mask4 flag;
};

// Nonzero in the lanes of x that are not whole numbers (NaN among them). With Round the
// processor truncates each lane in one step (built so only where it has AVX) and the
// fraction x - trunc(x) itself is the answer: +0 exactly for a whole x, nonzero for any
// other finite x and for NaN (an infinity gives NaN too, but its chunk fails on its
// extremes anyway); a subtraction costs less than a compare whose mask is then merged.
// Else, for values below 2^52, adding and taking away 2^52 gives them back only when they
// are whole, and larger ones always are.
template <bool Round>
ORVA_INLINE Mask4 NotWhole(Vec4 x) {
    if constexpr (Round) {
        Vec4 t;
        for (int j = 0; j < 4; ++j) t[j] = __builtin_trunc(x[j]);
        return (Mask4)(x - t);
    } else {
        const Vec4 a = Abs4(x);
        const Vec4 two52 = Splat(kTwo52);
        const Vec4 m = a < two52 ? a : two52;
        return ((m + kTwo52) - kTwo52) != m;
    }
}

template <FastTest Test, bool Avx>
ORVA_INLINE void FastFold(Vec4 x, Vec4& lo, Vec4& hi, Vec4& sum, Vec4& sq, Mask4& flag,
                               Vec4 shift, double factor, double careBelow) {
    lo = x < lo ? x : lo;  // a NaN keeps the lane; the sum shows it
    hi = x > hi ? x : hi;
    const Vec4 y = x - shift;
    const Vec4 v = y * factor;
    sum += v;
    sq += v * v;
    if constexpr (Test == FastTest::kWhole) {
        // Values below one half (tiny ones among them) fail. (A NaN fails with Round only;
        // its chunk goes the careful way in any case.)
        flag |= NotWhole<Avx>(x);
    } else {
        // The tiny test is of what is summed. (Whole values about a whole shift are 0
        // or at least 1, so the whole-number test needs no such test.)
        flag |= (Abs4(y) < careBelow) & (y != 0.0);
        if constexpr (Test == FastTest::kFloat) {
            const Vec4 back = __builtin_convertvector(__builtin_convertvector(x, Vec4F), Vec4);
            flag |= back != x;
        }
    }
}

ORVA_INLINE double LaneMin(Vec4 v) {
    double m = v[0];
    for (int j = 1; j < 4; ++j) m = v[j] < m ? v[j] : m;
    return m;
}
ORVA_INLINE double LaneMax(Vec4 v) {
    double m = v[0];
    for (int j = 1; j < 4; ++j) m = v[j] > m ? v[j] : m;
    return m;
}

// Folds n values (a multiple of kFastStep) into r when they are all ordinary; returns
// false, leaving r as it was, when the chunk needs the careful path.
template <FastTest Test, bool Avx>
ORVA_INLINE bool FastChunk(const double* p, size_t n, double factor, double careBelow, bool ahead,
                                InfoRun& r) {
    const Vec4 zero = Splat(0.0);
    const Vec4 shift = Splat(r.shift);
    FastLanes l{Splat(kInf), Splat(kInf), Splat(-kInf), Splat(-kInf), zero, zero, zero, zero,
                Mask4{0, 0, 0, 0}};
    // With `ahead` the input is asked for ahead (non-temporally), which gained the loop a
    // tenth on a processor that splits 32-byte operations. Elsewhere the processor's own
    // stream prefetcher keeps this read-only loop at the memory's speed, and the same
    // prefetch made it up to a quarter slower while other cores loaded the memory.
    for (size_t i = 0; i < n; i += kFastStep) {
        if (ahead) kernel::PrefetchAhead(p + i, kFastStep * sizeof(double));
        FastFold<Test, Avx>(LoadDoubles4(p + i), l.lo0, l.hi0, l.sum0, l.sq0, l.flag, shift, factor, careBelow);
        FastFold<Test, Avx>(LoadDoubles4(p + i + 4), l.lo1, l.hi1, l.sum1, l.sq1, l.flag, shift, factor, careBelow);
    }
    const Vec4 lo = l.lo0 < l.lo1 ? l.lo0 : l.lo1;
    const Vec4 hi = l.hi0 > l.hi1 ? l.hi0 : l.hi1;
    const Vec4 sum = l.sum0 + l.sum1;
    const Vec4 sq = l.sq0 + l.sq1;
    // Missing values and -infinity pull a minimum to -DBL_MAX or below, +infinity pushes
    // a maximum past DBL_MAX, NaN (and an overflowing sum) leaves a sum not finite, and
    // squares near saturation stay below the limit only when none is there.
    const Mask4 bad = l.flag | (lo <= -DBL_MAX) | (hi > DBL_MAX) | ~(Abs4(sum) <= DBL_MAX) |
                      ~(sq < kSquaresLimit);
    if ((bad[0] | bad[1] | bad[2] | bad[3]) != 0) return false;
    const double clo = LaneMin(lo), chi = LaneMax(hi);
    if (clo < r.lo) r.lo = clo;
    if (chi > r.hi) r.hi = chi;
    r.sum += (sum[0] + sum[1]) + (sum[2] + sum[3]);
    r.squares += (sq[0] + sq[1]) + (sq[2] + sq[3]);
    if (r.squares >= DBL_MAX) r.saturated = true;
    r.valid += static_cast<int64_t>(n);
    return true;
}

// The careful path over a chunk: packed lanes with masks, rare values one by one.
ORVA_INLINE void CarefulChunk(const double* p, size_t n, double factor, double tiny,
                                   InfoRun& r) {
    const size_t blocks = n / kInfoLanes;
    if (r.type == kElemReal64) {
        InfoBlocks<false>(p, blocks, factor, tiny, r);
    } else {
        InfoBlocks<true>(p, blocks, factor, tiny, r);
    }
    InfoScalar(p + blocks * kInfoLanes, n - blocks * kInfoLanes, factor, tiny, r);
}

template <bool Avx>
ORVA_INLINE void InfoRunAll(const double* values, size_t n, double factor, InfoRun& r) {
    const double tiny = factor < 1.0 ? DBL_MIN / factor : 0.0;
    // Below this magnitude a nonzero value may be tiny or have a square that adds
    // nothing; the bound is twice the larger threshold, so rounding cannot slip one by.
    const double careBelow = 2.0 * std::max({tiny, kSqrtDblMin / std::fabs(factor), DBL_MIN});
    // The whole-number test flags every value below one half, so it only stands in for
    // the tiny test while the bound is below that (any factor above about 1e-153).
    const bool fast = careBelow < 0.5;
    const bool ahead = kernel::CpuSplitsWideVectors();
    size_t i = 0;
    while (i < n) {
        const size_t len = std::min(n - i, kChunk);
        const size_t bulk = fast ? len - len % kFastStep : 0;
        const double* p = values + i;
        bool done;
        if (r.type == kElemReal64) {
            done = FastChunk<FastTest::kTiny, Avx>(p, bulk, factor, careBelow, ahead, r);
        } else if (r.type == kElemReal32) {
            done = FastChunk<FastTest::kFloat, Avx>(p, bulk, factor, careBelow, ahead, r);
        } else {
            done = FastChunk<FastTest::kWhole, Avx>(p, bulk, factor, careBelow, ahead, r);
        }
        if (!done) {
            CarefulChunk(p, len, factor, tiny, r);
        } else if (bulk < len) {
            InfoScalar(p + bulk, len - bulk, factor, tiny, r);
        }
        i += len;
    }
}

// Built twice, for AVX2 and for plain x86-64; the one the processor runs is chosen at
// each call.
[[gnu::target("avx2")]] void InfoRunAvx2(const double* v, size_t n, double factor, InfoRun& r) {
    InfoRunAll<true>(v, n, factor, r);
}
void InfoRunBase(const double* v, size_t n, double factor, InfoRun& r) {
    InfoRunAll<false>(v, n, factor, r);
}

// The sums are taken about the first value: the spread of values far from zero then
// stays in the squares (1e8 + a unit spread has squares of 1e16, whose last bit is worth
// 2). Values below 2^-500 are taken about 0, so that no nonzero distance is tiny, and
// values above 2^500 too, so that no distance overflows.
double ShiftFor(const double* values, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const double x = values[i];
        if (!ValidValue(x)) continue;
        const double a = std::fabs(x);
        return a >= 0x1p-500 && a <= 0x1p500 ? x : 0.0;
    }
    return 0.0;
}

}  // namespace

void InfoKernelReal64(const double* values, int32_t count, DataInfo* info) {
    if (count <= 0 || values == nullptr) return;
    const double factor = DataInfoFactor(*info);
    const size_t n = static_cast<size_t>(count);
    if (info->count == 0) DataInfoShift(*info) = ShiftFor(values, n);
    InfoRun r;
    r.shift = DataInfoShift(*info);
    r.lo = info->minimum;
    r.hi = info->maximum;
    r.type = info->sampleType.type;
    if (kernel::CpuHasAvx2()) {
        InfoRunAvx2(values, n, factor, r);
    } else {
        InfoRunBase(values, n, factor, r);
    }

    info->sampleType.type = r.type;
    if (r.valid == 0) return;
    info->minimum = r.lo;
    info->maximum = r.hi;
    info->count += r.valid;
    if (std::isfinite(r.sum) && (r.small != 0 || std::isnormal(r.sum))) {
        info->sum += static_cast<double>(r.small) * DBL_MIN + r.sum;
    }
    const double bsq = r.saturated ? DBL_MAX : r.squares;
    if (std::isnormal(bsq)) {
        if (bsq < DBL_MAX && info->sumSquares < DBL_MAX - bsq) {
            info->sumSquares += bsq;
        } else {
            info->sumSquares = DBL_MAX;
        }
    }
}

// ---- Dual accumulator selection ---------------------------------------------------------------

const DualInfoKernelRow DualInfoKernelTable[9] = {
    {kTypeI8, DualKernel<int8_t>},   {kTypeU8, DualKernel<int8_t>},
    {kTypeI16, DualKernel<int16_t>}, {kTypeU16, DualKernel<int16_t>},
    {kTypeI32, DualKernel<int32_t>}, {kTypeU32, DualKernel<int32_t>},
    {kTypeI64, DualKernel<int64_t>}, {kTypeU64, DualKernel<int64_t>},
    {0, nullptr},
};

bool DConvInfoSelect(InfoKernelChoice* choice, ElementType type) {
    uint32_t key = type & kElemRealMask;
    if (key == 0) key = type & 0x12F;
    if (key == 0) {
        *choice = InfoKernelChoice{};
        return false;
    }
    if (key == choice->key && choice->kernel != nullptr) return true;
    for (const DualInfoKernelRow* row = DualInfoKernelTable; row->type != 0; ++row) {
        if (row->type == key) {
            choice->key = key;
            choice->kernel = row->kernel;
            return true;
        }
    }
    LogPrintf("%s", "DConvInfoSelect(): unkn. types...");
    *choice = InfoKernelChoice{};
    return false;
}

}  // namespace orva
