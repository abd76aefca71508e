#include "reduction/reduction_kernels.h"

namespace orva {

SamplerPair& ReductionSamplers(SamplerLayout layout) {
    static SamplerPair table[kSamplerLayoutCount];
    auto i = static_cast<int32_t>(layout);
    return table[i >= 0 && i < kSamplerLayoutCount ? i : 0];
}

int32_t ExtractNothing(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*) { return 1; }
int32_t StatisticNothing(ReductionComponent*, const StatisticMask&, PullResult*, const FrameDesc*, PullRequest*) {
    return 1;
}
int32_t SmoothingStub(ReductionComponent*, const double*, double*, double*) { return 0; }
int32_t WeightingStub(void*, void*, void*) { return 0; }

// The method chosen when weights are asked for but cannot be had: the item
// reports success and produces no profile.
int32_t ExtractNone(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*) { return 1; }

// The slice kernels proper are not built yet: until they are, each produces
// nothing (1), so that an item reports no data rather than wrong data. The
// region statistic lives in kernels/region_statistic.cpp.
int32_t ExtractSimple(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*) { return 1; }
int32_t ExtractWeighted(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*) { return 1; }
int32_t ExtractOptimal(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*) { return 1; }
int32_t WeightProfileNoise(void*, void*, void*) { return 1; }
int32_t WeightProfilePlain(void*, void*, void*) { return 1; }

}  // namespace orva
