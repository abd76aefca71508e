// The chart's hot paths against plain loops of the same work:
//   ChartRefresh   the 1-D device's post-pull step for 16 rows x 20480 samples: the range
//                  of all rows and the normalised copy into the sample buffer (the chart's
//                  recompute with it), against a two-pass loop of the same math;
//   RowStatistics  the statistics of a 20480-sample row against a sum and sum-of-squares
//                  loop;
//   ChartDraw      16 curves of 20480 samples with their points in a 900 x 706 view
//                  (needs an X display), against a bare GL loop drawing the same strips
//                  and points with the same state; each redraw ends with glFinish.
// llvmpipe shares the cores: fix LP_NUM_THREADS and compare the pairs of one run, e.g.
//   LP_NUM_THREADS=4 xvfb-run -a -s "-screen 0 1280x1024x24" ./bench_chart
//       --benchmark_enable_random_interleaving=true --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "app/chart_device.h"
#include "app/chart_params.h"
#include "app/chart_window.h"
#include "platform/msg_queue.h"
#include "toolkit/window.h"

namespace {

using namespace orva;

constexpr uint32_t kRows = 16;
constexpr uint32_t kSamples = 20480;
constexpr int32_t kViewWidth = 900, kViewHeight = 706;

std::vector<double> Samples(uint32_t count, uint32_t seed) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> v(count);
    for (uint32_t i = 0; i < count; ++i) v[i] = 100.0 + 20.0 * std::sin(i * 0.001 + seed) + noise(random);
    return v;
}

// A device of a chart holding `rows` pulled rows, as a pull would leave it.
Chart1DDevice* PulledDevice(ChartWindow* chart, uint32_t rows, uint32_t seed) {
    auto* d = new Chart1DDevice(chart, nullptr);
    d->input.count = rows;
    TypedFrameBuffer& image = d->result.image;
    image.SetTypeAndCount(0x40, 1);
    image.AllocImageBuffer(kSamples, rows);
    auto* out = static_cast<double*>(image.data);
    for (uint32_t r = 0; r < rows; ++r) {
        const std::vector<double> v = Samples(kSamples, seed + r);
        std::copy(v.begin(), v.end(), out + static_cast<size_t>(r) * kSamples);
    }
    d->lastPullCode = 3;
    d->requestedWidth = static_cast<int32_t>(kSamples);
    return d;
}

// ---- ChartRefresh ---------------------------------------------------------------------------

void BM_ChartRefresh_ours(benchmark::State& state) {
    ChartWindow chart(nullptr);
    Chart1DDevice* d = PulledDevice(&chart, kRows, 1);
    chart.current = chart.latest = d;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d->ChartRefresh());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kRows * kSamples);
    chart.current = chart.latest = nullptr;
    d->Release();
}
BENCHMARK(BM_ChartRefresh_ours)->Unit(benchmark::kMicrosecond);

