#include "data/minmax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "data/kernel_test_support.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_data::kInf;
using testing_data::kNaN;
using testing_data::OnBothKernelPaths;

MinMaxPair Fresh() { return MinMaxPair{DBL_MAX, -DBL_MAX}; }

// The finite samples' extremes folded into the pair.
template <class T>
MinMaxPair ReferenceScan(const std::vector<T>& v, size_t count, size_t first, size_t stride,
                         MinMaxPair pair) {
    for (size_t k = 0; k < count; ++k) {
        const double x = static_cast<double>(v[first + k * stride]);
        if (!std::isfinite(x)) continue;
        pair.minimum = std::min(pair.minimum, x);
        pair.maximum = std::max(pair.maximum, x);
    }
    return pair;
}

template <class T>
void CheckScans(ElementType type) {
    std::mt19937_64 rng(type);
    for (bool swapped : {false, true}) {
        if (swapped && sizeof(T) == 1) continue;
        const MinMaxKernel scan = SelectMinMaxKernel(type | (swapped ? kElemSwapped : 0), swapped);
        ASSERT_NE(scan, nullptr);
        for (size_t n : {1, 2, 7, 63, 64, 200, 1000}) {
            for (int round = 0; round < 6; ++round) {
                std::vector<T> v = testing_data::MixedValues<T>(n * 3 + 2, rng, 4, 1e9);
                // Non-finite samples first, so that the local extremes cannot start from them.
                if constexpr (std::is_floating_point_v<T>) {
                    if (round == 1) v[0] = std::numeric_limits<T>::quiet_NaN();
                    if (round == 2) v[0] = std::numeric_limits<T>::infinity();
                }
                const std::vector<unsigned char> bytes = testing_data::Store(v, swapped);
                const MinMaxPair start = round == 3 ? MinMaxPair{-5.0, 5.0} : Fresh();
                for (uint32_t stride : {1u, 3u}) {
                    for (uint32_t first : {0u, 1u}) {
                        MinMaxPair got = start;
                        scan(bytes.data(), static_cast<uint32_t>(n), first, stride, &got);
                        const MinMaxPair want = ReferenceScan(v, n, first, stride, start);
                        ASSERT_EQ(std::pair(got.minimum, got.maximum), std::pair(want.minimum, want.maximum))
                            << "type " << type << " n " << n << " stride " << stride << " first " << first;
                    }
                }
            }
        }
    }
}

// Every type on both loops. The contiguous 64-bit real scan keeps the sample order of
// its packed lanes, so even the zero that wins is the one a scan one by one keeps.
TEST(MinMaxScan, EveryTypeMatchesTheReference) {
    OnBothKernelPaths([] {
        CheckScans<int8_t>(kTypeI8);
        CheckScans<uint8_t>(kTypeU8);
        CheckScans<int16_t>(kTypeI16);
        CheckScans<uint16_t>(kTypeU16);
        CheckScans<int32_t>(kTypeI32);
        CheckScans<uint32_t>(kTypeU32);
        CheckScans<int64_t>(kTypeI64);
        CheckScans<uint64_t>(kTypeU64);
        CheckScans<float>(kTypeF32);
        CheckScans<double>(kTypeF64);
        for (bool positiveFirst : {true, false}) {  // the zero in lane 0 wins over the one in lane 1
            std::vector<double> z(19, 1.0);
            z[0] = positiveFirst ? 0.0 : -0.0;
            z[1] = positiveFirst ? -0.0 : 0.0;
            z[18] = -0.0;
            MinMaxPair p = Fresh();
            SelectMinMaxKernel(kTypeF64)(z.data(), 19, 0, 1, &p);
            EXPECT_EQ(p.minimum, 0.0);
            EXPECT_EQ(std::signbit(p.minimum), !positiveFirst);
        }
    });
}

MinMaxPair Scan(ElementType type, const void* data, uint32_t count, bool swapped = false) {
    MinMaxPair p = Fresh();
    SelectMinMaxKernel(type, swapped)(data, count, 0, 1, &p);
    return p;
}

