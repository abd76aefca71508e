// The cross-profile smoothing of a slice: medians against np.median, the
// window estimates against numpy's sliding_window_view, the smoothing spline
// against scipy's make_smoothing_spline, CubicSpline and np.polyfit, and the
// kernel's row rules worked by hand.
#include "reduction/slice_smooth.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "common/global_buffer.h"
#include "reduction/reduction_component.h"
#include "reduction_fixture.h"
#include "statistic_reference.h"
#include "test_support.h"

namespace orva {
namespace {

using reduction_testing::HaveReference;
using reduction_testing::Reference;
using reduction_testing::ReferenceOf;
using reduction_testing::RelativeError;
using reduction_testing::WriteDoubles;
using testing_util::TempFolder;

constexpr double kMiss = kSliceMissing;
const char* const kScript = "slice_smooth_reference.py";

// A smoothing call on a block, with the results.
struct Block {
    Block(int64_t rows, int64_t width, int64_t window)
        : samples(rows * width), profile(rows * width, -7.0), scales(rows, -7.0) {
        work.rows = rows;
        work.width = width;
        work.window = window;
    }
    double& at(int64_t r, int64_t c) { return samples[r * work.width + c]; }
    double p(int64_t r, int64_t c) const { return profile[r * work.width + c]; }
    int32_t Smooth(SliceEstimator e = SliceEstimator::kMeanOrMedian, double gain = 1.0,
                   double noise2 = 1.0) {
        return SmoothSlice(e, work, gain, noise2, samples.data(), profile.data(), scales.data());
    }
    SliceSmoothWork work;
    std::vector<double> samples, profile, scales;
};

// ---- Medians
// -------------------------------------------------------------------------------------------------------

TEST(SliceMedianTest, SmallSetsByHand) {
    struct Case {
        std::vector<double> v;
        double median;
    };
    const Case cases[] = {
        {{1, 2, 3, 3}, 2.5},
        {{0, 2, 3, 4}, 2.5},
        {{1, 2, 2, 2}, 2.0},
        {{-4}, -4.0},
        {{5, -5}, 0.0},
        {{7, 7}, 7.0},
        {{DBL_MAX, DBL_MAX * 0.75}, DBL_MAX * 0.875},
        {{-DBL_MAX, -DBL_MAX}, -DBL_MAX},
        {{3, 1, 2}, 2.0},
        {{-1, -3, -2, -4}, -2.5},
    };
    for (const Case& c : cases) {
        std::vector<double> copy = c.v;
        EXPECT_EQ(MedianByBisection(c.v.data(), static_cast<int64_t>(c.v.size())), c.median)
            << c.v[0];
        EXPECT_EQ(SliceMedian(copy.data(), static_cast<int64_t>(copy.size())), c.median) << c.v[0];
    }
    // The bisection leaves the caller's values as they were.
    const std::vector<double> v = {9, 1, 8, 2, 7, 3, 6, 4, 5, 0, 5};
    std::vector<double> copy = v;
    EXPECT_EQ(MedianByBisection(copy.data(), 11), 5.0);
    EXPECT_EQ(copy, v);
}

TEST(SliceMedianTest, RandomSetsWithDuplicatesAsNumpy) {
    if (!HaveReference()) GTEST_SKIP() << "numpy or scipy missing";
    std::mt19937_64 random(54);
    std::vector<std::vector<double>> sets;
    for (int n = 1; n <= 40; ++n)
        for (int repeat = 0; repeat < 6; ++repeat) {
            // Few distinct values (many duplicates), or spread reals of both signs.
            std::uniform_int_distribution<int> small(-3, 3);
            std::normal_distribution<double> spread(0.0, 1e3);
            std::vector<double> v(n);
            for (double& x : v) x = repeat % 2 == 0 ? small(random) : spread(random);
            sets.push_back(v);
        }
    std::vector<double> file;
    for (const auto& v : sets) {
        file.push_back(static_cast<double>(v.size()));
        file.insert(file.end(), v.begin(), v.end());
    }
    TempFolder folder;
    WriteDoubles(folder.File("sets"), file.data(), file.size());
    const Reference want = ReferenceOf("medians " + folder.File("sets"), kScript);
    ASSERT_EQ(want.size(), sets.size());
    for (size_t i = 0; i < sets.size(); ++i) {
        std::vector<double> v = sets[i];
        const double expected = want.at("m" + std::to_string(i));
        const auto n = static_cast<int64_t>(v.size());
        EXPECT_NEAR(MedianByBisection(v.data(), n), expected, 1e-12 * std::fabs(expected))
            << "set " << i;
        EXPECT_NEAR(SliceMedian(v.data(), n), expected, 1e-12 * std::fabs(expected)) << "set " << i;
        if (n == 3 || n == 5 || n == 7 || n == 9) {
            v = sets[i];
            const double network = n == 3   ? MedianOf3(v.data())
                                   : n == 5 ? MedianOf5(v.data())
                                   : n == 7 ? MedianOf7(v.data())
                                            : MedianOf9(v.data());
            EXPECT_EQ(network, expected) << "set " << i;
        }
    }
}

TEST(SliceMedianTest, MeanOverflowAndUnderflow) {
    double mean = 0.0;
    bool trouble = false;
    const double big[] = {DBL_MAX, DBL_MAX, DBL_MAX * 0.5};
    ASSERT_TRUE(SliceMean(big, 3, &mean, &trouble));
    EXPECT_TRUE(trouble);
    EXPECT_NEAR(mean, DBL_MAX * (2.5 / 3.0), DBL_MAX * 1e-15);
    const double tiny[] = {DBL_MIN / 8, DBL_MIN / 8};
    trouble = false;
    ASSERT_TRUE(SliceMean(tiny, 2, &mean, &trouble));
    EXPECT_TRUE(trouble);
    EXPECT_EQ(mean, 0.0);
    const double bad[] = {1.0, std::numeric_limits<double>::infinity()};
    EXPECT_FALSE(SliceMean(bad, 2, &mean));
    std::feclearexcept(FE_ALL_EXCEPT);
}

// ---- Window estimates
// --------------------------------------------------------------------------------------------

// The window estimates of a block with missing samples, for each estimator and
// window, against numpy on the same block (NaN for the missing mark).
TEST(SliceSmoothTest, WindowEstimatesAsSlidingWindowView) {
    if (!HaveReference()) GTEST_SKIP() << "numpy or scipy missing";
    TempFolder folder;
    const int64_t rows = 40, width = 5;
    std::mt19937_64 random(7);
    std::uniform_int_distribution<int> level(1, 9);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> block(rows * width), nan(rows * width);
    for (int64_t i = 0; i < rows * width; ++i) {
        // Integers give ties between mean and median, reals the general case.
        const bool integral = (i % width) < 2;
        block[i] = integral ? level(random) : 10.0 + 5.0 * unit(random);
        if (unit(random) < 0.1) block[i] = kMiss;
        nan[i] = block[i] == kMiss ? std::nan("") : block[i];
    }
    // A run of missing samples longer than the windows in one column.
    for (int64_t r = 10; r < 20; ++r)
        block[r * width + 3] = kMiss, nan[r * width + 3] = std::nan("");
    WriteDoubles(folder.File("block"), nan.data(), nan.size());
    const std::pair<SliceEstimator, const char*> kinds[] = {
        {SliceEstimator::kMean, "mean"},
        {SliceEstimator::kMedian, "median"},
        {SliceEstimator::kMeanOrMedian, "either"}};
    for (const auto& [estimator, name] : kinds)
        for (int64_t window : {2, 3, 4, 7, 9, 12}) {
            SCOPED_TRACE(std::string(name) + " window " + std::to_string(window));
            Block b(rows, width, window);
            b.samples = block;
            SliceRowCounts counts;
            ASSERT_TRUE(EstimateSliceRows(estimator, b.work, b.samples.data(), b.profile.data(),
                                          b.scales.data(), &counts));
            EXPECT_EQ(counts.half, window / 2);
            EXPECT_EQ(counts.produced, rows - window + 1);
            const Reference want =
                ReferenceOf("sliding " + folder.File("block") + " " + std::to_string(rows) + " " +
                                std::to_string(width) + " " + std::to_string(window) + " " + name,
                            kScript);
            for (int64_t k = 0; k < counts.produced; ++k) {
                const int64_t row = counts.half + k;
                EXPECT_LT(RelativeError(b.scales[row], want.at("f" + std::to_string(k))), 1e-13)
                    << "row " << row;
                for (int64_t c = 0; c < width; ++c) {
                    const auto it = want.find("p" + std::to_string(k) + "_" + std::to_string(c));
                    if (it == want.end())
                        EXPECT_EQ(b.p(row, c), kMiss) << row << "," << c;
                    else
                        EXPECT_LT(RelativeError(b.p(row, c), it->second), 1e-13) << row << "," << c;
                }
            }
        }
}

// The mean-or-median choice: the median in a column's first window, the one
// closer to the previous estimate after it, the mean on a tie.
TEST(SliceSmoothTest, MeanOrMedianChoiceByHand) {
    // Column 0 carries the test, column 1 is constant so that each row's mean
    // is (estimate + 1) / 2.
    const double column[] = {0, 0, 3, 3, -3, 9};
    Block b(6, 2, 3);
    for (int r = 0; r < 6; ++r) b.at(r, 0) = column[r], b.at(r, 1) = 1.0;
    SliceRowCounts counts;
    ASSERT_TRUE(EstimateSliceRows(SliceEstimator::kMeanOrMedian, b.work, b.samples.data(),
                                  b.profile.data(), b.scales.data(), &counts));
    // {0,0,3}: first window, median 0 (mean 1). {0,3,3}: median 3, mean 2,
    // previous 0: the mean. {3,3,-3}: median 3, mean 1, previous 2: a tie, the
    // mean. {3,-3,9}: median 3, mean 3.
    const double estimates[] = {0, 2, 1, 3};
    for (int k = 0; k < 4; ++k) {
        EXPECT_DOUBLE_EQ(b.scales[1 + k], (estimates[k] + 1.0) / 2.0) << k;
        EXPECT_DOUBLE_EQ(b.p(1 + k, 0) * b.scales[1 + k], estimates[k]) << k;
    }
}

// The edge rows: produced rows half .. half + m - 1, the others copies of the
// nearest produced row, with its scale.
TEST(SliceSmoothTest, WindowPlacementAndEdgeRows) {
    struct Case {
        int64_t rows, window, first, last;
    };
    for (const Case& c : {Case{20, 6, 3, 17}, Case{20, 7, 3, 16}, Case{9, 2, 1, 8},
                          Case{5, 7, 2, 2}, Case{5, 5, 2, 2}}) {
        SCOPED_TRACE("rows " + std::to_string(c.rows) + " window " + std::to_string(c.window));
        Block b(c.rows, 3, c.window);
        // A cross profile that drifts along the path.
        for (int64_t r = 0; r < c.rows; ++r)
            for (int64_t col = 0; col < 3; ++col)
                b.at(r, col) = 10.0 + r * (col + 1) + (r % 3) * col;
        ASSERT_EQ(b.Smooth(), 3);
        for (int64_t r = 0; r < c.rows; ++r) {
            const int64_t source = std::clamp(r, c.first, c.last);
            for (int64_t col = 0; col < 3; ++col)
                EXPECT_EQ(b.p(r, col), b.p(source, col)) << r << "," << col;
            EXPECT_EQ(b.scales[r], b.scales[source]) << r;
            EXPECT_NEAR(b.p(r, 0) + b.p(r, 1) + b.p(r, 2), 1.0, 1e-15) << r;
        }
        if (c.first != c.last) {
            EXPECT_NE(b.p(c.first, 0), b.p(c.last, 0));
        }
    }
    // A window longer than the block: one produced row, row 5 / 2, the median
    // of every column (first window), scaled to unit sum.
    Block b(5, 2, 8);
    const double v[5][2] = {{1, 5}, {2, 9}, {7, 4}, {3, 6}, {4, 1}};
    for (int r = 0; r < 5; ++r) b.at(r, 0) = v[r][0], b.at(r, 1) = v[r][1];
    ASSERT_EQ(b.Smooth(SliceEstimator::kMedian), 3);
    for (int r = 0; r < 5; ++r) {
        EXPECT_DOUBLE_EQ(b.p(r, 0), 3.0 / 8.0) << r;
        EXPECT_DOUBLE_EQ(b.p(r, 1), 5.0 / 8.0) << r;
        EXPECT_DOUBLE_EQ(b.scales[r], 4.0) << r;
    }
}

// Without a window (0 or 1, or one row) every row is scaled by its own mean;
// rows that are multiples of one profile give that profile everywhere.
TEST(SliceSmoothTest, NoWindowScalesEachRow) {
    for (int64_t window : {0, 1}) {
        Block b(6, 4, window);
        for (int64_t r = 0; r < 6; ++r)
            for (int64_t c = 0; c < 4; ++c) b.at(r, c) = (r + 1) * 0.5 * (c + 1);
        ASSERT_EQ(b.Smooth(), 3) << window;
        for (int64_t r = 0; r < 6; ++r) {
            EXPECT_DOUBLE_EQ(b.scales[r], (r + 1) * 0.5 * 2.5) << r;
            for (int64_t c = 0; c < 4; ++c)
                EXPECT_NEAR(b.p(r, c), (c + 1) / 10.0, 1e-15) << r << "," << c;
        }
    }
    Block one(1, 3, 7);
    one.at(0, 0) = 2, one.at(0, 1) = 6, one.at(0, 2) = kMiss;
    ASSERT_EQ(one.Smooth(), 3);
    EXPECT_EQ(one.scales[0], 4.0);
    EXPECT_EQ(std::vector<double>(one.profile.begin(), one.profile.end()),
              (std::vector<double>{0.25, 0.75, kMiss}));
}

// The row rules of the final profile and the rescue of a thin one.
TEST(SliceSmoothTest, ThinProfilesAndRowRules) {
    // Two non-empty rows, 0 and 3: each column is the straight line through
    // them (0.5 -> 1.5 and 1.5 -> 0.5 after scaling), then rows sum to one.
    Block two(4, 2, 1);
    two.at(0, 0) = 1, two.at(0, 1) = 3, two.at(3, 0) = 3, two.at(3, 1) = 1;
    for (int c = 0; c < 2; ++c) two.at(1, c) = two.at(2, c) = kMiss;
    ASSERT_EQ(two.Smooth(), 3);
    const double left[] = {0.25, 5.0 / 12.0, 7.0 / 12.0, 0.75};
    for (int r = 0; r < 4; ++r) {
        EXPECT_NEAR(two.p(r, 0), left[r], 1e-15) << r;
        EXPECT_NEAR(two.p(r, 1), 1.0 - left[r], 1e-15) << r;
    }
    EXPECT_EQ(std::bit_cast<uint64_t>(two.scales[1]), 0x8010000000000000ull);
    EXPECT_EQ(std::bit_cast<uint64_t>(two.scales[2]), 0x8010000000000000ull);

    // A zero row ends as 1/W and counts as failed; an all-negative row and a
    // row of mixed signs end positive with unit sum; the empty row follows the
    // line through the other two (here its mirror: 2 y1 - y0).
    Block rules(3, 4, 1);
    const double r0[] = {1, 2, 3, 4};
    for (int c = 0; c < 4; ++c)
        rules.at(0, c) = r0[c], rules.at(1, c) = 0.0, rules.at(2, c) = kMiss;
    ASSERT_EQ(rules.Smooth(), 3);
    for (int c = 0; c < 4; ++c) {
        EXPECT_DOUBLE_EQ(rules.p(0, c), r0[c] / 10.0) << c;
        EXPECT_EQ(rules.p(1, c), 0.25) << c;
        EXPECT_DOUBLE_EQ(rules.p(2, c), r0[c] / 10.0) << c;
    }
    EXPECT_EQ(std::vector<double>(rules.scales.begin(), rules.scales.end()),
              (std::vector<double>{2.5, 0.0, kSliceEmptyRowScale}));

    Block negative(4, 2, 1);
    const double rows[4][2] = {{-1, -3}, {-2, -6}, {-1, 3}, {-4, -12}};
    for (int r = 0; r < 4; ++r) negative.at(r, 0) = rows[r][0], negative.at(r, 1) = rows[r][1];
    ASSERT_EQ(negative.Smooth(), 3);
    for (int r = 0; r < 4; ++r) {
        EXPECT_GE(negative.p(r, 0), 0.0) << r;
        EXPECT_GE(negative.p(r, 1), 0.0) << r;
        EXPECT_NEAR(negative.p(r, 0) + negative.p(r, 1), 1.0, 1e-15) << r;
    }
    EXPECT_EQ(negative.scales[0], -2.0);
    EXPECT_EQ(negative.scales[2], 1.0);

    // Nothing usable: every row zero or empty.
    Block none(5, 2, 1);
    for (int r = 0; r < 5; ++r)
        none.at(r, 0) = r % 2 ? 0.0 : kMiss, none.at(r, 1) = r % 2 ? 0.0 : kMiss;
    EXPECT_EQ(none.Smooth(), 0);
    // One non-empty row whose first sample is missing: no row to copy.
    Block firstMissing(3, 2, 1);
    firstMissing.at(0, 0) = firstMissing.at(0, 1) = firstMissing.at(1, 0) = firstMissing.at(2, 0) =
        kMiss;
    firstMissing.at(2, 1) = kMiss;
    firstMissing.at(1, 1) = 5.0;
    EXPECT_EQ(firstMissing.Smooth(), 0);
    // One non-empty row with its first sample: copied over the empty ones.
    Block copied(3, 2, 1);
    copied.at(0, 0) = copied.at(0, 1) = copied.at(2, 0) = copied.at(2, 1) = kMiss;
    copied.at(1, 0) = 1.0, copied.at(1, 1) = 3.0;
    ASSERT_EQ(copied.Smooth(), 3);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(std::pair(copied.p(r, 0), copied.p(r, 1)), std::pair(0.25, 0.75)) << r;
}

// A smooth cross profile under noise comes back close to the truth, and the
// floating-point status is left without overflow flags.
TEST(SliceSmoothTest, NoisyGaussianProfileIsRecovered) {
    const int64_t rows = 400, width = 21;
    std::mt19937_64 random(2);
    std::vector<double> truth(rows * width);
    for (SliceEstimator e :
         {SliceEstimator::kMeanOrMedian, SliceEstimator::kMean, SliceEstimator::kMedian}) {
        Block b(rows, width, 7);
        for (int64_t r = 0; r < rows; ++r) {
            const double centre = 10.0 + 2.0 * std::sin(r / 60.0),
                         flux = 1000.0 + 300.0 * std::sin(r / 50.0);
            double sum = 0.0;
            for (int64_t c = 0; c < width; ++c)
                sum += truth[r * width + c] = std::exp(-0.5 * std::pow((c - centre) / 2.5, 2));
            for (int64_t c = 0; c < width; ++c) {
                truth[r * width + c] /= sum;
                const double expected = flux * truth[r * width + c];
                std::normal_distribution<double> noise(expected, std::sqrt(expected + 100.0));
                b.at(r, c) = noise(random);
            }
        }
        ASSERT_EQ(b.Smooth(e, 1.0, 100.0), 3);
        // Against the rows of samples each scaled to unit sum.
        double smoothed = 0.0, raw = 0.0;
        for (int64_t r = 3; r < rows - 3; ++r) {
            const double sum = std::accumulate(&b.at(r, 0), &b.at(r, 0) + width, 0.0);
            for (int64_t c = 0; c < width; ++c) {
                smoothed += std::pow(b.p(r, c) - truth[r * width + c], 2);
                raw += std::pow(b.at(r, c) / sum - truth[r * width + c], 2);
            }
        }
        // A window of 7 alone leaves 1/sqrt(7) = 0.38 of the noise with the
        // mean and about 0.47 with the median; the spline takes more away.
        EXPECT_LT(std::sqrt(smoothed / raw), 0.36) << static_cast<int>(e);
        EXPECT_EQ(std::fetestexcept(FE_OVERFLOW | FE_UNDERFLOW | FE_INVALID | FE_DIVBYZERO), 0);
    }
}

// Without room for the spline's arrays every column keeps its estimates.
TEST(SliceSmoothTest, SplineArraysRefusedKeepEstimates) {
    Block b(30, 3, 3);
    for (int64_t r = 0; r < 30; ++r)
        for (int64_t c = 0; c < 3; ++c) b.at(r, c) = 5.0 + ((r * 7 + c * 3) % 5);
    Block estimated(30, 3, 3);
    estimated.samples = b.samples;
    SliceRowCounts counts;
    ASSERT_TRUE(EstimateSliceRows(SliceEstimator::kMeanOrMedian, estimated.work,
                                  estimated.samples.data(), estimated.profile.data(),
                                  estimated.scales.data(), &counts));
    // The scratch and sigma blocks are granted, the spline's refused.
    ASSERT_TRUE(b.work.scratch.Reserve(4096) && b.work.sigma.Reserve(4096));
    GlobalBufferRefuseBlocksForTest(1);
    ASSERT_EQ(b.Smooth(), 3);
    GlobalBufferRefuseBlocksForTest(0);
    for (int64_t r = 1; r < 29; ++r) {
        const double sum = estimated.p(r, 0) + estimated.p(r, 1) + estimated.p(r, 2);
        for (int64_t c = 0; c < 3; ++c)
            EXPECT_DOUBLE_EQ(b.p(r, c), estimated.p(r, c) / sum) << r << "," << c;
    }
}

// Without room for the sigma area the fits run with unit weights: gain and
// noise no longer change the profile.
TEST(SliceSmoothTest, SigmaAreaRefusedGivesUnitWeights) {
    auto smooth = [](bool refuseSigma, double gain, double noise2) {
        Block b(80, 3, 5);
        for (int64_t r = 0; r < 80; ++r)
            for (int64_t c = 0; c < 3; ++c) b.at(r, c) = 20.0 * (c + 1) + ((r * 13 + c * 7) % 11);
        if (refuseSigma) {
            // The scratch and the spline's blocks are granted, the sigma area refused.
            EXPECT_TRUE(b.work.scratch.Reserve(8192) && b.work.spline.Reserve(65536));
            GlobalBufferRefuseBlocksForTest(1);
        }
        EXPECT_EQ(b.Smooth(SliceEstimator::kMean, gain, noise2), 3);
        GlobalBufferRefuseBlocksForTest(0);
        EXPECT_EQ(b.work.sigma.size, refuseSigma ? 0u : 80u * sizeof(double));
        return b.profile;
    };
    EXPECT_EQ(smooth(true, 1.0, 1.0), smooth(true, 50.0, 9.0));
    EXPECT_NE(smooth(false, 1.0, 1.0), smooth(false, 50.0, 9.0));
}

// Sums that overflow are formed from scaled terms, and the overflow leaves no
// flag behind; a row holding an infinity stays out of its columns' fits.
TEST(SliceSmoothTest, OverflowAndInfiniteSamples) {
    Block big(8, 3, 1);
    for (int64_t r = 0; r < 8; ++r)
        for (int64_t c = 0; c < 3; ++c) big.at(r, c) = DBL_MAX * (0.5 + 0.1 * c);
    std::feclearexcept(FE_ALL_EXCEPT);
    ASSERT_EQ(big.Smooth(), 3);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT), 0);
    for (int64_t r = 0; r < 8; ++r) {
        EXPECT_NEAR(big.scales[r], DBL_MAX * 0.6, DBL_MAX * 1e-15) << r;
        for (int64_t c = 0; c < 3; ++c)
            EXPECT_NEAR(big.p(r, c), (0.5 + 0.1 * c) / 1.8, 1e-15) << r << "," << c;
    }

