// Collapsing a strip across the path into one value per position: the plain
// and flux means, the inverse-variance weighted mean, the two profile
// weightings, the missing positions they record, and the builders that run
// them over every channel of the component's strip.
#include "reduction/kernels/slice_profile.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

#include "statistic_fixture.h"

namespace orva {
namespace {

using namespace reduction_testing;

constexpr double kM = kMissingSample;
constexpr double kTwoDblMin = 4.450147717014403e-308;

using Kernel = int32_t (*)(const StripParams&, const double*, double*, MissingRunRecord*);

struct Collapsed {
    int32_t code;
    std::vector<double> out;
    std::vector<std::pair<uint32_t, uint32_t>> runs;
};

Collapsed Collapse(Kernel k, const StripParams& p, const std::vector<double>& strip,
                   const double* profile = nullptr, WeightingKernel w = nullptr) {
    Collapsed c;
    c.out.assign(p.points, -1.0);
    std::vector<MissingRun> room((p.points + 1) / 2);
    MissingRunRecord record{0, room.data()};
    c.code = w != nullptr ? w(p, profile, strip.data(), c.out.data(), &record)
                          : k(p, strip.data(), c.out.data(), &record);
    for (uint32_t i = 0; i < record.count; ++i) c.runs.emplace_back(room[i].start, room[i].end);
    return c;
}

TEST(StripCollapseTest, PlainAndFluxMeansSkipMissingSamples) {
    StripParams p{3, 3, false, 1.0, 1.0};
    // Position 1 is wholly missing: a run, and its value is not written.
    const std::vector<double> strip = {1, 2, kM, kM, kM, kM, 3, 3, 3};
    Collapsed c = Collapse(&CollapseStrip, p, strip);
    EXPECT_EQ(c.code, 3);
    EXPECT_EQ(c.out, (std::vector<double>{1.5, -1.0, 3.0}));
    EXPECT_EQ(c.runs, (std::vector<std::pair<uint32_t, uint32_t>>{{1, 2}}));
    p.flux = true;
    EXPECT_EQ(Collapse(&CollapseStrip, p, strip).out, (std::vector<double>{4.5, -1.0, 9.0}));
    // Every position missing: 1, one run over the whole row.
    c = Collapse(&CollapseStrip, StripParams{2, 2, false, 1, 1}, {kM, kM, kM, kM});
    EXPECT_EQ(c.code, 1);
    EXPECT_EQ(c.runs, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 2}}));
}

TEST(StripCollapseTest, InverseVarianceWeightedMean) {
    // w = 1 / (|v| g + r): with g = 1, r = 1 the values 1 and 3 weigh 1/2 and 1/4.
    StripParams p{3, 1, false, 1.0, 1.0};
    Collapsed c = Collapse(&CollapseStripWeighted, p, {1, kM, 3});
    EXPECT_DOUBLE_EQ(c.out[0], (0.5 * 1 + 0.25 * 3) / 0.75);
    p.flux = true;
    EXPECT_DOUBLE_EQ(Collapse(&CollapseStripWeighted, p, {1, kM, 3}).out[0],
                     3 * (0.5 * 1 + 0.25 * 3) / 0.75);
    // Gain and noise below 2 DBL_MIN count as 2 DBL_MIN: still the weights 1/2 and 1/4.
    p = StripParams{2, 1, false, 0.0, -1.0};
    EXPECT_DOUBLE_EQ(Collapse(&CollapseStripWeighted, p, {1, 3}).out[0], 5.0 / 3.0);
    // A sum of weights at or below 2 DBL_MIN is missing.
    p = StripParams{1, 2, false, 1e300, 1.0};
    c = Collapse(&CollapseStripWeighted, p, {1e300, 2});
    EXPECT_EQ(c.runs, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}}));
    EXPECT_DOUBLE_EQ(c.out[1], 2.0);
}

