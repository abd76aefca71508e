#include "reduction/slice_smooth.h"

#include <algorithm>
#include <bit>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "common/log.h"
#include "data/kernel_util.h"
#include "reduction/kernels/sample_moments.h"
#include "reduction/reduction_component.h"

namespace orva {

namespace {

// The exponent bits of an infinity or a not-a-number are all ones.
inline bool ExponentAllOnes(double v) {
    return (std::bit_cast<uint64_t>(v) & 0x7FF0000000000000ull) == 0x7FF0000000000000ull;
}
inline bool IsSubnormal(double v) {
    return std::fpclassify(v) == FP_SUBNORMAL;
}
inline bool IsMissing(double v) {
    return v == kSliceMissing;
}

// Lower value to the front.
inline void Order(double& a, double& b) {
    const double lo = std::min(a, b);
    b = std::max(a, b);
    a = lo;
}

// The overflow-safe midpoint of two values; a value with itself is that value
// (an infinity included).
inline double Midpoint(double a, double b) {
    return a == b ? a : PairMean(a, b);
}

// Clears the floating-point status when an overflow or underflow left any flag
// other than inexact raised, so that later code does not see it.
void ClearRangeFlags() {
    if (std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT) != 0) std::feclearexcept(FE_ALL_EXCEPT);
}

}  // namespace

void SliceSmoothWork::Release() {
    scratch.Free();
    sigma.Free();
    spline.Free();
}

// ---- Medians
// ---------------------------------------------------------------------------------------------------

double MedianOf3(double* p) {
    Order(p[0], p[1]);
    Order(p[1], p[2]);
    Order(p[0], p[1]);
    return p[1];
}

double MedianOf5(double* p) {
    Order(p[0], p[1]);
    Order(p[3], p[4]);
    Order(p[0], p[3]);
    Order(p[1], p[4]);
    Order(p[1], p[2]);
    Order(p[2], p[3]);
    Order(p[1], p[2]);
    return p[2];
}

double MedianOf7(double* p) {
    Order(p[0], p[5]);
    Order(p[0], p[3]);
    Order(p[1], p[6]);
    Order(p[2], p[4]);
    Order(p[0], p[1]);
    Order(p[3], p[5]);
    Order(p[2], p[6]);
    Order(p[2], p[3]);
    Order(p[3], p[6]);
    Order(p[4], p[5]);
    Order(p[1], p[4]);
    Order(p[1], p[3]);
    Order(p[3], p[4]);
    return p[3];
}

double MedianOf9(double* p) {
    Order(p[1], p[2]);
    Order(p[4], p[5]);
    Order(p[7], p[8]);
    Order(p[0], p[1]);
    Order(p[3], p[4]);
    Order(p[6], p[7]);
    Order(p[1], p[2]);
    Order(p[4], p[5]);
    Order(p[7], p[8]);
    Order(p[0], p[3]);
    Order(p[5], p[8]);
    Order(p[4], p[7]);
    Order(p[3], p[6]);
    Order(p[1], p[4]);
    Order(p[2], p[5]);
    Order(p[4], p[7]);
    Order(p[4], p[2]);
    Order(p[6], p[4]);
    Order(p[4], p[2]);
    return p[4];
}

double MedianByBisection(const double* v, int64_t n) {
    if (n <= 0) return kSliceMissing;
    double lo = v[0], hi = v[0];
    for (int64_t i = 1; i < n; ++i) {
        lo = std::min(lo, v[i]);
        hi = std::max(hi, v[i]);
    }
    const int64_t half = (n + 1) / 2;
    double mid = lo, below = lo, above = hi;
    int64_t nBelow = 0, nEqual = 0, nAbove = 0;
    for (;;) {
        mid = Midpoint(lo, hi);
        nBelow = nEqual = nAbove = 0;
        below = lo;
        above = hi;
        for (int64_t i = 0; i < n; ++i) {
            const double x = v[i];
            if (x < mid) {
                ++nBelow;
                below = std::max(below, x);
            } else if (x > mid) {
                ++nAbove;
                above = std::min(above, x);
            } else if (x == mid) {
                ++nEqual;
            }
        }
        if (nBelow <= half && nAbove <= half) break;
        // One side holds more than half: the median lies among its values,
        // and the range shrinks by at least the value at its far end.
        if (nBelow > nAbove)
            hi = below;
        else
            lo = above;
    }
    if ((n & 1) != 0) {
        if (nBelow >= half) return below;
        if (nBelow + nEqual >= half) return mid;
        return above;
    }
    const double lower = nBelow == half ? below : mid;
    const double upper = nAbove < half ? mid : above;
    return Midpoint(lower, upper);
}

