#include "common/sample_type.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>
#include <vector>

namespace orva {
namespace {

TEST(SampleType, TypeFlagHighestBit) {
    EXPECT_EQ(TypeFlagHighestBit(0x1FF), 0x40u);
    EXPECT_EQ(TypeFlagHighestBit(0x102), 0x02u);
    EXPECT_EQ(TypeFlagHighestBit(0x05), 0x04u);
    EXPECT_EQ(TypeFlagHighestBit(0x30), 0x20u);
    EXPECT_EQ(TypeFlagHighestBit(0x180), 0u);
    EXPECT_EQ(TypeFlagHighestBit(0), 0u);
}

TEST(SampleType, SampleTypeRange) {
    const struct {
        uint32_t type;
        double lo, hi;
    } cases[] = {
        {0x01, -128.0, 127.0},
        {0x101, 0.0, 255.0},
        {0x02, -32768.0, 32767.0},
        {0x102, 0.0, 65535.0},
        {0x04, -8388608.0, 8388607.0},
        {0x104, 0.0, 16777215.0},
        {0x08, -2147483648.0, 2147483647.0},
        {0x108, 0.0, 4294967295.0},
        {0x20, -std::ldexp(1.0, 63), std::ldexp(1.0, 63)},
        {0x120, 0.0, std::ldexp(1.0, 64)},
        {0x10, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)},
        {0x40, -DBL_MAX, DBL_MAX},
        {0x50, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)},  // 0x10 first
        {0x41, -DBL_MAX, DBL_MAX},  // reals before integers
        {0x03, -128.0, 127.0},      // the smaller integer bit first
        {0x180, 0.0, 1.0},
        {0, 0.0, 1.0},
    };
    for (const auto& c : cases) {
        double lo = 99, hi = 99;
        SampleTypeRange(c.type, &lo, &hi);
        EXPECT_EQ(lo, c.lo) << std::hex << c.type;
        EXPECT_EQ(hi, c.hi) << std::hex << c.type;
    }
}

TEST(SampleType, MinTypeForValue) {
    const struct {
        double value;
        uint32_t type, bits;
    } cases[] = {
        {2.0, 0x01, 2},
        {2.9, 0x01, 2},
        {0.0, 0x01, 8},  // no bit length: from the type
        {0.5, 0x01, 8},
        {-3.0, 0x01, 8},
        {255.0, 0x01, 8},
        {256.0, 0x02, 9},
        {65535.0, 0x02, 16},
        {65536.0, 0x04, 17},
        {16777216.0, 0x08, 25},
        {4294967295.0, 0x08, 32},
        {4294967296.0, 0x20, 33},
        {std::ldexp(1.0, 63), 0x20, 64},
        {std::ldexp(1.0, 64), 0x10, 32},
        {1e38, 0x10, 32},
        {1e39, 0x40, 64},
        {INFINITY, 0x40, 64},
    };
    for (const auto& c : cases) {
        SampleTypeInfo r;
        MinTypeForValue(&r, c.value);
        EXPECT_EQ(r.type, c.type) << c.value;
        EXPECT_EQ(r.bits, c.bits) << c.value;
    }
}

DataInfo Plain(const std::vector<double>& xs) {
    DataInfo d;
    d.minimum = xs[0];
    d.maximum = xs[0];
    for (double x : xs) {
        d.minimum = std::min(d.minimum, x);
        d.maximum = std::max(d.maximum, x);
        d.sumSquares += x * x;
        d.total += x;
    }
    d.count = static_cast<int64_t>(xs.size());
    return d;
}

// Sums gathered over x / n.
DataInfo Scaled(const std::vector<double>& xs, int64_t n) {
    DataInfo d = Plain(xs);
    d.sumSquares = 0;
    d.total = 0;
    for (double x : xs) {
        d.sum += x / static_cast<double>(n);
        d.sumSquares += (x / static_cast<double>(n)) * (x / static_cast<double>(n));
    }
    d.n = n;
    return d;
}

