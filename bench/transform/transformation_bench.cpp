// The Transformation worker over a 4096 × 4096 frame of doubles to RGB8
// ("range" or "log", "Grey", 8-bit palette) against one fused plain loop of
// the same math (no-data test, x·s − o, the index rule, palette copy); a view
// window with its guard band and a 512 × 512 playback frame; and the display
// rendering of a 4096 × 4096 16-bit frame (statistics, bytes, a bilinear
// 1024 × 1024) against plain loops of the same three passes.
//
// The upstream hands over a ready block: its first pull fills the frame
// cache, later ones only mark it delivered. The counters "blocks" and "news"
// are the buffer blocks and operator-new calls per frame after the first
// ones (steady playback allocates nothing).
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <random>
#include <vector>

#include "data/curve_plot.h"
#include "framework/display_lock.h"
#include "transform/display_render.h"
#include "transform/transformation.h"

namespace {
std::atomic<uint64_t> gNews{0};
}  // namespace

// Counts the allocations of this binary. The replaced pair takes its blocks
// from malloc and gives them back to free, which the compiler cannot see.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    gNews.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using namespace orva;

constexpr int64_t kSide = 4096;
constexpr double kNoData = -DBL_MAX;

// 16-bit camera values as doubles, a few without data.
void FillFrame(double* v, size_t n) {
    std::mt19937_64 rng(5);
    for (size_t i = 0; i < n; ++i) v[i] = rng() % 1000 == 0 ? kNoData : static_cast<double>(rng() % 65536);
}

// An upstream whose frame is ready: the first pull fills the cache's block,
// later pulls of the same window hand it over as it is.
class ReadyFrame : public ComponentBase {
public:
    ReadyFrame(int64_t width, int64_t height) : ComponentBase(nullptr), width(width), height(height) {
        process = &Hand;
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        r->format = 0x40;
        r->element = 8;
        r->channels = 1;
        return link == nullptr || link->AcceptFormat(r);
    }
    static int32_t Hand(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* s = static_cast<ReadyFrame*>(c);
        ReadWindow& w = r->window;
        w.x = w.y = 0;
        w.width = static_cast<int32_t>(s->width);
        w.height = static_cast<int32_t>(s->height);
        TypedFrameBuffer& image = r->image;
        if (image.width != static_cast<uint32_t>(s->width) || image.height != static_cast<uint32_t>(s->height)) {
            image.SetTypeAndCount(0x40, 1);
            if (!image.AllocImageBuffer(static_cast<uint32_t>(s->width), static_cast<uint32_t>(s->height))) return -4;
            FillFrame(static_cast<double*>(image.data), image.pixelCount);
        }
        r->pending = 1;
        return 3;
    }
    int64_t width, height;
};

class Sink : public ConsumerLink {
public:
    Sink() : ConsumerLink(nullptr) {}
    void OnUpstreamChanged() override {}
    bool AcceptFormat(FormatRequest* r) override { return r->format == 0x400101; }
};

// A Transformation between a ready frame and a consumer of RGB8, showing
// `scaling` over 0 … 65535 through "Grey".
struct Chain {
    Chain(int64_t width, int64_t height, const char* scaling) {
        source = new ReadyFrame(width, height);
        stage = new TransformationComponent(nullptr, nullptr, 0);
        ConsumerAttach(&stage->input, source);
        ConsumerAttach(&sink, stage);
        ValueScalerSetClass(&stage->scaler, FindScaleClass(scaling, std::strlen(scaling)));
        ColorConverterSetClass(&stage->converter, 1);
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        stage->scaler.Current().min = 0;
        stage->scaler.Current().max = 65535;
        stage->scaler.Current().UpdateScale();
    }
    ~Chain() {
        ConsumerDetach(&sink);
        stage->Release();
        source->Release();
    }
    int32_t Run(int64_t x, int64_t y, int32_t w, int32_t h, bool fresh) {
        result.window = ReadWindow{};
        result.window.frame = result.window.section = -1;
        result.window.x = x;
        result.window.y = y;
        result.window.width = w;
        result.window.height = h;
        PullRequest request;
        request.readAgain = fresh ? 1 : 0;
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        return stage->process(stage, &result, &request);
    }
    const double* Frame() const { return static_cast<const double*>(stage->frameCache.image.data); }

    ReadyFrame* source;
    TransformationComponent* stage;
    Sink sink;
    PullResult result;
};

// Runs the worker; after the first frame the buffer blocks and operator-new
// calls of the runs themselves are counted (totals of the measured runs).
void RunWorker(benchmark::State& state, Chain& chain, int64_t x, int64_t y, int32_t w, int32_t h, bool fresh) {
    if (chain.Run(x, y, w, h, fresh) != 3) state.SkipWithError("no pixels");
    uint64_t blocks = 0, news = 0;
    for (auto _ : state) {
        const uint64_t b0 = GlobalBufferBlocksTaken(), n0 = gNews.load();
        if (chain.Run(x, y, w, h, fresh) != 3) state.SkipWithError("no pixels");
        blocks += GlobalBufferBlocksTaken() - b0;
        news += gNews.load() - n0;
        benchmark::ClobberMemory();
    }
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["news"] = static_cast<double>(news);
    state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
}

void BM_WorkerFull_ours(benchmark::State& state) {
    Chain chain(kSide, kSide, "range");
    RunWorker(state, chain, 0, 0, kSide, kSide, true);
}

void BM_WorkerLog_ours(benchmark::State& state) {
    Chain chain(kSide, kSide, "log");
    RunWorker(state, chain, 0, 0, kSide, kSide, true);
}

