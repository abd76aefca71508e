// Range scans, the statistics accumulator and the channel-combining read kernels over
// 4096 × 4096 samples. Each `_ref` moves the same memory as its `_ours`: a read-only
// sum over the same bytes for the scans, a memcpy of half the input + output bytes for
// the channel kernels.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "data/channel_kernels.h"
#include "data/minmax.h"

namespace {

using namespace orva;

constexpr size_t kSamples = size_t{4096} * 4096;

const std::vector<double>& RealData() {
    static const std::vector<double> data = [] {
        std::vector<double> v(kSamples);
        std::mt19937_64 rng(1);
        // Whole values, as read from integer files: the accumulator's type test runs
        // over every value.
        for (auto& x : v) x = static_cast<double>(static_cast<int32_t>(rng() % 200001) - 100000);
        return v;
    }();
    return data;
}

template <class T>
const std::vector<T>& IntData() {
    static const std::vector<T> data = [] {
        std::vector<T> v(kSamples);
        std::mt19937_64 rng(2);
        for (auto& x : v) x = static_cast<T>(rng());
        return v;
    }();
    return data;
}

// The fastest read-only pass over a run of bytes: a sum of its 64-bit words.
uint64_t SumWords(const void* data, size_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    uint64_t s = 0;
    for (size_t i = 0; i + 8 <= bytes; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        s += w;
    }
    return s;
}

// ---- Scans ----------------------------------------------------------------------------------

template <class T>
void ScanOurs(benchmark::State& state, const std::vector<T>& v, ElementType type) {
    const MinMaxKernel scan = SelectMinMaxKernel(type);
    for (auto _ : state) {
        MinMaxPair pair{1.7976931348623157e308, -1.7976931348623157e308};
        scan(v.data(), static_cast<uint32_t>(v.size()), 0, 1, &pair);
        benchmark::DoNotOptimize(pair);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.size() * sizeof(T)));
}

template <class T>
void ScanRef(benchmark::State& state, const std::vector<T>& v) {
    for (auto _ : state) {
        uint64_t s = SumWords(v.data(), v.size() * sizeof(T));
        benchmark::DoNotOptimize(s);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.size() * sizeof(T)));
}

void BM_ScanF64_ours(benchmark::State& state) { ScanOurs(state, RealData(), kTypeF64); }
void BM_ScanF64_ref(benchmark::State& state) { ScanRef(state, RealData()); }
void BM_ScanI16_ours(benchmark::State& state) { ScanOurs(state, IntData<int16_t>(), kTypeI16); }
void BM_ScanI16_ref(benchmark::State& state) { ScanRef(state, IntData<int16_t>()); }

void BM_InfoReal64_ours(benchmark::State& state) {
    const std::vector<double>& v = RealData();
    for (auto _ : state) {
        DataInfo info;
        DataInfoStart(&info, v.size());
        InfoKernelReal64(v.data(), static_cast<int32_t>(v.size()), &info);
        benchmark::DoNotOptimize(info);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.size() * sizeof(double)));
}
void BM_InfoReal64_ref(benchmark::State& state) { ScanRef(state, RealData()); }

BENCHMARK(BM_ScanF64_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanF64_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanI16_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanI16_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoReal64_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoReal64_ref)->Unit(benchmark::kMillisecond);

// ---- Channel kernels ----------------------------------------------------------------------------

// 16-bit unsigned samples, `channels` to a pixel, in summing or weighted mode.
void ChannelOurs(benchmark::State& state, uint32_t channels, int32_t mode) {
    const std::vector<uint16_t>& v = IntData<uint16_t>();
    const size_t pixels = v.size() / channels;
    std::vector<double> weights(channels);
    for (uint32_t c = 0; c < channels; ++c) weights[c] = 0.5 + 0.25 * c;
    ChannelParams p;
    p.elementType = kTypeU16;
    p.elementSize = 2;
    p.channelCount = channels;
    p.mode = mode;
    p.weights = weights.data();
    p.weightCount = channels;
    ChannelKernelChoice k;
    if (!ChannelKernelChoose(&p, &k)) {
        state.SkipWithError("no kernel");
        return;
    }
    std::vector<double> out(pixels);
    for (auto _ : state) {
        k.read(v.data(), out.data(), static_cast<uint32_t>(pixels), &p);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(pixels * channels * sizeof(uint16_t) + pixels * sizeof(double)));
}

void ChannelRef(benchmark::State& state, uint32_t channels) {
    const size_t pixels = kSamples / channels;
    const size_t total = pixels * channels * sizeof(uint16_t) + pixels * sizeof(double);
    std::vector<unsigned char> src(total / 2, 1), dst(total / 2);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), total / 2);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(total));
}

void BM_ChannelSum1_ours(benchmark::State& s) { ChannelOurs(s, 1, kChannelSum); }
void BM_ChannelSum1_ref(benchmark::State& s) { ChannelRef(s, 1); }
void BM_ChannelSum3_ours(benchmark::State& s) { ChannelOurs(s, 3, kChannelSum); }
void BM_ChannelSum3_ref(benchmark::State& s) { ChannelRef(s, 3); }
void BM_ChannelSum16_ours(benchmark::State& s) { ChannelOurs(s, 16, kChannelSum); }
void BM_ChannelSum16_ref(benchmark::State& s) { ChannelRef(s, 16); }
void BM_ChannelWeighted1_ours(benchmark::State& s) { ChannelOurs(s, 1, kChannelWeighted); }
void BM_ChannelWeighted1_ref(benchmark::State& s) { ChannelRef(s, 1); }
void BM_ChannelWeighted3_ours(benchmark::State& s) { ChannelOurs(s, 3, kChannelWeighted); }
void BM_ChannelWeighted3_ref(benchmark::State& s) { ChannelRef(s, 3); }
void BM_ChannelWeighted16_ours(benchmark::State& s) { ChannelOurs(s, 16, kChannelWeighted); }
void BM_ChannelWeighted16_ref(benchmark::State& s) { ChannelRef(s, 16); }

BENCHMARK(BM_ChannelSum1_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelSum1_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelSum3_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelSum3_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelSum16_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelSum16_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelWeighted1_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelWeighted1_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelWeighted3_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelWeighted3_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelWeighted16_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelWeighted16_ref)->Unit(benchmark::kMillisecond);

}  // namespace
