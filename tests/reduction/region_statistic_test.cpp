// The region statistic through the Reduction's runner: a frame served by an
// upstream stage, shapes with masks and rings, and the block, the item's 1-D
// output and the shape's marks that one pull leaves.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numeric>
#include <random>

#include "shapes/geometry/scan_convert.h"
#include "statistic_fixture.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace reduction_testing;

class StatisticTest : public ReductionTest {
protected:
    // A frame of width x height of `channels` interleaved channels.
    StatisticChain& Frame(int64_t width, int64_t height, uint32_t channels = 1) {
        chain = std::make_unique<StatisticChain>(&ui, width, height, channels);
        return *chain;
    }
    // A Statistic shape held by the Reduction as its current item.
    Measured& Shape(int32_t kind = kKindRect) {
        shapes.push_back(std::make_unique<Measured>(kind, kRoleStatistic));
        return *shapes.back();
    }
    void Take(Measured& m) { EXPECT_TRUE(chain->reduction->AddItem(m.shape)); }
    // A one-row frame of the values, measured by a rectangle over all of them.
    int32_t MeasureRow(const std::vector<double>& v) {
        Frame(static_cast<int64_t>(v.size()), 1);
        for (size_t i = 0; i < v.size(); ++i) chain->source->At(static_cast<int64_t>(i), 0) = v[i];
        Measured& m = Shape();
        SetRects(&m, 0, 0, {{0, 0, static_cast<int32_t>(v.size()), 1}});
        Take(m);
        return chain->Pull();
    }
    // A Gaussian star of the peak and sigma centred on pixel (cx, cy), added to the frame.
    void Star(double cx, double cy, double peak, double sigma) {
        FrameSource& s = *chain->source;
        for (int64_t y = 0; y < s.data.height; ++y)
            for (int64_t x = 0; x < s.data.width; ++x)
                s.At(x, y) += peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (2 * sigma * sigma));
    }
    std::unique_ptr<StatisticChain> chain;
    std::vector<std::unique_ptr<Measured>> shapes;
};

// ---- Histogram and mode --------------------------------------------------------------------------

TEST_F(StatisticTest, HistogramModeAndDistributionOfAFewValues) {
    ASSERT_EQ(MeasureRow({0, 1, 1, 1, 2}), 5);
    const StatisticBlock& b = chain->Block();
    EXPECT_EQ(std::tuple(b.tag, b.filled, b.channels, b.selectedChannel, b.samplesPerPixel), std::tuple(651u, 1u, 1u, 1u, 1u));
    EXPECT_EQ(std::tuple(b.binCount, b.histMin, b.histMax, b.range, b.histWidth, b.firstEdge),
              std::tuple(3u, 0.0, 2.0, 2.0, 1.0, -0.5));
    EXPECT_EQ(chain->Output(), (std::vector<double>{1, 3, 1}));
    EXPECT_EQ(chain->result.status, kStatisticOutputHistogram);
    const StatisticResult& r = chain->Record();
    EXPECT_EQ(r.modeBin, 1u);
    EXPECT_EQ(r.mode, 1.0);  // the centre of bin 1, not half a bin above it
    EXPECT_EQ(std::tuple(r.npro, r.min, r.max, r.median, r.mean), std::tuple(5u, 0.0, 2.0, 1.0, 1.0));
    EXPECT_EQ(chain->result.statistic, chain->reduction->Statistic());
    // The length and the row count changed from nothing.
    EXPECT_EQ(chain->result.image.flags & (kOutputLengthChanged | kOutputRowsChanged),
              kOutputLengthChanged | kOutputRowsChanged);

    chain->Stat().vis = 1;
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(chain->Output(), (std::vector<double>{1, 4, 5}));
    EXPECT_EQ(chain->result.status, kStatisticOutputDistribution);
    EXPECT_EQ(chain->result.image.flags & (kOutputLengthChanged | kOutputRowsChanged), 0u);
}