// The index rule of the colour stage with its rounding inlined.
inline uint32_t RuleIndex(double v) {
    const double t = v * 255.0;
    if (t >= 510.5) return 511;
    if (!(t >= 0.5)) return 0;
    return static_cast<uint32_t>(_mm_cvtsd_si32(_mm_set_sd(t)));
}

// One fused loop: the intensity of each sample, its index, its palette entry.
template <class Intensity>
void RunFused(benchmark::State& state, const char* scaling, Intensity intensity) {
    Chain chain(kSide, kSide, scaling);
    chain.Run(0, 0, kSide, kSide, true);
    const double* in = chain.Frame();
    const ScaleParameters p = chain.stage->scaler.Current();
    const uint8_t* palette = chain.stage->converter.palette.data;
    std::vector<uint8_t> out(3 * kSide * kSide + 8);
    for (auto _ : state) {
        uint8_t* o = out.data();
        for (size_t i = 0; i < size_t{kSide} * kSide; ++i, o += 3) {
            const double x = in[i];
            const double r = intensity(x * p.scale - p.offset, p);
            const double v = x == kNoData ? 0.0 : r;
            const uint8_t* e = palette + 3 * RuleIndex(v);
            o[0] = e[0];
            o[1] = e[1];
            o[2] = e[2];
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
}

void BM_WorkerFull_ref(benchmark::State& state) {
    // A NaN intensity takes index 0 by the index rule itself.
    RunFused(state, "range", [](double r, const ScaleParameters&) { return r; });
}

void BM_WorkerLog_ref(benchmark::State& state) {
    RunFused(state, "log", [](double r, const ScaleParameters& p) {
        const double t = p.value2 * r;
        return t > 0 ? p.value1 * std::log10(t) : 0.0;
    });
}

// A 900 × 706 view with its guard band, from the cached frame.
void BM_WorkerWindow(benchmark::State& state) {
    Chain chain(kSide, kSide, "range");
    chain.Run(0, 0, kSide, kSide, true);
    RunWorker(state, chain, 1000, 1000, 1412, 1218, false);
    state.SetLabel("target < 5 ms");
}

// One playback frame of a 512 × 512 cube.
void BM_WorkerCube512(benchmark::State& state) {
    Chain chain(512, 512, "range");
    RunWorker(state, chain, 0, 0, 512, 512, true);
    state.SetLabel("target < 1 ms");
}

// ---- Display rendering ----------------------------------------------------------------------

const std::vector<uint16_t>& Frame16() {
    static const std::vector<uint16_t> v = [] {
        std::vector<uint16_t> f(size_t{kSide} * kSide);
        std::mt19937 rng(3);
        std::normal_distribution<double> d(20000.0, 3000.0);
        for (auto& x : f) x = static_cast<uint16_t>(std::clamp(d(rng), 0.0, 65535.0));
        return f;
    }();
    return v;
}

constexpr RenderTarget kLens{1024, 1024};

void BM_RenderFrame_ours(benchmark::State& state) {
    const std::vector<uint16_t>& frame = Frame16();
    DisplayBitmap b;
    for (auto _ : state) {
        state.PauseTiming();
        GlobalBufferFit(&b.buffer, frame.size() * 2);
        std::memcpy(b.buffer.data, frame.data(), frame.size() * 2);
        b.pixels = b.buffer.data;
        b.format = 0x102 | 0x100;
        b.width = b.height = kSide;
        b.channels = 1;
        b.displayScale = b.displayOffset = b.inverseScale = 0;
        b.dirty = 1;
        state.ResumeTiming();
        if (!RenderFrameToBitmap(&b, &kLens, true)) state.SkipWithError("not rendered");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
}

// Plain loops of the same passes: sums, bytes, the bilinear resize.
void BM_RenderFrame_ref(benchmark::State& state) {
    const std::vector<uint16_t>& frame = Frame16();
    std::vector<uint16_t> work(frame.size());
    std::vector<uint8_t> bytes(frame.size()), out(size_t{1024} * 1024);
    std::vector<int32_t> index(1024);
    std::vector<float> fraction(1024);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), frame.data(), frame.size() * 2);
        state.ResumeTiming();
        const size_t n = work.size();
        double s1 = 0, s2 = 0;
        for (size_t i = 0; i < n; ++i) {
            const double v = work[i];
            s1 += v;
            s2 += v * v;
        }
        const double mean = s1 / n, sigma = std::sqrt((s2 - s1 * mean) / (n - 1));
        const double low = mean - 2.5 * sigma, high = mean + 2 * sigma, g = 255.0 / (high - low);
        const double o = 255.0 - g * high;
        for (size_t i = 0; i < n; ++i) bytes[i] = ScaleSampleToByte(work[i], g, o);
        const float step = 4.0f;
        for (int k = 0; k < 1024; ++k) {
            const float x = step * 0.5f - 0.5f + k * step;
            index[k] = static_cast<int32_t>(x);
            fraction[k] = x - index[k];
        }
        for (int ty = 0; ty < 1024; ++ty) {
            const uint8_t* r0 = bytes.data() + size_t(index[ty]) * kSide;
            const uint8_t* r1 = r0 + kSide;
            const float fy = fraction[ty];
            for (int tx = 0; tx < 1024; ++tx) {
                const int i = index[tx];
                const float fx = fraction[tx];
                const float top = r0[i] + (r0[i + 1] - r0[i]) * fx;
                const float bottom = r1[i] + (r1[i + 1] - r1[i]) * fx;
                out[size_t(ty) * 1024 + tx] = static_cast<uint8_t>(std::nearbyint(top + (bottom - top) * fy));
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
}

BENCHMARK(BM_WorkerFull_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorkerFull_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorkerLog_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorkerLog_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorkerWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorkerCube512)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderFrame_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderFrame_ref)->Unit(benchmark::kMillisecond);

}  // namespace
