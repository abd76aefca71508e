// The conversion kernel matrix against the scalar reference, the selection of
// kernels, and hand-computed cases.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "data/convert_kernels.h"
#include "data/dconv.h"
#include "data/kernel_test_support.h"
#include "data/reference_convert.h"

namespace orva {
namespace {

// Candidate values near every bound that matters; each type keeps those it can hold.
std::vector<long double> BoundaryIntegers() {
    std::vector<long double> v = {0, 1, -1, 2, -2, 100, -100};
    const long double edges[] = {127, 128, 255, 256, 32767, 32768, 65535, 65536, 2147483647.0L,
                                 2147483648.0L, 4294967295.0L, 4294967296.0L, 9007199254740991.0L,
                                 9007199254740992.0L, 9007199254740993.0L, 9223372036854775807.0L,
                                 9223372036854775808.0L, 18446744073709549568.0L,
                                 18446744073709551615.0L, 16777215, 16777216, 16777217};
    for (long double e : edges) {
        for (long double d : {-1.0L, 0.0L, 1.0L}) {
            v.push_back(e + d);
            v.push_back(-(e + d));
        }
    }
    return v;
}

std::vector<double> BoundaryReals() {
    std::vector<double> v = {0.0, -0.0, 0.5, -0.5, 0.49999999999999994, -0.49999999999999994,
                             0.9, 0.99, 1.0, -1.0, 1.5, -1.5, 2.5, -2.5, 2.9, -2.9,
                             std::numeric_limits<double>::denorm_min(),
                             -std::numeric_limits<double>::denorm_min(), 1e-310, -1e-310, DBL_MIN,
                             -DBL_MIN, static_cast<double>(FLT_MIN) / 4, -static_cast<double>(FLT_MIN) / 4,
                             static_cast<double>(FLT_MIN), HUGE_VAL, -HUGE_VAL,
                             std::numeric_limits<double>::quiet_NaN(),
                             -std::numeric_limits<double>::quiet_NaN(), DBL_MAX, -DBL_MAX,
                             static_cast<double>(FLT_MAX), -static_cast<double>(FLT_MAX),
                             std::nextafter(static_cast<double>(FLT_MAX), HUGE_VAL), 3e38, 3.5e38,
                             -3.5e38, 1e19, -1e19, 1e20, -1e20, 1e300, -1e300, 0x1p53 - 1, 0x1p53,
                             0x1p53 + 2, 0x1p63, -0x1p63, 0x1p63 - 1024, -0x1p63 - 2048, 0x1p64,
                             0x1p64 - 2048, 0x1p64 + 4096, 2e7, 16777215.0, 16777217.0};
    const double bounds[] = {128, 256, 32768, 65536, 2147483648.0, 4294967296.0};
    for (double b : bounds) {
        for (double d : {-1.5, -1.0, -0.5, -0.25, 0.0, 0.25, 0.5}) {
            v.push_back(b + d);
            v.push_back(-(b + d));
        }
    }
    return v;
}

// Test inputs of a plain type as native bytes: boundaries, then random values.
std::vector<unsigned char> MakeInputs(ElementType t, std::mt19937_64& rng, int randomCount) {
    const ref::TypeInfo info = ref::Info(t);
    std::vector<unsigned char> out;
    auto push = [&](const void* p) {
        const auto* b = static_cast<const unsigned char*>(p);
        out.insert(out.end(), b, b + info.size);
    };
    if (info.real) {
        for (double d : BoundaryReals()) {
            if (t == kTypeF64) {
                push(&d);
            } else if (!(std::fabs(d) > FLT_MAX) || std::isinf(d) || std::isnan(d)) {
                const float f = static_cast<float>(d);
                push(&f);
            }
        }
        if (t == kTypeF32) {
            const float extra[] = {std::numeric_limits<float>::denorm_min(), -1e-40f, FLT_MAX, -FLT_MAX,
                                   16777216.0f, 2e10f, -2e10f, 1e10f};
            for (float f : extra) push(&f);
        }
    } else {
        for (long double v : BoundaryIntegers()) {
            if (v < info.min || v > info.max) continue;
            unsigned char b[8];
            ref::PutInteger(b, t, v);
            out.insert(out.end(), b, b + info.size);
        }
    }
    std::uniform_int_distribution<int> exponent(-20, 70);
    for (int k = 0; k < randomCount; ++k) {
        if (info.real && (k & 1)) {
            // Random magnitudes across the integer ranges, with random fractions.
            const double d = std::ldexp(std::generate_canonical<double, 64>(rng), exponent(rng)) *
                             ((rng() & 1) ? -1.0 : 1.0);
            if (t == kTypeF64) push(&d);
            else {
                const float f = static_cast<float>(d);
                push(&f);
            }
        } else {
            const uint64_t bits = rng();
            push(&bits);  // random bit patterns, including NaNs and denormals for reals
        }
    }
    return out;
}

struct ScaleCase {
    double scale, zero;
};

const ScaleCase kScales[] = {{1.0, 0.0},     {1.0000001, 0.0}, {2.0, 0.5},   {-1.0, 0.0},
                             {0.5, -3.25},   {1e300, 0.0},     {1.0, 1e-300}, {3.0, 7.9},
                             {-3e-5, 1e10},  {1.0, std::numeric_limits<double>::quiet_NaN()}};

// One run of CheckKernel with the results `at` bytes into a buffer.
int CheckKernelAt(DConvKernel kernel, const std::vector<unsigned char>& stored, ElementType inType,
                  ElementType outType, bool scaled, const ScaleZero& p, size_t at) {
    const int inSize = ref::Info(inType).size, outSize = ref::Info(outType).size;
    const int n = static_cast<int>(stored.size() / inSize);
    std::vector<unsigned char> src(stored.size() + 1), dst(static_cast<size_t>(n) * outSize + at + 16, 0xAB);
    std::memcpy(src.data() + 1, stored.data(), stored.size());
    kernel(src.data() + 1, dst.data() + at, n, p);
    int bad = 0;
    for (int i = 0; i < n; ++i) {
        unsigned char want[8];
        ref::ConvertElement(stored.data() + static_cast<size_t>(i) * inSize, inType, want, outType, scaled, p);
        const unsigned char* got = dst.data() + at + static_cast<size_t>(i) * outSize;
        if (!ref::SameElement(got, want, outType) && ++bad <= 3)
            ADD_FAILURE() << std::hex << "in 0x" << inType << " out 0x" << outType << std::dec
                          << (scaled ? " scaled" : " plain") << " special " << int(p.specialValues) << " scale "
                          << p.scale << " zero " << p.zero << " at " << at << ": element " << i << " got "
                          << static_cast<double>(ref::ValueOf(got, outType)) << " want "
                          << static_cast<double>(ref::ValueOf(want, outType));
    }
    // Nothing is written past the last element.
    for (size_t k = static_cast<size_t>(n) * outSize + at; k < dst.size(); ++k) EXPECT_EQ(dst[k], 0xAB);
    for (size_t k = 0; k < at; ++k) EXPECT_EQ(dst[k], 0xAB);
    return bad;
}

// Runs a kernel on inputs (stored at an odd address) and compares every element
// with the reference, with the results at an odd address and at one off a 32-byte
// boundary by a whole element (where the streaming loops start after a few elements).
// Returns the number of mismatches (reports the first few).
int CheckKernel(DConvKernel kernel, const std::vector<unsigned char>& stored, ElementType inType,
                ElementType outType, bool scaled, const ScaleZero& p) {
    int bad = 0;
    for (size_t at : {size_t{1}, size_t{8}}) bad += CheckKernelAt(kernel, stored, inType, outType, scaled, p, at);
    return bad;
}

// Every kernel of every table, on the AVX2 loops (where the processor has them) and on
// the baseline loops that run on processors without AVX2.
TEST(ConvertMatrix, EveryKernelMatchesTheReference) {
    testing_data::OnBothKernelPaths([] {
        std::mt19937_64 rng(20240611);
        int checked = 0;
        for (int o = 0; o < kConvertOutputs; ++o) {
            const ElementType outType = kPlainTypes[o];
            for (int sw = 0; sw < 2; ++sw) {
                const DConvRow* table = kConvertTables[o][sw];
                ASSERT_EQ(table[0].input, 0u);
                ASSERT_EQ(table[11].input, 0u);
                for (int r = 1; r <= 10; ++r) {
                    const ElementType inType = table[r].input;
                    const ElementType plainIn = inType & ~kElemSwapped;
                    const int size = ref::Info(plainIn).size;
                    ASSERT_EQ(inType, (sw ? kElemSwapped : 0u) | plainIn);
                    if (sw && size == 1) {  // swapped 8-bit rows hold the native kernels
                        EXPECT_EQ(plainIn, kConvertTables[o][0][r].input);
                        EXPECT_EQ(table[r].plain, kConvertTables[o][0][r].plain);
                        EXPECT_EQ(table[r].scaled, kConvertTables[o][0][r].scaled);
                        continue;
                    }
                    const std::vector<unsigned char> native = MakeInputs(plainIn, rng, 301);
                    const std::vector<unsigned char> stored =
                        sw ? testing_data::ReversedEach(native, 0, native.size() / size, size) : native;
                    for (uint8_t special : {0, 1}) {
                        ScaleZero p{.specialValues = special};
                        EXPECT_EQ(CheckKernel(table[r].plain, stored, inType, outType, false, p), 0);
                        for (const ScaleCase& s : kScales) {
                            p.scale = s.scale;
                            p.zero = s.zero;
                            EXPECT_EQ(CheckKernel(table[r].scaled, stored, inType, outType, true, p), 0);
                            ++checked;
                        }
                    }
                }
            }
        }
        EXPECT_EQ(checked, 10 * 18 * 2 * static_cast<int>(std::size(kScales)));
    });
}

// The conversions into integers of up to 32 bits run sixteen elements a step, the rest one
// by one; large results start streaming after a few elements and are made in four
// quarters at once, a line of results from each in turn: runs of every length up to three
// steps and runs of several hundred, with the results at every offset in elements from a
// 16-byte boundary, and the boundary values rotated through every lane. The factors leave the missing mark as it
// is (-1, 0) or let it saturate by itself (2, 0.5); NaN zero makes every value NaN.
TEST(ConvertMatrix, NarrowingRunsOfEveryLengthAndStart) {
    const ElementType outputs[] = {kTypeI8, kTypeU8, kTypeI16, kTypeU16, kTypeI32};
    const ElementType inputs[] = {kTypeF64, kTypeF32, kTypeI16 | kElemSwapped, kTypeU32};
    const ScaleCase factors[] = {{1.0, 0.0}, {2.0, 0.5}, {-1.0, 0.0}, {1.0, std::numeric_limits<double>::quiet_NaN()}};
    testing_data::OnBothKernelPaths([&] {
        std::mt19937_64 rng(7);
        for (ElementType in : inputs) {
            const int size = ref::Info(in).size;
            std::vector<unsigned char> values = MakeInputs(in & ~kElemSwapped, rng, 400);
            if (in & kElemSwapped) values = testing_data::ReversedEach(values, 0, values.size() / size, size);
            for (ElementType out : outputs) {
                for (const ScaleCase& f : factors) {
                    const bool scaled = f.scale != 1.0 || f.zero != 0.0;
                    if (!scaled && !ref::Info(in).real) continue;  // plain integer pairs do not pass a double
                    DConv d;
                    ScaleZero p{.scale = f.scale, .zero = f.zero};
                    DConvSelectIn(d, p, in, out);
                    ASSERT_NE(d.kernel, nullptr);
                    const size_t all = values.size() / size;
                    for (size_t count = 1; count <= all; count = count < 48 ? count + 1 : count + all / 4 - 7) {
                        // The boundary values come first in `values`; each run starts later in it.
                        const size_t from = (count * 5) % (values.size() / size - count + 1);
                        const std::vector<unsigned char> run(values.begin() + from * size,
                                                             values.begin() + (from + count) * size);
                        for (size_t at = 0; at < 16; at += ref::Info(out).size)
                            EXPECT_EQ(CheckKernelAt(d.kernel, run, in, out, scaled, p, at), 0) << count;
                    }
                }
            }
        }
    });
}

// Selects and runs one conversion of a single element.
template <class In, class Out>
Out Convert1(In x, ElementType in, ElementType out, double scale = 1.0, double zero = 0.0, uint8_t special = 0) {
    DConv d;
    ScaleZero p{.scale = scale, .zero = zero, .specialValues = special};
    DConvSelectIn(d, p, in, out);
    EXPECT_NE(d.inputType, 0u);
    EXPECT_NE(d.outputType, 0u);
    Out y{};
    d.kernel(&x, &y, 1, p);
    return y;
}

TEST(ConvertKernels, HandComputedCases) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Same-width unsigned to signed saturates like every other pair.
    EXPECT_EQ((Convert1<uint16_t, int16_t>(40000, kTypeU16, kTypeI16)), 32767);
    EXPECT_EQ((Convert1<uint16_t, int16_t>(40000, kTypeU16, kTypeI16, 1.0000001)), 32767);
    EXPECT_EQ((Convert1<uint8_t, int8_t>(200, kTypeU8, kTypeI8)), 127);
    EXPECT_EQ((Convert1<uint64_t, int64_t>(0xFFFFFFFFFFFFFFFFull, kTypeU64, kTypeI64)), INT64_MAX);
    EXPECT_EQ((Convert1<int16_t, uint16_t>(-5, kTypeI16, kTypeU16)), 0);
    EXPECT_EQ((Convert1<uint32_t, int16_t>(70000, kTypeU32, kTypeI16)), 32767);
    EXPECT_EQ((Convert1<int64_t, uint64_t>(-1, kTypeI64, kTypeU64)), 0u);
    // Truncation toward zero after scaling.
    EXPECT_EQ((Convert1<double, int8_t>(2.9, kTypeF64, kTypeI8, 1.0, 0.5)), 3);
    EXPECT_EQ((Convert1<double, int8_t>(-2.9, kTypeF64, kTypeI8, 1.0, -0.5)), -3);
    // NaN and the special-values flag.
    EXPECT_EQ((Convert1<double, int32_t>(nan, kTypeF64, kTypeI32)), 0);
    EXPECT_EQ((Convert1<float, int32_t>(std::numeric_limits<float>::quiet_NaN(), kTypeF32, kTypeI32, 1, 0, 1)),
              INT32_MAX);
    EXPECT_EQ((Convert1<double, int32_t>(nan, kTypeF64, kTypeI32, 1, 0, 1)), 0);
    EXPECT_EQ((Convert1<float, int16_t>(1e-40f, kTypeF32, kTypeI16, 3.0, 7.9, 1)), 7);
    // The "no value" mark becomes the lowest value of the output.
    EXPECT_EQ((Convert1<double, uint8_t>(-DBL_MAX, kTypeF64, kTypeU8, 2.0, 100.0)), 0);
    EXPECT_EQ((Convert1<double, float>(-DBL_MAX, kTypeF64, kTypeF32, 2.0, 100.0)), -FLT_MAX);
    EXPECT_EQ((Convert1<double, double>(-DBL_MAX, kTypeF64, kTypeF64, 2.0, 100.0)), -DBL_MAX);
    EXPECT_EQ((Convert1<double, int64_t>(-DBL_MAX, kTypeF64, kTypeI64, 2.0, 100.0)), INT64_MIN);
    // A scaled result that overflows the double range.
    EXPECT_EQ((Convert1<double, double>(1e300, kTypeF64, kTypeF64, 1e10)), DBL_MAX);
    EXPECT_EQ((Convert1<double, double>(-1e300, kTypeF64, kTypeF64, 1e10)), -DBL_MAX);
    // Unsigned 64-bit output is exact up to its maximum and saturates; NaN gives 0.
    EXPECT_EQ((Convert1<double, uint64_t>(0x1p53, kTypeF64, kTypeU64)), 9007199254740992ull);
    EXPECT_EQ((Convert1<double, uint64_t>(0x1p63 + 4096, kTypeF64, kTypeU64)), 0x8000000000001000ull);
    EXPECT_EQ((Convert1<double, uint64_t>(1e20, kTypeF64, kTypeU64)), UINT64_MAX);
    EXPECT_EQ((Convert1<double, uint64_t>(0.99, kTypeF64, kTypeU64)), 0u);
    EXPECT_EQ((Convert1<double, uint64_t>(nan, kTypeF64, kTypeU64)), 0u);
    EXPECT_EQ((Convert1<float, uint64_t>(2e7f, kTypeF32, kTypeU64)), 20000000u);
    EXPECT_EQ((Convert1<float, uint64_t>(16777215.0f, kTypeF32, kTypeU64)), 16777215u);
    // Signed 64-bit output saturates by sign; NaN gives 0.
    EXPECT_EQ((Convert1<double, int64_t>(1e19, kTypeF64, kTypeI64)), INT64_MAX);
    EXPECT_EQ((Convert1<double, int64_t>(-1e19, kTypeF64, kTypeI64)), INT64_MIN);
    EXPECT_EQ((Convert1<double, int64_t>(nan, kTypeF64, kTypeI64)), 0);
    EXPECT_EQ((Convert1<double, int64_t>(-0x1p63, kTypeF64, kTypeI64)), INT64_MIN);
    // Scaled u64 to i64 reads the input as unsigned (then saturates).
    EXPECT_EQ((Convert1<uint64_t, int64_t>(0xFFFFFFFFFFFFF800ull, kTypeU64, kTypeI64, 2.0, 0.5)), INT64_MAX);
    EXPECT_EQ((Convert1<uint64_t, int64_t>(0x8000000000000000ull, kTypeU64, kTypeI64, 0.5, 0.0)),
              0x4000000000000000ll);
    // Reals to 32-bit integers.
    EXPECT_EQ((Convert1<float, int32_t>(1e10f, kTypeF32, kTypeI32)), INT32_MAX);
    EXPECT_EQ((Convert1<float, uint32_t>(1e10f, kTypeF32, kTypeU32)), UINT32_MAX);
    EXPECT_EQ((Convert1<float, int32_t>(INFINITY, kTypeF32, kTypeI32)), INT32_MAX);
    EXPECT_EQ((Convert1<double, uint32_t>(3000000000.7, kTypeF64, kTypeU32)), 3000000000u);
    // Big-endian input read directly.
    const unsigned char be[4] = {0x00, 0x00, 0x01, 0x00};
    int32_t beValue;
    std::memcpy(&beValue, be, 4);
    EXPECT_EQ((Convert1<int32_t, double>(beValue, kTypeI32 | kElemSwapped, kTypeF64)), 256.0);
    // Nearest float of a 64-bit integer, with a single rounding.
    EXPECT_EQ((Convert1<uint64_t, float>(0x8000008000000001ull, kTypeU64, kTypeF32)), 0x1.000002p63f);
}

TEST(ConvertKernels, DefaultAndEmptyKernels) {
    for (ElementType t : kPlainTypes) {
        const int size = ref::Info(t).size;
        std::vector<unsigned char> buf(static_cast<size_t>(size) * 4, 0xCD), want(size);
        ConvertDefaultKernel(t)(nullptr, buf.data(), 3, ScaleZero{});
        const unsigned char one = 1;
        ref::ConvertElement(&one, kTypeU8, want.data(), t, false, ScaleZero{});  // 1 as t
        for (int i = 0; i < 3; ++i) EXPECT_EQ(std::memcmp(buf.data() + i * size, want.data(), size), 0) << t;
        EXPECT_EQ(buf[3 * size], 0xCD);
        ConvertDefaultKernel(t)(nullptr, buf.data() + 3 * size, 0, ScaleZero{});
        ConvertDefaultKernel(t)(nullptr, buf.data() + 3 * size, -5, ScaleZero{});
        EXPECT_EQ(buf[3 * size], 0xCD);
    }
    // Counts of zero or less convert nothing.
    int16_t in[2] = {5, 6};
    double out[2] = {-7, -7};
    ScaleZero p;
    kConvertTables[0][0][3].plain(in, out, 0, p);
    kConvertTables[0][0][3].scaled(in, out, -1, p);
    EXPECT_EQ(out[0], -7);
}

}  // namespace
}  // namespace orva
