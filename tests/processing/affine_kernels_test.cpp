// The affine resampling kernels: the cubic weights and their table, every kernel
// against the plain double reference over zooms, turns and mirrors, any tiling of an
// output frame against the whole request, the baseline loops against the AVX2 ones,
// the edge and background rules by hand-computed values, the invalid-samples flag,
// and the result codes.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "affine_test_support.h"
#include "data/kernel_util.h"

namespace orva {
namespace {

using namespace testing_util;

constexpr uint32_t kD = 0x40, kF = 0x10;

FilterProcessFn KernelFor(uint32_t type, uint32_t channels, int mode) {
    const AffineKernelRow& row = AffineKernelTable[type == kD ? 0 : 1];
    const AffineKernelSet* set = channels == 1 ? row.oneChannel : channels == 3 ? row.threeChannels : row.anyChannels;
    return set->modes[mode - 1].slots[0];
}

double Outside(uint32_t type) { return type == kD ? -DBL_MAX : 0.0; }

// Pulls the whole output frame with the kernel; empty when the kernel failed.
std::vector<double> WholeFrame(AffineChain& chain, FilterProcessFn kernel, AffineSize* size, PullResult* out) {
    *size = chain.OutputSize();
    if (chain.Run(kernel, 0, 0, static_cast<int32_t>(size->width), static_cast<int32_t>(size->height), out) != 0)
        return {};
    return SamplesOf(out->image);
}

TEST(AffineKernelsTest, CubicWeightsAndTheTableLookup) {
    EXPECT_EQ(std::tuple(CubicBSplineWeight(-1.0), CubicBSplineWeight(0.0), CubicBSplineWeight(1.0)),
              std::tuple(1.0, 4.0, 1.0));
    for (double t : {-2.0, 2.0, -2.5, 3.0, double(NAN)}) EXPECT_EQ(CubicBSplineWeight(t), 0.0) << t;
    for (double t = -2.0; t < 2.0; t += 0.0371) EXPECT_NEAR(CubicBSplineWeight(t), Bspline6(t), 1e-13) << t;
    for (size_t i = 0; i < 512; ++i) {
        const double t = static_cast<double>(i) / 128.0 - 2.0;
        EXPECT_EQ(CubicWeightTableD[i], CubicBSplineWeight(t)) << i;
        EXPECT_EQ(CubicWeightTableF[i], static_cast<float>(CubicWeightTableD[i])) << i;
    }
    struct Case {
        double t;
        int32_t index;
    } cases[] = {
        {-2.0, 0},       {-2.5, 0},   {-1e300, 0},     {1.9921875, 510}, {1.995, 511},
        {2.0, 511},      {7.0, 511},  {0.0, 256},      {-2.0 + 1.0 / 128, 0},  // p = 1, odd: the entry below
        {-2.0 + 2.3 / 128, 2},  {-2.0 + 3.0 / 128, 2}, {-2.0 + 4.0 / 128, 4},
        {double(NAN), 0}, {double(INFINITY), 0}, {-double(INFINITY), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CubicTableIndex(c.t), c.index) << c.t;
}

struct KernelCase {
    Geometry g;
    const char* name;
};

const KernelCase kGeometries[] = {
    {{2, 2}, "zoom 2"},
    {{0.5, 0.5}, "zoom 0.5"},
    {{1, 2}, "zoom 1 x 2"},
    {{1.7, 0.6, 0, true}, "zoom 1.7 x 0.6, mirrored on X"},
    {{3, 3, 0, false, true}, "zoom 3, mirrored on Y"},
    {{1, 1, 0, true, true}, "both mirrors"},
    {{1, 1, 90}, "90 degrees"},
    {{1, 1, 180, true}, "180 degrees mirrored"},
    {{1, 1, 270}, "270 degrees"},
    {{1.5, 1.5, 30}, "30 degrees zoom 1.5"},
    {{2, 0.7, -47, false, true, 0}, "-47 degrees, order 0, anisotropic, mirrored"},
    {{2, 0.7, -47, false, false, 1}, "-47 degrees, order 1, anisotropic"},
    {{0.8, 1.3, 123.4, true, false, 1}, "123.4 degrees mirrored"},
};

// Every kernel of both sets and all three layouts against the reference on whole
// frames: nearest exactly, the others within rounding.
TEST(AffineKernelsTest, EveryKernelResamplesAsTheReference) {
    for (uint32_t type : {kD, kF})
        for (uint32_t channels : {1u, 3u, 2u}) {
            AffineChain chain(MakeFrame(23, 17, channels), type);
            for (const KernelCase& c : kGeometries)
                for (int mode = 1; mode <= 4; ++mode) {
                    SCOPED_TRACE(std::string(c.name) + ", mode " + std::to_string(mode) + ", type " +
                                 std::to_string(type) + ", channels " + std::to_string(channels));
                    chain.Configure(c.g, mode);
                    AffineSize size;
                    PullResult out;
                    const std::vector<double> got = WholeFrame(chain, KernelFor(type, channels, mode), &size, &out);
                    ASSERT_EQ(got.size(), static_cast<size_t>(size.width * size.height * channels));
                    ASSERT_EQ(std::tuple(out.image.windowX, out.image.windowY), std::tuple(0, 0));
                    AffineRecord fitted = chain.Record();
                    AffineSize fittedSize;
                    AffineRecordFitFrame(&fitted, &fittedSize, AffineSize{23, 17});
                    const Reference ref{chain.source->frame, fitted, mode, Outside(type)};
                    int mismatches = 0;
                    size_t k = 0;
                    for (int64_t y = 0; y < size.height; ++y)
                        for (int64_t x = 0; x < size.width; ++x)
                            for (uint32_t ch = 0; ch < channels; ++ch, ++k) {
                                const double want = ref.Sample(x, y, ch);
                                const double tolerance = type == kD ? (mode == 1 ? 0.0 : 1e-12 * (std::fabs(want) + 1.0))
                                                                    : 1e-5 * (std::fabs(want) + 100.0);
                                const bool same = want == Outside(type) ? got[k] == want
                                                                        : std::fabs(got[k] - want) <= tolerance;
                                if (!same && ++mismatches <= 3)
                                    ADD_FAILURE() << "pixel " << x << "," << y << "," << ch << ": " << got[k]
                                                  << " want " << want;
                            }
                }
        }
}

// Blocks of any size and place give the pixels of the whole request, bit for bit, in
// both the baseline and the AVX2 loops.
TEST(AffineKernelsTest, AnyTilingGivesThePixelsOfTheWholeRequest) {
    std::mt19937 rng(7);
    for (uint32_t type : {kD, kF})
        for (uint32_t channels : {1u, 3u}) {
            AffineChain chain(MakeFrame(31, 26, channels), type);
            for (const KernelCase& c : {kGeometries[1], kGeometries[3], kGeometries[4], kGeometries[6],
                                        kGeometries[9], kGeometries[10], KernelCase{{0.13, 0.2, 0, true}, "zoom 0.13"},
                                        KernelCase{{9, 7, 11}, "zoom 9 x 7 at 11 degrees"}})
                for (int mode = 1; mode <= 4; ++mode) {
                    SCOPED_TRACE(std::string(c.name) + ", mode " + std::to_string(mode) + ", type " +
                                 std::to_string(type) + ", channels " + std::to_string(channels));
                    chain.Configure(c.g, mode);
                    const FilterProcessFn kernel = KernelFor(type, channels, mode);
                    AffineSize size;
                    PullResult whole;
                    const std::vector<double> want = WholeFrame(chain, kernel, &size, &whole);
                    ASSERT_FALSE(want.empty());
                    // The baseline loops give the same bits.
                    kernel::ForceBaselineForTest(true);
                    PullResult baseline;
                    const std::vector<double> base = WholeFrame(chain, kernel, &size, &baseline);
                    kernel::ForceBaselineForTest(false);
                    ASSERT_EQ(std::memcmp(base.data(), want.data(), want.size() * sizeof(double)), 0);
                    const int64_t w = size.width, h = size.height;
                    for (int trial = 0; trial < 12; ++trial) {
                        if (trial % 3 == 0) chain.instance->block.pending = 0;  // fresh input now and then
                        const int64_t x = std::uniform_int_distribution<int64_t>(0, w - 1)(rng);
                        const int64_t y = std::uniform_int_distribution<int64_t>(0, h - 1)(rng);
                        const auto bw = static_cast<int32_t>(std::uniform_int_distribution<int64_t>(1, w - x)(rng));
                        const auto bh = static_cast<int32_t>(std::uniform_int_distribution<int64_t>(1, h - y)(rng));
                        PullResult tile;
                        ASSERT_EQ(chain.Run(kernel, x, y, bw, bh, &tile), 0);
                        ASSERT_EQ(std::tuple(tile.image.windowX, tile.image.windowY), std::tuple(x, y));
                        const std::vector<double> got = SamplesOf(tile.image);
                        for (int32_t j = 0; j < bh; ++j)
                            ASSERT_EQ(std::memcmp(&got[static_cast<size_t>(j) * bw * channels],
                                                  &want[static_cast<size_t>((y + j) * w + x) * channels],
                                                  static_cast<size_t>(bw) * channels * sizeof(double)),
                                      0)
                                << "tile " << x << "," << y << " " << bw << "x" << bh << " row " << j;
                    }
                }
        }
}

// The AVX2 loops of the bicubic modes give the baseline loops' bits on random turns
// and zooms, and on turns so slight, at steps so near a multiple of 1/128, that the
// positions' fractions crowd around the fast mode's table steps.
TEST(AffineKernelsTest, BicubicLoopsAgreeBitForBitNearTheTableSteps) {
    std::mt19937 rng(5);
    AffineChain chain(MakeFrame(40, 30, 1), kD);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        Geometry g;
        if (trial % 2 == 0) {
            g = Geometry{0.3 + 2.7 * unit(rng), 0.3 + 2.7 * unit(rng), 360.0 * unit(rng) - 180.0, unit(rng) < 0.3,
                         unit(rng) < 0.3, static_cast<uint8_t>(trial % 4 / 2)};
        } else {
            const double step = std::uniform_int_distribution<int>(40, 300)(rng) / 128.0 + (unit(rng) - 0.5) * 1e-8;
            g = Geometry{1.0 / step, 1.0 / step, (unit(rng) - 0.5) * 0.02};
        }
        for (int mode : {3, 4}) {
            SCOPED_TRACE("trial " + std::to_string(trial) + ", mode " + std::to_string(mode));
            chain.Configure(g, mode);
            AffineSize size;
            PullResult avx2, baseline;
            const std::vector<double> want = WholeFrame(chain, KernelFor(kD, 1, mode), &size, &avx2);
            kernel::ForceBaselineForTest(true);
            const std::vector<double> got = WholeFrame(chain, KernelFor(kD, 1, mode), &size, &baseline);
            kernel::ForceBaselineForTest(false);
            ASSERT_FALSE(want.empty());
            ASSERT_EQ(got.size(), want.size());
            EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(double)), 0);
        }
    }
}

