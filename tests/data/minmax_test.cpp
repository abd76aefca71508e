#include "data/minmax.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/log.h"
#include "data/kernel_util.h"

namespace orva {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <class T>
std::vector<unsigned char> Store(const std::vector<T>& values, bool swapped) {
    std::vector<unsigned char> bytes(values.size() * sizeof(T));
    for (size_t i = 0; i < values.size(); ++i) {
        unsigned char b[sizeof(T)];
        std::memcpy(b, &values[i], sizeof(T));
        if (swapped) std::reverse(b, b + sizeof(T));
        std::memcpy(bytes.data() + i * sizeof(T), b, sizeof(T));
    }
    return bytes;
}

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
std::vector<T> Edges() {
    using L = std::numeric_limits<T>;
    std::vector<T> v = {L::lowest(), L::max(), T(0), T(1)};
    if constexpr (std::is_same_v<T, uint64_t>) {
        v.push_back(uint64_t{1} << 63);
        v.push_back((uint64_t{1} << 53) + 1);
    }
    if constexpr (std::is_same_v<T, int64_t>) v.push_back((int64_t{1} << 53) - 1);
    if constexpr (std::is_floating_point_v<T>) {
        v.push_back(T(-0.0));
        v.push_back(L::denorm_min());
        v.push_back(L::infinity());
        v.push_back(-L::infinity());
        v.push_back(L::quiet_NaN());
        v.push_back(static_cast<T>(18446744073709551616.0));
    }
    return v;
}

template <class T>
void CheckScans(ElementType type) {
    std::mt19937_64 rng(type);
    const std::vector<T> edges = Edges<T>();
    for (bool swapped : {false, true}) {
        if (swapped && sizeof(T) == 1) continue;
        const MinMaxKernel scan = SelectMinMaxKernel(type | (swapped ? kElemSwapped : 0), swapped);
        ASSERT_NE(scan, nullptr);
        for (size_t n : {size_t{1}, size_t{2}, size_t{7}, size_t{63}, size_t{64}, size_t{200},
                         size_t{1000}}) {
            for (int round = 0; round < 6; ++round) {
                std::vector<T> v(n * 3 + 2);
                for (auto& x : v) {
                    if (rng() % 4 == 0) {
                        x = edges[rng() % edges.size()];
                    } else if constexpr (std::is_integral_v<T>) {
                        x = static_cast<T>(rng());
                    } else {
                        x = static_cast<T>(std::uniform_real_distribution<double>(-1e9, 1e9)(rng));
                    }
                }
                // Non-finite samples first, so that the local extremes cannot start from them.
                if constexpr (std::is_floating_point_v<T>) {
                    if (round == 1) v[0] = std::numeric_limits<T>::quiet_NaN();
                    if (round == 2) v[0] = std::numeric_limits<T>::infinity();
                }
                const std::vector<unsigned char> bytes = Store(v, swapped);
                const MinMaxPair start = round == 3 ? MinMaxPair{-5.0, 5.0} : Fresh();
                for (uint32_t stride : {1u, 3u}) {
                    for (uint32_t first : {0u, 1u}) {
                        MinMaxPair got = start;
                        scan(bytes.data(), static_cast<uint32_t>(n), first, stride, &got);
                        const MinMaxPair want = ReferenceScan(v, n, first, stride, start);
                        ASSERT_EQ(got.minimum, want.minimum)
                            << "type " << type << " n " << n << " stride " << stride;
                        ASSERT_EQ(got.maximum, want.maximum)
                            << "type " << type << " n " << n << " stride " << stride;
                    }
                }
            }
        }
    }
}

TEST(MinMaxScan, EveryTypeMatchesTheReference) {
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
}

// The contiguous 64-bit real scan has a packed loop for AVX2 and one for the baseline;
// both keep the sample order of the lanes, so even the zero that wins is the same.
TEST(MinMaxScan, PackedRealLoopsMatchTheReference) {
    for (bool baseline : {false, true}) {
        SCOPED_TRACE(baseline ? "baseline" : "default");
        kernel::ForceBaselineForTest(baseline);
        CheckScans<double>(kTypeF64);
        const MinMaxKernel scan = SelectMinMaxKernel(kTypeF64);
        // +0 in lane 0 before -0 in lane 1: the minimum stays +0, as one by one.
        std::vector<double> z(19, 1.0);
        z[0] = 0.0;
        z[1] = -0.0;
        z[18] = -0.0;
        MinMaxPair p = Fresh();
        scan(z.data(), 19, 0, 1, &p);
        EXPECT_EQ(p.minimum, 0.0);
        EXPECT_FALSE(std::signbit(p.minimum));
        z[0] = -0.0;
        z[1] = 0.0;
        p = Fresh();
        scan(z.data(), 19, 0, 1, &p);
        EXPECT_TRUE(std::signbit(p.minimum));
    }
    kernel::ForceBaselineForTest(false);
}

MinMaxPair ScanF64(std::vector<double> v, uint32_t first = 0, uint32_t stride = 1,
                   MinMaxPair pair = Fresh(), uint32_t count = 0xFFFFFFFF) {
    if (count == 0xFFFFFFFF) count = static_cast<uint32_t>((v.size() - first + stride - 1) / stride);
    SelectMinMaxKernel(kTypeF64)(v.data(), count, first, stride, &pair);
    return pair;
}

TEST(MinMaxScan, NonFiniteSamplesAreSkipped) {
    MinMaxPair p = ScanF64({3.0, kNaN, -2.0});
    EXPECT_EQ(p.minimum, -2.0);
    EXPECT_EQ(p.maximum, 3.0);
    p = ScanF64({kNaN, 4.0, -7.0, 1.0});
    EXPECT_EQ(p.minimum, -7.0);
    EXPECT_EQ(p.maximum, 4.0);
    p = ScanF64({1.0, kInf, 2.0});
    EXPECT_EQ(p.minimum, 1.0);
    EXPECT_EQ(p.maximum, 2.0);
    p = ScanF64({-kInf, 0.5});
    EXPECT_EQ(p.minimum, 0.5);
    EXPECT_EQ(p.maximum, 0.5);
    p = ScanF64({kInf});
    EXPECT_EQ(p.minimum, DBL_MAX);
    EXPECT_EQ(p.maximum, -DBL_MAX);
    p = ScanF64({kNaN, kInf, -kInf});
    EXPECT_EQ(p.minimum, DBL_MAX);
    EXPECT_EQ(p.maximum, -DBL_MAX);
    // The largest finite values are values like any other.
    p = ScanF64({-DBL_MAX, DBL_MAX});
    EXPECT_EQ(p.minimum, -DBL_MAX);
    EXPECT_EQ(p.maximum, DBL_MAX);
}

TEST(MinMaxScan, CountStrideAndEarlierPair) {
    MinMaxPair p = ScanF64({1.0, 2.0}, 0, 1, MinMaxPair{-1.0, 1.5}, 0);
    EXPECT_EQ(p.minimum, -1.0);
    EXPECT_EQ(p.maximum, 1.5);
    // Stride 3 from index 1 reads 1, 4, 7.
    p = ScanF64({100, 5, 100, 100, 9, 100, 100, -3, 100}, 1, 3);
    EXPECT_EQ(p.minimum, -3.0);
    EXPECT_EQ(p.maximum, 9.0);
    p = ScanF64({4.0, 6.0}, 0, 1, MinMaxPair{5.0, 5.0});
    EXPECT_EQ(p.minimum, 4.0);
    EXPECT_EQ(p.maximum, 6.0);
    const uint64_t big[2] = {UINT64_MAX, 3};
    p = Fresh();
    SelectMinMaxKernel(kTypeU64)(big, 2, 0, 1, &p);
    EXPECT_EQ(p.maximum, 18446744073709551616.0);
    EXPECT_EQ(p.minimum, 3.0);
    const uint16_t be[2] = {0x0100, 0x0200};  // 1 and 2 stored big-endian
    p = Fresh();
    SelectMinMaxKernel(kTypeU16 | kElemSwapped, true)(be, 2, 0, 1, &p);
    EXPECT_EQ(p.minimum, 1.0);
    EXPECT_EQ(p.maximum, 2.0);
    p = Fresh();
    SelectMinMaxKernel(kTypeU16 | kElemSwapped)(be, 2, 0, 1, &p);  // machine order
    EXPECT_EQ(p.minimum, 256.0);
}

TEST(MinMaxScan, Selection) {
    EXPECT_EQ(SelectMinMaxKernel(kElemInt24), nullptr);
    EXPECT_EQ(SelectMinMaxKernel(0), nullptr);
    EXPECT_EQ(SelectMinMaxKernel(kTypeF64 | kElemInt16), SelectMinMaxKernel(kTypeF64));
    EXPECT_EQ(SelectMinMaxKernel(kTypeI16 | kElemSwapped), SelectMinMaxKernel(kTypeI16));
    EXPECT_NE(SelectMinMaxKernel(kTypeU16), SelectMinMaxKernel(kTypeI16));
    const int8_t s8[1] = {-1};
    MinMaxPair p = Fresh();
    SelectMinMaxKernel(kTypeI8)(s8, 1, 0, 1, &p);
    EXPECT_EQ(p.minimum, -1.0);
    p = Fresh();
    SelectMinMaxKernel(kTypeU8)(s8, 1, 0, 1, &p);
    EXPECT_EQ(p.minimum, 255.0);
}

// ---- 64-bit real accumulator ----------------------------------------------------------------

DataInfo Start(double factor) {
    DataInfo d;
    d.minimum = DBL_MAX;
    d.maximum = -DBL_MAX;
    DataInfoFactor(d) = factor;
    return d;
}

TEST(InfoKernelReal64, KnownRecords) {
    DataInfo d = Start(0.5);
    const double a[] = {1.5, -DBL_MAX, 2.0};
    InfoKernelReal64(a, 3, &d);
    EXPECT_EQ(d.count, 2);
    EXPECT_EQ(d.minimum, 1.5);
    EXPECT_EQ(d.maximum, 2.0);
    EXPECT_EQ(d.sum, 1.75);
    EXPECT_EQ(d.sumSquares, 1.5625);
    EXPECT_EQ(d.sampleType.type, 0x10u);

    d = Start(1.0);
    const double b[] = {-1.5};
    InfoKernelReal64(b, 1, &d);
    EXPECT_EQ(d.sampleType.type, 0x10u);
    d = Start(1.0);
    const double c[] = {-3.0, 7.0};
    InfoKernelReal64(c, 2, &d);
    EXPECT_EQ(d.sampleType.type, 0u);
    EXPECT_EQ(d.sum, 4.0);
    EXPECT_EQ(d.sumSquares, 58.0);
    const double e[] = {0.1, 0.5};
    InfoKernelReal64(e, 2, &d);
    EXPECT_EQ(d.sampleType.type, 0x40u);
    // Once a 64-bit real is needed the record stays there.
    InfoKernelReal64(c, 2, &d);
    EXPECT_EQ(d.sampleType.type, 0x40u);
    EXPECT_EQ(d.count, 6);
    // A fraction too small for a 32-bit real needs a 64-bit one.
    d = Start(1.0);
    const double tinyFraction[] = {1.5 * std::ldexp(1.0, -200)};
    InfoKernelReal64(tinyFraction, 1, &d);
    EXPECT_EQ(d.sampleType.type, 0x40u);
    // Denormals lie within DBL_MIN of zero: whole.
    d = Start(1.0);
    const double den[] = {std::numeric_limits<double>::denorm_min(), 4.0};
    InfoKernelReal64(den, 2, &d);
    EXPECT_EQ(d.sampleType.type, 0u);
    // Large whole numbers.
    const double whole[] = {9007199254740993.0, 18446744073709551616.0, -9223372036854775808.0};
    d = Start(1.0);
    InfoKernelReal64(whole, 3, &d);
    EXPECT_EQ(d.sampleType.type, 0u);
}

TEST(InfoKernelReal64, MissingAndNonFiniteValues) {
    DataInfo d = Start(1.0);
    const double missing[] = {-DBL_MAX, -DBL_MAX};
    InfoKernelReal64(missing, 2, &d);
    EXPECT_EQ(d.count, 0);
    EXPECT_EQ(d.minimum, DBL_MAX);
    EXPECT_EQ(d.maximum, -DBL_MAX);
    EXPECT_EQ(d.sum, 0.0);
    EXPECT_EQ(d.sumSquares, 0.0);
    // A NaN or an infinity among the values drops neither the others' sum nor the extremes.
    const double mixed[] = {kNaN, 2.0, kInf, -4.0, -kInf};
    InfoKernelReal64(mixed, 5, &d);
    EXPECT_EQ(d.count, 2);
    EXPECT_EQ(d.sum, -2.0);
    EXPECT_EQ(d.sumSquares, 20.0);
    EXPECT_EQ(d.minimum, -4.0);
    EXPECT_EQ(d.maximum, 2.0);
    InfoKernelReal64(mixed, 0, &d);
    InfoKernelReal64(mixed, -3, &d);
    EXPECT_EQ(d.count, 2);
}

TEST(InfoKernelReal64, SaturationAndTinyValues) {
    DataInfo d = Start(1.0);
    const double big[] = {1.0, 2e154, 3.0};
    InfoKernelReal64(big, 3, &d);
    EXPECT_EQ(d.sumSquares, DBL_MAX);
    EXPECT_EQ(d.sum, 2e154 + 4.0);
    const double more[] = {5.0};
    InfoKernelReal64(more, 1, &d);
    EXPECT_EQ(d.sumSquares, DBL_MAX);
    // Squares that together pass DBL_MAX.
    d = Start(1.0);
    const double many[] = {1e154, 1e154};
    InfoKernelReal64(many, 2, &d);
    EXPECT_EQ(d.sumSquares, DBL_MAX);
    // Values whose product with the factor would underflow are counted in units of DBL_MIN.
    d = Start(1e-10);
    const double tiny[] = {1e-300, 1e-300, -1e-300};
    InfoKernelReal64(tiny, 3, &d);
    EXPECT_EQ(d.count, 3);
    EXPECT_EQ(d.sum, DBL_MIN);
    EXPECT_EQ(d.sumSquares, 0.0);
}

TEST(InfoKernelReal64, RandomRunsMatchTheReference) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(-1000.0, 1000.0);
    for (int round = 0; round < 20; ++round) {
        const size_t n = 1 + rng() % 5000;
        std::vector<double> v(n);
        for (auto& x : v) {
            const uint64_t k = rng() % 20;
            x = k == 0 ? -DBL_MAX : k == 1 ? kNaN : k < 10 ? std::round(u(rng)) : u(rng);
        }
        const double factor = 1.0 / static_cast<double>(n);
        DataInfo d = Start(factor);
        InfoKernelReal64(v.data(), static_cast<int32_t>(n), &d);
        double lo = DBL_MAX, hi = -DBL_MAX, sum = 0.0, sq = 0.0;
        int64_t count = 0;
        for (double x : v) {
            if (x == -DBL_MAX || std::isnan(x)) continue;
            ++count;
            lo = std::min(lo, x);
            hi = std::max(hi, x);
            sum += x * factor;
            sq += (x * factor) * (x * factor);
        }
        EXPECT_EQ(d.count, count);
        EXPECT_EQ(d.minimum, lo);
        EXPECT_EQ(d.maximum, hi);
        EXPECT_NEAR(d.sum, sum, 1e-12 * 1000.0);
        EXPECT_NEAR(d.sumSquares, sq, 1e-12 * sq);
    }
}