    Block inf(10, 3, 1);
    for (int64_t r = 0; r < 10; ++r)
        for (int64_t c = 0; c < 3; ++c) inf.at(r, c) = 1.0 + c;
    inf.at(4, 1) = std::numeric_limits<double>::infinity();
    ASSERT_EQ(inf.Smooth(), 3);
    std::feclearexcept(FE_ALL_EXCEPT);
    // The row without a mean is filled by the fits of its columns.
    EXPECT_EQ(inf.scales[4], kSliceEmptyRowScale);
    for (int64_t r = 0; r < 10; ++r)
        for (int64_t c = 0; c < 3; ++c)
            EXPECT_NEAR(inf.p(r, c), (1.0 + c) / 6.0, 1e-15) << r << "," << c;
    // At the end of the block nothing fills it: its infinity takes the sum.
    inf.at(4, 1) = 2.0;
    inf.at(9, 2) = std::numeric_limits<double>::infinity();
    ASSERT_EQ(inf.Smooth(), 3);
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(std::tuple(inf.p(9, 0), inf.p(9, 1), inf.p(9, 2)), std::tuple(0.0, 0.0, 1.0));
    EXPECT_NEAR(inf.p(8, 2), 0.5, 1e-15);
}

// The kernels a Reduction installs read the block's geometry from the
// component and the gain and noise from its options.
using SliceSmoothComponentTest = reduction_testing::ReductionTest;
TEST_F(SliceSmoothComponentTest, KernelsReadTheComponent) {
    reduction_testing::Chain chain(&ui, 1);
    ReductionComponent* r = chain.reduction;
    ASSERT_TRUE(r->Options().SetGain(4.0));
    ASSERT_TRUE(r->Options().SetNoise(3.0));
    const int64_t rows = 60, width = 4;
    r->sliceSmooth.rows = rows;
    r->sliceSmooth.width = width;
    r->sliceSmooth.window = 5;
    std::mt19937_64 random(60);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> samples(rows * width);
    for (int64_t i = 0; i < rows * width; ++i)
        samples[i] = 50.0 * (1 + i % width) + 20.0 * unit(random);
    using Kernel = int32_t (*)(ReductionComponent*, const double*, double*, double*);
    const std::pair<Kernel, SliceEstimator> kernels[] = {
        {&SmoothSliceMean, SliceEstimator::kMean},
        {&SmoothSliceMedian, SliceEstimator::kMedian},
        {&SmoothSliceMeanOrMedian, SliceEstimator::kMeanOrMedian}};
    for (const auto& [kernel, estimator] : kernels) {
        Block mine(rows, width, 5), defaults(rows, width, 5);
        mine.samples = defaults.samples = samples;
        std::vector<double> profile(rows * width), scales(rows);
        ASSERT_EQ(kernel(r, samples.data(), profile.data(), scales.data()), 3);
        ASSERT_EQ(mine.Smooth(estimator, 4.0, 9.0), 3);
        ASSERT_EQ(defaults.Smooth(estimator, 1.0, 1.0), 3);
        EXPECT_EQ(profile, mine.profile);
        EXPECT_EQ(scales, mine.scales);
        EXPECT_NE(profile, defaults.profile);
    }
    EXPECT_EQ(SmoothSliceMean(nullptr, samples.data(), samples.data(), samples.data()), 0);
}