// Quarter turns at zoom 1 copy whole pixels: on frames larger than the squares the
// copy walks, of odd sizes, every turn with and without mirrors in both orders gives
// the reference's pixels exactly, in blocks anywhere (reaching past the output frame
// too), in both loop builds.
TEST(AffineKernelsTest, QuarterTurnsMoveEveryPixelWhole) {
    std::mt19937 rng(11);
    const Geometry turns[] = {{1, 1, 90},
                              {1, 1, 270},
                              {1, 1, 180},
                              {1, 1, -90, true, false, 0},
                              {1, 1, 90, false, true, 1},
                              {1, 1, 450, true, true}};
    for (uint32_t type : {kD, kF})
        for (uint32_t channels : {1u, 3u}) {
            AffineChain chain(MakeFrame(150, 133, channels), type);
            const FilterProcessFn kernel = KernelFor(type, channels, 1);
            for (const Geometry& g : turns)
                for (bool baseline : {false, true}) {
                    SCOPED_TRACE(std::to_string(g.angle) + (g.flipX ? " flipX" : "") + (g.flipY ? " flipY" : "") +
                                 ", type " + std::to_string(type) + ", channels " + std::to_string(channels) +
                                 (baseline ? ", baseline" : ""));
                    chain.Configure(g, 1);
                    const AffineSize size = chain.OutputSize();
                    AffineRecord fitted = chain.Record();
                    AffineSize fittedSize;
                    AffineRecordFitFrame(&fitted, &fittedSize, AffineSize{150, 133});
                    const Reference ref{chain.source->frame, fitted, 1, Outside(type)};
                    kernel::ForceBaselineForTest(baseline);
                    for (int trial = 0; trial < 6; ++trial) {
                        int64_t x = 0, y = 0, w = size.width, h = size.height;
                        if (trial > 0) {
                            x = std::uniform_int_distribution<int64_t>(-20, size.width - 1)(rng);
                            y = std::uniform_int_distribution<int64_t>(-20, size.height - 1)(rng);
                            w = std::uniform_int_distribution<int64_t>(std::max<int64_t>(1, 1 - x), 160)(rng);
                            h = std::uniform_int_distribution<int64_t>(std::max<int64_t>(1, 1 - y), 160)(rng);
                        }
                        PullResult out;
                        ASSERT_EQ(chain.Run(kernel, x, y, static_cast<int32_t>(w), static_cast<int32_t>(h), &out), 0);
                        const std::vector<double> got = SamplesOf(out.image);
                        ASSERT_EQ(got.size(), static_cast<size_t>(w * h * channels));
                        int mismatches = 0;
                        size_t k = 0;
                        for (int64_t j = 0; j < h; ++j)
                            for (int64_t i = 0; i < w; ++i)
                                for (uint32_t ch = 0; ch < channels; ++ch, ++k) {
                                    const double r = ref.Sample(x + i, y + j, ch);
                                    const double want = type == kD ? r : static_cast<float>(r);
                                    if (got[k] != want && ++mismatches <= 3)
                                        ADD_FAILURE() << "block " << x << "," << y << " " << w << "x" << h
                                                      << ": pixel " << i << "," << j << "," << ch;
                                }
                    }
                    kernel::ForceBaselineForTest(false);
                }
        }
}