TEST(MinMaxScan, HandComputedRuns) {
    struct Case {
        std::vector<double> v;
        double minimum, maximum;
        uint32_t first = 0, stride = 1;
        MinMaxPair start = Fresh();
        uint32_t count = 0xFFFFFFFF;  // to the end
    };
    const Case cases[] = {
        // Non-finite samples are skipped; a run of nothing else leaves the pair as it was.
        {{3.0, kNaN, -2.0}, -2.0, 3.0},
        {{kNaN, 4.0, -7.0, 1.0}, -7.0, 4.0},
        {{1.0, kInf, 2.0}, 1.0, 2.0},
        {{-kInf, 0.5}, 0.5, 0.5},
        {{kInf}, DBL_MAX, -DBL_MAX},
        {{kNaN, kInf, -kInf}, DBL_MAX, -DBL_MAX},
        {{-DBL_MAX, DBL_MAX}, -DBL_MAX, DBL_MAX},  // the largest finite values count
        // Count, stride (3 from index 1 reads 1, 4, 7) and an earlier pair.
        {{1.0, 2.0}, -1.0, 1.5, 0, 1, {-1.0, 1.5}, 0},
        {{100, 5, 100, 100, 9, 100, 100, -3, 100}, -3.0, 9.0, 1, 3},
        {{4.0, 6.0}, 4.0, 6.0, 0, 1, {5.0, 5.0}},
    };
    for (const Case& c : cases) {
        MinMaxPair p = c.start;
        const uint32_t count = c.count != 0xFFFFFFFF
                                   ? c.count
                                   : static_cast<uint32_t>((c.v.size() - c.first + c.stride - 1) / c.stride);
        SelectMinMaxKernel(kTypeF64)(c.v.data(), count, c.first, c.stride, &p);
        EXPECT_EQ(p.minimum, c.minimum) << &c - cases;
        EXPECT_EQ(p.maximum, c.maximum) << &c - cases;
    }
    const uint64_t big[2] = {UINT64_MAX, 3};
    EXPECT_EQ(Scan(kTypeU64, big, 2).maximum, 18446744073709551616.0);
    EXPECT_EQ(Scan(kTypeU64, big, 2).minimum, 3.0);
    const uint16_t be[2] = {0x0100, 0x0200};  // 1 and 2 stored big-endian
    EXPECT_EQ(Scan(kTypeU16 | kElemSwapped, be, 2, true).minimum, 1.0);
    EXPECT_EQ(Scan(kTypeU16 | kElemSwapped, be, 2, true).maximum, 2.0);
    EXPECT_EQ(Scan(kTypeU16 | kElemSwapped, be, 2).minimum, 256.0);  // machine order
}

// Contiguous integer runs fold in packed vectors of 64 to 128 values a step, with a tail
// one by one. One low and one high value planted in a run of 50s, at every kind of place
// (first value, each vector of a step, last step, tail), must come out on every path:
// 32-byte registers, 16-byte ones (processors that split wider operations), baseline.
template <class T>
void CheckPlanted(ElementType type) {
    const size_t n = 300;  // two steps of 128 one-byte values and a tail
    const size_t places[] = {0, 1, 15, 16, 31, 32, 63, 64, 127, 128, 255, 256, 299};
    for (size_t at : places) {
        for (size_t other : {size_t{0}, size_t{299}, size_t{100}}) {
            if (other == at) continue;
            std::vector<T> v(n, T{50});
            v[at] = T{3};
            v[other] = T{120};
            const MinMaxPair got = Scan(type, v.data(), static_cast<uint32_t>(n));
            EXPECT_EQ(got.minimum, 3.0) << "type " << type << " at " << at << " other " << other;
            EXPECT_EQ(got.maximum, 120.0) << "type " << type << " at " << at << " other " << other;
        }
    }
    // Extremes of the type itself, and a run exactly one step long.
    std::vector<T> w(128, T{0});
    w[77] = std::numeric_limits<T>::lowest();
    w[127] = std::numeric_limits<T>::max();
    const MinMaxPair got = Scan(type, w.data(), 128);
    EXPECT_EQ(got.minimum, static_cast<double>(std::numeric_limits<T>::lowest())) << type;
    EXPECT_EQ(got.maximum, static_cast<double>(std::numeric_limits<T>::max())) << type;
}

