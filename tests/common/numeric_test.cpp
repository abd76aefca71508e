#include "common/numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace orva {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Numeric, FloorValueMatchesTheStandardFloor) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    const std::pair<double, double> cases[] = {
        {-0.5, -1.0}, {2.0, 2.0}, {-1.5, -2.0}, {-1.75, -2.0}, {0.999, 0.0}, {-0.0, -0.0},
        {0.25, 0.0},
        {4503599627370497.0, 4503599627370497.0} /* 2^52 + 1 */,
        {-4503599627370495.5, -4503599627370496.0},
        {kInf, kInf}, {-kInf, -kInf}, {tiny, 0.0}, {-tiny, -1.0}};
    for (auto [x, floor] : cases)
        EXPECT_TRUE(SameBits(FloorValue(x), floor)) << x;  // signed zeros too
    EXPECT_TRUE(std::isnan(FloorValue(std::nan(""))));

    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> exponent(-10.0, 60.0);
    for (int i = 0; i < 100000; ++i) {
        double x = std::pow(2.0, exponent(random)) * ((random() & 1) ? 1.0 : -1.0);
        ASSERT_TRUE(SameBits(FloorValue(x), std::floor(x))) << x;
    }
}

TEST(Numeric, SinCosDegreesIsExactOnRightAngles) {
    // Right angles exactly; 30 and 360 (not one of the exact angles) within rounding.
    const struct {
        double degrees, sine, cosine, tolerance;
    } cases[] = {{0, 0, 1, 0},  {180, 0, -1, 0}, {-180, 0, -1, 0}, {90, 1, 0, 0},
                 {-270, 1, 0, 0}, {-90, -1, 0, 0}, {270, -1, 0, 0},
                 {30, 0.5, std::sqrt(3.0) / 2, 1e-15}, {360, 0, 1, 1e-15}};
    for (const auto& c : cases) {
        double s = 9, co = 9;
        SinCosDegrees(&s, &co, c.degrees);
        EXPECT_NEAR(s, c.sine, c.tolerance) << c.degrees;
        EXPECT_NEAR(co, c.cosine, c.tolerance) << c.degrees;
    }
}

TEST(Numeric, QuadraticBSpline) {
    const double p0 = 3, p1 = -5, p2 = 11, p3 = 17;
    EXPECT_DOUBLE_EQ(QuadraticBSpline(0.0, p0, p1, p2, p3), 0.125 * p0 + 0.75 * p1 + 0.125 * p2);
    // x = 0.25: i = round(0.75) + 2 = 3, t = 3 - 1.75 = 1.25 on (p1, p2, p3).
    double t = 1.25;
    EXPECT_DOUBLE_EQ(QuadraticBSpline(0.25, p0, p1, p2, p3),
                     0.5 * t * t * p1 + 0.5 * (-2 * t * t + 2 * t + 1) * p2 +
                         0.5 * (1 - t) * (1 - t) * p3);
    // x = 0.5: 1.0 rounds to 1, i = 3, t = 1 -> 0.5 p1 + 0.5 p2.
    EXPECT_DOUBLE_EQ(QuadraticBSpline(0.5, p0, p1, p2, p3), 0.5 * p1 + 0.5 * p2);
    // x = 1.0: 1.5 rounds to even 2, i = 4 > 3 -> p3.
    EXPECT_EQ(QuadraticBSpline(1.0, p0, p1, p2, p3), p3);
    // x = -1.0: -0.5 rounds to even 0, i = 2, t = 1.5.
    t = 1.5;
    EXPECT_DOUBLE_EQ(QuadraticBSpline(-1.0, p0, p1, p2, p3),
                     0.5 * t * t * p0 + 0.5 * (-2 * t * t + 2 * t + 1) * p1 +
                         0.5 * (1 - t) * (1 - t) * p2);
    // Before the first segment: the first value.
    for (double x : {-2.0, -kInf}) EXPECT_EQ(QuadraticBSpline(x, p0, p1, p2, p3), p0) << x;
    EXPECT_EQ(QuadraticBSpline(kInf, p0, p1, p2, p3), p3);
    EXPECT_TRUE(std::isnan(QuadraticBSpline(std::nan(""), p0, p1, p2, p3)));
    // Equal control values give that value.
    for (double x = -1.0; x < 1.0; x += 0.125)
        EXPECT_DOUBLE_EQ(QuadraticBSpline(x, 2, 2, 2, 2), 2.0);
}

