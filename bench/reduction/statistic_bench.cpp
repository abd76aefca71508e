// The region statistic of a statistic circle of diameter 2000 on a 4096 x 4096
// frame of 64-bit reals (normal noise and a few hundred stars), one channel,
// default options, the frame already pulled and every buffer warm: the whole
// kernel call (gather, both moment passes, median, histogram, mode, FWHM,
// threshold radius, centroid). The reference is the plain C++ equivalent of
// numpy's
//   v = data[mask]; v.mean(); v.std(ddof=1); np.median(v); np.histogram(v, 256)
// with a boolean mask image and std::nth_element on a copy. Also, without a
// reference: the circle with a 20-pixel background ring, a 3-channel
// interleaved frame, and 1000 circles of radius 10 (the cost of an item).
// Rates are values per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "framework/component.h"
#include "reduction/reduction_component.h"
#include "shapes/geometry/region.h"
#include "shapes/geometry/scan_convert.h"

namespace {

using namespace orva;

constexpr int kFrame = 4096;
constexpr int kDiameter = 2000;

// Normal noise around 100 with sigma 10 and `stars` Gaussian stars.
std::vector<double> MakeFrame(int64_t width, int64_t height, uint32_t channels, int stars) {
    std::mt19937_64 random(12345);
    std::normal_distribution<double> noise(100.0, 10.0);
    std::vector<double> v(static_cast<size_t>(width * height * channels));
    for (double& x : v) x = noise(random);
    std::uniform_real_distribution<double> place(0.0, 1.0);
    for (int s = 0; s < stars; ++s) {
        const double cx = place(random) * width, cy = place(random) * height;
        const double peak = 500.0 + 20000.0 * place(random), sigma = 1.5 + 3.0 * place(random);
        const int64_t reach = static_cast<int64_t>(5 * sigma) + 1;
        for (int64_t y = std::max<int64_t>(0, cy - reach); y < std::min<int64_t>(height, cy + reach); ++y)
            for (int64_t x = std::max<int64_t>(0, cx - reach); x < std::min<int64_t>(width, cx + reach); ++x) {
                const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                for (uint32_t c = 0; c < channels; ++c)
                    v[static_cast<size_t>((y * width + x) * channels + c)] += peak * std::exp(-r2 / (2 * sigma * sigma));
            }
    }
    return v;
}

// An upstream stage that serves windows of one frame held in memory.
class MemorySource : public ComponentBase {
public:
    MemorySource(int64_t width, int64_t height, uint32_t channels)
        : ComponentBase(nullptr), width(width), height(height), channels(channels) {
        values = MakeFrame(width, height, channels, 300);
        record.frame = 0;
        record.section = 0;
        record.width = width;
        record.height = height;
        process = &Serve;
    }
    const ComponentId* GetClassId() const override { return &kProcessingId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = FormatRequest{0x40, 8, channels, 2, 0, 0};
        return link == nullptr || link->AcceptFormat(r);
    }
    void* QueryFrameDescription() override { return &record; }
    FrameDataRecord* QueryFrameData(int32_t, int32_t) override { return &record; }
    static int32_t Serve(ComponentBase* component, PullResult* r, PullRequest*) {
        auto* s = static_cast<MemorySource*>(component);
        ReadWindow& w = r->window;
        const int64_t x0 = std::max<int64_t>(w.x, 0), y0 = std::max<int64_t>(w.y, 0);
        const int64_t x1 = std::min<int64_t>(w.x + w.width, s->width), y1 = std::min<int64_t>(w.y + w.height, s->height);
        if (x0 >= x1 || y0 >= y1) return 1;
        w.x = x0, w.y = y0, w.width = static_cast<int32_t>(x1 - x0), w.height = static_cast<int32_t>(y1 - y0);
        if (w.frame < 0) w.frame = 0;
        r->image.SetTypeAndCount(0x40, s->channels);
        if (!r->image.AllocImageBuffer(static_cast<uint32_t>(w.width), static_cast<uint32_t>(w.height))) return -1;
        const size_t row = static_cast<size_t>(w.width) * s->channels;
        for (int64_t y = y0; y < y1; ++y)
            std::memcpy(static_cast<double*>(r->image.data) + (y - y0) * row,
                        s->values.data() + (y * s->width + x0) * s->channels, row * sizeof(double));
        r->pending = 1;
        return 3;
    }
    int64_t width, height;
    uint32_t channels;
    std::vector<double> values;
    FrameDataRecord record;
};

// A Reduction behind a memory source, ready to run its statistic kernel.
struct Bench {
    Bench(int64_t width, int64_t height, uint32_t channels) : source(new MemorySource(width, height, channels)) {
        reduction = ReductionComponent::Create();
        ConsumerAttach(&reduction->input, source);
        frame.requestFrame = 0;
        frame.width = width;
        frame.height = height;
        frame.channels = channels;
        frame.samplesPerPixel = channels;
    }
    ~Bench() {
        ConsumerDetach(&reduction->input);
        reduction->Release();
        source->Release();
    }
    int32_t Run(const Region& object, const Region* ring, int32_t ox = 0, int32_t oy = 0) {
        StatisticMask mask{&object, ring, ox, oy, nullptr};
        return RegionStatistic(reduction, mask, &item, &frame, &request);
    }
    MemorySource* source;
    ReductionComponent* reduction;
    FrameDesc frame;
    PullResult item;
    PullRequest request;  // readAgain 0: the held frame serves once pulled
};

void Circle(Region* r, int diameter, int frame) {
    const int left = (frame - diameter) / 2;
    EllipseRegion(r, left, left, left + diameter, left + diameter, diameter, diameter);
}

uint64_t PixelsOf(const Region& r) {
    uint64_t n = 0;
    for (const RegionRect& rect : r) n += static_cast<uint64_t>(rect.x1 - rect.x0) * (rect.y1 - rect.y0);
    return n;
}

Bench& Single() {
    static Bench bench(kFrame, kFrame, 1);
    return bench;
}

void BM_RegionStatistic_ours(benchmark::State& state) {
    Bench& b = Single();
    Region circle;
    Circle(&circle, kDiameter, kFrame);
    if (b.Run(circle, nullptr) != 5) state.SkipWithError("no statistic");
    for (auto _ : state) benchmark::DoNotOptimize(b.Run(circle, nullptr));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * PixelsOf(circle)));
}
BENCHMARK(BM_RegionStatistic_ours)->Unit(benchmark::kMillisecond);

