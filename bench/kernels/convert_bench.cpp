// Conversion, packing and byte-swap kernels on a 4096 x 4096 frame, each beside a
// memcpy that moves the same number of bytes (half the input + output bytes are
// copied, so the copy reads and writes that many bytes in total).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "data/byte_swap.h"
#include "data/dconv.h"
#include "data/scale_inplace.h"

namespace orva {
namespace {

constexpr int64_t kSamples = 4096 * 4096;

using Bytes = std::vector<unsigned char>;

// Input data with realistic values of the given element width.
Bytes RandomI16(int64_t n) {
    Bytes b(static_cast<size_t>(n) * 2);
    std::mt19937 rng(1);
    for (int64_t i = 0; i < n; ++i) {
        const int16_t v = static_cast<int16_t>(rng());
        std::memcpy(&b[static_cast<size_t>(i) * 2], &v, 2);
    }
    return b;
}

template <class T>
Bytes RandomReals(int64_t n, double lo, double hi) {
    Bytes b(static_cast<size_t>(n) * sizeof(T));
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> dist(lo, hi);
    for (int64_t i = 0; i < n; ++i) {
        const T v = static_cast<T>(dist(rng));
        std::memcpy(&b[static_cast<size_t>(i) * sizeof(T)], &v, sizeof(T));
    }
    return b;
}

// The reference: a memcpy of half of the case's input + output bytes.
void RunRef(benchmark::State& state, int64_t caseBytes) {
    const size_t half = static_cast<size_t>(caseBytes / 2);
    Bytes src(half, 1), dst(half, 0);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), half);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * caseBytes);
}

void RunConvert(benchmark::State& state, const Bytes& in, ElementType inType, ElementType outType,
                double scale, double zero) {
    DConv d;
    ScaleZero p;
    p.scale = scale;
    p.zero = zero;
    DConvSelectIn(d, p, inType, outType);
    if (d.inputType == 0 || d.outputType == 0) {
        state.SkipWithError("no kernel");
        return;
    }
    Bytes out(static_cast<size_t>(kSamples) * ElementSize(outType), 0);
    for (auto _ : state) {
        d.kernel(in.data(), out.data(), static_cast<int32_t>(kSamples), p);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(in.size() + out.size()));
}

int64_t ConvertBytes(ElementType in, ElementType out) {
    return kSamples * static_cast<int64_t>(ElementSize(in) + ElementSize(out));
}

// Big-endian 16-bit integers to scaled 64-bit reals (the usual FITS read).
void BM_BigEndianI16ToF64Scaled_ours(benchmark::State& state) {
    RunConvert(state, RandomI16(kSamples), kTypeI16 | kElemSwapped, kTypeF64, 0.5, 32768.0);
}
void BM_BigEndianI16ToF64Scaled_ref(benchmark::State& state) { RunRef(state, ConvertBytes(kTypeI16, kTypeF64)); }

void BM_I16ToF64_ours(benchmark::State& state) { RunConvert(state, RandomI16(kSamples), kTypeI16, kTypeF64, 1, 0); }
void BM_I16ToF64_ref(benchmark::State& state) { RunRef(state, ConvertBytes(kTypeI16, kTypeF64)); }

void BM_F32ToF64_ours(benchmark::State& state) {
    RunConvert(state, RandomReals<float>(kSamples, -1e6, 1e6), kTypeF32, kTypeF64, 1, 0);
}
void BM_F32ToF64_ref(benchmark::State& state) { RunRef(state, ConvertBytes(kTypeF32, kTypeF64)); }

// Saturating conversions of 64-bit reals, truncating (conversion kernels).
void BM_F64ToI16Saturate_ours(benchmark::State& state) {
    RunConvert(state, RandomReals<double>(kSamples, -50000, 50000), kTypeF64, kTypeI16, 1.5, -3.0);
}
void BM_F64ToI16Saturate_ref(benchmark::State& state) { RunRef(state, ConvertBytes(kTypeF64, kTypeI16)); }
void BM_F64ToU8Saturate_ours(benchmark::State& state) {
    RunConvert(state, RandomReals<double>(kSamples, -100, 400), kTypeF64, kTypeU8, 1, 0);
}
void BM_F64ToU8Saturate_ref(benchmark::State& state) { RunRef(state, ConvertBytes(kTypeF64, kTypeU8)); }

