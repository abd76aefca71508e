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
#include <bit>
#include <cstddef>
#include <cstdint>
#include <immintrin.h>
#include <new>
#include <vector>

#include "data/kernel_util.h"
#include "processing/modules/convolver_module.h"

namespace orva {

namespace {

constexpr int32_t kBadBlock = -1;

// Lambdas that must be compiled into the AVX2 build of the function that calls them.
#define ORVA_LAMBDA_INLINE __attribute__((always_inline))

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

// A sample without data: the marker the affine stage writes, or NaN, which a float file's
// missing samples and the integer samples its BLANK marks are read as.
ORVA_INLINE bool IsBlank(double x) { return x == kConvolverBlank || x != x; }

// The same with samples without data counted as the centre sample.
ORVA_INLINE double Sub(double x, double centre) { return IsBlank(x) ? centre : x; }

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
    return IsBlank(c) ? c : v;  // a blank centre keeps its own marker
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
    return IsBlank(c) ? c : v;  // a blank centre keeps its own marker
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

// ---- Blank variants with AVX2: the plain rule, then the samples near a blank again -----------
//
// A sample none of whose nine neighbours is blank gets the plain variant's bits, and
// blank samples are few wherever they occur at all. So the AVX2 loops form a row by the
// plain rule, noting the blank samples of each input row once (a row serves three output
// rows); then what sees a blank is formed again by the blank rule. (The selects of the
// blank rule on every sample cost more than the plain loop whose reads they share.) One
// channel forms again the pairs of samples that see a blank (four columns); with three
// interleaved channels a pair sees eight columns and would be formed again about a fifth
// of the time, so there the groups of four samples holding one that sees a blank are
// formed again: four samples cost what one does. A result too large for the caches is
// formed by stretches in a buffer and stored past the caches, the row below asked for
// ahead. The baseline loop takes the blank rule throughout.

ORVA_TARGET_AVX2_BEGIN

// Four samples at k, none an edge pixel's, by the plain rule: WeightedAt or MeanAt.
// `below` gets the row below's samples at k, for their notes.
template <int C, bool Mean>
inline __m256d PlainAvx2(const __m256d* w, const Rows& s, ptrdiff_t k, __m256d& below) {
    const __m256d t0 = _mm256_loadu_pd(s.top + k - C), t1 = _mm256_loadu_pd(s.top + k);
    const __m256d t2 = _mm256_loadu_pd(s.top + k + C), m0 = _mm256_loadu_pd(s.mid + k - C);
    const __m256d m1 = _mm256_loadu_pd(s.mid + k), m2 = _mm256_loadu_pd(s.mid + k + C);
    const __m256d b0 = _mm256_loadu_pd(s.bottom + k - C);
    __m256d b1 = _mm256_loadu_pd(s.bottom + k);
    // Held in a register for both uses (the compiler would read it twice, folding one read
    // into the product: the loads are what bounds this loop when the rows are in cache).
    asm("" : "+x"(b1));
    const __m256d b2 = _mm256_loadu_pd(s.bottom + k + C);
    below = b1;
    if constexpr (Mean) {
        const __m256d left = _mm256_add_pd(_mm256_add_pd(t0, m0), b0);
        const __m256d centre = _mm256_add_pd(_mm256_add_pd(t1, m1), b1);
        const __m256d right = _mm256_add_pd(_mm256_add_pd(t2, m2), b2);
        return _mm256_mul_pd(_mm256_add_pd(_mm256_add_pd(left, centre), right), w[0]);
    } else {
        __m256d v = _mm256_mul_pd(w[0], t0);
        v = _mm256_add_pd(v, _mm256_mul_pd(w[1], t1));
        v = _mm256_add_pd(v, _mm256_mul_pd(w[2], t2));
        v = _mm256_add_pd(v, _mm256_mul_pd(w[3], m0));
        v = _mm256_add_pd(v, _mm256_mul_pd(w[4], m1));
        v = _mm256_add_pd(v, _mm256_mul_pd(w[5], m2));
        v = _mm256_add_pd(v, _mm256_mul_pd(w[6], b0));
        v = _mm256_add_pd(v, _mm256_mul_pd(w[7], b1));
        return _mm256_add_pd(v, _mm256_mul_pd(w[8], b2));
    }
}

// The vector operations of the blank rule, on two samples or on four.
// Sums keep the first operand first, as the baseline loop adds: of two NaNs the sum keeps
// the first's (the compiler would be free to swap the operands of the intrinsics).
struct Two {
    using V = __m128d;
    static V Load(const double* p) { return _mm_loadu_pd(p); }
    static void Store(double* p, V v) { _mm_storeu_pd(p, v); }
    static V Add(V a, V b) {
        V r;
        asm("vaddpd %[b], %[a], %[r]" : [r] "=x"(r) : [a] "x"(a), [b] "x"(b));
        return r;
    }
};
struct Four {
    using V = __m256d;
    static V Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, V v) { _mm256_storeu_pd(p, v); }
    static V Add(V a, V b) {
        V r;
        asm("vaddpd %[b], %[a], %[r]" : [r] "=x"(r) : [a] "x"(a), [b] "x"(b));
        return r;
    }
};

// The lane operations of the blank rule for 128- and 256-bit vectors.
ORVA_INLINE __m128d Lanes(__m256d w, __m128d) { return _mm256_castpd256_pd128(w); }
ORVA_INLINE __m256d Lanes(__m256d w, __m256d) { return w; }
ORVA_INLINE __m128d Splat(double x, __m128d) { return _mm_set1_pd(x); }
ORVA_INLINE __m256d Splat(double x, __m256d) { return _mm256_set1_pd(x); }
ORVA_INLINE __m128d BlankOr(__m128d x, __m128d c, __m128d blank) {
    return _mm_blendv_pd(x, c, _mm_cmp_pd(x, blank, _CMP_EQ_UQ));
}
ORVA_INLINE __m256d BlankOr(__m256d x, __m256d c, __m256d blank) {
    return _mm256_blendv_pd(x, c, _mm256_cmp_pd(x, blank, _CMP_EQ_UQ));
}
// v, or the centre c where c is blank: a blank centre stays blank.
ORVA_INLINE __m128d CentreOr(__m128d v, __m128d c, __m128d blank) {
    return _mm_blendv_pd(v, c, _mm_cmp_pd(c, blank, _CMP_EQ_UQ));
}
ORVA_INLINE __m256d CentreOr(__m256d v, __m256d c, __m256d blank) {
    return _mm256_blendv_pd(v, c, _mm256_cmp_pd(c, blank, _CMP_EQ_UQ));
}
ORVA_INLINE __m128d Mul(__m128d a, __m128d b) { return _mm_mul_pd(a, b); }
ORVA_INLINE __m256d Mul(__m256d a, __m256d b) { return _mm256_mul_pd(a, b); }

// Samples at k, none an edge pixel's, again by the blank rule (WeightedBlankAt or
// MeanBlankAt) with selects: a sample formed again has a blank nearby by definition, so
// branches on where it lies would mostly be mispredicted. w holds the coefficients (the
// mean's factor for the mean) in every lane, the registers of the plain loop.
template <int C, bool Mean, class L>
ORVA_INLINE void AgainAt(const __m256d* w256, const Rows& s, ptrdiff_t k, double* o) {
    using V = typename L::V;
    auto w = [&](int i) ORVA_LAMBDA_INLINE { return Lanes(w256[i], V{}); };
    const V blank = Splat(kConvolverBlank, V{});
    const V c = L::Load(s.mid + k);
    auto sub = [&](const double* p) ORVA_LAMBDA_INLINE {
        V x = L::Load(p);
        asm("" : "+x"(x));  // read once, not again for the compare
        // Equal to the marker, or unordered (NaN): both are samples without data.
        return BlankOr(x, c, blank);
    };
    V v;
    if constexpr (Mean) {
        const V left = L::Add(L::Add(sub(s.top + k - C), sub(s.mid + k - C)), sub(s.bottom + k - C));
        const V centre = L::Add(L::Add(sub(s.top + k), c), sub(s.bottom + k));
        const V right = L::Add(L::Add(sub(s.top + k + C), sub(s.mid + k + C)), sub(s.bottom + k + C));
        v = Mul(L::Add(L::Add(left, centre), right), w(0));
    } else {
        v = Mul(w(0), sub(s.top + k - C));
        v = L::Add(v, Mul(w(1), sub(s.top + k)));
        v = L::Add(v, Mul(w(2), sub(s.top + k + C)));
        v = L::Add(v, Mul(w(3), sub(s.mid + k - C)));
        v = L::Add(v, Mul(w(4), c));
        v = L::Add(v, Mul(w(5), sub(s.mid + k + C)));
        v = L::Add(v, Mul(w(6), sub(s.bottom + k - C)));
        v = L::Add(v, Mul(w(7), sub(s.bottom + k)));
        v = L::Add(v, Mul(w(8), sub(s.bottom + k + C)));
    }
    L::Store(o + k, CentreOr(v, c, blank));
}

// The coefficients in every lane.
ORVA_INLINE void Broadcast(const double* m, __m256d* w) {
    for (int i = 0; i < 9; ++i) w[i] = _mm256_set1_pd(m[i]);
}

// The blank samples among the four at k (bit i: sample k + i): the marker or NaN.
ORVA_INLINE uint32_t BlanksAvx2(__m256d x) {
    return static_cast<uint32_t>(_mm256_movemask_pd(_mm256_cmp_pd(x, _mm256_set1_pd(kConvolverBlank), _CMP_EQ_UQ)));
}

// The groups of four samples of a block row (see BlankRows).
struct Groups {
    ptrdiff_t lo, hi;      // the output's samples, as indexes into the input rows
    ptrdiff_t from, to;    // the groups: samples [from, to), none an edge pixel's
    ptrdiff_t count;       // (to - from) / 4
    ptrdiff_t samples;     // of an input row
};

// Groups [first, last) by the plain rule, noting the blank samples of the row below
// in below[g] (4 bits a group). With Ahead the row below is asked for ahead of its use:
// of the three rows only that one comes from memory in a large block, and the
// processor's own prefetching leaves the loop waiting on it. (Kept in every cache, unlike
// kernel::PrefetchAhead's reads: the row serves the next two output rows as well.)
template <int C, bool Mean, bool Ahead>
ORVA_INLINE void PlainGroupsAvx2(const __m256d* w, const Rows& s, double* o, const Groups& g, ptrdiff_t first,
                                 ptrdiff_t last, uint8_t* below) {
    // The rows in a local: the byte stores of the notes could otherwise alias them, and
    // they would be read again for every group.
    const Rows rows = s;
    for (ptrdiff_t n = first; n < last; ++n) {
        const ptrdiff_t k = g.from + n * 4;
        if (Ahead && (n & 1) == 0)
            __builtin_prefetch(rows.bottom + k + kernel::kPrefetchAhead / sizeof(double), 0, 3);
        __m256d under;
        const __m256d x = PlainAvx2<C, Mean>(w, rows, k, under);
        below[n] = static_cast<uint8_t>(BlanksAvx2(under));
        _mm256_storeu_pd(o + k, x);
    }
}

// Notes the blank samples of one input row's groups.
ORVA_INLINE void NoteBlanksAvx2(const double* row, const Groups& g, uint8_t* notes) {
    for (ptrdiff_t n = 0; n < g.count; ++n)
        notes[n] = static_cast<uint8_t>(BlanksAvx2(_mm256_loadu_pd(row + g.from + n * 4)));
}

// A blank sample in any of the three rows at column k.
ORVA_INLINE bool BlankColumn(const Rows& s, ptrdiff_t k) {
    return IsBlank(s.top[k]) || IsBlank(s.mid[k]) || IsBlank(s.bottom[k]);
}

// One output row by the blank rule: the groups by the plain rule, the rest by the blank
// rule, and the pairs of samples within C samples of a blank sample of the three input
// rows again by the blank rule, 32 groups behind the plain ones (so that their work
// overlaps the plain loop's reads). Pairs rather than whole groups: a pair sees four
// columns where a group sees six, so about a third fewer samples are formed again, and a
// pair's vector operations cost half a group's here. up, mid and down hold the notes of
// the three rows (down is written here); each has a zero byte before it and 32 after its
// groups. With Stream, each stretch of 32 groups is formed (and formed again) in a buffer
// that stays in the nearest cache and then stored past the caches, whole: a store past
// the caches and a later store of a redone pair to the same line would read the line
// back from memory. The groups' outputs then start on a 32-byte boundary. (On a Zen 4
// core a 4096 x 4096 frame took about two thirds of the time of forming it in place, with
// the row below asked for ahead; without the stores past the caches, asking ahead gained
// nothing, and the stores past the caches alone gained an eighth.)
template <int C, bool Mean, bool Stream>
inline void BlankRowAvx2(const ConvolverBlock& b, const Rows& s, const Groups& g, double* out, const double* m,
                         const uint8_t* up, const uint8_t* mid, uint8_t* down) {
    static_assert(C == 1, "three channels form groups of samples again");
    double* o = out - g.lo;  // indexed by the input row's sample
    __m256d w[9];
    Broadcast(m, w);
    // Where the stretch of groups from group n is formed, indexed by the input row's sample.
    alignas(32) double held[Stream ? 2 : 1][Stream ? 128 : 1];
    auto formedAt = [&](ptrdiff_t n) ORVA_LAMBDA_INLINE {
        if constexpr (Stream) return held[(n / 32) & 1] - (g.from + n * 4);
        else return o;
    };
    // A blank column outside the groups reaches into the first or the last pair only.
    bool first = false, last = false;
    if (g.count > 0) {
        for (ptrdiff_t k = std::max<ptrdiff_t>(g.lo - C, 0); k < g.from; ++k) first = first || BlankColumn(s, k);
        for (ptrdiff_t k = g.to; k < std::min(g.hi + C, g.samples); ++k) last = last || BlankColumn(s, k);
    }
    // The first pair of a group sees columns -1 to 2 of it (the last of the group
    // before), the second pair columns 1 to 4 (the first of the group after).
    const __m256i zero = _mm256_setzero_si256();
    const __m256i firstOwn = _mm256_set1_epi8(0x07), firstBefore = _mm256_set1_epi8(0x08);
    const __m256i secondOwn = _mm256_set1_epi8(0x0E), secondAfter = _mm256_set1_epi8(0x01);
    auto columns = [&](ptrdiff_t n) ORVA_LAMBDA_INLINE {
        auto at = [&](const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + n)); };
        return _mm256_or_si256(_mm256_or_si256(at(up), at(mid)), at(down));
    };
    auto hits = [&](__m256i x) ORVA_LAMBDA_INLINE {
        return ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, zero)));
    };
    auto seen = [&](ptrdiff_t n) ORVA_LAMBDA_INLINE {  // groups n .. n + 31
        const __m256i own = columns(n);
        uint32_t firsts = hits(_mm256_or_si256(_mm256_and_si256(own, firstOwn),
                                               _mm256_and_si256(columns(n - 1), firstBefore)));
        uint32_t seconds = hits(_mm256_or_si256(_mm256_and_si256(own, secondOwn),
                                                _mm256_and_si256(columns(n + 1), secondAfter)));
        const ptrdiff_t groups = std::min<ptrdiff_t>(g.count - n, 32);
        if (groups < 32) {
            const uint32_t keep = (uint32_t{1} << groups) - 1;
            firsts &= keep;
            seconds &= keep;
        }
        if (n == 0 && first) firsts |= 1;
        if (n + groups == g.count && last) seconds |= uint32_t{1} << (groups - 1);
        // Bit i: the first pair of group n + i; bit 32 + i: its second pair.
        uint64_t bits = firsts | uint64_t{seconds} << 32;
        const ptrdiff_t base = g.from + n * 4;
        double* at = formedAt(n);
        for (; bits != 0; bits &= bits - 1) {
            const auto i = static_cast<ptrdiff_t>(std::countr_zero(bits));
            AgainAt<C, Mean, Two>(w, s, base + (i & 31) * 4 + (i >> 5) * 2, at);
        }
        if constexpr (Stream)
            for (ptrdiff_t k = base; k < base + groups * 4; k += 4) _mm256_stream_pd(o + k, _mm256_load_pd(at + k));
    };
    for (ptrdiff_t n = 0; n < g.count; n += 32) {
        PlainGroupsAvx2<C, Mean, Stream>(w, s, formedAt(n), g, n, std::min<ptrdiff_t>(n + 32, g.count), down);
        if (n > 0) seen(n - 32);
    }
    if (g.count > 0) seen((g.count - 1) / 32 * 32);
    // The samples outside the groups (edge pixels, a short tail) by the blank rule.
    auto single = [&](ptrdiff_t k) {
        const auto q = static_cast<int32_t>(k / C);
        o[k] = At<Mean, true>(m, s, k, LeftOf(q, C), RightOf(q, b.inputWidth, C));
    };
    for (ptrdiff_t k = g.lo; k < g.from; ++k) single(k);
    for (ptrdiff_t k = g.to; k < g.hi; ++k) single(k);
}