// Long runs go through chunks folded in packed lanes, falling back value by value for a
// chunk with a missing, non-finite, tiny or huge value, or a fraction the type test must
// look at. Every layout below must give the record of the value-by-value rules (sums to
// rounding), on the AVX2 and on the baseline loops.
TEST(InfoKernelReal64, ChunkedRunsMatchTheRules) {
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
    for (bool baseline : {false, true}) {
        kernel::ForceBaselineForTest(baseline);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (baseline ? " (baseline)" : ""));
            std::mt19937_64 rng(5);
            const size_t n = 5003;
            std::vector<double> v(n);
            for (size_t i = 0; i < n; ++i) v[i] = c.make(i, rng);
            DataInfo d;
            DataInfoStart(&d, n);
            const double factor = DataInfoFactor(d);
            InfoKernelReal64(v.data(), static_cast<int32_t>(n), &d);
            const double tiny = DBL_MIN / factor;
            double lo = DBL_MAX, hi = -DBL_MAX, sum = 0.0, sq = 0.0, scale = 0.0;
            int64_t count = 0, small = 0;
            for (double x : v) {
                if (x == -DBL_MAX || !std::isfinite(x)) continue;
                ++count;
                lo = std::min(lo, x);
                hi = std::max(hi, x);
                if (std::fabs(x) <= tiny) {
                    small += x > 0 ? 1 : -1;
                    continue;
                }
                sum += x * factor;
                sq += (x * factor) * (x * factor);
                scale += std::fabs(x * factor);
            }
            EXPECT_EQ(d.count, count);
            EXPECT_EQ(d.minimum, lo);
            EXPECT_EQ(d.maximum, hi);
            EXPECT_EQ(d.sampleType.type, c.type);
            // Either order of n additions stays within n ulps of the magnitudes' sum.
            const double bound = static_cast<double>(n) * DBL_EPSILON;
            EXPECT_NEAR(d.sum, sum + double(small) * DBL_MIN, bound * scale);
            if (sq >= DBL_MAX) {
                EXPECT_EQ(d.sumSquares, DBL_MAX);
            } else {
                EXPECT_NEAR(d.sumSquares, sq, bound * sq);
            }
        }
    }
    kernel::ForceBaselineForTest(false);
    // Squares that overflow saturate.
    std::vector<double> big(3000, 1.0);
    big[2000] = 1e160;
    DataInfo d;
    DataInfoStart(&d, 1);
    InfoKernelReal64(big.data(), 3000, &d);
    EXPECT_EQ(d.sumSquares, DBL_MAX);
    EXPECT_EQ(d.count, 3000);
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

