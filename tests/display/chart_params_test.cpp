// The chart's value object with its six view memories, and the statistics of one sample
// row: hand-computed cases, the scaled path of large values, and rows checked against
// numpy's mean and std (ddof=1).
#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/chart_params.h"
#include "framework/component_id.h"
#include "framework/port.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::TempFolder;

uint64_t Bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

RowStats Stats(const std::vector<double>& x, const double* range = nullptr) {
    RowStats r;
    RowStatistics(x.data(), x.size(), &r, range);
    return r;
}

bool FlagsRaised() { return std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT) != 0; }

TEST(RowStatisticsTest, SmallRowsFollowTheRules) {
    struct Case {
        std::vector<double> x;
        double mean, sigma, sum;
    } cases[] = {
        {{1, 3}, 2, 1, 4},
        {{5}, 5, 0, 5},
        {{2, 4, 4, 4, 5, 5, 7, 9}, 5, std::sqrt(32.0 / 7.0), 40},
        {{-3, 3}, 0, 3, 0},
        {{7, 7, 7}, 7, 0, 21},
        {{}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.x));
        const RowStats r = Stats(c.x);
        EXPECT_EQ(r.count, c.x.size());
        EXPECT_EQ(r.valid, 1);
        EXPECT_DOUBLE_EQ(r.mean, c.mean);
        EXPECT_DOUBLE_EQ(r.sigma, c.sigma);
        EXPECT_DOUBLE_EQ(r.sum, c.sum);
    }
    EXPECT_DOUBLE_EQ(Stats({2, 4, 4, 4, 5, 5, 7, 9}).sigma, 2.138089935299395);
    const RowStats r = Stats({4, -2, 9});
    EXPECT_EQ(r.minimum, -2.0);
    EXPECT_EQ(r.maximum, 9.0);
}

// Rows far from zero: the sigma is the spread about the mean (numpy's std with ddof 1),
// which the squares of the values alone lose (1e8 + a unit spread gave 0). The samples
// are base + u / den - 1 with u = (i x 2654435761) mod 65536, each exact in a double; the
// expected values are numpy's (mean, std(ddof=1), sum) on the same samples.
TEST(RowStatisticsTest, RowsFarFromZeroKeepTheirSpread) {
    struct Case {
        double base;
        uint64_t n, den;
        double mean, sigma, sum, minimum, maximum;
    } cases[] = {
        {1e8, 1000, 32768, 100000000.00169861, 0.5783016566962607, 100000000001.69861, 99999999.0,
         100000000.99917603},
        {1e12, 257, 256, 1000000000127.8424, 74.05718636499405, 257000000032855.5, 999999999999.0,
         1000000000254.1758},
        {-3e9, 64, 4096, -2999999992.920044, 4.743247049687677, -191999999546.8828, -3000000001.0,
         -2999999985.0515137},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        std::vector<double> x(c.n);
        for (uint64_t i = 0; i < c.n; ++i)
            x[i] = c.base + static_cast<double>((i * 2654435761ull) % 65536) / static_cast<double>(c.den) - 1.0;
        const RowStats r = Stats(x);
        EXPECT_EQ(r.valid, 1);
        EXPECT_EQ(r.count, c.n);
        EXPECT_EQ(r.minimum, c.minimum);
        EXPECT_EQ(r.maximum, c.maximum);
        EXPECT_NEAR(r.sigma, c.sigma, c.sigma * 1e-9);
        EXPECT_NEAR(r.mean, c.mean, std::fabs(c.mean) * 1e-15);
        EXPECT_NEAR(r.sum, c.sum, std::fabs(c.sum) * 1e-15);
    }
}