// The output's samples [lo, hi) of a block row, as indexes into the input rows, and the
// first sample `from` of those that have neighbours on both sides in the input; returns
// how many samples from there on have.
template <int C>
ORVA_INLINE ptrdiff_t SpanOf(const ConvolverBlock& b, ptrdiff_t& lo, ptrdiff_t& hi, ptrdiff_t& from) {
    const int32_t q0 = b.originX, q1 = b.originX + b.width;
    const int32_t qa = std::max(q0, 1), qb = std::max(std::min(q1, b.inputWidth - 1), qa);
    lo = static_cast<ptrdiff_t>(q0) * C;
    hi = static_cast<ptrdiff_t>(q1) * C;
    from = static_cast<ptrdiff_t>(qa) * C;
    return static_cast<ptrdiff_t>(qb - qa) * C;
}

// True when the block's result is too large for the caches and is stored past them (its
// rows then start at the same place relative to a 32-byte boundary); the vector loops'
// first sample `from` then moves to where the output reaches such a boundary, and the
// `inner` samples from there on shrink with it (the samples skipped go by the blank rule
// one by one).
template <int C>
ORVA_INLINE bool AlignedForStreaming(const ConvolverBlock& b, ptrdiff_t lo, ptrdiff_t& from, ptrdiff_t& inner) {
    if (b.outputStride % 4 != 0 || !kernel::StreamsDoubles(b.output, static_cast<size_t>(b.width) * C * b.height))
        return false;
    const auto skip =
        std::min<ptrdiff_t>(inner, static_cast<ptrdiff_t>(kernel::DoublesToAlign32(b.output + (from - lo))));
    from += skip;
    inner -= skip;
    return true;
}

