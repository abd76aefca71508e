#include "data/kernel_pragmas.h"
// The two loops of the 1-D device's post-pull step over every sample: the range scan
// and the normalised copy. Written so that the compiler vectorises them; the rare
// values (NaN, infinities, denormals, overflows) are found by a count and mended after.
#include <cfenv>
#include <cfloat>
#include <cmath>

#include <emmintrin.h>

#include "app/chart_device.h"

namespace orva {

RowScan ChartScanRow(const double* x, uint64_t n, ChartRange* out) {
    if (x == nullptr || n == 0) return RowScan::kEmpty;
    // The no-data value takes no part in the minimum (it never raises the maximum); a
    // NaN or an infinity spoils the range. Two pairs of lanes keep the comparisons of
    // neighbouring samples independent; minpd and maxpd pass over a NaN, which is
    // counted instead.
    const __m128d noData = _mm_set1_pd(-DBL_MAX), top = _mm_set1_pd(DBL_MAX);
    __m128d mn0 = top, mn1 = top, mx0 = noData, mx1 = noData;
    __m128i nans = _mm_setzero_si128();
    uint64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128d a = _mm_loadu_pd(x + i), b = _mm_loadu_pd(x + i + 2);
        const __m128d ma = _mm_cmpeq_pd(a, noData), mb = _mm_cmpeq_pd(b, noData);
        const __m128d wa = _mm_or_pd(_mm_and_pd(ma, top), _mm_andnot_pd(ma, a));
        const __m128d wb = _mm_or_pd(_mm_and_pd(mb, top), _mm_andnot_pd(mb, b));
        mn0 = _mm_min_pd(wa, mn0);
        mn1 = _mm_min_pd(wb, mn1);
        mx0 = _mm_max_pd(a, mx0);
        mx1 = _mm_max_pd(b, mx1);
        nans = _mm_sub_epi64(nans, _mm_castpd_si128(_mm_cmpunord_pd(a, b)));
    }
    double lanes[2];
    _mm_storeu_pd(lanes, _mm_min_pd(mn0, mn1));
    double mn = lanes[0] < lanes[1] ? lanes[0] : lanes[1];
    _mm_storeu_pd(lanes, _mm_max_pd(mx0, mx1));
    double mx = lanes[0] > lanes[1] ? lanes[0] : lanes[1];
    int64_t counts[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(counts), nans);
    bool bad = counts[0] != 0 || counts[1] != 0;
    for (; i < n; ++i) {
        const double v = x[i];
        if (v != v) bad = true;
        const double w = v == -DBL_MAX ? DBL_MAX : v;
        mn = w < mn ? w : mn;
        mx = v > mx ? v : mx;
    }
    if (bad || std::isinf(mn) || std::isinf(mx)) {
        ClearRaisedFlags();
        return RowScan::kSpoiled;
    }
    if (mx == -DBL_MAX) return RowScan::kEmpty;
    if (out != nullptr) {
        out->minimum = mn;
        out->maximum = mx;
    }
    return RowScan::kFound;
}

bool ChartNormaliseSamples(const double* x, uint64_t count, const ChartNormalising& n, double* out) {
    if (x == nullptr || out == nullptr) return false;
    const double half = n.half;
    // Without a scale (within DBL_EPSILON of 1) the product by 1.0 changes nothing, and
    // without an offset the difference changes nothing: one loop serves all three.
    const double scale = std::fabs(n.scale - 1.0) >= DBL_EPSILON ? n.scale : 1.0;
    const double offset = -n.offset * scale != 0.0 ? n.offset : 0.0;
    bool special = false;
    uint64_t i = 0;
    if (half > DBL_MAX * 0.5) {
        // A span beyond DBL_MAX: the halves of the values over the half span.
        const double halfOffset = n.offset * 0.5;
        for (; i < count; ++i) {
            const double v = x[i];
            out[i] = v == -DBL_MAX ? -DBL_MAX : (v * 0.5 - halfOffset) / half;
        }
    } else {
        // No data stays no data; a result that is not 0 and not a normal number is
        // counted (a NaN fails both tests).
        const __m128d off = _mm_set1_pd(offset), sc = _mm_set1_pd(scale), noData = _mm_set1_pd(-DBL_MAX);
        const __m128d smallest = _mm_set1_pd(DBL_MIN), largest = _mm_set1_pd(DBL_MAX), zero = _mm_setzero_pd();
        const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
        __m128d allOk = _mm_castsi128_pd(_mm_set1_epi64x(-1));
        for (; i + 2 <= count; i += 2) {
            const __m128d v = _mm_loadu_pd(x + i);
            const __m128d m = _mm_cmpeq_pd(v, noData);
            __m128d r = _mm_mul_pd(_mm_sub_pd(v, off), sc);
            r = _mm_or_pd(_mm_and_pd(m, noData), _mm_andnot_pd(m, r));
            _mm_storeu_pd(out + i, r);
            const __m128d a = _mm_and_pd(r, magnitude);
            const __m128d ok = _mm_or_pd(_mm_and_pd(_mm_cmpge_pd(a, smallest), _mm_cmple_pd(a, largest)),
                                         _mm_cmpeq_pd(a, zero));
            allOk = _mm_and_pd(allOk, ok);
        }
        special = _mm_movemask_pd(allOk) != 3;
        for (; i < count; ++i) {
            const double v = x[i];
            out[i] = v == -DBL_MAX ? -DBL_MAX : (v - offset) * scale;
        }
    }
    // Denormals become 0.0, overflows the bound of their sign, NaNs no data.
    auto mend = [](double r, bool* changed) {
        const double a = std::fabs(r);
        if ((a >= DBL_MIN && a <= DBL_MAX) || a == 0.0) return r;
        *changed = true;
        return std::isnan(r) ? -DBL_MAX : (a < DBL_MIN ? 0.0 : std::copysign(DBL_MAX, r));
    };
    const uint64_t from = special || half > DBL_MAX * 0.5 ? 0 : count - (count % 2);
    for (uint64_t k = from; k < count; ++k) out[k] = mend(out[k], &special);
    ClearRaisedFlags();
    return special;
}

}  // namespace orva
