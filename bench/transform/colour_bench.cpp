// The colour stage over a 4096 × 4096 frame: intensities to RGB8 pixels
// through the "Grey" working palette (one and three channels), against a plain
// loop of the same index rule (rounding inlined: one conversion instruction)
// and byte copies in this build; and the palette rebuild of every class with
// gamma and a mask, 8-bit and 16-bit.
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "transform/color_converter.h"

namespace {

using namespace orva;

constexpr size_t kPixels = size_t{4096} * 4096;

// Intensities as the scaler leaves them: mostly 0 … 1, some above and below,
// a few that are not numbers.
const std::vector<double>& Intensities(size_t count) {
    static std::vector<double> data;
    if (data.size() < count) {
        data.resize(count);
        std::mt19937_64 rng(11);
        std::uniform_real_distribution<double> any(-0.05, 1.1);
        for (double& v : data) v = rng() % 5000 == 0 ? std::numeric_limits<double>::quiet_NaN() : any(rng);
    }
    return data;
}

std::vector<uint8_t>& Pixels() {
    static std::vector<uint8_t> out(3 * kPixels + 8, 1);
    return out;
}

ColorFormat Format(uint32_t channels, bool wide) {
    ColorFormat f;
    f.flags = 0x40;
    f.bits = 64;
    f.channels = channels;
    f.pixelFormat = wide ? 0x102 : 0x101;
    f.pixelWord = 1;
    f.pixelChannels = 3;
    return f;
}

// A converter showing "Grey" for data of `channels` channels.
ColorConverter& Grey(uint32_t channels) {
    static ColorConverter one(nullptr, 0), three(nullptr, 0);
    ColorConverter& c = channels == 1 ? one : three;
    if (c.row == ColorRowNone) ColorConverterSetFormat(&c, Format(channels, false));
    return c;
}

// The index rule with the rounding inlined (to nearest, ties to even).
inline uint32_t RuleIndex(double v) {
    const double t = v * 255.0;
    if (t >= 510.5) return 511;
    if (!(t >= 0.5)) return 0;
    return static_cast<uint32_t>(_mm_cvtsd_si32(_mm_set_sd(t)));
}

void Finish(benchmark::State& state) {
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kPixels));
}

void BM_ColourRow1_ours(benchmark::State& state) {
    ColorConverter& c = Grey(1);
    const std::vector<double>& in = Intensities(kPixels);
    std::vector<uint8_t>& out = Pixels();
    for (auto _ : state) {
        c.row(out.data(), kPixels, in.data(), &c.palette);
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_ColourRow1_ref(benchmark::State& state) {
    ColorConverter& c = Grey(1);
    const std::vector<double>& in = Intensities(kPixels);
    std::vector<uint8_t>& out = Pixels();
    const uint8_t* palette = c.palette.data;
    for (auto _ : state) {
        uint8_t* o = out.data();
        for (size_t i = 0; i < kPixels; ++i) std::memcpy(o + 3 * i, palette + 3 * RuleIndex(in[i]), 3);
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_ColourRow3_ours(benchmark::State& state) {
    ColorConverter& c = Grey(3);
    const std::vector<double>& in = Intensities(3 * kPixels);
    std::vector<uint8_t>& out = Pixels();
    for (auto _ : state) {
        c.row(out.data(), kPixels, in.data(), &c.palette);
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_ColourRow3_ref(benchmark::State& state) {
    ColorConverter& c = Grey(3);
    const std::vector<double>& in = Intensities(3 * kPixels);
    std::vector<uint8_t>& out = Pixels();
    const uint8_t* palette = c.palette.data;
    for (auto _ : state) {
        uint8_t* o = out.data();
        const double* v = in.data();
        for (size_t i = 0; i < kPixels; ++i, v += 3, o += 3) {
            o[0] = palette[3 * RuleIndex(v[0])];
            o[1] = palette[3 * RuleIndex(v[1]) + 1];
            o[2] = palette[3 * RuleIndex(v[2]) + 2];
        }
        benchmark::ClobberMemory();
    }
    Finish(state);
}

// One rebuild of class `range(0)` (class 0: a 256-entry user palette) on an
// 8-bit (`range(1)` 0) or 16-bit working palette, with gamma, a mask and
// inversion; the gamma alternates, as a step button changes it, so that its
// table is rebuilt every time.
void BM_PaletteRebuild(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    const bool wide = state.range(1) != 0;
    ColorConverter c(nullptr, 0);
    ColorSettings& s = c.Current();
    ReservePaletteEntries(&s.userPalette, 256);
    s.userPalette.count = 256;
    for (size_t i = 0; i < 3 * 256; ++i) s.userPalette.data[i] = static_cast<uint8_t>(i * 7);
    s.correction.colorMask = 0xFFFF00FF;
    s.correction.colorFlags = 0x02;
    ColorConverterSetFormat(&c, Format(1, wide));
    int step = 0;
    for (auto _ : state) {
        s.correction.gamma[0] = (step++ & 1) ? 2.2f : 2.3f;
        RecomputeColourCorrection(&s.correction);
        if (!ColorConverterSelectRow(&c, index)) state.SkipWithError("no palette");
        benchmark::DoNotOptimize(c.palette.data);
    }
    state.SetLabel(ColorClassAt(index)->key);
    state.SetItemsProcessed(int64_t(state.iterations()) * c.palette.WorkingEntries());
}

BENCHMARK(BM_ColourRow1_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColourRow1_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColourRow3_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColourRow3_ref)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaletteRebuild)->ArgsProduct({benchmark::CreateDenseRange(0, 16, 1), {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace
