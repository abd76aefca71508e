#include "data/integer_info.h"

#include <immintrin.h>

#include <cstring>

#include "data/kernel_pragmas.h"
#include "data/kernel_util.h"
#include "data/minmax.h"

namespace orva {

namespace {

enum class Kind { kI8, kU8, kI16, kU16 };

bool KindOf(ElementType type, Kind* kind) {
    const bool isUnsigned = (type & kElemUnsigned) != 0;
    switch (type & 0x7F) {
        case kElemInt8: *kind = isUnsigned ? Kind::kU8 : Kind::kI8; return true;
        case kElemInt16: *kind = isUnsigned ? Kind::kU16 : Kind::kI16; return true;
        default: return false;
    }
}

int64_t ValueAt(const uint8_t* p, Kind kind, bool swap) {
    switch (kind) {
        case Kind::kI8: return static_cast<int8_t>(p[0]);
        case Kind::kU8: return p[0];
        default: {
            uint16_t u;
            std::memcpy(&u, p, 2);
            if (swap) u = static_cast<uint16_t>((u >> 8) | (u << 8));
            return kind == Kind::kU16 ? int64_t{u} : int64_t{static_cast<int16_t>(u)};
        }
    }
}

void FoldScalar(const uint8_t* p, size_t count, size_t stride, Kind kind, bool swap, IntegerInfo* a) {
    for (size_t i = 0; i < count; ++i, p += stride) {
        const int64_t x = ValueAt(p, kind, swap);
        if (x < a->minimum) a->minimum = x;
        if (x > a->maximum) a->maximum = x;
        a->sum += x;
        a->squares += static_cast<unsigned __int128>(static_cast<uint64_t>(x * x));
    }
}

// Packed samples, sixteen at a time, as signed 16-bit lanes w = x - bias (bias 32768
// for unsigned 16-bit samples, else 0). Extremes in the lanes; sums of w in 32-bit
// lanes, emptied into 64 bits before they could overflow; squares in 64-bit lanes (a
// pair of squares fits 32 bits unsigned, also for two of -32768). Returns the samples
// folded; their sums are of w, which the caller moves by the bias.
ORVA_TARGET_AVX2_BEGIN
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// Adds the eight 32-bit lanes to `sum`.
inline int64_t LaneSum(__m256i lanes) {
    alignas(32) int32_t v[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(v), lanes);
    int64_t s = 0;
    for (int32_t x : v) s += x;
    return s;
}

size_t FoldPackedAvx2(const uint8_t* p, size_t count, Kind kind, bool swap, int64_t* lo,
                                              int64_t* hi, int64_t* sumW, unsigned __int128* squaresW) {
    const size_t blocks = count / 16;
    if (blocks == 0) return 0;
    const bool wide = kind == Kind::kI16 || kind == Kind::kU16;
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i flip = _mm256_set1_epi16(static_cast<int16_t>(0x8000));
    const __m256i order = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4,
                                           7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    __m256i vlo = _mm256_set1_epi16(INT16_MAX), vhi = _mm256_set1_epi16(INT16_MIN);
    __m256i s32 = _mm256_setzero_si256(), q0 = _mm256_setzero_si256(), q1 = _mm256_setzero_si256();
    int64_t sum = 0;
    // 2 x 32768 at most per lane and step: 16384 steps stay below 2^31.
    constexpr size_t kFlush = 16384;
    for (size_t b = 0; b < blocks; ++b) {
        __m256i v;
        if (wide) {
            v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + b * 32));
            if (swap) v = _mm256_shuffle_epi8(v, order);
            if (kind == Kind::kU16) v = _mm256_xor_si256(v, flip);
        } else {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + b * 16));
            v = kind == Kind::kI8 ? _mm256_cvtepi8_epi16(bytes) : _mm256_cvtepu8_epi16(bytes);
        }
        vlo = _mm256_min_epi16(vlo, v);
        vhi = _mm256_max_epi16(vhi, v);
        s32 = _mm256_add_epi32(s32, _mm256_madd_epi16(v, ones));
        const __m256i sq = _mm256_madd_epi16(v, v);
        q0 = _mm256_add_epi64(q0, _mm256_cvtepu32_epi64(_mm256_castsi256_si128(sq)));
        q1 = _mm256_add_epi64(q1, _mm256_cvtepu32_epi64(_mm256_extracti128_si256(sq, 1)));
        if ((b + 1) % kFlush == 0) {
            sum += LaneSum(s32);
            s32 = _mm256_setzero_si256();
        }
    }
    sum += LaneSum(s32);
    alignas(32) int16_t l[16], h[16];
    alignas(32) uint64_t s0[4], s1[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(l), vlo);
    _mm256_store_si256(reinterpret_cast<__m256i*>(h), vhi);
    _mm256_store_si256(reinterpret_cast<__m256i*>(s0), q0);
    _mm256_store_si256(reinterpret_cast<__m256i*>(s1), q1);
    int64_t mn = INT16_MAX, mx = INT16_MIN;
    for (int j = 0; j < 16; ++j) {
        if (l[j] < mn) mn = l[j];
        if (h[j] > mx) mx = h[j];
    }
    unsigned __int128 squares = 0;
    for (int j = 0; j < 4; ++j) squares += static_cast<unsigned __int128>(s0[j]) + s1[j];
    *lo = mn;
    *hi = mx;
    *sumW = sum;
    *squaresW = squares;
    return blocks * 16;
}

