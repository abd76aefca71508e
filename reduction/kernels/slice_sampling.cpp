#include "reduction/kernels/slice_sampling.h"

#include <algorithm>
#include <cmath>

#include "data/kernel_util.h"
#include "reduction/kernels/sample_moments.h"
#include "reduction/reduction_component.h"
#include "shapes/shape.h"

namespace orva {

namespace {

// One pixel coordinate from a shifted float coordinate: its floor, 0 for a
// coordinate that is not finite; coordinates beyond any frame saturate.
inline int64_t PixelOf(float v) {
    if (std::fabs(v) < 1e18f) return static_cast<int64_t>(std::floor(v));
    if (!std::isfinite(v)) return 0;
    return v < 0.0f ? INT64_MIN / 2 : INT64_MAX / 2;
}

// Pixels of one strip row computed before their values are read.
constexpr uint32_t kSampleIndexChunk = 2048;

// How a sampler reads the pulled frame: value of channel c at pixel p is
// values[c * planeStride + p * pixelStride].
struct FrameReader {
    const double* values = nullptr;
    int64_t width = 0;
    int64_t height = 0;
    int64_t pixelStride = 1;
    int64_t planeStride = 0;

    bool Inside(int64_t col, int64_t row) const {
        return col >= 0 && col < width && row >= 0 && row < height;
    }
    // The value, or the missing mark for a value that is not a number.
    double At(int64_t pixel, int64_t plane) const {
        const double v = values[plane * planeStride + pixel * pixelStride];
        return v == v ? v : kMissingSample;
    }
};

// The path, its shift to the frame and the kept stretch of it.
struct PathView {
    const float* xy = nullptr;
    uint32_t count = 0;
    float ox = 0.0f;
    float oy = 0.0f;
    uint32_t first = 0;  // kept points [first, last)
    uint32_t last = 0;

