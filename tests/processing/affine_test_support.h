#pragma once
// What the affine filter's tests share: an upstream stage serving one frame held in
// memory (64-bit or 32-bit reals, any number of interleaved channels), a Processing
// stage whose chain starts with the affine filter, and a reference of the resampling
// written out plainly in double arithmetic from the formulas: positions from each
// output pixel's centre, the background outside the frame, the bilinear edge rules,
// and the bicubic B-spline renormalised over the taps inside the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "data/affine_record.h"
#include "processing/modules/affine_kernels.h"
#include "processing/modules/affine_module.h"
#include "processing_test_support.h"

namespace orva::testing_util {

// One frame: width x height pixels of `channels` samples, row by row.
struct Frame {
    int64_t width = 0, height = 0;
    uint32_t channels = 1;
    std::vector<double> values;
    double At(int64_t x, int64_t y, uint32_t c) const {
        return values[static_cast<size_t>((y * width + x) * channels + c)];
    }
};

// A smooth surface with some texture, different in every channel.
inline Frame MakeFrame(int64_t width, int64_t height, uint32_t channels, double scale = 1.0) {
    Frame f{width, height, channels, {}};
    f.values.resize(static_cast<size_t>(width * height * channels));
    size_t k = 0;
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x)
            for (uint32_t c = 0; c < channels; ++c)
                f.values[k++] = scale * (100.0 * std::sin(0.31 * x + 0.17 * y + c) + 3.0 * x - 2.0 * y +
                                         static_cast<double>((x * 37 + y * 91 + c * 13) % 17));
    return f;
}

// Serves its frame (any frame number) clipped to the window, as `type` (0x40 or 0x10);
// the blocks carry `invalid` as their invalid-samples flag. Its frame data gives the
// frame's size.
class ArraySource : public ComponentBase {
public:
    ArraySource(ProjectItemBase* owner, Frame f, uint32_t type) : ComponentBase(owner), frame(std::move(f)), type(type) {
        process = &Produce;
        offered = FormatRequest{type, type == 0x40 ? 8u : 4u, frame.channels, 2, 0, 0};
        data.width = frame.width;
        data.height = frame.height;
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = offered;
        return link == nullptr || link->AcceptFormat(r);
    }
    void* QueryFrameDescription() override { return &description; }
    FrameDataRecord* QueryFrameData(int32_t f, int32_t s) override {
        data.frame = f;
        data.section = s;
        return &data;
    }
    static int32_t Produce(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* s = static_cast<ArraySource*>(c);
        ++s->pulls;
        const ReadWindow w = r->window;
        const Frame& f = s->frame;
        const int64_t x1 = std::min<int64_t>(w.x + w.width, f.width), y1 = std::min<int64_t>(w.y + w.height, f.height);
        if (!s->produce || w.x < 0 || w.y < 0 || x1 <= w.x || y1 <= w.y) return 0;
        TypedFrameBuffer& image = r->image;
        image.SetTypeAndCount(static_cast<int32_t>(s->type), f.channels);
        if (!image.AllocImageBuffer(static_cast<uint32_t>(x1 - w.x), static_cast<uint32_t>(y1 - w.y))) return 0;
        size_t k = 0;
        for (int64_t y = w.y; y < y1; ++y)
            for (int64_t x = w.x; x < x1; ++x)
                for (uint32_t c = 0; c < f.channels; ++c, ++k) {
                    if (s->type == 0x40) static_cast<double*>(image.data)[k] = f.At(x, y, c);
                    else static_cast<float*>(image.data)[k] = static_cast<float>(f.At(x, y, c));
                }
        image.windowX = w.x;
        image.windowY = w.y;
        image.state = s->invalid;
        r->pending = 1;
        r->deliveredFrame = static_cast<uint32_t>(w.frame);
        return 3;
    }

    Frame frame;
    uint32_t type;
    FormatRequest offered;
    FrameDataRecord data;
    int description = 0;
    uint8_t invalid = 0;
    bool produce = true;
    int pulls = 0;
};