TEST_F(StatisticTest, FixedIntervalsAndBoundaries) {
    std::vector<double> v(11);
    std::iota(v.begin(), v.end(), 0.0);  // range 10
    Frame(11, 1);
    for (int i = 0; i <= 10; ++i) chain->source->At(i, 0) = v[i];
    Measured& m = Shape();
    SetRects(&m, 0, 0, {{0, 0, 11, 1}});
    Take(m);
    ReductionStatValues& o = chain->Stat();
    o.intervalAuto = 0;
    o.interval = 1.0;
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(chain->Block().binCount, 11u);  // bins centred on HistMin + i
    EXPECT_EQ(chain->Output(), std::vector<double>(11, 1.0));
    o.interval = 10.0 / 1.5 + 0.01;  // above Range/1.5: one interval
    ASSERT_EQ(chain->Pull(), 5);
    // Bins centred on 0 and 6.68: 0..3 below their edge, the rest above.
    EXPECT_EQ(std::tuple(chain->Block().binCount, chain->Output()), std::tuple(2u, std::vector<double>{4, 7}));
    o.interval = 3.0;  // 10/3 = 3.3: 3, odd, so 4 intervals
    o.intervalInteger = 1;
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(chain->Block().binCount, 5u);
    o.interval = 2.5;  // rounded up to 3 as well
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(std::tuple(chain->Block().binCount, chain->Block().intervalWidth), std::tuple(5u, 3.0));

    // Boundaries widen the histogram to take them in: data 10..20 within (0, 255).
    for (int i = 0; i <= 10; ++i) chain->source->At(i, 0) = 10.0 + i;
    o = ReductionStatValues{};
    o.boundaryEnable = 1;
    o.boundaryLow = 0.0;
    o.boundaryHigh = 255.0;
    ASSERT_EQ(chain->Pull(), 5);
    const StatisticBlock& b = chain->Block();
    EXPECT_EQ(std::tuple(b.histMin, b.histMax, b.range), std::tuple(0.0, 255.0, 255.0));
    // Rule 4 for 11 values: 5 lg 11 = 5.2 reaches kmax = 3, intervals of 10/3; 255 / (10/3) = 76.5
    // rounds to 77, odd, so 78.
    EXPECT_EQ(b.binCount, 79u);
    const std::vector<double> out = chain->Output();
    EXPECT_EQ(std::accumulate(out.begin(), out.end(), 0.0), 11.0);
    EXPECT_EQ(out[0], 0.0);
    // Boundaries inside the data change nothing.
    o.boundaryLow = 12.0;
    o.boundaryHigh = 15.0;
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(std::tuple(chain->Block().histMin, chain->Block().histMax, chain->Block().binCount),
              std::tuple(10.0, 20.0, 4u));
}

TEST_F(StatisticTest, OneValueAndEqualValuesMakeOneBin) {
    for (const std::vector<double>& v : {std::vector<double>{42.0}, std::vector<double>(6, 3.5)}) {
        shapes.clear();
        ASSERT_EQ(MeasureRow(v), 5);
        const StatisticBlock& b = chain->Block();
        const StatisticResult& r = chain->Record();
        EXPECT_EQ(std::tuple(b.histWidth, b.intervalWidth, b.firstEdge, b.filled), std::tuple(1.0, 1.0, v[0], 1u));
        EXPECT_EQ(std::tuple(r.xc, r.yc), std::tuple(v.size() / 2.0, 0.5));  // the middle of the box
        EXPECT_EQ(chain->Output(), std::vector<double>{static_cast<double>(v.size())});
        EXPECT_EQ(std::tuple(r.mean, r.median, r.min, r.range, r.dispersion, r.deviationUnbiased),
                  std::tuple(v[0], v[0], v[0], 0.0, 0.0, 0.0));
        EXPECT_TRUE(IsStatNotComputed(r.mode));  // no mode without bins
    }
}

// ---- Stars -------------------------------------------------------------------------------------