// Calls row(y, up, mid, down) for every output row y with the notes of its three input
// rows, noting each input row once (a row serves three output rows): note(input row, at)
// notes the rows above and at y when they are not held; the row below is left to row(),
// which notes it as it forms the row. `notes` has room for three rows of notes, `stride`
// apart; each row's notes get a zero element before them and zeros after them.
template <class T, class Note, class Row>
ORVA_INLINE void ForEachNotedRow(const ConvolverBlock& b, T* notes, size_t stride, const Note& note, const Row& row) {
    struct Slot {
        int32_t row;
        T* at;
    } slots[3];
    std::fill(notes, notes + stride * 3, T{0});
    for (int i = 0; i < 3; ++i) slots[i] = Slot{-1, notes + static_cast<size_t>(i) * stride + 1};
    // The notes of input row r; `fill` notes it when they are not held. `keep` are kept.
    auto notesOf = [&](int32_t r, const int32_t* keep, bool fill) -> T* {
        Slot* free = nullptr;
        for (Slot& slot : slots) {
            if (slot.row == r) return slot.at;
            if (slot.row != keep[0] && slot.row != keep[1] && slot.row != keep[2]) free = &slot;
        }
        free->row = r;
        if (fill) note(b.input + static_cast<size_t>(r) * b.inputStride, free->at);
        return free->at;
    };
    for (int32_t y = 0; y < b.height; ++y) {
        const int32_t r = b.originY + y;
        const int32_t keep[3] = {r > 0 ? r - 1 : 0, r, r + 1 < b.inputHeight ? r + 1 : b.inputHeight - 1};
        const T* up = notesOf(keep[0], keep, true);
        const T* mid = notesOf(keep[1], keep, true);
        row(y, up, mid, notesOf(keep[2], keep, false));
    }
}