TEST(Numeric, GammaMatchesTgamma) {
    std::vector<double> xs;
    for (double x = -40.95; x < 171.5; x += 0.137) xs.push_back(x);
    for (double x : {1e-12, -1e-12, 5e-10, 0.5, 1.0, 2.0, 3.0, 10.0, 33.0, 33.5, -33.5, -34.25,
                     -150.3, -170.6, 150.0, 171.6, 2.5e-9, -0.999999})
        xs.push_back(x);
    for (double x : xs) {
        if (x == std::floor(x) && x <= 0) continue;
        double expected = std::tgamma(x);
        double got = GammaFunction(x);
        ASSERT_NEAR(got / expected, 1.0, 2e-14) << x << " " << got << " " << expected;
    }
    EXPECT_EQ(GammaFunction(5.0), 24.0);
    EXPECT_NEAR(GammaFunction(0.5), std::sqrt(M_PI), 1e-15);
    EXPECT_NEAR(GammaFunction(-0.5), -2 * std::sqrt(M_PI), 1e-15);
}

TEST(Numeric, GammaPolesAndOverflow) {
    EXPECT_EQ(GammaFunction(0.0), kInf);
    EXPECT_EQ(GammaFunction(-0.0), -kInf);
    for (double x : {-1.0, -2.0, -7.0, -32.0, -33.0, -40.0, -1e300, -kInf})
        EXPECT_TRUE(std::isnan(GammaFunction(x))) << x;
    EXPECT_TRUE(std::isnan(GammaFunction(std::nan(""))));
    for (double x : {kInf, 171.7, 1e10}) EXPECT_EQ(GammaFunction(x), kInf) << x;
    EXPECT_EQ(GammaFunction(-200.5), 0.0);  // underflows to zero
    EXPECT_EQ(StirlingGamma(800.0), kInf);
    EXPECT_NEAR(StirlingGamma(50.0) / std::tgamma(50.0), 1.0, 1e-14);
    EXPECT_NEAR(StirlingGamma(160.0) / std::tgamma(160.0), 1.0, 1e-13);  // split pow()
}

TEST(Numeric, BesselI0MatchesTheStandardLibrary) {
    for (double x = -30.0; x <= 30.0; x += 0.0625) {
        double expected = std::cyl_bessel_i(0.0, std::fabs(x));
        ASSERT_NEAR(BesselI0(x) / expected, 1.0, 1e-13) << x;
    }
    EXPECT_EQ(std::pair(BesselI0(0.0), BesselI0(2e-8)), std::pair(1.0, 1.0));
    EXPECT_EQ(std::pair(BesselI0(1000.0), BesselI0(-kInf)), std::pair(kInf, kInf));
    EXPECT_TRUE(std::isnan(BesselI0(std::nan(""))));
}

TEST(Numeric, PowerOfTen) {
    int64_t expected = 1;
    for (int n = 0; n <= 9; ++n, expected *= 10) EXPECT_EQ(PowerOfTen(n), expected);
    EXPECT_TRUE(PowerOfTen(10) == -1 && PowerOfTen(-1) == -1);
}

TEST(Numeric, SwapBytes16SwapsEveryWholeValue) {
    for (size_t length = 0; length <= 37; ++length) {
        std::vector<uint8_t> bytes(length + 2);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
        SwapBytes16(bytes.data(), length);
        for (size_t i = 0; i + 1 < length; i += 2) {
            ASSERT_EQ(bytes[i], i + 2) << length;
            ASSERT_EQ(bytes[i + 1], i + 1) << length;
        }
        if (length % 2 == 1) {
            EXPECT_EQ(bytes[length - 1], length);  // odd last byte kept
        }
        EXPECT_TRUE(bytes[length] == length + 1 && bytes[length + 1] == length + 2)
            << length;  // nothing beyond touched
    }
    SwapBytes16(nullptr, 8);
}

TEST(Numeric, CopyQwords) {
    std::vector<uint8_t> source(30), target(30, 0);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i + 1);
    EXPECT_TRUE(CopyQwords(target.data(), source.data(), 23));  // 16 bytes copied
    for (size_t i = 0; i < 30; ++i) EXPECT_EQ(target[i], i < 16 ? i + 1 : 0) << i;
    EXPECT_FALSE(CopyQwords(target.data(), source.data(), 7) ||
                 CopyQwords(nullptr, source.data(), 16));
}

}  // namespace
}  // namespace orva