TEST_F(StatisticTest, ANoiseFreeStar) {
    Frame(120, 100);
    Star(60, 50, 1000.0, 5.0);
    Measured& m = Shape();
    SetRects(&m, 10, 5, {{10, 5, 91, 86}});  // 81 x 81 about (60, 50)
    Take(m);
    ASSERT_EQ(chain->Pull(), 5);
    const StatisticResult& r = chain->Record();
    const StatisticBlock& b = chain->Block();
    EXPECT_EQ(std::tuple(b.boxX, b.boxY, b.boxW, b.boxH), std::tuple(20, 10, 81, 81));
    EXPECT_EQ(r.npro, 6561u);
    EXPECT_EQ(r.backgroundValid, 0);
    // 109 values reach half the peak: the diameter of a disc of 109 pixels (2.3548 sigma is 11.774).
    EXPECT_NEAR(r.fwhm, std::sqrt(109 * 4 / M_PI), 1e-12);
    EXPECT_NEAR(r.fwhm, 11.780624, 1e-6);
    EXPECT_NEAR(r.xc, 60.0, 1e-9);
    EXPECT_NEAR(r.yc, 50.0, 1e-9);
    EXPECT_NEAR(r.xysig, 0.0, 1e-9);
    EXPECT_NEAR(r.xasym, 0.0, 1e-6);
    EXPECT_NEAR(r.xsig, r.ysig, 1e-9);
    EXPECT_EQ(r.bkgrThreshold, r.median + r.deviationUnbiased);
    // The marks of the selected channel on the shape.
    const StatisticMark& mark = m.shape->statMark;
    EXPECT_EQ(std::tuple(mark.centreX, mark.centreY, mark.halfFwhm), std::tuple(r.xc, r.yc, static_cast<float>(r.fwhm / 2)));
    EXPECT_EQ(mark.thresholdRadius, static_cast<float>(r.thresholdRadius));
    EXPECT_GT(r.thresholdRadius, 0.0);
}

TEST_F(StatisticTest, AStarOnNoiseWithItsBackgroundRing) {
    Frame(160, 140);
    std::mt19937_64 random(31);
    std::normal_distribution<double> noise(100.0, 5.0);
    for (double& x : chain->source->values) x = noise(random);
    Measured& m = Shape();
    m.Figure(40.0f, 30.0f, 121.0f, 111.0f, 6);
    ASSERT_EQ(m.shape->header.offset.aperture[0], 5);
    const ShapeRegion& mask = m.shape->derived.mask;
    const ShapeRegion& ring = m.shape->derived.offsetRegion;
    ASSERT_FALSE(ring.IsEmpty());
    const double cx = (mask.box.x0 + mask.box.x1) / 2 + mask.originX, cy = (mask.box.y0 + mask.box.y1) / 2 + mask.originY;
    Star(cx, cy, 1000.0, 5.0);
    Take(m);
    ASSERT_EQ(chain->Pull(), 5);
    const StatisticResult& r = chain->Record();
    EXPECT_EQ(r.backgroundValid, 1);
    EXPECT_NEAR(r.bkgr, 100.0, 0.5);
    EXPECT_NEAR(r.rmsBkgr, 5.0, 0.25);
    EXPECT_EQ(r.nproBkgr, Pixels(ring).size());
    EXPECT_EQ(r.npro, Pixels(mask).size());
    EXPECT_EQ(r.bkgrThreshold, r.bkgr + 2 * r.rmsBkgr);
    EXPECT_NEAR(r.xc, cx, 0.05);
    EXPECT_NEAR(r.yc, cy, 0.05);
    EXPECT_GT(r.fwhm, 8.0);
    EXPECT_LT(r.fwhm, 16.0);
}

// ---- Mended faults -------------------------------------------------------------------------------

TEST_F(StatisticTest, NaNIsNeverAValue) {
    Frame(10, 10);
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> u(0.0, 50.0);
    for (double& x : chain->source->values) x = u(random);
    for (int i : {0, 9, 13, 44, 45, 77, 99}) chain->source->values[i] = std::nan("");
    Measured& m = Shape();
    SetRects(&m, 0, 0, {{0, 0, 10, 10}});
    Take(m);
    ASSERT_EQ(chain->Pull(), 5);
    const StatisticResult& r = chain->Record();
    EXPECT_EQ(r.npro, 93u);
    EXPECT_FALSE(std::isnan(r.mean) || std::isnan(r.median) || std::isnan(r.dispersion));
    if (!HaveReference()) return;
    testing_util::TempFolder folder;
    WriteDoubles(folder.File("frame"), chain->source->values.data(), 100);
    WriteRects(folder.File("mask"), m.shape->derived.mask, 0, 0);
    const Reference want = ReferenceOf("region " + folder.File("frame") + " 10 10 1 " + folder.File("mask"));
    EXPECT_EQ(r.median, want.at("median"));  // np.nanmedian
    EXPECT_LT(RelativeError(r.mean, want.at("mean")), 1e-14);  // np.nanmean
}

