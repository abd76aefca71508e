#include "data/kernel_pragmas.h"
#include "reduction/kernels/sample_moments.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "data/kernel_util.h"

namespace orva {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Values summed in one block before the block's lanes join the running sums:
// short enough that the lanes lose nothing, long enough to be cheap.
constexpr size_t kSumBlock = 1024;
// Buckets of one counting pass of the selection, and the candidate count at
// which std::nth_element takes over.
constexpr uint32_t kBuckets = 16384;
constexpr uint64_t kSelectDirect = 16384;
// Values whose bucket or bin indexes are computed in one go.
constexpr size_t kIndexChunk = 256;

const float kUnbiasedTable[18] = {1.25331f, 1.12838f, 1.0854f,  1.06385f, 1.05094f, 1.04235f,
                                  1.03624f, 1.03166f, 1.02811f, 1.02527f, 1.02296f, 1.02103f,
                                  1.0194f,  1.018f,   1.01679f, 1.01574f, 1.01481f, 1.01398f};

bool IsSubnormal(double x) { return x != 0.0 && std::fabs(x) < DBL_MIN; }

// A value that overflowed becomes the marker, with Status 5.
void Checked(double value, double* field, StatisticResult* r) {
    if (std::isfinite(value)) {
        *field = value;
    } else {
        *field = kStatNotComputed;
        r->status = 5;
    }
}

// The vector helpers pass 32-byte vectors between inlined functions only; the
// note on their calling convention is reported at the end of the file.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double Vec4 __attribute__((vector_size(32)));
typedef int32_t Int4 __attribute__((vector_size(16)));

ORVA_INLINE Vec4 Load4(const double* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
ORVA_INLINE Vec4 Splat(double x) { return Vec4{x, x, x, x}; }
ORVA_INLINE double LaneSum(Vec4 v) { return (v[0] + v[1]) + (v[2] + v[3]); }

// The raw power sums, minimum and maximum of a run of doubles.
struct RawSums {
    double s[4] = {0.0, 0.0, 0.0, 0.0};
    double min = kInf;
    double max = -kInf;
};

ORVA_INLINE void RawSumsBody(const double* v, size_t n, RawSums* out) {
    Vec4 lo = Splat(kInf), hi = Splat(-kInf);
    double s1 = 0.0, s2 = 0.0, s3 = 0.0, s4 = 0.0;
    size_t i = 0;
    while (i + 4 <= n) {
        const size_t end = std::min(n, i + kSumBlock) & ~size_t{3};
        Vec4 a1 = Splat(0.0), a2 = a1, a3 = a1, a4 = a1;
        for (; i < end; i += 4) {
            const Vec4 x = Load4(v + i);
            const Vec4 x2 = x * x;
            a1 += x;
            a2 += x2;
            a3 += x2 * x;
            a4 += x2 * x2;
            lo = x < lo ? x : lo;
            hi = x > hi ? x : hi;
        }
        s1 += LaneSum(a1);
        s2 += LaneSum(a2);
        s3 += LaneSum(a3);
        s4 += LaneSum(a4);
    }
    double mn = std::min(std::min(lo[0], lo[1]), std::min(lo[2], lo[3]));
    double mx = std::max(std::max(hi[0], hi[1]), std::max(hi[2], hi[3]));
    for (; i < n; ++i) {
        const double x = v[i], x2 = x * x;
        s1 += x;
        s2 += x2;
        s3 += x2 * x;
        s4 += x2 * x2;
        mn = x < mn ? x : mn;
        mx = x > mx ? x : mx;
    }
    out->s[0] = s1;
    out->s[1] = s2;
    out->s[2] = s3;
    out->s[3] = s4;
    out->min = mn;
    out->max = mx;
}

// Adds the second, third and fourth powers of x - mean of v[from .. n) to out[0 .. 2].
template <class Acc>
ORVA_INLINE void AddCentralPowers(const double* v, size_t from, size_t n, Acc mean, Acc* out) {
    for (size_t i = from; i < n; ++i) {
        const Acc d = v[i] - mean, d2 = d * d;
        out[0] += d2;
        out[1] += d2 * d;
        out[2] += d2 * d2;
    }
}

// The sums of the second, third and fourth powers of x - mean.
ORVA_INLINE void CentralSumsBody(const double* v, size_t n, double mean, double* out) {
    const Vec4 m = Splat(mean);
    double s2 = 0.0, s3 = 0.0, s4 = 0.0;
    size_t i = 0;
    while (i + 4 <= n) {
        const size_t end = std::min(n, i + kSumBlock) & ~size_t{3};
        Vec4 a2 = Splat(0.0), a3 = a2, a4 = a2;
        for (; i < end; i += 4) {
            const Vec4 d = Load4(v + i) - m;
            const Vec4 d2 = d * d;
            a2 += d2;
            a3 += d2 * d;
            a4 += d2 * d2;
        }
        s2 += LaneSum(a2);
        s3 += LaneSum(a3);
        s4 += LaneSum(a4);
    }
    out[0] = s2;
    out[1] = s3;
    out[2] = s4;
    AddCentralPowers<double>(v, i, n, mean, out);
}

// Bucket (or approximate bin) indexes of a chunk: (x - lo) * scale clamped to
// 0 .. last and truncated. The same expression everywhere, so that every pass
// puts a value into the same bucket.
ORVA_INLINE void IndexChunk(const double* v, size_t n, double lo, double scale, double last, int32_t* index) {
    const Vec4 l = Splat(lo), s = Splat(scale), zero = Splat(0.0), top = Splat(last);
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Vec4 t = (Load4(v + i) - l) * s;
        t = t > zero ? t : zero;
        t = t < top ? t : top;
        const Int4 k = __builtin_convertvector(t, Int4);
        std::memcpy(index + i, &k, sizeof k);
    }
    for (; i < n; ++i) {
        double t = (v[i] - lo) * scale;
        t = t > 0.0 ? t : 0.0;
        t = t < last ? t : last;
        index[i] = static_cast<int32_t>(t);
    }
}
[[gnu::target("avx2")]] void RawSumsAvx2(const double* v, size_t n, RawSums* out) { RawSumsBody(v, n, out); }
void RawSumsBase(const double* v, size_t n, RawSums* out) { RawSumsBody(v, n, out); }
[[gnu::target("avx2")]] void CentralSumsAvx2(const double* v, size_t n, double mean, double* out) {
    CentralSumsBody(v, n, mean, out);
}
void CentralSumsBase(const double* v, size_t n, double mean, double* out) { CentralSumsBody(v, n, mean, out); }
[[gnu::target("avx2")]] void IndexChunkAvx2(const double* v, size_t n, double lo, double scale, double last,
                                            int32_t* index) {
    IndexChunk(v, n, lo, scale, last, index);
}
void IndexChunkBase(const double* v, size_t n, double lo, double scale, double last, int32_t* index) {
    IndexChunk(v, n, lo, scale, last, index);
}


void Indexes(const double* v, size_t n, double lo, double scale, double last, int32_t* index) {
    if (kernel::CpuHasAvx2())
        IndexChunkAvx2(v, n, lo, scale, last, index);
    else
        IndexChunkBase(v, n, lo, scale, last, index);
}

// ---- The band of the median: values between two sample quantiles -------------------------------

// Counts the values below `lo` and copies those in [lo, hi] to band[0 ..), at
// most `capacity` of them (band[capacity] and the three after it take the
// overflow). The count in the band exceeds `capacity` when it did not fit.
struct BandCount {
    uint64_t below = 0;
    uint64_t inside = 0;
};

ORVA_INLINE void BandValue(double x, double lo, double hi, double* band, uint64_t capacity, BandCount* c) {
    c->below += x < lo ? 1 : 0;
    const bool in = x >= lo && x <= hi;
    band[std::min(c->inside, capacity)] = x;
    c->inside += in ? 1 : 0;
}

// The lanes of a 4-bit mask packed to the front: 32-bit lane pairs for _mm256_permutevar8x32_epi32.
struct PackTable {
    int32_t lanes[16][8];
    constexpr PackTable() : lanes{} {
        for (int m = 0; m < 16; ++m) {
            int out = 0;
            for (int lane = 0; lane < 4; ++lane)
                if (m >> lane & 1) {
                    lanes[m][2 * out] = 2 * lane;
                    lanes[m][2 * out + 1] = 2 * lane + 1;
                    ++out;
                }
            for (; out < 4; ++out) lanes[m][2 * out] = lanes[m][2 * out + 1] = 0;
        }
    }
};
constexpr PackTable kPack;

// The band needs room for 4 values beyond its capacity: every step stores four.
[[gnu::target("avx2")]] void BandAvx2(const double* v, size_t n, double lo, double hi, double* band,
                                      uint64_t capacity, BandCount* c) {
    const __m256d l = _mm256_set1_pd(lo), h = _mm256_set1_pd(hi);
    uint64_t below = 0, inside = 0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d x = _mm256_loadu_pd(v + i);
        below += static_cast<uint64_t>(__builtin_popcount(_mm256_movemask_pd(_mm256_cmp_pd(x, l, _CMP_LT_OQ))));
        const int in = _mm256_movemask_pd(
            _mm256_and_pd(_mm256_cmp_pd(x, l, _CMP_GE_OQ), _mm256_cmp_pd(x, h, _CMP_LE_OQ)));
        const __m256i order = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kPack.lanes[in]));
        const __m256d packed = _mm256_castsi256_pd(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(x), order));
        _mm256_storeu_pd(band + std::min(inside, capacity), packed);
        inside += static_cast<uint64_t>(__builtin_popcount(in));
    }
    c->below += below;
    c->inside += inside;
    for (; i < n; ++i) BandValue(v[i], lo, hi, band, capacity, c);
}

