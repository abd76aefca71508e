#pragma once
// The region statistic: for the data under a statistic shape's mask, per
// channel, the count, extremes, moments, median, histogram and mode, the
// background from the ring around the shape, a threshold, the FWHM and the
// centroid with its spreads; the histogram (or its running sum) becomes the
// item's 1-D output and the centre, half FWHM and threshold radius are left on
// the shape.
//
// The kernel (RegionStatistic, declared with the other kernels in
// reduction/reduction_kernels.h) runs under the lock of the shape's container.
// It pulls the box that the mask and its background ring cover, clipped to the
// frame, and reuses that frame while a later request fits inside it.
#include <cstdint>

#include "framework/component.h"

namespace orva {

class ReductionComponent;

// The result codes of the 1-D output: the histogram and the cumulative distribution.
constexpr int32_t kStatisticOutputHistogram = 701;
constexpr int32_t kStatisticOutputDistribution = 702;

// The flags of the 1-D output raised when its length or its row count changed.
constexpr uint32_t kOutputLengthChanged = 0x20;
constexpr uint32_t kOutputRowsChanged = 0x40;

// The most values one statistic gathers by default (a block of 0x20000000
// bytes holds as many doubles).
constexpr uint64_t kStatisticValueLimit = 67108864;

// Intersects [x, x + width) x [y, y + height) with the frame [0, frameWidth) x
// [0, frameHeight); false (box untouched) when they do not meet.
bool ClipBoxToFrame(int64_t frameWidth, int64_t frameHeight, BlockBox* box);

// Makes the component's held frame hold the window `want` (frame and box): the
// frame held already serves when the request does not ask for fresh data, the
// window names the held frame and its box lies inside the held one; else the
// upstream is pulled. The pull code (2 when the held frame serves).
int32_t PullHeldFrame(ReductionComponent* component, const ReadWindow& want, PullRequest* request);

}  // namespace orva
