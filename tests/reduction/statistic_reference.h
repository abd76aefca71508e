#pragma once
// Runs a reference script of tests/reduction (statistic_reference.py unless
// named; numpy and scipy from Debian's /usr/bin/python3) and reads its "name
// value" lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "reduction/kernels/sample_moments.h"
#include "reduction/statistic_block.h"
#include "shapes/geometry/region.h"

namespace orva::reduction_testing {

inline std::string RunPython(const std::string& arguments, int* status,
                             const std::string& script = "statistic_reference.py") {
    const std::string command =
        ORVA_PYTHON " '" ORVA_SOURCE_DIR "/tests/reduction/" + script + "' " + arguments + " 2>&1";
    std::string out;
    *status = -1;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    const int raw = pclose(p);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

// True when numpy and scipy can be imported.
inline bool HaveReference() {
    static const bool have = [] {
        int status = -1;
        const std::string command = ORVA_PYTHON " -c 'import numpy, scipy.stats, scipy.special' >/dev/null 2>&1";
        const int raw = std::system(command.c_str());
        status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return status == 0;
    }();
    return have;
}

// The values of one block of "name value" lines (a "channel k" line starts a new block).
using Reference = std::map<std::string, double>;

inline std::vector<Reference> ReferenceBlocks(const std::string& arguments,
                                              const std::string& script = "statistic_reference.py") {
    int status = -1;
    const std::string text = RunPython(arguments, &status, script);
    std::vector<Reference> blocks(1);
    if (status != 0) {
        ADD_FAILURE() << "reference failed: " << arguments << "\n" << text;
        return blocks;
    }
    std::istringstream in(text);
    std::string name;
    while (in >> name) {
        if (name == "channel") {
            int index = 0;
            in >> index;
            if (!blocks.back().empty()) blocks.emplace_back();
            continue;
        }
        double value = 0.0;
        in >> value;
        blocks.back()[name] = value;
    }
    return blocks;
}

inline Reference ReferenceOf(const std::string& arguments, const std::string& script = "statistic_reference.py") {
    return ReferenceBlocks(arguments, script).front();
}

// |got - want| / |want|.
inline double RelativeError(double got, double want) {
    const double scale = std::max(std::fabs(want), 1e-300);
    return std::fabs(got - want) / scale;
}

inline void WriteDoubles(const std::string& path, const double* v, size_t n) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(v, sizeof(double), n, f), n);
    std::fclose(f);
}

// The region's rectangles moved by the origin, one "x0 y0 x1 y1" line each.
inline void WriteRects(const std::string& path, const Region& region, int64_t ox, int64_t oy) {
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    for (const RegionRect& r : region)
        std::fprintf(f, "%lld %lld %lld %lld\n", static_cast<long long>(r.x0 + ox), static_cast<long long>(r.y0 + oy),
                     static_cast<long long>(r.x1 + ox), static_cast<long long>(r.y1 + oy));
    std::fclose(f);
}

// The moment fields of a record against numpy and scipy on the same values: the
// extremes and the median exact, sums and second moments within 1e-12 relative, third
// and fourth moments, skewness and kurtosis within 1e-9.
inline void ExpectMomentsAsNumpy(const StatisticResult& r, const Reference& want) {
    EXPECT_EQ(std::tuple(r.min, r.max, r.median), std::tuple(want.at("min"), want.at("max"), want.at("median")));
    EXPECT_LT(RelativeError(r.flux, want.at("sum")), 1e-12);
    EXPECT_LT(RelativeError(r.mean, want.at("mean")), 1e-12);
    EXPECT_LT(RelativeError(r.m[0], want.at("m2")), 1e-12);
    EXPECT_LT(RelativeError(r.centralM[0], want.at("M2")), 1e-12);
    EXPECT_LT(RelativeError(r.centralM[1], want.at("M3")), 1e-9);
    EXPECT_LT(RelativeError(r.centralM[2], want.at("M4")), 1e-9);
    EXPECT_LT(RelativeError(r.dispersion, want.at("var1")), 1e-12);
    EXPECT_LT(RelativeError(r.rms, std::sqrt(want.at("var1"))), 1e-12);
    EXPECT_LT(RelativeError(r.deviationUnbiased, UnbiasedDeviationFactor(r.npro) * std::sqrt(want.at("var1"))), 1e-12);
    EXPECT_LT(RelativeError(r.skewness, want.at("skew")), 1e-9);
    EXPECT_LT(RelativeError(r.skewnessUnbiased, want.at("skew1")), 1e-9);
    EXPECT_LT(RelativeError(r.kurtosis, want.at("kurt")), 1e-9);
    EXPECT_LT(RelativeError(r.kurtosisUnbiased, want.at("kurt1")), 1e-9);
}

}  // namespace orva::reduction_testing
