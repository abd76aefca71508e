// Slice extraction through the Reduction's runner: a frame served by an
// upstream stage whose value at (x, y) is 10 y + x, slice Lines over it, and
// the profile, edge flag, filling and scaling that one pull leaves.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "reduction/kernels/slice_sampling.h"
#include "statistic_fixture.h"

namespace orva {
namespace {

using namespace reduction_testing;

using V = std::vector<double>;

class ExtractionTest : public ReductionTest {
protected:
    ExtractionTest() : chain(&ui, 20, 10), line(kKindLine, kRoleSlice) {
        for (int64_t y = 0; y < 10; ++y)
            for (int64_t x = 0; x < 20; ++x) chain.source->At(x, y) = 10.0 * y + x;
        EXPECT_TRUE(chain.reduction->AddItem(line.shape));
    }
    ReductionSliceValues& Slice() { return chain.reduction->Options().values.slice; }
    // The Line from (x0, y) to (x1, y) with an aperture of `width`, extracted.
    int32_t Extract(float x0, float x1, float y, uint32_t width, uint8_t fresh = 1) {
        line.Figure(x0, y, x1, y, width);
        chain.reduction->SelectKernels();
        return chain.Pull(fresh);
    }
    V Ramp(double first, double step, int n) {
        V v;
        for (int i = 0; i < n; ++i) v.push_back(first + step * i);
        return v;
    }
    uint8_t Edge() { return chain.reduction->slice.edge; }
    StatisticChain chain;
    Measured line;
};

TEST_F(ExtractionTest, ALineIsSampledOnItsPath) {
    ASSERT_EQ(Extract(2, 12, 3.5f, 1), 5);
    EXPECT_EQ(chain.Output(), Ramp(32, 1, 11));
    EXPECT_EQ(std::tuple(chain.result.status, Edge(), chain.result.image.scale),
              std::tuple(700, uint8_t{0}, 1.0));
    EXPECT_NE(chain.result.image.flags & kReductionResultFilled, 0u);
    // The path positions in the frame.
    const auto* xy = static_cast<const float*>(chain.reduction->slice.path.data);
    EXPECT_EQ(std::tuple(xy[0], xy[1], xy[20], xy[21]), std::tuple(2.0f, 3.5f, 12.0f, 3.5f));
}

TEST_F(ExtractionTest, AStripIsCollapsedByMeanOrFlux) {
    // Width 5: two rows above the path (the positive side) and two below.
    Slice().flux = 0;
    ASSERT_EQ(Extract(2, 12, 3.5f, 5), 5);
    EXPECT_EQ(chain.Output(), Ramp(32, 1, 11));
    Slice().flux = 1;
    ASSERT_EQ(Extract(2, 12, 3.5f, 5), 5);
    EXPECT_EQ(chain.Output(), Ramp(160, 5, 11));
    // Weighted with zero noise and gain: weights 1/v, the mean is the harmonic one times W.
    Slice().extractMethod = 1;
    Slice().gain = 1.0;
    Slice().noiseSquared = 0.0;
    ASSERT_EQ(Extract(2, 12, 3.5f, 5), 5);
    EXPECT_EQ(chain.reduction->extraction, &ExtractWeighted);
    const double h = 5.0 / (1 / 12.0 + 1 / 22.0 + 1 / 32.0 + 1 / 42.0 + 1 / 52.0);
    EXPECT_DOUBLE_EQ(chain.Output()[0], 5 * h);
    // Extended precision gives the same plain sums.
    Slice().extractMethod = 0;
    line.Figure(2, 3.5f, 12, 3.5f, 5);
    chain.reduction->SelectKernels();
    ASSERT_EQ(chain.Pull(1, 1), 5);
    EXPECT_EQ(chain.Output(), Ramp(160, 5, 11));
}

TEST_F(ExtractionTest, EdgesOfTheFrame) {
    // Wholly outside: nothing.
    EXPECT_EQ(Extract(30, 40, 3.5f, 1), 1);
    EXPECT_TRUE(chain.Output().empty());
    // Reaching the right edge: the point outside is dropped, the edge flag set.
    ASSERT_EQ(Extract(2, 20, 3.5f, 1), 5);
    EXPECT_EQ(chain.Output(), Ramp(32, 1, 18));
    EXPECT_EQ(Edge(), kSliceAtEdge);
    ASSERT_EQ(Extract(2, 19, 3.5f, 1), 5);
    EXPECT_EQ(Edge(), 0);
    // A profile of one point.
    ASSERT_EQ(Extract(6.5f, 6.5f, 3.5f, 1), 5);
    EXPECT_EQ(chain.Output(), V{36});
    EXPECT_EQ(Edge(), kSliceAtEdge);
}

TEST_F(ExtractionTest, GapsAreFilledByTheChosenMode) {
    for (int64_t x = 4; x <= 6; ++x) chain.source->At(x, 3) = std::nan("");
    struct Case {
        uint32_t mode, maxGap;
        V gap;
    } cases[] = {
        {2, 4, {34, 35, 36}}, {2, 2, {-1, -1, -1}}, {1, 4, {35, 35, 35}}, {0, 4, {-1, -1, -1}}};
    Slice().fillValue = -1;
    for (const Case& c : cases) {
        Slice().flagBadPixInterpolate = c.mode;
        Slice().maxBadPixInterpolate = c.maxGap;
        ASSERT_EQ(Extract(2, 9, 3.5f, 1), 5);
        V want = {32, 33};
        want.insert(want.end(), c.gap.begin(), c.gap.end());
        want.insert(want.end(), {37, 38, 39});
        EXPECT_EQ(chain.Output(), want) << c.mode;
    }
    // Runs at the ends take the first and last good values.
    chain.source->At(2, 3) = chain.source->At(9, 3) = std::nan("");
    Slice().flagBadPixInterpolate = 1;
    ASSERT_EQ(Extract(2, 9, 3.5f, 1), 5);
    EXPECT_EQ(chain.Output(), (V{33, 33, 35, 35, 35, 37, 38, 38}));
}

TEST_F(ExtractionTest, ScaleAndZero) {
    struct Case {
        double zero, scale;
        int32_t exponent;
        double value, want, dataScale;
    } cases[] = {
        {0, 1, 0, 1, 1, 1.0},
        {10, 2, 0, 1, 12, 1.0},
        {0, 2, 1, 3, 3, 0.5},
        {0, 1e10, 0, 1e300, DBL_MAX, 1.0},
        {0, 1e10, 0, -1e300, -DBL_MAX, 1.0},
        {0, 1e-10, 0, 1e-300, 0.0, 1.0},
    };
    for (const Case& c : cases) {
        chain.source->At(5, 3) = c.value;
        Slice().zero = c.zero;
        Slice().scale = c.scale;
        line.shape->header.scaleExponent = c.exponent;
        ASSERT_EQ(Extract(5, 5, 3.5f, 1), 5);
        EXPECT_EQ(chain.Output(), V{c.want}) << c.value;
        EXPECT_EQ(chain.result.image.scale, c.dataScale);
    }
}

TEST_F(ExtractionTest, AnOverflowingSumIsStoredAsTheLargestDouble) {
    for (int64_t y = 2; y <= 4; ++y) {
        chain.source->At(5, y) = 1e308;
        chain.source->At(6, y) = -1e308;
    }
    Slice().flux = 0;
    ASSERT_EQ(Extract(5, 7, 3.5f, 3), 5);
    EXPECT_EQ(chain.Output(), (V{DBL_MAX, -DBL_MAX, 37}));
}

TEST_F(ExtractionTest, OptimalExtractionWithoutScratchGivesNothing) {
    Slice().extractMethod = 2;
    Slice().flux = 0;
    ASSERT_EQ(Extract(2, 12, 3.5f, 5), 5);
    EXPECT_EQ(chain.reduction->extraction, &ExtractOptimal);
    EXPECT_EQ(chain.Output().size(), 11u);
    // The frame held serves the next pull; the scratch is the first block asked for.
    chain.reduction->slice.scratch.Free();
    GlobalBufferRefuseBlocksForTest(1);
    EXPECT_EQ(chain.Pull(0), 1);
    GlobalBufferRefuseBlocksForTest(0);
    EXPECT_TRUE(chain.Output().empty());
}

}  // namespace
}  // namespace orva