// The blank rule over a block, each input row's blank samples noted once (a row serves
// three output rows); `notes` has room for three rows of notes.
template <int C, bool Mean>
inline void BlankRowsAvx2(const double* m, const ConvolverBlock& b, uint8_t* notes, size_t stride) {
    Groups g;
    ptrdiff_t inner = SpanOf<C>(b, g.lo, g.hi, g.from);
    const bool stream = AlignedForStreaming<C>(b, g.lo, g.from, inner);
    g.count = inner / 4;
    g.to = g.from + g.count * 4;
    g.samples = static_cast<ptrdiff_t>(b.inputWidth) * C;
    auto note = [&](const double* row, uint8_t* at) { NoteBlanksAvx2(row, g, at); };
    ForEachNotedRow(b, notes, stride, note, [&](int32_t y, const uint8_t* up, const uint8_t* mid, uint8_t* down) {
        double* out = b.output + static_cast<size_t>(y) * b.outputStride;
        if (stream) BlankRowAvx2<C, Mean, true>(b, RowsAt(b, y), g, out, m, up, mid, down);
        else BlankRowAvx2<C, Mean, false>(b, RowsAt(b, y), g, out, m, up, mid, down);
    });
    // Stores past the caches are ordered before whatever the caller does next.
    if (stream) _mm_sfence();
}