// ---- The smoothing spline
// ------------------------------------------------------------------------------------------

struct SplineFit {
    explicit SplineFit(int64_t n) : a(n), b(n), c(n), d(n), work(7 * (n + 2)) {}
    std::vector<double> a, b, c, d, work;
    int32_t iterations = 0;
};

TEST(SmoothingSplineTest, StatusCodes) {
    SplineFit f(4);
    const double x[] = {0, 1, 1, 2}, y[] = {1, 2, 3, 4};
    EXPECT_EQ(FitSmoothingSpline(x, y, nullptr, 1, 1.0, f.a.data(), f.b.data(), f.c.data(),
                                 f.d.data(), f.work.data()),
              1);
    EXPECT_EQ(FitSmoothingSpline(x, y, nullptr, 0, 1.0, f.a.data(), f.b.data(), f.c.data(),
                                 f.d.data(), f.work.data()),
              1);
    f.a.assign(4, -1.0);
    EXPECT_EQ(FitSmoothingSpline(x, y, nullptr, 4, 1.0, f.a.data(), f.b.data(), f.c.data(),
                                 f.d.data(), f.work.data()),
              2);
    EXPECT_EQ(f.a, std::vector<double>(4, -1.0));
    const double down[] = {0, 2, 1};
    EXPECT_EQ(FitSmoothingSpline(down, y, nullptr, 3, 1.0, f.a.data(), f.b.data(), f.c.data(),
                                 f.d.data(), f.work.data()),
              2);
    const double close[] = {1.0, 1.0 + DBL_MIN};
    EXPECT_EQ(FitSmoothingSpline(close, y, nullptr, 2, 1.0, f.a.data(), f.b.data(), f.c.data(),
                                 f.d.data(), f.work.data()),
              2);
    // Two points: the straight line through them.
    const double two[] = {1.0, 3.0};
    ASSERT_EQ(FitSmoothingSpline(two, y, nullptr, 2, 5.0, f.a.data(), f.b.data(), f.c.data(),
                                 f.d.data(), f.work.data()),
              0);
    EXPECT_EQ(std::tuple(f.a[0], f.a[1], f.b[0], f.c[0], f.d[0]),
              std::tuple(1.0, 2.0, 0.5, 0.0, 0.0));
    EXPECT_EQ(SplineDefaultTarget(3), 0.05);
    EXPECT_DOUBLE_EQ(SplineDefaultTarget(50), (49.0 - 10.0) * 0.5);
}

