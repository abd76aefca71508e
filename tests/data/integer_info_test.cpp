#include "data/integer_info.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "data/kernel_test_support.h"
#include "data/minmax.h"

namespace orva {
namespace {

using testing_data::OnBothKernelPaths;

// Samples stored as the type says: `bytes` per sample, `stride` bytes apart, the first
// at offset 0, in the given byte order.
std::vector<uint8_t> Store(const std::vector<int64_t>& values, ElementType type, size_t stride) {
    const size_t bytes = ElementSize(type);
    std::vector<uint8_t> out(values.size() * stride + 8, 0xA5);
    for (size_t i = 0; i < values.size(); ++i) {
        const uint64_t v = static_cast<uint64_t>(values[i]);
        for (size_t b = 0; b < bytes; ++b) {
            const size_t at = (type & kElemSwapped) ? bytes - 1 - b : b;  // little-endian machine
            out[i * stride + at] = static_cast<uint8_t>(v >> (8 * b));
        }
    }
    return out;
}

struct Reference {
    double minimum, maximum, mean, deviation;
};

// Two passes in long double: the mean, then the sample standard deviation.
Reference Expected(const std::vector<int64_t>& v) {
    Reference r{1e300, -1e300, 0, 0};
    long double sum = 0;
    for (int64_t x : v) {
        r.minimum = std::min(r.minimum, static_cast<double>(x));
        r.maximum = std::max(r.maximum, static_cast<double>(x));
        sum += x;
    }
    const long double mean = sum / v.size();
    long double squares = 0;
    for (int64_t x : v) squares += (x - mean) * (x - mean);
    r.mean = static_cast<double>(mean);
    r.deviation = v.size() > 1 ? static_cast<double>(std::sqrt(squares / (v.size() - 1))) : 0.0;
    return r;
}

TEST(IntegerInfoTest, FoldsStoredSamplesAsTheRealAccumulatorFoldsTheirValues) {
    std::mt19937 rng(7);
    auto uniform = [&](int64_t lo, int64_t hi, size_t n) {
        std::vector<int64_t> v(n);
        std::uniform_int_distribution<int64_t> d(lo, hi);
        for (int64_t& x : v) x = d(rng);
        return v;
    };
    auto ramp = [](int64_t from, size_t n, int64_t period) {
        std::vector<int64_t> v(n);
        for (size_t i = 0; i < n; ++i) v[i] = from + static_cast<int64_t>(i) % period;
        return v;
    };
    struct Case {
        const char* what;
        ElementType type;
        size_t stride;
        std::vector<int64_t> values;
    };
    std::vector<int64_t> lowest(64, -32768);  // pairs of -32768 square to 2^31
    lowest[5] = 32767;
    std::vector<int64_t> longRun = uniform(0, 65535, 300001);  // past the 32-bit sums' flush
    longRun[123457] = 0;
    longRun[299999] = 65535;
    const std::vector<Case> cases = {
        {"i8 ramp", kElemInt8, 1, ramp(-128, 1000, 256)},
        {"u8 ramp", kElemInt8 | kElemUnsigned, 1, ramp(0, 4099, 256)},
        {"i16 lowest", kElemInt16, 2, lowest},
        {"i16 swapped", kElemInt16 | kElemSwapped, 2, uniform(-32768, 32767, 4097)},
        {"u16 swapped long", kElemInt16 | kElemUnsigned | kElemSwapped, 2, longRun},
        {"u16 high", kElemInt16 | kElemUnsigned, 2, uniform(60000, 65535, 333)},
        {"i16 second of three channels", kElemInt16 | kElemSwapped, 6, uniform(-300, 9000, 777)},
        {"u8 of four channels", kElemInt8 | kElemUnsigned, 4, uniform(0, 255, 100)},
        {"one value", kElemInt16, 2, {-7}},
        {"all equal", kElemInt16 | kElemUnsigned, 2, std::vector<int64_t>(50, 40000)},
        {"first value 0", kElemInt16, 2, {0, 3, -3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(IntegerInfoTakes(c.type));
        const std::vector<uint8_t> stored = Store(c.values, c.type, c.stride);
        const Reference want = Expected(c.values);
        OnBothKernelPaths([&] {
            // Folded in two calls, as the statistics pass folds piece by piece.
            IntegerInfo exact;
            const size_t half = c.values.size() / 2;
            IntegerInfoFold(stored.data(), half, c.stride, c.type, &exact);
            IntegerInfoFold(stored.data() + half * c.stride, c.values.size() - half, c.stride, c.type, &exact);
            DataInfo info;
            DataInfoStart(&info, c.values.size());
            IntegerInfoFinish(exact, &info);
            EXPECT_EQ(info.count, static_cast<int64_t>(c.values.size()));

            // The real accumulator over the same values as doubles.
            std::vector<double> reals(c.values.begin(), c.values.end());
            DataInfo real;
            DataInfoStart(&real, c.values.size());
            InfoKernelReal64(reals.data(), static_cast<int32_t>(reals.size()), &real);
            EXPECT_EQ(info.accumulatorReserved[1], real.accumulatorReserved[1]);  // the same shift
            EXPECT_EQ(info.sampleType.type, real.sampleType.type);

            ASSERT_TRUE(ChooseSampleType(&info, true));
            ASSERT_TRUE(ChooseSampleType(&real, true));
            EXPECT_EQ(info.minimum, want.minimum);
            EXPECT_EQ(info.maximum, want.maximum);
            EXPECT_NEAR(info.sum, want.mean, 1e-12 * std::max(1.0, std::fabs(want.mean)));
            EXPECT_NEAR(info.sumSquares, want.deviation, 1e-9 * std::max(1.0, want.deviation));
            EXPECT_EQ(std::pair(info.sampleType.type, info.sampleType.bits),
                      std::pair(real.sampleType.type, real.sampleType.bits));
            EXPECT_NEAR(info.total, real.total, 1e-9 * std::max(1.0, std::fabs(real.total)));
        });
    }
}

TEST(IntegerInfoTest, TakesOnlyEightAndSixteenBitIntegers) {
    for (ElementType t : {kElemInt8, kElemInt8 | kElemUnsigned, kElemInt16 | kElemSwapped,
                          kElemInt16 | kElemUnsigned | kElemSwapped})
        EXPECT_TRUE(IntegerInfoTakes(t)) << t;
    for (ElementType t : {kElemInt32, kElemInt64, kElemReal32, kElemReal64, kElemInt24, ElementType{0}})
        EXPECT_FALSE(IntegerInfoTakes(t)) << t;
    // Nothing folded from a type it does not take.
    IntegerInfo info;
    const int32_t v = 5;
    IntegerInfoFold(&v, 1, 4, kElemInt32, &info);
    EXPECT_EQ(info.count, 0u);
}

}  // namespace
}  // namespace orva