// ---- Three channels: the samples that see a blank formed again by groups of four ------------

// The blank samples among the eight at p (bit i: sample p + i).
ORVA_INLINE uint8_t EightBlanksAvx2(const double* p) {
    return static_cast<uint8_t>(BlanksAvx2(_mm256_loadu_pd(p)) | BlanksAvx2(_mm256_loadu_pd(p + 4)) << 4);
}

// The samples of a block row: the output's, and the runs of eight formed by the vector
// loop (none an edge pixel's). Notes hold one bit for each sample of the runs, 64 a word.
struct Runs {
    ptrdiff_t lo, hi;      // the output's samples, as indexes into the input rows
    ptrdiff_t from, to;    // the runs: samples [from, to), a multiple of 8
    ptrdiff_t words;       // of the notes of a row
};

// Samples [from, to) by the plain rule, noting the blank samples of the row below; with
// Ahead the row below is asked for ahead, as in PlainGroupsAvx2.
template <int C, bool Mean, bool Ahead>
ORVA_INLINE void PlainRunsAvx2(const __m256d* w, const Rows& s, double* o, ptrdiff_t from, ptrdiff_t to,
                               uint8_t* below) {
    // The rows in a local: the byte stores of the notes could otherwise alias them, and
    // they would be read again for every run. (Not the weights: the compiler would copy
    // them with a string move for every stretch, which costs more than it saves.)
    const Rows rows = s;
    for (ptrdiff_t k = from, n = 0; k < to; k += 8, ++n) {
        if (Ahead) __builtin_prefetch(rows.bottom + k + kernel::kPrefetchAhead / sizeof(double), 0, 3);
        __m256d under0, under4;
        const __m256d a = PlainAvx2<C, Mean>(w, rows, k, under0);
        const __m256d b = PlainAvx2<C, Mean>(w, rows, k + 4, under4);
        below[n] = static_cast<uint8_t>(BlanksAvx2(under0) | BlanksAvx2(under4) << 4);
        _mm256_storeu_pd(o + k, a);
        _mm256_storeu_pd(o + k + 4, b);
    }
}

