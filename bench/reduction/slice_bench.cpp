// Slices across a 4096 x 4096 frame of 64-bit reals (normal noise around 100):
// a polyline of ten anchors sampled at 3000 points, an aperture of 51 pixels
// across it laid along the normal of each anchor segment.
//
// SliceSimple: the strip sampler and the plain collapse (one mean per path
// point). The reference is the plain C++ equivalent of numpy's
//   ix = np.floor(x[:, None] + k * dx[:, None]).astype(int)   (and iy alike)
//   inside = (0 <= ix) & (ix < w) & (0 <= iy) & (iy < h)
//   v = np.where(inside, data[iy.clip(0, h - 1), ix.clip(0, w - 1)], np.nan)
//   np.nanmean(v, axis=1)
// SliceOptimal (no reference): the whole optimal extraction of that path, the
// frame already pulled: sampling, the mean-or-median smoothing with its
// spline along every column, the noise weighting and the scaling.
// SliceLarge (no reference): 20,000 samples with an aperture of 200 over three
// planar channels of a 2048 x 2048 frame, about 12 million strip values.
// Rates are strip values per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "framework/component.h"
#include "reduction/kernels/slice_profile.h"
#include "reduction/kernels/slice_sampling.h"
#include "reduction/reduction_component.h"
#include "shapes/geometry/offset_geometry.h"
#include "shapes/geometry/path_sampler.h"
#include "shapes/shape.h"

