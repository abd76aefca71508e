// The numeric building blocks of the region statistic: the moments of small
// hand-checked samples and of random samples against numpy and scipy, the
// unbiased-deviation factor against the gamma function, the interval rules,
// the background estimate, and the order statistics and histogram against a
// literal sort-and-sweep implementation on data with many ties.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

#include "reduction/kernels/sample_moments.h"
#include "statistic_reference.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace reduction_testing;

// A record as the kernel hands it over: cleared, with the markers set.
StatisticResult Fresh(uint32_t n) {
    StatisticResult r;
    r.npro = n;
    r.invN = 1.0 / n;
    r.rVar = r.skewnessUnbiased = r.kurtosisUnbiased = r.mode = kStatNotComputed;
    return r;
}

template <class Acc = double>
StatisticResult Moments(std::vector<double> v, StatisticScratch scratch = {}) {
    StatisticResult r = Fresh(static_cast<uint32_t>(v.size()));
    SampleMoments<Acc>(v.data(), static_cast<uint32_t>(v.size()), &r, scratch);
    return r;
}

TEST(SampleMoments, TheSmallCasesOfTheRules) {
    const StatisticResult three = Moments({3, 1, 2});
    EXPECT_EQ(std::tuple(three.min, three.max, three.range, three.median, three.mean, three.flux),
              std::tuple(1.0, 3.0, 2.0, 2.0, 2.0, 6.0));
    EXPECT_DOUBLE_EQ(three.centralM[0], 2.0 / 3);
    EXPECT_DOUBLE_EQ(three.dispersion, 1.0);
    EXPECT_DOUBLE_EQ(three.rms, 1.0);
    EXPECT_NEAR(three.deviationUnbiased, 1.12838, 1e-5);
    EXPECT_EQ(std::tuple(three.skewness, three.skewnessUnbiased), std::tuple(0.0, 0.0));
    EXPECT_EQ(three.status, 0u);

    const StatisticResult pair = Moments({3, 1});
    EXPECT_EQ(std::tuple(pair.mean, pair.median, pair.rms, pair.deviationUnbiased, pair.centralM[0], pair.dispersion),
              std::tuple(2.0, 2.0, 1.0, 1.0, 1.0, 1.0));
    EXPECT_EQ(std::tuple(pair.flux, pair.m[0], pair.m[1], pair.m[2]), std::tuple(4.0, 5.0, 14.0, 41.0));
    EXPECT_EQ(std::tuple(pair.centralM[1], pair.centralM[2], pair.rVar), std::tuple(0.0, 1.0, 0.5));
    EXPECT_TRUE(IsStatNotComputed(pair.skewnessUnbiased) && IsStatNotComputed(pair.kurtosisUnbiased));

    // Equal values: every central quantity 0, the threshold the value itself.
    for (const std::vector<double>& v : {std::vector<double>{7.5}, std::vector<double>(9, 7.5)}) {
        const StatisticResult e = Moments(v);
        EXPECT_EQ(std::tuple(e.median, e.mean, e.range, e.bkgrThreshold, e.flux), std::tuple(7.5, 7.5, 0.0, 7.5, 7.5 * v.size()));
        EXPECT_EQ(std::tuple(e.centralM[0], e.centralM[1], e.centralM[2], e.dispersion, e.rms, e.deviationUnbiased,
                             e.rVar, e.gaussPercent),
                  std::tuple(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0u));
        EXPECT_DOUBLE_EQ(e.m[2], 7.5 * 7.5 * 7.5 * 7.5);
    }

    // The background threshold Bkgr + 2 RMSBkgr when it lies in [Min, Max).
    StatisticResult b = Fresh(3);
    b.backgroundValid = 1;
    b.bkgr = 1.5;
    b.rmsBkgr = 0.5;
    std::vector<double> v{1, 2, 3};
    SampleMoments<double>(v.data(), 3, &b, {});
    EXPECT_EQ(b.bkgrThreshold, 2.5);
    b = Fresh(3);
    b.backgroundValid = 1;
    b.bkgr = 3.0;
    v = {1, 2, 3};
    SampleMoments<double>(v.data(), 3, &b, {});
    EXPECT_TRUE(IsStatBelowData(b.bkgrThreshold));
}