double SliceMedian(double* v, int64_t n) {
    switch (n) {
        case 1:
            return v[0];
        case 2:
            return Midpoint(v[0], v[1]);
        case 3:
            return MedianOf3(v);
        case 5:
            return MedianOf5(v);
        case 7:
            return MedianOf7(v);
        case 9:
            return MedianOf9(v);
        default:
            return MedianByBisection(v, n);
    }
}

bool SliceMean(const double* v, int64_t n, double* mean, bool* overflowed) {
    double sum = 0.0;
    for (int64_t i = 0; i < n; ++i) sum += v[i];
    bool trouble = false;
    double result;
    if (ExponentAllOnes(sum)) {
        trouble = true;
        const double inverse = 1.0 / static_cast<double>(n);
        sum = 0.0;
        for (int64_t i = 0; i < n; ++i) sum += v[i] * inverse;
        if (ExponentAllOnes(sum)) {
            if (overflowed != nullptr) *overflowed = true;
            return false;
        }
        result = IsSubnormal(sum) ? 0.0 : sum;
    } else if (IsSubnormal(sum)) {
        trouble = true;
        result = 0.0;
    } else {
        result = sum / static_cast<double>(n);
    }
    if (IsSubnormal(result)) trouble = true;
    if (overflowed != nullptr && trouble) *overflowed = true;
    *mean = result;
    return true;
}

// ---- The smoothing spline
// -----------------------------------------------------------------------------------------

double SplineDefaultTarget(int64_t n) {
    if (n < 4) return 0.05;
    return ((static_cast<double>(n) - 1.0) - std::sqrt(2.0 * static_cast<double>(n))) * 0.5;
}

