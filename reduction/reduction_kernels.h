#pragma once
// The kernels a Reduction chooses from its options and its input format: the
// extraction method of a slice, the path-sampling pair, the smoothing and
// weighting of the cross profile, and the region statistic. The component
// holds one of each in its kernel slots and runs them under the lock of the
// measured shape's container.
#include <cstdint>

#include "framework/component.h"
#include "reduction/kernels/slice_profile.h"
#include "reduction/slice_smooth.h"
#include "shapes/geometry/region.h"

namespace orva {

class ReductionComponent;
class Shape;

// The description of one frame and channel as a pull delivers it: what the
// kernels read of the frame; they never write the values.
struct FrameDesc {
    int32_t requestFrame = -1;      // below 0: any
    int32_t requestSection = -1;
    uint8_t valid = 0;
    int32_t frame = -1;             // the frame held
    int32_t section = -1;
    const double* values = nullptr; // 64-bit reals, as negotiated; may be null (the kernels pull)
    uint32_t samplesPerPixel = 1;
    int64_t width = 0;              // pixels
    int64_t height = 0;
    uint8_t planar = 0;             // channels stored plane after plane
    uint8_t hasMissing = 0;         // the values hold the missing mark
    int64_t originX = 0;            // the frame's origin in data coordinates
    int64_t originY = 0;
    uint32_t channels = 0;
    double scale = 1.0;
    double zero = 0.0;
};

// The masks a statistic measures: the object region and the background region
// (null or empty: none) in one pixel frame whose (0, 0) lies at (originX,
// originY) in data coordinates, and the shape that receives the statistic
// marks. A single shape hands its own regions; a combined item the unions of
// its members'.
struct StatisticMask {
    const Region* object = nullptr;
    const Region* background = nullptr;
    int32_t originX = 0;
    int32_t originY = 0;
    Shape* markShape = nullptr;
};

// Kernel results are pull codes: 1 nothing produced, 2 and above data (5 the
// item's output), a code below 2 from upstream passed on, -1 an allocation
// failed, -4 a work buffer could not be prepared.
using StatisticKernel = int32_t (*)(ReductionComponent* component, const StatisticMask& mask, PullResult* item,
                                    const FrameDesc* frame, PullRequest* request);
using ExtractionKernel = int32_t (*)(ReductionComponent* component, Shape* shape, PullResult* item,
                                     const FrameDesc* frame, PullRequest* request);
// The smoothing of one channel's strip rows into its cross profile and row
// scales (see reduction/slice_smooth.h): 3 a profile was built, 0 none. The
// weighting of the strip rows against that profile (reduction/kernels/slice_profile.h).
using SmoothingKernel = int32_t (*)(ReductionComponent* component, const double* samples, double* profile,
                                    double* scales);
using WeightingKernel = int32_t (*)(const StripParams& params, const double* profile, const double* strip,
                                    double* output, MissingRunRecord* record);
// The path samplers: one value per path point, and a strip across the path.
using LineSampler = bool (*)(ReductionComponent* component, const FrameDesc* frame, Shape* shape, PullResult* item,
                             TypedBuffer* path);
using StripSampler = int32_t (*)(ReductionComponent* component, const FrameDesc* frame, Shape* shape,
                                 TypedBuffer* path);

// The channel layouts that have a sampler pair of their own.
enum class SamplerLayout : int32_t {
    kUnset = 0,
    kSingle,                // one channel
    kThreePlanar,           // all of three channels
    kThreeInterleaved,
    kManyPlanar,            // all of any other number of channels
    kManyInterleaved,
    kSelectedPlanar,        // the selected channel of several
    kSelectedInterleaved,
};
constexpr int32_t kSamplerLayoutCount = 8;

struct SamplerPair {
    LineSampler line = nullptr;
    StripSampler strip = nullptr;
};
// The samplers of each layout.
SamplerPair ReductionSamplers(SamplerLayout layout);

// The kernels the selection chooses between.
int32_t ExtractNone(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*);
int32_t ExtractSimple(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*);
int32_t ExtractWeighted(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*);
int32_t ExtractOptimal(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*);
int32_t RegionStatistic(ReductionComponent*, const StatisticMask&, PullResult*, const FrameDesc*, PullRequest*);

// What a component holds before a selection and after a refused negotiation:
// extraction and statistic kernels that do nothing and report success (1),
// and smoothing and weighting stubs that answer 0.
int32_t ExtractNothing(ReductionComponent*, Shape*, PullResult*, const FrameDesc*, PullRequest*);
int32_t StatisticNothing(ReductionComponent*, const StatisticMask&, PullResult*, const FrameDesc*, PullRequest*);
int32_t SmoothingStub(ReductionComponent*, const double*, double*, double*);
int32_t WeightingStub(const StripParams&, const double*, const double*, double*, MissingRunRecord*);

}  // namespace orva