TEST(SampleType, ChooseSampleTypeSmallExamples) {
    DataInfo d;
    d.minimum = 1;
    d.maximum = 3;
    d.total = 6;
    d.sumSquares = 14;
    d.count = 3;
    ASSERT_TRUE(ChooseSampleType(&d, false));
    EXPECT_DOUBLE_EQ(d.sum, 2.0);
    EXPECT_NEAR(d.sumSquares, 1.0, 1e-12);
    EXPECT_EQ(d.sampleType.type, 0x01u);
    EXPECT_EQ(d.sampleType.bits, 2u);

    DataInfo two;
    two.minimum = 1;
    two.maximum = 3;
    two.count = 2;
    ASSERT_TRUE(ChooseSampleType(&two, false));
    EXPECT_EQ(two.sum, 2.0);
    EXPECT_EQ(two.sumSquares, 1.0);
    EXPECT_EQ(two.total, 4.0);

    // Two values at the ends of the double range: nothing overflows.
    DataInfo wide;
    wide.minimum = -DBL_MAX;
    wide.maximum = DBL_MAX;
    wide.count = 2;
    ASSERT_TRUE(ChooseSampleType(&wide, false));
    EXPECT_EQ(wide.sum, 0.0);
    EXPECT_EQ(wide.sumSquares, DBL_MAX);
    EXPECT_EQ(wide.total, 0.0);
    EXPECT_EQ(wide.sampleType.type, 0x40u);

    DataInfo big;
    big.minimum = 0.5e308;
    big.maximum = 1.5e308;
    big.count = 2;
    ASSERT_TRUE(ChooseSampleType(&big, false));
    EXPECT_EQ(big.total, DBL_MAX);
    EXPECT_DOUBLE_EQ(big.sum, 1e308);
    EXPECT_DOUBLE_EQ(big.sumSquares, 0.5e308);

    DataInfo one;
    one.minimum = one.maximum = -5;
    one.count = 4;
    ASSERT_TRUE(ChooseSampleType(&one, false));
    EXPECT_EQ(one.sum, -5.0);
    EXPECT_EQ(one.sumSquares, 0.0);
    EXPECT_EQ(one.total, -20.0);
    EXPECT_EQ(one.sampleType.type, 0x01u);
    EXPECT_EQ(one.sampleType.bits, 8u);
}

TEST(SampleType, ChooseSampleTypeMatchesSampleStandardDeviation) {
    // Reference from python3: statistics.mean / statistics.stdev of these values.
    const std::vector<double> xs = {2.5, -1.25, 7.0, 3.5, 10.0, -4.0, 0.5};
    const double mean = 2.607142857142857, stdev = 4.7911749230076275;

    DataInfo d = Plain(xs);
    ASSERT_TRUE(ChooseSampleType(&d, false));
    EXPECT_NEAR(d.sum, mean, 1e-14);
    EXPECT_NEAR(d.sumSquares, stdev, 1e-13);
    EXPECT_EQ(d.total, 18.25);
    EXPECT_EQ(d.sampleType.type, 0x01u);  // range 14
    EXPECT_EQ(d.sampleType.bits, 4u);

    // Gathered with the factor 1/N, N equal to the count.
    DataInfo s = Scaled(xs, 7);
    ASSERT_TRUE(ChooseSampleType(&s, true));
    EXPECT_NEAR(s.sum, mean, 1e-14);
    EXPECT_NEAR(s.sumSquares, stdev, 1e-13);
    EXPECT_NEAR(s.total, 18.25, 1e-13);

    // N larger than the count (values were skipped).
    DataInfo t = Scaled(xs, 10);
    ASSERT_TRUE(ChooseSampleType(&t, true));
    EXPECT_NEAR(t.sum, mean, 1e-14);
    EXPECT_NEAR(t.sumSquares, stdev, 1e-13);
    EXPECT_NEAR(t.total, 18.25, 1e-13);
}