void BandBase(const double* v, size_t n, double lo, double hi, double* band, uint64_t capacity, BandCount* c) {
    for (size_t i = 0; i < n; ++i) BandValue(v[i], lo, hi, band, capacity, c);
}

// Ranks k (and k + 1) from a band between two quantiles of a sample of the
// values: one pass counts the values below the band and copies the band,
// std::nth_element finishes inside it. False when the band missed the ranks
// or outgrew its room (the caller then takes another way); the values are
// not changed.
bool SelectFromSample(const double* v, uint32_t n, uint32_t k, bool both, const StatisticScratch& scratch,
                      double* atK, double* atNext) {
    constexpr uint32_t kSample = 32768;
    if (n < 4 * kSample) return false;
    const uint32_t stride = n / kSample;
    const uint32_t count = n / stride;
    const double position = static_cast<double>(k) * count / n;
    // The ranks of the sample scatter by at most sqrt(count)/2: five of that either side.
    const double reach = 2.5 * std::sqrt(static_cast<double>(count)) + 8.0;
    const uint32_t rLo = static_cast<uint32_t>(std::max(0.0, position - reach));
    const uint32_t rHi = static_cast<uint32_t>(std::min<double>(count - 1, position + reach + 1.0));
    const uint64_t capacity = static_cast<uint64_t>(2.0 * n * (rHi - rLo + 1.0) / count) + 4096;
    if (!GrowScratchBlock(scratch.candidates, (count + capacity + 4) * sizeof(double))) return false;
    auto* sample = static_cast<double*>(scratch.candidates->block);
    for (uint32_t i = 0; i < count; ++i) sample[i] = v[uint64_t{i} * stride];
    std::nth_element(sample, sample + rLo, sample + count);
    const double lo = sample[rLo];
    std::nth_element(sample + rLo, sample + rHi, sample + count);
    const double hi = sample[rHi];
    double* band = sample + count;
    BandCount c;
    if (kernel::CpuHasAvx2())
        BandAvx2(v, n, lo, hi, band, capacity, &c);
    else
        BandBase(v, n, lo, hi, band, capacity, &c);
    const uint64_t last = both ? uint64_t{k} + 1 : k;
    if (c.inside > capacity || c.below > k || last >= c.below + c.inside) return false;
    double* at = band + (k - c.below);
    std::nth_element(band, at, band + c.inside);
    *atK = *at;
    if (both && atNext != nullptr) *atNext = *std::min_element(at + 1, band + c.inside);
    return true;
}

