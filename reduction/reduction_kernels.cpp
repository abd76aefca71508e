#include "reduction/reduction_kernels.h"

#include "reduction/kernels/slice_sampling.h"

namespace orva {

SamplerPair ReductionSamplers(SamplerLayout layout) { return SliceSamplerPair(layout); }

int32_t ExtractNothing(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*) { return 1; }
int32_t StatisticNothing(ReductionComponent*, const StatisticMask&, PullResult*, const FrameDesc*, PullRequest*) {
    return 1;
}
int32_t SmoothingStub(ReductionComponent*, const double*, double*, double*) { return 0; }
int32_t WeightingStub(const StripParams&, const double*, const double*, double*, MissingRunRecord*) { return 0; }

// The method chosen when weights are asked for but cannot be had: the item
// reports success and produces no profile.
int32_t ExtractNone(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*) { return 1; }

// The slice methods live in kernels/slice_extraction.cpp, the region
// statistic in kernels/region_statistic.cpp.

}  // namespace orva
