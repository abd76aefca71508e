// The affine filter's kernels against OpenCV, single-threaded, on a 4096 x 4096
// frame of 64-bit reals held in memory: separable zooms (2: a 4096 x 4096 block at
// the centre of the output; 0.5: the whole output), a turn by 30 degrees at zoom 1.5,
// a quarter turn and a mirror, in every mode. Ours runs the kernel entry on an
// upstream block that already holds its input (no read); the reference is
// cv::warpAffine with the inverse map of the same geometry (cv::rotate and cv::flip
// for the exact permutations). BM_AffineChain_* compares a pull through the
// Processing stage with the bare kernel; the 32-bit and three-channel cases are
// reported without a target. Rates are output pixels per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "data/affine_record.h"
#include "processing/modules/affine_kernels.h"
#include "processing/modules/affine_module.h"
#include "processing/processing_component.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace orva {
namespace {

constexpr int kSide = 4096;

// A frame with some structure, the same for every case.
cv::Mat MakeFrame(int side, int type) {
    cv::Mat m(side, side, type);
    const int channels = m.channels();
    for (int y = 0; y < side; ++y) {
        double* row64 = m.depth() == CV_64F ? m.ptr<double>(y) : nullptr;
        float* row32 = m.depth() == CV_32F ? m.ptr<float>(y) : nullptr;
        for (int x = 0; x < side * channels; ++x) {
            const double v = 1000.0 * std::sin(0.013 * x + 0.007 * y) + (x * 31 + y * 17) % 97;
            if (row64 != nullptr) row64[x] = v;
            else row32[x] = static_cast<float>(v);
        }
    }
    return m;
}

const cv::Mat& Frame64() {
    static const cv::Mat m = MakeFrame(kSide, CV_64FC1);
    return m;
}

// Serves the frame of a matrix, clipped to the window, as the Source would.
class MatSource : public ComponentBase {
public:
    explicit MatSource(const cv::Mat& m) : ComponentBase(nullptr), mat(m) {
        process = &Produce;
        const uint32_t type = m.depth() == CV_64F ? 0x40u : 0x10u;
        offered = FormatRequest{type, type == 0x40 ? 8u : 4u, static_cast<uint32_t>(m.channels()), 2, 0, 0};
        data.width = m.cols;
        data.height = m.rows;
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = offered;
        return link == nullptr || link->AcceptFormat(r);
    }
    void* QueryFrameDescription() override { return &data; }
    FrameDataRecord* QueryFrameData(int32_t, int32_t) override { return &data; }
    static int32_t Produce(ComponentBase* c, PullResult* r, PullRequest*) {
        const cv::Mat& m = static_cast<MatSource*>(c)->mat;
        const ReadWindow w = r->window;
        const int64_t x1 = std::min<int64_t>(w.x + w.width, m.cols), y1 = std::min<int64_t>(w.y + w.height, m.rows);
        if (w.x < 0 || w.y < 0 || x1 <= w.x || y1 <= w.y) return 0;
        TypedFrameBuffer& image = r->image;
        image.SetTypeAndCount(m.depth() == CV_64F ? 0x40 : 0x10, static_cast<uint32_t>(m.channels()));
        if (!image.AllocImageBuffer(static_cast<uint32_t>(x1 - w.x), static_cast<uint32_t>(y1 - w.y))) return 0;
        for (int64_t y = w.y; y < y1; ++y)
            std::memcpy(static_cast<char*>(image.data) + static_cast<size_t>(y - w.y) * image.rowBytes,
                        m.ptr(static_cast<int>(y)) + static_cast<size_t>(w.x) * m.elemSize(), image.rowBytes);
        image.windowX = w.x;
        image.windowY = w.y;
        image.state = 0;
        r->pending = 1;
        return 3;
    }
    const cv::Mat& mat;
    FormatRequest offered;
    FrameDataRecord data;
};

struct Geometry {
    double zoom = 1.0, angle = 0.0;
    bool flipX = false;
};

// The Processing stage with its affine filter in front of the matrix, and a consumer.
struct Chain {
    Chain(const cv::Mat& m, const Geometry& g, int mode) : source(new MatSource(m)), consumer(nullptr) {
        host = new ProcessingComponent(&item);
        FilterChainInit(&host->chain);
        ConsumerAttach(&host->chain, source);
        ConsumerAttach(&consumer, host);
        instance = host->chain.first;
        AffineModuleState* s = AffineStateOf(instance);
        AffineRecord& r = s->head.record;
        r.order = 1;
        AffineRecordSetZoomX(&r, g.zoom);
        AffineRecordSetZoomY(&r, g.zoom);
        AffineRecordSetAngle(&r, g.angle);
        AffineRecordSetFlips(&r, g.flipX, false);
        s->head.flags = mode > 1 ? kAffineFilterOn : 0;
        s->filterIndex = std::max(mode - 2, 0);
        AffineNotifyChange(instance, true);
        FrameDataRecord* d = host->QueryFrameData(0, 0);
        output = AffineSize{d->width, d->height};
        fitted = r;
    }
    ~Chain() {
        ConsumerDetach(&consumer);
        host->Release();
        source->Release();
    }
    // A block of the output through the kernel entry (the first call pulls its input).
    int32_t Run(FilterProcessFn kernel, int64_t x, int64_t y, int32_t w, int32_t h) {
        instance->block.window.frame = 0;
        instance->block.window.section = 0;
        out.window = ReadWindow{};
        out.window.x = x;
        out.window.y = y;
        out.window.width = w;
        out.window.height = h;
        PullRequest request;
        return kernel(&instance->block, &out, &request);
    }
    // The same pulled through the Processing stage.
    int32_t Pull(int64_t x, int64_t y, int32_t w, int32_t h) {
        out.pending = 0;
        out.window = ReadWindow{};
        out.window.x = x;
        out.window.y = y;
        out.window.width = w;
        out.window.height = h;
        PullRequest request;
        return ComponentPull(&consumer, &out, &request);
    }