// ---- Histogram bins ------------------------------------------------------------------------------

// What the binning of one channel needs: the approximate index comes from the
// width; bin b holds lower[b] <= x < upper[b] exactly (the first filled bin
// has no lower edge, the last no upper edge).
struct BinParams {
    double firstEdge;
    double inverse;
    uint32_t first;
    uint32_t bins;
    const double* edges;  // the K upper edges
    const double* lower;
    const double* upper;
    double half;
    double threshold;
};

ORVA_INLINE uint32_t FixBin(double x, uint32_t b, const BinParams& p) {
    while (b > p.first && x < p.edges[b - 1]) --b;
    while (b + 1 < p.bins && x >= p.edges[b]) ++b;
    return b;
}

ORVA_INLINE uint32_t ApproximateBin(double x, const BinParams& p) {
    double t = (x - p.firstEdge) * p.inverse;
    const double low = p.first, top = p.bins - 1;
    t = t > low ? t : low;
    t = t < top ? t : top;
    return static_cast<uint32_t>(t);
}

[[gnu::target("avx2")]] void BinChunkAvx2(const double* v, size_t n, const BinParams& p, int32_t* index,
                                          uint64_t* half, uint64_t* above) {
    const __m256d fe = _mm256_set1_pd(p.firstEdge), inv = _mm256_set1_pd(p.inverse);
    const __m256d low = _mm256_set1_pd(p.first), top = _mm256_set1_pd(p.bins - 1.0);
    const __m256d h = _mm256_set1_pd(p.half), t = _mm256_set1_pd(p.threshold);
    const __m256d zero = _mm256_setzero_pd(), all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    uint64_t nh = 0, na = 0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d x = _mm256_loadu_pd(v + i);
        __m256d q = _mm256_mul_pd(_mm256_sub_pd(x, fe), inv);
        q = _mm256_max_pd(q, low);  // a NaN index takes the lowest
        q = _mm256_min_pd(q, top);
        const __m128i k = _mm256_cvttpd_epi32(q);
        const __m256d lo = _mm256_mask_i32gather_pd(zero, p.lower, k, all, 8);
        const __m256d up = _mm256_mask_i32gather_pd(zero, p.upper, k, all, 8);
        const int bad =
            _mm256_movemask_pd(_mm256_or_pd(_mm256_cmp_pd(x, lo, _CMP_LT_OQ), _mm256_cmp_pd(x, up, _CMP_GE_OQ)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(index + i), k);
        if (bad != 0)
            for (int lane = 0; lane < 4; ++lane)
                if (bad >> lane & 1)
                    index[i + lane] = static_cast<int32_t>(FixBin(v[i + lane], static_cast<uint32_t>(index[i + lane]), p));
        nh += static_cast<uint64_t>(__builtin_popcount(_mm256_movemask_pd(_mm256_cmp_pd(x, h, _CMP_GE_OQ))));
        na += static_cast<uint64_t>(__builtin_popcount(_mm256_movemask_pd(_mm256_cmp_pd(x, t, _CMP_GT_OQ))));
    }
    for (; i < n; ++i) {
        const double x = v[i];
        index[i] = static_cast<int32_t>(FixBin(x, ApproximateBin(x, p), p));
        nh += x >= p.half ? 1 : 0;
        na += x > p.threshold ? 1 : 0;
    }
    *half += nh;
    *above += na;
}

void BinChunkBase(const double* v, size_t n, const BinParams& p, int32_t* index, uint64_t* half, uint64_t* above) {
    uint64_t nh = 0, na = 0;
    for (size_t i = 0; i < n; ++i) {
        const double x = v[i];
        index[i] = static_cast<int32_t>(FixBin(x, ApproximateBin(x, p), p));
        nh += x >= p.half ? 1 : 0;
        na += x > p.threshold ? 1 : 0;
    }
    *half += nh;
    *above += na;
}