    float X(uint32_t i) const { return xy[2 * i] + ox; }
    float Y(uint32_t i) const { return xy[2 * i + 1] + oy; }
};

// The channels a layout reads: `count` planes from `firstPlane`.
struct ChannelSet {
    int64_t firstPlane = 0;
    uint32_t count = 1;
};

bool PrepareView(const FrameDesc* frame, Shape* shape, FrameReader* reader, PathView* path) {
    if (frame == nullptr || frame->values == nullptr || shape == nullptr || frame->width <= 0 ||
        frame->height <= 0)
        return false;
    const AnchorBuffer& samples = shape->derived.samples;
    const AnchorBuffer& anchors = shape->header.anchors;
    if (samples.Count() == 0 || anchors.Count() == 0 || samples.data == nullptr) return false;
    reader->values = frame->values;
    reader->width = frame->width;
    reader->height = frame->height;
    const uint32_t C = std::max<uint32_t>(frame->channels, 1);
    if (frame->planar != 0 && C > 1) {
        reader->pixelStride = 1;
        reader->planeStride = frame->width * frame->height;
    } else {
        reader->pixelStride = std::max<uint32_t>(frame->samplesPerPixel, 1);
        reader->planeStride = 1;
    }
    path->xy = samples.Points();
    path->count = samples.Count();
    path->ox =
        static_cast<float>(static_cast<double>(anchors.X(0)) - static_cast<double>(frame->originX));
    path->oy =
        static_cast<float>(static_cast<double>(anchors.Y(0)) - static_cast<double>(frame->originY));
    return true;
}

bool PointInside(const FrameReader& r, const PathView& p, uint32_t i) {
    return r.Inside(PixelOf(p.X(i)), PixelOf(p.Y(i)));
}

// Drops the points outside the frame at both ends; false when none is inside.
bool KeepInside(const FrameReader& r, PathView* p) {
    uint32_t last = p->count;
    while (last > 0 && !PointInside(r, *p, last - 1)) --last;
    if (last == 0) return false;
    uint32_t first = 0;
    while (!PointInside(r, *p, first)) ++first;
    p->first = first;
    p->last = last;
    return true;
}

// Room for the kept points' positions; the positions written.
bool WritePath(const PathView& p, TypedBuffer* buffer) {
    const uint64_t L = p.last - p.first;
    if (!GrowScratchBlock(buffer, L * 2 * sizeof(float))) return false;
    buffer->data = buffer->block;
    buffer->rowsUsed = static_cast<uint32_t>(L);
    auto* out = static_cast<float*>(buffer->data);
    for (uint32_t i = p.first; i < p.last; ++i) {
        *out++ = p.X(i);
        *out++ = p.Y(i);
    }
    return true;
}

ChannelSet ChannelsOf(ReductionComponent* c, const FrameDesc* frame, bool all) {
    const uint32_t C = std::max<uint32_t>(frame->channels, 1);
    if (all) return ChannelSet{0, C};
    return ChannelSet{std::min<int64_t>(c->PlaneIndex(), C - 1), 1};
}

// Line sampler: one value per kept point and channel, channel c of point i at c L + i.
bool SampleLine(ReductionComponent* c, const FrameDesc* frame, Shape* shape, PullResult* item,
                TypedBuffer* path, bool all) {
    SliceWork& slice = c->slice;
    slice.runs.Empty();
    FrameReader reader;
    PathView p;
    if (item == nullptr || path == nullptr || !PrepareView(frame, shape, &reader, &p)) return false;
    if (!KeepInside(reader, &p)) return false;
    const ChannelSet channels = ChannelsOf(c, frame, all);
    const uint32_t L = p.last - p.first;
    TypedFrameBuffer& out = item->image;
    out.SetTypeAndCount(static_cast<int32_t>(kReductionOutputFormat), channels.count);
    if (!out.AllocImageBuffer(L, 1)) return false;
    if (!WritePath(p, path)) return false;
    auto* values = static_cast<double*>(out.data);
    bool missing = false;
    for (uint32_t i = 0; i < L; ++i) {
        const int64_t col = PixelOf(p.X(p.first + i)), row = PixelOf(p.Y(p.first + i));
        if (!reader.Inside(col, row)) {
            for (uint32_t k = 0; k < channels.count; ++k)
                values[uint64_t{k} * L + i] = kMissingSample;
            missing = true;
            continue;
        }
        const int64_t pixel = row * reader.width + col;
        for (uint32_t k = 0; k < channels.count; ++k) {
            const double v = reader.At(pixel, channels.firstPlane + k);
            values[uint64_t{k} * L + i] = v;
            missing = missing || v == kMissingSample;
        }
    }
    if (missing) {
        bool allMissing = false;
        if (!BuildMissingRuns(&slice.runs, values, L, channels.count, &allMissing)) return false;
        if (allMissing) {
            slice.runs.Empty();
            return false;
        }
    }
    slice.originX = frame->originX;
    slice.originY = frame->originY;
    return true;
}

// The step across the path at each kept point: one vector for the whole path,
// or with normals per anchor the normal of the anchor segment the point lies on.
class CrossSteps {
public:
    explicit CrossSteps(const Shape* shape) {
        const EditTransformState& o = shape->header.offset;
        dx_ = o.vector[0];
        dy_ = o.vector[1];
        const AnchorBuffer& n = shape->derived.normals;
        const AnchorBuffer& a = shape->header.anchors;
        if (o.direction == kOffsetNrml && n.Count() >= 2 && a.Count() >= 2 && n.data != nullptr) {
            normals_ = &n;
            anchors_ = &a;
            segments_ = std::min(n.Count(), a.Count()) - 1;
        }
    }
    // The step at sample (x, y) relative to the first anchor; samples come in path order.
    void At(float x, float y, float* dx, float* dy) {
        if (normals_ == nullptr) {
            *dx = dx_;
            *dy = dy_;
            return;
        }
        while (segment_ + 1 < segments_ && Distance(segment_ + 1, x, y) < Distance(segment_, x, y))
            ++segment_;
        *dx = normals_->X(segment_);
        *dy = normals_->Y(segment_);
    }

private:
    // Squared distance from (x, y) (relative to the first anchor) to segment s.
    double Distance(uint32_t s, float x, float y) const {
        const double x0 = anchors_->X(0), y0 = anchors_->Y(0);
        const double ax = anchors_->X(s) - x0, ay = anchors_->Y(s) - y0;
        const double bx = anchors_->X(s + 1) - x0, by = anchors_->Y(s + 1) - y0;
        const double ux = bx - ax, uy = by - ay, len2 = ux * ux + uy * uy;
        double t = len2 > 0.0 ? ((x - ax) * ux + (y - ay) * uy) / len2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        const double ex = ax + t * ux - x, ey = ay + t * uy - y;
        return ex * ex + ey * ey;
    }