void BM_ChartRefresh_ref(benchmark::State& state) {
    std::vector<double> in(static_cast<size_t>(kRows) * kSamples), out(in.size());
    for (uint32_t r = 0; r < kRows; ++r) {
        const std::vector<double> v = Samples(kSamples, 1 + r);
        std::copy(v.begin(), v.end(), in.begin() + static_cast<ptrdiff_t>(r) * kSamples);
    }
    for (auto _ : state) {
        double lo = DBL_MAX, hi = -DBL_MAX;
        for (double v : in) {
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        const double scale = 1.0 / (hi - lo);
        for (size_t i = 0; i < in.size(); ++i) out[i] = (in[i] - lo) * scale;
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kRows * kSamples);
}
BENCHMARK(BM_ChartRefresh_ref)->Unit(benchmark::kMicrosecond);

// ---- RowStatistics ---------------------------------------------------------------------------

void BM_RowStatistics_ours(benchmark::State& state) {
    const std::vector<double> row = Samples(kSamples, 7);
    RowStats stats;
    for (auto _ : state) {
        RowStatistics(row.data(), row.size(), &stats, nullptr);
        benchmark::DoNotOptimize(stats);
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_RowStatistics_ours)->Unit(benchmark::kMicrosecond);

void BM_RowStatistics_ref(benchmark::State& state) {
    const std::vector<double> row = Samples(kSamples, 7);
    for (auto _ : state) {
        double s = 0.0, q = 0.0;
        for (double v : row) {
            s += v;
            q += v * v;
        }
        const double n = static_cast<double>(row.size());
        const double mean = s / n;
        double sigma = std::sqrt((q - n * mean * mean) / (n - 1.0));
        benchmark::DoNotOptimize(mean);
        benchmark::DoNotOptimize(sigma);
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_RowStatistics_ref)->Unit(benchmark::kMicrosecond);

// ---- ChartDraw --------------------------------------------------------------------------------

gWindow* BenchWindow() {
    static gWindow* window = [] {
        gWindow* w = nullptr;
        if (std::getenv("DISPLAY") == nullptr || gInit() == nullptr) return w;
        w = gWinCreateRec(0, 0, kViewWidth + 40, kViewHeight + 60, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        if (w == nullptr || !gWinOpen(w, "Chart Tools", kStyleShown)) return static_cast<gWindow*>(nullptr);
        platform::Msg msg;
        for (int i = 0; i < 100 && platform::PeekMessage(&msg, true); ++i) platform::DispatchMessage(&msg);
        return w;
    }();
    if (window == nullptr || !gWinMakeCurrent(window)) return nullptr;
    glViewport(0, 0, window->clientWidth, window->clientHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, window->clientWidth, window->clientHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return window;
}

// A chart of 16 one-row curves drawn as lines with points.
struct DrawnChart {
    DrawnChart() : chart(new ChartWindow(nullptr)) {
        chart->LayoutPlot(kViewWidth, kViewHeight);
        for (uint32_t c = 0; c < kRows; ++c) {
            Chart1DDevice* d = PulledDevice(chart, 1, 100 + c);
            d->style.flags = kCurveContrast | kCurvePoints;
            CurveStyleSelect(&d->style);
            d->older = chart->latest;
            if (chart->latest != nullptr) chart->latest->newer = d;
            chart->latest = d;
            if (chart->current == nullptr) chart->current = d;
            d->ChartRefresh();
        }
        chart->RecomputeSamples();
        chart->RecomputeRange();
        chart->Layout();
    }
    ~DrawnChart() {
        DeviceViewBase* d = chart->latest;
        chart->current = chart->latest = nullptr;
        while (d != nullptr) {
            DeviceViewBase* older = d->older;
            d->Release();
            d = older;
        }
        chart->Release();
    }
    ChartWindow* chart;
};

void BM_ChartDraw_ours(benchmark::State& state) {
    gWindow* w = BenchWindow();
    if (w == nullptr) {
        state.SkipWithError("no X display");
        return;
    }
    DrawnChart drawn;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        drawn.chart->draw(drawn.chart);
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * kRows * kSamples);
}
BENCHMARK(BM_ChartDraw_ours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ChartDraw_ref(benchmark::State& state) {
    gWindow* w = BenchWindow();
    if (w == nullptr) {
        state.SkipWithError("no X display");
        return;
    }
    DrawnChart drawn;
    const ChartWindow* c = drawn.chart;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        glPushMatrix();
        glTranslated(c->plotLeft, c->plotTop + c->plotHeight + 1.5, 0.0);
        glRotated(180.0, 1.0, 0.0, 0.0);
        glTranslated(1.5, 0.0, 0.0);
        for (DeviceViewBase* base = c->latest; base != nullptr; base = base->older) {
            const auto* d = static_cast<const Chart1DDevice*>(base);
            const auto* y = static_cast<const double*>(d->style.data.cachedFrame);
            glPushMatrix();
            glTranslated(0.0, d->yShift, 0.0);
            glScaled(c->pixelsPerSample, d->yScale, 1.0);
            glColor3ub(0, 0, 0);
            glLineWidth(1.0f);
            glBegin(GL_LINE_STRIP);
            glVertex2d(0.0, y[0]);
            for (uint32_t k = 0; k < kSamples; ++k) glVertex2d(0.5 + k, y[k]);
            glEnd();
            glColor3ub(0xA0, 0, 0);
            glPointSize(3.0f);
            glBegin(GL_POINTS);
            for (uint32_t k = 0; k < kSamples; ++k) glVertex2d(0.5 + k, y[k]);
            glEnd();
            glPopMatrix();
        }
        glPopMatrix();
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * kRows * kSamples);
}
BENCHMARK(BM_ChartDraw_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