// One output row by the blank rule: the runs by the plain rule, then the samples of the
// runs that see a blank sample of the three input rows (C samples either side) again, and
// the samples outside the runs or within C of their ends (whose neighbours the notes do
// not cover) by the blank rule. up, mid and down hold the notes of the three rows (down is
// written here); each has a zero word before and after it. With Stream, each stretch is
// formed (and formed again) in a buffer and then stored past the caches, as in
// BlankRowAvx2; the runs then start on a 32-byte boundary of the output.
template <int C, bool Mean, bool Stream>
inline void SampleRowAvx2(const ConvolverBlock& b, const Rows& s, const Runs& g, double* out, const double* m,
                          const uint64_t* up, const uint64_t* mid, uint64_t* down) {
    double* o = out - g.lo;  // indexed by the input row's sample
    auto single = [&](ptrdiff_t k) {
        const auto q = static_cast<int32_t>(k / C);
        o[k] = At<Mean, true>(m, s, k, LeftOf(q, C), RightOf(q, b.inputWidth, C));
    };
    if (g.to == g.from) {
        for (ptrdiff_t k = g.lo; k < g.hi; ++k) single(k);
        return;
    }
    __m256d w[9];
    Broadcast(m, w);
    // The samples of a stretch are formed again while the next stretch is formed by the
    // plain rule (its notes of the row below are needed), so that the work overlaps the
    // plain loop's reads from memory.
    constexpr ptrdiff_t kStretch = 2;  // words
    // Where the stretch from word i is formed, indexed by the input row's sample.
    alignas(32) double held[Stream ? 2 : 1][Stream ? kStretch * 64 : 1];
    auto formedAt = [&](ptrdiff_t i) ORVA_LAMBDA_INLINE {
        if constexpr (Stream) return held[(i / kStretch) & 1] - (g.from + i * 64);
        else return o;
    };
    // Words [first, last) of the notes again.
    const ptrdiff_t n = g.to - g.from;
    auto again = [&](ptrdiff_t first, ptrdiff_t last) ORVA_LAMBDA_INLINE {
        double* at = formedAt(first);
        auto columns = [&](ptrdiff_t j) { return up[j] | mid[j] | down[j]; };
        for (ptrdiff_t i = first; i < last; ++i) {
            const uint64_t col = columns(i);
            uint64_t hit = col | col << C | col >> C | columns(i - 1) >> (64 - C) | columns(i + 1) << (64 - C);
            const ptrdiff_t base = i * 64;
            if (base == 0) hit &= ~uint64_t{0} << C;
            if (base + 64 > n - C) {
                const ptrdiff_t keep = n - C - base;
                hit &= keep <= 0 ? 0 : (uint64_t{1} << keep) - 1;
            }
            // Whole groups of four: the blank rule gives a sample without blank
            // neighbours what the plain rule gave it, and four cost what one does.
            constexpr uint64_t kGroupStarts = 0x1111111111111111ull;
            uint64_t groups = (hit | hit >> 1 | hit >> 2 | hit >> 3) & kGroupStarts;
            for (; groups != 0; groups &= groups - 1)
                AgainAt<C, Mean, Four>(w, s, g.from + base + std::countr_zero(groups), at);
        }
        if constexpr (Stream)
            for (ptrdiff_t k = g.from + first * 64; k < std::min(g.from + last * 64, g.to); k += 4)
                _mm256_stream_pd(o + k, _mm256_load_pd(at + k));
    };
    auto* notes = reinterpret_cast<uint8_t*>(down);
    for (ptrdiff_t i = 0; i < g.words; i += kStretch) {
        PlainRunsAvx2<C, Mean, Stream>(w, s, formedAt(i), g.from + i * 64,
                                       std::min(g.from + (i + kStretch) * 64, g.to), notes + i * 8);
        if (i > 0) again(i - kStretch, i);
    }
    again((g.words - 1) / kStretch * kStretch, g.words);
    for (ptrdiff_t k = g.lo; k < g.from + C; ++k) single(k);
    for (ptrdiff_t k = g.to - C; k < g.hi; ++k) single(k);
}

