// Masks: circles and polygons made into regions, and the statistics of a
// 4096 x 4096 frame under a circular mask. The references are OpenCV's filled
// ellipse and polygon in an 8-bit image of the frame's size (the polygon cases also
// report the ratio of the two times, "vs_fillPoly"), and the C++
// equivalent of numpy's
//   v = data[mask]; v.min(); v.max(); v.mean(); v.std(ddof=1)
// with a boolean mask image. Rates are pixels (or values) per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "shapes/geometry/region.h"
#include "shapes/geometry/scan_convert.h"

#ifdef ORVA_HAVE_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace orva;

constexpr int kFrame = 4096;

uint64_t PixelsOf(const Region& r) {
    uint64_t n = 0;
    for (const RegionRect& rect : r) n += static_cast<uint64_t>(rect.x1 - rect.x0) * (rect.y1 - rect.y0);
    return n;
}

// ---- Ellipses ---------------------------------------------------------------------------

void BM_EllipseRegion_ours(benchmark::State& state) {
    const int d = static_cast<int>(state.range(0));
    const int left = (kFrame - d) / 2;
    Region r;
    for (auto _ : state) {
        EllipseRegion(&r, left, left, left + d, left + d, d, d);
        benchmark::DoNotOptimize(r.rects);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * PixelsOf(r)));
}
BENCHMARK(BM_EllipseRegion_ours)->Arg(2000)->Arg(4000)->Unit(benchmark::kMicrosecond);

#ifdef ORVA_HAVE_OPENCV
void BM_EllipseRegion_ref(benchmark::State& state) {
    const int d = static_cast<int>(state.range(0));
    cv::Mat image = cv::Mat::zeros(kFrame, kFrame, CV_8U);
    for (auto _ : state) {
        cv::ellipse(image, cv::Point(kFrame / 2, kFrame / 2), cv::Size(d / 2, d / 2), 0, 0, 360, cv::Scalar(255),
                    cv::FILLED);
        benchmark::DoNotOptimize(image.data);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * cv::countNonZero(image)));
}
BENCHMARK(BM_EllipseRegion_ref)->Arg(2000)->Arg(4000)->Unit(benchmark::kMicrosecond);
#endif

// ---- Polygons ---------------------------------------------------------------------------

// A star of `n` vertices around the frame's centre with radii alternating
// between `outer` and `inner`; `turns` > 1 winds it round several times (self-
// intersecting).
std::vector<float> Star(int n, double outer, double inner, int turns) {
    std::vector<float> xy;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * turns * i / n, radius = i % 2 ? inner : outer;
        xy.push_back(static_cast<float>(kFrame / 2 + radius * std::cos(a)));
        xy.push_back(static_cast<float>(kFrame / 2 + radius * std::sin(a)));
    }
    return xy;
}

// A closed wavy contour of `n` vertices, sub-pixel apart.
std::vector<float> Contour(int n) {
    std::vector<float> xy;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> jitter(-1.5, 1.5);
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n, radius = 1900 + 60 * std::sin(40 * a) + jitter(rng);
        xy.push_back(static_cast<float>(kFrame / 2 + radius * std::cos(a)));
        xy.push_back(static_cast<float>(kFrame / 2 + radius * std::sin(a)));
    }
    return xy;
}

#ifdef ORVA_HAVE_OPENCV
// OpenCV's fillPoly of the same polygon (its vertices floored, as ours are) into an
// 8-bit frame.
struct FillPolyRef {
    explicit FillPolyRef(const std::vector<float>& xy) : image(cv::Mat::zeros(kFrame, kFrame, CV_8U)), polygon(1) {
        for (size_t i = 0; i < xy.size(); i += 2)
            polygon[0].push_back({static_cast<int>(std::floor(xy[i])), static_cast<int>(std::floor(xy[i + 1]))});
    }
    void Fill() {
        cv::fillPoly(image, polygon, cv::Scalar(255));
        benchmark::DoNotOptimize(image.data);
    }
    cv::Mat image;
    std::vector<std::vector<cv::Point>> polygon;
};

// The least of a few timed runs, in seconds.
template <class Run>
double LeastTime(Run&& run) {
    double least = 1e9;
    for (int i = 0; i < 7; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        least = std::min(least, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return least;
}
#endif

// Ours; with OpenCV, the counter "vs_fillPoly" is fillPoly's time over ours, each the
// least of a few runs on the same core (1 or more: ours is at least as fast).
void PolygonOurs(benchmark::State& state, const std::vector<float>& xy) {
    const uint32_t n = static_cast<uint32_t>(xy.size() / 2);
    Region r;
    auto build = [&] {
        PolygonRegion(&r, xy.data(), &n, 1, kFillWinding, 1, 0.0f, 0.0f);
        benchmark::DoNotOptimize(r.rects);
    };
    for (auto _ : state) build();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * PixelsOf(r)));
    state.counters["rects"] = r.count;
#ifdef ORVA_HAVE_OPENCV
    FillPolyRef ref(xy);
    const double ours = LeastTime(build), theirs = LeastTime([&] { ref.Fill(); });
    state.counters["vs_fillPoly"] = theirs / ours;
#endif
}