TEST_F(StatisticTest, TheMissingMarkCountsOnlyWhereTheFrameHoldsNone) {
    Frame(4, 1);
    for (int i = 0; i < 4; ++i) chain->source->At(i, 0) = i + 1.0;
    chain->source->At(2, 0) = -DBL_MAX;
    Measured& m = Shape();
    SetRects(&m, 0, 0, {{0, 0, 4, 1}});
    Take(m);
    chain->source->missing = 1;
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(std::tuple(chain->Record().npro, chain->Record().min, chain->Record().flux), std::tuple(3u, 1.0, 7.0));
    chain->source->missing = 0;
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(std::tuple(chain->Record().npro, chain->Record().min), std::tuple(4u, -DBL_MAX));
}

TEST_F(StatisticTest, AShapeOverTheFramesEdgeIsClippedToIt) {
    Frame(12, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 12; ++x) chain->source->At(x, y) = 1000.0 * y + x;
    Measured& m = Shape();
    SetRects(&m, -5, 0, {{0, 0, 20, 10}});  // (-5, 0) to (15, 10)
    Take(m);
    ASSERT_EQ(chain->Pull(), 5);
    const StatisticBlock& b = chain->Block();
    EXPECT_EQ(std::tuple(b.boxX, b.boxY, b.boxW, b.boxH), std::tuple(0, 0, 12, 10));
    EXPECT_EQ(std::tuple(chain->Record().npro, chain->Record().max, chain->Record().min), std::tuple(120u, 9011.0, 0.0));
    // Only the box on the frame was asked for.
    EXPECT_EQ(std::tuple(chain->reduction->heldFrame.window.x, chain->reduction->heldFrame.window.width), std::tuple(0, 12));

    // Entirely outside: nothing to measure.
    SetRects(&m, 30, 0, {{0, 0, 5, 5}});
    EXPECT_EQ(chain->Pull(), 1);
    EXPECT_EQ(chain->Block().filled, 0u);
    EXPECT_EQ(m.shape->statMark.centreX, -1.0);
}

TEST_F(StatisticTest, NoFieldOfAnEarlierItemSurvives) {
    Frame(120, 100);
    Star(60, 50, 1000.0, 5.0);
    Measured& star = Shape();
    SetRects(&star, 0, 0, {{20, 10, 101, 91}});
    Take(star);
    ASSERT_EQ(chain->Pull(), 5);
    ASSERT_GT(chain->Record().xsig, 0.0);
    ASSERT_GT(chain->Record().fwhm, 0.0);
    // A constant region: the rules reach neither spreads nor asymmetries nor FWHM.
    for (int x = 0; x < 10; ++x) chain->source->At(x, 99) = 7.0;
    Measured& flat = Shape();
    SetRects(&flat, 0, 0, {{0, 99, 10, 100}});
    Take(flat);
    ASSERT_EQ(chain->Pull(), 5);
    const StatisticResult& r = chain->Record();
    EXPECT_EQ(std::tuple(r.npro, r.mean), std::tuple(10u, 7.0));
    EXPECT_EQ(std::tuple(r.xsig, r.ysig, r.xysig, r.xasym, r.yasym, r.fwhm, r.thresholdRadius, r.gaussPercent),
              std::tuple(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0u));
    EXPECT_EQ(std::tuple(r.skewness, r.kurtosis, r.kurtosisDeviation, r.skewnessDeviation), std::tuple(0.0, 0.0, 0.0, 0.0));
}