TEST(RowStatisticsTest, LargeValuesTakeTheScaledPathWithoutASigma) {
    std::feclearexcept(FE_ALL_EXCEPT);
    const RowStats r = Stats({1e200, 3e200, 5e200});
    EXPECT_EQ(r.valid, 1);
    EXPECT_DOUBLE_EQ(r.mean, 3e200);
    EXPECT_DOUBLE_EQ(r.sum, 9e200);
    EXPECT_EQ(Bits(r.sigma), 0x8010000000000000ull);
    EXPECT_EQ(Bits(kSigmaNotComputed), 0x8010000000000000ull);
    EXPECT_FALSE(FlagsRaised());
    // Two large values: the half-sum and half-difference in halves, the sum bounded.
    const RowStats two = Stats({1.5e308, 1.7e308});
    EXPECT_DOUBLE_EQ(two.mean, 1.6e308);
    EXPECT_DOUBLE_EQ(two.sigma, 0.1e308);
    EXPECT_EQ(two.sum, DBL_MAX);
    const RowStats negative = Stats({-1.5e308, -1.7e308});
    EXPECT_EQ(negative.sum, -DBL_MAX);
    EXPECT_FALSE(FlagsRaised());
}

TEST(RowStatisticsTest, NaNsInfinitiesAndAGivenRange) {
    std::feclearexcept(FE_ALL_EXCEPT);
    // A NaN or an infinity spoils the range; the sums cannot be had either.
    for (double bad : {std::nan(""), static_cast<double>(INFINITY), -static_cast<double>(INFINITY)}) {
        const RowStats r = Stats({1.0, bad, 3.0});
        EXPECT_EQ(r.minimum, 0.0);
        EXPECT_EQ(r.maximum, 0.0);
        EXPECT_EQ(r.mean, 0.0);
        EXPECT_FALSE(FlagsRaised()) << bad;
    }
    // One sample: taken when finite.
    EXPECT_EQ(Stats({INFINITY}).mean, 0.0);
    // A given range is taken as it is: the single row of a device uses its found range.
    const double range[2] = {0.0, 10.0};
    const RowStats given = Stats({2.0, 4.0, 6.0}, range);
    EXPECT_EQ(given.minimum, 0.0);
    EXPECT_EQ(given.maximum, 10.0);
    EXPECT_DOUBLE_EQ(given.mean, 4.0);
    EXPECT_DOUBLE_EQ(given.sigma, 2.0);
    // Denormal results become 0.
    const RowStats tiny = Stats({4e-320, -4e-320, 1e-321});
    EXPECT_EQ(tiny.sum, 0.0);
    EXPECT_EQ(tiny.sigma, 0.0);
    EXPECT_FALSE(FlagsRaised());
}

// Rows of 3 to 20480 values in [-1000, 1000] against numpy's mean and std(ddof=1).
TEST(RowStatisticsTest, RandomRowsAgreeWithNumpy) {
    if (!testing_util::Exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
    TempFolder folder;
    std::mt19937_64 random(0x5EED);
    std::uniform_real_distribution<double> value(-1000.0, 1000.0);
    const uint32_t sizes[] = {3, 4, 5, 17, 100, 1023, 4097, 12345, 20480};
    std::vector<std::vector<double>> rows;
    {
        std::ofstream out(folder.File("rows.bin"), std::ios::binary);
        for (uint32_t n : sizes) {
            std::vector<double> row(n);
            for (double& v : row) v = value(random);
            out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(n * sizeof(double)));
            rows.push_back(std::move(row));
        }
    }
    std::string sizeList;
    for (uint32_t n : sizes) sizeList += (sizeList.empty() ? "" : ",") + std::to_string(n);
    testing_util::WriteText(folder.File("stats.py"),
                            "import numpy as np, sys\n"
                            "data = np.fromfile(sys.argv[1], dtype='<f8')\n"
                            "sizes = [" + sizeList + "]\n"
                            "at = 0\n"
                            "with open(sys.argv[2], 'w') as out:\n"
                            "    for n in sizes:\n"
                            "        row = data[at:at + n]\n"
                            "        at += n\n"
                            "        out.write('%r %r %r\\n' % (float(np.mean(row)), float(np.std(row, ddof=1)), float(np.sum(row))))\n");
    ASSERT_EQ(testing_util::RunProgram("/usr/bin/python3", {},
                                       {folder.File("stats.py"), folder.File("rows.bin"), folder.File("expected.txt")}),
              0);
    std::istringstream expected(testing_util::ReadText(folder.File("expected.txt")));
    std::feclearexcept(FE_ALL_EXCEPT);
    for (const std::vector<double>& row : rows) {
        double mean = 0, sigma = 0, sum = 0;
        ASSERT_TRUE(expected >> mean >> sigma >> sum);
        const RowStats r = Stats(row);
        SCOPED_TRACE(row.size());
        // The mean of values around 0 is measured against the values' scale.
        EXPECT_NEAR(r.mean, mean, 1e-9 * 1000.0);
        EXPECT_NEAR(r.sum, sum, 1e-9 * 1000.0 * row.size());
        EXPECT_NEAR(r.sigma, sigma, 1e-9 * sigma);
    }
    EXPECT_FALSE(FlagsRaised());
}