TEST(MinMaxScan, PackedIntegerLanesOnEveryPath) {
    for (bool narrow : {false, true}) {
        SCOPED_TRACE(narrow ? "16-byte registers" : "32-byte registers");
        kernel::ForceSplitWideVectorsForTest(narrow);
        OnBothKernelPaths([] {
            CheckPlanted<int8_t>(kTypeI8);
            CheckPlanted<uint8_t>(kTypeU8);
            CheckPlanted<int16_t>(kTypeI16);
            CheckPlanted<uint16_t>(kTypeU16);
            CheckPlanted<int32_t>(kTypeI32);
            CheckPlanted<uint32_t>(kTypeU32);
            CheckPlanted<int64_t>(kTypeI64);
            CheckPlanted<uint64_t>(kTypeU64);
        });
    }
    kernel::ForceSplitWideVectorsForTest(false);
}

TEST(MinMaxScan, Selection) {
    EXPECT_EQ(SelectMinMaxKernel(kElemInt24), nullptr);
    EXPECT_EQ(SelectMinMaxKernel(0), nullptr);
    EXPECT_EQ(SelectMinMaxKernel(kTypeF64 | kElemInt16), SelectMinMaxKernel(kTypeF64));
    EXPECT_EQ(SelectMinMaxKernel(kTypeI16 | kElemSwapped), SelectMinMaxKernel(kTypeI16));
    EXPECT_NE(SelectMinMaxKernel(kTypeU16), SelectMinMaxKernel(kTypeI16));
    const int8_t s8[1] = {-1};
    EXPECT_EQ(Scan(kTypeI8, s8, 1).minimum, -1.0);
    EXPECT_EQ(Scan(kTypeU8, s8, 1).minimum, 255.0);
}

// ---- 64-bit real accumulator ----------------------------------------------------------------

DataInfo Start(double factor) {
    DataInfo d;
    d.minimum = DBL_MAX;
    d.maximum = -DBL_MAX;
    DataInfoFactor(d) = factor;
    return d;
}

// Folds `values` into `d` (a fresh record by default) and answers it.
DataInfo Fold(const std::vector<double>& values, DataInfo d = Start(1.0)) {
    InfoKernelReal64(values.data(), static_cast<int32_t>(values.size()), &d);
    return d;
}

// The sums are taken about the first valid value of the run (its shift).
TEST(InfoKernelReal64, KnownRecords) {
    DataInfo d = Fold({1.5, -DBL_MAX, 2.0}, Start(0.5));
    EXPECT_EQ(d.count, 2);
    EXPECT_EQ(d.minimum, 1.5);
    EXPECT_EQ(d.maximum, 2.0);
    EXPECT_EQ(DataInfoShift(d), 1.5);
    EXPECT_EQ(d.sum, 0.25);
    EXPECT_EQ(d.sumSquares, 0.0625);
    EXPECT_EQ(d.sampleType.type, 0x10u);
    // The narrowest type: whole (denormals lie within DBL_MIN of zero, large whole
    // numbers), a 32-bit real, or a 64-bit one (also for a fraction too small for 32 bits).
    const std::pair<std::vector<double>, uint32_t> types[] = {
        {{-1.5}, 0x10u},
        {{1.5 * std::ldexp(1.0, -200)}, 0x40u},
        {{std::numeric_limits<double>::denorm_min(), 4.0}, 0u},
        {{9007199254740993.0, 18446744073709551616.0, -9223372036854775808.0}, 0u},
    };
    for (const auto& [values, type] : types) EXPECT_EQ(Fold(values).sampleType.type, type) << values[0];
    d = Fold({-3.0, 7.0});
    EXPECT_EQ(d.sampleType.type, 0u);
    EXPECT_EQ(d.sum, 10.0);
    EXPECT_EQ(d.sumSquares, 100.0);
    d = Fold({0.1, 0.5}, d);
    EXPECT_EQ(d.sampleType.type, 0x40u);
    EXPECT_EQ(DataInfoShift(d), -3.0) << "the shift stays once values were summed";
    EXPECT_DOUBLE_EQ(d.sum, 10.0 + 3.1 + 3.5);
    // Once a 64-bit real is needed the record stays there.
    d = Fold({-3.0, 7.0}, d);
    EXPECT_EQ(d.sampleType.type, 0x40u);
    EXPECT_EQ(d.count, 6);
}