TEST_F(StatisticTest, ARegionTooLargeIsNotMeasuredAtAll) {
    Frame(50, 50);
    Measured& m = Shape();
    SetRects(&m, 0, 0, {{0, 0, 40, 40}});
    Take(m);
    ASSERT_EQ(chain->Pull(), 5);
    chain->reduction->statisticValueLimit = 1000;
    int32_t code = 0;
    const std::string log = testing_util::CapturedLog([&] { code = chain->Pull(); });
    EXPECT_EQ(code, -1);
    EXPECT_EQ(log, "Statistic: region too large (1600 values, limit 1000)\n");
    EXPECT_EQ(chain->Block().filled, 0u);
    EXPECT_EQ(chain->result.pending, 1);  // from the earlier pull; the runner does not clear it
    // A ring that needs more than the limit alone is refused as well.
    chain->reduction->statisticValueLimit = 2000;
    SetRects(&m, 0, 0, {{10, 10, 20, 20}}, {{0, 0, 50, 45}});
    const std::string ring = testing_util::CapturedLog([&] { code = chain->Pull(); });
    EXPECT_EQ(code, -1);
    EXPECT_EQ(ring, "Statistic: region too large (2250 values, limit 2000)\n");
    chain->reduction->statisticValueLimit = 3000;
    EXPECT_EQ(chain->Pull(), 5);
    EXPECT_EQ(chain->Record().nproBkgr, 2250u);
}

TEST_F(StatisticTest, TwoSquaresMeasuredAsOneItem) {
    Frame(40, 20);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            chain->source->At(x, y) = 1.0;
            chain->source->At(x + 25, y + 10) = 3.0;
        }
    Measured& a = Shape();
    Measured& b = Shape();
    SetRects(&a, 0, 0, {{0, 0, 10, 10}});
    SetRects(&b, 20, 5, {{5, 5, 15, 15}});
    ReductionResult* group = ReductionResult::Create(chain->reduction);
    ASSERT_TRUE(group->AddMember(a.shape));
    ASSERT_TRUE(group->AddMember(b.shape));
    ASSERT_TRUE(chain->reduction->AddGroupItem(group));
    group->Release();
    ASSERT_EQ(chain->Pull(), 5);
    const StatisticResult& r = chain->Record();
    EXPECT_EQ(std::tuple(r.npro, r.mean, r.median, r.min, r.max), std::tuple(200u, 2.0, 2.0, 1.0, 3.0));
    const StatisticBlock& box = chain->Block();
    EXPECT_EQ(std::tuple(box.boxX, box.boxY, box.boxW, box.boxH), std::tuple(0, 0, 35, 20));
    EXPECT_NE(a.shape->statMark.centreX, -1.0);  // the first member carries the marks
}

// ---- Channels, precision and the held frame -------------------------------------------------------

TEST_F(StatisticTest, ThreeInterleavedChannels) {
    Frame(30, 20, 3);
    std::mt19937_64 random(8);
    std::normal_distribution<double> n0(10, 1), n1(200, 20), n2(-5, 0.5);
    for (int64_t i = 0; i < 30 * 20; ++i) {
        chain->source->values[i * 3] = n0(random);
        chain->source->values[i * 3 + 1] = n1(random);
        chain->source->values[i * 3 + 2] = n2(random);
    }
    Measured& m = Shape();
    SetRects(&m, 0, 0, {{2, 3, 20, 15}, {5, 15, 25, 18}});
    Take(m);
    chain->reduction->Options().values.nChannel = 2;
    ASSERT_EQ(chain->Pull(), 5);
    const StatisticBlock& b = chain->Block();
    EXPECT_EQ(std::tuple(b.channels, b.filled, b.samplesPerPixel, b.selectedChannel), std::tuple(3u, 3u, 3u, 2u));
    EXPECT_EQ(chain->result.image.elementsPerItem, 3u);
    const std::vector<double> out = chain->Output();
    ASSERT_EQ(out.size(), 3u * b.binCount);
    for (uint32_t c = 0; c < 3; ++c)
        EXPECT_EQ(std::accumulate(out.begin() + c * b.binCount, out.begin() + (c + 1) * b.binCount, 0.0), 276.0) << c;
    EXPECT_EQ(m.shape->statMark.centreX, chain->Record(1).xc);
    if (HaveReference()) {
        testing_util::TempFolder folder;
        WriteDoubles(folder.File("frame"), chain->source->values.data(), chain->source->values.size());
        WriteRects(folder.File("mask"), m.shape->derived.mask, 0, 0);
        const std::vector<Reference> want =
            ReferenceBlocks("region " + folder.File("frame") + " 30 20 3 " + folder.File("mask"));
        ASSERT_EQ(want.size(), 3u);
        for (uint32_t c = 0; c < 3; ++c) {
            const StatisticResult& r = chain->Record(c);
            EXPECT_EQ(std::tuple(r.npro, r.median, r.min, r.max),
                      std::tuple(276u, want[c].at("median"), want[c].at("min"), want[c].at("max")));
            EXPECT_LT(RelativeError(r.mean, want[c].at("mean")), 1e-13);
            EXPECT_LT(RelativeError(r.dispersion, want[c].at("var1")), 1e-12);
            EXPECT_LT(RelativeError(r.kurtosisUnbiased, want[c].at("kurt1")), 1e-9);
        }
    }
    // One channel of the three: the selected one alone.
    const double mean1 = chain->Record(1).mean;
    chain->reduction->Options().values.allChannels = 0;
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(std::tuple(chain->Block().channels, chain->Block().selectedChannel, chain->Record().mean),
              std::tuple(1u, 1u, mean1));
}