// Hand-computed values: nearest at zoom 2 repeats each pixel in a 2 x 2 square; with
// zoom 1 on X the interpolating modes copy columns, a column mapped to -1 uses
// column 0 alone, one mapped to -2 gets the background, and an edge row is copied.
TEST(AffineKernelsTest, ZoomTwoNearestAndTheBilinearEdges) {
    for (uint32_t type : {kD, kF}) {
        AffineChain chain(MakeFrame(12, 9, 1), type);
        const Frame& in = chain.source->frame;
        auto input = [&](int64_t x, int64_t y) { return type == kD ? in.At(x, y, 0) : static_cast<float>(in.At(x, y, 0)); };
        chain.Configure({2, 2}, 1);
        PullResult out;
        ASSERT_EQ(chain.Run(KernelFor(type, 1, 1), 5, 3, 9, 6, &out), 0);
        std::vector<double> v = SamplesOf(out.image);
        for (int32_t j = 0; j < 6; ++j)
            for (int32_t i = 0; i < 9; ++i)
                ASSERT_EQ(v[static_cast<size_t>(j) * 9 + i], input((5 + i) / 2, (3 + j) / 2)) << i << "," << j;

        chain.Configure({1, 2}, 2);
        ASSERT_EQ(chain.Run(KernelFor(type, 1, 2), -2, 0, 6, 8, &out), 0);
        v = SamplesOf(out.image);
        auto at = [&](int64_t x, int64_t y) { return v[static_cast<size_t>(y * 6 + (x + 2))]; };
        if (type == kD) EXPECT_EQ(std::bit_cast<uint64_t>(at(-2, 0)), 0xFFEFFFFFFFFFFFFFull);
        else EXPECT_EQ(at(-2, 5), 0.0);
        // Row 0 samples y = -0.25: an edge row, row 0 alone.
        EXPECT_EQ(std::tuple(at(-1, 0), at(3, 0)), std::tuple(input(0, 0), input(3, 0)));
        // Row 3 samples y = 1.25: rows 1 and 2 a quarter apart; column -1 is column 0.
        const double a = input(0, 1), b = input(0, 2), c = input(3, 1), d = input(3, 2);
        if (type == kD) {
            EXPECT_EQ(at(-1, 3), a + (b - a) * 0.25);
            EXPECT_EQ(at(3, 3), c + (d - c) * 0.25);
        } else {
            EXPECT_EQ(at(-1, 3), static_cast<float>(a) + (static_cast<float>(b) - static_cast<float>(a)) * 0.25f);
        }
    }
}