#pragma GCC diagnostic pop
ORVA_TARGET_END

}  // namespace

bool IntegerInfoTakes(ElementType type) {
    Kind kind;
    return KindOf(type, &kind);
}

void IntegerInfoFold(const void* source, size_t count, size_t stride, ElementType type, IntegerInfo* info) {
    Kind kind;
    if (source == nullptr || info == nullptr || count == 0 || !KindOf(type, &kind)) return;
    const uint8_t* p = static_cast<const uint8_t*>(source);
    const bool swap = (type & kElemSwapped) != 0;
    const size_t size = (kind == Kind::kI16 || kind == Kind::kU16) ? 2 : 1;
    if (info->count == 0) info->first = ValueAt(p, kind, swap);
    size_t done = 0;
    if (stride == size && kernel::CpuHasAvx2()) {
        int64_t lo = 0, hi = 0, sumW = 0;
        unsigned __int128 squaresW = 0;
        done = FoldPackedAvx2(p, count, kind, swap, &lo, &hi, &sumW, &squaresW);
        if (done > 0) {
            // Back from w to x = w + bias: sum + n bias, squares + 2 bias sum + n bias^2.
            const int64_t bias = kind == Kind::kU16 ? 32768 : 0;
            const int64_t n = static_cast<int64_t>(done);
            if (lo + bias < info->minimum) info->minimum = lo + bias;
            if (hi + bias > info->maximum) info->maximum = hi + bias;
            info->sum += sumW + n * bias;
            const __int128 moved = static_cast<__int128>(squaresW) + static_cast<__int128>(2 * bias) * sumW +
                                   static_cast<__int128>(n) * bias * bias;
            info->squares += static_cast<unsigned __int128>(moved);
        }
    }
    FoldScalar(p + done * stride, count - done, stride, kind, swap, info);
    info->count += count;
}

void IntegerInfoFinish(const IntegerInfo& info, DataInfo* out) {
    if (out == nullptr || info.count == 0) return;
    // The real accumulator takes its sums about the first value (0 stays 0).
    const int64_t shift = info.first;
    const __int128 n = static_cast<__int128>(info.count);
    const __int128 sum = static_cast<__int128>(info.sum) - n * shift;
    const __int128 squares = static_cast<__int128>(info.squares) - 2 * static_cast<__int128>(shift) * info.sum +
                             n * shift * shift;
    const double factor = DataInfoFactor(*out);
    DataInfoShift(*out) = static_cast<double>(shift);
    out->minimum = static_cast<double>(info.minimum);
    out->maximum = static_cast<double>(info.maximum);
    out->count = static_cast<int64_t>(info.count);
    out->sum = static_cast<double>(sum) * factor;
    out->sumSquares = static_cast<double>(squares) * factor * factor;
}

}  // namespace orva