TEST_F(StatisticTest, TheHeldFrameServesUntilAFreshPullOrAChangeUpstream) {
    Frame(50, 50);
    Measured& m = Shape();
    SetRects(&m, 0, 0, {{0, 0, 30, 30}}, {{0, 0, 40, 40}});
    Take(m);
    ASSERT_EQ(chain->Pull(1), 5);
    EXPECT_EQ(chain->source->pulls, 1);
    SetRects(&m, 0, 0, {{5, 5, 20, 20}});  // inside the held box
    ASSERT_EQ(chain->Pull(0), 5);
    EXPECT_EQ(chain->source->pulls, 1);
    ASSERT_EQ(chain->Pull(1), 5);  // a fresh pull
    EXPECT_EQ(chain->source->pulls, 2);
    SetRects(&m, 0, 0, {{35, 35, 45, 45}});  // beyond it
    ASSERT_EQ(chain->Pull(0), 5);
    EXPECT_EQ(chain->source->pulls, 3);
    chain->reduction->input.OnUpstreamChanged();
    ASSERT_EQ(chain->Pull(0), 5);
    EXPECT_EQ(chain->source->pulls, 4);
}

TEST_F(StatisticTest, ExtendedPrecisionAgreesWithTheDefault) {
    Frame(200, 150);
    std::mt19937_64 random(12);
    std::normal_distribution<double> noise(5e4, 30.0);
    for (double& x : chain->source->values) x = noise(random);
    Star(120, 70, 3000.0, 3.0);
    Measured& m = Shape();
    SetRects(&m, 0, 0, {{10, 10, 190, 140}}, {{0, 0, 200, 150}});
    Take(m);
    ASSERT_EQ(chain->Pull(1, 0), 5);
    const StatisticResult plain = chain->Record();
    ASSERT_EQ(chain->Pull(1, 1), 5);  // the request asks for it
    const StatisticResult extended = chain->Record();
    chain->reduction->Options().values.extendedPrecision = 1;  // or the options do
    ASSERT_EQ(chain->Pull(1, 0), 5);
    const StatisticResult options = chain->Record();
    for (const StatisticResult* e : {&extended, &options}) {
        EXPECT_EQ(std::tuple(e->npro, e->median, e->min, e->max), std::tuple(plain.npro, plain.median, plain.min, plain.max));
        EXPECT_LT(RelativeError(e->mean, plain.mean), 1e-14);
        EXPECT_LT(RelativeError(e->dispersion, plain.dispersion), 1e-12);
        EXPECT_LT(RelativeError(e->skewness, plain.skewness), 1e-9);
        EXPECT_LT(RelativeError(e->kurtosis, plain.kurtosis), 1e-9);
        EXPECT_LT(RelativeError(e->bkgr, plain.bkgr), 1e-14);
        EXPECT_LT(RelativeError(e->rmsBkgr, plain.rmsBkgr), 1e-10);
        EXPECT_LT(std::fabs(e->xc - plain.xc), 1e-9);
        EXPECT_LT(std::fabs(e->xsig - plain.xsig), 1e-8);
        EXPECT_EQ(e->fwhm, plain.fwhm);
    }
}