// The geometry of a test case.
struct Geometry {
    double zoomX = 1.0, zoomY = 1.0, angle = 0.0;
    bool flipX = false, flipY = false;
    uint8_t order = 1;
};

inline AffineRecord RecordOf(const Geometry& g) {
    AffineRecord r;
    AffineRecordInit(&r);
    r.order = g.order;
    AffineRecordSetZoomX(&r, g.zoomX);
    AffineRecordSetZoomY(&r, g.zoomY);
    AffineRecordSetAngle(&r, g.angle);
    AffineRecordSetFlips(&r, g.flipX, g.flipY);
    return r;
}

// Six times the cubic B-spline in its usual symmetric pieces.
inline double Bspline6(double t) {
    const double a = std::fabs(t);
    if (a < 1.0) return 4.0 - 6.0 * a * a + 3.0 * a * a * a;
    if (a < 2.0) return (2.0 - a) * (2.0 - a) * (2.0 - a);
    return 0.0;
}

// The fast mode's weight: the table entry of floor-like index p - 0.5 rounded to even.
inline double TabulatedBspline6(double t) {
    const float p = static_cast<float>((t + 2.0) * 128.0);
    long i = std::lrint(static_cast<double>(p) - 0.5);  // p - 0.5 is exact; default rounding: ties to even
    i = std::clamp(i, 0L, 511L);
    return Bspline6(static_cast<double>(i) / 128.0 - 2.0);
}

// The reference resampling of a whole output frame: `mode` 1..4; background `outside`.
struct Reference {
    const Frame& in;
    AffineRecord r;  // fitted to the frame
    int mode;
    double outside;

    // The input position of output pixel (X, Y).
    void Position(int64_t X, int64_t Y, double* x, double* y) const {
        const double W = static_cast<double>(in.width), H = static_cast<double>(in.height);
        const double half = mode == 1 ? 0.0 : 0.5;
        if (r.rotated == 0) {
            const double tx = (static_cast<double>(X) + 0.5) * r.stepX, ty = (static_cast<double>(Y) + 0.5) * r.stepY;
            *x = (r.flipX ? W - tx : tx) - half;
            *y = (r.flipY ? H - ty : ty) - half;
            return;
        }
        const double u = static_cast<double>(X) + 0.5 - r.centreX, v = static_cast<double>(Y) + 0.5 - r.centreY;
        const double c = r.cosA, s = r.sinA;
        double dx, dy;
        if (r.order == 0) {
            dx = c * r.stepX * u - s * r.stepY * v;
            dy = s * r.stepX * u + c * r.stepY * v;
        } else {
            dx = r.stepX * (c * u - s * v);
            dy = r.stepY * (s * u + c * v);
        }
        *x = W / 2 + (r.flipX ? -dx : dx) - half;
        *y = H / 2 + (r.flipY ? -dy : dy) - half;
    }

    double Sample(int64_t X, int64_t Y, uint32_t ch) const {
        double x, y;
        Position(X, Y, &x, &y);
        const int64_t W = in.width, H = in.height;
        int64_t xi = static_cast<int64_t>(std::floor(x)), yi = static_cast<int64_t>(std::floor(y));
        const double fx = x - std::floor(x), fy = y - std::floor(y);
        if (mode == 1) return xi >= 0 && xi < W && yi >= 0 && yi < H ? in.At(xi, yi, ch) : outside;
        if (mode == 2) {
            if (xi < -1 || xi > W - 1 || yi < -1 || yi > H - 1) return outside;
            const bool edgeX = xi == -1 || xi == W - 1;
            auto line = [&](int64_t row) {
                if (edgeX) return in.At(std::max<int64_t>(xi, 0), row, ch);
                const double a = in.At(xi, row, ch), b = in.At(xi + 1, row, ch);
                return a + (b - a) * fx;
            };
            if (yi == -1 || yi == H - 1) return line(std::max<int64_t>(yi, 0));
            const double a = line(yi), b = line(yi + 1);
            return a + (b - a) * fy;
        }
        if (xi < -1 || xi >= W || yi < -1 || yi >= H) return outside;
        double gx = fx, gy = fy;
        if (xi == -1) {
            xi = 0;
            gx = x;  // the position less the index 0
        }
        if (yi == -1) {
            yi = 0;
            gy = y;
        }
        double sum = 0.0, weights = 0.0;
        for (int l = -1; l <= 2; ++l)
            for (int k = -1; k <= 2; ++k) {
                const int64_t cx = xi + k, cy = yi + l;
                if (cx < 0 || cx >= W || cy < 0 || cy >= H) continue;
                const double wx = mode == 3 ? Bspline6(k - gx) : TabulatedBspline6(k - gx);
                const double wy = mode == 3 ? Bspline6(gy - l) : TabulatedBspline6(gy - l);
                sum += wx * wy * in.At(cx, cy, ch);
                weights += wx * wy;
            }
        return weights != 0.0 ? sum / weights : sum;
    }
};