TEST(SampleMoments, OverflowMarksTheFieldAndGoesOn) {
    const StatisticResult pair = Moments({1e200, 2e200});
    EXPECT_EQ(pair.status, 5u);
    EXPECT_TRUE(IsStatNotComputed(pair.m[0]));  // squares beyond the range
    EXPECT_EQ(pair.mean, 1.5e200);
    EXPECT_EQ(pair.rms, 0.5e200);

    const StatisticResult big = Moments({1e160, -1e160, 3e160, 5});
    EXPECT_EQ(big.status, 5u);
    EXPECT_TRUE(IsStatNotComputed(big.m[0]) && IsStatNotComputed(big.centralM[0]));
    EXPECT_EQ(big.median, 5e159 + 2.5);
    EXPECT_EQ(std::tuple(big.min, big.max), std::tuple(-1e160, 3e160));

    // Squares still in range, cubes not: the raw sums of the higher powers are lost.
    for (bool extended : {false, true}) {
        const StatisticResult near = extended ? Moments<long double>({1e154, 1, 2, 3}) : Moments({1e154, 1, 2, 3});
        EXPECT_EQ(near.status, 5u);
        EXPECT_DOUBLE_EQ(near.m[0], 0.25e308);
        EXPECT_TRUE(IsStatNotComputed(near.m[1]) && IsStatNotComputed(near.m[2]));
        EXPECT_EQ(near.median, 2.5);
    }
}

TEST(SampleMoments, TheUnbiasedFactorFollowsTheGammaFunction) {
    if (!HaveReference()) GTEST_SKIP() << "numpy or scipy not installed";
    const Reference k = ReferenceOf("factors 2 400");
    for (uint64_t n = 2; n <= 400; ++n) {
        const double want = k.at("k" + std::to_string(n));
        EXPECT_NEAR(UnbiasedDeviationFactor(n), want, n < 20 ? 5e-6 * want : 4e-5) << n;
    }
    EXPECT_EQ(UnbiasedDeviationFactor(1), 1.0);
}

TEST(SampleMoments, RandomSamplesMatchNumpyAndScipy) {
    if (!HaveReference()) GTEST_SKIP() << "numpy or scipy not installed";
    testing_util::TempFolder folder;
    std::mt19937_64 random(20240601);
    std::lognormal_distribution<double> skewed(3.0, 0.7);
    GlobalBuffer counts, candidates;
    for (uint32_t n : {10u, 11u, 50u, 1000u, 300001u}) {
        std::vector<double> v(n);
        for (double& x : v) x = skewed(random);
        const std::string file = folder.File("sample" + std::to_string(n));
        WriteDoubles(file, v.data(), v.size());
        const Reference want = ReferenceOf("moments " + file);
        for (bool extended : {false, true}) {
            const StatisticScratch scratch{&counts, &candidates};
            const StatisticResult r = extended ? Moments<long double>(v, scratch) : Moments<double>(v, scratch);
            SCOPED_TRACE(std::to_string(n) + (extended ? " extended" : ""));
            ExpectMomentsAsNumpy(r, want);
            EXPECT_EQ(r.status, 0u);
        }
    }
}

TEST(SampleMoments, ALargeMeanDoesNotCancelTheCentralMoments) {
    std::vector<double> v(1000);
    for (size_t i = 0; i < v.size(); ++i) v[i] = 1e6 + static_cast<double>(i % 3);
    for (bool extended : {false, true}) {
        const StatisticResult r = extended ? Moments<long double>(v) : Moments<double>(v);
        EXPECT_NEAR(r.kurtosis, -1.5007451, 1e-6);
        EXPECT_NEAR(r.centralM[0], 0.666999, 1e-6);
    }
    if (!HaveReference()) return;
    testing_util::TempFolder folder;
    WriteDoubles(folder.File("offset"), v.data(), v.size());
    const Reference want = ReferenceOf("moments " + folder.File("offset"));
    const StatisticResult r = Moments(v);
    EXPECT_LT(RelativeError(r.kurtosis, want.at("kurt")), 1e-9);
    EXPECT_LT(RelativeError(r.kurtosisUnbiased, want.at("kurt1")), 1e-9);
    EXPECT_LT(RelativeError(r.centralM[0], want.at("M2")), 1e-12);
}

