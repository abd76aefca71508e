#include "data/kernel_pragmas.h"

// Products and sums are never fused: a sample gets the same bits from the baseline
// and the AVX2 loops. Set before anything is included, so that every function of
// the file is compiled alike.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#else
#pragma GCC optimize("fp-contract=off")
#endif

#include "processing/modules/convolver_kernels.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "data/kernel_util.h"
#include "processing/modules/convolver_module.h"

namespace orva {

namespace {

constexpr int32_t kBadBlock = -1;

// The three input rows around an output row (repeated at the input's top and bottom).
struct Rows {
    const double* top;
    const double* mid;
    const double* bottom;
};

ORVA_INLINE Rows RowsAt(const ConvolverBlock& b, int32_t y) {
    const int32_t row = b.originY + y;
    const int32_t up = row > 0 ? row - 1 : 0;
    const int32_t down = row + 1 < b.inputHeight ? row + 1 : b.inputHeight - 1;
    return {b.input + static_cast<size_t>(up) * b.inputStride, b.input + static_cast<size_t>(row) * b.inputStride,
            b.input + static_cast<size_t>(down) * b.inputStride};
}

// ---- Weighted sums ---------------------------------------------------------------------------

// One output sample at sample index k of the rows, its left neighbour l and its right
// neighbour r samples away (0 where the input ends).
ORVA_INLINE double WeightedAt(const double* m, const Rows& s, ptrdiff_t k, ptrdiff_t l, ptrdiff_t r) {
    double v = m[0] * s.top[k - l];
    v += m[1] * s.top[k];
    v += m[2] * s.top[k + r];
    v += m[3] * s.mid[k - l];
    v += m[4] * s.mid[k];
    v += m[5] * s.mid[k + r];
    v += m[6] * s.bottom[k - l];
    v += m[7] * s.bottom[k];
    v += m[8] * s.bottom[k + r];
    return v;
}

// The same with samples without data counted as the centre sample.
ORVA_INLINE double Sub(double x, double centre) { return x == kConvolverBlank ? centre : x; }

ORVA_INLINE double WeightedBlankAt(const double* m, const Rows& s, ptrdiff_t k, ptrdiff_t l, ptrdiff_t r) {
    const double c = s.mid[k];
    double v = m[0] * Sub(s.top[k - l], c);
    v += m[1] * Sub(s.top[k], c);
    v += m[2] * Sub(s.top[k + r], c);
    v += m[3] * Sub(s.mid[k - l], c);
    v += m[4] * c;
    v += m[5] * Sub(s.mid[k + r], c);
    v += m[6] * Sub(s.bottom[k - l], c);
    v += m[7] * Sub(s.bottom[k], c);
    v += m[8] * Sub(s.bottom[k + r], c);
    return c == kConvolverBlank ? kConvolverBlank : v;
}

// The horizontal neighbour distances of input pixel q.
ORVA_INLINE ptrdiff_t LeftOf(int32_t q, int C) { return q > 0 ? C : 0; }
ORVA_INLINE ptrdiff_t RightOf(int32_t q, int32_t width, int C) { return q + 1 < width ? C : 0; }

// ---- Mean -----------------------------------------------------------------------------------

// One output sample of the mean: three column sums, each top to bottom, added left
// to right.
ORVA_INLINE double MeanAt(const Rows& s, ptrdiff_t k, ptrdiff_t l, ptrdiff_t r) {
    const double left = (s.top[k - l] + s.mid[k - l]) + s.bottom[k - l];
    const double centre = (s.top[k] + s.mid[k]) + s.bottom[k];
    const double right = (s.top[k + r] + s.mid[k + r]) + s.bottom[k + r];
    return ((left + centre) + right) * kConvolverMeanFactor;
}

ORVA_INLINE double MeanBlankAt(const Rows& s, ptrdiff_t k, ptrdiff_t l, ptrdiff_t r) {
    const double c = s.mid[k];
    const double left = (Sub(s.top[k - l], c) + Sub(s.mid[k - l], c)) + Sub(s.bottom[k - l], c);
    const double centre = (Sub(s.top[k], c) + c) + Sub(s.bottom[k], c);
    const double right = (Sub(s.top[k + r], c) + Sub(s.mid[k + r], c)) + Sub(s.bottom[k + r], c);
    const double v = ((left + centre) + right) * kConvolverMeanFactor;
    return c == kConvolverBlank ? kConvolverBlank : v;
}

// ---- Rows -------------------------------------------------------------------------------------

template <bool Mean, bool Blank>
ORVA_INLINE double At(const double* m, const Rows& s, ptrdiff_t k, ptrdiff_t l, ptrdiff_t r) {
    if constexpr (Blank) return Mean ? MeanBlankAt(s, k, l, r) : WeightedBlankAt(m, s, k, l, r);
    else return Mean ? MeanAt(s, k, l, r) : WeightedAt(m, s, k, l, r);
}

// One output row. Only its first and last pixels can lack a neighbour in the input;
// the others go through one loop that the compiler vectorises. In the blank variants
// the substitutions are selects in that loop: that costs less than finding the few
// samples near a blank and doing them again, and does not depend on how blanks lie.
template <int C, bool Mean, bool Blank>
ORVA_INLINE void Row(const ConvolverBlock& b, const Rows& s, double* out, const double* m) {
    const int32_t q0 = b.originX, q1 = b.originX + b.width;
    const int32_t qa = std::max(q0, 1), qb = std::max(std::min(q1, b.inputWidth - 1), qa);
    double* __restrict o = out - static_cast<ptrdiff_t>(q0) * C;
    for (ptrdiff_t k = static_cast<ptrdiff_t>(qa) * C; k < static_cast<ptrdiff_t>(qb) * C; ++k)
        o[k] = At<Mean, Blank>(m, s, k, C, C);
    auto edge = [&](int32_t q) {
        const ptrdiff_t l = LeftOf(q, C), r = RightOf(q, b.inputWidth, C);
        for (ptrdiff_t k = static_cast<ptrdiff_t>(q) * C; k < static_cast<ptrdiff_t>(q + 1) * C; ++k)
            o[k] = At<Mean, Blank>(m, s, k, l, r);
    };
    if (q0 < qa) edge(q0);
    for (int32_t q = std::max(qb, q0 < qa ? q0 + 1 : q0); q < q1; ++q) edge(q);
}

// ---- Whole blocks -----------------------------------------------------------------------------

template <int C, bool Mean, bool Blank>
ORVA_INLINE int32_t Filter(const double* m, const ConvolverBlock& b) {
    for (int32_t y = 0; y < b.height; ++y) {
        Row<C, Mean, Blank>(b, RowsAt(b, y), b.output + static_cast<size_t>(y) * b.outputStride, m);
    }
    return 0;
}

template <int C, bool Mean, bool Blank>
[[gnu::target("avx2")]] int32_t FilterAvx2(const double* m, const ConvolverBlock& b) {
    return Filter<C, Mean, Blank>(m, b);
}
template <int C, bool Mean, bool Blank>
int32_t FilterBase(const double* m, const ConvolverBlock& b) {
    return Filter<C, Mean, Blank>(m, b);
}

bool Usable(const ConvolverBlock* b, int C) {
    if (b == nullptr || b->input == nullptr || b->output == nullptr) return false;
    if (b->width <= 0 || b->height <= 0 || b->inputWidth <= 0 || b->inputHeight <= 0) return false;
    if (b->originX < 0 || b->originY < 0 || b->originX > b->inputWidth - b->width ||
        b->originY > b->inputHeight - b->height)
        return false;
    // Sample indexes of a row stay within 32 bits.
    if (static_cast<int64_t>(b->inputWidth) * C > INT32_MAX - 8) return false;
    return b->inputStride >= static_cast<size_t>(b->inputWidth) * C &&
           b->outputStride >= static_cast<size_t>(b->width) * C;
}

template <int C, bool Mean, bool Blank>
int32_t Entry(const ConvolverState* state, const ConvolverBlock* b) {
    if (!Usable(b, C) || (!Mean && state == nullptr)) return kBadBlock;
    // The matrix is read once: the loops keep the coefficients in registers.
    double m[9];
    for (int i = 0; i < 9; ++i) m[i] = Mean ? kConvolverMeanFactor : state->matrix[i];
    return kernel::CpuHasAvx2() ? FilterAvx2<C, Mean, Blank>(m, *b) : FilterBase<C, Mean, Blank>(m, *b);
}

}  // namespace

int32_t ConvolverMeanC1(const ConvolverState* s, const ConvolverBlock* b) { return Entry<1, true, false>(s, b); }
int32_t ConvolverMeanC3(const ConvolverState* s, const ConvolverBlock* b) { return Entry<3, true, false>(s, b); }
int32_t ConvolverMeanBlankC1(const ConvolverState* s, const ConvolverBlock* b) { return Entry<1, true, true>(s, b); }
int32_t ConvolverMeanBlankC3(const ConvolverState* s, const ConvolverBlock* b) { return Entry<3, true, true>(s, b); }
int32_t ConvolverWeightedC1(const ConvolverState* s, const ConvolverBlock* b) { return Entry<1, false, false>(s, b); }
int32_t ConvolverWeightedC3(const ConvolverState* s, const ConvolverBlock* b) { return Entry<3, false, false>(s, b); }
int32_t ConvolverWeightedBlankC1(const ConvolverState* s, const ConvolverBlock* b) {
    return Entry<1, false, true>(s, b);
}
int32_t ConvolverWeightedBlankC3(const ConvolverState* s, const ConvolverBlock* b) {
    return Entry<3, false, true>(s, b);
}

}  // namespace orva