TEST(InfoKernelReal64, MissingNonFiniteHugeAndTinyValues) {
    DataInfo d = Fold({-DBL_MAX, -DBL_MAX});
    EXPECT_EQ(d.count, 0);
    EXPECT_EQ(d.minimum, DBL_MAX);
    EXPECT_EQ(d.maximum, -DBL_MAX);
    EXPECT_EQ(d.sum, 0.0);
    EXPECT_EQ(d.sumSquares, 0.0);
    // A NaN or an infinity among the values drops neither the others' sum nor the extremes.
    const double mixed[] = {kNaN, 2.0, kInf, -4.0, -kInf};
    InfoKernelReal64(mixed, 5, &d);
    EXPECT_EQ(d.count, 2);
    EXPECT_EQ(DataInfoShift(d), 2.0) << "a run of missing values chooses no shift";
    EXPECT_EQ(d.sum, -6.0);
    EXPECT_EQ(d.sumSquares, 36.0);
    EXPECT_EQ(d.minimum, -4.0);
    EXPECT_EQ(d.maximum, 2.0);
    InfoKernelReal64(mixed, 0, &d);
    InfoKernelReal64(mixed, -3, &d);
    EXPECT_EQ(d.count, 2);
    // Squares saturate, alone or together, and stay saturated.
    d = Fold({1.0, 2e154, 3.0});
    EXPECT_EQ(d.sumSquares, DBL_MAX);
    EXPECT_EQ(d.sum, 2e154 + 2.0);
    EXPECT_EQ(Fold({5.0}, d).sumSquares, DBL_MAX);
    EXPECT_EQ(Fold({1e154, 1e154}).sumSquares, DBL_MAX);
    // Values whose product with the factor would underflow are counted in units of DBL_MIN
    // (values so close to zero are summed about zero).
    d = Fold({1e-300, 1e-300, -1e-300}, Start(1e-10));
    EXPECT_EQ(DataInfoShift(d), 0.0);
    EXPECT_EQ(d.count, 3);
    EXPECT_EQ(d.sum, DBL_MIN);
    EXPECT_EQ(d.sumSquares, 0.0);
}

// Compares the record of a run over `v` with the value-by-value rules (sums to rounding);
// expectedType < 0 leaves the type unchecked.
void CheckAgainstRules(const std::vector<double>& v, int64_t expectedType) {
    const size_t n = v.size();
    DataInfo d;
    DataInfoStart(&d, n);
    const double factor = DataInfoFactor(d);
    InfoKernelReal64(v.data(), static_cast<int32_t>(n), &d);
    const double tiny = DBL_MIN / factor;
    double lo = DBL_MAX, hi = -DBL_MAX, sum = 0.0, sq = 0.0, scale = 0.0;
    int64_t count = 0, small = 0;
    // The shift: the first valid value, unless it is below 2^-500 or above 2^500.
    double shift = 0.0;
    for (double x : v)
        if (x != -DBL_MAX && std::isfinite(x)) {
            if (std::fabs(x) >= std::ldexp(1.0, -500) && std::fabs(x) <= std::ldexp(1.0, 500)) shift = x;
            break;
        }
    EXPECT_EQ(DataInfoShift(d), shift);
    for (double x : v) {
        if (x == -DBL_MAX || !std::isfinite(x)) continue;
        ++count;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
        const double y = x - shift;
        if (std::fabs(y) <= tiny) {
            small += y > 0 ? 1 : y < 0 ? -1 : 0;
            continue;
        }
        sum += y * factor;
        sq += (y * factor) * (y * factor);
        scale += std::fabs(y * factor);
    }
    EXPECT_EQ(d.count, count);
    EXPECT_EQ(d.minimum, lo);
    EXPECT_EQ(d.maximum, hi);
    if (expectedType >= 0) { EXPECT_EQ(d.sampleType.type, static_cast<uint32_t>(expectedType)); }
    // Either order of n additions stays within n ulps of the magnitudes' sum.
    const double bound = static_cast<double>(n) * DBL_EPSILON;
    EXPECT_NEAR(d.sum, sum + double(small) * DBL_MIN, bound * scale);
    if (sq >= DBL_MAX) {
        EXPECT_EQ(d.sumSquares, DBL_MAX);
    } else {
        EXPECT_NEAR(d.sumSquares, sq, bound * sq);
    }
}