TEST(SampleMoments, GaussPercentOfNormalAndExponentialData) {
    std::mt19937_64 random(7);
    std::normal_distribution<double> normal(50.0, 3.0);
    std::exponential_distribution<double> exponential(1.0);
    std::vector<double> a(1000), b(1000);
    for (double& x : a) x = normal(random);
    for (double& x : b) x = exponential(random);
    const StatisticResult n = Moments(a), e = Moments(b);
    // Normal data stay well within three and five deviations: 100 %.
    EXPECT_EQ(n.gaussPercent, 100u);
    // Exponential data (skewness 2, kurtosis 6) lie far outside both: not set.
    EXPECT_GT(e.skewnessUnbiased, 4 * 3 * e.skewnessDeviationUnbiased);
    EXPECT_EQ(e.gaussPercent, 0u);
}

TEST(IntervalRules, CountsAndWidths) {
    ReductionStatValues o;
    auto rule = [&](int32_t method, uint64_t n, double range) {
        o.intervalMethod = method;
        return HistogramIntervalCount(n, range, o);
    };
    IntervalChoice c = rule(0, 50, 12.0);  // 1 + 3.322 lg 50 = 6.64: 7 is odd and rounded up, so 6
    EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(6u, 2.0));
    c = rule(3, 10, 9.0);  // sqrt 10 = 3.16 reaches kmax = 3
    EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(3u, 3.0));
    c = rule(2, 1000, 60.0);  // 4 (0.75 999^2)^0.2 = 59.78: 60
    EXPECT_EQ(c.count, 60u);
    c = rule(1, 150, 1.0);  // 9.5 lg 150 = 20.67: 21 odd, rounded up, so 20
    EXPECT_EQ(c.count, 20u);
    c = rule(5, 20000, 1.0);  // 4 lg 20000 = 17.2: 17 odd, rounded down, so 18
    EXPECT_EQ(c.count, 18u);
    c = rule(7, 10000, 1.0);  // 1.27 sqrt N = 127: odd, rounded down, so 128
    EXPECT_EQ(c.count, 128u);
    c = rule(4, 9, 1.0);  // 5 lg 9 = 4.77: 5 odd, rounded up, so 4 (kmax 3 caps it first)
    EXPECT_EQ(c.count, 3u);
    for (int32_t method = 0; method < 9; ++method) {
        c = rule(method, 8, 10.0);  // below 9 values: two intervals
        EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(2u, 5.0));
    }
    o.intervalInteger = 1;
    c = rule(4, 8, 1.0);  // integer width 1: 1.5 > 1, one interval
    EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(1u, 1.0));
    c = IntervalWidthFromCount(4, 10.0, o, 1000);  // width 3, 10/3 = 3.33 rounds to 3, made even 4
    EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(4u, 3.0));
    c = IntervalWidthFromCount(4, 4.0, o, 1000);  // width 1... 1.5 <= 4: 4 intervals
    EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(4u, 1.0));
    c = IntervalWidthFromCount(3, 5.0, o, 1000);  // width 2, 5/2 = 2.5 rounds to 3, made even 4
    EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(4u, 2.0));
    c = IntervalWidthFromCount(10, 3.0, o, 1000);  // width 1 but 1.5 <= 3: q = 3 made even 4
    EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(4u, 1.0));
    c = IntervalWidthFromCount(100, 1e6, o, 30);  // q = 1e4 beyond kmax 10: width 1e5, 10 intervals
    EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(10u, 100000.0));
    o.intervalInteger = 0;
    c = IntervalWidthFromCount(4, 10.0, o, 1000);
    EXPECT_EQ(std::tuple(c.count, c.width), std::tuple(4u, 2.5));

    EXPECT_EQ(std::tuple(MaxIntervalCount(10), MaxIntervalCount(196604), MaxIntervalCount(196605)),
              std::tuple(3u, 65534u, 65535u));
    EXPECT_EQ(std::tuple(RoundHalfUp(2.5), RoundHalfUp(2.4999), RoundHalfUp(-1.0), RoundHalfUp(1e30)),
              std::tuple(3u, 2u, 0u, UINT32_MAX));

    // The moment rules.
    StatisticResult r = Fresh(1000);
    r.kurtosisUnbiased = 3.0;
    r.range = 100.0;
    r.deviationUnbiased = 10.0;
    EXPECT_EQ(MomentRuleIntervalCount(1000, 6, r), 16u);  // 4 sqrt 4 lg 100 = 16
    EXPECT_EQ(MomentRuleIntervalCount(1000, 7, r), 6u);   // 4.5 1000^0.4 / 12 = 5.97: 6
    EXPECT_EQ(MomentRuleIntervalCount(1000, 8, r), 20u);  // 50 / (1000^-0.2 10) = 19.9: 20
    r.kurtosisUnbiased = kStatNotComputed;
    EXPECT_EQ(MomentRuleIntervalCount(1000, 7, r), 32u);  // sqrt 1000 = 31.6: 32
    r.deviationUnbiased = 0.0;
    EXPECT_EQ(MomentRuleIntervalCount(1000, 8, r), 40u);  // 1.27 sqrt 1000 = 40.2: 40
}

