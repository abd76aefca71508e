// The value scaling kernels over a 4096 × 4096 frame of doubles, in and out.
// "range" is measured against a memcpy of the same bytes (its floor is the memory
// traffic); "pow" against the plain pow loop; "log", "exp", "bitsshift" and
// "bytewap" against a plain loop of the same math in this build.
#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "transform/scale_kernels.h"

namespace {

using namespace orva;

constexpr size_t kSamples = size_t{4096} * 4096;
constexpr double kNoData = -DBL_MAX;

// Whole values 0 … 65535, as read from a 16-bit camera, with a few samples without data.
const std::vector<double>& Input() {
    static const std::vector<double> data = [] {
        std::vector<double> v(kSamples);
        std::mt19937_64 rng(7);
        for (auto& x : v) x = rng() % 1000 == 0 ? kNoData : static_cast<double>(rng() % 65536);
        return v;
    }();
    return data;
}

std::vector<double>& Output() {
    static std::vector<double> out(kSamples, 1.0);
    return out;
}

// Min 0, Max 65535. The values come through volatiles so that the plain loops
// cannot fold them into their code: both sides do the same arithmetic.
ScaleParameters Params(double v1, double v2, uint32_t v3 = 2, uint32_t v4 = 0xFF) {
    static volatile double min = 0.0, max = 65535.0;
    volatile double values[2] = {v1, v2};
    volatile uint32_t words[2] = {v3, v4};
    ScaleParameters p;
    p.scale = 1.0 / (max - min);
    p.offset = p.scale * min;
    p.value1 = values[0];
    p.value2 = values[1];
    p.value3 = words[0];
    p.value4 = words[1];
    return p;
}

void Finish(benchmark::State& state) {
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kSamples));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSamples * sizeof(double)));
}

void RunKernel(benchmark::State& state, ScaleKernel kernel, const ScaleParameters& p) {
    const std::vector<double>& in = Input();
    std::vector<double>& out = Output();
    for (auto _ : state) {
        kernel(out.data(), in.size(), in.data(), &p);
        benchmark::ClobberMemory();
    }
    Finish(state);
}

template <class Body>
void RunRef(benchmark::State& state, Body body) {
    const std::vector<double>& in = Input();
    std::vector<double>& out = Output();
    for (auto _ : state) {
        body(out.data(), in.data(), in.size());
        benchmark::ClobberMemory();
    }
    Finish(state);
}

// ---- "range" against memcpy --------------------------------------------------------------

void BM_ScaleRange_ours(benchmark::State& state) { RunKernel(state, ScaleKernelRange, Params(1.0, 1.0)); }
void BM_ScaleRange_ref(benchmark::State& state) {
    RunRef(state, [](double* out, const double* in, size_t n) { std::memcpy(out, in, n * sizeof(double)); });
}

// ---- "pow" (Value2 0.5) against the plain pow loop ---------------------------------------

void BM_ScalePow_ours(benchmark::State& state) { RunKernel(state, ScaleKernelPow, Params(1.0, 0.5)); }
void BM_ScalePow_ref(benchmark::State& state) {
    const ScaleParameters p = Params(1.0, 0.5);
    RunRef(state, [&](double* out, const double* in, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const double r = in[i] * p.scale - p.offset;
            double y = (in[i] == kNoData || r <= 0.0) ? 0.0 : std::pow(r, p.value2);
            out[i] = std::isfinite(y) ? y : 0.0;
        }
    });
}

// ---- The kernels whose per-sample work is the same as a plain loop's ---------------------

void BM_ScaleLog_ours(benchmark::State& state) { RunKernel(state, ScaleKernelLog, Params(0.7, 24.0)); }
void BM_ScaleLog_ref(benchmark::State& state) {
    const ScaleParameters p = Params(0.7, 24.0);
    RunRef(state, [&](double* out, const double* in, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const double t = p.value2 * (in[i] * p.scale - p.offset);
            out[i] = (in[i] == kNoData || !(t > 0.0)) ? 0.0 : p.value1 * std::log10(t);
        }
    });
}

void BM_ScaleExp_ours(benchmark::State& state) { RunKernel(state, ScaleKernelExp, Params(0.01, 9.14)); }
void BM_ScaleExp_ref(benchmark::State& state) {
    const ScaleParameters p = Params(0.01, 9.14);
    RunRef(state, [&](double* out, const double* in, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const double t = p.value2 * (in[i] * p.scale - p.offset);
            double y = 0.0;
            if (in[i] != kNoData && t > 0.0) {
                y = t > 709.0895657 ? p.value1 * 8.988465674311579e307 : p.value1 * (std::exp(t) - 1.0);
                y = y >= DBL_MAX ? DBL_MAX : (y <= -DBL_MAX ? -DBL_MAX : y);
            }
            out[i] = y;
        }
    });
}

void BM_ScaleBitsShift_ours(benchmark::State& state) {
    RunKernel(state, ScaleKernelBitsShift, Params(1.0, 1.0));
}
void BM_ScaleBitsShift_ref(benchmark::State& state) {
    const ScaleParameters p = Params(1.0, 1.0);
    RunRef(state, [&](double* out, const double* in, size_t n) {
        const double f = std::ldexp(p.value1, int(p.value3 & 31) + 1) / 255.0;
        for (size_t i = 0; i < n; ++i) {
            const double t = (in[i] * (p.scale * p.value2) - p.offset * p.value2) * 255.0;
            uint32_t k = 0;
            if (t >= 4294967295.0) k = 0xFFFFFFFFu;
            else if (t >= 0.5) k = static_cast<uint32_t>(std::llrint(t));
            out[i] = in[i] == kNoData ? 0.0 : double((k >> (p.value3 & 31)) & p.value4) * f;
        }
    });
}

void BM_ScaleByteSwap_ours(benchmark::State& state) {
    RunKernel(state, ScaleKernelByteSwap, Params(1.0, 0.1));
}
void BM_ScaleByteSwap_ref(benchmark::State& state) {
    const ScaleParameters p = Params(1.0, 0.1);
    RunRef(state, [&](double* out, const double* in, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            double t = p.value2 * (in[i] * p.scale - p.offset);
            t = t > 1.0 ? 1.0 : t;
            const double w = t * 2147483647.0;
            const int32_t k = w != w ? 0 : (w <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(w));
            const auto s = static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(k)));
            out[i] = in[i] == kNoData ? 0.0 : double(s) * p.value1 * 4.656612875245797e-10;
        }
    });
}

BENCHMARK(BM_ScaleRange_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleRange_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScalePow_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScalePow_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleLog_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleLog_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleExp_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleExp_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleBitsShift_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleBitsShift_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleByteSwap_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleByteSwap_ref)->Unit(benchmark::kMillisecond);

}  // namespace