// A Processing stage with the affine filter as its chain's first instance, fed by
// an ArraySource, pulled by a consumer link.
class AffineChain {
public:
    AffineChain(Frame frame, uint32_t type) {
        host = new ProcessingComponent(&item);
        FilterChainInit(&host->chain);
        source = new ArraySource(&item, std::move(frame), type);
        EXPECT_TRUE(ConsumerAttach(&host->chain, source));
        EXPECT_TRUE(ConsumerAttach(&consumer, host));
        instance = host->chain.first;
    }
    ~AffineChain() {
        ConsumerDetach(&consumer);
        host->Release();
        source->Release();
    }
    AffineChain(const AffineChain&) = delete;
    AffineChain& operator=(const AffineChain&) = delete;

    AffineModuleState* State() const { return AffineStateOf(instance); }
    AffineRecord& Record() const { return State()->head.record; }

    // Sets the geometry and the mode (1..4: nearest unless "Filter" with the index) and
    // lets the module choose its kernel again; the held input is forgotten.
    void Configure(const Geometry& g, int mode) {
        AffineModuleState* s = State();
        s->head.record = RecordOf(g);
        s->head.flags = mode > 1 ? kAffineFilterOn : 0;
        s->filterIndex = std::max(mode - 2, 0);
        AffineNotifyChange(instance, true);
        instance->block.pending = 0;
    }
    // The output frame's size as the Processing stage describes it.
    AffineSize OutputSize() {
        FrameDataRecord* d = host->QueryFrameData(0, 0);
        return d != nullptr ? AffineSize{d->width, d->height} : AffineSize{};
    }
    // Runs a kernel directly on the instance's block for the window; its result.
    int32_t Run(FilterProcessFn kernel, int64_t x, int64_t y, int32_t width, int32_t height, PullResult* out) {
        instance->block.window.frame = 0;
        instance->block.window.section = 0;
        out->pending = 0;
        out->window = ReadWindow{};
        out->window.x = x;
        out->window.y = y;
        out->window.width = width;
        out->window.height = height;
        PullRequest request;
        return kernel(&instance->block, out, &request);
    }
    // Pulls a window through the Processing stage; the pull code.
    int32_t Pull(int64_t x, int64_t y, int32_t width, int32_t height, PullResult* out) {
        out->pending = 0;
        out->window = ReadWindow{};
        out->window.x = x;
        out->window.y = y;
        out->window.width = width;
        out->window.height = height;
        PullRequest request;
        return ComponentPull(&consumer, out, &request);
    }

    ProjectItemBase item;
    ProcessingComponent* host = nullptr;
    ArraySource* source = nullptr;
    ConsumerEnd consumer;
    FilterInstance* instance = nullptr;
};

// The samples of a pulled block as doubles.
inline std::vector<double> SamplesOf(const TypedFrameBuffer& b) {
    const size_t n = static_cast<size_t>(b.pixelCount) * b.elementsPerItem;
    std::vector<double> v(n);
    for (size_t k = 0; k < n; ++k)
        v[k] = b.elementSize == 8 ? static_cast<const double*>(b.data)[k] : static_cast<const float*>(b.data)[k];
    return v;
}

}  // namespace orva::testing_util