int32_t FitSmoothingSpline(const double* x, const double* y, const double* sigma, int64_t n,
                           double s, double* a, double* b, double* c, double* d, double* work,
                           int32_t* iterations, int32_t iterationCap) {
    if (iterations != nullptr) *iterations = 0;
    if (n < 2) return 1;
    for (int64_t i = 0; i + 1 < n; ++i)
        if (!(x[i + 1] - x[i] > DBL_MIN)) return 2;
    if (s < 0.0) s = SplineDefaultTarget(n);

    // Seven arrays of n + 2, each indexed from -1 so that the band terms of the
    // first rows read zeros: the pivots' inverses r and the two sub-diagonals
    // r1, r2 of the factorisation (first the rows of the sigma-weighted second
    // difference), the tridiagonal t, t2, and the solution u with the
    // residual direction v.
    const int64_t stride = n + 2;
    double* r = work + 1;
    double* r1 = r + stride;
    double* r2 = r1 + stride;
    double* t = r2 + stride;
    double* t2 = t + stride;
    double* u = t2 + stride;
    double* v = u + stride;
    std::fill(work, work + 7 * stride, 0.0);
    auto dy = [sigma](int64_t i) { return sigma != nullptr ? sigma[i] : 1.0; };

    const int64_t last = n - 1;
    // Second differences of y (in a), the tridiagonal of the natural spline
    // and the rows of the weighted second-difference matrix.
    double h = x[1] - x[0];
    double f = (y[1] - y[0]) / h;
    for (int64_t i = 1; i < last; ++i) {
        const double g = h;
        h = x[i + 1] - x[i];
        const double e = f;
        f = (y[i + 1] - y[i]) / h;
        a[i] = f - e;
        t[i] = 2.0 * (g + h) / 3.0;
        t2[i] = h / 3.0;
        r2[i] = dy(i - 1) / g;
        r[i] = dy(i + 1) / h;
        r1[i] = -dy(i) / g - dy(i) / h;
    }
    // The bands of the product of that matrix with its transpose.
    for (int64_t i = 1; i < last; ++i) {
        b[i] = r[i] * r[i] + r1[i] * r1[i] + r2[i] * r2[i];
        c[i] = r[i] * r1[i + 1] + r1[i] * r2[i + 1];
        d[i] = r[i] * r2[i + 2];
    }

    double p = 0.0;
    double previous = -s;
    int32_t step = 0;
    for (;;) {
        ++step;
        // Factorise T + p M and solve for u (u_0 = u_last = 0). The pivot's
        // term f r1[i-1] is taken as f^2 r[i-1], so that only one product
        // waits for the previous pivot; the previous pivots, solutions and
        // band terms ride in locals, and the terms that wait for the previous
        // row come last, so that the chains from row to row stay short.
        f = 0.0;
        double g = 0.0;
        h = 0.0;
        double rBack = 0.0, uBack = 0.0, uBack2 = 0.0, r2Back2 = 0.0;
        for (int64_t i = 1; i < last; ++i) {
            const double known = p * b[i] + t[i] - g * r2Back2;
            const double r1Back = f * rBack;
            r1[i - 1] = r1Back;
            const double ri = 1.0 / (known - (f * f) * rBack);
            r[i] = ri;
            const double ui = (a[i] - r2Back2 * uBack2) - r1Back * uBack;
            u[i] = ui;
            f = p * c[i] + t2[i] - h * r1Back;
            g = h;
            h = d[i] * p;
            r2Back2 = g * rBack;
            r2[i - 1] = r2Back2;
            rBack = ri;
            uBack2 = uBack;
            uBack = ui;
        }
        // Back substitution, and with it, from the last point down, v = the
        // weighted change of slope of u and e its energy; F = p^2 e is the
        // weighted sum of squared residuals at this p.
        double e = 0.0;
        double slope = 0.0;                  // of the interval above i
        double uAbove = 0.0, uAbove2 = 0.0;  // u[i + 1], u[i + 2]
        for (int64_t i = last - 1; i >= 0; --i) {
            double ui = 0.0;
            if (i >= 1) {
                ui = (r[i] * u[i] - r2[i] * uAbove2) - r1[i] * uAbove;
                u[i] = ui;
            }
            const double below = (uAbove - ui) / (x[i + 1] - x[i]);
            const double change = slope - below;
            v[i + 1] = change * dy(i + 1) * dy(i + 1);
            e += v[i + 1] * change;
            slope = below;
            uAbove2 = uAbove;
            uAbove = ui;
        }
        v[0] = slope * dy(0) * dy(0);
        e += v[0] * slope;
        const double fitted = e * p * p;
        if (fitted >= s || fitted <= previous) break;
        previous = fitted;
        // The derivative: f = w' (T + p M)^-1 w with w = Q' v, through the
        // factorisation; h = e - p f is half the slope of F over p.
        f = 0.0;
        h = (v[1] - v[0]) / (x[1] - x[0]);
        double zBack = 0.0, zBack2 = 0.0;  // the solved terms of rows i - 1, i - 2
        for (int64_t i = 1; i < last; ++i) {
            g = h;
            h = (v[i + 1] - v[i]) / (x[i + 1] - x[i]);
            g = (h - g - r2[i - 2] * zBack2) - r1[i - 1] * zBack;
            f += g * r[i] * g;
            r[i] = g;
            zBack2 = zBack;
            zBack = g;
        }
        h = e - p * f;
        if (h <= 1e-60 || e <= DBL_MIN) break;
        if (step >= iterationCap) {
            LogPrintf("Smoothing spline: no convergence after %d iterations (n=%lld)", step,
                      static_cast<long long>(n));
            break;
        }
        p += (s - fitted) / (h * p + std::sqrt(h * h * s / e));
    }
    if (iterations != nullptr) *iterations = step;

    for (int64_t i = 0; i < n; ++i) {
        a[i] = y[i] - p * v[i];
        c[i] = u[i];
    }
    for (int64_t i = 0; i < last; ++i) {
        const double hi = x[i + 1] - x[i];
        d[i] = (c[i + 1] - c[i]) / (3.0 * hi);
        b[i] = (a[i + 1] - a[i]) / hi - (hi * d[i] + c[i]) * hi;
    }
    return 0;
}

// ---- The smoothing kernels
// -----------------------------------------------------------------------------------------