namespace orva {
namespace {

using namespace reduction_testing;

class ChannelExtractionTest : public ReductionTest {};

// Three interleaved channels: one row of the profile per channel, or the selected one.
TEST_F(ChannelExtractionTest, EveryChannelOrTheSelectedOne) {
    StatisticChain chain(&ui, 20, 10, 3);
    for (int64_t y = 0; y < 10; ++y)
        for (int64_t x = 0; x < 20; ++x)
            for (uint32_t c = 0; c < 3; ++c) chain.source->At(x, y, c) = 1000.0 * c + 10.0 * y + x;
    Measured line(kKindLine, kRoleSlice);
    ASSERT_TRUE(chain.reduction->AddItem(line.shape));
    ReductionValues& o = chain.reduction->Options().values;
    o.slice.flux = 0;
    auto want = [](std::initializer_list<uint32_t> channels) {
        std::vector<double> v;
        for (uint32_t c : channels)
            for (int x = 2; x <= 6; ++x) v.push_back(1000.0 * c + 30 + x);
        return v;
    };
    for (const uint32_t width : {1u, 3u}) {
        line.Figure(2, 3.5f, 6, 3.5f, width);
        o.allChannels = 1;
        chain.reduction->SelectKernels();
        ASSERT_EQ(chain.Pull(), 5) << width;
        EXPECT_EQ(chain.Output(), want({0, 1, 2})) << width;
        o.allChannels = 0;
        o.nChannel = 2;
        chain.reduction->SelectKernels();
        ASSERT_EQ(chain.Pull(), 5) << width;
        EXPECT_EQ(chain.Output(), want({1})) << width;
    }
}

}  // namespace
}  // namespace orva
