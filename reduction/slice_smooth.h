#pragma once
// Smoothing along a slice: turns the block of samples that a slice with an
// aperture gathers (one row per path position, one column per position across
// the path) into a normalised cross profile for every path position, which the
// optimal extraction weighs the data with.
//
// Each kernel estimates every row from a sliding window of neighbouring rows
// (mean, median, or whichever of the two lies closer to the column's previous
// estimate), scales each estimated row to unit mean, smooths every column
// along the path with a weighted smoothing spline, and finally makes every row
// non-negative with unit sum. Rows at both ends that the window cannot centre
// on copy the nearest produced row.
//
// Samples holding the missing mark (-DBL_MAX) are skipped by every sum, median
// and fit, and stay missing in the profile.
//
// Medians are found without sorting and without allocation: compare-exchange
// networks for 3, 5, 7 and 9 values, a counting bisection otherwise. Sums that
// overflow are formed again from scaled terms; at the end of a smoothing call
// the floating-point status is cleared when any flag other than inexact is
// raised, so that later code does not see an overflow or underflow met here.
#include <cstdint>

#include "common/global_buffer.h"

namespace orva {

class ReductionComponent;

// The mark of a sample that is missing or invalid.
constexpr double kSliceMissing = -1.7976931348623157e308;
// The scale of an estimated row without a valid sample: -DBL_MIN, bits
// 0x8010000000000000.
constexpr double kSliceEmptyRowScale = -2.2250738585072014e-308;
// The most iterations of the smoothing spline's search for its parameter; it
// normally ends in about ten. At the cap the fit ends as if converged and
// writes one log line.
constexpr int32_t kSplineIterationCap = 100;

// The row estimators of the three kernels.
enum class SliceEstimator : int32_t { kMeanOrMedian = 0, kMean = 1, kMedian = 2 };

// What one smoothing call works on, and the scratch it keeps between calls.
// The blocks belong to the component (released with it) and only grow.
struct SliceSmoothWork {
    SliceSmoothWork() = default;
    SliceSmoothWork(const SliceSmoothWork&) = delete;
    SliceSmoothWork& operator=(const SliceSmoothWork&) = delete;

    // Set by the caller before each call: the cross width W of the block, its
    // row count (path positions) and the window length (SliceLSmoothAverWin).
    int64_t width = 0;
    int64_t rows = 0;
    int64_t window = 0;

    // The gather area (window), the previous estimates (W) and the column
    // area (2 x rows), in one block.
    GlobalBuffer scratch;
    // The standard deviations of one column (rows); when it cannot be had the
    // spline runs with unit weights.
    GlobalBuffer sigma;
    // The spline's arrays: the smoothed values (m), the cubic coefficients
    // (3 x (m - 1)) and its work area (7 x (m + 2)); when they cannot be had
    // every column keeps its estimates.
    GlobalBuffer spline;

    // Frees every block (the parameters stay).
    void Release();
};

// The smoothing itself, with explicit parameters: `samples` and `profile` are
// rows x width doubles (row-major), `scales` rows doubles; gain g0 and the
// squared noise r0 weigh the spline. Returns 3 when a profile was built, 0
// when no usable profile exists (the caller then collapses the strip itself).
int32_t SmoothSlice(SliceEstimator estimator, SliceSmoothWork& work, double gain,
                    double noiseSquared, const double* samples, double* profile, double* scales);

// The first stage alone: the window estimates of every produced row, each
// scaled to unit mean (the mean goes to `scales`). The produced rows are rows
// half .. half + produced - 1, half = w / 2 for the window w = min(rows,
// window) (0 without a window, w < 2); the other rows are not written.
// Unusable rows have no valid sample, no mean, or mean 0; empty rows are the
// first two kinds. False when the scratch cannot be had.
struct SliceRowCounts {
    int64_t half = 0;
    int64_t produced = 0;
    int64_t unusable = 0;
    int64_t empty = 0;
};
bool EstimateSliceRows(SliceEstimator estimator, SliceSmoothWork& work, const double* samples,
                       double* profile, double* scales, SliceRowCounts* counts);

// The kernels a Reduction installs in its smoothing slot, by
// SliceLSmoothMethod: they read the geometry from the component's
// SliceSmoothWork and the gain and noise from its options.
int32_t SmoothSliceMean(ReductionComponent* component, const double* samples, double* profile,
                        double* scales);
int32_t SmoothSliceMedian(ReductionComponent* component, const double* samples, double* profile,
                          double* scales);
int32_t SmoothSliceMeanOrMedian(ReductionComponent* component, const double* samples,
                                double* profile, double* scales);

// The median of n >= 1 values by counting bisection over their range: no
// sorting, no memory beyond the caller's array, which is not changed. An even
// count gives the overflow-safe midpoint of the two middle values.
double MedianByBisection(const double* values, int64_t n);

// The exact middle value by a fixed compare-exchange network; the values are
// reordered.
double MedianOf3(double* values);
double MedianOf5(double* values);
double MedianOf7(double* values);
double MedianOf9(double* values);

// The median of n >= 1 gathered values: one value itself, two their
// overflow-safe midpoint, 3, 5, 7, 9 by the networks (the values may be
// reordered), any other count by MedianByBisection.
double SliceMedian(double* values, int64_t n);

// The mean of n >= 1 values: the sum over n, recomputed from terms scaled by
// 1/n when the sum overflows; a subnormal sum gives 0. False when the mean
// cannot be formed (still infinite or not a number); `overflowed` is set when
// an overflow or underflow was met.
bool SliceMean(const double* values, int64_t n, double* mean, bool* overflowed = nullptr);

// The weighted cubic smoothing spline (Reinsch): over n points with strictly
// increasing x and standard deviations sigma (null: all 1), the curve of least
// squared second derivative with sum(((y - a) / sigma)^2) <= s; a negative s
// takes the default ((n - 1) - sqrt(2 n)) / 2 (0.05 below 4 points). Writes the
// smoothed values a[0..n-1] and the coefficients b, c, d of the n - 1 intervals
// (on interval i, a[i] + t (b[i] + t (c[i] + t d[i])) at x[i] + t); `work`
// holds 7 (n + 2) doubles. Returns 0 fitted, 1 for n < 2, 2 when two abscissae
// are closer than DBL_MIN (nothing written). `iterations`, when given,
// receives the number of solves taken; after `iterationCap` of them the fit
// ends as if converged and logs one line.
int32_t FitSmoothingSpline(const double* x, const double* y, const double* sigma, int64_t n,
                           double s, double* a, double* b, double* c, double* d, double* work,
                           int32_t* iterations = nullptr,
                           int32_t iterationCap = kSplineIterationCap);

// The default smoothing target for n points: 0.05 below 4, else
// ((n - 1) - sqrt(2 n)) / 2.
double SplineDefaultTarget(int64_t n);

}  // namespace orva
