#include "data/kernel_pragmas.h"
#include "shapes/geometry/region.h"

#include <immintrin.h>

#include <cfloat>
#include <cmath>

#include "data/kernel_util.h"

namespace orva {

namespace {

constexpr double kMissing = -DBL_MAX;
// The square root of DBL_MAX: values at or above it cannot be squared.
constexpr double kSqrtMax = 1.3407807929942597e154;

// The sums of one pass, kept in vector lanes across all rows of a mask.
// Lanes start at v0 = the first counted value; a value that is not counted
// (NaN, or the missing mark when blanks are skipped) adds nothing to any lane.
struct LaneSums {
    bool started = false;
    double v0 = 0.0;
    __m128d sum[2];
    __m128d squares[2];
    __m128d minimum[2];
    __m128d maximum[2];
    __m128i count[2];
};

template <bool SkipBlank>
ORVA_INLINE bool Counted(double v) {
    if constexpr (SkipBlank) return v == v && v != kMissing;
    else return v == v;
}

template <bool SkipBlank>
ORVA_INLINE __m128d CountedMask(__m128d v) {
    __m128d ok = _mm_cmpord_pd(v, v);
    if constexpr (SkipBlank) ok = _mm_and_pd(ok, _mm_cmpneq_pd(v, _mm_set1_pd(kMissing)));
    return ok;
}

template <bool SkipBlank>
ORVA_INLINE void AddPair(LaneSums* s, int lane, __m128d v, __m128d v0) {
    const __m128d ok = CountedMask<SkipBlank>(v);
    const __m128d d = _mm_and_pd(_mm_sub_pd(v, v0), ok);
    s->sum[lane] = _mm_add_pd(s->sum[lane], d);
    s->squares[lane] = _mm_add_pd(s->squares[lane], _mm_mul_pd(d, d));
    s->minimum[lane] = _mm_min_pd(s->minimum[lane], _mm_or_pd(_mm_and_pd(ok, v), _mm_andnot_pd(ok, _mm_set1_pd(DBL_MAX))));
    s->maximum[lane] = _mm_max_pd(s->maximum[lane], _mm_or_pd(_mm_and_pd(ok, v), _mm_andnot_pd(ok, _mm_set1_pd(-DBL_MAX))));
    s->count[lane] = _mm_sub_epi64(s->count[lane], _mm_castpd_si128(ok));
}

// Folds `n` consecutive values into the lanes; the last odd value goes in
// beside a NaN, which is never counted.
template <bool SkipBlank>
void AddRun(LaneSums* s, const double* v, size_t n) {
    size_t i = 0;
    if (!s->started) {
        while (i < n && !Counted<SkipBlank>(v[i])) ++i;
        if (i == n) return;
        s->started = true;
        s->v0 = v[i];
    }
    const __m128d v0 = _mm_set1_pd(s->v0);
    for (; i + 4 <= n; i += 4) {
        AddPair<SkipBlank>(s, 0, _mm_loadu_pd(v + i), v0);
        AddPair<SkipBlank>(s, 1, _mm_loadu_pd(v + i + 2), v0);
    }
    if (i + 2 <= n) {
        AddPair<SkipBlank>(s, 0, _mm_loadu_pd(v + i), v0);
        i += 2;
    }
    if (i < n) AddPair<SkipBlank>(s, 1, _mm_set_pd(std::nan(""), v[i]), v0);
}

void StartLanes(LaneSums* s) {
    for (int lane = 0; lane < 2; ++lane) {
        s->sum[lane] = _mm_setzero_pd();
        s->squares[lane] = _mm_setzero_pd();
        s->minimum[lane] = _mm_set1_pd(DBL_MAX);
        s->maximum[lane] = _mm_set1_pd(-DBL_MAX);
        s->count[lane] = _mm_setzero_si128();
    }
}

RegionMoments CollectLanes(const LaneSums& s) {
    RegionMoments m;
    alignas(16) double sum[2], squares[2], minimum[2], maximum[2];
    alignas(16) uint64_t count[2];
    _mm_store_pd(sum, _mm_add_pd(s.sum[0], s.sum[1]));
    _mm_store_pd(squares, _mm_add_pd(s.squares[0], s.squares[1]));
    _mm_store_pd(minimum, _mm_min_pd(s.minimum[0], s.minimum[1]));
    _mm_store_pd(maximum, _mm_max_pd(s.maximum[0], s.maximum[1]));
    _mm_store_si128(reinterpret_cast<__m128i*>(count), _mm_add_epi64(s.count[0], s.count[1]));
    m.v0 = s.v0;
    m.shiftedSum = sum[0] + sum[1];
    m.shiftedSquares = squares[0] + squares[1];
    m.minimum = std::fmin(minimum[0], minimum[1]);
    m.maximum = std::fmax(maximum[0], maximum[1]);
    m.count = count[0] + count[1];
    return m;
}

// x + y when it does not overflow.
bool AddChecked(int64_t x, int64_t y, int64_t* out) { return !__builtin_add_overflow(x, y, out); }

bool IsSubnormal(double x) { return x != 0.0 && std::fabs(x) < DBL_MIN; }

// (p + q) / 2 and (q - p) / 2 without overflow for two finite values p <= q.
double HalfSum(double p, double q) {
    if (p == -q) return 0.0;
    bool sameSign = (p < 0) == (q < 0);
    if (sameSign && DBL_MAX - std::fabs(q) < std::fabs(p)) return p + (q - p) * 0.5;
    return (p + q) * 0.5;
}
double HalfSpread(double p, double q) {
    if (p == q) return 0.0;
    return q * 0.5 - p * 0.5;
}

}  // namespace

bool RegionStatsFinish(const RegionMoments& m, RegionStats* stats) {
    if (m.count == 0) return false;
    const double n = static_cast<double>(m.count);
    double sum = n * m.v0 + m.shiftedSum;
    if (IsSubnormal(sum)) sum = 0.0;
    stats->minimum = m.minimum;
    stats->maximum = m.maximum;
    stats->sigma = 0.0;
    stats->count = m.count > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(m.count);
    stats->zero = 0;

    if (m.count == 1 || m.minimum == m.maximum) {
        stats->mean = m.minimum;
        stats->sum = n * m.minimum;
        return true;
    }
    if (m.count == 2) {
        stats->sum = DBL_MAX - m.maximum < m.minimum ? DBL_MAX : m.minimum + m.maximum;
        stats->mean = HalfSum(m.minimum, m.maximum);
        stats->sigma = HalfSpread(m.minimum, m.maximum);
        return true;
    }

    if (std::fabs(m.minimum) >= kSqrtMax || std::fabs(m.maximum) >= kSqrtMax) return false;
    if (DBL_MAX - m.maximum * m.maximum < m.minimum * m.minimum) return false;
    if (std::fabs(sum) > std::sqrt(n) * kSqrtMax) return false;
    // Deviations from v0 reach max - min, which may still square past the range.
    if (!std::isfinite(m.shiftedSquares)) return false;

    stats->mean = m.v0 + m.shiftedSum / n;
    stats->sum = sum;
    const double spread = m.shiftedSquares - m.shiftedSum * (m.shiftedSum / n);
    if (spread > 0.0) stats->sigma = std::sqrt(spread / (n - 1.0));
    return true;
}

bool RegionMinMax(const ShapeRegion& region, const FrameBox& frame, const double* values, uint32_t channels,
                  uint8_t skipBlank, RegionStats* stats) {
    if (region.count == 0 || values == nullptr || channels == 0 || stats == nullptr) return false;
    int64_t shiftX = 0, shiftY = 0;
    if (__builtin_sub_overflow(static_cast<int64_t>(region.originX), frame.x, &shiftX) ||
        __builtin_sub_overflow(static_cast<int64_t>(region.originY), frame.y, &shiftY))
        return false;
    const int64_t width = frame.width;
    const int64_t height = frame.height;
    const size_t rowValues = static_cast<size_t>(frame.width) * channels;

    LaneSums lanes;
    StartLanes(&lanes);
    for (const RegionRect& r : region) {
        int64_t x0, x1, y0, y1;
        if (!AddChecked(r.x0, shiftX, &x0) || !AddChecked(r.x1, shiftX, &x1) || !AddChecked(r.y0, shiftY, &y0) ||
            !AddChecked(r.y1, shiftY, &y1))
            continue;
        x0 = std::max<int64_t>(x0, 0);
        y0 = std::max<int64_t>(y0, 0);
        x1 = std::min(x1, width);
        y1 = std::min(y1, height);
        if (x0 >= x1 || y0 >= y1) continue;
        const size_t span = static_cast<size_t>(x1 - x0) * channels;
        const double* row = values + static_cast<size_t>(y0) * rowValues + static_cast<size_t>(x0) * channels;
        for (int64_t y = y0; y < y1; ++y, row += rowValues) {
            if (skipBlank) AddRun<true>(&lanes, row, span);
            else AddRun<false>(&lanes, row, span);
        }
    }
    if (!lanes.started) return false;
    return RegionStatsFinish(CollectLanes(lanes), stats);
}

}  // namespace orva