TEST(AffineKernelsTest, TheInvalidSamplesFlag) {
    Frame frame = MakeFrame(20, 14, 1);
    AffineChain d(frame, kD), f(frame, kF);
    PullResult out;
    auto flagOf = [&](AffineChain& chain, uint32_t type, int mode, const Geometry& g, uint8_t callers = 0) {
        chain.Configure(g, mode);
        const AffineSize size = chain.OutputSize();
        out.image.state = callers;
        EXPECT_EQ(chain.Run(KernelFor(type, 1, mode), 0, 0, static_cast<int32_t>(size.width),
                            static_cast<int32_t>(size.height), &out),
                  0);
        return static_cast<int>(out.image.state);
    };
    for (int mode = 1; mode <= 4; ++mode) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(flagOf(d, kD, mode, {1, 1, 30}), 1);  // corners outside the frame
        EXPECT_EQ(flagOf(d, kD, mode, {1, 1, 90}), mode <= 2 ? 0 : 1);
        EXPECT_EQ(flagOf(d, kD, mode, {2, 2}), 0);
        EXPECT_EQ(flagOf(f, kF, mode, {1, 1, 30}), 0);
        EXPECT_EQ(flagOf(f, kF, mode, {2, 2}, 1), mode == 1 ? 0 : 1);  // F: separable keeps the caller's
    }
    // A block reaching past the output frame has background corners.
    d.Configure({2, 2}, 2);
    ASSERT_EQ(d.Run(KernelFor(kD, 1, 2), 30, 20, 20, 20, &out), 0);
    EXPECT_EQ(out.image.state, 1);
    // The marker in an input corner reaches an output corner at 90 degrees.
    d.source->frame.values[0] = -DBL_MAX;
    EXPECT_EQ(flagOf(d, kD, 1, {1, 1, 90}), 1);

    // An input flagged invalid: the interpolating modes give exactly nearest's pixels.
    for (AffineChain* chain : {&d, &f}) {
        const uint32_t type = chain == &d ? kD : kF;
        chain->source->invalid = 1;
        for (const Geometry& g : {Geometry{1.6, 1.6, 25}, Geometry{2.5, 0.5}}) {
            chain->Configure(g, 1);
            AffineSize size;
            PullResult nearest;
            const std::vector<double> want = WholeFrame(*chain, KernelFor(type, 1, 1), &size, &nearest);
            EXPECT_EQ(nearest.image.state, 1);
            for (int mode = 2; mode <= 4; ++mode) {
                chain->instance->block.pending = 0;
                PullResult other;
                const std::vector<double> got = WholeFrame(*chain, KernelFor(type, 1, mode), &size, &other);
                ASSERT_EQ(got.size(), want.size());
                EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(double)), 0) << mode;
                EXPECT_EQ(other.image.state, 1);
            }
        }
    }
}