// Test data: a smooth curve with normal noise of known sigma, uneven spacing.
struct SplineData {
    std::vector<double> x, y, sigma;
};
SplineData MakeSplineData(int64_t n, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> step(0.5, 1.5), sigmaOf(0.05, 0.3);
    SplineData s;
    double x = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        x += step(random);
        const double sg = sigmaOf(random);
        std::normal_distribution<double> noise(0.0, sg);
        s.x.push_back(x);
        s.sigma.push_back(sg);
        s.y.push_back(std::sin(x / 6.0) + 0.02 * x + noise(random));
    }
    return s;
}

TEST(SmoothingSplineTest, SameCurveAsScipyAtTheSameFit) {
    if (!HaveReference()) GTEST_SKIP() << "numpy or scipy missing";
    TempFolder folder;
    struct Case {
        int64_t n;
        double s;  // negative: the default target
        bool weighted;
    };
    for (const Case& c : {Case{12, -1.0, true}, Case{60, -1.0, true}, Case{60, 20.0, false},
                          Case{200, 150.0, true}, Case{7, 2.0, true}}) {
        SCOPED_TRACE("n " + std::to_string(c.n) + " s " + std::to_string(c.s));
        const SplineData s = MakeSplineData(c.n, static_cast<uint64_t>(c.n));
        SplineFit f(c.n);
        ASSERT_EQ(FitSmoothingSpline(s.x.data(), s.y.data(), c.weighted ? s.sigma.data() : nullptr,
                                     c.n, c.s, f.a.data(), f.b.data(), f.c.data(), f.d.data(),
                                     f.work.data(), &f.iterations),
                  0);
        EXPECT_LE(f.iterations, 20);
        // Reached the target: the weighted sum of squares is S.
        const double target = c.s < 0.0 ? SplineDefaultTarget(c.n) : c.s;
        double chi2 = 0.0;
        for (int64_t i = 0; i < c.n; ++i) {
            const double sg = c.weighted ? s.sigma[i] : 1.0;
            chi2 += std::pow((s.y[i] - f.a[i]) / sg, 2);
        }
        EXPECT_LT(RelativeError(chi2, target), 1e-6);
        std::vector<double> file = s.x;
        file.insert(file.end(), s.y.begin(), s.y.end());
        if (c.weighted)
            file.insert(file.end(), s.sigma.begin(), s.sigma.end());
        else
            file.insert(file.end(), c.n, 1.0);
        file.insert(file.end(), f.a.begin(), f.a.end());
        WriteDoubles(folder.File("fit"), file.data(), file.size());
        const Reference want =
            ReferenceOf("spline " + folder.File("fit") + " " + std::to_string(c.n), kScript);
        double scale = 0.0;
        for (double v : s.y) scale = std::max(scale, std::fabs(v));
        for (int64_t i = 0; i < c.n; ++i)
            EXPECT_NEAR(f.a[i], want.at("a" + std::to_string(i)), 1e-6 * scale) << i;
        // The pieces join: each interval's cubic ends at the next value.
        for (int64_t i = 0; i + 1 < c.n; ++i) {
            const double h = s.x[i + 1] - s.x[i];
            EXPECT_NEAR(f.a[i] + h * (f.b[i] + h * (f.c[i] + h * f.d[i])), f.a[i + 1], 1e-9 * scale)
                << i;
        }
    }
}