// ---- ChartParams -----------------------------------------------------------------------------

class MemoriesScope {
public:
    MemoriesScope() { std::memcpy(saved_, ChartDefaultMemories(), sizeof saved_); }
    ~MemoriesScope() { std::memcpy(ChartDefaultMemories(), saved_, sizeof saved_); }

private:
    ChartMemory saved_[kChartMemories];
};

TEST(ChartParamsTest, MemoriesComeFromTheObjectOnlyWhenItsFlagIsSet) {
    MemoriesScope scope;
    ChartMemory* defaults = ChartDefaultMemories();
    for (int i = 0; i < kChartMemories; ++i) EXPECT_EQ(defaults[i].end, 0);
    defaults[5] = ChartMemory{-2.0, 3.0, 10, 40};
    ChartParams* p = ChartParamsCreate();
    ASSERT_NE(p, nullptr);
    p->memories[5] = ChartMemory{1.0, 2.0, 5, 6};
    // A fresh object reads the process-wide memories; index 9 reads memory 5.
    EXPECT_EQ(ChartParamsGetMemory(p, 9).first, 10);
    EXPECT_EQ(ChartParamsGetMemory(p, 5).maximumY, 3.0);
    EXPECT_EQ(ChartParamsGetMemory(p, -3).end, 0);
    p->ownMemories = 1;
    EXPECT_EQ(ChartParamsGetMemory(p, 9).first, 5);
    EXPECT_EQ(ChartParamsGetMemory(nullptr, 5).first, 10);
    // The clone copies the memories with its flag clear.
    PropertyComponent* made = nullptr;
    ASSERT_TRUE(p->CreateInstance(&made));
    auto* clone = dynamic_cast<ChartParams*>(made);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->ownMemories, 0);
    EXPECT_EQ(clone->memories[5].end, 6);
    EXPECT_EQ(clone->refCount.load(), 1);
    // Query interface answers its own id only, with a reference.
    void* out = nullptr;
    EXPECT_TRUE(p->QueryInterface(&kParams1DId, &out));
    EXPECT_EQ(out, p);
    EXPECT_EQ(p->refCount.load(), 2);
    EXPECT_FALSE(p->QueryInterface(&kParams2DId, &out));
    EXPECT_FALSE(p->Read("x"));
    EXPECT_FALSE(p->Write("x"));
    EXPECT_EQ(p->Release(), 1);
    EXPECT_EQ(p->Release(), 0);
    EXPECT_EQ(clone->Release(), 0);
}

class BarePort : public OutPort {
public:
    bool CreateOutputWindow(const ComponentId*, const FormatRequest*, OutputWindow**) override { return false; }
};

TEST(ChartParamsTest, TheOwnerKeepsOneObjectForAllItsDevices) {
    BarePort port;
    ChartParams* a = nullptr;
    ChartParams* b = nullptr;
    EXPECT_FALSE(ChartParamsQuery(nullptr, &kParams1DId, &a));
    EXPECT_EQ(a, nullptr);
    ASSERT_TRUE(ChartParamsQuery(&port, &kParams1DId, &a));
    ASSERT_TRUE(ChartParamsQuery(&port, &kParams1DId, &b));
    EXPECT_EQ(a, b);
    ASSERT_NE(port.firstEntry, nullptr);
    EXPECT_EQ(port.firstEntry, port.lastEntry);
    EXPECT_EQ(a->refCount.load(), 3);  // the port's and the two asked for
    a->Release();
    b->Release();
}

}  // namespace
}  // namespace orva