// The blank rule over a block by the samples' notes; `notes` has room for three rows of notes.
template <int C, bool Mean>
inline void SampleRowsAvx2(const double* m, const ConvolverBlock& b, uint64_t* notes, size_t stride) {
    Runs g;
    ptrdiff_t inner = SpanOf<C>(b, g.lo, g.hi, g.from);
    const bool stream = AlignedForStreaming<C>(b, g.lo, g.from, inner);
    g.to = g.from + inner / 8 * 8;
    g.words = (g.to - g.from + 63) / 64;
    auto note = [&](const double* row, uint64_t* at) {
        auto* bytes = reinterpret_cast<uint8_t*>(at);
        for (ptrdiff_t k = g.from, n = 0; k < g.to; k += 8, ++n) bytes[n] = EightBlanksAvx2(row + k);
    };
    ForEachNotedRow(b, notes, stride, note, [&](int32_t y, const uint64_t* up, const uint64_t* mid, uint64_t* down) {
        double* out = b.output + static_cast<size_t>(y) * b.outputStride;
        if (stream) SampleRowAvx2<C, Mean, true>(b, RowsAt(b, y), g, out, m, up, mid, down);
        else SampleRowAvx2<C, Mean, false>(b, RowsAt(b, y), g, out, m, up, mid, down);
    });
    if (stream) _mm_sfence();
}