    struct Sink : ConsumerLink {
        explicit Sink(ComponentBase* owner) : ConsumerLink(owner) {}
        void OnUpstreamChanged() override {}
        bool AcceptFormat(FormatRequest*) override { return true; }
    };

    ProjectItemBase item;
    MatSource* source;
    ProcessingComponent* host = nullptr;
    Sink consumer;
    FilterInstance* instance = nullptr;
    AffineSize output;
    AffineRecord fitted;
    PullResult out;
};

FilterProcessFn KernelOf(int depth, int channels, int mode) {
    const AffineKernelRow& row = AffineKernelTable[depth == CV_64F ? 0 : 1];
    const AffineKernelSet* set = channels == 1 ? row.oneChannel : channels == 3 ? row.threeChannels : row.anyChannels;
    return set->modes[mode - 1].slots[0];
}

// The block of `side` pixels at the centre of the output frame (the whole frame when smaller).
struct Block {
    int64_t x, y;
    int32_t w, h;
};
Block CentreBlock(const AffineSize& out, int side) {
    const int64_t w = std::min<int64_t>(side, out.width), h = std::min<int64_t>(side, out.height);
    return Block{(out.width - w) / 2, (out.height - h) / 2, static_cast<int32_t>(w), static_cast<int32_t>(h)};
}

// OpenCV's inverse map of the block: output pixel (i, j) of the block to the input
// position with pixel centres at whole numbers, as the interpolating modes sample.
cv::Mat InverseMap(const Chain& c, const Block& b, int width, int height) {
    const AffineInputMap m = AffineRecordInputMap(&c.fitted, width, height);
    double x, y;
    AffineMapPoint(m, static_cast<double>(b.x) + 0.5, static_cast<double>(b.y) + 0.5, &x, &y);
    cv::Mat M = (cv::Mat_<double>(2, 3) << m.xPerU, m.xPerV, x - 0.5, m.yPerU, m.yPerV, y - 0.5);
    return M;
}

int Interpolation(int mode) { return mode == 1 ? cv::INTER_NEAREST : mode == 2 ? cv::INTER_LINEAR : cv::INTER_CUBIC; }

void Ours(benchmark::State& state, const cv::Mat& src, Geometry g, int mode, int side) {
    Chain c(src, g, mode);
    const Block b = CentreBlock(c.output, side);
    const FilterProcessFn kernel = KernelOf(src.depth(), src.channels(), mode);
    if (c.Run(kernel, b.x, b.y, b.w, b.h) != 0) state.SkipWithError("kernel failed");
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.Run(kernel, b.x, b.y, b.w, b.h));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * b.w * b.h);
}

void Ref(benchmark::State& state, const cv::Mat& src, Geometry g, int mode, int side) {
    cv::setNumThreads(1);
    Chain c(src, g, mode);
    const Block b = CentreBlock(c.output, side);
    const cv::Mat M = InverseMap(c, b, src.cols, src.rows);
    cv::Mat dst(b.h, b.w, src.type());
    for (auto _ : state) {
        cv::warpAffine(src, dst, M, dst.size(), Interpolation(mode) | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                       cv::Scalar::all(-DBL_MAX));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * b.w * b.h);
}

const Geometry kZoom2{2.0}, kZoomHalf{0.5}, kTurned{1.5, 30.0};