// Long runs go through chunks folded in packed lanes, falling back value by value for a
// chunk with a missing, non-finite, tiny or huge value, or a fraction the type test must
// look at. Every layout below, and random runs of random lengths, must give the record of
// the value-by-value rules, on the AVX2 and on the baseline loops.
TEST(InfoKernelReal64, RunsMatchTheRules) {
    struct Case {
        const char* name;
        double (*make)(size_t i, std::mt19937_64& rng);
        uint32_t type;
    };
    const Case cases[] = {
        {"whole", [](size_t, std::mt19937_64& g) { return double(int64_t(g() % 200001) - 100000); }, 0},
        {"eighths", [](size_t, std::mt19937_64& g) { return double(int64_t(g() % 8001) - 4000) / 8; }, 0x10},
        {"reals", [](size_t, std::mt19937_64& g) { return double(int64_t(g() % 2001) - 1000) / 7; }, 0x40},
        {"late fraction", [](size_t i, std::mt19937_64& g) { return i == 3001 ? 0.1 : double(g() % 100); }, 0x40},
        {"late float fraction", [](size_t i, std::mt19937_64& g) { return i == 2999 ? 2.5 : double(g() % 100); }, 0x10},
        {"big whole after eighths", [](size_t i, std::mt19937_64&) { return i < 1500 ? 0.125 : 16777217.0; }, 0x10},
        {"missing and non-finite", [](size_t i, std::mt19937_64& g) {
             return i == 1500 ? -DBL_MAX : i == 2100 ? kNaN : i == 4000 ? kInf : i == 4001 ? -kInf : double(g() % 50);
         }, 0},
        {"tiny", [](size_t i, std::mt19937_64& g) { return i == 1234 ? 1e-305 : i == 2345 ? -3e-305 : i == 3456 ? 1e-300 : double(g() % 9); }, 0x40},
        {"huge", [](size_t i, std::mt19937_64& g) { return i == 2222 ? 1e200 : double(g() % 9); }, 0},
        {"all missing", [](size_t, std::mt19937_64&) { return -DBL_MAX; }, 0},
    };
    OnBothKernelPaths([&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            std::mt19937_64 rng(5);
            std::vector<double> v(5003);
            for (size_t i = 0; i < v.size(); ++i) v[i] = c.make(i, rng);
            CheckAgainstRules(v, c.type);
        }
        std::mt19937_64 rng(11);
        std::uniform_real_distribution<double> u(-1000.0, 1000.0);
        for (int round = 0; round < 20; ++round) {
            std::vector<double> v(1 + rng() % 5000);
            for (auto& x : v) {
                const uint64_t k = rng() % 20;
                x = k == 0 ? -DBL_MAX : k == 1 ? kNaN : k < 10 ? std::round(u(rng)) : u(rng);
            }
            CheckAgainstRules(v, -1);
        }
    });
    // Squares that overflow saturate.
    std::vector<double> big(3000, 1.0);
    big[2000] = 1e160;
    const DataInfo d = Fold(big);
    EXPECT_EQ(d.sumSquares, DBL_MAX);
    EXPECT_EQ(d.count, 3000);
}

