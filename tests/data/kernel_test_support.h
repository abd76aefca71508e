#pragma once
// What the kernel tests share: stored test values, a reference byte reversal, boundary
// values of every element type mixed with random ones, and a run of a check on the AVX2
// and the baseline loops (and the AVX-512 ones).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "data/kernel_util.h"

namespace orva::testing_data {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Stored bytes of values of T, reversed per element when `swapped`.
template <class T>
std::vector<unsigned char> Store(const std::vector<T>& values, bool swapped) {
    std::vector<unsigned char> bytes(values.size() * sizeof(T));
    for (size_t i = 0; i < values.size(); ++i) {
        unsigned char* b = bytes.data() + i * sizeof(T);
        std::memcpy(b, &values[i], sizeof(T));
        if (swapped) std::reverse(b, b + sizeof(T));
    }
    return bytes;
}

// The reference byte reversal: elements 0, stride, 2 × stride ... (n of them, `size`
// bytes each, from byte `offset`) reversed one by one.
inline std::vector<unsigned char> ReversedEach(std::vector<unsigned char> v, size_t offset, size_t n,
                                               int size, int stride = 1) {
    for (size_t i = 0; i < n; ++i) {
        auto element = v.begin() + static_cast<std::ptrdiff_t>(offset + i * stride * size);
        std::reverse(element, element + size);
    }
    return v;
}

// The limits of T and the values next to them, the 53-bit and 64-bit edges of the
// 64-bit integers, and for reals signed zeros, denormals, infinities and NaNs.
template <class T>
std::vector<T> Boundaries() {
    using L = std::numeric_limits<T>;
    std::vector<T> v = {L::lowest(), L::max(), T(0), T(1), static_cast<T>(L::max() - 1),
                        static_cast<T>(L::lowest() + 1)};
    if constexpr (std::is_signed_v<T>) v.push_back(T(-1));
    if constexpr (std::is_same_v<T, int64_t>)
        v.insert(v.end(), {int64_t{1} << 53, (int64_t{1} << 53) + 1, (int64_t{1} << 53) - 1});
    if constexpr (std::is_same_v<T, uint64_t>)
        v.insert(v.end(), {uint64_t{1} << 63, (uint64_t{1} << 53) + 1, (uint64_t{1} << 63) + 1});
    if constexpr (std::is_floating_point_v<T>) {
        v.insert(v.end(), {T(-0.0), L::denorm_min(), -L::denorm_min(), L::min(), L::infinity(),
                           -L::infinity(), L::quiet_NaN(), -L::quiet_NaN(),
                           static_cast<T>(9007199254740993.0),     // 2^53 + 1
                           static_cast<T>(9223372036854775808.0),  // 2^63
                           static_cast<T>(18446744073709551616.0), // 2^64
                           T(-2.5), T(1e-3)});
    }
    return v;
}

// n values of T: about one in `oneIn` a boundary value, the others random bits
// (integers) or uniform within +-range (reals).
template <class T>
std::vector<T> MixedValues(size_t n, std::mt19937_64& rng, unsigned oneIn, double range) {
    const std::vector<T> edges = Boundaries<T>();
    std::vector<T> v(n);
    for (T& x : v) {
        if (rng() % oneIn == 0) x = edges[rng() % edges.size()];
        else if constexpr (std::is_integral_v<T>) x = static_cast<T>(rng());
        else x = static_cast<T>(std::uniform_real_distribution<double>(-range, range)(rng));
    }
    return v;
}

// Runs `check` on the AVX2 loops (where the processor has them), on them again with
// every result stored past the caches (the loops large frames take), then on the
// baseline ones.
template <class Check>
void OnBothKernelPaths(Check check) {
    for (int path : {0, 1, 2}) {
        SCOPED_TRACE(path == 0 ? "default" : path == 1 ? "streaming stores" : "baseline");
        kernel::StreamStoresFromForTest(path == 1 ? 0 : kernel::kStreamStoreBytes);
        kernel::ForceBaselineForTest(path == 2);
        check();
    }
    kernel::StreamStoresFromForTest(kernel::kStreamStoreBytes);
    kernel::ForceBaselineForTest(false);
}

// OnBothKernelPaths, and once more with the AVX-512 loops barred where the processor takes
// them, so that the AVX2 loops they stand in for are met as well: for kernels with both.
template <class Check>
void OnEveryKernelPath(Check check) {
    OnBothKernelPaths(check);
    if (!kernel::CpuHasAvx512()) return;
    SCOPED_TRACE("AVX2, AVX-512 barred");
    kernel::ForceNoAvx512ForTest(true);
    check();
    kernel::ForceNoAvx512ForTest(false);
}

}  // namespace orva::testing_data