// Rounding and saturating pack of 64-bit reals into integers in the same buffer.
// The reals are restored outside the timed region before each pass.
void RunPack(benchmark::State& state, ElementType outType, double lo, double hi) {
    const Bytes original = RandomReals<double>(kSamples, lo, hi);
    Bytes buf = original;
    PackKernel pack = ScaleInPlaceSelectAlt(outType, 0);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(buf.data(), original.data(), buf.size());
        state.ResumeTiming();
        pack(buf.data(), static_cast<int32_t>(kSamples), nullptr);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * ConvertBytes(kTypeF64, outType));
}
void BM_PackF64ToI16Round_ours(benchmark::State& state) { RunPack(state, kTypeI16, -50000, 50000); }
void BM_PackF64ToI16Round_ref(benchmark::State& state) { RunRef(state, ConvertBytes(kTypeF64, kTypeI16)); }
void BM_PackF64ToU8Round_ours(benchmark::State& state) { RunPack(state, kTypeU8, -100, 400); }
void BM_PackF64ToU8Round_ref(benchmark::State& state) { RunRef(state, ConvertBytes(kTypeF64, kTypeU8)); }

// In-place scaling with rounding and saturation of 16-bit integers.
void BM_ScaleI16Round_ours(benchmark::State& state) {
    Bytes buf = RandomI16(kSamples);
    ScaleZero p;
    p.scale = 1.0000001;
    p.zero = 0.25;
    ScaleInPlaceKernel k = ScaleInPlaceSelect(p, kTypeI16, 0);
    for (auto _ : state) {
        k(buf.data(), static_cast<int32_t>(kSamples), p);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * ConvertBytes(kTypeI16, kTypeI16));
}
void BM_ScaleI16Round_ref(benchmark::State& state) { RunRef(state, ConvertBytes(kTypeI16, kTypeI16)); }

// Byte swaps in place of a frame of 2-, 4- and 8-byte samples.
void RunSwap(benchmark::State& state, int size) {
    Bytes buf(static_cast<size_t>(kSamples) * size, 3);
    SwapRoutine r = size == 2 ? &ByteSwap2 : size == 4 ? &ByteSwap4 : &ByteSwap8;
    for (auto _ : state) {
        r(buf.data(), kSamples);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<int64_t>(buf.size()));
}
void BM_Swap2_ours(benchmark::State& state) { RunSwap(state, 2); }
void BM_Swap2_ref(benchmark::State& state) { RunRef(state, 2 * kSamples * 2); }
void BM_Swap4_ours(benchmark::State& state) { RunSwap(state, 4); }
void BM_Swap4_ref(benchmark::State& state) { RunRef(state, 2 * kSamples * 4); }
void BM_Swap8_ours(benchmark::State& state) { RunSwap(state, 8); }
void BM_Swap8_ref(benchmark::State& state) { RunRef(state, 2 * kSamples * 8); }

// One channel of a frame of 3-channel pixels (stride 3): the swap touches every
// cache line of the frame, so the traffic is the whole frame read and written.
void RunSwapStrided(benchmark::State& state, int size) {
    Bytes buf(static_cast<size_t>(kSamples) * 3 * size, 3);
    StridedSwapRoutine r = CopySelect(static_cast<uint32_t>(size), 3, 1);
    for (auto _ : state) {
        r(buf.data(), kSamples, 3);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<int64_t>(buf.size()));
}
void BM_Swap2Stride3_ours(benchmark::State& state) { RunSwapStrided(state, 2); }
void BM_Swap2Stride3_ref(benchmark::State& state) { RunRef(state, 2 * kSamples * 3 * 2); }
void BM_Swap4Stride3_ours(benchmark::State& state) { RunSwapStrided(state, 4); }
void BM_Swap4Stride3_ref(benchmark::State& state) { RunRef(state, 2 * kSamples * 3 * 4); }
void BM_Swap8Stride3_ours(benchmark::State& state) { RunSwapStrided(state, 8); }
void BM_Swap8Stride3_ref(benchmark::State& state) { RunRef(state, 2 * kSamples * 3 * 8); }

#define ORVA_CASE(name)                                                    \
    BENCHMARK(BM_##name##_ours)->Unit(benchmark::kMillisecond)->UseRealTime(); \
    BENCHMARK(BM_##name##_ref)->Unit(benchmark::kMillisecond)->UseRealTime()

ORVA_CASE(BigEndianI16ToF64Scaled);
ORVA_CASE(I16ToF64);
ORVA_CASE(F32ToF64);
ORVA_CASE(F64ToI16Saturate);
ORVA_CASE(F64ToU8Saturate);
ORVA_CASE(PackF64ToI16Round);
ORVA_CASE(PackF64ToU8Round);
ORVA_CASE(ScaleI16Round);
ORVA_CASE(Swap2);
ORVA_CASE(Swap4);
ORVA_CASE(Swap8);
ORVA_CASE(Swap2Stride3);
ORVA_CASE(Swap4Stride3);
ORVA_CASE(Swap8Stride3);

}  // namespace
}  // namespace orva