TEST(StripCollapseTest, ProfileWeighting) {
    const std::vector<double> profile = {0.25, 0.5, 0.25};
    StripParams p{3, 1, true, 1.0, 1.0};
    // Unit variances: b = 1.5, a = 0.375.
    EXPECT_DOUBLE_EQ(Collapse(nullptr, p, {1, 2, 1}, profile.data(), &WeightProfilePlain).out[0],
                     4.0);
    p.flux = false;
    EXPECT_DOUBLE_EQ(Collapse(nullptr, p, {1, 2, 1}, profile.data(), &WeightProfilePlain).out[0],
                     4.0 / 3.0);
    // Noise weights w = P / (|D| g + r) with g = 1, r = 2: a = sum w P, b = sum w D.
    p = StripParams{3, 1, true, 1.0, 2.0};
    const double w[3] = {0.25 / 3, 0.5 / 4, 0.25 / 3};
    const double a = w[0] * 0.25 + w[1] * 0.5 + w[2] * 0.25, b = w[0] + 2 * w[1] + w[2];
    EXPECT_DOUBLE_EQ(Collapse(nullptr, p, {1, 2, 1}, profile.data(), &WeightProfileNoise).out[0],
                     b / a);
    // A missing sample leaves its profile value out; a tiny gain and noise count as 2 DBL_MIN.
    p = StripParams{3, 1, true, 0.0, 0.0};
    const double want =
        (0.25 / (1 + 1) * 1 + 0.5 / (2 + 1) * 2) / (0.25 / 2 * 0.25 + 0.5 / 3 * 0.5);
    EXPECT_NEAR(Collapse(nullptr, p, {1, 2, kM}, profile.data(), &WeightProfileNoise).out[0], want,
                1e-12);
    EXPECT_EQ(Collapse(nullptr, p, {kM, kM, kM}, profile.data(), &WeightProfileNoise).code, 1);
}

class BuilderTest : public ReductionTest {
protected:
    BuilderTest() : chain(&ui, 4, 4, 2) {}
    // A strip of W x L per channel, channels one after the other.
    void Strip(uint32_t W, uint32_t L, const std::vector<double>& values) {
        SliceWork& s = chain.reduction->slice;
        ASSERT_TRUE(GrowScratchBlock(&s.strip, values.size() * sizeof(double)));
        std::copy(values.begin(), values.end(), static_cast<double*>(s.strip.block));
        s.width = W;
        s.points = L;
        s.cells = uint64_t{W} * L;
        s.channels = static_cast<uint32_t>(values.size() / s.cells);
    }
    std::vector<double> Output() {
        const TypedFrameBuffer& out = item.image;
        const auto* v = static_cast<const double*>(out.data);
        return std::vector<double>(v, v + uint64_t{out.width} * out.elementsPerItem);
    }
    StatisticChain chain;
    PullResult item;
};

TEST_F(BuilderTest, AChannelWithEveryPositionMissingGetsAZeroedRow) {
    chain.reduction->Options().values.slice.flux = 0;
    Strip(2, 3, {1, 3, kM, kM, 5, 7, kM, kM, kM, kM, kM, kM});
    EXPECT_EQ(BuildCrossProfile(chain.reduction, &item), 3);
    const std::vector<double> out = Output();
    EXPECT_EQ(out[0], 2.0);
    EXPECT_EQ(out[2], 6.0);
    EXPECT_EQ(std::vector<double>(out.begin() + 3, out.end()), (std::vector<double>{0, 0, 0}));
    const MissingRunList& runs = chain.reduction->slice.runs;
    ASSERT_EQ(runs.RecordCount(), 2u);
    EXPECT_EQ(std::tuple(runs.Record(0).count, runs.Record(0).runs[0].start, runs.Record(1).count),
              std::tuple(1u, 1u, 1u));
    // No channel produced: 0.
    Strip(2, 1, {kM, kM, kM, kM});
    EXPECT_EQ(BuildCrossProfileWeighted(chain.reduction, &item), 0);
    // Memory for the runs short: the list empty, 0.
    Strip(2, 3000, std::vector<double>(6000, 1.0));
    EXPECT_EQ(BuildCrossProfile(chain.reduction, &item), 3);
    EXPECT_EQ(Output(), std::vector<double>(3000, 1.0));
    chain.reduction->slice.runs.Release();
    GlobalBufferRefuseBlocksForTest(1);
    EXPECT_EQ(BuildCrossProfile(chain.reduction, &item), 0);
    GlobalBufferRefuseBlocksForTest(0);
    EXPECT_EQ(chain.reduction->slice.runs.RecordCount(), 0u);
}

}  // namespace
}  // namespace orva