TEST(AffineKernelsTest, AThreeChannelPixelOutsideGetsTheBackgroundInEverySample) {
    for (uint32_t type : {kD, kF}) {
        AffineChain chain(MakeFrame(10, 8, 3), type);
        for (int mode = 1; mode <= 4; ++mode) {
            chain.Configure({1, 1, 30}, mode);
            PullResult out;
            ASSERT_EQ(chain.Run(KernelFor(type, 3, mode), 0, 0, 2, 2, &out), 0);
            const std::vector<double> v = SamplesOf(out.image);
            EXPECT_EQ(out.image.elementsPerItem, 3u);
            for (int c = 0; c < 3; ++c) EXPECT_EQ(v[static_cast<size_t>(c)], Outside(type)) << mode << " " << c;
        }
    }
}

TEST(AffineKernelsTest, ResultCodes) {
    AffineChain chain(MakeFrame(16, 12, 1), kD);
    PullResult out;
    // The request's input lies outside the frame: nothing pulled.
    chain.Configure({1, 1, 0, true}, 1);
    const int pulls = chain.source->pulls;
    EXPECT_EQ(chain.Run(&AffineNearestD1, 1000, 0, 10, 10, &out), -1);
    EXPECT_EQ(chain.Run(&AffineNearestD1, 0, 0, 0, 10, &out), -1);
    EXPECT_EQ(chain.source->pulls, pulls);
    // The pull fails.
    chain.Configure({2, 2}, 2);
    chain.source->produce = false;
    EXPECT_EQ(chain.Run(&AffineBilinearD1, 0, 0, 10, 10, &out), -2);
    chain.source->produce = true;
    // No room for the output block (20000 x 20000 reals): filled byte cleared.
    chain.Configure({512, 512}, 2);
    out.pending = 1;
    std::string log = CapturedLog([&] { EXPECT_EQ(chain.Run(&AffineBilinearD1, 0, 0, 20000, 20000, &out), -7); });
    EXPECT_EQ(out.pending, 0);
    EXPECT_NE(log.find("Can't alloc memory..."), std::string::npos) << log;
    // An instance without the module's state.
    FilterInstance bare;
    PullRequest request;
    EXPECT_EQ(AffineBicubicD1(&bare.block, &out, &request), -4);
    EXPECT_EQ(AffineNearestCoreF3(&bare.block, &out), -4);
}

}  // namespace
}  // namespace orva