namespace {

enum RowState : int32_t { kRowUsable = 0, kRowZero = 1, kRowEmpty = 2 };

// Scales one estimated row to unit mean; its scale goes to `scale`.
RowState NormaliseRow(double* row, int64_t width, double* scale, bool* trouble) {
    double sum = 0.0;
    int64_t count = 0;
    for (int64_t c = 0; c < width; ++c)
        if (!IsMissing(row[c])) {
            sum += row[c];
            ++count;
        }
    if (count == 0) {
        *scale = kSliceEmptyRowScale;
        return kRowEmpty;
    }
    double mean;
    if (ExponentAllOnes(sum)) {
        *trouble = true;
        const double inverse = 1.0 / static_cast<double>(count);
        mean = 0.0;
        for (int64_t c = 0; c < width; ++c)
            if (!IsMissing(row[c])) mean += row[c] * inverse;
        if (ExponentAllOnes(mean)) {
            *scale = kSliceEmptyRowScale;
            return kRowEmpty;
        }
    } else if (IsSubnormal(sum)) {
        *trouble = true;
        mean = 0.0;
    } else {
        mean = sum / static_cast<double>(count);
    }
    if (std::fabs(mean) < DBL_MIN) {
        if (mean != 0.0) *trouble = true;
        *scale = 0.0;
        return kRowZero;
    }
    *scale = mean;
    for (int64_t c = 0; c < width; ++c)
        if (!IsMissing(row[c])) row[c] /= mean;
    return kRowUsable;
}

// Grows a block to `count` doubles; false when it cannot (the block is then
// given back, so that its size reads 0).
bool GrowDoubles(GlobalBuffer& buffer, uint64_t count) {
    if (count > kGlobalBufferMaxBytes / sizeof(double)) {
        buffer.Free();
        return false;
    }
    if (GrowScratchBlock(&buffer, count * sizeof(double))) return true;
    buffer.Free();
    return false;
}

// The scratch block: the gather area (window, at least 1), the previous
// estimates (W) and the column's points (2 x rows).
bool GrowScratch(SliceSmoothWork& work) {
    const uint64_t gather =
        static_cast<uint64_t>(std::max<int64_t>(std::min(work.rows, work.window), 1));
    return GrowDoubles(work.scratch, gather + static_cast<uint64_t>(work.width) +
                                         2 * static_cast<uint64_t>(work.rows));
}

// The estimate of one window's gathered values by the kernel's estimator.
inline double Estimate(SliceEstimator estimator, double* gathered, int64_t n, double previous,
                       bool* trouble) {
    if (estimator == SliceEstimator::kMedian) return SliceMedian(gathered, n);
    double mean = 0.0;
    const bool haveMean = SliceMean(gathered, n, &mean, trouble);
    if (estimator == SliceEstimator::kMean) return haveMean ? mean : SliceMedian(gathered, n);
    // Mean or median: the median first after an invalid estimate, else the
    // one closer to the previous estimate (a tie takes the mean).
    const double median = SliceMedian(gathered, n);
    if (IsMissing(previous) || !haveMean) return median;
    return std::fabs(median - previous) < std::fabs(mean - previous) ? median : mean;
}

// The spline stage over the produced rows [first, first + m) of the profile.
void SmoothColumns(SliceSmoothWork& work, double gainIn, double noiseIn, int64_t w, int64_t first,
                   int64_t m, double* profile, const double* scales, double* columnX,
                   double* columnY) {
    const int64_t width = work.width;
    // The window averages w rows: its variance is that of one sample over w.
    const double windowRows = static_cast<double>(std::max<int64_t>(w, 1));
    double gain = gainIn / windowRows, noise = noiseIn / windowRows;
    if (!(gain >= kTwiceDblMin)) gain = kTwiceDblMin;
    if (!(noise >= kTwiceDblMin)) noise = kTwiceDblMin;

    double* sigma = GrowDoubles(work.sigma, static_cast<uint64_t>(work.rows))
                        ? static_cast<double*>(work.sigma.block)
                        : nullptr;
    // The spline's arrays: a (m), b, c, d (m - 1 each) and the work area.
    const uint64_t um = static_cast<uint64_t>(m);
    if (!GrowDoubles(work.spline, um + 3 * (um - 1) + 7 * (um + 2))) return;
    double* a = static_cast<double*>(work.spline.block);
    double* b = a + m;
    double* c = b + (m - 1);
    double* d = c + (m - 1);
    double* fitWork = d + (m - 1);

    for (int64_t col = 0; col < width; ++col) {
        int64_t n = 0;
        for (int64_t k = 0; k < m; ++k) {
            const double value = profile[(first + k) * width + col];
            // A row whose mean could not be formed (it holds an infinity)
            // keeps unscaled samples, and its scale would make their sigma
            // overflow and spoil the fit of every column: it stays out, and
            // the fit fills it in like a gap.
            if (IsMissing(value) || !std::isfinite(value) ||
                scales[first + k] == kSliceEmptyRowScale)
                continue;
            columnX[n] = static_cast<double>(k);
            columnY[n] = value;
            ++n;
        }
        if (n <= 2) continue;
        if (sigma != nullptr) {
            for (int64_t k = 0; k < n; ++k) {
                const double scale =
                    std::fabs(scales[first + kernel::SaturateTrunc<int64_t>(columnX[k])]);
                sigma[k] = scale == 0.0
                               ? 1.0
                               : std::sqrt(std::fabs(columnY[k]) * scale * gain + noise) / scale;
            }
        }
        if (FitSmoothingSpline(columnX, columnY, sigma, n, SplineDefaultTarget(n), a, b, c, d,
                               fitWork) != 0)
            continue;
        for (int64_t k = 0; k < n; ++k) {
            const int64_t row = kernel::SaturateTrunc<int64_t>(columnX[k]);
            profile[(first + row) * width + col] = a[k];
            if (k + 1 == n) break;
            const int64_t gap = kernel::SaturateTrunc<int64_t>(columnX[k + 1]) - row;
            for (int64_t step = 1; step < gap; ++step) {
                const double tt = static_cast<double>(step);
                profile[(first + row + step) * width + col] =
                    a[k] + tt * (b[k] + tt * (c[k] + tt * d[k]));
            }
        }
    }
}

}  // namespace

