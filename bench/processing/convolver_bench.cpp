// The convolution filter's 3 x 3 kernels on a filled 4096 x 4096 frame of one or
// three channels of 64-bit reals (no pull: the kernel alone), single-threaded.
// References: OpenCV's
//   cv::filter2D(src, dst, CV_64F, K, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE)
// with K the normalised matrix, and for the mean
//   cv::blur(src, dst, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE),
// with cv::setNumThreads(1). The blank variant (1 % of the samples without data)
// is measured against the plain kernel and against filter2D on the same data. Rates
// are pixels per second.
//
// The argument is the channel count (1 or 3). On a shared machine run the pairs
// interleaved, e.g.
//   bench_processing --benchmark_filter=Convolve --benchmark_repetitions=5
//                    --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <map>
#include <utility>
#include <vector>

#include "processing/modules/convolver_module.h"

#ifdef ORVA_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace orva;

constexpr int kSide = 4096;

// A frame of C channels with values in [-1000, 1000); `blanks` of the samples
// without data. Made once per kind and kept (a frame takes a while to fill).
const std::vector<double>& Frame(int channels, double blanks) {
    static std::map<std::pair<int, double>, std::vector<double>> frames;
    std::vector<double>& v = frames[{channels, blanks}];
    if (!v.empty()) return v;
    v.resize(static_cast<size_t>(kSide) * kSide * channels);
    uint64_t seed = 12345;
    auto next = [&] {  // splitmix64
        uint64_t z = (seed += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1p-53;
    };
    for (double& x : v) x = next() < blanks ? kConvolverBlank : next() * 2000.0 - 1000.0;
    return v;
}

// A state prepared with the named preset for C channels.
std::unique_ptr<ConvolverState> Prepared(const char* name, int channels) {
    auto state = std::make_unique<ConvolverState>();
    state->channels = channels;
    const ConvolverPresetSet& set = ConvolverBuiltinPresets();
    for (int g = 0; g < set.groupCount; ++g)
        for (int p = 0; p < set.groups[g].count; ++p)
            if (std::strcmp(set.groups[g].presets[p].name, name) == 0) {
                state->currentGroup = g;
                state->currentPreset = p;
            }
    ConvolverPrepare(state.get(), nullptr, 3);
    return state;
}

ConvolverBlock WholeFrame(const std::vector<double>& in, std::vector<double>& out, int channels) {
    ConvolverBlock b;
    b.input = in.data();
    b.inputStride = static_cast<size_t>(kSide) * channels;
    b.inputWidth = b.inputHeight = kSide;
    b.output = out.data();
    b.outputStride = b.inputStride;
    b.width = b.height = kSide;
    return b;
}

void RunOurs(benchmark::State& bm, const char* preset, double blanks, bool blankKernel) {
    const int channels = static_cast<int>(bm.range(0));
    const std::vector<double>& in = Frame(channels, blanks);
    std::vector<double> out(in.size());
    auto state = Prepared(preset, channels);
    const ConvolverBlock block = WholeFrame(in, out, channels);
    const ConvolverKernelFn kernel = blankKernel ? state->blank : state->plain;
    for (auto _ : bm) {
        if (kernel(state.get(), &block) != 0) bm.SkipWithError("kernel failed");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    bm.SetItemsProcessed(bm.iterations() * int64_t{kSide} * kSide);
}

#ifdef ORVA_HAVE_OPENCV
void RunFilter2D(benchmark::State& bm, const char* preset, double blanks = 0.0) {
    cv::setNumThreads(1);
    const int channels = static_cast<int>(bm.range(0));
    const std::vector<double>& in = Frame(channels, blanks);
    auto state = Prepared(preset, channels);
    const cv::Mat src(kSide, kSide, CV_64FC(channels), const_cast<double*>(in.data()));
    cv::Mat dst(kSide, kSide, CV_64FC(channels));
    const cv::Mat k(3, 3, CV_64F, state->matrix);
    for (auto _ : bm) {
        cv::filter2D(src, dst, CV_64F, k, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    bm.SetItemsProcessed(bm.iterations() * int64_t{kSide} * kSide);
}
#endif

// ---- Weighted: "Contrast" (sum 1), "Blur" (scaled by 0.1), "Edge -8" (sum 0) ----------------

void BM_ConvolveContrast_ours(benchmark::State& bm) { RunOurs(bm, "Contrast", 0.0, false); }
void BM_ConvolveBlur_ours(benchmark::State& bm) { RunOurs(bm, "Blur", 0.0, false); }
void BM_ConvolveEdge8_ours(benchmark::State& bm) { RunOurs(bm, "Edge -8", 0.0, false); }
void BM_ConvolveMean_ours(benchmark::State& bm) { RunOurs(bm, "Blur | Mean", 0.0, false); }
BENCHMARK(BM_ConvolveContrast_ours)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvolveBlur_ours)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvolveEdge8_ours)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvolveMean_ours)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef ORVA_HAVE_OPENCV
void BM_ConvolveContrast_ref(benchmark::State& bm) { RunFilter2D(bm, "Contrast"); }
void BM_ConvolveBlur_ref(benchmark::State& bm) { RunFilter2D(bm, "Blur"); }
void BM_ConvolveEdge8_ref(benchmark::State& bm) { RunFilter2D(bm, "Edge -8"); }
BENCHMARK(BM_ConvolveContrast_ref)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvolveBlur_ref)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvolveEdge8_ref)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvolveMean_ref(benchmark::State& bm) {
    cv::setNumThreads(1);
    const int channels = static_cast<int>(bm.range(0));
    const std::vector<double>& in = Frame(channels, 0.0);
    const cv::Mat src(kSide, kSide, CV_64FC(channels), const_cast<double*>(in.data()));
    cv::Mat dst(kSide, kSide, CV_64FC(channels));
    for (auto _ : bm) {
        cv::blur(src, dst, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    bm.SetItemsProcessed(bm.iterations() * int64_t{kSide} * kSide);
}
BENCHMARK(BM_ConvolveMean_ref)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// ---- Samples without data: the blank kernel against the plain one on the same data --------

void BM_ConvolveBlank_ours(benchmark::State& bm) { RunOurs(bm, "Contrast", 0.01, true); }
void BM_ConvolveBlank_ref(benchmark::State& bm) { RunOurs(bm, "Contrast", 0.01, false); }
BENCHMARK(BM_ConvolveBlank_ours)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvolveBlank_ref)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
#ifdef ORVA_HAVE_OPENCV
// OpenCV's filter2D on the same data: it has no rule for samples without data and takes
// the marker as a value, so this is the least OpenCV would do for the blank kernel's work.
void BM_ConvolveBlank_opencv(benchmark::State& bm) { RunFilter2D(bm, "Contrast", 0.01); }
BENCHMARK(BM_ConvolveBlank_opencv)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