TEST(BackgroundEstimate, MeanAndMeanDeviation) {
    double level = -1, spread = -1;
    const double one[] = {4.0}, two[] = {7.0, 3.0}, many[] = {1, 2, 3, 4, 10};
    EXPECT_TRUE(BackgroundEstimate<double>(one, 1, kMeanDeviationToSigma, &level, &spread));
    EXPECT_EQ(std::tuple(level, spread), std::tuple(4.0, 0.0));
    EXPECT_TRUE(BackgroundEstimate<double>(two, 2, kMeanDeviationToSigma, &level, &spread));
    EXPECT_EQ(std::tuple(level, spread), std::tuple(5.0, 2.0));
    EXPECT_TRUE(BackgroundEstimate<long double>(many, 5, 2.0, &level, &spread));
    EXPECT_EQ(level, 4.0);
    EXPECT_DOUBLE_EQ(spread, (3 + 2 + 1 + 0 + 6) * 2.0 / 5);
    const double endless[] = {DBL_MAX, DBL_MAX, DBL_MAX};
    level = spread = -1;
    EXPECT_FALSE(BackgroundEstimate<double>(endless, 3, 1.0, &level, &spread));
    EXPECT_EQ(std::tuple(level, spread), std::tuple(-1.0, -1.0));
}

// ---- The order statistics and the histogram against sorting -------------------------------------

// The rules as written for ascending values.
struct Literal {
    double median;
    std::vector<double> bins;
    uint64_t atLeastHalf, aboveThreshold;
};
Literal SortAndSweep(std::vector<double> x, const HistogramGrid& g, double half, double threshold) {
    std::sort(x.begin(), x.end());
    const size_t n = x.size();
    Literal l;
    l.median = n % 2 ? x[n / 2] : PairMean(x[n / 2 - 1], x[n / 2]);
    l.bins.assign(g.bins, 0.0);
    const double w = g.width;
    size_t i = 0;
    uint32_t b = 0;
    if (x[0] > g.histMin) b = static_cast<uint32_t>(std::trunc((x[0] - g.histMin) / w));
    for (; b < g.bins && i < n; ++b) {
        const double upper = g.histMin - w / 2 + static_cast<double>(b + 1) * w;
        while (i < n && x[i] < upper) {
            l.bins[b] += 1;
            ++i;
        }
    }
    l.bins[g.bins - 1] += static_cast<double>(n - i);
    l.atLeastHalf = static_cast<uint64_t>(x.end() - std::lower_bound(x.begin(), x.end(), half));
    l.aboveThreshold = static_cast<uint64_t>(x.end() - std::upper_bound(x.begin(), x.end(), threshold));
    return l;
}