bool EstimateSliceRows(SliceEstimator estimator, SliceSmoothWork& work, const double* samples,
                       double* profile, double* scales, SliceRowCounts* counts) {
    const int64_t width = work.width;
    const int64_t rows = work.rows;
    *counts = SliceRowCounts{};
    if (width <= 0 || rows <= 0) return false;
    const int64_t w = std::min(rows, work.window);
    const int64_t half = w >= 2 ? w >> 1 : 0;
    const int64_t m = w >= 2 ? rows - w + 1 : rows;
    counts->half = half;
    counts->produced = m;
    if (!GrowScratch(work)) return false;
    double* gathered = static_cast<double*>(work.scratch.block);
    double* previous = gathered + std::max<int64_t>(w, 1);

    bool trouble = false;
    auto countRow = [&](RowState state) {
        if (state != kRowUsable) ++counts->unusable;
        if (state == kRowEmpty) ++counts->empty;
    };
    if (w < 2) {
        std::memcpy(profile, samples, static_cast<size_t>(rows * width) * sizeof(double));
        for (int64_t row = 0; row < rows; ++row)
            countRow(NormaliseRow(profile + row * width, width, &scales[row], &trouble));
    } else {
        std::fill(previous, previous + width, kSliceMissing);
        for (int64_t k = 0; k < m; ++k) {
            double* out = profile + (half + k) * width;
            for (int64_t col = 0; col < width; ++col) {
                int64_t n = 0;
                const double* in = samples + k * width + col;
                for (int64_t j = 0; j < w; ++j, in += width)
                    if (!IsMissing(*in)) gathered[n++] = *in;
                const double value =
                    n == 0 ? kSliceMissing
                           : Estimate(estimator, gathered, n, previous[col], &trouble);
                out[col] = value;
                previous[col] = value;
            }
            countRow(NormaliseRow(out, width, &scales[half + k], &trouble));
        }
    }
    if (trouble) ClearRangeFlags();
    return true;
}

