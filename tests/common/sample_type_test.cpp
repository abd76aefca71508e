#include "common/sample_type.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

namespace orva {
namespace {

TEST(SampleType, TypeFlagHighestBit) {
    const std::pair<uint32_t, uint32_t> cases[] = {{0x1FF, 0x40}, {0x102, 0x02}, {0x05, 0x04},
                                                   {0x30, 0x20},  {0x180, 0},    {0, 0}};
    for (auto [flags, bit] : cases) EXPECT_EQ(TypeFlagHighestBit(flags), bit) << std::hex << flags;
}

TEST(SampleType, SampleTypeRange) {
    const double f = FLT_MAX, p63 = std::ldexp(1.0, 63);
    const struct {
        uint32_t type;
        double lo, hi;
    } cases[] = {
        {0x01, -128.0, 127.0}, {0x101, 0.0, 255.0}, {0x02, -32768.0, 32767.0},
        {0x102, 0.0, 65535.0}, {0x04, -8388608.0, 8388607.0}, {0x104, 0.0, 16777215.0},
        {0x08, -2147483648.0, 2147483647.0},
        {0x108, 0.0, 4294967295.0}, {0x20, -p63, p63}, {0x120, 0.0, 2 * p63}, {0x10, -f, f},
        {0x40, -DBL_MAX, DBL_MAX}, {0x50, -f, f},  // 0x10 first
        {0x41, -DBL_MAX, DBL_MAX},                 // reals before integers
        {0x03, -128.0, 127.0},                     // the smaller integer bit first
        {0x180, 0.0, 1.0}, {0, 0.0, 1.0},
    };
    for (const auto& c : cases) {
        double lo = 99, hi = 99;
        SampleTypeRange(c.type, &lo, &hi);
        EXPECT_EQ(std::pair(lo, hi), std::pair(c.lo, c.hi)) << std::hex << c.type;
    }
}

TEST(SampleType, MinTypeForValue) {
    const struct {
        double value;
        uint32_t type, bits;
    } cases[] = {
        {2.0, 0x01, 2}, {2.9, 0x01, 2},
        {0.0, 0x01, 8}, {0.5, 0x01, 8}, {-3.0, 0x01, 8},  // no bit length: from the type
        {255.0, 0x01, 8}, {256.0, 0x02, 9}, {65535.0, 0x02, 16}, {65536.0, 0x04, 17},
        {16777216.0, 0x08, 25}, {4294967295.0, 0x08, 32}, {4294967296.0, 0x20, 33},
        {std::ldexp(1.0, 63), 0x20, 64}, {std::ldexp(1.0, 64), 0x10, 32}, {1e38, 0x10, 32},
        {1e39, 0x40, 64}, {INFINITY, 0x40, 64},
    };
    for (const auto& c : cases) {
        SampleTypeInfo r;
        MinTypeForValue(&r, c.value);
        EXPECT_EQ(std::pair(r.type, r.bits), std::pair(c.type, c.bits)) << c.value;
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

DataInfo Extremes(double minimum, double maximum, int64_t count, double total = 0,
                  double sumSquares = 0) {
    DataInfo d;
    d.minimum = minimum;
    d.maximum = maximum;
    d.count = count;
    d.total = total;
    d.sumSquares = sumSquares;
    return d;
}

// Runs ChooseSampleType and checks mean and deviation within a relative tolerance, the
// total within its own (exactly unless given). Answers the chosen information.
DataInfo ExpectChosen(DataInfo d, bool scaled, double mean, double deviation, double total,
                      double tolerance = 0, double totalTolerance = 0) {
    EXPECT_TRUE(ChooseSampleType(&d, scaled));
    EXPECT_NEAR(d.sum, mean, std::abs(mean) * tolerance);
    EXPECT_NEAR(d.sumSquares, deviation, std::abs(deviation) * tolerance);
    EXPECT_NEAR(d.total, total, std::abs(total) * totalTolerance);
    return d;
}

TEST(SampleType, ChooseSampleTypeSmallExamples) {
    DataInfo d = ExpectChosen(Extremes(1, 3, 3, 6, 14), false, 2.0, 1.0, 6.0, 1e-12);
    EXPECT_EQ(std::pair(d.sampleType.type, d.sampleType.bits), std::pair(0x01u, 2u));
    ExpectChosen(Extremes(1, 3, 2), false, 2.0, 1.0, 4.0);
    // Two values at the ends of the double range: nothing overflows.
    EXPECT_EQ(
        ExpectChosen(Extremes(-DBL_MAX, DBL_MAX, 2), false, 0.0, DBL_MAX, 0.0).sampleType.type,
        0x40u);
    ExpectChosen(Extremes(0.5e308, 1.5e308, 2), false, 1e308, 0.5e308, DBL_MAX, 1e-15);
    DataInfo one = ExpectChosen(Extremes(-5, -5, 4), false, -5.0, 0.0, -20.0);
    EXPECT_EQ(std::pair(one.sampleType.type, one.sampleType.bits), std::pair(0x01u, 8u));
}

TEST(SampleType, ChooseSampleTypeMatchesSampleStandardDeviation) {
    // Reference from python3: statistics.mean / statistics.stdev of these values.
    const std::vector<double> xs = {2.5, -1.25, 7.0, 3.5, 10.0, -4.0, 0.5};
    const double mean = 2.607142857142857, stdev = 4.7911749230076275;
    DataInfo d = ExpectChosen(Plain(xs), false, mean, stdev, 18.25, 1e-14);
    EXPECT_EQ(std::pair(d.sampleType.type, d.sampleType.bits), std::pair(0x01u, 4u));  // range 14
    // Gathered with the factor 1/N: N equal to the count, and larger (values were skipped).
    ExpectChosen(Scaled(xs, 7), true, mean, stdev, 18.25, 1e-14, 1e-14);
    ExpectChosen(Scaled(xs, 10), true, mean, stdev, 18.25, 1e-14, 1e-14);
}

// The depth shown for the values: the bits of the range for whole values; the real type
// the accumulator found for values with fractions (a 32-bit real's range of 10 is no
// 4-bit integer), unless the range needs the 64-bit real anyway.
TEST(SampleType, ChooseSampleTypeKeepsTheRealTypeOfFractions) {
    struct Case {
        uint32_t accumulated;
        double minimum, maximum;
        uint32_t type, bits;
    } const cases[] = {
        {0x00, 2, 12, 0x01, 4},       {0x10, 2, 12.5, 0x10, 32}, {0x40, 2, 12.1, 0x40, 64},
        {0x10, 0, 1e39, 0x40, 64},    {0x00, 0, 200000, 0x04, 18},
    };
    for (const Case& c : cases) {
        DataInfo d = Extremes(c.minimum, c.maximum, 3, c.minimum * 3, c.minimum * c.minimum * 3);
        d.sampleType.type = c.accumulated;
        ASSERT_TRUE(ChooseSampleType(&d, false));
        EXPECT_EQ(std::pair(d.sampleType.type, d.sampleType.bits), std::pair(c.type, c.bits))
            << c.accumulated << " " << c.maximum;
    }
}

TEST(SampleType, ChooseSampleTypeFailuresAndUnsetResults) {
    // No values, minimum above maximum, a maximum that is no number: all fields reset.
    DataInfo empty, reversed = Plain({1, 2, 3}), notFinite = Plain({1, 2, 3});
    empty.total = 5;
    std::swap(reversed.minimum, reversed.maximum);
    notFinite.maximum = NAN;
    for (DataInfo d : {empty, reversed, notFinite}) {
        EXPECT_FALSE(ChooseSampleType(&d, false));
        EXPECT_EQ(std::tuple(d.minimum, d.maximum, d.sumSquares, d.sum, d.total),
                  std::tuple(DBL_MAX, -DBL_MAX, -DBL_MAX, -DBL_MAX, 0.0));
    }
    EXPECT_FALSE(ChooseSampleType(nullptr, false));

    // A total that overflowed: mean and deviation unset, total 0, still true.
    DataInfo overflow = Plain({1, 2, 3});
    overflow.total = INFINITY;
    EXPECT_TRUE(ChooseSampleType(&overflow, false));
    EXPECT_EQ(std::tuple(overflow.sum, overflow.sumSquares, overflow.total),
              std::tuple(kStatisticUnset, kStatisticUnset, 0.0));

    // A sum of squares that overflowed: only the deviation is unset.
    DataInfo squares = Plain({1, 2, 3});
    squares.sumSquares = INFINITY;
    EXPECT_TRUE(ChooseSampleType(&squares, false));
    EXPECT_EQ(std::pair(squares.sum, squares.sumSquares), std::pair(2.0, kStatisticUnset));

    // A mean scaled by N / count that overflows.
    DataInfo scaled = Scaled({1, 2, 3}, 3);
    scaled.sum = 1e308;
    scaled.n = 1000;
    EXPECT_TRUE(ChooseSampleType(&scaled, true));
    EXPECT_EQ(std::tuple(scaled.sum, scaled.sumSquares, scaled.total),
              std::tuple(kStatisticUnset, kStatisticUnset, 0.0));

    // A total too small to divide is a mean of 0; a zero sum of squares gives 0.
    DataInfo tiny = Plain({1, 2, 3});
    tiny.total = 1e-310;
    tiny.sumSquares = 0.0;
    EXPECT_TRUE(ChooseSampleType(&tiny, false));
    EXPECT_EQ(std::pair(tiny.sum, tiny.sumSquares), std::pair(0.0, 0.0));
}

TEST(SampleType, LinearRangeFromIndices) {
    LinearAxis axis{0.5, 10.0};
    LinearRange r;
    ASSERT_TRUE(LinearRangeFromIndices(&axis, &r, 2, 4));
    EXPECT_EQ(std::pair(r.low, r.high), std::pair(9.0, 12.0));
    // An empty range is widened at the top.
    ASSERT_TRUE(LinearRangeFromIndices(&axis, &r, 0, 0));
    EXPECT_EQ(std::pair(r.low, r.high), std::pair(10.0, 11.0));

    const LinearAxis bad[] = {{kStatisticUnset, 0.0}, {1.0, kStatisticUnset}, {DBL_MAX, 0.0}, {NAN, 1.0}};
    for (const auto& a : bad) {
        r = {7.0, 8.0};
        EXPECT_FALSE(LinearRangeFromIndices(&a, &r, 1, 10));
        EXPECT_EQ(std::pair(r.low, r.high), std::pair(7.0, 8.0));
    }
}

}  // namespace
}  // namespace orva
