#pragma once
// What a Reduction keeps for the slices it extracts: the 1-D result's path and
// missing-sample runs with its edge flag, the strip matrix the strip sampler
// fills, and the profile scratch of the optimal extraction. The blocks belong
// to the component, only grow, and are freed with its work blocks.
#include <cstdint>

#include "common/global_buffer.h"
#include "reduction/kernels/slice_runs.h"

namespace orva {

// The edge flag of a slice whose path box is not wholly inside the frame, or
// whose profile has one point.
constexpr uint8_t kSliceAtEdge = 2;
// The output code of a slice profile.
constexpr int32_t kSliceOutputCode = 700;

struct SliceWork {
    SliceWork() = default;
    SliceWork(const SliceWork&) = delete;
    SliceWork& operator=(const SliceWork&) = delete;

    // ---- The result beside the profile values (which are the item's image:
    // C rows of L values, channel after channel).
    TypedBuffer path;  // x, y (floats) of every kept path point, in frame coordinates
    uint32_t wordsPerPoint = 2;
    MissingRunList runs;  // one record per channel row
    uint8_t edge = 0;     // 0, or kSliceAtEdge
    int64_t originX = 0;  // the frame origin of the sampled data
    int64_t originY = 0;
    bool extended = false;  // the collapse sums in extended precision

    // ---- The strip: per channel, L rows of W values (the path sample at
    // column nMinus, the positive side after it, the negative side before it),
    // channels one strip matrix after another.
    GlobalBuffer strip;
    uint32_t width = 0;     // W
    uint32_t points = 0;    // L
    uint64_t cells = 0;     // W x L
    uint32_t channels = 0;  // strip matrices held
    uint32_t nMinus = 0;

    // The profile scratch of the optimal extraction: the profile of one
    // channel (W x L) and its row scales.
    GlobalBuffer scratch;

    const double* Strip(uint32_t channel) const {
        return static_cast<const double*>(strip.block) + channel * cells;
    }
    // Frees every block and forgets the runs.
    void Release() {
        path.Free();
        runs.Release();
        strip.Free();
        scratch.Free();
        width = points = channels = nMinus = 0;
        cells = 0;
    }
};

}  // namespace orva