// Power sums in the accumulator type.
template <class Acc>
struct PowerSums {
    Acc s[4] = {0, 0, 0, 0};
    double min = kInf;
    double max = -kInf;
};

template <class Acc>
PowerSums<Acc> RawPowerSums(const double* v, uint32_t n) {
    PowerSums<Acc> p;
    if constexpr (std::is_same_v<Acc, double>) {
        RawSums r;
        if (kernel::CpuHasAvx2())
            RawSumsAvx2(v, n, &r);
        else
            RawSumsBase(v, n, &r);
        for (int k = 0; k < 4; ++k) p.s[k] = r.s[k];
        p.min = r.min;
        p.max = r.max;
    } else {
        for (uint32_t i = 0; i < n; ++i) {
            const Acc x = v[i], x2 = x * x;
            p.s[0] += x;
            p.s[1] += x2;
            p.s[2] += x2 * x;
            p.s[3] += x2 * x2;
            p.min = v[i] < p.min ? v[i] : p.min;
            p.max = v[i] > p.max ? v[i] : p.max;
        }
    }
    return p;
}

template <class Acc>
void CentralPowerSums(const double* v, uint32_t n, Acc mean, Acc* out) {
    if constexpr (std::is_same_v<Acc, double>) {
        if (kernel::CpuHasAvx2())
            CentralSumsAvx2(v, n, mean, out);
        else
            CentralSumsBase(v, n, mean, out);
    } else {
        out[0] = out[1] = out[2] = 0;
        AddCentralPowers<Acc>(v, 0, n, mean, out);
    }
}

// RVar from the unbiased deviation and the mean.
double RelativeVariation(double deviation, double mean) {
    if (mean == 0.0) return deviation == 0.0 ? 0.0 : DBL_MAX;
    return deviation / std::fabs(mean);
}

// The pair mean of the k-th powers of a and b with the guard of that power:
// the marker (Status 5) when the power cannot be formed or the mean overflows.
double PairPowerMean(double a, double b, int k, StatisticResult* r) {
    const double root = k == 2 ? kSqrtDblMax : k == 3 ? kCbrtDblMax : kQuarticRootDblMax;
    bool overflow;
    if (k == 3) {
        // A cube beyond range overflows the sum when the other lies on its side of 0.
        auto beyond = [&](double x, double other) {
            return std::fabs(x) > root && (other == 0.0 || (other < 0.0) == (x < 0.0));
        };
        overflow = beyond(a, b) || beyond(b, a);
    } else {
        overflow = std::fabs(a) > root || std::fabs(b) > root;
    }
    double mean = 0.0;
    auto power = [k](double x) { return k == 2 ? x * x : k == 3 ? x * x * x : (x * x) * (x * x); };
    if (!overflow) mean = PairMean(power(a), power(b));
    if (overflow || !std::isfinite(mean)) {
        r->status = 5;
        return kStatNotComputed;
    }
    return mean;
}

// Step 16: the background threshold t = Bkgr + 2 RMSBkgr when it lies in [Min, Max).
void BackgroundThreshold(StatisticResult* r) {
    if (r->backgroundValid == 0) return;
    const double t = r->bkgr + 2.0 * r->rmsBkgr;
    r->bkgrThreshold = r->min <= t && t < r->max ? t : kStatBelowData;
}

void DegenerateMoments(uint32_t n, StatisticResult* r) {
    const double x = r->min;
    r->median = r->mean = x;
    Checked(static_cast<double>(n) * x, &r->flux, r);
    r->range = 0.0;
    Checked(x * x, &r->m[0], r);
    Checked(x * x * x, &r->m[1], r);
    Checked((x * x) * (x * x), &r->m[2], r);
    r->skewnessUnbiased = r->kurtosisUnbiased = kStatNotComputed;
    r->bkgrThreshold = x;
    r->deviationUnbiased = r->rms = r->skewnessDeviationUnbiased = r->kurtosisDeviationUnbiased = 0.0;
    r->gaussPercent = 0;
    r->rVar = 0.0;
    r->centralM[0] = r->centralM[1] = r->centralM[2] = 0.0;
    r->dispersion = 0.0;
}

void PairMoments(StatisticResult* r) {
    const double a = r->min, b = r->max;
    if (a >= DBL_MAX - b) {
        r->flux = kStatNotComputed;
        r->status = 5;
    } else {
        r->flux = a + b;
    }
    r->median = r->mean = PairMean(a, b);
    r->m[0] = PairPowerMean(a, b, 2, r);
    r->m[1] = PairPowerMean(a, b, 3, r);
    r->m[2] = PairPowerMean(a, b, 4, r);
    r->rVar = r->skewnessUnbiased = r->kurtosisUnbiased = kStatNotComputed;
    double half = (b - a) * 0.5;
    if (!std::isfinite(half)) half = b * 0.5 - a * 0.5;
    r->rms = r->deviationUnbiased = half;
    const double d1 = a - r->mean, d2 = b - r->mean;
    r->centralM[1] = PairPowerMean(d1, d2, 3, r);
    r->centralM[2] = PairPowerMean(d1, d2, 4, r);
    if (half >= kSqrtDblMax) {
        r->centralM[0] = r->dispersion = kStatNotComputed;
        r->status = 5;
    } else if (half < kSqrtDblMin) {
        r->centralM[0] = r->dispersion = 0.0;
    } else {
        r->centralM[0] = r->dispersion = half * half;
    }
    r->rVar = RelativeVariation(half, r->mean);
    BackgroundThreshold(r);
}