TEST(OrderStatistics, SelectionAndBinningAgreeWithSortingOnDataWithTies) {
    std::mt19937_64 random(99);
    GlobalBuffer counts, candidates;
    const StatisticScratch kept{&counts, &candidates};
    struct Case {
        const char* name;
        uint32_t n;
        std::function<double()> draw;
    };
    std::uniform_int_distribution<int> small(0, 40), three(0, 2);
    std::normal_distribution<double> normal(1000.0, 5.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const Case cases[] = {
        {"ties", 300000, [&] { return static_cast<double>(small(random)); }},
        {"three values", 300001, [&] { return static_cast<double>(three(random)) * 0.1; }},
        {"rounded noise", 250000, [&] { return std::round(normal(random) * 4) / 4; }},
        // A few huge outliers: the buckets of the first counts hold nearly everything.
        {"outliers", 200000, [&] { return unit(random) < 1e-4 ? 1e250 * unit(random) : normal(random); }},
        {"negative and tiny", 150000, [&] { return (unit(random) - 0.7) * 1e-300; }},
        {"few", 13, [&] { return static_cast<double>(small(random)); }},
        {"even few", 1000, [&] { return static_cast<double>(three(random)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> v(c.n);
        for (double& x : v) x = c.draw();
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        for (const StatisticScratch& scratch : {kept, StatisticScratch{}}) {
            std::vector<double> work = v;
            const double median = SelectMedian(work.data(), c.n, *lo, *hi, scratch);
            // The selection may reorder the values but keeps every one.
            std::vector<double> sorted = v;
            std::sort(sorted.begin(), sorted.end());
            std::sort(work.begin(), work.end());
            EXPECT_TRUE(work == sorted);
            // Bins: the rule's grid, edges that cut through the ties, and a shifted minimum.
            ReductionStatValues o;
            const IntervalChoice choice = HistogramIntervalCount(c.n, *hi - *lo, o);
            for (double shift : {0.0, 0.5}) {
                const double histMin = *lo - shift * choice.width;
                const uint32_t K = choice.count + 1;
                std::vector<double> edges(K), bins(K);
                HistogramUpperEdges(histMin, choice.width, K, edges.data());
                const HistogramGrid grid{histMin, choice.width, K, edges.data()};
                const double half = (median + *hi) / 2, threshold = median;
                const Literal want = SortAndSweep(v, grid, half, threshold);
                EXPECT_EQ(median, want.median);
                HistogramTallies tallies;
                HistogramFill(bins.data(), v.data(), c.n, grid, *lo, half, threshold, scratch, &tallies);
                EXPECT_EQ(bins, want.bins);
                EXPECT_EQ(std::accumulate(bins.begin(), bins.end(), 0.0), static_cast<double>(c.n));
                EXPECT_EQ(std::tuple(tallies.atLeastHalf, tallies.aboveThreshold),
                          std::tuple(want.atLeastHalf, want.aboveThreshold));
            }
        }
    }
}

TEST(OrderStatistics, HistogramsEqualNumpyWithTheSameEdges) {
    if (!HaveReference()) GTEST_SKIP() << "numpy or scipy not installed";
    testing_util::TempFolder folder;
    std::mt19937_64 random(5);
    std::gamma_distribution<double> gamma(2.0, 30.0);
    std::vector<double> v(100000);
    for (double& x : v) x = std::round(gamma(random) * 8) / 8;  // ties on the edges
    const std::string file = folder.File("values");
    WriteDoubles(file, v.data(), v.size());
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    GlobalBuffer counts;
    for (int32_t method : {0, 3, 4}) {
        ReductionStatValues o;
        o.intervalMethod = method;
        const IntervalChoice c = HistogramIntervalCount(v.size(), *hi - *lo, o);
        const uint32_t K = c.count + 1;
        std::vector<double> edges(K), bins(K);
        HistogramUpperEdges(*lo, c.width, K, edges.data());
        HistogramFill(bins.data(), v.data(), static_cast<uint32_t>(v.size()), {*lo, c.width, K, edges.data()}, *lo,
                      0, 0, {&counts, nullptr}, nullptr);
        char arguments[256];
        std::snprintf(arguments, sizeof arguments, "histogram %s %.17g %.17g %u", file.c_str(), *lo, c.width, K);
        const Reference want = ReferenceOf(arguments);
        ASSERT_EQ(want.size(), K);
        for (uint32_t i = 0; i < K; ++i) EXPECT_EQ(bins[i], want.at("b" + std::to_string(i))) << method << " bin " << i;
    }
}

}  // namespace
}  // namespace orva
