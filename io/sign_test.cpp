#include "io/sign_test.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <mutex>

#include "common/sample_type.h"
#include "data/minmax.h"
#include "framework/display_lock.h"
#include "io/bit_packed.h"
#include "io/data_set.h"
#include "io/frame_access.h"
#include "io/section_stats.h"

namespace orva {

namespace {

constexpr double kHugeDeviation = 8.988465674311579e307;
constexpr double kSqrtMax = 1.3407807929942597e154;
constexpr double kSqrtMin = 1.4916681462400413e-154;
// Blocks spread along one long row at most.
constexpr uint64_t kBlocksPerRow = 4;

// The width of [mean - 2 dev, mean + 4 dev]; 0 gives 1. A range that cannot be formed
// counts as the widest.
double ReferenceWidth(const SignReading& r) {
    LinearAxis axis;
    axis.step = r.deviation;
    axis.offset = r.mean;
    LinearRange range;
    if (!LinearRangeFromIndices(&axis, &range, 2.0, 4.0)) return DBL_MAX;
    const double w = range.high - range.low;
    if (!std::isfinite(w)) return DBL_MAX;
    return w == 0.0 ? 1.0 : w;
}

double UnsignedLargest(uint32_t elementBytes) {
    switch (elementBytes) {
        case 1: return 255.0;
        case 2: return 65535.0;
        case 4: return 4294967295.0;
        default: return 1.8446744073709552e19;
    }
}

}  // namespace

SignTestSettings& TheSignTestSettings() {
    static SignTestSettings settings;
    return settings;
}

void SignReadingMoments(double sum, double sumSquares, uint32_t count, double* mean,
                        double* deviation) {
    const double n = count ? static_cast<double>(count) : 1.0;
    const double m = sum / n;
    double dev;
    if (std::fabs(m) >= kSqrtMax) {
        dev = kHugeDeviation;
    } else {
        const double square = std::fabs(m) < kSqrtMin ? 0.0 : m * m;
        double variance = sumSquares / n - square;
        if (variance < 0.0) variance = 0.0;
        dev = std::sqrt(variance);
        if (!std::isfinite(dev)) dev = kHugeDeviation;
    }
    *mean = m;
    *deviation = dev;
}

SignTestResult SignDecide(uint32_t type, uint32_t elementBytes, const SignReading& s,
                          const SignReading& u, bool useMinMax) {
    const uint32_t base = type & ~0x100u;
    const SignTestResult isUnsigned = {base | 0x100u, 0};
    SignTestResult r;
    if (s.minimum == u.minimum) return {base | 0x100u, 90};
    if (useMinMax) return {base | 0x100u, u.maximum < UnsignedLargest(elementBytes) ? 80u : 55u};
    const double A = s.maximum - s.minimum;
    const double B = u.maximum - u.minimum;
    const double C = ReferenceWidth(s);
    const double D = ReferenceWidth(u);
    const uint32_t c = C > D ? 90 : 70;
    if (elementBytes == 1) {
        const bool signedWins = B == 0.0 ? A < B : A < B / 2.0;
        if (signedWins) return {base, c};
        if (A != B) return {isUnsigned.type, A < B ? c - 20 : c};
    } else {
        if (A < B) return {base, c};
        if (A > B) return {isUnsigned.type, c};
    }
    if (A == B) {
        if (C > D) return {isUnsigned.type, 55};
        if (C < D) return {base, 55};
        return {0, 100};
    }
    return r;
}

bool SignednessTest(DataSet* d, SignTestResult* result) {
    if (d == nullptr || result == nullptr || d->stream == nullptr) return false;
    // Packed samples are unpacked with the sign their description gives: nothing to test.
    if (IsBitPacked(d->input.bits)) return false;
    const uint64_t E = d->elementBytes;
    const uint64_t B = d->StoredPixelBytes();
    if (E == 0 || B == 0) return false;
    InfoKernelChoice choice;
    if (!DConvInfoSelect(&choice, d->input.type) || choice.kernel == nullptr) return false;

    // The first section of the first frame.
    uint64_t position = 0, W = 0, H = 0;
    if (!d->frameTable) {
        if (d->sections == 0 || d->dataBegin < 0) return false;
        position = static_cast<uint64_t>(d->dataBegin);
        W = d->sizeX > 0 ? static_cast<uint64_t>(d->sizeX) : 0;
        H = d->sizeY > 0 ? static_cast<uint64_t>(d->sizeY) : 0;
    } else {
        SectionEntry* e = FrameTableSectionRecord(d->frameTable.get(), 0, 0);
        if (e == nullptr) return false;
        position = e->geometry.dataPosition;
        W = e->geometry.rowLength;
        H = e->geometry.rows;
    }
    if (W == 0 || H == 0) return false;
    const uint64_t length = d->ReadableLength() > 0 ? static_cast<uint64_t>(d->ReadableLength()) : 0;
    if (position >= length) return false;
    uint64_t rowBytes = 0;
    if (__builtin_mul_overflow(W, B, &rowBytes)) return false;
    // Rows beyond the file's end hold nothing to sample.
    H = std::min(H, (length - position) / rowBytes + 1);

    // Block size.
    uint64_t n = B <= 1 ? 4096 : std::min<uint64_t>(0x2000000 / B, 4096);
    n = std::max<uint64_t>(1, std::min(n, W));
    GlobalBuffer& staging = d->staging;
    const uint64_t need = n * B;
    if (!(staging.block != nullptr && staging.size >= need &&
          staging.size - need < kGlobalBufferReuseSlack)) {
        if (need > kGlobalBufferMaxBytes || !staging.Reserve(static_cast<uint32_t>(need))) {
            staging.Free();
            d->chunkPixels = 0;
            return false;
        }
    }
    d->chunkPixels = 0;

    DualDataInfo info;
    info.swap = ((d->input.type & 0x80) && E > 1) ? 1 : 0;
    info.signedMinimum = info.unsignedMinimum = DBL_MAX;
    info.signedMaximum = info.unsignedMaximum = -DBL_MAX;

    // Rows sampled: all of a short plane, else every (k + 1)-th.
    const uint64_t R0 = std::max<uint64_t>(1, 0x40000 / n);
    const uint64_t rowStep = H < 2 * R0 ? 1 : (H - R0) / R0 + 1;
    // Blocks per sampled row, spread evenly.
    const uint64_t blocks = W < 2 * n ? 1 : std::min(W / n, kBlocksPerRow);
    const uint64_t spacing = blocks > 1 ? (W - n) / (blocks - 1) : 0;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        bool ended = false;
        for (uint64_t y = 0; y < H && !ended; y += rowStep) {
            for (uint64_t k = 0; k < blocks && !ended; ++k) {
                const uint64_t at = position + y * rowBytes + k * spacing * B;
                const int64_t got = SectionRead(d, at, staging.block, need);
                const uint64_t pixels = got > 0 ? static_cast<uint64_t>(got) / B : 0;
                if (pixels > 0)
                    choice.kernel(staging.block, static_cast<int32_t>(pixels * (B / E)), &info);
                if (got < 0 || static_cast<uint64_t>(got) < need) ended = true;
            }
        }
    }
    if (info.count == 0) return false;

    SignReading s, u;
    s.minimum = info.signedMinimum;
    s.maximum = info.signedMaximum;
    u.minimum = info.unsignedMinimum;
    u.maximum = info.unsignedMaximum;
    SignReadingMoments(info.signedSum, info.signedSumSquares, info.count, &s.mean, &s.deviation);
    SignReadingMoments(info.unsignedSum, info.unsignedSumSquares, info.count, &u.mean,
                       &u.deviation);
    *result = SignDecide(d->input.type, static_cast<uint32_t>(E), s, u,
                         TheSignTestSettings().useMinMax);
    return true;
}

int SignednessTestHook(DataSet* d, uint32_t* favouredType) {
    SignTestResult r;
    if (!SignednessTest(d, &r) || r.type == 0) return 0;
    if (favouredType != nullptr) *favouredType = r.type;
    return static_cast<int>(r.probability);
}

}  // namespace orva
