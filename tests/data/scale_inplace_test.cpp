// In-place scaling and packing against the scalar reference and hand-computed cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "data/kernel_test_support.h"
#include "data/reference_convert.h"
#include "data/scale_inplace.h"

namespace orva {
namespace {

template <class T>
T Scale1(T x, ElementType t, int mode, double scale, double zero = 0.0) {
    ScaleZero p{.scale = scale, .zero = zero};
    ScaleInPlaceKernel k = ScaleInPlaceSelect(p, t, mode);
    EXPECT_NE(k, nullptr);
    if (k) k(&x, 1, p);
    return x;
}

TEST(ScaleInPlace, Selection) {
    const ScaleZero identity{.zero = -0.0};
    for (ElementType t : kPlainTypes)
        for (int mode : {0, 1, 2}) EXPECT_EQ(ScaleInPlaceSelect(identity, t, mode), nullptr);
    const ScaleZero p{.scale = 2.0};
    EXPECT_EQ(ScaleInPlaceSelect(p, 0x04, 0), nullptr);
    EXPECT_EQ(ScaleInPlaceSelect(p, kTypeI16 | kElemSwapped, 1), ScaleInPlaceSelect(p, kTypeI16, 1));
    EXPECT_NE(ScaleInPlaceSelect(p, kTypeI16, 1), ScaleInPlaceSelect(p, kTypeI16, 0));
    EXPECT_EQ(ScaleInPlaceSelect(p, kTypeF32, 1), ScaleInPlaceSelect(p, kTypeF32, 0));
    EXPECT_EQ(ScaleInPlaceSelectAlt(kTypeI32, 1), nullptr);
    EXPECT_EQ(ScaleInPlaceSelectAlt(kTypeF32, 0), nullptr);
    EXPECT_EQ(ScaleInPlaceSelectAlt(0x04, 0), nullptr);
    EXPECT_EQ(ScaleInPlaceSelectAlt(kTypeI32 | kElemSwapped, 0), ScaleInPlaceSelectAlt(kTypeI32, 2));
    EXPECT_NE(ScaleInPlaceSelectAlt(kTypeI32, 0), nullptr);
}

TEST(ScaleInPlace, HandComputedCases) {
    EXPECT_EQ(Scale1<int8_t>(100, kTypeI8, 1, 1.5), 127);
    EXPECT_EQ(Scale1<int8_t>(50, kTypeI8, 1, 1.01), 50);
    EXPECT_EQ(Scale1<int8_t>(50, kTypeI8, 0, 1.01), 51);
    EXPECT_EQ(Scale1<int16_t>(-3, kTypeI16, 1, 0.5), -1);
    EXPECT_EQ(Scale1<int16_t>(-3, kTypeI16, 0, 0.5), -2);
    EXPECT_EQ(Scale1<uint8_t>(1, kTypeU8, 1, 0.9), 0);
    EXPECT_EQ(Scale1<uint8_t>(1, kTypeU8, 0, 0.9), 1);
    // Just below one half rounds down (y + 0.5 would round up to 1).
    EXPECT_EQ(Scale1<int32_t>(1, kTypeI32, 0, 0.49999999999999994), 0);
    EXPECT_EQ(Scale1<int32_t>(-1, kTypeI32, 0, 0.49999999999999994), 0);
    EXPECT_EQ(Scale1<uint64_t>(0xC000000000000000ull, kTypeU64, 1, 1.0, 1.0), 0xC000000000000000ull);
    EXPECT_EQ(Scale1<uint64_t>(0xC000000000000000ull, kTypeU64, 0, 1.0, 1.0), 0xC000000000000000ull);
    // NaN gives 0 in every integer type.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Scale1<uint64_t>(5, kTypeU64, 0, nan), 0u);
    EXPECT_EQ(Scale1<uint64_t>(5, kTypeU64, 1, 1.0, nan), 0u);
    EXPECT_EQ(Scale1<int64_t>(5, kTypeI64, 1, nan), 0);
    EXPECT_EQ(Scale1<uint32_t>(5, kTypeU32, 0, nan), 0u);
    EXPECT_EQ(Scale1<int64_t>(INT64_MAX, kTypeI64, 0, 4.0), INT64_MAX);
    EXPECT_EQ(Scale1<int64_t>(INT64_MAX, kTypeI64, 0, -4.0), INT64_MIN);
    EXPECT_EQ(Scale1<uint32_t>(3000000000u, kTypeU32, 0, 1.0, 0.5), 3000000001u);
    // Reals.
    EXPECT_EQ(Scale1<double>(-DBL_MAX, kTypeF64, 0, 2.0), -DBL_MAX);
    EXPECT_EQ(Scale1<double>(1e300, kTypeF64, 0, 1e10), DBL_MAX);
    EXPECT_EQ(Scale1<double>(3.0, kTypeF64, 0, 2.0, 0.5), 6.5);
    EXPECT_TRUE(std::isnan(Scale1<double>(nan, kTypeF64, 0, 2.0)));
    EXPECT_EQ(Scale1<float>(3e38f, kTypeF32, 0, 10.0), FLT_MAX);
    EXPECT_EQ(Scale1<float>(3e38f, kTypeF32, 0, -10.0), -FLT_MAX);
    EXPECT_TRUE(std::isnan(Scale1<float>(std::nanf(""), kTypeF32, 0, 2.0)));
}

// 5 x 0.7 rounds to 3.5 before -3 is added: y = 0.5, rounded to 1, and 15 gives 7.5 and 8.
// Fused into one rounding the product and sum would give 0.49999999999999978 (0) and
// 7.499999999999999 (7). Runs long enough for every vector loop, of each width of type.
template <class T>
void CheckProductRoundsFirst(ElementType t) {
    const ScaleZero p{.scale = 0.7, .zero = -3.0};
    std::vector<T> v(40);
    for (size_t i = 0; i < v.size(); ++i) v[i] = i % 3 == 0 ? 15 : 5;
    ScaleInPlaceSelect(p, t, 0)(v.data(), static_cast<int32_t>(v.size()), p);
    for (size_t i = 0; i < v.size(); ++i)
        EXPECT_EQ(v[i], i % 3 == 0 ? 8 : 1) << "type 0x" << std::hex << t << " at " << std::dec << i;
}

TEST(ScaleInPlace, TheProductRoundsBeforeTheZeroIsAdded) {
    testing_data::OnEveryKernelPath([] {
        CheckProductRoundsFirst<int8_t>(kTypeI8);
        CheckProductRoundsFirst<uint16_t>(kTypeU16);
        CheckProductRoundsFirst<int16_t>(kTypeI16);
        CheckProductRoundsFirst<int32_t>(kTypeI32);
    });
}

TEST(ScaleInPlace, PackWritesIntegersFromTheStart) {
    const double in[3] = {2.5, -2.5, 1e10};
    double buf[3] = {2.5, -2.5, 1e10};
    ScaleInPlaceSelectAlt(kTypeI32, 0)(buf, 3, nullptr);
    const int32_t want[3] = {3, -3, INT32_MAX};
    EXPECT_EQ(std::memcmp(buf, want, 12), 0);
    EXPECT_EQ(std::memcmp(reinterpret_cast<char*>(buf) + 12, reinterpret_cast<const char*>(in) + 12, 12), 0);
}

// Random and boundary elements of every type, both modes, several scalings.
void CheckScale() {
    std::mt19937_64 rng(77);
    const double scales[][2] = {{1.5, 0.0},  {0.5, 0.0},   {-1.0, 0.5}, {1.0, -0.5},
                                {1e-3, 7.5}, {1e300, 1.0}, {2.0, 0x1p63}, {1.0, 0.25}};
    for (ElementType t : kPlainTypes) {
        const int size = ref::Info(t).size;
        std::vector<unsigned char> in;
        for (int k = 0; k < 1001; ++k) {
            uint64_t bits = rng();
            if (k % 3 == 0) bits &= 0x80000000000000FFull;  // small magnitudes
            if (t == kTypeF64 && k % 5 == 1) {
                const double d = std::ldexp(std::generate_canonical<double, 64>(rng), int(rng() % 80) - 8);
                std::memcpy(&bits, &d, 8);
            }
            if (t == kTypeF32 && k % 5 == 1) {
                const float f = std::ldexp(std::generate_canonical<float, 32>(rng), int(rng() % 40) - 8);
                std::memcpy(&bits, &f, 4);
            }
            const unsigned char* b = reinterpret_cast<const unsigned char*>(&bits);
            in.insert(in.end(), b, b + size);
        }
        const int n = static_cast<int>(in.size() / size);
        for (int mode : {0, 1}) {
            for (const auto& s : scales) {
                const ScaleZero p{.scale = s[0], .zero = s[1]};
                std::vector<unsigned char> buf(in.size() + 1);
                std::memcpy(buf.data() + 1, in.data(), in.size());  // an odd address
                ScaleInPlaceSelect(p, t, mode)(buf.data() + 1, n, p);
                int bad = 0;
                for (int i = 0; i < n; ++i) {
                    unsigned char want[8];
                    std::memcpy(want, in.data() + static_cast<size_t>(i) * size, size);
                    ref::ScaleElement(want, t, mode, p);
                    const unsigned char* got = buf.data() + 1 + static_cast<size_t>(i) * size;
                    if (!ref::SameElement(got, want, t) && ++bad <= 3)
                        ADD_FAILURE() << "type 0x" << std::hex << t << std::dec << " mode " << mode << " scale "
                                      << p.scale << " zero " << p.zero << " element " << i;
                }
            }
        }
    }
}

TEST(ScaleInPlace, MatchesTheReference) { testing_data::OnEveryKernelPath(CheckScale); }

// Runs of a million 16-bit samples or more take a table of every value's result (or the
// AVX-512 loop): every value, at an odd address and with a run length that is not a multiple
// of four (nor of the 32 of a step that shares the work between the vector units and the
// table). The reference's results are worked out once for all the kernel paths.
struct LongRun {
    ElementType type;
    int mode;
    ScaleZero params;
    std::vector<unsigned char> want;
};

void CheckLongRuns(const std::vector<unsigned char>& in, const std::vector<LongRun>& runs) {
    const int n = static_cast<int>(in.size() / 2);
    for (const LongRun& r : runs) {
        const ScaleZero& p = r.params;
        std::vector<unsigned char> buf(in.size() + 1);
        std::memcpy(buf.data() + 1, in.data(), in.size());
        ScaleInPlaceSelect(p, r.type, r.mode)(buf.data() + 1, n, p);
        if (std::memcmp(buf.data() + 1, r.want.data(), in.size()) == 0) continue;
        int bad = 0;
        for (int i = 0; i < n; ++i) {
            const size_t at = static_cast<size_t>(i) * 2;
            if (!ref::SameElement(buf.data() + 1 + at, r.want.data() + at, r.type) && ++bad <= 3)
                ADD_FAILURE() << "type 0x" << std::hex << r.type << std::dec << " mode " << r.mode
                              << " scale " << p.scale << " zero " << p.zero << " element " << i;
        }
    }
}

TEST(ScaleInPlace, LongRunsMatchTheReference) {
    std::mt19937_64 rng(5);
    const int n = (1 << 20) + 13;
    std::vector<unsigned char> in(static_cast<size_t>(n) * 2);
    for (int i = 0; i < n; ++i) {
        const uint16_t v = i < 65536 ? static_cast<uint16_t>(i * 40503u) : static_cast<uint16_t>(rng());
        std::memcpy(&in[static_cast<size_t>(i) * 2], &v, 2);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double scales[][2] = {{1.0000001, 0.25}, {-0.5, 3.5}, {1e300, 1.0}, {1.0, nan}};
    std::vector<LongRun> runs;
    for (ElementType t : {kTypeI16, kTypeU16}) {
        for (int mode : {0, 1}) {
            for (const auto& s : scales) {
                LongRun r{t, mode, ScaleZero{.scale = s[0], .zero = s[1]}, in};
                for (size_t at = 0; at < r.want.size(); at += 2)
                    ref::ScaleElement(&r.want[at], t, mode, r.params);
                runs.push_back(std::move(r));
            }
        }
    }
    testing_data::OnEveryKernelPath([&] { CheckLongRuns(in, runs); });
}

void CheckPack() {
    std::mt19937_64 rng(78);
    std::vector<double> values = {0.5, -0.5, 1.5, -1.5, 0.49999999999999994, 126.5, -127.5, 254.5, 255.5,
                                  32766.5, -32767.5, 65534.5, 2147483646.5, -2147483647.5, 4294967294.5,
                                  0x1p63, -0x1p63, 0x1p64, 1e300, -1e300, HUGE_VAL, -HUGE_VAL,
                                  std::nan(""), -DBL_MAX, -0.0, 0x1p52 + 0.5, 0x1p53 + 2};
    for (int k = 0; k < 1500; ++k)
        values.push_back(std::ldexp(std::generate_canonical<double, 64>(rng) - 0.5, int(rng() % 70)));
    const int n = static_cast<int>(values.size());
    for (ElementType t : {kTypeI8, kTypeU8, kTypeI16, kTypeU16, kTypeI32, kTypeU32, kTypeI64, kTypeU64}) {
        const int size = ref::Info(t).size;
        std::vector<double> buf(values);
        ScaleInPlaceSelectAlt(t, 0)(buf.data(), n, nullptr);
        const auto* got = reinterpret_cast<const unsigned char*>(buf.data());
        int bad = 0;
        for (int i = 0; i < n; ++i) {
            unsigned char want[8];
            ref::PutRounded(want, t, values[i]);
            if (std::memcmp(got + static_cast<size_t>(i) * size, want, size) != 0 && ++bad <= 3)
                ADD_FAILURE() << "type 0x" << std::hex << t << std::dec << " value " << values[i];
        }
        // The reals beyond the packed bytes are untouched.
        const size_t packed = static_cast<size_t>(n) * size;
        EXPECT_EQ(std::memcmp(got + packed, reinterpret_cast<const unsigned char*>(values.data()) + packed,
                              values.size() * 8 - packed), 0);
    }
}

TEST(ScaleInPlace, PackMatchesTheReference) { testing_data::OnBothKernelPaths(CheckPack); }

// Runs of every length up to three vector steps, so that each split between the
// sixteen-element steps and the element loop is met, and factors that are not finite
// (the vector loops leave those to the element loop), against the reference.
void CheckRunLengths() {
    std::mt19937_64 rng(79);
    const double factors[][2] = {{1.5, -0.5}, {-0.37, 3.0}, {std::nan(""), 1.0}, {HUGE_VAL, 0.0},
                                 {1.0, -HUGE_VAL}, {-HUGE_VAL, std::nan("")}};
    for (ElementType t : {kTypeI8, kTypeU8, kTypeI16, kTypeU16, kTypeI32, kTypeU32}) {
        const int size = ref::Info(t).size;
        for (int n = 0; n <= 48; ++n) {
            std::vector<unsigned char> in(static_cast<size_t>(n) * size);
            for (unsigned char& b : in) b = static_cast<unsigned char>(rng());
            if (n > 0) std::memset(in.data(), 0, size);  // 0 times an infinity is NaN
            for (int mode : {0, 1}) {
                for (const auto& f : factors) {
                    const ScaleZero p{.scale = f[0], .zero = f[1]};
                    std::vector<unsigned char> buf(3);
                    buf.insert(buf.end(), in.begin(), in.end());
                    ScaleInPlaceSelect(p, t, mode)(buf.data() + 3, n, p);
                    for (int i = 0; i < n; ++i) {
                        unsigned char want[8];
                        std::memcpy(want, in.data() + static_cast<size_t>(i) * size, size);
                        ref::ScaleElement(want, t, mode, p);
                        ASSERT_TRUE(ref::SameElement(buf.data() + 3 + static_cast<size_t>(i) * size, want, t))
                            << "type 0x" << std::hex << t << std::dec << " mode " << mode << " scale " << p.scale
                            << " zero " << p.zero << " count " << n << " element " << i;
                    }
                }
            }
        }
    }
    for (ElementType t : {kTypeI8, kTypeU8, kTypeI16, kTypeU16, kTypeI32, kTypeU32}) {
        const int size = ref::Info(t).size;
        for (int n = 0; n <= 48; ++n) {
            std::vector<double> values(static_cast<size_t>(n));
            for (double& v : values) v = std::ldexp(std::generate_canonical<double, 64>(rng) - 0.5, int(rng() % 36));
            if (n > 5) values[5] = std::nan("");
            if (n > 17) values[17] = -HUGE_VAL;
            // Halves and the edges of the narrow types.
            const double edges[] = {2.5, -2.5, 126.5, -127.5, 254.5, 0.49999999999999994, -0.5, 32766.5, -32767.5, 65534.5};
            for (int k = 0; k < 10 && 20 + 2 * k < n; ++k) values[20 + 2 * k] = edges[k];
            // Every start address modulo 16 (streamed results begin at a 16-byte boundary).
            for (size_t offset : {0, 1, 2, 4, 6, 8, 12, 15}) {
                std::vector<unsigned char> buf(offset + values.size() * 8 + 16);
                auto* data = reinterpret_cast<unsigned char*>(
                    (reinterpret_cast<uintptr_t>(buf.data()) + 15) / 16 * 16 + offset);
                const auto* stored = reinterpret_cast<const unsigned char*>(values.data());
                std::copy(stored, stored + values.size() * 8, data);
                ScaleInPlaceSelectAlt(t, 0)(data, n, nullptr);
                for (int i = 0; i < n; ++i) {
                    unsigned char want[8];
                    ref::PutRounded(want, t, values[i]);
                    ASSERT_EQ(std::memcmp(data + static_cast<size_t>(i) * size, want, size), 0)
                        << "type 0x" << std::hex << t << std::dec << " count " << n << " offset " << offset
                        << " value " << values[i];
                }
                const size_t packed = static_cast<size_t>(n) * size;
                ASSERT_TRUE(std::equal(stored + packed, stored + values.size() * 8, data + packed))
                    << "count " << n << " offset " << offset;
            }
        }
    }
}

TEST(ScaleInPlace, RunLengthsAndFactorsThatAreNotFinite) {
    testing_data::OnEveryKernelPath(CheckRunLengths);
}

}  // namespace
}  // namespace orva