#define ORVA_AFFINE_CASE(name, geometry, mode)                                                           \
    void BM_Affine##name##_ours(benchmark::State& s) { Ours(s, Frame64(), geometry, mode, kSide); }     \
    void BM_Affine##name##_ref(benchmark::State& s) { Ref(s, Frame64(), geometry, mode, kSide); }       \
    BENCHMARK(BM_Affine##name##_ours)->Unit(benchmark::kMillisecond)->UseRealTime();                     \
    BENCHMARK(BM_Affine##name##_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

ORVA_AFFINE_CASE(Zoom2Nearest, kZoom2, 1)
ORVA_AFFINE_CASE(Zoom2Bilinear, kZoom2, 2)
ORVA_AFFINE_CASE(Zoom2Bicubic, kZoom2, 3)
ORVA_AFFINE_CASE(Zoom2BicubicFast, kZoom2, 4)
ORVA_AFFINE_CASE(ZoomHalfNearest, kZoomHalf, 1)
ORVA_AFFINE_CASE(ZoomHalfBilinear, kZoomHalf, 2)
ORVA_AFFINE_CASE(ZoomHalfBicubic, kZoomHalf, 3)
ORVA_AFFINE_CASE(ZoomHalfBicubicFast, kZoomHalf, 4)
ORVA_AFFINE_CASE(Rotate30Nearest, kTurned, 1)
ORVA_AFFINE_CASE(Rotate30Bilinear, kTurned, 2)
ORVA_AFFINE_CASE(Rotate30Bicubic, kTurned, 3)
ORVA_AFFINE_CASE(Rotate30BicubicFast, kTurned, 4)

// The exact permutations against cv::rotate and cv::flip on the whole frame.
void BM_AffineTurn90_ours(benchmark::State& s) { Ours(s, Frame64(), Geometry{1.0, 90.0}, 1, kSide); }
void BM_AffineTurn90_ref(benchmark::State& s) {
    cv::setNumThreads(1);
    cv::Mat dst(kSide, kSide, CV_64FC1);
    for (auto _ : s) {
        cv::rotate(Frame64(), dst, cv::ROTATE_90_COUNTERCLOCKWISE);
        benchmark::ClobberMemory();
    }
    s.SetItemsProcessed(static_cast<int64_t>(s.iterations()) * kSide * kSide);
}
void BM_AffineFlipX_ours(benchmark::State& s) { Ours(s, Frame64(), Geometry{1.0, 0.0, true}, 1, kSide); }
void BM_AffineFlipX_ref(benchmark::State& s) {
    cv::setNumThreads(1);
    cv::Mat dst(kSide, kSide, CV_64FC1);
    for (auto _ : s) {
        cv::flip(Frame64(), dst, 1);
        benchmark::ClobberMemory();
    }
    s.SetItemsProcessed(static_cast<int64_t>(s.iterations()) * kSide * kSide);
}
BENCHMARK(BM_AffineTurn90_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AffineTurn90_ref)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AffineFlipX_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AffineFlipX_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

// The rotated bilinear case pulled through the Processing stage (its held input
// answers every pull after the first, as for a display showing the same frame),
// against the bare kernel on the same data.
void BM_AffineChain_ours(benchmark::State& state) {
    Chain c(Frame64(), kTurned, 2);
    const Block b = CentreBlock(c.output, kSide);
    if (c.Pull(b.x, b.y, b.w, b.h) < 2) state.SkipWithError("pull failed");
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.Pull(b.x, b.y, b.w, b.h));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * b.w * b.h);
}
void BM_AffineChain_ref(benchmark::State& state) { Ours(state, Frame64(), kTurned, 2, kSide); }
BENCHMARK(BM_AffineChain_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AffineChain_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

// Without a target: 32-bit reals (the F set), and three channels of 64-bit reals.
const cv::Mat& Frame32() {
    static const cv::Mat m = MakeFrame(kSide, CV_32FC1);
    return m;
}
const cv::Mat& Frame64x3() {
    static const cv::Mat m = MakeFrame(2048, CV_64FC3);
    return m;
}
const Geometry kTurned3{1.25, 10.0};
void BM_AffineFloatRotate30Bilinear_ours(benchmark::State& s) { Ours(s, Frame32(), kTurned, 2, kSide); }
void BM_AffineFloatRotate30Bilinear_ref(benchmark::State& s) { Ref(s, Frame32(), kTurned, 2, kSide); }
void BM_AffineThreeChannelsRotate10Bilinear_ours(benchmark::State& s) { Ours(s, Frame64x3(), kTurned3, 2, 2048); }
void BM_AffineThreeChannelsRotate10Bilinear_ref(benchmark::State& s) { Ref(s, Frame64x3(), kTurned3, 2, 2048); }
BENCHMARK(BM_AffineFloatRotate30Bilinear_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AffineFloatRotate30Bilinear_ref)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AffineThreeChannelsRotate10Bilinear_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AffineThreeChannelsRotate10Bilinear_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace orva