namespace {

using namespace orva;

constexpr int kFrame = 4096;

std::vector<double> NoiseFrame(int64_t values) {
    std::mt19937_64 random(4321);
    std::normal_distribution<double> noise(100.0, 10.0);
    std::vector<double> v(static_cast<size_t>(values));
    for (double& x : v) x = noise(random);
    return v;
}

// An upstream stage that serves windows of a one-channel frame held in memory.
class MemorySource : public ComponentBase {
public:
    explicit MemorySource(int64_t side)
        : ComponentBase(nullptr), side(side), values(NoiseFrame(side * side)) {
        record.width = record.height = side;
        process = &Serve;
    }
    const ComponentId* GetClassId() const override { return &kProcessingId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = FormatRequest{0x40, 8, 1, 2, 0, 0};
        return link == nullptr || link->AcceptFormat(r);
    }
    void* QueryFrameDescription() override { return &record; }
    FrameDataRecord* QueryFrameData(int32_t, int32_t) override { return &record; }
    static int32_t Serve(ComponentBase* component, PullResult* r, PullRequest*) {
        auto* s = static_cast<MemorySource*>(component);
        ReadWindow& w = r->window;
        const int64_t x0 = std::max<int64_t>(w.x, 0), y0 = std::max<int64_t>(w.y, 0);
        const int64_t x1 = std::min<int64_t>(w.x + w.width, s->side),
                      y1 = std::min<int64_t>(w.y + w.height, s->side);
        if (x0 >= x1 || y0 >= y1) return 1;
        w.x = x0, w.y = y0, w.width = static_cast<int32_t>(x1 - x0),
        w.height = static_cast<int32_t>(y1 - y0);
        if (w.frame < 0) w.frame = 0;
        r->image.SetTypeAndCount(0x40, 1);
        if (!r->image.AllocImageBuffer(static_cast<uint32_t>(w.width),
                                       static_cast<uint32_t>(w.height)))
            return -1;
        for (int64_t y = y0; y < y1; ++y)
            std::memcpy(static_cast<double*>(r->image.data) + (y - y0) * w.width,
                        s->values.data() + y * s->side + x0,
                        static_cast<size_t>(w.width) * sizeof(double));
        r->pending = 1;
        return 3;
    }
    int64_t side;
    std::vector<double> values;
    FrameDataRecord record;
};

// A slice polyline of ten anchors zig-zagging across a frame of `side`,
// sampled at `points` points, with an aperture of `width` along the anchor
// normals; its box includes the aperture band.
Shape* SlicePolyline(int side, uint32_t points, uint32_t width) {
    Shape* s = CreateShape(kKindPolyLine);
    s->AddRef();
    s->header.role = kRoleSlice;
    std::vector<float> xy;
    for (int i = 0; i < 10; ++i) {
        xy.push_back(static_cast<float>(0.05 * side + 0.9 * side * i / 9.0));
        xy.push_back(static_cast<float>(i % 2 == 0 ? 0.2 * side : 0.8 * side));
    }
    s->header.anchors.SetPoints(xy.data(), 10);
    OpenOutline outline;
    PolylineOutline(&outline, s->header.anchors);
    double length = 0.0;
    for (uint32_t i = 0; i + 1 < 10; ++i)
        length += std::hypot(xy[2 * i + 2] - xy[2 * i], xy[2 * i + 3] - xy[2 * i + 1]);
    s->header.scale = static_cast<float>(length / (points - 1) * (1 - 1e-6));
    PathSampler(&s->derived.samples, outline.points, s->header);
    s->derived.samples.rowsUsed = std::min(s->derived.samples.rowsUsed, points);
    s->header.scale = 1.0f;  // one pixel across the path
    AnchorNormals(&s->derived.normals, s->header);
    EditTransformState& o = s->header.offset;
    o.aperture[0] = static_cast<int32_t>(width - 1);
    o.SetSides(width / 2 + 1, width - (width / 2 + 1));
    o.direction = kOffsetNrml;
    ShapeBoxBlock& b = s->header.box;
    b.x = 0.05 * side;
    b.y = 0.2 * side;
    b.w = 0.9 * side;
    b.h = 0.6 * side;
    b.secondX = b.x - width;
    b.secondY = b.y - width;
    b.further[0] = b.w + 2.0 * width;
    b.further[1] = b.h + 2.0 * width;
    return s;
}

// A Reduction behind the memory source, its kernels selected for one channel.
struct Bench {
    Bench() : source(new MemorySource(kFrame)), shape(SlicePolyline(kFrame, 3000, 51)) {
        reduction = ReductionComponent::Create();
        ConsumerAttach(&reduction->input, source);
        reduction->SelectKernels();
        frame.requestFrame = 0;
        frame.width = frame.height = kFrame;
        frame.channels = frame.samplesPerPixel = 1;
        whole.values = source->values.data();
        whole.width = whole.height = kFrame;
        whole.channels = whole.samplesPerPixel = 1;
    }
    ~Bench() {
        ConsumerDetach(&reduction->input);
        reduction->Release();
        source->Release();
        shape->Release();
    }
    MemorySource* source;
    Shape* shape;
    ReductionComponent* reduction;
    FrameDesc frame;  // what the runner hands the extraction
    FrameDesc whole;  // the frame as the samplers read it
    PullResult item;
    PullRequest request;  // readAgain 0: the held frame serves once pulled
};

Bench& Single() {
    static Bench bench;
    return bench;
}

void BM_SliceSimple_ours(benchmark::State& state) {
    Bench& b = Single();
    ReductionComponent* c = b.reduction;
    const StripSampler strip = SliceSamplerPair(SamplerLayout::kSingle).strip;
    std::vector<double> out(3000);
    std::vector<MissingRun> runs(1501);
    MissingRunRecord record{0, runs.data()};
    if (strip(c, &b.whole, b.shape, &c->slice.path) != 3 || c->slice.points != 3000)
        state.SkipWithError("no strip");
    for (auto _ : state) {
        strip(c, &b.whole, b.shape, &c->slice.path);
        const StripParams p{c->slice.width, c->slice.points, false, 1.0, 1.0};
        benchmark::DoNotOptimize(CollapseStrip(p, c->slice.Strip(0), out.data(), &record));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c->slice.cells));
}
BENCHMARK(BM_SliceSimple_ours)->Unit(benchmark::kMillisecond);

