// The saturating operations on doubles and value ranges, and the mapping of
// statistics into physical units: the cases that decide each branch, and random
// operands against the exact result formed in long double (whose exponent range
// holds every product of three doubles) and then clamped to the double range.
#include "io/value_range.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <tuple>

namespace orva {
namespace {

constexpr double kUnset = kStatisticUnset;

double Mul(double x, double a, double b) {
    MulSaturate(&x, a, b);
    return x;
}
double ScaleOffset(double x, double a, double b) {
    ScaleOffsetSaturate(&x, a, b);
    return x;
}
double ShiftScale(double x, double a, double b, double c) {
    ShiftScaleSaturate(&x, a, b, c);
    return x;
}
ValueRangeRecord Range(double min, double max, double rms, double mean, double sum, int64_t count) {
    return ValueRangeRecord{min, max, rms, mean, sum, count};
}
auto Fields(const ValueRangeRecord& r) { return std::tuple(r.min, r.max, r.rms, r.mean, r.sum, r.count); }

TEST(SaturatingOps, Cases) {
    // x × a × b: by the smaller factor first; the bound carries the sign of the whole.
    EXPECT_EQ(Mul(1e300, 1e10, 1e10), DBL_MAX);
    EXPECT_EQ(Mul(-1e300, 1e10, -1e10), DBL_MAX);
    EXPECT_EQ(Mul(1e300, 1e10, -1e10), -DBL_MAX);
    EXPECT_EQ(Mul(1e300, -1e10, 1e10), -DBL_MAX);
    EXPECT_EQ(Mul(1e300, 1e300, 1e-300), 1e300);     // no overflow on the way
    EXPECT_EQ(Mul(1e300, 1e-300, 1e300), 1e300);
    EXPECT_EQ(Mul(-1e200, 1e200, 1e-300), -1e100);
    EXPECT_EQ(Mul(3.0, 0.0, 1e300), 0.0);
    EXPECT_EQ(Mul(DBL_MAX, 2.0, 0.5), DBL_MAX);
    EXPECT_EQ(Mul(DBL_MAX, -2.0, 2.0), -DBL_MAX);    // the first product overflows
    // a × x + b.
    EXPECT_EQ(ScaleOffset(10.0, 1e308, 1e308), DBL_MAX);
    EXPECT_EQ(ScaleOffset(-10.0, 1e308, 1e308), -DBL_MAX);
    EXPECT_EQ(ScaleOffset(1.0, DBL_MAX, DBL_MAX), DBL_MAX);   // only the sum overflows
    EXPECT_EQ(ScaleOffset(1.0, 2.0, 3.0), 5.0);
    // An overflow on the way to a result that fits: the result.
    EXPECT_EQ(ScaleOffset(2.0, DBL_MAX, -DBL_MAX), DBL_MAX);
    // (b × x + c / a) × a.
    EXPECT_EQ(ShiftScale(3.0, 4.0, 2.0, 1.0), 25.0);
    EXPECT_EQ(ShiftScale(1e200, 1e200, -1e200, 5.0), -DBL_MAX);
    EXPECT_EQ(ShiftScale(1e300, 1e-10, 1e10, -1.0), 1e300 - 1.0);  // a × b × x never formed alone
    EXPECT_EQ(ShiftScale(7.0, 0.0, 2.0, 3.0), 3.0);
}

TEST(SaturatingOps, RangeAddAndScale) {
    // Adding to a range whose maximum is the bound; an unset mean leaves the sum.
    ValueRangeRecord r = Range(0.0, DBL_MAX, kUnset, kUnset, 17.0, 4);
    RangeAddSaturate(&r, 1.0);
    EXPECT_EQ(Fields(r), Fields(Range(1.0, DBL_MAX, kUnset, kUnset, 17.0, 4)));
    // With a mean the sum moves through it: (2.5 + 10) × 4.
    r = Range(1.0, 4.0, 1.2, 2.5, 10.0, 4);
    RangeAddSaturate(&r, 10.0);
    EXPECT_EQ(Fields(r), Fields(Range(11.0, 14.0, 1.2, 12.5, 50.0, 4)));
    r = Range(-DBL_MAX, -1.0, 0.0, -DBL_MAX / 2, -DBL_MAX, 2);
    RangeAddSaturate(&r, -DBL_MAX / 2);
    EXPECT_EQ(Fields(r), Fields(Range(-DBL_MAX, -1.0 - DBL_MAX / 2, 0.0, -DBL_MAX, -DBL_MAX, 2)));
    r = Range(1.0, 2.0, 0.5, 1.5, 3.0, 2);
    RangeAddSaturate(&r, 0.0);
    EXPECT_EQ(Fields(r), Fields(Range(1.0, 2.0, 0.5, 1.5, 3.0, 2)));

    // a × v + b, case by case.
    const struct {
        double a, b;
        ValueRangeRecord in, out;
    } rows[] = {
        // A negative scale reverses min and max.
        {-2.0, 0.0, Range(1, 3, 0.5, 2, 8, 4), Range(-6, -2, 1, -4, -16, 4)},
        {-2.0, 0.0, Range(1, 3, kUnset, kUnset, 8, 4), Range(-6, -2, kUnset, kUnset, 8, 4)},
        // a = 0: every location is b, the spread 0 and the sum count × b.
        {0.0, 7.0, Range(1, 3, 0.5, 2, 8, 4), Range(7, 7, 0, 7, 28, 4)},
        {0.0, 7.0, Range(1, 3, kUnset, kUnset, 8, 4), Range(7, 7, kUnset, 7, 28, 4)},
        // b = 0, |a| > 1: at or above DBL_MAX / |a| the bound of the product's sign.
        {4.0, 0.0, Range(-DBL_MAX / 2, 1, DBL_MAX / 3, 0.5, 2, 4), Range(-DBL_MAX, 4, DBL_MAX, 2, 8, 4)},
        // b = 0, |a| <= 1.
        {1.0, 0.0, Range(1, 3, 0.5, 2, 8, 4), Range(1, 3, 0.5, 2, 8, 4)},
        {-0.5, 0.0, Range(1, 3, 0.5, 2, 8, 4), Range(-1.5, -0.5, 0.25, -1, -4, 4)},
        // a = 1: an addition.
        {1.0, 2.0, Range(1, 3, 0.5, 2, 8, 4), Range(3, 5, 0.5, 4, 16, 4)},
        // General: the sum through the mean, count × (a × mean + b).
        {3.0, 1.0, Range(1, 3, 0.5, 2, 8, 4), Range(4, 10, 1.5, 7, 28, 4)},
        {-3.0, 1.0, Range(1, 3, 0.5, 2, 8, 4), Range(-8, -2, 1.5, -5, -20, 4)},
        {1e308, 1e308, Range(1, 3, 2, 2, 8, 4), Range(DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX, 4)},
    };
    for (const auto& row : rows) {
        ValueRangeRecord got = row.in;
        RangeScaleOffsetSaturate(&got, row.a, row.b);
        EXPECT_EQ(Fields(got), Fields(row.out)) << row.a << " " << row.b;
    }
}

TEST(SaturatingOps, PhysicalMapping) {
    const ValueRangeRecord stored = Range(1, 3, 0.5, 2, 8, 4);
    auto mapped = [&](double s, double z, double f) {
        ValueRangeRecord r = stored;
        MapRangeToPhysical(&r, s, z, f);
        return Fields(r);
    };
    EXPECT_EQ(mapped(1, 0, 1), Fields(stored));
    EXPECT_EQ(mapped(-2, 0, 1), Fields(Range(-6, -2, 1, -4, -16, 4)));
    EXPECT_EQ(mapped(2, 100, 1), Fields(Range(102, 106, 1, 104, 416, 4)));
    EXPECT_EQ(mapped(0, 5, 1), Fields(Range(5, 5, 0, 5, 20, 4)));
    EXPECT_EQ(mapped(2, 5, 0), Fields(Range(5, 5, 0, 5, 20, 4)));
    // A channel factor above 1: f × s × v + z without forming f × s alone.
    EXPECT_EQ(mapped(2, 0, 4), Fields(Range(8, 24, 4, 16, 64, 4)));
    EXPECT_EQ(mapped(-2, 1, 4), Fields(Range(-23, -7, 4, -15, -60, 4)));
    EXPECT_EQ(mapped(1, 1, 4), Fields(Range(5, 13, 2, 9, 36, 4)));
    EXPECT_EQ(mapped(1e300, 0, 1e10), Fields(Range(DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX, 4)));
    EXPECT_EQ(mapped(-1e300, 1e300, 1e10), Fields(Range(-DBL_MAX, -DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX, 4)));
}

// ---- Random operands against long double ----------------------------------------

class Reference {
public:
    explicit Reference(uint32_t seed) : random_(seed) {}
    // A double of random sign with a decimal exponent in [lo, hi].
    double Value(int lo, int hi) {
        std::uniform_real_distribution<double> mantissa(1.0, 10.0);
        std::uniform_int_distribution<int> exponent(lo, hi), sign(0, 1);
        const double v = mantissa(random_) * std::pow(10.0, exponent(random_));
        return sign(random_) ? -v : v;
    }
    int64_t Count() { return std::uniform_int_distribution<int64_t>(1, 1000000)(random_); }

private:
    std::mt19937 random_;
};

// True when `got` is the exact value clamped to the double range: the bound of its
// sign when it overflows (also when it lies within rounding of the bound), else
// within a few ulp of `magnitude`, the largest term that formed it.
::testing::AssertionResult Saturated(double got, long double exact, long double magnitude) {
    const long double big = DBL_MAX;
    if (std::fabs(exact) > big * (1.0L - 1e-15L)) {
        if (got == (exact < 0 ? -DBL_MAX : DBL_MAX)) return ::testing::AssertionSuccess();
        if (std::fabs(exact) > big)
            return ::testing::AssertionFailure() << got << " for " << static_cast<double>(exact) << " beyond the range";
    }
    if (!std::isfinite(got)) return ::testing::AssertionFailure() << got;
    const long double tolerance = 8.0L * std::ldexp(1.0L, -52) * std::max(magnitude, static_cast<long double>(DBL_MIN));
    if (std::fabs(got - exact) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << got << " vs " << static_cast<double>(exact);
}

TEST(SaturatingOps, RandomOperandsAgainstLongDouble) {
    Reference r(20260607);
    int overflowed = 0;
    for (int i = 0; i < 20000; ++i) {
        const double x = r.Value(-150, 300), a = r.Value(-150, 150), b = r.Value(-150, 150), c = r.Value(-300, 307);
        const long double ax = static_cast<long double>(a) * x, abx = ax * b;
        if (std::fabs(abx) > DBL_MAX) ++overflowed;
        EXPECT_TRUE(Saturated(Mul(x, a, b), abx, std::fabs(abx))) << x << " " << a << " " << b;
        EXPECT_TRUE(Saturated(ScaleOffset(x, a, c), ax + c, std::max(std::fabs(ax), std::fabs(static_cast<long double>(c)))))
            << x << " " << a << " " << c;
        EXPECT_TRUE(Saturated(ShiftScale(x, a, b, c), abx + c, std::max(std::fabs(abx), std::fabs(static_cast<long double>(c)))))
            << x << " " << a << " " << b << " " << c;
    }
    // Both sides of the range were reached often enough to mean something.
    EXPECT_GT(overflowed, 2000);
    EXPECT_LT(overflowed, 18000);
}

TEST(SaturatingOps, RandomRangesAgainstLongDouble) {
    Reference r(7);
    for (int i = 0; i < 5000; ++i) {
        const double lo = r.Value(-20, 300), hi = std::fabs(r.Value(-20, 300));
        const double min = std::min(lo, hi), max = std::max(lo, hi);
        const int64_t count = r.Count();
        const double mean = min + (max - min) * 0.375, rms = std::fabs(r.Value(-20, 300));
        const ValueRangeRecord in = Range(min, max, rms, mean, mean * static_cast<double>(count), count);
        const double a = i % 7 == 0 ? 1.0 : r.Value(-10, 10), b = i % 5 == 0 ? 0.0 : r.Value(-10, 307);
        const double s = r.Value(-5, 10), z = i % 3 == 0 ? 0.0 : r.Value(-10, 307), f = i % 2 ? 1.0 : r.Value(0, 5);
        for (int which = 0; which < 2; ++which) {
            // Which map: a and b, or f × s and z.
            ValueRangeRecord got = in;
            long double k, o;
            if (which == 0) {
                RangeScaleOffsetSaturate(&got, a, b);
                k = a;
                o = b;
            } else {
                MapRangeToPhysical(&got, s, z, f);
                k = static_cast<long double>(f) * s;
                o = z;
            }
            auto at = [&](double v) { return k * v + o; };
            auto size = [&](double v) { return std::max(std::fabs(k * v), std::fabs(o)); };
            long double emin = at(in.min), emax = at(in.max);
            if (emax < emin) std::swap(emin, emax);
            const std::string where = std::to_string(which) + " " + std::to_string(i);
            EXPECT_TRUE(Saturated(got.min, emin, std::max(size(in.min), size(in.max)))) << where;
            EXPECT_TRUE(Saturated(got.max, emax, std::max(size(in.min), size(in.max)))) << where;
            EXPECT_TRUE(Saturated(got.mean, at(in.mean), size(in.mean))) << where;
            EXPECT_TRUE(Saturated(got.rms, std::fabs(k) * in.rms, std::fabs(k) * in.rms)) << where;
            const long double esum = k * in.sum + o * count;
            EXPECT_TRUE(Saturated(got.sum, esum, std::max(std::fabs(k * in.sum), std::fabs(o * count)) * 4)) << where;
            EXPECT_EQ(got.count, count);
        }
    }
}

}  // namespace
}  // namespace orva