// GaussPercent, in single precision as the rule was made: how far the
// unbiased skewness and kurtosis stay within 3 and 5 of their deviations.
uint32_t GaussPercentOf(const StatisticResult& r) {
    const float s = std::fabs(static_cast<float>(r.skewnessUnbiased));
    const float k = std::fabs(static_cast<float>(r.kurtosisUnbiased));
    if (s < FLT_MIN && k < FLT_MIN) return 100;
    const float a = 3.0f * static_cast<float>(r.skewnessDeviationUnbiased);
    const float b = 5.0f * static_cast<float>(r.kurtosisDeviationUnbiased);
    if (!(4.0f * a >= s || 4.0f * b >= k)) return 0;
    const float p1 = s <= FLT_MIN ? 100.0f : 100.0f * a / s;
    const float p2 = k <= FLT_MIN ? 100.0f : 100.0f * b / k;
    const uint32_t p = kernel::SaturateTrunc<uint32_t>(static_cast<double>(std::min(p1, p2) + 0.5f));
    return std::min<uint32_t>(p, 100);
}

// The interval count from the rule's real count c (step 3 of the rules).
uint32_t CountFromRule(double c, uint64_t n) {
    const uint32_t kmax = MaxIntervalCount(n);
    if (c >= kmax) return kmax;
    if (!(c > 2.0)) return 2;
    const double whole = std::trunc(c);
    const bool up = c >= whole + 0.5;
    uint32_t count = RoundHalfUp(c);
    if (count % 2 == 1 && count > 2) count = up ? count - 1 : count + 1;
    return count;
}

uint32_t MadeEven(uint32_t count) { return count % 2 == 1 && count < UINT32_MAX ? count + 1 : count; }

double CeilWidth(double w) { return std::ceil(w); }

}  // namespace

bool IsStatNotComputed(double value) {
    return std::bit_cast<uint64_t>(value) == std::bit_cast<uint64_t>(kStatNotComputed);
}
bool IsStatBelowData(double value) {
    return std::bit_cast<uint64_t>(value) == std::bit_cast<uint64_t>(kStatBelowData);
}

double UnbiasedDeviationFactor(uint64_t n) {
    if (n < 2) return 1.0;
    if (n < 20) return static_cast<double>(kUnbiasedTable[n - 2]);
    const double inv = 1.0 / static_cast<double>(n);
    return (inv * 0.28125 + 0.25) * inv + 1.0;
}

uint32_t MaxIntervalCount(uint64_t n) { return n < 196605 ? static_cast<uint32_t>(n / 3) : 65535u; }

double PairMean(double a, double b) {
    if (a == -b) return 0.0;
    const bool sameSign = (a < 0.0) == (b < 0.0);
    if (sameSign && std::fabs(a) >= DBL_MAX - std::fabs(b)) return a + (b - a) * 0.5;
    return (a + b) * 0.5;
}

uint32_t RoundHalfUp(double q) {
    const double whole = std::trunc(q);
    const uint32_t n = kernel::SaturateTrunc<uint32_t>(whole);
    return q >= whole + 0.5 && n < UINT32_MAX ? n + 1 : n;
}

bool GrowScratchBlock(GlobalBuffer* buffer, uint64_t bytes) {
    if (buffer == nullptr) return false;
    if (buffer->block != nullptr && buffer->size >= bytes) return true;
    if (bytes > kGlobalBufferMaxBytes) return false;
    return buffer->Reserve(static_cast<uint32_t>(bytes));
}

// ---- Order statistics ----------------------------------------------------------------------------