namespace {

int32_t SmoothSliceSteps(SliceEstimator estimator, SliceSmoothWork& work, double gain,
                         double noiseSquared, const double* samples, double* profile,
                         double* scales) {
    SliceRowCounts counts;
    if (!EstimateSliceRows(estimator, work, samples, profile, scales, &counts)) return 0;
    const int64_t width = work.width;
    const int64_t rows = work.rows;
    const int64_t w = std::min(rows, work.window);
    const int64_t half = counts.half;
    const int64_t m = counts.produced;
    const int64_t unusable = counts.unusable, empty = counts.empty;
    const uint64_t uw = static_cast<uint64_t>(width);
    double* columnX = static_cast<double*>(work.scratch.block) + std::max<int64_t>(w, 1) + width;
    double* columnY = columnX + rows;

    // A thin profile: too few usable rows for a spline.
    if (unusable >= m) return 0;
    double* firstRow = profile + half * width;
    if (m - empty <= 1) {
        if (empty > 0) {
            int64_t source = -1;
            for (int64_t k = 0; k < m && source < 0; ++k)
                if (!IsMissing(firstRow[k * width])) source = k;
            if (source < 0) return 0;
            for (int64_t k = 0; k < m; ++k)
                if (IsMissing(firstRow[k * width]))
                    std::memcpy(firstRow + k * width, firstRow + source * width,
                                uw * sizeof(double));
        }
    } else if (m - empty == 2) {
        // Each column becomes the straight line through its two samples; a
        // column with fewer keeps its estimates.
        for (int64_t col = 0; col < width; ++col) {
            int64_t n = 0;
            for (int64_t k = 0; k < m && n < 2; ++k) {
                const double value = firstRow[k * width + col];
                if (IsMissing(value)) continue;
                columnX[n] = static_cast<double>(k);
                columnY[n] = value;
                ++n;
            }
            if (n < 2) continue;
            const double y0 = columnY[0], y1 = columnY[1];
            const double slope = y0 == y1 ? 0.0 : (y1 - y0) / (columnX[1] - columnX[0]);
            for (int64_t k = 0; k < m; ++k)
                firstRow[k * width + col] =
                    y0 == y1 ? y0 : y0 + slope * (static_cast<double>(k) - columnX[0]);
        }
    } else {
        SmoothColumns(work, gain, noiseSquared, w, half, m, profile, scales, columnX, columnY);
    }

    // Every produced row non-negative with unit sum.
    int64_t failed = 0;
    const double uniform = 1.0 / static_cast<double>(width);
    for (int64_t k = 0; k < m; ++k) {
        double* row = firstRow + k * width;
        double sum = 0.0;
        int64_t count = 0;
        for (int64_t col = 0; col < width; ++col) {
            if (IsMissing(row[col])) continue;
            row[col] = std::fabs(row[col]);
            sum += row[col];
            ++count;
        }
        if (count == 0) {
            ++failed;
            continue;
        }
        if (std::isinf(sum)) {
            // Values near the top of the range: scale by the largest first,
            // so that the row still sums to one; infinite values share the
            // whole sum.
            double largest = 0.0;
            for (int64_t col = 0; col < width; ++col)
                if (!IsMissing(row[col])) largest = std::max(largest, row[col]);
            const bool infinite = std::isinf(largest);
            sum = 0.0;
            for (int64_t col = 0; col < width; ++col)
                if (!IsMissing(row[col])) {
                    row[col] = infinite ? (std::isinf(row[col]) ? 1.0 : 0.0) : row[col] / largest;
                    sum += row[col];
                }
        }
        if (sum > DBL_MIN) {
            for (int64_t col = 0; col < width; ++col)
                if (!IsMissing(row[col])) row[col] /= sum;
        } else {
            std::fill(row, row + width, uniform);
            ++failed;
        }
    }
    if (failed >= m) return 0;

    // The rows the window cannot centre on copy the nearest produced row, and
    // its scale.
    if (m < rows) {
        for (int64_t row = 0; row < half; ++row) {
            std::memcpy(profile + row * width, firstRow, uw * sizeof(double));
            scales[row] = scales[half];
        }
        const int64_t lastProduced = half + m - 1;
        for (int64_t row = lastProduced + 1; row < rows; ++row) {
            std::memcpy(profile + row * width, profile + lastProduced * width, uw * sizeof(double));
            scales[row] = scales[lastProduced];
        }
    }
    return 3;
}

}  // namespace

int32_t SmoothSlice(SliceEstimator estimator, SliceSmoothWork& work, double gain,
                    double noiseSquared, const double* samples, double* profile, double* scales) {
    if (samples == nullptr || profile == nullptr || scales == nullptr) return 0;
    const int32_t result =
        SmoothSliceSteps(estimator, work, gain, noiseSquared, samples, profile, scales);
    // Sums that overflowed, weights that underflowed in the fits: the status
    // is cleared so that later code does not see them.
    ClearRangeFlags();
    return result;
}

namespace {

int32_t SmoothFor(SliceEstimator estimator, ReductionComponent* component, const double* samples,
                  double* profile, double* scales) {
    if (component == nullptr) return 0;
    const ReductionSliceValues& slice = component->Options().values.slice;
    return SmoothSlice(estimator, component->sliceSmooth, slice.gain, slice.noiseSquared, samples,
                       profile, scales);
}

}  // namespace

int32_t SmoothSliceMean(ReductionComponent* component, const double* samples, double* profile,
                        double* scales) {
    return SmoothFor(SliceEstimator::kMean, component, samples, profile, scales);
}
int32_t SmoothSliceMedian(ReductionComponent* component, const double* samples, double* profile,
                          double* scales) {
    return SmoothFor(SliceEstimator::kMedian, component, samples, profile, scales);
}
int32_t SmoothSliceMeanOrMedian(ReductionComponent* component, const double* samples,
                                double* profile, double* scales) {
    return SmoothFor(SliceEstimator::kMeanOrMedian, component, samples, profile, scales);
}

}  // namespace orva