TEST(SmoothingSplineTest, ZeroTargetInterpolatesHugeTargetIsTheLine) {
    if (!HaveReference()) GTEST_SKIP() << "numpy or scipy missing";
    TempFolder folder;
    const int64_t n = 25;
    const SplineData s = MakeSplineData(n, 99);
    SplineFit f(n);
    // S = 0: the natural cubic spline through the points.
    ASSERT_EQ(FitSmoothingSpline(s.x.data(), s.y.data(), s.sigma.data(), n, 0.0, f.a.data(),
                                 f.b.data(), f.c.data(), f.d.data(), f.work.data()),
              0);
    EXPECT_EQ(f.a, s.y);
    std::vector<double> file = s.x;
    file.insert(file.end(), s.y.begin(), s.y.end());
    WriteDoubles(folder.File("points"), file.data(), file.size());
    const Reference natural =
        ReferenceOf("natural " + folder.File("points") + " " + std::to_string(n), kScript);
    for (int64_t i = 0; i + 1 < n; ++i) {
        EXPECT_NEAR(f.b[i], natural.at("b" + std::to_string(i)), 1e-10) << i;
        EXPECT_NEAR(f.c[i], natural.at("c" + std::to_string(i)), 1e-10) << i;
        EXPECT_NEAR(f.d[i], natural.at("d" + std::to_string(i)), 1e-10) << i;
    }
    // A target above any curve's sum of squares: the weighted straight line.
    testing_util::ProgramLogCapture log;
    ASSERT_EQ(FitSmoothingSpline(s.x.data(), s.y.data(), s.sigma.data(), n, 1e12, f.a.data(),
                                 f.b.data(), f.c.data(), f.d.data(), f.work.data(), &f.iterations),
              0);
    EXPECT_LE(f.iterations, kSplineIterationCap);
    file.insert(file.end(), s.sigma.begin(), s.sigma.end());
    WriteDoubles(folder.File("line"), file.data(), file.size());
    const Reference line =
        ReferenceOf("line " + folder.File("line") + " " + std::to_string(n), kScript);
    for (int64_t i = 0; i < n; ++i)
        EXPECT_NEAR(f.a[i], line.at("slope") * s.x[i] + line.at("intercept"), 1e-6) << i;
    EXPECT_EQ(log.Text(), "");
}