    float dx_ = 0.0f, dy_ = 0.0f;
    const AnchorBuffer* normals_ = nullptr;
    const AnchorBuffer* anchors_ = nullptr;
    uint32_t segments_ = 0;
    uint32_t segment_ = 0;
};

// Strip sampler: per channel L rows of W = n- + n+ values.
int32_t SampleStrip(ReductionComponent* c, const FrameDesc* frame, Shape* shape, TypedBuffer* path,
                    bool all) {
    SliceWork& slice = c->slice;
    FrameReader reader;
    PathView p;
    if (path == nullptr || !PrepareView(frame, shape, &reader, &p)) return 1;
    if (!KeepInside(reader, &p)) return 1;
    const ChannelSet channels = ChannelsOf(c, frame, all);
    const EditTransformState& o = shape->header.offset;
    const uint32_t nPlus = std::max<uint32_t>(o.Positive(), 1), nMinus = o.Negative();
    if (uint64_t{nPlus} + nMinus > 0x10000000u) return -4;
    const uint32_t W = nPlus + nMinus, L = p.last - p.first;
    const uint64_t cells = uint64_t{W} * L;
    const uint64_t window = c->Options().values.slice.lSmoothAverWin;
    const uint64_t need = cells * channels.count + window + 3ull * W;
    if (need > kGlobalBufferMaxBytes / sizeof(double) ||
        !GrowScratchBlock(&slice.strip, need * sizeof(double))) {
        slice.width = slice.points = slice.channels = 0;
        slice.cells = 0;
        return -4;
    }
    if (!WritePath(p, path)) return -4;
    slice.width = W;
    slice.points = L;
    slice.cells = cells;
    slice.channels = channels.count;
    slice.nMinus = nMinus;
    auto* strip = static_cast<double*>(slice.strip.block);
    // The pixels of a run of strip cells are found first, then their values are
    // read in one pass, so that the reads (mostly cache misses) overlap.
    CrossSteps steps(shape);
    int64_t index[kSampleIndexChunk];
    uint32_t i = 0, j = 0;  // the next cell: row i, column j
    float x = 0.0f, y = 0.0f, dx = 0.0f, dy = 0.0f;
    int64_t centre = -1;  // the pixel on the path, -1 outside the frame
    for (uint64_t c0 = 0; c0 < cells;) {
        uint32_t n = 0;
        while (n < kSampleIndexChunk && i < L) {
            if (j == 0) {
                const uint32_t at = p.first + i;
                x = p.X(at);
                y = p.Y(at);
                const int64_t col = PixelOf(x), row = PixelOf(y);
                centre = reader.Inside(col, row) ? row * reader.width + col : -1;
                if (centre >= 0) steps.At(p.xy[2 * at], p.xy[2 * at + 1], &dx, &dy);
            }
            const uint32_t take = std::min(W - j, kSampleIndexChunk - n);
            if (centre < 0) {
                std::fill(index + n, index + n + take, int64_t{-1});
            } else {
                for (uint32_t k = 0; k < take; ++k) {
                    const float t = static_cast<float>(static_cast<int64_t>(j + k) - nMinus);
                    const int64_t sc = PixelOf(x + t * dx), sr = PixelOf(y + t * dy);
                    index[n + k] = reader.Inside(sc, sr) ? sr * reader.width + sc : -1;
                }
                if (j <= nMinus && nMinus < j + take) index[n + nMinus - j] = centre;
            }
            n += take;
            j += take;
            if (j == W) {
                j = 0;
                ++i;
            }
        }
        for (uint32_t k = 0; k < channels.count; ++k) {
            double* r = strip + k * cells + c0;
            const double* plane = reader.values + (channels.firstPlane + k) * reader.planeStride;
            for (uint32_t m = 0; m < n; ++m) {
                const int64_t at = index[m];
                const double v = plane[std::max<int64_t>(at, 0) * reader.pixelStride];
                r[m] = at >= 0 && v == v ? v : kMissingSample;
            }
        }
        c0 += n;
    }
    slice.originX = frame->originX;
    slice.originY = frame->originY;
    return 3;
}

// The fourteen kernels: a line and a strip sampler per layout.
bool LineSelected(ReductionComponent* c, const FrameDesc* f, Shape* s, PullResult* r,
                  TypedBuffer* p) {
    return SampleLine(c, f, s, r, p, false);
}
bool LineAll(ReductionComponent* c, const FrameDesc* f, Shape* s, PullResult* r, TypedBuffer* p) {
    return SampleLine(c, f, s, r, p, true);
}
int32_t StripSelected(ReductionComponent* c, const FrameDesc* f, Shape* s, TypedBuffer* p) {
    return SampleStrip(c, f, s, p, false);
}
int32_t StripAll(ReductionComponent* c, const FrameDesc* f, Shape* s, TypedBuffer* p) {
    return SampleStrip(c, f, s, p, true);
}

}  // namespace

bool SliceHasAperture(const Shape* shape) {
    return shape != nullptr && shape->header.offset.Extent() != 0;
}

SamplerPair SliceSamplerPair(SamplerLayout layout) {
    switch (layout) {
        case SamplerLayout::kSingle:
        case SamplerLayout::kSelectedPlanar:
        case SamplerLayout::kSelectedInterleaved:
            return SamplerPair{&LineSelected, &StripSelected};
        case SamplerLayout::kThreePlanar:
        case SamplerLayout::kThreeInterleaved:
        case SamplerLayout::kManyPlanar:
        case SamplerLayout::kManyInterleaved:
            return SamplerPair{&LineAll, &StripAll};
        case SamplerLayout::kUnset:
            break;
    }
    return SamplerPair{};
}

}  // namespace orva