void SelectRanks(double* values, uint32_t n, uint32_t k, bool both, double min, double max,
                 const StatisticScratch& scratch, double* atK, double* atNext) {
    if (SelectFromSample(values, n, k, both, scratch, atK, atNext)) return;
    double* src = values;
    uint64_t m = n;
    uint64_t rank = k;
    double lo = min, hi = max;
    bool inCandidates = false;
    int32_t index[kIndexChunk];
    // Each level counts the values into buckets over [lo, hi] and keeps the
    // buckets that hold the wanted ranks; it stops when they are few, when the
    // range cannot be split further, or when a level keeps everything.
    for (int level = 0; level < 8 && m > kSelectDirect; ++level) {
        const double span = hi - lo;
        if (!(span > 0.0) || !(span < kInf)) break;
        const double scale = static_cast<double>(kBuckets) / span;
        if (!std::isfinite(scale)) break;
        if (!GrowScratchBlock(scratch.counts, uint64_t{4} * kBuckets * sizeof(uint32_t))) break;
        auto* counts = static_cast<uint32_t*>(scratch.counts->block);
        std::memset(counts, 0, size_t{4} * kBuckets * sizeof(uint32_t));
        const double last = kBuckets - 1;
        for (uint64_t i = 0; i < m; i += kIndexChunk) {
            const size_t c = static_cast<size_t>(std::min<uint64_t>(kIndexChunk, m - i));
            Indexes(src + i, c, lo, scale, last, index);
            size_t j = 0;
            for (; j + 4 <= c; j += 4) {
                ++counts[index[j]];
                ++counts[kBuckets + index[j + 1]];
                ++counts[2 * kBuckets + index[j + 2]];
                ++counts[3 * kBuckets + index[j + 3]];
            }
            for (; j < c; ++j) ++counts[index[j]];
        }
        for (uint32_t b = 0; b < kBuckets; ++b)
            counts[b] += counts[kBuckets + b] + counts[2 * kBuckets + b] + counts[3 * kBuckets + b];
        // The bucket of the rank, and the next one that holds a value for rank + 1.
        uint64_t below = 0;
        uint32_t first = 0;
        while (below + counts[first] <= rank) below += counts[first++];
        uint32_t second = first;
        if (both && below + counts[first] <= rank + 1) {
            second = first + 1;
            while (counts[second] == 0) ++second;
        }
        const uint64_t kept = uint64_t{counts[first]} + (second != first ? counts[second] : 0);
        if (kept == m) break;
        double* target = src;
        if (!inCandidates) {
            // One more than kept: every value is stored before the count decides.
            if (!GrowScratchBlock(scratch.candidates, (kept + 1) * sizeof(double))) break;
            target = static_cast<double*>(scratch.candidates->block);
        }
        uint64_t w = 0;
        double keptLo = kInf, keptHi = -kInf;
        for (uint64_t i = 0; i < m; i += kIndexChunk) {
            const size_t c = static_cast<size_t>(std::min<uint64_t>(kIndexChunk, m - i));
            Indexes(src + i, c, lo, scale, last, index);
            for (size_t j = 0; j < c; ++j) {
                const double x = src[i + j];
                const bool keep = index[j] == static_cast<int32_t>(first) || index[j] == static_cast<int32_t>(second);
                target[w] = x;
                w += keep ? 1 : 0;
                if (keep) {
                    keptLo = x < keptLo ? x : keptLo;
                    keptHi = x > keptHi ? x : keptHi;
                }
            }
        }
        src = target;
        m = w;
        rank -= below;
        lo = keptLo;
        hi = keptHi;
        inCandidates = true;
    }
    double* at = src + rank;
    std::nth_element(src, at, src + m);
    *atK = *at;
    if (both && atNext != nullptr) *atNext = *std::min_element(at + 1, src + m);
}

double SelectMedian(double* values, uint32_t n, double min, double max, const StatisticScratch& scratch) {
    if (n == 0) return 0.0;
    if (n == 1) return values[0];
    double a = 0.0, b = 0.0;
    if (n % 2 == 1) {
        SelectRanks(values, n, n / 2, false, min, max, scratch, &a, nullptr);
        return a;
    }
    SelectRanks(values, n, n / 2 - 1, true, min, max, scratch, &a, &b);
    return PairMean(a, b);
}

// ---- Moments -------------------------------------------------------------------------------------

template <class Acc>
void SampleMoments(double* values, uint32_t n, StatisticResult* r, const StatisticScratch& scratch) {
    r->status = 0;
    if (n == 0) return;
    const PowerSums<Acc> p = RawPowerSums<Acc>(values, n);
    r->min = p.min;
    r->max = p.max;
    if (n == 1 || r->min == r->max) {
        DegenerateMoments(n, r);
        return;
    }
    Checked(r->max - r->min, &r->range, r);
    if (n == 2) {
        PairMoments(r);
        return;
    }
    r->median = SelectMedian(values, n, r->min, r->max, scratch);

    const Acc count = static_cast<Acc>(n);
    const Acc invN = Acc(1) / count;
    Acc s[4];
    for (int k = 0; k < 4; ++k) s[k] = IsSubnormal(static_cast<double>(p.s[k])) ? Acc(0) : p.s[k];
    Checked(static_cast<double>(s[0]), &r->flux, r);
    Acc mean = s[0] * invN;
    if (!std::isfinite(static_cast<double>(mean))) {
        // The sum overflowed: the mean of the scaled values stays in range.
        mean = 0;
        for (uint32_t i = 0; i < n; ++i) mean += static_cast<Acc>(values[i]) * invN;
    }
    r->mean = static_cast<double>(mean);
    for (int k = 1; k < 4; ++k) Checked(static_cast<double>(s[k] * invN), &r->m[k - 1], r);
    r->rVar = r->skewnessUnbiased = r->kurtosisUnbiased = kStatNotComputed;

    const double fluxMagnitude = std::fabs(static_cast<double>(s[0]));
    if (r->status == 0 &&
        (std::fabs(r->min) > kSqrtDblMax || std::fabs(r->max) > kSqrtDblMax ||
         r->min * r->min > DBL_MAX - r->max * r->max ||
         (fluxMagnitude > kSqrtDblMax && fluxMagnitude > std::sqrt(static_cast<double>(n)) * kSqrtDblMax)))
        r->status = 4;

    // Central moments from a second pass over x - Mean: power sums about zero
    // cancel on data with a large mean.
    Acc c[3];
    CentralPowerSums<Acc>(values, n, mean, c);
    const Acc m2 = c[0] * invN, m3 = c[1] * invN;
    Acc m4 = c[2] * invN;
    if (!std::isfinite(static_cast<double>(m2))) {
        r->centralM[0] = r->centralM[1] = r->centralM[2] = kStatNotComputed;
        r->dispersion = r->rms = r->deviationUnbiased = kStatNotComputed;
        r->status = 5;
        r->bkgrThreshold = r->mean;
        return;
    }
    if (!(m2 > 0)) {
        r->bkgrThreshold = r->mean;
        r->dispersion = 0.0;
        return;
    }
    if (m4 < 0) m4 = 0;
    r->centralM[0] = static_cast<double>(m2);
    Checked(static_cast<double>(m3), &r->centralM[1], r);
    Checked(static_cast<double>(m4), &r->centralM[2], r);

    bool haveSkewness = false, haveKurtosis = false;
    Acc skewness = 0, kurtosis = 0;
    const Acc root = std::sqrt(m2);
    if (!IsStatNotComputed(r->centralM[1]) && root * m2 != 0) {
        skewness = m3 / (root * m2);
        r->skewness = r->skewnessUnbiased = static_cast<double>(skewness);
        haveSkewness = true;
    }
    const Acc square = m2 * m2;
    if (!IsStatNotComputed(r->centralM[2]) && square != 0 && std::isfinite(static_cast<double>(square))) {
        kurtosis = m4 / square - 3;
        r->kurtosis = r->kurtosisUnbiased = static_cast<double>(kurtosis);
        haveKurtosis = true;
    }
    const Acc skewnessDeviation = std::sqrt(6 * (count - 1) / ((count + 1) * (count + 3)));
    r->skewnessDeviation = r->skewnessDeviationUnbiased = static_cast<double>(skewnessDeviation);
    const Acc dispersion = m2 * count / (count - 1);
    r->dispersion = static_cast<double>(dispersion);

    if (haveSkewness || haveKurtosis) {
        Acc g = static_cast<Acc>(2.449489742783);
        if (n > 3) {
            r->skewnessDeviationUnbiased = static_cast<double>(std::sqrt(count / (count - 2)) * skewnessDeviation);
            g = std::sqrt(count * (count - 1)) / (count - 2);
            const Acc q = std::sqrt(((count - 3) / (count + 3)) * ((count - 2) / (count + 5)) * count * 24);
            r->kurtosisDeviation = static_cast<double>(q / (count - 1));
            r->kurtosisDeviationUnbiased = static_cast<double>(q * (count - 1) / ((count - 3) * (count - 2)));
            if (haveKurtosis)
                r->kurtosisUnbiased =
                    static_cast<double>(((count + 1) * kurtosis + 6) * (count - 1) / ((count - 3) * (count - 2)));
        }
        if (haveSkewness) r->skewnessUnbiased = static_cast<double>(g * skewness);
        if (haveSkewness && haveKurtosis) r->gaussPercent = GaussPercentOf(*r);
    }

    const Acc rms = std::sqrt(dispersion);
    r->rms = static_cast<double>(rms);
    r->deviationUnbiased = static_cast<double>(static_cast<Acc>(UnbiasedDeviationFactor(n)) * rms);
    r->rVar = RelativeVariation(r->deviationUnbiased, r->mean);
    BackgroundThreshold(r);
}