void BM_SliceSimple_ref(benchmark::State& state) {
    Bench& b = Single();
    const Shape* s = b.shape;
    const uint32_t L = s->derived.samples.Count(), W = 51;
    const int nMinus = static_cast<int>(s->header.offset.Negative());
    // The path points and the step across at each, in frame coordinates.
    std::vector<double> x(L), y(L), dx(L), dy(L);
    const AnchorBuffer& a = s->header.anchors;
    uint32_t segment = 0;
    for (uint32_t i = 0; i < L; ++i) {
        x[i] = s->derived.samples.X(i) + a.X(0);
        y[i] = s->derived.samples.Y(i) + a.Y(0);
        while (segment + 2 < a.Count() && x[i] > a.X(segment + 1)) ++segment;
        dx[i] = s->derived.normals.X(segment);
        dy[i] = s->derived.normals.Y(segment);
    }
    const double* data = b.source->values.data();
    std::vector<int64_t> ix(uint64_t{L} * W), iy(ix.size());
    std::vector<double> v(ix.size()), out(L);
    for (auto _ : state) {
        for (uint32_t i = 0; i < L; ++i)
            for (uint32_t k = 0; k < W; ++k) {
                const double t = static_cast<double>(static_cast<int>(k) - nMinus);
                ix[uint64_t{i} * W + k] = static_cast<int64_t>(std::floor(x[i] + t * dx[i]));
                iy[uint64_t{i} * W + k] = static_cast<int64_t>(std::floor(y[i] + t * dy[i]));
            }
        for (size_t j = 0; j < ix.size(); ++j) {
            const bool inside = ix[j] >= 0 && ix[j] < kFrame && iy[j] >= 0 && iy[j] < kFrame;
            const int64_t cx = std::clamp<int64_t>(ix[j], 0, kFrame - 1),
                          cy = std::clamp<int64_t>(iy[j], 0, kFrame - 1);
            v[j] = inside ? data[cy * kFrame + cx] : NAN;
        }
        for (uint32_t i = 0; i < L; ++i) {
            double sum = 0.0;
            int n = 0;
            for (uint32_t k = 0; k < W; ++k) {
                const double e = v[uint64_t{i} * W + k];
                if (e == e) {
                    sum += e;
                    ++n;
                }
            }
            out[i] = n != 0 ? sum / n : NAN;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * ix.size()));
}
BENCHMARK(BM_SliceSimple_ref)->Unit(benchmark::kMillisecond);

void BM_SliceOptimal_ours(benchmark::State& state) {
    Bench& b = Single();
    ReductionComponent* c = b.reduction;
    ReductionSliceValues& o = c->Options().values.slice;
    o.extractMethod = 2;
    c->SelectKernels();
    if (c->extraction(c, b.shape, &b.item, &b.frame, &b.request) != 5 || b.item.image.width != 3000)
        state.SkipWithError("no optimal profile");
    for (auto _ : state)
        benchmark::DoNotOptimize(c->extraction(c, b.shape, &b.item, &b.frame, &b.request));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c->slice.cells));
    o.extractMethod = 0;
    c->SelectKernels();
}
BENCHMARK(BM_SliceOptimal_ours)->Unit(benchmark::kMillisecond);

void BM_SliceLarge_ours(benchmark::State& state) {
    constexpr int kSide = 2048;
    constexpr uint32_t kC = 3;
    const std::vector<double> planes = NoiseFrame(int64_t{kSide} * kSide * kC);
    Shape* shape = SlicePolyline(kSide, 20000, 200);
    ReductionComponent* c = ReductionComponent::Create();
    FrameDesc d;
    d.values = planes.data();
    d.width = d.height = kSide;
    d.channels = kC;
    d.planar = 1;
    const StripSampler strip = SliceSamplerPair(SamplerLayout::kThreePlanar).strip;
    std::vector<double> out(uint64_t{kC} * 20000);
    std::vector<MissingRun> runs(10001);
    MissingRunRecord record{0, runs.data()};
    if (strip(c, &d, shape, &c->slice.path) != 3 || c->slice.channels != kC)
        state.SkipWithError("no strip");
    for (auto _ : state) {
        strip(c, &d, shape, &c->slice.path);
        const StripParams p{c->slice.width, c->slice.points, false, 1.0, 1.0};
        for (uint32_t ch = 0; ch < kC; ++ch)
            benchmark::DoNotOptimize(
                CollapseStrip(p, c->slice.Strip(ch), out.data() + ch * p.points, &record));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c->slice.cells * kC));
    c->Release();
    shape->Release();
}
BENCHMARK(BM_SliceLarge_ours)->Unit(benchmark::kMillisecond);

}  // namespace
