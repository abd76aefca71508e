#pragma once
// The statistic block of a Reduction: a header with the measured box and the
// histogram fields, followed by one result record per channel. It lives in one
// global-memory block that the component keeps and reuses; the statistic
// tables, the report and the charts read it.
#include <cstdint>

namespace orva {

constexpr uint32_t kStatisticBlockTag = 651;

struct StatisticResult {
    uint32_t npro = 0;               // values measured
    double invN = 0.0;
    uint32_t status = 0;             // 0 normal, 4 values near the range limit, 5 a moment overflowed
    double range = 0.0;
    double min = 0.0;
    double max = 0.0;
    double mode = 0.0;
    uint32_t modeBin = 0;
    double median = 0.0;
    double flux = 0.0;
    double mean = 0.0;
    double m[3] = {0.0, 0.0, 0.0};   // raw moments m[2], m[3], m[4]
    double dispersion = 0.0;
    double centralM[3] = {0.0, 0.0, 0.0};  // central moments M[2], M[3], M[4]
    double rms = 0.0;
    double deviationUnbiased = 0.0;
    double rVar = 0.0;
    double skewness = 0.0;
    double skewnessDeviation = 0.0;
    double skewnessUnbiased = 0.0;
    double skewnessDeviationUnbiased = 0.0;
    double kurtosis = 0.0;
    double kurtosisDeviation = 0.0;
    double kurtosisUnbiased = 0.0;
    double kurtosisDeviationUnbiased = 0.0;
    uint8_t backgroundValid = 0;
    uint32_t nproBkgr = 0;
    double bkgr = 0.0;
    double rmsBkgr = 0.0;
    double bkgrThreshold = 0.0;
    double xc = 0.0;
    double yc = 0.0;
    double xsig = 0.0;
    double ysig = 0.0;
    double xysig = 0.0;
    double fwhm = 0.0;
    double thresholdRadius = 0.0;
    double xasym = 0.0;
    double yasym = 0.0;
    uint32_t gaussPercent = 0;
};

struct StatisticBlock {
    uint32_t tag = kStatisticBlockTag;
    uint32_t size = 0;               // bytes of the block, header and records
    uint32_t filled = 0;             // records that hold results
    int64_t boxX = 0;
    int64_t boxY = 0;
    int32_t boxW = 0;
    int32_t boxH = 0;
    uint32_t samplesPerPixel = 0;
    uint32_t channels = 0;           // records that follow
    uint32_t selectedChannel = 0;    // 1-based
    int32_t frame = -1;              // the frame measured (0-based, as pulled); -1 unknown
    double range = 0.0;
    double histMin = 0.0;
    double histMax = 0.0;
    double histWidth = 0.0;          // the width the histogram was filled with
    double firstEdge = 0.0;
    uint32_t binCount = 0;
    double intervalWidth = 0.0;      // the width the interval rules chose

    StatisticResult* Results() { return reinterpret_cast<StatisticResult*>(this + 1); }
    const StatisticResult* Results() const { return reinterpret_cast<const StatisticResult*>(this + 1); }
};

// Bytes of a block with room for `channels` records.
constexpr uint64_t StatisticBlockBytes(uint32_t channels) {
    return sizeof(StatisticBlock) + static_cast<uint64_t>(channels) * sizeof(StatisticResult);
}

// What a slice hands along with its profile: one frame of samples along the path,
// counted from its first kept point, one sample a step. It lets a chart label its
// x axis from the first drawing, as a statistic's histogram does.
constexpr uint32_t kSliceFrameListTag = 652;
struct SliceFrameList {
    uint32_t tag = kSliceFrameListTag;
    uint32_t samples = 0;  // samples of the profile (0: none)
};

}  // namespace orva
