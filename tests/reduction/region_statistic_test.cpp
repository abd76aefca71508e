// The region statistic through the Reduction's runner: a frame served by an
// upstream stage, shapes with masks and rings, and the block, the item's 1-D
// output and the shape's marks that one pull leaves.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>

#include "statistic_fixture.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace reduction_testing;

class StatisticTest : public ReductionTest {
protected:
    // A one-row frame of the values, measured by a Rect over all of them.
    int32_t MeasureRow(const std::vector<double>& v) {
        chain = std::make_unique<StatisticChain>(&ui, static_cast<int64_t>(v.size()), 1);
        for (size_t i = 0; i < v.size(); ++i) chain->source->At(static_cast<int64_t>(i), 0) = v[i];
        shape = std::make_unique<Measured>(kKindRect, kRoleStatistic);
        SetRects(shape.get(), 0, 0, {{0, 0, static_cast<int32_t>(v.size()), 1}});
        EXPECT_TRUE(chain->reduction->AddItem(shape->shape));
        return chain->Pull();
    }
    std::unique_ptr<StatisticChain> chain;
    std::unique_ptr<Measured> shape;
};

TEST_F(StatisticTest, HistogramAndModeOfAFewValues) {
    ASSERT_EQ(MeasureRow({0, 1, 1, 1, 2}), 5);
    const StatisticBlock& b = chain->Block();
    EXPECT_EQ(b.binCount, 3u);
    EXPECT_EQ(chain->Output(), (std::vector<double>{1, 3, 1}));
    EXPECT_EQ(chain->result.status, kStatisticOutputHistogram);
    const StatisticResult& r = chain->Record();
    EXPECT_EQ(r.modeBin, 1u);
    EXPECT_EQ(r.mode, 1.0);  // the centre of bin 1, not half a bin above it
    EXPECT_EQ(std::tuple(r.npro, r.min, r.max, r.median, r.mean), std::tuple(5u, 0.0, 2.0, 1.0, 1.0));
}

}  // namespace
}  // namespace orva