// The AVX2 loop tells whole values from fractions in its own way; both loops must send the
// same chunks the fast way, so their records agree to the bit. Each run is whole values
// with one value at the edges of that test, which lands in a different place in each run.
TEST(InfoKernelReal64, BothLoopsAgreeOnWholeValues) {
    const double edges[] = {0.5, -0.5, 0.49999999999999994, -0.0, 4503599627370495.5, -4503599627370495.5,
                            4503599627370496.0, 4503599627370497.0, 9007199254740994.0, 1e300, -1e300,
                            std::numeric_limits<double>::denorm_min(), 1e-300, kNaN, kInf, -kInf, -DBL_MAX, 3.0};
    std::mt19937_64 rng(3);
    for (double edge : edges) {
        std::vector<double> v(3000);
        for (double& x : v) x = double(int64_t(rng() % 2001) - 1000);
        v[rng() % v.size()] = edge;
        DataInfo got[2];
        for (int base : {0, 1}) {
            kernel::ForceBaselineForTest(base == 1);
            got[base] = Start(1.0 / static_cast<double>(v.size()));
            InfoKernelReal64(v.data(), static_cast<int32_t>(v.size()), &got[base]);
        }
        kernel::ForceBaselineForTest(false);
        SCOPED_TRACE(::testing::Message() << "edge " << edge);
        EXPECT_EQ(got[0].sampleType.type, got[1].sampleType.type);
        EXPECT_EQ(got[0].count, got[1].count);
        for (double DataInfo::*f : {&DataInfo::minimum, &DataInfo::maximum, &DataInfo::sum, &DataInfo::sumSquares})
            EXPECT_EQ(std::bit_cast<uint64_t>(got[0].*f), std::bit_cast<uint64_t>(got[1].*f));
    }
}

// Data far from zero keeps its spread: the mean and the sample deviation of offset +
// spread x N(0, 1), folded in chunks as a section is read, against a two-pass sum in long
// double over the same values, on both loops.
TEST(InfoKernelReal64, SpreadsFarFromZero) {
    OnBothKernelPaths([] {
        for (double offset : {0.0, 1e6, 1e8, 1e12, -1e8})
            for (double relative : {1.0, 1e-3, 1e-6}) {
                const double spread = offset == 0.0 ? relative : std::fabs(offset) * relative;
                std::mt19937_64 rng(static_cast<uint64_t>(offset) ^ 77);
                std::normal_distribution<double> g(0.0, 1.0);
                std::vector<double> v(10007);
                for (double& x : v) x = offset + spread * g(rng);
                DataInfo d;
                DataInfoStart(&d, v.size());
                for (size_t i = 0; i < v.size(); i += 4096)
                    InfoKernelReal64(v.data() + i, static_cast<int32_t>(std::min<size_t>(4096, v.size() - i)), &d);
                ASSERT_TRUE(ChooseSampleType(&d, true));
                long double mean = 0.0L, q = 0.0L;
                for (double x : v) mean += x;
                mean /= v.size();
                for (double x : v) q += (x - mean) * (x - mean);
                const double sigma = static_cast<double>(std::sqrt(q / (v.size() - 1)));
                SCOPED_TRACE(::testing::Message() << "offset " << offset << " spread " << spread);
                EXPECT_NEAR(d.sum, static_cast<double>(mean), 1e-15 * std::fabs(offset) + 1e-12 * spread);
                EXPECT_NEAR(d.sumSquares, sigma, 1e-9 * sigma);
                EXPECT_NEAR(d.total, static_cast<double>(mean) * v.size(), 1e-12 * (std::fabs(offset) + spread) * v.size());
            }
    });
}