TEST(DualAccumulators, SignedAndUnsignedReadings) {
    InfoKernelChoice choice;
    ASSERT_TRUE(DConvInfoSelect(&choice, kTypeU8));
    DualDataInfo d;
    d.signedMinimum = d.unsignedMinimum = DBL_MAX;
    d.signedMaximum = d.unsignedMaximum = -DBL_MAX;
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
    DualDataInfo s;
    s.swap = 1;
    s.signedMinimum = s.unsignedMinimum = DBL_MAX;
    s.signedMaximum = s.unsignedMaximum = -DBL_MAX;
    const unsigned char w[] = {0x80, 0x01};
    choice.kernel(w, 1, &s);
    EXPECT_EQ(s.signedMinimum, -32767.0);
    EXPECT_EQ(s.unsignedMaximum, 32769.0);

    const uint64_t q[] = {UINT64_MAX};
    ASSERT_TRUE(DConvInfoSelect(&choice, kTypeI64));
    DualDataInfo e;
    choice.kernel(q, 1, &e);
    EXPECT_EQ(e.signedMinimum, -1.0);
    EXPECT_EQ(e.unsignedMaximum, 18446744073709551616.0);
    EXPECT_EQ(e.unsignedSum, 18446744073709551616.0);
}

std::string LogPath() {
    static std::string path = [] {
        char tmpl[] = "/tmp/orva_minmax_logXXXXXX";
        const int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        return std::string(tmpl);
    }();
    return path;
}