template void SampleMoments<double>(double*, uint32_t, StatisticResult*, const StatisticScratch&);
template void SampleMoments<long double>(double*, uint32_t, StatisticResult*, const StatisticScratch&);

// ---- Background ----------------------------------------------------------------------------------

template <class Acc>
bool BackgroundEstimate(const double* v, uint32_t n, double factor, double* level, double* spread) {
    if (n == 0) return false;
    if (n == 1) {
        *level = IsSubnormal(v[0]) ? 0.0 : v[0];
        *spread = 0.0;
        return true;
    }
    if (n == 2) {
        const double a = std::min(v[0], v[1]), b = std::max(v[0], v[1]);
        *level = PairMean(a, b);
        double half = 0.0;
        if (a != b) {
            half = (b - a) * 0.5;
            if (!std::isfinite(half)) half = b * 0.5 - a * 0.5;
        }
        *spread = half;
        return true;
    }
    Acc sum = 0;
    for (uint32_t i = 0; i < n; ++i) sum += v[i];
    if (!std::isfinite(static_cast<double>(sum))) return false;
    const Acc mean = IsSubnormal(static_cast<double>(sum)) ? Acc(0) : sum / static_cast<Acc>(n);
    Acc d = 0;
    for (uint32_t i = 0; i < n; ++i) d += std::fabs(static_cast<Acc>(v[i]) - mean);
    *level = static_cast<double>(mean);
    *spread = IsSubnormal(static_cast<double>(d)) ? 0.0
                                                  : static_cast<double>(d * static_cast<Acc>(factor) / static_cast<Acc>(n));
    return true;
}

template bool BackgroundEstimate<double>(const double*, uint32_t, double, double*, double*);
template bool BackgroundEstimate<long double>(const double*, uint32_t, double, double*, double*);

// ---- Interval rules ------------------------------------------------------------------------------

IntervalChoice IntervalWidthFromCount(uint32_t k, double range, const ReductionStatValues& o, uint64_t n) {
    IntervalChoice choice;
    if (k == 0) k = 1;
    double width = range / k;
    if (o.intervalInteger == 0) return {width, k};
    width = CeilWidth(width);
    if (1.5 * width > range) return {width, 1};
    double q = range / width;
    const uint32_t kmax = MaxIntervalCount(n);
    if (q <= kmax) return {width, MadeEven(RoundHalfUp(q))};
    width = CeilWidth(range / std::max<uint32_t>(kmax, 1));
    q = range / width;
    choice.width = width;
    choice.count = std::max<uint32_t>(MadeEven(RoundHalfUp(q)), 1);
    return choice;
}

