// The extraction of a slice: the frame under the path is pulled, sampled on
// the path (no aperture) or across the aperture strip and collapsed by the
// method's builder, missing samples are filled by FlagBadPixInterpolate, and
// the values are scaled by the data's and SliceZeroScale's scale and zero. The
// profile becomes the item's 1-D output (code 700): C rows of L values.
#include <algorithm>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "data/kernel_util.h"
#include "framework/input_format_cache.h"
#include "reduction/kernels/region_statistic.h"
#include "reduction/kernels/sample_moments.h"
#include "reduction/kernels/slice_profile.h"
#include "reduction/kernels/slice_sampling.h"
#include "reduction/reduction_component.h"
#include "shapes/shape.h"

namespace orva {

namespace {

// Values of one pull at most (the block budget).
constexpr int64_t kSliceBlockBudget = 67108864;
// The margin added around the path's box before it is pulled.
constexpr int64_t kSliceBoxMargin = 3;

using Builder = int32_t (*)(ReductionComponent*, PullResult*);

// The box the path and its aperture band cover, in data coordinates.
struct DataBox {
    double x0, y0, x1, y1;
};

DataBox PathBox(const Shape* shape) {
    const ShapeBoxBlock& b = shape->header.box;
    DataBox box{b.x, b.y, b.x + b.w, b.y + b.h};
    // The outer box holds the aperture band when the shape has one.
    if (SliceHasAperture(shape) && b.further[0] > 0.0 && b.further[1] > 0.0) {
        box.x0 = std::min(box.x0, b.secondX);
        box.y0 = std::min(box.y0, b.secondY);
        box.x1 = std::max(box.x1, b.secondX + b.further[0]);
        box.y1 = std::max(box.y1, b.secondY + b.further[1]);
    }
    return box;
}

int64_t FloorToInt(double v) {
    return kernel::SaturateTrunc<int64_t>(std::floor(v));
}
int64_t CeilToInt(double v) {
    return kernel::SaturateTrunc<int64_t>(std::ceil(v));
}

// The pulled frame as the samplers read it; false when its layout does not fit its block.
bool DescribeHeld(ReductionComponent* c, const PullResult& held, FrameDesc* d) {
    const TypedFrameBuffer& image = held.image;
    if (image.data == nullptr || image.itemBytes == 0 || image.itemBytes % sizeof(double) != 0)
        return false;
    const uint32_t V = image.itemBytes / sizeof(double);
    const int64_t width = image.width, height = image.height;
    if (width <= 0 || height <= 0 ||
        image.rowBytes != static_cast<uint64_t>(width) * image.itemBytes)
        return false;
    uint32_t planes = V;
    bool planar = false;
    if (V == 1 && (c->format.format & kFormatRowPerChannel) != 0 && c->InputChannelCount() > 1) {
        planes = c->InputChannelCount();
        planar = true;
    }
    const uint64_t values =
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * (planar ? planes : V);
    if (values * sizeof(double) > image.size) return false;
    *d = FrameDesc{};
    d->valid = 1;
    d->values = static_cast<const double*>(image.data);
    d->samplesPerPixel = V;
    d->width = width;
    d->height = height;
    d->planar = planar ? 1 : 0;
    d->originX = held.window.x;
    d->originY = held.window.y;
    d->channels = planes;
    d->scale = image.scale;
    d->zero = image.zero;
    return true;
}

constexpr double kDblMin = 2.2250738585072014e-308;

// A scaled value as stored: subnormal results become 0, infinite or undefined
// ones the largest double with their sign.
inline double StoredValue(double v, bool* clamped) {
    if (std::isfinite(v)) {
        if (v != 0.0 && std::fabs(v) < kDblMin) {
            *clamped = true;
            return 0.0;
        }
        return v;
    }
    *clamped = true;
    return std::signbit(v) ? -DBL_MAX : DBL_MAX;
}

// The data scale and SliceZeroScale applied to the C L values.
void ScaleProfile(ReductionComponent* c, Shape* shape, double* values, uint64_t count,
                  double* dataScale) {
    const ReductionSliceValues& o = c->Options().values.slice;
    const int32_t b = shape->header.scaleExponent;
    const double f = b == 0 ? 1.0 : std::ldexp(1.0, -b);
    double scale = f * *dataScale;
    if (std::fabs(scale) <= kDblMin)
        scale = 0.0;
    else if (std::fabs(scale - 1.0) < DBL_EPSILON)
        scale = 1.0;
    *dataScale = scale;
    const double s = f * o.scale, z = o.zero;
    const bool unit = std::fabs(s - 1.0) < DBL_EPSILON;
    bool clamped = false;
    if (!(z != 0.0 || s != 0.0) || (z == 0.0 && unit)) {
        // Unscaled values are never stored as infinities either (a sum that overflowed).
        for (uint64_t i = 0; i < count; ++i)
            if (!std::isfinite(values[i])) values[i] = StoredValue(values[i], &clamped);
    } else if (z == 0.0) {
        for (uint64_t i = 0; i < count; ++i) values[i] = StoredValue(s * values[i], &clamped);
    } else if (unit) {
        for (uint64_t i = 0; i < count; ++i) values[i] = StoredValue(values[i] + z, &clamped);
    } else {
        for (uint64_t i = 0; i < count; ++i) values[i] = StoredValue(s * values[i] + z, &clamped);
    }
    if (clamped) std::feclearexcept(FE_ALL_EXCEPT);
}

// The item's output emptied: nothing produced.
int32_t Nothing(PullResult* item) {
    item->image.DropFrame();
    item->status = 0;
    return 1;
}

int32_t Extract(ReductionComponent* c, Shape* shape, PullResult* item, const FrameDesc* frame,
                PullRequest* request, Builder builder) {
    if (c == nullptr || shape == nullptr || item == nullptr || frame == nullptr) return 1;
    SliceWork& slice = c->slice;
    const uint32_t pathPoints = shape->derived.samples.Count();
    if (pathPoints == 0 || shape->header.anchors.Count() == 0) return 1;

    // 1, 2: the path's box against the frame, and the edge flag.
    const int64_t fw = frame->width, fh = frame->height;
    if (fw <= 0 || fh <= 0) return 1;
    const DataBox box = PathBox(shape);
    if (box.x0 >= fw || box.y0 >= fh || box.x1 <= 0 || box.y1 <= 0) return Nothing(item);
    const bool inside = box.x0 >= 0 && box.y0 >= 0 && box.x1 < fw && box.y1 < fh;
    if (pathPoints == 1 && !inside) return Nothing(item);
    slice.edge = inside ? 0 : kSliceAtEdge;

    // 3, 4: the box widened by the margin, clipped to the frame, pulled or served by the held
    // frame.
    BlockBox pull;
    const int64_t x0 = FloorToInt(box.x0) - kSliceBoxMargin,
                  y0 = FloorToInt(box.y0) - kSliceBoxMargin;
    const int64_t x1 = CeilToInt(box.x1) + kSliceBoxMargin,
                  y1 = CeilToInt(box.y1) + kSliceBoxMargin;
    pull.x = x0;
    pull.y = y0;
    pull.width = static_cast<int32_t>(std::min<int64_t>(x1 - x0, INT32_MAX));
    pull.height = static_cast<int32_t>(std::min<int64_t>(y1 - y0, INT32_MAX));
    if (!ClipBoxToFrame(fw, fh, &pull)) return Nothing(item);
    ReadWindow want;
    want.frame = frame->requestFrame;
    want.section = -1;
    BlockIteratorInit(&want, pull);
    BlockFitBudget(&want, kSliceBlockBudget);
    const int32_t pulled = PullHeldFrame(c, want, request);
    if (pulled < 2) return pulled;
    FrameDesc held;
    if (!DescribeHeld(c, c->heldFrame, &held)) return Nothing(item);

    // 5, 6: the output code, the path buffer.
    if (!GrowScratchBlock(&slice.path, uint64_t{pathPoints} * 2 * sizeof(float))) {
        item->image.Reset();
        item->pending = 0;
        return -4;
    }
    slice.wordsPerPoint = 2;
    slice.extended = c->Options().values.extendedPrecision != 0 ||
                     (request != nullptr && request->workMode != 0);

    // 8: sampling, and the strip's collapse.
    uint32_t L = 0;
    if (!SliceHasAperture(shape)) {
        if (c->samplers.line != nullptr && c->samplers.line(c, &held, shape, item, &slice.path))
            L = item->image.width;
    } else if (c->samplers.strip != nullptr &&
               c->samplers.strip(c, &held, shape, &slice.path) >= 3) {
        if (builder(c, item) >= 3) L = slice.points;
    }
    // 9: nothing sampled.
    if (L == 0) {
        slice.runs.Empty();
        return Nothing(item);
    }
    const uint32_t C = item->image.elementsPerItem;
    auto* values = static_cast<double*>(item->image.data);

    // 10: missing samples filled.
    if (slice.runs.HasRuns()) {
        const ReductionSliceValues& o = c->Options().values.slice;
        if (o.flagBadPixInterpolate == 0)
            FillMissingConstant(slice.runs, values, L, C, o.fillValue);
        else if (o.flagBadPixInterpolate == 1)
            FillMissingNeighbour(slice.runs, values, L, C, o.fillValue);
        else
            FillMissingLinear(slice.runs, values, L, C, o.maxBadPixInterpolate, o.fillValue);
    }

    // 11: scale and zero.
    double dataScale = held.scale;
    ScaleProfile(c, shape, values, uint64_t{C} * L, &dataScale);
    item->image.scale = dataScale;
    item->image.zero = held.zero;

    // 12: the output described as one row of L values per channel.
    if (L == 1) slice.edge = kSliceAtEdge;
    item->status = kSliceOutputCode;
    if (L != c->outputLength) item->image.flags |= kOutputLengthChanged;
    if (C != c->outputRows) item->image.flags |= kOutputRowsChanged;
    c->outputLength = L;
    c->outputRows = C;
    return 5;
}

}  // namespace

int32_t ExtractSimple(ReductionComponent* c, Shape* s, PullResult* item, const FrameDesc* f,
                      PullRequest* r) {
    return Extract(c, s, item, f, r, &BuildCrossProfile);
}
int32_t ExtractWeighted(ReductionComponent* c, Shape* s, PullResult* item, const FrameDesc* f,
                        PullRequest* r) {
    return Extract(c, s, item, f, r, &BuildCrossProfileWeighted);
}
int32_t ExtractOptimal(ReductionComponent* c, Shape* s, PullResult* item, const FrameDesc* f,
                       PullRequest* r) {
    return Extract(c, s, item, f, r, &BuildCrossProfileOptimal);
}

}  // namespace orva