// numpy's v = data[mask]; v.mean(); v.std(ddof=1); np.median(v); np.histogram(v, 256).
void BM_RegionStatistic_ref(benchmark::State& state) {
    const std::vector<double>& data = Single().source->values;
    Region circle;
    Circle(&circle, kDiameter, kFrame);
    std::vector<uint8_t> mask(static_cast<size_t>(kFrame) * kFrame, 0);
    for (const RegionRect& r : circle)
        for (int y = r.y0; y < r.y1; ++y) std::fill(&mask[size_t(y) * kFrame + r.x0], &mask[size_t(y) * kFrame + r.x1], 1);
    std::vector<double> v(PixelsOf(circle)), copy(v.size());
    std::vector<int64_t> counts(256);
    std::vector<double> edges(257);
    for (auto _ : state) {
        size_t n = 0;
        for (size_t i = 0; i < mask.size(); ++i)
            if (mask[i]) v[n++] = data[i];
        double sum = 0.0;
        for (double x : v) sum += x;
        const double mean = sum / n;
        double squares = 0.0;
        for (double x : v) squares += (x - mean) * (x - mean);
        const double sigma = std::sqrt(squares / (n - 1));
        std::copy(v.begin(), v.end(), copy.begin());
        std::nth_element(copy.begin(), copy.begin() + n / 2, copy.end());
        double median = copy[n / 2];
        if (n % 2 == 0) median = (median + *std::max_element(copy.begin(), copy.begin() + n / 2)) / 2;
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        const double first = *lo, last = *hi, norm = 256 / (last - first);
        for (int i = 0; i <= 256; ++i) edges[i] = first + (last - first) * i / 256;
        std::fill(counts.begin(), counts.end(), 0);
        for (double x : v) {
            int64_t k = static_cast<int64_t>((x - first) * norm);
            if (k == 256) k = 255;
            if (x < edges[k]) --k;
            else if (x >= edges[k + 1] && k < 255) ++k;
            ++counts[k];
        }
        benchmark::DoNotOptimize(mean + sigma + median);
        benchmark::DoNotOptimize(counts.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * PixelsOf(circle)));
}
BENCHMARK(BM_RegionStatistic_ref)->Unit(benchmark::kMillisecond);

void BM_RegionStatisticRing_ours(benchmark::State& state) {
    Bench& b = Single();
    Region circle;
    Circle(&circle, kDiameter, kFrame);
    Region ring;
    Circle(&ring, kDiameter + 40, kFrame);
    RegionSubtract(&ring, ring, circle);
    if (b.Run(circle, &ring) != 5) state.SkipWithError("no statistic");
    for (auto _ : state) benchmark::DoNotOptimize(b.Run(circle, &ring));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * (PixelsOf(circle) + PixelsOf(ring))));
}
BENCHMARK(BM_RegionStatisticRing_ours)->Unit(benchmark::kMillisecond);

void BM_RegionStatisticThreeChannels_ours(benchmark::State& state) {
    constexpr int kSide = 2048;
    Bench b(kSide, kSide, 3);
    Region circle;
    Circle(&circle, kDiameter, kSide);
    if (b.Run(circle, nullptr) != 5) state.SkipWithError("no statistic");
    for (auto _ : state) benchmark::DoNotOptimize(b.Run(circle, nullptr));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 3 * PixelsOf(circle)));
}
BENCHMARK(BM_RegionStatisticThreeChannels_ours)->Unit(benchmark::kMillisecond);

void BM_RegionStatisticSmallCircles_ours(benchmark::State& state) {
    Bench& b = Single();
    Region small;
    Circle(&small, 20, 20);
    std::vector<std::pair<int32_t, int32_t>> places;
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> at(0, kFrame - 21);
    for (int i = 0; i < 1000; ++i) places.emplace_back(at(random), at(random));
    for (auto _ : state)
        for (const auto& [x, y] : places) benchmark::DoNotOptimize(b.Run(small, nullptr, x, y));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 1000 * PixelsOf(small)));
}
BENCHMARK(BM_RegionStatisticSmallCircles_ours)->Unit(benchmark::kMillisecond);

}  // namespace