IntervalChoice HistogramIntervalCount(uint64_t n, double range, const ReductionStatValues& o) {
    if (n < 9) {
        IntervalChoice c{range / 2, 2};
        if (o.intervalInteger != 0) {
            c.width = CeilWidth(c.width);
            if (1.5 * c.width > range) c.count = 1;
        }
        return c;
    }
    const double N = static_cast<double>(n);
    const double lg = std::log10(N);
    double c;
    switch (o.intervalMethod) {
        case 0: c = n < 100 ? 1 + 3.322 * lg : 4.5 * lg; break;
        case 1: c = n < 100 ? 3 + 7 * lg : 9.5 * lg; break;
        case 2: c = n <= 200 ? 3 + 11.5 * lg : 4 * std::pow(0.75 * (N - 1) * (N - 1), 0.2); break;
        case 3: c = std::sqrt(N); break;
        case 4: c = 5 * lg; break;
        case 5: c = 4 * lg; break;
        default: c = 1.27 * std::sqrt(N); break;
    }
    return IntervalWidthFromCount(CountFromRule(c, n), range, o, n);
}

uint32_t MomentRuleIntervalCount(uint64_t n, int32_t rule, const StatisticResult& r) {
    const double N = static_cast<double>(n);
    double c;
    if (rule == 6) {
        c = !IsStatNotComputed(r.kurtosisUnbiased) && r.kurtosisUnbiased != 0.0
                ? 4 * std::sqrt(std::fabs(r.kurtosisUnbiased) + 1) * std::log10(N * 0.1)
                : std::sqrt(N);
    } else if (rule == 7) {
        c = !IsStatNotComputed(r.kurtosisUnbiased)
                ? (std::fabs(r.kurtosisUnbiased) + 1.5) * std::pow(N, 0.4) * 0.08333333333333333
                : std::sqrt(N);
    } else if (rule == 8) {
        c = r.deviationUnbiased == 0.0 ? 1.27 * std::sqrt(N)
                                       : (r.range * 0.5) / (std::pow(N, -0.2) * r.deviationUnbiased);
    } else {
        c = 1.27 * std::sqrt(N);
    }
    return CountFromRule(c, n);
}

// ---- Histogram -----------------------------------------------------------------------------------

void HistogramUpperEdges(double histMin, double width, uint32_t bins, double* edges) {
    const double first = histMin - width / 2;
    for (uint32_t i = 0; i < bins; ++i) edges[i] = first + static_cast<double>(i + 1) * width;
}

void HistogramFill(double* bins, const double* v, uint32_t n, const HistogramGrid& g, double min, double half,
                   double threshold, const StatisticScratch& scratch, HistogramTallies* tallies) {
    const uint32_t K = g.bins;
    if (K == 0) return;
    std::fill(bins, bins + K, 0.0);
    const double w = g.width;
    BinParams p{};
    p.first = min > g.histMin ? std::min(kernel::SaturateTrunc<uint32_t>((min - g.histMin) / w), K - 1) : 0;
    p.firstEdge = g.histMin - w / 2;
    p.inverse = 1.0 / w;
    p.bins = K;
    p.edges = g.upperEdges;
    p.half = half;
    p.threshold = threshold;
    uint64_t atLeastHalf = 0, aboveThreshold = 0;
    int32_t index[kIndexChunk];
    // Eight counters per bin, so that runs of values in one bin do not wait on each other.
    constexpr uint32_t kLanes = 8;
    const uint64_t edgeBytes = uint64_t{2} * K * sizeof(double);
    if (GrowScratchBlock(scratch.counts, edgeBytes + uint64_t{kLanes} * K * sizeof(uint32_t))) {
        auto* lower = static_cast<double*>(scratch.counts->block);
        double* upper = lower + K;
        auto* counts = reinterpret_cast<uint32_t*>(upper + K);
        for (uint32_t b = 0; b < K; ++b) {
            lower[b] = b > p.first ? p.edges[b - 1] : -kInf;
            upper[b] = b + 1 < K ? p.edges[b] : kInf;
        }
        p.lower = lower;
        p.upper = upper;
        std::memset(counts, 0, size_t{kLanes} * K * sizeof(uint32_t));
        const bool wide = kernel::CpuHasAvx2();
        for (uint32_t i = 0; i < n; i += kIndexChunk) {
            const size_t c = std::min<size_t>(kIndexChunk, n - i);
            if (wide)
                BinChunkAvx2(v + i, c, p, index, &atLeastHalf, &aboveThreshold);
            else
                BinChunkBase(v + i, c, p, index, &atLeastHalf, &aboveThreshold);
            for (size_t j = 0; j < c; ++j) ++counts[(j % kLanes) * K + static_cast<uint32_t>(index[j])];
        }
        for (uint32_t b = 0; b < K; ++b) {
            uint64_t sum = 0;
            for (uint32_t lane = 0; lane < kLanes; ++lane) sum += counts[lane * K + b];
            bins[b] = static_cast<double>(sum);
        }
    } else {
        for (uint32_t i = 0; i < n; i += kIndexChunk) {
            const size_t c = std::min<size_t>(kIndexChunk, n - i);
            BinChunkBase(v + i, c, p, index, &atLeastHalf, &aboveThreshold);
            for (size_t j = 0; j < c; ++j) bins[index[j]] += 1.0;
        }
    }
    if (tallies != nullptr) {
        tallies->atLeastHalf = atLeastHalf;
        tallies->aboveThreshold = aboveThreshold;
    }
}

}  // namespace orva
