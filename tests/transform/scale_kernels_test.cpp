// The scaling kernels against a plain scalar statement of each rule and against
// numpy (Debian's python3) on a million random and edge inputs, then the edge
// cases one by one.
#include "transform/scale_kernels.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "transform_test_support.h"

namespace orva {
namespace {

constexpr double kNoData = -DBL_MAX;
using testing_transform::kNaN;
constexpr double kInf = std::numeric_limits<double>::infinity();

ScaleParameters Params(double min, double max, double v1, double v2, uint32_t v3 = 2, uint32_t v4 = 0xFF) {
    ScaleParameters p;
    p.scale = 1.0 / (max - min);
    p.offset = p.scale * min;
    p.value1 = v1;
    p.value2 = v2;
    p.value3 = v3;
    p.value4 = v4;
    return p;
}

std::vector<double> Apply(ScaleKernel kernel, const std::vector<double>& in, const ScaleParameters& p) {
    std::vector<double> out(in.size(), 12345.0);
    kernel(out.data(), out.size(), in.data(), &p);
    return out;
}

// ---- The rules, one sample at a time, as the step lists state them ----------------------

double RangeOf(double x, const ScaleParameters& p) { return x * p.scale - p.offset; }

double RefRange(double x, const ScaleParameters& p) {
    if (x == kNoData || std::isnan(x)) return 0.0;
    return RangeOf(x, p);
}

double RefPow(double x, const ScaleParameters& p) {
    if (x == kNoData) return 0.0;
    const double r = RangeOf(x, p);
    if (r <= 0.0) return 0.0;
    const double y = std::pow(r, p.value2);
    return std::isfinite(y) ? y : 0.0;
}

double RefLog(double x, const ScaleParameters& p) {
    if (x == kNoData) return 0.0;
    const double t = p.value2 * RangeOf(x, p);
    if (t <= 0.0 || std::isnan(t)) return 0.0;
    return p.value1 * std::log10(t);
}

double RefExp(double x, const ScaleParameters& p) {
    if (x == kNoData) return 0.0;
    const double v1 = p.value1;
    const double t = p.value2 * RangeOf(x, p);
    if (t <= 0.0 || std::isnan(t)) return 0.0;
    if (t > 709.0895657) return v1 * 8.988465674311579e307;
    const double e = std::exp(t) - 1.0;
    if (std::fabs(v1) >= 1.0) {
        const double l = v1 > 0.0 ? DBL_MAX / v1 : DBL_MAX;
        if (e >= l) return DBL_MAX;
        if (e <= -l) return -DBL_MAX;
        return v1 * e;
    }
    const double y = v1 * e;
    return y >= DBL_MAX ? DBL_MAX : (y <= -DBL_MAX ? -DBL_MAX : y);
}

double RefBitsShift(double x, const ScaleParameters& p) {
    if (x == kNoData) return 0.0;
    const double t = (x * (p.scale * p.value2) - p.offset * p.value2) * 255.0;
    uint64_t k;
    if (t >= 4294967295.0) {
        k = 0xFFFFFFFF;
    } else if (t < 2.220446049250313e-16 || t < 0.5 || !std::isfinite(t)) {
        return 0.0;
    } else {
        k = static_cast<uint64_t>(std::nearbyint(t));
        if (k == 0) return 0.0;
    }
    const unsigned shift = p.value3 % 32;
    const double f = std::pow(2.0, shift + 1.0) * p.value1 / 255.0;
    return static_cast<double>((k >> shift) & p.value4) * f;
}

double RefByteSwap(double x, const ScaleParameters& p) {
    if (x == kNoData) return 0.0;
    double t = p.value2 * RangeOf(x, p);
    if (t > 1.0) t = 1.0;
    const double w = t * 2147483647.0;
    int64_t k = std::isnan(w) ? 0 : static_cast<int64_t>(std::fmax(w, -2147483648.0));
    const auto u = static_cast<uint32_t>(k);
    const auto swapped = static_cast<int32_t>((u >> 24) | ((u >> 8) & 0xFF00) | ((u << 8) & 0xFF0000) | (u << 24));
    return swapped * p.value1 * 4.656612875245797e-10;
}

// Distance in units in the last place (0 for equal values, NaN included).
uint64_t UlpDistance(double a, double b) {
    if (a == b || (std::isnan(a) && std::isnan(b))) return 0;
    if (std::isnan(a) || std::isnan(b) || std::signbit(a) != std::signbit(b)) return UINT64_MAX;
    int64_t ia, ib;
    std::memcpy(&ia, &a, 8);
    std::memcpy(&ib, &b, 8);
    return static_cast<uint64_t>(ia > ib ? ia - ib : ib - ia);
}

// Inputs over and around the range, special values and a few extremes, one in
// sixteen an edge value.
std::vector<double> Inputs(size_t n, double min, double max, uint64_t seed) {
    const double w = max - min;
    const std::vector<double> edges = {kNoData, kNaN, -kNaN, kInf, -kInf, 0.0, -0.0, DBL_MAX, DBL_MIN,
                                       -DBL_MIN, 5e-324, min, max, min + w * 0.5, min - w, max + w,
                                       min + w * (0.5 / 255.0), std::nextafter(min + w * (0.5 / 255.0), -kInf),
                                       1e300, -1e300};
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> near(min - 0.25 * w, max + 0.25 * w);
    std::uniform_real_distribution<double> exponent(-300.0, 300.0);
    std::vector<double> v(n);
    for (double& x : v) {
        const uint64_t pick = rng() % 16;
        if (pick == 0) {
            x = edges[rng() % edges.size()];
        } else if (pick == 1) {
            x = (rng() & 1 ? -1.0 : 1.0) * std::pow(10.0, exponent(rng));
        } else {
            x = near(rng);
        }
    }
    return v;
}

struct KernelCase {
    const char* name;  // the key, as the numpy script knows it
    ScaleKernel kernel;
    double (*reference)(double, const ScaleParameters&);
    ScaleParameters params;
    // Allowed against the scalar rule: the powers 0.5 and 2 are a correctly
    // rounded sqrt and product, where glibc's pow is within one ulp.
    uint64_t ulps;
    // Allowed against numpy, relative: its pow, log10 and exp are vectorised
    // approximations of their own (0: the results must be identical). For "log"
    // and "exp" relative to |result| + |V1|: near t = 1 and t = 0 the result is a
    // small difference of two values of the size of V1.
    double numpyRelative;
};

std::vector<KernelCase> Cases() {
    return {
        {"range", ScaleKernelRange, RefRange, Params(-100.0, 4000.0, 1.0, 1.0), 0, 0.0},
        {"range", ScaleKernelRange, RefRange, Params(0.0, 1.0, 1.0, 1.0), 0, 0.0},
        {"pow", ScaleKernelPow, RefPow, Params(-100.0, 4000.0, 1.0, 0.5), 1, 1e-15},
        {"pow", ScaleKernelPow, RefPow, Params(-100.0, 4000.0, 1.0, 1.0), 0, 1e-15},
        {"pow", ScaleKernelPow, RefPow, Params(-100.0, 4000.0, 1.0, 2.0), 1, 1e-15},
        {"pow", ScaleKernelPow, RefPow, Params(-100.0, 4000.0, 1.0, 0.37), 1, 1e-15},
        {"pow", ScaleKernelPow, RefPow, Params(10.0, 20.0, 1.0, 3.5), 1, 1e-15},
        {"log", ScaleKernelLog, RefLog, Params(-100.0, 4000.0, 0.7, 24.0), 2, 1e-15},
        {"log", ScaleKernelLog, RefLog, Params(0.0, 65535.0, 3.0, 0.001), 2, 1e-15},
        {"exp", ScaleKernelExp, RefExp, Params(-100.0, 4000.0, 0.01, 9.14), 2, 1e-15},
        {"exp", ScaleKernelExp, RefExp, Params(0.0, 10.0, 2.5, 80.0), 2, 1e-15},
        {"exp", ScaleKernelExp, RefExp, Params(0.0, 10.0, 1e300, 50.0), 2, 1e-15},
        {"exp", ScaleKernelExp, RefExp, Params(0.0, 10.0, -3.0, 50.0), 2, 1e-15},
        {"bitsshift", ScaleKernelBitsShift, RefBitsShift, Params(-100.0, 4000.0, 1.0, 1.0), 0, 0.0},
        {"bitsshift", ScaleKernelBitsShift, RefBitsShift, Params(0.0, 1.0, 0.5, 16777216.0, 30, 0xFF), 0, 0.0},
        {"bitsshift", ScaleKernelBitsShift, RefBitsShift, Params(0.0, 1.0, 1.0, 16843009.0, 31, 0xFFFFFFFF), 0, 0.0},
        {"bitsshift", ScaleKernelBitsShift, RefBitsShift, Params(0.0, 1.0, 2.0, 1.0, 37, 0x0F0F), 0, 0.0},
        {"bytewap", ScaleKernelByteSwap, RefByteSwap, Params(-100.0, 4000.0, 1.0, 0.1), 0, 0.0},
        {"bytewap", ScaleKernelByteSwap, RefByteSwap, Params(0.0, 1.0, 3.0, 5.0), 0, 0.0},
    };
}

TEST(ScaleKernels, AgreeWithTheScalarRulesAndNumpy) {
    constexpr size_t kCount = 1000000;
    testing_util::TempFolder folder;
    const std::vector<KernelCase> cases = Cases();
    std::vector<std::vector<double>> inputs, outputs;
    std::string list;
    for (size_t c = 0; c < cases.size(); ++c) {
        const KernelCase& k = cases[c];
        const double min = k.params.offset / k.params.scale, max = min + 1.0 / k.params.scale;
        inputs.push_back(Inputs(kCount, min, max, 100 + c));
        // Odd lengths and offsets: the vector loops' heads and tails.
        outputs.push_back(Apply(k.kernel, inputs.back(), k.params));
        std::vector<double> shifted(inputs.back().begin() + 1, inputs.back().begin() + 1002);
        std::vector<double> part = Apply(k.kernel, shifted, k.params);
        for (size_t i = 0; i < part.size(); ++i)
            ASSERT_EQ(UlpDistance(part[i], outputs.back()[i + 1]), 0u) << k.name << " at " << i;

        const std::string name = "case" + std::to_string(c);
        FILE* f = std::fopen(folder.File(name + ".in").c_str(), "wb");
        ASSERT_TRUE(f != nullptr);
        std::fwrite(inputs.back().data(), sizeof(double), kCount, f);
        std::fclose(f);
        char line[512];
        std::snprintf(line, sizeof line, "%s %s %.17g %.17g %.17g %.17g %u %u\n", name.c_str(), k.name,
                      k.params.offset, k.params.scale, k.params.value1, k.params.value2, k.params.value3,
                      k.params.value4);
        list += line;

        size_t off = 0;
        for (size_t i = 0; i < kCount; ++i) {
            const double want = k.reference(inputs.back()[i], k.params);
            if (UlpDistance(outputs.back()[i], want) > k.ulps) {
                if (++off < 5)
                    ADD_FAILURE() << k.name << " case " << c << " x=" << inputs.back()[i] << " got "
                                  << outputs.back()[i] << " want " << want;
            }
        }
        EXPECT_EQ(off, 0u) << k.name << " case " << c << " against the scalar rule";
    }
    testing_util::WriteText(folder.File("cases.txt"), list);
    const std::string command = ORVA_PYTHON " '" ORVA_SOURCE_DIR "/tests/transform/scale_reference.py' '" +
                                folder.Path() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (size_t c = 0; c < cases.size(); ++c) {
        std::vector<double> numpy(kCount);
        FILE* f = std::fopen(folder.File("case" + std::to_string(c) + ".out").c_str(), "rb");
        ASSERT_TRUE(f != nullptr);
        ASSERT_EQ(std::fread(numpy.data(), sizeof(double), kCount, f), kCount);
        std::fclose(f);
        size_t off = 0;
        for (size_t i = 0; i < kCount; ++i) {
            const KernelCase& k = cases[c];
            const bool cancels = k.kernel == ScaleKernelLog || k.kernel == ScaleKernelExp;
            const double size = std::fabs(numpy[i]) + (cancels ? std::fabs(k.params.value1) : 0.0);
            const bool same = UlpDistance(outputs[c][i], numpy[i]) == 0 ||
                              std::fabs(outputs[c][i] - numpy[i]) <= k.numpyRelative * size;
            if (!same && ++off < 5)
                ADD_FAILURE() << cases[c].name << " case " << c << " x=" << inputs[c][i] << " got "
                              << outputs[c][i] << " numpy " << numpy[i];
        }
        EXPECT_EQ(off, 0u) << cases[c].name << " case " << c << " against numpy";
    }
}

// ---- Edge cases ---------------------------------------------------------------------------

TEST(ScaleKernels, NoDataGivesZeroInEveryDataKernel) {
    const ScaleKernel kernels[] = {ScaleKernelRange, ScaleKernelPow, ScaleKernelLog,
                                   ScaleKernelExp,   ScaleKernelBitsShift, ScaleKernelByteSwap};
    // A range below zero makes every rule give something other than 0 for −DBL_MAX.
    const ScaleParameters p = Params(-1e308, -1e307, 2.0, 1.0, 0, 0xFFFFFFFF);
    for (ScaleKernel k : kernels) {
        std::vector<double> out = Apply(k, std::vector<double>(9, kNoData), p);
        for (double y : out) EXPECT_EQ(y, 0.0);
    }
}

TEST(ScaleKernels, EdgeValues) {
    struct Row {
        const char* what;
        ScaleKernel kernel;
        ScaleParameters params;
        double x;
        double want;
    };
    const ScaleParameters unit = Params(0.0, 1.0, 1.0, 1.0);
    // t = 255 × Range: just below one half, and the 32-bit bound.
    const double belowHalf = std::nextafter(0.5, 0.0) / 255.0;
    const Row rows[] = {
        {"range of NaN", ScaleKernelRange, unit, kNaN, 0.0},
        {"range unclamped", ScaleKernelRange, Params(0.0, 8.0, 1, 1), 20.0, 2.5},
        {"pow at Range 0", ScaleKernelPow, Params(0.0, 1.0, 1.0, 0.0), 0.0, 0.0},
        {"pow at Range 0, 0.5", ScaleKernelPow, Params(0.0, 1.0, 1.0, 0.5), 0.0, 0.0},
        {"pow of 0.25", ScaleKernelPow, Params(0.0, 1.0, 1.0, 0.5), 0.25, 0.5},
        {"log at 0", ScaleKernelLog, Params(0.0, 1.0, 0.7, 24.0), 0.0, 0.0},
        {"log below 0", ScaleKernelLog, Params(0.0, 1.0, 0.7, 24.0), -0.5, 0.0},
        {"log with V2 0", ScaleKernelLog, Params(0.0, 1.0, 0.7, 0.0), 0.5, 0.0},
        {"log of NaN", ScaleKernelLog, Params(0.0, 1.0, 0.7, 24.0), kNaN, 0.0},
        {"log of 100", ScaleKernelLog, Params(0.0, 1.0, 0.5, 100.0), 1.0, 1.0},
        {"exp above the limit", ScaleKernelExp, Params(0.0, 1.0, 1.5, 1.0), 709.0895658, 1.5 * 8.988465674311579e307},
        {"exp at 0", ScaleKernelExp, Params(0.0, 1.0, 3.0, 1.0), 0.0, 0.0},
        {"exp of NaN", ScaleKernelExp, Params(0.0, 1.0, 3.0, 1.0), kNaN, 0.0},
        {"exp limited", ScaleKernelExp, Params(0.0, 1.0, 1e300, 1.0), 700.0, DBL_MAX},
        {"bitsshift defaults at 1", ScaleKernelBitsShift, unit, 1.0, 63.0 * (8.0 / 255.0)},
        {"bitsshift below one half", ScaleKernelBitsShift, unit, belowHalf, 0.0},
        {"bitsshift all bits", ScaleKernelBitsShift, Params(0.0, 1.0, 1.0, 1.0, 0, 0xFFFFFFFF), 4294967295.0 / 255.0,
         4294967295.0 * (2.0 / 255.0)},
        {"bitsshift shift 30", ScaleKernelBitsShift, Params(0.0, 1.0, 1.0, 16777216.0, 30, 0xFF), 1.0,
         3.0 * (2147483648.0 / 255.0)},
        {"bitsshift shift 31", ScaleKernelBitsShift, Params(0.0, 1.0, 1.0, 16843009.0, 31, 0xFF), 1.0,
         4294967296.0 / 255.0},
        {"bitsshift of NaN", ScaleKernelBitsShift, unit, kNaN, 0.0},
        {"bitsshift of +inf", ScaleKernelBitsShift, Params(0.0, 1.0, 1.0, 1.0, 0, 0xFF), kInf, 255.0 * (2.0 / 255.0)},
        {"bytewap above 1", ScaleKernelByteSwap, unit, 7.0, double(int32_t(0xFFFFFF7F)) * 4.656612875245797e-10},
        {"bytewap saturated", ScaleKernelByteSwap, unit, -5.0, 128.0 * 4.656612875245797e-10},
        {"bytewap of NaN", ScaleKernelByteSwap, unit, kNaN, 0.0},
    };
    for (const Row& r : rows) {
        for (size_t n : {size_t{1}, size_t{13}}) {
            std::vector<double> out = Apply(r.kernel, std::vector<double>(n, r.x), r.params);
            for (double y : out) EXPECT_EQ(UlpDistance(y, r.want), 0u) << r.what << ": " << y << " vs " << r.want;
        }
    }
}

TEST(ScaleKernels, InputFreeKernels) {
    const std::vector<double> ignored(5, kNaN);
    EXPECT_EQ(Apply(ScaleKernelPalette, ignored, Params(0, 1, 1.0, 0.0)),
              (std::vector<double>{0.0, 0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(Apply(ScaleKernelPalette, {kNaN}, Params(0, 1, 1.0, 0.3)), (std::vector<double>{-0.3}));
    EXPECT_EQ(Apply(ScaleKernelPalette, ignored, Params(0, 1, 2.0, 1.0)),
              (std::vector<double>{-1.0, -0.5, 0.0, 0.5, 1.0}));
    EXPECT_EQ(Apply(ScaleKernelBox, ignored, Params(0, 1, 0.625, 9.0)), std::vector<double>(5, 0.625));
    EXPECT_EQ(Apply(ScaleKernelCopy, {1.5, kNoData, -2.0}, Params(0, 1, 0, 0)),
              (std::vector<double>{1.5, kNoData, -2.0}));

    // "gammapal" with V1 = 1 is the ramp (i / (n − 1))^V2.
    for (double gamma : {1.0, 2.2, 0.45}) {
        std::vector<double> out = Apply(ScaleKernelGammaPalette, std::vector<double>(256, 0.0), Params(0, 1, 1.0, gamma));
        // i × (1 / 255) and i / 255 differ in the last place, which the power multiplies.
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_NEAR(out[i], std::pow(i / 255.0, gamma), 1e-15 * out[i]) << gamma << " at " << i;
    }
    // V1 scales the ramp by V1^−V2 before the power: (i c)^V2 with c = V1^−V2 / (n − 1).
    std::vector<double> scaled = Apply(ScaleKernelGammaPalette, std::vector<double>(3, 0.0), Params(0, 1, 4.0, 0.5));
    EXPECT_DOUBLE_EQ(scaled[2], std::pow(2.0 * std::pow(4.0, -0.5) / 2.0, 0.5));
    // V1 ≤ 0 gives c = 0; a negative gamma makes 0^V2 infinite, which becomes 0.
    EXPECT_EQ(Apply(ScaleKernelGammaPalette, std::vector<double>(3, 0.0), Params(0, 1, 0.0, 2.0)),
              std::vector<double>(3, 0.0));
    EXPECT_EQ(Apply(ScaleKernelGammaPalette, std::vector<double>(3, 0.0), Params(0, 1, 0.0, -1.0)),
              std::vector<double>(3, 0.0));
}

// The streaming path of "range" (large runs) against the cached one, from an
// unaligned start.
TEST(ScaleKernels, LargeRangeRunsMatchSmallOnes) {
    const size_t n = (size_t{16} << 20) / sizeof(double) + 7;
    std::vector<double> in = Inputs(n + 1, -5.0, 5.0, 9);
    const ScaleParameters p = Params(-5.0, 5.0, 1, 1);
    std::vector<double> big(n + 1, 0.0);
    ScaleKernelRange(big.data() + 1, n, in.data() + 1, &p);
    for (size_t start = 1; start < n; start += n / 7) {
        const size_t m = std::min<size_t>(4099, n + 1 - start);
        std::vector<double> small(m);
        ScaleKernelRange(small.data(), m, in.data() + start, &p);
        for (size_t i = 0; i < m; ++i) ASSERT_EQ(UlpDistance(small[i], big[start + i]), 0u) << start + i;
    }
}

}  // namespace
}  // namespace orva