ORVA_TARGET_END

// ---- Whole blocks -----------------------------------------------------------------------------

// Per-thread room for the notes of the blank rule, kept between calls; null when memory
// is short (the blank rule then runs as selects throughout).
template <class T>
T* BlankNotes(size_t n) {
    thread_local std::vector<T> notes;
    try {
        if (notes.size() < n) notes.resize(n);
        return notes.data();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

template <int C, bool Mean, bool Blank, bool Avx2>
ORVA_INLINE int32_t Filter(const double* m, const ConvolverBlock& b) {
    if constexpr (Blank && Avx2 && C == 1) {
        const size_t stride = static_cast<size_t>(b.width) * C / 4 + 34;
        if (uint8_t* notes = BlankNotes<uint8_t>(stride * 3)) {
            BlankRowsAvx2<C, Mean>(m, b, notes, stride);
            return 0;
        }
    } else if constexpr (Blank && Avx2) {
        const size_t stride = static_cast<size_t>(b.width) * C / 64 + 3;
        if (uint64_t* notes = BlankNotes<uint64_t>(stride * 3)) {
            SampleRowsAvx2<C, Mean>(m, b, notes, stride);
            return 0;
        }
    }
    for (int32_t y = 0; y < b.height; ++y) {
        Row<C, Mean, Blank>(b, RowsAt(b, y), b.output + static_cast<size_t>(y) * b.outputStride, m);
    }
    return 0;
}

template <int C, bool Mean, bool Blank>
[[gnu::target("avx2")]] int32_t FilterAvx2(const double* m, const ConvolverBlock& b) {
    return Filter<C, Mean, Blank, true>(m, b);
}
template <int C, bool Mean, bool Blank>
int32_t FilterBase(const double* m, const ConvolverBlock& b) {
    return Filter<C, Mean, Blank, false>(m, b);
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

// True when any of `count` samples at p is NaN. The loop keeps four unordered-compare
// lanes and stops at the first row that holds one.
[[gnu::target("avx2")]] bool RowHoldsNaNAvx2(const double* p, size_t count) {
    __m256d any = _mm256_setzero_pd();
    size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m256d x = _mm256_loadu_pd(p + k);
        any = _mm256_or_pd(any, _mm256_cmp_pd(x, x, _CMP_UNORD_Q));
    }
    bool found = _mm256_movemask_pd(any) != 0;
    for (; k < count; ++k) found = found || p[k] != p[k];
    return found;
}
bool RowHoldsNaNBase(const double* p, size_t count) {
    bool found = false;
    for (size_t k = 0; k < count; ++k) found |= p[k] != p[k];
    return found;
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

bool ConvolverInputHoldsNaN(const double* input, size_t stride, size_t samples, size_t rows) {
    const bool avx2 = kernel::CpuHasAvx2();
    for (size_t r = 0; r < rows; ++r) {
        const double* row = input + r * stride;
        if (avx2 ? RowHoldsNaNAvx2(row, samples) : RowHoldsNaNBase(row, samples)) return true;
    }
    return false;
}

}  // namespace orva