void PolygonRef(benchmark::State& state, const std::vector<float>& xy) {
#ifdef ORVA_HAVE_OPENCV
    FillPolyRef ref(xy);
    for (auto _ : state) ref.Fill();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * cv::countNonZero(ref.image)));
#else
    (void)xy;
    state.SkipWithError("built without OpenCV");
#endif
}

const std::vector<float>& StarPolygon() {
    static const std::vector<float> xy = Star(1000, 2000, 700, 1);
    return xy;
}
const std::vector<float>& SelfIntersecting() {
    static const std::vector<float> xy = Star(1000, 2000, 700, 3);
    return xy;
}
const std::vector<float>& LongContour() {
    static const std::vector<float> xy = Contour(100000);
    return xy;
}

void BM_PolygonRegion_ours(benchmark::State& state) { PolygonOurs(state, StarPolygon()); }
BENCHMARK(BM_PolygonRegion_ours)->Unit(benchmark::kMillisecond);
void BM_PolygonRegion_ref(benchmark::State& state) { PolygonRef(state, StarPolygon()); }
BENCHMARK(BM_PolygonRegion_ref)->Unit(benchmark::kMillisecond);

void BM_PolygonRegionSelfIntersecting_ours(benchmark::State& state) { PolygonOurs(state, SelfIntersecting()); }
BENCHMARK(BM_PolygonRegionSelfIntersecting_ours)->Unit(benchmark::kMillisecond);
void BM_PolygonRegionSelfIntersecting_ref(benchmark::State& state) { PolygonRef(state, SelfIntersecting()); }
BENCHMARK(BM_PolygonRegionSelfIntersecting_ref)->Unit(benchmark::kMillisecond);

void BM_PolygonRegionContour_ours(benchmark::State& state) { PolygonOurs(state, LongContour()); }
BENCHMARK(BM_PolygonRegionContour_ours)->Unit(benchmark::kMillisecond);
void BM_PolygonRegionContour_ref(benchmark::State& state) { PolygonRef(state, LongContour()); }
BENCHMARK(BM_PolygonRegionContour_ref)->Unit(benchmark::kMillisecond);

// ---- Values under a mask ----------------------------------------------------------------

const std::vector<double>& FrameValues() {
    static const std::vector<double> values = [] {
        std::vector<double> v(static_cast<size_t>(kFrame) * kFrame);
        std::mt19937_64 rng(4);
        std::uniform_real_distribution<double> value(-1000.0, 65535.0);
        for (double& x : v) x = value(rng);
        return v;
    }();
    return values;
}

const ShapeRegion& Circle2000() {
    static const ShapeRegion* circle = [] {
        auto* r = new ShapeRegion;
        EllipseRegion(r, 1048, 1048, 3048, 3048, 2000, 2000);
        return r;
    }();
    return *circle;
}

void BM_RegionMinMax_ours(benchmark::State& state) {
    const std::vector<double>& values = FrameValues();
    const ShapeRegion& circle = Circle2000();
    const FrameBox frame{0, 0, kFrame, kFrame};
    RegionStats stats;
    for (auto _ : state) {
        RegionMinMax(circle, frame, values.data(), 1, 0, &stats);
        benchmark::DoNotOptimize(stats);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * PixelsOf(circle)));
}
BENCHMARK(BM_RegionMinMax_ours)->Unit(benchmark::kMillisecond);

void BM_RegionMinMax_ref(benchmark::State& state) {
    const std::vector<double>& values = FrameValues();
    const ShapeRegion& circle = Circle2000();
    std::vector<uint8_t> mask(values.size(), 0);
    for (const RegionRect& r : circle)
        for (int y = r.y0; y < r.y1; ++y)
            std::fill(mask.begin() + static_cast<ptrdiff_t>(y) * kFrame + r.x0,
                      mask.begin() + static_cast<ptrdiff_t>(y) * kFrame + r.x1, 1);
    for (auto _ : state) {
        // v = data[mask]: counted, then gathered into a new array.
        const size_t n = static_cast<size_t>(std::count(mask.begin(), mask.end(), 1));
        std::vector<double> v(n);
        size_t k = 0;
        for (size_t i = 0; i < mask.size(); ++i)
            if (mask[i]) v[k++] = values[i];
        const double minimum = *std::min_element(v.begin(), v.end());
        const double maximum = *std::max_element(v.begin(), v.end());
        const double mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(n);
        // std(ddof=1): the mean again, then the squared deviations.
        const double mean2 = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(n);
        double squares = 0.0;
        for (double x : v) squares += (x - mean2) * (x - mean2);
        const double sigma = std::sqrt(squares / static_cast<double>(n - 1));
        benchmark::DoNotOptimize(minimum);
        benchmark::DoNotOptimize(maximum);
        benchmark::DoNotOptimize(mean);
        benchmark::DoNotOptimize(sigma);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * PixelsOf(circle)));
}
BENCHMARK(BM_RegionMinMax_ref)->Unit(benchmark::kMillisecond);

}  // namespace