// At the iteration cap the fit ends with the curve of its last solve, below
// the target, and says so once in the log.
TEST(SmoothingSplineTest, IterationCapEndsTheFit) {
    const int64_t n = 40;
    const SplineData s = MakeSplineData(n, 5);
    SplineFit capped(n), full(n);
    testing_util::ProgramLogCapture log;
    ASSERT_EQ(FitSmoothingSpline(s.x.data(), s.y.data(), s.sigma.data(), n, -1.0, full.a.data(),
                                 full.b.data(), full.c.data(), full.d.data(), full.work.data(),
                                 &full.iterations),
              0);
    ASSERT_GT(full.iterations, 3);
    EXPECT_EQ(log.Text(), "");
    ASSERT_EQ(FitSmoothingSpline(s.x.data(), s.y.data(), s.sigma.data(), n, -1.0, capped.a.data(),
                                 capped.b.data(), capped.c.data(), capped.d.data(),
                                 capped.work.data(), &capped.iterations, 3),
              0);
    EXPECT_EQ(capped.iterations, 3);
    EXPECT_NE(log.Text().find("Smoothing spline: no convergence after 3 iterations"),
              std::string::npos);
    double chi2 = 0.0, difference = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        chi2 += std::pow((s.y[i] - capped.a[i]) / s.sigma[i], 2);
        difference += std::fabs(capped.a[i] - full.a[i]);
    }
    EXPECT_GT(chi2, 0.0);
    EXPECT_LT(chi2, SplineDefaultTarget(n));
    EXPECT_GT(difference, 0.0);
}

}  // namespace
}  // namespace orva
