#pragma once
// Collapsing a slice's strip (W values across the path at each of L path
// positions) into one value per position: the plain or flux mean, the
// inverse-variance weighted mean, or optimal extraction against a smoothed
// cross profile. Positions whose strip values are all missing become runs of
// the channel's missing-sample record and are not written.
#include <cstdint>

#include "reduction/kernels/slice_runs.h"

namespace orva {

class ReductionComponent;
struct PullResult;

// The geometry of one channel's strip and the options the kernels read.
struct StripParams {
    uint32_t width = 0;   // W
    uint32_t points = 0;  // L
    bool flux = false;    // SliceFlux: the sum over the whole width rather than the mean
    double gain = 1.0;
    double noiseSquared = 1.0;
};

// Gain and squared noise below 2 DBL_MIN count as 2 DBL_MIN.
double StripVarianceFloor(double v);

// The collapse kernels, per channel: `strip` holds L rows of W values, `out`
// receives L values (missing positions are not written), `record` the runs of
// missing positions (room for (L + 1) / 2). 3 produced, 1 every position missing.
int32_t CollapseStrip(const StripParams& p, const double* strip, double* out,
                      MissingRunRecord* record);
int32_t CollapseStripWeighted(const StripParams& p, const double* strip, double* out,
                              MissingRunRecord* record);

// The weighting kernels of the optimal extraction: `profile` holds the
// normalised cross profile in the strip's layout. 3 produced, 1 every position missing.
int32_t WeightProfileNoise(const StripParams& p, const double* profile, const double* strip,
                           double* out, MissingRunRecord* record);
int32_t WeightProfilePlain(const StripParams& p, const double* profile, const double* strip,
                           double* out, MissingRunRecord* record);

// The builders: collapse every channel of the component's strip into the
// item's image (C rows of L values) and its run list. 3 when at least one
// channel was produced, 0 when none (also when memory for the runs or the
// output is short); the optimal builder answers -4 when its scratch cannot be had.
int32_t BuildCrossProfile(ReductionComponent* component, PullResult* item);
int32_t BuildCrossProfileWeighted(ReductionComponent* component, PullResult* item);
int32_t BuildCrossProfileOptimal(ReductionComponent* component, PullResult* item);

}  // namespace orva