TEST_F(StatisticTest, TheMarksAreAnnouncedForAShapeWithAGlyph) {
    static int announced = 0;
    announced = 0;
    TheReductionServices().statisticMarks = [](orva::Shape*) { ++announced; };
    Frame(20, 20);
    Star(10, 10, 100, 2);
    Measured& m = Shape();
    SetRects(&m, 0, 0, {{0, 0, 20, 20}});
    Take(m);
    ASSERT_NE(m.shape->glyph, nullptr);
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(announced, 1);
    m.box.noStatisticMarks = 1;
    ASSERT_EQ(chain->Pull(), 5);
    EXPECT_EQ(announced, 1);
    EXPECT_NEAR(m.shape->statMark.centreX, 10.0, 1e-9);
}

// ---- A large circle against numpy ----------------------------------------------------------------

TEST_F(StatisticTest, ACircleOfDiameter2000MatchesNumpy) {
    if (!HaveReference()) GTEST_SKIP() << "numpy or scipy not installed";
    constexpr int kSide = 4096;
    Frame(kSide, kSide);
    std::mt19937_64 random(2024);
    std::normal_distribution<double> noise(100.0, 10.0);
    for (double& x : chain->source->values) x = noise(random);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int s = 0; s < 300; ++s) {
        const double cx = 1000 + 2000 * u(random), cy = 1000 + 2000 * u(random), peak = 500 + 20000 * u(random);
        const double sigma = 1.5 + 3 * u(random);
        for (int y = static_cast<int>(cy) - 20; y < cy + 20; ++y)
            for (int x = static_cast<int>(cx) - 20; x < cx + 20; ++x)
                chain->source->At(x, y) += peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (2 * sigma * sigma));
    }
    Measured& m = Shape(kKindEllipse);
    {
        ShapeLock lock(m.shape);
        ASSERT_TRUE(EllipseRegion(&m.shape->derived.mask, 0, 0, 2000, 2000, 2000, 2000));
        m.shape->derived.mask.originX = m.shape->derived.mask.originY = 1048;
    }
    Take(m);
    testing_util::TempFolder folder;
    WriteDoubles(folder.File("frame"), chain->source->values.data(), chain->source->values.size());
    WriteRects(folder.File("mask"), m.shape->derived.mask, 1048, 1048);
    const Reference want = ReferenceOf("region " + folder.File("frame") + " 4096 4096 1 " + folder.File("mask"));
    for (uint8_t extended : {0, 1}) {
        SCOPED_TRACE(extended ? "extended" : "double");
        ASSERT_EQ(chain->Pull(1, extended), 5);
        const StatisticResult& r = chain->Record();
        EXPECT_EQ(static_cast<double>(r.npro), want.at("n"));
        ExpectMomentsAsNumpy(r, want);
        char threshold[64];
        std::snprintf(threshold, sizeof threshold, " %.17g", r.bkgrThreshold);
        const Reference c =
            ReferenceOf("centroid " + folder.File("frame") + " 4096 4096 " + folder.File("mask") + threshold);
        EXPECT_LT(std::fabs(r.xc - c.at("xc")), 1e-9);
        EXPECT_LT(std::fabs(r.yc - c.at("yc")), 1e-9);
        EXPECT_LT(RelativeError(r.xsig, c.at("xsig")), 1e-10);
        EXPECT_LT(RelativeError(r.ysig, c.at("ysig")), 1e-10);
        EXPECT_LT(std::fabs(r.xysig - c.at("xysig")), 1e-6);
        EXPECT_LT(std::fabs(r.xasym - c.at("xasym")), 1e-8);
        EXPECT_LT(std::fabs(r.yasym - c.at("yasym")), 1e-8);
        EXPECT_NEAR(r.thresholdRadius, std::sqrt(c.at("above") / M_PI), 1e-9);
    }
}

}  // namespace
}  // namespace orva