TEST(SampleType, ChooseSampleTypeFailuresAndUnsetResults) {
    auto expectFailed = [](const DataInfo& d) {
        EXPECT_EQ(d.minimum, DBL_MAX);
        EXPECT_EQ(d.maximum, -DBL_MAX);
        EXPECT_EQ(d.sumSquares, -DBL_MAX);
        EXPECT_EQ(d.sum, -DBL_MAX);
        EXPECT_EQ(d.total, 0.0);
    };
    DataInfo empty;
    empty.total = 5;
    EXPECT_FALSE(ChooseSampleType(&empty, false));
    expectFailed(empty);

    DataInfo reversed = Plain({1, 2, 3});
    std::swap(reversed.minimum, reversed.maximum);
    EXPECT_FALSE(ChooseSampleType(&reversed, false));
    expectFailed(reversed);

    DataInfo notFinite = Plain({1, 2, 3});
    notFinite.maximum = NAN;
    EXPECT_FALSE(ChooseSampleType(&notFinite, false));
    expectFailed(notFinite);
    EXPECT_FALSE(ChooseSampleType(nullptr, false));

    // A total that overflowed: mean and deviation unset, total 0, still true.
    DataInfo overflow = Plain({1, 2, 3});
    overflow.total = INFINITY;
    EXPECT_TRUE(ChooseSampleType(&overflow, false));
    EXPECT_EQ(overflow.sum, kStatisticUnset);
    EXPECT_EQ(overflow.sumSquares, kStatisticUnset);
    EXPECT_EQ(overflow.total, 0.0);

    // A sum of squares that overflowed: only the deviation is unset.
    DataInfo squares = Plain({1, 2, 3});
    squares.sumSquares = INFINITY;
    EXPECT_TRUE(ChooseSampleType(&squares, false));
    EXPECT_EQ(squares.sum, 2.0);
    EXPECT_EQ(squares.sumSquares, kStatisticUnset);

    // A mean scaled by N / count that overflows.
    DataInfo scaled = Scaled({1, 2, 3}, 3);
    scaled.sum = 1e308;
    scaled.n = 1000;
    EXPECT_TRUE(ChooseSampleType(&scaled, true));
    EXPECT_EQ(scaled.sum, kStatisticUnset);
    EXPECT_EQ(scaled.sumSquares, kStatisticUnset);
    EXPECT_EQ(scaled.total, 0.0);

    // A total too small to divide is a mean of 0; a zero sum of squares gives 0.
    DataInfo tiny = Plain({1, 2, 3});
    tiny.total = 1e-310;
    tiny.sumSquares = 0.0;
    EXPECT_TRUE(ChooseSampleType(&tiny, false));
    EXPECT_EQ(tiny.sum, 0.0);
    EXPECT_EQ(tiny.sumSquares, 0.0);
}

TEST(SampleType, LinearRangeFromIndices) {
    LinearAxis axis{0.5, 10.0};
    LinearRange r;
    ASSERT_TRUE(LinearRangeFromIndices(&axis, &r, 2, 4));
    EXPECT_EQ(r.low, 9.0);
    EXPECT_EQ(r.high, 12.0);
    // An empty range is widened at the top.
    ASSERT_TRUE(LinearRangeFromIndices(&axis, &r, 0, 0));
    EXPECT_EQ(r.low, 10.0);
    EXPECT_EQ(r.high, 11.0);

    const LinearAxis bad[] = {{kStatisticUnset, 0.0}, {1.0, kStatisticUnset}, {DBL_MAX, 0.0}, {NAN, 1.0}};
    for (const auto& a : bad) {
        r = {7.0, 8.0};
        EXPECT_FALSE(LinearRangeFromIndices(&a, &r, 1, 10));
        EXPECT_EQ(r.low, 7.0);
        EXPECT_EQ(r.high, 8.0);
    }
}

}  // namespace
}  // namespace orva