TEST(InfoKernelReal64, FinishedByChooseSampleType) {
    DataInfo d;
    DataInfoStart(&d, 4);
    EXPECT_EQ(DataInfoFactor(d), 0.25);
    EXPECT_EQ(d.minimum, DBL_MAX);
    const double v[] = {1.0, 2.0, 3.0, 4.0};
    InfoKernelReal64(v, 4, &d);
    ASSERT_TRUE(ChooseSampleType(&d, true));
    EXPECT_DOUBLE_EQ(d.sum, 2.5);
    EXPECT_NEAR(d.sumSquares, std::sqrt(5.0 / 3.0), 1e-12);  // sample deviation
    DataInfoStart(&d, 0);
    EXPECT_EQ(DataInfoFactor(d), 1.0);
}

// ---- Dual accumulators ------------------------------------------------------------------------

DualDataInfo FreshDual(uint8_t swap = 0) {
    DualDataInfo d;
    d.swap = swap;
    d.signedMinimum = d.unsignedMinimum = DBL_MAX;
    d.signedMaximum = d.unsignedMaximum = -DBL_MAX;
    return d;
}

TEST(DualAccumulators, SignedAndUnsignedReadings) {
    InfoKernelChoice choice;
    ASSERT_TRUE(DConvInfoSelect(&choice, kTypeU8));
    DualDataInfo d = FreshDual();
    const uint8_t b[] = {0xFF, 0x01};
    choice.kernel(b, 2, &d);
    EXPECT_EQ(d.signedMinimum, -1.0);
    EXPECT_EQ(d.signedMaximum, 1.0);
    EXPECT_EQ(d.unsignedMinimum, 1.0);
    EXPECT_EQ(d.unsignedMaximum, 255.0);
    EXPECT_EQ(d.signedSum, 0.0);
    EXPECT_EQ(d.unsignedSum, 256.0);
    EXPECT_EQ(d.signedSumSquares, 2.0);
    EXPECT_EQ(d.unsignedSumSquares, 65026.0);
    EXPECT_EQ(d.count, 2u);
    choice.kernel(b, 0, &d);
    EXPECT_EQ(d.count, 2u);

    // Byte-swapped 16-bit: the bytes 80 01 hold 0x8001.
    ASSERT_TRUE(DConvInfoSelect(&choice, 0x182));
    EXPECT_EQ(choice.key, 0x102u);
    EXPECT_EQ(choice.kernel, DualInfoKernelTable[2].kernel);
    d = FreshDual(1);
    const unsigned char w[] = {0x80, 0x01};
    choice.kernel(w, 1, &d);
    EXPECT_EQ(d.signedMinimum, -32767.0);
    EXPECT_EQ(d.unsignedMaximum, 32769.0);

    const uint64_t q[] = {UINT64_MAX};
    ASSERT_TRUE(DConvInfoSelect(&choice, kTypeI64));
    d = FreshDual();
    choice.kernel(q, 1, &d);
    EXPECT_EQ(d.signedMinimum, -1.0);
    EXPECT_EQ(d.unsignedMaximum, 18446744073709551616.0);
    EXPECT_EQ(d.unsignedSum, 18446744073709551616.0);
}

TEST(DualAccumulators, Selection) {
    const std::string log = testing_util::CapturedLog([] {
        InfoKernelChoice choice;
        EXPECT_FALSE(DConvInfoSelect(&choice, kTypeF32));
        EXPECT_EQ(choice.kernel, nullptr);
        EXPECT_TRUE(DConvInfoSelect(&choice, kTypeI32 | kElemSwapped));
        EXPECT_EQ(choice.key, kTypeI32);
        EXPECT_TRUE(DConvInfoSelect(&choice, kTypeI32));  // the same key again
        EXPECT_FALSE(DConvInfoSelect(&choice, kTypeF64));
        EXPECT_EQ(choice.key, 0u);
        EXPECT_FALSE(DConvInfoSelect(&choice, kElemSwapped));  // no key: quiet
    });
    EXPECT_EQ(log, "DConvInfoSelect(): unkn. types...\nDConvInfoSelect(): unkn. types...\n");
}

}  // namespace
}  // namespace orva