FILE* OpenTestLog() { return std::fopen(LogPath().c_str(), "w"); }

TEST(DualAccumulators, Selection) {
    LogResetForTest();
    LogSetOpener(OpenTestLog);
    InfoKernelChoice choice;
    EXPECT_FALSE(DConvInfoSelect(&choice, kTypeF32));
    EXPECT_EQ(choice.kernel, nullptr);
    EXPECT_TRUE(DConvInfoSelect(&choice, kTypeI32 | kElemSwapped));
    EXPECT_EQ(choice.key, kTypeI32);
    EXPECT_TRUE(DConvInfoSelect(&choice, kTypeI32));  // the same key again
    EXPECT_FALSE(DConvInfoSelect(&choice, kTypeF64));
    EXPECT_EQ(choice.key, 0u);
    EXPECT_FALSE(DConvInfoSelect(&choice, kElemSwapped));  // no key: quiet
    LogPrintf(nullptr);
    LogResetForTest();
    std::ifstream in(LogPath());
    std::stringstream text;
    text << in.rdbuf();
    const std::string log = text.str();
    size_t lines = 0;
    for (size_t at = log.find("DConvInfoSelect(): unkn. types..."); at != std::string::npos;
         at = log.find("DConvInfoSelect(): unkn. types...", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 2u);
    std::remove(LogPath().c_str());
}

}  // namespace
}  // namespace orva
