#pragma once
// The numeric building blocks of the region statistic: the moments, median,
// deviations, skewness and kurtosis of one channel's values with guards
// against overflow, the robust background estimate, the rules that choose the
// number of histogram intervals and their width, and the histogram itself.
//
// Nothing here sorts. The consumers need order statistics and counts only: the
// median comes from selection (a counting pass over the value range narrows it
// to a few buckets, std::nth_element finishes inside them), the histogram from
// direct binning against the same computed bin edges that a sweep over sorted
// values would compare with, and the FWHM and threshold counts from the same
// pass. Values may be reordered by the selection; every later consumer counts.
//
// The accumulators are templated on their type: double for the default work,
// long double (64-bit mantissa on x86-64) for extended precision.
//
// Everything works on the caller's data and the caller's scratch blocks, so
// two statistics may run at once on different threads.
#include <cstdint>

#include "common/global_buffer.h"
#include "reduction/reduction_options.h"
#include "reduction/statistic_block.h"

namespace orva {

// A statistic field that was not computed holds the largest double; a
// threshold outside the data the lowest. Readers compare the exact bits.
constexpr double kStatNotComputed = 1.7976931348623157e308;
constexpr double kStatBelowData = -1.7976931348623157e308;
bool IsStatNotComputed(double value);
bool IsStatBelowData(double value);

// Square, cube and fourth roots of DBL_MAX, the square root of DBL_MIN.
constexpr double kSqrtDblMax = 1.3407807929942597e154;
constexpr double kCbrtDblMax = 5.643803094122362e102;
constexpr double kQuarticRootDblMax = 1.157920892373162e77;
constexpr double kSqrtDblMin = 1.4916681462400413e-154;
// The factor that turns a mean absolute deviation of normal data into its
// standard deviation, sqrt(pi / 2).
constexpr double kMeanDeviationToSigma = 1.2533141373155003;

// The factor k[N] that makes the standard deviation of N values unbiased:
// sqrt((N-1)/2) Gamma((N-1)/2) / Gamma(N/2), from a single-precision table for
// N = 2..19 and the series (0.28125/N + 0.25)/N + 1 from N = 20 on (1 below 2).
double UnbiasedDeviationFactor(uint64_t n);

// The largest histogram interval count for N values: N/3 below 196605, else 65535.
uint32_t MaxIntervalCount(uint64_t n);

// The mean of a pair without overflow: 0 when a = -b; a + (b - a)/2 when both
// have the same sign and |a| >= DBL_MAX - |b|; else (a + b)/2.
double PairMean(double a, double b);

// Scratch blocks the order statistics and the histogram keep between calls:
// bucket and bin counters, and the candidate values of the median's buckets.
// Without blocks (or when they cannot grow) the selection works in place.
struct StatisticScratch {
    GlobalBuffer* counts = nullptr;
    GlobalBuffer* candidates = nullptr;
};

// Grows a block to at least `bytes` (it never shrinks); false above the block
// limit or when memory is short (the old block is kept).
bool GrowScratchBlock(GlobalBuffer* buffer, uint64_t bytes);

// The values of ranks k and k + 1 (0-based, k + 1 < n, or k alone when `both`
// is false) among n values whose smallest and largest are `min` and `max`. The
// values may be reordered.
void SelectRanks(double* values, uint32_t n, uint32_t k, bool both, double min, double max,
                 const StatisticScratch& scratch, double* atK, double* atNext);

// The median: the middle value, or for an even count the pair mean of the two
// middle values. The values may be reordered.
double SelectMedian(double* values, uint32_t n, double min, double max, const StatisticScratch& scratch);

// Fills every moment field of the record from n >= 1 values (NaN already left
// out): Min, Max, Range, Median, Flux, Mean, the raw moments m[2..4], the
// central moments M[2..4] (from a second pass over x - Mean), Dispersion, RMS,
// DeviationUnbiased, RVar, skewness and kurtosis with their unbiased and
// deviation variants, GaussPercent and, when the record's BackgroundValid is
// set, BkgrThreshold from Bkgr and RMSBkgr. The record must hold Npro = n and
// InvN = 1/n and have its other moment fields cleared. Overflow marks the
// affected field with kStatNotComputed and sets Status 5; values so large that
// squares or sums may lose range set Status 4.
template <class Acc>
void SampleMoments(double* values, uint32_t n, StatisticResult* record, const StatisticScratch& scratch);

// The background level and spread of n values: their mean (0 when subnormal)
// and their mean absolute deviation times `factor`; one value has spread 0, a
// pair half its difference. False (nothing set) for an infinite or undefined sum.
template <class Acc>
bool BackgroundEstimate(const double* values, uint32_t n, double factor, double* level, double* spread);

// A histogram interval width and count.
struct IntervalChoice {
    double width = 0.0;
    uint32_t count = 0;
};

// The interval count of rule `StatIntervalMethod` for N values over `range`,
// and the width that follows (IntervalWidthFromCount).
IntervalChoice HistogramIntervalCount(uint64_t n, double range, const ReductionStatValues& options);
// The count of the moment rules 6 (anti-kurtosis), 7 (kurtosis) and 8 (by the
// unbiased deviation) from a channel's record; any other rule 1.27 sqrt(N).
uint32_t MomentRuleIntervalCount(uint64_t n, int32_t rule, const StatisticResult& record);
// The width of k intervals over `range`; with StatIntervalInteger the width
// is a whole number and the count follows from it.
IntervalChoice IntervalWidthFromCount(uint32_t k, double range, const ReductionStatValues& options, uint64_t n);

// q rounded half up (truncation, plus 1 when q >= trunc(q) + 0.5), saturated.
uint32_t RoundHalfUp(double q);

// The bins of a histogram: K bins of width w centred on histMin + i w; bin i
// covers [histMin + (i - 0.5) w, histMin + (i + 0.5) w). The upper edges are
// computed once as firstEdge + (i + 1) w, firstEdge = histMin - w/2.
struct HistogramGrid {
    double histMin = 0.0;
    double width = 1.0;
    uint32_t bins = 0;
    const double* upperEdges = nullptr;  // K values
};
// Writes the K upper edges.
void HistogramUpperEdges(double histMin, double width, uint32_t bins, double* edges);

// What the histogram pass also counts.
struct HistogramTallies {
    uint64_t atLeastHalf = 0;     // values >= half
    uint64_t aboveThreshold = 0;  // values > threshold
};

// Counts n values (any order) into the grid's bins exactly as a sweep over the
// sorted values does: the first trunc((min - histMin)/w) bins stay empty, the
// first bin filled from there takes every value below its upper edge, each
// further bin the values from the previous upper edge to its own, and the last
// bin whatever is left. The counts sum to n. Also counts the values at or
// above `half` and above `threshold`.
void HistogramFill(double* bins, const double* values, uint32_t n, const HistogramGrid& grid, double min,
                   double half, double threshold, const StatisticScratch& scratch, HistogramTallies* tallies);

}  // namespace orva
